// PNG pictures: every kind libpng writes comes back as blue, green, red with whatever is
// transparent laid over white; interlaced files read as plain ones; damaged, lying and
// oversized files are refused before or while reading, with nothing left behind; the
// picture front end and the companion command take PNG by extension.
#include <gtest/gtest.h>
#include <cstring>
#include <png.h>
#include <string>
#include <vector>
#include <zlib.h>

#include "image/gformat.h"
#include "image/imgfile.h"
#include "image/png.h"
#include "platform/memory.h"
#include "tests/support.h"

namespace {

// One PNG to write: the samples of every pixel in file order at the file's bit depth
// (a palette index for palette files), and what the file says is transparent.
struct PngSpec {
    int w = 3, h = 2, type = PNG_COLOR_TYPE_RGB, depth = 8;
    bool interlaced = false;
    std::vector<uint16_t> samples = {};
    std::vector<uint32_t> palette = {};  // 0xAARRGGBB; an alpha below 255 goes to tRNS
    int trns_grey = -1;             // grey files: the transparent grey
    uint32_t trns_rgb = 0;          // colour files: the transparent colour, 0xRRGGBB
    bool has_trns_rgb = false;
    int gamma = 0;                  // a gAMA chunk: the file's gamma times 100000
};

int channels_of(int type)
{
    return type == PNG_COLOR_TYPE_GRAY_ALPHA ? 2 : type == PNG_COLOR_TYPE_RGB ? 3 : type == PNG_COLOR_TYPE_RGB_ALPHA ? 4 : 1;
}

void append(png_structp png, png_bytep data, size_t size)
{
    static_cast<std::string *>(png_get_io_ptr(png))->append((const char *)data, size);
}

// Written by libpng itself, so the reader is checked against files it did not make.
std::string png_encode(const PngSpec &s)
{
    int channels = channels_of(s.type);
    EXPECT_EQ(s.samples.size(), (size_t)(s.w * s.h * channels)) << "the test's samples fill the picture";
    std::vector<std::vector<uint8_t>> rows((size_t)s.h);
    for (int y = 0; y < s.h; y++) {
        std::vector<uint8_t> &row = rows[(size_t)y];
        row.assign(((size_t)s.w * channels * s.depth + 7) / 8, 0);
        for (int i = 0; i < s.w * channels; i++) {
            uint16_t v = s.samples[(size_t)(y * s.w * channels + i)];
            if (s.depth == 16) {
                row[(size_t)i * 2] = (uint8_t)(v >> 8), row[(size_t)i * 2 + 1] = (uint8_t)v;
            } else {
                size_t bit = (size_t)i * s.depth;
                row[bit / 8] |= (uint8_t)(v << (8 - s.depth - bit % 8));
            }
        }
    }
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, append, nullptr);
    png_set_IHDR(png, info, (uint32_t)s.w, (uint32_t)s.h, s.depth, s.type,
                 s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> colours;
    std::vector<uint8_t> alphas;
    for (uint32_t c : s.palette) {
        colours.push_back({(uint8_t)(c >> 16), (uint8_t)(c >> 8), (uint8_t)c});
        alphas.push_back((uint8_t)(c >> 24));
    }
    if (!colours.empty())
        png_set_PLTE(png, info, colours.data(), (int)colours.size());
    while (!alphas.empty() && alphas.back() == 255)
        alphas.pop_back();
    if (!alphas.empty())
        png_set_tRNS(png, info, alphas.data(), (int)alphas.size(), nullptr);
    png_color_16 key = {.index = 0, .red = (uint16_t)(s.trns_rgb >> 16 & 0xFF), .green = (uint16_t)(s.trns_rgb >> 8 & 0xFF),
                        .blue = (uint16_t)(s.trns_rgb & 0xFF), .gray = (uint16_t)s.trns_grey};
    if (s.trns_grey >= 0 || s.has_trns_rgb)
        png_set_tRNS(png, info, nullptr, 0, &key);
    if (s.gamma)
        png_set_gAMA_fixed(png, info, s.gamma);
    png_write_info(png, info);
    std::vector<png_bytep> pointers;
    for (auto &r : rows)
        pointers.push_back(r.data());
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// The header and pixel steps as the picture front end runs them; null on failure.
Picture *decode(const std::string &path, const std::string &bytes)
{
    write_file(path, bytes);
    FILE *f = fopen(path.c_str(), "rb");
    int32_t w, h;
    uint32_t format;
    Picture *p = nullptr;
    int failed = png_read_info(f, &w, &h, &format);
    EXPECT_EQ(ftell(f), 0) << "the header step goes back to where it started";
    if (!failed) {
        EXPECT_EQ(format, IMG_BGR);
        failed = png_read_pixels(p = picture_create(w, h, format), f);
    }
    fclose(f);
    if (failed)
        picture_free(p);
    return failed ? nullptr : p;
}

// A colour laid over white by its alpha out of `full`, to the nearest 8-bit step.
uint32_t over_white(uint32_t rgb, uint32_t alpha, uint32_t full = 255)
{
    uint32_t out = 0;
    for (int shift : {16, 8, 0}) {
        double c = (rgb >> shift & 0xFF) * alpha + 255.0 * (full - alpha);
        out |= (uint32_t)(c / full + 0.5) << shift;
    }
    return out;
}

// The picture's pixels as 0xRRGGBB, row after row.
std::vector<uint32_t> pixels_of(const Picture *p)
{
    std::vector<uint32_t> out;
    for (int y = 0; y < p->height; y++)
        for (int x = 0; x < p->width; x++) {
            const uint8_t *px = p->colour + y * p->colour_stride + x * 3;
            out.push_back((uint32_t)px[2] << 16 | (uint32_t)px[1] << 8 | px[0]);
        }
    return out;
}

// Whether every channel is within `slack` of what was wanted; says where not.
testing::AssertionResult near(const std::vector<uint32_t> &got, const std::vector<uint32_t> &want, int slack)
{
    if (got.size() != want.size())
        return testing::AssertionFailure() << got.size() << " pixels, wanted " << want.size();
    for (size_t i = 0; i < got.size(); i++)
        for (int shift : {16, 8, 0}) {
            int a = (int)(got[i] >> shift & 0xFF), b = (int)(want[i] >> shift & 0xFF);
            if (std::abs(a - b) > slack)
                return testing::AssertionFailure() << "pixel " << i << ": got " << std::hex << got[i] << ", wanted "
                                                   << want[i];
        }
    return testing::AssertionSuccess();
}

// The chunk of that type in a PNG file: where its length field starts.
size_t chunk_at(const std::string &file, const char *type)
{
    size_t at = file.find(type);
    return at == std::string::npos ? at : at - 4;
}

// Puts a correct checksum behind the chunk at `at` after the test changed its data.
void fix_crc(std::string *file, size_t at)
{
    const uint8_t *p = (const uint8_t *)file->data() + at;
    uint32_t length = (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
    uint32_t crc = (uint32_t)crc32(0, p + 4, length + 4);
    for (int i = 0; i < 4; i++)
        (*file)[at + 8 + length + (size_t)i] = (char)(crc >> (24 - 8 * i));
}

// The file with its header claiming another size, checksum mended, so that only the
// size can be the reason for what follows.
std::string with_size(std::string file, uint32_t w, uint32_t h)
{
    size_t at = chunk_at(file, "IHDR");
    for (int i = 0; i < 4; i++) {
        file[at + 8 + (size_t)i] = (char)(w >> (24 - 8 * i));
        file[at + 12 + (size_t)i] = (char)(h >> (24 - 8 * i));
    }
    fix_crc(&file, at);
    return file;
}

class Png : public ::testing::Test {
protected:
    void SetUp() override { img_init(io_mem_alloc, io_mem_free, io_mem_realloc); }
    TempDir dir;
};

TEST_F(Png, EveryKindComesInBlueGreenRedWithTransparencyOverWhite)
{
    const int G = PNG_COLOR_TYPE_GRAY, GA = PNG_COLOR_TYPE_GRAY_ALPHA, RGBA = PNG_COLOR_TYPE_RGB_ALPHA, P = PNG_COLOR_TYPE_PALETTE;
    const std::vector<uint32_t> pal = {0xFF102030, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF}, pal2(pal.begin(), pal.begin() + 2);
    const std::vector<uint32_t> rgb = {0x0A141E, 0xFF0000, 0x00FF00, 0x0000FF, 0x010203, 0xC86432};
    const std::vector<uint32_t> backwards = {0x0000FF, 0x00FF00, 0xFF0000, 0x102030};
    const std::vector<uint32_t> rgba = {0xC86432, 0xFFFFFF, over_white(0xC86432, 128), over_white(0, 64)};
    const std::vector<uint32_t> grey = {0x646464, 0xFFFFFF, over_white(0x646464, 128)};
    const std::vector<uint16_t> rgba16 = {0xC8C8, 0x6464, 0x3232, 0xFFFF, 0xC8C8, 0x6464, 0x3232, 0,
                                          0xC8C8, 0x6464, 0x3232, 0x8080, 0,      0,      0,      0x4040};
    struct {
        const char *what;
        PngSpec spec;
        std::vector<uint32_t> want;
        int slack = 0;
    } cases[] = {
        {"grey 1 bit", {.w = 4, .h = 1, .type = G, .depth = 1, .samples = {1, 0, 0, 1}}, {0xFFFFFF, 0, 0, 0xFFFFFF}},
        {"grey 2 bits", {.w = 4, .h = 1, .type = G, .depth = 2, .samples = {0, 1, 2, 3}}, {0, 0x555555, 0xAAAAAA, 0xFFFFFF}},
        {"grey 4 bits", {.w = 4, .h = 1, .type = G, .depth = 4, .samples = {0, 7, 8, 15}}, {0, 0x777777, 0x888888, 0xFFFFFF}},
        {"grey 8 bits", {.w = 4, .h = 1, .type = G, .samples = {0, 1, 128, 255}}, {0, 0x010101, 0x808080, 0xFFFFFF}},
        // 16 bits are rounded to the nearest 8-bit step, not cut: 0x00C0 is nearer 0x0101.
        {"grey 16 bits", {.w = 4, .h = 1, .type = G, .depth = 16, .samples = {0, 0x00C0, 0x1234, 0xFFFF}},
         {0, 0x010101, 0x121212, 0xFFFFFF}},
        {"RGB 8", {.samples = {10, 20, 30, 255, 0, 0, 0, 255, 0, 0, 0, 255, 1, 2, 3, 200, 100, 50}}, rgb},
        {"RGB 16", {.depth = 16, .samples = {0x0A00, 0x1400, 0x1E00, 0xFFFF, 0, 0, 0, 0xFFFF, 0, 0, 0, 0xFFFF, 0x0101, 0x0202,
                                             0x0303, 0xC8C8, 0x6464, 0x3232}}, rgb},
        {"palette of 1 bit", {.w = 4, .h = 1, .type = P, .depth = 1, .samples = {1, 0, 0, 1}, .palette = pal2},
         {0xFF0000, 0x102030, 0x102030, 0xFF0000}},
        {"palette of 2 bits", {.w = 4, .h = 1, .type = P, .depth = 2, .samples = {3, 2, 1, 0}, .palette = pal}, backwards},
        {"palette of 4 bits", {.w = 4, .h = 1, .type = P, .depth = 4, .samples = {3, 2, 1, 0}, .palette = pal}, backwards},
        {"palette of 8 bits", {.w = 4, .h = 1, .type = P, .samples = {3, 2, 1, 0}, .palette = pal}, backwards},
        {"RGBA 8", {.w = 4, .h = 1, .type = RGBA, .samples = {200, 100, 50, 255, 200, 100, 50, 0, 200, 100, 50, 128, 0, 0, 0, 64}},
         rgba, 1},
        {"RGBA 16", {.w = 4, .h = 1, .type = RGBA, .depth = 16, .samples = rgba16}, rgba, 1},
        // The stored values are laid over white whatever gamma the file names, as every
        // other codec hands its values on unchanged.
        {"RGBA 16, gamma 0.45", {.w = 4, .h = 1, .type = RGBA, .depth = 16, .samples = rgba16, .gamma = 45455}, rgba, 1},
        {"RGBA 16, gamma 1", {.w = 4, .h = 1, .type = RGBA, .depth = 16, .samples = rgba16, .gamma = 100000}, rgba, 1},
        {"grey and alpha 8", {.w = 3, .h = 1, .type = GA, .samples = {100, 255, 100, 0, 100, 128}}, grey, 1},
        {"grey and alpha 16", {.w = 3, .h = 1, .type = GA, .depth = 16, .samples = {0x6464, 0xFFFF, 0x6464, 0, 0x6464, 0x8080}},
         grey, 1},
        {"palette with alpha", {.w = 3, .h = 1, .type = P, .samples = {0, 1, 2}, .palette = {0x00FF0000, 0x8000FF00, 0xFF0000FF}},
         {0xFFFFFF, over_white(0x00FF00, 128), 0x0000FF}, 1},
        // One grey level, or one colour, stands for transparent.
        {"transparent grey", {.w = 3, .h = 1, .type = G, .samples = {50, 51, 0}, .trns_grey = 50}, {0xFFFFFF, 0x333333, 0}},
        {"transparent grey of 4 bits", {.w = 3, .h = 1, .type = G, .depth = 4, .samples = {5, 6, 0}, .trns_grey = 5},
         {0xFFFFFF, 0x666666, 0}},
        {"transparent colour", {.w = 3, .h = 1, .samples = {1, 2, 3, 1, 2, 4, 0, 0, 0}, .trns_rgb = 0x010203, .has_trns_rgb = true},
         {0xFFFFFF, 0x010204, 0}},
    };
    for (const auto &c : cases) {
        Picture *p = decode(dir.file("k.png"), png_encode(c.spec));
        ASSERT_NE(p, nullptr) << c.what << ": " << codec_last_report();
        EXPECT_EQ(p->width * 1000 + p->height, c.spec.w * 1000 + c.spec.h) << c.what;
        EXPECT_TRUE(near(pixels_of(p), c.want, c.slack)) << c.what;
        picture_free(p);
    }
}

TEST_F(Png, InterlacedFilesReadAsPlainOnes)
{
    // Sizes that leave some of the seven passes empty, and pixels that all differ.
    for (auto [w, h] : {std::pair(1, 1), std::pair(5, 3), std::pair(37, 23)}) {
        for (int type : {PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA, PNG_COLOR_TYPE_GRAY}) {
            PngSpec s;
            s.type = type, s.w = w, s.h = h, s.depth = type == PNG_COLOR_TYPE_GRAY ? 16 : 8;
            for (int i = 0; i < w * h * channels_of(type); i++)
                s.samples.push_back((uint16_t)(i * 37 * (s.depth == 16 ? 255 : 1) % (s.depth == 16 ? 65536 : 256)));
            Picture *plain = decode(dir.file("plain.png"), png_encode(s));
            s.interlaced = true;
            std::string interlaced = png_encode(s);
            Picture *adam7 = decode(dir.file("adam7.png"), interlaced);
            ASSERT_NE(plain, nullptr) << codec_last_report();
            ASSERT_NE(adam7, nullptr) << codec_last_report();
            EXPECT_EQ(pixels_of(adam7), pixels_of(plain)) << w << "x" << h << " of type " << type;
            picture_free(plain);
            picture_free(adam7);
        }
    }
}

TEST_F(Png, DamagedAndHostileFilesAreRefusedLeavingNothingBehind)
{
    PngSpec s;
    s.w = 16, s.h = 16;
    for (int i = 0; i < 16 * 16 * 3; i++)
        s.samples.push_back((uint16_t)(i * 7 % 251));
    const std::string good = png_encode(s);
    const size_t idat = chunk_at(good, "IDAT"), iend = chunk_at(good, "IEND");
    ASSERT_NE(idat, std::string::npos);
    ASSERT_EQ(iend + 12, good.size()) << "the file ends with its end chunk";
    int32_t held = blocks_held();

    auto refused = [&](const char *what, const std::string &bytes, const char *reason = nullptr) {
        Picture *p = decode(dir.file("bad.png"), bytes);
        EXPECT_EQ(p, nullptr) << what;
        picture_free(p);
        if (reason) {
            EXPECT_STREQ(codec_last_report(), reason) << what;
        }
        EXPECT_EQ(blocks_held(), held) << what << ": nothing is kept";
    };
    refused("empty file", "");
    refused("not a PNG", "BM" + std::string(60, '\0'));
    for (size_t cut : {4ul, 20ul, idat + 8, idat + 20, iend - 6})
        refused(("cut at " + std::to_string(cut)).c_str(), good.substr(0, cut));

    std::string bad = good;
    bad[idat + 8 + 5] ^= 0x55;  // the inflater may trip over it before the checksum does
    refused("damaged pixel data", bad);
    bad = good;
    bad[iend - 1] ^= 0x55;  // the pixel data whole, its checksum wrong
    refused("damaged pixel checksum", bad, "PNG: IDAT: CRC error");
    bad = good;
    bad[chunk_at(good, "IHDR") + 16] = 9;  // a bit depth of 9, checksum not mended
    refused("damaged header", bad, "PNG: IHDR: CRC error");

    refused("a header wider than its data", with_size(good, 17, 16));
    refused("a header higher than its data", with_size(good, 16, 40));
    refused("no width", with_size(good, 0, 16));
    refused("no height", with_size(good, 16, 0));
    // Refused from the header alone, before any pixel memory is taken.
    refused("20000 x 20000", with_size(good, 20000, 20000), "PNG: picture too large");
    refused("2^31 - 1 wide", with_size(good, 0x7FFFFFFF, 1));
    write_file(dir.file("huge.png"), with_size(good, 20000, 20000));
    EXPECT_EQ(gformat_read(dir.file("huge.png").c_str()), 0);
    EXPECT_EQ(blocks_held(), held);

    // A picture of the wrong size is not filled.
    write_file(dir.file("good.png"), good);
    FILE *f = fopen(dir.file("good.png").c_str(), "rb");
    Picture *small = picture_create(8, 16, IMG_BGR);
    EXPECT_EQ(png_read_pixels(small, f), 1);
    EXPECT_STREQ(codec_last_report(), "PNG: the picture does not match the file");
    picture_free(small);
    fclose(f);

    // After all that the reader still works, and a file cut only in its end chunk is
    // whole: every pixel and every checksum of the pixel data is there.
    Picture *whole = decode(dir.file("good.png"), good);
    Picture *no_end = decode(dir.file("end.png"), good.substr(0, iend + 4));
    ASSERT_NE(whole, nullptr) << codec_last_report();
    ASSERT_NE(no_end, nullptr) << codec_last_report();
    EXPECT_EQ(pixels_of(no_end), pixels_of(whole));
    picture_free(whole);
    picture_free(no_end);
    EXPECT_EQ(blocks_held(), held);
}

TEST_F(Png, TheFrontEndAndTheCommandTakePngByExtension)
{
    PngSpec s;
    s.type = PNG_COLOR_TYPE_RGB_ALPHA;
    s.w = 40, s.h = 41;
    for (int i = 0; i < s.w * s.h; i++)
        s.samples.insert(s.samples.end(), {0, 0, 255, (uint16_t)(i < s.w ? 0 : 255)});  // top row clear
    std::string bytes = png_encode(s);
    for (const char *name : {"a.png", "b.PNG"}) {
        write_file(dir.file(name), bytes);
        int32_t fw = 0, fh = 0;
        ASSERT_EQ(gformat_read_fit(dir.file(name).c_str(), 20, 20, &fw, &fh), 1) << name << ": " << codec_last_report();
        EXPECT_EQ(fw * 1000 + fh, 40041) << "the file's own size";
        Picture *p = gformat_take();
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->width * 1000 + p->height, 40041) << "other formats than JPEG are read whole";
        EXPECT_EQ(pixels_of(p)[0], 0xFFFFFFu) << "clear over white";
        EXPECT_EQ(pixels_of(p)[(size_t)s.w], 0x0000FFu) << "opaque blue";
        picture_free(p);
    }

    std::vector<std::string> filter;
    for (const char *f = gformat_filter(); *f; f += strlen(f) + 1)
        filter.push_back(f);
    ASSERT_EQ(filter.size(), 10u);
    EXPECT_EQ(filter[8], "PNG (*.PNG)");
    EXPECT_EQ(filter[9], "*.PNG");

    ChildOptions opt;
    opt.cwd = dir.path;
    EXPECT_EQ(wait_child(spawn_child(PELMORA_TOOL_EXE, {"image", "convert", "a.png", "a.bmp"}, opt), 20000), 0)
        << read_file(dir.file("stderr.txt"));
    ASSERT_EQ(gformat_read(dir.file("a.bmp").c_str()), 1);
    Picture *p = gformat_take();
    EXPECT_EQ(pixels_of(p)[0], 0xFFFFFFu);
    EXPECT_EQ(pixels_of(p)[(size_t)s.w * s.h - 1], 0x0000FFu);
    picture_free(p);
}

}  // namespace
