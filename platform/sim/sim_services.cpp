// The simulated service control manager: the Spooler service and the services around it, their
// states, stop and start controls, pending states that last a given number of status queries (or
// never end), start failures, the services a start brings up first, and the access rights each
// handle was opened with. Every service that reaches stopped or running is logged.
#include <cstring>
#include <map>
#include <vector>

#include "platform/sim/SimElevation.h"
#include "platform/sim/SimMachine.h"
#include "platform/sim/SimSpooler.h"
#include "platform/utf.h"
#include "platform/win/errors.h"
#include "platform/win/services.h"
#include "platform/win/spooler.h"

namespace win {

namespace {

using sim::json;
using namespace sim::spool;

const sim::RegisterDefaults serviceDefaults("services", [](json& s, const sim::ProfileOptions& o) {
    const bool de = o.locale.rfind("de", 0) == 0;
    s["services"] = json::array({
        {{"name", "RpcSs"}, {"display_name", de ? "Remoteprozeduraufruf (RPC)" : "Remote Procedure Call (RPC)"}, {"state", "running"}, {"depends_on", json::array()}},
        {{"name", "HTTP"}, {"display_name", "HTTP Service"}, {"state", "running"}, {"depends_on", json::array()}},
        // `sc query Spooler` shows TYPE 110: its own process, allowed to interact with the desktop.
        {{"name", "Spooler"}, {"display_name", de ? "Druckwarteschlange" : "Print Spooler"}, {"type", SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS}, {"state", "running"}, {"depends_on", json::array({"RPCSS", "http"})}, {"pending_queries", 1}},
    });
});

constexpr DWORD kGenericRead = 0x80000000u, kGenericWrite = 0x40000000u, kGenericExecute = 0x20000000u,
                kGenericAll = 0x10000000u, kGenericRights = 0xF0000000u;
constexpr DWORD kReadControl = 0x00020000;  // STANDARD_RIGHTS_READ, _WRITE and _EXECUTE alike
constexpr DWORD kServiceQueryConfig = 0x1, kServiceChangeConfig = 0x2, kServicePauseContinue = 0x40,
                kServiceInterrogate = 0x80, kServiceUserDefinedControl = 0x100;
constexpr DWORD kScManagerCreateService = 0x2, kScManagerLock = 0x8, kScManagerQueryLockStatus = 0x10,
                kScManagerModifyBootConfig = 0x20;

// What the generic rights stand for on the manager and on a service ("Service Security and Access
// Rights" in Microsoft's documentation).
struct GenericMapping {
    DWORD read, write, execute, all;
};
constexpr GenericMapping kManagerMapping{kReadControl | SC_MANAGER_ENUMERATE_SERVICE | kScManagerQueryLockStatus,
                                         kReadControl | kScManagerCreateService | kScManagerModifyBootConfig,
                                         kReadControl | SC_MANAGER_CONNECT | kScManagerLock, SC_MANAGER_ALL_ACCESS};
constexpr GenericMapping kServiceMapping{
    kReadControl | kServiceQueryConfig | SERVICE_QUERY_STATUS | kServiceInterrogate | SERVICE_ENUMERATE_DEPENDENTS,
    kReadControl | kServiceChangeConfig,
    kReadControl | SERVICE_START | SERVICE_STOP | kServicePauseContinue | kServiceUserDefinedControl,
    SERVICE_ALL_ACCESS};

// What the default security of the manager and of a service grants a user without administrator
// rights (authenticated users, same page).
constexpr DWORD kManagerUserRights = kReadControl | SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE | kScManagerQueryLockStatus;
constexpr DWORD kServiceUserRights = kReadControl | kServiceQueryConfig | SERVICE_QUERY_STATUS | kServiceInterrogate |
                                     SERVICE_ENUMERATE_DEPENDENTS | kServiceUserDefinedControl;

DWORD map_generic(DWORD access, const GenericMapping& g)
{
    if (access & kGenericRead) access |= g.read;
    if (access & kGenericWrite) access |= g.write;
    if (access & kGenericExecute) access |= g.execute;
    if (access & kGenericAll) access |= g.all;
    return access & ~kGenericRights;
}

struct SvcHandle {
    bool manager;
    std::string name;
    DWORD access;  // the rights granted when the handle was opened, generic rights mapped
};
std::map<void*, SvcHandle>& shandles()
{
    static std::map<void*, SvcHandle> h;
    return h;
}
SvcHandle* lookup(SC_HANDLE h)
{
    if (!sim::Machine::get().is_open(h, "service")) return nullptr;
    auto it = shandles().find(h);
    return it == shandles().end() ? nullptr : &it->second;
}

DWORD state_code(const std::string& s)
{
    if (s == "stopped") return SERVICE_STOPPED;
    if (s == "start_pending") return SERVICE_START_PENDING;
    if (s == "stop_pending") return SERVICE_STOP_PENDING;
    if (s == "running") return SERVICE_RUNNING;
    if (s == "paused") return 7;
    return SERVICE_STOPPED;
}

void fill_status(const json& sv, SERVICE_STATUS* st)
{
    if (!st) return;
    std::memset(st, 0, sizeof *st);
    st->dwServiceType = sv.value("type", SERVICE_WIN32_OWN_PROCESS);
    st->dwCurrentState = state_code(sv.value("state", std::string("stopped")));
    st->dwControlsAccepted = st->dwCurrentState == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    if (st->dwCurrentState == SERVICE_START_PENDING || st->dwCurrentState == SERVICE_STOP_PENDING) st->dwWaitHint = 2000;
}

// Moves a service towards the state its pending state leads to: "pending_left" queries remain
// (-1: the pending state never ends).
void settle(json& sv, bool query)
{
    const std::string st = sv.value("state", std::string());
    if (st != "start_pending" && st != "stop_pending") return;
    int left = sv.value("pending_left", 0);
    if (left < 0) return;
    if (query && left > 0) {
        sv["pending_left"] = left - 1;
        return;
    }
    if (left > 0) return;
    sv["state"] = st == "start_pending" ? "running" : "stopped";
    sv.erase("pending_left");
    sim::Machine::get().event({{"type", "service"}, {"name", sv["name"]}, {"state", sv["state"]}});
    sim::spool::service_settled(sv);
}

void begin_pending(json& sv, const char* pending)
{
    sv["state"] = pending;
    sv["pending_left"] = sv.value("pending_queries", 1);
    settle(sv, false);
}

}  // namespace

SC_HANDLE OpenSCManagerW(LPCWSTR machineName, LPCWSTR databaseName, DWORD desiredAccess)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (injected_failure("OpenSCManagerW")) return nullptr;
    if (machineName && *machineName) {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);
        return nullptr;
    }
    if (databaseName && !txt::iequals(databaseName, u"ServicesActive")) {
        SetLastError(ERROR_DATABASE_DOES_NOT_EXIST);
        return nullptr;
    }
    if (desiredAccess & ~(SC_MANAGER_ALL_ACCESS | kGenericRights)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    // Every manager handle may connect, whatever was asked for.
    const DWORD granted = map_generic(desiredAccess, kManagerMapping) | SC_MANAGER_CONNECT;
    if ((granted & ~kManagerUserRights) && sim::refused_without_admin()) return nullptr;
    auto* h = static_cast<SC_HANDLE>(m.open_handle("service", "OpenSCManagerW"));
    shandles()[h] = SvcHandle{true, {}, granted};
    return h;
}

