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
    // Icons and panels leave unused places empty; every other piece must be there.
    auto add = [&](const char *kind, const SkinRect *table, int n, bool gaps = false, int shared = -1) {
        for (int i = 0; i < n; i++)
            if ((!gaps || table[i].w) && i != shared)
                all.push_back({kind + (" " + std::to_string(i)), table[i]});
    };
    add("frame", skin_frame_rects, 25);
    add("title", skin_title_rects, 10);
    if (active) {
        add("icon", skin_icon_rects, SKIN_ICON_COUNT, true);
        add("track", skin_track_rects, 3);
        // The progress block is icon 30 itself, shared on purpose.
        add("panel", skin_panel_rects, SKIN_PANEL_COUNT, true, SKIN_PANEL_PROGRESS);
    }
    return all;
}

static bool overlap(const SkinRect &a, const SkinRect &b)
{
    return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
}

TEST_F(SkinData, EveryPieceLiesInsideItsPictureAloneAndPainted)
{
    for (bool active : {true, false}) {
        PackImg pic(active ? "img/active.img" : "img/inactive.img");
        ASSERT_EQ(img_check(pic.img, pic.size), 1);
        ASSERT_EQ(std::tuple(pic.img->format, pic.img->width, pic.img->height),
                  std::tuple((uint32_t)IMG_BGRA, SKIN_IMAGE_WIDTH, SKIN_IMAGE_HEIGHT));
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
    const SkinRect &progress = skin_panel_rects[SKIN_PANEL_PROGRESS], &icon = skin_icon_rects[30];
    EXPECT_EQ(std::tuple(progress.x, progress.y, progress.w, progress.h), std::tuple(icon.x, icon.y, icon.w, icon.h));
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
        EXPECT_EQ(std::tuple(pic.alpha(corner.x, corner.y), pic.alpha(corner.x + 11, corner.y + 11), pic.alpha(centre.x, centre.y)),
                  std::tuple(0, 255, 255)) << name;
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
    struct { const char *name; int w, h; } pictures[] = {
        {"img/connected.img", 256, 32},
        {"img/lttl_pzzl.img", skin_icon_rects[47].w, skin_icon_rects[47].h},
        {"img/cursor.img", 32, 32},
        {"img/options_mouse.img", 32, 32},
    };
    for (auto &p : pictures) {
        PackImg pic(p.name);
        ASSERT_EQ(img_check(pic.img, pic.size), 1) << p.name;
        EXPECT_EQ(std::tuple(pic.img->format, pic.img->width, pic.img->height), std::tuple((uint32_t)IMG_BGRA, p.w, p.h)) << p.name;
    }
    // Each of the eight sparkle frames shows something, and the last has faded below
    // the brightest.
    PackImg sparkle("img/connected.img");
    std::vector<int> sums(8);
    for (int x = 0; x < 256; x++)
        for (int y = 0; y < 32; y++)
            sums[x / 32] += sparkle.alpha(x, y);
    for (int f = 0; f < 8; f++)
        EXPECT_GT(sums[f], 0) << "frame " << f;
    EXPECT_LT(sums[7], sums[2]);
    // The hand's hot spot, the tip of the finger, is on the hand.
    PackImg cursor("img/cursor.img");
    EXPECT_GT(cursor.alpha(10, 1), 128);
}
