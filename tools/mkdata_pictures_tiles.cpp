// The repeating textures: the desktop's wooden table and the gallery's wall, floor and
// ceiling. Each is 256 x 256 and continues across its own edges, so tiling shows no seam.
#include <cmath>

#include "tools/mkdata_pictures.h"

constexpr int TILE = 256;

// Coverage of a pixel by a band of half width `half` around distance 0.
static float band(float d, float half)
{
    return clamp01(half + 0.5f - std::fabs(d));
}

// A positive remainder, so coordinates wrap the same way on both sides of 0.
static float wrapf(float v, float period)
{
    float r = std::fmod(v, period);
    return r < 0 ? r + period : r;
}

Canvas pic_draw_background(void)
{
    // Four boards per tile, each with one butt joint; the grain is a function of the
    // board's own coordinates, and the joint is where a board meets the next one, so
    // wrapping across the tile's sides lands on the same board.
    constexpr int BOARD = 64;
    const Rgb light = rgb(0xC99A62), dark = rgb(0x7C5030);
    Canvas c = canvas_new(TILE, TILE, light);
    // The boards are offset by half a board, so the tile's top and bottom edges fall in
    // the middle of one and its grain runs straight across them.
    for (int y = 0; y < TILE; y++) {
        int b = ((y + BOARD / 2) / BOARD) % (TILE / BOARD);
        float y0 = (float)(b * BOARD - BOARD / 2);
        float joint = 30.0f + (float)(pic_hash(b, 0, 41) % 196);
        float tone = 0.93f + 0.12f * pic_rand(b, 1, 41);
        for (int x = 0; x < TILE; x++) {
            float fx = (float)x + 0.5f, fy = (float)y + 0.5f;
            float along = wrapf(fx - joint, (float)TILE);
            float across = wrapf(fy - y0, (float)TILE);
            float g = pic_wood(along, across, 11.0f, 500 + (uint32_t)b);
            Rgb col = mix(light, dark, g) * tone;
            // The boards' rounded edges catch the light above and fall into shade below.
            float top = across, bottom = (float)BOARD - across;
            float edge = std::fmin(along, (float)TILE - along);
            col = col * (1.0f + 0.10f * std::exp(-top / 1.6f) - 0.16f * std::exp(-bottom / 1.8f) -
                         0.10f * std::exp(-edge / 1.6f));
            float groove = std::fmax(band(top, 0.6f), band(bottom, 0.6f));
            groove = std::fmax(groove, band(edge, 0.5f));
            c.at(x, y) = mix(col, rgb(0x3A2414), groove * 0.8f);
        }
    }
    return c;
}

// Shading of a moulding across its height: t runs 0..1 from its top to its bottom; a
// rounded bead, a cove and a fillet, lit from above.
static float moulding(float t)
{
    float bead = std::cos((t - 0.25f) * PIC_PI * 2.0f) * 0.5f + 0.5f;
    float cove = t > 0.5f ? 0.65f - 0.35f * std::sin((t - 0.5f) * PIC_PI * 2.0f) : bead;
    return t < 0.5f ? 0.55f + 0.4f * bead : cove;
}