SC_HANDLE OpenServiceW(SC_HANDLE manager, LPCWSTR serviceName, DWORD desiredAccess)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (injected_failure("OpenServiceW")) return nullptr;
    SvcHandle* mh = lookup(manager);
    if (!mh || !mh->manager) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!(mh->access & SC_MANAGER_CONNECT)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    const std::u16string n = serviceName ? serviceName : u"";
    if (n.empty() || n.size() > 256 || n.find_first_of(u"/\\") != std::u16string::npos) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    json* sv = find_service(txt::to_utf8(n));
    if (!sv) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    if (desiredAccess & ~(SERVICE_ALL_ACCESS | kGenericRights)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    const DWORD granted = map_generic(desiredAccess, kServiceMapping);
    if ((granted & ~kServiceUserRights) && sim::refused_without_admin()) return nullptr;
    auto* h = static_cast<SC_HANDLE>(m.open_handle("service", "OpenServiceW"));
    shandles()[h] = SvcHandle{false, (*sv)["name"].get<std::string>(), granted};
    return h;
}

BOOL CloseServiceHandle(SC_HANDLE handle)
{
    auto l = sim::lock();
    if (!lookup(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    shandles().erase(handle);
    sim::Machine::get().close_handle(handle, "service");
    return TRUE;
}

namespace {
// The service of a service handle that was opened with the right the call needs: 6 for anything
// but a service handle, 5 for a handle without that right.
json* service_of(SC_HANDLE h, DWORD needed)
{
    SvcHandle* sh = lookup(h);
    if (!sh || sh->manager) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if ((sh->access & needed) != needed) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return find_service(sh->name);
}

// Checks the whole tree of services `sv` depends on before anything starts, as the service control
// manager does: a dependency that is not installed gives 1075. `chain` holds the services on the
// way here; Windows refuses to configure a circle, a seeded one gives 1059.
DWORD check_dependencies(const json& sv, std::vector<std::string>& chain)
{
    const std::string name = sv.value("name", std::string());
    for (const auto& c : chain)
        if (iequal8(c, name)) return ERROR_CIRCULAR_DEPENDENCY;
    chain.push_back(name);
    for (auto& dep : sv.value("depends_on", json::array())) {
        const json* d = find_service(dep.get<std::string>());
        if (!d) return ERROR_SERVICE_DEPENDENCY_DELETED;
        if (DWORD e = check_dependencies(*d, chain)) return e;
    }
    chain.pop_back();
    return ERROR_SUCCESS;
}

// Brings a service that another one depends on up, its own dependencies first. The manager waits
// for each to run before it goes on, so a started dependency is running when this returns; any
// dependency that cannot get there fails the start with 1068.
DWORD start_dependency(json& sv)
{
    const std::string st = sv.value("state", std::string("stopped"));
    if (st == "running") return ERROR_SUCCESS;
    for (auto& dep : sv.value("depends_on", json::array()))
        if (start_dependency(*find_service(dep.get<std::string>()))) return ERROR_SERVICE_DEPENDENCY_FAIL;
    const bool starting = st == "start_pending";
    if (!starting && (st != "stopped" || sv.value("start_type", std::string()) == "disabled" || sv.value("start_error", 0u)))
        return ERROR_SERVICE_DEPENDENCY_FAIL;
    if (sv.value(starting ? "pending_left" : "pending_queries", 1) < 0) {
        // A start that never ends: the manager gives up waiting, the dependency stays pending.
        sv["state"] = "start_pending";
        sv["pending_left"] = -1;
        return ERROR_SERVICE_DEPENDENCY_FAIL;
    }
    sv["state"] = "running";
    sv.erase("pending_left");
    sim::Machine::get().event({{"type", "service"}, {"name", sv["name"]}, {"state", "running"}});
    return ERROR_SUCCESS;
}
}  // namespace

BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (injected_failure("QueryServiceStatus")) return FALSE;
    json* sv = service_of(service, SERVICE_QUERY_STATUS);
    if (!sv) return FALSE;
    if (!status) {
        SetLastError(RPC_X_NULL_REF_POINTER);
        return FALSE;
    }
    settle(*sv, true);
    m.save();
    fill_status(*sv, status);
    return TRUE;
}

BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (injected_failure("ControlService")) return FALSE;
    if (control != SERVICE_CONTROL_STOP && control != SERVICE_CONTROL_INTERROGATE && lookup(service)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    json* sv = service_of(service, control == SERVICE_CONTROL_STOP ? SERVICE_STOP : kServiceInterrogate);
    if (!sv) return FALSE;
    if (!status) {
        SetLastError(RPC_X_NULL_REF_POINTER);
        return FALSE;
    }
    const std::string st = sv->value("state", std::string());
    if (control == SERVICE_CONTROL_INTERROGATE) {
        fill_status(*sv, status);
        return TRUE;
    }
    if (st == "stopped") {
        fill_status(*sv, status);
        SetLastError(ERROR_SERVICE_NOT_ACTIVE);
        return FALSE;
    }
    if (st != "running") {
        fill_status(*sv, status);
        SetLastError(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
        return FALSE;
    }
    const std::string name = (*sv)["name"].get<std::string>();
    for (auto& other : m.state()["services"]) {
        if (other.value("state", std::string()) == "stopped") continue;
        for (auto& dep : other.value("depends_on", json::array()))
            if (iequal8(dep.get<std::string>(), name)) {
                SetLastError(ERROR_DEPENDENT_SERVICES_RUNNING);
                return FALSE;
            }
    }
    if (DWORD e = sv->value("stop_error", 0u)) {
        SetLastError(e);
        return FALSE;
    }
    begin_pending(*sv, "stop_pending");
    m.save();
    fill_status(*sv, status);
    return TRUE;
}

BOOL StartServiceW(SC_HANDLE service, DWORD, LPCWSTR*)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (injected_failure("StartServiceW")) return FALSE;
    json* sv = service_of(service, SERVICE_START);
    if (!sv) return FALSE;
    const std::string st = sv->value("state", std::string());
    if (st == "running" || st == "start_pending") {
        SetLastError(ERROR_SERVICE_ALREADY_RUNNING);
        return FALSE;
    }
    if (st == "stop_pending") {
        SetLastError(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
        return FALSE;
    }
    if (sv->value("start_type", std::string()) == "disabled") {
        SetLastError(ERROR_SERVICE_DISABLED);
        return FALSE;
    }
    std::vector<std::string> chain;
    DWORD e = check_dependencies(*sv, chain);
    // The dependencies are started in the order they are listed, each after its own; one that
    // fails leaves those already started running, and this service stopped.
    for (auto& dep : sv->value("depends_on", json::array()))
        if (!e) e = start_dependency(*find_service(dep.get<std::string>()));
    if (!e) e = sv->value("start_error", 0u);
    if (e) {
        m.save();
        SetLastError(e);
        return FALSE;
    }
    begin_pending(*sv, "start_pending");
    m.save();
    return TRUE;
}

BOOL EnumDependentServicesW(SC_HANDLE service, DWORD serviceState, ENUM_SERVICE_STATUSW* services, DWORD cbBuf,
                            DWORD* needed, DWORD* returned)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (injected_failure("EnumDependentServicesW")) return FALSE;
    json* sv = service_of(service, SERVICE_ENUMERATE_DEPENDENTS);
    if (!sv) return FALSE;
    if (serviceState < SERVICE_ACTIVE || serviceState > SERVICE_STATE_ALL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Direct and indirect dependents, in the reverse of the order they start in.
    auto& all = m.state()["services"];
    std::vector<std::string> names{(*sv)["name"].get<std::string>()};
    std::vector<bool> dependent(all.size(), false);
    for (bool grew = true; grew;) {
        grew = false;
        for (std::size_t i = 0; i < all.size(); ++i) {
            if (dependent[i]) continue;
            for (auto& dep : all[i].value("depends_on", json::array()))
                for (auto& n : names)
                    if (!dependent[i] && iequal8(dep.get<std::string>(), n)) {
                        dependent[i] = grew = true;
                        names.push_back(all[i]["name"].get<std::string>());
                    }
        }
    }
    std::vector<const json*> items;
    for (std::size_t i = all.size(); i-- > 0;) {
        if (!dependent[i]) continue;
        const bool active = all[i].value("state", std::string()) != "stopped";
        if ((active && (serviceState & SERVICE_ACTIVE)) || (!active && (serviceState & SERVICE_INACTIVE)))
            items.push_back(&all[i]);
    }
    return pack_entries<ENUM_SERVICE_STATUSW>(
        items,
        [](ENUM_SERVICE_STATUSW& e, auto& a, const json& s) {
            e.lpServiceName = a.put(txt::from_utf8(s.value("name", std::string())));
            e.lpDisplayName = a.put(txt::from_utf8(s.value("display_name", s.value("name", std::string()))));
            fill_status(s, &e.ServiceStatus);
        },
        reinterpret_cast<BYTE*>(services), cbBuf, needed, returned, ERROR_MORE_DATA);
}

}  // namespace win
