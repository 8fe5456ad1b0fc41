// The headless window toolkit: no window, no messages. Used by every Linux build.
#include "platform/ui/Pump.h"

namespace ui {
namespace backend {
void PumpWindowMessages() {}
}  // namespace backend

bool HasWindowToolkit() { return false; }
}  // namespace ui
