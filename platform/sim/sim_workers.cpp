// Background workers on the simulated machine's virtual clock (the default): a sleep takes no real
// time, so a worker runs on a stretch of the clock of its own, begun where the machine's clock
// stands when it starts, and its completion is due when the waiting thread's clock has caught up
// with the end of the work. A removal whose spooler restart waits 60 s of status queries then spans
// 60 s of the wait loop's 1000 ms sleeps, as it does on Windows.
#include "platform/sim/SimMachine.h"
#include "platform/ui/BackgroundWorker.h"

namespace {

[[maybe_unused]] const bool g_registered = [] {
    ui::VirtualClock clock;
    clock.active = [] {
        auto l = sim::lock();
        return !sim::Machine::get().state().value("/clock/real_time"_json_pointer, false);
    };
    clock.now = [] { return sim::Machine::get().now_ms(); };
    clock.beginTimeline = [] { sim::Machine::get().begin_timeline(); };
    clock.endTimeline = [] { return sim::Machine::get().end_timeline(); };
    ui::SetVirtualClock(std::move(clock));
    return true;
}();

}  // namespace
