// The ready-made windows the rooms share: button bar, message box, text entry, progress
// window, pop-up menu, text window, tool bar and tab row.
#pragma once
#include <cstdint>

// --- button bar: a strip 24 high along the bottom of a dialog, up to 8 slots placed from
// the right edge leftwards, each with a main and an alternate button ---
constexpr int32_t BUTTONBAR_SLOTS = 8;
constexpr int32_t BUTTONBAR_HEIGHT = 24;
int32_t buttonbar_create(int32_t window);
// A text button when `text` is given, else an image button of skin icon `image`; `width`
// -1 means 90; `key` presses it (IO_VK_ENTER, IO_VK_ESCAPE or 0). Returns the button.
int32_t buttonbar_add(int32_t bar, int32_t slot, int32_t alternate, const char *text, int32_t image, int32_t key,
                      int32_t width);
// The button in a slot (alternate 0 or 1), -1 when none.
int32_t buttonbar_button(int32_t bar, int32_t slot, int32_t alternate);
// Shows the main (0) or the alternate (1) button of a slot, or neither (-1).
void buttonbar_show(int32_t bar, int32_t slot, int32_t which);
void buttonbar_layout(int32_t bar);

// --- message box: modal, 320 wide; flags 1 or 4 show the first button (OK or Yes), 2 or
// 8 the second (Cancel or No), 16 centres the text. 1 for Enter or the first button,
// 0 for Escape or the second ---
enum MsgBoxFlags : uint32_t { MB_OK = 1, MB_CANCEL = 2, MB_YES = 4, MB_NO = 8, MB_CENTRE = 16 };
void msgbox_init(void);  // start-up makes the shared window once
int32_t msg_box(const char *text, uint32_t flags);
int32_t msg_box_text(int32_t number, uint32_t flags);
int32_t msgbox_window(void);
// The text the message box shows while it is up, else null.
const char *msgbox_text(void);
// The box's height for a text that measures `text_height` at the wrap width: 150, or the
// text's height + 52 once the text is 98 or more high.
int32_t msgbox_height(int32_t text_height);

// --- text entry: modal 320 x 150 with one edit field; 1 when confirmed (the text copied
// into `buffer`), 0 when cancelled (the buffer untouched). At most size - 1 bytes ---
void text_entry_init(void);
int32_t text_entry(const char *title, char *buffer, int32_t size, int32_t multiline);
int32_t text_entry_window(void);

// --- progress window: 380 x 81, centred, floating while long work runs ---
void progress_init(void);
void progress_start(int32_t maximum);
void progress_set(const char *caption, int32_t value);
void progress_end(void);
int32_t progress_window(void);

// --- pop-up menu: text items 24 high under a title bar, at least 71 wide; a click on an
// item posts TW_CLICKED to the menu's parent with b = the item's action ---
int32_t menu_create(int32_t parent);
int32_t menu_add(int32_t menu, const char *text, int32_t action);
void menu_layout(int32_t menu, int32_t x, int32_t y);

// --- text window: titled with text 15, sized to its text; `style` adds window styles
// (TWS_COLLAPSE for one that rolls up to its title bar) ---
int32_t textwin_create(int32_t parent, int32_t width, int32_t lines, uint32_t style = 0);
void textwin_set(int32_t window, const char *text);

// --- tool bar: image buttons from x = 24, docked 18 high along its parent's bottom ---
int32_t toolbar_create(int32_t window);
int32_t toolbar_add(int32_t bar, int32_t image);
void toolbar_dock(int32_t bar);

// --- tab row: buttons 32 high left to right ---
int32_t tabrow_create(int32_t parent, int32_t x, int32_t y);
// A push button with the text (or none: null) and skin icon `image` (or none: -1);
// clicks go to the row's parent.
int32_t tabrow_add(int32_t row, const char *text, int32_t image);
void tabrow_done(int32_t row);

// Resizes a window keeping its bottom edge where it is, its top never above 0.
void window_set_height_keep_bottom(int32_t window, int32_t width, int32_t height);
