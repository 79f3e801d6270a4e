// The cutter: the jittered grid, one shape per distinct outline (mask, relief codes and
// shadow drawn on a square canvas), the pieces that refer to them, and the cut preview.
#include "puzzle/cut.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "image/resample.h"
#include "platform/gdi.h"
#include "platform/log.h"
#include "platform/memory.h"
#include "platform/random.h"
#include "puzzle/curve.h"
#include "puzzle/cut_internal.h"
#include "puzzle/piece.h"
#include "ui/text.h"

CutGrid cut_grid;
CutResult cut_result;

constexpr int32_t CUT_MAX_SIDE = 150;          // pieces larger than this get no more blur or depth
constexpr uint8_t CUT_SHADOW_FADE = 191;       // 75 percent of 255
constexpr int32_t CUT_RELIEF_SPAN = 511;       // height differences -255 .. 255
constexpr int16_t CUT_RELIEF_UNKNOWN = -1;     // table entry not worked out yet
constexpr int16_t CUT_RELIEF_PER_PIXEL = -2;   // too close to a step to share
constexpr int32_t CUT_RING = 3;                // untouched pixels around an outline's points

// A rectangle of canvas pixels, both ends included.
struct CutBox {
    int32_t x0, y0, x1, y1;
};

// The work of one cut: the canvas and the blur and relief settings for its piece size,
// the keys and their lookup, and the flood fill's stack.
static struct {
    CutProgressFn progress;
    Img *canvas;              // 4s x 4s, zero outside the box being worked on
    int32_t side, margin;     // canvas side and where corner 0 lies
    double shadow_sigma, relief_sigma, depth;
    int32_t shadow_grow, relief_grow;
    int16_t *relief_codes;    // [(hl - hr + 255) * 511 + hd - hu + 255]
    ShapeKey *keys;           // distinct keys in order of first appearance
    int32_t key_count;
    int32_t *slots;           // open addressing: key index + 1, 0 empty
    uint32_t slot_mask;
    int32_t *piece_shape;     // shape index of every piece
    int32_t *stack;           // flood fill seeds, x and y
    size_t stack_cap;
    CurvePoint sides[4][MAX_CONTROLPOINTS];  // one outline's sides, placed on the canvas
} cut;

// --- sizes and the grid ---

// count * size, or SIZE_MAX when that would not fit.
static size_t array_bytes(size_t count, size_t size)
{
    return size && count > SIZE_MAX / size ? SIZE_MAX : count * size;
}

// A table of count entries from counted memory; `caller` names the fatal message.
void *cut_alloc_array(size_t count, size_t size, const char *caller)
{
    size_t bytes = array_bytes(count, size);
    if (bytes == SIZE_MAX)
        io_error("%s: table too large (%zu entries)\n", caller, count);
    return io_mem_alloc(bytes ? bytes : 1);
}

void cut_grid_measure(const BoxInfo *box, int32_t *columns, int32_t *rows, int32_t *origin_x, int32_t *origin_y)
{
    int32_t s = box->piece_size, w = box->picture_width, h = box->picture_height;
    // A damaged box must not divide by zero; it simply has no pieces.
    if (s < 1 || w < 0 || h < 0) {
        *columns = *rows = *origin_x = *origin_y = 0;
        return;
    }
    *columns = w / s;
    *rows = h / s;
    *origin_x = (w - *columns * s) / 2;
    *origin_y = (h - *rows * s) / 2;
}

static GridPoint *grid_point(int32_t col, int32_t row)
{
    return &cut_grid.points[(size_t)row * (size_t)(cut_grid.columns + 1) + (size_t)col];
}

