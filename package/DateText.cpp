// A driver date ("month/day/year", as an INF's DriverVer line writes it) in the short date form of
// the user's regional settings (not of the wizard's language).
#include <cstdint>
#include <string>
#include <vector>

#include "core/Form1.h"
#include "core/TextRules.h"
#include "package/SystemMessage.h"
#include "platform/win32api.h"

namespace txr {


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

    std::int32_t month = 0, day = 0, year = 0;
    if (ReadInt32(parts[0], month) != IntegerReading::Read || ReadInt32(parts[1], day) != IntegerReading::Read ||
        ReadInt32(parts[2], year) != IntegerReading::Read) {
        ShowCaptionedError(u"Input string was not in a correct format.");
        return {};
    }
    // The same calendar as the update decision's: a date it refuses is not shown either.
    if (!IsCalendarDate(year, month, day)) {
        ShowCaptionedError(kNotACalendarDate);
        return {};
    }

    win::SYSTEMTIME date{};
    date.wYear = static_cast<win::WORD>(year);
    date.wMonth = static_cast<win::WORD>(month);
    date.wDay = static_cast<win::WORD>(day);
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
