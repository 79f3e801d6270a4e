// The file chooser behind the open and save dialogs: one modal window made on first use
// and kept, the listing of a folder through the folder enumeration, the keys and clicks
// that walk it, and the checks a chosen name must pass before the caller gets it.
#include "ui/filechooser.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "image/clip.h"
#include "image/img.h"
#include "ui/dialog.h"
#include "platform/files.h"
#include "platform/gdi.h"
#include "res/gdi_text.h"
#include "platform/loop.h"
#include "platform/services.h"
#include "platform/video.h"
#include "res/lang.h"
#include "ui/button.h"
#include "ui/filechooser_names.h"
#include "ui/skin.h"
#include "ui/stdwin.h"
#include "ui/text.h"
#include "ui/window.h"

// The chooser stands in for the system's own dialogs, whose words were the system's, so
// they are not among the game's numbered texts.
constexpr const char *FC_TEXT_OPEN = "Open";
constexpr const char *FC_TEXT_SAVE = "Save";
constexpr const char *FC_TEXT_CANCEL = "Cancel";
constexpr const char *FC_TEXT_UP = "Up";
constexpr const char *FC_TEXT_NAME = "Name:";
constexpr const char *FC_TEXT_TYPE = "Type:";
constexpr const char *FC_TEXT_NOT_FOUND = "%s\nFile not found.\nCheck the file name and try again.";
constexpr const char *FC_TEXT_NO_FOLDER = "%s\nThe folder does not exist.\nCheck the name and try again.";
constexpr const char *FC_TEXT_TOO_LONG = "This name is too long. Please choose a shorter name or folder.";
constexpr const char *FC_TEXT_REPLACE = "%s already exists.\nDo you want to replace it?";

constexpr int32_t FC_SLOT_OK = 1, FC_SLOT_CANCEL = 0;  // OK left of Cancel in the button bar
constexpr int32_t FC_BOX_HEIGHT = 20;                   // the path box
constexpr int32_t FC_BUTTON_HEIGHT = 24;
constexpr int32_t FC_ICON_WIDTH = 18;                   // room for the folder mark before a name
constexpr int32_t FC_THUMB_MIN = 12;

// How a modal turn of the window ended: the caller's answer, or a change between the
// list and the name box, which reopens the window with or without its edit field.
enum { FC_CANCELLED = 0, FC_CHOSEN = 1, FC_SWITCH = 2 };

struct FcEntry {
    std::string name;  // the file system's bytes
    bool folder;
};

static struct {
    int32_t window = -1;
    int32_t up = -1, type = -1, bar = -1, ok_open = -1, ok_save = -1, cancel = -1;
    int32_t mode;                  // FC_OPEN or FC_SAVE
    const char *filter;            // the caller's pairs, null: every file
    int32_t pairs, pair;           // pairs in the filter, the one selected
    char folder[IO_FILE_PATH_MAX]; // absolute, without a trailing '/' (the root is "/")
    char name[IO_FILE_PATH_MAX];   // the name box's text
    char field_text[IO_FILE_PATH_MAX];  // the edit field's buffer while it is open
    char chosen[IO_FILE_PATH_MAX];
    std::vector<FcEntry> entries;  // folders first, then files, each sorted without case
    int32_t selected, top;
    bool field_mode;               // the name box has the keys, else the list
    int64_t click_time;            // the last left click on a row, for double clicks
    int32_t click_row;
    int32_t thumb_grab;            // dragging the scroll bar's thumb: where it was taken
    Img *paper;                    // where text boxes are painted before they go on screen
} fc;

// --- the clock and the patterns ---

// The selected pair's patterns.
static const char *fc_patterns(void)
{
    const char *description, *patterns;
    return fc_filter_pair(fc.filter, fc.pair, &description, &patterns) ? patterns : "*";
}

// --- the listing ---

static void fc_invalidate_list(void)
{
    window_invalidate_rect(fc.window, FC_LIST_X, FC_LIST_Y, FC_LIST_WIDTH, FC_LIST_HEIGHT);
}

static void fc_invalidate_name(void)
{
    window_invalidate_rect(fc.window, FC_FIELD_X - 1, FC_NAME_Y - 1, FC_FIELD_WIDTH + 2, FC_NAME_HEIGHT + 2);
}

