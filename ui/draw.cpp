// The small drawing primitives: pixels, pen lines, rectangles, Bezier curves and
// rectangle fills. Pens go to the platform; fills go through the dirty tiles.
#include "image/clip.h"
#include "image/img.h"
#include "kernel/gdi.h"
#include "kernel/log.h"
#include "kernel/video.h"
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
static void fill_piece(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour)
{
    if (x1 <= x0 || y1 <= y0)
        return;
    if (!screen.buf)
        io_error("draw_fill_rect: screen.buf is NULL");
    ImgView v;
    screen_view(&v, x0, y0);
    v.width = x1 - x0;
    v.height = y1 - y0;
    img_fill_view(&v, colour);
}

void draw_fill_rect(int32_t x, int32_t y, int32_t width, int32_t height)
{
    const ClipGrid *g = clip_grid();
    if (draw.fill == TEXT_NONE || !g->flags || width < 1 || height < 1)
        return;
    // The rectangle cut to the screen, right and bottom exclusive, in 64 bits so that
    // far-away rectangles cannot wrap.
    int64_t left = x < 0 ? 0 : x, top = y < 0 ? 0 : y;
    int64_t right = (int64_t)x + width, bottom = (int64_t)y + height;
    int64_t sw = (int64_t)g->columns * g->tile_w, sh = (int64_t)g->rows * g->tile_h;
    if (sw > screen.width)
        sw = screen.width;
    if (sh > screen.height)
        sh = screen.height;
    if (right > sw)
        right = sw;
    if (bottom > sh)
        bottom = sh;
    if (left >= right || top >= bottom)
        return;
    int32_t c0 = (int32_t)(left / g->tile_w), c1 = (int32_t)((right - 1) / g->tile_w);
    int32_t r0 = (int32_t)(top / g->tile_h), r1 = (int32_t)((bottom - 1) / g->tile_h);
    for (int32_t r = r0; r <= r1; r++) {
        const uint8_t *row = g->flags + (size_t)r * g->columns;
        int64_t ty0 = (int64_t)r * g->tile_h, ty1 = ty0 + g->tile_h;
        for (int32_t c = c0; c <= c1;) {
            if (!row[c]) {
                c++;
                continue;
            }
            int32_t start = c;
            while (c <= c1 && row[c])
                c++;
            int64_t tx0 = (int64_t)start * g->tile_w, tx1 = (int64_t)c * g->tile_w;
            fill_piece((int32_t)(tx0 > left ? tx0 : left), (int32_t)(ty0 > top ? ty0 : top),
                       (int32_t)(tx1 < right ? tx1 : right), (int32_t)(ty1 < bottom ? ty1 : bottom), draw.fill);
        }
    }
}
