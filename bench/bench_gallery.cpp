// The gallery's walk-through room: the largest view of a 1920 x 1080 screen drawn with a
// picture in every cell, and the column table of the widest view worked out after a
// move, each against memcpy of the view's pixels measured in turns with it (x_memcpy;
// ms is the operation's own thread time).
#include <benchmark/benchmark.h>
#include <cstring>
#include <ctime>
#include <vector>

#include "bench/bench_game.h"
#include "image/clip.h"
#include "image/img.h"
#include "platform/video.h"
#include "rooms/gallery/g3dscene.h"

namespace {

constexpr int32_t SCREEN_W = 1920, SCREEN_H = 1080;
// The gallery's view at zoom 4 on that screen.
constexpr int32_t VIEW_W = (((SCREEN_W - 186) * 4 / 4 + 146) | 3) + 1, VIEW_H = VIEW_W / 2;

// The scene set up in a started game, with every cell holding a framed picture.
struct Gallery {
    Game game{SCREEN_W, SCREEN_H};
    Img *cells[G3D_CELLS] = {};
    Gallery()
    {
        if (!game.up)
            return;
        g3dscene_init();
        const int32_t sizes[][2] = {{248, 186}, {248, 124}, {186, 248}, {248, 31}, {248, 248}};
        for (int32_t i = 0; i < G3D_CELLS; i++) {
            cells[i] = img_create(sizes[i % 5][0], sizes[i % 5][1], IMG_SCREEN);
            ImgView v;
            img_view(&v, cells[i], 0, 0);
            for (int32_t y = 0; y < v.height; y++)
                for (int32_t x = 0; x < v.width * 3; x++)
                    v.colour[(ptrdiff_t)y * v.colour_stride + x] = (uint8_t)(x * 7 + y * 3 + i * 40);
        }
        g3dscene_set_pictures(cells);
    }
    ~Gallery()
    {
        if (!game.up)
            return;
        g3dscene_set_pictures(nullptr);
        for (Img *c : cells)
            img_free(c);
        g3dscene_release();
    }
};

// Thread CPU time, so other programs on a busy machine do not tilt the ratio.
double thread_seconds()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return (double)ts.tv_sec + ts.tv_nsec / 1e9;
}

// Seconds per call of fn and of a memcpy of width x height pixels, the two taken in
// turns over the same rounds so that both meet the same machine.
template <typename Fn> void against_memcpy(benchmark::State &state, int32_t width, int32_t height, Fn fn)
{
    std::vector<uint8_t> from((size_t)width * height * 3, 1), to(from.size());
    double t_fn = 0, t_copy = 0;
    int64_t rounds = 0;
    for (auto _ : state) {
        double t0 = thread_seconds();
        fn();
        benchmark::ClobberMemory();
        double t1 = thread_seconds();
        memcpy(to.data(), from.data(), from.size());
        benchmark::ClobberMemory();
        t_fn += t1 - t0;
        t_copy += thread_seconds() - t1;
        rounds++;
    }
    state.counters["ms"] = t_fn / (double)rounds * 1e3;
    state.counters["x_memcpy"] = t_copy > 0 ? t_fn / t_copy : 0;
}

void BM_GalleryDrawLargestView(benchmark::State &state)
{
    Gallery g;
    if (!g.game.up) {
        state.SkipWithError("the game did not start");
        return;
    }
    g3dscene_set_view(VIEW_W, VIEW_H, 20, 60);
    g3dscene.cross_hair = true;
    io_video_begin_paint();
    against_memcpy(state, VIEW_W, VIEW_H, [] {
        clip_set_all(1);
        g3dscene_draw(0, 0, SCREEN_W, SCREEN_H);
    });
    io_video_end_paint();
}
BENCHMARK(BM_GalleryDrawLargestView)->Unit(benchmark::kMillisecond);

// A turn of a degree and back with the widest view: camera space and 2048 rays.
void BM_GalleryColumnTableWidestView(benchmark::State &state)
{
    Gallery g;
    if (!g.game.up) {
        state.SkipWithError("the game did not start");
        return;
    }
    g3dscene_set_view(G3D_VIEW_MAX, G3D_VIEW_MAX / 2, 0, 0);
    int32_t turn = 1;
    against_memcpy(state, G3D_VIEW_MAX, G3D_VIEW_MAX / 2, [&] {
        g3dscene_move(turn, 0);
        turn = -turn;
    });
}
BENCHMARK(BM_GalleryColumnTableWidestView)->Unit(benchmark::kMillisecond);

}  // namespace