// Reads the folder: its sub-folders, then the files the selected patterns match. Names
// starting with a dot are hidden, as every Linux file manager hides them.
static void fc_load(void)
{
    std::vector<FcEntry>().swap(fc.entries);
    char pattern[IO_FILE_PATH_MAX + 2];
    snprintf(pattern, sizeof pattern, "%s/*", strcmp(fc.folder, "/") == 0 ? "" : fc.folder);
    char name[1024];
    if (dir_first(DIR_FOLDERS, pattern))
        while (dir_next(name, sizeof name))
            if (name[0] != '.')
                fc.entries.push_back({name, true});
    const char *patterns = fc_patterns();
    if (dir_first(DIR_FILES, pattern))
        while (dir_next(name, sizeof name))
            if (name[0] != '.' && filechooser_match(patterns, name))
                fc.entries.push_back({name, false});
    fc.selected = -1;
    fc.top = 0;
    fc.click_row = -1;
}

static int32_t fc_count(void)
{
    return (int32_t)fc.entries.size();
}

static void fc_keep_visible(void)
{
    if (fc.selected >= 0 && fc.selected < fc.top)
        fc.top = fc.selected;
    if (fc.selected >= fc.top + FC_ROWS)
        fc.top = fc.selected - FC_ROWS + 1;
    fc.top = std::max(0, std::min(fc.top, fc_count() - FC_ROWS));
}

// Selects an entry (clamped to the list); in the list a chosen file's name goes to the
// name box, as the player would type it.
static void fc_select(int32_t index)
{
    if (fc_count() == 0)
        return;
    fc.selected = std::max(0, std::min(index, fc_count() - 1));
    fc_keep_visible();
    fc_invalidate_list();
    const FcEntry &e = fc.entries[(size_t)fc.selected];
    if (!e.folder && !fc.field_mode && fc_copy(fc.name, sizeof fc.name, e.name.c_str()))
        fc_invalidate_name();
}

// Shows another folder; `from` (may be null) is the entry to select in it.
static void fc_enter(const char *folder, const char *from)
{
    fc_copy(fc.folder, sizeof fc.folder, folder);
    fc_load();
    if (fc.mode == FC_OPEN)
        fc.name[0] = 0;  // an open dialog's name follows the selection
    for (int32_t i = 0; from && i < fc_count(); i++)
        if (fc.entries[(size_t)i].folder && fc.entries[(size_t)i].name == from)
            fc_select(i);
    window_invalidate(fc.window);
}

static void fc_go_up(void)
{
    if (strcmp(fc.folder, "/") == 0)
        return;
    char parent[IO_FILE_PATH_MAX];
    fc_parent(fc.folder, parent);
    std::string from = fc_base_name(fc.folder);
    fc_enter(parent, from.c_str());
}

// --- choosing ---

// Ends this turn of the window so that it opens again with the keys in the name box or
// in the list; what the name box holds is kept.
static void fc_switch(bool field_mode)
{
    if (fc.field_mode)
        io_dialog_read(100, fc.name, sizeof fc.name);
    fc.field_mode = field_mode;
    window_end_modal(FC_SWITCH, 0);
}

static void fc_notice(const char *format, const char *name)
{
    char text[IO_FILE_PATH_MAX + 160];
    snprintf(text, sizeof text, format, name);
    msg_box(text, MB_OK);
}

// The checks a file name passes before the caller gets it: an existing file to open, an
// existing folder to save in, the default extension and the player's word on replacing
// a file. 1 when the dialog ends with it.
static int32_t fc_choose(const char *path)
{
    char chosen[IO_FILE_PATH_MAX];
    if (!fc_copy(chosen, sizeof chosen, path)) {
        msg_box(FC_TEXT_TOO_LONG, MB_OK);
        return 0;
    }
    if (fc.mode == FC_OPEN) {
        struct stat st;
        if (stat(chosen, &st) != 0 || S_ISDIR(st.st_mode)) {
            fc_notice(FC_TEXT_NOT_FOUND, fc_base_name(chosen));
            return 0;
        }
    } else {
        const char *base = fc_base_name(chosen);
        const char *dot = strrchr(base, '.');
        char extension[64];
        fc_default_extension(fc_patterns(), extension, sizeof extension);
        if ((!dot || dot == base) && extension[0]) {
            if (strlen(chosen) + strlen(extension) >= sizeof chosen) {
                msg_box(FC_TEXT_TOO_LONG, MB_OK);
                return 0;
            }
            strcat(chosen, extension);
        }
        char folder[IO_FILE_PATH_MAX];
        fc_parent(chosen, folder);
        if (!fc_is_folder(folder)) {
            fc_notice(FC_TEXT_NO_FOLDER, folder);
            return 0;
        }
        if (fc_is_folder(chosen)) {
            fc_notice(FC_TEXT_NOT_FOUND, fc_base_name(chosen));
            return 0;
        }
        if (file_exists(chosen)) {
            char text[IO_FILE_PATH_MAX + 160];
            snprintf(text, sizeof text, FC_TEXT_REPLACE, fc_base_name(chosen));
            if (!msg_box(text, MB_YES | MB_NO))
                return 0;
        }
    }
    memcpy(fc.chosen, chosen, sizeof chosen);
    window_end_modal(FC_CHOSEN, 0);
    return 1;
}

