// Child processes of the simulated machine, and the system folder. A program is a file on drive C:
// named by the application name or found by the Windows search for an unqualified name; a file that
// starts with the line "TXR-SIM-PROGRAM <name>" is one of the sim's own programs, any other file is
// not a program (ERROR_BAD_EXE_FORMAT). A fresh machine has C:\Windows\System32\expand.exe, the
// cabinet expansion tool, which runs as a real host child process: the host's cabextract with the
// Windows paths mapped. It takes exactly expand's documented argument forms
//   expand [-r] source [destination]      expand -D source.cab [-F:files]
//   expand source.cab -F:files destination
// (options in either case) and ends with exit code 1 for anything else, as the real tool does. The
// sim starts it only when the application name is its full path in the system folder: a program
// that looks for it through the search would find an "expand.exe" in its own folder first on
// Windows, so CreateProcessW refuses such a start with ERROR_ACCESS_DENIED (stricter than
// Windows, to keep that mistake out). What a well-formed call does is a setting of the state,
// /processes/expand:
//   {"behaviour": "extract"}                 cabextract (the default)
//   {"behaviour": "hang"}                    a child that never ends by itself
//   {"behaviour": "exit", "exit_code": N}    a child that ends at once with exit code N
// and CreateProcessW can be failed with a fault like any other call. Waiting is real waiting on the
// child (the virtual clock advances by the time waited).
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <thread>

#include "platform/sim/SimMachine.h"
#include "platform/sim/SimProcesses.h"
#include "platform/utf.h"
#include "platform/win/errors.h"
#include "platform/win/files.h"
#include "platform/win/processes.h"
#include "platform/win/system.h"

extern char** environ;

namespace fs = std::filesystem;

