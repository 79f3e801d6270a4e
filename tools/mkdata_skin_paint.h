// Anti-aliased painting for the generated skin artwork: shapes given as signed distance
// functions are sampled SKIN_SS x SKIN_SS times per pixel with analytic edge coverage,
// composited in floating point and box-filtered down into premultiplied IMG pictures.
// Plain float maths and no clock or libc rand(), so the same build gives the same bytes.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

struct Img;
struct MkData;

// A namespace of its own: the picture generator links other painters beside this one.
namespace skin_art {

constexpr int SKIN_SS = 4;  // samples per pixel along each axis

// A straight (not premultiplied) colour, each channel 0..1.
struct Rgba {
    float r, g, b, a;
};
Rgba rgb(int r, int g, int b, float a = 1.0f);
Rgba mix(Rgba x, Rgba y, float t);   // t clamped to 0..1
Rgba lighten(Rgba c, float k);       // k > 0 towards white, k < 0 towards black
Rgba with_alpha(Rgba c, float a);
// The washed-out look of inactive pieces: most of the colour gone, a little darker.
Rgba mute(Rgba c);

// Signed distance in pixels from (x, y) to a shape's edge, negative inside.
using Sdf = std::function<float(float x, float y)>;
// Colour of a fill at (x, y).
using Paint = std::function<Rgba(float x, float y)>;

Sdf sdf_circle(float cx, float cy, float r);
Sdf sdf_ellipse(float cx, float cy, float rx, float ry);  // close to exact near the edge
// Rectangle (x0, y0)-(x1, y1) with corners rounded by radius (0: square).
Sdf sdf_box(float x0, float y0, float x1, float y1, float radius);
// A stroke from a to b, half_width each side, round ends.
Sdf sdf_segment(float ax, float ay, float bx, float by, float half_width);
// A closed polygon of n points (x, y pairs), either winding.
Sdf sdf_polygon(std::vector<float> points);
// A polyline stroke through n points, round joins and ends.
Sdf sdf_polyline(std::vector<float> points, float half_width);
// An arc of the circle (cx, cy, r) from angle a0 to a1 (radians, counter-clockwise on
// screen means decreasing y), stroked half_width each side, round ends.
Sdf sdf_arc(float cx, float cy, float r, float a0, float a1, float half_width);
Sdf sdf_union(Sdf a, Sdf b);
Sdf sdf_intersect(Sdf a, Sdf b);
Sdf sdf_subtract(Sdf a, Sdf b);             // a without b
Sdf sdf_grow(Sdf a, float by);              // by < 0 shrinks
Sdf sdf_outline(Sdf a, float half_width);   // a ring along a's edge
Sdf sdf_move(Sdf a, float dx, float dy);
// A jigsaw piece in the square (x0, y0) .. (x0 + size, y0 + size): a knob out on the
// right and top, a socket in on the left and bottom.
Sdf sdf_jigsaw(float x0, float y0, float size);

// How much the edge at (x, y) faces the light from the upper left, -1..1, from the
// shape's gradient.
float sdf_facing(const Sdf &s, float x, float y);

// Paints.
Paint paint_solid(Rgba c);
Paint paint_vertical(float y0, Rgba top, float y1, Rgba bottom);
Paint paint_radial(float cx, float cy, float r, Rgba inner, Rgba outer);
// A raised, rounded look: lit where the edge faces the upper left, shaded opposite,
// over `width` pixels inside the edge; the flat middle takes `base`.
Paint paint_bevel(Sdf s, Paint base, float width, float strength);

// A picture being painted: premultiplied RGBA floats at SKIN_SS x SKIN_SS per pixel.
struct Canvas {
    int w, h;  // pixels
    std::vector<float> px;
};
Canvas canvas_new(int w, int h);
// Covers the canvas with the shape, `opacity` times the paint's alpha at each sample.
void canvas_fill(Canvas &c, const Sdf &shape, const Paint &paint, float opacity = 1.0f);
// Straight colour transform of every sample.
void canvas_recolour(Canvas &c, Rgba (*fn)(Rgba));
// Box-filters the canvas into `dst` (format 19) at (x, y); the canvas must fit.
void canvas_store(const Canvas &c, Img *dst, int x, int y);

// Coverage at SKIN_SS x SKIN_SS per pixel, for soft shadows, glows and text.
struct Mask {
    int w, h;  // pixels
    std::vector<float> a;
};
Mask mask_new(int w, int h);
Mask mask_shape(int w, int h, const Sdf &shape);
// Text in the TrueType font at `font_path`, `size` pixels per em, its ink centred on
// (cx, cy); `spacing` pixels are added between letters. Fatal (mk_fail) when the font
// cannot be read.
Mask mask_text(int w, int h, const char *font_path, float size, const char *text, float cx, float cy,
               float spacing = 0.0f);
// Gaussian-like blur with standard deviation sigma pixels.
void mask_blur(Mask &m, float sigma);
// Grows the coverage by r pixels (a disc-shaped maximum).
void mask_dilate(Mask &m, float r);
// Paints `paint` through the mask moved by (dx, dy) pixels (rounded to samples).
void canvas_mask(Canvas &c, const Mask &m, const Paint &paint, float opacity = 1.0f, float dx = 0, float dy = 0);
// A soft dark shadow of the shape, moved by (dx, dy), blurred by sigma.
void canvas_shadow(Canvas &c, const Sdf &shape, float dx, float dy, float sigma, float opacity);
// A soft coloured glow around the shape (behind it when painted first).
void canvas_glow(Canvas &c, const Sdf &shape, float sigma, Rgba colour, float opacity);

// The palette of the look.
namespace skin_palette {
extern const Rgba ivory, ivory_shade, parchment, brass_light, brass, brass_dark, rim, rim_inner,
    teal_light, teal, teal_dark, walnut, ink, crimson, white, black;
}

// The artwork painters, each into its own rectangles of the skin tables.
void skin_paint_icons(Img *img, const MkData *mk, bool muted);  // icons 0..23 and 35..48
void skin_paint_trackbar(Img *img, bool muted);  // icons 24..29 and the track
// The title bar's brass strip across the canvas, its rounded ends at `left` and `right`
// (put an end beyond the canvas to leave that side open).
void skin_paint_bar(Canvas &c, float left, float right);
void skin_paint_logo(Canvas &c, const MkData *mk, bool lit);  // 96 x 40
void skin_write_extras(const MkData *mk);  // logo, connected sparkle, cursor, options mouse
// Writes an Img (format 19, unpadded, as img_create makes it) as pack entry `name`.
void skin_write_img(const MkData *mk, const char *name, Img *img);
// The DejaVu font file `file` in the generator's font folder.
const char *skin_font(const MkData *mk, const char *file);

}  // namespace skin_art
