// IMG files: exact layout, padded rows, and damaged or hostile files refused cleanly.
#include "image/imgfile.h"
#include "tests/support.h"

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

// The Img read from a file holding `bytes`, or null.
static Img *load(const TempDir &dir, const std::string &bytes)
{
    write_file(dir.file("in.img"), bytes);
    FILE *f = fopen(dir.file("in.img").c_str(), "rb");
    Img *img = img_load(f);
    fclose(f);
    return img;
}

TEST(ImgFile, WrittenExactlyAsTheRecordAndReadBack)
{
    TempDir dir;
    TestImage rgb(2, 2, IMG_BGR), rgba(2, 2, IMG_BGRA);
    for (int i = 0; i < 12; i++)
        rgb.v.colour[i] = (uint8_t)(i * 20);
    std::string bytes = save_bytes(rgb.img, dir.file("a.img"));
    EXPECT_EQ(bytes, header(2, 2, 3, 6, 0, 0) + std::string((char *)rgb.v.colour, 12)) << "the file is the memory image";

    memset(rgba.v.colour, 7, 16);
    bytes = save_bytes(rgba.img, dir.file("b.img"));
    ASSERT_EQ(bytes.size(), 36u + 12u + 4u);
    EXPECT_EQ(bytes.substr(0, 36), header(2, 2, 0x13, 6, 48, 2));
    Img *back = load(dir, bytes);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(memcmp(back, rgba.img, 52), 0);
    img_free(back);

    // Two 2-pixel rows with a stride of 8: two padding bytes a row are skipped.
    Img *padded = load(dir, header(2, 2, 3, 8, 0, 0) + "ABCDEF**" + "GHIJKL**");
    ASSERT_NE(padded, nullptr);
    EXPECT_EQ(std::string((char *)padded + 36, 12), "ABCDEFGHIJKL");
    img_free(padded);
}

TEST(ImgFile, BadFilesFailWithoutReadingOrAllocating)
{
    TempDir dir;
    TestImage view(2, 2, IMG_BGR, 0x55);
    write_file(dir.file("magic.img"), "JPEG" + header(2, 2, 3, 6, 0, 0).substr(4) + std::string(12, 'x'));
    write_file(dir.file("size.img"), header(3, 2, 3, 9, 0, 0) + std::string(18, 'x'));
    for (const char *name : {"magic.img", "size.img"}) {
        FILE *f = fopen(dir.file(name).c_str(), "rb");
        EXPECT_EQ(img_read_pixels(&view.v, f), 1) << name;
        EXPECT_EQ(ftell(f), 0) << name << ": the file is left where it was";
        fclose(f);
        EXPECT_EQ(view.v.colour[0], 0x55) << name << ": nothing read into the view";
    }
    EXPECT_STREQ(codec_last_report(), "IMG loader: unknown error");

    int32_t live_before = blocks_held();
    const std::string hostile[] = {
        header(2, 2, 3, 6, 0, 0) + std::string(11, 'x'),            // one byte short
        header(60000, 60000, 3, 180000, 0, 0) + "tiny",             // claims 10 GB
        header(0x7FFFFFFF, 2, 3, 6, 0, 0),                          // absurd width
        header(2, 2, 0x13, 6, 0x7FFFFFF0, 2) + std::string(16, 'x'), // alpha plane far away
        header(2, 2, 3, 2, 0, 0) + std::string(12, 'x'),            // rows overlapping
        header(2, 2, 7, 14, 0, 0) + std::string(28, 'x'),           // no such format
        std::string("IMG"),
    };
    for (const std::string &bytes : hostile)
        EXPECT_EQ(load(dir, bytes), nullptr) << bytes.size() << " bytes";
    EXPECT_EQ(blocks_held(), live_before) << "every image made for a failed load was freed";
}
