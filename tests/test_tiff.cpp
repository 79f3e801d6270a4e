// TIFF pictures: every conversion and compression from files libtiff writes, the
// colour-map rules, and the refusals, none leaving memory behind.
#include <gtest/gtest.h>
#include <string>
#include <tiffio.h>
#include <vector>

#include "image/imgfile.h"
#include "image/jpeg.h"
#include "kernel/memory.h"
#include "tests/support.h"

struct TiffFile {
    uint32_t w = 4, h = 2;
    uint16_t bits = 8, samples = 1, photometric = PHOTOMETRIC_MINISBLACK, compression = COMPRESSION_NONE;
    uint16_t orientation = ORIENTATION_TOPLEFT, planar = PLANARCONFIG_CONTIG, extra = 0;
    const uint16_t *map = nullptr;  // 2^bits red entries, then green, then blue
    uint32_t tile = 0;              // tiled instead of strips
};

// Written by libtiff: `rows` holds the h packed lines; without rows only a stub strip.
static void write_tiff(const std::string &path, const TiffFile &s, const std::vector<uint8_t> &rows)
{
    TIFF *t = TIFFOpen(path.c_str(), "w");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, s.w), TIFFSetField(t, TIFFTAG_IMAGELENGTH, s.h);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, s.bits), TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, s.samples);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, s.photometric), TIFFSetField(t, TIFFTAG_COMPRESSION, s.compression);
    TIFFSetField(t, TIFFTAG_ORIENTATION, s.orientation), TIFFSetField(t, TIFFTAG_PLANARCONFIG, s.planar);
    if (s.extra)
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &s.extra);
    if (s.map)
        TIFFSetField(t, TIFFTAG_COLORMAP, s.map, s.map + (1 << s.bits), s.map + (2 << s.bits));
    std::vector<uint8_t> tile(s.tile ? s.tile * s.tile : 0);
    if (s.tile) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, s.tile), TIFFSetField(t, TIFFTAG_TILELENGTH, s.tile);
        TIFFWriteTile(t, tile.data(), 0, 0, 0, 0);
    } else if (rows.empty()) {
        TIFFWriteRawStrip(t, 0, (void *)"", 1);
    }
    for (uint32_t y = 0; y < s.h && !rows.empty(); y++)
        TIFFWriteScanline(t, (void *)&rows[y * rows.size() / s.h], y, 0);
    TIFFClose(t);
}

class Tiff : public ::testing::Test {
protected:
    void SetUp() override { img_init(io_mem_alloc, io_mem_free, io_mem_realloc); }
    void TearDown() override { EXPECT_EQ(mem_counters.ngetmem - mem_counters.nfreemem, held) << "blocks left behind"; }

    // Written and read back as the picture front end reads it; null when refused.
    Picture *load(const TiffFile &s, const std::vector<uint8_t> &rows)
    {
        std::string path = dir.file("t.tif");
        write_tiff(path, s, rows);
        int32_t w, h;
        uint32_t f;
        Picture *p = tiff_read_info(path.c_str(), &w, &h, &f) ? nullptr : picture_create(w, h, f);
        if (p && tiff_read_pixels(p, path.c_str()))
            picture_free(p), p = nullptr;
        return p;
    }

    TempDir dir;
    int32_t held = mem_counters.ngetmem - mem_counters.nfreemem;
};

using Bytes = std::vector<uint8_t>;

