// Local printers of a driver: adding (with the SNMP switch first), deleting, counting, listing,
// changing one printer's name, port or driver, and carrying a printer with all its settings over to
// another driver.
#include <atomic>
#include <cstdlib>
#include <new>

#include "core/WideText.h"
#include "platform/utf.h"
#include "tests/spooler/SpoolerFixture.h"

namespace {
// The next allocation of exactly this many bytes fails (once): lets a test make one of the layer's
// own allocations fail without touching any other.
std::atomic<std::size_t> g_failAllocationOfSize{0};
}  // namespace

// The replacements pair malloc with free; the compiler, seeing free inside operator delete, would
// take that for a mismatch.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size)
{
    std::size_t armed = size;
    if (size != 0 && g_failAllocationOfSize.compare_exchange_strong(armed, 0)) throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

constexpr char16_t kDriver[] = u"BREVANTO TXR4103 ZKW";
constexpr char16_t kNewDriver[] = u"BREVANTO TXR4103 ZKW v2";
// O:BAG:BAD:(A;;0xF000C;;;BA): only Administrators, and unlike the sim's default security.
constexpr char kAdminsOnly[] =
    "010004801400000024000000000000003400000001020000000000052000000020020000010200000000000520000000200200000200"
    "200001000000000018000c000f0001020000000000052000000020020000";

class PrintersTest : public txrtest::SpoolerTest {
protected:
    void SetUp() override
    {
        SpoolerTest::SetUp();
        Seed();
    }
    void Seed()
    {
        AddDriver("BREVANTO TXR4103 ZKW", "USBPRINT\\BREVANTOTXR4103");
        AddPort("USB001", "USB Monitor", "Virtual printer port for USB");
        AddPort("IP_10.0.0.9", "Standard TCP/IP Port", "Standard TCP/IP Port");
    }
    std::vector<int> Pauses() const
    {
        std::vector<int> p;
        for (const auto& e : Events("pause")) p.push_back(e["ms"]);
        return p;
    }
    static txr::PrinterInfoData Record(const char16_t* printer, const char16_t* port, const char16_t* driver)
    {
        txr::PrinterInfoData r{};
        txr::CopyToField(r.PrinterName, printer);
        txr::CopyToField(r.PortName, port);
        txr::CopyToField(r.DriverName, driver);
        return r;
    }
};

TEST_F(PrintersTest, AddingOnAUsbPortTakesNoPauseAndOnANetworkPortSwitchesSnmpOffFirst)
{
    std::uint32_t error = 1;
    EXPECT_EQ(txr::Lib_AddPrinter(kDriver, u"On USB", u"USB001", &error), 1);
    EXPECT_EQ(error, 0u);
    EXPECT_TRUE(Pauses().empty());

    EXPECT_EQ(txr::Lib_AddPrinter(kDriver, u"On IP", u"IP_10.0.0.9", &error), 1);
    EXPECT_EQ(Pauses(), std::vector<int>{2000});
    EXPECT_EQ(Spooler()["ports"].back()["tcp"]["snmp_enabled"], 0);
    const auto added = Events("printer_added");
    ASSERT_EQ(added.size(), 2u);
    EXPECT_EQ(added[1]["port"], "IP_10.0.0.9");
    EXPECT_EQ(Spooler()["printers"].back()["print_processor"], "winprint");
}

TEST_F(PrintersTest, AddingReportsThePlatformsCodeWithoutABox)
{
    AddPrinter("Taken", "BREVANTO TXR4103 ZKW", "USB001");
    struct Case {
        const char16_t *driver, *printer, *port;
        std::uint32_t code;
    } cases[] = {{kDriver, u"taken", u"USB001", 1802},
                 {u"No Such Driver", u"New", u"USB001", 1797},
                 {kDriver, u"New", u"USB999", 1796}};
    for (const auto& c : cases) {
        std::uint32_t error = 0;
        EXPECT_EQ(txr::Lib_AddPrinter(c.driver, c.printer, c.port, &error), 0);
        EXPECT_EQ(error, c.code);
    }
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(PrintersTest, CountAndListMatchTheDriverIgnoringCaseAndTheListStopsAtItsCapacity)
{
    AddPrinter("First", "BREVANTO TXR4103 ZKW", "USB001");
    AddPrinter("Other", "Microsoft Print To PDF", "PORTPROMPT:");
    AddPrinter("Second", "BREVANTO TXR4103 ZKW", "IP_10.0.0.9");
    std::uint32_t error = 1;
    EXPECT_EQ(txr::Lib_GetNumDependentPrinters(u"brevanto txr4103 zkw", &error), 2);
    EXPECT_EQ(error, 0u);

    txr::PrinterInfoData list[2]{};
    EXPECT_EQ(txr::Lib_GetInstalledPrinterInfoList(kDriver, 1, list, &error), 1);
    EXPECT_EQ(txr::FieldText(list[0].PrinterName), u"First");
    EXPECT_EQ(txr::FieldText(list[0].PortName), u"USB001");
    EXPECT_EQ(txr::FieldText(list[0].DriverName), kDriver);
    EXPECT_TRUE(txr::FieldEmpty(list[1].PrinterName));
    EXPECT_EQ(txr::Lib_GetInstalledPrinterInfoList(kDriver, 0, list, &error), 0);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(txr::Lib_GetInstalledPrinterInfoList(kDriver, 2, list, &error), 2);
    EXPECT_EQ(txr::FieldText(list[1].PrinterName), u"Second");
}

TEST_F(PrintersTest, RenamingOrRepointingKeepsEveryOtherSettingAndTheSecurity)
{
    // The handle is opened to administer the printer only: a change that also sent the enumerated
    // security descriptor back would be refused (the handle has no WRITE_DAC).
    struct Case {
        const char* what;
        const char16_t *name, *port;
    } cases[] = {{"rename", u"Back office", u"USB001"}, {"re-point", u"Front desk", u"IP_10.0.0.9"}};
    for (const auto& c : cases) {
        FreshMachine();
        Seed();
        AddPrinter("Front desk", "BREVANTO TXR4103 ZKW", "USB001",
                   {{"comment", "ID cards"}, {"location", "Hall 2"}, {"datatype", "NT EMF 1.008"},
                    {"share_name", "fd"}, {"attributes", 0x248}, {"priority", 7},
                    {"security_descriptor", kAdminsOnly}});
        const sim::json before = Spooler()["printers"].back();
        const auto current = Record(u"Front desk", u"USB001", kDriver);
        const auto desired = Record(c.name, c.port, kDriver);
        std::uint32_t error = 1;
        EXPECT_EQ(txr::Lib_SetPrinterDeviceConfig(&current, &desired, &error), 1) << c.what;
        EXPECT_EQ(error, 0u) << c.what;
        sim::json after = Spooler()["printers"].back();
        EXPECT_EQ(after["name"], txt::to_utf8(c.name)) << c.what;
        EXPECT_EQ(after["port"], txt::to_utf8(c.port)) << c.what;
        after["name"] = before["name"];
        after["port"] = before["port"];
        for (auto& [key, value] : before.items()) EXPECT_EQ(after[key], value) << c.what << ": " << key;
        EXPECT_TRUE(Boxes().empty()) << c.what;
    }
}

TEST_F(PrintersTest, ChangingAPrinterThatIsGoneChangesNothingAndShowsNothing)
{
    const auto current = Record(u"Gone", u"USB001", kDriver);
    const auto desired = Record(u"New", u"USB001", kDriver);
    std::uint32_t error = 0;
    EXPECT_EQ(txr::Lib_SetPrinterDeviceConfig(&current, &desired, &error), 0);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(Events("printer_changed").empty());
}

TEST_F(PrintersTest, ARefusedChangeShowsTheErrorBox)
{
    AddPrinter("Front desk", "BREVANTO TXR4103 ZKW", "USB001");
    const auto current = Record(u"Front desk", u"USB001", kDriver);
    const auto desired = Record(u"Front desk", u"USB404", kDriver);
    std::uint32_t error = 0;
    EXPECT_EQ(txr::Lib_SetPrinterDeviceConfig(&current, &desired, &error), 0);
    EXPECT_EQ(error, 1796u);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].first, "Printer Driver Installer- Printer info data");
}

