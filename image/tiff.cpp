// TIFF pictures through libtiff. The first directory of a strip file with contiguous
// samples of 1, 4 or 8 bits (grey, RGB with or without alpha, palette), stored top
// left first, is read line by line and converted here. Everything else libtiff can
// read (16-bit samples, tiles, separate planes, YCbCr and JPEG-in-TIFF, CMYK, other
// orientations) comes through its RGBA reader. Every refusal hands "TIF: <reason>."
// to codec_report; when libtiff refused, the reason is libtiff's own.
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
// libtiff's own buffers for one strip or tile: a whole 64 Mpx picture of 16-bit RGBA in
// one strip fits, a hostile header asking for gigabytes does not.
constexpr tmsize_t TIFF_MAX_LIBRARY_BLOCK = (tmsize_t)512 << 20;
// The RGBA reader works through bands of at least this many rows, so a picture is never
// held twice in memory.
constexpr uint32_t TIFF_BAND_ROWS = 64;

// What the last checked directory holds, for the row conversions.
struct TiffState {
    uint16_t bits;         // per sample
    uint16_t samples;      // per pixel
    uint16_t photometric;  // 0 white is zero, 1 black is zero, 2 RGB, 3 palette, ...
    uint16_t orientation;  // where the first stored row and column are shown
    uint16_t alpha;        // 0, or EXTRASAMPLE_ASSOCALPHA / EXTRASAMPLE_UNASSALPHA
    bool grey_map;         // palette whose entries are all grey: an 8-bit picture
    bool rgba;             // read through libtiff's RGBA reader
    uint32_t stored_width, stored_height;
    uint32_t band_unit;    // rows per strip, or tile length
    char complaint[200];   // libtiff's first error in the operation under way
    uint8_t red[256], green[256], blue[256];
};
static TiffState tf;

// libtiff's errors are kept, the first of each operation: it says why, the rest follow.
static void tiff_capture(const char *module, const char *fmt, va_list ap)
{
    if (tf.complaint[0])
        return;
    char message[sizeof tf.complaint - 40];
    vsnprintf(message, sizeof message, fmt, ap);
    size_t n = strlen(message);
    while (n > 0 && (message[n - 1] == '.' || message[n - 1] == '\n'))
        message[--n] = 0;  // the full stop is ours to add
    snprintf(tf.complaint, sizeof tf.complaint, "%.32s: %s", module ? module : "TIFFLIB", message);
}

static int tiff_refuse(const char *reason)
{
    char text[sizeof tf.complaint + 16];
    // A reason longer than the message has room for is cut, never overrun.
    snprintf(text, sizeof text, "TIF: %.*s.", (int)sizeof tf.complaint, reason);
    codec_report(text);
    return 1;
}

// Refuses with libtiff's reason when it gave one.
static int tiff_refuse_lib(const char *fallback)
{
    return tiff_refuse(tf.complaint[0] ? tf.complaint : fallback);
}

