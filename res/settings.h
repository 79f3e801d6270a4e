// The game's own settings that belong to no room: the screen size of the last run,
// saved window placements, and the desktop background with its title bar and logo.
#pragma once
#include <cstdint>

#define SETTINGS_CONFIG "sfiles/config.ini"
#define SETTINGS_SKIN "sfiles/skin.ini"
#define SETTINGS_LANG "sfiles/lang.ini"

// A toolkit window's placement as saved: position, size, shown and collapsed flags.
struct WindowPlacement {
    int32_t x, y, width, height;
    int32_t shown, collapsed;
};

enum {
    SETTINGS_POSITION = 1,
    SETTINGS_SIZE = 2,
    SETTINGS_SHOWN = 4,
    SETTINGS_COLLAPSED = 8,
};

// Writes "x y w h shown collapsed" under section/key of the config file.
void settings_save_placement(const char *section, const char *key, const WindowPlacement *p);
// Reads a placement (exactly six numbers, else 0 and nothing changes) into *p, taking
// only the parts chosen by `what`; the position is first rescaled from the screen of the
// last run to the current one. 1 when read.
int32_t settings_load_placement(const char *section, const char *key, int32_t what, WindowPlacement *p);

// The screen size of the last run (OldScreenSize), read early at start-up; written back
// and flushed at exit.
void settings_read_old_screen(void);
void settings_write_old_screen(void);
void settings_old_screen(int32_t *width, int32_t *height);

// Whether force feedback is on: only the exact text "0" of [MAIN] FeedBackSupport
// switches it off.
bool settings_feedback_on(void);


