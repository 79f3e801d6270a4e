// The start-up record the platform layer and everything above it read: the title, the
// door's name, the inputs delivered, the frame buffer's depth, the video driver, the
// tick period and the log target; and the boxes folder start-up chose.
#pragma once
#include <cstdint>

constexpr int IO_PATH_MAX = 260;  // paths the game names, terminating zero included

// The name of the running game's door; the gift player knocks on it too.
constexpr const char *KERNEL_CLASS_NAME = "QVPELMORACLASS";

// The start-up record: cleared at process start, filled from the command line, read by
// the rest of the kernel.
struct KernelConfig {
    const char *title;       // window and message box title, "Pelmora"
    const char *class_name;  // names the door a second start knocks on
    uint32_t input_mask;     // IO_MASK_ bits of the inputs delivered
    uint32_t reserved_a, reserved_b;
    uint32_t depth;          // frame buffer bits per pixel, 24
    int32_t video_driver;    // 1 streaming texture, anything else window surface
    uint32_t reserved_c, reserved_d;
    uint32_t tick_ms;        // timer period; 0: no timer, a frame every idle turn
    int32_t debug_mode;      // log target 0 to 3
};
extern KernelConfig kernel_config;

// The puzzles folder, "puzzles" unless -path gave another (start-up sets it).
const char *kernel_puzzles_folder(void);
void kernel_set_puzzles_folder(const char *folder);
