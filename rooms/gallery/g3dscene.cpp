// The gallery's walk-through room: the floor plan, the textures, the camera with its
// collision and sliding, the per-column ray casting and the picking. The pixel work lies
// in g3dscene_draw.cpp.
#include "rooms/gallery/g3dscene.h"
#include "rooms/gallery/g3dscene_draw.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "image/cache.h"
#include "image/clip.h"
#include "image/resample.h"
#include "platform/log.h"
#include "res/ini.h"
#include "res/settings.h"

G3dScene g3dscene;

// A central hall (points 0, 1, 6, 7, 12, 13 and around) with three wings.
G3dPoint g3d_points[G3D_POINTS] = {
    {64, 1, 0, 0},     {192, 1, 0, 0},    {256, -109, 0, 0}, {384, -109, 0, 0}, {448, 1, 0, 0},
    {384, 112, 0, 0},  {256, 112, 0, 0},  {192, 223, 0, 0},  {256, 334, 0, 0},  {192, 444, 0, 0},
    {64, 444, 0, 0},   {0, 334, 0, 0},    {64, 223, 0, 0},   {0, 112, 0, 0},    {-128, 112, 0, 0},
    {-192, 1, 0, 0},   {-128, -110, 0, 0}, {0, -110, 0, 0},
};

// Wall i from point i to i + 1, its first inner cell 2i, its first outer cell 0, its
// length worked out at start-up.
static G3dWall g3d_wall(int32_t i, int32_t texture)
{
    const G3dPoint &a = g3d_points[i], &b = g3d_points[(i + 1) % G3D_POINTS];
    return {i, (i + 1) % G3D_POINTS, 2 * i, 0, texture, std::hypot(b.x - a.x, b.y - a.y)};
}

// The hall's three walls (0, 6, 12) in texture 0, each wing in its own.
const G3dWall g3d_walls[G3D_WALLS] = {
    g3d_wall(0, 0),  g3d_wall(1, 1),  g3d_wall(2, 1),  g3d_wall(3, 1),  g3d_wall(4, 1),  g3d_wall(5, 1),
    g3d_wall(6, 0),  g3d_wall(7, 2),  g3d_wall(8, 2),  g3d_wall(9, 2),  g3d_wall(10, 2), g3d_wall(11, 2),
    g3d_wall(12, 0), g3d_wall(13, 3), g3d_wall(14, 3), g3d_wall(15, 3), g3d_wall(16, 3), g3d_wall(17, 3),
};

namespace {

constexpr double DEG = 2.0 * M_PI / 360.0;
constexpr int32_t CELLS_PER_WALL = 2;
constexpr int32_t EDGE_ROWS = 3;  // wall texture rows kept untinted at the top and bottom
constexpr double FAR = 100000.0;  // no wall is this far along a ray
constexpr double COLLIDE_FAR = 99999.0;
constexpr double NEAR_HIT = 0.01;
constexpr double HEIGHT_MAX = 1 << 30;  // a camera on a wall would give no integer

const char *const floor_name = "img/gallery/floor.jpg";
const char *const ceiling_name = "img/gallery/ceiling.jpg";
const char *const wall_name = "img/gallery/wall.jpg";

}  // namespace

// The floor and ceiling are read as 256 x 256 tiles of 3-byte texels: anything else in
// the pack would be read past its end, so it is refused.
static int32_t g3d_tile(const char *name)
{
    int32_t handle = cache_get(name);
    Img *img = (Img *)cache_lock(handle);
    bool fits = img->width >= G3D_CELL_TEXELS && img->height >= G3D_CELL_TEXELS && img_colour_bytes(img->format) == 3;
    cache_unlock(handle);
    if (!fits)
        io_error("g3dscene_init: invalid texture %s", name);
    return handle;
}

