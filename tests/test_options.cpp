// The options dialog as a player works it: the language lists read from the language
// folder, the colour picked in the map and shown in the preview, Default, OK writing the
// settings and Cancel writing nothing, the force-feedback box, the changes taken into
// the running game, and the -options start in a whole game.
#include <SDL2/SDL.h>

#include <filesystem>

#include "media/feedback.h"
#include "platform/loop.h"
#include "platform/platform.h"
#include "platform/services.h"
#include "res/ini.h"
#include "res/settings.h"
#include "tests/fake_feedback.h"
#include "tests/reference_image.h"
#include "tests/test_box_support.h"
#include "tests/toolkit_env.h"
#include "ui/button.h"
#include "ui/desktop.h"
#include "ui/dropdown.h"
#include "ui/options.h"
#include "ui/skin.h"
#include "ui/stdwin.h"

namespace {

namespace fs = std::filesystem;

// --- the colour formula ---

TEST(OptionsColour, ThePreviewFollowsTheHlsConversionAndTheMapItsLimits)
{
    // At lightness 0 (L = 0.5) and saturation 99: m2 = 0.995, m1 = 0.005, so the full
    // channel is 253 and the empty ones 1. The default, 209 42 0: m2 = 0.71, m1 = 0.29;
    // green falls from m2 toward m1 over 180..240: 0.29 + 0.42 * 31 / 60.
    struct Case {
        int32_t h, s, l;
        uint32_t rgb;
        const char *why;
    };
    const Case cases[] = {
        {0, 99, 0, 0xFD0101, "hue 0 is red: red takes the hue plus 120"}, {120, 99, 0, 0x01FD01, "green"},
        {240, 99, 0, 0x0101FD, "blue"}, {360, 99, 0, 0xFD0101, "360 is 0 again"},
        {60, 99, 0, 0xFDFD01, "yellow between red and green"},
        {OPTIONS_HUE, OPTIONS_SATURATION, OPTIONS_LIGHTNESS, 0x4981B5, "the default"},
        {100, 0, 0, 0xFFFFFF, "no saturation: white"}, {100, -7, 0, 0xFFFFFF, "less than none"},
        {100, 50, 100, 0xFFFFFF, "lightness +100: white"}, {100, 50, -100, 0x000000, "lightness -100: black"},
        // Triples typed by hand far outside the dialog's range give a colour, not a fault.
        {-2000000000, 50, 2147483647, 0xFFFFFF, "far outside"},
        {90, 99, -2147483647 - 1, 0x000000, "far outside"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(options_colour_rgb(c.h, c.s, c.l), c.rgb) << c.h << " " << c.s << " " << c.l << ": " << c.why;
    EXPECT_EQ(options_colour_rgb(0, 1000, 0) & 0xFF0000u, 0xFF0000u);

    // The map: hue across, saturation down, 100 limited to 99 and 0 to 1.
    const int32_t map[][4] = {{0, 0, 0, 99}, {OPTIONS_MAP_WIDTH - 1, 64, 360, 50}, {57, OPTIONS_MAP_HEIGHT - 1, 114, 1}};
    for (const auto &m : map) {
        int32_t hue, saturation;
        options_colour_at(m[0], m[1], &hue, &saturation);
        EXPECT_EQ(std::tuple(hue, saturation), std::tuple(m[2], m[3])) << "map pixel " << m[0] << "," << m[1];
    }
}

// --- the dialog ---

void click_control(int32_t id)
{
    int32_t x, y, w, h;
    window_screen_position(options_control(id), &x, &y);
    window_size(options_control(id), &w, &h);
    push_click(x + w / 2, y + h / 2);
}

// The map's pixel (x, y) on the screen.
void map_point(int32_t x, int32_t y, int32_t *sx, int32_t *sy)
{
    window_screen_position(options_control(103), sx, sy);
    *sx += x;
    *sy += y;
}

std::vector<std::string> items(int32_t id)
{
    std::vector<std::string> out;
    for (int32_t i = 0; i < dropdown_count(options_control(id)); i++)
        out.push_back(dropdown_text(options_control(id), i));
    return out;
}

int32_t selected(int32_t id)
{
    return dropdown_selected(options_control(id));
}

std::tuple<int32_t, int32_t, int32_t> colour()
{
    int32_t h, s, l;
    options_colour(&h, &s, &l);
    return {h, s, l};
}

// A setting as a fresh read finds it on disk.
std::string setting(const char *key, const std::string &file = SETTINGS_CONFIG)
{
    ini_flush(nullptr);
    char value[256] = "";
    ini_get_string(file.c_str(), "MAIN", key, value, sizeof value);
    return value;
}

using Names = std::vector<std::string>;

class Options : public ModalTest {
protected:
    static int run(Steps steps) { return run_modal(std::move(steps), options_run); }
    static void settings(const std::string &main)
    {
        write_file(SETTINGS_CONFIG, "[MAIN]\nSamplesInstalled=1\n" + main + "[STOREROOM]\nToolsWin=1 2 3 4 1 0\n");
        ini_flush(nullptr);
    }
    static void language_files(const std::vector<std::string> &names)
    {
        for (const std::string &name : names)
            write_file("sfiles/ml/" + name, "; a language\n");
    }
};

TEST_F(Options, ListsShowEnglishFirstThenTheLanguageFilesAndSelectTheStoredOneInAnyCase)
{
    language_files({"german.ini", "german.hlp", "Dansk.INI", "espanol.v2.ini", "notes.txt", "zulu.hlp.bak",
                    "two\nlines.ini", "tab\there.hlp", " spaced.ini"});
    fs::create_directories("sfiles/ml/folder.ini");
    settings("UserInterface=GERMAN.ini\nHelpFile=missing.hlp\nFeedBackSupport=off\n");
    EXPECT_EQ(run({[&] {
                  EXPECT_EQ(items(101), (Names{"English", "Dansk", "espanol.v2", "german"}))
                      << "English without a file first (the game's own english.ini is that item), then the files' "
                         "names cut at the last dot, sorted without case; none whose name would write lines of its "
                         "own into the settings";
                  EXPECT_EQ(items(102), (Names{"English", "german"}));
                  EXPECT_EQ(selected(101), 3) << "the stored name in other letters still selects its file";
                  EXPECT_EQ(std::string(options_item_file(101, 3)), "german.ini");
                  EXPECT_EQ(std::string(options_item_file(101, 1)), "Dansk.INI");
                  EXPECT_EQ(options_item_file(101, 0), nullptr);
                  EXPECT_EQ(selected(102), 0) << "a help file that is not there: the first item";
                  EXPECT_EQ(colour(), std::tuple(OPTIONS_HUE, OPTIONS_SATURATION, OPTIONS_LIGHTNESS))
                      << "no BackGround: the default";
                  push_key(SDLK_RETURN);
              }}),
              1);
    EXPECT_EQ(std::tuple(setting("UserInterface"), setting("HelpFile")), std::tuple("german.ini", ""))
        << "OK writes the files of the items shown";
    EXPECT_EQ(std::tuple(setting("BackGround"), setting("FeedBackSupport")), std::tuple("209 42 0", "1"))
        << "only the exact text \"0\" unticks the box; \"off\" leaves it ticked";
}

TEST_F(Options, DefaultThenOkWritesEnglishTheDefaultColourAndFeedbackOn)
{
    language_files({"german.ini", "german.hlp"});
    settings("UserInterface=german.ini\nHelpFile=german.hlp\nBackGround=10 20 -5\nFeedBackSupport=0\n");
    int result = run({
        [&] {
            EXPECT_EQ(std::tuple(selected(101), selected(102)), std::tuple(1, 1));
            EXPECT_EQ(colour(), std::tuple(10, 20, -5)) << "three numbers are taken as they stand";
            EXPECT_EQ(button_state(options_control(107)), 0) << "\"0\" unticks the box";
            EXPECT_EQ(button_enabled(options_control(107)), 0) << "greyed without the force-feedback library";
            click_control(107);
        },
        [&] {
            EXPECT_EQ(button_state(options_control(107)), 0) << "a greyed box does not change";
            click_control(105);
        },
        [&] {
            EXPECT_EQ(std::tuple(selected(101), selected(102), colour()), std::tuple(0, 0, std::tuple(209, 42, 0)));
            EXPECT_EQ(button_state(options_control(107)), 1);
            click_control(1);
        },
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(std::tuple(setting("UserInterface"), setting("HelpFile"), setting("BackGround"),
                         setting("FeedBackSupport")),
              std::tuple("", "", "209 42 0", "1"));
    char value[64];
    EXPECT_EQ(ini_get_string(SETTINGS_CONFIG, "STOREROOM", "ToolsWin", value, sizeof value), 11)
        << "the rest of the file as it was";
}

TEST_F(Options, CancelAndEscapeWriteNothing)
{
    language_files({"german.ini", "german.hlp"});
    settings("HelpFile=german.hlp\nBackGround=1 2 3\n");
    const std::string before = read_file(SETTINGS_CONFIG);
    int32_t x, y;
    EXPECT_EQ(run({[&] {
                       map_point(30, 30, &x, &y);
                       push_click(x, y);
                       click_control(105);  // Default
                   },
                   [&] {
                       EXPECT_EQ(selected(102), 0);
                       click_control(2);
                   }}),
              0);
    EXPECT_EQ(read_file(SETTINGS_CONFIG), before) << "Cancel: the file byte for byte as it was";
    EXPECT_EQ(run({[&] { click_control(105); }, [&] { push_key(SDLK_ESCAPE); }}), 0);
    EXPECT_EQ(read_file(SETTINGS_CONFIG), before);
}

// Runs the dialog while the game's window closes; exits 3 when it ended with 0 and the
// settings as they were.
void run_until_closed(const std::string &before)
{
    SDL_Event quit = {};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    int result = options_run();
    exit(result == 0 && io_close_pending() && read_file(SETTINGS_CONFIG) == before ? 3 : 4);
}

TEST_F(Options, ClosingTheGameEndsTheDialogWithNothingWritten)
{
    // A close cannot be taken back in this process, so it happens in a child.
    settings("BackGround=1 2 3\n");
    const std::string before = read_file(SETTINGS_CONFIG);
    EXPECT_EXIT(run_until_closed(before), ::testing::ExitedWithCode(3), "");
}

TEST_F(Options, BackgroundValuesThatAreNotThreeNumbersShowTheDefault)
{
    using Hsl = std::tuple<int32_t, int32_t, int32_t>;
    const std::pair<const char *, Hsl> cases[] = {{"12 34", {209, 42, 0}},   {"1 2 3 4", {209, 42, 0}},
                                                  {"red", {209, 42, 0}},     {"1 2 x", {209, 42, 0}},
                                                  {"", {209, 42, 0}},        {"0x10 020 -5", {16, 16, -5}}};
    for (const auto &c : cases) {
        settings(std::string("BackGround=") + c.first + "\n");
        EXPECT_EQ(run({[&] {
                      EXPECT_EQ(colour(), c.second) << "BackGround=" << c.first << " (numbers as the settings read them)";
                      push_key(SDLK_ESCAPE);
                  }}),
                  0);
    }
}

TEST_F(Options, WithoutTheLanguageFolderOnlyEnglishIsListed)
{
    fs::remove_all("sfiles/ml");
    settings("UserInterface=german.ini\nHelpFile=german.hlp\n");
    EXPECT_EQ(run({[&] {
                  EXPECT_EQ(items(101), Names{"English"});
                  EXPECT_EQ(items(102), Names{"English"});
                  EXPECT_EQ(std::tuple(selected(101), selected(102)), std::tuple(0, 0));
                  push_key(SDLK_RETURN);
              }}),
              1);
    EXPECT_EQ(std::tuple(setting("UserInterface"), setting("HelpFile")), std::tuple("", ""));
}

TEST_F(Options, PressesAndDragsInTheMapPickItsColourAndThePreviewShowsIt)
{
    int32_t x, y, px, py, pw, ph;
    options_preview_rect(&px, &py, &pw, &ph);
    auto preview = [&] {
        int32_t dx, dy;
        window_screen_position(options_control(0), &dx, &dy);
        return pixel(dx + px + pw / 2, dy + py + ph / 2);
    };
    auto press_map = [&](int32_t mx, int32_t my) {
        map_point(mx, my, &x, &y);
        push_click(x, y);
    };
    int result = run({
        [&] {},  // drawn
        [&] {
            EXPECT_EQ(preview(), 0x4981B5u) << "the default colour before anything is picked";
            press_map(0, 0);
        },
        [&] { EXPECT_EQ(colour(), std::tuple(0, 99, 0)) << "the top-left corner"; },
        [&] {
            EXPECT_EQ(preview(), options_colour_rgb(0, 99, 0));
            press_map(10, 128);
        },
        [&] {
            EXPECT_EQ(colour(), std::tuple(20, 1, 0)) << "128 pixels down";
            map_point(40, 60, &x, &y);
            push_button(x, y, true);
            map_point(90, 32, &x, &y);
            push_move(x, y, true);
        },
        [&] {
            EXPECT_EQ(colour(), std::tuple(180, 75, 0)) << "dragged with the button held";
            map_point(150, 100, &x, &y);
            push_move(x, y);  // the release shows first
            push_move(x + 5, y);
        },
        [&] {
            EXPECT_EQ(colour(), std::tuple(180, 75, 0)) << "a move without the button picks nothing";
            EXPECT_EQ(pixel(x, y), options_colour_rgb(300, 21, 0)) << "the map's pixel is the formula's colour";
            press_map(-2, 20);
            press_map(OPTIONS_MAP_WIDTH - 1, OPTIONS_MAP_HEIGHT);
        },
        [&] { EXPECT_EQ(colour(), std::tuple(180, 75, 0)) << "presses beside the map pick nothing"; },
        [&] {
            EXPECT_EQ(preview(), options_colour_rgb(180, 75, 0));
            press_map(OPTIONS_MAP_WIDTH - 1, 0);
        },
        [&] { push_key(SDLK_RETURN); },
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(setting("BackGround"), "360 99 0");
}

// The lists by mouse and by keys; the help list, longer than it shows, scrolls.
TEST_F(Options, TheListsOpenOnAClickChooseWithTheMouseOrTheKeysAndScroll)
{
    language_files({"dansk.ini", "german.ini"});
    for (int i = 0; i < 30; i++)
        language_files({"lang" + std::string(1, (char)('a' + i / 10)) + std::to_string(i % 10) + ".hlp"});
    auto ui = [] { return options_control(101); };  // made when the dialog opens
    auto help = [] { return options_control(102); };
    int32_t x, y;
    int result = run({
        [&] {
            EXPECT_EQ(selected(101), 0);
            click_control(101);
        },
        [&] {
            ASSERT_TRUE(dropdown_is_open(ui()));
            EXPECT_EQ(dropdown_focus(), ui());
            ASSERT_TRUE(dropdown_item_point(ui(), 2, &x, &y));
            push_move(x, y);
        },
        [&] {},  // drawn
        [&] {
            int32_t lx, ly, lw, lh;
            window_screen_position(dropdown_list_window(ui()), &lx, &ly);
            window_size(dropdown_list_window(ui()), &lw, &lh);
            EXPECT_EQ(pixel(lx + lw - 4, y), skin_color(SKIN_COLOR_SELECTION)) << "the row under the pointer is marked";
            EXPECT_NE(pixel(lx + lw - 4, y - DROPDOWN_ROW_HEIGHT), skin_color(SKIN_COLOR_SELECTION));
            push_click(x, y);
        },
        [&] {
            EXPECT_FALSE(dropdown_is_open(ui()));
            EXPECT_EQ(selected(101), 2) << "german";
            push_key(SDLK_UP);
        },
        [&] {
            EXPECT_EQ(selected(101), 1) << "Up steps back in the closed list that has the keys";
            push_key(SDLK_F4);
            push_key(SDLK_DOWN);
            push_key(SDLK_DOWN);
        },
        [&] {
            EXPECT_TRUE(dropdown_is_open(ui()));
            EXPECT_EQ(selected(101), 1) << "moving the mark in the open list chooses nothing yet";
            push_key(SDLK_RETURN);
        },
        [&] {
            EXPECT_FALSE(dropdown_is_open(ui()));
            EXPECT_EQ(selected(101), 2) << "Enter took the marked row and left the dialog open";
            click_control(102);
        },
        [&] {
            EXPECT_TRUE(dropdown_is_open(help()));
            push_key(SDLK_DOWN);
            push_key(SDLK_ESCAPE);
        },
        [&] {
            EXPECT_FALSE(dropdown_is_open(help()));
            EXPECT_EQ(selected(102), 0) << "Escape closed the list without a choice, the dialog stays";
            click_control(102);
        },
        [&] {
            map_point(170, 120, &x, &y);  // beside the open list
            push_click(x, y);
        },
        [&] {
            EXPECT_FALSE(dropdown_is_open(help())) << "a press elsewhere closes the list";
            click_control(101);
        },
        [&] { click_control(101); },
        [&] {
            EXPECT_FALSE(dropdown_is_open(ui())) << "a second press on the field closes it";
            click_control(102);
        },
        [&] {
            int32_t w, h;
            EXPECT_FALSE(dropdown_item_point(help(), 20, &x, &y)) << "row 20 is scrolled away";
            window_screen_position(dropdown_list_window(help()), &x, &y);
            window_size(dropdown_list_window(help()), &w, &h);
            push_click(x + w - DROPDOWN_BAR_WIDTH / 2, y + h - 3);  // the bar below its thumb
        },
        [&] {
            EXPECT_EQ(dropdown_top(help()), 5) << "a page of six rows on, one kept in view";
            EXPECT_TRUE(dropdown_is_open(help()));
            EXPECT_EQ(selected(102), 0) << "the bar chooses nothing";
            for (int i = 0; i < 20; i++)
                push_key(SDLK_DOWN);
        },
        [&] {
            EXPECT_GT(dropdown_top(help()), 0);
            ASSERT_TRUE(dropdown_item_point(help(), 20, &x, &y));
            push_click(x, y);
        },
        [&] {
            EXPECT_EQ(std::string(options_item_file(102, selected(102))), "langb9.hlp");
            push_key(SDLK_RETURN);
        },
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(std::tuple(setting("UserInterface"), setting("HelpFile")), std::tuple("german.ini", "langb9.hlp"));
}

TEST_F(Options, UpdateLanguagesOpensThePageOrSaysWhyNot)
{
    std::string kept_path = getenv("PATH");
    fs::create_directories("bin");
    write_file("bin/xdg-open", "#!/bin/sh\necho \"$@\" > \"" + dir.file("bin/opened.txt") + "\"\n");
    fs::permissions("bin/xdg-open", fs::perms::owner_all);
    setenv("PATH", dir.file("bin").c_str(), 1);  // no other opener to be found
    std::string shown;
    int result = run({
        [&] { click_control(106); },
        [&] {
            char page[256];
            maker_page(page, sizeof page, "languages/");
            EXPECT_EQ(read_file("bin/opened.txt"), std::string(page) + "\n");
            fs::remove("bin/xdg-open");
            click_control(106);
        },
        [&] {
            shown = msgbox_text() ? msgbox_text() : "";
            push_key(SDLK_RETURN);  // the message box's OK
        },
        [&] { push_key(SDLK_ESCAPE); },
    });
    setenv("PATH", kept_path.c_str(), 1);
    EXPECT_EQ(result, 0);
    EXPECT_NE(shown.find("https://pelmora.example/languages/\n\nProbable causes of this error:"), std::string::npos)
        << shown;
}

TEST_F(Options, OkThatCannotWriteTheSettingsSaysSoAndStaysOpen)
{
    // A folder where the file should be: no file can be renamed over it, whoever runs this.
    fs::remove(SETTINGS_CONFIG);
    fs::create_directories(SETTINGS_CONFIG);
    ini_flush(nullptr);
    std::string shown;
    int result = run({
        [&] { push_key(SDLK_RETURN); },
        [&] {
            shown = msgbox_text() ? msgbox_text() : "";
            push_key(SDLK_RETURN);
        },
        [&] {
            EXPECT_EQ(window_modal(), options_control(0)) << "back in the dialog";
            push_key(SDLK_ESCAPE);
        },
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(shown, "The options could not be saved in sfiles/config.ini.\nCheck that the folder can be written to.");
    EXPECT_TRUE(fs::is_directory(SETTINGS_CONFIG));
    fs::remove_all(SETTINGS_CONFIG);
}

TEST_F(Options, LooksAsItsReferencePicture)
{
    EXPECT_EQ(run({[&] {},  // drawn
                   [&] {
                       int32_t x, y, w, h;
                       window_screen_position(options_control(0), &x, &y);
                       window_size(options_control(0), &w, &h);
                       EXPECT_EQ(std::tuple(std::string(window_title(options_control(0))), w, h),
                                 std::tuple("Pelmora Options", 295, 463));
                       // Below the title bar, whose rounded ends show what lies behind the dialog.
                       EXPECT_TRUE(frame_matches_reference("options_dialog", x, y + TW_TITLE_HEIGHT, w,
                                                           h - TW_TITLE_HEIGHT));
                       push_key(SDLK_ESCAPE);
                   }}),
              0);
}

// The store room's way back: the new colour and feedback setting reach the game.
TEST_F(Options, ApplyRebuildsTheBackgroundInTheNewColour)
{
    settings("");
    auto column_bytes = [] {
        const Img *c = background_column();
        return std::string((const char *)c + c->colour_offset, (size_t)c->colour_stride * c->height);
    };
    const std::string before = column_bytes();
    int32_t x, y;
    ASSERT_EQ(run({[&] {
                       map_point(0, 0, &x, &y);
                       push_click(x, y);
                   },
                   [&] { push_key(SDLK_RETURN); }}),
              1);
    EXPECT_EQ(column_bytes(), before) << "nothing changes before the caller applies it";
    options_apply();
    const std::string red = column_bytes();
    EXPECT_NE(red, before);
    // The same colour written by hand gives the same background.
    ini_set_string(SETTINGS_CONFIG, "MAIN", "BackGround", "0 99 0");
    background_init();
    EXPECT_EQ(column_bytes(), red);
}

class OptionsFeedback : public Options {
protected:
    FakeFeedback fake;  // loaded before the game starts, as process start loads it
};

TEST_F(OptionsFeedback, TheBoxIsOnlyEnabledWithTheLibraryAndApplySwitchesFeedbackAtOnce)
{
    ASSERT_TRUE(fb_active()) << "on at start-up: no setting says \"0\"";
    fake.clear();
    ASSERT_EQ(run({[&] {
                       EXPECT_EQ(button_enabled(options_control(107)), 1);
                       EXPECT_EQ(button_state(options_control(107)), 1);
                       click_control(107);
                   },
                   [&] {
                       EXPECT_EQ(button_state(options_control(107)), 0);
                       push_key(SDLK_RETURN);
                   }}),
              1);
    EXPECT_EQ(setting("FeedBackSupport"), "0");
    EXPECT_EQ(fake.count("fbmouse_done"), 0) << "the dialog itself switches nothing";
    options_apply();
    EXPECT_EQ(fake.calls(), (std::vector<std::string>{"fbmouse_done"}));
    fake.clear();
    run({[&] { click_control(107); }, [&] { push_key(SDLK_RETURN); }});
    options_apply();
    options_apply();
    EXPECT_EQ(fake.calls(), (std::vector<std::string>{"fbmouse_init"})) << "switched back on once";
}

// --- the -options start ---

class OptionsStart : public ::testing::Test {
protected:
    TempDir game;
    void SetUp() override
    {
        fs::create_directories(game.file("sfiles"));
        write_file(game.file("sfiles/config.ini"), "[MAIN]\nSamplesInstalled=1\n");
    }
    int play(const std::string &journal, bool options)
    {
        write_file(game.file("j.txt"), journal);
        std::vector<std::string> args = {"-debug", "1", "-screen", "800x600", "-playback", "j.txt"};
        if (options)
            args.insert(args.begin(), {"-options", "yes"});
        return run_game(args, {.cwd = game.path});
    }
    std::string game_setting(const char *key) const { return setting(key, game.file("sfiles/config.ini")); }
};

TEST_F(OptionsStart, CancelEndsTheGameWithCodeZeroBeforeTheStoreRoom)
{
    EXPECT_EQ(play("300 key_down F12\n320 key_up F12\n600 key_down Escape\n620 key_up Escape\n"
                   "3000 key_down F12\n3020 key_up F12\n5000 close\n",
                   true),
              0)
        << read_file(game.file("stderr.txt")) << read_file(game.file("application.log"));
    EXPECT_EQ(folder_listing(game.file("sfiles/shots")), "shot0001.bmp")
        << "the game ended with Cancel: the later screenshot was never taken";
    EXPECT_EQ(game_setting("BackGround") + game_setting("UserInterface") + game_setting("FeedBackSupport"), "");
    int32_t w = 295, h = 463;
    EXPECT_TRUE(shot_matches_reference(game.file("sfiles/shots/shot0001.bmp"), "options_dialog", (800 - w) / 2,
                                       (600 - h) / 2 + TW_TITLE_HEIGHT, w, h - TW_TITLE_HEIGHT))
        << "the dialog in the game's window, as drawn in the toolkit";
}

TEST_F(OptionsStart, OkGoesOnIntoTheStoreRoomWithTheNewColour)
{
    // Top-left of the map picks red; OK; then a look at the store room.
    const std::string map_at = std::to_string((800 - 295) / 2 + 10) + " " + std::to_string((600 - 463) / 2 + 18 + 125);
    std::string journal = "300 mouse_down " + map_at + " 1\n330 mouse_up " + map_at + " 1\n" +
                          "600 key_down Return\n620 key_up Return\n800 mouse_move 0 0\n3000 key_down F12\n3020 key_up F12\n4000 close\n";
    ASSERT_EQ(play(journal, true), 0) << read_file(game.file("stderr.txt")) << read_file(game.file("application.log"));
    EXPECT_EQ(std::tuple(game_setting("BackGround"), game_setting("FeedBackSupport"), game_setting("UserInterface")),
              std::tuple("0 99 0", "1", ""));
    std::string after_options = read_file(game.file("sfiles/shots/shot0001.bmp"));
    ASSERT_FALSE(after_options.empty()) << "the game went on after OK";

    // A plain start with the settings OK wrote shows the very same store room.
    fs::remove_all(game.file("sfiles/shots"));
    ASSERT_EQ(play("3000 key_down F12\n3020 key_up F12\n4000 close\n", false), 0);
    EXPECT_TRUE(read_file(game.file("sfiles/shots/shot0001.bmp")) == after_options)
        << "the store room after OK is the one a start with those settings shows";
}

// --- OK's writes killed anywhere ---

TEST(OptionsCrash, OkKilledAnywhereLeavesEachKeyAsItWasOrAsChosen)
{
    TempDir dir;
    InDir in(dir.path);
    fs::create_directories("sfiles");
    std::string text = "[MAIN]\nUserInterface=german.ini\nHelpFile=german.hlp\nBackGround=10 20 0\n"
                       "FeedBackSupport=1\n[STOREROOM]\n";
    for (int k = 0; k < 60; k++)
        text += "Window" + std::to_string(k) + "=1 2 320 200 1 0\n";
    const char *keys[] = {"UserInterface", "HelpFile", "BackGround", "FeedBackSupport"};
    const char *old_values[] = {"german.ini", "german.hlp", "10 20 0", "1"};
    const char *new_values[] = {"", "", "209 42 0", "0"};
    auto work = [] { options_write("", nullptr, 209, 42, 0, 0); };
    write_file(SETTINGS_CONFIG, text);
    int calls = run_killed_at(0, work);
    if (calls < 0)
        GTEST_SKIP() << "the child cannot be traced here";
    for (int k = 0; k < 4; k++)
        EXPECT_EQ(setting(keys[k]), new_values[k]) << "the writes run through when not killed";
    EXPECT_GT(calls, 8);
    for (int n = 1; n <= calls; n++) {
        for (const auto &e : fs::directory_iterator("sfiles"))
            fs::remove(e.path());
        write_file(SETTINGS_CONFIG, text);
        ini_flush(nullptr);
        EXPECT_EQ(run_killed_at(n, work), n);
        for (int k = 0; k < 4; k++) {
            std::string v = setting(keys[k]);
            EXPECT_TRUE(v == old_values[k] || v == new_values[k]) << keys[k] << "=" << v << ", killed at change " << n;
        }
        char last[64];
        ini_get_string(SETTINGS_CONFIG, "STOREROOM", "Window59", last, sizeof last);
        EXPECT_EQ(std::string(last), "1 2 320 200 1 0") << "the last line, killed at change " << n;
        for (const auto &e : fs::directory_iterator("sfiles")) {
            std::string name = e.path().filename().string();
            EXPECT_TRUE(name == "config.ini" || (name.rfind("config.ini.", 0) == 0 && name.size() > 5 &&
                                                 name.substr(name.size() - 5) == ".part"))
                << name << " beside the settings, killed at change " << n;
        }
    }
}

}  // namespace
