// Piece rendering: the light tables against hand-worked values, lit pixels, quarter
// turns, the selected tint and shadows, geometry and clipping, every drawing path against
// the pixel rules, the runs' upkeep, and the order of a frame.
#include <algorithm>
#include <array>
#include <memory>
#include <random>

#include "image/clip.h"
#include "puzzle/piece.h"
#include "tests/support.h"

// A 64 x 48 table (the screen's size, so the dirty tiles are 32 x 24), a 40 x 30 picture
// and one shape whose relief and shadow pixels the test chooses.
class Render : public ::testing::Test {
protected:
    using Rows16 = std::vector<std::vector<uint16_t>>;
    using Rows8 = std::vector<std::vector<uint8_t>>;
    std::unique_ptr<TestImage> table, picture, relief, shadow;
    Shape shape = {};
    std::mt19937 rng{77};

    void SetUp() override
    {
        img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
        light_tables_build();
        io_video_set_driver(&test_video_driver);
        io_video_create(64, 48, 24);
        clip_init();
        table = std::make_unique<TestImage>(64, 48, IMG_BGR, 200);
        picture = std::make_unique<TestImage>(40, 30, IMG_BGR, 100);
        piece_scene_set(table->img, picture->img, &shape, 1);
    }
    void TearDown() override
    {
        piece_runs_free(&shape);
        piece_force_general = 0;
        piece_scene = {};
        clip_done();
        io_video_close();
    }
    template <class T> static std::unique_ptr<TestImage> image_of(const std::vector<std::vector<T>> &rows, uint32_t format)
    {
        auto t = std::make_unique<TestImage>((int32_t)rows[0].size(), (int32_t)rows.size(), format);
        for (size_t y = 0; y < rows.size(); y++)
            memcpy(t->at(0, (int32_t)y), rows[y].data(), rows[y].size() * sizeof(T));
        return t;
    }
    void make_shape(const Rows16 &rows, const Rows8 &shadow_rows = {}, int32_t sx = 0, int32_t sy = 0)
    {
        piece_runs_free(&shape);
        relief = image_of(rows, IMG_555);
        if (!shadow_rows.empty())
            shadow = image_of(shadow_rows, IMG_8BIT);
        shape = {relief->img, shadow ? shadow->img : nullptr, 0, 0, sx, sy, nullptr};
        piece_runs_build(&shape);
    }
    // 23 x 17 relief with runs of flat, transparent and lit pixels, a 25 x 19 shadow and
    // a random picture.
    void make_random_shape()
    {
        Rows16 r(17, std::vector<uint16_t>(23));
        Rows8 s(19, std::vector<uint8_t>(25));
        for (auto &row : r)
            for (int x = 0; x < 23; x++)
                row[x] = rng() % 3 == 0 ? (uint16_t)(rng() & 0x7FFF) : x % 9 < 5 ? SHAPE_FLAT : 0;
        for (auto &row : s)
            for (auto &v : row)
                v = (uint8_t)(rng() % 2 ? rng() : 0);
        make_shape(r, s, -1, -1);
        for (int i = 0; i < 40 * 30 * 3; i++)
            picture->v.colour[i] = (uint8_t)rng();
    }
    static Rows16 flat(int w, int h) { return Rows16(h, std::vector<uint16_t>(w, SHAPE_FLAT)); }
    // Runs of lit pixels (long in the top rows), flat ones (some with stray low bits beside
    // bit 15) and transparent ones.
    Rows16 random_relief(int w, int h)
    {
        Rows16 r(h, std::vector<uint16_t>(w));
        for (int y = 0; y < h; y++)
            for (int x = 0, n = 0, kind = 0; x < w; x++, n--) {
                if (n <= 0)
                    kind = (int)(rng() % 3), n = 1 + (int)(rng() % (y < 3 && kind == 2 ? 20 : 7));
                uint16_t lit = (uint16_t)(1 + rng() % 0x7FFF), flat = rng() % 4 ? SHAPE_FLAT : (uint16_t)(0x8000 | rng());
                r[y][x] = kind == 0 ? 0 : kind == 1 ? flat : lit;
            }
        return r;
    }
    static Piece place(int32_t x, int32_t y, int32_t angle = 0, int32_t lift = 0)
    {
        Piece p = {};
        p.x = x, p.y = y, p.angle = angle, p.lift = lift;
        piece_geometry_update(&p);
        return p;
    }
    int px(int x, int y, int k = 0) const { return table->at(x, y)[k]; }
    static bool in(const PieceBox &b, int x, int y) { return x >= b.x0 && x <= b.x1 && y >= b.y0 && y <= b.y1; }
};

