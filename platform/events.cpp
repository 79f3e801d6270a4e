// Event delivery and the translation of window-system input into kernel events.
#include "platform/events.h"

#include <SDL2/SDL_keycode.h>

#include "platform/config.h"
#include "platform/loop.h"
#include "platform/log.h"
#include "platform/video.h"

int32_t io_mouse_x, io_mouse_y, io_mouse_buttons;
int32_t io_key_mods;

static struct {
    uint32_t quit_request;  // bit 0: a handler asked the game to end
    IoEventTap tap;
    IoEventHandler handler;  // the kernel's, which hands events to the windows
    bool left_latch;        // the left button went down over the view and no release came yet
    bool right_latch;
    IoRect paint_rect;      // the rectangle an IO_PAINT points at while it is delivered
} ev;

void io_request_quit(void)
{
    ev.quit_request |= 1;
}

void io_set_event_handler(IoEventHandler handler)
{
    ev.handler = handler;
}

void io_set_event_tap(IoEventTap tap)
{
    ev.tap = tap;
}

void io_post_event(int32_t code, intptr_t a, intptr_t b, intptr_t c)
{
    if (!io_events_enabled())
        return;
    if (code == IO_FRAME)
        io_video_begin_paint();
    // A handler may pump events (a dialog, a refresh) after asking to quit; the nested
    // events start with a clear request of their own and the outer one is kept.
    uint32_t outer = ev.quit_request;
    ev.quit_request = 0;
    IoEvent event = {code, a, b, c};
    if (ev.tap)
        ev.tap(&event);
    if (ev.handler)
        ev.handler(&event);
    if (code == IO_FRAME)
        io_video_end_paint();
    if (ev.quit_request & 1)
        io_post_close();
    ev.quit_request |= outer;
}


// Platform key codes of the keys the game hears, with the kernel code each posts.
struct KeyMap {
    int32_t platform;
    int32_t code;
};
static constexpr KeyMap key_table[] = {
    {SDLK_LEFT, IO_VK_LEFT},         {SDLK_RIGHT, IO_VK_RIGHT},
    {SDLK_UP, IO_VK_UP},             {SDLK_DOWN, IO_VK_DOWN},
    {SDLK_PAGEUP, IO_VK_PAGEUP},     {SDLK_PAGEDOWN, IO_VK_PAGEDOWN},
    {SDLK_BACKSPACE, IO_VK_BACKSPACE}, {SDLK_ESCAPE, IO_VK_ESCAPE},
    {SDLK_RETURN, IO_VK_ENTER},      {SDLK_KP_ENTER, IO_VK_ENTER},
    {SDLK_TAB, IO_VK_TAB},           {SDLK_DELETE, IO_VK_DELETE},
    {SDLK_SPACE, IO_VK_SPACE},
    {SDLK_KP_PLUS, IO_VK_PLUS},      {SDLK_KP_MINUS, IO_VK_MINUS},
    {SDLK_KP_0, IO_VK_0 + 0}, {SDLK_KP_1, IO_VK_0 + 1}, {SDLK_KP_2, IO_VK_0 + 2},
    {SDLK_KP_3, IO_VK_0 + 3}, {SDLK_KP_4, IO_VK_0 + 4}, {SDLK_KP_5, IO_VK_0 + 5},
    {SDLK_KP_6, IO_VK_0 + 6}, {SDLK_KP_7, IO_VK_0 + 7}, {SDLK_KP_8, IO_VK_0 + 8},
    {SDLK_KP_9, IO_VK_0 + 9},
    {SDLK_F1, IO_VK_F1 + 0},  {SDLK_F2, IO_VK_F1 + 1},  {SDLK_F3, IO_VK_F1 + 2},
    {SDLK_F4, IO_VK_F1 + 3},  {SDLK_F5, IO_VK_F1 + 4},  {SDLK_F6, IO_VK_F1 + 5},
    {SDLK_F7, IO_VK_F1 + 6},  {SDLK_F8, IO_VK_F1 + 7},  {SDLK_F9, IO_VK_F1 + 8},
    {SDLK_F10, IO_VK_F1 + 9}, {SDLK_F11, IO_VK_F1 + 10}, {SDLK_F12, IO_VK_F1 + 11},
};

int32_t io_key_code(int32_t key)
{
    if (key >= SDLK_a && key <= SDLK_z)
        return IO_VK_A + (key - SDLK_a);  // letters are upper case whatever the shift
    if (key >= SDLK_0 && key <= SDLK_9)
        return IO_VK_0 + (key - SDLK_0);
    for (const KeyMap &k : key_table)
        if (k.platform == key)
            return k.code;
    return 0;
}

void io_input_reset(void)
{
    ev.left_latch = ev.right_latch = false;
    io_mouse_x = io_mouse_y = io_mouse_buttons = 0;
    io_key_mods = 0;
}

