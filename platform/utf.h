// UTF-8 <-> UTF-16 conversion and small text helpers shared by the engine and both backends.
#pragma once

#include <string>
#include <string_view>

namespace txt {

std::string to_utf8(std::u16string_view text);
// Ill-formed input (overlong forms, encoded surrogates, values above U+10FFFF, stray or missing
// continuation bytes) gives U+FFFD for each maximal ill-formed subsequence.
std::u16string from_utf8(std::string_view text);
// Length of a zero-terminated UTF-16 text.
std::size_t length(const char16_t* text);
// Upper-case mapping of ASCII and Latin-1 letters, the part of Windows' case folding the
// installer's texts need.
char16_t to_upper(char16_t c);
std::u16string to_upper(std::u16string_view text);
bool iequals(std::u16string_view a, std::u16string_view b);

}  // namespace txt
