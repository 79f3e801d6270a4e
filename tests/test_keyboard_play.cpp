// Playing without dragging: the next-piece key, arrow steps, quarter turns about the
// carried pieces' middle and putting them down, in-process; and a whole puzzle played
// by the real game from a journal of keys alone.
#include <SDL2/SDL.h>

#include <cstring>
#include <filesystem>

#include "platform/loop.h"
#include "puzzle/table_tools.h"
#include "rooms/play/playroom.h"
#include "rooms/play/savegame.h"
#include "tests/play_journal.h"
#include "tests/test_box_support.h"

namespace {

TEST_F(KeyPlay, CarriedPiecesMoveTurnAndGoDownWithTheKeys)
{
    TempDir game;
    make_tiny_folder(game, 240, 160, 40, 0);
    make_game_folders();
    std::filesystem::copy_file(game.file("puzzles/Tiny.pzl"), "puzzles/Tiny.pzl");
    ASSERT_EQ(playroom_open("Tiny"), 1);
    move(400, 300);
    PlayJournal j;
    j.t = clock = 1000;
    auto distance = [](int32_t p) {
        const PieceBox &b = table.pieces[p].body_box;
        int64_t dx = (b.x0 + b.x1) / 2 - 400, dy = (b.y0 + b.y1) / 2 - 300;
        return dx * dx + dy * dy;
    };
    press_key(&j, SDLK_n, "N");
    int32_t first = table.key_piece;
    ASSERT_GE(first, 0);
    for (int32_t i = 0; i < table.count; i++)
        EXPECT_GE(distance(i), distance(first)) << "the nearest loose piece comes first";
    EXPECT_TRUE(table.pieces[first].held && table.pieces[first].selected);
    EXPECT_EQ(window_drag_mode(), 2) << "carried as after a quick click";

    int32_t x = table.pieces[first].x, step = table_key_step(false);
    EXPECT_EQ(step, 7) << "steps of 7 come within 3 pixels each way of a place: 3 x 3 + 3 x 3 <= 40 / 2";
    press_key(&j, SDLK_RIGHT, "Right");
    press_key(&j, SDLK_RIGHT, "Right", true);
    EXPECT_EQ(table.pieces[first].x, x + step + 40);
    EXPECT_EQ(window_drag_mode(), 2) << "the arrows keep the pieces carried";
    PieceBox before = piece_body_extent(&table.pieces[first]);
    press_key(&j, SDLK_q, "Q", false, 500);
    run_to(j.t += 400);
    PieceBox after = piece_body_extent(&table.pieces[first]);
    EXPECT_EQ(table.pieces[first].angle, 90);
    EXPECT_LE(std::abs((before.x0 + before.x1) - (after.x0 + after.x1)), 2) << "turned about its middle";
    EXPECT_LE(std::abs((before.y0 + before.y1) - (after.y0 + after.y1)), 2);

    press_key(&j, SDLK_n, "N");
    int32_t second = table.key_piece;
    EXPECT_NE(second, first);
    EXPECT_FALSE(table.pieces[first].held || table.pieces[first].selected) << "put down on the way to the next";
    press_key(&j, SDLK_g, "G");
    EXPECT_FALSE(table.pieces[second].held) << "any other key puts the pieces down, as it always did";
    EXPECT_EQ(window_drag_mode(), 0);
    press_key(&j, SDLK_n, "N");
    press_key(&j, SDLK_RETURN, "Return");
    for (int32_t i = 0; i < table.count; i++)
        EXPECT_FALSE(table.pieces[i].held) << i;
}

TEST_F(KeyPlay, APuzzleIsSolvedWithTheKeysAlone)
{
    // The first run deals the game and saves it; the journal is worked out here on that
    // deal and the game plays it.
    TempDir game;
    make_tiny_folder(game, 180, 120, 60, 1);
    play_journal(game, std::string(OPEN_TINY) + "2600 close\n");
    ASSERT_TRUE(exists(game.file("sfiles/qs/Tiny.qsv"))) << read_file(game.file("application.log"));
    PlayJournal j;
    ASSERT_TRUE(solve_with_keys(game, &j, false));
    j.key("Escape", "", 500);
    j.t += 500;
    j.line("close");
    EXPECT_EQ(j.text.find("mouse_down", strlen(OPEN_TINY)), std::string::npos) << "no button past the shelf";
    EXPECT_NE(j.text.find(" Q\n"), std::string::npos) << "the pieces were turned";

    play_journal(game, j.text);
    std::string box = read_file(game.file("puzzles/Tiny.pzl"));
    ChunkId id;
    memcpy(&id, box.data() + 4, sizeof id);
    GameSummary s;
    write_file("sfiles/qs/Tiny.qsv", read_file(game.file("sfiles/qs/Tiny.qsv")));
    ASSERT_EQ(game_summary_read("Tiny", &id, &s), 1);
    EXPECT_EQ(s.progress, 100) << read_file(game.file("application.log"));
}

}  // namespace
