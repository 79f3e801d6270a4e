// Buttons: the record behind each button window, its face and its handler.
#include "ui/button.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "image/cache.h"
#include "image/clip.h"
#include "image/img.h"
#include "platform/log.h"
#include "platform/memory.h"
#include "media/feedback.h"
#include "res/lang.h"
#include "ui/skin.h"
#include "ui/text.h"
#include "ui/window.h"

constexpr int32_t BUTTON_POP_STRENGTH = 3000;  // the pop as the pointer enters a button
constexpr int32_t BUTTON_FRAME_PADDING = 15;   // a framed push button is this much wider than its face
constexpr int32_t BUTTON_CHECK_PADDING = 5;    // check boxes and radio buttons leave this before each part
constexpr int32_t BUTTON_FACES = 4;

struct Button {
    uint32_t style;
    int32_t text_width, text_height;
    int32_t key;
    int32_t faces[BUTTON_FACES];  // cache handles of the state pictures
    int32_t picture_width, picture_height;
    int32_t icon, icon_width, icon_height;
    uint32_t frame;
    int32_t state, enabled, hover;
    int32_t group_first, group_last;
    int32_t notify;               // -1: the parent
    ButtonDraw draw;
};

static struct {
    const Font *font;
    uint32_t active, inactive, hover, shadow;
    int32_t open_group;  // first button of the radio group being made, -1 when none
} btn = {nullptr, 0, 0, 0, 0, -1};

void button_init(const Font *font, uint32_t active, uint32_t inactive, uint32_t hover, uint32_t shadow)
{
    btn.font = font;
    btn.active = active;
    btn.inactive = inactive;
    btn.hover = hover;
    btn.shadow = shadow;
    btn.open_group = -1;
}

// The record of a button window; any other window is a caller's slip.
static Button &rec(int32_t button)
{
    Button *b = (Button *)window_data(button);
    if (!b)
        io_error("button: window %i is not a button\n", button);
    return *b;
}

static bool is_push(const Button &b)
{
    return (b.style & BS_PUSH) != 0;
}

static bool is_check(const Button &b)
{
    return (b.style & (BS_TOGGLE | BS_RADIO)) != 0;
}

int32_t button_face(int32_t button)
{
    const Button &b = rec(button);
    return (b.enabled ? 2 : 0) + ((is_push(b) ? b.hover : b.state) ? 1 : 0);
}

// --- drawing ---

static void button_draw(int32_t window, int32_t width, int32_t height)
{
    const Button &b = rec(window);
    int32_t sx, sy;
    window_screen_position(window, &sx, &sy);
    // Every frame reaches every button; one none of whose tiles is dirty has nothing to do.
    if (!clip_is_dirty(sx, sy, width, height))
        return;
    int32_t face = button_face(window);
    if (b.style & BS_FRAME)
        skin_frame(b.frame, 0, 0, width, height);
    int32_t x = 0;
    if (b.style & BS_ICON) {
        int32_t y = (height - b.icon_height) / 2;
        if (is_push(b))
            x = (width - b.icon_width) / 2;
        else if (is_check(b))
            x += BUTTON_CHECK_PADDING;
        skin_icon(b.icon + (face & 1), x, y);
        x += b.icon_width;
    }
    if (b.style & BS_OWNERDRAW) {
        if (b.draw)
            b.draw(window);
        return;
    }
    if ((b.style & BS_TEXT) && btn.font) {
        uint32_t colour = b.enabled ? (b.hover ? btn.hover : btn.active) : btn.inactive;
        text_set_font(btn.font, colour, btn.shadow);
        if (is_push(b))
            x = (width - b.text_width) / 2;
        else if (is_check(b))
            x += BUTTON_CHECK_PADDING;
        window_text_draw(sx, sy, window_title(window), x, (height - b.text_height) / 2);
    }
    if (b.style & BS_FAZE)
        window_cache_draw(sx, sy, b.faces[face], x, (height - b.picture_height) / 2);
}

