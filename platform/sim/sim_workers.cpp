// Background workers on the simulated machine: with the virtual clock (the default) a sleep takes
// no real time, so a wait loop would look at a worker again and again while its thread still runs.
// The workers then let their work reach its end before the loop's sleep, as a real sleep would.
#include "platform/sim/SimMachine.h"
#include "platform/ui/BackgroundWorker.h"

namespace {

[[maybe_unused]] const bool g_registered = [] {
    ui::SetVirtualClockQuery([] {
        auto l = sim::lock();
        return !sim::Machine::get().state().value("/clock/real_time"_json_pointer, false);
    });
    return true;
}();

}  // namespace
