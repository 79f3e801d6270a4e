// Drop-down lists: the record behind each one, its field and its list window, their
// drawing and their handlers.
#include "ui/dropdown.h"

#include <algorithm>
#include <cstring>

#include "image/clip.h"
#include "platform/events.h"
#include "platform/log.h"
#include "platform/memory.h"
#include "res/lang.h"
#include "ui/skin.h"
#include "ui/text.h"
#include "ui/window.h"

constexpr int32_t DROPDOWN_TEXT_X = 3;     // text inset from the left edge of field and rows
constexpr int32_t DROPDOWN_THUMB_MIN = 12;

struct Dropdown {
    int32_t field, list;   // the two windows
    int32_t list_max;      // the most the open list may be high
    char **items;          // `count` owned texts
    int32_t count, capacity;
    int32_t selected;      // the chosen item, -1 none
    int32_t hot;           // the marked row of the open list, -1 none
    int32_t top;           // the first row the open list shows
    int32_t thumb_grab;    // dragging the scroll bar's thumb: where it was taken
};

static struct {
    int32_t focus = -1;  // the field that has the keys
} dd;

static int32_t field_handler(int32_t window, IoEvent *event);
static int32_t list_handler(int32_t window, IoEvent *event);

// The record of a drop-down; any other window is a caller's slip.
static Dropdown &rec(int32_t dropdown)
{
    const TWindow *w = window_get(dropdown);
    if (w->handler != field_handler || !w->data)
        io_error("dropdown: window %i is not a drop-down\n", dropdown);
    return *(Dropdown *)w->data;
}

// --- geometry ---

static int32_t max_rows(const Dropdown &d)
{
    return std::max(1, (d.list_max - 2 * DROPDOWN_LIST_PAD) / DROPDOWN_ROW_HEIGHT);
}

static int32_t rows_shown(const Dropdown &d)
{
    return std::max(1, std::min(d.count, max_rows(d)));
}

static void keep_visible(Dropdown &d, int32_t row)
{
    int32_t rows = max_rows(d);
    if (row >= 0 && row < d.top)
        d.top = row;
    if (row >= d.top + rows)
        d.top = row - rows + 1;
    d.top = std::max(0, std::min(d.top, d.count - rows));
}

// The scroll bar's track and thumb relative to the list; false while every row shows.
static bool list_bar(const Dropdown &d, int32_t *track_y, int32_t *track_h, int32_t *thumb_y, int32_t *thumb_h)
{
    int32_t rows = max_rows(d);
    if (d.count <= rows)
        return false;
    int32_t w, h;
    window_size(d.list, &w, &h);
    *track_y = 1;
    *track_h = h - 2;
    *thumb_h = std::max(DROPDOWN_THUMB_MIN, *track_h * rows / d.count);
    *thumb_y = *track_y + (int32_t)((int64_t)(*track_h - *thumb_h) * d.top / (d.count - rows));
    return true;
}

// The row under a point relative to the list, -1 for none (or the scroll bar).
static int32_t row_at(const Dropdown &d, int32_t x, int32_t y)
{
    int32_t w, h, ty, th, my, mh;
    window_size(d.list, &w, &h);
    if (list_bar(d, &ty, &th, &my, &mh) && x >= w - 1 - DROPDOWN_BAR_WIDTH)
        return -1;
    if (x < 0 || x >= w || y < DROPDOWN_LIST_PAD)
        return -1;
    int32_t offset = (y - DROPDOWN_LIST_PAD) / DROPDOWN_ROW_HEIGHT;
    int32_t row = d.top + offset;
    return offset < rows_shown(d) && row < d.count ? row : -1;
}

// --- drawing ---

static void fill(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour)
{
    draw_set_fill(colour);
    draw_fill_rect(x, y, w, h);
}

struct BoxText {
    const char *text;
    int32_t x, y;
    uint32_t colour;
};

static void box_text_piece(int32_t x, int32_t y, int32_t w, int32_t h, void *ctx)
{
    const BoxText *t = (const BoxText *)ctx;
    gdi_text_in(x, y, w, h, &font_dialog, t->text, t->x, t->y, t->colour, 0, 0);
}

