// Device changes from a libudev monitor on the subsystems "usb" and "sound", read on a
// thread of the watcher's own; an eventfd wakes the thread when it is told to stop.
#include "device_watcher_udev.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

#include "oslib/descriptors.h"
#include "oslib/system_log.h"

namespace platform {

namespace {

// How long a failed monitor waits before it is replaced: a lasting failure must not spin.
constexpr int kRetryPauseMs = 1000;

// A receiving monitor on the two subsystems; null when none can be made.
udev_monitor* NewMonitor(udev* context)
{
    udev_monitor* monitor = udev_monitor_new_from_netlink(context, "udev");
    if (monitor != nullptr && (udev_monitor_filter_add_match_subsystem_devtype(monitor, "usb", nullptr) < 0 ||
                               udev_monitor_filter_add_match_subsystem_devtype(monitor, "sound", nullptr) < 0 ||
                               udev_monitor_enable_receiving(monitor) < 0)) {
        udev_monitor_unref(monitor);
        return nullptr;
    }
    return monitor;
}

// A line of the watcher's own; dropped when it cannot be made (no memory) rather than end
// the thread.
void LogLine(const char* what, const char* detail) noexcept
{
    try {
        oslib::SystemLog("device change watcher: %s: %s", what, detail);
    } catch (...) {
    }
}

class UdevDeviceWatcher final : public DeviceWatcher {
public:
    explicit UdevDeviceWatcher(UdevWatcherCalls calls) : calls_(std::move(calls)) {}
    ~UdevDeviceWatcher() override { Stop(); }

    // Uevents queue in the monitor's socket from here on until the thread reads them.
    bool Listen() override
    {
        if (monitor_ != nullptr) {
            return true;
        }
        udev_ = udev_new();
        if (udev_ == nullptr) {
            return false;
        }
        monitor_ = NewMonitor(udev_);
        stopFd_.reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
        if (monitor_ == nullptr || stopFd_.get() < 0) {
            Release();
            return false;
        }
        return true;
    }

    bool Start(std::function<void()> onChange) override
    {
        if (thread_.joinable() || !Listen()) {
            return false;
        }
        thread_ = std::thread([this, onChange = std::move(onChange)] { Run(onChange); });
        return true;
    }

    void Stop() override
    {
        if (thread_.joinable()) {
            uint64_t one = 1;
            ssize_t ignored = write(stopFd_.get(), &one, sizeof one);
            (void)ignored;
            thread_.join();
        }
        Release();
    }

private:
    enum class Outcome { kNothing, kChange, kTimedOut, kStop };

    // One plug brings a burst of uevents (the device, its interfaces, the sound card and
    // its nodes), and each rescan costs control requests to every vendor device: a burst
    // is answered by one call once the bus has been quiet for a moment.
    void Run(const std::function<void()>& onChange)
    {
        using Clock = std::chrono::steady_clock;
        constexpr auto kQuietSpell = std::chrono::milliseconds(150);
        constexpr auto kLongestWait = std::chrono::seconds(1);
        for (;;) {
            Outcome outcome = Collect(-1);
            if (outcome == Outcome::kStop) {
                return;
            }
            if (outcome != Outcome::kChange) {
                continue;
            }
            const Clock::time_point last = Clock::now() + kLongestWait;
            for (;;) {
                auto left = std::min<Clock::duration>(kQuietSpell, last - Clock::now());
                int timeout = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
                if (timeout <= 0) {
                    break;
                }
                outcome = Collect(timeout);
                if (outcome == Outcome::kStop) {
                    return;
                }
                if (outcome == Outcome::kTimedOut) {
                    break;
                }
            }
            Notify(onChange);
        }
    }

    // A rescan that throws is logged; the thread goes on to the next change.
    static void Notify(const std::function<void()>& onChange)
    {
        try {
            onChange();
        } catch (const std::exception& error) {
            LogLine("rescan failed", error.what());
        } catch (...) {
            LogLine("rescan failed", "unknown exception");
        }
    }

    // Waits up to timeoutMs (-1: without limit) for the monitor, then reads what it queued.
    Outcome Collect(int timeoutMs)
    {
        if (monitor_ == nullptr) {
            return Replace();
        }
        pollfd fds[2] = {{udev_monitor_get_fd(monitor_), POLLIN, 0}, {stopFd_.get(), POLLIN, 0}};
        int ready = calls_.poll(fds, 2, timeoutMs);
        if (ready < 0) {
            return errno == EINTR ? Outcome::kNothing : Fail("poll");
        }
        if (fds[1].revents != 0) {
            return Outcome::kStop;
        }
        return ready == 0 ? Outcome::kTimedOut : Receive();
    }

    // Reads every queued uevent. A change when one adds or removes a device, or when the
    // kernel's queue overflowed (ENOBUFS): the uevents it dropped may have.
    Outcome Receive()
    {
        bool change = false;
        for (;;) {
            errno = 0;
            udev_device* device = calls_.receive(monitor_);
            if (device != nullptr) {
                const char* action = udev_device_get_action(device);
                change = change || (action != nullptr &&
                                    (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0));
                udev_device_unref(device);
            } else if (errno == ENOBUFS) {
                change = true;
            } else if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                break;
            } else {
                Outcome outcome = Fail("receive");
                return change && outcome == Outcome::kNothing ? Outcome::kChange : outcome;
            }
        }
        failing_ = false;
        return change ? Outcome::kChange : Outcome::kNothing;
    }

    // Every failure counts as a change once a monitor works again: the uevents queued in
    // the failed one are gone unread, whether or not an earlier failure of the run was
    // already answered by a rescan. Only the first of a run is logged.
    Outcome Fail(const char* call)
    {
        if (!failing_) {
            LogLine(call, std::strerror(errno));
            failing_ = true;
        }
        lostChange_ = true;
        return Replace();
    }

    // A new monitor in place of the failed one, after a pause in which a stop is still seen.
    Outcome Replace()
    {
        pollfd stop = {stopFd_.get(), POLLIN, 0};
        int ready = calls_.poll(&stop, 1, kRetryPauseMs);
        if (ready > 0) {
            return Outcome::kStop;
        }
        if (ready < 0) {
            // A failing poll must not spin either.
            std::this_thread::sleep_for(std::chrono::milliseconds(kRetryPauseMs));
        }
        udev_monitor* replacement = NewMonitor(udev_);
        udev_monitor_unref(monitor_);
        monitor_ = replacement;
        if (monitor_ == nullptr || !lostChange_) {
            return Outcome::kNothing;
        }
        lostChange_ = false;
        return Outcome::kChange;
    }

    void Release()
    {
        if (monitor_ != nullptr) {
            udev_monitor_unref(monitor_);
            monitor_ = nullptr;
        }
        if (udev_ != nullptr) {
            udev_unref(udev_);
            udev_ = nullptr;
        }
        stopFd_.reset();
    }

    UdevWatcherCalls calls_;
    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    oslib::UniqueFd stopFd_;
    bool failing_ = false;     // a failure was logged, and no read has succeeded since
    bool lostChange_ = false;  // a failure may have hidden a change not yet reported
    std::thread thread_;
};

} // namespace

std::unique_ptr<DeviceWatcher> MakeUdevDeviceWatcher(UdevWatcherCalls calls)
{
    return std::make_unique<UdevDeviceWatcher>(std::move(calls));
}

std::unique_ptr<DeviceWatcher> MakeSystemDeviceWatcher() { return MakeUdevDeviceWatcher({}); }

} // namespace platform
