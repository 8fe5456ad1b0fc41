// The system's message text for a Windows error code: the one FormatMessageW call of the engine.
// The spooler layer's boxes (ErrorCodeToText), the package layer's messages (PackageSystemMessage)
// and the window's error texts (UI_GetMessageTextFromErrorCode) all read it here.
#pragma once

#include <cstdint>
#include <string>

namespace txr {

// The message of the system's message table as the system gives it (its trailing line break
// included), in the system's default language search order; empty when the table has none.
std::u16string SystemMessageText(std::uint32_t code);

}  // namespace txr
