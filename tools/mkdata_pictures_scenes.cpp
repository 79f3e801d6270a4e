// Sample pictures of places: a mountain lake at sunset, pines under the night sky and an
// autumn wood. Each is painted back to front in layers with soft, anti-aliased edges.
#include <cmath>

#include "tools/mkdata_pictures.h"

// Noise with sharp crests, for mountain ridges: 0 in the valleys up to about 1.
static float ridged(float x, int octaves, uint32_t seed)
{
    float sum = 0, weight = 0.6f, total = 0;
    for (int i = 0; i < octaves; i++) {
        float r = 1.0f - std::fabs(pic_noise(x, (float)i * 7.3f, 0, 0, seed + (uint32_t)i));
        sum += r * r * weight;
        total += weight;
        x *= 2.1f, weight *= 0.5f;
    }
    return sum / total;
}

// Coverage of pixel row y by ground whose top edge lies at `top`.
static float below(float top, int y)
{
    return clamp01((float)y + 1.0f - top);
}

// A pine seen side on: tip at (x, y), `height` tall, tiers of drooping boughs with ragged
// ends. Coordinates in pixels.
static bool in_pine(float px, float py, float x, float y, float height, uint32_t seed)
{
    float t = (py - y) / height;  // 0 at the tip, 1 at the foot
    if (t < 0 || t > 1)
        return false;
    float dx = std::fabs(px - x);
    if (t > 0.9f)
        return dx < height * 0.018f;
    // Tiers of boughs: each widens downward and droops at its tips, no two alike, and
    // the two sides of a tier reach out differently.
    float tiers = 10.0f, k = std::sqrt(t) * tiers + 0.4f * pic_noise(px * 0.02f, 0.5f, 0, 0, seed + 2);
    int index = (int)std::floor(k);
    float tier = k - (float)index;
    float reach = 0.6f + 0.5f * pic_rand(index, px < x ? 0 : 1, seed);
    float spread = height * (0.03f + 0.2f * t) * reach * (0.25f + 0.75f * std::pow(tier, 1.5f));
    float needles = pic_noise(px * 0.6f, py * 0.25f, 0, 0, seed) + 0.5f * pic_noise(px * 1.3f, py * 0.8f, 0, 0, seed + 1);
    spread *= 1.0f + 0.18f * needles;
    return dx < spread;
}

