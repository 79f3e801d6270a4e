// The window system under the kernel: one SDL window, its raw input, message boxes.
// Headless runs (SDL's dummy driver, journal playback) get the same calls with no
// display behind them.
#pragma once
#include <cstdint>

#include "platform/events.h"

struct SDL_Window;

// Opens the window: full screen on the desktop when width is 0, else a window of
// width x height. `headless` forces SDL's dummy video driver. Returns 1, or 0 with a
// reason in io_platform_error().
int io_platform_init(const char *title, int width, int height, bool headless);
void io_platform_done(void);
const char *io_platform_error(void);

// True when no player can see the window (dummy video driver).
bool io_platform_headless(void);
SDL_Window *io_platform_window(void);

// Size of the frame the game draws, in pixels: the window's size when it opened.
void io_platform_size(int *width, int *height);

// Where the frame is shown in an output of out_w x out_h pixels: scaled to fit, its
// proportions kept, centred between black bars (the whole output when the sizes agree).
// Mouse positions from the window are mapped back through the same rectangle.
IoRect io_platform_view(int out_w, int out_h);

// A frame position as a position in the window (for moving the pointer there).
void io_platform_frame_to_window(int32_t *x, int32_t *y);

// Takes the next pending window-system input; 1 when one was taken.
int io_platform_poll(PlatformInput *out);

// Runs fn(arg) on the main thread when input is next looked at (io_platform_poll, which
// the main loop, playback and every nested loop call). Safe from any thread: it is how
// another thread (the audio thread saying the music ended) hands work to the game. 1 when
// queued; 0 when no event queue runs (nothing of SDL's is up).
int io_platform_call_main(void (*fn)(intptr_t arg), intptr_t arg);

// Sleeps until window-system input arrives, `fd` (or -1) becomes readable, a signal
// comes, or `ms` milliseconds have passed. Input is left for io_platform_poll.
void io_platform_wait(int ms, int fd);

// Milliseconds of the system's monotonic clock.
int64_t io_platform_ticks(void);

void io_platform_show(void);
void io_platform_raise(void);
void io_platform_minimize(void);

enum { IO_MB_OK = 0, IO_MB_YESNO = 1 };
enum { IO_MB_ICON_NONE = 0, IO_MB_ICON_STOP = 1, IO_MB_ICON_QUESTION = 2, IO_MB_ICON_WARNING = 3 };

// A modal box; title null means the system's "Error". Returns 1 for OK or Yes, 0 for
// No. Without a display the text goes to stderr and the answer is 0 for questions.
int io_message_box(const char *title, const char *text, int buttons, int icon);

// Platform key code from a key's name ("F12", "A", "Left", "Keypad +") and back; 0 /
// empty text for names and codes the platform does not know.
int32_t io_platform_key_from_name(const char *name);
const char *io_platform_key_name(int32_t key);
