// The play room: opening a box onto the table, the room's events, the control panel,
// the picture window, the connected animation, completion and leaving.
#include "rooms/play/playroom.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "image/cache.h"
#include "image/clip.h"
#include "image/gformat.h"
#include "media/feedback.h"
#include "media/music.h"
#include "media/sound.h"
#include "platform/log.h"
#include "platform/loop.h"
#include "platform/services.h"
#include "platform/video.h"
#include "puzzle/table.h"
#include "puzzle/table_tools.h"
#include "res/ini.h"
#include "res/lang.h"
#include "rooms/box/box.h"
#include "rooms/play/autosave.h"
#include "rooms/play/game_file.h"
#include "rooms/play/playroom_internal.h"
#include "ui/button.h"
#include "ui/desktop.h"
#include "ui/help.h"
#include "ui/placement.h"
#include "ui/skin.h"
#include "ui/stdwin.h"
#include "ui/text.h"
#include "ui/window.h"

PlayRoomState playroom;

static const char *const PLAY_SECTION = "PLAYROOM";
constexpr int32_t PLAY_HELP_TOPIC = 200;
constexpr int32_t PLAY_PANEL_MIN_WIDTH = 71;
constexpr int32_t PLAY_BUTTON_HEIGHT = 24;
constexpr int32_t PLAY_PANEL_ROWS = 5;
constexpr int32_t PLAY_ZOOM_ICON = 4;        // zoom z shows skin icon 4 + 2z
constexpr int32_t PLAY_ANIM_SIDE = 32;        // the connected animation's frames
constexpr int32_t PLAY_ANIM_TICKS = 16;       // two ticks per frame, eight frames
constexpr int32_t PLAY_THUMB_MIN = 128;
constexpr uint32_t PLAY_FRAME_COLOUR = 0x000000;

// The control panel's buttons: the room's own column of five, and beside it a column of
// the helpers, so the panel keeps its height and clears the picture window below it.
// Label text, hot key (the picture window has two room keys instead, P and Tab), column
// and row. Each has a hint, text 250 + its index.
enum { PANEL_ARRANGE, PANEL_GHOST, PANEL_PICTURE, PANEL_HELP, PANEL_LEAVE, PANEL_EDGES, PANEL_SPREAD };
const PlayPanelButton play_panel[PLAYROOM_PANEL_BUTTONS] = {
    {PLAYROOM_TEXT_ARRANGE, 82, 0, 0},              // arrange (R)
    {PLAYROOM_TEXT_ARRANGE + 1, 71, 0, 1},          // ghost (G)
    {PLAYROOM_TEXT_ARRANGE + 2, 0, 0, 2},           // picture window
    {PLAYROOM_TEXT_ARRANGE + 3, IO_VK_F1, 0, 3},    // help (F1)
    {PLAYROOM_TEXT_ARRANGE + 4, IO_VK_ESCAPE, 0, 4},  // leave (Escape)
    {PLAYROOM_TEXT_EDGES, 69, 1, 0},                // edge pieces (E)
    {PLAYROOM_TEXT_SPREAD, 83, 1, 1},               // spread the heap (S)
};

// What only this file holds: the pictures of a game and the room's resources.
static struct {
    Img *picture;    // the box picture, shrunk to the table when it had to be
    Img *thumbnail;  // the picture window's
    Img *backdrop;   // tiled room background with the ghost blended in
    int connect_sound;
    int connected;   // cache handle of the animation's frames
    void (*leave_hook)(const char *box_name);
} play = {nullptr, nullptr, nullptr, -1, -1, nullptr};

static void leave(bool tell);

void playroom_set_leave_hook(void (*hook)(const char *box_name))
{
    play.leave_hook = hook;
}

// --- the picture's puzzle area ---

static void puzzle_area(int32_t *x, int32_t *y, int32_t *w, int32_t *h)
{
    int32_t columns, rows;
    cut_grid_measure(&playroom.box, &columns, &rows, x, y);
    *w = columns * playroom.box.piece_size;
    *h = rows * playroom.box.piece_size;
}

