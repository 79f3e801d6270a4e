// The help viewer: two named help windows over the game's own help files, each a framed
// toolkit window with Back and Contents buttons over a page of wrapped text with links
// and a scroll bar.
//
// Where the windows live: the toolkit's floating slot is a single one, and whatever holds
// it takes every input away from the room (the progress window relies on that), so the
// help windows are plain children of the room in focus instead. They draw after the
// room's own windows, come to the front when opened or clicked, and hear clicks like
// any tool window, while the room keeps working beside them. A room's tree is its own,
// so each room that asks for help gets its own pair of windows, made the first time;
// an open help window follows the player into the room that asks next, and stays with
// its room otherwise. Keys go to a help window only while the pointer is over it, so
// the arrows keep walking the gallery while the help is merely open.
#include "ui/help.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/files.h"
#include "platform/log.h"
#include "platform/memory.h"
#include "platform/services.h"
#include "platform/video.h"
#include "res/ini.h"
#include "res/lang.h"
#include "res/lang_numbers.h"
#include "res/settings.h"
#include "ui/button.h"
#include "ui/help_file.h"
#include "ui/skin.h"
#include "ui/text.h"
#include "ui/window.h"

constexpr int32_t HELP_VIEWS = 2;         // "main" and "main2"
constexpr int32_t HELP_PLACES = 8;        // rooms that can each hold a pair of help windows
constexpr int32_t HELP_HISTORY = 32;      // Back remembers this many topics
constexpr int32_t HELP_FILE_MAX = 1 << 20;  // far above any real help file
constexpr int32_t HELP_LINE_CHARS = 255;  // a drawn line is cut here whatever its glyphs
constexpr int32_t HELP_PATH_MAX = 260;
constexpr int32_t HELP_MESSAGE_MAX = 640;
constexpr const char *HELP_FOLDER = "sfiles/ml";
constexpr const char *HELP_DEFAULT = "english.hlp";

// Layout inside a help window: the buttons under the title bar, then the page.
constexpr int32_t HELP_MARGIN = 8;        // page and buttons from the window's sides
constexpr int32_t HELP_BUTTON_Y = TW_TITLE_HEIGHT + 3;
constexpr int32_t HELP_BUTTON_HEIGHT = 24;  // the skin frame's corners need 24
constexpr int32_t HELP_BUTTON_GAP = 4;
constexpr int32_t HELP_PAGE_Y = HELP_BUTTON_Y + HELP_BUTTON_HEIGHT + 4;
// Inside the page: the text's left and top inset, the scroll bar at the right.
constexpr int32_t HELP_INSET_X = 6, HELP_INSET_Y = 4;
constexpr int32_t HELP_BAR_WIDTH = 12, HELP_BAR_INSET = 3, HELP_THUMB_MIN = 16;
constexpr int32_t HELP_ITEM_INDENT = 14;  // list items hang behind their bullet
constexpr int32_t HELP_BULLET = 4;
constexpr int32_t HELP_BLOCK_GAP = 5;     // before a paragraph, and before a run of items or links
constexpr int32_t HELP_TITLE_GAP = 4;     // under the topic's title
constexpr int32_t HELP_TITLE_ROOM = 24 + 60;  // the title bar's text start and its three boxes

// The viewer's own words, as the system's help viewer has its own: they are not texts
// of the game's language file.
static const char *const help_words[] = {"Back", "Contents"};

struct HelpWindowSpec {
    const char *name;
    int32_t width, height;  // at most; smaller screens get smaller windows
    int32_t x, y;           // x < 0: that far from the screen's right edge
};
static const HelpWindowSpec help_specs[HELP_VIEWS] = {
    {"main", 420, 440, -16, 36},  // the help proper, at the right where rooms have least
    {"main2", 340, 320, 72, 60},  // a room window's own page, over at the left
};

enum HelpLineKind : int32_t {
    HELP_LINE_TITLE,   // the topic's title, in the medium font
    HELP_LINE_TEXT,    // paragraph text, a message, and the lines that continue an item
    HELP_LINE_BULLET,  // the first line of a list item
    HELP_LINE_LINK,    // a line of a link
};

// One line of the page as laid out: a run of a text kept by the file or the view.
struct HelpLine {
    const char *start;
    int32_t count;
    int32_t kind;
    int32_t block;   // links: lines of one link light up together
    int32_t target;  // links: the topic
    int32_t x, y;    // in the text area, y from the top of the topic
    int32_t width, height;
};