namespace sim {

namespace {

constexpr const char* kProgramMark = "TXR-SIM-PROGRAM ";

const RegisterDefaults processDefaults("processes", [](json& s, const ProfileOptions&) {
    s["processes"] = {{"expand", {{"behaviour", "extract"}, {"exit_code", 0}}}};
});

const RegisterDriveDefaults processPrograms([](const fs::path& driveC, const json&) {
    std::error_code ec;
    const fs::path system32 = driveC / "Windows" / "System32";
    fs::create_directories(system32, ec);
    std::ofstream(system32 / "expand.exe", std::ios::binary) << kProgramMark << "expand\n";
});

struct Child {
    pid_t pid = -1;
    bool ended = false;
    win::DWORD exitCode = win::STILL_ACTIVE;
    bool terminated = false;
    win::DWORD terminateCode = 0;
    int handles = 0;
    std::string image;
};

std::map<win::HANDLE, std::shared_ptr<Child>>& process_handles()
{
    static std::map<win::HANDLE, std::shared_ptr<Child>> m;
    return m;
}

std::map<win::HANDLE, std::shared_ptr<Child>>& thread_handles()
{
    static std::map<win::HANDLE, std::shared_ptr<Child>> m;
    return m;
}

// Children whose handles were all closed while they still ran; reaped when they end.
std::vector<std::shared_ptr<Child>>& detached()
{
    static std::vector<std::shared_ptr<Child>> v;
    return v;
}

// Collects the child's end without blocking; true once it has ended.
bool reap(Child& c)
{
    if (c.ended) return true;
    int status = 0;
    const pid_t r = ::waitpid(c.pid, &status, WNOHANG);
    if (r == 0) return false;
    c.ended = true;
    if (c.terminated) c.exitCode = c.terminateCode;
    else if (r == c.pid && WIFEXITED(status)) c.exitCode = static_cast<win::DWORD>(WEXITSTATUS(status));
    else c.exitCode = 1;
    Machine::get().event({{"type", "process_ended"}, {"image", c.image}, {"pid", c.pid}, {"exit_code", c.exitCode}});
    return true;
}

void reap_detached()
{
    auto& v = detached();
    std::erase_if(v, [](const std::shared_ptr<Child>& c) { return reap(*c); });
}

std::shared_ptr<Child> find_child(win::HANDLE h, bool processOnly)
{
    if (auto it = process_handles().find(h); it != process_handles().end()) return it->second;
    if (!processOnly)
        if (auto it = thread_handles().find(h); it != thread_handles().end()) return it->second;
    return nullptr;
}

// The command line split as the C runtime of a Windows program splits it.
std::vector<std::u16string> split_command_line(std::u16string_view line)
{
    std::vector<std::u16string> args;
    std::size_t i = 0;
    // The program name: quoted up to the next quote, or up to the first blank; no escapes.
    while (i < line.size() && (line[i] == u' ' || line[i] == u'\t')) ++i;
    std::u16string program;
    if (i < line.size() && line[i] == u'"') {
        const auto end = line.find(u'"', i + 1);
        program = std::u16string(line.substr(i + 1, end == std::u16string_view::npos ? end : end - i - 1));
        i = end == std::u16string_view::npos ? line.size() : end + 1;
    } else {
        while (i < line.size() && line[i] != u' ' && line[i] != u'\t') program += line[i++];
    }
    args.push_back(program);
    while (true) {
        while (i < line.size() && (line[i] == u' ' || line[i] == u'\t')) ++i;
        if (i >= line.size()) break;
        std::u16string arg;
        bool quoted = false;
        while (i < line.size() && (quoted || (line[i] != u' ' && line[i] != u'\t'))) {
            std::size_t slashes = 0;
            while (i < line.size() && line[i] == u'\\') {
                ++slashes;
                ++i;
            }
            if (i < line.size() && line[i] == u'"') {
                arg.append(slashes / 2, u'\\');
                if (slashes % 2) arg += u'"';
                else quoted = !quoted;
                ++i;
            } else {
                arg.append(slashes, u'\\');
                if (i < line.size() && (quoted || (line[i] != u' ' && line[i] != u'\t'))) arg += line[i++];
            }
        }
        args.push_back(arg);
    }
    return args;
}

std::u16string env_value(const json& s, std::string_view name)
{
    const auto& env = s["environment"];
    for (auto it = env.begin(); it != env.end(); ++it)
        if (txt::iequals(txt::from_utf8(it.key()), txt::from_utf8(name))) return txt::from_utf8(it.value().get<std::string>());
    return {};
}

bool is_file(const fs::path& p)
{
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

// The Windows search for a program named without a folder: the system folder, the 16-bit system
// folder, the Windows folder, then each folder of PATH; ".exe" appended when the name has no
// extension. (The program's own folder and the current folder hold no programs in the sim.)
std::optional<std::pair<std::u16string, fs::path>> find_program(const std::u16string& name)
{
    auto& m = Machine::get();
    std::u16string file = name;
    const auto lastSep = file.find_last_of(u"\\/");
    const auto lastDot = file.find_last_of(u'.');
    if (lastDot == std::u16string::npos || (lastSep != std::u16string::npos && lastDot < lastSep)) file += u".exe";
    std::vector<std::u16string> candidates;
    if (lastSep != std::u16string::npos) {
        candidates.push_back(file);
    } else {
        std::u16string windows = env_value(m.state(), "SystemRoot");
        if (windows.empty()) windows = u"C:\\Windows";
        for (const auto& folder : {windows + u"\\System32", windows + u"\\System", windows})
            candidates.push_back(folder + u"\\" + file);
        const std::u16string path = env_value(m.state(), "Path");
        std::size_t start = 0;
        while (start <= path.size()) {
            auto end = path.find(u';', start);
            if (end == std::u16string::npos) end = path.size();
            if (end > start) candidates.push_back(path.substr(start, end - start) + u"\\" + file);
            start = end + 1;
        }
    }
    for (const auto& c : candidates) {
        auto host = m.map_path(c);
        if (host && is_file(*host)) return std::make_pair(c, *host);
    }
    return std::nullopt;
}

// The name of the sim's own program in the image file, or empty when the file is not one.
std::string program_of(const fs::path& image)
{
    std::ifstream in(image, std::ios::binary);
    std::string line;
    std::getline(in, line);
    const std::string mark = kProgramMark;
    if (line.rfind(mark, 0) != 0) return {};
    std::string name = line.substr(mark.size());
    while (!name.empty() && (name.back() == '\r' || name.back() == ' ')) name.pop_back();
    return name;
}

constexpr char16_t kSystemFolder[] = u"C:\\Windows\\System32";

bool is_option(const std::u16string& a, char16_t letter)
{
    return a.size() == 2 && a[0] == u'-' && (a[1] == letter || a[1] == letter - u'a' + u'A');
}

// "-F:files" with a non-empty file list: the list, else nullopt.
std::optional<std::u16string> file_filter(const std::u16string& a)
{
    if (a.size() < 4 || a[0] != u'-' || (a[1] != u'F' && a[1] != u'f') || a[2] != u':') return std::nullopt;
    return a.substr(3);
}

// The Windows folder a Windows path lies in ("C:\x\a.cab" -> "C:\x").
std::u16string folder_of(const std::u16string& path)
{
    const auto sep = path.find_last_of(u'\\');
    return sep == std::u16string::npos ? std::u16string() : path.substr(0, sep);
}

// The host command that stands for one of expand's documented forms; "exit 1" for any other.
std::vector<std::string> expand_command(const std::vector<std::u16string>& args)
{
    auto& m = Machine::get();
    const std::vector<std::string> refused = {"sh", "-c", "exit 1"};
    const std::vector<std::u16string> a(args.begin() + (args.empty() ? 0 : 1), args.end());
    const auto plain = [](const std::u16string& x) { return !x.empty() && x[0] != u'-'; };
    std::u16string source, destination, filter = u"*";
    bool list = false;
    if (!a.empty() && is_option(a[0], u'd')) {
        // expand -D source.cab [-F:files]
        if (a.size() < 2 || a.size() > 3 || !plain(a[1]) || (a.size() == 3 && !file_filter(a[2]))) return refused;
        list = true;
        source = a[1];
    } else if (a.size() == 3 && plain(a[0]) && file_filter(a[1]) && plain(a[2])) {
        // expand source.cab -F:files destination
        source = a[0];
        filter = *file_filter(a[1]);
        destination = a[2];
    } else {
        // expand [-r] source [destination]
        const std::size_t first = !a.empty() && is_option(a[0], u'r') ? 1 : 0;
        const std::size_t rest = a.size() - first;
        if (rest < 1 || rest > 2 || !plain(a[first]) || (rest == 2 && !plain(a[first + 1]))) return refused;
        source = a[first];
        destination = rest == 2 ? a[first + 1] : folder_of(source);
    }
    // A command line of the right form meets the behaviour the machine is set to.
    const json setting = m.state().value("/processes/expand"_json_pointer, json::object());
    const std::string behaviour = setting.value("behaviour", std::string("extract"));
    if (behaviour == "hang") return {"sleep", "3600"};
    if (behaviour == "exit") return {"sh", "-c", "exit " + std::to_string(setting.value("exit_code", 0) & 0xFF)};

    auto hostSource = m.map_path(source);
    if (!hostSource || !is_file(*hostSource)) return refused;
    if (list) return {"cabextract", "-q", "-l", hostSource->string()};
    auto hostDestination = m.map_path(destination);
    if (!hostDestination) return refused;
    std::vector<std::string> cmd = {"cabextract", "-q", "-d", hostDestination->string()};
    if (filter != u"*") {
        cmd.push_back("-F");
        cmd.push_back(txt::to_utf8(filter));
    }
    cmd.push_back(hostSource->string());
    return cmd;
}

pid_t spawn(const std::vector<std::string>& cmd)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // A program started without a window shows nothing anywhere.
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const auto& a : cmd) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

}  // namespace

bool close_process_object(win::HANDLE h)
{
    auto l = lock();
    auto& m = Machine::get();
    std::shared_ptr<Child> child;
    if (auto it = process_handles().find(h); it != process_handles().end()) {
        child = it->second;
        process_handles().erase(it);
        m.close_handle(h, "process");
    } else if (auto it2 = thread_handles().find(h); it2 != thread_handles().end()) {
        child = it2->second;
        thread_handles().erase(it2);
        m.close_handle(h, "thread");
    } else {
        return false;
    }
    // Closing the last handle does not end the process (as on Windows); it is reaped when it ends.
    if (--child->handles == 0 && !reap(*child)) detached().push_back(child);
    return true;
}

}  // namespace sim

