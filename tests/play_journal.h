// A puzzle played with the keys alone, worked out in-process on the deal a headless run
// saved, and written as a journal the real game then plays: what the keyboard and the
// autosave tests share.
#pragma once
#include <string>

#include "tests/toolkit_env.h"

// Journal lines at times the caller keeps apart.
struct PlayJournal {
    std::string text;
    int64_t t = 300;
    void line(const std::string &s) { text += std::to_string(t) + " " + s + "\n"; }
    // A key pressed and let go 20 ms later, `gap` ms after the last line.
    void key(const std::string &name, const char *mods = "", int64_t gap = 120)
    {
        t += gap;
        line("key_down " + name + mods);
        t += 20;
        line("key_up " + name + mods);
    }
};

// A game folder with the box "Tiny" (a w x h picture cut at `piece`, turned pieces when
// `rotation`) on the shelf at (300, 300), for an 800 x 600 screen.
void make_tiny_folder(const TempDir &game, int32_t w, int32_t h, int32_t piece, int32_t rotation);
// The journal that opens "Tiny" from the shelf with a double click.
extern const char *const OPEN_TINY;
// Plays the journal headless in the folder; the game must end cleanly.
void play_journal(const TempDir &game, const std::string &journal);

// The in-process game a journal is worked out on: 800 x 600, the platform up (modal
// message boxes read pushed keys), the virtual clock.
class KeyPlay : public ToolkitTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // Opens "Tiny" of `game` (its box and the saved deal a first run left) here, and
    // solves it with N, Q, the arrows and Space, writing each key into `j` (and the Enter
    // that answers the completion message) while doing it in-process. With `long_carry`
    // one piece is first carried about for 70 s of game time. false when it got stuck.
    bool solve_with_keys(const TempDir &game, PlayJournal *j, bool long_carry);
    // A key here as the journal plays it: pressed, let go, then ticks and a frame at the
    // journal's times.
    void press_key(PlayJournal *j, int32_t sdl_key, const char *name, bool shift = false, int64_t gap = 120);
    // The clock to the journal's time `t`, with a tick every 33 ms and a frame.
    void run_to(int64_t t);
    int64_t clock = 0;
};
