// The gallery scene's pixels: wall and picture columns, textured floor and ceiling rows
// and the cross-hair, all integer work per pixel (16.16 steps, texel copies). Texels are
// kept four bytes wide, so a pixel is one load and one four-byte store whose fourth byte
// lands on the pixel to its right, which is drawn afterwards: walls go left to right,
// and the floor, drawn after them, writes three bytes where a wall follows. Walls are
// drawn in bands of rows, so a column's pixels of one band stay in the cache for the
// columns beside it.
#include "rooms/gallery/g3dscene_draw.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "image/cache.h"
#include "image/clip.h"
#include "platform/log.h"
#include "platform/memory.h"
#include "platform/video.h"
#include "rooms/gallery/g3dscene.h"
#include "ui/skin.h"

namespace {

constexpr int32_t BAND_ROWS = 48;
constexpr int32_t TILE = 256;  // floor and ceiling tiles are TILE x TILE texels
constexpr double DEG = 2.0 * M_PI / 360.0;
constexpr double FIXED_LIMIT = 1e13;  // far beyond any row's reach; keeps the conversion defined
const char *const skin_picture = "img/active.img";  // the skin's icons

// One view column as drawn: worked out once per draw from the column table.
struct ColumnDraw {
    int32_t wall_top;         // view row of the wall's top
    const uint32_t *texels;   // the wall texture's column, one texel per texture row; null: none
    uint32_t step;            // texel rows per view row, 16.16
    int32_t picture_top, picture_bottom;  // view rows; equal: no picture
    const uint8_t *picture;   // the picture's column at its row 0
    int32_t picture_stride;
    bool picture_inside;      // not the picture's last column: a texel's fourth byte is its neighbour's
    int64_t picture_first, picture_step;
};

struct Rect {
    int32_t x0, y0, x1, y1;
};

struct DrawState {
    ColumnDraw columns[G3D_VIEW_MAX];
    int32_t heights[G3D_VIEW_MAX];  // wall heights, compact for the floor rows' test
    int32_t tallest;                // of the columns drawn
    uint32_t *floor, *ceiling;      // TILE x TILE texels, row by row
    uint32_t *walls[G3D_TEXTURES];  // wall textures, column by column
    double reach;                   // (D / cos(fov / 2)) * 64 / 2: a row's distance times (r + 0.5)
    double left_cos, left_sin, right_cos, right_sin;  // the view's edge directions
    Rect open;                      // dirty runs gathered into one rectangle, not drawn yet
};
DrawState g3d;

uint32_t to_fixed(double v)
{
    v = std::clamp(v, -FIXED_LIMIT, FIXED_LIMIT);
    return (uint32_t)(int64_t)(v * 65536.0);  // only the low 24 bits are used: wrapping is harmless
}

inline uint32_t texel_of(const uint8_t *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16;
}

// A pixel of three bytes, or of four where the fourth is the next pixel's and drawn later.
inline void put3(uint8_t *d, uint32_t t)
{
    d[0] = (uint8_t)t;
    d[1] = (uint8_t)(t >> 8);
    d[2] = (uint8_t)(t >> 16);
}
inline void put4(uint8_t *d, uint32_t t)
{
    memcpy(d, &t, 4);
}
template <bool Spill> inline void put(uint8_t *d, uint32_t t)
{
    if (Spill)
        put4(d, t);
    else
        put3(d, t);
}

uint32_t *tile_texels(int32_t handle)
{
    Img *img = (Img *)cache_lock(handle);
    ImgView v;
    img_view(&v, img, 0, 0);
    uint32_t *t = (uint32_t *)io_mem_alloc((size_t)TILE * TILE * 4);
    for (int32_t y = 0; y < TILE; y++)
        for (int32_t x = 0; x < TILE; x++)
            t[y * TILE + x] = texel_of(v.colour + (ptrdiff_t)y * v.colour_stride + x * 3);
    cache_unlock(handle);
    return t;
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
        int32_t number = col.wall >= 0 ? g3d_walls[col.wall].texture : -1;
        const Img *tex = number >= 0 ? s.textures[number] : nullptr;
        if (tex && g3d.walls[number]) {
            // f reaches 64 on a cell's mirrored edge: that is still the last column.
            int32_t tc = std::clamp((int32_t)(tex->width * f * (1.0 / G3D_WALL_HIGH)), 0, tex->width - 1);
            d.texels = g3d.walls[number] + (size_t)tc * tex->height;
            d.step = (uint32_t)(((int64_t)tex->height << 16) / col.height);
        }
        G3dPictureSpan span;
        if (cell >= 0 && g3dscene_picture_span(cell, f, col.height, &span)) {
            ImgView v;
            img_view(&v, (Img *)span.picture, span.column, 0);
            d.picture = v.colour;
            d.picture_stride = v.colour_stride;
            d.picture_inside = span.column + 1 < span.picture->width;
            d.picture_top = span.top;
            d.picture_bottom = span.bottom;
            d.picture_first = span.first;
            d.picture_step = span.step;
        }
    }
}

