// The host's file lock and process ids for the simulated machine (see SimHost.h).
#include "platform/sim/SimHost.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace sim::host {

#ifdef _WIN32

FileLock::FileLock(const std::filesystem::path& file)
{
    HANDLE h = ::CreateFileW(file.wstring().c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        OVERLAPPED at{};
        if (!::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) {
            ::CloseHandle(h);
            h = INVALID_HANDLE_VALUE;
        }
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
}

FileLock::~FileLock()
{
    HANDLE h = reinterpret_cast<HANDLE>(handle_);
    if (h == INVALID_HANDLE_VALUE) return;
    OVERLAPPED at{};
    ::UnlockFileEx(h, 0, 1, 0, &at);
    ::CloseHandle(h);
}

std::uint32_t process_id() { return ::GetCurrentProcessId(); }

bool process_alive(std::uint32_t pid)
{
    if (pid == process_id()) return true;
    HANDLE p = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!p) return ::GetLastError() == ERROR_ACCESS_DENIED;
    const bool alive = ::WaitForSingleObject(p, 0) == WAIT_TIMEOUT;
    ::CloseHandle(p);
    return alive;
}

#else

FileLock::FileLock(const std::filesystem::path& file)
{
    int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        int r;
        do r = ::flock(fd, LOCK_EX);
        while (r != 0 && errno == EINTR);
        if (r != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    handle_ = fd;
}

FileLock::~FileLock()
{
    if (handle_ < 0) return;
    ::flock(static_cast<int>(handle_), LOCK_UN);
    ::close(static_cast<int>(handle_));
}

std::uint32_t process_id() { return static_cast<std::uint32_t>(::getpid()); }

bool process_alive(std::uint32_t pid)
{
    if (pid == 0) return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

#endif

}  // namespace sim::host