// One wall texture: the wall image with its rows between the edge rows tinted.
static Img *g3d_make_texture(Img *wall, int32_t number)
{
    char key[16];
    snprintf(key, sizeof key, "Texture%i", (int)number);
    int32_t hue, brightness, saturation;
    if (!ini_get_triple(SETTINGS_SKIN, "GALLERY", key, &hue, &brightness, &saturation))
        io_error("g3dscene_init: %s not found in [GALLERY] in INI file", key);
    Img *tex = img_create(wall->width, wall->height, IMG_SCREEN);
    ImgView src, dst;
    img_view(&src, wall, 0, 0);
    img_view(&dst, tex, 0, 0);
    size_t row = (size_t)wall->width * 3;
    for (int32_t y = 0; y < wall->height; y++)
        memcpy(dst.colour + (ptrdiff_t)y * dst.colour_stride, src.colour + (ptrdiff_t)y * src.colour_stride, row);
    if (wall->height > 2 * EDGE_ROWS) {
        img_view(&src, wall, 0, EDGE_ROWS);
        img_view(&dst, tex, 0, EDGE_ROWS);
        src.height = dst.height = wall->height - 2 * EDGE_ROWS;
        img_colorize(&dst, &src, hue, brightness, saturation);
    }
    return tex;
}

void g3dscene_init(void)
{
    g3dscene_release();  // a second start makes them afresh; the pictures and view stay
    G3dScene &s = g3dscene;
    s.x = 128.0;
    s.y = 31.0;
    s.heading = 90;
    s.fov = G3D_FOV;
    s.turn_speed = s.walk_speed = 0;
    s.nearest_or_equal = 0;
    s.cross_hair = false;
    s.floor_image = g3d_tile(floor_name);
    s.ceiling_image = g3d_tile(ceiling_name);
    int32_t wall_handle = cache_get(wall_name);
    Img *wall = (Img *)cache_lock(wall_handle);
    if (wall->width < 1 || wall->height < 1 || wall->height > INT16_MAX || img_colour_bytes(wall->format) != 3)
        io_error("g3dscene_init: invalid texture %s", wall_name);
    for (int32_t i = 0; i < G3D_TEXTURES; i++)
        s.textures[i] = g3d_make_texture(wall, i);
    cache_unlock(wall_handle);  // the cache may drop the wall image now
    g3d_texels_make();
    if (s.width > 0)
        g3dscene_set_view(s.width, s.height, s.left, s.top);
}

void g3dscene_release(void)
{
    g3d_texels_free();
    for (Img *&t : g3dscene.textures) {
        if (t)
            img_free(t);
        t = nullptr;
    }
}

void g3dscene_set_pictures(Img *const *cells)
{
    g3dscene.pictures = cells;
}

// --- camera space and rays ---

static void g3d_camera_points(void)
{
    double theta = -g3dscene.heading * DEG, c = std::cos(theta), s = std::sin(theta);
    for (G3dPoint &p : g3d_points) {
        double dx = p.x - g3dscene.x, dy = p.y - g3dscene.y;
        p.forward = c * dx - s * dy;
        p.left = c * dy + s * dx;
    }
}

// The nearest wall along the ray of column c, its height, u and side.
static void g3d_cast(int32_t c, G3dColumn *col)
{
    const G3dScene &s = g3dscene;
    double a = std::atan(((double)(s.width / 2 - c) + 0.5) / s.focal);
    double ca = std::cos(a), t = std::sin(a) / ca;
    double nearest = FAR, hit_s = 0;
    int32_t hit = -1;
    for (int32_t i = 0; i < G3D_WALLS; i++) {
        const G3dPoint &p0 = g3d_points[g3d_walls[i].first], &p1 = g3d_points[g3d_walls[i].second];
        if (p0.forward < 0 && p1.forward < 0)
            continue;
        double den = t * (p1.forward - p0.forward) - (p1.left - p0.left);
        if (den == 0)
            continue;  // the ray runs along the wall
        double sw = (p0.left - p0.forward * t) / den;
        if (!(sw >= 0 && sw <= 1))
            continue;
        double d = (sw * (p1.forward - p0.forward) + p0.forward) / ca;
        if (d > NEAR_HIT && d < nearest) {
            nearest = d;
            hit = i;
            hit_s = sw;
        }
    }
    col->wall = hit;
    if (hit < 0) {
        col->height = 0;
        col->u = 0;
        col->inner = 0;
        return;
    }
    const G3dWall &w = g3d_walls[hit];
    double h = std::min(64.0 * s.focal / (ca * nearest) + 0.5, HEIGHT_MAX);
    col->height = (int32_t)h & ~1;
    col->u = hit_s * w.length;
    const G3dPoint &p0 = g3d_points[w.first], &p1 = g3d_points[w.second];
    // The side from the exact position: rounded to whole units, a camera near a wall's
    // line (seeing it at a grazing angle past a corner) could land on the wrong side and
    // show the wall's other face, with another cell's picture.
    col->inner = (p0.x - p1.x) * (s.y - p0.y) + (p1.y - p0.y) * (s.x - p0.x) < 0 ? 1 : 0;
}

