// The game clock, the close flag and the loop's registered turns.
#include "platform/loop.h"

#include "platform/log.h"
#include "platform/platform.h"

static struct {
    int64_t start;       // the system clock at io_clock_start
    bool playback;
    int64_t virtual_now;
    bool events_enabled;
    bool close_pending;
    IoLoopTurn turn, pump;
} loop;

void io_clock_start(bool playback)
{
    loop.start = io_platform_ticks();
    loop.playback = playback;
    loop.virtual_now = 0;
}

int64_t io_time(void)
{
    return loop.playback ? loop.virtual_now : io_platform_ticks() - loop.start;
}

bool io_clock_playback(void)
{
    return loop.playback;
}

void io_clock_advance(int64_t t)
{
    if (t > loop.virtual_now)
        loop.virtual_now = t;
}

void io_events_enable(bool on)
{
    loop.events_enabled = on;
}

bool io_events_enabled(void)
{
    return loop.events_enabled;
}

void io_post_close(void)
{
    loop.close_pending = true;
}

bool io_close_pending(void)
{
    return loop.close_pending;
}

void io_set_loop_turn(IoLoopTurn turn)
{
    loop.turn = turn;
}

void io_loop_turn(void)
{
    // Without a loop there is nothing to wait for: a caller waiting for its dialog to end
    // would spin for ever, so that is a slip of the caller's.
    if (!loop.turn)
        io_error("io_loop_turn: no loop registered\n");
    loop.turn();
}

void io_set_pump(IoLoopTurn pump)
{
    loop.pump = pump;
}

void io_pump_now(void)
{
    if (loop.pump)
        loop.pump();
}
