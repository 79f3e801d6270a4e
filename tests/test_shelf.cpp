// The shelf in a started game: boxes loaded from the settings and the folder, their
// places, cached previews, the progress clock, surprises, names handed in by other
// programs, saving, deleting, and boxes that must stay off the shelf.
#include "platform/files.h"
#include "res/ini.h"
#include "res/settings.h"
#include "rooms/box/shelf.h"
#include "tests/test_box_support.h"
#include "tests/toolkit_env.h"

namespace {

class ShelfTest : public ToolkitTest {
protected:
    std::string jpeg;
    void SetUp() override { start(1024, 768); prepare(); }
    void TearDown() override
    {
        shelf_free();
        stop();
    }
    void prepare()
    {
        make_game_folders();
        jpeg = test_jpeg(200, 150, 3);
    }
    // A box file of a 200 x 150 picture (preview 80 x 60) with the given id word.
    void put_box(const std::string &file, uint32_t id_word, BoxInfo info = test_box_info(200, 150, 25))
    {
        ChunkId id = {{id_word, 0, 0, CHUNK_ID_MARK}};
        write_file("puzzles/" + file, box_file(id, info, jpeg));
    }
    static void put_save(const std::string &name, uint32_t id_word, int32_t progress)
    {
        write_file("sfiles/qs/" + name + ".qsv", saved_game({{id_word, 0, 0, CHUNK_ID_MARK}}, progress));
    }
    static std::string names_tail_first()
    {
        std::string out;
        for (ShelfBox *b = shelf.tail; b; b = b->prev)
            out += (out.empty() ? "" : " ") + std::string(b->name);
        return out;
    }
};

TEST_F(ShelfTest, SettingsPlacesAreScaledTheFolderAddsTheRestAndSavingWritesTheListAnew)
{
    put_box("A.pzl", 1);
    put_box("B.PZL", 2);
    put_box("C.pzl", 3);
    put_box("D.pzl", 4);
    // "b" names the file B.PZL; a name listed twice is one box; key 4 is missing, so key 5
    // is not read from the settings but found in the folder.
    write_file("sfiles/config.ini", "[MAIN]\nOldScreenSize=800 600\n[BOXNAMES]\n0=A\n1=b\n2=a\n3=D\n5=C\n"
                                    "[BOXPOSS]\n0=400 300\n1=790 590\n2=9 9\n3=2147483647 -2147483648\n5=10 10\n");
    shelf_load();
    ASSERT_EQ(shelf.count, 4);
    EXPECT_EQ(names_tail_first(), "A B D C") << "settings first, then the folder; the head is loaded last";
    ShelfBox *a = shelf_find("a"), *b = shelf_find("B"), *c = shelf_find("C"), *d = shelf_find("D");
    ASSERT_TRUE(a && b && c && d);
    EXPECT_EQ(a->x * 10000 + a->y, 512 * 10000 + 384) << "400 x 1024/800, 300 x 768/600";
    EXPECT_EQ(b->x * 10000 + b->y, 944 * 10000 + 708) << "1011, 755 clamped so the 80 x 60 preview ends on the edges";
    EXPECT_EQ(d->x * 10000 + d->y, 944 * 10000 + 0) << "a place far outside any screen is brought onto this one";
    for (ShelfBox *box = shelf.head; box; box = box->next)
        EXPECT_TRUE(box->is_new && box->x >= 0 && box->x + 80 <= 1024 && box->y + 60 <= 768) << box->name;
    EXPECT_EQ(read_file("sfiles/temp/B.prw").substr(0, 4), "PRVW") << "previews are kept under the file's spelling";

    b->x = 300;
    c->x = 1, c->y = 2;
    shelf_save();
    EXPECT_EQ(shelf.head, nullptr);
    char value[64];
    std::string got;
    for (const char *key : {"0", "1", "2", "3", "4", "5"}) {
        ini_get_string(SETTINGS_CONFIG, "BOXNAMES", key, value, sizeof value);
        got += std::string(value) + ":";
        ini_get_string(SETTINGS_CONFIG, "BOXPOSS", key, value, sizeof value);
        got += std::string(value) + "|";
    }
    EXPECT_EQ(got, "A:512 384|B:300 708|D:944 0|C:1 2|:|:|") << "tail first; the old sections are replaced whole";
}

TEST_F(ShelfTest, ACachedPreviewIsUsedAndAStaleOneIsRebuiltFromThePicture)
{
    put_box("E.pzl", 5);
    ASSERT_NE(shelf_load_box("E"), nullptr);
    shelf_free();
    const std::string preview = read_file("sfiles/temp/E.prw");
    ASSERT_EQ(preview.substr(0, 4), "PRVW");

    // With the picture's pixels spoilt, only a cached preview can show the box.
    std::string box = read_file("puzzles/E.pzl");
    size_t middle = box.size() - jpeg.size() / 3;
    box.replace(middle, 200, std::string(200, '\x17'));
    write_file("puzzles/E.pzl", box);
    ShelfBox *e = shelf_load_box("E");
    ASSERT_NE(e, nullptr) << "the cached preview was not used";
    shelf_free();
    EXPECT_TRUE(read_file("sfiles/temp/E.prw") == preview);

    // A preview of another version is no preview: the picture must be decoded, and can't.
    std::string old_version = preview;
    old_version.replace(20, 4, le32(124));
    write_file("sfiles/temp/E.prw", old_version);
    EXPECT_EQ(shelf_load_box("E"), nullptr) << "a box whose picture cannot be read stays off the shelf";
    // The same box written again has a new id: the old preview is stale.
    write_file("sfiles/temp/E.prw", preview);
    put_box("E.pzl", 6);
    e = shelf_load_box("E");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->is_new, 1);
    EXPECT_EQ(read_file("sfiles/temp/E.prw").substr(4, 4), le32(6)) << "rebuilt and saved with the new id";
}