// Camera space and the column table, after every move and view change.
static void g3d_update(void)
{
    G3dScene &s = g3dscene;
    g3d_camera_points();
    if (s.width < 1)
        return;
    int32_t smallest = INT32_MAX;
    for (int32_t c = 0; c < s.width; c++) {
        g3d_cast(c, &s.columns[c]);
        smallest = std::min(smallest, s.columns[c].height);
    }
    s.smallest_height = smallest;
}

void g3dscene_set_view(int32_t width, int32_t height, int32_t left, int32_t top)
{
    if (width < 1 || width > G3D_VIEW_MAX || height < 1 || height > G3D_VIEW_MAX)
        io_error("g3dscene_set_view: invalid view %i x %i", (int)width, (int)height);
    G3dScene &s = g3dscene;
    s.width = width;
    s.height = height;
    s.left = left;
    s.top = top;
    s.fov = G3D_FOV;
    s.focal = ((double)width * 0.5) / std::tan(s.fov * 0.5 * DEG);
    g3d_update();
}

void g3dscene_invalidate(void)
{
    const G3dScene &s = g3dscene;
    if (s.width > 0)
        clip_invalidate(s.left, s.top, s.width, s.height);  // cut to the screen there
}

// --- moving ---

// The camera's distance to the nearest wall, and that wall. In a corner the two walls
// take turns being the nearest (ties go one way, then the other), so sliding along
// either gets its chance.
static double g3d_nearest_wall(double cx, double cy, int32_t *wall)
{
    double best = COLLIDE_FAR;
    bool or_equal = g3dscene.nearest_or_equal != 0;
    g3dscene.nearest_or_equal = !g3dscene.nearest_or_equal;
    *wall = -1;
    for (int32_t i = 0; i < G3D_WALLS; i++) {
        const G3dPoint &a = g3d_points[g3d_walls[i].first], &b = g3d_points[g3d_walls[i].second];
        double dx = b.x - a.x, dy = b.y - a.y;
        double p = ((cy - a.y) * dy + (cx - a.x) * dx) / (dx * dx + dy * dy);
        double dist;
        if (p >= 0 && p <= 1)
            dist = std::hypot(a.x + p * dx - cx, a.y + p * dy - cy);
        else
            dist = std::min(std::hypot(a.x - cx, a.y - cy), std::hypot(b.x - cx, b.y - cy));
        if (dist < best || (or_equal && dist == best)) {
            best = dist;
            *wall = i;
        }
    }
    return best;
}

// The angle between two directions, 0 .. 180. A wall's angle runs from -90 to 270 and a
// heading from 0 to 359, so they may lie more than a turn apart.
static double g3d_angle_apart(double a, double b)
{
    double d = std::fmod(std::fabs(a - b), 360.0);
    return d > 180 ? 360 - d : d;
}

void g3dscene_move(int32_t turn, double walk)
{
    G3dScene &s = g3dscene;
    s.heading = (int32_t)(((int64_t)s.heading + turn) % 360 + 360) % 360;
    // Any amount below zero walks backwards; a fraction of a unit forwards is forwards.
    double sign = walk < 0 ? -1.0 : 1.0, remaining = std::fabs(walk), direction = s.heading, factor = 1.0;
    while (remaining > 0) {
        double step = std::min(remaining, 1.0);
        remaining -= step;
        double cx = s.x + std::cos(direction * DEG) * sign * step * factor;
        double cy = s.y + std::sin(direction * DEG) * sign * step * factor;
        int32_t wall;
        if (g3d_nearest_wall(cx, cy, &wall) >= G3D_WALL_MARGIN) {
            s.x = cx;
            s.y = cy;
            direction = s.heading;
            factor = 1.0;
            continue;
        }
        // Blocked: walk on along the wall, slower the more head-on the walk meets it.
        const G3dPoint &a = g3d_points[g3d_walls[wall].first], &b = g3d_points[g3d_walls[wall].second];
        double dx = b.x - a.x, dy = b.y - a.y;
        double w = dx != 0 ? std::atan(dy / dx) / DEG : (dy > 0 ? 90.0 : -90.0);
        double delta = g3d_angle_apart(s.heading, w);
        if (delta > 90) {
            w += 180;
            if (w > 360)
                w -= 360;
            delta = g3d_angle_apart(s.heading, w);
        }
        direction = w;
        factor = (90 - delta) / 45;
    }
    g3d_update();
}

