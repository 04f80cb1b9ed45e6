// The USB scan against a fake bus: which devices are opened, asked and kept, how replies
// become strings, and how long device references and handles live.
#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fake_usb.h"
#include "main/main.h"
#include "platform/usb_bus.h"

namespace {

class FakeBus final : public platform::UsbBus {
public:
    explicit FakeBus(std::vector<std::shared_ptr<FakeState>>& devices) : devices_(devices) {}

    std::vector<std::unique_ptr<platform::UsbDevice>> Devices() override
    {
        std::vector<std::unique_ptr<platform::UsbDevice>> listed;
        for (const auto& state : devices_) {
            listed.push_back(std::make_unique<FakeDevice>(state));
        }
        return listed;
    }

private:
    std::vector<std::shared_ptr<FakeState>>& devices_;
};

class UsbScanTest : public ::testing::Test {
protected:
    void SetUp() override { previous_ = platform::InstallUsbBus(std::make_unique<FakeBus>(devices_)); }

    void TearDown() override
    {
        // An empty scan drops the references that the last one kept, and the list's strings.
        devices_.clear();
        Scan();
        platform::InstallUsbBus(std::move(previous_));
    }

    std::shared_ptr<FakeState> Add(uint16_t productId, uint16_t vendorId = 0x3A7C, uint8_t deviceClass = 0)
    {
        auto state = std::make_shared<FakeState>();
        state->descriptor.vendorId = vendorId;
        state->descriptor.productId = productId;
        state->descriptor.deviceClass = deviceClass;
        state->descriptor.releaseNumber = 0x0123;
        state->descriptor.manufacturerIndex = 1;
        state->descriptor.productIndex = 2;
        state->replies[1] = StringDescriptor(u"Quenlar");
        state->replies[2] = StringDescriptor(u"Deck");
        devices_.push_back(state);
        return state;
    }

    int Scan()
    {
        ReleaseDevicesInfo(&list_);
        return CheckUSBAudio(0x3A7C, &list_);
    }

    std::vector<std::shared_ptr<FakeState>> devices_;
    std::unique_ptr<platform::UsbBus> previous_;
    UsbDevicesInfo list_;
};

} // namespace

TEST_F(UsbScanTest, StringRequestsAndTheirDecoding)
{
    auto device = Add(0x1234);
    device->descriptor.serialNumberIndex = 3;
    device->replies[2] = {0x80, 3, 'A'};  // the length byte is ignored: 3 bytes make one character
    device->replies[3] = StringDescriptor(u"\u00e9\u3042Z");

    ASSERT_EQ(Scan(), 1);
    ASSERT_EQ(list_.deviceCount, 1);
    const UsbDeviceInfo& slot = list_.devices[0];
    EXPECT_EQ(std::string(slot.manufactureName), "Quenlar");
    EXPECT_EQ(slot.manufactureNameLen, 7);
    EXPECT_EQ(std::string(slot.productName), "A");
    EXPECT_EQ(std::string(slot.serialNumber), "\xe9\x42Z");
    EXPECT_EQ(slot.deviceRevision, 0x0123);
    EXPECT_EQ(slot.vendorId, 0x3A7C);
    ASSERT_EQ(device->requests.size(), 3u);
    for (const ControlSetup& setup : device->requests) {
        EXPECT_EQ(setup.requestType, 0x80);
        EXPECT_EQ(setup.request, 6);
        EXPECT_EQ(setup.index, 0x0409);
        EXPECT_EQ(setup.length, 128);
    }
    EXPECT_EQ(device->requests[0].value, 0x0301);
    EXPECT_EQ(device->requests[2].value, 0x0303);
    EXPECT_EQ(device->openHandles, 0);
}

TEST_F(UsbScanTest, SkipsHubsOtherVendorsAndUnreadableDevicesWithoutOpeningThem)
{
    auto hub = Add(0x0001, 0x3A7C, 9);
    auto other = Add(0x1234, 0x1D6B);
    auto unreadable = Add(0x1235);
    unreadable->readable = false;
    auto unopenable = Add(0x1236);
    unopenable->openable = false;
    Add(0x1237);

    EXPECT_EQ(Scan(), 2);
    ASSERT_EQ(list_.deviceCount, 1);
    EXPECT_EQ(list_.devices[0].productId, 0x1237);
    EXPECT_EQ(hub->opened + other->opened + unreadable->opened, 0);
    // Passing devices stay referenced until the next scan, the others are let go.
    EXPECT_EQ(hub->references + other->references + unreadable->references, 0);
    EXPECT_EQ(unopenable->references, 1);
}

TEST_F(UsbScanTest, SixtyFourRecordedOneHundredTwentyEightReferencesHeldUntilTheNextScan)
{
    for (int n = 0; n < 130; ++n) {
        Add(static_cast<uint16_t>(0x2000 + n));
    }
    EXPECT_EQ(Scan(), 130);
    EXPECT_EQ(list_.deviceCount, 64);
    EXPECT_EQ(list_.devices[63].productId, 0x2000 + 63);
    EXPECT_EQ(devices_[64]->opened, 0);
    EXPECT_EQ(devices_[127]->references, 1);
    EXPECT_EQ(devices_[128]->references, 0);
    EXPECT_EQ(devices_[129]->references, 0);

    // The next scan lets the old references go before it lists the bus again.
    auto first = devices_[0];
    devices_.erase(devices_.begin());
    EXPECT_EQ(Scan(), 129);
    EXPECT_EQ(first->references, 0);
    EXPECT_EQ(devices_[127]->references, 1);
}
