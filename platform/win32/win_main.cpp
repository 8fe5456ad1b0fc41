// The program's entry on Windows: a windowed program (no console of its own); the arguments come
// as UTF-16 through wmain.
#include <windows.h>

#include <string>
#include <vector>

#include "core/EntryPoint.h"

int wmain(int argc, wchar_t** argv)
{
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
    return txr::RunInstaller(args);
}
