// The options dialog: one modal window made on first use and kept, its two language
// lists read afresh at every opening, the colour map worked out from the colour formula,
// and the settings written on OK.
#include "ui/options.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "image/cache.h"
#include "image/clip.h"
#include "image/img.h"
#include "media/feedback.h"
#include "platform/memory.h"
#include "platform/services.h"
#include "platform/video.h"
#include "res/ini.h"
#include "res/lang.h"
#include "res/settings.h"
#include "ui/button.h"
#include "ui/desktop.h"
#include "ui/dropdown.h"
#include "ui/filechooser.h"
#include "ui/skin.h"
#include "ui/stdwin.h"
#include "ui/text.h"
#include "ui/window.h"

// The dialog's own words, as the system's dialogs had them: not among the numbered texts.
constexpr const char *OPT_TITLE = "Pelmora Options";
constexpr const char *OPT_TEXT_OK = "OK";
constexpr const char *OPT_TEXT_CANCEL = "Cancel";
constexpr const char *OPT_TEXT_DEFAULT = "Default";
constexpr const char *OPT_TEXT_INTERFACE = "User Interface Language: *";
constexpr const char *OPT_TEXT_HELP = "Help Language: *";
constexpr const char *OPT_TEXT_COLOUR = "Background Color:";
constexpr const char *OPT_TEXT_FEEDBACK = "FeedBack Mouse Support";
constexpr const char *OPT_TEXT_NOTES =
    "Notes:\nChanges marked with an asterisk (*) will take effect the next time you start Pelmora.\n\n"
    "If your language is not in the list, click on the Update Languages button to visit our web site and to "
    "download the latest language pack.";
constexpr const char *OPT_TEXT_UPDATE = "Update Languages";
constexpr const char *OPT_TEXT_ENGLISH = "English";
constexpr const char *OPT_TEXT_NOT_SAVED = "The options could not be saved in %s.\nCheck that the folder can be written to.";
constexpr const char *OPT_LANGUAGE_PAGE = "languages/";  // below the maker's address
constexpr const char *OPT_MOUSE_PICTURE = "img/options_mouse.img";
constexpr const char *OPT_LANGUAGE_FOLDER = "sfiles/ml";

// The layout in dialog units of the dialog's font (a character cell of 6 x 13 pixels:
// 4 units across a character, 8 down), turned into pixels below the title bar.
constexpr int32_t du_x(int32_t units) { return units * 3 / 2; }
constexpr int32_t du_h(int32_t units) { return units * 13 / 8; }
constexpr int32_t du_y(int32_t units) { return TW_TITLE_HEIGHT + du_h(units); }

constexpr int32_t OPT_WIDTH = du_x(197), OPT_HEIGHT = du_y(274);
constexpr int32_t OPT_BUTTON_W = du_x(50), OPT_BUTTON_H = du_h(14);
constexpr int32_t OPT_LIST_X = du_x(7), OPT_LIST_W = du_x(121), OPT_FIELD_H = 20;
constexpr int32_t OPT_INTERFACE_Y = du_y(18), OPT_INTERFACE_LIST = du_h(138) - OPT_FIELD_H;
constexpr int32_t OPT_HELP_Y = du_y(47), OPT_HELP_LIST = du_h(75) - OPT_FIELD_H;
constexpr int32_t OPT_MAP_X = du_x(7), OPT_MAP_Y = du_y(77);
constexpr int32_t OPT_PREVIEW_X = du_x(139), OPT_PREVIEW_Y = du_y(62), OPT_PREVIEW_W = du_x(50),
                  OPT_PREVIEW_H = du_h(14);
