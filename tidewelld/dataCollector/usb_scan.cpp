// The USB scan: every device of the vendor, hubs excepted, appended to a device list
// with its strings. Runs on one thread at a time (start-up, then the device-change thread
// under _lock); the state below is touched only here.
#include "dataCollector/usb_scan.h"

#include <algorithm>
#include <cstdlib>

#include "oslib/log.h"
#include "platform/backends.h"

namespace {

constexpr int kDeviceRefSlots = 128;
constexpr uint8_t kHubClass = 9;
constexpr uint16_t kStringRequestLength = 128;
constexpr uint16_t kLanguageEnglishUS = 0x0409;

// Devices that passed the last scan, held from that scan to the start of the next.
std::unique_ptr<platform::UsbDevice> _usbDeviceRef[kDeviceRefSlots];

// One string descriptor by a standard GET_DESCRIPTOR request; a failed request leaves
// it absent. False when the device left the request unanswered.
bool getUSBStringDescriptor(platform::UsbDeviceHandle* device, uint8_t index, char** string, uint16_t* length)
{
    uint8_t buffer[kStringRequestLength];
    int transferred = device->ControlIn(0x80, 6, static_cast<uint16_t>(0x0300 | index), kLanguageEnglishUS, buffer,
                                        sizeof buffer);
    decodeUSBStringDescriptor(buffer, sizeof buffer, transferred, string, length);
    return transferred != platform::kUsbNoAnswer;
}

// Fills the slot at deviceCount. The manufacturer and product are asked for whatever
// their index (index 0 answers the language table); the serial number only when it has
// one. A device that left a request unanswered, in this scan or in an earlier one of
// `unanswered`, is asked nothing more: its other strings are absent. The device is closed
// again before this returns.
void SetUSBDeviceInfo(platform::UsbDevice& device, const platform::UsbDeviceDescriptor& descriptor,
                      UsbDevicesInfo* list, UnansweredDevices& unanswered)
{
    const std::string location = device.Location();
    std::unique_ptr<platform::UsbDeviceHandle> handle;
    if (unanswered.count(location) == 0) {
        handle = device.Open();
        if (handle == nullptr) {
            return;
        }
    }
    auto ask = [&](uint8_t index, char** string, uint16_t* length) {
        *string = nullptr;
        *length = 0;
        if (handle != nullptr && !getUSBStringDescriptor(handle.get(), index, string, length)) {
            handle.reset();
            unanswered.insert(location);
        }
    };
    UsbDeviceInfo& slot = list->devices[list->deviceCount];
    ask(descriptor.manufacturerIndex, &slot.manufactureName, &slot.manufactureNameLen);
    ask(descriptor.productIndex, &slot.productName, &slot.productNameLen);
    slot.deviceRevision = descriptor.releaseNumber;
    slot.vendorId = descriptor.vendorId;
    slot.productId = descriptor.productId;
    slot.serialNumberLen = 0;
    slot.serialNumber = nullptr;
    if (descriptor.serialNumberIndex != 0) {
        ask(descriptor.serialNumberIndex, &slot.serialNumber, &slot.serialNumberLen);
    }
    ++list->deviceCount;
}

} // namespace

void decodeUSBStringDescriptor(const uint8_t* buffer, size_t capacity, int transferred, char** string,
                               uint16_t* length)
{
    *string = nullptr;
    *length = 0;
    if (transferred < 3) {
        return;
    }
    size_t characters = (std::min(static_cast<size_t>(transferred), capacity) - 1) / 2;
    char* text = static_cast<char*>(std::malloc(characters + 1));
    if (text == nullptr) {
        return;
    }
    for (size_t k = 0; k < characters; ++k) {
        text[k] = static_cast<char>(buffer[2 + 2 * k]);
    }
    text[characters] = '\0';
    *string = text;
    *length = static_cast<uint16_t>(characters);
}

int CheckUSBAudio(int vendorId, UsbDevicesInfo* list, UnansweredDevices& unanswered)
{
    // The previous scan's references go first: on Linux they keep its libusb context.
    for (std::unique_ptr<platform::UsbDevice>& reference : _usbDeviceRef) {
        reference.reset();
    }
    int count = 0;
    std::vector<std::unique_ptr<platform::UsbDevice>> devices = platform::Installed().usbBus->Devices();
    for (std::unique_ptr<platform::UsbDevice>& listed : devices) {
        // Released at the end of this step unless it is kept.
        std::unique_ptr<platform::UsbDevice> device = std::move(listed);
        platform::UsbDeviceDescriptor descriptor;
        if (!device->ReadDescriptor(descriptor)) {
            continue;
        }
        if (descriptor.vendorId != vendorId || descriptor.deviceClass == kHubClass) {
            continue;
        }
        ++count;
        if (list->deviceCount < kScanMaxDevices) {
            SetUSBDeviceInfo(*device, descriptor, list, unanswered);
        }
        // Past the table's end a device is counted, and its reference dropped at once.
        if (count <= kDeviceRefSlots) {
            _usbDeviceRef[count - 1] = std::move(device);
        }
    }
    return count;
}
