// The image model: records, the blend and the other pixel primitives checked against
// plain per-pixel formulas, lines, and screen drawing through the dirty tiles.
#include <gtest/gtest.h>
#include <cstring>
#include <random>
#include <vector>

#include "image/clip.h"
#include "image/img.h"
#include "kernel/kernel.h"
#include "kernel/memory.h"
#include "kernel/video.h"

class Image : public ::testing::Test {
protected:
    void SetUp() override
    {
        img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
        screen.bytes_per_pixel = 3;
    }
    std::mt19937 rng{1234};
    uint8_t byte() { return (uint8_t)(rng() & 0xFF); }
};

static uint8_t *px(Img *img, int x, int y)
{
    return (uint8_t *)img + img->colour_offset + (size_t)y * img->colour_stride + (size_t)x * (img->format & 15);
}

TEST_F(Image, CreateResolvesPseudoCodesAndLaysOutTheBlock)
{
    Img *a = img_create(5, 4, IMG_SCREEN);
    EXPECT_EQ(a->format, 3u);
    EXPECT_EQ(a->colour_stride, 15u);
    EXPECT_EQ(a->second_offset, 0u);
    EXPECT_GE(io_mem_size(a), 36u + 60u);
    Img *b = img_create(5, 4, IMG_GREY);
    EXPECT_EQ(b->format, 1u);
    Img *c = img_create(5, 4, IMG_BGRA);
    EXPECT_EQ(c->magic, IMG_MAGIC);
    EXPECT_EQ(c->second_offset, 36u + 60u);
    EXPECT_EQ(c->second_stride, 5u);
    ImgView v;
    img_view(&v, c, 2, 1);
    EXPECT_EQ(v.width, 3);
    EXPECT_EQ(v.height, 3);
    EXPECT_EQ(v.colour, (uint8_t *)c + 36 + 15 + 6);
    EXPECT_EQ(v.second, (uint8_t *)c + 96 + 5 + 2);
    img_free(a);
    img_free(b);
    img_free(c);
    EXPECT_EQ(picture_create(3, 3, 0x10), nullptr) << "no colour bytes, no picture";
    Picture *p = picture_create(3, 2, IMG_BGRA);
    EXPECT_EQ(p->second, p->colour + 18);
    picture_free(p);
}

TEST_F(Image, BlendMatchesThePerPixelFormula)
{
    // Widths that are not a multiple of four exercise the tail; each alpha pattern
    // exercises the opaque and transparent shortcuts as well as the general path.
    for (int width : {1, 7, 33}) {
        for (int pattern = 0; pattern < 4; pattern++) {
            Img *src = img_create(width, 5, IMG_BGRA);
            Img *dst = img_create(width, 5, IMG_BGR);
            ImgView s;
            img_view(&s, src, 0, 0);
            for (int y = 0; y < 5; y++)
                for (int x = 0; x < width; x++) {
                    uint8_t a = pattern == 0 ? 0 : pattern == 1 ? 255 : pattern == 2 ? (x / 4 % 2 ? 255 : byte()) : byte();
                    s.second[y * s.second_stride + x] = a;
                    for (int k = 0; k < 3; k++)
                        px(src, x, y)[k] = (uint8_t)(a ? byte() % (a + 1) : 0);
                    for (int k = 0; k < 3; k++)
                        px(dst, x, y)[k] = byte();
                }
            std::vector<uint8_t> before(px(dst, 0, 0), px(dst, 0, 0) + dst->colour_stride * 5);
            img_put(dst, 0, 0, src);
            for (int y = 0; y < 5; y++)
                for (int x = 0; x < width; x++)
                    for (int k = 0; k < 3; k++) {
                        int a = s.second[y * s.second_stride + x], d = before[y * width * 3 + x * 3 + k];
                        int want = (int)((255 - a) * d / 255.0 + 0.5) + px(src, x, y)[k];
                        ASSERT_EQ(px(dst, x, y)[k], want) << "width " << width << " pattern " << pattern << " at " << x;
                    }
            img_free(src);
            img_free(dst);
        }
    }
}

