// The program's main() on Linux: UTF-8 arguments in, the installer against the simulated machine.
#include <string>
#include <vector>

#include "core/EntryPoint.h"
#include "platform/sim/SimMachine.h"
#include "platform/utf.h"

int main(int argc, char** argv)
{
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i) args.push_back(txt::from_utf8(argv[i]));
    const int code = txr::RunInstaller(args);
    // The virtual clock advances in memory; keep it with the machine.
    sim::Machine::get().save();
    return code;
}
