// Lettering for the generated pictures: a line of text laid out with FreeType, its
// kerning and extra letter spacing, as coverage trimmed to its ink.
#include <cmath>
#include <cstring>
#include <ft2build.h>
#include FT_FREETYPE_H

#include "tools/mkdata.h"

MkInk mk_text_ink(const char *font_path, float size, const char *text, float spacing)
{
    FT_Library lib;
    FT_Face face;
    if (FT_Init_FreeType(&lib))
        mk_fail("mk_text_ink: FreeType does not start");
    if (FT_New_Face(lib, font_path, 0, &face))
        mk_fail("mk_text_ink: cannot open %s", font_path);
    FT_Set_Char_Size(face, 0, (FT_F26Dot6)(size * 64), 72, 72);

    // A generous field first; the ink is trimmed out of it at the end.
    int n = (int)strlen(text);
    int big_w = (int)(size * 1.2f + spacing + 2) * (n + 2), big_h = (int)(size * 2.5f);
    std::vector<float> big((size_t)big_w * big_h, 0.0f);
    int pen0 = (int)size, base = (int)(size * 1.7f);
    float pen = (float)pen0;
    FT_UInt prev = 0;
    for (int i = 0; i < n; i++) {
        FT_UInt glyph = FT_Get_Char_Index(face, (unsigned char)text[i]);
        if (!glyph)
            mk_fail("mk_text_ink: %s has no glyph for '%c'", font_path, text[i]);
        if (prev && FT_HAS_KERNING(face)) {
            FT_Vector k;
            FT_Get_Kerning(face, prev, glyph, FT_KERNING_DEFAULT, &k);
            pen += (float)k.x / 64.0f;
        }
        if (FT_Load_Glyph(face, glyph, FT_LOAD_RENDER))
            mk_fail("mk_text_ink: cannot render '%c' of %s", text[i], font_path);
        FT_GlyphSlot g = face->glyph;
        int gx = (int)std::lround(pen) + g->bitmap_left, gy = base - g->bitmap_top;
        for (unsigned r = 0; r < g->bitmap.rows; r++)
            for (unsigned c = 0; c < g->bitmap.width; c++) {
                int x = gx + (int)c, y = gy + (int)r;
                if (x < 0 || y < 0 || x >= big_w || y >= big_h)
                    continue;
                float v = (float)g->bitmap.buffer[r * (unsigned)g->bitmap.pitch + c] / 255.0f;
                float &d = big[(size_t)y * big_w + x];
                d = v > d ? v : d;
            }
        pen += (float)g->advance.x / 64.0f + spacing;
        prev = glyph;
    }
    FT_Done_Face(face);
    FT_Done_FreeType(lib);

    int x0 = big_w, y0 = big_h, x1 = -1, y1 = -1;
    for (int y = 0; y < big_h; y++)
        for (int x = 0; x < big_w; x++)
            if (big[(size_t)y * big_w + x] > 0) {
                x0 = x < x0 ? x : x0, x1 = x > x1 ? x : x1;
                y0 = y < y0 ? y : y0, y1 = y > y1 ? y : y1;
            }
    if (x1 < 0)
        mk_fail("mk_text_ink: \"%s\" leaves no ink", text);
    MkInk ink = {x1 - x0 + 1, y1 - y0 + 1, pen0 - x0, base - y0, {}};
    ink.a.resize((size_t)ink.w * ink.h);
    for (int y = y0; y <= y1; y++)
        memcpy(&ink.a[(size_t)(y - y0) * ink.w], &big[(size_t)y * big_w + x0], (size_t)ink.w * sizeof(float));
    return ink;
}