// --- state ---

int32_t button_state(int32_t button)
{
    return rec(button).state;
}

void button_set_state(int32_t button, int32_t state)
{
    Button &b = rec(button);
    state = state ? 1 : 0;
    if (is_push(b) || b.state == state)
        return;
    b.state = state;
    window_invalidate(button);
}

int32_t button_enabled(int32_t button)
{
    return rec(button).enabled;
}

void button_enable(int32_t button, int32_t flag)
{
    Button &b = rec(button);
    flag = flag ? 1 : 0;
    if (b.enabled == flag)
        return;
    b.enabled = flag;
    window_invalidate(button);
}

int32_t button_hover(int32_t button)
{
    return rec(button).hover;
}

void button_set_frame(int32_t button, uint32_t frame)
{
    rec(button).frame = frame;
    window_invalidate(button);
}

void button_set_notify(int32_t button, int32_t window)
{
    rec(button).notify = window;
}

void button_set_key(int32_t button, int32_t key)
{
    rec(button).key = key;
}

// The handles of a radio group run from its first button to its last; the last is kept
// in the first's record. A button outside a group has an empty run.
static void group_range(int32_t button, int32_t *first, int32_t *last)
{
    *first = rec(button).group_first;
    *last = *first >= 0 ? rec(*first).group_last : -2;
}

void button_group_clear(int32_t button)
{
    int32_t first, last;
    group_range(button, &first, &last);
    for (int32_t h = first; h >= 0 && h <= last; h++)
        button_set_state(h, 0);
}

int32_t button_group_selected(int32_t first)
{
    int32_t from, last;
    group_range(first, &from, &last);
    for (int32_t h = from; h >= 0 && h <= last; h++)
        if (rec(h).state)
            return h - first;
    return -1;
}

void button_group_select(int32_t first, int32_t index)
{
    if (index < 0)
        return;
    button_group_clear(first);
    button_set_state(rec(first).group_first + index, 1);
}

// --- the handler ---

static void hover_off(int32_t button)
{
    Button &b = rec(button);
    if (!b.hover)
        return;
    b.hover = 0;
    window_invalidate(button);
}

static int32_t click(int32_t button)
{
    Button &b = rec(button);
    if (!b.enabled)
        return 0;
    if (b.style & BS_TOGGLE)
        button_set_state(button, !b.state);
    if (b.style & BS_RADIO) {
        button_group_clear(button);
        button_set_state(button, 1);
    }
    if (b.style & BS_NOTIFY) {
        IoEvent clicked = {TW_CLICKED, button, b.state, 0};
        post_event(b.notify >= 0 ? b.notify : window_parent(button), &clicked);
    }
    return 1;
}

static int32_t button_handler(int32_t button, IoEvent *event)
{
    Button &b = rec(button);
    switch (event->code) {
    case IO_FRAME: button_draw(button, (int32_t)event->a, (int32_t)event->b); return 0;
    case IO_TIMER:
        if (!window_hit(button))
            hover_off(button);
        return 0;
    case IO_MOUSE_DOWN: return (event->c & IO_BUTTON_LEFT) ? click(button) : 0;
    case IO_MOUSE_MOVE:
        if (b.enabled) {
            if (!b.hover)
                fb_pop(BUTTON_POP_STRENGTH);
            b.hover = 1;
            window_invalidate(button);
        }
        return 0;
    case IO_KEY_DOWN: return b.key != 0 && b.key == event->a ? click(button) : 0;
    case TW_OUTSIDE: hover_off(button); return 0;
    case TW_DESTROY: io_mem_free(&b); return 0;
    default: return 0;
    }
}

// --- registration ---

