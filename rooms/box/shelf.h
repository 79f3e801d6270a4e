// The box store: the boxes of the boxes folder as the store room's shelf. Each box is a
// ShelfBox record with its BoxInfo, saved-game summary, texts and a small cached preview
// ("sfiles/temp/NAME.prw", magic PRVW); the shelf is a list in stacking order, its names
// and places kept in "sfiles/config.ini" ([BOXNAMES] and [BOXPOSS]). This module loads
// and saves the shelf and deletes, renames and replaces boxes with their files; drawing
// and the player's actions on the shelf belong to the store room.
#pragma once
#include <cstdint>

#include "image/img.h"
#include "platform/events.h"
#include "rooms/box/box.h"
#include "rooms/play/savegame.h"
#include "ui/skin.h"

constexpr int32_t SHELF_PREVIEW_SIZE = 80;           // an ordinary preview fits 80 x 80
constexpr uint32_t SHELF_PREVIEW_SHADOW = SHADOW_ON | SHADOW_RECT | SHADOW_SMALL | SHADOW_LARGE;
constexpr int32_t SHELF_PRESENT_ICON = 39;           // skin image of the wrapped present
constexpr const char *SHELF_TEMP_NAME = "~!@#$%_temp_%$#@!~";  // a box's files while it is replaced
constexpr uint8_t SHELF_OVERLAY_DONE = 90;           // the overlay's darkening of the done part
constexpr uint8_t SHELF_OVERLAY_HAND = 255;          // and of its two hands

// One box on the shelf, from the accounted heap, owned by the shelf list.
struct ShelfBox {
    char name[BOX_NAME_MAX + 1];    // the box file's base name, as it is spelt on the disk
    ChunkId id;                     // read from the box file
    GameSummary summary;            // all zero when the box has no saved game
    BoxInfo info;
    int32_t is_new;                 // no valid preview existed when the box was loaded
    int32_t preview_width, preview_height;  // as drawn (a wrapped surprise can be larger than its picture)
    Img *preview;                   // screen format
    Shadow *shadow;                 // of the preview size
    Img *overlay;                   // 8-bit progress clock while the progress is 1 to 99, else null
    int32_t x, y;                   // top-left of the preview on the screen
    int32_t selected;
    int32_t dragging, drag_x, drag_y;
    int32_t drawn_x, drawn_y, drawn_selected, drawn_dragging;  // the state at the last drawing
    IoRect drawn_area;              // what the last drawing covered (shadow, marks, texts)
    // The store room's drawing cache: what its area depends on, and the area lying and
    // dragged as offsets from the place (left, top, right, bottom).
    int32_t area_key[6];
    int32_t area[2][4];
    int32_t needs_redraw;
    char *description, *address;    // zero-terminated copies of records 22 and 23, or null
    ShelfBox *next, *prev;          // towards the tail / towards the head
};

// The shelf list: the head is the topmost box (hit testing walks from it), drawing and
// saving walk from the tail.
struct Shelf {
    ShelfBox *head, *tail;
    int32_t count;
};
extern Shelf shelf;

// Start-up shows each box's name while it loads; the kernel hands its status line here.
typedef void (*ShelfStatusFn)(const char *text);
void shelf_set_status(ShelfStatusFn status);

// --- the shelf as a whole ---

// Loads the shelf: the boxes named in [BOXNAMES] at their [BOXPOSS] places (scaled from
// the screen of the last run and clamped to this one), then every other box file of the
// boxes folder at a random place. Names match without regard to letter case, a name is
// loaded once, and a box that cannot be read is left out without a message.
void shelf_load(void);

// Rewrites [BOXNAMES] and [BOXPOSS] from the list (tail first, keys 0, 1, 2, ...) and
// frees every record.
void shelf_save(void);

// Frees every record without saving anything.
void shelf_free(void);

// On a fresh game folder (no [MAIN] "SamplesInstalled" in the settings) whose boxes
// folder holds no box, writes the sample boxes of the data pack (pictures "samples/*.jpg",
// titles from "samples/samples.txt") into it; then marks the samples installed. Needs the
// data pack. Returns the number of boxes written.
int32_t shelf_install_samples(void);

// --- one box ---