class Light : public Render {};

TEST_F(Light, LevelsAndTablesMatchHandWorkedValues)
{
    EXPECT_EQ(light_level(0), 16) << "flat: brightness 0.5025";
    EXPECT_EQ(light_level(24 << 4 | 5), 22) << "upper left, 60 degrees up: the highlight";
    EXPECT_EQ(light_level(56 << 4 | 5), 6) << "lower right: ambient only";
    EXPECT_EQ(light_level(8 << 4 | 5), 11);
    EXPECT_EQ(light_colour[16 << 13 | 31 << 8 | 100], 104);
    EXPECT_EQ(light_colour[16 << 13 | 15 << 8 | 100], 50) << "104 x 15 / 31";
    EXPECT_EQ(std::tuple(light_colour[31 << 13 | 31 << 8], light_colour[31 << 8 | 200]), std::tuple(255, 0));
    EXPECT_EQ(std::tuple(light_background[200 << 8 | 31], light_background[200 << 8], light_background[100 << 8 | 15]),
              std::tuple(0, 200, 52)) << "100 x 16 / 31 rounds up";
    uint16_t s = (24 << 4 | 5) << 5 | 17;
    EXPECT_EQ(light_of_shape[s], 17 << 6 | 22 << 11);
    EXPECT_EQ(light_of_shape[s | 0x8000], light_of_shape[s]) << "the upper half wraps the azimuth";
}

TEST_F(Render, QuarterTurnShiftsTheAzimuth)
{
    make_shape({{(8 << 4 | 5) << 5 | 31, (56 << 4 | 5) << 5 | 31, SHAPE_FLAT}});
    Piece p = place(10, 10);
    piece_draw(&p, PIECE_BODY);
    EXPECT_EQ(std::tuple(px(10, 10), px(11, 10), px(12, 10)), std::tuple(70, 38, 100));
    p = place(20, 20, 90);
    piece_draw(&p, PIECE_BODY);
    // A quarter turn anticlockwise: the row runs upwards, azimuth 8 becomes 24, 56 wraps to 8.
    EXPECT_EQ(std::tuple(px(20, 20), px(20, 19), px(20, 18)), std::tuple(164, 70, 100));
}

TEST_F(Render, ShadowsDarkenOnlyWhileLifted)
{
    make_shape({{SHAPE_FLAT}}, {{0, 128, 255}}, -1, 0);
    EXPECT_EQ(place(10, 10).shadow_box.x1, -1) << "a lying piece throws no shadow";
    Piece p = place(10, 10, 0, 2);
    EXPECT_EQ(std::tuple(p.shadow_box.x0, p.shadow_box.y0, p.shadow_box.x1), std::tuple(11, 12, 13));
    piece_draw(&p, PIECE_SHADOW);
    EXPECT_EQ(std::tuple(px(11, 12), px(12, 12), px(13, 12), px(10, 10)), std::tuple(200, 100, 0, 200));
}

TEST_F(Render, GeometryTurnsRoundsBoxesAndClips)
{
    make_shape(flat(11, 6));
    auto corners = [](const Piece &p) {
        std::vector<double> v;
        for (const QuadPoint &q : p.body_quad)
            v.insert(v.end(), {q.x, q.y});
        return v;
    };
    EXPECT_EQ(corners(place(20, 30, 90)), (std::vector<double>{20, 30, 20, 20, 25, 20, 25, 30}));
    EXPECT_EQ(corners(place(20, 30, 180)), (std::vector<double>{20, 30, 10, 30, 10, 25, 20, 25}));
    EXPECT_EQ(corners(place(20, 30, 45)), (std::vector<double>{20, 30, 27, 23, 31, 26, 24, 34}));
    EXPECT_EQ(corners(place(-20, -30, 45)), (std::vector<double>{-20, -30, -13, -37, -9, -34, -16, -26}));
    auto box = [](const PieceBox &b) { return std::tuple(b.x0, b.y0, b.x1, b.y1); };
    for (int angle = 0; angle < 360; angle++) {  // the quarter's corners are the extremes
        Piece p = place(30, 20, angle);
        auto [x0, x1] = std::minmax({p.body_quad[0].x, p.body_quad[1].x, p.body_quad[2].x, p.body_quad[3].x});
        auto [y0, y1] = std::minmax({p.body_quad[0].y, p.body_quad[1].y, p.body_quad[2].y, p.body_quad[3].y});
        ASSERT_EQ(box(p.body_box), std::tuple((int)x0, (int)y0, (int)x1, (int)y1)) << "angle " << angle;
    }
    Piece p = place(-5, 45);
    EXPECT_EQ(box(p.body_box), std::tuple(0, 45, 5, 47)) << "clipped to the table";
    EXPECT_EQ(std::tuple(p.drawn_x, p.drawn_y), std::tuple(-5, 45));
}

