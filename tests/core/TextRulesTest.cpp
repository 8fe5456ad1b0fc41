// The one reading of blanks, integers and calendar dates, and the UTF-8 decoder of the Linux
// entry's argument texts.
#include <cstdint>

#include <gtest/gtest.h>

#include "core/TextRules.h"
#include "platform/utf.h"

namespace {

using txr::IntegerReading;

TEST(TextRules, ReadInt32)
{
    struct Case {
        std::u16string text;
        IntegerReading reading;
        std::int32_t value;
    };
    const Case cases[] = {
        {u"3", IntegerReading::Read, 3},
        {u" +3 ", IntegerReading::Read, 3},
        {u"\t-17\r\n", IntegerReading::Read, -17},
        {u"\u00A003", IntegerReading::Read, 3},          // no-break space
        {u"\u20072023\u3000", IntegerReading::Read, 2023},  // figure space, ideographic space
        {u"2147483647", IntegerReading::Read, INT32_MAX},
        {u"-2147483648", IntegerReading::Read, INT32_MIN},
        {u"2147483648", IntegerReading::OutOfRange, 0},
        {u"-2147483649", IntegerReading::OutOfRange, 0},
        {u"99999999999999999999", IntegerReading::OutOfRange, 0},
        {u"99999999999999999999x", IntegerReading::NotANumber, 0},
        {u"", IntegerReading::NotANumber, 0},
        {u"  ", IntegerReading::NotANumber, 0},
        {u"+", IntegerReading::NotANumber, 0},
        {u"+-3", IntegerReading::NotANumber, 0},
        {u"3 4", IntegerReading::NotANumber, 0},
        {u"1x", IntegerReading::NotANumber, 0},
        {u"0x10", IntegerReading::NotANumber, 0},
        {u"\u0663", IntegerReading::NotANumber, 0},  // an Arabic-Indic digit is not a decimal digit here
        {u"\u200B3", IntegerReading::NotANumber, 0},  // a zero-width space is not a blank
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(txt::to_utf8(c.text));
        std::int32_t value = 12345;
        EXPECT_EQ(txr::ReadInt32(c.text, value), c.reading);
        EXPECT_EQ(value, c.reading == IntegerReading::Read ? c.value : 12345) << "written only when read";
    }
}

TEST(TextRules, CalendarDatesFrom1601To9999)
{
    struct Case {
        int year, month, day;
        bool valid;
    };
    const Case cases[] = {
        {2023, 3, 10, true},    {2024, 2, 29, true},    {2023, 2, 29, false},  {1900, 2, 29, false},
        {2000, 2, 29, true},    {2023, 4, 31, false},   {2023, 12, 31, true},  {2023, 13, 1, false},
        {2023, 0, 1, false},    {2023, 1, 0, false},    {2023, -1, 1, false},  {1601, 1, 1, true},
        {1600, 12, 31, false},  {1, 1, 1, false},       {9999, 12, 31, true},  {10000, 1, 1, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(txr::IsCalendarDate(c.year, c.month, c.day), c.valid) << c.year << "-" << c.month << "-" << c.day;
}

TEST(TextRules, TrimBlanksKeepsInnerText)
{
    EXPECT_EQ(txr::TrimBlanks(u"\u00A0 1.5.27.4 \u202F"), u"1.5.27.4");
    EXPECT_EQ(txr::TrimBlanks(u" a b "), u"a b");
    EXPECT_EQ(txr::TrimBlanks(u"\u2028\u2029\u0085"), u"");
}

// Only well-formed UTF-8 becomes characters; each ill-formed piece is one U+FFFD.
TEST(Utf8Decoding, RefusesOverlongSurrogatesAndValuesBeyondUnicode)
{
    struct Case {
        const char* bytes;
        std::u16string text;
        const char* why;
    };
    const Case cases[] = {
        {"-ipv4", u"-ipv4", "ASCII"},
        {"Gr\xC3\xBC\xC3\x9F" "e", u"Grüße", "two-byte forms"},
        {"\xE2\x82\xAC", u"€", "three bytes"},
        {"\xF0\x9F\x96\xA8", u"\U0001F5A8", "four bytes: a surrogate pair"},
        {"\xF4\x8F\xBF\xBF", u"\U0010FFFF", "the last code point"},
        {"\xC0\xAF", u"\uFFFD\uFFFD", "overlong '/' in two bytes"},
        {"\xC1\xBF", u"\uFFFD\uFFFD", "overlong in two bytes"},
        {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD", "overlong '/' in three bytes"},
        {"\xE0\x9F\xBF", u"\uFFFD\uFFFD\uFFFD", "overlong U+07FF"},
        {"\xF0\x8F\xBF\xBF", u"\uFFFD\uFFFD\uFFFD\uFFFD", "overlong U+FFFF"},
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD", "encoded high surrogate"},
        {"\xED\xBF\xBF", u"\uFFFD\uFFFD\uFFFD", "encoded low surrogate"},
        {"\xED\x9F\xBF", u"\uD7FF", "the last code point before the surrogates"},
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD", "U+110000"},
        {"\xF5\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD", "lead byte beyond Unicode"},
        {"\xFF" "a", u"\uFFFDa", "never a lead byte"},
        {"\x80" "a", u"\uFFFDa", "stray continuation byte"},
        {"\xE2\x82" "a", u"\uFFFDa", "truncated three-byte form, one replacement"},
        {"a\xF0\x9F\x96", u"a\uFFFD", "truncated at the end"},
    };
    for (const auto& c : cases) EXPECT_EQ(txt::from_utf8(c.bytes), c.text) << c.why;
}

}  // namespace
