// The desktop drawn over a whole 1920 x 1080 frame against memcpy of the frame's bytes,
// measured in the same run; the counter x_memcpy is the draw's cost in such copies.
#include <benchmark/benchmark.h>
#include <ctime>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "image/cache.h"
#include "image/clip.h"
#include "image/img.h"
#include "kernel/kernel.h"
#include "platform/memory.h"
#include "platform/video.h"
#include "res/datapack.h"
#include "res/lang.h"
#include "res/settings.h"
#include "ui/desktop.h"
#include "ui/fonts.h"
#include "ui/skin.h"

constexpr int W = 1920, H = 1080;

// A frame buffer with no window behind it.
static const VideoDriver null_driver = {
    "Null", nullptr, nullptr, [](int) { return 1; }, nullptr,
    [] {
        int32_t row = io_video_row_size(screen.width, 24);
        screen.buf = io_video_pixels() + (size_t)(screen.height - 1) * row;
        screen.pitch = -row;
    },
    [](const PaintList *) {}};

// Thread CPU time, so other programs on a busy machine do not tilt the ratio.
static double thread_seconds()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return (double)ts.tv_sec + ts.tv_nsec / 1e9;
}

static double seconds_of(void (*fn)(void *), void *ctx, int rounds)
{
    double t0 = thread_seconds();
    for (int i = 0; i < rounds; i++)
        fn(ctx);
    return thread_seconds() - t0;
}

static void BM_BackgroundDrawFullHd(benchmark::State &state)
{
    // The game's own installation data, built beside the game.
    std::filesystem::path pack = std::filesystem::absolute(std::filesystem::path(PELMORA_EXE).parent_path() / "data.pck");
    if (!std::filesystem::exists(pack)) {
        state.SkipWithError("data.pck is not built");
        return;
    }
    std::filesystem::path old = std::filesystem::current_path();
    std::filesystem::path work = std::filesystem::temp_directory_path() / ("pelmora-bench-bg-" + std::to_string(getpid()));
    std::filesystem::create_directories(work / "sfiles");
    std::filesystem::current_path(work);

    // The part of start-up the desktop depends on.
    kernel_config.title = "Pelmora";
    dp_open(pack.c_str());
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    io_video_set_driver(&null_driver);
    io_video_create(W, H, 24);
    dp_extract(dp_get_index("skin.ini", 1), SETTINGS_SKIN);
    dp_extract(dp_get_index("english.ini", 1), SETTINGS_LANG);
    lt_init(SETTINGS_LANG);
    cache_set_preload(true);
    clip_init();
    img_set_blitter(img_draw);
    ge_init(SETTINGS_SKIN);
    fonts_init();
    settings_read_old_screen();
    background_init();

    io_video_begin_paint();
    auto draw = [](void *) {
        clip_set_all(1);
        background_draw("Store Room");
        benchmark::ClobberMemory();
    };
    auto copy = [](void *ctx) {
        auto *frame = (std::vector<uint8_t> *)ctx;
        memcpy(frame->data(), io_video_pixels(), frame->size());
        benchmark::ClobberMemory();
    };
    std::vector<uint8_t> frame((size_t)io_video_row_size(W, 24) * H);
    for (auto _ : state)
        draw(nullptr);
    // The bottom-right pixel must be the column's, or the draw measured nothing.
    const Img *column = background_column();
    const uint8_t *want = (const uint8_t *)column + column->colour_offset + (size_t)(H - 1) * column->colour_stride +
                          (size_t)((W - 1) % column->width) * 3;
    if (memcmp(screen.buf + (ptrdiff_t)(H - 1) * screen.pitch + (W - 1) * 3, want, 3) != 0)
        state.SkipWithError("the background did not reach the frame");
    // The baseline in the same run, over as many rounds as the draw was timed.
    int rounds = (int)std::min<int64_t>(state.iterations(), 200);
    double t_draw = seconds_of(draw, nullptr, rounds), t_copy = seconds_of(copy, &frame, rounds);
    state.counters["x_memcpy"] = t_copy > 0 ? t_draw / t_copy : 0;
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)frame.size());
    io_video_end_paint();

    background_done();
    fonts_done();
    ge_done();
    cache_done();
    lt_done();
    clip_done();
    io_video_close();
    dp_close();
    std::filesystem::current_path(old);
    std::filesystem::remove_all(work);
}
BENCHMARK(BM_BackgroundDrawFullHd)->Unit(benchmark::kMillisecond);
