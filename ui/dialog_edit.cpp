// Editing one field of the platform dialog: its text in counted memory, the caret and
// the selection on whole characters, word-wrapped lines, the clipboard, and which
// characters the game's fonts can show.
#include "ui/dialog.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstring>

#include "platform/events.h"
#include "platform/gdi.h"
#include "res/gdi_text.h"
#include "platform/log.h"
#include "platform/memory.h"
#include "res/datapack.h"
#include "res/lang.h"

constexpr int32_t DE_CLIP_MAX = 4096;  // the game's own clipboard, when the system has none

static struct {
    char clipboard[DE_CLIP_MAX];
    bool own_clipboard;          // the system refused the last copy: ours holds it
} de;

// --- characters ---

// The character at s (n bytes left): a whole UTF-8 sequence, read as the system text
// reads one, else a single byte (older texts in the Western code page). *valid is false
// for such a byte.
static uint32_t de_decode(const char *s, int32_t n, int32_t *len, bool *valid)
{
    const uint8_t *u = (const uint8_t *)s;
    uint32_t c = u[0];
    int32_t more = c >= 0xF0 && c < 0xF5 ? 3 : c >= 0xE0 && c < 0xF0 ? 2 : c >= 0xC2 && c < 0xE0 ? 1 : 0;
    *len = 1;
    *valid = c < 0x80;
    if (c < 0x80 || more == 0 || more >= n)
        return c;
    uint32_t v = c & (0x3F >> more);
    for (int32_t i = 1; i <= more; i++) {
        if ((u[i] & 0xC0) != 0x80)
            return c;
        v = v << 6 | (u[i] & 0x3F);
    }
    bool shortest = more == 1 || (more == 2 && v >= 0x800) || (more == 3 && v >= 0x10000 && v < 0x110000);
    if (!shortest || (v >= 0xD800 && v < 0xE000))
        return c;
    *len = more + 1;
    *valid = true;
    return v;
}

// Whether s (n bytes left) begins a UTF-8 sequence that the end of the bytes cuts short:
// a character the caller's buffer had no room to finish.
static bool de_cut_short(const char *s, int32_t n)
{
    uint8_t c = (uint8_t)s[0];
    int32_t more = c >= 0xF0 && c < 0xF5 ? 3 : c >= 0xE0 && c < 0xF0 ? 2 : c >= 0xC2 && c < 0xE0 ? 1 : 0;
    if (more < n)
        return false;
    for (int32_t i = 1; i < n; i++)
        if (((uint8_t)s[i] & 0xC0) != 0x80)
            return false;
    return true;
}

static int32_t de_char_len(const IoEdit *e, int32_t p)
{
    int32_t len;
    bool valid;
    de_decode(e->text + p, e->length - p, &len, &valid);
    return len;
}

