// The spooler and device layer: every call into the print spooler, the Standard TCP/IP port
// monitor, the device installer and the service control manager. Free functions over the seam;
// they return 0 on failure and 1 (or a count) on success and hand back a Windows error code through
// an out-parameter where they have one.
#pragma once

#include <cstdint>
#include <string>

#include "core/DriverRecords.h"

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
std::int32_t Lib_PrinterDriverUninstall(const char16_t* hardwareId, const char16_t* infFileName,
                                        const char16_t* driverName);

// ---- USB interface drivers and devices --------------------------------------------------------------
// restartRequired (optional) is set to true when the platform asked for a restart after the install.
std::int32_t Lib_USBDeviceInterfaceDriverInstall(const char16_t* infPath, std::uint32_t disableRedirection,
                                                 std::uint32_t* errorCode, bool force,
                                                 bool* restartRequired = nullptr);
std::int32_t UninstallDeviceInstance(const char16_t* instanceIdPart);

// ---- spooler service ------------------------------------------------------------------------------
enum class ServiceAction { Stop, Start };
std::int32_t ControlWindowsService(const char16_t* serviceName, ServiceAction action, std::uint32_t* errorCode);
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

}  // namespace txr
