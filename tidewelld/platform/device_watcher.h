// Notification of changes to the set of connected devices (the audio-device listener on
// macOS, a udev monitor on Linux).
#pragma once

#include <functional>
#include <memory>

namespace platform {

class DeviceWatcher {
public:
    virtual ~DeviceWatcher() = default;
    // Begins collecting changes without reporting them yet, so that a device plugged in
    // while the caller takes its first look is reported once Start runs. Start listens
    // by itself when this was not called.
    virtual bool Listen() = 0;
    // Calls onChange on a thread of the watcher's own for every device added or removed,
    // those collected since Listen included. The calling thread's signal mask is
    // inherited by that thread.
    virtual bool Start(std::function<void()> onChange) = 0;
    // Returns once the thread has ended; no callback runs after it. Idempotent.
    virtual void Stop() = 0;
};

// The system's watcher.
std::unique_ptr<DeviceWatcher> MakeSystemDeviceWatcher();

} // namespace platform
