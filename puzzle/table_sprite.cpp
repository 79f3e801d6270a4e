// The held sprite: the carried pieces with their shadows, as they would be drawn over
// whatever lies below, made once and laid down in one sweep on every frame in which
// they only move.
//
// Each pixel the carried pieces reach ends either with a fixed colour (an opaque pixel
// of a body on top hides everything below) or with a few steps applied to the pixel
// below: shadows darkening it, then rims blending it with the lit picture. The sprite
// keeps the fixed colours as rows of runs and the steps of the other pixels, so a frame
// copies most of a group and works out only its rims and shadow edges.
//
// The steps are found by drawing each shadow and body alone over black and over white
// with the renderer itself, so the sprite follows the renderer exactly; a sprite is
// checked against the renderer over a mixed backdrop before it is used, and one that
// differs is never used. Only quarter turns are made into sprites: there a piece moved
// by whole pixels is drawn exactly moved.
#include <algorithm>
#include <cstring>
#include <utility>

#include "image/clip.h"
#include "platform/memory.h"
#include "platform/video.h"
#include "puzzle/table.h"
#include "puzzle/render_internal.h"
#include "puzzle/table_internal.h"
#if RENDER_SSE2
#include <emmintrin.h>
#endif

namespace {

// A selection spread across the table is drawn piece by piece rather than made into a
// sprite of mostly empty pixels.
constexpr int64_t SPRITE_MAX_PIXELS = (int64_t)1 << 21;
// Where the extent is worked out: far from the edges of a table large enough that no
// piece is cut.
constexpr int32_t SPRITE_FAR = 1 << 15;
// Pieces heaped on each other beyond this many steps on one pixel are drawn piece by
// piece.
constexpr int32_t SPRITE_MAX_STEPS = 16;
// The step tables: a shadow of darkness m uses blend_table's row m, a rim of coverage a
// the table's share under it (light_background turned about) in row SPRITE_RIM_ROWS + a.
constexpr int32_t SPRITE_RIM_ROWS = 256;

// What a carried piece is to the sprite; a change to any of it makes the sprite anew.
struct SpriteKey {
    int32_t piece, dx, dy, drawn_angle, angle, lift, selected, shape;
    bool operator==(const SpriteKey &) const = default;
};

// One step on a pixel whose result depends on what lies below: byte i of the pixel, t,
// becomes rows[row][t] + c[i] (a shadow adds nothing). Packed into one word, so a step
// is one read: bits 0 to 23 the row's offset in rows, then c[0], c[1], c[2].
using SpriteStep = uint64_t;

constexpr SpriteStep sprite_step(uint32_t row, const uint8_t c[3])
{
    return (uint64_t)(row << 8) | (uint64_t)c[0] << 24 | (uint64_t)c[1] << 32 | (uint64_t)c[2] << 40;
}

// A run of fixed colours in a sprite row.
struct SpriteRun {
    int32_t x, n;
};

// The dependent pixels of a row come sorted by their numbers of shadows and rims, in
// groups of pixels that take as many of each, so that the steps of neighbouring pixels,
// each waiting on the step before, overlap.
struct SpriteGroup {
    uint8_t shadows, rims;
    uint16_t count;
};

// Pixel kinds while a sprite is made.
enum : uint8_t { PX_UNTOUCHED = 0, PX_FIXED = 1, PX_DEPENDS = 2 };

// One step as it is found, for the pixel it falls on; a pixel's steps are found in the
// order they apply.
struct ChainLink {
    SpriteStep step;
    uint32_t px;
};

struct Sprite {
    SpriteKey *key, *last, *now;  // the sprite's pieces, the last frame's, this frame's
    int32_t key_n, last_n, capacity;
    bool made, refused;           // for `key`
    const Img *picture;
    const Shape *shapes;
    int32_t rel_x, rel_y;         // the top-left relative to the bottom carried piece
    int32_t w, h;
    uint8_t *colour;              // w * h * 3: the fixed colours
    int32_t *run_first;           // h + 1: row r's runs are runs[run_first[r] .. run_first[r + 1])
    SpriteRun *runs;
    // Row r's dependent pixels: groups[group_first[r] ..], their columns from
    // dep_x[dep_first[r]] and their steps, pixel after pixel, from steps[step_first[r]].
    int32_t *group_first, *dep_first, *step_first;  // h + 1 each
    SpriteGroup *groups;
    uint16_t *dep_x;
    SpriteStep *steps;
    uint8_t rows[(SPRITE_RIM_ROWS + 32) * 256];
};
Sprite sprite;

template <class T> void give_back(T *&block)
{
    io_mem_free(block);
    block = nullptr;
}

void sprite_drop_pixels(void)
{
    give_back(sprite.colour);
    give_back(sprite.run_first);
    give_back(sprite.runs);
    give_back(sprite.group_first);
    give_back(sprite.dep_first);
    give_back(sprite.step_first);
    give_back(sprite.groups);
    give_back(sprite.dep_x);
    give_back(sprite.steps);
    sprite.made = sprite.refused = false;
    sprite.w = sprite.h = 0;
}

// The lifted pieces bottom to top, as the live drawing takes them; *quarter false when
// one stands at an angle a sprite cannot follow. Lifted pieces lie at the top of the
// stack, so the walk goes down from the top until it has met them all.
int32_t keys_now(SpriteKey *out, bool *quarter)
{
    int32_t lifted = 0;
    for (int32_t i = 0; i < table.count; i++)
        lifted += table.pieces[i].lift != 0;
    int32_t n = lifted;
    for (int32_t i = table.top, steps = 0; i != -1 && n > 0 && steps < table.count; i = table.pieces[i].below, steps++)
        if (table.pieces[i].lift != 0)
            out[--n].piece = i;
    if (n != 0)
        return 0;  // a broken stack: drawn piece by piece
    *quarter = true;
    const Piece &ref = table.pieces[out[0].piece];
    for (int32_t k = 0; k < lifted; k++) {
        const Piece &p = table.pieces[out[k].piece];
        out[k] = {out[k].piece, p.drawn_x - ref.drawn_x, p.drawn_y - ref.drawn_y, p.drawn_angle, p.angle, p.drawn_lift,
                  p.selected, p.shape};
        if (p.drawn_angle % 90 != 0 || p.angle % 90 != 0)
            *quarter = false;
    }
    return lifted;
}

// A shadow on all three bytes of a pixel at once, each in a 16-bit lane of one word:
// blend_table's rounding of (255 - m) t / 255 as (x + 128 + ((x + 128) >> 8)) >> 8,
// which no lane overflows (shadow_arithmetic_holds checks it against the table). The
// step holds 255 - m.
constexpr uint64_t SPRITE_LANES = 0x000000FF00FF00FFull;

inline uint64_t shadow_lanes(uint64_t t, SpriteStep step)
{
    uint64_t y = t * step + 0x0000008000800080ull;
    return ((y + ((y >> 8) & SPRITE_LANES)) >> 8) & SPRITE_LANES;
}

bool shadow_arithmetic_holds(void)
{
    for (uint32_t m = 0; m < 256; m++)
        for (uint32_t t = 0; t < 256; t++) {
            uint64_t r = shadow_lanes((uint64_t)t | (uint64_t)(255 - t) << 16 | (uint64_t)t << 32, 255 - m);
            if ((r & 0xFF) != blend_table[m << 8 | t] || (r >> 16 & 0xFF) != blend_table[m << 8 | (255 - t)] ||
                (r >> 32 & 0xFF) != blend_table[m << 8 | t])
                return false;
        }
    return true;
}

inline void run_step(uint32_t &t0, uint32_t &t1, uint32_t &t2, SpriteStep step)
{
    const uint8_t *row = sprite.rows + (step & 0xFFFFFF);
    t0 = (uint8_t)(row[t0] + (uint8_t)(step >> 24));
    t1 = (uint8_t)(row[t1] + (uint8_t)(step >> 32));
    t2 = (uint8_t)(row[t2] + (uint8_t)(step >> 40));
}

// n bytes, n >= 3, in as few moves as the length allows.
inline void copy_run(uint8_t *d, const uint8_t *s, size_t n)
{
#if RENDER_SSE2
    if (n >= 16) {
        size_t i = 0;
        for (; i + 16 < n; i += 16)
            _mm_storeu_si128((__m128i *)(d + i), _mm_loadu_si128((const __m128i *)(s + i)));
        _mm_storeu_si128((__m128i *)(d + n - 16), _mm_loadu_si128((const __m128i *)(s + n - 16)));
        return;
    }
#endif
    uint64_t a, b;
    if (n >= 8) {
        memcpy(&a, s, 8);
        memcpy(&b, s + n - 8, 8);
        memcpy(d, &a, 8);
        memcpy(d + n - 8, &b, 8);
    } else if (n >= 4) {
        uint32_t a4, b4;
        memcpy(&a4, s, 4);
        memcpy(&b4, s + n - 4, 4);
        memcpy(d, &a4, 4);
        memcpy(d + n - 4, &b4, 4);
    } else {
        memcpy(d, s, 3);
    }
}

// One group of dependent pixels with S shadows and R rims each (S or R -1: as many as
// `shadows` or `rims` say).
template <int S, int R>
void lay_group(uint8_t *dst, int32_t x0, int32_t x1, const uint16_t *x, int32_t count, const SpriteStep *step,
               int32_t shadows, int32_t rims)
{
    const int32_t ns = S >= 0 ? S : shadows, nr = R >= 0 ? R : rims;
    for (int32_t k = 0; k < count; k++, step += ns + nr) {
        if (x[k] < x0 || x[k] > x1)
            continue;
        uint8_t *px = dst + (ptrdiff_t)(x[k] - x0) * 3;
        uint32_t t0 = px[0], t1 = px[1], t2 = px[2];
        if (ns > 0) {
            uint64_t t = (uint64_t)t0 | (uint64_t)t1 << 16 | (uint64_t)t2 << 32;
            for (int32_t i = 0; i < ns; i++)
                t = shadow_lanes(t, step[i]);
            t0 = (uint32_t)t & 0xFF, t1 = (uint32_t)(t >> 16) & 0xFF, t2 = (uint32_t)(t >> 32);
        }
        for (int32_t i = 0; i < nr; i++)
            run_step(t0, t1, t2, step[ns + i]);
        px[0] = (uint8_t)t0, px[1] = (uint8_t)t1, px[2] = (uint8_t)t2;
    }
}

// Sprite rows y0 .. y1, columns x0 .. x1 (inside the sprite) onto `dst`, where sprite
// pixel (x0, y0) goes; rows `stride` bytes apart: the fixed runs copied, then the
// dependent pixels worked out from what lies below them.
void sprite_lay(uint8_t *dst, ptrdiff_t stride, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    for (int32_t y = y0; y <= y1; y++, dst += stride) {
        const SpriteRun *s = sprite.runs + sprite.run_first[y], *end = sprite.runs + sprite.run_first[y + 1];
        for (; s < end && s->x <= x1; s++) {
            int32_t a = std::max(s->x, x0), b = std::min(s->x + s->n - 1, x1);
            if (a <= b)
                copy_run(dst + (ptrdiff_t)(a - x0) * 3, sprite.colour + ((size_t)y * sprite.w + a) * 3,
                         (size_t)(b - a + 1) * 3);
        }
        const uint16_t *x = sprite.dep_x + sprite.dep_first[y];
        const SpriteStep *step = sprite.steps + sprite.step_first[y];
        for (int32_t g = sprite.group_first[y]; g < sprite.group_first[y + 1]; g++) {
            const SpriteGroup &group = sprite.groups[g];
            int32_t c = group.count, ns = group.shadows, nr = group.rims;
            // The usual kinds: a shadow's edge, a rim over the floor or over a shadow, and
            // where two or more pieces meet over their shadows.
            switch (ns << 8 | nr) {
            case 1 << 8 | 0: lay_group<1, 0>(dst, x0, x1, x, c, step, ns, nr); break;
            case 2 << 8 | 0: lay_group<2, 0>(dst, x0, x1, x, c, step, ns, nr); break;
            case 0 << 8 | 1: lay_group<0, 1>(dst, x0, x1, x, c, step, ns, nr); break;
            case 1 << 8 | 1: lay_group<1, 1>(dst, x0, x1, x, c, step, ns, nr); break;
            case 2 << 8 | 1: lay_group<2, 1>(dst, x0, x1, x, c, step, ns, nr); break;
            case 2 << 8 | 2: lay_group<2, 2>(dst, x0, x1, x, c, step, ns, nr); break;
            case 3 << 8 | 2: lay_group<3, 2>(dst, x0, x1, x, c, step, ns, nr); break;
            case 4 << 8 | 2: lay_group<4, 2>(dst, x0, x1, x, c, step, ns, nr); break;
            default: lay_group<-1, -1>(dst, x0, x1, x, c, step, ns, nr); break;
            }
            x += c;
            step += (size_t)c * (ns + nr);
        }
    }
}

// --- making a sprite ---

struct Build {
    int32_t w, h;
    uint8_t *scratch, *probe;  // w * h * 3 each
    uint8_t *kind;             // w * h
    uint32_t *first_step;      // w * h: where a dependent pixel's steps go in sprite.steps
    uint8_t *length;           // w * h: the number of steps of a dependent pixel
    uint8_t *shadows;          // w * h: how many of them are shadows
    ChainLink *links;
    uint32_t link_n, link_cap;
    int8_t rim_of_keep[256];   // a rim's share of white, keep[a][255] -> a; -1 for none
    bool ok;
};

void push_step(Build &b, size_t px, SpriteStep step)
{
    if (b.kind[px] == PX_FIXED) {
        uint8_t *c = sprite.colour + px * 3;
        uint32_t t0 = c[0], t1 = c[1], t2 = c[2];
        run_step(t0, t1, t2, step);
        c[0] = (uint8_t)t0, c[1] = (uint8_t)t1, c[2] = (uint8_t)t2;
        return;
    }
    if (b.link_n == b.link_cap) {
        b.link_cap *= 2;
        b.links = (ChainLink *)io_mem_realloc(b.links, sizeof(ChainLink) * b.link_cap);
    }
    bool first = b.kind[px] != PX_DEPENDS;
    b.links[b.link_n++] = {step, (uint32_t)px};
    b.kind[px] = PX_DEPENDS;
    // Shadows are all drawn before the bodies, so they lead every list.
    bool shadow = (step & 0xFFFFFF) < ((uint32_t)SPRITE_RIM_ROWS << 8);
    uint8_t n = first ? 0 : b.length[px];
    if (n >= SPRITE_MAX_STEPS || (shadow && !first && b.shadows[px] != n)) {
        b.ok = false;
        return;
    }
    b.length[px] = (uint8_t)(n + 1);
    b.shadows[px] = (uint8_t)((first ? 0 : b.shadows[px]) + shadow);
}

void fill_box(Build &b, const PieceBox &box, uint8_t value)
{
    for (int32_t y = box.y0; y <= box.y1; y++)
        memset(b.scratch + ((size_t)y * b.w + box.x0) * 3, value, (size_t)(box.x1 - box.x0 + 1) * 3);
}

// A shadow drawn alone over white shows its darkness: 255 - m in every byte.
void learn_shadow(Build &b, const Piece &q)
{
    const PieceBox &box = q.shadow_box;
    if (!table_box_shown(box))
        return;
    fill_box(b, box, 255);
    piece_draw(&q, PIECE_SHADOW);
    for (int32_t y = box.y0; y <= box.y1 && b.ok; y++)
        for (int32_t x = box.x0; x <= box.x1; x++) {
            size_t px = (size_t)y * b.w + x;
            const uint8_t *r = b.scratch + px * 3;
            if (r[0] == 255 && r[1] == 255 && r[2] == 255)
                continue;
            if (r[0] != r[1] || r[1] != r[2]) {
                b.ok = false;
                break;
            }
            const uint8_t none[3] = {0, 0, 0};
            push_step(b, px, sprite_step(255u - r[0], none));
        }
}

// A body drawn alone over black and over white: the same colour both times is a fixed
// pixel; black and white kept is no pixel at all; otherwise the white's surplus names
// the coverage and the black gives the lit colour.
void learn_body(Build &b, const Piece &q)
{
    const PieceBox &box = q.body_box;
    if (!table_box_shown(box))
        return;
    fill_box(b, box, 0);
    piece_draw(&q, PIECE_BODY);
    for (int32_t y = box.y0; y <= box.y1; y++) {
        size_t at = ((size_t)y * b.w + box.x0) * 3;
        memcpy(b.probe + at, b.scratch + at, (size_t)(box.x1 - box.x0 + 1) * 3);
    }
    fill_box(b, box, 255);
    piece_draw(&q, PIECE_BODY);
    for (int32_t y = box.y0; y <= box.y1 && b.ok; y++)
        for (int32_t x = box.x0; x <= box.x1; x++) {
            size_t px = (size_t)y * b.w + x;
            const uint8_t *black = b.probe + px * 3, *white = b.scratch + px * 3;
            bool black_kept = black[0] == 0 && black[1] == 0 && black[2] == 0;
            if (black_kept && white[0] == 255 && white[1] == 255 && white[2] == 255)
                continue;
            if (black[0] == white[0] && black[1] == white[1] && black[2] == white[2]) {
                b.kind[px] = PX_FIXED;
                memcpy(sprite.colour + px * 3, black, 3);
                continue;
            }
            int32_t k = white[0] - black[0];
            int32_t a = k >= 0 ? b.rim_of_keep[k] : -1;
            if (a < 1 || white[1] - black[1] != k || white[2] - black[2] != k) {
                b.ok = false;
                break;
            }
            push_step(b, px, sprite_step((uint32_t)(SPRITE_RIM_ROWS + a), black));
        }
}

// The rows of fixed runs and the dependent pixels, from the pixels as made.
bool pack(Build &b)
{
    int32_t runs = 0, deps = 0, steps = 0, groups = 0, widest = 0;
    for (int32_t y = 0; y < b.h; y++) {
        uint8_t prev = PX_UNTOUCHED;
        int32_t in_row = 0;
        for (int32_t x = 0; x < b.w; x++) {
            size_t px = (size_t)y * b.w + x;
            uint8_t k = b.kind[px];
            runs += k == PX_FIXED && prev != PX_FIXED;
            prev = k;
            if (k != PX_DEPENDS)
                continue;
            deps++;
            in_row++;
            steps += b.length[px];
        }
        widest = std::max(widest, in_row);
        groups += in_row;  // at most one group per pixel
    }
    sprite.run_first = (int32_t *)io_mem_alloc(sizeof(int32_t) * ((size_t)b.h + 1));
    sprite.runs = (SpriteRun *)io_mem_alloc(sizeof(SpriteRun) * std::max(runs, 1));
    sprite.group_first = (int32_t *)io_mem_alloc(sizeof(int32_t) * ((size_t)b.h + 1));
    sprite.dep_first = (int32_t *)io_mem_alloc(sizeof(int32_t) * ((size_t)b.h + 1));
    sprite.step_first = (int32_t *)io_mem_alloc(sizeof(int32_t) * ((size_t)b.h + 1));
    sprite.groups = (SpriteGroup *)io_mem_alloc(sizeof(SpriteGroup) * std::max(groups, 1));
    sprite.dep_x = (uint16_t *)io_mem_alloc(sizeof(uint16_t) * std::max(deps, 1));
    sprite.steps = (SpriteStep *)io_mem_alloc(sizeof(SpriteStep) * std::max(steps, 1));
    // A row's dependent pixels as (shadows, rims, column), sorted.
    uint32_t *order = (uint32_t *)io_mem_alloc(sizeof(uint32_t) * std::max(widest, 1));
    int32_t r = 0, g = 0, d = 0, m = 0;
    for (int32_t y = 0; y < b.h; y++) {
        sprite.run_first[y] = r;
        sprite.group_first[y] = g;
        sprite.dep_first[y] = d;
        sprite.step_first[y] = m;
        uint8_t prev = PX_UNTOUCHED;
        int32_t in_row = 0;
        for (int32_t x = 0; x < b.w; x++) {
            size_t px = (size_t)y * b.w + x;
            uint8_t k = b.kind[px];
            if (k == PX_FIXED && prev != PX_FIXED)
                sprite.runs[r++] = {x, 0};
            if (k == PX_FIXED)
                sprite.runs[r - 1].n++;
            prev = k;
            if (k == PX_DEPENDS)
                order[in_row++] = (uint32_t)b.shadows[px] << 24 | (uint32_t)(b.length[px] - b.shadows[px]) << 16 |
                                  (uint32_t)x;
        }
        std::sort(order, order + in_row);
        for (int32_t i = 0; i < in_row; i++) {
            uint32_t kind = order[i] >> 16;
            int32_t x = (int32_t)(order[i] & 0xFFFF);
            size_t px = (size_t)y * b.w + x;
            int32_t n = b.length[px];
            if (i == 0 || kind != order[i - 1] >> 16)
                sprite.groups[g++] = {(uint8_t)(kind >> 8), (uint8_t)(kind & 0xFF), 0};
            sprite.groups[g - 1].count++;
            sprite.dep_x[d++] = (uint16_t)x;
            b.first_step[px] = (uint32_t)m;
            m += n;
        }
    }
    io_mem_free(order);
    // The steps in the order they were found: each goes after its pixel's earlier ones.
    // Those of pixels a later body covered are gone; a shadow keeps only 255 - m.
    uint8_t *taken = b.probe;
    memset(taken, 0, (size_t)b.w * b.h);
    for (uint32_t l = 0; l < b.link_n; l++) {
        size_t px = b.links[l].px;
        if (b.kind[px] != PX_DEPENDS)
            continue;
        uint32_t k = taken[px]++;
        SpriteStep step = b.links[l].step;
        sprite.steps[b.first_step[px] + k] = k < b.shadows[px] ? 255 - ((step >> 8) & 0xFF) : step;
    }
    sprite.run_first[b.h] = r;
    sprite.group_first[b.h] = g;
    sprite.dep_first[b.h] = d;
    sprite.step_first[b.h] = m;
    return true;
}

// The pieces drawn by the renderer over a mixed backdrop and the sprite laid over the
// same must agree to the byte.
bool check(Build &b, const Piece *copies, int32_t n)
{
    size_t bytes = (size_t)b.w * b.h * 3;
    uint64_t seed = 0x9E3779B97F4A7C15ull;
    for (size_t i = 0; i < bytes; i += 8) {
        seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17;
        memcpy(b.scratch + i, &seed, std::min<size_t>(8, bytes - i));
    }
    memcpy(b.probe, b.scratch, bytes);
    for (int what : {PIECE_SHADOW, PIECE_BODY})
        for (int32_t k = 0; k < n; k++)
            piece_draw(&copies[k], what);
    ptrdiff_t stride = (ptrdiff_t)b.w * 3;
    sprite_lay(b.probe, stride, 0, 0, b.w - 1, b.h - 1);
    return memcmp(b.probe, b.scratch, bytes) == 0;
}

// Makes the sprite of the pieces in sprite.key; false when it cannot be made or would
// not draw what the renderer draws.
bool sprite_make(void)
{
    static const bool lanes_hold = shadow_arithmetic_holds();
    if (!lanes_hold)
        return false;
    int32_t n = sprite.key_n;
    memcpy(sprite.rows, blend_table, (size_t)SPRITE_RIM_ROWS << 8);
    for (int32_t a = 0; a < 32; a++)
        for (int32_t t = 0; t < 256; t++)
            sprite.rows[(SPRITE_RIM_ROWS + a) << 8 | t] = light_background[t << 8 | a];
    const ImgView saved = piece_scene.table;
    Piece *copies = (Piece *)io_mem_alloc(sizeof(Piece) * (size_t)n);
    // The extent, with every piece whole on a table far larger than the group.
    piece_scene.table = {1 << 17, 1 << 17, IMG_BGR, nullptr, 0, nullptr, 0};
    PieceBox extent = {INT32_MAX, INT32_MAX, -1, -1};
    for (int32_t k = 0; k < n; k++) {
        const Piece &p = table.pieces[sprite.key[k].piece];
        Piece &q = copies[k];
        q = p;
        q.x = SPRITE_FAR + sprite.key[k].dx;
        q.y = SPRITE_FAR + sprite.key[k].dy;
        q.angle = p.drawn_angle;
        q.lift = p.drawn_lift;
        piece_geometry_update(&q);
        for (const PieceBox *box : {&q.body_box, &q.shadow_box})
            if (table_box_shown(*box))
                extent = {std::min(extent.x0, box->x0), std::min(extent.y0, box->y0), std::max(extent.x1, box->x1),
                          std::max(extent.y1, box->y1)};
    }
    int64_t w = (int64_t)extent.x1 - extent.x0 + 1, h = (int64_t)extent.y1 - extent.y0 + 1;
    // Dependent pixels keep their places in 16 bits.
    if (!table_box_shown(extent) || w * h > SPRITE_MAX_PIXELS || w > 65535 || h > 65535) {
        piece_scene.table = saved;
        io_mem_free(copies);
        return false;
    }
    Build b = {};
    b.w = (int32_t)w;
    b.h = (int32_t)h;
    size_t pixels = (size_t)(w * h);
    b.scratch = (uint8_t *)io_mem_alloc(pixels * 3);
    b.probe = (uint8_t *)io_mem_alloc(pixels * 3);
    b.kind = (uint8_t *)io_mem_alloc(pixels);
    b.first_step = (uint32_t *)io_mem_alloc(pixels * sizeof(uint32_t));
    b.length = (uint8_t *)io_mem_alloc(pixels);
    b.shadows = (uint8_t *)io_mem_alloc(pixels);
    b.link_cap = 4096;
    b.links = (ChainLink *)io_mem_alloc(sizeof(ChainLink) * b.link_cap);
    b.link_n = 0;
    b.ok = true;
    memset(b.kind, PX_UNTOUCHED, pixels);
    memset(b.rim_of_keep, -1, sizeof b.rim_of_keep);
    for (int32_t a = 30; a >= 1; a--)
        b.rim_of_keep[sprite.rows[(SPRITE_RIM_ROWS + a) << 8 | 255]] = (int8_t)a;
    sprite.colour = (uint8_t *)io_mem_alloc(pixels * 3);
    sprite.w = b.w;
    sprite.h = b.h;
    sprite.rel_x = extent.x0 - SPRITE_FAR;
    sprite.rel_y = extent.y0 - SPRITE_FAR;
    piece_scene.table = {b.w, b.h, IMG_BGR, b.scratch, b.w * 3, nullptr, 0};
    for (int32_t k = 0; k < n; k++) {
        Piece &q = copies[k];
        q.x -= extent.x0;
        q.y -= extent.y0;
        piece_geometry_update(&q);
        q.angle = table.pieces[sprite.key[k].piece].angle;
    }
    for (int32_t k = 0; k < n && b.ok; k++)
        learn_shadow(b, copies[k]);
    for (int32_t k = 0; k < n && b.ok; k++)
        learn_body(b, copies[k]);
    b.ok = b.ok && pack(b) && check(b, copies, n);
    piece_scene.table = saved;
    io_mem_free(copies);
    io_mem_free(b.scratch);
    io_mem_free(b.probe);
    io_mem_free(b.kind);
    io_mem_free(b.first_step);
    io_mem_free(b.length);
    io_mem_free(b.shadows);
    io_mem_free(b.links);
    return b.ok;
}

struct LayAt {
    int32_t x, y;  // the sprite's top-left on the screen
};

void lay_run(int32_t x, int32_t y, int32_t w, int32_t h, void *ctx)
{
    const LayAt *at = (const LayAt *)ctx;
    sprite_lay(screen.buf + (ptrdiff_t)y * screen.pitch + (ptrdiff_t)x * 3, screen.pitch, x - at->x, y - at->y,
              x - at->x + w - 1, y - at->y + h - 1);
}

void keys_room(void)
{
    if (sprite.capacity >= table.count)
        return;
    held_sprite_free();
    size_t bytes = sizeof(SpriteKey) * (size_t)table.count;
    sprite.key = (SpriteKey *)io_mem_alloc(bytes);
    sprite.last = (SpriteKey *)io_mem_alloc(bytes);
    sprite.now = (SpriteKey *)io_mem_alloc(bytes);
    sprite.capacity = table.count;
}

}  // namespace

