// kernel32: folders and files, file search, attributes.
#pragma once

#include "platform/win/types.h"

namespace win {

constexpr DWORD MAX_PATH = 260;

constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;

constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;

// Creation dispositions of CreateFileW.
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x2;
constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x4;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_ATTRIBUTE_TEMPORARY = 0x100;
// Symbolic links and junctions: the entry is a link, not the thing it points to.
constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x400;
constexpr DWORD FILE_ATTRIBUTE_COMPRESSED = 0x800;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;

// Reparse tags reported in WIN32_FIND_DATAW::dwReserved0 for a reparse point.
constexpr DWORD IO_REPARSE_TAG_MOUNT_POINT = 0xA0000003u;
constexpr DWORD IO_REPARSE_TAG_SYMLINK = 0xA000000Cu;

constexpr DWORD ERROR_DIRECTORY = 267;
constexpr DWORD ERROR_HANDLE_EOF = 38;

// 592 bytes on both 32- and 64-bit Windows.
struct WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;  // the reparse tag when FILE_ATTRIBUTE_REPARSE_POINT is set
    DWORD dwReserved1;
    WCHAR cFileName[MAX_PATH];
    WCHAR cAlternateFileName[14];
};
static_assert(sizeof(WIN32_FIND_DATAW) == 592);

// Asynchronous I/O is not used; the parameter is always null.
struct OVERLAPPED;

// Creates one folder (no parents). An existing folder or file of that name fails with
// ERROR_ALREADY_EXISTS, a missing parent with ERROR_PATH_NOT_FOUND.
BOOL CreateDirectoryW(LPCWSTR path, SECURITY_ATTRIBUTES* security);
// Removes an empty folder (or a directory link, without touching its target).
BOOL RemoveDirectoryW(LPCWSTR path);
// INVALID_FILE_ATTRIBUTES with ERROR_FILE_NOT_FOUND (missing leaf) or ERROR_PATH_NOT_FOUND
// (missing parent). A link reports its own attributes (FILE_ATTRIBUTE_REPARSE_POINT), not its
// target's.
DWORD GetFileAttributesW(LPCWSTR path);
BOOL SetFileAttributesW(LPCWSTR path, DWORD attributes);
// INVALID_HANDLE_VALUE on failure; CREATE_NEW on an existing file fails with ERROR_FILE_EXISTS.
// Close with CloseHandle.
HANDLE CreateFileW(LPCWSTR path, DWORD desiredAccess, DWORD shareMode, SECURITY_ATTRIBUTES* security,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, DWORD* bytesWritten, OVERLAPPED* overlapped);
// At the end of the file: TRUE with *bytesRead = 0.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, DWORD* bytesRead, OVERLAPPED* overlapped);
// Removes a file (or a file link, without touching its target). A folder fails with
// ERROR_ACCESS_DENIED, so does a read-only file.
BOOL DeleteFileW(LPCWSTR path);

// pattern: a folder and a name with the wildcards * and ?. INVALID_HANDLE_VALUE with
// ERROR_FILE_NOT_FOUND when nothing matches, ERROR_PATH_NOT_FOUND when the folder is missing.
// Close with FindClose.
HANDLE FindFirstFileW(LPCWSTR pattern, WIN32_FIND_DATAW* data);
// FALSE with ERROR_NO_MORE_FILES after the last entry.
BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data);
BOOL FindClose(HANDLE find);

}  // namespace win
