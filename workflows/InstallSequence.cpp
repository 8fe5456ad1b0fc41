// The wizard's installation of one driver of the pair: unpack, certificates, removal of the old
// driver, the driver package on the install worker, the two USB interface drivers, clean-up; every
// step is a line of the install page's progress text.
#include "core/Form1.h"
#include "platform/utf.h"
#include "platform/win32api.h"
#include "spooler/SpoolerLayer.h"

namespace txr {

namespace {
constexpr std::u16string_view NL = u"\r\n";
// The interface install reports "already in place" with this code and no message box.
constexpr std::uint32_t kErrorNoMoreItems = 259;
}  // namespace

std::int32_t Form1::UI_BGWInstallDriver(DriverInstallInfoStruct* param_pDriverPackageInstallInfo,
                                        InstalledDriverInfo* param_pInstalledDriverInfo,
                                        InstalledDriverInfo* param_pUpdatedDriverInfo, bool /*param_AddPrinter*/,
                                        const std::u16string& /*param_PortNameStrPtr*/, int param_DriverListIndex)
{
    try {
        DriverInstallInfoStruct* p = param_pDriverPackageInstallInfo;
        std::int32_t result = 0;

        InstallStatusLabel.Text = u"++++ " + std::u16string(FieldText(p->DriverName)) + u" ++++" + std::u16string(NL);
        PumpEvents();
        AppendInstallStatus(Str("StrRes_InstallStatusLabel_Start"));

        AppendInstallStatus(std::u16string(NL) + u"+" + Str("StrRes_InstallStatusLabel_Unpack"));
        if (!UI_UnpackDriverPackage()) {
            AppendInstallStatus(std::u16string(NL) + Str("StrRes_InstallStatusLabel_ErrorUnpack"));
        } else {
            AppendInstallStatus(Str("StrRes_DoneText"));

            AppendInstallStatus(std::u16string(NL) + u"+" + Str("StrRes_UI_CheckingCertificate"));
            const bool certificateOk = UI_InstallCertificate(p) != 0;
            AppendInstallStatus(certificateOk ? Str("StrRes_UI_CertificateInstalled")
                                              : Str("StrRes_UI_CertificateInstallFailed"));

            AppendInstallStatus(std::u16string(NL) + u"+" + Str("StrRes_InstallStatusLabel_Delete"));
            if (!UI_BGWUnInstallDriver(p, param_pInstalledDriverInfo, param_DriverListIndex)) {
                AppendInstallStatus(std::u16string(NL) + Str("StrRes_InstallStatusLabel_ErrorUninstall"));
            } else {
                AppendInstallStatus(std::u16string(NL) + u"+" + Str("StrRes_InstallStatusLabel_InstDriver"));
                RunWorkerAndWait(InstallerBGWorker, g_BGWInstallStatus, param_DriverListIndex, 2000,
                                 [this] { AppendInstallStatus(u"."); });
                if (g_BGWInstallStatus != 0) {
                    AppendInstallStatus(Str("StrRes_DoneText"));
                    result = 1;
                    const std::uint32_t redirection = win::Is64BitProcess() ? 0 : 1;
                    struct Interface {
                        const char16_t* infPath;
                        const char* stepKey;
                        const char* errorKey;
                    };
                    const Interface interfaces[2] = {
                        {p->WinUsbInfFilePath, "StrRes_InstallStatusLabel_WinUSB", "StrRes_InstallStatusLabel_ErrorWinUSB"},
                        {p->RestInfFilePath, "StrRes_InstallStatusLabel_REST", "StrRes_InstallStatusLabel_ErrorREST"},
                    };
                    for (const Interface& itf : interfaces) {
                        AppendInstallStatus(std::u16string(NL) + u"+" + Str(itf.stepKey));
                        std::uint32_t error = 0;
                        if (Lib_USBDeviceInterfaceDriverInstall(itf.infPath, redirection, &error, true))
                            AppendInstallStatus(Str("StrRes_DoneText"));
                        else if (error == kErrorNoMoreItems)
                            AppendInstallStatus(Str("StrRes_InstallStatusLabel_AlreadyInstalled"));
                        else
                            AppendInstallStatus(std::u16string(NL) + Str(itf.errorKey));
                    }
                } else {
                    AppendInstallStatus(std::u16string(NL) + (certificateOk ? Str("StrRes_InstallStatusLabel_ErrorAdd")
                                                                            : Str("StrRes_InstallStatusLabel_WinCertFailure")));
                }
            }
        }

        UI_DeleteDriverUnpackFolder(std::u16string(FieldText(p->CabDestinationPath)));

        if (result == 1) {
            AppendInstallStatus(std::u16string(NL) + std::u16string(FieldText(p->DriverName)) +
                                Str("StrRes_InstallStatusLabel_Success"));
            std::u16string dateVersion;
            if (UI_GetInstalledDriverAndPrinterInfo(p, param_pUpdatedDriverInfo, dateVersion))
                AppendInstallStatus(std::u16string(NL) + Str("StrRes_InstallStatusLabel_Version") +
                                    std::u16string(FieldText(param_pUpdatedDriverInfo->DriverName)) + u"[" +
                                    dateVersion + u"]");
        } else {
            AppendInstallStatus(std::u16string(NL) + std::u16string(FieldText(p->DriverName)) +
                                Str("StrRes_InstallStatusLabel_Fail"));
        }

        PumpEvents();
        win::Sleep(2000);
        PumpEvents();
        return result;
    } catch (const Error& e) {
        ShowCaptionedError(e.Message());
    } catch (const std::exception& e) {
        ShowCaptionedError(txt::from_utf8(e.what()));
    }
    return 0;
}

}  // namespace txr
