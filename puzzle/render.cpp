// Piece rendering: the lighting tables, each piece's quads and boxes from its position,
// lift and angle, the runs that let upright and quarter-turned pieces skip the pixels
// that need no work, and the scan conversion that draws a body or a shadow into the
// table image through one of six span routines.
#include "puzzle/piece.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <utility>
#if defined(__SSE2__) && defined(__x86_64__)
#include <emmintrin.h>
#endif

#include "image/clip.h"
#include "kernel/memory.h"

PieceScene piece_scene;
uint8_t light_background[65536];
uint8_t light_colour[262144];
uint16_t light_of_shape[65536];

// The module's own tables.
static struct {
    // light_background turned about, [(a << 8) | t], so that the three bytes of one
    // pixel look up one 256-byte row.
    uint8_t keep[32 * 256];
    // The brightness L = truncate(l × 255 / 31 + 0.5) of each 10-bit relief code's light
    // level l, made on first use.
    uint8_t brightness[1024];
    bool brightness_ready;
} render;

// Test hook: when set, quarter-turned pieces go through the general spans, so that tests
// can hold the axis-aligned spans to the same pixels.
int piece_force_general;

// The light comes from the upper left and in front (x right, y up, z towards the viewer);
// the viewer looks straight down the z axis.
static constexpr double LIGHT_X = -0.57735026918963;
static constexpr double LIGHT_Y = 0.57735026918963;
static constexpr double LIGHT_Z = 0.57735026918963;
static constexpr double LIGHT_DIFFUSE = 0.0655;
static constexpr double LIGHT_SPECULAR = 0.4585;
static constexpr double LIGHT_AMBIENT = 0.2;

// Larger shape images could overflow the 16.16 source coordinates, which step once past
// a span's last pixel.
static constexpr int32_t RENDER_MAX_SHAPE_SIDE = 8192;

static constexpr PieceBox RENDER_NO_BOX = {0, 0, -1, -1};

// Upright rows are lit sixteen colour bytes at a time, in rows of at least six pixels.
static constexpr int32_t RENDER_BLOCK_BYTES = 16;
static constexpr int32_t RENDER_BLOCK_ROW = 6;

// The SSE2 paths take 64-bit moves out of vector registers.
#if defined(__SSE2__) && defined(__x86_64__)
#define RENDER_SSE2 1
#else
#define RENDER_SSE2 0
#endif

// --- lighting ---

int32_t light_level(int32_t code)
{
    code &= 0x3FF;
    double nx = 0, ny = 0, nz = 1;
    if (code != 0) {
        int32_t azimuth = ((code >> 4) & 63) * 360 >> 6;
        int32_t elevation = (15 - (code & 15)) * 90 / 15;
        double a = azimuth * std::numbers::pi / 180, e = elevation * std::numbers::pi / 180;
        nx = std::cos(a) * std::cos(e);
        ny = std::sin(a) * std::cos(e);
        nz = std::sin(e);
        double length = std::sqrt(nx * nx + ny * ny + nz * nz);
        nx /= length, ny /= length, nz /= length;
    }
    double d = nx * LIGHT_X + ny * LIGHT_Y + nz * LIGHT_Z;
    double diffuse = d > 0 ? LIGHT_DIFFUSE * d : 0;
    // The view vector is (0, 0, 1), so only the z part of the reflection 2 d n - L counts.
    double s = 2 * d * nz - LIGHT_Z;
    double specular = s > 0 ? LIGHT_SPECULAR * s : 0;
    int32_t level = (int32_t)((specular + diffuse + LIGHT_AMBIENT) * 255 + 0.5);
    return level >> 3;
}

void light_tables_build(void)
{
    for (int32_t v = 0; v < 256; v++)
        for (int32_t i = 0; i < 256; i++)
            light_background[v << 8 | i] = (uint8_t)(v * (31 - (i & 31)) / 31.0 + 0.5);
    for (int32_t a = 0; a < 32; a++)
        for (int32_t t = 0; t < 256; t++)
            render.keep[a << 8 | t] = light_background[t << 8 | a];
    for (int32_t l = 0; l < 32; l++) {
        int32_t L = (int32_t)(l * 255 / 31.0 + 0.5);
        for (int32_t p = 0; p < 256; p++) {
            // Up to level 16 the picture darkens towards black, above it brightens to white.
            int32_t v = L <= 128 ? (L * p) >> 7 : ((255 - L) * p + (L - 128) * 255) / 127;
            for (int32_t a = 0; a < 32; a++)
                light_colour[l << 13 | a << 8 | p] = (uint8_t)(a * v / 31.0 + 0.5);
        }
    }
    int32_t levels[1024];
    for (int32_t code = 0; code < 1024; code++)
        levels[code] = light_level(code);
    // The upper half repeats the lower, so an azimuth turned past 63 wraps into bit 15.
    for (int32_t s = 0; s < 32768; s++)
        light_of_shape[s] = light_of_shape[s | 0x8000] = (uint16_t)((s & 31) << 6 | levels[(s >> 5) & 0x3FF] << 11);
}

// --- geometry ---

static int32_t angle_normal(int32_t angle)
{
    int32_t a = angle % 360;
    return a < 0 ? a + 360 : a;
}

// Quarter turns are exact, so axis-aligned pieces land on whole pixels.
static void angle_turn(int32_t angle, double *c, double *s)
{
    switch (angle) {
    case 0: *c = 1, *s = 0; return;
    case 90: *c = 0, *s = 1; return;
    case 180: *c = -1, *s = 0; return;
    case 270: *c = 0, *s = -1; return;
    }
    double t = angle * std::numbers::pi / 180;
    *c = std::cos(t);
    *s = std::sin(t);
}

static const Shape *piece_shape(const Piece *piece)
{
    if (!piece_scene.shapes || piece->shape < 0 || piece->shape >= piece_scene.shape_count)
        return nullptr;
    const Shape *shape = &piece_scene.shapes[piece->shape];
    const Img *r = shape->relief;
    if (!r || r->format != IMG_555 || r->width < 1 || r->height < 1 || r->width > RENDER_MAX_SHAPE_SIDE ||
        r->height > RENDER_MAX_SHAPE_SIDE)
        return nullptr;
    return shape;
}

static const Img *shape_shadow(const Shape *shape)
{
    const Img *s = shape->shadow;
    if (!s || s->format != IMG_8BIT || s->width < 1 || s->height < 1 || s->width > RENDER_MAX_SHAPE_SIDE ||
        s->height > RENDER_MAX_SHAPE_SIDE)
        return nullptr;
    return s;
}

static void rect_corners(QuadPoint out[4], double x, double y, int32_t w, int32_t h)
{
    out[0] = {x, y};
    out[1] = {x + w - 1, y};
    out[2] = {x + w - 1, y + h - 1};
    out[3] = {x, y + h - 1};
}