void cut_grid_init(BoxInfo *box)
{
    cut_grid_free();
    cut_grid.box = *box;
    cut_grid_measure(box, &cut_grid.columns, &cut_grid.rows, &cut_grid.origin_x, &cut_grid.origin_y);
    int32_t cols = cut_grid.columns, rows = cut_grid.rows, s = box->piece_size;
    if ((int64_t)cols * rows > INT32_MAX)
        io_error("cut_grid_init: too many pieces (%i x %i)\n", cols, rows);
    box->piece_count = cut_grid.box.piece_count = cols * rows;
    size_t count = array_bytes((size_t)cols + 1, (size_t)rows + 1);
    cut_grid.points = (GridPoint *)cut_alloc_array(count, sizeof(GridPoint), "cut_grid_init");
    memset(cut_grid.points, 0, array_bytes(count, sizeof(GridPoint)));
    rand_seed(RAND_SEED);
    // A damaged box cannot move a corner further than a whole cell.
    int64_t a = std::clamp((int64_t)box->jitter * s / 100, -(int64_t)s, (int64_t)s);
    for (int32_t row = 0; row <= rows; row++)
        for (int32_t col = 0; col <= cols; col++) {
            GridPoint *p = grid_point(col, row);
            p->x = s * col;
            p->y = s * row;
            if (a != 0 && col > 0 && col < cols && row > 0 && row < rows) {
                p->x += (int32_t)(rand_next(100) * a * 2 / 100 - a);
                p->y += (int32_t)(rand_next(100) * a * 2 / 100 - a);
            }
            // Alternate tabs in and out like a checkerboard.
            p->htype = p->vtype = box->shape | ((row + col) & 1 ? CURVE_MIRRORED : 0);
            if (col == 0 || col == cols)
                p->vtype = 0;
            if (row == 0 || row == rows)
                p->htype = 0;
        }
}

void cut_grid_free(void)
{
    io_mem_free(cut_grid.points);
    cut_grid.points = nullptr;
}

void cut_set_progress(CutProgressFn progress)
{
    cut.progress = progress;
}

static void report_progress(int32_t value, int32_t maximum)
{
    if (cut.progress)
        cut.progress(value < maximum ? value : maximum, maximum);
}

// --- shape keys ---

static ShapeKey piece_key(int32_t col, int32_t row)
{
    const GridPoint *p0 = grid_point(col, row), *p1 = grid_point(col + 1, row);
    const GridPoint *p2 = grid_point(col + 1, row + 1), *p3 = grid_point(col, row + 1);
    return {0, 0, p1->x - p0->x, p1->y - p0->y, p2->x - p0->x, p2->y - p0->y, p3->x - p0->x, p3->y - p0->y,
            p0->htype, p1->vtype, p3->htype ^ CURVE_MIRRORED, p0->vtype ^ CURVE_MIRRORED};
}

static uint32_t key_hash(const ShapeKey *key)
{
    uint32_t words[12];
    memcpy(words, key, sizeof words);
    uint64_t h = 0x9E3779B97F4A7C15ull;
    for (uint32_t w : words)
        h = (h ^ w) * 0xFF51AFD7ED558CCDull;
    return (uint32_t)(h ^ (h >> 29));
}

// The index of an equal key seen before, or the next index for a new one.
static int32_t key_index(const ShapeKey *key)
{
    for (uint32_t i = key_hash(key) & cut.slot_mask;; i = (i + 1) & cut.slot_mask) {
        int32_t slot = cut.slots[i];
        if (slot == 0) {
            cut.keys[cut.key_count] = *key;
            cut.slots[i] = ++cut.key_count;
            return cut.key_count - 1;
        }
        if (memcmp(&cut.keys[slot - 1], key, sizeof *key) == 0)
            return slot - 1;
    }
}

static void collect_keys(int32_t count)
{
    cut.keys = (ShapeKey *)cut_alloc_array((size_t)count, sizeof(ShapeKey), "cut_pieces_build");
    cut.piece_shape = (int32_t *)cut_alloc_array((size_t)count, sizeof(int32_t), "cut_pieces_build");
    size_t slots = 16;
    while (slots < (size_t)count * 2)
        slots *= 2;
    cut.slots = (int32_t *)cut_alloc_array(slots, sizeof(int32_t), "cut_pieces_build");
    memset(cut.slots, 0, (size_t)slots * sizeof(int32_t));
    cut.slot_mask = (uint32_t)(slots - 1);
    cut.key_count = 0;
    for (int32_t row = 0, i = 0; row < cut_grid.rows; row++)
        for (int32_t col = 0; col < cut_grid.columns; col++, i++) {
            ShapeKey key = piece_key(col, row);
            cut.piece_shape[i] = key_index(&key);
        }
}

