// The small ready-made windows rooms build into their own: the button bar, the pop-up
// menu, the text window, the tool bar and the tab row. The shared dialogs live in
// msgbox.cpp and progress.cpp.
#include "ui/stdwin.h"

#include <algorithm>
#include <cstring>

#include "platform/log.h"
#include "platform/memory.h"
#include "res/lang.h"
#include "ui/button.h"
#include "ui/skin.h"
#include "ui/text.h"
#include "ui/window.h"

constexpr int32_t BUTTONBAR_WIDTH = 90;     // a bar button asked for with width -1
constexpr int32_t MENU_MIN_WIDTH = 71;
constexpr int32_t MENU_ITEM_HEIGHT = 24;
constexpr int32_t MENU_ITEMS = 24;
constexpr int32_t TEXTWIN_TEXT_TEXT = 15;   // the text window's title
constexpr int32_t TEXTWIN_MARGIN_X = 20;    // 10 either side of the text
constexpr int32_t TEXTWIN_MARGIN_Y = 28;    // title bar and 5 above the text, 5 below
constexpr int32_t TEXTWIN_TEXT_X = 10, TEXTWIN_TEXT_Y = 23;
constexpr int32_t TOOLBAR_HEIGHT = 18;
constexpr int32_t TOOLBAR_START = 24;       // the first button's x, after the bar's start piece
constexpr int32_t TABROW_HEIGHT = 32;
constexpr int32_t TABROW_TABS = 16;

// Frame flags of tabs: each continues into its neighbours, the ends close the row.
constexpr uint32_t TAB_FIRST = SKIN_OPEN_RIGHT, TAB_MIDDLE = SKIN_OPEN_LEFT | SKIN_OPEN_RIGHT,
                   TAB_LAST = SKIN_OPEN_LEFT, TAB_ALONE = 0;

// Any of these windows frees its record when the toolkit closes.
static int32_t free_on_destroy(int32_t window, IoEvent *event)
{
    if (event->code == TW_DESTROY)
        io_mem_free(window_data(window));
    return 0;
}

template <typename T> static T *new_record(void)
{
    T *r = (T *)io_mem_alloc(sizeof(T));
    *r = {};
    return r;
}

template <typename T> static T &record_of(int32_t window, const char *what)
{
    T *r = (T *)window_data(window);
    if (!r)
        io_error("%s: window %i has no record\n", what, window);
    return *r;
}

// --- button bar ---

struct ButtonBar {
    int32_t buttons[BUTTONBAR_SLOTS][2];  // main and alternate; -1 when none
    int32_t which[BUTTONBAR_SLOTS];       // the one shown: 0, 1 or -1
    int32_t left;                         // x of the leftmost shown button, the width when none
};

static ButtonBar &bar_of(int32_t bar)
{
    return record_of<ButtonBar>(bar, "buttonbar");
}

static int32_t buttonbar_handler(int32_t bar, IoEvent *event)
{
    if (event->code != IO_FRAME)
        return free_on_destroy(bar, event);
    const ButtonBar &b = bar_of(bar);
    int32_t width = (int32_t)event->a;
    if (b.left >= width) {
        skin_panel(SKIN_PANEL_DIALOG, 0, 0, width, BUTTONBAR_HEIGHT);
        return 0;
    }
    if (b.left > 0)
        skin_panel(SKIN_PANEL_BAR_START, 0, 0, b.left, BUTTONBAR_HEIGHT);
    skin_panel(SKIN_PANEL_BAR, b.left, 0, width - b.left, BUTTONBAR_HEIGHT);
    return 0;
}

int32_t buttonbar_create(int32_t window)
{
    ButtonBar *b = new_record<ButtonBar>();
    for (int32_t s = 0; s < BUTTONBAR_SLOTS; s++) {
        b->buttons[s][0] = b->buttons[s][1] = -1;
        b->which[s] = -1;
    }
    const TWindow *p = window_get(window);
    b->left = p->width;
    return window_register(window, TWS_CHILD, 0, p->height - BUTTONBAR_HEIGHT, p->width, BUTTONBAR_HEIGHT,
                           buttonbar_handler, b);
}

