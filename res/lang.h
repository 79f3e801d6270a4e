// Texts by number from the language file, the five fonts every text is drawn with, and
// the standard names of a box's files.
#pragma once
#include <cstdint>

constexpr int LT_COUNT = 700;

// Loads [MAIN] Version and CharSet and [TEXTS] 0 .. 699 of `file`; "\n" in a text becomes
// a line break. Fatal "lt_init: version not found (%s)", "lt_init: old version of texts
// (%s)" (Version below 1), "lt_init: charset not found (%s)".
void lt_init(const char *file);
// The text with that number; an empty slot is fatal "lt_get: lti %i is NULL\n", a number
// outside 0 .. 699 fatal "lt_get: lti %i is out of range\n".
const char *lt_get(int32_t number);
int32_t lt_charset(void);
void lt_done(void);

struct IoFont;  // a system font made by io_gdi_create_font

enum { FONT_BITMAP = 0, FONT_SYSTEM = 1 };

// One glyph's picture in a bitmap font's sheet; its height is the font's cell height.
struct Glyph {
    uint16_t x, y, width;
};

struct Font {
    int32_t kind;           // FONT_BITMAP or FONT_SYSTEM
    int32_t height;         // cell height
    int32_t size;           // nominal size in pixels
    int32_t line;           // baseline to baseline
    int32_t shadow_offset;  // right and down, 1 for every font
    int32_t image;          // bitmap: cache handle of the coverage sheet
    int32_t spacing;        // bitmap: extra pixels after each glyph
    int32_t first, last;    // bitmap: 32 and 127
    const Glyph *glyphs;    // bitmap: last - first + 1 boxes
    IoFont *handle;         // system font
};

// The five fonts; ui/fonts.h makes them for the language.
extern Font font_small, font_medium, font_dialog, font_large, font_arial;

// The glyph tables of the three bitmap fonts, 96 boxes each (characters 32 to 127), and
// the sheets they describe. The data generator draws each glyph into its box.
struct BitmapFontInfo {
    const char *sheet;     // "img/font12.img"
    int32_t height, size, line, spacing;
    const Glyph *glyphs;   // 96 entries
    int32_t sheet_width;   // the sheet's size: 3 rows of cell height
};
extern const BitmapFontInfo lt_bitmap_fonts[3];  // font12, font15, font20

// "%s/%s.%s" of folder, name and extension into out (size bytes). A result that does not
// fit would name another file: fatal "path_box: name too long (%s)" (and likewise).
void path_box(char *out, int32_t size, const char *name);      // puzzles folder, "pzl"
void path_temp(char *out, int32_t size, const char *name);     // "sfiles/temp", "tmp"
void path_preview(char *out, int32_t size, const char *name);  // "sfiles/temp", "prw"
void path_save(char *out, int32_t size, const char *name);     // "sfiles/qs", "qsv"
