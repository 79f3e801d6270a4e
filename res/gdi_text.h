// System-font text, drawn with FreeType from the TrueType files of the data pack
// ("fonts/DejaVuSans.ttf", "fonts/DejaVuSans-Bold.ttf", "fonts/DejaVuSerif.ttf"), so
// no installed font is ever needed.
#pragma once
#include <cstdint>

struct Font;
struct IoFont;

enum {
    IO_FONT_ITALIC = 1,
    IO_FONT_BOLD = 2,
    IO_FONT_UNDERLINE = 4,
    IO_FONT_DECORATIVE = 8,
    IO_FONT_MODERN = 16,
    IO_FONT_ROMAN = 32,
    IO_FONT_SCRIPT = 64,
    IO_FONT_SWISS = 128,
};

// A font whose characters are `height` pixels high without internal leading, in the
// style bits above (exactly one family bit; any other family is fatal
// "io_gdi_create_font: invalid font family\n"). Serif families take DejaVu Serif, the
// others DejaVu Sans (bold with IO_FONT_BOLD); the face "Arial" is DejaVu Sans. The
// character set is kept for the record: the faces cover every Latin set.
IoFont *io_gdi_create_font(int32_t height, int32_t style, int32_t charset, const char *face);
void io_gdi_delete_font(IoFont *font);

// The font's cell height, nominal size (height less internal leading) and line advance.
void io_gdi_font_metrics(const IoFont *font, int32_t *height, int32_t *size, int32_t *line);

// Draws text in the system font of `font` at (x, y) in colour 0x00RRGGBB, anti-aliased,
// never clipped to a box (only to the screen). align 0 left, 1 centred, 2 right; with
// width > 0 the text is wrapped at word boundaries into a box that wide from x,
// otherwise it is one block whose lines break only at '\n'. Only inside a frame.
void io_gdi_text(const Font *font, const char *text, int32_t x, int32_t y, uint32_t colour, int32_t align, int32_t width);

// The width and height io_gdi_text would cover with the same arguments.
void io_gdi_text_size(const Font *font, const char *text, int32_t align, int32_t width, int32_t *out_w, int32_t *out_h);

// Releases the faces loaded from the pack (kernel_done, before the pack closes).
void io_gdi_fonts_done(void);

// Whether a face of the pack has a glyph for the Unicode character `code`: the faces are
// IO_FACE_SANS (the dialog font and Arial), IO_FACE_SANS_BOLD (small and medium text)
// and IO_FACE_SERIF (large text). Fatal "io_gdi_face_has_char: invalid face %i" for
// another number.
enum { IO_FACE_SANS = 0, IO_FACE_SANS_BOLD = 1, IO_FACE_SERIF = 2, IO_FACE_COUNT = 3 };
bool io_gdi_face_has_char(int32_t face, uint32_t code);
