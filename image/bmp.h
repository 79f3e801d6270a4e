// BMP pictures: the reader takes the variants Windows programs write (core and info
// headers; 1-, 4- and 8-bit palettes, RLE4, RLE8, 16, 24 and 32 bits, bit fields,
// top-down rows), the writer makes plain 24-bit files. 0 for success, 1 for failure
// (reason to codec_report).
#pragma once
#include <cstdio>

#include "image/img.h"

// Reads the headers at the current position and goes back there.
int bmp_read_header(FILE *f, int32_t *width, int32_t *height, uint32_t *format);
// Reads the pixels into a picture of the header's size and format.
int bmp_read_pixels(Picture *picture, FILE *f);
int bmp_write(FILE *f, const Picture *picture);
int bmp_save(const char *path, const Picture *picture);
