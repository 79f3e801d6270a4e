// TIFF pictures: every conversion and compression from files libtiff writes, the
// colour-map rules, what only libtiff's RGBA reader takes (16-bit samples, tiles,
// separate planes, JPEG in YCbCr, orientations), which fourth sample is alpha, and the
// refusals with their reasons, none leaving memory behind.
#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>
#include <string>
#include <tiffio.h>
#include <vector>

#include "image/imgfile.h"
#include "image/jpeg.h"
#include "platform/memory.h"
#include "tests/support.h"

struct TiffFile {
    uint32_t w = 4, h = 2;
    uint16_t bits = 8, samples = 1, photometric = PHOTOMETRIC_MINISBLACK, compression = COMPRESSION_NONE;
    uint16_t orientation = ORIENTATION_TOPLEFT, planar = PLANARCONFIG_CONTIG;
    int extra = -1;                 // the kind of the one extra sample; -1 writes no ExtraSamples tag
    const uint16_t *map = nullptr;  // 2^bits red entries, then green, then blue
    uint32_t tile = 0;              // tiled instead of strips
    uint32_t strip_rows = 0;        // rows per strip, 0 for libtiff's choice
};

// Written by libtiff: `rows` holds the h lines of contiguous samples (packed below 8
// bits, 16-bit samples in the machine's order), split into planes or tiles as the file
// asks; without rows only a stub strip. JPEG in YCbCr is given RGB lines, which libtiff
// converts itself.
static void write_tiff(const std::string &path, const TiffFile &s, const std::vector<uint8_t> &rows)
{
    TIFF *t = TIFFOpen(path.c_str(), "w");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, s.w), TIFFSetField(t, TIFFTAG_IMAGELENGTH, s.h);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, s.bits), TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, s.samples);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, s.photometric), TIFFSetField(t, TIFFTAG_COMPRESSION, s.compression);
    TIFFSetField(t, TIFFTAG_ORIENTATION, s.orientation), TIFFSetField(t, TIFFTAG_PLANARCONFIG, s.planar);
    if (s.extra >= 0) {
        uint16_t kind = (uint16_t)s.extra;
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &kind);
    }
    if (s.map)
        TIFFSetField(t, TIFFTAG_COLORMAP, s.map, s.map + (1 << s.bits), s.map + (2 << s.bits));
    if (s.compression == COMPRESSION_JPEG)
        TIFFSetField(t, TIFFTAG_JPEGQUALITY, 95);
    if (s.compression == COMPRESSION_JPEG && s.photometric == PHOTOMETRIC_YCBCR)
        TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    if (s.strip_rows)
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, s.strip_rows);
    size_t line = rows.size() / s.h, pixel = (size_t)s.samples * s.bits / 8;
    if (rows.empty()) {
        TIFFWriteRawStrip(t, 0, (void *)"", 1);
    } else if (s.tile) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, s.tile), TIFFSetField(t, TIFFTAG_TILELENGTH, s.tile);
        // Tiles past the picture's edge repeat its last column and row, as writers do,
        // so JPEG's smoothing of the colour planes has nothing foreign to pull in.
        std::vector<uint8_t> tile(s.tile * s.tile * pixel);
        for (uint32_t ty = 0; ty < s.h; ty += s.tile)
            for (uint32_t tx = 0; tx < s.w; tx += s.tile) {
                for (uint32_t y = 0; y < s.tile; y++)
                    for (uint32_t x = 0; x < s.tile; x++)
                        memcpy(&tile[(y * s.tile + x) * pixel],
                               &rows[std::min(s.h - 1, ty + y) * line + std::min(s.w - 1, tx + x) * pixel], pixel);
                TIFFWriteTile(t, tile.data(), tx, ty, 0, 0);
            }
    } else if (s.planar == PLANARCONFIG_SEPARATE) {
        size_t size = s.bits / 8;
        std::vector<uint8_t> plane(s.w * size);
        for (uint16_t c = 0; c < s.samples; c++)
            for (uint32_t y = 0; y < s.h; y++) {
                for (uint32_t x = 0; x < s.w; x++)
                    memcpy(&plane[x * size], &rows[y * line + x * pixel + c * size], size);
                TIFFWriteScanline(t, plane.data(), y, c);
            }
    } else {
        for (uint32_t y = 0; y < s.h; y++)
            TIFFWriteScanline(t, (void *)&rows[y * line], y, 0);
    }
    TIFFClose(t);
}

