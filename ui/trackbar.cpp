// Trackbars: the record behind each slider, thumb placement, stepping and dragging.
#include "ui/trackbar.h"

#include <algorithm>

#include "platform/log.h"
#include "platform/memory.h"
#include "media/feedback.h"
#include "ui/button.h"
#include "ui/skin.h"
#include "ui/text.h"
#include "ui/window.h"

constexpr int32_t TRACKBAR_ICON_LEFT = 24, TRACKBAR_ICON_RIGHT = 26, TRACKBAR_ICON_THUMB = 28;
constexpr int32_t TRACKBAR_ARROW = 32;     // the arrow buttons are square
constexpr int32_t TRACKBAR_TRACK_Y = 8;    // the track and the thumb sit this far down
constexpr int32_t TRACKBAR_PAGES = 10;     // a click on the track moves a tenth of the range

struct Trackbar {
    uint32_t style;
    uint32_t frame;
    int32_t thumb_shown;
    int32_t min, max, value, page;
    int32_t track_start, track_end;  // the range of the thumb's centre
    int32_t thumb;                   // x of the thumb's centre
    int32_t left, right;             // the arrow buttons
};

static struct {
    const Font *font;
    uint32_t colour, shadow;
    int32_t thumb_w, thumb_h;  // skin icon 28, read when a trackbar is made
} tb = {nullptr, 0, 0, 0, 0};

void trackbar_init(const Font *font, uint32_t colour, uint32_t shadow)
{
    tb.font = font;
    tb.colour = colour;
    tb.shadow = shadow;
}

static Trackbar &rec(int32_t trackbar)
{
    Trackbar *t = (Trackbar *)window_data(trackbar);
    if (!t)
        io_error("trackbar: window %i is not a trackbar\n", trackbar);
    return *t;
}

// --- the thumb ---

static double scale_of(const Trackbar &t)
{
    return (double)(t.track_end - t.track_start) / (double)(t.max - t.min);
}

// An empty range has no scale: the thumb rests at the start.
static void place_thumb(Trackbar &t)
{
    if (t.max == t.min) {
        t.thumb = t.track_start;
        return;
    }
    int32_t x = t.track_start + (int32_t)(scale_of(t) * (t.value - t.min));
    t.thumb = std::clamp(x, t.track_start, t.track_end);
}

static void value_from_thumb(Trackbar &t)
{
    if (t.max == t.min) {
        t.value = t.min;
        return;
    }
    int32_t v = t.min + (int32_t)((t.thumb - t.track_start) / scale_of(t));
    t.value = std::clamp(v, t.min, t.max);
}

static void invalidate_thumb(int32_t trackbar)
{
    const Trackbar &t = rec(trackbar);
    window_invalidate_rect(trackbar, t.thumb - tb.thumb_w / 2, TRACKBAR_TRACK_Y, tb.thumb_w, tb.thumb_h);
}

static void notify(int32_t trackbar)
{
    const Trackbar &t = rec(trackbar);
    if (!(t.style & TBS_NOTIFY))
        return;
    IoEvent track = {TW_TRACK, trackbar, t.value, 0};
    post_event(window_parent(trackbar), &track);
}

static void step(int32_t trackbar, int32_t d)
{
    Trackbar &t = rec(trackbar);
    invalidate_thumb(trackbar);
    int32_t v = std::clamp(t.value + d, t.min, t.max);
    if (v == t.value)
        return;
    t.value = v;
    place_thumb(t);
    invalidate_thumb(trackbar);
    notify(trackbar);
}

// --- drawing ---

static void draw(int32_t trackbar, int32_t width)
{
    const Trackbar &t = rec(trackbar);
    if (t.style & TBS_FRAME) {
        skin_frame(t.frame + SKIN_OPEN_RIGHT, 0, 0, TRACKBAR_ARROW, TRACKBAR_HEIGHT);
        skin_frame(SKIN_FILL_ONLY | SKIN_INACTIVE, TRACKBAR_ARROW, 0, width - 2 * TRACKBAR_ARROW, TRACKBAR_HEIGHT);
        skin_frame(t.frame + SKIN_OPEN_LEFT, width - TRACKBAR_ARROW, 0, TRACKBAR_ARROW, TRACKBAR_HEIGHT);
    }
    skin_track(0, TRACKBAR_TRACK_Y, width);
    if (t.thumb_shown)
        skin_icon(TRACKBAR_ICON_THUMB, t.thumb - tb.thumb_w / 2, TRACKBAR_TRACK_Y);
    const char *title = window_title(trackbar);
    if (*title && tb.font) {
        int32_t tw, th, sx, sy;
        text_set_font(tb.font, tb.colour, tb.shadow);
        text_measure(title, &tw, &th);
        window_screen_position(trackbar, &sx, &sy);
        window_text_draw(sx, sy, title, (t.track_start + t.track_end) / 2 - tw / 2, 0);
    }
}

