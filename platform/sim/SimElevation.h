// Whether the installer runs with administrator rights on the simulated machine, and the one check
// the calls make that Windows refuses to a process without them.
#pragma once

namespace sim {

// The machine setting `process.elevated` (default true: the program's manifest asks for
// administrator rights, so a normal run has them; false stands for a run that was started without
// them, for instance with the elevation prompt bypassed).
bool elevated();

// For a call that needs administrator rights: false when the process has them; otherwise sets
// ERROR_ACCESS_DENIED as the last error and answers true, and the caller returns its failure value.
bool refused_without_admin();

}  // namespace sim
