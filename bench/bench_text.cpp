// A 60-character line of text in each bitmap font against an opaque img_blit of the area
// it covers, measured in the same run; the counter x_blit is the line's cost in such blits.
#include <benchmark/benchmark.h>
#include <ctime>
#include <string>

#include "image/cache.h"
#include "image/clip.h"
#include "image/img.h"
#include "platform/memory.h"
#include "platform/video.h"
#include "res/datapack.h"
#include "res/lang.h"
#include "ui/text.h"

static const char LINE[] = "Store room: 24 boxes - Evening at Silver Lake, 124 of 150 ok";
static_assert(sizeof LINE - 1 == 60);

static double thread_seconds()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return (double)ts.tv_sec + ts.tv_nsec / 1e9;
}

// A frame buffer that is never shown.
static const VideoDriver bench_video_driver = {
    "Bench", nullptr, nullptr, [](int) { return 1; }, nullptr,
    [] {
        int32_t row = io_video_row_size(screen.width, 24);
        screen.buf = io_video_pixels() + (size_t)(screen.height - 1) * row;
        screen.pitch = -row;
    },
    [](const PaintList *) {}};

static void BM_TextLine(benchmark::State &state)
{
    // The pack is built beside the game.
    std::string pack = PELMORA_DATA_PCK;
    FILE *probe = fopen(pack.c_str(), "rb");
    if (!probe) {
        state.SkipWithError("data.pck is not built");
        return;
    }
    fclose(probe);
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    dp_open(pack.c_str());
    io_video_set_driver(&bench_video_driver);
    io_video_create(800, 600, 24);
    clip_init();
    io_video_begin_paint();

    const BitmapFontInfo &info = lt_bitmap_fonts[state.range(0)];
    Font font = {FONT_BITMAP, info.height, info.size, info.line, 1, cache_get(info.sheet),
                 info.spacing, 32, 127, info.glyphs, nullptr};
    text_set_font(&font, 0x203040, TEXT_NONE);
    int32_t w, h;
    text_measure(LINE, &w, &h);

    // The baseline: the same area copied opaque onto the screen.
    Img *area = img_create(w, info.height, IMG_BGR);
    img_fill(area, 90);
    ImgView d, s;
    screen_view(&d, 10, 10);
    img_view(&s, area, 0, 0);
    const int repeats = 20000;
    double t0 = thread_seconds();
    for (int i = 0; i < repeats; i++) {
        img_blit(&d, &s);
        benchmark::ClobberMemory();
    }
    double blit = (thread_seconds() - t0) / repeats;

    t0 = thread_seconds();
    for (auto _ : state) {
        text_draw(LINE, 10, 10);
        benchmark::ClobberMemory();
    }
    state.counters["x_blit"] = (thread_seconds() - t0) / (double)state.iterations() / blit;
    state.counters["width"] = w;

    img_free(area);
    io_video_end_paint();
    clip_done();
    io_video_close();
    cache_done();
    dp_close();
}
BENCHMARK(BM_TextLine)->Arg(0)->Arg(1)->Arg(2);
