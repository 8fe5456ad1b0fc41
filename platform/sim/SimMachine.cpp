#include "platform/sim/SimMachine.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/utf.h"

namespace fs = std::filesystem;

namespace sim {

namespace {

std::vector<std::pair<std::string, SectionDefaults>>& defaults_registry()
{
    static std::vector<std::pair<std::string, SectionDefaults>> r;
    return r;
}

std::vector<DriveDefaults>& drive_registry()
{
    static std::vector<DriveDefaults> r;
    return r;
}

fs::path default_root()
{
    if (const char* r = std::getenv("TXR_SIM_ROOT"); r && *r) return fs::path(r);
    if (const char* home = std::getenv("HOME"); home && *home) return fs::path(home) / ".local" / "state" / "txr-sim";
    return fs::temp_directory_path() / "txr-sim";
}

void write_atomically(const fs::path& file, const std::string& text)
{
    fs::create_directories(file.parent_path());
    fs::path tmp = file;
    tmp += ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) throw std::runtime_error("cannot write " + tmp.string());
    }
    fs::rename(tmp, file);
}

// The windows and environment sections belong to the machine itself; other concerns add theirs.
const RegisterDefaults machineDefaults("windows", [](json& s, const ProfileOptions& o) {
    s["windows"] = {{"product", "Windows 11 Pro"}, {"build", 22631}, {"bits", o.bits}, {"locale", o.locale}};
    // window_station_visible: false for a process no person sees (SYSTEM in session 0).
    s["process"] = {{"bits", o.bits}, {"window_station_visible", true}};
    s["clock"] = {{"ms", 0}, {"real_time", false}};
    json env = {
        {"SystemDrive", "C:"},
        {"SystemRoot", "C:\\Windows"},
        {"windir", "C:\\Windows"},
        {"ProgramData", "C:\\ProgramData"},
        {"TEMP", "C:\\Windows\\Temp"},
        {"TMP", "C:\\Windows\\Temp"},
        {"COMPUTERNAME", "TXR-PC01"},
        {"USERNAME", "Administrator"},
        {"PATHEXT", ".COM;.EXE;.BAT;.CMD"},
        {"Path", "C:\\Windows\\system32;C:\\Windows;C:\\Windows\\System32\\Wbem"},
    };
    if (o.bits == 64) {
        env["ProgramFiles"] = "C:\\Program Files";
        env["ProgramFiles(x86)"] = "C:\\Program Files (x86)";
        env["ProgramW6432"] = "C:\\Program Files";
        env["PROCESSOR_ARCHITECTURE"] = "AMD64";
    } else {
        env["ProgramFiles"] = "C:\\Program Files";
        env["PROCESSOR_ARCHITECTURE"] = "x86";
    }
    s["environment"] = env;
    s["faults"] = json::array();
    s["console"] = {{"input", "stdin"}};
});

}  // namespace

RegisterDefaults::RegisterDefaults(const char* section, SectionDefaults fill)
{
    defaults_registry().emplace_back(section, std::move(fill));
}

RegisterDriveDefaults::RegisterDriveDefaults(DriveDefaults fill) { drive_registry().push_back(std::move(fill)); }

void Machine::populate_drive()
{
    for (auto& fill : drive_registry()) fill(drive_c(), state_);
}

Machine& Machine::get()
{
    static Machine m;
    return m;
}

Machine::Machine() : root_(default_root()) {}

json Machine::default_profile(const ProfileOptions& options)
{
    json s = json::object();
    s["format"] = 1;
    for (auto& [name, fill] : defaults_registry()) fill(s, options);
    return s;
}

