// user32: message boxes, the desktop window and the visibility of the process's window station.
#pragma once

#include "platform/win/types.h"

namespace win {

constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_ICONERROR = 0x00000010;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONWARNING = 0x00000030;
constexpr UINT MB_ICONINFORMATION = 0x00000040;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

constexpr UINT MB_TYPEMASK = 0x0000000F;     // the button set
constexpr UINT MB_DEFMASK = 0x00000F00;      // which button is the default one
constexpr UINT MB_ABORTRETRYIGNORE = 0x00000002;
constexpr UINT MB_YESNOCANCEL = 0x00000003;
constexpr UINT MB_RETRYCANCEL = 0x00000005;
constexpr UINT MB_DEFBUTTON2 = 0x00000100;
constexpr UINT MB_DEFBUTTON3 = 0x00000200;

constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
HWND GetDesktopWindow();

// The window station of the process. Only the interactive one (WinSta0 of the session a person is
// logged on to) is visible: a program started as SYSTEM in session 0 (a deployment tool, a
// service) has one that nobody sees, where a message box waits for an answer that never comes.
struct HWINSTA__;
using HWINSTA = HWINSTA__*;
constexpr int UOI_FLAGS = 1;
constexpr DWORD WSF_VISIBLE = 0x0001;
struct USEROBJECTFLAGS {
    BOOL fInherit;
    BOOL fReserved;
    DWORD dwFlags;  // WSF_VISIBLE for a window station a person sees
};
// A handle the process does not own: it must not be closed.
HWINSTA GetProcessWindowStation();
// index UOI_FLAGS fills a USEROBJECTFLAGS; a buffer smaller than needed fails with
// ERROR_INSUFFICIENT_BUFFER and *lengthNeeded set.
BOOL GetUserObjectInformationW(HANDLE object, int index, LPVOID info, DWORD length, DWORD* lengthNeeded);

}  // namespace win
