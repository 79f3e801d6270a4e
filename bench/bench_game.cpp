#include "bench/bench_game.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <cstdio>
#include <jpeglib.h>
#include <unistd.h>

#include "image/jpeg.h"
#include "kernel/kernel.h"
#include "platform/events.h"
#include "platform/video.h"
#include "puzzle/cut.h"

namespace {

const VideoDriver quiet_driver = {
    "Bench", nullptr, nullptr, [](int) { return 1; }, nullptr,
    [] {
        int32_t row = io_video_row_size(screen.width, 24);
        screen.buf = io_video_pixels() + (size_t)(screen.height - 1) * row;
        screen.pitch = -row;
    },
    [](const PaintList *) {}};

int32_t takes_nothing(int32_t, IoEvent *)
{
    return 0;
}

}  // namespace

void bench_kernel_start(int32_t width, int32_t height)
{
    setenv("SDL_AUDIODRIVER", "dummy", 0);  // benchmarks measure drawing, not sound
    kernel_start_embedded(&quiet_driver, width, height);
}

void bench_kernel_stop(void)
{
    kernel_enable_events(false);
    kernel_done();
    io_video_close();
}

Game::Game(int32_t width, int32_t height)
{
    char tmpl[] = "/tmp/pelmora-bench-XXXXXX";
    if (!mkdtemp(tmpl))
        return;
    dir = tmpl;
    if (chdir(dir.c_str()) != 0 || symlink(PELMORA_DATA_PCK, "data.pck") != 0)
        return;
    bench_kernel_start(width, height);
    up = true;
    IoRect all = {0, 0, width, height};
    io_post_event(IO_PAINT, (intptr_t)&all, 0, 0);
    io_post_event(IO_FRAME, 0, 0, 0);
}

Game::~Game()
{
    if (up)
        bench_kernel_stop();
    if (chdir("/tmp") == 0 && !dir.empty())
        std::system(("rm -rf " + dir).c_str());
}

int32_t start_room(const Game &game, benchmark::State &state, TwHandler handler)
{
    if (!game.up) {
        state.SkipWithError("no game");
        return -1;
    }
    int32_t room = window_register(-1, TWS_FULLSCREEN, 0, 0, 0, 0, handler ? handler : takes_nothing, nullptr);
    window_focus(room);
    return room;
}

void move_mouse(int32_t x, int32_t y, uint8_t buttons)
{
    PlatformInput in = {InputKind::MouseMove, 0, buttons, 0, x, y, 0, {}};
    io_translate_input(&in);
}

void press_mouse(int32_t x, int32_t y, uint8_t button)
{
    PlatformInput in = {InputKind::MouseDown, 0, button, 0, x, y, 0, {}};
    io_translate_input(&in);
}

double bench_seconds_now(void)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double bench_frame_memcpy_seconds(int32_t width, int32_t height)
{
    std::vector<uint8_t> a((size_t)width * height * 3, 1), b(a.size());
    double best = 1;
    for (int i = 0; i < 30; i++) {
        double t = bench_seconds_now();
        memcpy(b.data(), a.data(), a.size());
        benchmark::DoNotOptimize(b.data());
        best = std::min(best, bench_seconds_now() - t);
    }
    return best;
}

bool bench_write_photo(const char *path, int32_t width, int32_t height)
{
    Picture *p = picture_create(width, height, IMG_BGR);
    if (!p)
        return false;
    uint32_t noise = 12345;
    for (int32_t y = 0; y < height; y++)
        for (int32_t x = 0; x < width; x++) {
            noise = noise * 1103515245u + 12345u;
            int n = (int)(noise >> 28);
            uint8_t *px = p->colour + (size_t)y * p->colour_stride + (size_t)x * 3;
            px[0] = (uint8_t)(x * 255 / width + n);
            px[1] = (uint8_t)(y * 255 / height + n);
            px[2] = (uint8_t)((x + y) / 6 + n);
        }
    FILE *f = fopen(path, "wb");
    bool ok = f && jpeg_write(f, p, 90) == 0;
    if (f)
        fclose(f);
    picture_free(p);
    return ok;
}

// libjpeg-turbo alone, as an application would call it: the whole picture, the
// library's default (integer) DCT, blue-green-red rows into one buffer.
void bench_libjpeg_full_decode(const char *path, std::vector<uint8_t> *buf, int eighths)
{
    FILE *f = fopen(path, "rb");
    if (!f)
        return;
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_stdio_src(&d, f);
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_EXT_BGR;
    d.scale_num = (unsigned)eighths;
    d.scale_denom = 8;
    jpeg_start_decompress(&d);
    buf->resize((size_t)d.output_width * d.output_height * 3);
    while (d.output_scanline < d.output_height) {
        JSAMPROW r = buf->data() + (size_t)d.output_scanline * d.output_width * 3;
        jpeg_read_scanlines(&d, &r, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    fclose(f);
    benchmark::DoNotOptimize(buf->data());
}

BoxInfo bench_box_info(int32_t width, int32_t height, int32_t piece_size)
{
    BoxInfo info = {};
    info.piece_size = piece_size, info.jitter = 20, info.shape = 1;
    info.picture_width = width, info.picture_height = height;
    int32_t columns, rows, ox, oy;
    cut_grid_measure(&info, &columns, &rows, &ox, &oy);
    info.piece_count = columns * rows;
    return info;
}
