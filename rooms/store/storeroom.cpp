// The store room: its windows, the player's presses, drags and keys on the table of
// boxes, and the actions of its panels and tools window.
#include "rooms/store/storeroom.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/config.h"
#include "platform/events.h"
#include "platform/log.h"
#include "platform/loop.h"
#include "platform/services.h"
#include "platform/video.h"
#include "res/ini.h"
#include "res/lang.h"
#include "rooms/create/createroom.h"
#include "rooms/gallery/galleryroom.h"
#include "rooms/gift/gift.h"
#include "rooms/play/playroom.h"
#include "ui/button.h"
#include "ui/desktop.h"
#include "ui/help.h"
#include "ui/options.h"
#include "ui/placement.h"
#include "ui/stdwin.h"
#include "ui/text.h"
#include "ui/window.h"

StoreRoomState storeroom;

static const char *const STORE_SECTION = "STOREROOM";
constexpr int32_t STORE_BUTTON_HEIGHT = 24;
constexpr int32_t STORE_PANEL_MIN_WIDTH = 71;
constexpr int32_t STORE_TOOL_WIDTH = 75;
constexpr int32_t STORE_TOOLS_WIDTH = 300, STORE_TOOLS_HEIGHT = 66;
constexpr int32_t STORE_INFO_WIDTH = 200, STORE_INFO_LINES = 3;
constexpr int32_t STORE_HELP_TOPIC = 0, STORE_GIFT_HELP_TOPIC = 10;
constexpr int32_t STORE_TEXT_OPTIONS = 128;
constexpr int32_t STORE_DOUBLE_CLICK_SLACK = 3;  // presses closer than this make a double click

enum { MAIN_OPEN, MAIN_CREATE, MAIN_GIFT, MAIN_GALLERY, MAIN_HELP, MAIN_QUIT };
static const int32_t main_texts[STORE_MAIN_BUTTONS] = {110, 111, 112, 113, 115, 116};
enum { GIFT_OPEN, GIFT_LEAVE, GIFT_HELP, GIFT_QUIT };

// The tools window: text, place and width of each button. The Options button shares the
// second row with the web page's, which is why that one is as wide as the others.
static const struct {
    int32_t text, x, y;
} tool_layout[STORE_TOOL_BUTTONS] = {
    {121, 0, 18}, {122, 75, 18}, {123, 150, 18}, {126, 225, 18},
    {124, 0, 42}, {125, 75, 42}, {127, 225, 42}, {STORE_TEXT_OPTIONS, 150, 42},
};

static struct {
    void (*about)(void);
} store;

void storeroom_set_about(void (*about)(void))
{
    store.about = about;
}

// --- selection ---

void storeroom_count_selection(void)
{
    storeroom.selected_count = 0;
    storeroom.single = nullptr;
    for (ShelfBox *box = shelf.head; box; box = box->next)
        if (box->selected) {
            storeroom.selected_count++;
            storeroom.single = box;
        }
    if (storeroom.selected_count != 1)
        storeroom.single = nullptr;
}

// A box that becomes selected comes to the top.
static void toggle(ShelfBox *box)
{
    box->selected = !box->selected;
    storeroom_mark(box);
    if (box->selected)
        shelf_to_head(box);
    storeroom_count_selection();
}

static void deselect_all(void)
{
    for (ShelfBox *box = shelf.head; box; box = box->next)
        if (box->selected) {
            box->selected = 0;
            storeroom_mark(box);
        }
    storeroom_count_selection();
}

int32_t storeroom_check(uint32_t need)
{
    storeroom_count_selection();
    int32_t text = 0;
    if ((need & STORE_NEED_SOME) && storeroom.selected_count == 0)
        text = STORE_TEXT_SELECT_SOME;
    else if ((need & STORE_NEED_ONE) && storeroom.selected_count != 1)
        text = storeroom.selected_count == 0 ? STORE_TEXT_SELECT_ONE : STORE_TEXT_ONLY_ONE;
    else if ((need & STORE_NEED_NO_LINK) && storeroom.single && storeroom.single->info.link_box)
        text = STORE_TEXT_LINK;
    if (text)
        msg_box_text(text, MB_OK);
    return text == 0;
}

