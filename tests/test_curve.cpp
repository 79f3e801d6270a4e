// Edge curves: loading and its limits, mirrored copies, placing, anti-aliased rasterising,
// and the pen drawing that shows curves on screen.
#include <cmath>

#include "platform/gdi.h"
#include "puzzle/curve.h"
#include "res/datapack.h"
#include "tests/curve_files.h"
#include "tests/support.h"

static std::string crv(std::initializer_list<std::pair<int32_t, int32_t>> points)
{
    std::string s;
    for (auto [x, y] : points)
        s += le32((uint32_t)x) + le32((uint32_t)y);
    return s;
}

// The test curves in the table and a 64 x 48 frame buffer open; odd files in the pack.
class Curves : public ::testing::Test {
protected:
    TempDir dir;
    Curve c{};
    void SetUp() override
    {
        img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
        write_test_curves(dir.path);
        std::string many;
        for (int i = 0; i < 129; i++)
            many += crv({{i * 10, i % 2 ? 5 : -5}});
        write_file(dir.file("seven"), crv({{100, 40}, {120, 50}, {140, 60}, {160, 40}, {200, 0}, {250, 20}, {300, 40}}));
        write_file(dir.file("thirteen"), crv({{7, 9}}) + "xyzab");
        write_file(dir.file("max"), many.substr(0, 128 * 8));
        write_file(dir.file("over"), many);
        write_file(dir.file("flat"), crv({{5, 0}, {9, 3}, {5, 8}}));
        write_file(dir.file("empty"), "1234567");
        write_file(dir.file("far"), crv({{0, 0}, {1, 60}, {2, 0}, {3, 0}}));
        dp_open((dir.path + "@").c_str());
        curves_init();
        io_video_set_driver(&test_video_driver);
        io_video_create(64, 48, 24);
        io_video_begin_paint();
    }
    void TearDown() override
    {
        io_gdi_set_pen(IO_PEN_SOLID, 0);
        io_video_end_paint();
        io_video_close();
        curves_done();
        dp_close();
    }
    CurvePoint *load(const char *name) { return curve_load(&c, dp_get_index(name, 1)), c.points; }
    static uint8_t *px(int x, int y) { return screen.buf + (ptrdiff_t)y * screen.pitch + x * 3; }
    // Pixels drawn on from (x0, y0) to (x1, y1) inclusive.
    static int drawn(int x0 = 0, int y0 = 0, int x1 = 63, int y1 = 47)
    {
        int n = 0;
        for (int y = y0; y <= y1; y++)
            for (int x = x0; x <= x1; x++)
                n += (px(x, y)[0] | px(x, y)[1] | px(x, y)[2]) != 0;
        return n;
    }
    static void clear() { memset(io_video_pixels(), 0, (size_t)io_video_row_size(64, 24) * 48); }
};

TEST_F(Curves, LoadNormalisesToTheUnitEdgeAndRefusesBrokenFiles)
{
    CurvePoint *p = load("seven");
    ASSERT_EQ(c.n, 7);
    EXPECT_EQ(std::tuple(p[0].x, p[0].y, p[3].x, p[3].y, p[6].x, p[6].y), std::tuple(0.0, 0.0, 0.3, 0.0, 1.0, 0.0))
        << "x and y both divided by the run in x, from the first point";
    EXPECT_DOUBLE_EQ(p[4].y, -0.2);
    EXPECT_EQ(std::tuple(load("thirteen")->y, c.n), std::tuple(0.0, 1)) << "a partial record is ignored";
    EXPECT_EQ((load("max"), c.n), 128);
    EXPECT_EXIT(load("over"), ::testing::ExitedWithCode(1), "curve->n>MAX_CONTROLPOINTS");
    EXPECT_EXIT(load("flat"), ::testing::ExitedWithCode(1), "curve_load: the curve ends where it starts");
    EXPECT_EXIT(load("empty"), ::testing::ExitedWithCode(1), "curve_load: no points");
    EXPECT_EXIT(load("far"), ::testing::ExitedWithCode(1), "curve_load: point 1 lies too far out");
    io_mem_free(c.points);
    for (const Curve &t : curves)
        EXPECT_EQ(std::tuple(t.points[t.n - 1].x, t.points[t.n - 1].y, (t.n - 1) % 3), std::tuple(1.0, 0.0, 0));
}

