// The skin pictures and small artwork of the built pack: the layout tables against the
// pictures (every piece inside, painted, and alone in its place), pieces that must tile
// without seams, and the sizes the rest of the game relies on.
#include <vector>

#include "image/imgfile.h"
#include "res/datapack.h"
#include "tests/support.h"
#include "ui/skin.h"

// One IMG of the pack, checked whole and kept until the end of the scope.
struct PackImg {
    Img *img = nullptr;
    size_t size = 0;
    explicit PackImg(const char *name)
    {
        int index = dp_get_index(name, 1);
        size = dp_size(index);
        img = (Img *)dp_load(index);
    }
    ~PackImg() { io_mem_free(img); }
    const uint8_t *colour(int x, int y) const
    {
        return (const uint8_t *)img + img->colour_offset + y * img->colour_stride + x * 3;
    }
    uint8_t alpha(int x, int y) const { return ((const uint8_t *)img)[img->second_offset + y * img->second_stride + x]; }
    // The four bytes of a pixel, for comparing pixels.
    uint32_t pixel(int x, int y) const
    {
        const uint8_t *c = colour(x, y);
        return c[0] | c[1] << 8 | c[2] << 16 | (uint32_t)alpha(x, y) << 24;
    }
};

class SkinData : public ::testing::Test {
protected:
    void SetUp() override { dp_open(PELMORA_DATA_PCK); }
    void TearDown() override { dp_close(); }
};

struct NamedRect {
    std::string name;
    SkinRect r;
};

// The rectangles the drawing code reads from each picture; the title bar and the
// frames of inactive windows come from img/inactive.img, everything else from
// img/active.img.
static std::vector<NamedRect> rects_of(bool active)
{
    std::vector<NamedRect> all;
    for (int i = 0; i < 25; i++)
        all.push_back({"frame " + std::to_string(i), skin_frame_rects[i]});
    for (int i = 0; i < 10; i++)
        all.push_back({"title " + std::to_string(i), skin_title_rects[i]});
    if (!active)
        return all;
    for (int i = 0; i < SKIN_ICON_COUNT; i++)
        if (skin_icon_rects[i].w)
            all.push_back({"icon " + std::to_string(i), skin_icon_rects[i]});
    for (int i = 0; i < 3; i++)
        all.push_back({"track " + std::to_string(i), skin_track_rects[i]});
    for (int i = 0; i < SKIN_PANEL_COUNT; i++)
        // The progress block is icon 30 itself, shared on purpose.
        if (skin_panel_rects[i].w && i != SKIN_PANEL_PROGRESS)
            all.push_back({"panel " + std::to_string(i), skin_panel_rects[i]});
    return all;
}

static bool overlap(const SkinRect &a, const SkinRect &b)
{
    return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
}

static bool same(const SkinRect &a, const SkinRect &b)
{
    return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h;
}

TEST_F(SkinData, EveryPieceLiesInsideItsPictureAloneAndPainted)
{
    for (bool active : {true, false}) {
        PackImg pic(active ? "img/active.img" : "img/inactive.img");
        ASSERT_EQ(img_check(pic.img, pic.size), 1);
        ASSERT_EQ(pic.img->format, (uint32_t)IMG_BGRA);
        ASSERT_EQ(pic.img->width, SKIN_IMAGE_WIDTH);
        ASSERT_EQ(pic.img->height, SKIN_IMAGE_HEIGHT);
        std::vector<NamedRect> all = rects_of(active);
        for (size_t i = 0; i < all.size(); i++) {
            const SkinRect &r = all[i].r;
            ASSERT_TRUE(r.x >= 0 && r.y >= 0 && r.w > 0 && r.h > 0 && r.x + r.w <= SKIN_IMAGE_WIDTH &&
                        r.y + r.h <= SKIN_IMAGE_HEIGHT) << all[i].name;
            int painted = 0;
            for (int y = r.y; y < r.y + r.h; y++)
                for (int x = r.x; x < r.x + r.w; x++)
                    painted += pic.alpha(x, y) != 0;
            EXPECT_GT(painted, 0) << all[i].name << (active ? " in active" : " in inactive");
            for (size_t j = i + 1; j < all.size(); j++)
                EXPECT_FALSE(overlap(r, all[j].r)) << all[i].name << " overlaps " << all[j].name;
        }
        // Premultiplied: no colour byte above its alpha.
        for (int y = 0; y < SKIN_IMAGE_HEIGHT; y++)
            for (int x = 0; x < SKIN_IMAGE_WIDTH; x++)
                for (int k = 0; k < 3; k++)
                    ASSERT_LE(pic.colour(x, y)[k], pic.alpha(x, y)) << x << ", " << y;
    }
    EXPECT_TRUE(same(skin_panel_rects[SKIN_PANEL_PROGRESS], skin_icon_rects[30]));
    // A lit icon replaces its plain one in the same place, so the two are one size:
    // even and odd up to the trackbar thumb, odd and even for the room buttons and logo.
    for (int n : {0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 41, 43, 45, 47}) {
        const SkinRect &plain = skin_icon_rects[n], &lit = skin_icon_rects[n + 1];
        EXPECT_TRUE(plain.w > 0 && plain.w == lit.w && plain.h == lit.h) << "icon " << n;
    }
    for (int n : {35, 36, 37, 38, 39, 40})
        EXPECT_GT(skin_icon_rects[n].w, 0) << "icon " << n;
}

