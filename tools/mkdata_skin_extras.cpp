// The small pictures beside the skin: the corner logo, the sparkle of joined pieces, the
// game's pointing hand and the options dialog's force-feedback mouse.
#include <cmath>
#include <cstring>

#include "image/img.h"
#include "tools/mkdata.h"
#include "tools/mkdata_skin_paint.h"

namespace skin_art {

using namespace skin_palette;

static const float PI = 3.14159265f;

static Img *blank_picture(int w, int h)
{
    Img *img = img_create(w, h, IMG_BGRA);
    std::memset((uint8_t *)img + IMG_HEADER_SIZE, 0, (size_t)(img->colour_stride + img->second_stride) * h);
    return img;
}

static void write_canvas(const MkData *mk, const char *name, const Canvas &c)
{
    Img *img = blank_picture(c.w, c.h);
    canvas_store(c, img, 0, 0);
    skin_write_img(mk, name, img);
    img_free(img);
}

// A four-pointed glint: two thin diamonds crossed, `len` from the centre to each point.
static Sdf glint(float cx, float cy, float len, float width, float angle)
{
    Sdf star;
    for (int k = 0; k < 2; k++) {
        float a = angle + k * PI / 2, ca = std::cos(a), sa = std::sin(a);
        Sdf d = sdf_polygon({cx + ca * len, cy + sa * len, cx - sa * width, cy + ca * width,
                             cx - ca * len, cy - sa * len, cx + sa * width, cy - ca * width});
        star = k ? sdf_union(star, d) : d;
    }
    return star;
}

// Eight frames of 32 x 32: a glint flares, a ring of sparks flies out, and all fades.
static void write_connected(const MkData *mk)
{
    static const float strength[8] = {0.55f, 0.9f, 1.0f, 0.88f, 0.68f, 0.48f, 0.3f, 0.14f};
    Img *img = blank_picture(256, 32);
    for (int k = 0; k < 8; k++) {
        Canvas c = canvas_new(32, 32);
        float t = (k + 0.5f) / 8, s = strength[k];
        float spread = 4.0f + 10.5f * std::sqrt(t);
        // The warm core and a faint shock ring.
        canvas_fill(c, sdf_circle(16, 16, 3 + 6 * s), [=](float x, float y) {
            float r = std::hypot(x - 16, y - 16) / (3 + 6 * s);
            return with_alpha(mix(rgb(255, 250, 225), brass_light, r), (1 - r) * (1 - r) * s);
        });
        canvas_fill(c, sdf_outline(sdf_circle(16, 16, spread * 0.95f), 0.7f), paint_solid(with_alpha(teal_light, 0.35f * s)));
        // Sparks, alternately gold and teal, each a small glint turning as it flies.
        for (int i = 0; i < 8; i++) {
            float a = i * PI / 4 + PI / 8 + t * 0.6f;
            float r = spread * (i % 2 ? 0.8f : 1.0f);
            Rgba col = i % 2 ? teal_light : rgb(255, 232, 160);
            Sdf spark = glint(16 + r * std::cos(a), 16 + r * std::sin(a), 1.2f + 2.2f * s, 0.55f, a);
            canvas_glow(c, spark, 0.9f, col, 0.6f * s);
            canvas_fill(c, spark, paint_solid(with_alpha(mix(col, white, 0.5f), s)));
        }
        // The main glint, long while it flares and shrinking as it fades.
        float len = 5 + 9 * s;
        Sdf star = sdf_union(glint(16, 16, len, 1.0f + 0.4f * s, 0), glint(16, 16, len * 0.5f, 0.7f, PI / 4));
        canvas_glow(c, star, 1.4f, rgb(255, 226, 140), 0.8f * s);
        canvas_fill(c, star, paint_solid(with_alpha(white, 0.95f * s)));
        canvas_store(c, img, 32 * k, 0);
    }
    skin_write_img(mk, "img/connected.img", img);
    img_free(img);
}

// A gloved pointing hand; its hot spot is the tip of the index finger, (10, 1).
static void write_cursor(const MkData *mk)
{
    Canvas c = canvas_new(32, 32);
    Sdf index = sdf_segment(10, 4.2f, 10, 15, 2.7f);
    Sdf palm = sdf_box(7.3f, 12.5f, 24.6f, 26.5f, 4);
    Sdf middle = sdf_segment(14.9f, 13.6f, 14.9f, 16.5f, 2.4f);
    Sdf ring = sdf_segment(19.4f, 14.4f, 19.4f, 17.3f, 2.3f);
    Sdf little = sdf_segment(23.4f, 16.0f, 23.4f, 18.8f, 2.0f);
    Sdf thumb = sdf_segment(8.6f, 21.5f, 3.6f, 15.6f, 2.5f);
    Sdf hand = sdf_union(sdf_union(sdf_union(index, palm), sdf_union(middle, ring)), sdf_union(little, thumb));
    Sdf cuff = sdf_box(8.6f, 25, 23.6f, 30.5f, 1.6f);
    Sdf all = sdf_union(hand, cuff);
    canvas_shadow(c, sdf_grow(all, 1.0f), 1.6f, 1.8f, 1.1f, 0.55f);
    canvas_fill(c, sdf_grow(all, 1.0f), paint_solid(ink));
    canvas_fill(c, hand, paint_bevel(hand, paint_vertical(2, rgb(255, 252, 242), 26, ivory_shade), 2.2f, 0.45f));
    // Creases between the fingers.
    for (float x : {12.6f, 17.2f, 21.5f})
        canvas_fill(c, sdf_segment(x, 14.2f + (x - 12) * 0.25f, x, 16.6f + (x - 12) * 0.25f, 0.45f),
                    paint_solid(with_alpha(ink, 0.7f)));
    canvas_fill(c, sdf_segment(9.5f, 20.5f, 11.5f, 22.5f, 0.4f), paint_solid(with_alpha(ink, 0.5f)));
    canvas_fill(c, cuff, paint_bevel(cuff, paint_vertical(25, teal_light, 30.5f, teal_dark), 1.6f, 0.4f));
    canvas_fill(c, sdf_box(8.6f, 25, 23.6f, 26.2f, 0.5f), paint_solid(brass_light));
    write_canvas(mk, "img/cursor.img", c);
}

// The force-feedback mouse of the options dialog: a mouse with vibration arcs.
static void write_options_mouse(const MkData *mk)
{
    Canvas c = canvas_new(32, 32);
    Sdf body = sdf_box(9.5f, 7.5f, 22.5f, 28.5f, 6.2f);
    Sdf cable = sdf_polyline({16, 8, 16, 5, 17.5f, 3, 20, 2.2f, 23, 1.6f}, 0.75f);
    canvas_fill(c, sdf_grow(cable, 0.5f), paint_solid(with_alpha(ink, 0.8f)));
    canvas_fill(c, cable, paint_solid(walnut));
    canvas_shadow(c, body, 1.0f, 1.3f, 1.0f, 0.55f);
    canvas_fill(c, sdf_grow(body, 0.9f), paint_solid(ink));
    canvas_fill(c, body, paint_bevel(body, paint_vertical(8, ivory, 28, ivory_shade), 3.0f, 0.45f));
    // The two buttons and the wheel.
    canvas_fill(c, sdf_segment(9.8f, 15.2f, 22.2f, 15.2f, 0.45f), paint_solid(with_alpha(walnut, 0.8f)));
    canvas_fill(c, sdf_segment(16, 8, 16, 15.2f, 0.45f), paint_solid(with_alpha(walnut, 0.8f)));
    canvas_fill(c, sdf_box(15, 9.4f, 17, 13.4f, 1), paint_solid(teal));
    // The shake it gives, in teal on both sides.
    for (int side = -1; side <= 1; side += 2)
        for (int k = 0; k < 2; k++) {
            float r = 10.5f + 3.4f * k;
            float a0 = side < 0 ? PI - 0.45f : -0.45f, a1 = a0 + 0.9f;
            Sdf arc = sdf_arc(16, 17.5f, r, a0, a1, 0.8f);
            canvas_fill(c, arc, paint_solid(with_alpha(k ? teal_light : teal, k ? 0.8f : 1.0f)));
        }
    write_canvas(mk, "img/options_mouse.img", c);
}

void skin_write_extras(const MkData *mk)
{
    Canvas logo = canvas_new(96, 40);
    skin_paint_logo(logo, mk, false);
    write_canvas(mk, "img/lttl_pzzl.img", logo);
    write_connected(mk);
    write_cursor(mk);
    write_options_mouse(mk);
}

}  // namespace skin_art
