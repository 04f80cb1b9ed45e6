// The stop request as long work sees it. The agent blocks SIGTERM in every thread and
// takes it with sigwait between ticks, so during a tick a SIGTERM waits as pending.
#pragma once

#include <csignal>

namespace platform {

// True while a SIGTERM waits to be taken. Async-signal-safe; any thread.
inline bool StopRequested()
{
    sigset_t pending;
    return sigpending(&pending) == 0 && sigismember(&pending, SIGTERM) == 1;
}

} // namespace platform
