// The modal dialog: its stack and loop, and its edit fields drawn over the game's own
// frame. Each open dialog runs the game's loop until it is ended, so ticks and frames go
// on underneath it; the fields of the top dialog take typed text, editing keys and clicks
// first, and everything else reaches the game as usual.
#include "ui/dialog.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstring>

#include "image/clip.h"
#include "platform/events.h"
#include "platform/gdi.h"
#include "res/gdi_text.h"
#include "platform/loop.h"
#include "platform/log.h"
#include "platform/memory.h"
#include "platform/video.h"
#include "res/lang.h"

constexpr int DIALOG_DEPTH_MAX = 8;
constexpr int64_t DIALOG_BLINK_MS = 500;  // the caret is shown, then hidden, this long
constexpr int DIALOG_KEYS_HELD = 8;       // presses the fields took whose release is theirs too

struct Dialog {
    int32_t x, y;           // the offset of its fields on the screen
    IoDialogField *fields;  // null: no fields
    IoEdit edits[IO_DIALOG_FIELDS_MAX];
    int32_t count;
    int32_t focus;          // the field with the caret; -1 without fields
    bool ended;
    int32_t result;
};

static struct {
    Dialog stack[DIALOG_DEPTH_MAX];
    int depth;
    uint32_t text_colour = 0x000000, background = 0xFFFFFF;
    int64_t blink_start;      // a caret that is used is shown at once and blinks from then
    uint8_t buttons_held;     // mouse buttons (bit 1 << button) whose press a field took
    int32_t keys_held[DIALOG_KEYS_HELD];
    int with_fields;          // open dialogs with fields: typed text is asked for while any is
    bool text_input_was_on;
} dlg;

bool io_dialog_open(void)
{
    return dlg.depth > 0;
}

void io_dialog_set_colours(uint32_t text, uint32_t background)
{
    dlg.text_colour = text;
    dlg.background = background;
}

static Dialog *dlg_top(void)
{
    return dlg.depth > 0 ? &dlg.stack[dlg.depth - 1] : nullptr;
}

static void dlg_invalidate(const IoEdit *e)
{
    clip_invalidate(e->x, e->y, e->width, e->height);
}

static bool dlg_caret_on(void)
{
    int64_t t = io_time() - dlg.blink_start;
    return t < 0 || (t / DIALOG_BLINK_MS) % 2 == 0;
}

// A field that changed, or whose caret moved, is drawn again with its caret shown.
static void dlg_touched(const IoEdit *e)
{
    dlg.blink_start = io_time();
    dlg_invalidate(e);
}

// The caret's field asks to be drawn again when the blink has passed into its other half.
static void dlg_check_blink(void)
{
    Dialog *d = dlg_top();
    if (!d || d->ended || d->focus < 0)
        return;
    const IoEdit &e = d->edits[d->focus];
    if (e.caret_drawn != dlg_caret_on())
        dlg_invalidate(&e);
}

static void dlg_text_input(bool on)
{
    // Without video (tools, tests) there is no text input to run. It is put back as it
    // was found, so whatever else listens to typed text keeps it.
    if (!SDL_WasInit(SDL_INIT_VIDEO))
        return;
    if (on) {
        dlg.text_input_was_on = SDL_IsTextInputActive();
        SDL_StartTextInput();
    } else if (!dlg.text_input_was_on) {
        SDL_StopTextInput();
    }
}

// --- opening and ending ---

void io_dialog_push(int32_t offset_x, int32_t offset_y, IoDialogField *fields)
{
    if (dlg.depth >= DIALOG_DEPTH_MAX)
        io_error("io_dialog_run: too many dialogs open\n");
    int32_t count = 0;
    while (fields && fields[count].flags)
        count++;
    if (count > IO_DIALOG_FIELDS_MAX)
        io_error("io_dialog_run: too many fields (%i)\n", count);
    Dialog &d = dlg.stack[dlg.depth++];
    d.x = offset_x;
    d.y = offset_y;
    d.fields = fields;
    d.count = count;
    d.focus = count > 0 ? 0 : -1;
    d.ended = false;
    d.result = 0;
    for (int32_t i = 0; i < count; i++) {
        fields[i].id = 100 + i;
        io_edit_open(&d.edits[i], &fields[i], offset_x, offset_y);
        dlg_invalidate(&d.edits[i]);
    }
    if (count > 0) {
        // The first field starts with the caret and its whole text selected, so typing
        // replaces the text the caller offered.
        io_edit_select_all(&d.edits[0]);
        if (dlg.with_fields++ == 0)
            dlg_text_input(true);
    }
    dlg.blink_start = io_time();
    dlg.buttons_held = 0;
}

