// Folders and files of the simulated machine: drive C: is a host folder (Machine::drive_c), paths
// are resolved without regard to case, and the answers and last errors are those of Windows.
// Attributes: folders report FILE_ATTRIBUTE_DIRECTORY, files FILE_ATTRIBUTE_ARCHIVE, a host file
// without its owner-write bit FILE_ATTRIBUTE_READONLY (checked by the sim itself, so it holds
// also when the host process may write anything), and a host symbolic link
// FILE_ATTRIBUTE_REPARSE_POINT (plus DIRECTORY when it points to a folder), as a Windows link
// or junction does. Open files honour the sharing modes of the handles open on them.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <string>

#include "platform/sim/SimMachine.h"
#include "platform/sim/SimObjects.h"
#include "platform/sim/SimProcesses.h"
#include "platform/utf.h"
#include "platform/win/errors.h"
#include "platform/win/files.h"

namespace fs = std::filesystem;

namespace win {

namespace {

constexpr DWORD kLongestPath = MAX_PATH - 1;

// A fresh machine's drive has the folders Windows brings along: those the environment names
// (Windows, program files, program data, temporary files) and the system folder.
const sim::RegisterDriveDefaults standardFolders([](const fs::path&, const sim::json& state) {
    auto& m = sim::Machine::get();
    const char* names[] = {"SystemRoot", "ProgramFiles", "ProgramFiles(x86)", "ProgramW6432", "ProgramData", "TEMP"};
    std::vector<std::u16string> folders;
    for (const char* n : names)
        if (state.contains("environment") && state["environment"].contains(n))
            folders.push_back(txt::from_utf8(state["environment"][n].get<std::string>()));
    if (state.contains("environment") && state["environment"].contains("SystemRoot"))
        folders.push_back(txt::from_utf8(state["environment"]["SystemRoot"].get<std::string>()) + u"\\System32");
    for (const auto& f : folders) {
        std::error_code ec;
        if (auto host = m.map_path(f)) fs::create_directories(*host, ec);
    }
});

struct OpenFile {
    int fd;
    fs::path host;
    DWORD access;
    DWORD share;
};

struct Search {
    std::vector<WIN32_FIND_DATAW> entries;
    std::size_t next = 0;
};

std::map<HANDLE, OpenFile>& open_files()
{
    static std::map<HANDLE, OpenFile> m;
    return m;
}

std::map<HANDLE, Search>& searches()
{
    static std::map<HANDLE, Search> m;
    return m;
}

struct Entry {
    bool exists = false;
    bool isLink = false;
    bool isDirectory = false;  // for a link: it points to a folder
    bool readOnly = false;
    std::uint64_t size = 0;
    struct timespec mtime {};
    struct timespec atime {};
    struct timespec ctime {};
};

Entry inspect(const fs::path& p)
{
    Entry e;
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0) return e;
    e.exists = true;
    if (S_ISLNK(st.st_mode)) {
        e.isLink = true;
        struct stat target {};
        e.isDirectory = ::stat(p.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
    } else {
        e.isDirectory = S_ISDIR(st.st_mode);
        e.readOnly = !e.isDirectory && (st.st_mode & S_IWUSR) == 0;
        e.size = e.isDirectory ? 0 : static_cast<std::uint64_t>(st.st_size);
    }
    e.mtime = st.st_mtim;
    e.atime = st.st_atim;
    e.ctime = st.st_ctim;
    return e;
}

DWORD attributes(const Entry& e)
{
    DWORD a = 0;
    if (e.isLink) a |= FILE_ATTRIBUTE_REPARSE_POINT;
    if (e.isDirectory) a |= FILE_ATTRIBUTE_DIRECTORY;
    else if (!e.isLink) a |= FILE_ATTRIBUTE_ARCHIVE;
    if (e.readOnly) a |= FILE_ATTRIBUTE_READONLY;
    return a;
}

FILETIME to_filetime(const struct timespec& t)
{
    // 100-ns ticks from 1601-01-01 to 1970-01-01.
    constexpr std::uint64_t kEpochDelta = 116444736000000000ull;
    const std::uint64_t ticks = kEpochDelta + static_cast<std::uint64_t>(t.tv_sec) * 10000000ull +
                                static_cast<std::uint64_t>(t.tv_nsec) / 100;
    return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

// The host path of a Windows path, or nullopt (with ERROR_PATH_NOT_FOUND set) for a path the
// machine has no place for: another drive, a relative path, one longer than MAX_PATH allows.
std::optional<fs::path> resolve(LPCWSTR path)
{
    if (!path || txt::length(path) > kLongestPath) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return std::nullopt;
    }
    auto host = sim::Machine::get().map_path(path);
    if (!host) SetLastError(ERROR_PATH_NOT_FOUND);
    return host;
}

bool parent_is_folder(const fs::path& host)
{
    const Entry parent = inspect(host.parent_path());
    return parent.exists && parent.isDirectory;
}

// The error for a missing entry: 2 when its folder exists, 3 when the folder is missing too.
DWORD missing_error(const fs::path& host) { return parent_is_folder(host) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND; }

bool sharing_allows(const fs::path& host, DWORD access, DWORD share)
{
    for (const auto& [h, f] : open_files()) {
        if (f.host != host) continue;
        if ((access & GENERIC_READ) && !(f.share & FILE_SHARE_READ)) return false;
        if ((access & GENERIC_WRITE) && !(f.share & FILE_SHARE_WRITE)) return false;
        if ((f.access & GENERIC_READ) && !(share & FILE_SHARE_READ)) return false;
        if ((f.access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE)) return false;
    }
    return true;
}

bool open_without_delete_sharing(const fs::path& host)
{
    for (const auto& [h, f] : open_files())
        if (f.host == host && !(f.share & FILE_SHARE_DELETE)) return true;
    return false;
}

bool set_read_only(const fs::path& host, bool readOnly)
{
    struct stat st {};
    if (::stat(host.c_str(), &st) != 0) return false;
    const mode_t writeBits = S_IWUSR | S_IWGRP | S_IWOTH;
    const mode_t mode = readOnly ? (st.st_mode & ~writeBits) : (st.st_mode | S_IWUSR);
    return ::chmod(host.c_str(), mode & 07777) == 0;
}

// Windows wildcards, without regard to case: * any run of characters, ? any one character.
bool wildcard_match(std::u16string_view mask, std::u16string_view name)
{
    std::size_t m = 0, n = 0, starM = std::u16string_view::npos, starN = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == u'?' || txt::to_upper(mask[m]) == txt::to_upper(name[n]))) {
            ++m;
            ++n;
        } else if (m < mask.size() && mask[m] == u'*') {
            starM = m++;
            starN = n;
        } else if (starM != std::u16string_view::npos) {
            m = starM + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == u'*') ++m;
    return m == mask.size();
}

