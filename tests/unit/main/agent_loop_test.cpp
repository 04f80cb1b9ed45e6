#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "main/agent_loop.h"
#include "main/main.h"

namespace {

// Records which job ran at which tick; the job named `stopIn` asks for a stop at `stopTick`.
struct Recorder {
    int tick = 0;
    std::vector<double> downloadElapsed;
    std::vector<int> retries, resends, watches, idles;
    bool downloadResult = false;
    bool retryResult = false;
    int stopTick = 0;
    std::string stopIn;

    TickJobs Jobs()
    {
        return TickJobs{[this](double elapsed) {
                            downloadElapsed.push_back(elapsed);
                            Ran("download");
                            return downloadResult;
                        },
                        [this] {
                            retries.push_back(tick);
                            Ran("retry");
                            return retryResult;
                        },
                        [this] {
                            resends.push_back(tick);
                            Ran("resend");
                        },
                        [this] { watches.push_back(tick); }, [this] { idles.push_back(tick); }};
    }
    void Ran(const std::string& job)
    {
        if (tick == stopTick && job == stopIn) {
            raise(SIGTERM);
        }
    }
};

class AgentLoopTest : public ::testing::Test {
protected:
    void TearDown() override { _connect = 0; }

    // Runs ticks 1..count, one second apart.
    void RunTicks(AgentLoop& loop, int count)
    {
        for (int i = 0; i < count; ++i) {
            ++recorder.tick;
            EXPECT_TRUE(loop.Tick(kStart + recorder.tick));
        }
    }

    static constexpr time_t kStart = 1700000000;
    Recorder recorder;
};

TEST_F(AgentLoopTest, WatchStartsAtTickElevenAndResendAtTick601)
{
    _connect = 1;
    AgentLoop loop(recorder.Jobs());
    RunTicks(loop, 1201);
    ASSERT_GE(recorder.watches.size(), 3u);
    EXPECT_EQ(11, recorder.watches[0]);
    EXPECT_EQ(21, recorder.watches[1]);
    EXPECT_EQ(120u, recorder.watches.size());
    EXPECT_EQ((std::vector<int>{601, 1201}), recorder.resends);
    EXPECT_TRUE(recorder.idles.empty());
}

TEST_F(AgentLoopTest, WithoutDeviceEveryTickClearsAndNoWatchRuns)
{
    AgentLoop loop(recorder.Jobs());
    RunTicks(loop, 30);
    EXPECT_EQ(30u, recorder.idles.size());
    EXPECT_TRUE(recorder.watches.empty());

    // The watch counter kept its rhythm meanwhile.
    _connect = 1;
    RunTicks(loop, 11);
    EXPECT_EQ((std::vector<int>{31, 41}), recorder.watches);
}

TEST_F(AgentLoopTest, DownloadSeesSecondsSinceItsLastReport)
{
    AgentLoop loop(recorder.Jobs());
    RunTicks(loop, 3);
    EXPECT_EQ((std::vector<double>{0, 1, 2}), recorder.downloadElapsed);

    recorder.downloadResult = true;
    RunTicks(loop, 1);
    recorder.downloadResult = false;
    RunTicks(loop, 2);
    EXPECT_EQ((std::vector<double>{0, 1, 2, 3, 1, 2}), recorder.downloadElapsed);

    recorder.retryResult = true;
    RunTicks(loop, 1);
    recorder.retryResult = false;
    RunTicks(loop, 1);
    EXPECT_EQ(1, recorder.downloadElapsed.back());
    // The retry is asked on every tick, whatever the download answered.
    EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}), recorder.retries);
}

TEST_F(AgentLoopTest, PendingStopEndsTheTickBetweenJobs)
{
    // Blocked as in the agent, so that a stop asked for during a job waits as pending.
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &term, nullptr);
    _connect = 1;
    struct Case {
        const char* stopIn;
        size_t retries, resends;
    };
    for (const Case& c : {Case{"download", 600, 0}, Case{"retry", 601, 0}, Case{"resend", 601, 1}}) {
        SCOPED_TRACE(c.stopIn);
        recorder = Recorder{};
        recorder.stopTick = 601;
        recorder.stopIn = c.stopIn;
        AgentLoop loop(recorder.Jobs());
        RunTicks(loop, 601);
        EXPECT_EQ(c.retries, recorder.retries.size());
        EXPECT_EQ(c.resends, recorder.resends.size());
        EXPECT_EQ(591, recorder.watches.back()) << "a watch ran at the stopped tick 601";
        const timespec now{};
        EXPECT_EQ(SIGTERM, sigtimedwait(&term, nullptr, &now));
    }
    pthread_sigmask(SIG_UNBLOCK, &term, nullptr);
}

TEST_F(AgentLoopTest, SecondAlarmWithinTheSameSecondDoesNoWork)
{
    AgentLoop loop(recorder.Jobs());
    EXPECT_TRUE(loop.Tick(kStart));
    EXPECT_FALSE(loop.Tick(kStart));
    EXPECT_TRUE(loop.Tick(kStart + 1));
    EXPECT_EQ(2u, recorder.idles.size());
}

TEST_F(AgentLoopTest, ClockSetBackSkipsOneTickThenGoesOn)
{
    AgentLoop loop(recorder.Jobs());
    EXPECT_TRUE(loop.Tick(kStart));
    EXPECT_FALSE(loop.Tick(kStart - 3600));
    EXPECT_TRUE(loop.Tick(kStart - 3599));
    EXPECT_TRUE(loop.Tick(kStart - 3598));
    EXPECT_EQ(3u, recorder.idles.size());
}

} // namespace
