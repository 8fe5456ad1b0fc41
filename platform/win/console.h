// The console of the console face (kernel32): creation, colour, UTF-16 line output, one key, tones.
#pragma once

#include "platform/win/types.h"

namespace win {

constexpr DWORD STD_INPUT_HANDLE = static_cast<DWORD>(-10);
constexpr DWORD STD_OUTPUT_HANDLE = static_cast<DWORD>(-11);
constexpr DWORD STD_ERROR_HANDLE = static_cast<DWORD>(-12);

BOOL AllocConsole();
BOOL FreeConsole();
HANDLE GetStdHandle(DWORD which);
// attributes: the 16-colour console palette, foreground in the low four bits (11 = light cyan).
BOOL SetConsoleTextAttribute(HANDLE console, WORD attributes);
// chars: number of UTF-16 code units at buffer.
BOOL WriteConsoleW(HANDLE console, LPCVOID buffer, DWORD chars, DWORD* written, LPVOID reserved);
BOOL Beep(DWORD frequency, DWORD durationMs);

// Waits for one key press on the console's input, like the C runtime's _getwch, and returns
// TRUE when a key was read; FALSE at once when there is no more input to wait for (closed or
// redirected input at its end), so a key wait can never hang an unattended run.
BOOL ReadConsoleKey();

}  // namespace win
