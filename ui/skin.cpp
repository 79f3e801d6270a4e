// The skin: its colours, and frames, title bars, icons, panels, the trackbar groove and
// bevels drawn from the two skin pictures through the blitter hook.
#include "ui/skin.h"

#include <cstring>

#include "image/cache.h"
#include "image/clip.h"
#include "image/img.h"
#include "platform/gdi.h"
#include "platform/log.h"
#include "res/ini.h"
#include "ui/text.h"

// A small piece tiled over a large area is first tiled into a block of about this size,
// so a frame's middle takes a few blits instead of a thousand.
constexpr int32_t SKIN_BLOCK_SIZE = 96;
constexpr int32_t SKIN_BLOCKS = 24;

struct TiledBlock {
    int32_t picture;    // 0 the active skin picture, 1 the inactive one
    SkinRect piece;
    int32_t across, down;
    Img *img;
};

static struct {
    int active = -1, inactive = -1;  // cache handles of img/active.img and img/inactive.img
    TiledBlock blocks[SKIN_BLOCKS];
    uint32_t colours[SKIN_COLOR_COUNT];
    int32_t origin_x, origin_y;
    Img *target;  // where the silhouette hook draws
} skin;

static const char *const skin_picture_names[2] = {"img/active.img", "img/inactive.img"};

// Frame pieces chosen by the open sides that meet at each corner, indexed by the flag
// bits that matter there: no side open, the vertical side, the horizontal side, both.
static constexpr int corner_top_left[4] = {0, 3, 5, 8};       // flags 2, 8
static constexpr int corner_top_right[4] = {4, 2, 9, 7};      // flags 4, 8
static constexpr int corner_bottom_left[4] = {20, 23, 15, 18};  // flags 2, 16
static constexpr int corner_bottom_right[4] = {24, 22, 19, 17};  // flags 4, 16
enum { PIECE_CENTRE = 11 };

// On the screen, an area without a dirty tile under it gets nothing drawn; saying so
// once spares a frame of many small pieces a check per piece on idle frames.
static bool nothing_to_draw(int32_t x, int32_t y, int32_t w, int32_t h)
{
    return !skin.target && clip_grid()->flags && !clip_is_dirty(x, y, w, h);
}

static ImgRect to_rect(const SkinRect &r)
{
    return {r.x, r.y, r.w, r.h};
}

static bool rect_inside(const SkinRect &r, const Img *img)
{
    return r.x >= 0 && r.y >= 0 && r.w >= 0 && r.h >= 0 && r.x + r.w <= img->width && r.y + r.h <= img->height;
}

// Every piece the code may ask for must lie inside its picture, or drawing would read
// past it: a damaged installation is refused here, once.
static void check_picture(int handle, const char *name, bool is_active)
{
    const Img *img = (const Img *)cache_lock(handle);
    bool ok = img->format == IMG_BGRA;
    for (const SkinRect &r : skin_frame_rects)
        ok = ok && rect_inside(r, img);
    for (const SkinRect &r : skin_title_rects)
        ok = ok && rect_inside(r, img);
    if (is_active) {
        for (const SkinRect &r : skin_icon_rects)
            ok = ok && rect_inside(r, img);
        for (const SkinRect &r : skin_track_rects)
            ok = ok && rect_inside(r, img);
        for (const SkinRect &r : skin_panel_rects)
            ok = ok && rect_inside(r, img);
    }
    cache_unlock(handle);
    if (!ok)
        io_error("ge_init: invalid skin picture %s\n", name);
}

static void free_blocks(void)
{
    for (TiledBlock &b : skin.blocks) {
        img_free(b.img);
        b = {};
    }
}

void ge_init(const char *skin_file)
{
    free_blocks();  // blocks of an earlier skin's pictures
    skin.active = cache_get(skin_picture_names[0]);
    skin.inactive = cache_get(skin_picture_names[1]);
    check_picture(skin.active, skin_picture_names[0], true);
    check_picture(skin.inactive, skin_picture_names[1], false);
    for (int i = 0; i < SKIN_COLOR_COUNT; i++)
        if (!ini_get_color(skin_file, "COLORS", skin_color_keys[i], &skin.colours[i]))
            io_error("ge_init: color %s not found\n", skin_color_keys[i]);
    skin.origin_x = skin.origin_y = 0;
}

