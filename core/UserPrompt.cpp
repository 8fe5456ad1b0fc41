#include "core/UserPrompt.h"

#include <string>

#include "platform/win32api.h"

namespace txr {

bool WindowStationVisible()
{
    // The station handle belongs to the process and is not closed.
    win::HWINSTA station = win::GetProcessWindowStation();
    if (!station) return true;
    win::USEROBJECTFLAGS flags{};
    win::DWORD needed = 0;
    if (!win::GetUserObjectInformationW(station, win::UOI_FLAGS, &flags, sizeof(flags), &needed)) return true;
    return (flags.dwFlags & win::WSF_VISIBLE) != 0;
}

int DefaultButton(win::UINT type)
{
    // The buttons of each set from left to right; MB_DEFBUTTONn picks the n-th, the first otherwise.
    static const int kButtons[6][3] = {
        {win::IDOK, win::IDOK, win::IDOK},              // MB_OK
        {win::IDOK, win::IDCANCEL, win::IDCANCEL},      // MB_OKCANCEL
        {win::IDABORT, win::IDRETRY, win::IDIGNORE},    // MB_ABORTRETRYIGNORE
        {win::IDYES, win::IDNO, win::IDCANCEL},         // MB_YESNOCANCEL
        {win::IDYES, win::IDNO, win::IDNO},             // MB_YESNO
        {win::IDRETRY, win::IDCANCEL, win::IDCANCEL},   // MB_RETRYCANCEL
    };
    const win::UINT set = type & win::MB_TYPEMASK;
    if (set >= 6) return win::IDOK;
    const win::UINT def = type & win::MB_DEFMASK;
    const int index = def == win::MB_DEFBUTTON2 ? 1 : def == win::MB_DEFBUTTON3 ? 2 : 0;
    return kButtons[set][index];
}

int ShowMessageBox(std::u16string_view text, std::u16string_view caption, win::UINT type)
{
    const std::u16string c(caption);
    if (WindowStationVisible()) {
        const std::u16string t(text);
        return win::MessageBoxW(nullptr, t.c_str(), c.c_str(), type);
    }
    // Nobody would ever see the box, and its modal loop would wait for ever. A system message's
    // own closing line break is dropped: the box's text ends the line.
    std::u16string_view body = text;
    while (!body.empty() && (body.back() == u'\r' || body.back() == u'\n')) body.remove_suffix(1);
    std::u16string line = u"\n[" + c + u"]\n";
    line.append(body);
    line += u'\n';
    win::DWORD written = 0;
    win::WriteConsoleW(win::GetStdHandle(win::STD_OUTPUT_HANDLE), line.data(), static_cast<win::DWORD>(line.size()),
                       &written, nullptr);
    return DefaultButton(type);
}

void WaitForKey()
{
    if (WindowStationVisible()) win::ReadConsoleKey();
}

}  // namespace txr