// One named help window: what it shows, wherever its windows are.
struct HelpView {
    int32_t open = 0;
    int32_t place = -1;         // the room whose windows show it, -1 while closed
    HelpFile *file = nullptr;   // null when the file could not be shown
    char path[HELP_PATH_MAX] = {};
    char message[HELP_MESSAGE_MAX] = {};  // shown instead of a topic when not empty
    int32_t topic = -1;         // the topic shown, -1 while the message shows
    HelpLine *lines = nullptr;
    int32_t line_count = 0, line_capacity = 0;
    int32_t scroll = 0;         // the first line shown
    int32_t history_topic[HELP_HISTORY] = {}, history_scroll[HELP_HISTORY] = {};
    int32_t history_count = 0;
    int32_t hover = -1;         // the link line under the pointer
    int32_t grab = -1;          // while the thumb is carried: the pointer's offset into it
};

struct HelpWindows {
    int32_t frame = -1, page = -1, back = -1, contents = -1;
};

struct HelpPlace {
    int32_t root = -1;
    HelpWindows views[HELP_VIEWS];
};

static struct Help {
    HelpView views[HELP_VIEWS];
    HelpPlace places[HELP_PLACES];
    int32_t place_count = 0;
    int32_t host = -1;          // our own empty root while no room is in focus
    bool hand = false;          // the hand cursor is ours to take back
} help;

static int32_t help_frame_event(int32_t window, IoEvent *event);
static int32_t help_page_event(int32_t window, IoEvent *event);
static int32_t help_host_event(int32_t window, IoEvent *event);

static int32_t help_view_index(const char *name)
{
    for (int32_t i = 0; name && i < HELP_VIEWS; i++)
        if (strcmp(name, help_specs[i].name) == 0)
            return i;
    return -1;
}

static int32_t view_index(const HelpView *v)
{
    return (int32_t)(v - help.views);
}

static HelpWindows *view_windows(const HelpView *v)
{
    return v->place >= 0 ? &help.places[v->place].views[view_index(v)] : nullptr;
}

// --- the file ---

// A name from the settings that stays inside the help folder.
static bool help_plain_name(const char *name)
{
    return name[0] && name[0] != '.' && !strpbrk(name, "/\\*?");
}

// [MAIN] HelpFile in the help folder when it names a file there (letter case aside),
// else the English help.
static void help_path(char *out, int32_t size)
{
    char name[HELP_PATH_MAX];
    ini_get_string(SETTINGS_CONFIG, "MAIN", "HelpFile", name, sizeof name);
    if (help_plain_name(name)) {
        char path[HELP_PATH_MAX + 16];
        snprintf(path, sizeof path, "%s/%s", HELP_FOLDER, name);
        char found[HELP_PATH_MAX];
        // A name cut short would name another file, so it is only taken whole.
        int n = -1;
        if (file_exists(path))
            n = snprintf(out, (size_t)size, "%s", path);
        else if (dir_first(DIR_FILES, path) && dir_next(found, sizeof found))
            n = snprintf(out, (size_t)size, "%s/%s", HELP_FOLDER, found);
        if (n >= 0 && n < size)
            return;
    }
    snprintf(out, (size_t)size, "%s/%s", HELP_FOLDER, HELP_DEFAULT);
}

// Reads, checks and parses the file; what goes wrong becomes the view's message.
static void help_load(HelpView *v)
{
    help_path(v->path, sizeof v->path);
    v->message[0] = 0;
    char *text = file_read_text(v->path);
    char why[200];
    if (!text) {
        snprintf(v->message, sizeof v->message, "The help file %s cannot be read.", v->path);
    } else if (strlen(text) > (size_t)HELP_FILE_MAX) {
        snprintf(v->message, sizeof v->message, "The help file %s is too large to be a help file.", v->path);
    } else if (!lt_help_check(text, why, sizeof why)) {
        snprintf(v->message, sizeof v->message, "The help file %s is damaged (%s).", v->path, why);
    } else {
        v->file = help_file_parse(text);
    }
    if (v->message[0])
        io_log("help: %s\n", v->message);
    io_mem_free(text);
}

static void help_release(HelpView *v)
{
    help_file_free(v->file);
    io_mem_free(v->lines);
    *v = HelpView();
}

// --- layout ---

