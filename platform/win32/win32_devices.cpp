// Win32 backend: the device installer (setupapi, newdev), CLSIDFromString (ole32) and WOW64
// file-system redirection (kernel32). mingw-w64's import library for newdev.dll lacks
// DiInstallDriverW and DiUninstallDevice, so both are looked up at run time (see Newdev).
#include "platform/win32api.h"
#include "platform/handles.h"

#include <windows.h>
#include <objbase.h>
#include <setupapi.h>

#include <cstddef>

namespace win {

static_assert(sizeof(GUID) == sizeof(::GUID));
static_assert(offsetof(GUID, Data4) == offsetof(::GUID, Data4));
static_assert(sizeof(SP_DEVINFO_DATA) == sizeof(::SP_DEVINFO_DATA));
static_assert(offsetof(SP_DEVINFO_DATA, ClassGuid) == offsetof(::SP_DEVINFO_DATA, ClassGuid));
static_assert(offsetof(SP_DEVINFO_DATA, DevInst) == offsetof(::SP_DEVINFO_DATA, DevInst));
static_assert(offsetof(SP_DEVINFO_DATA, Reserved) == offsetof(::SP_DEVINFO_DATA, Reserved));

namespace {

wchar_t* W(LPWSTR s) { return reinterpret_cast<wchar_t*>(s); }
const wchar_t* W(LPCWSTR s) { return reinterpret_cast<const wchar_t*>(s); }
::PSP_DEVINFO_DATA DI(SP_DEVINFO_DATA* d) { return reinterpret_cast<::PSP_DEVINFO_DATA>(d); }

using DiUninstallDeviceFn = ::BOOL(WINAPI*)(::HWND, ::HDEVINFO, ::PSP_DEVINFO_DATA, ::DWORD, ::BOOL*);
using DiInstallDriverWFn = ::BOOL(WINAPI*)(::HWND, const wchar_t*, ::DWORD, ::BOOL*);

template <typename Fn>
Fn lookup(::HMODULE module, const char* name)
{
    if (!module) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

// The device installer's functions, from newdev.dll in the system folder only (never from the
// program's folder), looked up once, on the first device-installer or redirection call, and kept
// for the life of the process. The lookup must come before file-system redirection is switched
// off: a 32-bit process with redirection off would find the 64-bit newdev.dll in System32, which
// it cannot load. Wow64DisableWow64FsRedirection below therefore makes sure of it first.
struct Newdev {
    unique_module module;
    DiUninstallDeviceFn uninstallDevice = nullptr;
    DiInstallDriverWFn installDriver = nullptr;
};

const Newdev& newdev()
{
    static const Newdev resolved = [] {
        Newdev n;
        n.module.reset(reinterpret_cast<HMODULE>(::LoadLibraryExW(L"newdev.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)));
        const auto m = reinterpret_cast<::HMODULE>(n.module.get());
        n.uninstallDevice = lookup<DiUninstallDeviceFn>(m, "DiUninstallDevice");
        n.installDriver = lookup<DiInstallDriverWFn>(m, "DiInstallDriverW");
        return n;
    }();
    return resolved;
}

}  // namespace

HRESULT CLSIDFromString(LPCWSTR text, GUID* clsid)
{
    return ::CLSIDFromString(W(text), reinterpret_cast<::GUID*>(clsid));
}

HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, LPCWSTR enumerator, HWND parent, DWORD flags)
{
    return ::SetupDiGetClassDevsW(reinterpret_cast<const ::GUID*>(classGuid), W(enumerator),
                                  reinterpret_cast<::HWND>(parent), flags);
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data)
{
    return ::SetupDiEnumDeviceInfo(set, index, DI(data));
}

BOOL SetupDiGetDeviceInstanceIdW(HDEVINFO set, SP_DEVINFO_DATA* data, LPWSTR id, DWORD idChars,
                                 DWORD* requiredSize)
{
    ::DWORD required = requiredSize ? *requiredSize : 0;
    const ::BOOL ok = ::SetupDiGetDeviceInstanceIdW(set, DI(data), W(id), idChars, requiredSize ? &required : nullptr);
    if (requiredSize) *requiredSize = required;
    return ok;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) { return ::SetupDiDestroyDeviceInfoList(set); }

BOOL DiUninstallDevice(HWND parent, HDEVINFO set, SP_DEVINFO_DATA* data, DWORD flags, BOOL* needReboot)
{
    const auto fn = newdev().uninstallDevice;
    if (!fn) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    return fn(reinterpret_cast<::HWND>(parent), set, DI(data), flags, needReboot);
}

BOOL DiInstallDriverW(HWND parent, LPCWSTR infPath, DWORD flags, BOOL* needReboot)
{
    const auto fn = newdev().installDriver;
    if (!fn) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    return fn(reinterpret_cast<::HWND>(parent), W(infPath), flags, needReboot);
}

BOOL Wow64DisableWow64FsRedirection(void** oldValue)
{
    newdev();  // resolved while System32 still means this process's own system folder
    return ::Wow64DisableWow64FsRedirection(oldValue);
}
BOOL Wow64RevertWow64FsRedirection(void* oldValue) { return ::Wow64RevertWow64FsRedirection(oldValue); }

}  // namespace win
