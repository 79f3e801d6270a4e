// The gallery's walk-through room in a started game: where the camera looks, turns and
// walks, walls stopping and sliding it over a long random walk, the cells and pictures a
// column shows, picking against the pixels drawn, the dirty tiles, and the room's look.
#include <cmath>
#include <random>
#include <set>

#include "image/cache.h"
#include "image/clip.h"
#include "res/ini.h"
#include "res/settings.h"
#include "rooms/gallery/g3dscene.h"
#include "tests/reference_image.h"
#include "tests/toolkit_env.h"
#include "ui/text.h"

namespace {

// A picture of the screen's format in a flat colour, or (PATTERN) a gradient with a dark
// outline, so that a mirrored or shifted picture shows.
constexpr uint32_t PATTERN = 0xFFFFFFFF;
Img *make_picture(int32_t w, int32_t h, uint32_t colour)
{
    Img *img = img_create(w, h, IMG_SCREEN);
    ImgView v;
    img_view(&v, img, 0, 0);
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++) {
            bool edge = x == 0 || y == 0 || x == w - 1 || y == h - 1;
            uint32_t c = colour != PATTERN ? colour : edge ? 0x101010 : (x * 255 / w) << 16 | (y * 255 / h) << 8 | 0x60;
            uint8_t *p = v.colour + (ptrdiff_t)y * v.colour_stride + x * 3;
            p[0] = (uint8_t)c, p[1] = (uint8_t)(c >> 8), p[2] = (uint8_t)(c >> 16);
        }
    return img;
}