// Loads the box `name` onto the shelf: reads it with its texts, summary and preview
// (building and saving the preview when there is no valid one), inserts it at the head
// and gives it a random place. A finished surprise box is unwrapped. Null when the box
// cannot be read or its preview cannot be built.
ShelfBox *shelf_load_box(const char *name);

// A box name another program handed in: loaded (at a random place) only when it is a
// plain base name of a box file in the boxes folder and no box of that name is on the
// shelf. The new record, or null.
ShelfBox *shelf_add_named(const char *name);

// The box of that name (letter case ignored), searching from the tail; null when none.
ShelfBox *shelf_find(const char *name);

// Moves the record to the head (on top).
void shelf_to_head(ShelfBox *box);

// Deletes the box's saved game, play state, preview and box file (in this order), then
// unlinks and frees the record. The caller erases it from the screen first.
void shelf_delete(ShelfBox *box);

// Results of shelf_rename and shelf_name_check.
enum : int32_t {
    SHELF_NAME_FAILED = 0,     // the box file could not be renamed; nothing changed
    SHELF_NAME_OK = 1,         // renamed (shelf_name_check: the cleaned name is free)
    SHELF_NAME_UNCHANGED = 2,  // the input cleans to exactly the current name: nothing to do
    SHELF_NAME_TAKEN = 3,      // another box has that name (the store room shows message 16)
    SHELF_NAME_INVALID = 4,    // the input cleans to no usable name: ask again
};

// Cleans the player's input into a box name in `cleaned` (BOX_NAME_MAX + 1 bytes) and
// says whether it can be used: SHELF_NAME_OK, SHELF_NAME_INVALID, or SHELF_NAME_TAKEN when
// a box on the shelf other than `except` or a box file in the folder (other than
// except's) has it, letter case ignored.
int32_t shelf_name_check(const char *input, char *cleaned, const ShelfBox *except);

// Renames the box to the player's input, cleaned. A name equal to the current one does
// nothing; one that differs only in letter case renames. The box file, play state, saved
// game and preview move together: the box file's rename is the one step that decides,
// so a crash leaves the box whole under one of the names; the record changes only when
// that rename has succeeded.
int32_t shelf_rename(ShelfBox *box, const char *input);

// Replaces the box `name` with a new BoxInfo and the parts in the temporary files (the
// create room saving an edited box): a fresh id, the new box written over the old, loaded
// and given the old one's place and selection; the old saved game, play state and
// preview are discarded. On failure every file of the old box is back under its name and
// the old record stays on the shelf. 1 or 0.
int shelf_replace(const char *name, const BoxInfo *info);

// Asks with the text-entry window until the player gives a name that cleans to a valid
// box name no other box has (message 16 when taken). 1 with the name in `name`
// (BOX_NAME_MAX + 1 bytes, also the name first shown); 0 when cancelled.
int shelf_unique_name(const char *prompt, char *name);

// Forgets the box's game: its saved game is deleted, its summary cleared and its
// progress clock dropped, so the next opening deals the pieces anew.
void shelf_restart(ShelfBox *box);

// After a game: reads the box's summary again, unwraps a finished surprise box and
// rebuilds the progress overlay.
void shelf_refresh_box(ShelfBox *box);

// A surprise box whose game is finished becomes an ordinary one: the surprise field is
// cleared in the record and in the box file, the preview takes its picture's size again
// and is saved. 1 when the box is (now) unwrapped.
int shelf_unwrap(ShelfBox *box);

// --- places and pictures ---

// A random place: x = r mod (screen width - preview width), y likewise, each 0 where the
// preview is as wide (high) as the screen or more.
void shelf_place_random(ShelfBox *box);

// Keeps a place on the screen: a box reaching past the right or bottom edge ends on it,
// and no coordinate is negative.
void shelf_clamp(const ShelfBox *box, int32_t *x, int32_t *y);

// Builds (or drops) the progress overlay for the box's progress.
void shelf_build_overlay(ShelfBox *box);

// Builds the preview and its shadow from the box's picture and saves the preview file.
// 1 or 0 (the record keeps its old preview on failure).
int shelf_build_preview(ShelfBox *box);

// Writes the preview file of the box; 1 or 0.
int shelf_save_preview(const ShelfBox *box);
