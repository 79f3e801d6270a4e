// What the box and shelf tests share: JPEG pictures and box files made byte by byte, a
// game folder with the usual sub-folders, and a child process killed at its n-th change
// to the disk.
#pragma once
#include <functional>
#include <string>

#include "rooms/box/box.h"
#include "tests/support.h"

// A JPEG file of w x h pixels whose colours depend on `seed` (img_init must have run).
std::string test_jpeg(int32_t w, int32_t h, int seed = 0);

// A BoxInfo that box_info_valid takes: a puzzle of the picture size and piece size.
BoxInfo test_box_info(int32_t w, int32_t h, int32_t piece_size);

// One record: tag, length, data.
std::string box_record(uint32_t tag, const std::string &data);
// Magic BOX1 (or `magic`), id and version 1.
std::string box_head(const ChunkId &id, uint32_t magic = CHUNK_BOX1);
// The BoxInfo as its fourteen records, in schema order.
std::string box_info_records(const BoxInfo &info);
// A whole box file: head, info, picture, then `tail` (more records).
std::string box_file(const ChunkId &id, const BoxInfo &info, const std::string &jpeg, const std::string &tail = "");
// A saved game's head and summary for the box `id`: 99 seconds played, no date,
// `progress` percent done of 48 pieces.
std::string saved_game(const ChunkId &id, int32_t progress);

// Makes "sfiles", "sfiles/temp", "sfiles/qs" and "puzzles" in the current folder.
void make_game_folders();

// The names of the files in a folder, sorted, joined by blanks ("" when none).
std::string folder_listing(const std::string &folder);

// Runs `work` in a child process and kills it (SIGKILL) just before its `n`-th system call
// that can change a file (write, rename, unlink, link, truncate, open, close, fsync, ...):
// n = 0 lets it run to its end. Returns the number of such calls the child began before
// it ended or was killed; -1 when the child could not be traced (the caller skips).
int run_killed_at(int n, const std::function<void()> &work);
