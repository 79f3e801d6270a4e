// Image records, views, pictures and the pixel primitives. Every loop runs over views,
// so the same code serves images, pictures and the bottom-up frame buffer.
#include "image/img.h"

#include <cmath>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "image/resample.h"
#include "platform/log.h"
#include "platform/memory.h"
#include "platform/video.h"

uint8_t blend_table[65536];

static struct {
    ImgAllocFn alloc = io_mem_alloc;
    ImgFreeFn free = io_mem_free;
    ImgReallocFn realloc = io_mem_realloc;
} hooks;

void img_init(ImgAllocFn alloc, ImgFreeFn free, ImgReallocFn realloc)
{
    hooks.alloc = alloc;
    hooks.free = free;
    hooks.realloc = realloc;
    for (int a = 0; a < 256; a++)
        for (int d = 0; d < 256; d++)
            blend_table[a * 256 + d] = (uint8_t)((255 - a) * d / 255.0 + 0.5);
}

void *img_alloc(size_t size)
{
    return hooks.alloc(size);
}

void img_release(void *block)
{
    hooks.free(block);
}

void *img_realloc(void *block, size_t size)
{
    return hooks.realloc(block, size);
}

// --- records and views ---

// Bytes of both planes, or SIZE_MAX when the size is negative or would not fit.
static size_t planes_size(int32_t width, int32_t height, uint32_t format)
{
    if (width < 0 || height < 0)
        return SIZE_MAX;
    uint64_t per_pixel = img_colour_bytes(format) + img_second_bytes(format);
    uint64_t bytes = per_pixel * (uint64_t)width * (uint64_t)height;
    return bytes > ((uint64_t)1 << 40) ? SIZE_MAX : (size_t)bytes;
}

Img *img_create(int32_t width, int32_t height, uint32_t format)
{
    if (format == IMG_SCREEN)
        format = (uint32_t)screen.bytes_per_pixel;
    else if (format == IMG_GREY)
        format = IMG_8BIT;
    size_t planes = planes_size(width, height, format);
    if (planes == SIZE_MAX)
        io_error("img_create: bad size (%i x %i, format %u)\n", width, height, format);
    Img *img = (Img *)io_mem_alloc(IMG_HEADER_SIZE + planes);
    img->magic = IMG_MAGIC;
    img->width = width;
    img->height = height;
    img->format = format;
    img->colour_offset = IMG_HEADER_SIZE;
    img->colour_stride = img_colour_bytes(format) * (uint32_t)width;
    img->second_offset = img_second_bytes(format) ? IMG_HEADER_SIZE + img->colour_stride * (uint32_t)height : 0;
    img->second_stride = img_second_bytes(format) * (uint32_t)width;
    img->reserved = 0;
    return img;
}

void img_free(Img *img)
{
    io_mem_free(img);
}

void img_size(const Img *img, int32_t *width, int32_t *height)
{
    *width = img->width;
    *height = img->height;
}

uint8_t *img_pixels(Img *img, int32_t *stride, int32_t *width, int32_t *height)
{
    *stride = (int32_t)img->colour_stride;
    *width = img->width;
    *height = img->height;
    return (uint8_t *)img + img->colour_offset;
}

void img_view(ImgView *view, Img *img, int32_t x, int32_t y)
{
    uint8_t *base = (uint8_t *)img;
    view->width = img->width - x;
    view->height = img->height - y;
    view->format = img->format;
    view->colour_stride = (int32_t)img->colour_stride;
    view->colour = base + img->colour_offset + (ptrdiff_t)y * view->colour_stride +
                   (ptrdiff_t)x * img_colour_bytes(img->format);
    view->second_stride = (int32_t)img->second_stride;
    view->second = img->second_offset ? base + img->second_offset + (ptrdiff_t)y * view->second_stride +
                                            (ptrdiff_t)x * img_second_bytes(img->format)
                                      : nullptr;
}

