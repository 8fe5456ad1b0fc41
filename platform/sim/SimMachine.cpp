#include "platform/sim/SimMachine.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/sim/SimHost.h"
#include "platform/sim/SimJournal.h"
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

}  // namespace

// Each writer has a temporary file of its own, so two processes never write into one.
void write_file_atomically(const fs::path& file, const std::string& text)
{
    fs::create_directories(file.parent_path());
    static std::atomic<std::uint64_t> serial{0};
    fs::path tmp = file;
    tmp += "." + std::to_string(host::process_id()) + "." + std::to_string(++serial) + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            out.close();
            std::error_code ec;
            fs::remove(tmp, ec);
            throw std::runtime_error("cannot write " + tmp.string());
        }
    }
    fs::rename(tmp, file);
}

namespace {

std::string read_file(const fs::path& file, std::uintmax_t from = 0)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) return {};
    if (from) in.seekg(static_cast<std::streamoff>(from));
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Applies the whole lines of journal text to each of the targets; answers how many bytes they
// took. A line without its end (a writer stopped in the middle) is not read.
std::uintmax_t apply_journal(const std::string& text, std::initializer_list<json*> targets, json* lines = nullptr)
{
    std::size_t pos = 0;
    for (;;) {
        const std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) break;
        json change = json::parse(text.begin() + static_cast<std::ptrdiff_t>(pos),
                                  text.begin() + static_cast<std::ptrdiff_t>(end), nullptr, false);
        pos = end + 1;
        if (change.is_discarded()) continue;
        for (json* t : targets) journal::apply(*t, change);
        if (lines) lines->push_back(std::move(change));
    }
    return pos;
}

// The journal is folded into the state file once it holds more than the state file itself (and
// at least this much), so that folding costs on average no more than the changes that led to it.
constexpr std::uintmax_t kFoldAtLeast = 256 * 1024;

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

Machine::~Machine()
{
    // The end of the process: the journal goes into the state file. Nothing may leave a
    // destructor; a journal left behind is read the next time anyway.
    try {
        fold();
    } catch (...) {
    }
}

bool Machine::state_file_changed_locked()
{
    std::error_code ec;
    const auto time = fs::last_write_time(state_file(), ec);
    if (ec) return true;
    const auto size = fs::file_size(state_file(), ec);
    return ec || time != disk_.stateTime || size != disk_.stateSize;
}

bool Machine::load_from_disk_locked()
{
    std::error_code ec;
    if (!fs::exists(state_file(), ec)) return false;
    const auto time = fs::last_write_time(state_file(), ec);
    json base = json::parse(read_file(state_file()), nullptr, /*allow_exceptions=*/false);
    if (base.is_discarded() || !base.is_object()) return false;
    disk_.stateTime = time;
    disk_.stateSize = fs::file_size(state_file(), ec);
    disk_.journalRead = apply_journal(read_file(journal_file()), {&base});
    saved_ = base;
    state_ = std::move(base);
    othersChanges_ = json::array();
    othersReplaceAll_ = false;
    return true;
}

void Machine::load_or_create()
{
    loaded_ = true;
    std::error_code ec;
    fs::create_directories(root_, ec);
    host::FileLock fileLock(lock_file());
    if (load_from_disk_locked()) {
        // Sections a newer sim knows but an older state lacks come from the default profile.
        ProfileOptions o;
        o.locale = state_.value("/windows/locale"_json_pointer, std::string("de-DE"));
        o.bits = state_.value("/windows/bits"_json_pointer, 64);
        json d = default_profile(o);
        for (auto& [k, v] : d.items())
            if (!state_.contains(k)) state_[k] = v;
        return;
    }
    state_ = default_profile(ProfileOptions{});
    fs::create_directories(drive_c(), ec);
    populate_drive();
    saved_ = state_;
    write_full_locked();
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
    othersChanges_ = json::array();
    othersReplaceAll_ = false;
    callCounts_.clear();
    handles_.clear();
    eventSeq_ = 0;
}

