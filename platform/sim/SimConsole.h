// The sim's console belongs to the process, not to the machine's state: a test that ends a console
// run without FreeConsole (the run's failure path) would leave the next test's AllocConsole
// refused. Tests put it back with reset_console.
#pragma once

namespace sim {

void reset_console();

}  // namespace sim