Canvas pic_draw_lake(int w, int h)
{
    const float W = (float)w, H = (float)h;
    const float horizon = 0.61f * H, sun_x = 0.64f * W, sun_y = 0.385f * H, sun_r = 0.026f * W;
    static const RampStop SKY[] = {
        {0.0f, 0x1B2350}, {0.3f, 0x4B3A78}, {0.55f, 0xA9557A}, {0.78f, 0xEE8A5E}, {0.93f, 0xFBC070}, {1.0f, 0xFDD892},
    };
    Canvas c = canvas_new(w, h, rgb(0));
    int hz = (int)horizon + 1;
    for (int y = 0; y < hz; y++)
        for (int x = 0; x < w; x++) {
            float fx = (float)x + 0.5f, fy = (float)y + 0.5f;
            Rgb col = pic_ramp(SKY, 6, fy / horizon);
            float dx = fx - sun_x, dy = fy - sun_y;
            float d = std::sqrt(dx * dx + dy * dy), dflat = std::sqrt(dx * dx * 0.35f + dy * dy * 2.5f);
            float glow = 0.55f * std::exp(-d / (0.05f * W)) + 0.3f * std::exp(-dflat / (0.22f * W));
            col = col + rgb(0xFFCF8A) * glow;
            // Clouds in long bands, lit warm from below and violet where they turn away.
            float band = std::exp(-std::pow((fy / horizon - 0.32f) / 0.2f, 2.0f));
            float n = pic_fbm(fx / 300.0f, fy / 40.0f, 0, 0, 6, 31);
            float dens = smooth(0.0f, 0.35f, n + 0.35f * band - 0.25f) * (0.3f + 0.7f * band);
            float lit = clamp01(0.2f + 0.8f * fy / horizon + 0.8f * glow);
            float edge = smooth(-0.1f, 0.25f, pic_fbm(fx / 300.0f, (fy - 5.0f) / 40.0f, 0, 0, 6, 31) - n);
            Rgb cloud = mix(rgb(0x4A3462), rgb(0xFF9A70), lit);
            cloud = mix(cloud, rgb(0xFFE0A8), edge * lit * 0.8f);
            col = mix(col, cloud, dens * 0.92f);
            float disc = clamp01(sun_r - d + 0.5f);
            c.at(x, y) = mix(col, rgb(0xFFF6DC), disc);
        }

    // Three ranges from far to near: snow-capped peaks in the evening light, a bluer
    // range in front, then the wooded shore.
    struct Range {
        float base, amp, freq;
        uint32_t seed;
        uint32_t colour, lit;
        float mist;
    };
    static const Range RANGES[] = {
        {0.50f, 0.26f, 1.0f / 260.0f, 11, 0x8C6B9A, 0xE9A8A0, 0.65f},
        {0.57f, 0.15f, 1.0f / 170.0f, 12, 0x4B4372, 0x8A6A92, 0.5f},
    };
    Rgb haze = pic_ramp(SKY, 6, 0.97f);
    for (const Range &r : RANGES) {
        for (int x = 0; x < w; x++) {
            float fx = (float)x + 0.5f;
            // Peaks of different heights: a slow swell under the ridged crests.
            auto ridge = [&](float xx, int oct) {
                float swell = 0.55f + 0.45f * pic_fbm(xx * r.freq * 0.35f, 5.0f, 0, 0, 2, r.seed + 20);
                return r.base * H - r.amp * H * ridged(xx * r.freq, oct, r.seed) * swell;
            };
            float top = ridge(fx, 7);
            float slope = ridge(fx + 12.0f, 3) - ridge(fx - 12.0f, 3);
            float face = clamp01(0.5f - slope * 0.02f);  // slopes climbing to the right face the sun
            for (int y = (int)top; y < hz; y++) {
                float cov = below(top, y);
                if (cov <= 0)
                    continue;
                float depth = ((float)y - top) / (horizon - top + 1.0f);
                // Gullies run down the faces; they tilt the light a little on each side.
                float gully = pic_noise((float)x / 14.0f + ((float)y - top) * 0.05f, (float)y / 70.0f, 0, 0, r.seed + 60);
                float lit = clamp01(face + 0.3f * gully);
                Rgb col = mix(rgb(r.colour), rgb(r.lit), lit * 0.75f * (1.0f - 0.7f * depth));
                float n = pic_fbm((float)x / 30.0f + ((float)y - top) * 0.02f, (float)y / 12.0f, 0, 0, 4, r.seed + 50);
                col = col * (0.92f + 0.12f * n);
                if (r.seed == 11) {
                    float snow = smooth(0.34f * H, 0.30f * H, top) * (1.0f - smooth(0.02f, 0.09f + 0.05f * n, depth));
                    col = mix(col, mix(rgb(0xC6A9C8), rgb(0xFFD6C2), face), snow);
                }
                col = mix(col, haze, r.mist * smooth(0.25f, 1.0f, depth));
                canvas_blend(&c, x, y, col, cov);
            }
        }
    }
    // The far shore: a dark band of conifers along the water.
    for (int x = 0; x < w; x++) {
        float fx = (float)x + 0.5f;
        float top = horizon - 6.0f - 10.0f * smooth(0.0f, 1.0f, pic_fbm(fx / 200.0f, 3.0f, 0, 0, 3, 70) + 0.4f);
        float trees = 0;
        for (int i = -1; i <= 1; i++) {
            int cell = (int)std::floor(fx / 9.0f) + i;
            float cx = ((float)cell + pic_rand(cell, 0, 71)) * 9.0f, th = 6.0f + 12.0f * pic_rand(cell, 1, 71);
            trees = std::fmax(trees, th * (1.0f - std::fabs(fx - cx) / (th * 0.35f)));
        }
        top -= trees;
        for (int y = (int)top; y < hz; y++)
            canvas_blend(&c, x, y, mix(rgb(0x1E1C30), rgb(0x3A2C44), smooth(0.0f, 18.0f, (float)y - top)), below(top, y));
    }

    // The water mirrors the sky and mountains above it, broken by ripples that grow
    // toward the viewer, with a path of glitter under the sun.
    for (int y = hz; y < h; y++) {
        float fy = (float)y + 0.5f;
        float dist = fy - horizon;
        float depth = dist / (H - horizon);
        float v = 1.0f / (dist + 2.0f);
        for (int x = 0; x < w; x++) {
            float fx = (float)x + 0.5f;
            float wu = (fx - W * 0.5f) * v * 3.0f, wv = 900.0f * v;
            float wave = pic_fbm(wu, wv, 0, 0, 3, 81);
            float wave2 = pic_fbm(wu * 0.5f + 9.0f, wv * 1.7f, 0, 0, 2, 82);
            float my = horizon - dist - wave * (1.0f + 7.0f * depth) - 1.0f;
            Rgb refl = canvas_sample(&c, fx + wave2 * 10.0f * depth, my < 0 ? 0 : my);
            Rgb col = refl * mix(rgb(0xE6E2F0), rgb(0x6E6C9C), depth) * (1.0f - 0.3f * depth);
            float bright = luma(refl);
            col = col + rgb(0xFFD9A8) * (bright * bright * bright * bright * 0.7f);  // the sun keeps its warmth
            col = col * (1.0f + 0.18f * wave * (0.3f + depth));
            float gx = (fx - sun_x) / (10.0f + 120.0f * depth);
            float spark = pic_noise(wu * 6.0f, wv * 3.0f, 0, 0, 83);
            float glitter = std::exp(-gx * gx) * smooth(0.3f, 0.7f, spark) * (1.0f - 0.7f * depth);
            col = col + rgb(0xFFD79A) * (glitter * 0.9f);
            c.at(x, y) = col;
        }
    }

    // The near bank on the left: a dark mound with pines, and reeds at the water's edge.
    for (int x = 0; x < w; x++) {
        float fx = (float)x + 0.5f;
        float top = H * (0.86f + 0.16f * smooth(0.0f, 0.42f * W, fx)) - 14.0f * pic_fbm(fx / 70.0f, 1.0f, 0, 0, 4, 91);
        for (int y = (int)top; y < h; y++)
            canvas_blend(&c, x, y, mix(rgb(0x2A2230), rgb(0x110E18), smooth(0.0f, 60.0f, (float)y - top)), below(top, y));
    }
    static const struct {
        float x, top, height;
    } PINES[] = {{0.045f, 0.10f, 0.80f}, {0.115f, 0.28f, 0.62f}, {0.175f, 0.44f, 0.47f}, {0.225f, 0.58f, 0.34f}};
    uint32_t seed = 95;
    for (const auto &p : PINES) {
        float px = p.x * W, py = p.top * H, ph = p.height * H;
        int half = (int)(ph * 0.34f) + 2;
        pic_fill(&c, (int)px - half, (int)py, (int)px + half, (int)(py + ph) + 1, rgb(0x0F0C16), 1.0f,
                 [&](float sx, float sy) { return in_pine(sx, sy, px, py, ph, seed); });
        seed++;
    }
    for (int i = 0; i < 70; i++) {
        float rx = W * (0.2f + 0.3f * pic_rand(i, 0, 97)), ry = H * (0.93f + 0.07f * pic_rand(i, 1, 97));
        float len = H * (0.06f + 0.08f * pic_rand(i, 2, 97)), lean = (pic_rand(i, 3, 97) - 0.5f) * 0.5f;
        pic_fill(&c, (int)(rx - len * 0.3f) - 2, (int)(ry - len) - 1, (int)(rx + len * 0.3f) + 2, (int)ry + 1,
                 rgb(0x140F18), 1.0f, [&](float sx, float sy) {
                     float t = (ry - sy) / len;
                     if (t < 0 || t > 1)
                         return false;
                     float cx = rx + lean * len * t * t;
                     return std::fabs(sx - cx) < 1.3f * (1.0f - t) + 0.3f;
                 });
    }
    return c;
}

