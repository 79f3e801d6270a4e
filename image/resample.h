// Whole-image transforms on views: resizing (nearest or filtered), the Gaussian blur of
// soft shadows, and colourising. Working memory comes from the image allocation hooks.
#pragma once
#include <cstdint>

#include "image/img.h"

enum {
    IMG_RESAMPLE_NEAREST = 0,
    IMG_RESAMPLE_FILTERED = 3,
};

// The largest blur radius; a larger sigma is blurred with this radius.
constexpr int32_t IMG_BLUR_MAX_RADIUS = 4096;

// Resamples the whole of src into the whole of dst; 1 when dst was filled. Nothing
// happens (0) unless both have the same format, it is 1 or 3, both are at least 1 x 1
// and mode is IMG_RESAMPLE_NEAREST or IMG_RESAMPLE_FILTERED; nor when filtering would
// need a middle picture (destination width x source height) of 2 GB or more, or tables
// whose offsets pass 32 bits.
int img_resample(const ImgView *dst, const ImgView *src, int mode);

// One contributor of the filtered resampler: a source byte offset and its weight in
// 16.16 fixed point.
struct ImgContrib {
    int32_t offset;
    int32_t weight;
};

// The contributor lists of one filtered pass: output position i takes
// items[first[i]] .. items[first[i] + count[i] - 1]. Every list's weights are positive
// and sum to exactly 65536. One block from the allocation hooks.
struct ImgContribs {
    int32_t positions;
    int32_t *count;
    int32_t *first;
    ImgContrib *items;
};

// Builds the lists for resizing a line of src_size samples to dst_size samples, with
// `unit` bytes between source samples (offset = source index * unit). Null when a size
// is below 1, unit is below 1, or the offsets or tables would not fit.
ImgContribs *img_contribs_build(int32_t src_size, int32_t dst_size, int32_t unit);
void img_contribs_free(ImgContribs *contribs);

// Stores sigma for img_blur and returns the kernel radius ceil(sigma * sqrt(2 ln 255)),
// at most IMG_BLUR_MAX_RADIUS; 0 (no blur) when the kernel K(0) .. K(n) would have fewer
// than 3 taps (a radius below 2) or sigma is not a positive number.
int32_t img_blur_radius(double sigma);

// Copies src into dst (the part both cover, with img_blit) and blurs the whole of dst in
// place with the stored sigma: columns first, then rows, each channel on its own, edge
// values repeating. Nothing happens unless both are the same format, 1 or 3.
void img_blur(Img *dst, Img *src);

// Turns the 3-byte source into a tinted monochrome picture in the format-3 destination,
// pixel for pixel over the part both cover. hue in degrees, brightness -100 .. 100,
// saturation 0 .. 100 (values outside are brought into range). Other formats: nothing.
void img_colorize(const ImgView *dst, const ImgView *src, int32_t hue, int32_t brightness, int32_t saturation);
