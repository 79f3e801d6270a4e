// Translation of platform input into kernel events, and the frame bracket.
#include <SDL2/SDL_keyboard.h>
#include <gtest/gtest.h>
#include <vector>

#include "kernel/events.h"
#include "kernel/kernel.h"
#include "kernel/video.h"

static std::vector<IoEvent> seen;
static int presents_with_rects, presents_empty;

static void record_event(const IoEvent *e)
{
    IoEvent copy = *e;
    if (e->code == IO_PAINT) {
        // The rectangle lives only while the event is delivered: keep its contents.
        const IoRect *r = (const IoRect *)e->a;
        copy.a = r->x;
        copy.b = r->y;
        copy.c = (intptr_t)r->width << 16 | r->height;
    }
    seen.push_back(copy);
}

static void test_begin(void)
{
    screen.buf = io_video_pixels() + (size_t)(screen.height - 1) * io_video_row_size(screen.width, 24);
    screen.pitch = -io_video_row_size(screen.width, 24);
}

static void test_present(const PaintList *list)
{
    (list->count ? presents_with_rects : presents_empty)++;
}

static int accept_depth(int)
{
    return 1;
}

static const VideoDriver test_driver = {"Test", nullptr, nullptr, accept_depth, nullptr, test_begin, test_present};

