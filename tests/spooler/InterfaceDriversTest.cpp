// The USB interface drivers through the device installer, and removing the model's printer-class
// device entries.
#include "platform/utf.h"
#include "tests/spooler/SpoolerFixture.h"

namespace {

constexpr char16_t kInf[] = u"C:\\Temp\\Driver\\PrinterWinUBS.inf";

class InterfaceDriversTest : public txrtest::SpoolerTest {
protected:
    void StageInf()
    {
        auto host = sim::Machine::get().map_path(kInf);
        std::filesystem::create_directories(host->parent_path());
        for (const char* file : {"PrinterWinUBS.inf", "PrinterWinUBS.cat"})  // the catalog is checked by the install
            std::filesystem::copy_file(std::filesystem::path(TXR_PAYLOAD_PACKAGE_DIR) / file, host->parent_path() / file,
                                       std::filesystem::copy_options::overwrite_existing);
    }
    void AddDevice(const std::string& id, const std::string& classGuid = "{4d36e979-e325-11ce-bfc1-08002be10318}")
    {
        State()["devices"]["list"].push_back({{"instance_id", id}, {"class_guid", classGuid}, {"present", false}});
        Save();
    }
    std::vector<std::string> DeviceIds()
    {
        std::vector<std::string> ids;
        for (auto& d : State()["devices"]["list"]) ids.push_back(d["instance_id"]);
        return ids;
    }
};

TEST(InterfaceInstallMessageCode, DeviceInstallerAndSystemCodesAreLookedUpAsResults)
{
    EXPECT_EQ(txr::InterfaceInstallMessageCode(0xE000020Bu), 0x800F020Bu);
    EXPECT_EQ(txr::InterfaceInstallMessageCode(0xE0000247u), 0x800F0247u);
    EXPECT_EQ(txr::InterfaceInstallMessageCode(2), 0x80070002u);
    EXPECT_EQ(txr::InterfaceInstallMessageCode(0x00012345u), 0x80072345u);
    EXPECT_EQ(txr::InterfaceInstallMessageCode(0x80070005u), 0x80070005u);
    EXPECT_EQ(txr::InterfaceInstallMessageCode(0xC0000001u), 0xC0000001u);
}

TEST_F(InterfaceDriversTest, InstallsAndAsksForARestartWhenThePlatformDoes)
{
    StageInf();
    State()["devices"]["reboot_required"] = true;
    Save();
    std::uint32_t error = 7;
    bool restart = false;
    EXPECT_EQ(txr::Lib_USBDeviceInterfaceDriverInstall(kInf, 0, &error, true, &restart), 1);
    EXPECT_EQ(error, 0u);
    EXPECT_TRUE(restart);
    ASSERT_EQ(Events("message_box").size(), 1u);
    const auto box = Events("message_box")[0];
    EXPECT_EQ(box["caption"], "Printer Driver Installer");
    EXPECT_EQ(box["text"], "Please restart PC after installation!");
    EXPECT_EQ(box["icon"], "information");
}

TEST_F(InterfaceDriversTest, AnInterfaceDriverAlreadyInPlaceFailsWith259AndShowsNothing)
{
    StageInf();
    std::uint32_t error = 0;
    ASSERT_EQ(txr::Lib_USBDeviceInterfaceDriverInstall(kInf, 0, &error, true), 1);
    EXPECT_EQ(txr::Lib_USBDeviceInterfaceDriverInstall(kInf, 0, &error, true), 0);
    EXPECT_EQ(error, 259u);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(InterfaceDriversTest, OtherFailuresShowTheBoxWithTheResultCodesTextAndHandBackTheRawCode)
{
    for (std::uint32_t code : {0xE000020Bu, 2u}) {
        FreshMachine();
        StageInf();
        InjectFault("DiInstallDriverW", code);
        std::uint32_t error = 0;
        EXPECT_EQ(txr::Lib_USBDeviceInterfaceDriverInstall(kInf, 0, &error, true), 0);
        EXPECT_EQ(error, code);
        ASSERT_EQ(Boxes().size(), 1u);
        EXPECT_EQ(Boxes()[0].first, "Printer Driver Installer- USB driver install");
        EXPECT_EQ(Boxes()[0].second, txt::to_utf8(txr::ErrorCodeToText(txr::InterfaceInstallMessageCode(code))));
    }
}

TEST_F(InterfaceDriversTest, RedirectionIsBackOnAfterAFailedInstallOfA32BitProcess)
{
    FreshMachine("de-DE", 64);
    State()["process"]["bits"] = 32;
    Save();
    StageInf();
    std::uint32_t error = 0;
    EXPECT_EQ(txr::Lib_USBDeviceInterfaceDriverInstall(kInf, 1, &error, true), 0);
    EXPECT_EQ(error, 0xE0000235u) << "the device installer's own code, not the redirection call's";
    const auto steps = Events("fs_redirection");
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0]["enabled"], false);
    EXPECT_EQ(steps[1]["enabled"], true);
    EXPECT_EQ(State()["process"]["fs_redirection"], true);
}

TEST_F(InterfaceDriversTest, DeviceRemovalTakesOnlyUsbprintEntriesThatNameTheModelExactly)
{
    AddDevice("USBPRINT\\BREVANTOTXR4103\\7&2A1B3C4D&0&USB001");
    AddDevice("SWD\\PRINTENUM\\BREVANTOTXR4103");
    AddDevice("USBPRINT\\OTHERMODEL\\7&3&0&USB003");
    // Instance IDs read in upper case; the text is matched as given.
    EXPECT_EQ(txr::UninstallDeviceInstance(u"brevantotxr4103"), 1);
    EXPECT_EQ(DeviceIds().size(), 3u);
    EXPECT_EQ(txr::UninstallDeviceInstance(u"BREVANTOTXR4103"), 1);
    EXPECT_EQ(DeviceIds(), (std::vector<std::string>{"SWD\\PRINTENUM\\BREVANTOTXR4103",
                                                     "USBPRINT\\OTHERMODEL\\7&3&0&USB003"}));
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(InterfaceDriversTest, DeviceRemovalThatNeedsARestartLeavesWindowsNoPromptToShow)
{
    AddDevice("USBPRINT\\BREVANTOTXR4103\\7&2A1B3C4D&0&USB001");
    State()["devices"]["reboot_required"] = true;
    Save();
    EXPECT_EQ(txr::UninstallDeviceInstance(u"BREVANTOTXR4103"), 1);
    EXPECT_TRUE(DeviceIds().empty());
    EXPECT_TRUE(Events("restart_prompt").empty());
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(InterfaceDriversTest, DeviceRemovalWithNothingToRemoveSucceedsQuietly)
{
    AddDevice("USBPRINT\\OTHERMODEL\\7&3&0&USB003");
    EXPECT_EQ(txr::UninstallDeviceInstance(u"BREVANTOTXR4103"), 1);
    EXPECT_TRUE(Boxes().empty()) << "the end of the device walk is no error";
}

TEST_F(InterfaceDriversTest, AFailedDeviceRemovalShowsItsBox)
{
    AddDevice("USBPRINT\\BREVANTOTXR4103\\7&2A1B3C4D&0&USB001");
    InjectFault("DiUninstallDevice", 5);
    EXPECT_EQ(txr::UninstallDeviceInstance(u"BREVANTOTXR4103"), 0);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].first, "Printer Driver Installer- UNINSTALL DEVICE-error");
    EXPECT_EQ(Boxes()[0].second, txt::to_utf8(txr::ErrorCodeToText(5)));
}

}  // namespace
