// System-font text with FreeType: the DejaVu faces come from the data pack and stay
// loaded while any font uses them; each font keeps the glyphs it has rendered, so a
// line of text costs a table look-up and a blend per character after its first use.
#include "res/gdi_text.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SIZES_H

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <strings.h>

#include "platform/log.h"
#include "platform/memory.h"
#include "platform/video.h"
#include "res/datapack.h"
#include "res/lang.h"

enum { GT_SANS = 0, GT_SANS_BOLD = 1, GT_SERIF = 2, GT_FACES = 3 };

static constexpr const char *gt_face_files[GT_FACES] = {
    "fonts/DejaVuSans.ttf",       // GT_SANS
    "fonts/DejaVuSans-Bold.ttf",  // GT_SANS_BOLD
    "fonts/DejaVuSerif.ttf",      // GT_SERIF
};

constexpr int GT_FONTS_MAX = 32;       // the five fonts, the splash's two, and room to spare
constexpr int GT_DIRECT = 256;         // code points below this have a slot of their own
constexpr int GT_HASHED = 128;         // the rest share slots by code point
constexpr int32_t GT_EM_MAX = 1024;    // larger requests are taken as this: glyphs stay small
constexpr FT_Fixed GT_OBLIQUE = 0x366A;  // horizontal shear of the slanted style, about 12 degrees

struct GtGlyph {
    uint32_t code;
    bool used;
    int32_t left, top;      // bitmap offset from the pen position on the baseline (top: up)
    int32_t width, rows;
    int32_t advance;        // whole pixels
    uint8_t *coverage;      // width x rows, null when the glyph has no ink
};

struct IoFont {
    bool used;
    int32_t face;
    int32_t style, charset;
    FT_Size size;
    int32_t em;             // pixels per em
    int32_t ascent, descent, height, line;
    int32_t underline_pos, underline_thickness;  // below the baseline, in pixels
    FT_Pos embolden;        // 26.6 extra stroke for a bold serif, which has no face of its own
    GtGlyph glyphs[GT_DIRECT + GT_HASHED];
};

static struct {
    FT_Library library;
    FT_Face faces[GT_FACES];
    void *face_bytes[GT_FACES];  // FreeType reads the face from these while it lives
    int32_t face_users[GT_FACES];
    IoFont fonts[GT_FONTS_MAX];
} gt;

// Loads a face from the pack the first time a font needs it; missing data is fatal.
static FT_Face gt_face(int32_t which)
{
    if (gt.faces[which])
        return gt.faces[which];
    if (!gt.library && FT_Init_FreeType(&gt.library))
        io_error("io_gdi_create_font: FreeType failed to start\n");
    int index = dp_get_index(gt_face_files[which], 1);
    uint32_t bytes = dp_size(index);
    gt.face_bytes[which] = dp_load(index);
    if (FT_New_Memory_Face(gt.library, (const FT_Byte *)gt.face_bytes[which], (FT_Long)bytes, 0, &gt.faces[which]) ||
        !FT_IS_SCALABLE(gt.faces[which]))
        io_error("io_gdi_create_font: bad font file (%s)\n", gt_face_files[which]);
    return gt.faces[which];
}

static int64_t gt_ceil_px(FT_Pos v) { return (v + 63) >> 6; }
static int64_t gt_round_px(FT_Pos v) { return (v + 32) >> 6; }