void screen_view(ImgView *view, int32_t x, int32_t y)
{
    view->width = screen.width - x;
    view->height = screen.height - y;
    view->format = (uint32_t)screen.bytes_per_pixel;
    view->colour = screen.buf + (ptrdiff_t)y * screen.pitch + (ptrdiff_t)x * screen.bytes_per_pixel;
    view->colour_stride = screen.pitch;
    view->second = nullptr;
    view->second_stride = 0;
}

Picture *picture_create(int32_t width, int32_t height, uint32_t format)
{
    if (img_colour_bytes(format) == 0)
        return nullptr;
    size_t planes = planes_size(width, height, format);
    if (planes == SIZE_MAX)
        return nullptr;
    Picture *p = (Picture *)img_alloc(sizeof(Picture) + planes);
    if (!p)
        return nullptr;
    p->width = width;
    p->height = height;
    p->format = format;
    p->colour_stride = (int32_t)(img_colour_bytes(format) * (uint32_t)width);
    p->second_stride = (int32_t)(img_second_bytes(format) * (uint32_t)width);
    p->colour = (uint8_t *)(p + 1);
    p->second = img_second_bytes(format) ? p->colour + (size_t)height * (size_t)p->colour_stride : nullptr;
    return p;
}

void picture_free(Picture *picture)
{
    if (picture)
        img_release(picture);
}

// --- copy and blend ---

// One soft pixel: the table's rounding, done in arithmetic.
static inline void blend_pixel(uint8_t *d, const uint8_t *s, uint8_t a)
{
    const uint8_t *t = blend_table + (a << 8);
    d[0] = (uint8_t)(t[d[0]] + s[0]);
    d[1] = (uint8_t)(t[d[1]] + s[1]);
    d[2] = (uint8_t)(t[d[2]] + s[2]);
}

// Blends the run of soft-edged pixels that starts here (up to the first alpha of 0 or
// 255, at most n) and returns its length. Four pixels go through 16-bit vector lanes at a
// time, with x / 255 rounded as (x + 128 + ((x + 128) >> 8)) >> 8, which gives exactly
// blend_table's entry; a 16-byte load is used only while 18 bytes of the run remain.
static int32_t blend_soft(uint8_t *d, const uint8_t *s, const uint8_t *a, int32_t n)
{
    int32_t m = 0;
    while (m < n && (uint8_t)(a[m] + 1) > 1)
        m++;
    int32_t i = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128(), half = _mm_set1_epi16(128);
    for (; i + 6 <= m; i += 4) {
        uint64_t k0 = 255u - a[i], k1 = 255u - a[i + 1], k2 = 255u - a[i + 2], k3 = 255u - a[i + 3];
        uint64_t lo = k0 * 0x010101u | (k1 * 0x010101u) << 24 | (k2 * 0x010101u) << 48;
        uint64_t hi = (k2 * 0x010101u) >> 16 | (k3 * 0x010101u) << 8;
        __m128i keep = _mm_set_epi64x((long long)hi, (long long)lo);
        __m128i dv = _mm_loadu_si128((const __m128i *)(d + 3 * i));
        __m128i sv = _mm_loadu_si128((const __m128i *)(s + 3 * i));
        __m128i xl = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(dv, zero), _mm_unpacklo_epi8(keep, zero)), half);
        __m128i xh = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(dv, zero), _mm_unpackhi_epi8(keep, zero)), half);
        xl = _mm_srli_epi16(_mm_add_epi16(xl, _mm_srli_epi16(xl, 8)), 8);
        xh = _mm_srli_epi16(_mm_add_epi16(xh, _mm_srli_epi16(xh, 8)), 8);
        __m128i out = _mm_add_epi8(_mm_packus_epi16(xl, xh), sv);
        _mm_storel_epi64((__m128i *)(d + 3 * i), out);
        uint32_t tail = (uint32_t)_mm_cvtsi128_si32(_mm_srli_si128(out, 8));
        memcpy(d + 3 * i + 8, &tail, 4);
    }
#endif
    for (; i < m; i++)
        blend_pixel(d + 3 * i, s + 3 * i, a[i]);
    return m;
}

