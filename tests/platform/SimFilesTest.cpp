// Contract of the files seam on the simulated machine: results and last errors as Windows gives
// them, checked with the last error poisoned before each call.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/win32api.h"
#include "tests/support/SimFixture.h"

namespace {

constexpr win::DWORD kPoison = 0xDEADBEEF;

class SimFiles : public txrtest::SimTest {
protected:
    std::filesystem::path Host(const std::string& rel) { return sim::Machine::get().drive_c() / rel; }
    void HostFile(const std::string& rel, const std::string& text = "x")
    {
        std::filesystem::create_directories(Host(rel).parent_path());
        std::ofstream(Host(rel)) << text;
    }
    std::vector<std::u16string> Find(const std::u16string& pattern)
    {
        std::vector<std::u16string> names;
        win::WIN32_FIND_DATAW d{};
        win::unique_find f(win::FindFirstFileW(pattern.c_str(), &d));
        if (!f) return names;
        do names.emplace_back(d.cFileName);
        while (win::FindNextFileW(f.get(), &d));
        EXPECT_EQ(win::GetLastError(), win::ERROR_NO_MORE_FILES);
        return names;
    }
};

TEST_F(SimFiles, FolderCreationAndAttributes)
{
    win::SetLastError(kPoison);
    EXPECT_TRUE(win::CreateDirectoryW(u"C:\\Work", nullptr));
    EXPECT_EQ(win::GetLastError(), kPoison);
    EXPECT_FALSE(win::CreateDirectoryW(u"c:\\WORK", nullptr));
    EXPECT_EQ(win::GetLastError(), win::ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(win::CreateDirectoryW(u"C:\\Nope\\Sub", nullptr));
    EXPECT_EQ(win::GetLastError(), win::ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(win::GetFileAttributesW(u"C:\\work"), win::FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(win::GetFileAttributesW(u"C:\\Work\\missing"), win::INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(win::GetLastError(), win::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(win::GetFileAttributesW(u"C:\\Nope\\missing"), win::INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(win::GetLastError(), win::ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(win::GetFileAttributesW(u"D:\\x"), win::INVALID_FILE_ATTRIBUTES);
}

TEST_F(SimFiles, CreateNewWriteReadAndDelete)
{
    ASSERT_TRUE(win::CreateDirectoryW(u"C:\\Work", nullptr));
    const char data[] = "MSCF....";
    {
        win::unique_file f(win::CreateFileW(u"C:\\Work\\a.cab", win::GENERIC_READ | win::GENERIC_WRITE,
                                            win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, nullptr, win::CREATE_NEW,
                                            win::FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(f);
        win::DWORD written = 0;
        EXPECT_TRUE(win::WriteFile(f.get(), data, 8, &written, nullptr));
        EXPECT_EQ(written, 8u);
    }
    win::SetLastError(kPoison);
    EXPECT_EQ(win::CreateFileW(u"C:\\Work\\A.CAB", win::GENERIC_WRITE, 0, nullptr, win::CREATE_NEW, 0, nullptr),
              win::INVALID_HANDLE_VALUE);
    EXPECT_EQ(win::GetLastError(), win::ERROR_FILE_EXISTS);
    {
        win::unique_file f(win::CreateFileW(u"C:\\Work\\a.cab", win::GENERIC_READ, win::FILE_SHARE_READ, nullptr,
                                            win::OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(f);
        char buf[16] = {};
        win::DWORD got = 0;
        EXPECT_TRUE(win::ReadFile(f.get(), buf, sizeof buf, &got, nullptr));
        EXPECT_EQ(std::string(buf, got), "MSCF....");
        // Open without delete sharing: the file cannot go.
        EXPECT_FALSE(win::DeleteFileW(u"C:\\Work\\a.cab"));
        EXPECT_EQ(win::GetLastError(), win::ERROR_SHARING_VIOLATION);
    }
    EXPECT_TRUE(win::SetFileAttributesW(u"C:\\Work\\a.cab", win::FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(win::GetFileAttributesW(u"C:\\Work\\a.cab"), win::FILE_ATTRIBUTE_READONLY | win::FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_FALSE(win::DeleteFileW(u"C:\\Work\\a.cab"));
    EXPECT_EQ(win::GetLastError(), win::ERROR_ACCESS_DENIED);
    EXPECT_TRUE(win::SetFileAttributesW(u"C:\\Work\\a.cab", win::FILE_ATTRIBUTE_NORMAL));
    EXPECT_FALSE(win::RemoveDirectoryW(u"C:\\Work"));
    EXPECT_EQ(win::GetLastError(), win::ERROR_DIR_NOT_EMPTY);
    EXPECT_FALSE(win::DeleteFileW(u"C:\\Work"));
    EXPECT_EQ(win::GetLastError(), win::ERROR_ACCESS_DENIED);
    EXPECT_TRUE(win::DeleteFileW(u"C:\\Work\\a.cab"));
    EXPECT_FALSE(win::DeleteFileW(u"C:\\Work\\a.cab"));
    EXPECT_EQ(win::GetLastError(), win::ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(win::RemoveDirectoryW(u"C:\\Work"));
}

TEST_F(SimFiles, SearchListsDotsFirstThenNamesInOrder)
{
    HostFile("Pkg/Driver/b.INF");
    HostFile("Pkg/Driver/A.inf");
    HostFile("Pkg/Driver/c.gpd");
    std::filesystem::create_directories(Host("Pkg/Driver/V3"));
    EXPECT_EQ(Find(u"C:\\pkg\\driver\\*.inf"), (std::vector<std::u16string>{u"A.inf", u"b.INF"}));
    EXPECT_EQ(Find(u"C:\\Pkg\\Driver\\*"),
              (std::vector<std::u16string>{u".", u"..", u"A.inf", u"b.INF", u"c.gpd", u"V3"}));
    win::WIN32_FIND_DATAW d{};
    EXPECT_EQ(win::FindFirstFileW(u"C:\\Pkg\\Driver\\*.cat", &d), win::INVALID_HANDLE_VALUE);
    EXPECT_EQ(win::GetLastError(), win::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(win::FindFirstFileW(u"C:\\Pkg\\Nope\\*.inf", &d), win::INVALID_HANDLE_VALUE);
    EXPECT_EQ(win::GetLastError(), win::ERROR_PATH_NOT_FOUND);
}

TEST_F(SimFiles, SymbolicLinksAreReparsePointsRemovedAsLinks)
{
    HostFile("Outside/keep.txt");
    std::filesystem::create_directories(Host("Work"));
    std::filesystem::create_directory_symlink(Host("Outside"), Host("Work/dirlink"));
    std::filesystem::create_symlink(Host("Outside/keep.txt"), Host("Work/filelink"));
    win::WIN32_FIND_DATAW d{};
    win::unique_find f(win::FindFirstFileW(u"C:\\Work\\dirlink", &d));
    ASSERT_TRUE(f);
    EXPECT_EQ(d.dwFileAttributes, win::FILE_ATTRIBUTE_REPARSE_POINT | win::FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(d.dwReserved0, win::IO_REPARSE_TAG_SYMLINK);
    EXPECT_EQ(win::GetFileAttributesW(u"C:\\Work\\filelink"), win::FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_FALSE(win::DeleteFileW(u"C:\\Work\\dirlink"));
    EXPECT_TRUE(win::RemoveDirectoryW(u"C:\\Work\\dirlink"));
    EXPECT_TRUE(win::DeleteFileW(u"C:\\Work\\filelink"));
    EXPECT_TRUE(std::filesystem::exists(Host("Outside/keep.txt")));
}

}  // namespace