TEST_F(Image, InkShadowAndMix)
{
    Img *dst = img_create(4, 1, IMG_BGR), *cov = img_create(4, 1, IMG_8BIT), *ref = img_create(4, 1, IMG_BGR);
    ImgView d, c, r;
    img_view(&d, dst, 0, 0);
    img_view(&c, cov, 0, 0);
    img_view(&r, ref, 0, 0);
    img_fill(dst, 0);
    img_fill(cov, 255);
    img_ink(&d, &c, 0x00FFFFFF);
    EXPECT_EQ(px(dst, 0, 0)[0], 254) << "full coverage stops one step short";
    EXPECT_EQ(px(dst, 3, 0)[2], 254);

    // Ink in colour 0 darkens exactly as a shadow does.
    const uint8_t cover[4] = {0, 64, 128, 255};
    memcpy(px(cov, 0, 0), cover, 4);
    for (int i = 0; i < 12; i++)
        px(dst, 0, 0)[i] = px(ref, 0, 0)[i] = (uint8_t)(200 - i * 7);
    img_ink(&d, &c, 0);
    img_shadow(&r, &c);
    EXPECT_EQ(memcmp(px(dst, 0, 0), px(ref, 0, 0), 12), 0);
    EXPECT_EQ(px(dst, 0, 0)[0], 200) << "no coverage, no change";
    EXPECT_EQ(px(dst, 2, 0)[0], (int)((255 - 128) * (200 - 42) / 255.0 + 0.5));

    // Mix rounds the signed step towards minus infinity: 100 towards 0 under 128 is 50,
    // 0 towards 101 under 128 is 50 (50.5 floored).
    img_fill(dst, 0);
    img_fill_view(&r, 0x00656565);
    px(dst, 0, 0)[0] = 100;
    px(ref, 0, 0)[0] = 0;
    img_fill(cov, 128);
    img_mix(&d, &r, &c);
    EXPECT_EQ(px(dst, 0, 0)[0], 50);
    EXPECT_EQ(px(dst, 0, 0)[1], 50);
    c.width = 5;
    img_mix(&d, &r, &c);
    EXPECT_EQ(px(dst, 0, 0)[1], 50) << "a mask wider than the destination draws nothing";
    img_free(dst);
    img_free(cov);
    img_free(ref);
}

TEST_F(Image, ConversionsAndFills)
{
    Img *p555 = img_create(2, 1, IMG_555), *rgb = img_create(2, 1, IMG_BGR), *grey = img_create(2, 1, IMG_8BIT);
    ImgView v555, vrgb, vgrey;
    img_view(&v555, p555, 0, 0);
    img_view(&vrgb, rgb, 0, 0);
    img_view(&vgrey, grey, 0, 0);
    const uint8_t words[4] = {0xFF, 0x7F, 0x00, 0x00};  // 0x7FFF, 0x0000
    memcpy(px(p555, 0, 0), words, 4);
    img_convert(&vrgb, &v555);
    const uint8_t white_black[6] = {255, 255, 255, 0, 0, 0};
    EXPECT_EQ(memcmp(px(rgb, 0, 0), white_black, 6), 0);

    const uint8_t bgr[6] = {10, 200, 30, 255, 0, 0};  // blue, green, red
    memcpy(px(rgb, 0, 0), bgr, 6);
    img_convert(&vgrey, &vrgb);
    EXPECT_EQ(px(grey, 0, 0)[0], (int)(0.299 * 30 + 0.587 * 200 + 0.114 * 10 + 0.5));
    EXPECT_EQ(px(grey, 1, 0)[0], 29);
    img_convert(&v555, &vgrey);
    EXPECT_EQ(px(p555, 0, 0)[0] | px(p555, 0, 0)[1], 0) << "1 -> 2 gives 0";
    vgrey.width = 1;
    px(rgb, 0, 0)[0] = 77;
    img_convert(&vrgb, &vgrey);
    EXPECT_EQ(px(rgb, 0, 0)[0], 77) << "different sizes: nothing happens";

    img_fill(rgb, 9);
    const uint8_t blue_only[3] = {9, 0, 0};
    EXPECT_EQ(memcmp(px(rgb, 1, 0), blue_only, 3), 0) << "a one-byte fill of a colour image sets blue";
    img_fill(grey, 200);
    img_fade(grey, 128);
    EXPECT_EQ(px(grey, 1, 0)[0], 200 * 128 / 255);
    img_free(p555);
    img_free(rgb);
    img_free(grey);
}

