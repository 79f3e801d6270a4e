// The image model: records, the blend and the other pixel primitives checked against
// plain per-pixel formulas, lines, and screen drawing through the dirty tiles.
#include <algorithm>
#include <cmath>
#include <random>

#include "image/clip.h"
#include "tests/support.h"

class Image : public ::testing::Test {
protected:
    void SetUp() override
    {
        img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
        screen.bytes_per_pixel = 3;
    }
    std::mt19937 rng{1234};
    uint8_t byte() { return (uint8_t)(rng() & 0xFF); }
    // The image's bytes, header and both planes; noise in its pixels first when asked.
    std::vector<uint8_t> whole(const TestImage &t, bool scramble = false)
    {
        uint8_t *at = (uint8_t *)t.img, *end = at + 36 + t.img->width * t.img->height * ((t.img->format & 15) + (t.img->format >> 4));
        for (uint8_t *p = at + 36; scramble && p < end; p++)
            *p = byte();
        return {at, end};
    }
};

TEST_F(Image, CreateResolvesPseudoCodesAndViewsStartInside)
{
    TestImage a(5, 4, IMG_SCREEN), b(5, 4, IMG_GREY), c(5, 4, IMG_BGRA);
    EXPECT_EQ(std::tuple(a.img->format, a.img->colour_stride, b.img->format), std::tuple(3u, 15u, 1u));
    ImgView v;
    img_view(&v, c.img, 2, 1);
    EXPECT_EQ(std::tuple(v.width, v.height, v.colour, v.second),
              std::tuple(3, 3, (uint8_t *)c.img + 36 + 15 + 6, (uint8_t *)c.img + 96 + 5 + 2));
    EXPECT_EQ(picture_create(3, 3, 0x10), nullptr) << "no colour bytes, no picture";
    Picture *p = picture_create(3, 2, IMG_BGRA);
    EXPECT_EQ(p->second, p->colour + 18);
    picture_free(p);
}

TEST_F(Image, BlendMatchesThePerPixelFormula)
{
    // Widths that are not a multiple of four exercise the tail; each alpha pattern
    // exercises the opaque and transparent shortcuts as well as the general path.
    for (int width : {1, 7, 33})
        for (int pattern = 0; pattern < 4; pattern++) {
            TestImage src(width, 5, IMG_BGRA), dst(width, 5, IMG_BGR);
            for (int y = 0; y < 5; y++)
                for (int x = 0; x < width; x++) {
                    uint8_t a = pattern == 0 ? 0 : pattern == 1 ? 255 : pattern == 2 ? (x / 4 % 2 ? 255 : byte()) : byte();
                    src.v.second[y * src.v.second_stride + x] = a;
                    for (int k = 0; k < 3; k++)
                        src.at(x, y)[k] = (uint8_t)(a ? byte() % (a + 1) : 0), dst.at(x, y)[k] = byte();
                }
            std::vector<uint8_t> before = dst.bytes();
            img_put(dst.img, 0, 0, src.img);
            for (int y = 0; y < 5; y++)
                for (int x = 0; x < width; x++)
                    for (int k = 0; k < 3; k++) {
                        int a = src.v.second[y * src.v.second_stride + x], d = before[y * width * 3 + x * 3 + k];
                        int want = (int)((255 - a) * d / 255.0 + 0.5) + src.at(x, y)[k];
                        ASSERT_EQ(dst.at(x, y)[k], want) << "width " << width << " pattern " << pattern << " at " << x;
                    }
        }
}

TEST_F(Image, InkShadowMixAndFills)
{
    TestImage d(4, 1, IMG_BGR, 0), c(4, 1, IMG_8BIT, 255), r(4, 1, IMG_BGR);
    img_ink(&d.v, &c.v, 0x00FFFFFF);
    EXPECT_EQ(d.bytes(), std::vector<uint8_t>(12, 254)) << "full coverage stops one step short";

    // Ink in colour 0 darkens exactly as a shadow does.
    memcpy(c.at(0, 0), "\x00\x40\x80\xFF", 4);
    for (int i = 0; i < 12; i++)
        d.at(0, 0)[i] = r.at(0, 0)[i] = (uint8_t)(200 - i * 7);
    img_ink(&d.v, &c.v, 0);
    img_shadow(&r.v, &c.v);
    EXPECT_EQ(d.bytes(), r.bytes());
    EXPECT_EQ(d.at(0, 0)[0], 200) << "no coverage, no change";
    EXPECT_EQ(d.at(2, 0)[0], (int)((255 - 128) * (200 - 42) / 255.0 + 0.5));

    // Mix rounds the signed step towards minus infinity: 100 towards 0 under 128 is 50,
    // 0 towards 101 under 128 is 50 (50.5 floored).
    img_fill(d.img, 0);
    img_fill_view(&r.v, 0x00656565);
    d.at(0, 0)[0] = 100;
    r.at(0, 0)[0] = 0;
    img_fill(c.img, 128);
    img_mix(&d.v, &r.v, &c.v);
    EXPECT_EQ(std::tuple(d.at(0, 0)[0], d.at(0, 0)[1]), std::tuple(50, 50));
    c.v.width = 5;
    img_mix(&d.v, &r.v, &c.v);
    EXPECT_EQ(d.at(0, 0)[1], 50) << "a mask wider than the destination draws nothing";

    TestImage rgb(2, 1, IMG_BGR), grey(2, 1, IMG_8BIT);
    img_fill(rgb.img, 9);
    EXPECT_EQ(rgb.bytes(), (std::vector<uint8_t>{9, 0, 0, 9, 0, 0})) << "a one-byte fill of a colour image sets blue";
    img_fill(grey.img, 200);
    img_fade(grey.img, 128);
    EXPECT_EQ(grey.at(1, 0)[0], 200 * 128 / 255);
}