// Opens a folder entry or chooses a file entry.
static void fc_activate(int32_t index)
{
    if (index < 0 || index >= fc_count())
        return;
    const FcEntry &e = fc.entries[(size_t)index];
    char path[IO_FILE_PATH_MAX];
    if (!fc_resolve(fc.folder, e.name.c_str(), path)) {
        msg_box(FC_TEXT_TOO_LONG, MB_OK);
        return;
    }
    if (e.folder)
        fc_enter(path, nullptr);
    else
        fc_choose(path);
}

// Enter or the OK button. The list acts on its selection, or without one on the name
// box; the name box on its text, a folder's name opening that folder, or when it is
// empty on the selection.
static void fc_accept(void)
{
    char typed[IO_FILE_PATH_MAX];
    if (fc.field_mode)
        io_dialog_read(100, typed, sizeof typed);
    else
        fc_copy(typed, sizeof typed, fc.name);
    if ((!fc.field_mode && fc.selected >= 0) || !typed[0]) {
        fc_activate(fc.selected);
        return;
    }
    char path[IO_FILE_PATH_MAX];
    if (!fc_resolve(fc.folder, typed, path)) {
        msg_box(FC_TEXT_TOO_LONG, MB_OK);
        return;
    }
    if (!fc_is_folder(path)) {
        fc_choose(path);
        return;
    }
    fc_enter(path, nullptr);
    fc.name[0] = 0;  // a folder's name has done its work
    if (fc.field_mode)
        window_end_modal(FC_SWITCH, 0);  // the field opens again, empty
}

static void fc_next_pair(void)
{
    const char *description, *patterns;
    fc.pair = fc_filter_pair(fc.filter, fc.pair + 1, &description, &patterns) ? fc.pair + 1 : 0;
    fc_load();
    window_invalidate(fc.window);
}

// --- keys and the mouse ---

static bool fc_list_key(int32_t key)
{
    int32_t last = fc_count() - 1, at = std::max(fc.selected, 0);
    switch (key) {
    case IO_VK_UP: fc_select(fc.selected < 0 ? 0 : at - 1); return true;
    case IO_VK_DOWN: fc_select(fc.selected < 0 ? 0 : at + 1); return true;
    case IO_VK_PAGEUP: fc_select(at - (FC_ROWS - 1)); return true;
    case IO_VK_PAGEDOWN: fc_select(fc.selected < 0 ? FC_ROWS - 1 : at + FC_ROWS - 1); return true;
    case IO_VK_PAGEUP | IO_VK_CTRL: fc_select(0); return true;
    case IO_VK_PAGEDOWN | IO_VK_CTRL: fc_select(last); return true;
    case IO_VK_BACKSPACE: fc_go_up(); return true;
    case IO_VK_TAB: fc_switch(true); return true;
    case IO_VK_ENTER: fc_accept(); return true;
    case IO_VK_ESCAPE: window_end_modal(FC_CANCELLED, 0); return true;
    default: break;
    }
    // A letter or digit jumps to the next name that starts with it.
    if ((key >= IO_VK_A && key <= IO_VK_A + 25) || (key >= IO_VK_0 && key <= IO_VK_0 + 9)) {
        for (int32_t step = 1; step <= fc_count(); step++) {
            int32_t i = (at + (fc.selected < 0 ? step - 1 : step)) % fc_count();
            char c = fc.entries[(size_t)i].name[0];
            if (c >= 'a' && c <= 'z')
                c = (char)(c - 'a' + 'A');
            if (c == key) {
                fc_select(i);
                break;
            }
        }
        return true;
    }
    return false;
}

