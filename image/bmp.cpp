// BMP pictures. The player may point us at any file, so every number in the headers is
// checked against the file itself before anything is allocated, and no pixel is ever
// written outside the picture, whatever the data says.
#include "image/bmp.h"

#include <cstring>

#include "image/imgfile.h"
#include "platform/files.h"

constexpr uint16_t BMP_MAGIC = 0x4D42;  // "BM"
constexpr uint32_t BMP_FILE_HEADER_SIZE = 14;
constexpr uint32_t BMP_CORE_HEADER_SIZE = 12;   // OS/2 1.x: u16 sizes, 3-byte palette entries
constexpr uint32_t BMP_INFO_HEADER_SIZE = 40;   // Windows 3.x
constexpr uint32_t BMP_INFO2_HEADER_SIZE = 64;  // OS/2 2.x: the Windows fields, then its own
// Windows 95 and 98 headers: the Windows 3.x fields with the bit-field masks inside the
// header, then colour-space data we have no use for. Most of today's programs write them.
constexpr uint32_t BMP_V4_HEADER_SIZE = 108;
constexpr uint32_t BMP_V5_HEADER_SIZE = 124;
constexpr uint32_t BMP_WRITTEN_HEADERS = BMP_FILE_HEADER_SIZE + BMP_INFO_HEADER_SIZE;
constexpr uint32_t BMP_PELS_PER_METRE = 2835;  // 72 dots per inch

// Larger pictures are not puzzles; the limit also keeps every row size far from overflow.
constexpr int64_t BMP_MAX_DIMENSION = 32768;
// RLE8 and RLE4 can claim a huge picture in a few bytes. A run gives at most 255 pixels
// for two bytes, so real files stay far below 256 pixels a byte; the cap bounds the rest.
constexpr uint64_t BMP_RLE_PIXELS_PER_BYTE = 256;
constexpr uint64_t BMP_MAX_RLE_PIXELS = 1u << 26;

enum : uint32_t { BMP_RGB = 0, BMP_RLE8 = 1, BMP_RLE4 = 2, BMP_BITFIELDS = 3 };

// What the header step learnt about the file read last; the pixel step reads it again,
// so this is only ever used right after a successful header.
struct BmpReader {
    uint32_t data_offset;  // from the first byte of the bitmap
    uint32_t bits;
    uint32_t compression;
    bool top_down;
    uint32_t masks[3];  // red, green, blue
    uint32_t colours;   // palette entries the file gives
    uint8_t blue[256], green[256], red[256];
};
static BmpReader bmp;

static uint16_t get16(const uint8_t *p)
{
    return (uint16_t)(p[0] | p[1] << 8);
}