// Turns the corners about the piece position, moves them there and rounds half away
// from zero (std::round).
static void quad_place(QuadPoint quad[4], const QuadPoint corner[4], double c, double s, double px, double py)
{
    for (int i = 0; i < 4; i++) {
        double x = corner[i].x, y = corner[i].y;
        quad[i].x = std::round(x * c + y * s + px);
        quad[i].y = std::round(y * c - x * s + py);
    }
}

// In quarter q the leftmost corner is q, then top, right and bottom follow in corner order.
static PieceBox quad_box(const QuadPoint quad[4], int32_t quarter)
{
    const Img *table = piece_scene.table;
    if (!table)
        return RENDER_NO_BOX;
    double x0 = quad[quarter].x, y0 = quad[(quarter + 1) & 3].y;
    double x1 = quad[(quarter + 2) & 3].x, y1 = quad[(quarter + 3) & 3].y;
    double right = table->width - 1, bottom = table->height - 1;
    if (!(x1 >= 0 && y1 >= 0 && x0 <= right && y0 <= bottom))
        return RENDER_NO_BOX;
    return {(int32_t)std::max(x0, 0.0), (int32_t)std::max(y0, 0.0), (int32_t)std::min(x1, right),
            (int32_t)std::min(y1, bottom)};
}

static bool box_empty(const PieceBox &b)
{
    return b.x1 < 0 || b.x1 < b.x0 || b.y1 < b.y0;
}

void piece_geometry_update(Piece *piece)
{
    piece->drawn_x = piece->x;
    piece->drawn_y = piece->y;
    piece->drawn_lift = piece->lift;
    piece->drawn_angle = piece->angle;
    piece->body_box = piece->shadow_box = RENDER_NO_BOX;
    const Shape *shape = piece_shape(piece);
    if (!shape)
        return;
    int32_t angle = angle_normal(piece->angle);
    double c, s;
    angle_turn(angle, &c, &s);
    QuadPoint corner[4];
    rect_corners(piece->body_source, 0, 0, shape->relief->width, shape->relief->height);
    quad_place(piece->body_quad, piece->body_source, c, s, piece->x, piece->y);
    piece->body_box = quad_box(piece->body_quad, angle / 90);
    const Img *shadow = shape_shadow(shape);
    if (!shadow)
        return;
    rect_corners(piece->shadow_source, 0, 0, shadow->width, shadow->height);
    rect_corners(corner, shape->shadow_x, shape->shadow_y, shadow->width, shadow->height);
    double lift = piece->lift;
    quad_place(piece->shadow_quad, corner, c, s, piece->x + lift, piece->y + lift);
    if (piece->lift != 0)
        piece->shadow_box = quad_box(piece->shadow_quad, angle / 90);
}

void piece_dirty_rect(const Piece *piece)
{
    const PieceBox &a = piece->body_box, &b = piece->shadow_box;
    PieceBox u;
    if (box_empty(a) && box_empty(b))
        return;
    if (box_empty(a))
        u = b;
    else if (box_empty(b))
        u = a;
    else
        u = {std::min(a.x0, b.x0), std::min(a.y0, b.y0), std::max(a.x1, b.x1), std::max(a.y1, b.y1)};
    clip_invalidate(u.x0, u.y0, u.x1 - u.x0 + 1, u.y1 - u.y0 + 1);
}

// --- runs ---

// 0 transparent, 1 flat, 2 lit. Bit 15 alone makes a pixel flat, here as in every span
// routine: relief codes use ten bits, so the cutter sets bit 15 only on opaque flat
// pixels, and a stray one must not pick a light out of the table's repeated upper half.
static inline int32_t pixel_kind(uint32_t s)
{
    return s == 0 ? 0 : (s & SHAPE_FLAT) ? 1 : 2;
}

// The flat runs and lit pixels of `count` lines of n pixels each; line i starts at pixel
// i * line_step of r and goes on by `step`. Without tables (run_first null) it only
// counts them.
static void lines_cut(const uint16_t *r, int32_t count, ptrdiff_t line_step, int32_t n, ptrdiff_t step,
                      ShapeLines *out, uint32_t *run_first, ShapeRun *runs, uint32_t *lit_first, uint16_t *lit,
                      size_t *run_count, size_t *lit_count)
{
    size_t nr = 0, nl = 0;
    for (int32_t i = 0; i < count; i++) {
        const uint16_t *line = r + i * line_step;
        if (run_first) {
            run_first[i] = (uint32_t)nr;
            lit_first[i] = (uint32_t)nl;
        }
        for (int32_t x = 0; x < n;) {
            int32_t kind = pixel_kind(line[x * step]), end = x + 1;
            while (end < n && pixel_kind(line[end * step]) == kind)
                end++;
            if (kind == 1) {
                if (run_first)
                    runs[nr] = {(uint16_t)x, (uint16_t)end, (uint16_t)i};
                nr++;
            }
            for (int32_t k = x; kind == 2 && k < end; k++, nl++)
                if (run_first)
                    lit[nl] = (uint16_t)k;
            x = end;
        }
    }
    if (run_first) {
        run_first[count] = (uint32_t)nr;
        lit_first[count] = (uint32_t)nl;
        *out = {run_first, runs, lit_first, lit};
    }
    *run_count = nr;
    *lit_count = nl;
}

// The brightness L of every relief code's light level. Blocks are made whenever a shape
// is cut or loaded, whether the lighting tables were built yet or not.
static const uint8_t *light_brightness(void)
{
    if (!render.brightness_ready) {
        for (int32_t code = 0; code < 1024; code++)
            render.brightness[code] = (uint8_t)(light_level(code) * 255 / 31.0 + 0.5);
        render.brightness_ready = true;
    }
    return render.brightness;
}

// The lane word of a lit relief pixel upright (no azimuth shift), as lit_lanes takes it:
// m | 2a << 8 | bright << 15 with L its brightness, a its coverage, bright = L > 128 and
// m = L, or L - 128 when bright.
static inline uint16_t block_lane(uint32_t s, const uint8_t *brightness)
{
    uint32_t L = brightness[(s >> 5) & 0x3FF];
    return (uint16_t)((L > 128 ? (L - 128) | 0x8000 : L) | (s & 31) << 9);
}

// Places the blocks of one row of n >= 6 pixels over its lit pixels: a block starts at
// the first lit pixel not drawn yet, or ends with the row, and draws the lit pixels it
// covers whole from that one on. Calls put(offset, first) for each, first being the
// pixel it starts drawing at; returns how many.
template <class Put>
static uint32_t row_blocks(const uint16_t *row, int32_t n, Put put)
{
    uint32_t count = 0;
    for (int32_t x = 0; x < n; x++) {
        if (pixel_kind(row[x]) != 2)
            continue;
        int32_t offset = std::min(3 * x, 3 * n - RENDER_BLOCK_BYTES);
        put(offset, x);
        count++;
        x = (offset + RENDER_BLOCK_BYTES) / 3 - 1;
    }
    return count;
}