// --- relief codes ---

// The code of a surface normal (nx, ny, 1); *near_step tells when a step boundary lies so
// close that a last-bit difference in the normal could move it.
static int32_t relief_from_normal(double nx, double ny, bool *near_step)
{
    double azimuth = std::atan2(ny, nx) * 180.0 / M_PI;
    if (azimuth < 0)
        azimuth += 360.0;
    double elevation = std::atan2(1.0, std::sqrt(nx * nx + ny * ny)) * 180.0 / M_PI;
    if (elevation < 0)
        elevation += 360.0;
    elevation = 90.0 * std::pow(elevation / 90.0, 0.4);
    if (!(azimuth >= 0 && azimuth <= 360))
        azimuth = 0;
    if (!(elevation >= 0 && elevation <= 90))
        elevation = 0;
    double a = azimuth * 64.0 / 360.0 + 0.5, e = elevation / 6.0 + 0.5;
    *near_step = std::fabs(a - std::round(a)) < 1e-9 || std::fabs(e - std::round(e)) < 1e-9;
    int32_t azimuth_step = (int32_t)a, elevation_step = (int32_t)e;
    if (azimuth_step == 64)
        azimuth_step = 0;
    return azimuth_step << 4 | (elevation_step ^ 15);
}

// The normal is the mean of two cross products over the left / up and right / down
// differences, x right, y up, z towards the viewer.
static int32_t relief_code(int32_t hl, int32_t h0, int32_t hr, int32_t hu, int32_t hd)
{
    double k = cut.depth;
    double nx = (k * (hl - h0) / 127.0 + k * (h0 - hr) / 127.0) / 2.0;
    double ny = (k * (h0 - hu) / 127.0 + k * (hd - h0) / 127.0) / 2.0;
    bool near_step;
    return relief_from_normal(nx, ny, &near_step);
}

// The normal depends on the pixel's neighbours only through hl - hr and hd - hu (up to
// the last bits of the sums), so codes are worked out once per pair of differences.
// A pair whose normal lies within rounding of a step is marked and worked out per pixel,
// so every code is the one the formula gives.
static int32_t relief_code_fast(int32_t hl, int32_t h0, int32_t hr, int32_t hu, int32_t hd)
{
    if (hl == h0 && h0 == hu)
        return 0;
    int16_t *entry = &cut.relief_codes[(hl - hr + 255) * CUT_RELIEF_SPAN + hd - hu + 255];
    if (*entry == CUT_RELIEF_UNKNOWN) {
        double k = cut.depth;
        bool near_step;
        int32_t code = relief_from_normal(k * (hl - hr) / 127.0 / 2.0, k * (hd - hu) / 127.0 / 2.0, &near_step);
        *entry = near_step ? CUT_RELIEF_PER_PIXEL : (int16_t)code;
    }
    return *entry == CUT_RELIEF_PER_PIXEL ? relief_code(hl, h0, hr, hu, hd) : *entry;
}

// --- canvases ---

static void canvas_prepare(int32_t s)
{
    int32_t m = std::min(s, CUT_MAX_SIDE);
    if (s > INT32_MAX / 4)
        io_error("cut_pieces_build: piece size too large (%i)\n", s);
    cut.side = 4 * s;
    cut.margin = (4 * s - s) / 2;
    cut.canvas = img_create(cut.side, cut.side, IMG_8BIT);
    img_fill(cut.canvas, 0);
    cut.shadow_sigma = m * 0.05;
    cut.relief_sigma = std::max(m / 90.0, 0.5);
    cut.depth = m >= 100 ? m * (m / 30.0) / 75.0 : m / 30.0;
    cut.shadow_grow = img_blur_radius(cut.shadow_sigma);
    // One more pixel: every relief pixel reads its four neighbours' heights.
    cut.relief_grow = img_blur_radius(cut.relief_sigma) + 1;
    size_t entries = (size_t)CUT_RELIEF_SPAN * CUT_RELIEF_SPAN;
    cut.relief_codes = (int16_t *)cut_alloc_array(entries, sizeof(int16_t), "cut_pieces_build");
    memset(cut.relief_codes, 0xFF, entries * sizeof(int16_t));  // every entry CUT_RELIEF_UNKNOWN
    cut.stack_cap = 1024;
    cut.stack = (int32_t *)cut_alloc_array(cut.stack_cap, 2 * sizeof(int32_t), "cut_pieces_build");
}

