// Device changes from a libudev monitor on the subsystems "usb" and "sound", read on a
// thread of the watcher's own; an eventfd wakes the thread when it is told to stop.
#include "../device_watcher.h"

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
    void Run(const std::function<void()>& onChange)
    {
        pollfd fds[2] = {{udev_monitor_get_fd(monitor_), POLLIN, 0}, {stopFd_, POLLIN, 0}};
        for (;;) {
            if (poll(fds, 2, -1) < 0) {
                continue;
            }
            if (fds[1].revents != 0) {
                return;
            }
            udev_device* device = udev_monitor_receive_device(monitor_);
            if (device == nullptr) {
                continue;
            }
            const char* action = udev_device_get_action(device);
            bool change = action != nullptr && (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0);
            udev_device_unref(device);
            if (change) {
                onChange();
            }
        }
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
