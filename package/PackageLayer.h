// The native layer of the driver package: the unpack folder and the INF reader. Fixed wide-character
// buffers owned by the caller; failures of the native steps are reported in their own message boxes.
#pragma once

#include <cstdint>

#include "core/DriverRecords.h"

namespace txr {

std::int32_t Lib_GetCabDestinationPath(char16_t* buffer, std::int32_t capacity, std::uint32_t* errorCode);
std::int32_t Lib_UnpackDriverCabFiles(std::uint16_t resourceId, std::int32_t kind, std::uint32_t* errorCode);
std::int32_t Lib_GetDriverInstallDetailsFromInf(DriverInstallInfoStruct* record);
void ClearDriverInstallInfo(DriverInstallInfoStruct* record);

}  // namespace txr
