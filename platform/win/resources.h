// kernel32: the program's own module and its resources.
#pragma once

#include "platform/win/types.h"

namespace win {

// flags 0 with a null name: a counted handle of the program's own module, released with
// FreeLibrary.
BOOL GetModuleHandleExW(DWORD flags, LPCWSTR moduleName, HMODULE* module);
BOOL FreeLibrary(HMODULE module);
HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
DWORD SizeofResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL loaded);
BOOL FreeResource(HGLOBAL loaded);

}  // namespace win
