// Edge curves: the eight stored outlines every edge between two pieces follows. Each is
// a chain of cubic Bezier segments from (0, 0) to (1, y_end) whose y is the bulge across
// the edge as a fraction of its length.
#pragma once
#include <cstdint>

#include "image/img.h"

constexpr int MAX_CONTROLPOINTS = 128;
constexpr int CURVE_TYPES = 8;
constexpr int32_t CURVE_MIRRORED = 128;  // bit 7 of a type word: every y negated

struct CurvePoint {
    double x, y;
};

struct Curve {
    int32_t n;           // control points: the start, then three per segment
    CurvePoint *points;  // owned by the table
};
extern Curve curves[CURVE_TYPES];

// Loads "curves/c_0.crv" .. "curves/c_7.crv" from the data pack; a missing file is fatal.
void curves_init(void);
// Reads one file (8-byte records of two signed 32-bit little-endian integers) into an
// entry and normalises it to run from (0, 0) to (1, y). More than 128 points is fatal
// "curve->n>MAX_CONTROLPOINTS"; so are a file without points, a curve that ends where
// it starts (nothing to scale by) and a point absurdly far out.
void curve_load(Curve *curve, int file_index);
void curves_done(void);

// A copy of the curve of `type` (mirrored when bit 7 is set) in a shared buffer that the
// next call overwrites; fatal "curve_get: type out of range(%i)" for types past 7.
CurvePoint *curve_get(int32_t type, int32_t *n);

// Places normalised points so that (0, 0) lands on A and (1, 0) on B (screen y down);
// a positive y bulges to the right of A -> B as seen on screen.
void curve_map(CurvePoint *points, int32_t n, int32_t ax, int32_t ay, int32_t bx, int32_t by);

// Draws mapped points into an 8-bit canvas filled with 255: every pixel the chain
// crosses gets the part of its area right of the direction of travel, 0 .. 254.
void curve_rasterize(Img *canvas, const CurvePoint *points, int32_t n);

// Draws the curve of `type` from (x1, y1) to (x2, y2) on the screen with the current
// pen (nothing while no pen is set).
void curve_draw(int32_t type, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
