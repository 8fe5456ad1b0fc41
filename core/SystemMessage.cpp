#include "core/SystemMessage.h"

#include "core/Form1.h"
#include "platform/handles.h"
#include "platform/win32api.h"

namespace txr {

std::u16string SystemMessageText(std::uint32_t code)
{
    // The system allocates the buffer (released by the owner with LocalFree); inserts are ignored
    // because the caller has no arguments for them.
    win::unique_local_text text;
    const win::DWORD n = win::FormatMessageW(win::FORMAT_MESSAGE_ALLOCATE_BUFFER | win::FORMAT_MESSAGE_FROM_SYSTEM |
                                                 win::FORMAT_MESSAGE_IGNORE_INSERTS,
                                             nullptr, code, 0, reinterpret_cast<win::LPWSTR>(text.put()), 0, nullptr);
    if (!n || !text) return {};
    return std::u16string(text.get(), n);
}

std::u16string Form1::UI_GetMessageTextFromErrorCode(std::uint32_t param_ErrorCode)
{
    return ReportFailure([&] { return SystemMessageText(param_ErrorCode); },
                         [this](const std::u16string& message) { ShowCaptionedError(message); });
}

}  // namespace txr