// State pictures "%s_%i.img": picture 0 must exist, 1 and 2 fall back to it, and the
// lit enabled face (3) to picture 2 when the skin has no fourth one.
static void load_faces(Button &b, const char *base)
{
    for (int32_t i = 0; i < BUTTON_FACES; i++) {
        char name[256];
        snprintf(name, sizeof name, "%s_%i.img", base, i);
        b.faces[i] = precache_file(name, img_loader, 0);
        if (b.faces[i] < 0 && i == 0)
            io_error("button.cpp: load_faze %s\n", base);
        if (b.faces[i] < 0)
            b.faces[i] = b.faces[i == 3 ? 2 : 0];
    }
    const Img *img = (const Img *)cache_lock(b.faces[0]);
    b.picture_width = img->width;
    b.picture_height = img->height;
    cache_unlock(b.faces[0]);
}

static int32_t register_button(int32_t parent, uint32_t style, int32_t x, int32_t y, int32_t width, int32_t height,
                               int32_t icon, const char *text, ButtonDraw draw, uint32_t frame, int32_t key)
{
    const char *name = text ? text : "";
    Button *b = (Button *)io_mem_alloc(sizeof(Button));
    *b = {};
    b->style = style;
    b->key = key;
    b->frame = frame;
    b->enabled = 1;
    b->notify = -1;
    b->icon = icon;
    b->group_first = b->group_last = -1;
    if (style & BS_ICON)
        skin_icon_size(icon, &b->icon_width, &b->icon_height);
    if ((style & BS_TEXT) && btn.font) {
        text_set_font(btn.font, btn.active, btn.shadow);
        text_measure(name, &b->text_width, &b->text_height);
        b->text_height -= btn.font->shadow_offset;
    }
    if (style & BS_FAZE)
        load_faces(*b, name);
    if (style & BS_OWNERDRAW)
        b->draw = draw;
    if (style & BS_PUSH)
        b->style |= BS_NOTIFY;

    int32_t check = is_check(*b) ? BUTTON_CHECK_PADDING : 0;
    int32_t content_w = 0, content_h = 0;
    if (style & BS_ICON) {
        content_w += b->icon_width + check;
        content_h = std::max(content_h, b->icon_height + check);
    }
    if (style & BS_TEXT) {
        content_w += b->text_width + check;
        content_h = std::max(content_h, b->text_height + check);
    }
    if (style & BS_FAZE) {
        content_w += b->picture_width;
        content_h = std::max(content_h, b->picture_height);
    }
    if ((style & BS_PUSH) && (style & BS_FRAME))
        content_w += BUTTON_FRAME_PADDING;

    uint32_t wstyle = TWS_CHILD | TWS_OUTSIDE | ((style & BS_SHADOW) ? (uint32_t)TWS_SHADOW : 0u);
    int32_t h = window_register(parent, wstyle, x, y, width ? width : content_w, height ? height : content_h,
                                button_handler, b);
    if (style & BS_TEXT)
        window_set_title(h, name);

    if (style & BS_RADIO) {
        if (style & BS_RGFIRST) {
            if (btn.open_group >= 0)
                io_error("button_register: next BS_RGFIRST for %s\n", name);
            btn.open_group = h;
            b->group_first = h;
        } else {
            if (btn.open_group < 0)
                io_error("button_register: where is for %s BS_RGFIRST?\n", name);
            b->group_first = btn.open_group;
        }
        if (style & BS_RGLAST) {
            Button &first = rec(b->group_first);
            first.group_last = h;
            btn.open_group = -1;
        }
    }
    return h;
}

int32_t button_register(int32_t parent, uint32_t style, int32_t x, int32_t y, int32_t width, int32_t height,
                        int32_t icon, const char *text, uint32_t frame, int32_t key)
{
    return register_button(parent, style, x, y, width, height, icon, text, nullptr, frame, key);
}

int32_t button_register_drawn(int32_t parent, uint32_t style, int32_t x, int32_t y, int32_t width, int32_t height,
                              int32_t icon, ButtonDraw draw, uint32_t frame, int32_t key)
{
    return register_button(parent, style, x, y, width, height, icon, nullptr, draw, frame, key);
}
