// Images in memory: the Img record (byte for byte an IMG file), views into images and
// the frame buffer, free-standing pictures, and the copy, blend, ink, shadow, mix, fill,
// conversion and line primitives that every picture goes through.
#pragma once
#include <cstddef>
#include <cstdint>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "Img records are little-endian in memory");

constexpr uint32_t IMG_MAGIC = 0x00474D49;  // "IMG\0"
constexpr uint32_t IMG_HEADER_SIZE = 36;

// Pixel formats: low nibble = bytes per pixel of the colour plane, high nibble = bytes
// per pixel of the second (alpha) plane.
enum : uint32_t {
    IMG_8BIT = 1,          // grey, masks, coverage, shadows
    IMG_555 = 2,           // 5-5-5 RGB, red in bits 10..14
    IMG_BGR = 3,           // blue, green, red: the frame buffer's own format
    IMG_BGRA = 0x13,       // premultiplied blue, green, red plus an alpha plane
    IMG_SCREEN = 0xFFFE,   // img_create: the frame buffer's format
    IMG_GREY = 0xFFFF,     // img_create: IMG_8BIT
};

constexpr uint32_t img_colour_bytes(uint32_t format) { return format & 15; }
constexpr uint32_t img_second_bytes(uint32_t format) { return (format >> 4) & 15; }

// The header of one block: header, colour plane, then the second plane if any.
struct Img {
    uint32_t magic;
    int32_t width;
    int32_t height;
    uint32_t format;
    uint32_t colour_offset;  // always 36
    uint32_t colour_stride;  // bytes per colour row, unpadded
    uint32_t second_offset;  // 0 without a second plane
    uint32_t second_stride;
    uint32_t reserved;
};
static_assert(sizeof(Img) == IMG_HEADER_SIZE, "Img header is the IMG file header");

// A rectangle of pixels; owns nothing. Strides may be negative (the frame buffer).
struct ImgView {
    int32_t width, height;
    uint32_t format;
    uint8_t *colour;
    int32_t colour_stride;
    uint8_t *second;  // null without a second plane
    int32_t second_stride;
};

// A free-standing image for codecs and the resampler: its view, then its planes, in one
// block from the allocation hooks. It can be passed wherever a view is expected.
using Picture = ImgView;

// The allocation hooks through which pictures, codec buffers and work tables come.
typedef void *(*ImgAllocFn)(size_t size);
typedef void (*ImgFreeFn)(void *block);
typedef void *(*ImgReallocFn)(void *block, size_t size);

// blend_table[a * 256 + d]: how much of destination byte d survives under coverage a.
extern uint8_t blend_table[65536];

// Stores the hooks and builds blend_table.
void img_init(ImgAllocFn alloc, ImgFreeFn free, ImgReallocFn realloc);
void *img_alloc(size_t size);
void img_release(void *block);
void *img_realloc(void *block, size_t size);

// One block of header and planes from counted memory; pixels are not cleared.
// IMG_SCREEN and IMG_GREY are resolved first.
Img *img_create(int32_t width, int32_t height, uint32_t format);
void img_free(Img *img);
void img_size(const Img *img, int32_t *width, int32_t *height);
uint8_t *img_pixels(Img *img, int32_t *stride, int32_t *width, int32_t *height);

// A view of `img` from (x, y) to its right and bottom edges.
void img_view(ImgView *view, Img *img, int32_t x, int32_t y);
// A view of the frame buffer from (x, y); valid only inside a frame.
void screen_view(ImgView *view, int32_t x, int32_t y);

// Null when the format has no colour bytes.
Picture *picture_create(int32_t width, int32_t height, uint32_t format);
void picture_free(Picture *picture);

// Copies (equal formats without alpha) or blends (premultiplied) the source's size.
void img_blit(const ImgView *dst, const ImgView *src);
void img_put(Img *dst, int32_t x, int32_t y, Img *src);
void img_copy_rect(Img *dst, int32_t dx, int32_t dy, Img *src, int32_t sx, int32_t sy, int32_t w, int32_t h);
// Resamples src into dst (nearest, or filtered when smooth); formats 1 and 3 only.
void img_scale(Img *dst, Img *src, int smooth);
void img_fill(Img *img, uint8_t value);
void img_fill_rect(Img *img, uint8_t value, int32_t x, int32_t y, int32_t w, int32_t h);
// Format 1 only: every byte v becomes v * factor / 255.
void img_fade(Img *img, uint8_t factor);
// The fill core: format 1 takes the low byte, format 3 the whole 0x00RRGGBB colour.
void img_fill_view(const ImgView *view, uint32_t value);
void img_mix(const ImgView *dst, const ImgView *src, const ImgView *mask);
void img_convert(const ImgView *dst, const ImgView *src);
void img_line(const ImgView *view, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t value);
// Coloured coverage and shadow painters on views (the screen draws use them per run).
void img_ink(const ImgView *dst, const ImgView *coverage, uint32_t colour);
void img_shadow(const ImgView *dst, const ImgView *shadow);

// Drawing onto the screen, clipped to the dirty tiles.
void img_draw(Img *img, int32_t x, int32_t y, int32_t sx, int32_t sy, int32_t w, int32_t h);
void img_draw_whole(Img *img, int32_t x, int32_t y);
void img_draw_ink(int32_t x, int32_t y, uint32_t colour, Img *img, int32_t sx, int32_t sy, int32_t w, int32_t h);
void img_draw_shadow(Img *img, int32_t x, int32_t y, int32_t sx, int32_t sy, int32_t w, int32_t h);
void img_draw_shadow_whole(Img *img, int32_t x, int32_t y);

// The blitter hook: img_draw by default; the skin points it elsewhere for a while.
typedef void (*ImgBlitter)(Img *img, int32_t x, int32_t y, int32_t sx, int32_t sy, int32_t w, int32_t h);
ImgBlitter img_set_blitter(ImgBlitter blitter);
ImgBlitter img_blitter(void);

struct ImgRect {
    int32_t sx, sy, w, h;
};
void img_blit_part(Img *img, const ImgRect *rect, int32_t x, int32_t y);

enum { IMG_TILE_ONE_ACROSS = 1, IMG_TILE_ONE_DOWN = 2 };
void img_tile(Img *img, const ImgRect *rect, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int flags);
