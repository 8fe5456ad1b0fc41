// Win32 backend: the service control manager (advapi32).
#include "platform/win32api.h"

#include <windows.h>

#include <cstddef>

namespace win {

static_assert(sizeof(SERVICE_STATUS) == sizeof(::SERVICE_STATUS));
static_assert(offsetof(SERVICE_STATUS, dwCurrentState) == offsetof(::SERVICE_STATUS, dwCurrentState));
static_assert(offsetof(SERVICE_STATUS, dwWaitHint) == offsetof(::SERVICE_STATUS, dwWaitHint));
static_assert(sizeof(ENUM_SERVICE_STATUSW) == sizeof(::ENUM_SERVICE_STATUSW));
static_assert(offsetof(ENUM_SERVICE_STATUSW, lpDisplayName) == offsetof(::ENUM_SERVICE_STATUSW, lpDisplayName));
static_assert(offsetof(ENUM_SERVICE_STATUSW, ServiceStatus) == offsetof(::ENUM_SERVICE_STATUSW, ServiceStatus));

namespace {
const wchar_t* W(LPCWSTR s) { return reinterpret_cast<const wchar_t*>(s); }
::SC_HANDLE SC(SC_HANDLE h) { return reinterpret_cast<::SC_HANDLE>(h); }
::LPSERVICE_STATUS SS(SERVICE_STATUS* s) { return reinterpret_cast<::LPSERVICE_STATUS>(s); }
}  // namespace

SC_HANDLE OpenSCManagerW(LPCWSTR machineName, LPCWSTR databaseName, DWORD desiredAccess)
{
    return reinterpret_cast<SC_HANDLE>(::OpenSCManagerW(W(machineName), W(databaseName), desiredAccess));
}

SC_HANDLE OpenServiceW(SC_HANDLE manager, LPCWSTR serviceName, DWORD desiredAccess)
{
    return reinterpret_cast<SC_HANDLE>(::OpenServiceW(SC(manager), W(serviceName), desiredAccess));
}

BOOL CloseServiceHandle(SC_HANDLE handle) { return ::CloseServiceHandle(SC(handle)); }
BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status) { return ::QueryServiceStatus(SC(service), SS(status)); }

BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status)
{
    return ::ControlService(SC(service), control, SS(status));
}

BOOL StartServiceW(SC_HANDLE service, DWORD argc, LPCWSTR* argv)
{
    return ::StartServiceW(SC(service), argc, reinterpret_cast<const wchar_t**>(argv));
}

BOOL EnumDependentServicesW(SC_HANDLE service, DWORD serviceState, ENUM_SERVICE_STATUSW* services, DWORD cbBuf,
                            DWORD* needed, DWORD* returned)
{
    ::DWORD n = needed ? *needed : 0, r = returned ? *returned : 0;
    const ::BOOL ok = ::EnumDependentServicesW(SC(service), serviceState,
                                               reinterpret_cast<::LPENUM_SERVICE_STATUSW>(services), cbBuf,
                                               needed ? &n : nullptr, returned ? &r : nullptr);
    if (needed) *needed = n;
    if (returned) *returned = r;
    return ok;
}

}  // namespace win
