// BMP files: every variant we read, built here byte by byte, decodes to the same picture;
// packed 1- and 4-bit rows, RLE8 and RLE4 commands, the written layout, saving through a
// temporary file, hostile headers.
#include <gtest/gtest.h>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "image/bmp.h"
#include "image/imgfile.h"
#include "platform/memory.h"
#include "tests/support.h"

using Bytes = std::vector<uint8_t>;
static std::string w16(uint32_t v) { return {(char)v, (char)(v >> 8)}; }
static std::string w32(uint32_t v) { return w16(v) + w16(v >> 16); }

// File header, a 12-, 40-, 64-, 108- or 124-byte header, then `extra` (palette or masks)
// and the pixels.
static std::string bmp_file(uint32_t size, int32_t w, int32_t h, uint32_t bits, uint32_t compression, uint32_t colours,
                            const std::string &extra, const std::string &data)
{
    std::string hd = size == 12 ? w32(12) + w16(w) + w16(h) + w16(1) + w16(bits)
                                : w32(size) + w32(w) + w32(h) + w16(1) + w16(bits) + w32(compression) +
                                      w32((uint32_t)data.size()) + w32(2835) + w32(2835) + w32(colours);
    hd.resize(size, '\0');
    uint32_t offset = 14 + size + (uint32_t)extra.size();
    return "BM" + w32(offset + (uint32_t)data.size()) + w32(0) + w32(offset) + hd + extra + data;
}

struct Decoded {
    int header = 1, pixels = 1;
    int32_t w = 0, h = 0;
    uint32_t format = 0;
    Bytes colour;
};

static Decoded decode(const std::string &file)
{
    Decoded d;
    FILE *f = fmemopen((void *)file.data(), file.size() + file.empty(), "rb");  // no empty buffers
    d.header = bmp_read_header(f, &d.w, &d.h, &d.format);
    EXPECT_EQ(ftell(f), 0) << "the header step goes back where it started";
    if (d.header == 0) {
        Picture *p = picture_create(d.w, d.h, d.format);
        d.pixels = bmp_read_pixels(p, f);
        d.colour.assign(p->colour, p->colour + p->colour_stride * p->height);
        picture_free(p);
    }
    fclose(f);
    return d;
}

class Bmp : public ::testing::Test {
protected:
    void SetUp() override { img_init(io_mem_alloc, io_mem_free, io_mem_realloc); }
};

// A 3 x 2 picture; pixel k (top row 0 1 2, bottom row 3 4 5) is blue, green, red 40k+1..40k+3.
static std::string rows(bool top_down, std::string (*px)(int k))
{
    std::string out;
    for (int r = 0; r < 2; r++, out.resize((out.size() + 3) & ~3u, '\0'))
        for (int x = 0; x < 3; x++)
            out += px((top_down ? r : 1 - r) * 3 + x);
    return out;
}
static std::string bgr(int k) { return {(char)(40 * k + 1), (char)(40 * k + 2), (char)(40 * k + 3)}; }
// The same picture as packed palette indexes k + 1 (1-based, so 0 stays unused).
static std::string nibble_rows(bool top_down)
{
    std::string out;
    for (int r = 0; r < 2; r++) {
        int k = (top_down ? r : 1 - r) * 3 + 1;
        out += std::string{(char)(k << 4 | (k + 1)), (char)((k + 2) << 4), '\0', '\0'};
    }
    return out;
}
static std::string palette(int entries, int entry, int first)
{
    std::string p(entries * entry, '\0');
    for (int k = 0; k < 6; k++)
        p.replace((first + k) * entry, 3, bgr(k));
    return p;
}

