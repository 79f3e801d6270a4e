// Pixel primitives against memcpy of the same bytes, measured in the same run.
#include <benchmark/benchmark.h>
#include <cstring>
#include <random>

#include "image/img.h"
#include "platform/memory.h"

constexpr int W = 1920, H = 1080;

static void BM_MemcpyFullHdRgb(benchmark::State &state)
{
    size_t n = (size_t)W * H * 3;
    std::vector<uint8_t> a(n, 1), b(n);
    for (auto _ : state) {
        memcpy(b.data(), a.data(), n);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)n);
}
BENCHMARK(BM_MemcpyFullHdRgb);

// Times img_blit of the whole source onto the whole destination; frees both.
static void time_blit(benchmark::State &state, Img *dst, Img *src)
{
    ImgView d, s;
    img_view(&d, dst, 0, 0);
    img_view(&s, src, 0, 0);
    for (auto _ : state) {
        img_blit(&d, &s);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed((int64_t)state.iterations() * W * H * 3);
    img_free(src);
    img_free(dst);
}

static void BM_OpaqueBlitFullHd(benchmark::State &state)
{
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    Img *src = img_create(W, H, IMG_BGR), *dst = img_create(W, H, IMG_BGR);
    img_fill(src, 7);
    time_blit(state, dst, src);
}
BENCHMARK(BM_OpaqueBlitFullHd);

// A picture that is 90 % opaque: soft-edged artwork over the frame buffer.
static void BM_BlendFullHd90PercentOpaque(benchmark::State &state)
{
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    Img *src = img_create(W, H, IMG_BGRA), *dst = img_create(W, H, IMG_BGR);
    ImgView s;
    img_view(&s, src, 0, 0);
    std::mt19937 rng(5);
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            // Transparent or soft areas come in runs, as edges of shapes do.
            uint8_t a = (x % 200) < 180 ? 255 : (uint8_t)(rng() & 0xFF);
            s.second[(size_t)y * W + x] = a;
            for (int k = 0; k < 3; k++)
                s.colour[(size_t)y * W * 3 + x * 3 + k] = (uint8_t)(a / 2);
        }
    img_fill(dst, 100);
    time_blit(state, dst, src);
}
BENCHMARK(BM_BlendFullHd90PercentOpaque);
