// The gallery room: its windows and buttons, the view with its keys, mouse look and
// zoom, the target cell and the info text, the hand, entering, saving and leaving.
#include "rooms/gallery/galleryroom.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <utility>

#include "platform/files.h"
#include "platform/log.h"
#include "platform/services.h"
#include "platform/video.h"
#include "res/ini.h"
#include "res/lang.h"
#include "res/settings.h"
#include "ui/button.h"
#include "ui/desktop.h"
#include "ui/fonts.h"
#include "ui/help.h"
#include "ui/placement.h"
#include "ui/skin.h"
#include "ui/stdwin.h"
#include "ui/text.h"
#include "ui/window.h"

GalleryRoomState galleryroom;

static struct {
    void (*leave_hook)(void);
    int32_t bar;
    int32_t pointer_in;          // the pointer was last seen over the view itself
    int32_t pointer_x, pointer_y;  // where, on the screen
    int32_t moved;               // the view moved with its window: the target is to be found again
} gallery = {nullptr, -1, 0, 0, 0, 0};

constexpr const char *GALLERY_SECTION = "GALLERYROOM";
// The view window: its place, and the view inside it (5 pixels in, below the title bar).
constexpr int32_t VIEW_X = 20, VIEW_Y = 50, VIEW_LEFT = 5, VIEW_TOP = 23, VIEW_EXTRA_W = 10, VIEW_EXTRA_H = 46;
constexpr int32_t HAND_X = 20, HAND_Y = 300, HAND_W = 300, HAND_H = 198;
constexpr int32_t HAND_BUTTON_Y = 156, HAND_BUTTON_W = 100, ROW = 24;
constexpr int32_t THUMB_X = 10, THUMB_Y = 23, HAND_TEXT_X = 148, HAND_TEXT_MARGIN = 158;
constexpr int32_t INFO_X = 400, INFO_Y = 300, INFO_W = 200, INFO_LINES = 3;
constexpr int32_t LOOK_W = 40, LOOK_H = 32, LOOK_RIGHT = 210, BAR_RIGHT = 150, BAR_BOTTOM = 40;
constexpr int32_t BAR_W = 150, BAR_BUTTON_W = 50;
constexpr int32_t ICON_ZOOM = 4, ICON_HELP = 14, ICON_OK = 45, ICON_CANCEL = 43, ICON_BAR_HELP = 41;
// Help topics: the tool windows' own pages open in the second help window.
constexpr int32_t HELP_ROOM = 300, HELP_VIEW = 4397, HELP_HAND = 4398;
constexpr int32_t KEY_LOOK = 71;  // G
constexpr uint32_t FRAME_COLOUR = 0x000000;

static int32_t control_of(int32_t window)
{
    for (int32_t n = 0; n < GALLERY_CONTROLS; n++)
        if (galleryroom.controls[n] == window)
            return n;
    return -1;
}

static void release_keys(void)
{
    std::fill(std::begin(galleryroom.keys), std::end(galleryroom.keys), 0);
}

// A question or notice: the keys and the mouse are the dialog's while it is up, so no
// key stays held and the cursor is free.
static int32_t message(int32_t text, uint32_t flags)
{
    galleryroom_look(0);
    release_keys();
    return msg_box_text(text, flags);
}

// --- the pictures ---

// The scene draws the cells from this table; it follows every change to the cells.
static void pictures_changed(void)
{
    GalleryRoomState &g = galleryroom;
    for (int32_t i = 0; i < GALLERY_CELLS; i++)
        g.pictures[i] = g.cells[i].picture;
    g3dscene_invalidate();
}

static void hand_changed(void)
{
    GalleryRoomState &g = galleryroom;
    img_free(g.thumbnail);
    g.thumbnail = g.hand.picture ? gallery_fit(g.hand.picture, GALLERY_THUMB_SIDE) : nullptr;
    window_invalidate(g.hand_window);
}

static void free_pictures(void)
{
    GalleryRoomState &g = galleryroom;
    for (GalleryRecord &cell : g.cells)
        gallery_clear(&cell);
    gallery_clear(&g.hand);
    img_free(g.thumbnail);
    g.thumbnail = nullptr;
    for (Img *&picture : g.pictures)
        picture = nullptr;
}

