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

// Pen drawing reaches only the pixels the gate lets through, like every other drawing
// that is cut to the parts of the screen redrawn this frame (the image layer registers
// its dirty tiles); null lets every pixel through.
typedef bool (*IoPixelGate)(int32_t x, int32_t y);
void io_gdi_set_gate(IoPixelGate gate);
