// The sim's kernel objects that are not files or processes (mutexes): CloseHandle asks here.
#pragma once

#include "platform/win/types.h"

namespace sim {

// Closes a mutex handle; false when the handle is no mutex of this process.
bool close_mutex_object(win::HANDLE h);

}  // namespace sim
