// The spooler and device layer: every call into the print spooler, the Standard TCP/IP port
// monitor, the device installer and the service control manager. Free functions over the seam;
// they return 0 on failure and 1 (or a count) on success and hand back a Windows error code through
// an out-parameter where they have one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/DriverRecords.h"
#include "platform/win/services.h"

namespace txr {

// Entries of the port list: at most 50 ports of at most 254 characters each.
constexpr std::size_t kPortListCapacity = 50;
constexpr std::size_t kPortNameField = 255;
using PortListEntry = char16_t[kPortNameField];

// ---- error box ----------------------------------------------------------------------------------
// The system's message text for an error code (empty when there is none).
std::u16string ErrorCodeToText(std::uint32_t errorCode);
// MessageBoxW without owner, OK, error icon, caption "Printer Driver Installer- " + label, text the
// system's message for the code (cut to 511 characters).
void ShowErrorBox(const char16_t* captionLabel, std::uint32_t errorCode);
// The same box with a text of its own (an exception's message).
void ShowErrorBoxText(const char16_t* captionLabel, std::u16string_view text);

// ---- installed driver query -----------------------------------------------------------------------
std::int32_t Lib_GetCurrentDriverInfo(const char16_t* hardwareId, const char16_t* driverName,
                                      InstalledDriverInfo* record, std::uint32_t* errorCode);

// ---- driver package install and removal -------------------------------------------------------------
std::int32_t Lib_PrinterDriverInstall(const char16_t* driverName, const char16_t* infPath,
                                      const char16_t* printerName, const char16_t* portName, bool addPrinter);
// What a removal inside an update keeps and reports. Without it (nullptr) the removal takes the
// driver's store package and every leftover copy with it, as the advanced page's delete does.
struct DriverRemoval {
    // The package just staged for the new driver: the forced delete's search for leftover copies
    // passes over its folder, and the removed driver's package is not deleted when it is this one.
    const char16_t* stagedStoreInf = nullptr;
    // Leave the removed driver's store package in place, so that the driver can be put back from it
    // when the new one cannot be installed.
    bool keepPackage = false;
    // Filled by the removal: the driver it removed and the store package that driver came from.
    bool driverRemoved = false;
    char16_t removedDriverName[255] = {};
    char16_t retainedStoreInf[260] = {};
};
std::int32_t Lib_PrinterDriverUninstall(const char16_t* hardwareId, const char16_t* infFileName,
                                        const char16_t* driverName, DriverRemoval* removal = nullptr);

// The two halves of an installation, for an update that must not remove anything before the new
// package is safely in the driver store. Both show the "Driver install" error box on failure.
// Copies the package into the driver store; stagedStoreInf receives the store copy's INF path.
std::int32_t Lib_StagePrinterDriverPackage(const char16_t* infPath, char16_t (&stagedStoreInf)[260],
                                           std::uint32_t* errorCode);
// Installs a printer driver from a package that is already in the driver store.
std::int32_t Lib_InstallPrinterDriverFromStore(const char16_t* storeInf, const char16_t* driverName,
                                               std::uint32_t* errorCode);
// Removes one package from the driver store (after a spooler restart); the "Driver uninstall" box on
// failure.
std::int32_t Lib_DeletePrinterDriverPackage(const char16_t* storeInf, std::uint32_t* errorCode);

// The steps of the two; each returns nonzero on success and writes the operation's error code.
// The driver store's folder; the forced delete searches it for copies of a package.
inline constexpr char16_t kDriverStoreFolder[] = u"C:\\Windows\\System32\\DriverStore\\FileRepository";
// At most this many driver-store copies of one package are removed in one forced delete.
constexpr int kForcedDeleteMaxCopies = 32;
// The platform's generic class driver that may have made printers for the device.
inline constexpr char16_t kGenericClassHardwareId[] = u"1284_cid_hpijvipav3";
inline constexpr char16_t kGenericClassDriverName[] = u"HP PCL3 A-size Printer Class Driver";
std::int32_t InstallDriverPackage(const char16_t* infPath, const char16_t* driverName, std::uint32_t* errorCode);
std::int32_t AddPrinterWithDriver(const char16_t* driverName, const char16_t* printerName, const char16_t* portName,
                                  std::uint32_t* errorCode);
std::int32_t GetDriverInfoFromHardwareId(const char16_t* hardwareId, const char16_t* driverName,
                                         char16_t (&foundName)[255], char16_t (&infPath)[260],
                                         std::uint32_t* errorCode);
std::int32_t DeletePrinterByName(const char16_t* printerName, std::uint32_t* errorCode);
std::int32_t DeleteDependentPrinters(const char16_t* driverName, std::uint32_t* errorCode);
std::int32_t DeleteDriver(const char16_t* driverName, std::uint32_t* errorCode);
// restartFailed (optional) is set when the spooler restart before the removal failed; the removal
// is tried all the same and its result is the step's.
std::int32_t DeleteDriverPackage(const char16_t* infPath, std::uint32_t* errorCode, bool* restartFailed = nullptr);
// Ends at the first copy whose spooler restart failed. skipStoreInf (optional) names a store copy's
// INF path whose folder the search passes over (compared without regard to case).
std::int32_t ForceDeleteDriverPackage(const char16_t* infFileName, std::uint32_t* errorCode,
                                      const char16_t* skipStoreInf = nullptr);
std::int32_t DeleteGenericClassPrinters(const char16_t* driverName, std::uint32_t* errorCode);
std::int32_t DeleteMatchingGenericPrinters(const char16_t* classDriverName, const char16_t* driverName,
                                           std::uint32_t* errorCode);

// ---- USB interface drivers and devices --------------------------------------------------------------
// restartRequired (optional) is set to true when the platform asked for a restart after the install.
std::int32_t Lib_USBDeviceInterfaceDriverInstall(const char16_t* infPath, std::uint32_t disableRedirection,
                                                 std::uint32_t* errorCode, bool force,
                                                 bool* restartRequired = nullptr);
// The code whose message the interface install shows for a failure code of the device installer.
std::uint32_t InterfaceInstallMessageCode(std::uint32_t code);
std::int32_t UninstallDeviceInstance(const char16_t* instanceIdPart);

// ---- spooler service ------------------------------------------------------------------------------
enum class ServiceAction : std::int32_t { Stop = 1, Start = 2, Restart = 3 };
// How long one phase of a service control waits for the state it asks for, and the pause between
// status queries. A phase that runs out fails with ERROR_SERVICE_REQUEST_TIMEOUT.
constexpr std::uint32_t kServicePollPauseMs = 250;
constexpr std::uint32_t kServicePhaseLimitMs = 60000;
std::int32_t ControlWindowsService(const char16_t* serviceName, ServiceAction action, std::uint32_t* errorCode);

// The active services that depend on the spooler, as the service control manager lists them.
class DependentServiceList {
public:
    win::ENUM_SERVICE_STATUSW* Entries() const { return reinterpret_cast<win::ENUM_SERVICE_STATUSW*>(storage_.get()); }
    std::uint32_t Count() const { return count_; }
    void Adopt(std::unique_ptr<std::uint64_t[]> storage, std::uint32_t count)
    {
        storage_ = std::move(storage);
        count_ = storage_ ? count : 0;
    }
    void Reset() { Adopt(nullptr, 0); }

private:
    std::unique_ptr<std::uint64_t[]> storage_;  // 8-aligned for the records and their strings
    std::uint32_t count_ = 0;
};
std::int32_t GetDependentServices(DependentServiceList* list, std::uint32_t* errorCode);
std::int32_t RestartSpooler(std::uint32_t* errorCode);

// ---- ports ----------------------------------------------------------------------------------------
std::int32_t Lib_GetPrinterPortList(std::uint32_t* count, PortListEntry* list, std::uint32_t* errorCode);
std::int32_t Lib_AddNetworkPort(const char16_t* ipAddress, const char16_t* portName, std::uint32_t* errorCode);
std::int32_t Lib_ConfigPortSNMPStatus(const char16_t* portName, std::int32_t mode, std::int32_t enable);

// ---- printers ---------------------------------------------------------------------------------------
std::int32_t Lib_AddPrinter(const char16_t* driverName, const char16_t* printerName, const char16_t* portName,
                            std::uint32_t* errorCode);
std::int32_t Lib_DeleteSelectedPrinter(const char16_t* printerName, std::uint32_t* errorCode);
std::int32_t Lib_GetNumDependentPrinters(const char16_t* driverName, std::uint32_t* errorCode);
std::int32_t Lib_GetInstalledPrinterInfoList(const char16_t* driverName, std::int32_t capacity,
                                             PrinterInfoData* list, std::uint32_t* errorCode);
std::int32_t Lib_SetPrinterDeviceConfig(const PrinterInfoData* current, const PrinterInfoData* desired,
                                        std::uint32_t* errorCode);

// Everything of a local printer that does not belong to its driver: the texts and numbers of its
// level-2 record apart from the driver name and the device mode, and its security descriptor. A
// printer carried over to a new driver is added back with all of it.
constexpr std::size_t kSettingTextField = 1024;  // comment, location and parameters
struct PrinterSettings {
    char16_t PrinterName[kTextField];
    char16_t ShareName[kTextField];
    char16_t PortName[kTextField];
    char16_t DriverName[kTextField];
    char16_t Comment[kSettingTextField];
    char16_t Location[kSettingTextField];
    char16_t SepFile[kTextField];
    char16_t PrintProcessor[kTextField];
    char16_t Datatype[kTextField];
    char16_t Parameters[kSettingTextField];
    std::uint32_t Attributes;
    std::uint32_t Priority;
    std::uint32_t DefaultPriority;
    std::uint32_t StartTime;
    std::uint32_t UntilTime;
    // The printer's state when it was read (not a setting: never given back to the spooler).
    std::uint32_t Status;
    // Self-relative; empty when the spooler reported none. Variable in size, so not a fixed field.
    std::vector<std::uint8_t> SecurityDescriptor;
};
// The settings of every local printer that uses the driver, in the spooler's order. Returns the
// count (0 with the error code set when the printers cannot be listed).
std::int32_t Lib_GetPrinterSettingsList(const char16_t* driverName, std::vector<PrinterSettings>* list,
                                        std::uint32_t* errorCode);
// Adds the printer described by settings on driverName (its own DriverName is not used), with the
// SNMP switch of Lib_AddPrinter first. 1 when added, else 0 with the error code.
std::int32_t Lib_AddPrinterWithSettings(const PrinterSettings& settings, const char16_t* driverName,
                                        std::uint32_t* errorCode);

// What a port of a given name is, looked up before a network port is created.
struct PortLookup {
    bool exists = false;          // the spooler lists a port of that name (any monitor)
    bool isStandardTcpIp = false; // it belongs to the Standard TCP/IP port monitor
    char16_t address[kTextField] = {};  // its host address or IP address, when it is one
};
// 1 when the port list could be read (whether or not the port exists), else 0 with the error code.
std::int32_t Lib_LookUpPort(const char16_t* portName, PortLookup* lookup, std::uint32_t* errorCode);

}  // namespace txr
