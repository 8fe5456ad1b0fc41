// winspool: printer drivers, driver packages, printers, ports and the Standard TCP/IP port
// monitor's transceive interface (XcvDataW), with the structures at the levels the installer uses.
#pragma once

#include "platform/win/security.h"
#include "platform/win/types.h"

namespace win {

// Enumeration flags, access rights, deletion and package flags.
constexpr DWORD PRINTER_ENUM_LOCAL = 0x2;
constexpr DWORD PRINTER_ENUM_CONNECTIONS = 0x4;
constexpr DWORD SERVER_ACCESS_ADMINISTER = 0x1;
constexpr DWORD SERVER_ACCESS_ENUMERATE = 0x2;
constexpr DWORD PRINTER_ACCESS_ADMINISTER = 0x4;
constexpr DWORD PRINTER_ACCESS_USE = 0x8;
constexpr DWORD STANDARD_RIGHTS_REQUIRED = 0x000F0000;
constexpr DWORD DELETE_ACCESS = 0x00010000;  // DELETE: windows.h makes DELETE a macro
constexpr DWORD PRINTER_ALL_ACCESS = 0x000F000C;
constexpr DWORD SERVER_ALL_ACCESS = 0x000F0003;
constexpr DWORD DPD_DELETE_UNUSED_FILES = 1;
constexpr DWORD DPD_DELETE_SPECIFIC_VERSION = 2;
constexpr DWORD DPD_DELETE_ALL_FILES = 4;
constexpr DWORD UPDP_SILENT_UPLOAD = 1;
constexpr DWORD UPDP_UPLOAD_ALWAYS = 2;
constexpr DWORD UPDP_CHECK_DRIVERSTORE = 4;
constexpr DWORD IPDFP_COPY_ALL_FILES = 1;
constexpr DWORD PRINTER_ATTRIBUTE_QUEUED = 0x1;
constexpr DWORD PRINTER_ATTRIBUTE_DIRECT = 0x2;
constexpr DWORD PRINTER_ATTRIBUTE_DEFAULT = 0x4;
constexpr DWORD PRINTER_ATTRIBUTE_SHARED = 0x8;
constexpr DWORD PRINTER_ATTRIBUTE_NETWORK = 0x10;
constexpr DWORD PRINTER_ATTRIBUTE_LOCAL = 0x40;
constexpr DWORD PRINTER_STATUS_PENDING_DELETION = 0x4;
constexpr DWORD PORT_TYPE_WRITE = 1;
constexpr DWORD PORT_TYPE_READ = 2;
constexpr DWORD PORT_TYPE_REDIRECTED = 4;
constexpr DWORD PORT_TYPE_NET_ATTACHED = 8;

// Spooler error codes.
constexpr DWORD ERROR_INVALID_ENVIRONMENT = 1805;
constexpr DWORD ERROR_UNKNOWN_PORT = 1796;
constexpr DWORD ERROR_UNKNOWN_PRINTER_DRIVER = 1797;
constexpr DWORD ERROR_UNKNOWN_PRINTPROCESSOR = 1798;
constexpr DWORD ERROR_INVALID_PRINTER_NAME = 1801;
constexpr DWORD ERROR_PRINTER_ALREADY_EXISTS = 1802;
constexpr DWORD ERROR_INVALID_DATATYPE = 1804;
constexpr DWORD ERROR_UNKNOWN_PRINT_MONITOR = 3000;
constexpr DWORD ERROR_PRINTER_DRIVER_IN_USE = 3001;
constexpr DWORD ERROR_PRINTER_NOT_FOUND = 3012;
constexpr DWORD ERROR_PRINTER_DRIVER_PACKAGE_IN_USE = 3015;
constexpr DWORD RPC_S_SERVER_UNAVAILABLE = 1722;
constexpr DWORD RPC_X_NULL_REF_POINTER = 1780;
constexpr DWORD ERROR_INVALID_USER_BUFFER = 1784;

constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

struct DEVMODEW;  // never built by the installer; kept as the spooler hands it out

struct DRIVER_INFO_8W {
    DWORD cVersion;
    LPWSTR pName;
    LPWSTR pEnvironment;
    LPWSTR pDriverPath;
    LPWSTR pDataFile;
    LPWSTR pConfigFile;
    LPWSTR pHelpFile;
    LPWSTR pDependentFiles;
    LPWSTR pMonitorName;
    LPWSTR pDefaultDataType;
    LPWSTR pszzPreviousNames;
    FILETIME ftDriverDate;
    DWORDLONG dwlDriverVersion;
    LPWSTR pszMfgName;
    LPWSTR pszOEMUrl;
    LPWSTR pszHardwareID;
    LPWSTR pszProvider;
    LPWSTR pszPrintProcessor;
    LPWSTR pszVendorSetup;
    LPWSTR pszzColorProfiles;
    LPWSTR pszInfPath;
    DWORD dwPrinterDriverAttributes;
    LPWSTR pszzCoreDriverDependencies;
    FILETIME ftMinInboxDriverVerDate;
    DWORDLONG dwlMinInboxDriverVerVersion;
};

struct DRIVER_INFO_1W {
    LPWSTR pName;
};

struct PRINTER_INFO_2W {
    LPWSTR pServerName;
    LPWSTR pPrinterName;
    LPWSTR pShareName;
    LPWSTR pPortName;
    LPWSTR pDriverName;
    LPWSTR pComment;
    LPWSTR pLocation;
    DEVMODEW* pDevMode;
    LPWSTR pSepFile;
    LPWSTR pPrintProcessor;
    LPWSTR pDatatype;
    LPWSTR pParameters;
    PSECURITY_DESCRIPTOR pSecurityDescriptor;  // self-relative in an enumeration buffer
    DWORD Attributes;
    DWORD Priority;
    DWORD DefaultPriority;
    DWORD StartTime;
    DWORD UntilTime;
    DWORD Status;
    DWORD cJobs;
    DWORD AveragePPM;
};

struct PORT_INFO_1W {
    LPWSTR pName;
};

struct PORT_INFO_2W {
    LPWSTR pPortName;
    LPWSTR pMonitorName;
    LPWSTR pDescription;
    DWORD fPortType;
    DWORD Reserved;
};

struct PRINTER_DEFAULTSW {
    LPWSTR pDatatype;
    DEVMODEW* pDevMode;
    DWORD DesiredAccess;
};

// The Standard TCP/IP port monitor's records (tcpxcv.h). No pointers: the same 964 and 132 bytes
// in 32- and 64-bit processes.
constexpr DWORD MAX_PORTNAME_LEN = 64;
constexpr DWORD MAX_NETWORKNAME_LEN = 49;
constexpr DWORD MAX_SNMP_COMMUNITY_STR_LEN = 33;
constexpr DWORD MAX_QUEUENAME_LEN = 33;
constexpr DWORD MAX_IPADDR_STR_LEN = 16;
constexpr DWORD PROTOCOL_RAWTCP_TYPE = 1;
constexpr DWORD PROTOCOL_LPR_TYPE = 2;

struct PORT_DATA_1 {
    WCHAR sztPortName[MAX_PORTNAME_LEN];
    DWORD dwVersion;
    DWORD dwProtocol;
    DWORD cbSize;
    DWORD dwReserved;
    WCHAR sztHostAddress[MAX_NETWORKNAME_LEN];
    WCHAR sztSNMPCommunity[MAX_SNMP_COMMUNITY_STR_LEN];
    DWORD dwDoubleSpool;
    WCHAR sztQueue[MAX_QUEUENAME_LEN];
    WCHAR sztIPAddress[MAX_IPADDR_STR_LEN];
    BYTE Reserved[540];
    DWORD dwPortNumber;
    DWORD dwSNMPEnabled;
    DWORD dwSNMPDevIndex;
};
static_assert(sizeof(PORT_DATA_1) == 964);
static_assert(offsetof(PORT_DATA_1, sztHostAddress) == 144);
static_assert(offsetof(PORT_DATA_1, sztIPAddress) == 378);
static_assert(offsetof(PORT_DATA_1, dwPortNumber) == 952);

struct CONFIG_INFO_DATA_1 {
    BYTE Reserved[128];
    DWORD dwVersion;
};
static_assert(sizeof(CONFIG_INFO_DATA_1) == 132);

// Size-first enumerations: a call with an empty buffer fails with ERROR_INSUFFICIENT_BUFFER and the
// size in *needed; nothing to enumerate succeeds outright with *needed = 0. Levels: drivers 1 and 8,
// printers 2, ports 1 and 2.
BOOL EnumPrinterDriversW(LPWSTR name, LPWSTR environment, DWORD level, BYTE* buffer, DWORD cbBuf, DWORD* needed,
                         DWORD* returned);
BOOL EnumPrintersW(DWORD flags, LPWSTR name, DWORD level, BYTE* buffer, DWORD cbBuf, DWORD* needed,
                   DWORD* returned);
BOOL EnumPortsW(LPWSTR name, DWORD level, BYTE* buffer, DWORD cbBuf, DWORD* needed, DWORD* returned);

// name null: the print server; ",XcvMonitor <monitor>" / ",XcvPort <port>": a monitor's transceive
// interface. Close with ClosePrinter.
BOOL OpenPrinterW(LPWSTR printerName, HANDLE* printer, PRINTER_DEFAULTSW* defaults);
BOOL ClosePrinter(HANDLE printer);
// Returns TRUE when the call reached the monitor; the monitor's own result is in *status.
BOOL XcvDataW(HANDLE xcv, LPCWSTR dataName, BYTE* inputData, DWORD cbInputData, BYTE* outputData,
              DWORD cbOutputData, DWORD* outputNeeded, DWORD* status);
// Level 2 only; the handle must be closed with ClosePrinter. A null pSecurityDescriptor gives the
// printer the spooler's default security.
HANDLE AddPrinterW(LPWSTR name, DWORD level, BYTE* printer);
// Level 2: a non-null pSecurityDescriptor replaces the printer's security and needs a handle opened
// with WRITE_DAC (and WRITE_OWNER for an owner or group), else ERROR_ACCESS_DENIED; null leaves it.
BOOL SetPrinterW(HANDLE printer, DWORD level, BYTE* info, DWORD command);
// The handle stays open: ClosePrinter is still needed.
BOOL DeletePrinter(HANDLE printer);
BOOL DeletePrinterDriverExW(LPWSTR name, LPWSTR environment, LPWSTR driverName, DWORD deleteFlag,
                            DWORD versionFlag);

// Driver packages (HRESULT results). *destInfPathChars is in and out, in characters including the
// terminator.
HRESULT UploadPrinterDriverPackageW(LPCWSTR server, LPCWSTR infPath, LPCWSTR environment, DWORD flags, HWND owner,
                                    LPWSTR destInfPath, DWORD* destInfPathChars);
HRESULT InstallPrinterDriverFromPackageW(LPCWSTR server, LPCWSTR infPath, LPCWSTR driverName,
                                         LPCWSTR environment, DWORD flags);
HRESULT DeletePrinterDriverPackageW(LPCWSTR server, LPCWSTR infPath, LPCWSTR environment);

// kernel32: FALSE with ERROR_INVALID_PARAMETER for a file time of 0x8000000000000000 or more.
BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime);

}  // namespace win
