// Toolkit windows: a table of rectangles with handlers, drawn into the frame buffer and
// arranged in a tree; the routing of kernel events to them, dragging, pointer capture,
// the rubber band, modality and a small queue of posted events. Rooms, buttons,
// trackbars and dialogs are all windows; a window's handle is its index in the table.
#pragma once
#include <cstdint>

#include "platform/events.h"

struct Font;
struct Shadow;
struct IoDialogField;

constexpr int32_t TW_MAX_WINDOWS = 200;
constexpr int32_t TW_EVENT_RING = 64;      // posted events: 63 can wait
constexpr int32_t TW_TITLE_HEIGHT = 18;
constexpr int32_t TW_COLLAPSED_WIDTH = 138;

// Style bits.
enum TwStyle : uint32_t {
    TWS_FULLSCREEN = 0x001,  // at (0, 0) with the screen's size; can be the root; never moves
    TWS_CHILD = 0x002,       // has a parent; its position is relative to it
    TWS_MODAL = 0x004,       // may be shown modally
    TWS_FLOATING = 0x008,    // can be the floating top-level window
    TWS_PASSMOUSE = 0x010,   // takes mouse events without hiding them from the windows below
    TWS_RAISE = 0x020,       // comes to the front when clicked; with TWS_FRAME, dragged by its title bar
    TWS_OUTSIDE = 0x040,     // its handler also hears mouse events outside it, as TW_OUTSIDE
    TWS_FRAME = 0x080,       // a skin title bar 18 pixels high with the title
    TWS_COLLAPSE = 0x100,    // collapse and expand buttons in the title bar
    TWS_CLOSE = 0x200,       // a close button in the title bar
    TWS_SHADOW = 0x400,      // casts a drop shadow; every TWS_FRAME or TWS_RAISE window gets it
};

// Toolkit event codes, beside the kernel's.
enum TwEventCode : int32_t {
    TW_DESTROY = 256,        // every window at shutdown
    TW_CAPTURE_FRAME = 257,  // a = width, b = height, c = c of the frame: the capturing window after each frame
    TW_CAPTURE_MOVE = 258,   // a = dx, b = dy, c = address of TwPoint, the pointer relative to the window
    TW_CAPTURE_END = 259,
    TW_BAND_MOVE = 262,      // a = dx, b = dy, c = address of TwBand relative to the window
    TW_BAND_END = 263,       // c = address of TwBand on the screen
    TW_OUTSIDE = 264,        // a, b = mouse position on the screen, c = c of the mouse event
    TW_CLICKED = 268,        // a = button, b = its state; posted by buttons
    TW_TRACK = 270,          // a = trackbar, b = value; posted by trackbars
};

struct TwPoint {
    int32_t x, y;
};
struct TwBand {
    int32_t x, y, width, height, ctrl;
};

// A window's handler: 1 when it took the event. The event is the window's own copy.
typedef int32_t (*TwHandler)(int32_t window, IoEvent *event);

struct TWindow {
    int32_t parent;             // -1 for a top-level window
    uint32_t style;
    int32_t width, height;
    int32_t x, y;               // relative to the parent (the screen for a top-level window)
    int32_t screen_x, screen_y;
    int32_t shown;
    TwHandler handler;
    void *data;                 // the owner's record
    int32_t prev, next;         // siblings; later ones are in front
    int32_t first_child, last_child;
    int32_t inside;             // the pointer was inside at the last mouse event seen
    char *title;                // owned copy, or null
    int32_t collapse_button, expand_button, close_button;  // -1 when absent
    Shadow *shadow;             // own drop shadow with TWS_SHADOW
    Shadow *current_shadow;     // the own one, or the shared small one while collapsed
    int32_t collapsed;
    int32_t saved_width, saved_height;
};

// The window behind a handle; a handle outside the table is fatal
// "window: invalid handle %i".
const TWindow *window_get(int32_t window);
int32_t window_count(void);

// Empties the table, the ring and every focus, and makes the shared collapsed shadow.
void toolkit_init(void);
// TW_DESTROY to every window in table order; titles and shadows freed.
void toolkit_done(void);
void toolkit_set_title_font(const Font *font, uint32_t colour, uint32_t shadow);

// Routes one kernel event to the windows; 1 when one of them took it.
int32_t toolkit_event(const IoEvent *event);

// Registers a window: fatal "window_register: windows[] is full" beyond 200.
int32_t window_register(int32_t parent, uint32_t style, int32_t x, int32_t y, int32_t width, int32_t height,
                        TwHandler handler, void *data);

void window_set_title(int32_t window, const char *text);
const char *window_title(int32_t window);  // "" when it has none
void *window_data(int32_t window);
int32_t window_parent(int32_t window);
int32_t window_shown(int32_t window);
int32_t window_collapsed(int32_t window);
uint32_t window_style(int32_t window);

void window_show(int32_t window, int32_t flag);
// TWS_FULLSCREEN: the room's root; TWS_FLOATING: the floating window; else fatal
// "window_focus: invalid style".
void window_focus(int32_t window);
void window_unfocus_floating(void);
int32_t window_root(void);
int32_t window_floating(void);

// Shows `window` modally over the centre of the screen with the platform dialog's edit
// fields (null for none) and returns when window_end_modal ends it, with its result.
// Modal windows nest: a modal window may open another, which ends back into it. Fatal
// "window_focus_modal: only one modal" for a window that is modal already, and
// "window_focus_modal: invalid style" without TWS_MODAL.
int32_t window_focus_modal(int32_t window, IoDialogField *fields);
// Ends the topmost modal window; with take_texts the fields' texts are copied back.
void window_end_modal(int32_t result, int32_t take_texts);
int32_t window_has_modal(void);
int32_t window_modal(void);  // the topmost modal window, -1 when none

void window_move(int32_t window, int32_t x, int32_t y);
// Relative or absolute position; while collapsed, x as if expanded.
void window_position(int32_t window, int32_t *x, int32_t *y);
void window_screen_position(int32_t window, int32_t *x, int32_t *y);
void window_resize(int32_t window, int32_t width, int32_t height);
// Stores the size to restore while collapsed, else resizes.
void window_set_size(int32_t window, int32_t width, int32_t height);
// The saved size while collapsed.
void window_size(int32_t window, int32_t *width, int32_t *height);
void window_collapse(int32_t window, int32_t flag);
void window_raise(int32_t window);
// Updates and returns `inside` for the pointer's position now.
int32_t window_hit(int32_t window);
// Marks the window, with its shadow, for redraw.
void window_invalidate(int32_t window);
// Marks a rectangle given relative to the window.
void window_invalidate_rect(int32_t window, int32_t x, int32_t y, int32_t width, int32_t height);
// Pulls a window that lies wholly outside the margins back by the shortest correction.
void window_keep_visible(int32_t window);

// Queues an event for one window, delivered at the end of the current routing; fatal
// "twindow: post_event: fevents[] is full" for the 64th waiting event.
void post_event(int32_t window, const IoEvent *event);

// Dragging: moving a window by its title bar, capturing the pointer, a rubber band.
void window_drag_start(int32_t window);
void window_capture(int32_t window);
void window_rubber_band(int32_t window);
void window_drag_end(void);
int32_t window_drag_mode(void);  // 0 none, 1 moving, 2 capture, 3 rubber band
// While `window` holds the capture, key presses and releases go to it first, with 8
// added to c; a press it takes leaves the capture on, any other ends it as always. For
// carrying pieces with the keys; -1: no window.
void window_set_key_capture(int32_t window);
