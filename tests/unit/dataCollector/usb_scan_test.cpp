// The USB scan on the fake bus: which devices are kept, their strings, how long references live.
#include "agent_home.h"

namespace {

class UsbScanTest : public AgentHome {
protected:
    UsbDevicesInfo& list_ = devices_.list;
    UnansweredDevices unanswered_;
};

TEST_F(UsbScanTest, FiltersAndStrings)
{
    auto hub = bus_->Plug(0x0001, u"Hub", u"", 0x0123, kVendorId, 9);
    auto other = bus_->Plug(0x1234, u"Other", u"", 0x0123, 0x1D6B);
    auto unreadable = bus_->Plug(0x1235, u"Deck");
    unreadable->readable = false;
    auto unopenable = bus_->Plug(0x1236, u"Deck");
    unopenable->openable = false;
    // Firmware that hangs: one request, then none in this scan or the next of the same rescan.
    auto hung = bus_->Plug(0x1238, u"Deck", u"S");
    hung->answers = false;
    // A string of 64 characters: the 128 bytes asked for hold 63 of them.
    auto device = bus_->Plug(0x1237, u"Deck", u"\u00e9\u3042Z" + std::u16string(61, u'x'), 0x0456);
    device->replies[2] = {0x80, 3, 'A'}; // the length byte is ignored: 3 bytes make one character

    DeviceList all;
    EXPECT_EQ(3, CheckUSBAudio(kVendorId, &all.list, unanswered_));
    EXPECT_EQ(3, CheckUSBAudio(kVendorId, &list_, unanswered_));
    EXPECT_EQ(1, hung->requests);
    ASSERT_EQ(2, list_.deviceCount);
    const UsbDeviceInfo& slot = list_.devices[1];
    EXPECT_EQ("Quenlar/A/\xe9\x42Z" + std::string(60, 'x'), std::string(slot.manufactureName, slot.manufactureNameLen) + "/" +
                                        std::string(slot.productName, slot.productNameLen) + "/" +
                                        std::string(slot.serialNumber, slot.serialNumberLen));
    const UsbDeviceInfo& mute = list_.devices[0];
    EXPECT_EQ(0, mute.manufactureNameLen + mute.productNameLen + mute.serialNumberLen);
    EXPECT_EQ(0, device->openHandles + hung->openHandles + hub->opened + other->opened + unreadable->opened);
    // Passing devices stay referenced until the next scan, the others are let go.
    EXPECT_EQ(0, hub->references + other->references + unreadable->references);
    EXPECT_EQ(1, unopenable->references);
}

TEST_F(UsbScanTest, SixtyFourRecordedOneHundredTwentyEightReferencesHeldUntilTheNextScan)
{
    for (int n = 0; n < 130; ++n) {
        bus_->Plug(static_cast<uint16_t>(0x2000 + n), u"Deck");
    }
    auto& plugged = bus_->plugged;
    EXPECT_EQ(130, CheckUSBAudio(kVendorId, &list_, unanswered_));
    EXPECT_EQ(64, list_.deviceCount);
    EXPECT_EQ(1, plugged[127]->references);
    EXPECT_EQ(0, plugged[128]->references + plugged[129]->references);
    // The next scan lets the old references go before it lists the bus again.
    auto first = plugged[0];
    plugged.erase(plugged.begin());
    devices_.Clear();
    EXPECT_EQ(129, CheckUSBAudio(kVendorId, &list_, unanswered_));
    EXPECT_EQ(0, first->references);
    EXPECT_EQ(1, plugged[127]->references);
}

} // namespace