ShelfBox *storeroom_box_at(int32_t x, int32_t y)
{
    for (ShelfBox *box = shelf.head; box; box = box->next)
        if (x >= box->x && x < box->x + box->preview_width && y >= box->y && y < box->y + box->preview_height)
            return box;
    return nullptr;
}

// --- the info text ---

void storeroom_info_text(const ShelfBox *box, char *buffer, int32_t size)
{
    buffer[0] = 0;
    if (!box)
        return;
    if (box->info.link_box) {
        snprintf(buffer, (size_t)size, "%s", box->description ? box->description : "");
        return;
    }
    int32_t n = snprintf(buffer, (size_t)size, "%s: %s\n%s: %ix%i %s: %i%%\n", lt_get(STORE_TEXT_BOX), box->name,
                         lt_get(STORE_TEXT_SIZE), box->info.picture_width, box->info.picture_height,
                         lt_get(STORE_TEXT_DONE), box->summary.progress);
    if (box->summary.progress > 0 && n >= 0 && n < size) {
        char time[32];
        format_duration(box->summary.play_time, time, (int32_t)sizeof time);
        n += snprintf(buffer + n, (size_t)(size - n), "%s: %s", lt_get(STORE_TEXT_TIME), time);
        // The date is the saved game's own text, terminated within its field or not.
        if (box->summary.date[0] && n < size)
            snprintf(buffer + n, (size_t)(size - n), " %.*s", (int)sizeof box->summary.date, box->summary.date);
    }
}

void storeroom_show_info(const ShelfBox *box)
{
    char text[512];
    storeroom_info_text(box, text, (int32_t)sizeof text);
    storeroom.shown = box;
    textwin_set(storeroom.info_window, text);
}

// --- rooms and refreshing ---

void storeroom_refresh(void)
{
    storeroom_count_selection();
    storeroom_show_info(storeroom.single);
    storeroom.has_press = 0;
    window_invalidate(storeroom.window);
}

void storeroom_enter(void)
{
    window_focus(storeroom.window);
    window_show(storeroom.window, 1);
    storeroom_refresh();
}

static void show_panels(void)
{
    int32_t gift = storeroom.gift_interface;
    window_show(storeroom.main_panel, !gift);
    window_show(storeroom.tools_window, !gift);
    window_show(storeroom.info_window, !gift);
    window_show(storeroom.gift_panel, gift);
}

// Back from a game: the box's progress, a finished surprise unwrapped, the room shown.
static void after_game(const char *name)
{
    if (ShelfBox *box = shelf_find(name))
        shelf_refresh_box(box);
    storeroom_enter();
}

void storeroom_box_handed_in(const char *name)
{
    ShelfBox *box = shelf_add_named(name);
    if (!box)
        return;
    storeroom_mark(box);
    storeroom_count_selection();
}

// --- actions ---

// Forgets the box's game: the pieces are dealt anew at the next opening.
static void restart_box(ShelfBox *box)
{
    shelf_restart(box);
    storeroom_mark(box);
}

// Leaves whatever the press was doing for another room.
static void forget_press(void)
{
    storeroom.has_press = 0;
    if (window_drag_mode() != 0)
        window_drag_end();
}

// Takes the box into another room (playing it, changing it): it is new no more. The
// room gets a copy of the name, as the shelf's record may change while the room works.
static void enter_room_with(ShelfBox *box, int32_t (*enter)(const char *name))
{
    box->is_new = 0;
    storeroom_mark(box);
    forget_press();
    char name[sizeof box->name];
    memcpy(name, box->name, sizeof name);
    if (!enter(name)) {
        io_log("storeroom: the box \"%s\" could not be opened\n", name);
        msg_box_text(STORE_TEXT_UNREADABLE, MB_OK);
    }
}

