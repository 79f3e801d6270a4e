// The window table and its tree, event routing, dragging, capture, the rubber band,
// modality and the posted-event ring.
#include "ui/window.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "image/clip.h"
#include "ui/dialog.h"
#include "platform/log.h"
#include "platform/memory.h"
#include "platform/video.h"
#include "res/lang.h"
#include "ui/button.h"
#include "ui/skin.h"
#include "ui/text.h"

constexpr int32_t TW_MODAL_DEPTH = 8;  // modal windows open over each other at most
constexpr int32_t TW_ICON_EXPAND = 18, TW_ICON_COLLAPSE = 20, TW_ICON_CLOSE = 22;
// Margins window_keep_visible keeps a window within: left, top, right, bottom.
constexpr int32_t TW_MARGIN_LEFT = 64, TW_MARGIN_TOP = 32, TW_MARGIN_RIGHT = 32, TW_MARGIN_BOTTOM = 32;

enum { DRAG_NONE = 0, DRAG_MOVE = 1, DRAG_CAPTURE = 2, DRAG_BAND = 3 };

struct PostedEvent {
    int32_t window;
    IoEvent event;
};

static TWindow windows[TW_MAX_WINDOWS];

static struct Toolkit {
    int32_t count = 0;
    int32_t root = -1, floating = -1;
    int32_t modal[TW_MODAL_DEPTH] = {};  // the modal windows, lowest first
    int32_t modal_depth = 0;
    bool consumed = false;          // the mouse event being routed was taken by a window inside it
    int32_t drag_mode = 0, drag_window = -1;
    int32_t last_x = 0, last_y = 0;
    int32_t anchor_x = 0, anchor_y = 0, corner_x = 0, corner_y = 0;  // the band, on the screen
    TwBand band = {};               // normalised, on the screen
    PostedEvent ring[TW_EVENT_RING] = {};
    int32_t head = 0, tail = 0;
    const Font *title_font = nullptr;
    uint32_t title_colour = 0, title_shadow = 0;
    Shadow *collapsed_shadow = nullptr;  // shared by every collapsed window
    int32_t key_window = -1;        // hears keys first while it holds the capture
} tk;

static TWindow &win(int32_t window)
{
    if (window < 0 || window >= tk.count)
        io_error("window: invalid handle %i\n", window);
    return windows[window];
}

const TWindow *window_get(int32_t window)
{
    return &win(window);
}

int32_t window_count(void)
{
    return tk.count;
}

// --- life ---

void toolkit_init(void)
{
    tk = Toolkit();
    tk.collapsed_shadow = shadow_create(SHADOW_ON | SHADOW_SMALL, TW_COLLAPSED_WIDTH, TW_TITLE_HEIGHT, 0);
}

void toolkit_done(void)
{
    IoEvent destroy = {TW_DESTROY, 0, 0, 0};
    for (int32_t i = 0; i < tk.count; i++) {
        IoEvent copy = destroy;
        if (windows[i].handler)
            windows[i].handler(i, &copy);
    }
    for (int32_t i = 0; i < tk.count; i++) {
        io_mem_free(windows[i].title);
        if (windows[i].shadow)
            shadow_free(windows[i].shadow);
        windows[i] = {};
    }
    if (tk.collapsed_shadow)
        shadow_free(tk.collapsed_shadow);
    tk = Toolkit();
}

void toolkit_set_title_font(const Font *font, uint32_t colour, uint32_t shadow)
{
    tk.title_font = font;
    tk.title_colour = colour;
    tk.title_shadow = shadow;
}

// --- marking for redraw ---

static void mark(int32_t x, int32_t y, int32_t width, int32_t height)
{
    // While a modal dialog is up the platform dialog hears of it, so its fields over the
    // area are drawn again too.
    if (tk.modal_depth > 0 && io_dialog_open())
        io_dialog_invalidate(x, y, width, height);
    else
        clip_invalidate(x, y, width, height);
}