Canvas pic_draw_wall(void)
{
    // Rows: 0-2 dark top edge, 3-19 cornice, 20-160 fabric, 161-173 chair rail,
    // 174-237 wainscot with two raised panels per cell, 238-252 skirting, 253-255 dark.
    // The gallery tints everything but the three edge rows, so the light and dark of the
    // rows between carry the look.
    const Rgb trim = rgb(0x3B2718), fabric = rgb(0xC9B48C), wood = rgb(0xA8845A), paint = rgb(0xE8DCC0);
    Canvas c = canvas_new(TILE, TILE, fabric);
    for (int y = 0; y < TILE; y++)
        for (int x = 0; x < TILE; x++) {
            float fx = (float)x + 0.5f, fy = (float)y + 0.5f;
            Rgb col;
            if (y < 3 || y > 252) {
                col = trim * (y == 1 || y == 254 ? 1.25f : 1.0f);
            } else if (y < 20) {
                col = paint * moulding((fy - 3.0f) / 17.0f);
            } else if (y < 161) {
                // Damask: a trellis of satin diamonds with a quatrefoil in each, woven
                // into a linen ground; four diamonds across a cell so it repeats.
                float u = fx / 64.0f, v = (fy - 20.0f) / 70.0f;
                float du = u - std::floor(u) - 0.5f, dv = v - std::floor(v) - 0.5f;
                float diamond = std::fabs(du) + std::fabs(dv);
                float trellis = band((diamond - 0.5f) * 64.0f, 0.9f);
                float ang = std::atan2(dv * 70.0f, du * 64.0f);
                float rad = std::sqrt(du * du * 4096.0f + dv * dv * 4900.0f);
                float petal = 9.0f + 5.0f * std::fabs(std::cos(ang * 2.0f));
                float flower = clamp01(petal - rad + 0.5f) - 0.6f * clamp01(3.5f - rad);
                float linen = pic_noise(fx * 0.875f, fy * 0.12f, 224, 0, 5) * 0.5f +
                              pic_noise(fx * 0.125f, fy * 0.9f, 32, 0, 6) * 0.5f;
                float mottle = pic_fbm(fx / 32.0f, fy / 32.0f, 8, 0, 3, 8);
                float shade = 0.92f + 0.08f * trellis + 0.07f * flower + 0.04f * linen + 0.04f * mottle;
                // The cornice throws a soft shadow onto the fabric below it.
                shade *= 1.0f - 0.25f * std::exp(-(fy - 20.0f) / 5.0f);
                col = fabric * shade;
            } else if (y < 174) {
                col = wood * (0.55f + 0.55f * moulding((fy - 161.0f) / 13.0f));
            } else if (y < 238) {
                // Two raised panels in each 64-unit cell: stiles, a bevel lit from the top
                // left, and the flat field, all in painted wood with a little grain.
                float lx = wrapf(fx, 128.0f), ly = fy - 174.0f;
                float inset = std::fmin(std::fmin(lx - 10.0f, 118.0f - lx), std::fmin(ly - 8.0f, 56.0f - ly));
                float g = pic_fbm(fx / 16.0f, fy / 3.0f, 16, 0, 3, 77) * 0.5f + 0.5f;
                Rgb base = wood * (0.92f + 0.12f * (1.0f - g));
                float shade = 1.0f;
                if (inset < 0) {
                    shade = 0.95f;
                } else if (inset < 7) {
                    // Which bevel face: the nearest side of the panel decides the light.
                    float dl = lx - 10.0f, dr = 118.0f - lx, dt = ly - 8.0f, db = 56.0f - ly;
                    float m = std::fmin(std::fmin(dl, dr), std::fmin(dt, db));
                    shade = m == dt ? 1.22f : m == dl ? 1.1f : m == dr ? 0.82f : 0.72f;
                } else {
                    shade = 1.04f;
                }
                // The bevel's outer and inner corners get a crisp line.
                float line = std::fmax(band(inset, 0.45f), band(inset - 7.0f, 0.4f));
                shade *= 1.0f - 0.18f * line;
                shade *= 1.0f - 0.3f * std::exp(-ly / 2.5f);  // the rail's shadow
                col = base * shade;
            } else {
                float t = (fy - 238.0f) / 15.0f;
                float bead = t < 0.25f ? 1.15f - 0.5f * std::fabs(t - 0.12f) * 4.0f : 0.8f + 0.1f * t;
                col = wood * 0.8f * bead;
            }
            c.at(x, y) = col;
        }
    return c;
}

