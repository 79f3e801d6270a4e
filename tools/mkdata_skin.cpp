// The skin pictures: the brass-rimmed ivory frame pieces, the title bar, the panel and
// bar textures, and the two 256 x 256 pictures that hold them with every icon.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "image/img.h"
#include "tools/mkdata.h"
#include "tools/mkdata_skin_paint.h"
#include "ui/skin.h"

namespace skin_art {

using namespace skin_palette;

// --- frame pieces ---

// How a piece meets each of its four sides: the frame's edge lies far beyond it, the
// brass rim runs along it, or it is open and the fill runs on into a neighbouring frame.
enum SideKind { FAR, RIM, OPEN };
struct FrameSides {
    SideKind left, top, right, bottom;
};

// Pieces by number (5 x 5 grid): which sides carry the rim and which are open.
static const FrameSides frame_sides[25] = {
    {RIM, RIM, FAR, FAR},   {FAR, RIM, FAR, FAR},   {FAR, RIM, OPEN, FAR},  {OPEN, RIM, FAR, FAR},  {FAR, RIM, RIM, FAR},
    {RIM, OPEN, FAR, FAR},  {FAR, OPEN, FAR, FAR},  {FAR, OPEN, OPEN, FAR}, {OPEN, OPEN, FAR, FAR}, {FAR, OPEN, RIM, FAR},
    {RIM, FAR, FAR, FAR},   {FAR, FAR, FAR, FAR},   {FAR, FAR, OPEN, FAR},  {OPEN, FAR, FAR, FAR},  {FAR, FAR, RIM, FAR},
    {RIM, FAR, FAR, OPEN},  {FAR, FAR, FAR, OPEN},  {FAR, FAR, OPEN, OPEN}, {OPEN, FAR, FAR, OPEN}, {FAR, FAR, RIM, OPEN},
    {RIM, FAR, FAR, RIM},   {FAR, FAR, FAR, RIM},   {FAR, FAR, OPEN, RIM},  {OPEN, FAR, FAR, RIM},  {FAR, FAR, RIM, RIM},
};

// Distances inward from the frame's outer edge: a dark outer line, a rounded brass band,
// a thin inner line, then the ivory fill. Thin enough that a 24-high button keeps 14
// pixels of fill for its text.
constexpr float FRAME_RADIUS = 6.0f;
constexpr float RIM_OUTER = 1.1f, RIM_BRASS = 4.1f, RIM_INNER = 5.1f;

static Rgba frame_colour(const Sdf &shape, float x, float y)
{
    float t = -shape(x, y);
    float facing = sdf_facing(shape, x, y);
    if (t < RIM_OUTER)
        return lighten(rim, 0.12f * facing);
    if (t < RIM_BRASS) {
        // A half-round brass bar: its outer half faces out, its inner half faces in.
        float u = (t - RIM_OUTER) / (RIM_BRASS - RIM_OUTER);
        float slope = std::cos(u * 3.14159265f);
        float light = 0.75f * slope * facing + 0.08f;
        Rgba c = light > 0 ? mix(brass, brass_light, light) : mix(brass, brass_dark, -light);
        float spec = std::exp(-std::pow((u - 0.28f) / 0.12f, 2.0f)) * std::max(facing, 0.0f);
        return lighten(c, 0.45f * spec);
    }
    if (t < RIM_INNER)
        return lighten(rim_inner, 0.1f * facing);
    // The rim throws a little shade on the fill on the sides that face the light.
    float d = t - RIM_INNER;
    float shade = 0.13f * std::max(facing, 0.0f) * std::exp(-d / 1.4f) + 0.05f * std::exp(-d / 0.9f);
    return lighten(ivory, -shade);
}

static void paint_frame_piece(Canvas &c, const FrameSides &s)
{
    float w = (float)c.w, h = (float)c.h;
    float x0 = s.left == RIM ? 0 : -1000, x1 = s.right == RIM ? w : w + 1000;
    float y0 = s.top == RIM ? 0 : -1000, y1 = s.bottom == RIM ? h : h + 1000;
    Sdf shape = sdf_box(x0, y0, x1, y1, FRAME_RADIUS);
    canvas_fill(c, shape, [&](float x, float y) {
        Rgba col = frame_colour(shape, x, y);
        if (-shape(x, y) < RIM_INNER)
            return col;
        // Where two frames meet, a groove: the lit wall on the far side, the shaded
        // wall on the near side.
        if ((s.left == OPEN && x < 1) || (s.top == OPEN && y < 1))
            col = lighten(col, 0.55f);
        if ((s.right == OPEN && x > w - 1) || (s.bottom == OPEN && y > h - 1))
            col = lighten(col, -0.16f);
        return col;
    });
}

static void paint_frames(Img *img, bool muted)
{
    for (int n = 0; n < 25; n++) {
        const SkinRect &r = skin_frame_rects[n];
        Canvas c = canvas_new(r.w, r.h);
        paint_frame_piece(c, frame_sides[n]);
        if (muted)
            canvas_recolour(c, mute);
        canvas_store(c, img, r.x, r.y);
    }
}

// --- title bar ---

// The bar is a rounded brass strip 18 high; the title sits on an inset ivory plate.
// The caps, the bar before the boxes and the boxes themselves are the same in both
// looks, so an active and an inactive plate meet the same ends.
static Rgba bar_colour(const Sdf &shape, float x, float y)
{
    float t = -shape(x, y);
    if (t < 1.0f)
        return lighten(rim, 0.1f * sdf_facing(shape, x, y));
    Rgba base = y < 9 ? mix(rgb(244, 214, 140), rgb(208, 164, 82), y / 9.0f)
                      : mix(rgb(208, 164, 82), rgb(150, 104, 44), (y - 9) / 8.0f);
    float edge = 1.0f - std::min((t - 1.0f) / 2.5f, 1.0f);
    float lit = sdf_facing(shape, x, y) * edge;
    return lighten(base, lit > 0 ? 0.5f * lit : 0.35f * lit);
}

void skin_paint_bar(Canvas &c, float left, float right)
{
    Sdf shape = sdf_box(left, 0, right, 18, 7);
    canvas_fill(c, shape, [&](float x, float y) { return bar_colour(shape, x, y); });
}

// The plate from x0 to x1 (either may lie beyond the piece): deep teal when active,
// dull walnut when not, so the ivory title text with its dark shadow reads on both.
static void paint_plate(Canvas &c, float x0, float x1, bool active)
{
    Sdf plate = sdf_box(x0, 2.5f, x1, 15.5f, 4);
    canvas_fill(c, sdf_grow(plate, 0.9f), paint_solid(with_alpha(rim, 0.95f)));
    Rgba top = active ? rgb(36, 142, 136) : rgb(138, 118, 92);
    Rgba bottom = active ? rgb(8, 66, 68) : rgb(84, 68, 50);
    canvas_fill(c, plate, [=](float x, float y) {
        float t = -plate(x, y);
        Rgba col = mix(top, bottom, (y - 2.5f) / 13.0f);
        // Sunk into the bar: shaded under its upper edge, a glint of light along its
        // lower one.
        float f = sdf_facing(plate, x, y);
        float edge = std::exp(-t / 1.2f);
        col = lighten(col, f > 0 ? -0.3f * f * edge : 0.25f * -f * edge);
        // A soft gloss on the upper half.
        if (y < 8.5f)
            col = lighten(col, 0.10f * (8.5f - y) / 6.0f);
        return col;
    });
}

static void paint_title(Img *img)
{
    for (int n = 0; n < 10; n++) {
        const SkinRect &r = skin_title_rects[n];
        Canvas c = canvas_new(r.w, r.h);
        float w = (float)r.w;
        float left = n == 0 ? 0 : -100, right = n == 4 ? w : w + 100;
        skin_paint_bar(c, left, right);
        bool active = n >= 1 && n <= 3;
        if ((n >= 1 && n <= 3) || (n >= 6 && n <= 8)) {
            int k = active ? n : n - 5;
            float x0 = k == 1 ? 2 : -100, x1 = k == 3 ? w - 2 : w + 100;
            paint_plate(c, x0, x1, active);
            if (k == 1) {
                // A small gem before the title.
                Sdf gem = sdf_polygon({7, 6, 10, 9, 7, 12, 4, 9});
                canvas_fill(c, sdf_grow(gem, 0.6f), paint_solid(with_alpha(rim, 0.8f)));
                canvas_fill(c, gem, paint_bevel(gem, paint_solid(active ? brass_light : rgb(176, 160, 132)), 2, 0.6f));
            }
        }
        canvas_store(c, img, r.x, r.y);
    }
}

// --- panels and bars ---

// A small deterministic generator for textures, apart from the game's own.
static uint32_t noise_state;
static float noise_next(void)
{
    noise_state = noise_state * 1664525u + 1013904223u;
    return (noise_state >> 8) / 16777216.0f;
}

// Value noise that repeats every `period` pixels both ways, from a cells x cells lattice.
struct TileNoise {
    int cells;
    float period;
    std::vector<float> v;
};
static TileNoise tile_noise(int cells, float period, uint32_t seed)
{
    TileNoise n = {cells, period, std::vector<float>((size_t)cells * cells)};
    noise_state = seed;
    for (float &x : n.v)
        x = noise_next() * 2 - 1;
    return n;
}
static float tile_noise_at(const TileNoise &n, float x, float y)
{
    float fx = x / n.period * n.cells, fy = y / n.period * n.cells;
    int ix = (int)std::floor(fx), iy = (int)std::floor(fy);
    float tx = fx - ix, ty = fy - iy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    auto at = [&](int i, int j) {
        i = ((i % n.cells) + n.cells) % n.cells;
        j = ((j % n.cells) + n.cells) % n.cells;
        return n.v[(size_t)j * n.cells + i];
    };
    float a = at(ix, iy) + (at(ix + 1, iy) - at(ix, iy)) * tx;
    float b = at(ix, iy + 1) + (at(ix + 1, iy + 1) - at(ix, iy + 1)) * tx;
    return a + (b - a) * ty;
}

// Parchment: ivory with a soft mottle at three scales, repeating every 32 pixels.
static void paint_parchment(Canvas &c, Rgba base, uint32_t seed)
{
    TileNoise coarse = tile_noise(4, 32, seed), mid = tile_noise(8, 32, seed + 1), fine = tile_noise(32, 32, seed + 2);
    Sdf all = sdf_box(-10, -10, 100, 100, 0);
    canvas_fill(c, all, [&](float x, float y) {
        float m = 0.008f * tile_noise_at(coarse, x, y) + 0.008f * tile_noise_at(mid, x, y) +
                  0.016f * tile_noise_at(fine, x, y);
        return lighten(base, m);
    });
}

// The button-bar strip: brushed brass between a groove line at the top and a dark foot.
static Rgba strip_colour(float x, float y, const TileNoise &brush)
{
    if (y < 1)
        return rim_inner;
    if (y < 2)
        return rgb(252, 232, 172);
    if (y > 23)
        return rgb(96, 64, 26);
    Rgba c = mix(rgb(226, 190, 116), rgb(170, 124, 56), (y - 2) / 21.0f);
    return lighten(c, 0.05f * tile_noise_at(brush, x, y * 8));
}

static void paint_strip(Canvas &c, uint32_t seed, bool ornament)
{
    TileNoise brush = tile_noise(8, (float)c.w, seed);
    Sdf all = sdf_box(-10, -10, 100, 100, 0);
    canvas_fill(c, all, [&](float x, float y) { return strip_colour(x, y, brush); });
    if (ornament) {
        // A small raised stud, one per tile: a quiet band of ornaments when the tile
        // repeats, a grip where it stands alone.
        float cx = c.w / 2.0f;
        Sdf stud = sdf_polygon({cx, 8.5f, cx + 4, 12.5f, cx, 16.5f, cx - 4, 12.5f});
        canvas_shadow(c, stud, 0.6f, 0.8f, 0.8f, 0.4f);
        canvas_fill(c, stud, paint_bevel(stud, paint_solid(rgb(210, 168, 90)), 2.0f, 0.55f));
        canvas_fill(c, sdf_circle(cx, 12.5f, 1.1f), paint_solid(teal));
    }
}

// One segment of the progress bar: a glossy teal block with a gap on its right.
static void paint_progress_block(Canvas &c)
{
    Sdf block = sdf_box(0.5f, 1, 5.2f, 17, 1.4f);
    canvas_fill(c, sdf_grow(block, 0.5f), paint_solid(with_alpha(teal_dark, 0.9f)));
    canvas_fill(c, block, [&](float x, float y) {
        Rgba col = y < 6 ? mix(teal_light, teal, (y - 1) / 5) : mix(teal, teal_dark, (y - 6) / 11);
        return lighten(col, 0.25f * std::max(sdf_facing(block, x, y), 0.0f) * (1 - std::min(-block(x, y) / 1.5f, 1.0f)));
    });
    canvas_fill(c, sdf_box(1.4f, 2, 4.2f, 4.2f, 1), paint_solid(with_alpha(white, 0.45f)));
}

static void paint_panels(Img *img, bool muted)
{
    struct {
        int number;
        int kind;  // 0 parchment, 1 strip, 2 ornamented strip, 3 progress block
        uint32_t seed;
    } panels[] = {
        {SKIN_PANEL_DIALOG, 0, 11}, {SKIN_PANEL_MESSAGE, 0, 23}, {SKIN_PANEL_BAR, 1, 37},
        {SKIN_PANEL_BAR_START, 2, 37}, {SKIN_PANEL_PROGRESS, 3, 0},
    };
    for (auto &p : panels) {
        const SkinRect &r = skin_panel_rects[p.number];
        Canvas c = canvas_new(r.w, r.h);
        if (p.kind == 0)
            paint_parchment(c, p.number == SKIN_PANEL_MESSAGE ? rgb(247, 238, 214) : parchment, p.seed);
        else if (p.kind == 3)
            paint_progress_block(c);
        else
            paint_strip(c, p.seed, p.kind == 2);
        if (muted)
            canvas_recolour(c, mute);
        canvas_store(c, img, r.x, r.y);
    }
}

// --- the pictures ---

static Img *skin_picture(const MkData *mk, bool muted)
{
    Img *img = img_create(SKIN_IMAGE_WIDTH, SKIN_IMAGE_HEIGHT, IMG_BGRA);
    std::memset((uint8_t *)img + IMG_HEADER_SIZE, 0,
                (size_t)(img->colour_stride + img->second_stride) * img->height);
    paint_frames(img, muted);
    // The title bar is always drawn from the inactive picture, which holds both looks,
    // so its pieces keep their colours in both pictures.
    paint_title(img);
    skin_paint_icons(img, mk, muted);
    skin_paint_trackbar(img, muted);
    paint_panels(img, muted);
    return img;
}

}  // namespace skin_art

void mk_skin(const MkData *mk)
{
    using namespace skin_art;
    Img *active = skin_picture(mk, false);
    skin_write_img(mk, "img/active.img", active);
    img_free(active);
    Img *inactive = skin_picture(mk, true);
    skin_write_img(mk, "img/inactive.img", inactive);
    img_free(inactive);
    skin_write_extras(mk);
}
