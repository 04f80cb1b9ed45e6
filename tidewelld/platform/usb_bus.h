// The USB bus as the device scan needs it (I/O Kit on macOS, libusb on Linux): devices in
// a stable order, their device descriptor fields, and raw control requests on the default
// pipe. Objects are used by one thread at a time (the scan runs under _lock).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

struct UsbDeviceDescriptor {
    uint8_t deviceClass = 0;
    uint8_t deviceSubClass = 0;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t releaseNumber = 0;  // bcdDevice
    uint8_t manufacturerIndex = 0;
    uint8_t productIndex = 0;
    uint8_t serialNumberIndex = 0;
};

// ControlIn's result for a request the device left unanswered within the time-out, or
// one given up because the agent is stopping: a device that hangs on one request is not
// worth the next one's time-out.
constexpr int kUsbNoAnswer = -2;

// A device opened for control requests; closed when destroyed.
class UsbDeviceHandle {
public:
    virtual ~UsbDeviceHandle() = default;
    // A control request with a device-to-host data stage of at most `length` bytes into
    // `data`. Returns the number of bytes transferred, kUsbNoAnswer, or -1 when the request
    // failed otherwise (a stall included). Once a stop is requested (StopRequested), no
    // request waits any more.
    virtual int ControlIn(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index, uint8_t* data,
                          uint16_t length) = 0;
};

// A reference to one device, held until destroyed. Reading the descriptor needs no open
// device.
class UsbDevice {
public:
    virtual ~UsbDevice() = default;
    virtual bool ReadDescriptor(UsbDeviceDescriptor& descriptor) = 0;
    // Where the device is plugged in; the same for every listing while it stays there.
    virtual std::string Location() const = 0;
    // Null when the device cannot be reached at all.
    virtual std::unique_ptr<UsbDeviceHandle> Open() = 0;
};

class UsbBus {
public:
    virtual ~UsbBus() = default;
    // Every device now attached, ordered by bus number, then port path.
    virtual std::vector<std::unique_ptr<UsbDevice>> Devices() = 0;
};

// The system's bus.
std::unique_ptr<UsbBus> MakeSystemUsbBus();

} // namespace platform
