// The whole table in the saved game: every piece's place, lift, angle and group, and the
// stacking order, beside the summary. Positions are kept relative to the table's centre,
// so a game saved at one screen size opens centred at another.
#pragma once
#include "rooms/play/savegame.h"

// Writes the box's saved game from the table and `summary` (whose piece count becomes
// the table's). The file is written beside the old one and moved over it only when
// complete, so a failed save (a full disk) keeps the previous saved game. 1 on success.
int game_save(const char *box_name, const ChunkId *id, GameSummary *summary);

// Restores the summary and the table from the box's saved game. 0 when the file is
// missing, of another box, damaged, or of another cut (its piece count differs); pieces
// read before a failure keep what was read, and the caller deals afresh. Indices in the
// stacking record outside the table are passed over.
int game_load(const char *box_name, const ChunkId *id, GameSummary *summary);
