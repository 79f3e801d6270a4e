// Edge curves: loading and normalising the eight outlines, handing out (mirrored) copies,
// placing them between two points, and drawing them anti-aliased into shape canvases or
// with the pen on screen.
#include "puzzle/curve.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>

#include "platform/gdi.h"
#include "platform/log.h"
#include "platform/memory.h"
#include "res/datapack.h"

Curve curves[CURVE_TYPES];

// A normalised point further out than this many edge lengths is no tab but a broken file.
constexpr double CURVE_MAX_EXTENT = 16.0;
// Canvas points beyond this are a caller's fault; such a chain is not drawn at all, which
// keeps every pixel position within integers and the walk's length within reason.
constexpr double CURVE_RASTER_LIMIT = 1 << 20;
constexpr uint8_t CURVE_FULL = 254;  // 255 is the canvas's "untouched"

static struct {
    CurvePoint points[MAX_CONTROLPOINTS];  // curve_get's copy, overwritten by each call
    IoPoint screen_points[MAX_CONTROLPOINTS];
} cv;

static int32_t rd32(const uint8_t *p)
{
    return (int32_t)(p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24);
}

void curves_init(void)
{
    for (int i = 0; i < CURVE_TYPES; i++) {
        char name[32];
        snprintf(name, sizeof name, "curves/c_%i.crv", i);
        curve_load(&curves[i], dp_get_index(name, 1));
    }
}

void curve_load(Curve *curve, int file_index)
{
    uint32_t size = dp_size(file_index);
    if (size / 8 > (uint32_t)MAX_CONTROLPOINTS)
        io_error("curve->n>MAX_CONTROLPOINTS");
    int32_t n = (int32_t)(size / 8);
    // The scale is the last point's x less the first's, so an empty file or a chain
    // ending where it started would divide by nothing.
    if (n == 0)
        io_error("curve_load: no points (%s)", dp_get_name(file_index));
    uint8_t raw[MAX_CONTROLPOINTS * 8];
    dp_fopen(file_index);
    dp_fread(raw, (size_t)n * 8);
    dp_fclose();

    io_mem_free(curve->points);
    curve->points = (CurvePoint *)io_mem_alloc((size_t)n * sizeof(CurvePoint));
    curve->n = n;
    CurvePoint *p = curve->points;
    for (int32_t i = 0; i < n; i++)
        p[i] = {(double)rd32(raw + 8 * i), (double)rd32(raw + 8 * i + 4)};
    double scale = p[n - 1].x - p[0].x;
    if (n > 1 && scale == 0)
        io_error("curve_load: the curve ends where it starts (%s)", dp_get_name(file_index));
    for (int32_t i = 1; i < n; i++) {
        p[i] = {(p[i].x - p[0].x) / scale, (p[i].y - p[0].y) / scale};
        if (std::fabs(p[i].x) > CURVE_MAX_EXTENT || std::fabs(p[i].y) > CURVE_MAX_EXTENT)
            io_error("curve_load: point %i lies too far out (%s)", i, dp_get_name(file_index));
    }
    p[0] = {0, 0};
}

void curves_done(void)
{
    for (Curve &c : curves) {
        io_mem_free(c.points);
        c = {0, nullptr};
    }
}

CurvePoint *curve_get(int32_t type, int32_t *n)
{
    int32_t t = type & ~CURVE_MIRRORED;
    if (t < 0 || t >= CURVE_TYPES)
        io_error("curve_get: type out of range(%i)", t);
    const Curve &c = curves[t];
    double flip = (type & CURVE_MIRRORED) ? -1 : 1;
    for (int32_t i = 0; i < c.n; i++)
        cv.points[i] = {c.points[i].x, flip * c.points[i].y};
    *n = c.n;
    return cv.points;
}

// L·cos θ is dx and L·sin θ is dy, so the rotation and scaling need no angle; this way
// (1, 0) lands exactly on B.
void curve_map(CurvePoint *points, int32_t n, int32_t ax, int32_t ay, int32_t bx, int32_t by)
{
    double dx = (double)bx - ax, dy = (double)ay - by;
    for (int32_t i = 0; i < n; i++) {
        CurvePoint p = points[i];
        points[i] = {ax + p.x * dx + p.y * dy, ay + p.y * dx - p.x * dy};
    }
}

// ---- rasterising ----

struct CurveWalk {
    uint8_t *pixels;
    int32_t stride, width, height;
    double px, py;      // the current pixel (integral values)
    CurvePoint entry;   // where the chain came into it
    CurvePoint exit;    // the last exit point found
};

static double snap(double v)
{
    double r = std::floor(v + 0.5);
    return std::fabs(v - r) < 0.0001 ? r : v;
}

