#include "core/WideText.h"

namespace txr {

bool CopyToBuffer(char16_t* dest, std::size_t capacity, std::u16string_view text)
{
    if (!dest || capacity == 0) return text.empty();
    const std::size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
    for (std::size_t i = 0; i < n; ++i) dest[i] = text[i];
    for (std::size_t i = n; i < capacity; ++i) dest[i] = 0;
    return n == text.size();
}

}  // namespace txr
