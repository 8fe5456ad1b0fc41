#include "package/SystemMessage.h"

#include <string>

#include "core/SystemMessage.h"

namespace txr {

std::u16string PackageSystemMessage(std::uint32_t code)
{
    std::u16string message = SystemMessageText(code);
    if (message.empty()) {
        message = u"Error ";
        for (char c : std::to_string(code)) message += static_cast<char16_t>(c);
    }
    while (!message.empty() && (message.back() == u'\r' || message.back() == u'\n' || message.back() == u' '))
        message.pop_back();
    return message;
}

}  // namespace txr
