// The dirty-tile grid, and screen drawing cut into the dirty runs under each request.
#include "image/clip.h"

#include <algorithm>

#include <cstring>

#include "image/img.h"
#include "platform/gdi.h"
#include "platform/log.h"
#include "platform/memory.h"
#include "platform/video.h"

// Tile sizes in order of preference: near 32 first, odd sizes late, tiny ones last.
static constexpr int32_t tile_sizes[] = {
    32, 28, 24, 20, 16, 36, 40, 30, 26, 22, 18, 34, 38, 31, 29, 27, 25, 23, 21, 19, 17, 33, 35, 37, 39,
    12, 8,  14, 10, 15, 13, 11, 9,  44, 48, 52, 56, 60, 64, 42, 46, 50, 54, 58, 62, 41, 43, 45, 47, 49,
    51, 53, 55, 57, 59, 61, 63, 7,  6,  5,  4,  68, 72, 76, 80, 66, 70, 74, 78, 65, 67, 69, 71, 73, 75,
    77, 79, 84, 88, 92, 96, 82, 86, 90, 94, 81, 83, 85, 87, 89, 91, 93, 95, 3,  2,  1,
};

struct DrawRequest;
typedef void (*Painter)(const DrawRequest *r);

// One screen draw, and the piece of it that lies in the current dirty run.
struct DrawRequest {
    Img *image;
    int32_t x, y, sx, sy, w, h;
    Painter painter;
    uint32_t colour;  // ink colour
    int32_t clip_x, clip_y, clip_sx, clip_sy, clip_w, clip_h;
};

static struct {
    ClipGrid grid;
    ImgBlitter blitter = img_draw;
    bool any;  // some tile is dirty: an idle frame finds none and draws nothing at all
} clip;

int32_t ideal_clip(int32_t n)
{
    for (int32_t t : tile_sizes)
        if (n % t == 0)
            return t;
    io_log("ideal_clip: not found idealclip for %i\n", n);
    return n;
}

void clip_init(void)
{
    clip_done();
    ClipGrid &g = clip.grid;
    g.tile_w = ideal_clip(screen.width);
    g.tile_h = ideal_clip(screen.height);
    g.columns = g.tile_w ? screen.width / g.tile_w : 0;
    g.rows = g.tile_h ? screen.height / g.tile_h : 0;
    g.flags = (uint8_t *)io_mem_alloc((size_t)g.columns * (size_t)g.rows);
    clip_set_all(1);
    io_gdi_set_gate(clip_point_dirty);  // pen lines are cut to the dirty tiles too
}

void clip_done(void)
{
    io_mem_free(clip.grid.flags);
    clip.grid = {};
    clip.any = false;
    io_gdi_set_gate(nullptr);
}

const ClipGrid *clip_grid(void)
{
    return &clip.grid;
}

void clip_set_all(uint8_t value)
{
    if (clip.grid.flags)
        memset(clip.grid.flags, value, (size_t)clip.grid.columns * (size_t)clip.grid.rows);
    clip.any = clip.grid.flags && value;
}

// Clips a rectangle to the screen and gives its tile range; false when nothing is left.
static bool tile_range(int32_t x, int32_t y, int32_t w, int32_t h, int32_t *c0, int32_t *r0, int32_t *c1, int32_t *r1)
{
    const ClipGrid &g = clip.grid;
    if (!g.flags)
        return false;
    if (x < 0) {
        w += x;
        x = 0;
    }
    if (y < 0) {
        h += y;
        y = 0;
    }
    if (w < 1 || h < 1 || x >= screen.width || y >= screen.height)
        return false;
    // In 64 bits, so a rectangle reaching far past the screen cannot wrap around.
    int32_t right = (int32_t)std::min<int64_t>((int64_t)x + w - 1, screen.width - 1);
    int32_t bottom = (int32_t)std::min<int64_t>((int64_t)y + h - 1, screen.height - 1);
    *c0 = x / g.tile_w;
    *r0 = y / g.tile_h;
    *c1 = right / g.tile_w;
    *r1 = bottom / g.tile_h;
    // A screen size no tile divides leaves a sliver past the last whole tile.
    if (*c1 >= g.columns)
        *c1 = g.columns - 1;
    if (*r1 >= g.rows)
        *r1 = g.rows - 1;
    return *c0 <= *c1 && *r0 <= *r1;
}

// The tile range of a rectangle that may hold dirty tiles; false at once when none is.
static bool dirty_range(int32_t x, int32_t y, int32_t w, int32_t h, int32_t *c0, int32_t *r0, int32_t *c1, int32_t *r1)
{
    return clip.any && tile_range(x, y, w, h, c0, r0, c1, r1);
}

