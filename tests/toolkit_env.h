// A started game without a window, for toolkit tests: the built data pack in a fresh
// folder, kernel_init with every subsystem up, the test video driver, and events flowing
// through the kernel as the main loop delivers them.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "platform/events.h"
#include "kernel/kernel.h"
#include "platform/video.h"
#include "tests/support.h"
#include "ui/window.h"

class ToolkitTest : public ::testing::Test {
protected:
    TempDir dir;
    InDir in{dir.path};
    int32_t blocks_before = 0;
    bool with_samples = false;  // a fresh game folder gets the sample boxes at start
    void SetUp() override { start(640, 480); }
    void TearDown() override { stop(); }
    void start(int32_t width, int32_t height);
    void stop();

    // Inputs as the window system gives them, through the kernel's translation.
    static void move(int32_t x, int32_t y, uint8_t buttons = 0);
    static void press(int32_t x, int32_t y, uint8_t button = 1);
    static void release(int32_t x, int32_t y, uint8_t button = 1);
    static void click(int32_t x, int32_t y, uint8_t button = 1) { press(x, y, button); release(x, y, button); }
    static void key(int32_t sdl_key, uint8_t mods = 0);
    static void frame() { io_post_event(IO_FRAME, 0, 0, 0); }
    static void tick() { io_post_event(IO_TIMER, 33, 0, 0); }
    // A pixel of the frame buffer as 0x00RRGGBB.
    static uint32_t pixel(int32_t x, int32_t y);
    // Pixels of a rectangle that differ between two copies of the frame.
    static std::string frame_copy();
    static int32_t changed_in(const std::string &a, const std::string &b, int32_t x, int32_t y, int32_t w, int32_t h);
    // Every pixel of the frame redrawn from scratch.
    static void repaint_all();
    // For tests whose dialogs run the game's own loop: the platform's window (inputs come
    // from the window system) and the game active, so frames go on underneath; and back.
    static void platform_up();
    static void platform_down();
};

// For tests of modal dialogs: the platform's window up and the game clock standing still
// (double clicks and carets never depend on real time).
class ModalTest : public ToolkitTest {
protected:
    void SetUp() override;
    void TearDown() override;
};

// A key pressed and released (with SDL modifier bits) through the window system's queue,
// where the game's own loop (a modal dialog's) reads it.
void push_key(int32_t sdl_key, uint16_t mods = 0);
// Typed text, as the window system gives it to an edit field (in pieces of 31 bytes).
void push_text(const char *text);

// Mouse input through the window system's queue, for a modal dialog's loop.
void push_button(int32_t x, int32_t y, bool down);
void push_click(int32_t x, int32_t y);
void push_move(int32_t x, int32_t y, bool left_held = false);

// What the player does while a modal dialog runs the game's own loop: one step at each
// frame, so every input of the step before has been handled when the next one looks.
using Steps = std::vector<std::function<void()>>;
// Runs `dialog` (which opens a modal window and returns its answer) with `steps` taken
// from its frames. Once they are done, a dialog still up gets an Escape now and then, so
// a broken case fails instead of hanging. Checks every step ran and no modal is left.
// Needs the platform up; works beside message_log.
int32_t run_modal(Steps steps, const std::function<int32_t()> &dialog);

// Notes the text of every message box as it comes up, in order, into `log` (null stops);
// the test answers the boxes with pushed keys. Uses the kernel's event tap.
void message_log(std::vector<std::string> *log);

// A handler that counts what it hears and takes what it is told to.
struct Heard {
    int32_t frames = 0, downs = 0, ups = 0, moves = 0, outside = 0, clicked = 0, timers = 0;
    int32_t last_a = 0, last_b = 0, last_c = 0, last_code = 0;
    bool take_mouse = true, take_frames = false;
};
int32_t heard_handler(int32_t window, IoEvent *event);