TEST_F(Render, PiecesOffTheTableDrawAndMarkOnlyWhatIsOnIt)
{
    make_random_shape();
    clip_set_all(0);
    Piece far = place(100, 10, 0, 2), corner = place(-10, -8);
    piece_dirty_rect(&far);
    EXPECT_EQ(std::tuple(far.body_box.x1, far.shadow_box.x1, clip_is_dirty(0, 0, 64, 48)), std::tuple(-1, -1, 0));
    piece_dirty_rect(&corner);
    EXPECT_EQ(std::tuple(clip_grid()->flags[0], clip_is_dirty(32, 0, 32, 48)), std::tuple(1, 0));

    // Around and beyond every corner and edge, at many angles, some with the relief
    // reaching past the picture: nothing changes outside the boxes (nothing at all for
    // x = 100), and the sanitizer build checks every access.
    for (int angle : {0, 17, 45, 90, 135, 180, 225, 270, 315})
        for (int x : {-30, -12, -1, 20, 50, 63, 70, 100})
            for (int y : {-25, -9, 0, 15, 40, 47, 55}) {
                std::vector<uint8_t> before = table->bytes();
                Piece p = place(x, y, angle, 2);
                p.selected = (x + y) & 1;
                p.home_x = x == 20 ? -6 : x == 50 ? 30 : 0;
                p.home_y = x == 20 ? -5 : x == 50 ? 20 : 0;
                piece_draw(&p, PIECE_SHADOW);
                piece_draw(&p, PIECE_BODY);
                for (int ty = 0; ty < 48; ty++)
                    for (int tx = 0; tx < 64; tx++)
                        if (!in(p.body_box, tx, ty) && !in(p.shadow_box, tx, ty)) {
                            ASSERT_EQ(memcmp(table->at(tx, ty), before.data() + (ty * 64 + tx) * 3, 3), 0)
                                << tx << "," << ty << " piece at " << x << "," << y << " angle " << angle;
                        }
            }
}

TEST_F(Render, TurnedPiecesCoverTheirAreaInsideTheirBox)
{
    make_shape(flat(23, 17));
    img_fill(picture->img, 50);
    for (int angle : {30, 45, 137, 301}) {
        img_fill(table->img, 200);
        Piece p = place(30, 22, angle);
        piece_draw(&p, PIECE_BODY);
        int inside = 0, outside = 0;
        for (int y = 0; y < 48; y++)
            for (int x = 0; x < 64; x++)
                if (px(x, y) == 50)
                    (in(p.body_box, x, y) ? inside : outside)++;
        EXPECT_EQ(outside, 0) << "angle " << angle;
        EXPECT_NEAR(inside, 23 * 17, 23 * 17 / 10) << "angle " << angle;
    }
}

TEST_F(Render, FrameDrawsLyingBodiesThenShadowsThenLiftedBodies)
{
    make_shape(flat(4, 4), Rows8(4, std::vector<uint8_t>(4, 255)));
    Piece pieces[3] = {};
    for (int i = 0; i < 3; i++) {
        img_fill_rect(picture->img, (uint8_t)(10 * (i + 1)), 4 * i, 0, 4, 4);
        pieces[i].home_x = 4 * i;
        pieces[i].below = i - 1, pieces[i].above = i < 2 ? i + 1 : -1;
        pieces[i].dirty = 1;
    }
    pieces[0].x = 40, pieces[0].y = 30;
    piece_geometry_update(&pieces[0]);  // where piece 0 was last drawn
    pieces[0].x = 2, pieces[0].y = 2;
    pieces[1].x = 4, pieces[1].y = 2;
    pieces[2].x = 5, pieces[2].y = 1, pieces[2].lift = 2;
    clip_set_all(0);
    pieces_draw_frame(pieces, 3, 0);
    EXPECT_EQ(std::tuple(px(3, 2), px(4, 2), px(8, 4), px(7, 5), px(9, 5), px(9, 7)), std::tuple(10, 20, 30, 0, 0, 200))
        << "1 over 0, the lifted body over its own shadow, the shadow over 1";
    EXPECT_EQ(std::tuple(pieces[0].dirty, pieces[2].dirty, pieces[2].body_box.x0), std::tuple(0, 0, 5));
    const uint8_t *tiles = clip_grid()->flags;
    EXPECT_EQ(std::vector<int>(tiles, tiles + 4), (std::vector<int>{1, 0, 0, 1})) << "old and new places marked";
}

