// The main window object. Both faces create exactly one; its methods are the engine. Each method is
// defined in the folder of the subsystem that owns it, one file per concern:
//   core/        start-up, command line, console output, catalogs
//   package/     unpacking and the INF reader
//   certificates/ signer chain report and certificate installation
//   workflows/   update decision, installation, removal, update and printer-addition sequences
//   console/     the console run and the console twins of the workflows
//   wizard/      the window's pages and workers
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/DriverRecords.h"
#include "core/Error.h"
#include "core/StringCatalog.h"
#include "core/WideText.h"
#include "platform/ui/BackgroundWorker.h"
#include "platform/ui/Controls.h"
#include "spooler/SpoolerLayer.h"

namespace txr {

// Process exit codes of the console face.
enum ExitCode : int {
    ExitSuccess = 0,
    ExitInstallFailure = 1603,     // console not created, model not in package, a step failed
    ExitInvalidCommandLine = 1639, // help or error frame shown because the command line was wrong
    ExitRestartRequired = 3010,    // done, and the platform asked for a restart
};

class SequenceFace;

class Form1 {
public:
    static constexpr const char* kAssemblyName = "BrevantoTXR4100SeriesZKWInstaller";

    Form1();
    ~Form1();
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    // ---- string catalogs -------------------------------------------------------------------
    int UI_SelectedLanguage = 0;
    StringCatalog UI_ResourceManager[2];
    // Loads both catalogs from the program's resources: German at index 0, English at index 1.
    void UI_BuildCatalogs();
    // Text of a key in the catalog in use (empty for a key it does not hold).
    std::u16string Str(std::string_view key) const;
    std::u16string StrIn(int language, std::string_view key) const;

    // ---- engine state ----------------------------------------------------------------------
    std::int32_t USBPnPDetected = 0;
    std::u16string SilentDriver_DriverNameStr;
    std::u16string SilentDriver_EthIPAddressStr;
    std::u16string SilentDriver_PrinterPortNameStr;
    std::int32_t SilentDriver_AutoCloseConsole = 0;
    std::int32_t SilentDriver_AddPrinter = 0;

    // ---- controls the engine reads and writes ------------------------------------------------
    ui::Label AppWindowCaptionLabel{"AppWindowCaptionLabel"};
    ui::CheckBox Select_InstallCertCheckBox{"Select_InstallCertCheckBox"};
    ui::TextBox Select_CertificateInfoTextBox{"Select_CertificateInfoTextBox"};
    ui::Label InstallStatusLabel{"InstallStatusLabel"};

    // ---- background workers (workflows/BackgroundJobs.cpp) ------------------------------------
    // Installs one driver package; start argument the slot index.
    ui::BackgroundWorker InstallerBGWorker{"InstallerBGWorker"};
    // Removes one driver with its printers and driver-store package; start argument the slot index.
    ui::BackgroundWorker UnInstallBGWorker{"UnInstallBGWorker"};
    int UI_InstallerBGWorker_WorkHandler(int param_DriverListIndex);
    void UI_InstallerBGWorker_CompletedHandler(const ui::WorkerCompletion& param_Completion);
    int UI_UnInstallBGWorker_WorkHandler(int param_DriverListIndex);
    void UI_UnInstallBGWorker_CompletedHandler(const ui::WorkerCompletion& param_Completion);

    // ---- console face (core/CommandLine.cpp) ---------------------------------------------------
    // Runs the console face; returns the process exit code.
    int SilentDriver_Main(const std::vector<std::u16string>& paramCommandLineArray);
    int SilentDriver_InitComponents(const std::vector<std::u16string>& paramCommandLineArray);
    void SilentDriver_HelpMenu();
    // The body of a valid console job (console/ConsoleRun.cpp).
    void SilentDriver_Run();

    // Console output (core/ConsoleOutput.cpp): print = text and a line break; write = text only.
    void ConsolePrint(std::u16string_view text);
    void ConsoleWrite(std::u16string_view text);
    void ConsoleBeep(std::uint32_t frequency, std::uint32_t durationMs);

    // The exit code the console face will return; steps raise it as outcomes become known.
    int ExitCodeValue = ExitSuccess;
    void SetExitCode(int code);

