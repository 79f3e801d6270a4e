// The desktop behind every room: the background with the room's title bar and the
// corner logo.
#pragma once

struct IoEvent;

// Builds the background column (tiled, recoloured, shaded per row) and loads the corner
// logo; background_done frees them.
void background_init(void);
void background_done(void);
// The column as built (texture width x screen height, screen format), for rooms that
// tile the desktop into images of their own; null while none is built.
struct Img;
const Img *background_column(void);

// Draws the desktop of a room: the column across the screen, the 20-pixel title bar
// with the room's caption and the program title, and the logo (lit under the mouse).
void background_draw(const char *caption);
// The same with a screen-sized picture of the room's own (the play room's table with its
// ghost) in place of the column.
void background_draw_over(Img *backdrop, const char *caption);

// The background's share of events no window took: lights the logo under the mouse and
// minimises the game on a left press on the lit logo. Returns true when it acted.
bool background_event(const IoEvent *ev);
bool background_logo_lit(void);
