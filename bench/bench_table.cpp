// The table's costs in a started game on a 1920 x 1080 screen with 1032 pieces of a
// 1920 x 1080 picture (piece size 44, jitter 20) lying face up at random places: a frame
// while one piece or a group of 100 is dragged, a full redraw, a frame of a 100-piece
// group standing at 45 degrees in a turn, the drop of that group, and a group picked up,
// carried two steps and put down again (four frames). The counter
// x_memcpy is a frame's cost in copies of the whole frame, timed in the same run.
#include <benchmark/benchmark.h>
#include <cstring>
#include <random>
#include <vector>

#include "bench/bench_game.h"
#include "image/img.h"
#include "platform/events.h"
#include "platform/memory.h"
#include "puzzle/table.h"

namespace {

constexpr int32_t SCREEN_W = 1920, SCREEN_H = 1080, PIECE = 44, BLOCK = 10;

Img *background;

// The room's floor, as the play room hands its backdrop to the table.
void floor_draw(void)
{
    img_draw(background, 0, 0, 0, 0, SCREEN_W, SCREEN_H);
}

int32_t table_room(int32_t, IoEvent *e)
{
    switch (e->code) {
    case IO_FRAME:
        table_update_geometry();
        table_draw_lying(floor_draw);
        return 0;
    case TW_CAPTURE_FRAME: table_draw(TABLE_DRAW_LIFTED); return 1;
    default: return 0;
    }
}

// A game with the table laid out, torn down at the end of the scope.
struct TableBench {
    Game game{SCREEN_W, SCREEN_H};
    Img *picture = nullptr;
    int32_t room = -1;
    BoxInfo box = {};

    explicit TableBench(benchmark::State &state)
    {
        // The allocator as the game sets it: large blocks stay with the process, so
        // making a carried group's picture does not fault its pages in afresh each time.
        io_mem_init();
        room = start_room(game, state, table_room);
        if (room < 0)
            return;
        std::mt19937 rng(11);
        picture = img_create(SCREEN_W, SCREEN_H, IMG_BGR);
        background = img_create(SCREEN_W, SCREEN_H, IMG_BGR);
        for (Img *img : {picture, background}) {
            int32_t stride, w, h;
            uint8_t *p = img_pixels(img, &stride, &w, &h);
            for (int32_t y = 0; y < h; y++)
                for (int32_t x = 0; x < w * 3; x++)
                    p[y * stride + x] = img == picture ? (uint8_t)(x / 7 + y / 3 + (rng() & 15)) : (uint8_t)(60 + (x ^ y) % 24);
        }
        box.piece_size = PIECE;
        box.jitter = 20;
        box.shape = 1;
        box.picture_width = SCREEN_W;
        box.picture_height = SCREEN_H;
        cut_grid_init(&box);
        cut_pieces_build();
        cut_grid_free();
        piece_scene_set(nullptr, picture, cut_result.shapes, cut_result.shape_count);
        table_create(&cut_result, &box, SCREEN_W, SCREEN_H, room);
        for (int32_t i = 0; i < table.count; i++) {
            table.pieces[i].x = (int32_t)(rng() % (SCREEN_W - PIECE));
            table.pieces[i].y = 20 + (int32_t)(rng() % (SCREEN_H - 20 - PIECE));
        }
        table_setup();
        full_frame();
    }
    ~TableBench()
    {
        table_free();
        cut_result_free();
        img_free(picture);
        img_free(background);
        background = nullptr;
        piece_scene = {};
    }
    static void full_frame()
    {
        IoRect all = {0, 0, SCREEN_W, SCREEN_H};
        io_post_event(IO_PAINT, (intptr_t)&all, 0, 0);
        io_post_event(IO_FRAME, 0, 0, 0);
    }
    // The top-left 10 x 10 pieces joined into one group lying with its top-left piece at
    // (x, y), turned by `angle` about that piece.
    static void make_group(int32_t x, int32_t y, int32_t angle)
    {
        int32_t columns = SCREEN_W / PIECE;
        Piece &anchor = table.pieces[0];
        anchor.x = x;
        anchor.y = y;
        anchor.angle = angle;
        for (int32_t r = 0; r < BLOCK; r++)
            for (int32_t c = 0; c < BLOCK; c++) {
                Piece &p = table.pieces[r * columns + c];
                int32_t vx, vy;
                piece_turn(angle, p.home_x - anchor.home_x, p.home_y - anchor.home_y, &vx, &vy);
                p.x = p.work_x = x + vx;
                p.y = p.work_y = y + vy;
                p.angle = angle;
                p.group = 0;
                p.dirty = 1;
            }
    }
    static void hold_group()
    {
        int32_t columns = SCREEN_W / PIECE;
        for (int32_t r = 0; r < BLOCK; r++)
            for (int32_t c = 0; c < BLOCK; c++)
                hold(r * columns + c);
    }
    static void hold(int32_t i)
    {
        Piece &p = table.pieces[i];
        p.held = 1;
        p.lift = table.lift;
        p.dirty = 1;
        p.work_x = p.x;
        p.work_y = p.y;
        piece_to_top(i);
    }
    // Drags what is held to and fro across the table, one tick and one frame per step.
    void drag(benchmark::State &state, int32_t span)
    {
        window_capture(room);
        full_frame();
        double memcpy_s = bench_frame_memcpy_seconds(SCREEN_W, SCREEN_H);
        int32_t dx = 6, travelled = 0;
        int64_t frames = 0;
        double t = bench_seconds_now();
        for (auto _ : state) {
            if (travelled > span || travelled < 0)
                dx = -dx;
            travelled += dx;
            table.dx = dx;
            table.dy = (travelled & 8) ? 1 : -1;
            table_tick();
            io_post_event(IO_FRAME, 0, 0, 0);
            frames++;
        }
        state.counters["x_memcpy"] = (bench_seconds_now() - t) / (double)frames / memcpy_s;
        window_drag_end();
    }
};

}  // namespace