    // ---- driver package (package/) ---------------------------------------------------------------
    std::int32_t UI_UnpackDriverPackage();
    std::int32_t UI_DeleteDriverUnpackFolder(const std::u16string& param_UnpackDirectoryPathStr);
    std::int32_t UI_DriverUnpackDirExists(const std::u16string& param_UnpackDirectoryPathStr);
    std::int32_t UI_GetDriverInstallInfoFromPackage(DriverInstallInfoStruct* param_pDriverPackageInstallInfo,
                                                    std::u16string& param_DriverDateVerStr, bool param_UnpackPackage,
                                                    bool param_DeletePackage);
    // The bounded copy into a record's field (never writes past the field).
    template <std::size_t N>
    void UI_CopyManagedStringToWcharArray(std::u16string_view param_ManagedStr, char16_t (&param_WcharArray)[N]);
    // "M/D/YYYY" as the machine's regional settings write a short date; empty unless three numbers.
    std::u16string UI_GetDateInCurrentCulture(const std::u16string& param_DateStr);

    // ---- certificate trust (certificates/) --------------------------------------------------------
    std::u16string UI_GetCertificateInfo(const DriverInstallInfoStruct* param_pDriverPackageInstallInfo);
    std::int32_t UI_InstallCertificate(const DriverInstallInfoStruct* param_pDriverPackageInstallInfo);
    std::int32_t SilentDriver_PublishCertificate(const DriverInstallInfoStruct* param_pDriverPackageInstallInfo);

    // ---- installation workflows (workflows/) -----------------------------------------------------
    std::int32_t UI_CanInstallerRun(std::u16string& param_ErrorStr);
    std::int32_t UI_GetInstalledDriverAndPrinterInfo(const DriverInstallInfoStruct* param_pDriverPackageInstallInfo,
                                                     InstalledDriverInfo* param_pInstalledDriverInfo,
                                                     std::u16string& param_InstalledDriverDateVerStr);
    bool UI_DriverNeedsUpdate(const DriverInstallInfoStruct* param_pDriverPackageInstallInfo,
                              const InstalledDriverInfo* param_pInstalledDriverInfo);
    std::int32_t UI_BGWInstallDriver(DriverInstallInfoStruct* param_pDriverPackageInstallInfo,
                                     InstalledDriverInfo* param_pInstalledDriverInfo,
                                     InstalledDriverInfo* param_pUpdatedDriverInfo, bool param_AddPrinter,
                                     const std::u16string& param_PortNameStrPtr, int param_DriverListIndex);
    std::int32_t UI_BGWUnInstallDriver(DriverInstallInfoStruct* param_pDriverPackageInstallInfo,
                                       InstalledDriverInfo* param_pInstalledDriverInfo, int param_DriverListIndex);
    std::int32_t UI_UnInstallDriver(DriverInstallInfoStruct* param_pDriverPackageInstallInfo,
                                    InstalledDriverInfo* param_pInstalledDriverInfo);
    std::int32_t UI_UpdateDriver(std::int32_t param_UpdateRequired, int param_DriverListIndex);
    std::u16string UI_GetMessageTextFromErrorCode(std::uint32_t param_ErrorCode);
    void UI_ReleasePrinterInfoDataListMemory();

    // ---- console twins (console/) ----------------------------------------------------------------
    std::int32_t SilentDriver_UpdateDriver(std::int32_t param_UpdateRequired, int param_DriverListIndex);
    std::int32_t SilentDriver_BGWInstallDriver(DriverInstallInfoStruct* param_pDriverPackageInstallInfo,
                                               InstalledDriverInfo* param_pInstalledDriverInfo,
                                               InstalledDriverInfo* param_pUpdatedDriverInfo, bool param_AddPrinter,
                                               const std::u16string& param_PortNameStrPtr, int param_DriverListIndex);
    std::int32_t SilentDriver_BGWUnInstallDriver(DriverInstallInfoStruct* param_pDriverPackageInstallInfo,
                                                 InstalledDriverInfo* param_pInstalledDriverInfo,
                                                 int param_DriverListIndex);
    std::int32_t SilentDriver_CreateTCPPort();
    // "-nw": whether the port may be used (an existing one only when it is a Standard TCP/IP port to
    // the address; portInPlace then), and the printer of the driver on it, made unless it exists.
    std::int32_t SilentDriver_CheckNetworkPort(bool& portInPlace);
    // 0 when the port or the printer could not be made.
    static constexpr std::int32_t kNetworkPrinterAdded = 1;
    static constexpr std::int32_t kNetworkPrinterInPlace = 2;
    std::int32_t SilentDriver_MakeNetworkPrinter(const char16_t* driverName, bool portInPlace);

