// Runs the installer's console face under Wine as a person at the screen would see it: starts the
// program, answers each of its message boxes with the default button after a pause (so that the
// box can be looked at), copies the text of the console window the program makes, and reports the
// program's exit code. It shares the program's console from the moment it appears, so the window
// stays on the screen for the hold time after the program has ended (the last text can be read and
// photographed), then goes. Everything goes to standard output:
//   [message box] CAPTION: TEXT
//   == console
//   ...the console's last text...
//   == exit CODE
//   console_smoke.exe <seconds to give up> <ms before answering a box> <ms to hold> <program> [arguments...]
// Exit code: 0 when the program ended by itself, 1 when it had to be ended.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& w)
{
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

// One argument quoted as the C runtime splits a command line.
std::wstring Quoted(const std::wstring& arg)
{
    std::wstring q = L"\"";
    std::size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        q.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        q += c;
    }
    q.append(slashes * 2, L'\\');
    return q + L"\"";
}

struct Box {
    HWND window;
    DWORD firstSeen;
};

struct Search {
    DWORD pid;
    std::vector<HWND> boxes;
};

BOOL CALLBACK CollectBoxes(HWND w, LPARAM p)
{
    auto* s = reinterpret_cast<Search*>(p);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    wchar_t cls[32] = {};
    GetClassNameW(w, cls, 32);
    if (pid == s->pid && IsWindowVisible(w) && std::wcscmp(cls, L"#32770") == 0) s->boxes.push_back(w);
    return TRUE;
}

std::wstring WindowText(HWND w)
{
    wchar_t text[1024] = {};
    GetWindowTextW(w, text, 1024);
    return text;
}

// The text of the console this program is attached to, row by row without trailing blanks.
std::wstring ConsoleText()
{
    std::wstring text;
    HANDLE out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (out != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo(out, &info)) {
        const SHORT width = info.dwSize.X;
        std::vector<wchar_t> row(static_cast<std::size_t>(width));
        std::wstring pending;
        for (SHORT y = 0; y <= info.dwCursorPosition.Y && y < info.dwSize.Y; ++y) {
            DWORD read = 0;
            if (!ReadConsoleOutputCharacterW(out, row.data(), static_cast<DWORD>(width), COORD{0, y}, &read)) break;
            std::wstring line(row.data(), read);
            line.erase(line.find_last_not_of(L' ') + 1);
            pending += line + L"\n";
            if (!line.empty()) {
                text += pending;
                pending.clear();
            }
        }
    }
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 5) {
        std::fputs("usage: console_smoke <seconds> <answer delay ms> <hold ms> <program> [arguments...]\n", stderr);
        return 2;
    }
    const DWORD limitMs = static_cast<DWORD>(_wtoi(argv[1])) * 1000;
    const DWORD answerDelayMs = static_cast<DWORD>(_wtoi(argv[2]));
    const DWORD holdMs = static_cast<DWORD>(_wtoi(argv[3]));
    std::wstring commandLine = Quoted(argv[4]);
    for (int i = 5; i < argc; ++i) commandLine += L" " + Quoted(argv[i]);

    // The report goes to the standard output this program was started with; the program's own
    // console is given up so that the installer's console can be read.
    HANDLE report = GetStdHandle(STD_OUTPUT_HANDLE);
    auto say = [report](const std::string& s) {
        DWORD n = 0;
        WriteFile(report, s.data(), static_cast<DWORD>(s.size()), &n, nullptr);
    };
    FreeConsole();

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr,
                        &startup, &process)) {
        say("cannot start the program: error " + std::to_string(GetLastError()) + "\n");
        return 2;
    }
    CloseHandle(process.hThread);

    const DWORD start = GetTickCount();
    std::vector<Box> seen;
    std::wstring lastText;
    bool attached = false;
    bool ended = true;
    while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
        if (GetTickCount() - start > limitMs) {
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, 5000);
            ended = false;
            break;
        }
        if (!attached) attached = AttachConsole(process.dwProcessId) != FALSE;
        if (attached) lastText = ConsoleText();

        Search search{process.dwProcessId, {}};
        EnumWindows(CollectBoxes, reinterpret_cast<LPARAM>(&search));
        for (HWND w : search.boxes) {
            bool known = false;
            for (Box& b : seen) {
                if (b.window != w) continue;
                known = true;
                if (GetTickCount() - b.firstSeen >= answerDelayMs) {
                    const LRESULT def = SendMessageW(w, DM_GETDEFID, 0, 0);
                    const WORD id = HIWORD(def) == DC_HASDEFID ? LOWORD(def) : IDOK;
                    PostMessageW(w, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
                    b.firstSeen = GetTickCount() + 60000;  // answered: not again
                }
            }
            if (known) continue;
            seen.push_back(Box{w, GetTickCount()});
            // The box's text is its static control 0xFFFF.
            wchar_t text[2048] = {};
            GetDlgItemTextW(w, 0xFFFF, text, 2048);
            say("[message box] " + Utf8(WindowText(w)) + ": " + Utf8(text) + "\n");
        }
    }

    if (attached) {
        lastText = ConsoleText();
        Sleep(holdMs);
        FreeConsole();
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    say("== console\n" + Utf8(lastText) + "== exit " + (ended ? std::to_string(code) : std::string("(ended by the smoke run)")) + "\n");
    return ended ? 0 : 1;
}