static bool fc_key(int32_t key)
{
    if (!fc.field_mode)
        return fc_list_key(key);
    // The edit field keeps its keys; the pages take the keys back to the list.
    int32_t page = key & ~IO_VK_CTRL;
    if (page == IO_VK_PAGEUP || page == IO_VK_PAGEDOWN) {
        fc_switch(false);
        fc_list_key(key);
        return true;
    }
    if (key == IO_VK_ENTER)
        fc_accept();
    else if (key == IO_VK_ESCAPE)
        window_end_modal(FC_CANCELLED, 0);
    return key == IO_VK_ENTER || key == IO_VK_ESCAPE;
}

// The scroll bar's track and thumb, relative to the window; false without a bar.
static bool fc_bar(int32_t *track_y, int32_t *track_h, int32_t *thumb_y, int32_t *thumb_h)
{
    if (fc_count() <= FC_ROWS)
        return false;
    *track_y = FC_LIST_Y + 1;
    *track_h = FC_LIST_HEIGHT - 2;
    *thumb_h = std::max(FC_THUMB_MIN, *track_h * FC_ROWS / fc_count());
    *thumb_y = *track_y + (int32_t)((int64_t)(*track_h - *thumb_h) * fc.top / (fc_count() - FC_ROWS));
    return true;
}

static void fc_scroll_to(int32_t top)
{
    top = std::max(0, std::min(top, fc_count() - FC_ROWS));
    if (top != fc.top) {
        fc.top = top;
        fc_invalidate_list();
    }
}

static bool fc_inside(int32_t x, int32_t y, int32_t rx, int32_t ry, int32_t rw, int32_t rh)
{
    return x >= rx && x < rx + rw && y >= ry && y < ry + rh;
}

static void fc_mouse_down(int32_t x, int32_t y)
{
    int32_t track_y, track_h, thumb_y, thumb_h;
    int32_t bar_x = FC_LIST_X + FC_LIST_WIDTH - 1 - FC_BAR_WIDTH;
    if (fc_bar(&track_y, &track_h, &thumb_y, &thumb_h) &&
        fc_inside(x, y, bar_x, FC_LIST_Y, FC_BAR_WIDTH + 1, FC_LIST_HEIGHT)) {
        if (y < thumb_y) {
            fc_scroll_to(fc.top - (FC_ROWS - 1));
        } else if (y >= thumb_y + thumb_h) {
            fc_scroll_to(fc.top + (FC_ROWS - 1));
        } else {
            fc.thumb_grab = y - thumb_y;
            window_capture(fc.window);
        }
        return;
    }
    if (fc_inside(x, y, FC_LIST_X, FC_LIST_Y + FC_LIST_PAD, FC_LIST_WIDTH, FC_ROWS * FC_ROW_HEIGHT)) {
        int32_t row = fc.top + (y - FC_LIST_Y - FC_LIST_PAD) / FC_ROW_HEIGHT;
        if (row >= fc_count())
            return;
        int64_t now = io_time();
        bool twice = row == fc.click_row && now - fc.click_time <= FC_DOUBLE_CLICK_MS;
        fc.click_row = twice ? -1 : row;
        fc.click_time = now;
        // A click in the list takes the keys there; when it ends the name box's turn, a
        // second click comes to the list's turn and still counts as double.
        if (fc.field_mode)
            fc_switch(false);
        fc_select(row);
        if (twice)
            fc_activate(row);
        return;
    }
    if (!fc.field_mode && fc_inside(x, y, FC_FIELD_X, FC_NAME_Y, FC_FIELD_WIDTH, FC_NAME_HEIGHT))
        fc_switch(true);
}

// --- drawing ---

// System-font text is not cut to the dirty tiles, and text drawn twice over itself grows
// darker, so each text box is painted whole into a picture and that picture goes to the
// screen through the clipper.
static Screen fc_screen;

static void fc_paper_fill(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour)
{
    int32_t x0 = std::max(0, x), y0 = std::max(0, y);
    int32_t x1 = std::min(screen.width, x + w), y1 = std::min(screen.height, y + h);
    if (x0 >= x1 || y0 >= y1)
        return;
    ImgView v = {x1 - x0, y1 - y0, IMG_BGR, screen.buf + (ptrdiff_t)y0 * screen.pitch + x0 * 3, screen.pitch,
                 nullptr, 0};
    img_fill_view(&v, colour);
}

static void fc_paper_begin(int32_t w, int32_t h)
{
    fc_screen = screen;
    int32_t stride, pw, ph;
    uint8_t *pixels = img_pixels(fc.paper, &stride, &pw, &ph);
    screen.width = std::min(w, pw);
    screen.height = std::min(h, ph);
    screen.pitch = stride;
    screen.buf = pixels;
    fc_paper_fill(0, 0, w, h, skin_color(SKIN_COLOR_EDIT_BACKGROUND));
}

