// The picture-file front end: reads a BMP, JPEG or TIFF picture the player chose as the
// current picture, resizes it, turns it into a screen-format Img, and writes JPEG or BMP.
// Results are 1 for success and 0 for failure.
#pragma once
#include <cstdio>

#include "image/img.h"

// The open-dialog filter list: label and pattern pairs of NUL-terminated strings, ended
// by an empty string.
const char *gformat_filter(void);

int gformat_read(const char *path);
int gformat_jpg_read(FILE *f);
int gformat_read_jpg_file(const char *path);
void gformat_size(int32_t *width, int32_t *height);
void gformat_resize(int32_t width, int32_t height, int smooth);
Img *gformat_to_img(void);
void gformat_free(void);
int gformat_write_jpg(FILE *f, int quality);
int gformat_write_jpg_file(const char *path, int quality);
int gformat_write_bmp_file(const char *path);
Img *gformat_load_jpg_img(const char *path);

// Hands the current picture to the caller (who frees it with picture_free); none is
// current afterwards.
Picture *gformat_take(void);