// Pixels each character advances in a font; characters it cannot draw take none.
static void help_widths(const Font *font, int16_t widths[256])
{
    text_set_font(font, 0, TEXT_NONE);
    for (int32_t c = 0; c < 256; c++) {
        widths[c] = 0;
        if (font->kind == FONT_SYSTEM) {
            if (c >= 32 && c < 127) {
                char s[2] = {(char)c, 0};
                int32_t w, h;
                text_measure(s, &w, &h);
                widths[c] = (int16_t)w;
            }
        } else if (c >= font->first && c <= font->last) {
            widths[c] = (int16_t)(font->glyphs[c - font->first].width + font->spacing);
        }
    }
}

static void help_add_line(HelpView *v, const HelpLine &line)
{
    if (v->line_count == v->line_capacity) {
        int32_t capacity = v->line_capacity ? v->line_capacity * 2 : 64;
        v->lines = (HelpLine *)io_mem_realloc(v->lines, (size_t)capacity * sizeof(HelpLine));
        v->line_capacity = capacity;
    }
    v->lines[v->line_count++] = line;
}

// Breaks a text into lines of at most `width` pixels at blanks; a word wider than the
// line is cut, so nothing ever reaches past the page. `proto` gives kind, block, target
// and x of the lines; lines after an item's first are plain text.
static void help_wrap(HelpView *v, const int16_t *widths, const char *text, HelpLine proto, int32_t width,
                      int32_t height, int32_t *y)
{
    const char *p = text;
    while (*p == ' ')
        p++;
    while (*p) {
        const char *start = p, *after_blank = nullptr;
        int32_t w = 0;
        while (*p) {
            int32_t c = widths[(unsigned char)*p];
            if (p > start && (w + c > width || p - start >= HELP_LINE_CHARS))
                break;
            w += c;
            if (*p++ == ' ')
                after_blank = p;
        }
        const char *stop = p;
        if (*p && *p != ' ' && after_blank)
            stop = p = after_blank;  // the word that does not fit starts the next line
        int32_t count = (int32_t)(stop - start);
        while (count > 0 && start[count - 1] == ' ')
            count--;
        int32_t line_width = 0;
        for (int32_t i = 0; i < count; i++)
            line_width += widths[(unsigned char)start[i]];
        HelpLine line = proto;
        line.start = start;
        line.count = count;
        line.y = *y;
        line.width = line_width;
        line.height = height;
        help_add_line(v, line);
        if (proto.kind == HELP_LINE_BULLET)
            proto.kind = HELP_LINE_TEXT;
        *y += height;
        while (*p == ' ')
            p++;
    }
}

// The page's text area for a page window of width w and height h.
static int32_t text_width(int32_t w)
{
    return w - HELP_INSET_X - HELP_BAR_WIDTH - 2 * HELP_BAR_INSET;
}
static int32_t text_height(int32_t h)
{
    return h - 2 * HELP_INSET_Y;
}

static void help_layout(HelpView *v, const HelpTopic *topic, int32_t width)
{
    v->line_count = 0;
    int16_t small[256], medium[256];
    help_widths(&font_small, small);
    int32_t y = 0;
    if (!topic) {
        help_wrap(v, small, v->message, {nullptr, 0, HELP_LINE_TEXT, -1, 0, 0, 0, 0, 0}, width, font_small.line, &y);
        return;
    }
    help_widths(&font_medium, medium);
    help_wrap(v, medium, topic->title, {nullptr, 0, HELP_LINE_TITLE, -1, 0, 0, 0, 0, 0}, width, font_medium.line, &y);
    y += HELP_TITLE_GAP;
    int32_t last_kind = -1;
    for (int32_t b = topic->first_block; b < topic->first_block + topic->block_count; b++) {
        const HelpBlock &block = v->file->blocks[b];
        if (block.kind == HELP_PARAGRAPH || block.kind != last_kind)
            y += HELP_BLOCK_GAP;
        last_kind = block.kind;
        HelpLine proto = {nullptr, 0, HELP_LINE_TEXT, b, 0, 0, 0, 0, 0};
        int32_t w = width;
        if (block.kind == HELP_ITEM) {
            proto.kind = HELP_LINE_BULLET;
            proto.x = HELP_ITEM_INDENT;
            w -= HELP_ITEM_INDENT;
        } else if (block.kind == HELP_LINK) {
            proto.kind = HELP_LINE_LINK;
            proto.target = block.target;
        }
        help_wrap(v, small, block.text, proto, w, font_small.line, &y);
    }
}

// --- scrolling ---

// The first line shown when the page is scrolled to the end.
static int32_t max_scroll(const HelpView *v, int32_t area)
{
    if (v->line_count == 0)
        return 0;
    const HelpLine &last = v->lines[v->line_count - 1];
    int32_t s = 0;
    while (s < v->line_count - 1 && last.y + last.height - v->lines[s].y > area)
        s++;
    return s;
}

