// The bus the scans walk, replaceable by tests.
#include "platform/usb_bus.h"

namespace platform {

namespace {

std::unique_ptr<UsbBus>& InstalledBus()
{
    static std::unique_ptr<UsbBus> bus;
    return bus;
}

} // namespace

UsbBus& CurrentUsbBus()
{
    if (InstalledBus() == nullptr) {
        InstalledBus() = MakeSystemUsbBus();
    }
    return *InstalledBus();
}

std::unique_ptr<UsbBus> InstallUsbBus(std::unique_ptr<UsbBus> bus)
{
    std::unique_ptr<UsbBus> previous = std::move(InstalledBus());
    InstalledBus() = std::move(bus);
    return previous;
}

} // namespace platform
