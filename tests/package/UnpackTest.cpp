// Unpacking the embedded package: where the unpack folder lies, what lands in it, and what a person
// sees when a step fails.
#include <signal.h>

#include <cerrno>
#include <set>

#include "platform/handles.h"
#include "platform/utf.h"
#include "platform/win32api.h"
#include "tests/package/PackageFixture.h"

namespace fs = std::filesystem;

namespace txrtest {
namespace {

using Boxes_t = std::vector<std::pair<std::string, std::string>>;

const std::pair<std::string, std::string> kExpandFailed{"Printer Driver Installer", "expand: failed"};
const std::pair<std::string, std::string> kExpandZero{"Printer Driver Installer- Unpack", "Expand: 0"};

class Unpack : public PackageTest {};

std::set<std::string> FileNames(const fs::path& folder)
{
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        if (e.is_regular_file()) names.insert(e.path().filename().string());
    return names;
}

TEST_F(Unpack, EmbeddedPackageLandsInTheFolderLayout)
{
    if (!EmbeddedPackagePresent()) GTEST_SKIP() << "the build has no sample package";
    ASSERT_EQ(form_.UI_UnpackDriverPackage(), 1);
    EXPECT_TRUE(Boxes().empty());

    const fs::path root = UnpackHost();
    EXPECT_EQ(FileNames(root), (std::set<std::string>{"Main.CAB", "amd64.CAB", "i386.CAB"}));
    // Every file of each archive lies in its destination folder.
    const fs::path package = TXR_PAYLOAD_PACKAGE_DIR;
    EXPECT_EQ(FileNames(root / "Driver"), FileNames(package));
    EXPECT_TRUE(FileNames(root / "Driver").count("TXR4103ZKW.inf"));
    EXPECT_EQ(FileNames(root / "Driver" / "V3" / "i386"), FileNames(package / "V3" / "i386"));
    EXPECT_EQ(FileNames(root / "Driver" / "V3" / "amd64"), FileNames(package / "V3" / "amd64"));
    EXPECT_FALSE(FileNames(root / "Driver" / "V3" / "amd64").empty());

    // The expansion tool is asked with exactly these command lines, without a window.
    // The expansion tool is started by its full path in the system folder, never through the
    // search, with expand's documented form for a cabinet, without a window.
    const std::string base = "C:\\Program Files (x86)\\ZQ_DriverCab_Temp";
    const std::string tool = "\"C:\\Windows\\System32\\expand.exe\" \"";
    EXPECT_EQ(CommandLines(),
              (std::vector<std::string>{
                  tool + base + "\\Main.CAB\" -F:* \"" + base + "\\Driver\"",
                  tool + base + "\\i386.CAB\" -F:* \"" + base + "\\Driver\\V3\\i386\"",
                  tool + base + "\\amd64.CAB\" -F:* \"" + base + "\\Driver\\V3\\amd64\"",
              }));
    for (const auto& e : Events("process_started")) {
        EXPECT_EQ(e["application_name"], "C:\\Windows\\System32\\expand.exe");
        EXPECT_EQ(e["image"], "C:\\Windows\\System32\\expand.exe");
        EXPECT_EQ(e["no_window"], true);
    }
    EXPECT_EQ(Events("process_ended").size(), 3u);
}

TEST_F(Unpack, FolderPathFromTheEnvironment)
{
    struct Case {
        const char* name;
        int bits;
        const char* x86;  // value of ProgramFiles(x86): nullptr = absent
        const char* programFiles;
        const char16_t* expected;  // nullptr = the step fails
        std::uint32_t error;
    };
    const Case cases[] = {
        {"64-bit Windows", 64, "C:\\Program Files (x86)", "C:\\Program Files", kUnpackFolder64, 0},
        {"32-bit Windows", 32, nullptr, "C:\\Program Files", kUnpackFolder32, 0},
        {"empty ProgramFiles(x86)", 64, "", "C:\\Program Files", kUnpackFolder32, 0},
        {"neither variable", 64, nullptr, nullptr, nullptr, win::ERROR_ENVVAR_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FreshMachine("de-DE", c.bits);
        auto& env = State()["environment"];
        env.erase("ProgramFiles(x86)");
        env.erase("ProgramFiles");
        if (c.x86) env["ProgramFiles(x86)"] = c.x86;
        if (c.programFiles) env["ProgramFiles"] = c.programFiles;
        Save();
        char16_t buffer[260];
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        std::uint32_t error = 0xFFFF;
        const auto r = txr::Lib_GetCabDestinationPath(buffer, 260, &error);
        EXPECT_EQ(error, c.error);
        if (c.expected) {
            EXPECT_EQ(r, 1);
            EXPECT_EQ(std::u16string(buffer), c.expected);
        } else {
            EXPECT_EQ(r, 0);
        }
    }
}

TEST_F(Unpack, SmallBufferFailsWithoutTouchingTheErrorCode)
{
    char16_t buffer[259] = {};
    std::uint32_t error = 1234;
    EXPECT_EQ(txr::Lib_GetCabDestinationPath(buffer, 259, &error), 0);
    EXPECT_EQ(error, 1234u);
}

TEST_F(Unpack, PathTooLong)
{
    // A program-files folder whose unpack folder would not fit 259 characters: no path at all.
    const std::string longFolder = "C:\\" + std::string(240, 'p');
    State()["environment"]["ProgramFiles(x86)"] = longFolder;
    Save();
    char16_t buffer[260];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    std::uint32_t error = 77;
    EXPECT_EQ(txr::Lib_GetCabDestinationPath(buffer, 260, &error), 0);
    EXPECT_EQ(error, 77u);
    EXPECT_TRUE(std::all_of(std::begin(buffer), std::end(buffer), [](char16_t c) { return c == 0; }));

    // The unpack folder fits, its deepest sub-folder does not: it is not created under a cut name.
    const std::string folder = "C:\\" + std::string(225, 'q');  // unpack folder: 246 characters
    fs::create_directories(Host(std::string(225, 'q')));
    State()["environment"]["ProgramFiles(x86)"] = folder;
    Save();
    EXPECT_EQ(txr::CreateCabUnpackFolder(txr::DriverCabX64Binaries, &error), txr::UnpackFolderFailed);
    EXPECT_EQ(error, 206u);
    EXPECT_FALSE(fs::exists(Host(std::string(225, 'q') + "/ZQ_DriverCab_Temp/Driver/V3/amd")));
    EXPECT_EQ(txr::CreateCabUnpackFolder(txr::DriverCabCommonFiles, &error), txr::UnpackFolderReady);
    EXPECT_EQ(error, 0u);
}

TEST_F(Unpack, KindZeroIsTheCommonFilesArchive)
{
    SetExpand({{"behaviour", "exit"}, {"exit_code", 0}});
    std::uint32_t error = 99;
    EXPECT_EQ(txr::Lib_UnpackDriverCabFiles(txr::kCabResourceCommon, 0, &error), 1);
    EXPECT_EQ(error, 0u);
    ASSERT_EQ(CommandLines().size(), 1u);
    EXPECT_EQ(CommandLines()[0],
              "\"C:\\Windows\\System32\\expand.exe\" \"C:\\Program Files (x86)\\ZQ_DriverCab_Temp\\Main.CAB\" -F:* "
              "\"C:\\Program Files (x86)\\ZQ_DriverCab_Temp\\Driver\"");
    EXPECT_TRUE(fs::is_regular_file(UnpackHost() / "Main.CAB"));
}

TEST_F(Unpack, ExpandThatExitsWithAnErrorCodeCountsAsSuccess)
{
    SetExpand({{"behaviour", "exit"}, {"exit_code", 3}});
    EXPECT_EQ(form_.UI_UnpackDriverPackage(), 1);
    EXPECT_TRUE(Boxes().empty());
    ASSERT_EQ(Events("process_ended").size(), 3u);
    EXPECT_EQ(Events("process_ended")[0]["exit_code"], 3);
}

TEST_F(Unpack, ExpandCannotBeStarted)
{
    struct Case {
        const char* name;
        bool removeExpand;
        const char* op;  // this call fails with fault, nullptr = no fault
        std::uint32_t fault;
    };
    for (const Case& c : {Case{"expand.exe removed", true, nullptr, 0}, Case{"CreateProcessW fails", false, "CreateProcessW", 740},
                          Case{"system folder unknown", false, "GetSystemDirectoryW", 8}}) {
        SCOPED_TRACE(c.name);
        FreshMachine();
        if (c.removeExpand) fs::remove(Host("Windows/System32/expand.exe"));
        if (c.op) InjectFault(c.op, c.fault);
        std::uint32_t error = 99;
        EXPECT_EQ(txr::Lib_UnpackDriverCabFiles(txr::kCabResourceCommon, txr::DriverCabCommonFiles, &error), 0);
        EXPECT_EQ(error, 0u);  // the folder steps succeeded
        EXPECT_EQ(Boxes(), (Boxes_t{kExpandFailed, kExpandZero}));
        for (const auto& e : Events("message_box")) {
            EXPECT_EQ(e["icon"], "error");
            EXPECT_EQ(e["buttons"], "ok");
            EXPECT_EQ(e["owner"], false);
        }
    }
}

TEST_F(Unpack, WholePackageWithoutExpandShowsEachFailureAndRemovesTheFolder)
{
    fs::remove(Host("Windows/System32/expand.exe"));
    EXPECT_EQ(form_.UI_UnpackDriverPackage(), 0);
    EXPECT_EQ(Boxes(), (Boxes_t{kExpandFailed, kExpandZero, kExpandFailed, kExpandZero, kExpandFailed, kExpandZero}));
    EXPECT_FALSE(fs::exists(UnpackHost()));
}

TEST_F(Unpack, HangingExpandIsEndedBeforeTheFailureIsShown)
{
    SetExpand({{"behaviour", "hang"}});
    std::uint32_t error = 0;
    EXPECT_EQ(txr::Lib_UnpackDriverCabFiles(txr::kCabResourceCommon, txr::DriverCabCommonFiles, &error), 0);
    EXPECT_EQ(Boxes(), (Boxes_t{{"Printer Driver Installer", "Expand response: 258"}, kExpandZero}));

    const auto started = Events("process_started");
    ASSERT_EQ(started.size(), 1u);
    const int pid = started[0]["pid"];
    // The child is gone (terminated and reaped), and that happened before the first message box.
    EXPECT_EQ(::kill(pid, 0), -1);
    EXPECT_EQ(errno, ESRCH);
    const auto terminated = Events("process_terminated");
    ASSERT_EQ(terminated.size(), 1u);
    EXPECT_LT(terminated[0]["seq"].get<int>(), Events("message_box")[0]["seq"].get<int>());
    // The wait was a real ten-second wait on the virtual clock too.
    EXPECT_GE(Events("message_box")[0]["t"].get<int>(), 10000);
}

TEST_F(Unpack, FailedWaitIsReportedAsMinusOne)
{
    SetExpand({{"behaviour", "hang"}});
    InjectFault("WaitForSingleObject", win::ERROR_INVALID_HANDLE);
    std::uint32_t error = 0;
    EXPECT_EQ(txr::Lib_UnpackDriverCabFiles(txr::kCabResourceCommon, txr::DriverCabCommonFiles, &error), 0);
    EXPECT_EQ(Boxes(), (Boxes_t{{"Printer Driver Installer", "Expand response: -1"}, kExpandZero}));
    EXPECT_EQ(Events("process_terminated").size(), 1u);
}

TEST_F(Unpack, ResourceOrFileStepFailsSilently)
{
    struct Case {
        const char* op;
        std::uint32_t error;
    };
    const Case cases[] = {{"GetModuleHandleExW", win::ERROR_MOD_NOT_FOUND},
                          {"FindResourceW", win::ERROR_RESOURCE_NAME_NOT_FOUND},
                          {"LoadResource", win::ERROR_NOT_ENOUGH_MEMORY},
                          {"SizeofResource", win::ERROR_INVALID_HANDLE},
                          {"LockResource", 0},
                          {"CreateFileW", win::ERROR_ACCESS_DENIED},
                          {"WriteFile", 112}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.op);
        FreshMachine();
        InjectFault(c.op, c.error);
        std::uint32_t error = 99;
        EXPECT_EQ(txr::Lib_UnpackDriverCabFiles(txr::kCabResourceCommon, txr::DriverCabCommonFiles, &error), 0);
        EXPECT_EQ(error, 0u);
        EXPECT_TRUE(Boxes().empty());
        EXPECT_TRUE(CommandLines().empty());
        // Every module and resource handle was released (the fixture also fails on a leftover).
        EXPECT_TRUE(sim::Machine::get().open_handles().empty());
    }
}

TEST_F(Unpack, LeftoverArchiveFailsThatArchiveButNotAFreshUnpack)
{
    SetExpand({{"behaviour", "exit"}, {"exit_code", 0}});
    WriteHost(UnpackHost() / "Main.CAB", "old");
    std::uint32_t error = 0;
    EXPECT_EQ(txr::Lib_UnpackDriverCabFiles(txr::kCabResourceCommon, txr::DriverCabCommonFiles, &error), 0);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(CommandLines().empty());

    // The whole unpack deletes the old folder first.
    EXPECT_EQ(form_.UI_UnpackDriverPackage(), 1);
    EXPECT_EQ(CommandLines().size(), 3u);
    EXPECT_GT(fs::file_size(UnpackHost() / "Main.CAB"), 3u);
}

TEST_F(Unpack, OneFailedArchiveStillUnpacksTheOthersThenRemovesTheFolder)
{
    SetExpand({{"behaviour", "exit"}, {"exit_code", 0}});
    InjectFault("CreateProcessW", win::ERROR_NOT_ENOUGH_MEMORY, 3);  // the 64-bit binaries
    EXPECT_EQ(form_.UI_UnpackDriverPackage(), 0);
    EXPECT_EQ(CommandLines().size(), 2u);
    EXPECT_EQ(Boxes(), (Boxes_t{kExpandFailed, kExpandZero}));
    EXPECT_FALSE(fs::exists(UnpackHost()));
}

TEST_F(Unpack, FolderFailsWhenAFileStandsWhereTheFolderGoes)
{
    WriteHost(UnpackHost() / "Driver", "not a folder");
    std::uint32_t error = 0;
    EXPECT_EQ(txr::CreateCabUnpackFolder(txr::DriverCabCommonFiles, &error), txr::UnpackFolderFailed);
    EXPECT_EQ(error, win::ERROR_DIRECTORY);
    EXPECT_EQ(txr::Lib_UnpackDriverCabFiles(txr::kCabResourceCommon, txr::DriverCabCommonFiles, &error), 0);
    EXPECT_TRUE(CommandLines().empty());
}

// ---- deleting and testing the unpack folder ---------------------------------------------------------

class UnpackFolder : public PackageTest {};

TEST_F(UnpackFolder, OnlyMarkedFoldersAreTestedOrDeleted)
{
    fs::create_directories(Host("Temp/Other/sub"));
    EXPECT_EQ(form_.UI_DeleteDriverUnpackFolder(u""), 1);
    EXPECT_EQ(form_.UI_DeleteDriverUnpackFolder(u"C:\\Temp\\Other"), 0);
    EXPECT_TRUE(fs::exists(Host("Temp/Other/sub")));
    EXPECT_EQ(form_.UI_DriverUnpackDirExists(u"C:\\Temp\\Other"), 0);

    EXPECT_EQ(form_.UI_DriverUnpackDirExists(kUnpackFolder64), 0);
    EXPECT_EQ(form_.UI_DeleteDriverUnpackFolder(kUnpackFolder64), 1);
    fs::create_directories(UnpackHost());
    EXPECT_EQ(form_.UI_DriverUnpackDirExists(kUnpackFolder64), 1);
    EXPECT_EQ(form_.UI_DriverUnpackDirExists(u""), 0);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(UnpackFolder, DeletesEverythingInsideReadOnlyFilesIncluded)
{
    WriteHost(UnpackHost() / "Main.CAB", "MSCF");
    WriteHost(UnpackHost() / "Driver" / "a.inf", "x");
    WriteHost(UnpackHost() / "Driver" / "V3" / "amd64" / "drv.dll", "x");
    fs::create_directories(UnpackHost() / "Driver" / "V3" / "i386");
    ASSERT_TRUE(win::SetFileAttributesW(u"C:\\Program Files (x86)\\ZQ_DriverCab_Temp\\Driver\\a.inf",
                                        win::FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(form_.UI_DeleteDriverUnpackFolder(kUnpackFolder64), 1);
    EXPECT_FALSE(fs::exists(UnpackHost()));
    EXPECT_TRUE(fs::exists(Host("Program Files (x86)")));
}

TEST_F(UnpackFolder, LinksInsideAreRemovedNeverFollowed)
{
    WriteHost(Host("Users/Public/keep.txt"), "precious");
    WriteHost(Host("Users/Public/Docs/letter.txt"), "precious");
    fs::create_directories(UnpackHost() / "Driver");
    fs::create_directory_symlink(Host("Users/Public"), UnpackHost() / "Driver" / "public");
    fs::create_symlink(Host("Users/Public/keep.txt"), UnpackHost() / "keep.lnk");
    EXPECT_EQ(form_.UI_DeleteDriverUnpackFolder(kUnpackFolder64), 1);
    EXPECT_FALSE(fs::exists(UnpackHost()));
    EXPECT_TRUE(fs::exists(Host("Users/Public/keep.txt")));
    EXPECT_TRUE(fs::exists(Host("Users/Public/Docs/letter.txt")));

    // The unpack folder itself a link: the link goes, its target stays.
    fs::create_directory_symlink(Host("Users/Public"), UnpackHost());
    EXPECT_EQ(form_.UI_DeleteDriverUnpackFolder(kUnpackFolder64), 1);
    EXPECT_FALSE(fs::exists(fs::symlink_status(UnpackHost())));
    EXPECT_TRUE(fs::exists(Host("Users/Public/Docs/letter.txt")));
}

TEST_F(UnpackFolder, FileInUseIsShownWithTheWindowCaption)
{
    WriteHost(UnpackHost() / "Main.CAB", "MSCF");
    {
        win::unique_file open(win::CreateFileW(u"C:\\Program Files (x86)\\ZQ_DriverCab_Temp\\Main.CAB", win::GENERIC_READ,
                                               0, nullptr, win::OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(open);
        EXPECT_EQ(form_.UI_DeleteDriverUnpackFolder(kUnpackFolder64), 0);
    }
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, txt::to_utf8(form_.AppWindowCaptionLabel.Text));
    EXPECT_NE(boxes[0].second.find("Main.CAB"), std::string::npos);
    EXPECT_TRUE(fs::exists(UnpackHost()));
    EXPECT_EQ(form_.UI_DeleteDriverUnpackFolder(kUnpackFolder64), 1);
}

}  // namespace
}  // namespace txrtest