// What one pixel of format `from` becomes in format `to` by the conversion table, as
// the destination's bytes; empty when the pair is not in the table (nothing is written).
static std::vector<uint8_t> converted(const uint8_t *p, uint32_t from, uint32_t to)
{
    from &= ~0x10u;  // the alpha plane plays no part
    if (from == to)
        return {p, p + (to & 15)};
    if (from == 1 && to == 3)
        return {p[0], p[0], p[0]};
    if (from == 3 && to == 1)
        return {(uint8_t)std::floor(0.299 * p[2] + 0.587 * p[1] + 0.114 * p[0] + 0.5)};
    if (from == 2 && to == 3) {
        uint32_t v = p[0] | p[1] << 8;
        return {(uint8_t)((v & 31) * 255 / 31), (uint8_t)((v >> 5 & 31) * 255 / 31), (uint8_t)((v >> 10 & 31) * 255 / 31)};
    }
    if ((from == 1 && to == 2) || (from == 2 && to == 1) || (from == 3 && to == 2))
        return std::vector<uint8_t>(to, 0);
    return {};
}

TEST_F(Image, ConvertFollowsTheTableInsideSubViews)
{
    const uint32_t formats[] = {IMG_8BIT, IMG_555, IMG_BGR, IMG_BGRA};
    for (uint32_t from : formats)
        for (uint32_t to : formats) {
            // Views of 5 x 3 from inside larger images: rows are walked by the images'
            // strides, and nothing around the views may change.
            TestImage src(8, 6, from), dst(9, 7, to);
            whole(src, true);
            std::vector<uint8_t> want = whole(dst, true);
            ImgView s, d;
            img_view(&s, src.img, 2, 1);
            img_view(&d, dst.img, 3, 2);
            s.width = d.width = 5;
            s.height = d.height = 3;
            img_convert(&d, &s);
            uint32_t db = to & 15;
            for (int y = 0; y < 3; y++)
                for (int x = 0; x < 5; x++) {
                    std::vector<uint8_t> px = converted(src.at(2 + x, 1 + y), from, to);
                    size_t at = 36 + (size_t)(2 + y) * dst.img->colour_stride + (3 + x) * db;
                    std::copy(px.begin(), px.end(), want.begin() + at);
                }
            EXPECT_EQ(whole(dst), want) << "format " << from << " to " << to;
            d.height = 2;
            img_convert(&d, &s);
            EXPECT_EQ(whole(dst), want) << "format " << from << " to " << to << ": different heights change nothing";
        }
    // 0x4210 has 16 in each channel: 16 * 255 / 31 = 131 (131.6 cut); bit 15 is no colour.
    TestImage p555(2, 1, IMG_555), rgb(2, 1, IMG_BGR);
    memcpy(p555.v.colour, "\x10\x42\x1F\x80", 4);  // 0x4210, 0x801F
    img_convert(&rgb.v, &p555.v);
    EXPECT_EQ(rgb.bytes(), (std::vector<uint8_t>{131, 131, 131, 255, 0, 0}));
}

