// The play room on a 1920 x 1080 table: opening a box to its first full frame, for the
// first time (no cut cache, no saved game) and again (both kept), leaving (which saves
// the game), and the memory an open box holds above the idle store room. Times are given
// against their goals (counter x_goal = measured / goal: below 1 meets it).
//
// Two boxes: a 1920 x 1080 photograph cut at piece size 48, which the table must shrink
// (it is wider than the table less its margin), and a 1900 x 1000 one at piece size 43,
// about a thousand pieces that fit the table as they are. The cache keeps both cuts.
//
// Every figure is taken in a child process (this program started again with
// PELMORA_PLAYROOM_CHILD set) that sets up its allocator as the game does at start-up,
// so that what earlier benchmarks freed, and the system allocator's own habits, neither
// hide nor add page faults the game would not have. The parent reports what the child
// measured.
#include <benchmark/benchmark.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench/bench_game.h"
#include "kernel/kernel.h"
#include "platform/events.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "platform/video.h"
#include "puzzle/cut.h"
#include "puzzle/piece.h"
#include "puzzle/table.h"
#include "rooms/box/box.h"
#include "rooms/play/playroom.h"

namespace {

constexpr int32_t TABLE_W = 1920, TABLE_H = 1080;
constexpr double OPEN_GOAL_S = 1.0;          // first open: the cut made
constexpr double OPEN_CACHED_GOAL_S = 0.25;  // again: the cut from its cache
constexpr double LEAVE_GOAL_S = 0.05;
constexpr double MEMORY_GOAL_FACTOR = 3;     // x (decoded picture + frame buffer) above idle

struct BenchBox {
    const char *name;
    int32_t width, height, piece_size;
};
const BenchBox boxes[] = {
    {"Photo 1920", 1920, 1080, 48},  // shrunk to the table: 880 pieces of 44
    {"Photo 1900", 1900, 1000, 43},  // fits: 44 x 23 = 1012 pieces
};

const char *const CHILD_ENV = "PELMORA_PLAYROOM_CHILD";
const char *const CHILD_RESULT = "playroom-result.txt";

// What the child does.
enum ChildTask { FIRST_OPEN, OPEN_AGAIN, LEAVE, MEMORY };

typedef std::vector<std::pair<std::string, double>> Results;

double result(const Results &r, const char *key)
{
    for (auto &kv : r)
        if (kv.first == key)
            return kv.second;
    return 0;
}

// --- the box ---

// Writes the box into the boxes folder of the working folder (a started game's).
bool write_box(const BenchBox &b)
{
    make_dir("puzzles");
    make_dir("sfiles");
    if (!bench_write_photo(BOX_TEMP_PICTURE, b.width, b.height))
        return false;
    BoxInfo info = bench_box_info(b.width, b.height, b.piece_size);
    ChunkId id = {{(uint32_t)b.width, (uint32_t)b.piece_size, 7, CHUNK_ID_MARK}};
    bool ok = box_write(b.name, &id, &info);
    box_clear_temp(BOX_ALL_PARTS);
    return ok;
}

// The game folder of a box for the whole run: the data pack, the box, and its preview
// made by a first start, so a child starts as a later start of the game does. Empty
// when it could not be made.
const std::string &box_game_folder(int which)
{
    static std::string folders[2];
    std::string &folder = folders[which];
    if (!folder.empty())
        return folder;
    std::string made;
    {
        Game game(TABLE_W, TABLE_H);
        if (!game.up || !write_box(boxes[which]))
            return folder;
        kernel_enable_events(false);
        kernel_done();
        kernel_init();  // the shelf finds the box and caches its preview
        kernel_enable_events(true);
        char tmpl[] = "/tmp/pelmora-bench-playroom-XXXXXX";
        if (!mkdtemp(tmpl))
            return folder;
        made = tmpl;
        if (std::system(("cp -a '" + game.dir + "/.' '" + made + "/'").c_str()) != 0)
            return folder;
    }
    folder = made;
    static bool cleanup = false;
    if (!cleanup) {
        cleanup = true;
        atexit([] {
            for (const std::string &f : folders)
                if (!f.empty())
                    std::system(("rm -rf '" + f + "'").c_str());
        });
    }
    return folder;
}

std::string cut_cache_path(const BenchBox &b)
{
    return std::string("sfiles/temp/") + b.name + ".tmp";
}

std::string saved_game_path(const BenchBox &b)
{
    return std::string(SAVEGAME_FOLDER) + "/" + b.name + ".qsv";
}

// --- the child ---

void full_frame(void)
{
    IoRect all = {0, 0, screen.width, screen.height};
    io_post_event(IO_PAINT, (intptr_t)&all, 0, 0);
    io_post_event(IO_FRAME, 0, 0, 0);
}

// Opens the box and draws the first frame of the table; seconds of the open alone and of
// the frame alone, or false when the box did not open.
bool open_and_draw(const BenchBox &b, double *open_s, double *frame_s)
{
    double t0 = bench_seconds_now();
    int32_t ok = playroom_open(b.name);
    double t1 = bench_seconds_now();
    full_frame();
    double t2 = bench_seconds_now();
    *open_s = t1 - t0;
    *frame_s = t2 - t1;
    return ok && playroom.loaded;
}

double resident_bytes(void)
{
    long pages = 0, resident = 0;
    FILE *f = fopen("/proc/self/statm", "r");
    if (f) {
        if (fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        fclose(f);
    }
    return (double)resident * (double)sysconf(_SC_PAGESIZE);
}

// Bytes the allocator has handed out and not had back: the heap's and the mapped blocks'.
double heap_bytes(void)
{
    struct mallinfo2 m = mallinfo2();
    return (double)m.uordblks + (double)m.hblkhd;
}

double block_bytes(void *block)
{
    return (double)io_mem_size(block);
}

int32_t blocks_held(void)
{
    return mem_counters.ngetmem - mem_counters.nfreemem;
}

// With the box open and its first frame drawn: resident memory, the allocator's bytes in
// use and the counted blocks above idle, and what the cut's and the table's records hold.
void measure_memory(const BenchBox &b, Results &out)
{
    double rss_idle = resident_bytes(), heap_idle = heap_bytes();
    int32_t blocks_idle = blocks_held();
    double open_s, frame_s;
    bool ok = open_and_draw(b, &open_s, &frame_s);
    full_frame();
    out.push_back({"ok", ok ? 1 : 0});
    out.push_back({"rss", resident_bytes() - rss_idle});
    out.push_back({"heap", heap_bytes() - heap_idle});
    out.push_back({"blocks", blocks_held() - blocks_idle});
    out.push_back({"shapes", cut_result.shape_count});
    double relief = 0, shadow = 0, runs = 0;
    for (int32_t i = 0; i < cut_result.shape_count; i++) {
        relief += block_bytes(cut_result.shapes[i].relief);
        shadow += block_bytes(cut_result.shapes[i].shadow);
        runs += block_bytes(cut_result.shapes[i].runs);
    }
    out.push_back({"picture", block_bytes(piece_scene.picture)});
    out.push_back({"relief", relief});
    out.push_back({"shadow", shadow});
    out.push_back({"runs", runs});
    out.push_back(
        {"pieces", block_bytes(cut_result.pieces) + block_bytes(cut_result.shapes) + block_bytes(table.pieces)});
    playroom_leave();
    full_frame();
    out.push_back({"heap_left", heap_bytes() - heap_idle});
    out.push_back({"blocks_left", blocks_held() - blocks_idle});
}

// The child's one run: the game started in the working folder as the game starts (its
// allocator set up first) and idle in the store room, then the task; "key value" lines
// to CHILD_RESULT for the parent.
void child_run(benchmark::State &state)
{
    int task = 0, which = 0, count = 0;
    if (sscanf(getenv(CHILD_ENV), "%d %d %d", &task, &which, &count) != 3 || which < 0 || which > 1) {
        state.SkipWithError("bad task");
        return;
    }
    const BenchBox &b = boxes[which];
    Results out;
    for (auto _ : state) {
        io_mem_init();
        bench_kernel_start(TABLE_W, TABLE_H);
        full_frame();
        full_frame();
        file_delete(cut_cache_path(b).c_str());
        file_delete(saved_game_path(b).c_str());
        double open_s, frame_s;
        bool ok = true;
        if (task == MEMORY) {
            measure_memory(b, out);
        } else {
            if (task == OPEN_AGAIN) {  // the first open leaves the cache and the saved game behind
                ok = open_and_draw(b, &open_s, &frame_s);
                playroom_leave();
            }
            for (int i = 0; i < count && ok; i++) {
                if (task == FIRST_OPEN) {
                    file_delete(cut_cache_path(b).c_str());
                    file_delete(saved_game_path(b).c_str());
                }
                ok = open_and_draw(b, &open_s, &frame_s);
                out.push_back({"pieces", table.count});
                if (task == LEAVE) {
                    double t = bench_seconds_now();
                    playroom_leave();
                    out.push_back({"leave", bench_seconds_now() - t});
                } else {
                    out.push_back({"open", open_s});
                    out.push_back({"frame", frame_s});
                    playroom_leave();
                }
            }
            out.push_back({"ok", ok ? 1 : 0});
        }
        bench_kernel_stop();
    }
    FILE *f = fopen(CHILD_RESULT, "w");
    if (f) {
        for (auto &kv : out)
            fprintf(f, "%s %.9g\n", kv.first.c_str(), kv.second);
        fclose(f);
    }
}

[[maybe_unused]] const bool child_registered = [] {
    if (getenv(CHILD_ENV))
        benchmark::RegisterBenchmark("PlayRoomChild", child_run)->Iterations(1);
    return true;
}();

// Runs the task in a child in the box's game folder; its results, or none (the run
// marked skipped) when it failed.
Results run_child(benchmark::State &state, ChildTask task, int which, int64_t count)
{
    Results got;
    const std::string &dir = box_game_folder(which);
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (dir.empty() || n <= 0) {
        state.SkipWithError("the box's game could not be made");
        return got;
    }
    exe[n] = 0;
    char env[64];
    snprintf(env, sizeof env, "%d %d %lld", (int)task, which, (long long)count);
    std::string command = "cd '" + dir + "' && rm -f " + CHILD_RESULT + " && " + CHILD_ENV + "='" + env +
                          "' SDL_AUDIODRIVER=dummy '" + exe + "' --benchmark_filter=^PlayRoomChild >/dev/null 2>&1";
    FILE *f = std::system(command.c_str()) == 0 ? fopen((dir + "/" + CHILD_RESULT).c_str(), "r") : nullptr;
    char key[64];
    double value;
    while (f && fscanf(f, "%63s %lf", key, &value) == 2)
        got.push_back({key, value});
    if (f)
        fclose(f);
    if (result(got, "ok") != 1) {
        state.SkipWithError("the box did not open in the child");
        got.clear();
    }
    return got;
}

std::string box_label(const BenchBox &b)
{
    return std::to_string(b.width) + "x" + std::to_string(b.height) + " size " + std::to_string(b.piece_size);
}

// --- the benchmarks ---

// From the start of playroom_open to the end of the first full frame of the table.
// Range 0: which box; range 1: 0 for the first open (the cut cache and the saved game
// deleted before each), 1 for opening again (both kept from the previous leave).
void BM_PlayRoomOpen(benchmark::State &state)
{
    const BenchBox &b = boxes[state.range(0)];
    bool again = state.range(1) != 0;
    Results r = run_child(state, again ? OPEN_AGAIN : FIRST_OPEN, (int)state.range(0), state.max_iterations);
    std::vector<double> open, frame;
    for (auto &kv : r) {
        if (kv.first == "open")
            open.push_back(kv.second);
        else if (kv.first == "frame")
            frame.push_back(kv.second);
    }
    if (r.empty() || open.size() != (size_t)state.max_iterations) {
        if (!r.empty())
            state.SkipWithError("the child measured too few opens");
        return;
    }
    size_t i = 0;
    double sum_open = 0, sum_frame = 0, best = 1e9;
    for (auto _ : state) {
        state.SetIterationTime(open[i] + frame[i]);
        sum_open += open[i];
        sum_frame += frame[i];
        best = std::min(best, open[i] + frame[i]);
        i++;
    }
    double n = (double)i, mean = (sum_open + sum_frame) / n;
    state.counters["pieces"] = result(r, "pieces");
    state.counters["open_ms"] = sum_open / n * 1e3;
    state.counters["frame_ms"] = sum_frame / n * 1e3;
    state.counters["best_ms"] = best * 1e3;
    state.counters["x_goal"] = mean / (again ? OPEN_CACHED_GOAL_S : OPEN_GOAL_S);
    state.SetLabel(box_label(b) + (again ? ", cut cache and saved game kept" : ", first open"));
}
BENCHMARK(BM_PlayRoomOpen)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"box", "again"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(6);

// Leaving a game of the box after its first frame: turns finished, the game saved, the
// pieces, shapes and pictures given back.
void BM_PlayRoomLeave(benchmark::State &state)
{
    const BenchBox &b = boxes[state.range(0)];
    Results r = run_child(state, LEAVE, (int)state.range(0), state.max_iterations);
    std::vector<double> leave;
    for (auto &kv : r)
        if (kv.first == "leave")
            leave.push_back(kv.second);
    if (r.empty() || leave.size() != (size_t)state.max_iterations) {
        if (!r.empty())
            state.SkipWithError("the child measured too few leaves");
        return;
    }
    size_t i = 0;
    double sum = 0, best = 1e9;
    for (auto _ : state) {
        state.SetIterationTime(leave[i]);
        sum += leave[i];
        best = std::min(best, leave[i]);
        i++;
    }
    state.counters["best_ms"] = best * 1e3;
    state.counters["x_goal"] = sum / (double)i / LEAVE_GOAL_S;
    state.SetLabel(box_label(b) + ", " + std::to_string((int)result(r, "pieces")) + " pieces saved");
}
BENCHMARK(BM_PlayRoomLeave)->Arg(0)->Arg(1)->ArgName("box")->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(8);

// Memory above the idle store room with the box open (first open) and its first frame
// drawn: resident memory and the allocator's bytes in use, with what the cut's and the
// table's records hold, against 3 x (decoded picture + frame buffer). Counters in MiB;
// x_goal takes the larger of resident and heap.
void BM_PlayRoomMemory(benchmark::State &state)
{
    const BenchBox &b = boxes[state.range(0)];
    Results r;
    for (auto _ : state)
        r = run_child(state, MEMORY, (int)state.range(0), 1);
    if (r.empty())
        return;
    const double MiB = 1 << 20;
    double picture_bytes = (double)b.width * b.height * 3;
    double frame_bytes = (double)io_video_row_size(TABLE_W, 24) * TABLE_H;
    double goal = MEMORY_GOAL_FACTOR * (picture_bytes + frame_bytes);
    double rss = result(r, "rss"), heap = result(r, "heap");
    // The backdrop is held by the room's own file only, so it is known by its size: a
    // screen-sized image.
    double backdrop = IMG_HEADER_SIZE + (double)TABLE_W * TABLE_H * 3;
    double known = result(r, "picture") + result(r, "relief") + result(r, "shadow") + result(r, "runs") +
                   result(r, "pieces") + backdrop;
    auto &c = state.counters;
    c["rss_MiB"] = rss / MiB;
    c["heap_MiB"] = heap / MiB;
    c["goal_MiB"] = goal / MiB;
    c["x_goal"] = std::max(rss, heap) / goal;
    c["picture_MiB"] = result(r, "picture") / MiB;
    c["backdrop_MiB"] = backdrop / MiB;
    c["relief_MiB"] = result(r, "relief") / MiB;
    c["shadow_MiB"] = result(r, "shadow") / MiB;
    c["runs_MiB"] = result(r, "runs") / MiB;
    c["pieces_MiB"] = result(r, "pieces") / MiB;
    c["rest_MiB"] = (heap - known) / MiB;  // the table's layer, the thumbnail, small records
    c["shapes"] = result(r, "shapes");
    c["blocks"] = result(r, "blocks");
    c["left_heap_MiB"] = result(r, "heap_left") / MiB;  // after leaving, above idle
    c["left_blocks"] = result(r, "blocks_left");
    state.SetLabel(box_label(b));
}
BENCHMARK(BM_PlayRoomMemory)->Arg(0)->Arg(1)->ArgName("box")->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