// Fills the `count` blocks of a w x h relief image (w >= 6) and their lanes. They go by
// their rank in their row, every row's first block, then every second one and so on:
// two blocks of one row may share a byte, and the second would wait on the first one's
// store if it came right after it. The order changes nothing else, as a block's lane
// words are 0 wherever another block draws.
static void blocks_fill(const uint16_t *r, int32_t w, int32_t h, size_t count, ShapeBlock *blocks, uint16_t *lanes)
{
    const uint8_t *brightness = light_brightness();
    ShapeBlock *placed = (ShapeBlock *)io_mem_alloc(count * (sizeof(ShapeBlock) + 2 * sizeof(uint16_t)));
    uint16_t *from = (uint16_t *)(placed + count), *rank = from + count;
    // A row holds fewer than w blocks, so ranks stay below w.
    uint32_t *rank_first = (uint32_t *)io_mem_alloc((size_t)(w + 1) * sizeof(uint32_t));
    memset(rank_first, 0, (size_t)(w + 1) * sizeof(uint32_t));
    size_t n = 0;
    for (int32_t y = 0; y < h; y++) {
        uint16_t k = 0;
        row_blocks(r + (ptrdiff_t)y * w, w, [&](int32_t offset, int32_t x) {
            placed[n] = {(uint16_t)y, (uint16_t)offset};
            from[n] = (uint16_t)x;
            rank[n++] = k;
            rank_first[++k]++;
        });
    }
    for (int32_t k = 1; k <= w; k++)
        rank_first[k] += rank_first[k - 1];
    for (size_t i = 0; i < n; i++) {
        uint32_t j = rank_first[rank[i]]++;
        const uint16_t *row = r + (ptrdiff_t)placed[i].row * w;
        int32_t offset = placed[i].offset;
        for (int32_t k = 0; k < RENDER_BLOCK_BYTES; k++) {
            // Byte k belongs to pixel x; only pixels wholly inside are drawn.
            int32_t x = (offset + k) / 3;
            bool whole = 3 * x >= offset && 3 * x + 3 <= offset + RENDER_BLOCK_BYTES;
            lanes[RENDER_BLOCK_BYTES * (size_t)j + k] =
                whole && x >= from[i] && pixel_kind(row[x]) == 2 ? block_lane(row[x], brightness) : 0;
        }
        blocks[j] = placed[i];
    }
    io_mem_free(rank_first);
    io_mem_free(placed);
}

void piece_runs_free(Shape *shape)
{
    io_mem_free(shape->runs);
    shape->runs = nullptr;
}

void piece_runs_build(Shape *shape)
{
    piece_runs_free(shape);
    Img *relief = shape->relief;
    if (!relief || relief->format != IMG_555 || relief->width < 1 || relief->height < 1 ||
        relief->width > RENDER_MAX_SHAPE_SIDE || relief->height > RENDER_MAX_SHAPE_SIDE)
        return;
    int32_t w, h, stride;
    const uint16_t *r = (const uint16_t *)img_pixels(relief, &stride, &w, &h);
    size_t row_runs, row_lits, column_runs, column_lits, blocks = 0;
    lines_cut(r, h, w, w, 1, nullptr, nullptr, nullptr, nullptr, nullptr, &row_runs, &row_lits);
    lines_cut(r, w, 1, h, w, nullptr, nullptr, nullptr, nullptr, nullptr, &column_runs, &column_lits);
    for (int32_t y = 0; w >= RENDER_BLOCK_ROW && y < h; y++)
        blocks += row_blocks(r + (ptrdiff_t)y * w, w, [](int32_t, int32_t) {});
    // One allocation: the record, the block lanes (16-byte aligned), the four indexes,
    // the runs, the blocks and the lit places.
    size_t head = (sizeof(ShapeRuns) + 15) & ~(size_t)15, lane_words = blocks * RENDER_BLOCK_BYTES;
    size_t index_words = (size_t)(h + 1 + w + 1) * 2;
    uint8_t *block = (uint8_t *)io_mem_alloc(head + lane_words * 2 + index_words * 4 +
                                             (row_runs + column_runs) * sizeof(ShapeRun) +
                                             blocks * sizeof(ShapeBlock) + (row_lits + column_lits) * 2);
    ShapeRuns *runs = (ShapeRuns *)block;
    uint16_t *lanes = (uint16_t *)(block + head);
    uint32_t *first = (uint32_t *)(lanes + lane_words);
    ShapeRun *run = (ShapeRun *)(first + index_words);
    ShapeBlock *placed = (ShapeBlock *)(run + row_runs + column_runs);
    uint16_t *lit = (uint16_t *)(placed + blocks);
    *runs = {};
    runs->width = w;
    runs->height = h;
    lines_cut(r, h, w, w, 1, &runs->rows, first, run, first + h + 1, lit, &row_runs, &row_lits);
    first += 2 * (h + 1);
    lines_cut(r, w, 1, h, w, &runs->columns, first, run + row_runs, first + w + 1, lit + row_lits, &column_runs,
              &column_lits);
    if (blocks > 0) {
        blocks_fill(r, w, h, blocks, placed, lanes);
        runs->block_count = (uint32_t)blocks;
        runs->blocks = placed;
        runs->block_lanes = lanes;
    }
    shape->runs = runs;
}

// --- spans ---

// What a span reads: the shape image (16-bit relief or 8-bit shadow) and, for bodies, the
// box picture, whose pixel under shape pixel (u, v) lies at byte
// picture_origin + v * picture_stride + 3 * u.
struct SpanSource {
    const uint8_t *shape;
    int32_t shape_stride;  // pixels
    const uint8_t *picture;
    ptrdiff_t picture_origin;
    int32_t picture_stride;
    uint32_t shift;          // azimuth shift of the angle, in shape-pixel units
    const ShapeRuns *runs;   // the relief image's runs, or null
    int32_t picture_wide;    // a word can be read at every picture pixel the span may use
};

// Draws count pixels from dst on; source pixel k is (u + k du, v + k dv) in 16.16 with
// the half already added, so the integer parts are the source pixel.
typedef void (*SpanFn)(uint8_t *dst, int32_t count, int32_t u, int32_t v, int32_t du, int32_t dv, const SpanSource *src);

