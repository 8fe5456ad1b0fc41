// The system's message text for a Windows error code, for the package layer's own messages.
#pragma once

#include <cstdint>
#include <string>

namespace txr {

// The message table's text without its trailing line break; "Error <code>" when it has none.
std::u16string PackageSystemMessage(std::uint32_t code);

}  // namespace txr
