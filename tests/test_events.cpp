// Translation of platform input into kernel events, and the frame bracket.
#include <SDL2/SDL_keyboard.h>

#include "platform/events.h"
#include "kernel/kernel.h"
#include "tests/support.h"

using Seen = std::vector<std::tuple<int32_t, intptr_t, intptr_t, intptr_t>>;  // code, a, b, c
static Seen seen;

static void record_event(const IoEvent *e)
{
    // A paint's rectangle lives only while the event is delivered: keep its contents.
    const IoRect *r = (const IoRect *)e->a;
    if (e->code == IO_PAINT)
        seen.push_back({e->code, r->x, r->y, (intptr_t)r->width << 16 | r->height});
    else
        seen.push_back({e->code, e->a, e->b, e->c});
}

class Events : public ::testing::Test {
protected:
    void SetUp() override
    {
        io_video_set_driver(&test_video_driver);
        io_video_create(640, 480, 24);
        kernel_config.input_mask = IO_MASK_DEFAULT;
        kernel_enable_events(true);
        io_input_reset();
        io_set_event_tap(record_event);
        seen.clear();
        presents_with_rects = presents_empty = 0;
    }
    void TearDown() override
    {
        io_set_event_tap(nullptr);
        kernel_enable_events(false);
        io_video_close();
    }
    static void key(InputKind kind, int32_t key, uint8_t mods = 0)
    {
        PlatformInput in = {kind, mods, 0, 0, 0, 0, key, {}};
        io_translate_input(&in);
    }
    static void mouse(InputKind kind, int32_t x, int32_t y, uint8_t button, uint8_t mods = 0)
    {
        PlatformInput in = {kind, mods, button, 0, x, y, 0, {}};
        io_translate_input(&in);
    }
};

TEST_F(Events, KeysFollowTheKeyTableSystemKeysInterruptAndMasksGate)
{
    key(InputKind::KeyDown, SDLK_a, INPUT_MOD_CTRL);
    key(InputKind::KeyDown, SDLK_z, INPUT_MOD_SHIFT);
    key(InputKind::KeyUp, SDLK_z);
    key(InputKind::KeyDown, SDLK_CAPSLOCK);  // outside the table: posts nothing
    key(InputKind::KeyDown, SDLK_x, INPUT_MOD_ALT);  // Alt+X and F10 interrupt; their release posts nothing
    key(InputKind::KeyDown, SDLK_F10);
    key(InputKind::KeyUp, SDLK_F10);
    EXPECT_EQ(seen, (Seen{{IO_KEY_DOWN, 65 + 0x10000, 0, 0}, {IO_KEY_DOWN, 90, 0, 0}, {IO_KEY_UP, 90, 0, 0},
                          {IO_INTERRUPT, 0, 0, 0}, {IO_INTERRUPT, 0, 0, 0}}));
    struct { int32_t sym, code; } table[] = {
        {SDLK_LEFT, 128}, {SDLK_PAGEDOWN, 133}, {SDLK_KP_ENTER, 136}, {SDLK_DELETE, 138}, {SDLK_F1, 140}, {SDLK_F11, 150},
        {SDLK_SPACE, 32}, {SDLK_0, 48}, {SDLK_9, 57}, {SDLK_KP_7, 55}, {SDLK_KP_MINUS, 45}, {SDLK_MINUS, 0},
    };
    for (auto &k : table)
        EXPECT_EQ(io_key_code(k.sym), k.code) << SDL_GetKeyName(k.sym);

    seen.clear();
    kernel_config.input_mask = IO_MASK_DEFAULT & ~(IO_MASK_KEY_UP | IO_MASK_LEFT_DOWN);
    key(InputKind::KeyDown, SDLK_b);
    key(InputKind::KeyUp, SDLK_b);
    mouse(InputKind::MouseDown, 5, 6, 1);
    mouse(InputKind::MouseDown, 5, 6, 2);
    EXPECT_EQ(seen, (Seen{{IO_KEY_DOWN, 66, 0, 0}, {IO_MOUSE_DOWN, 5, 6, 2}}));
    EXPECT_EQ(io_mouse_buttons, IO_BUTTON_LEFT | IO_BUTTON_RIGHT) << "state follows the press even when gated";
}

TEST_F(Events, TypedTextOnlyWithTheCharacterBit)
{
    PlatformInput in = {InputKind::Text, 0, 0, 0, 0, 0, 0, "Hi \xC3\xA9!"};
    io_translate_input(&in);
    EXPECT_TRUE(seen.empty()) << "the default mask delivers no IO_CHAR";
    kernel_config.input_mask |= IO_MASK_CHAR;
    io_translate_input(&in);
    EXPECT_EQ(seen, (Seen{{IO_CHAR, 'H', 0, 0}, {IO_CHAR, 'i', 0, 0}, {IO_CHAR, ' ', 0, 0}, {IO_CHAR, '!', 0, 0}}))
        << "bytes outside 32..127 are dropped";
}

