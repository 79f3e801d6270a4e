// What the piece renderer's files share: its limits, the shape runs' pixel kinds and
// brightness, and the span routines that draw one row of a piece into the table.
#pragma once
#include <cstddef>
#include <cstdint>

#include "puzzle/piece.h"

// Larger shape images could overflow the 16.16 source coordinates, which step once past
// a span's last pixel.
constexpr int32_t RENDER_MAX_SHAPE_SIDE = 8192;

// Upright rows are lit sixteen colour bytes at a time, in rows of at least six pixels.
constexpr int32_t RENDER_BLOCK_BYTES = 16;
constexpr int32_t RENDER_BLOCK_ROW = 6;

// The SSE2 paths take 64-bit moves out of vector registers.
#if defined(__SSE2__) && defined(__x86_64__)
#define RENDER_SSE2 1
#else
#define RENDER_SSE2 0
#endif

// 0 transparent, 1 flat, 2 lit. Bit 15 alone makes a pixel flat, here as in every span
// routine: relief codes use ten bits, so the cutter sets bit 15 only on opaque flat
// pixels, and a stray one must not pick a light out of the table's repeated upper half.
inline int32_t pixel_kind(uint32_t s)
{
    return s == 0 ? 0 : (s & SHAPE_FLAT) ? 1 : 2;
}

// The brightness L = truncate(l × 255 / 31 + 0.5) of every 10-bit relief code's light
// level l, 1024 entries, made on first use (render_runs.cpp).
const uint8_t *light_brightness(void);

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
// the half already added, so the integer parts are the source pixel. Every source pixel
// a span reaches lies inside both images.
typedef void (*SpanFn)(uint8_t *dst, int32_t count, int32_t u, int32_t v, int32_t du, int32_t dv, const SpanSource *src);

enum { SPAN_BODY = 0, SPAN_SELECTED = 2, SPAN_SHADOW = 4, SPAN_AXIS = 1 };
// The six span routines by kind: SPAN_BODY, SPAN_SELECTED or SPAN_SHADOW, plus SPAN_AXIS
// for quarter turns, which step through the images by whole pixels.
extern const SpanFn span_routines[6];

// Builds the spans' own table from the lighting tables; light_tables_build calls it.
void spans_init(void);

// An upright body whose shape has runs, its relief image's top-left at table pixel
// (qx, qy), clipped to `box`: the runs' rows drawn one sweep at a time.
void spans_upright(bool selected, int64_t qx, int64_t qy, const PieceBox &box, const SpanSource *src, uint8_t *table,
                   int32_t table_stride);
