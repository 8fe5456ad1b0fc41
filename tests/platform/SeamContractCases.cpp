// The seam's contract cases: every call poisons the last error first and checks the result together
// with the exact last error (or HRESULT). Cases that change the machine put it back as they found it.
#include "tests/platform/SeamContract.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/handles.h"

namespace contract {

using namespace win;

void Check::Fail(int line, const std::string& text) { failures_.push_back("line " + std::to_string(line) + ": " + text); }

void Check::Eq(int line, const char* what, unsigned long long got, unsigned long long want)
{
    if (got == want) return;
    char b[96];
    std::snprintf(b, sizeof b, " is %llu (0x%llX), expected %llu (0x%llX)", got, got, want, want);
    Fail(line, what + std::string(b));
}

void Check::OneOf(int line, const char* what, unsigned long long got, std::initializer_list<unsigned long long> want)
{
    std::string list;
    for (auto w : want) {
        if (got == w) return;
        list += (list.empty() ? "" : " or ") + std::to_string(w);
    }
    Fail(line, what + std::string(" is ") + std::to_string(got) + ", expected " + list);
}

void Check::True(int line, const char* what, bool value)
{
    if (!value) Fail(line, std::string(what) + " is false");
}

namespace {

void Poison() { SetLastError(kPoison); }

// A call that must fail: FALSE (or null) and exactly this last error.
#define EXPECT_FAILS_WITH(c, call, error)                       \
    do {                                                        \
        Poison();                                               \
        const bool ok_ = static_cast<bool>(call);               \
        const DWORD e_ = GetLastError();                        \
        (c).True(__LINE__, #call " fails", !ok_);               \
        if (!ok_) (c).Eq(__LINE__, "last error of " #call, e_, (error)); \
    } while (0)

std::u16string Text(LPCWSTR s) { return s ? std::u16string(s) : std::u16string(); }

bool IsUpper(const std::u16string& s)
{
    for (char16_t ch : s)
        if (ch >= u'a' && ch <= u'z') return false;
    return true;
}

}  // namespace

std::optional<Enumerated> SizeFirst(Check& c, const char* what, const EnumCall& call, DWORD tooSmall)
{
    const std::string w = what;
    DWORD needed = kPoison, returned = kPoison;
    Poison();
    BOOL ok = call(nullptr, 0, &needed, &returned);
    DWORD err = GetLastError();
    if (ok) {
        // Nothing to enumerate: a size request that succeeds outright.
        c.Eq(__LINE__, (w + ": needed after an outright success").c_str(), needed, 0);
        c.Eq(__LINE__, (w + ": returned after an outright success").c_str(), returned, 0);
        return Enumerated{};
    }
    c.Eq(__LINE__, (w + ": last error of the size request").c_str(), err, tooSmall);
    c.True(__LINE__, (w + ": size request reports a size").c_str(), needed != 0 && needed != kPoison);
    c.Eq(__LINE__, (w + ": returned after the size request").c_str(), returned, 0);
    if (err != tooSmall || needed == 0 || needed == kPoison) return std::nullopt;
    const DWORD size = needed;

    std::vector<BYTE> shortBuffer(size - 1);
    needed = returned = kPoison;
    Poison();
    ok = call(shortBuffer.data(), size - 1, &needed, &returned);
    err = GetLastError();
    c.True(__LINE__, (w + ": a buffer one byte short fails").c_str(), !ok);
    c.Eq(__LINE__, (w + ": last error with a buffer one byte short").c_str(), err, tooSmall);
    c.Eq(__LINE__, (w + ": needed with a buffer one byte short").c_str(), needed, size);

    Enumerated out;
    out.buffer.resize(size);
    needed = returned = kPoison;
    Poison();
    ok = call(out.buffer.data(), size, &needed, &returned);
    c.True(__LINE__, (w + ": the exact size succeeds").c_str(), ok);
    if (!ok) return std::nullopt;
    c.Eq(__LINE__, (w + ": needed with the exact size").c_str(), needed, size);
    c.True(__LINE__, (w + ": at least one entry").c_str(), returned >= 1 && returned != kPoison);
    out.count = returned == kPoison ? 0 : returned;
    return out;
}

namespace {

// ---- spooler ------------------------------------------------------------------------------------

EnumCall Ports(DWORD level)
{
    return [level](BYTE* b, DWORD cb, DWORD* n, DWORD* r) { return EnumPortsW(nullptr, level, b, cb, n, r); };
}
EnumCall Drivers(DWORD level, LPWSTR env = nullptr)
{
    return [level, env](BYTE* b, DWORD cb, DWORD* n, DWORD* r) {
        return EnumPrinterDriversW(nullptr, env, level, b, cb, n, r);
    };
}
EnumCall LocalPrinters()
{
    return [](BYTE* b, DWORD cb, DWORD* n, DWORD* r) {
        return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, b, cb, n, r);
    };
}

template <typename T>
const T* Entries(const Enumerated& e)
{
    return reinterpret_cast<const T*>(e.buffer.data());
}

void EnumPortsLevels(Check& c)
{
    auto one = SizeFirst(c, "EnumPortsW level 1", Ports(1), ERROR_INSUFFICIENT_BUFFER);
    auto two = SizeFirst(c, "EnumPortsW level 2", Ports(2), ERROR_INSUFFICIENT_BUFFER);
    if (!one || !two) return;
    c.Note("ports", two->count);
    CONTRACT_EQ(c, one->count, two->count);
    for (DWORD i = 0; i < two->count && i < one->count; ++i) {
        const PORT_INFO_2W& p = Entries<PORT_INFO_2W>(*two)[i];
        // Strings are packed into the same buffer, after the fixed-size entries.
        CONTRACT_TRUE(c, p.pPortName && two->Contains(p.pPortName));
        CONTRACT_TRUE(c, !p.pDescription || two->Contains(p.pDescription));
        CONTRACT_TRUE(c, Text(p.pPortName) == Text(Entries<PORT_INFO_1W>(*one)[i].pName));
    }
}

void EnumPortsArguments(Check& c)
{
    DWORD needed = 0, returned = 0;
    BYTE b[8];
    EXPECT_FAILS_WITH(c, EnumPortsW(nullptr, 3, nullptr, 0, &needed, &returned), ERROR_INVALID_LEVEL);
    EXPECT_FAILS_WITH(c, EnumPortsW(nullptr, 0, nullptr, 0, &needed, &returned), ERROR_INVALID_LEVEL);
    Poison();
    BOOL ok = EnumPortsW(nullptr, 2, nullptr, 0, nullptr, &returned);
    CONTRACT_TRUE(c, !ok);
    CONTRACT_ONE_OF(c, GetLastError(), RPC_X_NULL_REF_POINTER, ERROR_INVALID_PARAMETER);
    Poison();
    ok = EnumPortsW(nullptr, 2, nullptr, 0, &needed, nullptr);
    CONTRACT_TRUE(c, !ok);
    CONTRACT_ONE_OF(c, GetLastError(), RPC_X_NULL_REF_POINTER, ERROR_INVALID_PARAMETER);
    Poison();
    ok = EnumPortsW(nullptr, 2, nullptr, sizeof b, &needed, &returned);
    CONTRACT_TRUE(c, !ok);
    CONTRACT_ONE_OF(c, GetLastError(), ERROR_INVALID_USER_BUFFER, RPC_X_NULL_REF_POINTER);
}

void EnumDriversLevel8(Check& c)
{
    auto eight = SizeFirst(c, "EnumPrinterDriversW level 8", Drivers(8), ERROR_INSUFFICIENT_BUFFER);
    auto one = SizeFirst(c, "EnumPrinterDriversW level 1", Drivers(1), ERROR_INSUFFICIENT_BUFFER);
    if (!eight || !one) return;
    c.Note("drivers", eight->count);
    CONTRACT_EQ(c, one->count, eight->count);
    // An empty environment means the caller's own, exactly like a null one.
    auto empty = SizeFirst(c, "EnumPrinterDriversW level 8, empty environment", Drivers(8, const_cast<LPWSTR>(u"")),
                           ERROR_INSUFFICIENT_BUFFER);
    if (empty) CONTRACT_EQ(c, empty->count, eight->count);
    for (DWORD i = 0; i < eight->count; ++i) {
        const DRIVER_INFO_8W& d = Entries<DRIVER_INFO_8W>(*eight)[i];
        CONTRACT_TRUE(c, d.pName && eight->Contains(d.pName));
        CONTRACT_TRUE(c, !d.pszHardwareID || eight->Contains(d.pszHardwareID));
        CONTRACT_TRUE(c, !d.pszInfPath || eight->Contains(d.pszInfPath));
        CONTRACT_TRUE(c, Text(d.pName) == Text(Entries<DRIVER_INFO_1W>(*one)[i].pName));
    }
}

void EnumDriversArguments(Check& c)
{
    DWORD needed = 0, returned = 0;
    EXPECT_FAILS_WITH(c, EnumPrinterDriversW(nullptr, nullptr, 9, nullptr, 0, &needed, &returned), ERROR_INVALID_LEVEL);
    EXPECT_FAILS_WITH(c,
                      EnumPrinterDriversW(nullptr, const_cast<LPWSTR>(u"Windows 3.1 on Mars"), 8, nullptr, 0, &needed,
                                          &returned),
                      ERROR_INVALID_ENVIRONMENT);
}

// A null environment names the caller's own; an empty environment name is refused by the calls
// that remove or install drivers (MS-RPRN allows no empty name), while the enumeration takes it for
// the caller's own (see EnumDriversLevel8).
void DriverEnvironments(Check& c)
{
    const std::u16string own = Is64BitProcess() ? u"Windows x64" : u"Windows NT x86";
    auto drivers = SizeFirst(c, "EnumPrinterDriversW level 8, null environment", Drivers(8), ERROR_INSUFFICIENT_BUFFER);
    for (DWORD i = 0; drivers && i < drivers->count; ++i)
        CONTRACT_TRUE(c, Text(Entries<DRIVER_INFO_8W>(*drivers)[i].pEnvironment) == own);
    if (drivers) c.Note("own_drivers", drivers->count);

    std::u16string empty, noDriver = u"TXR No Such Driver 4711";
    const char16_t* none = u"C:\\TXR no such folder\\none.inf";
    EXPECT_FAILS_WITH(c, DeletePrinterDriverExW(nullptr, empty.data(), noDriver.data(), DPD_DELETE_UNUSED_FILES, 0),
                      ERROR_INVALID_ENVIRONMENT);
    EXPECT_FAILS_WITH(c, DeletePrinterDriverExW(nullptr, nullptr, noDriver.data(), DPD_DELETE_UNUSED_FILES, 0),
                      ERROR_UNKNOWN_PRINTER_DRIVER);
    const DWORD invalid = static_cast<DWORD>(HRESULT_FROM_WIN32(ERROR_INVALID_ENVIRONMENT));
    CONTRACT_EQ(c, static_cast<DWORD>(DeletePrinterDriverPackageW(nullptr, none, u"")), invalid);
    CONTRACT_EQ(c, static_cast<DWORD>(InstallPrinterDriverFromPackageW(nullptr, none, noDriver.c_str(), u"", 0)),
                invalid);
    WCHAR dest[MAX_PATH] = {};
    DWORD chars = MAX_PATH;
    CONTRACT_EQ(c, static_cast<DWORD>(UploadPrinterDriverPackageW(nullptr, none, u"", 0, nullptr, dest, &chars)),
                invalid);
}

void EnumLocalPrinters(Check& c)
{
    auto p = SizeFirst(c, "EnumPrintersW local level 2", LocalPrinters(), ERROR_INSUFFICIENT_BUFFER);
    if (!p) return;
    c.Note("printers", p->count);
    for (DWORD i = 0; i < p->count; ++i) {
        const PRINTER_INFO_2W& e = Entries<PRINTER_INFO_2W>(*p)[i];
        CONTRACT_TRUE(c, e.pPrinterName && p->Contains(e.pPrinterName));
        CONTRACT_TRUE(c, e.pPortName && p->Contains(e.pPortName));
        CONTRACT_TRUE(c, e.pDriverName && p->Contains(e.pDriverName));
        CONTRACT_TRUE(c, e.pServerName == nullptr);  // local printers name no server
        // The descriptor is self-relative, pointer-aligned and whole inside the buffer.
        if (!e.pSecurityDescriptor) continue;
        const auto* sd = static_cast<const BYTE*>(e.pSecurityDescriptor);
        CONTRACT_TRUE(c, p->Contains(sd));
        CONTRACT_EQ(c, reinterpret_cast<std::uintptr_t>(sd) % alignof(void*), 0);
        CONTRACT_TRUE(c, IsValidSecurityDescriptor(e.pSecurityDescriptor));
        CONTRACT_TRUE(c, (sd[3] << 8 | sd[2]) & SE_SELF_RELATIVE);
        const DWORD length = GetSecurityDescriptorLength(e.pSecurityDescriptor);
        CONTRACT_TRUE(c, length >= SECURITY_DESCRIPTOR_MIN_LENGTH_RELATIVE && p->Contains(sd + length - 1));
    }
    DWORD needed = 0, returned = 0;
    EXPECT_FAILS_WITH(c, EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 99, nullptr, 0, &needed, &returned),
                      ERROR_INVALID_LEVEL);
}

void OpenPrinterNames(Check& c)
{
    unique_printer h;
    Poison();
    const BOOL server = OpenPrinterW(nullptr, h.put(), nullptr);
    CONTRACT_TRUE(c, server && h);
    if (server) CONTRACT_TRUE(c, ClosePrinter(h.release()));
    EXPECT_FAILS_WITH(c, ClosePrinter(nullptr), ERROR_INVALID_HANDLE);
    EXPECT_FAILS_WITH(c, OpenPrinterW(const_cast<LPWSTR>(u"TXR no such printer 4711"), h.put(), nullptr),
                      ERROR_INVALID_PRINTER_NAME);
    EXPECT_FAILS_WITH(c, OpenPrinterW(const_cast<LPWSTR>(u""), h.put(), nullptr), ERROR_INVALID_PRINTER_NAME);
    PRINTER_DEFAULTSW admin{nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
    EXPECT_FAILS_WITH(c, OpenPrinterW(const_cast<LPWSTR>(u",XcvMonitor TXR No Such Monitor"), h.put(), &admin),
                      ERROR_UNKNOWN_PORT);
    EXPECT_FAILS_WITH(c, OpenPrinterW(const_cast<LPWSTR>(u",XcvPort TXR_NO_SUCH_PORT"), h.put(), &admin),
                      ERROR_UNKNOWN_PORT);
}

// The local port monitor's transceive interface: the call itself succeeds, the monitor's answer is
// in the status; only broken arguments make the call fail.
void XcvLocalPortMonitor(Check& c)
{
    PRINTER_DEFAULTSW admin{nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
    unique_printer xcv;
    Poison();
    const BOOL opened = OpenPrinterW(const_cast<LPWSTR>(u",XcvMonitor Local Port"), xcv.put(), &admin);
    CONTRACT_TRUE(c, opened);
    if (!opened) return;
    BYTE out[16];
    DWORD needed = kPoison, status = kPoison;
    Poison();
    CONTRACT_TRUE(c, XcvDataW(xcv.get(), u"", nullptr, 0, nullptr, 0, &needed, &status));
    CONTRACT_EQ(c, status, ERROR_INVALID_PARAMETER);
    EXPECT_FAILS_WITH(c, XcvDataW(xcv.get(), u"", nullptr, 0, nullptr, 0, nullptr, &status), ERROR_INVALID_PARAMETER);
    EXPECT_FAILS_WITH(c, XcvDataW(xcv.get(), nullptr, nullptr, 0, nullptr, 0, &needed, &status),
                      RPC_X_NULL_REF_POINTER);
    EXPECT_FAILS_WITH(c, XcvDataW(xcv.get(), u"", nullptr, 0, nullptr, 0, &needed, nullptr), RPC_X_NULL_REF_POINTER);
    EXPECT_FAILS_WITH(c, XcvDataW(xcv.get(), u"", nullptr, 0, nullptr, sizeof out, &needed, &status),
                      RPC_X_NULL_REF_POINTER);
}

std::u16string FirstDriverName(Check& c)
{
    auto d = SizeFirst(c, "EnumPrinterDriversW level 1", Drivers(1), ERROR_INSUFFICIENT_BUFFER);
    if (!d || d->count == 0) return {};
    return Text(Entries<DRIVER_INFO_1W>(*d)[0].pName);
}

bool HasPort(Check& c, const std::u16string& name)
{
    auto p = SizeFirst(c, "EnumPortsW level 1", Ports(1), ERROR_INSUFFICIENT_BUFFER);
    for (DWORD i = 0; p && i < p->count; ++i)
        if (Text(Entries<PORT_INFO_1W>(*p)[i].pName) == name) return true;
    return false;
}

// Adds a printer on FILE: with an installed driver, and walks AddPrinterW's refusals, a rename,
// the refusal to delete a driver in use, and the deletion.
void AddPrinterAndDriverInUse(Check& c)
{
    std::u16string driver = FirstDriverName(c);
    if (driver.empty()) return c.Skip("no printer driver installed");
    if (!HasPort(c, u"FILE:")) return c.Skip("no FILE: port");
    std::u16string name = u"TXR Contract Printer", renamed = u"TXR Contract Printer Renamed", port = u"FILE:",
                   proc = u"winprint", noDriver = u"TXR No Such Driver 4711", noPort = u"TXR_NO_SUCH_PORT:";
    auto info = [&](std::u16string& n, std::u16string& d, std::u16string& p) {
        PRINTER_INFO_2W i{};
        i.pPrinterName = n.data();
        i.pDriverName = d.data();
        i.pPortName = p.data();
        i.pPrintProcessor = proc.data();
        return i;
    };
    PRINTER_INFO_2W good = info(name, driver, port);
    PRINTER_INFO_2W badDriver = info(name, noDriver, port);
    PRINTER_INFO_2W badPort = info(name, driver, noPort);
    auto bytes = [](PRINTER_INFO_2W& i) { return reinterpret_cast<BYTE*>(&i); };

    EXPECT_FAILS_WITH(c, unique_printer(AddPrinterW(nullptr, 1, bytes(good))), ERROR_INVALID_LEVEL);
    EXPECT_FAILS_WITH(c, unique_printer(AddPrinterW(nullptr, 2, nullptr)), ERROR_INVALID_PARAMETER);
    EXPECT_FAILS_WITH(c, unique_printer(AddPrinterW(nullptr, 2, bytes(badDriver))), ERROR_UNKNOWN_PRINTER_DRIVER);
    EXPECT_FAILS_WITH(c, unique_printer(AddPrinterW(nullptr, 2, bytes(badPort))), ERROR_UNKNOWN_PORT);

    unique_printer added;
    Poison();
    added.reset(AddPrinterW(nullptr, 2, bytes(good)));
    CONTRACT_TRUE(c, added);
    if (!added) return;
    added.reset();
    std::u16string upperName = u"TXR CONTRACT PRINTER";
    PRINTER_INFO_2W again = info(upperName, driver, port);
    EXPECT_FAILS_WITH(c, unique_printer(AddPrinterW(nullptr, 2, bytes(again))), ERROR_PRINTER_ALREADY_EXISTS);

    {
        PRINTER_DEFAULTSW administer{nullptr, nullptr, PRINTER_ACCESS_ADMINISTER};
        unique_printer h;
        Poison();
        CONTRACT_TRUE(c, OpenPrinterW(name.data(), h.put(), &administer));
        PRINTER_INFO_2W rename = info(renamed, driver, port);
        Poison();
        CONTRACT_TRUE(c, h && SetPrinterW(h.get(), 2, bytes(rename), 0));
    }
    EXPECT_FAILS_WITH(c, OpenPrinterW(name.data(), added.put(), nullptr), ERROR_INVALID_PRINTER_NAME);

    EXPECT_FAILS_WITH(c, DeletePrinterDriverExW(nullptr, nullptr, driver.data(), DPD_DELETE_UNUSED_FILES, 0),
                      ERROR_PRINTER_DRIVER_IN_USE);
    EXPECT_FAILS_WITH(c, DeletePrinterDriverExW(nullptr, nullptr, noDriver.data(), DPD_DELETE_UNUSED_FILES, 0),
                      ERROR_UNKNOWN_PRINTER_DRIVER);

    PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    unique_printer victim;
    Poison();
    CONTRACT_TRUE(c, OpenPrinterW(renamed.data(), victim.put(), &all));
    Poison();
    CONTRACT_TRUE(c, victim && DeletePrinter(victim.get()));
    // DeletePrinter leaves the handle open; closing it is still the caller's task.
    Poison();
    CONTRACT_TRUE(c, victim && ClosePrinter(victim.release()));
    EXPECT_FAILS_WITH(c, OpenPrinterW(renamed.data(), victim.put(), nullptr), ERROR_INVALID_PRINTER_NAME);
}

// O:BAG:BAD:(A;;0xF000C;;;BA), self-relative: a descriptor unlike any a fresh printer gets.
std::vector<BYTE> AdminsOnlyDescriptor()
{
    return {0x01, 0x00, 0x04, 0x80, 0x14, 0x00, 0x00, 0x00, 0x24, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x34,
            0x00, 0x00, 0x00, 0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x20, 0x00, 0x00, 0x00, 0x20, 0x02,
            0x00, 0x00, 0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x20, 0x00, 0x00, 0x00, 0x20, 0x02, 0x00,
            0x00, 0x02, 0x00, 0x20, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x18, 0x00, 0x0C, 0x00, 0x0F, 0x00,
            0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x20, 0x00, 0x00, 0x00, 0x20, 0x02, 0x00, 0x00};
}

void SecurityDescriptors(Check& c)
{
    std::vector<BYTE> sd = AdminsOnlyDescriptor();
    Poison();
    CONTRACT_TRUE(c, IsValidSecurityDescriptor(sd.data()));
    CONTRACT_EQ(c, GetSecurityDescriptorLength(sd.data()), sd.size());
    struct Broken {
        const char* what;
        std::size_t at;
        BYTE value;
    } broken[] = {{"revision 2", 0, 2}, {"owner SID of revision 2", 20, 2}, {"DACL of revision 9", 52, 9}};
    for (const auto& b : broken) {
        std::vector<BYTE> bad = sd;
        bad[b.at] = b.value;
        Poison();
        const BOOL ok = IsValidSecurityDescriptor(bad.data());
        const DWORD e = GetLastError();
        c.True(__LINE__, b.what, !ok);
        if (!ok) c.Eq(__LINE__, b.what, e, ERROR_INVALID_SECURITY_DESCR);
    }
}

// The printer's own security descriptor, as the enumeration reports it.
std::vector<BYTE> PrinterSecurity(Check& c, const std::u16string& name)
{
    auto p = SizeFirst(c, "EnumPrintersW local level 2", LocalPrinters(), ERROR_INSUFFICIENT_BUFFER);
    for (DWORD i = 0; p && i < p->count; ++i) {
        const PRINTER_INFO_2W& e = Entries<PRINTER_INFO_2W>(*p)[i];
        if (Text(e.pPrinterName) != name || !e.pSecurityDescriptor) continue;
        const auto* sd = static_cast<const BYTE*>(e.pSecurityDescriptor);
        return std::vector<BYTE>(sd, sd + GetSecurityDescriptorLength(e.pSecurityDescriptor));
    }
    return {};
}

// SetPrinterW at level 2 writes a non-null descriptor only through a handle with WRITE_DAC and
// WRITE_OWNER; a null one leaves the printer's security as it is.
void SetPrinterSecurityRights(Check& c)
{
    std::u16string driver = FirstDriverName(c);
    if (driver.empty()) return c.Skip("no printer driver installed");
    if (!HasPort(c, u"FILE:")) return c.Skip("no FILE: port");
    std::u16string name = u"TXR Contract Security", port = u"FILE:", proc = u"winprint";
    std::vector<BYTE> adminsOnly = AdminsOnlyDescriptor();
    PRINTER_INFO_2W info{};
    info.pPrinterName = name.data();
    info.pDriverName = driver.data();
    info.pPortName = port.data();
    info.pPrintProcessor = proc.data();
    Poison();
    unique_printer added(AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info)));
    CONTRACT_TRUE(c, added);
    if (!added) return;
    added.reset();
    const std::vector<BYTE> initial = PrinterSecurity(c, name);
    CONTRACT_TRUE(c, !initial.empty());
    {
        PRINTER_DEFAULTSW administer{nullptr, nullptr, PRINTER_ACCESS_ADMINISTER};
        unique_printer h;
        Poison();
        CONTRACT_TRUE(c, OpenPrinterW(name.data(), h.put(), &administer));
        info.pSecurityDescriptor = adminsOnly.data();
        EXPECT_FAILS_WITH(c, SetPrinterW(h.get(), 2, reinterpret_cast<BYTE*>(&info), 0), ERROR_ACCESS_DENIED);
        info.pSecurityDescriptor = nullptr;
        Poison();
        CONTRACT_TRUE(c, h && SetPrinterW(h.get(), 2, reinterpret_cast<BYTE*>(&info), 0));
        CONTRACT_TRUE(c, PrinterSecurity(c, name) == initial);
    }
    {
        PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
        unique_printer h;
        Poison();
        CONTRACT_TRUE(c, OpenPrinterW(name.data(), h.put(), &all));
        info.pSecurityDescriptor = adminsOnly.data();
        Poison();
        CONTRACT_TRUE(c, h && SetPrinterW(h.get(), 2, reinterpret_cast<BYTE*>(&info), 0));
        CONTRACT_TRUE(c, PrinterSecurity(c, name) == adminsOnly);
        Poison();
        CONTRACT_TRUE(c, h && DeletePrinter(h.get()));
    }
    EXPECT_FAILS_WITH(c, OpenPrinterW(name.data(), added.put(), nullptr), ERROR_INVALID_PRINTER_NAME);
}

void FileTimes(Check& c)
{
    // 2023-03-10 00:00:00 UTC.
    const unsigned long long ticks = 133228800000000000ull;
    FILETIME ft{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME st{};
    Poison();
    CONTRACT_TRUE(c, FileTimeToSystemTime(&ft, &st));
    CONTRACT_EQ(c, st.wYear, 2023);
    CONTRACT_EQ(c, st.wMonth, 3);
    CONTRACT_EQ(c, st.wDay, 10);
    CONTRACT_EQ(c, st.wDayOfWeek, 5);
    CONTRACT_EQ(c, st.wHour, 0);
    const FILETIME tooLate{0, 0x80000000u};
    EXPECT_FAILS_WITH(c, FileTimeToSystemTime(&tooLate, &st), ERROR_INVALID_PARAMETER);
}

// ---- services -----------------------------------------------------------------------------------

const char16_t kPrinterClass[] = u"{4d36e979-e325-11ce-bfc1-08002be10318}";
// Devices whose instance ID holds this are the contract's own: only they are ever removed.
const char16_t kContractDevice[] = u"TXRCONTRACT";


void ServiceManager(Check& c)
{
    unique_service scm;
    Poison();
    scm.reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    CONTRACT_TRUE(c, scm);
    if (!scm) return;
    EXPECT_FAILS_WITH(c, unique_service(OpenServiceW(scm.get(), u"TXRNoSuchService4711", SERVICE_QUERY_STATUS)),
                      ERROR_SERVICE_DOES_NOT_EXIST);
    EXPECT_FAILS_WITH(c, unique_service(OpenServiceW(nullptr, u"Spooler", SERVICE_QUERY_STATUS)), ERROR_INVALID_HANDLE);
    unique_service spooler;
    Poison();
    // Service names compare without regard to case.
    spooler.reset(OpenServiceW(scm.get(), u"spooler", SERVICE_QUERY_STATUS));
    CONTRACT_TRUE(c, spooler);
    if (!spooler) return;
    SERVICE_STATUS st{};
    Poison();
    CONTRACT_TRUE(c, QueryServiceStatus(spooler.get(), &st));
    // The spooler runs in its own process and may interact with the desktop (`sc query`: TYPE 110).
    CONTRACT_EQ(c, st.dwServiceType, SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS);
    CONTRACT_TRUE(c, st.dwCurrentState >= SERVICE_STOPPED && st.dwCurrentState <= 7);
    c.Note("spooler_state", st.dwCurrentState);
}

void SpoolerDependents(Check& c)
{
    unique_service scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    unique_service spooler(scm ? OpenServiceW(scm.get(), u"Spooler", SERVICE_ENUMERATE_DEPENDENTS) : nullptr);
    CONTRACT_TRUE(c, spooler);
    if (!spooler) return;
    for (DWORD filter : {SERVICE_ACTIVE, SERVICE_STATE_ALL}) {
        // The size request fails with ERROR_MORE_DATA here, not ERROR_INSUFFICIENT_BUFFER.
        auto deps = SizeFirst(
            c, filter == SERVICE_ACTIVE ? "EnumDependentServicesW active" : "EnumDependentServicesW all",
            [&](BYTE* b, DWORD cb, DWORD* n, DWORD* r) {
                return EnumDependentServicesW(spooler.get(), filter, reinterpret_cast<ENUM_SERVICE_STATUSW*>(b), cb,
                                              n, r);
            },
            ERROR_MORE_DATA);
        if (!deps) continue;
        c.Note(filter == SERVICE_ACTIVE ? "active_dependents" : "all_dependents", deps->count);
        for (DWORD i = 0; i < deps->count; ++i) {
            const ENUM_SERVICE_STATUSW& e = Entries<ENUM_SERVICE_STATUSW>(*deps)[i];
            CONTRACT_TRUE(c, e.lpServiceName && deps->Contains(e.lpServiceName));
            if (filter == SERVICE_ACTIVE) CONTRACT_TRUE(c, e.ServiceStatus.dwCurrentState != SERVICE_STOPPED);
        }
    }
}

// Each service handle keeps the rights it was opened with (generic rights mapped) and every call
// checks them before it looks at the service's state; nothing here changes the service.
void ServiceHandleRights(Check& c)
{
    unique_service scm;
    Poison();
    // A manager handle may always connect, even when no right was asked for.
    scm.reset(OpenSCManagerW(nullptr, nullptr, 0));
    CONTRACT_TRUE(c, scm);
    if (!scm) return;
    unique_service query;
    Poison();
    query.reset(OpenServiceW(scm.get(), u"Spooler", SERVICE_QUERY_STATUS));
    CONTRACT_TRUE(c, query);
    if (!query) return;
    SERVICE_STATUS st{};
    Poison();
    CONTRACT_TRUE(c, QueryServiceStatus(query.get(), &st));
    EXPECT_FAILS_WITH(c, ControlService(query.get(), SERVICE_CONTROL_STOP, &st), ERROR_ACCESS_DENIED);
    EXPECT_FAILS_WITH(c, StartServiceW(query.get(), 0, nullptr), ERROR_ACCESS_DENIED);
    DWORD needed = 0, returned = 0;
    EXPECT_FAILS_WITH(c, EnumDependentServicesW(query.get(), SERVICE_ACTIVE, nullptr, 0, &needed, &returned),
                      ERROR_ACCESS_DENIED);

    unique_service dependents(OpenServiceW(scm.get(), u"Spooler", SERVICE_ENUMERATE_DEPENDENTS));
    CONTRACT_TRUE(c, dependents);
    if (dependents) EXPECT_FAILS_WITH(c, QueryServiceStatus(dependents.get(), &st), ERROR_ACCESS_DENIED);

    // GENERIC_READ stands for querying and enumerating, not for controls.
    unique_service read(OpenServiceW(scm.get(), u"Spooler", GENERIC_READ));
    CONTRACT_TRUE(c, read);
    if (!read) return;
    Poison();
    CONTRACT_TRUE(c, QueryServiceStatus(read.get(), &st));
    needed = kPoison;
    Poison();
    const BOOL none = EnumDependentServicesW(read.get(), SERVICE_ACTIVE, nullptr, 0, &needed, &returned);
    CONTRACT_TRUE(c, none || GetLastError() == ERROR_MORE_DATA);
    EXPECT_FAILS_WITH(c, ControlService(read.get(), SERVICE_CONTROL_STOP, &st), ERROR_ACCESS_DENIED);
}

// A process without administrator rights: the calls that change the machine fail as Windows fails
// them, the ones that only read still work. Skips in a process that has the rights.
void WithoutAdministratorRights(Check& c)
{
    unique_service all;
    Poison();
    all.reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (all) return c.Skip("the process has administrator rights");
    CONTRACT_EQ(c, GetLastError(), ERROR_ACCESS_DENIED);
    unique_service scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    CONTRACT_TRUE(c, scm);
    if (scm) {
        EXPECT_FAILS_WITH(c, unique_service(OpenServiceW(scm.get(), u"Spooler", SERVICE_STOP)), ERROR_ACCESS_DENIED);
        unique_service query(OpenServiceW(scm.get(), u"Spooler", SERVICE_QUERY_STATUS));
        CONTRACT_TRUE(c, query);
    }

    PRINTER_INFO_2W info{};
    info.pPrinterName = const_cast<LPWSTR>(u"TXR Contract Printer");
    info.pPortName = const_cast<LPWSTR>(u"LPT1:");
    info.pDriverName = const_cast<LPWSTR>(u"Microsoft Print To PDF");
    info.pPrintProcessor = const_cast<LPWSTR>(u"winprint");
    Poison();
    unique_printer added(AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info)));
    const DWORD addError = GetLastError();
    CONTRACT_TRUE(c, !added);
    if (added) DeletePrinter(added.get());
    else CONTRACT_EQ(c, addError, ERROR_ACCESS_DENIED);