// Dialog-font text cut to a box on the screen and drawn only into the dirty runs, so it
// never thickens over a part of the box that is not repainted.
static void box_text(int32_t bx, int32_t by, int32_t bw, int32_t bh, const char *text, uint32_t colour)
{
    if (!text || !*text || bw <= 0 || bh <= 0)
        return;
    BoxText t = {text, bx + DROPDOWN_TEXT_X, by + (bh - font_dialog.height) / 2, colour};
    clip_each_dirty(bx, by, bw, bh, box_text_piece, &t);
}

static void field_draw(Dropdown &d, int32_t w, int32_t h)
{
    int32_t sx, sy;
    window_screen_position(d.field, &sx, &sy);
    if (!clip_is_dirty(sx, sy, w, h))
        return;
    skin_bevel(0, 0, w, h);
    int32_t arrow = h - 2;  // a square box at the right end
    int32_t text_w = w - 2 - arrow;
    fill(sx + 1, sy + 1, text_w, h - 2, skin_color(SKIN_COLOR_EDIT_BACKGROUND));
    if (dd.focus == d.field && d.list >= 0 && !window_shown(d.list))
        fill(sx + 2, sy + 2, text_w - 2, h - 4, skin_color(SKIN_COLOR_SELECTION));
    box_text(sx + 1, sy + 1, text_w - 1, h - 2, d.selected >= 0 ? d.items[d.selected] : "",
             skin_color(SKIN_COLOR_EDIT_TEXT));

    int32_t ax = sx + w - 1 - arrow, ay = sy + 1;
    fill(ax, ay, arrow, arrow, skin_color(SKIN_COLOR_BEVEL_B));
    fill(ax, ay, 1, arrow, skin_color(SKIN_COLOR_BEVEL_T));
    fill(ax + 1, ay, arrow - 1, 1, skin_color(SKIN_COLOR_BEVEL_RB));
    uint32_t ink = skin_color(SKIN_COLOR_BUTTON_TEXT_ACTIVE);
    int32_t cx = ax + arrow / 2, cy = ay + arrow / 2 - 2;
    for (int32_t i = 0; i < 4; i++)  // a small triangle pointing down
        fill(cx - 3 + i, cy + i, 7 - 2 * i, 1, ink);
}

static void list_draw(Dropdown &d, int32_t w, int32_t h)
{
    int32_t sx, sy;
    window_screen_position(d.list, &sx, &sy);
    if (!clip_is_dirty(sx, sy, w, h))
        return;
    uint32_t edge = skin_color(SKIN_COLOR_BEVEL_LT);
    fill(sx, sy, w, 1, edge);
    fill(sx, sy + h - 1, w, 1, edge);
    fill(sx, sy + 1, 1, h - 2, edge);
    fill(sx + w - 1, sy + 1, 1, h - 2, edge);
    fill(sx + 1, sy + 1, w - 2, h - 2, skin_color(SKIN_COLOR_EDIT_BACKGROUND));
    int32_t track_y, track_h, thumb_y, thumb_h;
    bool bar = list_bar(d, &track_y, &track_h, &thumb_y, &thumb_h);
    int32_t row_w = w - 2 - (bar ? DROPDOWN_BAR_WIDTH : 0);
    for (int32_t r = 0; r < rows_shown(d) && d.top + r < d.count; r++) {
        int32_t item = d.top + r, y = sy + DROPDOWN_LIST_PAD + r * DROPDOWN_ROW_HEIGHT;
        if (item == d.hot)
            fill(sx + 1, y, row_w, DROPDOWN_ROW_HEIGHT, skin_color(SKIN_COLOR_SELECTION));
        box_text(sx + 1, y, row_w - 1, DROPDOWN_ROW_HEIGHT, d.items[item], skin_color(SKIN_COLOR_EDIT_TEXT));
    }
    if (bar) {
        int32_t x = sx + w - 1 - DROPDOWN_BAR_WIDTH;
        fill(x, sy + 1, DROPDOWN_BAR_WIDTH, h - 2, skin_color(SKIN_COLOR_BEVEL_RB));
        fill(x, sy + 1, 1, h - 2, skin_color(SKIN_COLOR_BEVEL_RT));
        fill(x + 2, sy + thumb_y, DROPDOWN_BAR_WIDTH - 3, thumb_h, skin_color(SKIN_COLOR_BEVEL_T));
    }
}

