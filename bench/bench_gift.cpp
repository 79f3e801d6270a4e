// Gifts of 20 boxes of about 1 MB each: making one (goal 0.5 s) and installing it on the
// receiver's side (goal 1 s), beside a plain stdio copy of as many bytes in the same run.
#include <benchmark/benchmark.h>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/bench_game.h"
#include "platform/config.h"
#include "platform/files.h"
#include "rooms/gift/gift.h"

namespace {

constexpr int32_t GIFT_BOXES = 20;
constexpr int32_t PHOTO_W = 2200, PHOTO_H = 1500;  // about 1 MB as a box
constexpr double MAKE_GOAL_S = 0.5, INSTALL_GOAL_S = 1.0;

char names[GIFT_BOXES][BOX_NAME_MAX + 1];
const char *name_list[GIFT_BOXES];

// The sender's boxes and the player program, in the started game's folder.
bool make_boxes(void)
{
    make_dir("puzzles");
    make_dir("sfiles");
    if (!bench_write_photo(BOX_TEMP_PICTURE, PHOTO_W, PHOTO_H) ||
        !std::filesystem::copy_file(PELMORA_LOADER_EXE, GIFT_PLAYER, std::filesystem::copy_options::overwrite_existing))
        return false;
    BoxInfo info = bench_box_info(PHOTO_W, PHOTO_H, 60);
    for (int32_t i = 0; i < GIFT_BOXES; i++) {
        snprintf(names[i], sizeof names[i], "Photo %d", i + 1);
        name_list[i] = names[i];
        ChunkId id = {{(uint32_t)i, 1, 2, CHUNK_ID_MARK}};
        if (!box_write(names[i], &id, &info))
            return false;
    }
    box_clear_temp(BOX_ALL_PARTS);
    return true;
}

// A plain copy of the file through stdio: the baseline.
double copy_seconds(const char *from, const char *to)
{
    double t = bench_seconds_now();
    FILE *in = fopen(from, "rb"), *out = fopen(to, "wb");
    static char buffer[1 << 16];
    size_t n;
    while (in && out && (n = fread(buffer, 1, sizeof buffer, in)) > 0)
        fwrite(buffer, 1, n, out);
    if (out) {
        fflush(out);
        fclose(out);
    }
    if (in)
        fclose(in);
    return bench_seconds_now() - t;
}

void BM_GiftMake20Boxes(benchmark::State &state)
{
    Game game(800, 600);
    if (!game.up || !make_boxes()) {
        state.SkipWithError("the boxes could not be made");
        return;
    }
    double best = 1e9, copy = 1e9;
    for (auto _ : state) {
        double t = bench_seconds_now();
        if (!gift_write("friend.gift", "Anna", "For you", 1, name_list, GIFT_BOXES)) {
            state.SkipWithError("the gift was not made");
            return;
        }
        best = std::min(best, bench_seconds_now() - t);
        copy = std::min(copy, copy_seconds("friend.gift", "copy.bin"));
    }
    state.counters["make_ms"] = best * 1000;
    state.counters["x_goal"] = best / MAKE_GOAL_S;
    state.counters["x_copy"] = best / copy;
    state.counters["gift_MB"] = (double)std::filesystem::file_size("friend.gift") / (1 << 20);
}
BENCHMARK(BM_GiftMake20Boxes)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_GiftInstall20Boxes(benchmark::State &state)
{
    Game game(800, 600);
    if (!game.up || !make_boxes() || !gift_write("friend.gift", "Anna", "For you", 1, name_list, GIFT_BOXES)) {
        state.SkipWithError("the gift could not be made");
        return;
    }
    // The receiver's folder beside the sender's.
    std::filesystem::create_directories("receiver/puzzles");
    std::filesystem::create_directories("receiver/sfiles");
    std::string gift = std::filesystem::absolute("friend.gift");
    std::filesystem::current_path("receiver");
    static GiftContents contents;
    static char installed[GIFT_BOXES_MAX][BOX_NAME_MAX + 1];
    double best = 1e9, copy = 1e9;
    for (auto _ : state) {
        std::filesystem::remove_all("puzzles");
        std::filesystem::create_directory("puzzles");
        double t = bench_seconds_now();
        if (!gift_read(gift.c_str(), &contents) || !gift_install(gift.c_str(), &contents, installed)) {
            state.SkipWithError(gift_reason());
            break;
        }
        best = std::min(best, bench_seconds_now() - t);
        copy = std::min(copy, copy_seconds(gift.c_str(), "copy.bin"));
    }
    std::filesystem::current_path("..");
    state.counters["install_ms"] = best * 1000;
    state.counters["x_goal"] = best / INSTALL_GOAL_S;
    state.counters["x_copy"] = best / copy;
}
BENCHMARK(BM_GiftInstall20Boxes)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
