// Last error and FormatMessageW over the sim's system message table.
#include <cstdlib>
#include <cstring>

#include "platform/sim/SimMachine.h"
#include "platform/sim/SimMessages.h"
#include "platform/utf.h"
#include "platform/win/errors.h"

namespace win {

namespace {
thread_local DWORD t_lastError = 0;
}

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD code) { t_lastError = code; }

DWORD FormatMessageW(DWORD flags, LPCVOID, DWORD messageId, DWORD, LPWSTR buffer, DWORD size, void*)
{
    if (auto e = sim::Machine::get().fault("FormatMessageW")) {
        SetLastError(*e);
        return 0;
    }
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::u16string text = sim::system_message(messageId, sim::language());
    if (text.empty()) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    const auto n = static_cast<DWORD>(text.size());
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        auto* out = static_cast<char16_t*>(std::malloc((text.size() + 1) * sizeof(char16_t)));
        if (!out) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        std::memcpy(out, text.c_str(), (text.size() + 1) * sizeof(char16_t));
        *reinterpret_cast<LPWSTR*>(buffer) = out;
        return n;
    }
    if (!buffer || size <= n) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(char16_t));
    return n;
}

HLOCAL LocalFree(HLOCAL mem)
{
    std::free(mem);
    return nullptr;
}

}  // namespace win
