// Sample pictures of pattern: a Mandelbrot set, a stained-glass window and a field of
// glazed star tiles. Distinct colours in every part, so each region of the puzzle can be
// told apart.
#include <cmath>

#include "tools/mkdata_pictures.h"

// One sample of the Mandelbrot set at c: a cyclic palette over the smoothed escape count,
// deep blue inside.
static Rgb mandel_sample(double cr, double ci)
{
    static const RampStop PALETTE[] = {
        {0.00f, 0x0B1A4A}, {0.16f, 0x1F6FB0}, {0.32f, 0xE8F4F0}, {0.45f, 0xF5B83A},
        {0.60f, 0xB8321E}, {0.78f, 0x3A0C3E}, {1.00f, 0x0B1A4A},
    };
    // The main cardioid and the period-2 bulb never escape: skip their iterations.
    double q = (cr - 0.25) * (cr - 0.25) + ci * ci;
    if (q * (q + (cr - 0.25)) <= 0.25 * ci * ci || (cr + 1) * (cr + 1) + ci * ci <= 0.0625)
        return rgb(0x050A20);
    double zr = 0, zi = 0, saved_r = 0, saved_i = 0;
    const int limit = 500;
    int n = 0, next_save = 8;
    for (; n < limit && zr * zr + zi * zi < 65536.0; n++) {
        double t = zr * zr - zi * zi + cr;
        zi = 2 * zr * zi + ci;
        zr = t;
        // An orbit that comes back onto itself is caught in a cycle and never escapes.
        if (std::fabs(zr - saved_r) + std::fabs(zi - saved_i) < 1e-13) {
            n = limit;
            break;
        }
        if (n == next_save)
            saved_r = zr, saved_i = zi, next_save *= 2;
    }
    if (n == limit)
        return rgb(0x050A20);
    double mu = n + 1 - std::log2(std::log(std::sqrt(zr * zr + zi * zi)));
    float t = (float)std::fmod(std::sqrt(mu) * 0.45 + 0.1, 1.0);
    Rgb col = pic_ramp(PALETTE, 7, t);
    // Points that escape late lie close to the set: they glow a little.
    float near = clamp01((float)(mu / 160.0));
    return col * (0.75f + 0.35f * near);
}

Canvas pic_draw_fractal(int w, int h)
{
    // The valley between the main cardioid and the left bulb, where the seahorses are.
    const double cx = -0.74595, cy = 0.12405, span = 0.0075;
    const double step = span / w;
    auto at = [&](double x, double y) { return mandel_sample(cx + (x - w * 0.5) * step, cy - (y - h * 0.5) * step); };
    Canvas c = canvas_new(w, h, rgb(0));
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            c.at(x, y) = at(x + 0.5, y + 0.5);
    // Smoothing only where neighbours differ: four more samples on a rotated grid.
    Canvas out = c;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            Rgb m = c.at(x, y);
            float diff = 0;
            for (int k = 0; k < 4; k++) {
                int nx = x + (k == 0) - (k == 1), ny = y + (k == 2) - (k == 3);
                if (nx < 0 || ny < 0 || nx >= w || ny >= h)
                    continue;
                Rgb d = c.at(nx, ny) - m;
                diff = std::fmax(diff, std::fabs(d.r) + std::fabs(d.g) + std::fabs(d.b));
            }
            if (diff < 0.12f)
                continue;
            static const double OFF[4][2] = {{0.125, 0.375}, {0.625, 0.125}, {0.875, 0.625}, {0.375, 0.875}};
            Rgb sum = {0, 0, 0};
            for (const auto &o : OFF)
                sum = sum + at(x + o[0], y + o[1]);
            out.at(x, y) = (sum + m) * 0.2f;
        }
    return out;
}

