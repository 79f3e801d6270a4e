// Test helpers: temporary folders, words on disk, images and a video driver for tests,
// and the game run as a child process (headless, with its own door so tests never meet
// a running game or each other).
#pragma once
#include <gtest/gtest.h>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "image/img.h"
#include "platform/memory.h"
#include "platform/video.h"

// A fresh folder under /tmp, removed with everything in it at the end of the scope.
struct TempDir {
    std::string path;
    TempDir();
    ~TempDir();
    std::string file(const std::string &name) const { return path + "/" + name; }
};

// Works in `path` until the end of the scope.
struct InDir {
    std::filesystem::path old = std::filesystem::current_path();
    explicit InDir(const std::string &path) { std::filesystem::current_path(path); }
    ~InDir() { std::error_code ec; std::filesystem::current_path(old, ec); }
};

std::string read_file(const std::string &path);
inline bool exists(const std::string &path) { return std::filesystem::exists(path); }
void write_file(const std::string &path, const std::string &text);

// Four bytes, least significant first, as the game's files store their words.
inline std::string le32(uint32_t v) { return {(char)v, (char)(v >> 8), (char)(v >> 16), (char)(v >> 24)}; }

// Blocks of counted memory given out and not yet given back.
inline int32_t blocks_held() { return mem_counters.ngetmem - mem_counters.nfreemem; }

// An image from counted memory (img_init must have run), freed at the end of the scope,
// with a view of all of it; a `fill` of 0..255 sets every colour byte.
struct TestImage {
    Img *img;
    ImgView v;
    TestImage(int32_t w, int32_t h, uint32_t format, int fill = -1);
    ~TestImage() { img_free(img); }
    uint8_t *at(int32_t x, int32_t y) const { return v.colour + y * v.colour_stride + x * (int32_t)(v.format & 15); }
    std::vector<uint8_t> bytes() const { return {v.colour, v.colour + v.colour_stride * v.height}; }
};

// A driver over the kernel's own bottom-up buffer that shows nothing; it counts the
// frames presented with rectangles and without.
extern const VideoDriver test_video_driver;
extern int presents_with_rects, presents_empty;

// A socket tag no other test uses; the game and tools take it from PELMORA_SOCKET_TAG.
std::string unique_socket_tag();

struct ChildOptions {
    std::string cwd = {};         // the folder the child starts in
    std::string socket_tag = {};  // PELMORA_SOCKET_TAG; empty: a unique one
    bool with_pack = true;        // links the built data.pck into the folder when it has none
};

// Starts `exe` with `args`; stdout and stderr go to "stdout.txt" and "stderr.txt" in the
// child's folder. Returns the pid.
int spawn_child(const std::string &exe, const std::vector<std::string> &args, const ChildOptions &opt);

// Waits for the child; returns its exit code, 128 + signal when killed by one, or -1
// when it had not ended after `timeout_ms` (it is then killed).
int wait_child(int pid, int timeout_ms);

// Runs the game to its end: spawn_child + wait_child.
int run_game(const std::vector<std::string> &args, const ChildOptions &opt, int timeout_ms = 20000);

// Polls until `path` exists and contains `text` (or just exists for empty text).
bool wait_for_text(const std::string &path, const std::string &text, int timeout_ms);
