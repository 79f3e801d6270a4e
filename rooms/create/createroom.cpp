// The create room: its windows and controls, entering and leaving, the music of a box,
// and saving a new or changed box.
#include "rooms/create/createroom.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "chunk/chunk.h"
#include "image/gformat.h"
#include "image/jpeg.h"
#include "image/resample.h"
#include "media/music.h"
#include "platform/files.h"
#include "platform/log.h"
#include "platform/services.h"
#include "platform/video.h"
#include "puzzle/cut.h"
#include "res/ini.h"
#include "res/lang.h"
#include "res/settings.h"
#include "rooms/box/shelf.h"
#include "rooms/play/playroom.h"
#include "ui/button.h"
#include "ui/filechooser.h"
#include "ui/help.h"
#include "ui/placement.h"
#include "ui/skin.h"
#include "ui/stdwin.h"
#include "ui/trackbar.h"
#include "ui/window.h"

CreateRoomState createroom;

static struct {
    void (*leave_hook)(void);
} create = {nullptr};

constexpr const char *CREATE_SECTION = "CREATEROOM";
constexpr int32_t CREATE_ROW = 24;  // buttons and check boxes
constexpr int32_t IMAGE_W = 180, IMAGE_H = 140, IMAGE_COMPACT_H = 84;
constexpr int32_t PIECE_W = 180, PIECE_H = 220;
constexpr int32_t MISC_W = 120, MISC_H = 180;
constexpr int32_t INFO_W = 200, INFO_LINES = 3;
constexpr int32_t SHAPE_W = 90, SHAPE_Y = 106;
constexpr int32_t BAR_W = 150, BAR_BUTTON_W = 50;
constexpr int32_t ICON_RADIO = 0, ICON_CHECK = 2, ICON_HELP = 14;
constexpr int32_t ICON_OK = 45, ICON_CANCEL = 43, ICON_BAR_HELP = 41;
// Help topics: the tool windows' own pages open in the second help window.
constexpr int32_t HELP_IMAGE = 4497, HELP_PIECE = 4498, HELP_MISC = 4499;
constexpr int32_t HELP_NEW = 400, HELP_EDIT = 500;
// The music chooser's filter: description and patterns, ended by an empty description.
static const char midi_filter[] = "Midi Files\0*.MID;*.MIDI\0";

static int32_t control_of(int32_t window)
{
    for (int32_t n = 0; n < CREATE_CONTROLS; n++)
        if (createroom.controls[n] == window)
            return n;
    return -1;
}

// --- the windows ---

// Shows the tool windows for the room's state: with no picture only the picture window,
// compact; while a box is changed, everything but the picture window.
static void layout_windows(void)
{
    CreateRoomState &c = createroom;
    bool picture = c.picture != nullptr;
    window_show(c.image_window, !c.editing);
    window_set_size(c.image_window, IMAGE_W, picture ? IMAGE_H : IMAGE_COMPACT_H);
    window_show(c.controls[CREATE_SIZE], picture);
    window_show(c.controls[CREATE_FIT], picture);
    window_show(c.piece_window, picture);
    window_show(c.misc_window, picture);
    window_show(c.info_window, picture);
    for (int32_t w : {c.image_window, c.piece_window, c.misc_window, c.info_window})
        window_keep_visible(w);
}

// The controls follow the box: trackbars, shape, check boxes and the music buttons.
static void controls_from_info(void)
{
    CreateRoomState &c = createroom;
    const BoxInfo &b = c.info;
    button_group_select(c.controls[CREATE_SHAPE_FIRST], std::clamp(b.shape, 0, BOX_SHAPES - 1));
    button_set_state(c.controls[CREATE_ROTATION], b.rotation);
    button_set_state(c.controls[CREATE_SURPRISE], b.surprise);
    button_set_state(c.controls[CREATE_MUSIC], b.has_music);
    button_set_state(c.controls[CREATE_LOOP], b.loop_music);
    for (int32_t n : {CREATE_LOOP, CREATE_PLAY, CREATE_STOP})
        button_enable(c.controls[n], b.has_music);
    createroom_update_ranges();
}

static void open_website(void)
{
    char address[1024];
    maker_page(address, (int32_t)sizeof address, "");
    open_document(address);
}

// --- music ---