// The area a window covers on the screen, its shadows included (the large one shows
// while the window is carried).
static IoRect window_bounds(const TWindow &w)
{
    int32_t x = w.screen_x, y = w.screen_y, right = x + w.width, bottom = y + w.height;
    if ((w.style & TWS_SHADOW) && w.current_shadow) {
        for (bool large : {false, true}) {
            if (!(w.current_shadow->flags & (large ? SHADOW_LARGE : SHADOW_SMALL)))
                continue;
            int32_t dx, dy, sw, sh;
            shadow_bounds(w.current_shadow, large, &dx, &dy, &sw, &sh);
            x = std::min(x, w.screen_x + dx);
            y = std::min(y, w.screen_y + dy);
            right = std::max(right, w.screen_x + dx + sw);
            bottom = std::max(bottom, w.screen_y + dy + sh);
        }
    }
    return {x, y, right - x, bottom - y};
}

void window_invalidate(int32_t window)
{
    IoRect r = window_bounds(win(window));
    mark(r.x, r.y, r.width, r.height);
}

void window_invalidate_rect(int32_t window, int32_t x, int32_t y, int32_t width, int32_t height)
{
    const TWindow &w = win(window);
    mark(w.screen_x + x, w.screen_y + y, width, height);
}

// --- registration and accessors ---

// Places the frame buttons in the title bar: collapse and expand share a place.
static void layout_frame_buttons(int32_t window)
{
    TWindow &w = win(window);
    if (w.collapse_button >= 0) {
        window_move(w.collapse_button, w.width - 36, 0);
        window_move(w.expand_button, w.width - 36, 0);
        window_show(w.collapse_button, !w.collapsed);
        window_show(w.expand_button, w.collapsed);
    }
    if (w.close_button >= 0)
        window_move(w.close_button, w.width - 18, 0);
}

int32_t window_register(int32_t parent, uint32_t style, int32_t x, int32_t y, int32_t width, int32_t height,
                        TwHandler handler, void *data)
{
    if (tk.count >= TW_MAX_WINDOWS)
        io_error("window_register: windows[] is full\n");
    int32_t h = tk.count++;
    TWindow &w = windows[h];
    w = {};
    if (style & (TWS_FRAME | TWS_RAISE))
        style |= TWS_SHADOW;
    w.style = style;
    w.handler = handler;
    w.data = data;
    w.shown = 1;
    w.x = w.screen_x = x;
    w.y = w.screen_y = y;
    w.width = width;
    w.height = height;
    w.parent = w.prev = w.next = w.first_child = w.last_child = -1;
    w.collapse_button = w.expand_button = w.close_button = -1;
    if (style & TWS_FULLSCREEN) {
        w.x = w.y = w.screen_x = w.screen_y = 0;
        w.width = screen.width;
        w.height = screen.height;
    }
    if (style & TWS_CHILD) {
        TWindow &p = win(parent);
        w.parent = parent;
        w.prev = p.last_child;
        if (p.last_child >= 0)
            windows[p.last_child].next = h;
        else
            p.first_child = h;
        p.last_child = h;
        w.screen_x = p.screen_x + w.x;
        w.screen_y = p.screen_y + w.y;
    }
    if (style & TWS_COLLAPSE) {
        int32_t collapse = button_register(h, BS_PUSH | BS_ICON, 0, 0, 18, 18, TW_ICON_COLLAPSE, nullptr, 0, 0);
        int32_t expand = button_register(h, BS_PUSH | BS_ICON, 0, 0, 18, 18, TW_ICON_EXPAND, nullptr, 0, 0);
        windows[h].collapse_button = collapse;
        windows[h].expand_button = expand;
    }
    if (style & TWS_CLOSE)
        windows[h].close_button = button_register(h, BS_PUSH | BS_ICON, 0, 0, 18, 18, TW_ICON_CLOSE, nullptr, 0, 0);
    layout_frame_buttons(h);
    if (style & TWS_SHADOW) {
        // Framed windows cast a shadow of the skin frame's shape, others a plain one.
        uint32_t flags = SHADOW_ON | SHADOW_SMALL | ((style & TWS_RAISE) ? SHADOW_LARGE : 0) |
                         ((style & TWS_FRAME) ? 0 : SHADOW_RECT);
        windows[h].shadow = shadow_create(flags, windows[h].width, windows[h].height, 0);
        windows[h].current_shadow = windows[h].shadow;
    }
    // A new window is shown at once: its place is drawn again, or it would appear only
    // when something else happened to repaint that part of the screen.
    window_invalidate(h);
    return h;
}

