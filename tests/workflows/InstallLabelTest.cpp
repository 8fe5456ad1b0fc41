// The install page's progress text as the installation, removal and update workflows write it, on
// a simulated machine with the embedded sample package.
#include <filesystem>
#include <regex>

#include "core/Form1.h"
#include "core/WideText.h"
#include "platform/utf.h"
#include "tests/spooler/SpoolerFixture.h"

namespace {

class InstallLabelTest : public txrtest::SpoolerTest {
protected:
    void SetUp() override
    {
        SpoolerTest::SetUp();
        FreshMachine("en-US");
        form.UI_BuildCatalogs();
        form.UI_SelectedLanguage = 1;
        for (auto* r : {&g_InstalledDriverDataArray[0], &g_UpdatedDriverDataArray[0], &g_InstalledDriverDataArray[1],
                        &g_UpdatedDriverDataArray[1]})
            txr::ClearInstalledDriverInfo(r);
        const char16_t* models[2] = {u"BREVANTO TXR4103 ZKW", u"BREVANTO TXR4103"};
        for (int i = 0; i < 2; ++i) {
            g_DriverPackageInfDataArray[i] = {};
            txr::CopyToField(g_DriverPackageInfDataArray[i].ModelName, models[i]);
            std::u16string text;
            ASSERT_EQ(form.UI_GetDriverInstallInfoFromPackage(&g_DriverPackageInfDataArray[i], text, true, true), 1);
        }
        // Reading the package sets the box by the certificate report; the user then ticks it.
        form.Select_InstallCertCheckBox.Checked = true;
    }
    void TearDown() override
    {
        for (auto* r : {&g_InstalledDriverDataArray[0], &g_UpdatedDriverDataArray[0], &g_InstalledDriverDataArray[1],
                        &g_UpdatedDriverDataArray[1]})
            txr::ClearInstalledDriverInfo(r);
        SpoolerTest::TearDown();
    }
    std::string Label() const
    {
        return std::regex_replace(txt::to_utf8(form.InstallStatusLabel.Text), std::regex("\r\n"), "|");
    }
    std::int32_t Install(int slot = 0)
    {
        return form.UI_BGWInstallDriver(&g_DriverPackageInfDataArray[slot], &g_InstalledDriverDataArray[slot],
                                        &g_UpdatedDriverDataArray[slot], false, u"", slot);
    }
    txr::Form1 form;
};

constexpr char kHead[] =
    "++++ BREVANTO TXR4103 ZKW ++++|Installation started ...|+Unpacking driver package ...Done|"
    "+Digital certificate check...";
constexpr char kCertificates[] =
    "|   +Installing missing root CA certificate. It may take several minutes....|"
    "   # BREVANTO Test Code Signing CA";
constexpr char kRemovalNothingFound[] =
    "|+Deleting previously installed driver and printers ...| + Uninstall started ...driver not found in list.|"
    "   Printer and driver have been successfully uninstalled|+Installing driver ....";

TEST_F(InstallLabelTest, AFreshInstallationReportsEveryStep)
{
    EXPECT_EQ(Install(), 1);
    EXPECT_EQ(Label(), std::string(kHead) + kCertificates + "installed." + kRemovalNothingFound +
                           "Done|+Installing WinUSB driver...Done|+Installing REST interface USB driver...Done|"
                           "BREVANTO TXR4103 ZKWInstallation ... SUCCESSFUL|"
                           "Installed driver version: BREVANTO TXR4103 ZKW[3/10/2023 [1.5.27.4]]");
}

TEST_F(InstallLabelTest, InterfaceDriversInPlaceReadAlreadyInstalledOnTheirOwnLines)
{
    State()["devices"]["drivers"] = {{{"hardware_id", "USB\\vid_03f0&Pid_092C&mi_02"}, {"version", "9.0.0.0"}},
                                     {{"hardware_id", "USB\\vid_03f0&Pid_092C&mi_01"}, {"version", "9.0.0.0"}}};
    Save();
    EXPECT_EQ(Install(), 1);
    const std::string label = Label();
    EXPECT_NE(label.find("|+Installing WinUSB driver...already installed|+Installing REST interface USB driver...already "
                         "installed|BREVANTO TXR4103 ZKWInstallation ... SUCCESSFUL|"),
              std::string::npos)
        << label;
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(InstallLabelTest, AFailedDriverInstallationNamesTheSignatureOnlyWhenTheCertificateStepFailed)
{
    struct Case {
        bool installCertificates;
        const char* certificateLines;
        const char* failureLine;
    } cases[] = {
        {true, "|   +Installing missing root CA certificate. It may take several minutes....|"
               "   # BREVANTO Test Code Signing CAinstalled.",
         "Error: Installing driver and adding printer...Failed"},
        {false, "installation failure!", "Signature error: Install root signtaure!"},
    };
    for (const auto& c : cases) {
        SetUp();
        form.Select_InstallCertCheckBox.Checked = c.installCertificates;
        InjectFault("UploadPrinterDriverPackageW", 0x80070005u);
        EXPECT_EQ(Install(), 0);
        // The store refused the package: nothing was removed, the driver step names the failure.
        EXPECT_EQ(Label(), std::string(kHead) + c.certificateLines + "|+Installing driver ...|" + c.failureLine +
                               "|BREVANTO TXR4103 ZKW: Installation ... FAILURE!");
        EXPECT_TRUE(Events("interface_driver_installed").empty()) << "no interface drivers without the driver";
        TearDown();
    }
}

TEST_F(InstallLabelTest, RemovalOnTheWindowThreadReportsTheDetectedDriverAndItsRemoval)
{
    AddDriver("BREVANTO TXR4103 ZKW", "USBPRINT\\BREVANTOTXR4103733D", "1.5.26.1", "01/15/2022");
    txr::InstalledDriverInfo& before = g_InstalledDriverDataArray[0];
    std::u16string text;
    ASSERT_NE(form.UI_GetInstalledDriverAndPrinterInfo(&g_DriverPackageInfDataArray[0], &before, text), 0);
    form.InstallStatusLabel.Text.clear();
    EXPECT_EQ(form.UI_UnInstallDriver(&g_DriverPackageInfDataArray[0], &before), 1);
    EXPECT_EQ(Label(), "| + Uninstall started ...|   Detected driver version: BREVANTO TXR4103 ZKW[1.5.26.1]|"
                       "   Printer and driver have been successfully uninstalled");
    EXPECT_EQ(Names("drivers"), std::vector<std::string>{"Microsoft Print To PDF"});
}

class UpdateDriverTest : public InstallLabelTest {
protected:
    // Driver 1 in an older version with a printer on a network port first and one on USB001; its
    // package in the driver store can install it again.
    void OlderDriverWithTwoPrinters()
    {
        oldStoreInf = sim::spool::stage_package_text(
            "TXR4103ZKW.inf", "[Version]\r\nProvider=\"BREVANTO\"\r\nDriverVer=01/15/2022,1.5.26.1\r\n"
                              "[Manufacturer]\r\n\"BREVANTO\"=BREVANTO,NTamd64\r\n[BREVANTO.NTamd64]\r\n"
                              "\"BREVANTO TXR4103 ZKW\"=INSTALL,USBPRINT\\BREVANTOTXR4103733D\r\n");
        Spooler()["drivers"].push_back({{"name", "BREVANTO TXR4103 ZKW"},       {"environment", "Windows x64"},
                                        {"inf_path", oldStoreInf},              {"version", "1.5.26.1"},
                                        {"date", "01/15/2022"},                 {"manufacturer", "BREVANTO"},
                                        {"hardware_id", "USBPRINT\\BREVANTOTXR4103733D"}});
        Save();
        AddPort("USB001", "USB Monitor", "Virtual printer port for USB");
        AddPort("IP_10.1.2.3", "Standard TCP/IP Port", "Standard TCP/IP Port");
        AddPrinter("Reception", "BREVANTO TXR4103 ZKW", "IP_10.1.2.3");
        AddPrinter("Store", "BREVANTO TXR4103 ZKW", "USB001");
        for (int i = 0; i < 2; ++i) {
            std::u16string text;
            form.UI_GetInstalledDriverAndPrinterInfo(&g_DriverPackageInfDataArray[i], &g_InstalledDriverDataArray[i],
                                                     text);
        }
        ASSERT_EQ(g_InstalledDriverDataArray[0].PrinterCount, 2);
    }
    std::string oldStoreInf;
    std::string DriverVersion(const std::string& name)
    {
        for (auto& d : Spooler()["drivers"])
            if (d["name"] == name) return d["version"];
        return "-";
    }
    bool InStore(const std::string& storeInf)
    {
        auto host = sim::Machine::get().map_path(txt::from_utf8(storeInf));
        return host && std::filesystem::exists(*host);
    }
    std::vector<std::string> Printers(const std::string& driver)
    {
        std::vector<std::string> out;
        for (auto& p : Spooler()["printers"])
            if (p["driver"] == driver) out.push_back(p["name"].get<std::string>() + "@" + p["port"].get<std::string>());
        return out;
    }
};

TEST_F(UpdateDriverTest, NotRequestedReportsTheInstalledStateAndChangesNothing)
{
    OlderDriverWithTwoPrinters();
    const sim::json before = Spooler();
    EXPECT_EQ(form.UI_UpdateDriver(0, 0), txr::DriverStateWithPrinter);
    EXPECT_EQ(Spooler(), before);
}

TEST_F(UpdateDriverTest, TheOldPrintersMoveToTheNewDriverAndDriverTwoGetsOneOnTheUsbPort)
{
    OlderDriverWithTwoPrinters();
    EXPECT_EQ(form.UI_UpdateDriver(1, 0), txr::DriverStateWithPrinter);
    EXPECT_EQ(Printers("BREVANTO TXR4103 ZKW"), (std::vector<std::string>{"Reception@IP_10.1.2.3", "Store@USB001"}));
    EXPECT_EQ(txt::to_utf8(txr::FieldText(g_UpdatedDriverDataArray[0].DriverVersion)), "1.5.27.4");
    EXPECT_EQ(g_UpdatedDriverDataArray[0].PrinterCount, 2);

    EXPECT_EQ(form.UI_UpdateDriver(1, 1), txr::DriverStateWithPrinter);
    EXPECT_EQ(Printers("BREVANTO TXR4103"), std::vector<std::string>{"BREVANTO TXR4103@USB001"});
}

TEST_F(UpdateDriverTest, AFreshInstallationHasNoPrinterYet)
{
    EXPECT_EQ(form.UI_UpdateDriver(1, 0), txr::DriverStateNoPrinter);
    EXPECT_EQ(Printers("BREVANTO TXR4103 ZKW").size(), 0u);
}

TEST_F(UpdateDriverTest, AFailedInstallationTakesTheStateFromTheRecordBeforeTheRun)
{
    OlderDriverWithTwoPrinters();
    InjectFault("UploadPrinterDriverPackageW", 0x80070005u);
    EXPECT_EQ(form.UI_UpdateDriver(1, 0), txr::DriverStateWithPrinter);
    EXPECT_EQ(g_UpdatedDriverDataArray[0].IsInstalled, 0);
}

TEST_F(UpdateDriverTest, AFailedUpdateAddsBackThePrintersOfAnOldDriverThatStayed)
{
    OlderDriverWithTwoPrinters();
    InjectFault("DeletePrinterDriverExW", 3001);  // the old driver stays, its printers are gone
    InjectFault("InstallPrinterDriverFromPackageW", 0x80070005u);
    EXPECT_EQ(form.UI_UpdateDriver(1, 0), txr::DriverStateWithPrinter);
    EXPECT_EQ(Printers("BREVANTO TXR4103 ZKW"), (std::vector<std::string>{"Reception@IP_10.1.2.3", "Store@USB001"}));
    EXPECT_EQ(Label().find("could not be kept"), std::string::npos) << Label();
}

TEST_F(UpdateDriverTest, APackageTheStoreRefusesChangesNothingOnTheMachine)
{
    OlderDriverWithTwoPrinters();
    const sim::json before = Spooler();
    InjectFault("UploadPrinterDriverPackageW", 0x800B0109u);  // the catalog's root is not trusted
    EXPECT_EQ(form.UI_UpdateDriver(1, 0), txr::DriverStateWithPrinter);
    EXPECT_EQ(Spooler(), before);
    EXPECT_TRUE(InStore(oldStoreInf));
    EXPECT_TRUE(Events("device_removed").empty());
}

TEST_F(UpdateDriverTest, TheOldDriverIsPutBackWithItsPrintersWhenTheNewOneCannotBeInstalled)
{
    OlderDriverWithTwoPrinters();
    InjectFault("InstallPrinterDriverFromPackageW", 0x80070002u);  // the new driver only
    EXPECT_EQ(form.UI_UpdateDriver(1, 0), txr::DriverStateWithPrinter);
    EXPECT_EQ(DriverVersion("BREVANTO TXR4103 ZKW"), "1.5.26.1");
    EXPECT_EQ(Printers("BREVANTO TXR4103 ZKW"), (std::vector<std::string>{"Reception@IP_10.1.2.3", "Store@USB001"}));
    EXPECT_TRUE(InStore(oldStoreInf));
    const std::string label = Label();
    EXPECT_NE(label.find("|+Installing driver ....|Error: Installing driver and adding printer...Failed|"
                         "+Restoring the previous driver ....Done|BREVANTO TXR4103 ZKW: Installation ... FAILURE!"),
              std::string::npos)
        << label;
}

TEST_F(UpdateDriverTest, AfterASuccessfulUpdateOnlyTheStagedPackageIsLeft)
{
    OlderDriverWithTwoPrinters();
    EXPECT_EQ(form.UI_UpdateDriver(1, 0), txr::DriverStateWithPrinter);
    EXPECT_FALSE(InStore(oldStoreInf));
    const std::string now = Spooler()["drivers"][1]["inf_path"];
    EXPECT_TRUE(InStore(now));
    EXPECT_NE(now, oldStoreInf);
}

TEST_F(UpdateDriverTest, ThePagesNamesEveryPrinterItCouldNotKeep)
{
    OlderDriverWithTwoPrinters();
    for (auto& svc : State()["services"])
        if (svc["name"] == "Spooler") svc["start_error"] = 1068;  // once stopped, it does not start again
    Save();
    EXPECT_EQ(form.UI_UpdateDriver(1, 0), txr::DriverStateWithPrinter);
    const std::string label = Label();
    EXPECT_NE(label.find("|Error: Printer could not be kept: Reception (IP_10.1.2.3)"
                         "|Error: Printer could not be kept: Store (USB001)"),
              std::string::npos)
        << label;
}

TEST_F(UpdateDriverTest, CarriedOverPrintersKeepTheirSettings)
{
    OlderDriverWithTwoPrinters();
    for (auto& p : Spooler()["printers"])
        if (p["name"] == "Reception")
            p.update({{"comment", "Front desk"}, {"location", "Building A"}, {"share_name", "RECEPTION"},
                      {"attributes", 0x248}, {"sep_file", "C:\\Windows\\System32\\pscript.sep"},
                      {"parameters", "x=1"}, {"priority", 7}, {"default_priority", 3}, {"start_time", 480},
                      {"until_time", 1020}});
    Save();
    auto reception = [this]() -> const sim::json* {
        for (auto& p : Spooler()["printers"])
            if (p["name"] == "Reception") return &p;
        return nullptr;
    };
    const sim::json before = *reception();
    EXPECT_EQ(form.UI_UpdateDriver(1, 0), txr::DriverStateWithPrinter);
    const sim::json* after = reception();
    ASSERT_TRUE(after);
    for (const char* key : {"comment", "location", "share_name", "attributes", "sep_file", "print_processor",
                            "datatype", "parameters", "priority", "default_priority", "start_time", "until_time",
                            "port"})
        EXPECT_EQ((*after)[key], before[key]) << key;
}

}  // namespace
