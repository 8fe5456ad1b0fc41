// kernel32: the user's regional settings and date formatting.
#pragma once

#include "platform/win/types.h"

namespace win {

constexpr int LOCALE_NAME_MAX_LENGTH = 85;
constexpr DWORD DATE_SHORTDATE = 0x1;
constexpr DWORD ERROR_INVALID_FLAGS = 1004;

// The locale name of the user's regional settings ("de-DE"); returns its length including the
// terminator, 0 with ERROR_INSUFFICIENT_BUFFER when it does not fit.
int GetUserDefaultLocaleName(LPWSTR localeName, int cchLocaleName);
// localeName null: the user's default locale. With DATE_SHORTDATE and no format, the locale's
// short date pattern. Returns the characters written including the terminator (cchDate 0: the size
// needed); 0 with ERROR_INSUFFICIENT_BUFFER, ERROR_INVALID_FLAGS or ERROR_INVALID_PARAMETER (also
// for a date that is not a valid calendar date).
int GetDateFormatEx(LPCWSTR localeName, DWORD flags, const SYSTEMTIME* date, LPCWSTR format, LPWSTR dateStr,
                    int cchDate, LPCWSTR calendar);

}  // namespace win
