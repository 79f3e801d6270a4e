// The gallery's walk-through room in a started game: where the camera looks and walks,
// walls stopping and sliding it over a long random walk, the cells and pictures a column
// shows, picking that agrees with the pixels drawn, the dirty tiles, and the look of the
// room from fixed places.
#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <tuple>

#include "image/cache.h"
#include "image/clip.h"
#include "res/ini.h"
#include "res/settings.h"
#include "rooms/gallery/g3dscene.h"
#include "tests/reference_image.h"
#include "tests/toolkit_env.h"
#include "ui/text.h"

namespace {

// A picture of the screen's format: a flat colour, or (colour TEST_PATTERN) a gradient
// with a dark outline, so a mirrored or shifted picture shows.
constexpr uint32_t TEST_PATTERN = 0xFFFFFFFF;
Img *make_picture(int32_t w, int32_t h, uint32_t colour)
{
    Img *img = img_create(w, h, IMG_SCREEN);
    ImgView v;
    img_view(&v, img, 0, 0);
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++) {
            uint32_t c = colour;
            if (colour == TEST_PATTERN)
                c = x == 0 || y == 0 || x == w - 1 || y == h - 1 ? 0x101010
                                                                 : (uint32_t)(x * 255 / w) << 16 | (uint32_t)(y * 255 / h) << 8 | 0x60;
            uint8_t *p = v.colour + (ptrdiff_t)y * v.colour_stride + x * 3;
            p[0] = (uint8_t)c, p[1] = (uint8_t)(c >> 8), p[2] = (uint8_t)(c >> 16);
        }
    return img;
}

// The camera's distance to the nearest wall.
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

// Inside the floor plan's polygon (crossings of a ray towards +x).
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
        for (Img *&c : cells)
            if (c)
                img_free(c), c = nullptr;
        g3dscene_set_pictures(nullptr);
        g3dscene_release();
        ToolkitTest::TearDown();
    }
    static void place(double x, double y, int32_t heading, int32_t width, int32_t left = 10, int32_t top = 10)
    {
        g3dscene.x = x;
        g3dscene.y = y;
        g3dscene.heading = heading;
        g3dscene_set_view(width, width / 2, left, top);
    }
    // The whole scene drawn in one frame with every tile dirty.
    static void draw()
    {
        io_video_begin_paint();
        clip_set_all(1);
        g3dscene_draw(0, 0, screen.width, screen.height);
        io_video_end_paint();
    }
    static uint32_t view_pixel(int32_t x, int32_t y) { return pixel(g3dscene.left + x, g3dscene.top + y); }
};

TEST_F(GalleryScene, TheStartLooksIntoTheHallWithWallZeroBehind)
{
    place(128, 31, 90, 148);
    EXPECT_NEAR(g3dscene.focal, 74 / std::tan(40 * M_PI / 180), 1e-9);
    EXPECT_TRUE(g3d_points[0].forward < 0 && g3d_points[1].forward < 0) << "wall 0 lies behind the camera";
    EXPECT_GT(g3d_points[9].forward, 400) << "the far wall of the hall lies ahead";
    EXPECT_NEAR(g3d_points[0].left, 64, 1e-9) << "x 64 lies to the left when looking along +y";
    int32_t hit_far_wall = 0;
    for (int32_t c = 0; c < g3dscene.width; c++) {
        const G3dColumn &col = g3dscene.columns[c];
        int32_t cell = g3dscene_cell(&col, nullptr);
        ASSERT_TRUE(col.wall > 0 && col.height > 0 && col.inner == 1) << "column " << c << " meets a wall from inside";
        EXPECT_TRUE(cell != 0 && cell != 1) << "column " << c;
        hit_far_wall += col.wall == 9;
    }
    EXPECT_EQ(g3dscene.columns[74].wall, 9) << "straight ahead";
    EXPECT_GT(hit_far_wall, 10);
    EXPECT_EQ(g3dscene.smallest_height, std::min_element(g3dscene.columns, g3dscene.columns + 148,
                                                         [](auto &a, auto &b) { return a.height < b.height; })->height);
}

