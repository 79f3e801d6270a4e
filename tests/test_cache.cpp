// The artwork cache over a loose data folder, and the picture front end's choice of
// reader by extension.
#include <gtest/gtest.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <tiffio.h>
#include <unistd.h>

#include "image/bmp.h"
#include "image/cache.h"
#include "image/gformat.h"
#include "image/imgfile.h"
#include "image/jpeg.h"
#include "platform/memory.h"
#include "res/datapack.h"
#include "tests/support.h"

static int loads;
static void *counting_loader(int index)
{
    loads++;
    return dp_load(index);
}

// A 2 x 1 grey IMG file as the writer makes it.
static std::string tiny_img(uint8_t a, uint8_t b)
{
    std::string s(36, '\0');
    const uint32_t words[9] = {IMG_MAGIC, 2, 1, 1, 36, 2, 0, 0, 0};
    memcpy(&s[0], words, 36);
    return s + (char)a + (char)b;
}

class Cache : public ::testing::Test {
protected:
    TempDir dir;
    InDir in{dir.path};
    void SetUp() override
    {
        mkdir("art", 0755);
        write_file("art/a.img", tiny_img(1, 2));
        write_file("art/b.img", tiny_img(3, 4));
        write_file("art/c.img", tiny_img(5, 6));
        write_file("art/bad.img", tiny_img(5, 6) + "x");
        write_file("art/sky.JPG", "not decoded unless locked");
        img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
        dp_open("art@");
        loads = 0;
    }
    void TearDown() override
    {
        io_mem_set_purge(nullptr);
        cache_done();
        dp_close();
    }
};

TEST_F(Cache, SameNameSameHandleAndLoaderByExtension)
{
    int a = precache_file("a.img", counting_loader);
    EXPECT_EQ(precache_file("a.img", counting_loader), a);
    EXPECT_EQ(loads, 0) << "nothing loads before the first lock without preloading";
    EXPECT_EQ(precache_file("missing.img", counting_loader, 0), -1);

    int sky = cache_get("sky.JPG");
    EXPECT_EQ(memfiles[sky].loader, jpg_loader) << "the extension is compared in lower case";
    EXPECT_EQ(memfiles[cache_get("b.img")].loader, img_loader);

    cache_set_preload(true);
    int c = precache_file("c.img", counting_loader);
    EXPECT_EQ(loads, 1) << "preloading loads a new entry at once";
    EXPECT_NE(memfiles[c].data, nullptr);
    EXPECT_EQ(memfiles[c].locks, 0);
    int32_t w, h;
    cache_size(c, &w, &h);
    EXPECT_EQ(w, 2);
    EXPECT_EQ(loads, 1) << "a loaded entry is not loaded again";
}

TEST_F(Cache, PurgeDropsTheLeastRecentlyUsedUnlockedEntry)
{
    int a = cache_get("a.img"), b = cache_get("b.img"), c = cache_get("c.img");
    cache_lock(a);
    cache_lock(b);
    cache_unlock(b);
    cache_lock(c);
    cache_unlock(c);
    cache_unlock(a);  // a was locked first, so it was used longest ago
    cache_lock(c);    // and c is held

    EXPECT_EQ(cache_purge_one(), 1);
    EXPECT_EQ(memfiles[a].data, nullptr);
    EXPECT_EQ(cache_purge_one(), 1);
    EXPECT_EQ(memfiles[b].data, nullptr);
    EXPECT_EQ(cache_purge_one(), 0) << "a locked entry is never dropped";
    EXPECT_NE(memfiles[c].data, nullptr);

    Img *again = (Img *)cache_lock(a);
    ASSERT_NE(again, nullptr) << "a dropped entry is loaded again";
    EXPECT_EQ(((uint8_t *)again)[36], 1);
    cache_unlock(a);
    cache_unlock(c);

    // An allocation the system refuses is rescued by dropping cached data.
    io_mem_set_purge(cache_purge_one);
    io_mem_fail_next(1);
    void *p = io_mem_alloc(100);
    EXPECT_NE(p, nullptr);
    EXPECT_EQ(memfiles[b].data, nullptr);
    int dropped = (memfiles[a].data == nullptr) + (memfiles[c].data == nullptr);
    EXPECT_EQ(dropped, 1) << "one entry was enough";
    io_mem_free(p);
}

TEST_F(Cache, DamagedPackPicturesAreFatal)
{
    int bad = cache_get("bad.img");
    EXPECT_EXIT(cache_lock(bad), ::testing::ExitedWithCode(1), "img_loader: invalid image bad.img");
    int sky = cache_get("sky.JPG");
    EXPECT_EXIT(cache_lock(sky), ::testing::ExitedWithCode(1), "jpg_loader: gformat_jpg_read sky.JPG");
}

