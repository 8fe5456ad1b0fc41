// Win32 backend: child processes and waiting (kernel32).
#include "platform/win32api.h"

#include <windows.h>

#include <cstddef>

namespace win {

static_assert(sizeof(STARTUPINFOW) == sizeof(::STARTUPINFOW));
static_assert(offsetof(STARTUPINFOW, wShowWindow) == offsetof(::STARTUPINFOW, wShowWindow));
static_assert(offsetof(STARTUPINFOW, lpReserved2) == offsetof(::STARTUPINFOW, lpReserved2));
static_assert(offsetof(STARTUPINFOW, hStdError) == offsetof(::STARTUPINFOW, hStdError));
static_assert(sizeof(PROCESS_INFORMATION) == sizeof(::PROCESS_INFORMATION));
static_assert(offsetof(PROCESS_INFORMATION, dwThreadId) == offsetof(::PROCESS_INFORMATION, dwThreadId));

BOOL CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, SECURITY_ATTRIBUTES* processAttributes,
                    SECURITY_ATTRIBUTES* threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                    LPVOID environment, LPCWSTR currentDirectory, STARTUPINFOW* startupInfo,
                    PROCESS_INFORMATION* info)
{
    return ::CreateProcessW(reinterpret_cast<const wchar_t*>(applicationName), reinterpret_cast<wchar_t*>(commandLine),
                            reinterpret_cast<::LPSECURITY_ATTRIBUTES>(processAttributes),
                            reinterpret_cast<::LPSECURITY_ATTRIBUTES>(threadAttributes), inheritHandles, creationFlags,
                            environment, reinterpret_cast<const wchar_t*>(currentDirectory),
                            reinterpret_cast<::LPSTARTUPINFOW>(startupInfo),
                            reinterpret_cast<::LPPROCESS_INFORMATION>(info));
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) { return ::WaitForSingleObject(object, milliseconds); }
BOOL TerminateProcess(HANDLE process, UINT exitCode) { return ::TerminateProcess(process, exitCode); }

BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode)
{
    ::DWORD code = 0;
    const ::BOOL ok = ::GetExitCodeProcess(process, &code);
    if (exitCode) *exitCode = code;
    return ok;
}

}  // namespace win
