// The skin: colours, frames and title bars as the blits they make, silhouettes, bevels,
// drop shadows (own pictures, preset slices, bounds, save and load), and the drawing
// primitives under them.
#include <array>
#include <cstdio>

#include "image/cache.h"
#include "image/clip.h"
#include "platform/gdi.h"
#include "res/datapack.h"
#include "tests/support.h"
#include "ui/skin.h"
#include "ui/text.h"

namespace {

// One blit through the hook: x, y, sx, sy, w, h.
using Blit = std::array<int32_t, 6>;
std::vector<Blit> blits;
void record_blit(Img *, int32_t x, int32_t y, int32_t sx, int32_t sy, int32_t w, int32_t h)
{
    blits.push_back({x, y, sx, sy, w, h});
}

// Frame piece n where the skin pictures keep it, drawn at (x, y); which piece a blit is.
Blit piece(int n, int32_t x, int32_t y)
{
    static const int32_t row_y[5] = {18, 30, 36, 40, 46}, row_h[5] = {12, 6, 4, 6, 12};
    return {x, y, 12 * (n % 5), row_y[n / 5], 12, row_h[n / 5]};
}
int piece_of(const Blit &b)
{
    for (int n = 0; n < 25; n++)
        if (piece(n, 0, 0)[2] == b[2] && piece(n, 0, 0)[3] == b[3])
            return n;
    return -1;
}

// A skin picture whose alpha says where each byte came from.
std::string skin_picture(int salt)
{
    Img *img = img_create(SKIN_IMAGE_WIDTH, SKIN_IMAGE_HEIGHT, IMG_BGRA);
    ImgView v;
    img_view(&v, img, 0, 0);
    memset(v.colour, 0, (size_t)v.colour_stride * v.height);
    for (int y = 0; y < v.height; y++)
        for (int x = 0; x < v.width; x++)
            v.second[y * v.second_stride + x] = (uint8_t)(x * 3 + y * 5 + salt) | 1;
    std::string bytes((const char *)img, IMG_HEADER_SIZE + (size_t)4 * v.width * v.height);
    img_free(img);
    return bytes;
}

// Colour i is "i 2 3" but for Bevel_T and Bevel_L.
std::string colour_lines(const char *bevel_t, const char *bevel_l)
{
    std::string s = "[COLORS]\n";
    for (int i = 0; i < SKIN_COLOR_COUNT; i++)
        s += std::string(skin_color_keys[i]) + "=" + (i == 1 ? bevel_t : i == 3 ? bevel_l : std::to_string(i) + " 2 3") + "\n";
    return s;
}

constexpr int SCREEN_W = 400, SCREEN_H = 300;

}  // namespace

// The skin from a folder of our own, a white 400 x 300 frame buffer with every tile dirty.
class Skin : public ::testing::Test {
protected:
    TempDir dir;
    int32_t held = 0;
    void SetUp() override
    {
        img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
        std::filesystem::create_directories(dir.file("pack/img"));
        write_file(dir.file("pack/img/active.img"), skin_picture(0));
        write_file(dir.file("pack/img/inactive.img"), skin_picture(100));
        write_file(dir.file("skin.ini"), colour_lines("255 0 0", "TRANSPARENT"));
        held = blocks_held();
        dp_open(dir.file("pack@").c_str());
        ge_init(dir.file("skin.ini").c_str());
        shadow_init();
        io_video_set_driver(&test_video_driver);
        io_video_create(SCREEN_W, SCREEN_H, 24);
        clip_init();
        io_video_begin_paint();
        white();
        skin_set_origin(0, 0);
    }
    void TearDown() override
    {
        io_video_end_paint();
        clip_done();
        io_video_close();
        shadow_done();
        ge_done();
        cache_done();
        dp_close();
        EXPECT_EQ(blocks_held(), held) << "every block given back";
    }
    static uint8_t *px(int x, int y) { return screen.buf + (ptrdiff_t)y * screen.pitch + x * 3; }
    static uint32_t rgb(int x, int y) { return px(x, y)[2] << 16 | px(x, y)[1] << 8 | px(x, y)[0]; }
    static void white() { memset(io_video_pixels(), 255, (size_t)io_video_row_size(SCREEN_W, 24) * SCREEN_H); }
    // Runs fn with the blits recorded instead of drawn.
    template <typename Fn>
    static std::vector<Blit> recorded(Fn fn)
    {
        blits.clear();
        ImgBlitter old = img_set_blitter(record_blit);
        fn();
        img_set_blitter(old);
        return blits;
    }
};

