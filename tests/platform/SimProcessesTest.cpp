// The simulated machine's child processes and system folder: the cabinet expansion tool takes
// exactly its documented argument forms, and runs only when started by its full system path.
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "core/DriverRecords.h"
#include "platform/handles.h"
#include "platform/utf.h"
#include "platform/win32api.h"
#include "tests/support/SimFixture.h"

namespace {

namespace fs = std::filesystem;

constexpr char16_t kExpand[] = u"C:\\Windows\\System32\\expand.exe";

class SimProcesses : public txrtest::SimTest {
protected:
    fs::path Host(const std::string& rel) { return sim::Machine::get().drive_c() / rel; }

    // The common-files archive of the build, as C:\T\Main.CAB, and an empty C:\T\out.
    bool WriteCabinet()
    {
        for (const auto& r : sim::embedded_resources()) {
            if (r.id != txr::kCabResourceCommon || r.size <= 64) continue;
            fs::create_directories(Host("T/out"));
            std::ofstream(Host("T/Main.CAB"), std::ios::binary).write(reinterpret_cast<const char*>(r.data),
                                                                      static_cast<std::streamsize>(r.size));
            return true;
        }
        return false;
    }

    std::set<std::string> Files(const std::string& rel)
    {
        std::set<std::string> names;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(Host(rel), ec))
            if (e.is_regular_file()) names.insert(e.path().filename().string());
        return names;
    }

    // Starts the tool with this command line and waits for its end: its exit code, or -1 when it
    // could not be started (the last error then says why).
    long long Run(const char16_t* applicationName, const std::u16string& commandLine)
    {
        std::u16string line = commandLine;
        win::STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        win::unique_process_information process;
        if (!win::CreateProcessW(applicationName, line.data(), nullptr, nullptr, win::FALSE, win::CREATE_NO_WINDOW,
                                 nullptr, nullptr, &startup, process.put()))
            return -1;
        EXPECT_EQ(win::WaitForSingleObject(process.process(), 10000), win::WAIT_OBJECT_0);
        win::DWORD code = 0;
        EXPECT_TRUE(win::GetExitCodeProcess(process.process(), &code));
        return code;
    }
};

TEST_F(SimProcesses, ExpandTakesExactlyItsDocumentedForms)
{
    if (!WriteCabinet()) GTEST_SKIP() << "the build has no sample package";
    const std::set<std::string> all = Files("T");  // Main.CAB only
    struct Case {
        const char16_t* arguments;
        int exitCode;
        const char* extractedTo;  // folder that receives the INF files, nullptr: nothing is extracted
        bool onlyInf = false;     // the filter takes only the files it names
    } cases[] = {
        {u"\"C:\\T\\Main.CAB\" -F:* \"C:\\T\\out\"", 0, "T/out"},
        {u"C:\\T\\Main.CAB -f:*.inf C:\\T\\out", 0, "T/out", true},
        {u"-r C:\\T\\Main.CAB C:\\T\\out", 0, "T/out"},
        {u"C:\\T\\Main.CAB C:\\T\\out", 0, "T/out"},
        {u"-R C:\\T\\Main.CAB", 0, "T"},
        {u"-D C:\\T\\Main.CAB", 0, nullptr},
        {u"-d C:\\T\\Main.CAB -F:*", 0, nullptr},
        // The file filter without its dash is a third path, not a filter.
        {u"\"C:\\T\\Main.CAB\" F:* \"C:\\T\\out\"", 1, nullptr},
        {u"C:\\T\\Main.CAB C:\\T\\out -F:*", 1, nullptr},
        {u"-F:* C:\\T\\Main.CAB C:\\T\\out", 1, nullptr},
        {u"C:\\T\\Main.CAB -F: C:\\T\\out", 1, nullptr},
        {u"/F:* C:\\T\\Main.CAB C:\\T\\out", 1, nullptr},
        {u"-D", 1, nullptr},
        {u"", 1, nullptr},
        {u"C:\\T\\Missing.CAB -F:* C:\\T\\out", 1, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(txt::to_utf8(c.arguments));
        fs::remove_all(Host("T/out"));
        fs::create_directories(Host("T/out"));
        for (const auto& f : Files("T"))
            if (!all.count(f)) fs::remove(Host("T/" + f));
        EXPECT_EQ(Run(kExpand, u"\"C:\\Windows\\System32\\expand.exe\" " + std::u16string(c.arguments)), c.exitCode);
        const bool inOut = Files("T/out").count("TXR4103ZKW.inf") != 0;
        const bool inSource = Files("T").count("TXR4103ZKW.inf") != 0;
        EXPECT_EQ(inOut, c.extractedTo && std::string(c.extractedTo) == "T/out");
        EXPECT_EQ(inSource, c.extractedTo && std::string(c.extractedTo) == "T");
        if (c.onlyInf) {
            for (const auto& f : Files("T/out")) EXPECT_EQ(fs::path(f).extension(), ".inf") << f;
        } else if (inOut) {
            EXPECT_GT(Files("T/out").size(), 2u) << "every file of the archive";
        }
    }
}

TEST_F(SimProcesses, ExpandRunsOnlyWhenStartedByItsFullSystemPath)
{
    // A copy of the tool beside a downloaded program, which the search would find first on Windows.
    fs::create_directories(Host("Users/Public/Downloads"));
    fs::copy_file(Host("Windows/System32/expand.exe"), Host("Users/Public/Downloads/expand.exe"));
    const std::u16string line = u"expand -D C:\\T\\Main.CAB";
    for (const char16_t* name : {static_cast<const char16_t*>(nullptr), u"C:\\Users\\Public\\Downloads\\expand.exe"}) {
        win::SetLastError(0);
        EXPECT_EQ(Run(name, line), -1);
        EXPECT_EQ(win::GetLastError(), win::ERROR_ACCESS_DENIED);
    }
    EXPECT_TRUE(Events("process_started").empty());
    EXPECT_EQ(Events("process_refused").size(), 2u);
    // The system folder's name in another case is the same file.
    EXPECT_EQ(Run(u"c:\\windows\\system32\\EXPAND.EXE", line), 1) << "started; no cabinet to list";
}

TEST_F(SimProcesses, TheSystemFolderIsSystem32ForEitherBitness)
{
    for (int processBits : {64, 32}) {
        SCOPED_TRACE(processBits);
        FreshMachine("de-DE", 64);
        State()["process"]["bits"] = processBits;
        Save();
        win::WCHAR buffer[260] = {};
        EXPECT_EQ(win::GetSystemDirectoryW(buffer, 260), 19u);
        EXPECT_EQ(std::u16string(buffer), u"C:\\Windows\\System32");
        // A buffer too small answers the size needed, terminator included.
        EXPECT_EQ(win::GetSystemDirectoryW(buffer, 19), 20u);
        EXPECT_EQ(win::GetSystemDirectoryW(nullptr, 0), 20u);
    }
}

}  // namespace