// Every field of the level-2 record but the driver and the device mode, on a network port.
const sim::json kEverySetting = {{"share_name", "FRONT"},
                                 {"comment", "ID cards only"},
                                 {"location", "Hall 2, desk 4"},
                                 {"sep_file", "C:\\Windows\\System32\\pcl.sep"},
                                 {"print_processor", "winprint"},
                                 {"datatype", "NT EMF 1.008"},
                                 {"parameters", "duplex=off"},
                                 {"attributes", 0x248},
                                 {"priority", 42},
                                 {"default_priority", 7},
                                 {"start_time", 420},
                                 {"until_time", 1080},
                                 {"security_descriptor", kAdminsOnly}};

TEST_F(PrintersTest, APrinterCarriedOverToANewDriverKeepsEverySetting)
{
    AddDriver("BREVANTO TXR4103 ZKW v2", "USBPRINT\\BREVANTOTXR4103", "1.5.28.0");
    AddPrinter("Front desk", "BREVANTO TXR4103 ZKW", "IP_10.0.0.9", kEverySetting);
    AddPrinter("Other", "Microsoft Print To PDF", "PORTPROMPT:");
    const sim::json before = Spooler()["printers"][1];

    std::vector<txr::PrinterSettings> list;
    std::uint32_t error = 1;
    ASSERT_EQ(txr::Lib_GetPrinterSettingsList(u"brevanto txr4103 zkw", &list, &error), 1);
    EXPECT_EQ(error, 0u);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(txr::FieldText(list[0].Comment), u"ID cards only");
    EXPECT_EQ(list[0].Priority, 42u);
    EXPECT_EQ(list[0].SecurityDescriptor.size(), 84u);

    ASSERT_EQ(txr::Lib_DeleteSelectedPrinter(u"Front desk", &error), 1);
    EXPECT_EQ(txr::Lib_AddPrinterWithSettings(list[0], kNewDriver, &error), 1);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(Pauses(), std::vector<int>{2000}) << "SNMP switched off on the network port first";
    sim::json after = Spooler()["printers"].back();
    EXPECT_EQ(after["driver"], "BREVANTO TXR4103 ZKW v2");
    after["driver"] = before["driver"];
    EXPECT_EQ(after, before);
}

