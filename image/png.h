// PNG pictures through libpng. Every kind of PNG (grey, grey with alpha, palette, a
// transparent colour, 16 bits, interlaced, RGBA) is read as 3-byte blue, green, red;
// whatever is transparent is laid over white, as the picture would show on a white
// page. 0 for success, 1 for failure (reason to codec_report as "PNG: ...").
#pragma once
#include <cstdio>

#include "image/img.h"

// Both work on a file opened by the caller (binary), positioned at the start of the
// PNG signature. The header step reads the size without touching any pixel and puts
// the position back; a picture over the size caps is refused there.
int png_read_info(FILE *f, int32_t *width, int32_t *height, uint32_t *format);
// Fills a picture of exactly the size and format the header step gave.
int png_read_pixels(Picture *picture, FILE *f);
