// The file chooser behind the open and save dialogs, walked as a player walks it: keys,
// clicks and typed text come through the window system while the dialog runs the game's
// own loop. And files dropped on the game's window, through the platform layer and the
// input journal.
#include <SDL2/SDL.h>

#include <filesystem>

#include "ui/dialog.h"
#include "platform/journal.h"
#include "platform/platform.h"
#include "platform/services.h"
#include "platform/loop.h"
#include "tests/reference_image.h"
#include "tests/toolkit_env.h"
#include "ui/filechooser.h"
#include "ui/stdwin.h"

namespace fs = std::filesystem;

// The game clock stands still and moves only when a test says so: double clicks never
// depend on real time.
static void clock_forward(int64_t ms)
{
    io_clock_advance(io_time() + ms);
}

// The chooser's window on the screen.
static void chooser_origin(int32_t *x, int32_t *y)
{
    window_screen_position(filechooser_window(), x, y);
}

static int32_t index_of(const std::string &name)
{
    for (int32_t i = 0; i < filechooser_count(); i++)
        if (filechooser_entry(i, nullptr) == name)
            return i;
    return -1;
}

static std::vector<std::string> entries()
{
    std::vector<std::string> names;
    for (int32_t i = 0; i < filechooser_count(); i++) {
        bool folder;
        const char *name = filechooser_entry(i, &folder);
        names.push_back(std::string(name) + (folder ? "/" : ""));
    }
    return names;
}

static void click_entry(const std::string &name)
{
    int32_t x, y;
    ASSERT_TRUE(filechooser_entry_point(index_of(name), &x, &y)) << name << " is not on show";
    push_click(x, y);
}

static const char PICTURES[] = "Pictures\0*.JPG;*.JPEG\0Everything\0*.*\0";
static const std::string LONG_NAME = std::string(240, 'x') + ".jpg";
static const std::string BAD_NAME = "bad\xff.JPG";  // not UTF-8

class FileChooser : public ModalTest {
protected:
    std::string pics;
    char path[IO_FILE_PATH_MAX] = {};
    char folder[IO_FILE_PATH_MAX] = {};

    void SetUp() override
    {
        ModalTest::SetUp();
        pics = dir.path + "/pics";
        for (const char *sub : {"pics/Alpha", "pics/beta", "pics/.hidden"})
            fs::create_directories(dir.file(sub));
        for (const std::string &name : {std::string("a.JPG"), std::string("b.jpeg"), std::string("C.Jpg"),
                                        std::string("d.png"), std::string("notes.txt"), std::string(".secret.jpg"),
                                        std::string("beta/inner.JPG"), LONG_NAME, BAD_NAME})
            write_file(pics + "/" + name, "picture");
        snprintf(folder, sizeof folder, "%s", pics.c_str());
    }
    int32_t run(int32_t mode, const char *filter, Steps steps)
    {
        return run_modal(std::move(steps), [&] {
            return mode == FC_SAVE ? io_save_file(path, folder, filter) : io_open_file(path, folder, filter);
        });
    }
};

