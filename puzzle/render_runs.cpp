// The per-shape run tables: a relief image taken apart into flat runs, lit pixels and
// upright lit blocks, so that upright and quarter-turned pieces skip the pixels that need
// no work.
#include <algorithm>
#include <cstring>

#include "platform/memory.h"
#include "puzzle/render_internal.h"

// The module's own table.
static struct {
    // The brightness of each 10-bit relief code's light level, made on first use.
    uint8_t brightness[1024];
    bool brightness_ready;
} runs_state;

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
const uint8_t *light_brightness(void)
{
    if (!runs_state.brightness_ready) {
        for (int32_t code = 0; code < 1024; code++)
            runs_state.brightness[code] = (uint8_t)(light_level(code) * 255 / 31.0 + 0.5);
        runs_state.brightness_ready = true;
    }
    return runs_state.brightness;
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