// The lines from `scroll` that fit the area: one past the last shown.
static int32_t shown_end(const HelpView *v, int32_t scroll, int32_t area)
{
    int32_t i = scroll;
    while (i < v->line_count && v->lines[i].y + v->lines[i].height - v->lines[scroll].y <= area)
        i++;
    return std::max(i, std::min(scroll + 1, v->line_count));
}

static void page_size(const HelpView *v, int32_t *w, int32_t *h)
{
    *w = *h = 0;
    if (const HelpWindows *hw = view_windows(v))
        window_size(hw->page, w, h);
}

static void help_hover(HelpView *v, int32_t line);
static int32_t link_at(const HelpView *v, int32_t px, int32_t py);

// The page moved under a resting pointer: it may now rest on a link, or no longer on one.
static void help_rehover(HelpView *v)
{
    const HelpWindows *hw = view_windows(v);
    int32_t px, py;
    window_screen_position(hw->page, &px, &py);
    help_hover(v, window_hit(hw->page) ? link_at(v, io_mouse_x - px, io_mouse_y - py) : -1);
}

static void help_scroll_to(HelpView *v, int32_t scroll)
{
    int32_t w, h;
    page_size(v, &w, &h);
    scroll = std::clamp(scroll, 0, max_scroll(v, text_height(h)));
    if (scroll == v->scroll)
        return;
    v->scroll = scroll;
    window_invalidate(view_windows(v)->page);
    help_rehover(v);
}

static void help_page_down(HelpView *v)
{
    int32_t w, h;
    page_size(v, &w, &h);
    help_scroll_to(v, shown_end(v, v->scroll, text_height(h)));
}

static void help_page_up(HelpView *v)
{
    int32_t w, h;
    page_size(v, &w, &h);
    int32_t s = v->scroll - 1;
    while (s > 0 && v->lines[v->scroll].y - v->lines[s - 1].y <= text_height(h))
        s--;
    help_scroll_to(v, s);
}

// The scroll bar in page coordinates: the track, and the thumb within it.
struct HelpBar {
    int32_t x, y, height;
    int32_t thumb_y, thumb_height;
    int32_t max;  // 0: nothing to scroll, no thumb
};

static HelpBar help_bar(const HelpView *v, int32_t w, int32_t h)
{
    HelpBar bar = {w - HELP_BAR_INSET - HELP_BAR_WIDTH, HELP_BAR_INSET, h - 2 * HELP_BAR_INSET, 0, 0, 0};
    bar.max = max_scroll(v, text_height(h));
    if (bar.max == 0 || bar.height <= 0)
        return bar;
    const HelpLine &last = v->lines[v->line_count - 1];
    int64_t total = std::max(1, last.y + last.height - v->lines[0].y);
    bar.thumb_height = (int32_t)std::clamp<int64_t>((int64_t)bar.height * text_height(h) / total, HELP_THUMB_MIN,
                                                    bar.height);
    bar.thumb_y = bar.y + (int32_t)((int64_t)(bar.height - bar.thumb_height) * v->scroll / bar.max);
    return bar;
}

// --- showing a topic ---

// The window's title: the topic's, cut with dots to what the title bar holds.
static void help_set_title(int32_t frame, const char *title)
{
    int32_t w, h;
    window_size(frame, &w, &h);
    int16_t widths[256];
    help_widths(&font_small, widths);
    int32_t room = w - HELP_TITLE_ROOM, used = 0, n = 0, dots = 3 * widths['.'];
    char text[HELP_LINE_CHARS + 4];
    int32_t length = (int32_t)strlen(title);
    while (n < length && n < HELP_LINE_CHARS && used + widths[(unsigned char)title[n]] <= room)
        used += widths[(unsigned char)title[n++]];
    if (n < length) {
        while (n > 0 && used + dots > room)
            used -= widths[(unsigned char)title[--n]];
        memcpy(text, title, (size_t)n);
        memcpy(text + n, "...", 4);
    } else {
        memcpy(text, title, (size_t)n);
        text[n] = 0;
    }
    window_set_title(frame, text);
}