TEST_F(FileChooser, KeysWalkIntoAFolderBackUpAndChooseAFileWhoseFolderTheNextDialogOpens)
{
    int32_t result = run(FC_OPEN, PICTURES, {
        [&] {
            EXPECT_EQ(entries(), (std::vector<std::string>{"Alpha/", "beta/", "a.JPG", "b.jpeg", BAD_NAME, "C.Jpg",
                                                            LONG_NAME}))
                << "folders first, then the matching files, each without regard to case; hidden ones left out";
            EXPECT_EQ(filechooser_selected(), -1);
            push_key(SDLK_DOWN);
            push_key(SDLK_DOWN);
            push_key(SDLK_RETURN);
        },
        [&] {
            EXPECT_EQ(filechooser_folder(), pics + "/beta");
            EXPECT_EQ(entries(), std::vector<std::string>{"inner.JPG"});
            push_key(SDLK_BACKSPACE);
        },
        [&] {
            EXPECT_EQ(filechooser_folder(), pics);
            EXPECT_EQ(filechooser_selected(), index_of("beta")) << "back up, the folder we came from is selected";
            push_key(SDLK_PAGEUP, KMOD_LCTRL);
        },
        [&] {
            EXPECT_EQ(filechooser_selected(), 0) << "Ctrl+Page Up: the first entry";
            push_key(SDLK_c);
        },
        [&] {
            EXPECT_EQ(filechooser_selected(), index_of("C.Jpg")) << "a letter jumps to the next name starting with it";
            for (int i = 0; i < 4; i++)
                push_key(SDLK_UP);
            push_key(SDLK_RETURN);  // beta again
            push_key(SDLK_DOWN);
            push_key(SDLK_RETURN);
        },
    });
    ASSERT_EQ(result, 1);
    EXPECT_EQ(std::string(path), pics + "/beta/inner.JPG");
    EXPECT_EQ(std::string(folder), pics + "/beta") << "the chosen file's folder is remembered";

    path[0] = 0;
    result = run(FC_OPEN, PICTURES, {[&] {
                     EXPECT_EQ(filechooser_folder(), pics + "/beta") << "the next dialog opens where the last one ended";
                     push_key(SDLK_ESCAPE);
                 }});
    EXPECT_EQ(result, 0);
    EXPECT_EQ(std::string(folder), pics + "/beta");

    // Without a folder: the documents folder.
    char documents[IO_FILE_PATH_MAX];
    io_documents_folder(documents, sizeof documents);
    std::string expected = fs::path(documents).lexically_normal().string();
    if (expected.size() > 1 && expected.back() == '/')
        expected.pop_back();
    folder[0] = 0;
    result = run(FC_OPEN, nullptr, {[&] {
                     EXPECT_EQ(filechooser_folder(), expected);
                     push_key(SDLK_ESCAPE);
                 }});
    EXPECT_EQ(result, 0);
    EXPECT_STREQ(folder, "") << "a cancelled dialog leaves the empty folder empty";
}

