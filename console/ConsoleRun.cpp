// The body of a console job: checks the model against the package and the machine, installs or
// updates driver 1 when needed, adds the network printer of a "-nw" job, and prints the outcome.
#include "core/Form1.h"
#include "spooler/SpoolerLayer.h"

namespace txr {

namespace {
// "\n" and a text; built by appending (the operator+ of a literal and a string trips a false
// -Wrestrict warning of GCC 12 at -O3).
std::u16string AfterLineBreak(std::u16string_view text)
{
    std::u16string line(u"\n");
    line.append(text);
    return line;
}
}  // namespace

void Form1::SilentDriver_Run()
{
    ConsoleWrite(Str("StrRes_ModelCheckingLabel"));
    CopyToField(g_DriverPackageInfDataArray[0].ModelName, SilentDriver_DriverNameStr);

    // All three facts are gathered, also when the first already decides.
    std::u16string packageText;
    const bool found = UI_GetDriverInstallInfoFromPackage(&g_DriverPackageInfDataArray[0], packageText, true, true) != 0;
    std::u16string installedText;
    UI_GetInstalledDriverAndPrinterInfo(&g_DriverPackageInfDataArray[0], &g_InstalledDriverDataArray[0], installedText);
    const bool needed = UI_DriverNeedsUpdate(&g_DriverPackageInfDataArray[0], &g_InstalledDriverDataArray[0]);

    auto failureLines = [this] {
        ConsoleBeep(800, 1000);
        ConsolePrint(AfterLineBreak(Str("StrRes_InstallStatusLabel_Fail")));
        ConsolePrint(u"");
        ConsolePrint(u"***** ERROR: ****** ");
        SetExitCode(ExitInstallFailure);
    };

    if (!found) {
        ConsoleBeep(800, 1000);
        ConsolePrint(u"");
        ConsolePrint(u"***** ERROR: ****** ");
        ConsolePrint(Str("StrRes_ModelNotSupported"));
        SetExitCode(ExitInstallFailure);
        return;
    }
    if (!needed) {
        ConsoleBeep(800, 200);
        ConsolePrint(Str("StrRes_UI_Select_Caption_NoUpdateRequired"));
        SetExitCode(ExitSuccess);
        return;
    }

    ConsolePrint(Str("StrRes_DriverPackageVersionLabel_Text") + packageText);
    const std::int32_t r = SilentDriver_UpdateDriver(1, 0);
    if (r == DriverStateFailed) {
        failureLines();
    } else if (r == DriverStateNoPrinter && SilentDriver_AddPrinter == 1) {
        if (SilentDriver_CreateTCPPort()) {
            char16_t portName[256];
            CopyToField(portName, SilentDriver_PrinterPortNameStr);
            std::uint32_t error = 0;
            Lib_AddPrinter(g_UpdatedDriverDataArray[0].DriverName, g_UpdatedDriverDataArray[0].DriverName, portName,
                           &error);
            ConsolePrint(AfterLineBreak(Str("StrRes_InstallStatusLabel_Success")));
        } else {
            failureLines();
        }
    } else if (r == DriverStateNoPrinter) {
        ConsolePrint(AfterLineBreak(Str("StrRes_InstallStatusLabel_Success")));
    }
}

}  // namespace txr
