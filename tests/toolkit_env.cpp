#include "tests/toolkit_env.h"

#include <SDL2/SDL.h>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <unistd.h>

#include "image/clip.h"
#include "platform/loop.h"
#include "platform/platform.h"
#include "ui/stdwin.h"

void ToolkitTest::start(int32_t width, int32_t height)
{
    if (!exists("data.pck")) {  // a test may start the game again at another size
        ASSERT_EQ(symlink(PELMORA_DATA_PCK, "data.pck"), 0);
    }
    // The sample boxes take a while to make; only the tests that look at them get them.
    if (!with_samples && !exists("sfiles/config.ini")) {
        std::filesystem::create_directories("sfiles");
        write_file("sfiles/config.ini", "[MAIN]\nSamplesInstalled=1\n");
    }
    blocks_before = blocks_held();
    kernel_start_embedded(&test_video_driver, width, height);
    io_input_reset();
    repaint_all();
}

void ToolkitTest::stop()
{
    kernel_enable_events(false);
    kernel_done();
    io_video_close();
    EXPECT_EQ(blocks_held(), blocks_before) << "every block given back";
}

void ToolkitTest::move(int32_t x, int32_t y, uint8_t buttons)
{
    PlatformInput in = {InputKind::MouseMove, 0, buttons, 0, x, y, 0, {}};
    io_translate_input(&in);
}

void ToolkitTest::press(int32_t x, int32_t y, uint8_t button)
{
    PlatformInput in = {InputKind::MouseDown, 0, button, 0, x, y, 0, {}};
    io_translate_input(&in);
}

void ToolkitTest::release(int32_t x, int32_t y, uint8_t button)
{
    PlatformInput in = {InputKind::MouseUp, 0, button, 0, x, y, 0, {}};
    io_translate_input(&in);
}

void ToolkitTest::key(int32_t sdl_key, uint8_t mods)
{
    PlatformInput down = {InputKind::KeyDown, mods, 0, 0, 0, 0, sdl_key, {}};
    io_translate_input(&down);
    PlatformInput up = {InputKind::KeyUp, mods, 0, 0, 0, 0, sdl_key, {}};
    io_translate_input(&up);
}

uint32_t ToolkitTest::pixel(int32_t x, int32_t y)
{
    int32_t row = io_video_row_size(screen.width, 24);
    const uint8_t *p = io_video_pixels() + (size_t)(screen.height - 1 - y) * row + (size_t)x * 3;
    return (uint32_t)(p[2] << 16 | p[1] << 8 | p[0]);
}

std::string ToolkitTest::frame_copy()
{
    return std::string((const char *)io_video_pixels(), (size_t)io_video_row_size(screen.width, 24) * screen.height);
}

int32_t ToolkitTest::changed_in(const std::string &a, const std::string &b, int32_t x, int32_t y, int32_t w, int32_t h)
{
    int32_t row = io_video_row_size(screen.width, 24), n = 0;
    for (int32_t yy = y; yy < y + h; yy++)
        for (int32_t xx = x; xx < x + w; xx++) {
            size_t at = (size_t)(screen.height - 1 - yy) * row + (size_t)xx * 3;
            n += a.compare(at, 3, b, at, 3) != 0;
        }
    return n;
}

void ToolkitTest::repaint_all()
{
    IoRect all = {0, 0, screen.width, screen.height};
    io_post_event(IO_PAINT, (intptr_t)&all, 0, 0);
    frame();
}

int32_t heard_handler(int32_t window, IoEvent *event)
{
    // Shutdown comes after the test's own records are gone.
    if (event->code == TW_DESTROY)
        return 0;
    Heard *h = (Heard *)window_data(window);
    h->last_code = event->code;
    h->last_a = (int32_t)event->a;
    h->last_b = (int32_t)event->b;
    h->last_c = (int32_t)event->c;
    switch (event->code) {
    case IO_FRAME: h->frames++; return h->take_frames;
    case IO_TIMER: h->timers++; return 0;
    case IO_MOUSE_DOWN: h->downs++; return h->take_mouse;
    case IO_MOUSE_UP: h->ups++; return h->take_mouse;
    case IO_MOUSE_MOVE: h->moves++; return h->take_mouse;
    case TW_OUTSIDE: h->outside++; return 0;
    case TW_CLICKED: h->clicked++; return 1;
    default: return 0;
    }
}