// Copies the chosen music to the box's music file, through a temporary file so that a
// failed copy leaves no half file behind.
static int copy_music(const char *path)
{
    FILE *in = fopen(path, "rb");
    if (!in)
        return 0;
    int64_t size = chunk_file_size(in);
    SafeFile sf;
    int ok = size >= 0 && safe_file_open(&sf, BOX_TEMP_MUSIC);
    if (ok && !chunk_copy(sf.f, in, (uint64_t)size)) {
        safe_file_abort(&sf);
        ok = 0;
    }
    fclose(in);
    return ok && safe_file_commit(&sf);
}

static void music_clicked(void)
{
    CreateRoomState &c = createroom;
    int32_t check = c.controls[CREATE_MUSIC];
    int32_t on = 0;
    if (button_state(check)) {
        char path[IO_FILE_PATH_MAX] = "";
        if (io_open_file(path, c.music_folder, midi_filter)) {
            if (!midi_test(path)) {
                msg_box_text(CREATE_TEXT_NOT_MIDI, MB_OK);
            } else if (!copy_music(path)) {
                io_log("createroom: the music %s could not be copied to %s\n", path, BOX_TEMP_MUSIC);
            } else {
                on = 1;
            }
        }
    } else {
        midi_stop();
    }
    c.info.has_music = on;
    button_set_state(check, on);
    for (int32_t n : {CREATE_LOOP, CREATE_PLAY, CREATE_STOP})
        button_enable(c.controls[n], on);
}

// --- the picture ---

int32_t createroom_load_picture(const char *path)
{
    CreateRoomState &c = createroom;
    midi_stop();
    int32_t loaded = createroom_read_picture(path);
    if (loaded) {
        // A fresh picture starts without turned pieces, surprise or music.
        c.info.rotation = c.info.surprise = c.info.has_music = c.info.loop_music = 0;
        controls_from_info();
    } else {
        memset(&c.info, 0, sizeof c.info);
        c.box_name[0] = 0;
    }
    layout_windows();
    createroom_update_cut();
    window_invalidate(c.window);
    return loaded;
}

static void load_clicked(void)
{
    CreateRoomState &c = createroom;
    char path[IO_FILE_PATH_MAX] = "";
    if (!io_open_file(path, c.picture_folder, gformat_filter()))
        return;
    ini_set_string(SETTINGS_CONFIG, CREATE_SECTION, "PictureFolder", c.picture_folder);
    createroom_load_picture(path);
}

// Fits the picture to the desk again.
static void fit_clicked(void)
{
    CreateRoomState &c = createroom;
    if (!c.source)
        return;
    int32_t w, h;
    createroom_fit(c.source_width, c.source_height, &w, &h);
    int32_t value = c.size_axis == 'w' ? w : h;
    trackbar_set_value(c.controls[CREATE_SIZE], value);
    createroom_set_size(value);
}

// --- saving ---

// The new box's picture: the source resampled smoothly to the box's size, as a JPEG in
// the box's picture file.
static int write_box_picture(void)
{
    const CreateRoomState &c = createroom;
    Picture *out = picture_create(c.info.picture_width, c.info.picture_height, c.source->format);
    if (!out)
        return 0;
    SafeFile sf;
    int ok = img_resample(out, c.source, IMG_RESAMPLE_FILTERED) && safe_file_open(&sf, BOX_TEMP_PICTURE);
    if (ok && jpeg_write(sf.f, out, CREATE_JPEG_QUALITY) != 0) {
        safe_file_abort(&sf);
        ok = 0;
    }
    picture_free(out);
    return ok && safe_file_commit(&sf);
}

static int32_t save_new_box(void)
{
    CreateRoomState &c = createroom;
    char name[sizeof c.box_name];
    memcpy(name, c.box_name, sizeof name);
    if (!shelf_unique_name(lt_get(CREATE_TEXT_NAME_PROMPT), name))
        return 0;  // the player thinks again
    io_set_cursor(1);
    ChunkId id;
    chunk_new_id(&id);
    int ok = write_box_picture() && box_write(name, &id, &c.info);
    if (ok && !shelf_load_box(name))
        io_log("createroom: the new box \"%s\" is saved but could not be put on the shelf\n", name);
    io_set_cursor(0);
    if (!ok) {
        // The player's work stays in the room: another try may find the disk space.
        io_log("createroom: the new box \"%s\" could not be saved: %s\n", name, box_reason());
        msg_box_text(CREATE_TEXT_SAVE_FAILED, MB_OK);
        return 0;
    }
    createroom_leave();
    return 1;
}