constexpr int32_t OPT_MOUSE_X = du_x(7), OPT_MOUSE_Y = du_y(161), OPT_MOUSE_W = du_x(21), OPT_MOUSE_H = du_h(20);
constexpr int32_t OPT_CHECK_X = du_x(35), OPT_CHECK_W = du_x(155), OPT_CHECK_H = 18;
constexpr int32_t OPT_CHECK_Y = du_y(167) + (du_h(10) - OPT_CHECK_H) / 2;
constexpr int32_t OPT_LINE_X = du_x(7), OPT_LINE_Y = du_y(184), OPT_LINE_W = du_x(183);
constexpr int32_t OPT_NOTES_X = du_x(7), OPT_NOTES_Y = du_y(188), OPT_NOTES_W = du_x(183);
constexpr int32_t OPT_CHECK_ICON = 2;  // the skin's check box; 3 is it ticked
static_assert(du_x(121) == OPTIONS_MAP_WIDTH && du_h(80) == OPTIONS_MAP_HEIGHT, "the map is its template's size");
static_assert(OPTIONS_MAP_HEIGHT > 128, "a press 128 rows down lies inside the map");

// The files behind one list's items, owned while the dialog runs; none for English.
struct OptFiles {
    char **names;
    int32_t count, capacity;
};

static struct {
    int32_t window = -1, backdrop = -1;
    int32_t ok, cancel, defaults, update, feedback, languages, helps, map;
    int32_t mouse_picture;       // cache handle
    Img *map_picture;            // only while the dialog runs
    OptFiles files[2];           // of the interface and the help list
    int32_t hue, saturation, lightness;
} opt;

// --- the colour ---

// One channel of the HLS conversion, h in degrees.
static float hls_value(float m1, float m2, float h)
{
    if (h > 360.0f)
        h -= 360.0f;
    else if (h < 0.0f)
        h += 360.0f;
    if (h < 60.0f)
        return m1 + (m2 - m1) * h / 60.0f;
    if (h < 180.0f)
        return m2;
    if (h < 240.0f)
        return m1 + (m2 - m1) * (240.0f - h) / 60.0f;
    return m1;
}

// A channel as a byte. A triple typed into the settings by hand can take the value out
// of 0..1; it is cut there rather than wrapped.
static uint32_t channel_byte(float v)
{
    float b = v * 255.0f;
    return !(b > 0.0f) ? 0 : b >= 255.0f ? 255 : (uint32_t)b;
}

uint32_t options_colour_rgb(int32_t hue, int32_t saturation, int32_t lightness)
{
    if (saturation <= 0)
        return 0xFFFFFF;
    float l = ((float)lightness + 100.0f) / 200.0f, s = (float)saturation / 100.0f;
    float m2 = l <= 0.5f ? l * (1.0f + s) : l + s - l * s;
    float m1 = 2.0f * l - m2, h = (float)hue;
    return channel_byte(hls_value(m1, m2, h + 120.0f)) << 16 | channel_byte(hls_value(m1, m2, h)) << 8 |
           channel_byte(hls_value(m1, m2, h - 120.0f));
}

void options_colour_at(int32_t x, int32_t y, int32_t *hue, int32_t *saturation)
{
    *hue = std::clamp(2 * x, 0, 360);
    *saturation = std::clamp((128 - y) * 100 / 128, 1, 99);
}

// The map, made from the very formula a press is read with, so the colour under the
// pointer is the colour picked.
static Img *make_map(void)
{
    Img *map = img_create(OPTIONS_MAP_WIDTH, OPTIONS_MAP_HEIGHT, IMG_BGR);
    int32_t stride, w, h;
    uint8_t *pixels = img_pixels(map, &stride, &w, &h);
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++) {
            int32_t hue, saturation;
            options_colour_at(x, y, &hue, &saturation);
            uint32_t rgb = options_colour_rgb(hue, saturation, 0);
            uint8_t *p = pixels + (size_t)y * stride + (size_t)x * 3;
            p[0] = (uint8_t)rgb;
            p[1] = (uint8_t)(rgb >> 8);
            p[2] = (uint8_t)(rgb >> 16);
        }
    return map;
}

static void invalidate_preview(void)
{
    window_invalidate_rect(opt.window, OPT_PREVIEW_X - 1, OPT_PREVIEW_Y - 1, OPT_PREVIEW_W + 2, OPT_PREVIEW_H + 2);
}

