// Saving the game while it is played, so that a crash or a power cut never loses more
// than the last minute of moves: after every join and, while pieces move, once a minute
// of game time, the table is written through the same writer as the save on leaving.
// The bytes are made at once (the table as it will come to rest) and written to disk
// beside the game, so the player never waits for the disk; a replayed journal writes
// them at once instead, so its files come at the same inputs every time.
#pragma once
#include <cstdint>

constexpr int64_t AUTOSAVE_PERIOD_MS = 60000;  // game time between saves while pieces move
constexpr int64_t AUTOSAVE_RECHECK_MS = 1000;  // when nothing moved, the next look

// A game is on the table (the play room's): the clock of the periodic save starts, and
// unfinished copies that a crash left in the saved-game folder are cleared away.
void autosave_begin(void);
// Pieces joined: the game is saved at the next autosave_poll.
void autosave_joined(void);
// After each of the room's events and ticks: takes in a finished background write and
// begins the save that is due, if any.
void autosave_poll(void);
// Saves now, whatever is due; with `wait` the write has ended on return. 1 when a write
// began (0 while another is still under way or without a game).
int autosave_save_now(bool wait);
// Waits for a write under way to end.
void autosave_wait(void);
// Waits for a write under way and gives back what the saves hold: the game is left.
void autosave_end(void);

// What the saves have done this game, for the log and for tests.
struct AutosaveStats {
    int64_t written;   // writes that reached the disk
    int64_t failed;    // writes that did not
    int64_t last_ms;   // game time the last write began
};
extern AutosaveStats autosave_stats;
// Test hook: when cleared, writes are made at once even on the live clock.
extern int autosave_background;
