// Stand-ins for the spooler layer's operations while that layer is being built on its own branch:
// the build uses this file only while spooler/ has no sources of its own (CMakeLists.txt). Each
// fails the way a missing system function does (ERROR_CALL_NOT_IMPLEMENTED), never succeeds, and
// shows nothing; the query reports "not installed".
#include "core/DriverRecords.h"
#include "spooler/SpoolerLayer.h"

namespace txr {

namespace {
constexpr std::uint32_t kCallNotImplemented = 120;
void Fail(std::uint32_t* errorCode)
{
    if (errorCode) *errorCode = kCallNotImplemented;
}
}  // namespace

#define TXR_PENDING

TXR_PENDING std::int32_t Lib_GetCurrentDriverInfo(const char16_t*, const char16_t*, InstalledDriverInfo* record,
                                                  std::uint32_t* errorCode)
{
    ClearInstalledDriverInfo(record);
    Fail(errorCode);
    return 0;
}
TXR_PENDING std::int32_t Lib_PrinterDriverInstall(const char16_t*, const char16_t*, const char16_t*, const char16_t*,
                                                  bool)
{
    return 0;
}
TXR_PENDING std::int32_t Lib_PrinterDriverUninstall(const char16_t*, const char16_t*, const char16_t*) { return 0; }
TXR_PENDING std::int32_t Lib_USBDeviceInterfaceDriverInstall(const char16_t*, std::uint32_t, std::uint32_t* errorCode,
                                                             bool, bool* restartRequired)
{
    if (restartRequired) *restartRequired = false;
    Fail(errorCode);
    return 0;
}
TXR_PENDING std::int32_t UninstallDeviceInstance(const char16_t*) { return 0; }
TXR_PENDING std::int32_t Lib_AddNetworkPort(const char16_t*, const char16_t*, std::uint32_t* errorCode)
{
    Fail(errorCode);
    return 0;
}
TXR_PENDING std::int32_t Lib_AddPrinter(const char16_t*, const char16_t*, const char16_t*, std::uint32_t* errorCode)
{
    Fail(errorCode);
    return 0;
}
TXR_PENDING std::int32_t Lib_GetNumDependentPrinters(const char16_t*, std::uint32_t* errorCode)
{
    Fail(errorCode);
    return 0;
}
TXR_PENDING std::int32_t Lib_GetInstalledPrinterInfoList(const char16_t*, std::int32_t, PrinterInfoData*,
                                                         std::uint32_t* errorCode)
{
    Fail(errorCode);
    return 0;
}

}  // namespace txr