static void set_colour(int32_t hue, int32_t saturation, int32_t lightness)
{
    opt.hue = hue;
    opt.saturation = saturation;
    opt.lightness = lightness;
    invalidate_preview();
}

// --- the language lists ---

static void files_clear(OptFiles *f)
{
    for (int32_t i = 0; i < f->count; i++)
        if (f->names[i])
            io_mem_free(f->names[i]);
    if (f->names)
        io_mem_free(f->names);
    *f = {};
}

static void files_add(OptFiles *f, const char *name)
{
    if (f->count == f->capacity) {
        f->capacity = f->capacity ? f->capacity * 2 : 16;
        size_t bytes = sizeof(char *) * (size_t)f->capacity;
        f->names = (char **)(f->names ? io_mem_realloc(f->names, bytes) : io_mem_alloc(bytes));
    }
    char *copy = nullptr;
    if (name) {
        size_t n = strlen(name);
        copy = (char *)io_mem_alloc(n + 1);
        memcpy(copy, name, n + 1);
    }
    f->names[f->count++] = copy;
}

// The name a file stands under in the list: cut at its last dot.
static void item_name(const char *file, char *out, size_t size)
{
    const char *dot = strrchr(file, '.');
    size_t n = dot ? (size_t)(dot - file) : strlen(file);
    n = std::min(n, size - 1);
    memcpy(out, file, n);
    out[n] = 0;
}

static bool item_before(const char *a, const char *b)
{
    char na[1024], nb[1024];
    item_name(a, na, sizeof na);
    item_name(b, nb, sizeof nb);
    int c = strcasecmp(na, nb);
    return c != 0 ? c < 0 : strcmp(a, b) < 0;
}

// A name the settings file can hold as a value and give back as it was: no line breaks
// or other control characters, no blanks at its ends.
static bool storable(const char *name)
{
    size_t n = strlen(name);
    for (size_t i = 0; i < n; i++)
        if ((unsigned char)name[i] < 0x20 || name[i] == 0x7F)
            return false;
    return n > 0 && name[0] != ' ' && name[n - 1] != ' ';
}

// The game's own English texts and help lie in the language folder too; the list's
// "English" item stands for them, so they are not listed a second time.
static bool is_english(const char *file)
{
    char cut[1024];
    item_name(file, cut, sizeof cut);
    return strcasecmp(cut, OPT_TEXT_ENGLISH) == 0;
}

// Fills list `which` (0 interface, 1 help) with English and the files matching
// `pattern` in the language folder, sorted by name, and selects the file [MAIN] `key`
// names (any letter case), English for an empty value, else the first item.
static void fill_list(int32_t which, const char *pattern, const char *key)
{
    int32_t list = which == 0 ? opt.languages : opt.helps;
    OptFiles *files = &opt.files[which];
    dropdown_clear(list);
    files_clear(files);
    files_add(files, nullptr);
    char spec[64], name[1024];
    snprintf(spec, sizeof spec, "%s/%s", OPT_LANGUAGE_FOLDER, pattern);
    if (dir_first(DIR_FILES, spec))
        while (dir_next(name, sizeof name))
            if (storable(name) && !is_english(name))
                files_add(files, name);
    std::sort(files->names + 1, files->names + files->count, item_before);

    dropdown_add(list, OPT_TEXT_ENGLISH);
    for (int32_t i = 1; i < files->count; i++) {
        char cut[1024], shown[1024 * 3];
        item_name(files->names[i], cut, sizeof cut);
        filechooser_display_name(cut, shown, sizeof shown);
        dropdown_add(list, shown);
    }
    char value[2048];
    ini_get_string(SETTINGS_CONFIG, "MAIN", key, value, sizeof value);
    int32_t chosen = 0;
    for (int32_t i = 0; i < files->count; i++)
        if (value[0] ? files->names[i] && strcasecmp(files->names[i], value) == 0 : !files->names[i]) {
            chosen = i;
            break;
        }
    dropdown_select(list, chosen);
}

static const char *chosen_file(int32_t which)
{
    int32_t index = dropdown_selected(which == 0 ? opt.languages : opt.helps);
    const OptFiles &f = opt.files[which];
    return index > 0 && index < f.count && f.names[index] ? f.names[index] : "";
}

