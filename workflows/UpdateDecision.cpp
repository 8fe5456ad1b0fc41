// Whether the installer may run on this system, what the machine has installed for a driver (with
// the printers that use it), and whether the package's driver must be installed over it.
#include <array>
#include <cstdlib>
#include <vector>

#include "core/Form1.h"
#include "core/TextRules.h"
#include "platform/utf.h"
#include "platform/win32api.h"
#include "spooler/SpoolerLayer.h"

namespace txr {

namespace {

std::u16string Trim(std::u16string_view text) { return std::u16string(TrimBlanks(text)); }

std::vector<std::u16string_view> Split(std::u16string_view text, char16_t separator)
{
    std::vector<std::u16string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t pos = text.find(separator, start);
        if (pos == std::u16string_view::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, pos - start));
        start = pos + 1;
    }
}

// One part of a date or a version: a signed decimal integer in the 32-bit range, blanks around it
// and a leading sign allowed.
int ParsePart(std::u16string_view part)
{
    std::int32_t value = 0;
    switch (ReadInt32(part, value)) {
    case IntegerReading::Read: return value;
    case IntegerReading::OutOfRange: throw Error(u"The number \"" + std::u16string(part) + u"\" is out of range.");
    case IntegerReading::NotANumber: break;
    }
    throw Error(u"The text \"" + std::u16string(part) + u"\" is not a number.");
}

struct DateParts {
    int month = 0, day = 0, year = 0;
};

// Month/day/year; anything but exactly three parts leaves all three at 0.
DateParts ParseDate(std::u16string_view text)
{
    DateParts d;
    const auto parts = Split(text, u'/');
    if (parts.size() == 3) {
        d.month = ParsePart(parts[0]);
        d.day = ParsePart(parts[1]);
        d.year = ParsePart(parts[2]);
    }
    return d;
}

// Four dotted numbers; anything but exactly four parts leaves all four at 0.
std::array<int, 4> ParseVersion(std::u16string_view text)
{
    std::array<int, 4> v{0, 0, 0, 0};
    const auto parts = Split(text, u'.');
    if (parts.size() == 4)
        for (std::size_t i = 0; i < 4; ++i) v[i] = ParsePart(parts[i]);
    return v;
}

// The date as one comparable number; a date that is not on the calendar fails, with the message
// the date display shows for it.
long long CalendarDate(const DateParts& d)
{
    if (!IsCalendarDate(d.year, d.month, d.day)) throw Error(kNotACalendarDate);
    return static_cast<long long>(d.year) * 10000 + d.month * 100 + d.day;
}

void CheckVersion(const std::array<int, 4>& v)
{
    for (int n : v)
        if (n < 0) throw Error(u"A version number must not be negative.");
}


}  // namespace

std::int32_t Form1::UI_CanInstallerRun(std::u16string& param_ErrorStr)
{
    const bool process64 = win::Is64BitProcess() != 0;
    // A 64-bit process runs on 64-bit Windows only; a 32-bit one learns it from WOW64.
    win::BOOL wow64 = win::FALSE;
    const bool system64 = process64 || (win::IsWow64Process(win::GetCurrentProcess(), &wow64) && wow64);
    if (process64 == system64) return 1;
    param_ErrorStr = process64 ? Str("StrRes_32bitOS_Error") : Str("StrRes_WOW64_Error");
    return 0;
}

std::int32_t Form1::UI_GetInstalledDriverAndPrinterInfo(const DriverInstallInfoStruct* param_pDriverPackageInstallInfo,
                                                        InstalledDriverInfo* param_pInstalledDriverInfo,
                                                        std::u16string& param_InstalledDriverDateVerStr)
{
    return ReportFailure(
        [&]() -> std::int32_t {
            std::uint32_t error = 0;
            Lib_GetCurrentDriverInfo(param_pDriverPackageInstallInfo->HardwareId,
                                     param_pDriverPackageInstallInfo->DriverName,
                                     param_pInstalledDriverInfo, &error);
            if (param_pInstalledDriverInfo->IsInstalled == 0) {
                param_InstalledDriverDateVerStr = u"X";
                return 1;
            }
            const std::int32_t n = Lib_GetNumDependentPrinters(param_pInstalledDriverInfo->DriverName, &error);
            // The record owns its list; a list left from an earlier refresh goes first.
            std::free(param_pInstalledDriverInfo->PrinterList);
            param_pInstalledDriverInfo->PrinterList = nullptr;
            param_pInstalledDriverInfo->PrinterCount = n > 0 ? n : 0;
            if (n > 0) {
                auto* list =
                    static_cast<PrinterInfoData*>(std::calloc(static_cast<std::size_t>(n), sizeof(PrinterInfoData)));
                if (!list) throw Error(u"Not enough memory for the printer list.");
                param_pInstalledDriverInfo->PrinterList = list;
                Lib_GetInstalledPrinterInfoList(param_pInstalledDriverInfo->DriverName, n, list, &error);
            }
            const std::u16string date =
                UI_GetDateInCurrentCulture(std::u16string(FieldText(param_pInstalledDriverInfo->DriverDate)));
            param_InstalledDriverDateVerStr =
                Trim(date) + u" [" + Trim(FieldText(param_pInstalledDriverInfo->DriverVersion)) + u"]";
            return 1;
        },
        [this](const std::u16string& message) { ShowCaptionedError(message); });
}

bool Form1::UI_DriverNeedsUpdate(const DriverInstallInfoStruct* param_pDriverPackageInstallInfo,
                                 const InstalledDriverInfo* param_pInstalledDriverInfo)
{
    return ReportFailure(
        [&]() -> bool {
            bool result = false;
            const std::u16string_view packageDate = FieldText(param_pDriverPackageInstallInfo->DriverDate);
            const std::u16string_view installedDate = FieldText(param_pInstalledDriverInfo->DriverDate);
            const std::u16string_view packageVersion = FieldText(param_pDriverPackageInstallInfo->DriverVersion);
            const std::u16string_view installedVersion = FieldText(param_pInstalledDriverInfo->DriverVersion);

            const DateParts pd = ParseDate(packageDate);
            const DateParts id = ParseDate(installedDate);
            const auto pv = ParseVersion(packageVersion);
            const auto iv = ParseVersion(installedVersion);

            // Nothing installed, or nothing known about it.
            if (installedDate.empty() || installedVersion.empty()) return true;

            const long long packageDay = CalendarDate(pd);
            const long long installedDay = CalendarDate(id);
            CheckVersion(pv);
            CheckVersion(iv);
            if (packageDay > installedDay) {
                result = true;
            } else if (packageDay == installedDay) {
                for (std::size_t i = 0; i < 4; ++i) {
                    if (pv[i] == iv[i]) continue;
                    result = pv[i] > iv[i];
                    break;
                }
            }
            return result;
        },
        [this](const std::u16string& message) { ShowCaptionedError(message); }, false);
}

}  // namespace txr