// 16-bit samples as libtiff takes them for writing: in the machine's order.
static std::vector<uint8_t> samples16(std::initializer_list<uint16_t> values)
{
    std::vector<uint8_t> out(values.size() * 2);
    memcpy(out.data(), std::data(values), out.size());
    return out;
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

static Bytes colour_of(const Picture *p)
{
    return Bytes(p->colour, p->colour + p->height * p->colour_stride);
}

TEST_F(Tiff, EveryConversionAndWhatOnlyLibtiffsRgbaReaderTakes)
{
    uint16_t wide[768], grey[48], two[6] = {0, 65535, 0, 0, 65535, 0};  // two: blue and red
    for (int i = 0; i < 256; i++)  // 16-bit entries, as the format has them
        wide[i] = (uint16_t)(i * 257), wide[256 + i] = (uint16_t)((255 - i) * 257), wide[512 + i] = 0x1234;
    for (int i = 0; i < 16; i++)  // 8-bit entries, as some writers store them
        grey[i] = grey[16 + i] = grey[32 + i] = (uint16_t)(255 - i * 10);
    // 20 x 18 in 16 x 16 tiles: four tiles, three of them cut by the picture's edges.
    Bytes tiled_rows, tiled_bgr, run = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 1, 2, 3};
    for (int y = 0; y < 18; y++)
        for (int x = 0; x < 20; x++) {
            uint8_t r = (uint8_t)(x * 12), g = (uint8_t)(y * 14), b = (uint8_t)(x * y);
            tiled_rows.insert(tiled_rows.end(), {r, g, b});
            tiled_bgr.insert(tiled_bgr.end(), {b, g, r});
        }
    struct {
        const char *name;
        TiffFile file;
        Bytes rows;
        uint32_t format;
        Bytes colour;
    } cases[] = {
        {"4-bit grey", {.w = 16, .h = 1, .bits = 4}, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}, IMG_8BIT,
         {0, 17, 34, 51, 68, 85, 102, 119, 136, 153, 170, 187, 204, 221, 238, 255}},
        {"1-bit white is zero", {.w = 9, .h = 1, .bits = 1, .photometric = PHOTOMETRIC_MINISWHITE}, {0xA0, 0x80}, IMG_8BIT,
         {0, 255, 0, 255, 255, 255, 255, 255, 0}},
        {"grey and an extra sample", {.w = 2, .h = 1, .samples = 2, .photometric = PHOTOMETRIC_MINISWHITE}, {10, 99, 200, 99},
         IMG_8BIT, {245, 55}},
        {"RGB", {.w = 2, .h = 1, .samples = 3, .photometric = PHOTOMETRIC_RGB}, {1, 2, 3, 4, 5, 6}, IMG_BGR, {3, 2, 1, 6, 5, 4}},
        {"RGB, LZW", {.w = 5, .h = 1, .samples = 3, .photometric = PHOTOMETRIC_RGB, .compression = COMPRESSION_LZW}, run,
         IMG_BGR, {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 3, 2, 1}},
        {"RGB, PackBits", {.w = 5, .h = 1, .samples = 3, .photometric = PHOTOMETRIC_RGB, .compression = COMPRESSION_PACKBITS},
         run, IMG_BGR, {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 3, 2, 1}},
        {"colour map", {.h = 1, .photometric = PHOTOMETRIC_PALETTE, .map = wide}, {0, 1, 2, 255}, IMG_BGR,
         {0x12, 255, 0, 0x12, 254, 1, 0x12, 253, 2, 0x12, 0, 255}},
        // Packed indexes of a grey map are unpacked as in the colour path.
        {"4-bit grey map", {.h = 2, .bits = 4, .photometric = PHOTOMETRIC_PALETTE, .map = grey}, {0x0F, 0x12, 0x34, 0x56},
         IMG_8BIT, {255, 105, 245, 235, 225, 215, 205, 195}},
        // What the rows cannot take libtiff's RGBA reader reads.
        {"16-bit RGB", {.w = 2, .h = 1, .bits = 16, .samples = 3, .photometric = PHOTOMETRIC_RGB},
         samples16({10 * 257, 20 * 257, 30 * 257, 65535, 0, 128 * 257}), IMG_BGR, {30, 20, 10, 128, 0, 255}},
        {"16-bit grey", {.w = 3, .h = 1, .bits = 16}, samples16({0, 100 * 257, 65535}), IMG_8BIT, {0, 100, 255}},
        {"16-bit RGB, LZW in two strips", {.w = 1, .h = 3, .bits = 16, .samples = 3, .photometric = PHOTOMETRIC_RGB,
                                           .compression = COMPRESSION_LZW, .strip_rows = 2},
         samples16({257, 514, 771, 1028, 1285, 1542, 1799, 2056, 2313}), IMG_BGR, {3, 2, 1, 6, 5, 4, 9, 8, 7}},
        {"tiled RGB", {.w = 20, .h = 18, .samples = 3, .photometric = PHOTOMETRIC_RGB, .tile = 16}, tiled_rows, IMG_BGR,
         tiled_bgr},
        {"tiled RGB, deflate", {.w = 20, .h = 18, .samples = 3, .photometric = PHOTOMETRIC_RGB,
                                .compression = COMPRESSION_ADOBE_DEFLATE, .tile = 16},
         tiled_rows, IMG_BGR, tiled_bgr},
        {"separate planes", {.w = 2, .h = 2, .samples = 3, .photometric = PHOTOMETRIC_RGB, .planar = PLANARCONFIG_SEPARATE},
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, IMG_BGR, {3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10}},
        {"separate 16-bit planes", {.w = 2, .h = 1, .bits = 16, .samples = 3, .photometric = PHOTOMETRIC_RGB,
                                    .planar = PLANARCONFIG_SEPARATE},
         samples16({257, 514, 771, 1028, 1285, 1542}), IMG_BGR, {3, 2, 1, 6, 5, 4}},
        {"1-bit colour map", {.h = 1, .bits = 1, .photometric = PHOTOMETRIC_PALETTE, .map = two}, {0x50}, IMG_BGR,
         {255, 0, 0, 0, 0, 255, 255, 0, 0, 0, 0, 255}},
        {"CMYK", {.w = 2, .h = 1, .samples = 4, .photometric = PHOTOMETRIC_SEPARATED}, {0, 0, 0, 0, 255, 0, 0, 0}, IMG_BGR,
         {255, 255, 255, 255, 255, 0}},
    };
    for (const auto &c : cases) {
        Picture *p = load(c.file, c.rows);
        ASSERT_NE(p, nullptr) << c.name << ": " << codec_last_report();
        EXPECT_EQ(std::tuple(p->width, p->height, p->format), std::tuple((int32_t)c.file.w, (int32_t)c.file.h, c.format))
            << c.name;
        EXPECT_EQ(colour_of(p), c.colour) << c.name;
        picture_free(p);
    }
}