// The link line under a point of the page, -1 when none.
static int32_t link_at(const HelpView *v, int32_t px, int32_t py)
{
    int32_t w, h;
    page_size(v, &w, &h);
    if (v->line_count == 0)
        return -1;
    int32_t end = shown_end(v, v->scroll, text_height(h)), top = v->lines[v->scroll].y;
    for (int32_t i = v->scroll; i < end; i++) {
        const HelpLine &l = v->lines[i];
        int32_t x = HELP_INSET_X + l.x, y = HELP_INSET_Y + l.y - top;
        if (l.kind == HELP_LINE_LINK && px >= x && px < x + l.width && py >= y && py < y + l.height)
            return i;
    }
    return -1;
}

static void help_hover(HelpView *v, int32_t line)
{
    int32_t block = line >= 0 ? v->lines[line].block : -1;
    int32_t old = v->hover >= 0 && v->hover < v->line_count ? v->lines[v->hover].block : -1;
    v->hover = line;
    if (block != old)
        if (const HelpWindows *hw = view_windows(v))
            window_invalidate(hw->page);
    if (line >= 0 && !help.hand) {
        io_set_cursor(IO_CURSOR_GAME);
        help.hand = true;
    } else if (line < 0 && help.hand) {
        io_set_cursor(IO_CURSOR_ARROW);
        help.hand = false;
    }
}

// Lays the page out for topic `number` (or the message) scrolled to `scroll`.
static void help_go(HelpView *v, int32_t number, int32_t scroll)
{
    const HelpWindows *hw = view_windows(v);
    const HelpTopic *topic = nullptr;
    if (v->file) {
        topic = help_file_topic(v->file, number);
        if (topic)
            v->message[0] = 0;
        else
            snprintf(v->message, sizeof v->message, "The help file %s has no topic %i.", v->path, number);
    }
    v->topic = topic ? number : -1;
    v->hover = -1;  // it named a line of the old page
    int32_t w, h;
    window_size(hw->page, &w, &h);
    help_layout(v, topic, text_width(w));
    const char *slash = strrchr(v->path, '/');
    help_set_title(hw->frame, topic ? topic->title : slash ? slash + 1 : v->path);
    button_enable(hw->back, v->history_count > 0);
    button_enable(hw->contents, v->file != nullptr);
    window_invalidate(hw->frame);
    v->scroll = -1;  // so the page is marked and the hover looked at again
    help_scroll_to(v, scroll);
}

static void help_remember(HelpView *v)
{
    if (v->topic < 0)
        return;
    if (v->history_count == HELP_HISTORY) {
        // The oldest step is forgotten.
        memmove(v->history_topic, v->history_topic + 1, sizeof v->history_topic - sizeof v->history_topic[0]);
        memmove(v->history_scroll, v->history_scroll + 1, sizeof v->history_scroll - sizeof v->history_scroll[0]);
        v->history_count--;
    }
    v->history_topic[v->history_count] = v->topic;
    v->history_scroll[v->history_count] = v->scroll;
    v->history_count++;
}

// A link or the Contents button: the topic shown now goes on the history.
static void help_follow(HelpView *v, int32_t number)
{
    if (number == v->topic)
        return;
    help_remember(v);
    help_go(v, number, 0);
}

static void help_back(HelpView *v)
{
    if (v->history_count == 0)
        return;
    v->history_count--;
    help_go(v, v->history_topic[v->history_count], v->history_scroll[v->history_count]);
}

static void help_close_view(HelpView *v)
{
    if (!v->open)
        return;
    if (v->grab >= 0 && window_drag_mode() == 2)
        window_drag_end();
    if (const HelpWindows *hw = view_windows(v))
        window_show(hw->frame, 0);
    if (help.hand) {
        io_set_cursor(IO_CURSOR_ARROW);
        help.hand = false;
    }
    help_release(v);
}

// --- the windows ---

// Forgets places whose windows are gone (a toolkit started afresh).
static void help_check_places(void)
{
    bool stale = help.host >= window_count() || (help.host >= 0 && window_get(help.host)->handler != help_host_event);
    for (int32_t i = 0; i < help.place_count && !stale; i++)
        for (const HelpWindows &w : help.places[i].views)
            stale = stale || w.frame >= window_count() ||
                    (w.frame >= 0 && window_get(w.frame)->handler != help_frame_event);
    if (!stale)
        return;
    for (HelpView &v : help.views)
        help_release(&v);
    help = Help();
}