Canvas pic_draw_floor(void)
{
    // Basket-weave parquet: 64-pixel squares of four strips, the squares turning by a
    // quarter in a chequer; four squares across keeps the chequer whole across the edges.
    constexpr int BLOCK = 64, STRIP = 16;
    const Rgb light = rgb(0xC08A52), dark = rgb(0x6E4223);
    Canvas c = canvas_new(TILE, TILE, light);
    for (int y = 0; y < TILE; y++)
        for (int x = 0; x < TILE; x++) {
            float fx = (float)x + 0.5f, fy = (float)y + 0.5f;
            int bx = x / BLOCK, by = y / BLOCK;
            bool across = ((bx + by) & 1) != 0;
            float lx = fx - (float)(bx * BLOCK), ly = fy - (float)(by * BLOCK);
            float along = across ? lx : ly, side = across ? ly : lx;
            int k = (int)(side / STRIP);
            float in = side - (float)(k * STRIP);
            uint32_t seed = pic_hash(bx * 4 + k, by, 91);
            float g = pic_wood(along + (float)(seed % 400), in + (float)(seed % 97), 5.0f, seed);
            float tone = 0.86f + 0.2f * pic_rand(bx * 4 + k, by, 92) + (across ? 0.04f : -0.02f);
            Rgb col = mix(light, dark, g * 0.9f) * tone;
            // Strip edges: a fine dark joint, a light top edge, a shaded bottom edge.
            float dj = std::fmin(in, (float)STRIP - in);
            float de = std::fmin(along, (float)BLOCK - along);
            col = col * (1.0f + 0.08f * std::exp(-in / 1.2f) - 0.1f * std::exp(-((float)STRIP - in) / 1.2f));
            float joint = std::fmax(band(dj, 0.45f), band(de, 0.55f));
            c.at(x, y) = mix(col, rgb(0x2E1B0E), joint * 0.75f);
        }
    return c;
}

Canvas pic_draw_ceiling(void)
{
    // Coffers of 128 pixels: beams along the tile's edges and through its middle, two
    // stepped mouldings lit from one side, a recessed field and a rosette at its centre.
    constexpr float COFFER = 128.0f;
    const Rgb plaster = rgb(0xEDE3CC), brass = rgb(0xC29A4C);
    Canvas c = canvas_new(TILE, TILE, plaster);
    for (int y = 0; y < TILE; y++)
        for (int x = 0; x < TILE; x++) {
            float fx = (float)x + 0.5f, fy = (float)y + 0.5f;
            float lx = wrapf(fx, COFFER), ly = wrapf(fy, COFFER);
            float dl = lx, dr = COFFER - lx, dt = ly, db = COFFER - ly;
            float e = std::fmin(std::fmin(dl, dr), std::fmin(dt, db));
            // Sloped faces look toward the coffer's centre; light comes from the top left.
            float face = e == dl ? 1.12f : e == dt ? 1.2f : e == dr ? 0.8f : 0.72f;
            float shade;
            Rgb col = plaster;
            if (e < 10) {
                shade = 1.06f - 0.02f * pic_noise(fx * 0.25f, fy * 0.25f, 64, 64, 3);
            } else if (e < 15) {
                shade = face;
            } else if (e < 19) {
                shade = 0.97f;
            } else if (e < 25) {
                shade = 0.5f + 0.5f * face;
                shade = shade * (1.0f - 0.08f * (e - 19.0f) / 6.0f);
            } else {
                float cx = lx - COFFER / 2, cy = ly - COFFER / 2;
                float r = std::sqrt(cx * cx + cy * cy), a = std::atan2(cy, cx);
                shade = 0.9f;
                // The rosette: eight petals around a boss, lit from the top left.
                float petal = 15.0f + 6.0f * std::fabs(std::cos(a * 4.0f));
                float in_petal = clamp01(petal - r + 0.5f);
                float lit = 1.0f + 0.25f * (-(cx + cy) / (r + 1.0f)) * clamp01(r / 6.0f);
                shade = lerp(shade, 1.05f * lit, in_petal);
                float boss = clamp01(6.0f - r + 0.5f);
                col = mix(plaster, brass, boss + 0.3f * band(r - petal, 0.5f) * in_petal);
                // Soft shade where the field meets the moulding above it.
                shade *= 1.0f - 0.18f * std::exp(-(e - 25.0f) / 3.0f);
            }
            // Fine lines between the steps, and a brass fillet on the beam.
            float lines = std::fmax(std::fmax(band(e - 10.0f, 0.4f), band(e - 15.0f, 0.4f)), band(e - 25.0f, 0.5f));
            shade *= 1.0f - 0.15f * lines;
            col = mix(col, brass, band(e - 19.0f + 2.0f, 0.9f) * 0.85f + band(e - 4.0f, 0.5f) * 0.6f);
            c.at(x, y) = col * shade;
        }
    return c;
}
