// The create room on a 1920 x 1080 screen: one step of the piece-size trackbar (the grid
// made again and the desk redrawn with the picture and the cut over it) against its
// 30 ms goal, and loading a 24-megapixel photograph into the room against a plain
// full-size decode of the same file by the JPEG library, measured in the same run.
#include <benchmark/benchmark.h>
#include <cstdio>
#include <vector>

#include "bench/bench_game.h"
#include "image/gformat.h"
#include "platform/events.h"
#include "platform/memory.h"
#include "rooms/create/createroom.h"

namespace {

constexpr double STEP_GOAL_S = 0.030;
constexpr double LOAD_GOAL_RATIO = 0.5;

void BM_CreatePieceSizeStep(benchmark::State &state)
{
    Game game(1920, 1080);
    if (!game.up || !bench_write_photo("photo.jpg", 1920, 1080) || !createroom_enter(nullptr) ||
        !createroom_load_picture("photo.jpg")) {
        state.SkipWithError("the room did not take the picture");
        return;
    }
    io_post_event(IO_FRAME, 0, 0, 0);
    int32_t size = createroom.piece_min;
    int64_t steps = 0;
    double t = bench_seconds_now();
    for (auto _ : state) {
        // What the trackbar's TW_TRACK does, then the frame that shows it.
        size = size < 48 ? size + 1 : createroom.piece_min;
        createroom.info.piece_size = size;
        createroom_update_cut();
        io_post_event(IO_FRAME, 0, 0, 0);
        steps++;
    }
    double per_step = (bench_seconds_now() - t) / (double)steps;
    state.counters["step_ms"] = per_step * 1000;
    state.counters["x_goal"] = per_step / STEP_GOAL_S;
    state.counters["pieces"] = createroom.info.piece_count;
    createroom_leave();
}
BENCHMARK(BM_CreatePieceSizeStep)->Unit(benchmark::kMillisecond)->Iterations(40);

// The library's own decode of the whole picture (eighths 8): the baseline. Its buffer is
// kept and touched once before, so that page faults of a fresh 69 MB are not counted
// against it.
double library_decode_seconds(const char *path, int eighths)
{
    static std::vector<uint8_t> buf;
    if (buf.empty())
        bench_libjpeg_full_decode(path, &buf);
    double t = bench_seconds_now();
    bench_libjpeg_full_decode(path, &buf, eighths);
    return bench_seconds_now() - t;
}

void BM_CreateLoadPhoto24M(benchmark::State &state)
{
    Game game(1920, 1080);
    if (!game.up || !bench_write_photo("big.jpg", 6000, 4000) || !createroom_enter(nullptr)) {
        state.SkipWithError("the photograph could not be made");
        return;
    }
    // The floor: the library alone at the DCT scale the room picks. Every coefficient of
    // the file is entropy-decoded at any scale, so no reader of the file can go below it.
    if (!createroom_load_picture("big.jpg")) {
        state.SkipWithError("the room refused the photograph");
        return;
    }
    const int eighths = (int)(createroom.source->width * 8 / createroom.source_width);
    double room = 1e9, library = 1e9, floor = 1e9;
    for (auto _ : state) {
        library = std::min(library, library_decode_seconds("big.jpg", 8));
        floor = std::min(floor, library_decode_seconds("big.jpg", eighths));
        double t = bench_seconds_now();
        if (!createroom_load_picture("big.jpg")) {
            state.SkipWithError("the room refused the photograph");
            break;
        }
        room = std::min(room, bench_seconds_now() - t);
    }
    state.counters["load_ms"] = room * 1000;
    state.counters["decode_ms"] = library * 1000;
    state.counters["x_goal"] = room / library / LOAD_GOAL_RATIO;
    state.counters["floor_ms"] = floor * 1000;
    state.counters["x_floor"] = room / floor;
    state.counters["scale_eighths"] = eighths;
    state.counters["source_MiB"] = createroom.source
                                       ? (double)createroom.source->width * createroom.source->height * 3 / (1 << 20)
                                       : 0;
    createroom_leave();
}
BENCHMARK(BM_CreateLoadPhoto24M)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
