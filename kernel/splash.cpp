// The splash, about and credits windows. The game has one window, so these are drawn by
// us straight into the frame buffer, centred on the screen, each in a frame of its own;
// the about and credits windows run their own input loops until the player closes them.
#include "kernel/splash.h"

#include <SDL2/SDL_keycode.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "image/cache.h"
#include "image/img.h"
#include "image/jpeg.h"
#include "platform/events.h"
#include "platform/gdi.h"
#include "res/gdi_text.h"
#include "kernel/kernel.h"
#include "platform/platform.h"
#include "platform/services.h"
#include "platform/video.h"
#include "res/datapack.h"
#include "res/lang.h"
#include "ui/text.h"

enum { SPLASH_MODE_SPLASH = 0, SPLASH_MODE_ABOUT = 1 };

constexpr const char *SPLASH_PICTURE = "img/intro.jpg";
constexpr const char *SPLASH_LOGO = "img/lttl_pzzl.img";
constexpr const char *SPLASH_PUBLISHER_PAGE = "https://pelmora.example/publisher/";
constexpr int32_t SPLASH_PICTURE_MAX = 4096;  // an intro picture larger than this is not ours
constexpr int32_t SPLASH_BORDER = 3;          // the picture sits inside a 3-pixel frame
constexpr int32_t SPLASH_STATUS_X = 11, SPLASH_STATUS_Y = 307;
constexpr int32_t SPLASH_FONT_HEIGHT = 11;
constexpr int32_t SPLASH_ABOUT_TEXT = 19;     // the link to the credits
constexpr uint32_t SPLASH_STATUS_COLOUR = 0x000000;
constexpr uint32_t SPLASH_LINK_COLOUR = 0xFF0000;
constexpr int32_t SPLASH_IDLE_WAIT_MS = 100;
constexpr int32_t CREDITS_STEP_MS = 50;       // one pixel upward per step
constexpr int32_t CREDITS_MAX_W = 380, CREDITS_MAX_H = 260, CREDITS_MARGIN = 8;
constexpr uint32_t CREDITS_TEXT_COLOUR = 0xFFFFFF;

static constexpr const char *credits_text =
    "Pelmora\n\n"
    "A jigsaw puzzle game\n\n"
    "Made by the Pelmora team\n\n"
    "Programming, pictures and sounds\nThe Pelmora team\n\n"
    "Built with\n"
    "SDL2 for the window, input and sound\n"
    "libjpeg-turbo for JPEG pictures\n"
    "libtiff for TIFF pictures\n"
    "FreeType for the text\n"
    "The DejaVu fonts\n\n"
    "Thank you for playing!";

// A rectangle, right and bottom exclusive. The about window's click areas are kept in
// the window's own coordinates.
enum { AREA_CREDITS = 0, AREA_PUBLISHER = 1, AREA_MAKER = 2, AREA_COUNT = 3 };
struct SplashArea {
    int32_t left, top, right, bottom;
};

static struct {
    bool open;
    int32_t mode;
    char status[KERNEL_STATUS_MAX + 1];
    Img *picture;            // the intro picture in the screen's format
    int32_t x, y, w, h;      // the window on the screen, frame included
    IoFont *fonts[2];        // plain and underlined
    Font text_font, link_font;
    SplashArea areas[AREA_COUNT];
    int cursor_before;       // put back when the window closes
} spl;

// --- pictures and pixels ---

// The intro picture decoded straight from the pack, so a picture the player is working
// on elsewhere is never disturbed; null when it is missing or cannot be decoded.
static Img *splash_load_picture(void)
{
    int index = dp_get_index(SPLASH_PICTURE, 0);
    if (index < 0)
        return nullptr;
    FILE *f = dp_fopen(index);
    int32_t w, h;
    uint32_t format;
    Picture *p = nullptr;
    if (jpeg_read_info(f, &w, &h, &format) == 0 && w > 0 && h > 0 && w <= SPLASH_PICTURE_MAX &&
        h <= SPLASH_PICTURE_MAX && (p = picture_create(w, h, format)) && jpeg_read_pixels(p, f) != 0) {
        picture_free(p);
        p = nullptr;
    }
    dp_fclose();
    if (!p)
        return nullptr;
    Img *img = img_create(w, h, IMG_SCREEN);
    ImgView v;
    img_view(&v, img, 0, 0);
    img_convert(&v, p);
    picture_free(p);
    return img;
}

