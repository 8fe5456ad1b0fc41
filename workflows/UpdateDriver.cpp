// The per-driver update: install when asked, carry the old driver's printers over to the new one,
// give driver 2 a printer on driver 1's USB port, and report the slot's resulting state.
#include <vector>

#include "core/Form1.h"
#include "platform/utf.h"
#include "spooler/SpoolerLayer.h"

namespace txr {

namespace {

std::int32_t StateOf(const InstalledDriverInfo& after, const InstalledDriverInfo& before)
{
    if (after.IsInstalled != 0) return after.PrinterCount > 0 ? DriverStateWithPrinter : DriverStateNoPrinter;
    if (before.IsInstalled != 0) return before.PrinterCount > 0 ? DriverStateWithPrinter : DriverStateNoPrinter;
    return DriverStateNotInstalled;
}

bool HasPrinters(const InstalledDriverInfo& r) { return r.IsInstalled != 0 && r.PrinterCount > 0 && r.PrinterList; }

// After a failed installation: the removal may already have deleted the old driver's printers while
// the driver itself stayed. Those printers are added back on it, so that a failed update loses no
// printer that can still be kept.
void RestoreLostPrinters(const InstalledDriverInfo& before)
{
    std::uint32_t error = 0;
    const std::int32_t capacity = before.PrinterCount;
    std::vector<PrinterInfoData> present(static_cast<std::size_t>(capacity));
    const std::int32_t found = Lib_GetNumDependentPrinters(before.DriverName, &error) > 0
                                   ? Lib_GetInstalledPrinterInfoList(before.DriverName, capacity, present.data(), &error)
                                   : 0;
    for (std::int32_t k = 0; k < before.PrinterCount; ++k) {
        const PrinterInfoData& lost = before.PrinterList[k];
        bool stillThere = false;
        for (std::int32_t j = 0; j < found && !stillThere; ++j)
            stillThere = txt::iequals(FieldText(present[static_cast<std::size_t>(j)].PrinterName), FieldText(lost.PrinterName));
        if (!stillThere) Lib_AddPrinter(before.DriverName, lost.PrinterName, lost.PortName, &error);
    }
}

}  // namespace

std::int32_t Form1::UpdateDriverWith(std::int32_t param_UpdateRequired, int param_DriverListIndex,
                                     const std::function<std::int32_t(int)>& installDriver,
                                     const std::function<void(const std::u16string&)>& reportError)
{
    try {
        const int i = param_DriverListIndex;
        DriverInstallInfoStruct& P = g_DriverPackageInfDataArray[i];
        InstalledDriverInfo& B = g_InstalledDriverDataArray[i];
        InstalledDriverInfo& A = g_UpdatedDriverDataArray[i];
        std::u16string dateVersion;

        const bool installed = param_UpdateRequired != 0 && installDriver(i) != 0;
        if (param_UpdateRequired != 0 && !installed && HasPrinters(B)) {
            std::uint32_t error = 0;
            InstalledDriverInfo still{};
            if (Lib_GetCurrentDriverInfo(P.HardwareId, B.DriverName, &still, &error)) RestoreLostPrinters(B);
            ClearInstalledDriverInfo(&still);
        }
        if (installed) {
            if (HasPrinters(B)) {
                for (std::int32_t k = 0; k < B.PrinterCount; ++k) {
                    std::uint32_t error = 0;
                    Lib_AddPrinter(A.DriverName, B.PrinterList[k].PrinterName, B.PrinterList[k].PortName, &error);
                }
                UI_GetInstalledDriverAndPrinterInfo(&P, &A, dateVersion);
            }
            if (i > 0 && A.IsInstalled != 0 && A.PrinterCount == 0) {
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
        }
        return StateOf(A, B);
    } catch (const Error& e) {
        reportError(e.Message());
    } catch (const std::exception& e) {
        reportError(txt::from_utf8(e.what()));
    }
    return DriverStateFailed;
}

std::int32_t Form1::UI_UpdateDriver(std::int32_t param_UpdateRequired, int param_DriverListIndex)
{
    return UpdateDriverWith(
        param_UpdateRequired, param_DriverListIndex,
        [this](int i) {
            return UI_BGWInstallDriver(&g_DriverPackageInfDataArray[i], &g_InstalledDriverDataArray[i],
                                       &g_UpdatedDriverDataArray[i], false, u"", i);
        },
        [this](const std::u16string& message) { ShowCaptionedError(message); });
}

}  // namespace txr
