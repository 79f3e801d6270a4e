// The held sprite: the carried pieces with their shadows, as they would be drawn over
// whatever lies below, made once and laid down in one sweep on every frame in which
// they only move (table_sprite_lay.cpp).
//
// Each pixel the carried pieces reach ends either with a fixed colour (an opaque pixel
// of a body on top hides everything below) or with a few steps applied to the pixel
// below: shadows darkening it, then rims blending it with the lit picture. The sprite
// keeps the fixed colours and the steps of the other pixels, so a frame copies most of
// a group and works out only its rims and shadow edges.
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
#include "puzzle/table_internal.h"
#include "puzzle/table_sprite_internal.h"

int64_t table_sprite_laid;
HeldSprite held_sprite;

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

// One step as it is found: k | c[0] << 8 | c[1] << 16 | c[2] << 24 (c is 0 for a shadow).
using SpriteStep = uint32_t;

constexpr SpriteStep sprite_step(uint32_t k, const uint8_t c[3])
{
    return k | (uint32_t)c[0] << 8 | (uint32_t)c[1] << 16 | (uint32_t)c[2] << 24;
}

// Pixel kinds while a sprite is made.
enum : uint8_t { PX_UNTOUCHED = 0, PX_FIXED = 1, PX_DEPENDS = 2 };

// One step as it is found, for the pixel it falls on; a pixel's steps are found in the
// order they apply.
struct ChainLink {
    SpriteStep step;
    uint32_t px;
    bool shadow;
};

template <class T> void give_back(T *&block)
{
    io_mem_free(block);
    block = nullptr;
}

void sprite_drop_pixels(void)
{
    give_back(held_sprite.colour);
    give_back(held_sprite.run_first);
    give_back(held_sprite.runs);
    give_back(held_sprite.group_first);
    give_back(held_sprite.dep_first);
    give_back(held_sprite.lane_first);
    give_back(held_sprite.groups);
    give_back(held_sprite.dep_x);
    give_back(held_sprite.lanes);
    give_back(held_sprite.band_first);
    give_back(held_sprite.bands);
    give_back(held_sprite.band_lanes);
    held_sprite.made = held_sprite.refused = false;
    held_sprite.w = held_sprite.h = 0;
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

// --- making a sprite ---

struct Build {
    int32_t w, h;
    uint8_t *scratch, *probe;  // w * h * 3 each
    uint8_t *kind;             // w * h
    uint32_t *first_lane;      // w * h: where a dependent pixel's first step goes in held_sprite.lanes
    uint8_t *length;           // w * h: the number of steps of a dependent pixel
    uint8_t *shadows;          // w * h: how many of them are shadows
    uint8_t *band;             // w * h: the dependent pixel lies in a band
    uint8_t *band_shadows, *band_rims;  // w * h: the steps of its band's pixels
    uint32_t *lane_step;       // w * h: lanes from one of a dependent pixel's steps to the next
    ChainLink *links;
    uint32_t link_n, link_cap;
    int8_t rim_of_keep[256];   // a rim's share of white, light_background[255][a] -> a; -1 for none
    bool ok;
};

void push_step(Build &b, size_t px, SpriteStep step, bool shadow)
{
    if (b.kind[px] == PX_FIXED) {
        // A rim over a fixed pixel gives a fixed pixel.
        uint8_t *c = held_sprite.colour + px * 3;
        uint32_t k = step & 0xFF;
        for (int32_t i = 0; i < 3; i++)
            c[i] = (uint8_t)(shadow ? shadow_byte(c[i], k) : rim_byte(c[i], k, (step >> (8 + 8 * i)) & 0xFF));
        return;
    }
    if (b.link_n == b.link_cap) {
        b.link_cap *= 2;
        b.links = (ChainLink *)io_mem_realloc(b.links, sizeof(ChainLink) * b.link_cap);
    }
    bool first = b.kind[px] != PX_DEPENDS;
    b.links[b.link_n++] = {step, (uint32_t)px, shadow};
    b.kind[px] = PX_DEPENDS;
    // Shadows are all drawn before the bodies, so they lead every list.
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

// A shadow drawn alone over white shows what it keeps: k = 255 - m in every byte.
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
            push_step(b, px, sprite_step(r[0], none), true);
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
                memcpy(held_sprite.colour + px * 3, black, 3);
                continue;
            }
            int32_t k = white[0] - black[0];
            int32_t a = k >= 0 ? b.rim_of_keep[k] : -1;
            if (a < 1 || white[1] - black[1] != k || white[2] - black[2] != k) {
                b.ok = false;
                break;
            }
            push_step(b, px, sprite_step((uint32_t)(62 - 2 * a), black), false);
        }
}