static void fc_paper_end(int32_t sx, int32_t sy, int32_t w, int32_t h)
{
    screen = fc_screen;
    img_draw(fc.paper, sx, sy, 0, 0, w, h);
}

static int32_t fc_text_width(const char *text)
{
    int32_t w, h;
    io_gdi_text_size(&font_dialog, text, 0, 0, &w, &h);
    return w;
}

// The display form of `name` cut to `width` pixels: its first characters and "...", or
// with `keep_end` "..." and its last characters.
static std::string fc_fit(const char *name, int32_t width, bool keep_end)
{
    char shown[IO_FILE_PATH_MAX * 3];
    fc_display_name(name, shown, sizeof shown);
    if (fc_text_width(shown) <= width)
        return shown;
    std::vector<size_t> starts;  // where each character begins
    for (size_t i = 0; shown[i]; i++)
        if (((unsigned char)shown[i] & 0xC0) != 0x80)
            starts.push_back(i);
    auto cut = [&](size_t keep) {
        size_t n = starts.size();
        return keep_end ? "..." + std::string(shown + (keep < n ? starts[n - keep] : 0))
                        : std::string(shown, keep < n ? starts[keep] : strlen(shown)) + "...";
    };
    size_t lo = 0, hi = starts.size();  // the most characters that fit
    while (lo < hi) {
        size_t mid = (lo + hi + 1) / 2;
        if (fc_text_width(cut(mid).c_str()) <= width)
            lo = mid;
        else
            hi = mid - 1;
    }
    return cut(lo);
}

// A folder's mark: a small tab and body.
static void fc_draw_folder_mark(int32_t x, int32_t y, uint32_t colour)
{
    fc_paper_fill(x, y, 5, 2, colour);
    fc_paper_fill(x, y + 2, 12, 8, colour);
    fc_paper_fill(x + 1, y + 4, 10, 5, skin_color(SKIN_COLOR_EDIT_BACKGROUND));
}

static void fc_draw_path(int32_t sx, int32_t sy)
{
    int32_t x = FC_FIELD_X, y = FC_PATH_Y + (FC_BUTTON_HEIGHT - FC_BOX_HEIGHT) / 2;
    skin_bevel(x - 1, y - 1, FC_FIELD_WIDTH + 2, FC_BOX_HEIGHT + 2);
    if (!clip_is_dirty(sx + x, sy + y, FC_FIELD_WIDTH, FC_BOX_HEIGHT))
        return;
    fc_paper_begin(FC_FIELD_WIDTH, FC_BOX_HEIGHT);
    std::string shown = fc_fit(fc.folder, FC_FIELD_WIDTH - 2 * IO_EDIT_PAD_X, true);
    io_gdi_text(&font_dialog, shown.c_str(), IO_EDIT_PAD_X, (FC_BOX_HEIGHT - font_dialog.height) / 2,
                skin_color(SKIN_COLOR_EDIT_TEXT), 0, 0);
    fc_paper_end(sx + x, sy + y, FC_FIELD_WIDTH, FC_BOX_HEIGHT);
}

