// The USB work of one rescan done by bare libusb, nothing else: two enumerations, each in
// a context of its own, and for every vendor device (hubs excepted) an open and the string
// requests the scan makes. On an emulated bus this is what the bus costs by itself, so
// that the rest of a rescan's time is the agent's. Prints one JSON line: the median and
// the fastest of `runs` passes in wall milliseconds.
//
//   bench_usb_floor [runs, default 10]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <libusb.h>
#include <vector>

namespace {

constexpr uint16_t kVendorId = 0x3A7C;
constexpr uint8_t kHubClass = 9;

void RequestString(libusb_device_handle* handle, uint8_t index)
{
    unsigned char reply[128];
    libusb_control_transfer(handle, 0x80, 6, static_cast<uint16_t>(0x0300 | index), 0x0409, reply, sizeof reply,
                            1000);
}

void Scan()
{
    libusb_context* context = nullptr;
    if (libusb_init(&context) != 0) {
        return;
    }
    libusb_device** devices = nullptr;
    ssize_t count = libusb_get_device_list(context, &devices);
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_descriptor descriptor{};
        libusb_device_handle* handle = nullptr;
        if (libusb_get_device_descriptor(devices[i], &descriptor) != 0 || descriptor.idVendor != kVendorId ||
            descriptor.bDeviceClass == kHubClass || libusb_open(devices[i], &handle) != 0) {
            continue;
        }
        RequestString(handle, descriptor.iManufacturer);
        RequestString(handle, descriptor.iProduct);
        if (descriptor.iSerialNumber != 0) {
            RequestString(handle, descriptor.iSerialNumber);
        }
        libusb_close(handle);
    }
    if (count >= 0) {
        libusb_free_device_list(devices, 1);
    }
    libusb_exit(context);
}

double NowMillis()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    int runs = std::max(argc > 1 ? std::atoi(argv[1]) : 10, 1);
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        double start = NowMillis();
        Scan();
        Scan();
        times.push_back(NowMillis() - start);
    }
    std::sort(times.begin(), times.end());
    std::printf("{\"median_ms\": %.3f, \"fastest_ms\": %.3f}\n", times[times.size() / 2], times.front());
    return 0;
}
