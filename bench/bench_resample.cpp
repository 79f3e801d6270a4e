// Resampling costs in megapixels per second: the blur of a screen-sized shadow mask and
// of noise (its worst case), and the filtered reduction of a camera picture, beside a
// plain copy of a screen's bytes measured in the same run.
#include <benchmark/benchmark.h>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "image/resample.h"
#include "platform/memory.h"

static void count_pixels(benchmark::State &state, int64_t pixels)
{
    state.SetItemsProcessed(state.iterations() * pixels);
    state.counters["Mpix_per_s"] = benchmark::Counter((double)pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

// Baseline: copying 1920 x 1080 pixels of three bytes.
// The memcpy baseline of the same 1920 x 1080 x 3 bytes is BM_MemcpyFullHdRgb.

// Soft-edged ellipses and rounded boxes, like the shadows of pieces and windows.
static void draw_shadow_mask(Img *img)
{
    int32_t stride, w, h;
    uint8_t *p = img_pixels(img, &stride, &w, &h);
    memset(p, 0, (size_t)stride * h);
    std::mt19937 rng(1234);
    for (int s = 0; s < 24; s++) {
        double cx = rng() % w, cy = rng() % h, rx = 30 + rng() % 150, ry = 30 + rng() % 150;
        bool round_box = s % 2;
        for (int32_t y = std::max(0, (int32_t)(cy - ry - 2)); y < std::min(h, (int32_t)(cy + ry + 2)); y++)
            for (int32_t x = std::max(0, (int32_t)(cx - rx - 2)); x < std::min(w, (int32_t)(cx + rx + 2)); x++) {
                double dx = std::fabs(x - cx), dy = std::fabs(y - cy), edge;
                if (round_box) {
                    double qx = std::max(dx - rx + 20, 0.0), qy = std::max(dy - ry + 20, 0.0);
                    edge = std::hypot(qx, qy) - 20;
                } else {
                    edge = (std::hypot(dx / rx, dy / ry) - 1) * std::min(rx, ry);
                }
                double cover = std::clamp(0.5 - edge, 0.0, 1.0);  // a one-pixel soft edge
                uint8_t v = (uint8_t)(160 * cover);
                p[y * stride + x] = std::max(p[y * stride + x], v);
            }
    }
}

// Times a blur with sigma 5 of a 1920 x 1080 grey image that `fill` draws.
static void time_blur(benchmark::State &state, void (*fill)(Img *))
{
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    Img *src = img_create(1920, 1080, IMG_8BIT), *dst = img_create(1920, 1080, IMG_8BIT);
    fill(src);
    img_blur_radius(5.0);
    for (auto _ : state)
        img_blur(dst, src);
    count_pixels(state, 1920 * 1080);
    img_free(dst);
    img_free(src);
}

static void BM_BlurShadowMask(benchmark::State &state)
{
    time_blur(state, draw_shadow_mask);
}
BENCHMARK(BM_BlurShadowMask)->Unit(benchmark::kMillisecond);

// No two neighbours alike: every window holds 2n runs.
static void draw_noise(Img *img)
{
    int32_t stride, w, h;
    uint8_t *p = img_pixels(img, &stride, &w, &h);
    std::mt19937 rng(99);
    for (int32_t i = 0; i < stride * h; i++)
        p[i] = (uint8_t)rng();
}

static void BM_BlurNoise(benchmark::State &state)
{
    time_blur(state, draw_noise);
}
BENCHMARK(BM_BlurNoise)->Unit(benchmark::kMillisecond);

// A 12-megapixel picture brought down to a 1920 x 1440 table; counted in output pixels.
static void BM_ResampleFiltered(benchmark::State &state)
{
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    Picture *src = picture_create(4000, 3000, IMG_BGR), *dst = picture_create(1920, 1440, IMG_BGR);
    std::mt19937 rng(5);
    for (int32_t y = 0; y < 3000; y++)
        for (int32_t x = 0; x < 4000 * 3; x++)
            src->colour[(size_t)y * src->colour_stride + x] = (uint8_t)((x / 3 + y) / 40 * 17 + rng() % 24);
    for (auto _ : state)
        img_resample(dst, src, IMG_RESAMPLE_FILTERED);
    count_pixels(state, 1920 * 1440);
    picture_free(dst);
    picture_free(src);
}
BENCHMARK(BM_ResampleFiltered)->Unit(benchmark::kMillisecond);