// A grey JPEG at quality 100 by the game's writer: flat 8 x 8 blocks come back within a
// step of their value.
static void write_grey_jpeg(const char *path, int w, int h, uint8_t (*value)(int x))
{
    Picture *p = picture_create(w, h, IMG_8BIT);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            p->colour[y * p->colour_stride + x] = value(x);
    FILE *f = fopen(path, "wb");
    ASSERT_EQ(jpeg_write(f, p, 100), 0);
    fclose(f);
    picture_free(p);
}

TEST_F(Cache, JpegLoaderDecodesIntoTheScreenFormatBesideTheCurrentPicture)
{
    screen.bytes_per_pixel = 3;
    write_grey_jpeg("art/room.jpg", 8, 8, [](int) -> uint8_t { return 99; });
    write_grey_jpeg("art/grey.jpg", 16, 8, [](int x) -> uint8_t { return x < 8 ? 40 : 210; });
    int grey_handle = cache_get("grey.jpg");
    int32_t held = blocks_held();

    // A room holds a current picture while the cache loads a background.
    ASSERT_EQ(gformat_read_jpg_file("art/room.jpg"), 1);
    Img *current_before = gformat_to_img();
    Img *g = (Img *)cache_lock(grey_handle);
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(std::tuple(g->width, g->height, g->format), std::tuple(16, 8, 3u)) << "a grey JPEG comes out in colour";
    ImgView v;
    img_view(&v, g, 0, 0);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 16; x++)
            for (int k = 0; k < 3; k++)
                ASSERT_LE(std::abs(v.colour[y * v.colour_stride + 3 * x + k] - (x < 8 ? 40 : 210)), 1)
                    << "grey.jpg at (" << x << ", " << y << ") byte " << k << ": got " << (int)v.colour[y * v.colour_stride + 3 * x + k];
    cache_unlock(grey_handle);

    int32_t w = 0, h = 0;
    gformat_size(&w, &h);
    EXPECT_EQ(std::tuple(w, h), std::tuple(8, 8)) << "the room's picture is still current";
    Img *current_after = gformat_to_img();
    ASSERT_NE(current_after, nullptr) << "the room's picture is gone";
    EXPECT_EQ(memcmp(current_after, current_before, 36 + 8 * 8 * 3), 0) << "the room's picture is unchanged";
    img_free(current_before);
    img_free(current_after);
    gformat_free();
    int dropped = cache_purge_one();
    EXPECT_EQ(std::tuple(dropped, cache_purge_one()), std::tuple(1, 0)) << "the picture dropped, and nothing else held";
    EXPECT_EQ(blocks_held(), held) << "every block given back";
}

TEST(PictureFiles, ResizeFailsWhenTheResamplerRefuses)
{
    TempDir dir;
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    int32_t held = blocks_held();
    EXPECT_EQ(gformat_resize(10, 10, 1), 0) << "no current picture, nothing to resize";

    // One column of 32768 rows: widening it to 32768 columns needs a middle picture of
    // 32768 x 32768 x 3 bytes, which the resampler refuses.
    Picture *tall = picture_create(1, 32768, IMG_BGR);
    for (int y = 0; y < 32768; y++)
        memcpy(tall->colour + 3 * y, std::vector<uint8_t>{(uint8_t)y, (uint8_t)(y >> 8), 7}.data(), 3);
    std::string path = dir.file("tall.bmp");
    ASSERT_EQ(bmp_save(path.c_str(), tall), 0);
    ASSERT_EQ(gformat_read(path.c_str()), 1);
    EXPECT_EQ(gformat_resize(32768, 1, 1), 0) << "a 3 GB middle picture";
    EXPECT_EQ(gformat_resize(0, 5, 0), 0) << "no width";
    EXPECT_EQ(gformat_resize(40000, 1, 0), 0) << "wider than any picture the front end takes";
    int32_t w = 0, h = 0;
    gformat_size(&w, &h);
    EXPECT_EQ(std::tuple(w, h), std::tuple(1, 32768)) << "the current picture stays";
    Picture *p = gformat_take();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(memcmp(p->colour, tall->colour, 3 * 32768), 0) << "with its pixels";
    picture_free(p);

    // The same picture narrowed by half is done and replaces it.
    ASSERT_EQ(gformat_read(path.c_str()), 1);
    EXPECT_EQ(gformat_resize(1, 16384, 0), 1);
    gformat_size(&w, &h);
    EXPECT_EQ(std::tuple(w, h), std::tuple(1, 16384));
    p = gformat_take();
    EXPECT_EQ(memcmp(p->colour, tall->colour, 3), 0) << "the first row is the first row";
    picture_free(p);
    picture_free(tall);
    EXPECT_EQ(blocks_held(), held) << "the refused picture is given back";
}