TEST_F(Bmp, EveryVariantReadsAsTheSamePicture)
{
    std::string expected;
    for (int k = 0; k < 6; k++)
        expected += bgr(k);
    auto from1 = [](int k) { return std::string(1, (char)(k + 1)); };
    auto from250 = [](int k) { return std::string(1, (char)(k + 250)); };
    auto bgrx = [](int k) { return bgr(k) + "\x7F"; };
    auto xrgb = [](int k) {  // red, green, blue in bytes 1, 2, 3: the masks below
        std::string c = bgr(k);
        return "\x7F" + std::string(c.rbegin(), c.rend());
    };
    std::string rle("\x00\x03\x04\x05\x06\x00\x00\x00\x01\x01\x01\x02\x01\x03\x00\x01", 16);
    // Bottom line as an absolute run of three nibbles (two bytes, no padding), the top one
    // as a two-pixel run alternating 1 and 2 and a one-pixel run of 3.
    std::string rle4("\x00\x03\x45\x60\x00\x00\x02\x12\x01\x30\x00\x01", 12);
    // The 108- and 124-byte headers carry their bit-field masks inside the header.
    auto masks_inside = [&](uint32_t size) {
        std::string f = bmp_file(size, 3, 2, 32, 3, 0, "", rows(false, xrgb));
        return f.replace(14 + 40, 12, w32(0xFF00) + w32(0xFF0000) + w32(0xFF000000));
    };
    std::pair<const char *, std::string> variants[] = {
        {"core 8-bit", bmp_file(12, 3, 2, 8, 0, 0, palette(256, 3, 1), rows(false, from1))},
        {"core 24-bit", bmp_file(12, 3, 2, 24, 0, 0, "", rows(false, bgr))},
        {"info 8-bit, 7 colours", bmp_file(40, 3, 2, 8, 0, 7, palette(7, 4, 1), rows(false, from1))},
        {"core 4-bit", bmp_file(12, 3, 2, 4, 0, 0, palette(16, 3, 1), nibble_rows(false))},
        {"info 4-bit, 7 colours", bmp_file(40, 3, 2, 4, 0, 7, palette(7, 4, 1), nibble_rows(false))},
        {"top-down 4-bit", bmp_file(40, 3, -2, 4, 0, 0, palette(16, 4, 1), nibble_rows(true))},
        {"RLE4", bmp_file(40, 3, 2, 4, 2, 7, palette(7, 4, 1), rle4)},
        {"colours 0 means 256", bmp_file(40, 3, 2, 8, 0, 0, palette(256, 4, 250), rows(false, from250))},
        {"RLE8 absolute run, runs", bmp_file(40, 3, 2, 8, 1, 7, palette(7, 4, 1), rle)},
        {"info 24-bit", bmp_file(40, 3, 2, 24, 0, 0, "", rows(false, bgr))},
        {"top-down 24-bit", bmp_file(40, 3, -2, 24, 0, 0, "", rows(true, bgr))},
        {"64-byte top-down 8-bit", bmp_file(64, 3, -2, 8, 0, 7, palette(7, 4, 1), rows(true, from1))},
        {"32-bit", bmp_file(40, 3, 2, 32, 0, 0, "", rows(false, bgrx))},
        {"32-bit fields", bmp_file(40, 3, 2, 32, 3, 0, w32(0xFF00) + w32(0xFF0000) + w32(0xFF000000), rows(false, xrgb))},
        {"108-byte header", masks_inside(108)},
        {"124-byte header", masks_inside(124)},
    };
    for (auto &[name, file] : variants) {
        Decoded d = decode(file);
        EXPECT_EQ(std::tuple(d.header, d.pixels, d.w, d.h, d.format), std::tuple(0, 0, 3, 2, IMG_BGR)) << name;
        EXPECT_EQ(std::string(d.colour.begin(), d.colour.end()), expected) << name;
    }
}

TEST_F(Bmp, BitFieldsScaleEachChannel)
{
    // 5-5-5 words pass unchanged; 5-6-5 green is rounded: 63 -> 31, 32 -> 16, 2 -> 1, 1 -> 0.
    Decoded d = decode(bmp_file(40, 3, 1, 16, 0, 0, "", w16(0x7FFF) + w16(0x4201) + w16(0x0020) + w16(0)));
    EXPECT_EQ(std::tuple(d.pixels, d.format), std::tuple(0, IMG_555));
    EXPECT_EQ(d.colour, (Bytes{0xFF, 0x7F, 0x01, 0x42, 0x20, 0x00}));
    std::string top = w16(0x0020) + w16(0) + w16(0) + w16(0), bottom = w16(0xFFFF) + w16(0x8401) + w16(0x0040) + w16(0);
    d = decode(bmp_file(40, 3, 2, 16, 3, 0, w32(0xF800) + w32(0x07E0) + w32(0x001F), bottom + top));
    EXPECT_EQ(d.colour, (Bytes{0, 0, 0, 0, 0, 0, 0xFF, 0x7F, 0x01, 0x42, 0x20, 0x00}));
    // A mask of nothing reads as 0 instead of dividing by it.
    d = decode(bmp_file(40, 1, 1, 16, 3, 0, w32(0) + w32(0x03E0) + w32(0x001F), w16(0x7FFF) + w16(0)));
    EXPECT_EQ(d.colour, (Bytes{0xFF, 0x03}));

    // 7-bit red, 6-bit green, 5-bit blue: full scale is 255, not 127, 63 and 31; halves
    // and ones round to the nearest byte (64/127 -> 129, 32/63 -> 130, 16/31 -> 132).
    d = decode(bmp_file(40, 3, 1, 32, 3, 0, w32(0x00FE0000) + w32(0xFC00) + w32(0x1F),
                        w32(127u << 17 | 63u << 10 | 31) + w32(64u << 17 | 32u << 10 | 16) + w32(1u << 17 | 1u << 10 | 1)));
    EXPECT_EQ(std::tuple(d.header, d.pixels), std::tuple(0, 0));
    EXPECT_EQ(d.colour, (Bytes{255, 255, 255, 132, 130, 129, 8, 4, 2})) << "blue, green, red of three pixels";
    // An 8-bit red stays byte for byte, a 1-bit green is 0 or 255, a 10-bit blue is
    // scaled down (512/1023 -> 128) instead of keeping its low byte.
    d = decode(bmp_file(40, 2, 1, 32, 3, 0, w32(0xFF000000) + w32(0x00800000) + w32(0x3FF),
                        w32(0x5Au << 24 | 1u << 23 | 512) + w32(0xFFu << 24 | 1023)));
    EXPECT_EQ(std::tuple(d.header, d.pixels), std::tuple(0, 0));
    EXPECT_EQ(d.colour, (Bytes{128, 255, 0x5A, 255, 0, 255})) << "blue, green, red of two pixels";
}

