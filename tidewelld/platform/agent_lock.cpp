#include "agent_lock.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform {

AgentLock LockForLifetime(const std::string& path)
{
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        return {AgentLock::State::kUnavailable, 0, errno};
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        AgentLock lock{AgentLock::State::kUnavailable, 0, errno};
        if (lock.error == EWOULDBLOCK) {
            char text[24] = {};
            ssize_t n = pread(fd, text, sizeof text - 1, 0);
            lock = {AgentLock::State::kHeldElsewhere, n > 0 ? static_cast<pid_t>(std::atol(text)) : 0, 0};
        }
        close(fd);
        return lock;
    }
    char text[24];
    int length = std::snprintf(text, sizeof text, "%ld\n", static_cast<long>(getpid()));
    // A pid that cannot be written only leaves a second agent unable to name this one.
    bool written = ftruncate(fd, 0) == 0 && pwrite(fd, text, static_cast<size_t>(length), 0) == length;
    (void)written;
    return {AgentLock::State::kHeld, getpid(), 0};
}

} // namespace platform