static void fc_draw_list(int32_t sx, int32_t sy)
{
    skin_bevel(FC_LIST_X - 1, FC_LIST_Y - 1, FC_LIST_WIDTH + 2, FC_LIST_HEIGHT + 2);
    if (!clip_is_dirty(sx + FC_LIST_X, sy + FC_LIST_Y, FC_LIST_WIDTH, FC_LIST_HEIGHT))
        return;
    fc_paper_begin(FC_LIST_WIDTH, FC_LIST_HEIGHT);
    uint32_t ink = skin_color(SKIN_COLOR_EDIT_TEXT);
    int32_t track_y, track_h, thumb_y, thumb_h;
    bool bar = fc_bar(&track_y, &track_h, &thumb_y, &thumb_h);
    int32_t text_width = FC_LIST_WIDTH - FC_ICON_WIDTH - 2 * IO_EDIT_PAD_X - (bar ? FC_BAR_WIDTH : 0);
    for (int32_t row = 0; row < FC_ROWS && fc.top + row < fc_count(); row++) {
        const FcEntry &e = fc.entries[(size_t)(fc.top + row)];
        int32_t y = FC_LIST_PAD + row * FC_ROW_HEIGHT;
        if (fc.top + row == fc.selected)
            fc_paper_fill(0, y, FC_LIST_WIDTH, FC_ROW_HEIGHT, skin_color(SKIN_COLOR_SELECTION));
        if (e.folder)
            fc_draw_folder_mark(IO_EDIT_PAD_X + 2, y + 3, ink);
        std::string shown = fc_fit(e.name.c_str(), text_width, false);
        io_gdi_text(&font_dialog, shown.c_str(), IO_EDIT_PAD_X + FC_ICON_WIDTH, y + (FC_ROW_HEIGHT - font_dialog.height) / 2,
                    ink, 0, 0);
    }
    if (bar) {
        int32_t x = FC_LIST_WIDTH - 1 - FC_BAR_WIDTH;
        fc_paper_fill(x, 0, FC_BAR_WIDTH + 1, FC_LIST_HEIGHT, skin_color(SKIN_COLOR_BEVEL_RB));
        fc_paper_fill(x, 0, 1, FC_LIST_HEIGHT, skin_color(SKIN_COLOR_BEVEL_RT));
        fc_paper_fill(x + 2, thumb_y - FC_LIST_Y, FC_BAR_WIDTH - 3, thumb_h, skin_color(SKIN_COLOR_BEVEL_T));
    }
    fc_paper_end(sx + FC_LIST_X, sy + FC_LIST_Y, FC_LIST_WIDTH, FC_LIST_HEIGHT);
}

// The name box as the edit field would show it; while the field is open it lies on top.
static void fc_draw_name(int32_t sx, int32_t sy)
{
    skin_bevel(FC_FIELD_X - 1, FC_NAME_Y - 1, FC_FIELD_WIDTH + 2, FC_NAME_HEIGHT + 2);
    if (fc.field_mode || !clip_is_dirty(sx + FC_FIELD_X, sy + FC_NAME_Y, FC_FIELD_WIDTH, FC_NAME_HEIGHT))
        return;
    fc_paper_begin(FC_FIELD_WIDTH, FC_NAME_HEIGHT);
    char shown[IO_FILE_PATH_MAX * 3];
    fc_display_name(fc.name, shown, sizeof shown);
    io_gdi_text(&font_dialog, shown, IO_EDIT_PAD_X, (FC_NAME_HEIGHT - font_dialog.height) / 2,
                skin_color(SKIN_COLOR_EDIT_TEXT), 0, 0);
    fc_paper_end(sx + FC_FIELD_X, sy + FC_NAME_Y, FC_FIELD_WIDTH, FC_NAME_HEIGHT);
}

static void fc_draw(int32_t width, int32_t height)
{
    int32_t sx, sy;
    window_screen_position(fc.window, &sx, &sy);
    skin_panel(SKIN_PANEL_DIALOG, 0, TW_TITLE_HEIGHT, width, height - TW_TITLE_HEIGHT - BUTTONBAR_HEIGHT);
    text_set_font(&font_small, skin_color(SKIN_COLOR_MSGBOX_TEXT), skin_color(SKIN_COLOR_MSGBOX_TEXT_SHADOW));
    int32_t tw, th;
    text_measure(FC_TEXT_NAME, &tw, &th);
    window_text_draw(sx, sy, FC_TEXT_NAME, FC_LIST_X, FC_NAME_Y + (FC_NAME_HEIGHT - th) / 2);
    window_text_draw(sx, sy, FC_TEXT_TYPE, FC_LIST_X, FC_TYPE_Y + (FC_BUTTON_HEIGHT - th) / 2);
    fc_draw_path(sx, sy);
    fc_draw_list(sx, sy);
    fc_draw_name(sx, sy);
}

// The pattern button's face: the selected pair's description, and a mark when there are
// others to switch to.
static void fc_draw_type(int32_t button)
{
    const char *description, *patterns;
    if (!fc_filter_pair(fc.filter, fc.pair, &description, &patterns))
        return;
    int32_t bx, by, bw, bh;
    window_screen_position(button, &bx, &by);
    window_size(button, &bw, &bh);
    uint32_t colour = !button_enabled(button) ? skin_color(SKIN_COLOR_BUTTON_TEXT_INACTIVE)
                      : button_hover(button)  ? skin_color(SKIN_COLOR_BUTTON_TEXT_HOVER)
                                              : skin_color(SKIN_COLOR_BUTTON_TEXT_ACTIVE);
    text_set_font(&font_medium, colour, skin_color(SKIN_COLOR_BUTTON_TEXT_SHADOW));
    std::string shown = description;
    int32_t room = bw - 36, tw, th;
    for (text_measure(shown.c_str(), &tw, &th); tw > room && shown.size() > 3; text_measure(shown.c_str(), &tw, &th))
        shown = shown.substr(0, shown.size() - 4) + "...";
    text_draw(shown.c_str(), bx + 10, by + (bh - th) / 2);
    if (fc.pairs > 1) {
        draw_set_fill(colour);
        for (int32_t i = 0; i < 4; i++)  // a small triangle pointing down
            draw_fill_rect(bx + bw - 22 + i, by + bh / 2 - 2 + i, 8 - 2 * i, 1);
    }
}

