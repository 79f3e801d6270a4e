// Toolkit windows in a started game: routing front to back, pass-through and outside
// mice, hidden trees, frames a handler keeps to itself, title-bar drags, capture and the
// rubber band, collapsing, keeping windows in reach, the posted-event ring, nested
// modal windows, and buttons.
#include <SDL2/SDL.h>

#include "ui/dialog.h"
#include "platform/platform.h"
#include "platform/services.h"
#include "tests/toolkit_env.h"
#include "image/clip.h"
#include "image/img.h"
#include "ui/button.h"
#include "ui/skin.h"
#include "ui/text.h"

using ::testing::ExitedWithCode;

namespace {

// A room: a full-screen root window that takes nothing.
int32_t room(Heard *h)
{
    h->take_mouse = false;
    int32_t r = window_register(-1, TWS_FULLSCREEN, 0, 0, 0, 0, heard_handler, h);
    window_focus(r);
    return r;
}

class Window : public ToolkitTest {};

TEST_F(Window, ClicksGoFrontToBackAndStopAtTheFirstTaker)
{
    Heard rh, back, front, pass;
    int32_t r = room(&rh);
    window_register(r, TWS_CHILD, 100, 100, 200, 100, heard_handler, &back);
    window_register(r, TWS_CHILD, 150, 120, 100, 50, heard_handler, &front);
    click(160, 130);
    EXPECT_EQ(std::tuple(front.downs, front.ups, back.downs, rh.downs), std::tuple(1, 1, 0, 0))
        << "the front child takes it; the one behind and the parent never see it";
    EXPECT_EQ(std::tuple(front.last_a, front.last_b), std::tuple(10, 10)) << "coordinates relative to the window";
    click(110, 110);
    EXPECT_EQ(std::tuple(front.downs, back.downs), std::tuple(1, 1)) << "outside the front child, the back one";

    // A pass-through window in front: it hears the click inside, and so does what is behind.
    pass.take_mouse = false;
    window_register(r, TWS_CHILD | TWS_PASSMOUSE | TWS_OUTSIDE, 90, 90, 300, 200, heard_handler, &pass);
    click(110, 110);
    EXPECT_EQ(std::tuple(pass.downs, back.downs), std::tuple(1, 2));
    click(10, 10);
    EXPECT_EQ(std::tuple(pass.downs, pass.outside > 0, rh.downs), std::tuple(1, true, 1))
        << "outside, a TWS_OUTSIDE window hears TW_OUTSIDE; the root hears what no child took";
}

TEST_F(Window, HiddenTreesAndFramesTakenByAHandler)
{
    Heard rh, parent, child, first, first_child, second;
    int32_t r = room(&rh);
    int32_t p = window_register(r, TWS_CHILD, 50, 50, 200, 200, heard_handler, &parent);
    window_register(p, TWS_CHILD, 10, 10, 50, 50, heard_handler, &child);
    window_show(p, 0);
    frame();
    click(70, 70);
    EXPECT_EQ(std::tuple(parent.frames, child.frames, child.downs, parent.downs), std::tuple(0, 0, 0, 0))
        << "a hidden parent hides its children from drawing and input";
    window_show(p, 1);
    frame();
    EXPECT_EQ(std::tuple(parent.frames, child.frames), std::tuple(1, 1));
    EXPECT_EQ(std::tuple(child.last_a, child.last_b), std::tuple(50, 50)) << "a frame carries the window's size";

    // A handler that takes the frame keeps it from its children and later siblings.
    first.take_frames = true;
    int32_t f = window_register(r, TWS_CHILD, 300, 50, 50, 50, heard_handler, &first);
    window_register(f, TWS_CHILD, 0, 0, 10, 10, heard_handler, &first_child);
    window_register(r, TWS_CHILD, 400, 50, 50, 50, heard_handler, &second);
    frame();
    EXPECT_EQ(std::tuple(first.frames, second.frames, first_child.frames), std::tuple(1, 0, 0));
}

TEST_F(Window, TitleBarDragsClampOnlyWhileCapturingAndTheBandFollows)
{
    Heard rh, tool, cap;
    int32_t r = room(&rh);
    int32_t t = window_register(-1, TWS_FLOATING | TWS_FRAME | TWS_RAISE, 100, 100, 300, 200, heard_handler, &tool);
    window_focus(t);
    press(150, 105);
    EXPECT_EQ(window_drag_mode(), 1) << "a press on the title bar moves the window";
    move(20, 60, 1);
    int32_t x, y;
    window_position(t, &x, &y);
    EXPECT_EQ(std::tuple(x, y), std::tuple(-30, 55)) << "moving follows the pointer, unclamped";
    release(20, 60);
    EXPECT_EQ(window_drag_mode(), 0);
    window_keep_visible(t);
    window_position(t, &x, &y);
    EXPECT_EQ(std::tuple(x, y), std::tuple(-30, 55)) << "it still reaches into the margins";

    window_unfocus_floating();
    int32_t c = window_register(r, TWS_CHILD, 200, 200, 100, 100, heard_handler, &cap);
    move(250, 250);
    window_capture(c);
    move(1000, 900, 1);
    EXPECT_EQ(std::tuple(cap.last_code, cap.last_a, cap.last_b), std::tuple((int32_t)TW_CAPTURE_MOVE, 49, 49))
        << "the pointer is clamped to the capturing window";
    frame();
    EXPECT_EQ(cap.last_code, (int32_t)TW_CAPTURE_FRAME);
    press(1000, 900);
    EXPECT_EQ(std::tuple(cap.last_code, cap.last_c), std::tuple((int32_t)IO_MOUSE_DOWN, 1 + 8))
        << "buttons go straight to the capturing window, marked";
    window_drag_end();
    EXPECT_EQ(cap.last_code, (int32_t)TW_CAPTURE_END);

    move(210, 210);
    window_rubber_band(c);
    move(180, 260, 1);
    EXPECT_EQ(std::tuple(cap.last_code, cap.last_a, cap.last_b), std::tuple((int32_t)TW_BAND_MOVE, -10, 50))
        << "the band's corner is clamped to the window";
    release(180, 260);
    EXPECT_EQ(cap.last_code, (int32_t)TW_BAND_END);
}

TEST_F(Window, CollapsingKeepsTheRightEdgeAndWindowsComeBackIntoReach)
{
    Heard rh, tool;
    room(&rh);
    int32_t t = window_register(-1, TWS_FLOATING | TWS_FRAME | TWS_RAISE | TWS_COLLAPSE | TWS_CLOSE, 100, 100, 300,
                                200, heard_handler, &tool);
    window_focus(t);
    frame();
    click(100 + 300 - 36 + 9, 109);  // the collapse button
    const TWindow *w = window_get(t);
    EXPECT_EQ(std::tuple(w->x, w->width, w->height, w->collapsed), std::tuple(262, 138, 18, 1));
    int32_t x, y, sw, sh;
    window_position(t, &x, &y);
    window_size(t, &sw, &sh);
    EXPECT_EQ(std::tuple(x, sw, sh), std::tuple(100, 300, 200)) << "asked for, it tells the expanded place";
    click(262 + 138 - 36 + 9, 109);  // the expand button in the same place
    click(100 + 300 - 18 + 9, 109);  // close
    EXPECT_EQ(std::tuple(w->x, w->width, w->height, w->collapsed, window_shown(t)), std::tuple(100, 300, 200, 0, 0));

    // Far off the bottom right: the nearest corner comes back to the margin.
    window_move(t, 700, 600);
    window_keep_visible(t);
    EXPECT_EQ(std::tuple(w->x, w->y), std::tuple(640 - 32, 480 - 32));
    window_move(t, -400, -300);
    window_keep_visible(t);
    EXPECT_EQ(std::tuple(w->x, w->y), std::tuple(64 - 300, 32 - 200));
}

TEST_F(Window, SixtyThreeEventsCanWaitTheSixtyFourthIsFatal)
{
    Heard rh, target;
    room(&rh);
    int32_t t = window_register(-1, TWS_FLOATING, 0, 0, 10, 10, heard_handler, &target);
    IoEvent clicked = {TW_CLICKED, 999, 0, 0};
    for (int i = 0; i < 63; i++)
        post_event(t, &clicked);
    EXPECT_EXIT(post_event(t, &clicked), ExitedWithCode(1), "twindow: post_event: fevents\\[\\] is full");
    tick();
    EXPECT_EQ(target.clicked, 63) << "delivered at the end of the next routing";
    EXPECT_EXIT(window_focus(window_register(-1, 0, 0, 0, 1, 1, heard_handler, &target)), ExitedWithCode(1),
                "window_focus: invalid style");
    for (int i = window_count(); i < TW_MAX_WINDOWS; i++)
        window_register(-1, 0, 0, 0, 1, 1, nullptr, nullptr);
    EXPECT_EXIT(window_register(-1, 0, 0, 0, 1, 1, nullptr, nullptr), ExitedWithCode(1),
                "window_register: windows\\[\\] is full");
}

// Modal windows nest: a question asked from a dialog ends back into that dialog.
struct Modal {
    int32_t outer = -1, inner = -1, inner_result = -1, order = 0;
    bool repeat_outer = false;
};
Modal modal;

int32_t modal_handler(int32_t window, IoEvent *event)
{
    if (event->code != IO_KEY_DOWN)
        return 0;
    if (window == modal.outer && event->a == 'Q') {
        if (modal.repeat_outer)
            window_focus_modal(modal.outer, nullptr);
        modal.inner_result = window_focus_modal(modal.inner, nullptr);
        modal.order = window_modal() == modal.outer ? 1 : -1;
        return 1;
    }
    if (event->a == IO_VK_ENTER || event->a == IO_VK_ESCAPE) {
        window_end_modal(event->a == IO_VK_ENTER ? (window == modal.inner ? 7 : 3) : 0, 0);
        return 1;
    }
    return 0;
}

TEST_F(Window, ModalWindowsNestAndEndBackIntoTheOneBelow)
{
    Heard rh;
    room(&rh);
    modal = {};
    modal.outer = window_register(-1, TWS_MODAL | TWS_FRAME, 0, 0, 320, 150, modal_handler, nullptr);
    modal.inner = window_register(-1, TWS_MODAL | TWS_FRAME, 0, 0, 200, 100, modal_handler, nullptr);
    platform_up();  // the dialogs run the game's own loop: keys come from the window system
    push_key(SDLK_q);       // the outer dialog asks a question
    push_key(SDLK_RETURN);  // answered: ends the inner one
    push_key(SDLK_RETURN);  // then the outer one
    int32_t result = window_focus_modal(modal.outer, nullptr);
    EXPECT_EQ(std::tuple(result, modal.inner_result, modal.order), std::tuple(3, 7, 1))
        << "the inner dialog ended back into the outer one";
    EXPECT_EQ(window_has_modal(), 0);
    EXPECT_EQ(window_get(modal.outer)->x, (640 - 320) / 2) << "centred on the screen";
    modal.repeat_outer = true;
    push_key(SDLK_q);
    EXPECT_EXIT(window_focus_modal(modal.outer, nullptr), ExitedWithCode(1), "window_focus_modal: only one modal");
    int32_t plain = window_register(-1, TWS_FRAME, 0, 0, 10, 10, nullptr, nullptr);
    EXPECT_EXIT(window_focus_modal(plain, nullptr), ExitedWithCode(1), "window_focus_modal: invalid style");
    platform_down();
}

TEST_F(Window, ButtonsClickNotifyGroupAndStayQuietWhenDisabled)
{
    Heard rh, panel;
    int32_t r = room(&rh);
    panel.take_mouse = false;
    int32_t p = window_register(r, TWS_CHILD, 50, 50, 400, 300, heard_handler, &panel);
    int32_t ok = button_register(p, 0x409, 10, 10, 0, 0, 0, "OK", 0, IO_VK_ENTER);
    const TWindow *b = window_get(ok);
    click(60 + b->width / 2, 60 + b->height / 2);
    EXPECT_EQ(std::tuple(panel.clicked, panel.last_a), std::tuple(1, ok)) << "TW_CLICKED to the parent";
    key(SDLK_RETURN);
    EXPECT_EQ(panel.clicked, 2) << "the hot key clicks it";
    button_enable(ok, 0);
    click(60 + b->width / 2, 60 + b->height / 2);
    key(SDLK_RETURN);
    EXPECT_EQ(panel.clicked, 2) << "a disabled button does nothing";

    int32_t first = button_register(p, 0x28C, 10, 100, 100, 24, 2, "One", 0, 0);
    button_register(p, 0x20C, 10, 130, 100, 24, 2, "Two", 0, 0);
    int32_t third = button_register(p, 0x30C, 10, 160, 100, 24, 2, "Three", 0, 0);
    button_group_select(first, 0);
    click(60 + 20, 50 + 160 + 12);
    EXPECT_EQ(std::tuple(button_state(first), button_state(first + 1), button_state(third)), std::tuple(0, 0, 1));
    EXPECT_EQ(button_group_selected(first), 2);
    EXPECT_EXIT(button_register(p, BS_RADIO | BS_TEXT, 0, 0, 0, 0, 0, "Lost", 0, 0), ExitedWithCode(1),
                "button_register: where is for Lost BS_RGFIRST\\?");

    int32_t check = button_register(p, 0x20A, 200, 100, 100, 24, 2, "Check", 0, 0);
    for (int i = 0; i < 3; i++)
        click(260, 162);
    EXPECT_EQ(button_state(check), 1) << "three clicks leave a check box set";

    // Hover: lit under the pointer, and off again when it leaves.
    move(60 + 5, 60 + 5);
    EXPECT_EQ(button_hover(ok), 0) << "a disabled button does not light";
    button_enable(ok, 1);
    move(60 + 6, 60 + 5);
    EXPECT_EQ(std::tuple(button_hover(ok), button_face(ok)), std::tuple(1, 3));
    move(5, 5);
    EXPECT_EQ(button_hover(ok), 0);
}

void draw_through_pieces(Img *img, int32_t x, int32_t y, int32_t sx, int32_t sy, int32_t w, int32_t h)
{
    img_draw(img, x, y, sx, sy, w, h);
}

// Large skin areas are tiled from blocks of repeated pieces; the screen must come out
// the same as drawing every piece on its own, and an idle frame draws nothing.
TEST_F(Window, SkinBlocksDrawTheSamePixelsAsPieceByPiece)
{
    auto draw = [](bool blocks) {
        clip_set_all(1);
        io_video_begin_paint();
        memset(io_video_pixels(), 0x33, (size_t)io_video_row_size(640, 24) * 480);  // the same ground for both
        ImgBlitter old = blocks ? img_blitter() : img_set_blitter(draw_through_pieces);
        skin_set_origin(7, 9);
        skin_frame(0, 0, 0, 301, 203);
        skin_frame(SKIN_INACTIVE | SKIN_OPEN_TOP, 320, 0, 250, 150);
        skin_panel(SKIN_PANEL_MESSAGE, 0, 220, 333, 111);
        skin_title_bar(320, 200, 290, true, true, true);
        img_set_blitter(old);
        io_video_end_paint();
        return frame_copy();
    };
    std::string pieces = draw(false), blocks = draw(true);
    EXPECT_EQ(changed_in(pieces, blocks, 0, 0, 640, 480), 0);
    clip_set_all(0);
    io_video_begin_paint();
    memset(io_video_pixels(), 0x5A, (size_t)io_video_row_size(640, 24) * 480);
    skin_frame(0, 0, 0, 301, 203);
    io_video_end_paint();
    EXPECT_EQ(pixel(100, 100), 0x5A5A5Au) << "nothing is drawn where no tile is dirty";
}

// Once the toolkit is up, a service's message (a document that will not open) is the
// game's own message box, answered with the game's keys; before it, the system's box.
TEST_F(Window, ServiceMessagesShowInTheGamesMessageBox)
{
    Heard rh;
    room(&rh);
    platform_up();
    PlatformInput drained;
    push_key(SDLK_ESCAPE);
    EXPECT_EQ(open_document("/nonexistent/pelmora-test/missing.xyz"), 0);
    int left = 0;
    while (io_platform_poll(&drained))
        left += drained.kind == InputKind::KeyDown;
    EXPECT_EQ(left, 0) << "the message box took the Escape that answered it";
    EXPECT_EQ(window_has_modal(), 0);
    platform_down();
}

// A window registered while the game runs shows at once, without anything else having
// to repaint its place.
TEST_F(Window, ANewWindowIsDrawnAtOnce)
{
    Heard rh, late;
    room(&rh);
    frame();
    clip_set_all(0);
    late.take_frames = false;
    window_register(window_root(), TWS_CHILD, 100, 100, 50, 50, heard_handler, &late);
    EXPECT_TRUE(clip_is_dirty(100, 100, 50, 50)) << "its place is marked";
}

// Pen lines and pixels reach only the tiles redrawn this frame, like everything else, so
// a window behind never draws its bevel over a window in front that is not redrawn.
TEST_F(Window, PenDrawingStaysInTheDirtyTiles)
{
    io_video_begin_paint();
    memset(io_video_pixels(), 0x11, (size_t)io_video_row_size(640, 24) * 480);
    clip_set_all(0);
    const ClipGrid *g = clip_grid();
    clip_invalidate(g->tile_w, 0, 1, 1);  // the second tile of the top row
    draw_set_pen(0, 0xFF0000);
    draw_line(0, 5, 639, 5);
    draw_pixel(3, 7, 0x00FF00);
    draw_pixel(g->tile_w + 3, 7, 0x00FF00);
    io_video_end_paint();
    EXPECT_EQ(std::tuple(pixel(g->tile_w - 1, 5), pixel(g->tile_w, 5), pixel(2 * g->tile_w - 1, 5), pixel(2 * g->tile_w, 5)),
              std::tuple(0x111111u, 0xFF0000u, 0xFF0000u, 0x111111u));
    EXPECT_EQ(std::tuple(pixel(3, 7), pixel(g->tile_w + 3, 7)), std::tuple(0x111111u, 0x00FF00u));
}

}  // namespace
