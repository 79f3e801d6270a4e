// The store room, the game's home screen: every box of the shelf lies as its preview on
// a full-screen table. The player selects boxes (click, Ctrl+click, rubber band), moves
// them, opens one to play, and renames, deletes or restarts them from the tools window.
// The room is made once at start-up and shown whenever no other room is.
#pragma once
#include <cstdint>

#include "platform/events.h"
#include "rooms/box/shelf.h"

constexpr int32_t STORE_MAIN_BUTTONS = 6;
constexpr int32_t STORE_GIFT_BUTTONS = 4;
constexpr int32_t STORE_TOOL_BUTTONS = 8;

// Texts of the room.
enum {
    STORE_TEXT_TAKEN = 16,
    STORE_TEXT_TOO_LARGE = 25,
    STORE_TEXT_TITLE = 100,
    STORE_TEXT_NEW = 101,
    STORE_TEXT_PICTURE_TITLE = 105,
    STORE_TEXT_GALLERY = 106,
    STORE_TEXT_WALLPAPER = 107,
    STORE_TEXT_WALLPAPER_FAILED = 108,
    STORE_TEXT_UNREADABLE = 109,
    STORE_TEXT_MAIN = 110,     // 110 .. 116 without 114: the main panel
    STORE_TEXT_TOOLS = 120,
    STORE_TEXT_BOX = 130,
    STORE_TEXT_SIZE = 131,
    STORE_TEXT_DONE = 132,
    STORE_TEXT_TIME = 134,
    STORE_TEXT_DELETE_ONE = 140,
    STORE_TEXT_DELETE_MANY = 141,
    STORE_TEXT_RESTART_ONE = 145,
    STORE_TEXT_RESTART_MANY = 146,
    STORE_TEXT_SELECT_ONE = 150,
    STORE_TEXT_ONLY_ONE = 151,
    STORE_TEXT_SELECT_SOME = 152,
    STORE_TEXT_LINK = 153,
    STORE_TEXT_UNFINISHED = 155,
    STORE_TEXT_RENAME = 156,
    STORE_TEXT_SURPRISE = 158,
    STORE_TEXT_GIFT_TITLE = 190,
    STORE_TEXT_GIFT = 191,     // 191 .. 194: the gift panel
    STORE_TEXT_FINISHED = 202,
};

// What an action asks of the selection (bits of storeroom_check).
enum : uint32_t {
    STORE_NEED_SOME = 1,     // at least one box, else message 152
    STORE_NEED_ONE = 2,      // exactly one, else message 150 (none) or 151 (several)
    STORE_NEED_NO_LINK = 4,  // a single box is not a link box, else message 153
};

// The tools window's buttons, left to right and top to bottom.
enum StoreTool : int32_t {
    STORE_TOOL_EDIT,
    STORE_TOOL_DELETE,
    STORE_TOOL_PICTURE,
    STORE_TOOL_RESTART,
    STORE_TOOL_RENAME,
    STORE_TOOL_ABOUT,
    STORE_TOOL_WEBSITE,
    STORE_TOOL_OPTIONS,
};

struct StoreRoomState {
    int32_t window;                   // the full-screen room
    int32_t main_panel, gift_panel;   // exactly one of them is shown
    int32_t info_window, tools_window;
    int32_t main_buttons[STORE_MAIN_BUTTONS];  // texts 110, 111, 112, 113, 115, 116
    int32_t gift_buttons[STORE_GIFT_BUTTONS];  // texts 191 .. 194
    int32_t tool_buttons[STORE_TOOL_BUTTONS];  // StoreTool order
    int32_t gift_interface;
    const ShelfBox *shown;            // the box whose info text is shown, or none
    ShelfBox *single;                 // the one selected box when exactly one is selected
    int32_t selected_count;
    int32_t has_press;                // a press is recorded for the double click
    int64_t press_time;
    int32_t press_x, press_y;
    int32_t double_click_ms;
};
extern StoreRoomState storeroom;

// Who shows the about window (the kernel's splash window in about mode).
void storeroom_set_about(void (*about)(void));

// Makes the room and its windows hidden, installs the sample boxes on a fresh game
// folder, loads the shelf and restores the windows' places.
void storeroom_create(void);
// Shows the room as the active one, refreshed.
void storeroom_enter(void);
// Sets the title-bar text, updates the info text for the single selected box, forgets
// the last press and redraws the room.
void storeroom_refresh(void);

// The topmost box whose preview holds the screen point, or null.
ShelfBox *storeroom_box_at(int32_t x, int32_t y);
// Counts the selection again (selected_count and single).
void storeroom_count_selection(void);
// The selection check of every action: 1 when the selection is what `need` asks,
// else the message is shown and 0 returned.
int32_t storeroom_check(uint32_t need);
// The info text of a box ("" for none) into buffer.
void storeroom_info_text(const ShelfBox *box, char *buffer, int32_t size);
// Shows the info text of the box (or clears it with null).
void storeroom_show_info(const ShelfBox *box);

// The player's actions on the selection, as the buttons and keys start them.
void storeroom_open_selected(void);
void storeroom_delete_selected(void);
void storeroom_restart_selected(void);
void storeroom_rename_selected(void);
void storeroom_picture_selected(void);
// The create room, for a new box or to change the one selected box (not a surprise, and
// not one whose picture is larger than this screen's table: messages 158 and 25).
void storeroom_create_box(void);
void storeroom_edit_selected(void);
// The gallery room, empty-handed.
void storeroom_gallery(void);
// The selected boxes as a gift (at least one must be selected: message 152).
void storeroom_gift_selected(void);

// A box name handed in by another program: loaded onto the shelf when it is a box of
// the boxes folder not there yet.
void storeroom_box_handed_in(const char *name);

// --- drawing (store_draw.cpp) ---

// The screen area a box covers at (x, y): shadow, mark, piece count and "new" text.
void storeroom_box_area(ShelfBox *box, int32_t x, int32_t y, int32_t dragging, IoRect *area);
// The drag and redraw pass before each paint; true when a box that lies on the table
// (or one that was picked up or put down) is to be drawn anew.
bool storeroom_redraw_pass(void);
// The room's paint: the table and the lying boxes where tiles are dirty.
void storeroom_paint(void);
// Frees what the paint keeps.
void storeroom_paint_done(void);
// Draws one box at its place (the caller has chosen lying or dragged boxes).
void storeroom_draw_box(ShelfBox *box);
// Marks the box for redraw at its next paint.
void storeroom_mark(ShelfBox *box);
// Marks for redraw where the box was last drawn and where it is now.
void storeroom_erase(ShelfBox *box);

// --- the finished-picture dialog (store_picture.cpp) ---

// Makes the dialog window hidden.
void storeroom_picture_create(void);
// Asks what to do with the finished picture of the box and does it.
void storeroom_picture_dialog(ShelfBox *box);