    // Windows may already refuse the open with all access; a handle it grants cannot delete or change.
    PRINTER_DEFAULTSW allAccess{nullptr, nullptr, PRINTER_ALL_ACCESS};
    unique_printer pdf;
    Poison();
    if (!OpenPrinterW(const_cast<LPWSTR>(u"Microsoft Print to PDF"), pdf.put(), &allAccess)) {
        CONTRACT_EQ(c, GetLastError(), ERROR_ACCESS_DENIED);
    } else {
        EXPECT_FAILS_WITH(c, DeletePrinter(pdf.get()), ERROR_ACCESS_DENIED);
        EXPECT_FAILS_WITH(c, SetPrinterW(pdf.get(), 2, reinterpret_cast<BYTE*>(&info), 0), ERROR_ACCESS_DENIED);
    }
    PRINTER_DEFAULTSW admin{nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
    unique_printer tcp;
    Poison();
    if (!OpenPrinterW(const_cast<LPWSTR>(u",XcvMonitor Standard TCP/IP Port"), tcp.put(), &admin)) {
        CONTRACT_EQ(c, GetLastError(), ERROR_ACCESS_DENIED);
    } else {
        PORT_DATA_1 port{};
        const char16_t name[] = u"TXR_CONTRACT_PORT";
        std::memcpy(port.sztPortName, name, sizeof name);
        const char16_t host[] = u"192.0.2.1";
        std::memcpy(port.sztHostAddress, host, sizeof host);
        port.dwVersion = 1;
        port.dwProtocol = 1;
        port.cbSize = sizeof port;
        port.dwPortNumber = 9100;
        DWORD needed = 0, status = kPoison;
        Poison();
        CONTRACT_TRUE(c, XcvDataW(tcp.get(), u"AddPort", reinterpret_cast<BYTE*>(&port), sizeof port, nullptr, 0,
                                  &needed, &status));
        CONTRACT_EQ(c, status, ERROR_ACCESS_DENIED);
    }

    const char16_t* none = u"C:\\TXR no such folder\\none.inf";
    WCHAR dest[260] = {};
    DWORD chars = 260;
    CONTRACT_EQ(c, static_cast<DWORD>(UploadPrinterDriverPackageW(nullptr, none, nullptr, 0, nullptr, dest, &chars)),
                static_cast<DWORD>(E_ACCESSDENIED));
    CONTRACT_EQ(c, static_cast<DWORD>(InstallPrinterDriverFromPackageW(nullptr, none, u"TXR No Such Driver", nullptr, 0)),
                static_cast<DWORD>(E_ACCESSDENIED));
    CONTRACT_EQ(c, static_cast<DWORD>(DeletePrinterDriverPackageW(nullptr, none, nullptr)),
                static_cast<DWORD>(E_ACCESSDENIED));
    BOOL reboot = FALSE;
    EXPECT_FAILS_WITH(c, DiInstallDriverW(nullptr, none, DIIRFLAG_FORCE_INF, &reboot), ERROR_ACCESS_DENIED);
    // Only the contract's own devices are tried; none may go.
    GUID printerClass{};
    CLSIDFromString(kPrinterClass, &printerClass);
    unique_device_list set(SetupDiGetClassDevsW(&printerClass, u"USBPRINT", nullptr, 0));
    DWORD refused = 0;
    SP_DEVINFO_DATA d{};
    for (DWORD i = 0; set; ++i) {
        d.cbSize = sizeof d;
        if (!SetupDiEnumDeviceInfo(set.get(), i, &d)) break;
        WCHAR id[256] = {};
        DWORD required = 0;
        if (!SetupDiGetDeviceInstanceIdW(set.get(), &d, id, 256, &required)) continue;
        if (std::u16string(id).find(kContractDevice) == std::u16string::npos) continue;
        EXPECT_FAILS_WITH(c, DiUninstallDevice(nullptr, set.get(), &d, 0, &reboot), ERROR_ACCESS_DENIED);
        ++refused;
    }
    c.Note("refused_removals", refused);

    // The machine's certificate stores can be read, not opened for writing.
    EXPECT_FAILS_WITH(c, unique_cert_store(CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                                         CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_OPEN_EXISTING_FLAG,
                                                         u"Root")),
                      ERROR_ACCESS_DENIED);
    unique_cert_store root(CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                         CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_OPEN_EXISTING_FLAG |
                                             CERT_STORE_READONLY_FLAG,
                                         u"Root"));
    CONTRACT_TRUE(c, root);
}