// --- acting ---

static void mark_row(Dropdown &d, int32_t row)
{
    row = d.count == 0 ? -1 : std::max(0, std::min(row, d.count - 1));
    if (row == d.hot)
        return;
    d.hot = row;
    keep_visible(d, row);
    window_invalidate(d.list);
}

// Chooses an item for the player: the parent hears of a change.
static void choose(Dropdown &d, int32_t index)
{
    if (index < 0 || index >= d.count || index == d.selected)
        return;
    d.selected = index;
    window_invalidate(d.field);
    IoEvent clicked = {TW_CLICKED, d.field, index, 0};
    post_event(window_parent(d.field), &clicked);
}

static void scroll_to(Dropdown &d, int32_t top)
{
    top = std::max(0, std::min(top, d.count - max_rows(d)));
    if (top == d.top)
        return;
    d.top = top;
    window_invalidate(d.list);
}

static void list_press(Dropdown &d, int32_t x, int32_t y)
{
    int32_t track_y, track_h, thumb_y, thumb_h, w, h;
    window_size(d.list, &w, &h);
    if (list_bar(d, &track_y, &track_h, &thumb_y, &thumb_h) && x >= w - 1 - DROPDOWN_BAR_WIDTH) {
        if (y < thumb_y) {
            scroll_to(d, d.top - (max_rows(d) - 1));
        } else if (y >= thumb_y + thumb_h) {
            scroll_to(d, d.top + (max_rows(d) - 1));
        } else {
            d.thumb_grab = y - thumb_y;
            window_capture(d.list);
        }
        return;
    }
    int32_t row = row_at(d, x, y);
    if (row >= 0)
        mark_row(d, row);
}

static bool inside_field(const Dropdown &d, int32_t x, int32_t y)
{
    int32_t fx, fy, fw, fh;
    window_screen_position(d.field, &fx, &fy);
    window_size(d.field, &fw, &fh);
    return x >= fx && x < fx + fw && y >= fy && y < fy + fh;
}

static int32_t list_key(Dropdown &d, int32_t key)
{
    int32_t page = max_rows(d) - 1, at = std::max(d.hot, 0);
    switch (key) {
    case IO_VK_UP: mark_row(d, d.hot < 0 ? 0 : at - 1); return 1;
    case IO_VK_DOWN: mark_row(d, d.hot < 0 ? 0 : at + 1); return 1;
    case IO_VK_PAGEUP: mark_row(d, at - std::max(page, 1)); return 1;
    case IO_VK_PAGEDOWN: mark_row(d, at + std::max(page, 1)); return 1;
    case IO_VK_ENTER:
        choose(d, d.hot);
        dropdown_open(d.field, false);
        return 1;
    case IO_VK_ESCAPE:
    case IO_VK_TAB: dropdown_open(d.field, false); return 1;
    default: return 0;
    }
}

static int32_t field_key(Dropdown &d, int32_t key)
{
    if (dd.focus != d.field || window_shown(d.list))
        return 0;
    int32_t page = std::max(max_rows(d) - 1, 1), at = d.selected;
    switch (key) {
    case IO_VK_UP: choose(d, at < 0 ? 0 : std::max(at - 1, 0)); return 1;
    case IO_VK_DOWN: choose(d, std::min(at + 1, d.count - 1)); return 1;
    case IO_VK_PAGEUP: choose(d, std::max(at - page, 0)); return 1;
    case IO_VK_PAGEDOWN: choose(d, std::min(at + page, d.count - 1)); return 1;
    case IO_VK_F1 + 3: dropdown_open(d.field, true); return 1;  // F4, as the system's lists open
    default: return 0;
    }
}

