// The gallery scene's pixels: textured floor and ceiling rows, wall and picture columns
// and the cross-hair, all integer work per pixel (16.16 steps, three-byte texel copies).
// The view is drawn in bands of rows so that a column's pixels of one band stay in the
// cache for the columns beside it.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "image/cache.h"
#include "image/clip.h"
#include "platform/log.h"
#include "platform/video.h"
#include "rooms/gallery/g3dscene.h"
#include "ui/skin.h"

namespace {

constexpr int32_t BAND_ROWS = 48;
constexpr double DEG = 2.0 * M_PI / 360.0;
constexpr double FIXED_LIMIT = 1e13;  // far beyond any row's reach; keeps the conversion defined
const char *const skin_picture = "img/active.img";  // the skin's icons

// One view column as drawn: worked out once per draw from the column table.
struct ColumnDraw {
    int32_t wall_top;         // view row of the wall's top
    const uint8_t *texels;    // the wall texture's column at texel row 0; null: no wall
    int32_t texel_stride;
    int64_t step;             // texel rows per view row, 16.16
    int32_t picture_top, picture_bottom;  // view rows; equal: none
    const uint8_t *picture;   // the picture's column at texel row 0
    int32_t picture_stride;
    int64_t picture_first, picture_step;
};

// A floor or ceiling tile: 256 x 256 texels of three bytes.
struct Tile {
    const uint8_t *texels;
    int32_t stride;
};

struct DrawState {
    ColumnDraw columns[G3D_VIEW_MAX];
    int32_t heights[G3D_VIEW_MAX];  // wall heights, compact for the floor rows' test
    int32_t tallest;                // of the columns drawn
    Tile floor, ceiling;
    double reach;                   // (D / cos(fov / 2)) * 64 / 2: a row's distance times (r + 0.5)
    double left_cos, left_sin, right_cos, right_sin;  // the view's edge directions
};
DrawState g3d;

uint32_t to_fixed(double v)
{
    v = std::clamp(v, -FIXED_LIMIT, FIXED_LIMIT);
    return (uint32_t)(int64_t)(v * 65536.0);  // only the low 24 bits are used: wrapping is harmless
}

Tile tile_of(int32_t handle)
{
    Img *img = (Img *)cache_lock(handle);
    ImgView v;
    img_view(&v, img, 0, 0);
    return {v.colour, v.colour_stride};
}

// The column table turned into pointers, steps and rows for the columns c0 .. c1 - 1.
void prepare_columns(int32_t c0, int32_t c1)
{
    const G3dScene &s = g3dscene;
    g3d.tallest = 0;
    for (int32_t c = c0; c < c1; c++) {
        const G3dColumn &col = s.columns[c];
        ColumnDraw &d = g3d.columns[c];
        g3d.heights[c] = col.height;
        g3d.tallest = std::max(g3d.tallest, col.height);
        d.texels = nullptr;
        d.picture_top = d.picture_bottom = 0;
        if (col.height < 1)
            continue;
        double f = 0;
        int32_t cell = g3dscene_cell(&col, &f);
        d.wall_top = s.height / 2 - col.height / 2;
        Img *tex = col.wall >= 0 ? s.textures[g3d_walls[col.wall].texture] : nullptr;
        if (tex && tex->width > 0 && tex->height > 0) {
            // f reaches 64 on a cell's mirrored edge: that is still the last column.
            int32_t tc = std::clamp((int32_t)(tex->width * f * (1.0 / G3D_WALL_HIGH)), 0, tex->width - 1);
            ImgView v;
            img_view(&v, tex, tc, 0);
            d.texels = v.colour;
            d.texel_stride = v.colour_stride;
            d.step = ((int64_t)tex->height << 16) / col.height;
        }
        G3dPictureSpan span;
        if (cell >= 0 && g3dscene_picture_span(cell, f, col.height, &span)) {
            ImgView v;
            img_view(&v, (Img *)span.picture, span.column, 0);
            d.picture = v.colour;
            d.picture_stride = v.colour_stride;
            d.picture_top = span.top;
            d.picture_bottom = span.bottom;
            d.picture_first = span.first;
            d.picture_step = span.step;
        }
    }
}

// Copies n texels down a column: the texel row is acc >> 16.
inline void copy_column(uint8_t *dst, ptrdiff_t pitch, const uint8_t *texels, ptrdiff_t stride, int64_t acc,
                        int64_t step, int32_t n)
{
    for (; n > 0; n--, dst += pitch, acc += step) {
        const uint8_t *t = texels + (acc >> 16) * stride;
        dst[0] = t[0];
        dst[1] = t[1];
        dst[2] = t[2];
    }
}

// Walls and pictures of the screen columns x0 .. x1 - 1 in the view rows v0 .. v1 - 1.
void draw_wall_band(int32_t x0, int32_t x1, int32_t v0, int32_t v1)
{
    const G3dScene &s = g3dscene;
    const ptrdiff_t pitch = screen.pitch, bpp = screen.bytes_per_pixel;
    uint8_t *row0 = screen.buf + (ptrdiff_t)(s.top + v0) * pitch;
    for (int32_t x = x0; x < x1; x++) {
        int32_t c = x - s.left, h = g3d.heights[c];
        if (h < 1)
            continue;
        const ColumnDraw &d = g3d.columns[c];
        int32_t wall_bottom = d.wall_top + h;
        uint8_t *dst = row0 + x * bpp;
        // Three pieces down the column: wall above the picture, picture, wall below.
        int32_t cut[4] = {d.wall_top, d.picture_top, d.picture_bottom, wall_bottom};
        if (d.picture_top >= d.picture_bottom)
            cut[1] = cut[2] = wall_bottom;
        for (int32_t piece = 0; piece < 3; piece++) {
            int32_t a = std::max(cut[piece], v0), b = std::min(cut[piece + 1], v1);
            if (a >= b)
                continue;
            uint8_t *p = dst + (ptrdiff_t)(a - v0) * pitch;
            if (piece == 1)
                copy_column(p, pitch, d.picture, d.picture_stride,
                            d.picture_first + (int64_t)(a - d.picture_top) * d.picture_step, d.picture_step, b - a);
            else if (d.texels)
                copy_column(p, pitch, d.texels, d.texel_stride, (int64_t)(a - d.wall_top) * d.step, d.step, b - a);
        }
    }
}

// One floor or ceiling row, r rows from the horizon, over the screen columns x0 .. x1 - 1;
// only where the wall leaves it showing (wall height at most 2r).
void draw_floor_row(const Tile &tile, int32_t r, int32_t view_row, int32_t x0, int32_t x1)
{
    const G3dScene &s = g3dscene;
    double e = g3d.reach / (r + 0.5);
    double lx = s.x + g3d.left_cos * e, ly = -(s.y + g3d.left_sin * e);
    double rx = s.x + g3d.right_cos * e, ry = -(s.y + g3d.right_sin * e);
    uint32_t sx = to_fixed((rx - lx) / s.width), sy = to_fixed((ry - ly) / s.width);
    uint32_t c0 = (uint32_t)(x0 - s.left);
    uint32_t fx = to_fixed(lx) + c0 * sx, fy = to_fixed(ly) + c0 * sy;
    const ptrdiff_t bpp = screen.bytes_per_pixel, stride = tile.stride;
    uint8_t *dst = screen.buf + (ptrdiff_t)(s.top + view_row) * screen.pitch + (ptrdiff_t)x0 * bpp;
    const uint8_t *tex = tile.texels;
    const int32_t *heights = g3d.heights + c0, n = x1 - x0, limit = 2 * r;
    if (g3d.tallest <= limit) {  // the whole row shows
        for (int32_t i = 0; i < n; i++, dst += bpp, fx += sx, fy += sy) {
            const uint8_t *t = tex + ((fy >> 16) & 255) * stride + ((fx >> 16) & 255) * 3;
            dst[0] = t[0];
            dst[1] = t[1];
            dst[2] = t[2];
        }
        return;
    }
    for (int32_t i = 0; i < n; i++, dst += bpp, fx += sx, fy += sy) {
        if (heights[i] > limit)
            continue;
        const uint8_t *t = tex + ((fy >> 16) & 255) * stride + ((fx >> 16) & 255) * 3;
        dst[0] = t[0];
        dst[1] = t[1];
        dst[2] = t[2];
    }
}

// Floor and ceiling rows of the view rows v0 .. v1 - 1: floor rows lie at H / 2 + r,
// ceiling rows at H / 2 - r - 1, for r from half the smallest wall height up.
void draw_floor_band(int32_t x0, int32_t x1, int32_t v0, int32_t v1)
{
    const G3dScene &s = g3dscene;
    int32_t half = s.height / 2, first = s.smallest_height / 2;
    if (half <= first)
        return;
    for (int32_t v = v0; v < v1; v++) {
        if (v >= half + first)
            draw_floor_row(g3d.floor, v - half, v, x0, x1);
        else if (v < half - first)
            draw_floor_row(g3d.ceiling, half - 1 - v, v, x0, x1);
    }
}

// The scene in one rectangle of the screen, band by band.
void draw_piece(int32_t x, int32_t y, int32_t w, int32_t h, void *)
{
    const G3dScene &s = g3dscene;
    for (int32_t band = y; band < y + h; band += BAND_ROWS) {
        int32_t v0 = band - s.top, v1 = std::min(band + BAND_ROWS, y + h) - s.top;
        draw_floor_band(x, x + w, v0, v1);
        draw_wall_band(x, x + w, v0, v1);
    }
}

// Skin image 40 centred on the view's centre, cut to the rectangle.
void draw_cross_hair(int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    const G3dScene &s = g3dscene;
    const SkinRect &r = skin_icon_rects[G3D_CROSS_HAIR_IMAGE];
    int32_t x = s.left + s.width / 2 - r.w / 2, y = s.top + s.height / 2 - r.h / 2;
    int32_t cx0 = std::max(x, x0), cy0 = std::max(y, y0);
    int32_t cx1 = std::min(x + r.w, x1), cy1 = std::min(y + r.h, y1);
    if (cx0 < cx1 && cy0 < cy1)
        cache_draw(cache_get(skin_picture), cx0, cy0, r.x + cx0 - x, r.y + cy0 - y, cx1 - cx0, cy1 - cy0);
}

}  // namespace

