// Win32 backend: the print spooler (winspool.drv), FileTimeToSystemTime (kernel32) and the two
// security-descriptor calls (advapi32) that copy a printer's security.
// The driver-package functions are looked up at run time: they exist only from Windows Vista on,
// and some spooler implementations (Wine's among them) lack some of them; a missing one must fail
// like a call, not stop the program from loading.
#include "platform/win32api.h"

#include <windows.h>
#include <winspool.h>

#include <cstddef>

namespace win {

static_assert(sizeof(DRIVER_INFO_8W) == sizeof(::DRIVER_INFO_8W));
static_assert(offsetof(DRIVER_INFO_8W, ftDriverDate) == offsetof(::DRIVER_INFO_8W, ftDriverDate));
static_assert(offsetof(DRIVER_INFO_8W, dwlDriverVersion) == offsetof(::DRIVER_INFO_8W, dwlDriverVersion));
static_assert(offsetof(DRIVER_INFO_8W, pszHardwareID) == offsetof(::DRIVER_INFO_8W, pszHardwareID));
static_assert(offsetof(DRIVER_INFO_8W, pszInfPath) == offsetof(::DRIVER_INFO_8W, pszInfPath));
static_assert(offsetof(DRIVER_INFO_8W, dwPrinterDriverAttributes) ==
              offsetof(::DRIVER_INFO_8W, dwPrinterDriverAttributes));
static_assert(offsetof(DRIVER_INFO_8W, dwlMinInboxDriverVerVersion) ==
              offsetof(::DRIVER_INFO_8W, dwlMinInboxDriverVerVersion));
static_assert(sizeof(DRIVER_INFO_1W) == sizeof(::DRIVER_INFO_1W));
static_assert(sizeof(PRINTER_INFO_2W) == sizeof(::PRINTER_INFO_2W));
static_assert(offsetof(PRINTER_INFO_2W, pPortName) == offsetof(::PRINTER_INFO_2W, pPortName));
static_assert(offsetof(PRINTER_INFO_2W, pDriverName) == offsetof(::PRINTER_INFO_2W, pDriverName));
static_assert(offsetof(PRINTER_INFO_2W, pPrintProcessor) == offsetof(::PRINTER_INFO_2W, pPrintProcessor));
static_assert(offsetof(PRINTER_INFO_2W, pSecurityDescriptor) == offsetof(::PRINTER_INFO_2W, pSecurityDescriptor));
static_assert(offsetof(PRINTER_INFO_2W, Attributes) == offsetof(::PRINTER_INFO_2W, Attributes));
static_assert(offsetof(PRINTER_INFO_2W, AveragePPM) == offsetof(::PRINTER_INFO_2W, AveragePPM));
static_assert(offsetof(PRINTER_INFO_2W, UntilTime) == offsetof(::PRINTER_INFO_2W, UntilTime));
static_assert(READ_CONTROL_ACCESS == READ_CONTROL && WRITE_DAC_ACCESS == WRITE_DAC && WRITE_OWNER_ACCESS == WRITE_OWNER);
static_assert(SECURITY_DESCRIPTOR_MIN_LENGTH_RELATIVE == sizeof(::SECURITY_DESCRIPTOR_RELATIVE));
static_assert(sizeof(PORT_INFO_1W) == sizeof(::PORT_INFO_1W));
static_assert(sizeof(PORT_INFO_2W) == sizeof(::PORT_INFO_2W));
static_assert(offsetof(PORT_INFO_2W, pDescription) == offsetof(::PORT_INFO_2W, pDescription));
static_assert(offsetof(PORT_INFO_2W, fPortType) == offsetof(::PORT_INFO_2W, fPortType));
static_assert(sizeof(PRINTER_DEFAULTSW) == sizeof(::PRINTER_DEFAULTSW));
static_assert(offsetof(PRINTER_DEFAULTSW, DesiredAccess) == offsetof(::PRINTER_DEFAULTSW, DesiredAccess));
// PORT_DATA_1 and CONFIG_INFO_DATA_1 have no SDK header here (tcpxcv.h); spooler.h asserts their
// documented layout, which has no pointers and so is the same in both bitnesses.
static_assert(sizeof(PORT_DATA_1) == 964 && offsetof(PORT_DATA_1, dwSNMPEnabled) == 956);
static_assert(sizeof(CONFIG_INFO_DATA_1) == 132 && offsetof(CONFIG_INFO_DATA_1, dwVersion) == 128);

namespace {

wchar_t* W(LPWSTR s) { return reinterpret_cast<wchar_t*>(s); }
const wchar_t* W(LPCWSTR s) { return reinterpret_cast<const wchar_t*>(s); }

// An out-count the caller may pass as null; our DWORD and the SDK's are distinct types of one
// size, so the value goes through a local of the SDK's type. The caller's value is the starting
// value: a call that does not write it leaves it as it was.
class OutDword {
public:
    explicit OutDword(DWORD* p) : p_(p), v_(p ? *p : 0) {}
    ~OutDword()
    {
        if (p_) *p_ = static_cast<DWORD>(v_);
    }
    OutDword(const OutDword&) = delete;
    OutDword& operator=(const OutDword&) = delete;
    ::DWORD* get() { return p_ ? &v_ : nullptr; }

private:
    DWORD* p_;
    ::DWORD v_;
};

// winspool.drv is loaded with the program (the enumerations are imported from it); the handle is
// looked up once.
template <typename Fn>
Fn spooler_function(const char* name)
{
    static const ::HMODULE spooler = ::GetModuleHandleW(L"winspool.drv");
    if (!spooler) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(spooler, name)));
}