TEST_F(Image, FillCopyAndScaleRectangles)
{
    // Fills: a grey rectangle takes the byte; a colour one takes it as blue; 5-5-5 and
    // alpha images are left as they are.
    for (uint32_t format : {IMG_8BIT, IMG_BGR, IMG_555, IMG_BGRA}) {
        TestImage img(9, 6, format);
        std::vector<uint8_t> want = whole(img, true);
        img_fill_rect(img.img, 0xAB, 2, 1, 4, 3);
        if (format == IMG_8BIT || format == IMG_BGR)
            for (int y = 1; y < 4; y++)
                for (int x = 2; x < 6; x++)
                    for (uint32_t k = 0; k < format; k++)
                        want[36 + y * img.img->colour_stride + x * format + k] = k == 0 ? 0xAB : 0;
        EXPECT_EQ(whole(img), want) << "format " << format;
    }

    // Copies of one rectangle: plain for grey and colour, a blend from alpha pictures
    // (onto colour, and onto alpha pictures, whose own alpha stays).
    const uint32_t pairs[][2] = {{IMG_8BIT, IMG_8BIT}, {IMG_BGR, IMG_BGR}, {IMG_BGRA, IMG_BGR}, {IMG_BGRA, IMG_BGRA}};
    for (auto &pair : pairs) {
        uint32_t sf = pair[0], df = pair[1], bytes = sf & 15;
        TestImage src(9, 7, sf), dst(10, 8, df);
        std::vector<uint8_t> want = whole(dst, true);
        for (int y = 0; y < 7; y++)
            for (int x = 0; x < 9; x++) {
                uint8_t a = src.v.second ? (x % 3 == 0 ? 0 : x % 3 == 1 ? 255 : byte()) : 255;
                if (src.v.second)
                    src.v.second[y * src.v.second_stride + x] = a;
                for (uint32_t k = 0; k < bytes; k++)
                    src.at(x, y)[k] = (uint8_t)(byte() % (a + 1));
            }
        img_copy_rect(dst.img, 4, 1, src.img, 2, 3, 5, 4);
        for (int y = 0; y < 4; y++)
            for (int x = 0; x < 5; x++) {
                const uint8_t *s = src.at(2 + x, 3 + y);
                int a = src.v.second ? src.v.second[(3 + y) * src.v.second_stride + 2 + x] : 255;
                for (uint32_t k = 0; k < bytes; k++) {
                    uint8_t &d = want[36 + (1 + y) * dst.img->colour_stride + (4 + x) * bytes + k];
                    d = src.v.second ? (uint8_t)((int)((255 - a) * d / 255.0 + 0.5) + s[k]) : s[k];
                }
            }
        EXPECT_EQ(whole(dst), want) << "format " << sf << " onto " << df << ", 5 x 4 from (2, 3) to (4, 1)";
    }

    // Scaling is the resampler's; formats must match and be grey or colour.
    TestImage four(4, 1, IMG_BGR, 3), seven(7, 1, IMG_BGR, 0), grey(4, 1, IMG_8BIT, 5);
    TestImage alpha(4, 1, IMG_BGRA, 5), alpha7(7, 1, IMG_BGRA, 9);
    img_scale(seven.img, four.img, 0);
    img_scale(seven.img, grey.img, 1);
    img_scale(alpha7.img, alpha.img, 0);
    EXPECT_EQ(seven.bytes(), std::vector<uint8_t>(21, 3)) << "colour scaled; grey into colour does nothing";
    EXPECT_EQ(alpha7.bytes(), std::vector<uint8_t>(21, 9)) << "alpha pictures are not scaled";
}

// The pixels a line sets on a w x h grey view, as '#' and '.' rows.
static std::string draw_line(int w, int h, int x0, int y0, int x1, int y1)
{
    TestImage img(w, h, IMG_8BIT, 0);
    img_line(&img.v, x0, y0, x1, y1, 1);
    std::string out;
    for (int y = 0; y < h; y++, out += '\n')
        for (int x = 0; x < w; x++)
            out += *img.at(x, y) ? '#' : '.';
    return out;
}

TEST_F(Image, LinesClipAndWalk)
{
    EXPECT_EQ(draw_line(4, 4, -5, -5, 5, 5), "#...\n.#..\n..#.\n...#\n");
    EXPECT_EQ(draw_line(4, 2, 0, 0, 3, 1), "##..\n..##\n");
    EXPECT_EQ(draw_line(2, 4, 1, 3, 0, 0), "#.\n#.\n.#\n.#\n");
    EXPECT_EQ(draw_line(5, 1, 7, 0, -3, 0), "#####\n") << "both ends clipped";
    EXPECT_EQ(draw_line(3, 3, -1, 5, 4, 5), "...\n...\n...\n") << "entirely below";
    EXPECT_EQ(draw_line(3, 3, 1, 1, 1, 1), "...\n.#.\n...\n");
}

// Draws through the tiles on an 800 x 600 frame buffer with a driver that presents nothing.
class ScreenDraw : public Image {
protected:
    void SetUp() override
    {
        Image::SetUp();
        io_video_set_driver(&test_video_driver);
        io_video_create(800, 600, 24);
        clip_init();
        io_video_begin_paint();
    }
    void TearDown() override
    {
        io_video_end_paint();
        clip_done();
        io_video_close();
    }
    static uint8_t screen_px(int x, int y) { return screen.buf[(ptrdiff_t)y * screen.pitch + x * 3]; }
};