void clip_invalidate(int32_t x, int32_t y, int32_t w, int32_t h)
{
    int32_t c0, r0, c1, r1;
    if (!tile_range(x, y, w, h, &c0, &r0, &c1, &r1))
        return;
    for (int32_t r = r0; r <= r1; r++)
        memset(clip.grid.flags + (size_t)r * clip.grid.columns + c0, 1, (size_t)(c1 - c0 + 1));
    clip.any = true;
}

int clip_is_dirty(int32_t x, int32_t y, int32_t w, int32_t h)
{
    int32_t c0, r0, c1, r1;
    if (!dirty_range(x, y, w, h, &c0, &r0, &c1, &r1))
        return 0;
    for (int32_t r = r0; r <= r1; r++)
        for (int32_t c = c0; c <= c1; c++)
            if (clip.grid.flags[(size_t)r * clip.grid.columns + c])
                return 1;
    return 0;
}

bool clip_point_dirty(int32_t x, int32_t y)
{
    const ClipGrid &g = clip.grid;
    if (!g.flags)
        return true;
    if (!clip.any || x < 0 || y < 0 || x >= screen.width || y >= screen.height)
        return false;
    int32_t c = std::min(x / g.tile_w, g.columns - 1), r = std::min(y / g.tile_h, g.rows - 1);
    return g.flags[(size_t)r * g.columns + c] != 0;
}

int clip_bounds(int32_t *x0, int32_t *y0, int32_t *x1, int32_t *y1)
{
    int32_t c0, r0, c1, r1;
    if (!dirty_range(*x0, *y0, *x1 - *x0 + 1, *y1 - *y0 + 1, &c0, &r0, &c1, &r1))
        return 0;
    const ClipGrid &g = clip.grid;
    int32_t first_c = -1, last_c = -1, first_r = -1, last_r = -1;
    for (int32_t r = r0; r <= r1; r++)
        for (int32_t c = c0; c <= c1; c++) {
            if (!g.flags[(size_t)r * g.columns + c])
                continue;
            if (first_r < 0)
                first_r = r;
            last_r = r;
            if (first_c < 0 || c < first_c)
                first_c = c;
            if (c > last_c)
                last_c = c;
        }
    if (first_r < 0)
        return 0;
    if (*x0 < first_c * g.tile_w)
        *x0 = first_c * g.tile_w;
    if (*y0 < first_r * g.tile_h)
        *y0 = first_r * g.tile_h;
    if (*x1 > (last_c + 1) * g.tile_w - 1)
        *x1 = (last_c + 1) * g.tile_w - 1;
    if (*y1 > (last_r + 1) * g.tile_h - 1)
        *y1 = (last_r + 1) * g.tile_h - 1;
    return 1;
}

// Calls `run` for every maximal run of dirty tiles under the tile range, row by row.
template <typename Fn>
static void for_each_run(int32_t c0, int32_t r0, int32_t c1, int32_t r1, Fn run)
{
    const ClipGrid &g = clip.grid;
    for (int32_t r = r0; r <= r1; r++) {
        const uint8_t *row = g.flags + (size_t)r * g.columns;
        for (int32_t c = c0; c <= c1;) {
            if (!row[c]) {
                c++;
                continue;
            }
            int32_t start = c;
            while (c <= c1 && row[c])
                c++;
            run(start * g.tile_w, r * g.tile_h, (c - start) * g.tile_w, g.tile_h);
        }
    }
}

void clip_flush(void)
{
    if (!clip.grid.flags || !clip.any)
        return;
    for_each_run(0, 0, clip.grid.columns - 1, clip.grid.rows - 1,
                 [](int32_t x, int32_t y, int32_t w, int32_t h) { io_video_invalidate(x, y, w, h); });
    clip_set_all(0);
}

// Cuts one axis of the request to a run: start, source start and length of the piece.
static void cut_axis(int32_t pos, int32_t src, int32_t len, int32_t run, int32_t run_len, int32_t *cpos, int32_t *csrc,
                     int32_t *clen)
{
    if (run <= pos) {
        *cpos = pos;
        *csrc = src;
        *clen = len < run - pos + run_len ? len : run - pos + run_len;
    } else {
        *cpos = run;
        *csrc = src + (run - pos);
        *clen = run_len < len - (run - pos) ? run_len : len - (run - pos);
    }
}

void clip_each_dirty(int32_t x, int32_t y, int32_t w, int32_t h, ClipRectFn fn, void *ctx)
{
    int32_t c0, r0, c1, r1;
    if (!dirty_range(x, y, w, h, &c0, &r0, &c1, &r1))
        return;
    int64_t left = std::max(x, 0), top = std::max(y, 0);
    int64_t right = std::min<int64_t>((int64_t)x + w, screen.width), bottom = std::min<int64_t>((int64_t)y + h, screen.height);
    for_each_run(c0, r0, c1, r1, [&](int32_t rx, int32_t ry, int32_t rw, int32_t rh) {
        int64_t x0 = std::max<int64_t>(rx, left), y0 = std::max<int64_t>(ry, top);
        int64_t x1 = std::min<int64_t>((int64_t)rx + rw, right), y1 = std::min<int64_t>((int64_t)ry + rh, bottom);
        if (x0 < x1 && y0 < y1)
            fn((int32_t)x0, (int32_t)y0, (int32_t)(x1 - x0), (int32_t)(y1 - y0), ctx);
    });
}

