#include "platform/utf.h"

namespace txt {

std::string to_utf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;  // a lone surrogate
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string from_utf8(std::string_view text)
{
    // Well-formed UTF-8 only (the table of the Unicode standard, section 3.9): no overlong forms,
    // no encoded surrogates (U+D800-U+DFFF), nothing above U+10FFFF. Each maximal ill-formed
    // subsequence becomes one U+FFFD, and reading resumes at the byte that broke it.
    std::u16string out;
    out.reserve(text.size());
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char b = byte(i);
        if (b < 0x80) {
            out += static_cast<char16_t>(b);
            ++i;
            continue;
        }
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
        char32_t c = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
            c = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            c = b & 0x0F;
            if (b == 0xE0) low = 0xA0;   // below: overlong
            if (b == 0xED) high = 0x9F;  // above: a surrogate
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            c = b & 0x07;
            if (b == 0xF0) low = 0x90;   // below: overlong
            if (b == 0xF4) high = 0x8F;  // above: beyond U+10FFFF
        }
        std::size_t k = 1;
        if (length) {
            for (; k < length && i + k < text.size(); ++k) {
                const unsigned char cb = byte(i + k);
                const unsigned char lo = k == 1 ? low : 0x80, hi = k == 1 ? high : 0xBF;
                if (cb < lo || cb > hi) break;
                c = (c << 6) | (cb & 0x3F);
            }
        }
        if (!length || k < length) {
            out += static_cast<char16_t>(0xFFFD);
            i += k;
            continue;
        }
        i += length;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

std::size_t length(const char16_t* text)
{
    std::size_t n = 0;
    if (text)
        while (text[n]) ++n;
    return n;
}

char16_t to_upper(char16_t c)
{
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
    return c;
}

std::u16string to_upper(std::u16string_view text)
{
    std::u16string out(text);
    for (auto& c : out) c = to_upper(c);
    return out;
}

bool iequals(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (to_upper(a[i]) != to_upper(b[i])) return false;
    return true;
}

}  // namespace txt