// The puzzle area of the picture as an image of its own.
static Img *area_image(void)
{
    int32_t x, y, w, h;
    puzzle_area(&x, &y, &w, &h);
    if (w < 1 || h < 1)
        return nullptr;
    Img *area = img_create(w, h, IMG_BGR);
    img_copy_rect(area, 0, 0, play.picture, x, y, w, h);
    return area;
}

// --- picture window ---

static void layout_zoom_buttons(void)
{
    int32_t width, height, iw, ih;
    window_size(playroom.picture_window, &width, &height);
    skin_icon_size(PLAY_ZOOM_ICON, &iw, &ih);
    // Left of the collapse and close buttons, which take the last 36 pixels.
    int32_t x = width - 38 - PLAYROOM_ZOOMS * (iw + 1);
    for (int32_t z = 0; z < PLAYROOM_ZOOMS; z++)
        window_move(playroom.zoom_buttons[z], std::max(x, 2) + z * (iw + 1), (TW_TITLE_HEIGHT - ih) / 2);
}

static void thumbnail_build(void)
{
    img_free(play.thumbnail);
    play.thumbnail = nullptr;
    Img *area = play.picture ? area_image() : nullptr;
    if (!area)
        return;
    int32_t aw = area->width, ah = area->height, z = playroom.zoom;
    int32_t w = aw >= PLAY_THUMB_MIN + 1 ? PLAY_THUMB_MIN + (aw - PLAY_THUMB_MIN) * z / 4 : PLAY_THUMB_MIN;
    int32_t h = std::max(w * ah / aw, 1);
    play.thumbnail = img_create(w, h, IMG_BGR);
    img_scale(play.thumbnail, area, 1);
    img_free(area);
    // The window fits the thumbnail; when its left edge is off the screen it grows to
    // the left, keeping its right edge where it was.
    int32_t x, y, old_w, old_h;
    window_position(playroom.picture_window, &x, &y);
    window_size(playroom.picture_window, &old_w, &old_h);
    window_set_size(playroom.picture_window, w + 10, h + 46);
    if (x < 0)
        window_move(playroom.picture_window, x + old_w - (w + 10), y);
    layout_zoom_buttons();
    window_keep_visible(playroom.picture_window);
    window_invalidate(playroom.picture_window);
}

static void set_zoom(int32_t zoom)
{
    zoom = std::clamp(zoom, 0, PLAYROOM_ZOOMS - 1);
    if (zoom == playroom.zoom && play.thumbnail)
        return;
    playroom.zoom = zoom;
    thumbnail_build();
}

static int32_t picture_handler(int32_t window, IoEvent *e)
{
    switch (e->code) {
    case IO_FRAME: {
        int32_t w = (int32_t)e->a, h = (int32_t)e->b;
        skin_frame(0, 0, TW_TITLE_HEIGHT, w, h - TW_TITLE_HEIGHT);
        if (play.thumbnail) {
            int32_t sx, sy;
            window_screen_position(window, &sx, &sy);
            draw_set_pen(0, PLAY_FRAME_COLOUR);
            draw_rect(sx + 4, sy + 22, play.thumbnail->width + 2, play.thumbnail->height + 2);
            img_draw(play.thumbnail, sx + 5, sy + 23, 0, 0, play.thumbnail->width, play.thumbnail->height);
        }
        return 0;
    }
    case TW_CLICKED:
        for (int32_t z = 0; z < PLAYROOM_ZOOMS; z++)
            if (e->a == playroom.zoom_buttons[z]) {
                set_zoom(z);
                return 1;
            }
        return 0;
    case TW_DESTROY:
        img_free(play.thumbnail);
        play.thumbnail = nullptr;
        ini_set_int(SETTINGS_CONFIG, PLAY_SECTION, "PictureIZoom", playroom.zoom);
        return 0;
    default: return 0;
    }
}

// --- ghost, picture window and the surprise rule ---

// A surprise box keeps its picture hidden until it is finished.
static bool refused_by_surprise(void)
{
    if (!playroom.box.surprise || table.progress > 99)
        return false;
    msg_box_text(PLAYROOM_TEXT_SURPRISE, MB_OK);
    return true;
}