static void splash_fill(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour)
{
    ImgView v = {};
    int32_t x0 = std::max(0, x), y0 = std::max(0, y);
    v.width = std::min(screen.width, x + w) - x0;
    v.height = std::min(screen.height, y + h) - y0;
    if (v.width <= 0 || v.height <= 0)
        return;
    v.format = IMG_BGR;
    v.colour = screen.buf + (ptrdiff_t)y0 * screen.pitch + (ptrdiff_t)x0 * 3;
    v.colour_stride = screen.pitch;
    img_fill_view(&v, colour);
}

static void splash_outline(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour)
{
    splash_fill(x, y, w, 1, colour);
    splash_fill(x, y + h - 1, w, 1, colour);
    splash_fill(x, y, 1, h, colour);
    splash_fill(x + w - 1, y, 1, h, colour);
}

// Copies the part (sx, sy, w, h) of an image to the screen at (x, y), clipped to the
// screen; images with alpha are blended.
static void splash_blit(Img *img, int32_t sx, int32_t sy, int32_t w, int32_t h, int32_t x, int32_t y)
{
    int32_t cut_x = std::max({0, -x, -sx}), cut_y = std::max({0, -y, -sy});
    x += cut_x, sx += cut_x, w -= cut_x;
    y += cut_y, sy += cut_y, h -= cut_y;
    w = std::min({w, screen.width - x, img->width - sx});
    h = std::min({h, screen.height - y, img->height - sy});
    if (w <= 0 || h <= 0)
        return;
    ImgView src, dst = {};
    img_view(&src, img, sx, sy);
    src.width = w;
    src.height = h;
    dst.width = w;
    dst.height = h;
    dst.format = IMG_BGR;
    dst.colour = screen.buf + (ptrdiff_t)y * screen.pitch + (ptrdiff_t)x * 3;
    dst.colour_stride = screen.pitch;
    if (src.format == IMG_BGR || src.format == IMG_BGRA)
        img_blit(&dst, &src);
    else
        img_convert(&dst, &src);
}

// Text cut off at the edges of `clip` (screen coordinates), so nothing spills onto the
// frame or beyond the window.
static void splash_text_in(const SplashArea &clip, const Font *font, const char *text, int32_t x, int32_t y,
                           uint32_t colour, int32_t align, int32_t width)
{
    gdi_text_in(clip.left, clip.top, clip.right - clip.left, clip.bottom - clip.top, font, text, x, y, colour, align,
                width);
}

// Drawing happens in a frame of our own, or in the caller's when one is open; either
// way the rectangles drawn are listed and reach the window when the frame ends.
static bool splash_frame_begin(void)
{
    if (screen.buf)
        return false;
    io_video_begin_paint();
    return true;
}

static void splash_frame_end(bool own)
{
    if (own)
        io_video_end_paint();
}

// --- the splash and about window ---

static void splash_draw_status(void)
{
    // The strip under the status line is the picture's own, so the old text goes with it.
    int32_t strip_y = SPLASH_STATUS_Y - SPLASH_BORDER;
    splash_blit(spl.picture, 0, strip_y, spl.picture->width, spl.text_font.height, spl.x + SPLASH_BORDER,
                spl.y + SPLASH_STATUS_Y);
    SplashArea strip = {spl.x + SPLASH_BORDER, spl.y + SPLASH_STATUS_Y, spl.x + SPLASH_BORDER + spl.picture->width,
                        spl.y + SPLASH_STATUS_Y + spl.text_font.height};
    bool about = spl.mode == SPLASH_MODE_ABOUT;
    splash_text_in(strip, about ? &spl.link_font : &spl.text_font, spl.status, spl.x + SPLASH_STATUS_X,
                   spl.y + SPLASH_STATUS_Y, about ? SPLASH_LINK_COLOUR : SPLASH_STATUS_COLOUR, 0, 0);
}

static void splash_draw_all(void)
{
    bool own = splash_frame_begin();
    splash_blit(spl.picture, 0, 0, spl.picture->width, spl.picture->height, spl.x + SPLASH_BORDER, spl.y + SPLASH_BORDER);
    splash_draw_status();
    splash_outline(spl.x, spl.y, spl.w, spl.h, 0x000000);
    splash_outline(spl.x + 1, spl.y + 1, spl.w - 2, spl.h - 2, 0xFFFFFF);
    splash_outline(spl.x + 2, spl.y + 2, spl.w - 4, spl.h - 4, 0x000000);
    io_video_invalidate(spl.x, spl.y, spl.w, spl.h);
    splash_frame_end(own);
}