// The facts of a picture: "%s: %s\n%s: %i\n%s: %s %s: %s" in the info window, with a
// blank line after the name in the hand window.
static void picture_text(const GalleryRecord &r, bool hand, char *buffer, int32_t size)
{
    char time[32];
    format_duration(r.play_time, time, (int32_t)sizeof time);
    snprintf(buffer, (size_t)size, hand ? "%s: %s\n\n%s: %i\n%s: %s\n%s: %s" : "%s: %s\n%s: %i\n%s: %s %s: %s",
             lt_get(GALLERY_TEXT_NAME), r.name, lt_get(GALLERY_TEXT_PIECES), r.pieces, lt_get(GALLERY_TEXT_TIME), time,
             lt_get(GALLERY_TEXT_DATE), r.date);
}

// --- the target ---

// The cell under the target point: the pointer over the view, else (and during mouse
// look) the view centre, where the cross-hair then shows. The info window changes only
// when the cell or whether the point is on its picture does, or when `force` says the
// cells changed under it.
static void retarget(bool force)
{
    GalleryRoomState &g = galleryroom;
    int32_t centre = g.looking || !gallery.pointer_in;
    if (centre != g.at_centre) {
        g.at_centre = centre;
        int32_t iw, ih;
        skin_icon_size(G3D_CROSS_HAIR_IMAGE, &iw, &ih);
        window_invalidate_rect(g.view_window, VIEW_LEFT + (g.view_w - iw) / 2, VIEW_TOP + (g.view_h - ih) / 2, iw, ih);
    }
    int32_t x = centre ? g.view_w / 2 : gallery.pointer_x - g.view_x;
    int32_t y = centre ? g.view_h / 2 : gallery.pointer_y - g.view_y;
    bool on = false;
    int32_t cell = g3dscene_pick(x, y, &on);
    if (cell < 0 || cell >= GALLERY_CELLS)
        cell = -1, on = false;
    if (!force && cell == g.target && (int32_t)on == g.on_picture)
        return;
    g.target = cell;
    g.on_picture = on;
    g.info[0] = 0;
    if (cell >= 0 && !g.cells[cell].picture)
        snprintf(g.info, sizeof g.info, "%s", lt_get(GALLERY_TEXT_EMPTY_FRAME));
    else if (cell >= 0 && on)
        picture_text(g.cells[cell], false, g.info, (int32_t)sizeof g.info);
    textwin_set(g.info_window, g.info);
}

// The pointer as the view window hears it (screen coordinates); `own` when the event was
// the window's own rather than one outside it or over a window in front.
static void pointer_at(int32_t x, int32_t y, bool own)
{
    const GalleryRoomState &g = galleryroom;
    gallery.pointer_x = x;
    gallery.pointer_y = y;
    gallery.pointer_in = own && x >= g.view_x && x < g.view_x + g.view_w && y >= g.view_y && y < g.view_y + g.view_h;
}

// --- the hand ---

// The hand and the target cell exchange their records; there is nothing to swap with
// when no cell is targeted.
static void swap_with_target(void)
{
    GalleryRoomState &g = galleryroom;
    if (g.target < 0 || g.target >= GALLERY_CELLS)
        return;
    std::swap(g.hand, g.cells[g.target]);
    pictures_changed();
    hand_changed();
    retarget(true);
}

void galleryroom_hang_button(void)
{
    GalleryRoomState &g = galleryroom;
    if (!g.hand.picture) {
        message(GALLERY_TEXT_EMPTY_HAND, MB_OK);
        return;
    }
    swap_with_target();
}

void galleryroom_take_down(void)
{
    GalleryRoomState &g = galleryroom;
    if (g.target < 0 || !g.cells[g.target].picture) {
        message(GALLERY_TEXT_NOTHING_HERE, MB_OK);
        return;
    }
    swap_with_target();
}

void galleryroom_click(void)
{
    GalleryRoomState &g = galleryroom;
    if (g.target >= 0 && (g.hand.picture || g.cells[g.target].picture))
        swap_with_target();
}

void galleryroom_discard(void)
{
    gallery_clear(&galleryroom.hand);
    hand_changed();
}

