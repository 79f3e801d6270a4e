// The play room's helpers on the 1920 x 1080 table of bench_table.cpp (1032 pieces of
// 44, jitter 20, lying at random): saving the game while it is played (what the player
// waits for: the bytes made and handed to the writer; and, for comparison, the whole
// write with its flush done on the spot), laying out the spread of every piece, a frame
// while the spread pieces glide, and full frames with the hidden pieces shown beside
// full frames without. Counters: x_memcpy, a cost in copies of the whole frame timed in
// the same run; x_goal, the cost over its goal (below 1 meets it); x_plain, the hidden
// pieces' frame over the plain full frame measured alike.
#include <benchmark/benchmark.h>
#include <cstring>
#include <random>

#include "bench/bench_game.h"
#include "image/img.h"
#include "platform/events.h"
#include "platform/memory.h"
#include "puzzle/table_tools.h"
#include "rooms/play/autosave.h"
#include "rooms/play/playroom.h"

namespace {

constexpr int32_t SCREEN_W = 1920, SCREEN_H = 1080, PIECE = 44, BLOCK = 10;
constexpr double AUTOSAVE_GOAL_S = 0.005, SPREAD_GOAL_S = 0.020, FRAME_GOAL_S = 0.008;

Img *background;

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
        table_reveal_draw();
        return 0;
    case TW_CAPTURE_FRAME: table_draw(TABLE_DRAW_LIFTED); return 1;
    default: return 0;
    }
}

struct AdditionsBench {
    Game game{SCREEN_W, SCREEN_H};
    Img *picture = nullptr;
    int32_t room = -1;
    BoxInfo box = {};
    std::mt19937 rng{11};

    explicit AdditionsBench(benchmark::State &state)
    {
        io_mem_init();
        room = start_room(game, state, table_room);
        if (room < 0)
            return;
        picture = img_create(SCREEN_W, SCREEN_H, IMG_BGR);
        background = img_create(SCREEN_W, SCREEN_H, IMG_BGR);
        for (Img *img : {picture, background}) {
            int32_t stride, w, h;
            uint8_t *p = img_pixels(img, &stride, &w, &h);
            for (int32_t y = 0; y < h; y++)
                for (int32_t x = 0; x < w * 3; x++)
                    p[y * stride + x] = img == picture ? (uint8_t)(x / 7 + y / 3 + (rng() & 15)) : (uint8_t)(60 + (x ^ y) % 24);
        }
        box.piece_size = PIECE, box.jitter = 20, box.shape = 1;
        box.picture_width = SCREEN_W, box.picture_height = SCREEN_H;
        cut_grid_init(&box);
        cut_pieces_build();
        cut_grid_free();
        piece_scene_set(nullptr, picture, cut_result.shapes, cut_result.shape_count);
        table_create(&cut_result, &box, SCREEN_W, SCREEN_H, room);
        scatter();
        full_frame();
    }
    ~AdditionsBench()
    {
        table_free();
        cut_result_free();
        img_free(picture);
        img_free(background);
        background = nullptr;
        piece_scene = {};
    }
    void scatter()
    {
        for (int32_t i = 0; i < table.count; i++) {
            table.pieces[i].x = (int32_t)(rng() % (SCREEN_W - PIECE));
            table.pieces[i].y = 20 + (int32_t)(rng() % (SCREEN_H - 20 - PIECE));
            table.pieces[i].group = -1;
        }
        table_setup();
    }
    static void full_frame()
    {
        IoRect all = {0, 0, SCREEN_W, SCREEN_H};
        io_post_event(IO_PAINT, (intptr_t)&all, 0, 0);
        io_post_event(IO_FRAME, 0, 0, 0);
    }
    // The top-left 10 x 10 pieces joined at (x, y), and 60 loose pieces laid on the
    // cells of its inner members, below it.
    static void group_over_loose(int32_t x, int32_t y)
    {
        int32_t columns = SCREEN_W / PIECE, hidden = 0;
        const Piece &anchor = table.pieces[0];
        for (int32_t r = 0; r < BLOCK; r++)
            for (int32_t c = 0; c < BLOCK; c++) {
                Piece &p = table.pieces[r * columns + c];
                p.x = p.work_x = x + p.home_x - anchor.home_x;
                p.y = p.work_y = y + p.home_y - anchor.home_y;
                p.group = 0;
                p.dirty = 1;
            }
        table.pieces[0].x = x, table.pieces[0].y = y;
        for (int32_t r = 1; r < BLOCK - 1 && hidden < 60; r++)
            for (int32_t c = 1; c < BLOCK - 1 && hidden < 60; c++, hidden++) {
                const Piece &cell = table.pieces[r * columns + c];
                int32_t k = (BLOCK + 2 + hidden) * columns + hidden % columns;
                Piece &p = table.pieces[k];
                p.x = cell.x - cell.home_x + cut_result.pieces[r * columns + c].home_x + p.home_x - cut_result.pieces[k].home_x;
                p.y = cell.y - cell.home_y + cut_result.pieces[r * columns + c].home_y + p.home_y - cut_result.pieces[k].home_y;
                p.angle = 0;
                p.dirty = 1;
                piece_put_above(k, -1);
            }
        io_post_event(IO_FRAME, 0, 0, 0);
    }
};

