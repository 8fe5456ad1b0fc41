// The console on Linux: output goes to the process's standard output as UTF-8, the key is read from
// standard input (unbuffered when it is a terminal), colour changes and tones go to the event log.
#include <cstdio>
#include <termios.h>
#include <unistd.h>

#include "platform/sim/SimConsole.h"
#include "platform/sim/SimMachine.h"
#include "platform/utf.h"
#include "platform/win/console.h"
#include "platform/win/errors.h"

namespace win {

namespace {

bool g_consoleAllocated = false;
bool g_colourShown = false;

HANDLE const kStdIn = reinterpret_cast<HANDLE>(0x10);
HANDLE const kStdOut = reinterpret_cast<HANDLE>(0x14);
HANDLE const kStdErr = reinterpret_cast<HANDLE>(0x18);

// ANSI colour for the 16-colour console palette (foreground bits).
const char* ansi_colour(WORD attributes)
{
    static const char* const codes[16] = {"30", "34", "32", "36", "31", "35", "33", "37",
                                          "90", "94", "92", "96", "91", "95", "93", "97"};
    return codes[attributes & 0x0F];
}

}  // namespace

BOOL AllocConsole()
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (auto e = m.fault("AllocConsole")) {
        SetLastError(*e);
        return FALSE;
    }
    if (g_consoleAllocated) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    g_consoleAllocated = true;
    m.event({{"type", "console"}, {"action", "alloc"}});
    return TRUE;
}

BOOL FreeConsole()
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (!g_consoleAllocated) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    g_consoleAllocated = false;
    if (g_colourShown) {
        std::fputs("\033[0m", stdout);
        std::fflush(stdout);
        g_colourShown = false;
    }
    m.event({{"type", "console"}, {"action", "free"}});
    return TRUE;
}

HANDLE GetStdHandle(DWORD which)
{
    switch (which) {
    case STD_INPUT_HANDLE: return kStdIn;
    case STD_OUTPUT_HANDLE: return kStdOut;
    case STD_ERROR_HANDLE: return kStdErr;
    default: SetLastError(ERROR_INVALID_HANDLE); return INVALID_HANDLE_VALUE;
    }
}

BOOL SetConsoleTextAttribute(HANDLE console, WORD attributes)
{
    auto l = sim::lock();
    if (console != kStdOut && console != kStdErr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    sim::Machine::get().event({{"type", "color"}, {"value", attributes}});
    // Only a terminal shows colour; a pipe or a file gets the plain text.
    if (isatty(fileno(stdout))) {
        std::fprintf(stdout, "\033[%sm", ansi_colour(attributes));
        std::fflush(stdout);
        g_colourShown = true;
    }
    return TRUE;
}

BOOL WriteConsoleW(HANDLE console, LPCVOID buffer, DWORD chars, DWORD* written, LPVOID)
{
    if (console != kStdOut && console != kStdErr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (auto e = sim::Machine::get().fault("WriteConsoleW")) {
        SetLastError(*e);
        return FALSE;
    }
    const std::string text = txt::to_utf8(std::u16string_view(static_cast<const char16_t*>(buffer), chars));
    FILE* f = console == kStdOut ? stdout : stderr;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fflush(f);
    // A timed run also wants to know when each text appeared.
    if (sim::Machine::get().state().value("/clock/wall_stamps"_json_pointer, false))
        sim::Machine::get().event({{"type", "console_text"}, {"text", text}});
    if (written) *written = chars;
    return TRUE;
}

BOOL Beep(DWORD frequency, DWORD durationMs)
{
    auto& m = sim::Machine::get();
    if (auto e = m.fault("Beep")) {
        SetLastError(*e);
        return FALSE;
    }
    m.event({{"type", "beep"}, {"frequency", frequency}, {"duration", durationMs}});
    m.sleep_ms(durationMs);  // Beep returns when the tone has ended
    return TRUE;
}

BOOL ReadConsoleKey()
{
    auto& m = sim::Machine::get();
    {
        // "console.input": "stdin" (default), "none" (no key will come), or a text whose characters
        // are the keys a person presses, one per wait.
        auto l = sim::lock();
        auto& s = m.state();
        if (s.contains("console") && s["console"].contains("input") && s["console"]["input"] != "stdin") {
            auto& in = s["console"]["input"];
            std::string keys = in.is_string() && in != "none" ? in.get<std::string>() : std::string();
            const bool got = !keys.empty();
            if (got) {
                in = keys.size() > 1 ? keys.substr(1) : std::string("none");
                m.save();
            }
            m.event({{"type", "key_wait"}, {"result", got ? "key" : "no_input"}});
            return got ? TRUE : FALSE;
        }
    }
    const int fd = fileno(stdin);
    unsigned char c = 0;
    ssize_t n = 0;
    if (isatty(fd)) {
        termios old{};
        tcgetattr(fd, &old);
        termios raw = old;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        tcsetattr(fd, TCSANOW, &raw);
        n = read(fd, &c, 1);
        tcsetattr(fd, TCSANOW, &old);
    } else {
        n = read(fd, &c, 1);
    }
    const bool got = n == 1;
    m.event({{"type", "key_wait"}, {"result", got ? "key" : "no_input"}});
    return got ? TRUE : FALSE;
}

}  // namespace win

namespace sim {

void reset_console()
{
    auto l = lock();
    win::g_consoleAllocated = false;
    win::g_colourShown = false;
}

}  // namespace sim
