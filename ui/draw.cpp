// The small drawing primitives: pixels, pen lines, rectangles, Bezier curves and
// rectangle fills. Pens go to the platform; fills go through the dirty tiles.
#include "image/clip.h"
#include "image/img.h"
#include "platform/gdi.h"
#include "platform/log.h"
#include "platform/video.h"
#include "ui/text.h"

// The pen as the platform holds it (it starts solid black), and the fill colour.
static struct {
    int32_t pen_style = IO_PEN_SOLID;
    uint32_t pen_colour = 0;
    uint32_t fill = TEXT_NONE;
} draw;

void draw_pixel(int32_t x, int32_t y, uint32_t colour)
{
    if (colour == TEXT_NONE || x < 0 || y < 0 || x >= screen.width || y >= screen.height)
        return;
    if (!screen.buf)
        io_error("draw_pixel: screen.buf is NULL");
    if (!clip_point_dirty(x, y))
        return;  // only what is redrawn this frame is drawn on
    uint8_t *p = screen.buf + (ptrdiff_t)y * screen.pitch + (ptrdiff_t)x * screen.bytes_per_pixel;
    for (int32_t i = 0; i < screen.bytes_per_pixel && i < 4; i++)
        p[i] = (uint8_t)(colour >> (8 * i));
}

void draw_set_pen(int32_t style, uint32_t colour)
{
    if (style == draw.pen_style && colour == draw.pen_colour)
        return;
    // A transparent colour is negative as the platform sees it: the null pen. A bad
    // style is refused there, with its own message.
    io_gdi_set_pen(style, (int32_t)colour);
    draw.pen_style = style;
    draw.pen_colour = colour;
}

void draw_line(int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    if (draw.pen_colour != TEXT_NONE)
        io_gdi_line(x0, y0, x1, y1);
}

void draw_rect(int32_t x, int32_t y, int32_t width, int32_t height)
{
    if (draw.pen_colour != TEXT_NONE)
        io_gdi_rect(x, y, width, height);
}

void draw_bezier(const IoPoint *points, int32_t count)
{
    if (draw.pen_colour != TEXT_NONE)
        io_gdi_bezier(points, count);
}

void draw_set_fill(uint32_t colour)
{
    draw.fill = colour;
}

// Fills the part of the rectangle that lies in one dirty run.
static void fill_piece(int32_t x, int32_t y, int32_t w, int32_t h, void *)
{
    if (!screen.buf)
        io_error("draw_fill_rect: screen.buf is NULL");
    ImgView v;
    screen_view(&v, x, y);
    v.width = w;
    v.height = h;
    img_fill_view(&v, draw.fill);
}

void draw_fill_rect(int32_t x, int32_t y, int32_t width, int32_t height)
{
    if (draw.fill != TEXT_NONE)
        clip_each_dirty(x, y, width, height, fill_piece, nullptr);
}
