// The downloader's preferences, the application watch and its usage reports, on stand-ins.
#include <regex>

#include "agent_home.h"
#include "dataCollector/app_watch.h"
#include "main/agent_loop.h"
#include "stub_server.h"

namespace {

class WatchTest : public AgentHome {
protected:
    static std::string Stored(const std::string& key)
    {
        std::smatch found;
        const std::string xml = ReadFileText(fetchwick::PreferencesPath());
        std::regex_search(xml, found, std::regex("<key>" + key + R"(</key>\s*<(?:string|integer)>([^<]*)<)"));
        return found[1];
    }
    std::string Param(size_t beacon, const char* name) const { return QueryParam(analytics_.Beacons().at(beacon), name); }

    AnalyticsStub analytics_;
    MacInfo mac_{"5A1B2C3D-0000-4111-8222-0123456789AB", "AMD EPYC", "Debian GNU/Linux 12"};
};

// Every read and write of the agent takes what is on disk then: the downloader rewrites the file at any time.
TEST_F(WatchTest, IntervalReadingsAndTheCheckDate)
{
    uint32_t interval = 99;
    // Before the downloader has run, neither the file nor its folder exists.
    EXPECT_EQ(0, writeFwVersionLastCheckDate("first"));
    EXPECT_EQ(0600u, Mode(fetchwick::PreferencesPath())) << "saved reports name devices by their serial numbers";
    EXPECT_EQ(0700u, Mode(std::filesystem::path(fetchwick::PreferencesPath()).parent_path()));
    // `size`: the file padded with NUL bytes to that many bytes; past 1 MiB it is no preferences file.
    const struct { std::string body; int result; uint32_t interval; size_t size = 0; } cases[] = {
        {"<key>FwInterval</key><string>14 days</string>", 0, 14},
        {"<key>FwInterval</key><real>3.9</real>", 0, 3},
        {"<key>FwInterval</key><date>2026-01-01T00:00:00Z</date>", -1, 0},
        {"<key>FwInterval</key><integer>5</integer>", 0, 5, 1 << 20},
        {"<key>FwInterval</key><integer>5</integer>", -1, 0, (1 << 20) + 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        WritePreferences(c.body);
        if (c.size != 0) {
            ASSERT_EQ(0, truncate(fetchwick::PreferencesPath().c_str(), static_cast<off_t>(c.size)));
        }
        EXPECT_EQ(c.result, readIntervalValue(interval));
        EXPECT_EQ(c.interval, interval);
    }
}

// A key is the product id and, above it, the serial number's hash: signed bytes shifted in by 3 bits, of which only
// the last six count. A device that leaves takes its states along, from both maps; one that stays keeps them; the
// key dump is written only when asked for.
TEST_F(WatchTest, TableKeysFollowTheDeviceList)
{
    using States = std::map<uint64_t, int8_t>;
    devices_.Add(0x0010, "Deck Unit 2", "abc").Add(0x0020, "Mixer 4", "\xE9").Add(0x0030, "Mixer 4", nullptr);
    UpdateAppStatus(0, devices_.list);
    EXPECT_EQ((States{{0x0030, 0}, {0x1BB30010, 0}, {0xFFE90020, 0}}), _appStatus[6].execStatus);
    _appStatus[6].execStatus = _appStatus[6].lastExecStatus = {{0x0030, 1}, {0x1BB30010, 0}, {0xFFE90020, 1}};
    devices_.Clear();
    devices_.Add(0x0020, "Mixer 4", "\xE9").Add(0x0040, "FX 1", "0123456789abc");
    UpdateAppStatus(1, devices_.list);
    EXPECT_EQ((States{{0xFFE90020, 1}, {0x8DB30040, 0}}), _appStatus[6].execStatus);
    EXPECT_EQ(_appStatus[6].execStatus, _appStatus[6].lastExecStatus);
    EXPECT_EQ((States{{0xFFE90020, 0}, {0x8DB30040, 0}}), _appStatus[0].lastExecStatus);
    UpdateAppStatus(0, devices_.list);
    EXPECT_EQ(1u, Count(home_.Log(), "  ProductId = 0x0020  SerialHash = 0xffe9\n"));
    NotifyDeviceConnect(true);
    EXPECT_EQ(2u, _appStatus[6].lastExecStatus.size());
}

// One report per application start and device key (units sharing a key share one), a new one after a replug.
TEST_F(WatchTest, OneReportPerStartApplicationAndDevice)
{
    devices_.Add(0x0010, "Deck Unit 2", "A123456").Add(0x0010, "Deck Unit 2", "B123456").Add(0x0020, "Mixer 4", nullptr);
    const struct { bool running; bool replug; size_t beacons; } steps[] = {
        {false, false, 0}, {true, false, 2}, {true, false, 2}, {false, false, 2}, {true, false, 4}, {true, true, 6}};
    for (const auto& step : steps) {
        processes_.assign(step.running, "  4242 ??  S  0:01 /Applications/Serato DJ Pro.app/Contents/MacOS/Serato DJ Pro");
        if (step.replug) {
            NotifyDeviceConnect(false);
        }
        // One application watch of the tick: the table follows the list, then the collection.
        UpdateAppStatus(0, devices_.list);
        CollectAppInfo(&mac_, &devices_.list);
        EXPECT_EQ(step.beacons, analytics_.Beacons().size());
    }
    // In ascending key order: the device without a serial number comes first here.
    EXPECT_EQ("Mixer%204%2F1.23", Param(0, "p01"));
    EXPECT_EQ("Deck%20Unit%202%2F1.23%2FA123456", Param(1, "p01"));
}

// A failed beacon or a closed gate saves the report with "doesSend" 0; the resend waits while a watched
// application runs with a known device, goes out with today's uid and sets "doesSend" to 1, other keys kept.
// The user's DO_NOT_TRACK stops all of it.
TEST_F(WatchTest, SavedAndResendRules)
{
    WritePreferences("<key>FwInterval</key><integer>7</integer>");
    devices_.Add(0x0010, "D\xE9" "ck\x01", "SN1", 0x1234);
    analytics_.Answer(R"({"measurement": 1})", kCutConnection);
    AppInfo app{"Traktor", "2024/03/05-14:07:09(+0900)", ""};
    EXPECT_EQ(1, sendData(mac_, devices_.list.devices[0], app));  // cut: saved, as the usage road's stop shows
    analytics_.Answer(R"({"measurement": 0})");
    app.appCode = "SDJP";
    EXPECT_EQ(-1, sendData(mac_, devices_.list.devices[0], app));
    SendSavedInfo(&mac_);
    EXPECT_EQ("0", Stored("doesSend"));
    const size_t asked = analytics_.requests().size();
    {
        ScopedConfiguration doNotTrack([](oslib::Configuration& c) { c.doNotTrack = true; });
        app.appCode = "VirtualDJ";
        EXPECT_EQ(-1, sendData(mac_, devices_.list.devices[0], app));
        SendSavedInfo(&mac_);
    }
    EXPECT_EQ(asked, analytics_.requests().size());
    const size_t beaconsBefore = analytics_.Beacons().size();

    analytics_.Answer(R"({"measurement": 1})");
    {
        oslib::MutexLock guard(_lock);
        CopyDevicesInfo(&_usbQnlAllDevInfo, &devices_.list);
    }
    processes_.push_back("  4243 ??  S  0:01 /Applications/Ableton Live 12.app/Contents/MacOS/Live");
    DefaultTickJobs().resendSavedInfo();  // the agent's own: the table follows its device list first
    NotifyDeviceConnect(false);
    MacInfo now{"00000000-1111-4222-8333-444444444444", "Other CPU", "Other OS"};
    SendSavedInfo(&now);
    SendSavedInfo(&now);
    ASSERT_EQ(beaconsBefore + 1, analytics_.Beacons().size());
    EXPECT_EQ(now.hardwareUUID, Param(beaconsBefore, "ktr_uid"));
    EXPECT_EQ("D%C3%A9ck%3F%2F18.34%2FSN1", Param(beaconsBefore, "p01"));
    EXPECT_NE(std::string::npos, Header(analytics_.Beacons().back(), "User-Agent").find("ck? FirmwareUpdate/Debian"));
    EXPECT_EQ("SDJP|1|7", Stored("appConnected") + "|" + Stored("doesSend") + "|" + Stored("FwInterval"));
}

} // namespace