// The distance to the nearest wall, and whether the point lies inside the floor plan.
double wall_distance(double x, double y)
{
    double best = 1e9;
    for (const G3dWall &w : g3d_walls) {
        const G3dPoint &a = g3d_points[w.first], &b = g3d_points[w.second];
        double dx = b.x - a.x, dy = b.y - a.y;
        double p = std::clamp(((x - a.x) * dx + (y - a.y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
        best = std::min(best, std::hypot(a.x + p * dx - x, a.y + p * dy - y));
    }
    return best;
}
bool on_floor_plan(double x, double y)
{
    bool inside = false;
    for (const G3dWall &w : g3d_walls) {
        const G3dPoint &a = g3d_points[w.first], &b = g3d_points[w.second];
        if ((a.y > y) != (b.y > y) && x < a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y))
            inside = !inside;
    }
    return inside;
}

uint32_t texel(const Img *img, int32_t x, int32_t y)
{
    const uint8_t *p = (const uint8_t *)img + img->colour_offset + (size_t)y * img->colour_stride + (size_t)x * 3;
    return (uint32_t)(p[2] << 16 | p[1] << 8 | p[0]);
}

class GalleryScene : public ToolkitTest {
protected:
    Img *cells[G3D_CELLS] = {};
    void SetUp() override
    {
        ToolkitTest::SetUp();
        g3dscene_init();
        g3dscene_set_pictures(cells);
    }
    void TearDown() override
    {
        hang([](int32_t) { return (Img *)nullptr; });
        g3dscene_set_pictures(nullptr);
        g3dscene_release();
        ToolkitTest::TearDown();
    }
    template <typename Fn> void hang(Fn picture_of)
    {
        for (int32_t i = 0; i < G3D_CELLS; i++) {
            if (cells[i])
                img_free(cells[i]);
            cells[i] = picture_of(i);
        }
    }
    static void place(double x, double y, int32_t heading, int32_t width, int32_t left = 10, int32_t top = 10)
    {
        g3dscene.x = x, g3dscene.y = y, g3dscene.heading = heading;
        g3dscene_set_view(width, width / 2, left, top);
    }
    // The whole scene in one frame with every tile dirty.
    static void draw()
    {
        io_video_begin_paint();
        clip_set_all(1);
        g3dscene_draw(0, 0, screen.width, screen.height);
        io_video_end_paint();
    }
    static uint32_t view_pixel(int32_t x, int32_t y) { return pixel(g3dscene.left + x, g3dscene.top + y); }
};

TEST_F(GalleryScene, TheStartLooksIntoTheHallAndCellsLieTwoToAWall)
{
    place(128, 31, 90, 148);
    EXPECT_NEAR(g3dscene.focal, 74 / std::tan(40 * M_PI / 180), 1e-9);
    EXPECT_TRUE(g3d_points[0].forward < 0 && g3d_points[1].forward < 0) << "wall 0 lies behind";
    EXPECT_NEAR(g3d_points[0].left, 64, 1e-9) << "x 64 lies to the left when looking along +y";
    for (int32_t c = 0; c < g3dscene.width; c++) {
        const G3dColumn &col = g3dscene.columns[c];
        int32_t cell = g3dscene_cell(&col, nullptr);
        ASSERT_TRUE(col.wall > 0 && col.height > 0 && col.inner == 1 && cell != 0 && cell != 1) << "column " << c;
    }
    EXPECT_EQ(g3dscene.columns[74].wall, 9) << "straight ahead, the hall's far wall";
    const struct { int32_t wall; double u; int32_t inner, cell; double f; } hits[] = {
        {0, 10, 1, 0, 54}, {0, 70, 1, 1, 58}, {0, 70, 0, 1, 6}, {5, 64, 1, 11, 64}, {17, 127.9, 1, 35, 0.1},
        {17, 128.1, 1, -1, 0}, {4, 128.13, 1, -1, 0},  // past the second cell: not the next wall's, nor 36
        {-1, 10, 1, -1, 0},
    };
    for (const auto &h : hits) {
        G3dColumn col = {10, h.wall, h.u, h.inner};
        double f = -1;
        EXPECT_EQ(g3dscene_cell(&col, &f), h.cell) << "wall " << h.wall << " u " << h.u;
        EXPECT_TRUE(h.cell < 0 || std::fabs(f - h.f) < 1e-9) << "wall " << h.wall << " u " << h.u << ": f " << f;
    }
}

TEST_F(GalleryScene, TurningWrapsAndTheKeysSpeedUpAndCoast)
{
    const struct { int32_t from, turn, want; } turns[] = {
        {5, -10, 355}, {350, 20, 10}, {90, -3700, 350}, {0, 720, 0}, {10, -5000, 50},
    };
    for (const auto &t : turns) {
        place(128, 31, t.from, 148);
        g3dscene_move(t.turn, 0);
        EXPECT_EQ(g3dscene.heading, t.want) << t.from << " turned by " << t.turn;
    }
    place(128, 200, 90, 148);
    g3dscene.turn_speed = g3dscene.walk_speed = 0;
    for (int i = 0; i < 12; i++)
        EXPECT_TRUE(g3dscene_tick(1, 0));
    EXPECT_EQ(g3dscene.heading, 90 + 55 + 10 + 10) << "1 + 2 + ... + 10, then held at 10";
    for (int32_t turned : {5, 2, 1, 0}) {  // no key (or both): the speed halves
        int32_t before = g3dscene.heading;
        EXPECT_EQ(g3dscene_tick(0, 0), turned != 0);
        EXPECT_EQ(g3dscene.heading - before, turned);
    }
}

TEST_F(GalleryScene, WallsStopAHeadOnWalkAndSlideASlantOne)
{
    const struct { int32_t heading; double walk, x_lo, x_hi; } walks[] = {
        {270, 100, 128, 128},  // straight into wall 0: stops ten units short
        {90, -100, 128, 128},  // the same backwards
        {225, 100, 64, 100},   // slides along it towards -x
        {315, 40, 150, 160},   // and towards +x
    };
    for (const auto &w : walks) {
        place(128, 31, w.heading, 148);
        g3dscene_move(0, w.walk);
        const double x = g3dscene.x, y = g3dscene.y;
        EXPECT_TRUE(y >= 11 - 1e-9 && y < 12 && x > w.x_lo - 1e-9 && x < w.x_hi + 1e-9)
            << "heading " << w.heading << ": (" << g3dscene.x << ", " << g3dscene.y << ")";
    }
    // Heading 330 meets wall 4 (at -60 degrees) 30 degrees apart, although the two lie
    // 390 apart: one blocked step, then a slide at (90 - 30) / 45 of the pace.
    place(416 - 0.8663 * 10.3, 56.5 - 0.4995 * 10.3, 330, 148);
    double x0 = g3dscene.x, y0 = g3dscene.y;
    g3dscene_move(0, 2);
    EXPECT_NEAR(std::hypot(g3dscene.x - x0, g3dscene.y - y0), 60.0 / 45, 0.01);
    EXPECT_NEAR(std::atan2(g3dscene.y - y0, g3dscene.x - x0) * 180 / M_PI, -60.0, 0.1);
    place(128, 100, 90, 148);
    g3dscene_move(0, 0.5);
    EXPECT_DOUBLE_EQ(g3dscene.y, 100.5) << "half a unit forwards is forwards";
}

TEST_F(GalleryScene, ALongRandomWalkNeverLeavesTheFloorNorNearsAWall)
{
    place(128, 31, 90, 64);
    std::mt19937 rng(20240611);
    bool wings[3] = {};  // each wing reached: the walk did not stick in the hall
    const int32_t far[3] = {0, 40, 200};
    for (int i = 0; i < 6000; i++) {
        int32_t kind = (int32_t)(rng() % 3);
        if (kind == 0)  // the keys: each axis +, - or neither (both held counts as neither)
            g3dscene_tick((int32_t)(rng() % 3) - 1, (int32_t)(rng() % 3) - 1);
        else  // mouse look, and long walks
            g3dscene_move((int32_t)(rng() % 181) - 90, (double)((int32_t)(rng() % (2 * far[kind] + 1)) - far[kind]));
        double d = wall_distance(g3dscene.x, g3dscene.y);
        ASSERT_TRUE(on_floor_plan(g3dscene.x, g3dscene.y) && d >= G3D_WALL_MARGIN - 1e-9 && g3dscene.heading >= 0 &&
                    g3dscene.heading < 360)
            << "move " << i << ": (" << g3dscene.x << ", " << g3dscene.y << ") " << d << " from a wall";
        wings[0] |= g3dscene.x > 300, wings[1] |= g3dscene.y > 300, wings[2] |= g3dscene.x < -64;
        for (int32_t c = 0; c < g3dscene.width; c++)  // from inside every ray meets a wall's inner face
            ASSERT_TRUE(g3dscene.columns[c].height > 0 && g3dscene.columns[c].inner == 1)
                << "move " << i << " column " << c << " at (" << g3dscene.x << ", " << g3dscene.y << ") heading "
                << g3dscene.heading << ": wall " << g3dscene.columns[c].wall << " u " << g3dscene.columns[c].u;
    }
    EXPECT_TRUE(wings[0] && wings[1] && wings[2]);
}

TEST_F(GalleryScene, APictureShowsWhereItsColumnsFallInsideTheCellAndPickingAgrees)
{
    const struct { int32_t width; double f_from, f_to; } widths[] = {
        {248, 1, 63}, {256, 0, 64}, {100, 19.5, 44.5}, {2, 31.75, 32.25},
    };
    for (const auto &p : widths) {
        hang([&](int32_t) { return make_picture(p.width, 124, 0xFF0000); });
        place(128, 200, 135, 2048, -500, 0);
        int32_t shown = 0;
        for (int32_t c = 0; c < g3dscene.width; c++) {
            double f;
            bool on;
            if (g3dscene_cell(&g3dscene.columns[c], &f) < 0)
                continue;
            g3dscene_pick(c, g3dscene.height / 2, &on);
            EXPECT_EQ(on, f >= p.f_from && f < p.f_to) << p.width << " wide, column " << c << ", f " << f;
            shown += on;
        }
        EXPECT_GT(shown, 0) << p.width;
    }
    // Flat colours, among them pictures too wide, too thin or too tall for a cell, and an
    // empty cell: a pixel is a picture's exactly where picking says so.
    const struct { int32_t w, h; } sizes[] = {{248, 124}, {248, 31}, {256, 1}, {100, 248}, {124, 400}, {0, 0}};
    hang([&](int32_t i) {
        const auto &s = sizes[i % 6];
        return s.w ? make_picture(s.w, s.h, 0xFF0000 | i << 1) : nullptr;
    });
    const struct { double x, y; int32_t heading, width; } views[] = {
        {128, 31, 90, 300}, {128, 400, 270, 148}, {400, -20, 180, 300}, {-150, 20, 30, 32}, {128, 200, 300, 600},
    };
    int32_t unseen = 0;  // columns of the 8:1 picture too far away to show one row
    for (const auto &v : views) {
        place(v.x, v.y, v.heading, v.width, 5, 5);
        g3dscene_set_pictures(nullptr);
        draw();
        std::string bare = frame_copy();
        g3dscene_set_pictures(cells);
        draw();
        int32_t on_pixels = 0;
        for (int32_t y = 0; y < g3dscene.height; y++)
            for (int32_t x = 0; x < g3dscene.width; x++) {
                bool on;
                int32_t cell = g3dscene_pick(x, y, &on);
                uint32_t want = on ? 0xFF0000 | cell << 1 : 0;
                if (!on) {
                    const uint8_t *b = (const uint8_t *)bare.data() + (size_t)(screen.height - 1 - g3dscene.top - y) *
                                       io_video_row_size(screen.width, 24) + (size_t)(g3dscene.left + x) * 3;
                    want = (uint32_t)(b[2] << 16 | b[1] << 8 | b[0]);
                }
                ASSERT_EQ(view_pixel(x, y), want) << (on ? "picture" : "bare") << " at (" << x << ", " << y << ")";
                on_pixels += on;
            }
        EXPECT_GT(on_pixels, 0) << "from (" << v.x << ", " << v.y << ")";
        for (int32_t c = 0; c < g3dscene.width; c++) {
            double f;
            int32_t cell = g3dscene_cell(&g3dscene.columns[c], &f);
            unseen += cell % 6 == 1 && f >= 1 && f < 63 && g3dscene.columns[c].height * 31 / 256 == 0;
        }
    }
    EXPECT_GT(unseen, 0) << "a wide picture seen small and far is passed over, not divided by zero";
}

TEST_F(GalleryScene, DrawingFillsTheViewFromItsTexturesAndOnlyTheDirtyTiles)
{
    // Outside the plan looking away no ray meets a wall: ceiling above, floor below.
    place(1000, 1000, 45, 148);
    ASSERT_EQ(g3dscene.smallest_height, 0);
    io_video_begin_paint();
    draw_set_fill(0x00FF00);
    draw_fill_rect(0, 0, screen.width, screen.height);
    io_video_end_paint();
    draw();
    std::set<uint32_t> tiles[2];
    for (int32_t i = 0; i < 2; i++) {
        int32_t handle = i ? g3dscene.floor_image : g3dscene.ceiling_image;
        const Img *tile = (const Img *)cache_lock(handle);
        for (int32_t t = 0; t < 256 * 256; t++)
            tiles[i].insert(texel(tile, t & 255, t >> 8));
        cache_unlock(handle);
    }
    for (int32_t y = 0; y < g3dscene.height; y++)
        for (int32_t x = 0; x < g3dscene.width; x++)
            ASSERT_TRUE(tiles[y >= g3dscene.height / 2].count(view_pixel(x, y))) << "(" << x << ", " << y << ")";
    // A hit on a wall's first point seen from inside is f = 64: the texture's last column.
    place(128, 200, 90, 600);
    g3dscene.columns[300] = {256, 0, 0.0, 1};
    g3dscene.columns[301] = {256, 0, 63.999, 0};
    draw();
    const Img *tex = g3dscene.textures[0];
    for (int32_t y = 0; y < 256; y++) {
        uint32_t want = texel(tex, tex->width - 1, y * tex->height / 256);
        ASSERT_TRUE(view_pixel(300, 22 + y) == want && view_pixel(301, 22 + y) == want) << "row " << y;
    }
    // A turn drawn with one dirty tile changes that tile only; the view marks itself.
    place(128, 31, 90, 600, 0, 0);
    draw();
    std::string before = frame_copy();
    g3dscene_move(20, 0);
    const ClipGrid *g = clip_grid();
    io_video_begin_paint();
    clip_set_all(0);
    clip_invalidate(3 * g->tile_w, 2 * g->tile_h, 1, 1);
    g3dscene_draw(0, 0, screen.width, screen.height);
    io_video_end_paint();
    std::string after = frame_copy();
    int32_t in_tile = changed_in(before, after, 3 * g->tile_w, 2 * g->tile_h, g->tile_w, g->tile_h);
    EXPECT_GT(in_tile, 0);
    EXPECT_EQ(changed_in(before, after, 0, 0, screen.width, screen.height), in_tile) << "nothing outside the tile";
    place(128, 31, 90, 148, 100, 100);
    clip_set_all(0);
    g3dscene_invalidate();
    EXPECT_TRUE(clip_is_dirty(100, 100, 1, 1) && clip_is_dirty(247, 173, 1, 1));
    EXPECT_FALSE(clip_is_dirty(0, 0, 64, 64) || clip_is_dirty(400, 300, 64, 64));
}

TEST_F(GalleryScene, TheRoomLooksAsItShould)
{
    const struct { int32_t w, h; } sizes[] = {{248, 124}, {248, 31}, {124, 248}, {248, 248}, {0, 0}};
    hang([&](int32_t i) {
        const auto &s = sizes[i % 5];
        return i < 36 && s.w ? make_picture(s.w, s.h, PATTERN) : nullptr;
    });
    const struct { const char *name; double x, y; int32_t heading, width; bool cross_hair; } views[] = {
        {"g3d_start_small", 128, 31, 90, 148, false}, {"g3d_start", 128, 31, 90, 300, true},
        {"g3d_wing_small", 400, -20, 200, 148, true}, {"g3d_wing", 400, -20, 200, 300, false},
        {"g3d_corner_small", -150, 20, 30, 148, false}, {"g3d_corner", -150, 20, 30, 300, true},
    };
    for (const auto &v : views) {
        place(v.x, v.y, v.heading, v.width);
        g3dscene.cross_hair = v.cross_hair;
        draw();
        EXPECT_TRUE(frame_matches_reference(v.name, g3dscene.left, g3dscene.top, g3dscene.width, g3dscene.height));
    }
}

TEST_F(GalleryScene, AMissingWallColourOrAnOversizedViewIsFatal)
{
    ASSERT_EQ(ini_set_string(SETTINGS_SKIN, "GALLERY", "Texture2", nullptr), 1);
    EXPECT_EXIT(g3dscene_init(), ::testing::ExitedWithCode(1),
                "g3dscene_init: Texture2 not found in \\[GALLERY\\] in INI file");
    EXPECT_EXIT(g3dscene_set_view(2050, 1025, 0, 0), ::testing::ExitedWithCode(1),
                "g3dscene_set_view: invalid view 2050 x 1025");
}

}  // namespace
