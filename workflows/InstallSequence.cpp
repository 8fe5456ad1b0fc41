// The installation of one driver of the pair, written once for both faces: unpack, certificates,
// the new package staged in the driver store, removal of the old driver (keeping its store package),
// the driver installed from the staged package on the install worker (or the old driver put back
// when that fails), the two USB interface drivers, clean-up. The wizard's face below makes every
// step a line of the install page's progress text.
#include "core/Form1.h"
#include "platform/utf.h"
#include "platform/win32api.h"
#include "spooler/SpoolerLayer.h"
#include "workflows/SequenceFace.h"
#include "workflows/WizardFace.h"

namespace txr {

namespace {
// The interface install reports "already in place" with this code and no message box.
constexpr std::uint32_t kErrorNoMoreItems = 259;
constexpr std::uint32_t kInstallPollMs = 2000;
}  // namespace

std::int32_t Form1::RunInstallSequence(SequenceFace& face, DriverInstallInfoStruct* package,
                                       InstalledDriverInfo* before, InstalledDriverInfo* after, int slot)
{
    return ReportFailure(
        [&]() -> std::int32_t {
            DriverInstallInfoStruct* p = package;
            UpdateRun& run = updateRun_[slot];
            run = UpdateRun{};
            std::int32_t result = 0;

            face.Heading(FieldText(p->DriverName));
            face.Step("StrRes_InstallStatusLabel_Unpack");
            if (!UI_UnpackDriverPackage()) {
                face.StepFailed("StrRes_InstallStatusLabel_ErrorUnpack");
            } else {
                face.StepDone();
                face.Step("StrRes_UI_CheckingCertificate");
                const bool certificateOk = face.Certificates(p) != 0;

                // The new package goes into the driver store before anything is removed: a package
                // the store refuses (upload failed, catalog not trusted) leaves the machine as it was.
                WorkerJob stage{WorkerJobKind::Stage};
                stage.stagedStoreInf = &run.stagedStoreInf;
                run.staged = RunJob(InstallerBGWorker, installJob_, stage, g_BGWInstallStatus, slot, kInstallPollMs,
                                    nullptr) != 0;
                if (!run.staged) {
                    face.Step("StrRes_InstallStatusLabel_InstDriver");
                    face.InstallFailed(certificateOk);
                } else {
                    // Every setting of the old driver's printers, read before the removal deletes them.
                    if (before->IsInstalled != 0) {
                        std::uint32_t error = 0;
                        Lib_GetPrinterSettingsList(before->DriverName, &run.carried, &error);
                    }
                    run.removal.stagedStoreInf = run.stagedStoreInf;
                    run.removal.keepPackage = true;
                    run.removalRan = true;
                    face.Step("StrRes_InstallStatusLabel_Delete");
                    if (!RunRemovalOnWorker(face, before, slot, &run.removal)) {
                        face.StepFailed("StrRes_InstallStatusLabel_ErrorUninstall");
                    } else {
                        face.Step("StrRes_InstallStatusLabel_InstDriver");
                        WorkerJob install{WorkerJobKind::InstallFromStore};
                        install.storeInf = run.stagedStoreInf;
                        install.driverName = p->DriverName;
                        run.installed = RunJob(InstallerBGWorker, installJob_, install, g_BGWInstallStatus, slot,
                                               kInstallPollMs, &face) != 0;
                        if (run.installed) {
                            face.StepDone();
                            result = 1;
                            // The old driver's package has served its purpose now (unless it is the
                            // very package just installed).
                            const std::u16string_view retained = FieldText(run.removal.retainedStoreInf);
                            if (!retained.empty() && !txt::iequals(retained, FieldText(run.stagedStoreInf))) {
                                WorkerJob drop{WorkerJobKind::DeletePackage};
                                drop.storeInf = run.removal.retainedStoreInf;
                                RunJob(UnInstallBGWorker, removalJob_, drop, g_BGWUninstallStatus, slot, 1000,
                                       nullptr);
                            }
                            InstallInterfaceDrivers(face, p);
                        } else {
                            face.InstallFailed(certificateOk);
                            if (run.removal.driverRemoved && run.removal.retainedStoreInf[0] != 0) {
                                // Put the old driver back from its kept package; the update then
                                // adds its printers back on it.
                                face.Step("StrRes_InstallStatusLabel_RestoreDriver");
                                WorkerJob restore{WorkerJobKind::InstallFromStore};
                                restore.storeInf = run.removal.retainedStoreInf;
                                restore.driverName = run.removal.removedDriverName;
                                run.oldDriverRestored = RunJob(InstallerBGWorker, installJob_, restore,
                                                               g_BGWInstallStatus, slot, kInstallPollMs, &face) != 0;
                                if (run.oldDriverRestored)
                                    face.StepDone();
                                else
                                    face.StepFailed("StrRes_InstallStatusLabel_ErrorRestore");
                            }
                        }
                    }
                }
            }

            UI_DeleteDriverUnpackFolder(std::u16string(FieldText(p->CabDestinationPath)));

            if (result == 1) {
                std::u16string dateVersion;
                const bool known = UI_GetInstalledDriverAndPrinterInfo(p, after, dateVersion) != 0;
                face.Installed(p, after, known, dateVersion);
            } else {
                face.NotInstalled(p);
            }
            face.Ending();
            return result;
        },
        [&](const std::u16string& message) { face.Exception(message); });
}

void Form1::InstallInterfaceDrivers(SequenceFace& face, const DriverInstallInfoStruct* p)
{
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
    for (int k = 0; k < 2; ++k) {
        const Interface& itf = interfaces[k];
        face.Step(itf.stepKey);
        std::uint32_t error = 0;
        bool restart = false;
        if (Lib_USBDeviceInterfaceDriverInstall(itf.infPath, redirection, &error, true, &restart)) {
            face.StepDone();
            if (restart) face.RestartRequested();
        } else if (error == kErrorNoMoreItems) {
            face.InterfaceAlreadyInstalled(k);
        } else {
            face.StepFailed(itf.errorKey);
        }
    }
}

std::int32_t Form1::UI_BGWInstallDriver(DriverInstallInfoStruct* param_pDriverPackageInstallInfo,
                                        InstalledDriverInfo* param_pInstalledDriverInfo,
                                        InstalledDriverInfo* param_pUpdatedDriverInfo, bool /*param_AddPrinter*/,
                                        const std::u16string& /*param_PortNameStrPtr*/, int param_DriverListIndex)
{
    WizardFace face(*this);
    return RunInstallSequence(face, param_pDriverPackageInstallInfo, param_pInstalledDriverInfo,
                              param_pUpdatedDriverInfo, param_DriverListIndex);
}

}  // namespace txr