// The nearest point of a jittered grid to (x, y) and the distance to the edge of its
// cell (the nearest bisector with a neighbour's point).
struct Cell {
    int ix, iy;
    float px, py, edge;
};
static Cell voronoi(float x, float y, float size, uint32_t seed)
{
    int gx = (int)std::floor(x / size), gy = (int)std::floor(y / size);
    float best = 1e30f;
    Cell c = {0, 0, 0, 0, 0};
    float pts[25][2];
    int n = 0;
    for (int j = -2; j <= 2; j++)
        for (int i = -2; i <= 2; i++) {
            int cx = gx + i, cy = gy + j;
            float px = ((float)cx + 0.1f + 0.8f * pic_rand(cx, cy, seed)) * size;
            float py = ((float)cy + 0.1f + 0.8f * pic_rand(cx, cy, seed + 1)) * size;
            pts[n][0] = px, pts[n][1] = py, n++;
            float d = (px - x) * (px - x) + (py - y) * (py - y);
            if (d < best)
                best = d, c = {cx, cy, px, py, 0};
        }
    float edge = 1e30f;
    for (int k = 0; k < n; k++) {
        float ox = pts[k][0] - c.px, oy = pts[k][1] - c.py;
        float len = std::sqrt(ox * ox + oy * oy);
        if (len < 1e-3f)
            continue;
        // Distance from (x, y) to the bisector between the cell's point and this one.
        float mx = (pts[k][0] + c.px) * 0.5f, my = (pts[k][1] + c.py) * 0.5f;
        float d = ((mx - x) * ox + (my - y) * oy) / len;
        edge = std::fmin(edge, d);
    }
    c.edge = edge;
    return c;
}

Canvas pic_draw_glass(int w, int h)
{
    // A rose window: a golden sun in the middle, a ring of twelve petals, and sky above
    // and meadow below in the corners, all leaded in small panes.
    const float W = (float)w, H = (float)h;
    const float ox = W * 0.5f, oy = H * 0.5f, r_sun = H * 0.15f, r_rose = H * 0.44f;
    const float r_pearl = r_sun + 0.17f * (r_rose - r_sun);
    const float lead = 2.2f;
    Canvas c = canvas_new(w, h, rgb(0));
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            float fx = (float)x + 0.5f, fy = (float)y + 0.5f;
            float dx = fx - ox, dy = fy - oy, r = std::sqrt(dx * dx + dy * dy);
            float a = std::atan2(dy, dx);
            int zone = r < r_sun ? 0 : r < r_rose ? 1 : 2;
            Cell cell = voronoi(fx, fy, zone == 0 ? 30.0f : zone == 1 ? 40.0f : 52.0f, 100 + (uint32_t)zone);
            float edge = cell.edge;
            // The circles and the spokes between petals are leaded too.
            edge = std::fmin(edge, std::fabs(r - r_sun));
            edge = std::fmin(edge, std::fabs(r - r_rose));
            edge = std::fmin(edge, std::fabs(r - r_pearl));
            float sector = a / (2 * PIC_PI) * 12.0f;
            float frac = sector - std::floor(sector);
            int petal_index = (int)std::floor(sector);
            if (zone == 1)
                edge = std::fmin(edge, std::fmin(frac, 1.0f - frac) * 2 * PIC_PI / 12.0f * r);
            // The petal: a pointed arch inside each sector.
            float across = std::fabs(frac - 0.5f) * 2.0f;  // 0 on the sector's middle line
            float along = (r - r_sun) / (r_rose - r_sun);
            float petal_w = 0.85f * std::sin(clamp01(along) * PIC_PI * 0.92f + 0.1f);
            float petal_edge = (petal_w - across) * r * PIC_PI / 12.0f;
            if (zone == 1)
                edge = std::fmin(edge, std::fabs(petal_edge));

            uint32_t hash = pic_hash(cell.ix, cell.iy, 200 + (uint32_t)zone);
            float v = (float)(hash & 255) / 255.0f, v2 = (float)((hash >> 8) & 255) / 255.0f;
            Rgb glass;
            if (zone == 0) {
                glass = mix(rgb(0xF7C531), rgb(0xE0701C), v * 0.8f + smooth(0.0f, r_sun, r) * 0.3f);
            } else if (zone == 1) {
                bool in_petal = petal_edge > 0;
                if (in_petal)
                    glass = (petal_index & 1) ? mix(rgb(0xC0182E), rgb(0x8E1048), v)
                                              : mix(rgb(0xB02A8C), rgb(0x6A1C9A), v);
                else
                    glass = mix(rgb(0x1B3FA8), rgb(0x2B78C8), v);
                if (r < r_pearl)
                    glass = (petal_index & 1) ? mix(rgb(0xF4E6B0), rgb(0xE8C868), v)
                                              : mix(rgb(0x38B0A8), rgb(0x1E8C8C), v);
            } else {
                // Sky in the upper corners, meadow in the lower, a few amber and violet
                // panes scattered through both.
                // Each pane takes the colour of where its middle lies, so no pane is split.
                float hill = H * 0.6f + H * 0.08f * std::sin(cell.px / W * 2.0f * PIC_PI + 1.2f);
                float up = smooth(hill + 0.3f * H, hill - 0.4f * H, cell.py);
                Rgb sky = mix(mix(rgb(0x2A6CC0), rgb(0x8FC9EE), v), rgb(0xB4DCF4), up * 0.3f);
                Rgb meadow = mix(rgb(0x2E8A3E), rgb(0x86B83A), v);
                glass = cell.py < hill ? sky : meadow;
                if (v2 > 0.9f)
                    glass = (hash >> 16) & 1 ? rgb(0xE8A028) : rgb(0x8A3FB0);
            }
            // Light through the glass: brighter toward the top left and each pane's middle,
            // with the mottle of hand-blown glass.
            float lx = (fx - W * 0.3f) / W, ly = (fy - H * 0.2f) / W;
            float light = 0.78f + 0.32f * std::exp(-(lx * lx + ly * ly) / 0.32f);
            float mottle = pic_fbm(fx / 18.0f, fy / 18.0f, 0, 0, 3, 300) * 0.12f +
                           pic_noise(fx / 3.0f, fy / 7.0f, 0, 0, 301) * 0.03f;
            float rim = smooth(lead, lead + 9.0f, edge);
            Rgb col = glass * (light * (0.72f + 0.28f * rim) + mottle);
            // A glint where the pane's bevel meets the lead on its lit side.
            col = col + rgb(0xFFFFFF) * (0.08f * clamp01(1.0f - std::fabs(edge - lead - 1.5f)));
            // The lead came: rounded, lit from above.
            float cover = clamp01(lead + 0.5f - edge);
            float profile = clamp01(edge / lead);
            Rgb leadc = mix(rgb(0x55555C), rgb(0x141418), profile);
            c.at(x, y) = mix(col, leadc, cover);
        }
    return c;
}

