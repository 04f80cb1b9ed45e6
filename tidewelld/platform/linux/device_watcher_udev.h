// The libudev watcher, given the two calls its thread makes to the system: a test passes
// its own to drive the errors of a real monitor (an overflowing kernel queue, a failing
// poll) that it cannot bring about.
#pragma once

#include <functional>
#include <libudev.h>
#include <poll.h>

#include "../device_watcher.h"

namespace platform {

struct UdevWatcherCalls {
    std::function<int(pollfd* fds, nfds_t count, int timeoutMs)> poll = ::poll;
    // Null with errno set when nothing more can be read (EAGAIN: the queue is empty).
    std::function<udev_device*(udev_monitor* monitor)> receive = udev_monitor_receive_device;
};

std::unique_ptr<DeviceWatcher> MakeUdevDeviceWatcher(UdevWatcherCalls calls);

} // namespace platform