int32_t io_dialog_pop(void)
{
    if (dlg.depth == 0)
        io_error("io_dialog_pop: ???\n");
    Dialog &d = dlg.stack[dlg.depth - 1];
    for (int32_t i = 0; i < d.count; i++) {
        dlg_invalidate(&d.edits[i]);
        io_edit_close(&d.edits[i]);
    }
    if (d.count > 0 && --dlg.with_fields == 0)
        dlg_text_input(false);
    dlg.depth--;
    if (dlg.depth == 0) {
        // Keys still down when the last dialog goes are released to the game, as when the
        // window that took their press is gone.
        memset(dlg.keys_held, 0, sizeof dlg.keys_held);
    }
    dlg.blink_start = io_time();
    dlg.buttons_held = 0;
    return d.ended ? d.result : 0;
}

int32_t io_dialog_run(int32_t offset_x, int32_t offset_y, IoDialogField *fields)
{
    io_dialog_push(offset_x, offset_y, fields);
    int level = dlg.depth - 1;
    while (!dlg.stack[level].ended && !io_close_pending())
        io_loop_turn();
    return io_dialog_pop();
}

void io_dialog_read(int32_t id, char *buffer, int32_t size)
{
    if (dlg.depth == 0)
        io_error("io_dialog_read: ???\n");
    const Dialog &d = *dlg_top();
    if (id >= 100 && id < 100 + d.count)
        io_edit_copy_out(&d.edits[id - 100], buffer, size);
    else if (buffer && size > 0)
        buffer[0] = 0;  // no such field: an empty text, as from a missing control
}

void io_dialog_end(int32_t result, int take_texts)
{
    if (dlg.depth == 0)
        io_error("io_dialog_end: ???\n");
    Dialog &d = *dlg_top();
    if (take_texts)
        for (int32_t i = 0; i < d.count; i++)
            io_edit_copy_out(&d.edits[i], d.fields[i].text, d.fields[i].size);
    d.ended = true;
    d.result = result;
    clip_invalidate(0, 0, screen.width, screen.height);
}

void io_dialog_invalidate(int32_t x, int32_t y, int32_t width, int32_t height)
{
    if (dlg.depth == 0)
        io_error("io_dialog_invalidate: ???\n");
    clip_invalidate(x, y, width, height);
}

int32_t io_dialog_focus(void)
{
    const Dialog *d = dlg_top();
    return d && d->focus >= 0 ? 100 + d->focus : 0;
}

bool io_dialog_caret(int32_t id, int32_t *caret, int32_t *anchor)
{
    const Dialog *d = dlg_top();
    if (!d || id < 100 || id >= 100 + d->count)
        return false;
    *caret = d->edits[id - 100].caret;
    *anchor = d->edits[id - 100].anchor;
    return true;
}

// --- input ---

static int32_t dlg_field_at(const Dialog *d, int32_t x, int32_t y)
{
    for (int32_t i = d->count - 1; i >= 0; i--) {
        const IoEdit &e = d->edits[i];
        if (x >= e.x && x < e.x + e.width && y >= e.y && y < e.y + e.height)
            return i;
    }
    return -1;
}

// Keys that type a character: their text arrives as an input of its own, and the game
// must not act on the key meanwhile.
static bool dlg_types(const PlatformInput *in)
{
    if (in->mods & (INPUT_MOD_CTRL | INPUT_MOD_ALT))
        return false;
    if (in->key >= 32 && in->key < 127)
        return true;
    return (in->key >= SDLK_KP_1 && in->key <= SDLK_KP_0) || in->key == SDLK_KP_PERIOD ||
           in->key == SDLK_KP_DIVIDE || in->key == SDLK_KP_MULTIPLY || in->key == SDLK_KP_MINUS ||
           in->key == SDLK_KP_PLUS;
}

static void dlg_focus(Dialog *d, int32_t index)
{
    if (index == d->focus)
        return;
    dlg_invalidate(&d->edits[d->focus]);  // its caret goes
    d->focus = index;
}

