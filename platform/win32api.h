// The platform seam: exactly the Windows functions, constants and structures the installer uses,
// in namespace win, with Windows' own call shapes. Two backends implement it: platform/win32
// forwards to the real API, platform/sim is a simulated Windows machine.
#pragma once

#include "platform/win/types.h"
#include "platform/win/errors.h"
#include "platform/win/console.h"
#include "platform/win/user.h"
#include "platform/win/system.h"
#include "platform/win/sync.h"
#include "platform/win/resources.h"
#include "platform/win/files.h"
#include "platform/win/processes.h"
#include "platform/win/locale.h"
#include "platform/win/certificates.h"
#include "platform/win/spooler.h"
#include "platform/win/devices.h"
#include "platform/win/services.h"
