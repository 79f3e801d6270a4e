// Anti-aliased painting for the generated skin artwork (see mkdata_skin_paint.h).
#include "tools/mkdata_skin_paint.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>


#include "image/img.h"
#include "image/imgfile.h"
#include "tools/mkdata.h"

namespace skin_art {

static float clampf(float v, float lo, float hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}

Rgba rgb(int r, int g, int b, float a)
{
    return {r / 255.0f, g / 255.0f, b / 255.0f, a};
}

Rgba mix(Rgba x, Rgba y, float t)
{
    t = clampf(t, 0, 1);
    return {x.r + (y.r - x.r) * t, x.g + (y.g - x.g) * t, x.b + (y.b - x.b) * t, x.a + (y.a - x.a) * t};
}

Rgba lighten(Rgba c, float k)
{
    Rgba to = k > 0 ? Rgba{1, 1, 1, c.a} : Rgba{0, 0, 0, c.a};
    return mix(c, to, std::fabs(k));
}

Rgba with_alpha(Rgba c, float a)
{
    c.a = a;
    return c;
}

Rgba mute(Rgba c)
{
    float l = 0.30f * c.r + 0.59f * c.g + 0.11f * c.b;
    Rgba grey = {l * 1.02f, l, l * 0.95f, c.a};
    Rgba m = mix(c, grey, 0.72f);
    return {m.r * 0.93f, m.g * 0.93f, m.b * 0.93f, c.a};
}

namespace skin_palette {
const Rgba ivory = rgb(248, 241, 223), ivory_shade = rgb(226, 211, 180), parchment = rgb(241, 229, 202),
           brass_light = rgb(250, 226, 156), brass = rgb(201, 157, 76), brass_dark = rgb(126, 88, 36),
           rim = rgb(64, 40, 17), rim_inner = rgb(122, 86, 42), teal_light = rgb(88, 196, 182),
           teal = rgb(22, 122, 118), teal_dark = rgb(9, 64, 66), walnut = rgb(98, 60, 30),
           ink = rgb(56, 34, 16), crimson = rgb(164, 46, 34), white = rgb(255, 255, 255),
           black = rgb(0, 0, 0);
}

// --- shapes ---

Sdf sdf_circle(float cx, float cy, float r)
{
    return [=](float x, float y) { return std::hypot(x - cx, y - cy) - r; };
}

Sdf sdf_ellipse(float cx, float cy, float rx, float ry)
{
    return [=](float x, float y) {
        float px = (x - cx) / rx, py = (y - cy) / ry;
        float k0 = std::hypot(px, py);
        float k1 = std::hypot(px / rx, py / ry);
        if (k1 < 1e-6f)
            return -std::min(rx, ry);
        return k0 * (k0 - 1.0f) / k1;
    };
}

Sdf sdf_box(float x0, float y0, float x1, float y1, float radius)
{
    float cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
    float bx = (x1 - x0) / 2 - radius, by = (y1 - y0) / 2 - radius;
    return [=](float x, float y) {
        float qx = std::fabs(x - cx) - bx, qy = std::fabs(y - cy) - by;
        float outside = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
        return outside + std::min(std::max(qx, qy), 0.0f) - radius;
    };
}

static float segment_distance(float x, float y, float ax, float ay, float bx, float by)
{
    float px = x - ax, py = y - ay, dx = bx - ax, dy = by - ay;
    float len2 = dx * dx + dy * dy;
    float t = len2 > 0 ? clampf((px * dx + py * dy) / len2, 0, 1) : 0;
    return std::hypot(px - dx * t, py - dy * t);
}

Sdf sdf_segment(float ax, float ay, float bx, float by, float half_width)
{
    return [=](float x, float y) { return segment_distance(x, y, ax, ay, bx, by) - half_width; };
}

Sdf sdf_polygon(std::vector<float> pts)
{
    return [pts](float x, float y) {
        size_t n = pts.size() / 2;
        float d = 1e9f;
        bool inside = false;
        for (size_t i = 0, j = n - 1; i < n; j = i++) {
            float xi = pts[2 * i], yi = pts[2 * i + 1], xj = pts[2 * j], yj = pts[2 * j + 1];
            d = std::min(d, segment_distance(x, y, xj, yj, xi, yi));
            if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi)
                inside = !inside;
        }
        return inside ? -d : d;
    };
}

Sdf sdf_polyline(std::vector<float> pts, float half_width)
{
    return [pts, half_width](float x, float y) {
        float d = 1e9f;
        for (size_t i = 2; i + 1 < pts.size(); i += 2)
            d = std::min(d, segment_distance(x, y, pts[i - 2], pts[i - 1], pts[i], pts[i + 1]));
        return d - half_width;
    };
}

