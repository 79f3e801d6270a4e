// JPEG pictures: the reader agrees with libjpeg's own float decode in blue-green-red
// order, the writer round-trips, and damaged or hostile streams fail cleanly. A camera's
// EXIF orientation turns a picked picture upright (box pictures stay as stored), and
// hostile EXIF data is ignored. Fitted reads decode at the smallest scale that covers
// the fit.
#include <gtest/gtest.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jpeglib.h>
#include <string>
#include <vector>

#include "image/gformat.h"
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

// Encoded by libjpeg itself, so the reader is checked against files it did not make:
// the pixels given (w x h x comps), or a busy pattern, with APP1 segments after the header.
static std::string lib_encode(int w, int h, int comps, J_COLOR_SPACE space, Coding coding = Coding::BASELINE,
                              std::vector<uint8_t> px = {}, const std::vector<std::string> &app1 = {})
{
    if (px.empty()) {
        px.resize((size_t)(w * h * comps));
        for (size_t i = 0; i < px.size(); i++)
            px[i] = (uint8_t)(i * 7 + i / 13 * 29 + (size_t)comps);
    }
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
    for (const std::string &segment : app1)
        jpeg_write_marker(&c, JPEG_APP0 + 1, (const JOCTET *)segment.data(), (unsigned)segment.size());
    for (JSAMPROW row = px.data(); c.next_scanline < c.image_height; row += w * comps)
        jpeg_write_scanlines(&c, &row, 1);
    jpeg_finish_compress(&c);
    std::string out((char *)mem, size);
    jpeg_destroy_compress(&c);
    free(mem);
    return out;
}

// libjpeg's float decode, at scale/8: the pixels a standard decoder gives, as stored.
static std::vector<uint8_t> lib_decode(const std::string &bytes, J_COLOR_SPACE space, int scale = 8)
{
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, (const unsigned char *)bytes.data(), bytes.size());
    jpeg_read_header(&d, TRUE);
    d.out_color_space = space, d.dct_method = JDCT_FLOAT;
    d.scale_num = (unsigned)scale, d.scale_denom = 8;
    jpeg_start_decompress(&d);
    std::vector<uint8_t> px((size_t)d.output_width * d.output_height * d.output_components);
    for (JSAMPROW row = px.data(); d.output_scanline < d.output_height; row += d.output_width * d.output_components)
        jpeg_read_scanlines(&d, &row, 1);
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return px;
}

// The header and pixel steps as the picture front end runs them, for a box picture (as
// stored) or a picked one (turned upright); null on failure.
static Picture *decode(const std::string &path, const std::string &bytes, long offset = 0, bool upright = false)
{
    write_file(path, bytes);
    FILE *f = fopen(path.c_str(), "rb");
    fseek(f, offset, SEEK_SET);
    JpegFit fit;
    Picture *p = nullptr;
    int failed = upright ? jpeg_read_info_fit(f, 0, 0, &fit) : jpeg_read_info(f, &fit.width, &fit.height, &fit.format);
    EXPECT_EQ(ftell(f), offset) << "the header step goes back to where it started";
    if (!failed && upright) {
        EXPECT_EQ(fit.scale, 8);
        failed = jpeg_read_pixels_scaled(p = picture_create(fit.width, fit.height, fit.format), f, 8);
    } else if (!failed) {
        failed = jpeg_read_pixels(p = picture_create(fit.width, fit.height, fit.format), f);
    }
    fclose(f);
    if (failed)
        picture_free(p);
    return failed ? nullptr : p;
}
static Picture *decode_upright(const std::string &path, const std::string &bytes) { return decode(path, bytes, 0, true); }

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

