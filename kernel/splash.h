// The splash window of start-up, the about window and the scrolling credits: drawn by
// the game itself into its own window over the intro picture.
#pragma once
#include <cstdint>

// Opens the splash over the intro picture "img/intro.jpg"; does nothing when the picture
// cannot be decoded.
void splash_open(void);
// Replaces the status line and repaints its strip (kernel_status calls it).
void splash_status(const char *text);
void splash_close(void);
bool splash_is_open(void);

// The same window in about mode, modal: its own loop until the player closes it.
void about_show(void);
