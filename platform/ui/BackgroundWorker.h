// A background worker of the window toolkit: the work runs on a thread of its own; its completion
// runs on the thread that owns the window (or the console face's main thread), during a pump
// (ui::DoEvents). The worker counts as busy from its start until its completion has run, so a wait
// loop that sees it idle can read the result its completion stored.
#pragma once

#include <condition_variable>
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

    // On a machine whose clock is virtual (the simulated machine), a wait loop's sleep takes no real
    // time, so the work's thread would fall behind the clock; this lets the work run to its end
    // first, so that a look after the sleep sees what it would see on a real machine. Everywhere
    // else it returns at once.
    void SyncWithMachineClock();

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

// Installed by a machine backend whose clock is virtual: answers whether sleeping takes no real
// time at the moment.
void SetVirtualClockQuery(std::function<bool()> query);

}  // namespace ui