TEST_F(Render, EveryPathDrawsWhatThePixelRulesSay)
{
    // Where each table pixel's source lies is found by drawing a flat piece of the same
    // size from a picture that holds its own coordinates; every pixel of the real drawing
    // is then held to the pixel rules, worked out here from the lighting tables.
    TestImage probe(40, 30, IMG_BGR);
    for (int y = 0; y < 30; y++)
        for (int x = 0; x < 40; x++)
            memcpy(probe.at(x, y), std::array<uint8_t, 3>{(uint8_t)x, (uint8_t)y, 255}.data(), 3);
    auto rule = [](const uint8_t *t, uint16_t s, const uint8_t *p, int selected, int angle, int c) -> int {
        int pc = c == 2 && selected ? 255 : p[c];
        if (s == 0)
            return t[c];
        if (s & 0x8000)
            return pc;
        int e = light_of_shape[(s + ((angle * 64 / 360) << 9)) & 0xFFFF];
        return (light_background[t[c] << 8 | (s & 31)] + light_colour[(e >> 6) << 8 | pc]) & 255;
    };
    for (auto [w, h] : {std::pair(37, 29), std::pair(5, 9), std::pair(23, 17)})
        for (int angle : {0, 90, 180, 270, 45, 17, 301})
            for (auto [x, y, hx, hy] : {std::tuple(12, 9, 1, 0), std::tuple(-9, -6, 10, 3), std::tuple(44, 33, 0, 2)}) {
                Rows16 r = random_relief(w, h);
                make_shape(flat(w, h));
                Piece p = place(x, y, angle);
                p.home_x = hx, p.home_y = hy;
                img_fill(table->img, 0);
                piece_scene.picture = probe.img;
                piece_draw(&p, PIECE_BODY);
                std::vector<uint8_t> where = table->bytes();
                make_shape(r);
                piece_scene.picture = picture->img;
                for (int i = 0; i < 40 * 30 * 3; i++)
                    picture->v.colour[i] = (uint8_t)rng();
                for (int selected : {0, 1}) {
                    for (int i = 0; i < 64 * 48 * 3; i++)
                        table->v.colour[i] = (uint8_t)rng();
                    std::vector<uint8_t> before = table->bytes();
                    p.selected = selected;
                    piece_draw(&p, PIECE_BODY);
                    for (int i = 0; i < 64 * 48 * 3; i += 3) {
                        const uint8_t *src = &where[i], *t = &before[i];
                        uint16_t s = src[2] == 255 ? r[src[1] - hy][src[0] - hx] : 0;
                        for (int c = 0; c < 3; c++) {
                            int want = rule(t, s, picture->at(src[0], src[1]), selected, angle, c);
                            ASSERT_EQ(table->v.colour[i + c], want)
                                << "pixel " << i / 3 % 64 << "," << i / 192 << " byte " << c << " shape " << w << "x" << h
                                << " angle " << angle << " at " << x << "," << y << " selected " << selected << " s " << s;
                        }
                    }
                }
            }
}

TEST_F(Render, RunsComeAndGoWithTheirShapeAndOnlyFitTheirOwnImage)
{
    int32_t held = blocks_held();
    make_shape(random_relief(23, 17));
    ASSERT_NE(shape.runs, nullptr);
    EXPECT_EQ(std::tuple(shape.runs->width, shape.runs->height, blocks_held()), std::tuple(23, 17, held + 2));
    piece_runs_build(&shape);  // built again: the old ones go
    Img *kept = shape.relief;
    TestImage wide(8193, 1, IMG_555), other(17, 23, IMG_555, 0);
    shape.relief = wide.img;
    piece_runs_build(&shape);
    EXPECT_EQ(std::tuple(shape.runs, blocks_held()), std::tuple(nullptr, held + 3)) << "no runs for undrawable images";

    // Runs left from another image are not used: the transparent 17 x 23 image draws nothing.
    shape.relief = kept;
    piece_runs_build(&shape);
    shape.relief = other.img;
    img_fill(picture->img, 7);
    Piece p = place(10, 10);
    piece_draw(&p, PIECE_BODY);
    std::vector<uint8_t> after = table->bytes();
    EXPECT_EQ(std::count(after.begin(), after.end(), 7), 0);
    shape.relief = kept;
    piece_runs_free(&shape);
    piece_runs_free(&shape);
    EXPECT_EQ(std::tuple(shape.runs, blocks_held()), std::tuple(nullptr, held + 3));
    // A shape loaded from a cut cache has none; its first upright draw makes them.
    piece_draw(&p, PIECE_BODY);
    EXPECT_NE(shape.runs, nullptr) << "runs made on the first upright draw";
}