// --- the handler ---

static int32_t mouse_down(int32_t trackbar, const IoEvent *event)
{
    Trackbar &t = rec(trackbar);
    int32_t a = (int32_t)event->a, b = (int32_t)event->b;
    if (!(event->c & IO_BUTTON_LEFT) || b <= TRACKBAR_TRACK_Y || b >= tb.thumb_h + TRACKBAR_TRACK_Y)
        return 0;
    int32_t left = t.thumb - tb.thumb_w / 2;
    bool on_thumb = a >= left && a <= left + tb.thumb_w;
    if (a < t.track_start && !on_thumb)
        return 0;
    if (a < left) {
        step(trackbar, -t.page);
        return 1;
    }
    if (on_thumb) {
        // The mouse is held to the slider while the thumb is carried.
        int32_t sx, sy;
        window_screen_position(trackbar, &sx, &sy);
        const TWindow *w = window_get(trackbar);
        fb_bound(sx, sy, w->width, w->height);
        fb_bound_start();
        window_capture(trackbar);
        return 1;
    }
    if (a <= t.track_end) {
        step(trackbar, t.page);
        return 1;
    }
    return 0;
}

static int32_t trackbar_handler(int32_t trackbar, IoEvent *event)
{
    Trackbar &t = rec(trackbar);
    switch (event->code) {
    case IO_FRAME: draw(trackbar, (int32_t)event->a); return 0;
    case IO_MOUSE_DOWN: return mouse_down(trackbar, event);
    case IO_MOUSE_UP:
        // A captured release comes marked with 8; the capture ends here.
        if ((event->c & IO_BUTTON_LEFT) && (event->c & 8)) {
            fb_bound_stop();
            window_drag_end();
        }
        return 0;
    case TW_CAPTURE_MOVE: {
        const TwPoint *p = (const TwPoint *)event->c;
        invalidate_thumb(trackbar);
        t.thumb = std::clamp(p->x, t.track_start, t.track_end);
        invalidate_thumb(trackbar);
        value_from_thumb(t);
        notify(trackbar);
        return 1;
    }
    case TW_CLICKED:
        if (event->a == t.left)
            step(trackbar, -1);
        else if (event->a == t.right)
            step(trackbar, 1);
        return 1;
    case TW_DESTROY: io_mem_free(&t); return 0;
    default: return 0;
    }
}

// --- making and setting ---

int32_t trackbar_create(int32_t parent, uint32_t style, int32_t x, int32_t y, int32_t width, uint32_t frame)
{
    skin_icon_size(TRACKBAR_ICON_THUMB, &tb.thumb_w, &tb.thumb_h);
    Trackbar *t = (Trackbar *)io_mem_alloc(sizeof(Trackbar));
    *t = {};
    t->style = style;
    t->frame = frame;
    t->thumb_shown = 1;
    t->track_start = TRACKBAR_MARGIN;
    t->track_end = width - TRACKBAR_MARGIN;
    t->min = 0;
    t->max = 1;  // a valid range until trackbar_set_range below
    int32_t h = window_register(parent, TWS_CHILD, x, y, width, TRACKBAR_HEIGHT, trackbar_handler, t);
    t->left = button_register(h, BS_PUSH | BS_ICON, 0, 0, TRACKBAR_ARROW, TRACKBAR_ARROW, TRACKBAR_ICON_LEFT, nullptr,
                              0, 0);
    t->right = button_register(h, BS_PUSH | BS_ICON, width - TRACKBAR_ARROW, 0, TRACKBAR_ARROW, TRACKBAR_ARROW,
                               TRACKBAR_ICON_RIGHT, nullptr, 0, 0);
    trackbar_set_range(h, 0, 10);
    return h;
}

void trackbar_set_range(int32_t trackbar, int32_t min, int32_t max)
{
    Trackbar &t = rec(trackbar);
    t.min = min;
    t.max = max;
    t.page = std::max((max - min) / TRACKBAR_PAGES, 1);
    t.value = std::clamp(t.value, min, std::max(min, max));
    place_thumb(t);
    window_invalidate(trackbar);
}

void trackbar_range(int32_t trackbar, int32_t *min, int32_t *max)
{
    const Trackbar &t = rec(trackbar);
    *min = t.min;
    *max = t.max;
}

void trackbar_set_value(int32_t trackbar, int32_t value)
{
    Trackbar &t = rec(trackbar);
    t.value = std::clamp(value, t.min, std::max(t.min, t.max));
    place_thumb(t);
    window_invalidate(trackbar);
}

int32_t trackbar_value(int32_t trackbar)
{
    return rec(trackbar).value;
}

int32_t trackbar_thumb(int32_t trackbar)
{
    return rec(trackbar).thumb;
}

int32_t trackbar_page(int32_t trackbar)
{
    return rec(trackbar).page;
}
