// A driver date ("month/day/year", as an INF's DriverVer line writes it) in the short date form of
// the user's regional settings (not of the wizard's language).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/Form1.h"
#include "package/SystemMessage.h"
#include "platform/win32api.h"

namespace txr {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r') || c == 0xA0; }

// An integer with surrounding white space and a leading sign allowed; nullopt when the text is
// not one or does not fit in 32 bits.
std::optional<std::int32_t> ParseInteger(std::u16string_view text)
{
    std::size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b])) ++b;
    while (e > b && IsBlank(text[e - 1])) --e;
    bool negative = false;
    if (b < e && (text[b] == u'+' || text[b] == u'-')) negative = text[b++] == u'-';
    if (b == e) return std::nullopt;
    std::int64_t value = 0;
    for (std::size_t i = b; i < e; ++i) {
        if (text[i] < u'0' || text[i] > u'9') return std::nullopt;
        value = value * 10 + (text[i] - u'0');
        if (value > 2147483648LL) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

bool IsValidDate(std::int32_t year, std::int32_t month, std::int32_t day)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= days[month - 1] + (month == 2 && leap ? 1 : 0);
}

}  // namespace

std::u16string Form1::UI_GetDateInCurrentCulture(const std::u16string& param_DateStr)
{
    if (param_DateStr.empty()) return {};
    std::vector<std::u16string_view> parts;
    std::size_t start = 0;
    while (true) {
        const auto slash = param_DateStr.find(u'/', start);
        parts.push_back(std::u16string_view(param_DateStr).substr(start, slash == std::u16string::npos ? std::u16string::npos : slash - start));
        if (slash == std::u16string::npos) break;
        start = slash + 1;
    }
    if (parts.size() != 3) return {};

    const auto month = ParseInteger(parts[0]);
    const auto day = ParseInteger(parts[1]);
    const auto year = ParseInteger(parts[2]);
    if (!month || !day || !year) {
        ShowCaptionedError(u"Input string was not in a correct format.");
        return {};
    }
    if (!IsValidDate(*year, *month, *day)) {
        ShowCaptionedError(u"Year, Month, and Day parameters describe an un-representable DateTime.");
        return {};
    }

    win::SYSTEMTIME date{};
    date.wYear = static_cast<win::WORD>(*year);
    date.wMonth = static_cast<win::WORD>(*month);
    date.wDay = static_cast<win::WORD>(*day);
    char16_t locale[win::LOCALE_NAME_MAX_LENGTH] = {};
    char16_t text[80] = {};
    // The user's regional settings: their locale name, then that locale's short date pattern.
    if (!win::GetUserDefaultLocaleName(locale, win::LOCALE_NAME_MAX_LENGTH) ||
        !win::GetDateFormatEx(locale, win::DATE_SHORTDATE, &date, nullptr, text, 80, nullptr)) {
        ShowCaptionedError(PackageSystemMessage(win::GetLastError()));
        return {};
    }
    return std::u16string(FieldText(text));
}

}  // namespace txr