void Machine::save()
{
    auto l = lock();
    if (!loaded_) load_or_create();
    json changes = json::array();
    journal::diff(saved_, state_, changes);
    commit_locked(std::move(changes));
}

void Machine::save_changed(std::initializer_list<std::string_view> paths)
{
    auto l = lock();
    if (!loaded_) load_or_create();
    json changes = json::array();
    auto note = [&](const json::json_pointer& p) {
        if (state_.contains(p)) {
            if (!saved_.contains(p) || saved_[p] != state_[p])
                changes.push_back({{"op", "set"}, {"path", p.to_string()}, {"value", state_[p]}});
        } else if (saved_.contains(p)) {
            changes.push_back({{"op", "remove"}, {"path", p.to_string()}});
        }
    };
    for (std::string_view p : paths) {
        // A list is compared element by element, so that one printer among many is one line.
        const json::json_pointer at{std::string(p)};
        if (state_.contains(at) && saved_.contains(at) && state_[at].is_array() && saved_[at].is_array()) {
            json part = json::array();
            journal::diff(saved_[at], state_[at], part);
            for (auto& c : part) {
                c["path"] = std::string(p) + c["path"].get<std::string>();
                changes.push_back(std::move(c));
            }
        } else {
            note(at);
        }
    }
    note("/clock"_json_pointer);
    commit_locked(std::move(changes));
}

void Machine::save_element(std::string_view list, std::string_view name)
{
    auto l = lock();
    if (!loaded_) load_or_create();
    const json::json_pointer at{std::string(list)};
    const std::string n(name);
    const json* now = state_.contains(at) ? journal::find_named(state_[at], n) : nullptr;
    const json* was = saved_.contains(at) ? journal::find_named(saved_[at], n) : nullptr;
    json changes = json::array();
    if (now && (!was || *was != *now))
        changes.push_back({{"op", "put"}, {"path", at.to_string()}, {"name", n}, {"value", *now}});
    else if (!now && was)
        changes.push_back({{"op", "drop"}, {"path", at.to_string()}, {"name", n}});
    if (saved_.value("/clock/ms"_json_pointer, std::uint64_t{0}) != state_.value("/clock/ms"_json_pointer, std::uint64_t{0}))
        changes.push_back({{"op", "set"}, {"path", "/clock/ms"}, {"value", state_["clock"]["ms"]}});
    commit_locked(std::move(changes));
}

void Machine::catch_up_locked(json& changes, bool& rebased)
{
    rebased = false;
    if (state_file_changed_locked()) {
        // Another process wrote the state file (a fold or a reset): start again from the files and
        // put this process's own changes on top. What this process changed without naming it is
        // taken in too.
        changes = json::array();
        journal::diff(saved_, state_, changes);
        json keep = std::move(saved_);
        const DiskMark keepMark = disk_;
        json mine = std::move(state_);
        const bool read = load_from_disk_locked();
        json base = std::move(state_);
        state_ = std::move(mine);
        if (!read) {
            saved_ = std::move(keep);
            disk_ = keepMark;
            return;
        }
        for (const auto& c : changes) journal::apply(base, c);
        saved_ = std::move(base);
        othersChanges_ = json::array();
        othersReplaceAll_ = true;
        rebased = true;
        return;
    }
    const std::string text = read_file(journal_file(), disk_.journalRead);
    disk_.journalRead += apply_journal(text, {&saved_}, &othersChanges_);
}

void Machine::take_in_others_changes()
{
    if (othersReplaceAll_) {
        state_ = saved_;
    } else {
        for (const auto& c : othersChanges_) journal::apply(state_, c);
    }
    othersReplaceAll_ = false;
    othersChanges_ = json::array();
}

StateLock::StateLock(Machine& m) : m_(m)
{
    m_.mutex_.lock();
    // Between two sim calls no reference into the state is held: the place to take in what other
    // processes saved.
    if (m_.lockDepth_++ == 0 && (m_.othersReplaceAll_ || !m_.othersChanges_.empty())) m_.take_in_others_changes();
}

void StateLock::unlock()
{
    --m_.lockDepth_;
    m_.mutex_.unlock();
}

