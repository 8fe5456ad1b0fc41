// The simulated print spooler: drivers, printers, ports, the Standard TCP/IP port monitor behind
// XcvDataW, and the driver store's packages (folders under FileRepository on the sim's drive).
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <vector>

#include "platform/sim/SimElevation.h"
#include "platform/sim/SimMachine.h"
#include "platform/sim/SimPnp.h"
#include "platform/sim/SimSpooler.h"
#include "platform/sim/SimTrust.h"
#include "platform/utf.h"
#include "platform/win/errors.h"
#include "platform/win/spooler.h"

namespace fs = std::filesystem;

namespace sim::spool {

std::string upper(std::string s)
{
    for (auto& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}
bool iequal8(const std::string& a, const std::string& b) { return txt::iequals(txt::from_utf8(a), txt::from_utf8(b)); }

std::string caller_environment()
{
    return Machine::get().state().value("/process/bits"_json_pointer, 64) == 64 ? "Windows x64" : "Windows NT x86";
}

json* find_service(const std::string& name)
{
    auto& s = Machine::get().state();
    if (!s.contains("services")) return nullptr;
    for (auto& sv : s["services"])
        if (iequal8(sv.value("name", std::string()), name)) return &sv;
    return nullptr;
}

bool spooler_running()
{
    const json* sp = find_service("Spooler");
    return sp && sp->value("state", std::string()) == "running";
}

win::DWORDLONG version_value(const std::string& text)
{
    win::DWORDLONG v = 0;
    std::stringstream ss(text);
    std::string part;
    for (int i = 0; i < 4; ++i) {
        unsigned long n = 0;
        if (std::getline(ss, part, '.')) n = std::strtoul(part.c_str(), nullptr, 10);
        v = (v << 16) | (n & 0xFFFF);
    }
    return v;
}

namespace {
long long days_from_civil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}
}  // namespace

win::FILETIME date_value(const std::string& text)
{
    unsigned m = 0, d = 0;
    long long y = 0;
    char s1 = 0, s2 = 0;
    std::stringstream ss(text);
    ss >> m >> s1 >> d >> s2 >> y;
    win::FILETIME ft{};
    if (!ss && !ss.eof()) return ft;
    if (m < 1 || m > 12 || d < 1 || d > 31 || y < 1601) return ft;
    const unsigned long long ticks =
        static_cast<unsigned long long>(days_from_civil(y, m, d) + 134774) * 86400ull * 10000000ull;
    ft.dwLowDateTime = static_cast<win::DWORD>(ticks & 0xFFFFFFFFu);
    ft.dwHighDateTime = static_cast<win::DWORD>(ticks >> 32);
    return ft;
}

namespace {
std::string trim(std::string s)
{
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}
std::string unquote(std::string s)
{
    s = trim(s);
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
    return s;
}
}  // namespace

std::optional<InfFacts> read_inf(const fs::path& host)
{
    std::ifstream in(host, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::pair<std::string, std::string>> lines;  // (section, line)
    std::map<std::string, std::string> strings;
    std::string section, line;
    while (std::getline(in, line)) {
        if (auto sc = line.find(';'); sc != std::string::npos && line.find('"') == std::string::npos)
            line = line.substr(0, sc);
        line = trim(line);
        if (line.empty()) continue;
        if (line.front() == '[') {
            section = upper(trim(line.substr(1, line.find(']') - 1)));
            continue;
        }
        if (section == "STRINGS") {
            auto eq = line.find('=');
            if (eq != std::string::npos) strings[upper(trim(line.substr(0, eq)))] = unquote(line.substr(eq + 1));
            continue;
        }
        lines.emplace_back(section, line);
    }
    auto resolve = [&](std::string v) {
        v = unquote(v);
        if (v.size() > 2 && v.front() == '%' && v.back() == '%') {
            auto it = strings.find(upper(v.substr(1, v.size() - 2)));
            if (it != strings.end()) return it->second;
        }
        return v;
    };
    InfFacts f;
    std::vector<std::string> modelSections;
    for (auto& [sec, l] : lines) {
        auto eq = l.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = upper(trim(l.substr(0, eq)));
        const std::string value = trim(l.substr(eq + 1));
        if (sec == "VERSION" && key == "DRIVERVER") {
            auto comma = value.find(',');
            f.date = trim(value.substr(0, comma));
            if (comma != std::string::npos) f.version = trim(value.substr(comma + 1));
        } else if (sec == "VERSION" && key == "PROVIDER") {
            f.provider = resolve(value);
        } else if (sec == "MANUFACTURER") {
            std::stringstream ss(value);
            std::string base, deco;
            std::getline(ss, base, ',');
            base = upper(trim(base));
            modelSections.push_back(base);
            while (std::getline(ss, deco, ',')) modelSections.push_back(base + "." + upper(trim(deco)));
        }
    }
    for (auto& [sec, l] : lines) {
        if (std::find(modelSections.begin(), modelSections.end(), sec) == modelSections.end()) continue;
        auto eq = l.find('=');
        if (eq == std::string::npos) continue;
        const std::string model = resolve(l.substr(0, eq));
        std::stringstream ss(l.substr(eq + 1));
        std::string install, hwid;
        std::getline(ss, install, ',');
        std::getline(ss, hwid, ',');
        hwid = trim(hwid);
        bool seen = false;
        for (auto& [mn, h] : f.models) seen = seen || (iequal8(mn, model) && iequal8(h, hwid));
        if (!seen) f.models.emplace_back(model, hwid);
    }
    return f;
}

namespace {
std::string folder_for(const std::string& infName, const std::string& text)
{
    const std::size_t h = std::hash<std::string>{}(text + infName);
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
    const bool x86 = Machine::get().state().value("/windows/bits"_json_pointer, 64) == 32;
    std::string lower = infName;
    for (auto& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower + (x86 ? "_x86_" : "_amd64_") + hex;
}
}  // namespace

std::string store_inf_path(const std::string& infName, const std::string& text)
{
    return std::string(kFileRepository) + "\\" + folder_for(infName, text) + "\\" + infName;
}

std::string stage_package_text(const std::string& infName, const std::string& text)
{
    auto& m = Machine::get();
    const std::string folder = folder_for(infName, text);
    const std::string winPath = store_inf_path(infName, text);
    auto dir = m.map_path(txt::from_utf8(std::string(kFileRepository) + "\\" + folder));
    std::error_code ec;
    fs::create_directories(*dir, ec);
    std::ofstream(*dir / infName, std::ios::binary | std::ios::trunc) << text;
    return winPath;
}

std::string stage_package(const fs::path& hostInf, const std::string& infName)
{
    std::ifstream in(hostInf, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return stage_package_text(infName, ss.str());
}

namespace {

// A number of the state, or the fallback when it is missing or not a number that fits a DWORD.
win::DWORD state_number(const json& j, const char* key, win::DWORD fallback)
{
    auto it = j.find(key);
    if (it == j.end() || !it->is_number_integer() || it->get<long long>() < 0 || it->get<long long>() > 0xFFFFFFFFll)
        return fallback;
    return static_cast<win::DWORD>(it->get<long long>());
}
bool state_flag(const json& j, const char* key, bool fallback)
{
    auto it = j.find(key);
    return it != j.end() && it->is_boolean() ? it->get<bool>() : fallback;
}

}  // namespace

SpoolerSettings spooler_settings()
{
    const json& state = Machine::get().state();
    const json none = json::object();
    const auto sp = state.find("spooler");
    const json& s = sp != state.end() && sp->is_object() && sp->contains("settings") && (*sp)["settings"].is_object()
                        ? (*sp)["settings"]
                        : none;
    SpoolerSettings out;
    out.staleHandleError = state_number(s, "stale_handle_error", out.staleHandleError);
    const auto jobs = s.find("jobs_finish");
    out.jobsPrintAtSpoolerStart = jobs != s.end() && jobs->is_string() && jobs->get<std::string>() == "spooler_start";
    out.existingPortStatus = state_number(s, "tcp_existing_port_status", out.existingPortStatus);
    out.otherMonitorsPortsExist = state_flag(s, "tcp_other_monitors_ports_exist", out.otherMonitorsPortsExist);
    out.checkAddresses = state_flag(s, "tcp_check_addresses", out.checkAddresses);
    return out;
}

namespace {

// Bumped each time the Spooler stops: a printer or Xcv handle remembers the generation it was
// opened in, and one from an earlier generation names a context the restarted spooler never knew.
std::uint64_t& spooler_generation()
{
    static std::uint64_t generation = 0;
    return generation;
}

bool all_digits(const std::string& s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Splits at every separator; empty parts are kept.
std::vector<std::string> split(const std::string& s, char separator)
{
    std::vector<std::string> parts(1);
    for (char c : s) {
        if (c == separator) parts.emplace_back();
        else parts.back() += c;
    }
    return parts;
}

}  // namespace

void remove_finished_printers()
{
    auto& m = Machine::get();
    auto& printers = m.state()["spooler"]["printers"];
    if (!printers.is_array()) return;
    for (std::size_t i = printers.size(); i-- > 0;) {
        const json& p = printers[i];
        if (!(state_number(p, "status", 0) & kPrinterStatusPendingDeletion) || state_number(p, "jobs", 0) != 0) continue;
        const std::string name = p.value("name", std::string());
        printers.erase(i);
        m.event({{"type", "printer_deleted"}, {"name", name}});
    }
}

void service_settled(const json& service)
{
    if (!service.is_object() || !iequal8(service.value("name", std::string()), "Spooler")) return;
    const std::string state = service.value("state", std::string());
    if (state == "stopped") ++spooler_generation();
    if (state != "running" || !spooler_settings().jobsPrintAtSpoolerStart) return;
    auto& printers = Machine::get().state()["spooler"]["printers"];
    if (!printers.is_array()) return;
    for (auto& p : printers)
        if (!(state_number(p, "status", 0) & kPrinterStatusPaused) && state_number(p, "jobs", 0) != 0) p["jobs"] = 0;
    remove_finished_printers();
}

bool ipv4_or_host_name(const std::string& text)
{
    if (text.empty() || text.size() > 253) return false;
    const std::vector<std::string> labels = split(text, '.');
    // Numbers only: an IPv4 address, four numbers 0-255 without leading zeros.
    if (std::all_of(labels.begin(), labels.end(), all_digits)) {
        if (labels.size() != 4) return false;
        for (const auto& l : labels)
            if (l.size() > 3 || (l.size() > 1 && l[0] == '0') || std::stoi(l) > 255) return false;
        return true;
    }
    for (const auto& l : labels) {
        if (l.empty() || l.size() > 63 || l.front() == '-' || l.back() == '-') return false;
        for (char c : l)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') return false;
    }
    // A name whose last label is a number is a mistyped address, not a host name.
    return !all_digits(labels.back());
}

bool valid_driver_date(const std::string& text)
{
    const std::vector<std::string> parts = split(text, '/');
    if (parts.size() != 3 || !all_digits(parts[0]) || !all_digits(parts[1]) || !all_digits(parts[2]) ||
        parts[0].size() > 2 || parts[1].size() > 2 || parts[2].size() != 4)
        return false;
    const int m = std::stoi(parts[0]), d = std::stoi(parts[1]), y = std::stoi(parts[2]);
    if (y < 1601 || m < 1 || m > 12 || d < 1) return false;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    const int days[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return d <= days[m - 1];
}

bool valid_driver_version(const std::string& text)
{
    const std::vector<std::string> parts = split(text, '.');
    if (parts.size() != 4) return false;
    for (const auto& p : parts)
        if (!all_digits(p) || p.size() > 5 || std::stoul(p) > 0xFFFF) return false;
    return true;
}

}  // namespace sim::spool

namespace win {

namespace {

using sim::json;
using namespace sim::spool;

json& sp() { return sim::Machine::get().state()["spooler"]; }

std::string s8(LPCWSTR p) { return p ? txt::to_utf8(p) : std::string(); }
std::u16string jstr(const json& j, const char* key)
{
    auto it = j.find(key);
    if (it == j.end() || !it->is_string()) return {};
    return txt::from_utf8(it->get<std::string>());
}

}  // namespace
}  // namespace win

// ---- security descriptors ---------------------------------------------------------------------
// A printer's security descriptor is kept in the state as the hex text of its self-relative bytes.
// The sim reads a descriptor as Windows does: from its header, without a length, so a descriptor
// handed in by a caller is checked part by part before anything is stored.
namespace win {

namespace {

WORD read16(const BYTE* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }
DWORD read32(const BYTE* p) { return static_cast<DWORD>(p[0] | (p[1] << 8) | (p[2] << 16)) | (static_cast<DWORD>(p[3]) << 24); }

// Descriptors a caller hands in are read without a bound, as Windows reads them; stored bytes are
// read within their length (`avail`).
constexpr DWORD kUnbounded = 0xFFFFFFFFu;

// SID: revision 1, at most 15 sub-authorities; 0 when malformed.
DWORD sid_length(const BYTE* sid, DWORD avail)
{
    if (avail < 8 || sid[0] != 1 || sid[1] > 15) return 0;
    const DWORD n = 8u + 4u * sid[1];
    return n <= avail ? n : 0;
}

// ACL: revision 2 to 4, its size a multiple of 4 that holds its header and every ACE; 0 when
// malformed.
DWORD acl_length(const BYTE* acl, DWORD avail)
{
    if (avail < 8) return 0;
    const DWORD size = read16(acl + 2), count = read16(acl + 4);
    if (acl[0] < 2 || acl[0] > 4 || size < 8 || size % 4 != 0 || size > avail) return 0;
    DWORD pos = 8;
    for (DWORD i = 0; i < count; ++i) {
        if (pos + 4 > size) return 0;
        const DWORD ace = read16(acl + pos + 2);
        if (ace < 8 || ace % 4 != 0 || pos + ace > size) return 0;
        pos += ace;
    }
    return size;
}

// The header of an absolute descriptor: the parts are pointers.
struct AbsoluteDescriptor {
    BYTE Revision;
    BYTE Sbz1;
    WORD Control;
    BYTE* Owner;
    BYTE* Group;
    BYTE* Sacl;
    BYTE* Dacl;
};

// The bytes a valid descriptor covers (self-relative: up to the end of its last part; absolute: its
// header and its parts), or 0 when it is not valid.
DWORD descriptor_length(const void* sd, DWORD avail = kUnbounded)
{
    if (!sd || avail < SECURITY_DESCRIPTOR_MIN_LENGTH_RELATIVE) return 0;
    const auto* b = static_cast<const BYTE*>(sd);
    const WORD control = read16(b + 2);
    if (b[0] != SECURITY_DESCRIPTOR_REVISION) return 0;
    if (control & SE_SELF_RELATIVE) {
        struct Part {
            DWORD offset;
            bool acl;
        };
        std::vector<Part> parts;
        for (DWORD at : {4u, 8u})
            if (read32(b + at)) parts.push_back({read32(b + at), false});
        if ((control & SE_SACL_PRESENT) && read32(b + 12)) parts.push_back({read32(b + 12), true});
        if ((control & SE_DACL_PRESENT) && read32(b + 16)) parts.push_back({read32(b + 16), true});
        DWORD end = SECURITY_DESCRIPTOR_MIN_LENGTH_RELATIVE;
        for (const Part& p : parts) {
            if (p.offset < SECURITY_DESCRIPTOR_MIN_LENGTH_RELATIVE || p.offset >= avail) return 0;
            const DWORD left = avail == kUnbounded ? kUnbounded : avail - p.offset;
            const DWORD n = p.acl ? acl_length(b + p.offset, left) : sid_length(b + p.offset, left);
            if (!n) return 0;
            end = std::max(end, p.offset + n);
        }
        return end;
    }
    if (avail != kUnbounded) return 0;  // stored bytes are always self-relative
    AbsoluteDescriptor a;
    std::memcpy(&a, sd, sizeof a);
    DWORD total = sizeof a;
    for (const BYTE* sid : {a.Owner, a.Group})
        if (sid) {
            const DWORD n = sid_length(sid, kUnbounded);
            if (!n) return 0;
            total += n;
        }
    for (const BYTE* acl : {(control & SE_SACL_PRESENT) ? a.Sacl : nullptr, (control & SE_DACL_PRESENT) ? a.Dacl : nullptr})
        if (acl) {
            const DWORD n = acl_length(acl, kUnbounded);
            if (!n) return 0;
            total += n;
        }
    return total;
}

// A printer's security when AddPrinterW is given none: owner Administrators, group SYSTEM, and a
// DACL that lets Everyone print (PRINTER_ACCESS_USE | READ_CONTROL) and Administrators manage the
// printer (PRINTER_ALL_ACCESS): O:BAG:SYD:(A;;0x20008;;;WD)(A;;0xF000C;;;BA), 100 bytes.
constexpr BYTE kDefaultPrinterSecurity[] = {
    0x01, 0x00, 0x04, 0x80, 0x14, 0x00, 0x00, 0x00, 0x24, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // header
    0x30, 0x00, 0x00, 0x00,
    0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x20, 0x00, 0x00, 0x00, 0x20, 0x02, 0x00, 0x00,  // S-1-5-32-544
    0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x12, 0x00, 0x00, 0x00,                          // S-1-5-18
    0x02, 0x00, 0x34, 0x00, 0x02, 0x00, 0x00, 0x00,                                                  // DACL
    0x00, 0x00, 0x14, 0x00, 0x08, 0x00, 0x02, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01,  // Everyone
    0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x18, 0x00, 0x0C, 0x00, 0x0F, 0x00, 0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05,  // Administrators
    0x20, 0x00, 0x00, 0x00, 0x20, 0x02, 0x00, 0x00,
};
static_assert(sizeof kDefaultPrinterSecurity == 100);

std::string to_hex(const BYTE* bytes, std::size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        s += digits[bytes[i] >> 4];
        s += digits[bytes[i] & 15];
    }
    return s;
}

std::vector<BYTE> from_hex(const std::string& s)
{
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::vector<BYTE> out;
    if (s.size() % 2 != 0) return {};
    for (std::size_t i = 0; i < s.size(); i += 2) {
        const int hi = nibble(s[i]), lo = nibble(s[i + 1]);
        if (hi < 0 || lo < 0) return {};
        out.push_back(static_cast<BYTE>(hi << 4 | lo));
    }
    return out;
}

// The stored descriptor of a printer as self-relative bytes; a printer seeded without one (or with
// one that does not read as a valid descriptor) has the default security, as every printer on
// Windows has some.
std::vector<BYTE> printer_security(const json& p)
{
    std::vector<BYTE> sd = from_hex(p.value("security_descriptor", std::string()));
    if (const DWORD n = descriptor_length(sd.data(), static_cast<DWORD>(sd.size()))) {
        sd.resize(n);
        return sd;
    }
    return {std::begin(kDefaultPrinterSecurity), std::end(kDefaultPrinterSecurity)};
}

// The hex text to store for a descriptor a caller handed in (already checked).
std::string stored_security(const void* sd)
{
    const auto* b = static_cast<const BYTE*>(sd);
    if (read16(b + 2) & SE_SELF_RELATIVE) return to_hex(b, descriptor_length(sd));
    // An absolute descriptor is stored in its self-relative form.
    AbsoluteDescriptor a;
    std::memcpy(&a, sd, sizeof a);
    std::vector<BYTE> out(SECURITY_DESCRIPTOR_MIN_LENGTH_RELATIVE, 0);
    out[0] = a.Revision;
    const WORD control = static_cast<WORD>(a.Control | SE_SELF_RELATIVE);
    out[2] = static_cast<BYTE>(control & 0xFF);
    out[3] = static_cast<BYTE>(control >> 8);
    auto append = [&](const BYTE* part, DWORD n, std::size_t offsetAt) {
        if (!part) return;
        const DWORD off = static_cast<DWORD>(out.size());
        for (int i = 0; i < 4; ++i) out[offsetAt + i] = static_cast<BYTE>(off >> (8 * i));
        out.insert(out.end(), part, part + n);
    };
    append(a.Owner, a.Owner ? sid_length(a.Owner, kUnbounded) : 0, 4);
    append(a.Group, a.Group ? sid_length(a.Group, kUnbounded) : 0, 8);
    if (control & SE_SACL_PRESENT) append(a.Sacl, a.Sacl ? acl_length(a.Sacl, kUnbounded) : 0, 12);
    if (control & SE_DACL_PRESENT) append(a.Dacl, a.Dacl ? acl_length(a.Dacl, kUnbounded) : 0, 16);
    return to_hex(out.data(), out.size());
}

// The rights a handle needs to apply a (valid) descriptor with SetPrinterW: WRITE_DAC for a DACL,
// WRITE_OWNER for an owner or a group, ACCESS_SYSTEM_SECURITY for a SACL (which the sim's
// OpenPrinterW never grants).
constexpr DWORD kAccessSystemSecurity = 0x01000000;
DWORD rights_to_apply(const void* sd)
{
    const auto* b = static_cast<const BYTE*>(sd);
    const WORD control = read16(b + 2);
    bool owner = false, group = false;
    if (control & SE_SELF_RELATIVE) {
        owner = read32(b + 4) != 0;
        group = read32(b + 8) != 0;
    } else {
        AbsoluteDescriptor a;
        std::memcpy(&a, sd, sizeof a);
        owner = a.Owner != nullptr;
        group = a.Group != nullptr;
    }
    DWORD needed = 0;
    if (control & SE_DACL_PRESENT) needed |= WRITE_DAC_ACCESS;
    if (owner || group) needed |= WRITE_OWNER_ACCESS;
    if (control & SE_SACL_PRESENT) needed |= kAccessSystemSecurity;
    return needed;
}

// Copies a descriptor into an enumeration buffer at the next pointer-aligned place.
PSECURITY_DESCRIPTOR put_security(StringArea& a, const std::vector<BYTE>& sd)
{
    constexpr std::size_t align = alignof(void*);
    a.pos = (a.pos + align - 1) / align * align;
    PSECURITY_DESCRIPTOR p = a.write ? a.base + a.pos : nullptr;
    if (a.write) std::memcpy(a.base + a.pos, sd.data(), sd.size());
    a.pos += sd.size();
    return p;
}

}  // namespace

BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR securityDescriptor)
{
    if (descriptor_length(securityDescriptor) == 0) {
        SetLastError(ERROR_INVALID_SECURITY_DESCR);
        return FALSE;
    }
    return TRUE;
}

DWORD GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR securityDescriptor)
{
    return descriptor_length(securityDescriptor);
}

}  // namespace win


namespace win {

namespace {

const sim::RegisterDefaults spoolerDefaults("spooler", [](json& s, const sim::ProfileOptions& o) {
    const bool de = o.locale.rfind("de", 0) == 0;
    const std::string env = o.bits == 64 ? "Windows x64" : "Windows NT x86";
    const std::string local = de ? "Lokaler Anschluss" : "Local Port";
    json ports = json::array();
    for (const char* p : {"LPT1:", "LPT2:", "LPT3:", "COM1:", "COM2:", "COM3:", "COM4:"})
        ports.push_back({{"name", p}, {"monitor", "Local Port"}, {"description", local}, {"type", 3}});
    ports.push_back({{"name", "FILE:"}, {"monitor", "Local Port"}, {"description", de ? "In Datei drucken" : "Print to File"}, {"type", 3}});
    ports.push_back({{"name", "PORTPROMPT:"}, {"monitor", "Local Port"}, {"description", local}, {"type", 1}});
    s["spooler"] = {
        {"drivers", json::array({{{"name", "Microsoft Print To PDF"},
                                  {"environment", env},
                                  {"hardware_id", "MicrosoftMicrosoft_Print_To_PDF"},
                                  {"inf_path", "C:\\Windows\\System32\\DriverStore\\FileRepository\\prnms009.inf_amd64_80184dcbef6775bc\\prnms009.inf"},
                                  {"version", "10.0.22621.1"},
                                  {"date", "06/21/2006"},
                                  {"manufacturer", "Microsoft"}}})},
        {"printers", json::array({{{"name", "Microsoft Print to PDF"},
                                   {"port", "PORTPROMPT:"},
                                   {"driver", "Microsoft Print To PDF"},
                                   {"print_processor", "winprint"},
                                   {"datatype", "RAW"},
                                   {"attributes", 0x240},
                                   {"priority", 1}}})},
        {"ports", ports},
        {"monitors", json::array({{{"name", "Local Port"}, {"xcv", true}},
                                  {{"name", "Standard TCP/IP Port"}, {"xcv", true}},
                                  {{"name", "USB Monitor"}, {"xcv", false}},
                                  {{"name", "WSD Port"}, {"xcv", false}}})},
        {"print_processors", json::array({"winprint"})},
        {"datatypes", json::array({"RAW", "NT EMF 1.008", "TEXT", "XPS2GDI"})},
        {"inbox_packages", json::array({"prnms009.inf_amd64_80184dcbef6775bc"})},
        // The defaults of SpoolerSettings, written out so that a scenario sees what it may change.
        {"settings", {{"stale_handle_error", ERROR_INVALID_HANDLE},
                      {"jobs_finish", "never"},
                      {"tcp_existing_port_status", ERROR_ALREADY_EXISTS},
                      {"tcp_other_monitors_ports_exist", true},
                      {"tcp_check_addresses", true}}},
    };
});

// The driver store of a fresh machine holds the in-box packages of its in-box drivers.
const sim::RegisterDriveDefaults driverStoreFolders([](const fs::path&, const json& state) {
    auto& m = sim::Machine::get();
    std::error_code ec;
    if (auto repo = m.map_path(txt::from_utf8(kFileRepository))) fs::create_directories(*repo, ec);
    if (!state.contains("spooler")) return;
    for (auto& d : state["spooler"].value("drivers", json::array())) {
        auto inf = m.map_path(txt::from_utf8(d.value("inf_path", std::string())));
        if (!inf) continue;
        fs::create_directories(inf->parent_path(), ec);
        std::ofstream(*inf, std::ios::binary) << "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Printer\r\n";
    }
});

json* find_in(json& arr, const std::string& name)
{
    for (auto& e : arr)
        if (iequal8(e.value("name", std::string()), name)) return &e;
    return nullptr;
}

// The environment a driver call names: null is the caller's own; an empty name is none that the
// spooler's protocol allows (ERROR_INVALID_ENVIRONMENT), nor is an unknown one. Names compare
// without regard to case; "all" is accepted here and refused by the calls that need one.
bool valid_environment(LPCWSTR environment, std::string& env)
{
    if (!environment) {
        env = caller_environment();
        return true;
    }
    env = s8(environment);
    if (iequal8(env, "all")) return true;
    for (const char* e : {"Windows x64", "Windows NT x86", "Windows ARM64", "Windows IA64"})
        if (iequal8(env, e)) {
            env = e;
            return true;
        }
    return false;
}

bool local_name(LPCWSTR name) { return !name || !*name; }

enum class HKind { Server, Printer, XcvMonitor, XcvPort };
struct PHandle {
    HKind kind;
    std::string name;
    DWORD access;
    std::uint64_t generation;  // the spooler's generation when it was opened
};
std::map<HANDLE, PHandle>& phandles()
{
    static std::map<HANDLE, PHandle> h;
    return h;
}
PHandle* lookup(HANDLE h)
{
    if (!sim::Machine::get().is_open(h, "printer")) return nullptr;
    auto it = phandles().find(h);
    return it == phandles().end() ? nullptr : &it->second;
}
HANDLE new_handle(HKind k, std::string name, DWORD access, const char* by)
{
    HANDLE h = sim::Machine::get().open_handle("printer", by);
    phandles()[h] = PHandle{k, std::move(name), access, spooler_generation()};
    return h;
}

// True, with the last error set, for a handle opened before the Spooler last stopped: the restarted
// spooler does not know the context it names (the RPC runtime answers RPC_X_SS_CONTEXT_MISMATCH,
// which is ERROR_INVALID_HANDLE).
bool dead_handle(HANDLE h)
{
    const PHandle* p = lookup(h);
    if (!p || p->generation == spooler_generation()) return false;
    SetLastError(spooler_settings().staleHandleError);
    return true;
}

#define SIM_SPOOLER_ENTRY(op)                                                                                         \
    auto l = sim::lock();                                                                                             \
    auto& m = sim::Machine::get();                                                                                    \
    if (auto e = m.fault(op)) {                                                                                       \
        SetLastError(*e);                                                                                             \
        return {};                                                                                                    \
    }                                                                                                                 \
    if (!spooler_running()) {                                                                                         \
        SetLastError(RPC_S_SERVER_UNAVAILABLE);                                                                       \
        return {};                                                                                                    \
    }

#define SIM_PACKAGE_ENTRY(op)                                                                                         \
    auto l = sim::lock();                                                                                             \
    auto& m = sim::Machine::get();                                                                                    \
    if (auto e = m.fault(op)) return static_cast<HRESULT>(*e);                                                       \
    if (!spooler_running()) return HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE);

std::u16string driver_file(const json& d, const char* file)
{
    const bool x64 = d.value("environment", std::string()) == "Windows x64";
    return txt::from_utf8(std::string("C:\\Windows\\system32\\spool\\DRIVERS\\") + (x64 ? "x64" : "W32X86") + "\\3\\" + file);
}

}  // namespace

BOOL EnumPrinterDriversW(LPWSTR name, LPWSTR environment, DWORD level, BYTE* buffer, DWORD cbBuf, DWORD* needed,
                         DWORD* returned)
{
    SIM_SPOOLER_ENTRY("EnumPrinterDriversW")
    (void)m;
    if (!local_name(name)) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    // The local provider's enumeration takes an empty environment name for the caller's own.
    std::string env;
    if (!valid_environment(environment && !*environment ? nullptr : environment, env)) {
        SetLastError(ERROR_INVALID_ENVIRONMENT);
        return FALSE;
    }
    if (level != 1 && level != 8) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    std::vector<const json*> items;
    for (auto& d : sp()["drivers"])
        if (env == "all" || iequal8(d.value("environment", std::string()), env)) items.push_back(&d);
    if (level == 1)
        return pack_entries<DRIVER_INFO_1W>(
            items, [](DRIVER_INFO_1W& e, StringArea& a, const json& d) { e.pName = a.put(jstr(d, "name")); }, buffer,
            cbBuf, needed, returned, ERROR_INSUFFICIENT_BUFFER);
    return pack_entries<DRIVER_INFO_8W>(
        items,
        [](DRIVER_INFO_8W& e, StringArea& a, const json& d) {
            e.cVersion = 3;
            e.pName = a.put(jstr(d, "name"));
            e.pEnvironment = a.put(jstr(d, "environment"));
            e.pDriverPath = a.put(driver_file(d, "unidrv.dll"));
            e.pDataFile = a.put(driver_file(d, "unidrv.gpd"));
            e.pConfigFile = a.put(driver_file(d, "unidrvui.dll"));
            e.pHelpFile = a.put(driver_file(d, "unidrv.hlp"));
            e.pMonitorName = a.put(jstr(d, "monitor"));
            e.pDefaultDataType = a.put(u"RAW");
            e.ftDriverDate = date_value(d.value("date", std::string()));
            e.dwlDriverVersion = version_value(d.value("version", std::string()));
            e.pszMfgName = a.put(jstr(d, "manufacturer"));
            e.pszOEMUrl = a.put(u"");
            e.pszHardwareID = a.put_opt(jstr(d, "hardware_id"));
            e.pszProvider = a.put(jstr(d, "manufacturer"));
            e.pszPrintProcessor = a.put(u"winprint");
            e.pszInfPath = a.put(jstr(d, "inf_path"));
        },
        buffer, cbBuf, needed, returned, ERROR_INSUFFICIENT_BUFFER);
}

BOOL EnumPrintersW(DWORD flags, LPWSTR name, DWORD level, BYTE* buffer, DWORD cbBuf, DWORD* needed, DWORD* returned)
{
    SIM_SPOOLER_ENTRY("EnumPrintersW")
    (void)m;
    if (level != 2) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    if (!local_name(name)) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    std::vector<const json*> items;
    if (flags & PRINTER_ENUM_LOCAL)
        for (auto& p : sp()["printers"]) items.push_back(&p);
    return pack_entries<PRINTER_INFO_2W>(
        items,
        [](PRINTER_INFO_2W& e, StringArea& a, const json& p) {
            e.pPrinterName = a.put(jstr(p, "name"));
            e.pShareName = a.put(jstr(p, "share_name"));
            e.pPortName = a.put(jstr(p, "port"));
            e.pDriverName = a.put(jstr(p, "driver"));
            e.pComment = a.put(jstr(p, "comment"));
            e.pLocation = a.put(jstr(p, "location"));
            e.pSepFile = a.put(jstr(p, "sep_file"));
            e.pPrintProcessor = a.put(jstr(p, "print_processor"));
            e.pDatatype = a.put(jstr(p, "datatype"));
            e.pParameters = a.put(jstr(p, "parameters"));
            e.pSecurityDescriptor = put_security(a, printer_security(p));
            e.Attributes = p.value("attributes", 0u);
            e.Priority = p.value("priority", 1u);
            e.DefaultPriority = p.value("default_priority", 0u);
            e.StartTime = p.value("start_time", 0u);
            e.UntilTime = p.value("until_time", 0u);
            e.Status = p.value("status", 0u);
            e.cJobs = p.value("jobs", 0u);
        },
        buffer, cbBuf, needed, returned, ERROR_INSUFFICIENT_BUFFER);
}

BOOL EnumPortsW(LPWSTR name, DWORD level, BYTE* buffer, DWORD cbBuf, DWORD* needed, DWORD* returned)
{
    SIM_SPOOLER_ENTRY("EnumPortsW")
    (void)m;
    if (!local_name(name)) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    if (level != 1 && level != 2) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    std::vector<const json*> items;
    for (auto& p : sp()["ports"]) items.push_back(&p);
    if (level == 1)
        return pack_entries<PORT_INFO_1W>(
            items, [](PORT_INFO_1W& e, StringArea& a, const json& p) { e.pName = a.put(jstr(p, "name")); }, buffer,
            cbBuf, needed, returned, ERROR_INSUFFICIENT_BUFFER);
    return pack_entries<PORT_INFO_2W>(
        items,
        [](PORT_INFO_2W& e, StringArea& a, const json& p) {
            e.pPortName = a.put(jstr(p, "name"));
            e.pMonitorName = a.put(jstr(p, "monitor"));
            e.pDescription = a.put(jstr(p, "description"));
            e.fPortType = p.value("type", 1u);
        },
        buffer, cbBuf, needed, returned, ERROR_INSUFFICIENT_BUFFER);
}

BOOL OpenPrinterW(LPWSTR printerName, HANDLE* printer, PRINTER_DEFAULTSW* defaults)
{
    SIM_SPOOLER_ENTRY("OpenPrinterW")
    (void)m;
    if (!printer) {
        SetLastError(RPC_X_NULL_REF_POINTER);
        return FALSE;
    }
    *printer = nullptr;
    const std::string name = s8(printerName);
    constexpr DWORD kGeneric = 0xF0000000u;
    auto granted = [&](DWORD specific, DWORD dflt) -> std::optional<DWORD> {
        DWORD a = defaults ? defaults->DesiredAccess : dflt;
        if (a & ~(STANDARD_RIGHTS_REQUIRED | specific | kGeneric)) return std::nullopt;
        if (a & 0x10000000u) a |= STANDARD_RIGHTS_REQUIRED | specific;  // GENERIC_ALL
        return a;
    };
    if (!printerName) {
        auto a = granted(SERVER_ALL_ACCESS & 0xFFFF, SERVER_ACCESS_ENUMERATE);
        if (!a) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        *printer = new_handle(HKind::Server, {}, *a, "OpenPrinterW");
        return TRUE;
    }
    auto xcv = [&](const char* prefix) -> std::optional<std::string> {
        const std::string p = prefix;
        if (name.size() > p.size() && name.compare(0, p.size(), p) == 0) return name.substr(p.size());
        return std::nullopt;
    };
    if (auto mon = xcv(",XcvMonitor ")) {
        const json* mj = find_in(sp()["monitors"], *mon);
        if (!mj || !mj->value("xcv", false)) {
            SetLastError(ERROR_UNKNOWN_PORT);
            return FALSE;
        }
        auto a = granted(SERVER_ALL_ACCESS & 0xFFFF, 0);
        if (!a) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        *printer = new_handle(HKind::XcvMonitor, mj->value("name", std::string()), *a, "OpenPrinterW");
        return TRUE;
    }
    if (auto port = xcv(",XcvPort ")) {
        const json* pj = find_in(sp()["ports"], *port);
        const json* mj = pj ? find_in(sp()["monitors"], pj->value("monitor", std::string())) : nullptr;
        if (!pj || !mj || !mj->value("xcv", false)) {
            SetLastError(ERROR_UNKNOWN_PORT);
            return FALSE;
        }
        auto a = granted(SERVER_ALL_ACCESS & 0xFFFF, 0);
        if (!a) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        *printer = new_handle(HKind::XcvPort, pj->value("name", std::string()), *a, "OpenPrinterW");
        return TRUE;
    }
    const json* pj = name.empty() ? nullptr : find_in(sp()["printers"], name);
    if (!pj) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return FALSE;
    }
    auto a = granted(PRINTER_ACCESS_ADMINISTER | PRINTER_ACCESS_USE | 0x20, PRINTER_ACCESS_USE);
    if (!a) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    *printer = new_handle(HKind::Printer, pj->value("name", std::string()), *a, "OpenPrinterW");
    return TRUE;
}

BOOL ClosePrinter(HANDLE printer)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (!lookup(printer)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // A dead handle is released all the same: the client frees its part of it, and only the
    // spooler's side of the call fails.
    const bool dead = dead_handle(printer);
    phandles().erase(printer);
    m.close_handle(printer, "printer");
    if (dead) return FALSE;
    if (auto e = m.fault("ClosePrinter")) {
        SetLastError(*e);
        return FALSE;
    }
    return TRUE;
}

namespace {

template <std::size_t N>
void put_field(WCHAR (&f)[N], const std::string& s)
{
    const std::u16string u = txt::from_utf8(s);
    const std::size_t n = std::min(u.size(), N - 1);
    std::copy_n(u.begin(), n, f);
    std::fill(f + n, f + N, u'\0');
}
template <std::size_t N>
std::string get_field(const WCHAR (&f)[N])
{
    std::size_t n = 0;
    while (n < N && f[n]) ++n;
    return txt::to_utf8(std::u16string_view(f, n));
}

json record_json(const PORT_DATA_1& r)
{
    return {{"protocol", r.dwProtocol},           {"host_address", get_field(r.sztHostAddress)},
            {"snmp_community", get_field(r.sztSNMPCommunity)}, {"double_spool", r.dwDoubleSpool},
            {"queue", get_field(r.sztQueue)},     {"ip_address", get_field(r.sztIPAddress)},
            {"port_number", r.dwPortNumber},      {"snmp_enabled", r.dwSNMPEnabled},
            {"snmp_dev_index", r.dwSNMPDevIndex}};
}

// The record of a TCP/IP port as the monitor hands it out: the stored fields, the monitor's
// defaults for those a seeded port lacks.
PORT_DATA_1 port_record(const json& port)
{
    const json t = port.value("tcp", json::object());
    PORT_DATA_1 r{};
    put_field(r.sztPortName, port.value("name", std::string()));
    r.dwVersion = 1;
    r.dwProtocol = t.value("protocol", 1u);
    r.cbSize = sizeof(PORT_DATA_1);
    put_field(r.sztHostAddress, t.value("host_address", std::string()));
    put_field(r.sztSNMPCommunity, t.value("snmp_community", std::string("public")));
    r.dwDoubleSpool = t.value("double_spool", 0u);
    put_field(r.sztQueue, t.value("queue", std::string()));
    put_field(r.sztIPAddress, t.value("ip_address", std::string()));
    r.dwPortNumber = t.value("port_number", 9100u);
    r.dwSNMPEnabled = t.value("snmp_enabled", 1u);
    r.dwSNMPDevIndex = t.value("snmp_dev_index", 1u);
    return r;
}

// What the monitor refuses in a record it is to add or apply: a port without a name or host, a
// protocol other than raw or LPR, and (a setting) addresses that are no IPv4 text or host name.
DWORD record_problem(const PORT_DATA_1& r)
{
    const std::string host = get_field(r.sztHostAddress), ip = get_field(r.sztIPAddress);
    if (get_field(r.sztPortName).empty() || host.empty()) return ERROR_INVALID_PARAMETER;
    if (r.dwProtocol != PROTOCOL_RAWTCP_TYPE && r.dwProtocol != PROTOCOL_LPR_TYPE) return ERROR_INVALID_PARAMETER;
    if (spooler_settings().checkAddresses && (!ipv4_or_host_name(host) || (!ip.empty() && !ipv4_or_host_name(ip))))
        return ERROR_INVALID_PARAMETER;
    return ERROR_SUCCESS;
}

json* tcp_port(const std::string& name)
{
    for (auto& p : sp()["ports"])
        if (iequal8(p.value("name", std::string()), name) && p.value("monitor", std::string()) == "Standard TCP/IP Port")
            return &p;
    return nullptr;
}

}  // namespace

BOOL XcvDataW(HANDLE xcv, LPCWSTR dataName, BYTE* inputData, DWORD cbInputData, BYTE* outputData, DWORD cbOutputData,
              DWORD* outputNeeded, DWORD* status)
{
    SIM_SPOOLER_ENTRY("XcvDataW")
    if (dead_handle(xcv)) return FALSE;
    PHandle* h = lookup(xcv);
    if (!h || (h->kind != HKind::XcvMonitor && h->kind != HKind::XcvPort)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!outputNeeded) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!dataName || !status || (!outputData && cbOutputData > 0)) {
        SetLastError(RPC_X_NULL_REF_POINTER);
        return FALSE;
    }
    *outputNeeded = 0;
    const std::string cmd = s8(dataName);
    const bool tcp = h->kind == HKind::XcvMonitor ? h->name == "Standard TCP/IP Port"
                                                   : [&] {
                                                         const json* p = find_in(sp()["ports"], h->name);
                                                         return p && p->value("monitor", std::string()) == "Standard TCP/IP Port";
                                                     }();
    const bool admin = (h->access & SERVER_ACCESS_ADMINISTER) != 0 && sim::elevated();
    auto input_record = [&](PORT_DATA_1& r) -> DWORD {
        if (!inputData || cbInputData < sizeof(PORT_DATA_1)) return ERROR_INVALID_DATA;
        std::memcpy(&r, inputData, sizeof r);
        if (r.dwVersion != 1) return ERROR_INVALID_LEVEL;
        return ERROR_SUCCESS;
    };
    if (cmd.empty() || !tcp) {
        *status = ERROR_INVALID_PARAMETER;
        return TRUE;
    }
    if (cmd == "AddPort" && h->kind == HKind::XcvMonitor) {
        PORT_DATA_1 r{};
        DWORD st = input_record(r);
        const std::string port = st ? std::string() : get_field(r.sztPortName);
        if (!st && !admin) st = ERROR_ACCESS_DENIED;
        if (!st) st = record_problem(r);
        bool exists = false;
        if (!st) {
            // Port names are one name space of the spooler; whether the monitor looks past its own
            // ports, and the code it answers (0 takes the port as it is), are settings.
            const SpoolerSettings set = spooler_settings();
            exists = set.otherMonitorsPortsExist ? find_in(sp()["ports"], port) != nullptr : tcp_port(port) != nullptr;
            if (exists) st = set.existingPortStatus;
        }
        if (!st && !exists) {
            const bool de = sim::language() == "de";
            sp()["ports"].push_back({{"name", port},
                                     {"monitor", "Standard TCP/IP Port"},
                                     {"description", de ? "Standard-TCP/IP-Port" : "Standard TCP/IP Port"},
                                     {"type", 3},
                                     {"tcp", record_json(r)}});
            m.save();
            m.event({{"type", "port_added"}, {"name", port}});
        }
        *status = st;
        return TRUE;
    }
    if (cmd == "GetConfigInfo" && h->kind == HKind::XcvPort) {
        if (!inputData || cbInputData < sizeof(CONFIG_INFO_DATA_1)) {
            *status = ERROR_INVALID_DATA;
            return TRUE;
        }
        CONFIG_INFO_DATA_1 q{};
        std::memcpy(&q, inputData, sizeof q);
        if (q.dwVersion != 1) {
            *status = ERROR_INVALID_LEVEL;
            return TRUE;
        }
        *outputNeeded = sizeof(PORT_DATA_1);
        if (cbOutputData < sizeof(PORT_DATA_1)) {
            *status = ERROR_INSUFFICIENT_BUFFER;
            return TRUE;
        }
        const PORT_DATA_1 r = port_record(*find_in(sp()["ports"], h->name));
        std::memcpy(outputData, &r, sizeof r);
        *status = ERROR_SUCCESS;
        return TRUE;
    }
    if (cmd == "ConfigPort") {
        // The record names the port it configures, through a port handle as through the monitor's,
        // and every field of it is applied.
        PORT_DATA_1 r{};
        DWORD st = input_record(r);
        json* p = st ? nullptr : tcp_port(get_field(r.sztPortName));
        if (!st && !p) st = ERROR_UNKNOWN_PORT;
        if (!st && !admin) st = ERROR_ACCESS_DENIED;
        if (!st) st = record_problem(r);
        if (!st) {
            const json before = record_json(port_record(*p)), after = record_json(r);
            (*p)["tcp"] = after;
            m.save();
            // A person sees what the record changed.
            json ev = {{"type", "port_configured"}, {"name", (*p)["name"]}};
            for (auto& [key, value] : after.items())
                if (before[key] != value) ev[key] = value;
            if (ev.size() > 2) m.event(ev);
        }
        *status = st;
        return TRUE;
    }
    *status = ERROR_INVALID_PARAMETER;
    return TRUE;
}

