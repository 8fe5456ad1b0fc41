#include "package/SystemMessage.h"

#include "platform/handles.h"
#include "platform/win32api.h"

namespace txr {

std::u16string PackageSystemMessage(std::uint32_t code)
{
    win::unique_local_text text;
    const win::DWORD n = win::FormatMessageW(win::FORMAT_MESSAGE_ALLOCATE_BUFFER | win::FORMAT_MESSAGE_FROM_SYSTEM |
                                                 win::FORMAT_MESSAGE_IGNORE_INSERTS,
                                             nullptr, code, 0, reinterpret_cast<win::LPWSTR>(text.put()), 0, nullptr);
    std::u16string message;
    if (n && text) {
        message.assign(text.get(), n);
    } else {
        message = u"Error ";
        for (char c : std::to_string(code)) message += static_cast<char16_t>(c);
    }
    while (!message.empty() && (message.back() == u'\r' || message.back() == u'\n' || message.back() == u' '))
        message.pop_back();
    return message;
}

}  // namespace txr
