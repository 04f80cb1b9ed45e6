// Rescans and firmware decisions on one thread against the tick's downloads, self-update
// check, application watch and resend on the other; two writers at once: log lines never
// torn, preferences keys never lost. Built under ThreadSanitizer too.
#include <atomic>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "agent_home.h"
#include "main/agent_loop.h"
#include "platform/process.h"
#include "stub_server.h"

namespace {

class DeviceChangeThread : public AgentHome {
protected:
    void SetUp() override
    {
        platform::SetProcessSnapshotSource([] {
            return std::make_unique<platform::ProcessLines>(std::vector<std::string>{
                "  4242 ??       S      0:01 /Applications/Serato DJ Pro.app/Contents/MacOS/Serato DJ Pro"});
        });
        PointListsAt(lists_.base());
        InstallRecordingDownloader();
        InstallUpdaterVersion("1.00");
    }

    FakeBus& bus_ = InstallFakeBus();
    StubServer lists_{R"({"/fw": {"body": "FormatVersion:091\nDeck Unit 2, 124, mac, https://fw/deck.bin\n)"
                      R"(Tidewell, 102, mac, https://fw/tw.pkg\n"},
                         "/pl": {"body": "FormatVersion:091\n"}})",
                      StubServer::Tls::TrustedCa};
    ScopedEnv ca_{"CURL_CA_BUNDLE", lists_.caFile()};
    ScopedEnv analytics_{"TIDEWELL_ANALYTICS_HOST", "127.0.0.1:" + std::to_string(UnusedLocalPort())};
};

TEST_F(DeviceChangeThread, RescansRaceTheTickAndBothGoOnWorking)
{
    const DeviceModel deck{0x1234, u"Deck Unit 2", u"A1", 0x0110};
    const std::vector<std::vector<DeviceModel>> plugs = {{}, {deck}};
    // Lists of today: the first download comes with the first day that passes (every 100 ticks).
    WriteFileText(fwVerInfoTxtPath, "FormatVersion:091\nDeck Unit 2, 124, mac, https://fw/deck.bin\n");

    AgentLoop loop(DefaultTickJobs());
    time_t now = 1700000000;
    auto plug = [&](std::vector<DeviceModel> devices) {
        bus_.plugged.clear();
        for (const DeviceModel& device : devices) {
            bus_.Plug(device);
        }
        onDeviceChange(0, 0, nullptr, nullptr);
    };

    std::atomic<bool> rescansDone{false};
    std::thread deviceChange([&] {
        for (size_t i = 0; i < 40; ++i) {
            plug(plugs[i % plugs.size()]);
        }
        plug({deck});
        rescansDone = true;
    });
    for (int tick = 1; tick <= 610 || !rescansDone; ++tick) {
        now += tick % 100 == 0 ? 86401 : 1;
        loop.Tick(now);
        platform::ReapDetachedChildren();
    }
    deviceChange.join();

    EXPECT_EQ(1, _usbQnlDevInfo.deviceCount);
    EXPECT_NE(std::string::npos, ReadFileText(Launches()).find("-f \n"));
    EXPECT_NE(std::string::npos, home_.Log().find("[INF] SDJP start time = ")) << "the watch reported a pairing";
}

using Writers = AgentHome;

TEST_F(Writers, LogLinesNeverTorn)
{
    auto writer = [](char c) {
        for (int i = 0; i < 200; ++i) {
            LogPrintf(3, "a.cpp", 1, "%s\n", std::string(300, c).c_str());
        }
    };
    std::thread a(writer, 'a');
    writer('b');
    a.join();
    std::istringstream in(home_.Log());
    int count = 0;
    for (std::string text; std::getline(in, text); ++count) {
        EXPECT_TRUE(std::regex_match(text, std::regex(R"(^\[[0-9/ :]{19}\]\[INF\] (a{300}|b{300})$)"))) << text;
    }
    EXPECT_EQ(400, count);
}

// The device-change thread stores "lastCheckDate" while the tick saves a usage report.
TEST_F(Writers, LastCheckDateAndSavedReportKeepEachOther)
{
    for (int round = 0; round < 20; ++round) {
        std::remove(FetchwickPreferencesPath().c_str());
        std::thread deviceChange([] {
            for (int i = 0; i < 10; ++i) {
                writeFwVersionLastCheckDate("2026-12-06 11:22:3" + std::to_string(i));
            }
        });
        for (int i = 0; i < 10; ++i) {
            _xdate_send_info_t report{"uid", "agent", "291", "Deck/1.23/A" + std::to_string(i), "SDJP", "date"};
            saveData(&report);
        }
        deviceChange.join();
        const std::string stored = ReadFileText(FetchwickPreferencesPath());
        ASSERT_NE(std::string::npos, stored.find("<string>2026-12-06 11:22:39</string>")) << round;
        ASSERT_NE(std::string::npos, stored.find("<string>Deck/1.23/A9</string>")) << round;
    }
}

} // namespace
