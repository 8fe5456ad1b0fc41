// Win32 backend: the user's regional settings and date formatting (kernel32).
#include "platform/win32api.h"

#include <windows.h>

namespace win {

int GetUserDefaultLocaleName(LPWSTR localeName, int cchLocaleName)
{
    return ::GetUserDefaultLocaleName(reinterpret_cast<wchar_t*>(localeName), cchLocaleName);
}

int GetDateFormatEx(LPCWSTR localeName, DWORD flags, const SYSTEMTIME* date, LPCWSTR format, LPWSTR dateStr,
                    int cchDate, LPCWSTR calendar)
{
    return ::GetDateFormatEx(reinterpret_cast<const wchar_t*>(localeName), flags,
                             reinterpret_cast<const ::SYSTEMTIME*>(date), reinterpret_cast<const wchar_t*>(format),
                             reinterpret_cast<wchar_t*>(dateStr), cchDate, reinterpret_cast<const wchar_t*>(calendar));
}

}  // namespace win
