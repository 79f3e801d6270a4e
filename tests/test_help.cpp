// The help: the reader of help files, and the viewer in a started game driven by real
// inputs - the contents and its links, the history, the second window, which file is
// read, damaged files, scrolling, and the window's look against a reference picture.
#include <SDL2/SDL_keycode.h>

#include <filesystem>

#include "res/ini.h"
#include "res/lang_numbers.h"
#include "res/settings.h"
#include "tests/reference_image.h"
#include "tests/toolkit_env.h"
#include "ui/button.h"
#include "ui/help.h"
#include "ui/help_file.h"
#include "ui/skin.h"

namespace {

// --- the reader ---

std::vector<std::string> block_texts(const HelpFile *f, const HelpTopic *t)
{
    std::vector<std::string> out;
    for (int32_t b = t->first_block; b < t->first_block + t->block_count; b++)
        out.push_back(std::to_string(f->blocks[b].kind) + ":" + f->blocks[b].text);
    return out;
}

TEST(HelpFileReader, LinesBecomeParagraphsItemsAndLinks)
{
    int32_t held = blocks_held();
    const char *text =
        "; a comment before anything\r\n"
        "stray text outside a topic\n"
        "@topic 7 Seven\r\n"
        "First line\r\n"
        "; a comment inside the paragraph\n"
        "second line.\n"
        "   \n"
        "- an item\n"
        "that goes on\n"
        "- another\n"
        "@link 9 Go to nine\n"
        "@link 99999 not a topic number\n"
        "@unknown directive\n"
        "after it\n"
        "@topic x not a number\n"
        "lost with its topic\n"
        "@topic 9 Nine\n"
        "@link 7  Back to seven\n"
        "@topic 7 Seven again\n"
        "never found\n";
    HelpFile *f = help_file_parse(text);
    const HelpTopic *seven = help_file_topic(f, 7), *nine = help_file_topic(f, 9);
    ASSERT_TRUE(f->topic_count == 3 && seven && nine);
    EXPECT_STREQ(seven->title, "Seven") << "the first of a repeated number is the one found";
    EXPECT_EQ(block_texts(f, seven), (std::vector<std::string>{"0:First line second line.", "1:an item that goes on",
                                                              "1:another", "2:Go to nine", "0:after it"}))
        << "CR LF read as LF; comments skipped without ending a paragraph; blank lines end it; "
           "malformed and unknown directives left out";
    EXPECT_EQ(f->blocks[seven->first_block + 3].target, 9);
    EXPECT_EQ(block_texts(f, nine), (std::vector<std::string>{"2:Back to seven"}));
    EXPECT_EQ(help_file_topic(f, 8), nullptr);
    help_file_free(f);

    // Nothing at all, and a text without a line break at its end.
    f = help_file_parse("");
    EXPECT_EQ(std::tuple(f->topic_count, f->block_count), std::tuple(0, 0));
    help_file_free(f);
    f = help_file_parse("@topic 0 T\nlast");
    ASSERT_EQ(f->block_count, 1);
    EXPECT_STREQ(f->blocks[0].text, "last");
    help_file_free(f);
    EXPECT_EQ(blocks_held(), held) << "one block per file, given back";
}

// --- the viewer ---

// A help file lt_help_check passes: every topic the game opens, the contents linking each,
// and topic 200 as long as asked, each of its lines a paragraph of its own.
std::string help_file_text(const std::string &contents_title, int32_t long_lines)
{
    std::string s = "@topic 0 " + contents_title + "\nChoose a subject:\n";
    for (int32_t i = 1; i < lt_help_topics_count; i++)
        s += "@link " + std::to_string(lt_help_topics[i]) + " Subject " + std::to_string(lt_help_topics[i]) + "\n";
    for (int32_t i = 1; i < lt_help_topics_count; i++) {
        int32_t t = lt_help_topics[i];
        s += "\n@topic " + std::to_string(t) + " Subject " + std::to_string(t) + "\n";
        if (t == 200)
            for (int32_t n = 1; n <= long_lines; n++)
                s += "Line " + std::to_string(n) + " of a long page.\n\n";
        else
            s += "Text of subject " + std::to_string(t) + ".\n";
        s += "@link 0 The contents\n";
    }
    return s;
}

// The room in focus: takes nothing, counts what it hears.
struct RoomEars {
    int32_t downs = 0, keys = 0;
};
int32_t room_handler(int32_t window, IoEvent *event)
{
    if (event->code == TW_DESTROY)
        return 0;
    RoomEars *ears = (RoomEars *)window_data(window);
    ears->downs += event->code == IO_MOUSE_DOWN;
    ears->keys += event->code == IO_KEY_DOWN;
    return 0;
}

class HelpViewer : public ToolkitTest {
protected:
    RoomEars ears;
    int32_t room = -1;
    void SetUp() override
    {
        ToolkitTest::SetUp();
        room = window_register(-1, TWS_FULLSCREEN, 0, 0, 0, 0, room_handler, &ears);
        window_focus(room);
    }

