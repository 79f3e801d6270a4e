// A 24-megapixel camera picture read for the create room's desk (gformat_read_fit into
// 1900 x 1000) against libjpeg-turbo decoding the same file whole with its defaults, in
// the same run. Counters: x_full_decode, the fitted read's time over the full decode's;
// x_whole_read, over the game's own full-size read (gformat_read); x_full_memory, the
// fitted picture's bytes over the whole picture's; the times of one read each in ms.
#include <benchmark/benchmark.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <jpeglib.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench/bench_game.h"
#include "image/gformat.h"
#include "platform/memory.h"

constexpr int PW = 6000, PH = 4000;
constexpr int FIT_W = 1900, FIT_H = 1000;

// Value noise: a grid of random levels every `cell` pixels, blended between them.
struct Noise {
    int cell, cols;
    std::vector<int> grid;
    Noise(int c, uint32_t seed) : cell(c), cols(PW / c + 2)
    {
        grid.resize((size_t)cols * (PH / c + 2));
        for (int &g : grid)
            g = (int)((seed = seed * 1103515245u + 12345u) >> 24);
    }
    int at(int x, int y) const
    {
        int gx = x / cell, gy = y / cell, fx = x % cell, fy = y % cell;
        const int *r0 = &grid[(size_t)gy * cols + gx], *r1 = r0 + cols;
        int top = r0[0] * (cell - fx) + r0[1] * fx, bottom = r1[0] * (cell - fx) + r1[1] * fx;
        return (top * (cell - fy) + bottom * fy) / (cell * cell);
    }
};

// Something like a landscape photograph: a graded sky over a wavy horizon, ground with
// texture at several scales, a few dark round shapes, and sensor noise; quality 90.
static const std::string &photo_jpeg(void)
{
    static std::string path;
    if (!path.empty())
        return path;
    path = "/tmp/pelmora-bench-photo-" + std::to_string(getpid()) + ".jpg";
    Noise coarse(256, 7), middle(48, 11), fine(6, 13);
    FILE *f = fopen(path.c_str(), "wb");
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = PW;
    c.image_height = PH;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row((size_t)PW * 3);
    uint32_t grain = 1;
    for (int y = 0; y < PH; y++) {
        for (int x = 0; x < PW; x++) {
            double horizon = PH * 0.45 + 200 * std::sin(x / 700.0) + 60 * std::sin(x / 130.0);
            int r, g, b;
            if (y < horizon) {
                int t = y * 255 / PH;
                r = 90 + t / 2 + coarse.at(x, y) / 16, g = 140 + t / 3 + coarse.at(x, y) / 16, b = 230 - t / 4;
            } else {
                int tex = coarse.at(x, y) / 3 + middle.at(x, y) / 4 + fine.at(x, y) / 6;
                r = 50 + tex / 2, g = 80 + tex / 2, b = 30 + tex / 4;
                int dx = x % 900 - 450, dy = y - (int)horizon - 300;
                if (dx * dx + dy * dy < 160 * 160)
                    r /= 2, g = g * 2 / 3, b /= 2;  // a tree
            }
            grain = grain * 1103515245u + 12345u;
            int n = (int)(grain >> 29) - 4;
            row[(size_t)x * 3] = (uint8_t)std::clamp(r + n, 0, 255);
            row[(size_t)x * 3 + 1] = (uint8_t)std::clamp(g + n, 0, 255);
            row[(size_t)x * 3 + 2] = (uint8_t)std::clamp(b + n, 0, 255);
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    fclose(f);
    atexit([] { remove(photo_jpeg().c_str()); });
    return path;
}

// Thread CPU time, so other programs on a busy machine do not tilt the ratio.
static double thread_seconds(void)
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return (double)ts.tv_sec + ts.tv_nsec / 1e9;
}

// The create room's way; the picture's size, 0 x 0 when the read failed.
static void fit_read(const std::string &path, int32_t *w, int32_t *h)
{
    int32_t fw, fh;
    *w = *h = 0;
    if (gformat_read_fit(path.c_str(), FIT_W, FIT_H, &fw, &fh))
        gformat_size(w, h);
    gformat_free();
}

// The game's full-size read (gformat_read), as the create room used it before.
static void whole_read(const std::string &path)
{
    if (gformat_read(path.c_str()))
        gformat_free();
}

static void BM_LibjpegFullDecode6000x4000(benchmark::State &state)
{
    const std::string &path = photo_jpeg();
    io_mem_init();  // the same allocator settings as the fitted read runs with
    std::vector<uint8_t> buf;
    for (auto _ : state)
        bench_libjpeg_full_decode(path.c_str(), &buf);
}
BENCHMARK(BM_LibjpegFullDecode6000x4000)->Unit(benchmark::kMillisecond);

static void BM_GformatReadFit6000x4000For1900x1000(benchmark::State &state)
{
    const std::string &path = photo_jpeg();
    io_mem_init();  // as the game runs
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    int32_t w = 0, h = 0;
    for (auto _ : state)
        fit_read(path, &w, &h);
    if (w < FIT_W * 3 / 4 || h < FIT_H) {
        state.SkipWithError("gformat_read_fit did not give a picture covering the fit");
        return;
    }
    // The baseline in the same run, taken in turns with the fitted read.
    std::vector<uint8_t> buf;
    double t_fit = 0, t_full = 0, t_whole = 0;
    int rounds = (int)std::min<int64_t>(state.iterations(), 10) + 2;
    for (int i = 0; i < rounds; i++) {
        double t0 = thread_seconds();
        fit_read(path, &w, &h);
        double t1 = thread_seconds();
        bench_libjpeg_full_decode(path.c_str(), &buf);
        double t2 = thread_seconds();
        whole_read(path);
        t_fit += t1 - t0;
        t_full += t2 - t1;
        t_whole += thread_seconds() - t2;
    }
    state.counters["x_full_decode"] = t_full > 0 ? t_fit / t_full : 0;
    state.counters["x_whole_read"] = t_whole > 0 ? t_fit / t_whole : 0;
    state.counters["whole_ms"] = t_whole * 1000 / rounds;
    state.counters["x_full_memory"] = (double)w * h / ((double)PW * PH);
    FILE *f = fopen(path.c_str(), "rb");
    fseek(f, 0, SEEK_END);
    state.counters["file_bits_per_pixel"] = ftell(f) * 8.0 / ((double)PW * PH);
    fclose(f);
    state.counters["fit_ms"] = t_fit * 1000 / rounds;
    state.counters["full_ms"] = t_full * 1000 / rounds;
    state.counters["width"] = w;
    state.counters["height"] = h;
}
BENCHMARK(BM_GformatReadFit6000x4000For1900x1000)->Unit(benchmark::kMillisecond);