TEST_F(PrintersTest, ACarriedOverPrinterGetsTheDefaultsTheSpoolerOwnsOrGives)
{
    txr::PrinterSettings s{};
    txr::CopyToField(s.PrinterName, u"Plain");
    txr::CopyToField(s.PortName, u"USB001");
    s.Attributes = win::PRINTER_ATTRIBUTE_SHARED | win::PRINTER_ATTRIBUTE_NETWORK | win::PRINTER_ATTRIBUTE_LOCAL;
    txr::CopyToField(s.ShareName, u"PLAIN");
    std::uint32_t error = 1;
    ASSERT_EQ(txr::Lib_AddPrinterWithSettings(s, kDriver, &error), 1);
    const sim::json& added = Spooler()["printers"].back();
    EXPECT_EQ(added["print_processor"], "winprint") << "an empty print processor";
    EXPECT_EQ(added["attributes"], 0x48) << "the network bit is the spooler's, not ours to claim";
    EXPECT_EQ(added["security_descriptor"].get<std::string>().size(), 200u) << "the spooler's default security";
}

TEST_F(PrintersTest, APrinterThatCannotBeReadWholeFailsTheSettingsList)
{
    struct Case {
        const char* what;
        sim::json extra;
        const char* faultOp;
        std::uint32_t error;
    } cases[] = {
        {"comment longer than its field", {{"comment", std::string(1024, 'c')}}, nullptr, 122},
        {"parameters longer than their field", {{"parameters", std::string(1024, 'p')}}, nullptr, 122},
        {"port list longer than its field", {{"port", "USB001," + std::string(253, 'P')}}, nullptr, 122},
        {"printers cannot be listed", sim::json::object(), "EnumPrintersW", 1722},
    };
    for (const auto& c : cases) {
        FreshMachine();
        Seed();
        AddPrinter("Fits", "BREVANTO TXR4103 ZKW", "USB001");
        AddPrinter("Too long", "BREVANTO TXR4103 ZKW", "USB001", c.extra);
        if (c.faultOp) InjectFault(c.faultOp, c.error);
        std::vector<txr::PrinterSettings> list(1);
        std::uint32_t error = 0;
        EXPECT_EQ(txr::Lib_GetPrinterSettingsList(kDriver, &list, &error), 0) << c.what;
        EXPECT_EQ(error, c.error) << c.what;
        EXPECT_TRUE(list.empty()) << c.what;
    }
    FreshMachine();
    Seed();
    std::vector<txr::PrinterSettings> list;
    std::uint32_t error = 1;
    EXPECT_EQ(txr::Lib_GetPrinterSettingsList(kDriver, &list, &error), 0) << "no printer of the driver";
    EXPECT_EQ(error, 0u);
}

