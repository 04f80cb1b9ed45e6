// The device list operations on hand-built lists. Leaks and double frees of the slot
// strings show up under AddressSanitizer.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "device_list.h"
#include "main/main.h"
#include "test_home.h"

namespace {

// A list with its two id arrays.
struct TestList : DeviceList {
    TestList(const IdArray& black = {})
    {
        list.whiteList = std::make_unique<IdArray>();
        list.blackList = std::make_unique<IdArray>(black);
    }

    // The serial number doubles as the unit's name in the tests.
    TestList& Add(uint16_t productId, uint16_t revision, const char* serial, const char* product = "Deck")
    {
        DeviceList::Add(productId, product, serial, revision, "Quenlar");
        return *this;
    }

    std::vector<std::string> Serials() const
    {
        std::vector<std::string> serials;
        for (int i = 0; i < list.deviceCount; ++i) {
            serials.emplace_back(list.devices[i].serialNumber, list.devices[i].serialNumberLen);
        }
        return serials;
    }
};

using Serials = std::vector<std::string>;

class CollectTest : public ::testing::Test {
protected:
    void SetUp() override { MakeFolders(home.file("Library/Application Support/Quenlar")); }

    TempHome home;
};

} // namespace

TEST(DeviceVersionText, HighByteDecimalThenOneDigitPerNibble)
{
    EXPECT_EQ(DeviceVersionText(0x0123), "1.23");
    EXPECT_EQ(DeviceVersionText(0x0100), "1.00");
    EXPECT_EQ(DeviceVersionText(0x1234), "18.34");
    EXPECT_EQ(DeviceVersionText(0x010A), "1.010");
    EXPECT_EQ(DeviceVersionText(0xFFFF), "255.1515");
}

TEST(Duplicates, LowestRevisionWinsFirstFoundOnATieOthersKeepTheirOrder)
{
    TestList units;
    units.Add(0x2000, 0x0100, "A").Add(0x1234, 0x0102, "U1").Add(0x3000, 0x0100, "B");
    units.Add(0x1234, 0x0101, "U2").Add(0x1234, 0x0101, "U3");
    EXPECT_TRUE(IsDuplicateDevices(units.list));
    EXPECT_TRUE(RemoveDuplicateDevices(units.list));
    EXPECT_EQ(units.Serials(), (Serials{"A", "B", "U2"}));
    EXPECT_EQ(units.list.devices[3].serialNumber, nullptr);
    EXPECT_FALSE(IsDuplicateDevices(units.list));
    EXPECT_FALSE(RemoveDuplicateDevices(units.list));
    EXPECT_EQ(units.Serials(), (Serials{"A", "B", "U2"}));
}

TEST(Duplicates, RevisionsCompareUnsigned)
{
    TestList units;
    units.Add(0x1234, 0x8000, "high").Add(0x1234, 0x0001, "low");
    RemoveDuplicateDevices(units.list);
    EXPECT_EQ(units.Serials(), Serials{"low"});
}

TEST(Duplicates, OneDeviceOrDistinctProductsAreNone)
{
    TestList one;
    one.Add(0x1234, 0x0100, "A");
    EXPECT_FALSE(IsDuplicateDevices(one.list));
    TestList distinct;
    distinct.Add(0x1234, 0x0100, "A").Add(0x1235, 0x0100, "B");
    EXPECT_FALSE(RemoveDuplicateDevices(distinct.list));
}

TEST(BlackList, MatchesProductIdsAbove0x7fffHeldAsNegativeNumbers)
{
    TestList units({static_cast<int16_t>(0x8001)});
    units.Add(0x8001, 0x0100, "hidden").Add(0x1234, 0x0100, "shown").Add(0x8001, 0x0100, "hidden too");
    EXPECT_TRUE(IsBlackListDevices(units.list));
    EXPECT_TRUE(RemoveBlackListDevices(units.list));
    EXPECT_EQ(units.Serials(), Serials{"shown"});
}

TEST(BlackList, EmptyBlackListOrEmptyDeviceListChangesNothing)
{
    TestList noBlackList;
    noBlackList.Add(0x1234, 0x0100, "A");
    EXPECT_FALSE(RemoveBlackListDevices(noBlackList.list));
    EXPECT_EQ(noBlackList.Serials(), Serials{"A"});

    TestList noDevices({0x1234});
    EXPECT_FALSE(IsBlackListDevices(noDevices.list));
    EXPECT_FALSE(RemoveBlackListDevices(noDevices.list));
    EXPECT_EQ(noDevices.list.deviceCount, 0);
}

