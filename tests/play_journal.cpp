#include "tests/play_journal.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "platform/loop.h"
#include "puzzle/table_tools.h"
#include "rooms/play/playroom.h"
#include "tests/test_box_support.h"

const char *const OPEN_TINY = "300 mouse_down 310 310 1\n320 mouse_up 310 310 1\n400 mouse_down 311 311 1\n"
                              "420 mouse_up 311 311 1\n";

void make_tiny_folder(const TempDir &game, int32_t w, int32_t h, int32_t piece, int32_t rotation)
{
    for (const char *folder : {"sfiles", "sfiles/temp", "sfiles/qs", "puzzles"})
        std::filesystem::create_directories(game.file(folder));
    BoxInfo info = test_box_info(w, h, piece);
    info.rotation = rotation;
    const ChunkId id = {{21, 22, 23, CHUNK_ID_MARK}};
    write_file(game.file("puzzles/Tiny.pzl"), box_file(id, info, test_jpeg(w, h, 5)));
    write_file(game.file("sfiles/config.ini"),
               "[MAIN]\nSamplesInstalled=1\nOldScreenSize=800 600\n[BOXNAMES]\n0=Tiny\n[BOXPOSS]\n0=300 300\n");
}

void play_journal(const TempDir &game, const std::string &journal)
{
    write_file(game.file("j.txt"), journal);
    ASSERT_EQ(run_game({"-debug", "1", "-screen", "800x600", "-playback", "j.txt"}, {.cwd = game.path}), 0)
        << read_file(game.file("stderr.txt")) << read_file(game.file("application.log"));
}

void KeyPlay::SetUp()
{
    start(800, 600);
    platform_up();
    io_clock_start(true);
}

void KeyPlay::TearDown()
{
    playroom_leave();
    io_clock_start(false);
    platform_down();
    ToolkitTest::TearDown();
}

void KeyPlay::run_to(int64_t t)
{
    t = std::max(t, clock);
    while (clock + 33 <= t) {
        clock += 33;
        io_clock_advance(clock);
        tick();
    }
    clock = t;
    io_clock_advance(t);
    frame();
}

void KeyPlay::press_key(PlayJournal *j, int32_t sdl_key, const char *name, bool shift, int64_t gap)
{
    uint8_t mods = shift ? INPUT_MOD_SHIFT : 0;
    j->key(name, shift ? " shift" : "", gap);
    run_to(j->t - 20);
    PlatformInput down = {InputKind::KeyDown, mods, 0, 0, 0, 0, sdl_key, {}};
    io_translate_input(&down);
    run_to(j->t);
    PlatformInput up = {InputKind::KeyUp, mods, 0, 0, 0, 0, sdl_key, {}};
    io_translate_input(&up);
    run_to(j->t + 33);  // a tick carries out what the key asked for
}

static int32_t group_of(int32_t p)
{
    return table.pieces[p].group < 0 ? p : table.pieces[p].group;
}

bool KeyPlay::solve_with_keys(const TempDir &game, PlayJournal *j, bool long_carry)
{
    make_game_folders();
    std::filesystem::copy_file(game.file("puzzles/Tiny.pzl"), "puzzles/Tiny.pzl");
    std::filesystem::copy_file(game.file("sfiles/qs/Tiny.qsv"), "sfiles/qs/Tiny.qsv");
    if (playroom_open("Tiny") != 1)
        return false;
    j->text = OPEN_TINY;
    j->t = clock = 1200;
    move(311, 311);  // where the double click left the mouse
    // Carries the key-picked piece until its place (x, y) is within a small step.
    auto carry_to = [&](int32_t x, int32_t y) {
        int32_t q = table.key_piece, big = table_key_step(true), small = table_key_step(false);
        for (int guard = 0; guard < 200; guard++) {
            int32_t dx = x - table.pieces[q].x, dy = y - table.pieces[q].y;
            if (2 * std::abs(dx) > small)
                press_key(j, dx > 0 ? SDLK_RIGHT : SDLK_LEFT, dx > 0 ? "Right" : "Left", std::abs(dx) >= big);
            else if (2 * std::abs(dy) > small)
                press_key(j, dy > 0 ? SDLK_DOWN : SDLK_UP, dy > 0 ? "Down" : "Up", std::abs(dy) >= big);
            else
                return true;
        }
        return false;
    };
    // The first piece the key picks up goes to the middle of the table.
    press_key(j, SDLK_n, "N");
    int32_t anchor = table.key_piece;
    if (anchor < 0 || !carry_to(320, 220))
        return false;
    press_key(j, SDLK_SPACE, "Space");
    if (long_carry) {
        press_key(j, SDLK_n, "N");
        for (int k = 0; k < 35; k++)
            press_key(j, k % 2 ? SDLK_LEFT : SDLK_RIGHT, k % 2 ? "Left" : "Right", false, 2000);
        press_key(j, SDLK_SPACE, "Space");
    }
    // Each time the next piece that has a neighbour in the growing picture: it joins.
    auto fits_on = [&](int32_t q) {
        for (int32_t k = 0; k < table.pieces[q].neighbour_count; k++)
            if (group_of(table.pieces[q].neighbours[k]) == group_of(anchor))
                return true;
        return false;
    };
    for (int round = 0; round < 3 * table.count && !table_finished(); round++) {
        int32_t q = -1;
        for (int guard = 0; guard < 2 * table.count && (q < 0 || !fits_on(q)); guard++) {
            press_key(j, SDLK_n, "N");
            q = table.key_piece;
        }
        if (q < 0 || !fits_on(q))
            return false;
        const Piece &a = table.pieces[anchor];
        for (int32_t turns = ((a.angle - table.pieces[q].angle) / 90 + 4) % 4; turns > 0; turns--)
            press_key(j, SDLK_q, "Q", false, 500);
        run_to(j->t += 400);  // the last quarter turn ends
        int32_t vx, vy;
        piece_turn(a.angle, table.pieces[q].home_x - a.home_x, table.pieces[q].home_y - a.home_y, &vx, &vy);
        if (!carry_to(a.x + vx, a.y + vy))
            return false;
        bool last = true;
        for (int32_t r = 0; r < table.count; r++)
            last = last && (r == q || group_of(r) == group_of(anchor));
        if (last)
            push_key(SDLK_RETURN);  // answers the completion message
        press_key(j, SDLK_SPACE, "Space", false, 500);
        if (group_of(q) != group_of(anchor))
            return false;
        if (last)
            j->key("Return", "", 500);
    }
    return table_finished();
}