static void canvas_release(void)
{
    img_free(cut.canvas);
    io_mem_free(cut.relief_codes);
    io_mem_free(cut.stack);
    cut.canvas = nullptr;
    cut.relief_codes = nullptr;
    cut.stack = nullptr;
}

static uint8_t *canvas_row(int32_t y)
{
    return (uint8_t *)cut.canvas + cut.canvas->colour_offset + (size_t)y * cut.canvas->colour_stride;
}

static void fill_box(const CutBox &b, uint8_t value)
{
    if (b.x0 > b.x1 || b.y0 > b.y1)
        return;
    for (int32_t y = b.y0; y <= b.y1; y++)
        memset(canvas_row(y) + b.x0, value, (size_t)(b.x1 - b.x0 + 1));
}

static void push_seed(size_t *top, int32_t x, int32_t y)
{
    if (*top == cut.stack_cap) {
        cut.stack_cap *= 2;
        cut.stack = (int32_t *)io_mem_realloc(cut.stack, array_bytes(cut.stack_cap, 2 * sizeof(int32_t)));
    }
    cut.stack[2 * *top] = x;
    cut.stack[2 * *top + 1] = y;
    (*top)++;
}

// Clears every 255 pixel 4-connected to (x, y) within the box: runs are widened left and
// right, cleared, and the rows above and below are searched for 255 within the run.
static void flood_clear(const CutBox &b, int32_t x, int32_t y)
{
    size_t top = 0;
    push_seed(&top, x, y);
    while (top > 0) {
        top--;
        x = cut.stack[2 * top];
        y = cut.stack[2 * top + 1];
        uint8_t *row = canvas_row(y);
        if (row[x] != 255)
            continue;
        int32_t left = x, right = x;
        while (left > b.x0 && row[left - 1] == 255)
            left--;
        while (right < b.x1 && row[right + 1] == 255)
            right++;
        memset(row + left, 0, (size_t)(right - left + 1));
        for (int32_t ny = y - 1; ny <= y + 1; ny += 2) {
            if (ny < b.y0 || ny > b.y1)
                continue;
            const uint8_t *next = canvas_row(ny);
            for (int32_t i = left; i <= right; i++) {
                if (next[i] != 255)
                    continue;
                push_seed(&top, i, ny);
                while (i < right && next[i + 1] == 255)
                    i++;
            }
        }
    }
}

// A key as twelve words: corner i at [2i] and [2i + 1], the type of side i at [8 + i].
static void key_words(const ShapeKey *key, int32_t k[12])
{
    memcpy(k, key, 12 * sizeof(int32_t));
}

