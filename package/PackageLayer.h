// The native layer of the driver package: the unpack folder and the INF reader. Fixed wide-character
// buffers owned by the caller; failures of the native steps are reported in their own message boxes.
#pragma once

#include <cstdint>

#include "core/DriverRecords.h"

namespace txr {

// The unpack folder's name below the program-files folder, and the mark that every path the
// window layer deletes or tests must contain.
inline constexpr const char16_t* kUnpackFolderSuffix = u"\\ZQ_DriverCab_Temp";
inline constexpr const char16_t* kUnpackFolderMark = u"ZQ_DriverCab_Temp";

std::int32_t Lib_GetCabDestinationPath(char16_t* buffer, std::int32_t capacity, std::uint32_t* errorCode);
std::int32_t Lib_UnpackDriverCabFiles(std::uint16_t resourceId, std::int32_t kind, std::uint32_t* errorCode);
std::int32_t Lib_GetDriverInstallDetailsFromInf(DriverInstallInfoStruct* record);
void ClearDriverInstallInfo(DriverInstallInfoStruct* record);

// The steps of Lib_UnpackDriverCabFiles, in the order it uses them.
UnpackFolderStatus CreateCabUnpackFolder(std::int32_t kind, std::uint32_t* errorCode);
std::int32_t ExtractCabResourceToFile(std::uint16_t resourceId, const char16_t* filePath);
std::int32_t WriteBufferToNewFile(const char16_t* filePath, const void* bytes, std::uint32_t size);
std::int32_t ExpandCabFile(const char16_t* cabFilePath, const char16_t* destinationPath);

}  // namespace txr