namespace win {

BOOL CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, SECURITY_ATTRIBUTES*, SECURITY_ATTRIBUTES*, BOOL,
                    DWORD creationFlags, LPVOID, LPCWSTR, STARTUPINFOW* startupInfo, PROCESS_INFORMATION* info)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    sim::reap_detached();
    if (auto e = m.fault("CreateProcessW")) {
        SetLastError(*e);
        return FALSE;
    }
    if (!info || !startupInfo || (!applicationName && !commandLine)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::u16string line = commandLine ? std::u16string(commandLine) : std::u16string(applicationName);
    const auto args = sim::split_command_line(line);
    const std::u16string name = applicationName ? std::u16string(applicationName) : args[0];
    auto found = sim::find_program(name);
    if (!found) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    const std::string program = sim::program_of(found->second);
    std::vector<std::string> cmd;
    if (program == "expand") {
        const std::u16string systemExpand = std::u16string(sim::kSystemFolder) + u"\\expand.exe";
        if (!applicationName || !txt::iequals(applicationName, systemExpand)) {
            m.event({{"type", "process_refused"}, {"image", txt::to_utf8(found->first)}, {"command_line", txt::to_utf8(line)},
                     {"reason", "expand is started by its full path in the system folder only"}});
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        cmd = sim::expand_command(args);
    }
    if (cmd.empty()) {
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return FALSE;
    }
    const pid_t pid = sim::spawn(cmd);
    if (pid < 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    auto child = std::make_shared<sim::Child>();
    child->pid = pid;
    child->handles = 2;
    child->image = txt::to_utf8(found->first);
    HANDLE process = m.open_handle("process", "CreateProcessW");
    HANDLE thread = m.open_handle("thread", "CreateProcessW");
    sim::process_handles()[process] = child;
    sim::thread_handles()[thread] = child;
    info->hProcess = process;
    info->hThread = thread;
    info->dwProcessId = static_cast<DWORD>(pid);
    info->dwThreadId = static_cast<DWORD>(pid);
    m.event({{"type", "process_started"},
             {"application_name", applicationName ? txt::to_utf8(applicationName) : std::string()},
             {"image", child->image},
             {"command_line", txt::to_utf8(line)},
             {"no_window", (creationFlags & CREATE_NO_WINDOW) != 0},
             {"pid", pid}});
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    auto child = sim::find_child(object, false);
    if (!child) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    if (auto e = m.fault("WaitForSingleObject")) {
        SetLastError(*e);
        return WAIT_FAILED;
    }
    const auto start = std::chrono::steady_clock::now();
    DWORD result = WAIT_TIMEOUT;
    while (true) {
        if (sim::reap(*child)) {
            result = WAIT_OBJECT_0;
            break;
        }
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        if (milliseconds != INFINITE && waited.count() >= milliseconds) break;
        auto pause = std::chrono::milliseconds(5);
        if (milliseconds != INFINITE) pause = std::min(pause, std::chrono::milliseconds(milliseconds) - waited);
        // Other threads may use the machine while this one waits.
        l.unlock();
        std::this_thread::sleep_for(pause);
        l.lock();
    }
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    m.state()["clock"]["ms"] = m.now_ms() + static_cast<std::uint64_t>(waited.count());
    return result;
}

BOOL TerminateProcess(HANDLE process, UINT exitCode)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    auto child = sim::find_child(process, true);
    if (!child) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (auto e = m.fault("TerminateProcess")) {
        SetLastError(*e);
        return FALSE;
    }
    if (sim::reap(*child)) {
        // A process that has already ended cannot be terminated.
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    child->terminated = true;
    child->terminateCode = exitCode;
    ::kill(child->pid, SIGKILL);
    m.event({{"type", "process_terminated"}, {"image", child->image}, {"pid", child->pid}, {"exit_code", exitCode}});
    return TRUE;
}

UINT GetSystemDirectoryW(LPWSTR buffer, UINT size)
{
    auto l = sim::lock();
    if (auto e = sim::Machine::get().fault("GetSystemDirectoryW")) {
        SetLastError(*e);
        return 0;
    }
    // The same folder for a 32-bit process on 64-bit Windows: redirection maps it, the name stays.
    const std::u16string folder = sim::kSystemFolder;
    const auto n = static_cast<UINT>(folder.size());
    if (!buffer || size <= n) return n + 1;
    std::memcpy(buffer, folder.c_str(), (folder.size() + 1) * sizeof(char16_t));
    return n;
}

BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode)
{
    auto l = sim::lock();
    auto child = sim::find_child(process, true);
    if (!child || !exitCode) {
        SetLastError(child ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *exitCode = sim::reap(*child) ? child->exitCode : STILL_ACTIVE;
    return TRUE;
}

}  // namespace win
