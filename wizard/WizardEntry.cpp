// Start of the wizard face.
#include "core/EntryPoint.h"
#include "core/Form1.h"
#include "core/UserPrompt.h"
#include "platform/ui/Pump.h"
#include "platform/win32api.h"

namespace txr {

int RunWizard()
{
    static const char16_t kNoWindow[] =
        u"BrevantoTXR4100SeriesZKWInstaller: the wizard window needs the Windows build; on this system "
        u"use the console installer, e.g. \"-pnp -model 3 [-lang 1]\" or \"-nw -model 3 -ipv4 <address>\" "
        u"(\"-?\" shows all options).\n";
    if (!ui::HasWindowToolkit()) {
        win::DWORD written = 0;
        win::WriteConsoleW(win::GetStdHandle(win::STD_ERROR_HANDLE), kNoWindow,
                           static_cast<win::DWORD>(sizeof(kNoWindow) / sizeof(char16_t) - 1), &written, nullptr);
        return ExitInvalidCommandLine;
    }
    Form1 form;
    form.UI_BuildCatalogs();
    const std::u16string text = form.Str("StrRes_FormCaption_txr4100_zkw") +
                                u"\n\nThis version installs from the command line only. Run the installer with "
                                u"\"-?\" to see its options, e.g. \"-pnp -model 3\".";
    ShowMessageBox(text, form.AppWindowCaptionLabel.Text, win::MB_OK | win::MB_ICONINFORMATION);
    return ExitInvalidCommandLine;
}

}  // namespace txr
