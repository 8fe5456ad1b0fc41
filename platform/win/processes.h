// kernel32: child processes and waiting for them.
#pragma once

#include "platform/win/types.h"

namespace win {

constexpr DWORD CREATE_NO_WINDOW = 0x08000000;

constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_ABANDONED = 0x80;
constexpr DWORD WAIT_TIMEOUT = 0x102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
// GetExitCodeProcess of a process that has not ended yet.
constexpr DWORD STILL_ACTIVE = 259;
constexpr DWORD ERROR_BAD_EXE_FORMAT = 193;

// 68 bytes on 32-bit, 104 on 64-bit Windows.
struct STARTUPINFOW {
    DWORD cb;
    LPWSTR lpReserved;
    LPWSTR lpDesktop;
    LPWSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    BYTE* lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
};

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};

// commandLine must be writable (Windows may change it in place). With no application name, the
// first token of the command line names the program, found by the platform's search (the folder of
// the program, the current folder, the system folder, the Windows folder, PATH), ".exe" appended
// when it has no extension. On success both handles in *info must be closed with CloseHandle.
BOOL CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, SECURITY_ATTRIBUTES* processAttributes,
                    SECURITY_ATTRIBUTES* threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                    LPVOID environment, LPCWSTR currentDirectory, STARTUPINFOW* startupInfo,
                    PROCESS_INFORMATION* info);
// WAIT_OBJECT_0 when the process (or thread) has ended, WAIT_TIMEOUT after the time-out,
// WAIT_FAILED with the last error set (ERROR_INVALID_HANDLE for a bad handle).
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
// Ends the process with the given exit code; asynchronous: wait for the handle afterwards.
BOOL TerminateProcess(HANDLE process, UINT exitCode);
BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode);

}  // namespace win
