// The event pump of the thread that owns the window (the window's thread, or the console face's
// main thread). Work posted from other threads (a background worker's completion) runs on the
// owning thread during DoEvents, never on the poster's thread.
#pragma once

#include <functional>

namespace ui {

// Queues a call to run on the UI thread at its next DoEvents.
void Post(std::function<void()> call);
// Queues a call to run at the first DoEvents at which `due()` holds (a worker's completion on a
// virtual clock waits there for the time its work ended).
void PostWhen(std::function<void()> call, std::function<bool()> due);
// Processes pending window messages (through the window backend) and runs posted calls.
void DoEvents();

// Whether this build can show the wizard window (false for the headless backend).
bool HasWindowToolkit();

}  // namespace ui
