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

// PRINTER_STATUS bits the sim keeps in a printer's "status".
inline constexpr win::DWORD kPrinterStatusPaused = 0x1;
inline constexpr win::DWORD kPrinterStatusPendingDeletion = win::PRINTER_STATUS_PENDING_DELETION;

// The spooler's behaviours that Windows documents loosely or not at all, read from the state's
// "spooler.settings" (a missing or mistyped value takes the default, the most likely behaviour).
struct SpoolerSettings {
    // The last error of a call on a printer or Xcv handle opened before the Spooler last stopped.
    win::DWORD staleHandleError = win::ERROR_INVALID_HANDLE;
    // "never": queued jobs stay until a scenario or txr-sim removes them (the device takes none);
    // "spooler_start": the jobs of printers that are not paused are printed when the Spooler starts.
    bool jobsPrintAtSpoolerStart = false;
    // The monitor status of the TCP/IP monitor's AddPort for a name that exists.
    win::DWORD existingPortStatus = win::ERROR_ALREADY_EXISTS;
    // Whether a port of another monitor (LPT1:, USB001) counts as existing for that AddPort.
    bool otherMonitorsPortsExist = true;
    // Whether the TCP/IP monitor refuses host and IP addresses that are neither IPv4 text nor a
    // host name (ERROR_INVALID_PARAMETER).
    bool checkAddresses = true;
};
SpoolerSettings spooler_settings();

// Called when a service settles into a state of its own. The Spooler's stop ends every printer and
// Xcv handle opened before it; its start prints the queued jobs when the settings say so.
void service_settled(const json& service);
// Removes the printers pending deletion whose jobs are gone (each with a printer_deleted event);
// the caller saves.
void remove_finished_printers();

// Whether text is an IPv4 address in dotted-decimal form (four numbers 0-255) or a host name
// (labels of letters, digits and hyphens, the last one not all digits).
bool ipv4_or_host_name(const std::string& text);

// Strict readers of "M/D/YYYY" dates and "a.b.c.d" versions (each part 0-65535), as an INF's
// DriverVer has them.
bool valid_driver_date(const std::string& text);
bool valid_driver_version(const std::string& text);

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
// The Windows path a package with this INF text would have in the driver store, staging nothing.
std::string store_inf_path(const std::string& infName, const std::string& text);

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