TEST_F(ShelfTest, TheProgressClockDarkensTheDonePart)
{
    put_box("P.pzl", 7);
    put_save("P", 7, 30);
    ShelfBox *p = shelf_load_box("P");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->summary.progress, 30);
    ASSERT_NE(p->overlay, nullptr);
    ASSERT_EQ(p->overlay->width * 1000 + p->overlay->height, 80060);
    ImgView v;
    img_view(&v, p->overlay, 0, 0);
    auto at = [&v](int x, int y) { return (int)v.colour[y * v.colour_stride + x]; };
    // 30 percent: the hand ends on the right edge at (79, 17.5 x 59 x 0.04 = 41.3 -> 41).
    EXPECT_EQ(at(40, 0), 255) << "twelve o'clock";
    EXPECT_EQ(at(79, 41), 255) << "the hand";
    EXPECT_EQ(at(70, 10), 90) << "inside the done part";
    EXPECT_EQ(at(20, 10), 0) << "not yet played";

    put_save("P", 7, 100);
    shelf_refresh_box(p);
    EXPECT_EQ(p->overlay, nullptr) << "a finished box has a mark, not a clock";
}

TEST_F(ShelfTest, ASurpriseStaysWrappedUntilItsGameIsFinished)
{
    BoxInfo info = test_box_info(200, 150, 25);
    info.surprise = 1;
    put_box("S.pzl", 9, info);
    ShelfBox *s = shelf_load_box("S");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->preview_width * 1000 + s->preview_height, 80064) << "as large as the present that hides it";
    EXPECT_EQ(s->preview->width * 1000 + s->preview->height, 80060);
    shelf_free();
    s = shelf_load_box("S");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->is_new, 0) << "the wrapped preview is cached too";

    put_save("S", 9, 100);
    shelf_refresh_box(s);
    EXPECT_EQ(s->info.surprise, 0);
    EXPECT_EQ(s->shadow->width * 1000 + s->shadow->height, 80060);
    ChunkId id;
    BoxInfo stored;
    ASSERT_TRUE(box_read("S", &id, &stored, 0));
    EXPECT_EQ(stored.surprise, 0) << "the box file is unwrapped for good";
    EXPECT_TRUE(chunk_same_id(&id, &s->id)) << "and keeps its id, so its saved game still belongs";
    shelf_free();
    s = shelf_load_box("S");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->is_new * 100000 + s->preview_width * 1000 + s->preview_height, 80060) << "its new preview was saved";
}

TEST_F(ShelfTest, BrokenLyingAndStrayBoxesStayOffAndTouchNothing)
{
    put_box("Good.pzl", 1);
    BoxInfo liar = test_box_info(200, 150, 25);
    liar.piece_size = 500;
    put_box("Liar.pzl", 2, liar);
    ChunkId id = {{3, 0, 0, CHUNK_ID_MARK}};
    BoxInfo info = test_box_info(200, 150, 25);
    std::string whole = box_file(id, info, jpeg);
    write_file("puzzles/Short.pzl", whole.substr(0, whole.size() - 10));
    write_file("puzzles/Empty.pzl", "");
    write_file("outside.pzl", whole);
    write_file("sfiles/config.ini", "[BOXNAMES]\n0=../outside\n1=..\\\\outside\n2=Liar\n3=Good\n"
                                    "[BOXPOSS]\n0=1 1\n1=2 2\n2=3 3\n3=4 4\n");
    auto snapshot = [] {
        std::string all;
        for (const char *folder : {".", "puzzles", "sfiles/qs"})
            for (const auto &e : std::filesystem::directory_iterator(folder))
                if (e.is_regular_file())
                    all += e.path().string() + "=" + read_file(e.path().string()) + "\n";
        return all;
    };
    const std::string before = snapshot();
    shelf_load();
    EXPECT_EQ(names_tail_first(), "Good");
    EXPECT_TRUE(snapshot() == before) << "a box that cannot be read is left as it lies";
    EXPECT_EQ(folder_listing("sfiles/temp"), "Good.prw");
    EXPECT_FALSE(exists(BOX_TEMP_PICTURE) || exists(BOX_TEMP_DESCRIPTION));
}