// Polls until the service reads the state, with a pause between queries and a bound.
bool WaitFor(Check& c, SC_HANDLE service, DWORD state)
{
    for (int i = 0; i < 300; ++i) {
        SERVICE_STATUS st{};
        if (!QueryServiceStatus(service, &st)) {
            c.Fail(__LINE__, "QueryServiceStatus failed with " + std::to_string(GetLastError()));
            return false;
        }
        if (st.dwCurrentState == state) return true;
        Sleep(100);
    }
    c.Fail(__LINE__, "service did not reach state " + std::to_string(state));
    return false;
}

// Stops and starts the spooler, checking the refusals on the way; leaves it in the state it had.
void SpoolerControls(Check& c)
{
    unique_service scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    unique_service spooler(scm ? OpenServiceW(scm.get(), u"Spooler", SERVICE_ALL_ACCESS) : nullptr);
    CONTRACT_TRUE(c, spooler);
    if (!spooler) return;
    SERVICE_STATUS st{};
    if (!QueryServiceStatus(spooler.get(), &st)) return c.Fail(__LINE__, "QueryServiceStatus failed");
    const bool wasRunning = st.dwCurrentState == SERVICE_RUNNING;
    if (st.dwCurrentState != SERVICE_RUNNING && st.dwCurrentState != SERVICE_STOPPED)
        return c.Skip("spooler is in a pending state");
    if (!wasRunning) {
        Poison();
        CONTRACT_TRUE(c, StartServiceW(spooler.get(), 0, nullptr));
        if (!WaitFor(c, spooler.get(), SERVICE_RUNNING)) return;
    }
    EXPECT_FAILS_WITH(c, StartServiceW(spooler.get(), 0, nullptr), ERROR_SERVICE_ALREADY_RUNNING);

    Poison();
    BOOL ok = ControlService(spooler.get(), SERVICE_CONTROL_STOP, &st);
    if (!ok && GetLastError() == ERROR_DEPENDENT_SERVICES_RUNNING) return c.Skip("services that depend on the spooler run");
    CONTRACT_TRUE(c, ok);
    if (!ok || !WaitFor(c, spooler.get(), SERVICE_STOPPED)) return;
    st = SERVICE_STATUS{};
    EXPECT_FAILS_WITH(c, ControlService(spooler.get(), SERVICE_CONTROL_STOP, &st), ERROR_SERVICE_NOT_ACTIVE);
    // The status is filled in even for this refusal.
    CONTRACT_EQ(c, st.dwCurrentState, SERVICE_STOPPED);

    if (wasRunning) {
        Poison();
        CONTRACT_TRUE(c, StartServiceW(spooler.get(), 0, nullptr));
        WaitFor(c, spooler.get(), SERVICE_RUNNING);
    }
}

