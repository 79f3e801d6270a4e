// Drawing one lit piece against an opaque img_blit of its relief rectangle, measured in
// the same run; the counter x_blit is the piece's cost in such blits.
#include <benchmark/benchmark.h>
#include <cmath>
#include <ctime>
#include <numbers>
#include <random>

#include "image/img.h"
#include "platform/memory.h"
#include "puzzle/piece.h"

constexpr int PIECE_SIDE = 90;

static double thread_seconds()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return (double)ts.tv_sec + ts.tv_nsec / 1e9;
}

// What the relief holds: the piece as it is, the same piece with its rim flat too (no
// pixel lit, only copied), or nothing at all (the walk over the relief alone).
enum { RELIEF_PIECE, RELIEF_UNLIT, RELIEF_EMPTY };

// A 64-pixel piece with tabs out to the right and below, as the cutter makes them: a
// rounded square with two knobs, anti-aliased, relief codes on a soft rim three pixels
// wide facing outwards, flat inside.
static Img *make_relief(int32_t variant)
{
    auto inside = [](double x, double y) {
        double qx = std::max(std::fabs(x - 35) - 27, 0.0), qy = std::max(std::fabs(y - 35) - 27, 0.0);
        bool square = std::fabs(x - 35) <= 33 && std::fabs(y - 35) <= 33 && qx * qx + qy * qy <= 36;
        bool right = std::hypot(x - 78, y - 35) <= 11 || (x >= 60 && x <= 72 && std::fabs(y - 35) <= 6);
        bool below = std::hypot(x - 35, y - 78) <= 11 || (y >= 60 && y <= 72 && std::fabs(x - 35) <= 6);
        return square || right || below;
    };
    static uint8_t mask[PIECE_SIDE][PIECE_SIDE];
    for (int y = 0; y < PIECE_SIDE; y++)
        for (int x = 0; x < PIECE_SIDE; x++) {
            int n = 0;
            for (int i = 0; i < 16; i++)
                n += inside(x + (i % 4) / 4.0 - 0.375, y + (i / 4) / 4.0 - 0.375);
            mask[y][x] = (uint8_t)(n * 255 / 16);
        }
    Img *relief = img_create(PIECE_SIDE, PIECE_SIDE, IMG_555);
    uint16_t *out = (uint16_t *)((uint8_t *)relief + relief->colour_offset);
    for (int y = 0; y < PIECE_SIDE; y++)
        for (int x = 0; x < PIECE_SIDE; x++) {
            // The nearest pixel not fully inside, within three pixels, gives the rim's slope.
            double best = 9, dx = 0, dy = 0;
            for (int j = -3; j <= 3; j++)
                for (int i = -3; i <= 3; i++) {
                    int xx = x + i, yy = y + j;
                    bool out_side = xx < 0 || yy < 0 || xx >= PIECE_SIDE || yy >= PIECE_SIDE || mask[yy][xx] < 255;
                    if (out_side && i * i + j * j < best)
                        best = i * i + j * j, dx = i, dy = j;
                }
            uint8_t m = mask[y][x];
            uint16_t code = 0;
            if (m > 0 && best < 9) {
                int azimuth = (int)std::lround(std::atan2(-dy, dx) * 32 / std::numbers::pi) & 63;
                int elevation = 6 + (int)std::sqrt(best) * 2;
                code = (uint16_t)(azimuth << 4 | (15 - elevation));
            }
            uint16_t s = m == 0 ? 0 : (m == 255 && code == 0) ? SHAPE_FLAT : (uint16_t)(m >> 3 | code << 5);
            if (variant == RELIEF_UNLIT && s != 0)
                s = SHAPE_FLAT;
            out[y * PIECE_SIDE + x] = variant == RELIEF_EMPTY ? 0 : s;
        }
    return relief;
}

struct RenderBench {
    Img *table, *picture;
    Shape shape;
    Piece piece;
};

static void bench_open(RenderBench *b, int32_t angle, int32_t variant = RELIEF_PIECE)
{
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    light_tables_build();
    b->table = img_create(640, 480, IMG_BGR);
    b->picture = img_create(640, 480, IMG_BGR);
    std::mt19937 rng(3);
    int32_t stride, w, h;
    uint8_t *p = img_pixels(b->picture, &stride, &w, &h);
    for (int i = 0; i < stride * h; i++)
        p[i] = (uint8_t)rng();
    img_fill(b->table, 90);
    b->shape = {make_relief(variant), nullptr, 0, 0, 0, 0, nullptr};
    piece_runs_build(&b->shape);
    piece_scene_set(b->table, b->picture, &b->shape, 1);
    b->piece = {};
    b->piece.x = 200, b->piece.y = 150, b->piece.home_x = 100, b->piece.home_y = 100, b->piece.angle = angle;
    piece_geometry_update(&b->piece);
}

static void bench_close(RenderBench *b)
{
    piece_scene = {};
    piece_runs_free(&b->shape);
    img_free(b->shape.relief);
    img_free(b->table);
    img_free(b->picture);
}

// The baseline: the piece's relief rectangle copied opaque from the picture.
static double blit_seconds(RenderBench *b, int repeats)
{
    ImgView d, s;
    img_view(&d, b->table, 200, 150);
    img_view(&s, b->picture, 100, 100);
    s.width = s.height = PIECE_SIDE;
    double t0 = thread_seconds();
    for (int i = 0; i < repeats; i++) {
        img_blit(&d, &s);
        benchmark::ClobberMemory();
    }
    return (thread_seconds() - t0) / repeats;
}

static void BM_PieceBlitBaseline(benchmark::State &state)
{
    RenderBench b;
    bench_open(&b, 0);
    ImgView d, s;
    img_view(&d, b.table, 200, 150);
    img_view(&s, b.picture, 100, 100);
    s.width = s.height = PIECE_SIDE;
    for (auto _ : state) {
        img_blit(&d, &s);
        benchmark::ClobberMemory();
    }
    bench_close(&b);
}
BENCHMARK(BM_PieceBlitBaseline);

// One lit piece body at the angle given; 0 must stay within 3 blits, 45 within 6. The
// second argument takes the drawing apart: the same piece with nothing lit, and with
// nothing to draw.
static void BM_PieceBody(benchmark::State &state)
{
    RenderBench b;
    bench_open(&b, (int32_t)state.range(0), (int32_t)state.range(1));
    double blit = blit_seconds(&b, 20000), t0 = thread_seconds();
    for (auto _ : state) {
        piece_draw(&b.piece, PIECE_BODY);
        benchmark::ClobberMemory();
    }
    state.counters["x_blit"] = (thread_seconds() - t0) / (double)state.iterations() / blit;
    bench_close(&b);
}
BENCHMARK(BM_PieceBody)
    ->Args({0, RELIEF_PIECE})
    ->Args({45, RELIEF_PIECE})
    ->Args({90, RELIEF_PIECE})
    ->Args({45, RELIEF_UNLIT})
    ->Args({45, RELIEF_EMPTY});
