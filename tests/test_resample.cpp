// Resizing, blur and colourising, checked against their plain definitions.
#include <algorithm>
#include <array>
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
    EXPECT_EQ(std::tuple(img_resample(&dst.v, &colour.v, IMG_RESAMPLE_FILTERED), img_resample(&dst.v, &grey.v, 1),
                         img_resample(&adst.v, &alpha.v, IMG_RESAMPLE_NEAREST)),
              std::tuple(0, 0, 0)) << "refusals say so";
    EXPECT_EQ(dst.bytes(), std::vector<uint8_t>(9, 1)) << "mixed formats and unknown modes do nothing";
    EXPECT_EQ(adst.bytes(), std::vector<uint8_t>(27, 1)) << "format 19 is not resampled";

    // 32768 columns out of 65536 rows: the middle picture would be 2 GB.
    TestImage tall(1, 65536, IMG_8BIT, 3), flat_row(32768, 1, IMG_8BIT, 1);
    EXPECT_EQ(img_resample(&flat_row.v, &tall.v, IMG_RESAMPLE_FILTERED), 0) << "a 2 GB middle picture is refused";
    EXPECT_EQ(flat_row.bytes(), std::vector<uint8_t>(32768, 1)) << "and the destination is left alone";
    EXPECT_EQ(img_resample(&flat_row.v, &tall.v, IMG_RESAMPLE_NEAREST), 1) << "nearest needs no middle picture";
    EXPECT_EQ(flat_row.bytes(), std::vector<uint8_t>(32768, 3));
}

namespace {

// Contributor lists worked by hand from the rules: centre i / s, the cubic bell
// (2|t| - 3) t^2 + 1, widened to 1 / s when shrinking, the left edge mirrored as -j, the
// right edge as 2 * size - j - 1, weights truncated to 16.16 and the difference from
// 65536 added to the first largest. Entries of weight 0 are left out. {sample, weight}.
struct HandLists {
    int32_t src, dst;
    std::vector<std::vector<std::pair<int32_t, int32_t>>> lists;
};
const HandLists HAND_LISTS[] = {
    // 3 -> 5, centres 0, 0.6, 1.2, 1.8, 2.4, with f(0.4) = 0.648 and f(0.2) = 0.896; the
    // last output reaches sample 3, mirrored onto 2.
    {3, 5, {{{0, 65536}}, {{0, 23068}, {1, 42468}}, {{1, 58721}, {2, 6815}}, {{1, 6815}, {2, 58721}}, {{2, 42468}, {2, 23068}}}},
    // 2 -> 5, centres 0, 0.4, 0.8, 1.2, 1.6: sample 2 mirrors onto 1.
    {2, 5, {{{0, 65536}}, {{0, 42468}, {1, 23068}}, {{0, 6815}, {1, 58721}}, {{1, 58721}, {1, 6815}}, {{1, 23068}, {1, 42468}}}},
    // 5 -> 2, window 2.5, centres 0 and 2.5: samples -2 and -1 mirror onto 2 and 1; the
    // first list sums to 65638 (its centre gives back 102), the second to 65430 and the
    // 106 go to the first of its two equal largest.
    {5, 2, {{{2, 2726}, {1, 16986}, {0, 26112}, {1, 16986}, {2, 2726}}, {{1, 9227}, {2, 23594}, {3, 23488}, {4, 9227}}}},
    // 5 -> 3, window 5/3, centres 0, 5/3, 10/3: 0.6 * f(0.6) = 0.2112; the first centre
    // gives back 1467.
    {5, 3, {{{1, 13841}, {0, 37854}, {1, 13841}}, {{1, 25480}, {2, 35967}, {3, 4089}}, {{2, 4089}, {3, 35967}, {4, 25480}}}},
};

// The hand-worked lists for src -> dst.
const HandLists &hand_lists(int32_t src, int32_t dst)
{
    const HandLists *h = std::find_if(std::begin(HAND_LISTS), std::end(HAND_LISTS),
                                      [&](const HandLists &l) { return l.src == src && l.dst == dst; });
    EXPECT_NE(h, std::end(HAND_LISTS)) << "no hand-worked lists for " << src << " to " << dst;
    return h == std::end(HAND_LISTS) ? HAND_LISTS[0] : *h;
}

// The filtered resize by the rule over the hand-worked lists: along rows into a middle
// picture of bytes, then down its columns.
std::vector<uint8_t> hand_resize(const TestImage &src, int32_t dw, int32_t dh)
{
    int32_t sh = src.v.height, bpp = (int32_t)img_colour_bytes(src.v.format);
    const HandLists &across = hand_lists(src.v.width, dw), &down = hand_lists(sh, dh);
    std::vector<uint8_t> mid((size_t)dw * sh * bpp), out((size_t)dw * dh * bpp);
    auto weigh = [](const std::vector<std::pair<int32_t, int32_t>> &list, auto sample) {
        int64_t sum = 0;
        for (auto [j, w] : list)
            sum += (int64_t)sample(j) * w;
        return (uint8_t)(sum < 0 ? 0 : std::min<int64_t>((sum + 32768) >> 16, 255));
    };
    for (int32_t x = 0; x < dw; x++)
        for (int32_t ch = 0; ch < bpp; ch++) {
            for (int32_t y = 0; y < sh; y++)
                mid[((size_t)y * dw + x) * bpp + ch] = weigh(across.lists[x], [&](int32_t j) { return src.at(j, y)[ch]; });
            for (int32_t y = 0; y < dh; y++)
                out[((size_t)y * dw + x) * bpp + ch] =
                    weigh(down.lists[y], [&](int32_t j) { return mid[((size_t)j * dw + x) * bpp + ch]; });
        }
    return out;
}

}  // namespace

