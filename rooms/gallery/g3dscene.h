// The gallery's walk-through room, drawn in software: a constant floor plan of 18 walls
// 64 units high, a camera that turns and walks with wall sliding, ray casting per view
// column (no fish-eye), walls and the pictures of the frame cells in 16.16 fixed point,
// textured floor and ceiling rows, the cross-hair, and the picking of the cell under a
// view point. Floating point is used once per column and once per floor row; every pixel
// is integer work. The gallery room owns the cells' pictures and hands them in.
#pragma once
#include <cstdint>

#include "image/img.h"

constexpr int32_t G3D_POINTS = 18;
constexpr int32_t G3D_WALLS = 18;
constexpr int32_t G3D_CELLS = 50;         // frame cells; 0 .. 35 lie on the walls
constexpr int32_t G3D_TEXTURES = 4;       // wall textures, one per wing and the hall
constexpr int32_t G3D_VIEW_MAX = 2048;    // the widest view
constexpr int32_t G3D_WALL_HIGH = 64;     // world units
constexpr int32_t G3D_CELL_TEXELS = 256;  // a cell is 256 x 256 picture texels
constexpr double G3D_FOV = 80.0;          // degrees across the view
constexpr double G3D_WALL_MARGIN = 10.0;  // the camera never comes nearer a wall
constexpr int32_t G3D_SPEED_MAX = 10;
constexpr int32_t G3D_CROSS_HAIR_IMAGE = 40;  // skin image

// A point of the floor plan and where it lies seen from the camera.
struct G3dPoint {
    double x, y;
    double forward, left;  // camera space, recomputed on every move and view change
};

// Wall i runs from point i to point (i + 1) mod 18.
struct G3dWall {
    int32_t first, second;     // points
    int32_t inner_cell;        // first cell seen from the inner side (2i)
    int32_t outer_cell;        // first cell seen from the outer side (0)
    int32_t texture;           // 0 .. 3
    double length;
};

// One view column's ray.
struct G3dColumn {
    int32_t height;  // wall height in pixels, even; 0 when the ray meets no wall
    int32_t wall;    // the wall hit, -1 for none
    double u;        // distance along the wall from its first point to the hit
    int32_t inner;   // 1 when the camera is on the wall's inner side
};

// The scene: one instance.
struct G3dScene {
    double x, y;             // camera position, start (128, 31)
    int32_t heading;         // whole degrees 0 .. 359, start 90
    double fov;              // degrees
    double turn_speed, walk_speed;
    int32_t width, height;   // the view, height = width / 2
    int32_t left, top;       // the view's top-left corner on the screen
    double focal;            // D = (W / 2) / tan(fov / 2), pixels
    G3dColumn columns[G3D_VIEW_MAX];
    int32_t smallest_height;  // of all columns
    Img *textures[G3D_TEXTURES];  // wall textures in the screen's format
    int32_t floor_image, ceiling_image;  // cache handles of the 256 x 256 tiles
    int32_t nearest_or_equal;  // the corner rule of the collision test: toggled every test
    bool cross_hair;           // drawn while the view centre is the target point
    Img *const *pictures;      // G3D_CELLS entries (the gallery's cells), null: empty
};
extern G3dScene g3dscene;
extern G3dPoint g3d_points[G3D_POINTS];
extern const G3dWall g3d_walls[G3D_WALLS];

// Field of view 80, camera at its start, the images loaded, the four wall textures made
// from the wall image and the [GALLERY] "Texture0".."Texture3" colourings of the skin
// file (a missing key is fatal "g3dscene_init: %s not found in [GALLERY] in INI file").
void g3dscene_init(void);
// Frees the wall textures.
void g3dscene_release(void);

// The cells' pictures, owned by the gallery room (G3D_CELLS entries; null: no picture).
void g3dscene_set_pictures(Img *const *cells);

// A view of width x height (height = width / 2, width at most G3D_VIEW_MAX) with its
// top-left corner at (left, top) on the screen: the focal distance, the camera-space
// points and the column table are worked out again. A width outside 1 .. G3D_VIEW_MAX or
// a height outside 1 .. G3D_VIEW_MAX is fatal "g3dscene_set_view: invalid view %i x %i".
void g3dscene_set_view(int32_t width, int32_t height, int32_t left, int32_t top);

// Turns by `turn` degrees and walks `walk` units (negative: backwards) with the
// collision and sliding rules; the camera-space points and column table follow.
void g3dscene_move(int32_t turn, double walk);

// One timer tick of the view: each axis speeds up by one towards the one key of its two
// that is held (+1 / -1 in `turn_keys` and `walk_keys`, 0 for none or both), else its
// speed halves; limited to -10 .. 10. True when the camera moved (redraw the view).
bool g3dscene_tick(int32_t turn_keys, int32_t walk_keys);

// Draws floor and ceiling, walls and pictures, then the cross-hair when it is on, into
// the frame buffer, clipped to the rectangle (screen coordinates; the caller passes the
// part of the view that lies on the screen) and, like every screen drawing, to the dirty
// tiles. Fatal "g3dscene_draw: screen.buf is NULL" outside a frame, "g3dscene_draw:
// g3dscene_init has not run" without the textures, "g3dscene_draw: the screen is not
// 24-bit" on another frame buffer.
void g3dscene_draw(int32_t clip_x, int32_t clip_y, int32_t clip_w, int32_t clip_h);

// Marks the part of the view that lies on the screen dirty, so the next frame draws the
// scene there again (after a move, a view change or a changed cell).
void g3dscene_invalidate(void);

// The frame cell under the view point (x, y) (relative to the view's top-left corner),
// -1 for none; *on_picture tells whether the point lies on the cell's picture.
int32_t g3dscene_pick(int32_t x, int32_t y, bool *on_picture);

// The cell of a column's hit: u along the wall and the side; -1 outside 0 .. 49 and for
// a hit past the wall's second cell (the last fraction of a wall a little longer than 128
// would otherwise show the next wall's cell). `f` (may be null) gets the position inside
// the cell, 0 .. 64 (mirrored on the inner side).
int32_t g3dscene_cell(const G3dColumn *column, double *f);

// Where a cell's picture crosses a column whose wall is `wall_height` pixels high, `f`
// (0 .. 64) into the cell: the picture, its texel column, its height on the screen and
// its first and last-plus-one rows in the view (cut to the wall's rows), and the texel
// row of `top` in 16.16 with the step per row. False when the column shows none of it:
// no picture in the cell (or not in the screen's format), the column outside its width,
// or the picture too small at that distance to cover one row.
struct G3dPictureSpan {
    const Img *picture;
    int32_t column;           // texel column, 0 .. width - 1
    int32_t screen_height;    // ph_s = wall height * picture height / 256
    int32_t top, bottom;      // view rows drawn, top inclusive, bottom exclusive
    int64_t first, step;      // texel row of `top` and per view row, 16.16
};
bool g3dscene_picture_span(int32_t cell, double f, int32_t wall_height, G3dPictureSpan *span);
