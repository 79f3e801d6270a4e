// The file chooser: a modal toolkit window standing in for the system's open and save
// dialogs behind io_open_file and io_save_file (kernel/services.h). It shows the current
// folder's sub-folders, then its files that match the selected pattern, a path row with
// a way up, the name box and the choice of patterns.
//
// Keys go to one of two places, as in the system's dialogs: the list (Up, Down, Page Up,
// Page Down, Ctrl+Page Up and Ctrl+Page Down for the first and last entry, Backspace to
// go up, a letter to jump to the next name starting with it, Tab to the name box) or the
// name box, an edit field of the platform dialog that keeps its editing keys (Page Up and
// Page Down, or a click in the list, go back to the list). Enter opens the selected
// folder or chooses the file, Escape cancels; a click selects, a double click opens.
#pragma once
#include <cstdint>

// The file dialogs, drawn by the toolkit's file chooser. `path` and
// `folder` (may be null) hold IO_FILE_PATH_MAX bytes; `filter` is pairs of NUL-terminated
// description and pattern ("*.JPG;*.JPEG", matched without regard to letter case) ended by
// an empty description, the first pair selected (null: every file). The dialog opens in
// `folder`, or in the documents folder when it is empty; `path` may hold a name to offer.
// On success the chosen file's path ('/' separators) is in `path`, its folder in `folder`,
// and the result is 1; a cancelled dialog returns 0 and leaves both as they were.
constexpr int32_t IO_FILE_PATH_MAX = 260;
// The chosen file must exist.
int32_t io_open_file(char *path, char *folder, const char *filter);
// The chosen file's folder must exist; a name typed without an extension gets the one of
// the selected pattern, and an existing file is replaced only when the player says so.
int32_t io_save_file(char *path, char *folder, const char *filter);

enum FileChooserMode : int32_t { FC_OPEN = 0, FC_SAVE = 1 };

// The window's layout, relative to the window.
constexpr int32_t FC_WIDTH = 440, FC_HEIGHT = 340;
constexpr int32_t FC_LIST_X = 8, FC_LIST_Y = 54, FC_LIST_WIDTH = 424;
constexpr int32_t FC_ROWS = 12, FC_ROW_HEIGHT = 16;
constexpr int32_t FC_LIST_PAD = 2;  // from the list's edge to its first row
constexpr int32_t FC_LIST_HEIGHT = FC_ROWS * FC_ROW_HEIGHT + 2 * FC_LIST_PAD;
constexpr int32_t FC_BAR_WIDTH = 12;  // the scroll bar inside the list's right edge
constexpr int32_t FC_FIELD_X = 62, FC_FIELD_WIDTH = 370;
constexpr int32_t FC_PATH_Y = 24, FC_UP_WIDTH = 48;
constexpr int32_t FC_NAME_Y = 258, FC_NAME_HEIGHT = 22;
constexpr int32_t FC_TYPE_Y = 286;
constexpr int64_t FC_DOUBLE_CLICK_MS = 500;

// Runs the chooser: the body of io_open_file (FC_OPEN) and io_save_file (FC_SAVE), with
// their buffers and filter. 1 when a file was chosen.
int32_t filechooser_run(int32_t mode, char *path, char *folder, const char *filter);

// What the chooser shows while it runs, for tests: its window (-1 before the first
// run), the folder, the entries (folders first), the selected entry (-1 none) and the
// first entry shown.
int32_t filechooser_window(void);
const char *filechooser_folder(void);
int32_t filechooser_count(void);
const char *filechooser_entry(int32_t index, bool *folder);
int32_t filechooser_selected(void);
int32_t filechooser_top(void);
// The screen point in the middle of an entry's row; false when it is scrolled away.
bool filechooser_entry_point(int32_t index, int32_t *x, int32_t *y);

// A name as the list shows it (UTF-8, at most size - 1 bytes): every character the
// list's font has no glyph for, every control character and every byte that is not
// UTF-8 becomes one replacement character.
void filechooser_display_name(const char *name, char *out, int32_t size);

// Whether `name` matches one of the ';'-separated patterns, without regard to letter
// case ("*.*" matches every name).
bool filechooser_match(const char *patterns, const char *name);

