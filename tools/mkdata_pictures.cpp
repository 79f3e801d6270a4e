// The game's pictures: the canvas, noise, lettering and JPEG helpers they share, and the
// list of files they become.
#include "tools/mkdata_pictures.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "image/imgfile.h"
#include "image/jpeg.h"
#include "platform/memory.h"

Rgb pic_ramp(const RampStop *stops, int n, float t)
{
    if (t <= stops[0].at)
        return rgb(stops[0].colour);
    for (int i = 1; i < n; i++)
        if (t < stops[i].at) {
            float k = (t - stops[i - 1].at) / (stops[i].at - stops[i - 1].at);
            return mix(rgb(stops[i - 1].colour), rgb(stops[i].colour), k);
        }
    return rgb(stops[n - 1].colour);
}

Canvas canvas_new(int w, int h, Rgb fill)
{
    Canvas c;
    c.w = w, c.h = h;
    c.px.assign((size_t)w * h, fill);
    return c;
}

void canvas_blend(Canvas *c, int x, int y, Rgb colour, float a)
{
    if (x < 0 || y < 0 || x >= c->w || y >= c->h || a <= 0)
        return;
    Rgb &p = c->at(x, y);
    p = mix(p, colour, a > 1 ? 1 : a);
}

Rgb canvas_sample(const Canvas *c, float x, float y)
{
    x -= 0.5f, y -= 0.5f;
    int x0 = (int)std::floor(x), y0 = (int)std::floor(y);
    float fx = x - (float)x0, fy = y - (float)y0;
    auto px = [c](int xx, int yy) {
        xx = xx < 0 ? 0 : xx >= c->w ? c->w - 1 : xx;
        yy = yy < 0 ? 0 : yy >= c->h ? c->h - 1 : yy;
        return c->at(xx, yy);
    };
    return mix(mix(px(x0, y0), px(x0 + 1, y0), fx), mix(px(x0, y0 + 1), px(x0 + 1, y0 + 1), fx), fy);
}

Mask mask_new(int w, int h)
{
    Mask m;
    m.w = w, m.h = h;
    m.v.assign((size_t)w * h, 0.0f);
    return m;
}

// One box pass along a line of n values `step` apart, through a scratch line.
static void box_line(float *line, int n, int step, int radius, bool wrap, std::vector<float> &tmp)
{
    tmp.resize((size_t)n);
    for (int i = 0; i < n; i++)
        tmp[(size_t)i] = line[(size_t)i * step];
    auto get = [&](int i) -> float {
        if (wrap)
            return tmp[(size_t)(((i % n) + n) % n)];
        return i < 0 || i >= n ? 0.0f : tmp[(size_t)i];
    };
    float sum = 0;
    for (int i = -radius; i <= radius; i++)
        sum += get(i);
    float inv = 1.0f / (float)(2 * radius + 1);
    for (int i = 0; i < n; i++) {
        line[(size_t)i * step] = sum * inv;
        sum += get(i + radius + 1) - get(i - radius);
    }
}

void mask_blur(Mask *m, int radius, bool wrap)
{
    if (radius <= 0)
        return;
    std::vector<float> tmp;
    for (int pass = 0; pass < 3; pass++) {
        for (int y = 0; y < m->h; y++)
            box_line(&m->v[(size_t)y * m->w], m->w, 1, radius, wrap, tmp);
        for (int x = 0; x < m->w; x++)
            box_line(&m->v[(size_t)x], m->h, m->w, radius, wrap, tmp);
    }
}

void canvas_paint(Canvas *c, const Mask *m, int dx, int dy, Rgb colour, float opacity)
{
    for (int y = 0; y < m->h; y++)
        for (int x = 0; x < m->w; x++)
            canvas_blend(c, dx + x, dy + y, colour, m->at(x, y) * opacity);
}

