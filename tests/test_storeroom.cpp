// The store room as the player uses it: presses that select, toggle and drag boxes, the
// double click, the rubber band, the selection checks and their messages, renaming,
// deleting and restarting through the real buttons, keys and dialogs, and the room's
// picture against a reference.
#include <SDL2/SDL.h>
#include <sys/stat.h>

#include <filesystem>

#include "image/clip.h"
#include "platform/loop.h"
#include "platform/memory.h"
#include "platform/services.h"
#include "res/ini.h"
#include "res/lang.h"
#include "res/settings.h"
#include "rooms/play/playroom.h"
#include "rooms/store/storeroom.h"
#include "tests/reference_image.h"
#include "tests/test_box_support.h"
#include "tests/toolkit_env.h"
#include "ui/button.h"
#include "ui/stdwin.h"

namespace {

// Boxes of 200 x 150 pictures (previews 80 x 60) at their places on an 800 x 600 table:
// C overlaps A and lies above it; L is a link box.
const struct {
    const char *name;
    int32_t x, y;
} placed[] = {{"A", 150, 250}, {"B", 400, 250}, {"C", 180, 270}, {"L", 600, 420}};

class StoreRoom : public ToolkitTest {
protected:
    std::vector<std::string> messages;  // every message box shown, in order

    void SetUp() override
    {
        make_game_folders();
        std::string jpeg = test_jpeg(200, 150, 3), names = "[BOXNAMES]\n", places = "[BOXPOSS]\n";
        for (int i = 0; i < 4; i++) {
            BoxInfo info = test_box_info(200, 150, 25);
            std::string tail;
            if (i == 3) {
                info.link_box = info.has_description = 1;
                tail = box_record(BOX_TAG_DESCRIPTION, "A page about boxes");
            }
            ChunkId id = {{(uint32_t)i + 1, 0, 0, CHUNK_ID_MARK}};
            write_file(std::string("puzzles/") + placed[i].name + ".pzl", box_file(id, info, jpeg, tail));
            names += std::to_string(i) + "=" + placed[i].name + "\n";
            places += std::to_string(i) + "=" + std::to_string(placed[i].x) + " " + std::to_string(placed[i].y) + "\n";
        }
        write_file("sfiles/config.ini", "[MAIN]\nSamplesInstalled=1\nOldScreenSize=800 600\n" + names + places);
        start(800, 600);
        platform_up();
        io_clock_start(true);
        message_log(&messages);
        frame();
    }
    void TearDown() override
    {
        if (!kept_path.empty())
            setenv("PATH", kept_path.c_str(), 1);
        message_log(nullptr);
        playroom_leave();
        io_clock_start(false);
        platform_down();
        ToolkitTest::TearDown();
    }
    static ShelfBox *box(const char *name) { return shelf_find(name); }
    // Presses far enough apart in time never make a double click.
    static void later(int64_t ms = 1000) { io_clock_advance(io_time() + ms); }
    static void click_at(int32_t x, int32_t y, uint8_t mods = 0)
    {
        later();
        tap(x, y, mods);
    }
    static void button(InputKind kind, int32_t x, int32_t y, uint8_t mods = 0)
    {
        PlatformInput in = {kind, mods, 1, 0, x, y, 0, {}};
        io_translate_input(&in);
    }
    static void tap(int32_t x, int32_t y, uint8_t mods = 0)
    {
        button(InputKind::MouseDown, x, y, mods);
        button(InputKind::MouseUp, x, y, mods);
    }
    static void drag(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint8_t mods = 0)
    {
        later();
        button(InputKind::MouseDown, x0, y0, mods);
        move((x0 + x1) / 2, (y0 + y1) / 2, 1);
        frame();
        move(x1, y1, 1);
        frame();
        button(InputKind::MouseUp, x1, y1, mods);
        frame();
    }
    static void click_button(int32_t button)
    {
        int32_t x, y;
        window_screen_position(button, &x, &y);
        click_at(x + 5, y + 5);
    }
    static std::string selection()
    {
        std::string out;
        for (const auto &p : placed)
            if (ShelfBox *b = shelf_find(p.name); b && b->selected)
                out += p.name;
        return out;
    }
    // A desktop program, first on the PATH until the test ends, that only notes its
    // arguments in "bin/<name>.txt".
    std::string kept_path;
    void fake_program(const std::string &name)
    {
        std::filesystem::create_directories("bin");
        write_file("bin/" + name, "#!/bin/sh\necho \"$@\" >> \"$0.txt\"\n");
        chmod(("bin/" + name).c_str(), 0755);
        if (kept_path.empty())
            kept_path = getenv("PATH");
        setenv("PATH", (std::filesystem::current_path().string() + "/bin:" + kept_path).c_str(), 1);
    }
    // The messages an action shows, the keys given answering its questions in turn.
    std::vector<std::string> answering(std::initializer_list<int32_t> keys, const std::function<void()> &action)
    {
        messages.clear();
        for (int32_t k : keys)
            push_key(k);
        action();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        return messages;
    }
    // The one message of that number, as `answering` returns it.
    static std::vector<std::string> only(int32_t number) { return {lt_get(number)}; }
};

std::string ini_value(const char *section, const char *key)
{
    char value[256] = "";
    ini_get_string(SETTINGS_CONFIG, section, key, value, sizeof value);
    return value;
}

TEST_F(StoreRoom, PressesSelectToggleAndDragBoxes)
{
    ASSERT_EQ(shelf.count, 4);
    ASSERT_EQ(window_root(), storeroom.window);
    EXPECT_EQ(box("L"), shelf.head) << "the box loaded last lies on top";

    click_at(200, 290);  // A and C overlap: C was loaded later, so it lies above
    EXPECT_EQ(selection(), "C");
    EXPECT_EQ(storeroom.shown, box("C"));
    click_at(155, 255);  // only A is there
    EXPECT_EQ(selection(), "A");
    EXPECT_EQ(shelf.head, box("A")) << "a box comes to the top once selected";
    click_at(200, 290);
    EXPECT_EQ(selection(), "A");
    click_at(410, 260, INPUT_MOD_CTRL);
    EXPECT_EQ(selection(), "AB") << "Ctrl adds a box";
    click_at(155, 255, INPUT_MOD_CTRL);
    EXPECT_EQ(selection(), "B") << "and takes it out again";
    click_at(155, 255, INPUT_MOD_CTRL);

    // Dragging a selected box carries the whole selection.
    drag(410, 260, 440, 280);
    EXPECT_EQ(selection(), "AB");
    EXPECT_EQ(std::tuple(box("A")->x, box("A")->y, box("B")->x), std::tuple(180, 270, 430));
    EXPECT_FALSE(box("A")->dragging || box("B")->dragging);

    // A box dragged against the edge stays whole on the table.
    click_at(500, 150);
    drag(450, 290, 799, 599);
    EXPECT_EQ(selection(), "B");
    EXPECT_EQ(std::tuple(box("B")->x, box("B")->y), std::tuple(800 - 80, 600 - 60));

    // A press on the bare table without Ctrl clears the selection.
    click_at(500, 150);
    EXPECT_EQ(selection(), "");
    EXPECT_EQ(storeroom.shown, nullptr);
}

TEST_F(StoreRoom, TwoPressesOpenABoxOnlyWhenCloseInPlaceAndTime)
{
    // 3 pixels apart, and then too late: two single presses.
    click_at(160, 260);
    later(100);
    tap(163, 260);
    later(storeroom.double_click_ms);
    tap(163, 260);
    EXPECT_EQ(playroom.loaded, 0);

    // 2 pixels apart within the time: the box opens.
    click_at(160, 260);
    later(storeroom.double_click_ms - 1);
    tap(162, 262);
    EXPECT_EQ(playroom.loaded, 1);
    EXPECT_STREQ(playroom.box_name, "A");
    EXPECT_EQ(window_root(), playroom.window);
    EXPECT_EQ(box("A")->is_new, 0) << "an opened box is new no more";

    // Leaving comes back to the room with the box's progress read again.
    int32_t leave = -1;
    for (int32_t w = 0; w < window_count(); w++)
        if (window_parent(w) == playroom.panel && strcmp(window_title(w), lt_get(PLAYROOM_TEXT_ARRANGE + 4)) == 0)
            leave = w;
    ASSERT_GE(leave, 0);
    click_button(leave);
    EXPECT_EQ(window_root(), storeroom.window);
    EXPECT_TRUE(exists("sfiles/qs/A.qsv"));
    EXPECT_EQ(box("A")->summary.piece_count, 48) << "the summary of the saved game is on the shelf";
}

TEST_F(StoreRoom, ARubberBandSelectsTheBoxesWhoseCentreItHolds)
{
    // B spans 400 .. 479 across; its centre is at x 440. A band up to 440 leaves it out
    // (the band is half-open), one more pixel takes it in.
    drag(350, 200, 440, 400);
    EXPECT_EQ(selection(), "");
    drag(350, 200, 441, 400);
    EXPECT_EQ(selection(), "B");
    EXPECT_EQ(storeroom.shown, box("B")) << "one box selected shows its info";
    // With Ctrl the band adds to the selection; without, it starts afresh.
    drag(100, 200, 260, 400, INPUT_MOD_CTRL);
    EXPECT_EQ(selection(), "ABC");
    drag(100, 200, 260, 400);
    EXPECT_EQ(selection(), "AC");
}

// Actions check the selection first; a link box opens its page instead of a game.
TEST_F(StoreRoom, ActionsCheckTheSelectionFirst)
{
    auto key_says = [&](int32_t k) { return answering({SDLK_RETURN}, [k] { key(k); }); };
    auto button_says = [&](int32_t b) { return answering({SDLK_RETURN}, [b] { click_button(b); }); };
    EXPECT_EQ(key_says(SDLK_RETURN), only(STORE_TEXT_SELECT_ONE));
    EXPECT_EQ(key_says(SDLK_DELETE), only(STORE_TEXT_SELECT_SOME));
    click_at(155, 255);
    click_at(410, 260, INPUT_MOD_CTRL);
    EXPECT_EQ(button_says(storeroom.main_buttons[0]), only(STORE_TEXT_ONLY_ONE));
    EXPECT_EQ(button_says(storeroom.tool_buttons[STORE_TOOL_RENAME]), only(STORE_TEXT_ONLY_ONE));
    click_at(610, 430);  // the link box alone
    EXPECT_EQ(button_says(storeroom.tool_buttons[STORE_TOOL_RENAME]), only(STORE_TEXT_LINK));
    EXPECT_EQ(button_says(storeroom.tool_buttons[STORE_TOOL_RESTART]), only(STORE_TEXT_LINK));
    click_at(155, 255);
    EXPECT_EQ(button_says(storeroom.tool_buttons[STORE_TOOL_PICTURE]), only(STORE_TEXT_UNFINISHED));
    EXPECT_EQ(playroom.loaded, 0);

    char info[512];
    storeroom_info_text(box("L"), info, sizeof info);
    EXPECT_STREQ(info, "A page about boxes") << "a link box shows its description";

    // The link box hands the maker's address with its own to the desktop's opener.
    fake_program("xdg-open");
    box("L")->address = (char *)io_mem_alloc(6);
    memcpy(box("L")->address, "boxes", 6);
    click_at(610, 430);
    key(SDLK_RETURN);
    char page[256];
    maker_page(page, sizeof page, "boxes");
    EXPECT_EQ(read_file("bin/xdg-open.txt"), std::string(page) + "\n");
    EXPECT_EQ(window_root(), storeroom.window) << "no game for a link";
}

TEST_F(StoreRoom, RenamingFollowsTheNamesRules)
{
    // Each name typed over what the prompt offers; a null answers a message. A last
    // question still open is cancelled.
    auto rename_with = [&](std::initializer_list<const char *> inputs) {
        messages.clear();
        for (const char *input : inputs) {
            if (input)
                push_key(SDLK_a, KMOD_LCTRL), push_text(input);
            push_key(SDLK_RETURN);
        }
        push_key(SDLK_ESCAPE);
        click_button(storeroom.tool_buttons[STORE_TOOL_RENAME]);
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    };
    click_at(155, 255);
    rename_with({"a"});
    EXPECT_STREQ(box("A")->name, "a") << "letter case alone renames";
    EXPECT_EQ(folder_listing("puzzles"), "B.pzl C.pzl L.pzl a.pzl");
    char info[512];
    storeroom_info_text(box("a"), info, sizeof info);
    EXPECT_NE(std::string(info).find(": a\n"), std::string::npos) << info;

    // Another box's name: message 16, then the question again; a name that cleans to
    // nothing asks again without a message.
    rename_with({"b", nullptr, "//", "Fresh"});
    EXPECT_EQ(messages, only(STORE_TEXT_TAKEN));
    EXPECT_STREQ(box("Fresh")->name, "Fresh");
    EXPECT_EQ(folder_listing("puzzles"), "B.pzl C.pzl Fresh.pzl L.pzl");
    EXPECT_TRUE(exists("sfiles/temp/Fresh.prw"));
}

TEST_F(StoreRoom, DeleteAndRestartAskFirstAndKeepTheOtherBoxes)
{
    write_file("sfiles/qs/B.qsv", saved_game({{2, 0, 0, CHUNK_ID_MARK}}, 40));
    shelf_refresh_box(box("B"));
    ASSERT_NE(box("B")->overlay, nullptr);

    click_at(410, 260);
    auto restart = [] { click_button(storeroom.tool_buttons[STORE_TOOL_RESTART]); };
    EXPECT_EQ(answering({SDLK_ESCAPE}, restart), only(STORE_TEXT_RESTART_ONE)) << "No";
    EXPECT_TRUE(exists("sfiles/qs/B.qsv"));
    answering({SDLK_RETURN}, restart);
    EXPECT_FALSE(exists("sfiles/qs/B.qsv"));
    EXPECT_EQ(box("B")->summary.progress, 0);
    EXPECT_EQ(box("B")->overlay, nullptr);

    click_at(155, 255, INPUT_MOD_CTRL);
    EXPECT_EQ(answering({SDLK_RETURN}, [] { key(SDLK_DELETE); }), only(STORE_TEXT_DELETE_MANY));
    EXPECT_EQ(shelf.count, 2);
    EXPECT_EQ(folder_listing("puzzles"), "C.pzl L.pzl");
    EXPECT_EQ(storeroom.shown, nullptr);
    frame();
    EXPECT_EQ(storeroom_box_at(410, 260), nullptr);
}

TEST_F(StoreRoom, LeavingSavesPlacesPanelsAndTheShelf)
{
    click_at(155, 255);
    window_move(storeroom.tools_window, 330, 70);
    window_collapse(storeroom.info_window, 1);
    platform_down();
    stop();
    EXPECT_EQ(ini_value("BOXNAMES", "3"), "A") << "the selected box lies on top";
    EXPECT_EQ(ini_value("STOREROOM", "ToolsWin").substr(0, 6), "330 70");
    start(800, 600);
    platform_up();
    EXPECT_TRUE(window_collapsed(storeroom.info_window)) << "the info window comes back rolled up";
    int32_t x, y;
    window_position(storeroom.tools_window, &x, &y);
    EXPECT_EQ(x * 1000 + y, 330070);
}

TEST_F(StoreRoom, BoxNamesHandedInComeOntoTheShelfEvenDuringStartUp)
{
    std::string box_a = read_file("puzzles/A.pzl");
    write_file("puzzles/Late.pzl", box_a);
    write_file("puzzles/Early.pzl", box_a);
    auto hand_in = [](const char *name) {
        PlatformInput in = {InputKind::Message, 0, 0, 0, 0, 0, 0, {}};
        snprintf(in.text, sizeof in.text, "%s", name);
        kernel_dispatch_input(&in);
    };
    // While the game starts no event is delivered; the name waits for the end of it.
    kernel_enable_events(false);
    hand_in("Early");
    EXPECT_EQ(box("Early"), nullptr);
    kernel_enable_events(true);
    EXPECT_NE(box("Early"), nullptr);

    hand_in("Late");
    ASSERT_NE(box("Late"), nullptr);
    EXPECT_EQ(shelf.count, 6);
}

// A finished box gives its picture to the desktop where the desktop allows it, and asks
// whether to deal the pieces again when it is opened.
TEST_F(StoreRoom, AFinishedBoxGivesItsPictureToTheDesktopAndAsksBeforeOpening)
{
    const std::string finished = saved_game({{1, 0, 0, CHUNK_ID_MARK}}, 100);
    write_file("sfiles/qs/A.qsv", finished);
    shelf_refresh_box(box("A"));
    click_at(155, 255);
    // The dialog's second choice, the wallpaper, is clicked before the keys answer.
    auto give = [](std::initializer_list<int32_t> keys) {
        return [keys] {
            push_click((800 - 320) / 2 + 105, (600 - 150) / 2 + 70);
            for (int32_t k : keys)
                push_key(k);
            click_button(storeroom.tool_buttons[STORE_TOOL_PICTURE]);
        };
    };

    // A desktop the game cannot change: the player is told, nothing is left behind. The
    // first Enter is the dialog's OK.
    const char *desktop = getenv("XDG_CURRENT_DESKTOP");
    std::string kept_desktop = desktop ? desktop : "";
    unsetenv("XDG_CURRENT_DESKTOP");
    EXPECT_EQ(answering({}, give({SDLK_RETURN, SDLK_RETURN})), only(STORE_TEXT_WALLPAPER_FAILED));
    EXPECT_FALSE(exists("sfiles/a.tmp") || exists(BOX_TEMP_PICTURE));

    // A GNOME desktop, whose settings tool here only notes what it is asked.
    fake_program("gsettings");
    setenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME", 1);
    answering({}, give({SDLK_ESCAPE}));
    EXPECT_FALSE(exists("bin/gsettings.txt")) << "cancelled: nothing happens";
    std::vector<std::string> said = answering({}, give({SDLK_RETURN}));
    desktop ? (void)setenv("XDG_CURRENT_DESKTOP", kept_desktop.c_str(), 1) : (void)unsetenv("XDG_CURRENT_DESKTOP");
    EXPECT_TRUE(said.empty());
    EXPECT_EQ(read_file("sfiles/Pelmora.bmp").substr(0, 2), "BM") << "the picture as a BMP beside the settings";
    EXPECT_NE(read_file("bin/gsettings.txt").find("set org.gnome.desktop.background picture-uri file://"),
              std::string::npos)
        << read_file("bin/gsettings.txt");
    EXPECT_FALSE(exists("sfiles/a.tmp"));

    auto open = [] { key(SDLK_RETURN); };
    EXPECT_EQ(answering({SDLK_ESCAPE}, open), only(STORE_TEXT_FINISHED)) << "No: look at the finished picture";
    EXPECT_EQ(playroom.loaded, 1);
    EXPECT_EQ(read_file("sfiles/qs/A.qsv"), finished) << "the finished game is kept";
    playroom_leave();
    storeroom_enter();

    write_file("sfiles/qs/A.qsv", finished);
    shelf_refresh_box(box("A"));
    answering({SDLK_RETURN}, open);  // Yes: mix the pieces again
    EXPECT_EQ(playroom.loaded, 1);
    EXPECT_FALSE(exists("sfiles/qs/A.qsv")) << "forgotten, so the pieces are dealt afresh";
}

TEST_F(StoreRoom, TheOptionsTakeEffectAtOnce)
{
    // The table's colour as it was when the game started, then a green one in the
    // settings: OK in the options dialog keeps it and the table turns green at once.
    uint32_t before = pixel(700, 300);
    ASSERT_EQ(ini_set_string(SETTINGS_CONFIG, "MAIN", "BackGround", "120 99 0"), 1);
    push_key(SDLK_ESCAPE);
    click_button(storeroom.tool_buttons[STORE_TOOL_OPTIONS]);
    frame();
    EXPECT_EQ(pixel(700, 300), before) << "Cancel changes nothing";
    push_key(SDLK_RETURN);
    click_button(storeroom.tool_buttons[STORE_TOOL_OPTIONS]);
    frame();
    uint32_t after = pixel(700, 300);
    EXPECT_NE(after, before);
    EXPECT_GT((after >> 8) & 0xFF, std::max((after >> 16) & 0xFF, after & 0xFF)) << "green rules";
    EXPECT_EQ(ini_value("MAIN", "BackGround"), "120 99 0");
}

TEST_F(StoreRoom, TheTableLooksRight)
{
    // A box in progress, a finished one, a surprise and a link box, one selected.
    write_file("sfiles/qs/A.qsv", saved_game({{1, 0, 0, CHUNK_ID_MARK}}, 30));
    shelf_refresh_box(box("A"));
    box("B")->info.rotation = 1;
    box("C")->summary.progress = 100;
    click_at(410, 260);
    repaint_all();
    EXPECT_TRUE(frame_matches_reference("storeroom", 0, 0, 800, 600));

    // Dragging draws the box with its large shadow above the panels, and the frame is the
    // same as one drawn from nothing once it is put down.
    later();
    button(InputKind::MouseDown, 410, 260);
    move(100, 80, 1);
    frame();
    EXPECT_TRUE(box("B")->dragging);
    button(InputKind::MouseUp, 100, 80);
    frame();
    std::string dragged = frame_copy();
    repaint_all();
    EXPECT_EQ(changed_in(dragged, frame_copy(), 0, 0, 800, 600), 0) << "no trace of the drag is left";
}

}  // namespace