// The pixels a line sets on a w x h grey view, as '#' and '.' rows.
static std::string draw_line(int w, int h, int x0, int y0, int x1, int y1)
{
    Img *img = img_create(w, h, IMG_8BIT);
    img_fill(img, 0);
    ImgView v;
    img_view(&v, img, 0, 0);
    img_line(&v, x0, y0, x1, y1, 1);
    std::string out;
    for (int y = 0; y < h; y++, out += '\n')
        for (int x = 0; x < w; x++)
            out += px(img, x, y)[0] ? '#' : '.';
    img_free(img);
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

TEST(DirtyTiles, IdealClipPrefersSizesNear32)
{
    EXPECT_EQ(ideal_clip(800), 32);
    EXPECT_EQ(ideal_clip(600), 24);
    EXPECT_EQ(ideal_clip(1080), 24);
    EXPECT_EQ(ideal_clip(1366), 2);
    EXPECT_EQ(ideal_clip(97), 1) << "a prime past the list gets one-pixel tiles";
}

// Draws through the tiles on an 800 x 600 frame buffer with a driver that presents nothing.
class ScreenDraw : public Image {
protected:
    static void begin()
    {
        int32_t row = io_video_row_size(screen.width, 24);
        screen.buf = io_video_pixels() + (size_t)(screen.height - 1) * row;
        screen.pitch = -row;
    }
    static void present(const PaintList *) {}
    static int accept(int) { return 1; }
    VideoDriver driver = {"Test", nullptr, nullptr, accept, nullptr, begin, present};
    void SetUp() override
    {
        Image::SetUp();
        io_video_set_driver(&driver);
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
    static uint8_t *screen_px(int x, int y) { return screen.buf + (ptrdiff_t)y * screen.pitch + x * 3; }
};

TEST_F(ScreenDraw, DrawsOnlyIntoDirtyTilesAndFlushesRuns)
{
    const ClipGrid *g = clip_grid();
    EXPECT_EQ(g->tile_w, 32);
    EXPECT_EQ(g->columns, 25);
    EXPECT_EQ(g->rows, 25);
    paint_list.count = 0;
    clip_flush();
    EXPECT_EQ(paint_list.count, 25) << "a dirty screen flushes one run per row";
    EXPECT_EQ(paint_list.rects[0].right, 800);
    EXPECT_EQ(clip_is_dirty(0, 0, 800, 600), 0);

    Img *img = img_create(100, 10, IMG_BGR);
    for (int x = 0; x < 100; x++)
        memset(px(img, x, 0), x, 30);  // column x has value x (row 0 only needs it)
    for (int y = 1; y < 10; y++)
        memcpy(px(img, 0, y), px(img, 0, 0), 300);
    img_draw(img, -10, 0, 0, 0, 100, 10);
    EXPECT_EQ(screen_px(0, 0)[0], 0) << "nothing is drawn while no tile is dirty";

    clip_invalidate(0, 0, 64, 24);  // two tiles: screen x 0..63, y 0..23
    img_draw(img, -10, 0, 0, 0, 100, 10);
    EXPECT_EQ(screen_px(0, 0)[0], 10) << "column 10 lands at screen x 0";
    EXPECT_EQ(screen_px(63, 9)[0], 73);
    EXPECT_EQ(screen_px(64, 0)[0], 0) << "the clean tile is not touched";
    EXPECT_EQ(screen_px(0, 10)[0], 0) << "nothing below the image";

    int32_t x0 = 10, y0 = 10, x1 = 700, y1 = 500;
    EXPECT_EQ(clip_bounds(&x0, &y0, &x1, &y1), 1);
    EXPECT_EQ(x0, 10);
    EXPECT_EQ(x1, 63);
    EXPECT_EQ(y1, 23);
    paint_list.count = 0;
    clip_flush();
    ASSERT_EQ(paint_list.count, 1);
    EXPECT_EQ(paint_list.rects[0].right, 64);
    EXPECT_EQ(paint_list.rects[0].bottom, 24);
    x0 = 0, y0 = 0, x1 = 799, y1 = 599;
    EXPECT_EQ(clip_bounds(&x0, &y0, &x1, &y1), 0);
    img_free(img);

    Img *grey = img_create(4, 4, IMG_8BIT);
    EXPECT_EXIT(img_draw(grey, 0, 0, 0, 0, 4, 4), ::testing::ExitedWithCode(1), "img_draw: jine rozliseni nez screen");
    EXPECT_EXIT(img_draw_shadow(img_create(4, 4, IMG_BGR), 0, 0, 0, 0, 4, 4), ::testing::ExitedWithCode(1),
                "img_draw_shadow: stin by mel byt IMG_8BIT");
    img_free(grey);
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