WIN32_FIND_DATAW find_data(const std::u16string& name, const Entry& e)
{
    WIN32_FIND_DATAW d{};
    d.dwFileAttributes = attributes(e);
    d.ftCreationTime = to_filetime(e.ctime);
    d.ftLastAccessTime = to_filetime(e.atime);
    d.ftLastWriteTime = to_filetime(e.mtime);
    d.nFileSizeHigh = static_cast<DWORD>(e.size >> 32);
    d.nFileSizeLow = static_cast<DWORD>(e.size & 0xFFFFFFFFu);
    if (e.isLink) d.dwReserved0 = IO_REPARSE_TAG_SYMLINK;
    const std::size_t n = std::min<std::size_t>(name.size(), MAX_PATH - 1);
    std::copy_n(name.begin(), n, d.cFileName);
    d.cFileName[n] = 0;
    return d;
}

}  // namespace

BOOL CreateDirectoryW(LPCWSTR path, SECURITY_ATTRIBUTES*)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (auto e = m.fault("CreateDirectoryW")) {
        SetLastError(*e);
        return FALSE;
    }
    auto host = resolve(path);
    if (!host) return FALSE;
    if (inspect(*host).exists) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    if (!parent_is_folder(*host)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    std::error_code ec;
    if (!fs::create_directory(*host, ec)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

BOOL RemoveDirectoryW(LPCWSTR path)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (auto e = m.fault("RemoveDirectoryW")) {
        SetLastError(*e);
        return FALSE;
    }
    auto host = resolve(path);
    if (!host) return FALSE;
    const Entry e = inspect(*host);
    if (!e.exists) {
        SetLastError(missing_error(*host));
        return FALSE;
    }
    if (!e.isDirectory) {
        SetLastError(ERROR_DIRECTORY);
        return FALSE;
    }
    std::error_code ec;
    if (e.isLink) {
        // A directory link goes; what it points to stays as it is.
        fs::remove(*host, ec);
    } else {
        if (!fs::is_empty(*host, ec)) {
            SetLastError(ERROR_DIR_NOT_EMPTY);
            return FALSE;
        }
        fs::remove(*host, ec);
    }
    if (ec) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

DWORD GetFileAttributesW(LPCWSTR path)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (auto e = m.fault("GetFileAttributesW")) {
        SetLastError(*e);
        return INVALID_FILE_ATTRIBUTES;
    }
    auto host = resolve(path);
    if (!host) return INVALID_FILE_ATTRIBUTES;
    const Entry e = inspect(*host);
    if (!e.exists) {
        SetLastError(missing_error(*host));
        return INVALID_FILE_ATTRIBUTES;
    }
    return attributes(e);
}

BOOL SetFileAttributesW(LPCWSTR path, DWORD attrs)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (auto e = m.fault("SetFileAttributesW")) {
        SetLastError(*e);
        return FALSE;
    }
    auto host = resolve(path);
    if (!host) return FALSE;
    const Entry e = inspect(*host);
    if (!e.exists) {
        SetLastError(missing_error(*host));
        return FALSE;
    }
    // Only the read-only mark of a file is kept; the other attributes have no meaning here.
    if (!e.isDirectory && !e.isLink && !set_read_only(*host, (attrs & FILE_ATTRIBUTE_READONLY) != 0)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, SECURITY_ATTRIBUTES*, DWORD disposition, DWORD flags,
                   HANDLE)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (auto e = m.fault("CreateFileW")) {
        SetLastError(*e);
        return INVALID_HANDLE_VALUE;
    }
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto host = resolve(path);
    if (!host) return INVALID_HANDLE_VALUE;
    const Entry e = inspect(*host);
    const bool exists = e.exists && (!e.isLink || fs::exists(*host));
    if (exists && e.isDirectory) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (exists && disposition == CREATE_NEW) {
        SetLastError(ERROR_FILE_EXISTS);
        return INVALID_HANDLE_VALUE;
    }
    if (!exists && (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING)) {
        SetLastError(missing_error(*host));
        return INVALID_HANDLE_VALUE;
    }
    if (!exists && !parent_is_folder(*host)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const bool truncates = exists && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING);
    if (exists && inspect(fs::exists(*host) ? fs::canonical(*host) : *host).readOnly &&
        ((access & GENERIC_WRITE) || truncates)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (exists && !sharing_allows(*host, access, share)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    int oflags = O_CLOEXEC;
    if ((access & GENERIC_READ) && (access & GENERIC_WRITE)) oflags |= O_RDWR;
    else if (access & GENERIC_WRITE) oflags |= O_WRONLY;
    else oflags |= O_RDONLY;
    if (!exists) oflags |= O_CREAT | O_EXCL;
    if (truncates) oflags |= O_TRUNC;
    const int fd = ::open(host->c_str(), oflags, 0666);
    if (fd < 0) {
        SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (!exists && (flags & FILE_ATTRIBUTE_READONLY)) set_read_only(*host, true);
    HANDLE h = m.open_handle("file", "CreateFileW");
    open_files()[h] = OpenFile{fd, *host, access, share};
    // CREATE_ALWAYS and OPEN_ALWAYS tell with the last error whether the file was there before.
    if (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) SetLastError(exists ? ERROR_ALREADY_EXISTS : 0);
    return h;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, DWORD* bytesWritten, OVERLAPPED*)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (bytesWritten) *bytesWritten = 0;
    auto it = open_files().find(file);
    if (it == open_files().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (auto e = m.fault("WriteFile")) {
        SetLastError(*e);
        return FALSE;
    }
    if (!(it->second.access & GENERIC_WRITE)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const auto* p = static_cast<const unsigned char*>(buffer);
    DWORD done = 0;
    while (done < bytesToWrite) {
        const ssize_t n = ::write(it->second.fd, p + done, bytesToWrite - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (bytesWritten) *bytesWritten = done;
            SetLastError(errno == ENOSPC ? 112 /* ERROR_DISK_FULL */ : ERROR_GEN_FAILURE);
            return FALSE;
        }
        done += static_cast<DWORD>(n);
    }
    if (bytesWritten) *bytesWritten = done;
    return TRUE;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, DWORD* bytesRead, OVERLAPPED*)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (bytesRead) *bytesRead = 0;
    auto it = open_files().find(file);
    if (it == open_files().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (auto e = m.fault("ReadFile")) {
        SetLastError(*e);
        return FALSE;
    }
    if (!(it->second.access & GENERIC_READ)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    auto* p = static_cast<unsigned char*>(buffer);
    DWORD done = 0;
    while (done < bytesToRead) {
        const ssize_t n = ::read(it->second.fd, p + done, bytesToRead - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            SetLastError(ERROR_GEN_FAILURE);
            return FALSE;
        }
        if (n == 0) break;
        done += static_cast<DWORD>(n);
    }
    if (bytesRead) *bytesRead = done;
    return TRUE;
}

BOOL DeleteFileW(LPCWSTR path)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (auto e = m.fault("DeleteFileW")) {
        SetLastError(*e);
        return FALSE;
    }
    auto host = resolve(path);
    if (!host) return FALSE;
    const Entry e = inspect(*host);
    if (!e.exists) {
        SetLastError(missing_error(*host));
        return FALSE;
    }
    // Folders, directory links among them, go with RemoveDirectoryW.
    if (e.isDirectory || e.readOnly) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!e.isLink && open_without_delete_sharing(*host)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    std::error_code ec;
    if (!fs::remove(*host, ec)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

HANDLE FindFirstFileW(LPCWSTR pattern, WIN32_FIND_DATAW* data)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (auto e = m.fault("FindFirstFileW")) {
        SetLastError(*e);
        return INVALID_HANDLE_VALUE;
    }
    if (!pattern || !data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const std::u16string p(pattern);
    const auto slash = p.find_last_of(u"\\/");
    if (slash == std::u16string::npos) {
        // The sim has no current folder: a bare name finds nothing.
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const std::u16string_view written = std::u16string_view(p).substr(slash + 1);
    const std::u16string mask(written == u"*.*" ? std::u16string_view(u"*") : written);
    if (mask.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const std::u16string folder = p.substr(0, slash);
    auto host = resolve((folder.size() == 2 ? folder + u"\\" : folder).c_str());
    if (!host) return INVALID_HANDLE_VALUE;
    const Entry dir = inspect(*host);
    if (!dir.exists || !dir.isDirectory) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    Search s;
    std::vector<std::pair<std::u16string, Entry>> found;
    if (*host != m.drive_c()) {
        // Every folder but the root holds the entries "." and "..", listed first.
        for (const char16_t* dot : {u".", u".."})
            if (wildcard_match(mask, dot)) s.entries.push_back(find_data(dot, dir));
    }
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(*host, ec)) {
        const std::u16string name = txt::from_utf8(entry.path().filename().string());
        if (wildcard_match(mask, name)) found.emplace_back(name, inspect(entry.path()));
    }
    // NTFS lists a folder in the order of its upper-cased names.
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return txt::to_upper(a.first) < txt::to_upper(b.first); });
    for (const auto& [name, e] : found) s.entries.push_back(find_data(name, e));
    if (s.entries.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    *data = s.entries[0];
    s.next = 1;
    HANDLE h = m.open_handle("find", "FindFirstFileW");
    searches()[h] = std::move(s);
    return h;
}

BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    auto it = searches().find(find);
    if (it == searches().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (auto e = m.fault("FindNextFileW")) {
        SetLastError(*e);
        return FALSE;
    }
    Search& s = it->second;
    if (s.next >= s.entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *data = s.entries[s.next++];
    return TRUE;
}

BOOL FindClose(HANDLE find)
{
    auto l = sim::lock();
    auto it = searches().find(find);
    if (it == searches().end() || !sim::Machine::get().close_handle(find, "find")) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    searches().erase(it);
    return TRUE;
}

BOOL CloseHandle(HANDLE object)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (auto it = open_files().find(object); it != open_files().end()) {
        ::close(it->second.fd);
        open_files().erase(it);
        m.close_handle(object, "file");
        return TRUE;
    }
    if (sim::close_process_object(object)) return TRUE;
    if (sim::close_mutex_object(object)) return TRUE;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

}  // namespace win
