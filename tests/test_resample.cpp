// Resizing, blur and colourising, checked against their plain definitions.
#include <cmath>
#include <random>

#include "image/resample.h"
#include "tests/support.h"

namespace {

// Random bytes from `values` levels spread over 0 .. 255; few levels give long runs.
void randomise(TestImage &img, std::mt19937 &rng, int values = 256)
{
    for (uint8_t *p = img.v.colour; p < img.v.colour + img.v.colour_stride * img.v.height; p++)
        *p = (uint8_t)(rng() % values * (255 / (values - 1)));
}

class Resample : public ::testing::Test {
protected:
    void SetUp() override { img_init(io_mem_alloc, io_mem_free, io_mem_realloc); }
};
using Blur = Resample;
using Colorize = Resample;

const uint32_t FORMATS[] = {IMG_8BIT, IMG_BGR};

}  // namespace

TEST_F(Resample, NearestTakesTheRoundedSteps)
{
    for (uint32_t format : FORMATS) {
        int32_t bpp = (int32_t)img_colour_bytes(format);
        TestImage src(4, 4, format), up(7, 7, format), down(2, 2, format);
        for (int32_t i = 0; i < 16 * bpp; i++)
            src.v.colour[i] = (uint8_t)(i + 1);
        img_resample(&up.v, &src.v, IMG_RESAMPLE_NEAREST);
        img_resample(&down.v, &src.v, IMG_RESAMPLE_NEAREST);
        const int32_t taken[7] = {0, 1, 1, 2, 2, 3, 3};  // step 32768
        for (int32_t y = 0; y < 7; y++)
            for (int32_t x = 0; x < 7; x++)
                ASSERT_EQ(memcmp(up.at(x, y), src.at(taken[x], taken[y]), bpp), 0) << "format " << format << " at " << x << "," << y;
        for (int32_t y = 0; y < 2; y++)
            for (int32_t x = 0; x < 2; x++)
                ASSERT_EQ(memcmp(down.at(x, y), src.at(3 * x, 3 * y), bpp), 0) << "4 to 2 takes both ends";
    }
}

TEST_F(Resample, EveryContributorListSumsToOne)
{
    std::vector<std::pair<int32_t, int32_t>> sizes = {{4000, 1920}, {3000, 1440}, {1, 1000}, {1000, 1}, {640, 641}};
    for (int32_t s = 1; s <= 40; s++)
        for (int32_t d = 1; d <= 40; d++)
            sizes.push_back({s, d});
    for (auto [s, d] : sizes)
        for (int32_t unit : {1, 3, 5760}) {
            ImgContribs *c = img_contribs_build(s, d, unit);
            ASSERT_TRUE(c && c->positions == d);
            for (int32_t i = 0; i < d; i++) {
                int32_t sum = 0;
                for (const ImgContrib *e = c->items + c->first[i]; e < c->items + c->first[i] + c->count[i]; e++) {
                    ASSERT_GT(e->weight, 0) << s << " to " << d << " at " << i;
                    ASSERT_TRUE(e->offset >= 0 && e->offset <= (s - 1) * unit && e->offset % unit == 0)
                        << s << " to " << d << " at " << i << ": offset " << e->offset << " outside the source";
                    sum += e->weight;
                }
                ASSERT_EQ(sum, 65536) << s << " to " << d << " at " << i;
                ASSERT_TRUE(s != d || (c->count[i] == 1 && c->items[c->first[i]].offset == i * unit)) << "same size: itself alone";
            }
            img_contribs_free(c);
        }
    EXPECT_EQ(img_contribs_build(0, 5, 1), nullptr);
    EXPECT_EQ(img_contribs_build(70000, 5, 40000), nullptr) << "offsets past 32 bits";
}

