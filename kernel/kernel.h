// Process start, the main loop and shutdown: the start-up record, the order of
// initialisation and teardown, the idle step that turns idle time into ticks and frames.
#pragma once
#include <cstdint>

#include "platform/config.h"

struct PlatformInput;
struct IoEvent;

constexpr int KERNEL_VERSION = 125;  // shown as 1.25
constexpr int KERNEL_PATH_MAX = 260;
constexpr int KERNEL_STATUS_MAX = 255;


// What the command line asked for. Unset integers keep their defaults.
struct KernelArgs {
    bool options;                // -options: run the options dialog first
    bool has_video_driver;
    int32_t video_driver;        // -videodriver
    bool has_debug;
    int32_t debug;               // -debug
    bool has_path;
    char path[KERNEL_PATH_MAX];  // -path, with every '\' turned into '/'
    int32_t screen_width;        // -screen WxH: a window of that size; 0 full screen
    int32_t screen_height;
    char record[KERNEL_PATH_MAX];    // -record FILE: write the input journal
    char playback[KERNEL_PATH_MAX];  // -playback FILE: replay a journal headless
};

// Reads the options out of the command line text: an option counts only where its text
// is followed by a blank, and its value is the next word; an option last on the line,
// without a value, is ignored. Integers may be decimal, 0x hex or 0 octal.
void kernel_parse_args(const char *cmdline, KernelArgs *args);

// IO_TEXT kinds (the event's `a`): a box name, or the path of a gift to open.
enum : int32_t { KERNEL_TEXT_BOX = 0, KERNEL_TEXT_GIFT = 1 };

// The gift file named on the command line, as an absolute path in `out` ("" when none):
// the last argument ending in ".gift" that is not the value of an option.
void kernel_gift_arg(int argc, char **argv, char *out, int size);

// Joins argv[1..] with single blanks into the command line text (at most size - 1).
void kernel_join_args(int argc, char **argv, char *out, int size);

// The process: command line, second-copy check, window, kernel_init, the main loop,
// teardown. Returns the exit code.
int kernel_main(int argc, char **argv);

// Initialises every subsystem in order; runs once, before events are enabled.
void kernel_init(void);

// Starts the game inside a process that brings its own video driver (tests and
// benchmarks): the usual configuration, a width x height frame through `driver`,
// kernel_init and events on. kernel_done and io_video_close end it.
struct VideoDriver;
void kernel_start_embedded(const VideoDriver *driver, int32_t width, int32_t height);

// Tears every subsystem down in order; runs once when the view goes away.
void kernel_done(void);

// Asks the game to end; acted on after the current handler returns.
void kernel_quit(void);

// Queues a close of the game's window; the main loop carries it out (teardown, exit 0).
void kernel_post_close(void);

// Shows a progress line on the splash window during start-up (at most 255 characters)
// and keeps the window system answered. Does nothing when no splash is shown.
void kernel_status(const char *text);

// Handles every pending input, then returns. Long operations use it to stay responsive;
// a request to close the game is kept for the main loop.
void io_pump(void);

// One input path for every loop, the main loop's and those of windows that run their own
// (the about window, dialogs): signals first, then the journal during playback, else the
// window system and the door; a recording journals what is taken. 1 when one was taken.
int kernel_take_input(PlatformInput *in);

// What the game's window does with an input a loop of its own does not use itself:
// activation, the door's requests, a display change, a close (kept for the main loop),
// and everything else translated into kernel events.
void kernel_dispatch_input(const PlatformInput *in);

// Files dropped on the game's window go to `handler` with their path (the room that
// takes pictures registers it while it is active); with none registered, and while a
// modal window is up, a drop is logged and goes nowhere. Null removes the handler.
void kernel_set_drop_handler(void (*handler)(const char *path));

// Waits until an input may be there or the kernel clock reaches `until`. During
// playback the virtual clock jumps to the journal's next input or `until`, whichever
// comes first; a journal played out asks for a close.
void kernel_wait_input(int64_t until);

// The kernel clock in milliseconds since the process started (virtual during playback).
int64_t kernel_time(void);

// Whether a close of the game waits for the main loop; loops of their own end on it.
bool kernel_close_pending(void);

// One turn of the game's loop: one input handled, or else the idle step's tick and
// frame with the wait that follows an unchanged frame. The main loop runs it until a
// close is asked for; modal dialogs run it until they end, so ticks and frames go on
// underneath them.
void kernel_loop_turn(void);

// Whether this session replays a journal.
bool kernel_playback(void);


// Whether start-up has completed, so events reach handlers.
bool kernel_events_enabled(void);

// Start-up switches events on once kernel_init has returned; tests that drive the
// event layer without a window switch them directly.
void kernel_enable_events(bool on);

// Whether the game is the active application.
bool kernel_app_active(void);

// The tick clock of the idle step. Times are milliseconds of the kernel clock.
struct LoopClock {
    int64_t clock_base;  // the kernel clock when the game last became active
    int64_t ticks_done;  // ticks delivered since then
    int64_t game_time;   // game time in ms: grows by tick_ms per delivered tick, never reset
};

struct IdleStep {
    bool tick;           // post IO_TIMER with game_time
    int32_t game_time;
    bool frame;          // post IO_FRAME
};

// One idle turn at time `now`: at most one tick; no frame while more ticks are owed,
// so a late loop catches up on ticks before it draws again.
IdleStep kernel_idle_step(LoopClock *clock, int64_t now, uint32_t tick_ms);

// Resets the tick clock at activation, so a long absence gives no burst of ticks.
void kernel_clock_reset(LoopClock *clock, int64_t now);

// The time at which the next tick is due.
int64_t kernel_next_tick_time(const LoopClock *clock, uint32_t tick_ms);

// The kernel's handler, delivered to by io_post_event: paints mark dirty tiles, box
// names go to the box store, everything else goes to the toolkit and then the desktop.
void kernel_event(IoEvent *event);

