// The application watch and the usage reports it sends, saves and sends again, against a
// stand-in process list and the analytics stand-in.
#include <gtest/gtest.h>

#include "agent_home.h"
#include "stub_server.h"
#include "device_list.h"
#include "main/main.h"
#include "platform/plist_file.h"
#include "platform/process_list.h"
#include "test_home.h"

namespace {

class WatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MakeFolders(home_.file("Library/Application Support/Quenlar"));
        platform::SetProcessSnapshotSource([this] { return std::make_unique<platform::ProcessLines>(processes_); });
    }
    void TearDown() override
    {
        platform::SetProcessSnapshotSource(nullptr);
        NotifyDeviceConnect(false);
        debugLevel = 3;
    }

    // One application watch of the tick: the table follows the list, then the collection.
    void Collect()
    {
        UpdateAppStatus(0, &devices_.list);
        CollectAppInfo(&mac_, &devices_.list);
    }
    void Run(const std::string& app)
    {
        processes_.push_back("  4242 ??       S      0:01 /Applications/" + app + ".app/Contents/MacOS/" + app);
    }
    std::string Stored(const char* key) const
    {
        std::string value;
        platform::PlistPtr dict = platform::ReadPlistDictionary(FetchwickPreferencesPath());
        if (dict && !platform::PlistDictString(dict.get(), key, value)) {
            uint64_t number = 0;
            plist_get_uint_val(plist_dict_get_item(dict.get(), key), &number);
            value = std::to_string(number);
        }
        return value;
    }
    std::string Param(size_t beacon, const char* name) const
    {
        return QueryParam(analytics_.Beacons().at(beacon), name);
    }
    int Send(const char* appCode)
    {
        AppInfo app{appCode, "2024/03/05-14:07:09(+0900)", ""};
        return sendData(mac_, devices_.list.devices[0], app);
    }

    TempHome home_;
    AnalyticsStub analytics_;
    std::vector<std::string> processes_;
    DeviceList devices_;
    MacInfo mac_{"5A1B2C3D-0000-4111-8222-0123456789AB", "AMD EPYC", "Debian GNU/Linux 12"};
};

// A key is the product id and, above it, the hash of the serial number: each byte shifted
// in three bits, taken as signed.
TEST_F(WatchTest, TableKeysFollowTheDeviceList)
{
    devices_.Add(0x0010, "Deck Unit 2", "abc").Add(0x0020, "Mixer 4", "\xE9").Add(0x0030, "Mixer 4", nullptr);
    UpdateAppStatus(0, &devices_.list);
    EXPECT_EQ((std::map<uint64_t, int8_t>{{0x0030, 0}, {0x1BB30010, 0}, {0xFFE90020, 0}}), _appStatus[6].execStatus);
    _appStatus[2].execStatus[0x1BB30010] = 1;
    _appStatus[2].lastExecStatus[0x1BB30010] = 1;
    // Known keys keep their states; a device gone takes its key out of both maps.
    DeviceList fewer;
    fewer.Add(0x0010, "Deck Unit 2", "abc");
    UpdateAppStatus(1, &fewer.list);
    for (const AppExecStatus& row : _appStatus) {
        int8_t state = &row == &_appStatus[2];
        EXPECT_EQ((std::map<uint64_t, int8_t>{{0x1BB30010, state}}), row.execStatus) << row.appCode;
        EXPECT_EQ(row.execStatus, row.lastExecStatus) << row.appCode;
    }
    EXPECT_NE(std::string::npos, home_.Log().find("  ProductId = 0x0010  SerialHash = 0x1bb3\n"));
}

// One report per application start and device key; units sharing a key share one report.
TEST_F(WatchTest, OneReportPerStartApplicationAndDevice)
{
    devices_.Add(0x0010, "Deck Unit 2", "A123456").Add(0x0010, "Deck Unit 2", "B123456").Add(0x0020, "Mixer 4", nullptr);
    Collect();
    EXPECT_TRUE(analytics_.Beacons().empty());
    Run("Serato DJ Pro");
    Collect();
    ASSERT_EQ(2u, analytics_.Beacons().size());
    // In ascending key order: the device without a serial number comes first here.
    EXPECT_EQ("Mixer%204%2F1.23", Param(0, "p01"));
    EXPECT_EQ("Deck%20Unit%202%2F1.23%2FA123456", Param(1, "p01"));
    EXPECT_EQ("SDJP", Param(1, "p02"));
    EXPECT_EQ(Param(0, "p03"), Param(1, "p03"));
    EXPECT_NE(std::string::npos, home_.Log().find("SDJP start time = " + Param(0, "p03") + "\n"));

    const struct {
        bool running;
        bool replug;
        size_t beacons;
    } steps[] = {{true, false, 2}, {false, false, 2}, {true, false, 4}, {true, true, 6}};
    for (const auto& step : steps) {
        processes_.clear();
        if (step.running) {
            Run("Serato DJ Pro");
        }
        if (step.replug) {
            NotifyDeviceConnect(false);
        }
        Collect();
        EXPECT_EQ(step.beacons, analytics_.Beacons().size());
    }
    EXPECT_NE(std::string::npos, home_.Log().find("SDJP end time = "));
}

