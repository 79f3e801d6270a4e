// The create room: a picture of the player's own becomes a new box, or an existing box
// is cut another way. The player loads a picture, chooses its size on the desk, the
// piece size, the jitter of the grid and an edge shape, switches rotation, surprise and
// music, sees the cut drawn over the picture and saves. The room is made once at
// start-up and entered from the store room.
#pragma once
#include <cstdint>

#include "image/img.h"
#include "puzzle/boxinfo.h"
#include "rooms/box/box.h"

constexpr int32_t CREATE_MIN_SIDE = 40;        // the smallest picture side a box may have
constexpr int32_t CREATE_START_PIECE = 32;     // a fresh picture's cut: piece size,
constexpr int32_t CREATE_START_SHAPE = 1;      // and edge shape (jitter 0)
constexpr int32_t CREATE_JPEG_QUALITY = 80;

// Texts of the room.
enum {
    CREATE_TEXT_INFO_TITLE = 15,
    CREATE_TEXT_NEW_TITLE = 400,
    CREATE_TEXT_NAME_PROMPT = 401,
    CREATE_TEXT_SAVE_FAILED = 402,
    CREATE_TEXT_REPLACE_FAILED = 403,
    CREATE_TEXT_BOX = 410,
    CREATE_TEXT_PIECES = 411,
    CREATE_TEXT_SIZE = 412,
    CREATE_TEXT_SCREEN = 413,
    CREATE_TEXT_IMAGE_TITLE = 420,  // 421 .. 424: load, website, picture size, fit
    CREATE_TEXT_UNREADABLE = 430,
    CREATE_TEXT_TOO_SMALL = 431,
    CREATE_TEXT_PIECE_TITLE = 440,  // 441 .. 443: random cut, piece size, jitter
    CREATE_TEXT_MISC_TITLE = 450,   // 452 .. 457: rotation, surprise, music, loop, play, stop
    CREATE_TEXT_NOT_MIDI = 460,
    CREATE_TEXT_EDIT_TITLE = 500,
};

// The room's buttons and trackbars, by what they do.
enum CreateControl : int32_t {
    CREATE_LOAD, CREATE_WEBSITE, CREATE_SIZE, CREATE_FIT, CREATE_IMAGE_HELP,
    CREATE_RANDOM, CREATE_PIECE_SIZE, CREATE_JITTER, CREATE_SHAPE_FIRST,
    CREATE_PIECE_HELP = CREATE_SHAPE_FIRST + BOX_SHAPES,
    CREATE_ROTATION, CREATE_SURPRISE, CREATE_MUSIC, CREATE_LOOP, CREATE_PLAY, CREATE_STOP, CREATE_MISC_HELP,
    CREATE_OK, CREATE_CANCEL, CREATE_HELP,
    CREATE_CONTROLS,
};

struct CreateRoomState {
    int32_t shown;                    // the room is the active one
    int32_t editing;                  // an existing box is being changed
    char box_name[BOX_NAME_MAX + 1];  // the picture file's base name, or the box's name
    BoxInfo info;                     // the box under construction
    Picture *source;                  // the loaded picture (perhaps decoded smaller), or null
    int32_t source_width, source_height;  // the picture file's own size
    int32_t size_axis;                // 'w': the size trackbar sets the width, 'h' the height
    Img *picture;                     // the picture as shown, info picture width x height
    int32_t desk_x, desk_y, desk_w, desk_h;  // the work area: the play room's table
    int32_t piece_min, piece_max;     // the piece-size range of the picture's size
    int32_t window, info_window, image_window, piece_window, misc_window, bar_window;
    int32_t controls[CREATE_CONTROLS];
    char picture_folder[260];         // where the file chooser opens next
    char music_folder[260];
};
extern CreateRoomState createroom;

// Builds the room hidden with its tool windows at their stored places.
void createroom_create(void);
// Enters the room: with a box name to change that box (0 when the box or its picture
// cannot be read: the room stays hidden), or with null for a new box.
int32_t createroom_enter(const char *name);
// Who hears that the player left the room (the store room).
void createroom_set_leave_hook(void (*hook)(void));
// Leaves: stops the music, frees the picture and the grid, hides the room and tells the
// hook.
void createroom_leave(void);

// Loads a picture file as the new box's picture (the Load button, a dropped file). A
// picture that cannot be read shows message 430, one under 40 pixels message 431; the
// room then has no picture. 1 when loaded.
int32_t createroom_load_picture(const char *path);
// A file dropped on the game's window: a picture for a new box, from the create room or
// the store room (which the create room then replaces). Ignored elsewhere.
void createroom_drop(const char *path);

// The OK button: saves the new box under a name the player gives, or the changed box,
// and leaves. 1 when the room was left.
int32_t createroom_save(void);

// --- the picture and the cut (create_picture.cpp) ---

// Reads a picture file as the source picture with the box's starting cut, fitted to the
// desk, the size trackbar set for it and the name taken from the file; messages 430 and
// 431 for a picture refused. 1 when read.
int32_t createroom_read_picture(const char *path);
// The picture's size fitted into the desk keeping its proportions, never enlarged.
void createroom_fit(int32_t width, int32_t height, int32_t *fit_w, int32_t *fit_h);
// Sets the picture's size on the desk (the size trackbar's value on its axis), making
// the shown picture again and updating the piece-size range.
void createroom_set_size(int32_t value);
// The piece-size range of the picture's size (10 to half the smaller side), lowering a
// piece size above it, and the trackbars with it.
void createroom_update_ranges(void);
// A random piece size, jitter and shape within their ranges.
void createroom_random_cut(void);
// The grid of the current cut, the piece count, the info text and the desk redrawn.
void createroom_update_cut(void);
// The info text for the current box into buffer ("" with no picture).
void createroom_info_text(char *buffer, int32_t size);
// The first screen mode whose table holds the picture, 0 when none does.
int32_t createroom_screen_mode(int32_t width, int32_t height, int32_t *mode_w, int32_t *mode_h);
// Frees the shown and source pictures and the grid.
void createroom_free_picture(void);

// --- drawing (create_draw.cpp) ---

// The room's frame: background, desk, picture and cut.
void createroom_paint(void);
// Marks the desk with its frame for redrawing.
void createroom_invalidate_desk(void);
// Paints a shape button's face: the edge curve of its shape.
void createroom_draw_shape(int32_t button);