Sdf sdf_arc(float cx, float cy, float r, float a0, float a1, float half_width)
{
    const float two_pi = 6.2831853f;
    return [=](float x, float y) {
        float a = std::atan2(-(y - cy), x - cx);
        float span = std::fmod(a1 - a0 + 2 * two_pi, two_pi);
        float rel = std::fmod(a - a0 + 2 * two_pi, two_pi);
        if (rel <= span)
            return std::fabs(std::hypot(x - cx, y - cy) - r) - half_width;
        float e0 = std::hypot(x - (cx + r * std::cos(a0)), y - (cy - r * std::sin(a0)));
        float e1 = std::hypot(x - (cx + r * std::cos(a1)), y - (cy - r * std::sin(a1)));
        return std::min(e0, e1) - half_width;
    };
}

Sdf sdf_union(Sdf a, Sdf b)
{
    return [a, b](float x, float y) { return std::min(a(x, y), b(x, y)); };
}

Sdf sdf_intersect(Sdf a, Sdf b)
{
    return [a, b](float x, float y) { return std::max(a(x, y), b(x, y)); };
}

Sdf sdf_subtract(Sdf a, Sdf b)
{
    return [a, b](float x, float y) { return std::max(a(x, y), -b(x, y)); };
}

Sdf sdf_grow(Sdf a, float by)
{
    return [a, by](float x, float y) { return a(x, y) - by; };
}

Sdf sdf_outline(Sdf a, float half_width)
{
    return [a, half_width](float x, float y) { return std::fabs(a(x, y)) - half_width; };
}

Sdf sdf_move(Sdf a, float dx, float dy)
{
    return [a, dx, dy](float x, float y) { return a(x - dx, y - dy); };
}

Sdf sdf_jigsaw(float x0, float y0, float s)
{
    float r = s * 0.17f, mid = s / 2;
    Sdf body = sdf_box(x0, y0, x0 + s, y0 + s, s * 0.07f);
    // Knobs stand out on the right and top, sockets bite into the left and bottom.
    Sdf knob_right = sdf_union(sdf_circle(x0 + s + r * 0.75f, y0 + mid, r),
                               sdf_box(x0 + s - 1, y0 + mid - r * 0.55f, x0 + s + r * 0.5f, y0 + mid + r * 0.55f, 0));
    Sdf knob_top = sdf_union(sdf_circle(x0 + mid, y0 - r * 0.75f, r),
                             sdf_box(x0 + mid - r * 0.55f, y0 - r * 0.5f, x0 + mid + r * 0.55f, y0 + 1, 0));
    Sdf socket_left = sdf_union(sdf_circle(x0 + r * 0.75f, y0 + mid, r),
                                sdf_box(x0 - 1, y0 + mid - r * 0.55f, x0 + r * 0.5f, y0 + mid + r * 0.55f, 0));
    Sdf socket_bottom = sdf_union(sdf_circle(x0 + mid, y0 + s - r * 0.75f, r),
                                  sdf_box(x0 + mid - r * 0.55f, y0 + s - r * 0.5f, x0 + mid + r * 0.55f, y0 + s + 1, 0));
    Sdf piece = sdf_union(sdf_union(body, knob_right), knob_top);
    return sdf_subtract(sdf_subtract(piece, socket_left), socket_bottom);
}

float sdf_facing(const Sdf &s, float x, float y)
{
    const float h = 0.25f;
    float gx = s(x + h, y) - s(x - h, y), gy = s(x, y + h) - s(x, y - h);
    float len = std::hypot(gx, gy);
    if (len < 1e-6f)
        return 0;
    // The light comes from the upper left, a little more from above.
    return (gx * -0.55f + gy * -0.835f) / len;
}

// --- paints ---

Paint paint_solid(Rgba c)
{
    return [c](float, float) { return c; };
}

Paint paint_vertical(float y0, Rgba top, float y1, Rgba bottom)
{
    return [=](float, float y) { return mix(top, bottom, (y - y0) / (y1 - y0)); };
}

Paint paint_radial(float cx, float cy, float r, Rgba inner, Rgba outer)
{
    return [=](float x, float y) { return mix(inner, outer, std::hypot(x - cx, y - cy) / r); };
}

Paint paint_bevel(Sdf s, Paint base, float width, float strength)
{
    return [=](float x, float y) {
        Rgba c = base(x, y);
        float edge = 1.0f - clampf(-s(x, y) / width, 0, 1);
        if (edge <= 0)
            return c;
        return lighten(c, strength * sdf_facing(s, x, y) * edge);
    };
}

// --- canvas ---