// One piece carried over the others: its old and new places with the shadow redrawn.
static void BM_TableDragOnePiece(benchmark::State &state)
{
    TableBench b(state);
    if (b.room < 0)
        return;
    int32_t piece = table.count / 2;
    table.pieces[piece].x = 300;
    table.pieces[piece].y = 500;
    TableBench::hold(piece);
    b.drag(state, 1200);
}
BENCHMARK(BM_TableDragOnePiece)->Unit(benchmark::kMicrosecond);

// A group of 100 joined pieces carried over the others.
static void BM_TableDragGroup100(benchmark::State &state)
{
    TableBench b(state);
    if (b.room < 0)
        return;
    TableBench::make_group(300, 300, 0);
    TableBench::hold_group();
    b.drag(state, 900);
}
BENCHMARK(BM_TableDragGroup100)->Unit(benchmark::kMicrosecond);

// The same group caught at 45 degrees in a quarter turn: every piece drawn by the
// general mapping.
static void BM_TableTurnGroup100At45(benchmark::State &state)
{
    TableBench b(state);
    if (b.room < 0)
        return;
    TableBench::make_group(500, 250, 45);
    TableBench::hold_group();
    b.drag(state, 900);
}
BENCHMARK(BM_TableTurnGroup100At45)->Unit(benchmark::kMillisecond);

// The group of 100 picked up and carried two steps, then put down again, frame after
// frame: what the first frames of a drag cost, when the table makes the group's picture.
static void BM_TableLiftGroup100(benchmark::State &state)
{
    TableBench b(state);
    if (b.room < 0)
        return;
    TableBench::make_group(500, 250, 0);
    window_capture(b.room);
    TableBench::full_frame();
    for (auto _ : state) {
        TableBench::hold_group();
        io_post_event(IO_FRAME, 0, 0, 0);
        for (int32_t step : {4, -4}) {
            table.dx = step;
            table_tick();
            io_post_event(IO_FRAME, 0, 0, 0);
        }
        table_drop();
        io_post_event(IO_FRAME, 0, 0, 0);
    }
    window_drag_end();
}
BENCHMARK(BM_TableLiftGroup100)->Unit(benchmark::kMillisecond);

// Every tile dirty: the background and all pieces drawn.
static void BM_TableFullRedraw(benchmark::State &state)
{
    TableBench b(state);
    if (b.room < 0)
        return;
    double memcpy_s = bench_frame_memcpy_seconds(SCREEN_W, SCREEN_H);
    double t = bench_seconds_now();
    int64_t frames = 0;
    for (auto _ : state) {
        TableBench::full_frame();
        frames++;
    }
    state.counters["x_memcpy"] = (bench_seconds_now() - t) / (double)frames / memcpy_s;
}
BENCHMARK(BM_TableFullRedraw)->Unit(benchmark::kMillisecond);

// The group of 100 dropped among the others: every member's join test against its
// neighbours, none of which fits, and keeping the group on the table.
static void BM_TableDropGroup100(benchmark::State &state)
{
    TableBench b(state);
    if (b.room < 0)
        return;
    TableBench::make_group(500, 250, 0);
    for (auto _ : state) {
        TableBench::hold_group();
        table_drop();
    }
}
BENCHMARK(BM_TableDropGroup100)->Unit(benchmark::kMicrosecond);
