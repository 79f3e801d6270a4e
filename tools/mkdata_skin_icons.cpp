// The skin's icons: check and radio boxes, zoom and title-bar boxes, the trackbar, the
// store room's marks, the present, the cross-hair, the dialog buttons and the logo.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "image/img.h"
#include "tools/mkdata.h"
#include "tools/mkdata_skin_paint.h"
#include "ui/skin.h"

namespace skin_art {

using namespace skin_palette;

static const float PI = 3.14159265f;

// Paints one icon (plain at `number`, lit at number + 1 when `pair`) through `draw`.
template <typename Draw>
static void icon(Img *img, bool muted, int number, bool pair, Draw draw)
{
    for (int lit = 0; lit <= (pair ? 1 : 0); lit++) {
        const SkinRect &r = skin_icon_rects[number + lit];
        Canvas c = canvas_new(r.w, r.h);
        draw(c, lit != 0);
        if (muted)
            canvas_recolour(c, mute);
        canvas_store(c, img, r.x, r.y);
    }
}

// A raised face: brass, or teal when lit, lit from the upper left.
static Paint face_paint(const Sdf &shape, float cx, float cy, float r, bool lit)
{
    Paint base = lit ? paint_radial(cx - r * 0.45f, cy - r * 0.5f, r * 1.9f, teal_light, teal_dark)
                     : paint_radial(cx - r * 0.45f, cy - r * 0.5f, r * 1.9f, brass_light, brass_dark);
    return paint_bevel(shape, base, std::max(1.5f, r * 0.35f), 0.45f);
}

// A raised button of any outline: a soft shadow, a dark rim, then the face.
static void raised(Canvas &c, const Sdf &shape, float cx, float cy, float r, bool lit, float shadow = 0.5f)
{
    if (shadow > 0)
        canvas_shadow(c, shape, 0.5f, 0.9f, 0.9f, shadow);
    canvas_fill(c, shape, paint_solid(rim));
    Sdf face = sdf_grow(shape, -1.0f);
    canvas_fill(c, face, face_paint(face, cx, cy, r, lit));
}

// A well sunk into the panel: ivory, shaded under its upper edge.
static void sunken(Canvas &c, const Sdf &shape)
{
    canvas_fill(c, sdf_grow(shape, 0.6f), paint_solid(with_alpha(rim_inner, 0.85f)));
    canvas_fill(c, shape, paint_bevel(shape, paint_vertical(2, ivory_shade, 16, ivory), 2.5f, -0.35f));
}

// A symbol stroke with a faint shadow; lit symbols are ivory on teal.
static void symbol(Canvas &c, const Sdf &shape, bool lit)
{
    canvas_shadow(c, shape, 0.4f, 0.6f, 0.5f, lit ? 0.55f : 0.25f);
    canvas_fill(c, shape, paint_solid(lit ? ivory : ink));
}

// --- toolkit icons ---

static void paint_radio(Canvas &c, bool on)
{
    Sdf ring = sdf_circle(9, 9, 7.2f);
    raised(c, ring, 9, 9, 7.2f, false, 0.4f);
    sunken(c, sdf_circle(9, 9, 5.0f));
    if (on) {
        Sdf dot = sdf_circle(9, 9, 3.0f);
        canvas_shadow(c, dot, 0.4f, 0.6f, 0.6f, 0.5f);
        canvas_fill(c, dot, face_paint(dot, 9, 9, 3, true));
    }
}

static void paint_check(Canvas &c, bool on)
{
    Sdf box = sdf_box(1.8f, 1.8f, 16.2f, 16.2f, 3);
    raised(c, box, 9, 9, 7.2f, false, 0.4f);
    sunken(c, sdf_box(4, 4, 14, 14, 1.5f));
    if (on) {
        Sdf tick = sdf_polyline({5.2f, 9.0f, 8.0f, 12.2f, 14.6f, 3.6f}, 1.35f);
        canvas_shadow(c, tick, 0.5f, 0.8f, 0.7f, 0.45f);
        canvas_fill(c, tick, paint_vertical(4, teal, 13, teal_dark));
    }
}

// Zoom z shows a picture frame that grows with z.
static void paint_zoom(Canvas &c, int z, bool lit)
{
    Sdf face = sdf_box(1.5f, 1.5f, 16.5f, 16.5f, 3.5f);
    raised(c, face, 9, 9, 7.5f, lit, 0.45f);
    float w = 4.0f + 2.0f * z, h = std::round(w * 0.75f);
    float x0 = 9 - w / 2, y0 = 9 - h / 2;
    Sdf picture = sdf_box(x0, y0, x0 + w, y0 + h, 0.6f);
    canvas_fill(c, picture, paint_solid(with_alpha(lit ? teal_dark : ivory, 0.85f)));
    Sdf hill = sdf_intersect(sdf_circle(x0 + w * 0.65f, y0 + h * 1.25f, h * 0.75f), picture);
    canvas_fill(c, hill, paint_solid(with_alpha(lit ? teal_light : teal, 0.9f)));
    symbol(c, sdf_outline(picture, 0.55f), lit);
}

// A round box carrying a letter: help (?) and information (i).
static void paint_letter_box(Canvas &c, const char *font, const char *letter, bool lit)
{
    Sdf face = sdf_circle(9, 9, 7.6f);
    raised(c, face, 9, 9, 7.6f, lit, 0.45f);
    Mask m = mask_text(c.w, c.h, font, 11.5f, letter, 9, 9);
    canvas_mask(c, m, paint_solid(rgb(20, 10, 0)), lit ? 0.5f : 0.25f, 0.4f, 0.6f);
    canvas_mask(c, m, paint_solid(lit ? ivory : ink));
}

// The title-bar boxes stand on the bar itself: a segment of it with a round button.
static void paint_bar_box(Canvas &c, int kind, bool lit)
{
    // The close box ends the bar with its rounded cap.
    skin_paint_bar(c, -100, kind == 2 ? 18.0f : 118.0f);
    Sdf button = sdf_circle(kind == 2 ? 8.5f : 9, 9, 6.3f);
    float cx = kind == 2 ? 8.5f : 9;
    raised(c, button, cx, 9, 6.3f, lit, 0.35f);
    Sdf mark;
    if (kind == 0)  // expand: open downwards
        mark = sdf_polyline({cx - 3.2f, 7.6f, cx, 10.8f, cx + 3.2f, 7.6f}, 1.05f);
    else if (kind == 1)  // collapse: roll up into the bar
        mark = sdf_polyline({cx - 3.2f, 10.6f, cx, 7.4f, cx + 3.2f, 10.6f}, 1.05f);
    else
        mark = sdf_union(sdf_segment(cx - 2.7f, 6.3f, cx + 2.7f, 11.7f, 1.05f),
                         sdf_segment(cx + 2.7f, 6.3f, cx - 2.7f, 11.7f, 1.05f));
    symbol(c, mark, lit);
}

// --- trackbar ---

static void paint_arrow(Canvas &c, bool right, bool lit)
{
    Sdf face = sdf_circle(12, 12, 9.5f);
    raised(c, face, 12, 12, 9.5f, lit, 0.55f);
    float s = right ? 1.0f : -1.0f;
    Sdf tri = sdf_grow(sdf_polygon({12 + 4.2f * s, 12, 12 - 2.6f * s, 7.6f, 12 - 2.6f * s, 16.4f}), 0.6f);
    symbol(c, tri, lit);
}

static void paint_thumb(Canvas &c, bool lit)
{
    Sdf knob = sdf_box(3, 2.5f, 15, 21.5f, 3.5f);
    raised(c, knob, 9, 12, 7, lit, 0.6f);
    for (float x : {6.5f, 9.0f, 11.5f}) {
        canvas_fill(c, sdf_segment(x, 8, x, 16, 0.5f), paint_solid(with_alpha(lit ? teal_dark : brass_dark, 0.9f)));
        canvas_fill(c, sdf_segment(x + 0.9f, 8.3f, x + 0.9f, 16.3f, 0.4f), paint_solid(with_alpha(white, 0.5f)));
    }
}

// The groove the thumb runs in, rounded at the two ends.
static void paint_track(Canvas &c, float left, float right)
{
    Sdf groove = sdf_box(left, 9.5f, right, 14.5f, 2.5f);
    // A light lip below the groove, a shaded wall inside its upper edge.
    canvas_fill(c, sdf_move(groove, 0, 1.0f), paint_solid(with_alpha(white, 0.55f)));
    canvas_fill(c, sdf_grow(groove, 0.5f), paint_solid(rim));
    canvas_fill(c, groove, paint_bevel(groove, paint_vertical(9.5f, walnut, 14.5f, rgb(150, 108, 60)), 2.5f, -0.5f));
}

void skin_paint_trackbar(Img *img, bool muted)
{
    icon(img, muted, 24, true, [](Canvas &c, bool lit) { paint_arrow(c, false, lit); });
    icon(img, muted, 26, true, [](Canvas &c, bool lit) { paint_arrow(c, true, lit); });
    icon(img, muted, 28, true, [](Canvas &c, bool lit) { paint_thumb(c, lit); });
    for (int k = 0; k < 3; k++) {
        const SkinRect &r = skin_track_rects[k];
        Canvas c = canvas_new(r.w, r.h);
        paint_track(c, k == 0 ? 3.0f : -100.0f, k == 2 ? 9.0f : 112.0f);
        if (muted)
            canvas_recolour(c, mute);
        canvas_store(c, img, r.x, r.y);
    }
}

// --- store room marks ---

// A jigsaw piece in ivory with a dark edge, as the shelf shows beside a piece count.
static void paint_piece_count(Canvas &c, bool turned)
{
    Sdf piece = turned ? sdf_jigsaw(2.2f, 5.2f, 9.0f) : sdf_jigsaw(3.0f, 4.6f, 10.5f);
    canvas_shadow(c, piece, 0.8f, 1.0f, 0.8f, 0.6f);
    canvas_fill(c, sdf_grow(piece, 0.9f), paint_solid(ink));
    canvas_fill(c, piece, paint_bevel(piece, paint_vertical(3, ivory, 16, ivory_shade), 2.0f, 0.5f));
    if (turned) {
        // A turning arrow around the lower right.
        Sdf arc = sdf_arc(12.2f, 12.2f, 3.9f, -2.4f, 1.6f, 0.95f);
        Sdf head = sdf_polygon({9.6f, 7.4f, 13.4f, 6.2f, 12.2f, 10.0f});
        Sdf arrow = sdf_union(arc, head);
        canvas_fill(c, sdf_grow(arrow, 1.0f), paint_solid(ivory));
        canvas_fill(c, arrow, paint_solid(teal));
    }
}

// A round brass medal: teal with a tick when finished, a clock face when under way.
static void paint_medal(Canvas &c, bool finished)
{
    Sdf ring = sdf_circle(15, 15, 12.2f);
    raised(c, ring, 15, 15, 12.2f, false, 0.7f);
    Sdf inner = sdf_circle(15, 15, 9.2f);
    canvas_fill(c, sdf_grow(inner, 0.8f), paint_solid(rim));
    if (finished) {
        canvas_fill(c, inner, paint_bevel(inner, paint_radial(12, 11, 14, teal_light, teal_dark), 3, -0.3f));
        Sdf tick = sdf_polyline({10.2f, 15.2f, 13.6f, 18.8f, 20.2f, 10.6f}, 1.8f);
        canvas_shadow(c, tick, 0.6f, 0.9f, 0.8f, 0.6f);
        canvas_fill(c, tick, paint_solid(ivory));
        return;
    }
    canvas_fill(c, inner, paint_bevel(inner, paint_vertical(6, ivory, 24, ivory_shade), 3, -0.35f));
    // The done share swept clockwise from twelve o'clock, as the shelf darkens previews.
    std::vector<float> pie = {15, 15};
    for (int a = 0; a <= 150; a += 5) {
        float t = (90 - a) * PI / 180;
        pie.push_back(15 + 7.6f * std::cos(t));
        pie.push_back(15 - 7.6f * std::sin(t));
    }
    canvas_fill(c, sdf_polygon(pie), paint_solid(with_alpha(teal, 0.85f)));
    float t = (90 - 150) * PI / 180;
    Sdf hands = sdf_union(sdf_segment(15, 15, 15, 8.2f, 0.85f),
                          sdf_segment(15, 15, 15 + 6.6f * std::cos(t), 15 - 6.6f * std::sin(t), 0.85f));
    canvas_fill(c, hands, paint_solid(ink));
    canvas_fill(c, sdf_circle(15, 15, 1.6f), paint_solid(brass_dark));
}

static std::vector<float> ellipse_points(float cx, float cy, float rx, float ry, float angle)
{
    std::vector<float> p;
    for (int k = 0; k < 48; k++) {
        float t = k * 2 * PI / 48;
        float x = rx * std::cos(t), y = ry * std::sin(t);
        p.push_back(cx + x * std::cos(angle) - y * std::sin(angle));
        p.push_back(cy + x * std::sin(angle) + y * std::cos(angle));
    }
    return p;
}

// A present wrapped in teal paper with ivory dots, a crimson ribbon and bow.
static void paint_present(Canvas &c)
{
    Sdf body = sdf_box(11, 27, 53, 58, 1.5f);
    Sdf lid = sdf_box(8, 19, 56, 29, 2);
    Sdf box = sdf_union(body, lid);
    canvas_shadow(c, box, 2.0f, 2.5f, 2.2f, 0.6f);
    auto paper = [](float y0, float y1, float light) {
        return [=](float x, float y) {
            Rgba col = lighten(mix(rgb(34, 142, 136), teal_dark, (y - y0) / (y1 - y0)), light);
            // Dots on a diagonal lattice.
            float u = x / 6.0f + y / 12.0f, v = y / 6.0f - x / 12.0f;
            float du = u - std::round(u), dv = v - std::round(v);
            if (du * du + dv * dv < 0.045f)
                col = mix(col, ivory, 0.75f);
            return col;
        };
    };
    canvas_fill(c, sdf_grow(body, 0.8f), paint_solid(teal_dark));
    canvas_fill(c, body, paint_bevel(body, paper(27, 58, 0), 2.5f, 0.35f));
    // The lid throws a shadow on the body.
    canvas_fill(c, sdf_intersect(body, sdf_box(0, 28, 64, 31.5f, 0)), paint_solid(with_alpha(black, 0.25f)));
    canvas_fill(c, sdf_grow(lid, 0.8f), paint_solid(teal_dark));
    canvas_fill(c, lid, paint_bevel(lid, paper(19, 29, 0.12f), 2.5f, 0.45f));
    Paint ribbon = [](float x, float) {
        float u = std::fabs(x - 32) / 4.5f;
        return lighten(crimson, 0.35f * (1 - u * u) - 0.1f);
    };
    Sdf band = sdf_union(sdf_box(27.5f, 19, 36.5f, 58, 0), sdf_box(11, 40, 53, 46, 0));
    canvas_fill(c, sdf_intersect(sdf_grow(band, 0.6f), box), paint_solid(rgb(96, 22, 16)));
    canvas_fill(c, sdf_intersect(sdf_box(27.5f, 19, 36.5f, 58, 0), box), ribbon);
    canvas_fill(c, sdf_intersect(sdf_box(11, 40, 53, 46, 0), sdf_subtract(body, sdf_box(27.5f, 0, 36.5f, 64, 0))),
                paint_vertical(40, lighten(crimson, 0.2f), 46, lighten(crimson, -0.2f)));
    // The bow: two loops and a knot.
    Paint bow = paint_radial(26, 8, 22, lighten(crimson, 0.35f), lighten(crimson, -0.35f));
    for (int side = -1; side <= 1; side += 2) {
        Sdf loop = sdf_subtract(sdf_polygon(ellipse_points(32 + side * 9.5f, 13, 10, 6, side * 0.42f)),
                                sdf_polygon(ellipse_points(32 + side * 10.0f, 13.2f, 5.6f, 2.4f, side * 0.42f)));
        Sdf tail = sdf_polygon({32, 19, 32 + side * 8.0f, 27, 32 + side * 4.5f, 28.5f, 32 + side * 1.0f, 21});
        canvas_shadow(c, loop, 0.8f, 1.2f, 1.0f, 0.45f);
        canvas_fill(c, sdf_grow(tail, 0.6f), paint_solid(rgb(96, 22, 16)));
        canvas_fill(c, tail, bow);
        canvas_fill(c, sdf_grow(loop, 0.6f), paint_solid(rgb(96, 22, 16)));
        canvas_fill(c, loop, paint_bevel(loop, bow, 2.0f, 0.4f));
    }
    Sdf knot = sdf_box(28.5f, 13.5f, 35.5f, 21.5f, 2.5f);
    canvas_fill(c, sdf_grow(knot, 0.6f), paint_solid(rgb(96, 22, 16)));
    canvas_fill(c, knot, paint_bevel(knot, bow, 2.0f, 0.5f));
}

static void paint_crosshair(Canvas &c)
{
    Sdf ring = sdf_outline(sdf_circle(12.5f, 12.5f, 7.0f), 0.75f);
    Sdf ticks = sdf_union(sdf_union(sdf_segment(12.5f, 1.8f, 12.5f, 8.0f, 0.75f), sdf_segment(12.5f, 17.0f, 12.5f, 23.2f, 0.75f)),
                          sdf_union(sdf_segment(1.8f, 12.5f, 8.0f, 12.5f, 0.75f), sdf_segment(17.0f, 12.5f, 23.2f, 12.5f, 0.75f)));
    Sdf all = sdf_union(sdf_union(ring, ticks), sdf_circle(12.5f, 12.5f, 1.1f));
    // A dark halo keeps it visible on light walls and dark floors alike.
    canvas_fill(c, sdf_grow(all, 1.0f), paint_solid(with_alpha(ink, 0.7f)));
    canvas_fill(c, all, paint_solid(ivory));
    canvas_fill(c, sdf_circle(12.5f, 12.5f, 1.1f), paint_solid(teal_light));
}

// The dialog buttons' marks: a tick for OK, a cross for Cancel, a question mark for Help.
static void paint_dialog_mark(Canvas &c, const MkData *mk, int kind, bool lit)
{
    Rgba colour = kind == 0 ? (lit ? teal_light : teal) : kind == 1 ? (lit ? rgb(214, 74, 56) : crimson)
                                                                     : (lit ? teal_light : walnut);
    Mask m = mask_new(c.w, c.h);
    if (kind == 2) {
        m = mask_text(c.w, c.h, skin_font(mk, "DejaVuSans-Bold.ttf"), 20, "?", 15, 10);
    } else {
        Sdf mark = kind == 0 ? sdf_polyline({8.5f, 10.5f, 13.0f, 15.0f, 21.5f, 4.8f}, 2.0f)
                             : sdf_union(sdf_segment(10.5f, 4.8f, 19.5f, 15.2f, 1.9f), sdf_segment(19.5f, 4.8f, 10.5f, 15.2f, 1.9f));
        m = mask_shape(c.w, c.h, mark);
    }
    if (lit) {
        Mask glow = m;
        mask_dilate(glow, 1.0f);
        mask_blur(glow, 1.8f);
        canvas_mask(c, glow, paint_solid(teal_light), 0.8f);
    }
    Mask edge = m;
    mask_dilate(edge, 0.9f);
    Mask shade = edge;
    mask_blur(shade, 0.8f);
    canvas_mask(c, shade, paint_solid(black), 0.4f, 0.6f, 0.9f);
    canvas_mask(c, edge, paint_solid(lit ? ivory : rgb(252, 246, 230)));
    canvas_mask(c, m, paint_vertical(3, lighten(colour, 0.25f), 17, lighten(colour, -0.25f)));
}

// A teal plaque hanging from the top edge with a brass rim, the name in brass letters
// and an ivory piece; lit, the plaque brightens and glows.
void skin_paint_logo(Canvas &c, const MkData *mk, bool lit)
{
    Sdf plaque = sdf_box(1.5f, -12, 94.5f, 35, 8);
    canvas_shadow(c, plaque, 1.0f, 1.8f, 1.3f, 0.6f);
    if (lit)
        canvas_glow(c, sdf_grow(plaque, 0.5f), 1.6f, teal_light, 1.0f);
    canvas_fill(c, plaque, paint_solid(rim));
    Sdf band = sdf_grow(plaque, -1.0f);
    canvas_fill(c, band, paint_bevel(band, paint_vertical(0, brass_light, 35, brass), 2, 0.5f));
    Sdf field = sdf_grow(plaque, -4.0f);
    canvas_fill(c, sdf_grow(field, 0.7f), paint_solid(rim));
    Rgba top = lit ? rgb(48, 166, 156) : rgb(26, 120, 116), bottom = lit ? rgb(16, 92, 92) : teal_dark;
    canvas_fill(c, field, paint_bevel(field, paint_vertical(0, top, 32, bottom), 3, -0.4f));

    Sdf piece = sdf_jigsaw(9, 12.5f, 10);
    Mask text = mask_text(c.w, c.h, skin_font(mk, "DejaVuSerif-Bold.ttf"), 14, "Pelmora", 56.5f, 17, 0.1f);
    Mask both = mask_shape(c.w, c.h, piece);
    for (size_t k = 0; k < both.a.size(); k++)
        both.a[k] = std::max(both.a[k], text.a[k]);
    Mask edge = both;
    mask_dilate(edge, 0.9f);
    Mask shade = edge;
    mask_blur(shade, 1.0f);
    canvas_mask(c, shade, paint_solid(black), 0.6f, 0.8f, 1.2f);
    canvas_mask(c, edge, paint_solid(rim));
    Rgba light = lit ? rgb(255, 244, 200) : brass_light, dark = lit ? rgb(226, 176, 92) : rgb(176, 128, 54);
    canvas_mask(c, text, [=](float, float y) {
        Rgba col = mix(light, dark, (y - 11) / 13);
        // A bright band across the upper strokes, as on polished brass.
        return y > 12.5f && y < 14.5f ? lighten(col, 0.35f) : col;
    });
    canvas_fill(c, piece, paint_bevel(piece, paint_vertical(10, ivory, 24, ivory_shade), 2.5f, 0.5f));
}

void skin_paint_icons(Img *img, const MkData *mk, bool muted)
{
    icon(img, muted, 0, true, [](Canvas &c, bool on) { paint_radio(c, on); });
    icon(img, muted, 2, true, [](Canvas &c, bool on) { paint_check(c, on); });
    for (int z = 0; z < 5; z++)
        icon(img, muted, 4 + 2 * z, true, [z](Canvas &c, bool lit) { paint_zoom(c, z, lit); });
    // skin_font reuses its buffer, so each name is copied before the next is asked.
    std::string sans_path = skin_font(mk, "DejaVuSans-Bold.ttf");
    std::string serif_path = skin_font(mk, "DejaVuSerif-Bold.ttf");
    icon(img, muted, 14, true, [&](Canvas &c, bool lit) { paint_letter_box(c, sans_path.c_str(), "?", lit); });
    icon(img, muted, 16, true, [&](Canvas &c, bool lit) { paint_letter_box(c, serif_path.c_str(), "i", lit); });
    icon(img, muted, 18, true, [](Canvas &c, bool lit) { paint_bar_box(c, 0, lit); });
    icon(img, muted, 20, true, [](Canvas &c, bool lit) { paint_bar_box(c, 1, lit); });
    icon(img, muted, 22, true, [](Canvas &c, bool lit) { paint_bar_box(c, 2, lit); });
    icon(img, muted, 35, false, [](Canvas &c, bool) { paint_piece_count(c, false); });
    icon(img, muted, 36, false, [](Canvas &c, bool) { paint_piece_count(c, true); });
    icon(img, muted, 37, false, [](Canvas &c, bool) { paint_medal(c, true); });
    icon(img, muted, 38, false, [](Canvas &c, bool) { paint_medal(c, false); });
    icon(img, muted, 39, false, [](Canvas &c, bool) { paint_present(c); });
    icon(img, muted, 40, false, [](Canvas &c, bool) { paint_crosshair(c); });
    icon(img, muted, 41, true, [&](Canvas &c, bool lit) { paint_dialog_mark(c, mk, 2, lit); });
    icon(img, muted, 43, true, [&](Canvas &c, bool lit) { paint_dialog_mark(c, mk, 1, lit); });
    icon(img, muted, 45, true, [&](Canvas &c, bool lit) { paint_dialog_mark(c, mk, 0, lit); });
    icon(img, muted, 47, true, [&](Canvas &c, bool lit) { skin_paint_logo(c, mk, lit); });
}

}  // namespace skin_art
