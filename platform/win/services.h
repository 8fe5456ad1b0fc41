// advapi32: the service control manager, for stopping and starting the print spooler and the
// services that depend on it.
#pragma once

#include "platform/win/types.h"

namespace win {

struct SC_HANDLE__;
using SC_HANDLE = SC_HANDLE__*;

struct SERVICE_STATUS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
};
static_assert(sizeof(SERVICE_STATUS) == 28);

struct ENUM_SERVICE_STATUSW {
    LPWSTR lpServiceName;
    LPWSTR lpDisplayName;
    SERVICE_STATUS ServiceStatus;
};

constexpr DWORD SC_MANAGER_CONNECT = 0x1;
constexpr DWORD SC_MANAGER_ENUMERATE_SERVICE = 0x4;
constexpr DWORD SC_MANAGER_ALL_ACCESS = 0xF003F;
constexpr DWORD SERVICE_QUERY_STATUS = 0x4;
constexpr DWORD SERVICE_ENUMERATE_DEPENDENTS = 0x8;
constexpr DWORD SERVICE_START = 0x10;
constexpr DWORD SERVICE_STOP = 0x20;
constexpr DWORD SERVICE_ALL_ACCESS = 0xF01FF;

constexpr DWORD SERVICE_CONTROL_STOP = 1;
constexpr DWORD SERVICE_CONTROL_INTERROGATE = 4;
constexpr DWORD SERVICE_ACCEPT_STOP = 1;

constexpr DWORD SERVICE_ACTIVE = 1;
constexpr DWORD SERVICE_INACTIVE = 2;
constexpr DWORD SERVICE_STATE_ALL = 3;

constexpr DWORD SERVICE_STOPPED = 1;
constexpr DWORD SERVICE_START_PENDING = 2;
constexpr DWORD SERVICE_STOP_PENDING = 3;
constexpr DWORD SERVICE_RUNNING = 4;

constexpr DWORD SERVICE_WIN32_OWN_PROCESS = 0x10;
constexpr DWORD SERVICE_INTERACTIVE_PROCESS = 0x100;

constexpr DWORD ERROR_DEPENDENT_SERVICES_RUNNING = 1051;
constexpr DWORD ERROR_SERVICE_REQUEST_TIMEOUT = 1053;
constexpr DWORD ERROR_SERVICE_ALREADY_RUNNING = 1056;
constexpr DWORD ERROR_SERVICE_DISABLED = 1058;
constexpr DWORD ERROR_SERVICE_DOES_NOT_EXIST = 1060;
constexpr DWORD ERROR_SERVICE_CANNOT_ACCEPT_CTRL = 1061;
constexpr DWORD ERROR_SERVICE_NOT_ACTIVE = 1062;
constexpr DWORD ERROR_DATABASE_DOES_NOT_EXIST = 1065;
constexpr DWORD ERROR_CIRCULAR_DEPENDENCY = 1059;
constexpr DWORD ERROR_SERVICE_DEPENDENCY_FAIL = 1068;
constexpr DWORD ERROR_SERVICE_DEPENDENCY_DELETED = 1075;

SC_HANDLE OpenSCManagerW(LPCWSTR machineName, LPCWSTR databaseName, DWORD desiredAccess);
SC_HANDLE OpenServiceW(SC_HANDLE manager, LPCWSTR serviceName, DWORD desiredAccess);
BOOL CloseServiceHandle(SC_HANDLE handle);
BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status);
BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status);
BOOL StartServiceW(SC_HANDLE service, DWORD argc, LPCWSTR* argv);
// The size request fails with ERROR_MORE_DATA (not ERROR_INSUFFICIENT_BUFFER); entries come in the
// reverse of the order the services start in.
BOOL EnumDependentServicesW(SC_HANDLE service, DWORD serviceState, ENUM_SERVICE_STATUSW* services, DWORD cbBuf,
                            DWORD* needed, DWORD* returned);

}  // namespace win