Canvas canvas_new(int w, int h)
{
    return {w, h, std::vector<float>((size_t)w * h * SKIN_SS * SKIN_SS * 4, 0.0f)};
}

static void blend_sample(float *p, Rgba c, float a)
{
    p[0] = c.r * a + p[0] * (1 - a);
    p[1] = c.g * a + p[1] * (1 - a);
    p[2] = c.b * a + p[2] * (1 - a);
    p[3] = a + p[3] * (1 - a);
}

void canvas_fill(Canvas &c, const Sdf &shape, const Paint &paint, float opacity)
{
    int sw = c.w * SKIN_SS, sh = c.h * SKIN_SS;
    for (int j = 0; j < sh; j++)
        for (int i = 0; i < sw; i++) {
            float x = (i + 0.5f) / SKIN_SS, y = (j + 0.5f) / SKIN_SS;
            float cover = clampf(0.5f - shape(x, y) * SKIN_SS, 0, 1);
            if (cover <= 0)
                continue;
            Rgba col = paint(x, y);
            float a = clampf(col.a * cover * opacity, 0, 1);
            if (a > 0)
                blend_sample(&c.px[((size_t)j * sw + i) * 4], col, a);
        }
}

void canvas_recolour(Canvas &c, Rgba (*fn)(Rgba))
{
    for (size_t k = 0; k < c.px.size(); k += 4) {
        float *p = &c.px[k];
        if (p[3] <= 0)
            continue;
        Rgba s = fn({p[0] / p[3], p[1] / p[3], p[2] / p[3], p[3]});
        p[0] = clampf(s.r, 0, 1) * p[3];
        p[1] = clampf(s.g, 0, 1) * p[3];
        p[2] = clampf(s.b, 0, 1) * p[3];
    }
}

void canvas_store(const Canvas &c, Img *dst, int x, int y)
{
    if (x < 0 || y < 0 || x + c.w > dst->width || y + c.h > dst->height || dst->format != IMG_BGRA)
        mk_fail("canvas_store: %i x %i at (%i, %i) does not fit", c.w, c.h, x, y);
    uint8_t *base = (uint8_t *)dst;
    int sw = c.w * SKIN_SS;
    for (int py = 0; py < c.h; py++)
        for (int px = 0; px < c.w; px++) {
            float sum[4] = {0, 0, 0, 0};
            for (int j = 0; j < SKIN_SS; j++)
                for (int i = 0; i < SKIN_SS; i++) {
                    const float *p = &c.px[((size_t)(py * SKIN_SS + j) * sw + px * SKIN_SS + i) * 4];
                    for (int k = 0; k < 4; k++)
                        sum[k] += p[k];
                }
            float n = SKIN_SS * SKIN_SS;
            int a = (int)std::lround(clampf(sum[3] / n, 0, 1) * 255);
            uint8_t *col = base + dst->colour_offset + (size_t)(y + py) * dst->colour_stride + (size_t)(x + px) * 3;
            for (int k = 0; k < 3; k++) {
                int v = (int)std::lround(clampf(sum[2 - k] / n, 0, 1) * 255);
                col[k] = (uint8_t)std::min(v, a);  // blue, green, red, never above alpha
            }
            base[dst->second_offset + (size_t)(y + py) * dst->second_stride + x + px] = (uint8_t)a;
        }
}

// --- masks ---

Mask mask_new(int w, int h)
{
    return {w, h, std::vector<float>((size_t)w * h * SKIN_SS * SKIN_SS, 0.0f)};
}

Mask mask_shape(int w, int h, const Sdf &shape)
{
    Mask m = mask_new(w, h);
    int sw = w * SKIN_SS, sh = h * SKIN_SS;
    for (int j = 0; j < sh; j++)
        for (int i = 0; i < sw; i++)
            m.a[(size_t)j * sw + i] = clampf(0.5f - shape((i + 0.5f) / SKIN_SS, (j + 0.5f) / SKIN_SS) * SKIN_SS, 0, 1);
    return m;
}

Mask mask_text(int w, int h, const char *font_path, float size, const char *text, float cx, float cy, float spacing)
{
    // Laid out at the supersampled size, then its ink centred on (cx, cy).
    MkInk ink = mk_text_ink(font_path, size * SKIN_SS, text, spacing * SKIN_SS);
    Mask m = mask_new(w, h);
    int sw = w * SKIN_SS, sh = h * SKIN_SS;
    int ox = (int)std::lround(cx * SKIN_SS - ink.w / 2.0f);
    int oy = (int)std::lround(cy * SKIN_SS - ink.h / 2.0f);
    for (int y = 0; y < ink.h; y++)
        for (int x = 0; x < ink.w; x++) {
            int mx = x + ox, my = y + oy;
            if (mx >= 0 && my >= 0 && mx < sw && my < sh)
                m.a[(size_t)my * sw + mx] = ink.a[(size_t)y * ink.w + x];
        }
    return m;
}