TEST_F(GalleryScene, TurningWrapsAndTheKeysSpeedUpAndCoast)
{
    const struct { int32_t from, turn, want; } turns[] = {
        {5, -10, 355}, {350, 20, 10}, {90, -3700, 350}, {0, 720, 0}, {359, 1, 0}, {10, -5000, 50},
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
    const struct { int32_t turned; bool moved; } coast[] = {{5, true}, {2, true}, {1, true}, {0, false}};
    for (const auto &c : coast) {
        int32_t before = g3dscene.heading;
        EXPECT_EQ(g3dscene_tick(1 - 1, 0), c.moved);  // both keys or none: the speed halves
        EXPECT_EQ(g3dscene.heading - before, c.turned);
    }
    g3dscene.heading = 90;
    for (int i = 0; i < 30; i++)
        g3dscene_tick(0, -1);
    EXPECT_EQ(g3dscene.walk_speed, -G3D_SPEED_MAX);
    EXPECT_LT(g3dscene.y, 200 - 100) << "walking backwards from heading 90 goes towards -y";
}

TEST_F(GalleryScene, WallsStopAHeadOnWalkAndSlideASlantOne)
{
    const struct { int32_t heading; double walk; double x_lo, x_hi; } walks[] = {
        {270, 100, 128 - 1e-9, 128 + 1e-9},  // straight into wall 0: stops 10 units short
        {90, -100, 128 - 1e-9, 128 + 1e-9},  // the same backwards
        {225, 100, 64, 100},                 // slides along it towards -x
        {315, 40, 150, 160},                 // and towards +x
    };
    for (const auto &w : walks) {
        place(128, 31, w.heading, 148);
        g3dscene_move(0, w.walk);
        EXPECT_TRUE(g3dscene.y >= 11 - 1e-9 && g3dscene.y < 12) << "heading " << w.heading << ": y " << g3dscene.y;
        EXPECT_TRUE(g3dscene.x >= w.x_lo && g3dscene.x <= w.x_hi) << "heading " << w.heading << ": x " << g3dscene.x;
    }
    place(128, 31, 270, 148);
    g3dscene_move(0, 100);
    EXPECT_DOUBLE_EQ(g3dscene.y, 11) << "exactly ten units from y = 1";
    // Heading 330 meets wall 4 (at -60 degrees) 30 degrees apart: the slide goes at
    // (90 - 30) / 45 of the pace, although heading and wall angle lie 390 apart.
    place(416 - 0.8663 * 10.3, 56.5 - 0.4995 * 10.3, 330, 148);
    double x0 = g3dscene.x, y0 = g3dscene.y;
    g3dscene_move(0, 2);
    EXPECT_NEAR(std::hypot(g3dscene.x - x0, g3dscene.y - y0), 60.0 / 45, 0.01) << "one blocked step, one slide";
    EXPECT_NEAR(std::atan2(g3dscene.y - y0, g3dscene.x - x0) * 180 / M_PI, -60.0, 0.1);
    place(128, 100, 90, 148);
    g3dscene_move(0, 0.5);
    EXPECT_DOUBLE_EQ(g3dscene.y, 100.5) << "half a unit forwards is forwards";
}

TEST_F(GalleryScene, ALongRandomWalkNeverLeavesTheFloorNorNearsAWall)
{
    place(128, 31, 90, 64);
    std::mt19937 rng(20240611);
    bool wings[3] = {};  // each wing reached: the walk is not stuck in the hall
    for (int i = 0; i < 6000; i++) {
        int32_t kind = (int32_t)(rng() % 3);
        if (kind == 0)  // the keys: each axis +, - or neither (both held counts as neither)
            g3dscene_tick((int32_t)(rng() % 3) - 1, (int32_t)(rng() % 3) - 1);
        else if (kind == 1)  // mouse look: dx / 2 degrees and dy units
            g3dscene_move((int32_t)(rng() % 181) - 90, (double)((int32_t)(rng() % 81) - 40));
        else
            g3dscene_move(0, (double)((int32_t)(rng() % 401) - 200));
        double d = wall_distance(g3dscene.x, g3dscene.y);
        ASSERT_TRUE(on_floor_plan(g3dscene.x, g3dscene.y) && d >= G3D_WALL_MARGIN - 1e-9)
            << "move " << i << ": (" << g3dscene.x << ", " << g3dscene.y << ") " << d << " from a wall";
        ASSERT_TRUE(g3dscene.heading >= 0 && g3dscene.heading < 360);
        wings[0] |= g3dscene.x > 300, wings[1] |= g3dscene.y > 300, wings[2] |= g3dscene.x < -64;
        for (int32_t c = 0; c < g3dscene.width; c++)
            ASSERT_TRUE(g3dscene.columns[c].height > 0 && g3dscene.columns[c].inner == 1)
                << "move " << i << " column " << c << " at (" << g3dscene.x << ", " << g3dscene.y << ") heading "
                << g3dscene.heading << ": wall " << g3dscene.columns[c].wall << " u " << g3dscene.columns[c].u;
    }
    EXPECT_TRUE(wings[0] && wings[1] && wings[2]) << wings[0] << wings[1] << wings[2];
}

TEST_F(GalleryScene, CellsLieTwoToAWallAndMirrorOnTheInnerSide)
{
    const struct { int32_t wall; double u; int32_t inner, cell; double f; } hits[] = {
        {0, 10, 1, 0, 54},    {0, 70, 1, 1, 58},    {0, 70, 0, 1, 6},       {5, 64, 1, 11, 64},
        {17, 127.9, 1, 35, 64 - 63.9}, {17, 128.1, 1, -1, 0}, {4, 128.13, 1, -1, 0},  // past the second cell
        {-1, 10, 1, -1, 0},
    };
    for (const auto &h : hits) {
        G3dColumn col = {10, h.wall, h.u, h.inner};
        double f = -1;
        EXPECT_EQ(g3dscene_cell(&col, &f), h.cell) << "wall " << h.wall << " u " << h.u;
        EXPECT_TRUE(h.cell < 0 || std::fabs(f - h.f) < 1e-9) << "wall " << h.wall << " u " << h.u << ": f " << f;
    }
}

TEST_F(GalleryScene, APictureShowsOnlyWhereItsColumnsFallInsideTheCell)
{
    const struct { int32_t width; double f_from, f_to; } pictures[] = {
        {248, 1, 63}, {256, 0, 64}, {100, 19.5, 44.5}, {2, 31.75, 32.25},
    };
    for (const auto &p : pictures) {
        for (Img *&c : cells) {
            if (c)
                img_free(c);
            c = make_picture(p.width, 124, 0xFF0000);
        }
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
}

TEST_F(GalleryScene, PickingAgreesWithThePixelsDrawn)
{
    // Flat colours in every cell; among them pictures too wide, too thin or too tall for
    // the cell, and a cell left empty.
    const struct { int32_t w, h; } sizes[] = {{248, 124}, {248, 31}, {256, 1}, {100, 248}, {124, 400}, {0, 0}};
    for (int32_t i = 0; i < 36; i++) {
        const auto &s = sizes[i % 6];
        cells[i] = s.w ? make_picture(s.w, s.h, 0xFF0000 | (uint32_t)i << 1) : nullptr;
    }
    const struct { double x, y; int32_t heading, width; } views[] = {
        {128, 31, 90, 300}, {128, 400, 270, 148}, {400, -20, 180, 300}, {-150, 20, 30, 32}, {128, 200, 300, 600},
    };
    int32_t unseen_rows = 0;  // columns of the 8:1 picture too far away to show one row
    for (const auto &v : views) {
        place(v.x, v.y, v.heading, v.width, 5, 5);
        g3dscene_set_pictures(nullptr);
        draw();
        std::string bare = frame_copy();
        g3dscene_set_pictures(cells);
        draw();
        std::string drawn = frame_copy();
        int32_t on_pixels = 0, row = io_video_row_size(screen.width, 24);
        for (int32_t y = 0; y < g3dscene.height; y++)
            for (int32_t x = 0; x < g3dscene.width; x++) {
                bool on;
                int32_t cell = g3dscene_pick(x, y, &on);
                size_t at = (size_t)(screen.height - 1 - g3dscene.top - y) * row + (size_t)(g3dscene.left + x) * 3;
                if (on) {
                    ASSERT_EQ(view_pixel(x, y), 0xFF0000 | (uint32_t)cell << 1) << "picture pixel (" << x << ", " << y << ")";
                    on_pixels++;
                } else {
                    ASSERT_EQ(bare.compare(at, 3, drawn, at, 3), 0) << "no picture at (" << x << ", " << y << ")";
                }
            }
        EXPECT_GT(on_pixels, 0) << "from (" << v.x << ", " << v.y << ")";
        for (int32_t c = 0; c < g3dscene.width; c++) {
            double f;
            int32_t cell = g3dscene_cell(&g3dscene.columns[c], &f);
            unseen_rows += cell >= 0 && cell % 6 == 1 && f >= 1 && f < 63 && g3dscene.columns[c].height * 31 / 256 == 0;
        }
    }
    EXPECT_GT(unseen_rows, 0) << "a wide picture seen small and far is passed over, not divided by zero";
}

TEST_F(GalleryScene, AColumnThatMeetsNoWallShowsOnlyFloorAndCeiling)
{
    place(1000, 1000, 45, 148);  // outside the plan, looking away from it
    ASSERT_EQ(g3dscene.smallest_height, 0);
    io_video_begin_paint();
    draw_set_fill(0x00FF00);
    draw_fill_rect(0, 0, screen.width, screen.height);
    io_video_end_paint();
    draw();
    std::set<uint32_t> tiles[2];  // ceiling, floor
    for (int32_t i = 0; i < 2; i++) {
        int32_t handle = i ? g3dscene.floor_image : g3dscene.ceiling_image;
        const Img *img = (const Img *)cache_lock(handle);
        for (int32_t y = 0; y < 256; y++)
            for (int32_t x = 0; x < 256; x++)
                tiles[i].insert(texel(img, x, y));
        cache_unlock(handle);
    }
    for (int32_t y = 0; y < g3dscene.height; y++)
        for (int32_t x = 0; x < g3dscene.width; x++)
            ASSERT_TRUE(tiles[y >= g3dscene.height / 2].count(view_pixel(x, y)))
                << (y < g3dscene.height / 2 ? "ceiling" : "floor") << " at (" << x << ", " << y << ")";
}

TEST_F(GalleryScene, TheWallTextureStaysInsideItsColumnsAtACellsMirroredEdge)
{
    // A hit on a wall's first point seen from inside is f = 64: the texture's last column.
    place(128, 200, 90, 600);
    g3dscene.columns[300] = {256, 0, 0.0, 1};
    g3dscene.columns[301] = {256, 0, 63.999, 0};  // and f just short of 64 from outside
    draw();
    const Img *tex = g3dscene.textures[0];
    int32_t top = (g3dscene.height - 256) / 2;
    for (int32_t y = 0; y < 256; y++) {
        ASSERT_EQ(view_pixel(300, top + y), texel(tex, tex->width - 1, y * tex->height / 256)) << "row " << y;
        ASSERT_EQ(view_pixel(301, top + y), texel(tex, tex->width - 1, y * tex->height / 256)) << "row " << y;
    }
}

TEST_F(GalleryScene, DrawingReachesOnlyTheDirtyTilesAndTheViewMarksItself)
{
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
    EXPECT_GT(changed_in(before, after, 3 * g->tile_w, 2 * g->tile_h, g->tile_w, g->tile_h), 0);
    EXPECT_EQ(changed_in(before, after, 0, 0, screen.width, screen.height),
              changed_in(before, after, 3 * g->tile_w, 2 * g->tile_h, g->tile_w, g->tile_h))
        << "nothing outside the one dirty tile";
    place(128, 31, 90, 148, 100, 100);
    clip_set_all(0);
    g3dscene_invalidate();
    EXPECT_TRUE(clip_is_dirty(100, 100, 1, 1) && clip_is_dirty(247, 173, 1, 1));
    EXPECT_FALSE(clip_is_dirty(0, 0, 64, 64) || clip_is_dirty(400, 300, 64, 64));
}

TEST_F(GalleryScene, TheRoomLooksAsItShould)
{
    const struct { int32_t w, h; } sizes[] = {{248, 124}, {248, 31}, {124, 248}, {248, 248}};
    for (int32_t i = 0; i < 36; i++)
        cells[i] = i % 5 == 4 ? nullptr : make_picture(sizes[i % 5].w, sizes[i % 5].h, TEST_PATTERN);
    const struct { const char *name; double x, y; int32_t heading, width; bool cross_hair; } views[] = {
        {"g3d_start_small", 128, 31, 90, 148, false},
        {"g3d_start", 128, 31, 90, 300, true},
        {"g3d_wing_small", 400, -20, 200, 148, true},
        {"g3d_wing", 400, -20, 200, 300, false},
        {"g3d_corner_small", -150, 20, 30, 148, false},
        {"g3d_corner", -150, 20, 30, 300, true},
    };
    for (const auto &v : views) {
        place(v.x, v.y, v.heading, v.width);
        g3dscene.cross_hair = v.cross_hair;
        draw();
        EXPECT_TRUE(frame_matches_reference(v.name, g3dscene.left, g3dscene.top, g3dscene.width, g3dscene.height));
    }
}

TEST_F(GalleryScene, AMissingWallColourIsFatal)
{
    ASSERT_EQ(ini_set_string(SETTINGS_SKIN, "GALLERY", "Texture2", nullptr), 1);
    EXPECT_EXIT(g3dscene_init(), ::testing::ExitedWithCode(1), "g3dscene_init: Texture2 not found in \\[GALLERY\\] in INI file");
    EXPECT_EXIT(g3dscene_set_view(2050, 1025, 0, 0), ::testing::ExitedWithCode(1), "g3dscene_set_view: invalid view 2050 x 1025");
}

}  // namespace
