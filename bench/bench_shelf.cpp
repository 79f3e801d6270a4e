// Loading the shelf of 200 boxes in a started game: with every preview cached (the
// usual start-up, which must leave the store room well within its second) and with no
// preview at all (the first start after an upgrade: every picture decoded and scaled),
// against reading the same box files whole as a baseline measured in the same run. Then
// the store room on that shelf: the whole start-up to its first frame, and a frame while
// a box is dragged, against a copy of the whole frame.
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench/bench_game.h"
#include "image/jpeg.h"
#include "kernel/kernel.h"
#include "platform/events.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "platform/video.h"
#include "rooms/box/shelf.h"

namespace {

constexpr int SHELF_BOXES = 200;
constexpr int32_t BOX_W = 800, BOX_H = 600;  // a picture as the create room makes them

// A photograph-like picture: gradients with a little noise, so it compresses like one.
void write_picture(const char *path, int seed)
{
    Picture *p = picture_create(BOX_W, BOX_H, IMG_BGR);
    uint32_t noise = (uint32_t)seed * 2654435761u + 1;
    for (int32_t y = 0; y < BOX_H; y++)
        for (int32_t x = 0; x < BOX_W; x++) {
            noise = noise * 1103515245u + 12345u;
            int n = (int)(noise >> 28);
            uint8_t *px = p->colour + y * p->colour_stride + x * 3;
            px[0] = (uint8_t)(x * 255 / BOX_W + n + seed);
            px[1] = (uint8_t)(y * 255 / BOX_H + n);
            px[2] = (uint8_t)((x + y) / 6 + n + seed * 3);
        }
    FILE *f = fopen(path, "wb");
    if (f) {
        jpeg_write(f, p, 80);
        fclose(f);
    }
    picture_free(p);
}

// The 200 box files, written once for the whole run into a folder of their own.
const std::string &box_folder()
{
    static std::string folder;
    if (!folder.empty())
        return folder;
    char tmpl[] = "/tmp/pelmora-bench-boxes-XXXXXX";
    char old[4096];
    if (!mkdtemp(tmpl) || !getcwd(old, sizeof old) || chdir(tmpl) != 0)
        return folder;
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    make_dir("puzzles");
    make_dir("sfiles");
    BoxInfo info = bench_box_info(BOX_W, BOX_H, 40);
    bool ok = true;
    for (int i = 0; i < SHELF_BOXES && ok; i++) {
        write_picture(BOX_TEMP_PICTURE, i);
        ChunkId id = {{(uint32_t)i, 1, 2, CHUNK_ID_MARK}};
        char name[32];
        snprintf(name, sizeof name, "Box %03d", i);
        ok = box_write(name, &id, &info);
    }
    box_clear_temp(BOX_ALL_PARTS);
    if (chdir(old) == 0 && ok) {
        folder = std::string(tmpl) + "/puzzles";
        atexit([] { std::system(("rm -rf '" + box_folder().substr(0, box_folder().size() - 8) + "'").c_str()); });
    }
    return folder;
}

// A started game whose boxes folder is the 200 boxes; torn down at the end of the scope.
struct ShelfGame {
    std::string dir;
    bool up = false;
    explicit ShelfGame(int32_t width = 1024, int32_t height = 768)
    {
        const std::string &boxes = box_folder();
        char tmpl[] = "/tmp/pelmora-bench-shelf-XXXXXX";
        if (boxes.empty() || !mkdtemp(tmpl))
            return;
        dir = tmpl;
        if (chdir(dir.c_str()) != 0 || symlink(PELMORA_DATA_PCK, "data.pck") != 0 ||
            symlink(boxes.c_str(), "puzzles") != 0)
            return;
        bench_kernel_start(width, height);
        up = true;
    }
    // Marks the run skipped when the game could not start.
    bool ready(benchmark::State &state) const
    {
        if (!up)
            state.SkipWithError("the game did not start");
        return up;
    }
    ~ShelfGame()
    {
        shelf_free();
        if (up)
            bench_kernel_stop();
        if (chdir("/tmp") == 0 && !dir.empty())
            std::system(("rm -rf '" + dir + "'").c_str());
    }
};

void delete_previews()
{
    for (int i = 0; i < SHELF_BOXES; i++) {
        char path[64];
        snprintf(path, sizeof path, "sfiles/temp/Box %03d.prw", i);
        file_delete(path);
    }
}

// The baseline: every byte of the 200 box files read into memory.
void BM_ReadTheBoxFiles200(benchmark::State &state)
{
    ShelfGame game;
    if (!game.ready(state))
        return;
    std::vector<char> buffer(1 << 16);
    int64_t bytes = 0;
    for (auto _ : state) {
        for (int i = 0; i < SHELF_BOXES; i++) {
            char path[64];
            snprintf(path, sizeof path, "puzzles/Box %03d.pzl", i);
            FILE *f = fopen(path, "rb");
            size_t n;
            while (f && (n = fread(buffer.data(), 1, buffer.size(), f)) > 0)
                bytes += (int64_t)n;
            if (f)
                fclose(f);
        }
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_ReadTheBoxFiles200)->Unit(benchmark::kMillisecond);

// The shelf at start-up: every preview cached.
void BM_ShelfLoad200Cached(benchmark::State &state)
{
    ShelfGame game;
    if (!game.ready(state))
        return;
    shelf_load();  // builds the previews once
    shelf_free();
    for (auto _ : state) {
        shelf_load();
        if (shelf.count != SHELF_BOXES)
            state.SkipWithError("a box did not load");
        state.PauseTiming();
        shelf_free();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ShelfLoad200Cached)->Unit(benchmark::kMillisecond);

// The shelf with no preview: every picture decoded, scaled and its preview saved.
void BM_ShelfLoad200NoPreviews(benchmark::State &state)
{
    ShelfGame game;
    if (!game.ready(state))
        return;
    for (auto _ : state) {
        state.PauseTiming();
        delete_previews();
        state.ResumeTiming();
        shelf_load();
        if (shelf.count != SHELF_BOXES)
            state.SkipWithError("a box did not load");
        state.PauseTiming();
        shelf_free();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ShelfLoad200NoPreviews)->Unit(benchmark::kMillisecond)->Iterations(3);

// Saving the shelf when the store room closes: both settings sections rewritten.
void BM_ShelfSave200(benchmark::State &state)
{
    ShelfGame game;
    if (!game.ready(state))
        return;
    for (auto _ : state) {
        state.PauseTiming();
        shelf_load();
        state.ResumeTiming();
        shelf_save();
    }
}
BENCHMARK(BM_ShelfSave200)->Unit(benchmark::kMillisecond)->Iterations(3);

// Start-up to a store room that takes input: the whole kernel_init with its 200 boxes
// and the first frame drawn, with the previews cached (range 1) or not (range 0).
void BM_StoreRoomStart200(benchmark::State &state)
{
    ShelfGame game;
    if (!game.ready(state))
        return;
    for (auto _ : state) {
        state.PauseTiming();
        kernel_enable_events(false);
        kernel_done();
        if (!state.range(0))
            delete_previews();
        state.ResumeTiming();
        kernel_init();
        kernel_enable_events(true);
        IoRect all = {0, 0, screen.width, screen.height};
        io_post_event(IO_PAINT, (intptr_t)&all, 0, 0);
        io_post_event(IO_FRAME, 0, 0, 0);
        if (shelf.count != SHELF_BOXES)
            state.SkipWithError("a box did not load");
    }
}
BENCHMARK(BM_StoreRoomStart200)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(3);

// A frame while the topmost of 200 boxes is dragged to and fro on a 1920 x 1080 table,
// in copies of the whole frame.
void BM_StoreRoomDragOneBox200(benchmark::State &state)
{
    ShelfGame game(1920, 1080);
    if (!game.up || !shelf.head) {
        state.SkipWithError("the game did not start");
        return;
    }
    IoRect all = {0, 0, screen.width, screen.height};
    io_post_event(IO_PAINT, (intptr_t)&all, 0, 0);
    io_post_event(IO_FRAME, 0, 0, 0);
    // The box lies in the middle, away from the panels, so the frames show only the drag.
    const ShelfBox *box = shelf.head;
    shelf.head->x = 900;
    shelf.head->y = 500;
    io_post_event(IO_FRAME, 0, 0, 0);
    int32_t x = box->x + box->preview_width / 2, y = box->y + box->preview_height / 2;
    move_mouse(x, y);
    press_mouse(x, y);
    double memcpy_s = bench_frame_memcpy_seconds(screen.width, screen.height);
    int32_t dx = 6, travelled = 0;
    int64_t frames = 0;
    double t = bench_seconds_now();
    for (auto _ : state) {
        if (travelled > 300 || travelled < 0)
            dx = -dx;
        travelled += dx;
        x += dx;
        move_mouse(x, y + ((travelled & 8) ? 1 : -1), 1);
        io_post_event(IO_FRAME, 0, 0, 0);
        frames++;
    }
    state.counters["x_memcpy"] = (bench_seconds_now() - t) / (double)frames / memcpy_s;
    if (!box->dragging)
        state.SkipWithError("the box was not dragged");
}
BENCHMARK(BM_StoreRoomDragOneBox200);

}  // namespace
