#include "core/TextRules.h"

namespace txr {

bool IsBlank(char16_t c)
{
    return c == u' ' || (c >= u'\t' && c <= u'\r') || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

std::u16string_view TrimBlanks(std::u16string_view text)
{
    std::size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b])) ++b;
    while (e > b && IsBlank(text[e - 1])) --e;
    return text.substr(b, e - b);
}

IntegerReading ReadInt32(std::u16string_view text, std::int32_t& value)
{
    const std::u16string_view t = TrimBlanks(text);
    std::size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) negative = t[i++] == u'-';
    if (i == t.size()) return IntegerReading::NotANumber;
    bool tooLarge = false;
    std::int64_t v = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < u'0' || t[i] > u'9') return IntegerReading::NotANumber;
        if (!tooLarge) v = v * 10 + (t[i] - u'0');
        // Keep reading after an overflow: a letter further on still makes it "not a number".
        if (v > 2147483648LL) tooLarge = true;
    }
    if (negative) v = -v;
    if (tooLarge || v > INT32_MAX || v < INT32_MIN) return IntegerReading::OutOfRange;
    value = static_cast<std::int32_t>(v);
    return IntegerReading::Read;
}

bool IsCalendarDate(std::int32_t year, std::int32_t month, std::int32_t day)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1601 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

}  // namespace txr
