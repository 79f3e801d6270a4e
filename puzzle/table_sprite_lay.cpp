// Laying the held sprite down: the dependent pixels worked out from what lies below
// into the sprite's own colour rows, then each row's stretch of touched pixels copied in
// one move. The seams of a joined group cut its rows into many short runs of fixed
// colours, and copying those one by one cost more than the copying itself.
//
// Dependent pixels side by side (a shadow's edge, a seam along a row of pieces) are
// worked out sixteen bytes at a time straight from the bytes below; the others two at a
// time in one vector, their three bytes in 16-bit lanes, with every step's factors ready
// in lanes: a shadow and a rim are each a few vector operations for both pixels, where
// byte by byte they were a dozen table look-ups and additions.
#include <algorithm>
#include <cstring>

#include "image/img.h"
#include "puzzle/render_internal.h"
#include "puzzle/table.h"
#include "puzzle/table_sprite_internal.h"
#if RENDER_SSE2
#include <emmintrin.h>
#endif

int table_sprite_portable;

namespace {

// How many rows ahead of the one being laid what lies below is fetched.
constexpr int32_t SPRITE_AHEAD = 3;

// A pixel's three bytes in and out; a fourth byte could lie past the frame buffer.
inline uint32_t load3(const uint8_t *p)
{
    uint16_t lo;
    memcpy(&lo, p, 2);
    return lo | (uint32_t)p[2] << 16;
}

inline void store3(uint8_t *p, uint32_t v)
{
    uint16_t lo = (uint16_t)v;
    memcpy(p, &lo, 2);
    p[2] = (uint8_t)(v >> 16);
}

#if RENDER_SSE2
// Two dependent pixels whose bytes below are at pa and pb, worked out into the canvas at
// columns xa and xb.
template <int S, int R>
inline void lay_pair(uint8_t *canvas, const uint8_t *pa, const uint8_t *pb, int32_t xa, int32_t xb,
                     const uint16_t *l, int32_t ns, int32_t nr)
{
    const __m128i zero = _mm_setzero_si128(), low = _mm_set1_epi16(0xFF), half = _mm_set1_epi16(128);
    const __m128i rim_half = _mm_set1_epi16(31), by257 = _mm_set1_epi16(257), by62 = _mm_set1_epi16(16913);
    uint64_t both = load3(pa) | (uint64_t)load3(pb) << 32;
    __m128i t = _mm_unpacklo_epi8(_mm_cvtsi64_si128((long long)both), zero);
    for (int32_t i = 0; i < (S >= 0 ? S : ns); i++, l += SPRITE_LANES) {
        __m128i k = _mm_loadu_si128((const __m128i *)l);
        t = _mm_mulhi_epu16(_mm_add_epi16(_mm_mullo_epi16(t, k), half), by257);
    }
    for (int32_t i = 0; i < (R >= 0 ? R : nr); i++, l += SPRITE_LANES) {
        __m128i q = _mm_loadu_si128((const __m128i *)l);
        __m128i v = _mm_add_epi16(_mm_mullo_epi16(t, _mm_srli_epi16(q, 8)), rim_half);
        v = _mm_srli_epi16(_mm_mulhi_epu16(v, by62), 4);
        t = _mm_and_si128(_mm_add_epi16(v, _mm_and_si128(q, low)), low);
    }
    uint64_t r = (uint64_t)_mm_cvtsi128_si64(_mm_packus_epi16(t, t));
    store3(canvas + (size_t)xa * 3, (uint32_t)r);
    store3(canvas + (size_t)xb * 3, (uint32_t)(r >> 32));
}
#endif

// The pairs of one group of dependent pixels with S shadows and R rims each (S or R -1:
// as many as `shadows` or `rims` say), from `below` (where sprite column x0 lies) into
// the sprite's colour row `canvas`. Pixels outside columns x0 .. x1 are worked out from
// nothing and not used.
template <int S, int R>
void lay_pairs(uint8_t *canvas, const uint8_t *below, int32_t x0, int32_t x1, const uint16_t *x, int32_t pairs,
               const uint16_t *lanes, int32_t shadows, int32_t rims)
{
    const int32_t ns = S >= 0 ? S : shadows, nr = R >= 0 ? R : rims, per = (ns + nr) * SPRITE_LANES;
#if RENDER_SSE2
    if (!table_sprite_portable) {
        // A group's columns ascend, so one look tells whether all of it is laid.
        if (x[0] >= x0 && x[2 * pairs - 1] <= x1) {
            for (int32_t p = 0; p < pairs; p++, x += 2, lanes += per)
                lay_pair<S, R>(canvas, below + (ptrdiff_t)(x[0] - x0) * 3, below + (ptrdiff_t)(x[1] - x0) * 3, x[0],
                               x[1], lanes, ns, nr);
            return;
        }
        static const uint8_t nothing[3] = {0, 0, 0};
        for (int32_t p = 0; p < pairs; p++, x += 2, lanes += per) {
            int32_t xa = x[0], xb = x[1];
            bool ina = xa >= x0 && xa <= x1, inb = xb >= x0 && xb <= x1;
            if (!ina && !inb)
                continue;
            const uint8_t *pa = ina ? below + (ptrdiff_t)(xa - x0) * 3 : nothing;
            const uint8_t *pb = inb ? below + (ptrdiff_t)(xb - x0) * 3 : nothing;
            lay_pair<S, R>(canvas, pa, pb, xa, xb, lanes, ns, nr);
        }
        return;
    }
#endif
    for (int32_t p = 0; p < pairs; p++, x += 2, lanes += per)
        for (int32_t half = 0; half < 2; half++) {
            int32_t px = x[half];
            if (px < x0 || px > x1)
                continue;
            const uint8_t *t = below + (ptrdiff_t)(px - x0) * 3;
            uint32_t t0 = t[0], t1 = t[1], t2 = t[2];
            const uint16_t *l = lanes + half * 4;
            for (int32_t i = 0; i < ns; i++, l += SPRITE_LANES)
                t0 = shadow_byte(t0, l[0]), t1 = shadow_byte(t1, l[1]), t2 = shadow_byte(t2, l[2]);
            for (int32_t i = 0; i < nr; i++, l += SPRITE_LANES) {
                t0 = rim_byte(t0, l[0] >> 8, l[0] & 0xFF);
                t1 = rim_byte(t1, l[1] >> 8, l[1] & 0xFF);
                t2 = rim_byte(t2, l[2] >> 8, l[2] & 0xFF);
            }
            uint8_t *out = canvas + (size_t)px * 3;
            out[0] = (uint8_t)t0, out[1] = (uint8_t)t1, out[2] = (uint8_t)t2;
        }
}

// The part of a band inside columns x0 .. x1, from `below` (where column x0 lies) into
// the canvas.
void lay_band(uint8_t *canvas, const uint8_t *below, int32_t x0, int32_t x1, const SpriteBand &band)
{
    int32_t a = std::max<int32_t>(band.x, x0), b = std::min<int32_t>(band.x + band.n - 1, x1);
    if (a > b)
        return;
    const int32_t ns = band.shadows, nr = band.rims, bytes = (b - a + 1) * 3;
    const size_t step = (size_t)band.n * 3;
    const uint16_t *lanes = held_sprite.band_lanes + band.lane + (size_t)(a - band.x) * 3;
    const uint8_t *from = below + (ptrdiff_t)(a - x0) * 3;
    uint8_t *out = canvas + (size_t)a * 3;
#if RENDER_SSE2
    if (!table_sprite_portable && bytes >= 16) {
        const __m128i zero = _mm_setzero_si128(), low = _mm_set1_epi16(0xFF), half = _mm_set1_epi16(128);
        const __m128i rim_half = _mm_set1_epi16(31), by257 = _mm_set1_epi16(257), by62 = _mm_set1_epi16(16913);
        // The last sixteen bytes end with the band and go over some bytes again, from
        // the same bytes below.
        for (int32_t o = 0; o < bytes; o += 16) {
            o = std::min(o, bytes - 16);
            __m128i d = _mm_loadu_si128((const __m128i *)(from + o));
            __m128i lo = _mm_unpacklo_epi8(d, zero), hi = _mm_unpackhi_epi8(d, zero);
            const uint16_t *l = lanes + o;
            for (int32_t i = 0; i < ns; i++, l += step) {
                __m128i k0 = _mm_loadu_si128((const __m128i *)l), k1 = _mm_loadu_si128((const __m128i *)(l + 8));
                lo = _mm_mulhi_epu16(_mm_add_epi16(_mm_mullo_epi16(lo, k0), half), by257);
                hi = _mm_mulhi_epu16(_mm_add_epi16(_mm_mullo_epi16(hi, k1), half), by257);
            }
            for (int32_t i = 0; i < nr; i++, l += step) {
                __m128i q0 = _mm_loadu_si128((const __m128i *)l), q1 = _mm_loadu_si128((const __m128i *)(l + 8));
                __m128i v0 = _mm_add_epi16(_mm_mullo_epi16(lo, _mm_srli_epi16(q0, 8)), rim_half);
                __m128i v1 = _mm_add_epi16(_mm_mullo_epi16(hi, _mm_srli_epi16(q1, 8)), rim_half);
                v0 = _mm_srli_epi16(_mm_mulhi_epu16(v0, by62), 4);
                v1 = _mm_srli_epi16(_mm_mulhi_epu16(v1, by62), 4);
                lo = _mm_and_si128(_mm_add_epi16(v0, _mm_and_si128(q0, low)), low);
                hi = _mm_and_si128(_mm_add_epi16(v1, _mm_and_si128(q1, low)), low);
            }
            _mm_storeu_si128((__m128i *)(out + o), _mm_packus_epi16(lo, hi));
        }
        return;
    }
#endif
    for (int32_t i = 0; i < bytes; i++) {
        uint32_t t = from[i];
        const uint16_t *l = lanes + i;
        for (int32_t k = 0; k < ns; k++, l += step)
            t = shadow_byte(t, *l);
        for (int32_t k = 0; k < nr; k++, l += step)
            t = rim_byte(t, *l >> 8, *l & 0xFF);
        out[i] = (uint8_t)t;
    }
}
}  // namespace

