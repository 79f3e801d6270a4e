// The input journal: every platform input the kernel receives, with its time, as plain
// text. Recording it and playing it back on a virtual clock gives the same ticks, the
// same frames and the same files again, without a person or a display.
//
// One input a line: "<ms> <kind> <arguments>"; blank lines and lines starting with '#'
// are skipped. Kinds:
//   mouse_move X Y [BUTTONS]   buttons held: 1 left, 2 right, 3 both; when left out,
//                              the buttons pressed and not yet released in the journal
//   mouse_down X Y BUTTON      1 left, 2 right, 3 middle
//   mouse_up X Y BUTTON
//   key_down NAME / key_up NAME   SDL key names, blanks written as '_' ("Keypad_+")
//   text TEXT                  typed text, the rest of the line
//   activate / deactivate / close / expose / forward
//   display_change yes|no      the display changed; the player's answer to "Exit?"
//   message NAME               a box name handed in by another program
//   drop PATH                  a file dropped on the game's window, the rest of the line
// Mouse and key lines may end with the modifiers "ctrl", "alt" and "shift".
#pragma once
#include <cstdint>

#include "platform/events.h"

constexpr int JOURNAL_LINE_MAX = 512;
constexpr int JOURNAL_MAX_INPUTS = 200000;

// Formats one input as a journal line (no line break). Returns 1 on success.
int journal_format_line(int64_t time_ms, const PlatformInput *in, char *out, int size);

// Parses one line. Returns 1 for an input, 0 for a blank or comment line, -1 for a line
// that is not valid; `held` carries the buttons held between lines (start with 0).
int journal_parse_line(const char *line, int64_t *time_ms, PlatformInput *out, uint8_t *held);

// Starts recording into `path` (kept as "<path>.<pid>.part" until the game ends, so a
// crash leaves the old journal alone and the new one readable). Returns 1 on success.
int io_journal_record_open(const char *path);
void io_journal_record(int64_t time_ms, const PlatformInput *in);
void io_journal_record_close(void);

// Reads a whole journal for playback. Returns 1, or 0 with a reason naming the file
// and line in `error`.
int io_journal_load(const char *path, char *error, int error_size);

bool io_journal_playing(void);

// Time of the next input to play; false when the journal is played out.
bool io_journal_next_time(int64_t *time_ms);

// Takes the next input; false when the journal is played out.
bool io_journal_take(PlatformInput *out);

void io_journal_done(void);