TEST_F(FileChooser, ClicksSelectAndDoubleClicksOpenFoldersAndChooseFiles)
{
    int32_t x, y;
    int32_t result = run(FC_OPEN, PICTURES, {
        [&] { click_entry("beta"); },
        [&] {
            EXPECT_EQ(filechooser_selected(), index_of("beta"));
            EXPECT_EQ(filechooser_folder(), pics) << "one click only selects";
            clock_forward(200);
            click_entry("beta");
        },
        [&] {
            EXPECT_EQ(filechooser_folder(), pics + "/beta") << "a double click opens the folder";
            chooser_origin(&x, &y);
            push_click(x + FC_LIST_X + FC_UP_WIDTH / 2, y + FC_PATH_Y + 12);  // Up
        },
        [&] {
            EXPECT_EQ(filechooser_folder(), pics);
            click_entry("a.JPG");
        },
        [&] {
            clock_forward(FC_DOUBLE_CLICK_MS + 1);
            click_entry("a.JPG");
        },
        [&] {
            EXPECT_EQ(filechooser_selected(), index_of("a.JPG")) << "two slow clicks are two single ones";
            clock_forward(100);
            click_entry("b.jpeg");
            clock_forward(100);
            click_entry("a.JPG");
        },
        [&] {
            EXPECT_EQ(window_modal(), filechooser_window()) << "quick clicks on two rows are no double click";
            clock_forward(100);
            click_entry(BAD_NAME);
            click_entry(BAD_NAME);
        },
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(std::string(path), pics + "/" + BAD_NAME) << "the file system's own bytes come back";
}

TEST_F(FileChooser, PatternsMatchWithoutCaseAndThePlayerSwitchesThemCancelKeepsTheBuffers)
{
    EXPECT_TRUE(filechooser_match("*.JPG;*.JPEG", "holiday.jpeg"));
    EXPECT_TRUE(filechooser_match(" *.tif ; *.TIFF", "scan.Tiff")) << "blanks around a pattern do not count";
    EXPECT_FALSE(filechooser_match("*.JPG", "holiday.jpg.txt"));
    EXPECT_TRUE(filechooser_match("*.*", "README")) << "*.* is every file, a name without a dot too";
    EXPECT_FALSE(filechooser_match("", "a.jpg"));

    snprintf(path, sizeof path, "untouched");
    int32_t x, y;
    int32_t result = run(FC_OPEN, PICTURES, {
        [&] {
            EXPECT_EQ(index_of("d.png"), -1);
            EXPECT_EQ(index_of("notes.txt"), -1);
            chooser_origin(&x, &y);
            push_click(x + FC_FIELD_X + 40, y + FC_TYPE_Y + 12);  // the pattern button
        },
        [&] {
            EXPECT_EQ(entries(), (std::vector<std::string>{"Alpha/", "beta/", "a.JPG", "b.jpeg", BAD_NAME, "C.Jpg",
                                                            "d.png", "notes.txt", LONG_NAME}))
                << "the second pair shows every file";
            push_click(x + FC_FIELD_X + 40, y + FC_TYPE_Y + 12);
        },
        [&] {
            EXPECT_EQ(filechooser_count(), 7) << "and the first one comes round again";
            push_key(SDLK_DOWN);
            push_key(SDLK_ESCAPE);
        },
    });
    EXPECT_EQ(result, 0);
    EXPECT_STREQ(path, "untouched");
    EXPECT_EQ(std::string(folder), pics);
}

TEST_F(FileChooser, NamesTooLongAreRefusedAndNamesTheFontCannotShowAreReplaced)
{
    snprintf(path, sizeof path, "keep");
    int32_t result = run(FC_OPEN, PICTURES, {
        [&] { push_key(SDLK_PAGEDOWN, KMOD_LCTRL); },
        [&] {
            EXPECT_EQ(filechooser_entry(filechooser_selected(), nullptr), LONG_NAME);
            push_key(SDLK_RETURN);
        },
        [&] {
            EXPECT_EQ(window_modal(), msgbox_window()) << "the path would pass 259 characters: a notice";
            push_key(SDLK_RETURN);
        },
        [&] {
            EXPECT_EQ(window_modal(), filechooser_window()) << "and the chooser stays";
            push_key(SDLK_ESCAPE);
        },
    });
    EXPECT_EQ(result, 0);
    EXPECT_STREQ(path, "keep");
    EXPECT_EQ(std::string(folder), pics);

    auto shown = [](const char *name, int32_t size = 256) {
        std::vector<char> out((size_t)size);
        filechooser_display_name(name, out.data(), size);
        return std::string(out.data());
    };
    EXPECT_EQ(shown("caf\xC3\xA9 \xCE\xB1.jpg"), "caf\xC3\xA9 \xCE\xB1.jpg") << "what the font holds stays";
    EXPECT_EQ(shown("bad\xFF.jpg"), "bad\xEF\xBF\xBD.jpg") << "a byte that is not UTF-8";
    EXPECT_EQ(shown("\xC3(x"), "\xEF\xBF\xBD(x") << "a sequence cut short";
    EXPECT_EQ(shown("\xE6\x97\xA5.jpg"), "\xEF\xBF\xBD.jpg") << "a character without a glyph";
    EXPECT_EQ(shown("tab\there"), "tab\xEF\xBF\xBDhere") << "a control character";
    EXPECT_EQ(shown("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD") << "an overlong form is two bad bytes";
    EXPECT_EQ(shown("abc\xC3\xA9", 5), "abc") << "never half a character";
}

TEST_F(FileChooser, SaveAddsTheDefaultExtensionAndAsksBeforeReplacing)
{
    // The name is typed into an edit field of the platform dialog, which offers the
    // caller's name first.
    snprintf(path, sizeof path, "a");
    int32_t result = run(FC_SAVE, "JPEG\0*.JPG;*.JPEG\0", {
        [&] {
            char offered[IO_FILE_PATH_MAX];
            io_dialog_read(100, offered, sizeof offered);
            EXPECT_STREQ(offered, "a");
            push_key(SDLK_RETURN);  // "a" becomes a.JPG: it exists
        },
        [&] {
            EXPECT_EQ(window_modal(), msgbox_window()) << "a.JPG exists: the question";
            push_key(SDLK_ESCAPE);
        },
        [&] {
            EXPECT_EQ(window_modal(), filechooser_window()) << "No keeps the chooser open";
            push_key(SDLK_RETURN);
        },
        [&] {
            EXPECT_EQ(window_modal(), msgbox_window());
            push_key(SDLK_RETURN);
        },
    });
    EXPECT_EQ(result, 1) << "Yes ends it";
    EXPECT_EQ(std::string(path), pics + "/a.JPG");

    path[0] = 0;
    result = run(FC_SAVE, "JPEG\0*.JPG;*.JPEG\0", {
        [&] {
            push_text("nosuch/new");
            push_key(SDLK_RETURN);
        },
        [&] {
            EXPECT_EQ(window_modal(), msgbox_window()) << "no such folder: a notice";
            push_key(SDLK_RETURN);
        },
        [&] {
            EXPECT_EQ(window_modal(), filechooser_window());
            push_key(SDLK_a, KMOD_LCTRL);
            push_text("beta");
            push_key(SDLK_RETURN);
        },
        [&] {
            EXPECT_EQ(filechooser_folder(), pics + "/beta") << "a folder's name opens the folder";
            push_text("shot");
            push_key(SDLK_RETURN);
        },
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(std::string(path), pics + "/beta/shot.JPG") << "the field started empty in the new folder";
    EXPECT_EQ(std::string(folder), pics + "/beta");

    result = run(FC_SAVE, "JPEG\0*.JPG;*.JPEG\0", {
        [&] {
            push_text("shot.v2");
            push_key(SDLK_RETURN);
        },
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(std::string(path), pics + "/beta/shot.v2") << "a name with an extension keeps it";
}

TEST_F(FileChooser, LongListsScrollByPagesAndByTheBar)
{
    fs::create_directories(dir.file("many"));
    for (int i = 0; i < 30; i++) {
        char name[32];
        snprintf(name, sizeof name, "many/f%02d.jpg", i);
        write_file(dir.file(name), "picture");
    }
    snprintf(folder, sizeof folder, "%s", dir.file("many").c_str());
    int32_t x, y, bar_x;
    int32_t result = run(FC_OPEN, PICTURES, {
        [&] {
            ASSERT_EQ(filechooser_count(), 30);
            chooser_origin(&x, &y);
            bar_x = x + FC_LIST_X + FC_LIST_WIDTH - FC_BAR_WIDTH / 2 - 1;
            // The thumb starts at the track's top; taken there and pulled down by the
            // track's free length, it reaches the end of the list.
            int32_t track_h = FC_LIST_HEIGHT - 2, thumb_h = std::max(12, track_h * FC_ROWS / 30);
            push_button(bar_x, y + FC_LIST_Y + 6, true);
            push_move(bar_x, y + FC_LIST_Y + 6 + (track_h - thumb_h) / 2, true);
            push_move(bar_x, y + FC_LIST_Y + 6 + (track_h - thumb_h), true);
            push_button(bar_x, y + FC_LIST_Y + 6 + (track_h - thumb_h), false);
        },
        [&] {
            EXPECT_EQ(filechooser_top(), 30 - FC_ROWS);
            EXPECT_EQ(window_drag_mode(), 0) << "the release lets the thumb go";
            push_click(bar_x, y + FC_LIST_Y + 6);  // the track above the thumb
        },
        [&] {
            EXPECT_EQ(filechooser_top(), 30 - FC_ROWS - (FC_ROWS - 1)) << "a click on the track pages";
            push_key(SDLK_PAGEDOWN);
        },
        [&] {
            EXPECT_EQ(filechooser_selected(), FC_ROWS - 1);
            EXPECT_EQ(filechooser_top(), 30 - FC_ROWS - (FC_ROWS - 1)) << "the selection was on show already";
            push_key(SDLK_PAGEDOWN, KMOD_LCTRL);
        },
        [&] {
            EXPECT_EQ(std::tuple(filechooser_selected(), filechooser_top()), std::tuple(29, 30 - FC_ROWS));
            push_key(SDLK_PAGEUP);
            push_key(SDLK_PAGEUP);
            push_key(SDLK_PAGEUP);
        },
        [&] {
            EXPECT_EQ(std::tuple(filechooser_selected(), filechooser_top()), std::tuple(0, 0));
            push_key(SDLK_ESCAPE);
        },
    });
    EXPECT_EQ(result, 0);
}

// --- the picture of the chooser ---

TEST_F(FileChooser, LooksAsItsReferencePicture)
{
    // A folder deep enough that the path row shows only names of the test's own making.
    std::string deep = dir.path + "/the-games-own-pictures-folder-with-a-name-long-enough-to-fill-the-row/Holiday";
    fs::create_directories(deep + "/Beach");
    fs::create_directories(deep + "/mountains");
    for (const char *name : {"cat.jpg", "Dog.JPEG", "caf\xC3\xA9.jpg", "sunset.jpg"})
        write_file(deep + "/" + name, "picture");
    snprintf(folder, sizeof folder, "%s", deep.c_str());
    int32_t result = run(FC_OPEN, PICTURES, {
        [&] {
            push_key(SDLK_DOWN);
            push_key(SDLK_DOWN);
            push_key(SDLK_DOWN);
        },
        [&] {},  // drawn
        [&] {
            int32_t x, y;
            chooser_origin(&x, &y);
            EXPECT_TRUE(frame_matches_reference("filechooser_open", x, y, FC_WIDTH, FC_HEIGHT));
            push_key(SDLK_ESCAPE);
        },
    });
    EXPECT_EQ(result, 0);
}

// --- files dropped on the window ---

static std::vector<std::string> dropped;

static void on_drop(const char *path)
{
    dropped.push_back(path);
}

static void push_drop(Uint32 type, const char *path)
{
    SDL_Event e = {};
    e.type = type;
    e.drop.file = path ? SDL_strdup(path) : nullptr;
    SDL_PushEvent(&e);
}

class Drop : public ToolkitTest {
protected:
    void SetUp() override
    {
        ToolkitTest::SetUp();
        ASSERT_EQ(io_platform_init("test", 640, 480, true), 1);
        io_pump();
        dropped.clear();
    }
    void TearDown() override
    {
        kernel_set_drop_handler(nullptr);
        io_platform_done();
        ToolkitTest::TearDown();
    }
};

TEST_F(Drop, AFileDroppedOnTheWindowReachesTheRegisteredHandler)
{
    kernel_set_drop_handler(nullptr);  // the game's own goes to the create room
    push_drop(SDL_DROPFILE, "/home/player/My Pictures/cat.jpg");
    io_pump();
    EXPECT_TRUE(dropped.empty()) << "with no handler a drop goes nowhere";

    kernel_set_drop_handler(on_drop);
    push_drop(SDL_DROPBEGIN, nullptr);
    push_drop(SDL_DROPFILE, "/home/player/My Pictures/cat.jpg");
    push_drop(SDL_DROPTEXT, "some text, not a file");
    push_drop(SDL_DROPFILE, ("/" + std::string(300, 'p') + ".jpg").c_str());
    push_drop(SDL_DROPCOMPLETE, nullptr);
    io_pump();
    EXPECT_EQ(dropped, std::vector<std::string>{"/home/player/My Pictures/cat.jpg"})
        << "text and a path too long to carry whole are not files to open";
}

TEST(DropJournal, ADropLineCarriesThePathBothWays)
{
    PlatformInput in = {};
    in.kind = InputKind::Drop;
    snprintf(in.text, sizeof in.text, "/home/player/My Pictures/ cat.jpg");
    char line[JOURNAL_LINE_MAX];
    ASSERT_EQ(journal_format_line(1500, &in, line, sizeof line), 1);
    EXPECT_STREQ(line, "1500 drop /home/player/My Pictures/ cat.jpg");
    PlatformInput got;
    int64_t t;
    uint8_t held = 0;
    ASSERT_EQ(journal_parse_line((std::string(line) + "\r\n").c_str(), &t, &got, &held), 1);
    EXPECT_EQ(t, 1500);
    EXPECT_EQ(memcmp(&in, &got, sizeof in), 0) << "the blanks of the path survive";
    EXPECT_EQ(journal_parse_line("10 drop", &t, &got, &held), -1) << "a drop without a path";
    snprintf(in.text, sizeof in.text, "two\nlines");
    EXPECT_EQ(journal_format_line(1, &in, line, sizeof line), 0) << "a path the journal cannot hold on one line";

    TempDir dir;
    write_file(dir.file("drop.journal"), "# a picture dropped\n40 drop /tmp/a b.jpg\n");
    char error[256];
    ASSERT_EQ(io_journal_load(dir.file("drop.journal").c_str(), error, sizeof error), 1) << error;
    ASSERT_TRUE(io_journal_take(&got));
    EXPECT_EQ(got.kind, InputKind::Drop);
    EXPECT_STREQ(got.text, "/tmp/a b.jpg");
    io_journal_done();
}