// Runs the request's painter once for each dirty run under it.
static void draw_clipped(DrawRequest *r)
{
    int32_t c0, r0, c1, r1;
    if (!dirty_range(r->x, r->y, r->w, r->h, &c0, &r0, &c1, &r1))
        return;
    for_each_run(c0, r0, c1, r1, [r](int32_t x, int32_t y, int32_t w, int32_t h) {
        cut_axis(r->x, r->sx, r->w, x, w, &r->clip_x, &r->clip_sx, &r->clip_w);
        cut_axis(r->y, r->sy, r->h, y, h, &r->clip_y, &r->clip_sy, &r->clip_h);
        if (r->clip_w > 0 && r->clip_h > 0)
            r->painter(r);
    });
}

// The screen piece and the image piece of the current run.
static void run_views(const DrawRequest *r, ImgView *dst, ImgView *src)
{
    screen_view(dst, r->clip_x, r->clip_y);
    dst->width = r->clip_w;
    dst->height = r->clip_h;
    img_view(src, r->image, r->clip_sx, r->clip_sy);
    src->width = r->clip_w;
    src->height = r->clip_h;
}

static void paint_blit(const DrawRequest *r)
{
    ImgView d, s;
    run_views(r, &d, &s);
    img_blit(&d, &s);
}

static void paint_ink(const DrawRequest *r)
{
    ImgView d, s;
    run_views(r, &d, &s);
    img_ink(&d, &s, r->colour);
}

static void paint_shadow(const DrawRequest *r)
{
    ImgView d, s;
    run_views(r, &d, &s);
    img_shadow(&d, &s);
}

static void draw_request(Img *img, int32_t x, int32_t y, int32_t sx, int32_t sy, int32_t w, int32_t h, Painter painter,
                         uint32_t colour)
{
    DrawRequest r = {img, x, y, sx, sy, w, h, painter, colour, 0, 0, 0, 0, 0, 0};
    draw_clipped(&r);
}

void img_draw(Img *img, int32_t x, int32_t y, int32_t sx, int32_t sy, int32_t w, int32_t h)
{
    if ((int32_t)img_colour_bytes(img->format) != screen.bytes_per_pixel)
        io_error("img_draw: jine rozliseni nez screen");
    draw_request(img, x, y, sx, sy, w, h, paint_blit, 0);
}

void img_draw_whole(Img *img, int32_t x, int32_t y)
{
    img_draw(img, x, y, 0, 0, img->width, img->height);
}

void img_draw_ink(int32_t x, int32_t y, uint32_t colour, Img *img, int32_t sx, int32_t sy, int32_t w, int32_t h)
{
    if (img_colour_bytes(img->format) != 1)
        io_error("img_draw: jine rozliseni nez screen");
    draw_request(img, x, y, sx, sy, w, h, paint_ink, colour);
}

void img_draw_shadow(Img *img, int32_t x, int32_t y, int32_t sx, int32_t sy, int32_t w, int32_t h)
{
    if (img->format != IMG_8BIT)
        io_error("img_draw_shadow: stin by mel byt IMG_8BIT");
    draw_request(img, x, y, sx, sy, w, h, paint_shadow, 0);
}

void img_draw_shadow_whole(Img *img, int32_t x, int32_t y)
{
    img_draw_shadow(img, x, y, 0, 0, img->width, img->height);
}

ImgBlitter img_set_blitter(ImgBlitter blitter)
{
    ImgBlitter old = clip.blitter;
    clip.blitter = blitter;
    return old;
}

ImgBlitter img_blitter(void)
{
    return clip.blitter;
}

void img_blit_part(Img *img, const ImgRect *rect, int32_t x, int32_t y)
{
    clip.blitter(img, x, y, rect->sx, rect->sy, rect->w, rect->h);
}

void img_tile(Img *img, const ImgRect *rect, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int flags)
{
    if (flags & IMG_TILE_ONE_ACROSS)
        x1 = x0 + rect->w;
    if (flags & IMG_TILE_ONE_DOWN)
        y1 = y0 + rect->h;
    if (x1 < 1 || y1 < 1 || y1 <= y0 || rect->w < 1 || rect->h < 1)
        return;  // an empty source rectangle would never advance
    for (int32_t y = y0; y < y1; y += rect->h) {
        int32_t h = rect->h < y1 - y ? rect->h : y1 - y;
        for (int32_t x = x0; x1 > x; x += rect->w) {
            int32_t w = rect->w < x1 - x ? rect->w : x1 - x;
            clip.blitter(img, x, y, rect->sx, rect->sy, w, h);
        }
    }
}
