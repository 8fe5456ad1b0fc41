// Mutexes of the simulated machine. A named mutex is shared by the machine's processes: its name,
// the ids of the processes that hold handles to it and the one that owns it are kept in the
// machine folder (objects.json) under the state's file lock. A holder whose process has ended
// counts no more, so the mutex of a process that died goes with it; when others still hold it, its
// ownership is given up (abandoned), as Windows does when the owning thread ends.
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "platform/sim/SimHost.h"
#include "platform/sim/SimMachine.h"
#include "platform/sim/SimObjects.h"
#include "platform/utf.h"
#include "platform/win/errors.h"
#include "platform/win/sync.h"

namespace sim {

namespace {

// A mutex as this process knows it: its name (empty for one of no name) and which of its threads
// owns it how many times.
struct MutexObject {
    std::string name;
    int handles = 0;
    std::thread::id owner;
    int ownedCount = 0;
};

struct MutexHandle {
    std::string key;  // into objects()
};

std::map<std::string, MutexObject>& objects()
{
    static std::map<std::string, MutexObject> o;
    return o;
}

std::map<win::HANDLE, MutexHandle>& mutex_handles()
{
    static std::map<win::HANDLE, MutexHandle> h;
    return h;
}

json read_objects(Machine& m)
{
    std::error_code ec;
    if (!std::filesystem::exists(m.objects_file(), ec)) return json::object();
    std::ifstream in(m.objects_file(), std::ios::binary);
    json j = json::parse(in, nullptr, /*allow_exceptions=*/false);
    return j.is_object() ? j : json::object();
}

// Holders of a mutex whose process has ended count no more; an owner that ended abandons it.
void forget_ended_processes(json& mutexes)
{
    for (auto it = mutexes.begin(); it != mutexes.end();) {
        json& holders = (*it)["holders"];
        for (auto h = holders.begin(); h != holders.end();) {
            if (!host::process_alive(static_cast<std::uint32_t>(std::stoul(h.key())))) h = holders.erase(h);
            else ++h;
        }
        const std::uint32_t owner = (*it).value("owner", 0u);
        if (owner && !host::process_alive(owner)) {
            (*it)["owner"] = 0;
            (*it)["abandoned"] = true;
        }
        if (holders.empty()) it = mutexes.erase(it);
        else ++it;
    }
}

// Reads, changes and writes back the machine's named mutexes, under the state's file lock.
template <typename F>
void with_named_mutexes(F change)
{
    auto& m = Machine::get();
    m.with_file_lock([&] {
        json all = read_objects(m);
        json& mutexes = all["mutexes"];
        if (!mutexes.is_object()) mutexes = json::object();
        forget_ended_processes(mutexes);
        change(mutexes);
        write_file_atomically(m.objects_file(), all.dump(2) + "\n");
    });
}

std::string pid_key() { return std::to_string(host::process_id()); }

}  // namespace

bool close_mutex_object(win::HANDLE h)
{
    auto l = lock();
    auto it = mutex_handles().find(h);
    if (it == mutex_handles().end()) return false;
    const std::string key = it->second.key;
    mutex_handles().erase(it);
    Machine::get().close_handle(h, "mutex");
    MutexObject& object = objects()[key];
    if (--object.handles > 0) return true;
    const std::string name = object.name;
    const bool owned = object.ownedCount > 0;
    objects().erase(key);
    if (name.empty()) return true;
    try {
        with_named_mutexes([&](json& mutexes) {
            if (!mutexes.contains(name)) return;
            json& entry = mutexes[name];
            entry["holders"].erase(pid_key());
            // This process's last handle went while one of its threads owned it: abandoned.
            if (owned && entry.value("owner", 0u) == host::process_id()) {
                entry["owner"] = 0;
                entry["abandoned"] = true;
            }
            if (entry["holders"].empty()) mutexes.erase(name);
        });
    } catch (const std::exception&) {
        // The handle is closed in any case; a holder left behind is forgotten when it is looked at
        // after this process ended.
    }
    return true;
}

}  // namespace sim

namespace win {

HANDLE CreateMutexW(SECURITY_ATTRIBUTES*, BOOL initialOwner, LPCWSTR name)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (auto e = m.fault("CreateMutexW")) {
        SetLastError(*e);
        return nullptr;
    }
    // Kernel object names are compared with regard to case, unlike file names.
    const std::string named = name ? txt::to_utf8(name) : std::string();
    bool existed = false;
    if (!named.empty()) {
        try {
            sim::with_named_mutexes([&](sim::json& mutexes) {
                existed = mutexes.contains(named);
                sim::json& entry = mutexes[named];
                if (!existed) entry = {{"holders", sim::json::object()}, {"owner", 0}};
                entry["holders"][sim::pid_key()] = entry["holders"].value(sim::pid_key(), 0) + 1;
                if (!existed && initialOwner) entry["owner"] = sim::host::process_id();
            });
        } catch (const std::exception&) {
            SetLastError(ERROR_GEN_FAILURE);
            return nullptr;
        }
    }
    HANDLE h = m.open_handle("mutex", "CreateMutexW");
    // A mutex of no name is an object of its own for each call.
    const std::string key = named.empty() ? "#" + std::to_string(reinterpret_cast<std::uintptr_t>(h)) : named;
    sim::MutexObject& object = sim::objects()[key];
    object.name = named;
    ++object.handles;
    if (!existed && initialOwner) {
        object.owner = std::this_thread::get_id();
        object.ownedCount = 1;
    }
    sim::mutex_handles()[h] = sim::MutexHandle{key};
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return h;
}

BOOL ReleaseMutex(HANDLE mutex)
{
    auto l = sim::lock();
    auto it = sim::mutex_handles().find(mutex);
    if (it == sim::mutex_handles().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    sim::MutexObject& object = sim::objects()[it->second.key];
    if (object.ownedCount == 0 || object.owner != std::this_thread::get_id()) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    if (--object.ownedCount == 0) {
        object.owner = {};
        if (!object.name.empty()) {
            try {
                sim::with_named_mutexes([&](sim::json& mutexes) {
                    if (mutexes.contains(object.name)) mutexes[object.name]["owner"] = 0;
                });
            } catch (const std::exception&) {
            }
        }
    }
    return TRUE;
}

}  // namespace win