// Draws the four sides of a key and clears the outside. Returns the box outside which
// the canvas is 0 afterwards.
static CutBox draw_outline(const int32_t k[12])
{
    int32_t n[4];
    double lo_x = HUGE_VAL, lo_y = HUGE_VAL, hi_x = -HUGE_VAL, hi_y = -HUGE_VAL;
    for (int i = 0; i < 4; i++) {
        const int32_t *a = k + 2 * i, *b = k + 2 * ((i + 1) % 4);
        CurvePoint *p = curve_get(k[8 + i], &n[i]);
        curve_map(p, n[i], a[0] + cut.margin, a[1] + cut.margin, b[0] + cut.margin, b[1] + cut.margin);
        memcpy(cut.sides[i], p, (size_t)n[i] * sizeof(CurvePoint));
        for (int32_t j = 0; j < n[i]; j++) {
            lo_x = std::fmin(lo_x, p[j].x);
            hi_x = std::fmax(hi_x, p[j].x);
            lo_y = std::fmin(lo_y, p[j].y);
            hi_y = std::fmax(hi_y, p[j].y);
        }
    }
    // A Bezier chain stays inside its control points, and the rasteriser marks at most one
    // pixel beside the one a point lies in. So a ring of untouched pixels encloses the
    // outline; clearing from the ring inwards leaves what a fill from the canvas corner
    // would, without visiting the whole canvas.
    // Without a single point (curves that never loaded) the bounds are still the infinities
    // they started as, and no ring can be drawn round them: the whole canvas is worked on.
    CutBox box = {0, 0, cut.side - 1, cut.side - 1};
    double last = cut.side - 1;
    bool has_points = lo_x <= hi_x && lo_y <= hi_y;
    if (has_points && lo_x - CUT_RING >= 0 && lo_y - CUT_RING >= 0 && hi_x + CUT_RING <= last &&
        hi_y + CUT_RING <= last)
        box = {(int32_t)std::floor(lo_x) - CUT_RING, (int32_t)std::floor(lo_y) - CUT_RING,
               (int32_t)std::floor(hi_x) + CUT_RING, (int32_t)std::floor(hi_y) + CUT_RING};
    fill_box(box, 255);
    for (int i = 0; i < 4; i++)
        curve_rasterize(cut.canvas, cut.sides[i], n[i]);
    flood_clear(box, box.x0, box.y0);
    return box;
}

// Border sides (type 0) end exactly on the grid line, without an anti-aliased fringe:
// the right and bottom sides clear from the line on, the left and top sides up to it.
static void trim_borders(const int32_t k[12], const CutBox &box)
{
    for (int i = 0; i < 4; i++) {
        const int32_t *a = k + 2 * i, *b = k + 2 * ((i + 1) % 4);
        bool vertical = i % 2 == 1 && a[0] == b[0], horizontal = i % 2 == 0 && a[1] == b[1];
        if ((k[8 + i] & ~CURVE_MIRRORED) != 0 || !(vertical || horizontal))
            continue;
        CutBox clear = box;
        int32_t line = cut.margin + (vertical ? a[0] : a[1]);
        int32_t &from = vertical ? clear.x0 : clear.y0, &to = vertical ? clear.x1 : clear.y1;
        if (i == 1 || i == 2)
            from = std::max(from, line);
        else
            to = std::min(to, line - 1);
        fill_box(clear, 0);
    }
}

// The rows and columns holding non-zero pixels; false when there are none.
static bool nonzero_box(const uint8_t *pixels, int32_t stride, CutBox within, CutBox *found)
{
    found->x0 = within.x1 + 1;
    found->x1 = within.x0 - 1;
    found->y0 = -1;
    for (int32_t y = within.y0; y <= within.y1; y++) {
        const uint8_t *row = pixels + (size_t)y * stride;
        int32_t x = within.x0;
        while (x <= within.x1 && row[x] == 0)
            x++;
        if (x > within.x1)
            continue;
        if (found->y0 < 0)
            found->y0 = y;
        found->y1 = y;
        if (x < found->x0)
            found->x0 = x;
        int32_t r = within.x1;
        while (row[r] == 0)
            r--;
        if (r > found->x1)
            found->x1 = r;
    }
    return found->y0 >= 0;
}

// A new 8-bit image of the canvas rectangle from (x0, y0), zero where it leaves the canvas.
static Img *canvas_region(int32_t x0, int32_t y0, int32_t w, int32_t h)
{
    Img *img = img_create(w, h, IMG_8BIT);
    uint8_t *out = (uint8_t *)img + img->colour_offset;
    memset(out, 0, (size_t)w * (size_t)h);
    int32_t from = x0 < 0 ? 0 : x0, to = x0 + w < cut.side ? x0 + w : cut.side;
    for (int32_t y = 0; y < h && from < to; y++)
        if (y0 + y >= 0 && y0 + y < cut.side)
            memcpy(out + (size_t)y * w + (from - x0), canvas_row(y0 + y) + from, (size_t)(to - from));
    return img;
}

