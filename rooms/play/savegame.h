// The saved game of a box: one file per box in "sfiles/qs" holding the summary that the
// shelf and the gallery show (play time, completion date, progress, piece count) and the
// whole table. The file is a chunk file of magic QICK carrying its box's ChunkId, so a
// saved game of another box of the same name is never taken.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "chunk/chunk.h"

constexpr const char *SAVEGAME_FOLDER = "sfiles/qs";
constexpr uint32_t SAVEGAME_DATE_SIZE = 64;

// Records of a saved game after the head (magic QICK, ChunkId, version word 1).
enum : uint32_t {
    SAVEGAME_TAG_PLAY_TIME = 1,    // 4 bytes, seconds
    SAVEGAME_TAG_DATE = 2,         // 64 bytes, zero-terminated text
    SAVEGAME_TAG_PROGRESS = 3,     // 4 bytes, percent
    SAVEGAME_TAG_PIECE_COUNT = 4,  // 4 bytes
    SAVEGAME_TAG_PIECES = 100,     // 20 bytes per piece: x, y (from the table centre), lift, angle, group
    SAVEGAME_TAG_STACK = 101,      // 4 bytes per piece: indices from the bottom of the stack up
};
constexpr uint32_t SAVEGAME_PIECE_BYTES = 20;
constexpr uint32_t SAVEGAME_STACK_BYTES = 4;

// The summary of a saved game, 76 bytes.
struct GameSummary {
    int32_t play_time;                 // seconds played
    char date[SAVEGAME_DATE_SIZE];     // completion date in the user's long form; "" until finished
    int32_t progress;                  // percent, 0 .. 100
    int32_t piece_count;               // pieces of the game it belongs to
};
static_assert(sizeof(GameSummary) == 76, "the summary is 76 bytes");

// The summary's four records, in the order they are written; ends with tag 0.
extern const ChunkField savegame_schema[5];

// "sfiles/qs/NAME.qsv", taking a file whose name differs only in letter case when there
// is one. 1 when the path fits `size`.
int savegame_path(char *out, size_t size, const char *box_name);

// Opens the box's saved game and reads its summary: the file, with the stream at its end,
// when it has the magic QICK, the box's id and summary records of their sizes (the date
// then ends with a zero); else null, with *summary cleared. The caller closes it.
FILE *savegame_open(const char *box_name, const ChunkId *id, GameSummary *summary);
// Reads only the summary of the box's saved game. 1 when the file exists, has the magic
// QICK and the box's id, every summary record has its size, and the values are sane
// (progress 0 .. 100, no negative time or count); its date always ends with a zero.
// 0 otherwise, with *summary cleared to zero.
int game_summary_read(const char *box_name, const ChunkId *id, GameSummary *summary);
