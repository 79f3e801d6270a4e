// SDL2 under the kernel: the window, its input as PlatformInput records, message boxes.
#include "platform/platform.h"

#include <SDL2/SDL.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <poll.h>

#include "platform/log.h"
#include "platform/services.h"

static struct {
    SDL_Window *window;
    bool headless;
    bool sdl_up;
    int width, height;          // the frame buffer's size, fixed for the run
    int window_w, window_h;     // the window's size now, in window coordinates
    int mode_w, mode_h;         // the display mode the game started on
    char error[256];
} plat;

// The display's mode now; false when the system cannot say.
static bool display_mode(int *w, int *h)
{
    SDL_DisplayMode mode;
    int display = plat.window ? SDL_GetWindowDisplayIndex(plat.window) : 0;
    if (SDL_GetDesktopDisplayMode(display < 0 ? 0 : display, &mode) != 0)
        return false;
    *w = mode.w;
    *h = mode.h;
    return true;
}

int io_platform_init(const char *title, int width, int height, bool headless)
{
    // The kernel catches SIGINT and SIGTERM itself so that both end the game the
    // ordinary way, with state saved.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");  // a resized window shows the frame smoothly
    if (headless)
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER) != 0) {
        snprintf(plat.error, sizeof plat.error, "%s", SDL_GetError());
        return 0;
    }
    plat.sdl_up = true;
    const char *driver = SDL_GetCurrentVideoDriver();
    plat.headless = headless || (driver && strcmp(driver, "dummy") == 0);

    uint32_t flags = SDL_WINDOW_HIDDEN;
    if (width <= 0 || height <= 0) {
        SDL_DisplayMode mode;
        if (SDL_GetDesktopDisplayMode(0, &mode) != 0) {
            snprintf(plat.error, sizeof plat.error, "%s", SDL_GetError());
            return 0;
        }
        width = mode.w;
        height = mode.h;
        flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    } else {
        flags |= SDL_WINDOW_RESIZABLE;  // the frame keeps its size and is shown scaled
    }
    plat.window = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height, flags);
    if (!plat.window) {
        snprintf(plat.error, sizeof plat.error, "%s", SDL_GetError());
        return 0;
    }
    SDL_GetWindowSize(plat.window, &plat.width, &plat.height);
    plat.window_w = plat.width;
    plat.window_h = plat.height;
    if (!display_mode(&plat.mode_w, &plat.mode_h))
        plat.mode_w = plat.mode_h = 0;
    return 1;
}

void io_platform_done(void)
{
    if (plat.window)
        SDL_DestroyWindow(plat.window);
    plat.window = nullptr;
    if (plat.sdl_up)
        SDL_Quit();
    plat.sdl_up = false;
}

const char *io_platform_error(void)
{
    return plat.error;
}

bool io_platform_headless(void)
{
    return plat.headless;
}

SDL_Window *io_platform_window(void)
{
    return plat.window;
}

void io_platform_size(int *width, int *height)
{
    *width = plat.width;
    *height = plat.height;
}

IoRect io_platform_view(int out_w, int out_h)
{
    // The largest rectangle of the frame's proportions that fits, centred; the rest is
    // the black of the bars. An output of the frame's own size is shown 1:1.
    IoRect r = {0, 0, out_w, out_h};
    if (plat.width <= 0 || plat.height <= 0 || out_w <= 0 || out_h <= 0)
        return r;
    if ((int64_t)out_w * plat.height <= (int64_t)out_h * plat.width)
        r.height = (int32_t)((int64_t)out_w * plat.height / plat.width);
    else
        r.width = (int32_t)((int64_t)out_h * plat.width / plat.height);
    r.x = (out_w - r.width) / 2;
    r.y = (out_h - r.height) / 2;
    return r;
}

// A point of the window in frame coordinates; the bars map to the nearest edge.
static void window_to_frame(int32_t *x, int32_t *y)
{
    if (plat.window_w == plat.width && plat.window_h == plat.height)
        return;
    IoRect v = io_platform_view(plat.window_w, plat.window_h);
    int64_t fx = v.width > 0 ? ((int64_t)*x - v.x) * plat.width / v.width : 0;
    int64_t fy = v.height > 0 ? ((int64_t)*y - v.y) * plat.height / v.height : 0;
    *x = (int32_t)SDL_clamp(fx, 0, (int64_t)plat.width - 1);
    *y = (int32_t)SDL_clamp(fy, 0, (int64_t)plat.height - 1);
}

void io_platform_frame_to_window(int32_t *x, int32_t *y)
{
    if (plat.window_w == plat.width && plat.window_h == plat.height)
        return;
    // The centre of the frame pixel's area in the window.
    IoRect v = io_platform_view(plat.window_w, plat.window_h);
    *x = v.x + (int32_t)(((int64_t)*x * 2 + 1) * v.width / (2 * (int64_t)plat.width));
    *y = v.y + (int32_t)(((int64_t)*y * 2 + 1) * v.height / (2 * (int64_t)plat.height));
}