TEST_F(Skin, ColoursParseAndABadOneIsFatalNamingItsKey)
{
    EXPECT_EQ(std::tuple(skin_color(1), skin_color(3), skin_color(35)), std::tuple(0x00FF0000u, 0xFFFFFFFFu, 0x00230203u))
        << "255 0 0, TRANSPARENT, 35 2 3";
    write_file(dir.file("two.ini"), colour_lines("255 0", "0 0 0"));
    EXPECT_EXIT(ge_init(dir.file("two.ini").c_str()), ::testing::ExitedWithCode(1), "ge_init: color Bevel_T not found");
    write_file(dir.file("gone.ini"), "[COLORS]\nBevel_LT=1 2 3\n");
    EXPECT_EXIT(ge_init(dir.file("gone.ini").c_str()), ::testing::ExitedWithCode(1), "ge_init: color Bevel_T not found");
    EXPECT_EXIT(skin_color(36), ::testing::ExitedWithCode(1), "skin_color: invalid index 36");
}

TEST_F(Skin, FramePiecesFollowTheOpenSidesAndTheTitleBarItsBoxes)
{
    skin_set_origin(100, 50);
    EXPECT_EQ(recorded([] { skin_frame(0, 0, 0, 24, 24); }),
              (std::vector<Blit>{piece(0, 100, 50), piece(4, 112, 50), piece(20, 100, 62), piece(24, 112, 62)}))
        << "24 x 24: the four corners only";
    std::vector<int> used;
    for (const Blit &b : recorded([] { skin_frame(SKIN_OPEN_RIGHT, 0, 0, 60, 40); }))
        used.push_back(piece_of(b));
    auto uses = [&](int n) { return std::count(used.begin(), used.end(), n); };
    EXPECT_TRUE(uses(2) == 1 && uses(22) == 1 && uses(12) > 0) << "right-open corners and edge";
    EXPECT_TRUE(uses(4) + uses(24) + uses(14) == 0 && uses(11) > 0 && uses(1) > 0 && uses(10) > 0);
    int64_t area = 0;
    for (const Blit &b : recorded([] { skin_frame(SKIN_FILL_ONLY, 5, 5, 50, 30); }))
        area += piece_of(b) == 11 ? b[4] * b[5] : -100000;
    EXPECT_EQ(area, 50 * 30) << "fill only: the centre piece once over the rectangle";
    for (const Blit &b : recorded([] { skin_frame(SKIN_NO_CENTRE, 0, 0, 60, 40); }))
        EXPECT_NE(piece_of(b), 11) << "no centre";

    // Title-bar pieces join without gaps up to where the boxes begin.
    auto span = [](bool collapse, bool close) {
        int32_t end = 110;
        for (const Blit &b : recorded([&] { skin_title_bar(10, 0, 200, true, collapse, close); }))
            end = b[0] == end ? b[0] + b[4] : -1000;
        return end - 110;
    };
    EXPECT_EQ(std::tuple(span(false, false), span(false, true), span(true, true)), std::tuple(200, 182, 164));
}

TEST_F(Skin, SilhouetteCopiesTheAlphaAndPutsHookAndOriginBack)
{
    TestImage sil(40, 40, IMG_8BIT, 0);
    skin_set_origin(7, 9);
    skin_frame_to_img(sil.img, 0, 5, 5, 24, 24);
    EXPECT_EQ(*sil.at(5, 5), (uint8_t)((0 * 3 + 18 * 5) | 1)) << "piece 0's alpha at its top-left";
    EXPECT_EQ(*sil.at(28, 28), (uint8_t)((59 * 3 + 57 * 5) | 1)) << "piece 24's last alpha";
    EXPECT_EQ(*sil.at(4, 4) + *sil.at(29, 29), 0);
    EXPECT_EQ(img_set_blitter(img_draw), img_draw) << "hook restored";
    EXPECT_EQ(recorded([] { skin_frame(0, 0, 0, 24, 24); })[0][0], 7) << "origin restored";
    skin_frame_to_img(sil.img, 0, 30, 30, 24, 24);  // reaching past the image is cut off
    EXPECT_EXIT(skin_frame_to_img((Img *)cache_lock(cache_get("img/active.img")), 0, 0, 0, 24, 24),
                ::testing::ExitedWithCode(1), "skin_frame_to_img: the image is not IMG_8BIT");
}

