// The frame buffer, the paint list and the frame bracket, with the two SDL drivers:
// a streaming texture drawn by the renderer, or the window's own surface.
#include "platform/video.h"

#include <SDL2/SDL.h>
#include <algorithm>
#include <cstring>

#include "platform/events.h"
#include "platform/files.h"
#include "platform/loop.h"
#include "platform/log.h"
#include "platform/memory.h"
#include "platform/platform.h"

Screen screen;
PaintList paint_list;

static struct {
    const VideoDriver *driver;
    uint8_t *pixels;  // bottom-up rows, row_size bytes apart; the last row first
    int32_t row_size;
    int cursor_kind;
    SDL_Cursor *cursors[3];
    bool locked;
    int lock_return_x, lock_return_y;  // where the cursor goes back after mouse-look
    // streaming-texture driver
    SDL_Renderer *renderer;
    SDL_Texture *texture;
    // window-surface driver, when the window is not the frame's size: the frame in the
    // window's pixel format, scaled from there
    SDL_Surface *scaled;
} vid;

static SDL_Rect sdl_rect(const IoRect &r)
{
    return {r.x, r.y, r.width, r.height};
}

int32_t io_video_row_size(int32_t width, int32_t depth)
{
    return ((width * depth + 31) / 32) * 4;
}

uint8_t *io_video_pixels(void)
{
    return vid.pixels;
}

// Both drivers hand out the same buffer; only the way it reaches the window differs.
static void begin_frame_bottom_up(void)
{
    screen.buf = vid.pixels + (size_t)(screen.height - 1) * vid.row_size;
    screen.pitch = -vid.row_size;
}

static int check_depth_any(int depth)
{
    (void)depth;  // today's displays are all true colour
    return 1;
}

static int open_nothing(void)
{
    return 1;
}

// Clips a listed rectangle to the buffer and to a target of width x height; false
// when nothing is left.
static bool clip_rect(const PaintRect &r, int width, int height, SDL_Rect *out)
{
    out->x = SDL_max(r.left, 0);
    out->y = SDL_max(r.top, 0);
    out->w = SDL_min(SDL_min(r.right, screen.width), width) - out->x;
    out->h = SDL_min(SDL_min(r.bottom, screen.height), height) - out->y;
    return out->w > 0 && out->h > 0;
}

// Converts the pixels of a clipped rectangle, top row first, into `dst` (the target's
// memory at the rectangle's corner) of pixel format `format`.
static void copy_rect(const SDL_Rect &c, uint8_t *dst, int dst_pitch, uint32_t format)
{
    for (int y = c.y; y < c.y + c.h; y++) {
        const uint8_t *src = vid.pixels + (size_t)(screen.height - 1 - y) * vid.row_size + (size_t)c.x * 3;
        SDL_ConvertPixels(c.w, 1, SDL_PIXELFORMAT_BGR24, src, vid.row_size, format, dst, dst_pitch);
        dst += dst_pitch;
    }
}

// --- streaming-texture driver ---

static int texture_create(void)
{
    vid.renderer = SDL_CreateRenderer(io_platform_window(), -1, 0);
    if (!vid.renderer)
        vid.renderer = SDL_CreateRenderer(io_platform_window(), -1, SDL_RENDERER_SOFTWARE);
    if (!vid.renderer)
        io_error("io_video_create: no renderer (%s)\n", SDL_GetError());
    vid.texture = SDL_CreateTexture(vid.renderer, SDL_PIXELFORMAT_XRGB8888, SDL_TEXTUREACCESS_STREAMING,
                                    screen.width, screen.height);
    if (!vid.texture)
        io_error("io_video_create: no texture (%s)\n", SDL_GetError());
    return 1;
}