TEST_F(Tiff, JpegInYCbCrComesBackAsRgbWithinASmallError)
{
    // A smooth picture, so the 4:2:0 chroma of the file costs little.
    Bytes rows, bgr;
    for (int y = 0; y < 40; y++)
        for (int x = 0; x < 24; x++) {
            uint8_t r = (uint8_t)(40 + x * 6), g = (uint8_t)(30 + y * 5), b = (uint8_t)(200 - x * 3 - y);
            rows.insert(rows.end(), {r, g, b});
            bgr.insert(bgr.end(), {b, g, r});
        }
    TiffFile strips = {.w = 24, .h = 40, .samples = 3, .photometric = PHOTOMETRIC_YCBCR, .compression = COMPRESSION_JPEG,
                       .strip_rows = 16};
    TiffFile tiles = strips;
    tiles.tile = 16;
    for (const TiffFile &file : {strips, tiles}) {
        Picture *p = load(file, rows);
        ASSERT_NE(p, nullptr) << codec_last_report();
        ASSERT_EQ(std::tuple(p->width, p->height, p->format), std::tuple(24, 40, IMG_BGR));
        int worst = 0;
        for (size_t i = 0; i < bgr.size(); i++)
            worst = std::max(worst, std::abs(p->colour[i] - bgr[i]));
        EXPECT_LE(worst, 10) << "largest channel error, " << (file.tile ? "tiles" : "strips");
        picture_free(p);
    }
}