static void open_box(ShelfBox *box)
{
    if (box->info.link_box) {
        char address[1024];
        maker_page(address, (int32_t)sizeof address, box->address ? box->address : "");
        open_document(address);
        return;
    }
    if (box->summary.progress == 100 && msg_box_text(STORE_TEXT_FINISHED, MB_YES | MB_NO) == 1)
        restart_box(box);
    enter_room_with(box, playroom_open);
}

void storeroom_open_selected(void)
{
    if (storeroom_check(STORE_NEED_ONE))
        open_box(storeroom.single);
}

void storeroom_delete_selected(void)
{
    if (!storeroom_check(STORE_NEED_SOME))
        return;
    int32_t text = storeroom.selected_count == 1 ? STORE_TEXT_DELETE_ONE : STORE_TEXT_DELETE_MANY;
    if (msg_box_text(text, MB_YES | MB_NO) != 1)
        return;
    storeroom_show_info(nullptr);
    for (ShelfBox *box = shelf.head, *next; box; box = next) {
        next = box->next;
        if (!box->selected)
            continue;
        storeroom_erase(box);
        shelf_delete(box);
    }
    storeroom_count_selection();
}

void storeroom_restart_selected(void)
{
    if (!storeroom_check(STORE_NEED_SOME | STORE_NEED_NO_LINK))
        return;
    int32_t text = storeroom.selected_count == 1 ? STORE_TEXT_RESTART_ONE : STORE_TEXT_RESTART_MANY;
    if (msg_box_text(text, MB_YES | MB_NO) != 1)
        return;
    for (ShelfBox *box = shelf.head; box; box = box->next)
        if (box->selected && !box->info.link_box)
            restart_box(box);
    storeroom_show_info(storeroom.single);
}

void storeroom_rename_selected(void)
{
    if (!storeroom_check(STORE_NEED_ONE | STORE_NEED_NO_LINK))
        return;
    ShelfBox *box = storeroom.single;
    char input[BOX_NAME_MAX + 2];
    snprintf(input, sizeof input, "%s", box->name);
    for (;;) {
        if (!text_entry(lt_get(STORE_TEXT_RENAME), input, BOX_NAME_MAX + 2, 0))
            return;
        switch (shelf_rename(box, input)) {
        case SHELF_NAME_INVALID: continue;  // asks again
        case SHELF_NAME_TAKEN: msg_box_text(STORE_TEXT_TAKEN, MB_OK); continue;
        case SHELF_NAME_OK:
            storeroom_mark(box);
            if (storeroom.shown == box)
                storeroom_show_info(box);
            return;
        case SHELF_NAME_FAILED: io_log("storeroom: \"%s\" could not be renamed to \"%s\"\n", box->name, input); return;
        default: return;  // the same name: nothing to do
        }
    }
}

void storeroom_picture_selected(void)
{
    if (!storeroom_check(STORE_NEED_ONE | STORE_NEED_NO_LINK))
        return;
    if (storeroom.single->summary.progress < 100) {
        msg_box_text(STORE_TEXT_UNFINISHED, MB_OK);
        return;
    }
    storeroom_picture_dialog(storeroom.single);
}

void storeroom_gallery(void)
{
    forget_press();
    galleryroom_enter();
}

void storeroom_create_box(void)
{
    forget_press();
    createroom_enter(nullptr);
}

void storeroom_edit_selected(void)
{
    if (!storeroom_check(STORE_NEED_ONE | STORE_NEED_NO_LINK))
        return;
    ShelfBox *box = storeroom.single;
    if (box->info.surprise) {
        msg_box_text(STORE_TEXT_SURPRISE, MB_OK);
        return;
    }
    // The create room's desk is the play room's table: a picture larger than it was made
    // on a larger screen, and its cut could not be shown here.
    if (box->info.picture_width > screen.width - 20 || box->info.picture_height > screen.height - 80) {
        msg_box_text(STORE_TEXT_TOO_LARGE, MB_OK);
        return;
    }
    enter_room_with(box, createroom_enter);
}

