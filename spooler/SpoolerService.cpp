// Stopping, starting and restarting a service through the service control manager, and the restart
// of the print spooler with the running services that depend on it.
#include <string>
#include <vector>

#include "core/WideText.h"
#include "platform/handles.h"
#include "spooler/SpoolerCommon.h"

namespace txr {

using namespace spooler;

namespace {

constexpr char16_t kSpooler[] = u"Spooler";

// Queries the service until it reads `wanted`, a query fails, or the phase's time is up (then the
// last error is ERROR_SERVICE_REQUEST_TIMEOUT). Returns whether the last state read is `wanted`.
bool WaitForState(win::SC_HANDLE service, win::DWORD wanted)
{
    win::SERVICE_STATUS status{};
    for (std::uint32_t waited = 0;; waited += kServicePollPauseMs) {
        if (!win::QueryServiceStatus(service, &status)) return false;
        if (status.dwCurrentState == wanted) return true;
        if (waited >= kServicePhaseLimitMs) {
            win::SetLastError(win::ERROR_SERVICE_REQUEST_TIMEOUT);
            return false;
        }
        win::Sleep(kServicePollPauseMs);
    }
}

bool ReadState(win::SC_HANDLE service, win::DWORD& state)
{
    win::SERVICE_STATUS status{};
    if (!win::QueryServiceStatus(service, &status)) return false;
    state = status.dwCurrentState;
    return true;
}

const char16_t* FailedText(ServiceAction action)
{
    switch (action) {
    case ServiceAction::Stop: return u"Stop FAILED";
    case ServiceAction::Start: return u"Start FAILED";
    case ServiceAction::Restart: return u"Restart FAILED";
    }
    return u" undefined action- FAILED";
}

// The manager and one service, both with all access; the owners close them on every path.
struct OpenService {
    win::unique_service manager;
    win::unique_service service;
    bool Open(const char16_t* name)
    {
        manager.reset(win::OpenSCManagerW(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS));
        if (!manager) return false;
        service.reset(win::OpenServiceW(manager.get(), name, win::SERVICE_ALL_ACCESS));
        return static_cast<bool>(service);
    }
};

}  // namespace

std::int32_t ControlWindowsService(const char16_t* serviceName, ServiceAction action, std::uint32_t* errorCode)
{
    return Guarded(u"Windows service", errorCode, [&]() -> std::int32_t {
        OpenService sc;
        win::SERVICE_STATUS status{};
        bool ok = sc.Open(serviceName) && win::QueryServiceStatus(sc.service.get(), &status);
        if (ok) {
            const win::SC_HANDLE service = sc.service.get();
            // Why the service is not where the action wants it, when the state says so rather than
            // a failing call: the refused stop control's own code, else the state's.
            win::DWORD refusal = 0;
            // A service that already reads stop pending gets no stop control and no wait: the
            // phase after this one reads its state and decides.
            if ((action == ServiceAction::Stop || action == ServiceAction::Restart) &&
                status.dwCurrentState != win::SERVICE_STOPPED && status.dwCurrentState != win::SERVICE_STOP_PENDING) {
                win::SERVICE_STATUS after{};
                if (win::ControlService(service, win::SERVICE_CONTROL_STOP, &after))
                    ok = WaitForState(service, win::SERVICE_STOPPED);
                else
                    refusal = win::GetLastError();
            }
            if (ok && (action == ServiceAction::Start || action == ServiceAction::Restart)) {
                win::DWORD state = 0;
                ok = ReadState(service, state);
                if (ok && state != win::SERVICE_STOPPED) {
                    win::SetLastError(refusal ? refusal
                                              : state == win::SERVICE_RUNNING || state == win::SERVICE_START_PENDING
                                                    ? win::ERROR_SERVICE_ALREADY_RUNNING
                                                    : win::ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
                    ok = false;
                }
                ok = ok && win::StartServiceW(service, 0, nullptr) && WaitForState(service, win::SERVICE_RUNNING);
            } else if (ok && action != ServiceAction::Restart) {
                win::DWORD state = 0;
                ok = ReadState(service, state);
                if (ok && state != win::SERVICE_STOPPED) {
                    win::SetLastError(refusal ? refusal : win::ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
                    ok = false;
                }
            }
        }
        if (ok) {
            Store(errorCode, 0);
            return 1;
        }
        const win::DWORD code = win::GetLastError();
        Store(errorCode, code);
        std::u16string text = ErrorCodeToText(code) + u"\n" + std::u16string(View(serviceName)) + u": " + FailedText(action);
        ShowErrorBoxText(u"Windows service", text);
        return 0;
    });
}

std::int32_t GetDependentServices(DependentServiceList* list, std::uint32_t* errorCode)
{
    if (list) list->Reset();
    const auto failed = [&](std::u16string_view message) {
        if (list) list->Reset();
        ShowErrorBoxText(u"Dependent service", message);
        return 0;
    };
    try {
        OpenService sc;
        EnumBuffer services;
        EnumOutcome outcome = EnumOutcome::SecondFailed;
        if (sc.Open(kSpooler)) {
            outcome = EnumerateSizeFirst(
                [&](win::BYTE* buf, win::DWORD cb, win::DWORD* needed, win::DWORD* returned) {
                    return win::EnumDependentServicesW(sc.service.get(), win::SERVICE_ACTIVE,
                                                       reinterpret_cast<win::ENUM_SERVICE_STATUSW*>(buf), cb, needed,
                                                       returned);
                },
                services, win::ERROR_MORE_DATA);
        }
        if (outcome == EnumOutcome::Nothing) {
            Store(errorCode, 0);
            return 1;
        }
        if (outcome == EnumOutcome::Entries) {
            if (list) list->Adopt(std::move(services.storage), services.count);
            Store(errorCode, 0);
            return 1;
        }
        const win::DWORD code = win::GetLastError();
        Store(errorCode, code);
        return failed(ErrorCodeToText(code) + u"Find dependent services failed for: " + kSpooler);
    } catch (const Error& e) {
        Store(errorCode, win::GetLastError());
        return failed(e.Message());
    } catch (const std::exception& e) {
        Store(errorCode, win::GetLastError());
        return failed(txt::from_utf8(e.what()));
    } catch (...) {
        Store(errorCode, win::GetLastError());
        return failed(u"catch(...)");
    }
}

std::int32_t RestartSpooler(std::uint32_t* errorCode)
{
    std::uint32_t error = 0;
    DependentServiceList dependents;
    std::vector<bool> stopped;
    int stillStopped = 0;
    if (GetDependentServices(&dependents, &error) && dependents.Count() > 0) {
        stopped.assign(dependents.Count(), false);
        for (std::uint32_t i = 0; i < dependents.Count(); ++i) {
            const win::ENUM_SERVICE_STATUSW& s = dependents.Entries()[i];
            if (s.ServiceStatus.dwCurrentState != win::SERVICE_RUNNING) continue;
            if (ControlWindowsService(s.lpServiceName, ServiceAction::Stop, &error)) {
                stopped[i] = true;
                ++stillStopped;
            }
        }
    }
    const std::int32_t restarted = ControlWindowsService(kSpooler, ServiceAction::Restart, &error);
    for (std::size_t i = stopped.size(); stillStopped > 0 && i-- > 0;) {
        if (!stopped[i]) continue;
        if (ControlWindowsService(dependents.Entries()[i].lpServiceName, ServiceAction::Start, &error)) {
            stopped[i] = false;
            --stillStopped;
        }
    }
    Store(errorCode, stillStopped == 0 ? 0 : error);
    return restarted;
}

}  // namespace txr
