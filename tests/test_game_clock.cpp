// The kernel clock from the first moment on: ticks follow the activation that ends
// start-up, however long start-up took, both in the kernel's own loop turned on the game
// clock and in a whole game replayed on the journal's virtual clock.
#include <vector>

#include "kernel/kernel.h"
#include "platform/loop.h"
#include "platform/platform.h"
#include "tests/toolkit_env.h"

namespace {

struct Tick {
    int64_t at;         // the game clock when the tick was delivered
    int32_t game_time;  // what it carried
};
std::vector<Tick> ticks_seen;
int32_t frames_seen;

void record(const IoEvent *e)
{
    if (e->code == IO_TIMER)
        ticks_seen.push_back({io_time(), (int32_t)e->a});
    frames_seen += e->code == IO_FRAME;
}

void dispatch(InputKind kind)
{
    PlatformInput in = {};
    in.kind = kind;
    kernel_dispatch_input(&in);
}

class GameClock : public ToolkitTest {
protected:
    void SetUp() override
    {
        // As the game does it: the clock runs before start-up does, and here it moves
        // only when the test says so.
        io_clock_start(true);
        ToolkitTest::SetUp();
        dispatch(InputKind::Deactivate);  // so the activation below is one
        ticks_seen.clear();
        frames_seen = 0;
    }
    void TearDown() override
    {
        io_set_event_tap(nullptr);
        platform_down();
        ToolkitTest::TearDown();
        io_clock_start(false);
    }
    // Turns of the kernel's loop every 11 ms of the game clock, from now to `until`.
    static void run_until(int64_t until)
    {
        for (int64_t t = io_time(); t <= until; t += 11) {
            io_clock_advance(t);
            kernel_loop_turn();
        }
    }
    // The ticks seen from `first` on: at the times of the clock they came, and their game
    // times counted from the first of them.
    static std::vector<std::pair<int64_t, int32_t>> ticks_from(size_t first)
    {
        std::vector<std::pair<int64_t, int32_t>> out;
        for (size_t i = first; i < ticks_seen.size(); i++)
            out.push_back({ticks_seen[i].at, ticks_seen[i].game_time - ticks_seen[first].game_time});
        return out;
    }
};

TEST_F(GameClock, TicksFollowTheActivationHoweverLongStartUpTook)
{
    // Start-up took five seconds on the clock; the window then comes up active.
    io_clock_advance(5000);
    platform_up();
    io_set_event_tap(record);
    run_until(5000 + 4 * 33);
    using Ticks = std::vector<std::pair<int64_t, int32_t>>;
    EXPECT_EQ(ticks_from(0), (Ticks{{5033, 0}, {5066, 33}, {5099, 66}, {5132, 99}}))
        << "a tick every 33 ms from the activation on: none owed for the start-up, none held back by it";
    EXPECT_GE(frames_seen, 4) << "frames go on between the ticks";

    // Away for three seconds and back: the clock starts again from the return, and game
    // time goes on from where it was.
    dispatch(InputKind::Deactivate);
    kernel_loop_turn();  // inactive: neither tick nor frame
    io_clock_advance(8150);
    dispatch(InputKind::Activate);
    size_t before = ticks_seen.size();
    run_until(8150 + 2 * 33);
    EXPECT_EQ(before, 4u) << "no ticks while away";
    EXPECT_EQ(ticks_from(before - 1), (Ticks{{5132, 0}, {8183, 33}, {8216, 66}}))
        << "no burst for the time away";
}

// The ticks and frames of "main loop: T ticks, F frames" in a log; -1 without the line.
std::pair<long, long> loop_figures(const std::string &log)
{
    long ticks = -1, frames = -1;
    size_t at = log.find("main loop: ");
    if (at != std::string::npos)
        sscanf(log.c_str() + at, "main loop: %ld ticks, %ld frames", &ticks, &frames);
    return {ticks, frames};
}

// A whole game replayed, its first input five seconds in. Start-up takes its real time
// (long, under the sanitizers) but none of the journal's: ticks run from the moment the
// game is up, one every 33 ms until the close, each followed by its frame.
TEST(GameClockPlayback, TicksRunFromTheFirstMomentHoweverLateTheFirstInput)
{
    TempDir dir;
    write_file(dir.file("j.txt"), "# five quiet seconds, then a move and a close\n5000 mouse_move 10 10\n5100 close\n");
    ASSERT_EQ(run_game({"-debug", "1", "-screen", "200x100", "-playback", "j.txt"}, {.cwd = dir.path}, 60000), 0)
        << read_file(dir.file("stderr.txt"));
    std::string log = read_file(dir.file("application.log"));
    auto [ticks, frames] = loop_figures(log);
    EXPECT_EQ(ticks, 5100 / 33) << "every tick from the activation to the close:\n" << log;
    // One frame as the game comes up, one after every tick and one after the move: an idle
    // loop waits for its next tick rather than drawing again.
    EXPECT_EQ(frames, ticks + 2) << log;
}

}  // namespace