TEST_F(CollectTest, ModeZeroKeepsOneUnitPerProductAndLogsBeforeAndAfter)
{
    TestList units;
    units.Add(0x1234, 0x0110, "S110").Add(0x1234, 0x0102, "S102");
    EXPECT_TRUE(CollectDeviceInfo(0x3A7C, &units.list, 0));
    EXPECT_EQ(units.Serials(), Serials{"S102"});

    std::string log = home.Log();
    EXPECT_NE(log.find("-----GetDeviceInfo(vid=0x3a7c count 2-----) before process.\n"), std::string::npos);
    EXPECT_NE(log.find("Remove(Duplicate) GetDeviceInfo(vid=0x3a7c count 1)\n"), std::string::npos);
    size_t after = log.find("-----GetDeviceInfo(vid=0x3a7c count 1-----) after process.\n");
    ASSERT_NE(after, std::string::npos);
    EXPECT_EQ(log.find("  Serial Number    = S110\n"), log.rfind("  Serial Number    = S110\n"));
    EXPECT_EQ(log.find("Serial Number", after), std::string::npos);
    EXPECT_NE(log.find("  Device Version   = 1.02\n", after), std::string::npos);
    EXPECT_NE(log.find("--------------------------------------------\n", after), std::string::npos);
}

TEST_F(CollectTest, ModeOneKeepsEveryUnitButNotTheBlackListed)
{
    TestList units({0x0042});
    units.Add(0x1234, 0x0110, "S110").Add(0x0042, 0x0100, "X").Add(0x1234, 0x0102, "S102");
    EXPECT_TRUE(CollectDeviceInfo(0x3A7C, &units.list, 1));
    EXPECT_EQ(units.Serials(), (Serials{"S110", "S102"}));
    EXPECT_EQ(home.Log().find("Remove(Duplicate)"), std::string::npos);
    EXPECT_NE(home.Log().find("Remove(BlackList) GetDeviceInfo(vid=0x3a7c count 2)\n"), std::string::npos);
}

TEST_F(CollectTest, OnlyDeviceBlackListedFindsNothing)
{
    TestList units({0x1234});
    units.Add(0x1234, 0x0100, "A");
    EXPECT_FALSE(CollectDeviceInfo(0x3A7C, &units.list, 0));
    EXPECT_EQ(units.list.deviceCount, 0);
}

TEST_F(CollectTest, AbsentStringsAreLoggedAsNull)
{
    TestList units;
    units.Add(0x1234, 0x0100, "A", nullptr);
    CollectDeviceInfo(0x3A7C, &units.list, 1);
    EXPECT_NE(home.Log().find("  Product Name     = (null)\n"), std::string::npos);
}

TEST(InitDevicesInfo, FreesEverySlotAndLoadsTheIdLists)
{
    TestList units({0x0001});
    units.Add(0x1234, 0x0100, "A").Add(0x1235, 0x0100, "B");
    // A stale slot past the count is cleared too.
    units.list.devices[10] = units.list.devices[1];
    units.list.devices[1] = UsbDeviceInfo{};
    units.list.deviceCount = 1;

    InitDevicesInfo(&units.list, IdArray{5}, IdArray{7, 8});
    EXPECT_EQ(units.list.deviceCount, 0);
    EXPECT_EQ(units.list.devices[0].productName, nullptr);
    EXPECT_EQ(units.list.devices[10].serialNumberLen, 0);
    EXPECT_EQ(units.list.devices[10].productId, 0);
    EXPECT_EQ(*units.list.whiteList, IdArray{5});
    EXPECT_EQ(*units.list.blackList, (IdArray{7, 8}));
}

TEST(InitDevicesInfo, ListWithoutArraysStaysWithout)
{
    UsbDevicesInfo list;
    InitDevicesInfo(&list, IdArray{1}, IdArray{2});
    EXPECT_EQ(list.whiteList, nullptr);
    EXPECT_EQ(list.blackList, nullptr);
}

TEST(CopyDevicesInfo, DeepCopyWithNullArraysWhenTheSourceHasNoIds)
{
    TestList source;
    source.Add(0x1234, 0x0102, nullptr);

    UsbDevicesInfo copy;
    CopyDevicesInfo(&copy, &source.list);
    EXPECT_EQ(copy.whiteList, nullptr);
    EXPECT_EQ(copy.blackList, nullptr);
    ASSERT_EQ(copy.deviceCount, 1);
    EXPECT_NE(copy.devices[0].productName, source.list.devices[0].productName);
    EXPECT_STREQ(copy.devices[0].productName, "Deck");
    EXPECT_EQ(copy.devices[0].productNameLen, 4);
    EXPECT_EQ(copy.devices[0].serialNumber, nullptr);
    EXPECT_EQ(copy.devices[0].deviceRevision, 0x0102);

    // Copying again into the used snapshot, from a list with ids, leaks nothing.
    TestList other({0x0042});
    CopyDevicesInfo(&copy, &other.list);
    ASSERT_NE(copy.blackList, nullptr);
    EXPECT_EQ(*copy.blackList, IdArray{0x0042});
    EXPECT_EQ(copy.deviceCount, 0);
    EXPECT_EQ(copy.devices[0].productName, nullptr);
    ReleaseDevicesInfo(&copy);
    EXPECT_EQ(copy.blackList, nullptr);
}