TEST_F(Skin, BevelPenAndPixelsDrawTheirColoursAndSkipTransparent)
{
    skin_set_origin(10, 10);
    skin_bevel(0, 0, 20, 10);
    EXPECT_EQ(std::tuple(rgb(10, 10), rgb(15, 10), rgb(29, 15), rgb(29, 19), rgb(15, 19)),
              std::tuple(0x000203u, 0xFF0000u, 0x040203u, 0x070203u, 0x060203u)) << "LT, T, R, RB, B";
    EXPECT_EQ(rgb(10, 15) & rgb(15, 15), 0xFFFFFFu) << "Bevel_L is transparent; inside untouched";

    draw_set_pen(IO_PEN_SOLID, 0x00FF00);
    io_gdi_set_pen(IO_PEN_SOLID, 0x0000FF);  // behind the module's back
    draw_set_pen(IO_PEN_SOLID, 0x00FF00);
    draw_line(0, 0, 5, 0);
    EXPECT_EQ(rgb(0, 0), 0x0000FFu) << "the same pen is not set again";
    draw_set_pen(IO_PEN_DASH, 0x00FF00);
    draw_line(0, 1, 5, 1);
    EXPECT_EQ(rgb(0, 1), 0x00FF00u) << "another style is";
    draw_set_pen(IO_PEN_SOLID, TEXT_NONE);
    draw_rect(0, 2, 5, 5);
    draw_pixel(0, 3, TEXT_NONE);
    draw_pixel(SCREEN_W, 3, 0);
    EXPECT_EQ(rgb(0, 2) & rgb(0, 3) & rgb(SCREEN_W - 1, 3), 0xFFFFFFu) << "transparent pen and pixel; off screen";
    EXPECT_EXIT(draw_set_pen(5, 0x123456), ::testing::ExitedWithCode(1), "io_gdi_set_pen: invalid pen style");
}

TEST_F(Skin, FillReachesOnlyDirtyTilesAndTransparentFillsNothing)
{
    draw_set_fill(TEXT_NONE);
    draw_fill_rect(0, 0, SCREEN_W, SCREEN_H);
    EXPECT_EQ(rgb(0, 0), 0xFFFFFFu) << "transparent";
    const ClipGrid *g = clip_grid();
    int32_t tw = g->tile_w, th = g->tile_h;
    clip_set_all(0);
    clip_invalidate(tw, th, 1, 1);
    draw_set_fill(0x123456);
    draw_fill_rect(-50, -50, 100000, 100000);
    EXPECT_EQ(std::tuple(rgb(tw, th), rgb(2 * tw - 1, 2 * th - 1)), std::tuple(0x123456u, 0x123456u));
    EXPECT_EQ(rgb(tw - 1, th) & rgb(2 * tw, th), 0xFFFFFFu) << "clean tiles";
}

TEST_F(Skin, SmallObjectsGetAPictureLargeOnesSlicesThatMatchIt)
{
    const uint32_t rect = SHADOW_ON | SHADOW_RECT | SHADOW_SMALL;
    Shadow *tiny = shadow_create(rect, 20, 20, 0), *own = shadow_create(rect, 45, 45, 0);
    Shadow *corner = shadow_create(rect, 46, 46, 0), *big = shadow_create(rect, 300, 200, 0);
    EXPECT_TRUE(tiny->small.img && own->small.img && !tiny->large.img) << "only the kinds it has, below 46";
    EXPECT_TRUE(!corner->small.img && !big->small.img);

    // The darkening right of the object at mid height, from its edge to past the blur.
    auto profile = [&](Shadow *s, int32_t x, int32_t y) {
        white();
        shadow_draw(s, false, x, y);
        std::vector<int> v;
        for (int k = 0; k <= 12; k++)
            v.push_back(px(x + s->width + k, y + s->height / 2)[0]);
        return v;
    };
    std::vector<int> want = profile(own, 10, 10);
    EXPECT_TRUE(want[0] < 255 && want[4] < 255 && want.back() == 255) << "dark at the edge, gone past r + o";
    EXPECT_EQ(profile(corner, 30, 20), want) << "from corner slices";
    EXPECT_EQ(profile(big, 40, 40), want) << "from edge slices";
    EXPECT_EQ(rgb(190, 140), 0xFFFFFFu) << "nothing under a sliced shadow's object";
    for (int x = 50; x < 335; x++)  // the flat part, corners' ends included
        ASSERT_EQ(px(x, 243)[0], px(190, 243)[0]) << "the bottom band has no seam at x " << x;

    Shadow *framed = shadow_create(SHADOW_ON | SHADOW_SMALL | SHADOW_LARGE, 300, 200, 0);
    white();
    shadow_draw(framed, true, 40, 40);
    EXPECT_LT(px(345, 140)[0], 255) << "framed preset, large slices";

    int32_t b[4];
    shadow_bounds(framed, false, &b[0], &b[1], &b[2], &b[3]);
    EXPECT_EQ(std::vector<int32_t>(b, b + 4), (std::vector<int32_t>{-5, -5, 300 + 9 + 5, 200 + 9 + 5})) << "r 7, offset 2";
    shadow_bounds(framed, true, &b[0], &b[1], &b[2], &b[3]);
    EXPECT_EQ(std::vector<int32_t>(b, b + 4), (std::vector<int32_t>{-11, -11, 300 + 23 + 11, 200 + 23 + 11})) << "r 17, offset 6";
    for (Shadow *s : {tiny, own, corner, big, framed})
        shadow_free(s);
}

