// JPEG pictures through the system's libjpeg (6b interface), and TIFF pictures through
// libtiff. 0 for success, 1 for failure (reason to codec_report as "JPG: ..." / "TIF: ...").
#pragma once
#include <cstdio>

#include "image/img.h"

// JPEG works on a file opened by the caller, positioned at the start of the stream (which
// may be a file inside the data pack); the position is restored by jpeg_read_info.
// These two read the picture as stored, whatever its EXIF says: box pictures and the
// game's own data were always read so, and their sizes are recorded that way.
int jpeg_read_info(FILE *f, int32_t *width, int32_t *height, uint32_t *format);
int jpeg_read_pixels(Picture *picture, FILE *f);
int jpeg_write(FILE *f, const Picture *picture, int quality);

// Pictures the player picks are read upright and, when only a smaller size is wanted,
// at a fraction of their size: the camera's EXIF orientation (2..8) is applied, so the
// sizes given are the upright ones (a quarter turn swaps the sides).
struct JpegFit {
    int32_t file_width, file_height;  // the picture's own size
    int32_t width, height;            // the size it decodes to at scale / 8
    uint32_t format;
    int scale;                        // eighths, 1..8
    int orientation;                  // the EXIF orientation applied, 1 for none
};

// The smallest scale in eighths (1..8) at which a width x height picture decodes to at
// least the size it has when fitted into fit_w x fit_h (proportions kept, never
// enlarged, sides truncated). 8 when a side of either size is 0 or less.
int jpeg_fit_scale(int32_t width, int32_t height, int32_t fit_w, int32_t fit_h);

// The header step of an upright decode fitted into fit_w x fit_h (a side of 0 or less:
// whole): the file's own size, the scale jpeg_fit_scale chooses for it and the size
// decoded at that scale. The size caps apply to the decoded size; the file's own is held
// only to the format's limit. The position is restored.
int jpeg_read_info_fit(FILE *f, int32_t fit_w, int32_t fit_h, JpegFit *fit);
// Fills a picture of the size and format the header step gave for that scale (1..8),
// upright.
int jpeg_read_pixels_scaled(Picture *picture, FILE *f, int scale);

// The orientation (1..8) recorded in EXIF data: `tiff` points at the TIFF header that
// follows "Exif\0\0". 1 when there is none or the data cannot be trusted.
int jpeg_exif_orientation(const uint8_t *tiff, size_t size);

// TIFF files are opened by path.
int tiff_read_info(const char *path, int32_t *width, int32_t *height, uint32_t *format);
int tiff_read_pixels(Picture *picture, const char *path);
