// Local printers of the package's drivers: adding, deleting, counting, listing and reconfiguring,
// and the settings a printer keeps when it is carried over to a new driver.
#include <algorithm>
#include <string>
#include <vector>

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

// The attribute bits the spooler sets itself from where the printer lives; AddPrinterW is not the
// place to claim them.
constexpr win::DWORD kSpoolerOwnedAttributes = win::PRINTER_ATTRIBUTE_LOCAL | win::PRINTER_ATTRIBUTE_NETWORK;

// One printer's settings; false when a text does not fit its field or the security descriptor is
// not valid, with the last error saying which (such a printer could not be put back as it is).
bool ReadSettings(const win::PRINTER_INFO_2W& p, PrinterSettings& s)
{
    const bool fits = CopyToField(s.PrinterName, View(p.pPrinterName)) & CopyToField(s.ShareName, View(p.pShareName)) &
                      CopyToField(s.PortName, View(p.pPortName)) & CopyToField(s.DriverName, View(p.pDriverName)) &
                      CopyToField(s.Comment, View(p.pComment)) & CopyToField(s.Location, View(p.pLocation)) &
                      CopyToField(s.SepFile, View(p.pSepFile)) &
                      CopyToField(s.PrintProcessor, View(p.pPrintProcessor)) &
                      CopyToField(s.Datatype, View(p.pDatatype)) & CopyToField(s.Parameters, View(p.pParameters));
    if (!fits) {
        win::SetLastError(win::ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    s.Attributes = p.Attributes;
    s.Priority = p.Priority;
    s.DefaultPriority = p.DefaultPriority;
    s.StartTime = p.StartTime;
    s.UntilTime = p.UntilTime;
    s.Status = p.Status;
    s.SecurityDescriptor.clear();
    if (p.pSecurityDescriptor) {
        // The enumeration hands the descriptor out self-relative, so its bytes are the whole of it.
        if (!win::IsValidSecurityDescriptor(p.pSecurityDescriptor)) return false;
        const auto* bytes = static_cast<const std::uint8_t*>(p.pSecurityDescriptor);
        s.SecurityDescriptor.assign(bytes, bytes + win::GetSecurityDescriptorLength(p.pSecurityDescriptor));
    }
    return true;
}

// NULL for an empty text, so that the spooler applies its own default.
win::LPWSTR OrNull(WritableText& text, const char16_t* field)
{
    return Empty(field) ? nullptr : text.get();
}

}  // namespace

std::int32_t Lib_AddPrinter(const char16_t* driverName, const char16_t* printerName, const char16_t* portName,
                            std::uint32_t* errorCode)
{
    return Guarded(u"Add printer", errorCode, [&]() -> std::int32_t {
        Lib_ConfigPortSNMPStatus(portName, 1, 0);
        return AddPrinterWithDriver(driverName, printerName, portName, errorCode);
    });
}

std::int32_t Lib_DeleteSelectedPrinter(const char16_t* printerName, std::uint32_t* errorCode)
{
    return Guarded(u"Delete selected printer", errorCode, [&] { return DeletePrinterByName(printerName, errorCode); });
}

std::int32_t Lib_GetNumDependentPrinters(const char16_t* driverName, std::uint32_t* errorCode)
{
    return Guarded(u"Dependent printers", errorCode, [&]() -> std::int32_t {
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
    });
}

std::int32_t Lib_GetInstalledPrinterInfoList(const char16_t* driverName, std::int32_t capacity,
                                             PrinterInfoData* list, std::uint32_t* errorCode)
{
    return Guarded(u"Printer info list", errorCode, [&]() -> std::int32_t {
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
    });
}

std::int32_t Lib_SetPrinterDeviceConfig(const PrinterInfoData* current, const PrinterInfoData* desired,
                                        std::uint32_t* errorCode)
{
    return Guarded(u"Printer info data", errorCode, [&]() -> std::int32_t {
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
        // The security stays as it is: a descriptor here would be a request to write it, which a
        // handle opened to administer the printer (without WRITE_DAC / WRITE_OWNER) may not make.
        match->pSecurityDescriptor = nullptr;
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
    });
}

std::int32_t Lib_GetPrinterSettingsList(const char16_t* driverName, std::vector<PrinterSettings>* list,
                                        std::uint32_t* errorCode)
{
    if (list) list->clear();
    const std::int32_t count = Guarded(u"Printer settings", errorCode, [&]() -> std::int32_t {
        EnumBuffer printers;
        if (!list || !LocalPrinters(printers)) {
            Store(errorCode, list ? win::GetLastError() : win::ERROR_INVALID_PARAMETER);
            return 0;
        }
        const auto* entries = printers.Entries<win::PRINTER_INFO_2W>();
        for (win::DWORD i = 0; i < printers.count; ++i) {
            if (!UsesDriver(entries[i], driverName)) continue;
            list->emplace_back();
            // A printer that cannot be read whole fails the list: whoever removes the driver on the
            // strength of it would otherwise put that printer back changed.
            if (!ReadSettings(entries[i], list->back())) {
                Store(errorCode, win::GetLastError());
                list->clear();
                return 0;
            }
        }
        Store(errorCode, 0);
        return static_cast<std::int32_t>(list->size());
    });
    if (count == 0 && list) list->clear();
    return count;
}

std::int32_t Lib_AddPrinterWithSettings(const PrinterSettings& settings, const char16_t* driverName,
                                        std::uint32_t* errorCode)
{
    return Guarded(u"Add printer", errorCode, [&]() -> std::int32_t {
        Lib_ConfigPortSNMPStatus(settings.PortName, 1, 0);
        WritableText printer(FieldText(settings.PrinterName)), share(FieldText(settings.ShareName)),
            port(FieldText(settings.PortName)), driver(View(driverName)), comment(FieldText(settings.Comment)),
            location(FieldText(settings.Location)), sepFile(FieldText(settings.SepFile)),
            processor(FieldEmpty(settings.PrintProcessor) ? u"winprint" : FieldText(settings.PrintProcessor)),
            datatype(FieldText(settings.Datatype)), parameters(FieldText(settings.Parameters));
        // A copy the call may point into (it takes a non-const descriptor); 8-aligned like the
        // enumeration buffer it came from.
        std::vector<std::uint64_t> security((settings.SecurityDescriptor.size() + 7) / 8);
        if (!security.empty())
            std::copy(settings.SecurityDescriptor.begin(), settings.SecurityDescriptor.end(),
                      reinterpret_cast<std::uint8_t*>(security.data()));
        win::PRINTER_INFO_2W info{};
        info.pPrinterName = printer.get();
        info.pShareName = OrNull(share, settings.ShareName);
        info.pPortName = port.get();
        info.pDriverName = driver.get();
        info.pComment = OrNull(comment, settings.Comment);
        info.pLocation = OrNull(location, settings.Location);
        info.pDevMode = nullptr;  // the new driver's defaults
        info.pSepFile = OrNull(sepFile, settings.SepFile);
        info.pPrintProcessor = processor.get();
        info.pDatatype = OrNull(datatype, settings.Datatype);
        info.pParameters = OrNull(parameters, settings.Parameters);
        info.pSecurityDescriptor = security.empty() ? nullptr : security.data();
        info.Attributes = settings.Attributes & ~kSpoolerOwnedAttributes;
        info.Priority = settings.Priority;
        info.DefaultPriority = settings.DefaultPriority;
        info.StartTime = settings.StartTime;
        info.UntilTime = settings.UntilTime;
        return AddLocalPrinter(info, errorCode);
    });
}

}  // namespace txr