// The room in focus, or our own empty root before any room is.
static int32_t help_place_here(void)
{
    int32_t root = window_root();
    if (root < 0) {
        if (help.host < 0)
            help.host = window_register(-1, TWS_FULLSCREEN, 0, 0, 0, 0, help_host_event, nullptr);
        window_focus(help.host);
        root = help.host;
    }
    for (int32_t i = 0; i < help.place_count; i++)
        if (help.places[i].root == root)
            return i;
    if (help.place_count == HELP_PLACES)
        io_error("help_show: places[] is full\n");
    help.places[help.place_count] = HelpPlace();
    help.places[help.place_count].root = root;
    return help.place_count++;
}

static const HelpWindows &help_windows(int32_t place, int32_t index)
{
    HelpWindows &w = help.places[place].views[index];
    if (w.frame >= 0)
        return w;
    const HelpWindowSpec &spec = help_specs[index];
    int32_t width = std::max(200, std::min(spec.width, screen.width - 32));
    int32_t height = std::max(140, std::min(spec.height, screen.height - spec.y - 16));
    int32_t x = spec.x < 0 ? screen.width - width + spec.x : spec.x;
    HelpView *v = &help.views[index];
    w.frame = window_register(help.places[place].root, TWS_CHILD | TWS_FRAME | TWS_RAISE | TWS_CLOSE | TWS_COLLAPSE,
                              std::max(0, x), spec.y, width, height, help_frame_event, v);
    window_show(w.frame, 0);
    w.back = button_register(w.frame, BS_PUSH | BS_TEXT | BS_FRAME, HELP_MARGIN, HELP_BUTTON_Y, 0,
                             HELP_BUTTON_HEIGHT, 0, help_words[0], 0, 0);
    int32_t bw, bh;
    window_size(w.back, &bw, &bh);
    w.contents = button_register(w.frame, BS_PUSH | BS_TEXT | BS_FRAME, HELP_MARGIN + bw + HELP_BUTTON_GAP,
                                 HELP_BUTTON_Y, 0, HELP_BUTTON_HEIGHT, 0, help_words[1], 0, 0);
    w.page = window_register(w.frame, TWS_CHILD | TWS_OUTSIDE, HELP_MARGIN, HELP_PAGE_Y, width - 2 * HELP_MARGIN,
                             height - HELP_PAGE_Y - HELP_MARGIN, help_page_event, v);
    // The close box tells the page, so the view lets go of its file, not only hides.
    button_set_notify(window_get(w.frame)->close_button, w.page);
    return w;
}

void help_show(int32_t topic)
{
    help_check_places();
    int32_t index = (topic & HELP_SECOND_WINDOW) ? 1 : 0;
    int32_t number = topic & ~HELP_SECOND_WINDOW;
    HelpView *v = &help.views[index];
    int32_t place = help_place_here();
    const HelpWindows &w = help_windows(place, index);
    if (v->open && v->place != place) {
        // It follows the player into this room.
        if (v->grab >= 0 && window_drag_mode() == 2)
            window_drag_end();
        window_show(view_windows(v)->frame, 0);
    }
    if (!v->open) {
        help_load(v);
        v->open = 1;
    } else if (number != v->topic) {
        help_remember(v);
    }
    v->place = place;
    window_collapse(w.frame, 0);
    window_show(w.frame, 1);
    window_raise(w.frame);
    help_go(v, number, 0);
}

void help_close(const char *name)
{
    int32_t index = help_view_index(name);
    for (int32_t i = 0; i < HELP_VIEWS; i++)
        if (index < 0 || index == i)
            help_close_view(&help.views[i]);
}

// The toolkit shuts down: every window goes, and everything the views hold with them.
static void help_teardown(void)
{
    for (HelpView &v : help.views)
        help_release(&v);
    help = Help();
}

// Whether `window` is the frame or page that shows view v now.
static bool help_current(const HelpView *v, int32_t window)
{
    const HelpWindows *hw = view_windows(v);
    return v->open && hw && (hw->frame == window || hw->page == window);
}

static int32_t help_key(HelpView *v, int32_t key)
{
    switch (key) {
    case IO_VK_UP: help_scroll_to(v, v->scroll - 1); return 1;
    case IO_VK_DOWN: help_scroll_to(v, v->scroll + 1); return 1;
    case IO_VK_PAGEUP: help_page_up(v); return 1;
    case IO_VK_PAGEDOWN: help_page_down(v); return 1;
    case IO_VK_BACKSPACE: help_back(v); return 1;
    case IO_VK_ESCAPE: help_close_view(v); return 1;
    default: return 0;
    }
}