static bool dlg_key_down(Dialog *d, const PlatformInput *in)
{
    if (in->mods & INPUT_MOD_ALT)
        return false;  // system keys stay the window system's
    IoEdit *e = &d->edits[d->focus];
    switch (in->key) {
    case SDLK_ESCAPE:
        io_post_event(IO_KEY_DOWN, IO_VK_ESCAPE, 0, 0);
        return true;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        if (e->flags & IO_FIELD_LINES)
            break;  // a new line
        io_post_event(IO_KEY_DOWN, IO_VK_ENTER, 0, 0);
        return true;
    case SDLK_TAB: {
        int32_t step = (in->mods & INPUT_MOD_SHIFT) ? d->count - 1 : 1;
        dlg_focus(d, (d->focus + step) % d->count);
        e = &d->edits[d->focus];
        io_edit_select_all(e);
        dlg_touched(e);
        return true;
    }
    default: break;
    }
    if (io_edit_key(e, in->key, in->mods)) {
        dlg_touched(e);
        return true;
    }
    return dlg_types(in);
}

// A release belongs to whoever took the press: the fields keep the keys they took.
static void dlg_hold_key(int32_t key)
{
    for (int32_t &k : dlg.keys_held)
        if (k == key || k == 0) {
            k = key;
            return;
        }
    memmove(dlg.keys_held, dlg.keys_held + 1, sizeof dlg.keys_held - sizeof dlg.keys_held[0]);
    dlg.keys_held[DIALOG_KEYS_HELD - 1] = key;
}

static bool dlg_release_key(int32_t key)
{
    for (int32_t &k : dlg.keys_held)
        if (k == key && key != 0) {
            k = 0;
            return true;
        }
    return false;
}

int io_dialog_input(const PlatformInput *in)
{
    Dialog *d = dlg_top();
    if (!d || d->ended || d->count == 0)
        return 0;
    dlg_check_blink();
    IoEdit *e = &d->edits[d->focus];
    switch (in->kind) {
    case InputKind::Text:
        if (io_edit_type(e, in->text))
            dlg_touched(e);
        return 1;  // refused characters are the field's too: nobody else types
    case InputKind::KeyDown:
        if (!dlg_key_down(d, in))
            return 0;
        dlg_hold_key(in->key);
        return 1;
    case InputKind::KeyUp:
        return dlg_release_key(in->key) ? 1 : 0;
    case InputKind::MouseDown: {
        int32_t i = dlg_field_at(d, in->x, in->y);
        if (i < 0)
            return 0;
        dlg.buttons_held |= (uint8_t)(1 << in->button);
        if (in->button == IO_BUTTON_LEFT) {
            bool extend = i == d->focus && (in->mods & INPUT_MOD_SHIFT);
            dlg_focus(d, i);
            io_edit_click(&d->edits[i], in->x, in->y, extend);
            dlg_touched(&d->edits[i]);
        }
        return 1;
    }
    case InputKind::MouseMove:
        // Dragging from a press in the field selects; the game still follows the mouse.
        if ((dlg.buttons_held & (1 << IO_BUTTON_LEFT)) && (in->button & IO_BUTTON_LEFT)) {
            io_edit_click(e, in->x, in->y, true);
            dlg_touched(e);
        } else if (!(in->button & IO_BUTTON_LEFT)) {
            dlg.buttons_held &= (uint8_t)~(1 << IO_BUTTON_LEFT);  // released outside the window
        }
        return 0;
    case InputKind::MouseUp:
        if (!(dlg.buttons_held & (1 << in->button)))
            return 0;
        dlg.buttons_held &= (uint8_t)~(1 << in->button);
        return 1;
    default:
        return 0;
    }
}

// --- drawing ---

static void dlg_fill(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour)
{
    const uint8_t bgr[3] = {(uint8_t)colour, (uint8_t)(colour >> 8), (uint8_t)(colour >> 16)};
    int32_t x0 = std::max(0, x), x1 = std::min(screen.width, x + w);
    int32_t y0 = std::max(0, y), y1 = std::min(screen.height, y + h);
    for (int32_t r = y0; r < y1; r++)
        for (int32_t c = x0; c < x1; c++)
            memcpy(screen.buf + (ptrdiff_t)r * screen.pitch + (ptrdiff_t)c * 3, bgr, 3);
}

