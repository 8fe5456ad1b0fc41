// The one door to the person at the screen: every message box the engine shows and every key it
// waits for goes through here. When the process's window station is not visible (an installation
// running as SYSTEM in session 0, started by a deployment tool), nobody can see a box or press a
// key: the box's caption and text go to the console output instead, the answer is the box's
// default button, and a key wait returns at once. Interactive runs see the real box and wait.
#pragma once

#include <string_view>

#include "platform/win/types.h"

namespace txr {

// Whether a person can see this process's windows. A station whose flags cannot be read counts as
// visible, so that an interactive run is never silenced by mistake.
bool WindowStationVisible();

// A message box without owner window; type is MB_* buttons, icon and default button. Returns the
// button pressed (IDOK, IDYES, ...), or on an invisible station the default button after printing
//     \n[caption]\ntext\n
// (the text without its trailing line breaks).
int ShowMessageBox(std::u16string_view text, std::u16string_view caption, win::UINT type);

// Waits for one key press on the console; returns at once on an invisible station.
void WaitForKey();

// The button a box of this type answers with when its default button is pressed.
int DefaultButton(win::UINT type);

}  // namespace txr
