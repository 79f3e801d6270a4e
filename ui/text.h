// Text in the game's fonts and the small drawing primitives every screen uses: pixels,
// pen lines, rectangles, Bezier curves and rectangle fills.
#pragma once
#include <cstdint>

struct Font;
struct IoPoint;

constexpr uint32_t TEXT_NONE = 0xFFFFFFFF;  // a transparent colour: that pass is skipped

// Selects font, text colour and shadow colour; alignment 0 and no wrapping. Drawing,
// measuring or walking text before a font is selected is fatal "text_draw: no font
// selected\n" (named after the call).
void text_set_font(const Font *font, uint32_t colour, uint32_t shadow);
// Alignment 0 left, 1 centred, 2 right within the wrap width; forced to 0 when the wrap
// width is 0 (no wrapping).
void text_set_layout(int32_t align, int32_t wrap_width);

// Draws the text at screen (x, y): the shadow pass first, then the text. Returns the
// shadow offset (when a shadow is set) plus the height of the text pass.
int32_t text_draw(const char *text, int32_t x, int32_t y);

// The size text_draw would cover; the shadow offset is added to both when a shadow is set.
void text_measure(const char *text, int32_t *width, int32_t *height);

// One line of a bitmap-font text as the line walker gives it.
struct TextLine {
    const char *start;
    int32_t count;  // characters of the line (a consumed newline not counted)
    int32_t width;  // pixels: glyph width + spacing over the characters with a glyph
};
// Starts walking `text` with the current font and wrap width. Only bitmap fonts are
// walked (system fonts wrap inside io_gdi_text); the first line of a system font is
// fatal "text_walk_next: not a bitmap font".
void text_walk_start(const char *text);
// The next line; false at the end of the text.
bool text_walk_next(TextLine *line);

// System-font text (io_gdi_text) cut off at the edges of the screen rectangle
// (cx, cy, cw, ch): io_gdi_text is given a screen narrowed to it.
void gdi_text_in(int32_t cx, int32_t cy, int32_t cw, int32_t ch, const Font *font, const char *s, int32_t x, int32_t y,
                 uint32_t colour, int32_t align, int32_t width);

// The same at a window's screen position (wx, wy) plus (x, y).
void window_text_draw(int32_t wx, int32_t wy, const char *text, int32_t x, int32_t y);
struct Img;
void window_img_draw(int32_t wx, int32_t wy, const Img *img, int32_t x, int32_t y);
void window_cache_draw(int32_t wx, int32_t wy, int32_t handle, int32_t x, int32_t y);
void window_cache_draw_part(int32_t wx, int32_t wy, int32_t handle, int32_t x, int32_t y,
                            int32_t sx, int32_t sy, int32_t w, int32_t h);

// One pixel of the screen when the colour is not transparent and (x, y) is on screen.
void draw_pixel(int32_t x, int32_t y, uint32_t colour);
// Style 0 solid, 1 dashed, 2 dotted; the platform pen changes only when style or colour
// differ; another style is fatal "io_gdi_set_pen: invalid pen style\n".
void draw_set_pen(int32_t style, uint32_t colour);
// The platform primitives with the current pen; nothing while the pen is transparent.
void draw_line(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
void draw_rect(int32_t x, int32_t y, int32_t width, int32_t height);
void draw_bezier(const IoPoint *points, int32_t count);
// The fill colour of draw_fill_rect; TEXT_NONE fills nothing.
void draw_set_fill(uint32_t colour);
// Fills the rectangle through the dirty-tile clipper.
void draw_fill_rect(int32_t x, int32_t y, int32_t width, int32_t height);