static CurvePoint bezier_at(const CurvePoint *p, double t)
{
    double u = 1 - t, a = u * u * u, b = 3 * t * u * u, c = 3 * t * t * u, d = t * t * t;
    return {snap(a * p[0].x + b * p[1].x + c * p[2].x + d * p[3].x),
            snap(a * p[0].y + b * p[1].y + c * p[2].y + d * p[3].y)};
}

static bool in_pixel(const CurveWalk &w, CurvePoint q)
{
    return std::floor(q.x) == w.px && std::floor(q.y) == w.py;
}

static void enter_pixel(CurveWalk &w, CurvePoint q)
{
    w.px = std::floor(q.x);
    w.py = std::floor(q.y);
    w.entry = q;
}

static bool near(CurvePoint a, CurvePoint b, double d)
{
    return std::fabs(a.x - b.x) < d && std::fabs(a.y - b.y) < d;
}

static void mark(const CurveWalk &w, double x, double y, uint8_t value)
{
    if (x >= 0 && y >= 0 && x < w.width && y < w.height)
        w.pixels[(ptrdiff_t)y * w.stride + (ptrdiff_t)x] = value;
}

// A chord along a pixel's side adds none of that pixel's area, so it only marks a pixel
// the curve has not measured already; overwriting a measured share would cover it twice.
static void mark_side(const CurveWalk &w, double x, double y)
{
    if (x >= 0 && y >= 0 && x < w.width && y < w.height && w.pixels[(ptrdiff_t)y * w.stride + (ptrdiff_t)x] == 255)
        w.pixels[(ptrdiff_t)y * w.stride + (ptrdiff_t)x] = CURVE_FULL;
}

enum { SIDE_TOP, SIDE_RIGHT, SIDE_BOTTOM, SIDE_LEFT };

static int nearest_side(double x, double y)
{
    const double d[4] = {std::fabs(y), std::fabs(x - 1), std::fabs(y - 1), std::fabs(x)};
    int side = SIDE_TOP;
    for (int s = SIDE_RIGHT; s <= SIDE_LEFT; s++)
        if (d[s] <= d[side])
            side = s;
    return side;
}

// The area of the unit square right of the chord (ex, ey) -> (xx, xy) on screen.
static double chord_coverage(double ex, double ey, double xx, double xy)
{
    switch (nearest_side(ex, ey) * 4 + nearest_side(xx, xy)) {
    case SIDE_TOP * 4 + SIDE_RIGHT: return 1 - (1 - ex) * xy / 2;
    case SIDE_TOP * 4 + SIDE_BOTTOM: return ex + (xx - ex) / 2;
    case SIDE_TOP * 4 + SIDE_LEFT: return xy * ex / 2;
    case SIDE_RIGHT * 4 + SIDE_TOP: return (1 - xx) * ey / 2;
    case SIDE_RIGHT * 4 + SIDE_BOTTOM: return 1 - (1 - ey) * (1 - xx) / 2;
    case SIDE_RIGHT * 4 + SIDE_LEFT: return ey + (xy - ey) / 2;
    case SIDE_BOTTOM * 4 + SIDE_TOP: return (1 - ex) + (ex - xx) / 2;
    case SIDE_BOTTOM * 4 + SIDE_RIGHT: return (1 - ex) * (1 - xy) / 2;
    case SIDE_BOTTOM * 4 + SIDE_LEFT: return 1 - (1 - xy) * ex / 2;
    case SIDE_LEFT * 4 + SIDE_TOP: return 1 - xx * ey / 2;
    case SIDE_LEFT * 4 + SIDE_RIGHT: return (1 - ey) + (ey - xy) / 2;
    case SIDE_LEFT * 4 + SIDE_BOTTOM: return (1 - ey) * xx / 2;
    default:
        // In and out through the same side: the chord only dips into the square, so the
        // part right of it is all of the square or none of it, as its centre says.
        // (Counting it as nothing would leave a pinhole between the two pieces.)
        return (xx - ex) * (0.5 - ey) - (xy - ey) * (0.5 - ex) > 0 ? 1 : 0;
    }
}

