// The options dialog: the interface and help languages, the colour of the desktop's
// background and the force-feedback mouse, chosen in a modal toolkit window and kept in
// [MAIN] of "sfiles/config.ini". It runs before the game (the -options start) and from
// the store room's tools.
#pragma once
#include <cstdint>

// Runs the dialog modally in the game's window. OK writes [MAIN] UserInterface and
// HelpFile (the chosen files' names, empty for English), BackGround ("%i %i %i": hue,
// saturation, lightness) and FeedBackSupport ("1" or "0"), flushes the file and returns
// 1; when the file cannot be written the player is told and the dialog stays open.
// Cancel, Escape or a close of the game return 0 and write nothing. With no room on
// show (the -options start) the desktop is drawn behind the dialog.
int options_run(void);

// What OK writes to [MAIN]: each key replaced whole through the settings layer (a crash
// leaves every key either as it was or as chosen), stopping at the first that cannot be
// written; then the file is flushed. 1 when all four were written.
int32_t options_write(const char *interface_file, const char *help_file, int32_t hue, int32_t saturation,
                      int32_t lightness, int32_t feedback);

// What the game does after OK from inside it: force feedback switched to the new
// setting at once and the background rebuilt in the new colour, the whole screen marked
// for redraw. The caller then redraws its room.
void options_apply(void);

// --- the colour ---

constexpr int32_t OPTIONS_HUE = 209, OPTIONS_SATURATION = 42, OPTIONS_LIGHTNESS = 0;  // the default
constexpr int32_t OPTIONS_MAP_WIDTH = 181;   // hue 0 to 360, 2 degrees a pixel
constexpr int32_t OPTIONS_MAP_HEIGHT = 130;  // saturation falls over the first 128 rows

// The preview's colour (0x00RRGGBB) of a triple: HLS to RGB in single precision with
// lightness (lightness + 100) / 200 and saturation saturation / 100; a saturation of 0
// or less gives white. Channels are cut to 0..255, whatever the triple.
uint32_t options_colour_rgb(int32_t hue, int32_t saturation, int32_t lightness);
// The colour at (x, y) of the map: hue 2x limited to 0..360, saturation
// (128 - y) * 100 / 128 limited to 1..99. The map's pixels are drawn from this.
void options_colour_at(int32_t x, int32_t y, int32_t *hue, int32_t *saturation);

// --- what the dialog shows while it runs, for tests ---

// The window of a control by its number: 1 OK, 2 Cancel, 101 interface languages and
// 102 help languages (drop-down lists), 103 the colour map, 105 Default, 106 Update
// Languages, 107 the force-feedback check box; the dialog itself for 0. -1 before the
// dialog first ran or for another number.
int32_t options_control(int32_t id);
// The colour shown now.
void options_colour(int32_t *hue, int32_t *saturation, int32_t *lightness);
// The file behind an item of list 101 or 102; null for English and outside the list.
const char *options_item_file(int32_t id, int32_t index);
// The preview's rectangle relative to the dialog.
void options_preview_rect(int32_t *x, int32_t *y, int32_t *width, int32_t *height);