TEST_F(ScreenDraw, DrawsOnlyIntoDirtyTilesAndFlushesRuns)
{
    const ClipGrid *g = clip_grid();
    EXPECT_EQ(std::tuple(g->tile_w, g->columns, g->rows), std::tuple(32, 25, 25));
    EXPECT_EQ(ideal_clip(1366), 2);
    EXPECT_EQ(ideal_clip(97), 1) << "a prime past the list gets one-pixel tiles";
    paint_list.count = 0;
    clip_flush();
    EXPECT_EQ(paint_list.count, 25) << "a dirty screen flushes one run per row";
    EXPECT_EQ(paint_list.rects[0].right, 800);
    EXPECT_EQ(clip_is_dirty(0, 0, 800, 600), 0);

    TestImage img(100, 10, IMG_BGR);
    for (int y = 0; y < 10; y++)
        for (int x = 0; x < 100; x++)
            memset(img.at(x, y), x, 3);  // column x has value x
    img_draw(img.img, -10, 0, 0, 0, 100, 10);
    EXPECT_EQ(screen_px(0, 0), 0) << "nothing is drawn while no tile is dirty";

    clip_invalidate(0, 0, 64, 24);  // two tiles: screen x 0..63, y 0..23
    img_draw(img.img, -10, 0, 0, 0, 100, 10);
    EXPECT_EQ(screen_px(0, 0), 10) << "column 10 lands at screen x 0";
    EXPECT_EQ(screen_px(63, 9), 73);
    EXPECT_EQ(screen_px(64, 0), 0) << "the clean tile is not touched";
    EXPECT_EQ(screen_px(0, 10), 0) << "nothing below the image";

    int32_t x0 = 10, y0 = 10, x1 = 700, y1 = 500;
    EXPECT_EQ(clip_bounds(&x0, &y0, &x1, &y1), 1);
    EXPECT_EQ(std::tuple(x0, y0, x1, y1), std::tuple(10, 10, 63, 23));
    paint_list.count = 0;
    clip_flush();
    ASSERT_EQ(paint_list.count, 1);
    EXPECT_EQ(std::tuple(paint_list.rects[0].right, paint_list.rects[0].bottom), std::tuple(64, 24));
    x0 = 0, y0 = 0, x1 = 799, y1 = 599;
    EXPECT_EQ(clip_bounds(&x0, &y0, &x1, &y1), 0);

    TestImage grey(4, 4, IMG_8BIT);
    EXPECT_EXIT(img_draw(grey.img, 0, 0, 0, 0, 4, 4), ::testing::ExitedWithCode(1), "img_draw: jine rozliseni nez screen");
    EXPECT_EXIT(img_draw_shadow(img.img, 0, 0, 0, 0, 4, 4), ::testing::ExitedWithCode(1),
                "img_draw_shadow: stin by mel byt IMG_8BIT");
}

static std::vector<std::vector<int>> tiles_drawn;
static void record_blit(Img *, int32_t x, int32_t y, int32_t sx, int32_t sy, int32_t w, int32_t h)
{
    tiles_drawn.push_back({x, y, sx, sy, w, h});
}

TEST_F(Image, TilingCutsTheLastTiles)
{
    ImgBlitter old = img_set_blitter(record_blit);
    ImgRect r = {5, 6, 10, 8};
    tiles_drawn.clear();
    img_tile(nullptr, &r, 0, 0, 25, 12, 0);
    ASSERT_EQ(tiles_drawn.size(), 6u);
    EXPECT_EQ(tiles_drawn[2], (std::vector<int>{20, 0, 5, 6, 5, 8}));
    EXPECT_EQ(tiles_drawn[5], (std::vector<int>{20, 8, 5, 6, 5, 4}));
    tiles_drawn.clear();
    img_tile(nullptr, &r, 3, 4, 0, 100, IMG_TILE_ONE_ACROSS | IMG_TILE_ONE_DOWN);
    EXPECT_EQ(tiles_drawn.size(), 1u);
    tiles_drawn.clear();
    img_tile(nullptr, &r, 0, 5, 25, 5, 0);
    EXPECT_TRUE(tiles_drawn.empty()) << "y1 <= y0 draws nothing";
    img_blit_part(nullptr, &r, 7, 9);
    EXPECT_EQ(tiles_drawn.at(0), (std::vector<int>{7, 9, 5, 6, 10, 8}));
    img_set_blitter(old);
}