// Signed distance to a regular star polygon {8/3} of outer radius r (points on the axes
// and diagonals), and to the octagon through its inner corners.
static void star8(float x, float y, float r, float *star, float *octagon)
{
    const float an = PIC_PI / 8.0f, en = PIC_PI / 3.0f;
    const float acx = std::cos(an), acy = std::sin(an), ecx = std::cos(en), ecy = std::sin(en);
    auto fold = [&](float px, float py, float *fx, float *fy) {
        float bn = std::fmod(std::atan2(px, py) + 4.0f * PIC_PI, 2.0f * an) - an;
        float len = std::sqrt(px * px + py * py);
        *fx = len * std::cos(bn), *fy = len * std::fabs(std::sin(bn));
    };
    float px, py;
    fold(x, y, &px, &py);
    px -= r * acx, py -= r * acy;
    float k = clamp01(-(px * ecx + py * ecy) / (r * acy / ecy)) * (r * acy / ecy);
    px += ecx * k, py += ecy * k;
    *star = std::sqrt(px * px + py * py) * (px < 0 ? -1.0f : 1.0f);
    // The octagon: its corners between the star's points, at the inner radius.
    float ri = r * 0.5412f;
    float ox = x * std::cos(an) - y * std::sin(an), oy = x * std::sin(an) + y * std::cos(an);
    fold(ox, oy, &px, &py);
    *octagon = px - ri * std::cos(an);
}

