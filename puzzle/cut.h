// Cutting a picture into pieces: a jittered grid of square cells whose sides follow edge
// curves; one shape record (16-bit relief image and soft shadow) per distinct outline;
// and the cut cache that lets the next game with the same box skip the work.
#pragma once
#include <cstdint>

#include "image/img.h"
#include "puzzle/boxinfo.h"
#include "chunk/chunk.h"

constexpr int32_t CUT_CACHE_VERSION = 125;

// One grid point, relative to the grid origin, with the curve types of the edges to its
// right and below (bit 7 mirrored).
struct GridPoint {
    int32_t x, y;
    int32_t htype, vtype;
};

// The outline of one piece: corners 1..3 relative to corner 0, then the edge types top,
// right, bottom, left, walked clockwise (bottom and left backwards, mirror bit toggled).
// Keys are compared as 48 bytes.
struct ShapeKey {
    int32_t x0, y0, x1, y1, x2, y2, x3, y3;
    int32_t top, right, bottom, left;
};
static_assert(sizeof(ShapeKey) == 48, "shape keys are compared as 48 bytes");

// Shape pixel: 0 transparent; 0x8000 inside and flat; otherwise bits 0..4 coverage / 8
// and bits 5..15 the relief code (bits 0..3 15 - elevation step, 4..9 azimuth step).
constexpr uint16_t SHAPE_FLAT = 0x8000;

struct ShapeRuns;  // drawing's runs of the relief image (puzzle/piece.h)

struct Shape {
    Img *relief;          // format 2, the size of the mask's bounding box
    Img *shadow;          // format 1, or null
    int32_t mask_x, mask_y;      // relief image's top-left relative to the piece's corner 0
    int32_t shadow_x, shadow_y;  // shadow image relative to the relief image
    ShapeRuns *runs;      // built with the relief image, freed with it; never in a file
};

// What the cutter sets in a piece; the table keeps the rest of the piece record.
struct CutPiece {
    int32_t home_x, home_y;  // corner 0 in picture coordinates (grid origin included)
    int32_t shape;
    int32_t neighbour_count;
    int32_t neighbours[4];   // above, left, below, right: only those that exist
};

struct CutGrid {
    BoxInfo box;
    int32_t columns, rows, origin_x, origin_y;
    GridPoint *points;  // (columns + 1) * (rows + 1), row-major
};

// The result of a cut, kept by the play room while a game runs.
struct CutResult {
    int32_t piece_count;
    CutPiece *pieces;
    int32_t shape_count;
    Shape *shapes;
    int32_t shadow_distance;  // how far a lifted piece's shadow falls
};

extern CutGrid cut_grid;
extern CutResult cut_result;

void cut_grid_measure(const BoxInfo *box, int32_t *columns, int32_t *rows, int32_t *origin_x, int32_t *origin_y);
// Sets up the grid for the box (writes its piece count) with the generator reseeded, so
// the same box always cuts the same way.
void cut_grid_init(BoxInfo *box);
void cut_grid_free(void);

// Progress of a long cut: value 0 .. maximum of distinct shapes built.
typedef void (*CutProgressFn)(int32_t value, int32_t maximum);
void cut_set_progress(CutProgressFn progress);

// Builds the shapes and pieces of the grid into cut_result (freeing what it held).
void cut_pieces_build(void);
// Frees cut_result's pieces, shapes and their images.
void cut_result_free(void);

// Draws every grid edge with curve_draw at screen position (x, y).
void cut_preview_draw(int32_t x, int32_t y);

// The cut cache "sfiles/temp/<box name>.tmp". Saving writes through a temporary file
// and gives the file its magic last; loading checks magic, id, version and every count
// and size against the file and the box, and returns 0 when the cut must be made again.
int cut_cache_save(const char *box_name, const ChunkId *id);
int cut_cache_load(const char *box_name, const ChunkId *id, const BoxInfo *box);
