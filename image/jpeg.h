// JPEG pictures through the system's libjpeg (6b interface), and TIFF pictures through
// libtiff. 0 for success, 1 for failure (reason to codec_report as "JPG: ..." / "TIF: ...").
#pragma once
#include <cstdio>

#include "image/img.h"

// JPEG works on a file opened by the caller, positioned at the start of the stream (which
// may be a file inside the data pack); the position is restored by jpeg_read_info.
int jpeg_read_info(FILE *f, int32_t *width, int32_t *height, uint32_t *format);
int jpeg_read_pixels(Picture *picture, FILE *f);
int jpeg_write(FILE *f, const Picture *picture, int quality);

// TIFF files are opened by path.
int tiff_read_info(const char *path, int32_t *width, int32_t *height, uint32_t *format);
int tiff_read_pixels(Picture *picture, const char *path);