static int32_t de_encode(uint32_t c, char *out)
{
    if (c < 0x80) {
        out[0] = (char)c;
        return 1;
    }
    if (c < 0x800) {
        out[0] = (char)(0xC0 | c >> 6);
        out[1] = (char)(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = (char)(0xE0 | c >> 12);
        out[1] = (char)(0x80 | (c >> 6 & 0x3F));
        out[2] = (char)(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = (char)(0xF0 | c >> 18);
    out[1] = (char)(0x80 | (c >> 12 & 0x3F));
    out[2] = (char)(0x80 | (c >> 6 & 0x3F));
    out[3] = (char)(0x80 | (c & 0x3F));
    return 4;
}

// Capitals of the letters the game's languages write with: Latin, Greek and Cyrillic.
// Each capital is as long in UTF-8 as its small letter, so a full field stays full.
static uint32_t de_upper(uint32_t c)
{
    if (c >= 'a' && c <= 'z')
        return c - 32;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return c - 0x20;
    if (c == 0xFF)
        return 0x178;
    bool even_capital = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
    bool odd_capital = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if ((even_capital && (c & 1)) || (odd_capital && !(c & 1)))
        return c == 0x131 ? c : c - 1;  // dotless i has no capital of its own length
    if (c >= 0x3B1 && c <= 0x3C9)
        return c == 0x3C2 ? 0x3A3 : c - 0x20;
    if (c >= 0x430 && c <= 0x44F)
        return c - 0x20;
    if (c >= 0x450 && c <= 0x45F)
        return c - 0x50;
    return c;
}


bool io_edit_accepts(uint32_t c)
{
    if (c < 32 || c == 127)
        return false;
    if (c < 127)
        return true;
    // The Western set's bitmap fonts hold nothing past '~' (127 is a filler box), and a
    // field's text is shown in them once the dialog is over.
    if (lt_charset() < 1)
        return false;
    if (c < 0xA0 || c >= 0x110000 || (c >= 0xD800 && c < 0xE000))
        return false;  // control characters and halves of pairs
    // A character is taken only when every face of the system fonts can show it, so a
    // name typed here shows wherever the game writes it.
    for (int32_t face = 0; face < IO_FACE_COUNT; face++)
        if (!io_gdi_face_has_char(face, c))
            return false;
    return true;
}


// --- measuring and lines ---

static int32_t de_char_width(const IoEdit *e, int32_t p, int32_t len)
{
    if ((uint8_t)e->text[p] < 32)
        return 0;
    char one[5] = {};
    memcpy(one, e->text + p, (size_t)len);
    int32_t w = 0;
    io_gdi_text_size(&font_dialog, one, 0, 0, &w, nullptr);
    return w;
}

int32_t io_edit_width(const IoEdit *e, int32_t begin, int32_t end)
{
    int32_t w = 0;
    for (int32_t p = begin; p < end;) {
        int32_t len = de_char_len(e, p);
        w += de_char_width(e, p, len);
        p += len;
    }
    return w;
}

// Room for the text across the field, the caret after the last character included.
static int32_t de_inner_width(const IoEdit *e)
{
    return std::max(1, e->width - 2 * IO_EDIT_PAD_X - 1);
}

bool io_edit_line(const IoEdit *e, int32_t begin, int32_t *end, int32_t *next)
{
    if (!(e->flags & IO_FIELD_LINES)) {
        *end = *next = e->length;
        return true;
    }
    const char *t = e->text;
    int32_t wrap = de_inner_width(e), width = 0, cut = -1, p = begin;
    while (p < e->length && t[p] != '\n') {
        int32_t len = de_char_len(e, p), w = de_char_width(e, p, len);
        if (t[p] == ' ') {
            // Blanks hang past the edge rather than start a line; the line may be cut after them.
            width += w;
            p += len;
            cut = p;
            continue;
        }
        if (width + w > wrap && p > begin) {
            // The word goes to the next line; a word wider than the field is cut where it overflows.
            *end = *next = cut > begin ? cut : p;
            return false;
        }
        width += w;
        p += len;
    }
    *end = p;
    *next = p < e->length ? p + 1 : p;
    return p == e->length;
}

int32_t io_edit_line_of(const IoEdit *e, int32_t offset, int32_t *begin, int32_t *end)
{
    int32_t b = 0, index = 0;
    for (;;) {
        int32_t en, next;
        bool last = io_edit_line(e, b, &en, &next);
        // A caret where a line was wrapped stands at the start of the next one.
        if (last || offset < next) {
            *begin = b;
            *end = en;
            return index;
        }
        b = next;
        index++;
    }
}

// The line with that index (the last one when there are fewer); returns its index.
static int32_t de_line_at(const IoEdit *e, int32_t index, int32_t *begin, int32_t *end, bool *wrapped)
{
    int32_t b = 0, i = 0;
    for (;;) {
        int32_t en, next;
        bool last = io_edit_line(e, b, &en, &next);
        if (last || i == index) {
            *begin = b;
            *end = en;
            *wrapped = !last && en == next;
            return i;
        }
        b = next;
        i++;
    }
}

static int32_t de_line_count(const IoEdit *e)
{
    int32_t b, en;
    bool wrapped;
    return de_line_at(e, INT32_MAX, &b, &en, &wrapped) + 1;
}

int32_t io_edit_visible_lines(const IoEdit *e)
{
    return std::max(1, (e->height - 2 * IO_EDIT_PAD_Y) / std::max(1, font_dialog.line));
}

// The character boundary of text[begin, end) nearest to x pixels from the line's start.
// The end of a wrapped line belongs to the next line, so the caret stops before it.
static int32_t de_offset_at_x(const IoEdit *e, int32_t begin, int32_t end, bool wrapped, int32_t x)
{
    int32_t p = begin, left = 0;
    while (p < end) {
        int32_t len = de_char_len(e, p), w = de_char_width(e, p, len);
        if (x < left + (w + 1) / 2 || (wrapped && p + len >= end))
            return p;
        left += w;
        p += len;
    }
    return p;
}

static void de_keep_caret_visible(IoEdit *e)
{
    if (e->flags & IO_FIELD_LINES) {
        int32_t b, en;
        int32_t line = io_edit_line_of(e, e->caret, &b, &en);
        int32_t visible = io_edit_visible_lines(e);
        if (line < e->first_line)
            e->first_line = line;
        if (line >= e->first_line + visible)
            e->first_line = line - visible + 1;
        // No empty room below the text while lines are hidden above it.
        e->first_line = std::max(0, std::min(e->first_line, de_line_count(e) - visible));
        return;
    }
    int32_t inner = de_inner_width(e);
    int32_t caret_x = io_edit_width(e, 0, e->caret), total = io_edit_width(e, e->caret, e->length) + caret_x;
    if (caret_x < e->scroll_x)
        e->scroll_x = caret_x;
    if (caret_x > e->scroll_x + inner)
        e->scroll_x = caret_x - inner;
    if (total - e->scroll_x < inner)
        e->scroll_x = std::max(0, total - inner);
}

// --- the text ---

static int32_t de_prev(const IoEdit *e, int32_t p)
{
    // Walked from the start: a byte of an older code page may look like part of a sequence.
    int32_t q = 0, last = 0;
    while (q < p) {
        last = q;
        q += de_char_len(e, q);
    }
    return last;
}

static int32_t de_next(const IoEdit *e, int32_t p)
{
    return p < e->length ? p + de_char_len(e, p) : p;
}

static bool de_blank(const IoEdit *e, int32_t p)
{
    return e->text[p] == ' ' || e->text[p] == '\n';
}

static int32_t de_word_left(const IoEdit *e, int32_t p)
{
    while (p > 0 && de_blank(e, de_prev(e, p)))
        p = de_prev(e, p);
    while (p > 0 && !de_blank(e, de_prev(e, p)))
        p = de_prev(e, p);
    return p;
}

static int32_t de_word_right(const IoEdit *e, int32_t p)
{
    while (p < e->length && !de_blank(e, p))
        p = de_next(e, p);
    while (p < e->length && de_blank(e, p))
        p = de_next(e, p);
    return p;
}

static void de_delete(IoEdit *e, int32_t from, int32_t to)
{
    memmove(e->text + from, e->text + to, (size_t)(e->length - to + 1));
    e->length -= to - from;
    e->caret = e->anchor = from;
}

static void de_delete_selection(IoEdit *e)
{
    de_delete(e, std::min(e->caret, e->anchor), std::max(e->caret, e->anchor));
}

// The whole characters of `src` the field takes, at most `room` bytes of them, into out:
// line breaks only in fields of several lines (blanks elsewhere), tabs as blanks,
// capitals where asked, nothing the fonts cannot show. Returns the bytes written.
static int32_t de_filter(const IoEdit *e, const char *src, char *out, int32_t room)
{
    int32_t n = 0, left = (int32_t)strlen(src);
    for (const char *s = src; *s;) {
        int32_t len;
        bool valid;
        uint32_t c = de_decode(s, left, &len, &valid);
        s += len;
        left -= len;
        if (!valid)
            continue;  // a broken sequence is nobody's character
        if (c == '\r') {
            if (*s == '\n')
                continue;  // one line break, whichever system the text came from
            c = '\n';
        }
        if (c == '\n' || c == '\t') {
            if (c == '\t' || !(e->flags & IO_FIELD_LINES))
                c = ' ';
        } else {
            if (e->flags & IO_FIELD_CAPITALS)
                c = de_upper(c);
            if (!io_edit_accepts(c))
                continue;
        }
        char bytes[4];
        int32_t k = de_encode(c, bytes);
        if (n + k > room)
            break;  // only what fits, and never half a character
        memcpy(out + n, bytes, (size_t)k);
        n += k;
    }
    return n;
}

void io_edit_open(IoEdit *e, const IoDialogField *field, int32_t offset_x, int32_t offset_y)
{
    *e = {};
    e->flags = field->flags;
    e->x = field->x + offset_x;
    e->y = field->y + offset_y;
    e->width = field->width;
    e->height = field->height;
    e->capacity = field->size > 0 ? field->size - 1 : 0;
    e->text = (char *)io_mem_alloc((size_t)e->capacity + 1);
    e->goal_x = -1;
    if (field->text) {
        // The caller's text, read no further than its buffer, cut only between characters.
        int32_t avail = (int32_t)strnlen(field->text, (size_t)std::max(field->size, 0));
        int32_t keep = 0;
        while (keep < e->capacity && keep < avail) {
            int32_t len;
            bool valid;
            de_decode(field->text + keep, avail - keep, &len, &valid);
            if (keep + len > e->capacity || (!valid && de_cut_short(field->text + keep, avail - keep)))
                break;
            keep += len;
        }
        memcpy(e->text, field->text, (size_t)keep);
        e->length = keep;
    }
    e->text[e->length] = 0;
    // Line breaks and tabs as the field shows them; other control characters as blanks.
    int32_t w = 0;
    for (int32_t r = 0; r < e->length; r++) {
        char c = e->text[r];
        if (c == '\r' && (e->flags & IO_FIELD_LINES) && e->text[r + 1] == '\n')
            continue;
        if (c == '\r' || c == '\n')
            c = (e->flags & IO_FIELD_LINES) ? '\n' : ' ';
        else if ((uint8_t)c < 32)
            c = ' ';
        e->text[w++] = c;
    }
    e->length = w;
    e->text[w] = 0;
    e->caret = e->anchor = e->length;
    de_keep_caret_visible(e);
}

void io_edit_close(IoEdit *e)
{
    io_mem_free(e->text);
    e->text = nullptr;
    e->length = e->capacity = 0;
}

void io_edit_copy_out(const IoEdit *e, char *buffer, int32_t size)
{
    if (!buffer || size <= 0)
        return;
    int32_t n = 0;
    while (n < e->length && n + de_char_len(e, n) <= size - 1)
        n += de_char_len(e, n);
    memcpy(buffer, e->text, (size_t)n);
    buffer[n] = 0;
}

int io_edit_type(IoEdit *e, const char *text)
{
    int32_t from = std::min(e->caret, e->anchor), to = std::max(e->caret, e->anchor);
    int32_t room = e->capacity - (e->length - (to - from));
    int32_t want = std::min<int32_t>(room, (int32_t)strlen(text));
    if (want <= 0)
        return 0;
    char *add = (char *)io_mem_alloc((size_t)want);
    int32_t n = de_filter(e, text, add, want);
    if (n > 0) {
        de_delete(e, from, to);
        memmove(e->text + from + n, e->text + from, (size_t)(e->length - from + 1));
        memcpy(e->text + from, add, (size_t)n);
        e->length += n;
        e->caret = e->anchor = from + n;
        e->goal_x = -1;
        de_keep_caret_visible(e);
    }
    io_mem_free(add);
    return n > 0;
}

// --- the clipboard ---

static void de_clipboard_set(const char *text)
{
    // The window system's clipboard; without one (no video, as in tools and tests) the
    // game keeps its own, so copy and paste still work between its fields.
    if (SDL_WasInit(SDL_INIT_VIDEO) && SDL_SetClipboardText(text) == 0) {
        de.own_clipboard = false;
        return;
    }
    int32_t n = std::min<int32_t>((int32_t)strlen(text), DE_CLIP_MAX - 1);
    while (n > 0 && ((uint8_t)text[n] & 0xC0) == 0x80)
        n--;  // never half a character
    memcpy(de.clipboard, text, (size_t)n);
    de.clipboard[n] = 0;
    de.own_clipboard = true;
}

static void de_copy(const IoEdit *e)
{
    int32_t from = std::min(e->caret, e->anchor), to = std::max(e->caret, e->anchor);
    if (from == to)
        return;
    // Bytes of an older code page go out as the Latin-1 characters they mostly are,
    // so the system gets valid UTF-8.
    char *out = (char *)io_mem_alloc((size_t)(to - from) * 2 + 1);
    int32_t n = 0;
    for (int32_t p = from; p < to;) {
        int32_t len;
        bool valid;
        uint32_t c = de_decode(e->text + p, e->length - p, &len, &valid);
        if (valid) {
            memcpy(out + n, e->text + p, (size_t)len);
            n += len;
        } else {
            n += de_encode(c >= 0xA0 ? c : '?', out + n);
        }
        p += len;
    }
    out[n] = 0;
    de_clipboard_set(out);
    io_mem_free(out);
}

static int de_paste(IoEdit *e)
{
    if (de.own_clipboard || !SDL_WasInit(SDL_INIT_VIDEO))
        return io_edit_type(e, de.clipboard);
    char *text = SDL_GetClipboardText();
    int changed = text ? io_edit_type(e, text) : 0;
    SDL_free(text);
    return changed;
}

// --- keys and the mouse ---

void io_edit_select_all(IoEdit *e)
{
    e->anchor = 0;
    e->caret = e->length;
    e->goal_x = -1;
    de_keep_caret_visible(e);
}

// Up and Down by `lines`, keeping to the column the caret had when it began moving.
static void de_move_lines(IoEdit *e, int32_t lines, bool extend)
{
    int32_t b, en;
    int32_t line = io_edit_line_of(e, e->caret, &b, &en);
    if (e->goal_x < 0)
        e->goal_x = io_edit_width(e, b, e->caret);
    int32_t target = std::max(0, line + lines);
    bool wrapped;
    de_line_at(e, target, &b, &en, &wrapped);
    e->caret = de_offset_at_x(e, b, en, wrapped, e->goal_x);
    if (!extend)
        e->anchor = e->caret;
}

int io_edit_key(IoEdit *e, int32_t key, uint8_t mods)
{
    bool shift = (mods & INPUT_MOD_SHIFT) != 0, ctrl = (mods & INPUT_MOD_CTRL) != 0;
    bool lines = (e->flags & IO_FIELD_LINES) != 0;
    bool selected = e->caret != e->anchor;
    int32_t to = -1;  // a caret move: where to
    switch (key) {
    case SDLK_LEFT:
        to = selected && !shift ? std::min(e->caret, e->anchor) : ctrl ? de_word_left(e, e->caret) : de_prev(e, e->caret);
        break;
    case SDLK_RIGHT:
        to = selected && !shift ? std::max(e->caret, e->anchor) : ctrl ? de_word_right(e, e->caret) : de_next(e, e->caret);
        break;
    case SDLK_HOME:
    case SDLK_END: {
        int32_t b, en;
        if (!lines || ctrl) {
            to = key == SDLK_HOME ? 0 : e->length;
            break;
        }
        int32_t line = io_edit_line_of(e, e->caret, &b, &en);
        bool wrapped;
        de_line_at(e, line, &b, &en, &wrapped);
        to = key == SDLK_HOME ? b : wrapped ? de_prev(e, en) : en;
        break;
    }
    case SDLK_UP:
    case SDLK_DOWN:
    case SDLK_PAGEUP:
    case SDLK_PAGEDOWN: {
        bool page = key == SDLK_PAGEUP || key == SDLK_PAGEDOWN;
        if (!lines)
            return page ? 0 : 1;  // a one-line field keeps its arrows but not the pages
        int32_t step = page ? io_edit_visible_lines(e) : 1;
        de_move_lines(e, key == SDLK_UP || key == SDLK_PAGEUP ? -step : step, shift);
        de_keep_caret_visible(e);
        return 1;
    }
    case SDLK_BACKSPACE:
        if (selected)
            de_delete_selection(e);
        else if (e->caret > 0)
            de_delete(e, ctrl ? de_word_left(e, e->caret) : de_prev(e, e->caret), e->caret);
        break;
    case SDLK_DELETE:
        if (shift && !ctrl) {
            de_copy(e);
            de_delete_selection(e);
        } else if (selected) {
            de_delete_selection(e);
        } else if (e->caret < e->length) {
            de_delete(e, e->caret, ctrl ? de_word_right(e, e->caret) : de_next(e, e->caret));
        }
        break;
    case SDLK_INSERT:
        if (ctrl)
            de_copy(e);
        else if (shift)
            de_paste(e);
        else
            return 0;
        break;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        if (!lines)
            return 0;  // Enter confirms the dialog: that is the dialog's
        io_edit_type(e, "\n");
        break;
    case SDLK_a:
    case SDLK_c:
    case SDLK_x:
    case SDLK_v:
        if (!ctrl || shift)
            return 0;
        if (key == SDLK_a) {
            io_edit_select_all(e);
        } else if (key == SDLK_v) {
            de_paste(e);
        } else {
            de_copy(e);
            if (key == SDLK_x)
                de_delete_selection(e);
        }
        break;
    default:
        return 0;
    }
    if (to >= 0) {
        e->caret = to;
        if (!shift)
            e->anchor = to;
    }
    e->goal_x = -1;
    de_keep_caret_visible(e);
    return 1;
}

void io_edit_click(IoEdit *e, int32_t x, int32_t y, bool extend)
{
    int32_t local_x = x - (e->x + IO_EDIT_PAD_X);
    if (e->flags & IO_FIELD_LINES) {
        int32_t dy = y - (e->y + IO_EDIT_PAD_Y), line_h = std::max(1, font_dialog.line);
        int32_t row = dy >= 0 ? dy / line_h : -((-dy + line_h - 1) / line_h);
        int32_t b, en;
        bool wrapped;
        de_line_at(e, std::max(0, e->first_line + row), &b, &en, &wrapped);
        e->caret = de_offset_at_x(e, b, en, wrapped, local_x);
    } else {
        e->caret = de_offset_at_x(e, 0, e->length, false, local_x + e->scroll_x);
    }
    if (!extend)
        e->anchor = e->caret;
    e->goal_x = -1;
    de_keep_caret_visible(e);
}