TEST_F(Jpeg, DamagedAndHostileStreamsFailLeavingNothing)
{
    std::string good = lib_encode(64, 48, 3, JCS_RGB);
    std::string corrupt = good;  // a restart marker in the middle of the scan: its data ends early
    corrupt.replace((good.find("\xFF\xDA") + good.size()) / 2, 2, "\xFF\xD4");
    std::string huge = good;  // claims 60000 x 60000, refused before anything is decoded
    huge.replace(good.find("\xFF\xC0") + 5, 4, "\xEA\x60\xEA\x60");
    std::vector<std::pair<std::string, std::string>> cases = {
        {"corrupt scan data", corrupt}, {"a BMP named .jpg", "BM" + std::string(52, '\0')}, {"60000 x 60000", huge}};
    for (size_t cut : {0ul, 2ul, 20ul, good.size() / 3, good.size() / 2, good.size() - 40})
        cases.push_back({"cut at " + std::to_string(cut) + " of " + std::to_string(good.size()), good.substr(0, cut)});
    int32_t held = blocks_held();
    for (const auto &[what, bytes] : cases) {
        EXPECT_EQ(decode(dir.file("t.jpg"), bytes), nullptr) << what;
        if (bytes == huge) {
            EXPECT_STREQ(codec_last_report(), "JPG: picture too large");
        }
        int32_t fw = 1, fh = 1;  // and fitted, as a picked picture
        EXPECT_EQ(gformat_read_fit(dir.file("t.jpg").c_str(), 16, 16, &fw, &fh), 0) << what;
        EXPECT_EQ(fw + fh, 0) << what;
        EXPECT_EQ(gformat_take(), nullptr) << what;
    }
    int32_t fw, fh;
    EXPECT_EQ(gformat_read_fit(dir.file("none.jpg").c_str(), 16, 16, &fw, &fh), 0);
    EXPECT_EQ(blocks_held(), held);
    write_file(dir.file("t.jpg"), good);  // 8 x 6 is its size at 1/8
    FILE *f = fopen(dir.file("t.jpg").c_str(), "rb");
    Picture *p = picture_create(8, 6, IMG_BGR);
    EXPECT_EQ(jpeg_read_pixels_scaled(p, f, 0), 1) << "no such scale";
    EXPECT_EQ(jpeg_read_pixels_scaled(p, f, 9), 1) << "no such scale";
    picture_free(p);
    fclose(f);

    // CMYK is offered as colour by the header step; the library refuses the conversion
    // through the recovery point, and the next read works.
    EXPECT_EQ(decode(dir.file("k.jpg"), lib_encode(8, 8, 4, JCS_CMYK)), nullptr);
    EXPECT_STREQ(codec_last_report(), "JPG: Unsupported color conversion request");
    p = decode(dir.file("g.jpg"), lib_encode(8, 8, 1, JCS_GRAYSCALE));
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

// An APP1 segment "Exif\0\0" + TIFF header + a first directory holding a camera make
// and the orientation, in either byte order.
static std::string exif_segment(int orientation, bool big_endian)
{
    auto put = [&](std::string *s, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; i++)
            s->push_back((char)(v >> (8 * (big_endian ? bytes - 1 - i : i))));
    };
    std::string t = big_endian ? std::string("MM", 2) : std::string("II", 2);
    put(&t, 42, 2), put(&t, 8, 4);  // the directory follows the header
    put(&t, 2, 2);
    put(&t, 0x010F, 2), put(&t, 2, 2), put(&t, 4, 4), t += std::string("Cam\0", 4);  // make: ASCII, inline
    put(&t, 0x0112, 2), put(&t, 3, 2), put(&t, 1, 4), put(&t, (uint32_t)orientation, 2), put(&t, 0, 2);
    put(&t, 0, 4);  // no next directory
    return std::string("Exif\0\0", 6) + t;
}

// A 48 x 32 picture of four flat quarters, each far from the others in colour (or grey):
// flat 8 x 8 blocks decode the same whichever way they are turned.
static std::vector<uint8_t> quarters(int comps)
{
    const uint32_t colours[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}, greys[4] = {0, 85, 170, 255};
    std::vector<uint8_t> px;
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 48; x++) {
            int q = (y >= 16) * 2 + (x >= 24);
            if (comps == 1)
                px.push_back((uint8_t)greys[q]);
            else
                px.insert(px.end(), {(uint8_t)(colours[q] >> 16), (uint8_t)(colours[q] >> 8), (uint8_t)colours[q]});
        }
    return px;
}

TEST_F(Jpeg, ExifOrientationTurnsThePictureUpright)
{
    for (int comps : {3, 1}) {
        J_COLOR_SPACE space = comps == 3 ? JCS_RGB : JCS_GRAYSCALE;
        for (Coding coding : {Coding::BASELINE, Coding::PROGRESSIVE}) {
            Picture *stored = decode_upright(dir.file("1.jpg"), lib_encode(48, 32, comps, space, coding, quarters(comps)));
            ASSERT_NE(stored, nullptr) << codec_last_report();
            const int bytes = comps;
            for (int o = 1; o <= 8; o++) {
                Picture *p = decode_upright(dir.file("o.jpg"),
                                            lib_encode(48, 32, comps, space, coding, quarters(comps), {exif_segment(o, o % 2 == 0)}));
                ASSERT_NE(p, nullptr) << "orientation " << o << ": " << codec_last_report();
                ASSERT_EQ(p->width * 100 + p->height, o >= 5 ? 3248 : 4832) << "orientation " << o << ": upright size";
                // Every pixel is the stored one it maps from, exactly: mirrored (2, 4), turned
                // half (3), a quarter clockwise (6) or back (8), transposed (5, 7).
                int mismatches = 0;
                for (int v = 0; v < p->height; v++)
                    for (int u = 0; u < p->width; u++) {
                        int x = o == 1 || o == 4 ? u : o == 2 || o == 3 ? 47 - u : o == 5 || o == 6 ? v : 47 - v;
                        int y = o == 1 || o == 2 ? v : o == 3 || o == 4 ? 31 - v : o == 5 || o == 8 ? u : 31 - u;
                        mismatches += memcmp(p->colour + v * p->colour_stride + u * bytes,
                                             stored->colour + y * stored->colour_stride + x * bytes, (size_t)bytes) != 0;
                    }
                EXPECT_EQ(mismatches, 0) << "orientation " << o;
                picture_free(p);
            }
            picture_free(stored);
        }
    }
}

