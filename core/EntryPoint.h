// The program's entry, shared by both platforms: with arguments the console face, without them the
// wizard window. The platform's own main() converts the arguments and calls RunInstaller.
#pragma once

#include <string>
#include <vector>

namespace txr {

// args: the command-line arguments without the program name. Returns the process exit code.
int RunInstaller(const std::vector<std::u16string>& args);
// The wizard face (wizard/).
int RunWizard();

}  // namespace txr
