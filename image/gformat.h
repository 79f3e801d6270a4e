// The picture-file front end: reads a BMP, JPEG, TIFF or PNG picture the player chose as
// the current picture, resizes it, turns it into a screen-format Img, and writes JPEG or
// BMP. Results are 1 for success and 0 for failure.
#pragma once
#include <cstdio>

#include "image/img.h"

// The open-dialog filter list: label and pattern pairs of NUL-terminated strings, ended
// by an empty string.
const char *gformat_filter(void);

// Reads the picture file by its extension as the current picture in 3-byte colour; a
// JPEG comes upright by its EXIF orientation.
int gformat_read(const char *path);
// Reads the picture as gformat_read does, but for showing it within fit_w x fit_h: the
// picture fitted there keeping its proportions, never enlarged, is what has to be
// covered, so a JPEG is decoded at the smallest of the library's scales (1/8 .. 8/8)
// that still covers it, and the size caps apply to the decoded size. Other formats are
// read whole. *file_w, *file_h receive the file's own size (upright), 0 on failure. A
// fit side of 0 or less reads at full size.
int gformat_read_fit(const char *path, int32_t fit_w, int32_t fit_h, int32_t *file_w, int32_t *file_h);
// Reads a JPEG stream as stored (box pictures, data-pack pictures), in the JPEG
// reader's format.
int gformat_jpg_read(FILE *f);
int gformat_read_jpg_file(const char *path);
void gformat_size(int32_t *width, int32_t *height);
// Resamples the current picture into a new one of that size and its format (filtered
// when smooth, else nearest) and frees the old one. 0 when there is no current picture,
// the size is one the front end refuses, or the resampler cannot do it (a middle
// picture of 2 GB or more): the current picture then stays as it was.
int gformat_resize(int32_t width, int32_t height, int smooth);
Img *gformat_to_img(void);
void gformat_free(void);
int gformat_write_jpg(FILE *f, int quality);
int gformat_write_jpg_file(const char *path, int quality);
int gformat_write_bmp_file(const char *path);
Img *gformat_load_jpg_img(const char *path);

// Hands the current picture to the caller (who frees it with picture_free); none is
// current afterwards.
Picture *gformat_take(void);

// Decodes the JPEG stream at the file's position into a picture of the caller's own (in
// the format the JPEG reader gives), leaving the current picture alone; null on failure.
Picture *gformat_jpg_decode(FILE *f);
// A screen-format Img of the picture's size holding its pixels, converted.
Img *gformat_picture_to_img(const Picture *picture);