// --- the view ---

int32_t galleryroom_view_width(int32_t screen_width, int32_t zoom)
{
    int32_t w = ((std::max(screen_width - 186, 0) * zoom / 4 + 146) | 3) + 1;
    return std::min(w, G3D_VIEW_MAX);
}

// The view rectangle where the window now is; the scene hears of a new place or size.
// The caller marks the view for redrawing (a window that moved is marked already).
static bool view_place(bool always)
{
    GalleryRoomState &g = galleryroom;
    int32_t sx, sy;
    window_screen_position(g.view_window, &sx, &sy);
    int32_t w = galleryroom_view_width(screen.width, g.zoom), h = w / 2;
    if (!always && g.view_x == sx + VIEW_LEFT && g.view_y == sy + VIEW_TOP && g.view_w == w)
        return false;
    g.view_x = sx + VIEW_LEFT;
    g.view_y = sy + VIEW_TOP;
    g.view_w = w;
    g.view_h = h;
    g3dscene_set_view(w, h, g.view_x, g.view_y);
    pointer_at(gallery.pointer_x, gallery.pointer_y, gallery.pointer_in);
    return true;
}

// The zoom buttons stand left of the help button in the title bar.
static void layout_view_title(void)
{
    GalleryRoomState &g = galleryroom;
    int32_t width, height, iw, ih, hw, hh;
    window_size(g.view_window, &width, &height);
    skin_icon_size(ICON_ZOOM, &iw, &ih);
    skin_icon_size(ICON_HELP, &hw, &hh);
    window_move(g.controls[GALLERY_VIEW_HELP], width - hw - 2, (TW_TITLE_HEIGHT - hh) / 2);
    int32_t x = width - hw - 6 - GALLERY_ZOOMS * (iw + 1);
    for (int32_t z = 0; z < GALLERY_ZOOMS; z++)
        window_move(g.controls[GALLERY_ZOOM_FIRST + z], std::max(x, 2) + z * (iw + 1), (TW_TITLE_HEIGHT - ih) / 2);
}

void galleryroom_set_zoom(int32_t zoom)
{
    GalleryRoomState &g = galleryroom;
    g.zoom = std::clamp(zoom, 0, GALLERY_ZOOMS - 1);
    int32_t w = galleryroom_view_width(screen.width, g.zoom);
    window_set_height_keep_bottom(g.view_window, w + VIEW_EXTRA_W, w / 2 + VIEW_EXTRA_H);
    layout_view_title();
    view_place(true);
    window_invalidate(g.view_window);
    if (g.looking) {  // the cursor is held in the view as it now is
        galleryroom_look(0);
        galleryroom_look(1);
    }
    retarget(false);
}

// The part of the view on the screen, where mouse look holds the cursor; its centre is
// the one the pointer is brought back to.
static bool view_on_screen(int32_t *x, int32_t *y, int32_t *w, int32_t *h)
{
    const GalleryRoomState &g = galleryroom;
    *x = std::max(g.view_x, 0);
    *y = std::max(g.view_y, 0);
    *w = std::min(g.view_x + g.view_w, screen.width) - *x;
    *h = std::min(g.view_y + g.view_h, screen.height) - *y;
    return *w > 0 && *h > 0;
}

void galleryroom_look(int32_t on)
{
    GalleryRoomState &g = galleryroom;
    int32_t cancel = g.controls[GALLERY_CANCEL];
    int32_t x, y, w, h;
    if (on && !g.looking && view_on_screen(&x, &y, &w, &h)) {
        g.looking = 1;
        io_mouse_lock(x, y, w, h);
        // Escape ends mouse look first; only then does it cancel.
        button_set_key(cancel, 0);
    } else if (!on && g.looking) {
        g.looking = 0;
        io_mouse_unlock();
        button_set_key(cancel, IO_VK_ESCAPE);
    } else {
        return;
    }
    retarget(false);
}

// A pointer move during mouse look: half the sideways distance from the centre turns,
// the distance up walks, and the pointer goes back to the centre.
static void look_move(int32_t px, int32_t py)
{
    int32_t x, y, w, h;
    if (!view_on_screen(&x, &y, &w, &h))
        return;
    int32_t cx = x + w / 2, cy = y + h / 2, dx = cx - px, dy = cy - py;
    if (dx / 2 == 0 && dy == 0)
        return;
    g3dscene_move(dx / 2, dy);
    io_mouse_set_pos(cx, cy);
    g3dscene_invalidate();
    retarget(false);
}

