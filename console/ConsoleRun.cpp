// The body of a console job: checks the model against the package and the machine, installs, adds
// the network printer.
#include "core/Form1.h"

namespace txr {

void Form1::SilentDriver_Run() {}

}  // namespace txr
