// Buttons: child windows that light up under the pointer, react to the left button and
// a hot key, and post TW_CLICKED. One call makes push buttons, check boxes, radio
// buttons in groups, and faces of a skin icon, a text, state pictures or a painter.
#pragma once
#include <cstdint>

struct Font;

enum ButtonStyle : uint32_t {
    BS_PUSH = 0x001,       // push button; notifies
    BS_TOGGLE = 0x002,     // check box: a click flips the state
    BS_RADIO = 0x004,      // radio button: a click clears its group and sets itself
    BS_TEXT = 0x008,       // shows its text (the window's title)
    BS_FAZE = 0x010,       // shows one of its state pictures "%s_%i.img"
    BS_OWNERDRAW = 0x020,  // its face is painted by a function given at creation
    BS_NOTIFY = 0x040,     // posts TW_CLICKED on a click
    BS_RGFIRST = 0x080,    // first button of a radio group
    BS_RGLAST = 0x100,     // last button of a radio group
    BS_ICON = 0x200,       // shows a skin icon, plain and (number + 1) lit
    BS_FRAME = 0x400,      // drawn on a skin frame with the button's frame flags
    BS_SHADOW = 0x800,     // casts a drop shadow
};

// Paints an owner-drawn face; called inside a frame with the button's handle.
typedef void (*ButtonDraw)(int32_t button);

// The button font and its colours: active, inactive, hover, shadow.
void button_init(const Font *font, uint32_t active, uint32_t inactive, uint32_t hover, uint32_t shadow);

// Registers a button. `text` is the text (BS_TEXT) or the state pictures' base name
// (BS_FAZE); a width or height of 0 takes the content's size. Fatal
// "button_register: next BS_RGFIRST for %s" for a group opened inside another,
// "button_register: where is for %s BS_RGFIRST?" for a radio button outside a group,
// "button.cpp: load_faze %s" without state picture 0.
int32_t button_register(int32_t parent, uint32_t style, int32_t x, int32_t y, int32_t width, int32_t height,
                        int32_t icon, const char *text, uint32_t frame, int32_t key);
// The same for BS_OWNERDRAW: the face is painted by `draw`.
int32_t button_register_drawn(int32_t parent, uint32_t style, int32_t x, int32_t y, int32_t width, int32_t height,
                              int32_t icon, ButtonDraw draw, uint32_t frame, int32_t key);

int32_t button_state(int32_t button);
void button_set_state(int32_t button, int32_t state);  // nothing for push buttons
int32_t button_enabled(int32_t button);
void button_enable(int32_t button, int32_t flag);
int32_t button_hover(int32_t button);
void button_set_frame(int32_t button, uint32_t frame);
void button_set_notify(int32_t button, int32_t window);
void button_set_key(int32_t button, int32_t key);
void button_group_clear(int32_t button);
// The index of the first set button of the group from `first`, -1 when none is set.
int32_t button_group_selected(int32_t first);
void button_group_select(int32_t first, int32_t index);
// The face index: (enabled ? 2 : 0) + (lit ? 1 : 0), lit being the hover for push
// buttons and the state for the others.
int32_t button_face(int32_t button);