// A soft round dot added to the canvas: a star, a window's glow.
static void add_dot(Canvas *c, float x, float y, float sigma, Rgb colour)
{
    int r = (int)std::ceil(sigma * 3.0f);
    int cx = (int)std::floor(x), cy = (int)std::floor(y);
    for (int j = cy - r; j <= cy + r; j++)
        for (int i = cx - r; i <= cx + r; i++) {
            if (i < 0 || j < 0 || i >= c->w || j >= c->h)
                continue;
            float dx = (float)i + 0.5f - x, dy = (float)j + 0.5f - y;
            float k = std::exp(-(dx * dx + dy * dy) / (2 * sigma * sigma));
            c->at(i, j) = c->at(i, j) + colour * k;
        }
}

Canvas pic_draw_night(int w, int h)
{
    const float W = (float)w, H = (float)h;
    static const RampStop SKY[] = {{0.0f, 0x050817}, {0.5f, 0x0B1430}, {0.8f, 0x16284A}, {1.0f, 0x2A4A62}};
    Canvas c = canvas_new(w, h, rgb(0));
    // The Milky Way rises from the horizon at the lower left toward the top right.
    const float ax = 0.22f * W, ay = 1.05f * H, bx = 0.92f * W, by = -0.1f * H;
    const float len = std::sqrt((bx - ax) * (bx - ax) + (by - ay) * (by - ay));
    const float ux = (bx - ax) / len, uy = (by - ay) / len;
    Mask band = mask_new(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            float fx = (float)x + 0.5f, fy = (float)y + 0.5f;
            Rgb col = pic_ramp(SKY, 4, fy / H);
            col = col + rgb(0x6A4A3A) * (0.25f * std::exp(-std::pow((H * 0.8f - fy) / (0.1f * H), 2.0f)) *
                                          std::exp(-std::pow((fx - 0.15f * W) / (0.4f * W), 2.0f)));
            float s = (fx - ax) * ux + (fy - ay) * uy, d = -(fx - ax) * uy + (fy - ay) * ux;
            float t = s / len;
            float width = H * (0.1f + 0.06f * std::exp(-std::pow((t - 0.3f) / 0.2f, 2.0f)));
            d += 0.04f * H * pic_fbm(s / 300.0f, 2.0f, 0, 0, 3, 600);
            float core = std::exp(-std::pow(d / width, 2.0f));
            float cloud = pic_fbm(fx / 90.0f, fy / 90.0f, 0, 0, 6, 601) * 0.5f + 0.5f;
            float dust = smooth(0.05f, 0.35f, pic_fbm(s / 70.0f, d / 35.0f, 0, 0, 5, 602)) *
                         std::exp(-std::pow(d / (width * 0.45f), 2.0f));
            float bright = core * (0.35f + 0.9f * cloud * cloud) * (1.0f - 0.8f * dust);
            bright *= 0.55f + 0.7f * std::exp(-std::pow((t - 0.28f) / 0.25f, 2.0f));
            Rgb glow = mix(rgb(0x8FA4D8), rgb(0xF0D8B0), std::exp(-std::pow(d / (width * 0.5f), 2.0f)));
            float pink = smooth(0.55f, 0.8f, pic_fbm(fx / 40.0f, fy / 40.0f, 0, 0, 3, 603)) * core;
            col = col + glow * (bright * 0.62f) + rgb(0xC0507A) * (pink * 0.22f);
            band.at(x, y) = core * (0.4f + 0.6f * cloud);
            c.at(x, y) = col;
        }
    // Stars: faint ones everywhere and many more inside the band, a few bright ones with
    // a halo; their colours run from blue-white to orange.
    for (int i = 0; i < 16000; i++) {
        float x = pic_rand(i, 0, 610) * W, y = pic_rand(i, 1, 610) * H * 0.9f;
        float density = band.get((int)x, (int)y);
        if (i >= 2600 && pic_rand(i, 2, 610) > density)
            continue;
        float m = pic_rand(i, 3, 610);
        float mag = m * m * m * m * m * m * m * m;
        Rgb tint = mix(rgb(0xA8C4FF), rgb(0xFFD0A0), pic_rand(i, 4, 610));
        tint = mix(tint, rgb(0xFFFFFF), 0.5f);
        add_dot(&c, x, y, 0.5f + 0.6f * mag, tint * (0.08f + 0.1f * m + 1.8f * mag));
        if (mag > 0.5f)
            add_dot(&c, x, y, 4.0f, tint * (0.06f * mag));
    }
    // The hill and its pines, a cabin with a lit window among them.
    auto hill = [&](float x) {
        return H * (0.84f - 0.05f * std::sin(x / W * 3.0f + 0.4f)) - 18.0f * pic_fbm(x / 160.0f, 0.5f, 0, 0, 4, 620);
    };
    float cabin_x = 0.68f * W;
    for (int x = 0; x < w; x++) {
        float top = hill((float)x + 0.5f);
        for (int y = (int)top; y < h; y++)
            canvas_blend(&c, x, y, rgb(0x05060C), below(top, y));
    }
    for (int i = 0; i < 46; i++) {
        float px = W * ((float)i + pic_rand(i, 0, 630)) / 46.0f;
        if (std::fabs(px - cabin_x) < 45.0f)
            continue;
        float ground = hill(px);
        float ph = H * (0.1f + 0.2f * pic_rand(i, 1, 630)) * (px < 0.35f * W ? 1.4f : 1.0f);
        float py = ground - ph + 10.0f;
        int half = (int)(ph * 0.3f) + 2;
        uint32_t seed = 640 + (uint32_t)i;
        pic_fill(&c, (int)px - half, (int)py, (int)px + half, (int)(py + ph) + 1, rgb(0x05060C), 1.0f,
                 [&](float sx, float sy) { return in_pine(sx, sy, px, py, ph, seed); });
    }
    float cy = hill(cabin_x) + 6.0f;
    add_dot(&c, cabin_x + 6.0f, cy - 15.0f, 16.0f, rgb(0xFFB050) * 0.18f);
    pic_fill(&c, (int)cabin_x - 30, (int)cy - 52, (int)cabin_x + 30, (int)cy, rgb(0x07070C), 1.0f, [&](float sx, float sy) {
        float dx = std::fabs(sx - cabin_x);
        bool walls = dx < 22.0f && sy > cy - 30.0f;
        bool roof = sy > cy - 48.0f && sy < cy - 28.0f && dx < 27.0f - (cy - 28.0f - sy) * 1.2f;
        bool chimney = sx > cabin_x + 9.0f && sx < cabin_x + 15.0f && sy > cy - 50.0f && sy < cy - 36.0f;
        return walls || roof || chimney;
    });
    pic_fill(&c, (int)cabin_x, (int)cy - 24, (int)cabin_x + 14, (int)cy - 8, rgb(0xFFC46A), 1.0f,
             [&](float sx, float sy) {
                 bool pane = sx > cabin_x + 1.5f && sx < cabin_x + 11.5f && sy > cy - 22.5f && sy < cy - 11.5f;
                 return pane && std::fabs(sx - cabin_x - 6.5f) > 0.6f;  // two panes either side of the bar
             });
    // A still lake at the foot of the hill mirrors the trees and the stars.
    const float shore = 0.865f * H;
    for (int y = (int)shore; y < h; y++) {
        float fy = (float)y + 0.5f, dist = fy - shore;
        float v = 1.0f / (dist + 3.0f);
        for (int x = 0; x < w; x++) {
            float fx = (float)x + 0.5f;
            float wave = pic_fbm((fx - W * 0.5f) * v * 2.0f, 600.0f * v, 0, 0, 3, 650);
            float my = shore - dist * 1.15f - 6.0f - wave * (1.0f + dist * 0.05f);
            Rgb refl = canvas_sample(&c, fx + wave * 3.0f, my);
            Rgb col = refl * rgb(0xA0B0D0) * (0.85f - 0.25f * dist / (H - shore));
            // The shore line itself catches a thin glint of sky.
            col = col + rgb(0x3A4A6A) * (0.5f * std::exp(-dist / 1.5f));
            c.at(x, y) = mix(c.at(x, y), col, clamp01(fy - shore));
        }
    }
    return c;
}