TEST_F(Jpeg, OrientationOneAndHostileExifReadAsStored)
{
    std::string plain = lib_encode(21, 14, 3, JCS_RGB);
    std::vector<uint8_t> want = lib_decode(plain, JCS_EXT_BGR);
    std::string six = exif_segment(6, false);
    std::string far_directory = six;
    far_directory.replace(10, 4, std::string("\xF0\xFF\xFF\xFF", 4));  // offset of IFD0 beyond the segment
    std::string many_entries = six;
    many_entries.replace(14, 2, std::string("\xFF\xFF", 2));  // 65535 entries; cut below to the first
    std::string bad_type = six;
    bad_type[14 + 2 + 12 + 2] = 4;  // the orientation as a LONG
    std::string zero = exif_segment(0, true), nine = exif_segment(9, false);
    struct {
        const char *what;
        std::vector<std::string> app1;
    } cases[] = {{"no EXIF", {}},
                 {"orientation 1", {exif_segment(1, true)}},
                 {"directory out of bounds", {far_directory}},
                 {"more entries than the segment holds", {many_entries.substr(0, 14 + 2 + 12)}},
                 {"orientation of another type", {bad_type}},
                 {"orientation 0", {zero}},
                 {"orientation 9", {nine}},
                 {"EXIF cut after its header", {six.substr(0, 12)}},
                 {"a first EXIF segment saying 1 counts, not a second saying 6", {exif_segment(1, false), six}},
                 {"XMP in APP1, no EXIF", {"http://ns.adobe.com/xap/1.0/\0<x:xmpmeta/>"}}};
    for (const auto &c : cases) {
        std::string file = lib_encode(21, 14, 3, JCS_RGB, Coding::BASELINE, {}, c.app1);
        Picture *p = decode_upright(dir.file("h.jpg"), file);
        ASSERT_NE(p, nullptr) << c.what << ": " << codec_last_report();
        EXPECT_EQ(p->width * 100 + p->height, 2114) << c.what;
        EXPECT_EQ(std::vector<uint8_t>(p->colour, p->colour + want.size()), want) << c.what << ": the library's own pixels";
        picture_free(p);
    }
    // After an XMP segment, EXIF still counts.
    Picture *p = decode_upright(dir.file("x.jpg"), lib_encode(21, 14, 3, JCS_RGB, Coding::BASELINE, {},
                                                      {std::string("http://ns.adobe.com/xap/1.0/\0x", 30), six}));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->width * 100 + p->height, 1421);
    picture_free(p);
    // A file that ends inside its EXIF segment fails cleanly.
    std::string file = lib_encode(21, 14, 3, JCS_RGB, Coding::BASELINE, {}, {six + std::string(3000, 'x')});
    EXPECT_EQ(decode_upright(dir.file("c.jpg"), file.substr(0, file.find("Exif") + 1000)), nullptr);
}

