// The signal loop's tick and its per-tick collector, with their counters.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>

#include "oslib/configuration.h"
#include "platform/backends.h"

// The periodic jobs that a tick runs; the defaults call the agent's operations.
struct TickJobs {
    std::function<bool(double)> downloadVariousList;
    std::function<bool()> downloadVariousListRetry;
    std::function<void()> resendSavedInfo;   // under _lock UpdateAppStatus, then SendSavedInfo
    std::function<void()> watchApplications; // snapshot and UpdateAppStatus under _lock, CollectAppInfo
    std::function<void()> notifyNoDevice;    // NotifyDeviceConnect(0)
};

TickJobs DefaultTickJobs();

class AgentLoop {
public:
    explicit AgentLoop(TickJobs jobs) : jobs_(std::move(jobs)) {}

    // One SIGALRM at time `now`. Returns false when the one-second guard skipped the work
    // (a second alarm within the same second, or the clock set back). Starts no further job
    // once a SIGTERM is pending.
    bool Tick(time_t now);

    void CollectCustomerInfo();

private:
    TickJobs jobs_;
    time_t lastDownloadedTime_ = 0;
    time_t t1_ = 0;
    uint32_t saveInfo_ = 0;
    uint32_t collectInfo_ = 0;
};

// Once per tick: saved-report resend, application watch, idle clearing.
void CollectCustomerInfo();

// Installs the configuration and the backends that `makeBackends` builds once the signals
// are blocked (a backend may start a thread), then start-up, the signal loop until SIGTERM,
// and shutdown. Returns the exit status.
int RunAgent(oslib::Configuration configuration, platform::Backends (*makeBackends)());