void window_set_title(int32_t window, const char *text)
{
    TWindow &w = win(window);
    io_mem_free(w.title);
    w.title = nullptr;
    if (text) {
        size_t n = strlen(text) + 1;
        w.title = (char *)io_mem_alloc(n);
        memcpy(w.title, text, n);
    }
    window_invalidate(window);
}

const char *window_title(int32_t window)
{
    const char *t = win(window).title;
    return t ? t : "";
}

void *window_data(int32_t window)
{
    return win(window).data;
}

int32_t window_parent(int32_t window)
{
    return win(window).parent;
}

int32_t window_shown(int32_t window)
{
    return win(window).shown;
}

int32_t window_collapsed(int32_t window)
{
    return win(window).collapsed;
}

uint32_t window_style(int32_t window)
{
    return win(window).style;
}

void window_show(int32_t window, int32_t flag)
{
    TWindow &w = win(window);
    flag = flag ? 1 : 0;
    if (w.shown == flag)
        return;
    w.shown = flag;
    window_invalidate(window);
}

void window_focus(int32_t window)
{
    const TWindow &w = win(window);
    if (w.style & TWS_FULLSCREEN)
        tk.root = window;
    else if (w.style & TWS_FLOATING)
        tk.floating = window;
    else
        io_error("window_focus: invalid style\n");
    window_invalidate(window);
}

void window_unfocus_floating(void)
{
    if (tk.floating >= 0)
        window_invalidate(tk.floating);
    tk.floating = -1;
}

int32_t window_root(void)
{
    return tk.root;
}

int32_t window_floating(void)
{
    return tk.floating;
}

// --- modality ---

int32_t window_focus_modal(int32_t window, IoDialogField *fields)
{
    for (int32_t i = 0; i < tk.modal_depth; i++)
        if (tk.modal[i] == window)
            io_error("window_focus_modal: only one modal\n");
    const TWindow &w = win(window);
    if (!(w.style & TWS_MODAL))
        io_error("window_focus_modal: invalid style\n");
    if (tk.modal_depth >= TW_MODAL_DEPTH)
        io_error("window_focus_modal: too many modal windows\n");
    window_move(window, (screen.width - w.width) / 2, (screen.height - w.height) / 2);
    // A drag of the window below does not go on under the new one.
    if (tk.drag_mode != DRAG_NONE)
        window_drag_end();
    int32_t level = tk.modal_depth++;
    tk.modal[level] = window;
    window_invalidate(window);
    int32_t result = io_dialog_run(w.screen_x, w.screen_y, fields);
    // The game closing ends the dialog without window_end_modal; the window goes anyway.
    if (tk.modal_depth > level && tk.modal[level] == window) {
        window_invalidate(window);
        tk.modal_depth = level;
    }
    return result;
}

void window_end_modal(int32_t result, int32_t take_texts)
{
    if (tk.modal_depth == 0)
        return;
    int32_t window = tk.modal[tk.modal_depth - 1];
    window_invalidate(window);
    tk.modal_depth--;
    if (win(window).style & TWS_MODAL)
        io_dialog_end(result, take_texts);
}

int32_t window_has_modal(void)
{
    return tk.modal_depth > 0;
}

int32_t window_modal(void)
{
    return tk.modal_depth > 0 ? tk.modal[tk.modal_depth - 1] : -1;
}

// --- geometry ---

static void update_screen_positions(int32_t window)
{
    const TWindow &w = windows[window];
    for (int32_t c = w.first_child; c >= 0; c = windows[c].next) {
        windows[c].screen_x = w.screen_x + windows[c].x;
        windows[c].screen_y = w.screen_y + windows[c].y;
        update_screen_positions(c);
    }
}

// Sets a window's position and the screen positions below it, marking old and new places.
static void place(int32_t window, int32_t x, int32_t y)
{
    TWindow &w = win(window);
    window_invalidate(window);
    w.x = x;
    w.y = y;
    if (w.parent >= 0) {
        w.screen_x = windows[w.parent].screen_x + x;
        w.screen_y = windows[w.parent].screen_y + y;
    } else {
        w.screen_x = x;
        w.screen_y = y;
    }
    update_screen_positions(window);
    window_invalidate(window);
}

