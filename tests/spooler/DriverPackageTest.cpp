// Installing a driver from the package and removing one with its printers, its store package,
// stale store copies and the generic class driver's printers.
#include <filesystem>
#include <fstream>

#include "platform/utf.h"
#include "spooler/SpoolerCommon.h"
#include "tests/spooler/SpoolerFixture.h"

namespace {

constexpr char16_t kHwid[] = u"USBPRINT\\BREVANTOTXR4103";
constexpr char16_t kName[] = u"BREVANTO TXR4103 ZKW";
constexpr char16_t kInfName[] = u"TXR4103ZKW.inf";

class DriverPackageTest : public txrtest::SpoolerTest {
protected:
    // The sample package's INF of driver 1, copied onto the machine's drive.
    std::u16string PackageInf()
    {
        const std::u16string win = u"C:\\Temp\\Driver\\TXR4103ZKW.inf";
        auto host = sim::Machine::get().map_path(win);
        std::filesystem::create_directories(host->parent_path());
        for (const char* file : {"TXR4103ZKW.inf", "TXR4103ZKW.cat"})  // the catalog is checked by the upload
            std::filesystem::copy_file(std::filesystem::path(TXR_PAYLOAD_PACKAGE_DIR) / file, host->parent_path() / file,
                                       std::filesystem::copy_options::overwrite_existing);
        return win;
    }
    int StoreCopies(const std::string& prefix)
    {
        int n = 0;
        auto repo = sim::Machine::get().map_path(u"C:\\Windows\\System32\\DriverStore\\FileRepository");
        std::error_code ec;
        for (auto& e : std::filesystem::directory_iterator(*repo, ec))
            n += e.path().filename().string().rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }
    std::size_t SpoolerRestarts()
    {
        std::size_t n = 0;
        for (auto& s : ServiceSteps()) n += s == "Spooler running" ? 1 : 0;
        return n;
    }
};

TEST_F(DriverPackageTest, InstallUploadsAndInstallsAndAddsNoPrinterWithoutTheFlag)
{
    EXPECT_EQ(txr::Lib_PrinterDriverInstall(kName, PackageInf().c_str(), kName, u"", false), 1);
    ASSERT_EQ(Events("driver_installed").size(), 1u);
    EXPECT_EQ(Events("driver_installed")[0]["version"], "1.5.27.4");
    EXPECT_TRUE(Events("printer_added").empty());
    EXPECT_TRUE(Boxes().empty());
    const auto& d = Spooler()["drivers"].back();
    EXPECT_EQ(d["inf_path"].get<std::string>().rfind("C:\\Windows\\System32\\DriverStore\\FileRepository\\", 0), 0u);
}

TEST_F(DriverPackageTest, InstallWithTheFlagAddsTheFirstPrinter)
{
    AddPort("USB001", "USB Monitor", "Virtual printer port for USB");
    EXPECT_EQ(txr::Lib_PrinterDriverInstall(kName, PackageInf().c_str(), u"Counter 1", u"USB001", true), 1);
    ASSERT_EQ(Events("printer_added").size(), 1u);
    EXPECT_EQ(Events("printer_added")[0]["name"], "Counter 1");
}

TEST_F(DriverPackageTest, InstallFailuresShowTheDriverInstallBox)
{
    struct Case {
        const char* op;
        std::uint32_t code;
    } cases[] = {{"UploadPrinterDriverPackageW", 0x80070005u}, {"InstallPrinterDriverFromPackageW", 0x80070002u},
                 {"UploadPrinterDriverPackageW", 0x80AB0001u}};
    for (const auto& c : cases) {
        FreshMachine();
        InjectFault(c.op, c.code);
        EXPECT_EQ(txr::Lib_PrinterDriverInstall(kName, PackageInf().c_str(), kName, u"", false), 0) << c.op;
        ASSERT_EQ(Boxes().size(), 1u) << c.op;
        EXPECT_EQ(Boxes()[0].first, "Printer Driver Installer- Driver install");
        EXPECT_EQ(Boxes()[0].second, txt::to_utf8(txr::ErrorCodeToText(c.code))) << "shown also without a text";
        EXPECT_TRUE(Events("driver_installed").empty());
    }
}

TEST_F(DriverPackageTest, RemovingADriverThatIsNotThereSucceedsWithoutTouchingTheSpooler)
{
    EXPECT_EQ(txr::Lib_PrinterDriverUninstall(kHwid, kInfName, kName), 1);
    EXPECT_TRUE(ServiceSteps().empty());
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(DriverPackageTest, RemovingAnInstalledDriverTakesItsPrintersDriverAndPackage)
{
    AddDriver("BREVANTO TXR4103 ZKW", "USBPRINT\\BREVANTOTXR4103");
    AddPort("USB001", "USB Monitor", "Virtual printer port for USB");
    AddPrinter("Desk 1", "BREVANTO TXR4103 ZKW", "USB001");
    AddPrinter("Desk 2", "brevanto txr4103 zkw", "USB001");
    AddPrinter("Keep", "Microsoft Print To PDF", "PORTPROMPT:");
    ASSERT_EQ(StoreCopies("txr4103zkw.inf_"), 1);

    EXPECT_EQ(txr::Lib_PrinterDriverUninstall(kHwid, kInfName, kName), 1);
    EXPECT_EQ(Names("printers"), (std::vector<std::string>{"Microsoft Print to PDF", "Keep"}));
    EXPECT_EQ(Names("drivers"), std::vector<std::string>{"Microsoft Print To PDF"});
    EXPECT_EQ(StoreCopies("txr4103zkw.inf_"), 0);
    EXPECT_EQ(SpoolerRestarts(), 2u) << "once before the driver, once before the package";
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(DriverPackageTest, APrinterThatCannotBeDeletedStopsTheRemovalBeforeTheSpoolerIsTouched)
{
    AddDriver("BREVANTO TXR4103 ZKW", "USBPRINT\\BREVANTOTXR4103");
    AddPort("USB001", "USB Monitor", "Virtual printer port for USB");
    AddPrinter("Stuck", "BREVANTO TXR4103 ZKW", "USB001");
    InjectFault("DeletePrinter", 5);
    EXPECT_EQ(txr::Lib_PrinterDriverUninstall(kHwid, kInfName, kName), 0);
    EXPECT_TRUE(ServiceSteps().empty());
    EXPECT_EQ(Names("drivers").size(), 2u);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].first, "Printer Driver Installer- Driver uninstall");
    EXPECT_EQ(Boxes()[0].second, txt::to_utf8(txr::ErrorCodeToText(5)));
}

// Two stale copies of the package in the driver store, the driver itself not installed: each copy
// costs a spooler restart; a later failure takes back an earlier success, an earlier failure
// does not count against a later success.
struct ForcedCase {
    const char* what;
    int failingCall;  // which package deletion fails (0: none)
    std::int32_t result;
};
class ForcedDelete : public DriverPackageTest, public testing::WithParamInterface<ForcedCase> {};

TEST_P(ForcedDelete, KeepsARunningBalanceOverTheStoreCopies)
{
    sim::spool::stage_package_text("TXR4103ZKW.inf", "; copy one\n");
    sim::spool::stage_package_text("TXR4103ZKW.inf", "; copy two\n");
    // Entries that are not plain directories are passed over.
    auto repo = sim::Machine::get().map_path(u"C:\\Windows\\System32\\DriverStore\\FileRepository");
    std::ofstream(*repo / "txr4103zkw.inf_amd64_file") << "not a folder";
    ASSERT_EQ(StoreCopies("txr4103zkw.inf_amd64_"), 3);
    if (GetParam().failingCall) InjectFault("DeletePrinterDriverPackageW", 0x80070020u, GetParam().failingCall);

    EXPECT_EQ(txr::Lib_PrinterDriverUninstall(kHwid, kInfName, kName), GetParam().result);
    EXPECT_EQ(SpoolerRestarts(), 2u);
    // The copy's own box only when the system has a text for the code; the removal's box when the
    // removal as a whole failed.
    std::vector<std::string> expected;
    if (GetParam().failingCall && !txr::ErrorCodeToText(0x80070020u).empty())
        expected.push_back("Printer Driver Installer- Driver forced delete");
    if (GetParam().result == 0) expected.push_back("Printer Driver Installer- Driver uninstall");
    std::vector<std::string> captions;
    for (const auto& b : Boxes()) captions.push_back(b.first);
    EXPECT_EQ(captions, expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, ForcedDelete,
                         testing::Values(ForcedCase{"both_removed", 0, 1}, ForcedCase{"success_then_failure", 2, 0},
                                         ForcedCase{"failure_then_success", 1, 1}),
                         [](const auto& info) { return std::string(info.param.what); });

TEST_F(DriverPackageTest, GenericClassPrintersNamedAfterTheModelAreRemovedFirst)
{
    AddDriver("HP PCL3 A-size Printer Class Driver", "1284_CID_HPIJVIPAV3", "10.0.1.0", "06/21/2006", "prnhp001.inf");
    AddPort("USB001", "USB Monitor", "Virtual printer port for USB");
    AddPrinter("BREVANTO TXR4103", "HP PCL3 A-size Printer Class Driver", "USB001");
    AddPrinter("Office", "HP PCL3 A-size Printer Class Driver", "USB001");
    AddPrinter("brevanto txr4103", "HP PCL3 A-size Printer Class Driver", "USB001");
    EXPECT_EQ(txr::Lib_PrinterDriverUninstall(kHwid, kInfName, kName), 1);
    EXPECT_EQ(Names("printers"), (std::vector<std::string>{"Microsoft Print to PDF", "Office", "brevanto txr4103"}));
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(DriverPackageTest, AFailedGenericCleanupShowsItsBoxAndTheRemovalGoesOn)
{
    AddDriver("BREVANTO TXR4103 ZKW", "USBPRINT\\BREVANTOTXR4103");
    InjectFault("EnumPrinterDriversW", 1722);  // the class driver lookup
    EXPECT_EQ(txr::Lib_PrinterDriverUninstall(kHwid, kInfName, kName), 1);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].first, "Printer Driver Installer- Delete generic");
    EXPECT_EQ(Names("drivers").size(), 1u);
}

TEST_F(DriverPackageTest, ADriverThatIsStillInUseEndsTheRemovalWithoutABox)
{
    AddDriver("BREVANTO TXR4103 ZKW", "USBPRINT\\BREVANTOTXR4103");
    InjectFault("DeletePrinterDriverExW", 3001);
    EXPECT_EQ(txr::Lib_PrinterDriverUninstall(kHwid, kInfName, kName), 0);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(SpoolerRestarts(), 1u);
}

}  // namespace

