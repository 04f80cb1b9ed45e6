#include "watch_fixture.h"

namespace {

constexpr uint64_t kKeyAbc = 0x1BB30000;

TEST(CalcSerialHash, ShiftsThreeBitsPerSignedByte)
{
    EXPECT_EQ(0x1BB3, CalcSerialHash("abc"));
    EXPECT_EQ(0, CalcSerialHash(nullptr));
    EXPECT_EQ(0, CalcSerialHash(""));
    EXPECT_EQ(0xFFE9, CalcSerialHash("\xE9"));
    EXPECT_EQ(CalcSerialHash("zz123456"), CalcSerialHash("Q-7123456"));
    EXPECT_NE(CalcSerialHash("zz123456"), CalcSerialHash("zz223456"));
}

using AppWatchTest = WatchTest;

TEST_F(AppWatchTest, TableKeysFollowTheDeviceList)
{
    DeviceList devices;
    devices.Add(0x0010, "Deck Unit 2", "abc").Add(0x0020, "Mixer 4", nullptr);
    UpdateAppStatus(0, &devices.list);
    for (const AppExecStatus& row : _appStatus) {
        EXPECT_EQ((std::map<uint64_t, int8_t>{{0x0020, 0}, {kKeyAbc | 0x0010, 0}}), row.execStatus) << row.appCode;
        EXPECT_EQ(row.execStatus, row.lastExecStatus) << row.appCode;
    }

    // Known keys keep their states; a device gone takes its key out of both maps.
    _appStatus[2].execStatus[kKeyAbc | 0x0010] = 1;
    _appStatus[2].lastExecStatus[kKeyAbc | 0x0010] = 1;
    DeviceList fewer;
    fewer.Add(0x0010, "Deck Unit 2", "abc");
    UpdateAppStatus(1, &fewer.list);
    EXPECT_EQ((std::map<uint64_t, int8_t>{{kKeyAbc | 0x0010, 1}}), _appStatus[2].execStatus);
    EXPECT_EQ((std::map<uint64_t, int8_t>{{kKeyAbc | 0x0010, 1}}), _appStatus[2].lastExecStatus);
    EXPECT_NE(std::string::npos, home.Log().find("-----AppDeviceInfo\n"));
    EXPECT_NE(std::string::npos, home.Log().find("  ProductId = 0x0010  SerialHash = 0x1bb3\n"));

    DeviceList none;
    UpdateAppStatus(0, &none.list);
    for (const AppExecStatus& row : _appStatus) {
        EXPECT_TRUE(row.execStatus.empty() && row.lastExecStatus.empty()) << row.appCode;
    }
}

TEST_F(AppWatchTest, OnlyTheFirstMatchingLineCountsAndItMustNameTheApplication)
{
    DeviceList devices;
    devices.Add(0x0010, "Deck Unit 2", nullptr);
    UpdateAppStatus(0, &devices.list);
    processes = {
        "  900 pts/0    S+      0:00 sh -c ps -ax | grep -E 'Serato DJ Pro.app/Contents/MacOS/Serato DJ Pro'",
        "  901 ?        S       0:09 /Applications/Serato DJ Pro.app/Contents/MacOS/Serato DJ Pro",
        "  902 ?        S       0:09 /Applications/Ableton Suite.app/Contents/MacOS/Live",
        "  903 ?        S       0:09 /Applications/Ableton Live 12 Suite.app/Contents/MacOS/Live",
        "  904 ?        S       0:09 /Applications/spindrel.app/Contents/MacOS/spindrel --safe",
        "  905 ?        S       0:09 /Applications/djay Pro AI.app/Contents/MacOS/djay Pro AI",
    };
    searchProcess(_appStatus);
    std::map<std::string, int8_t> running;
    for (const AppExecStatus& row : _appStatus) {
        running[row.appCode] = row.execStatus.at(0x0010);
    }
    EXPECT_EQ((std::map<std::string, int8_t>{{"SDJP", 0}, {"SDJL", 0}, {"Traktor", 0}, {"djayPro", 1},
                                             {"VirtualDJ", 0}, {"spindrel", 0}, {"AbletonLive", 0}}),
              running);
}

TEST_F(AppWatchTest, OneReportPerApplicationAndDeviceWithOneStartTime)
{
    DeviceList devices;
    devices.Add(0x0010, "Deck Unit 2", "SN 01").Add(0x0020, "Mixer 4", nullptr);
    Collect(devices);
    EXPECT_TRUE(analytics.Beacons().empty());

    Run("Serato DJ Pro");
    Collect(devices);
    std::vector<picojson::object> beacons = analytics.Beacons();
    ASSERT_EQ(2u, beacons.size());
    // In ascending key order: the device without a serial number comes first here.
    EXPECT_EQ("Mixer%204%2F1.23", AnalyticsStub::Param(beacons[0], "p01"));
    EXPECT_EQ("Deck%20Unit%202%2F1.23%2FSN%2001", AnalyticsStub::Param(beacons[1], "p01"));
    EXPECT_EQ("SDJP", AnalyticsStub::Param(beacons[1], "p02"));
    EXPECT_EQ(AnalyticsStub::Param(beacons[0], "p03"), AnalyticsStub::Param(beacons[1], "p03"));
    EXPECT_NE(std::string::npos, home.Log().find("SDJP start time = " + AnalyticsStub::Param(beacons[0], "p03") + "\n"));

    // Still running: nothing new. Then it ends: logged only.
    Collect(devices);
    EXPECT_EQ(2u, analytics.Beacons().size());
    processes.clear();
    Collect(devices);
    EXPECT_EQ(2u, analytics.Beacons().size());
    EXPECT_NE(std::string::npos, home.Log().find("SDJP end time = "));

    Run("Serato DJ Pro");
    Collect(devices);
    EXPECT_EQ(4u, analytics.Beacons().size());
}

TEST_F(AppWatchTest, UnitsSharingAKeyShareOneReportForTheFirstOfThem)
{
    DeviceList devices;
    devices.Add(0x0010, "Deck Unit 2", "A123456").Add(0x0010, "Deck Unit 2", "B123456");
    Run("Traktor");
    Collect(devices);
    std::vector<picojson::object> beacons = analytics.Beacons();
    ASSERT_EQ(1u, beacons.size());
    EXPECT_EQ("Deck%20Unit%202%2F1.23%2FA123456", AnalyticsStub::Param(beacons[0], "p01"));
    EXPECT_EQ("Traktor", AnalyticsStub::Param(beacons[0], "p02"));
}

TEST_F(AppWatchTest, ReconnectingWhileTheApplicationRunsIsANewStart)
{
    DeviceList devices;
    devices.Add(0x0010, "Deck Unit 2", nullptr);
    Run("VirtualDJ");
    Collect(devices);
    ASSERT_EQ(1u, analytics.Beacons().size());

    debugLevel = 2;
    NotifyDeviceConnect(false);
    NotifyDeviceConnect(false);
    std::string log = home.Log();
    const std::string line = "NotifyDeviceConnect(isDeviceConnect=0) DevListCount=1\n";
    // Every row held the key: seven lines from the first call, none from the second.
    EXPECT_EQ(7u, Count(log, line));
    for (const AppExecStatus& row : _appStatus) {
        EXPECT_TRUE(row.execStatus.empty() && row.lastExecStatus.empty()) << row.appCode;
    }

    Collect(devices);
    EXPECT_EQ(2u, analytics.Beacons().size());
}

TEST_F(AppWatchTest, DeviceMissingFromTheSnapshotKeepsItsPendingStart)
{
    DeviceList both;
    both.Add(0x0010, "Deck Unit 2", nullptr).Add(0x0020, "Mixer 4", nullptr);
    DeviceList first;
    first.Add(0x0010, "Deck Unit 2", nullptr);
    Run("Serato DJ Lite");
    UpdateAppStatus(0, &both.list);
    CollectAppInfo(&mac, &first.list);
    ASSERT_EQ(1u, analytics.Beacons().size());
    EXPECT_EQ(1, _appStatus[1].execStatus.at(0x0020));
    EXPECT_EQ(0, _appStatus[1].lastExecStatus.at(0x0020));

    CollectAppInfo(&mac, &both.list);
    ASSERT_EQ(2u, analytics.Beacons().size());
    EXPECT_EQ("Mixer%204%2F1.23", AnalyticsStub::Param(analytics.Beacons()[1], "p01"));
}

} // namespace