void Machine::load_or_create()
{
    loaded_ = true;
    std::error_code ec;
    if (fs::exists(state_file(), ec)) {
        std::ifstream in(state_file(), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        state_ = json::parse(ss.str(), nullptr, /*allow_exceptions=*/false);
        if (!state_.is_discarded() && state_.is_object()) {
            // Sections a newer sim knows but an older state lacks come from the default profile.
            ProfileOptions o;
            o.locale = state_.value("/windows/locale"_json_pointer, std::string("de-DE"));
            o.bits = state_.value("/windows/bits"_json_pointer, 64);
            json d = default_profile(o);
            for (auto& [k, v] : d.items())
                if (!state_.contains(k)) state_[k] = v;
            return;
        }
    }
    state_ = default_profile(ProfileOptions{});
    fs::create_directories(drive_c(), ec);
    populate_drive();
    save();
}

json& Machine::state()
{
    auto l = lock();
    if (!loaded_) load_or_create();
    return state_;
}

void Machine::reload()
{
    auto l = lock();
    loaded_ = false;
    callCounts_.clear();
    load_or_create();
}

void Machine::use_root(const fs::path& root)
{
    auto l = lock();
    root_ = root;
    loaded_ = false;
    callCounts_.clear();
    handles_.clear();
    eventSeq_ = 0;
}

void Machine::save()
{
    auto l = lock();
    if (!loaded_) load_or_create();
    write_atomically(state_file(), state_.dump(2) + "\n");
}

void Machine::reset(const ProfileOptions& options)
{
    auto l = lock();
    std::error_code ec;
    fs::remove_all(drive_c(), ec);
    fs::remove(event_file(), ec);
    fs::create_directories(drive_c(), ec);
    state_ = default_profile(options);
    loaded_ = true;
    populate_drive();
    callCounts_.clear();
    handles_.clear();
    eventSeq_ = 0;
    save();
}

void Machine::event(json ev)
{
    auto l = lock();
    json line = {{"seq", ++eventSeq_}, {"t", now_ms()}};
    // For timing runs: with "clock.wall_stamps" set, each event also carries the host's wall clock
    // (microseconds since 1970), which the virtual clock cannot give.
    if (state().value("/clock/wall_stamps"_json_pointer, false))
        line["wall_us"] = std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
    line.update(ev);
    std::error_code ec;
    fs::create_directories(root_, ec);
    std::ofstream out(event_file(), std::ios::binary | std::ios::app);
    out << line.dump() << "\n";
}

std::optional<std::uint32_t> Machine::fault(std::string_view op)
{
    auto l = lock();
    json& s = state();
    const std::uint64_t call = ++callCounts_[std::string(op)];
    if (!s.contains("faults")) return std::nullopt;
    for (auto& f : s["faults"]) {
        if (f.value("op", std::string()) != op) continue;
        const std::uint64_t first = f.value("call", 1);
        const std::uint64_t count = f.value("count", 1);  // 0: every call from "call" on
        if (call < first || (count != 0 && call >= first + count)) continue;
        const auto code = f.value("error", std::uint32_t{31});
        event({{"type", "fault"}, {"op", op}, {"call", call}, {"error", code}});
        return code;
    }
    return std::nullopt;
}

std::uint64_t Machine::now_ms()
{
    auto l = lock();
    return state().value("/clock/ms"_json_pointer, std::uint64_t{0});
}

void Machine::sleep_ms(std::uint64_t ms)
{
    bool real = false;
    {
        auto l = lock();
        json& s = state();
        real = s.value("/clock/real_time"_json_pointer, false);
        s["clock"]["ms"] = now_ms() + ms;
        // The clock lives in memory while the program runs; it is saved with the next mutation.
    }
    if (real)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    else
        std::this_thread::yield();
}

win::HANDLE Machine::open_handle(std::string kind, std::string openedBy)
{
    auto l = lock();
    auto* h = reinterpret_cast<win::HANDLE>(nextHandle_);
    nextHandle_ += 4;
    handles_[h] = OpenHandle{h, std::move(kind), std::move(openedBy)};
    return h;
}

bool Machine::close_handle(win::HANDLE h, std::string_view kind)
{
    auto l = lock();
    auto it = handles_.find(h);
    if (it == handles_.end() || it->second.kind != kind) return false;
    handles_.erase(it);
    return true;
}

bool Machine::is_open(win::HANDLE h, std::string_view kind)
{
    auto l = lock();
    auto it = handles_.find(h);
    return it != handles_.end() && it->second.kind == kind;
}

std::vector<OpenHandle> Machine::open_handles()
{
    auto l = lock();
    std::vector<OpenHandle> v;
    for (auto& [h, e] : handles_) v.push_back(e);
    return v;
}

std::optional<fs::path> Machine::map_path(std::u16string_view p)
{
    std::string s = txt::to_utf8(p);
    for (auto& c : s)
        if (c == '/') c = '\\';
    if (s.size() < 2 || s[1] != ':' || (s[0] != 'C' && s[0] != 'c')) return std::nullopt;
    fs::path host = drive_c();
    std::size_t pos = 2;
    while (pos < s.size()) {
        while (pos < s.size() && s[pos] == '\\') ++pos;
        if (pos >= s.size()) break;
        std::size_t end = s.find('\\', pos);
        if (end == std::string::npos) end = s.size();
        std::string part = s.substr(pos, end - pos);
        pos = end;
        if (part == ".") continue;
        if (part == "..") {
            if (host != drive_c()) host = host.parent_path();
            continue;
        }
        // Find an existing entry that matches without regard to case; otherwise keep the spelling.
        std::error_code ec;
        fs::path chosen = host / part;
        if (!fs::exists(chosen, ec) && fs::is_directory(host, ec)) {
            const std::u16string want = txt::from_utf8(part);
            for (auto& entry : fs::directory_iterator(host, ec)) {
                if (txt::iequals(txt::from_utf8(entry.path().filename().string()), want)) {
                    chosen = entry.path();
                    break;
                }
            }
        }
        host = chosen;
    }
    return host;
}

std::string language()
{
    auto l = lock();
    const std::string loc = Machine::get().state().value("/windows/locale"_json_pointer, std::string("de-DE"));
    return loc.substr(0, loc.find('-'));
}

bool iequals(std::u16string_view a, std::u16string_view b) { return txt::iequals(a, b); }

}  // namespace sim
