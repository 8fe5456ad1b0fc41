// The face an installation, removal or update shows its steps through. The steps are written once
// (workflows/InstallSequence.cpp, UninstallSequence.cpp, UpdateDriver.cpp); the wizard's face
// appends them to the install page's progress text, the console's face prints them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/DriverRecords.h"
#include "spooler/SpoolerLayer.h"

namespace txr {

class SequenceFace {
public:
    virtual ~SequenceFace() = default;

    // ---- installation ---------------------------------------------------------------------------
    // The heading of one driver's installation.
    virtual void Heading(std::u16string_view driverName) = 0;
    // A step begins: its catalog text on a line of its own.
    virtual void Step(std::string_view key) = 0;
    // The step that began last went well.
    virtual void StepDone() = 0;
    // The step that began last failed: the catalog text of its error line.
    virtual void StepFailed(std::string_view key) = 0;
    // One of the two interface drivers (0 WinUSB, 1 REST) was already in place.
    virtual void InterfaceAlreadyInstalled(int which) = 0;
    // The face's certificate step on the package record, with its own lines; nonzero when the
    // catalog's signers are trusted.
    virtual std::int32_t Certificates(const DriverInstallInfoStruct* package) = 0;
    // The driver package could not be installed (or staged).
    virtual void InstallFailed(bool certificateOk) = 0;
    // The driver was installed; `versionKnown` tells whether the after-run record could be read.
    virtual void Installed(const DriverInstallInfoStruct* package, const InstalledDriverInfo* after,
                           bool versionKnown, const std::u16string& dateVersion) = 0;
    // The installation failed.
    virtual void NotInstalled(const DriverInstallInfoStruct* package) = 0;
    // Windows asked for a restart after an interface driver.
    virtual void RestartRequested() {}
    // The sequence's last moment (the wizard gives the user time to read the page).
    virtual void Ending() {}

    // ---- removal ----------------------------------------------------------------------------------
    // The removal's heading and the driver found before it.
    virtual void RemovalHeading(const InstalledDriverInfo* installed) = 0;
    // The removal's end: whether the driver was removed.
    virtual void RemovalEnded(bool removed) = 0;

    // ---- progress and failures ------------------------------------------------------------------------
    // One dot while a worker runs.
    virtual void Dot() = 0;
    // A printer of the old driver that is not on the machine any more after the update.
    virtual void PrinterLost(const PrinterSettings& printer) = 0;
    // The message of a failure that stopped a sequence.
    virtual void Exception(const std::u16string& message) = 0;
};

}  // namespace txr
