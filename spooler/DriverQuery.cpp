// Which of the package's drivers the spooler has installed: name, version and driver date of the
// first installed driver with the given hardware ID and name.
#include <cstdio>
#include <string>

#include "core/WideText.h"
#include "platform/utf.h"
#include "spooler/SpoolerCommon.h"

namespace txr {

using namespace spooler;

namespace {

// The first installed driver whose hardware ID and name equal the given ones, ignoring case; null
// when there is none or the drivers cannot be listed (the last error says why, 0 when the list was
// read and simply holds no match).
const win::DRIVER_INFO_8W* FindDriver(EnumBuffer& drivers, const char16_t* hardwareId, const char16_t* driverName)
{
    char16_t empty[1] = {0};
    // A null environment names the caller's own ("Windows x64" or "Windows NT x86"); an empty
    // environment name is not one the spooler's protocol allows.
    const EnumOutcome outcome = EnumerateSizeFirst(
        [&](win::BYTE* buf, win::DWORD cb, win::DWORD* needed, win::DWORD* returned) {
            return win::EnumPrinterDriversW(empty, nullptr, 8, buf, cb, needed, returned);
        },
        drivers);
    if (outcome != EnumOutcome::Entries) return nullptr;
    const auto* entries = drivers.Entries<win::DRIVER_INFO_8W>();
    for (win::DWORD i = 0; i < drivers.count; ++i) {
        const win::DRIVER_INFO_8W& d = entries[i];
        if (!d.pszHardwareID || !d.pName) continue;
        if (txt::iequals(d.pszHardwareID, View(hardwareId)) && txt::iequals(d.pName, View(driverName))) return &d;
    }
    return nullptr;
}

std::u16string Ascii(const char* text) { return std::u16string(text, text + std::char_traits<char>::length(text)); }

std::u16string VersionText(win::DWORDLONG version)
{
    std::string text;
    for (int shift = 48; shift >= 0; shift -= 16) {
        if (!text.empty()) text += '.';
        text += std::to_string(static_cast<unsigned>((version >> shift) & 0xFFFF));
    }
    return Ascii(text.c_str());
}

// month/day/year: month and day with at least two digits, the year in full; empty when the file
// time does not convert.
std::u16string DateText(const win::FILETIME& date)
{
    win::SYSTEMTIME st{};
    if (!win::FileTimeToSystemTime(&date, &st)) return {};
    char text[64];
    std::snprintf(text, sizeof text, "%.2ld%c%.2ld%c%ld", static_cast<long>(st.wMonth), '/',
                  static_cast<long>(st.wDay), '/', static_cast<long>(st.wYear));
    return Ascii(text);
}

}  // namespace

std::int32_t Lib_GetCurrentDriverInfo(const char16_t* hardwareId, const char16_t* driverName,
                                      InstalledDriverInfo* record, std::uint32_t* errorCode)
{
    return Guarded(u"Get drive info", errorCode, [&]() -> std::int32_t {
        ClearInstalledDriverInfo(record);
        EnumBuffer drivers;
        const win::DRIVER_INFO_8W* d = FindDriver(drivers, hardwareId, driverName);
        if (!d) {
            Store(errorCode, win::GetLastError());
            return 0;
        }
        if (record) {
            CopyToField(record->DriverName, d->pName);
            CopyToField(record->DriverVersion, VersionText(d->dwlDriverVersion));
            CopyToField(record->DriverDate, DateText(d->ftDriverDate));
            record->IsInstalled = 1;
        }
        Store(errorCode, 0);
        return 1;
    });
}

std::int32_t GetDriverInfoFromHardwareId(const char16_t* hardwareId, const char16_t* driverName,
                                         char16_t (&foundName)[255], char16_t (&infPath)[260],
                                         std::uint32_t* errorCode)
{
    ClearField(foundName);
    ClearField(infPath);
    EnumBuffer drivers;
    const win::DRIVER_INFO_8W* d = FindDriver(drivers, hardwareId, driverName);
    if (!d) {
        Store(errorCode, win::GetLastError());
        return 0;
    }
    CopyToField(foundName, d->pName);
    CopyToField(infPath, View(d->pszInfPath));
    Store(errorCode, 0);
    return 1;
}

}  // namespace txr