// A relief pixel (bit 15 clear): the table's share by coverage plus the lit picture;
// coverage 0 leaves the table as it was, full coverage leaves it no share. The table is
// read either way, which costs less than a branch on the coverage along the rim. The
// shifted index stays below 65536, as the shift is at most 63 << 9.
template <bool SELECTED>
static inline void lit_pixel(uint8_t *d, const uint8_t *p, uint32_t s, uint32_t shift)
{
    const uint8_t *lit = light_colour + ((light_of_shape[s + shift] & 0xFFC0u) << 2);
    const uint8_t *keep = render.keep + ((s & 31) << 8);
    uint32_t p0 = p[0], p1 = p[1], p2 = SELECTED ? 255 : p[2];
    uint32_t t0 = d[0], t1 = d[1], t2 = d[2];
    d[0] = (uint8_t)(keep[t0] + lit[p0]);
    d[1] = (uint8_t)(keep[t1] + lit[p1]);
    d[2] = (uint8_t)(keep[t2] + lit[p2]);
}

template <bool SELECTED>
static inline void flat_pixel(uint8_t *d, const uint8_t *p)
{
    d[0] = p[0];
    d[1] = p[1];
    d[2] = SELECTED ? 255 : p[2];
}

template <bool SELECTED>
static inline void body_pixel(uint8_t *d, const uint8_t *p, uint32_t s, uint32_t shift)
{
    if (s & SHAPE_FLAT)
        flat_pixel<SELECTED>(d, p);
    else
        lit_pixel<SELECTED>(d, p, s, shift);
}

static inline uint32_t load32(const uint8_t *p)
{
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}

static inline void store32(uint8_t *d, uint32_t v)
{
    memcpy(d, &v, 4);
}

// Four flat pixels from anywhere in the picture, a word each: each word but the last
// spills a byte into the next pixel, which is written after it.
template <bool SELECTED>
static inline void flat_pixels4(uint8_t *d, const uint8_t *pic, const int32_t at[4])
{
    const uint32_t red = SELECTED ? 0xFF0000 : 0;
    uint32_t a = load32(pic + at[0]) | red, b = load32(pic + at[1]) | red;
    uint32_t c = load32(pic + at[2]) | red, e = load32(pic + at[3]) | red;
    store32(d, a);
    store32(d + 3, b);
    store32(d + 6, c);
    uint16_t low = (uint16_t)e;
    memcpy(d + 9, &low, 2);
    d[11] = (uint8_t)(e >> 16);
}

// Fields are copied to locals: stores through the byte pointer could alias them.
template <bool SELECTED>
static void span_body(uint8_t *d, int32_t n, int32_t u, int32_t v, int32_t du, int32_t dv, const SpanSource *src)
{
    const uint16_t *relief = (const uint16_t *)src->shape;
    const uint8_t *picture = src->picture;
    const ptrdiff_t origin = src->picture_origin, rs = src->shape_stride, ps = src->picture_stride;
    const uint32_t shift = src->shift;
#if RENDER_SSE2
    // Four pixels' source indices at a time: the coordinates are held inside the images,
    // so both halves fit sixteen bits and one multiply-add gives v * stride + u.
    if (n >= 4 && ps <= 32767 && rs <= 32767) {
        const uint8_t *pic = picture + origin;
        const bool wide = src->picture_wide;
        uint32_t uw = (uint32_t)u, vw = (uint32_t)v, duw = (uint32_t)du, dvw = (uint32_t)dv;
        __m128i uu = _mm_setr_epi32((int)uw, (int)(uw + duw), (int)(uw + 2 * duw), (int)(uw + 3 * duw));
        __m128i vv = _mm_setr_epi32((int)vw, (int)(vw + dvw), (int)(vw + 2 * dvw), (int)(vw + 3 * dvw));
        const __m128i uu_step = _mm_set1_epi32((int)(4 * duw)), vv_step = _mm_set1_epi32((int)(4 * dvw));
        const __m128i high = _mm_set1_epi32((int)0xFFFF0000u);
        const __m128i relief_mul = _mm_set1_epi32((int)((uint32_t)rs << 16 | 1));
        const __m128i picture_mul = _mm_set1_epi32((int)((uint32_t)ps << 16 | 3));
        int32_t pi[4];
        for (; n >= 4; n -= 4, d += 12) {
            __m128i uv = _mm_or_si128(_mm_and_si128(vv, high), _mm_srli_epi32(uu, 16));
            __m128i rv = _mm_madd_epi16(uv, relief_mul), pv = _mm_madd_epi16(uv, picture_mul);
            uu = _mm_add_epi32(uu, uu_step);
            vv = _mm_add_epi32(vv, vv_step);
            uint64_t r01 = (uint64_t)_mm_cvtsi128_si64(rv), r23 = (uint64_t)_mm_cvtsi128_si64(_mm_unpackhi_epi64(rv, rv));
            uint64_t p01 = (uint64_t)_mm_cvtsi128_si64(pv), p23 = (uint64_t)_mm_cvtsi128_si64(_mm_unpackhi_epi64(pv, pv));
            pi[0] = (int32_t)p01, pi[1] = (int32_t)(p01 >> 32), pi[2] = (int32_t)p23, pi[3] = (int32_t)(p23 >> 32);
            uint32_t s0 = relief[(uint32_t)r01], s1 = relief[r01 >> 32], s2 = relief[(uint32_t)r23], s3 = relief[r23 >> 32];
            if ((s0 | s1 | s2 | s3) == 0)
                continue;
            // Inside a piece most groups are flat throughout.
            if ((s0 & s1 & s2 & s3 & SHAPE_FLAT) && wide) {
                flat_pixels4<SELECTED>(d, pic, pi);
                continue;
            }
            if (s0)
                body_pixel<SELECTED>(d, pic + pi[0], s0, shift);
            if (s1)
                body_pixel<SELECTED>(d + 3, pic + pi[1], s1, shift);
            if (s2)
                body_pixel<SELECTED>(d + 6, pic + pi[2], s2, shift);
            if (s3)
                body_pixel<SELECTED>(d + 9, pic + pi[3], s3, shift);
        }
        u = _mm_cvtsi128_si32(uu);
        v = _mm_cvtsi128_si32(vv);
    }
#endif
    for (uint8_t *end = d + 3 * (ptrdiff_t)n; d < end; d += 3, u += du, v += dv) {
        ptrdiff_t su = u >> 16, sv = v >> 16;
        if (uint32_t s = relief[sv * rs + su])
            body_pixel<SELECTED>(d, picture + origin + sv * ps + su * 3, s, shift);
    }
}

