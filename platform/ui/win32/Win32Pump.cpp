// The Win32 window toolkit backend: message pumping for the thread that owns the window.
#include <windows.h>

#include "platform/ui/Pump.h"

namespace ui {
namespace backend {
void PumpWindowMessages()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}
}  // namespace backend

bool HasWindowToolkit() { return true; }
}  // namespace ui
