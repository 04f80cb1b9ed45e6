// The USB bus on libusb-1.0. Every enumeration gets a context of its own, which lives as
// long as the last device listed from it: a long-lived context would only learn of later
// devices through its hotplug monitor, and tests replace whole buses underneath it.
#include "../usb_bus.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iterator>
#include <libusb.h>
#include <string>
#include <tuple>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include "../stop_request.h"
#include "oslib/whole_file.h"

namespace platform {

namespace {

// A device that does not answer within this time fails the request; the scan runs under
// _lock and must not hang on it.
constexpr unsigned kControlTimeoutMs = 1000;
// How long a waiting request goes without looking for a stop request.
constexpr long kStopCheckMicroseconds = 100000;
// How long a request is waited for in all, its cancellation included: an event loop that
// keeps failing would otherwise never see it end, and spin under _lock.
constexpr auto kRequestDeadline = std::chrono::milliseconds(2 * kControlTimeoutMs);
constexpr int kMaxPortDepth = 7;

class LibusbContext {
public:
    static std::shared_ptr<LibusbContext> Create()
    {
        libusb_context* context = nullptr;
        if (libusb_init(&context) != 0) {
            return nullptr;
        }
        return std::shared_ptr<LibusbContext>(new LibusbContext(context));
    }
    ~LibusbContext() { libusb_exit(context_); }
    LibusbContext(const LibusbContext&) = delete;
    LibusbContext& operator=(const LibusbContext&) = delete;

    libusb_context* get() const { return context_; }

private:
    explicit LibusbContext(libusb_context* context) : context_(context) {}
    libusb_context* context_;
};

struct DeviceListDeleter {
    void operator()(libusb_device** list) const { libusb_free_device_list(list, 1); }
};

struct TransferDeleter {
    void operator()(libusb_transfer* transfer) const { libusb_free_transfer(transfer); }
};

void LIBUSB_CALL MarkCompleted(libusb_transfer* transfer) { *static_cast<int*>(transfer->user_data) = 1; }

// One control transfer and what libusb writes into while it is submitted.
struct ControlTransfer {
    explicit ControlTransfer(uint16_t length) : buffer(LIBUSB_CONTROL_SETUP_SIZE + length) {}

    std::unique_ptr<libusb_transfer, TransferDeleter> transfer{libusb_alloc_transfer(0)};
    std::vector<unsigned char> buffer;
    int completed = 0;
};

class LibusbHandle final : public UsbDeviceHandle {
public:
    LibusbHandle(libusb_device_handle* handle, std::shared_ptr<LibusbContext> context)
        : handle_(handle), context_(std::move(context))
    {
    }
    // Closing forgets the transfers given up on, which are then freed.
    ~LibusbHandle() override { libusb_close(handle_); }
    LibusbHandle(const LibusbHandle&) = delete;
    LibusbHandle& operator=(const LibusbHandle&) = delete;