void held_sprite_free(void)
{
    sprite_drop_pixels();
    io_mem_free(sprite.key);
    io_mem_free(sprite.last);
    io_mem_free(sprite.now);
    sprite.key = sprite.last = sprite.now = nullptr;
    sprite.key_n = sprite.last_n = sprite.capacity = 0;
}

bool held_sprite_draw(void)
{
    if (table.count < 1 || !piece_scene.table.colour || screen.bytes_per_pixel != 3)
        return false;
    keys_room();
    bool quarter;
    int32_t n = keys_now(sprite.now, &quarter);
    if (n == 0)
        return false;
    bool scene = sprite.picture == piece_scene.picture && sprite.shapes == piece_scene.shapes;
    bool same = (sprite.made || sprite.refused) && scene && n == sprite.key_n &&
                std::equal(sprite.now, sprite.now + n, sprite.key);
    if (!same) {
        // Only pieces that kept their places since the last frame are made into a
        // sprite: while a turn goes on they change every tick.
        bool steady = quarter && scene && n == sprite.last_n && std::equal(sprite.now, sprite.now + n, sprite.last);
        std::swap(sprite.now, sprite.last);
        sprite.last_n = n;
        sprite.picture = piece_scene.picture;
        sprite.shapes = piece_scene.shapes;
        if (!steady)
            return false;
        sprite_drop_pixels();
        memcpy(sprite.key, sprite.last, sizeof(SpriteKey) * (size_t)n);
        sprite.key_n = n;
        if (sprite_make()) {
            sprite.made = true;
        } else {
            sprite_drop_pixels();
            sprite.refused = true;
        }
    }
    if (!sprite.made)
        return false;
    const Piece &ref = table.pieces[sprite.key[0].piece];
    LayAt at = {ref.drawn_x + sprite.rel_x, ref.drawn_y + sprite.rel_y};
    // Cut to the table and the screen, as every piece's drawing is.
    int32_t right = std::min(table.width, piece_scene.table.width);
    int32_t bottom = std::min(table.height, piece_scene.table.height);
    int32_t x0 = std::max(at.x, 0), y0 = std::max(at.y, 0);
    int32_t x1 = std::min(at.x + sprite.w, right), y1 = std::min(at.y + sprite.h, bottom);
    if (x0 >= x1 || y0 >= y1)
        return true;
    if (!clip_grid()->flags)
        lay_run(x0, y0, x1 - x0, y1 - y0, &at);
    else
        clip_each_dirty(x0, y0, x1 - x0, y1 - y0, lay_run, &at);
    return true;
}