TEST_F(ShelfTest, ANameHandedInLoadsOnlyABoxOfTheFolderNotOnTheShelf)
{
    put_box("Here.pzl", 1);
    put_box("New.pzl", 2);
    write_file("outside.pzl", read_file("puzzles/New.pzl"));
    ASSERT_NE(shelf_load_box("Here"), nullptr);
    for (const char *name : {"HERE", "../outside", "/tmp/outside", "Missing", ""})
        EXPECT_EQ(shelf_add_named(name), nullptr) << "'" << name << "': on the shelf already, outside or missing";
    ShelfBox *added = shelf_add_named("new");
    ASSERT_NE(added, nullptr);
    EXPECT_STREQ(added->name, "New");
    EXPECT_EQ(shelf.head, added) << "on top";
    EXPECT_EQ(shelf.count, 2);
}

TEST_F(ShelfTest, DeletingABoxTakesItsFourFilesAndNoOthers)
{
    put_box("X.pzl", 1);
    put_box("Y.pzl", 2);
    put_save("X", 1, 40);
    put_save("Y", 2, 40);
    write_file("sfiles/temp/X.tmp", "cut");
    write_file("sfiles/temp/Y.tmp", "cut");
    shelf_load();
    ASSERT_EQ(shelf.count, 2);
    shelf_delete(shelf_find("x"));
    EXPECT_EQ(names_tail_first(), "Y");
    EXPECT_EQ(folder_listing("puzzles") + "|" + folder_listing("sfiles/temp") + "|" + folder_listing("sfiles/qs"),
              "Y.pzl|Y.prw Y.tmp|Y.qsv");
}

// A fresh game folder: the start puts the sample boxes on the shelf.
class FreshShelf : public ShelfTest {
protected:
    void SetUp() override
    {
        with_samples = true;
        ShelfTest::SetUp();
    }
};

TEST_F(FreshShelf, TheSampleBoxesComeOnceIntoAnEmptyFolder)
{
    ASSERT_EQ(shelf.count, 6);
    int32_t flags = 0;
    for (ShelfBox *b = shelf.head; b; b = b->next)
        flags += b->info.rotation * 100 + b->info.surprise * 10 + b->info.has_music;
    EXPECT_EQ(flags, 211);
    ChunkId id;
    BoxInfo info;
    ASSERT_TRUE(box_read("Evening at Silver Lake", &id, &info, BOX_MUSIC));
    EXPECT_EQ(read_file(BOX_TEMP_MUSIC).substr(0, 4), "MThd");
    box_clear_temp(BOX_ALL_PARTS);

    // Not again, even once the player has emptied the shelf.
    while (shelf.head)
        shelf_delete(shelf.head);
    EXPECT_EQ(shelf_install_samples(), 0);
    EXPECT_EQ(folder_listing("puzzles"), "");
}

TEST_F(ShelfTest, NoSamplesGoIntoAFolderThatHasBoxes)
{
    put_box("Mine.pzl", 1);
    EXPECT_EQ(shelf_install_samples(), 0);
    EXPECT_EQ(folder_listing("puzzles"), "Mine.pzl");
}

// The smallest screen: a link box shows its whole 640 x 480 picture, as wide and as high
// as the screen, so there is no room for a random place.
class SmallScreenShelf : public ShelfTest {
protected:
    void SetUp() override { start(640, 480); prepare(); }
};

TEST_F(SmallScreenShelf, APreviewAsLargeAsTheScreenGoesToTheCorner)
{
    BoxInfo link = {};
    link.picture_width = 640, link.picture_height = 480, link.link_box = 1;
    ChunkId id = {{1, 0, 0, CHUNK_ID_MARK}};
    write_file("puzzles/Link.pzl", box_file(id, link, test_jpeg(640, 480)));
    BoxInfo wide = {};
    wide.picture_width = 640, wide.picture_height = 100, wide.link_box = 1;
    write_file("puzzles/Wide.pzl", box_file(id, wide, test_jpeg(640, 100)));
    shelf_load();
    ShelfBox *l = shelf_find("Link"), *w = shelf_find("Wide");
    ASSERT_TRUE(l && w);
    EXPECT_EQ(l->preview_width * 1000 + l->preview_height, 640480) << "a link box shows its whole picture";
    EXPECT_EQ(l->x * 1000 + l->y, 0);
    EXPECT_TRUE(w->x == 0 && w->y < 380);
    int32_t x = -50, y = 900;
    shelf_clamp(w, &x, &y);
    EXPECT_EQ(x * 1000 + y, 380);
}

}  // namespace
