// Win32 backend: forwards the seam's kernel32 and user32 functions to the real ones.
// The seam's declarations come before windows.h: the SDK's macros (ERROR_*, MB_*, TRUE, ...) must
// not rewrite our own names.
#include "platform/win32api.h"

namespace {
// Taken before windows.h, whose macros of the same names would rewrite them.
constexpr int kSeamUoiFlags = win::UOI_FLAGS;
constexpr win::DWORD kSeamWsfVisible = win::WSF_VISIBLE;
constexpr win::DWORD kSeamErrorNotOwner = win::ERROR_NOT_OWNER;
}  // namespace

#include <windows.h>

#include <conio.h>

#include <cstddef>

namespace win {

static_assert(sizeof(WCHAR) == sizeof(wchar_t));
static_assert(sizeof(DWORD) == sizeof(::DWORD));
static_assert(sizeof(BOOL) == sizeof(::BOOL));
static_assert(sizeof(HANDLE) == sizeof(::HANDLE));
static_assert(kSeamUoiFlags == UOI_FLAGS);
static_assert(kSeamWsfVisible == WSF_VISIBLE);
static_assert(kSeamErrorNotOwner == ERROR_NOT_OWNER);
static_assert(sizeof(SECURITY_ATTRIBUTES) == sizeof(::SECURITY_ATTRIBUTES));
static_assert(sizeof(USEROBJECTFLAGS) == sizeof(::USEROBJECTFLAGS));
static_assert(offsetof(USEROBJECTFLAGS, fInherit) == offsetof(::USEROBJECTFLAGS, fInherit));
static_assert(offsetof(USEROBJECTFLAGS, fReserved) == offsetof(::USEROBJECTFLAGS, fReserved));
static_assert(offsetof(USEROBJECTFLAGS, dwFlags) == offsetof(::USEROBJECTFLAGS, dwFlags));

namespace {
const wchar_t* W(LPCWSTR s) { return reinterpret_cast<const wchar_t*>(s); }
wchar_t* W(LPWSTR s) { return reinterpret_cast<wchar_t*>(s); }
}  // namespace

DWORD GetLastError() { return ::GetLastError(); }
void SetLastError(DWORD code) { ::SetLastError(code); }

DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPWSTR buffer, DWORD size,
                     void* arguments)
{
    return ::FormatMessageW(flags, source, messageId, languageId, W(buffer), size,
                            static_cast<va_list*>(arguments));
}

HLOCAL LocalFree(HLOCAL mem) { return ::LocalFree(mem); }

BOOL AllocConsole() { return ::AllocConsole(); }
BOOL FreeConsole() { return ::FreeConsole(); }

HANDLE GetStdHandle(DWORD which)
{
    HANDLE h = ::GetStdHandle(which);
    // A windowed program that made its own console may still hold no standard handle for it.
    if (h == nullptr || h == INVALID_HANDLE_VALUE) {
        if (which == STD_OUTPUT_HANDLE || which == STD_ERROR_HANDLE)
            h = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
        if (h != INVALID_HANDLE_VALUE && h != nullptr) ::SetStdHandle(which, h);
    }
    return h;
}

BOOL SetConsoleTextAttribute(HANDLE console, WORD attributes) { return ::SetConsoleTextAttribute(console, attributes); }

BOOL WriteConsoleW(HANDLE console, LPCVOID buffer, DWORD chars, DWORD* written, LPVOID reserved)
{
    ::DWORD n = 0;
    const ::BOOL ok = ::WriteConsoleW(console, buffer, chars, &n, reserved);
    if (written) *written = n;
    return ok;
}

BOOL Beep(DWORD frequency, DWORD durationMs) { return ::Beep(frequency, durationMs); }

BOOL ReadConsoleKey()
{
    HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    if (in == nullptr || in == INVALID_HANDLE_VALUE) return FALSE;
    ::FlushConsoleInputBuffer(in);
    _getwch();
    return TRUE;
}

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    return ::MessageBoxW(reinterpret_cast<::HWND>(owner), W(text), W(caption), type);
}

HWND GetDesktopWindow() { return reinterpret_cast<HWND>(::GetDesktopWindow()); }

HWINSTA GetProcessWindowStation() { return reinterpret_cast<HWINSTA>(::GetProcessWindowStation()); }

BOOL GetUserObjectInformationW(HANDLE object, int index, LPVOID info, DWORD length, DWORD* lengthNeeded)
{
    ::DWORD needed = 0;
    const ::BOOL ok = ::GetUserObjectInformationW(object, index, info, length, &needed);
    if (lengthNeeded) *lengthNeeded = needed;
    return ok;
}

DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size)
{
    return ::GetEnvironmentVariableW(W(name), W(buffer), size);
}

UINT GetSystemDirectoryW(LPWSTR buffer, UINT size) { return ::GetSystemDirectoryW(W(buffer), size); }

void Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

HANDLE CreateMutexW(SECURITY_ATTRIBUTES* attributes, BOOL initialOwner, LPCWSTR name)
{
    return ::CreateMutexW(reinterpret_cast<::LPSECURITY_ATTRIBUTES>(attributes), initialOwner, W(name));
}

BOOL ReleaseMutex(HANDLE mutex) { return ::ReleaseMutex(mutex); }
ULONGLONG GetTickCount64() { return ::GetTickCount64(); }
HANDLE GetCurrentProcess() { return ::GetCurrentProcess(); }

BOOL IsWow64Process(HANDLE process, BOOL* wow64)
{
    ::BOOL w = FALSE;
    const ::BOOL ok = ::IsWow64Process(process, &w);
    if (wow64) *wow64 = w;
    return ok;
}

BOOL Is64BitProcess() { return sizeof(void*) == 8 ? TRUE : FALSE; }

BOOL GetModuleHandleExW(DWORD flags, LPCWSTR moduleName, HMODULE* module)
{
    ::HMODULE m = nullptr;
    const ::BOOL ok = ::GetModuleHandleExW(flags, W(moduleName), &m);
    if (module) *module = reinterpret_cast<HMODULE>(m);
    return ok;
}

BOOL FreeLibrary(HMODULE module) { return ::FreeLibrary(reinterpret_cast<::HMODULE>(module)); }

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type)
{
    return reinterpret_cast<HRSRC>(::FindResourceW(reinterpret_cast<::HMODULE>(module), W(name), W(type)));
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource)
{
    return ::LoadResource(reinterpret_cast<::HMODULE>(module), reinterpret_cast<::HRSRC>(resource));
}

DWORD SizeofResource(HMODULE module, HRSRC resource)
{
    return ::SizeofResource(reinterpret_cast<::HMODULE>(module), reinterpret_cast<::HRSRC>(resource));
}

LPVOID LockResource(HGLOBAL loaded) { return ::LockResource(loaded); }
BOOL FreeResource(HGLOBAL loaded) { return ::FreeResource(loaded); }

}  // namespace win
