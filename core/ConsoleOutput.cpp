// The console's line writer: UTF-16 text through WriteConsoleW; a line break is "\n".
#include "core/Form1.h"
#include "platform/win32api.h"

namespace txr {

void Form1::ConsoleWrite(std::u16string_view text)
{
    win::HANDLE out = win::GetStdHandle(win::STD_OUTPUT_HANDLE);
    win::DWORD written = 0;
    win::WriteConsoleW(out, text.data(), static_cast<win::DWORD>(text.size()), &written, nullptr);
}

void Form1::ConsolePrint(std::u16string_view text)
{
    std::u16string line(text);
    line += u'\n';
    ConsoleWrite(line);
}

void Form1::ConsoleBeep(std::uint32_t frequency, std::uint32_t durationMs) { win::Beep(frequency, durationMs); }

}  // namespace txr