// --- the buttons ---

static void defaults(void)
{
    dropdown_select(opt.languages, 0);
    dropdown_select(opt.helps, 0);
    set_colour(OPTIONS_HUE, OPTIONS_SATURATION, OPTIONS_LIGHTNESS);
    button_set_state(opt.feedback, 1);
}

int32_t options_write(const char *interface_file, const char *help_file, int32_t hue, int32_t saturation,
                      int32_t lightness, int32_t feedback)
{
    char colour[64];
    snprintf(colour, sizeof colour, "%i %i %i", hue, saturation, lightness);
    bool ok = ini_set_string(SETTINGS_CONFIG, "MAIN", "UserInterface", interface_file ? interface_file : "") &&
              ini_set_string(SETTINGS_CONFIG, "MAIN", "HelpFile", help_file ? help_file : "") &&
              ini_set_string(SETTINGS_CONFIG, "MAIN", "BackGround", colour) &&
              ini_set_string(SETTINGS_CONFIG, "MAIN", "FeedBackSupport", feedback ? "1" : "0");
    ini_flush(SETTINGS_CONFIG);
    return ok ? 1 : 0;
}

// OK: the choices written, or the player told why not.
static bool save(void)
{
    if (options_write(chosen_file(0), chosen_file(1), opt.hue, opt.saturation, opt.lightness,
                      button_state(opt.feedback)))
        return true;
    char text[256];
    snprintf(text, sizeof text, OPT_TEXT_NOT_SAVED, SETTINGS_CONFIG);
    msg_box(text, MB_OK);
    return false;
}

static void update_languages(void)
{
    char address[1024];
    maker_page(address, (int32_t)sizeof address, OPT_LANGUAGE_PAGE);
    open_document(address);  // tells the player itself when no browser opens
}

// --- drawing ---

static void fill(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour)
{
    draw_set_fill(colour);
    draw_fill_rect(x, y, w, h);
}

static void dialog_draw(int32_t width, int32_t height)
{
    int32_t sx, sy;
    window_screen_position(opt.window, &sx, &sy);
    skin_panel(SKIN_PANEL_DIALOG, 0, TW_TITLE_HEIGHT, width, height - TW_TITLE_HEIGHT);
    text_set_font(&font_dialog, skin_color(SKIN_COLOR_MSGBOX_TEXT), TEXT_NONE);
    window_text_draw(sx, sy, OPT_TEXT_INTERFACE, du_x(7), du_y(7));
    window_text_draw(sx, sy, OPT_TEXT_HELP, du_x(7), du_y(36));
    window_text_draw(sx, sy, OPT_TEXT_COLOUR, du_x(7), du_y(66));
    text_set_layout(0, OPT_NOTES_W);
    window_text_draw(sx, sy, OPT_TEXT_NOTES, OPT_NOTES_X, OPT_NOTES_Y);

    skin_bevel(OPT_MAP_X - 1, OPT_MAP_Y - 1, OPTIONS_MAP_WIDTH + 2, OPTIONS_MAP_HEIGHT + 2);
    skin_bevel(OPT_PREVIEW_X - 1, OPT_PREVIEW_Y - 1, OPT_PREVIEW_W + 2, OPT_PREVIEW_H + 2);
    fill(sx + OPT_PREVIEW_X, sy + OPT_PREVIEW_Y, OPT_PREVIEW_W, OPT_PREVIEW_H,
         options_colour_rgb(opt.hue, opt.saturation, opt.lightness));
    // An etched line: a dark groove over a light edge.
    fill(sx + OPT_LINE_X, sy + OPT_LINE_Y, OPT_LINE_W, 1, skin_color(SKIN_COLOR_BEVEL_T));
    fill(sx + OPT_LINE_X, sy + OPT_LINE_Y + 1, OPT_LINE_W, 1, skin_color(SKIN_COLOR_BEVEL_B));
    int32_t pw, ph;
    cache_size(opt.mouse_picture, &pw, &ph);
    window_cache_draw(sx, sy, opt.mouse_picture, OPT_MOUSE_X + (OPT_MOUSE_W - pw) / 2,
                      OPT_MOUSE_Y + (OPT_MOUSE_H - ph) / 2);
}

