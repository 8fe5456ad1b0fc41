// The wizard's face of the installation, removal and update sequences: every step is a line of the
// install page's progress text, and the window processes its messages after every change.
#pragma once

#include "core/Form1.h"
#include "workflows/SequenceFace.h"

namespace txr {

class WizardFace : public SequenceFace {
public:
    explicit WizardFace(Form1& form) : form_(form) {}

    void Heading(std::u16string_view driverName) override;
    void Step(std::string_view key) override;
    void StepDone() override;
    void StepFailed(std::string_view key) override;
    void InterfaceAlreadyInstalled(int which) override;
    std::int32_t Certificates(const DriverInstallInfoStruct* package) override;
    void InstallFailed(bool certificateOk) override;
    void Installed(const DriverInstallInfoStruct* package, const InstalledDriverInfo* after, bool versionKnown,
                   const std::u16string& dateVersion) override;
    void NotInstalled(const DriverInstallInfoStruct* package) override;
    void Ending() override;
    void RemovalHeading(const InstalledDriverInfo* installed) override;
    void RemovalEnded(bool removed) override;
    void Dot() override;
    void PrinterLost(const PrinterSettings& printer) override;
    void Exception(const std::u16string& message) override;

private:
    void Append(std::u16string_view text) { form_.AppendInstallStatus(text); }
    // The pause that lets the user read the page, with the window kept alive around it.
    void Pause();
    Form1& form_;
};

}  // namespace txr
