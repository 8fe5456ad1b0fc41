#include "platform/ui/BackgroundWorker.h"

#include <chrono>

#include "platform/ui/Pump.h"

namespace ui {

namespace {

std::function<bool()>& VirtualClockQuery()
{
    static std::function<bool()> query;
    return query;
}

// A work that does not end within this much real time is left to the wait loop's normal looks.
constexpr auto kSyncLimit = std::chrono::seconds(60);

}  // namespace

void SetVirtualClockQuery(std::function<bool()> query) { VirtualClockQuery() = std::move(query); }

// State shared with the worker's thread and with a posted completion, which may outlive a worker
// whose owner went away before the next pump.
struct BackgroundWorker::Shared {
    std::mutex mutex;
    std::condition_variable ended;
    bool workEnded = true;
    bool busy = false;      // owning thread only
    bool ownerAlive = true; // owning thread only
};

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
    {
        std::lock_guard l(shared_->mutex);
        shared_->workEnded = false;
    }
    auto shared = shared_;
    auto work = DoWork;
    thread_ = std::thread([this, shared, work, argument] {
        WorkerCompletion completion;
        try {
            if (work) completion.Result = work(argument);
        } catch (...) {
            completion.Error = std::current_exception();
        }
        try {
            ui::Post([this, shared, completion] {
                if (!shared->ownerAlive) return;
                // In one step: the worker becomes idle and its completion runs.
                shared->busy = false;
                if (thread_.joinable()) thread_.join();
                if (RunWorkerCompleted) RunWorkerCompleted(completion);
            });
        } catch (...) {
            // Nothing may leave the worker's thread; without a posted completion the worker would
            // stay busy, which the owner sees as a work that never ends.
        }
        {
            std::lock_guard l(shared->mutex);
            shared->workEnded = true;
        }
        shared->ended.notify_all();
    });
    return true;
}

void BackgroundWorker::SyncWithMachineClock()
{
    const auto& query = VirtualClockQuery();
    if (!query || !query()) return;
    std::unique_lock l(shared_->mutex);
    shared_->ended.wait_for(l, kSyncLimit, [this] { return shared_->workEnded; });
}

}  // namespace ui