static void free_items(Dropdown &d)
{
    for (int32_t i = 0; i < d.count; i++)
        io_mem_free(d.items[i]);
    if (d.items)
        io_mem_free(d.items);
    d.items = nullptr;
    d.count = d.capacity = 0;
    d.selected = d.hot = -1;
    d.top = 0;
}

// --- the handlers ---

static int32_t field_handler(int32_t window, IoEvent *event)
{
    Dropdown *d = (Dropdown *)window_data(window);
    switch (event->code) {
    case IO_FRAME: field_draw(*d, (int32_t)event->a, (int32_t)event->b); return 0;
    case IO_MOUSE_DOWN:
        if (event->c & IO_BUTTON_LEFT) {
            dropdown_set_focus(window);
            dropdown_open(window, !window_shown(d->list));
        }
        return 1;
    case IO_MOUSE_UP:
    case IO_MOUSE_MOVE: return 1;
    case IO_KEY_DOWN: return field_key(*d, (int32_t)event->a);
    case TW_DESTROY:
        free_items(*d);
        if (dd.focus == window)
            dd.focus = -1;
        io_mem_free(d);
        return 0;
    default: return 0;
    }
}

static int32_t list_handler(int32_t window, IoEvent *event)
{
    if (event->code == TW_DESTROY)
        return 0;  // the field's record may be gone already
    Dropdown &d = *(Dropdown *)window_data(window);
    switch (event->code) {
    case IO_FRAME: list_draw(d, (int32_t)event->a, (int32_t)event->b); return 0;
    case IO_MOUSE_DOWN:
        if (window_drag_mode() == 2) {
            window_drag_end();  // the thumb is let go, by any button
            return 1;
        }
        if (event->c & IO_BUTTON_LEFT)
            list_press(d, (int32_t)event->a, (int32_t)event->b);
        return 1;
    case IO_MOUSE_UP: {
        if (window_drag_mode() == 2) {
            window_drag_end();
            return 1;
        }
        int32_t row = row_at(d, (int32_t)event->a, (int32_t)event->b);
        if ((event->c & IO_BUTTON_LEFT) && row >= 0) {
            choose(d, row);
            dropdown_open(d.field, false);
        }
        return 1;
    }
    case IO_MOUSE_MOVE: {
        int32_t row = row_at(d, (int32_t)event->a, (int32_t)event->b);
        if (row >= 0)
            mark_row(d, row);
        return 1;
    }
    case TW_OUTSIDE: {
        // A press elsewhere closes the list; one on the field is the field's to toggle.
        int32_t button = (int32_t)event->c & (IO_BUTTON_LEFT | IO_BUTTON_RIGHT);
        bool press = button && (io_mouse_buttons & button);
        if (press && !inside_field(d, (int32_t)event->a, (int32_t)event->b))
            dropdown_open(d.field, false);
        return 0;
    }
    case IO_KEY_DOWN: return list_key(d, (int32_t)event->a);
    case TW_CAPTURE_MOVE: {
        int32_t track_y, track_h, thumb_y, thumb_h;
        const TwPoint *p = (const TwPoint *)event->c;
        if (list_bar(d, &track_y, &track_h, &thumb_y, &thumb_h) && track_h > thumb_h)
            scroll_to(d, (int32_t)((int64_t)(p->y - d.thumb_grab - track_y) * (d.count - max_rows(d)) /
                                   (track_h - thumb_h)));
        return 1;
    }
    default: return 0;
    }
}

// --- the interface ---

int32_t dropdown_create(int32_t parent, int32_t x, int32_t y, int32_t width, int32_t height, int32_t list_height)
{
    Dropdown *d = (Dropdown *)io_mem_alloc(sizeof(Dropdown));
    *d = {};
    d->list_max = list_height;
    d->selected = d->hot = -1;
    d->list = -1;
    d->field = window_register(parent, TWS_CHILD, x, y, width, height, field_handler, d);
    // The list is the parent's child too, so it can be raised over its other children.
    d->list = window_register(parent, TWS_CHILD | TWS_OUTSIDE, x, y + height, width,
                              DROPDOWN_ROW_HEIGHT + 2 * DROPDOWN_LIST_PAD, list_handler, d);
    window_show(d->list, 0);
    return d->field;
}