void window_move(int32_t window, int32_t x, int32_t y)
{
    const TWindow &w = win(window);
    if (w.style & TWS_FULLSCREEN)
        return;
    if (w.collapsed)
        x += w.saved_width - w.width;
    place(window, x, y);
}

void window_position(int32_t window, int32_t *x, int32_t *y)
{
    const TWindow &w = win(window);
    *x = w.collapsed ? w.x + w.width - w.saved_width : w.x;
    *y = w.y;
}

void window_screen_position(int32_t window, int32_t *x, int32_t *y)
{
    const TWindow &w = win(window);
    *x = w.collapsed ? w.screen_x + w.width - w.saved_width : w.screen_x;
    *y = w.screen_y;
}

void window_resize(int32_t window, int32_t width, int32_t height)
{
    window_invalidate(window);
    TWindow &w = win(window);
    w.width = width;
    w.height = height;
    layout_frame_buttons(window);
    if (w.shadow) {
        if (!w.collapsed) {
            shadow_resize(w.shadow, width, height);
            w.current_shadow = w.shadow;
        } else {
            w.current_shadow = tk.collapsed_shadow;
        }
    }
    window_invalidate(window);
}

void window_set_size(int32_t window, int32_t width, int32_t height)
{
    TWindow &w = win(window);
    if (w.collapsed) {
        w.saved_width = width;
        w.saved_height = height;
    } else {
        window_resize(window, width, height);
    }
}

void window_size(int32_t window, int32_t *width, int32_t *height)
{
    const TWindow &w = win(window);
    *width = w.collapsed ? w.saved_width : w.width;
    *height = w.collapsed ? w.saved_height : w.height;
}

void window_collapse(int32_t window, int32_t flag)
{
    TWindow &w = win(window);
    flag = flag ? 1 : 0;
    if (w.collapsed == flag)
        return;
    int32_t right = w.x + w.width;
    if (flag) {
        w.saved_width = w.width;
        w.saved_height = w.height;
        w.collapsed = 1;
        window_resize(window, TW_COLLAPSED_WIDTH, TW_TITLE_HEIGHT);
    } else {
        w.collapsed = 0;
        window_resize(window, w.saved_width, w.saved_height);
    }
    place(window, right - w.width, w.y);
}

void window_raise(int32_t window)
{
    TWindow &w = win(window);
    if (w.parent >= 0 && w.next >= 0) {
        TWindow &p = windows[w.parent];
        // Unlink, then append as the last (front-most) child.
        if (w.prev >= 0)
            windows[w.prev].next = w.next;
        else
            p.first_child = w.next;
        windows[w.next].prev = w.prev;
        w.prev = p.last_child;
        w.next = -1;
        windows[p.last_child].next = window;
        p.last_child = window;
    }
    window_invalidate(window);
}

static bool pointer_inside(const TWindow &w)
{
    return io_mouse_x >= w.screen_x && io_mouse_x < w.screen_x + w.width && io_mouse_y >= w.screen_y &&
           io_mouse_y < w.screen_y + w.height;
}

int32_t window_hit(int32_t window)
{
    TWindow &w = win(window);
    w.inside = pointer_inside(w);
    return w.inside;
}

void window_keep_visible(int32_t window)
{
    TWindow &w = win(window);
    int32_t left = TW_MARGIN_LEFT, top = TW_MARGIN_TOP;
    int32_t right = screen.width - TW_MARGIN_RIGHT, bottom = screen.height - TW_MARGIN_BOTTOM;
    if (w.x < right && w.x + w.width > left && w.y < bottom && w.y + w.height > top)
        return;  // some of it lies within the margins
    const int32_t corners[4][2] = {
        {w.x, w.y}, {w.x + w.width, w.y}, {w.x, w.y + w.height}, {w.x + w.width, w.y + w.height}};
    int32_t best_dx = 0, best_dy = 0;
    double best = -1;
    for (const auto &c : corners) {
        int32_t dx = 0, dy = 0;
        if (c[0] < left)
            dx = left - c[0];
        if (c[1] < top)
            dy = top - c[1];
        if (c[0] > right)
            dx = right - c[0];
        if (c[1] > bottom)
            dy = bottom - c[1];
        if (dx == 0 && dy == 0)
            return;
        double length = std::sqrt((double)dx * dx + (double)dy * dy);
        if (best < 0 || length < best) {
            best = length;
            best_dx = dx;
            best_dy = dy;
        }
    }
    place(window, w.x + best_dx, w.y + best_dy);
}

