#include "watch_fixture.h"

#include "platform/plist_file.h"

namespace {

class UsageReportTest : public WatchTest {
protected:
    // The downloader's own settings, which every write of the store must keep.
    void SeedStore(const std::string& extra = "")
    {
        WriteFileText(StorePath(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                                   "<key>FwInterval</key><integer>7</integer>"
                                   "<key>lastCheckDate</key><string>2024/03/01 10:00:00</string>" +
                                       extra + "</dict></plist>\n");
    }

    std::map<std::string, std::string> Store() const
    {
        std::map<std::string, std::string> values;
        platform::PlistPtr dict = platform::ReadPlistDictionary(StorePath());
        if (!dict) {
            return values;
        }
        for (const char* key : {"agentName", "deviceVersion", "deviceSerial", "appConnected", "dateConnected",
                                "lastCheckDate"}) {
            platform::PlistDictString(dict.get(), key, values[key]);
        }
        for (const char* key : {"doesSend", "FwInterval"}) {
            uint64_t number = 0;
            plist_t node = plist_dict_get_item(dict.get(), key);
            plist_get_uint_val(node, &number);
            values[key] = node != nullptr ? std::to_string(number) : "<absent>";
        }
        return values;
    }

    AppInfo Start(const char* appCode) { return AppInfo{appCode, "2024/03/05-14:07:09(+0900)", ""}; }

    DeviceList devices;
};

TEST_F(UsageReportTest, GateSayingNoSavesTheReportBesideTheDownloadersKeys)
{
    analytics.Answer(R"({"measurement": 0})");
    SeedStore();
    devices.Add(0x0010, "Deck Unit 2", "SN1", 0x1234);
    AppInfo app = Start("SDJP");
    EXPECT_EQ(-1, sendData(mac, devices.list.devices[0], app));
    EXPECT_TRUE(analytics.Beacons().empty());
    EXPECT_EQ((std::map<std::string, std::string>{{"agentName", "Deck Unit 2 FirmwareUpdate/Debian GNU/Linux 12/AMD EPYC"},
                                                  {"deviceVersion", "4660"},
                                                  {"deviceSerial", "Deck Unit 2/18.34/SN1"},
                                                  {"appConnected", "SDJP"},
                                                  {"dateConnected", "2024/03/05-14:07:09(+0900)"},
                                                  {"doesSend", "0"},
                                                  {"FwInterval", "7"},
                                                  {"lastCheckDate", "2024/03/01 10:00:00"}}),
              Store());
}

TEST_F(UsageReportTest, FailedBeaconIsSavedAndOnlyTheLatestReportStays)
{
    analytics.Answer(R"({"measurement": 1})", AnalyticsStub::kCutConnection);
    devices.Add(0x0010, "Deck Unit 2", nullptr);
    AppInfo first = Start("SDJP");
    AppInfo second = Start("Traktor");
    testing::internal::CaptureStderr();
    EXPECT_EQ(1, sendData(mac, devices.list.devices[0], first));
    EXPECT_EQ(1, sendData(mac, devices.list.devices[0], second));
    testing::internal::GetCapturedStderr();
    std::map<std::string, std::string> store = Store();
    EXPECT_EQ("Traktor", store["appConnected"]);
    EXPECT_EQ("Deck Unit 2/1.23", store["deviceSerial"]);
    EXPECT_EQ("0", store["doesSend"]);
}

TEST_F(UsageReportTest, DeviceBytesBecomeLatin1TextInTheReport)
{
    analytics.Answer(R"({"measurement": 0})");
    devices.Add(0x0010, "D\xE9" "ck\x01", nullptr);
    AppInfo app = Start("SDJP");
    sendData(mac, devices.list.devices[0], app);
    EXPECT_EQ("D\xC3\xA9" "ck?/1.23", Store()["deviceSerial"]);
}

TEST_F(UsageReportTest, ResendWaitsWhileAWatchedApplicationRunsWithADevice)
{
    analytics.Answer(R"({"measurement": 0})");
    devices.Add(0x0010, "Deck Unit 2", nullptr);
    AppInfo app = Start("SDJP");
    sendData(mac, devices.list.devices[0], app);
    analytics.Answer(R"({"measurement": 1})");
    size_t gateRequests = analytics.Requests("/appchk.php").size();

    UpdateAppStatus(0, &devices.list);
    processes.push_back("  4243 ??       S      0:01 /Applications/Ableton Live 12.app/Contents/MacOS/Live");
    SendSavedInfo(&mac);
    EXPECT_NE(std::string::npos, home.Log().find("Save data not send: Ableton Live\n"));
    EXPECT_EQ(gateRequests, analytics.Requests("/appchk.php").size());
    EXPECT_EQ("0", Store()["doesSend"]);

    // A running application without a known device does not hold the resend back.
    DeviceList none;
    UpdateAppStatus(0, &none.list);
    SendSavedInfo(&mac);
    EXPECT_EQ("1", Store()["doesSend"]);
}

TEST_F(UsageReportTest, ResendCarriesTheCurrentHostAndMarksTheReportSent)
{
    analytics.Answer(R"({"measurement": 0})");
    SeedStore();
    devices.Add(0x0010, "Deck Unit 2", "SN1");
    AppInfo app = Start("SDJP");
    sendData(mac, devices.list.devices[0], app);
    std::map<std::string, std::string> saved = Store();

    // The gate still says no: nothing changes, the next resend tries again.
    SendSavedInfo(&mac);
    EXPECT_EQ(saved, Store());

    analytics.Answer(R"({"measurement": 1})");
    MacInfo now{"00000000-1111-4222-8333-444444444444", mac.processorName, mac.systemVersion};
    SendSavedInfo(&now);
    std::vector<picojson::object> beacons = analytics.Beacons();
    ASSERT_EQ(1u, beacons.size());
    EXPECT_EQ(now.hardwareUUID, AnalyticsStub::Param(beacons[0], "ktr_uid"));
    EXPECT_EQ("Deck%20Unit%202%2F1.23%2FSN1", AnalyticsStub::Param(beacons[0], "p01"));
    EXPECT_EQ(saved["agentName"], AnalyticsStub::Header(beacons[0], "User-Agent"));
    saved["doesSend"] = "1";
    EXPECT_EQ(saved, Store());

    debugLevel = 2;
    SendSavedInfo(&now);
    EXPECT_EQ(1u, analytics.Beacons().size());
    EXPECT_NE(std::string::npos, home.Log().find("Save data not send.(result=0, DoesSend=1)\n"));
}

TEST_F(UsageReportTest, NoUsableReportIsNotSent)
{
    debugLevel = 2;
    SendSavedInfo(&mac);
    SeedStore();
    SendSavedInfo(&mac);
    SeedStore("<key>agentName</key><string>x</string><key>doesSend</key><integer>0</integer>");
    SendSavedInfo(&mac);
    std::string log = home.Log();
    const std::string line = "Save data not send.(result=-1, DoesSend=1)\n";
    EXPECT_EQ(3u, Count(log, line)) << log;
    EXPECT_TRUE(analytics.Requests("/appchk.php").empty());
}

} // namespace
