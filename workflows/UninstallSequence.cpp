// Removal of one driver of the pair: its USB print device nodes, then the driver with its printers
// and driver-store package, either on the removal worker (inside an installation, for both faces)
// or in line (the advanced page's delete).
#include "core/Form1.h"
#include "platform/win32api.h"
#include "spooler/SpoolerLayer.h"
#include "workflows/SequenceFace.h"
#include "workflows/WizardFace.h"

namespace txr {

namespace {
constexpr std::uint32_t kRemovalPollMs = 1000;
}  // namespace

std::int32_t Form1::RunRemovalOnWorker(SequenceFace& face, InstalledDriverInfo* installed, int slot,
                                       DriverRemoval* removal)
{
    return ReportFailure(
        [&]() -> std::int32_t {
            face.RemovalHeading(installed);
            // The device nodes go first, also when no driver was found, so that plug and play binds
            // the device afresh.
            UninstallDeviceInstance(g_DeviceInstanceID);
            // The worker removes the driver named by the slot's package record.
            WorkerJob job{WorkerJobKind::Remove};
            job.removal = removal;
            RunJob(UnInstallBGWorker, removalJob_, job, g_BGWUninstallStatus, slot, kRemovalPollMs, &face);
            face.RemovalEnded(g_BGWUninstallStatus != 0);
            return 1;
        },
        [&](const std::u16string& message) { face.Exception(message); });
}

std::int32_t Form1::UI_BGWUnInstallDriver(DriverInstallInfoStruct* /*param_pDriverPackageInstallInfo*/,
                                          InstalledDriverInfo* param_pInstalledDriverInfo, int param_DriverListIndex)
{
    WizardFace face(*this);
    return RunRemovalOnWorker(face, param_pInstalledDriverInfo, param_DriverListIndex, nullptr);
}

std::int32_t Form1::UI_UnInstallDriver(DriverInstallInfoStruct* param_pDriverPackageInstallInfo,
                                       InstalledDriverInfo* param_pInstalledDriverInfo)
{
    WizardFace face(*this);
    return ReportFailure(
        [&]() -> std::int32_t {
            face.RemovalHeading(param_pInstalledDriverInfo);
            UninstallDeviceInstance(g_DeviceInstanceID);
            const DriverInstallInfoStruct* p = param_pDriverPackageInstallInfo;
            face.RemovalEnded(Lib_PrinterDriverUninstall(p->HardwareId, p->InfFileName, p->ModelName) == 1);
            return 1;
        },
        [&](const std::u16string& message) { face.Exception(message); });
}

}  // namespace txr
