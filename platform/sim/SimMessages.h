// The sim's system message table: the texts FormatMessageW gives for the error codes the installer
// can meet, in English and German, each ending with CR LF as Windows' own do.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sim {

// Empty when the table holds no text for the code.
std::u16string system_message(std::uint32_t code, std::string_view language);

}  // namespace sim
