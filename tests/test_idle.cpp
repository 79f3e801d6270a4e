// The idle step's tick arithmetic against a simulated clock.
#include <gtest/gtest.h>
#include <vector>

#include "kernel/kernel.h"

struct Turn {
    bool tick;
    int32_t game_time;
    bool frame;
};

// Runs idle turns at a fixed time until one draws a frame.
static std::vector<Turn> turns_until_frame(LoopClock *clock, int64_t now)
{
    std::vector<Turn> out;
    for (int guard = 0; guard < 100; guard++) {
        IdleStep s = kernel_idle_step(clock, now, 33);
        out.push_back({s.tick, s.game_time, s.frame});
        if (s.frame)
            break;
    }
    return out;
}

TEST(IdleStep, StallCatchesUpTicksBeforeTheNextFrame)
{
    LoopClock clock = {};
    std::vector<Turn> t = turns_until_frame(&clock, 100);
    ASSERT_EQ(t.size(), 3u) << "a 100 ms stall owes three ticks";
    EXPECT_TRUE(t[0].tick && !t[0].frame);
    EXPECT_EQ(t[0].game_time, 33);
    EXPECT_TRUE(t[1].tick && !t[1].frame);
    EXPECT_EQ(t[1].game_time, 66);
    EXPECT_TRUE(t[2].tick && t[2].frame) << "the frame comes with the third tick";
    EXPECT_EQ(t[2].game_time, 99);

    IdleStep s = kernel_idle_step(&clock, 100, 33);
    EXPECT_FALSE(s.tick) << "nothing more is owed";
    EXPECT_TRUE(s.frame);
    EXPECT_EQ(kernel_next_tick_time(&clock, 33), 132);
}

TEST(IdleStep, OnTimeLoopGivesOneTickPerPeriodAndFramesBetween)
{
    LoopClock clock = {};
    int ticks = 0, frames = 0;
    for (int64_t now = 0; now <= 330; now += 11) {
        IdleStep s = kernel_idle_step(&clock, now, 33);
        ticks += s.tick;
        frames += s.frame;
    }
    EXPECT_EQ(ticks, 10);
    EXPECT_EQ(frames, 31) << "a turn that is not behind always draws";
    EXPECT_EQ(clock.game_time, 330);
}

TEST(IdleStep, ReactivationResetsTheClockWithoutABurst)
{
    LoopClock clock = {};
    turns_until_frame(&clock, 66);
    ASSERT_EQ(clock.game_time, 66);
    // Away for five seconds: on return the clock restarts, game time carries on.
    kernel_clock_reset(&clock, 5066);
    IdleStep s = kernel_idle_step(&clock, 5066, 33);
    EXPECT_FALSE(s.tick);
    EXPECT_TRUE(s.frame);
    s = kernel_idle_step(&clock, 5100, 33);
    EXPECT_TRUE(s.tick);
    EXPECT_EQ(s.game_time, 99) << "game time counts only delivered periods";
    EXPECT_TRUE(s.frame);
}

TEST(IdleStep, NoTimerMeansAFrameEveryTurn)
{
    LoopClock clock = {};
    for (int64_t now : {0, 1000, 100000}) {
        IdleStep s = kernel_idle_step(&clock, now, 0);
        EXPECT_FALSE(s.tick);
        EXPECT_TRUE(s.frame);
    }
    EXPECT_EQ(clock.game_time, 0);
}