// A palette whose colour i is blue i * 30, and the indexes a decoded picture shows in it.
static std::string blue_palette(int colours)
{
    std::string pal(colours * 4, '\0');
    for (int i = 1; i < colours; i++)
        pal[i * 4] = (char)(i * 30);
    return pal;
}
static Bytes indices(const Decoded &d)
{
    Bytes b;
    for (size_t i = 0; i < d.colour.size(); i += 3)
        b.push_back((uint8_t)(d.colour[i] / 30));
    return b;
}

TEST_F(Bmp, OneAndFourBitRowsUnpackFromTheHighBitsWithinTheirPalette)
{
    // Black and white; a 10-pixel row is 2 bytes padded to 4.
    std::string bw = std::string(4, '\0') + std::string("\xFF\xFF\xFF\0", 4);
    Decoded d = decode(bmp_file(40, 10, 1, 1, 0, 2, bw, std::string("\xB0\x40\0\0", 4)));
    EXPECT_EQ(std::tuple(d.header, d.pixels, d.format), std::tuple(0, 0, IMG_BGR));
    Bytes bits;
    for (size_t i = 0; i < d.colour.size(); i += 3)
        bits.push_back(d.colour[i] & 1);
    EXPECT_EQ(bits, (Bytes{1, 0, 1, 1, 0, 0, 0, 0, 0, 1})) << "set bits are white, from bit 7 down";

    // A palette shorter than the depth: an index past it is refused, not read from
    // beyond the colours the file gave.
    d = decode(bmp_file(40, 10, 1, 1, 0, 1, bw.substr(0, 4), std::string("\x00\x40\0\0", 4)));
    EXPECT_EQ(std::tuple(d.header, d.pixels), std::tuple(0, 1)) << "1-bit index 1 with one colour";
    EXPECT_STREQ(codec_last_report(), "BMP loader: unknown error");
    d = decode(bmp_file(40, 3, 1, 4, 0, 3, std::string(12, '\x10'), std::string("\x12\x50\0\0", 4)));
    EXPECT_EQ(std::tuple(d.header, d.pixels), std::tuple(0, 1)) << "4-bit index 5 with three colours";
    d = decode(bmp_file(40, 3, 1, 4, 0, 3, std::string(12, '\x10'), std::string("\x12\x0F\0\0", 4)));
    EXPECT_EQ(std::tuple(d.header, d.pixels), std::tuple(0, 0)) << "the unused low nibble of the last byte is not an index";
}