// --- the window ---

static int32_t fc_handler(int32_t window, IoEvent *event)
{
    (void)window;
    switch (event->code) {
    case IO_FRAME: fc_draw((int32_t)event->a, (int32_t)event->b); return 0;
    case IO_KEY_DOWN: return fc_key((int32_t)event->a) ? 1 : 0;
    case IO_MOUSE_DOWN:
        if (window_drag_mode() == 2) {
            window_drag_end();  // a second button while the thumb is held lets it go
            return 1;
        }
        if (event->c & IO_BUTTON_LEFT)
            fc_mouse_down((int32_t)event->a, (int32_t)event->b);
        return 1;
    case IO_MOUSE_UP:
        if (window_drag_mode() == 2)
            window_drag_end();
        return 1;
    case IO_MOUSE_MOVE: return 1;
    case TW_CAPTURE_MOVE: {
        int32_t track_y, track_h, thumb_y, thumb_h;
        const TwPoint *p = (const TwPoint *)event->c;
        if (fc_bar(&track_y, &track_h, &thumb_y, &thumb_h) && track_h > thumb_h)
            fc_scroll_to((int32_t)((int64_t)(p->y - fc.thumb_grab - track_y) * (fc_count() - FC_ROWS) /
                                   (track_h - thumb_h)));
        return 1;
    }
    case TW_CLICKED:
        if (event->a == fc.up)
            fc_go_up();
        else if (event->a == fc.type)
            fc_next_pair();
        else if (event->a == fc.ok_open || event->a == fc.ok_save)
            fc_accept();
        else if (event->a == fc.cancel)
            window_end_modal(FC_CANCELLED, 0);
        return 1;
    case TW_DESTROY:
        fc.window = -1;
        return 0;
    default: return 0;
    }
}

static void fc_make_window(void)
{
    fc.window = window_register(-1, TWS_MODAL | TWS_FRAME, 0, 0, FC_WIDTH, FC_HEIGHT, fc_handler, nullptr);
    fc.up = button_register(fc.window, BS_PUSH | BS_TEXT | BS_FRAME, FC_LIST_X, FC_PATH_Y, FC_UP_WIDTH,
                            FC_BUTTON_HEIGHT, 0, FC_TEXT_UP, 0, 0);
    fc.type = button_register_drawn(fc.window, BS_PUSH | BS_OWNERDRAW | BS_FRAME, FC_FIELD_X, FC_TYPE_Y,
                                    FC_FIELD_WIDTH, FC_BUTTON_HEIGHT, 0, fc_draw_type, 0, 0);
    fc.bar = buttonbar_create(fc.window);
    fc.ok_open = buttonbar_add(fc.bar, FC_SLOT_OK, 0, FC_TEXT_OPEN, 0, IO_VK_ENTER, -1);
    fc.ok_save = buttonbar_add(fc.bar, FC_SLOT_OK, 1, FC_TEXT_SAVE, 0, IO_VK_ENTER, -1);
    fc.cancel = buttonbar_add(fc.bar, FC_SLOT_CANCEL, 0, FC_TEXT_CANCEL, 0, IO_VK_ESCAPE, -1);
    window_show(fc.window, 0);
}

// Where the dialog opens: the caller's folder, else the documents folder, else the
// start-up directory; a folder that has gone since is left for the nearest one above.
static void fc_start_folder(const char *folder, char *out)
{
    char start[IO_FILE_PATH_MAX];
    if (folder && folder[0])
        fc_copy(start, sizeof start, folder);
    else
        io_documents_folder(start, sizeof start);
    if (!start[0])
        current_dir(start, sizeof start);
    char cwd[IO_FILE_PATH_MAX];
    current_dir(cwd, sizeof cwd);
    if (!fc_resolve(cwd[0] ? cwd : "/", start, out))
        fc_copy(out, IO_FILE_PATH_MAX, "/");
    while (!fc_is_folder(out) && strcmp(out, "/") != 0) {
        char parent[IO_FILE_PATH_MAX];
        fc_parent(out, parent);
        memcpy(out, parent, sizeof parent);
    }
}