// Around an opaque object the shadow leaves out what the object covers: once the object
// is drawn the picture is the same as with the whole shadow.
TEST_F(Skin, AShadowAroundAnObjectLooksLikeTheWholeOne)
{
    Shadow *s = shadow_create(SHADOW_ON | SHADOW_RECT | SHADOW_SMALL | SHADOW_LARGE, 45, 30, 0);
    ASSERT_TRUE(s->small.img && s->large.img);
    auto picture = [&](bool large, bool around) {
        white();
        (around ? shadow_draw_around : shadow_draw)(s, large, 20, 25);
        bool bare = rgb(20, 25) == 0xFFFFFFu && rgb(64, 54) == 0xFFFFFFu;
        draw_set_fill(0x336699);
        draw_fill_rect(20, 25, 45, 30);
        std::vector<uint32_t> v(1, bare);
        for (int32_t y = 0; y < 100; y++)
            for (int32_t x = 0; x < 100; x++)
                v.push_back(rgb(x, y));
        return v;
    };
    for (bool large : {false, true}) {
        std::vector<uint32_t> whole = picture(large, false), around = picture(large, true);
        EXPECT_EQ(whole[0], 0u) << "the whole shadow darkens under the object";
        EXPECT_EQ(around[0], 1u) << "the shadow around it leaves that alone";
        EXPECT_TRUE(std::equal(whole.begin() + 1, whole.end(), around.begin() + 1)) << "large " << large;
    }
    shadow_free(s);
}

TEST_F(Skin, SaveLoadRoundTripAndDamagedRecordsRefused)
{
    Shadow *s = shadow_create(SHADOW_ON | SHADOW_SMALL | SHADOW_LARGE, 20, 24, SKIN_OPEN_TOP);
    std::string path = dir.file("shadow.bin");
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_EQ(shadow_save(f, s), 1);
    fclose(f);
    std::string good = read_file(path);
    ASSERT_EQ(good.size(), 40 + 2 * 36 + (size_t)(20 + 68) * (24 + 68) + (size_t)(20 + 28) * (24 + 28));
    auto load = [&](const std::string &bytes) {
        write_file(path, bytes);
        FILE *in = fopen(path.c_str(), "rb");
        Shadow *t = shadow_load(in);
        fclose(in);
        return t;
    };
    Shadow *t = load(good);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(std::tuple(t->flags, t->width, t->height, t->frame_flags, t->small.radius, t->large.offset),
              std::tuple(s->flags, 20, 24, (uint32_t)SKIN_OPEN_TOP, 7, 6));
    EXPECT_EQ(memcmp(t->small.img, s->small.img, IMG_HEADER_SIZE + 48 * 52), 0);
    EXPECT_EQ(memcmp(t->large.img, s->large.img, IMG_HEADER_SIZE + 88 * 92), 0);
    shadow_free(t);

    int32_t before = blocks_held();
    for (size_t cut : {size_t(0), size_t(39), size_t(40), size_t(100), good.size() - 1})
        EXPECT_EQ(load(good.substr(0, cut)), nullptr) << "cut at " << cut;
    const struct {
        size_t at;
        uint32_t value;
        const char *what;
    } damage[] = {
        {0, 0x1F, "unknown flag"}, {0, SHADOW_ON | SHADOW_SMALL, "a large picture without the large kind"},
        {4, 0x7FFFFFFF, "absurd width"}, {4, 21, "width the pictures do not have"}, {12, 256, "unknown frame flag"},
        {24, 8, "large radius"}, {28, 2, "has-picture neither 0 nor 1"}, {44, 87, "picture width"},
        {16, 0, "no large picture for an object that needs one"}, {28, 0, "no small picture either"},
    };
    for (const auto &d : damage)
        EXPECT_EQ(load(good.substr(0, d.at) + le32(d.value) + good.substr(d.at + 4)), nullptr) << d.what;
    EXPECT_EQ(blocks_held(), before) << "nothing leaked by a refusal";
    shadow_free(s);
}
