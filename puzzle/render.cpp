// Piece rendering: the lighting tables, each piece's quads and boxes from its position,
// lift and angle, and the scan conversion that draws a body or a shadow into the table
// image through one of six span routines (render_spans.cpp).
#include "puzzle/piece.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <utility>

#include "image/clip.h"
#include "puzzle/render_internal.h"

PieceScene piece_scene;
uint8_t light_background[65536];
uint8_t light_colour[262144];
uint16_t light_of_shape[65536];

// Test hook: when set, quarter-turned pieces go through the general spans, so that tests
// can hold the axis-aligned spans to the same pixels.
int piece_force_general;

// The light comes from the upper left and in front (x right, y up, z towards the viewer);
// the viewer looks straight down the z axis.
static constexpr double LIGHT_X = -0.57735026918963;
static constexpr double LIGHT_Y = 0.57735026918963;
static constexpr double LIGHT_Z = 0.57735026918963;
static constexpr double LIGHT_DIFFUSE = 0.0655;
static constexpr double LIGHT_SPECULAR = 0.4585;
static constexpr double LIGHT_AMBIENT = 0.2;

static constexpr PieceBox RENDER_NO_BOX = {0, 0, -1, -1};

// --- lighting ---

int32_t light_level(int32_t code)
{
    code &= 0x3FF;
    double nx = 0, ny = 0, nz = 1;
    if (code != 0) {
        int32_t azimuth = ((code >> 4) & 63) * 360 >> 6;
        int32_t elevation = (15 - (code & 15)) * 90 / 15;
        double a = azimuth * std::numbers::pi / 180, e = elevation * std::numbers::pi / 180;
        nx = std::cos(a) * std::cos(e);
        ny = std::sin(a) * std::cos(e);
        nz = std::sin(e);
        double length = std::sqrt(nx * nx + ny * ny + nz * nz);
        nx /= length, ny /= length, nz /= length;
    }
    double d = nx * LIGHT_X + ny * LIGHT_Y + nz * LIGHT_Z;
    double diffuse = d > 0 ? LIGHT_DIFFUSE * d : 0;
    // The view vector is (0, 0, 1), so only the z part of the reflection 2 d n - L counts.
    double s = 2 * d * nz - LIGHT_Z;
    double specular = s > 0 ? LIGHT_SPECULAR * s : 0;
    int32_t level = (int32_t)((specular + diffuse + LIGHT_AMBIENT) * 255 + 0.5);
    return level >> 3;
}

void light_tables_build(void)
{
    for (int32_t v = 0; v < 256; v++)
        for (int32_t i = 0; i < 256; i++)
            light_background[v << 8 | i] = (uint8_t)(v * (31 - (i & 31)) / 31.0 + 0.5);
    for (int32_t l = 0; l < 32; l++) {
        int32_t L = (int32_t)(l * 255 / 31.0 + 0.5);
        for (int32_t p = 0; p < 256; p++) {
            // Up to level 16 the picture darkens towards black, above it brightens to white.
            int32_t v = L <= 128 ? (L * p) >> 7 : ((255 - L) * p + (L - 128) * 255) / 127;
            for (int32_t a = 0; a < 32; a++)
                light_colour[l << 13 | a << 8 | p] = (uint8_t)(a * v / 31.0 + 0.5);
        }
    }
    int32_t levels[1024];
    for (int32_t code = 0; code < 1024; code++)
        levels[code] = light_level(code);
    // The upper half repeats the lower, so an azimuth turned past 63 wraps into bit 15.
    for (int32_t s = 0; s < 32768; s++)
        light_of_shape[s] = light_of_shape[s | 0x8000] = (uint16_t)((s & 31) << 6 | levels[(s >> 5) & 0x3FF] << 11);
    spans_init();
}

// --- geometry ---

static int32_t angle_normal(int32_t angle)
{
    int32_t a = angle % 360;
    return a < 0 ? a + 360 : a;
}

