// TIFF pictures through libtiff: the first directory of a strip file with contiguous
// samples of 1, 4 or 8 bits, uncompressed, LZW, JPEG or PackBits; grey, RGB (with an
// alpha sample) and palette pictures. Every refusal goes through libtiff's error path,
// which hands "TIF: <reason>." to codec_report.
#include <cstdarg>
#include <cstring>
#include <tiffio.h>

#include "image/imgfile.h"
#include "image/jpeg.h"

// A directory may claim 4 Gpx; the size is checked before anything is allocated for it.
constexpr uint32_t TIFF_MAX_SIDE = 16384;
constexpr uint64_t TIFF_MAX_PIXELS = (uint64_t)1 << 26;  // 64 Mpx: 256 MB with alpha
// Colour plus a few extra channels; more only makes the line buffer huge.
constexpr uint16_t TIFF_MAX_SAMPLES = 16;

// What the last checked directory holds, for the row conversions.
struct TiffState {
    uint16_t bits;         // per sample: 1, 4 or 8
    uint16_t samples;      // per pixel
    uint16_t photometric;  // 0 white is zero, 1 black is zero, 2 RGB, 3 palette
    bool grey_map;         // palette whose entries are all grey: an 8-bit picture
    bool associated;       // the fourth sample is premultiplied alpha already
    uint8_t red[256], green[256], blue[256];
};
static TiffState tf;

// libtiff's errors and our own refusals: "<module> <message>.", logged through the codec hook.
static void tiff_report(const char *module, const char *fmt, va_list ap)
{
    const char *name = module ? module : "TIFFLIB";
    va_list copy;
    va_copy(copy, ap);
    int n = vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (n < 0)
        return;
    size_t size = strlen(name) + (size_t)n + 3;
    char *text = (char *)img_alloc(size);
    int k = snprintf(text, size, "%s ", name);
    vsnprintf(text + k, size - (size_t)k, fmt, ap);
    strcat(text, ".");
    codec_report(text);
    img_release(text);
}

static int tiff_refuse(const char *reason)
{
    TIFFError("TIF:", "%s", reason);
    return 1;
}

static TIFF *tiff_open(const char *path)
{
    TIFFSetErrorHandler(tiff_report);
    TIFFSetWarningHandler(nullptr);  // unknown tags and the like are no reason to complain
    TIFF *t = path ? TIFFOpen(path, "r") : nullptr;
    if (!t)
        tiff_refuse("cannot open file");
    return t;
}

static int tiff_read_colour_map(TIFF *t)
{
    uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
    if (!TIFFGetField(t, TIFFTAG_COLORMAP, &r, &g, &b) || !r || !g || !b)
        return tiff_refuse("missing colour map");
    int entries = 1 << tf.bits;
    bool grey = true, wide = false;
    for (int i = 0; i < entries; i++) {
        grey = grey && r[i] == g[i] && g[i] == b[i];
        wide = wide || r[i] > 255 || g[i] > 255 || b[i] > 255;
    }
    // Maps are 16-bit by the book, but some writers store 8-bit values.
    int shift = wide ? 8 : 0;
    memset(tf.red, 0, sizeof tf.red);
    memset(tf.green, 0, sizeof tf.green);
    memset(tf.blue, 0, sizeof tf.blue);
    for (int i = 0; i < entries; i++) {
        tf.red[i] = (uint8_t)(r[i] >> shift);
        tf.green[i] = (uint8_t)(g[i] >> shift);
        tf.blue[i] = (uint8_t)(b[i] >> shift);
    }
    tf.grey_map = grey;
    return 0;
}

// Checks the open file's first directory and fills tf; 0 with the picture's size and
// format, or 1 (reported).
static int tiff_check(TIFF *t, int32_t *width, int32_t *height, uint32_t *format)
{
    uint32_t w = 0, h = 0;
    uint16_t orientation = 0, bits = 0, samples = 0, compression = 0, photometric = UINT16_MAX, planar = 0;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
    if (w == 0 || h == 0 || w > TIFF_MAX_SIDE || h > TIFF_MAX_SIDE || (uint64_t)w * h > TIFF_MAX_PIXELS)
        return tiff_refuse("picture too large or empty");
    TIFFGetFieldDefaulted(t, TIFFTAG_ORIENTATION, &orientation);
    if (orientation != ORIENTATION_TOPLEFT)
        return tiff_refuse("wrong orientation");
    TIFFGetField(t, TIFFTAG_BITSPERSAMPLE, &bits);
    if (bits != 1 && bits != 4 && bits != 8)
        return tiff_refuse("only 1, 4 or 8 bits per channel allowed");
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &compression);
    if (compression != 0 && compression != COMPRESSION_NONE && compression != COMPRESSION_LZW &&
        compression != COMPRESSION_JPEG && compression != COMPRESSION_PACKBITS)
        return tiff_refuse("unsupported compression method");
    TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric);
    if (photometric > PHOTOMETRIC_PALETTE)
        return tiff_refuse("invalid photometric");
    TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
    if (planar != PLANARCONFIG_CONTIG)
        return tiff_refuse("invalid planar configuration");
    tf.bits = bits;
    tf.samples = samples;
    tf.photometric = photometric;
    tf.grey_map = false;
    if (photometric == PHOTOMETRIC_PALETTE && tiff_read_colour_map(t))
        return 1;
    uint16_t extras = 0;
    uint16_t *kinds = nullptr;
    TIFFGetFieldDefaulted(t, TIFFTAG_EXTRASAMPLES, &extras, &kinds);
    tf.associated = extras > 0 && kinds && kinds[0] == EXTRASAMPLE_ASSOCALPHA;

    if (samples == 0 || samples > TIFF_MAX_SAMPLES || (bits < 8 && samples != 1))
        return tiff_refuse("unknown error");
    uint32_t fmt = 0;
    if (photometric <= PHOTOMETRIC_MINISBLACK)
        fmt = IMG_8BIT;
    else if (photometric == PHOTOMETRIC_RGB)
        fmt = samples == 3 ? IMG_BGR : samples > 3 ? IMG_BGRA : 0u;  // red, green, blue must all be there
    else if (tf.grey_map)
        fmt = IMG_8BIT;
    else if (bits >= 4)
        fmt = IMG_BGR;
    if (!fmt)
        return tiff_refuse("unknown error");
    *width = (int32_t)w;
    *height = (int32_t)h;
    *format = fmt;
    return 0;
}

