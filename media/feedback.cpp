// The force-feedback mouse library, looked up at run time so the game never depends on it.
#include "media/feedback.h"

#include <SDL2/SDL.h>
#include <cstdlib>
#include <dlfcn.h>

#include "platform/platform.h"
#include "platform/video.h"

typedef intptr_t (*FbInit)(void *instance, void *window);
typedef void (*FbVoid)(void);
typedef void (*FbPop)(int32_t value);
typedef void (*FbBoundSet)(const int32_t *rect, const int32_t *screen_size);

static struct {
    void *library;
    FbInit init;
    FbVoid done, bound_start, bound_stop, applause;
    FbPop pop;
    FbBoundSet bound_set;
    intptr_t active;  // what fbmouse_init returned; 0: off
} fb;

static const char *library_name(const char *variable, const char *fallback)
{
    const char *name = getenv(variable);
    return name && *name ? name : fallback;
}

static bool library_found(const char *name)
{
    void *h = dlopen(name, RTLD_LAZY | RTLD_LOCAL);
    if (h)
        dlclose(h);
    return h != nullptr;
}

bool fb_present(void)
{
    return library_found(library_name("PELMORA_FBMOUSE_LIB", "libfbmouse.so")) &&
           library_found(library_name("PELMORA_IFC21_LIB", "libifc21.so"));
}

bool fb_load(void)
{
    fb_unload();
    fb.library = dlopen(library_name("PELMORA_FBMOUSE_LIB", "libfbmouse.so"), RTLD_NOW | RTLD_LOCAL);
    if (!fb.library)
        return false;
    fb.init = (FbInit)dlsym(fb.library, "fbmouse_init");
    if (!fb.init) {
        dlclose(fb.library);
        fb = {};
        return false;
    }
    fb.done = (FbVoid)dlsym(fb.library, "fbmouse_done");
    fb.pop = (FbPop)dlsym(fb.library, "fbmouse_pop_start");
    fb.bound_set = (FbBoundSet)dlsym(fb.library, "fbmouse_bound_set");
    fb.bound_start = (FbVoid)dlsym(fb.library, "fbmouse_bound_start");
    fb.bound_stop = (FbVoid)dlsym(fb.library, "fbmouse_bound_stop");
    fb.applause = (FbVoid)dlsym(fb.library, "fbmouse_applause_start");
    return true;
}

void fb_unload(void)
{
    if (!fb.library)
        return;
    if (fb.active && fb.done)
        fb.done();
    dlclose(fb.library);
    fb = {};
}

void fb_enable(bool on)
{
    if (!fb.library || (fb.active != 0) == on)
        return;
    if (on) {
        fb.active = fb.init(nullptr, io_platform_window());
    } else {
        if (fb.done)
            fb.done();
        fb.active = 0;
    }
}

bool fb_active(void)
{
    return fb.active != 0;
}

void fb_pop(int32_t value)
{
    if (fb.active && fb.pop)
        fb.pop(value);
}

void fb_bound(int32_t x, int32_t y, int32_t width, int32_t height)
{
    if (!fb.active || !fb.bound_set)
        return;
    // The library wants the rectangle on the screen, not in the game's view.
    int wx = 0, wy = 0;
    if (SDL_Window *w = io_platform_window())
        SDL_GetWindowPosition(w, &wx, &wy);
    // Where the system cannot tell the screen's size, the game's own frame fills it; a
    // size of nothing would give the library a screen to divide by zero.
    SDL_DisplayMode mode = {};
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0 || mode.w <= 0 || mode.h <= 0) {
        mode.w = screen.width;
        mode.h = screen.height;
    }
    int32_t rect[4] = {x + wx, y + wy, x + wx + width, y + wy + height};
    int32_t size[2] = {mode.w, mode.h};
    fb.bound_set(rect, size);
}

void fb_bound_start(void)
{
    if (fb.active && fb.bound_start)
        fb.bound_start();
}

void fb_bound_stop(void)
{
    if (fb.active && fb.bound_stop)
        fb.bound_stop();
}

void fb_applause(void)
{
    if (fb.active && fb.applause)
        fb.applause();
}
