// The desktop icon: one brass jigsaw piece, lit from the upper left with the skin's own
// painter, box-filtered from its samples and written as straight-alpha RGBA PNG. Each
// size is painted afresh rather than scaled, so the small ones keep a crisp rim.
#include "tools/mkdata_icon.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <png.h>
#include <string>
#include <vector>

#include "tools/mkdata.h"
#include "tools/mkdata_skin_paint.h"

using namespace skin_art;
using namespace skin_art::skin_palette;

constexpr float ICON_KNOB = 0.18f;     // a knob's radius, in squares
constexpr float ICON_KNOB_OUT = 0.75f;  // how far its middle lies past the edge, in radii

// A jigsaw piece in the square (x0, y0) .. (x0 + s, y0 + s), knobs out on the top and
// right, sockets in on the left and bottom. Chunkier than the shelf's little piece: the
// knobs and their necks must still read as such at 16 pixels.
static Sdf icon_piece(float x0, float y0, float s)
{
    float r = s * ICON_KNOB, mid = s / 2, out = r * ICON_KNOB_OUT, neck = r * 0.65f;
    // A round head on a neck that reaches one pixel past the edge at `edge` (an x for
    // a tab across, a y for one up or down).
    auto tab = [&](float cx, float cy, float edge, bool across) {
        Sdf head = sdf_circle(cx, cy, r);
        float from = across ? cx : cy, to = edge + (edge > from ? 1.0f : -1.0f);
        float lo = std::min(from, to), hi = std::max(from, to);
        Sdf neck_box = across ? sdf_box(lo, cy - neck, hi, cy + neck, 0) : sdf_box(cx - neck, lo, cx + neck, hi, 0);
        return sdf_union(head, neck_box);
    };
    Sdf piece = sdf_box(x0, y0, x0 + s, y0 + s, s * 0.06f);
    piece = sdf_union(piece, tab(x0 + s + out, y0 + mid, x0 + s, true));   // right knob
    piece = sdf_union(piece, tab(x0 + mid, y0 - out, y0, false));          // top knob
    piece = sdf_subtract(piece, tab(x0 + out, y0 + mid, x0, true));        // left socket
    return sdf_subtract(piece, tab(x0 + mid, y0 + s - out, y0 + s, false));  // bottom socket
}

// The piece at `size` pixels, centred, with a dark rim that stays at least most of a
// pixel wide.
static Canvas icon_paint(int size)
{
    float n = (float)size;
    float margin = std::max(0.5f, n / 32);
    float s = (n - 2 * margin) / (1 + ICON_KNOB * (ICON_KNOB_OUT + 1));  // the square and a knob across
    float x0 = margin, y0 = n - margin - s;
    Sdf piece = icon_piece(x0, y0, s);
    float rim_width = std::max(0.75f, n / 40);
    Sdf face = sdf_grow(piece, -rim_width);
    Canvas c = canvas_new(size, size);
    canvas_fill(c, piece, paint_solid(rim));
    Paint base = paint_radial(x0 + s * 0.2f, y0 + s * 0.15f, s * 1.25f, brass_light, brass);
    canvas_fill(c, face, paint_bevel(face, base, std::max(1.0f, n * 0.06f), 0.6f));
    return c;
}

// The canvas's samples averaged into straight RGBA bytes, rows top first.
static std::vector<uint8_t> icon_rgba(const Canvas &c)
{
    std::vector<uint8_t> out((size_t)c.w * c.h * 4);
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
            uint8_t *o = &out[((size_t)py * c.w + px) * 4];
            float a = std::clamp(sum[3] / (SKIN_SS * SKIN_SS), 0.0f, 1.0f);
            for (int k = 0; k < 3; k++)
                o[k] = a > 0 ? (uint8_t)std::lround(std::clamp(sum[k] / sum[3], 0.0f, 1.0f) * 255) : 0;
            o[3] = (uint8_t)std::lround(a * 255);
        }
    return out;
}

// Writes the RGBA rows as a PNG file; false when libpng or the file fails.
static bool icon_write_png(FILE *f, int size, const std::vector<uint8_t> &rgba)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    std::vector<png_bytep> rows((size_t)size);
    for (int y = 0; y < size; y++)
        rows[(size_t)y] = (png_bytep)&rgba[(size_t)y * size * 4];
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, (png_uint_32)size, (png_uint_32)size, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 9);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

void mk_icons(const char *folder, int count, char **sizes)
{
    for (int i = 0; i < count; i++) {
        char *end = nullptr;
        long size = strtol(sizes[i], &end, 10);
        if (*sizes[i] == 0 || *end != 0 || size < 16 || size > 1024)
            mk_fail("icon size %s: not a number of pixels from 16 to 1024", sizes[i]);
        std::string path = std::string(folder) + "/pelmora-" + std::to_string(size) + ".png";
        // Written beside its place and renamed, so a stopped build leaves no half icon.
        std::string part = path + ".part";
        FILE *f = fopen(part.c_str(), "wb");
        if (!f)
            mk_fail("%s: %s", part.c_str(), strerror(errno));
        bool ok = icon_write_png(f, (int)size, icon_rgba(icon_paint((int)size)));
        ok = fclose(f) == 0 && ok;
        if (!ok || rename(part.c_str(), path.c_str()) != 0) {
            remove(part.c_str());
            mk_fail("%s: cannot write the icon", path.c_str());
        }
    }
}
