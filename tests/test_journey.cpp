// The game as a player uses it, start to end, in headless runs replaying input journals:
// tidying the shelf of the store room (select, drag, rename, delete), a picture dropped
// on the window made into a box, a gift made on one shelf and opened on another, and a
// puzzle played from the shelf to its last piece and back.
#include <SDL2/SDL.h>

#include <cstring>
#include <filesystem>

#include "platform/loop.h"
#include "puzzle/table.h"
#include "res/ini.h"
#include "res/settings.h"
#include "rooms/play/playroom.h"
#include "rooms/play/savegame.h"
#include "tests/reference_image.h"
#include "tests/test_box_support.h"
#include "tests/toolkit_env.h"

namespace {

const ChunkId tiny_id = {{11, 12, 13, CHUNK_ID_MARK}};

// A game folder with boxes at their places on an 800 x 600 table.
void make_folder(const TempDir &game, const std::vector<std::tuple<std::string, int, int>> &boxes, int32_t w,
                 int32_t h, int32_t piece)
{
    for (const char *folder : {"sfiles", "sfiles/temp", "sfiles/qs", "puzzles"})
        std::filesystem::create_directories(game.file(folder));
    std::string jpeg = test_jpeg(w, h, 5), names, places;
    for (size_t i = 0; i < boxes.size(); i++) {
        const auto &[name, x, y] = boxes[i];
        write_file(game.file("puzzles/" + name + ".pzl"), box_file(tiny_id, test_box_info(w, h, piece), jpeg));
        names += std::to_string(i) + "=" + name + "\n";
        places += std::to_string(i) + "=" + std::to_string(x) + " " + std::to_string(y) + "\n";
    }
    write_file(game.file("sfiles/config.ini"),
               "[MAIN]\nSamplesInstalled=1\nOldScreenSize=800 600\n[BOXNAMES]\n" + names + "[BOXPOSS]\n" + places);
}

// Plays the journal in the folder, with more words on the command line when given; the
// game must end cleanly.
void play(const TempDir &game, const std::string &journal, const std::string &more = "")
{
    write_file(game.file("j.txt"), journal);
    std::vector<std::string> args = {"-debug", "1", "-screen", "800x600", "-playback", "j.txt"};
    if (!more.empty())
        args.push_back(more);
    ASSERT_EQ(run_game(args, {.cwd = game.path}), 0)
        << read_file(game.file("stderr.txt")) << read_file(game.file("application.log"));
}

std::string ini_in(const TempDir &game, const char *section, const char *key)
{
    char value[256] = "";
    ini_get_string(game.file("sfiles/config.ini").c_str(), section, key, value, sizeof value);
    return value;
}

// Journal lines: a click, a drag and a key, at times the caller keeps apart.
struct Journal {
    std::string text;
    int64_t t = 300;
    void line(const std::string &s) { text += std::to_string(t) + " " + s + "\n"; }
    void after(int64_t ms, const std::string &s) { t += ms, line(s); }
    void mouse(const char *what, int x, int y, const std::string &tail = "")
    {
        line(std::string("mouse_") + what + " " + std::to_string(x) + " " + std::to_string(y) + tail);
    }
    void click(int x, int y, const char *mods = "")
    {
        t += 700;  // never taken with the last press for a double click
        mouse("down", x, y, std::string(" 1") + mods);
        t += 30;
        mouse("up", x, y, std::string(" 1") + mods);
    }
    void drag(int x0, int y0, int x1, int y1)
    {
        t += 700;
        mouse("down", x0, y0, " 1");
        t += 100;
        mouse("move", (x0 + x1) / 2, (y0 + y1) / 2);
        t += 200;
        mouse("move", x1, y1);
        t += 100;
        mouse("up", x1, y1, " 1");
    }
    void key(const std::string &name, const char *mods = "")
    {
        t += 300;
        line("key_down " + name + mods);
        t += 20;
        line("key_up " + name + mods);
    }
};

TEST(Journey, TheShelfIsTidiedWithTheMouseAndTheKeys)
{
    TempDir game;
    make_folder(game, {{"Apple", 150, 250}, {"Birch", 400, 250}, {"Cedar", 600, 420}}, 200, 150, 25);
    Journal j;
    j.drag(160, 260, 260, 160);  // Apple to (250, 150)
    j.click(410, 260);           // Birch
    j.click(330 + 5, 50 + 42 + 5);  // Rename, in the tools window
    j.key("A", " ctrl");
    j.after(100, "text Bright");
    j.key("Return");
    j.click(610, 430);  // Cedar
    j.key("Delete");
    j.key("Return");  // yes, delete it
    j.click(410, 260);
    j.key("F12");
    j.after(500, "close");
    play(game, j.text);

    EXPECT_EQ(folder_listing(game.file("puzzles")), "Apple.pzl Bright.pzl");
    EXPECT_EQ(ini_in(game, "BOXNAMES", "0") + " " + ini_in(game, "BOXNAMES", "1"), "Apple Bright")
        << "the box selected last lies on top";
    EXPECT_EQ(ini_in(game, "BOXPOSS", "0"), "250 150");
    EXPECT_EQ(ini_in(game, "BOXNAMES", "2"), "");
    EXPECT_TRUE(shot_matches_reference(game.file("sfiles/shots/shot0001.bmp"), "journey_shelf", 0, 0, 800, 600));
}

TEST(Journey, APictureDroppedOnTheWindowBecomesABoxOnTheShelf)
{
    TempDir game;
    make_folder(game, {{"Apple", 150, 250}}, 200, 150, 25);
    write_file(game.file("Harbour at dusk.jpg"), test_jpeg(640, 400, 9));
    Journal j;
    j.line("drop " + game.file("Harbour at dusk.jpg"));
    j.click(250 + 90 + 20, 50 + 106 + 24 + 12);  // the fourth shape, in the pieces window
    j.click(500 + 10, 50 + 18 + 12);              // rotation, in the extras window
    j.key("F12");
    j.click(800 - 150 + 25, 600 - 40 + 12);       // OK
    j.key("A", " ctrl");
    j.after(100, "text Dusk");
    j.key("Return");
    j.after(500, "close");
    play(game, j.text);

    EXPECT_TRUE(shot_matches_reference(game.file("sfiles/shots/shot0001.bmp"), "journey_create", 0, 0, 800, 600));
    ChunkId id;
    BoxInfo info;
    ASSERT_EQ(box_read_file(game.file("puzzles/Dusk.pzl").c_str(), &id, &info, 0, &box_temp_parts), 1)
        << read_file(game.file("application.log"));
    EXPECT_EQ(std::tuple(info.picture_width, info.picture_height, info.piece_size, info.shape, info.rotation),
              std::tuple(640, 400, 32, 3, 1));
    EXPECT_EQ(ini_in(game, "BOXNAMES", "1"), "Dusk") << "the new box lies on the shelf, on top";
}

TEST(Journey, AGiftMadeOnOneShelfArrivesOnAnother)
{
    // The sender picks two boxes, writes a name and a few words and saves the gift in
    // the folder last used.
    TempDir sender, receiver;
    make_folder(sender, {{"Apple", 150, 250}, {"Birch", 400, 250}}, 200, 150, 25);
    write_file(sender.file("sfiles/loader.dat"), read_file(PELMORA_LOADER_EXE));
    ini_set_string(sender.file("sfiles/config.ini").c_str(), "MAIN", "GiftFolder", sender.path.c_str());
    ini_flush(sender.file("sfiles/config.ini").c_str());
    // A mail program on the PATH, whatever the machine has: the dialog offers mail.
    std::filesystem::create_directories(sender.file("bin"));
    write_file(sender.file("bin/xdg-email"), "#!/bin/sh\nexit 1\n");
    std::filesystem::permissions(sender.file("bin/xdg-email"), std::filesystem::perms::owner_all);
    const std::string kept_path = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", sender.file("bin").c_str(), 1);
    const int dx = (800 - 361) / 2, dy = (600 - 271) / 2;  // the gift dialog, centred
    Journal j;
    j.click(160, 260);
    j.click(410, 260, " ctrl");
    j.click(20 + 5, 50 + 66 + 5);  // Gift, in the store room's panel
    j.after(300, "text Anna");
    j.click(dx + 20, dy + 100);  // into the dedication
    j.after(100, "text Happy birthday!");
    j.key("F12");
    j.click(dx + 20, dy + 55);  // back to the name: Enter there saves
    j.key("Return");
    j.key("Return");  // the file chooser offers Anna.gift
    j.after(500, "close");
    play(sender, j.text);
    setenv("PATH", kept_path.c_str(), 1);
    EXPECT_TRUE(shot_matches_reference(sender.file("sfiles/shots/shot0001.bmp"), "journey_gift_dialog", dx, dy, 361,
                                       271));
    ASSERT_TRUE(exists(sender.file("Anna.gift"))) << read_file(sender.file("application.log"));

    // The friend has an Apple of their own and opens the gift by starting the game with it.
    make_folder(receiver, {{"Apple", 300, 100}}, 160, 120, 20);
    const std::string own = read_file(receiver.file("puzzles/Apple.pzl"));
    Journal k;
    k.t = 1000;
    k.key("F12");     // the message over the shelf
    k.key("Return");  // read
    k.after(300, "drop " + sender.file("Anna.gift"));  // the same gift once more, dropped on the window
    k.key("Return");
    k.key("F12");
    k.after(500, "close");
    play(receiver, k.text, sender.file("Anna.gift"));
    EXPECT_TRUE(shot_matches_reference(receiver.file("sfiles/shots/shot0001.bmp"), "journey_gift_opened", 0, 0, 800,
                                       600));
    EXPECT_EQ(folder_listing(receiver.file("puzzles")), "Apple 2.pzl Apple 3.pzl Apple.pzl Birch 2.pzl Birch.pzl");
    EXPECT_EQ(read_file(receiver.file("puzzles/Apple.pzl")), own);
    EXPECT_EQ(ini_in(receiver, "BOXNAMES", "0") + "," + ini_in(receiver, "BOXNAMES", "1") + "," +
                  ini_in(receiver, "BOXNAMES", "2") + "," + ini_in(receiver, "BOXNAMES", "4"),
              "Apple,Apple 2,Birch,Birch 2");
}

// The in-process game the journal of a whole puzzle is worked out on: the same box, the
// same saved deal and the same screen as the headless run will have.
class Puzzle : public ToolkitTest {
protected:
    void SetUp() override
    {
        start(800, 600);
        platform_up();
        io_clock_start(true);
    }
    void TearDown() override
    {
        playroom_leave();
        io_clock_start(false);
        platform_down();
        ToolkitTest::TearDown();
    }
    // A point where the piece (or its group) shows on top, or false.
    static bool pick_point(int32_t p, int32_t *x, int32_t *y)
    {
        const PieceBox &b = table.pieces[p].body_box;
        for (int32_t yy = (b.y0 + b.y1) / 2, step = 0; step < b.y1 - b.y0; step++, yy += (step % 2 ? step : -step))
            for (int32_t xx = b.x0 + 2; xx < b.x1 - 2; xx += 2)
                if (yy >= 0 && yy < 600 && piece_hit(xx, yy) >= 0 && group_of(piece_hit(xx, yy)) == group_of(p)) {
                    *x = xx;
                    *y = yy;
                    return true;
                }
        return false;
    }
    static int32_t group_of(int32_t p) { return table.pieces[p].group < 0 ? p : table.pieces[p].group; }
    void at(Journal &j, int64_t t)
    {
        j.t = t;
        io_clock_advance(t);
        tick();
        frame();
    }
};

TEST_F(Puzzle, OneIsPlayedFromTheShelfToTheLastPieceAndBack)
{
    // First run: the box is opened with a double click and the game closed while it is
    // on the table, which saves its deal. Opened and closed again in a new process, the
    // saved game is the same record for record but the play time, which goes on.
    TempDir game;
    make_folder(game, {{"Tiny", 300, 300}}, 180, 120, 60);
    const std::string open_and_close =
        "300 mouse_down 310 310 1\n320 mouse_up 310 310 1\n400 mouse_down 311 311 1\n420 mouse_up 311 311 1\n"
        "2600 close\n";
    play(game, open_and_close);
    ASSERT_TRUE(exists(game.file("sfiles/qs/Tiny.qsv"))) << read_file(game.file("application.log"));
    std::string first = read_file(game.file("sfiles/qs/Tiny.qsv"));
    play(game, open_and_close);
    std::string second = read_file(game.file("sfiles/qs/Tiny.qsv"));
    ASSERT_EQ(first.size(), second.size());
    for (size_t at = CHUNK_FIRST_RECORD; at + 8 <= first.size();) {
        uint32_t tag, length;
        memcpy(&tag, first.data() + at, 4);
        memcpy(&length, first.data() + at + 4, 4);
        ASSERT_LE(at + 8 + length, first.size());
        if (tag == 1) {  // the play time: 2 s more
            int32_t t1, t2;
            memcpy(&t1, first.data() + at + 8, 4);
            memcpy(&t2, second.data() + at + 8, 4);
            EXPECT_EQ(t2, t1 + 2);
        } else {
            EXPECT_EQ(first.compare(at, 8 + length, second, at, 8 + length), 0) << "record " << tag;
        }
        at += 8 + length;
    }

    // Here, on the same deal, each loose piece is carried to where it fits the first one,
    // and the journal is written as it is done.
    make_game_folders();
    std::filesystem::copy_file(game.file("puzzles/Tiny.pzl"), "puzzles/Tiny.pzl");
    std::filesystem::copy_file(game.file("sfiles/qs/Tiny.qsv"), "sfiles/qs/Tiny.qsv");
    ASSERT_EQ(playroom_open("Tiny"), 1);
    ASSERT_EQ(table.count, 6);
    ASSERT_EQ(table.progress, 0);
    Journal j = {open_and_close.substr(0, open_and_close.find("2600")), 1200};
    j.key("F12");  // the play room as the deal left it
    int64_t t = 2000;
    // Carries piece p by (dx, dy) from a point where it shows, as the player would.
    auto carry = [&](int32_t p, int32_t dx, int32_t dy) {
        int32_t x, y;
        if (!pick_point(p, &x, &y) || x + dx < 0 || x + dx >= 800 || y + dy < 0 || y + dy >= 600)
            return false;  // covered for now, or not to be reached from here
        at(j, t += 700);
        move(x, y);
        j.mouse("move", x, y);
        press(x, y);
        j.mouse("down", x, y, " 1");
        for (int32_t k : {2, 1}) {
            at(j, t += 150);
            move(x + dx / k, y + dy / k, 1);
            j.mouse("move", x + dx / k, y + dy / k);
        }
        at(j, t += 100);
        release(x + dx, y + dy);
        j.mouse("up", x + dx, y + dy, " 1");
        return true;
    };
    // The first piece goes to the middle of the table, where the picture has room.
    const int32_t anchor = 0;
    ASSERT_TRUE(carry(anchor, 300 - table.pieces[anchor].x, 200 - table.pieces[anchor].y));
    for (int32_t round = 0; round < 2 * table.count && !table_finished(); round++) {
        bool carried = false;
        for (int32_t p = 0; p < table.count; p++) {
            if (group_of(p) == group_of(anchor))
                continue;
            // The last piece brings up the completion message; Enter answers it.
            bool last = true;
            for (int32_t r = 0; r < table.count; r++)
                last = last && (r == p || group_of(r) == group_of(anchor));
            if (last)
                push_key(SDLK_RETURN);
            const Piece &a = table.pieces[anchor], &q = table.pieces[p];
            carried |= carry(p, a.x + (q.home_x - a.home_x) - q.x, a.y + (q.home_y - a.home_y) - q.y);
        }
        // The pieces left lie under the picture: it is moved aside.
        if (!carried) {
            ASSERT_TRUE(carry(anchor, table.pieces[anchor].x < 400 ? 250 : -250, 0));
        }
    }
    ASSERT_TRUE(table_finished()) << "every piece could be reached";
    EXPECT_EQ(table.progress, 100);
    j.t += 500;
    j.key("Return");  // the completion message
    j.key("Escape");  // leave
    j.t += 500;
    j.key("F12");
    j.after(500, "close");

    // Second run: the journal plays the whole game headless.
    play(game, j.text);
    std::filesystem::copy_file(game.file("sfiles/qs/Tiny.qsv"), "sfiles/qs/Tiny.qsv",
                               std::filesystem::copy_options::overwrite_existing);
    ChunkId id;
    GameSummary summary;
    std::string got = read_file("puzzles/Tiny.pzl");
    memcpy(&id, got.data() + 4, sizeof id);
    ASSERT_EQ(game_summary_read("Tiny", &id, &summary), 1);
    EXPECT_EQ(summary.progress, 100) << read_file(game.file("application.log"));
    EXPECT_NE(summary.date[0], 0) << "the completion date is kept";
    EXPECT_TRUE(shot_matches_reference(game.file("sfiles/shots/shot0001.bmp"), "journey_dealt", 0, 0, 800, 600));
    // Back in the store room, the box wears the finished mark and no clock.
    EXPECT_TRUE(shot_matches_reference(game.file("sfiles/shots/shot0002.bmp"), "journey_finished", 270, 270, 130, 110));
}

}  // namespace
