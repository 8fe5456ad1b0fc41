// Message boxes in the sim: recorded in the event log (and echoed on standard error so a person at
// a terminal sees them); the answer is the default button, or what a scenario queued. The process's
// window station is visible unless the state says "process.window_station_visible": false (an
// installation started as SYSTEM in session 0 by a deployment tool).
#include <cstdio>

#include "platform/sim/SimMachine.h"
#include "platform/utf.h"
#include "platform/win/errors.h"
#include "platform/win/user.h"

namespace win {

namespace {

const char* icon_name(UINT type)
{
    switch (type & 0xF0) {
    case MB_ICONERROR: return "error";
    case MB_ICONQUESTION: return "question";
    case MB_ICONWARNING: return "warning";
    case MB_ICONINFORMATION: return "information";
    default: return "none";
    }
}

const char* buttons_name(UINT type)
{
    switch (type & 0x0F) {
    case MB_OK: return "ok";
    case MB_OKCANCEL: return "ok_cancel";
    case MB_YESNO: return "yes_no";
    default: return "other";
    }
}

int default_answer(UINT type)
{
    switch (type & 0x0F) {
    case MB_OKCANCEL: return IDOK;
    case MB_YESNO: return IDYES;
    default: return IDOK;
    }
}

}  // namespace

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    const std::string t = txt::to_utf8(text ? text : u"");
    const std::string c = txt::to_utf8(caption ? caption : u"Error");
    int answer = default_answer(type);
    auto& s = m.state();
    // A scenario may queue answers: "message_box_answers": [7, 1, ...]
    if (s.contains("message_box_answers") && s["message_box_answers"].is_array() && !s["message_box_answers"].empty()) {
        answer = s["message_box_answers"][0].get<int>();
        s["message_box_answers"].erase(0);
        m.save();
    }
    m.event({{"type", "message_box"},
             {"caption", c},
             {"text", t},
             {"icon", icon_name(type)},
             {"buttons", buttons_name(type)},
             {"owner", owner != nullptr},
             {"answer", answer}});
    std::fprintf(stderr, "[message box] %s: %s\n", c.c_str(), t.c_str());
    return answer;
}

HWND GetDesktopWindow() { return reinterpret_cast<HWND>(0x10010); }

namespace {
// A pseudo handle, as Windows gives one the process does not own and must not close.
HWINSTA const kProcessWindowStation = reinterpret_cast<HWINSTA>(0x10020);
}  // namespace

HWINSTA GetProcessWindowStation()
{
    auto l = sim::lock();
    if (auto e = sim::Machine::get().fault("GetProcessWindowStation")) {
        SetLastError(*e);
        return nullptr;
    }
    return kProcessWindowStation;
}

BOOL GetUserObjectInformationW(HANDLE object, int index, LPVOID info, DWORD length, DWORD* lengthNeeded)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (auto e = m.fault("GetUserObjectInformationW")) {
        SetLastError(*e);
        return FALSE;
    }
    if (object != static_cast<HANDLE>(kProcessWindowStation)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (index != UOI_FLAGS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (lengthNeeded) *lengthNeeded = sizeof(USEROBJECTFLAGS);
    if (!info || length < sizeof(USEROBJECTFLAGS)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    // Visible unless the state says otherwise (a state written before the setting existed has none).
    const sim::json& s = m.state();
    const auto setting = "/process/window_station_visible"_json_pointer;
    const bool hidden = s.contains(setting) && s.at(setting).is_boolean() && !s.at(setting).get<bool>();
    USEROBJECTFLAGS flags{FALSE, FALSE, hidden ? 0u : WSF_VISIBLE};
    *static_cast<USEROBJECTFLAGS*>(info) = flags;
    return TRUE;
}

}  // namespace win
