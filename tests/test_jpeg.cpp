// JPEG pictures: the reader agrees with libjpeg's own float decode in blue-green-red
// order, the writer round-trips, and damaged or hostile streams fail cleanly.
#include <gtest/gtest.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <string>
#include <vector>

#include "image/imgfile.h"
#include "image/jpeg.h"
#include "platform/memory.h"
#include "tests/support.h"

class Jpeg : public ::testing::Test {
protected:
    void SetUp() override { img_init(io_mem_alloc, io_mem_free, io_mem_realloc); }
    TempDir dir;
};

// How the library lays out the coded data: one interleaved scan, progressive scans,
// arithmetic coding, or one sequential scan per component.
enum class Coding { BASELINE, PROGRESSIVE, ARITHMETIC, SCAN_PER_COMPONENT };

// Encoded by libjpeg itself, so the reader is checked against files it did not make.
static std::string lib_encode(int w, int h, int comps, J_COLOR_SPACE space, Coding coding = Coding::BASELINE)
{
    std::vector<uint8_t> px((size_t)(w * h * comps));
    for (size_t i = 0; i < px.size(); i++)
        px[i] = (uint8_t)(i * 7 + i / 13 * 29 + (size_t)comps);
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char *mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = (JDIMENSION)w, c.image_height = (JDIMENSION)h;
    c.input_components = comps, c.in_color_space = space;
    jpeg_set_defaults(&c);
    static jpeg_scan_info per_component[3] = {{1, {0}, 0, 63, 0, 0}, {1, {1}, 0, 63, 0, 0}, {1, {2}, 0, 63, 0, 0}};
    if (coding == Coding::PROGRESSIVE)
        jpeg_simple_progression(&c);
    else if (coding == Coding::ARITHMETIC)
        c.arith_code = TRUE;
    else if (coding == Coding::SCAN_PER_COMPONENT)
        c.scan_info = per_component, c.num_scans = comps;
    jpeg_start_compress(&c, TRUE);
    for (JSAMPROW row = px.data(); c.next_scanline < c.image_height; row += w * comps)
        jpeg_write_scanlines(&c, &row, 1);
    jpeg_finish_compress(&c);
    std::string out((char *)mem, size);
    jpeg_destroy_compress(&c);
    free(mem);
    return out;
}

// libjpeg's float decode: the pixels a standard decoder gives.
static std::vector<uint8_t> lib_decode(const std::string &bytes, J_COLOR_SPACE space)
{
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, (const unsigned char *)bytes.data(), bytes.size());
    jpeg_read_header(&d, TRUE);
    d.out_color_space = space, d.dct_method = JDCT_FLOAT;
    jpeg_start_decompress(&d);
    std::vector<uint8_t> px((size_t)d.output_width * d.output_height * d.output_components);
    for (JSAMPROW row = px.data(); d.output_scanline < d.output_height; row += d.output_width * d.output_components)
        jpeg_read_scanlines(&d, &row, 1);
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return px;
}

// The header and pixel steps as the picture front end runs them; null on failure.
static Picture *decode(const std::string &path, const std::string &bytes, long offset = 0)
{
    write_file(path, bytes);
    FILE *f = fopen(path.c_str(), "rb");
    fseek(f, offset, SEEK_SET);
    int32_t w, h;
    uint32_t format;
    Picture *p = nullptr;
    int failed = jpeg_read_info(f, &w, &h, &format);
    EXPECT_EQ(ftell(f), offset) << "the header step goes back to where it started";
    if (!failed)
        failed = jpeg_read_pixels(p = picture_create(w, h, format), f);
    fclose(f);
    if (failed)
        picture_free(p);
    return failed ? nullptr : p;
}

TEST_F(Jpeg, ReadsGreyAndColourAsTheLibraryDecodesThem)
{
    for (int comps : {1, 3}) {
        J_COLOR_SPACE space = comps == 1 ? JCS_GRAYSCALE : JCS_RGB;
        std::string bytes = lib_encode(21, 14, comps, space);
        Picture *p = decode(dir.file("a.jpg"), "junk!" + bytes, 5);  // a stream inside a bigger file
        ASSERT_NE(p, nullptr) << codec_last_report();
        EXPECT_EQ(p->format, comps == 1 ? IMG_8BIT : IMG_BGR);
        EXPECT_EQ(p->width * 100 + p->height, 2114);
        std::vector<uint8_t> want = lib_decode(bytes, space);
        for (size_t i = 0; comps == 3 && i < want.size(); i += 3)
            std::swap(want[i], want[i + 2]);
        EXPECT_EQ(std::vector<uint8_t>(p->colour, p->colour + want.size()), want)
            << "pixels differ from libjpeg's float decode in blue, green, red";
        picture_free(p);
    }
}