TEST_F(PrintersTest, ARefusedCarryOverReportsThePlatformsCodeWithoutABox)
{
    txr::PrinterSettings s{};
    txr::CopyToField(s.PrinterName, u"Front desk");
    txr::CopyToField(s.PortName, u"USB001");
    struct Case {
        const char* what;
        const char16_t* driver;
        std::vector<std::uint8_t> security;
        std::uint32_t error;
    } cases[] = {{"driver not installed", u"No Such Driver", {}, 1797},
                 {"security descriptor of another revision", kDriver, std::vector<std::uint8_t>(20, 0), 1338}};
    for (const auto& c : cases) {
        s.SecurityDescriptor = c.security;
        std::uint32_t error = 0;
        EXPECT_EQ(txr::Lib_AddPrinterWithSettings(s, c.driver, &error), 0) << c.what;
        EXPECT_EQ(error, c.error) << c.what;
    }
    EXPECT_TRUE(Events("printer_added").empty());
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(PrintersTest, AnExceptionInsideTheLayerIsAFailureWithACodeAndTheBox)
{
    AddPrinter("Front desk", "BREVANTO TXR4103 ZKW", "USB001");
    std::vector<txr::PrinterSettings> list;
    std::uint32_t error = 0;
    g_failAllocationOfSize = sizeof(txr::PrinterSettings);
    EXPECT_EQ(txr::Lib_GetPrinterSettingsList(kDriver, &list, &error), 0);
    g_failAllocationOfSize = 0;
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(error, 8u) << "never 0: with no code the failure would read as a driver without printers";
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].first, "Printer Driver Installer- Printer settings");
    EXPECT_EQ(Boxes()[0].second, "std::bad_alloc");
}

TEST_F(PrintersTest, DeletingAMissingPrinterReportsThePlatformsCode)
{
    std::uint32_t error = 0;
    EXPECT_EQ(txr::Lib_DeleteSelectedPrinter(u"Nobody", &error), 0);
    EXPECT_EQ(error, 1801u);
    AddPrinter("Somebody", "BREVANTO TXR4103 ZKW", "USB001");
    EXPECT_EQ(txr::Lib_DeleteSelectedPrinter(u"Somebody", &error), 1);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(Events("printer_deleted").size(), 1u);
}

}  // namespace