static uint32_t get32(const uint8_t *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static void put16(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

static void put32(uint8_t *p, uint32_t v)
{
    put16(p, v);
    put16(p + 2, v >> 16);
}

static bool read_exact(FILE *f, uint8_t *p, size_t n)
{
    return fread(p, 1, n, f) == n;
}

static int fail_load(void)
{
    codec_report("BMP loader: unknown error");
    return 1;
}

static int fail_save(void)
{
    codec_report("BMP saver: unknown error");
    return 1;
}

// Bytes in the file from `start` to its end, or -1 when the stream cannot tell.
static int64_t bytes_from(FILE *f, long start)
{
    if (fseek(f, 0, SEEK_END) != 0)
        return -1;
    long end = ftell(f);
    if (fseek(f, start, SEEK_SET) != 0 || end < start)
        return -1;
    return end - start;
}

// Bytes of one stored row, before and after the padding to four bytes.
static uint64_t row_bytes(uint32_t bits, int64_t width)
{
    return ((uint64_t)width * bits + 7) / 8;
}

static uint64_t padded_row_bytes(uint32_t bits, int64_t width)
{
    return (row_bytes(bits, width) + 3) & ~(uint64_t)3;
}

// Reads the headers at `start` into `r`; false for anything we do not read, or for
// sizes and offsets the file cannot back.
static bool parse_headers(FILE *f, long start, BmpReader *r, int32_t *width, int32_t *height)
{
    int64_t file_size = bytes_from(f, start);
    if (file_size < 0)
        return false;

    uint8_t fh[BMP_FILE_HEADER_SIZE];
    if (!read_exact(f, fh, sizeof fh) || get16(fh) != BMP_MAGIC)
        return false;
    *r = {};
    r->data_offset = get32(fh + 10);

    uint8_t h[BMP_V5_HEADER_SIZE];
    if (!read_exact(f, h, 4))
        return false;
    uint32_t size = get32(h);
    if (size != BMP_CORE_HEADER_SIZE && size != BMP_INFO_HEADER_SIZE && size != BMP_INFO2_HEADER_SIZE &&
        size != BMP_V4_HEADER_SIZE && size != BMP_V5_HEADER_SIZE)
        return false;
    if (!read_exact(f, h + 4, size - 4))
        return false;

    int64_t w, ht;
    uint32_t planes, colours = 0;
    if (size == BMP_CORE_HEADER_SIZE) {
        w = get16(h + 4);
        ht = get16(h + 6);
        planes = get16(h + 8);
        r->bits = get16(h + 10);
        r->compression = BMP_RGB;
        if (r->bits != 1 && r->bits != 4 && r->bits != 8 && r->bits != 24)
            return false;
    } else {
        w = (int32_t)get32(h + 4);
        ht = (int32_t)get32(h + 8);
        planes = get16(h + 12);
        r->bits = get16(h + 14);
        r->compression = get32(h + 16);
        colours = get32(h + 32);
        if (r->bits != 1 && r->bits != 4 && r->bits != 8 && r->bits != 16 && r->bits != 24 && r->bits != 32)
            return false;
    }
    if (planes != 1)
        return false;
    uint64_t headers_end = BMP_FILE_HEADER_SIZE + size;

    if (r->bits <= 8) {
        // Some writers give a 4-bit picture a full 256-entry palette; an index past
        // the palette is caught when the pixels are read.
        uint32_t entry = size == BMP_CORE_HEADER_SIZE ? 3 : 4;
        if (colours == 0)
            colours = 1u << r->bits;
        if (colours > 256)
            return false;
        r->colours = colours;
        uint8_t pal[256 * 4];
        if (!read_exact(f, pal, (size_t)colours * entry))
            return false;
        for (uint32_t i = 0; i < colours; i++) {
            r->blue[i] = pal[i * entry];
            r->green[i] = pal[i * entry + 1];
            r->red[i] = pal[i * entry + 2];
        }
        headers_end += (uint64_t)colours * entry;
    }

    // Without bit fields the masks are the fixed layouts, so one path converts both.
    if (r->compression == BMP_BITFIELDS && size >= BMP_V4_HEADER_SIZE) {
        r->masks[0] = get32(h + 40);
        r->masks[1] = get32(h + 44);
        r->masks[2] = get32(h + 48);
    } else if (r->compression == BMP_BITFIELDS) {
        uint8_t m[12];
        if (!read_exact(f, m, sizeof m))
            return false;
        r->masks[0] = get32(m);
        r->masks[1] = get32(m + 4);
        r->masks[2] = get32(m + 8);
        headers_end += sizeof m;
    } else if (r->bits == 16) {
        r->masks[0] = 0x7C00, r->masks[1] = 0x03E0, r->masks[2] = 0x001F;
    } else {
        r->masks[0] = 0xFF0000, r->masks[1] = 0xFF00, r->masks[2] = 0xFF;
    }

    if (ht < 0) {
        r->top_down = true;
        ht = -ht;
    }

    // Each compression with the depths it is defined for; RLE and bit fields on any
    // other depth cannot be decoded, so they fail before the caller allocates.
    bool known = r->compression == BMP_RGB || (r->compression == BMP_RLE8 && r->bits == 8) ||
                 (r->compression == BMP_RLE4 && r->bits == 4) ||
                 (r->compression == BMP_BITFIELDS && (r->bits == 16 || r->bits == 32));
    if (!known || w < 1 || ht < 1 || w > BMP_MAX_DIMENSION || ht > BMP_MAX_DIMENSION)
        return false;

    // The pixels start behind the headers, palette and masks, and the file holds them.
    if (r->data_offset < headers_end || r->data_offset > (uint64_t)file_size)
        return false;
    uint64_t data_bytes = (uint64_t)file_size - r->data_offset;
    if (r->compression == BMP_RLE8 || r->compression == BMP_RLE4) {
        uint64_t pixels = (uint64_t)w * (uint64_t)ht;
        if (pixels > BMP_MAX_RLE_PIXELS || pixels > data_bytes * BMP_RLE_PIXELS_PER_BYTE)
            return false;
    } else {
        // The last row may come without its padding.
        uint64_t need = padded_row_bytes(r->bits, w) * (uint64_t)(ht - 1) + row_bytes(r->bits, w);
        if (need > data_bytes)
            return false;
    }
    *width = (int32_t)w;
    *height = (int32_t)ht;
    return true;
}

int bmp_read_header(FILE *f, int32_t *width, int32_t *height, uint32_t *format)
{
    long start = ftell(f);
    if (start < 0)
        return fail_load();
    BmpReader r;
    int32_t w, h;
    bool ok = parse_headers(f, start, &r, &w, &h);
    fseek(f, start, SEEK_SET);
    if (!ok)
        return fail_load();
    bmp = r;
    *width = w;
    *height = h;
    *format = bmp.bits == 16 ? IMG_555 : IMG_BGR;
    return 0;
}

// One channel of a bit-field pixel: its bits, their position and their largest value.
struct BmpChannel {
    uint32_t mask, shift, max;
};

static BmpChannel channel(uint32_t mask)
{
    uint32_t shift = mask ? (uint32_t)__builtin_ctz(mask) : 0;
    return {mask, shift, mask >> shift};
}

// A channel of any width scaled to `top` (31 for 5-5-5 pictures, 255 for bytes),
// rounded: full scale stays full scale whatever the width, and a channel already
// `top` wide keeps its value.
static inline uint32_t channel_scaled(uint32_t p, BmpChannel c, uint32_t top)
{
    if (c.max == 0)
        return 0;
    uint64_t v = (p & c.mask) >> c.shift;
    return (uint32_t)((v * top + c.max / 2) / c.max);
}

// False when a packed index points past the palette.
static bool convert_row(uint8_t *dst, const uint8_t *src, int32_t width, const BmpChannel ch[3])
{
    switch (bmp.bits) {
    case 1:
    case 4:
        // Packed from the most significant bits. A palette shorter than the depth
        // leaves indexes with no colour: the file is damaged, and refused.
        for (int32_t x = 0; x < width; x++, dst += 3) {
            uint32_t i = bmp.bits == 1 ? (src[x >> 3] >> (7 - (x & 7))) & 1 : (src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
            if (i >= bmp.colours)
                return false;
            dst[0] = bmp.blue[i], dst[1] = bmp.green[i], dst[2] = bmp.red[i];
        }
        break;
    case 8:
        for (int32_t x = 0; x < width; x++, dst += 3) {
            uint8_t i = src[x];
            dst[0] = bmp.blue[i], dst[1] = bmp.green[i], dst[2] = bmp.red[i];
        }
        break;
    case 16:
        for (int32_t x = 0; x < width; x++, src += 2, dst += 2) {
            uint32_t p = get16(src);
            put16(dst, channel_scaled(p, ch[0], 31) << 10 | channel_scaled(p, ch[1], 31) << 5 | channel_scaled(p, ch[2], 31));
        }
        break;
    case 24:
        // The fixed layout is the picture's own blue, green, red.
        memcpy(dst, src, (size_t)width * 3);
        break;
    default:
        // Every channel is brought to a byte: a 7-bit red taken as it stands would peak
        // at 127, a 10-bit one would keep only its low byte.
        for (int32_t x = 0; x < width; x++, src += 4, dst += 3) {
            uint32_t p = get32(src);
            dst[0] = (uint8_t)channel_scaled(p, ch[2], 255);
            dst[1] = (uint8_t)channel_scaled(p, ch[1], 255);
            dst[2] = (uint8_t)channel_scaled(p, ch[0], 255);
        }
        break;
    }
    return true;
}

static bool read_rows(Picture *picture, FILE *f)
{
    int32_t w = picture->width, h = picture->height;
    size_t row = (size_t)row_bytes(bmp.bits, w);
    long padding = (long)(padded_row_bytes(bmp.bits, w) - row);
    uint8_t *buf = (uint8_t *)img_alloc(row);
    if (!buf)
        return false;
    const BmpChannel ch[3] = {channel(bmp.masks[0]), channel(bmp.masks[1]), channel(bmp.masks[2])};
    bool ok = true;
    for (int32_t i = 0; i < h && ok; i++) {
        ok = read_exact(f, buf, row);
        if (ok) {
            int32_t y = bmp.top_down ? i : h - 1 - i;
            ok = convert_row(picture->colour + (ptrdiff_t)y * picture->colour_stride, buf, w, ch);
            // A missing last padding is no loss; a missing row shows in the next read.
            if (padding)
                fseek(f, padding, SEEK_CUR);
        }
    }
    img_release(buf);
    return ok;
}

static void rle_put(Picture *picture, int64_t x, int64_t line, int index)
{
    int32_t w = picture->width, h = picture->height;
    if (x < 0 || x >= w || line < 0 || line >= h)
        return;  // the data may point anywhere; what falls outside is dropped
    int64_t y = bmp.top_down ? line : h - 1 - line;
    uint8_t *p = picture->colour + y * picture->colour_stride + x * 3;
    p[0] = bmp.blue[index], p[1] = bmp.green[index], p[2] = bmp.red[index];
}

// Pixels the RLE data skips show palette colour 0, as other readers show them.
static void rle_clear(Picture *picture)
{
    for (int32_t y = 0; y < picture->height; y++) {
        uint8_t *p = picture->colour + (ptrdiff_t)y * picture->colour_stride;
        for (int32_t x = 0; x < picture->width; x++, p += 3)
            p[0] = bmp.blue[0], p[1] = bmp.green[0], p[2] = bmp.red[0];
    }
}

// Every way the data can end (short read, end of bitmap, past the last line) is a
// finished picture, as the files that stop early still show what they have.
static bool read_rle8(Picture *picture, FILE *f)
{
    int32_t w = picture->width, h = picture->height;
    rle_clear(picture);

    int64_t x = 0, line = 0;
    while (line < h) {
        int count = getc(f), value = getc(f);
        if (value == EOF)
            break;
        if (count > 0) {
            for (int i = 0; i < count; i++)
                rle_put(picture, x + i, line, value);
            x += count;
        } else if (value == 0) {  // end of line
            x = 0;
            line++;
        } else if (value == 1) {  // end of bitmap
            break;
        } else if (value == 2) {  // delta
            int dx = getc(f), dy = getc(f);
            if (dy == EOF)
                break;
            x += dx;
            line += dy;
        } else {  // absolute run, padded to an even length
            for (int i = 0; i < value; i++) {
                int index = getc(f);
                if (index == EOF)
                    return true;
                rle_put(picture, x + i, line, index);
            }
            x += value;
            if (value & 1)
                getc(f);
        }
        // A line never shrinks back, so past the width nothing more lands on it.
        if (x > w)
            x = w;
    }
    return true;
}

// RLE4 is held to its own commands: a run or a move that leaves the picture, an index
// past the palette or data that stops before the last line is ended is a damaged file,
// refused. Run pixels alternate between the two nibbles of their byte, high first.
static bool read_rle4(Picture *picture, FILE *f)
{
    int64_t w = picture->width, h = picture->height;
    rle_clear(picture);
    int64_t x = 0, line = 0;
    for (;;) {
        int count = getc(f), value = getc(f);
        if (value == EOF)
            return line >= h;
        if (count > 0) {
            if (line >= h || x + count > w)
                return false;
            int nibbles[2] = {value >> 4, value & 15};
            if ((uint32_t)nibbles[0] >= bmp.colours || (count > 1 && (uint32_t)nibbles[1] >= bmp.colours))
                return false;
            for (int i = 0; i < count; i++)
                rle_put(picture, x + i, line, nibbles[i & 1]);
            x += count;
        } else if (value == 0) {  // end of line
            x = 0;
            line++;
        } else if (value == 1) {  // end of bitmap
            return true;
        } else if (value == 2) {  // delta
            int dx = getc(f), dy = getc(f);
            if (dy == EOF)
                return false;
            x += dx;
            line += dy;
            if (x > w || line > h)
                return false;
        } else {  // absolute run: value nibbles, their bytes padded to an even count
            if (line >= h || x + value > w)
                return false;
            int bytes = (value + 1) / 2;
            uint8_t run[128];
            if (!read_exact(f, run, (size_t)bytes + (bytes & 1)))
                return false;
            for (int i = 0; i < value; i++) {
                uint32_t index = (i & 1) ? run[i / 2] & 15 : run[i / 2] >> 4;
                if (index >= bmp.colours)
                    return false;
                rle_put(picture, x + i, line, (int)index);
            }
            x += value;
        }
    }
}

int bmp_read_pixels(Picture *picture, FILE *f)
{
    long start = ftell(f);
    int32_t w, h;
    uint32_t format;
    if (bmp_read_header(f, &w, &h, &format))
        return 1;
    if (!picture || picture->width != w || picture->height != h || picture->format != format ||
        picture->colour_stride < (int32_t)img_colour_bytes(format) * w)
        return fail_load();
    if (fseek(f, start + (long)bmp.data_offset, SEEK_SET) != 0)
        return fail_load();
    bool ok = bmp.compression == BMP_RLE8   ? read_rle8(picture, f)
              : bmp.compression == BMP_RLE4 ? read_rle4(picture, f)
                                            : read_rows(picture, f);
    return ok ? 0 : fail_load();
}

int bmp_write(FILE *f, const Picture *picture)
{
    if (!picture || picture->format != IMG_BGR || picture->width < 1 || picture->height < 1 ||
        picture->width > BMP_MAX_DIMENSION || picture->height > BMP_MAX_DIMENSION)
        return fail_save();
    uint32_t w = (uint32_t)picture->width, h = (uint32_t)picture->height;
    uint32_t row = 3 * w, padded = (row + 3) & ~3u;
    uint64_t file_size = (uint64_t)padded * h + BMP_WRITTEN_HEADERS;
    if (file_size > UINT32_MAX)
        return fail_save();

    uint8_t hd[BMP_WRITTEN_HEADERS] = {};
    put16(hd, BMP_MAGIC);
    put32(hd + 2, (uint32_t)file_size);
    put32(hd + 10, BMP_WRITTEN_HEADERS);
    uint8_t *info = hd + BMP_FILE_HEADER_SIZE;
    put32(info, BMP_INFO_HEADER_SIZE);
    put32(info + 4, w);
    put32(info + 8, h);
    put16(info + 12, 1);
    put16(info + 14, 24);
    put32(info + 24, BMP_PELS_PER_METRE);
    put32(info + 28, BMP_PELS_PER_METRE);
    if (fwrite(hd, 1, sizeof hd, f) != sizeof hd)
        return fail_save();

    const uint8_t zeros[3] = {};
    for (uint32_t i = 0; i < h; i++) {
        const uint8_t *src = picture->colour + (ptrdiff_t)(h - 1 - i) * picture->colour_stride;
        if (fwrite(src, 1, row, f) != row || fwrite(zeros, 1, padded - row, f) != padded - row)
            return fail_save();
    }
    if (ferror(f))
        return fail_save();
    return 0;
}

int bmp_save(const char *path, const Picture *picture)
{
    // Through a temporary file, so a failed save never costs the player the old picture.
    SafeFile sf;
    if (!safe_file_open(&sf, path))
        return fail_save();
    if (bmp_write(sf.f, picture)) {
        safe_file_abort(&sf);
        return 1;
    }
    if (!safe_file_commit(&sf))
        return fail_save();
    return 0;
}
