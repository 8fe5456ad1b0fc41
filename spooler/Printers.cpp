// Local printers of the package's drivers: adding, deleting, counting, listing and reconfiguring.
#include <string>

#include "core/WideText.h"
#include "platform/handles.h"
#include "platform/utf.h"
#include "spooler/SpoolerCommon.h"

namespace txr {

using namespace spooler;

namespace {

// The local printers at level 2; false with the last error when they cannot be listed.
bool LocalPrinters(EnumBuffer& printers)
{
    char16_t empty[1] = {0};
    return EnumerateSizeFirst(
               [&](win::BYTE* buf, win::DWORD cb, win::DWORD* needed, win::DWORD* returned) {
                   return win::EnumPrintersW(win::PRINTER_ENUM_LOCAL, empty, 2, buf, cb, needed, returned);
               },
               printers) == EnumOutcome::Entries;
}

bool UsesDriver(const win::PRINTER_INFO_2W& p, const char16_t* driverName)
{
    return p.pDriverName && txt::iequals(p.pDriverName, View(driverName));
}

}  // namespace

std::int32_t Lib_AddPrinter(const char16_t* driverName, const char16_t* printerName, const char16_t* portName,
                            std::uint32_t* errorCode)
{
    Lib_ConfigPortSNMPStatus(portName, 1, 0);
    return AddPrinterWithDriver(driverName, printerName, portName, errorCode);
}

std::int32_t Lib_DeleteSelectedPrinter(const char16_t* printerName, std::uint32_t* errorCode)
{
    return DeletePrinterByName(printerName, errorCode);
}

std::int32_t Lib_GetNumDependentPrinters(const char16_t* driverName, std::uint32_t* errorCode)
{
    EnumBuffer printers;
    if (!LocalPrinters(printers)) {
        Store(errorCode, win::GetLastError());
        return 0;
    }
    std::int32_t count = 0;
    const auto* entries = printers.Entries<win::PRINTER_INFO_2W>();
    for (win::DWORD i = 0; i < printers.count; ++i)
        if (UsesDriver(entries[i], driverName)) ++count;
    Store(errorCode, 0);
    return count;
}

std::int32_t Lib_GetInstalledPrinterInfoList(const char16_t* driverName, std::int32_t capacity,
                                             PrinterInfoData* list, std::uint32_t* errorCode)
{
    EnumBuffer printers;
    if (!LocalPrinters(printers)) {
        Store(errorCode, win::GetLastError());
        return 0;
    }
    std::int32_t written = 0;
    const auto* entries = printers.Entries<win::PRINTER_INFO_2W>();
    for (win::DWORD i = 0; i < printers.count && list && written < capacity; ++i) {
        const win::PRINTER_INFO_2W& p = entries[i];
        if (!UsesDriver(p, driverName)) continue;
        PrinterInfoData& r = list[written++];
        CopyToField(r.DriverName, View(p.pDriverName));
        CopyToField(r.PrinterName, View(p.pPrinterName));
        CopyToField(r.PortName, View(p.pPortName));
    }
    Store(errorCode, 0);
    return written;
}

std::int32_t Lib_SetPrinterDeviceConfig(const PrinterInfoData* current, const PrinterInfoData* desired,
                                        std::uint32_t* errorCode)
{
    EnumBuffer printers;
    if (!current || !desired || !LocalPrinters(printers)) {
        Store(errorCode, win::GetLastError());
        return 0;
    }
    auto* entries = printers.Entries<win::PRINTER_INFO_2W>();
    win::PRINTER_INFO_2W* match = nullptr;
    for (win::DWORD i = 0; i < printers.count && !match; ++i) {
        win::PRINTER_INFO_2W& p = entries[i];
        if (p.pPrinterName && UsesDriver(p, current->DriverName) &&
            txt::iequals(p.pPrinterName, FieldText(current->PrinterName)))
            match = &p;
    }
    if (!match) {
        Store(errorCode, win::GetLastError());
        return 0;
    }
    WritableText printerName(FieldText(desired->PrinterName)), portName(FieldText(desired->PortName)),
        driver(FieldText(desired->DriverName)), currentName(FieldText(current->PrinterName));
    match->pPrinterName = printerName.get();
    match->pPortName = portName.get();
    match->pDriverName = driver.get();
    win::PRINTER_DEFAULTSW defaults{nullptr, nullptr, win::PRINTER_ACCESS_ADMINISTER};
    win::unique_printer printer;
    if (!win::OpenPrinterW(currentName.get(), printer.put(), &defaults) ||
        !win::SetPrinterW(printer.get(), 2, reinterpret_cast<win::BYTE*>(match), 0)) {
        const win::DWORD code = win::GetLastError();
        ShowErrorBox(u"Printer info data", code);
        Store(errorCode, code);
        return 0;
    }
    Store(errorCode, 0);
    return 1;
}

}  // namespace txr
