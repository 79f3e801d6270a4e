// Dirty tiles: the screen is cut into equal tiles, drawing reaches a tile only while it
// is marked, and at the end of a frame the marked tiles are presented and cleared.
#pragma once
#include <cstdint>

// The first size of a fixed list of pleasant tile sizes that divides n; n when none does.
int32_t ideal_clip(int32_t n);

// Sizes the grid for the screen and marks everything dirty; clip_done frees it.
void clip_init(void);
void clip_done(void);

void clip_set_all(uint8_t value);
void clip_invalidate(int32_t x, int32_t y, int32_t w, int32_t h);
// 1 when a tile under the rectangle (clipped to the screen) is dirty.
int clip_is_dirty(int32_t x, int32_t y, int32_t w, int32_t h);
// Whether the tile under one screen pixel is dirty; true when no grid exists (drawing is
// then not cut at all). The pen's gate.
bool clip_point_dirty(int32_t x, int32_t y);
// Shrinks the inclusive rectangle (x0, y0)-(x1, y1) to its dirty tiles; 0 when none is.
int clip_bounds(int32_t *x0, int32_t *y0, int32_t *x1, int32_t *y1);
// Calls fn with each piece of the rectangle (cut to the screen) that lies in a run of
// dirty tiles, row of tiles by row; nothing when no grid exists.
typedef void (*ClipRectFn)(int32_t x, int32_t y, int32_t w, int32_t h, void *ctx);
void clip_each_dirty(int32_t x, int32_t y, int32_t w, int32_t h, ClipRectFn fn, void *ctx);
// Hands every dirty run to io_video_invalidate and clears the grid.
void clip_flush(void);

// The grid as it stands, for tests and tools.
struct ClipGrid {
    int32_t tile_w, tile_h;
    int32_t columns, rows;
    uint8_t *flags;  // columns * rows, row-major; 1 dirty
};
const ClipGrid *clip_grid(void);