constexpr HRESULT kProcNotFound = static_cast<HRESULT>(0x80070000u | 127u);

}  // namespace

BOOL EnumPrinterDriversW(LPWSTR name, LPWSTR environment, DWORD level, BYTE* buffer, DWORD cbBuf, DWORD* needed,
                         DWORD* returned)
{
    OutDword n(needed), r(returned);
    return ::EnumPrinterDriversW(W(name), W(environment), level, buffer, cbBuf, n.get(), r.get());
}

BOOL EnumPrintersW(DWORD flags, LPWSTR name, DWORD level, BYTE* buffer, DWORD cbBuf, DWORD* needed,
                   DWORD* returned)
{
    OutDword n(needed), r(returned);
    return ::EnumPrintersW(flags, W(name), level, buffer, cbBuf, n.get(), r.get());
}

BOOL EnumPortsW(LPWSTR name, DWORD level, BYTE* buffer, DWORD cbBuf, DWORD* needed, DWORD* returned)
{
    OutDword n(needed), r(returned);
    return ::EnumPortsW(W(name), level, buffer, cbBuf, n.get(), r.get());
}

BOOL OpenPrinterW(LPWSTR printerName, HANDLE* printer, PRINTER_DEFAULTSW* defaults)
{
    return ::OpenPrinterW(W(printerName), printer, reinterpret_cast<::PRINTER_DEFAULTSW*>(defaults));
}

BOOL ClosePrinter(HANDLE printer) { return ::ClosePrinter(printer); }

BOOL XcvDataW(HANDLE xcv, LPCWSTR dataName, BYTE* inputData, DWORD cbInputData, BYTE* outputData,
              DWORD cbOutputData, DWORD* outputNeeded, DWORD* status)
{
    OutDword n(outputNeeded), s(status);
    return ::XcvDataW(xcv, W(dataName), inputData, cbInputData, outputData, cbOutputData, n.get(), s.get());
}

HANDLE AddPrinterW(LPWSTR name, DWORD level, BYTE* printer) { return ::AddPrinterW(W(name), level, printer); }

BOOL SetPrinterW(HANDLE printer, DWORD level, BYTE* info, DWORD command)
{
    return ::SetPrinterW(printer, level, info, command);
}

BOOL DeletePrinter(HANDLE printer) { return ::DeletePrinter(printer); }

BOOL DeletePrinterDriverExW(LPWSTR name, LPWSTR environment, LPWSTR driverName, DWORD deleteFlag,
                            DWORD versionFlag)
{
    return ::DeletePrinterDriverExW(W(name), W(environment), W(driverName), deleteFlag, versionFlag);
}

HRESULT UploadPrinterDriverPackageW(LPCWSTR server, LPCWSTR infPath, LPCWSTR environment, DWORD flags, HWND owner,
                                    LPWSTR destInfPath, DWORD* destInfPathChars)
{
    using Fn = ::HRESULT(WINAPI*)(const wchar_t*, const wchar_t*, const wchar_t*, ::DWORD, ::HWND, wchar_t*, ::DWORD*);
    static const auto fn = spooler_function<Fn>("UploadPrinterDriverPackageW");
    if (!fn) return kProcNotFound;
    OutDword chars(destInfPathChars);
    return fn(W(server), W(infPath), W(environment), flags, reinterpret_cast<::HWND>(owner), W(destInfPath),
              chars.get());
}

HRESULT InstallPrinterDriverFromPackageW(LPCWSTR server, LPCWSTR infPath, LPCWSTR driverName,
                                         LPCWSTR environment, DWORD flags)
{
    using Fn = ::HRESULT(WINAPI*)(const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*, ::DWORD);
    static const auto fn = spooler_function<Fn>("InstallPrinterDriverFromPackageW");
    if (!fn) return kProcNotFound;
    return fn(W(server), W(infPath), W(driverName), W(environment), flags);
}

HRESULT DeletePrinterDriverPackageW(LPCWSTR server, LPCWSTR infPath, LPCWSTR environment)
{
    using Fn = ::HRESULT(WINAPI*)(const wchar_t*, const wchar_t*, const wchar_t*);
    static const auto fn = spooler_function<Fn>("DeletePrinterDriverPackageW");
    if (!fn) return kProcNotFound;
    return fn(W(server), W(infPath), W(environment));
}

BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR securityDescriptor)
{
    return ::IsValidSecurityDescriptor(securityDescriptor);
}

DWORD GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR securityDescriptor)
{
    return ::GetSecurityDescriptorLength(securityDescriptor);
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime)
{
    return ::FileTimeToSystemTime(reinterpret_cast<const ::FILETIME*>(fileTime),
                                  reinterpret_cast<::SYSTEMTIME*>(systemTime));
}

}  // namespace win
