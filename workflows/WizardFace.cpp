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
    form_.InstallStatusLabel.Text = u"++++ " + std::u16string(driverName) + u" ++++" + std::u16string(NL);
    form_.PumpEvents();
    Append(form_.Str("StrRes_InstallStatusLabel_Start"));
}

void WizardFace::Step(std::string_view key) { Append(Line(u"+" + form_.Str(key))); }

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
    Append(Line(std::u16string(FieldText(package->DriverName)) + form_.Str("StrRes_InstallStatusLabel_Success")));
    if (versionKnown)
        Append(Line(form_.Str("StrRes_InstallStatusLabel_Version") + std::u16string(FieldText(after->DriverName)) +
                    u"[" + dateVersion + u"]"));
}

void WizardFace::NotInstalled(const DriverInstallInfoStruct* package)
{
    Append(Line(std::u16string(FieldText(package->DriverName)) + form_.Str("StrRes_InstallStatusLabel_Fail")));
}

void WizardFace::Ending() { Pause(); }

void WizardFace::RemovalHeading(const InstalledDriverInfo* installed)
{
    Append(Line(u" + " + form_.Str("StrRes_UninstallStatusLabel_Start")));
    if (installed->IsInstalled != 0)
        Append(Line(u"   " + form_.Str("StrRes_UninstallStatusLabel_DetectedDriver") +
                    std::u16string(FieldText(installed->DriverName)) + u"[" +
                    std::u16string(FieldText(installed->DriverVersion)) + u"]"));
    else
        Append(form_.Str("StrRes_UninstallStatusLabel_NotFound"));
}

void WizardFace::RemovalEnded(bool removed)
{
    if (removed) Append(Line(u"   " + form_.Str("StrRes_UninstallStatusLabel_Ok")));
    Pause();
}

void WizardFace::Dot() { Append(u"."); }

void WizardFace::PrinterLost(const PrinterSettings& printer)
{
    Append(Line(form_.Str("StrRes_InstallStatusLabel_PrinterLost") + std::u16string(FieldText(printer.PrinterName)) +
                u" (" + std::u16string(FieldText(printer.PortName)) + u")"));
}

void WizardFace::Exception(const std::u16string& message) { form_.ShowCaptionedError(message); }

void WizardFace::Pause()
{
    form_.PumpEvents();
    win::Sleep(kReadingPauseMs);
    form_.PumpEvents();
}

}  // namespace txr