static void open_website(void)
{
    char address[1024];
    maker_page(address, (int32_t)sizeof address, "");
    open_document(address);
}

// The selected boxes packed into a gift, saved or mailed.
void storeroom_gift_selected(void)
{
    forget_press();
    if (storeroom_check(STORE_NEED_SOME))
        gift_make();
}

// The options take effect at once: force feedback, and the table in its new colour.
static void run_options(void)
{
    forget_press();
    if (options_run() != 1)
        return;
    options_apply();
    storeroom_refresh();
}

static void leave_gift_interface(void)
{
    storeroom.gift_interface = 0;
    show_panels();
    storeroom_refresh();
}

// --- the room window ---

// A left press on the table (the modifier is Ctrl).
static void press(int32_t x, int32_t y, int32_t modifier)
{
    ShelfBox *box = storeroom_box_at(x, y);
    storeroom_show_info(box);
    int64_t now = io_time();
    if (storeroom.has_press && now - storeroom.press_time < storeroom.double_click_ms &&
        abs(x - storeroom.press_x) < STORE_DOUBLE_CLICK_SLACK && abs(y - storeroom.press_y) < STORE_DOUBLE_CLICK_SLACK) {
        storeroom.has_press = 0;
        if (box) {
            open_box(box);
        } else {
            if (!modifier)
                deselect_all();
            window_rubber_band(storeroom.window);
        }
        return;
    }
    storeroom.has_press = 1;
    storeroom.press_time = now;
    storeroom.press_x = x;
    storeroom.press_y = y;
    if (!box) {
        if (!modifier)
            deselect_all();
        window_rubber_band(storeroom.window);
        return;
    }
    if (modifier) {
        toggle(box);
        return;
    }
    if (!box->selected) {
        deselect_all();
        toggle(box);
    }
    for (ShelfBox *b = shelf.head; b; b = b->next)
        if (b->selected) {
            b->drag_x = b->x;
            b->drag_y = b->y;
            b->dragging = 1;
        }
    window_capture(storeroom.window);
}

// Every dragged box lies down at its last drag place.
static void drag_end(void)
{
    for (ShelfBox *box = shelf.head; box; box = box->next)
        if (box->dragging) {
            box->dragging = 0;
            int32_t x = box->drag_x, y = box->drag_y;
            shelf_clamp(box, &x, &y);
            box->x = x;
            box->y = y;
        }
}

static void band_end(const TwBand *band)
{
    if (!band->ctrl)
        deselect_all();
    // From the head: a box that becomes selected moves there, among those already seen.
    for (ShelfBox *box = shelf.head, *next; box; box = next) {
        next = box->next;
        int32_t cx = box->x + box->preview_width / 2, cy = box->y + box->preview_height / 2;
        if (cx >= band->x && cx < band->x + band->width && cy >= band->y && cy < band->y + band->height)
            toggle(box);
    }
    if (storeroom.selected_count == 1)
        storeroom_show_info(storeroom.single);
}

