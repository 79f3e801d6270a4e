// Kernel events: the platform's input turned into one small record, delivered to one
// handler, with the frame bracket around every IO_FRAME.
#pragma once
#include <cstdint>

// The arguments are pointer-sized so that IO_PAINT and IO_TEXT can carry addresses on
// 64-bit systems; every other argument is a 32-bit value.
struct IoEvent {
    int32_t code;
    intptr_t a, b, c;
};

enum IoEventCode : int32_t {
    IO_FRAME = 1,        // every idle turn, and twice around a window repaint
    IO_TIMER = 2,        // a = game time in ms, a multiple of the tick period
    IO_PAINT = 3,        // a = address of an IoRect of the view to redraw
    IO_TEXT = 4,         // a = 0, b = address of a box name handed in by another program
    IO_MOUSE_DOWN = 10,  // a = x, b = y, c = button (1 left, 2 right) + 4 with Ctrl
    IO_MOUSE_UP = 11,    // as IO_MOUSE_DOWN; also a release missed outside the window
    IO_MOUSE_MOVE = 13,  // a = x, b = y
    IO_KEY_DOWN = 20,    // a = key code + IO_VK_CTRL with Ctrl; repeats included
    IO_KEY_UP = 21,      // as IO_KEY_DOWN
    IO_CHAR = 22,        // a = character 32 to 127, only with IO_MASK_CHAR
    IO_INTERRUPT = 23,   // activation change, or a system key (Alt combination, F10)
};

enum IoMouseButton : int32_t {
    IO_BUTTON_LEFT = 1,
    IO_BUTTON_RIGHT = 2,
    IO_BUTTON_CTRL = 4,
};

constexpr int32_t IO_VK_CTRL = 0x10000;

enum IoKeyCode : int32_t {
    IO_VK_SPACE = 32,
    IO_VK_PLUS = 43,  // keypad +
    IO_VK_MINUS = 45, // keypad -
    IO_VK_0 = 48,     // 0 to 9 (and keypad 0 to 9) are 48 to 57
    IO_VK_A = 65,     // A to Z are 65 to 90, upper case whatever the shift state
    IO_VK_LEFT = 128,
    IO_VK_RIGHT = 129,
    IO_VK_UP = 130,
    IO_VK_DOWN = 131,
    IO_VK_PAGEUP = 132,
    IO_VK_PAGEDOWN = 133,
    IO_VK_BACKSPACE = 134,
    IO_VK_ESCAPE = 135,
    IO_VK_ENTER = 136,
    IO_VK_TAB = 137,
    IO_VK_DELETE = 138,
    IO_VK_F1 = 140,   // F1 to F12 are 140 to 151
    IO_VK_F12 = 151,
};

// Bits of KernelConfig::input_mask: which inputs are delivered at all.
enum IoInputMask : uint32_t {
    IO_MASK_LEFT_DOWN = 0x0020,
    IO_MASK_RIGHT_DOWN = 0x0040,
    IO_MASK_LEFT_UP = 0x0080,   // also the synthesised left release
    IO_MASK_RIGHT_UP = 0x0100,  // also the synthesised right release
    IO_MASK_KEY_DOWN = 0x0800,
    IO_MASK_KEY_UP = 0x1000,
    IO_MASK_CHAR = 0x2000,
    IO_MASK_FEEDBACK = 0x4000,  // force-feedback mouse present
};
constexpr uint32_t IO_MASK_DEFAULT = 0x19F0;

struct IoRect {
    int32_t x, y, width, height;
};

// Latest mouse state, readable by anyone: position in view pixels, and the buttons
// (IO_BUTTON_LEFT | IO_BUTTON_RIGHT | IO_BUTTON_CTRL) as of the last button event.
extern int32_t io_mouse_x, io_mouse_y, io_mouse_buttons;
// The modifiers (INPUT_MOD_*) held at the latest key press or release, for keys whose
// meaning a modifier widens (Shift for larger steps).
extern int32_t io_key_mods;

// Delivers one event: dropped until start-up is complete; an IO_FRAME is bracketed by
// io_video_begin_paint / io_video_end_paint; a quit asked for by the handler closes
// the game's window once the handler has returned.
void io_post_event(int32_t code, intptr_t a, intptr_t b, intptr_t c);

// Asks for the game to end once the event being delivered has been handled (the
// kernel's kernel_quit).
void io_request_quit(void);

// Where io_post_event delivers: the kernel's handler, set once the kernel runs.
typedef void (*IoEventHandler)(IoEvent *event);
void io_set_event_handler(IoEventHandler handler);

// A listener that sees every delivered event before the kernel's handler does (tests
// and the input journal's screenshots use it); null removes it.
typedef void (*IoEventTap)(const IoEvent *event);
void io_set_event_tap(IoEventTap tap);

// Platform input as the window system reports it, before translation. The input
// journal records and replays exactly these.
enum class InputKind : uint8_t {
    MouseMove,      // x, y, buttons held (IO_BUTTON_LEFT | IO_BUTTON_RIGHT)
    MouseDown,      // x, y, button (1 left, 2 right, 3 middle), mods
    MouseUp,        // as MouseDown
    KeyDown,        // key (platform key code), mods, repeat
    KeyUp,          // key, mods
    Text,           // text typed (UTF-8)
    Activate,       // the game became the active application
    Deactivate,     // another application became active
    Close,          // the player closed the window (or the session asked it to end)
    Expose,         // the window system asks for the whole view to be repainted
    DisplayChange,  // the display resolution changed; answer = the player's Yes (1) / No (0)
    Message,        // another program handed in a box name (text)
    Forward,        // a second start asked this game to come to the front
    Drop,           // a file was dropped on the game's window (text: its path)
};

enum InputMods : uint8_t {
    INPUT_MOD_CTRL = 1,
    INPUT_MOD_ALT = 2,
    INPUT_MOD_SHIFT = 4,
};

constexpr int INPUT_TEXT_MAX = 260;

struct PlatformInput {
    InputKind kind;
    uint8_t mods;
    uint8_t button;   // MouseDown/MouseUp: 1 left, 2 right, 3 middle; MouseMove: buttons held
    uint8_t answer;   // DisplayChange: 1 when the player chose to exit
    int32_t x, y;     // window coordinates, may lie outside the window
    int32_t key;      // platform key code
    char text[INPUT_TEXT_MAX];
};

// Translates one platform input into kernel events, as the view window's message
// handling does: masks, Ctrl bits, the key table, clamping, synthesised releases.
// Window-level inputs (close, activation, expose, ...) are handled by the kernel and
// passed in here only by it.
void io_translate_input(const PlatformInput *in);

// The kernel key code for a platform key code, or 0 when the key posts nothing.
int32_t io_key_code(int32_t platform_key);

// Forgets the button latches (a new session or test starts from a clean state).
void io_input_reset(void);