    // libusb_control_transfer, but the wait looks for a stop request now and then: a device
    // that never answers would hold a stop for the whole time-out.
    int ControlIn(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index, uint8_t* data,
                  uint16_t length) override
    {
        if (StopRequested()) {
            return kUsbNoAnswer;
        }
        auto control = std::make_unique<ControlTransfer>(length);
        libusb_transfer* transfer = control->transfer.get();
        if (transfer == nullptr) {
            return -1;
        }
        libusb_fill_control_setup(control->buffer.data(), requestType, request, value, index, length);
        libusb_fill_control_transfer(transfer, handle_, control->buffer.data(), MarkCompleted, &control->completed,
                                     kControlTimeoutMs);
        if (libusb_submit_transfer(transfer) != 0) {
            return -1;
        }
        bool stopping = false;
        bool failed = false;
        // A submitted transfer belongs to libusb until its callback has run: cancelled
        // ones are waited for too, up to the deadline.
        const auto deadline = std::chrono::steady_clock::now() + kRequestDeadline;
        while (control->completed == 0) {
            if (std::chrono::steady_clock::now() >= deadline) {
                given_up_.push_back(std::move(control));
                return kUsbNoAnswer;
            }
            timeval slice{0, kStopCheckMicroseconds};
            int rc = libusb_handle_events_timeout_completed(context_->get(), &slice, &control->completed);
            if (control->completed == 0 && !stopping && !failed) {
                stopping = StopRequested();
                failed = rc < 0 && rc != LIBUSB_ERROR_INTERRUPTED;
                if (stopping || failed) {
                    libusb_cancel_transfer(transfer);
                }
            }
        }
        switch (transfer->status) {
        case LIBUSB_TRANSFER_COMPLETED:
            std::memcpy(data, libusb_control_transfer_get_data(transfer), transfer->actual_length);
            return transfer->actual_length;
        case LIBUSB_TRANSFER_TIMED_OUT:
            return kUsbNoAnswer;
        case LIBUSB_TRANSFER_CANCELLED:
            return stopping ? kUsbNoAnswer : -1;
        default:
            return -1;
        }
    }

private:
    libusb_device_handle* handle_;
    std::shared_ptr<LibusbContext> context_;  // outlives handle_
    std::vector<std::unique_ptr<ControlTransfer>> given_up_;  // still submitted; freed once handle_ is closed
};

// UTF-16 code units of UTF-8 text; a byte that starts no well-formed sequence (a lone
// surrogate's, an overlong or cut-off one) is one unit of its own (Latin-1).
std::u16string Utf16Units(const std::string& text)
{
    std::u16string units;
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(std::min<size_t>(text.size(), INT32_MAX));
    for (int32_t at = 0; at < length;) {
        const int32_t start = at;
        UChar32 c = 0;
        U8_NEXT(bytes, at, length, c);
        if (c < 0) {
            c = bytes[start];
            at = start + 1;
        }
        UChar unit[U16_MAX_LENGTH];
        int32_t count = 0;
        U16_APPEND_UNSAFE(unit, count, c);
        units.append(unit, static_cast<size_t>(count));
    }
    return units;
}

// Answers the string descriptor requests of a device that cannot be opened (a user
// without access to its node) from the strings the kernel read at enumeration and keeps
// as the sysfs attributes "manufacturer", "product" and "serial".
class SysfsStringHandle final : public UsbDeviceHandle {
public:
    SysfsStringHandle(std::string folder, const UsbDeviceDescriptor& descriptor)
        : folder_(std::move(folder)), descriptor_(descriptor)
    {
    }

    int ControlIn(uint8_t requestType, uint8_t request, uint16_t value, uint16_t, uint8_t* data,
                  uint16_t length) override
    {
        constexpr uint8_t kGetDescriptor = 6;
        constexpr uint8_t kStringType = 3;
        if (requestType != 0x80 || request != kGetDescriptor || (value >> 8) != kStringType) {
            return -1;
        }
        std::u16string units;
        uint8_t index = value & 0xFF;
        if (index == 0) {
            units.push_back(0x0409);  // the language table: English (United States)
        } else {
            const char* attribute = AttributeFor(index);
            std::string text;
            if (attribute == nullptr || !ReadAttribute(attribute, text)) {
                return -1;
            }
            units = Utf16Units(text);
        }
        uint8_t reply[254];  // the longest descriptor of whole units
        size_t size = std::min<size_t>(2 + 2 * units.size(), sizeof reply);
        reply[0] = static_cast<uint8_t>(size);
        reply[1] = kStringType;
        for (size_t k = 0; k < (size - 2) / 2; ++k) {
            reply[2 + 2 * k] = units[k] & 0xFF;
            reply[3 + 2 * k] = units[k] >> 8;
        }
        size = std::min<size_t>(size, length);
        std::memcpy(data, reply, size);
        return static_cast<int>(size);
    }

private:
    const char* AttributeFor(uint8_t index) const
    {
        if (index == descriptor_.manufacturerIndex) {
            return "manufacturer";
        }
        if (index == descriptor_.productIndex) {
            return "product";
        }
        if (index == descriptor_.serialNumberIndex) {
            return "serial";
        }
        return nullptr;
    }

