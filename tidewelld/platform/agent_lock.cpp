#include "agent_lock.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "oslib/user_folders.h"

namespace platform {

AgentLock LockForLifetime(const std::string& path)
{
    // Another user's file, or one with a second link, would let its owner hold the lock.
    struct stat info {};
    oslib::UniqueFd file = oslib::OpenRegularFile(path, O_RDWR | O_CREAT | O_NOFOLLOW, info, 0600, true);
    if (file.get() < 0) {
        return {AgentLock::State::kUnavailable, 0, errno};
    }
    if (flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
        AgentLock lock{AgentLock::State::kUnavailable, 0, errno};
        if (lock.error == EWOULDBLOCK) {
            char text[24] = {};
            ssize_t n = pread(file.get(), text, sizeof text - 1, 0);
            lock = {AgentLock::State::kHeldElsewhere, n > 0 ? static_cast<pid_t>(std::atol(text)) : 0, 0};
        }
        return lock;
    }
    char text[24];
    int length = std::snprintf(text, sizeof text, "%ld\n", static_cast<long>(getpid()));
    // A pid that cannot be written only leaves a second agent unable to name this one.
    bool written = ftruncate(file.get(), 0) == 0 && pwrite(file.get(), text, static_cast<size_t>(length), 0) == length;
    (void)written;
    // Open for the rest of the process's life: closing it would let go of the lock.
    file.release();
    return {AgentLock::State::kHeld, getpid(), 0};
}

} // namespace platform