static void texture_present(const PaintList *list)
{
    if (list->count == 0)
        return;
    for (int i = 0; i < list->count; i++) {
        SDL_Rect c;
        if (!clip_rect(list->rects[i], screen.width, screen.height, &c))
            continue;
        void *dst;
        int pitch;
        if (SDL_LockTexture(vid.texture, &c, &dst, &pitch) != 0)
            continue;
        copy_rect(c, (uint8_t *)dst, pitch, SDL_PIXELFORMAT_XRGB8888);  // locked at the corner
        SDL_UnlockTexture(vid.texture);
    }
    int out_w, out_h;
    if (SDL_GetRendererOutputSize(vid.renderer, &out_w, &out_h) != 0)
        out_w = screen.width, out_h = screen.height;
    SDL_Rect view = sdl_rect(io_platform_view(out_w, out_h));
    if (view.w != out_w || view.h != out_h) {
        SDL_SetRenderDrawColor(vid.renderer, 0, 0, 0, 255);
        SDL_RenderClear(vid.renderer);  // the bars
    }
    SDL_RenderCopy(vid.renderer, vid.texture, nullptr, &view);
    SDL_RenderPresent(vid.renderer);
}

static void texture_close(void)
{
    if (vid.texture)
        SDL_DestroyTexture(vid.texture);
    if (vid.renderer)
        SDL_DestroyRenderer(vid.renderer);
    vid.texture = nullptr;
    vid.renderer = nullptr;
}

// --- window-surface driver ---

static int surface_create(void)
{
    if (!SDL_GetWindowSurface(io_platform_window()))
        io_error("io_video_create: no window surface (%s)\n", SDL_GetError());
    return 1;
}

// A window of another size than the frame: the listed rectangles go into a copy of the
// frame in the window's format, and the whole of it is scaled into the window.
static void surface_present_scaled(SDL_Surface *s, const PaintList *list)
{
    if (vid.scaled && vid.scaled->format->format != s->format->format) {
        SDL_FreeSurface(vid.scaled);
        vid.scaled = nullptr;
    }
    bool fresh = !vid.scaled;
    if (fresh)
        vid.scaled = SDL_CreateRGBSurfaceWithFormat(0, screen.width, screen.height, 32, s->format->format);
    if (!vid.scaled)
        return;
    PaintList all = {};
    if (fresh) {
        all.count = 1;
        all.rects[0] = {0, 0, screen.width, screen.height};
        list = &all;
    }
    SDL_LockSurface(vid.scaled);
    for (int i = 0; i < list->count; i++) {
        SDL_Rect c;
        if (!clip_rect(list->rects[i], screen.width, screen.height, &c))
            continue;
        uint8_t *dst = (uint8_t *)vid.scaled->pixels + (size_t)c.y * vid.scaled->pitch +
                       (size_t)c.x * vid.scaled->format->BytesPerPixel;
        copy_rect(c, dst, vid.scaled->pitch, vid.scaled->format->format);
    }
    SDL_UnlockSurface(vid.scaled);
    SDL_Rect view = sdl_rect(io_platform_view(s->w, s->h));
    SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, 0, 0, 0));
    SDL_BlitScaled(vid.scaled, nullptr, s, &view);
    SDL_UpdateWindowSurface(io_platform_window());
}

static void surface_present(const PaintList *list)
{
    if (list->count == 0)
        return;
    SDL_Surface *s = SDL_GetWindowSurface(io_platform_window());
    if (!s)
        return;
    if (s->w != screen.width || s->h != screen.height) {
        surface_present_scaled(s, list);
        return;
    }
    SDL_Rect rects[IO_PAINT_LIST_MAX];
    int n = 0;
    SDL_LockSurface(s);
    for (int i = 0; i < list->count; i++) {
        SDL_Rect c;
        if (!clip_rect(list->rects[i], s->w, s->h, &c))
            continue;
        uint8_t *dst = (uint8_t *)s->pixels + (size_t)c.y * s->pitch + (size_t)c.x * s->format->BytesPerPixel;
        copy_rect(c, dst, s->pitch, s->format->format);
        rects[n++] = c;
    }
    SDL_UnlockSurface(s);
    if (n)
        SDL_UpdateWindowSurfaceRects(io_platform_window(), rects, n);
}