static int32_t help_frame_event(int32_t window, IoEvent *event)
{
    HelpView *v = (HelpView *)window_data(window);
    switch (event->code) {
    case TW_DESTROY: help_teardown(); return 0;
    case IO_FRAME:
        skin_panel(SKIN_PANEL_DIALOG, 0, TW_TITLE_HEIGHT, (int32_t)event->a, (int32_t)event->b - TW_TITLE_HEIGHT);
        return 0;
    case TW_CLICKED: {
        if (!help_current(v, window))
            return 0;
        const HelpWindows *hw = view_windows(v);
        if (event->a == hw->back)
            help_back(v);
        else if (event->a == hw->contents)
            help_follow(v, 0);
        return 1;
    }
    case IO_KEY_DOWN:
        // The toolkit has no keyboard focus: the help has the keys while it is pointed at.
        return help_current(v, window) && window_hit(window) ? help_key(v, (int32_t)event->a) : 0;
    case IO_MOUSE_DOWN: window_raise(window); return 1;
    case IO_MOUSE_UP:
    case IO_MOUSE_MOVE: return 1;  // the room behind does not hear what lands on the help
    default: return 0;
    }
}

// --- the page ---

static void fill(uint32_t colour, int32_t x, int32_t y, int32_t w, int32_t h)
{
    draw_set_fill(colour);
    draw_fill_rect(x, y, w, h);
}

// A sunken edge in the skin's bevel colours. Fills, not pen lines: fills keep to the
// dirty tiles, so nothing lands on windows in front that are not drawn this frame.
static void help_sunken(int32_t x, int32_t y, int32_t w, int32_t h)
{
    fill(skin_color(SKIN_COLOR_BEVEL_T), x, y, w, 1);
    fill(skin_color(SKIN_COLOR_BEVEL_L), x, y + 1, 1, h - 2);
    fill(skin_color(SKIN_COLOR_BEVEL_R), x + w - 1, y + 1, 1, h - 2);
    fill(skin_color(SKIN_COLOR_BEVEL_B), x, y + h - 1, w, 1);
}

static void help_draw_line(const HelpView *v, const HelpLine &l, int32_t x, int32_t y)
{
    char text[HELP_LINE_CHARS + 1];
    int32_t n = std::min(l.count, HELP_LINE_CHARS);
    memcpy(text, l.start, (size_t)n);
    text[n] = 0;
    const Font *font = l.kind == HELP_LINE_TITLE ? &font_medium : &font_small;
    uint32_t colour = skin_color(SKIN_COLOR_MSGBOX_TEXT), shadow = skin_color(SKIN_COLOR_MSGBOX_TEXT_SHADOW);
    if (l.kind == HELP_LINE_LINK) {
        bool lit = v->hover >= 0 && v->lines[v->hover].block == l.block;
        colour = skin_color(lit ? SKIN_COLOR_SELECTION : SKIN_COLOR_BUTTON_TEXT_HOVER);
        shadow = TEXT_NONE;
        fill(colour, x, y + font->size + 1, l.width, 1);
    }
    if (l.kind == HELP_LINE_BULLET)
        fill(colour, x - HELP_ITEM_INDENT + 3, y + (font->size - HELP_BULLET) / 2 + 1, HELP_BULLET, HELP_BULLET);
    text_set_font(font, colour, shadow);
    text_draw(text, x, y);
}

static void help_draw_page(const HelpView *v, int32_t window, int32_t w, int32_t h)
{
    int32_t sx, sy;
    window_screen_position(window, &sx, &sy);
    skin_panel(SKIN_PANEL_MESSAGE, 1, 1, w - 2, h - 2);
    help_sunken(sx, sy, w, h);
    if (v->line_count > 0) {
        int32_t end = shown_end(v, v->scroll, text_height(h)), top = v->lines[v->scroll].y;
        for (int32_t i = v->scroll; i < end; i++)
            help_draw_line(v, v->lines[i], sx + HELP_INSET_X + v->lines[i].x, sy + HELP_INSET_Y + v->lines[i].y - top);
    }
    HelpBar bar = help_bar(v, w, h);
    if (bar.max == 0)
        return;
    help_sunken(sx + bar.x, sy + bar.y, HELP_BAR_WIDTH, bar.height);
    // The thumb: light brass in a dark edge, standing out of the parchment.
    int32_t tx = sx + bar.x + 1, ty = sy + bar.thumb_y + 1, tw = HELP_BAR_WIDTH - 2, th = bar.thumb_height - 2;
    fill(skin_color(SKIN_COLOR_BEVEL_T), tx, ty, tw, th);
    fill(skin_color(SKIN_COLOR_BEVEL_R), tx + 1, ty + 1, tw - 2, th - 2);
}