TEST_F(Curves, GetMirrorsChecksTheTypeAndMapPlacesOnAToB)
{
    int32_t n, m;
    CurvePoint *got = curve_get(3, &n);
    std::vector<CurvePoint> plain(got, got + n);
    CurvePoint *mirrored = curve_get(CURVE_MIRRORED + 3, &m);
    ASSERT_EQ(std::tuple(n, m), std::tuple(curves[3].n, curves[3].n));
    for (int i = 0; i < n; i++)
        EXPECT_EQ(std::tuple(mirrored[i].x, mirrored[i].y), std::tuple(plain[i].x, -plain[i].y)) << i;
    EXPECT_EQ(curves[3].points[5].y, plain[5].y) << "the table itself is left alone";
    EXPECT_EXIT(curve_get(8, &n), ::testing::ExitedWithCode(1), "curve_get: type out of range\\(8\\)");
    EXPECT_EXIT(curve_get(136, &n), ::testing::ExitedWithCode(1), "curve_get: type out of range\\(8\\)");

    CurvePoint p[4] = {{0.5, 0.2}, {0.5, 0.2}, {0, 0}, {1, 0}};
    curve_map(p, 1, 0, 0, 100, 0);
    curve_map(p + 1, 1, 0, 0, 0, 100);
    curve_map(p + 2, 2, 3, 7, -40, 95);
    EXPECT_EQ(std::tuple(p[0].x, p[0].y, p[1].x, p[1].y), std::tuple(50.0, 20.0, -20.0, 50.0))
        << "a positive y bulges below a left-to-right edge, left of a downward one";
    EXPECT_EQ(std::tuple(p[2].x, p[2].y, p[3].x, p[3].y), std::tuple(3.0, 7.0, -40.0, 95.0)) << "exactly on A and B";
}

// Straight segments through the corners, as a Bezier chain.
static std::vector<CurvePoint> polyline(std::initializer_list<CurvePoint> corners)
{
    std::vector<CurvePoint> v = {*corners.begin()};
    for (auto b = corners.begin() + 1; b != corners.end(); ++b) {
        CurvePoint a = v.back(), d = {(b->x - a.x) / 3, (b->y - a.y) / 3};
        v.insert(v.end(), {{a.x + d.x, a.y + d.y}, {a.x + 2 * d.x, a.y + 2 * d.y}, *b});
    }
    return v;
}

TEST_F(Curves, RasterizeAlongPixelBordersMarksTheInsideNeighbour)
{
    const struct {
        CurvePoint a, b;
        int x0, y0, x1, y1;  // the pixels expected at 254
    } cases[] = {
        {{10, 5}, {10, 25}, 9, 5, 9, 24},             // down: left of it
        {{10, 25}, {10, 5}, 10, 5, 10, 24},           // up: right of it
        {{4, 12}, {16, 12}, 4, 12, 15, 12},           // right: below it
        {{16, 12}, {4, 12}, 4, 11, 15, 11},           // left: above it
        {{10, 10}, {10.5, 10.0005}, 10, 10, 10, 10},  // from a corner along the top: whole, yet 254
    };
    for (const auto &k : cases) {
        TestImage canvas(20, 30, IMG_8BIT, 255);
        std::vector<CurvePoint> p = polyline({k.a, k.b});
        curve_rasterize(canvas.img, p.data(), (int32_t)p.size());
        for (int y = 0; y < 30; y++)
            for (int x = 0; x < 20; x++)
                ASSERT_EQ(*canvas.at(x, y), x >= k.x0 && x <= k.x1 && y >= k.y0 && y <= k.y1 ? 254 : 255)
                    << "(" << x << ", " << y << ") from (" << k.a.x << ", " << k.a.y << ")";
    }
}

TEST_F(Curves, RasterizedClockwiseSquareCoversItsArea)
{
    for (double angle : {M_PI / 4, 0.0, 0.3, 1.0, 2.2}) {
        TestImage canvas(48, 48, IMG_8BIT, 255);
        CurvePoint k[4];
        for (int i = 0; i < 4; i++)  // y points down, so a growing angle turns clockwise
            k[i] = {24.2 + 20.4 / M_SQRT2 * std::cos(angle + i * M_PI / 2), 23.7 + 20.4 / M_SQRT2 * std::sin(angle + i * M_PI / 2)};
        std::vector<CurvePoint> p = polyline({k[0], k[1], k[2], k[3], k[0]});
        curve_rasterize(canvas.img, p.data(), (int32_t)p.size());
        double area = 0;  // untouched pixels between a row's first and last outline pixel are inside
        for (int y = 0; y < 48; y++) {
            int first = 48, last = -1;
            for (int x = 0; x < 48; x++)
                if (*canvas.at(x, y) != 255)
                    first = std::min(first, x), last = x;
            for (int x = first; x <= last; x++)
                area += *canvas.at(x, y) / 255.0;
        }
        EXPECT_NEAR(area, 20.4 * 20.4, 2.0) << "angle " << angle;
    }
}