// n texels down a wall column from texel row acc >> 16.
template <bool Spill>
void wall_run(uint8_t *dst, ptrdiff_t pitch, const uint32_t *texels, uint32_t acc, uint32_t step, int32_t n)
{
    for (; n > 0; n--, dst += pitch, acc += step)
        put<Spill>(dst, texels[acc >> 16]);
}

// The same down a picture's column. Away from the picture's last column the four bytes
// at a texel are its own three and its neighbour's first, copied as they are.
enum { PICTURE_THREE, PICTURE_SPILL, PICTURE_RAW };
template <int Mode>
void picture_run(uint8_t *dst, ptrdiff_t pitch, const uint8_t *texels, ptrdiff_t stride, int64_t acc, int64_t step,
                 int32_t n)
{
    for (; n > 0; n--, dst += pitch, acc += step) {
        const uint8_t *t = texels + (acc >> 16) * stride;
        if (Mode == PICTURE_RAW)
            memcpy(dst, t, 4);
        else
            put<Mode == PICTURE_SPILL>(dst, texel_of(t));
    }
}

// One column's wall and picture in the view rows v0 .. v1 - 1.
template <bool Spill> void wall_column(const ColumnDraw &d, int32_t height, uint8_t *dst, int32_t v0, int32_t v1)
{
    const ptrdiff_t pitch = screen.pitch;
    // Three pieces down the column: wall above the picture, picture, wall below.
    int32_t wall_bottom = d.wall_top + height;
    int32_t cut[4] = {d.wall_top, d.picture_top, d.picture_bottom, wall_bottom};
    if (d.picture_top >= d.picture_bottom)
        cut[1] = cut[2] = wall_bottom;
    for (int32_t piece = 0; piece < 3; piece++) {
        int32_t a = std::max(cut[piece], v0), b = std::min(cut[piece + 1], v1);
        if (a >= b)
            continue;
        uint8_t *p = dst + (ptrdiff_t)(a - v0) * pitch;
        if (piece == 1)
        {
            int64_t acc = d.picture_first + (int64_t)(a - d.picture_top) * d.picture_step;
            if (Spill && d.picture_inside)
                picture_run<PICTURE_RAW>(p, pitch, d.picture, d.picture_stride, acc, d.picture_step, b - a);
            else
                picture_run<Spill ? PICTURE_SPILL : PICTURE_THREE>(p, pitch, d.picture, d.picture_stride, acc,
                                                                   d.picture_step, b - a);
        }
        else if (d.texels)
            wall_run<Spill>(p, pitch, d.texels, (uint32_t)(a - d.wall_top) * d.step, d.step, b - a);
    }
}

// Walls and pictures of the screen columns x0 .. x1 - 1 in the view rows v0 .. v1 - 1.
void draw_wall_band(int32_t x0, int32_t x1, int32_t v0, int32_t v1)
{
    const G3dScene &s = g3dscene;
    uint8_t *row0 = screen.buf + (ptrdiff_t)(s.top + v0) * screen.pitch;
    for (int32_t x = x0; x < x1; x++) {
        int32_t c = x - s.left, h = g3d.heights[c];
        if (h < 1)
            continue;
        if (x + 1 < x1)
            wall_column<true>(g3d.columns[c], h, row0 + (ptrdiff_t)x * 3, v0, v1);
        else  // the rectangle's last column: the pixel to its right is not ours
            wall_column<false>(g3d.columns[c], h, row0 + (ptrdiff_t)x * 3, v0, v1);
    }
}

