// The device watcher's thread against its monitor's errors; two writers at once: log lines never torn, preferences
// keys never lost. Built under ThreadSanitizer too; the agent's own two threads run there in the end-to-end tests.
#include <deque>
#include <future>
#include <regex>
#include <set>
#include <vector>

#include "agent_home.h"
#include "platform/linux/device_watcher_udev.h"

namespace {

// poll and receive answer from a script (poll: 1 the monitor is readable, 0 timed out, else -errno; receive:
// the errno of each null reply, then EAGAIN), then poll waits for the stop alone. Pauses: the stop-only waits
// before the monitor is replaced, of a second; a burst's quiet spell is 150 ms.
TEST(UdevDeviceWatcher, OverflowIsAChangeFailuresAreLoggedOnceAndTheMonitorReplaced)
{
    const struct { const char* name; std::deque<int> polls, receives; bool rescanThrows;
                   std::vector<size_t> changesLoggedPauses; } cases[] = {
        {"timed out", {0}, {}, false, {0, 0, 0}},
        {"poll fails twice", {-ENOMEM, 0, -ENOMEM, 0, 0}, {}, false, {1, 1, 2}},
        {"receive fails", {1, 0, 1, 0}, {EIO, ENOBUFS, EAGAIN}, false, {1, 1, 1}},
        // Failing again before any read succeeded: no second line, but the failure and the overflow still count.
        {"receive fails after an overflow", {1, 0, 0, 1, 0, 0}, {EIO, ENOBUFS, EIO}, false, {2, 1, 2}},
        {"receive fails again after its rescan", {1, 0, 0, 1, 0, 0}, {EIO, EIO}, false, {2, 1, 2}},
        {"rescan throws", {1, 0, 1, 0}, {ENOBUFS, EAGAIN, ENOBUFS, EAGAIN}, true, {2, 2, 0}},
    };
    std::set<int> timeouts;
    for (auto c : cases) {
        SCOPED_TRACE(c.name);
        // The scripts are the watcher thread's alone until Stop has joined it.
        std::promise<void> spent;
        size_t changes = 0, pauses = 0;
        platform::UdevWatcherCalls calls;
        calls.poll = [&](pollfd* fds, nfds_t count, int timeout) {
            timeouts.insert(timeout);
            if (c.polls.empty()) {
                spent.set_value();
                return ::poll(&fds[count - 1], 1, -1);  // the stop's descriptor comes last
            }
            const int result = c.polls.front();
            c.polls.pop_front();
            pauses += count == 1;
            fds[0].revents = result > 0 ? POLLIN : 0;
            errno = std::max(-result, 0);
            return std::max(result, -1);
        };
        calls.receive = [&](udev_monitor*) -> udev_device* {
            const int error = c.receives.empty() ? EAGAIN : c.receives.front();
            if (!c.receives.empty()) {
                c.receives.pop_front();
            }
            errno = error;
            return nullptr;
        };
        testing::internal::CaptureStderr();
        std::unique_ptr<platform::DeviceWatcher> watcher = platform::MakeUdevDeviceWatcher(calls);
        EXPECT_TRUE(watcher->Start([&] {
            ++changes;
            if (c.rescanThrows) {
                throw std::runtime_error("rescan");
            }
        }));
        spent.get_future().wait();
        watcher->Stop();
        const std::string logged = testing::internal::GetCapturedStderr();
        EXPECT_EQ(c.changesLoggedPauses, (std::vector<size_t>{changes, Count(logged, "\n"), pauses})) << logged;
    }
    EXPECT_EQ((std::set<int>{-1, 150, 1000}), timeouts);
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
    const std::string log = home_.Log();
    EXPECT_EQ(400u, Count(log, "\n"));
    EXPECT_EQ("", std::regex_replace(log, std::regex(R"(\[[0-9/ :]{19}\]\[INF\] (a{300}|b{300})\n)"), "")) << "torn";
}

// The device-change thread stores "lastCheckDate" while the tick saves a usage report.
TEST_F(Writers, LastCheckDateAndSavedReportKeepEachOther)
{
    for (int round = 0; round < 20; ++round) {
        std::remove(fetchwick::PreferencesPath().c_str());
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
        const std::string stored = ReadFileText(fetchwick::PreferencesPath());
        ASSERT_NE(std::string::npos, stored.find("<string>2026-12-06 11:22:39</string>")) << round;
        ASSERT_NE(std::string::npos, stored.find("<string>Deck/1.23/A9</string>")) << round;
    }
}

} // namespace
