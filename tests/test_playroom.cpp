// The play room in a started game: a box opened onto the table and left again with its
// table saved and restored, a picture too large for the table shrunk with its pieces, a
// finished puzzle with its time, date and applause, a surprise box keeping its picture
// hidden, and saved games that survive a kill -9 and refuse what does not belong.
#include <SDL2/SDL.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/loop.h"
#include "puzzle/table.h"
#include "rooms/play/game_file.h"
#include "rooms/play/playroom.h"
#include "tests/fake_feedback.h"
#include "tests/test_box_support.h"
#include "tests/toolkit_env.h"

namespace {

const ChunkId box_id = {{7, 8, 9, 125}};

class PlayRoom : public ToolkitTest {
protected:
    FakeFeedback fake;
    void SetUp() override
    {
        ToolkitTest::SetUp();
        platform_up();
        io_clock_start(true);
        make_game_folders();
    }
    void TearDown() override
    {
        playroom_leave();
        io_clock_start(false);
        platform_down();
        ToolkitTest::TearDown();
    }
    void restart(int32_t w, int32_t h)
    {
        playroom_leave();
        platform_down();
        stop();
        start(w, h);
        platform_up();
    }
    static void make_box(const std::string &name, int32_t w, int32_t h, int32_t piece, int32_t surprise = 0)
    {
        BoxInfo info = test_box_info(w, h, piece);
        info.surprise = surprise;
        write_file("puzzles/" + name + ".pzl", box_file(box_id, info, test_jpeg(w, h, 3)));
    }
    struct Snapshot {
        std::vector<std::tuple<int32_t, int32_t, int32_t, int32_t>> pieces;  // x, y, angle, group
        std::vector<int32_t> stack;
        bool operator==(const Snapshot &) const = default;
    };
    static Snapshot snapshot()
    {
        Snapshot s;
        for (int32_t i = 0; i < table.count; i++)
            s.pieces.emplace_back(table.pieces[i].x, table.pieces[i].y, table.pieces[i].angle, table.pieces[i].group);
        for (int32_t i = table.bottom; i != -1; i = table.pieces[i].above)
            s.stack.push_back(i);
        return s;
    }
    // Drops piece p where it fits piece q.
    static void drop_beside(int32_t p, int32_t q)
    {
        Piece &a = table.pieces[p], &b = table.pieces[q];
        int32_t vx, vy;
        piece_turn(b.angle, a.home_x - b.home_x, a.home_y - b.home_y, &vx, &vy);
        a.x = b.x + vx;
        a.y = b.y + vy;
        a.angle = b.angle;
        a.held = 1;
        table_drop();
    }
};

TEST_F(PlayRoom, ABoxOpensOntoTheTableAndComesBackAsItWasLeft)
{
    make_box("Meadow", 320, 240, 40);
    ASSERT_EQ(playroom_open("Meadow"), 1);
    EXPECT_EQ(table.count, 48);
    EXPECT_TRUE(window_shown(playroom.window));
    EXPECT_FALSE(exists(BOX_TEMP_PICTURE)) << "the picture's temporary file goes once it is read";
    EXPECT_TRUE(exists("sfiles/temp/Meadow.tmp")) << "the cut is cached for the next time";
    frame();
    // A piece carried away by the mouse, then the game left and opened again.
    int32_t top = table.top;
    PieceBox b = table.pieces[top].body_box;
    int32_t x = (b.x0 + b.x1) / 2, y = (b.y0 + b.y1) / 2;
    move(x, y);
    // Where a window of the room lies over the piece, the click would be the window's.
    if (piece_hit(x, y) == top && !window_hit(playroom.panel) && !window_hit(playroom.picture_window)) {
        press(x, y);
        move(x + 40, y + 30, 1);
        tick();
        io_clock_advance(1000);
        release(x + 40, y + 30);
    }
    Snapshot left = snapshot();
    playroom_leave();
    EXPECT_EQ(playroom.loaded, 0);
    GameSummary s;
    ASSERT_EQ(game_summary_read("Meadow", &box_id, &s), 1);
    EXPECT_EQ(s.piece_count, 48);
    ASSERT_EQ(playroom_open("Meadow"), 1);
    EXPECT_TRUE(snapshot() == left) << "every place, angle, group and the stacking order come back";
}

TEST_F(PlayRoom, APictureTooLargeForTheTableIsShrunkWithItsPiecesAndItsCutKeptForThatScreen)
{
    restart(800, 600);
    make_box("Large", 1024, 768, 64);
    ASSERT_EQ(playroom_open("Large"), 1);
    EXPECT_EQ(std::tuple(playroom.box.picture_width, playroom.box.picture_height, playroom.box.piece_size),
              std::tuple(693, 520, 43))
        << "780 x 520 available: a factor of 520 / 768";
    EXPECT_EQ(table.count, (693 / 43) * (520 / 43));

    // A wide picture shrinks to 770 x 300 on a screen ten pixels narrower and to 780 x 304
    // on this one: the same grid of 16 x 6 pieces of 48, in pictures of different sizes,
    // so the narrower screen's cut would fit this picture, a few pixels off.
    make_box("Wide", 1024, 400, 64);
    restart(790, 600);
    ASSERT_EQ(playroom_open("Wide"), 1);
    ASSERT_EQ(std::tuple(playroom.box.picture_width, table.count), std::tuple(770, 96));
    playroom_leave();
    struct stat kept;
    ASSERT_EQ(stat("sfiles/temp/Wide.tmp", &kept), 0) << "a shrunk cut is cached too";

    restart(800, 600);
    ASSERT_EQ(playroom_open("Wide"), 1);
    ASSERT_EQ(std::tuple(playroom.box.picture_width, table.count), std::tuple(780, 96));
    std::vector<std::pair<int32_t, int32_t>> homes;
    for (int32_t i = 0; i < table.count; i++)
        homes.emplace_back(table.pieces[i].home_x, table.pieces[i].home_y);
    playroom_leave();
    struct stat again;
    ASSERT_EQ(stat("sfiles/temp/Wide.tmp", &again), 0);
    EXPECT_NE(again.st_ino, kept.st_ino) << "the narrower screen's cut is not taken for this one's";

    ASSERT_EQ(playroom_open("Wide"), 1);
    for (int32_t i = 0; i < table.count; i++)
        ASSERT_EQ(std::pair(table.pieces[i].home_x, table.pieces[i].home_y), homes[i]) << "piece " << i;
    playroom_leave();
    struct stat third;
    ASSERT_EQ(stat("sfiles/temp/Wide.tmp", &third), 0);
    EXPECT_EQ(third.st_ino, again.st_ino) << "the same screen reads the cut it kept";
}

TEST_F(PlayRoom, AFinishedPuzzleKeepsItsTimeAndDateAndIsApplauded)
{
    make_box("Tiny", 120, 80, 40);
    ASSERT_EQ(playroom_open("Tiny"), 1);
    ASSERT_EQ(table.count, 6);
    io_clock_advance(65000);
    for (int32_t i = 1; i < table.count; i++) {
        if (i == table.count - 1)
            push_key(SDLK_RETURN);  // answers the completion message
        drop_beside(i, 0);
    }
    EXPECT_EQ(table.progress, 100);
    EXPECT_EQ(fake.count("fbmouse_applause_start"), 1);
    EXPECT_EQ(playroom.summary.play_time, 65);
    EXPECT_NE(playroom.summary.date[0], 0) << "the completion date is set";
    EXPECT_EQ(window_has_modal(), 0) << "the message was answered";
    io_clock_advance(95000);
    playroom_leave();
    GameSummary s;
    ASSERT_EQ(game_summary_read("Tiny", &box_id, &s), 1);
    EXPECT_EQ(std::tuple(s.play_time, s.progress), std::tuple(65, 100)) << "the clock stopped at the end";
    EXPECT_STREQ(s.date, playroom.summary.date);
}

TEST_F(PlayRoom, ASurpriseBoxHidesItsPictureUntilFinished)
{
    make_box("Gift", 160, 120, 40, 1);
    ASSERT_EQ(playroom_open("Gift"), 1);
    EXPECT_FALSE(window_shown(playroom.picture_window));
    EXPECT_EQ(playroom.ghost, 0);
    push_key(SDLK_RETURN);
    key(SDLK_p);
    EXPECT_FALSE(window_shown(playroom.picture_window)) << "refused with a notice";
    EXPECT_EQ(window_has_modal(), 0);
}

// G shows the picture faintly in the middle of the table and takes it away again, and
// the held memory with it: the backdrop exists only while the ghost shows.
TEST_F(PlayRoom, TheGhostComesAndGoesWithItsBackdrop)
{
    make_box("Faint", 320, 240, 40);
    ASSERT_EQ(playroom_open("Faint"), 1);
    ASSERT_EQ(playroom.ghost, 0);
    frame();
    std::string plain = frame_copy();
    int32_t held = blocks_held();
    key(SDLK_g);
    frame();
    EXPECT_EQ(playroom.ghost, 1);
    EXPECT_EQ(blocks_held(), held + 1) << "one screen-sized picture while the ghost shows";
    EXPECT_GT(changed_in(plain, frame_copy(), 160, 120, 320, 240), 20000) << "the picture shows in the middle";
    key(SDLK_g);
    frame();
    EXPECT_EQ(blocks_held(), held);
    EXPECT_EQ(changed_in(plain, frame_copy(), 0, 0, 640, 480), 0);
}

// A save killed at any point leaves the saved game before it readable.
TEST_F(PlayRoom, ASaveKilledAnywhereKeepsThePreviousGame)
{
    make_box("Kept", 160, 120, 40);
    ASSERT_EQ(playroom_open("Kept"), 1);
    GameSummary first = {};
    first.play_time = 111;
    ASSERT_EQ(game_save("Kept", &box_id, &first), 1);
    auto save_second = [] {
        GameSummary second = {};
        second.play_time = 222;
        _exit(game_save("Kept", &box_id, &second) ? 0 : 1);
    };
    int32_t calls = run_killed_at(0, save_second);
    if (calls < 0)
        GTEST_SKIP() << "the child could not be traced";
    ASSERT_EQ(game_save("Kept", &box_id, &first), 1);
    for (int32_t n = 1; n <= calls; n++) {
        run_killed_at(n, save_second);
        GameSummary s;
        ASSERT_EQ(game_load("Kept", &box_id, &s), 1) << "killed before change " << n;
        EXPECT_TRUE(s.play_time == 111 || s.play_time == 222) << s.play_time;
        if (s.play_time == 222) {
            ASSERT_EQ(game_save("Kept", &box_id, &first), 1);
        }
    }
}

TEST_F(PlayRoom, SavedGamesAreFoundByTagAndRefusedWhenTheyDoNotFit)
{
    make_box("Files", 160, 120, 40);
    ASSERT_EQ(playroom_open("Files"), 1);
    GameSummary s = {};
    ASSERT_EQ(game_save("Files", &box_id, &s), 1);
    std::string good = read_file("sfiles/qs/Files.qsv");
    const size_t summary_end = 24 + 8 + 4 + 8 + 64 + 8 + 4 + 8 + 4;
    // An unknown record between the summary and the pieces.
    write_file("sfiles/qs/Files.qsv", good.substr(0, summary_end) + box_record(77, "extra") + good.substr(summary_end));
    EXPECT_EQ(game_load("Files", &box_id, &s), 1);
    // A date record of 32 bytes.
    std::string short_date = good.substr(0, 36) + le32(2) + le32(32) + std::string(32, 'a') + good.substr(36 + 8 + 64);
    write_file("sfiles/qs/Files.qsv", short_date);
    EXPECT_EQ(game_load("Files", &box_id, &s), 0);
    // Another box's id, a half-written file, a cut short file.
    write_file("sfiles/qs/Files.qsv", good);
    const ChunkId other = {{1, 1, 1, 125}};
    EXPECT_EQ(game_load("Files", &other, &s), 0);
    write_file("sfiles/qs/Files.qsv", le32(0) + good.substr(4));
    EXPECT_EQ(game_load("Files", &box_id, &s), 0);
    write_file("sfiles/qs/Files.qsv", good.substr(0, good.size() - 30));
    EXPECT_EQ(game_load("Files", &box_id, &s), 0);
    // Positions are kept from the centre: a wider table opens the game centred.
    write_file("sfiles/qs/Files.qsv", good);
    int32_t x0 = table.pieces[3].x;
    table.width += 160;
    EXPECT_EQ(game_load("Files", &box_id, &s), 1);
    EXPECT_EQ(table.pieces[3].x, x0 + 80);
    table.width -= 160;
}

}  // namespace