static void help_press(HelpView *v, int32_t px, int32_t py)
{
    int32_t w, h;
    page_size(v, &w, &h);
    HelpBar bar = help_bar(v, w, h);
    if (bar.max > 0 && px >= bar.x && px < bar.x + HELP_BAR_WIDTH && py >= bar.y && py < bar.y + bar.height) {
        if (py < bar.thumb_y) {
            help_page_up(v);
        } else if (py >= bar.thumb_y + bar.thumb_height) {
            help_page_down(v);
        } else {
            v->grab = py - bar.thumb_y;
            window_capture(view_windows(v)->page);
        }
        return;
    }
    int32_t line = link_at(v, px, py);
    if (line >= 0)
        help_follow(v, v->lines[line].target);
}

// The thumb follows the pointer; the page scrolls to the line it stands for.
static void help_carry(HelpView *v, const TwPoint *p)
{
    int32_t w, h;
    page_size(v, &w, &h);
    HelpBar bar = help_bar(v, w, h);
    int32_t room = bar.height - bar.thumb_height;
    if (bar.max == 0 || room <= 0)
        return;
    int32_t top = std::clamp(p->y - v->grab - bar.y, 0, room);
    help_scroll_to(v, (int32_t)(((int64_t)top * bar.max + room / 2) / room));
}

static int32_t help_page_event(int32_t window, IoEvent *event)
{
    HelpView *v = (HelpView *)window_data(window);
    if (event->code == TW_DESTROY || !help_current(v, window))
        return 0;
    const HelpWindows *hw = view_windows(v);
    switch (event->code) {
    case IO_FRAME: help_draw_page(v, window, (int32_t)event->a, (int32_t)event->b); return 0;
    case IO_MOUSE_MOVE:
        if (v->grab < 0)
            help_hover(v, link_at(v, (int32_t)event->a, (int32_t)event->b));
        return 1;
    case TW_OUTSIDE:
        if (v->hover >= 0)
            help_hover(v, -1);
        return 0;
    case IO_MOUSE_DOWN:
        if (event->c & 8)
            return 1;  // a press while the thumb is carried
        window_raise(hw->frame);
        if (event->c & IO_BUTTON_LEFT)
            help_press(v, (int32_t)event->a, (int32_t)event->b);
        return 1;
    case IO_MOUSE_UP:
        if ((event->c & 8) && v->grab >= 0)
            window_drag_end();
        return 1;
    case TW_CAPTURE_MOVE: help_carry(v, (const TwPoint *)event->c); return 1;
    case TW_CAPTURE_END: v->grab = -1; return 1;
    case TW_CLICKED:
        if (event->a != window_get(hw->frame)->close_button)
            return 0;
        help_close_view(v);
        return 1;
    default: return 0;
    }
}

// Our root before any room is in focus: it draws nothing and takes nothing, so the
// desktop behind still hears every event.
static int32_t help_host_event(int32_t, IoEvent *event)
{
    if (event->code == TW_DESTROY)
        help_teardown();
    return 0;
}

// --- what the windows show ---

static const HelpView *named_view(const char *name)
{
    int32_t index = help_view_index(name);
    return index >= 0 && help.views[index].open ? &help.views[index] : nullptr;
}

int32_t help_window(const char *name)
{
    const HelpView *v = named_view(name);
    return v ? view_windows(v)->frame : -1;
}

int32_t help_topic(const char *name)
{
    const HelpView *v = named_view(name);
    return v ? v->topic : -1;
}

const char *help_message(const char *name)
{
    const HelpView *v = named_view(name);
    return v && v->topic < 0 ? v->message : "";
}

int32_t help_link_point(const char *name, int32_t target, int32_t *x, int32_t *y)
{
    const HelpView *v = named_view(name);
    if (!v || v->line_count == 0)
        return 0;
    const HelpWindows *hw = view_windows(v);
    int32_t w, h, sx, sy;
    window_size(hw->page, &w, &h);
    window_screen_position(hw->page, &sx, &sy);
    int32_t end = shown_end(v, v->scroll, text_height(h)), top = v->lines[v->scroll].y;
    for (int32_t i = v->scroll; i < end; i++) {
        const HelpLine &l = v->lines[i];
        if (l.kind == HELP_LINE_LINK && l.target == target && l.width > 0) {
            *x = sx + HELP_INSET_X + l.x + l.width / 2;
            *y = sy + HELP_INSET_Y + l.y - top + l.height / 2;
            return 1;
        }
    }
    return 0;
}