class Events : public ::testing::Test {
protected:
    void SetUp() override
    {
        io_video_set_driver(&test_driver);
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
    static PlatformInput input(InputKind kind)
    {
        PlatformInput in = {};
        in.kind = kind;
        return in;
    }
    static void key(InputKind kind, int32_t sym, uint8_t mods = 0)
    {
        PlatformInput in = input(kind);
        in.key = sym;
        in.mods = mods;
        io_translate_input(&in);
    }
    static void mouse(InputKind kind, int32_t x, int32_t y, uint8_t button, uint8_t mods = 0)
    {
        PlatformInput in = input(kind);
        in.x = x;
        in.y = y;
        in.button = button;
        in.mods = mods;
        io_translate_input(&in);
    }
};

// Whether the i-th event seen is {code, a, b, c}; says what was seen instead.
static ::testing::AssertionResult is_event(size_t i, int32_t code, intptr_t a, intptr_t b, intptr_t c)
{
    if (i >= seen.size())
        return ::testing::AssertionFailure() << "only " << seen.size() << " events, wanted #" << i;
    const IoEvent &e = seen[i];
    if (e.code == code && e.a == a && e.b == b && e.c == c)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "event #" << i << " is {" << e.code << ", " << e.a << ", " << e.b
                                         << ", " << e.c << "}, wanted {" << code << ", " << a << ", " << b
                                         << ", " << c << "}";
}
#define EXPECT_EVENT(i, code, a, b, c) EXPECT_TRUE(is_event(i, code, a, b, c))

TEST_F(Events, KeysFollowTheKeyTable)
{
    key(InputKind::KeyDown, SDLK_a, INPUT_MOD_CTRL);
    EXPECT_EVENT(0, IO_KEY_DOWN, 65 + 0x10000, 0, 0);
    key(InputKind::KeyDown, SDLK_z, INPUT_MOD_SHIFT);
    EXPECT_EVENT(1, IO_KEY_DOWN, 90, 0, 0);
    key(InputKind::KeyUp, SDLK_z);
    EXPECT_EVENT(2, IO_KEY_UP, 90, 0, 0);

    struct { int32_t sym, code; } table[] = {
        {SDLK_LEFT, 128}, {SDLK_DOWN, 131}, {SDLK_PAGEDOWN, 133}, {SDLK_BACKSPACE, 134},
        {SDLK_ESCAPE, 135}, {SDLK_RETURN, 136}, {SDLK_KP_ENTER, 136}, {SDLK_TAB, 137},
        {SDLK_DELETE, 138}, {SDLK_F1, 140}, {SDLK_F11, 150}, {SDLK_SPACE, 32}, {SDLK_0, 48},
        {SDLK_9, 57}, {SDLK_KP_0, 48}, {SDLK_KP_7, 55}, {SDLK_KP_PLUS, 43}, {SDLK_KP_MINUS, 45},
        {SDLK_CAPSLOCK, 0}, {SDLK_LSHIFT, 0}, {SDLK_PRINTSCREEN, 0}, {SDLK_MINUS, 0},
    };
    for (auto &k : table)
        EXPECT_EQ(io_key_code(k.sym), k.code) << SDL_GetKeyName(k.sym);

    seen.clear();
    key(InputKind::KeyDown, SDLK_CAPSLOCK);
    EXPECT_TRUE(seen.empty()) << "a key outside the table posts nothing";
}

TEST_F(Events, SystemKeysInterruptAndMasksGate)
{
    key(InputKind::KeyDown, SDLK_x, INPUT_MOD_ALT);
    key(InputKind::KeyDown, SDLK_F10);
    key(InputKind::KeyUp, SDLK_F10);
    ASSERT_EQ(seen.size(), 2u) << "Alt+X and F10 interrupt; their release posts nothing";
    EXPECT_EVENT(0, IO_INTERRUPT, 0, 0, 0);
    EXPECT_EVENT(1, IO_INTERRUPT, 0, 0, 0);

    seen.clear();
    kernel_config.input_mask = IO_MASK_DEFAULT & ~(IO_MASK_KEY_UP | IO_MASK_LEFT_DOWN);
    key(InputKind::KeyDown, SDLK_b);
    key(InputKind::KeyUp, SDLK_b);
    mouse(InputKind::MouseDown, 5, 6, 1);
    mouse(InputKind::MouseDown, 5, 6, 2);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EVENT(0, IO_KEY_DOWN, 66, 0, 0);
    EXPECT_EVENT(1, IO_MOUSE_DOWN, 5, 6, 2);
    EXPECT_EQ(io_mouse_buttons, IO_BUTTON_LEFT | IO_BUTTON_RIGHT) << "state follows the press even when gated";
}

TEST_F(Events, TypedTextOnlyWithTheCharacterBit)
{
    PlatformInput in = input(InputKind::Text);
    snprintf(in.text, sizeof in.text, "Hi \xC3\xA9!");
    io_translate_input(&in);
    EXPECT_TRUE(seen.empty()) << "the default mask delivers no IO_CHAR";

    kernel_config.input_mask |= IO_MASK_CHAR;
    io_translate_input(&in);
    ASSERT_EQ(seen.size(), 4u) << "bytes outside 32..127 are dropped";
    EXPECT_EVENT(0, IO_CHAR, 'H', 0, 0);
    EXPECT_EVENT(2, IO_CHAR, ' ', 0, 0);
    EXPECT_EVENT(3, IO_CHAR, '!', 0, 0);
}

TEST_F(Events, MouseCoordinatesAndButtons)
{
    mouse(InputKind::MouseDown, 65535, 10, 1, INPUT_MOD_CTRL);
    EXPECT_EVENT(0, IO_MOUSE_DOWN, 639, 10, 1 + 4);
    EXPECT_EQ(io_mouse_x, 639);
    EXPECT_EQ(io_mouse_buttons, IO_BUTTON_LEFT | IO_BUTTON_CTRL);
    mouse(InputKind::MouseUp, -1, 480, 1);
    EXPECT_EVENT(1, IO_MOUSE_UP, 639, 479, 1) << "-1 reads as 65535; both clamp to the last pixel";
    mouse(InputKind::MouseDown, 1, 1, 3);
    EXPECT_EQ(seen.size(), 2u) << "the middle button is not heard";

    mouse(InputKind::MouseMove, 70000, 20, 0);  // 70000 & 0xFFFF = 4464, still off the view
    EXPECT_EVENT(2, IO_MOUSE_MOVE, 639, 20, 0);
    EXPECT_EQ(io_mouse_buttons, 0);
}

TEST_F(Events, ReleaseOutsideTheWindowIsSynthesisedOnTheNextMove)
{
    mouse(InputKind::MouseDown, 100, 100, 1);
    mouse(InputKind::MouseMove, 110, 100, IO_BUTTON_LEFT);  // still held: a plain move
    mouse(InputKind::MouseMove, 120, 105, 0, INPUT_MOD_CTRL);  // released elsewhere
    mouse(InputKind::MouseMove, 130, 105, 0);
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EVENT(0, IO_MOUSE_DOWN, 100, 100, 1);
    EXPECT_EVENT(1, IO_MOUSE_MOVE, 110, 100, 0);
    EXPECT_EVENT(2, IO_MOUSE_UP, 120, 105, 1 + 4);
    EXPECT_EVENT(3, IO_MOUSE_MOVE, 120, 105, 0);
    EXPECT_EVENT(4, IO_MOUSE_MOVE, 130, 105, 0) << "the release is synthesised once";

    // Without the right-release bit the latch stays and nothing is synthesised.
    seen.clear();
    kernel_config.input_mask &= ~IO_MASK_RIGHT_UP;
    mouse(InputKind::MouseDown, 1, 1, 2);
    mouse(InputKind::MouseMove, 2, 2, 0);
    kernel_config.input_mask |= IO_MASK_RIGHT_UP;
    mouse(InputKind::MouseMove, 3, 3, 0);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EVENT(1, IO_MOUSE_MOVE, 2, 2, 0);
    EXPECT_EVENT(2, IO_MOUSE_UP, 3, 3, 2);
}

TEST_F(Events, RepaintIsFramePaintFrameAndEmptyFramesPresentNothing)
{
    PlatformInput expose = input(InputKind::Expose);
    io_translate_input(&expose);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].code, IO_FRAME);
    EXPECT_EVENT(1, IO_PAINT, 0, 0, (intptr_t)640 << 16 | 480);
    EXPECT_EQ(seen[2].code, IO_FRAME);
    EXPECT_EQ(presents_with_rects, 0);
    EXPECT_EQ(presents_empty, 2);
    EXPECT_EQ(screen.buf, nullptr) << "buf is valid only inside a frame";

    // What a frame lists is presented, capped at the list's size.
    kernel_enable_events(true);
    io_video_begin_paint();
    EXPECT_NE(screen.buf, nullptr);
    EXPECT_LT(screen.pitch, 0) << "the buffer is bottom-up";
    for (int i = 0; i < IO_PAINT_LIST_MAX + 5; i++)
        io_video_invalidate(i, 0, 1, 1);
    EXPECT_EQ(paint_list.count, IO_PAINT_LIST_MAX);
    EXPECT_EQ(paint_list.rects[7].left, 7);
    EXPECT_EQ(paint_list.rects[7].right, 8);
    io_video_end_paint();
    EXPECT_EQ(presents_with_rects, 1);
}

TEST_F(Events, NothingIsDeliveredBeforeStartUpCompletes)
{
    kernel_enable_events(false);
    io_post_event(IO_FRAME, 0, 0, 0);
    mouse(InputKind::MouseDown, 1, 1, 1);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(presents_empty + presents_with_rects, 0) << "a dropped frame opens nothing";
}

TEST_F(Events, FramesNeverNest)
{
    io_video_begin_paint();
    EXPECT_EXIT(io_video_begin_paint(), ::testing::ExitedWithCode(1), "io_video_begin_paint: screen.buf is not NULL");
    io_video_end_paint();
    EXPECT_EXIT(io_video_end_paint(), ::testing::ExitedWithCode(1), "io_video_end_paint: screen.buf is NULL");
}

TEST(VideoLayout, RowsArePaddedToFourBytes)
{
    EXPECT_EQ(io_video_row_size(1, 24), 4);
    EXPECT_EQ(io_video_row_size(3, 24), 12);
    EXPECT_EQ(io_video_row_size(5, 24), 16);
    EXPECT_EQ(io_video_row_size(640, 24), 1920);
}