// Positions arrive as the low 16 bits of the message, read unsigned, so a captured
// mouse left of or above the view reads as a huge value and lands on the far edge.
static int32_t clamp_coord(int32_t v, int32_t limit)
{
    int32_t u = (int32_t)(uint16_t)v;
    return u >= limit ? limit - 1 : u;
}

static void store_position(const PlatformInput *in)
{
    io_mouse_x = clamp_coord(in->x, screen.width);
    io_mouse_y = clamp_coord(in->y, screen.height);
}

static int32_t ctrl_bit(const PlatformInput *in)
{
    return (in->mods & INPUT_MOD_CTRL) ? IO_BUTTON_CTRL : 0;
}

static void store_buttons(const PlatformInput *in)
{
    io_mouse_buttons = (ev.left_latch ? IO_BUTTON_LEFT : 0) | (ev.right_latch ? IO_BUTTON_RIGHT : 0) |
                       ctrl_bit(in);
}

static void translate_button(const PlatformInput *in, bool down)
{
    bool left = in->button == IO_BUTTON_LEFT;
    if (!left && in->button != IO_BUTTON_RIGHT)
        return;  // the middle button is not part of the game
    (left ? ev.left_latch : ev.right_latch) = down;
    store_position(in);
    store_buttons(in);
    uint32_t gate = down ? (left ? IO_MASK_LEFT_DOWN : IO_MASK_RIGHT_DOWN)
                         : (left ? IO_MASK_LEFT_UP : IO_MASK_RIGHT_UP);
    if (kernel_config.input_mask & gate)
        io_post_event(down ? IO_MOUSE_DOWN : IO_MOUSE_UP, io_mouse_x, io_mouse_y, in->button + ctrl_bit(in));
}

static void translate_move(const PlatformInput *in)
{
    // A release outside the window never reaches us; the first move that shows the
    // button up stands in for it, so no piece stays stuck to the mouse.
    struct { bool *latch; uint32_t gate; uint8_t button; } sides[2] = {
        {&ev.left_latch, IO_MASK_LEFT_UP, IO_BUTTON_LEFT},
        {&ev.right_latch, IO_MASK_RIGHT_UP, IO_BUTTON_RIGHT},
    };
    for (auto &s : sides) {
        if ((kernel_config.input_mask & s.gate) && *s.latch && !(in->button & s.button)) {
            *s.latch = false;
            store_position(in);
            store_buttons(in);
            io_post_event(IO_MOUSE_UP, io_mouse_x, io_mouse_y, s.button + ctrl_bit(in));
        }
    }
    store_position(in);
    io_post_event(IO_MOUSE_MOVE, io_mouse_x, io_mouse_y, 0);
}

static void translate_key(const PlatformInput *in, bool down)
{
    io_key_mods = in->mods;
    // Alt combinations and F10 are system keys: the game only hears that it was
    // interrupted, and the window system keeps Alt+F4 and friends.
    if ((in->mods & INPUT_MOD_ALT) || in->key == SDLK_F10) {
        if (down)
            io_post_event(IO_INTERRUPT, 0, 0, 0);
        return;
    }
    if (down && in->key == SDLK_F12 && io_events_enabled()) {
        char name[IO_PATH_MAX];
        if (io_screenshot(name, sizeof name))
            io_log("screenshot: %s\n", name);
    }
    if (!(kernel_config.input_mask & (down ? IO_MASK_KEY_DOWN : IO_MASK_KEY_UP)))
        return;
    int32_t code = io_key_code(in->key);
    if (code == 0)
        return;
    if (in->mods & INPUT_MOD_CTRL)
        code += IO_VK_CTRL;
    io_post_event(down ? IO_KEY_DOWN : IO_KEY_UP, code, 0, 0);
}

static void translate_text(const PlatformInput *in)
{
    if (!(kernel_config.input_mask & IO_MASK_CHAR))
        return;
    for (const char *p = in->text; *p; p++) {
        unsigned char ch = (unsigned char)*p;
        if (ch >= 32 && ch < 128)
            io_post_event(IO_CHAR, ch, 0, 0);
    }
}

static void translate_expose(void)
{
    // A repaint is a frame of its own: whatever is half drawn is finished, the whole
    // view is marked, and the next frame puts it on screen.
    io_post_event(IO_FRAME, 0, 0, 0);
    ev.paint_rect = {0, 0, screen.width, screen.height};
    io_post_event(IO_PAINT, (intptr_t)&ev.paint_rect, 0, 0);
    io_post_event(IO_FRAME, 0, 0, 0);
}

void io_translate_input(const PlatformInput *in)
{
    switch (in->kind) {
    case InputKind::MouseMove: translate_move(in); break;
    case InputKind::MouseDown: translate_button(in, true); break;
    case InputKind::MouseUp: translate_button(in, false); break;
    case InputKind::KeyDown: translate_key(in, true); break;
    case InputKind::KeyUp: translate_key(in, false); break;
    case InputKind::Text: translate_text(in); break;
    case InputKind::Expose: translate_expose(); break;
    default: break;  // window-level inputs belong to the kernel
    }
}