Canvas pic_draw_zellige(int w, int h)
{
    // Large stars on a square lattice, small stars in the middle of each square, ivory
    // straps along every outline, and glazed tiles whose colours drift across the wall.
    constexpr float P = 128.0f;
    const float W = (float)w, H = (float)h;
    const float strap = 3.2f;
    Canvas c = canvas_new(w, h, rgb(0));
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            float fx = (float)x + 0.5f - W * 0.5f + P * 0.5f, fy = (float)y + 0.5f - H * 0.5f + P * 0.5f;
            int lx = (int)std::floor(fx / P + 0.5f), ly = (int)std::floor(fy / P + 0.5f);
            float qx = fx - (float)lx * P, qy = fy - (float)ly * P;
            int cx = (int)std::floor(fx / P), cy = (int)std::floor(fy / P);
            float rx = fx - ((float)cx + 0.5f) * P, ry = fy - ((float)cy + 0.5f) * P;
            float big, big_oct, small, small_oct, rose, rose_oct;
            star8(qx, qy, 0.44f * P, &big, &big_oct);
            star8(qx, qy, 0.2f * P, &rose, &rose_oct);
            star8(rx, ry, 0.21f * P, &small, &small_oct);
            // Which tile, and the distance to its outline.
            float u = (float)x / W, v = (float)y / H;
            uint32_t id;
            Rgb glaze;
            float edge;
            if (big < 0) {
                if (rose < 0) {
                    id = 1, edge = -rose;
                    glaze = mix(rgb(0xC8542A), rgb(0xE0A030), v);
                } else if (big_oct < 0) {
                    id = 2, edge = std::fmin(-big_oct, rose);
                    glaze = mix(rgb(0xF2E6C8), rgb(0xE8D8A8), u);
                } else {
                    id = 3, edge = std::fmin(-big, big_oct);
                    glaze = ((lx + ly) & 1) ? mix(rgb(0x1E4FA0), rgb(0x15807A), u) : mix(rgb(0x2A8C50), rgb(0x1E3C8C), u);
                }
            } else if (small < 0) {
                id = 4, edge = -small;
                if (small_oct < 0)
                    edge = std::fmin(edge, -small_oct);
                glaze = small_oct < 0 ? mix(rgb(0xE8B83A), rgb(0xD07828), u) : mix(rgb(0x2AA6B8), rgb(0x5A3C8C), v);
                id += small_oct < 0 ? 1 : 0;
            } else {
                id = 6, edge = std::fmin(big, small);
                glaze = mix(rgb(0x9A4424), rgb(0x6E2C1C), v);
            }
            uint32_t hash = pic_hash(id == 4 || id == 5 || id == 6 ? cx : lx, id == 4 || id == 5 || id == 6 ? cy : ly, id);
            float tone = 0.9f + 0.16f * (float)(hash & 255) / 255.0f;
            // Glaze: a gentle wave in each tile, brighter toward its lit side, and a
            // darker pool where the glaze ran thick at the edges.
            float sheen = pic_fbm(fx / 40.0f, fy / 40.0f, 0, 0, 3, 400 + id);
            float pool = 1.0f - 0.18f * std::exp(-(edge - strap) / 3.0f);
            Rgb col = glaze * (tone * pool * (1.0f + 0.1f * sheen));
            float glint = smooth(0.6f, 1.0f, pic_noise(fx / 22.0f, fy / 22.0f, 0, 0, 500 + id)) * 0.25f;
            col = col + rgb(0xFFFFFF) * glint * clamp01((edge - strap) / 6.0f);
            // The straps: ivory, with a dark grout line on both sides.
            float on_strap = clamp01(strap + 0.5f - edge);
            Rgb strap_col = rgb(0xEFE6D2) * (0.9f + 0.1f * clamp01(edge / strap));
            col = mix(col, strap_col, on_strap);
            float grout = clamp01(0.8f - std::fabs(edge - strap));
            c.at(x, y) = mix(col, rgb(0x3A3026), grout * 0.8f);
        }
    return c;
}