TEST_F(Tiff, EveryConversion)
{
    uint16_t wide[768], grey[48], two[6] = {0, 65535, 0, 0, 65535, 0};
    for (int i = 0; i < 256; i++)  // 16-bit entries, as the format has them
        wide[i] = (uint16_t)(i * 257), wide[256 + i] = (uint16_t)((255 - i) * 257), wide[512 + i] = 0x1234;
    for (int i = 0; i < 16; i++)  // 8-bit entries, as some writers store them
        grey[i] = grey[16 + i] = grey[32 + i] = (uint16_t)(255 - i * 10);
    struct {
        TiffFile file;
        Bytes rows;
        uint32_t format;
        Bytes colour, alpha = {};
    } cases[] = {
        {{.w = 16, .h = 1, .bits = 4}, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}, IMG_8BIT,
         {0, 17, 34, 51, 68, 85, 102, 119, 136, 153, 170, 187, 204, 221, 238, 255}},
        {{.w = 9, .h = 1, .bits = 1, .photometric = PHOTOMETRIC_MINISWHITE}, {0xA0, 0x80}, IMG_8BIT,
         {0, 255, 0, 255, 255, 255, 255, 255, 0}},
        {{.w = 2, .h = 1, .samples = 2, .photometric = PHOTOMETRIC_MINISWHITE}, {10, 99, 200, 99}, IMG_8BIT, {245, 55}},
        {{.w = 2, .h = 1, .samples = 3, .photometric = PHOTOMETRIC_RGB}, {1, 2, 3, 4, 5, 6}, IMG_BGR, {3, 2, 1, 6, 5, 4}},
        {{.w = 5, .h = 1, .samples = 3, .photometric = PHOTOMETRIC_RGB, .compression = COMPRESSION_LZW},
         {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 1, 2, 3}, IMG_BGR, {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 3, 2, 1}},
        {{.w = 5, .h = 1, .samples = 3, .photometric = PHOTOMETRIC_RGB, .compression = COMPRESSION_PACKBITS},
         {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 1, 2, 3}, IMG_BGR, {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 3, 2, 1}},
        // A fourth sample is alpha; the colour is premultiplied by it, or kept when the
        // file says it is already, but never above it.
        {{.w = 2, .h = 1, .samples = 4, .photometric = PHOTOMETRIC_RGB, .extra = EXTRASAMPLE_UNASSALPHA},
         {200, 100, 50, 128, 9, 9, 9, 255}, IMG_BGRA, {25, 50, 100, 9, 9, 9}, {128, 255}},
        {{.w = 2, .h = 1, .samples = 4, .photometric = PHOTOMETRIC_RGB, .extra = EXTRASAMPLE_ASSOCALPHA},
         {200, 100, 50, 128, 9, 9, 9, 0}, IMG_BGRA, {50, 100, 128, 0, 0, 0}, {128, 0}},
        {{.h = 1, .photometric = PHOTOMETRIC_PALETTE, .map = wide}, {0, 1, 2, 255}, IMG_BGR,
         {0x12, 255, 0, 0x12, 254, 1, 0x12, 253, 2, 0x12, 0, 255}},
        // Packed indexes of a grey map are unpacked as in the colour path.
        {{.h = 2, .bits = 4, .photometric = PHOTOMETRIC_PALETTE, .map = grey}, {0x0F, 0x12, 0x34, 0x56}, IMG_8BIT,
         {255, 105, 245, 235, 225, 215, 205, 195}},
    };
    for (const auto &c : cases) {
        Picture *p = load(c.file, c.rows);
        ASSERT_NE(p, nullptr) << codec_last_report();
        EXPECT_EQ(p->format, c.format);
        EXPECT_EQ(Bytes(p->colour, p->colour + p->height * p->colour_stride), c.colour) << "case " << &c - cases;
        if (!c.alpha.empty()) {
            EXPECT_EQ(Bytes(p->second, p->second + c.alpha.size()), c.alpha);
        }
        picture_free(p);
    }
    EXPECT_EQ(load({.h = 1, .bits = 1, .photometric = PHOTOMETRIC_PALETTE, .map = two}, {0x50}), nullptr)
        << "a 1-bit colour map";
}

TEST_F(Tiff, RefusalsNameTheReason)
{
    struct {
        TiffFile file;
        Bytes rows;
        const char *text;
    } cases[] = {
        {{.orientation = ORIENTATION_BOTRIGHT}, Bytes(8), "TIF: wrong orientation."},
        {{.bits = 16}, Bytes(16), "TIF: only 1, 4 or 8 bits per channel allowed."},
        {{.compression = COMPRESSION_ADOBE_DEFLATE}, Bytes(8), "TIF: unsupported compression method."},
        {{.samples = 4, .photometric = PHOTOMETRIC_SEPARATED}, Bytes(32), "TIF: invalid photometric."},
        {{.planar = PLANARCONFIG_SEPARATE}, Bytes(8), "TIF: invalid planar configuration."},
        {{.w = 60000, .h = 60000}, {}, "TIF: picture too large or empty."},
        {{.samples = 2, .photometric = PHOTOMETRIC_RGB}, Bytes(16), "TIF: unknown error."},
        {{.w = 16, .h = 16, .tile = 16}, {}, "TIF: cannot read the pixels."},  // a failed read is a failure
    };
    for (const auto &c : cases) {
        EXPECT_EQ(load(c.file, c.rows), nullptr) << c.text;
        EXPECT_STREQ(codec_last_report(), c.text);
    }
    int32_t w, h;
    uint32_t f;
    EXPECT_EQ(tiff_read_info(dir.file("none.tif").c_str(), &w, &h, &f), 1);
    EXPECT_STREQ(codec_last_report(), "TIF: cannot open file.");
    write_file(dir.file("j.tif"), "\xFF\xD8\xFF\xE0 a JPEG named .tif");
    EXPECT_EQ(tiff_read_info(dir.file("j.tif").c_str(), &w, &h, &f), 1);
    write_tiff(dir.file("c.tif"), {.w = 64, .h = 64}, Bytes(64 * 64, 9));
    write_file(dir.file("c.tif"), read_file(dir.file("c.tif")).substr(0, 64 * 64 / 2));
    EXPECT_EQ(tiff_read_info(dir.file("c.tif").c_str(), &w, &h, &f), 1) << "a cut file";
}
