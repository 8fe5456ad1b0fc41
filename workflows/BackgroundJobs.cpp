// The two background workers of the install page and the wait loop that drives them: a driver
// package installation and a driver removal each run on a worker's thread while the window's
// thread shows progress dots, pumps and sleeps.
#include "core/Form1.h"
#include "platform/win32api.h"
#include "spooler/SpoolerLayer.h"
#include "workflows/SequenceFace.h"

namespace txr {

int Form1::UI_InstallerBGWorker_WorkHandler(int param_DriverListIndex)
{
    const WorkerJob job = installJob_;
    switch (job.kind) {
    case WorkerJobKind::Stage: {
        if (!job.stagedStoreInf) return 0;
        return Lib_StagePrinterDriverPackage(g_DriverPackageInfDataArray[param_DriverListIndex].InfFilePath,
                                             *job.stagedStoreInf, nullptr);
    }
    case WorkerJobKind::InstallFromStore:
        return Lib_InstallPrinterDriverFromStore(job.storeInf, job.driverName, nullptr);
    default: {
        // The worker installs the driver only; printers are added afterwards by the update workflow.
        const DriverInstallInfoStruct& p = g_DriverPackageInfDataArray[param_DriverListIndex];
        return Lib_PrinterDriverInstall(p.DriverName, p.InfFilePath, p.DriverName, u"", false);
    }
    }
}

void Form1::UI_InstallerBGWorker_CompletedHandler(const ui::WorkerCompletion& param_Completion)
{
    // A work that threw ends without a result; its error is raised here, on the waiting thread,
    // where the sequence that waits reports it.
    if (param_Completion.Error) std::rethrow_exception(param_Completion.Error);
    g_BGWInstallStatus = param_Completion.Result;
}

int Form1::UI_UnInstallBGWorker_WorkHandler(int param_DriverListIndex)
{
    const WorkerJob job = removalJob_;
    if (job.kind == WorkerJobKind::DeletePackage) return Lib_DeletePrinterDriverPackage(job.storeInf, nullptr);
    const DriverInstallInfoStruct& p = g_DriverPackageInfDataArray[param_DriverListIndex];
    return Lib_PrinterDriverUninstall(p.HardwareId, p.InfFileName, p.ModelName, job.removal);
}

void Form1::UI_UnInstallBGWorker_CompletedHandler(const ui::WorkerCompletion& param_Completion)
{
    if (param_Completion.Error) std::rethrow_exception(param_Completion.Error);
    g_BGWUninstallStatus = param_Completion.Result;
}

void Form1::ConnectBackgroundWorkers()
{
    if (!InstallerBGWorker.DoWork) {
        InstallerBGWorker.DoWork = [this](int i) { return UI_InstallerBGWorker_WorkHandler(i); };
        InstallerBGWorker.RunWorkerCompleted = [this](const ui::WorkerCompletion& c) {
            UI_InstallerBGWorker_CompletedHandler(c);
        };
    }
    if (!UnInstallBGWorker.DoWork) {
        UnInstallBGWorker.DoWork = [this](int i) { return UI_UnInstallBGWorker_WorkHandler(i); };
        UnInstallBGWorker.RunWorkerCompleted = [this](const ui::WorkerCompletion& c) {
            UI_UnInstallBGWorker_CompletedHandler(c);
        };
    }
}

std::int32_t Form1::RunWorkerAndWait(ui::BackgroundWorker& worker, std::int32_t& resultGlobal, int driverListIndex,
                                     std::uint32_t periodMs, const std::function<void()>& showDot)
{
    ConnectBackgroundWorkers();
    resultGlobal = 0;
    // A worker that is still busy is neither started nor waited for: the global reads 0.
    if (!worker.IsBusy()) {
        // The first look's dot is shown as the work starts, before its thread can print anything
        // (a message box that goes to the console on an invisible station), so that the two never
        // race for the console. The worker reads busy until its completion is delivered here.
        showDot();
        worker.RunWorkerAsync(driverListIndex);
        for (bool first = true; worker.IsBusy(); first = false) {
            if (!first) showDot();
            PumpEvents();
            win::Sleep(periodMs);
        }
    }
    return resultGlobal;
}

std::int32_t Form1::RunJob(ui::BackgroundWorker& worker, WorkerJob& slotJob, const WorkerJob& job,
                           std::int32_t& resultGlobal, int slot, std::uint32_t periodMs, SequenceFace* dots)
{
    const WorkerJob usual = slotJob;
    slotJob = job;
    struct Restore {
        WorkerJob& slot;
        WorkerJob usual;
        ~Restore() { slot = usual; }
    } restore{slotJob, usual};
    return RunWorkerAndWait(worker, resultGlobal, slot, periodMs, [dots] {
        if (dots) dots->Dot();
    });
}

void Form1::AppendInstallStatus(std::u16string_view text)
{
    InstallStatusLabel.Text += text;
    PumpEvents();
}

}  // namespace txr