static void surface_close(void)
{
    if (vid.scaled)
        SDL_FreeSurface(vid.scaled);
    vid.scaled = nullptr;
}

static const VideoDriver driver_drawdib = {
    "DrawDib", open_nothing, texture_close, check_depth_any, texture_create, begin_frame_bottom_up,
    texture_present,
};
static const VideoDriver driver_windows = {
    "Windows", open_nothing, surface_close, check_depth_any, surface_create, begin_frame_bottom_up,
    surface_present,
};

int io_video_select_driver(int32_t id)
{
    vid.driver = id == IO_VIDEO_DRAWDIB ? &driver_drawdib : &driver_windows;
    io_log("video driver: %s\n", vid.driver->name);
    return vid.driver->open();
}

void io_video_set_driver(const VideoDriver *driver)
{
    vid.driver = driver;
}

const VideoDriver *io_video_driver(void)
{
    return vid.driver;
}

int io_video_create(int32_t width, int32_t height, int32_t depth)
{
    screen = {};
    screen.width = width;
    screen.height = height;
    screen.depth = depth;
    screen.bytes_per_pixel = (depth + 4) / 8;
    vid.row_size = io_video_row_size(width, depth);
    size_t bytes = (size_t)vid.row_size * (size_t)height;
    vid.pixels = (uint8_t *)io_mem_alloc(bytes);
    memset(vid.pixels, 0, bytes);
    if (vid.driver && vid.driver->create)
        vid.driver->create();
    return 1;
}

void io_video_close(void)
{
    if (vid.driver && vid.driver->close)
        vid.driver->close();
    for (SDL_Cursor *&c : vid.cursors) {
        if (c)
            SDL_FreeCursor(c);
        c = nullptr;
    }
    io_mem_free(vid.pixels);
    vid.pixels = nullptr;
    screen.buf = nullptr;
}

void io_video_begin_paint(void)
{
    if (screen.buf)
        io_error("io_video_begin_paint: screen.buf is not NULL\n");
    vid.driver->begin_frame();
    paint_list.count = 0;
}

void io_video_end_paint(void)
{
    if (!screen.buf)
        io_error("io_video_end_paint: screen.buf is NULL\n");
    vid.driver->present(&paint_list);
    screen.buf = nullptr;
}

void io_video_invalidate(int32_t x, int32_t y, int32_t width, int32_t height)
{
    if (paint_list.count >= IO_PAINT_LIST_MAX)
        return;  // the area reaches the screen when it is next redrawn
    paint_list.rects[paint_list.count++] = {x, y, x + width, y + height};
}

void io_video_refresh(void)
{
    io_pump_now();
    io_post_event(IO_FRAME, 0, 0, 0);
}

// --- cursors and the mouse ---

void io_set_cursor(int kind)
{
    vid.cursor_kind = kind;
    if (io_platform_headless() || !io_platform_window())
        return;
    // The game's own cursor comes from the data pack; until it is loaded the arrow serves.
    int slot = kind == IO_CURSOR_WAIT ? 1 : kind == IO_CURSOR_GAME ? 2 : 0;
    if (!vid.cursors[slot]) {
        SDL_SystemCursor sys = slot == 1 ? SDL_SYSTEM_CURSOR_WAIT : SDL_SYSTEM_CURSOR_ARROW;
        vid.cursors[slot] = SDL_CreateSystemCursor(sys);
    }
    if (vid.cursors[slot])
        SDL_SetCursor(vid.cursors[slot]);
}