TEST(PictureFiles, ReaderIsChosenByExtension)
{
    TempDir dir;
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    // A 3 x 2 grey TIFF, named .tiff: the TIFF reader takes it and it ends up in colour.
    std::string path = dir.file("grey.tiff");
    TIFF *t = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(t, nullptr);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 3), TIFFSetField(t, TIFFTAG_IMAGELENGTH, 2), TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1), TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    uint8_t rows[2][3] = {{0, 100, 200}, {255, 50, 25}};
    for (int y = 0; y < 2; y++)
        TIFFWriteScanline(t, rows[y], (uint32_t)y, 0);
    TIFFClose(t);
    ASSERT_EQ(gformat_read(path.c_str()), 1) << codec_last_report();
    Picture *p = gformat_take();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->format, IMG_BGR);
    EXPECT_EQ(p->colour[1 * 3 + 2], 100);
    EXPECT_EQ(p->colour[p->colour_stride + 0], 255);
    picture_free(p);

    write_file(dir.file("anim.gif"), "GIF89a");
    EXPECT_EQ(gformat_read(dir.file("anim.gif").c_str()), 0);
    EXPECT_EQ(gformat_take(), nullptr) << "no current picture after a failure";
    rename(path.c_str(), dir.file("liar.jpg").c_str());
    EXPECT_EQ(gformat_read(dir.file("liar.jpg").c_str()), 0) << "a TIFF named .jpg is not a JPEG";
    EXPECT_EQ(gformat_read(dir.file("none.bmp").c_str()), 0);

    const char *f = gformat_filter();
    EXPECT_STREQ(f, "All Formats");
    f += strlen(f) + 1;
    EXPECT_STREQ(f, "*.JPG;*.JPE;*.JIF;*.JPEG;*.JFIF;*.TIF;*.TIFF;*.BMP;*.RLE;*.DIB;*.PNG");
}

TEST(PictureFiles, ToolConvertsAndRefusesCleanly)
{
    TempDir dir;
    ChildOptions opt;
    opt.cwd = dir.path;
    // A blue 16 x 16 picture: large and plain enough to come through JPEG unharmed.
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    Picture *blue = picture_create(16, 16, IMG_BGR);
    img_fill_view(blue, 0x0000FF);
    ASSERT_EQ(bmp_save(dir.file("in.bmp").c_str(), blue), 0);
    picture_free(blue);
    EXPECT_EQ(wait_child(spawn_child(PELMORA_TOOL_EXE, {"image", "convert", "in.bmp", "mid.jpg", "--quality", "95"}, opt), 20000), 0);
    EXPECT_EQ(wait_child(spawn_child(PELMORA_TOOL_EXE, {"image", "scale", "mid.jpg", "out.bmp", "6", "4"}, opt), 20000), 0)
        << read_file(dir.file("stderr.txt"));
    std::string out = read_file(dir.file("out.bmp"));
    ASSERT_EQ(out.size(), 54u + 4u * 20u) << "6 x 4 pixels, rows padded to 20 bytes";
    EXPECT_GT((uint8_t)out[54], 240) << "the picture stays blue through JPEG and scaling";
    EXPECT_LT((uint8_t)out[56], 16);

    write_file(dir.file("broken.jpg"), "\xFF\xD8\xFF\xE0 then nothing");
    write_file(dir.file("stderr.txt"), "");
    EXPECT_EQ(wait_child(spawn_child(PELMORA_TOOL_EXE, {"image", "convert", "broken.jpg", "x.bmp"}, opt), 20000), 1);
    std::string said = read_file(dir.file("stderr.txt"));
    EXPECT_EQ(said.rfind("pelmora-tool: broken.jpg: JPG: ", 0), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(access(dir.file("x.bmp").c_str(), F_OK), 0) << "no output file after a failure";

    // A smooth widening whose work picture would pass 2 GB is refused, not written out
    // unfilled.
    Picture *tall = picture_create(1, 30000, IMG_BGR);
    img_fill_view(tall, 0x336699);
    ASSERT_EQ(bmp_save(dir.file("tall.bmp").c_str(), tall), 0);
    picture_free(tall);
    write_file(dir.file("stderr.txt"), "");
    EXPECT_EQ(wait_child(spawn_child(PELMORA_TOOL_EXE, {"image", "scale", "tall.bmp", "wide.bmp", "30000", "1", "--smooth"}, opt), 20000), 1);
    said = read_file(dir.file("stderr.txt"));
    EXPECT_EQ(said.rfind("pelmora-tool: tall.bmp: too large to resize", 0), 0u) << said;
    EXPECT_NE(access(dir.file("wide.bmp").c_str(), F_OK), 0) << "no output file after a refused resize";
}