// Stops the spooler and starts it again, waiting for each state; false (after a skip or a failure)
// when it cannot be restarted here.
bool RestartSpooler(Check& c)
{
    unique_service scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    unique_service spooler(scm ? OpenServiceW(scm.get(), u"Spooler", SERVICE_ALL_ACCESS) : nullptr);
    if (!spooler) {
        c.Skip("the spooler cannot be controlled here");
        return false;
    }
    SERVICE_STATUS st{};
    if (!ControlService(spooler.get(), SERVICE_CONTROL_STOP, &st)) {
        c.Skip("the spooler does not stop (error " + std::to_string(GetLastError()) + ")");
        return false;
    }
    if (!WaitFor(c, spooler.get(), SERVICE_STOPPED)) return false;
    Poison();
    CONTRACT_TRUE(c, StartServiceW(spooler.get(), 0, nullptr));
    return WaitFor(c, spooler.get(), SERVICE_RUNNING);
}

// The printer of that name as the enumeration lists it: its status and jobs, or nothing.
struct Listed {
    DWORD status, jobs;
    std::u16string driver;
};
std::optional<Listed> FindPrinter(Check& c, const std::u16string& name)
{
    auto p = SizeFirst(c, "EnumPrintersW local level 2", LocalPrinters(), ERROR_INSUFFICIENT_BUFFER);
    for (DWORD i = 0; p && i < p->count; ++i) {
        const PRINTER_INFO_2W& e = Entries<PRINTER_INFO_2W>(*p)[i];
        if (Text(e.pPrinterName) == name) return Listed{e.Status, e.cJobs, Text(e.pDriverName)};
    }
    return std::nullopt;
}