// Tiled pieces repeat along their run: every column (or row) the same, so a frame of
// any size shows no seams; corners are rounded with soft alpha.
TEST_F(SkinData, TiledPiecesRepeatWithoutSeams)
{
    for (const char *name : {"img/active.img", "img/inactive.img"}) {
        PackImg pic(name);
        // Every column the same as the first (or every row, `rows`).
        auto repeats = [&](const SkinRect &r, bool rows = false) {
            for (int y = r.y; y < r.y + r.h; y++)
                for (int x = r.x; x < r.x + r.w; x++)
                    if (pic.pixel(x, y) != pic.pixel(rows ? x : r.x, rows ? r.y : y))
                        return false;
            return true;
        };
        for (int n : {1, 6, 11, 16, 21})
            EXPECT_TRUE(repeats(skin_frame_rects[n])) << name << " frame " << n;
        for (int n : {10, 11, 12, 13, 14})
            EXPECT_TRUE(repeats(skin_frame_rects[n], true)) << name << " frame " << n;
        for (int n : {2, 7})
            EXPECT_TRUE(repeats(skin_title_rects[n])) << name << " title " << n;
        EXPECT_TRUE(repeats(skin_track_rects[1])) << name;
        const SkinRect &corner = skin_frame_rects[0], &centre = skin_frame_rects[11];
        EXPECT_EQ(pic.alpha(corner.x, corner.y), 0) << name;
        EXPECT_EQ(pic.alpha(corner.x + 11, corner.y + 11), 255) << name;
        EXPECT_EQ(pic.alpha(centre.x, centre.y), 255) << name;
    }
    // The bars and parchment wrap around: the left column continues the right one
    // closely (no hard edge where tiles meet).
    PackImg pic("img/active.img");
    for (int n : {SKIN_PANEL_DIALOG, SKIN_PANEL_MESSAGE, SKIN_PANEL_BAR}) {
        const SkinRect &r = skin_panel_rects[n];
        for (int y = r.y; y < r.y + r.h; y++)
            for (int k = 0; k < 3; k++)
                EXPECT_NEAR(pic.colour(r.x, y)[k], pic.colour(r.x + r.w - 1, y)[k], 8) << "panel " << n;
    }
}

TEST_F(SkinData, SmallPicturesHaveTheirSizes)
{
    struct {
        const char *name;
        int w, h;
    } pictures[] = {
        {"img/connected.img", 256, 32},
        {"img/lttl_pzzl.img", skin_icon_rects[47].w, skin_icon_rects[47].h},
        {"img/cursor.img", 32, 32},
        {"img/options_mouse.img", 32, 32},
    };
    for (auto &p : pictures) {
        PackImg pic(p.name);
        ASSERT_EQ(img_check(pic.img, pic.size), 1) << p.name;
        EXPECT_EQ(pic.img->format, (uint32_t)IMG_BGRA) << p.name;
        EXPECT_EQ(pic.img->width, p.w) << p.name;
        EXPECT_EQ(pic.img->height, p.h) << p.name;
    }
    // Each of the eight sparkle frames shows something, and the last has faded below
    // the brightest.
    PackImg sparkle("img/connected.img");
    std::vector<int> sums;
    for (int f = 0; f < 8; f++) {
        int sum = 0;
        for (int y = 0; y < 32; y++)
            for (int x = 0; x < 32; x++)
                sum += sparkle.alpha(32 * f + x, y);
        EXPECT_GT(sum, 0) << "frame " << f;
        sums.push_back(sum);
    }
    EXPECT_LT(sums[7], sums[2]);
    // The hand's hot spot, the tip of the finger, is on the hand.
    PackImg cursor("img/cursor.img");
    EXPECT_GT(cursor.alpha(10, 1), 128);
}
