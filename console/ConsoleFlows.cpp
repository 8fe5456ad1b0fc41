// The console twins of the installation workflows: the same steps on the same tables and workers
// as the wizard's, printing their progress instead of labelling the install page.
#include "core/Form1.h"
#include "platform/utf.h"
#include "platform/win32api.h"
#include "spooler/SpoolerLayer.h"

namespace txr {

namespace {
constexpr std::uint32_t kErrorNoMoreItems = 259;
constexpr std::size_t kPortArgumentField = 256;
}  // namespace

std::int32_t Form1::SilentDriver_UpdateDriver(std::int32_t param_UpdateRequired, int param_DriverListIndex)
{
    const std::int32_t state = UpdateDriverWith(
        param_UpdateRequired, param_DriverListIndex,
        [this](int i) {
            return SilentDriver_BGWInstallDriver(&g_DriverPackageInfDataArray[i], &g_InstalledDriverDataArray[i],
                                                 &g_UpdatedDriverDataArray[i], false, u"", i);
        },
        [this](const std::u16string& message) { ConsolePrint(u"\n ERROR: " + message); });
    if (state == DriverStateFailed) SetExitCode(ExitInstallFailure);
    return state;
}

std::int32_t Form1::SilentDriver_BGWInstallDriver(DriverInstallInfoStruct* param_pDriverPackageInstallInfo,
                                                  InstalledDriverInfo* param_pInstalledDriverInfo,
                                                  InstalledDriverInfo* param_pUpdatedDriverInfo,
                                                  bool /*param_AddPrinter*/,
                                                  const std::u16string& /*param_PortNameStrPtr*/,
                                                  int param_DriverListIndex)
{
    try {
        DriverInstallInfoStruct* p = param_pDriverPackageInstallInfo;
        std::int32_t result = 0;
        bool restart = false;

        ConsolePrint(u"++++ " + std::u16string(FieldText(p->DriverName)) + u" ++++");
        ConsolePrint(u"\n+" + Str("StrRes_InstallStatusLabel_Unpack"));
        if (!UI_UnpackDriverPackage()) {
            ConsolePrint(u"ERROR!: " + Str("StrRes_InstallStatusLabel_ErrorUnpack"));
        } else {
            ConsolePrint(u"\n+" + Str("StrRes_UI_CheckingCertificate"));
            if (!SilentDriver_PublishCertificate(p)) ConsolePrint(u"ERROR!: " + Str("StrRes_UI_CertificateInstallFailed"));

            if (!SilentDriver_BGWUnInstallDriver(p, param_pInstalledDriverInfo, param_DriverListIndex)) {
                ConsolePrint(u"ERROR!: " + Str("StrRes_InstallStatusLabel_ErrorUninstall"));
            } else {
                ConsolePrint(u"\n+" + Str("StrRes_InstallStatusLabel_InstDriver"));
                RunWorkerAndWait(InstallerBGWorker, g_BGWInstallStatus, param_DriverListIndex, 2000,
                                 [this] { ConsoleWrite(u"."); });
                if (g_BGWInstallStatus != 0) {
                    result = 1;
                    const std::uint32_t redirection = win::Is64BitProcess() ? 0 : 1;
                    struct Interface {
                        const char16_t* infPath;
                        const char* stepKey;
                        const char16_t* alreadyDots;
                        const char* errorKey;
                    };
                    const Interface interfaces[2] = {
                        {p->WinUsbInfFilePath, "StrRes_InstallStatusLabel_WinUSB", u"...... ",
                         "StrRes_InstallStatusLabel_ErrorWinUSB"},
                        {p->RestInfFilePath, "StrRes_InstallStatusLabel_REST", u".... ",
                         "StrRes_InstallStatusLabel_ErrorREST"},
                    };
                    for (const Interface& itf : interfaces) {
                        ConsolePrint(u"\n+" + Str(itf.stepKey));
                        std::uint32_t error = 0;
                        bool restartThis = false;
                        if (Lib_USBDeviceInterfaceDriverInstall(itf.infPath, redirection, &error, true, &restartThis)) {
                            restart = restart || restartThis;
                        } else if (error == kErrorNoMoreItems) {
                            ConsolePrint(itf.alreadyDots + Str("StrRes_InstallStatusLabel_AlreadyInstalled"));
                        } else {
                            ConsolePrint(u"ERROR!: " + Str(itf.errorKey));
                        }
                    }
                } else {
                    ConsolePrint(u"ERROR!: " + Str("StrRes_InstallStatusLabel_ErrorAdd"));
                }
            }
        }

        UI_DeleteDriverUnpackFolder(std::u16string(FieldText(p->CabDestinationPath)));

        if (result == 1) {
            std::u16string dateVersion;
            if (UI_GetInstalledDriverAndPrinterInfo(p, param_pUpdatedDriverInfo, dateVersion))
                ConsolePrint(u"\n" + Str("StrRes_InstallStatusLabel_Version") +
                             std::u16string(FieldText(param_pUpdatedDriverInfo->DriverName)) + u"[" + dateVersion +
                             u"]");
            if (restart) SetExitCode(ExitRestartRequired);
        } else {
            ConsolePrint(u"\n ERROR!: " + std::u16string(FieldText(p->DriverName)) + Str("StrRes_InstallStatusLabel_Fail"));
            SetExitCode(ExitInstallFailure);
        }
        return result;
    } catch (const Error& e) {
        ConsolePrint(u"\n ERROR: " + e.Message());
    } catch (const std::exception& e) {
        ConsolePrint(u"\n ERROR: " + txt::from_utf8(e.what()));
    }
    SetExitCode(ExitInstallFailure);
    return 0;
}

std::int32_t Form1::SilentDriver_BGWUnInstallDriver(DriverInstallInfoStruct* /*param_pDriverPackageInstallInfo*/,
                                                    InstalledDriverInfo* param_pInstalledDriverInfo,
                                                    int param_DriverListIndex)
{
    try {
        ConsolePrint(u"\n+" + Str("StrRes_InstallStatusLabel_Delete"));
        if (param_pInstalledDriverInfo->IsInstalled != 0)
            ConsolePrint(u"\n   " + Str("StrRes_UninstallStatusLabel_DetectedDriver") +
                         std::u16string(FieldText(param_pInstalledDriverInfo->DriverName)) + u"[" +
                         std::u16string(FieldText(param_pInstalledDriverInfo->DriverVersion)) + u"]");
        UninstallDeviceInstance(g_DeviceInstanceID);
        RunWorkerAndWait(UnInstallBGWorker, g_BGWUninstallStatus, param_DriverListIndex, 1000,
                         [this] { ConsoleWrite(u"."); });
        return 1;
    } catch (const Error& e) {
        ConsolePrint(u"\n ERROR: " + e.Message());
    } catch (const std::exception& e) {
        ConsolePrint(u"\n ERROR: " + txt::from_utf8(e.what()));
    }
    return 0;
}

std::int32_t Form1::SilentDriver_CreateTCPPort()
{
    try {
        if (SilentDriver_PrinterPortNameStr.empty() || SilentDriver_EthIPAddressStr.empty()) {
            ConsolePrint(Str("StrRes_InvalidIPHost"));
            return 0;
        }
        char16_t address[kPortArgumentField];
        char16_t portName[kPortArgumentField];
        CopyToField(address, SilentDriver_EthIPAddressStr);
        CopyToField(portName, SilentDriver_PrinterPortNameStr);
        std::uint32_t error = 0;
        if (Lib_AddNetworkPort(address, portName, &error)) {
            ConsolePrint(Str("StrRes_TCPPortAdded"));
            return 1;
        }
        // The port layer reports a port it could not configure but that exists with code 0.
        if (error == 0) return 1;
        ConsolePrint(Str("StrRes_TCPFailed") + txt::from_utf8(std::to_string(error)));
        return 0;
    } catch (const Error& e) {
        ConsolePrint(u"\n************ ERROR: **********\n" + e.Message());
    } catch (const std::exception& e) {
        ConsolePrint(u"\n************ ERROR: **********\n" + txt::from_utf8(e.what()));
    }
    return 0;
}

}  // namespace txr
