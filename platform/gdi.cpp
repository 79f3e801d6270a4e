// Pen drawing into the frame buffer. Lines are clipped along their major axis before
// they are walked, so a line with ends far off the screen costs no more than one that
// crosses it, and every pixel is checked before it is written.
#include "platform/gdi.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "platform/log.h"
#include "platform/video.h"

// Dash patterns in pixels, on then off; the pattern runs on across the lines of one call.
struct PenPattern {
    int32_t on, period;
};
static constexpr PenPattern gdi_patterns[3] = {
    {1, 1},   // IO_PEN_SOLID
    {18, 24}, // IO_PEN_DASH
    {3, 6},   // IO_PEN_DOT
};

constexpr int32_t GDI_BEZIER_MAX_LINES = 256;  // per segment: smooth enough on any screen

static struct {
    bool pen;         // false: no pen, outlines are not drawn
    int32_t style;
    uint32_t colour;  // 0x00RRGGBB
    int64_t x, y;     // pen position: the last pixel of the last line
    int64_t dash;     // pixels drawn since the call began, for the pattern
} gdi = {true, IO_PEN_SOLID, 0, 0, 0, 0};

void io_gdi_set_pen(int32_t style, int32_t colour)
{
    if (colour < 0) {
        gdi.pen = false;
        return;
    }
    if (style < IO_PEN_SOLID || style > IO_PEN_DOT)
        io_error("io_gdi_set_pen: invalid pen style\n");
    gdi.pen = true;
    gdi.style = style;
    gdi.colour = (uint32_t)colour;
}

// True when there is something to draw with; a pen outside a frame is a caller's fault.
static bool gdi_begin(const char *who)
{
    if (!gdi.pen)
        return false;
    if (!screen.buf)
        io_error("%s: screen.buf is NULL", who);
    gdi.dash = 0;
    return true;
}

static IoPixelGate gdi_gate;  // which pixels may be drawn now; null: all of them

void io_gdi_set_gate(IoPixelGate gate)
{
    gdi_gate = gate;
}

static void gdi_plot(int64_t x, int64_t y)
{
    const PenPattern &pat = gdi_patterns[gdi.style];
    bool on = gdi.dash++ % pat.period < pat.on;
    if (!on || x < 0 || y < 0 || x >= screen.width || y >= screen.height)
        return;
    if (gdi_gate && !gdi_gate((int32_t)x, (int32_t)y))
        return;
    uint8_t *p = screen.buf + (ptrdiff_t)y * screen.pitch + (ptrdiff_t)x * 3;
    p[0] = (uint8_t)gdi.colour;
    p[1] = (uint8_t)(gdi.colour >> 8);
    p[2] = (uint8_t)(gdi.colour >> 16);
}

static void gdi_move_to(int64_t x, int64_t y)
{
    gdi.x = x;
    gdi.y = y;
    gdi_plot(x, y);
}

// From the pen position (already drawn) to (x, y) inclusive. Pixel i along the major
// axis sits at minor offset round(i * minor / major), as a Bresenham walk would put it;
// only the steps whose major coordinate lies on the screen are visited, the pattern
// still counting the ones skipped.
static void gdi_line_to(int64_t x, int64_t y)
{
    int64_t dx = x - gdi.x, dy = y - gdi.y;
    bool along_y = std::abs(dy) > std::abs(dx);
    int64_t m0 = along_y ? gdi.y : gdi.x, n0 = along_y ? gdi.x : gdi.y;
    int64_t major = std::abs(along_y ? dy : dx), minor = std::abs(along_y ? dx : dy);
    int64_t sm = (along_y ? dy : dx) < 0 ? -1 : 1, sn = (along_y ? dx : dy) < 0 ? -1 : 1;
    int64_t limit = along_y ? screen.height : screen.width;
    int64_t first = sm > 0 ? -m0 : m0 - (limit - 1), last = sm > 0 ? limit - 1 - m0 : m0;
    first = std::max<int64_t>(first, 1);
    last = std::min(last, major);
    int64_t dash_start = gdi.dash;
    for (int64_t i = first; i <= last; i++) {
        int64_t off = (int64_t)(((__int128)2 * i * minor + major) / ((__int128)2 * major));
        gdi.dash = dash_start + i - 1;
        int64_t m = m0 + sm * i, n = n0 + sn * off;
        if (along_y)
            gdi_plot(n, m);
        else
            gdi_plot(m, n);
    }
    gdi.dash = dash_start + major;
    gdi.x = x;
    gdi.y = y;
}

void io_gdi_line(int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    if (!gdi_begin("io_gdi_line"))
        return;
    gdi_move_to(x0, y0);
    gdi_line_to(x1, y1);
}

void io_gdi_rect(int32_t x, int32_t y, int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0 || !gdi_begin("io_gdi_rect"))
        return;
    int64_t right = (int64_t)x + width - 1, bottom = (int64_t)y + height - 1;
    gdi_move_to(x, y);
    gdi_line_to(right, y);
    if (height == 1)
        return;
    gdi_line_to(right, bottom);
    if (width == 1)
        return;
    gdi_line_to(x, bottom);
    if (height > 2)
        gdi_line_to(x, (int64_t)y + 1);  // the corner it started from is drawn already
}

void io_gdi_bezier(const IoPoint *points, int32_t count)
{
    if (!points || count < 4 || !gdi_begin("io_gdi_bezier"))
        return;
    gdi_move_to(points[0].x, points[0].y);
    for (int32_t s = 0; s < (count - 1) / 3; s++) {
        const IoPoint *p = points + 3 * s;
        double len = 0;
        for (int k = 0; k < 3; k++)
            len += std::hypot((double)p[k + 1].x - p[k].x, (double)p[k + 1].y - p[k].y);
        // About one line per four pixels of the control polygon.
        int32_t lines = (int32_t)std::clamp(len / 4, 1.0, (double)GDI_BEZIER_MAX_LINES);
        for (int32_t i = 1; i <= lines; i++) {
            double t = (double)i / lines, u = 1 - t;
            double a = u * u * u, b = 3 * t * u * u, c = 3 * t * t * u, d = t * t * t;
            int64_t x = std::llround(a * p[0].x + b * p[1].x + c * p[2].x + d * p[3].x);
            int64_t y = std::llround(a * p[0].y + b * p[1].y + c * p[2].y + d * p[3].y);
            if (x != gdi.x || y != gdi.y)
                gdi_line_to(x, y);
        }
    }
}
