// The standard windows in a started game: the message box and the text entry answered
// through the window system's keys, clicks and typing while the game runs underneath,
// the progress window's blocks counted on the screen, the menu, bars, rows and text
// window laid out, and every window's look against its reference picture.
#include <SDL2/SDL.h>

#include <functional>
#include <string>
#include <vector>

#include "ui/dialog.h"
#include "platform/platform.h"
#include "res/lang.h"
#include "tests/reference_image.h"
#include "platform/loop.h"
#include "tests/toolkit_env.h"
#include "ui/button.h"
#include "ui/skin.h"
#include "ui/stdwin.h"
#include "ui/text.h"

namespace {

// The room under the dialogs. While a dialog waits, each frame the room draws runs the
// next step of the test's script; a dialog nobody answers is ended with -1.
struct Room {
    std::vector<std::function<void()>> steps;
    size_t next = 0;
    int32_t spare = 0, frames = 0;
    int32_t clicked = 0, clicked_a = -1, clicked_b = -1;
    int32_t asked = -1;  // msg_box's answer to a question asked from a key handler
};
Room room;
constexpr uint32_t ROOM_FLOOR = 0x305060;

int32_t room_handler(int32_t, IoEvent *event)
{
    switch (event->code) {
    case IO_FRAME:
        // A plain floor: the pictures do not depend on the desktop's artwork.
        draw_set_fill(ROOM_FLOOR);
        draw_fill_rect(0, 0, (int32_t)event->a, (int32_t)event->b);
        room.frames++;
        if (room.next < room.steps.size())
            room.steps[room.next++]();
        else if (window_has_modal() && ++room.spare > 200)
            window_end_modal(-1, 0);
        return 0;
    case TW_CLICKED:
        room.clicked++;
        room.clicked_a = (int32_t)event->a;
        room.clicked_b = (int32_t)event->b;
        return 1;
    case IO_KEY_DOWN:
        if (event->a == IO_VK_A + ('M' - 'A')) {
            room.asked = msg_box("Leave the table?", MB_YES | MB_NO);
            return 1;
        }
        return 0;
    default: return 0;
    }
}

void script(std::vector<std::function<void()>> steps)
{
    room.steps = std::move(steps);
    room.next = 0;
    room.spare = 0;
}

// A click in the middle of a window, as the window system delivers it to the dialog's loop.
void click_in(int32_t window)
{
    const TWindow *w = window_get(window);
    push_move(w->screen_x + w->width / 2, w->screen_y + w->height / 2);
    push_click(w->screen_x + w->width / 2, w->screen_y + w->height / 2);
}

void wait() {}

// The dialogs' buttons: the bar is the dialog's first child, OK and Cancel its children.
int32_t ok_of(int32_t dialog)
{
    return window_get(window_get(dialog)->first_child)->first_child;
}
int32_t cancel_of(int32_t dialog)
{
    return window_get(ok_of(dialog))->next;
}

::testing::AssertionResult looks_as_before(const char *name, int32_t window)
{
    const TWindow *w = window_get(window);
    return frame_matches_reference(name, w->screen_x, w->screen_y, w->width, w->height);
}

class StdWin : public ToolkitTest {
protected:
    int32_t root = -1;
    void SetUp() override
    {
        ToolkitTest::SetUp();
        room = {};
        root = window_register(-1, TWS_FULLSCREEN, 0, 0, 0, 0, room_handler, nullptr);
        window_focus(root);
        // The dialogs run the game's own loop: inputs come from the window system, and
        // the game is active so that frames go on underneath.
        platform_up();
        io_clock_start(true);  // the game clock stands still: the caret stays on in the pictures
    }
    void TearDown() override
    {
        io_clock_start(false);
        // Windows of a test may hear with records the test held; going inactive is not
        // theirs to hear.
        window_show(root, 0);
        window_unfocus_floating();
        platform_down();
        ToolkitTest::TearDown();
    }
};

TEST_F(StdWin, MessageBoxGrowsWithItsTextShowsTheButtonsItsFlagsAskAndAnswers)
{
    EXPECT_EQ(std::tuple(msgbox_height(97), msgbox_height(98), msgbox_height(120)), std::tuple(150, 150, 172));
    int32_t box = msgbox_window(), ok = ok_of(box), cancel = cancel_of(box);
    const TWindow *w = window_get(box);
    std::tuple<int32_t, bool, bool, int32_t> seen;  // height, OK and Cancel shown, OK's place
    auto look = [&] { seen = {w->height, window_shown(ok), window_shown(cancel), window_get(ok)->x}; };
    script({wait, look, [] { push_key(SDLK_RETURN); }});
    EXPECT_EQ(msg_box("1\n2\n3\n4\n5\n6\n7\n8\n9", MB_YES | MB_NO), 1);
    EXPECT_EQ(std::get<0>(seen), 9 * font_small.line + 52) << "nine lines of text are more than 98 high";
    EXPECT_EQ(std::tuple(window_shown(box), window_has_modal()), std::tuple(0, 0)) << "answered, it goes";

    script({wait, look, [] { push_key(SDLK_RETURN); }});
    EXPECT_EQ(msg_box("A notice.", MB_OK), 1);
    EXPECT_EQ(seen, std::tuple(150, true, false, 320 - 90)) << "a notice: OK alone at the right edge";
    EXPECT_EQ(w->y, (480 - 150) / 2) << "centred";

    script({wait, [] { push_key(SDLK_ESCAPE); }});
    EXPECT_EQ(msg_box("Delete the box?", MB_YES | MB_NO), 0);
    script({wait, [&] { click_in(ok); }});
    EXPECT_EQ(msg_box("Delete the box?", MB_YES | MB_NO), 1);
    script({wait, [&] { click_in(cancel); }});
    EXPECT_EQ(msg_box("Delete the box?", MB_YES | MB_NO), 0);
    script({wait, [] { push_key(SDLK_ESCAPE); }});
    EXPECT_EQ(msg_box("A notice.", MB_OK), 0) << "Escape answers 0 even without the second button";
    EXPECT_EQ(room.spare, 0) << "every box was answered by its input";
}

TEST_F(StdWin, MessageBoxAskedFromAHandlerWhileTheGameRuns)
{
    int32_t frames_before = 0;
    script({[&] { frames_before = room.frames; }, wait, [] { push_key(SDLK_RETURN); }});
    push_key(SDLK_m);
    for (int i = 0; i < 20 && room.asked < 0; i++)
        kernel_loop_turn();
    EXPECT_EQ(room.asked, 1);
    EXPECT_GE(room.frames - frames_before, 2) << "the room went on drawing under the box";
    EXPECT_EQ(window_has_modal(), 0);
}

TEST_F(StdWin, TextEntryTakesSizeMinusOneAndOnlyAConfirmWritesTheBuffer)
{
    int32_t entry = text_entry_window();
    std::string typed;
    for (int i = 0; i < 70; i++)
        typed += (char)('a' + i % 26);
    char name[64] = "Old name";
    script({wait, [&] { push_text(typed.c_str()); }, [] { push_key(SDLK_RETURN); }});
    EXPECT_EQ(text_entry("Name of the box", name, 64, 0), 1);
    EXPECT_EQ(std::string(name), typed.substr(0, 63)) << "the offered text replaced, 63 characters kept";
    EXPECT_STREQ(window_title(entry), "Name of the box");

    char kept[64] = "Summer meadow";
    script({wait, [&] { push_text("xyz"); }, [] { push_key(SDLK_ESCAPE); }});
    EXPECT_EQ(text_entry("Name", kept, 64, 0), 0);
    EXPECT_STREQ(kept, "Summer meadow") << "Escape leaves the buffer";
    script({wait, [&] { push_text("xyz"); }, [&] { click_in(cancel_of(entry)); }});
    EXPECT_EQ(text_entry("Name", kept, 64, 0), 0);
    EXPECT_STREQ(kept, "Summer meadow") << "so does Cancel";
    script({wait, [&] { push_text("xyz"); }, [&] { click_in(ok_of(entry)); }});
    EXPECT_EQ(text_entry("Name", kept, 64, 0), 1);
    EXPECT_STREQ(kept, "xyz") << "OK writes it";

    // Several lines: Enter breaks the line and only the button confirms.
    char note[128] = "";
    script({wait, [] { push_text("first"); }, [] { push_key(SDLK_RETURN); }, [] { push_text("second"); },
            [&] { click_in(ok_of(entry)); }});
    EXPECT_EQ(text_entry("Description", note, 128, 1), 1);
    EXPECT_STREQ(note, "first\nsecond");
    EXPECT_EQ(room.spare, 0);
}

TEST_F(StdWin, ProgressBlocksFollowTheValueAndTheFloatingWindowComesBack)
{
    Heard tool_heard;
    int32_t tool = window_register(-1, TWS_FLOATING, 0, 0, 50, 50, heard_handler, &tool_heard);
    window_focus(tool);
    int32_t p = progress_window();
    const TWindow *w = window_get(p);
    EXPECT_EQ(std::tuple(w->x, w->y, w->width, w->height), std::tuple((640 - 380) / 2, (480 - 81) / 2, 380, 81));
    // One pixel inside each of the 60 block places.
    auto blocks = [&] {
        std::vector<uint32_t> row;
        for (int32_t k = 0; k < 60; k++)
            row.push_back(pixel(w->screen_x + 10 + 6 * k + 3, w->screen_y + 53 + 9));
        return row;
    };
    progress_start(120);
    EXPECT_EQ(window_floating(), p);
    progress_set("Cutting", 0);
    std::vector<uint32_t> empty = blocks();
    progress_set("Cutting", 500);
    std::vector<uint32_t> full = blocks();
    progress_set("Cutting", 30);
    std::vector<uint32_t> quarter = blocks();
    int32_t on_full = 0, distinct = 0, leading = 0;
    for (int32_t k = 0; k < 60; k++) {
        distinct += full[k] != empty[k];
        on_full += quarter[k] == full[k];
        leading += quarter[k] == full[k] && k == leading;
    }
    EXPECT_EQ(distinct, 60) << "above the maximum every block is drawn";
    EXPECT_EQ(std::tuple(on_full, leading), std::tuple(15, 15)) << "30 of 120: the first 15 blocks";
    progress_end();
    EXPECT_EQ(std::tuple(window_shown(p), window_floating()), std::tuple(0, tool));
}

TEST_F(StdWin, MenusBarsRowsAndTextWindowsLayOut)
{
    int32_t menu = menu_create(root);
    menu_add(menu, "Go", 7);
    menu_add(menu, "Up", 8);
    menu_layout(menu, 100, 100);
    click(100 + 30, 100 + 18 + 24 + 12);
    EXPECT_EQ(std::tuple(room.clicked, room.clicked_a, room.clicked_b, window_shown(menu)), std::tuple(1, menu, 8, 0))
        << "a choice reaches the owner with its action and closes the menu";
    int32_t wide = menu_create(root);
    int32_t item = menu_add(wide, "A much longer item than the others", 1);
    int32_t natural = window_get(item)->width;
    menu_add(wide, "Go", 2);
    menu_layout(wide, 0, 0);
    EXPECT_EQ(window_get(wide)->width, natural) << "as wide as the widest item";
    EXPECT_GT(natural, 71);

    Heard panel_heard;
    panel_heard.take_mouse = false;
    int32_t panel = window_register(root, TWS_CHILD, 300, 300, 300, 100, heard_handler, &panel_heard);
    int32_t bar = buttonbar_create(panel);
    int32_t ok = buttonbar_add(bar, 0, 0, "OK", 0, IO_VK_ENTER, -1);
    int32_t help = buttonbar_add(bar, 1, 0, nullptr, 41, 0, 40);
    int32_t a = buttonbar_add(bar, 2, 0, "A", 0, 0, 60);
    int32_t b = buttonbar_add(bar, 2, 1, "B", 0, 0, 60);
    auto x_of = [](int32_t button) { return window_shown(button) ? window_get(button)->x : -1; };
    EXPECT_EQ(std::tuple(window_get(bar)->y, x_of(ok), x_of(help), x_of(a), x_of(b)),
              std::tuple(100 - 24, 210, 170, 110, -1))
        << "slots from the right edge leftwards; the alternate waits";
    buttonbar_show(bar, 2, 1);
    buttonbar_show(bar, 0, -1);
    EXPECT_EQ(std::tuple(x_of(ok), x_of(help), x_of(a), x_of(b)), std::tuple(-1, 260, -1, 200));
    key(SDLK_RETURN);
    EXPECT_EQ(panel_heard.clicked, 0) << "a hidden button's key does nothing";
    buttonbar_show(bar, 0, 0);
    key(SDLK_RETURN);
    EXPECT_EQ(panel_heard.clicked, 1) << "the dialog hears its bar";

    int32_t tools = toolbar_create(panel);
    int32_t t1 = toolbar_add(tools, 4), t2 = toolbar_add(tools, 6);
    window_resize(panel, 300, 160);
    toolbar_dock(tools);
    EXPECT_EQ(std::tuple(window_get(tools)->y, window_get(tools)->height, window_get(t1)->x, window_get(t2)->x),
              std::tuple(160 - 18, 18, 24, 24 + 18));

    int32_t info = textwin_create(root, 200, 3);
    textwin_set(info, "Short.");
    EXPECT_EQ(std::tuple(window_get(info)->width, window_get(info)->height), std::tuple(200, 3 * font_dialog.line + 28))
        << "never smaller than asked";
    EXPECT_STREQ(window_title(info), lt_get(15));
    std::string lines;
    for (int i = 0; i < 6; i++)
        lines += "Line\n";
    textwin_set(info, lines.c_str());
    int32_t tall = window_get(info)->height;
    EXPECT_GE(tall, 6 * font_dialog.line + 28) << "six lines grow it";

    window_move(info, 10, 300);
    window_set_height_keep_bottom(info, 200, 150);
    EXPECT_EQ(std::tuple(window_get(info)->y, window_get(info)->height), std::tuple(300 + tall - 150, 150))
        << "the bottom edge stays";
    window_set_height_keep_bottom(info, 200, 1000);
    EXPECT_EQ(window_get(info)->y, 0) << "the top never above the screen";
}

TEST_F(StdWin, EachWindowLooksAsItsReference)
{
    int32_t box = msgbox_window(), entry = text_entry_window();
    script({wait, wait, [&] { EXPECT_TRUE(looks_as_before("msgbox_question", box)); }, [] { push_key(SDLK_RETURN); }});
    msg_box("The picture is finished. Shall it hang in the gallery for every visitor to see?", MB_YES | MB_NO);
    script({wait, wait, [&] { EXPECT_TRUE(looks_as_before("msgbox_notice", box)); }, [] { push_key(SDLK_RETURN); }});
    msg_box("Saved.", MB_OK | MB_CENTRE);
    char name[64] = "Summer meadow";
    script({wait, wait, [&] { EXPECT_TRUE(looks_as_before("text_entry", entry)); }, [] { push_key(SDLK_ESCAPE); }});
    text_entry("Name of the box", name, 64, 0);

    progress_start(120);
    progress_set("Cutting the picture", 30);
    EXPECT_TRUE(looks_as_before("progress", progress_window()));
    progress_end();

    int32_t menu = menu_create(root);
    menu_add(menu, "Open", 1);
    menu_add(menu, "Rename", 2);
    menu_add(menu, "Delete", 3);
    menu_layout(menu, 40, 40);
    int32_t info = textwin_create(root, 200, 3);
    window_move(info, 300, 40);
    textwin_set(info, "Forty pieces on a square grid, turned.");
    Heard heard;
    heard.take_mouse = false;
    int32_t panel = window_register(root, TWS_CHILD, 40, 250, 320, 90, heard_handler, &heard);
    int32_t row = tabrow_create(panel, 0, 0);
    tabrow_add(row, "Pieces", -1);
    tabrow_add(row, "Shape", -1);
    tabrow_add(row, "Music", -1);
    tabrow_done(row);
    int32_t bar = buttonbar_create(panel);
    buttonbar_add(bar, 0, 0, nullptr, 43, IO_VK_ESCAPE, -1);
    buttonbar_add(bar, 1, 0, "Hang", 0, 0, -1);
    int32_t dock = window_register(root, TWS_CHILD, 400, 250, 160, 40, heard_handler, &heard);
    int32_t tools = toolbar_create(dock);
    toolbar_add(tools, 4);
    toolbar_add(tools, 6);
    toolbar_add(tools, 8);
    frame();
    EXPECT_TRUE(looks_as_before("menu", menu));
    EXPECT_TRUE(looks_as_before("text_window", info));
    EXPECT_TRUE(looks_as_before("tabs_and_button_bar", panel));
    EXPECT_TRUE(looks_as_before("tool_bar", tools));
}

}  // namespace