// One box pass along rows (step 1) or columns (step = row length), outside counting 0.
static void box_pass(std::vector<float> &v, int count, int length, size_t step, size_t stride, int r)
{
    std::vector<float> line(length);
    for (int c = 0; c < count; c++) {
        size_t start = c * stride;
        for (int i = 0; i < length; i++)
            line[i] = v[start + i * step];
        float sum = 0;
        for (int i = 0; i <= r && i < length; i++)
            sum += line[i];
        for (int i = 0; i < length; i++) {
            v[start + i * step] = sum / (2 * r + 1);
            if (i + r + 1 < length)
                sum += line[i + r + 1];
            if (i - r >= 0)
                sum -= line[i - r];
        }
    }
}

void mask_blur(Mask &m, float sigma)
{
    int sw = m.w * SKIN_SS, sh = m.h * SKIN_SS;
    float s = sigma * SKIN_SS;
    // Three box passes of width 2r + 1 have the variance of a Gaussian of this sigma.
    int r = std::max(1, (int)std::lround((std::sqrt(4.0f * s * s + 1.0f) - 1.0f) / 2.0f));
    for (int pass = 0; pass < 3; pass++) {
        box_pass(m.a, sh, sw, 1, sw, r);
        box_pass(m.a, sw, sh, sw, 1, r);
    }
}

void mask_dilate(Mask &m, float radius)
{
    int sw = m.w * SKIN_SS, sh = m.h * SKIN_SS;
    int r = (int)std::ceil(radius * SKIN_SS);
    float rr = radius * SKIN_SS;
    std::vector<float> out(m.a.size(), 0.0f);
    for (int y = 0; y < sh; y++)
        for (int x = 0; x < sw; x++) {
            float best = 0;
            for (int dy = -r; dy <= r; dy++)
                for (int dx = -r; dx <= r; dx++) {
                    int qx = x + dx, qy = y + dy;
                    if (qx < 0 || qy < 0 || qx >= sw || qy >= sh || dx * dx + dy * dy > rr * rr)
                        continue;
                    best = std::max(best, m.a[(size_t)qy * sw + qx]);
                }
            out[(size_t)y * sw + x] = best;
        }
    m.a.swap(out);
}

void canvas_mask(Canvas &c, const Mask &m, const Paint &paint, float opacity, float dx, float dy)
{
    int sw = c.w * SKIN_SS, sh = c.h * SKIN_SS, mw = m.w * SKIN_SS, mh = m.h * SKIN_SS;
    int ox = (int)std::lround(dx * SKIN_SS), oy = (int)std::lround(dy * SKIN_SS);
    for (int j = 0; j < sh; j++)
        for (int i = 0; i < sw; i++) {
            int mx = i - ox, my = j - oy;
            if (mx < 0 || my < 0 || mx >= mw || my >= mh)
                continue;
            float cover = m.a[(size_t)my * mw + mx];
            if (cover <= 0)
                continue;
            Rgba col = paint((i + 0.5f) / SKIN_SS, (j + 0.5f) / SKIN_SS);
            float a = clampf(col.a * cover * opacity, 0, 1);
            if (a > 0)
                blend_sample(&c.px[((size_t)j * sw + i) * 4], col, a);
        }
}

void canvas_shadow(Canvas &c, const Sdf &shape, float dx, float dy, float sigma, float opacity)
{
    Mask m = mask_shape(c.w, c.h, shape);
    mask_blur(m, sigma);
    canvas_mask(c, m, paint_solid(rgb(24, 14, 4)), opacity, dx, dy);
}

void canvas_glow(Canvas &c, const Sdf &shape, float sigma, Rgba colour, float opacity)
{
    Mask m = mask_shape(c.w, c.h, shape);
    mask_blur(m, sigma);
    canvas_mask(c, m, paint_solid(colour), opacity);
}

// --- files ---

void skin_write_img(const MkData *mk, const char *name, Img *img)
{
    size_t size = IMG_HEADER_SIZE + (size_t)img->colour_stride * img->height + (size_t)img->second_stride * img->height;
    if (!img_check(img, size))
        mk_fail("%s: the picture is not a whole IMG", name);
    mk_write(mk, name, img, size);
}

const char *skin_font(const MkData *mk, const char *file)
{
    static std::string path;
    path = std::string(mk->fonts) + "/" + file;
    return path.c_str();
}

}  // namespace skin_art
