// Pieces the spooler layer's files share: the size-first enumeration, the guard that turns an
// exception into the layer's failure, and writable copies of texts for calls that take LPWSTR.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "core/Error.h"
#include "platform/handles.h"
#include "platform/utf.h"
#include "platform/win32api.h"
#include "spooler/SpoolerLayer.h"

namespace txr::spooler {

// A buffer of 8-aligned storage for an enumeration's records and their strings.
struct EnumBuffer {
    std::unique_ptr<std::uint64_t[]> storage;
    win::DWORD count = 0;
    template <typename T> T* Entries() const { return reinterpret_cast<T*>(storage.get()); }
};

enum class EnumOutcome {
    Entries,      // the second call succeeded (count may still be 0)
    Nothing,      // the size request succeeded outright: nothing to enumerate
    SizeFailed,   // the size request failed with another code than the expected one
    SecondFailed  // the second call failed
};

// How many times a size-first enumeration asks again when the needed size grew between its calls.
constexpr int kEnumerateAttempts = 4;

// The two calls of a size-first enumeration: call(buffer, size, &needed, &returned). The size
// request is expected to fail with `tooSmall`. Another process may add an entry between the size
// request and the second call (a printer, a driver): the second call then fails with `tooSmall`
// again and reports the larger size, and the buffer is made again for that size, a bounded number
// of times. After a successful second call the stale `tooSmall` of the size request is cleared from
// the last error, so that a later "not found" does not report it as the reason.
template <typename Call>
EnumOutcome EnumerateSizeFirst(Call call, EnumBuffer& out, win::DWORD tooSmall = win::ERROR_INSUFFICIENT_BUFFER)
{
    win::DWORD needed = 0;
    win::DWORD returned = 0;
    out.storage.reset();
    out.count = 0;
    if (call(static_cast<win::BYTE*>(nullptr), 0, &needed, &returned)) return EnumOutcome::Nothing;
    if (win::GetLastError() != tooSmall) return EnumOutcome::SizeFailed;
    for (int attempt = 1;; ++attempt) {
        const win::DWORD size = needed;
        const std::size_t words = (static_cast<std::size_t>(size) + 7) / 8;
        out.storage.reset(new (std::nothrow) std::uint64_t[words ? words : 1]());
        if (!out.storage) {
            win::SetLastError(win::ERROR_NOT_ENOUGH_MEMORY);
            return EnumOutcome::SecondFailed;
        }
        if (call(reinterpret_cast<win::BYTE*>(out.storage.get()), size, &needed, &returned)) break;
        // Only a size that grew is worth another try; any other failure is the enumeration's.
        if (win::GetLastError() != tooSmall || needed <= size || attempt == kEnumerateAttempts) {
            out.storage.reset();
            return EnumOutcome::SecondFailed;
        }
    }
    out.count = returned;
    win::SetLastError(win::ERROR_SUCCESS);
    return EnumOutcome::Entries;
}

// A zero-terminated writable copy of a text (for parameters typed LPWSTR that the call only reads).
class WritableText {
public:
    explicit WritableText(std::u16string_view text) : text_(text.begin(), text.end()) { text_.push_back(0); }
    win::LPWSTR get() { return text_.data(); }

private:
    std::vector<char16_t> text_;
};

inline std::u16string_view View(const char16_t* text) { return text ? std::u16string_view(text) : std::u16string_view(); }
inline bool Empty(const char16_t* text) { return !text || !*text; }

// Runs one operation; an exception that escapes it is the operation's failure: one that carries a
// message shows it in the error box with the caption label, the last system error becomes the
// error code, and the result is `failure`. The operation's owners have freed what it held by then.
// An exception without a message is silent, or shows the error box for the stored code.
enum class WithoutMessage { Silent, CodeBox };
template <typename Body>
auto Guarded(const char16_t* captionLabel, std::uint32_t* errorCode, Body body, decltype(body()) failure = {},
             WithoutMessage withoutMessage = WithoutMessage::Silent) -> decltype(body())
{
    try {
        return body();
    } catch (const Error& e) {
        ShowErrorBoxText(captionLabel, e.Message());
    } catch (const std::exception& e) {
        ShowErrorBoxText(captionLabel, txt::from_utf8(e.what()));
    } catch (...) {
        const win::DWORD code = win::GetLastError();
        if (errorCode) *errorCode = code;
        if (withoutMessage == WithoutMessage::CodeBox) ShowErrorBox(captionLabel, code);
        return failure;
    }
    // Never 0: callers read a zero code as success or as "nothing there". An exception with no
    // system error behind it comes from the layer's own allocations.
    const win::DWORD code = win::GetLastError();
    if (errorCode) *errorCode = code != 0 ? code : win::ERROR_NOT_ENOUGH_MEMORY;
    return failure;
}

// The error code a step writes, for steps whose caller passed no place for it.
inline void Store(std::uint32_t* errorCode, std::uint32_t value)
{
    if (errorCode) *errorCode = value;
}

// AddPrinterW on the local server at level 2; the handle it returns is closed at once. 1 when the
// printer was added, else 0 with the last error as the error code.
inline std::int32_t AddLocalPrinter(win::PRINTER_INFO_2W& info, std::uint32_t* errorCode)
{
    char16_t server[1] = {0};
    win::unique_printer added(win::AddPrinterW(server, 2, reinterpret_cast<win::BYTE*>(&info)));
    if (!added) {
        Store(errorCode, win::GetLastError());
        return 0;
    }
    Store(errorCode, 0);
    return 1;
}

}  // namespace txr::spooler