IoFont *io_gdi_create_font(int32_t height, int32_t style, int32_t charset, const char *face)
{
    int32_t family = style & ~(IO_FONT_ITALIC | IO_FONT_BOLD | IO_FONT_UNDERLINE);
    if (family != IO_FONT_DECORATIVE && family != IO_FONT_MODERN && family != IO_FONT_ROMAN &&
        family != IO_FONT_SCRIPT && family != IO_FONT_SWISS)
        io_error("io_gdi_create_font: invalid font family\n");
    IoFont *font = nullptr;
    for (IoFont &f : gt.fonts)
        if (!f.used) {
            font = &f;
            break;
        }
    if (!font)
        io_error("io_gdi_create_font: fonts[] is full\n");

    bool bold = (style & IO_FONT_BOLD) != 0;
    bool serif = family == IO_FONT_ROMAN && !(face && strcasecmp(face, "Arial") == 0);
    int32_t which = serif ? GT_SERIF : bold ? GT_SANS_BOLD : GT_SANS;
    FT_Face ft = gt_face(which);

    // A negative height is the em height itself; a positive one is the whole cell,
    // ascent plus descent, as the window system reads it.
    // A face without a cell (bitmap-only or damaged metrics) takes the em as the cell.
    int64_t cell_units = (int64_t)ft->ascender - ft->descender;
    if (cell_units <= 0)
        cell_units = std::max<int64_t>(ft->units_per_EM, 1);
    int64_t em = height < 0 ? -(int64_t)height
                 : height > 0 ? ((int64_t)height * ft->units_per_EM + cell_units / 2) / cell_units
                              : 12;
    em = std::clamp<int64_t>(em, 1, GT_EM_MAX);

    memset(font, 0, sizeof *font);
    if (FT_New_Size(ft, &font->size) || FT_Activate_Size(font->size) || FT_Set_Pixel_Sizes(ft, 0, (FT_UInt)em))
        io_error("io_gdi_create_font: size %i refused\n", (int)em);
    font->used = true;
    font->face = which;
    font->style = style;
    font->charset = charset;
    font->em = (int32_t)em;
    FT_Fixed scale = font->size->metrics.y_scale;
    font->ascent = (int32_t)gt_ceil_px(FT_MulFix(ft->ascender, scale));
    font->descent = (int32_t)gt_ceil_px(FT_MulFix(-ft->descender, scale));
    font->height = font->ascent + font->descent;
    font->line = std::max<int32_t>(font->height, (int32_t)gt_round_px(FT_MulFix(ft->height, scale)));
    font->underline_pos = std::max<int32_t>(1, (int32_t)gt_round_px(FT_MulFix(-ft->underline_position, scale)));
    font->underline_thickness = std::max<int32_t>(1, (int32_t)gt_round_px(FT_MulFix(ft->underline_thickness, scale)));
    if (bold && serif)
        font->embolden = std::max<FT_Pos>(64, em * 64 / 24);
    gt.face_users[which]++;
    return font;
}

static void gt_free_glyphs(IoFont *font)
{
    for (GtGlyph &g : font->glyphs)
        io_mem_free(g.coverage);
}

// Releases the face when its last font goes, so the pack's bytes are not held for nothing.
static void gt_release_face(int32_t which)
{
    if (--gt.face_users[which] > 0)
        return;
    FT_Done_Face(gt.faces[which]);
    gt.faces[which] = nullptr;
    io_mem_free(gt.face_bytes[which]);
    gt.face_bytes[which] = nullptr;
}

bool io_gdi_face_has_char(int32_t face, uint32_t code)
{
    if (face < 0 || face >= GT_FACES)
        io_error("io_gdi_face_has_char: invalid face %i\n", face);
    // Held for the look only: the fonts that use the face keep it loaded, and a face no
    // font uses is let go again.
    FT_Face f = gt_face(face);
    gt.face_users[face]++;
    bool has = FT_Get_Char_Index(f, code) != 0;
    gt_release_face(face);
    return has;
}

void io_gdi_delete_font(IoFont *font)
{
    if (!font || !font->used)
        return;
    gt_free_glyphs(font);
    FT_Done_Size(font->size);
    font->used = false;
    gt_release_face(font->face);
}

void io_gdi_fonts_done(void)
{
    for (IoFont &f : gt.fonts)
        io_gdi_delete_font(&f);
    if (gt.library)
        FT_Done_FreeType(gt.library);
    gt.library = nullptr;
}

void io_gdi_font_metrics(const IoFont *font, int32_t *height, int32_t *size, int32_t *line)
{
    if (height)
        *height = font->height;
    if (size)
        *size = font->em;
    if (line)
        *line = font->line;
}