void ToolkitTest::platform_up()
{
    ASSERT_EQ(io_platform_init("test", screen.width, screen.height, true), 1);
    PlatformInput in;
    while (io_platform_poll(&in)) {
    }
    PlatformInput activate = {};
    activate.kind = InputKind::Activate;
    kernel_dispatch_input(&activate);
}

void ToolkitTest::platform_down()
{
    PlatformInput deactivate = {};
    deactivate.kind = InputKind::Deactivate;
    kernel_dispatch_input(&deactivate);
    io_platform_done();
}

void push_key(int32_t sdl_key, uint16_t mods)
{
    SDL_Event e = {};
    e.type = SDL_KEYDOWN;
    e.key.keysym.sym = sdl_key;
    e.key.keysym.mod = mods;
    SDL_PushEvent(&e);
    e.type = SDL_KEYUP;
    SDL_PushEvent(&e);
}

void push_text(const char *text)
{
    // One event holds 31 bytes: a longer text comes in several, never splitting a
    // character.
    size_t left = strlen(text);
    while (left > 0) {
        SDL_Event e = {};
        e.type = SDL_TEXTINPUT;
        size_t n = std::min(left, sizeof e.text.text - 1);
        while (n < left && n > 0 && ((uint8_t)text[n] & 0xC0) == 0x80)
            n--;
        memcpy(e.text.text, text, n);
        SDL_PushEvent(&e);
        text += n;
        left -= n;
    }
}

void ModalTest::SetUp()
{
    ToolkitTest::SetUp();
    platform_up();
    io_clock_start(true);
    io_clock_advance(100000);
}

void ModalTest::TearDown()
{
    io_clock_start(false);
    platform_down();
    ToolkitTest::TearDown();
}

void push_button(int32_t x, int32_t y, bool down)
{
    SDL_Event e = {};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.x = x;
    e.button.y = y;
    SDL_PushEvent(&e);
}

void push_click(int32_t x, int32_t y)
{
    push_button(x, y, true);
    push_button(x, y, false);
}

void push_move(int32_t x, int32_t y, bool left_held)
{
    SDL_Event e = {};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = x;
    e.motion.y = y;
    e.motion.state = left_held ? SDL_BUTTON_LMASK : 0;
    SDL_PushEvent(&e);
}

// One tap serves both the message log and a dialog's script.
static std::vector<std::string> *message_log_to;
static bool message_up;
static Steps *script;
static size_t script_next;
static int32_t script_idle;

static void toolkit_tap(const IoEvent *event)
{
    if (message_log_to) {
        // A box counts once while it stays up, however many events pass under it.
        const char *text = msgbox_text();
        if (text && window_modal() == msgbox_window() &&
            (message_log_to->empty() || message_log_to->back() != text || !message_up))
            message_log_to->push_back(text);
        message_up = text != nullptr;
    }
    if (!script || event->code != IO_FRAME)
        return;
    if (script_next < script->size()) {
        std::function<void()> step = (*script)[script_next++];
        step();
    } else if (++script_idle % 50 == 0) {
        push_key(SDLK_ESCAPE);
    }
}

static void set_tap()
{
    io_set_event_tap(message_log_to || script ? toolkit_tap : nullptr);
}

void message_log(std::vector<std::string> *log)
{
    message_log_to = log;
    message_up = false;
    set_tap();
}

int32_t run_modal(Steps steps, const std::function<int32_t()> &dialog)
{
    script = &steps;
    script_next = 0;
    script_idle = 0;
    set_tap();
    int32_t result = dialog();
    script = nullptr;
    set_tap();
    EXPECT_EQ(script_next, steps.size()) << "every step ran before the dialog ended";
    EXPECT_EQ(window_has_modal(), 0);
    return result;
}
