// The fonts of the pack: the three bitmap-font sheets, drawn with FreeType into the glyph
// boxes of res/glyphs.cpp, and the TrueType files the system-font text reads at run time.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/imgfile.h"
#include "res/lang.h"
#include "tools/mkdata.h"

namespace {

// The TrueType files copied into the pack under "fonts/".
constexpr const char *TTF_FILES[] = {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSerif.ttf"};
constexpr int TTF_COUNT = 3;

// How each sheet is drawn. Full hinting rendered in grey puts stems on whole pixels with
// soft edges, the crispest small print FreeType gives. The medium font is a narrowed bold
// whose stems full hinting would thin to one pixel, so it keeps light hinting. Either way
// each glyph is slid by the fraction of a pixel that draws it sharpest within its box
// (for fully hinted glyphs that is almost always none).
struct SheetFace {
    int ttf;            // index into TTF_FILES
    FT_F26Dot6 width;   // character size in 1/64 pixel
    FT_F26Dot6 height;
    FT_Int32 load;      // hinting
    int32_t baseline;   // rows from the top of a cell to the baseline
};
constexpr SheetFace SHEET_FACES[3] = {
    {1, 11 * 64, 11 * 64, FT_LOAD_TARGET_MONO, 10},   // font12
    {1, 736, 14 * 64, FT_LOAD_TARGET_LIGHT, 13},      // font15: 11.5 x 14 px
    {2, 19 * 64, 19 * 64, FT_LOAD_TARGET_MONO, 17},   // font20
};

constexpr int SHIFT_STEPS = 8;  // fractions of a pixel tried per glyph, 1/8 apart

struct Sheet {
    int32_t width, height;
    std::vector<uint8_t> px;
};

// The inked part of a rendered glyph.
struct Ink {
    int32_t x0, x1, y0, y1;  // inclusive columns and rows of the bitmap; x1 < x0 when empty
    int64_t sharpness;       // sum of squared coverage: higher when fewer pixels are grey
};

Ink measure(const FT_Bitmap &b)
{
    Ink ink = {(int32_t)b.width, -1, (int32_t)b.rows, -1, 0};
    for (int32_t y = 0; y < (int32_t)b.rows; y++)
        for (int32_t x = 0; x < (int32_t)b.width; x++) {
            int v = b.buffer[y * b.pitch + x];
            if (!v)
                continue;
            ink.x0 = std::min(ink.x0, x);
            ink.x1 = std::max(ink.x1, x);
            ink.y0 = std::min(ink.y0, y);
            ink.y1 = std::max(ink.y1, y);
            ink.sharpness += v * v;
        }
    return ink;
}

void render(FT_Face face, const SheetFace &sf, int c, FT_Pos shift, const char *sheet)
{
    if (FT_Load_Char(face, (FT_ULong)c, sf.load))
        mk_fail("%s: cannot load character %i", sheet, c);
    FT_Outline_Translate(&face->glyph->outline, shift, 0);
    if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) || face->glyph->bitmap.pixel_mode != FT_PIXEL_MODE_GRAY)
        mk_fail("%s: cannot render character %i", sheet, c);
}