TEST_F(Jpeg, WrittenPicturesComeBackWithinASmallError)
{
    // Blue rises and red falls across, green down: a swapped channel order shows. The
    // alpha plane is not written.
    Picture *src = picture_create(32, 24, IMG_BGRA);
    for (int i = 0; i < 32 * 24; i++) {
        uint8_t *px = src->colour + i * 3;
        px[0] = (uint8_t)(i % 32 * 7), px[1] = (uint8_t)(i / 32 * 10), px[2] = (uint8_t)(250 - i % 32 * 7);
    }
    FILE *f = fopen(dir.file("w.jpg").c_str(), "wb");
    ASSERT_EQ(jpeg_write(f, src, 90), 0);
    fclose(f);
    Picture *back = decode(dir.file("w.jpg"), read_file(dir.file("w.jpg")));
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->format, IMG_BGR);
    int worst = 0;
    for (int i = 0; i < 32 * 24 * 3; i++)
        worst = std::max(worst, std::abs(back->colour[i] - src->colour[i]));
    EXPECT_LE(worst, 12) << "largest channel error";
    picture_free(back);

    f = fopen(dir.file("w.jpg").c_str(), "rb");
    EXPECT_EQ(jpeg_write(f, src, 80), 1) << "a stream that refuses to be written";
    src->format = IMG_555;
    EXPECT_EQ(jpeg_write(f, src, 80), 1) << "5-5-5 pictures are not written";
    fclose(f);
    picture_free(src);
}

TEST_F(Jpeg, DamagedAndHostileStreamsFail)
{
    std::string good = lib_encode(64, 48, 3, JCS_RGB);
    for (size_t cut : {0ul, 2ul, 20ul, good.size() / 3, good.size() / 2, good.size() - 40})
        EXPECT_EQ(decode(dir.file("t.jpg"), good.substr(0, cut)), nullptr) << "cut at " << cut << " of " << good.size();
    std::string bad = good;  // a restart marker in the middle of the scan: its data ends early
    bad.replace((good.find("\xFF\xDA") + good.size()) / 2, 2, "\xFF\xD4");
    EXPECT_EQ(decode(dir.file("c.jpg"), bad), nullptr) << "corrupt scan data";
    EXPECT_EQ(decode(dir.file("b.jpg"), "BM" + std::string(52, '\0')), nullptr) << "a BMP named .jpg";

    bad = good;  // a header claiming 60000 x 60000 is refused before anything is decoded
    bad.replace(good.find("\xFF\xC0") + 5, 4, "\xEA\x60\xEA\x60");
    EXPECT_EQ(decode(dir.file("h.jpg"), bad), nullptr);
    EXPECT_STREQ(codec_last_report(), "JPG: picture too large");

    // CMYK is offered as colour by the header step; the library refuses the conversion
    // through the recovery point, and the next read works.
    EXPECT_EQ(decode(dir.file("k.jpg"), lib_encode(8, 8, 4, JCS_CMYK)), nullptr);
    EXPECT_STREQ(codec_last_report(), "JPG: Unsupported color conversion request");
    Picture *p = decode(dir.file("g.jpg"), lib_encode(8, 8, 1, JCS_GRAYSCALE));
    EXPECT_NE(p, nullptr);
    picture_free(p);
}

TEST_F(Jpeg, AFileCutOnlyAtItsEndMarkerReadsWholeButMissingScansFail)
{
    struct {
        const char *name;
        Coding coding;
    } codings[] = {{"baseline", Coding::BASELINE},
                   {"progressive", Coding::PROGRESSIVE},
                   {"arithmetic", Coding::ARITHMETIC},
                   {"one scan per component", Coding::SCAN_PER_COMPONENT}};
    for (const auto &c : codings) {
        for (auto [w, h] : {std::pair(64, 48), std::pair(21, 14), std::pair(8, 8)}) {
            std::string full = lib_encode(w, h, 3, JCS_RGB, c.coding);
            ASSERT_EQ(full.substr(full.size() - 2), "\xFF\xD9") << c.name << ": the stream ends with its end marker";
            Picture *whole = decode(dir.file("whole.jpg"), full);
            ASSERT_NE(whole, nullptr) << c.name << ": " << codec_last_report();
            std::vector<uint8_t> want(whole->colour, whole->colour + whole->height * whole->colour_stride);
            picture_free(whole);
            for (size_t missing : {1, 2}) {
                Picture *p = decode(dir.file("cut.jpg"), full.substr(0, full.size() - missing));
                ASSERT_NE(p, nullptr) << c.name << " " << w << "x" << h << " without its last " << missing
                                      << " bytes: " << codec_last_report();
                EXPECT_EQ(std::vector<uint8_t>(p->colour, p->colour + p->height * p->colour_stride), want)
                    << c.name << " " << w << "x" << h << ": the same pixels as the whole file";
                picture_free(p);
            }
        }
        // Cut in the middle of the coded data, and (with several scans) before the last scan.
        std::string full = lib_encode(64, 48, 3, JCS_RGB, c.coding);
        size_t first_scan = full.find("\xFF\xDA"), last_scan = full.rfind("\xFF\xDA");
        EXPECT_EQ(decode(dir.file("mid.jpg"), full.substr(0, (first_scan + full.size()) / 2)), nullptr)
            << c.name << ": cut in the middle";
        EXPECT_STREQ(codec_last_report(), c.coding == Coding::ARITHMETIC ? "JPG: Premature end of JPEG file"
                                                                         : "JPG: Corrupt JPEG data: premature end of data segment")
            << c.name;
        if (last_scan != first_scan) {
            EXPECT_EQ(decode(dir.file("scan.jpg"), full.substr(0, last_scan)), nullptr) << c.name << ": last scan missing";
            EXPECT_STREQ(codec_last_report(), "JPG: Premature end of JPEG file") << c.name;
        }
    }
}
