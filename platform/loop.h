// What the game's loop shares with everything that runs inside it: the game clock (the
// system's monotonic clock from the start, or the journal's virtual clock during
// playback), whether events are delivered yet, a close waiting for the main loop, and
// the loop's own turn, so that modal dialogs and long work can keep the game going
// without knowing the loop that drives it.
#pragma once
#include <cstdint>

// Starts the game clock at 0; with `playback` it stands still until io_clock_advance.
void io_clock_start(bool playback);
// Milliseconds since io_clock_start (virtual during playback).
int64_t io_time(void);
bool io_clock_playback(void);
// Playback: moves the virtual clock forward to `t` (never back).
void io_clock_advance(int64_t t);

// Events are dropped until start-up is complete.
void io_events_enable(bool on);
bool io_events_enabled(void);

// A close of the game's window, carried out by the main loop.
void io_post_close(void);
bool io_close_pending(void);

// One turn of the game's loop (the kernel registers it): an input, or a tick and a frame.
typedef void (*IoLoopTurn)(void);
void io_set_loop_turn(IoLoopTurn turn);
void io_loop_turn(void);

// Handling every pending input now (the kernel registers it); a long operation calls
// io_pump_now to stay responsive.
void io_set_pump(IoLoopTurn pump);
void io_pump_now(void);
