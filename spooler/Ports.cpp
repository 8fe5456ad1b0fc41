// Printer ports: the list the installer offers (USB, Standard TCP/IP and file ports), new raw
// network ports through the Standard TCP/IP port monitor, the SNMP status switch of a port, and
// the look-up that says what an existing port of a given name is.
#include <cstring>
#include <string>

#include "core/WideText.h"
#include "platform/handles.h"
#include "spooler/SpoolerCommon.h"

namespace txr {

using namespace spooler;

namespace {

constexpr char16_t kTcpMonitorName[] = u"Standard TCP/IP Port";
constexpr char16_t kTcpMonitor[] = u",XcvMonitor Standard TCP/IP Port";
constexpr char16_t kXcvPortPrefix[] = u",XcvPort ";
constexpr win::DWORD kRawPortNumber = 9100;
constexpr std::size_t kMaxAddress = win::MAX_IPADDR_STR_LEN - 1;   // 15
constexpr std::size_t kMaxPortName = win::MAX_PORTNAME_LEN - 1;    // 63
constexpr win::DWORD kSnmpPauseMs = 2000;

bool Contains(const char16_t* text, std::u16string_view part)
{
    return text && std::u16string_view(text).find(part) != std::u16string_view::npos;
}

// A handle on the Standard TCP/IP port monitor or one of its ports, with server all access.
win::unique_printer OpenXcv(std::u16string_view name)
{
    WritableText text(name);
    win::PRINTER_DEFAULTSW defaults{nullptr, nullptr, win::SERVER_ALL_ACCESS};
    win::unique_printer h;
    if (!win::OpenPrinterW(text.get(), h.put(), &defaults)) h.reset();
    return h;
}

bool Xcv(win::HANDLE h, const char16_t* command, void* input, win::DWORD cbInput, void* output, win::DWORD cbOutput,
         win::DWORD* status)
{
    win::DWORD needed = 0;
    return win::XcvDataW(h, command, static_cast<win::BYTE*>(input), cbInput, static_cast<win::BYTE*>(output),
                         cbOutput, &needed, status) != 0;
}

// The port's record as the monitor hands it out (GetConfigInfo); false when the port cannot be
// opened through the monitor or the monitor does not answer with a record.
bool ReadPortRecord(win::HANDLE port, win::PORT_DATA_1& record)
{
    win::CONFIG_INFO_DATA_1 query{};
    query.dwVersion = 1;
    record = win::PORT_DATA_1{};
    win::DWORD status = 0;
    return Xcv(port, u"GetConfigInfo", &query, sizeof query, &record, sizeof record, &status) &&
           status == win::ERROR_SUCCESS;
}

win::unique_printer OpenXcvPort(std::u16string_view portName)
{
    const std::u16string name = std::u16string(kXcvPortPrefix) + std::u16string(portName);
    if (name.size() >= 260) return {};
    return OpenXcv(name);
}

// The spooler's ports at level 2 (name, monitor, description), size first.
EnumOutcome PortsAtLevel2(EnumBuffer& ports)
{
    return EnumerateSizeFirst(
        [&](win::BYTE* buf, win::DWORD cb, win::DWORD* needed, win::DWORD* returned) {
            return win::EnumPortsW(nullptr, 2, buf, cb, needed, returned);
        },
        ports);
}

}  // namespace

std::int32_t Lib_GetPrinterPortList(std::uint32_t* count, PortListEntry* list, std::uint32_t* errorCode)
{
    if (count) *count = 0;
    return Guarded(u"Printer port list", errorCode, [&]() -> std::int32_t {
        if (!list) {
            Store(errorCode, win::ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        EnumBuffer ports;
        const EnumOutcome outcome = PortsAtLevel2(ports);
        if (outcome == EnumOutcome::Nothing || outcome == EnumOutcome::SizeFailed) {
            Store(errorCode, win::GetLastError());
            return 0;
        }
        const win::DWORD failure = outcome == EnumOutcome::SecondFailed ? win::GetLastError() : 0;
        std::uint32_t written = 0;
        const auto* entries = ports.Entries<win::PORT_INFO_2W>();
        for (win::DWORD i = 0; i < ports.count && written < kPortListCapacity; ++i) {
            const win::PORT_INFO_2W& p = entries[i];
            if (!(Contains(p.pDescription, u"USB") || Contains(p.pDescription, u"TCP/IP") ||
                  Contains(p.pPortName, u"FILE:")))
                continue;
            // Name and description beyond 254 characters are cut; qualifying ports past the 50th are
            // not listed.
            CopyToField(list[written],
                        std::u16string(View(p.pPortName)) + u"[" + std::u16string(View(p.pDescription)) + u"]");
            ++written;
        }
        if (ports.count == 0) {
            std::uint32_t ignored = 0;
            RestartSpooler(&ignored);
        }
        if (outcome == EnumOutcome::SecondFailed) {
            Store(errorCode, failure);
            win::SetLastError(failure);
            return 0;
        }
        if (count) *count = written;
        Store(errorCode, 0);
        return 1;
    });
}

std::int32_t Lib_AddNetworkPort(const char16_t* ipAddress, const char16_t* portName, std::uint32_t* errorCode)
{
    return Guarded(u"Add network port", errorCode, [&]() -> std::int32_t {
        const std::u16string_view address = View(ipAddress);
        const std::u16string_view name = View(portName);
        // Nothing to create, or more than the record's fields hold: refused with a code of its own,
        // so that no caller takes the refusal for an existing, usable port.
        if (address.empty() || name.empty() || address.size() > kMaxAddress || name.size() > kMaxPortName) {
            Store(errorCode, win::ERROR_INVALID_PARAMETER);
            return 0;
        }
        win::PORT_DATA_1 record{};
        CopyToField(record.sztPortName, name);
        record.dwVersion = 1;
        record.dwProtocol = win::PROTOCOL_RAWTCP_TYPE;
        record.cbSize = sizeof record;
        CopyToField(record.sztHostAddress, address);
        CopyToField(record.sztSNMPCommunity, u"Public");
        CopyToField(record.sztIPAddress, address);
        record.dwPortNumber = kRawPortNumber;
        record.dwSNMPEnabled = 0;
        record.dwSNMPDevIndex = 1;

        win::unique_printer monitor = OpenXcv(kTcpMonitor);
        if (!monitor) {
            Store(errorCode, win::GetLastError());
            return 0;
        }
        win::DWORD status = 0;
        if (!Xcv(monitor.get(), u"AddPort", &record, sizeof record, nullptr, 0, &status)) {
            Store(errorCode, win::GetLastError());
            return 0;
        }
        if (status != win::ERROR_SUCCESS) {
            // The monitor's own answer: a port of that name that already exists is usable as it is
            // (code 0); any other refusal is reported with the monitor's code.
            Store(errorCode, status == win::ERROR_ALREADY_EXISTS ? 0 : status);
            return 0;
        }
        win::DWORD configStatus = 0;
        Xcv(monitor.get(), u"ConfigPort", &record, sizeof record, nullptr, 0, &configStatus);
        Store(errorCode, 0);
        return 1;
    });
}

std::int32_t Lib_ConfigPortSNMPStatus(const char16_t* portName, std::int32_t mode, std::int32_t enable)
{
    return Guarded(u"Port SNMP status", nullptr, [&]() -> std::int32_t {
        win::unique_printer port = OpenXcvPort(View(portName));
        win::PORT_DATA_1 record{};
        // A record the monitor did not hand out is never written back.
        if (!port || !ReadPortRecord(port.get(), record)) return 0;
        if (mode == 0) return record.dwSNMPEnabled != 0 ? 1 : 0;
        record.dwSNMPEnabled = static_cast<win::DWORD>(enable);
        win::DWORD status = 0;
        if (!Xcv(port.get(), u"ConfigPort", &record, sizeof record, nullptr, 0, &status) ||
            status != win::ERROR_SUCCESS)
            return 0;
        win::Sleep(kSnmpPauseMs);
        return 1;
    });
}

std::int32_t Lib_LookUpPort(const char16_t* portName, PortLookup* lookup, std::uint32_t* errorCode)
{
    if (lookup) *lookup = PortLookup{};
    return Guarded(u"Look up port", errorCode, [&]() -> std::int32_t {
        if (!lookup) {
            Store(errorCode, win::ERROR_INVALID_PARAMETER);
            return 0;
        }
        EnumBuffer ports;
        const EnumOutcome outcome = PortsAtLevel2(ports);
        // A spooler without a single port has none of that name either.
        if (outcome == EnumOutcome::SizeFailed || outcome == EnumOutcome::SecondFailed) {
            Store(errorCode, win::GetLastError());
            return 0;
        }
        const auto* entries = ports.Entries<win::PORT_INFO_2W>();
        const win::PORT_INFO_2W* found = nullptr;
        for (win::DWORD i = 0; i < ports.count && !found; ++i)
            if (entries[i].pPortName && txt::iequals(entries[i].pPortName, View(portName))) found = &entries[i];
        if (found) {
            lookup->exists = true;
            // The monitor's name, not the description: the description is translated ("Standard-
            // TCP/IP-Port" on a German system) and other monitors describe their ports as TCP/IP too.
            lookup->isStandardTcpIp = found->pMonitorName && txt::iequals(found->pMonitorName, kTcpMonitorName);
            win::PORT_DATA_1 record{};
            win::unique_printer port;
            if (lookup->isStandardTcpIp) port = OpenXcvPort(View(found->pPortName));
            // A port whose record cannot be read keeps an empty address: it matches no address.
            if (port && ReadPortRecord(port.get(), record))
                CopyToField(lookup->address, FieldEmpty(record.sztHostAddress) ? FieldText(record.sztIPAddress)
                                                                               : FieldText(record.sztHostAddress));
        }
        Store(errorCode, 0);
        return 1;
    });
}

}  // namespace txr
