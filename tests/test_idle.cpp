// The idle step's tick arithmetic against a simulated clock.
#include "kernel/kernel.h"
#include "tests/support.h"

using Turn = std::tuple<bool, int32_t, bool>;  // tick, game time, frame

// Runs idle turns at a fixed time until one draws a frame; game time counts only with a tick.
static std::vector<Turn> turns_until_frame(LoopClock *clock, int64_t now, int32_t period = 33)
{
    std::vector<Turn> out;
    for (int guard = 0; guard < 100; guard++) {
        IdleStep s = kernel_idle_step(clock, now, period);
        out.push_back({s.tick, s.tick ? s.game_time : 0, s.frame});
        if (s.frame)
            break;
    }
    return out;
}

TEST(IdleStep, TicksCatchUpAfterAStallResetWithoutABurstAndFramesFollow)
{
    LoopClock clock = {};
    EXPECT_EQ(turns_until_frame(&clock, 100), (std::vector<Turn>{{true, 33, false}, {true, 66, false}, {true, 99, true}}))
        << "a 100 ms stall owes three ticks; the frame comes with the third";
    EXPECT_EQ(turns_until_frame(&clock, 100), (std::vector<Turn>{{false, 0, true}})) << "nothing more is owed";
    EXPECT_EQ(kernel_next_tick_time(&clock, 33), 132);

    // Away for five seconds: on return the clock restarts, game time carries on.
    kernel_clock_reset(&clock, 5100);
    EXPECT_EQ(turns_until_frame(&clock, 5100), (std::vector<Turn>{{false, 0, true}}));
    EXPECT_EQ(turns_until_frame(&clock, 5133), (std::vector<Turn>{{true, 132, true}}))
        << "game time counts only delivered periods";

    // On time: one tick a period, and a frame every turn that is not behind; without a
    // timer, a frame every turn.
    LoopClock ontime = {}, untimed = {};
    int ticks = 0, frames = 0;
    for (int64_t now = 0; now <= 330; now += 11) {
        IdleStep s = kernel_idle_step(&ontime, now, 33);
        ticks += s.tick;
        frames += s.frame;
    }
    EXPECT_EQ(ticks, 10);
    EXPECT_EQ(frames, 31) << "a turn that is not behind always draws";
    EXPECT_EQ(ontime.game_time, 330);
    for (int64_t now : {0, 1000, 100000})
        EXPECT_EQ(turns_until_frame(&untimed, now, 0), (std::vector<Turn>{{false, 0, true}})) << now;
    EXPECT_EQ(untimed.game_time, 0);
}