void io_set_game_cursor(const uint32_t *argb, int width, int height, int hot_x, int hot_y)
{
    SDL_Surface *sf = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ARGB8888);
    if (!sf)
        return;  // the arrow serves
    for (int y = 0; y < height; y++)
        memcpy((uint8_t *)sf->pixels + y * sf->pitch, argb + (size_t)y * width, (size_t)width * 4);
    SDL_Cursor *cursor = SDL_CreateColorCursor(sf, hot_x, hot_y);
    SDL_FreeSurface(sf);
    if (!cursor)
        return;
    if (vid.cursors[2])
        SDL_FreeCursor(vid.cursors[2]);
    vid.cursors[2] = cursor;
    if (vid.cursor_kind == IO_CURSOR_GAME)
        SDL_SetCursor(cursor);
}

int io_get_cursor(void)
{
    return vid.cursor_kind;
}

void io_mouse_lock(int32_t x, int32_t y, int32_t width, int32_t height)
{
    SDL_Window *w = io_platform_window();
    if (!w)
        return;
    if (!vid.locked)
        SDL_GetMouseState(&vid.lock_return_x, &vid.lock_return_y);
    vid.locked = true;
    SDL_ShowCursor(SDL_DISABLE);
    // The rectangle is the frame's; a scaled window holds it at another place and size.
    int32_t left = x, top = y, right = x + width, bottom = y + height, cx = x + width / 2, cy = y + height / 2;
    io_platform_frame_to_window(&left, &top);
    io_platform_frame_to_window(&right, &bottom);
    io_platform_frame_to_window(&cx, &cy);
    SDL_Rect r = {left, top, std::max(right - left, 1), std::max(bottom - top, 1)};
    SDL_SetWindowMouseRect(w, &r);
    SDL_WarpMouseInWindow(w, cx, cy);
}

void io_mouse_unlock(void)
{
    SDL_Window *w = io_platform_window();
    if (!w || !vid.locked)
        return;
    vid.locked = false;
    SDL_SetWindowMouseRect(w, nullptr);
    SDL_WarpMouseInWindow(w, vid.lock_return_x, vid.lock_return_y);
    SDL_ShowCursor(SDL_ENABLE);
}

void io_mouse_set_pos(int32_t x, int32_t y)
{
    if (SDL_Window *w = io_platform_window()) {
        io_platform_frame_to_window(&x, &y);
        SDL_WarpMouseInWindow(w, x, y);
    }
}

// --- screenshots ---

static void put_le(uint8_t *p, uint32_t v, int n)
{
    for (int i = 0; i < n; i++)
        p[i] = (uint8_t)(v >> (8 * i));
}

int io_screenshot(char *name_out, int name_size)
{
    if (!vid.pixels)
        return 0;
    make_dir("sfiles");
    make_dir("sfiles/shots");
    // The first free number, so a replayed session names its shots the same way.
    char name[64];
    int n = 1;
    for (; n < 100000; n++) {
        snprintf(name, sizeof name, "sfiles/shots/shot%04d.bmp", n);
        if (!file_exists(name))
            break;
    }
    // The buffer already is a bottom-up 24-bit bitmap with padded rows, so the file is
    // a header followed by the pixels as they lie.
    uint32_t image_size = (uint32_t)vid.row_size * (uint32_t)screen.height;
    uint8_t head[54] = {'B', 'M'};
    put_le(head + 2, 54 + image_size, 4);
    put_le(head + 10, 54, 4);
    put_le(head + 14, 40, 4);
    put_le(head + 18, (uint32_t)screen.width, 4);
    put_le(head + 22, (uint32_t)screen.height, 4);
    put_le(head + 26, 1, 2);
    put_le(head + 28, 24, 2);
    put_le(head + 34, image_size, 4);
    SafeFile sf;
    if (!safe_file_open(&sf, name))
        return 0;
    if (fwrite(head, 1, sizeof head, sf.f) != sizeof head || fwrite(vid.pixels, 1, image_size, sf.f) != image_size) {
        safe_file_abort(&sf);
        return 0;
    }
    if (!safe_file_commit(&sf))
        return 0;
    snprintf(name_out, (size_t)name_size, "%s", name);
    return 1;
}