constexpr DWORD kStatusPaused = 0x1;           // PRINTER_STATUS_PAUSED
constexpr DWORD kStatusPendingDeletion = 0x4;  // PRINTER_STATUS_PENDING_DELETION

// A printer with queued jobs is only marked for deletion and stays listed, keeping its driver in
// use; a paused one with jobs refuses. The seam cannot queue jobs, so the machine brings the two
// printers along ("TXR Contract Jobs" on a driver of its own, "TXR Contract Jobs Paused"). The
// case then restarts the spooler and notes whether the jobs, and with them the printer, went.
void PrinterWithJobs(Check& c)
{
    std::u16string queued = u"TXR Contract Jobs", paused = u"TXR Contract Jobs Paused";
    const auto q = FindPrinter(c, queued), pz = FindPrinter(c, paused);
    if (!q || !pz || !q->jobs || !pz->jobs) return c.Skip("no printers with queued jobs");
    CONTRACT_TRUE(c, (pz->status & kStatusPaused) != 0);
    PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    {
        unique_printer h;
        Poison();
        CONTRACT_TRUE(c, OpenPrinterW(paused.data(), h.put(), &all));
        EXPECT_FAILS_WITH(c, DeletePrinter(h.get()), ERROR_ACCESS_DENIED);
        const auto after = FindPrinter(c, paused);
        CONTRACT_TRUE(c, after && !(after->status & kStatusPendingDeletion));
    }
    {
        unique_printer h;
        Poison();
        CONTRACT_TRUE(c, OpenPrinterW(queued.data(), h.put(), &all));
        Poison();
        CONTRACT_TRUE(c, h && DeletePrinter(h.get()));
    }
    const auto pending = FindPrinter(c, queued);
    CONTRACT_TRUE(c, pending.has_value());
    if (!pending) return;
    CONTRACT_EQ(c, pending->status & kStatusPendingDeletion, kStatusPendingDeletion);
    CONTRACT_EQ(c, pending->jobs, q->jobs);
    std::u16string driver = q->driver;
    EXPECT_FAILS_WITH(c, DeletePrinterDriverExW(nullptr, nullptr, driver.data(), DPD_DELETE_UNUSED_FILES, 0),
                      ERROR_PRINTER_DRIVER_IN_USE);
    // The printer is still there: a second deletion marks it again.
    {
        unique_printer h;
        Poison();
        CONTRACT_TRUE(c, OpenPrinterW(queued.data(), h.put(), &all) && DeletePrinter(h.get()));
    }

    if (!RestartSpooler(c)) return;
    const bool gone = !FindPrinter(c, queued);
    c.Note("queued_printer_gone_after_restart", gone);
    const auto stillPaused = FindPrinter(c, paused);
    CONTRACT_TRUE(c, stillPaused && stillPaused->jobs == pz->jobs);
    if (gone) {
        Poison();
        CONTRACT_TRUE(c, DeletePrinterDriverExW(nullptr, nullptr, driver.data(), DPD_DELETE_UNUSED_FILES, 0));
    } else {
        EXPECT_FAILS_WITH(c, DeletePrinterDriverExW(nullptr, nullptr, driver.data(), DPD_DELETE_UNUSED_FILES, 0),
                          ERROR_PRINTER_DRIVER_IN_USE);
    }
}

