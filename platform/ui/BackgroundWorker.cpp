#include "platform/ui/BackgroundWorker.h"

#include <chrono>
#include <set>

#include "platform/ui/Pump.h"

namespace ui {

namespace {

VirtualClock& Clock()
{
    static VirtualClock clock;
    return clock;
}

bool ClockIsVirtual()
{
    const auto& c = Clock();
    return c.active && c.now && c.beginTimeline && c.endTimeline && c.active();
}

// A work that does not end within this much real time is left to the wait loop's normal looks.
constexpr auto kSyncLimit = std::chrono::seconds(60);

}  // namespace

void SetVirtualClock(VirtualClock clock) { Clock() = std::move(clock); }

// State shared with the worker's thread and with a posted completion, which may outlive a worker
// whose owner went away before the next pump.
struct BackgroundWorker::Shared {
    bool busy = false;      // owning thread only
    bool ownerAlive = true; // owning thread only
};

namespace {

// The works running on the virtual clock whose threads have not ended yet.
struct RunningWorks {
    std::mutex mutex;
    std::condition_variable ended;
    std::set<const void*> running;
};

RunningWorks& Running()
{
    static RunningWorks r;
    return r;
}

// A work that pumps (it should not) must not wait for itself.
thread_local bool t_onWorkerThread = false;

}  // namespace

void detail::WaitForWorkersOnVirtualClock()
{
    if (t_onWorkerThread) return;
    auto& r = Running();
    std::unique_lock l(r.mutex);
    r.ended.wait_for(l, kSyncLimit, [&] { return r.running.empty(); });
}

BackgroundWorker::BackgroundWorker(std::string name) : Name(std::move(name)), shared_(std::make_shared<Shared>()) {}

BackgroundWorker::~BackgroundWorker()
{
    shared_->ownerAlive = false;
    if (thread_.joinable()) thread_.join();
}

bool BackgroundWorker::IsBusy() const { return shared_->busy; }

bool BackgroundWorker::RunWorkerAsync(int argument)
{
    if (shared_->busy) return false;
    if (thread_.joinable()) thread_.join();  // the previous run's thread has ended already
    shared_->busy = true;
    const bool virtualClock = ClockIsVirtual();
    const void* key = shared_.get();
    if (virtualClock) {
        std::lock_guard l(Running().mutex);
        Running().running.insert(key);
    }
    auto shared = shared_;
    auto work = DoWork;
    thread_ = std::thread([this, shared, work, argument, virtualClock, key] {
        t_onWorkerThread = true;
        WorkerCompletion completion;
        std::uint64_t endedAt = 0;
        try {
            if (virtualClock) Clock().beginTimeline();
            if (work) completion.Result = work(argument);
        } catch (...) {
            completion.Error = std::current_exception();
        }
        try {
            if (virtualClock) endedAt = Clock().endTimeline();
        } catch (...) {
        }
        try {
            auto complete = [this, shared, completion] {
                if (!shared->ownerAlive) return;
                // In one step: the worker becomes idle and its completion runs.
                shared->busy = false;
                if (thread_.joinable()) thread_.join();
                if (RunWorkerCompleted) RunWorkerCompleted(completion);
            };
            if (virtualClock) {
                // Due once the waiting thread's clock has reached the end of the work.
                ui::PostWhen(std::move(complete), [endedAt] {
                    try {
                        return Clock().now() >= endedAt;
                    } catch (...) {
                        return true;
                    }
                });
            } else {
                ui::Post(std::move(complete));
            }
        } catch (...) {
            // Nothing may leave the worker's thread; without a posted completion the worker would
            // stay busy, which the owner sees as a work that never ends.
        }
        if (virtualClock) {
            auto& r = Running();
            {
                std::lock_guard l(r.mutex);
                r.running.erase(key);
            }
            r.ended.notify_all();
        }
    });
    return true;
}

}  // namespace ui