// A new window size: the frame is shown scaled into it from now on. Only a change of
// the display's mode is a display change; a window made larger or smaller (by the
// player, a tiling window manager, or a -screen size the desktop cannot hold) is not.
static InputKind window_resized(int w, int h)
{
    plat.window_w = w;
    plat.window_h = h;
    int mw, mh;
    if (plat.mode_w > 0 && display_mode(&mw, &mh) && (mw != plat.mode_w || mh != plat.mode_h)) {
        plat.mode_w = mw;
        plat.mode_h = mh;
        return InputKind::DisplayChange;
    }
    return InputKind::Expose;  // everything is shown again in its new place
}

int32_t io_double_click_time(void)
{
    const char *hint = SDL_GetHint(SDL_HINT_MOUSE_DOUBLE_CLICK_TIME);
    char *end = nullptr;
    long ms = hint ? strtol(hint, &end, 10) : 0;
    return hint && end != hint && *end == 0 && ms >= 1 && ms <= 5000 ? (int32_t)ms : 500;
}

int64_t io_platform_ticks(void)
{
    // The system's own clock, so it reads the same before the window system is up.
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (int64_t)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

void io_platform_show(void)
{
    if (plat.window)
        SDL_ShowWindow(plat.window);
}

void io_platform_raise(void)
{
    if (!plat.window)
        return;
    SDL_RestoreWindow(plat.window);
    SDL_RaiseWindow(plat.window);
}

void io_platform_minimize(void)
{
    if (plat.window)
        SDL_MinimizeWindow(plat.window);
}

static uint8_t mods_of(uint16_t mod)
{
    return (uint8_t)(((mod & KMOD_CTRL) ? INPUT_MOD_CTRL : 0) | ((mod & KMOD_ALT) ? INPUT_MOD_ALT : 0) |
                     ((mod & KMOD_SHIFT) ? INPUT_MOD_SHIFT : 0));
}

static uint8_t button_of(uint8_t sdl_button)
{
    switch (sdl_button) {
    case SDL_BUTTON_LEFT: return 1;
    case SDL_BUTTON_RIGHT: return 2;
    case SDL_BUTTON_MIDDLE: return 3;
    default: return 0;
    }
}

// The event type that carries a call to the main thread, registered once whichever
// thread asks first.
static uint32_t call_event_type(void)
{
    static std::once_flag once;
    static uint32_t type;
    std::call_once(once, [] { type = SDL_RegisterEvents(1); });
    return type;
}

int io_platform_call_main(void (*fn)(intptr_t arg), intptr_t arg)
{
    uint32_t type = call_event_type();
    if (type == (uint32_t)-1 || !SDL_WasInit(SDL_INIT_EVENTS))
        return 0;
    SDL_Event e = {};
    e.user.type = type;
    e.user.data1 = reinterpret_cast<void *>(fn);
    e.user.data2 = reinterpret_cast<void *>(arg);
    return SDL_PushEvent(&e) == 1 ? 1 : 0;
}

// Turns one SDL event into a PlatformInput; false for events the game does not hear.
static bool convert(const SDL_Event &e, PlatformInput *in)
{
    memset(in, 0, sizeof *in);
    if (e.type >= SDL_USEREVENT && e.type == call_event_type()) {
        // Work handed over by another thread runs here, on the main thread; it is no input.
        reinterpret_cast<void (*)(intptr_t)>(e.user.data1)(reinterpret_cast<intptr_t>(e.user.data2));
        return false;
    }
    switch (e.type) {
    case SDL_QUIT:
        in->kind = InputKind::Close;
        return true;
    case SDL_MOUSEMOTION:
        in->kind = InputKind::MouseMove;
        in->x = e.motion.x;
        in->y = e.motion.y;
        window_to_frame(&in->x, &in->y);
        in->button = (uint8_t)(((e.motion.state & SDL_BUTTON_LMASK) ? 1 : 0) |
                               ((e.motion.state & SDL_BUTTON_RMASK) ? 2 : 0));
        in->mods = mods_of((uint16_t)SDL_GetModState());
        return true;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        in->kind = e.type == SDL_MOUSEBUTTONDOWN ? InputKind::MouseDown : InputKind::MouseUp;
        in->x = e.button.x;
        in->y = e.button.y;
        window_to_frame(&in->x, &in->y);
        in->button = button_of(e.button.button);
        in->mods = mods_of((uint16_t)SDL_GetModState());
        return in->button != 0;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        in->kind = e.type == SDL_KEYDOWN ? InputKind::KeyDown : InputKind::KeyUp;
        in->key = e.key.keysym.sym;
        in->mods = mods_of(e.key.keysym.mod);
        return true;
    case SDL_TEXTINPUT:
        in->kind = InputKind::Text;
        snprintf(in->text, sizeof in->text, "%s", e.text.text);
        return true;
    case SDL_WINDOWEVENT:
        switch (e.window.event) {
        case SDL_WINDOWEVENT_FOCUS_GAINED: in->kind = InputKind::Activate; return true;
        case SDL_WINDOWEVENT_FOCUS_LOST: in->kind = InputKind::Deactivate; return true;
        case SDL_WINDOWEVENT_CLOSE: in->kind = InputKind::Close; return true;
        case SDL_WINDOWEVENT_EXPOSED: in->kind = InputKind::Expose; return true;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            if (e.window.data1 == plat.window_w && e.window.data2 == plat.window_h)
                return false;
            in->kind = window_resized(e.window.data1, e.window.data2);
            return true;
        default: return false;
        }
    case SDL_DROPFILE:
    case SDL_DROPTEXT: {
        // The dropped name is ours to free, whatever becomes of it. A path that does not
        // fit the input whole would name another file, so it is refused.
        bool taken = e.type == SDL_DROPFILE && e.drop.file && strlen(e.drop.file) < sizeof in->text;
        if (taken) {
            in->kind = InputKind::Drop;
            memcpy(in->text, e.drop.file, strlen(e.drop.file) + 1);
        } else if (e.type == SDL_DROPFILE && e.drop.file) {
            io_log("platform: a dropped file's path is too long (%zu bytes)\n", strlen(e.drop.file));
        }
        SDL_free(e.drop.file);
        return taken;
    }
    case SDL_DISPLAYEVENT:
        if (e.display.event != SDL_DISPLAYEVENT_CONNECTED && e.display.event != SDL_DISPLAYEVENT_DISCONNECTED)
            return false;
        in->kind = InputKind::DisplayChange;
        return true;
    default:
        return false;
    }
}

int io_platform_poll(PlatformInput *out)
{
    // The audio alone may have started SDL's event queue (no window in tests).
    if (!plat.sdl_up && !SDL_WasInit(SDL_INIT_EVENTS))
        return 0;
    SDL_Event e;
    while (SDL_PollEvent(&e))
        if (convert(e, out))
            return 1;
    return 0;
}

void io_platform_wait(int ms, int fd)
{
    if (ms <= 0)
        return;
    if (!plat.sdl_up || plat.headless) {
        // No window system to hear: sleep on the door alone (a signal cuts it short).
        pollfd p = {fd, POLLIN, 0};
        poll(&p, fd >= 0 ? 1 : 0, ms);
        return;
    }
    // The door is looked at between short waits; the event itself is left for
    // io_platform_poll to take.
    SDL_WaitEventTimeout(nullptr, fd >= 0 ? SDL_min(ms, 50) : ms);
}

// Before the window exists the environment says whether a display is wanted.
static bool no_display(void)
{
    if (plat.sdl_up)
        return plat.headless;
    const char *driver = getenv("SDL_VIDEODRIVER");
    return driver && strcmp(driver, "dummy") == 0;
}

int io_message_box(const char *title, const char *text, int buttons, int icon)
{
    if (!no_display()) {
        SDL_MessageBoxButtonData yes_no[2] = {
            {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "Yes"},
            {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "No"},
        };
        SDL_MessageBoxButtonData ok = {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT,
                                       1, "OK"};
        uint32_t flags = icon == IO_MB_ICON_STOP ? SDL_MESSAGEBOX_ERROR
                         : icon == IO_MB_ICON_WARNING ? SDL_MESSAGEBOX_WARNING
                                                      : SDL_MESSAGEBOX_INFORMATION;
        SDL_MessageBoxData box = {flags, plat.window, title ? title : "Error", text,
                                  buttons == IO_MB_YESNO ? 2 : 1, buttons == IO_MB_YESNO ? yes_no : &ok,
                                  nullptr};
        int answer = 0;
        if (SDL_ShowMessageBox(&box, &answer) == 0)
            return answer;
    }
    // Without a display the text still reaches a person reading the terminal.
    fprintf(stderr, "%s%s%s\n", title && *title ? title : "", title && *title ? ": " : "", text);
    return buttons == IO_MB_YESNO ? 0 : 1;
}

int32_t io_platform_key_from_name(const char *name)
{
    SDL_Keycode k = SDL_GetKeyFromName(name);
    return k == SDLK_UNKNOWN ? 0 : (int32_t)k;
}

const char *io_platform_key_name(int32_t key)
{
    return SDL_GetKeyName((SDL_Keycode)key);
}
