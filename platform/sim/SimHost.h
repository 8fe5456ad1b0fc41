// What the simulated machine needs from the host it runs on, apart from plain files: a lock on a
// file that holds across the processes of the host, this process's id, and whether another process
// still lives. Linux gives flock and kill(pid, 0); the rehearsal build (mingw) gives LockFileEx and
// OpenProcess.
#pragma once

#include <cstdint>
#include <filesystem>

namespace sim::host {

// An exclusive lock on a file (created when missing), held until the object goes away. A lock
// that cannot be taken (a file system without locks) is not taken: the sim then behaves as it did
// for one process alone.
class FileLock {
public:
    explicit FileLock(const std::filesystem::path& file);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    std::intptr_t handle_;
};

std::uint32_t process_id();
bool process_alive(std::uint32_t pid);

}  // namespace sim::host