    struct Rect {
        int32_t x, y, w, h;
    };
    static Rect rect_of(int32_t window)
    {
        Rect r;
        window_screen_position(window, &r.x, &r.y);
        window_size(window, &r.w, &r.h);
        return r;
    }
    // The help window's parts: its buttons by their words, and the page (made last).
    static int32_t part(int32_t frame, const char *title)
    {
        for (int32_t c = window_get(frame)->first_child; c >= 0; c = window_get(c)->next)
            if (strcmp(window_title(c), title) == 0)
                return c;
        return -1;
    }
    static int32_t page_of(int32_t frame) { return window_get(frame)->last_child; }
    static void click_on(int32_t window)
    {
        Rect r = rect_of(window);
        click(r.x + r.w / 2, r.y + r.h / 2);
    }
    // Pixels of one colour in a rectangle of the frame buffer.
    static int32_t count_colour(Rect r, uint32_t colour)
    {
        int32_t n = 0;
        for (int32_t y = r.y; y < r.y + r.h; y++)
            for (int32_t x = r.x; x < r.x + r.w; x++)
                n += pixel(x, y) == colour;
        return n;
    }
    static void use_help_file(const char *name, const std::string &text)
    {
        write_file(std::string("sfiles/ml/") + name, text);
        ASSERT_EQ(ini_set_string(SETTINGS_CONFIG, "MAIN", "HelpFile", name), 1);
    }
};

TEST_F(HelpViewer, ContentsLinksBackAndContentsFollowClicks)
{
    help_show(0);
    int32_t frame = help_window("main");
    ASSERT_GE(frame, 0);
    EXPECT_EQ(std::tuple(help_window("main2"), help_topic("main")), std::tuple(-1, 0));
    EXPECT_STREQ(window_title(frame), "Welcome to Pelmora") << "the title bar names the topic";
    int32_t back = part(frame, "Back"), contents = part(frame, "Contents"), page = page_of(frame);
    ASSERT_TRUE(back >= 0 && contents >= 0);
    EXPECT_EQ(button_enabled(back), 0) << "nothing to go back to yet";
    repaint_all();

    // The hand over a link, the arrow off it.
    int32_t x = 0, y = 0;
    ASSERT_EQ(help_link_point("main", 200, &x, &y), 1);
    move(x, y);
    EXPECT_EQ(io_get_cursor(), IO_CURSOR_GAME);
    Rect p = rect_of(page);
    move(p.x + p.w - 40, p.y + p.h - 10);
    EXPECT_EQ(io_get_cursor(), IO_CURSOR_ARROW);

    click(x, y);
    EXPECT_EQ(std::tuple(help_topic("main"), std::string(window_title(frame))), std::tuple(200, "Playing a puzzle"));
    EXPECT_EQ(ears.downs, 0) << "a click on the help never reaches the room";
    // The play page links the store room at its end, below what the window holds.
    Rect p2 = rect_of(page);
    move(p2.x + 20, p2.y + 20);
    for (int32_t i = 0; i < 10 && !help_link_point("main", 100, &x, &y); i++)
        key(SDLK_PAGEDOWN);
    ASSERT_EQ(help_link_point("main", 100, &x, &y), 1);
    click(x, y);
    EXPECT_EQ(std::tuple(help_topic("main"), button_enabled(back)), std::tuple(100, 1));

    click_on(back);
    EXPECT_EQ(help_topic("main"), 200) << "Back goes one step";
    click_on(back);
    EXPECT_EQ(std::tuple(help_topic("main"), button_enabled(back)), std::tuple(0, 0));
    help_show(300);
    EXPECT_EQ(help_topic("main"), 300) << "the game asking again moves the open window on";
    click_on(contents);
    EXPECT_EQ(help_topic("main"), 0);
    click_on(back);
    EXPECT_EQ(help_topic("main"), 300);
    move(p.x + 20, p.y + 20);
    key(SDLK_BACKSPACE);
    EXPECT_EQ(help_topic("main"), 0) << "Backspace over the help goes back too";

    // Closing by its close box lets go of the file and everything laid out.
    const TWindow *w = window_get(frame);
    ASSERT_GE(w->close_button, 0);
    click_on(w->close_button);
    EXPECT_EQ(std::tuple(help_window("main"), window_shown(frame)), std::tuple(-1, 0));
}

TEST_F(HelpViewer, TheSecondWindowOpensBesideTheFirstAndEachClosesAlone)
{
    help_show(0);
    help_show(HELP_SECOND_WINDOW | 301);
    int32_t main = help_window("main"), second = help_window("main2");
    ASSERT_TRUE(second >= 0 && second != main);
    EXPECT_EQ(std::tuple(help_topic("main"), help_topic("main2")), std::tuple(0, 301))
        << "the bit is cleared from the number, and the first window keeps its topic";
    EXPECT_EQ(window_parent(main), room) << "help windows live in the room's tree";
    EXPECT_EQ(window_get(room)->last_child, second) << "the window opened last is in front";

    // A click on the first brings it forward over the second.
    Rect m = rect_of(main);
    click(m.x + m.w - 30, m.y + m.h - 4);
    EXPECT_EQ(window_get(room)->last_child, main);

    // Escape over the second window closes it alone.
    Rect s2 = rect_of(second);
    move(s2.x + 30, s2.y + 60);
    key(SDLK_ESCAPE);
    EXPECT_EQ(std::tuple(help_window("main"), help_window("main2")), std::tuple(main, -1));
    EXPECT_EQ(ears.keys, 0);
    help_show(HELP_SECOND_WINDOW | 302);
    EXPECT_EQ(help_window("main2"), second) << "made once, then shown again";
    help_close("english.hlp");
    EXPECT_EQ(std::tuple(help_window("main"), help_window("main2")), std::tuple(-1, -1))
        << "any other name closes both";
    // The windows stay for the next time; what an open window holds goes when it closes.
    int32_t windows = window_count(), held = blocks_held();
    help_show(0);
    help_show(HELP_SECOND_WINDOW | 10);
    help_close(nullptr);
    EXPECT_EQ(std::tuple(window_count(), blocks_held()), std::tuple(windows, held));
}

TEST_F(HelpViewer, AnOpenHelpFollowsThePlayerIntoTheRoomThatAsksNext)
{
    help_show(0);
    int32_t first = help_window("main");
    RoomEars other_ears;
    int32_t other = window_register(-1, TWS_FULLSCREEN, 0, 0, 0, 0, room_handler, &other_ears);
    window_focus(other);
    help_show(200);
    int32_t second = help_window("main");
    ASSERT_TRUE(second >= 0 && second != first);
    EXPECT_EQ(std::tuple(window_parent(second), window_shown(first)), std::tuple(other, 0))
        << "shown in the room in focus, gone from the one left";
    EXPECT_EQ(help_topic("main"), 200);
    Rect r = rect_of(page_of(second));
    click(r.x + 20, r.y + 20);
    EXPECT_EQ(std::tuple(other_ears.downs, ears.downs), std::tuple(0, 0));
    // The history came along.
    click_on(part(second, "Back"));
    EXPECT_EQ(help_topic("main"), 0);

    window_focus(room);
    int32_t windows = window_count();
    help_show(300);
    EXPECT_EQ(std::tuple(help_window("main"), window_count()), std::tuple(first, windows))
        << "each room's windows are made once";
}

TEST_F(HelpViewer, TheHelpFileSettingFallsBackToEnglishAndIgnoresLetterCase)
{
    write_file("sfiles/ml/mine.hlp", help_file_text("My own help", 3));
    const char *cases[][2] = {{"missing.hlp", "Welcome to Pelmora"},    // a missing file: english.hlp
                              {"../ml/english.hlp", "Welcome to Pelmora"},  // a name that leaves the folder
                              {"MINE.HLP", "My own help"}};                 // whatever its letter case
    for (const auto &c : cases) {
        ASSERT_EQ(ini_set_string(SETTINGS_CONFIG, "MAIN", "HelpFile", c[0]), 1);
        help_show(0);
        EXPECT_STREQ(window_title(help_window("main")), c[1]) << c[0];
        help_close(nullptr);
    }
}

TEST_F(HelpViewer, AFileThatCannotBeShownSaysSoAndLeaksNothing)
{
    // The windows are made once and kept, and the pictures they draw with stay cached:
    // counted from when both exist.
    help_show(0);
    repaint_all();
    help_close(nullptr);
    int32_t held = blocks_held();
    struct Case {
        const char *name;
        std::string text;
        const char *says;
    };
    const Case cases[] = {
        {"broken.hlp", "@topic 0 Contents\nsome text\n@bogus\n", "is damaged (line 3: unknown directive)"},
        {"binary.hlp", std::string("\x7f\x45\x4c\x46\x02\x01\x00\xff\xfe@topic", 15), "is damaged"},
        {"incomplete.hlp", "@topic 0 Contents\nonly the contents\n", "is damaged (topic 10 is missing)"},
    };
    for (const Case &c : cases) {
        use_help_file(c.name, c.text);
        help_show(200);
        int32_t frame = help_window("main");
        ASSERT_GE(frame, 0) << c.name;
        EXPECT_EQ(help_topic("main"), -1) << c.name;
        std::string says = help_message("main");
        EXPECT_NE(says.find(std::string("The help file sfiles/ml/") + c.name), std::string::npos) << says;
        EXPECT_NE(says.find(c.says), std::string::npos) << says;
        EXPECT_EQ(button_enabled(part(frame, "Contents")), 0) << "no contents to go to";
        repaint_all();
        EXPECT_GT(count_colour(rect_of(page_of(frame)), skin_color(SKIN_COLOR_MSGBOX_TEXT)), 50)
            << "the message is written on the page";
        help_close("main");
        EXPECT_EQ(blocks_held(), held) << c.name << ": everything given back but the windows' own";
        held = blocks_held();
    }

    // A folder where the file should be cannot be read.
    std::filesystem::create_directory("sfiles/ml/folder.hlp");
    ASSERT_EQ(ini_set_string(SETTINGS_CONFIG, "MAIN", "HelpFile", "folder.hlp"), 1);
    help_show(0);
    EXPECT_STREQ(help_message("main"), "The help file sfiles/ml/folder.hlp cannot be read.");
    help_close(nullptr);

    // A good file without the topic asked for: the message, and the way to the contents.
    ASSERT_EQ(ini_set_string(SETTINGS_CONFIG, "MAIN", "HelpFile", ""), 1);
    help_show(77);
    EXPECT_STREQ(help_message("main"), "The help file sfiles/ml/english.hlp has no topic 77.");
    click_on(part(help_window("main"), "Contents"));
    EXPECT_EQ(help_topic("main"), 0);
    EXPECT_EQ(button_enabled(part(help_window("main"), "Back")), 0) << "a missing topic is no step to go back to";
}

TEST_F(HelpViewer, ALongTopicScrollsByKeysAndByItsBar)
{
    use_help_file("long.hlp", help_file_text("Long help", 80));
    help_show(200);
    int32_t win = help_window("main");
    ASSERT_EQ(help_topic("main"), 200);
    Rect p = rect_of(page_of(win));
    repaint_all();
    const std::string top = frame_copy();
    auto page_changed = [&](const std::string &a, const std::string &b) { return changed_in(a, b, p.x, p.y, p.w, p.h); };

    auto after = [&](int32_t sym, int32_t times = 1) {
        for (int32_t i = 0; i < times; i++)
            key(sym);
        frame();
        return frame_copy();
    };

    // Keys go to the help only while the pointer is over it.
    move(5, 300);
    EXPECT_EQ(page_changed(top, after(SDLK_DOWN)), 0) << "pointed elsewhere, the room keeps its keys";
    EXPECT_EQ(ears.keys, 1);
    move(p.x + 50, p.y + 50);
    const std::string one_down = after(SDLK_DOWN);
    EXPECT_GT(page_changed(top, one_down), 100) << "Down moves the text";
    EXPECT_EQ(ears.keys, 1);
    EXPECT_EQ(page_changed(top, after(SDLK_UP)), 0) << "Up brings it back exactly";
    EXPECT_EQ(page_changed(top, after(SDLK_UP)), 0) << "nothing above the top";

    const std::string page_down = after(SDLK_PAGEDOWN);
    EXPECT_GT(page_changed(one_down, page_down), 100) << "a page is more than a line";
    EXPECT_EQ(page_changed(top, after(SDLK_PAGEUP)), 0);

    // The bar: a press under the thumb pages down as PageDown does.
    click(p.x + p.w - 9, p.y + p.h - 8);
    frame();
    EXPECT_EQ(page_changed(page_down, frame_copy()), 0);

    // The end, reached by keys and by carrying the thumb down, is one and the same.
    const std::string end = after(SDLK_PAGEDOWN, 20);
    EXPECT_GT(page_changed(page_down, end), 100);
    EXPECT_EQ(page_changed(end, after(SDLK_DOWN)), 0) << "nothing below the end";
    EXPECT_EQ(page_changed(top, after(SDLK_PAGEUP, 20)), 0);
    press(p.x + p.w - 9, p.y + 8);
    EXPECT_EQ(window_drag_mode(), 2) << "the thumb is carried";
    move(p.x + p.w - 9, p.y + p.h + 100, 1);
    release(p.x + p.w - 9, p.y + p.h + 100);
    EXPECT_EQ(window_drag_mode(), 0);
    frame();
    EXPECT_EQ(page_changed(end, frame_copy()), 0);

    // Back returns to a topic where it was left.
    int32_t x, y;
    ASSERT_EQ(help_link_point("main", 0, &x, &y), 1) << "the link at the end of the page shows";
    click(x, y);
    EXPECT_EQ(help_topic("main"), 0);
    click_on(part(win, "Back"));
    frame();
    EXPECT_EQ(help_topic("main"), 200);
    EXPECT_EQ(page_changed(end, frame_copy()), 0) << "scrolled as it was";
}

TEST_F(HelpViewer, TheContentsLookLikeTheReferencePicture)
{
    help_show(0);
    int32_t frame = help_window("main");
    ASSERT_GE(frame, 0);
    move(5, 5);  // no link lit
    repaint_all();
    Rect r = rect_of(frame);
    EXPECT_TRUE(frame_matches_reference("help_contents", r.x, r.y, r.w, r.h));
}

}  // namespace
