// setupapi, newdev and ole32: the printer device class, device lists, device removal, interface
// driver installation, and the WOW64 file-system redirection around it.
#pragma once

#include "platform/win/locale.h"  // ERROR_INVALID_FLAGS
#include "platform/win/types.h"

namespace win {

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
static_assert(sizeof(GUID) == 16);

using HDEVINFO = void*;

// 28 bytes in a 32-bit process, 32 in a 64-bit one; cbSize must say which.
struct SP_DEVINFO_DATA {
    DWORD cbSize;
    GUID ClassGuid;
    DWORD DevInst;
    ULONG_PTR Reserved;
};

constexpr DWORD DIGCF_DEFAULT = 0x1;
constexpr DWORD DIGCF_PRESENT = 0x2;
constexpr DWORD DIGCF_ALLCLASSES = 0x4;
constexpr DWORD DIGCF_PROFILE = 0x8;
constexpr DWORD DIGCF_DEVICEINTERFACE = 0x10;
constexpr DWORD DIIRFLAG_FORCE_INF = 0x2;
// 0x4 is DIIRFLAG_HW_USING_THE_INF, a different flag.
constexpr DWORD DIIRFLAG_INSTALL_AS_SET = 0x40;

constexpr HRESULT NOERROR = 0;
constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);

constexpr DWORD ERROR_NO_SUCH_DEVINST = 0xE000020Bu;
constexpr DWORD ERROR_NO_CATALOG_FOR_OEM_INF = 0xE000022Fu;
constexpr DWORD ERROR_IN_WOW64 = 0xE0000235u;
constexpr DWORD ERROR_DRIVER_STORE_ADD_FAILED = 0xE0000247u;

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" with braces; CO_E_CLASSSTRING otherwise.
HRESULT CLSIDFromString(LPCWSTR text, GUID* clsid);
// Flags 0 include devices that are not plugged in. INVALID_HANDLE_VALUE on failure; destroy with
// SetupDiDestroyDeviceInfoList.
HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, LPCWSTR enumerator, HWND parent, DWORD flags);
// FALSE with ERROR_NO_MORE_ITEMS past the last device.
BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data);
// *requiredSize in characters including the terminator.
BOOL SetupDiGetDeviceInstanceIdW(HDEVINFO set, SP_DEVINFO_DATA* data, LPWSTR id, DWORD idChars,
                                 DWORD* requiredSize);
BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set);
// Both: with needReboot null, a change that needs a restart makes Windows itself prompt the user to
// restart; with a flag to fill, the caller decides.
BOOL DiUninstallDevice(HWND parent, HDEVINFO set, SP_DEVINFO_DATA* data, DWORD flags, BOOL* needReboot);
// FALSE with ERROR_NO_MORE_ITEMS when the same or a better driver is already installed.
BOOL DiInstallDriverW(HWND parent, LPCWSTR infPath, DWORD flags, BOOL* needReboot);

// Only a 32-bit process on 64-bit Windows has redirection to switch; elsewhere FALSE with
// ERROR_INVALID_FUNCTION. The Win32 backend looks up the device installer's functions (newdev.dll)
// before it switches redirection off, so that a 32-bit process finds its own newdev.dll in the
// system folder rather than the 64-bit one.
BOOL Wow64DisableWow64FsRedirection(void** oldValue);
BOOL Wow64RevertWow64FsRedirection(void* oldValue);

}  // namespace win
