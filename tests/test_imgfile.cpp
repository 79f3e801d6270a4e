// IMG files: exact layout, padded rows, and damaged or hostile files refused cleanly.
#include <gtest/gtest.h>
#include <cstring>
#include <string>

#include "image/imgfile.h"
#include "kernel/memory.h"
#include "tests/support.h"

static std::string le32(uint32_t v)
{
    return std::string{(char)v, (char)(v >> 8), (char)(v >> 16), (char)(v >> 24)};
}

static std::string header(uint32_t w, uint32_t h, uint32_t format, uint32_t cstride, uint32_t soff, uint32_t sstride)
{
    return le32(IMG_MAGIC) + le32(w) + le32(h) + le32(format) + le32(36) + le32(cstride) + le32(soff) + le32(sstride) +
           le32(0);
}

static std::string save_bytes(Img *img, const std::string &path)
{
    FILE *f = fopen(path.c_str(), "wb");
    EXPECT_EQ(img_save(f, img), 1);
    fclose(f);
    return read_file(path);
}

static Img *load(const std::string &path)
{
    FILE *f = fopen(path.c_str(), "rb");
    Img *img = f ? img_load(f) : nullptr;
    if (f)
        fclose(f);
    return img;
}

TEST(ImgFile, WrittenExactlyAsTheRecordAndReadBack)
{
    TempDir dir;
    Img *rgb = img_create(2, 2, IMG_BGR);
    for (int i = 0; i < 12; i++)
        ((uint8_t *)rgb)[36 + i] = (uint8_t)(i * 20);
    std::string bytes = save_bytes(rgb, dir.file("a.img"));
    ASSERT_EQ(bytes.size(), 36u + 12u);
    EXPECT_EQ(bytes.substr(0, 36), header(2, 2, 3, 6, 0, 0));
    EXPECT_EQ(memcmp(bytes.data(), rgb, bytes.size()), 0) << "the file is the memory image";

    Img *rgba = img_create(2, 2, IMG_BGRA);
    memset((uint8_t *)rgba + 36, 7, 16);
    bytes = save_bytes(rgba, dir.file("b.img"));
    ASSERT_EQ(bytes.size(), 36u + 12u + 4u);
    EXPECT_EQ(bytes.substr(0, 36), header(2, 2, 0x13, 6, 48, 2));

    Img *back = load(dir.file("b.img"));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(memcmp(back, rgba, 52), 0);
    img_free(back);
    img_free(rgb);
    img_free(rgba);
}

TEST(ImgFile, PaddedRowsAreSkipped)
{
    TempDir dir;
    // Two 2-pixel rows with a stride of 8: two padding bytes a row.
    std::string file = header(2, 2, 3, 8, 0, 0) + "ABCDEF**" + "GHIJKL**";
    write_file(dir.file("p.img"), file);
    Img *img = load(dir.file("p.img"));
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(std::string((char *)img + 36, 12), "ABCDEFGHIJKL");
    img_free(img);
}

TEST(ImgFile, BadFilesFailWithoutReadingOrAllocating)
{
    TempDir dir;
    Img *view_img = img_create(2, 2, IMG_BGR);
    memset((uint8_t *)view_img + 36, 0x55, 12);
    ImgView v;
    img_view(&v, view_img, 0, 0);

    write_file(dir.file("magic.img"), "JPEG" + header(2, 2, 3, 6, 0, 0).substr(4) + std::string(12, 'x'));
    write_file(dir.file("size.img"), header(3, 2, 3, 9, 0, 0) + std::string(18, 'x'));
    for (const char *name : {"magic.img", "size.img"}) {
        FILE *f = fopen(dir.file(name).c_str(), "rb");
        EXPECT_EQ(img_read_pixels(&v, f), 1) << name;
        EXPECT_EQ(ftell(f), 0) << name << ": the file is left where it was";
        fclose(f);
        EXPECT_EQ(((uint8_t *)view_img)[36], 0x55) << name << ": nothing read into the view";
    }
    EXPECT_STREQ(codec_last_report(), "IMG loader: unknown error");

    int32_t live_before = mem_counters.ngetmem - mem_counters.nfreemem;
    const std::string hostile[] = {
        header(2, 2, 3, 6, 0, 0) + std::string(11, 'x'),            // one byte short
        header(60000, 60000, 3, 180000, 0, 0) + "tiny",             // claims 10 GB
        header(0x7FFFFFFF, 2, 3, 6, 0, 0),                          // absurd width
        header(2, 2, 0x13, 6, 0x7FFFFFF0, 2) + std::string(16, 'x'), // alpha plane far away
        header(2, 2, 3, 2, 0, 0) + std::string(12, 'x'),            // rows overlapping
        header(2, 2, 7, 14, 0, 0) + std::string(28, 'x'),           // no such format
        std::string("IMG"),
    };
    for (const std::string &bytes : hostile) {
        write_file(dir.file("h.img"), bytes);
        EXPECT_EQ(load(dir.file("h.img")), nullptr) << bytes.size() << " bytes";
    }
    EXPECT_EQ(mem_counters.ngetmem - mem_counters.nfreemem, live_before) << "every image made for a failed load was freed";
    img_free(view_img);
}
