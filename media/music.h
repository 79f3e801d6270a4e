// MIDI music: a box's tune played while its puzzle is being done, optionally over and
// over, and the check of a MIDI file the player picks. One piece of music at a time.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int32_t MIDI_NOTIFY_SUCCESSFUL = 1;  // the music reached its end
constexpr size_t MIDI_FILE_MAX = 16u << 20;    // larger files are not taken for music

// Whether `size` bytes are a standard MIDI file: an "MThd" header of at least six bytes,
// format 0, 1 or 2 with its track count and a time division, and that many "MTrk"
// chunks (other chunks are skipped) each lying within the file, whose events all end
// with an end-of-track before their chunk does. 1 when they are; else 0 with the reason
// in `reason`.
int midi_check(const uint8_t *data, size_t size, char *reason, size_t reason_size);

// Stops any music, then checks that the file at `path` is a standard MIDI file (with no
// need of an audio device). 1 when it is; else 0 and the log gets
// "test_midi open: <reason>".
int midi_test(const char *path);

// Stops any music, remembers the path and the repeat flag, and plays the file. 1 when
// it started; 0 when it cannot (logged as "play_midi open: <reason>" or "play_midi
// play: <reason>"), and 0 without a word when there is no audio device.
int midi_play(const char *path, int repeat);

// Changes whether the music now playing starts again from the beginning at its end.
void midi_set_repeat(int flag);

// Closes the music if any is open. An end reported for it afterwards is ignored.
void midi_stop(void);

// The end of the music (code MIDI_NOTIFY_SUCCESSFUL) closes it, and with repeat on plays
// it again from the beginning. Other codes and no open music: nothing. The end of each
// play reaches here on the main thread, through the platform's input poll.
void midi_notify(int32_t code);

// Whether a piece of music is open (playing, or ended with its notice still on the way).
bool midi_playing(void);