// The ghost's backdrop is a screen-sized picture: it is made only while the ghost shows.
static void backdrop_build(void);
static void backdrop_free(void)
{
    img_free(play.backdrop);
    play.backdrop = nullptr;
}

static void toggle_ghost(void)
{
    if (refused_by_surprise())
        return;
    playroom.ghost = !playroom.ghost;
    if (playroom.ghost)
        backdrop_build();
    else
        backdrop_free();
    window_invalidate(playroom.window);
}

static void toggle_picture(void)
{
    if (refused_by_surprise())
        return;
    window_show(playroom.picture_window, !window_shown(playroom.picture_window));
}

// --- connected animation ---

static void anim_mark(void)
{
    if (playroom.anim_frame >= 0)
        clip_invalidate(playroom.anim_x, playroom.anim_y, PLAY_ANIM_SIDE, PLAY_ANIM_SIDE);
}

static void anim_start(int32_t x, int32_t y)
{
    anim_mark();
    playroom.anim_frame = 0;
    playroom.anim_x = x - PLAY_ANIM_SIDE;
    playroom.anim_y = y - PLAY_ANIM_SIDE;
    anim_mark();
}

static void anim_stop(void)
{
    anim_mark();
    playroom.anim_frame = -1;
}

static void anim_tick(void)
{
    if (playroom.anim_frame < 0)
        return;
    anim_mark();
    if (++playroom.anim_frame >= PLAY_ANIM_TICKS)
        playroom.anim_frame = -1;
}

static int32_t anim_handler(int32_t, IoEvent *e)
{
    if (e->code == IO_FRAME && playroom.anim_frame >= 0 && play.connected >= 0)
        cache_draw(play.connected, playroom.anim_x, playroom.anim_y, PLAY_ANIM_SIDE * (playroom.anim_frame / 2), 0,
                   PLAY_ANIM_SIDE, PLAY_ANIM_SIDE);
    return 0;
}

// --- completion ---

static int32_t seconds_since_start(void)
{
    return (int32_t)std::max<int64_t>((io_time() - playroom.start_tick) / 1000, 0);
}

static void on_joined(int32_t x, int32_t y)
{
    anim_start(x, y);
    autosave_joined();
}

static void on_finished(void)
{
    anim_stop();
    fb_applause();
    format_today(playroom.summary.date, (int32_t)sizeof playroom.summary.date);
    playroom.summary.play_time += seconds_since_start();
    playroom.start_tick = io_time();
    playroom.summary.progress = 100;
    char time_text[32], message[512];
    format_duration(playroom.summary.play_time, time_text, (int32_t)sizeof time_text);
    snprintf(message, sizeof message, lt_get(PLAYROOM_TEXT_FINISHED), playroom.box_name, table.count, time_text);
    msg_box(message, MB_OK | MB_CENTRE);
}

// --- control panel ---

static int32_t panel_handler(int32_t, IoEvent *e)
{
    switch (e->code) {
    case IO_FRAME: skin_frame(0, 0, TW_TITLE_HEIGHT, (int32_t)e->a, (int32_t)e->b - TW_TITLE_HEIGHT); return 0;
    case TW_CLICKED: {
        int32_t n = 0;
        while (n < PLAYROOM_PANEL_BUTTONS && playroom.panel_buttons[n] != e->a)
            n++;
        switch (n) {
        case PANEL_ARRANGE: table_arrange(); return 1;
        case PANEL_EDGES: play_edges(); return 1;
        case PANEL_SPREAD: play_spread(); return 1;
        case PANEL_GHOST: toggle_ghost(); return 1;
        case PANEL_PICTURE: toggle_picture(); return 1;
        case PANEL_HELP: help_show(PLAY_HELP_TOPIC); return 1;
        case PANEL_LEAVE: {
            char name[sizeof playroom.box_name];
            memcpy(name, playroom.box_name, sizeof name);
            playroom_leave();
            window_show(playroom.window, 0);
            if (play.leave_hook)
                play.leave_hook(name);
            return 1;
        }
        default: return 0;
        }
    }
    default: return 0;
    }
}

// --- the room window ---

