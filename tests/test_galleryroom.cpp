// The gallery room as the player uses it: a finished box's picture framed in the hand,
// swaps with the cell under the pointer (and none without one), keys, mouse look and
// zoom; the gallery file's layout kept record for record, hostile files put aside
// without a crash, a save killed anywhere, and a whole visit played from the shelf.
#include <SDL2/SDL.h>

#include <filesystem>

#include "platform/loop.h"
#include "res/lang.h"
#include "rooms/gallery/galleryroom.h"
#include "rooms/store/storeroom.h"
#include "tests/reference_image.h"
#include "tests/test_box_support.h"
#include "tests/toolkit_env.h"
#include "ui/skin.h"

namespace {

const ChunkId tiny_id = {{21, 22, 23, CHUNK_ID_MARK}};
const char *const finished_on = "Monday, 7 December 2026";

// A finished box "Tiny" of a 100 x 50 picture with its saved game: 754 seconds played.
void make_finished_box(const std::string &folder = ".")
{
    for (const char *f : {"sfiles/temp", "sfiles/qs", "puzzles"})
        std::filesystem::create_directories(folder + "/" + f);
    write_file(folder + "/puzzles/Tiny.pzl", box_file(tiny_id, test_box_info(100, 50, 10), test_jpeg(100, 50, 4)));
    std::string date = std::string(finished_on).append(64 - strlen(finished_on), '\0');
    write_file(folder + "/sfiles/qs/Tiny.qsv", box_head(tiny_id, CHUNK_QICK) + box_record(1, le32(754)) +
                                                   box_record(2, date) + box_record(3, le32(100)) + box_record(4, le32(50)));
    write_file(folder + "/sfiles/config.ini",
               "[MAIN]\nSamplesInstalled=1\nOldScreenSize=800 600\n[BOXNAMES]\n0=Tiny\n[BOXPOSS]\n0=300 300\n");
}

// The file's bytes by hand: an IMG picture, a record, and a gallery of 50 records.
std::string img_head(int32_t w, int32_t h, uint32_t format = IMG_BGR)
{
    return le32(IMG_MAGIC) + le32((uint32_t)w) + le32((uint32_t)h) + le32(format) + le32(36) +
           le32((format & 15) * (uint32_t)w) + le32(0) + le32(0) + le32(0);
}
std::string img_bytes(int32_t w, int32_t h, uint32_t format = IMG_BGR, int seed = 1)
{
    std::string s = img_head(w, h, format);
    for (int64_t i = 0; i < (int64_t)(format & 15) * w * h; i++)
        s += (char)(i * 7 + seed);
    return s;
}
std::string record_bytes(const std::string &name = "", const std::string &picture = "", int32_t pieces = 0,
                         int32_t time = 0, const std::string &date = "", uint32_t flag = 1)
{
    return le32(picture.empty() ? 0 : flag) + name + std::string(64 - name.size(), '\0') + le32(pieces) +
           le32(time) + date + std::string(64 - date.size(), '\0') + picture;
}
std::string gallery_bytes(std::vector<std::string> records, uint32_t magic = CHUNK_GALL)
{
    records.resize(GALLERY_CELLS, record_bytes());
    std::string s = le32(magic) + le32(1);
    for (const std::string &r : records)
        s += r;
    return s;
}

int32_t pictures_hung(void)
{
    int32_t n = 0;
    for (const GalleryRecord &c : galleryroom.cells)
        n += c.picture != nullptr;
    return n;
}

class GalleryRoom : public ToolkitTest {
protected:
    std::vector<std::string> messages;
    void SetUp() override
    {
        make_finished_box();
        start(800, 600);
        platform_up();
        io_clock_start(true);
        message_log(&messages);
        frame();
    }
    void TearDown() override
    {
        message_log(nullptr);
        io_clock_start(false);
        platform_down();
        ToolkitTest::TearDown();
    }
    // The messages an action shows, answered by the keys in turn.
    std::vector<std::string> answering(std::initializer_list<int32_t> keys, const std::function<void()> &action)
    {
        messages.clear();
        for (int32_t k : keys)
            push_key(k);
        action();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        return messages;
    }
    static void click_control(int32_t control)
    {
        int32_t x, y;
        window_screen_position(galleryroom.controls[control], &x, &y);
        click(x + 5, y + 5);
    }
    // The camera before wall 0 with cell 0 straight ahead, the view set up again.
    static void before_wall_0(void)
    {
        g3dscene.x = 96, g3dscene.y = 100, g3dscene.heading = 270;
        galleryroom_set_zoom(galleryroom.zoom);
    }
    // A view point over `cell` (on its picture or off it), found as the scene picks.
    static bool point_over(int32_t cell, bool on_picture, int32_t *x, int32_t *y)
    {
        for (int32_t yy = 2; yy < galleryroom.view_h - 2; yy += 3)
            for (int32_t xx = 2; xx < galleryroom.view_w - 2; xx += 3) {
                bool on = false;
                if (g3dscene_pick(xx, yy, &on) == cell && on == on_picture) {
                    *x = galleryroom.view_x + xx;
                    *y = galleryroom.view_y + yy;
                    return true;
                }
            }
        return false;
    }
    static std::string text(int32_t n) { return lt_get(n); }
};

TEST_F(GalleryRoom, AFinishedBoxComesFramedIntoTheHand)
{
    ASSERT_EQ(galleryroom_hang("Tiny"), 1);
    EXPECT_EQ(window_root(), galleryroom.window);
    const GalleryRecord &hand = galleryroom.hand;
    ASSERT_TRUE(hand.picture && galleryroom.thumbnail);
    EXPECT_EQ(std::tuple(hand.picture->width, hand.picture->height, galleryroom.thumbnail->width,
                         galleryroom.thumbnail->height),
              std::tuple(248, 124, 128, 64));
    EXPECT_EQ(std::tuple(std::string(hand.name), hand.pieces, hand.play_time, std::string(hand.date)),
              std::tuple(std::string("Tiny"), 50, 754, std::string(finished_on)));
    // The outermost pixels wear the outline colour, the picture starts inside them.
    auto at = [&](int32_t x, int32_t y) {
        const uint8_t *p = (const uint8_t *)hand.picture + 36 + y * hand.picture->colour_stride + x * 3;
        return (uint32_t)(p[2] << 16 | p[1] << 8 | p[0]);
    };
    for (auto [x, y] : {std::pair(0, 0), {247, 0}, {247, 123}, {0, 123}, {100, 0}, {0, 60}, {247, 60}, {100, 123}})
        EXPECT_EQ(at(x, y), skin_color(SKIN_COLOR_GALLERY_OUTLINE)) << x << "," << y;
    EXPECT_NE(at(1, 1), skin_color(SKIN_COLOR_GALLERY_OUTLINE));
    frame();
    EXPECT_TRUE(frame_matches_reference("gallery_hand", 20, 300, 300, 198));

    // A box without its saved game cannot come: the room is not entered.
    galleryroom_leave();
    std::filesystem::remove("sfiles/qs/Tiny.qsv");
    EXPECT_EQ(galleryroom_hang("Tiny"), 0);
    EXPECT_EQ(std::tuple(window_root(), galleryroom.hand.picture), std::tuple(storeroom.window, nullptr));
    EXPECT_FALSE(exists(BOX_TEMP_PICTURE)) << "the box's picture file is gone";
}

TEST_F(GalleryRoom, TheHandSwapsOnlyWithTheCellUnderThePointer)
{
    ASSERT_EQ(galleryroom_hang("Tiny"), 1);
    before_wall_0();
    int32_t x, y, fx, fy;
    ASSERT_TRUE(point_over(0, false, &x, &y) && point_over(-1, false, &fx, &fy));

    // Off the walls there is no cell: neither a click nor Space swaps anything.
    move(fx, fy);
    EXPECT_EQ(std::tuple(galleryroom.target, std::string(galleryroom.info)), std::tuple(-1, std::string()));
    click(fx, fy);
    key(SDLK_SPACE);
    EXPECT_STREQ(galleryroom.hand.name, "Tiny");
    EXPECT_TRUE(galleryroom.hand.picture && pictures_hung() == 0);
    // Over a button the cross-hair in the middle is the target: an empty frame there.
    EXPECT_EQ(answering({SDLK_RETURN}, [] { click_control(GALLERY_TAKE_DOWN); }),
              std::vector{text(GALLERY_TEXT_NOTHING_HERE)});
    EXPECT_EQ(std::tuple(galleryroom.at_centre, galleryroom.target), std::tuple(1, 0));

    // Over the empty frame: a click hangs the picture there and the info tells of it.
    move(x, y);
    EXPECT_EQ(std::tuple(galleryroom.target, std::string(galleryroom.info)), std::tuple(0, text(GALLERY_TEXT_EMPTY_FRAME)));
    click(x, y);
    EXPECT_EQ(galleryroom.hand.picture, nullptr);
    ASSERT_NE(galleryroom.cells[0].picture, nullptr);
    EXPECT_EQ(galleryroom.pictures[0], galleryroom.cells[0].picture) << "the scene sees the cell";
    EXPECT_NE(galleryroom.info, text(GALLERY_TEXT_EMPTY_FRAME)) << "the info follows the swap at once";
    ASSERT_TRUE(point_over(0, true, &x, &y));
    move(x, y);
    EXPECT_EQ(galleryroom.info, text(GALLERY_TEXT_NAME) + ": Tiny\n" + text(GALLERY_TEXT_PIECES) + ": 50\n" +
                                    text(GALLERY_TEXT_TIME) + ": 12:34 " + text(GALLERY_TEXT_DATE) + ": " + finished_on);

    // Hang with an empty hand is refused; Take down and Space carry it back and forth.
    EXPECT_EQ(answering({SDLK_RETURN}, [] { click_control(GALLERY_HANG); }), std::vector{text(GALLERY_TEXT_EMPTY_HAND)});
    click_control(GALLERY_TAKE_DOWN);
    EXPECT_TRUE(galleryroom.hand.picture && pictures_hung() == 0);
    key(SDLK_SPACE);
    EXPECT_EQ(pictures_hung(), 1);
    key(SDLK_SPACE);
    key(SDLK_DELETE);  // put away
    EXPECT_TRUE(!galleryroom.hand.picture && pictures_hung() == 0);
}

TEST_F(GalleryRoom, KeysWalkMouseLookTurnsAndTheZoomSizesTheView)
{
    galleryroom_enter();
    // Up held for five ticks walks; let go, the walk coasts to a stop.
    PlatformInput up = {InputKind::KeyDown, 0, 0, 0, 0, 0, SDLK_UP, {}};
    io_translate_input(&up);
    double y0 = g3dscene.y;
    for (int i = 0; i < 5; i++)
        tick();
    EXPECT_GT(g3dscene.y, y0 + 10);
    // The game loses the player's attention: nothing stays held.
    PlatformInput away = {};
    away.kind = InputKind::Deactivate;
    kernel_dispatch_input(&away);
    away.kind = InputKind::Activate;
    kernel_dispatch_input(&away);
    for (int i = 0; i < 10; i++)
        tick();
    y0 = g3dscene.y;
    tick();
    EXPECT_EQ(g3dscene.y, y0);

    // G: mouse look. Left of the centre by 20 turns 10 to the left, up by 6 walks 6.
    key(SDLK_g);
    ASSERT_EQ(galleryroom.looking, 1);
    int32_t cx = galleryroom.view_x + galleryroom.view_w / 2, cy = galleryroom.view_y + galleryroom.view_h / 2;
    int32_t heading = g3dscene.heading;
    move(cx - 20, cy);
    EXPECT_EQ(g3dscene.heading, (heading + 10) % 360);
    double x0 = g3dscene.x;
    y0 = g3dscene.y;
    move(cx, cy - 6);
    EXPECT_NEAR(std::hypot(g3dscene.x - x0, g3dscene.y - y0), 6.0, 1e-9);
    move(cx + 1, cy);  // half a degree is no turn
    EXPECT_EQ(g3dscene.heading, (heading + 10) % 360);
    // Escape ends mouse look first, and only then leaves; the right button ends it too.
    key(SDLK_ESCAPE);
    EXPECT_EQ(std::tuple(galleryroom.looking, window_root()), std::tuple(0, galleryroom.window));
    click_control(GALLERY_LOOK);
    click(cx, cy, 2);
    EXPECT_EQ(galleryroom.looking, 0);

    // The zoom: 148 x 74, 456 x 228 and 764 x 382 on 800 x 600, the window's bottom kept.
    int32_t wx, wy, ww, wh;
    window_position(galleryroom.view_window, &wx, &wy);
    window_size(galleryroom.view_window, &ww, &wh);
    const int32_t bottom = wy + wh;
    for (auto [z, w, h] : {std::tuple(0, 148, 74), {2, 456, 228}, {4, 764, 382}}) {
        click_control(GALLERY_ZOOM_FIRST + z);
        EXPECT_EQ(std::tuple(galleryroom.view_w, galleryroom.view_h), std::tuple(w, h)) << "zoom " << z;
        window_position(galleryroom.view_window, &wx, &wy);
        window_size(galleryroom.view_window, &ww, &wh);
        EXPECT_EQ(std::tuple(ww, wh, wy), std::tuple(w + 10, h + 46, std::max(bottom - h - 46, 0))) << "zoom " << z;
        EXPECT_EQ(std::tuple(g3dscene.width, g3dscene.left, g3dscene.top), std::tuple(w, wx + 5, wy + 23));
    }
    key(SDLK_KP_PLUS);
    key(SDLK_KP_MINUS);
    EXPECT_EQ(galleryroom.zoom, 3) << "+ stops at 4";
    key(SDLK_ESCAPE);
    EXPECT_EQ(window_root(), storeroom.window);
}

// Cells past the walls (36 to 49) are kept and written back as they came, a name that
// fills its field ends inside it, and OK asks before a picture in hand is dropped.
TEST_F(GalleryRoom, TheFileComesBackRecordForRecord)
{
    std::vector<std::string> records(GALLERY_CELLS, record_bytes());
    records[0] = record_bytes("Lake", img_bytes(248, 160, IMG_BGR, 3), 96, 600, "Sunday");
    records[7] = record_bytes(std::string(64, 'N'), "", 12, 34, "");
    records[40] = record_bytes("Kept", img_bytes(31, 17, IMG_BGR, 9), 70, 7, "Long ago", 0x01020304);
    records[49] = record_bytes("Last", "", -5, -1, std::string(64, 'D'));
    const std::string before = gallery_bytes(records);
    write_file(GALLERY_FILE, before);
    ASSERT_EQ(galleryroom_hang("Tiny"), 1);
    EXPECT_EQ(std::tuple(pictures_hung(), strlen(galleryroom.cells[7].name), strlen(galleryroom.cells[49].date)),
              std::tuple(2, 63u, 63u));
    EXPECT_EQ(answering({SDLK_ESCAPE}, [] { click_control(GALLERY_OK); }), std::vector{text(GALLERY_TEXT_LEAVE_HOLDING)});
    EXPECT_EQ(window_root(), galleryroom.window) << "No stays";
    EXPECT_EQ(read_file(GALLERY_FILE), before);

    // A save that cannot be put in place: the message, the room stays, nothing lost.
    std::filesystem::rename(GALLERY_FILE, "kept.dat");
    std::filesystem::create_directory(GALLERY_FILE);
    EXPECT_EQ(answering({SDLK_RETURN, SDLK_RETURN}, [] { key(SDLK_RETURN); }),
              std::vector({text(GALLERY_TEXT_LEAVE_HOLDING), text(GALLERY_TEXT_SAVE_FAILED)}));
    EXPECT_EQ(window_root(), galleryroom.window);
    std::filesystem::remove(GALLERY_FILE);
    std::filesystem::rename("kept.dat", GALLERY_FILE);

    EXPECT_EQ(answering({SDLK_RETURN}, [] { key(SDLK_RETURN); }), std::vector{text(GALLERY_TEXT_LEAVE_HOLDING)});
    EXPECT_EQ(window_root(), storeroom.window);
    std::string after = read_file(GALLERY_FILE);
    // Fields that differ by design: terminators forced into full texts, the picture flag
    // written as 1.
    size_t name_end = before.find(std::string(64, 'N')) + 63, date_end = after.size() - 1;
    size_t flag_40 = before.find(le32(0x01020304) + "Kept");
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(std::tuple(after[name_end], after[date_end], after.substr(flag_40, 4)), std::tuple('\0', '\0', le32(1)));
    after[name_end] = 'N';
    after[date_end] = 'D';
    after.replace(flag_40, 4, le32(0x01020304));
    EXPECT_TRUE(after == before) << "every other byte as it was";
    EXPECT_EQ(folder_listing("sfiles"), "config.ini gallery.dat lang.ini ml present.bin qs skin.ini temp") << "nothing left over";
}

// A file that cannot be read whole shows an empty gallery without a crash and is kept
// aside, never over one kept before; the next save starts a new gallery.
TEST_F(GalleryRoom, HostileFilesArePutAsideAndNothingIsLost)
{
    const std::string good = record_bytes("Good", img_bytes(20, 10));
    std::string huge;
    for (int i = 0; i < GALLERY_CELLS; i++)
        huge += record_bytes("Huge", img_head(65535, 65535) + std::string(64, 'x'));
    const struct {
        const char *what;
        std::string bytes;
    } cases[] = {
        {"an interrupted save", gallery_bytes({good}, 0)},
        {"a picture larger than its bytes", gallery_bytes({good, record_bytes("Liar", img_bytes(200, 200).substr(0, 5000))})},
        {"a record cut short", gallery_bytes({good}).substr(0, 8 + 5 * GALLERY_RECORD_BYTES + 70)},
        {"fifty pictures of 65535 x 65535", le32(CHUNK_GALL) + le32(1) + huge},
        {"a grey picture", gallery_bytes({good, record_bytes("Grey", img_bytes(16, 16, IMG_8BIT))})},
        {"a picture of no width", gallery_bytes({good, record_bytes("Thin", img_bytes(0, 16))})},
        {"a picture wider than a cell", gallery_bytes({good, record_bytes("Wide", img_bytes(257, 4))})},
    };
    int n = 0;
    for (const auto &c : cases) {
        write_file(GALLERY_FILE, c.bytes);
        galleryroom_enter();
        frame();
        EXPECT_EQ(pictures_hung(), 0) << c.what;
        EXPECT_FALSE(exists(GALLERY_FILE)) << c.what;
        std::string aside = n++ == 0 ? "sfiles/gallery.bad" : "sfiles/gallery" + std::to_string(n) + ".bad";
        EXPECT_TRUE(read_file(aside) == c.bytes) << c.what << " kept as " << aside;
        galleryroom_leave();
    }
    // The player hangs a picture and saves: a new gallery, the damaged ones untouched.
    ASSERT_EQ(galleryroom_hang("Tiny"), 1);
    before_wall_0();
    key(SDLK_SPACE);
    key(SDLK_RETURN);
    GalleryRecord cells[GALLERY_CELLS] = {};
    ASSERT_EQ(gallery_read(GALLERY_FILE, cells), 1);
    EXPECT_STREQ(cells[0].name, "Tiny");
    for (GalleryRecord &c : cells)
        gallery_clear(&c);
    EXPECT_TRUE(read_file("sfiles/gallery.bad") == cases[0].bytes);
}

TEST(GalleryCrash, ASaveKilledAnywhereLeavesTheOldGalleryOrTheNewOne)
{
    TempDir dir;
    InDir in{dir.path};
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    make_game_folders();
    std::vector<std::string> records(GALLERY_CELLS, record_bytes());
    records[3] = record_bytes("Old", img_bytes(248, 200));
    const std::string old_file = gallery_bytes(records);
    GalleryRecord cells[GALLERY_CELLS] = {};
    for (int32_t i : {0, 5, 36}) {
        cells[i].picture = img_create(248, 248, IMG_BGR);
        img_fill(cells[i].picture, (uint8_t)(40 * i + 1));
        snprintf(cells[i].name, sizeof cells[i].name, "New %i", i);
    }
    auto work = [&] { gallery_write(GALLERY_FILE, cells); };
    write_file(GALLERY_FILE, old_file);
    int calls = run_killed_at(0, work);
    if (calls < 0)
        GTEST_SKIP() << "the child cannot be traced here";
    const std::string new_file = read_file(GALLERY_FILE);
    ASSERT_NE(new_file, old_file) << "the save runs through when not killed";
    for (int n = 1; n <= calls; n++) {
        write_file(GALLERY_FILE, old_file);
        run_killed_at(n, work);
        std::string now = read_file(GALLERY_FILE);
        EXPECT_TRUE(now == old_file || now == new_file) << "killed at change " << n << " of " << calls;
    }
    for (GalleryRecord &c : cells)
        gallery_clear(&c);
}

// From the shelf, the finished box goes to the gallery through the finished-picture
// dialog, the player walks up to a wall with the keys, hangs it at the cross-hair with
// Space and keeps the gallery with OK.
TEST(GalleryJourney, AFinishedBoxIsHungAndTheGallerySaved)
{
    TempDir game;
    make_finished_box(game.path);
    // The box; Picture in the tools window; Enter, for the gallery; the pointer away from
    // the view, so the cross-hair is the target; Up and Left held; Space; a shot; OK.
    write_file(game.file("j.txt"), "1000 mouse_down 310 310 1\n1030 mouse_up 310 310 1\n"
                                   "1730 mouse_down 475 73 1\n1760 mouse_up 475 73 1\n"
                                   "2060 key_down Return\n2080 key_up Return\n2380 mouse_move 700 450\n"
                                   "2680 key_down Up\n3580 key_up Up\n3880 key_down Left\n4130 key_up Left\n"
                                   "4430 key_down Space\n4450 key_up Space\n4750 key_down F12\n4770 key_up F12\n"
                                   "5070 key_down Return\n5090 key_up Return\n5590 close\n");
    ASSERT_EQ(run_game({"-debug", "1", "-screen", "800x600", "-playback", "j.txt"}, {.cwd = game.path}), 0)
        << read_file(game.file("stderr.txt")) << read_file(game.file("application.log"));

    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    GalleryRecord cells[GALLERY_CELLS] = {};
    ASSERT_EQ(gallery_read(game.file(GALLERY_FILE).c_str(), cells), 1) << read_file(game.file("application.log"));
    int32_t hung = -1;
    for (int32_t i = 0; i < GALLERY_CELLS; i++)
        hung = cells[i].picture ? (hung == -1 ? i : 99) : hung;
    ASSERT_TRUE(hung >= 0 && hung < 36) << "one picture hangs, on a wall";
    EXPECT_EQ(std::tuple(std::string(cells[hung].name), cells[hung].picture->width, cells[hung].picture->height),
              std::tuple(std::string("Tiny"), 248, 124));
    for (GalleryRecord &c : cells)
        gallery_clear(&c);
    EXPECT_TRUE(shot_matches_reference(game.file("sfiles/shots/shot0001.bmp"), "gallery_journey", 0, 0, 800, 600));
}

}  // namespace
