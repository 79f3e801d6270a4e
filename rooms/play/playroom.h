// The play room: one box played on the full-screen table, with a movable control panel,
// a picture window showing the finished picture, the ghost of the picture in the middle
// of the table, the play clock, the box's music, the connected animation and the
// completion message. Leaving saves the game.
#pragma once
#include <cstdint>

#include "puzzle/boxinfo.h"
#include "rooms/play/savegame.h"

constexpr int32_t PLAYROOM_ZOOMS = 5;
constexpr int32_t PLAYROOM_PANEL_BUTTONS = 7;

// Texts of the room.
enum {
    PLAYROOM_TEXT_TITLE = 200,
    PLAYROOM_TEXT_CUTTING = 201,
    PLAYROOM_TEXT_SURPRISE = 203,
    PLAYROOM_TEXT_ARRANGE = 210,  // 210 .. 214: the control panel's buttons
    PLAYROOM_TEXT_PICTURE = 220,
    PLAYROOM_TEXT_FINISHED = 230,
    PLAYROOM_TEXT_SAVE_FAILED = 231,
    PLAYROOM_TEXT_EDGES = 240,    // the control panel's edge pieces button
    PLAYROOM_TEXT_SPREAD = 241,   // the control panel's spread button
    PLAYROOM_TEXT_HINTS = 250,    // 250 .. 256: the panel buttons' hints, in the order of their table
};

struct PlayRoomState {
    char box_name[72];
    ChunkId id;
    BoxInfo box;          // piece size and picture size as shrunk for the table
    int32_t shrunk;
    GameSummary summary;
    int64_t start_tick;   // game clock when play (re)started
    int32_t loaded;       // a game is on the table
    int32_t ghost;
    int32_t zoom;         // of the picture window, 0 .. 4
    int32_t anim_frame;   // connected animation: -1 idle, else 0 .. 15
    int32_t anim_x, anim_y;
    int32_t window, anim_window, picture_window, panel;
    int32_t zoom_buttons[PLAYROOM_ZOOMS];
    int32_t panel_buttons[PLAYROOM_PANEL_BUTTONS];
    int32_t hint_window;  // the hint of the panel button under the pointer
};
extern PlayRoomState playroom;

// Builds the room hidden: lighting tables, the connect sound, the room window with the
// animation window, the picture window and the control panel at their stored places.
void playroom_create(void);
// Opens the box `name` for play: reads it, cuts it (or takes the cut cache), restores
// the saved game or deals, starts the music and shows the room. 0 when the box cannot
// be read; the room then stays hidden.
int32_t playroom_open(const char *name);
// Saves the game and clears the table. Nothing when no game is loaded.
void playroom_leave(void);
// Who hears that the player left with the Leave button (the store room, with the box's
// name); none: the room just hides.
void playroom_set_leave_hook(void (*hook)(const char *box_name));
