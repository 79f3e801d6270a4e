// A started game for benchmarks: kernel_init in a temporary folder with the built data
// pack and a video driver that shows nothing, the room the benchmarks work in, and
// mouse input through the kernel's translation.
#pragma once
#include <benchmark/benchmark.h>
#include <cstdint>
#include <string>
#include <vector>

#include "puzzle/boxinfo.h"
#include "ui/window.h"

// The game started in the current folder (which holds data.pck) on a w x h frame that
// goes nowhere, with events on; and torn down again.
void bench_kernel_start(int32_t width, int32_t height);
void bench_kernel_stop(void);

// Torn down (kernel_done, the folder removed) at the end of the scope.
struct Game {
    std::string dir;
    bool up = false;
    Game(int32_t width, int32_t height);
    ~Game();
};

// A full-screen room with `handler` (none: it takes nothing), focused; -1 with the run
// marked skipped when the game could not start.
int32_t start_room(const Game &game, benchmark::State &state, TwHandler handler = nullptr);

void move_mouse(int32_t x, int32_t y, uint8_t buttons = 0);
void press_mouse(int32_t x, int32_t y, uint8_t button = 1);

// The steady clock in seconds, and the fastest of a few copies of a whole w x h frame:
// the baseline frame costs are given against (counter x_memcpy).
double bench_seconds_now(void);
double bench_frame_memcpy_seconds(int32_t width, int32_t height);

// Writes a photograph-like JPEG of w x h at quality 90: gradients with a little noise per
// pixel, so it compresses (about 7 MB for 24 megapixels) and decodes like a camera's.
bool bench_write_photo(const char *path, int32_t width, int32_t height);

// libjpeg-turbo alone decoding the file into `buf` (resized to fit), the baseline the
// game's own reads are given against: the whole picture, or at a DCT scale in eighths.
void bench_libjpeg_full_decode(const char *path, std::vector<uint8_t> *buf, int eighths = 8);

// A puzzle box's information for a picture of w x h cut at `piece_size`, jitter 20,
// shape 1, no rotation, with the piece count of the cutter's grid.
BoxInfo bench_box_info(int32_t width, int32_t height, int32_t piece_size);