// --- posted events ---

void post_event(int32_t window, const IoEvent *event)
{
    if ((tk.tail + 1) % TW_EVENT_RING == tk.head)
        io_error("twindow: post_event: fevents[] is full\n");
    tk.ring[tk.tail] = {window, *event};
    tk.tail = (tk.tail + 1) % TW_EVENT_RING;
}

// --- drawing a window's own parts ---

static void draw_frame_parts(int32_t window)
{
    const TWindow &w = windows[window];
    skin_set_origin(w.screen_x, w.screen_y);
    IoRect area = window_bounds(w);
    if (!clip_is_dirty(area.x, area.y, area.width, area.height))
        return;  // nothing of it will reach the screen this frame
    if ((w.style & TWS_SHADOW) && w.current_shadow) {
        bool carried = tk.drag_mode == DRAG_MOVE && tk.drag_window == window &&
                       (w.current_shadow->flags & SHADOW_LARGE);
        shadow_draw(w.current_shadow, carried, w.screen_x, w.screen_y);
    }
    if (!(w.style & TWS_FRAME))
        return;
    skin_title_bar(0, 0, w.width, (w.style & TWS_RAISE) != 0, (w.style & TWS_COLLAPSE) != 0,
                   (w.style & TWS_CLOSE) != 0);
    if (w.title && tk.title_font) {
        text_set_font(tk.title_font, tk.title_colour, tk.title_shadow);
        text_draw(w.title, w.screen_x + 24, w.screen_y + (TW_TITLE_HEIGHT - tk.title_font->height) / 2);
    }
}

static void draw_band(void)
{
    draw_set_pen(2, skin_color(SKIN_COLOR_SELECTION));
    draw_rect(tk.band.x, tk.band.y, tk.band.width, tk.band.height);
}

// --- delivery to one window ---

static bool is_mouse(int32_t code)
{
    return code == IO_MOUSE_DOWN || code == IO_MOUSE_UP || code == IO_MOUSE_MOVE;
}

static int32_t deliver(int32_t window, const IoEvent *event)
{
    TWindow &w = windows[window];
    IoEvent copy = *event;
    if (!tk.consumed && copy.code == IO_MOUSE_DOWN && (w.style & TWS_RAISE) && (w.style & TWS_FRAME) &&
        copy.a >= w.screen_x && copy.a < w.screen_x + w.width && copy.b >= w.screen_y &&
        copy.b < w.screen_y + TW_TITLE_HEIGHT) {
        window_drag_start(window);
        tk.consumed = true;
        return 1;
    }
    bool was_down = copy.code == IO_MOUSE_DOWN;
    if (is_mouse(copy.code)) {
        w.inside = pointer_inside(w);
        if (w.inside && !tk.consumed) {
            if (!(w.style & TWS_PASSMOUSE))
                tk.consumed = true;
            copy.a -= w.screen_x;
            copy.b -= w.screen_y;
        } else {
            copy.code = TW_OUTSIDE;
        }
    }
    if (copy.code == IO_FRAME) {
        copy.a = w.width;
        copy.b = w.height;
        draw_frame_parts(window);
        if (w.collapsed)
            return 0;
    }
    if (copy.code == TW_CAPTURE_FRAME) {
        skin_set_origin(w.screen_x, w.screen_y);
        copy.a = w.width;
        copy.b = w.height;
    }
    if (copy.code == TW_CLICKED && copy.a >= 0) {
        int32_t button = (int32_t)copy.a;
        if (button == w.close_button) {
            window_show(window, 0);
            return 1;
        }
        if (button == w.collapse_button) {
            window_collapse(window, 1);
            return 1;
        }
        if (button == w.expand_button) {
            window_collapse(window, 0);
            return 1;
        }
    }
    int32_t result = 0;
    if (copy.code != TW_OUTSIDE || (w.style & TWS_OUTSIDE))
        result = w.handler ? w.handler(window, &copy) : 0;
    if (!result && (w.style & TWS_RAISE) && w.inside && was_down) {
        window_raise(window);
        result = 1;
    }
    if (event->code == IO_FRAME && tk.drag_mode == DRAG_BAND && tk.drag_window == window)
        draw_band();
    return result;
}