static TIFF *tiff_open(const char *path)
{
    tf.complaint[0] = 0;
    TIFFSetErrorHandler(tiff_capture);
    TIFFSetWarningHandler(nullptr);  // unknown tags and the like are no reason to complain
    TIFF *t = nullptr;
    if (path) {
#if TIFFLIB_VERSION >= 20221213
        TIFFOpenOptions *options = TIFFOpenOptionsAlloc();
        TIFFOpenOptionsSetMaxSingleMemAlloc(options, TIFF_MAX_LIBRARY_BLOCK);
        t = TIFFOpenExt(path, "r", options);
        TIFFOpenOptionsFree(options);
#else
        t = TIFFOpen(path, "r");
#endif
    }
    if (!t)
        tiff_refuse_lib("cannot open file");
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

// Whether the line-by-line conversions below read the directory tf describes.
static bool tiff_own_rows(TIFF *t, uint16_t planar, uint16_t compression)
{
    if (TIFFIsTiled(t) || planar != PLANARCONFIG_CONTIG || tf.orientation != ORIENTATION_TOPLEFT ||
        compression == COMPRESSION_OJPEG)
        return false;
    if (tf.bits != 1 && tf.bits != 4 && tf.bits != 8)
        return false;
    if (tf.samples == 0 || tf.samples > TIFF_MAX_SAMPLES || (tf.bits < 8 && tf.samples != 1))
        return false;
    if (tf.photometric <= PHOTOMETRIC_MINISBLACK)
        return true;
    if (tf.photometric == PHOTOMETRIC_RGB)
        return tf.samples >= 3;  // red, green, blue must all be there
    if (tf.photometric == PHOTOMETRIC_PALETTE)
        return tf.grey_map || tf.bits >= 4;
    return false;
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
    if (orientation < ORIENTATION_TOPLEFT || orientation > ORIENTATION_LEFTBOT)
        return tiff_refuse("wrong orientation");
    TIFFGetField(t, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &samples);
    if (samples == 0 || samples > TIFF_MAX_SAMPLES)
        return tiff_refuse("unknown error");
    TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &compression);
    if (compression != 0 && !TIFFIsCODECConfigured(compression))
        return tiff_refuse("unsupported compression method");
    TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
    tf.bits = bits;
    tf.samples = samples;
    tf.photometric = photometric;
    tf.orientation = orientation;
    tf.stored_width = w;
    tf.stored_height = h;
    tf.grey_map = false;
    if (photometric == PHOTOMETRIC_PALETTE && (bits == 1 || bits == 4 || bits == 8) && tiff_read_colour_map(t))
        return 1;
    // Only a sample the file calls alpha is alpha; an unspecified one is left alone,
    // as multiplying it into the colour darkens pictures that have no transparency.
    uint16_t extras = 0;
    uint16_t *kinds = nullptr;
    TIFFGetFieldDefaulted(t, TIFFTAG_EXTRASAMPLES, &extras, &kinds);
    tf.alpha = 0;
    if (extras > 0 && kinds && (kinds[0] == EXTRASAMPLE_ASSOCALPHA || kinds[0] == EXTRASAMPLE_UNASSALPHA))
        tf.alpha = kinds[0];

    uint32_t fmt = 0;
    tf.rgba = !tiff_own_rows(t, planar, compression);
    if (!tf.rgba) {
        if (photometric <= PHOTOMETRIC_MINISBLACK || tf.grey_map)
            fmt = IMG_8BIT;
        else if (photometric == PHOTOMETRIC_RGB)
            fmt = samples > 3 && tf.alpha ? IMG_BGRA : IMG_BGR;
        else
            fmt = IMG_BGR;
    } else {
        char reason[1024];
        if (!TIFFRGBAImageOK(t, reason))
            return tiff_refuse(reason);
        bool grey = photometric <= PHOTOMETRIC_MINISBLACK;
        fmt = tf.alpha ? IMG_BGRA : grey ? IMG_8BIT : IMG_BGR;
        uint32_t unit = 0;
        if (TIFFIsTiled(t))
            TIFFGetField(t, TIFFTAG_TILELENGTH, &unit);
        else
            TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &unit);
        tf.band_unit = unit ? unit : 1;
    }
    // Orientations 5 to 8 store the columns as rows: the picture is turned.
    bool turned = orientation >= ORIENTATION_LEFTTOP;
    *width = (int32_t)(turned ? h : w);
    *height = (int32_t)(turned ? w : h);
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
                out[c] = tf.alpha == EXTRASAMPLE_ASSOCALPHA ? (out[c] < a ? out[c] : a) : (uint8_t)((out[c] * a + 127) / 255);
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

// Where stored pixel (x, y) is shown, for the orientation tag: 1 to 4 mirror the rows
// and columns, 5 to 8 also swap them.
static inline void tiff_place(uint32_t x, uint32_t y, uint32_t *px, uint32_t *py)
{
    uint32_t w = tf.stored_width, h = tf.stored_height;
    switch (tf.orientation) {
    case ORIENTATION_TOPRIGHT: *px = w - 1 - x, *py = y; break;
    case ORIENTATION_BOTRIGHT: *px = w - 1 - x, *py = h - 1 - y; break;
    case ORIENTATION_BOTLEFT: *px = x, *py = h - 1 - y; break;
    case ORIENTATION_LEFTTOP: *px = y, *py = x; break;
    case ORIENTATION_RIGHTTOP: *px = h - 1 - y, *py = x; break;
    case ORIENTATION_RIGHTBOT: *px = h - 1 - y, *py = w - 1 - x; break;
    case ORIENTATION_LEFTBOT: *px = y, *py = w - 1 - x; break;
    default: *px = x, *py = y; break;
    }
}

