// Simulated device installation: the printer device class with its USB device nodes (present or
// not plugged in), device lists, removal, interface driver installation from an INF, and WOW64
// file-system redirection.
#include <cstdio>
#include <cstring>
#include <map>

#include "platform/sim/SimElevation.h"
#include "platform/sim/SimMachine.h"
#include "platform/sim/SimSpooler.h"
#include "platform/sim/SimTrust.h"
#include "platform/utf.h"
#include "platform/win/devices.h"
#include "platform/win/errors.h"
#include "platform/win/system.h"

namespace win {

namespace {

using sim::json;
using namespace sim::spool;

const sim::RegisterDefaults deviceDefaults("devices", [](json& s, const sim::ProfileOptions&) {
    s["devices"] = {{"list", json::array()}, {"drivers", json::array()}, {"reboot_required", false}};
});

std::string guid_text(const GUID& g)
{
    char b[40];
    std::snprintf(b, sizeof b, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return b;
}

struct DevList {
    std::vector<std::string> ids;
};
std::map<void*, DevList>& lists()
{
    static std::map<void*, DevList> l;
    return l;
}
DevList* lookup(HDEVINFO h)
{
    if (!sim::Machine::get().is_open(h, "device_list")) return nullptr;
    auto it = lists().find(h);
    return it == lists().end() ? nullptr : &it->second;
}
json* find_device(const std::string& id)
{
    for (auto& d : sim::Machine::get().state()["devices"]["list"])
        if (iequal8(d.value("instance_id", std::string()), id)) return &d;
    return nullptr;
}
// What a device change answers about a restart ("reboot_required" in the state, or a device whose
// removal needs one): with a flag to fill the caller learns it; without one Windows itself asks the
// user to restart, which the sim logs as a "restart_prompt" event.
void report_reboot(BOOL* needReboot, const char* by, bool deviceNeedsRestart = false, const std::string& instanceId = {})
{
    auto& m = sim::Machine::get();
    const bool required = deviceNeedsRestart || m.state()["devices"].value("reboot_required", false);
    if (needReboot) {
        *needReboot = required ? TRUE : FALSE;
    } else if (required) {
        json ev = {{"type", "restart_prompt"}, {"by", by}};
        if (!instanceId.empty()) ev["instance_id"] = instanceId;
        m.event(ev);
    }
}
// A device node the scenario marks "restart_to_remove" (a driver that holds files open, a device
// in use) can only be removed completely after a restart; DiUninstallDevice then reports it.
bool removal_needs_restart(const json& node)
{
    const auto it = node.find("restart_to_remove");
    return it != node.end() && it->is_boolean() && it->get<bool>();
}
bool wow64()
{
    auto& s = sim::Machine::get().state();
    return s.value("/windows/bits"_json_pointer, 64) == 64 && s.value("/process/bits"_json_pointer, 64) == 32;
}

}  // namespace

HRESULT CLSIDFromString(LPCWSTR text, GUID* clsid)
{
    auto l = sim::lock();
    if (auto e = sim::Machine::get().fault("CLSIDFromString")) return static_cast<HRESULT>(*e);
    const std::string s = text ? txt::to_utf8(text) : std::string();
    unsigned a = 0, b = 0, c = 0, d[8] = {};
    int used = 0;
    if (!clsid || s.size() != 38 ||
        std::sscanf(s.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}%n", &a, &b, &c, &d[0], &d[1], &d[2], &d[3],
                    &d[4], &d[5], &d[6], &d[7], &used) != 11 ||
        used != 38)
        return CO_E_CLASSSTRING;
    clsid->Data1 = a;
    clsid->Data2 = static_cast<std::uint16_t>(b);
    clsid->Data3 = static_cast<std::uint16_t>(c);
    for (int i = 0; i < 8; ++i) clsid->Data4[i] = static_cast<std::uint8_t>(d[i]);
    return NOERROR;
}

HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, LPCWSTR enumerator, HWND, DWORD flags)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (injected_failure("SetupDiGetClassDevsW")) return INVALID_HANDLE_VALUE;
    if (!classGuid && !(flags & DIGCF_ALLCLASSES)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const std::string cls = classGuid ? guid_text(*classGuid) : std::string();
    const std::string en = enumerator ? txt::to_utf8(enumerator) : std::string();
    DevList dl;
    for (auto& d : m.state()["devices"]["list"]) {
        const std::string id = d.value("instance_id", std::string());
        if (!(flags & DIGCF_ALLCLASSES) && !iequal8(d.value("class_guid", std::string()), cls)) continue;
        if (!en.empty() && !iequal8(id.substr(0, id.find('\\')), en)) continue;
        if ((flags & DIGCF_PRESENT) && !d.value("present", true)) continue;
        dl.ids.push_back(id);
    }
    HDEVINFO h = m.open_handle("device_list", "SetupDiGetClassDevsW");
    lists()[h] = std::move(dl);
    return h;
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data)
{
    auto l = sim::lock();
    if (injected_failure("SetupDiEnumDeviceInfo")) return FALSE;
    DevList* dl = lookup(set);
    if (!dl) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (data->cbSize != sizeof(SP_DEVINFO_DATA)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (index >= dl->ids.size()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    CLSIDFromString(u"{4d36e979-e325-11ce-bfc1-08002be10318}", &data->ClassGuid);
    data->DevInst = index + 1;
    data->Reserved = 0;
    return TRUE;
}

BOOL SetupDiGetDeviceInstanceIdW(HDEVINFO set, SP_DEVINFO_DATA* data, LPWSTR id, DWORD idChars, DWORD* requiredSize)
{
    auto l = sim::lock();
    if (injected_failure("SetupDiGetDeviceInstanceIdW")) return FALSE;
    DevList* dl = lookup(set);
    if (!dl) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!data || data->cbSize != sizeof(SP_DEVINFO_DATA) || data->DevInst == 0 || data->DevInst > dl->ids.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string& devId = dl->ids[data->DevInst - 1];
    if (!find_device(devId)) {
        SetLastError(ERROR_NO_SUCH_DEVINST);
        return FALSE;
    }
    const std::u16string u = txt::from_utf8(upper(devId));
    if (requiredSize) *requiredSize = static_cast<DWORD>(u.size() + 1);
    if (!id || idChars < u.size() + 1) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(id, u.c_str(), (u.size() + 1) * sizeof(WCHAR));
    return TRUE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set)
{
    auto l = sim::lock();
    if (!lookup(set)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    lists().erase(set);
    sim::Machine::get().close_handle(set, "device_list");
    return TRUE;
}

BOOL DiUninstallDevice(HWND, HDEVINFO set, SP_DEVINFO_DATA* data, DWORD flags, BOOL* needReboot)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (injected_failure("DiUninstallDevice")) return FALSE;
    DevList* dl = lookup(set);
    if (!dl) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (flags != 0) {
        SetLastError(ERROR_INVALID_FLAGS);
        return FALSE;
    }
    if (sim::refused_without_admin()) return FALSE;
    if (!data || data->cbSize != sizeof(SP_DEVINFO_DATA) || data->DevInst == 0 || data->DevInst > dl->ids.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string devId = dl->ids[data->DevInst - 1];
    auto& arr = m.state()["devices"]["list"];
    for (std::size_t i = 0; i < arr.size(); ++i) {
        if (!iequal8(arr[i].value("instance_id", std::string()), devId)) continue;
        const bool restart = removal_needs_restart(arr[i]);
        arr.erase(i);
        m.save();
        m.event({{"type", "device_removed"}, {"instance_id", devId}});
        report_reboot(needReboot, "DiUninstallDevice", restart, devId);
        return TRUE;
    }
    SetLastError(ERROR_NO_SUCH_DEVINST);
    return FALSE;
}

BOOL DiInstallDriverW(HWND, LPCWSTR infPath, DWORD flags, BOOL* needReboot)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (injected_failure("DiInstallDriverW")) return FALSE;
    if (flags & ~(DIIRFLAG_FORCE_INF | DIIRFLAG_INSTALL_AS_SET)) {
        SetLastError(ERROR_INVALID_FLAGS);
        return FALSE;
    }
    if (!infPath) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (sim::refused_without_admin()) return FALSE;
    if (wow64()) {
        SetLastError(ERROR_IN_WOW64);
        return FALSE;
    }
    auto host = m.map_path(infPath);
    std::error_code ec;
    if (!host || !std::filesystem::is_regular_file(*host, ec)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (auto refused = sim::trust::check_package(*host, sim::trust::Prompt::Allowed, "DiInstallDriverW")) {
        SetLastError(refused);
        return FALSE;
    }
    auto facts = read_inf(*host);
    const std::string hwid = facts && !facts->models.empty() ? facts->models.front().second : std::string();
    const std::string version = facts ? facts->version : std::string();
    auto& drivers = m.state()["devices"]["drivers"];
    for (auto& d : drivers) {
        if (!iequal8(d.value("hardware_id", std::string()), hwid)) continue;
        // The same or a better driver is already there: nothing to install.
        if (version_value(d.value("version", std::string())) >= version_value(version)) {
            SetLastError(ERROR_NO_MORE_ITEMS);
            return FALSE;
        }
        d["version"] = version;
        d["inf"] = host->filename().string();
        m.save();
        report_reboot(needReboot, "DiInstallDriverW");
        return TRUE;
    }
    stage_package(*host, host->filename().string());
    drivers.push_back({{"hardware_id", hwid}, {"version", version}, {"inf", host->filename().string()}});
    m.save();
    m.event({{"type", "interface_driver_installed"}, {"hardware_id", hwid}, {"version", version}});
    report_reboot(needReboot, "DiInstallDriverW");
    return TRUE;
}

BOOL Wow64DisableWow64FsRedirection(void** oldValue)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (injected_failure("Wow64DisableWow64FsRedirection")) return FALSE;
    if (!wow64()) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    if (oldValue) *oldValue = nullptr;
    m.state()["process"]["fs_redirection"] = false;
    m.save();
    m.event({{"type", "fs_redirection"}, {"enabled", false}});
    return TRUE;
}

BOOL Wow64RevertWow64FsRedirection(void*)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (injected_failure("Wow64RevertWow64FsRedirection")) return FALSE;
    if (!wow64()) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    m.state()["process"]["fs_redirection"] = true;
    m.save();
    m.event({{"type", "fs_redirection"}, {"enabled", true}});
    return TRUE;
}

}  // namespace win