// n bytes, n >= 3, in as few moves as the length allows.
static inline void copy_bytes(uint8_t *d, const uint8_t *s, size_t n)
{
#if RENDER_SSE2
    if (n >= 16) {
        for (size_t i = 0; i + 16 < n; i += 16)
            _mm_storeu_si128((__m128i *)(d + i), _mm_loadu_si128((const __m128i *)(s + i)));
        _mm_storeu_si128((__m128i *)(d + n - 16), _mm_loadu_si128((const __m128i *)(s + n - 16)));
        return;
    }
#endif
    if (n >= 8) {
        uint64_t a, b;
        memcpy(&a, s, 8);
        memcpy(&b, s + n - 8, 8);
        memcpy(d, &a, 8);
        memcpy(d + n - 8, &b, 8);
    } else if (n >= 4) {
        uint32_t a = load32(s), b = load32(s + n - 4);
        store32(d, a);
        store32(d + n - 4, b);
    } else {
        memcpy(d, s, n);
    }
}

#if RENDER_SSE2
// Eight colour bytes lit at once with exact integer forms of the lighting tables. A byte
// of brightness L and coverage a turns picture byte p over table byte t into
// round(a × v / 31) + round((31 − a) × t / 31), where v = (L × p) >> 7 up to L = 128 and
// v = p + (L − 128) × (255 − p) / 127 above (the same as the tables' quotient). Here
// x >> 7 = (x × 32768) >> 22 for x ≤ 32640, x / 127 = (x × 33027) >> 22 for x ≤ 32385 and
// round(x / 31) = ((2x + 31) × 33826) >> 21 for x ≤ 7905, each checked for every input;
// the two parts never add up past 255. Each byte's lane word q holds m | 2a << 8 |
// bright << 15, with m = L, or L − 128 when bright (L > 128).
static inline __m128i lit_lanes(__m128i q, __m128i p, __m128i t)
{
    const __m128i c31 = _mm_set1_epi16(31), by31 = _mm_set1_epi16((short)33826);
    __m128i m = _mm_and_si128(q, _mm_set1_epi16(255));
    __m128i bright = _mm_srai_epi16(q, 15);
    __m128i a2 = _mm_and_si128(_mm_srli_epi16(q, 8), _mm_set1_epi16(63));
    __m128i x = _mm_and_si128(bright, _mm_set1_epi16(255));  // 255 - p = p ^ 255 when bright
    __m128i k = _mm_or_si128(_mm_set1_epi16((short)32768), _mm_and_si128(bright, _mm_set1_epi16(259)));
    __m128i h = _mm_srli_epi16(_mm_mulhi_epu16(_mm_mullo_epi16(_mm_xor_si128(p, x), m), k), 6);
    __m128i v = _mm_add_epi16(_mm_and_si128(p, x), h);
    __m128i lit = _mm_mulhi_epu16(_mm_add_epi16(_mm_mullo_epi16(a2, v), c31), by31);
    __m128i keep = _mm_mulhi_epu16(_mm_add_epi16(_mm_mullo_epi16(_mm_sub_epi16(_mm_set1_epi16(62), a2), t), c31), by31);
    return _mm_add_epi16(_mm_srli_epi16(lit, 5), _mm_srli_epi16(keep, 5));
}

// The third byte of every pixel, by where in a pixel a block starts: a selected piece is
// lit there as if the picture were 255.
alignas(16) static const uint16_t block_red[3][16] = {
    {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0},
    {0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0},
    {255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255},
};

// One block of an upright row: sixteen bytes at d over sixteen of the picture at p.
template <bool SELECTED>
static inline void lit_block(uint8_t *d, const uint8_t *p, const uint16_t *lanes, int32_t phase)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i pb = _mm_loadu_si128((const __m128i *)p), db = _mm_loadu_si128((const __m128i *)d);
    __m128i p0 = _mm_unpacklo_epi8(pb, zero), p1 = _mm_unpackhi_epi8(pb, zero);
    if (SELECTED) {
        p0 = _mm_or_si128(p0, _mm_load_si128((const __m128i *)block_red[phase]));
        p1 = _mm_or_si128(p1, _mm_load_si128((const __m128i *)block_red[phase] + 1));
    }
    const __m128i *q = (const __m128i *)lanes;
    _mm_storeu_si128((__m128i *)d, _mm_packus_epi16(lit_lanes(_mm_load_si128(q), p0, _mm_unpacklo_epi8(db, zero)),
                                                    lit_lanes(_mm_load_si128(q + 1), p1, _mm_unpackhi_epi8(db, zero))));
}
#endif

// Angle 0: positions lo .. hi - 1 of relief row i onto consecutive table pixels from d,
// relief row r and picture row p (position 0). Lit pixels go first so that their reads
// of the table never wait on the copies' stores.
template <bool SELECTED>
static void span_row(uint8_t *d, int32_t lo, int32_t hi, const ShapeRuns *runs, int32_t i, const uint16_t *r,
                     const uint8_t *p, uint32_t shift)
{
    const ShapeLines &rows = runs->rows;
    d -= 3 * (ptrdiff_t)lo;
    const uint16_t *lit = rows.lit + rows.lit_first[i], *lit_end = rows.lit + rows.lit_first[i + 1];
    while (lit < lit_end && *lit < lo)
        lit++;
    for (; lit < lit_end && *lit < hi; lit++) {
        ptrdiff_t x = *lit;
        lit_pixel<SELECTED>(d + 3 * x, p + 3 * x, r[x], shift);
    }
    for (const ShapeRun *run = rows.runs + rows.run_first[i], *end = rows.runs + rows.run_first[i + 1];
         run < end && run->start < hi; run++) {
        ptrdiff_t a = std::max<int32_t>(run->start, lo), b = std::min<int32_t>(run->end, hi);
        if (a >= b)
            continue;
        if (!SELECTED) {
            copy_bytes(d + 3 * a, p + 3 * a, 3 * (size_t)(b - a));
        } else {
            for (ptrdiff_t k = a; k < b; k++)
                flat_pixel<true>(d + 3 * k, p + 3 * k);
        }
    }
}

