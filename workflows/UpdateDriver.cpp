// The per-driver update: install when asked, carry the old driver's printers over to the new one
// with every setting they had, put them back on the old driver when the update failed, name every
// printer that could not be kept, give driver 2 a printer on driver 1's USB port, and report the
// slot's resulting state.
#include <vector>

#include "core/Form1.h"
#include "core/WideText.h"
#include "platform/utf.h"
#include "platform/win32api.h"
#include "spooler/SpoolerLayer.h"
#include "workflows/SequenceFace.h"
#include "workflows/WizardFace.h"

namespace txr {

namespace {

std::int32_t StateOf(const InstalledDriverInfo& after, const InstalledDriverInfo& before)
{
    if (after.IsInstalled != 0) return after.PrinterCount > 0 ? DriverStateWithPrinter : DriverStateNoPrinter;
    if (before.IsInstalled != 0) return before.PrinterCount > 0 ? DriverStateWithPrinter : DriverStateNoPrinter;
    return DriverStateNotInstalled;
}

bool HasPrinters(const InstalledDriverInfo& r) { return r.IsInstalled != 0 && r.PrinterCount > 0 && r.PrinterList; }

// The printers to keep: their full settings as read before the removal, or, when those could not be
// read, at least the name and port of every printer the before-run record lists.
std::vector<PrinterSettings> PrintersToKeep(const std::vector<PrinterSettings>& carried, const InstalledDriverInfo& before)
{
    if (!carried.empty() || !HasPrinters(before)) return carried;
    std::vector<PrinterSettings> keep(static_cast<std::size_t>(before.PrinterCount));
    for (std::int32_t k = 0; k < before.PrinterCount; ++k) {
        PrinterSettings& s = keep[static_cast<std::size_t>(k)];
        s = PrinterSettings{};
        CopyToField(s.PrinterName, FieldText(before.PrinterList[k].PrinterName));
        CopyToField(s.PortName, FieldText(before.PrinterList[k].PortName));
        CopyToField(s.DriverName, FieldText(before.PrinterList[k].DriverName));
        CopyToField(s.PrintProcessor, u"winprint");
    }
    return keep;
}

// The local printers' names and drivers as the spooler lists them now (empty when it cannot). A
// printer pending deletion is not kept: it goes as soon as its last job has printed.
struct PresentPrinter {
    std::u16string name;
    std::u16string driver;
};
std::vector<PresentPrinter> PresentPrinters(const std::u16string_view driverName)
{
    std::vector<PresentPrinter> present;
    std::uint32_t error = 0;
    std::vector<PrinterSettings> now;
    char16_t driver[kTextField];
    CopyToField(driver, driverName);
    if (Lib_GetPrinterSettingsList(driver, &now, &error) > 0)
        for (const PrinterSettings& s : now)
            if ((s.Status & win::PRINTER_STATUS_PENDING_DELETION) == 0)
                present.push_back({std::u16string(FieldText(s.PrinterName)), std::u16string(FieldText(s.DriverName))});
    return present;
}

bool IsPresent(const std::vector<PresentPrinter>& present, const PrinterSettings& printer)
{
    for (const PresentPrinter& p : present)
        if (txt::iequals(p.name, FieldText(printer.PrinterName))) return true;
    return false;
}

// Adds every printer of `keep` that is not on `driverName` yet back on it, with its settings.
void AddBack(const std::vector<PrinterSettings>& keep, const char16_t* driverName)
{
    const std::vector<PresentPrinter> present = PresentPrinters(driverName);
    for (const PrinterSettings& printer : keep) {
        if (IsPresent(present, printer)) continue;
        std::uint32_t error = 0;
        Lib_AddPrinterWithSettings(printer, driverName, &error);
    }
}

}  // namespace

std::int32_t Form1::UpdateDriverWith(std::int32_t param_UpdateRequired, int param_DriverListIndex, SequenceFace& face)
{
    lostPrinterCount_ = 0;
    lastInstallSucceeded_ = false;
    return ReportFailure(
        [&]() -> std::int32_t {
            const int i = param_DriverListIndex;
            DriverInstallInfoStruct& P = g_DriverPackageInfDataArray[i];
            InstalledDriverInfo& B = g_InstalledDriverDataArray[i];
            InstalledDriverInfo& A = g_UpdatedDriverDataArray[i];
            std::u16string dateVersion;
            if (param_UpdateRequired == 0) return StateOf(A, B);

            const bool installed = RunInstallSequence(face, &P, &B, &A, i) != 0;
            lastInstallSucceeded_ = installed;
            const UpdateRun& run = updateRun_[i];
            const std::vector<PrinterSettings> keep = PrintersToKeep(run.carried, B);

            // The driver the old printers belong on now: the new one, or the old one when the update
            // failed and the old driver is (still, or again) installed.
            std::u16string home;
            if (installed) {
                home = std::u16string(A.IsInstalled != 0 ? FieldText(A.DriverName) : FieldText(P.DriverName));
            } else if (!keep.empty()) {
                std::uint32_t error = 0;
                InstalledDriverInfo still{};
                if (Lib_GetCurrentDriverInfo(P.HardwareId, B.DriverName, &still, &error))
                    home = std::u16string(FieldText(still.DriverName));
                ClearInstalledDriverInfo(&still);
            }
            if (!keep.empty() && !home.empty()) {
                char16_t driver[kTextField];
                CopyToField(driver, home);
                AddBack(keep, driver);
                if (installed) UI_GetInstalledDriverAndPrinterInfo(&P, &A, dateVersion);
            }
            // Every printer the machine had before the update is there now, or is named.
            if (!keep.empty()) {
                const std::vector<PresentPrinter> present = PresentPrinters(home);
                for (const PrinterSettings& printer : keep) {
                    if (!home.empty() && IsPresent(present, printer)) continue;
                    ++lostPrinterCount_;
                    face.PrinterLost(printer);
                }
            }

            if (installed && i > 0 && A.IsInstalled != 0 && A.PrinterCount == 0) {
                // A copy by value shares the list of its source, which is not refreshed meanwhile.
                InstalledDriverInfo source{};
                bool chosen = false;
                if (HasPrinters(g_UpdatedDriverDataArray[0])) {
                    source = g_UpdatedDriverDataArray[0];
                    chosen = true;
                } else if (HasPrinters(g_InstalledDriverDataArray[0])) {
                    source = g_InstalledDriverDataArray[0];
                    chosen = true;
                }
                if (chosen) {
                    const PrinterInfoData* entry = &source.PrinterList[0];
                    for (std::int32_t k = 0; k < source.PrinterCount; ++k) {
                        if (FieldText(source.PrinterList[k].PortName).find(u"USB") != std::u16string_view::npos) {
                            entry = &source.PrinterList[k];
                            break;
                        }
                    }
                    std::uint32_t error = 0;
                    Lib_AddPrinter(A.DriverName, A.DriverName, entry->PortName, &error);
                    UI_GetInstalledDriverAndPrinterInfo(&P, &A, dateVersion);
                }
            }
            return StateOf(A, B);
        },
        [&](const std::u16string& message) { face.Exception(message); }, static_cast<std::int32_t>(DriverStateFailed));
}

std::int32_t Form1::UI_UpdateDriver(std::int32_t param_UpdateRequired, int param_DriverListIndex)
{
    WizardFace face(*this);
    return UpdateDriverWith(param_UpdateRequired, param_DriverListIndex, face);
}

}  // namespace txr