static void splash_make_font(int32_t which, int32_t style, Font *record)
{
    spl.fonts[which] = io_gdi_create_font(-SPLASH_FONT_HEIGHT, style, lt_charset(), "Arial");
    *record = {};
    record->kind = FONT_SYSTEM;
    record->shadow_offset = 1;
    record->handle = spl.fonts[which];
    io_gdi_font_metrics(spl.fonts[which], &record->height, &record->size, &record->line);
}

// Loads the picture and the fonts and places the window; false when there is no picture.
static bool splash_create(int32_t mode, const char *status)
{
    Img *picture = splash_load_picture();
    if (!picture)
        return false;
    spl = {};
    spl.mode = mode;
    spl.picture = picture;
    snprintf(spl.status, sizeof spl.status, "%s", status);
    splash_make_font(0, IO_FONT_SWISS, &spl.text_font);
    splash_make_font(1, IO_FONT_SWISS | IO_FONT_UNDERLINE, &spl.link_font);
    spl.w = picture->width + 2 * SPLASH_BORDER;
    spl.h = picture->height + 2 * SPLASH_BORDER;
    spl.x = (screen.width - spl.w) / 2;
    spl.y = (screen.height - spl.h) / 2;
    int32_t tw, th;
    io_gdi_text_size(&spl.text_font, spl.status, 0, 0, &tw, &th);
    spl.areas[AREA_CREDITS] = {SPLASH_STATUS_X, SPLASH_STATUS_Y, SPLASH_STATUS_X + tw, SPLASH_STATUS_Y + th};
    spl.areas[AREA_PUBLISHER] = {0, 0, 220, 64};
    spl.areas[AREA_MAKER] = {355, 140, 495, 187};
    spl.cursor_before = io_get_cursor();
    spl.open = true;
    return true;
}

static void splash_destroy(void)
{
    io_gdi_delete_font(spl.fonts[0]);
    io_gdi_delete_font(spl.fonts[1]);
    img_free(spl.picture);
    io_set_cursor(spl.cursor_before);
    spl = {};
}

void splash_open(void)
{
    if (spl.open || !splash_create(SPLASH_MODE_SPLASH, ""))
        return;
    io_set_cursor(IO_CURSOR_WAIT);
    splash_draw_all();
}

void splash_status(const char *text)
{
    if (!spl.open)
        return;
    snprintf(spl.status, sizeof spl.status, "%s", text ? text : "");
    bool own = splash_frame_begin();
    splash_draw_status();
    io_video_invalidate(spl.x + SPLASH_BORDER, spl.y + SPLASH_STATUS_Y, spl.picture->width, spl.text_font.height);
    splash_frame_end(own);
}

void splash_close(void)
{
    if (spl.open && spl.mode == SPLASH_MODE_SPLASH)
        splash_destroy();
}

bool splash_is_open(void)
{
    return spl.open;
}

// --- the about and credits loops ---

// The inputs these windows leave to the game's window: closing, activation, the door,
// a display change. Mouse and keys they take for themselves.
static bool splash_passes_on(InputKind kind)
{
    switch (kind) {
    case InputKind::Close:
    case InputKind::Activate:
    case InputKind::Deactivate:
    case InputKind::Forward:
    case InputKind::Message:
    case InputKind::DisplayChange: return true;
    default: return false;
    }
}

// A live run without a display has nobody to see these windows or close them, so they
// give way at once; a replayed session waits for its journal.
static bool splash_nobody_there(void)
{
    return io_platform_headless() && !kernel_playback();
}

// --- the credits ---

// The credits box: the logo at the top, and below it the text, `offset` pixels above
// its starting place at the bottom of the box, cut off at the edges of that area.
static void credits_draw(int32_t bx, int32_t by, int32_t bw, int32_t bh, int32_t logo, int32_t offset)
{
    bool own = splash_frame_begin();
    splash_fill(bx, by, bw, bh, 0x000000);
    int32_t top = by + CREDITS_MARGIN;
    if (logo >= 0) {
        Img *img = (Img *)cache_lock(logo);
        splash_blit(img, 0, 0, img->width, img->height, bx + (bw - img->width) / 2, top);
        top += img->height + CREDITS_MARGIN;
        cache_unlock(logo);
    }
    SplashArea area = {bx + 1, top, bx + bw - 1, by + bh - 1};
    splash_text_in(area, &spl.text_font, credits_text, bx + CREDITS_MARGIN, by + bh - offset, CREDITS_TEXT_COLOUR, 1,
                   bw - 2 * CREDITS_MARGIN);
    splash_outline(bx, by, bw, bh, 0xFFFFFF);
    io_video_invalidate(bx, by, bw, bh);
    splash_frame_end(own);
}