    // Shows an error message box captioned with the window caption.
    void ShowCaptionedError(std::u16string_view text);
    // Lets the window process pending events (and deliver worker completions).
    void PumpEvents();
    // Appends to the install page's progress text and lets the window repaint.
    void AppendInstallStatus(std::u16string_view text);

private:
    bool consoleOpen_ = false;

    // Connects the workers to their handlers (workflows/BackgroundJobs.cpp).
    void ConnectBackgroundWorkers();
    // The wait loop of both workers: zero the result global, start the worker unless it is busy,
    // and while it runs call showDot, pump and sleep periodMs. Returns the result global.
    std::int32_t RunWorkerAndWait(ui::BackgroundWorker& worker, std::int32_t& resultGlobal, int driverListIndex,
                                  std::uint32_t periodMs, const std::function<void()>& showDot);
    // The steps of an installation, a removal and an update, written once and shown through the
    // face of the front end that runs them (workflows/).
    std::int32_t RunInstallSequence(SequenceFace& face, DriverInstallInfoStruct* package,
                                    InstalledDriverInfo* before, InstalledDriverInfo* after, int slot);
    std::int32_t RunRemovalOnWorker(SequenceFace& face, InstalledDriverInfo* installed, int slot,
                                    DriverRemoval* removal);
    std::int32_t UpdateDriverWith(std::int32_t param_UpdateRequired, int param_DriverListIndex, SequenceFace& face);
    // The two USB interface drivers of a freshly installed driver.
    void InstallInterfaceDrivers(SequenceFace& face, const DriverInstallInfoStruct* package);

    // What one slot's update keeps between its steps: the new package staged in the driver store
    // before anything is removed, what the removal took away and kept, and the old driver's
    // printers with all their settings, so that a failed update can put everything back.
    struct UpdateRun {
        bool staged = false;
        char16_t stagedStoreInf[kTextField] = {};
        bool removalRan = false;
        DriverRemoval removal;
        bool installed = false;
        bool oldDriverRestored = false;
        std::vector<PrinterSettings> carried;
    };
    UpdateRun updateRun_[2];
    // The printers that the last update could not keep (named by the face; the console ends 1603).
    int lostPrinterCount_ = 0;
    // Whether the last update's installation sequence installed the driver.
    bool lastInstallSucceeded_ = false;

    // What the next run of a worker does. The work handlers read it on the worker's thread; the
    // waiting thread sets it before the start and touches it again only after the completion.
    enum class WorkerJobKind { PartInstall, Stage, InstallFromStore, Remove, DeletePackage };
    struct WorkerJob {
        WorkerJobKind kind = WorkerJobKind::PartInstall;
        const char16_t* storeInf = nullptr;
        const char16_t* driverName = nullptr;
        char16_t (*stagedStoreInf)[kTextField] = nullptr;  // Stage: receives the store copy's INF path
        DriverRemoval* removal = nullptr;
    };
    WorkerJob installJob_;
    WorkerJob removalJob_{WorkerJobKind::Remove};
    std::int32_t RunJob(ui::BackgroundWorker& worker, WorkerJob& slotJob, const WorkerJob& job,
                        std::int32_t& resultGlobal, int slot, std::uint32_t periodMs, SequenceFace* dots);

    // Set by the console's interface-driver steps when Windows asked for a restart.
    bool restartRequested_ = false;
    // Why the last package read found nothing: the unpack failed, with this system error.
    bool packageUnpackFailed_ = false;
    std::uint32_t packageUnpackError_ = 0;
};

template <std::size_t N>
void Form1::UI_CopyManagedStringToWcharArray(std::u16string_view param_ManagedStr, char16_t (&param_WcharArray)[N])
{
    CopyToField(param_WcharArray, param_ManagedStr);
}

}  // namespace txr
