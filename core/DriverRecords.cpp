#include "core/DriverRecords.h"

#include <cstdlib>
#include <cstring>

txr::DriverInstallInfoStruct g_DriverPackageInfDataArray[2];
txr::InstalledDriverInfo g_InstalledDriverDataArray[2];
txr::InstalledDriverInfo g_UpdatedDriverDataArray[2];
txr::InstalledDriverInfo g_AdminDriverDataArray[2];
std::int32_t g_Drv1InstallStatus;
std::int32_t g_Drv2InstallStatus;
char16_t g_DeviceInstanceID[txr::kTextField];
std::int32_t g_SilentInstall;
std::int32_t g_BGWInstallStatus;
std::int32_t g_BGWUninstallStatus;

namespace txr {

namespace {
const ModelEntry kModels[] = {
    {1, u"BREVANTO TXR4101 ZKW", u"BREVANTOTXR4101"},
    {2, u"BREVANTO TXR4102 ZKW", u"BREVANTOTXR4102"},
    {3, u"BREVANTO TXR4103 ZKW", u"BREVANTOTXR4103"},
    {4, u"BREVANTO TXR4104 ZKW", u"BREVANTOTXR4104"},
};
}  // namespace

const ModelEntry* FindModel(int number)
{
    for (const auto& m : kModels)
        if (m.number == number) return &m;
    return nullptr;
}

void ClearInstalledDriverInfo(InstalledDriverInfo* record)
{
    if (!record) return;
    std::free(record->PrinterList);
    std::memset(record, 0, sizeof(*record));
    record->PrinterList = nullptr;
}

void ResetProcessState()
{
    for (int slot = 0; slot < 2; ++slot) {
        ClearInstalledDriverInfo(&g_InstalledDriverDataArray[slot]);
        ClearInstalledDriverInfo(&g_UpdatedDriverDataArray[slot]);
        ClearInstalledDriverInfo(&g_AdminDriverDataArray[slot]);
    }
    std::memset(g_DriverPackageInfDataArray, 0, sizeof(g_DriverPackageInfDataArray));
    std::memset(g_DeviceInstanceID, 0, sizeof(g_DeviceInstanceID));
    g_Drv1InstallStatus = 0;
    g_Drv2InstallStatus = 0;
    g_SilentInstall = 0;
    g_BGWInstallStatus = 0;
    g_BGWUninstallStatus = 0;
}

}  // namespace txr