int32_t buttonbar_add(int32_t bar, int32_t slot, int32_t alternate, const char *text, int32_t image, int32_t key,
                      int32_t width)
{
    ButtonBar &b = bar_of(bar);
    if (slot < 0 || slot >= BUTTONBAR_SLOTS || alternate < 0 || alternate > 1)
        io_error("buttonbar_add: invalid slot %i (%i)\n", slot, alternate);
    if (b.buttons[slot][alternate] >= 0)
        io_error("buttonbar_add: slot %i (%i) is taken\n", slot, alternate);
    uint32_t style = text ? BS_PUSH | BS_TEXT | BS_FRAME : BS_PUSH | BS_ICON | BS_FRAME;
    int32_t button = button_register(bar, style, 0, 0, width < 0 ? BUTTONBAR_WIDTH : width, BUTTONBAR_HEIGHT,
                                     text ? 0 : image, text, 0, key);
    // The dialog hears its buttons, not the strip they sit on.
    button_set_notify(button, window_parent(bar));
    b.buttons[slot][alternate] = button;
    if (alternate == 0 && b.which[slot] < 0)
        b.which[slot] = 0;
    buttonbar_layout(bar);
    return button;
}

int32_t buttonbar_button(int32_t bar, int32_t slot, int32_t alternate)
{
    const ButtonBar &b = bar_of(bar);
    if (slot < 0 || slot >= BUTTONBAR_SLOTS || alternate < 0 || alternate > 1)
        return -1;
    return b.buttons[slot][alternate];
}

void buttonbar_show(int32_t bar, int32_t slot, int32_t which)
{
    ButtonBar &b = bar_of(bar);
    if (slot < 0 || slot >= BUTTONBAR_SLOTS)
        io_error("buttonbar_show: invalid slot %i\n", slot);
    b.which[slot] = which == 0 || which == 1 ? which : -1;
    buttonbar_layout(bar);
}

void buttonbar_layout(int32_t bar)
{
    ButtonBar &b = bar_of(bar);
    const TWindow *p = window_get(window_parent(bar));
    window_resize(bar, p->width, BUTTONBAR_HEIGHT);
    window_move(bar, 0, p->height - BUTTONBAR_HEIGHT);
    // Slot 0 lies against the right edge, each next slot left of the one before.
    int32_t right = p->width;
    for (int32_t s = 0; s < BUTTONBAR_SLOTS; s++)
        for (int32_t alt = 0; alt < 2; alt++) {
            int32_t button = b.buttons[s][alt];
            if (button < 0)
                continue;
            bool shown = b.which[s] == alt;
            window_show(button, shown);
            if (!shown)
                continue;
            right -= window_get(button)->width;
            window_move(button, right, 0);
        }
    b.left = right;
    window_invalidate(bar);
}

// --- pop-up menu ---

struct Menu {
    int32_t count;
    int32_t items[MENU_ITEMS];
    int32_t actions[MENU_ITEMS];
};

static Menu &menu_of(int32_t menu)
{
    return record_of<Menu>(menu, "menu");
}

static int32_t menu_handler(int32_t menu, IoEvent *event)
{
    if (event->code != TW_CLICKED)
        return free_on_destroy(menu, event);
    const Menu &m = menu_of(menu);
    for (int32_t i = 0; i < m.count; i++)
        if (m.items[i] == event->a) {
            // The choice goes to the menu's owner and the menu closes.
            IoEvent chosen = {TW_CLICKED, menu, m.actions[i], 0};
            post_event(window_parent(menu), &chosen);
            window_show(menu, 0);
            return 1;
        }
    return 0;
}

int32_t menu_create(int32_t parent)
{
    int32_t menu = window_register(parent, TWS_CHILD | TWS_FRAME, 0, 0, MENU_MIN_WIDTH, TW_TITLE_HEIGHT, menu_handler,
                                   new_record<Menu>());
    window_show(menu, 0);  // shown where menu_layout puts it
    return menu;
}

