// One current picture between reading, resizing, converting and writing.
#include "image/gformat.h"

#include <cstring>

#include "image/bmp.h"
#include "image/cache.h"
#include "image/jpeg.h"
#include "image/png.h"
#include "image/resample.h"
#include "platform/files.h"

static const char filter_list[] =
    "All Formats\0*.JPG;*.JPE;*.JIF;*.JPEG;*.JFIF;*.TIF;*.TIFF;*.BMP;*.RLE;*.DIB;*.PNG\0"
    "BMP (*.BMP;*.RLE;*.DIB)\0*.BMP;*.RLE;*.DIB\0"
    "JPEG (*.JPG;*.JPE;*.JIF;*.JPEG;*.JFIF)\0*.JPG;*.JPE;*.JIF;*.JPEG;*.JFIF\0"
    "TIFF (*.TIF;*.TIFF) uncompressed\0*.TIF;*.TIFF\0"
    "PNG (*.PNG)\0*.PNG\0";
static constexpr const char *TIFF_PATTERNS = "*.TIF;*.TIFF";
static constexpr const char *JPEG_PATTERNS = "*.JPG;*.JPE;*.JIF;*.JPEG;*.JFIF";
static constexpr const char *BMP_PATTERNS = "*.BMP;*.RLE;*.DIB";
static constexpr const char *PNG_PATTERNS = "*.PNG";

// Pictures larger than this are refused before any pixel memory is taken.
constexpr int32_t GFORMAT_MAX_SIDE = 32768;
constexpr int64_t GFORMAT_MAX_PIXELS = 200000000;

static struct {
    Picture *current;
} gf;

const char *gformat_filter(void)
{
    return filter_list;
}

Picture *gformat_take(void)
{
    Picture *p = gf.current;
    gf.current = nullptr;
    return p;
}

static bool sane_size(int32_t w, int32_t h)
{
    return w > 0 && h > 0 && w <= GFORMAT_MAX_SIDE && h <= GFORMAT_MAX_SIDE && (int64_t)w * h <= GFORMAT_MAX_PIXELS;
}

// Whether ".EXT" ends one of the patterns of a list ("*.JPG;*.JPE;...").
static bool in_patterns(const char *ext, const char *patterns)
{
    if (!ext[0])
        return false;
    char want[8];
    snprintf(want, sizeof want, ".%s", ext);
    size_t n = strlen(want);
    for (const char *p = strstr(patterns, want); p; p = strstr(p + 1, want))
        if (p[n] == ';' || p[n] == 0)
            return true;
    return false;
}

// The header step, a picture of its size, the pixel step; the picture, or null.
template <typename Header, typename Pixels>
static Picture *read_picture(Header header, Pixels pixels)
{
    int32_t w, h;
    uint32_t format;
    if (header(&w, &h, &format) || !sane_size(w, h))
        return nullptr;
    Picture *p = picture_create(w, h, format);
    if (!p)
        return nullptr;
    if (pixels(p)) {
        picture_free(p);
        return nullptr;
    }
    return p;
}

typedef int (*HeaderFn)(FILE *, int32_t *, int32_t *, uint32_t *);
typedef int (*PixelsFn)(Picture *, FILE *);

static Picture *read_stream(FILE *f, HeaderFn header, PixelsFn pixels)
{
    return read_picture([&](int32_t *w, int32_t *h, uint32_t *format) { return header(f, w, h, format); },
                        [&](Picture *p) { return pixels(p, f); });
}

static Picture *read_tiff(const char *path)
{
    return read_picture([&](int32_t *w, int32_t *h, uint32_t *format) { return tiff_read_info(path, w, h, format); },
                        [&](Picture *p) { return tiff_read_pixels(p, path); });
}

// Turns the current picture into 3-byte colour; 1, or 0 with none current.
static int current_to_colour(void)
{
    if (!gf.current)
        return 0;
    if (gf.current->format != IMG_BGR) {
        Picture *rgb = picture_create(gf.current->width, gf.current->height, IMG_BGR);
        if (!rgb) {
            gformat_free();
            return 0;
        }
        img_convert(rgb, gf.current);
        picture_free(gf.current);
        gf.current = rgb;
    }
    return 1;
}

// A JPEG file the player picked, upright, decoded at the scale that covers the fit (a
// fit of 0 x 0: whole); null on failure. *fit tells the file's own size.
static Picture *read_jpeg_file(const char *path, int32_t fit_w, int32_t fit_h, JpegFit *fit)
{
    FILE *f = fopen(path, "rb");
    if (!f)
        return nullptr;
    Picture *p = nullptr;
    if (jpeg_read_info_fit(f, fit_w, fit_h, fit) == 0 && sane_size(fit->width, fit->height)) {
        p = picture_create(fit->width, fit->height, fit->format);
        if (p && jpeg_read_pixels_scaled(p, f, fit->scale)) {
            picture_free(p);
            p = nullptr;
        }
    }
    fclose(f);
    return p;
}

