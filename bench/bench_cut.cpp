// Cutting a full-HD picture into 880 pieces, jittered (nearly every outline its own shape)
// and regular, with the time per distinct shape; and loading the same cut from its cache,
// which must beat cutting it by far (x_cut: loads in the time of one cut).
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "platform/memory.h"
#include "puzzle/curve.h"
#include "puzzle/cut.h"
#include "res/datapack.h"

// Curve 0 straight, every other type the classic knob: narrow neck, round head.
static const int32_t STRAIGHT[][2] = {{0, 0}, {333, 0}, {667, 0}, {1000, 0}};
static const int32_t KNOB[][2] = {{0, 0},     {300, 0},   {420, 20},  {400, 80},  {370, 160},
                                  {380, 240}, {500, 240}, {620, 240}, {630, 160}, {600, 80},
                                  {580, 20},  {700, 0},   {1000, 0}};

// Works in a fresh folder holding the curves, with the curves loaded; removed at the end.
struct CutBench {
    std::filesystem::path old = std::filesystem::current_path(), dir;
    CutBench()
    {
        char tmpl[] = "/tmp/pelmora-bench-XXXXXX";
        dir = mkdtemp(tmpl);
        std::filesystem::create_directories(dir / "curves");
        for (int t = 0; t < CURVE_TYPES; t++) {
            FILE *f = fopen((dir / ("curves/c_" + std::to_string(t) + ".crv")).c_str(), "wb");
            if (t == 0)
                fwrite(STRAIGHT, sizeof STRAIGHT, 1, f);
            else
                fwrite(KNOB, sizeof KNOB, 1, f);
            fclose(f);
        }
        std::filesystem::current_path(dir);
        img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
        dp_open(".@");
        curves_init();
    }
    ~CutBench()
    {
        cut_result_free();
        curves_done();
        dp_close();
        std::filesystem::current_path(old);
        std::filesystem::remove_all(dir);
    }
};

static BoxInfo full_hd(int32_t jitter)
{
    BoxInfo box = {};
    box.piece_size = 48;
    box.jitter = jitter;
    box.shape = 1;
    box.picture_width = 1920;
    box.picture_height = 1080;
    return box;
}

static void cut_once(BoxInfo *box)
{
    cut_grid_init(box);
    cut_pieces_build();
    cut_grid_free();
}

static void BM_CutFullHd(benchmark::State &state)
{
    CutBench bench;
    BoxInfo box = full_hd((int32_t)state.range(0));
    for (auto _ : state)
        cut_once(&box);
    state.counters["shapes"] = cut_result.shape_count;
    state.counters["per_shape"] = benchmark::Counter(cut_result.shape_count, benchmark::Counter::kIsIterationInvariantRate |
                                                                                 benchmark::Counter::kInvert);
}
BENCHMARK(BM_CutFullHd)->Arg(20)->Arg(0)->Unit(benchmark::kMillisecond);

static void BM_CutCacheLoad(benchmark::State &state)
{
    CutBench bench;
    BoxInfo box = full_hd(20);
    ChunkId id = {{1, 2, 3, 125}};
    auto t0 = std::chrono::steady_clock::now();
    cut_once(&box);
    double cut_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (!cut_cache_save("bench", &id)) {
        state.SkipWithError("cut_cache_save failed");
        return;
    }
    t0 = std::chrono::steady_clock::now();
    for (auto _ : state)
        if (!cut_cache_load("bench", &id, &box))
            state.SkipWithError("cut_cache_load failed");
    double load_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    state.counters["x_cut"] = cut_seconds * (double)state.iterations() / load_seconds;
}
BENCHMARK(BM_CutCacheLoad)->Unit(benchmark::kMillisecond);