// --- the windows ---

// A press, or a move with the left button held, inside the map picks its colour.
static int32_t map_handler(int32_t window, IoEvent *event)
{
    switch (event->code) {
    case IO_FRAME: {
        int32_t sx, sy;
        window_screen_position(window, &sx, &sy);
        if (opt.map_picture)
            window_img_draw(sx, sy, opt.map_picture, 0, 0);
        return 0;
    }
    case IO_MOUSE_DOWN:
    case IO_MOUSE_MOVE: {
        bool left = event->code == IO_MOUSE_DOWN ? (event->c & IO_BUTTON_LEFT) != 0
                                                 : (io_mouse_buttons & IO_BUTTON_LEFT) != 0;
        if (left) {
            int32_t hue, saturation;
            options_colour_at((int32_t)event->a, (int32_t)event->b, &hue, &saturation);
            set_colour(hue, saturation, 0);
        }
        return 1;
    }
    case IO_MOUSE_UP: return 1;
    default: return 0;
    }
}

static int32_t dialog_handler(int32_t, IoEvent *event)
{
    switch (event->code) {
    case IO_FRAME: dialog_draw((int32_t)event->a, (int32_t)event->b); return 0;
    case IO_MOUSE_DOWN:
        dropdown_set_focus(-1);  // a press on the dialog itself takes the keys from the lists
        return 1;
    case IO_MOUSE_UP:
    case IO_MOUSE_MOVE: return 1;
    case TW_CLICKED:
        if (event->a == opt.ok) {
            if (save())
                window_end_modal(1, 0);
        } else if (event->a == opt.cancel) {
            window_end_modal(0, 0);
        } else if (event->a == opt.defaults) {
            defaults();
        } else if (event->a == opt.update) {
            update_languages();
        }
        return 1;
    case TW_DESTROY: opt.window = -1; return 0;
    default: return 0;
    }
}

// Behind the dialog when no room is on show: the desktop.
static int32_t backdrop_handler(int32_t, IoEvent *event)
{
    if (event->code == IO_FRAME)
        background_draw(nullptr);
    else if (event->code == TW_DESTROY)
        opt.backdrop = -1;
    return 0;
}

static void make_window(void)
{
    opt.window = window_register(-1, TWS_MODAL | TWS_FRAME, 0, 0, OPT_WIDTH, OPT_HEIGHT, dialog_handler, nullptr);
    window_set_title(opt.window, OPT_TITLE);
    uint32_t push = BS_PUSH | BS_TEXT | BS_FRAME;
    opt.ok = button_register(opt.window, push, du_x(140), du_y(7), OPT_BUTTON_W, OPT_BUTTON_H, 0, OPT_TEXT_OK, 0,
                             IO_VK_ENTER);
    opt.cancel = button_register(opt.window, push, du_x(139), du_y(25), OPT_BUTTON_W, OPT_BUTTON_H, 0, OPT_TEXT_CANCEL,
                                 0, IO_VK_ESCAPE);
    opt.defaults = button_register(opt.window, push, du_x(139), du_y(43), OPT_BUTTON_W, OPT_BUTTON_H, 0,
                                   OPT_TEXT_DEFAULT, 0, 0);
    // The button's words are wider in the game's button font than the template allowed
    // for; it grows to the left, keeping its right edge under the others'.
    opt.update = button_register(opt.window, push, du_x(105), du_y(253), 0, du_h(14), 0, OPT_TEXT_UPDATE, 0, 0);
    int32_t update_w, update_h;
    window_size(opt.update, &update_w, &update_h);
    update_w = std::max(update_w, du_x(85));
    window_resize(opt.update, update_w, du_h(14));
    window_move(opt.update, du_x(190) - update_w, du_y(253));
    opt.feedback = button_register(opt.window, BS_TOGGLE | BS_ICON | BS_TEXT, OPT_CHECK_X, OPT_CHECK_Y, OPT_CHECK_W,
                                   OPT_CHECK_H, OPT_CHECK_ICON, OPT_TEXT_FEEDBACK, 0, 0);
    opt.map = window_register(opt.window, TWS_CHILD, OPT_MAP_X, OPT_MAP_Y, OPTIONS_MAP_WIDTH, OPTIONS_MAP_HEIGHT,
                              map_handler, nullptr);
    // The lists come last: in front of the buttons they hear the keys first, so an open
    // list takes Enter and Escape before OK and Cancel do.
    opt.languages =
        dropdown_create(opt.window, OPT_LIST_X, OPT_INTERFACE_Y, OPT_LIST_W, OPT_FIELD_H, OPT_INTERFACE_LIST);
    opt.helps = dropdown_create(opt.window, OPT_LIST_X, OPT_HELP_Y, OPT_LIST_W, OPT_FIELD_H, OPT_HELP_LIST);
    opt.mouse_picture = cache_get(OPT_MOUSE_PICTURE);
    window_show(opt.window, 0);
}