TEST_F(Curves, RasterizeNeverWrites255NorOutsideTheCanvasAndAlwaysEnds)
{
    TestImage canvas(40, 30, IMG_8BIT);
    const Img header = *canvas.img;
    // Inside, across the edges, wholly off the canvas; then points no curve file can give.
    const int32_t ends[][4] = {{8, 15, 32, 15}, {30, 3, 30, 27}, {3, 26, 37, 2}, {36, 20, 5, 18},
                               {-15, 10, 20, 40}, {38, -5, 38, 60}, {-500, 7, 900, 9}, {60, 60, 90, 70}};
    const double huge = 1e12, nan = std::nan("");
    CurvePoint wild[][4] = {{{5, 5}, {huge, 0}, {0, huge}, {30, 20}}, {{5, 5}, {nan, 1}, {6, 6}, {7, 7}},
                            {{-3e5, 3}, {-1e5, 40}, {2e5, -30}, {3e5, 20}}, {{20, 15}, {-9e5, 9e5}, {9e5, 9e5}, {20, 15}}};
    int touched = 0;
    for (int run = 0; run < 132; run++) {
        img_fill(canvas.img, 0);
        int32_t n = 4;
        CurvePoint *p = wild[run % 4];
        if (run < 128) {
            p = curve_get(run / 8 % 8 + (run >= 64 ? CURVE_MIRRORED : 0), &n);
            curve_map(p, n, ends[run % 8][0], ends[run % 8][1], ends[run % 8][2], ends[run % 8][3]);
        }
        curve_rasterize(canvas.img, p, n);
        for (uint8_t v : canvas.bytes()) {
            ASSERT_NE(v, 255) << "run " << run;
            touched += v != 0;
        }
    }
    EXPECT_GT(touched, 500);
    EXPECT_EQ(memcmp(&header, canvas.img, sizeof header), 0) << "the header before the pixels is untouched";
}

// Pen drawing, with the frame buffer the fixture opens.
class Pen : public Curves {};

TEST_F(Pen, StylesGapsAndNoPen)
{
    io_gdi_set_pen(IO_PEN_SOLID, -1);
    const IoPoint chain[4] = {{0, 40}, {20, 0}, {40, 0}, {60, 40}};
    io_gdi_line(0, 0, 63, 47);
    io_gdi_rect(2, 2, 20, 20);
    io_gdi_bezier(chain, 4);
    curve_draw(1, 10, 10, 50, 10);
    EXPECT_EQ(drawn(), 0) << "no pen, no outline";
    for (int style : {IO_PEN_SOLID, IO_PEN_DASH, IO_PEN_DOT}) {
        clear();
        io_gdi_set_pen(style, 0xFFFFFF);
        io_gdi_line(0, 10, 63, 10);
        int gaps = 64 - drawn(0, 10, 63, 10);
        EXPECT_TRUE(drawn(0, 10, 0, 10) == 1 && drawn() == 64 - gaps && (style == IO_PEN_SOLID ? gaps == 0 : gaps > 8))
            << "style " << style << ": " << gaps << " gaps";
    }
    io_video_end_paint();
    EXPECT_EXIT(io_gdi_line(0, 0, 1, 1), ::testing::ExitedWithCode(1), "io_gdi_line: screen.buf is NULL");
    io_video_begin_paint();
}

TEST_F(Pen, LinesRectanglesAndCurvesLandOnTheirPixels)
{
    io_gdi_set_pen(IO_PEN_SOLID, 0x112233);
    io_gdi_line(2, 3, 10, 7);
    EXPECT_EQ(std::tuple(px(10, 7)[0], px(10, 7)[1], px(10, 7)[2], drawn(2, 3, 2, 3), drawn(6, 5, 6, 5), drawn()),
              std::tuple(0x33, 0x22, 0x11, 1, 1, 9)) << "both ends drawn, blue first";
    clear();
    io_gdi_line(-100000, 20, 2000000000, 20);
    io_gdi_line(5, -2000000000, 5, 2000000000);
    EXPECT_EQ(std::tuple(drawn(), drawn(0, 20, 63, 20), drawn(5, 0, 5, 47)), std::tuple(64 + 47, 64, 48)) << "clipped";
    clear();
    io_gdi_rect(10, 5, 20, 10);
    EXPECT_EQ(std::tuple(drawn(), drawn(11, 6, 28, 13), drawn(29, 14, 29, 14)), std::tuple(56, 0, 1))
        << "the outline of columns 10..29 and rows 5..14 only";
    clear();
    curve_draw(0, 5, 20, 55, 20);
    EXPECT_EQ(std::tuple(drawn(5, 20, 55, 20), drawn()), std::tuple(51, 51)) << "the straight curve is the grid line";
    clear();
    curve_draw(1, 10, 10, 50, 10);
    EXPECT_EQ(std::tuple(drawn(10, 10, 10, 10), drawn(50, 10, 50, 10), drawn(0, 0, 63, 8), drawn(0, 15, 63, 47) > 5),
              std::tuple(1, 1, 0, true)) << "the knob bulges below a left-to-right edge";
    clear();
    curve_draw(CURVE_MIRRORED + 1, 10, 30, 50, 30);
    EXPECT_EQ(std::tuple(drawn(0, 32, 63, 47), drawn(0, 0, 63, 25) > 5), std::tuple(0, true)) << "mirrored: above";
}