// One pixel crossed from E to X. A chord running along a side of the square covers
// nothing of it; the neighbour on the inside of the travel is the one it bounds.
static void plot(const CurveWalk &w, CurvePoint e, CurvePoint x)
{
    double ex = e.x - w.px, ey = e.y - w.py, xx = x.x - w.px, xy = x.y - w.py;
    if (ex == 0 && xx == 0)
        mark_side(w, xy > ey ? w.px - 1 : w.px, w.py);
    else if (ex == 1 && xx == 1)
        mark_side(w, xy > ey ? w.px : w.px + 1, w.py);
    else if (ey == 0 && xy == 0)
        mark_side(w, w.px, xx > ex ? w.py : w.py - 1);
    else if (ey == 1 && xy == 1)
        mark_side(w, w.px, xx > ex ? w.py + 1 : w.py);
    else {
        // Chords that cut a corner by a hair can leave the square a little: clamp.
        double v = std::trunc(chord_coverage(ex, ey, xx, xy) * 255);
        mark(w, w.px, w.py, (uint8_t)std::clamp(v, 0.0, (double)CURVE_FULL));
    }
}

// Walks one segment from t = 0 (in the current pixel, at `here`) to t = 1.
static void walk_segment(CurveWalk &w, const CurvePoint *p, CurvePoint &here)
{
    double min_x = p[0].x, max_x = p[0].x, min_y = p[0].y, max_y = p[0].y;
    for (int k = 1; k < 4; k++) {
        min_x = std::min(min_x, p[k].x), max_x = std::max(max_x, p[k].x);
        min_y = std::min(min_y, p[k].y), max_y = std::max(max_y, p[k].y);
    }
    // The curve stays inside its control points' box. When that box lies two pixels clear
    // of the canvas, no pixel it crosses, nor a neighbour a border chord marks, is on the
    // canvas: only the state at its end matters.
    if (max_x < -2 || max_y < -2 || min_x > w.width + 2 || min_y > w.height + 2) {
        here = bezier_at(p, 1);
        enter_pixel(w, here);
        w.exit = here;
        return;
    }
    double chord = std::hypot(p[3].x - p[0].x, p[3].y - p[0].y);
    double step = chord > 0 ? 0.5 / chord : 1;
    // A cubic crosses each grid line at most three times; anything past this bound is
    // rounding noise, and the walk gives up rather than run on.
    double budget = 4 / step + 8 * (max_x - min_x + max_y - min_y) + 64;
    double t = 0;
    for (; t < 1 && budget > 0; budget--) {
        double t_out = std::min(t + step, 1.0);
        CurvePoint q = bezier_at(p, t_out);
        if (in_pixel(w, q)) {
            t = t_out;
            here = q;
            continue;
        }
        double lo = t, hi = t_out;
        CurvePoint inner = here, cand = q;
        for (int k = 0; k < 64 && !near(inner, cand, 0.001); k++) {
            double mid = (lo + hi) / 2;
            if (mid <= lo || mid >= hi)
                break;  // no t left between them
            CurvePoint m = bezier_at(p, mid);
            if (in_pixel(w, m))
                lo = mid, inner = m;
            else
                hi = mid, cand = m;
        }
        w.exit = inner;
        // An exit right beside the entry only touched the pixel: it keeps its value.
        if (!near(inner, w.entry, 0.002))
            plot(w, w.entry, inner);
        enter_pixel(w, cand);
        here = cand;
        t = hi;
    }
}

void curve_rasterize(Img *canvas, const CurvePoint *points, int32_t n)
{
    if (!canvas || canvas->format != IMG_8BIT)
        io_error("curve_rasterize: the canvas is not an 8-bit image");
    if (!points || n < 1)
        return;
    int32_t used = 1 + 3 * ((n - 1) / 3);  // points after the last whole segment are ignored
    for (int32_t i = 0; i < used; i++)
        if (!(std::fabs(points[i].x) <= CURVE_RASTER_LIMIT && std::fabs(points[i].y) <= CURVE_RASTER_LIMIT))
            return;
    CurveWalk w;
    w.pixels = img_pixels(canvas, &w.stride, &w.width, &w.height);
    enter_pixel(w, points[0]);
    w.exit = points[0];
    CurvePoint here = points[0];
    for (int32_t i = 0; i + 3 < used; i += 3)
        walk_segment(w, points + i, here);
    // The chain may end inside its last pixel without having left it.
    if (!near(w.exit, points[used - 1], 0.1))
        plot(w, w.entry, points[used - 1]);
}

// Truncation toward zero as the screen's integer points need, kept within int32.
static int32_t screen_coord(double v)
{
    if (!(v > -2147483648.0))
        return INT32_MIN;
    return v >= 2147483647.0 ? INT32_MAX : (int32_t)v;
}

void curve_draw(int32_t type, int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    int32_t n;
    CurvePoint *p = curve_get(type, &n);
    curve_map(p, n, x1, y1, x2, y2);
    for (int32_t i = 0; i < n; i++)
        cv.screen_points[i] = {screen_coord(p[i].x), screen_coord(p[i].y)};
    io_gdi_bezier(cv.screen_points, n < 1 ? 0 : 1 + 3 * ((n - 1) / 3));
}