// The floor under the pieces; the table draws it where its own copy cannot serve.
static void room_backdrop(void)
{
    background_draw_over(playroom.ghost ? play.backdrop : nullptr, lt_get(PLAYROOM_TEXT_TITLE));
}

static int32_t room_handler(int32_t, IoEvent *e)
{
    switch (e->code) {
    case IO_FRAME:
        if (!playroom.loaded)
            return 0;
        table_update_geometry();
        table_draw_lying(room_backdrop);
        table_reveal_draw();
        return 0;
    case TW_CAPTURE_FRAME: table_draw(TABLE_DRAW_LIFTED); return 1;
    case IO_TIMER:
        if (playroom.loaded) {
            table_tick();
            play_commands_tick();
            autosave_poll();
        }
        anim_tick();
        return 0;
    case IO_MOUSE_DOWN:
        if (!playroom.loaded)
            return 0;
        play_reveal_take(e);
        return play_after_change(table_mouse(e->code, e->a, e->b, e->c));
    case IO_MOUSE_UP:
    case IO_MOUSE_MOVE:
    case TW_CAPTURE_MOVE: return playroom.loaded ? table_mouse(e->code, e->a, e->b, e->c) : 0;
    case TW_CAPTURE_END:
    case TW_BAND_END: return playroom.loaded ? play_after_change(table_mouse(e->code, e->a, e->b, e->c)) : 0;
    case IO_INTERRUPT:
    case IO_KEY_UP: return play_command_key(e);
    case IO_KEY_DOWN:
        if (play_command_key(e))
            return 1;
        if (e->c & 8)
            return 0;  // carrying: any other key puts the pieces down
        switch (e->a) {
        case IO_VK_PLUS:
        case IO_VK_MINUS:
            // The zoom keys act only on a shown picture window.
            if (window_shown(playroom.picture_window))
                set_zoom(playroom.zoom + (e->a == IO_VK_PLUS ? 1 : -1));
            return 1;
        case IO_VK_A + 'P' - 'A':
        case IO_VK_TAB: toggle_picture(); return 1;
        default: return 0;
        }
    case TW_DESTROY:
        leave(false);
        settings_save_window(playroom.panel, PLAY_SECTION, "CPanelWin");
        settings_save_window(playroom.picture_window, PLAY_SECTION, "PictureWin");
        ini_set_bool(SETTINGS_CONFIG, PLAY_SECTION, "GhostVisible", playroom.ghost);
        return 0;
    default: return 0;
    }
}

