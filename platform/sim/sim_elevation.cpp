// The elevation setting of the simulated machine.
#include "platform/sim/SimElevation.h"

#include "platform/sim/SimMachine.h"
#include "platform/win/errors.h"

namespace sim {

bool elevated()
{
    auto l = lock();
    const json& s = Machine::get().state();
    const json::json_pointer key("/process/elevated");
    return !s.contains(key) || !s.at(key).is_boolean() || s.at(key).get<bool>();
}

bool refused_without_admin()
{
    if (elevated()) return false;
    win::SetLastError(win::ERROR_ACCESS_DENIED);
    return true;
}

}  // namespace sim