// Quarter turns are exact, so axis-aligned pieces land on whole pixels.
static void angle_turn(int32_t angle, double *c, double *s)
{
    switch (angle) {
    case 0: *c = 1, *s = 0; return;
    case 90: *c = 0, *s = 1; return;
    case 180: *c = -1, *s = 0; return;
    case 270: *c = 0, *s = -1; return;
    }
    double t = angle * std::numbers::pi / 180;
    *c = std::cos(t);
    *s = std::sin(t);
}

static const Shape *piece_shape(const Piece *piece)
{
    if (!piece_scene.shapes || piece->shape < 0 || piece->shape >= piece_scene.shape_count)
        return nullptr;
    const Shape *shape = &piece_scene.shapes[piece->shape];
    const Img *r = shape->relief;
    if (!r || r->format != IMG_555 || r->width < 1 || r->height < 1 || r->width > RENDER_MAX_SHAPE_SIDE ||
        r->height > RENDER_MAX_SHAPE_SIDE)
        return nullptr;
    return shape;
}

static const Img *shape_shadow(const Shape *shape)
{
    const Img *s = shape->shadow;
    if (!s || s->format != IMG_8BIT || s->width < 1 || s->height < 1 || s->width > RENDER_MAX_SHAPE_SIDE ||
        s->height > RENDER_MAX_SHAPE_SIDE)
        return nullptr;
    return s;
}

static void rect_corners(QuadPoint out[4], double x, double y, int32_t w, int32_t h)
{
    out[0] = {x, y};
    out[1] = {x + w - 1, y};
    out[2] = {x + w - 1, y + h - 1};
    out[3] = {x, y + h - 1};
}

// std::round (half away from zero) without the library call: geometry is worked out for
// every carried piece on every frame. The fraction v - trunc(v) is exact.
static inline double round_away(double v)
{
    if (!(v > -4e15 && v < 4e15))
        return std::round(v);
    double t = (double)(int64_t)v, f = v - t;
    return std::copysign(f >= 0.5 ? t + 1 : f <= -0.5 ? t - 1 : t, v);
}

// Turns the corners about the piece position, moves them there and rounds half away
// from zero.
static void quad_place(QuadPoint quad[4], const QuadPoint corner[4], double c, double s, double px, double py)
{
    for (int i = 0; i < 4; i++) {
        double x = corner[i].x, y = corner[i].y;
        quad[i].x = round_away(x * c + y * s + px);
        quad[i].y = round_away(y * c - x * s + py);
    }
}

// In quarter q the leftmost corner is q, then top, right and bottom follow in corner order.
static PieceBox quad_box(const QuadPoint quad[4], int32_t quarter)
{
    // Only the table's size matters here: geometry is worked out between frames too.
    const ImgView &table = piece_scene.table;
    if (table.width <= 0 || table.height <= 0)
        return RENDER_NO_BOX;
    double x0 = quad[quarter].x, y0 = quad[(quarter + 1) & 3].y;
    double x1 = quad[(quarter + 2) & 3].x, y1 = quad[(quarter + 3) & 3].y;
    double right = table.width - 1, bottom = table.height - 1;
    if (!(x1 >= 0 && y1 >= 0 && x0 <= right && y0 <= bottom))
        return RENDER_NO_BOX;
    return {(int32_t)std::max(x0, 0.0), (int32_t)std::max(y0, 0.0), (int32_t)std::min(x1, right),
            (int32_t)std::min(y1, bottom)};
}

static bool box_empty(const PieceBox &b)
{
    return b.x1 < 0 || b.x1 < b.x0 || b.y1 < b.y0;
}

