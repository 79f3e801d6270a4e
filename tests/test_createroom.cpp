// The create room as the player uses it: pictures fitted to the desk or refused, a new
// box made through the file chooser, the trackbars, the shape buttons and the name
// prompt and found on the shelf and by the companion command, a box changed or left as
// it was, music chosen or refused, a picture dropped on the window, and the room's look.
#include <SDL2/SDL.h>
#include <zlib.h>

#include <filesystem>
#include <set>

#include "platform/events.h"
#include "platform/files.h"
#include "platform/loop.h"
#include "puzzle/cut.h"
#include "res/lang.h"
#include "rooms/box/shelf.h"
#include "rooms/create/createroom.h"
#include "rooms/store/storeroom.h"
#include "tests/reference_image.h"
#include "tests/test_box_support.h"
#include "tests/toolkit_env.h"
#include "ui/button.h"
#include "ui/stdwin.h"
#include "ui/trackbar.h"

namespace {

const std::string MIDI("MThd\0\0\0\6\0\1\0\1\0\x60MTrk\0\0\0\4\0\xFF\x2F\0", 26);

// The PNG with its header claiming w x h, its checksum made to match.
std::string png_claiming(std::string file, uint32_t w, uint32_t h)
{
    for (int i = 0; i < 4; i++) {
        file[16 + i] = (char)(w >> (24 - 8 * i));
        file[20 + i] = (char)(h >> (24 - 8 * i));
    }
    uint32_t crc = (uint32_t)crc32(0, (const uint8_t *)file.data() + 12, 17);
    for (int i = 0; i < 4; i++)
        file[29 + i] = (char)(crc >> (24 - 8 * i));
    return file;
}

class CreateRoom : public ToolkitTest {
protected:
    std::vector<std::string> messages;
    std::string pics;