// Draws text[begin, end) at (x, top), the selected part of it inverted.
static void dlg_draw_line(IoEdit *e, int32_t begin, int32_t end, int32_t x, int32_t top)
{
    char kept = e->text[end];
    e->text[end] = 0;
    io_gdi_text(&font_dialog, e->text + begin, x, top, dlg.text_colour, 0, 0);
    int32_t from = std::max(std::min(e->caret, e->anchor), begin);
    int32_t to = std::min(std::max(e->caret, e->anchor), end);
    if (from < to) {
        int32_t x0 = x + io_edit_width(e, begin, from);
        dlg_fill(x0, top, io_edit_width(e, from, to), font_dialog.line, dlg.text_colour);
        char kept_to = e->text[to];
        e->text[to] = 0;
        io_gdi_text(&font_dialog, e->text + from, x0, top, dlg.background, 0, 0);
        e->text[to] = kept_to;
    }
    e->text[end] = kept;
}

// The field's background, its text and its caret. System text is cut only at the edges
// of the frame, so the field is drawn into a picture of its own size standing in for the
// frame: text scrolled out of the field is cut off there, then the picture is copied in.
static void dlg_draw_field(IoEdit *e, bool caret)
{
    if (e->width <= 0 || e->height <= 0)
        return;
    uint8_t *pixels = (uint8_t *)io_mem_alloc((size_t)e->width * e->height * 3);
    Screen frame = screen;
    screen.width = e->width;
    screen.height = e->height;
    screen.pitch = e->width * 3;
    screen.buf = pixels;
    dlg_fill(0, 0, e->width, e->height, dlg.background);
    int32_t caret_x = -1, caret_y = 0;
    if (e->flags & IO_FIELD_LINES) {
        int32_t begin = 0, top = IO_EDIT_PAD_Y;
        for (int32_t index = 0; top < e->height; index++) {
            int32_t end, next;
            bool last = io_edit_line(e, begin, &end, &next);
            if (index >= e->first_line) {
                dlg_draw_line(e, begin, end, IO_EDIT_PAD_X, top);
                if (e->caret >= begin && (e->caret < next || last)) {
                    caret_x = IO_EDIT_PAD_X + io_edit_width(e, begin, e->caret);
                    caret_y = top;
                }
                top += font_dialog.line;
            }
            if (last)
                break;
            begin = next;
        }
    } else {
        caret_y = (e->height - font_dialog.height) / 2;
        dlg_draw_line(e, 0, e->length, IO_EDIT_PAD_X - e->scroll_x, caret_y);
        caret_x = IO_EDIT_PAD_X - e->scroll_x + io_edit_width(e, 0, e->caret);
    }
    if (caret && caret_x >= 0)
        dlg_fill(caret_x, caret_y, 1, font_dialog.height, dlg.text_colour);
    screen = frame;
    int32_t x0 = std::max(0, e->x), x1 = std::min(screen.width, e->x + e->width);
    for (int32_t r = std::max(0, -e->y); r < e->height && e->y + r < screen.height && x0 < x1; r++)
        memcpy(screen.buf + (ptrdiff_t)(e->y + r) * screen.pitch + (ptrdiff_t)x0 * 3,
               pixels + ((size_t)r * e->width + (size_t)(x0 - e->x)) * 3, (size_t)(x1 - x0) * 3);
    io_mem_free(pixels);
}

void io_dialog_draw(void)
{
    if (!screen.buf || dlg.depth == 0)
        return;
    dlg_check_blink();
    // Bottom dialog first: a nested dialog's fields lie over its parent's.
    for (int level = 0; level < dlg.depth; level++) {
        Dialog &d = dlg.stack[level];
        if (d.ended)
            continue;
        for (int32_t i = 0; i < d.count; i++) {
            IoEdit &e = d.edits[i];
            if (!clip_is_dirty(e.x, e.y, e.width, e.height))
                continue;
            bool caret = level == dlg.depth - 1 && i == d.focus && dlg_caret_on();
            dlg_draw_field(&e, caret);
            e.caret_drawn = caret;
            // All of the field goes to the screen, not only the dirty tiles under it.
            dlg_invalidate(&e);
        }
    }
}
