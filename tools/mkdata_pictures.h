// The game's pictures drawn by code: a float colour canvas, soft masks, periodic noise for
// seamless tiles, FreeType lettering, and the JPEG writer every picture leaves through.
// Everything is plain float math over seeded hashes, so the same build gives the same bytes.
#pragma once
#include <cmath>
#include <cstdint>
#include <vector>

#include "tools/mkdata.h"

constexpr float PIC_PI = 3.14159265358979f;

struct Rgb {
    float r, g, b;
};

// 0xRRGGBB to floats 0..1.
inline Rgb rgb(uint32_t hex)
{
    return {(float)((hex >> 16) & 255) / 255.0f, (float)((hex >> 8) & 255) / 255.0f, (float)(hex & 255) / 255.0f};
}
inline Rgb operator+(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
inline Rgb operator-(Rgb a, Rgb b) { return {a.r - b.r, a.g - b.g, a.b - b.b}; }
inline Rgb operator*(Rgb a, float k) { return {a.r * k, a.g * k, a.b * k}; }
inline Rgb operator*(Rgb a, Rgb b) { return {a.r * b.r, a.g * b.g, a.b * b.b}; }
inline Rgb mix(Rgb a, Rgb b, float t) { return a + (b - a) * t; }
inline float lerp(float a, float b, float t) { return a + (b - a) * t; }
inline float clamp01(float v) { return v < 0 ? 0 : v > 1 ? 1 : v; }
inline float smooth(float e0, float e1, float x)
{
    float t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}
inline float luma(Rgb c) { return 0.299f * c.r + 0.587f * c.g + 0.114f * c.b; }

// A colour ramp: stops in rising order of `at`; before the first and after the last the
// end colours hold.
struct RampStop {
    float at;
    uint32_t colour;
};
Rgb pic_ramp(const RampStop *stops, int n, float t);

// An RGB picture of floats, 0..1 per channel, rows top to bottom.
struct Canvas {
    int w = 0, h = 0;
    std::vector<Rgb> px;
    Rgb &at(int x, int y) { return px[(size_t)y * w + x]; }
    const Rgb &at(int x, int y) const { return px[(size_t)y * w + x]; }
};
Canvas canvas_new(int w, int h, Rgb fill);
// Lays colour c over pixel (x, y) with opacity a; outside the canvas nothing happens.
void canvas_blend(Canvas *c, int x, int y, Rgb colour, float a);
// Bilinear sample at pixel coordinates (pixel centres at +0.5), edges clamped.
Rgb canvas_sample(const Canvas *c, float x, float y);

// A field of floats: coverage, height or shade.
struct Mask {
    int w = 0, h = 0;
    std::vector<float> v;
    float &at(int x, int y) { return v[(size_t)y * w + x]; }
    float at(int x, int y) const { return v[(size_t)y * w + x]; }
    // Outside the field: 0.
    float get(int x, int y) const { return x < 0 || y < 0 || x >= w || y >= h ? 0.0f : v[(size_t)y * w + x]; }
};
Mask mask_new(int w, int h);
// Three box passes of `radius` pixels each way, close to a Gaussian; `wrap` blurs a
// seamless tile across its edges, otherwise the outside counts as 0.
void mask_blur(Mask *m, int radius, bool wrap);
// Lays colour c over the canvas where the mask covers, mask pixel (0, 0) at (dx, dy).
void canvas_paint(Canvas *c, const Mask *m, int dx, int dy, Rgb colour, float opacity);

// Lays colour over the pixels of the box x0..x1, y0..y1 (inclusive) by the share of
// 4 x 4 sample points inside the shape: inside(x, y) in pixel coordinates. For shapes
// with no easy distance, such as a pine's ragged outline.
template <class Inside>
void pic_fill(Canvas *c, int x0, int y0, int x1, int y1, Rgb colour, float opacity, Inside inside)
{
    x0 = x0 < 0 ? 0 : x0, y0 = y0 < 0 ? 0 : y0;
    x1 = x1 >= c->w ? c->w - 1 : x1, y1 = y1 >= c->h ? c->h - 1 : y1;
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++) {
            int n = 0;
            for (int k = 0; k < 16; k++)
                n += inside((float)x + ((float)(k & 3) + 0.5f) / 4.0f, (float)y + ((float)(k >> 2) + 0.5f) / 4.0f) ? 1 : 0;
            if (n)
                canvas_blend(c, x, y, colour, opacity * (float)n / 16.0f);
        }
}

// A 32-bit hash of a lattice point and a seed, and the same as a float 0..1.
uint32_t pic_hash(int32_t x, int32_t y, uint32_t seed);
float pic_rand(int32_t x, int32_t y, uint32_t seed);
// Gradient noise about -1..1 with a lattice of one unit; the lattice repeats every
// period_x by period_y units (0: never), so a tile made of it is seamless.
float pic_noise(float x, float y, int period_x, int period_y, uint32_t seed);
// Octaves of pic_noise, each twice the frequency and half the weight of the last; the
// periods double with the frequency so every octave repeats where the first does.
float pic_fbm(float x, float y, int period_x, int period_y, int octaves, uint32_t seed);

// Wood grain at a point of a board, `along` and `across` its fibres in pixels: 0 for the
// light early wood up to 1 for the dark late-wood bands and pores. `ring` is the pixels
// between growth rings; each seed is a different board.
float pic_wood(float along, float across, float ring, uint32_t seed);

// Renders `text` with a TrueType file of the DejaVu folder at `size` pixels, `spacing`
// extra pixels between letters, into a coverage mask trimmed to the ink plus `pad` on
// every side. *origin_x / *origin_y: where the pen started and the baseline lie in it.
// A missing font or glyph ends the generator.
Mask pic_text(const MkData *mk, const char *font_file, float size, const char *text, float spacing, int pad,
              int *origin_x, int *origin_y);

// Encodes the canvas as a JPEG of the given quality and writes it as pack entry `name`.
void pic_write_jpeg(const MkData *mk, const char *name, const Canvas *c, int quality);

// The pictures themselves, one drawing per file.
Canvas pic_draw_background(void);  // 256 x 256 seamless wood
Canvas pic_draw_wall(void);        // 256 x 256, seamless across
Canvas pic_draw_floor(void);       // 256 x 256 seamless parquet
Canvas pic_draw_ceiling(void);     // 256 x 256 seamless coffers
Canvas pic_draw_intro(const MkData *mk);
Canvas pic_draw_lake(int w, int h);
Canvas pic_draw_fractal(int w, int h);
Canvas pic_draw_glass(int w, int h);
Canvas pic_draw_night(int w, int h);
Canvas pic_draw_zellige(int w, int h);
Canvas pic_draw_forest(int w, int h);