TEST_F(Bmp, RleFollowsItsCommandsAndStaysInsideThePicture)
{
    auto rle8 = [](int32_t w, int32_t h, const std::string &data) {
        Decoded d = decode(bmp_file(40, w, h, 8, 1, 8, blue_palette(8), data));
        EXPECT_EQ(d.pixels, 0) << "every way the data ends is a finished picture";
        return indices(d);
    };
    // Three of colour 5, end of line, two of colour 7, end of bitmap; skipped pixels show colour 0.
    std::string example("\x03\x05\x00\x00\x02\x07\x00\x01", 8);
    EXPECT_EQ(rle8(3, 2, example), (Bytes{7, 7, 0, 5, 5, 5})) << "the first line is the bottom row";
    EXPECT_EQ(rle8(3, -2, example), (Bytes{5, 5, 5, 7, 7, 0}));
    // Delta right 1 and up 1, an absolute run of 3 whose last pixel falls off the edge,
    // its padding byte, then the data stops inside a pair.
    EXPECT_EQ(rle8(3, 2, std::string("\x00\x02\x01\x01\x00\x03\x04\x06\x03\x00\x01", 11)), (Bytes{0, 4, 6, 0, 0, 0}));
    // Top-down, so anything wrapping past the right edge would land on the next row: a run,
    // delta and run past the edge, end of line, delta right, an absolute run past the edge,
    // a delta below the last line, and a run that must never be read.
    std::string wild("\xFF\x01\x00\x02\xFE\x00\x05\x02\x00\x00\x00\x02\x01\x00\x00\x03\x03\x04\x05\x00\x00\x02\x00\xFF\xFF\x06", 26);
    EXPECT_EQ(rle8(2, -2, wild), (Bytes{1, 1, 0, 3}));

    // RLE4 refuses data that leaves the picture.
    auto rle4 = [](int32_t w, int32_t h, const std::string &data) {  // six colours, 0 to 5
        return decode(bmp_file(40, w, h, 4, 2, 6, blue_palette(6), data));
    };
    // Bottom line: a run of four alternating 1 and 2; end of line; a move one right; an
    // absolute run of 3, 4, 5; end of bitmap. The skipped pixel shows colour 0.
    Decoded d = rle4(4, 2, std::string("\x04\x12\x00\x00\x00\x02\x01\x00\x00\x03\x34\x50\x00\x01", 14));
    EXPECT_EQ(std::tuple(d.header, d.pixels), std::tuple(0, 0)) << codec_last_report();
    EXPECT_EQ(indices(d), (Bytes{0, 3, 4, 5, 1, 2, 1, 2})) << "top row first";
    // Five nibbles take three bytes and a padding byte; the data may stop once every
    // line has ended, without an end of bitmap.
    d = rle4(5, 1, std::string("\x00\x05\x12\x34\x50\xEE\x00\x00", 8));
    EXPECT_EQ(std::tuple(d.header, d.pixels), std::tuple(0, 0)) << codec_last_report();
    EXPECT_EQ(indices(d), (Bytes{1, 2, 3, 4, 5}));

    std::pair<const char *, std::string> damaged[] = {
        {"a run past the width", std::string("\x05\x11\x00\x01", 4)},
        {"an absolute run past the width", std::string("\x02\x11\x00\x03\x11\x10\x00\x01", 8)},
        {"a move past the width", std::string("\x00\x02\x05\x00\x00\x01", 6)},
        {"a move below the picture", std::string("\x00\x02\x00\x03\x00\x01", 6)},
        {"a run after the last line", std::string("\x00\x00\x00\x00\x01\x11\x00\x01", 8)},
        {"a run of a colour past the palette", std::string("\x02\x16\x00\x01", 4)},
        {"an absolute index past the palette", std::string("\x00\x03\x12\x90\x00\x01", 6)},
        {"data that stops before the last line", std::string("\x04\x12\x00\x00\x02\x11", 6)},
        {"data that stops inside an absolute run", std::string("\x00\x04\x12", 3)},
        {"data that stops inside a move", std::string("\x00\x02\x01", 3)},
    };
    for (auto &[name, data] : damaged) {
        d = rle4(4, 2, data);
        EXPECT_EQ(std::tuple(d.header, d.pixels), std::tuple(0, 1)) << name;
        EXPECT_STREQ(codec_last_report(), "BMP loader: unknown error") << name;
    }
}

