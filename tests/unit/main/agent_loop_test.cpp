#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "main/agent_loop.h"
#include "main/main.h"

namespace {

// Each row is one alarm at kStart + at; the seconds before it since the previous row tick
// unchecked with the row's device state. `ran` lists the tick's jobs as "d<elapsed> r s w i"
// (download, retry, resend, watch, idle clearing), empty when the one-second guard skipped
// the work; the job `stopIn` asks for a stop, which ends the tick before the next job.
TEST(AgentLoop, RhythmOfTheJobs)
{
    // Blocked as in the agent: a stop asked for during a job waits as pending.
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &term, nullptr);
    const struct { int at, connect; char succeeds, stopIn; const char* ran; } rows[] = {
        {1, 0, 0, 0, "d0 r i"},       {3, 0, 'd', 0, "d2 r i"},          {4, 0, 0, 0, "d1 r i"},
        {5, 0, 'r', 0, "d2 r i"},     {6, 0, 0, 0, "d1 r i"},            {6, 0, 0, 0, ""},
        {10, 1, 0, 0, "d5 r"},        {11, 0, 0, 0, "d6 r i"},           {21, 1, 0, 0, "d16 r w"},
        {601, 1, 0, 'd', "d596"},     {602, 1, 0, 'r', "d597 r"},        {603, 1, 0, 's', "d598 r s"},
        {613, 1, 0, 0, "d608 r w"},   {1203, 1, 0, 0, "d1198 r s w"},    {-3000, 1, 0, 0, ""},
        {-2999, 1, 0, 0, "d-3004 r"},
    };
    constexpr time_t kStart = 1700000000;
    std::string ran;
    char succeeds = 0, stopIn = 0;
    auto job = [&](char name, const std::string& text) {
        ran += (ran.empty() ? "" : " ") + text;
        if (name == stopIn) {
            raise(SIGTERM);
        }
        return name == succeeds;
    };
    AgentLoop loop(TickJobs{[&](double elapsed) { return job('d', "d" + std::to_string(static_cast<int>(elapsed))); },
                            [&] { return job('r', "r"); }, [&] { job('s', "s"); }, [&] { job('w', "w"); },
                            [&] { job('i', "i"); }});
    int last = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.at);
        _connect = row.connect;
        for (int at = last + 1; at < row.at; ++at) {
            EXPECT_TRUE(loop.Tick(kStart + at));
        }
        ran.clear();
        succeeds = row.succeeds;
        stopIn = row.stopIn;
        EXPECT_EQ(*row.ran != '\0', loop.Tick(kStart + row.at));
        EXPECT_EQ(row.ran, ran);
        const timespec now{};
        EXPECT_EQ(row.stopIn != 0 ? SIGTERM : -1, sigtimedwait(&term, nullptr, &now));
        succeeds = stopIn = 0;
        last = row.at;
    }
    pthread_sigmask(SIG_UNBLOCK, &term, nullptr);
    _connect = 0;
}

} // namespace
