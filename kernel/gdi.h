// Pen drawing straight into the frame buffer: lines, rectangle outlines and Bezier chains
// with one current pen. Only inside a frame; the caller lists the area it drew on with
// io_video_invalidate as for any drawing.
#pragma once
#include <cstdint>

enum { IO_PEN_SOLID = 0, IO_PEN_DASH = 1, IO_PEN_DOT = 2 };

struct IoPoint {
    int32_t x, y;
};

// A colour below 0 (0xFFFFFFFF included) selects no pen: nothing is drawn until the next
// pen. Otherwise a 1-pixel pen of style IO_PEN_SOLID, IO_PEN_DASH or IO_PEN_DOT in the
// colour 0x00RRGGBB; any other style is fatal "io_gdi_set_pen: invalid pen style\n".
// The game starts with a solid black pen.
void io_gdi_set_pen(int32_t style, int32_t colour);

// The line from (x0, y0) to (x1, y1), both ends included, clipped to the screen. Drawing
// with a pen outside a frame is fatal "io_gdi_line: screen.buf is NULL" (likewise below).
void io_gdi_line(int32_t x0, int32_t y0, int32_t x1, int32_t y1);

// The outline of the rectangle of width x height pixels from (x, y); the interior is left
// alone. Nothing for an empty rectangle.
void io_gdi_rect(int32_t x, int32_t y, int32_t width, int32_t height);

// A chain of cubic Bezier segments through `count` points (the start, then three per
// segment), flattened into pen lines; points after the last whole segment are ignored.
void io_gdi_bezier(const IoPoint *points, int32_t count);

// System-font text, drawn with FreeType from the TrueType files of the data pack
// ("fonts/DejaVuSans.ttf", "fonts/DejaVuSans-Bold.ttf", "fonts/DejaVuSerif.ttf"), so
// no installed font is ever needed.
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
