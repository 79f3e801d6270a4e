// The platform's modal dialog: edit fields the game draws itself over its own frame, fed
// by typed text, while the game keeps receiving mouse and key events and keeps drawing
// underneath. Dialogs nest: a dialog opened while another is open runs on top of it and
// ends back into it.
#pragma once
#include <cstdint>

struct PlatformInput;

enum IoFieldFlags : uint32_t {
    IO_FIELD_LINE = 1,      // one line; Enter confirms the dialog
    IO_FIELD_LINES = 2,     // several lines: Enter makes a new line, the text wraps and scrolls
    IO_FIELD_CAPITALS = 4,  // letters are turned to capitals
};

// One edit field; a list of them ends with a record whose flags are 0.
struct IoDialogField {
    uint32_t flags;
    int32_t x, y;           // relative to the offset the dialog opens at
    int32_t width, height;
    char *text;             // the caller's buffer: contents on opening, result on closing
    int32_t size;           // the buffer's size in bytes; the field holds at most size - 1
    int32_t id;             // set on opening: 100 for the first field, one more for each next
};

// Opens a dialog with `fields` (may be null: a dialog without fields) placed at
// (offset_x, offset_y) on the screen and runs the game's loop until io_dialog_end ends
// this dialog; returns the result given there. A close of the game ends it with 0.
int32_t io_dialog_run(int32_t offset_x, int32_t offset_y, IoDialogField *fields);

// Copies the current text of the field with control id `id` of the top dialog. Fatal
// "io_dialog_read: ???" when no dialog is open.
void io_dialog_read(int32_t id, char *buffer, int32_t size);

// Ends the top dialog with `result`; with take_texts set, every field's text is first
// copied into its buffer. Fatal "io_dialog_end: ???" when no dialog is open.
void io_dialog_end(int32_t result, int take_texts);

// Marks a screen rectangle for redraw while a dialog is open. Fatal
// "io_dialog_invalidate: ???" when no dialog is open.
void io_dialog_invalidate(int32_t x, int32_t y, int32_t width, int32_t height);

bool io_dialog_open(void);

// The kernel offers every platform input to the open dialog first; 1 when it took it.
int io_dialog_input(const PlatformInput *in);

// Draws the fields of every open dialog where the frame is dirty, at the end of a frame.
void io_dialog_draw(void);

// The dialog's text colours (text and background, 0x00RRGGBB).
void io_dialog_set_colours(uint32_t text, uint32_t background);