int32_t filechooser_run(int32_t mode, char *path, char *folder, const char *filter)
{
    if (!path)
        return 0;
    if (fc.window < 0)
        fc_make_window();
    fc.mode = mode;
    fc.filter = filter;
    fc.pair = 0;
    const char *description, *patterns;
    for (fc.pairs = 0; fc_filter_pair(fc.filter, fc.pairs, &description, &patterns);)
        fc.pairs++;
    char start[IO_FILE_PATH_MAX];
    fc_start_folder(folder, start);
    // A name offered with a folder in front opens in that folder when it exists.
    char offered[IO_FILE_PATH_MAX], offered_folder[IO_FILE_PATH_MAX];
    if (strchr(path, '/') && fc_resolve(start, path, offered)) {
        fc_parent(offered, offered_folder);
        if (fc_is_folder(offered_folder))
            memcpy(start, offered_folder, sizeof offered_folder);
    }
    if (!fc_copy(fc.name, sizeof fc.name, fc_base_name(path)))
        fc.name[0] = 0;

    window_set_title(fc.window, mode == FC_SAVE ? FC_TEXT_SAVE : FC_TEXT_OPEN);
    buttonbar_show(fc.bar, FC_SLOT_OK, mode == FC_SAVE ? 1 : 0);
    button_enable(fc.type, fc.pairs > 1);
    fc.paper = img_create(FC_LIST_WIDTH, FC_LIST_HEIGHT, IMG_BGR);
    fc.field_mode = mode == FC_SAVE;  // a save names its file first, an open looks first
    std::string kept_name = fc.name;
    fc_enter(start, nullptr);
    fc_copy(fc.name, sizeof fc.name, kept_name.c_str());
    window_show(fc.window, 1);
    int32_t result;
    for (;;) {
        IoDialogField fields[2] = {
            {IO_FIELD_LINE, FC_FIELD_X, FC_NAME_Y, FC_FIELD_WIDTH, FC_NAME_HEIGHT, fc.field_text, IO_FILE_PATH_MAX, 0},
            {},
        };
        memcpy(fc.field_text, fc.name, sizeof fc.name);
        result = window_focus_modal(fc.window, fc.field_mode ? fields : nullptr);
        if (result != FC_SWITCH || io_close_pending())
            break;
    }
    window_show(fc.window, 0);
    img_free(fc.paper);
    fc.paper = nullptr;
    std::vector<FcEntry>().swap(fc.entries);
    if (result != FC_CHOSEN)
        return 0;
    memcpy(path, fc.chosen, sizeof fc.chosen);
    if (folder)
        fc_parent(fc.chosen, folder);
    return 1;
}

int32_t io_open_file(char *path, char *folder, const char *filter)
{
    return filechooser_run(FC_OPEN, path, folder, filter);
}

int32_t io_save_file(char *path, char *folder, const char *filter)
{
    return filechooser_run(FC_SAVE, path, folder, filter);
}

// --- for tests ---

int32_t filechooser_window(void)
{
    return fc.window;
}

const char *filechooser_folder(void)
{
    return fc.folder;
}

int32_t filechooser_count(void)
{
    return fc_count();
}

const char *filechooser_entry(int32_t index, bool *folder)
{
    if (index < 0 || index >= fc_count())
        return nullptr;
    if (folder)
        *folder = fc.entries[(size_t)index].folder;
    return fc.entries[(size_t)index].name.c_str();
}

int32_t filechooser_selected(void)
{
    return fc.selected;
}

int32_t filechooser_top(void)
{
    return fc.top;
}

bool filechooser_entry_point(int32_t index, int32_t *x, int32_t *y)
{
    if (fc.window < 0 || index < fc.top || index >= fc.top + FC_ROWS || index >= fc_count())
        return false;
    int32_t sx, sy;
    window_screen_position(fc.window, &sx, &sy);
    *x = sx + FC_LIST_X + FC_LIST_WIDTH / 3;
    *y = sy + FC_LIST_Y + FC_LIST_PAD + (index - fc.top) * FC_ROW_HEIGHT + FC_ROW_HEIGHT / 2;
    return true;
}
