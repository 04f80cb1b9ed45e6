// Fake USB devices for the unit tests' buses: string descriptors as a device sends them,
// and a device that answers from a table and counts what happened to it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/usb_bus.h"

// bLength, type 3, then the text's UTF-16LE units.
inline std::vector<uint8_t> StringDescriptor(const std::u16string& text)
{
    std::vector<uint8_t> bytes{static_cast<uint8_t>(2 + 2 * text.size()), 3};
    for (char16_t unit : text) {
        bytes.push_back(unit & 0xFF);
        bytes.push_back(unit >> 8);
    }
    return bytes;
}

struct ControlSetup {
    uint8_t requestType;
    uint8_t request;
    uint16_t value;
    uint16_t index;
    uint16_t length;
};

// What a fake device answers and what happened to it. Shared with its references and
// handles, so it outlives whatever the scan keeps.
struct FakeState {
    platform::UsbDeviceDescriptor descriptor;
    bool readable = true;
    bool openable = true;
    std::map<uint8_t, std::vector<uint8_t>> replies;  // string index -> reply; missing: stall
    std::vector<ControlSetup> requests;
    int references = 0;
    int openHandles = 0;
    int opened = 0;
};

class FakeHandle final : public platform::UsbDeviceHandle {
public:
    explicit FakeHandle(std::shared_ptr<FakeState> state) : state_(std::move(state)) { ++state_->openHandles; }
    ~FakeHandle() override { --state_->openHandles; }

    int ControlIn(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index, uint8_t* data,
                  uint16_t length) override
    {
        state_->requests.push_back({requestType, request, value, index, length});
        auto reply = state_->replies.find(value & 0xFF);
        if (reply == state_->replies.end()) {
            return -1;
        }
        size_t size = std::min<size_t>(reply->second.size(), length);
        std::copy_n(reply->second.begin(), size, data);
        return static_cast<int>(size);
    }

private:
    std::shared_ptr<FakeState> state_;
};

class FakeDevice final : public platform::UsbDevice {
public:
    explicit FakeDevice(std::shared_ptr<FakeState> state) : state_(std::move(state)) { ++state_->references; }
    ~FakeDevice() override { --state_->references; }

    bool ReadDescriptor(platform::UsbDeviceDescriptor& descriptor) override
    {
        descriptor = state_->descriptor;
        return state_->readable;
    }

    std::unique_ptr<platform::UsbDeviceHandle> Open() override
    {
        if (!state_->openable) {
            return nullptr;
        }
        ++state_->opened;
        return std::make_unique<FakeHandle>(state_);
    }

private:
    std::shared_ptr<FakeState> state_;
};