void ge_done(void)
{
    // The pictures belong to the cache, which frees them at its own end.
    skin.active = skin.inactive = -1;
    free_blocks();
}

uint32_t skin_color(int32_t index)
{
    if (index < 0 || index >= SKIN_COLOR_COUNT)
        io_error("skin_color: invalid index %i\n", index);
    return skin.colours[index];
}

void skin_set_origin(int32_t x, int32_t y)
{
    skin.origin_x = x;
    skin.origin_y = y;
}

static int picture_handle(bool inactive, const char *who)
{
    int handle = inactive ? skin.inactive : skin.active;
    if (handle < 0)
        io_error("%s: ge_init has not run\n", who);
    return handle;
}

static void blit_piece(Img *img, const SkinRect &r, int32_t x, int32_t y)
{
    ImgRect rect = to_rect(r);
    img_blit_part(img, &rect, x, y);
}

// The piece repeated across x down times, made once and kept; null when the table is full.
static Img *tiled_block(const Img *img, const SkinRect &r, int32_t across, int32_t down)
{
    // Which skin picture this is; the cache may have dropped and reloaded it since, at
    // another address, but never with other pixels.
    int32_t picture = -1;
    if (skin.active >= 0 && memfiles[skin.active].data == img)
        picture = 0;
    else if (skin.inactive >= 0 && memfiles[skin.inactive].data == img)
        picture = 1;
    if (picture < 0)
        return nullptr;
    for (TiledBlock &b : skin.blocks)
        if (b.img && b.picture == picture && b.across == across && b.down == down && b.piece.x == r.x && b.piece.y == r.y &&
            b.piece.w == r.w && b.piece.h == r.h)
            return b.img;
    for (TiledBlock &b : skin.blocks) {
        if (b.img)
            continue;
        Img *block = img_create(r.w * across, r.h * down, IMG_BGRA);
        ImgView s, d;
        img_view(&s, (Img *)img, r.x, r.y);
        img_view(&d, block, 0, 0);
        // A plain copy of both planes: the block is the picture's own bytes, repeated.
        for (int32_t y = 0; y < d.height; y++) {
            const int32_t sy = y % r.h;
            for (int32_t i = 0; i < across; i++) {
                memcpy(d.colour + (size_t)y * d.colour_stride + (size_t)i * r.w * 3,
                       s.colour + (size_t)sy * s.colour_stride, (size_t)r.w * 3);
                memcpy(d.second + (size_t)y * d.second_stride + (size_t)i * r.w,
                       s.second + (size_t)sy * s.second_stride, (size_t)r.w);
            }
        }
        b = {picture, r, across, down, block};
        return block;
    }
    return nullptr;
}

static void tile_piece(Img *img, const SkinRect &r, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int flags)
{
    ImgRect rect = to_rect(r);
    int32_t across = (flags & IMG_TILE_ONE_ACROSS) || r.w >= SKIN_BLOCK_SIZE ? 1 : SKIN_BLOCK_SIZE / r.w;
    int32_t down = (flags & IMG_TILE_ONE_DOWN) || r.h >= SKIN_BLOCK_SIZE ? 1 : SKIN_BLOCK_SIZE / r.h;
    int32_t area_w = (flags & IMG_TILE_ONE_ACROSS) ? r.w : x1 - x0;
    int32_t area_h = (flags & IMG_TILE_ONE_DOWN) ? r.h : y1 - y0;
    // Only on the screen (a silhouette or a test hook sees the pieces as they are), and
    // only where the area holds several blocks' worth of pieces.
    bool worth = img_blitter() == img_draw && across * down > 1 && r.w > 0 && r.h > 0 && img->format == IMG_BGRA &&
                 (int64_t)area_w * area_h >= (int64_t)4 * r.w * across * r.h * down;
    if (worth) {
        if (Img *block = tiled_block(img, r, across, down)) {
            ImgRect whole = {0, 0, block->width, block->height};
            img_tile(block, &whole, x0, y0, x1, y1, flags);
            return;
        }
    }
    img_tile(img, &rect, x0, y0, x1, y1, flags);
}

