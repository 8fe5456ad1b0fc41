// The driver records and process-wide tables: plain blocks of fixed UTF-16 arrays that the spooler
// layer and the INF reader fill in place, field by field.
#pragma once

#include <cstddef>
#include <cstdint>

namespace txr {

constexpr std::size_t kTextField = 260;

// What the unpacked package says about one driver (nineteen fields of 260 characters each).
struct DriverInstallInfoStruct {
    char16_t CabDestinationPath[kTextField];
    char16_t ModelName[kTextField];
    char16_t InfFileName[kTextField];
    char16_t InfFilePath[kTextField];
    char16_t DriverName[kTextField];
    char16_t HardwareId[kTextField];
    char16_t DriverVersion[kTextField];
    char16_t DriverDate[kTextField];
    char16_t CatalogFileName[kTextField];
    char16_t RestInfFileName[kTextField];
    char16_t RestInfFilePath[kTextField];
    char16_t RestDeviceName[kTextField];
    char16_t RestHardwareId[kTextField];
    char16_t RestDriverVersion[kTextField];
    char16_t WinUsbInfFileName[kTextField];
    char16_t WinUsbInfFilePath[kTextField];
    char16_t WinUsbDeviceName[kTextField];
    char16_t WinUsbHardwareId[kTextField];
    char16_t WinUsbDriverVersion[kTextField];
};
static_assert(sizeof(DriverInstallInfoStruct) == 19 * 260 * 2);
static_assert(offsetof(DriverInstallInfoStruct, HardwareId) == 5 * 260 * 2);
static_assert(offsetof(DriverInstallInfoStruct, WinUsbDriverVersion) == 18 * 260 * 2);

// One installed printer.
struct PrinterInfoData {
    char16_t PrinterName[kTextField];
    char16_t PortName[kTextField];
    char16_t DriverName[kTextField];
};
static_assert(sizeof(PrinterInfoData) == 3 * 260 * 2);

// What the machine has installed for one driver. The record owns PrinterList (allocated with
// malloc, released with free); a copy by value shares the list and never releases it.
struct InstalledDriverInfo {
    std::int32_t IsInstalled;
    std::int32_t PrinterCount;
    char16_t DriverName[255];
    char16_t DriverVersion[128];
    char16_t DriverDate[128];
    PrinterInfoData* PrinterList;
};
static_assert(offsetof(InstalledDriverInfo, DriverName) == 8);
static_assert(offsetof(InstalledDriverInfo, DriverVersion) == 8 + 255 * 2);
static_assert(offsetof(InstalledDriverInfo, DriverDate) == 8 + 255 * 2 + 128 * 2);
static_assert(offsetof(InstalledDriverInfo, PrinterList) ==
              (8 + (255 + 128 + 128) * 2 + alignof(PrinterInfoData*) - 1) / alignof(PrinterInfoData*) *
                  alignof(PrinterInfoData*));

enum DriverInstallState : std::int32_t {
    DriverStateNotInstalled = 0,
    DriverStateNoPrinter = 1,
    DriverStateWithPrinter = 2,
    DriverStateFailed = 3,
};

enum DriverCabFileType : std::int32_t {
    DriverCabCommonFiles = 1,
    DriverCabX86Binaries = 2,
    DriverCabX64Binaries = 3,
};

enum UnpackFolderStatus : std::int32_t {
    UnpackFolderFailed = 0,
    UnpackFolderReady = 1,
};

// Resource identifiers of the three embedded archives.
constexpr std::uint16_t kCabResourceX64 = 101;
constexpr std::uint16_t kCabResourceX86 = 102;
constexpr std::uint16_t kCabResourceCommon = 103;

// The model table of the console face's "-model" option.
struct ModelEntry {
    int number;
    const char16_t* driverName;  // slot 0 ModelName
    const char16_t* deviceKey;   // g_DeviceInstanceID
};
// The entry for a model number, or nullptr when the number is not 1 to 4.
const ModelEntry* FindModel(int number);

// The wizard's model: driver 1, driver 2 and the device key.
inline constexpr const char16_t* kWizardDriver1Model = u"BREVANTO TXR4103 ZKW";
inline constexpr const char16_t* kWizardDriver2Model = u"BREVANTO TXR4103";
inline constexpr const char16_t* kWizardDeviceKey = u"BREVANTOTXR4103";

// Releases a record's printer list and resets every field.
void ClearInstalledDriverInfo(InstalledDriverInfo* record);

// Puts every process-wide table and flag below back to its state at process start (printer lists
// released). A process runs one installation, so only tests, which run many in one process, call it.
void ResetProcessState();

}  // namespace txr

// Process-wide tables, zero at start.
extern txr::DriverInstallInfoStruct g_DriverPackageInfDataArray[2];
extern txr::InstalledDriverInfo g_InstalledDriverDataArray[2];
extern txr::InstalledDriverInfo g_UpdatedDriverDataArray[2];
extern txr::InstalledDriverInfo g_AdminDriverDataArray[2];
extern std::int32_t g_Drv1InstallStatus;
extern std::int32_t g_Drv2InstallStatus;
extern char16_t g_DeviceInstanceID[txr::kTextField];
extern std::int32_t g_SilentInstall;
extern std::int32_t g_BGWInstallStatus;
extern std::int32_t g_BGWUninstallStatus;