    bool ReadAttribute(const char* name, std::string& text) const
    {
        std::string path = folder_;
        path.append("/").append(name);
        if (!oslib::ReadRegularFile(path, text)) {
            return false;
        }
        if (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        return true;
    }

    std::string folder_;
    UsbDeviceDescriptor descriptor_;
};

class LibusbDevice final : public UsbDevice {
public:
    LibusbDevice(libusb_device* device, std::shared_ptr<LibusbContext> context)
        : device_(libusb_ref_device(device)), context_(std::move(context))
    {
        uint8_t ports[kMaxPortDepth];
        int depth = libusb_get_port_numbers(device_, ports, kMaxPortDepth);
        ports_.assign(ports, ports + std::max(depth, 0));
    }
    ~LibusbDevice() override { libusb_unref_device(device_); }
    LibusbDevice(const LibusbDevice&) = delete;
    LibusbDevice& operator=(const LibusbDevice&) = delete;

    bool ReadDescriptor(UsbDeviceDescriptor& out) override
    {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(device_, &descriptor) != 0) {
            return false;
        }
        out.deviceClass = descriptor.bDeviceClass;
        out.deviceSubClass = descriptor.bDeviceSubClass;
        out.vendorId = descriptor.idVendor;
        out.productId = descriptor.idProduct;
        out.releaseNumber = descriptor.bcdDevice;
        out.manufacturerIndex = descriptor.iManufacturer;
        out.productIndex = descriptor.iProduct;
        out.serialNumberIndex = descriptor.iSerialNumber;
        return true;
    }

    std::unique_ptr<UsbDeviceHandle> Open() override
    {
        libusb_device_handle* handle = nullptr;
        if (libusb_open(device_, &handle) == 0) {
            return std::make_unique<LibusbHandle>(handle, context_);
        }
        UsbDeviceDescriptor descriptor;
        if (!ReadDescriptor(descriptor)) {
            return nullptr;
        }
        std::string folder = "/sys/bus/usb/devices/";
        folder += Location();
        return std::make_unique<SysfsStringHandle>(folder, descriptor);
    }

    // The kernel's name of the device: "<bus>-<port>.<port>...", "usb<bus>" for a root hub.
    std::string Location() const override
    {
        std::string name = ports_.empty() ? "usb" : "";
        name += std::to_string(libusb_get_bus_number(device_));
        char separator = '-';
        for (uint8_t port : ports_) {
            name += separator;
            name += std::to_string(port);
            separator = '.';
        }
        return name;
    }

    // Bus number, then port path: the order of the scan.
    bool operator<(const LibusbDevice& other) const
    {
        return std::make_tuple(libusb_get_bus_number(device_), ports_, libusb_get_device_address(device_)) <
               std::make_tuple(libusb_get_bus_number(other.device_), other.ports_,
                               libusb_get_device_address(other.device_));
    }

private:
    libusb_device* device_;
    std::shared_ptr<LibusbContext> context_;  // outlives device_
    std::vector<uint8_t> ports_;
};

class LibusbBus final : public UsbBus {
public:
    std::vector<std::unique_ptr<UsbDevice>> Devices() override
    {
        std::vector<std::unique_ptr<LibusbDevice>> found;
        std::shared_ptr<LibusbContext> context = LibusbContext::Create();
        if (context == nullptr) {
            return {};
        }
        libusb_device** raw = nullptr;
        ssize_t count = libusb_get_device_list(context->get(), &raw);
        if (count < 0) {
            return {};
        }
        std::unique_ptr<libusb_device*, DeviceListDeleter> list(raw);
        for (ssize_t i = 0; i < count; ++i) {
            found.push_back(std::make_unique<LibusbDevice>(list.get()[i], context));
        }
        std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return *a < *b; });
        return {std::make_move_iterator(found.begin()), std::make_move_iterator(found.end())};
    }
};

} // namespace

std::unique_ptr<UsbBus> MakeSystemUsbBus() { return std::make_unique<LibusbBus>(); }

} // namespace platform
