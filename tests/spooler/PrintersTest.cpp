// Local printers of a driver: adding (with the SNMP switch first), deleting, counting, listing and
// changing one printer's name, port or driver.
#include "core/WideText.h"
#include "platform/utf.h"
#include "tests/spooler/SpoolerFixture.h"

namespace {

constexpr char16_t kDriver[] = u"BREVANTO TXR4103 ZKW";

class PrintersTest : public txrtest::SpoolerTest {
protected:
    void SetUp() override
    {
        SpoolerTest::SetUp();
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

TEST_F(PrintersTest, RenamingKeepsEveryOtherSetting)
{
    AddPrinter("Front desk", "BREVANTO TXR4103 ZKW", "USB001",
               {{"comment", "ID cards"}, {"location", "Hall 2"}, {"datatype", "NT EMF 1.008"}, {"share_name", "fd"},
                {"attributes", 0x248}, {"priority", 7}});
    const sim::json before = Spooler()["printers"].back();
    const auto current = Record(u"Front desk", u"USB001", kDriver);
    const auto desired = Record(u"Back office", u"USB001", kDriver);
    std::uint32_t error = 1;
    EXPECT_EQ(txr::Lib_SetPrinterDeviceConfig(&current, &desired, &error), 1);
    EXPECT_EQ(error, 0u);
    sim::json after = Spooler()["printers"].back();
    EXPECT_EQ(after["name"], "Back office");
    after["name"] = before["name"];
    for (auto& [key, value] : before.items()) EXPECT_EQ(after[key], value) << key;
    EXPECT_TRUE(Boxes().empty());
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