// The end of the run of alpha bytes equal to `value` that starts at j, sixteen at a time.
static int32_t run_end(const uint8_t *a, int32_t j, int32_t n, uint8_t value)
{
#ifdef __SSE2__
    const __m128i v = _mm_set1_epi8((char)value);
    while (j + 16 <= n && _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128((const __m128i *)(a + j)), v)) == 0xFFFF)
        j += 16;
#endif
    while (j < n && a[j] == value)
        j++;
    return j;
}

// Lays n premultiplied pixels over the destination. Most of any picture is runs of
// opaque pixels (copied straight, found sixteen alpha bytes at a time) or of transparent
// ones (skipped: s <= a, so their colour is 0 too); only the edges between are blended.
static void blend_row(uint8_t *d, const uint8_t *s, const uint8_t *a, int32_t n)
{
    int32_t i = 0;
    while (i < n) {
        int32_t j = i;
        if (a[i] == 255 || a[i] == 0) {
            j = run_end(a, j, n, a[i]);
            if (a[i] == 255)
                memcpy(d + 3 * i, s + 3 * i, (size_t)(j - i) * 3);
        } else {
            j += blend_soft(d + 3 * i, s + 3 * i, a + i, n - i);
        }
        i = j;
    }
}

void img_blit(const ImgView *dst, const ImgView *src)
{
    uint8_t *d = dst->colour;
    const uint8_t *s = src->colour;
    if (dst->format == src->format && img_second_bytes(src->format) == 0) {
        size_t row = (size_t)img_colour_bytes(src->format) * (size_t)src->width;
        for (int32_t y = 0; y < src->height; y++, d += dst->colour_stride, s += src->colour_stride)
            memcpy(d, s, row);
        return;
    }
    const uint8_t *a = src->second;
    if (!a)
        return;  // a blend needs the source's alpha
    for (int32_t y = 0; y < src->height; y++, d += dst->colour_stride, s += src->colour_stride, a += src->second_stride)
        blend_row(d, s, a, src->width);
}

void img_put(Img *dst, int32_t x, int32_t y, Img *src)
{
    img_copy_rect(dst, x, y, src, 0, 0, src->width, src->height);
}

void img_copy_rect(Img *dst, int32_t dx, int32_t dy, Img *src, int32_t sx, int32_t sy, int32_t w, int32_t h)
{
    ImgView d, s;
    img_view(&d, dst, dx, dy);
    img_view(&s, src, sx, sy);
    s.width = w;
    s.height = h;
    img_blit(&d, &s);
}

// --- fill, fade, ink, shadow, mix ---

void img_fill_view(const ImgView *view, uint32_t value)
{
    uint8_t *row = view->colour;
    if (view->format == IMG_8BIT) {
        for (int32_t y = 0; y < view->height; y++, row += view->colour_stride)
            memset(row, (int)(value & 0xFF), (size_t)view->width);
    } else if (view->format == IMG_BGR) {
        uint8_t px[3] = {(uint8_t)value, (uint8_t)(value >> 8), (uint8_t)(value >> 16)};
        for (int32_t y = 0; y < view->height; y++, row += view->colour_stride) {
            uint8_t *p = row;
            for (int32_t x = 0; x < view->width; x++, p += 3)
                memcpy(p, px, 3);
        }
    }
}

void img_fill(Img *img, uint8_t value)
{
    img_fill_rect(img, value, 0, 0, img->width, img->height);
}

void img_fill_rect(Img *img, uint8_t value, int32_t x, int32_t y, int32_t w, int32_t h)
{
    ImgView v;
    img_view(&v, img, x, y);
    v.width = w;
    v.height = h;
    img_fill_view(&v, value);
}

void img_fade(Img *img, uint8_t factor)
{
    if (img->format != IMG_8BIT)
        return;
    uint8_t *p = (uint8_t *)img + img->colour_offset;
    size_t n = (size_t)img->colour_stride * (size_t)img->height;
    for (size_t i = 0; i < n; i++)
        p[i] = (uint8_t)(p[i] * factor / 255);
}

// The masked step shared by ink and mix: d + ((k - d) * m >> 8), the shift rounding
// towards minus infinity as the artwork was tuned for.
static inline uint8_t toward(uint8_t d, int k, int m)
{
    return (uint8_t)(d + (((k - d) * m) >> 8));
}

