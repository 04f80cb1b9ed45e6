// Duplicate removal and the black list; ASan catches leaks and double frees of the slot strings.
#include "device_list.h"
#include "test_home.h"

namespace {

struct Unit { uint16_t productId; uint16_t revision; const char* name; }; // the name is held as the serial number

TEST(CollectDeviceInfo, DuplicatesAndBlackList)
{
    TempHome home;
    const struct { std::vector<Unit> units; IdArray blackList; int allDevices; std::vector<std::string> kept; } cases[] = {
        // Lowest revision wins, the first one on a tie; the others keep their order.
        {{{0x2000, 0x100, "A"}, {0x1234, 0x102, "U1"}, {0x3000, 0x100, "B"}, {0x1234, 0x101, "U2"}, {0x1234, 0x101, "U3"}},
         {}, 0, {"A", "B", "U2"}},
        {{{0x1234, 0x8000, "high"}, {0x1234, 0x0001, "low"}}, {}, 0, {"low"}},
        {{{0x1234, 0x110, "S110"}, {0x0042, 0x100, "X"}, {0x1234, 0x102, "S102"}}, {0x0042}, 1, {"S110", "S102"}},
        // Product ids above 0x7FFF are held as negative numbers.
        {{{0x8001, 0x100, "hidden"}, {0x1234, 0x100, "shown"}, {0x8001, 0x100, "hidden too"}},
         {static_cast<int16_t>(0x8001)}, 0, {"shown"}},
        {{{0x1234, 0x100, "A"}}, {0x1234}, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kept.size());
        DeviceList devices;
        devices.list.whiteList = std::make_unique<IdArray>();
        devices.list.blackList = std::make_unique<IdArray>(c.blackList);
        for (const Unit& unit : c.units) {
            devices.Add(unit.productId, "Deck", unit.name, unit.revision);
        }
        EXPECT_EQ(!c.kept.empty(), CollectDeviceInfo(kVendorId, &devices.list, c.allDevices));
        std::vector<std::string> kept;
        for (int i = 0; i < devices.list.deviceCount; ++i) {
            kept.emplace_back(devices.list.devices[i].serialNumber, devices.list.devices[i].serialNumberLen);
        }
        EXPECT_EQ(c.kept, kept);
        EXPECT_EQ(nullptr, devices.list.devices[kept.size()].serialNumber);
    }
}

} // namespace