void frame_counters(benchmark::State &state, double seconds, int64_t frames)
{
    double memcpy_s = bench_frame_memcpy_seconds(SCREEN_W, SCREEN_H);
    state.counters["x_memcpy"] = seconds / (double)frames / memcpy_s;
    state.counters["x_goal"] = seconds / (double)frames / FRAME_GOAL_S;
}

// The play room's part of a save: the summary and the table at rest made into the file's
// bytes, handed to the writer. With `whole`, the write, its flush and the move into place
// are done on the spot too, as a save without the helper would.
void autosave_bench(benchmark::State &state, bool whole)
{
    AdditionsBench b(state);
    if (b.room < 0)
        return;
    playroom.summary = {};
    playroom.id = {};
    snprintf(playroom.box_name, sizeof playroom.box_name, "%s", "Bench");
    playroom.loaded = 1;
    playroom.start_tick = 0;
    autosave_begin();
    double t = 0;
    int64_t saves = 0;
    for (auto _ : state) {
        double t0 = bench_seconds_now();
        if (!autosave_save_now(whole)) {
            state.SkipWithError("no save");
            break;
        }
        t += bench_seconds_now() - t0;
        saves++;
        state.PauseTiming();
        autosave_wait();  // the next save waits for this one: not the player's time
        state.ResumeTiming();
    }
    autosave_end();
    playroom.loaded = 0;
    if (saves) {
        state.counters["x_memcpy"] = t / (double)saves / bench_frame_memcpy_seconds(SCREEN_W, SCREEN_H);
        state.counters["x_goal"] = t / (double)saves / AUTOSAVE_GOAL_S;
    }
}

}  // namespace

static void BM_AutosaveHandOff(benchmark::State &state)
{
    autosave_bench(state, false);
}
BENCHMARK(BM_AutosaveHandOff)->Unit(benchmark::kMicrosecond)->UseRealTime();

static void BM_AutosaveWrittenOnTheSpot(benchmark::State &state)
{
    autosave_bench(state, true);
}
BENCHMARK(BM_AutosaveWrittenOnTheSpot)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Where all 1032 loose pieces go: more than the table holds apart, so the rows close up.
static void BM_SpreadLayout1000(benchmark::State &state)
{
    AdditionsBench b(state);
    if (b.room < 0)
        return;
    std::vector<TableSpot> to(table.count);
    double memcpy_s = bench_frame_memcpy_seconds(SCREEN_W, SCREEN_H);
    double t = bench_seconds_now();
    int64_t n = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(table_spread_layout(nullptr, 0, to.data(), nullptr));
        n++;
    }
    double each = (bench_seconds_now() - t) / (double)n;
    state.counters["x_memcpy"] = each / memcpy_s;
    state.counters["x_goal"] = each / SPREAD_GOAL_S;
}
BENCHMARK(BM_SpreadLayout1000)->Unit(benchmark::kMillisecond);

// The frames of the glide: every loose piece moving at once, each tick a frame.
static void BM_SpreadGlideFrame(benchmark::State &state)
{
    AdditionsBench b(state);
    if (b.room < 0)
        return;
    double t = 0;
    int64_t frames = 0;
    for (auto _ : state) {
        state.PauseTiming();
        b.scatter();
        AdditionsBench::full_frame();
        table_spread(nullptr, 0);
        state.ResumeTiming();
        double t0 = bench_seconds_now();
        io_post_event(IO_FRAME, 0, 0, 0);  // the first step, taken with the command
        for (int32_t k = 1; k < TABLE_SPREAD_TICKS; k++) {
            table_tick();
            io_post_event(IO_FRAME, 0, 0, 0);
        }
        t += bench_seconds_now() - t0;
        frames += TABLE_SPREAD_TICKS;
    }
    frame_counters(state, t, frames);
}
BENCHMARK(BM_SpreadGlideFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

// Every tile dirty with the hidden pieces shown on top; x_plain against the same full
// frame without them, timed first.
static void BM_FullRedrawHiddenShown(benchmark::State &state)
{
    AdditionsBench b(state);
    if (b.room < 0)
        return;
    AdditionsBench::group_over_loose(500, 250);
    double t0 = bench_seconds_now();
    for (int k = 0; k < 30; k++)
        AdditionsBench::full_frame();
    double plain = (bench_seconds_now() - t0) / 30;
    t0 = bench_seconds_now();
    state.counters["hidden"] = table_reveal(1);
    state.counters["find_ms"] = (bench_seconds_now() - t0) * 1000;
    double t = bench_seconds_now();
    int64_t frames = 0;
    for (auto _ : state) {
        AdditionsBench::full_frame();
        frames++;
    }
    double seconds = bench_seconds_now() - t;
    frame_counters(state, seconds, frames);
    state.counters["x_plain"] = seconds / (double)frames / plain;
    table_reveal(0);
}
BENCHMARK(BM_FullRedrawHiddenShown)->Unit(benchmark::kMillisecond);