static bool fits(const ImgView *inner, const ImgView *outer)
{
    return inner->width <= outer->width && inner->height <= outer->height;
}

void img_shadow(const ImgView *dst, const ImgView *shadow)
{
    if (shadow->format != IMG_8BIT || !fits(shadow, dst) || dst->format != IMG_BGR)
        return;
    uint8_t *d = dst->colour;
    const uint8_t *m = shadow->colour;
    for (int32_t y = 0; y < shadow->height; y++, d += dst->colour_stride, m += shadow->colour_stride) {
        uint8_t *p = d;
        for (int32_t x = 0; x < shadow->width; x++, p += 3) {
            if (!m[x])
                continue;
            const uint8_t *t = blend_table + (m[x] << 8);
            p[0] = t[p[0]];
            p[1] = t[p[1]];
            p[2] = t[p[2]];
        }
    }
}

void img_ink(const ImgView *dst, const ImgView *coverage, uint32_t colour)
{
    if (coverage->format != IMG_8BIT || !fits(coverage, dst))
        return;
    if (colour == 0) {
        img_shadow(dst, coverage);
        return;
    }
    if (dst->format != IMG_BGR)
        return;
    int kb = (int)(colour & 0xFF), kg = (int)((colour >> 8) & 0xFF), kr = (int)((colour >> 16) & 0xFF);
    uint8_t *d = dst->colour;
    const uint8_t *m = coverage->colour;
    for (int32_t y = 0; y < coverage->height; y++, d += dst->colour_stride, m += coverage->colour_stride) {
        uint8_t *p = d;
        for (int32_t x = 0; x < coverage->width; x++, p += 3) {
            int c = m[x];
            if (!c)
                continue;
            p[0] = toward(p[0], kb, c);
            p[1] = toward(p[1], kg, c);
            p[2] = toward(p[2], kr, c);
        }
    }
}

void img_mix(const ImgView *dst, const ImgView *src, const ImgView *mask)
{
    if (!fits(mask, dst) || !fits(mask, src) || mask->format != IMG_8BIT || dst->format != IMG_BGR)
        return;
    uint8_t *d = dst->colour;
    const uint8_t *s = src->colour, *m = mask->colour;
    for (int32_t y = 0; y < mask->height;
         y++, d += dst->colour_stride, s += src->colour_stride, m += mask->colour_stride) {
        for (int32_t x = 0; x < mask->width; x++) {
            int c = m[x];
            for (int k = 0; k < 3; k++)
                d[3 * x + k] = toward(d[3 * x + k], s[3 * x + k], c);
        }
    }
}

// --- conversion ---

static uint32_t read_le(const uint8_t *p, uint32_t n)
{
    uint32_t v = 0;
    for (uint32_t i = 0; i < n; i++)
        v |= (uint32_t)p[i] << (8 * i);
    return v;
}

static void write_le(uint8_t *p, uint32_t v, uint32_t n)
{
    for (uint32_t i = 0; i < n; i++)
        p[i] = (uint8_t)(v >> (8 * i));
}

// One channel of a 5-5-5 pixel scaled to 0..255, its shift and maximum derived from the mask.
static uint32_t channel_555(uint32_t p, uint32_t mask)
{
    int shift = __builtin_ctz(mask);
    uint32_t max = mask >> shift;
    return ((p & mask) >> shift) * 255 / max;
}

