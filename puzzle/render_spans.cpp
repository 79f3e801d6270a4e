// The span routines: one row of a piece's body or shadow drawn into the table, upright,
// quarter-turned or at any angle.
#include <algorithm>
#include <cstring>

#include "image/img.h"
#include "puzzle/render_internal.h"
#if RENDER_SSE2
#include <emmintrin.h>
#endif

// The module's own table.
static struct {
    // light_background turned about, [(a << 8) | t], so that the three bytes of one
    // pixel look up one 256-byte row.
    uint8_t keep[32 * 256];
} spans;

// A relief pixel (bit 15 clear): the table's share by coverage plus the lit picture;
// coverage 0 leaves the table as it was, full coverage leaves it no share. The table is
// read either way, which costs less than a branch on the coverage along the rim. The
// shifted index stays below 65536, as the shift is at most 63 << 9.
template <bool SELECTED>
static inline void lit_pixel(uint8_t *d, const uint8_t *p, uint32_t s, uint32_t shift)
{
    const uint8_t *lit = light_colour + ((light_of_shape[s + shift] & 0xFFC0u) << 2);
    const uint8_t *keep = spans.keep + ((s & 31) << 8);
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
const SpanFn span_routines[6] = {
    span_body<false>,       // body
    span_body_axis<false>,  // body, quarter turn
    span_body<true>,        // selected body
    span_body_axis<true>,   // selected body, quarter turn
    span_shadow,            // shadow
    span_shadow_axis,       // shadow, quarter turn
};

// Upright bodies with runs: the quarter-turn rows at angle 0, drawn with the upright span's
// own row walk. When whole rows show, all blocks and then all flat runs go in one sweep
// each instead of row by row.
template <bool SELECTED>
static void upright(int64_t qx, int64_t qy, const PieceBox &box, const SpanSource *src, uint8_t *table,
                    int32_t table_stride)
{
    const ShapeRuns *runs = src->runs;
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

void spans_upright(bool selected, int64_t qx, int64_t qy, const PieceBox &box, const SpanSource *src, uint8_t *table,
                   int32_t table_stride)
{
    (selected ? upright<true> : upright<false>)(qx, qy, box, src, table, table_stride);
}

void spans_init(void)
{
    for (int32_t a = 0; a < 32; a++)
        for (int32_t t = 0; t < 256; t++)
            spans.keep[a << 8 | t] = light_background[t << 8 | a];
}