TEST_F(Jpeg, ExifParserNeverReadsOutsideItsData)
{
    std::string seg = exif_segment(6, true).substr(6);
    const size_t entry_end = 8 + 2 + 12 + 12;  // header, count, make, orientation
    // Every cut of a good directory: the orientation counts only when all of its entry
    // is there. Each cut lies in a block of its own size, so a read past it is caught.
    for (size_t n = 0; n <= seg.size(); n++) {
        std::vector<uint8_t> data(seg.begin(), seg.begin() + (long)n);
        EXPECT_EQ(jpeg_exif_orientation(data.data(), n), n >= entry_end ? 6 : 1) << "cut to " << n << " bytes";
    }
    EXPECT_EQ(jpeg_exif_orientation(nullptr, 0), 1);
    // Random directories behind a good header: any answer is an orientation.
    // The bytes come from those a directory is made of, so tags, types and counts that
    // almost fit turn up often.
    const uint8_t parts[] = {0, 1, 3, 8, 12, 0x12, 0xFF};
    uint32_t r = 12345;
    for (int i = 0; i < 3000; i++) {
        r = r * 1103515245u + 12345u;
        std::vector<uint8_t> data(8 + (r >> 16) % 64);
        for (uint8_t &b : data)
            b = parts[((r = r * 1103515245u + 12345u) >> 16) % 7];
        memcpy(data.data(), i % 2 ? "MM\0*" : "II*\0", 4);
        memset(data.data() + 4, 0, 4);
        data[i % 2 ? 7 : 4] = (uint8_t)(8 + i % 16);  // the directory somewhere near the start
        int o = jpeg_exif_orientation(data.data(), data.size());
        ASSERT_TRUE(o >= 1 && o <= 8) << o;
    }
}

TEST_F(Jpeg, FittedReadsDecodeAtTheSmallestScaleThatCoversTheFit)
{
    // The fitted size is covered with the fewest eighths: 4000 x 3000 for 800 x 600 needs
    // 1000 x 750 (1/4); a panorama is limited by its height's fit, a tall picture by its
    // width; a picture that already fits, or a fit of nothing, is read whole.
    struct {
        int32_t w, h, fit_w, fit_h, scale;
    } cases[] = {{4000, 3000, 800, 600, 2},   {6000, 4000, 1900, 1000, 2}, {20000, 5000, 1900, 1000, 1},
                 {400, 300, 140, 100, 3},     {400, 300, 80, 60, 2},       {100, 2000, 1900, 1000, 4},
                 {1900, 1000, 1900, 1000, 8}, {1901, 1000, 1900, 1000, 8}, {300, 200, 1900, 1000, 8},
                 {3000, 3000, 0, 1000, 8},    {16000, 9000, 1600, 900, 1}, {1599, 900, 1600, 900, 8}};
    for (const auto &c : cases)
        EXPECT_EQ(jpeg_fit_scale(c.w, c.h, c.fit_w, c.fit_h), c.scale) << c.w << "x" << c.h << " into " << c.fit_w << "x" << c.fit_h;

    std::string file = lib_encode(400, 300, 3, JCS_RGB);
    write_file(dir.file("f.jpg"), file);
    struct {
        int32_t fit_w, fit_h, w, h, scale;
    } reads[] = {{140, 100, 150, 113, 3}, {80, 60, 100, 75, 2}, {1900, 1000, 400, 300, 8}};
    for (const auto &r : reads) {
        int32_t fw = 0, fh = 0, w, h;
        ASSERT_EQ(gformat_read_fit(dir.file("f.jpg").c_str(), r.fit_w, r.fit_h, &fw, &fh), 1) << codec_last_report();
        EXPECT_EQ(fw * 1000 + fh, 400300) << "the file's own size";
        gformat_size(&w, &h);
        EXPECT_EQ(w * 1000 + h, r.w * 1000 + r.h) << "decoded for " << r.fit_w << "x" << r.fit_h;
        Picture *p = gformat_take();
        std::vector<uint8_t> want = lib_decode(file, JCS_EXT_BGR, r.scale);
        EXPECT_EQ(std::vector<uint8_t>(p->colour, p->colour + (size_t)p->height * p->colour_stride), want)
            << "the library's own pixels at " << r.scale << "/8";
        picture_free(p);
    }

    // Turned by its EXIF, the picture is fitted and reported upright.
    write_file(dir.file("t.jpg"), lib_encode(400, 300, 3, JCS_RGB, Coding::BASELINE, {}, {exif_segment(6, false)}));
    int32_t fw = 0, fh = 0, w, h;
    ASSERT_EQ(gformat_read_fit(dir.file("t.jpg").c_str(), 100, 140, &fw, &fh), 1) << codec_last_report();
    gformat_size(&w, &h);
    EXPECT_EQ(fw * 1000 + fh, 300400);
    EXPECT_EQ(w * 1000 + h, 113150) << "3/8 of the upright size";
    gformat_free();

    // A grey JPEG comes in colour like every picture of the front end.
    write_file(dir.file("g.jpg"), lib_encode(64, 48, 1, JCS_GRAYSCALE));
    ASSERT_EQ(gformat_read_fit(dir.file("g.jpg").c_str(), 16, 16, &fw, &fh), 1);
    Picture *p = gformat_take();
    EXPECT_EQ(p->format, IMG_BGR);
    EXPECT_EQ(p->width * 100 + p->height, 1612);
    picture_free(p);
}

