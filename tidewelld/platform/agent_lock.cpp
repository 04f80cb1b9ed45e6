#include "agent_lock.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "oslib/user_folders.h"

namespace platform {

namespace {

// The process id the holder wrote into the file; 0 when there is none yet.
pid_t ReadHolder(int fd)
{
    char text[24] = {};
    ssize_t n = pread(fd, text, sizeof text - 1, 0);
    return n > 0 ? static_cast<pid_t>(std::atol(text)) : 0;
}

// A lock that another process holds, or why it could not be tried.
AgentLock NotTaken(int fd, int error)
{
    if (error == EWOULDBLOCK) {
        return {AgentLock::State::kHeldElsewhere, ReadHolder(fd), 0};
    }
    return {AgentLock::State::kUnavailable, 0, error};
}

} // namespace

AgentLock LockForLifetime(const std::string& path)
{
    // Another user's file, or one with a second link, would let its owner hold the lock.
    struct stat info {};
    oslib::UniqueFd file = oslib::OpenRegularFile(path, O_RDWR | O_CREAT | O_NOFOLLOW, info, 0600, true);
    if (file.get() < 0) {
        return {AgentLock::State::kUnavailable, 0, errno};
    }
    // A probe holds the lock for microseconds; an agent holds it for good. Three tries 5 ms
    // apart tell them apart.
    for (int attempt = 1; flock(file.get(), LOCK_EX | LOCK_NB) != 0; ++attempt) {
        if (errno != EWOULDBLOCK || attempt == 3) {
            return NotTaken(file.get(), errno);
        }
        const timespec pause{0, 5000000};
        nanosleep(&pause, nullptr);
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

AgentLock ProbeAgentLock(const std::string& path)
{
    oslib::UniqueFd file(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0) {
        // No file: no agent has run since the folder was made.
        return errno == ENOENT ? AgentLock{AgentLock::State::kFree, 0, 0} : AgentLock{AgentLock::State::kUnavailable, 0, errno};
    }
    if (flock(file.get(), LOCK_SH | LOCK_NB) != 0) {
        return NotTaken(file.get(), errno);
    }
    flock(file.get(), LOCK_UN);
    return {AgentLock::State::kFree, 0, 0};
}

} // namespace platform