// Reads the picture by its extension; the file's own size in *file_w, *file_h.
static int read_file_fit(const char *path, int32_t fit_w, int32_t fit_h, int32_t *file_w, int32_t *file_h)
{
    *file_w = *file_h = 0;
    gf.current = nullptr;  // the caller freed the previous picture
    char ext[5];
    cache_extension(path, ext, true);
    if (in_patterns(ext, JPEG_PATTERNS)) {
        JpegFit fit;
        gf.current = read_jpeg_file(path, fit_w, fit_h, &fit);
        if (!current_to_colour())
            return 0;
        *file_w = fit.file_width;
        *file_h = fit.file_height;
        return 1;
    }
    if (in_patterns(ext, TIFF_PATTERNS)) {
        gf.current = read_tiff(path);
    } else {
        HeaderFn header = nullptr;
        PixelsFn pixels = nullptr;
        if (in_patterns(ext, BMP_PATTERNS))
            header = bmp_read_header, pixels = bmp_read_pixels;
        else if (in_patterns(ext, PNG_PATTERNS))
            header = png_read_info, pixels = png_read_pixels;
        if (!header)
            return 0;
        FILE *f = fopen(path, "rb");
        if (!f)
            return 0;
        gf.current = read_stream(f, header, pixels);
        fclose(f);
    }
    if (!current_to_colour())
        return 0;
    gformat_size(file_w, file_h);
    return 1;
}

int gformat_read(const char *path)
{
    int32_t w, h;
    return read_file_fit(path, 0, 0, &w, &h);
}

// A JPEG needs only as many pixels as it shows: the library decodes it at a fraction of
// its size for little more than the cost of reading the file.
int gformat_read_fit(const char *path, int32_t fit_w, int32_t fit_h, int32_t *file_w, int32_t *file_h)
{
    return read_file_fit(path, fit_w, fit_h, file_w, file_h);
}

Picture *gformat_jpg_decode(FILE *f)
{
    return read_stream(f, jpeg_read_info, jpeg_read_pixels);
}

int gformat_jpg_read(FILE *f)
{
    Picture *p = gformat_jpg_decode(f);
    if (!p)
        return 0;
    gf.current = p;
    return 1;
}

int gformat_read_jpg_file(const char *path)
{
    FILE *f = fopen(path, "rb");
    if (!f)
        return 0;
    int ok = gformat_jpg_read(f);
    fclose(f);
    return ok;
}

void gformat_size(int32_t *width, int32_t *height)
{
    *width = gf.current ? gf.current->width : 0;
    *height = gf.current ? gf.current->height : 0;
}

int gformat_resize(int32_t width, int32_t height, int smooth)
{
    if (!gf.current || !sane_size(width, height))
        return 0;
    Picture *p = picture_create(width, height, gf.current->format);
    if (!p)
        return 0;
    // A refused resample leaves p unfilled: keep the picture we have rather than hand
    // on one of whatever the memory held.
    if (!img_resample(p, gf.current, smooth ? IMG_RESAMPLE_FILTERED : IMG_RESAMPLE_NEAREST)) {
        picture_free(p);
        return 0;
    }
    picture_free(gf.current);
    gf.current = p;
    return 1;
}

Img *gformat_picture_to_img(const Picture *picture)
{
    Img *img = img_create(picture->width, picture->height, IMG_SCREEN);
    ImgView v;
    img_view(&v, img, 0, 0);
    img_convert(&v, picture);
    return img;
}

Img *gformat_to_img(void)
{
    return gf.current ? gformat_picture_to_img(gf.current) : nullptr;
}

void gformat_free(void)
{
    picture_free(gf.current);
    gf.current = nullptr;
}

int gformat_write_jpg(FILE *f, int quality)
{
    return gf.current && jpeg_write(f, gf.current, quality) == 0;
}

// Writes through a temporary file, so a failure never leaves half a picture where a
// whole one was.
int gformat_write_jpg_file(const char *path, int quality)
{
    SafeFile sf;
    if (!gf.current || !safe_file_open(&sf, path))
        return 0;
    if (!gformat_write_jpg(sf.f, quality)) {
        safe_file_abort(&sf);
        return 0;
    }
    return safe_file_commit(&sf);
}

int gformat_write_bmp_file(const char *path)
{
    return gf.current && bmp_save(path, gf.current) == 0;
}

Img *gformat_load_jpg_img(const char *path)
{
    if (!gformat_read_jpg_file(path))
        return nullptr;
    Img *img = gformat_to_img();
    gformat_free();
    return img;
}