// Pixels first .. last - 1 of a floor row and of its ceiling row (either may be null),
// from the 16.16 tile coordinates (fx, fy) stepping by (sx, sy); the last pixel is
// written in three bytes, as a wall or the rectangle's edge follows it.
template <bool Floor, bool Ceiling>
void floor_run(uint8_t *floor_row, uint8_t *ceiling_row, int32_t first, int32_t last, uint32_t fx, uint32_t fy,
               uint32_t sx, uint32_t sy)
{
    const uint32_t *ft = g3d.floor, *ct = g3d.ceiling;
    uint8_t *fd = floor_row + (ptrdiff_t)first * 3, *cd = ceiling_row + (ptrdiff_t)first * 3;
    for (int32_t i = first; i < last - 1; i++, fd += 3, cd += 3, fx += sx, fy += sy) {
        uint32_t at = ((fy >> 8) & 0xFF00) | ((fx >> 16) & 0xFF);
        if (Floor)
            put4(fd, ft[at]);
        if (Ceiling)
            put4(cd, ct[at]);
    }
    uint32_t at = ((fy >> 8) & 0xFF00) | ((fx >> 16) & 0xFF);
    if (Floor)
        put3(fd, ft[at]);
    if (Ceiling)
        put3(cd, ct[at]);
}

// A floor row r rows below the horizon and its ceiling row above it, over the screen
// columns x0 .. x1 - 1, where the walls leave them showing (wall height at most 2r).
template <bool Floor, bool Ceiling>
void floor_pair(int32_t r, uint8_t *floor_row, uint8_t *ceiling_row, int32_t x0, int32_t x1)
{
    const G3dScene &s = g3dscene;
    double e = g3d.reach / (r + 0.5);
    double lx = s.x + g3d.left_cos * e, ly = -(s.y + g3d.left_sin * e);
    double rx = s.x + g3d.right_cos * e, ry = -(s.y + g3d.right_sin * e);
    uint32_t sx = to_fixed((rx - lx) / s.width), sy = to_fixed((ry - ly) / s.width);
    int32_t c0 = x0 - s.left, n = x1 - x0, limit = 2 * r;
    uint32_t fx = to_fixed(lx) + (uint32_t)c0 * sx, fy = to_fixed(ly) + (uint32_t)c0 * sy;
    floor_row += (ptrdiff_t)x0 * 3;
    ceiling_row += (ptrdiff_t)x0 * 3;
    if (g3d.tallest <= limit) {  // the whole row shows
        floor_run<Floor, Ceiling>(floor_row, ceiling_row, 0, n, fx, fy, sx, sy);
        return;
    }
    const int32_t *heights = g3d.heights + c0;
    for (int32_t i = 0; i < n;) {
        if (heights[i] > limit) {
            i++;
            continue;
        }
        int32_t j = i + 1;
        while (j < n && heights[j] <= limit)
            j++;
        floor_run<Floor, Ceiling>(floor_row, ceiling_row, i, j, fx + (uint32_t)i * sx, fy + (uint32_t)i * sy, sx, sy);
        i = j;
    }
}

// Floor rows lie at H / 2 + r and ceiling rows at H / 2 - r - 1, for r from half the
// smallest wall height up; the two rows of one r share their tile coordinates.
void draw_floor_rows(const Rect &rect)
{
    const G3dScene &s = g3dscene;
    int32_t half = s.height / 2, v0 = rect.y0 - s.top, v1 = rect.y1 - s.top;
    int32_t r_end = std::max(v1 - half, half - v0);
    for (int32_t r = s.smallest_height / 2; r < r_end; r++) {
        int32_t fv = half + r, cv = half - 1 - r;
        bool floor = fv >= v0 && fv < v1, ceiling = cv >= v0 && cv < v1;
        uint8_t *frow = floor ? screen.buf + (ptrdiff_t)(s.top + fv) * screen.pitch : nullptr;
        uint8_t *crow = ceiling ? screen.buf + (ptrdiff_t)(s.top + cv) * screen.pitch : nullptr;
        if (floor && ceiling)
            floor_pair<true, true>(r, frow, crow, rect.x0, rect.x1);
        else if (floor)
            floor_pair<true, false>(r, frow, frow, rect.x0, rect.x1);
        else if (ceiling)
            floor_pair<false, true>(r, crow, crow, rect.x0, rect.x1);
    }
}