namespace {

bool bad_printer_name(const std::string& n)
{
    return n.empty() || n.find_first_of(",!\\") != std::string::npos || n.size() > 220;
}

// The checks AddPrinterW and SetPrinterW share, in the order the spooler makes them.
DWORD validate(const PRINTER_INFO_2W& p, const std::string& renamedFrom)
{
    const std::string name = s8(p.pPrinterName);
    if (bad_printer_name(name)) return ERROR_INVALID_PRINTER_NAME;
    if (const json* other = find_in(sp()["printers"], name); other && !iequal8(renamedFrom, name)) {
        (void)other;
        return ERROR_PRINTER_ALREADY_EXISTS;
    }
    const std::string env = caller_environment();
    bool driver = false;
    for (auto& d : sp()["drivers"])
        driver = driver || (iequal8(d.value("name", std::string()), s8(p.pDriverName)) &&
                            iequal8(d.value("environment", std::string()), env));
    if (!driver) return ERROR_UNKNOWN_PRINTER_DRIVER;
    if (!find_in(sp()["ports"], s8(p.pPortName))) return ERROR_UNKNOWN_PORT;
    bool proc = false;
    for (auto& pp : sp()["print_processors"]) proc = proc || iequal8(pp.get<std::string>(), s8(p.pPrintProcessor));
    if (!proc) return ERROR_UNKNOWN_PRINTPROCESSOR;
    if (p.pDatatype && *p.pDatatype) {
        bool dt = false;
        for (auto& t : sp()["datatypes"]) dt = dt || iequal8(t.get<std::string>(), s8(p.pDatatype));
        if (!dt) return ERROR_INVALID_DATATYPE;
    }
    return ERROR_SUCCESS;
}

void apply_fields(json& j, const PRINTER_INFO_2W& p)
{
    j["name"] = s8(p.pPrinterName);
    j["share_name"] = s8(p.pShareName);
    j["port"] = s8(p.pPortName);
    j["driver"] = s8(p.pDriverName);
    j["comment"] = s8(p.pComment);
    j["location"] = s8(p.pLocation);
    j["sep_file"] = s8(p.pSepFile);
    j["print_processor"] = s8(p.pPrintProcessor);
    j["datatype"] = p.pDatatype && *p.pDatatype ? s8(p.pDatatype) : std::string("RAW");
    j["parameters"] = s8(p.pParameters);
    j["attributes"] = p.Attributes | PRINTER_ATTRIBUTE_LOCAL;
    j["priority"] = p.Priority ? p.Priority : 1u;
    j["default_priority"] = p.DefaultPriority;
    j["start_time"] = p.StartTime;
    j["until_time"] = p.UntilTime;
}

}  // namespace

