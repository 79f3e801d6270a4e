// The pictures in the built data pack: each decodes to its size, the tiles run on across
// their edges without a seam, the splash keeps a quiet strip for its status line, and
// every sample the list names is there.
#include <gtest/gtest.h>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>

#include "image/gformat.h"
#include "platform/memory.h"
#include "res/datapack.h"
#include "tests/support.h"

class PicturesData : public ::testing::Test {
protected:
    void SetUp() override
    {
        img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
        dp_open(PELMORA_DATA_PCK);
    }
    void TearDown() override { dp_close(); }

    // The named JPEG decoded, or null (with a test failure) when it is missing or bad.
    static Picture *load(const char *name)
    {
        int index = dp_get_index(name, 0);
        EXPECT_GE(index, 0) << name << " is not in the pack";
        if (index < 0)
            return nullptr;
        int ok = gformat_jpg_read(dp_fopen(index));
        dp_fclose();
        EXPECT_EQ(ok, 1) << name << " does not decode";
        return ok ? gformat_take() : nullptr;
    }
};

// Mean absolute difference of all colour bytes between column a and column b (or rows
// when `rows` is set).
static double line_diff(const Picture *p, int a, int b, bool rows)
{
    int n = rows ? p->width : p->height;
    double sum = 0;
    for (int i = 0; i < n; i++)
        for (int k = 0; k < 3; k++) {
            int ya = rows ? a : i, yb = rows ? b : i, xa = rows ? i : a, xb = rows ? i : b;
            sum += std::abs(p->colour[(ptrdiff_t)ya * p->colour_stride + xa * 3 + k] -
                            p->colour[(ptrdiff_t)yb * p->colour_stride + xb * 3 + k]);
        }
    return sum / (n * 3);
}

TEST_F(PicturesData, TilesDecodeToTheirSizeAndRepeatWithoutSeams)
{
    const struct { const char *name; bool rows_wrap; } tiles[] = {
        {"img/background.jpg", true},
        {"img/gallery/floor.jpg", true},
        {"img/gallery/ceiling.jpg", true},
        {"img/gallery/wall.jpg", false},  // the wall repeats only along the room
    };
    for (const auto &t : tiles) {
        Picture *p = load(t.name);
        if (!p)
            continue;
        EXPECT_EQ(std::tuple(p->width, p->height), std::tuple(256, 256)) << t.name;
        // The step from the last line back to the first is no bigger than an ordinary
        // step between neighbours, within a margin for JPEG blocks.
        for (bool rows : {false, true}) {
            if (rows && !t.rows_wrap)
                continue;
            int n = rows ? p->height : p->width;
            double mean = 0;
            for (int i = 0; i + 1 < n; i++)
                mean += line_diff(p, i, i + 1, rows);
            mean /= n - 1;
            double wrap = line_diff(p, n - 1, 0, rows);
            EXPECT_LE(wrap, mean * 1.5 + 3.0) << t.name << (rows ? " rows" : " columns") << ": seam " << wrap
                                              << " vs mean step " << mean;
        }
        // The background is recoloured and shaded darker or lighter at run time: it
        // needs room both ways.
        if (t.name == tiles[0].name) {
            double sum = 0;
            for (int y = 0; y < p->height; y++)
                for (int x = 0; x < p->width * 3; x++)
                    sum += p->colour[(ptrdiff_t)y * p->colour_stride + x];
            double mean = sum / (p->width * p->height * 3);
            EXPECT_TRUE(mean > 90.0 && mean < 170.0) << "background mean " << mean;
        }
        picture_free(p);
    }
}

TEST_F(PicturesData, IntroLeavesACalmStripForTheStatusLine)
{
    Picture *p = load("img/intro.jpg");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::tuple(p->width, p->height), std::tuple(500, 330));
    // Black status text must read on it: light and nearly even from y 303 to 322.
    int lo = 255, hi = 0;
    for (int y = 303; y < 323; y++)
        for (int x = 11; x < 490; x++) {
            const uint8_t *px = p->colour + (ptrdiff_t)y * p->colour_stride + x * 3;
            int grey = (px[0] + px[1] + px[2]) / 3;
            lo = grey < lo ? grey : lo, hi = grey > hi ? grey : hi;
        }
    EXPECT_TRUE(lo >= 180 && hi - lo <= 40) << "grey from " << lo << " to " << hi;
    picture_free(p);
}

TEST_F(PicturesData, EverySampleListedIsAPictureOfTheBoxSize)
{
    int index = dp_get_index("samples/samples.txt", 0);
    ASSERT_GE(index, 0);
    char *text = (char *)dp_load(index);
    std::string list(text, dp_size(index));
    io_mem_free(text);
    std::istringstream lines(list);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        size_t tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << "no title in \"" << line << "\"";
        EXPECT_GT(line.size(), tab + 1) << "empty title for " << line.substr(0, tab);
        Picture *p = load(("samples/" + line.substr(0, tab)).c_str());
        if (!p)
            continue;
        EXPECT_EQ(std::tuple(p->width, p->height), std::tuple(1024, 768)) << line;
        picture_free(p);
        count++;
    }
    EXPECT_GE(count, 5);
}
