// A fake USB bus of device models, each answering as a device would and counting what happened to it.
#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "main/main.h"
#include "platform/usb_bus.h"

struct FakeState {
    platform::UsbDeviceDescriptor descriptor;
    std::string location;
    bool readable = true, openable = true, answers = true;
    std::map<uint8_t, std::vector<uint8_t>> replies;  // string index -> reply; missing: stall
    int references = 0, openHandles = 0, opened = 0, requests = 0;
};

class FakeHandle final : public platform::UsbDeviceHandle {
public:
    explicit FakeHandle(std::shared_ptr<FakeState> state) : state_(std::move(state)) { ++state_->openHandles; }
    ~FakeHandle() override { --state_->openHandles; }
    int ControlIn(uint8_t type, uint8_t request, uint16_t value, uint16_t language, uint8_t* data,
                  uint16_t length) override
    {
        ++state_->requests;
        auto reply = state_->replies.find(value & 0xFF);
        // A device stalls what is not GET_DESCRIPTOR of a string in US English.
        const bool stringRequest = type == 0x80 && request == 6 && (value >> 8) == 3 && language == 0x0409;
        if (!state_->answers || !stringRequest || reply == state_->replies.end()) {
            return state_->answers ? -1 : platform::kUsbNoAnswer;
        }
        const size_t size = std::min<size_t>(reply->second.size(), length);
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
    std::string Location() const override { return state_->location; }
    std::unique_ptr<platform::UsbDeviceHandle> Open() override
    {
        state_->opened += state_->openable;
        return state_->openable ? std::make_unique<FakeHandle>(state_) : nullptr;
    }

private:
    std::shared_ptr<FakeState> state_;
};

class FakeBus final : public platform::UsbBus {
public:
    // Strings: the maker at index 1, the product at 2, the serial number at 3 (none when empty).
    std::shared_ptr<FakeState> Plug(uint16_t productId, const std::u16string& product,
                                    const std::u16string& serial = u"", uint16_t release = 0x0123,
                                    uint16_t vendorId = kVendorId, uint8_t deviceClass = 0)
    {
        auto state = std::make_shared<FakeState>();
        state->location = "1-" + std::to_string(plugged.size() + 1);
        state->descriptor = {deviceClass, 0, vendorId, productId, release, 1, 2,
                             static_cast<uint8_t>(serial.empty() ? 0 : 3)};
        state->replies = {{1, StringDescriptor(u"Quenlar")}, {2, StringDescriptor(product)}};
        if (!serial.empty()) {
            state->replies[3] = StringDescriptor(serial);
        }
        return plugged.emplace_back(state);
    }
    std::vector<std::unique_ptr<platform::UsbDevice>> Devices() override
    {
        std::vector<std::unique_ptr<platform::UsbDevice>> listed;
        for (const auto& state : plugged) {
            listed.push_back(std::make_unique<FakeDevice>(state));
        }
        return listed;
    }
    std::vector<std::shared_ptr<FakeState>> plugged;

private:
    static std::vector<uint8_t> StringDescriptor(const std::u16string& text)
    {
        std::vector<uint8_t> bytes{static_cast<uint8_t>(2 + 2 * text.size()), 3};
        for (char16_t unit : text) {
            bytes.insert(bytes.end(), {static_cast<uint8_t>(unit & 0xFF), static_cast<uint8_t>(unit >> 8)});
        }
        return bytes;
    }
};