// A collapsed framed window has only its expand and close buttons left.
static bool collapsed_frame(const TWindow &w)
{
    return (w.style & ~0x7Fu) && w.collapsed;
}

// Frames and ticks: the whole tree, unless a window takes it.
static int32_t broadcast(int32_t window, const IoEvent *event)
{
    const TWindow &w = windows[window];
    if (!w.shown)
        return 0;
    if (deliver(window, event))
        return 1;
    if (collapsed_frame(w)) {
        int32_t taken = 0;
        for (int32_t b : {w.expand_button, w.close_button})
            if (b >= 0 && !taken)
                taken = broadcast(b, event);
        return taken;
    }
    for (int32_t c = w.first_child; c >= 0; c = windows[c].next)
        if (broadcast(c, event))
            return 1;
    return 0;
}

// Any other event: children front to back, then the window itself.
static int32_t offer(int32_t window, const IoEvent *event)
{
    const TWindow &w = windows[window];
    if (!w.shown)
        return 0;
    if (collapsed_frame(w)) {
        for (int32_t b : {w.close_button, w.expand_button})
            if (b >= 0 && offer(b, event))
                return 1;
        return 0;
    }
    for (int32_t c = w.last_child; c >= 0; c = windows[c].prev)
        if (offer(c, event))
            return 1;
    return deliver(window, event);
}

// --- dragging ---

void window_drag_start(int32_t window)
{
    tk.drag_mode = DRAG_MOVE;
    tk.drag_window = window;
    tk.last_x = io_mouse_x;
    tk.last_y = io_mouse_y;
    window_raise(window);
    window_invalidate(window);
}

void window_capture(int32_t window)
{
    win(window);
    tk.drag_mode = DRAG_CAPTURE;
    tk.drag_window = window;
    tk.last_x = io_mouse_x;
    tk.last_y = io_mouse_y;
}

static void band_normalise(void)
{
    tk.band.x = std::min(tk.anchor_x, tk.corner_x);
    tk.band.y = std::min(tk.anchor_y, tk.corner_y);
    tk.band.width = std::abs(tk.corner_x - tk.anchor_x);
    tk.band.height = std::abs(tk.corner_y - tk.anchor_y);
}

// The band's outline, one pixel wide, on the screen.
static void band_mark(void)
{
    mark(tk.band.x, tk.band.y, tk.band.width + 1, tk.band.height + 1);
}

void window_rubber_band(int32_t window)
{
    win(window);
    tk.drag_mode = DRAG_BAND;
    tk.drag_window = window;
    tk.anchor_x = tk.corner_x = tk.last_x = io_mouse_x;
    tk.anchor_y = tk.corner_y = tk.last_y = io_mouse_y;
    band_normalise();
}

void window_drag_end(void)
{
    int32_t window = tk.drag_window;
    switch (tk.drag_mode) {
    case DRAG_MOVE:
        window_invalidate(window);
        tk.drag_mode = DRAG_NONE;
        window_invalidate(window);  // the large shadow turns small
        break;
    case DRAG_CAPTURE: {
        tk.drag_mode = DRAG_NONE;
        IoEvent end = {TW_CAPTURE_END, 0, 0, 0};
        if (windows[window].handler)
            windows[window].handler(window, &end);
        break;
    }
    case DRAG_BAND: {
        tk.drag_mode = DRAG_NONE;
        TwBand on_screen = tk.band;
        IoEvent end = {TW_BAND_END, 0, 0, (intptr_t)&on_screen};
        if (windows[window].handler)
            windows[window].handler(window, &end);
        band_mark();
        break;
    }
    default: break;
    }
    tk.drag_mode = DRAG_NONE;
}

void window_set_key_capture(int32_t window)
{
    if (window >= 0)
        win(window);
    tk.key_window = window;
}

int32_t window_drag_mode(void)
{
    return tk.drag_mode;
}

