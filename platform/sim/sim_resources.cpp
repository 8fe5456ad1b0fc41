// The program's module and resources in the sim: the resources are the bytes the build linked into
// the binary (embedded_resources()); handles are tracked so a missing release shows up in tests.
#include <cstring>
#include <map>

#include "platform/sim/SimMachine.h"
#include "platform/utf.h"
#include "platform/win/errors.h"
#include "platform/win/resources.h"

namespace win {

namespace {

const sim::EmbeddedResource* as_resource(HRSRC r) { return reinterpret_cast<const sim::EmbeddedResource*>(r); }

std::map<HANDLE, const sim::EmbeddedResource*>& loaded_resources()
{
    static std::map<HANDLE, const sim::EmbeddedResource*> m;
    return m;
}

}  // namespace

BOOL GetModuleHandleExW(DWORD flags, LPCWSTR moduleName, HMODULE* module)
{
    auto& m = sim::Machine::get();
    if (!module) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *module = nullptr;
    if (auto e = m.fault("GetModuleHandleExW")) {
        SetLastError(*e);
        return FALSE;
    }
    if (flags != 0 || moduleName != nullptr) {
        // The installer only ever asks for its own module.
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    *module = static_cast<HMODULE>(m.open_handle("module", "GetModuleHandleExW"));
    return TRUE;
}

BOOL FreeLibrary(HMODULE module)
{
    if (!sim::Machine::get().close_handle(module, "module")) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type)
{
    auto& m = sim::Machine::get();
    if (!m.is_open(module, "module")) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (auto e = m.fault("FindResourceW")) {
        SetLastError(*e);
        return nullptr;
    }
    if (!IS_INTRESOURCE(type)) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    const auto typeId = static_cast<std::uint16_t>(reinterpret_cast<ULONG_PTR>(type));
    bool typeSeen = false;
    for (const auto& r : sim::embedded_resources()) {
        if (r.type != typeId) continue;
        typeSeen = true;
        if (IS_INTRESOURCE(name)) {
            if (r.name == nullptr && r.id == static_cast<std::uint16_t>(reinterpret_cast<ULONG_PTR>(name)))
                return reinterpret_cast<HRSRC>(const_cast<sim::EmbeddedResource*>(&r));
        } else if (r.name && txt::iequals(r.name, name)) {
            // Resource names compare without regard to case.
            return reinterpret_cast<HRSRC>(const_cast<sim::EmbeddedResource*>(&r));
        }
    }
    SetLastError(typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (!resource || !m.is_open(module, "module")) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (auto e = m.fault("LoadResource")) {
        SetLastError(*e);
        return nullptr;
    }
    HANDLE h = m.open_handle("resource", "LoadResource");
    loaded_resources()[h] = as_resource(resource);
    return h;
}

DWORD SizeofResource(HMODULE module, HRSRC resource)
{
    auto& m = sim::Machine::get();
    if (!resource || !m.is_open(module, "module")) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (auto e = m.fault("SizeofResource")) {
        SetLastError(*e);
        return 0;
    }
    return static_cast<DWORD>(as_resource(resource)->size);
}

LPVOID LockResource(HGLOBAL loaded)
{
    auto l = sim::lock();
    auto it = loaded_resources().find(loaded);
    if (it == loaded_resources().end()) return nullptr;
    if (sim::Machine::get().fault("LockResource")) return nullptr;
    return const_cast<unsigned char*>(it->second->data);
}

BOOL FreeResource(HGLOBAL loaded)
{
    // Obsolete on Win32 (a no-op that answers FALSE); the sim still checks that it is called.
    auto l = sim::lock();
    if (sim::Machine::get().close_handle(loaded, "resource")) loaded_resources().erase(loaded);
    return FALSE;
}

}  // namespace win