int options_run(void)
{
    if (opt.window < 0)
        make_window();
    if (window_root() < 0) {
        if (opt.backdrop < 0)
            opt.backdrop = window_register(-1, TWS_FULLSCREEN, 0, 0, screen.width, screen.height, backdrop_handler,
                                           nullptr);
        window_focus(opt.backdrop);
    }
    opt.map_picture = make_map();
    fill_list(0, "*.ini", "UserInterface");
    fill_list(1, "*.hlp", "HelpFile");
    int32_t hue = OPTIONS_HUE, saturation = OPTIONS_SATURATION, lightness = OPTIONS_LIGHTNESS;
    int32_t stored[3];
    if (ini_get_triple(SETTINGS_CONFIG, "MAIN", "BackGround", &stored[0], &stored[1], &stored[2])) {
        hue = stored[0];
        saturation = stored[1];
        lightness = stored[2];
    }
    set_colour(hue, saturation, lightness);
    button_set_state(opt.feedback, settings_feedback_on());
    button_enable(opt.feedback, fb_present());
    dropdown_set_focus(-1);

    window_show(opt.window, 1);
    int32_t result = window_focus_modal(opt.window, nullptr);
    window_show(opt.window, 0);

    dropdown_set_focus(-1);
    dropdown_clear(opt.languages);
    dropdown_clear(opt.helps);
    files_clear(&opt.files[0]);
    files_clear(&opt.files[1]);
    img_free(opt.map_picture);
    opt.map_picture = nullptr;
    return result == 1 ? 1 : 0;
}

void options_apply(void)
{
    fb_enable(settings_feedback_on());
    background_init();
    clip_invalidate(0, 0, screen.width, screen.height);
}

// --- for tests ---

int32_t options_control(int32_t id)
{
    if (opt.window < 0)
        return -1;
    switch (id) {
    case 0: return opt.window;
    case 1: return opt.ok;
    case 2: return opt.cancel;
    case 101: return opt.languages;
    case 102: return opt.helps;
    case 103: return opt.map;
    case 105: return opt.defaults;
    case 106: return opt.update;
    case 107: return opt.feedback;
    default: return -1;
    }
}

void options_colour(int32_t *hue, int32_t *saturation, int32_t *lightness)
{
    *hue = opt.hue;
    *saturation = opt.saturation;
    *lightness = opt.lightness;
}

const char *options_item_file(int32_t id, int32_t index)
{
    const OptFiles &f = opt.files[id == 101 ? 0 : 1];
    if ((id != 101 && id != 102) || index < 0 || index >= f.count)
        return nullptr;
    return f.names[index];
}

void options_preview_rect(int32_t *x, int32_t *y, int32_t *width, int32_t *height)
{
    *x = OPT_PREVIEW_X;
    *y = OPT_PREVIEW_Y;
    *width = OPT_PREVIEW_W;
    *height = OPT_PREVIEW_H;
}
