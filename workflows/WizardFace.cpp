#include "workflows/WizardFace.h"

#include "core/WideText.h"
#include "platform/win32api.h"

namespace txr {

namespace {
constexpr std::u16string_view NL = u"\r\n";
constexpr std::uint32_t kReadingPauseMs = 2000;

std::u16string Line(std::u16string_view text)
{
    std::u16string line(NL);
    line.append(text);
    return line;
}
}  // namespace

void WizardFace::Heading(std::u16string_view driverName)
{
    form_.InstallStatusLabel.Text = Joined({u"++++ ", driverName, u" ++++", NL});
    form_.PumpEvents();
    Append(form_.Str("StrRes_InstallStatusLabel_Start"));
}

void WizardFace::Step(std::string_view key) { Append(Joined({NL, u"+", form_.Str(key)})); }

void WizardFace::StepDone() { Append(form_.Str("StrRes_DoneText")); }

void WizardFace::StepFailed(std::string_view key) { Append(Line(form_.Str(key))); }

void WizardFace::InterfaceAlreadyInstalled(int) { Append(form_.Str("StrRes_InstallStatusLabel_AlreadyInstalled")); }

std::int32_t WizardFace::Certificates(const DriverInstallInfoStruct* package)
{
    const std::int32_t ok = form_.UI_InstallCertificate(package);
    Append(ok ? form_.Str("StrRes_UI_CertificateInstalled") : form_.Str("StrRes_UI_CertificateInstallFailed"));
    return ok;
}

void WizardFace::InstallFailed(bool certificateOk)
{
    Append(Line(certificateOk ? form_.Str("StrRes_InstallStatusLabel_ErrorAdd")
                              : form_.Str("StrRes_InstallStatusLabel_WinCertFailure")));
}

void WizardFace::Installed(const DriverInstallInfoStruct* package, const InstalledDriverInfo* after, bool versionKnown,
                           const std::u16string& dateVersion)
{
    Append(Joined({NL, FieldText(package->DriverName), form_.Str("StrRes_InstallStatusLabel_Success")}));
    if (versionKnown)
        Append(Joined({NL, form_.Str("StrRes_InstallStatusLabel_Version"), FieldText(after->DriverName), u"[",
                       dateVersion, u"]"}));
}

void WizardFace::NotInstalled(const DriverInstallInfoStruct* package)
{
    Append(Joined({NL, FieldText(package->DriverName), form_.Str("StrRes_InstallStatusLabel_Fail")}));
}

void WizardFace::Ending() { Pause(); }

void WizardFace::RemovalHeading(const InstalledDriverInfo* installed)
{
    Append(Joined({NL, u" + ", form_.Str("StrRes_UninstallStatusLabel_Start")}));
    if (installed->IsInstalled != 0)
        Append(Joined({NL, u"   ", form_.Str("StrRes_UninstallStatusLabel_DetectedDriver"),
                       FieldText(installed->DriverName), u"[", FieldText(installed->DriverVersion), u"]"}));
    else
        Append(form_.Str("StrRes_UninstallStatusLabel_NotFound"));
}

void WizardFace::RemovalEnded(bool removed)
{
    if (removed) Append(Joined({NL, u"   ", form_.Str("StrRes_UninstallStatusLabel_Ok")}));
    Pause();
}

void WizardFace::Dot() { Append(u"."); }

void WizardFace::PrinterLost(const PrinterSettings& printer)
{
    Append(Joined({NL, form_.Str("StrRes_InstallStatusLabel_PrinterLost"), FieldText(printer.PrinterName), u" (",
                   FieldText(printer.PortName), u")"}));
}

void WizardFace::Exception(const std::u16string& message) { form_.ShowCaptionedError(message); }

void WizardFace::Pause()
{
    form_.PumpEvents();
    win::Sleep(kReadingPauseMs);
    form_.PumpEvents();
}

}  // namespace txr
