// Win32 backend: folders, files, file search and attributes (kernel32).
#include "platform/win32api.h"

#include <windows.h>

#include <cstddef>

namespace win {

static_assert(sizeof(WIN32_FIND_DATAW) == sizeof(::WIN32_FIND_DATAW));
static_assert(offsetof(WIN32_FIND_DATAW, ftLastWriteTime) == offsetof(::WIN32_FIND_DATAW, ftLastWriteTime));
static_assert(offsetof(WIN32_FIND_DATAW, dwReserved0) == offsetof(::WIN32_FIND_DATAW, dwReserved0));
static_assert(offsetof(WIN32_FIND_DATAW, cFileName) == offsetof(::WIN32_FIND_DATAW, cFileName));
static_assert(offsetof(WIN32_FIND_DATAW, cAlternateFileName) == offsetof(::WIN32_FIND_DATAW, cAlternateFileName));
static_assert(sizeof(FILETIME) == sizeof(::FILETIME));
static_assert(sizeof(SYSTEMTIME) == sizeof(::SYSTEMTIME));
static_assert(offsetof(SYSTEMTIME, wDay) == offsetof(::SYSTEMTIME, wDay));
static_assert(sizeof(SECURITY_ATTRIBUTES) == sizeof(::SECURITY_ATTRIBUTES));
static_assert(offsetof(SECURITY_ATTRIBUTES, bInheritHandle) == offsetof(::SECURITY_ATTRIBUTES, bInheritHandle));

namespace {
const wchar_t* W(LPCWSTR s) { return reinterpret_cast<const wchar_t*>(s); }
::LPSECURITY_ATTRIBUTES SA(SECURITY_ATTRIBUTES* s) { return reinterpret_cast<::LPSECURITY_ATTRIBUTES>(s); }
::LPWIN32_FIND_DATAW FD(WIN32_FIND_DATAW* d) { return reinterpret_cast<::LPWIN32_FIND_DATAW>(d); }
::LPOVERLAPPED OV(OVERLAPPED* o) { return reinterpret_cast<::LPOVERLAPPED>(o); }
}  // namespace

BOOL CloseHandle(HANDLE object) { return ::CloseHandle(object); }

BOOL CreateDirectoryW(LPCWSTR path, SECURITY_ATTRIBUTES* security) { return ::CreateDirectoryW(W(path), SA(security)); }
BOOL RemoveDirectoryW(LPCWSTR path) { return ::RemoveDirectoryW(W(path)); }
DWORD GetFileAttributesW(LPCWSTR path) { return ::GetFileAttributesW(W(path)); }
BOOL SetFileAttributesW(LPCWSTR path, DWORD attributes) { return ::SetFileAttributesW(W(path), attributes); }

HANDLE CreateFileW(LPCWSTR path, DWORD desiredAccess, DWORD shareMode, SECURITY_ATTRIBUTES* security,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile)
{
    return ::CreateFileW(W(path), desiredAccess, shareMode, SA(security), creationDisposition, flagsAndAttributes,
                         templateFile);
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, DWORD* bytesWritten, OVERLAPPED* overlapped)
{
    ::DWORD n = 0;
    const ::BOOL ok = ::WriteFile(file, buffer, bytesToWrite, &n, OV(overlapped));
    if (bytesWritten) *bytesWritten = n;
    return ok;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, DWORD* bytesRead, OVERLAPPED* overlapped)
{
    ::DWORD n = 0;
    const ::BOOL ok = ::ReadFile(file, buffer, bytesToRead, &n, OV(overlapped));
    if (bytesRead) *bytesRead = n;
    return ok;
}

BOOL DeleteFileW(LPCWSTR path) { return ::DeleteFileW(W(path)); }

HANDLE FindFirstFileW(LPCWSTR pattern, WIN32_FIND_DATAW* data) { return ::FindFirstFileW(W(pattern), FD(data)); }
BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data) { return ::FindNextFileW(find, FD(data)); }
BOOL FindClose(HANDLE find) { return ::FindClose(find); }

}  // namespace win