void dropdown_clear(int32_t dropdown)
{
    Dropdown &d = rec(dropdown);
    dropdown_open(dropdown, false);
    free_items(d);
    window_invalidate(dropdown);
}

int32_t dropdown_add(int32_t dropdown, const char *text)
{
    Dropdown &d = rec(dropdown);
    if (d.count == d.capacity) {
        int32_t capacity = d.capacity ? d.capacity * 2 : 8;
        d.items = (char **)(d.items ? io_mem_realloc(d.items, sizeof(char *) * (size_t)capacity)
                                    : io_mem_alloc(sizeof(char *) * (size_t)capacity));
        d.capacity = capacity;
    }
    size_t n = strlen(text ? text : "");
    char *copy = (char *)io_mem_alloc(n + 1);
    memcpy(copy, text ? text : "", n + 1);
    d.items[d.count] = copy;
    return d.count++;
}

int32_t dropdown_count(int32_t dropdown)
{
    return rec(dropdown).count;
}

const char *dropdown_text(int32_t dropdown, int32_t index)
{
    const Dropdown &d = rec(dropdown);
    return index >= 0 && index < d.count ? d.items[index] : nullptr;
}

int32_t dropdown_selected(int32_t dropdown)
{
    return rec(dropdown).selected;
}

void dropdown_select(int32_t dropdown, int32_t index)
{
    Dropdown &d = rec(dropdown);
    d.selected = index >= 0 && index < d.count ? index : -1;
    window_invalidate(dropdown);
}

void dropdown_open(int32_t dropdown, bool open)
{
    Dropdown &d = rec(dropdown);
    if (open == (window_shown(d.list) != 0))
        return;
    if (window_drag_mode() == 2)
        window_drag_end();  // a thumb held in the list goes with it
    if (open) {
        int32_t x, y, w, h;
        window_position(d.field, &x, &y);
        window_size(d.field, &w, &h);
        window_resize(d.list, w, rows_shown(d) * DROPDOWN_ROW_HEIGHT + 2 * DROPDOWN_LIST_PAD);
        window_move(d.list, x, y + h);
        d.hot = d.selected;
        d.top = 0;
        keep_visible(d, d.selected);
        window_show(d.list, 1);
        window_raise(d.list);
    } else {
        window_show(d.list, 0);
    }
    window_invalidate(dropdown);  // the field shows the focus only while closed
}

bool dropdown_is_open(int32_t dropdown)
{
    return window_shown(rec(dropdown).list) != 0;
}

int32_t dropdown_list_window(int32_t dropdown)
{
    return rec(dropdown).list;
}

int32_t dropdown_focus(void)
{
    return dd.focus;
}

void dropdown_set_focus(int32_t dropdown)
{
    if (dropdown >= 0)
        rec(dropdown);
    if (dd.focus == dropdown)
        return;
    if (dd.focus >= 0)
        window_invalidate(dd.focus);
    dd.focus = dropdown;
    if (dropdown >= 0)
        window_invalidate(dropdown);
}

bool dropdown_item_point(int32_t dropdown, int32_t index, int32_t *x, int32_t *y)
{
    const Dropdown &d = rec(dropdown);
    if (!window_shown(d.list) || index < d.top || index >= d.top + rows_shown(d) || index >= d.count)
        return false;
    int32_t sx, sy, w, h;
    window_screen_position(d.list, &sx, &sy);
    window_size(d.list, &w, &h);
    *x = sx + (w - DROPDOWN_BAR_WIDTH) / 2;
    *y = sy + DROPDOWN_LIST_PAD + (index - d.top) * DROPDOWN_ROW_HEIGHT + DROPDOWN_ROW_HEIGHT / 2;
    return true;
}

int32_t dropdown_top(int32_t dropdown)
{
    return rec(dropdown).top;
}