void playroom_create(void)
{
    light_tables_build();
    play.connect_sound = sound_load("connect.wav");
    play.connected = cache_get("img/connected.img");
    playroom.anim_frame = -1;
    playroom.window = window_register(-1, TWS_FULLSCREEN, 0, 0, 0, 0, room_handler, nullptr);
    window_show(playroom.window, 0);
    window_set_key_capture(playroom.window);  // pieces carried with the keys stay carried
    playroom.anim_window =
        window_register(playroom.window, TWS_CHILD | TWS_PASSMOUSE, 0, 0, screen.width, screen.height, anim_handler, nullptr);

    playroom.picture_window = window_register(playroom.window, TWS_CHILD | TWS_RAISE | TWS_FRAME | TWS_COLLAPSE | TWS_CLOSE,
                                              20, 200, PLAY_THUMB_MIN + 10, PLAY_THUMB_MIN + 46, picture_handler, nullptr);
    window_set_title(playroom.picture_window, lt_get(PLAYROOM_TEXT_PICTURE));
    for (int32_t z = 0; z < PLAYROOM_ZOOMS; z++)
        playroom.zoom_buttons[z] = button_register(playroom.picture_window, BS_PUSH | BS_ICON | BS_NOTIFY, 0, 0, 0, 0,
                                                   PLAY_ZOOM_ICON + 2 * z, nullptr, 0, 0);
    layout_zoom_buttons();

    // The panel is as wide as its widest label, and at least 71.
    int32_t width = PLAY_PANEL_MIN_WIDTH;
    text_set_font(&font_small, 0, TEXT_NONE);
    for (int32_t n = 0; n < PLAYROOM_PANEL_BUTTONS; n++) {
        int32_t w, h;
        text_measure(lt_get(play_panel[n].text), &w, &h);
        width = std::max(width, w + 16);
    }
    playroom.panel = window_register(playroom.window, TWS_CHILD | TWS_RAISE | TWS_FRAME, 20, 50, 2 * width,
                                     TW_TITLE_HEIGHT + PLAY_BUTTON_HEIGHT * PLAY_PANEL_ROWS, panel_handler, nullptr);
    window_set_title(playroom.panel, lt_get(PLAYROOM_TEXT_TITLE));
    for (int32_t n = 0; n < PLAYROOM_PANEL_BUTTONS; n++)
        playroom.panel_buttons[n] =
            button_register(playroom.panel, BS_PUSH | BS_TEXT | BS_NOTIFY, width * play_panel[n].column,
                            TW_TITLE_HEIGHT + PLAY_BUTTON_HEIGHT * play_panel[n].row, width, PLAY_BUTTON_HEIGHT, 0,
                            lt_get(play_panel[n].text), 0, play_panel[n].key);
    play_commands_create();

    settings_load_window(playroom.panel, PLAY_SECTION, "CPanelWin", SETTINGS_POSITION);
    settings_load_window(playroom.picture_window, PLAY_SECTION, "PictureWin",
                         SETTINGS_POSITION | SETTINGS_SIZE | SETTINGS_SHOWN | SETTINGS_COLLAPSED);
    int32_t value = 0;
    playroom.ghost = ini_get_bool(SETTINGS_CONFIG, PLAY_SECTION, "GhostVisible", &value) ? value : 0;
    value = 0;
    ini_get_int(SETTINGS_CONFIG, PLAY_SECTION, "PictureIZoom", &value);
    playroom.zoom = std::clamp(value, 0, PLAYROOM_ZOOMS - 1);
}

// The tiled room background with the puzzle area of the picture blended in at half
// strength in the middle of the table.
static void backdrop_build(void)
{
    img_free(play.backdrop);
    play.backdrop = img_create(screen.width, screen.height, IMG_BGR);
    const Img *column = background_column();
    if (column)
        for (int32_t x = 0; x < screen.width; x += column->width)
            img_copy_rect(play.backdrop, x, 0, (Img *)column, 0, 0, std::min(column->width, screen.width - x),
                          std::min(column->height, screen.height));
    Img *area = area_image();
    if (!area)
        return;
    int32_t w = std::min(area->width, screen.width), h = std::min(area->height, screen.height);
    Img *mask = img_create(w, h, IMG_8BIT);
    img_fill(mask, 128);
    ImgView dst, src, m;
    img_view(&dst, play.backdrop, (screen.width - w) / 2, (screen.height - h) / 2);
    img_view(&src, area, 0, 0);
    img_view(&m, mask, 0, 0);
    dst.width = src.width = w;
    dst.height = src.height = h;
    img_mix(&dst, &src, &m);
    img_free(mask);
    img_free(area);
}

// A picture larger than the table (less a margin) is shrunk to fit, and the piece size
// with it, never below the smallest piece.
static void shrink_to_table(void)
{
    BoxInfo &b = playroom.box;
    int32_t avail_w = screen.width - 20, avail_h = screen.height - 80;
    int32_t columns = b.picture_width / b.piece_size, rows = b.picture_height / b.piece_size;
    playroom.shrunk = 0;
    if (columns * b.piece_size <= avail_w && rows * b.piece_size <= avail_h)
        return;
    double factor = std::min((double)avail_w / b.picture_width, (double)avail_h / b.picture_height);
    int32_t w = std::max((int32_t)(factor * b.picture_width), 1), h = std::max((int32_t)(b.picture_height * factor), 1);
    int32_t size = std::max((int32_t)((int64_t)b.piece_size * w / b.picture_width), BOX_PIECE_MIN);
    // A piece may never be more than half the smaller side, or the grid has no cells.
    size = std::min(size, std::max(std::min(w, h) / 2, 1));
    Img *small = img_create(w, h, IMG_BGR);
    img_scale(small, play.picture, 1);
    img_free(play.picture);
    play.picture = small;
    b.picture_width = w;
    b.picture_height = h;
    b.piece_size = size;
    playroom.shrunk = 1;
}