void StateLock::lock()
{
    m_.mutex_.lock();
    ++m_.lockDepth_;
}

StateLock::~StateLock()
{
    --m_.lockDepth_;
    m_.mutex_.unlock();
}

void Machine::commit_locked(json changes)
{
    if (changes.empty()) return;
    std::error_code ec;
    fs::create_directories(root_, ec);
    host::FileLock fileLock(lock_file());
    bool rebased = false;
    catch_up_locked(changes, rebased);
    if (rebased || !fs::exists(state_file(), ec)) {
        if (!rebased) saved_ = state_;
        write_full_locked();
        return;
    }
    // A line a writer left unfinished is cut off before this one's lines follow it.
    if (fs::file_size(journal_file(), ec) != disk_.journalRead && !ec) fs::resize_file(journal_file(), disk_.journalRead);
    std::string text;
    for (const auto& c : changes) {
        text += c.dump();
        text += '\n';
    }
    {
        std::ofstream out(journal_file(), std::ios::binary | std::ios::app);
        out << text;
        out.flush();
        if (!out) throw std::runtime_error("cannot write " + journal_file().string());
    }
    for (const auto& c : changes) journal::apply(saved_, c);
    disk_.journalRead += text.size();
    if (disk_.journalRead > std::max(kFoldAtLeast, disk_.stateSize)) write_full_locked();
}

void Machine::write_full_locked()
{
    write_file_atomically(state_file(), saved_.dump(2) + "\n");
    std::error_code ec;
    // Emptied after the state file holds everything: a process that stops in between leaves a
    // journal whose changes the new state file already has, and applying them again changes
    // nothing.
    if (fs::exists(journal_file(), ec)) fs::resize_file(journal_file(), 0, ec);
    disk_.stateTime = fs::last_write_time(state_file(), ec);
    disk_.stateSize = fs::file_size(state_file(), ec);
    disk_.journalRead = 0;
}

void Machine::fold()
{
    auto l = lock();
    std::error_code ec;
    // A machine whose folder is gone (a test's, removed at its end) is not made again.
    if (!loaded_ || !fs::is_directory(root_, ec)) return;
    save();
    host::FileLock fileLock(lock_file());
    json none = json::array();
    bool rebased = false;
    catch_up_locked(none, rebased);
    write_full_locked();
}

void Machine::with_file_lock(const std::function<void()>& f)
{
    auto l = lock();
    std::error_code ec;
    fs::create_directories(root_, ec);
    host::FileLock fileLock(lock_file());
    f();
}

void Machine::reset(const ProfileOptions& options)
{
    auto l = lock();
    std::error_code ec;
    fs::create_directories(root_, ec);
    host::FileLock fileLock(lock_file());
    fs::remove_all(drive_c(), ec);
    fs::remove(event_file(), ec);
    fs::remove(journal_file(), ec);
    fs::remove(objects_file(), ec);
    fs::create_directories(drive_c(), ec);
    state_ = default_profile(options);
    loaded_ = true;
    populate_drive();
    callCounts_.clear();
    handles_.clear();
    eventSeq_ = 0;
    othersChanges_ = json::array();
    othersReplaceAll_ = false;
    saved_ = state_;
    write_full_locked();
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

namespace {
// The calling thread's own time while it runs as a background worker (see begin_timeline).
thread_local std::optional<std::uint64_t> t_timeline;
}  // namespace

std::uint64_t Machine::now_ms()
{
    if (t_timeline) return *t_timeline;
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
        if (t_timeline) *t_timeline += ms;
        else s["clock"]["ms"] = now_ms() + ms;
        // The clock lives in memory while the program runs; it is saved with the next mutation.
    }
    if (real)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    else
        std::this_thread::yield();
}

void Machine::begin_timeline()
{
    t_timeline.reset();
    t_timeline = now_ms();
}

std::uint64_t Machine::end_timeline()
{
    const std::uint64_t at = t_timeline ? *t_timeline : now_ms();
    t_timeline.reset();
    return at;
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
