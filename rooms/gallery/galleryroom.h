// The gallery room: finished pictures hang in 50 frame cells on the walls of a
// walk-through room drawn by the gallery scene. The player walks with the arrow keys or
// the mouse (mouse look), carries at most one picture in hand and swaps it with the cell
// under the pointer; OK keeps the gallery in "sfiles/gallery.dat". The room is made once
// at start-up and entered from the store room, empty-handed or holding the picture of a
// finished box.
#pragma once
#include <cstdint>

#include "image/img.h"
#include "rooms/gallery/g3dscene.h"

constexpr int32_t GALLERY_CELLS = G3D_CELLS;       // 50; cells 0 .. 35 lie on the walls
constexpr int32_t GALLERY_TEXT_SIZE = 64;          // name and date fields, zero-terminated
constexpr int32_t GALLERY_RECORD_BYTES = 140;      // one record in the file
constexpr int32_t GALLERY_PICTURE_SIDE = 248;      // a hung picture fits 248 x 248
constexpr int32_t GALLERY_THUMB_SIDE = 128;        // the hand's thumbnail fits 128 x 128
constexpr int32_t GALLERY_ZOOMS = 5;               // view sizes 0 .. 4
constexpr int32_t GALLERY_START_ZOOM = 2;
constexpr uint32_t GALLERY_VERSION = 1;
constexpr const char *GALLERY_FILE = "sfiles/gallery.dat";
// Where an unreadable gallery file is put aside, so that the next save cannot destroy
// the player's pictures; a taken name gets a number ("sfiles/gallery2.bad", ...).
constexpr const char *GALLERY_BAD_FILE = "sfiles/gallery.bad";

// Texts of the room.
enum {
    GALLERY_TEXT_INFO_TITLE = 15,
    GALLERY_TEXT_TITLE = 300,
    GALLERY_TEXT_LEAVE_HOLDING = 301,
    GALLERY_TEXT_LOOK = 302,
    GALLERY_TEXT_EMPTY_HAND = 303,
    GALLERY_TEXT_NOTHING_HERE = 304,
    GALLERY_TEXT_SAVE_FAILED = 306,
    GALLERY_TEXT_EMPTY_FRAME = 310,
    GALLERY_TEXT_NAME = 311,
    GALLERY_TEXT_PIECES = 312,
    GALLERY_TEXT_TIME = 313,
    GALLERY_TEXT_DATE = 314,
    GALLERY_TEXT_VIEW = 320,
    GALLERY_TEXT_HAND = 330,
    GALLERY_TEXT_HANG = 331,
    GALLERY_TEXT_TAKE_DOWN = 332,
    GALLERY_TEXT_DISCARD = 333,
};

// One frame cell, or the hand. In the file the picture is a flag word (non-zero: an IMG
// picture follows the record).
struct GalleryRecord {
    Img *picture;                   // the framed picture in the screen's format, or null
    char name[GALLERY_TEXT_SIZE];   // the box's name
    int32_t pieces;
    int32_t play_time;              // seconds, from the box's saved game
    char date[GALLERY_TEXT_SIZE];   // the completion date text of the saved game
};

// The room's buttons, by what they do.
enum GalleryControl : int32_t {
    GALLERY_ZOOM_FIRST,  // five zoom buttons in the view window's title
    GALLERY_VIEW_HELP = GALLERY_ZOOM_FIRST + GALLERY_ZOOMS,
    GALLERY_HANG, GALLERY_TAKE_DOWN, GALLERY_DISCARD, GALLERY_HAND_HELP,
    GALLERY_LOOK,
    GALLERY_OK, GALLERY_CANCEL, GALLERY_HELP,
    GALLERY_CONTROLS,
};

// Movement keys held in the view window.
enum GalleryKey : int32_t { GALLERY_KEY_LEFT, GALLERY_KEY_RIGHT, GALLERY_KEY_UP, GALLERY_KEY_DOWN, GALLERY_KEYS };

