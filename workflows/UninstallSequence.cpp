// Removal of one driver of the pair: its USB print device nodes, then the driver with its printers
// and driver-store package, either on the removal worker (inside an installation) or in line (the
// advanced page's delete).
#include "core/Form1.h"
#include "platform/utf.h"
#include "platform/win32api.h"
#include "spooler/SpoolerLayer.h"

namespace txr {

namespace {
constexpr std::u16string_view NL = u"\r\n";
}  // namespace

// Both forms' first lines and the device removal, which runs even when nothing was found.
static void UninstallHeading(Form1& form, const InstalledDriverInfo* installed,
                             const std::function<void(std::u16string_view)>& append)
{
    append(std::u16string(NL) + u" + " + form.Str("StrRes_UninstallStatusLabel_Start"));
    if (installed->IsInstalled != 0)
        append(std::u16string(NL) + u"   " + form.Str("StrRes_UninstallStatusLabel_DetectedDriver") +
               std::u16string(FieldText(installed->DriverName)) + u"[" +
               std::u16string(FieldText(installed->DriverVersion)) + u"]");
    else
        append(form.Str("StrRes_UninstallStatusLabel_NotFound"));
    UninstallDeviceInstance(g_DeviceInstanceID);
}

// Both forms' last step: the success line when the removal succeeded, then a pause the user can
// read the label in.
static void UninstallEnding(Form1& form, bool removed, const std::function<void(std::u16string_view)>& append)
{
    if (removed) append(std::u16string(NL) + u"   " + form.Str("StrRes_UninstallStatusLabel_Ok"));
    form.PumpEvents();
    win::Sleep(2000);
    form.PumpEvents();
}

std::int32_t Form1::UI_BGWUnInstallDriver(DriverInstallInfoStruct* /*param_pDriverPackageInstallInfo*/,
                                          InstalledDriverInfo* param_pInstalledDriverInfo, int param_DriverListIndex)
{
    try {
        UninstallHeading(*this, param_pInstalledDriverInfo, [this](std::u16string_view t) { AppendInstallStatus(t); });
        // The worker removes the driver named by the slot's package record.
        RunWorkerAndWait(UnInstallBGWorker, g_BGWUninstallStatus, param_DriverListIndex, 1000,
                         [this] { AppendInstallStatus(u"."); });
        UninstallEnding(*this, g_BGWUninstallStatus != 0, [this](std::u16string_view t) { AppendInstallStatus(t); });
        return 1;
    } catch (const Error& e) {
        ShowCaptionedError(e.Message());
    } catch (const std::exception& e) {
        ShowCaptionedError(txt::from_utf8(e.what()));
    }
    return 0;
}

std::int32_t Form1::UI_UnInstallDriver(DriverInstallInfoStruct* param_pDriverPackageInstallInfo,
                                       InstalledDriverInfo* param_pInstalledDriverInfo)
{
    try {
        UninstallHeading(*this, param_pInstalledDriverInfo, [this](std::u16string_view t) { AppendInstallStatus(t); });
        const DriverInstallInfoStruct* p = param_pDriverPackageInstallInfo;
        UninstallEnding(*this, Lib_PrinterDriverUninstall(p->HardwareId, p->InfFileName, p->ModelName) == 1,
                        [this](std::u16string_view t) { AppendInstallStatus(t); });
        return 1;
    } catch (const Error& e) {
        ShowCaptionedError(e.Message());
    } catch (const std::exception& e) {
        ShowCaptionedError(txt::from_utf8(e.what()));
    }
    return 0;
}

}  // namespace txr
