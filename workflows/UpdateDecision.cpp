// Whether the installer may run on this system, what the machine has installed for a driver (with
// the printers that use it), and whether the package's driver must be installed over it.
#include <array>
#include <cstdlib>
#include <vector>

#include "core/Form1.h"
#include "platform/utf.h"
#include "platform/win32api.h"
#include "spooler/SpoolerLayer.h"

namespace txr {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == 0x0B || c == 0x0C; }

std::u16string Trim(std::u16string_view text)
{
    std::size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b])) ++b;
    while (e > b && IsBlank(text[e - 1])) --e;
    return std::u16string(text.substr(b, e - b));
}

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
    const std::u16string t = Trim(part);
    std::size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) {
        negative = t[i] == u'-';
        ++i;
    }
    if (i == t.size()) throw Error(u"The text \"" + std::u16string(part) + u"\" is not a number.");
    long long v = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < u'0' || t[i] > u'9') throw Error(u"The text \"" + std::u16string(part) + u"\" is not a number.");
        v = v * 10 + (t[i] - u'0');
        if (v > 2147483648LL) throw Error(u"The number \"" + std::u16string(part) + u"\" is out of range.");
    }
    if (negative) v = -v;
    if (v > 2147483647LL) throw Error(u"The number \"" + std::u16string(part) + u"\" is out of range.");
    return static_cast<int>(v);
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

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// The date as one comparable number; a date that is not on the calendar (years 1 to 9999) fails.
long long CalendarDate(const DateParts& d)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (d.year < 1 || d.year > 9999 || d.month < 1 || d.month > 12)
        throw Error(u"Year, month and day do not make a valid date.");
    const int last = kDays[d.month - 1] + (d.month == 2 && IsLeapYear(d.year) ? 1 : 0);
    if (d.day < 1 || d.day > last) throw Error(u"Year, month and day do not make a valid date.");
    return static_cast<long long>(d.year) * 10000 + d.month * 100 + d.day;
}

void CheckVersion(const std::array<int, 4>& v)
{
    for (int n : v)
        if (n < 0) throw Error(u"A version number must not be negative.");
}

std::u16string MessageOf(const std::exception& e) { return txt::from_utf8(e.what()); }

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
    try {
        std::uint32_t error = 0;
        Lib_GetCurrentDriverInfo(param_pDriverPackageInstallInfo->HardwareId, param_pDriverPackageInstallInfo->DriverName,
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
            auto* list = static_cast<PrinterInfoData*>(std::calloc(static_cast<std::size_t>(n), sizeof(PrinterInfoData)));
            if (!list) throw Error(u"Not enough memory for the printer list.");
            param_pInstalledDriverInfo->PrinterList = list;
            Lib_GetInstalledPrinterInfoList(param_pInstalledDriverInfo->DriverName, n, list, &error);
        }
        const std::u16string date =
            UI_GetDateInCurrentCulture(std::u16string(FieldText(param_pInstalledDriverInfo->DriverDate)));
        param_InstalledDriverDateVerStr =
            Trim(date) + u" [" + Trim(FieldText(param_pInstalledDriverInfo->DriverVersion)) + u"]";
        return 1;
    } catch (const Error& e) {
        ShowCaptionedError(e.Message());
    } catch (const std::exception& e) {
        ShowCaptionedError(MessageOf(e));
    }
    return 0;
}

bool Form1::UI_DriverNeedsUpdate(const DriverInstallInfoStruct* param_pDriverPackageInstallInfo,
                                 const InstalledDriverInfo* param_pInstalledDriverInfo)
{
    try {
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
    } catch (const Error& e) {
        ShowCaptionedError(e.Message());
    } catch (const std::exception& e) {
        ShowCaptionedError(MessageOf(e));
    }
    return false;
}

}  // namespace txr