// Other quarter turns: positions lo .. hi - 1 along line i of the relief image (a row
// walked backwards or a column). Position x is drawn at d + (x - at) * dir * 3 and
// takes relief pixel line[x * step] and picture bytes picture + x * picture_step; every
// pixel is drawn once, so runs and lit pixels can go in any order. With `wide` a word
// can be read at every picture pixel: flat runs then move a word per pixel, in the
// table's order, each word's spare byte overwritten by the next pixel.
template <bool SELECTED>
static void span_line(uint8_t *d, int32_t at, int32_t dir, int32_t lo, int32_t hi, const ShapeLines &lines, int32_t i,
                      const uint16_t *line, ptrdiff_t step, const uint8_t *picture, ptrdiff_t picture_step,
                      uint32_t shift, bool wide)
{
    const ptrdiff_t t_step = 3 * (ptrdiff_t)dir;
    const uint16_t *lit = lines.lit + lines.lit_first[i], *lit_end = lines.lit + lines.lit_first[i + 1];
    while (lit < lit_end && *lit < lo)
        lit++;
    for (; lit < lit_end && *lit < hi; lit++) {
        ptrdiff_t x = *lit;
        lit_pixel<SELECTED>(d + (x - at) * t_step, picture + x * picture_step, line[x * step], shift);
    }
    const uint32_t red = SELECTED ? 0xFF0000 : 0;
    for (const ShapeRun *run = lines.runs + lines.run_first[i], *end = lines.runs + lines.run_first[i + 1];
         run < end && run->start < hi; run++) {
        int32_t a = std::max<int32_t>(run->start, lo), b = std::min<int32_t>(run->end, hi);
        if (a >= b)
            continue;
        int32_t first = dir > 0 ? a : b - 1;  // the run's leftmost pixel in the table
        uint8_t *t = d + (first - at) * t_step, *last = t + 3 * (ptrdiff_t)(b - a - 1);
        const uint8_t *p = picture + first * picture_step;
        const ptrdiff_t p_step = dir * picture_step;
        if (wide) {
            for (; t < last; t += 3, p += p_step)
                store32(t, load32(p) | red);
        }
        for (; t <= last; t += 3, p += p_step)
            flat_pixel<SELECTED>(t, p);
    }
}

// Quarter turns step through the images by whole pixels: the same source pixels as the
// general span. With runs, only the runs and the lit pixels of the row or column walked
// are visited.
template <bool SELECTED>
static void span_body_axis(uint8_t *d, int32_t n, int32_t u, int32_t v, int32_t du, int32_t dv, const SpanSource *src)
{
    if ((du & 0xFFFF) || (dv & 0xFFFF)) {
        span_body<SELECTED>(d, n, u, v, du, dv, src);
        return;
    }
    const uint16_t *relief = (const uint16_t *)src->shape;
    int32_t su = u >> 16, sv = v >> 16, iu = du >> 16, iv = dv >> 16;
    const ptrdiff_t rs = src->shape_stride, ps = src->picture_stride;
    const ShapeRuns *runs = src->runs;
    if (runs && ((iv == 0 && (iu == 1 || iu == -1)) || (iu == 0 && (iv == 1 || iv == -1)))) {
        const uint8_t *picture = src->picture + src->picture_origin;
        if (iv == 0 && iu > 0) {
            span_row<SELECTED>(d, su, su + n, runs, sv, relief + sv * rs, picture + sv * ps, src->shift);
        } else if (iv == 0) {
            span_line<SELECTED>(d, su, -1, su - n + 1, su + 1, runs->rows, sv, relief + sv * rs, 1, picture + sv * ps,
                                3, src->shift, src->picture_wide);
        } else {
            int32_t lo = iv > 0 ? sv : sv - n + 1;
            span_line<SELECTED>(d, sv, iv, lo, lo + n, runs->columns, su, relief + su, rs, picture + 3 * su, ps,
                                src->shift, src->picture_wide);
        }
        return;
    }
    ptrdiff_t r = (ptrdiff_t)sv * rs + su, r_step = (ptrdiff_t)iv * rs + iu;
    ptrdiff_t p = src->picture_origin + (ptrdiff_t)sv * ps + su * 3;
    ptrdiff_t p_step = (ptrdiff_t)iv * ps + iu * 3;
    const uint8_t *picture = src->picture;
    const uint32_t shift = src->shift;
    for (uint8_t *end = d + 3 * (ptrdiff_t)n; d < end; d += 3, r += r_step, p += p_step)
        if (uint32_t s = relief[r])
            body_pixel<SELECTED>(d, picture + p, s, shift);
}

static inline void shadow_pixel(uint8_t *d, uint32_t m)
{
    const uint8_t *keep = blend_table + (m << 8);
    d[0] = keep[d[0]];
    d[1] = keep[d[1]];
    d[2] = keep[d[2]];
}

static void span_shadow(uint8_t *d, int32_t n, int32_t u, int32_t v, int32_t du, int32_t dv, const SpanSource *src)
{
    for (; n > 0; n--, d += 3, u += du, v += dv)
        if (uint32_t m = src->shape[(v >> 16) * src->shape_stride + (u >> 16)])
            shadow_pixel(d, m);
}

static void span_shadow_axis(uint8_t *d, int32_t n, int32_t u, int32_t v, int32_t du, int32_t dv, const SpanSource *src)
{
    if ((du & 0xFFFF) || (dv & 0xFFFF)) {
        span_shadow(d, n, u, v, du, dv, src);
        return;
    }
    ptrdiff_t r = (ptrdiff_t)(v >> 16) * src->shape_stride + (u >> 16);
    ptrdiff_t r_step = (ptrdiff_t)(dv >> 16) * src->shape_stride + (du >> 16);
    for (; n > 0; n--, d += 3, r += r_step)
        if (uint32_t m = src->shape[r])
            shadow_pixel(d, m);
}

// The six span routines, by shadow, selected and quarter turn.
static const SpanFn span_routines[6] = {
    span_body<false>,       // body
    span_body_axis<false>,  // body, quarter turn
    span_body<true>,        // selected body
    span_body_axis<true>,   // selected body, quarter turn
    span_shadow,            // shadow
    span_shadow_axis,       // shadow, quarter turn
};

// --- scan conversion ---

// Half away from zero, limited far outside any table so that the conversion is defined.
static inline int64_t scan_round(double v)
{
    if (!(v > -1e9))
        v = -1e9;
    if (v > 1e9)
        v = 1e9;
    return v < 0 ? -(int64_t)(0.5 - v) : (int64_t)(v + 0.5);
}

// A source coordinate in 16.16, held inside the readable pixels lo .. hi. Every pixel
// of a span lies between its two ends, so holding the ends holds the whole span.
static inline int32_t scan_fixed(double v, double lo, double hi)
{
    if (!(v > lo))
        v = lo;
    if (v > hi)
        v = hi;
    return (int32_t)(v * 65536.0);
}

// One side of the quad walked downwards from the top corner, one edge at a time, with
// x and the source coordinates as linear functions of the row on the current edge.
struct ScanChain {
    int32_t to, dir, turns;
    double y0, rows;           // the edge's first row and its height
    double x, u, v;            // at y0
    double dx, du, dv;         // per row
};

static void chain_edge(ScanChain *c, const QuadPoint quad[4], const QuadPoint source[4], int32_t from)
{
    const QuadPoint &a = quad[from], &b = quad[c->to], &sa = source[from], &sb = source[c->to];
    c->y0 = a.y;
    c->rows = b.y - a.y;
    if (c->rows > 0) {
        c->x = a.x, c->u = sa.x, c->v = sa.y;
        c->dx = (b.x - a.x) / c->rows, c->du = (sb.x - sa.x) / c->rows, c->dv = (sb.y - sa.y) / c->rows;
    } else {
        // A level edge is only met on its own row; its far end is the span's end there.
        c->x = b.x, c->u = sb.x, c->v = sb.y;
        c->dx = c->du = c->dv = 0;
        c->rows = 0;
    }
}