// One axis of speed: towards the held key, else halved, within the limits.
static double g3d_speed(double speed, int32_t keys)
{
    if (keys > 0)
        speed += 1;
    else if (keys < 0)
        speed -= 1;
    else
        speed /= 2;
    return std::clamp(speed, (double)-G3D_SPEED_MAX, (double)G3D_SPEED_MAX);
}

bool g3dscene_tick(int32_t turn_keys, int32_t walk_keys)
{
    G3dScene &s = g3dscene;
    s.turn_speed = g3d_speed(s.turn_speed, turn_keys);
    s.walk_speed = g3d_speed(s.walk_speed, walk_keys);
    int32_t turn = (int32_t)s.turn_speed, walk = (int32_t)s.walk_speed;
    if (turn == 0 && walk == 0)
        return false;
    g3dscene_move(turn, walk);
    return true;
}

// --- cells and picking ---

int32_t g3dscene_cell(const G3dColumn *column, double *f)
{
    if (column->wall < 0 || column->wall >= G3D_WALLS)
        return -1;
    double in_cell = std::fmod(column->u, (double)G3D_WALL_HIGH);
    if (column->inner)
        in_cell = G3D_WALL_HIGH - in_cell;
    if (f)
        *f = in_cell;
    double index = std::trunc(column->u / G3D_WALL_HIGH);
    if (!(index >= 0 && index < CELLS_PER_WALL))
        return -1;
    const G3dWall &w = g3d_walls[column->wall];
    int32_t cell = (int32_t)index + (column->inner ? w.inner_cell : w.outer_cell);
    return cell >= 0 && cell < G3D_CELLS ? cell : -1;
}

bool g3dscene_picture_span(int32_t cell, double f, int32_t wall_height, G3dPictureSpan *span)
{
    const G3dScene &s = g3dscene;
    if (cell < 0 || cell >= G3D_CELLS || !s.pictures || !s.pictures[cell] || wall_height < 1)
        return false;
    const Img *pic = s.pictures[cell];
    if (img_colour_bytes(pic->format) != 3 || pic->width < 1 || pic->height < 1)
        return false;
    int32_t px = (pic->width - G3D_CELL_TEXELS) / 2 + (int32_t)(f * G3D_CELL_TEXELS / G3D_WALL_HIGH);
    if (px < 0 || px >= pic->width)
        return false;
    int64_t rows = (int64_t)wall_height * pic->height / G3D_CELL_TEXELS;
    if (rows < 1)
        return false;  // a wide picture far away: not one row to show
    rows = std::min<int64_t>(rows, INT32_MAX / 2);
    span->picture = pic;
    span->column = px;
    span->screen_height = (int32_t)rows;
    span->step = ((int64_t)pic->height << 16) / rows;
    int32_t top = (int32_t)((s.height - rows) / 2);
    int32_t wall_top = s.height / 2 - wall_height / 2;
    // A picture taller than a cell stays on its wall.
    span->top = std::max(top, wall_top);
    span->bottom = (int32_t)std::min<int64_t>((int64_t)top + rows, (int64_t)wall_top + wall_height);
    span->first = (int64_t)(span->top - top) * span->step;
    return span->top < span->bottom;
}

int32_t g3dscene_pick(int32_t x, int32_t y, bool *on_picture)
{
    const G3dScene &s = g3dscene;
    *on_picture = false;
    if (x < 0 || y < 0 || x >= s.width || y >= s.height)
        return -1;
    const G3dColumn &col = s.columns[x];
    // The wall's rows as they are drawn: H / 2 - height / 2 up to its height.
    int32_t dy = y - s.height / 2;
    if (col.height < 1 || dy < -(col.height / 2) || dy >= col.height / 2)
        return -1;
    double f;
    int32_t cell = g3dscene_cell(&col, &f);
    if (cell < 0)
        return -1;
    G3dPictureSpan span;
    *on_picture = g3dscene_picture_span(cell, f, col.height, &span) && y >= span.top && y < span.bottom;
    return cell;
}
