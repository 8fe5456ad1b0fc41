// kernel32: mutexes. A named mutex is one object for every process of the machine: the second
// CreateMutexW of a name gets a handle to the same object and ERROR_ALREADY_EXISTS, which is how a
// program tells that another instance of it runs.
#pragma once

#include "platform/win/types.h"

namespace win {

constexpr DWORD ERROR_NOT_OWNER = 288;

// A handle to the mutex called `name` (NULL: a mutex of no name, this process's alone), made when
// there is none. When the name existed already, the handle is to that mutex, the last error is
// ERROR_ALREADY_EXISTS and initialOwner is ignored; otherwise the last error is 0. NULL with the
// last error on failure. Close with CloseHandle; the mutex goes when its last handle on the
// machine is closed (or its last holder's process ends).
HANDLE CreateMutexW(SECURITY_ATTRIBUTES* attributes, BOOL initialOwner, LPCWSTR name);

// Gives up the calling thread's ownership; FALSE with ERROR_NOT_OWNER when it owns the mutex not.
BOOL ReleaseMutex(HANDLE mutex);

}  // namespace win
