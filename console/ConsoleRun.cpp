// The body of a console job: checks the model against the package and the machine, installs or
// updates driver 1 when needed, makes the network printer of a "-nw" job, and prints the outcome.
#include "core/Form1.h"
#include "core/WideText.h"
#include "package/SystemMessage.h"
#include "platform/utf.h"
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
        // A package that could not be unpacked is no unsupported model: say why it failed.
        if (packageUnpackFailed_)
            ConsolePrint(Str("StrRes_SilentDriver_UnpackFailed") +
                         (packageUnpackError_ ? Joined({u": ", PackageSystemMessage(packageUnpackError_)}) : std::u16string()));
        else
            ConsolePrint(Str("StrRes_ModelNotSupported"));
        SetExitCode(ExitInstallFailure);
        return;
    }

    // A "-nw" job decides about its port before anything on the machine changes: a port of that
    // name is used only when it is a Standard TCP/IP port to the given address.
    bool portInPlace = false;
    if (SilentDriver_AddPrinter == 1 && !SilentDriver_CheckNetworkPort(portInPlace)) {
        failureLines();
        return;
    }

    if (!needed) {
        ConsoleBeep(800, 200);
        ConsolePrint(Str("StrRes_UI_Select_Caption_NoUpdateRequired"));
        SetExitCode(ExitSuccess);
        if (SilentDriver_AddPrinter == 1) {
            const std::int32_t made = SilentDriver_MakeNetworkPrinter(g_InstalledDriverDataArray[0].DriverName, portInPlace);
            if (made == kNetworkPrinterAdded)
                ConsolePrint(AfterLineBreak(Str("StrRes_InstallStatusLabel_Success")));
            else if (made == 0)
                failureLines();
        }
        return;
    }

    ConsolePrint(Str("StrRes_DriverPackageVersionLabel_Text") + packageText);
    const std::int32_t r = SilentDriver_UpdateDriver(1, 0);
    if (r == DriverStateFailed) {
        failureLines();
        return;
    }
    if (!lastInstallSucceeded_) {
        // The old driver's state (r = 1: installed without printers) is no success of this run.
        if (r == DriverStateNoPrinter) failureLines();
        return;
    }
    // The sequence has named every printer it could not keep, and the run ends as failed.
    if (lostPrinterCount_ > 0) return;
    if (SilentDriver_AddPrinter == 1) {
        if (SilentDriver_MakeNetworkPrinter(g_UpdatedDriverDataArray[0].DriverName, portInPlace))
            ConsolePrint(AfterLineBreak(Str("StrRes_InstallStatusLabel_Success")));
        else
            failureLines();
    } else if (r == DriverStateNoPrinter) {
        ConsolePrint(AfterLineBreak(Str("StrRes_InstallStatusLabel_Success")));
    }
}

std::int32_t Form1::SilentDriver_CheckNetworkPort(bool& portInPlace)
{
    portInPlace = false;
    char16_t portName[kTextField];
    CopyToField(portName, SilentDriver_PrinterPortNameStr);
    PortLookup port;
    std::uint32_t error = 0;
    if (!Lib_LookUpPort(portName, &port, &error)) {
        ConsolePrint(u"");
        ConsolePrint(Str("StrRes_TCPFailed") + txt::from_utf8(std::to_string(error)));
        return 0;
    }
    if (!port.exists) return 1;
    if (port.isStandardTcpIp && txt::iequals(FieldText(port.address), SilentDriver_EthIPAddressStr)) {
        portInPlace = true;
        return 1;
    }
    // On a line of its own: the check line above ends without a line break.
    ConsolePrint(u"");
    ConsolePrint(Joined({u"ERROR!: ", Str("StrRes_SilentDriver_PortInUse"), SilentDriver_PrinterPortNameStr}));
    return 0;
}

std::int32_t Form1::SilentDriver_MakeNetworkPrinter(const char16_t* driverName, bool portInPlace)
{
    if (!portInPlace && !SilentDriver_CreateTCPPort()) return 0;
    char16_t portName[256];
    CopyToField(portName, SilentDriver_PrinterPortNameStr);

    // A printer of this driver on this port from an earlier run is the printer asked for.
    std::vector<PrinterSettings> printers;
    std::uint32_t error = 0;
    Lib_GetPrinterSettingsList(driverName, &printers, &error);
    for (const PrinterSettings& p : printers) {
        if (!txt::iequals(FieldText(p.PortName), FieldText(portName))) continue;
        ConsolePrint(Str("StrRes_SilentDriver_NetworkPrinterInPlace") + std::u16string(FieldText(p.PrinterName)));
        return kNetworkPrinterInPlace;
    }
    // The printer is named like its driver; when a printer of that name exists already (a carried
    // over USB printer), the port's name tells the two apart.
    std::u16string name(driverName ? driverName : u"");
    bool nameTaken = false;
    for (const PrinterSettings& p : printers) nameTaken = nameTaken || txt::iequals(FieldText(p.PrinterName), name);
    if (nameTaken) name = Joined({name, u" (", SilentDriver_PrinterPortNameStr, u")"});
    char16_t printerName[kTextField];
    CopyToField(printerName, name);
    if (Lib_AddPrinter(driverName, printerName, portName, &error)) return kNetworkPrinterAdded;
    ConsolePrint(Joined({u"ERROR!: ", Str("StrRes_SilentDriver_AddPrinterFailed"), name, u": ", PackageSystemMessage(error)}));
    return 0;
}

}  // namespace txr
