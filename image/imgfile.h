// IMG files: the memory image of an Img record, read and written through open files.
// Codecs return 0 for success and 1 for failure with a reason for codec_report.
#pragma once
#include <cstdio>

#include "image/img.h"

// Reads the 36-byte header at the current position and goes back there. 0 with the
// size and format, or 1 (short read, wrong magic).
int img_read_header(FILE *f, int32_t *width, int32_t *height, uint32_t *format);

// Reads both planes into a view of the same size and format; row padding in the file is
// skipped. 0 or 1.
int img_read_pixels(const ImgView *dst, FILE *f);

// Writes header and planes of a view, unpadded. 0 or 1.
int img_write(FILE *f, const ImgView *src);

// A new image from the file, or null.
Img *img_load(FILE *f);

// 1 on success, 0 on failure.
int img_save(FILE *f, Img *img);

// 1 when `size` bytes are exactly the Img their header describes (as the writer makes
// them: known format, unpadded rows, planes where the header says), so they can be
// used in place.
int img_check(const void *data, size_t size);

// The codecs' diagnostic hook: the reason for the last failure, logged.
void codec_report(const char *text);
// The last text given to codec_report (empty when none), for tools that show it.
const char *codec_last_report(void);
