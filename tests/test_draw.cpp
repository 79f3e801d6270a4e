// Screen drawing through the dirty tiles, checked pixel by pixel against a model of the
// bottom-up frame buffer: alpha pictures blended, coverage inked and shadows darkened,
// each only inside the dirty tiles, with source offsets and positions past every edge.
#include <algorithm>
#include <cmath>
#include <random>

#include "image/clip.h"
#include "tests/support.h"

namespace {

constexpr int W = 320, H = 240;  // tiles of 32 x 24, 10 by 10

struct Rect {
    int x, y, w, h;
};
// Tile-aligned rectangles marked dirty before every draw; the rest of the screen is clean.
const Rect DIRTY[] = {{0, 0, 64, 48}, {96, 24, 32, 24}, {64, 48, 96, 24}, {256, 192, 64, 48}, {288, 0, 32, 24}};

// Requests {x, y, sx, sy, w, h} over a 90 x 70 source: off the top-left, inside, across
// the bottom-right corner, and wholly off the left.
const int REQUESTS[][6] = {{-13, -9, 7, 5, 80, 60}, {50, 30, 0, 0, 90, 70}, {270, 200, 3, 4, 80, 60}, {-100, 10, 0, 0, 90, 70}};

bool dirty(int x, int y)
{
    for (const Rect &r : DIRTY)
        if (x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h)
            return true;
    return false;
}

// The first (x, y) where two screens differ, for the message.
std::string first_difference(const std::vector<uint8_t> &got, const std::vector<uint8_t> &want)
{
    for (size_t i = 0; i < got.size() && i < want.size(); i++)
        if (got[i] != want[i])
            return "first at (" + std::to_string(i / 3 % W) + ", " + std::to_string(i / 3 / W) + ") byte " +
                   std::to_string(i % 3) + ": got " + std::to_string(got[i]) + ", expected " + std::to_string(want[i]);
    return "sizes differ";
}

class Draw : public ::testing::Test {
protected:
    std::mt19937 rng{77};
    uint8_t byte() { return (uint8_t)(rng() & 0xFF); }

    void SetUp() override
    {
        img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
        io_video_set_driver(&test_video_driver);
        io_video_create(W, H, 24);
        clip_init();
        io_video_begin_paint();
    }
    void TearDown() override
    {
        io_video_end_paint();
        clip_done();
        io_video_close();
    }

    // Screen pixel (x, y) counted from the top: the buffer stores the bottom row first.
    static uint8_t *pixel(int x, int y) { return io_video_pixels() + (size_t)(H - 1 - y) * io_video_row_size(W, 24) + 3 * x; }

    // The screen, top row first.
    static std::vector<uint8_t> snapshot()
    {
        std::vector<uint8_t> out;
        for (int y = 0; y < H; y++)
            out.insert(out.end(), pixel(0, y), pixel(0, y) + 3 * W);
        return out;
    }

    // Noise on the whole screen and only DIRTY marked; returns the screen.
    std::vector<uint8_t> prepare()
    {
        for (int y = 0; y < H; y++)
            for (int x = 0; x < 3 * W; x++)
                pixel(0, y)[x] = byte();
        clip_set_all(0);
        for (const Rect &r : DIRTY)
            clip_invalidate(r.x, r.y, r.w, r.h);
        return snapshot();
    }

    // Draws on a noisy screen and compares with the screen before, where `px(screen pixel,
    // source x, source y)` ran for every pixel of the request {x, y, sx, sy, w, h} that is
    // on the screen and in a dirty tile.
    template <typename Fn, typename Px>
    void check(const std::string &what, const int *rq, Fn draw, Px px)
    {
        std::vector<uint8_t> want = prepare();
        draw();
        auto [x, y, sx, sy, w, h] = std::tuple(rq[0], rq[1], rq[2], rq[3], rq[4], rq[5]);
        for (int Y = std::max(y, 0); Y < std::min(y + h, H); Y++)
            for (int X = std::max(x, 0); X < std::min(x + w, W); X++)
                if (dirty(X, Y))
                    px(&want[((size_t)Y * W + X) * 3], sx + X - x, sy + Y - y);
        std::vector<uint8_t> got = snapshot();
        EXPECT_TRUE(got == want) << what << " at (" << x << ", " << y << ") from (" << sx << ", " << sy << "), " << w
                                 << " x " << h << ": " << first_difference(got, want);
    }
};

}  // namespace