// The identity the cut cache is kept under. A picture shrunk to the table is cut at the
// shrunk size, which depends on the screen, so its cut is kept under the box's identity
// with the last word replaced by that size: a fresh identity always ends in
// CHUNK_ID_MARK, so neither the cut of the whole picture nor one made on another screen
// can be taken for it, and reopening a large box is as quick as reopening one that fits.
static void cut_cache_id(ChunkId *id)
{
    *id = playroom.id;
    if (playroom.shrunk)
        id->word[3] = 0x80000000u | (uint32_t)(playroom.box.picture_width & 0x7fff) << 15 |
                      (uint32_t)(playroom.box.picture_height & 0x7fff);
}

int32_t playroom_open(const char *name)
{
    playroom_leave();  // a game still on the table is saved, not lost
    io_set_cursor(1);
    snprintf(playroom.box_name, sizeof playroom.box_name, "%s", name);
    if (!box_read(name, &playroom.id, &playroom.box, BOX_ALL_PARTS)) {
        io_set_cursor(0);
        return 0;
    }
    play.picture = gformat_load_jpg_img(BOX_TEMP_PICTURE);
    if (!play.picture || play.picture->width != playroom.box.picture_width ||
        play.picture->height != playroom.box.picture_height) {
        img_free(play.picture);
        play.picture = nullptr;
        box_clear_temp(BOX_ALL_PARTS);
        io_set_cursor(0);
        return 0;
    }
    shrink_to_table();
    box_clear_temp(BOX_ALL_PARTS & ~BOX_MUSIC);

    ChunkId cut_id;
    cut_cache_id(&cut_id);
    if (!cut_cache_load(name, &cut_id, &playroom.box)) {
        cut_grid_init(&playroom.box);
        cut_pieces_build();
        cut_grid_free();
        cut_cache_save(name, &cut_id);
    }
    piece_scene_set(nullptr, play.picture, cut_result.shapes, cut_result.shape_count);
    table_create(&cut_result, &playroom.box, screen.width, screen.height, playroom.window);
    table.connect_sound = play.connect_sound;
    table.hooks = {on_joined, on_finished};
    if (!game_load(name, &playroom.id, &playroom.summary)) {
        memset(&playroom.summary, 0, sizeof playroom.summary);
        table_deal();
    }
    table_setup();
    playroom.loaded = 1;

    thumbnail_build();
    playroom.start_tick = io_time();
    autosave_begin();
    if (playroom.box.has_music)
        midi_play(BOX_TEMP_MUSIC, playroom.box.loop_music);
    if (playroom.box.surprise && table.progress <= 99) {
        window_show(playroom.picture_window, 0);
        playroom.ghost = 0;
    }
    if (playroom.ghost)
        backdrop_build();
    io_set_cursor(0);
    window_focus(playroom.window);
    window_show(playroom.window, 1);
    window_invalidate(playroom.window);
    return 1;
}

// Saves and clears the game; `tell` shows a failed save to the player, which cannot be
// done while the game shuts down.
static void leave(bool tell)
{
    if (!playroom.loaded)
        return;
    if (playroom.box.has_music)
        midi_stop();
    if (window_drag_mode() == 2)
        window_drag_end();
    table_finish_turns();
    img_free(play.thumbnail);
    play.thumbnail = nullptr;
    anim_stop();
    play_commands_stop();
    autosave_end();  // a save still being written lands before this one
    if (table.progress < 100)
        playroom.summary.play_time += seconds_since_start();
    playroom.summary.progress = table.progress;
    if (!game_save(playroom.box_name, &playroom.id, &playroom.summary)) {
        io_log("playroom: the game of \"%s\" could not be saved\n", playroom.box_name);
        if (tell)
            msg_box_text(PLAYROOM_TEXT_SAVE_FAILED, MB_OK);
    }
    table_free();
    cut_result_free();
    piece_scene = {};
    img_free(play.picture);
    img_free(play.backdrop);
    play.picture = play.backdrop = nullptr;
    playroom.loaded = 0;
}

void playroom_leave(void)
{
    leave(true);
}
