// SDL2 under the kernel: the window, its input as PlatformInput records, message boxes.
#include "kernel/platform.h"

#include <SDL2/SDL.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>

static struct {
    SDL_Window *window;
    bool headless;
    bool sdl_up;
    int width, height;  // the frame buffer's size; later size changes are display changes
    char error[256];
} plat;

int io_platform_init(const char *title, int width, int height, bool headless)
{
    // The kernel catches SIGINT and SIGTERM itself so that both end the game the
    // ordinary way, with state saved.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
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
    }
    plat.window = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height, flags);
    if (!plat.window) {
        snprintf(plat.error, sizeof plat.error, "%s", SDL_GetError());
        return 0;
    }
    SDL_GetWindowSize(plat.window, &plat.width, &plat.height);
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

int64_t io_platform_ticks(void)
{
    return (int64_t)SDL_GetTicks64();
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

// Turns one SDL event into a PlatformInput; false for events the game does not hear.
static bool convert(const SDL_Event &e, PlatformInput *in)
{
    memset(in, 0, sizeof *in);
    switch (e.type) {
    case SDL_QUIT:
        in->kind = InputKind::Close;
        return true;
    case SDL_MOUSEMOTION:
        in->kind = InputKind::MouseMove;
        in->x = e.motion.x;
        in->y = e.motion.y;
        in->button = (uint8_t)(((e.motion.state & SDL_BUTTON_LMASK) ? 1 : 0) |
                               ((e.motion.state & SDL_BUTTON_RMASK) ? 2 : 0));
        in->mods = mods_of((uint16_t)SDL_GetModState());
        return true;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        in->kind = e.type == SDL_MOUSEBUTTONDOWN ? InputKind::MouseDown : InputKind::MouseUp;
        in->x = e.button.x;
        in->y = e.button.y;
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
            // The window keeps the size it was made with unless the display changed under it.
            if (e.window.data1 == plat.width && e.window.data2 == plat.height)
                return false;
            in->kind = InputKind::DisplayChange;
            return true;
        default: return false;
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
    if (!plat.sdl_up)
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