// The frame, a line around the view, and the scene where the view lies on the screen
// (the scene keeps to the dirty tiles), with the cross-hair while the centre is the
// target point.
static void view_paint(int32_t width, int32_t height)
{
    GalleryRoomState &g = galleryroom;
    skin_frame(0, 0, TW_TITLE_HEIGHT, width, height - TW_TITLE_HEIGHT);
    draw_set_pen(0, FRAME_COLOUR);
    draw_rect(g.view_x - 1, g.view_y - 1, g.view_w + 2, g.view_h + 2);
    int32_t x, y, w, h;
    if (!view_on_screen(&x, &y, &w, &h))
        return;
    g3dscene.cross_hair = g.at_centre != 0;
    g3dscene_draw(x, y, w, h);
}

static int32_t view_key(int32_t code)
{
    GalleryRoomState &g = galleryroom;
    switch (code) {
    case IO_VK_LEFT:
    case IO_VK_RIGHT:
    case IO_VK_UP:
    case IO_VK_DOWN: g.keys[code - IO_VK_LEFT] = 1; return 1;
    case IO_VK_PLUS: galleryroom_set_zoom(g.zoom + 1); return 1;
    case IO_VK_MINUS: galleryroom_set_zoom(g.zoom - 1); return 1;
    case IO_VK_SPACE: galleryroom_click(); return 1;
    case KEY_LOOK: galleryroom_look(1); return 1;
    case IO_VK_ESCAPE:
        if (!g.looking)
            return 0;  // the Cancel button's
        galleryroom_look(0);
        return 1;
    default: return 0;
    }
}

static int32_t view_handler(int32_t window, IoEvent *e)
{
    GalleryRoomState &g = galleryroom;
    switch (e->code) {
    case IO_FRAME:
        // The window was carried by its title bar. The info text follows at the next tick,
        // as windows drawn before this one in the frame would not show a change now.
        if (view_place(false))
            gallery.moved = 1;
        view_paint((int32_t)e->a, (int32_t)e->b);
        return 0;
    case IO_TIMER: {
        if (gallery.moved) {
            gallery.moved = 0;
            retarget(false);
        }
        int32_t turn = g.keys[GALLERY_KEY_LEFT] - g.keys[GALLERY_KEY_RIGHT];
        int32_t walk = g.keys[GALLERY_KEY_UP] - g.keys[GALLERY_KEY_DOWN];
        if (g3dscene_tick(turn, walk)) {
            g3dscene_invalidate();
            retarget(false);
        }
        return 0;
    }
    case IO_MOUSE_MOVE:
    case IO_MOUSE_DOWN: {
        int32_t sx, sy;
        window_screen_position(window, &sx, &sy);
        int32_t x = (int32_t)e->a + sx, y = (int32_t)e->b + sy;
        if (g.looking) {
            if (e->code == IO_MOUSE_DOWN && (e->c & 3) == IO_BUTTON_RIGHT)
                galleryroom_look(0);
            else if (e->code == IO_MOUSE_MOVE)
                look_move(x, y);
            else if ((e->c & 3) == IO_BUTTON_LEFT)
                galleryroom_click();
            return e->code == IO_MOUSE_MOVE;
        }
        pointer_at(x, y, true);
        retarget(false);
        if (e->code == IO_MOUSE_DOWN && gallery.pointer_in && (e->c & 3) == IO_BUTTON_LEFT)
            galleryroom_click();
        return e->code == IO_MOUSE_MOVE;  // a press also brings the window to the front
    }
    case TW_OUTSIDE:
        // Over another window or away from the view: the centre is the target. Others
        // hear the event too.
        if (g.looking) {
            if ((e->c & 3) == IO_BUTTON_RIGHT)
                galleryroom_look(0);
            else
                look_move((int32_t)e->a, (int32_t)e->b);
        } else {
            pointer_at((int32_t)e->a, (int32_t)e->b, false);
            retarget(false);
        }
        return 0;
    case IO_KEY_DOWN: return view_key((int32_t)e->a);
    case IO_KEY_UP:
        if (e->a < IO_VK_LEFT || e->a > IO_VK_DOWN)
            return 0;
        g.keys[e->a - IO_VK_LEFT] = 0;
        return 1;
    case IO_INTERRUPT:
        // The game lost the player's attention: nothing stays held.
        galleryroom_look(0);
        release_keys();
        return 0;
    case TW_CLICKED: {
        int32_t n = control_of((int32_t)e->a);
        if (n >= GALLERY_ZOOM_FIRST && n < GALLERY_ZOOM_FIRST + GALLERY_ZOOMS)
            galleryroom_set_zoom(n - GALLERY_ZOOM_FIRST);
        else if (n == GALLERY_VIEW_HELP)
            help_show(HELP_VIEW);
        else
            return 0;
        return 1;
    }
    case TW_DESTROY:
        g3dscene_release();
        ini_set_int(SETTINGS_CONFIG, GALLERY_SECTION, "ViewIZoom", g.zoom);
        return 0;
    default: return 0;
    }
}