void piece_geometry_update(Piece *piece)
{
    piece->drawn_x = piece->x;
    piece->drawn_y = piece->y;
    piece->drawn_lift = piece->lift;
    piece->drawn_angle = piece->angle;
    piece->body_box = piece->shadow_box = RENDER_NO_BOX;
    const Shape *shape = piece_shape(piece);
    if (!shape)
        return;
    int32_t angle = angle_normal(piece->angle);
    double c, s;
    angle_turn(angle, &c, &s);
    QuadPoint corner[4];
    rect_corners(piece->body_source, 0, 0, shape->relief->width, shape->relief->height);
    quad_place(piece->body_quad, piece->body_source, c, s, piece->x, piece->y);
    piece->body_box = quad_box(piece->body_quad, angle / 90);
    const Img *shadow = shape_shadow(shape);
    if (!shadow)
        return;
    rect_corners(piece->shadow_source, 0, 0, shadow->width, shadow->height);
    rect_corners(corner, shape->shadow_x, shape->shadow_y, shadow->width, shadow->height);
    double lift = piece->lift;
    quad_place(piece->shadow_quad, corner, c, s, piece->x + lift, piece->y + lift);
    if (piece->lift != 0)
        piece->shadow_box = quad_box(piece->shadow_quad, angle / 90);
}

void piece_scene_set(Img *table, Img *picture, const Shape *shapes, int32_t shape_count)
{
    piece_scene = {};
    if (table)
        img_view(&piece_scene.table, table, 0, 0);
    piece_scene.picture = picture;
    piece_scene.shapes = shapes;
    piece_scene.shape_count = shape_count;
}

void piece_turn(int32_t angle, double x, double y, int32_t *out_x, int32_t *out_y)
{
    double c, s;
    angle_turn(angle_normal(angle), &c, &s);
    *out_x = (int32_t)std::round(x * c + y * s);
    *out_y = (int32_t)std::round(y * c - x * s);
}

PieceBox piece_body_extent(const Piece *piece)
{
    const Shape *shape = piece_shape(piece);
    if (!shape)
        return {piece->x, piece->y, piece->x, piece->y};
    int32_t angle = angle_normal(piece->angle);
    double c, s;
    angle_turn(angle, &c, &s);
    QuadPoint corner[4], quad[4];
    rect_corners(corner, 0, 0, shape->relief->width, shape->relief->height);
    quad_place(quad, corner, c, s, piece->x, piece->y);
    int32_t q = angle / 90;
    return {(int32_t)quad[q].x, (int32_t)quad[(q + 1) & 3].y, (int32_t)quad[(q + 2) & 3].x,
            (int32_t)quad[(q + 3) & 3].y};
}

void piece_dirty_rect(const Piece *piece)
{
    const PieceBox &a = piece->body_box, &b = piece->shadow_box;
    PieceBox u;
    if (box_empty(a) && box_empty(b))
        return;
    if (box_empty(a))
        u = b;
    else if (box_empty(b))
        u = a;
    else
        u = {std::min(a.x0, b.x0), std::min(a.y0, b.y0), std::max(a.x1, b.x1), std::max(a.y1, b.y1)};
    clip_invalidate(u.x0, u.y0, u.x1 - u.x0 + 1, u.y1 - u.y0 + 1);
}

// --- scan conversion ---

// Half away from zero, limited far outside any table so that the conversion is defined.
static inline int64_t scan_round(double v)
{
    if (!(v > -1e9))
        v = -1e9;
    if (v > 1e9)
        v = 1e9;
    return v < 0 ? -(int64_t)(0.5 - v) : (int64_t)(v + 0.5);
}

// A source coordinate in 16.16, held inside the readable pixels lo .. hi. Every pixel
// of a span lies between its two ends, so holding the ends holds the whole span.
static inline int32_t scan_fixed(double v, double lo, double hi)
{
    if (!(v > lo))
        v = lo;
    if (v > hi)
        v = hi;
    return (int32_t)(v * 65536.0);
}

// One side of the quad walked downwards from the top corner, one edge at a time, with
// x and the source coordinates as linear functions of the row on the current edge.
struct ScanChain {
    int32_t to, dir, turns;
    double y0, rows;           // the edge's first row and its height
    double x, u, v;            // at y0
    double dx, du, dv;         // per row
};