// The canvas around the mask blurred as if the whole canvas were: `grow` pixels of the
// surroundings on every side, so the blur is never cut off at the mask's box.
static Img *blurred_region(const CutBox &mask, int32_t grow, double sigma)
{
    Img *img = canvas_region(mask.x0 - grow, mask.y0 - grow, mask.x1 - mask.x0 + 1 + 2 * grow,
                             mask.y1 - mask.y0 + 1 + 2 * grow);
    img_blur_radius(sigma);
    img_blur(img, img);
    return img;
}

static void build_shadow(Shape *shape, const CutBox &mask)
{
    int32_t g = cut.shadow_grow;
    Img *soft = blurred_region(mask, g, cut.shadow_sigma);
    img_fade(soft, CUT_SHADOW_FADE);
    const uint8_t *pixels = (uint8_t *)soft + soft->colour_offset;
    CutBox all = {0, 0, soft->width - 1, soft->height - 1}, box;
    if (nonzero_box(pixels, soft->width, all, &box)) {
        int32_t w = box.x1 - box.x0 + 1, h = box.y1 - box.y0 + 1;
        shape->shadow = img_create(w, h, IMG_8BIT);
        uint8_t *out = (uint8_t *)shape->shadow + shape->shadow->colour_offset;
        for (int32_t y = 0; y < h; y++)
            memcpy(out + (size_t)y * w, pixels + (size_t)(box.y0 + y) * soft->width + box.x0, (size_t)w);
        shape->shadow_x = box.x0 - g;
        shape->shadow_y = box.y0 - g;
    }
    img_free(soft);
}

// Coverage and relief code per pixel: 0 outside, SHAPE_FLAT inside and flat.
static void build_relief(Shape *shape, const CutBox &mask)
{
    int32_t g = cut.relief_grow, w = mask.x1 - mask.x0 + 1, h = mask.y1 - mask.y0 + 1;
    Img *height = blurred_region(mask, g, cut.relief_sigma);
    const uint8_t *heights = (uint8_t *)height + height->colour_offset;
    int32_t hs = height->width;
    shape->relief = img_create(w, h, IMG_555);
    uint8_t *out = (uint8_t *)shape->relief + shape->relief->colour_offset;
    for (int32_t y = 0; y < h; y++) {
        const uint8_t *m = canvas_row(mask.y0 + y) + mask.x0;
        const uint8_t *hr = heights + (size_t)(y + g) * hs + g;
        uint16_t *o = (uint16_t *)(out + (size_t)y * w * 2);
        for (int32_t x = 0; x < w; x++) {
            if (m[x] == 0) {
                o[x] = 0;
                continue;
            }
            int32_t code = relief_code_fast(hr[x - 1], hr[x], hr[x + 1], hr[x - hs], hr[x + hs]);
            o[x] = m[x] < 255 || code != 0 ? (uint16_t)(m[x] >> 3 | (code & 0x7FF) << 5) : SHAPE_FLAT;
        }
    }
    img_free(height);
}

static void build_shape(Shape *shape, const ShapeKey *key)
{
    int32_t k[12];
    key_words(key, k);
    CutBox work = draw_outline(k);
    trim_borders(k, work);
    CutBox mask;
    if (!nonzero_box(canvas_row(0), cut.canvas->colour_stride, work, &mask)) {
        // No inside: the whole canvas stands in for the piece.
        work = mask = {0, 0, cut.side - 1, cut.side - 1};
        fill_box(mask, 255);
    }
    shape->mask_x = mask.x0 - cut.margin;
    shape->mask_y = mask.y0 - cut.margin;
    build_shadow(shape, mask);
    build_relief(shape, mask);
    fill_box(work, 0);
}

// --- pieces ---