// --- the hand window ---

static void hand_paint(int32_t window, int32_t width, int32_t height)
{
    const GalleryRoomState &g = galleryroom;
    skin_frame(0, 0, TW_TITLE_HEIGHT, width, height - TW_TITLE_HEIGHT);
    if (!g.hand.picture)
        return;
    int32_t sx, sy;
    window_screen_position(window, &sx, &sy);
    if (g.thumbnail) {
        int32_t x = sx + THUMB_X + (GALLERY_THUMB_SIDE - g.thumbnail->width) / 2, y = sy + THUMB_Y;
        draw_set_pen(0, FRAME_COLOUR);
        draw_rect(x - 1, y - 1, g.thumbnail->width + 2, g.thumbnail->height + 2);
        img_draw(g.thumbnail, x, y, 0, 0, g.thumbnail->width, g.thumbnail->height);
    }
    char text[512];
    picture_text(g.hand, true, text, (int32_t)sizeof text);
    text_set_font(&font_dialog, skin_color(SKIN_COLOR_MSGBOX_TEXT), skin_color(SKIN_COLOR_MSGBOX_TEXT_SHADOW));
    text_set_layout(0, width - HAND_TEXT_MARGIN);
    window_text_draw(sx, sy, text, HAND_TEXT_X, THUMB_Y);
}

// --- the room ---

static void clicked(int32_t button)
{
    switch (control_of(button)) {
    case GALLERY_HANG: galleryroom_hang_button(); return;
    case GALLERY_TAKE_DOWN: galleryroom_take_down(); return;
    case GALLERY_DISCARD: galleryroom_discard(); return;
    case GALLERY_HAND_HELP: help_show(HELP_HAND); return;
    case GALLERY_LOOK: galleryroom_look(1); return;
    case GALLERY_OK: galleryroom_save(); return;
    case GALLERY_CANCEL: galleryroom_leave(); return;
    case GALLERY_HELP: help_show(HELP_ROOM); return;
    default: return;
    }
}

static int32_t hand_handler(int32_t window, IoEvent *e)
{
    switch (e->code) {
    case IO_FRAME: hand_paint(window, (int32_t)e->a, (int32_t)e->b); return 0;
    case TW_CLICKED: clicked((int32_t)e->a); return 1;
    default: return 0;
    }
}

// The strip that carries the button bar: the bar's buttons tell it of their clicks.
static int32_t bar_handler(int32_t, IoEvent *e)
{
    if (e->code != TW_CLICKED)
        return 0;
    clicked((int32_t)e->a);
    return 1;
}

static int32_t room_handler(int32_t, IoEvent *e)
{
    GalleryRoomState &g = galleryroom;
    switch (e->code) {
    case IO_FRAME: background_draw(lt_get(GALLERY_TEXT_TITLE)); return 0;
    case TW_CLICKED: clicked((int32_t)e->a); return 1;
    case TW_DESTROY:
        // The game ends with the room open: as Cancel, nothing is written.
        galleryroom_look(0);
        free_pictures();
        g.shown = 0;
        settings_save_window(g.view_window, GALLERY_SECTION, "ViewWin");
        settings_save_window(g.hand_window, GALLERY_SECTION, "TempWin");
        settings_save_window(g.info_window, GALLERY_SECTION, "InfoWin");
        return 0;
    default: return 0;
    }
}