static void chain_edge(ScanChain *c, const QuadPoint quad[4], const QuadPoint source[4], int32_t from)
{
    const QuadPoint &a = quad[from], &b = quad[c->to], &sa = source[from], &sb = source[c->to];
    c->y0 = a.y;
    c->rows = b.y - a.y;
    if (c->rows > 0) {
        c->x = a.x, c->u = sa.x, c->v = sa.y;
        c->dx = (b.x - a.x) / c->rows, c->du = (sb.x - sa.x) / c->rows, c->dv = (sb.y - sa.y) / c->rows;
    } else {
        // A level edge is only met on its own row; its far end is the span's end there.
        c->x = b.x, c->u = sb.x, c->v = sb.y;
        c->dx = c->du = c->dv = 0;
        c->rows = 0;
    }
}

static void chain_start(ScanChain *c, const QuadPoint quad[4], const QuadPoint source[4], int32_t top, int32_t dir)
{
    c->to = (top + dir) & 3, c->dir = dir, c->turns = 0;
    chain_edge(c, quad, source, top);
}

struct ScanPoint {
    double x, u, v;
};

static inline ScanPoint chain_at(ScanChain *c, const QuadPoint quad[4], const QuadPoint source[4], double y)
{
    // The chain moves on once the row is past the corner it heads for; a row on a corner
    // still takes the edge ending there, so top and bottom rows are both inside.
    while (c->turns < 3 && quad[c->to].y < y) {
        int32_t from = c->to;
        c->to = (c->to + c->dir) & 3;
        c->turns++;
        chain_edge(c, quad, source, from);
    }
    double t = y - c->y0;
    if (!(t > 0))
        t = 0;
    if (t > c->rows)
        t = c->rows;
    return {c->x + c->dx * t, c->u + c->du * t, c->v + c->dv * t};
}

struct ScanLimits {
    double u0, v0, u1, v1;  // readable source pixels, inclusive
};

// One row's span as the scan conversion found it.
struct ScanSpan {
    uint8_t *d;
    int32_t n, u, v, du, dv;
};

static void scan_quad(const QuadPoint quad[4], const QuadPoint source[4], const PieceBox &box, const ScanLimits &lim,
                      SpanFn span, const SpanSource *src, uint8_t *table, int32_t table_stride)
{
    int32_t top = 0;
    for (int32_t i = 1; i < 4; i++)
        if (quad[i].y < quad[top].y)
            top = i;
    ScanChain ahead, back;
    chain_start(&ahead, quad, source, top, 1);
    chain_start(&back, quad, source, top, 3);
    // Rows are worked out a batch at a time and then drawn: the divisions and conversions
    // of one row do not wait on another's, so a batch costs far less than its rows one
    // by one between the spans.
    ScanSpan batch[64];
    int32_t count = 0;
    for (int32_t y = box.y0; y <= box.y1; y++) {
        ScanPoint a = chain_at(&ahead, quad, source, y), b = chain_at(&back, quad, source, y);
        if (b.x < a.x)
            std::swap(a, b);
        int64_t xl = scan_round(a.x), xr = scan_round(b.x);
        if (xr >= box.x0 && xl <= box.x1) {
            int32_t u = scan_fixed(a.u, lim.u0, lim.u1), v = scan_fixed(a.v, lim.v0, lim.v1);
            // The step per pixel, by integer division; scan_round keeps the length in range.
            int32_t du = 0, dv = 0;
            if (xr > xl) {
                du = (scan_fixed(b.u, lim.u0, lim.u1) - u) / (int32_t)(xr - xl);
                dv = (scan_fixed(b.v, lim.v0, lim.v1) - v) / (int32_t)(xr - xl);
            }
            if (xl < box.x0) {
                u += (int32_t)((box.x0 - xl) * du);
                v += (int32_t)((box.x0 - xl) * dv);
                xl = box.x0;
            }
            if (xr > box.x1)
                xr = box.x1;
            batch[count++] = {table + (ptrdiff_t)y * table_stride + xl * 3, (int32_t)(xr - xl + 1), u + 32768, v + 32768,
                              du, dv};
        }
        if (count == 64 || (y == box.y1 && count > 0)) {
            for (int32_t i = 0; i < count; i++)
                span(batch[i].d, batch[i].n, batch[i].u, batch[i].v, batch[i].du, batch[i].dv, src);
            count = 0;
        }
    }
}

