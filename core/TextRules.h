// The engine's reading rules for numbers and dates in texts that come from outside (the command
// line, an INF's DriverVer line, the spooler's driver record): one notion of a blank, one integer
// reader and one calendar check, so that a text the date display accepts is never refused by the
// update decision or the other way round.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace txr {

// A blank is a Unicode White_Space character (the set String.Trim and Char.IsWhiteSpace of .NET
// use): tab to carriage return, space, U+0085, the no-break spaces U+00A0, U+2007 and U+202F, the
// other spaces of U+2000-U+200A, U+1680, U+2028, U+2029, U+205F and U+3000. A no-break space is
// what a text editor leaves where a person typed a space, and it looks like one.
bool IsBlank(char16_t c);
// The text without blanks at either end.
std::u16string_view TrimBlanks(std::u16string_view text);

enum class IntegerReading {
    Read,        // value holds the number
    NotANumber,  // empty, or something other than an optional sign and decimal digits
    OutOfRange,  // digits, but outside -2147483648..2147483647
};
// A signed decimal integer with blanks around it and one leading sign allowed. value is written
// only when the result is Read.
IntegerReading ReadInt32(std::u16string_view text, std::int32_t& value);

// Whether year, month and day name a day of the Gregorian calendar between 1 January 1601 and
// 31 December 9999. Windows keeps a driver's date as a FILETIME, which starts in 1601, and
// GetDateFormatEx cannot format an earlier day: a driver date before 1601 cannot be real.
bool IsCalendarDate(std::int32_t year, std::int32_t month, std::int32_t day);
// The message for a date that fails IsCalendarDate.
inline constexpr char16_t kNotACalendarDate[] = u"Year, Month, and Day parameters describe an un-representable DateTime.";

}  // namespace txr
