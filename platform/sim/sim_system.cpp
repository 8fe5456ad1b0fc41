// Environment, pauses, clock and bitness of the simulated machine.
#include <cstring>

#include "platform/sim/SimMachine.h"
#include "platform/utf.h"
#include "platform/win/errors.h"
#include "platform/win/system.h"

namespace win {

DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size)
{
    auto l = sim::lock();
    auto& m = sim::Machine::get();
    if (auto e = m.fault("GetEnvironmentVariableW")) {
        SetLastError(*e);
        return 0;
    }
    const std::u16string want = name ? std::u16string(name) : std::u16string();
    const auto& env = m.state()["environment"];
    for (auto it = env.begin(); it != env.end(); ++it) {
        if (!txt::iequals(txt::from_utf8(it.key()), want)) continue;
        const std::u16string value = txt::from_utf8(it.value().get<std::string>());
        const auto n = static_cast<DWORD>(value.size());
        if (!buffer || size <= n) return n + 1;  // size needed, including the terminator
        std::memcpy(buffer, value.c_str(), (value.size() + 1) * sizeof(char16_t));
        if (n == 0) SetLastError(ERROR_SUCCESS);
        return n;
    }
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    return 0;
}

void Sleep(DWORD milliseconds)
{
    auto& m = sim::Machine::get();
    m.event({{"type", "pause"}, {"ms", milliseconds}});
    m.sleep_ms(milliseconds);
}

ULONGLONG GetTickCount64() { return sim::Machine::get().now_ms(); }

HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)); }

BOOL IsWow64Process(HANDLE process, BOOL* wow64)
{
    auto l = sim::lock();
    if (process != GetCurrentProcess() || !wow64) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto& s = sim::Machine::get().state();
    const int osBits = s.value("/windows/bits"_json_pointer, 64);
    const int procBits = s.value("/process/bits"_json_pointer, 64);
    *wow64 = (osBits == 64 && procBits == 32) ? TRUE : FALSE;
    return TRUE;
}

BOOL Is64BitProcess()
{
    auto l = sim::lock();
    return sim::Machine::get().state().value("/process/bits"_json_pointer, 64) == 64 ? TRUE : FALSE;
}

}  // namespace win