// The end of the dependent pixels side by side from column x of row y, and the most
// shadows and rims any of them has.
int32_t band_end(const Build &b, int32_t y, int32_t x, int32_t *shadows, int32_t *rims)
{
    int32_t end = x;
    *shadows = *rims = 0;
    for (size_t q = (size_t)y * b.w + x; end < b.w && b.kind[q] == PX_DEPENDS; q++, end++) {
        *shadows = std::max<int32_t>(*shadows, b.shadows[q]);
        *rims = std::max<int32_t>(*rims, b.length[q] - b.shadows[q]);
    }
    return end;
}

// The rows' stretches of touched pixels, their bands and their other dependent pixels
// paired off, from the pixels as made.
bool pack(Build &b)
{
    // First the sizes: stretches, bands and their lanes, and every row's other dependent
    // pixels as (shadows, rims, column), sorted, for the groups, pairs and lanes.
    int32_t runs = 0, deps = 0, bands = 0;
    size_t band_lanes = 0;
    for (int32_t y = 0; y < b.h; y++) {
        uint8_t prev = PX_UNTOUCHED;
        for (int32_t x = 0; x < b.w; x++) {
            uint8_t k = b.kind[(size_t)y * b.w + x];
            runs += k != PX_UNTOUCHED && prev == PX_UNTOUCHED;
            deps += k == PX_DEPENDS;
            prev = k;
        }
        for (int32_t x = 0; x < b.w;) {
            size_t px = (size_t)y * b.w + x;
            if (b.kind[px] != PX_DEPENDS) {
                x++;
                continue;
            }
            int32_t ns, nr, end = band_end(b, y, x, &ns, &nr);
            bool band = end - x >= SPRITE_BAND_MIN;
            memset(b.band + px, band, (size_t)(end - x));
            if (band) {
                bands++;
                band_lanes += (size_t)(end - x) * 3 * (ns + nr);
            }
            x = end;
        }
    }
    uint32_t *order = (uint32_t *)io_mem_alloc(sizeof(uint32_t) * std::max(deps, 1));
    int32_t *order_first = (int32_t *)io_mem_alloc(sizeof(int32_t) * ((size_t)b.h + 1));
    int32_t o = 0, groups = 0, slots = 0;
    size_t lanes = 0;
    for (int32_t y = 0; y < b.h; y++) {
        order_first[y] = o;
        for (int32_t x = 0; x < b.w; x++) {
            size_t px = (size_t)y * b.w + x;
            if (b.kind[px] == PX_DEPENDS && !b.band[px])
                order[o++] =
                    (uint32_t)b.shadows[px] << 24 | (uint32_t)(b.length[px] - b.shadows[px]) << 16 | (uint32_t)x;
        }
        std::sort(order + order_first[y], order + o);
        for (int32_t i = order_first[y]; i < o;) {
            int32_t j = i;
            while (j < o && order[j] >> 16 == order[i] >> 16)
                j++;
            int32_t pairs = (j - i + 1) / 2, steps = (int32_t)(order[i] >> 24) + (int32_t)((order[i] >> 16) & 0xFF);
            groups++;
            slots += 2 * pairs;
            lanes += (size_t)pairs * steps * SPRITE_LANES;
            i = j;
        }
    }
    order_first[b.h] = o;
    held_sprite.run_first = (int32_t *)io_mem_alloc(sizeof(int32_t) * ((size_t)b.h + 1));
    held_sprite.runs = (SpriteRun *)io_mem_alloc(sizeof(SpriteRun) * std::max(runs, 1));
    held_sprite.group_first = (int32_t *)io_mem_alloc(sizeof(int32_t) * ((size_t)b.h + 1));
    held_sprite.dep_first = (int32_t *)io_mem_alloc(sizeof(int32_t) * ((size_t)b.h + 1));
    held_sprite.lane_first = (int32_t *)io_mem_alloc(sizeof(int32_t) * ((size_t)b.h + 1));
    held_sprite.groups = (SpriteGroup *)io_mem_alloc(sizeof(SpriteGroup) * std::max(groups, 1));
    held_sprite.dep_x = (uint16_t *)io_mem_alloc(sizeof(uint16_t) * std::max(slots, 1));
    held_sprite.lanes = (uint16_t *)io_mem_alloc(sizeof(uint16_t) * std::max<size_t>(lanes, 1));
    held_sprite.band_first = (int32_t *)io_mem_alloc(sizeof(int32_t) * ((size_t)b.h + 1));
    held_sprite.bands = (SpriteBand *)io_mem_alloc(sizeof(SpriteBand) * std::max(bands, 1));
    held_sprite.band_lanes = (uint16_t *)io_mem_alloc(sizeof(uint16_t) * std::max<size_t>(band_lanes, 1));
    int32_t r = 0, g = 0, d = 0, n = 0;
    size_t m = 0, bm = 0;
    for (int32_t y = 0; y < b.h; y++) {
        held_sprite.run_first[y] = r;
        held_sprite.group_first[y] = g;
        held_sprite.dep_first[y] = d;
        held_sprite.lane_first[y] = (int32_t)m;
        held_sprite.band_first[y] = n;
        uint8_t prev = PX_UNTOUCHED;
        for (int32_t x = 0; x < b.w; x++) {
            uint8_t k = b.kind[(size_t)y * b.w + x];
            if (k != PX_UNTOUCHED && prev == PX_UNTOUCHED)
                held_sprite.runs[r++] = {x, 0};
            if (k != PX_UNTOUCHED)
                held_sprite.runs[r - 1].n++;
            prev = k;
        }
        for (int32_t x = 0; x < b.w;) {
            size_t px = (size_t)y * b.w + x;
            if (b.kind[px] != PX_DEPENDS || !b.band[px]) {
                x++;
                continue;
            }
            int32_t ns, nr, end = band_end(b, y, x, &ns, &nr), len = end - x;
            held_sprite.bands[n++] = {(uint16_t)x, (uint16_t)len, (uint8_t)ns, (uint8_t)nr, (int32_t)bm};
            // Steps that keep the byte wherever a pixel has fewer: shadows that keep
            // all of it, rims of no coverage.
            for (int32_t i = 0; i < ns + nr; i++)
                for (int32_t k = 0; k < len * 3; k++)
                    held_sprite.band_lanes[bm + (size_t)i * len * 3 + k] = i < ns ? 255 : 62 << 8;
            for (int32_t k = 0; k < len; k++) {
                b.first_lane[px + k] = (uint32_t)(bm + (size_t)k * 3);
                b.lane_step[px + k] = (uint32_t)len * 3;
                b.band_shadows[px + k] = (uint8_t)ns;
                b.band_rims[px + k] = (uint8_t)nr;
            }
            bm += (size_t)len * 3 * (ns + nr);
            x = end;
        }
        for (int32_t i = order_first[y]; i < order_first[y + 1];) {
            int32_t j = i;
            while (j < order_first[y + 1] && order[j] >> 16 == order[i] >> 16)
                j++;
            int32_t ns = (int32_t)(order[i] >> 24), nr = (int32_t)((order[i] >> 16) & 0xFF);
            int32_t pairs = (j - i + 1) / 2;
            held_sprite.groups[g++] = {(uint8_t)ns, (uint8_t)nr, (uint16_t)pairs};
            for (int32_t k = 0; k < j - i; k++) {
                int32_t x = (int32_t)(order[i + k] & 0xFFFF);
                size_t px = (size_t)y * b.w + x;
                held_sprite.dep_x[d + k] = (uint16_t)x;
                b.first_lane[px] = (uint32_t)(m + (size_t)(k / 2) * (ns + nr) * SPRITE_LANES + (size_t)(k % 2) * 4);
                b.lane_step[px] = SPRITE_LANES;
            }
            if ((j - i) % 2)
                held_sprite.dep_x[d + j - i] = held_sprite.dep_x[d + j - i - 1];  // worked out twice, the same
            d += 2 * pairs;
            m += (size_t)pairs * (ns + nr) * SPRITE_LANES;
            i = j;
        }
    }
    // The steps in the order they were found: each goes after its pixel's earlier ones.
    // Those of pixels a later body covered are gone.
    uint8_t *taken = b.probe;
    memset(taken, 0, (size_t)b.w * b.h);
    for (uint32_t l = 0; l < b.link_n; l++) {
        size_t px = b.links[l].px;
        if (b.kind[px] != PX_DEPENDS)
            continue;
        SpriteStep step = b.links[l].step;
        // In a band a pixel's shadows end where the band's do, and so do its rims.
        uint32_t k = taken[px]++, at = k;
        if (b.band[px])
            at = k < b.shadows[px] ? b.band_shadows[px] - b.shadows[px] + k
                                   : b.band_shadows[px] + b.band_rims[px] - b.length[px] + k;
        uint16_t *lane =
            (b.band[px] ? held_sprite.band_lanes : held_sprite.lanes) + b.first_lane[px] + (size_t)at * b.lane_step[px];
        uint16_t keep = (uint16_t)(step & 0xFF);
        for (int32_t i = 0; i < (b.band[px] ? 3 : 4); i++)
            lane[i] = b.links[l].shadow ? keep : (uint16_t)(keep << 8 | (i < 3 ? (step >> (8 + 8 * i)) & 0xFF : 0));
    }
    // The odd pixel's partner in each group: its own steps again.
    g = 0, m = 0;
    for (int32_t y = 0; y < b.h; y++)
        for (int32_t i = order_first[y]; i < order_first[y + 1];) {
            int32_t j = i;
            while (j < order_first[y + 1] && order[j] >> 16 == order[i] >> 16)
                j++;
            const SpriteGroup &group = held_sprite.groups[g++];
            int32_t steps = group.shadows + group.rims;
            if ((j - i) % 2) {
                uint16_t *last = held_sprite.lanes + m + (size_t)(group.pairs - 1) * steps * SPRITE_LANES;
                for (int32_t s = 0; s < steps; s++)
                    memcpy(last + (size_t)s * SPRITE_LANES + 4, last + (size_t)s * SPRITE_LANES, 4 * sizeof(uint16_t));
            }
            m += (size_t)group.pairs * steps * SPRITE_LANES;
            i = j;
        }
    io_mem_free(order);
    io_mem_free(order_first);
    held_sprite.run_first[b.h] = r;
    held_sprite.group_first[b.h] = g;
    held_sprite.dep_first[b.h] = d;
    held_sprite.lane_first[b.h] = (int32_t)m;
    held_sprite.band_first[b.h] = n;
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

// Makes the sprite of the pieces in held_sprite.key; false when it cannot be made or would
// not draw what the renderer draws.
bool sprite_make(void)
{
    // Checked until it holds: the lighting tables are built with the play room.
    static bool arithmetic_checked = false;
    if (!arithmetic_checked && !(arithmetic_checked = sprite_arithmetic_holds()))
        return false;
    int32_t n = held_sprite.key_n;
    const ImgView saved = piece_scene.table;
    Piece *copies = (Piece *)io_mem_alloc(sizeof(Piece) * (size_t)n);
    // The extent, with every piece whole on a table far larger than the group.
    piece_scene.table = {1 << 17, 1 << 17, IMG_BGR, nullptr, 0, nullptr, 0};
    PieceBox extent = {INT32_MAX, INT32_MAX, -1, -1};
    for (int32_t k = 0; k < n; k++) {
        const Piece &p = table.pieces[held_sprite.key[k].piece];
        Piece &q = copies[k];
        q = p;
        q.x = SPRITE_FAR + held_sprite.key[k].dx;
        q.y = SPRITE_FAR + held_sprite.key[k].dy;
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
    b.first_lane = (uint32_t *)io_mem_alloc(pixels * sizeof(uint32_t));
    b.lane_step = (uint32_t *)io_mem_alloc(pixels * sizeof(uint32_t));
    b.band = (uint8_t *)io_mem_alloc(pixels);
    b.band_shadows = (uint8_t *)io_mem_alloc(pixels);
    b.band_rims = (uint8_t *)io_mem_alloc(pixels);
    b.length = (uint8_t *)io_mem_alloc(pixels);
    b.shadows = (uint8_t *)io_mem_alloc(pixels);
    b.link_cap = 4096;
    b.links = (ChainLink *)io_mem_alloc(sizeof(ChainLink) * b.link_cap);
    b.link_n = 0;
    b.ok = true;
    memset(b.kind, PX_UNTOUCHED, pixels);
    memset(b.rim_of_keep, -1, sizeof b.rim_of_keep);
    for (int32_t a = 30; a >= 1; a--)
        b.rim_of_keep[light_background[255 << 8 | a]] = (int8_t)a;
    held_sprite.colour = (uint8_t *)io_mem_alloc(pixels * 3);
    held_sprite.w = b.w;
    held_sprite.h = b.h;
    held_sprite.rel_x = extent.x0 - SPRITE_FAR;
    held_sprite.rel_y = extent.y0 - SPRITE_FAR;
    piece_scene.table = {b.w, b.h, IMG_BGR, b.scratch, b.w * 3, nullptr, 0};
    for (int32_t k = 0; k < n; k++) {
        Piece &q = copies[k];
        q.x -= extent.x0;
        q.y -= extent.y0;
        piece_geometry_update(&q);
        q.angle = table.pieces[held_sprite.key[k].piece].angle;
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
    io_mem_free(b.first_lane);
    io_mem_free(b.lane_step);
    io_mem_free(b.band);
    io_mem_free(b.band_shadows);
    io_mem_free(b.band_rims);
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
    if (held_sprite.capacity >= table.count)
        return;
    held_sprite_free();
    size_t bytes = sizeof(SpriteKey) * (size_t)table.count;
    held_sprite.key = (SpriteKey *)io_mem_alloc(bytes);
    held_sprite.last = (SpriteKey *)io_mem_alloc(bytes);
    held_sprite.now = (SpriteKey *)io_mem_alloc(bytes);
    held_sprite.capacity = table.count;
}
}  // namespace

void held_sprite_free(void)
{
    sprite_drop_pixels();
    io_mem_free(held_sprite.key);
    io_mem_free(held_sprite.last);
    io_mem_free(held_sprite.now);
    held_sprite.key = held_sprite.last = held_sprite.now = nullptr;
    held_sprite.key_n = held_sprite.last_n = held_sprite.capacity = 0;
}

bool held_sprite_draw(void)
{
    if (table.count < 1 || !piece_scene.table.colour || screen.bytes_per_pixel != 3)
        return false;
    keys_room();
    bool quarter;
    int32_t n = keys_now(held_sprite.now, &quarter);
    if (n == 0)
        return false;
    bool scene = held_sprite.picture == piece_scene.picture && held_sprite.shapes == piece_scene.shapes;
    bool same = (held_sprite.made || held_sprite.refused) && scene && n == held_sprite.key_n &&
                std::equal(held_sprite.now, held_sprite.now + n, held_sprite.key);
    if (!same) {
        // Only pieces that kept their places since the last frame are made into a
        // sprite: while a turn goes on they change every tick.
        bool steady = quarter && scene && n == held_sprite.last_n &&
                      std::equal(held_sprite.now, held_sprite.now + n, held_sprite.last);
        std::swap(held_sprite.now, held_sprite.last);
        held_sprite.last_n = n;
        held_sprite.picture = piece_scene.picture;
        held_sprite.shapes = piece_scene.shapes;
        if (!steady)
            return false;
        sprite_drop_pixels();
        memcpy(held_sprite.key, held_sprite.last, sizeof(SpriteKey) * (size_t)n);
        held_sprite.key_n = n;
        if (sprite_make()) {
            held_sprite.made = true;
        } else {
            sprite_drop_pixels();
            held_sprite.refused = true;
        }
    }
    if (!held_sprite.made)
        return false;
    table_sprite_laid++;
    const Piece &ref = table.pieces[held_sprite.key[0].piece];
    LayAt at = {ref.drawn_x + held_sprite.rel_x, ref.drawn_y + held_sprite.rel_y};
    // Cut to the table and the screen, as every piece's drawing is.
    int32_t right = std::min(table.width, piece_scene.table.width);
    int32_t bottom = std::min(table.height, piece_scene.table.height);
    int32_t x0 = std::max(at.x, 0), y0 = std::max(at.y, 0);
    int32_t x1 = std::min(at.x + held_sprite.w, right), y1 = std::min(at.y + held_sprite.h, bottom);
    if (x0 >= x1 || y0 >= y1)
        return true;
    if (!clip_grid()->flags)
        lay_run(x0, y0, x1 - x0, y1 - y0, &at);
    else
        clip_each_dirty(x0, y0, x1 - x0, y1 - y0, lay_run, &at);
    return true;
}