// Draws character c into its box: of the sub-pixel positions whose ink fits the box, the
// sharpest; the ink at its own left bearing, moved in only as far as the box demands.
void draw_glyph(FT_Face face, const SheetFace &sf, const BitmapFontInfo &info, int c, Sheet *s)
{
    const Glyph &box = info.glyphs[c - 32];
    FT_Pos best = -1;
    int64_t best_sharpness = -1;
    for (int k = 0; k < SHIFT_STEPS; k++) {
        FT_Pos shift = k * 64 / SHIFT_STEPS;
        render(face, sf, c, shift, info.sheet);
        Ink ink = measure(face->glyph->bitmap);
        if (ink.x1 - ink.x0 + 1 <= box.width && ink.sharpness > best_sharpness) {
            best = shift;
            best_sharpness = ink.sharpness;
        }
    }
    if (best < 0)
        mk_fail("%s: character %i is wider than its box of %i", info.sheet, c, box.width);
    render(face, sf, c, best, info.sheet);
    const FT_Bitmap &b = face->glyph->bitmap;
    Ink ink = measure(b);
    if (ink.x1 < ink.x0)
        return;  // the space
    int32_t w = ink.x1 - ink.x0 + 1;
    int32_t dx = std::clamp(face->glyph->bitmap_left + ink.x0, 0, box.width - w);
    int32_t top = sf.baseline - face->glyph->bitmap_top + ink.y0;
    if (top < 0 || top + (ink.y1 - ink.y0) >= info.height)
        mk_fail("%s: character %i does not fit the cell height %i", info.sheet, c, info.height);
    for (int32_t y = ink.y0; y <= ink.y1; y++) {
        uint8_t *row = &s->px[(size_t)(box.y + top + y - ink.y0) * s->width + box.x + dx];
        memcpy(row, &b.buffer[y * b.pitch + ink.x0], (size_t)w);
    }
}

// Character 127 has no picture in the faces; it is shown as a small filled box standing
// on the baseline, as high as a lower-case 'x' and one pixel in from either side.
void draw_box_glyph(FT_Face face, const SheetFace &sf, const BitmapFontInfo &info, Sheet *s)
{
    const Glyph &box = info.glyphs[127 - 32];
    render(face, sf, 'x', 0, info.sheet);
    int32_t h = face->glyph->bitmap_top;
    int32_t w = box.width - 2;
    if (w < 1 || h < 1 || h > sf.baseline)
        mk_fail("%s: no room for the box of character 127", info.sheet);
    for (int32_t y = sf.baseline - h; y < sf.baseline; y++)
        memset(&s->px[(size_t)(box.y + y) * s->width + box.x + 1], 255, (size_t)w);
}

void make_sheet(const MkData *mk, FT_Face face, const SheetFace &sf, const BitmapFontInfo &info)
{
    if (FT_Set_Char_Size(face, sf.width, sf.height, 72, 72))
        mk_fail("%s: the face refuses its size", info.sheet);
    Sheet s = {info.sheet_width, 3 * info.height, {}};
    s.px.assign((size_t)s.width * s.height, 0);
    for (int c = 32; c < 127; c++)
        draw_glyph(face, sf, info, c, &s);
    draw_box_glyph(face, sf, info, &s);

    ImgView v = {s.width, s.height, IMG_8BIT, s.px.data(), s.width, nullptr, 0};
    mk_write_encoded(mk, info.sheet, [&](FILE *f) { return img_write(f, &v); });
}

std::string read_ttf(const MkData *mk, const char *file)
{
    std::string path = std::string(mk->fonts) + "/" + file;
    size_t size;
    char *bytes = mk_read_file(path.c_str(), &size);
    std::string data(bytes, size);
    free(bytes);
    if (data.empty())
        mk_fail("%s: empty font file", path.c_str());
    return data;
}

}  // namespace

void mk_fonts(const MkData *mk)
{
    // The sheets are drawn from the very bytes that go into the pack.
    std::string ttf[TTF_COUNT];
    for (int i = 0; i < TTF_COUNT; i++) {
        ttf[i] = read_ttf(mk, TTF_FILES[i]);
        mk_write(mk, ("fonts/" + std::string(TTF_FILES[i])).c_str(), ttf[i].data(), ttf[i].size());
    }

    FT_Library lib;
    if (FT_Init_FreeType(&lib))
        mk_fail("fonts: FreeType failed to start");
    for (int i = 0; i < 3; i++) {
        const SheetFace &sf = SHEET_FACES[i];
        FT_Face face;
        if (FT_New_Memory_Face(lib, (const FT_Byte *)ttf[sf.ttf].data(), (FT_Long)ttf[sf.ttf].size(), 0, &face))
            mk_fail("%s: bad font file %s", lt_bitmap_fonts[i].sheet, TTF_FILES[sf.ttf]);
        make_sheet(mk, face, sf, lt_bitmap_fonts[i]);
        FT_Done_Face(face);
    }
    FT_Done_FreeType(lib);
}