static void clicked(int32_t button)
{
    const int32_t *m = storeroom.main_buttons, *g = storeroom.gift_buttons, *t = storeroom.tool_buttons;
    if (button == m[MAIN_OPEN] || button == g[GIFT_OPEN])
        storeroom_open_selected();
    else if (button == m[MAIN_HELP])
        help_show(STORE_HELP_TOPIC);
    else if (button == g[GIFT_HELP])
        help_show(STORE_GIFT_HELP_TOPIC);
    else if (button == m[MAIN_QUIT] || button == g[GIFT_QUIT])
        io_request_quit();
    else if (button == g[GIFT_LEAVE])
        leave_gift_interface();
    else if (button == m[MAIN_CREATE])
        storeroom_create_box();
    else if (button == m[MAIN_GIFT])
        storeroom_gift_selected();
    else if (button == m[MAIN_GALLERY])
        storeroom_gallery();
    else if (button == t[STORE_TOOL_EDIT])
        storeroom_edit_selected();
    else if (button == t[STORE_TOOL_DELETE])
        storeroom_delete_selected();
    else if (button == t[STORE_TOOL_PICTURE])
        storeroom_picture_selected();
    else if (button == t[STORE_TOOL_RESTART])
        storeroom_restart_selected();
    else if (button == t[STORE_TOOL_RENAME])
        storeroom_rename_selected();
    else if (button == t[STORE_TOOL_ABOUT] && store.about)
        store.about();
    else if (button == t[STORE_TOOL_WEBSITE])
        open_website();
    else if (button == t[STORE_TOOL_OPTIONS])
        run_options();
}

static void room_closed(void)
{
    shelf_save();
    storeroom.shown = storeroom.single = nullptr;
    settings_save_window(storeroom.main_panel, STORE_SECTION, "CPMainWin");
    settings_save_window(storeroom.gift_panel, STORE_SECTION, "CPGiftWin");
    settings_save_window(storeroom.info_window, STORE_SECTION, "InfoWin");
    settings_save_window(storeroom.tools_window, STORE_SECTION, "ToolsWin");
    ini_set_bool(SETTINGS_CONFIG, "MAIN", "GiftIFace", storeroom.gift_interface);
    help_close(nullptr);
    storeroom_paint_done();
}

static int32_t room_handler(int32_t, IoEvent *e)
{
    switch (e->code) {
    case IO_FRAME: storeroom_paint(); return 0;
    case TW_CAPTURE_FRAME:
        for (ShelfBox *box = shelf.tail; box; box = box->prev)
            if (box->dragging)
                storeroom_draw_box(box);
        return 1;
    case IO_MOUSE_DOWN:
        if (e->c & 8)
            return 1;  // another button while boxes are carried
        // The corner logo lies on the table: a press on it is the desktop's.
        if ((e->c & 3) != IO_BUTTON_LEFT || background_logo_lit())
            return 0;
        press((int32_t)e->a, (int32_t)e->b, (e->c & IO_BUTTON_CTRL) != 0);
        return 1;
    case IO_MOUSE_UP:
        if (e->c & 8)
            window_drag_end();
        return (e->c & 8) != 0;
    case TW_CAPTURE_MOVE:
        for (ShelfBox *box = shelf.head; box; box = box->next)
            if (box->dragging) {
                box->drag_x += (int32_t)e->a;
                box->drag_y += (int32_t)e->b;
            }
        return 1;
    case TW_CAPTURE_END: drag_end(); return 1;
    case TW_BAND_END: band_end((const TwBand *)e->c); return 1;
    case IO_KEY_DOWN:
        if (e->a == IO_VK_ENTER)
            storeroom_open_selected();
        else if (e->a == IO_VK_DELETE)
            storeroom_delete_selected();
        else
            return 0;
        return 1;
    case TW_CLICKED: clicked((int32_t)e->a); return 1;
    case TW_DESTROY: room_closed(); return 0;
    default: return 0;
    }
}

// --- making the room ---

static int32_t panel_handler(int32_t, IoEvent *e)
{
    switch (e->code) {
    case IO_FRAME: skin_frame(0, 0, TW_TITLE_HEIGHT, (int32_t)e->a, (int32_t)e->b - TW_TITLE_HEIGHT); return 0;
    case TW_CLICKED: clicked((int32_t)e->a); return 1;
    default: return 0;
    }
}