TEST_F(Tiff, OnlyAnAlphaSampleIsMultipliedIntoTheColour)
{
    // The same pixel, red 200, green 100, blue 50 with a fourth sample of 128, read line by
    // line (8 bits in strips) and by libtiff's RGBA reader (16 bits; 8 bits in tiles).
    struct {
        const char *name;
        int extra;
        uint32_t format;
        Bytes colour;
    } kinds[] = {
        {"no ExtraSamples tag", -1, IMG_BGR, {50, 100, 200}},
        {"unspecified", EXTRASAMPLE_UNSPECIFIED, IMG_BGR, {50, 100, 200}},
        {"unassociated alpha", EXTRASAMPLE_UNASSALPHA, IMG_BGRA, {25, 50, 100}},
        {"associated alpha, colour never above it", EXTRASAMPLE_ASSOCALPHA, IMG_BGRA, {50, 100, 128}},
    };
    for (const auto &k : kinds) {
        TiffFile rows = {.w = 1, .h = 1, .samples = 4, .photometric = PHOTOMETRIC_RGB, .extra = k.extra};
        TiffFile wide = rows, tiled = rows;
        wide.bits = 16, tiled.tile = 16;
        std::pair<TiffFile, Bytes> files[] = {{rows, {200, 100, 50, 128}},
                                              {wide, samples16({200 * 257, 100 * 257, 50 * 257, 128 * 257})},
                                              {tiled, {200, 100, 50, 128}}};
        for (const auto &[file, data] : files) {
            Picture *p = load(file, data);
            ASSERT_NE(p, nullptr) << k.name << ": " << codec_last_report();
            EXPECT_EQ(p->format, k.format) << k.name << ", " << file.bits << " bits" << (file.tile ? " in tiles" : "");
            EXPECT_EQ(colour_of(p), k.colour) << k.name << ", " << file.bits << " bits" << (file.tile ? " in tiles" : "");
            if (p->format == IMG_BGRA) {
                EXPECT_EQ(p->second[0], 128) << k.name << ": the alpha plane holds the fourth sample";
            }
            picture_free(p);
        }
    }
}

TEST_F(Tiff, TheOrientationTagTurnsThePicture)
{
    // Stored 3 x 2 as   1 2 3   ; each orientation as the file says it is to be shown.
    //                   4 5 6
    struct {
        uint16_t orientation;
        int32_t w, h;
        Bytes shown;
    } cases[] = {
        {ORIENTATION_TOPLEFT, 3, 2, {1, 2, 3, 4, 5, 6}},  {ORIENTATION_TOPRIGHT, 3, 2, {3, 2, 1, 6, 5, 4}},
        {ORIENTATION_BOTRIGHT, 3, 2, {6, 5, 4, 3, 2, 1}}, {ORIENTATION_BOTLEFT, 3, 2, {4, 5, 6, 1, 2, 3}},
        {ORIENTATION_LEFTTOP, 2, 3, {1, 4, 2, 5, 3, 6}},  {ORIENTATION_RIGHTTOP, 2, 3, {4, 1, 5, 2, 6, 3}},
        {ORIENTATION_RIGHTBOT, 2, 3, {6, 3, 5, 2, 4, 1}}, {ORIENTATION_LEFTBOT, 2, 3, {3, 6, 2, 5, 1, 4}},
    };
    for (const auto &c : cases) {
        Picture *p = load({.w = 3, .h = 2, .orientation = c.orientation}, {1, 2, 3, 4, 5, 6});
        ASSERT_NE(p, nullptr) << "orientation " << c.orientation << ": " << codec_last_report();
        EXPECT_EQ(std::tuple(p->width, p->height), std::tuple(c.w, c.h)) << "orientation " << c.orientation;
        EXPECT_EQ(colour_of(p), c.shown) << "orientation " << c.orientation;
        picture_free(p);
    }
}