int32_t menu_add(int32_t menu, const char *text, int32_t action)
{
    Menu &m = menu_of(menu);
    if (m.count >= MENU_ITEMS)
        io_error("menu_add: too many items (%s)\n", text);
    int32_t y = TW_TITLE_HEIGHT + MENU_ITEM_HEIGHT * m.count;
    int32_t item = button_register(menu, BS_PUSH | BS_TEXT | BS_FRAME, 0, y, 0, MENU_ITEM_HEIGHT, 0, text,
                                   SKIN_OPEN_TOP | SKIN_OPEN_BOTTOM, 0);
    m.items[m.count] = item;
    m.actions[m.count] = action;
    m.count++;
    return item;
}

void menu_layout(int32_t menu, int32_t x, int32_t y)
{
    const Menu &m = menu_of(menu);
    int32_t width = MENU_MIN_WIDTH;
    for (int32_t i = 0; i < m.count; i++)
        width = std::max(width, window_get(m.items[i])->width);
    for (int32_t i = 0; i < m.count; i++) {
        window_resize(m.items[i], width, MENU_ITEM_HEIGHT);
        window_move(m.items[i], 0, TW_TITLE_HEIGHT + MENU_ITEM_HEIGHT * i);
        // Items run on into each other under the title bar; the last one closes the frame.
        button_set_frame(m.items[i], i == m.count - 1 ? SKIN_OPEN_TOP : SKIN_OPEN_TOP | SKIN_OPEN_BOTTOM);
    }
    window_resize(menu, width, TW_TITLE_HEIGHT + MENU_ITEM_HEIGHT * m.count);
    window_move(menu, x, y);
    window_show(menu, 1);
    window_raise(menu);
}

// --- text window ---

struct TextWin {
    int32_t min_width, min_height;  // the size asked for at creation
    char *text;                     // owned copy, or null
};

static TextWin &textwin_of(int32_t window)
{
    return record_of<TextWin>(window, "textwin");
}

static void textwin_font(int32_t wrap)
{
    text_set_font(&font_dialog, skin_color(SKIN_COLOR_MSGBOX_TEXT), skin_color(SKIN_COLOR_MSGBOX_TEXT_SHADOW));
    text_set_layout(1, wrap);
}

static int32_t textwin_handler(int32_t window, IoEvent *event)
{
    TextWin &t = textwin_of(window);
    if (event->code == TW_DESTROY) {
        io_mem_free(t.text);
        io_mem_free(&t);
        return 0;
    }
    if (event->code != IO_FRAME)
        return 0;
    int32_t width = (int32_t)event->a, height = (int32_t)event->b;
    skin_panel(SKIN_PANEL_DIALOG, 0, TW_TITLE_HEIGHT, width, height - TW_TITLE_HEIGHT);
    if (t.text) {
        int32_t sx, sy;
        window_screen_position(window, &sx, &sy);
        textwin_font(width - TEXTWIN_MARGIN_X);
        window_text_draw(sx, sy, t.text, TEXTWIN_TEXT_X, TEXTWIN_TEXT_Y);
    }
    return 0;
}

int32_t textwin_create(int32_t parent, int32_t width, int32_t lines, uint32_t style)
{
    TextWin *t = new_record<TextWin>();
    t->min_width = width;
    // Room for `lines` lines of the dialog font below the title, as a text of that many
    // lines would get.
    t->min_height = lines * font_dialog.line + TEXTWIN_MARGIN_Y;
    int32_t window = window_register(parent, TWS_CHILD | TWS_FRAME | TWS_RAISE | style, 0, 0, t->min_width, t->min_height,
                                     textwin_handler, t);
    window_set_title(window, lt_get(TEXTWIN_TEXT_TEXT));
    return window;
}