void skin_frame(uint32_t flags, int32_t x, int32_t y, int32_t w, int32_t h)
{
    int handle = picture_handle(flags & SKIN_INACTIVE, "skin_frame");
    x += skin.origin_x;
    y += skin.origin_y;
    if (nothing_to_draw(x, y, w, h))
        return;
    Img *img = (Img *)cache_lock(handle);
    const SkinRect *p = skin_frame_rects;
    if (flags & SKIN_FILL_ONLY) {
        tile_piece(img, p[PIECE_CENTRE], x, y, x + w, y + h, 0);
        cache_unlock(handle);
        return;
    }
    bool left = flags & SKIN_OPEN_LEFT, right = flags & SKIN_OPEN_RIGHT;
    bool top = flags & SKIN_OPEN_TOP, bottom = flags & SKIN_OPEN_BOTTOM;
    const SkinRect &tl = p[corner_top_left[left + 2 * top]];
    const SkinRect &tr = p[corner_top_right[right + 2 * top]];
    const SkinRect &bl = p[corner_bottom_left[left + 2 * bottom]];
    const SkinRect &br = p[corner_bottom_right[right + 2 * bottom]];
    int32_t xi = x + tl.w, yi = y + tl.h;
    int32_t xr = x + w - tr.w, yb = y + h - bl.h;
    blit_piece(img, tl, x, y);
    blit_piece(img, tr, xr, y);
    blit_piece(img, bl, x, yb);
    blit_piece(img, br, xr, yb);
    if (xr > xi) {
        tile_piece(img, p[top ? 6 : 1], xi, y, xr, 0, IMG_TILE_ONE_DOWN);
        tile_piece(img, p[bottom ? 16 : 21], xi, yb, xr, 0, IMG_TILE_ONE_DOWN);
    }
    if (yb > yi) {
        tile_piece(img, p[left ? 13 : 10], x, yi, 0, yb, IMG_TILE_ONE_ACROSS);
        tile_piece(img, p[right ? 12 : 14], xr, yi, 0, yb, IMG_TILE_ONE_ACROSS);
    }
    if (!(flags & SKIN_NO_CENTRE) && xr > xi && yb > yi)
        tile_piece(img, p[PIECE_CENTRE], xi, yi, xr, yb, 0);
    cache_unlock(handle);
}

void skin_title_bar(int32_t x, int32_t y, int32_t width, bool active, bool collapse, bool close)
{
    // Title bars always come from the inactive picture; the active look is its own pieces.
    int handle = picture_handle(true, "skin_title_bar");
    x += skin.origin_x;
    y += skin.origin_y;
    if (nothing_to_draw(x, y, width, skin_title_rects[0].h))
        return;
    Img *img = (Img *)cache_lock(handle);
    const SkinRect *p = skin_title_rects;
    blit_piece(img, p[0], x, y);
    int32_t run = x + 12;
    const SkinRect &start = p[active ? 1 : 6];
    blit_piece(img, start, run, y);
    run += start.w;
    int32_t limit = x + width - (collapse ? 36 : close ? 18 : 12);
    if (collapse || close)
        limit -= 12;
    int32_t end = limit - 12;
    tile_piece(img, p[active ? 2 : 7], run, y, end, 0, IMG_TILE_ONE_DOWN);
    const SkinRect &finish = p[active ? 3 : 8];
    blit_piece(img, finish, end, y);
    run = end + finish.w;
    if (collapse || close) {
        blit_piece(img, p[9], run, y);
        run += 12;
    }
    if (!close) {
        if (collapse) {
            blit_piece(img, p[5], run + 18, y);
            blit_piece(img, p[4], run + 24, y);
        } else {
            blit_piece(img, p[4], run, y);
        }
    }
    cache_unlock(handle);
}

static const SkinRect &icon_rect(int32_t number, const char *who)
{
    if (number < 0 || number >= SKIN_ICON_COUNT || skin_icon_rects[number].w == 0)
        io_error("%s: invalid icon %i\n", who, number);
    return skin_icon_rects[number];
}

void skin_icon(int32_t number, int32_t x, int32_t y)
{
    const SkinRect &r = icon_rect(number, "skin_icon");
    cache_draw(picture_handle(false, "skin_icon"), x + skin.origin_x, y + skin.origin_y, r.x, r.y, r.w, r.h);
}