// --- making the room ---

static int32_t help_button(int32_t window, int32_t control)
{
    int32_t iw, ih, w, h;
    skin_icon_size(ICON_HELP, &iw, &ih);
    window_size(window, &w, &h);
    return galleryroom.controls[control] =
               button_register(window, BS_PUSH | BS_ICON | BS_NOTIFY, w - iw - 2, (TW_TITLE_HEIGHT - ih) / 2, 0, 0,
                               ICON_HELP, nullptr, 0, 0);
}

static void hand_button(int32_t control, int32_t x, int32_t text, int32_t key)
{
    galleryroom.controls[control] = button_register(galleryroom.hand_window, BS_PUSH | BS_TEXT | BS_FRAME | BS_NOTIFY, x,
                                                    HAND_BUTTON_Y, HAND_BUTTON_W, ROW, 0, lt_get(text), 0, key);
}

void galleryroom_create(void)
{
    GalleryRoomState &g = galleryroom;
    g = {};
    g.target = -1;
    g3dscene_init();
    g3dscene_set_pictures(g.pictures);
    int32_t zoom = GALLERY_START_ZOOM;
    ini_get_int(SETTINGS_CONFIG, GALLERY_SECTION, "ViewIZoom", &zoom);
    g.zoom = std::clamp(zoom, 0, GALLERY_ZOOMS - 1);

    g.window = window_register(-1, TWS_FULLSCREEN, 0, 0, 0, 0, room_handler, nullptr);
    window_set_title(g.window, "GALLERYROOM");
    window_show(g.window, 0);

    int32_t w = galleryroom_view_width(screen.width, g.zoom);
    g.view_window = window_register(g.window, TWS_CHILD | TWS_RAISE | TWS_FRAME | TWS_OUTSIDE, VIEW_X, VIEW_Y,
                                    w + VIEW_EXTRA_W, w / 2 + VIEW_EXTRA_H, view_handler, nullptr);
    window_set_title(g.view_window, lt_get(GALLERY_TEXT_VIEW));
    for (int32_t z = 0; z < GALLERY_ZOOMS; z++)
        g.controls[GALLERY_ZOOM_FIRST + z] =
            button_register(g.view_window, BS_PUSH | BS_ICON | BS_NOTIFY, 0, 0, 0, 0, ICON_ZOOM + 2 * z, nullptr, 0, 0);
    help_button(g.view_window, GALLERY_VIEW_HELP);
    layout_view_title();

    g.hand_window = window_register(g.window, TWS_CHILD | TWS_RAISE | TWS_FRAME, HAND_X, HAND_Y, HAND_W, HAND_H,
                                    hand_handler, nullptr);
    window_set_title(g.hand_window, lt_get(GALLERY_TEXT_HAND));
    hand_button(GALLERY_HANG, 0, GALLERY_TEXT_HANG, 0);
    hand_button(GALLERY_TAKE_DOWN, HAND_BUTTON_W, GALLERY_TEXT_TAKE_DOWN, 0);
    hand_button(GALLERY_DISCARD, 2 * HAND_BUTTON_W, GALLERY_TEXT_DISCARD, IO_VK_DELETE);
    help_button(g.hand_window, GALLERY_HAND_HELP);

    g.info_window = textwin_create(g.window, INFO_W, INFO_LINES);
    window_move(g.info_window, INFO_X, INFO_Y);

    g.controls[GALLERY_LOOK] =
        button_register(g.window, BS_PUSH | BS_TEXT | BS_FRAME | BS_NOTIFY, screen.width - LOOK_RIGHT,
                        screen.height - BAR_BOTTOM, LOOK_W, LOOK_H, 0, lt_get(GALLERY_TEXT_LOOK), 0, 0);
    g.bar_window = window_register(g.window, TWS_CHILD, screen.width - BAR_RIGHT, screen.height - BAR_BOTTOM, BAR_W,
                                   BUTTONBAR_HEIGHT, bar_handler, nullptr);
    gallery.bar = buttonbar_create(g.bar_window);
    g.controls[GALLERY_OK] = buttonbar_add(gallery.bar, 2, 0, nullptr, ICON_OK, IO_VK_ENTER, BAR_BUTTON_W);
    g.controls[GALLERY_CANCEL] = buttonbar_add(gallery.bar, 1, 0, nullptr, ICON_CANCEL, IO_VK_ESCAPE, BAR_BUTTON_W);
    g.controls[GALLERY_HELP] = buttonbar_add(gallery.bar, 0, 0, nullptr, ICON_BAR_HELP, 0, BAR_BUTTON_W);

    settings_load_window(g.view_window, GALLERY_SECTION, "ViewWin", SETTINGS_POSITION);
    settings_load_window(g.hand_window, GALLERY_SECTION, "TempWin", SETTINGS_POSITION);
    settings_load_window(g.info_window, GALLERY_SECTION, "InfoWin", SETTINGS_POSITION);
    view_place(true);
}

