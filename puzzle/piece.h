// Pieces on the table and how they are drawn: each pixel is the picture pixel lit by a
// fixed light according to the surface direction in its shape's relief code, blended
// with the table by its coverage; a lifted piece throws a soft shadow.
#pragma once
#include <cstdint>

#include "image/img.h"
#include "puzzle/cut.h"

struct QuadPoint {
    double x, y;
};

// A clipped bounding box on the table; x1 = -1 when nothing is visible.
struct PieceBox {
    int32_t x0, y0, x1, y1;
};

// One piece. Rendering reads and writes the fields up to `dirty`; the table logic that
// moves pieces (dragging, turning, groups) uses the rest.
struct Piece {
    PieceBox body_box;
    QuadPoint body_quad[4];
    PieceBox shadow_box;
    QuadPoint shadow_quad[4];
    QuadPoint body_source[4];    // relief image corners as texture coordinates
    QuadPoint shadow_source[4];  // shadow image corners
    int32_t x, y;                // table position of the relief image's top-left
    int32_t lift;                // 0 on the table; the shadow distance while held
    int32_t angle;               // degrees 0 .. 359
    int32_t drawn_x, drawn_y, drawn_lift, drawn_angle;
    int32_t home_x, home_y;      // relief image's top-left in picture coordinates
    int32_t shape;
    int32_t selected;
    int32_t dirty;
    int32_t below, above;        // stacking list links, -1 at the ends
    int32_t work_x, work_y;
    int32_t moved, held, turning, turn_start_angle;
    int32_t pivot_x, pivot_y, turn_base_x, turn_base_y, turn_request;
    int32_t group;               // -1 alone, else the index of one member
    int32_t mark;
    int32_t neighbour_count;
    int32_t neighbours[4];       // above, left, below, right
};

// What drawing draws into and from: the table (a format 3 view: an image of its own or
// the frame buffer during a frame), the box picture (format 3, the size the cut was made
// for) and the shapes of the cut.
struct PieceScene {
    ImgView table;
    Img *picture;
    const Shape *shapes;
    int32_t shape_count;
};
extern PieceScene piece_scene;
// Sets the scene with a whole image as the table (null clears the table).
void piece_scene_set(Img *table, Img *picture, const Shape *shapes, int32_t shape_count);

// The three lighting tables, built once by light_tables_build.
extern uint8_t light_background[65536];   // [(t << 8) | a]: table byte t under coverage a
extern uint8_t light_colour[262144];      // [(l << 13) | (a << 8) | p]: picture byte p lit
extern uint16_t light_of_shape[65536];    // shape pixel -> (a << 6) | (l << 11)
void light_tables_build(void);

// The light level 0 .. 31 of a 10-bit relief code.
int32_t light_level(int32_t code);

// A relief image taken apart along its rows and along its columns, so that upright and
// quarter-turned pieces are drawn without looking at every pixel: per line, the runs of
// flat pixels (bit 15 set: the picture is copied) and the places of the lit pixels; the
// transparent pixels are left out.
struct ShapeRun {
    uint16_t start, end;  // positions start .. end - 1 along the line
    uint16_t line;        // which row or column
};
struct ShapeLines {
    const uint32_t *run_first;  // one entry per line and one more: line i's runs are run_first[i] .. run_first[i + 1] - 1
    const ShapeRun *runs;
    const uint32_t *lit_first;  // the same for the lit pixels
    const uint16_t *lit;        // their positions along the line, ascending
};
// Upright pieces light their rows sixteen colour bytes at a time: a block covers bytes
// offset .. offset + 15 of a row (three per pixel), and each byte has its light and
// coverage ready as one lane word. Pixels that are not lit, that the block only partly
// covers or that another block draws have the word 0 and are left as they are.
struct ShapeBlock {
    uint16_t row;
    uint16_t offset;
};
struct ShapeRuns {
    int32_t width, height;  // of the relief image they were made from
    ShapeLines rows, columns;
    uint32_t block_count;         // none when rows are shorter than 6 pixels
    const ShapeBlock *blocks;     // by rank within their row: every row's first, then second...
    const uint16_t *block_lanes;  // 16 words per block, 16-byte aligned
};
// Builds the shape's runs from its relief image, replacing any it had; call it again
// whenever the relief image changes. A shape whose relief image is missing or too large
// to draw gets none; drawing uses runs only when their size is the relief image's, and
// draws correctly without them, only more slowly. Out of memory is fatal (io_mem_alloc).
void piece_runs_build(Shape *shape);
// Frees the shape's runs (none is fine) and clears the pointer.
void piece_runs_free(Shape *shape);

// Recomputes the body and shadow quads and boxes from position, lift and angle.
void piece_geometry_update(Piece *piece);

enum { PIECE_BODY = 0, PIECE_SHADOW = 1 };
// Draws a piece's body or shadow into the table image; the clipped form draws only the
// pixels inside `clip` (bounds included).
void piece_draw(const Piece *piece, int what);
void piece_draw_clipped(const Piece *piece, int what, const PieceBox &clip);

// Turns the vector (x, y) by `angle` degrees (counter-clockwise on the screen, exact for
// quarter turns) and rounds half away from zero: how pieces and groups turn.
void piece_turn(int32_t angle, double x, double y, int32_t *out_x, int32_t *out_y);
// The body box at the piece's current position and angle, not clipped to the table
// (what keeps pieces on the table measures); a piece without a drawable shape gives its
// position.
PieceBox piece_body_extent(const Piece *piece);

// Test hook: when set, quarter turns take the general span routines too, so tests can
// check that the fast ones draw exactly the same pixels.
extern int piece_force_general;

// Marks the body and shadow boxes of a piece dirty (clip_invalidate).
void piece_dirty_rect(const Piece *piece);

// The frame's drawing: pieces whose geometry changed are recomputed and their old and
// new boxes marked; then bodies of lying pieces bottom-up, then shadows and bodies of
// lifted ones. `first` is the bottom of the stacking list.
void pieces_draw_frame(Piece *pieces, int32_t count, int32_t first);