TEST_F(Resample, FilteredKeepsSameSizeConstantAndOnePixelImages)
{
    std::mt19937 rng(7);
    int32_t held = blocks_held();
    for (uint32_t format : FORMATS) {
        int32_t bpp = (int32_t)img_colour_bytes(format);
        TestImage src(13, 9, format), same(13, 9, format), dot(1, 1, format), column(1, 9, format);
        randomise(src, rng);
        randomise(dot, rng);
        img_resample(&same.v, &src.v, IMG_RESAMPLE_FILTERED);
        EXPECT_EQ(same.bytes(), src.bytes()) << "format " << format;
        img_resample(&column.v, &src.v, IMG_RESAMPLE_NEAREST);
        for (int32_t y = 0; y < 9; y++)
            EXPECT_EQ(memcmp(column.at(0, y), src.at(0, y), bpp), 0) << "one pixel wide: the first column";
        const int32_t sizes[][2] = {{40, 3}, {5, 61}, {100, 100}, {2, 2}, {1, 1}, {1, 5}, {5, 1}};
        for (auto &sz : sizes) {
            TestImage dst(sz[0], sz[1], format);
            img_resample(&dst.v, &src.v, IMG_RESAMPLE_FILTERED);  // reads stay inside: the sanitizer build watches
            for (int v : {0, 1, 128, 254, 255}) {
                TestImage flat(13, 9, format, v);
                img_resample(&dst.v, &flat.v, IMG_RESAMPLE_FILTERED);
                ASSERT_EQ(dst.bytes(), std::vector<uint8_t>(dst.bytes().size(), v)) << v << " to " << sz[0] << "x" << sz[1];
            }
            for (int mode : {IMG_RESAMPLE_NEAREST, IMG_RESAMPLE_FILTERED}) {
                img_resample(&dst.v, &dot.v, mode);
                for (int32_t i = 0; i < sz[0] * sz[1]; i++)
                    ASSERT_EQ(memcmp(dst.v.colour + i * bpp, dot.v.colour, bpp), 0) << "mode " << mode << " from one pixel";
            }
        }
    }
    EXPECT_EQ(blocks_held(), held) << "work memory is given back";
    TestImage grey(4, 4, IMG_8BIT, 9), colour(4, 4, IMG_BGR, 9), alpha(4, 4, IMG_BGRA, 9), dst(3, 3, IMG_8BIT, 1), adst(3, 3, IMG_BGRA, 1);
    img_resample(&dst.v, &colour.v, IMG_RESAMPLE_FILTERED);
    img_resample(&dst.v, &grey.v, 1);
    img_resample(&adst.v, &alpha.v, IMG_RESAMPLE_NEAREST);
    EXPECT_EQ(dst.bytes(), std::vector<uint8_t>(9, 1)) << "mixed formats and unknown modes do nothing";
    EXPECT_EQ(adst.bytes(), std::vector<uint8_t>(27, 1)) << "format 19 is not resampled";
}

// The blur by its definition: the window -n .. n - 1, edge values repeating.
static std::vector<uint8_t> plain_blur(std::vector<uint8_t> p, int32_t w, int32_t h, int32_t bpp, double sigma)
{
    int32_t n = (int32_t)std::ceil(sigma * std::sqrt(2 * std::log(255.0))), total = 0;
    std::vector<int32_t> k(n + 1);
    for (int32_t o = -n; o < n; o++)
        total += k[std::abs(o)] = (int32_t)(255 * std::exp(-(double)o * o / (2 * sigma * sigma)));
    auto pass = [&](int32_t lines, int32_t len, auto index) {
        std::vector<uint8_t> out = p;
        for (int32_t l = 0; l < lines; l++)
            for (int32_t i = 0; i < len; i++) {
                int64_t s = 0;
                for (int32_t o = -n; o < n; o++)
                    s += k[std::abs(o)] * p[index(l, std::clamp(i + o, 0, len - 1))];
                out[index(l, i)] = (uint8_t)(s / total);
            }
        p = out;
    };
    pass(w * bpp, h, [&](int32_t col, int32_t y) { return y * w * bpp + col; });
    pass(h * bpp, w, [&](int32_t line, int32_t x) { return line / bpp * w * bpp + x * bpp + line % bpp; });
    return p;
}

