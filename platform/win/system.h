// kernel32: environment, pauses, the clock, and the bitness of the process and of Windows.
#pragma once

#include "platform/win/types.h"

namespace win {

// Returns the length of the value without its terminator; when the buffer is too small, the size
// needed including the terminator; 0 with ERROR_ENVVAR_NOT_FOUND when the variable does not exist.
DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size);

// The system folder ("C:\Windows\System32"), also for a 32-bit process on 64-bit Windows: there
// the file-system redirection takes that path to SysWOW64. Returns its length without the
// terminator; when the buffer is too small, the size needed including the terminator; 0 on failure.
UINT GetSystemDirectoryW(LPWSTR buffer, UINT size);

void Sleep(DWORD milliseconds);
ULONGLONG GetTickCount64();

HANDLE GetCurrentProcess();
// TRUE in *wow64 for a 32-bit process on 64-bit Windows.
BOOL IsWow64Process(HANDLE process, BOOL* wow64);
// Whether this process runs as a 64-bit process (a property of the program file).
BOOL Is64BitProcess();

}  // namespace win