int32_t createroom_save(void)
{
    CreateRoomState &c = createroom;
    if (!c.picture) {
        createroom_leave();
        return 1;
    }
    c.info.rotation = button_state(c.controls[CREATE_ROTATION]);
    c.info.surprise = button_state(c.controls[CREATE_SURPRISE]);
    c.info.has_music = button_state(c.controls[CREATE_MUSIC]);
    c.info.loop_music = button_state(c.controls[CREATE_LOOP]);
    if (!c.editing)
        return save_new_box();
    io_set_cursor(1);
    int ok = shelf_replace(c.box_name, &c.info);
    io_set_cursor(0);
    if (!ok) {
        io_log("createroom: the box \"%s\" could not be replaced\n", c.box_name);
        msg_box_text(CREATE_TEXT_REPLACE_FAILED, MB_OK);
    }
    createroom_leave();
    return 1;
}

// --- events ---

static void clicked(int32_t button)
{
    CreateRoomState &c = createroom;
    int32_t n = control_of(button);
    if (n >= CREATE_SHAPE_FIRST && n < CREATE_SHAPE_FIRST + BOX_SHAPES) {
        c.info.shape = n - CREATE_SHAPE_FIRST;
        createroom_update_cut();
        return;
    }
    int32_t state = n >= 0 ? button_state(button) : 0;
    switch (n) {
    case CREATE_LOAD: load_clicked(); return;
    case CREATE_WEBSITE: open_website(); return;
    case CREATE_FIT: fit_clicked(); return;
    case CREATE_IMAGE_HELP: help_show(HELP_IMAGE); return;
    case CREATE_RANDOM: createroom_random_cut(); return;
    case CREATE_PIECE_HELP: help_show(HELP_PIECE); return;
    case CREATE_ROTATION: c.info.rotation = state; return;
    case CREATE_SURPRISE: c.info.surprise = state; return;
    case CREATE_MUSIC: music_clicked(); return;
    case CREATE_LOOP:
        c.info.loop_music = state;
        midi_set_repeat(state);
        return;
    case CREATE_PLAY:
        if (c.info.has_music)
            midi_play(BOX_TEMP_MUSIC, c.info.loop_music);
        return;
    case CREATE_STOP: midi_stop(); return;
    case CREATE_MISC_HELP: help_show(HELP_MISC); return;
    case CREATE_OK: createroom_save(); return;
    case CREATE_CANCEL: createroom_leave(); return;
    case CREATE_HELP: help_show(c.editing ? HELP_EDIT : HELP_NEW); return;
    default: return;
    }
}

static void tracked(int32_t trackbar, int32_t value)
{
    CreateRoomState &c = createroom;
    switch (control_of(trackbar)) {
    case CREATE_SIZE: createroom_set_size(value); return;
    case CREATE_PIECE_SIZE:
        if (value == c.info.piece_size)
            return;
        c.info.piece_size = value;
        createroom_update_cut();
        return;
    case CREATE_JITTER:
        if (value == c.info.jitter)
            return;
        c.info.jitter = value;
        createroom_update_cut();
        return;
    default: return;
    }
}