void skin_icon_size(int32_t number, int32_t *w, int32_t *h)
{
    const SkinRect &r = icon_rect(number, "skin_icon_size");
    *w = r.w;
    *h = r.h;
}

void skin_panel(int32_t number, int32_t x, int32_t y, int32_t w, int32_t h)
{
    if (number < 0 || number >= SKIN_PANEL_COUNT || skin_panel_rects[number].w == 0)
        io_error("skin_panel: invalid panel %i\n", number);
    int handle = picture_handle(false, "skin_panel");
    x += skin.origin_x;
    y += skin.origin_y;
    if (nothing_to_draw(x, y, w, h))
        return;
    Img *img = (Img *)cache_lock(handle);
    tile_piece(img, skin_panel_rects[number], x, y, x + w, y + h, 0);
    cache_unlock(handle);
}

void skin_track(int32_t x, int32_t y, int32_t width)
{
    int handle = picture_handle(false, "skin_track");
    Img *img = (Img *)cache_lock(handle);
    x += skin.origin_x;
    y += skin.origin_y;
    blit_piece(img, skin_track_rects[0], x + 32, y);
    tile_piece(img, skin_track_rects[1], x + 44, y, x + width - 44, 0, IMG_TILE_ONE_DOWN);
    blit_piece(img, skin_track_rects[2], x + width - 44, y);
    cache_unlock(handle);
}

void skin_bevel(int32_t x, int32_t y, int32_t w, int32_t h)
{
    enum { LT, T, RT, L, R, LB, B, RB };
    const uint32_t *c = skin.colours;
    x += skin.origin_x;
    y += skin.origin_y;
    draw_pixel(x, y, c[LT]);
    draw_set_pen(IO_PEN_SOLID, c[T]);
    draw_line(x + 1, y, x + w - 2, y);
    draw_pixel(x + w - 1, y, c[RT]);
    draw_set_pen(IO_PEN_SOLID, c[R]);
    draw_line(x + w - 1, y + 1, x + w - 1, y + h - 2);
    draw_pixel(x + w - 1, y + h - 1, c[RB]);
    draw_set_pen(IO_PEN_SOLID, c[B]);
    draw_line(x + w - 2, y + h - 1, x + 1, y + h - 1);
    draw_pixel(x, y + h - 1, c[LB]);
    draw_set_pen(IO_PEN_SOLID, c[L]);
    draw_line(x, y + h - 2, x, y + 1);
}

// The silhouette hook: the alpha of the skin piece, copied as 8-bit coverage into the
// target, cut to the target so that no frame size can write outside it.
static void alpha_blitter(Img *img, int32_t x, int32_t y, int32_t sx, int32_t sy, int32_t w, int32_t h)
{
    Img *t = skin.target;
    if (x < 0) {
        sx -= x;
        w += x;
        x = 0;
    }
    if (y < 0) {
        sy -= y;
        h += y;
        y = 0;
    }
    if (w > t->width - x)
        w = t->width - x;
    if (h > t->height - y)
        h = t->height - y;
    if (w < 1 || h < 1 || !img->second_offset)
        return;
    ImgView src, dst;
    img_view(&src, img, sx, sy);
    ImgView alpha = {w, h, IMG_8BIT, src.second, src.second_stride, nullptr, 0};
    img_view(&dst, t, x, y);
    dst.width = w;
    dst.height = h;
    img_blit(&dst, &alpha);
}

void skin_frame_to_img(Img *image, uint32_t flags, int32_t x, int32_t y, int32_t w, int32_t h)
{
    if (image->format != IMG_8BIT)
        io_error("skin_frame_to_img: the image is not IMG_8BIT\n");
    // The origin is put back too: a shadow rebuilt while a window draws must not move
    // the rest of that window's drawing.
    int32_t ox = skin.origin_x, oy = skin.origin_y;
    Img *old_target = skin.target;
    skin.target = image;
    ImgBlitter old = img_set_blitter(alpha_blitter);
    skin_set_origin(0, 0);
    skin_frame(flags, x, y, w, h);
    img_set_blitter(old);
    skin.target = old_target;
    skin_set_origin(ox, oy);
}
