// Installing a printer driver from the unpacked package, and removing one with everything that keeps
// it in use: its printers, the driver, its driver-store package, stale driver-store copies, and the
// printers the platform made for the device with its generic class driver.
#include <algorithm>
#include <string>

#include "core/WideText.h"
#include "platform/handles.h"
#include "platform/utf.h"
#include "spooler/SpoolerCommon.h"

namespace txr {

using namespace spooler;

namespace {

constexpr std::size_t kPathField = 260;

// Deletes every local printer for which `matches(printer)` holds, going on after a failure.
template <typename Match>
std::int32_t DeletePrintersWhere(Match matches, std::uint32_t* errorCode)
{
    EnumBuffer printers;
    char16_t empty[1] = {0};
    const EnumOutcome outcome = EnumerateSizeFirst(
        [&](win::BYTE* buf, win::DWORD cb, win::DWORD* needed, win::DWORD* returned) {
            return win::EnumPrintersW(win::PRINTER_ENUM_LOCAL, empty, 2, buf, cb, needed, returned);
        },
        printers);
    if (outcome != EnumOutcome::Entries) {
        Store(errorCode, 0);
        return 1;
    }
    int failures = 0;
    const auto* entries = printers.Entries<win::PRINTER_INFO_2W>();
    for (win::DWORD i = 0; i < printers.count; ++i) {
        if (!entries[i].pPrinterName || !matches(entries[i])) continue;
        std::uint32_t ignored = 0;
        if (!DeletePrinterByName(entries[i].pPrinterName, &ignored)) ++failures;
    }
    if (failures) {
        Store(errorCode, win::GetLastError());
        return 0;
    }
    Store(errorCode, 0);
    return 1;
}

}  // namespace

namespace {

// The upload half of an installation: copies the package into the driver store (even when the
// store already holds it) and hands back the store copy's INF path.
std::int32_t StageDriverPackage(const char16_t* infPath, char16_t (&storeInf)[kPathField], std::uint32_t* errorCode)
{
    const win::HWND owner = win::GetDesktopWindow();
    char16_t staged[kPathField] = {};
    win::DWORD stagedChars = kPathField;
    const win::HRESULT hr =
        win::UploadPrinterDriverPackageW(nullptr, infPath, nullptr, win::UPDP_UPLOAD_ALWAYS, owner, staged, &stagedChars);
    if (hr != 0) {
        Store(errorCode, static_cast<std::uint32_t>(hr));
        return 0;
    }
    staged[kPathField - 1] = 0;
    CopyToField(storeInf, FieldText(staged));
    Store(errorCode, 0);
    return 1;
}

std::int32_t InstallDriverFromStore(const char16_t* storeInf, const char16_t* driverName, std::uint32_t* errorCode)
{
    const win::HRESULT hr = win::InstallPrinterDriverFromPackageW(nullptr, storeInf, driverName, nullptr, 0);
    if (hr != 0) {
        Store(errorCode, static_cast<std::uint32_t>(hr));
        return 0;
    }
    Store(errorCode, 0);
    return 1;
}

// The folder of a driver-store INF path ("...\FileRepository\name.inf_amd64_<hash>").
std::u16string_view StoreFolderOf(std::u16string_view storeInf)
{
    const std::size_t slash = storeInf.rfind(u'\\');
    return slash == std::u16string_view::npos ? storeInf : storeInf.substr(0, slash);
}

bool SameStorePackage(const char16_t* a, const char16_t* b)
{
    return !Empty(a) && !Empty(b) && txt::iequals(StoreFolderOf(View(a)), StoreFolderOf(View(b)));
}

}  // namespace

std::int32_t InstallDriverPackage(const char16_t* infPath, const char16_t* driverName, std::uint32_t* errorCode)
{
    char16_t storeInf[kPathField] = {};
    return StageDriverPackage(infPath, storeInf, errorCode) && InstallDriverFromStore(storeInf, driverName, errorCode);
}

namespace {

// One step of the layer with its own error box: the step's failure with a nonzero code shows the
// box under the caption; an exception is the step's failure (Guarded).
template <typename Step>
std::int32_t WithErrorBox(const char16_t* captionLabel, std::uint32_t* errorCode, Step step)
{
    std::uint32_t error = 0;
    const std::int32_t result = Guarded(captionLabel, &error, [&]() -> std::int32_t {
        if (step(&error)) return 1;
        if (error != 0) ShowErrorBox(captionLabel, error);
        return 0;
    });
    Store(errorCode, error);
    return result;
}

}  // namespace

std::int32_t Lib_StagePrinterDriverPackage(const char16_t* infPath, char16_t (&stagedStoreInf)[kPathField],
                                           std::uint32_t* errorCode)
{
    return WithErrorBox(u"Driver install", errorCode,
                        [&](std::uint32_t* error) { return StageDriverPackage(infPath, stagedStoreInf, error); });
}

std::int32_t Lib_InstallPrinterDriverFromStore(const char16_t* storeInf, const char16_t* driverName,
                                               std::uint32_t* errorCode)
{
    return WithErrorBox(u"Driver install", errorCode,
                        [&](std::uint32_t* error) { return InstallDriverFromStore(storeInf, driverName, error); });
}

std::int32_t Lib_DeletePrinterDriverPackage(const char16_t* storeInf, std::uint32_t* errorCode)
{
    return WithErrorBox(u"Driver uninstall", errorCode,
                        [&](std::uint32_t* error) { return DeleteDriverPackage(storeInf, error); });
}

std::int32_t AddPrinterWithDriver(const char16_t* driverName, const char16_t* printerName, const char16_t* portName,
                                  std::uint32_t* errorCode)
{
    WritableText printer(View(printerName)), port(View(portName)), driver(View(driverName)),
        processor(u"winprint");
    win::PRINTER_INFO_2W info{};
    info.pPrinterName = printer.get();
    info.pPortName = port.get();
    info.pDriverName = driver.get();
    info.pPrintProcessor = processor.get();
    return AddLocalPrinter(info, errorCode);
}

std::int32_t Lib_PrinterDriverInstall(const char16_t* driverName, const char16_t* infPath,
                                      const char16_t* printerName, const char16_t* portName, bool addPrinter)
{
    std::uint32_t error = 0;
    return Guarded(u"Driver install", &error, [&]() -> std::int32_t {
        if (InstallDriverPackage(infPath, driverName, &error) &&
            (!addPrinter || AddPrinterWithDriver(driverName, printerName, portName, &error)))
            return 1;
        if (error != 0) ShowErrorBox(u"Driver install", error);
        return 0;
    });
}

std::int32_t DeletePrinterByName(const char16_t* printerName, std::uint32_t* errorCode)
{
    WritableText name(View(printerName));
    win::PRINTER_DEFAULTSW defaults{nullptr, nullptr, win::PRINTER_ALL_ACCESS};
    win::unique_printer printer;
    if (!win::OpenPrinterW(name.get(), printer.put(), &defaults) || !win::DeletePrinter(printer.get())) {
        Store(errorCode, win::GetLastError());
        return 0;
    }
    Store(errorCode, 0);
    return 1;
}

std::int32_t DeleteDependentPrinters(const char16_t* driverName, std::uint32_t* errorCode)
{
    return Guarded(u"Delete printer", errorCode, [&] {
        return DeletePrintersWhere(
            [&](const win::PRINTER_INFO_2W& p) { return p.pDriverName && txt::iequals(p.pDriverName, View(driverName)); },
            errorCode);
    });
}

std::int32_t DeleteMatchingGenericPrinters(const char16_t* classDriverName, const char16_t* driverName,
                                           std::uint32_t* errorCode)
{
    return Guarded(u"Delete matching generic", errorCode, [&] {
        const std::u16string_view model = View(driverName);
        return DeletePrintersWhere(
            [&](const win::PRINTER_INFO_2W& p) {
                return p.pDriverName && txt::iequals(p.pDriverName, View(classDriverName)) &&
                       model.find(p.pPrinterName) != std::u16string_view::npos;
            },
            errorCode);
    });
}

std::int32_t DeleteDriver(const char16_t* driverName, std::uint32_t* errorCode)
{
    if (Empty(driverName)) return 0;
    if (!RestartSpooler(errorCode)) return 0;
    char16_t server[1] = {0};
    WritableText name(View(driverName));
    // A null environment names the caller's own; the spooler refuses an empty environment name.
    return win::DeletePrinterDriverExW(server, nullptr, name.get(), win::DPD_DELETE_UNUSED_FILES, 0) ? 1 : 0;
}

std::int32_t DeleteDriverPackage(const char16_t* infPath, std::uint32_t* errorCode, bool* restartFailed)
{
    std::uint32_t restartError = 0;
    const bool restarted = RestartSpooler(&restartError) != 0;
    if (restartFailed) *restartFailed = !restarted;
    const win::HRESULT hr = win::DeletePrinterDriverPackageW(nullptr, infPath, nullptr);
    if (hr == 0) {
        Store(errorCode, 0);
        return 1;
    }
    Store(errorCode, static_cast<std::uint32_t>(hr));
    return 0;
}

std::int32_t ForceDeleteDriverPackage(const char16_t* infFileName, std::uint32_t* errorCode,
                                      const char16_t* skipStoreInf)
{
    return Guarded(u"Driver forced delete", errorCode, [&]() -> std::int32_t {
        if (Empty(infFileName)) return 0;
        const std::u16string folder = kDriverStoreFolder;
        char16_t pattern[kPathField];
        if (!CopyToField(pattern, folder + u"\\" + infFileName + u"*")) return 0;  // would search for a cut name
        // The folder of the store copy to keep (a package staged for the driver that replaces this one).
        std::u16string_view skipFolder = View(skipStoreInf);
        skipFolder = skipFolder.substr(0, std::min(skipFolder.size(), skipFolder.find_last_of(u'\\')));
        win::WIN32_FIND_DATAW entry{};
        win::unique_find search(win::FindFirstFileW(pattern, &entry));
        if (!search) {
            if (win::GetLastError() != win::ERROR_FILE_NOT_FOUND) return 0;
            Store(errorCode, 0);
            return 1;
        }
        std::int32_t balance = 0;
        int copies = 0;
        bool passedOver = false;
        do {
            if (entry.dwFileAttributes != win::FILE_ATTRIBUTE_DIRECTORY) continue;
            const std::u16string copyFolder = folder + u"\\" + std::u16string(FieldText(entry.cFileName));
            // The package just staged for the new driver is no leftover.
            if (!skipFolder.empty() && txt::iequals(copyFolder, skipFolder)) {
                passedOver = true;
                continue;
            }
            if (++copies > kForcedDeleteMaxCopies) break;
            char16_t copy[kPathField];
            if (!CopyToField(copy, copyFolder + u"\\" + infFileName)) continue;
            std::uint32_t error = 0;
            bool restartFailed = false;
            if (DeleteDriverPackage(copy, &error, &restartFailed)) {
                ++balance;
            } else {
                if (balance > 0) --balance;
                Store(errorCode, error);
                // After a failed restart the restart's own box has said what went wrong.
                if (!restartFailed && !ErrorCodeToText(error).empty()) ShowErrorBox(u"Driver forced delete", error);
            }
            // A spooler that did not come back fails every further copy the same way, each after
            // its own restart attempt and box: the walk ends here.
            if (restartFailed) break;
        } while (win::FindNextFileW(search.get(), &entry));
        // Nothing but the staged package: no leftover, as when the search finds nothing.
        if (copies == 0 && passedOver) {
            Store(errorCode, 0);
            return 1;
        }
        if (balance != 0) Store(errorCode, 0);
        return balance;
    });
}

std::int32_t DeleteGenericClassPrinters(const char16_t* driverName, std::uint32_t* errorCode)
{
    return Guarded(u"Delete generic", errorCode, [&]() -> std::int32_t {
        char16_t className[255];
        char16_t classInf[kPathField];
        if (GetDriverInfoFromHardwareId(kGenericClassHardwareId, kGenericClassDriverName, className, classInf,
                                        errorCode) &&
            DeleteMatchingGenericPrinters(className, driverName, errorCode))
            return 1;
        if (errorCode && *errorCode != 0) ShowErrorBox(u"Delete generic", *errorCode);
        return 0;
    }, 0, WithoutMessage::CodeBox);
}

std::int32_t Lib_PrinterDriverUninstall(const char16_t* hardwareId, const char16_t* infFileName,
                                        const char16_t* driverName, DriverRemoval* removal)
{
    std::uint32_t error = 0;
    return Guarded(u"Driver uninstall", &error, [&]() -> std::int32_t {
        if (!Empty(driverName)) DeleteGenericClassPrinters(driverName, &error);
        char16_t found[255];
        char16_t storeInf[kPathField];
        const char16_t* staged = removal ? removal->stagedStoreInf : nullptr;
        bool removed = false;
        if (GetDriverInfoFromHardwareId(hardwareId, driverName, found, storeInf, &error)) {
            removed = DeleteDependentPrinters(found, &error) && DeleteDriver(found, &error);
            if (removed && removal) {
                removal->driverRemoved = true;
                CopyToField(removal->removedDriverName, FieldText(found));
            }
            if (removed && removal && removal->keepPackage) {
                // Kept until the new driver is in place: the old driver can be put back from it.
                CopyToField(removal->retainedStoreInf, FieldText(storeInf));
            } else if (removed && !SameStorePackage(storeInf, staged)) {
                removed = DeleteDriverPackage(storeInf, &error) != 0;
            }
        } else {
            removed = ForceDeleteDriverPackage(infFileName, &error, staged) != 0;
        }
        if (removed) return 1;
        if (error != 0) ShowErrorBox(u"Driver uninstall", error);
        return 0;
    });
}

}  // namespace txr