void textwin_set(int32_t window, const char *text)
{
    TextWin &t = textwin_of(window);
    io_mem_free(t.text);
    t.text = nullptr;
    int32_t tw = 0, th = 0;
    if (text && *text) {
        size_t n = strlen(text) + 1;
        t.text = (char *)io_mem_alloc(n);
        memcpy(t.text, text, n);
        textwin_font(t.min_width - TEXTWIN_MARGIN_X);
        text_measure(t.text, &tw, &th);
    }
    window_set_size(window, std::max(t.min_width, tw + TEXTWIN_MARGIN_X), std::max(t.min_height, th + TEXTWIN_MARGIN_Y));
    window_invalidate(window);
}

// --- tool bar ---

struct ToolBar {
    int32_t next_x;  // where the next button goes
};

static int32_t toolbar_handler(int32_t bar, IoEvent *event)
{
    if (event->code != IO_FRAME)
        return free_on_destroy(bar, event);
    int32_t width = (int32_t)event->a;
    skin_panel(SKIN_PANEL_BAR_START, 0, 0, std::min(width, TOOLBAR_START), TOOLBAR_HEIGHT);
    if (width > TOOLBAR_START)
        skin_panel(SKIN_PANEL_BAR, TOOLBAR_START, 0, width - TOOLBAR_START, TOOLBAR_HEIGHT);
    return 0;
}

int32_t toolbar_create(int32_t window)
{
    ToolBar *t = new_record<ToolBar>();
    t->next_x = TOOLBAR_START;
    const TWindow *p = window_get(window);
    return window_register(window, TWS_CHILD, 0, p->height - TOOLBAR_HEIGHT, p->width, TOOLBAR_HEIGHT,
                           toolbar_handler, t);
}

int32_t toolbar_add(int32_t bar, int32_t image)
{
    ToolBar &t = record_of<ToolBar>(bar, "toolbar");
    int32_t button = button_register(bar, BS_PUSH | BS_ICON, t.next_x, 0, 0, 0, image, nullptr, 0, 0);
    button_set_notify(button, window_parent(bar));
    t.next_x += window_get(button)->width;
    return button;
}

void toolbar_dock(int32_t bar)
{
    const TWindow *p = window_get(window_parent(bar));
    window_resize(bar, p->width, TOOLBAR_HEIGHT);
    window_move(bar, 0, p->height - TOOLBAR_HEIGHT);
}

// --- tab row ---

struct TabRow {
    int32_t count;
    int32_t tabs[TABROW_TABS];
    int32_t width;
};

static TabRow &tabrow_of(int32_t row)
{
    return record_of<TabRow>(row, "tabrow");
}

int32_t tabrow_create(int32_t parent, int32_t x, int32_t y)
{
    return window_register(parent, TWS_CHILD, x, y, 0, TABROW_HEIGHT, free_on_destroy, new_record<TabRow>());
}

int32_t tabrow_add(int32_t row, const char *text, int32_t image)
{
    TabRow &r = tabrow_of(row);
    if (r.count >= TABROW_TABS)
        io_error("tabrow_add: too many tabs (%s)\n", text ? text : "");
    uint32_t style = BS_PUSH | BS_FRAME | (text ? BS_TEXT : 0u) | (image >= 0 ? BS_ICON : 0u);
    int32_t tab = button_register(row, style, r.width, 0, 0, TABROW_HEIGHT, std::max(image, 0), text,
                                  r.count == 0 ? TAB_FIRST : TAB_MIDDLE, 0);
    button_set_notify(tab, window_parent(row));
    r.tabs[r.count++] = tab;
    r.width += window_get(tab)->width;
    window_resize(row, r.width, TABROW_HEIGHT);
    return tab;
}

void tabrow_done(int32_t row)
{
    const TabRow &r = tabrow_of(row);
    if (r.count == 1)
        button_set_frame(r.tabs[0], TAB_ALONE);
    else if (r.count > 1)
        button_set_frame(r.tabs[r.count - 1], TAB_LAST);
}

// --- geometry ---

void window_set_height_keep_bottom(int32_t window, int32_t width, int32_t height)
{
    int32_t x, y, w, h;
    window_position(window, &x, &y);
    window_size(window, &w, &h);
    window_set_size(window, width, height);
    window_move(window, x, std::max(0, y + h - height));
}