static void chain_start(ScanChain *c, const QuadPoint quad[4], const QuadPoint source[4], int32_t top, int32_t dir)
{
    c->to = (top + dir) & 3, c->dir = dir, c->turns = 0;
    chain_edge(c, quad, source, top);
}

struct ScanPoint {
    double x, u, v;
};

static inline ScanPoint chain_at(ScanChain *c, const QuadPoint quad[4], const QuadPoint source[4], double y)
{
    // The chain moves on once the row is past the corner it heads for; a row on a corner
    // still takes the edge ending there, so top and bottom rows are both inside.
    while (c->turns < 3 && quad[c->to].y < y) {
        int32_t from = c->to;
        c->to = (c->to + c->dir) & 3;
        c->turns++;
        chain_edge(c, quad, source, from);
    }
    double t = y - c->y0;
    if (!(t > 0))
        t = 0;
    if (t > c->rows)
        t = c->rows;
    return {c->x + c->dx * t, c->u + c->du * t, c->v + c->dv * t};
}

struct ScanLimits {
    double u0, v0, u1, v1;  // readable source pixels, inclusive
};

// One row's span as the scan conversion found it.
struct ScanSpan {
    uint8_t *d;
    int32_t n, u, v, du, dv;
};

static void scan_quad(const QuadPoint quad[4], const QuadPoint source[4], const PieceBox &box, const ScanLimits &lim,
                      SpanFn span, const SpanSource *src, uint8_t *table, int32_t table_stride)
{
    int32_t top = 0;
    for (int32_t i = 1; i < 4; i++)
        if (quad[i].y < quad[top].y)
            top = i;
    ScanChain ahead, back;
    chain_start(&ahead, quad, source, top, 1);
    chain_start(&back, quad, source, top, 3);
    // Rows are worked out a batch at a time and then drawn: the divisions and conversions
    // of one row do not wait on another's, so a batch costs far less than its rows one
    // by one between the spans.
    ScanSpan batch[64];
    int32_t count = 0;
    for (int32_t y = box.y0; y <= box.y1; y++) {
        ScanPoint a = chain_at(&ahead, quad, source, y), b = chain_at(&back, quad, source, y);
        if (b.x < a.x)
            std::swap(a, b);
        int64_t xl = scan_round(a.x), xr = scan_round(b.x);
        if (xr >= box.x0 && xl <= box.x1) {
            int32_t u = scan_fixed(a.u, lim.u0, lim.u1), v = scan_fixed(a.v, lim.v0, lim.v1);
            // The step per pixel, by integer division; scan_round keeps the length in range.
            int32_t du = 0, dv = 0;
            if (xr > xl) {
                du = (scan_fixed(b.u, lim.u0, lim.u1) - u) / (int32_t)(xr - xl);
                dv = (scan_fixed(b.v, lim.v0, lim.v1) - v) / (int32_t)(xr - xl);
            }
            if (xl < box.x0) {
                u += (int32_t)((box.x0 - xl) * du);
                v += (int32_t)((box.x0 - xl) * dv);
                xl = box.x0;
            }
            if (xr > box.x1)
                xr = box.x1;
            batch[count++] = {table + (ptrdiff_t)y * table_stride + xl * 3, (int32_t)(xr - xl + 1), u + 32768, v + 32768,
                              du, dv};
        }
        if (count == 64 || (y == box.y1 && count > 0)) {
            for (int32_t i = 0; i < count; i++)
                span(batch[i].d, batch[i].n, batch[i].u, batch[i].v, batch[i].du, batch[i].dv, src);
            count = 0;
        }
    }
}

// Quarter turns: the quad is an upright rectangle, so every row's span and its source
// follow from corner 0 directly, the same as the scan conversion finds them.
static void scan_rect(const QuadPoint &corner, int32_t w, int32_t h, int32_t angle, const PieceBox &box, SpanFn span,
                      const SpanSource *src, uint8_t *table, int32_t table_stride)
{
    double cd, sd;
    angle_turn(angle, &cd, &sd);
    int64_t c = (int64_t)cd, s = (int64_t)sd, qx = scan_round(corner.x), qy = scan_round(corner.y);
    // Image pixel (u, v) lands on (qx + u c + v s, qy + v c - u s).
    int64_t ox[4] = {0, (w - 1) * c, (w - 1) * c + (h - 1) * s, (h - 1) * s};
    int64_t oy[4] = {0, -(w - 1) * s, (h - 1) * c - (w - 1) * s, (h - 1) * c};
    int64_t x0 = qx + *std::min_element(ox, ox + 4), x1 = qx + *std::max_element(ox, ox + 4);
    int64_t y0 = qy + *std::min_element(oy, oy + 4), y1 = qy + *std::max_element(oy, oy + 4);
    x0 = std::max<int64_t>(x0, box.x0), x1 = std::min<int64_t>(x1, box.x1);
    y0 = std::max<int64_t>(y0, box.y0), y1 = std::min<int64_t>(y1, box.y1);
    for (int64_t y = y0; x0 <= x1 && y <= y1; y++) {
        int64_t u = c * (x0 - qx) - s * (y - qy), v = s * (x0 - qx) + c * (y - qy);
        span(table + y * table_stride + x0 * 3, (int32_t)(x1 - x0 + 1), (int32_t)(u << 16) + 32768,
             (int32_t)(v << 16) + 32768, (int32_t)(c << 16), (int32_t)(s << 16), src);
    }
}