void galleryroom_set_leave_hook(void (*hook)(void))
{
    gallery.leave_hook = hook;
}

// --- entering and leaving ---

// The cells from the gallery file. A file that is there but cannot be read whole is put
// aside under another name: the cells start empty, and the next save must not destroy
// the pictures it may still hold.
static void load_cells(void)
{
    GalleryRoomState &g = galleryroom;
    if (gallery_read(GALLERY_FILE, g.cells) || !file_exists(GALLERY_FILE))
        return;
    char aside[64];
    if (gallery_put_aside(GALLERY_FILE, aside, (int32_t)sizeof aside))
        io_log("gallery: %s cannot be read; it is kept as %s\n", GALLERY_FILE, aside);
    else
        io_log("gallery: %s cannot be read, nor be put aside\n", GALLERY_FILE);
}

// Enters with whatever the hand holds.
static void enter(void)
{
    GalleryRoomState &g = galleryroom;
    int kept = io_get_cursor();
    io_set_cursor(IO_CURSOR_WAIT);
    load_cells();
    pictures_changed();
    hand_changed();
    galleryroom_look(0);
    release_keys();
    view_place(true);
    // Until the pointer is seen over the view, the cross-hair in the middle is the target.
    gallery.pointer_in = 0;
    retarget(true);
    io_set_cursor(kept);
    g.shown = 1;
    window_focus(g.window);
    window_show(g.window, 1);
    window_invalidate(g.window);
}

void galleryroom_enter(void)
{
    gallery_clear(&galleryroom.hand);
    enter();
}

int32_t galleryroom_hang(const char *name)
{
    GalleryRoomState &g = galleryroom;
    GalleryRecord record;
    int kept = io_get_cursor();
    io_set_cursor(IO_CURSOR_WAIT);
    int ok = gallery_record_from_box(name, &record);
    io_set_cursor(kept);
    if (!ok)
        return 0;
    gallery_clear(&g.hand);
    g.hand = record;
    enter();
    return 1;
}

void galleryroom_leave(void)
{
    GalleryRoomState &g = galleryroom;
    galleryroom_look(0);
    release_keys();
    free_pictures();
    g.target = -1;
    g.on_picture = 0;
    g.info[0] = 0;
    textwin_set(g.info_window, "");
    g.shown = 0;
    window_show(g.window, 0);
    if (gallery.leave_hook)
        gallery.leave_hook();
}

int32_t galleryroom_save(void)
{
    GalleryRoomState &g = galleryroom;
    if (g.hand.picture && message(GALLERY_TEXT_LEAVE_HOLDING, MB_YES | MB_NO) != 1)
        return 0;
    int kept = io_get_cursor();
    io_set_cursor(IO_CURSOR_WAIT);
    int ok = gallery_write(GALLERY_FILE, g.cells);
    io_set_cursor(kept);
    if (!ok) {
        // The old file is as it was and the player's arrangement is still on the walls.
        io_log("gallery: %s could not be written\n", GALLERY_FILE);
        message(GALLERY_TEXT_SAVE_FAILED, MB_OK);
        return 0;
    }
    galleryroom_leave();
    return 1;
}