HANDLE AddPrinterW(LPWSTR name, DWORD level, BYTE* printer)
{
    SIM_SPOOLER_ENTRY("AddPrinterW")
    if (sim::refused_without_admin()) return nullptr;
    if (!local_name(name)) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    if (level != 2) {
        SetLastError(ERROR_INVALID_LEVEL);
        return nullptr;
    }
    if (!printer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    PRINTER_INFO_2W p;
    std::memcpy(&p, printer, sizeof p);
    if (!p.pPrinterName || !p.pPortName || !p.pDriverName || !p.pPrintProcessor) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (p.pSecurityDescriptor && !descriptor_length(p.pSecurityDescriptor)) {
        SetLastError(ERROR_INVALID_SECURITY_DESCR);
        return nullptr;
    }
    if (DWORD e = validate(p, {})) {
        SetLastError(e);
        return nullptr;
    }
    json j = json::object();
    apply_fields(j, p);
    j["security_descriptor"] = p.pSecurityDescriptor
                                   ? stored_security(p.pSecurityDescriptor)
                                   : to_hex(kDefaultPrinterSecurity, sizeof kDefaultPrinterSecurity);
    sp()["printers"].push_back(j);
    m.save_element("/spooler/printers", j["name"].get<std::string>());
    m.event({{"type", "printer_added"}, {"name", j["name"]}, {"driver", j["driver"]}, {"port", j["port"]}});
    return new_handle(HKind::Printer, j["name"].get<std::string>(), PRINTER_ALL_ACCESS, "AddPrinterW");
}

BOOL SetPrinterW(HANDLE printer, DWORD level, BYTE* info, DWORD command)
{
    SIM_SPOOLER_ENTRY("SetPrinterW")
    if (dead_handle(printer)) return FALSE;
    PHandle* h = lookup(printer);
    if (!h || h->kind != HKind::Printer) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (sim::refused_without_admin()) return FALSE;
    if (level != 2) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    if (command != 0 || !info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!(h->access & PRINTER_ACCESS_ADMINISTER)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    PRINTER_INFO_2W p;
    std::memcpy(&p, info, sizeof p);
    // A descriptor replaces the printer's security; without one the security stays as it is.
    if (p.pSecurityDescriptor) {
        if (!descriptor_length(p.pSecurityDescriptor)) {
            SetLastError(ERROR_INVALID_SECURITY_DESCR);
            return FALSE;
        }
        const DWORD needed = rights_to_apply(p.pSecurityDescriptor);
        if ((h->access & needed) != needed) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
    }
    json* j = find_in(sp()["printers"], h->name);
    if (!j) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return FALSE;
    }
    if (!p.pPrinterName || !p.pPortName || !p.pDriverName || !p.pPrintProcessor) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (DWORD e = validate(p, h->name)) {
        SetLastError(e);
        return FALSE;
    }
    const std::string old = h->name;
    apply_fields(*j, p);
    if (p.pSecurityDescriptor) (*j)["security_descriptor"] = stored_security(p.pSecurityDescriptor);
    const std::string now = (*j)["name"].get<std::string>();
    for (auto& [hh, ph] : phandles())
        if (ph.kind == HKind::Printer && iequal8(ph.name, old)) ph.name = now;
    m.save();
    m.event({{"type", "printer_changed"}, {"name", old}, {"new_name", now}, {"driver", (*j)["driver"]}, {"port", (*j)["port"]}});
    return TRUE;
}

BOOL DeletePrinter(HANDLE printer)
{
    SIM_SPOOLER_ENTRY("DeletePrinter")
    if (dead_handle(printer)) return FALSE;
    PHandle* h = lookup(printer);
    if (!h || h->kind != HKind::Printer) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!(h->access & DELETE_ACCESS) || sim::refused_without_admin()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    json* p = find_in(sp()["printers"], h->name);
    if (!p) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return FALSE;
    }
    // A printer with jobs stays, pending deletion, until they are gone (and keeps its driver in
    // use meanwhile); a paused one would never print them, so it refuses.
    const DWORD jobs = state_number(*p, "jobs", 0), status = state_number(*p, "status", 0);
    if (jobs && (status & kPrinterStatusPaused)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (jobs) {
        (*p)["status"] = status | kPrinterStatusPendingDeletion;
        m.save();
        m.event({{"type", "printer_pending_deletion"}, {"name", h->name}, {"jobs", jobs}});
        return TRUE;
    }
    const std::string deleted = (*p).value("name", h->name);
    auto& arr = sp()["printers"];
    for (std::size_t i = 0; i < arr.size(); ++i)
        if (&arr[i] == p) {
            arr.erase(i);
            break;
        }
    m.save_element("/spooler/printers", deleted);
    m.event({{"type", "printer_deleted"}, {"name", h->name}});
    return TRUE;
}

BOOL DeletePrinterDriverExW(LPWSTR name, LPWSTR environment, LPWSTR driverName, DWORD, DWORD)
{
    SIM_SPOOLER_ENTRY("DeletePrinterDriverExW")
    if (!local_name(name)) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    std::string env;
    if (!valid_environment(environment, env) || env == "all") {
        SetLastError(ERROR_INVALID_ENVIRONMENT);
        return FALSE;
    }
    if (!driverName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string dn = s8(driverName);
    auto& arr = sp()["drivers"];
    for (std::size_t i = 0; i < arr.size(); ++i) {
        if (!iequal8(arr[i].value("name", std::string()), dn) || !iequal8(arr[i].value("environment", std::string()), env))
            continue;
        for (auto& p : sp()["printers"])
            if (iequal8(p.value("driver", std::string()), dn)) {
                SetLastError(ERROR_PRINTER_DRIVER_IN_USE);
                return FALSE;
            }
        arr.erase(i);
        m.save();
        m.event({{"type", "driver_deleted"}, {"name", dn}});
        return TRUE;
    }
    SetLastError(ERROR_UNKNOWN_PRINTER_DRIVER);
    return FALSE;
}

HRESULT UploadPrinterDriverPackageW(LPCWSTR server, LPCWSTR infPath, LPCWSTR environment, DWORD flags, HWND,
                                    LPWSTR destInfPath, DWORD* destInfPathChars)
{
    SIM_PACKAGE_ENTRY("UploadPrinterDriverPackageW")
    if (!sim::elevated()) return E_ACCESSDENIED;
    if (!local_name(server)) return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
    if (!infPath || !destInfPath || !destInfPathChars) return E_INVALIDARG;
    std::string env;
    if (!valid_environment(environment, env) || env == "all") return HRESULT_FROM_WIN32(ERROR_INVALID_ENVIRONMENT);
    auto host = m.map_path(infPath);
    std::error_code ec;
    if (!host || !fs::is_regular_file(*host, ec)) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    const auto prompt = (flags & UPDP_SILENT_UPLOAD) ? sim::trust::Prompt::Suppressed : sim::trust::Prompt::Allowed;
    if (auto refused = sim::trust::check_package(*host, prompt, "UploadPrinterDriverPackageW")) return sim::trust::as_hresult(refused);
    std::ifstream in(*host, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    if (!in) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    const std::string infName = host->filename().string();
    const std::string text = ss.str();
    const std::string staged = store_inf_path(infName, text);
    const std::u16string dest = txt::from_utf8(staged);
    // The caller's buffer is checked before anything is staged, so a refused call leaves the
    // driver store as it was.
    if (*destInfPathChars < dest.size() + 1) {
        *destInfPathChars = static_cast<DWORD>(dest.size() + 1);
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    }
    // Every refusal comes before this point; staging itself removes what it made when it fails.
    auto folder = m.map_path(txt::from_utf8(staged.substr(0, staged.rfind('\\'))));
    const bool existed = folder && fs::exists(*folder, ec);
    if (!folder || stage_package_text(infName, text) != staged || !fs::is_regular_file(*folder / infName, ec)) {
        if (folder && !existed) fs::remove_all(*folder, ec);
        return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    }
    std::memcpy(destInfPath, dest.c_str(), (dest.size() + 1) * sizeof(WCHAR));
    *destInfPathChars = static_cast<DWORD>(dest.size() + 1);
    m.event({{"type", "package_uploaded"}, {"inf", staged}});
    return S_OK;
}

HRESULT InstallPrinterDriverFromPackageW(LPCWSTR server, LPCWSTR infPath, LPCWSTR driverName, LPCWSTR environment,
                                         DWORD flags)
{
    SIM_PACKAGE_ENTRY("InstallPrinterDriverFromPackageW")
    if (!sim::elevated()) return E_ACCESSDENIED;
    if (!local_name(server)) return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
    if (!driverName || !*driverName || (flags & ~IPDFP_COPY_ALL_FILES)) return E_INVALIDARG;
    std::string env;
    if (!valid_environment(environment, env) || env == "all") return HRESULT_FROM_WIN32(ERROR_INVALID_ENVIRONMENT);
    if (!infPath) return HRESULT_FROM_WIN32(ERROR_UNKNOWN_PRINTER_DRIVER);  // no in-box model of that name
    const std::string inf = s8(infPath);
    const std::string repo = std::string(kFileRepository) + "\\";
    auto host = m.map_path(infPath);
    std::error_code ec;
    if (inf.size() <= repo.size() || !iequal8(inf.substr(0, repo.size()), repo) || !host ||
        !fs::is_regular_file(*host, ec))
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    // The spooler service installs without a user interface.
    if (auto refused = sim::trust::check_package(*host, sim::trust::Prompt::Suppressed, "InstallPrinterDriverFromPackageW"))
        return sim::trust::as_hresult(refused);
    auto facts = read_inf(*host);
    if (!facts) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    const std::string dn = s8(driverName);
    std::string hwid;
    bool found = false;
    for (auto& [model, h] : facts->models)
        if (iequal8(model, dn)) {
            found = true;
            hwid = h;
            break;
        }
    if (!found) return HRESULT_FROM_WIN32(ERROR_UNKNOWN_PRINTER_DRIVER);
    json d = {{"name", dn},           {"environment", env},       {"hardware_id", hwid},
              {"inf_path", inf},       {"version", facts->version}, {"date", facts->date},
              {"manufacturer", facts->provider}};
    auto& arr = sp()["drivers"];
    bool replaced = false;
    for (auto& e : arr)
        if (iequal8(e.value("name", std::string()), dn) && iequal8(e.value("environment", std::string()), env)) {
            e = d;
            replaced = true;
        }
    if (!replaced) arr.push_back(d);
    m.save();
    m.event({{"type", "driver_installed"}, {"name", dn}, {"version", facts->version}});
    sim::pnp::driver_installed();
    return S_OK;
}

HRESULT DeletePrinterDriverPackageW(LPCWSTR server, LPCWSTR infPath, LPCWSTR environment)
{
    SIM_PACKAGE_ENTRY("DeletePrinterDriverPackageW")
    if (!sim::elevated()) return E_ACCESSDENIED;
    if (!local_name(server)) return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
    if (!infPath) return E_INVALIDARG;
    std::string env;
    if (!valid_environment(environment, env) || env == "all") return HRESULT_FROM_WIN32(ERROR_INVALID_ENVIRONMENT);
    const std::string inf = s8(infPath);
    auto host = m.map_path(infPath);
    std::error_code ec;
    if (!host || !fs::is_regular_file(*host, ec)) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    const std::string folder = host->parent_path().filename().string();
    for (auto& ib : sp()["inbox_packages"])
        if (iequal8(ib.get<std::string>(), folder)) return E_ACCESSDENIED;
    for (auto& d : sp()["drivers"])
        if (iequal8(d.value("inf_path", std::string()), inf))
            return HRESULT_FROM_WIN32(ERROR_PRINTER_DRIVER_PACKAGE_IN_USE);
    fs::remove_all(host->parent_path(), ec);
    m.event({{"type", "package_deleted"}, {"inf", inf}});
    return S_OK;
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* st)
{
    if (!fileTime || !st) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const unsigned long long t = (static_cast<unsigned long long>(fileTime->dwHighDateTime) << 32) | fileTime->dwLowDateTime;
    if (t >= 0x8000000000000000ull) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const unsigned long long ms = t / 10000;
    const long long days1601 = static_cast<long long>(ms / 86400000ull);
    const unsigned long long rem = ms % 86400000ull;
    long long z = days1601 - 134774 + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned mo = mp < 10 ? mp + 3 : mp - 9;
    st->wYear = static_cast<WORD>(y + (mo <= 2));
    st->wMonth = static_cast<WORD>(mo);
    st->wDay = static_cast<WORD>(d);
    st->wDayOfWeek = static_cast<WORD>((days1601 + 1) % 7);
    st->wHour = static_cast<WORD>(rem / 3600000);
    st->wMinute = static_cast<WORD>(rem / 60000 % 60);
    st->wSecond = static_cast<WORD>(rem / 1000 % 60);
    st->wMilliseconds = static_cast<WORD>(rem % 1000);
    return TRUE;
}

}  // namespace win
