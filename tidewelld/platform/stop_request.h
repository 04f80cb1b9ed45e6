// The stop request as long work sees it. The agent blocks SIGTERM in every thread and
// takes it with sigwait between ticks, so during a tick a SIGTERM waits as pending; once
// the loop has taken it, the loop makes it pending again for the other thread's work.
#pragma once

#include <csignal>

namespace platform {

// True while a SIGTERM is pending. Async-signal-safe; any thread.
inline bool StopRequested()
{
    sigset_t pending;
    return sigpending(&pending) == 0 && sigismember(&pending, SIGTERM) == 1;
}

} // namespace platform