void g3dscene_draw(int32_t clip_x, int32_t clip_y, int32_t clip_w, int32_t clip_h)
{
    if (!screen.buf)
        io_error("g3dscene_draw: screen.buf is NULL");
    const G3dScene &s = g3dscene;
    if (!s.textures[0])
        io_error("g3dscene_draw: g3dscene_init has not run");
    if (s.width < 1)
        return;
    // The rectangle, the view and the screen in common.
    int64_t x0 = std::max<int64_t>({clip_x, s.left, 0}), y0 = std::max<int64_t>({clip_y, s.top, 0});
    int64_t x1 = std::min<int64_t>({(int64_t)clip_x + clip_w, (int64_t)s.left + s.width, screen.width});
    int64_t y1 = std::min<int64_t>({(int64_t)clip_y + clip_h, (int64_t)s.top + s.height, screen.height});
    if (x0 >= x1 || y0 >= y1)
        return;
    prepare_columns((int32_t)(x0 - s.left), (int32_t)(x1 - s.left));
    g3d.floor = tile_of(s.floor_image);
    g3d.ceiling = tile_of(s.ceiling_image);
    double half_fov = s.fov * 0.5 * DEG;
    g3d.reach = s.focal / std::cos(half_fov) * G3D_WALL_HIGH / 2.0;
    g3d.left_cos = std::cos(s.heading * DEG + half_fov);
    g3d.left_sin = std::sin(s.heading * DEG + half_fov);
    g3d.right_cos = std::cos(s.heading * DEG - half_fov);
    g3d.right_sin = std::sin(s.heading * DEG - half_fov);
    int32_t w = (int32_t)(x1 - x0), h = (int32_t)(y1 - y0);
    if (clip_grid()->flags)
        clip_each_dirty((int32_t)x0, (int32_t)y0, w, h, draw_piece, nullptr);
    else
        draw_piece((int32_t)x0, (int32_t)y0, w, h, nullptr);
    cache_unlock(s.ceiling_image);
    cache_unlock(s.floor_image);
    if (s.cross_hair)
        draw_cross_hair((int32_t)x0, (int32_t)y0, (int32_t)x1, (int32_t)y1);
}
