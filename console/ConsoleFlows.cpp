// The console face of the installation workflows: the same steps on the same tables and workers as
// the wizard's (workflows/), printed instead of labelling the install page; and the network port of
// a "-nw" job.
#include "core/Form1.h"
#include "core/WideText.h"
#include "platform/utf.h"
#include "platform/win32api.h"
#include "spooler/SpoolerLayer.h"
#include "workflows/SequenceFace.h"

namespace txr {

namespace {

constexpr std::size_t kPortArgumentField = 256;

class ConsoleFace : public SequenceFace {
public:
    explicit ConsoleFace(Form1& form) : form_(form) {}

    void Heading(std::u16string_view driverName) override
    {
        form_.ConsolePrint(Joined({u"++++ ", driverName, u" ++++"}));
    }
    void Step(std::string_view key) override { form_.ConsolePrint(Joined({u"\n+", form_.Str(key)})); }
    void StepDone() override {}
    void StepFailed(std::string_view key) override { form_.ConsolePrint(Joined({u"ERROR!: ", form_.Str(key)})); }
    void InterfaceAlreadyInstalled(int which) override
    {
        form_.ConsolePrint(
            Joined({which == 0 ? u"...... " : u".... ", form_.Str("StrRes_InstallStatusLabel_AlreadyInstalled")}));
    }
    std::int32_t Certificates(const DriverInstallInfoStruct* package) override
    {
        const std::int32_t ok = form_.SilentDriver_PublishCertificate(package);
        if (!ok) form_.ConsolePrint(Joined({u"ERROR!: ", form_.Str("StrRes_UI_CertificateInstallFailed")}));
        return ok;
    }
    // The console has no certificate variant of the failure line.
    void InstallFailed(bool) override
    {
        form_.ConsolePrint(Joined({u"ERROR!: ", form_.Str("StrRes_InstallStatusLabel_ErrorAdd")}));
    }
    void Installed(const DriverInstallInfoStruct*, const InstalledDriverInfo* after, bool versionKnown,
                   const std::u16string& dateVersion) override
    {
        if (versionKnown)
            form_.ConsolePrint(Joined({u"\n", form_.Str("StrRes_InstallStatusLabel_Version"), FieldText(after->DriverName),
                                       u"[", dateVersion, u"]"}));
        if (restart_) form_.SetExitCode(ExitRestartRequired);
    }
    void NotInstalled(const DriverInstallInfoStruct* package) override
    {
        form_.ConsolePrint(
            Joined({u"\n ERROR!: ", FieldText(package->DriverName), form_.Str("StrRes_InstallStatusLabel_Fail")}));
        form_.SetExitCode(ExitInstallFailure);
    }
    void RestartRequested() override { restart_ = true; }
    void RemovalHeading(const InstalledDriverInfo* installed) override
    {
        if (installed->IsInstalled != 0)
            form_.ConsolePrint(Joined({u"\n   ", form_.Str("StrRes_UninstallStatusLabel_DetectedDriver"),
                                       FieldText(installed->DriverName), u"[", FieldText(installed->DriverVersion),
                                       u"]"}));
    }
    // No result line: the console shows a failed removal by the error boxes of the spooler layer.
    void RemovalEnded(bool) override {}
    void Dot() override { form_.ConsoleWrite(u"."); }
    void PrinterLost(const PrinterSettings& printer) override
    {
        form_.ConsolePrint(Joined({u"ERROR!: ", form_.Str("StrRes_InstallStatusLabel_PrinterLost"),
                                   FieldText(printer.PrinterName), u" (", FieldText(printer.PortName), u")"}));
        form_.SetExitCode(ExitInstallFailure);
    }
    void Exception(const std::u16string& message) override
    {
        form_.ConsolePrint(Joined({u"\n ERROR: ", message}));
        form_.SetExitCode(ExitInstallFailure);
    }

private:
    Form1& form_;
    bool restart_ = false;
};

}  // namespace

std::int32_t Form1::SilentDriver_UpdateDriver(std::int32_t param_UpdateRequired, int param_DriverListIndex)
{
    ConsoleFace face(*this);
    return UpdateDriverWith(param_UpdateRequired, param_DriverListIndex, face);
}

std::int32_t Form1::SilentDriver_BGWInstallDriver(DriverInstallInfoStruct* param_pDriverPackageInstallInfo,
                                                  InstalledDriverInfo* param_pInstalledDriverInfo,
                                                  InstalledDriverInfo* param_pUpdatedDriverInfo,
                                                  bool /*param_AddPrinter*/,
                                                  const std::u16string& /*param_PortNameStrPtr*/,
                                                  int param_DriverListIndex)
{
    ConsoleFace face(*this);
    return RunInstallSequence(face, param_pDriverPackageInstallInfo, param_pInstalledDriverInfo,
                              param_pUpdatedDriverInfo, param_DriverListIndex);
}

std::int32_t Form1::SilentDriver_BGWUnInstallDriver(DriverInstallInfoStruct* /*param_pDriverPackageInstallInfo*/,
                                                    InstalledDriverInfo* param_pInstalledDriverInfo,
                                                    int param_DriverListIndex)
{
    ConsoleFace face(*this);
    face.Step("StrRes_InstallStatusLabel_Delete");
    return RunRemovalOnWorker(face, param_pInstalledDriverInfo, param_DriverListIndex, nullptr);
}

std::int32_t Form1::SilentDriver_CreateTCPPort()
{
    return ReportFailure(
        [&]() -> std::int32_t {
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
            // The port layer reports a port of that name that exists already with code 0.
            if (error == 0) return 1;
            ConsolePrint(Str("StrRes_TCPFailed") + txt::from_utf8(std::to_string(error)));
            return 0;
        },
        [&](const std::u16string& message) { ConsolePrint(u"\n************ ERROR: **********\n" + message); });
}

}  // namespace txr