bool sprite_arithmetic_holds(void)
{
    for (uint32_t t = 0; t < 256; t++) {
        for (uint32_t m = 0; m < 256; m++)
            if (shadow_byte(t, 255 - m) != blend_table[m << 8 | t])
                return false;
        for (uint32_t a = 0; a < 32; a++)
            if (rim_byte(t, 62 - 2 * a, 0) != light_background[t << 8 | a])
                return false;
    }
    return true;
}

// Sprite rows y0 .. y1, columns x0 .. x1 (inside the sprite) onto `dst`, where sprite
// pixel (x0, y0) goes; rows `stride` bytes apart: the dependent pixels worked out from
// what lies below them, then the row's stretches copied.
void sprite_lay(uint8_t *dst, ptrdiff_t stride, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    for (int32_t y = y0; y <= y1; y++, dst += stride) {
        // What lies below was drawn a while ago and has left the nearer caches; it is
        // fetched a few rows ahead, since the dependent pixels wait on it one by one.
        const int32_t *ahead = y + SPRITE_AHEAD <= y1 ? held_sprite.run_first + y + SPRITE_AHEAD : nullptr;
        if (ahead && ahead[0] < ahead[1]) {
            const SpriteRun *first = held_sprite.runs + ahead[0], *last = held_sprite.runs + ahead[1] - 1;
            int32_t a = std::max(first->x, x0), b = std::min(last->x + last->n - 1, x1);
            const uint8_t *row = dst + SPRITE_AHEAD * stride;
            for (ptrdiff_t i = (ptrdiff_t)(a - x0) * 3; i <= (ptrdiff_t)(b - x0) * 3 + 2; i += 64)
                __builtin_prefetch(row + i, 1);
        }
        uint8_t *canvas = held_sprite.colour + (size_t)y * held_sprite.w * 3;
        const uint16_t *x = held_sprite.dep_x + held_sprite.dep_first[y];
        const uint16_t *lanes = held_sprite.lanes + held_sprite.lane_first[y];
        for (int32_t g = held_sprite.group_first[y]; g < held_sprite.group_first[y + 1]; g++) {
            const SpriteGroup &group = held_sprite.groups[g];
            int32_t pairs = group.pairs, ns = group.shadows, nr = group.rims;
            // The usual kinds: a shadow's edge, a rim over the floor or over a shadow, and
            // where two or more pieces meet over their shadows.
            switch (ns << 8 | nr) {
            case 1 << 8 | 0: lay_pairs<1, 0>(canvas, dst, x0, x1, x, pairs, lanes, ns, nr); break;
            case 2 << 8 | 0: lay_pairs<2, 0>(canvas, dst, x0, x1, x, pairs, lanes, ns, nr); break;
            case 0 << 8 | 1: lay_pairs<0, 1>(canvas, dst, x0, x1, x, pairs, lanes, ns, nr); break;
            case 1 << 8 | 1: lay_pairs<1, 1>(canvas, dst, x0, x1, x, pairs, lanes, ns, nr); break;
            case 2 << 8 | 1: lay_pairs<2, 1>(canvas, dst, x0, x1, x, pairs, lanes, ns, nr); break;
            case 2 << 8 | 2: lay_pairs<2, 2>(canvas, dst, x0, x1, x, pairs, lanes, ns, nr); break;
            case 3 << 8 | 2: lay_pairs<3, 2>(canvas, dst, x0, x1, x, pairs, lanes, ns, nr); break;
            case 4 << 8 | 2: lay_pairs<4, 2>(canvas, dst, x0, x1, x, pairs, lanes, ns, nr); break;
            default: lay_pairs<-1, -1>(canvas, dst, x0, x1, x, pairs, lanes, ns, nr); break;
            }
            x += 2 * pairs;
            lanes += (size_t)pairs * (ns + nr) * SPRITE_LANES;
        }
        for (int32_t k = held_sprite.band_first[y]; k < held_sprite.band_first[y + 1]; k++)
            lay_band(canvas, dst, x0, x1, held_sprite.bands[k]);
        const SpriteRun *s = held_sprite.runs + held_sprite.run_first[y];
        const SpriteRun *end = held_sprite.runs + held_sprite.run_first[y + 1];
        for (; s < end && s->x <= x1; s++) {
            int32_t a = std::max(s->x, x0), b = std::min(s->x + s->n - 1, x1);
            if (a <= b)
                memcpy(dst + (ptrdiff_t)(a - x0) * 3, canvas + (size_t)a * 3, (size_t)(b - a + 1) * 3);
        }
    }
}
