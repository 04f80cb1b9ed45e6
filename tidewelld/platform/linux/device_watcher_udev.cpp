// Device changes from a libudev monitor on the subsystems "usb" and "sound", read on a
// thread of the watcher's own; an eventfd wakes the thread when it is told to stop.
#include "../device_watcher.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

namespace platform {

namespace {

class UdevDeviceWatcher final : public DeviceWatcher {
public:
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
        monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
        stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (monitor_ == nullptr || stopFd_ < 0 ||
            udev_monitor_filter_add_match_subsystem_devtype(monitor_, "usb", nullptr) < 0 ||
            udev_monitor_filter_add_match_subsystem_devtype(monitor_, "sound", nullptr) < 0 ||
            udev_monitor_enable_receiving(monitor_) < 0) {
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
            ssize_t ignored = write(stopFd_, &one, sizeof one);
            (void)ignored;
            thread_.join();
        }
        Release();
    }

private:
    // One plug brings a burst of uevents (the device, its interfaces, the sound card and
    // its nodes), and each rescan costs control requests to every vendor device: a burst
    // is answered by one call once the bus has been quiet for a moment.
    void Run(const std::function<void()>& onChange)
    {
        using Clock = std::chrono::steady_clock;
        constexpr auto kQuietSpell = std::chrono::milliseconds(150);
        constexpr auto kLongestWait = std::chrono::seconds(1);
        for (;;) {
            if (WaitForEvent(-1) < 0) {
                return;
            }
            if (!ReceiveChanges()) {
                continue;
            }
            const Clock::time_point last = Clock::now() + kLongestWait;
            for (;;) {
                auto left = std::min<Clock::duration>(kQuietSpell, last - Clock::now());
                int timeout = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
                if (timeout <= 0) {
                    break;
                }
                int ready = WaitForEvent(timeout);
                if (ready < 0) {
                    return;
                }
                if (ready == 0) {
                    break;
                }
                ReceiveChanges();
            }
            onChange();
        }
    }

    // 1 once the monitor has something to read, 0 after timeoutMs (-1: none), -1 when
    // the thread is told to stop.
    int WaitForEvent(int timeoutMs)
    {
        pollfd fds[2] = {{udev_monitor_get_fd(monitor_), POLLIN, 0}, {stopFd_, POLLIN, 0}};
        for (;;) {
            int ready = poll(fds, 2, timeoutMs);
            if (ready < 0) {
                continue;
            }
            if (fds[1].revents != 0) {
                return -1;
            }
            return ready > 0 ? 1 : 0;
        }
    }

    // Reads every queued uevent; true when one of them adds or removes a device.
    bool ReceiveChanges()
    {
        bool change = false;
        while (udev_device* device = udev_monitor_receive_device(monitor_)) {
            const char* action = udev_device_get_action(device);
            change = change ||
                     (action != nullptr && (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0));
            udev_device_unref(device);
        }
        return change;
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
        if (stopFd_ >= 0) {
            close(stopFd_);
            stopFd_ = -1;
        }
    }

    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    int stopFd_ = -1;
    std::thread thread_;
};

} // namespace

std::unique_ptr<DeviceWatcher> MakeDeviceWatcher() { return std::make_unique<UdevDeviceWatcher>(); }

} // namespace platform
