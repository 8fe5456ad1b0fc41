#include "platform/ui/Pump.h"

#include <deque>
#include <mutex>

#include "platform/ui/BackgroundWorker.h"

namespace ui {

namespace backend {
void PumpWindowMessages();
}

namespace {
struct Posted {
    std::function<void()> call;
    std::function<bool()> due;  // empty: due at once
};
std::mutex g_queueMutex;
std::deque<Posted> g_queue;
}  // namespace

void Post(std::function<void()> call)
{
    std::lock_guard l(g_queueMutex);
    g_queue.push_back(Posted{std::move(call), {}});
}

void PostWhen(std::function<void()> call, std::function<bool()> due)
{
    std::lock_guard l(g_queueMutex);
    g_queue.push_back(Posted{std::move(call), std::move(due)});
}

void DoEvents()
{
    backend::PumpWindowMessages();
    // On a virtual clock a worker's thread may still be running in real time while the clock
    // says its work is long over (or not yet): let it end, so its completion is here with the
    // time it is due at.
    detail::WaitForWorkersOnVirtualClock();
    // Calls that are due run in the order they came, also those they post; one that is not due
    // yet stays for a later pump. Whether a call is due is asked outside the queue's lock: the
    // clock it asks has a lock of its own, which a worker's thread may hold while it posts.
    for (;;) {
        std::deque<Posted> batch;
        {
            std::lock_guard l(g_queueMutex);
            batch.swap(g_queue);
        }
        if (batch.empty()) break;
        bool ran = false;
        std::deque<Posted> waiting;
        auto putBack = [&] {
            std::lock_guard l(g_queueMutex);
            for (auto& p : batch) waiting.push_back(std::move(p));
            for (auto& p : g_queue) waiting.push_back(std::move(p));
            g_queue.swap(waiting);
        };
        while (!batch.empty()) {
            Posted next = std::move(batch.front());
            batch.pop_front();
            if (next.due && !next.due()) {
                waiting.push_back(std::move(next));
                continue;
            }
            ran = true;
            try {
                next.call();
            } catch (...) {
                // A completion that raises its work's error leaves the other calls queued.
                putBack();
                throw;
            }
        }
        putBack();
        if (!ran) break;
    }
}

}  // namespace ui
