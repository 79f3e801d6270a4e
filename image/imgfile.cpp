// IMG files through open file handles. A file is the memory image of an Img, so every
// size in its header is checked against the file before anything is read or allocated.
#include "image/imgfile.h"

#include <cstring>

#include "platform/log.h"

static char last_report[256];

void codec_report(const char *text)
{
    snprintf(last_report, sizeof last_report, "%s", text);
    io_log("%s\n", text);
}

const char *codec_last_report(void)
{
    return last_report;
}

static uint32_t get32(const uint8_t *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static void put32(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

struct ImgHeader {
    uint32_t magic, width, height, format, colour_offset, colour_stride, second_offset, second_stride;
};

static bool read_raw_header(FILE *f, ImgHeader *h)
{
    uint8_t b[IMG_HEADER_SIZE];
    if (fread(b, 1, sizeof b, f) != sizeof b)
        return false;
    *h = {get32(b), get32(b + 4), get32(b + 8), get32(b + 12), get32(b + 16), get32(b + 20), get32(b + 24),
          get32(b + 28)};
    return h->magic == IMG_MAGIC;
}

static int fail_load(void)
{
    codec_report("IMG loader: unknown error");
    return 1;
}

int img_read_header(FILE *f, int32_t *width, int32_t *height, uint32_t *format)
{
    long start = ftell(f);
    ImgHeader h;
    bool ok = read_raw_header(f, &h);
    fseek(f, start, SEEK_SET);
    if (!ok)
        return fail_load();
    *width = (int32_t)h.width;
    *height = (int32_t)h.height;
    *format = h.format;
    return 0;
}

// Reads `rows` rows of `row` bytes into dst, skipping the file's padding up to `stride`.
static bool read_plane(FILE *f, uint8_t *dst, int32_t dst_stride, int32_t rows, uint32_t row, uint32_t stride)
{
    if (stride < row)
        return false;  // rows that overlap cannot be ours
    for (int32_t y = 0; y < rows; y++, dst += dst_stride) {
        if (fread(dst, 1, row, f) != row)
            return false;
        if (stride > row && fseek(f, (long)(stride - row), SEEK_CUR) != 0)
            return false;
    }
    return true;
}

int img_read_pixels(const ImgView *dst, FILE *f)
{
    // The header is read once and the planes follow right behind it.
    long start = ftell(f);
    ImgHeader hd;
    if (!read_raw_header(f, &hd)) {
        fseek(f, start, SEEK_SET);
        return fail_load();
    }
    int32_t w = (int32_t)hd.width, h = (int32_t)hd.height;
    uint32_t format = hd.format;
    if (w != dst->width || h != dst->height || format != dst->format || w < 0 || h < 0) {
        fseek(f, start, SEEK_SET);
        return fail_load();
    }
    uint32_t row = img_colour_bytes(format) * (uint32_t)w;
    if (!read_plane(f, dst->colour, dst->colour_stride, h, row, hd.colour_stride))
        return fail_load();
    if (img_second_bytes(format)) {
        uint32_t row2 = img_second_bytes(format) * (uint32_t)w;
        if (!dst->second || fseek(f, start + (long)hd.second_offset, SEEK_SET) != 0 ||
            !read_plane(f, dst->second, dst->second_stride, h, row2, hd.second_stride))
            return fail_load();
    }
    return 0;
}

static int fail_save(void)
{
    codec_report("IMG saver: unknown error");
    return 1;
}

int img_write(FILE *f, const ImgView *src)
{
    uint32_t format = src->format, w = (uint32_t)src->width, h = (uint32_t)src->height;
    uint32_t colour_stride = img_colour_bytes(format) * w;
    uint32_t second_stride = img_second_bytes(format) * w;
    uint8_t b[IMG_HEADER_SIZE] = {};
    put32(b, IMG_MAGIC);
    put32(b + 4, w);
    put32(b + 8, h);
    put32(b + 12, format);
    put32(b + 16, IMG_HEADER_SIZE);
    put32(b + 20, colour_stride);
    put32(b + 24, second_stride ? IMG_HEADER_SIZE + colour_stride * h : 0);
    put32(b + 28, second_stride);
    if (fwrite(b, 1, sizeof b, f) != sizeof b)
        return fail_save();
    const uint8_t *p = src->colour;
    for (uint32_t y = 0; y < h; y++, p += src->colour_stride)
        if (fwrite(p, 1, colour_stride, f) != colour_stride)
            return fail_save();
    if (second_stride) {
        if (!src->second)
            return fail_save();
        p = src->second;
        for (uint32_t y = 0; y < h; y++, p += src->second_stride)
            if (fwrite(p, 1, second_stride, f) != second_stride)
                return fail_save();
    }
    return 0;
}

// The bytes left in the file from the current position, or -1 when unknown.
static long bytes_left(FILE *f)
{
    long here = ftell(f);
    if (here < 0 || fseek(f, 0, SEEK_END) != 0)
        return -1;
    long end = ftell(f);
    fseek(f, here, SEEK_SET);
    return end - here;
}

Img *img_load(FILE *f)
{
    int32_t w, h;
    uint32_t format;
    if (img_read_header(f, &w, &h, &format))
        return nullptr;
    // A header is checked against the file before its size is believed: a damaged or
    // hostile file must not make us allocate gigabytes.
    bool known = format == IMG_8BIT || format == IMG_555 || format == IMG_BGR || format == IMG_BGRA;
    uint64_t need = (uint64_t)(img_colour_bytes(format) + img_second_bytes(format)) * (uint64_t)(uint32_t)w *
                    (uint64_t)(uint32_t)h;
    long left = bytes_left(f);
    if (!known || w < 0 || h < 0 || w > 65535 || h > 65535 || left < 0 || need > (uint64_t)left) {
        fail_load();
        return nullptr;
    }
    Img *img = img_create(w, h, format);
    ImgView v;
    img_view(&v, img, 0, 0);
    if (img_read_pixels(&v, f)) {
        img_free(img);
        return nullptr;
    }
    return img;
}

int img_save(FILE *f, Img *img)
{
    ImgView v;
    img_view(&v, img, 0, 0);
    return img_write(f, &v) == 0;
}

int img_check(const void *data, size_t size)
{
    if (!data || size < IMG_HEADER_SIZE)
        return 0;
    const uint8_t *b = (const uint8_t *)data;
    uint32_t w = get32(b + 4), h = get32(b + 8), format = get32(b + 12);
    bool known = format == IMG_8BIT || format == IMG_555 || format == IMG_BGR || format == IMG_BGRA;
    if (get32(b) != IMG_MAGIC || !known || w > 65535 || h > 65535)
        return 0;
    uint64_t colour = (uint64_t)img_colour_bytes(format) * w, second = (uint64_t)img_second_bytes(format) * w;
    uint64_t want_second_offset = second ? IMG_HEADER_SIZE + colour * h : 0;
    return get32(b + 16) == IMG_HEADER_SIZE && get32(b + 20) == colour && get32(b + 24) == want_second_offset &&
           get32(b + 28) == second && IMG_HEADER_SIZE + (colour + second) * h == size;
}