// Quarter turns: the quad is an upright rectangle, so every row's span and its source
// follow from corner 0 directly, the same as the scan conversion finds them.
static void scan_rect(const QuadPoint &corner, int32_t w, int32_t h, int32_t angle, const PieceBox &box, SpanFn span,
                      const SpanSource *src, uint8_t *table, int32_t table_stride)
{
    double cd, sd;
    angle_turn(angle, &cd, &sd);
    int64_t c = (int64_t)cd, s = (int64_t)sd, qx = scan_round(corner.x), qy = scan_round(corner.y);
    // Image pixel (u, v) lands on (qx + u c + v s, qy + v c - u s).
    int64_t ox[4] = {0, (w - 1) * c, (w - 1) * c + (h - 1) * s, (h - 1) * s};
    int64_t oy[4] = {0, -(w - 1) * s, (h - 1) * c - (w - 1) * s, (h - 1) * c};
    int64_t x0 = qx + *std::min_element(ox, ox + 4), x1 = qx + *std::max_element(ox, ox + 4);
    int64_t y0 = qy + *std::min_element(oy, oy + 4), y1 = qy + *std::max_element(oy, oy + 4);
    x0 = std::max<int64_t>(x0, box.x0), x1 = std::min<int64_t>(x1, box.x1);
    y0 = std::max<int64_t>(y0, box.y0), y1 = std::min<int64_t>(y1, box.y1);
    for (int64_t y = y0; x0 <= x1 && y <= y1; y++) {
        int64_t u = c * (x0 - qx) - s * (y - qy), v = s * (x0 - qx) + c * (y - qy);
        span(table + y * table_stride + x0 * 3, (int32_t)(x1 - x0 + 1), (int32_t)(u << 16) + 32768,
             (int32_t)(v << 16) + 32768, (int32_t)(c << 16), (int32_t)(s << 16), src);
    }
}


static bool source_whole(const QuadPoint source[4], int32_t w, int32_t h)
{
    QuadPoint whole[4];
    rect_corners(whole, 0, 0, w, h);
    for (int i = 0; i < 4; i++)
        if (source[i].x != whole[i].x || source[i].y != whole[i].y)
            return false;
    return true;
}

void piece_draw(const Piece *piece, int what)
{
    piece_draw_clipped(piece, what, {0, 0, INT32_MAX, INT32_MAX});
}