// Printer and Xcv handles are contexts of the running spooler: while it is stopped their calls
// find no server, and once it runs again they name contexts it never knew, so every call on them
// fails (the code is noted). A handle opened afterwards works.
void HandlesAcrossSpoolerRestart(Check& c)
{
    PRINTER_DEFAULTSW admin{nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
    unique_printer xcv;
    if (!OpenPrinterW(const_cast<LPWSTR>(u",XcvMonitor Local Port"), xcv.put(), &admin))
        return c.Skip("no Xcv interface of the local port monitor");
    auto printers = SizeFirst(c, "EnumPrintersW local level 2", LocalPrinters(), ERROR_INSUFFICIENT_BUFFER);
    if (!printers || printers->count == 0) return c.Skip("no printer");
    std::u16string name = Text(Entries<PRINTER_INFO_2W>(*printers)[0].pPrinterName);
    unique_printer printer;
    Poison();
    CONTRACT_TRUE(c, OpenPrinterW(name.data(), printer.put(), nullptr));
    DWORD needed = 0, status = kPoison;
    auto probe = [&](HANDLE h) { return XcvDataW(h, u"", nullptr, 0, nullptr, 0, &needed, &status); };
    Poison();
    CONTRACT_TRUE(c, probe(xcv.get()));

    unique_service scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    unique_service spooler(scm ? OpenServiceW(scm.get(), u"Spooler", SERVICE_ALL_ACCESS) : nullptr);
    SERVICE_STATUS st{};
    if (!spooler || !ControlService(spooler.get(), SERVICE_CONTROL_STOP, &st))
        return c.Skip("the spooler cannot be stopped here");
    if (!WaitFor(c, spooler.get(), SERVICE_STOPPED)) return;
    EXPECT_FAILS_WITH(c, probe(xcv.get()), RPC_S_SERVER_UNAVAILABLE);
    Poison();
    CONTRACT_TRUE(c, StartServiceW(spooler.get(), 0, nullptr));
    if (!WaitFor(c, spooler.get(), SERVICE_RUNNING)) return;

    Poison();
    CONTRACT_TRUE(c, !probe(xcv.get()));
    const DWORD stale = GetLastError();
    c.Note("stale_handle_error", stale);
    EXPECT_FAILS_WITH(c, SetPrinterW(printer.get(), 2, nullptr, 0), stale);
    // Closing a dead handle still releases it: a second close finds no handle.
    const HANDLE dead = printer.release();
    EXPECT_FAILS_WITH(c, ClosePrinter(dead), stale);
    EXPECT_FAILS_WITH(c, ClosePrinter(dead), ERROR_INVALID_HANDLE);
    ClosePrinter(xcv.release());

    Poison();
    CONTRACT_TRUE(c, OpenPrinterW(const_cast<LPWSTR>(u",XcvMonitor Local Port"), xcv.put(), &admin));
    Poison();
    CONTRACT_TRUE(c, xcv && probe(xcv.get()));
}

// Text into a record's field, the rest of the field cleared.
template <std::size_t N>
void Put(WCHAR (&field)[N], const std::u16string& text)
{
    std::fill(field, field + N, u'\0');
    text.copy(field, N - 1);
}

// The Standard TCP/IP port monitor's AddPort and ConfigPort: what counts as an existing name, which
// addresses it takes, and that ConfigPort applies every field of the record it is given. The seam
// has no DeletePort, so the case's port stays (a second run finds it and goes on).
void TcpMonitorPorts(Check& c)
{
    PRINTER_DEFAULTSW admin{nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
    unique_printer monitor;
    if (!OpenPrinterW(const_cast<LPWSTR>(u",XcvMonitor Standard TCP/IP Port"), monitor.put(), &admin))
        return c.Skip("no Standard TCP/IP port monitor");
    auto record = [](const char16_t* name, const char16_t* host, const char16_t* ip) {
        PORT_DATA_1 r{};
        Put(r.sztPortName, name);
        Put(r.sztHostAddress, host);
        Put(r.sztIPAddress, ip);
        Put(r.sztSNMPCommunity, u"public");
        r.dwVersion = 1;
        r.dwProtocol = PROTOCOL_RAWTCP_TYPE;
        r.cbSize = sizeof r;
        r.dwPortNumber = 9100;
        r.dwSNMPEnabled = 1;
        r.dwSNMPDevIndex = 1;
        return r;
    };
    auto command = [&](HANDLE h, const char16_t* name, PORT_DATA_1& r) {
        DWORD needed = 0, status = kPoison;
        Poison();
        const BOOL ok = XcvDataW(h, name, reinterpret_cast<BYTE*>(&r), sizeof r, nullptr, 0, &needed, &status);
        c.True(__LINE__, "XcvDataW reaches the monitor", ok);
        return status;
    };
    const std::u16string portName = u"TXR_CONTRACT_10.9.8.7";
    PORT_DATA_1 port = record(portName.c_str(), u"10.9.8.7", u"10.9.8.7");
    if (!HasPort(c, portName)) CONTRACT_EQ(c, command(monitor.get(), u"AddPort", port), ERROR_SUCCESS);
    const DWORD existing = command(monitor.get(), u"AddPort", port);
    CONTRACT_TRUE(c, existing != ERROR_SUCCESS);
    c.Note("existing_port_status", existing);
    PORT_DATA_1 local = record(u"FILE:", u"10.9.8.7", u"");
    c.Note("other_monitors_port_status", command(monitor.get(), u"AddPort", local));

    // Neither IPv4 text nor a host name: each is a port the monitor is to refuse.
    struct Bad {
        const char16_t *name, *host, *ip;
    } bad[] = {{u"TXR_CONTRACT_BAD_1", u"10.9.8.256", u""},
               {u"TXR_CONTRACT_BAD_2", u"10.9.8", u""},
               {u"TXR_CONTRACT_BAD_3", u"printer host", u""},
               {u"TXR_CONTRACT_BAD_4", u"-printer.example", u""},
               {u"TXR_CONTRACT_BAD_5", u"10.9.8.7", u"10.9.8.7.6"}};
    long long refused = 0;
    for (const Bad& b : bad) {
        PORT_DATA_1 r = record(b.name, b.host, b.ip);
        const DWORD st = command(monitor.get(), u"AddPort", r);
        if (st == ERROR_INVALID_PARAMETER) ++refused;
        else CONTRACT_EQ(c, st, ERROR_SUCCESS);
    }
    c.Note("bad_addresses_refused", refused);

    std::u16string xcvName = u",XcvPort " + portName;
    unique_printer h;
    Poison();
    CONTRACT_TRUE(c, OpenPrinterW(xcvName.data(), h.put(), &admin));
    if (!h) return;
    PORT_DATA_1 changed = record(portName.c_str(), u"printer-7.example", u"");
    changed.dwProtocol = PROTOCOL_LPR_TYPE;
    Put(changed.sztQueue, u"lp");
    Put(changed.sztSNMPCommunity, u"private");
    changed.dwPortNumber = 515;
    changed.dwSNMPEnabled = 0;
    changed.dwSNMPDevIndex = 2;
    changed.dwDoubleSpool = 1;
    CONTRACT_EQ(c, command(h.get(), u"ConfigPort", changed), ERROR_SUCCESS);
    CONFIG_INFO_DATA_1 query{};
    query.dwVersion = 1;
    PORT_DATA_1 read{};
    DWORD needed = 0, status = kPoison;
    Poison();
    CONTRACT_TRUE(c, XcvDataW(h.get(), u"GetConfigInfo", reinterpret_cast<BYTE*>(&query), sizeof query,
                              reinterpret_cast<BYTE*>(&read), sizeof read, &needed, &status));
    CONTRACT_EQ(c, status, ERROR_SUCCESS);
    CONTRACT_TRUE(c, Text(read.sztHostAddress) == u"printer-7.example");
    CONTRACT_TRUE(c, Text(read.sztQueue) == u"lp");
    CONTRACT_TRUE(c, Text(read.sztSNMPCommunity) == u"private");
    CONTRACT_EQ(c, read.dwProtocol, PROTOCOL_LPR_TYPE);
    CONTRACT_EQ(c, read.dwPortNumber, 515);
    CONTRACT_EQ(c, read.dwSNMPEnabled, 0);
    CONTRACT_EQ(c, read.dwSNMPDevIndex, 2);
    CONTRACT_EQ(c, read.dwDoubleSpool, 1);
    // A record with an address the monitor does not take changes nothing.
    PORT_DATA_1 wrong = changed;
    Put(wrong.sztHostAddress, u"10.9.8.300");
    c.Note("bad_config_status", command(h.get(), u"ConfigPort", wrong));
    // The record names the port it configures.
    PORT_DATA_1 unknown = record(u"TXR_CONTRACT_NO_SUCH_PORT", u"10.9.8.7", u"");
    CONTRACT_EQ(c, command(h.get(), u"ConfigPort", unknown), ERROR_UNKNOWN_PORT);
    CONTRACT_EQ(c, command(h.get(), u"ConfigPort", port), ERROR_SUCCESS);
}

// ---- devices ------------------------------------------------------------------------------------


void ClassGuids(Check& c)
{
    GUID g{};
    CONTRACT_EQ(c, CLSIDFromString(kPrinterClass, &g), NOERROR);
    CONTRACT_EQ(c, g.Data1, 0x4d36e979u);
    CONTRACT_EQ(c, g.Data2, 0xe325u);
    CONTRACT_EQ(c, g.Data3, 0x11ceu);
    CONTRACT_EQ(c, g.Data4[0], 0xbfu);
    CONTRACT_EQ(c, g.Data4[7], 0x18u);
    // Braces are required.
    CONTRACT_EQ(c, static_cast<DWORD>(CLSIDFromString(u"4d36e979-e325-11ce-bfc1-08002be10318", &g)),
                static_cast<DWORD>(CO_E_CLASSSTRING));
}

// Walks the USB printers of the printer class, devices that are not plugged in included, reading
// each instance ID size first; removes the contract's own devices.
void PrinterClassDevices(Check& c)
{
    GUID g{};
    CLSIDFromString(kPrinterClass, &g);
    unique_device_list set;
    Poison();
    set.reset(SetupDiGetClassDevsW(&g, u"USBPRINT", nullptr, 0));
    CONTRACT_TRUE(c, set);
    if (!set) return;

    SP_DEVINFO_DATA d{};
    d.cbSize = 0;
    EXPECT_FAILS_WITH(c, SetupDiEnumDeviceInfo(set.get(), 0, &d), ERROR_INVALID_USER_BUFFER);
    // The size of the other bitness is refused too (28 in a 64-bit process, 32 in a 32-bit one).
    d.cbSize = sizeof(void*) == 8 ? 28 : 32;
    EXPECT_FAILS_WITH(c, SetupDiEnumDeviceInfo(set.get(), 0, &d), ERROR_INVALID_USER_BUFFER);

    DWORD index = 0, removed = 0, restarts = 0;
    for (;; ++index) {
        d = SP_DEVINFO_DATA{};
        d.cbSize = sizeof(SP_DEVINFO_DATA);
        Poison();
        if (!SetupDiEnumDeviceInfo(set.get(), index, &d)) {
            CONTRACT_EQ(c, GetLastError(), ERROR_NO_MORE_ITEMS);
            break;
        }
        DWORD required = kPoison;
        EXPECT_FAILS_WITH(c, SetupDiGetDeviceInstanceIdW(set.get(), &d, nullptr, 0, &required),
                          ERROR_INSUFFICIENT_BUFFER);
        if (required == kPoison || required < 2) {
            c.Fail(__LINE__, "no required size for device " + std::to_string(index));
            continue;
        }
        std::u16string id(required, u'\0');
        const DWORD size = required;
        required = kPoison;
        EXPECT_FAILS_WITH(c, SetupDiGetDeviceInstanceIdW(set.get(), &d, id.data(), size - 1, &required),
                          ERROR_INSUFFICIENT_BUFFER);
        CONTRACT_EQ(c, required, size);
        Poison();
        CONTRACT_TRUE(c, SetupDiGetDeviceInstanceIdW(set.get(), &d, id.data(), size, &required));
        id.resize(size - 1);
        CONTRACT_EQ(c, std::u16string(id.c_str()).size(), size - 1);
        CONTRACT_TRUE(c, IsUpper(id));
        CONTRACT_TRUE(c, id.rfind(u"USBPRINT\\", 0) == 0);
        if (id.find(kContractDevice) == std::u16string::npos) continue;
        BOOL reboot = TRUE;
        EXPECT_FAILS_WITH(c, DiUninstallDevice(nullptr, set.get(), &d, 1, &reboot), ERROR_INVALID_FLAGS);
        Poison();
        const BOOL gone = DiUninstallDevice(nullptr, set.get(), &d, 0, &reboot);
        CONTRACT_TRUE(c, gone);
        if (!gone) continue;
        ++removed;
        // NeedReboot is always written: TRUE only when the removal completes after a restart.
        CONTRACT_ONE_OF(c, reboot, FALSE, TRUE);
        if (reboot == TRUE) ++restarts;
        EXPECT_FAILS_WITH(c, SetupDiGetDeviceInstanceIdW(set.get(), &d, id.data(), size, &required),
                          ERROR_NO_SUCH_DEVINST);
    }
    c.Note("devices", index);
    c.Note("removed", removed);
    c.Note("restarts", restarts);
    EXPECT_FAILS_WITH(c, SetupDiEnumDeviceInfo(set.get(), index + 1, &d), ERROR_NO_MORE_ITEMS);
    DWORD required = 0;
    WCHAR buffer[8];
    EXPECT_FAILS_WITH(c, SetupDiGetDeviceInstanceIdW(INVALID_HANDLE_VALUE, &d, buffer, 8, &required),
                      ERROR_INVALID_HANDLE);
    EXPECT_FAILS_WITH(c, SetupDiGetDeviceInstanceIdW(set.get(), nullptr, buffer, 8, &required),
                      ERROR_INVALID_PARAMETER);
    Poison();
    CONTRACT_TRUE(c, SetupDiDestroyDeviceInfoList(set.release()));
}

void InterfaceDriverInstall(Check& c)
{
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    BOOL reboot = FALSE;
    EXPECT_FAILS_WITH(c, DiInstallDriverW(nullptr, u"C:\\TXR no such folder\\none.inf", 0x80, &reboot),
                      ERROR_INVALID_FLAGS);
    // A 32-bit process on 64-bit Windows cannot install drivers at all.
    EXPECT_FAILS_WITH(c, DiInstallDriverW(nullptr, u"C:\\TXR no such folder\\none.inf", DIIRFLAG_FORCE_INF, &reboot),
                      wow64 ? ERROR_IN_WOW64 : ERROR_FILE_NOT_FOUND);
    // Installing as a set is a flag of its own (Windows 10 1709 and later).
    EXPECT_FAILS_WITH(c,
                      DiInstallDriverW(nullptr, u"C:\\TXR no such folder\\none.inf",
                                       DIIRFLAG_FORCE_INF | DIIRFLAG_INSTALL_AS_SET, &reboot),
                      wow64 ? ERROR_IN_WOW64 : ERROR_FILE_NOT_FOUND);
}

// Only a 32-bit process on 64-bit Windows has file-system redirection to switch off.
void Wow64Redirection(Check& c)
{
    BOOL wow64 = FALSE;
    Poison();
    CONTRACT_TRUE(c, IsWow64Process(GetCurrentProcess(), &wow64));
    void* old = nullptr;
    if (!wow64) {
        EXPECT_FAILS_WITH(c, Wow64DisableWow64FsRedirection(&old), ERROR_INVALID_FUNCTION);
        EXPECT_FAILS_WITH(c, Wow64RevertWow64FsRedirection(old), ERROR_INVALID_FUNCTION);
        return;
    }
    Poison();
    CONTRACT_TRUE(c, Wow64DisableWow64FsRedirection(&old));
    Poison();
    CONTRACT_TRUE(c, Wow64RevertWow64FsRedirection(old));
}

// A named mutex is one object however often it is made: the second CreateMutexW of the name gets
// ERROR_ALREADY_EXISTS (and no ownership); the name goes with its last handle. Only the owning
// thread may release it.
void NamedMutexes(Check& c)
{
    const char16_t name[] = u"TXR4100-Contract-Mutex";
    Poison();
    HANDLE first = CreateMutexW(nullptr, TRUE, name);
    CONTRACT_TRUE(c, first != nullptr);
    CONTRACT_EQ(c, GetLastError(), ERROR_SUCCESS);
    Poison();
    HANDLE second = CreateMutexW(nullptr, TRUE, name);
    CONTRACT_TRUE(c, second != nullptr);
    CONTRACT_EQ(c, GetLastError(), ERROR_ALREADY_EXISTS);
    // Another spelling is another name: kernel object names are compared with regard to case.
    HANDLE other = CreateMutexW(nullptr, FALSE, u"txr4100-contract-mutex");
    CONTRACT_EQ(c, GetLastError(), ERROR_SUCCESS);
    Poison();
    CONTRACT_TRUE(c, ReleaseMutex(first));
    EXPECT_FAILS_WITH(c, ReleaseMutex(first), ERROR_NOT_OWNER);
    EXPECT_FAILS_WITH(c, ReleaseMutex(other), ERROR_NOT_OWNER);
    CONTRACT_TRUE(c, CloseHandle(other));
    CONTRACT_TRUE(c, CloseHandle(first));
    // One handle left: the name still exists.
    HANDLE third = CreateMutexW(nullptr, FALSE, name);
    CONTRACT_EQ(c, GetLastError(), ERROR_ALREADY_EXISTS);
    CONTRACT_TRUE(c, CloseHandle(third));
    CONTRACT_TRUE(c, CloseHandle(second));
    HANDLE again = CreateMutexW(nullptr, FALSE, name);
    CONTRACT_EQ(c, GetLastError(), ERROR_SUCCESS);
    CONTRACT_TRUE(c, CloseHandle(again));
    // Mutexes of no name never meet.
    HANDLE a = CreateMutexW(nullptr, FALSE, nullptr);
    HANDLE b = CreateMutexW(nullptr, FALSE, nullptr);
    CONTRACT_EQ(c, GetLastError(), ERROR_SUCCESS);
    CONTRACT_TRUE(c, a != nullptr && b != nullptr && a != b);
    CONTRACT_TRUE(c, CloseHandle(a));
    CONTRACT_TRUE(c, CloseHandle(b));
}

}  // namespace

const std::vector<Case>& Cases()
{
    static const std::vector<Case> cases{
        {"EnumPortsLevels", EnumPortsLevels},
        {"EnumPortsArguments", EnumPortsArguments},
        {"EnumDriversLevel8", EnumDriversLevel8},
        {"EnumDriversArguments", EnumDriversArguments},
        {"DriverEnvironments", DriverEnvironments},
        {"EnumLocalPrinters", EnumLocalPrinters},
        {"OpenPrinterNames", OpenPrinterNames},
        {"XcvLocalPortMonitor", XcvLocalPortMonitor},
        {"AddPrinterAndDriverInUse", AddPrinterAndDriverInUse},
        {"SecurityDescriptors", SecurityDescriptors},
        {"SetPrinterSecurityRights", SetPrinterSecurityRights},
        {"FileTimes", FileTimes},
        {"ServiceManager", ServiceManager},
        {"SpoolerDependents", SpoolerDependents},
        {"SpoolerControls", SpoolerControls},
        {"ServiceHandleRights", ServiceHandleRights},
        {"WithoutAdministratorRights", WithoutAdministratorRights},
        {"PrinterWithJobs", PrinterWithJobs},
        {"HandlesAcrossSpoolerRestart", HandlesAcrossSpoolerRestart},
        {"TcpMonitorPorts", TcpMonitorPorts},
        {"ClassGuids", ClassGuids},
        {"PrinterClassDevices", PrinterClassDevices},
        {"InterfaceDriverInstall", InterfaceDriverInstall},
        {"Wow64Redirection", Wow64Redirection},
        {"NamedMutexes", NamedMutexes},
    };
    return cases;
}

}  // namespace contract
