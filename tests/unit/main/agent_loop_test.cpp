#include <gtest/gtest.h>

#include <vector>

#include "main/agent_loop.h"
#include "main/main.h"

namespace {

// Records which job ran at which tick.
struct Recorder {
    int tick = 0;
    std::vector<double> downloadElapsed;
    std::vector<int> retries, resends, watches, idles;
    bool downloadResult = false;
    bool retryResult = false;

    TickJobs Jobs()
    {
        return TickJobs{[this](double elapsed) {
                            downloadElapsed.push_back(elapsed);
                            return downloadResult;
                        },
                        [this] {
                            retries.push_back(tick);
                            return retryResult;
                        },
                        [this] { resends.push_back(tick); }, [this] { watches.push_back(tick); },
                        [this] { idles.push_back(tick); }};
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
