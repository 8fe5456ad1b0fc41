#include "platform/ui/Pump.h"

#include <deque>
#include <mutex>

namespace ui {

namespace backend {
void PumpWindowMessages();
}

namespace {
std::mutex g_queueMutex;
std::deque<std::function<void()>> g_queue;
}  // namespace

void Post(std::function<void()> call)
{
    std::lock_guard l(g_queueMutex);
    g_queue.push_back(std::move(call));
}

void DoEvents()
{
    backend::PumpWindowMessages();
    for (;;) {
        std::function<void()> next;
        {
            std::lock_guard l(g_queueMutex);
            if (g_queue.empty()) break;
            next = std::move(g_queue.front());
            g_queue.pop_front();
        }
        next();
    }
}

}  // namespace ui