    void SetUp() override
    {
        make_game_folders();
        write_file("sfiles/config.ini", "[MAIN]\nSamplesInstalled=1\n");
        start(800, 600);
        platform_up();
        io_clock_start(true);
        message_log(&messages);
        make_dir("pics");
        pics = std::filesystem::current_path().string() + "/pics/";
        frame();
    }
    void TearDown() override
    {
        message_log(nullptr);
        if (createroom.shown)
            createroom_leave();
        io_clock_start(false);
        platform_down();
        ToolkitTest::TearDown();
    }
    std::string picture(const std::string &name, int32_t w, int32_t h, int seed = 1)
    {
        write_file("pics/" + name, test_jpeg(w, h, seed));
        return pics + name;
    }
    // Loads a picture the way the Load button does once the file is chosen; a message it
    // shows is answered with Enter.
    int32_t load(const std::string &path)
    {
        messages.clear();
        push_key(SDLK_RETURN);
        int32_t loaded = createroom_load_picture(path.c_str());
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        return loaded;
    }
    // Answers the file chooser that is about to open: Tab to its name box, the path typed
    // and Enter.
    static void choose(const std::string &path)
    {
        push_key(SDLK_TAB);
        push_text(path.c_str());
        push_key(SDLK_RETURN);
    }
    // Answers the name prompt: what it offers replaced by `name`.
    static void name_as(const char *name)
    {
        push_key(SDLK_a, KMOD_LCTRL);
        push_text(name);
        push_key(SDLK_RETURN);
    }
    std::string said() const { return messages.size() == 1 ? messages[0] : std::to_string(messages.size()) + " messages"; }
    static void later() { io_clock_advance(io_time() + 1000); }
    static void click_window(int32_t window, int32_t dx = 5, int32_t dy = 5)
    {
        later();
        int32_t x, y;
        window_screen_position(window, &x, &y);
        click(x + dx, y + dy);
        frame();
    }
    static int32_t control(int32_t n) { return createroom.controls[n]; }
    // The trackbar's arrow buttons, square at its ends, step its value by one.
    static void step(int32_t trackbar, int32_t steps)
    {
        int32_t w, h;
        window_size(trackbar, &w, &h);
        for (int32_t i = 0; i < abs(steps); i++)
            click_window(trackbar, steps < 0 ? TRACKBAR_HEIGHT / 2 : w - TRACKBAR_HEIGHT / 2, TRACKBAR_HEIGHT / 2);
    }
    static std::pair<int32_t, int32_t> range(int32_t trackbar)
    {
        int32_t lo, hi;
        trackbar_range(trackbar, &lo, &hi);
        return {lo, hi};
    }
    static int32_t height_of(int32_t window)
    {
        int32_t w, h;
        window_size(window, &w, &h);
        return h;
    }
    std::string text(int32_t n) const { return lt_get(n); }
};

TEST_F(CreateRoom, PicturesAreFittedToTheDeskAndRandomCutsStayInTheirRanges)
{
    char info[512];
    createroom_info_text(info, sizeof info);
    EXPECT_STREQ(info, "") << "no picture, no text";
    ASSERT_EQ(createroom_enter(nullptr), 1);
    EXPECT_EQ(std::tuple(createroom.desk_x, createroom.desk_y, createroom.desk_w, createroom.desk_h),
              std::tuple(10, 28, 780, 520));
    EXPECT_FALSE(window_shown(createroom.piece_window)) << "with no picture only the picture window shows";
    EXPECT_EQ(height_of(createroom.image_window), 84);

    // The desk is 780 x 520; `size` is a later step of the size trackbar (0: none). The
    // size range runs from 40 pixels on the smaller side to the fitted size; pieces from
    // 10 to half the smaller side, a piece size above it coming down to it.
    const struct {
        const char *name;
        int32_t w, h, size, fit_w, fit_h;
        char axis;
        std::pair<int32_t, int32_t> sizes, pieces;
        int32_t piece;
    } fits[] = {
        {"Wide field", 2000, 1000, 0, 780, 390, 'w', {80, 780}, {10, 195}, 32},
        {"Wide field", 2000, 1000, 100, 100, 50, 'w', {80, 780}, {10, 25}, 25},
        {"Tower", 300, 900, 0, 173, 520, 'h', {120, 520}, {10, 86}, 32},
        {"small", 100, 60, 0, 100, 60, 'w', {66, 100}, {10, 30}, 30},  // never enlarged
        {"tiny", 40, 40, 0, 40, 40, 'h', {40, 40}, {10, 20}, 20},
    };
    const BoxInfo &b = createroom.info;
    auto counted = [&b] {
        int32_t columns, rows, ox, oy;
        cut_grid_measure(&b, &columns, &rows, &ox, &oy);
        return columns * rows;
    };
    std::set<int32_t> sizes;
    for (const auto &f : fits) {
        SCOPED_TRACE(std::string(f.name) + " " + std::to_string(f.size));
        ASSERT_EQ(load(picture(std::string(f.name) + ".jpg", f.w, f.h)), 1);
        if (f.size)
            createroom_set_size(f.size);
        EXPECT_TRUE(messages.empty());
        EXPECT_STREQ(createroom.box_name, f.name);
        EXPECT_EQ(std::tuple(b.picture_width, b.picture_height, createroom.picture->width, createroom.picture->height,
                             createroom.size_axis),
                  std::tuple(f.fit_w, f.fit_h, f.fit_w, f.fit_h, f.axis));
        EXPECT_EQ(std::tuple(range(control(CREATE_SIZE)), range(control(CREATE_PIECE_SIZE)), b.piece_size, b.jitter, b.shape),
                  std::tuple(f.sizes, f.pieces, f.piece, 0, 1));
        if (!f.size) {
            EXPECT_EQ(trackbar_value(control(CREATE_SIZE)), f.sizes.second) << "a fresh picture shows at its fitted size";
        }
        EXPECT_EQ(b.piece_count, counted()) << "the grid is counted at once";
        EXPECT_TRUE(window_shown(createroom.piece_window) && window_shown(createroom.misc_window));
        EXPECT_EQ(height_of(createroom.image_window), 140);
        for (int i = 0; i < 30; i++) {
            click_window(control(CREATE_RANDOM));
            ASSERT_TRUE(b.piece_size >= f.pieces.first && b.piece_size < f.pieces.second && b.jitter >= 0 &&
                        b.jitter < 40 && b.shape >= 0 && b.shape < 8)
                << b.piece_size << " " << b.jitter << " " << b.shape;
            ASSERT_EQ(trackbar_value(control(CREATE_PIECE_SIZE)), b.piece_size);
            ASSERT_EQ(button_group_selected(control(CREATE_SHAPE_FIRST)), b.shape);
            ASSERT_EQ(b.piece_count, counted());
            sizes.insert(b.piece_size);
        }
    }
    EXPECT_GT(sizes.size(), 20u) << "the cuts differ";
    createroom_info_text(info, sizeof info);
    EXPECT_EQ(std::string(info), "Box: tiny\nPieces: " + std::to_string(b.piece_count) +
                                     ", Size: 40x40\nFull size from 640x480");
    createroom_leave();

    // A box whose smaller side holds just two of the smallest pieces has one piece size
    // to choose from.
    write_file("puzzles/Ribbon.pzl", box_file({{1, 2, 3, CHUNK_ID_MARK}}, test_box_info(100, 20, 10), test_jpeg(100, 20)));
    ASSERT_EQ(createroom_enter("Ribbon"), 1);
    EXPECT_EQ(range(control(CREATE_PIECE_SIZE)), std::pair(10, 10));
    click_window(control(CREATE_RANDOM));
    EXPECT_EQ(createroom.info.piece_size, 10);
}

TEST_F(CreateRoom, TheSmallestScreenThatShowsThePictureWholeIsNamed)
{
    int32_t w, h;
    EXPECT_EQ(createroom_screen_mode(700, 400, &w, &h), 1);
    EXPECT_EQ(std::tuple(w, h), std::tuple(800, 600));
    EXPECT_EQ(createroom_screen_mode(620, 400, &w, &h), 1);
    EXPECT_EQ(std::tuple(w, h), std::tuple(640, 480));
    EXPECT_EQ(createroom_screen_mode(1580, 1120, &w, &h), 1);
    EXPECT_EQ(std::tuple(w, h), std::tuple(1600, 1200));
    EXPECT_EQ(createroom_screen_mode(1581, 100, &w, &h), 0);
}

TEST_F(CreateRoom, ANewBoxIsMadeWithTheMouseAndFoundOnTheShelf)
{
    std::string path = picture("Sunset.jpg", 1000, 700);
    click_window(storeroom.main_buttons[1]);
    ASSERT_EQ(window_root(), createroom.window);
    EXPECT_EQ(createroom.editing, 0);

    choose(path);
    click_window(control(CREATE_LOAD));
    ASSERT_NE(createroom.picture, nullptr) << "the chosen picture is loaded";
    EXPECT_EQ(std::tuple(createroom.info.picture_width, createroom.info.picture_height), std::tuple(742, 520));

    step(control(CREATE_PIECE_SIZE), -4);
    step(control(CREATE_JITTER), 7);
    click_window(control(CREATE_SHAPE_FIRST + 5));
    click_window(control(CREATE_ROTATION));
    frame();
    const BoxInfo &b = createroom.info;
    EXPECT_EQ(std::tuple(b.piece_size, b.jitter, b.shape, b.rotation), std::tuple(28, 7, 5, 1));

    // OK asks for the name, offering the picture's; another box's name is refused.
    write_file("puzzles/Taken.pzl", box_file({{4, 5, 6, CHUNK_ID_MARK}}, test_box_info(200, 150, 25), test_jpeg(200, 150)));
    shelf_load_box("Taken");
    name_as("Taken");
    push_key(SDLK_RETURN);  // the message that the name is taken
    name_as("Evening sky");
    click_window(control(CREATE_OK));
    EXPECT_EQ(said(), text(16));
    EXPECT_EQ(window_root(), storeroom.window) << "saving leaves for the store room";
    EXPECT_FALSE(createroom.shown);

    ShelfBox *box = shelf_find("Evening sky");
    ASSERT_NE(box, nullptr) << "the new box is on the shelf";
    EXPECT_EQ(std::tuple(box->info.piece_size, box->info.jitter, box->info.shape, box->info.rotation, box->info.picture_width),
              std::tuple(28, 7, 5, 1, 742));
}

TEST_F(CreateRoom, ABoxIsChangedOrLeftAsItWas)
{
    BoxInfo info = test_box_info(400, 300, 40);
    info.has_description = 1;
    std::string before = box_file({{7, 7, 7, CHUNK_ID_MARK}}, info, test_jpeg(400, 300),
                                  box_record(BOX_TAG_DESCRIPTION, "Boats in a harbour"));
    write_file("puzzles/Harbour.pzl", before);
    BoxInfo surprise = test_box_info(200, 150, 25);
    surprise.surprise = 1;
    write_file("puzzles/Gift.pzl", box_file({{8, 8, 8, CHUNK_ID_MARK}}, surprise, test_jpeg(200, 150)));
    ShelfBox *harbour = shelf_load_box("Harbour");
    ShelfBox *gift = shelf_load_box("Gift");
    ASSERT_TRUE(harbour && gift);
    frame();

    // A surprise box keeps its secret.
    gift->selected = 1;
    storeroom_count_selection();
    push_key(SDLK_RETURN);
    click_window(storeroom.tool_buttons[STORE_TOOL_EDIT]);
    EXPECT_EQ(said(), text(STORE_TEXT_SURPRISE));
    EXPECT_FALSE(createroom.shown);
    gift->selected = 0;
    messages.clear();

    harbour->selected = 1;
    storeroom_count_selection();
    click_window(storeroom.tool_buttons[STORE_TOOL_EDIT]);
    ASSERT_TRUE(createroom.shown);
    EXPECT_EQ(createroom.editing, 1);
    EXPECT_FALSE(window_shown(createroom.image_window)) << "a box keeps its picture";
    EXPECT_EQ(trackbar_value(control(CREATE_PIECE_SIZE)), 40);
    step(control(CREATE_PIECE_SIZE), -3);
    click_window(control(CREATE_CANCEL));
    EXPECT_FALSE(createroom.shown);
    EXPECT_EQ(read_file("puzzles/Harbour.pzl"), before) << "Cancel writes nothing";

    click_window(storeroom.tool_buttons[STORE_TOOL_EDIT]);
    click_window(control(CREATE_SHAPE_FIRST + 6));
    click_window(control(CREATE_OK));
    EXPECT_FALSE(createroom.shown);
    EXPECT_TRUE(messages.empty());
    ChunkId id;
    BoxInfo after;
    ASSERT_EQ(box_read("Harbour", &id, &after, BOX_ALL_PARTS), 1);
    EXPECT_EQ(std::tuple(after.shape, after.piece_size, after.has_description), std::tuple(6, 40, 1));
    EXPECT_EQ(read_file(BOX_TEMP_DESCRIPTION), "Boats in a harbour") << "the description is carried over";
}

TEST_F(CreateRoom, MusicIsChosenOrRefused)
{
    write_file("pics/tune.mid", MIDI);
    write_file("pics/noise.mid", "not music at all");
    ASSERT_EQ(createroom_enter(nullptr), 1);
    ASSERT_EQ(load(picture("Lake.jpg", 300, 200)), 1);
    EXPECT_FALSE(button_enabled(control(CREATE_PLAY)));

    choose(pics + "noise.mid");
    push_key(SDLK_RETURN);  // the refusal
    click_window(control(CREATE_MUSIC));
    EXPECT_EQ(said(), text(CREATE_TEXT_NOT_MIDI));
    EXPECT_EQ(button_state(control(CREATE_MUSIC)), 0);
    EXPECT_EQ(createroom.info.has_music, 0);

    messages.clear();
    choose(pics + "tune.mid");
    click_window(control(CREATE_MUSIC));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(button_state(control(CREATE_MUSIC)), 1);
    EXPECT_TRUE(button_enabled(control(CREATE_PLAY)) && button_enabled(control(CREATE_LOOP)));
    EXPECT_EQ(read_file(BOX_TEMP_MUSIC), MIDI);
    click_window(control(CREATE_LOOP));

    name_as("Lake with music");
    click_window(control(CREATE_OK));
    ShelfBox *box = shelf_find("Lake with music");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(std::tuple(box->info.has_music, box->info.loop_music), std::tuple(1, 1));
}

TEST_F(CreateRoom, HostilePicturesAreRefusedAndNothingBreaks)
{
    ASSERT_EQ(createroom_enter(nullptr), 1);
    const struct {
        const char *name;
        std::string bytes;
        int32_t message;
    } refused[] = {
        {"thin.jpg", test_jpeg(39, 400), CREATE_TEXT_TOO_SMALL},
        // 780 x 8 on the desk: too low for a piece, though the file is not.
        {"strip.jpg", test_jpeg(9000, 100), CREATE_TEXT_TOO_SMALL},
        {"letter.jpg", "Dear friend, this is not a picture.", CREATE_TEXT_UNREADABLE},
        {"cut short.jpg", test_jpeg(300, 200).substr(0, 700), CREATE_TEXT_UNREADABLE},
        {"huge.png", png_claiming(read_file(std::string(PELMORA_SOURCE_DIR) + "/fuzz/seeds/fuzz_png/grey16.png"), 20000, 20000),
         CREATE_TEXT_UNREADABLE},  // from the header
        {"missing.jpg", "", CREATE_TEXT_UNREADABLE},
    };
    for (const auto &r : refused) {
        ASSERT_EQ(load(picture("Good.jpg", 300, 200)), 1);
        if (!r.bytes.empty())
            write_file("pics/" + std::string(r.name), r.bytes);
        EXPECT_EQ(load(pics + r.name), 0) << r.name;
        EXPECT_EQ(said(), text(r.message)) << r.name;
        EXPECT_TRUE(createroom.picture == nullptr && createroom.source == nullptr) << r.name;
        EXPECT_FALSE(window_shown(createroom.piece_window)) << r.name;
        EXPECT_EQ(height_of(createroom.image_window), 84) << r.name;
    }

    // Every seed of the picture readers' fuzzers (small pictures of every kind), whole, cut
    // short and with bytes flipped: each is taken or refused with one of the room's two
    // messages.
    int32_t tried = 0;
    for (const char *kind : {"fuzz_bmp", "fuzz_jpeg", "fuzz_png", "fuzz_tiff"})
        for (const auto &entry :
             std::filesystem::directory_iterator(std::string(PELMORA_SOURCE_DIR) + "/fuzz/seeds/" + kind)) {
            std::string bytes = read_file(entry.path().string()), ext = entry.path().extension().string();
            for (int variant = 0; variant < 4; variant++) {
                std::string b = bytes;
                if (variant == 1)
                    b.resize(b.size() / 2);
                for (size_t at = 64 + variant; variant >= 2 && at < b.size(); at += 97 * variant)
                    b[at] = (char)(b[at] ^ 0x5A);
                std::string path = pics + "seed" + ext;
                write_file(path, b);
                int32_t loaded = load(path);
                tried++;
                if (!loaded)
                    ASSERT_TRUE(said() == text(CREATE_TEXT_UNREADABLE) || said() == text(CREATE_TEXT_TOO_SMALL))
                        << entry.path() << " variant " << variant << ": " << said();
                else
                    ASSERT_GE(std::min(createroom.info.picture_width, createroom.info.picture_height), 40);
            }
        }
    EXPECT_GT(tried, 100);
}

// A picture dropped on the store room opens the create room with it; another dropped
// there replaces the one loaded.
TEST_F(CreateRoom, APictureDroppedOnTheRoomReplacesTheOneLoaded)
{
    PlatformInput drop = {};
    drop.kind = InputKind::Drop;
    for (const auto &[name, w, h, axis] : {std::tuple("First", 500, 300, 'w'), std::tuple("Second", 200, 400, 'h')}) {
        snprintf(drop.text, sizeof drop.text, "%s", picture(std::string(name) + ".jpg", w, h).c_str());
        kernel_dispatch_input(&drop);
        ASSERT_EQ(window_root(), createroom.window);
        EXPECT_STREQ(createroom.box_name, name);
        EXPECT_EQ(std::tuple(createroom.info.picture_width, createroom.size_axis), std::tuple(w, axis));
    }
}

TEST_F(CreateRoom, TheRoomLooksRight)
{
    ASSERT_EQ(createroom_enter(nullptr), 1);
    ASSERT_EQ(load(picture("Stripes.jpg", 600, 400, 5)), 1);
    step(control(CREATE_JITTER), 10);
    click_window(control(CREATE_SHAPE_FIRST + 3));
    move(799, 599);
    repaint_all();
    EXPECT_TRUE(frame_matches_reference("createroom", 0, 0, 800, 600));
}

}  // namespace