// The credits over the about window until a click, Enter or Escape; false when the game's
// window was closed meanwhile. Input comes through the kernel like everywhere else, so a
// replayed session scrolls the same way on its virtual clock.
static bool credits_show(void)
{
    int32_t bw = std::min(spl.picture->width, CREDITS_MAX_W), bh = std::min(spl.picture->height, CREDITS_MAX_H);
    int32_t bx = spl.x + (spl.w - bw) / 2, by = spl.y + (spl.h - bh) / 2;
    int logo = dp_get_index(SPLASH_LOGO, 0) >= 0 ? cache_get(SPLASH_LOGO) : -1;
    int32_t text_w, text_h;
    io_gdi_text_size(&spl.text_font, credits_text, 1, bw - 2 * CREDITS_MARGIN, &text_w, &text_h);
    int32_t offset = 0;
    int64_t next_step = kernel_time() + CREDITS_STEP_MS;
    bool done = false;
    credits_draw(bx, by, bw, bh, logo, offset);
    while (!done && !kernel_close_pending()) {
        PlatformInput in;
        if (kernel_take_input(&in)) {
            if (in.kind == InputKind::MouseDown)
                done = true;
            else if (in.kind == InputKind::KeyDown && (in.key == SDLK_RETURN || in.key == SDLK_KP_ENTER || in.key == SDLK_ESCAPE))
                done = true;
            else if (splash_passes_on(in.kind))
                kernel_dispatch_input(&in);
            continue;
        }
        if (splash_nobody_there())
            break;
        int64_t now = kernel_time();
        if (now < next_step) {
            kernel_wait_input(next_step);
            continue;
        }
        next_step = now + CREDITS_STEP_MS;
        // Once the last line has left the top, the text comes up from the bottom again.
        if (++offset > bh + text_h)
            offset = 0;
        credits_draw(bx, by, bw, bh, logo, offset);
    }
    return !kernel_close_pending();
}

// --- the about loop ---

static int32_t about_area_at(int32_t x, int32_t y)
{
    x -= spl.x;
    y -= spl.y;
    for (int32_t i = 0; i < AREA_COUNT; i++) {
        const SplashArea &a = spl.areas[i];
        if (x >= a.left && x < a.right && y >= a.top && y < a.bottom)
            return i;
    }
    return -1;
}

void about_show(void)
{
    if (spl.open || !splash_create(SPLASH_MODE_ABOUT, lt_get(SPLASH_ABOUT_TEXT)))
        return;
    splash_draw_all();
    bool done = false;
    while (!done && !kernel_close_pending()) {
        PlatformInput in;
        if (!kernel_take_input(&in)) {
            if (splash_nobody_there())
                break;
            kernel_wait_input(kernel_time() + SPLASH_IDLE_WAIT_MS);
            continue;
        }
        switch (in.kind) {
        case InputKind::MouseMove:
            io_set_cursor(about_area_at(in.x, in.y) >= 0 ? IO_CURSOR_GAME : IO_CURSOR_ARROW);
            break;
        case InputKind::MouseDown: {
            int32_t area = in.button == IO_BUTTON_LEFT ? about_area_at(in.x, in.y) : -1;
            if (area == AREA_CREDITS) {
                done = !credits_show();
                if (!done)
                    splash_draw_all();
            } else if (area == AREA_PUBLISHER) {
                open_document(SPLASH_PUBLISHER_PAGE);
            } else if (area == AREA_MAKER) {
                char page[256];
                maker_page(page, sizeof page, "");
                open_document(page);
            } else {
                done = true;
            }
            break;
        }
        case InputKind::KeyDown: done = true; break;
        case InputKind::Expose: splash_draw_all(); break;
        default:
            if (splash_passes_on(in.kind))
                kernel_dispatch_input(&in);  // a close is kept for the main loop
            break;
        }
    }
    IoRect area = {spl.x, spl.y, spl.w, spl.h};
    splash_destroy();
    // What lay under the window is the game's to draw again.
    io_post_event(IO_PAINT, (intptr_t)&area, 0, 0);
}