TEST_F(Events, MouseCoordinatesButtonsAndReleasesOutsideTheWindow)
{
    mouse(InputKind::MouseDown, 65535, 10, 1, INPUT_MOD_CTRL);
    EXPECT_EQ(io_mouse_x, 639);
    EXPECT_EQ(io_mouse_buttons, IO_BUTTON_LEFT | IO_BUTTON_CTRL);
    mouse(InputKind::MouseUp, -1, 480, 1);  // -1 reads as 65535; both clamp to the last pixel
    mouse(InputKind::MouseDown, 1, 1, 3);   // the middle button is not heard
    mouse(InputKind::MouseMove, 70000, 20, 0);  // 70000 & 0xFFFF = 4464, still off the view
    EXPECT_EQ(seen, (Seen{{IO_MOUSE_DOWN, 639, 10, 1 + 4}, {IO_MOUSE_UP, 639, 479, 1}, {IO_MOUSE_MOVE, 639, 20, 0}}));
    EXPECT_EQ(io_mouse_buttons, 0);

    // A release outside the window is synthesised, once, on the next move.
    seen.clear();
    mouse(InputKind::MouseDown, 100, 100, 1);
    mouse(InputKind::MouseMove, 110, 100, IO_BUTTON_LEFT);  // still held: a plain move
    mouse(InputKind::MouseMove, 120, 105, 0, INPUT_MOD_CTRL);  // released elsewhere
    mouse(InputKind::MouseMove, 130, 105, 0);
    EXPECT_EQ(seen, (Seen{{IO_MOUSE_DOWN, 100, 100, 1}, {IO_MOUSE_MOVE, 110, 100, 0}, {IO_MOUSE_UP, 120, 105, 1 + 4},
                          {IO_MOUSE_MOVE, 120, 105, 0}, {IO_MOUSE_MOVE, 130, 105, 0}}));

    // Without the right-release bit the latch stays and nothing is synthesised.
    seen.clear();
    kernel_config.input_mask &= ~IO_MASK_RIGHT_UP;
    mouse(InputKind::MouseDown, 1, 1, 2);
    mouse(InputKind::MouseMove, 2, 2, 0);
    kernel_config.input_mask |= IO_MASK_RIGHT_UP;
    mouse(InputKind::MouseMove, 3, 3, 0);
    EXPECT_EQ(seen, (Seen{{IO_MOUSE_DOWN, 1, 1, 2}, {IO_MOUSE_MOVE, 2, 2, 0}, {IO_MOUSE_UP, 3, 3, 2},
                          {IO_MOUSE_MOVE, 3, 3, 0}}));
}

TEST_F(Events, FramesRepaintPresentAndNeverNest)
{
    PlatformInput expose = {InputKind::Expose, 0, 0, 0, 0, 0, 0, {}};
    io_translate_input(&expose);
    EXPECT_EQ(seen, (Seen{{IO_FRAME, 0, 0, 0}, {IO_PAINT, 0, 0, (intptr_t)640 << 16 | 480}, {IO_FRAME, 0, 0, 0}}))
        << "a repaint is frame, paint, frame";
    EXPECT_EQ(std::tuple(presents_with_rects, presents_empty), std::tuple(0, 2)) << "empty frames present nothing";
    EXPECT_EQ(screen.buf, nullptr) << "buf is valid only inside a frame";

    // What a frame lists is presented, capped at the list's size.
    io_video_begin_paint();
    EXPECT_EQ(std::tuple(io_video_row_size(1, 24), io_video_row_size(3, 24), io_video_row_size(5, 24)),
              std::tuple(4, 12, 16)) << "rows are padded to four bytes";
    EXPECT_EXIT(io_video_begin_paint(), ::testing::ExitedWithCode(1), "io_video_begin_paint: screen.buf is not NULL");
    for (int i = 0; i < IO_PAINT_LIST_MAX + 5; i++)
        io_video_invalidate(i, 0, 1, 1);
    EXPECT_EQ(paint_list.count, IO_PAINT_LIST_MAX);
    EXPECT_EQ(std::tuple(paint_list.rects[7].left, paint_list.rects[7].right), std::tuple(7, 8));
    io_video_end_paint();
    EXPECT_EQ(presents_with_rects, 1);
    EXPECT_EXIT(io_video_end_paint(), ::testing::ExitedWithCode(1), "io_video_end_paint: screen.buf is NULL");

    // Nothing is delivered, and no frame opened, before start-up completes.
    kernel_enable_events(false);
    seen.clear();
    presents_with_rects = presents_empty = 0;
    io_post_event(IO_FRAME, 0, 0, 0);
    mouse(InputKind::MouseDown, 1, 1, 1);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(presents_empty + presents_with_rects, 0) << "a dropped frame opens nothing";
}

// A handler that asks to quit and then pumps events (a dialog, a refresh) keeps its
// request: the nested events start clear and hand the outer one back.
static void quit_then_pump(const IoEvent *e)
{
    record_event(e);
    if (e->code == IO_KEY_DOWN) {
        kernel_quit();
        io_post_event(IO_TIMER, 33, 0, 0);
        io_post_event(IO_FRAME, 0, 0, 0);
    }
}

TEST_F(Events, AQuitRequestSurvivesEventsPumpedAfterIt)
{
    auto quit_in_a_handler = [] {
        io_post_event(IO_TIMER, 33, 0, 0);
        bool early = kernel_close_pending();
        io_set_event_tap(quit_then_pump);
        io_post_event(IO_KEY_DOWN, 65, 0, 0);
        bool seen_all = seen.size() == 4;
        _exit(!early && seen_all && kernel_close_pending() ? 3 : 4);
    };
    EXPECT_EXIT(quit_in_a_handler(), ::testing::ExitedWithCode(3), "");
}