void piece_draw_clipped(const Piece *piece, int what, const PieceBox &clip)
{
    const ImgView &table = piece_scene.table;
    const Shape *shape = piece_shape(piece);
    if (!table.colour || table.format != IMG_BGR || !shape || (what != PIECE_BODY && what != PIECE_SHADOW))
        return;
    bool shadow = what == PIECE_SHADOW;
    Img *image = shadow ? (Img *)shape_shadow(shape) : shape->relief;
    if (!image)
        return;
    // The box was clipped to the table when it was made; clip again in case the table
    // changed since, and to what the caller asks for.
    PieceBox box = shadow ? piece->shadow_box : piece->body_box;
    if (box_empty(box))
        return;
    box = {std::max({box.x0, clip.x0, 0}), std::max({box.y0, clip.y0, 0}), std::min({box.x1, clip.x1, table.width - 1}),
           std::min({box.y1, clip.y1, table.height - 1})};
    if (box_empty(box))
        return;

    SpanSource src = {};
    int32_t w, h, stride;
    src.shape = img_pixels(image, &stride, &w, &h);
    src.shape_stride = w;
    ScanLimits lim = {0, 0, (double)w - 1, (double)h - 1};
    if (!shadow) {
        Img *picture = piece_scene.picture;
        if (!picture || picture->format != IMG_BGR)
            return;
        int32_t pw, ph;
        src.picture = img_pixels(picture, &src.picture_stride, &pw, &ph);
        src.picture_origin = (ptrdiff_t)piece->home_y * src.picture_stride + (ptrdiff_t)piece->home_x * 3;
        // Only the part of the relief image that lies on the picture can be read; for a
        // true cut that is all of it.
        lim.u0 = std::max(lim.u0, -(double)piece->home_x);
        lim.v0 = std::max(lim.v0, -(double)piece->home_y);
        lim.u1 = std::min(lim.u1, (double)pw - 1 - piece->home_x);
        lim.v1 = std::min(lim.v1, (double)ph - 1 - piece->home_y);
        if (lim.u0 > lim.u1 || lim.v0 > lim.v1)
            return;
        src.shift = (uint32_t)(angle_normal(piece->angle) * 64 / 360) << 9;
        // A word read at a pixel takes one byte more, which lies in the picture unless the
        // pixel is its very last.
        src.picture_wide = piece->home_y + lim.v1 < ph - 1 || piece->home_x + lim.u1 < pw - 1;
        // The runs are made on a shape's first upright draw, not when it is cut or loaded,
        // so reopening a box stays quick and shapes never drawn upright cost nothing.
        if (!shape->runs && angle_normal(piece->angle) % 90 == 0)
            piece_runs_build(const_cast<Shape *>(shape));
        const ShapeRuns *runs = shape->runs;
        if (runs && runs->width == w && runs->height == h)
            src.runs = runs;
    }
    int32_t angle = angle_normal(piece->angle);
    bool axis = angle % 90 == 0 && !piece_force_general;
    SpanFn span = span_routines[(shadow ? SPAN_SHADOW : piece->selected ? SPAN_SELECTED : SPAN_BODY) + axis];
    const QuadPoint *quad = shadow ? piece->shadow_quad : piece->body_quad;
    const QuadPoint *source = shadow ? piece->shadow_source : piece->body_source;
    int32_t table_stride = table.colour_stride;
    uint8_t *pixels = table.colour;
    if (axis && lim.u0 == 0 && lim.v0 == 0 && lim.u1 == w - 1 && lim.v1 == h - 1 && source_whole(source, w, h)) {
        if (angle == 0 && !shadow && src.runs)
            spans_upright(piece->selected != 0, scan_round(quad[0].x), scan_round(quad[0].y), box, &src, pixels,
                          table_stride);
        else
            scan_rect(quad[0], w, h, angle, box, span, &src, pixels, table_stride);
    } else {
        scan_quad(quad, source, box, lim, span, &src, pixels, table_stride);
    }
}

// --- the frame ---

void pieces_draw_frame(Piece *pieces, int32_t count, int32_t first)
{
    for (int32_t i = 0; i < count; i++) {
        Piece *p = &pieces[i];
        if (!p->dirty)
            continue;
        piece_dirty_rect(p);
        piece_geometry_update(p);
        piece_dirty_rect(p);
        p->dirty = 0;
    }
    // Lifted pieces sit at the top of the stack: lying bodies first, then every lifted
    // shadow, then the lifted bodies over them. Walks are bounded in case a link is bad.
    int32_t lifted = -1, n = 0;
    for (int32_t i = first; i >= 0 && i < count && n < count; i = pieces[i].above, n++) {
        if (pieces[i].lift == 0)
            piece_draw(&pieces[i], PIECE_BODY);
        else if (lifted < 0)
            lifted = i;
    }
    for (int what : {PIECE_SHADOW, PIECE_BODY}) {
        n = 0;
        for (int32_t i = lifted; i >= 0 && i < count && n < count; i = pieces[i].above, n++)
            if (pieces[i].lift != 0)
                piece_draw(&pieces[i], what);
    }
}