TEST_F(Jpeg, APanoramaTooLargeToReadWholeLoadsFitted)
{
    // 20000 x 5000, grey (fast to make): wider than any picture read whole.
    const int W = 20000, H = 5000;
    std::vector<uint8_t> px((size_t)W * H);
    for (size_t i = 0; i < px.size(); i++)
        px[i] = (uint8_t)(i % W / 80);
    write_file(dir.file("pano.jpg"), lib_encode(W, H, 1, JCS_GRAYSCALE, Coding::BASELINE, std::move(px)));
    int32_t held = blocks_held();
    EXPECT_EQ(gformat_read(dir.file("pano.jpg").c_str()), 0);
    EXPECT_STREQ(codec_last_report(), "JPG: picture too large");
    int32_t fw = 0, fh = 0, w, h;
    ASSERT_EQ(gformat_read_fit(dir.file("pano.jpg").c_str(), 1900, 1000, &fw, &fh), 1) << codec_last_report();
    EXPECT_EQ(fw * 100000 + fh, 2000005000);
    gformat_size(&w, &h);
    EXPECT_EQ(w * 10000 + h, 25000625) << "1/8 covers 1900 x 475";
    Picture *p = gformat_take();
    EXPECT_NEAR(p->colour[(size_t)(100 * 3)], 10, 1) << "the grey of column 800 of the file, at column 100";
    picture_free(p);
    EXPECT_EQ(gformat_read_fit(dir.file("pano.jpg").c_str(), 30000, 30000, &fw, &fh), 0) << "read whole it is too large";
    EXPECT_EQ(fw + fh, 0);
    EXPECT_EQ(blocks_held(), held);
}

TEST_F(Jpeg, BoxPicturesReadAsStoredAndTheToolKeepsOnlyUprightJpegs)
{
    // Box pictures were always read as stored and their sizes recorded so: only the
    // pictures the player picks are turned.
    std::string turned = lib_encode(120, 90, 3, JCS_RGB, Coding::BASELINE, {}, {exif_segment(6, true)});
    Picture *p = decode(dir.file("t.jpg"), turned);
    ASSERT_NE(p, nullptr) << codec_last_report();
    EXPECT_EQ(p->width * 1000 + p->height, 120090);
    EXPECT_EQ(std::vector<uint8_t>(p->colour, p->colour + (size_t)p->height * p->colour_stride), lib_decode(turned, JCS_EXT_BGR));
    picture_free(p);
    int32_t w, h;
    ASSERT_EQ(gformat_read_jpg_file(dir.file("t.jpg").c_str()), 1);
    gformat_size(&w, &h);
    gformat_free();
    EXPECT_EQ(w * 1000 + h, 120090) << "a box picture";
    ASSERT_EQ(gformat_read(dir.file("t.jpg").c_str()), 1);
    gformat_size(&w, &h);
    gformat_free();
    EXPECT_EQ(w * 1000 + h, 90120) << "a picked picture";

    // The companion command makes a box of the upright picture: a turned JPEG is encoded
    // anew, a plain one (EXIF orientation 1 included) is kept byte for byte.
    std::string plain = lib_encode(120, 90, 3, JCS_RGB, Coding::BASELINE, {}, {exif_segment(1, false)});
    write_file(dir.file("p.jpg"), plain);
    ChildOptions opt;
    opt.cwd = dir.path;
    for (const char *name : {"t", "p"}) {
        std::string jpg = std::string(name) + ".jpg", box = std::string(name) + ".pzl", out = std::string(name) + "_parts";
        std::filesystem::create_directory(dir.file(out));
        ASSERT_EQ(wait_child(spawn_child(PELMORA_TOOL_EXE, {"box", "create", jpg, box}, opt), 20000), 0)
            << read_file(dir.file("stderr.txt"));
        ASSERT_EQ(wait_child(spawn_child(PELMORA_TOOL_EXE, {"box", "extract", box, out}, opt), 20000), 0)
            << read_file(dir.file("stderr.txt"));
        std::string kept = read_file(dir.file(out + "/picture.jpg"));
        if (name[0] == 'p') {
            EXPECT_EQ(kept, plain) << "kept as it was";
            continue;
        }
        FILE *f = fopen(dir.file(out + "/picture.jpg").c_str(), "rb");
        ASSERT_NE(f, nullptr);
        JpegFit fit;
        ASSERT_EQ(jpeg_read_info_fit(f, 0, 0, &fit), 0);
        fclose(f);
        EXPECT_EQ(fit.orientation, 1) << "no turn left to apply";
        EXPECT_EQ(fit.file_width * 1000 + fit.file_height, 90120) << "stored upright";
    }
}