TEST_F(WatchTest, ReportSavedWhenTheGateSaysNoOrTheBeaconFails)
{
    WriteFileText(FetchwickPreferencesPath(),
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                  "<key>FwInterval</key><integer>7</integer></dict></plist>\n");
    devices_.Add(0x0010, "D\xE9" "ck\x01", "SN1", 0x1234);
    analytics_.Answer(R"({"measurement": 0})");
    EXPECT_EQ(-1, Send("SDJP"));
    EXPECT_TRUE(analytics_.Beacons().empty());
    const std::map<std::string, std::string> expected = {
        {"agentName", "D\xC3\xA9" "ck? FirmwareUpdate/Debian GNU/Linux 12/AMD EPYC"},
        {"deviceVersion", "4660"}, {"deviceSerial", "D\xC3\xA9" "ck?/18.34/SN1"}, {"appConnected", "SDJP"},
        {"dateConnected", "2024/03/05-14:07:09(+0900)"}, {"doesSend", "0"}, {"FwInterval", "7"}};
    for (const auto& [key, value] : expected) {
        EXPECT_EQ(value, Stored(key.c_str())) << key;
    }

    analytics_.Answer(R"({"measurement": 1})", kCutConnection);
    testing::internal::CaptureStderr();
    EXPECT_EQ(1, Send("Traktor"));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ("Traktor", Stored("appConnected"));
    EXPECT_EQ("0", Stored("doesSend"));
    EXPECT_EQ("7", Stored("FwInterval"));
}

TEST_F(WatchTest, ResendRules)
{
    debugLevel = 2;
    SendSavedInfo(&mac_);
    EXPECT_NE(std::string::npos, home_.Log().find("Save data not send.(result=-1, DoesSend=1)\n"));
    devices_.Add(0x0010, "Deck Unit 2", "SN1");
    analytics_.Answer(R"({"measurement": 0})");
    Send("SDJP");
    // The gate still says no: the next resend tries again.
    SendSavedInfo(&mac_);
    EXPECT_EQ("0", Stored("doesSend"));

    // A watched application running with a known device holds the resend back; one
    // without a known device does not.
    analytics_.Answer(R"({"measurement": 1})");
    size_t gateRequests = analytics_.requests("/appchk.php").size();
    UpdateAppStatus(0, &devices_.list);
    processes_.push_back("  4243 ??       S      0:01 /Applications/Ableton Live 12.app/Contents/MacOS/Live");
    SendSavedInfo(&mac_);
    EXPECT_NE(std::string::npos, home_.Log().find("Save data not send: Ableton Live\n"));
    EXPECT_EQ(gateRequests, analytics_.requests("/appchk.php").size());
    NotifyDeviceConnect(false);

    std::string agentName = Stored("agentName");
    MacInfo now{"00000000-1111-4222-8333-444444444444", mac_.processorName, mac_.systemVersion};
    SendSavedInfo(&now);
    ASSERT_EQ(1u, analytics_.Beacons().size());
    EXPECT_EQ(now.hardwareUUID, Param(0, "ktr_uid"));
    EXPECT_EQ("Deck%20Unit%202%2F1.23%2FSN1", Param(0, "p01"));
    EXPECT_EQ(agentName, Header(analytics_.Beacons()[0], "User-Agent"));
    EXPECT_EQ("1", Stored("doesSend"));
    EXPECT_EQ("SDJP", Stored("appConnected"));

    SendSavedInfo(&now);
    EXPECT_EQ(1u, analytics_.Beacons().size());
    EXPECT_NE(std::string::npos, home_.Log().find("Save data not send.(result=0, DoesSend=1)\n"));
}

} // namespace
