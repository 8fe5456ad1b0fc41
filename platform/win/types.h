// Basic Windows types of the platform seam. Our own declarations, written from the documented
// sizes: DWORD is 32 bits, WCHAR is a UTF-16 code unit, handles are opaque pointers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace win {

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;
using INT = int;
using HRESULT = std::int32_t;
using DWORDLONG = std::uint64_t;
using ULONGLONG = std::uint64_t;
using ULONG_PTR = std::uintptr_t;
using WCHAR = char16_t;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPVOID = void*;
using LPCVOID = const void*;

using HANDLE = void*;
struct HWND__;
using HWND = HWND__*;
struct HINSTANCE__;
using HMODULE = HINSTANCE__*;
struct HRSRC__;
using HRSRC = HRSRC__*;
using HGLOBAL = void*;
using HLOCAL = void*;

// windows.h defines these as macros; the Win32 backend, which includes it, uses those.
#ifndef TRUE
constexpr BOOL TRUE = 1;
#endif
#ifndef FALSE
constexpr BOOL FALSE = 0;
#endif

// 100-nanosecond intervals since 1601-01-01 (UTC), split in two halves.
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

// A calendar date and time, eight 16-bit fields (16 bytes).
struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
};

// Closes a kernel object handle (file, process, thread).
BOOL CloseHandle(HANDLE object);

inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

// MAKEINTRESOURCEW: an integer resource identifier passed where a name is expected.
inline LPCWSTR MAKEINTRESOURCEW(WORD id) { return reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(id)); }
inline bool IS_INTRESOURCE(LPCWSTR p) { return (reinterpret_cast<ULONG_PTR>(p) >> 16) == 0; }
inline LPCWSTR const RT_RCDATA = MAKEINTRESOURCEW(10);

constexpr HRESULT S_OK = 0;
inline bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline HRESULT HRESULT_FROM_WIN32(DWORD e)
{
    return static_cast<LONG>(e) <= 0 ? static_cast<HRESULT>(e)
                                     : static_cast<HRESULT>((e & 0x0000FFFFu) | 0x80070000u);
}

}  // namespace win