void cut_free_result(CutResult *r)
{
    for (int32_t i = 0; r->shapes && i < r->shape_count; i++) {
        img_free(r->shapes[i].relief);
        img_free(r->shapes[i].shadow);
        piece_runs_free(&r->shapes[i]);
    }
    io_mem_free(r->shapes);
    io_mem_free(r->pieces);
    *r = {};
}

void cut_result_free(void)
{
    cut_free_result(&cut_result);
}

int32_t cut_shadow_distance(int32_t piece_size)
{
    return std::max(1, (int32_t)(std::min(piece_size, CUT_MAX_SIDE) / 21.0 + 0.5));
}

// Neighbours above, left, below and right, those that exist.
void cut_set_neighbours(CutPiece *p, int32_t index, int32_t columns, int32_t rows)
{
    int32_t col = index % columns, row = index / columns;
    p->neighbour_count = 0;
    memset(p->neighbours, 0, sizeof p->neighbours);
    if (row > 0)
        p->neighbours[p->neighbour_count++] = index - columns;
    if (col > 0)
        p->neighbours[p->neighbour_count++] = index - 1;
    if (row < rows - 1)
        p->neighbours[p->neighbour_count++] = index + columns;
    if (col < columns - 1)
        p->neighbours[p->neighbour_count++] = index + 1;
}

void cut_pieces_build(void)
{
    cut_result_free();
    int32_t columns = cut_grid.columns, rows = cut_grid.rows, count = columns * rows;
    cut_result.shadow_distance = cut_shadow_distance(cut_grid.box.piece_size);
    if (count <= 0 || !cut_grid.points)
        return;
    collect_keys(count);

    int32_t shapes = cut.key_count;
    report_progress(0, shapes);
    cut_result.shapes = (Shape *)cut_alloc_array((size_t)shapes, sizeof(Shape), "cut_pieces_build");
    memset(cut_result.shapes, 0, (size_t)shapes * sizeof(Shape));
    cut_result.shape_count = shapes;
    canvas_prepare(cut_grid.box.piece_size);
    for (int32_t i = 0; i < shapes; i++) {
        build_shape(&cut_result.shapes[i], &cut.keys[i]);
        report_progress(i + 1, shapes);
    }
    canvas_release();

    cut_result.pieces = (CutPiece *)cut_alloc_array((size_t)count, sizeof(CutPiece), "cut_pieces_build");
    memset(cut_result.pieces, 0, (size_t)count * sizeof(CutPiece));
    cut_result.piece_count = count;
    for (int32_t i = 0; i < count; i++) {
        CutPiece *p = &cut_result.pieces[i];
        const GridPoint *g = grid_point(i % columns, i / columns);
        p->home_x = g->x + cut_grid.origin_x;
        p->home_y = g->y + cut_grid.origin_y;
        p->shape = cut.piece_shape[i];
        cut_set_neighbours(p, i, columns, rows);
    }
    io_mem_free(cut.keys);
    io_mem_free(cut.slots);
    io_mem_free(cut.piece_shape);
    cut.keys = nullptr;
    cut.slots = cut.piece_shape = nullptr;
    cut.key_count = 0;
}

// --- preview ---

void cut_preview_draw(int32_t x, int32_t y)
{
    if (!cut_grid.points)
        return;
    // Through the drawing layer, which remembers the pen: setting it behind its back would
    // have the next caller's pen skipped as already set.
    draw_set_pen(IO_PEN_SOLID, 0);
    for (int32_t row = 0; row <= cut_grid.rows; row++)
        for (int32_t col = 0; col <= cut_grid.columns; col++) {
            const GridPoint *p = grid_point(col, row);
            int32_t ox = x + cut_grid.origin_x - (col != 0), oy = y + cut_grid.origin_y - (row != 0);
            if (col < cut_grid.columns) {
                const GridPoint *r = grid_point(col + 1, row);
                curve_draw(p->htype, ox + p->x, oy + p->y, ox + r->x, oy + r->y);
            }
            if (row < cut_grid.rows) {
                const GridPoint *d = grid_point(col, row + 1);
                curve_draw(p->vtype, ox + p->x, oy + p->y, ox + d->x, oy + d->y);
            }
        }
}
