// The whole table in the saved game: every piece's place, lift, angle and group, and the
// stacking order, beside the summary. Positions are kept relative to the table's centre,
// so a game saved at one screen size opens centred at another.
#pragma once
#include "rooms/play/savegame.h"

// Writes the box's saved game from the table and `summary` (whose piece count becomes
// the table's). The file is written beside the old one and moved over it only when
// complete, so a failed save (a full disk) keeps the previous saved game. 1 on success.
// A table in motion is saved at rest: running turns finished, pieces spreading at their
// places, held pieces lying where they are.
int game_save(const char *box_name, const ChunkId *id, GameSummary *summary);

// The bytes of the saved game of the table and `summary` as game_save writes them,
// magic included, for a table of `count` pieces: its size, where the table's records
// begin, and the bytes themselves into `out` (game_bytes_size bytes; summary's piece
// count is taken as the table's). Returns the size written.
size_t game_bytes_size(int32_t count);
constexpr size_t GAME_TABLE_RECORDS = CHUNK_FIRST_RECORD + 4 * 8 + 4 + SAVEGAME_DATE_SIZE + 4 + 4;
size_t game_encode(uint8_t *out, const ChunkId *id, const GameSummary *summary);
// Writes such bytes to `path` through the chunk writer (placeholder magic first, the real
// one last, moved into place when complete); touches nothing but the file system, so it
// may run beside the game. 1 on success.
int game_write(const char *path, const uint8_t *bytes, size_t size);

// Restores the summary and the table from the box's saved game. 0 when the file is
// missing, of another box, damaged, or of another cut (its piece count differs); pieces
// read before a failure keep what was read, and the caller deals afresh. Indices in the
// stacking record outside the table are passed over.
int game_load(const char *box_name, const ChunkId *id, GameSummary *summary);