// Stored rows first_row.. of an RGBA band (red in the low byte, alpha in the high one,
// colour already premultiplied by libtiff) into the picture.
static void tiff_put_band(const Picture *p, const uint32_t *band, uint32_t first_row, uint32_t rows)
{
    for (uint32_t r = 0; r < rows; r++) {
        const uint32_t *in = band + (size_t)r * tf.stored_width;
        for (uint32_t x = 0; x < tf.stored_width; x++) {
            uint32_t px, py, abgr = in[x];
            tiff_place(x, first_row + r, &px, &py);
            uint8_t red = (uint8_t)TIFFGetR(abgr), green = (uint8_t)TIFFGetG(abgr), blue = (uint8_t)TIFFGetB(abgr);
            if (p->format == IMG_8BIT) {
                p->colour[(size_t)py * p->colour_stride + px] = red;
                continue;
            }
            uint8_t *out = p->colour + (size_t)py * p->colour_stride + (size_t)px * 3;
            if (p->format == IMG_BGRA) {
                uint8_t a = (uint8_t)TIFFGetA(abgr);
                p->second[(size_t)py * p->second_stride + px] = a;
                red = red < a ? red : a, green = green < a ? green : a, blue = blue < a ? blue : a;
            }
            out[0] = blue, out[1] = green, out[2] = red;
        }
    }
}

// libtiff decodes and converts; the rows come in stored order (the orientation asked
// for is the file's own, so libtiff flips nothing) and tiff_place turns them.
static int tiff_read_rgba(Picture *picture, TIFF *t)
{
    char reason[1024];
    TIFFRGBAImage image;
    if (!TIFFRGBAImageBegin(&image, t, 1, reason))
        return tiff_refuse(reason);
    image.req_orientation = tf.orientation;
    // Whole strips or tiles per band, so none is decoded twice.
    uint64_t unit = tf.band_unit, rows = (TIFF_BAND_ROWS + unit - 1) / unit * unit;
    if (rows > tf.stored_height)
        rows = tf.stored_height;
    uint32_t *band = (uint32_t *)img_alloc((size_t)rows * tf.stored_width * sizeof(uint32_t));
    int failed = band ? 0 : 1;
    for (uint32_t y = 0; y < tf.stored_height && !failed; y += (uint32_t)rows) {
        uint32_t n = tf.stored_height - y < rows ? tf.stored_height - y : (uint32_t)rows;
        image.row_offset = (int)y;
        image.col_offset = 0;
        if (!TIFFRGBAImageGet(&image, band, tf.stored_width, n))
            failed = 1;
        else
            tiff_put_band(picture, band, y, n);
    }
    img_release(band);
    TIFFRGBAImageEnd(&image);
    return failed ? tiff_refuse_lib("cannot read the pixels") : 0;
}

static int tiff_read_rows(Picture *picture, TIFF *t)
{
    // The conversions read this much of every line; libtiff must deliver at least that.
    uint64_t used = ((uint64_t)picture->width * tf.samples * tf.bits + 7) / 8;
    tmsize_t line = TIFFScanlineSize(t);
    if (line <= 0 || (uint64_t)line < used)
        return tiff_refuse("unknown error");
    uint8_t *buffer = (uint8_t *)img_alloc((size_t)line);
    int failed = buffer ? 0 : 1;
    for (int32_t r = 0; r < picture->height && !failed; r++) {
        if (TIFFReadScanline(t, buffer, (uint32_t)r, 0) < 0)
            failed = 1;
        else
            tiff_convert_row(picture, r, buffer);
    }
    img_release(buffer);
    return failed ? tiff_refuse_lib("cannot read the pixels") : 0;
}

int tiff_read_pixels(Picture *picture, const char *path)
{
    TIFF *t = tiff_open(path);
    if (!t)
        return 1;
    int32_t width, height;
    uint32_t format;
    int failed = tiff_check(t, &width, &height, &format);
    if (!failed && (!picture || picture->width != width || picture->height != height || picture->format != format))
        failed = tiff_refuse("unknown error");
    if (!failed)
        failed = tf.rgba ? tiff_read_rgba(picture, t) : tiff_read_rows(picture, t);
    TIFFClose(t);
    return failed;
}
