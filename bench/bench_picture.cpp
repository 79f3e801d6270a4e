// Reading a large JPEG the game's way (gformat_read, then gformat_to_img) against
// libjpeg-turbo decoding the same file alone into one buffer, in the same run.
#include <benchmark/benchmark.h>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "image/gformat.h"
#include "platform/memory.h"
#include "platform/video.h"

constexpr int JW = 4000, JH = 3000;

// A photograph-like test picture: smooth gradients with some texture, quality 90.
static const std::string &test_jpeg(void)
{
    static std::string path;
    if (!path.empty())
        return path;
    path = "/tmp/pelmora-bench-" + std::to_string(getpid()) + ".jpg";
    FILE *f = fopen(path.c_str(), "wb");
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = JW;
    c.image_height = JH;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(JW * 3);
    uint32_t noise = 1;
    for (int y = 0; y < JH; y++) {
        for (int x = 0; x < JW; x++) {
            noise = noise * 1103515245u + 12345u;
            int n = (int)(noise >> 28);
            row[x * 3] = (uint8_t)((x * 255 / JW + n) & 0xFF);
            row[x * 3 + 1] = (uint8_t)((y * 255 / JH + n) & 0xFF);
            row[x * 3 + 2] = (uint8_t)(((x + y) / 30 + n) & 0xFF);
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    fclose(f);
    atexit([] { remove(test_jpeg().c_str()); });
    return path;
}

// The library alone: the same DCT method and pixel order the game asks for.
static void BM_LibjpegDecode4000x3000(benchmark::State &state)
{
    const std::string &path = test_jpeg();
    std::vector<uint8_t> buf((size_t)JW * JH * 3);
    for (auto _ : state) {
        FILE *f = fopen(path.c_str(), "rb");
        jpeg_decompress_struct d;
        jpeg_error_mgr err;
        d.err = jpeg_std_error(&err);
        jpeg_create_decompress(&d);
        jpeg_stdio_src(&d, f);
        jpeg_read_header(&d, TRUE);
        d.out_color_space = JCS_EXT_BGR;
        d.dct_method = JDCT_FLOAT;
        jpeg_start_decompress(&d);
        while (d.output_scanline < d.output_height) {
            JSAMPROW r = buf.data() + (size_t)d.output_scanline * JW * 3;
            jpeg_read_scanlines(&d, &r, 1);
        }
        jpeg_finish_decompress(&d);
        jpeg_destroy_decompress(&d);
        fclose(f);
        benchmark::DoNotOptimize(buf.data());
    }
}
BENCHMARK(BM_LibjpegDecode4000x3000)->Unit(benchmark::kMillisecond);

static void BM_GformatReadToImg4000x3000(benchmark::State &state)
{
    const std::string &path = test_jpeg();
    io_mem_init();  // as the game runs
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    screen.bytes_per_pixel = 3;  // the game's frame buffer
    for (auto _ : state) {
        if (!gformat_read(path.c_str())) {
            state.SkipWithError("gformat_read failed");
            return;
        }
        Img *img = gformat_to_img();
        gformat_free();
        benchmark::DoNotOptimize(img);
        img_free(img);
    }
}
BENCHMARK(BM_GformatReadToImg4000x3000)->Unit(benchmark::kMillisecond);