namespace {

class ForcedDeleteStops : public DriverPackageTest {
protected:
    std::uint64_t Clock() { return State()["clock"]["ms"].get<std::uint64_t>(); }
    std::vector<std::string> Captions()
    {
        std::vector<std::string> captions;
        for (const auto& b : Boxes()) captions.push_back(b.first);
        return captions;
    }
};

// A spooler that hangs on its way down, and many stale copies of the package: one restart attempt,
// one wait, its box, and the walk ends; the removal reports the failure.
TEST_F(ForcedDeleteStops, AtTheFirstFailedSpoolerRestart)
{
    for (int i = 0; i < 5; ++i) sim::spool::stage_package_text("TXR4103ZKW.inf", "; copy " + std::to_string(i) + "\n");
    (*Service("Spooler"))["pending_queries"] = -1;
    Save();
    const auto before = Clock();

    EXPECT_EQ(txr::Lib_PrinterDriverUninstall(kHwid, kInfName, kName), 0);
    EXPECT_LE(Clock() - before, 61000u) << "one phase of waiting, not one per copy";
    EXPECT_EQ(StoreCopies("txr4103zkw.inf_"), 5);
    EXPECT_EQ(Captions(), (std::vector<std::string>{"Printer Driver Installer- Windows service",
                                                    "Printer Driver Installer- Driver uninstall"}));
    EXPECT_EQ(Boxes()[0].second, txt::to_utf8(txr::ErrorCodeToText(1053)) + "\nSpooler: Restart FAILED");
}

// A restart that fails while the spooler keeps running: the copy is still removed (the step's own
// result rule), the caller learns of the failed restart, and the forced delete goes no further.
TEST_F(ForcedDeleteStops, EvenWhenThatCopyWasRemoved)
{
    // An active dependent that is not running is not stopped first, and holds the spooler up.
    AddService("Pending", "start_pending", {{"pending_left", -1}});
    const std::string first = sim::spool::stage_package_text("TXR4103ZKW.inf", "; one\n");
    bool restartFailed = false;
    std::uint32_t error = 7;
    EXPECT_EQ(txr::DeleteDriverPackage(txt::from_utf8(first).c_str(), &error, &restartFailed), 1);
    EXPECT_TRUE(restartFailed);
    EXPECT_EQ(error, 0u);

    sim::spool::stage_package_text("TXR4103ZKW.inf", "; two\n");
    sim::spool::stage_package_text("TXR4103ZKW.inf", "; three\n");
    const std::size_t boxes = Boxes().size();
    EXPECT_EQ(txr::ForceDeleteDriverPackage(kInfName, &error), 1);
    EXPECT_EQ(StoreCopies("txr4103zkw.inf_"), 1);
    EXPECT_EQ(Boxes().size(), boxes + 1) << "the one restart's box";
}

TEST_F(DriverPackageTest, TheForcedDeletePassesOverTheStagedCopy)
{
    const std::string staged = sim::spool::stage_package_text("TXR4103ZKW.inf", "; staged for the new driver\n");
    sim::spool::stage_package_text("TXR4103ZKW.inf", "; stale\n");
    ASSERT_EQ(StoreCopies("txr4103zkw.inf_"), 2);
    // The same path in another case still names the same folder.
    std::u16string skip = txt::from_utf8(staged);
    for (auto& ch : skip)
        if (ch >= u'a' && ch <= u'z') ch = static_cast<char16_t>(ch - u'a' + u'A');
    std::uint32_t error = 7;
    EXPECT_EQ(txr::ForceDeleteDriverPackage(kInfName, &error, skip.c_str()), 1);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(StoreCopies("txr4103zkw.inf_"), 1);
    EXPECT_TRUE(std::filesystem::exists(*sim::Machine::get().map_path(txt::from_utf8(staged))));
    EXPECT_EQ(SpoolerRestarts(), 1u);
}

// The generic class cleanup's guard: an exception without a message shows the box for the stored
// code under the step's caption; elsewhere such an exception stays silent.
TEST_F(DriverPackageTest, AnExceptionWithoutAMessageShowsTheStoredCodeWhereAsked)
{
    const auto throwing = []() -> std::int32_t {
        win::SetLastError(1722);
        throw 42;
    };
    std::uint32_t error = 0;
    EXPECT_EQ(txr::spooler::Guarded(u"Delete generic", &error, throwing, 0, txr::spooler::WithoutMessage::CodeBox), 0);
    EXPECT_EQ(error, 1722u);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].first, "Printer Driver Installer- Delete generic");
    EXPECT_EQ(Boxes()[0].second, txt::to_utf8(txr::ErrorCodeToText(1722)));

    error = 0;
    EXPECT_EQ(txr::spooler::Guarded(u"Delete printer", &error, throwing), 0);
    EXPECT_EQ(error, 1722u);
    EXPECT_EQ(Boxes().size(), 1u);
}

}  // namespace