// Renders one glyph into the font's cache; a glyph FreeType cannot give is kept as an
// empty one so it is not asked for again on every frame.
static const GtGlyph *gt_glyph(IoFont *font, uint32_t code)
{
    GtGlyph &g = font->glyphs[code < GT_DIRECT ? code : GT_DIRECT + code % GT_HASHED];
    if (g.used && g.code == code)
        return &g;
    io_mem_free(g.coverage);
    g = {};
    g.used = true;
    g.code = code;
    FT_Face ft = gt.faces[font->face];
    FT_Activate_Size(font->size);
    if (FT_Load_Char(ft, code, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP))
        return &g;
    FT_GlyphSlot slot = ft->glyph;
    FT_Pos advance = slot->advance.x;
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        if (font->embolden) {
            FT_Outline_EmboldenXY(&slot->outline, font->embolden, 0);
            advance += font->embolden;
        }
        if (font->style & IO_FONT_ITALIC) {
            FT_Matrix shear = {0x10000, GT_OBLIQUE, 0, 0x10000};
            FT_Outline_Transform(&slot->outline, &shear);
        }
    }
    g.advance = (int32_t)gt_round_px(advance);
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) || slot->bitmap.pixel_mode != FT_PIXEL_MODE_GRAY)
        return &g;
    const FT_Bitmap &bm = slot->bitmap;
    if (bm.width == 0 || bm.rows == 0)
        return &g;
    g.left = slot->bitmap_left;
    g.top = slot->bitmap_top;
    g.width = (int32_t)bm.width;
    g.rows = (int32_t)bm.rows;
    g.coverage = (uint8_t *)io_mem_alloc((size_t)g.width * g.rows);
    for (int32_t r = 0; r < g.rows; r++)
        memcpy(g.coverage + (size_t)r * g.width, bm.buffer + (ptrdiff_t)r * bm.pitch, (size_t)g.width);
    return &g;
}

// Code page 1252 between 0x80 and 0x9F; the rest of the page is Latin-1.
static constexpr uint16_t gt_cp1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The character at *p, moving p past it. Texts typed on this platform are UTF-8, the
// game's older texts are in the Western code page: a byte that does not start a valid
// UTF-8 sequence is read as code page 1252.
static uint32_t gt_next_char(const char **p)
{
    const uint8_t *s = (const uint8_t *)*p;
    uint32_t c = s[0];
    int n = c >= 0xF0 && c < 0xF5 ? 3 : c >= 0xE0 && c < 0xF0 ? 2 : c >= 0xC2 && c < 0xE0 ? 1 : 0;
    if (c >= 0x80 && n > 0) {
        uint32_t v = c & (0x3F >> n);
        int i = 1;
        for (; i <= n && (s[i] & 0xC0) == 0x80; i++)
            v = v << 6 | (s[i] & 0x3F);
        bool shortest = (n == 1) || (n == 2 && v >= 0x800) || (n == 3 && v >= 0x10000 && v < 0x110000);
        if (i > n && shortest && !(v >= 0xD800 && v < 0xE000)) {
            *p += n + 1;
            return v;
        }
    }
    *p += 1;
    return c >= 0x80 && c < 0xA0 ? gt_cp1252[c - 0x80] : c;
}

// Pixel width of text[begin, end); control characters have none.
static int32_t gt_width(IoFont *font, const char *begin, const char *end)
{
    int32_t w = 0;
    for (const char *p = begin; p < end;) {
        uint32_t c = gt_next_char(&p);
        if (c >= 32)
            w += gt_glyph(font, c)->advance;
    }
    return w;
}

struct GtLine {
    const char *begin, *end;  // trailing blanks of a wrapped line left out
    int32_t width;
};

// Cuts the next line off *p; false at the end of the text. A word is the characters up
// to and including the next blank; words join the line while it fits within `wrap`
// (blanks at its end not counted) and a word alone on a line is kept whole however
// wide it is. A newline ends the line and is consumed.
static bool gt_next_line(IoFont *font, const char **p, int32_t wrap, GtLine *line)
{
    const char *s = *p;
    if (!*s)
        return false;
    const char *end = s;
    if (wrap <= 0) {
        while (*end && *end != '\n')
            end++;
        *line = {s, end, gt_width(font, s, end)};
        *p = *end ? end + 1 : end;
        return true;
    }
    int32_t width = 0;      // to `end`, blanks included
    const char *ink = s;    // end of the line's last word
    int32_t ink_width = 0;  // width to there
    while (*end && *end != '\n') {
        const char *w = end;
        while (*w && *w != '\n' && *w != ' ')
            w++;
        const char *after = w;
        while (*after == ' ')
            after++;
        int32_t word = gt_width(font, end, w);
        if (ink != s && w > end && width + word > wrap)
            break;
        if (w > end) {
            ink = w;
            ink_width = width + word;
        }
        width += word + gt_width(font, w, after);
        end = after;
    }
    *line = {s, ink, ink_width};
    *p = *end == '\n' ? end + 1 : end;
    return true;
}

