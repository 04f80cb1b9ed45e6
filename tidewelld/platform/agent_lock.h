// One agent per user: an flock on a file in the user's folder. The kernel lets go of it
// when the holder ends, however it ends; the file tells a second agent who holds it.
#pragma once

#include <string>
#include <sys/types.h>

namespace platform {

// The lock's file in the support folder.
inline constexpr const char* kAgentLockFile = "tidewelld.lock";

struct AgentLock {
    enum class State {
        kHeld,          // by this process, for the rest of its life
        kHeldElsewhere, // by `holder`
        kUnavailable,   // the file cannot be opened or locked (`error`)
        kFree,          // held by nobody (ProbeAgentLock)
    };
    State state;
    pid_t holder;  // kHeldElsewhere: 0 while the holder has not yet written its id
    int error;
};

// Takes the lock on `path` without waiting and writes this process's id into the file. The
// file must be a regular file of the user with one link (oslib::OpenRegularFile): a file
// that fails is not locked, and kUnavailable says so with EPERM.
// Once held, the descriptor stays open (and is not inherited by children) until the process ends.
AgentLock LockForLifetime(const std::string& path);

// Whether an agent holds the lock on `path`, for a reader that must change nothing: the file
// is not created, and the lock is tried shared and let go of at once. An agent that starts in
// that instant tries again (LockForLifetime) rather than take the reader for another agent.
AgentLock ProbeAgentLock(const std::string& path);

} // namespace platform
