// The USB scan against a fake bus: which devices are opened, asked and kept, how replies
// become strings, and how long device references and handles live.
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "fake_usb.h"
#include "main/main.h"

namespace {

// Lists the devices of the test, each time anew.
class FakeBus final : public platform::UsbBus {
public:
    explicit FakeBus(const std::vector<std::shared_ptr<FakeState>>& devices) : devices_(devices) {}
    std::vector<std::unique_ptr<platform::UsbDevice>> Devices() override
    {
        std::vector<std::unique_ptr<platform::UsbDevice>> listed;
        for (const auto& state : devices_) {
            listed.push_back(std::make_unique<FakeDevice>(state));
        }
        return listed;
    }

private:
    const std::vector<std::shared_ptr<FakeState>>& devices_;
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

    std::shared_ptr<FakeState> Add(uint16_t productId, uint16_t vendorId = kVendorId, uint8_t deviceClass = 0)
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
        return CheckUSBAudio(kVendorId, &list_);
    }

    std::vector<std::shared_ptr<FakeState>> devices_;
    UsbDevicesInfo list_;
    std::unique_ptr<platform::UsbBus> previous_;
};

TEST_F(UsbScanTest, FiltersAndStrings)
{
    auto hub = Add(0x0001, kVendorId, 9);
    auto other = Add(0x1234, 0x1D6B);
    auto unreadable = Add(0x1235);
    unreadable->readable = false;
    auto unopenable = Add(0x1236);
    unopenable->openable = false;
    auto device = Add(0x1237);
    device->descriptor.serialNumberIndex = 3;
    device->replies[2] = {0x80, 3, 'A'}; // the length byte is ignored: 3 bytes make one character
    device->replies[3] = StringDescriptor(u"\u00e9\u3042Z");

    EXPECT_EQ(2, Scan());
    ASSERT_EQ(1, list_.deviceCount);
    const UsbDeviceInfo& slot = list_.devices[0];
    EXPECT_EQ("Quenlar", std::string(slot.manufactureName, slot.manufactureNameLen));
    EXPECT_EQ("A", std::string(slot.productName, slot.productNameLen));
    EXPECT_EQ("\xe9\x42Z", std::string(slot.serialNumber, slot.serialNumberLen));
    EXPECT_EQ(0x0123, slot.deviceRevision);
    EXPECT_EQ(0x1237, slot.productId);
    ASSERT_EQ(3u, device->requests.size());
    for (uint16_t index = 1; index <= 3; ++index) {
        const ControlSetup& setup = device->requests[index - 1];
        EXPECT_EQ((std::vector<int>{0x80, 6, 0x0300 + index, 0x0409, 128}),
                  (std::vector<int>{setup.requestType, setup.request, setup.value, setup.index, setup.length}));
    }
    EXPECT_EQ(0, device->openHandles);
    EXPECT_EQ(0, hub->opened + other->opened + unreadable->opened);
    // Passing devices stay referenced until the next scan, the others are let go.
    EXPECT_EQ(0, hub->references + other->references + unreadable->references);
    EXPECT_EQ(1, unopenable->references);
}

TEST_F(UsbScanTest, SixtyFourRecordedOneHundredTwentyEightReferencesHeldUntilTheNextScan)
{
    for (int n = 0; n < 130; ++n) {
        Add(static_cast<uint16_t>(0x2000 + n));
    }
    EXPECT_EQ(130, Scan());
    EXPECT_EQ(64, list_.deviceCount);
    EXPECT_EQ(0x2000 + 63, list_.devices[63].productId);
    EXPECT_EQ(0, devices_[64]->opened);
    EXPECT_EQ(1, devices_[127]->references);
    EXPECT_EQ(0, devices_[128]->references + devices_[129]->references);

    // The next scan lets the old references go before it lists the bus again.
    auto first = devices_[0];
    devices_.erase(devices_.begin());
    EXPECT_EQ(129, Scan());
    EXPECT_EQ(0, first->references);
    EXPECT_EQ(1, devices_[127]->references);
}

} // namespace
