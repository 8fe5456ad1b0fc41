// Fixed UTF-16 text fields. Every write into a field goes through CopyToField, which copies at most
// the field's width minus one and always terminates: nothing is ever written past a field.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace txr {

// The text of a zero-terminated field, up to its first zero (or its whole width when it has none).
template <std::size_t N>
std::u16string_view FieldText(const char16_t (&field)[N])
{
    std::size_t n = 0;
    while (n < N && field[n] != 0) ++n;
    return std::u16string_view(field, n);
}

// The bounded copy: at most capacity-1 units, then a terminator; the rest of the field is zeroed so
// records compare and copy byte for byte. Returns false when the text had to be cut.
bool CopyToBuffer(char16_t* dest, std::size_t capacity, std::u16string_view text);

template <std::size_t N>
bool CopyToField(char16_t (&field)[N], std::u16string_view text)
{
    return CopyToBuffer(field, N, text);
}

template <std::size_t N>
void ClearField(char16_t (&field)[N])
{
    for (auto& c : field) c = 0;
}

template <std::size_t N>
bool FieldEmpty(const char16_t (&field)[N])
{
    return field[0] == 0;
}

// Texts joined in order. Built by appending: GCC 12 at -O3 reports a false -Wrestrict for the
// operator+ of a literal and a temporary string.
inline std::u16string Joined(std::initializer_list<std::u16string_view> parts)
{
    std::u16string text;
    for (std::u16string_view part : parts) text.append(part);
    return text;
}

}  // namespace txr