void img_convert(const ImgView *dst, const ImgView *src)
{
    if (dst->width != src->width || dst->height != src->height)
        return;
    uint32_t from = src->format & ~0x10u;  // an alpha plane is ignored
    uint32_t to = dst->format;
    if (from == to) {
        ImgView plain = *src;
        plain.format = from;
        img_blit(dst, &plain);
        return;
    }
    bool known = (from == 1 || from == 2 || from == 3) && (to == 1 || to == 2 || to == 3);
    if (!known)
        return;
    uint32_t sb = img_colour_bytes(from), db = img_colour_bytes(to);
    const uint8_t *s = src->colour;
    uint8_t *d = dst->colour;
    for (int32_t y = 0; y < src->height; y++, s += src->colour_stride, d += dst->colour_stride) {
        for (int32_t x = 0; x < src->width; x++) {
            uint32_t p = read_le(s + x * sb, sb), out = 0;
            if (from == 1 && to == 3) {
                out = p * 0x010101u;
            } else if (from == 3 && to == 1) {
                double grey = 0.299 * ((p >> 16) & 0xFF) + 0.587 * ((p >> 8) & 0xFF) + 0.114 * (p & 0xFF);
                out = (uint32_t)std::floor(grey + 0.5);
            } else if (from == 2 && to == 3) {
                out = channel_555(p, 0x7C00) << 16 | channel_555(p, 0x03E0) << 8 | channel_555(p, 0x001F);
            }
            write_le(d + x * db, out, db);
        }
    }
}

// --- lines ---

enum { OUT_ABOVE = 1, OUT_BELOW = 2, OUT_RIGHT = 4, OUT_LEFT = 8 };

static int region(int32_t x, int32_t y, int32_t w, int32_t h)
{
    return (y < 0 ? OUT_ABOVE : 0) | (y > h - 1 ? OUT_BELOW : 0) | (x > w - 1 ? OUT_RIGHT : 0) | (x < 0 ? OUT_LEFT : 0);
}

// Moves (x, y) along the line to the edge its region code names first (above, below,
// left, right, in that order).
static void clip_end(int32_t *x, int32_t *y, int32_t ox, int32_t oy, int code, int32_t w, int32_t h)
{
    double dx = (double)ox - *x, dy = (double)oy - *y;
    if (code & OUT_ABOVE) {
        *x = (int32_t)std::lround(*x + dx * (0 - *y) / dy);
        *y = 0;
    } else if (code & OUT_BELOW) {
        *x = (int32_t)std::lround(*x + dx * (h - 1 - *y) / dy);
        *y = h - 1;
    } else if (code & OUT_LEFT) {
        *y = (int32_t)std::lround(*y + dy * (0 - *x) / dx);
        *x = 0;
    } else {
        *y = (int32_t)std::lround(*y + dy * (w - 1 - *x) / dx);
        *x = w - 1;
    }
}

void img_line(const ImgView *view, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t value)
{
    int32_t w = view->width, h = view->height;
    if (w <= 0 || h <= 0)
        return;
    for (int guard = 0; guard < 8; guard++) {
        int c0 = region(x0, y0, w, h), c1 = region(x1, y1, w, h);
        if (!(c0 | c1))
            break;
        if (c0 & c1)
            return;
        if (c0)
            clip_end(&x0, &y0, x1, y1, c0, w, h);
        else
            clip_end(&x1, &y1, x0, y0, c1, w, h);
    }
    if (region(x0, y0, w, h) | region(x1, y1, w, h))
        return;  // rounding left an end outside: better nothing than a stray write
    uint32_t bytes = img_colour_bytes(view->format);
    int32_t dx = x1 - x0, dy = y1 - y0;
    int32_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    int32_t sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    bool along_y = 2 * ady >= 2 * adx;
    int32_t major = along_y ? ady : adx, minor = along_y ? adx : ady;
    int32_t err = 2 * minor - major;
    int32_t x = x0, y = y0;
    for (int32_t i = 0;; i++) {
        write_le(view->colour + (ptrdiff_t)y * view->colour_stride + (ptrdiff_t)x * bytes, value, bytes);
        if (i == major)
            break;
        if (err >= 0) {
            if (along_y)
                x += sx;
            else
                y += sy;
            err -= 2 * major;
        }
        if (along_y)
            y += sy;
        else
            x += sx;
        err += 2 * minor;
    }
}

// --- scaling ---

void img_scale(Img *dst, Img *src, int smooth)
{
    if (dst->format != src->format || (src->format != IMG_8BIT && src->format != IMG_BGR))
        return;
    ImgView d, s;
    img_view(&d, dst, 0, 0);
    img_view(&s, src, 0, 0);
    img_resample(&d, &s, smooth ? IMG_RESAMPLE_FILTERED : IMG_RESAMPLE_NEAREST);
}
