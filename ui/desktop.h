// The desktop behind every room: the background with the room's title bar and the
// corner logo.
#pragma once

struct IoEvent;

// Draws the desktop of a room: the column across the screen, the 20-pixel title bar
// with the room's caption and the program title, and the logo (lit under the mouse).
void background_draw(const char *caption);

// The background's share of events no window took: lights the logo under the mouse and
// minimises the game on a left press on the lit logo. Returns true when it acted.
struct IoEvent;
bool background_event(const IoEvent *ev);
bool background_logo_lit(void);
