#include "core/EntryPoint.h"

#include "core/Form1.h"

namespace txr {

int RunInstaller(const std::vector<std::u16string>& args)
{
    if (!args.empty()) {
        Form1 form;
        return form.SilentDriver_Main(args);
    }
    return RunWizard();
}

}  // namespace txr
