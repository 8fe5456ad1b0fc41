// One small RAII owner per handle kind. Move-only, get/reset/release like unique_ptr. Closing never
// disturbs the last error a caller is about to read: the owner saves and restores it around the
// close call.
#pragma once

#include <cstdlib>
#include <utility>

#include "platform/win32api.h"

namespace win {

template <typename T, T (*Invalid)(), void (*Close)(T)>
class unique_any {
public:
    unique_any() noexcept : value_(Invalid()) {}
    explicit unique_any(T value) noexcept : value_(value) {}
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    unique_any(unique_any&& other) noexcept : value_(other.release()) {}
    unique_any& operator=(unique_any&& other) noexcept
    {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~unique_any() { reset(); }

    T get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Invalid(); }
    // Address for functions that hand a handle back through an out-parameter; the owner must be
    // empty.
    T* put() noexcept
    {
        reset();
        return &value_;
    }
    T release() noexcept { return std::exchange(value_, Invalid()); }
    void reset(T value = Invalid()) noexcept
    {
        T old = std::exchange(value_, value);
        if (old != Invalid()) {
            const DWORD saved = GetLastError();
            Close(old);
            SetLastError(saved);
        }
    }

private:
    T value_;
};

namespace detail {
template <typename T> constexpr T null_value() { return T{}; }
inline HANDLE invalid_handle_value() { return INVALID_HANDLE_VALUE; }
inline void free_library(HMODULE m) { FreeLibrary(m); }
inline void free_resource(HGLOBAL g) { FreeResource(g); }
inline void local_free(LPWSTR p) { LocalFree(p); }
inline void crt_free(void* p) { std::free(p); }
inline void close_handle(HANDLE h) { CloseHandle(h); }
inline void find_close(HANDLE h) { FindClose(h); }
inline void free_cert_context(PCCERT_CONTEXT c) { CertFreeCertificateContext(c); }
inline void free_cert_chain(PCCERT_CHAIN_CONTEXT c) { CertFreeCertificateChain(c); }
inline void close_cert_store(HCERTSTORE s) { CertCloseStore(s, 0); }
}  // namespace detail

using unique_module = unique_any<HMODULE, detail::null_value<HMODULE>, detail::free_library>;
using unique_resource = unique_any<HGLOBAL, detail::null_value<HGLOBAL>, detail::free_resource>;
// Text allocated by FormatMessageW with FORMAT_MESSAGE_ALLOCATE_BUFFER.
using unique_local_text = unique_any<LPWSTR, detail::null_value<LPWSTR>, detail::local_free>;
// A file opened with CreateFileW ("no handle" is INVALID_HANDLE_VALUE).
using unique_file = unique_any<HANDLE, detail::invalid_handle_value, detail::close_handle>;
// A search started with FindFirstFileW.
using unique_find = unique_any<HANDLE, detail::invalid_handle_value, detail::find_close>;
// A kernel object whose "no handle" is null (process, thread).
using unique_handle = unique_any<HANDLE, detail::null_value<HANDLE>, detail::close_handle>;
// A certificate context (CryptGetSignerCertificateOfFile, CertFindCertificateByIssuerAndSerial).
using unique_cert_context = unique_any<PCCERT_CONTEXT, detail::null_value<PCCERT_CONTEXT>, detail::free_cert_context>;
// A chain built by CertGetLocalMachineCertificateChain; it owns its elements' certificates.
using unique_cert_chain = unique_any<PCCERT_CHAIN_CONTEXT, detail::null_value<PCCERT_CHAIN_CONTEXT>,
                                     detail::free_cert_chain>;
// A certificate store opened with CertOpenStore.
using unique_cert_store = unique_any<HCERTSTORE, detail::null_value<HCERTSTORE>, detail::close_cert_store>;

// The process and thread handles CreateProcessW hands back; both are closed on every path.
class unique_process_information {
public:
    unique_process_information() noexcept = default;
    unique_process_information(const unique_process_information&) = delete;
    unique_process_information& operator=(const unique_process_information&) = delete;
    ~unique_process_information() { reset(); }

    // Address for CreateProcessW; the owner must be empty.
    PROCESS_INFORMATION* put() noexcept
    {
        reset();
        return &info_;
    }
    const PROCESS_INFORMATION& get() const noexcept { return info_; }
    HANDLE process() const noexcept { return info_.hProcess; }
    explicit operator bool() const noexcept { return info_.hProcess != nullptr; }
    void reset() noexcept
    {
        unique_handle thread(std::exchange(info_.hThread, nullptr));
        unique_handle process(std::exchange(info_.hProcess, nullptr));
        info_.dwProcessId = 0;
        info_.dwThreadId = 0;
    }

private:
    PROCESS_INFORMATION info_{};
};

}  // namespace win