Canvas pic_draw_forest(int w, int h)
{
    // A path runs into a beech wood in autumn; the low sun behind the trees fills the
    // distance with golden haze. Layers from far to near, each less hazy.
    const float W = (float)w, H = (float)h;
    const float vx = 0.5f * W, horizon = 0.52f * H;
    const Rgb fog = rgb(0xF2D49A);
    Canvas c = canvas_new(w, h, rgb(0));
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            float fx = (float)x + 0.5f, fy = (float)y + 0.5f;
            float dx = (fx - vx) / W, dy = (fy - horizon) / H;
            float glow = std::exp(-(dx * dx * 3.0f + dy * dy * 6.0f));
            Rgb col = mix(rgb(0x9A5A34), fog, glow);
            if (fy > horizon) {
                // The woodland floor in perspective: leaf litter, and the path's pale band
                // winding off toward the light.
                float dist = fy - horizon;
                // Ground coordinates: across and into the distance, one scale for both,
                // so the leaves foreshorten instead of streaking.
                float u = (fx - vx) / dist, wz = W / dist;
                float litter = pic_fbm(u * 4.0f, wz * 4.0f, 0, 0, 4, 700);
                float fine = pic_fbm(u * 30.0f, wz * 30.0f, 0, 0, 2, 701);
                Rgb ground = mix(mix(rgb(0x6A3012), rgb(0xC8641E), smooth(-0.35f, 0.35f, litter)), rgb(0xE8A83A),
                                 smooth(0.2f, 0.6f, fine) * 0.7f);
                ground = ground * (0.8f + 0.3f * smooth(-0.4f, 0.4f, fine));
                float curve = 0.25f * std::sin(wz * 0.25f);
                float path = smooth(0.75f, 0.5f, std::fabs(u - curve) + 0.06f * litter);
                ground = mix(ground, mix(rgb(0xB89060), rgb(0xE0B050), smooth(0.2f, 0.7f, fine)), path * 0.8f);
                float haze = std::exp(-dist / (0.08f * H));
                col = mix(ground * (0.7f + 0.3f * path), fog, haze * 0.9f);
            }
            c.at(x, y) = col;
        }

    for (int layer = 6; layer >= 1; layer--) {
        float z = (float)layer;
        float haze = 1.0f - std::exp(-(z - 0.7f) * 0.38f);
        float base = horizon + 0.3f * H / z;
        float trunk_w = 0.07f * W / z;
        // Trunks, clear of the path: grey beech bark, lit along the side facing the glow.
        int count = 14 + layer * 3;
        for (int i = 0; i < count; i++) {
            // -1..1 across the view at the nearest layer
            float wx = ((float)i + pic_rand(i, layer, 710)) / (float)count * 2.0f - 1.0f;
            float x0 = vx + wx * W * 0.9f * (0.6f + 0.4f * z / 6.0f) * 1.3f;
            float curve = 0.25f * std::sin(W / (base - horizon) * 0.25f) * (base - horizon);
            if (std::fabs(x0 - (vx + curve)) < 0.75f * (base - horizon) + trunk_w)
                continue;
            float tw = trunk_w * (0.6f + 0.7f * pic_rand(i, layer, 711));
            float foot = base + 0.04f * H / z * pic_rand(i, layer, 712);
            float lean = (pic_rand(i, layer, 713) - 0.5f) * 0.06f;
            // A soft shadow where the trunk stands, so it is rooted in the leaves.
            for (int y = (int)(foot - tw * 0.3f); y < (int)(foot + tw * 0.3f) + 1 && y < h; y++)
                for (int x = (int)(x0 - tw * 1.5f); x <= (int)(x0 + tw * 1.5f); x++) {
                    float ex = ((float)x + 0.5f - x0) / (tw * 1.4f), ey = ((float)y + 0.5f - foot) / (tw * 0.25f + 1.0f);
                    canvas_blend(&c, x, y, rgb(0x301808), 0.5f * (1.0f - haze) * clamp01(1.0f - (ex * ex + ey * ey)));
                }
            for (int y = 0; y < (int)foot + 1 && y < h; y++) {
                float fy = (float)y + 0.5f;
                float cxp = x0 + lean * (foot - fy);
                float half = tw * 0.5f * (1.0f + 0.35f * smooth(foot - tw * 1.5f, foot, fy));
                for (int x = (int)(cxp - half) - 1; x <= (int)(cxp + half) + 1; x++) {
                    if (x < 0 || x >= w)
                        continue;
                    float fx = (float)x + 0.5f;
                    float cov = clamp01(half + 0.5f - std::fabs(fx - cxp)) * clamp01(foot - fy + 0.5f);
                    if (cov <= 0)
                        continue;
                    float side = (fx - cxp) / half;  // -1..1 across the trunk
                    float toward = vx > cxp ? side : -side;
                    // Smooth grey beech bark with dark eyes where branches fell, mossy low
                    // down, rounded by the light and rimmed gold on the side toward the sun.
                    float across_bark = std::asin(clamp01(std::fabs(side)) * 0.999f) * (side < 0 ? -1.0f : 1.0f);
                    float bx = across_bark * tw * 0.5f + (float)i * 37.0f;
                    float bark = pic_fbm(bx / 6.0f, fy / 50.0f, 0, 0, 3, 720 + (uint32_t)i);
                    float eye = smooth(0.45f, 0.6f, pic_noise(bx / 10.0f, fy / 5.0f, 0, 0, 721 + (uint32_t)i));
                    float moss = smooth(foot - tw * 2.5f, foot, fy) * smooth(-0.2f, 0.3f, bark);
                    float shade = 0.45f + 0.45f * std::sqrt(clamp01(1.0f - side * side));
                    Rgb col = mix(rgb(0x6A6258), rgb(0x9A9284), 0.5f + 0.5f * bark) * shade;
                    col = mix(col, rgb(0x2A241E), eye * 0.6f);
                    col = mix(col, rgb(0x5A6A2A), moss * 0.7f);
                    col = mix(col, rgb(0xF0C070), smooth(0.6f, 0.95f, toward) * 0.5f);
                    col = mix(col, fog * rgb(0xE0B880), haze);
                    canvas_blend(&c, x, y, col, cov);
                }
            }
        }
        // The canopy of this layer: masses of leaves, thicker toward the top, in reds,
        // oranges and yellows, backlit at their edges.
        float scale = 0.22f * W / z;
        float reach = horizon - 0.25f * H / z;
        for (int y = 0; y < (int)reach && y < h; y++)
            for (int x = 0; x < w; x++) {
                float fx = (float)x + 0.5f, fy = (float)y + 0.5f;
                float n = pic_fbm(fx / scale, fy / scale, 0, 0, 5, 730 + (uint32_t)layer);
                float clearing = 0.25f * std::exp(-std::pow((fx - vx) / (0.3f * W), 2.0f));  // open above the path
                float fill = n + 0.7f * (1.0f - fy / reach) - 0.2f - clearing;
                float cov = smooth(0.0f, 0.06f, fill);
                if (cov <= 0)
                    continue;
                float hue = pic_fbm(fx / (scale * 2.0f), fy / (scale * 2.0f), 0, 0, 2, 740 + (uint32_t)layer);
                Rgb leaf = hue < -0.1f ? mix(rgb(0x8E1E12), rgb(0xC84A18), smooth(-0.5f, -0.1f, hue))
                                       : mix(rgb(0xD8701C), rgb(0xF0C040), smooth(-0.1f, 0.4f, hue));
                float inner = smooth(0.0f, 0.3f, fill);
                // Single leaves catch the light as small bright flecks; toward the sun the
                // canopy is lit through and turns gold.
                float leaf_size = 1.5f + 7.0f / z;
                float fleck = smooth(0.2f, 0.5f, pic_noise(fx / leaf_size, fy / leaf_size, 0, 0, 750 + (uint32_t)layer));
                float shade = pic_fbm(fx / (scale * 0.25f), fy / (scale * 0.25f), 0, 0, 3, 760 + (uint32_t)layer);
                float sx = (fx - vx) / (0.4f * W), sy = (fy - 0.35f * H) / (0.35f * H);
                float sun = std::exp(-sx * sx - sy * sy);
                Rgb col = leaf * (0.45f + 0.3f * inner + 0.25f * fleck + 0.15f * shade);
                col = mix(col, rgb(0xFFD870), sun * (0.25f + 0.35f * fleck) * (1.0f - 0.5f * inner));
                col = mix(col, fog, (1.0f - inner) * 0.3f);  // light shining through thin edges
                col = mix(col, fog * rgb(0xF0C890), haze * 0.9f);
                canvas_blend(&c, x, y, col, cov);
            }
    }
    // Shafts of sunlight through the haze, and a few leaves falling.
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            float fx = (float)x + 0.5f, fy = (float)y + 0.5f;
            float a = std::atan2(fx - vx, fy - (horizon - 0.2f * H));
            float shaft = smooth(0.3f, 0.9f, pic_noise(a * 9.0f, 0.5f, 0, 0, 760));
            float fade = std::exp(-std::fabs(fy - horizon) / (0.5f * H));
            c.at(x, y) = c.at(x, y) + rgb(0xFFE0A0) * (shaft * fade * 0.12f);
        }
    for (int i = 0; i < 40; i++) {
        float lx = pic_rand(i, 0, 770) * W, ly = pic_rand(i, 1, 770) * H * 0.85f;
        float size = 3.0f + 5.0f * pic_rand(i, 2, 770), ang = pic_rand(i, 3, 770) * PIC_PI;
        float ca = std::cos(ang), sa = std::sin(ang);
        Rgb col = mix(rgb(0xC83A14), rgb(0xF0A020), pic_rand(i, 4, 770));
        pic_fill(&c, (int)(lx - size) - 1, (int)(ly - size) - 1, (int)(lx + size) + 1, (int)(ly + size) + 1, col, 0.95f,
                 [&](float sx, float sy) {
                     float u = ((sx - lx) * ca + (sy - ly) * sa) / size;
                     float v = (-(sx - lx) * sa + (sy - ly) * ca) / (size * 0.45f);
                     return u * u + v * v < 1.0f;
                 });
    }
    return c;
}
