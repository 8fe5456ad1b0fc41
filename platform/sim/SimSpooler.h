// Shared pieces of the sim's spooler, driver store, devices and services: state access, INF facts,
// driver-store staging and plug and play. Used by the sim's backend files and by txr-sim.
#pragma once

#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/SimMachine.h"
#include "platform/win/errors.h"
#include "platform/win/spooler.h"
#include "platform/win/types.h"

namespace sim::spool {

inline constexpr const char* kPrinterClassGuid = "{4d36e979-e325-11ce-bfc1-08002be10318}";
inline constexpr const char* kFileRepository = "C:\\Windows\\System32\\DriverStore\\FileRepository";

// The environment the caller's bitness implies ("Windows x64" / "Windows NT x86").
std::string caller_environment();
// Whether the Spooler service is running; the spooler's functions fail with
// RPC_S_SERVER_UNAVAILABLE while it is not.
bool spooler_running();
json* find_service(const std::string& name);

// "1.5.27.4" <-> DWORDLONG; "03/10/2023" -> FILETIME.
win::DWORDLONG version_value(const std::string& text);
win::FILETIME date_value(const std::string& text);

// What an INF says: DriverVer date and version, provider, and its models with their hardware IDs.
struct InfFacts {
    std::string date, version, provider;
    std::vector<std::pair<std::string, std::string>> models;  // (model name, first hardware ID)
};
std::optional<InfFacts> read_inf(const std::filesystem::path& host);

// Copies an INF into the driver store (a folder "<inf name>_amd64_<16 hex>") and returns the Windows
// path of the copy.
std::string stage_package(const std::filesystem::path& hostInf, const std::string& infName);
// Seeds a store package that has no source file (txr-sim); returns its Windows path.
std::string stage_package_text(const std::string& infName, const std::string& text);

// Strings packed after the fixed-size entries of an enumeration buffer.
struct StringArea {
    win::BYTE* base;
    std::size_t pos;
    bool write;
    win::LPWSTR put(const std::u16string& s)
    {
        const std::size_t bytes = (s.size() + 1) * sizeof(win::WCHAR);
        win::LPWSTR p = write ? reinterpret_cast<win::LPWSTR>(base + pos) : nullptr;
        if (write) std::memcpy(base + pos, s.c_str(), bytes);
        pos += bytes;
        return p;
    }
    win::LPWSTR put_opt(const std::u16string& s) { return s.empty() ? nullptr : put(s); }
};


// The size-first packing every sim enumeration uses.
template <typename T, typename Fill>
win::BOOL pack_entries(const std::vector<const json*>& items, Fill fill, win::BYTE* buf, win::DWORD cb,
                       win::DWORD* needed, win::DWORD* returned, win::DWORD tooSmall)
{
    using namespace win;
    if (!needed || !returned) {
        SetLastError(RPC_X_NULL_REF_POINTER);
        return FALSE;
    }
    if (!buf && cb) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    StringArea count{nullptr, items.size() * sizeof(T), false};
    for (const json* it : items) {
        T dummy{};
        fill(dummy, count, *it);
    }
    const std::size_t total = items.empty() ? 0 : count.pos;
    *needed = static_cast<DWORD>(total);
    if (cb < total) {
        *returned = 0;
        SetLastError(tooSmall);
        return FALSE;
    }
    StringArea w{buf, items.size() * sizeof(T), true};
    for (std::size_t i = 0; i < items.size(); ++i) {
        T e{};
        fill(e, w, *items[i]);
        std::memcpy(buf + i * sizeof(T), &e, sizeof(T));
    }
    *returned = static_cast<DWORD>(items.size());
    return TRUE;
}

// True, with the injected error as the last error, when a fault is due for this call of op: the
// caller then returns its failure value.
inline bool injected_failure(const char* op)
{
    if (auto e = Machine::get().fault(op)) {
        win::SetLastError(*e);
        return true;
    }
    return false;
}

std::string upper(std::string s);
bool iequal8(const std::string& a, const std::string& b);

}  // namespace sim::spool