TEST_F(Resample, FilteredListsAndPixelsMatchTheHandWorkedWeights)
{
    for (const HandLists &h : HAND_LISTS)
        for (int32_t unit : {1, 3, 17}) {
            ImgContribs *c = img_contribs_build(h.src, h.dst, unit);
            ASSERT_NE(c, nullptr);
            for (int32_t i = 0; i < h.dst; i++) {
                std::vector<std::pair<int32_t, int32_t>> got, want;
                for (int32_t k = 0; k < c->count[i]; k++)
                    got.push_back({c->items[c->first[i] + k].offset, c->items[c->first[i] + k].weight});
                for (auto [sample, weight] : h.lists[i])
                    want.push_back({sample * unit, weight});
                EXPECT_EQ(got, want) << h.src << " to " << h.dst << ", output " << i << ", unit " << unit
                                     << " ({byte offset, weight} in order)";
            }
            img_contribs_free(c);
        }

    // A ramp along a row, by hand: 100 * 42468 / 65536 = 64.8, rounded 65, and so on.
    TestImage ramp(3, 1, IMG_8BIT), wide(5, 1, IMG_8BIT);
    memcpy(ramp.v.colour, "\x00\x64\xC8", 3);
    EXPECT_EQ(img_resample(&wide.v, &ramp.v, IMG_RESAMPLE_FILTERED), 1);
    EXPECT_EQ(wide.bytes(), (std::vector<uint8_t>{0, 65, 110, 190, 200})) << "0, 100, 200 widened to 5";

    // Both passes, enlarging one way and shrinking the other, every channel on its own.
    std::mt19937 rng(11);
    const int32_t cases[][4] = {{3, 5, 5, 3}, {5, 3, 3, 5}, {5, 2, 2, 5}, {2, 5, 5, 2}};
    for (uint32_t format : FORMATS)
        for (auto &k : cases) {
            TestImage src(k[0], k[1], format), dst(k[2], k[3], format);
            randomise(src, rng);
            EXPECT_EQ(img_resample(&dst.v, &src.v, IMG_RESAMPLE_FILTERED), 1);
            EXPECT_EQ(dst.bytes(), hand_resize(src, k[2], k[3]))
                << "format " << format << ", " << k[0] << "x" << k[1] << " to " << k[2] << "x" << k[3];
        }
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

// One pixel colourised as the rules read: luma, lightness by the sign of the brightness,
// then HLS to RGB. Blue, green, red.
static std::array<uint8_t, 3> plain_colorize(const uint8_t *bgr, int32_t hue, int32_t brightness, int32_t saturation)
{
    int32_t b = (brightness * 128 - std::max(brightness, 0)) / 100, s = saturation * 255 / 100;
    int32_t y = (int32_t)std::floor(0.299 * bgr[2] + 0.587 * bgr[1] + 0.114 * bgr[0] + 0.5);
    int32_t light = b >= 1 ? (b * 255 + (127 - b) * y) / 127 : ((b + 128) * y) >> 7;
    if (s == 0)
        return {(uint8_t)light, (uint8_t)light, (uint8_t)light};
    double l = light / 255.0, sat = s / 255.0;
    double m2 = l <= 0.5 ? l * (1 + sat) : l + sat - l * sat, m1 = 2 * l - m2;
    auto v = [&](double h) {
        h = h < 0 ? h + 360 : h > 360 ? h - 360 : h;
        double c = h < 60 ? m1 + (m2 - m1) * h / 60 : h < 180 ? m2 : h < 240 ? m1 + (m2 - m1) * (240 - h) / 60 : m1;
        return (uint8_t)(c * 255);
    };
    return {v(hue - 120), v(hue), v(hue + 120)};
}

TEST_F(Colorize, HueRampsAndBothLightnessBranchesFollowTheRules)
{
    // Every hue across the ramps, brightness on both sides of zero, over all lumas.
    std::mt19937 rng(21);
    TestImage src(40, 8, IMG_BGR), dst(40, 8, IMG_BGR), turned(40, 8, IMG_BGR);
    randomise(src, rng);
    for (int32_t i = 0; i < 256; i++)
        memset(src.v.colour + 3 * i, i, 3);  // half of it grey, every level
    for (int32_t brightness : {-100, -64, -30, -1, 0, 1, 30, 99, 100})
        for (int32_t saturation : {0, 17, 50, 100})
            for (int32_t hue = 0; hue < 360; hue += (saturation == 100 ? 1 : 23)) {
                img_colorize(&dst.v, &src.v, hue, brightness, saturation);
                for (int32_t i = 0; i < 40 * 8; i++)
                    ASSERT_EQ((std::array<uint8_t, 3>{dst.v.colour[3 * i], dst.v.colour[3 * i + 1], dst.v.colour[3 * i + 2]}),
                              plain_colorize(src.v.colour + 3 * i, hue, brightness, saturation))
                        << "pixel " << i << ", hue " << hue << ", brightness " << brightness << ", saturation " << saturation;
            }
    img_colorize(&dst.v, &src.v, 75, -20, 70);
    for (int32_t hue : {75 + 360, 75 - 360, 75 + 3600}) {
        img_colorize(&turned.v, &src.v, hue, -20, 70);
        EXPECT_EQ(turned.bytes(), dst.bytes()) << "hue " << hue << " is hue 75 turned round";
    }
}