uint32_t pic_hash(int32_t x, int32_t y, uint32_t seed)
{
    uint32_t h = seed * 0x9E3779B9u ^ (uint32_t)x * 0x85EBCA6Bu ^ (uint32_t)y * 0xC2B2AE35u;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

float pic_rand(int32_t x, int32_t y, uint32_t seed)
{
    return (float)(pic_hash(x, y, seed) >> 8) / 16777216.0f;
}

// Sixteen evenly spread unit gradients: a table keeps the lattice free of trigonometry.
static const float GRADIENTS[16][2] = {
    {1.0f, 0.0f},      {0.9239f, 0.3827f},   {0.7071f, 0.7071f},   {0.3827f, 0.9239f},
    {0.0f, 1.0f},      {-0.3827f, 0.9239f},  {-0.7071f, 0.7071f},  {-0.9239f, 0.3827f},
    {-1.0f, 0.0f},     {-0.9239f, -0.3827f}, {-0.7071f, -0.7071f}, {-0.3827f, -0.9239f},
    {0.0f, -1.0f},     {0.3827f, -0.9239f},  {0.7071f, -0.7071f},  {0.9239f, -0.3827f},
};

float pic_noise(float x, float y, int period_x, int period_y, uint32_t seed)
{
    int x0 = (int)std::floor(x), y0 = (int)std::floor(y);
    float fx = x - (float)x0, fy = y - (float)y0;
    auto corner = [&](int ix, int iy, float dx, float dy) {
        if (period_x > 0)
            ix = ((ix % period_x) + period_x) % period_x;
        if (period_y > 0)
            iy = ((iy % period_y) + period_y) % period_y;
        const float *g = GRADIENTS[pic_hash(ix, iy, seed) & 15];
        return g[0] * dx + g[1] * dy;
    };
    float ux = fx * fx * fx * (fx * (fx * 6 - 15) + 10);
    float uy = fy * fy * fy * (fy * (fy * 6 - 15) + 10);
    float a = lerp(corner(x0, y0, fx, fy), corner(x0 + 1, y0, fx - 1, fy), ux);
    float b = lerp(corner(x0, y0 + 1, fx, fy - 1), corner(x0 + 1, y0 + 1, fx - 1, fy - 1), ux);
    return lerp(a, b, uy) * 1.414f;
}

float pic_fbm(float x, float y, int period_x, int period_y, int octaves, uint32_t seed)
{
    float sum = 0, weight = 0.5f, total = 0;
    for (int i = 0; i < octaves; i++) {
        sum += weight * pic_noise(x, y, period_x, period_y, seed + (uint32_t)i * 101u);
        total += weight;
        x *= 2, y *= 2, period_x *= 2, period_y *= 2, weight *= 0.5f;
    }
    return sum / total;
}

float pic_wood(float along, float across, float ring, uint32_t seed)
{
    float off = (float)(seed % 977);
    // The rings wander slowly along the board and bunch here and there, as sawn oak does.
    float warp = pic_fbm(along * 0.004f + off, across * 0.02f, 0, 0, 3, seed) * 1.1f;
    float bunch = pic_noise(along * 0.002f + off, across * 0.012f, 0, 0, seed + 3) * 1.4f;
    // Flat-sawn boards show arches where the saw cut the rings at a slant.
    float a0 = along - (float)(seed % 211) - 20.0f;
    float bend = (seed & 1) ? 0.00006f : -0.00005f;
    float arch = a0 * a0 * bend * (1.0f + 0.6f * pic_noise(across * 0.02f, off, 0, 0, seed + 5));
    float r = across / ring + bunch + warp + arch + along * 0.001f * (float)((int)(seed % 5) - 2);
    float t = r - std::floor(r);
    float late = smooth(0.3f, 0.8f, t) * (1 - smooth(0.82f, 1.0f, t));
    float fibre = pic_fbm(along * 0.012f, across * 0.7f + off, 0, 0, 4, seed + 7) * 0.5f + 0.5f;
    float pore = pic_noise(along * 0.2f, across * 1.4f + off, 0, 0, seed + 9);
    pore = pore > 0.4f ? (pore - 0.4f) * 2.5f : 0.0f;
    float tone = pic_fbm(along * 0.008f, across * 0.03f, 0, 0, 2, seed + 13) * 0.5f + 0.5f;
    return clamp01(0.42f * late + 0.28f * fibre * fibre + 0.3f * pore * (0.3f + late) + 0.18f * tone - 0.05f);
}

Mask pic_text(const MkData *mk, const char *font_file, float size, const char *text, float spacing, int pad,
              int *origin_x, int *origin_y)
{
    MkInk ink = mk_text_ink((std::string(mk->fonts) + "/" + font_file).c_str(), size, text, spacing);
    Mask out = mask_new(ink.w + 2 * pad, ink.h + 2 * pad);
    for (int y = 0; y < ink.h; y++)
        for (int x = 0; x < ink.w; x++)
            out.at(x + pad, y + pad) = ink.a[(size_t)y * ink.w + x];
    *origin_x = ink.origin_x + pad;
    *origin_y = ink.origin_y + pad;
    return out;
}

void pic_write_jpeg(const MkData *mk, const char *name, const Canvas *c, int quality)
{
    Picture *p = picture_create(c->w, c->h, IMG_BGR);
    if (!p)
        mk_fail("%s: no memory for %i x %i", name, c->w, c->h);
    // A faint ordered dither of less than one level keeps skies and glows free of bands.
    for (int y = 0; y < c->h; y++) {
        uint8_t *row = p->colour + (ptrdiff_t)y * p->colour_stride;
        for (int x = 0; x < c->w; x++) {
            float d = ((float)((x * 7 + y * 13) % 16) + 0.5f) / 16.0f - 0.5f;
            Rgb v = c->at(x, y);
            float ch[3] = {v.b, v.g, v.r};
            for (int k = 0; k < 3; k++) {
                float f = clamp01(ch[k]) * 255.0f + d * 0.9f + 0.5f;
                row[x * 3 + k] = (uint8_t)(f < 0 ? 0 : f > 255 ? 255 : f);
            }
        }
    }
    mk_write_encoded(mk, name, [&](FILE *f) { return jpeg_write(f, p, quality); });
    picture_free(p);
}

// The sample boxes: file name, title, drawing.
static const struct {
    const char *file;
    const char *title;
    Canvas (*draw)(int w, int h);
} SAMPLES[] = {
    {"lake.jpg", "Evening at Silver Lake", pic_draw_lake},
    {"fractal.jpg", "Seahorse Valley", pic_draw_fractal},
    {"glass.jpg", "The Rose Window", pic_draw_glass},
    {"night.jpg", "Pines under the Milky Way", pic_draw_night},
    {"zellige.jpg", "Courtyard Tiles of Fez", pic_draw_zellige},
    {"forest.jpg", "Autumn Path", pic_draw_forest},
};
constexpr int SAMPLE_W = 1024, SAMPLE_H = 768;

void mk_pictures(const MkData *mk)
{
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    const struct {
        const char *name;
        Canvas (*draw)(void);
    } tiles[] = {
        {"img/background.jpg", pic_draw_background},
        {"img/gallery/wall.jpg", pic_draw_wall},
        {"img/gallery/floor.jpg", pic_draw_floor},
        {"img/gallery/ceiling.jpg", pic_draw_ceiling},
    };
    for (const auto &t : tiles) {
        Canvas c = t.draw();
        pic_write_jpeg(mk, t.name, &c, 92);
    }
    Canvas intro = pic_draw_intro(mk);
    pic_write_jpeg(mk, "img/intro.jpg", &intro, 92);

    std::string list;
    for (const auto &s : SAMPLES) {
        Canvas c = s.draw(SAMPLE_W, SAMPLE_H);
        std::string name = std::string("samples/") + s.file;
        pic_write_jpeg(mk, name.c_str(), &c, 90);
        list += std::string(s.file) + "\t" + s.title + "\n";
    }
    mk_write(mk, "samples/samples.txt", list.data(), list.size());
}