TEST_F(Bmp, SavesPlain24BitFilesBottomUpReplacingOnlyWhenComplete)
{
    TempDir dir;
    std::string path = dir.file("wall.bmp");
    Picture *p = picture_create(2, 2, IMG_BGR), *odd = picture_create(3, 1, IMG_BGR), *grey = picture_create(2, 2, IMG_555);
    for (int i = 0; i < 12; i++)
        p->colour[i] = (uint8_t)(i + 1);
    ASSERT_EQ(bmp_save(path.c_str(), p), 0);
    std::string info = w32(40) + w32(2) + w32(2) + w16(1) + w16(24) + w32(0) + w32(0) + w32(2835) + w32(2835) + w32(0) + w32(0);
    std::string pixels("\x07\x08\x09\x0A\x0B\x0C\x00\x00\x01\x02\x03\x04\x05\x06\x00\x00", 16);
    std::string file = read_file(path);
    EXPECT_EQ(file, "BM" + w32(70) + w32(0) + w32(54) + info + pixels);
    EXPECT_EQ(decode(file).colour, Bytes(p->colour, p->colour + 12)) << "read back as written";

    EXPECT_EQ(bmp_save(path.c_str(), grey), 1) << "only 3-byte pictures are written";
    EXPECT_STREQ(codec_last_report(), "BMP saver: unknown error");
    EXPECT_EQ(read_file(path), file) << "a failed save leaves the old file";
    EXPECT_EQ(bmp_save(dir.file("no/such/folder.bmp").c_str(), p), 1);
    namespace fs = std::filesystem;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1) << "no temporary file left";

    memset(odd->colour, 0xEE, 9);
    ASSERT_EQ(bmp_save(path.c_str(), odd), 0);
    file = read_file(path);
    EXPECT_EQ(file.substr(2, 4), w32(66));
    EXPECT_EQ(file.substr(54), std::string(9, '\xEE') + std::string(3, '\0')) << "9 bytes and 3 of padding";
    picture_free(p);
    picture_free(odd);
    picture_free(grey);
}

TEST_F(Bmp, RefusesWhatItCannotRead)
{
    std::string pal = palette(256, 4, 0), px4(8, '\0');
    std::string good = bmp_file(40, 2, 2, 24, 0, 0, "", std::string(16, 'x')), good8 = bmp_file(40, 2, 2, 8, 0, 0, pal, px4);
    ASSERT_EQ(decode(good).pixels + decode(good8).pixels, 0) << "the files damaged below are good before";
    auto with = [](std::string file, size_t at, const std::string &bytes) { return file.replace(at, bytes.size(), bytes); };
    std::pair<const char *, std::string> cases[] = {
        {"2-bit", bmp_file(40, 2, 2, 2, 0, 4, std::string(16, '\0'), px4)},
        {"wrong magic", with(good, 0, "MB")},
        {"cut inside the header", good.substr(0, 40)},
        {"96-byte header", bmp_file(96, 2, 2, 24, 0, 0, "", std::string(16, 'x'))},
        {"two planes", with(good, 26, w16(2))},
        {"RLE4 on 8 bits", with(good8, 30, w32(2))},
        {"RLE8 on 4 bits", bmp_file(40, 2, 2, 4, 1, 16, std::string(64, '\0'), px4)},
        {"4-bit rows past the end", bmp_file(40, 2, 3, 4, 0, 16, std::string(64, '\0'), px4)},
        {"RLE4 claiming a huge picture", bmp_file(40, 9000, 9000, 4, 2, 0, pal, std::string(512 * 1024, '\0'))},
        {"bit fields on 24 bits", bmp_file(40, 2, 2, 24, 3, 0, std::string(12, '\xFF'), std::string(16, 'x'))},
        {"palette cut short", good8.substr(0, 300)},
        {"257 colours", bmp_file(40, 2, 2, 8, 0, 257, pal + w32(0), px4)},
        {"palette over the pixels", with(good8, 10, w32(54 + 512))},
        {"zero width", with(good, 18, w32(0))},
        {"negative width", with(good, 18, w32((uint32_t)-2))},
        {"most negative height", with(good, 22, w32(0x80000000))},
        {"rows past the end", with(good, 22, w32(3))},
        {"data offset inside the header", with(good, 10, w32(20))},
        {"data offset past the end", with(good, 10, w32(0x7FFFFFF0))},
        {"RLE8 with far too little data", bmp_file(40, 2000, 2000, 8, 1, 0, pal, std::string(100, '\0'))},
        {"RLE8 claiming a huge picture", bmp_file(40, 9000, 9000, 8, 1, 0, pal, std::string(512 * 1024, '\0'))},
        {"a single byte", ""},
    };
    for (auto &[name, file] : cases) {
        EXPECT_EQ(decode(file).header, 1) << name;
        EXPECT_STREQ(codec_last_report(), "BMP loader: unknown error") << name;
    }
    FILE *f = fmemopen((void *)good.data(), good.size(), "rb");
    Picture *p = picture_create(2, 3, IMG_BGR);
    EXPECT_EQ(bmp_read_pixels(p, f), 1) << "a picture of another size";
    EXPECT_EQ(ftell(f), 0);
    fclose(f);
    picture_free(p);
}
