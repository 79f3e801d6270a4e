// The artwork cache over a loose data folder, and the picture front end's choice of
// reader by extension.
#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>
#include <string>
#include <tiffio.h>
#include <unistd.h>

#include "image/bmp.h"
#include "image/cache.h"
#include "image/gformat.h"
#include "image/imgfile.h"
#include "kernel/memory.h"
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
    std::string old_cwd;
    void SetUp() override
    {
        char cwd[512];
        ASSERT_TRUE(getcwd(cwd, sizeof cwd));
        old_cwd = cwd;
        ASSERT_EQ(chdir(dir.path.c_str()), 0);
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
        EXPECT_EQ(chdir(old_cwd.c_str()), 0);
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

TEST(PictureFiles, ReaderIsChosenByExtension)
{
    TempDir dir;
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    // A 3 x 2 grey TIFF, named .tiff: the TIFF reader takes it and it ends up in colour.
    std::string path = dir.file("grey.tiff");
    TIFF *t = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(t, nullptr);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 3);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, 2);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
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
    EXPECT_STREQ(f, "*.JPG;*.JPE;*.JIF;*.JPEG;*.JFIF;*.TIF;*.TIFF;*.BMP;*.RLE;*.DIB");
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
}