TEST_F(Draw, AlphaPicturesBlendOnlyIntoDirtyTiles)
{
    // Runs of opaque and clear pixels between soft ones; colour never above alpha.
    TestImage src(90, 70, IMG_BGRA);
    for (int y = 0; y < 70; y++)
        for (int x = 0; x < 90; x++) {
            int kind = (x / 5 + y) % 4;
            uint8_t a = kind == 0 ? 0 : kind == 1 ? 255 : byte();
            src.v.second[y * src.v.second_stride + x] = a;
            for (int k = 0; k < 3; k++)
                src.at(x, y)[k] = (uint8_t)(byte() % (a + 1));
        }
    auto blend = [&](uint8_t *d, int sx, int sy) {
        int a = src.v.second[sy * src.v.second_stride + sx];
        for (int k = 0; k < 3; k++)
            d[k] = (uint8_t)((int)std::floor((255 - a) * d[k] / 255.0 + 0.5) + src.at(sx, sy)[k]);
    };
    for (const int *rq : REQUESTS)
        check("img_draw", rq, [&] { img_draw(src.img, rq[0], rq[1], rq[2], rq[3], rq[4], rq[5]); }, blend);
    const int whole[6] = {-20, -20, 0, 0, 90, 70};  // from its corner, 20 pixels above and left of the screen
    check("img_draw_whole", whole, [&] { img_draw_whole(src.img, -20, -20); }, blend);
}

TEST_F(Draw, CoverageInksAndShadowsDarkenOnlyDirtyTiles)
{
    TestImage cover(90, 70, IMG_8BIT);
    for (int y = 0; y < 70; y++)
        for (int x = 0; x < 90; x++)
            *cover.at(x, y) = (x + y) % 7 == 0 ? 0 : (x + y) % 7 == 1 ? 255 : byte();
    // Ink steps each channel towards the colour by (k - d) * m / 256 rounded down; colour
    // 0 and the shadow darken by the blend table's rounding.
    auto shadow = [&](uint8_t *d, int sx, int sy) {
        int m = *cover.at(sx, sy);
        for (int k = 0; k < 3; k++)
            d[k] = (uint8_t)std::floor((255 - m) * d[k] / 255.0 + 0.5);
    };
    for (uint32_t colour : {0x00C08040u, 0x00FFFFFFu, 0x00000001u, 0u})
        for (const int *rq : REQUESTS)
            check("ink " + std::to_string(colour), rq,
                  [&] { img_draw_ink(rq[0], rq[1], colour, cover.img, rq[2], rq[3], rq[4], rq[5]); },
                  [&](uint8_t *d, int sx, int sy) {
                      if (colour == 0)
                          return shadow(d, sx, sy);
                      int m = *cover.at(sx, sy);
                      for (int k = 0; k < 3; k++) {
                          int target = (int)(colour >> (8 * k) & 0xFF);
                          d[k] = (uint8_t)(d[k] + (int)std::floor((target - d[k]) * m / 256.0));
                      }
                  });
    for (const int *rq : REQUESTS)
        check("shadow", rq, [&] { img_draw_shadow(cover.img, rq[0], rq[1], rq[2], rq[3], rq[4], rq[5]); }, shadow);
    const int whole[6] = {250, 180, 0, 0, 90, 70};
    check("whole shadow", whole, [&] { img_draw_shadow_whole(cover.img, 250, 180); }, shadow);
}