// Events while a drag is on: all of them are the drag's.
static int32_t drag_event(const IoEvent *event)
{
    const TWindow &w = windows[tk.drag_window];
    if (tk.drag_mode == DRAG_CAPTURE && (event->code == IO_MOUSE_DOWN || event->code == IO_MOUSE_UP)) {
        // The capturing window hears its buttons as they are; it ends the capture itself.
        IoEvent copy = *event;
        copy.c += 8;
        if (w.handler)
            w.handler(tk.drag_window, &copy);
        return 1;
    }
    if (is_mouse(event->code))
        tk.band.ctrl = (event->c & IO_BUTTON_CTRL) ? 1 : 0;
    switch (event->code) {
    case IO_MOUSE_UP: window_drag_end(); return 1;
    case IO_MOUSE_DOWN: return 0;
    case IO_MOUSE_MOVE: {
        int32_t x = (int32_t)event->a, y = (int32_t)event->b;
        if (tk.drag_mode != DRAG_MOVE) {
            x = std::clamp(x, w.screen_x, w.screen_x + w.width - 1);
            y = std::clamp(y, w.screen_y, w.screen_y + w.height - 1);
        }
        int32_t dx = x - tk.last_x, dy = y - tk.last_y;
        tk.last_x = x;
        tk.last_y = y;
        if (dx == 0 && dy == 0)
            return 1;
        if (tk.drag_mode == DRAG_MOVE) {
            int32_t px, py;
            window_position(tk.drag_window, &px, &py);
            window_move(tk.drag_window, px + dx, py + dy);
        } else if (tk.drag_mode == DRAG_CAPTURE) {
            TwPoint p = {x - w.screen_x, y - w.screen_y};
            IoEvent move = {TW_CAPTURE_MOVE, dx, dy, (intptr_t)&p};
            if (w.handler)
                w.handler(tk.drag_window, &move);
        } else {
            tk.corner_x += dx;
            tk.corner_y += dy;
            band_mark();
            band_normalise();
            band_mark();
            TwBand relative = tk.band;
            relative.x -= w.screen_x;
            relative.y -= w.screen_y;
            IoEvent move = {TW_BAND_MOVE, dx, dy, (intptr_t)&relative};
            if (w.handler)
                w.handler(tk.drag_window, &move);
        }
        return 1;
    }
    case IO_KEY_DOWN:
    case IO_KEY_UP:
        if (tk.drag_mode == DRAG_CAPTURE && tk.drag_window == tk.key_window && w.handler) {
            IoEvent copy = *event;
            copy.c += 8;
            if (w.handler(tk.drag_window, &copy))
                return 1;  // a key it takes leaves the capture on
        }
        if (event->code == IO_KEY_UP)
            return 1;
        window_drag_end();
        return 1;
    case IO_INTERRUPT: window_drag_end(); return 1;
    default: return 1;  // dropped while the drag is on
    }
}

// --- routing ---

int32_t toolkit_event(const IoEvent *event)
{
    tk.consumed = false;
    int32_t taken = 0;
    if (event->code == IO_FRAME || event->code == IO_TIMER) {
        if (tk.root >= 0)
            taken |= broadcast(tk.root, event);
        for (int32_t i = 0; i < tk.modal_depth; i++)
            taken |= broadcast(tk.modal[i], event);
        if (tk.floating >= 0)
            taken |= broadcast(tk.floating, event);
        if (event->code == IO_FRAME && tk.drag_mode == DRAG_CAPTURE) {
            IoEvent capture = {TW_CAPTURE_FRAME, event->a, event->b, event->c};
            deliver(tk.drag_window, &capture);
        }
    } else if (tk.drag_mode != DRAG_NONE && drag_event(event)) {
        taken = 1;
    } else {
        int32_t tree = tk.modal_depth > 0 ? tk.modal[tk.modal_depth - 1] : tk.floating >= 0 ? tk.floating : tk.root;
        if (tree >= 0)
            taken = offer(tree, event);
    }
    while (tk.head != tk.tail) {
        PostedEvent p = tk.ring[tk.head];
        tk.head = (tk.head + 1) % TW_EVENT_RING;
        deliver(p.window, &p.event);
    }
    return taken;
}
