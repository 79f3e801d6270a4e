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
// Enter in a one-line field posts IO_KEY_DOWN with IO_VK_ENTER, Escape IO_VK_ESCAPE.
int32_t io_dialog_run(int32_t offset_x, int32_t offset_y, IoDialogField *fields);

// Copies the current text of the field with control id `id` of the top dialog (at most
// size - 1 bytes, never a character cut in half). Fatal "io_dialog_read: ???" when no
// dialog is open.
void io_dialog_read(int32_t id, char *buffer, int32_t size);

// Ends the top dialog with `result`; with take_texts set, every field's text is first
// copied into its buffer. Fatal "io_dialog_end: ???" when no dialog is open. The screen
// is then repainted as a whole.
void io_dialog_end(int32_t result, int take_texts);

// Marks a screen rectangle for redraw while a dialog is open (fields over it are drawn
// again). Fatal "io_dialog_invalidate: ???" when no dialog is open.
void io_dialog_invalidate(int32_t x, int32_t y, int32_t width, int32_t height);

// Whether a dialog is open.
bool io_dialog_open(void);

// The kernel offers every platform input to the open dialog first: typed text, editing
// keys and clicks on a field are the dialog's; 1 when it took the input.
int io_dialog_input(const PlatformInput *in);

// Draws the fields of every open dialog where the frame is dirty; the kernel calls it
// at the end of each frame, before the dirty tiles go to the screen.
void io_dialog_draw(void);

// The dialog's text colours (skin colours 16 and 17: text and background, 0x00RRGGBB).
void io_dialog_set_colours(uint32_t text, uint32_t background);

// Opens a dialog without running a loop (io_dialog_run is push, the game's loop, pop):
// for loops of their own and for tests that feed io_dialog_input directly. Fatal
// "io_dialog_run: too many dialogs open" past 8 nested dialogs, "io_dialog_run: too
// many fields" past IO_DIALOG_FIELDS_MAX fields.
void io_dialog_push(int32_t offset_x, int32_t offset_y, IoDialogField *fields);
// Takes the top dialog away and frees its fields; returns the result io_dialog_end gave
// it, 0 when it was not ended. Fatal "io_dialog_pop: ???" when no dialog is open.
int32_t io_dialog_pop(void);

constexpr int IO_DIALOG_FIELDS_MAX = 16;

// The control id of the field that has the caret in the top dialog, 0 when none.
int32_t io_dialog_focus(void);
// The caret and the other end of the selection of field `id` of the top dialog, as byte
// offsets into its text (equal when nothing is selected); false for an unknown field.
bool io_dialog_caret(int32_t id, int32_t *caret, int32_t *anchor);

// --- The editing behind one field (kernel/dialog_edit.cpp) ---

// One field being edited. Its text is the dialog's own (counted memory) until the
// dialog ends; the caller's buffer is read on opening and written only on request.
struct IoEdit {
    uint32_t flags;             // IO_FIELD_ bits
    int32_t x, y;               // on the screen
    int32_t width, height;
    char *text;                 // capacity + 1 bytes, always ends with a 0
    int32_t capacity;           // the caller's size - 1 (0 when the size is below 1)
    int32_t length;             // bytes in use
    int32_t caret, anchor;      // byte offsets on character boundaries; selected between
    int32_t goal_x;             // Up and Down keep to this column; -1 when not moving so
    int32_t scroll_x;           // one line: pixels scrolled off the left
    int32_t first_line;         // several lines: the first line shown
    bool caret_drawn;           // the caret is on the screen now
};

constexpr int32_t IO_EDIT_PAD_X = 2;   // text inset from the field's left edge
constexpr int32_t IO_EDIT_PAD_Y = 1;   // and, with several lines, from its top

// Takes the field's text from the caller's buffer (never more than size - 1 bytes, never
// half a character; line breaks of a one-line field become blanks) with the caret at
// its end. io_edit_close frees it.
void io_edit_open(IoEdit *edit, const IoDialogField *field, int32_t offset_x, int32_t offset_y);
void io_edit_close(IoEdit *edit);

// Copies the text into buffer: at most size - 1 bytes, never half a character.
void io_edit_copy_out(const IoEdit *edit, char *buffer, int32_t size);

// Inserts typed UTF-8 text at the caret in place of the selection: characters the game's
// fonts cannot show are refused, capitals made where asked, and only what fits is taken.
// 1 when anything changed.
int io_edit_type(IoEdit *edit, const char *text);

// An editing key (SDL key code, INPUT_MOD_ bits): caret moves with and without Shift,
// Backspace, Delete, Ctrl+A, the clipboard keys, and in several lines Enter, Up, Down,
// Page Up and Page Down. 1 when the key is the field's.
int io_edit_key(IoEdit *edit, int32_t key, uint8_t mods);

// Places the caret at the screen point (x, y), keeping the selection's other end when
// `extend` is set.
void io_edit_click(IoEdit *edit, int32_t x, int32_t y, bool extend);

// Selects the whole text, the caret at its end.
void io_edit_select_all(IoEdit *edit);

// Whether a field may hold the character `code` (a Unicode code point) in the current
// language: printable ASCII in the Western character set, whose bitmap fonts hold
// nothing else; otherwise any printable character the system fonts have a glyph for.
bool io_edit_accepts(uint32_t code);

// Lines of a field as drawn: the line beginning at byte `begin` shows text[begin, *end)
// and the next one begins at *next. Returns true for the last line. One-line fields are
// one line whatever their width.
bool io_edit_line(const IoEdit *edit, int32_t begin, int32_t *end, int32_t *next);

// Pixel width of text[begin, end) in the dialog font.
int32_t io_edit_width(const IoEdit *edit, int32_t begin, int32_t end);

// The line holding the caret position `offset` (several lines) with its begin and end;
// 0 and the whole text for one line.
int32_t io_edit_line_of(const IoEdit *edit, int32_t offset, int32_t *begin, int32_t *end);

// Lines a field of several lines shows at once (at least 1).
int32_t io_edit_visible_lines(const IoEdit *edit);