// A vertical panel of buttons as wide as its widest label, at least 71.
static int32_t make_panel(int32_t title, const int32_t *texts, int32_t count, int32_t *buttons)
{
    int32_t width = STORE_PANEL_MIN_WIDTH;
    text_set_font(&font_medium, 0, TEXT_NONE);
    for (int32_t n = 0; n < count; n++) {
        int32_t w, h;
        text_measure(lt_get(texts[n]), &w, &h);
        width = std::max(width, w + 16);
    }
    int32_t panel = window_register(storeroom.window, TWS_CHILD | TWS_RAISE | TWS_FRAME, 20, 50, width,
                                    TW_TITLE_HEIGHT + STORE_BUTTON_HEIGHT * count, panel_handler, nullptr);
    window_set_title(panel, lt_get(title));
    for (int32_t n = 0; n < count; n++)
        buttons[n] = button_register(panel, BS_PUSH | BS_TEXT | BS_NOTIFY, 0, TW_TITLE_HEIGHT + STORE_BUTTON_HEIGHT * n,
                                     width, STORE_BUTTON_HEIGHT, 0, lt_get(texts[n]), 0, 0);
    return panel;
}

void storeroom_create(void)
{
    storeroom = {};
    storeroom.window = window_register(-1, TWS_FULLSCREEN, 0, 0, 0, 0, room_handler, nullptr);
    window_set_title(storeroom.window, "STOREROOM");
    window_show(storeroom.window, 0);

    storeroom.main_panel = make_panel(STORE_TEXT_TITLE, main_texts, STORE_MAIN_BUTTONS, storeroom.main_buttons);
    static const int32_t gift_texts[STORE_GIFT_BUTTONS] = {191, 192, 193, 194};
    storeroom.gift_panel = make_panel(STORE_TEXT_GIFT_TITLE, gift_texts, STORE_GIFT_BUTTONS, storeroom.gift_buttons);

    storeroom.info_window = textwin_create(storeroom.window, STORE_INFO_WIDTH, STORE_INFO_LINES, TWS_COLLAPSE);
    window_move(storeroom.info_window, 20, 400);
    storeroom.tools_window = window_register(storeroom.window, TWS_CHILD | TWS_RAISE | TWS_FRAME | TWS_COLLAPSE, 320, 50,
                                             STORE_TOOLS_WIDTH, STORE_TOOLS_HEIGHT, panel_handler, nullptr);
    window_set_title(storeroom.tools_window, lt_get(STORE_TEXT_TOOLS));
    for (int32_t n = 0; n < STORE_TOOL_BUTTONS; n++)
        storeroom.tool_buttons[n] =
            button_register(storeroom.tools_window, BS_PUSH | BS_TEXT | BS_NOTIFY, tool_layout[n].x, tool_layout[n].y,
                            STORE_TOOL_WIDTH, STORE_BUTTON_HEIGHT, 0, lt_get(tool_layout[n].text), 0, 0);
    storeroom_picture_create();

    int32_t gift = 0;
    storeroom.gift_interface = ini_get_bool(SETTINGS_CONFIG, "MAIN", "GiftIFace", &gift) ? gift : 0;
    show_panels();
    settings_load_window(storeroom.main_panel, STORE_SECTION, "CPMainWin", SETTINGS_POSITION);
    settings_load_window(storeroom.gift_panel, STORE_SECTION, "CPGiftWin", SETTINGS_POSITION);
    settings_load_window(storeroom.info_window, STORE_SECTION, "InfoWin", SETTINGS_POSITION | SETTINGS_COLLAPSED);
    settings_load_window(storeroom.tools_window, STORE_SECTION, "ToolsWin", SETTINGS_POSITION | SETTINGS_COLLAPSED);

    shelf_install_samples();
    shelf_load();
    storeroom.double_click_ms = io_double_click_time();
    playroom_set_leave_hook(after_game);
    createroom_set_leave_hook(storeroom_enter);
    galleryroom_set_leave_hook(storeroom_enter);
}