struct GalleryRoomState {
    int32_t shown;                     // the room is the active one
    GalleryRecord cells[GALLERY_CELLS];
    Img *pictures[GALLERY_CELLS];      // the cells' pictures as the scene is handed them
    GalleryRecord hand;
    Img *thumbnail;                    // of the hand's picture, or null
    int32_t target;                    // the cell under the target point, -1 for none
    int32_t on_picture;                // the target point lies on that cell's picture
    int32_t at_centre;                 // the target point is the view centre
    int32_t looking;                   // mouse look is on
    int32_t zoom;                      // 0 .. 4, "ViewIZoom"
    int32_t keys[GALLERY_KEYS];        // movement keys held
    char info[512];                    // the info window's text
    int32_t view_x, view_y, view_w, view_h;  // the view rectangle on the screen
    int32_t window, view_window, hand_window, info_window, look_window, bar_window;
    int32_t controls[GALLERY_CONTROLS];
};
extern GalleryRoomState galleryroom;

// Builds the scene and the room hidden, with its windows at their stored places and the
// zoom of the last run.
void galleryroom_create(void);
// Who hears that the player left the room (the store room).
void galleryroom_set_leave_hook(void (*hook)(void));
// Enters the room empty-handed: reads the gallery file (a file that cannot be read
// whole is put aside and the cells start empty), mouse look off, the scene set for the
// view, the room shown.
void galleryroom_enter(void);
// Enters holding the picture of the finished box `name`; 0 when its picture or saved
// game cannot be read: the room is then not entered.
int32_t galleryroom_hang(const char *name);
// Leaves without saving: every picture freed, the hand emptied, the hook told.
void galleryroom_leave(void);
// The OK button: asks before dropping a picture in hand (No stays), writes the gallery
// file (message 306 and staying when it fails) and leaves. 1 when the room was left.
int32_t galleryroom_save(void);

// The player's hand at the target cell: Hang (message 303 with an empty hand), Take down
// (message 304 without a picture there), a click or Space (a swap when either holds a
// picture), Discard. Nothing is swapped without a target cell.
void galleryroom_hang_button(void);
void galleryroom_take_down(void);
void galleryroom_click(void);
void galleryroom_discard(void);

// The view's width for a screen width and zoom: (((screen width - 186) * zoom / 4 + 146)
// OR 3) + 1, at most G3D_VIEW_MAX; the height is half of it.
int32_t galleryroom_view_width(int32_t screen_width, int32_t zoom);
// Sets the zoom (brought into 0 .. 4): the view window resized keeping its bottom edge,
// the scene set for the new view.
void galleryroom_set_zoom(int32_t zoom);
// Mouse look on (the cursor confined to the view and centred) or off (freed).
void galleryroom_look(int32_t on);

// --- the gallery file and the records (gallery_file.cpp) ---

// Reads a gallery file into the cells: magic GALL, the version word, 50 records each
// with its picture when the flag says so. A picture must be in the screen's format and
// at most 256 x 256, its bytes in the file. 1 when read whole; 0 for anything short,
// foreign or damaged (a magic of 0 included), with every cell empty.
int gallery_read(const char *path, GalleryRecord *cells);
// Writes the cells as a gallery file; the old file at `path` is replaced only by a
// complete new one. 1 on success.
int gallery_write(const char *path, const GalleryRecord *cells);
// Renames the file at `path` to GALLERY_BAD_FILE, or a numbered name beside it when that
// is taken, never replacing a file; the name used goes to `aside`. 1 on success.
int gallery_put_aside(const char *path, char *aside, int32_t size);
// Frees the record's picture and clears it.
void gallery_clear(GalleryRecord *record);
// The picture fitted into side x side keeping its proportions, small pictures enlarged,
// resampled smoothly in the screen's format; null when it cannot be made.
Img *gallery_fit(Img *picture, int32_t side);
// The record of the finished box `name`: its picture fitted into 248 x 248 with a
// one-pixel "GalleryOutline" frame, its name, piece count, and play time and completion
// date from its saved game. The box's temporary files are deleted. 1 on success.
int gallery_record_from_box(const char *name, GalleryRecord *record);