static IoFont *gt_font_of(const Font *font, const char *who)
{
    if (!font || font->kind != FONT_SYSTEM || !font->handle || !font->handle->used)
        io_error("%s: not a system font\n", who);
    return font->handle;
}

void io_gdi_text_size(const Font *font, const char *text, int32_t align, int32_t width, int32_t *out_w, int32_t *out_h)
{
    (void)align;  // alignment moves lines within the box, never changes its size
    IoFont *f = gt_font_of(font, "io_gdi_text_size");
    int32_t w = 0, lines = 0;
    GtLine line;
    for (const char *p = text ? text : ""; gt_next_line(f, &p, width, &line); lines++)
        w = std::max(w, line.width);
    if (out_w)
        *out_w = w;
    if (out_h)
        *out_h = lines * f->line;
}

// Blends one glyph's coverage into the frame buffer at pen (x, baseline), clipped to it.
static void gt_blend(const GtGlyph *g, int32_t x, int32_t baseline, const uint8_t bgr[3])
{
    int32_t x0 = x + g->left, y0 = baseline - g->top;
    int32_t c0 = std::max(0, -x0), c1 = std::min(g->width, screen.width - x0);
    int32_t r0 = std::max(0, -y0), r1 = std::min(g->rows, screen.height - y0);
    for (int32_t r = r0; r < r1; r++) {
        const uint8_t *cov = g->coverage + (size_t)r * g->width;
        uint8_t *d = screen.buf + (ptrdiff_t)(y0 + r) * screen.pitch + (ptrdiff_t)(x0 + c0) * 3;
        for (int32_t c = c0; c < c1; c++, d += 3) {
            uint32_t a = cov[c];
            if (!a)
                continue;
            for (int k = 0; k < 3; k++)
                d[k] = (uint8_t)((d[k] * (255 - a) + bgr[k] * a + 127) / 255);
        }
    }
}

static void gt_fill(int32_t x, int32_t y, int32_t w, int32_t h, const uint8_t bgr[3])
{
    int32_t x0 = std::max(0, x), x1 = std::min(screen.width, x + w);
    int32_t y0 = std::max(0, y), y1 = std::min(screen.height, y + h);
    for (int32_t r = y0; r < y1; r++)
        for (int32_t c = x0; c < x1; c++)
            memcpy(screen.buf + (ptrdiff_t)r * screen.pitch + (ptrdiff_t)c * 3, bgr, 3);
}

void io_gdi_text(const Font *font, const char *text, int32_t x, int32_t y, uint32_t colour, int32_t align, int32_t width)
{
    IoFont *f = gt_font_of(font, "io_gdi_text");
    if (!screen.buf)
        io_error("io_gdi_text: screen.buf is NULL");
    if (!text || !*text)
        return;
    const uint8_t bgr[3] = {(uint8_t)colour, (uint8_t)(colour >> 8), (uint8_t)(colour >> 16)};
    // Without a wrap width the lines align within the block's own width.
    int32_t box = width;
    if (box <= 0)
        io_gdi_text_size(font, text, align, 0, &box, nullptr);
    int32_t top = y;
    GtLine line;
    for (const char *p = text; gt_next_line(f, &p, width, &line); top += f->line) {
        int32_t lx = align == 1 ? x + (box - line.width) / 2 : align == 2 ? x + box - line.width : x;
        int32_t baseline = top + f->ascent, pen = lx;
        for (const char *q = line.begin; q < line.end;) {
            uint32_t c = gt_next_char(&q);
            if (c < 32)
                continue;
            const GtGlyph *g = gt_glyph(f, c);
            if (g->coverage)
                gt_blend(g, pen, baseline, bgr);
            pen += g->advance;
        }
        if (f->style & IO_FONT_UNDERLINE)
            gt_fill(lx, baseline + f->underline_pos - f->underline_thickness / 2, line.width, f->underline_thickness, bgr);
    }
}
