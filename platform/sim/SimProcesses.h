// Child processes of the simulated machine, shared between the files and the processes backends:
// CloseHandle is one function for every kind of kernel object.
#pragma once

#include "platform/win/types.h"

namespace sim {

// Closes a process or thread handle handed out by CreateProcessW; false when the handle is neither.
bool close_process_object(win::HANDLE h);

}  // namespace sim