TEST_F(Blur, RadiusFromSigmaAndTheRunWalkEqualsThePlainWeightedSum)
{
    // Radius 1 (sigma 0.3) is fewer than 3 taps: no blur; nonsense gives none; huge is capped.
    EXPECT_EQ(std::tuple(img_blur_radius(2.0), img_blur_radius(5.0), img_blur_radius(0.3), img_blur_radius(-1.0),
                         img_blur_radius(NAN), img_blur_radius(1e9)), std::tuple(7, 17, 0, 0, 0, IMG_BLUR_MAX_RADIUS));
    std::mt19937 rng(5);
    const int32_t sizes[][2] = {{1, 1}, {1, 23}, {23, 1}, {5, 40}, {90, 70}, {130, 3}};
    int32_t held = blocks_held();
    for (uint32_t format : FORMATS)
        for (double sigma : {0.2, 0.9, 2.0, 5.0})
            for (auto &sz : sizes)
                for (int values : {256, 3, 2}) {  // noise, and runs of many lengths
                    TestImage src(sz[0], sz[1], format), dst(sz[0], sz[1], format), flat(sz[0], sz[1], format, 173);
                    randomise(src, rng, values);
                    std::vector<uint8_t> expect = src.bytes();
                    if (img_blur_radius(sigma) > 0)
                        expect = plain_blur(expect, sz[0], sz[1], (int32_t)img_colour_bytes(format), sigma);
                    img_blur(dst.img, src.img);
                    ASSERT_EQ(dst.bytes(), expect)
                        << "format " << format << ", sigma " << sigma << ", " << sz[0] << "x" << sz[1] << ", " << values << " values";
                    img_blur(src.img, src.img);
                    ASSERT_EQ(src.bytes(), expect) << "in place";
                    img_blur(flat.img, flat.img);
                    ASSERT_EQ(flat.bytes(), std::vector<uint8_t>(flat.bytes().size(), 173)) << "a constant image stays";
                }
    EXPECT_EQ(blocks_held(), held) << "work memory is given back";
}

TEST_F(Colorize, GreyLightAndHue)
{
    std::mt19937 rng(9);
    TestImage src(16, 16, IMG_BGR), dst(16, 16, IMG_BGR);
    randomise(src, rng);
    img_colorize(&dst.v, &src.v, 77, 0, 0);
    for (int32_t i = 0; i < 256; i++) {
        const uint8_t *p = src.v.colour + 3 * i, *q = dst.v.colour + 3 * i;
        uint8_t y = (uint8_t)std::floor(0.299 * p[2] + 0.587 * p[1] + 0.114 * p[0] + 0.5);
        ASSERT_TRUE(q[0] == y && q[1] == y && q[2] == y) << "pixel " << i << ": grey of the rounded luma " << (int)y;
    }
    img_colorize(&dst.v, &src.v, 200, 100, 60);
    EXPECT_EQ(dst.bytes(), std::vector<uint8_t>(768, 255)) << "full brightness is white";
    img_colorize(&dst.v, &src.v, 200, -100, 60);
    EXPECT_EQ(dst.bytes(), std::vector<uint8_t>(768, 0)) << "no brightness is black";

    TestImage grey(1, 1, IMG_BGR, 100);
    for (int32_t hue : {0, 120, 240, 360 + 120, -120}) {
        img_colorize(&dst.v, &grey.v, hue, 0, 100);
        int32_t main = (2 - (hue % 360 + 360) % 360 / 120) % 3;  // red, green or blue, in BGR order
        const uint8_t *q = dst.v.colour;
        EXPECT_TRUE(q[main] > q[(main + 1) % 3] && q[(main + 1) % 3] == q[(main + 2) % 3]) << "hue " << hue;
    }
}
