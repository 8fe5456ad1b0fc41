// A background worker of the window toolkit: the work runs on a thread of its own; its completion
// runs on the thread that owns the window (or the console face's main thread), during a pump
// (ui::DoEvents). The worker counts as busy from its start until its completion has run, so a wait
// loop that sees it idle can read the result its completion stored.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace ui {

// What the completion receives: the work's result, or the exception the work ended with (never
// rethrown on the worker's own thread).
struct WorkerCompletion {
    int Result = 0;
    std::exception_ptr Error;
};

class BackgroundWorker {
public:
    explicit BackgroundWorker(std::string name = {});
    ~BackgroundWorker();
    BackgroundWorker(const BackgroundWorker&) = delete;
    BackgroundWorker& operator=(const BackgroundWorker&) = delete;

    std::string Name;
    // Cancellation is accepted but never requested; no progress is reported.
    bool WorkerSupportsCancellation = true;
    bool WorkerReportsProgress = false;

    // The work (on the worker's thread): start argument in, result out.
    std::function<int(int)> DoWork;
    // The completion (on the owning thread, during a pump).
    std::function<void(const WorkerCompletion&)> RunWorkerCompleted;

    // Read on the owning thread only.
    bool IsBusy() const;
    // Starts the work; false (and nothing started) while the worker is busy.
    bool RunWorkerAsync(int argument);

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

// Installed by a machine backend whose clock is virtual (the simulated machine). There a sleep takes
// no real time, so a wait loop would look at a worker again and again while its thread still
// runs, and the worker's own sleeps would add to the waiting thread's. With the clock installed,
// the worker runs on a stretch of the clock of its own that begins when it starts, and its
// completion is due when the waiting thread's clock reaches the time the work ended: a work of
// 60 s spans 60 s of the wait loop's sleeps, as on a real machine.
struct VirtualClock {
    std::function<bool()> active;                // whether sleeping takes no real time now
    std::function<std::uint64_t()> now;          // the calling thread's time (ms)
    std::function<void()> beginTimeline;         // the calling thread's time goes its own way
    std::function<std::uint64_t()> endTimeline;  // ...until here; answers where it stands
};
void SetVirtualClock(VirtualClock clock);

namespace detail {
// For the pump: waits (in real time, a limited while) until every worker started on the virtual
// clock has ended its work, so that its completion is posted with its due time.
void WaitForWorkersOnVirtualClock();
}  // namespace detail

}  // namespace ui
