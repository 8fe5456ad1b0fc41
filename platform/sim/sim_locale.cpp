// Regional settings of the simulated machine: the user's locale is the machine's /windows/locale,
// and the short date patterns are those Windows ships for the locales the sim knows.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/sim/SimMachine.h"
#include "platform/utf.h"
#include "platform/win/errors.h"
#include "platform/win/locale.h"

namespace win {

namespace {

bool is_leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

bool valid_date(const SYSTEMTIME& d)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (d.wYear < 1601 || d.wYear > 30827 || d.wMonth < 1 || d.wMonth > 12 || d.wDay < 1) return false;
    const int last = days[d.wMonth - 1] + (d.wMonth == 2 && is_leap(d.wYear) ? 1 : 0);
    return d.wDay <= last;
}

// The short date of a locale the sim knows, or nullopt for another locale.
std::optional<std::string> short_date(const std::string& locale, const SYSTEMTIME& d)
{
    char buf[32];
    const std::string l = txt::to_utf8(txt::to_upper(txt::from_utf8(locale)));
    if (l == "EN-US") std::snprintf(buf, sizeof buf, "%u/%u/%04u", d.wMonth, d.wDay, d.wYear);
    else if (l == "DE-DE" || l == "DE-AT" || l == "DE-CH") std::snprintf(buf, sizeof buf, "%02u.%02u.%04u", d.wDay, d.wMonth, d.wYear);
    else if (l == "EN-GB" || l == "FR-FR") std::snprintf(buf, sizeof buf, "%02u/%02u/%04u", d.wDay, d.wMonth, d.wYear);
    else return std::nullopt;
    return std::string(buf);
}

std::string user_locale()
{
    return sim::Machine::get().state().value("/windows/locale"_json_pointer, std::string("de-DE"));
}

}  // namespace

int GetUserDefaultLocaleName(LPWSTR localeName, int cchLocaleName)
{
    auto l = sim::lock();
    if (auto e = sim::Machine::get().fault("GetUserDefaultLocaleName")) {
        SetLastError(*e);
        return 0;
    }
    const std::u16string name = txt::from_utf8(user_locale());
    if (!localeName || cchLocaleName < static_cast<int>(name.size()) + 1) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(localeName, name.c_str(), (name.size() + 1) * sizeof(char16_t));
    return static_cast<int>(name.size()) + 1;
}

int GetDateFormatEx(LPCWSTR localeName, DWORD flags, const SYSTEMTIME* date, LPCWSTR format, LPWSTR dateStr,
                    int cchDate, LPCWSTR calendar)
{
    auto l = sim::lock();
    if (auto e = sim::Machine::get().fault("GetDateFormatEx")) {
        SetLastError(*e);
        return 0;
    }
    // Only the short date of a locale is modelled; a format picture is not.
    if (flags != DATE_SHORTDATE || format) {
        SetLastError(format ? ERROR_INVALID_PARAMETER : ERROR_INVALID_FLAGS);
        return 0;
    }
    if (calendar || !date || !valid_date(*date) || cchDate < 0 || (cchDate > 0 && !dateStr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::string locale = localeName ? txt::to_utf8(localeName) : user_locale();
    const auto text = short_date(locale, *date);
    if (!text) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::u16string w = txt::from_utf8(*text);
    const int needed = static_cast<int>(w.size()) + 1;
    if (cchDate == 0) return needed;
    if (cchDate < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(dateStr, w.c_str(), static_cast<std::size_t>(needed) * sizeof(char16_t));
    return needed;
}

}  // namespace win