TEST_F(Tiff, RefusalsNameTheReason)
{
    struct {
        TiffFile file;
        Bytes rows;
        const char *text;
    } cases[] = {
        {{.compression = COMPRESSION_PIXARFILM}, {}, "TIF: unsupported compression method."},
        {{.w = 60000, .h = 60000}, {}, "TIF: picture too large or empty."},
        {{.samples = 40}, {}, "TIF: unknown error."},
        // What neither reader takes is refused with libtiff's own words.
        {{.samples = 2, .photometric = PHOTOMETRIC_RGB}, Bytes(16), "TIF: Sorry, can not handle RGB image with Color channels=2."},
        {{.bits = 32}, Bytes(32), "TIF: Sorry, can not handle images with 32-bit samples."},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(load(c.file, c.rows), nullptr) << c.text;
        EXPECT_STREQ(codec_last_report(), c.text);
    }
    int32_t w, h;
    uint32_t f;
    EXPECT_EQ(tiff_read_info(dir.file("none.tif").c_str(), &w, &h, &f), 1);
    EXPECT_EQ(std::string(codec_last_report()), "TIF: TIFFOpen: " + dir.file("none.tif") + ": No such file or directory.");
    write_file(dir.file("j.tif"), "\xFF\xD8\xFF\xE0 a JPEG named .tif");
    EXPECT_EQ(tiff_read_info(dir.file("j.tif").c_str(), &w, &h, &f), 1);
    EXPECT_NE(strstr(codec_last_report(), "Not a TIFF"), nullptr) << "libtiff's reason, got " << codec_last_report();
    write_tiff(dir.file("c.tif"), {.w = 64, .h = 64}, Bytes(64 * 64, 9));
    write_file(dir.file("c.tif"), read_file(dir.file("c.tif")).substr(0, 64 * 64 / 2));
    EXPECT_EQ(tiff_read_info(dir.file("c.tif").c_str(), &w, &h, &f), 1) << "a cut file";

    // Damaged strip data fails the pixel step, with the decoder's complaint, on both
    // readers (8-bit rows, 16-bit through RGBA).
    for (uint16_t bits : {8, 16}) {
        TiffFile file = {.w = 64, .h = 4, .bits = bits, .compression = COMPRESSION_LZW};
        Bytes rows(64 * 4 * bits / 8);
        for (size_t i = 0; i < rows.size(); i++)
            rows[i] = (uint8_t)(i * 7 % 251);
        write_tiff(dir.file("d.tif"), file, rows);
        std::string bytes = read_file(dir.file("d.tif"));
        bytes.replace(8, 40, std::string(40, '\xFF'));  // the strip follows the 8-byte header
        write_file(dir.file("d.tif"), bytes);
        ASSERT_EQ(tiff_read_info(dir.file("d.tif").c_str(), &w, &h, &f), 0) << codec_last_report();
        Picture *p = picture_create(w, h, f);
        EXPECT_EQ(tiff_read_pixels(p, dir.file("d.tif").c_str()), 1) << bits << " bits";
        std::string said = codec_last_report(), about = "TIF: " + dir.file("d.tif") + ": ";
        EXPECT_EQ(said.substr(0, about.size()), about) << bits << " bits: libtiff's complaint about the file, got " << said;
        picture_free(p);
    }
}
