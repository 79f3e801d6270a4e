// Drop-down lists: a field showing the chosen item with an arrow at its right end. A
// click on the field opens the list of items below it, over whatever lies there; a click
// on an item chooses it, a click anywhere else closes the list. The drop-down clicked
// last has the keys: closed, Up and Down step through the items and F4 opens it; open,
// Up, Down, Page Up and Page Down move the mark, Enter chooses and Escape closes.
// A choice posts TW_CLICKED to the parent with a = the drop-down, b = the item.
#pragma once
#include <cstdint>

constexpr int32_t DROPDOWN_ROW_HEIGHT = 16;
constexpr int32_t DROPDOWN_LIST_PAD = 1;   // from the list's edge to its first row
constexpr int32_t DROPDOWN_BAR_WIDTH = 12; // the scroll bar inside the list's right edge

// Makes a drop-down as a child of `parent` at (x, y) with a field width x height; its
// list opens below the field, at most `list_height` high (at least one row). Returns
// its handle, the field's window.
int32_t dropdown_create(int32_t parent, int32_t x, int32_t y, int32_t width, int32_t height, int32_t list_height);

// Closes the list and gives back every item's text.
void dropdown_clear(int32_t dropdown);
// Adds an item at the end; the text is copied. Returns its index.
int32_t dropdown_add(int32_t dropdown, const char *text);
int32_t dropdown_count(int32_t dropdown);
// The text of an item; null outside the list.
const char *dropdown_text(int32_t dropdown, int32_t index);

// The chosen item, -1 when none.
int32_t dropdown_selected(int32_t dropdown);
// Chooses an item without telling the parent; an index outside the list chooses none.
void dropdown_select(int32_t dropdown, int32_t index);

// Opens or closes the list.
void dropdown_open(int32_t dropdown, bool open);
bool dropdown_is_open(int32_t dropdown);
// The window of the open list (shown only while open).
int32_t dropdown_list_window(int32_t dropdown);

// The drop-down that has the keys, -1 when none; -1 takes them from every one.
int32_t dropdown_focus(void);
void dropdown_set_focus(int32_t dropdown);

// The screen point in the middle of an item's row; false unless the list is open and the
// row is scrolled into view.
bool dropdown_item_point(int32_t dropdown, int32_t index, int32_t *x, int32_t *y);
// The first item the open list shows.
int32_t dropdown_top(int32_t dropdown);