static int32_t tool_handler(int32_t, IoEvent *e)
{
    switch (e->code) {
    case IO_FRAME: skin_frame(0, 0, TW_TITLE_HEIGHT, (int32_t)e->a, (int32_t)e->b - TW_TITLE_HEIGHT); return 0;
    case TW_CLICKED: clicked((int32_t)e->a); return 1;
    case TW_TRACK: tracked((int32_t)e->a, (int32_t)e->b); return 1;
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
    CreateRoomState &c = createroom;
    switch (e->code) {
    case IO_FRAME: createroom_paint(); return 0;
    case TW_DESTROY:
        midi_stop();
        createroom_free_picture();
        settings_save_window(c.info_window, CREATE_SECTION, "InfoWin");
        settings_save_window(c.image_window, CREATE_SECTION, "ImageWin");
        settings_save_window(c.piece_window, CREATE_SECTION, "PieceWin");
        settings_save_window(c.misc_window, CREATE_SECTION, "MiscWin");
        return 0;
    default: return 0;
    }
}

// --- making the room ---

static int32_t tool_window(int32_t title, int32_t x, int32_t y, int32_t w, int32_t h, int32_t help_control)
{
    int32_t window = window_register(createroom.window, TWS_CHILD | TWS_RAISE | TWS_FRAME, x, y, w, h, tool_handler,
                                     nullptr);
    window_set_title(window, lt_get(title));
    int32_t iw, ih;
    skin_icon_size(ICON_HELP, &iw, &ih);
    createroom.controls[help_control] =
        button_register(window, BS_PUSH | BS_ICON | BS_NOTIFY, w - iw - 2, (TW_TITLE_HEIGHT - ih) / 2, 0, 0, ICON_HELP,
                        nullptr, 0, 0);
    return window;
}

static int32_t text_button(int32_t parent, int32_t control, int32_t x, int32_t y, int32_t w, int32_t text)
{
    return createroom.controls[control] = button_register(parent, BS_PUSH | BS_TEXT | BS_FRAME | BS_NOTIFY, x, y, w,
                                                          CREATE_ROW, 0, lt_get(text), 0, 0);
}

static int32_t check_box(int32_t parent, int32_t control, int32_t y, int32_t w, int32_t text)
{
    return createroom.controls[control] = button_register(parent, BS_TOGGLE | BS_TEXT | BS_ICON | BS_FRAME | BS_NOTIFY,
                                                          0, y, w, CREATE_ROW, ICON_CHECK, lt_get(text), 0, 0);
}

static int32_t track(int32_t parent, int32_t control, int32_t y, int32_t w, int32_t text)
{
    int32_t t = trackbar_create(parent, TBS_NOTIFY, 0, y, w, 0);
    window_set_title(t, lt_get(text));
    return createroom.controls[control] = t;
}

void createroom_create(void)
{
    CreateRoomState &c = createroom;
    c = {};
    c.desk_w = std::max(screen.width - 20, 1);
    c.desk_h = std::max(screen.height - 80, 1);
    c.desk_x = (screen.width - c.desk_w) / 2;
    c.desk_y = 28;
    c.window = window_register(-1, TWS_FULLSCREEN, 0, 0, 0, 0, room_handler, nullptr);
    window_set_title(c.window, "CREATEROOM");
    window_show(c.window, 0);

    c.info_window = textwin_create(c.window, INFO_W, INFO_LINES);
    window_move(c.info_window, 20, 300);

    c.image_window = tool_window(CREATE_TEXT_IMAGE_TITLE, 20, 50, IMAGE_W, IMAGE_H, CREATE_IMAGE_HELP);
    text_button(c.image_window, CREATE_LOAD, 0, 18, IMAGE_W, CREATE_TEXT_IMAGE_TITLE + 1);
    text_button(c.image_window, CREATE_WEBSITE, 0, 42, IMAGE_W, CREATE_TEXT_IMAGE_TITLE + 2);
    track(c.image_window, CREATE_SIZE, 66, IMAGE_W, CREATE_TEXT_IMAGE_TITLE + 3);
    text_button(c.image_window, CREATE_FIT, 0, 98, IMAGE_W, CREATE_TEXT_IMAGE_TITLE + 4);

    c.piece_window = tool_window(CREATE_TEXT_PIECE_TITLE, 250, 50, PIECE_W, PIECE_H, CREATE_PIECE_HELP);
    text_button(c.piece_window, CREATE_RANDOM, 0, 18, PIECE_W, CREATE_TEXT_PIECE_TITLE + 1);
    track(c.piece_window, CREATE_PIECE_SIZE, 42, PIECE_W, CREATE_TEXT_PIECE_TITLE + 2);
    track(c.piece_window, CREATE_JITTER, 74, PIECE_W, CREATE_TEXT_PIECE_TITLE + 3);
    for (int32_t i = 0; i < BOX_SHAPES; i++) {
        uint32_t style = BS_RADIO | BS_OWNERDRAW | BS_ICON | BS_FRAME | BS_NOTIFY;
        style |= i == 0 ? (uint32_t)BS_RGFIRST : i == BOX_SHAPES - 1 ? (uint32_t)BS_RGLAST : 0u;
        c.controls[CREATE_SHAPE_FIRST + i] =
            button_register_drawn(c.piece_window, style, SHAPE_W * (i % 2), SHAPE_Y + CREATE_ROW * (i / 2), SHAPE_W,
                                  CREATE_ROW, ICON_RADIO, createroom_draw_shape, 0, 0);
    }

    c.misc_window = tool_window(CREATE_TEXT_MISC_TITLE, 500, 50, MISC_W, MISC_H, CREATE_MISC_HELP);
    check_box(c.misc_window, CREATE_ROTATION, 18, MISC_W, CREATE_TEXT_MISC_TITLE + 2);
    check_box(c.misc_window, CREATE_SURPRISE, 42, MISC_W, CREATE_TEXT_MISC_TITLE + 3);
    check_box(c.misc_window, CREATE_MUSIC, 66, MISC_W, CREATE_TEXT_MISC_TITLE + 4);
    check_box(c.misc_window, CREATE_LOOP, 90, MISC_W, CREATE_TEXT_MISC_TITLE + 5);
    text_button(c.misc_window, CREATE_PLAY, 0, 114, MISC_W / 2, CREATE_TEXT_MISC_TITLE + 6);
    text_button(c.misc_window, CREATE_STOP, MISC_W / 2, 114, MISC_W / 2, CREATE_TEXT_MISC_TITLE + 7);

    c.bar_window = window_register(c.window, TWS_CHILD, screen.width - BAR_W, screen.height - 40, BAR_W,
                                   BUTTONBAR_HEIGHT, bar_handler, nullptr);
    int32_t bar = buttonbar_create(c.bar_window);
    c.controls[CREATE_OK] = buttonbar_add(bar, 2, 0, nullptr, ICON_OK, IO_VK_ENTER, BAR_BUTTON_W);
    c.controls[CREATE_CANCEL] = buttonbar_add(bar, 1, 0, nullptr, ICON_CANCEL, IO_VK_ESCAPE, BAR_BUTTON_W);
    c.controls[CREATE_HELP] = buttonbar_add(bar, 0, 0, nullptr, ICON_BAR_HELP, 0, BAR_BUTTON_W);

    settings_load_window(c.info_window, CREATE_SECTION, "InfoWin", SETTINGS_POSITION);
    settings_load_window(c.image_window, CREATE_SECTION, "ImageWin", SETTINGS_POSITION);
    settings_load_window(c.piece_window, CREATE_SECTION, "PieceWin", SETTINGS_POSITION);
    settings_load_window(c.misc_window, CREATE_SECTION, "MiscWin", SETTINGS_POSITION);
    ini_get_string(SETTINGS_CONFIG, CREATE_SECTION, "PictureFolder", c.picture_folder, (int32_t)sizeof c.picture_folder);
    layout_windows();
}

void createroom_set_leave_hook(void (*hook)(void))
{
    create.leave_hook = hook;
}

// The box to change: its parts go to the temporary files, its picture is shown as it is.
static int32_t enter_box(const char *name)
{
    CreateRoomState &c = createroom;
    ChunkId id;
    if (!box_read(name, &id, &c.info, BOX_ALL_PARTS))
        return 0;
    c.picture = gformat_load_jpg_img(BOX_TEMP_PICTURE);
    if (!c.picture || c.picture->width != c.info.picture_width || c.picture->height != c.info.picture_height) {
        io_log("createroom: the picture of the box \"%s\" cannot be shown\n", name);
        img_free(c.picture);
        c.picture = nullptr;
        box_clear_temp(BOX_ALL_PARTS);
        return 0;
    }
    snprintf(c.box_name, sizeof c.box_name, "%s", name);
    return 1;
}

int32_t createroom_enter(const char *name)
{
    CreateRoomState &c = createroom;
    createroom_free_picture();
    memset(&c.info, 0, sizeof c.info);
    c.box_name[0] = 0;
    c.editing = name != nullptr;
    if (name && !enter_box(name)) {
        c.editing = 0;
        memset(&c.info, 0, sizeof c.info);
        return 0;
    }
    if (c.picture)
        controls_from_info();
    layout_windows();
    createroom_update_cut();
    c.shown = 1;
    window_focus(c.window);
    window_show(c.window, 1);
    window_invalidate(c.window);
    return 1;
}

void createroom_leave(void)
{
    CreateRoomState &c = createroom;
    midi_stop();
    createroom_free_picture();
    memset(&c.info, 0, sizeof c.info);
    c.box_name[0] = 0;
    c.editing = 0;
    c.shown = 0;
    window_show(c.window, 0);
    if (create.leave_hook)
        create.leave_hook();
}

void createroom_drop(const char *path)
{
    CreateRoomState &c = createroom;
    // A game on the table is not left behind the player's back.
    if (playroom.loaded || (c.shown && c.editing)) {
        io_log("createroom: the dropped picture %s is not for this room\n", path);
        return;
    }
    if (!c.shown)
        createroom_enter(nullptr);
    createroom_load_picture(path);
}