// Upright bodies with runs: scan_rect's rows at angle 0, drawn with the upright span's
// own row walk. When whole rows show, all blocks and then all flat runs go in one sweep
// each instead of row by row.
template <bool SELECTED>
static void scan_upright(const QuadPoint &corner, const PieceBox &box, const SpanSource *src, uint8_t *table,
                         int32_t table_stride)
{
    const ShapeRuns *runs = src->runs;
    int64_t qx = scan_round(corner.x), qy = scan_round(corner.y);
    int64_t x0 = std::max<int64_t>(qx, box.x0), x1 = std::min<int64_t>(qx + runs->width - 1, box.x1);
    int64_t y0 = std::max<int64_t>(qy, box.y0), y1 = std::min<int64_t>(qy + runs->height - 1, box.y1);
    if (x0 > x1 || y0 > y1)
        return;
    const uint16_t *relief = (const uint16_t *)src->shape;
    const uint8_t *picture = src->picture + src->picture_origin;
    int32_t lo = (int32_t)(x0 - qx), hi = (int32_t)(x1 - qx + 1), v0 = (int32_t)(y0 - qy), v1 = (int32_t)(y1 - qy);
    const ptrdiff_t rs = src->shape_stride, ps = src->picture_stride;
#if RENDER_SSE2
    // Blocks are made for rows of RENDER_BLOCK_ROW pixels or more; where a block or run
    // lies in the table follows from its row.
    if (lo == 0 && hi == runs->width && runs->width >= RENDER_BLOCK_ROW) {
        uint8_t *origin = table + qy * table_stride + qx * 3;
        const uint16_t *lanes = runs->block_lanes;
        for (const ShapeBlock *b = runs->blocks, *end = b + runs->block_count; b < end; b++, lanes += RENDER_BLOCK_BYTES)
            if (b->row >= v0 && b->row <= v1)
                lit_block<SELECTED>(origin + b->row * (ptrdiff_t)table_stride + b->offset,
                                    picture + b->row * ps + b->offset, lanes, b->offset % 3);
        const ShapeLines &rows = runs->rows;
        for (const ShapeRun *at = rows.runs + rows.run_first[v0], *end = rows.runs + rows.run_first[v1 + 1]; at < end;
             at++) {
            uint8_t *d = origin + at->line * (ptrdiff_t)table_stride + 3 * at->start;
            const uint8_t *p = picture + at->line * ps + 3 * at->start;
            if (!SELECTED) {
                copy_bytes(d, p, 3 * (size_t)(at->end - at->start));
            } else {
                for (int32_t k = at->start; k < at->end; k++, d += 3, p += 3)
                    flat_pixel<true>(d, p);
            }
        }
        return;
    }
#endif
    for (int32_t v = v0; v <= v1; v++)
        span_row<SELECTED>(table + (qy + v) * table_stride + x0 * 3, lo, hi, runs, v, relief + v * rs, picture + v * ps,
                           0);
}

static bool source_whole(const QuadPoint source[4], int32_t w, int32_t h)
{
    QuadPoint whole[4];
    rect_corners(whole, 0, 0, w, h);
    for (int i = 0; i < 4; i++)
        if (source[i].x != whole[i].x || source[i].y != whole[i].y)
            return false;
    return true;
}

void piece_draw(const Piece *piece, int what)
{
    Img *table = piece_scene.table;
    const Shape *shape = piece_shape(piece);
    if (!table || table->format != IMG_BGR || !shape || (what != PIECE_BODY && what != PIECE_SHADOW))
        return;
    bool shadow = what == PIECE_SHADOW;
    Img *image = shadow ? (Img *)shape_shadow(shape) : shape->relief;
    if (!image)
        return;
    // The box was clipped to the table when it was made; clip again in case the table
    // changed since.
    PieceBox box = shadow ? piece->shadow_box : piece->body_box;
    if (box_empty(box))
        return;
    box = {std::max(box.x0, 0), std::max(box.y0, 0), std::min(box.x1, table->width - 1),
           std::min(box.y1, table->height - 1)};
    if (box_empty(box))
        return;

    SpanSource src = {};
    int32_t w, h, stride;
    src.shape = img_pixels(image, &stride, &w, &h);
    src.shape_stride = w;
    ScanLimits lim = {0, 0, (double)w - 1, (double)h - 1};
    if (!shadow) {
        Img *picture = piece_scene.picture;
        if (!picture || picture->format != IMG_BGR)
            return;
        int32_t pw, ph;
        src.picture = img_pixels(picture, &src.picture_stride, &pw, &ph);
        src.picture_origin = (ptrdiff_t)piece->home_y * src.picture_stride + (ptrdiff_t)piece->home_x * 3;
        // Only the part of the relief image that lies on the picture can be read; for a
        // true cut that is all of it.
        lim.u0 = std::max(lim.u0, -(double)piece->home_x);
        lim.v0 = std::max(lim.v0, -(double)piece->home_y);
        lim.u1 = std::min(lim.u1, (double)pw - 1 - piece->home_x);
        lim.v1 = std::min(lim.v1, (double)ph - 1 - piece->home_y);
        if (lim.u0 > lim.u1 || lim.v0 > lim.v1)
            return;
        src.shift = (uint32_t)(angle_normal(piece->angle) * 64 / 360) << 9;
        // A word read at a pixel takes one byte more, which lies in the picture unless the
        // pixel is its very last.
        src.picture_wide = piece->home_y + lim.v1 < ph - 1 || piece->home_x + lim.u1 < pw - 1;
        const ShapeRuns *runs = shape->runs;
        if (runs && runs->width == w && runs->height == h)
            src.runs = runs;
    }
    int32_t angle = angle_normal(piece->angle);
    bool axis = angle % 90 == 0 && !piece_force_general;
    SpanFn span = span_routines[(shadow ? 4 : piece->selected ? 2 : 0) + axis];
    const QuadPoint *quad = shadow ? piece->shadow_quad : piece->body_quad;
    const QuadPoint *source = shadow ? piece->shadow_source : piece->body_source;
    int32_t table_stride, tw, th;
    uint8_t *pixels = img_pixels(table, &table_stride, &tw, &th);
    if (axis && lim.u0 == 0 && lim.v0 == 0 && lim.u1 == w - 1 && lim.v1 == h - 1 && source_whole(source, w, h)) {
        if (angle == 0 && !shadow && src.runs)
            (piece->selected ? scan_upright<true> : scan_upright<false>)(quad[0], box, &src, pixels, table_stride);
        else
            scan_rect(quad[0], w, h, angle, box, span, &src, pixels, table_stride);
    } else {
        scan_quad(quad, source, box, lim, span, &src, pixels, table_stride);
    }
}

// --- the frame ---

void pieces_draw_frame(Piece *pieces, int32_t count, int32_t first)
{
    for (int32_t i = 0; i < count; i++) {
        Piece *p = &pieces[i];
        if (!p->dirty)
            continue;
        piece_dirty_rect(p);
        piece_geometry_update(p);
        piece_dirty_rect(p);
        p->dirty = 0;
    }
    // Lifted pieces sit at the top of the stack: lying bodies first, then every lifted
    // shadow, then the lifted bodies over them. Walks are bounded in case a link is bad.
    int32_t lifted = -1, n = 0;
    for (int32_t i = first; i >= 0 && i < count && n < count; i = pieces[i].above, n++) {
        if (pieces[i].lift == 0)
            piece_draw(&pieces[i], PIECE_BODY);
        else if (lifted < 0)
            lifted = i;
    }
    for (int what : {PIECE_SHADOW, PIECE_BODY}) {
        n = 0;
        for (int32_t i = lifted; i >= 0 && i < count && n < count; i = pieces[i].above, n++)
            if (pieces[i].lift != 0)
                piece_draw(&pieces[i], what);
    }
}