// The scene in one rectangle of the screen: walls band by band, then floor and ceiling.
void draw_rect(const Rect &rect)
{
    const G3dScene &s = g3dscene;
    for (int32_t band = rect.y0; band < rect.y1; band += BAND_ROWS)
        draw_wall_band(rect.x0, rect.x1, band - s.top, std::min(band + BAND_ROWS, rect.y1) - s.top);
    draw_floor_rows(rect);
}

// Dirty runs one below the other with the same columns are drawn as one rectangle, so
// that a floor row and its ceiling row are mostly drawn together.
void flush_open(void)
{
    if (g3d.open.x0 < g3d.open.x1)
        draw_rect(g3d.open);
    g3d.open = {0, 0, 0, 0};
}

void dirty_run(int32_t x, int32_t y, int32_t w, int32_t h, void *)
{
    Rect &o = g3d.open;
    if (o.x0 < o.x1 && o.x0 == x && o.x1 == x + w && o.y1 == y) {
        o.y1 = y + h;
        return;
    }
    flush_open();
    o = {x, y, x + w, y + h};
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
    if (!g3d.floor)
        io_error("g3dscene_draw: g3dscene_init has not run");
    if (screen.bytes_per_pixel != 3)
        io_error("g3dscene_draw: the screen is not 24-bit");
    if (s.width < 1)
        return;
    // The rectangle, the view and the screen in common.
    int64_t x0 = std::max<int64_t>({clip_x, s.left, 0}), y0 = std::max<int64_t>({clip_y, s.top, 0});
    int64_t x1 = std::min<int64_t>({(int64_t)clip_x + clip_w, (int64_t)s.left + s.width, screen.width});
    int64_t y1 = std::min<int64_t>({(int64_t)clip_y + clip_h, (int64_t)s.top + s.height, screen.height});
    if (x0 >= x1 || y0 >= y1)
        return;
    prepare_columns((int32_t)(x0 - s.left), (int32_t)(x1 - s.left));
    double half_fov = s.fov * 0.5 * DEG;
    g3d.reach = s.focal / std::cos(half_fov) * G3D_WALL_HIGH / 2.0;
    g3d.left_cos = std::cos(s.heading * DEG + half_fov);
    g3d.left_sin = std::sin(s.heading * DEG + half_fov);
    g3d.right_cos = std::cos(s.heading * DEG - half_fov);
    g3d.right_sin = std::sin(s.heading * DEG - half_fov);
    if (clip_grid()->flags) {
        clip_each_dirty((int32_t)x0, (int32_t)y0, (int32_t)(x1 - x0), (int32_t)(y1 - y0), dirty_run, nullptr);
        flush_open();
    } else {
        draw_rect({(int32_t)x0, (int32_t)y0, (int32_t)x1, (int32_t)y1});
    }
    if (s.cross_hair)
        draw_cross_hair((int32_t)x0, (int32_t)y0, (int32_t)x1, (int32_t)y1);
}

void g3d_texels_make(void)
{
    g3d_texels_free();
    g3d.floor = tile_texels(g3dscene.floor_image);
    g3d.ceiling = tile_texels(g3dscene.ceiling_image);
    for (int32_t i = 0; i < G3D_TEXTURES; i++) {
        Img *tex = g3dscene.textures[i];
        ImgView v;
        img_view(&v, tex, 0, 0);
        uint32_t *t = g3d.walls[i] = (uint32_t *)io_mem_alloc((size_t)tex->width * tex->height * 4);
        for (int32_t x = 0; x < tex->width; x++)
            for (int32_t y = 0; y < tex->height; y++)
                *t++ = texel_of(v.colour + (ptrdiff_t)y * v.colour_stride + x * 3);
    }
}

void g3d_texels_free(void)
{
    for (uint32_t **t : {&g3d.floor, &g3d.ceiling, &g3d.walls[0], &g3d.walls[1], &g3d.walls[2], &g3d.walls[3]}) {
        io_mem_free(*t);
        *t = nullptr;
    }
}