int tiff_read_info(const char *path, int32_t *width, int32_t *height, uint32_t *format)
{
    TIFF *t = tiff_open(path);
    if (!t)
        return 1;
    int failed = tiff_check(t, width, height, format);
    TIFFClose(t);
    return failed;
}

// Palette index or grey level x of a row: packed bits and nibbles from the most
// significant end, whole bytes stepping over the other samples of the pixel.
static inline uint8_t tiff_sample(const uint8_t *in, int32_t x)
{
    if (tf.bits == 1)
        return (in[x >> 3] >> (7 - (x & 7))) & 1;
    if (tf.bits == 4)
        return (x & 1) ? in[x >> 1] & 15 : in[x >> 1] >> 4;
    return in[(size_t)x * tf.samples];
}

static void tiff_convert_row(const Picture *p, int32_t row, const uint8_t *in)
{
    uint8_t *out = p->colour + (ptrdiff_t)row * p->colour_stride;
    int32_t w = p->width;
    if (tf.photometric <= PHOTOMETRIC_MINISBLACK) {
        bool inverted = tf.photometric == PHOTOMETRIC_MINISWHITE;
        int scale = tf.bits == 1 ? 255 : tf.bits == 4 ? 17 : 1;
        for (int32_t x = 0; x < w; x++) {
            uint8_t v = (uint8_t)(tiff_sample(in, x) * scale);
            out[x] = inverted ? 255 - v : v;
        }
    } else if (tf.photometric == PHOTOMETRIC_RGB) {
        uint8_t *alpha = p->second ? p->second + (ptrdiff_t)row * p->second_stride : nullptr;
        for (int32_t x = 0; x < w; x++, out += 3) {
            const uint8_t *s = in + (size_t)x * tf.samples;
            out[0] = s[2];
            out[1] = s[1];
            out[2] = s[0];
            if (!alpha)
                continue;
            // Two-plane pictures hold colour premultiplied, never above its alpha.
            uint8_t a = s[3];
            alpha[x] = a;
            for (int c = 0; c < 3; c++)
                out[c] = tf.associated ? (out[c] < a ? out[c] : a) : (uint8_t)((out[c] * a + 127) / 255);
        }
    } else if (tf.grey_map) {
        for (int32_t x = 0; x < w; x++)
            out[x] = tf.red[tiff_sample(in, x)];
    } else {
        for (int32_t x = 0; x < w; x++, out += 3) {
            uint8_t i = tiff_sample(in, x);
            out[0] = tf.blue[i];
            out[1] = tf.green[i];
            out[2] = tf.red[i];
        }
    }
}

int tiff_read_pixels(Picture *picture, const char *path)
{
    TIFF *t = tiff_open(path);
    if (!t)
        return 1;
    int32_t width, height;
    uint32_t format;
    if (tiff_check(t, &width, &height, &format)) {
        TIFFClose(t);
        return 1;
    }
    if (!picture || picture->width != width || picture->height != height || picture->format != format) {
        TIFFClose(t);
        return tiff_refuse("unknown error");
    }
    // The conversions read this much of every line; libtiff must deliver at least that.
    uint64_t used = ((uint64_t)width * tf.samples * tf.bits + 7) / 8;
    tmsize_t line = TIFFScanlineSize(t);
    if (line <= 0 || (uint64_t)line < used) {
        TIFFClose(t);
        return tiff_refuse("unknown error");
    }
    uint8_t *buffer = (uint8_t *)img_alloc((size_t)line);
    int failed = 0;
    for (int32_t r = 0; r < height && !failed; r++) {
        if (TIFFReadScanline(t, buffer, (uint32_t)r, 0) < 0)
            failed = 1;
        else
            tiff_convert_row(picture, r, buffer);
    }
    img_release(buffer);
    TIFFClose(t);
    return failed ? tiff_refuse("cannot read the pixels") : 0;
}
