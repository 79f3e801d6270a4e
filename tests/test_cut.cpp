// Cutting: the jittered grid, neighbours, repeatable shapes, pieces that together cover
// the puzzle exactly once, the cut preview, and the cut cache with damaged files refused.
#include <algorithm>
#include <cmath>
#include <random>
#include <span>

#include "platform/gdi.h"
#include "platform/random.h"
#include "puzzle/curve.h"
#include "puzzle/cut.h"
#include "res/datapack.h"
#include "tests/curve_files.h"
#include "tests/support.h"
#include "ui/text.h"

class Cut : public ::testing::Test {
protected:
    TempDir dir;
    BoxInfo box = {};
    void SetUp() override
    {
        img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
        write_test_curves(dir.path);
        dp_open((dir.path + "@").c_str());
        curves_init();
    }
    void TearDown() override
    {
        cut_set_progress(nullptr);
        cut_result_free();
        cut_grid_free();
        curves_done();
        dp_close();
    }
    void grid(int32_t w, int32_t h, int32_t size, int32_t jitter)
    {
        box = {};
        box.piece_size = size;
        box.jitter = jitter;
        box.shape = 1;
        box.picture_width = w;
        box.picture_height = h;
        cut_grid_init(&box);
    }
    void cut(int32_t w, int32_t h, int32_t size, int32_t jitter)
    {
        grid(w, h, size, jitter);
        cut_pieces_build();
        cut_grid_free();
    }
    static const GridPoint &point(int32_t col, int32_t row) { return cut_grid.points[row * (cut_grid.columns + 1) + col]; }
    static uint16_t shape_pixel(const Shape &s, int32_t x, int32_t y)
    {
        uint16_t v;
        memcpy(&v, (uint8_t *)s.relief + s.relief->colour_offset + (y * s.relief->width + x) * 2, 2);
        return v;
    }
    // Everything a cut produced, as bytes to compare.
    static std::string result_bytes()
    {
        auto bytes = [](const Img *i) { return i ? std::string((const char *)i, 36 + i->colour_stride * i->height) : ""; };
        std::string s((const char *)cut_result.pieces, cut_result.piece_count * sizeof(CutPiece));
        for (const Shape &sh : std::span(cut_result.shapes, cut_result.shape_count))
            s += le32(sh.mask_x) + le32(sh.mask_y) + le32(sh.shadow_x) + le32(sh.shadow_y) + bytes(sh.relief) + bytes(sh.shadow);
        return s + le32(cut_result.shadow_distance);
    }
    // The pieces' coverage (0..31) summed per picture pixel at their home places: the
    // pixels outside the grid that are covered, and those inside whose sum is not within
    // lo .. hi; (-1, -1) when a piece leaves the picture.
    std::pair<int, int> cover_faults(int lo, int hi) const
    {
        int32_t w = box.picture_width, h = box.picture_height, gx = cut_grid.origin_x, gy = cut_grid.origin_y;
        std::vector<int> sum((size_t)w * h, 0);
        for (const CutPiece &p : std::span(cut_result.pieces, cut_result.piece_count)) {
            const Shape &s = cut_result.shapes[p.shape];
            int32_t x0 = p.home_x + s.mask_x, y0 = p.home_y + s.mask_y;
            if (x0 < 0 || y0 < 0 || x0 + s.relief->width > w || y0 + s.relief->height > h)
                return {-1, -1};
            for (int32_t y = 0; y < s.relief->height; y++)
                for (int32_t x = 0; x < s.relief->width; x++) {
                    uint16_t v = shape_pixel(s, x, y);
                    sum[(size_t)(y0 + y) * w + x0 + x] += v == SHAPE_FLAT ? 31 : v & 31;
                }
        }
        int outside = 0, off = 0;
        for (int32_t y = 0; y < h; y++)
            for (int32_t x = 0; x < w; x++) {
                int v = sum[(size_t)y * w + x];
                bool in = x >= gx && y >= gy && x < gx + cut_grid.columns * box.piece_size && y < gy + cut_grid.rows * box.piece_size;
                (in ? off : outside) += in ? v < lo || v > hi : v != 0;
            }
        return {outside, off};
    }
    std::string save()
    {
        InDir in(dir.path);
        EXPECT_EQ(cut_cache_save("Lake", &id), 1);
        return read_file(dir.file("sfiles/temp/Lake.tmp"));
    }
    int load(const std::string &bytes)
    {
        write_file(dir.file("sfiles/temp/Lake.tmp"), bytes);
        InDir in(dir.path);
        return cut_cache_load("Lake", &id, &box);
    }
    ChunkId id = {{11, 22, 33, 125}};
};

TEST_F(Cut, GridCountsOriginsAndJitter)
{
    int32_t c, r, ox, oy;
    grid(640, 480, 32, 0);
    EXPECT_EQ(std::tuple(cut_grid.columns, cut_grid.rows, cut_grid.origin_x, cut_grid.origin_y, box.piece_count),
              std::tuple(20, 15, 0, 0, 300));
    EXPECT_EQ(std::tuple(point(1, 1).htype, point(1, 1).vtype, point(2, 1).htype, point(2, 1).vtype), std::tuple(1, 1, 129, 129))
        << "tabs alternate like a checkerboard";
    EXPECT_EQ(std::tuple(point(0, 3).vtype, point(20, 3).vtype, point(4, 0).htype, point(4, 15).htype), std::tuple(0, 0, 0, 0))
        << "border edges are straight";
    grid(640, 480, 100, 0);
    cut_grid_measure(&box, &c, &r, &ox, &oy);
    EXPECT_EQ(std::tuple(c, r, ox, oy, box.piece_count), std::tuple(6, 4, 20, 40, 24));

    grid(640, 480, 32, 10);
    int lo = 0, hi = 0;
    for (int32_t row = 0; row <= 15; row++)
        for (int32_t col = 0; col <= 20; col++) {
            int dx = point(col, row).x - 32 * col, dy = point(col, row).y - 32 * row;
            if (col == 0 || row == 0 || col == 20 || row == 15) {
                ASSERT_EQ(std::tuple(dx, dy), std::tuple(0, 0)) << "border point " << col << "," << row << " moved";
            }
            lo = std::min({lo, dx, dy});
            hi = std::max({hi, dx, dy});
        }
    EXPECT_EQ(std::tuple(lo, hi), std::tuple(-3, 2)) << "a = 3: moves of -3 to +2";
    EXPECT_EQ(std::tuple(point(1, 1).x, point(1, 1).y, point(2, 1).x, point(2, 1).y), std::tuple(30, 34, 65, 30))
        << "the generator's first numbers, x drawn before y";
}

TEST_F(Cut, NeighboursInOrderAndTheSinglePiece)
{
    cut(150, 100, 32, 20);  // 4 x 3 pieces from (11, 2)
    ASSERT_EQ(cut_result.piece_count, 12);
    const std::vector<int32_t> want[12] = {{4, 1},    {0, 5, 2},     {1, 6, 3},     {2, 7},
                                           {0, 8, 5}, {1, 4, 9, 6},  {2, 5, 10, 7}, {3, 6, 11},
                                           {4, 9},    {5, 8, 10},    {6, 9, 11},    {7, 10}};
    for (int32_t i = 0; i < 12; i++) {
        const CutPiece &p = cut_result.pieces[i];
        EXPECT_EQ(std::vector<int32_t>(p.neighbours, p.neighbours + p.neighbour_count), want[i]) << "piece " << i;
    }
    grid(150, 100, 32, 20);
    EXPECT_EQ(std::tuple(cut_result.pieces[5].home_x, cut_result.pieces[5].home_y),
              std::tuple(point(1, 1).x + 11, point(1, 1).y + 2));

    cut(50, 40, 32, 30);
    ASSERT_EQ(std::tuple(cut_result.piece_count, cut_result.shape_count, cut_result.pieces[0].neighbour_count),
              std::tuple(1, 1, 0));
    const Shape &s = cut_result.shapes[0];
    EXPECT_EQ(std::tuple(s.relief->width, s.relief->height, s.mask_x, s.mask_y), std::tuple(32, 32, 0, 0))
        << "four straight sides end exactly on the cell";
    for (int32_t y = 0; y < 32; y++)
        for (int32_t x = 0; x < 32; x++)
            ASSERT_TRUE(shape_pixel(s, x, y) == SHAPE_FLAT || (shape_pixel(s, x, y) & 31) == 31) << x << "," << y;
    EXPECT_EQ(shape_pixel(s, 16, 16), SHAPE_FLAT);
    // The relief leans outwards at every side: azimuth steps of 5.625 degrees, y up.
    const int32_t side[4][3] = {{16, 0, 16}, {31, 16, 0}, {16, 31, 48}, {0, 16, 32}};
    for (auto [x, y, azimuth] : side) {
        int32_t code = shape_pixel(s, x, y) >> 5;
        EXPECT_EQ(std::tuple((code >> 4) & 63, (code & 15) != 0), std::tuple(azimuth, true)) << x << "," << y;
    }
    ASSERT_NE(s.shadow, nullptr);
    EXPECT_EQ(std::tuple(s.shadow->width, s.shadow->height, s.shadow_x, s.shadow_y), std::tuple(40, 40, -4, -4))
        << "a soft shadow around the piece, 4 pixels wide";
    EXPECT_EQ(((uint8_t *)s.shadow)[IMG_HEADER_SIZE + 20 * 40 + 20], 191) << "75 percent under the piece";
    EXPECT_EQ(cut_result.shadow_distance, 2);

    // A border curve that bulges: out of the cell at the top and right, where it is cut
    // back to the grid line, and into it at the bottom and left (walked backwards).
    write_file(dir.file("curves/c_0.crv"), le32(0) + le32(0) + le32(300) + le32(-250) + le32(700) + le32(-250) +
                                               le32(1000) + le32(0));
    curves_done();
    curves_init();
    cut(50, 40, 32, 30);
    const Shape &bulged = cut_result.shapes[0];
    EXPECT_EQ(std::tuple(bulged.relief->width, bulged.relief->height, bulged.mask_x, bulged.mask_y), std::tuple(32, 32, 0, 0));
    int full = 0;
    for (int32_t i = 2; i < 30; i++)  // the dents begin at the corners
        for (uint16_t v : {shape_pixel(bulged, i, 0), shape_pixel(bulged, 31, i)})
            full += v == SHAPE_FLAT || (v & 31) == 31;
    EXPECT_EQ(std::tuple(full, shape_pixel(bulged, 16, 31), shape_pixel(bulged, 0, 16)), std::tuple(56, 0, 0));
}

// Curves that failed to load have no points at all. A cut with them still runs through
// without any bound running out of range: with no outline there is no inside, and the
// whole canvas stands in for every piece.
TEST_F(Cut, CurvesWithoutPointsStillCut)
{
    curves_done();
    int32_t held = blocks_held();
    cut(100, 80, 32, 10);  // 3 x 2 pieces
    ASSERT_EQ(cut_result.piece_count, 6);
    ASSERT_GE(cut_result.shape_count, 1);
    for (const Shape &s : std::span(cut_result.shapes, cut_result.shape_count)) {
        ASSERT_NE(s.relief, nullptr);
        EXPECT_EQ(std::tuple(s.relief->width, s.relief->height, s.mask_x, s.mask_y), std::tuple(128, 128, -48, -48))
            << "the canvas, four cells wide, with the cell in its middle";
        EXPECT_EQ(shape_pixel(s, 64, 64), SHAPE_FLAT);
    }
    cut_result_free();
    EXPECT_EQ(blocks_held(), held);
}

static std::vector<int32_t> progress_seen;

TEST_F(Cut, SameParametersGiveTheSameCut)
{
    int32_t held = blocks_held();
    cut_set_progress([](int32_t value, int32_t maximum) { progress_seen.insert(progress_seen.end(), {value, maximum}); });
    progress_seen.clear();
    cut(330, 240, 32, 20);
    int32_t n = cut_result.shape_count;
    EXPECT_GT(n, 60) << "of 70 pieces, nearly every outline is its own";
    std::vector<int32_t> want;
    for (int32_t i = 0; i <= n; i++)
        want.insert(want.end(), {i, n});
    EXPECT_EQ(progress_seen, want) << "0 first, then one step after every shape";
    std::string first = result_bytes();
    rand_next(12345);
    cut(330, 240, 32, 20);
    EXPECT_EQ(result_bytes() == first, true) << "same pieces, shape numbers and images";
    cut(330, 240, 32, 0);
    EXPECT_LE(cut_result.shape_count, 18) << "a regular grid has few outlines";
    cut_result_free();
    EXPECT_EQ(blocks_held(), held) << "every block of the cut given back";
}

// A regular grid shares its edges pixel for pixel (see the installed curves below).
TEST_F(Cut, JitteredPiecesCoverThePuzzleExactlyOnce)
{
    // Jittered edges meet at other sub-pixel offsets: a few single pixels where four
    // corners meet or a neck is narrower than a pixel are off by more than rounding (34 of
    // 172,800 today; a curve grazing a pixel's side used to leave pinholes, 55).
    cut(500, 360, 40, 20);
    auto [outside, off] = cover_faults(29, 32);
    EXPECT_EQ(outside, 0);
    EXPECT_TRUE(off >= 0 && off < 45) << off << " pixels with a gap or covered twice";
}

// The curves the game ships with: whole chains, symmetric so both pieces of an edge see
// the same tab, ending on their start line, and each cuts a regular grid with no gaps:
// the two sides of an edge pixel add up to 254 or 255, which is 30 or 31 in five bits.
TEST_F(Cut, InstalledCurvesAreSymmetricAndCutWithoutGaps)
{
    curves_done();
    dp_close();
    dp_open(PELMORA_DATA_PCK);
    curves_init();
    for (int32_t shape = 0; shape < CURVE_TYPES; shape++) {
        int32_t n;
        const CurvePoint *p = curve_get(shape, &n);
        ASSERT_TRUE(n >= 4 && (n - 1) % 3 == 0) << "curve " << shape << ": " << n << " points";
        EXPECT_EQ(std::tuple(p[n - 1].x, p[n - 1].y), std::tuple(1.0, 0.0)) << "curve " << shape;
        for (int32_t i = 0; i < n; i++)
            ASSERT_TRUE(std::fabs(p[i].x + p[n - 1 - i].x - 1) < 1e-9 && p[i].y == p[n - 1 - i].y)
                << "curve " << shape << " point " << i;
        box = {};
        box.piece_size = 50;
        box.shape = shape;
        box.picture_width = box.picture_height = 200;
        cut_grid_init(&box);
        cut_pieces_build();
        EXPECT_EQ(cut_result.piece_count, 16);
        EXPECT_EQ(cover_faults(30, 31), std::pair(0, 0)) << "curve " << shape << ": outside the grid, gaps or double cover";
        cut_grid_free();
    }
}

TEST_F(Cut, PreviewDrawsEveryEdgeInsideTheGridAndLeavesThePen)
{
    io_video_set_driver(&test_video_driver);
    io_video_create(64, 48, 24);
    io_video_begin_paint();
    memset(io_video_pixels(), 0xFF, (size_t)io_video_row_size(64, 24) * 48);
    draw_set_pen(IO_PEN_SOLID, 0x785628);  // whatever pen is set, the preview draws in black
    grid(60, 40, 20, 0);  // 3 x 2 cells
    cut_preview_draw(2, 3);
    auto black = [](int x, int y) {
        const uint8_t *p = screen.buf + (ptrdiff_t)y * screen.pitch + x * 3;
        return (p[0] | p[1] | p[2]) == 0;
    };
    int outline = 0, inside = 0, outside = 0;
    for (int y = 0; y < 48; y++)
        for (int x = 0; x < 64; x++) {
            bool on_border = (x == 2 || x == 61) ? y >= 3 && y <= 42 : (y == 3 || y == 42) && x >= 2 && x <= 61;
            bool within = x > 2 && x < 61 && y > 3 && y < 42;
            (on_border ? outline : within ? inside : outside) += black(x, y);
        }
    // The preview changes the pen; whoever draws next with their own pen must get it, even
    // when it is the pen they had before the preview.
    draw_set_pen(IO_PEN_SOLID, 0x785628);
    draw_line(0, 47, 63, 47);
    const uint8_t *p = screen.buf + (ptrdiff_t)47 * screen.pitch + 10 * 3;
    uint32_t got = (uint32_t)(p[2] << 16 | p[1] << 8 | p[0]);
    io_video_end_paint();
    io_video_close();
    EXPECT_EQ(std::tuple(outline, outside), std::tuple(2 * 60 + 2 * 38, 0))
        << "the border from (2, 3) to (61, 42) in black, inner edges one pixel left and up";
    EXPECT_GT(inside, 3 * 20 + 2 * 20) << "the inner edges with their tabs";
    EXPECT_EQ(got, 0x785628u) << "the line after a preview in the caller's pen";
}

TEST_F(Cut, CacheWrittenAndReadBackByteForByte)
{
    cut(160, 130, 32, 20);
    std::string made = result_bytes(), file = save();
    EXPECT_EQ(file.substr(0, 24), "TEMP" + le32(11) + le32(22) + le32(33) + le32(125) + le32(125));
    EXPECT_EQ(file.substr(28, 32), le32(0) + le32(1) + le32(cut_result.pieces[0].shape) + le32(2) + le32(5) + le32(1) +
                                       le32(0) + le32(0))
        << "piece 0: home, shape, neighbours below and right, unused slots 0";
    cut_result_free();
    ASSERT_EQ(load(file), 1);
    EXPECT_EQ(result_bytes() == made, true) << "the same shapes byte for byte";

    InDir in(dir.path);
    ChunkId other = {{11, 22, 34, 125}};
    EXPECT_EQ(std::tuple(cut_cache_load("Lake", &other, &box), cut_result.piece_count), std::tuple(0, 0))
        << "another box's cut";
    BoxInfo bigger = box;
    bigger.piece_size = 40;
    EXPECT_EQ(cut_cache_load("Lake", &id, &bigger), 0) << "another piece size";
    EXPECT_EQ(cut_cache_load("Sea", &id, &box), 0) << "no file";
}

TEST_F(Cut, CacheInterruptedTruncatedOrCorruptIsCutAgain)
{
    cut(160, 130, 32, 20);
    int32_t pieces = cut_result.piece_count, shapes = cut_result.shape_count;
    const std::string good = save();
    cut_result_free();
    int32_t held = blocks_held();
    auto with = [&](size_t at, uint32_t word) { return good.substr(0, at) + le32(word) + good.substr(at + 4); };
    size_t shapes_at = 28 + 32 * pieces, relief_at = shapes_at + 4 + 24;
    const std::pair<std::string, const char *> bad[] = {
        {with(0, 0), "magic still 0: the write never finished"},
        {with(20, 124), "another version"},
        {with(24, 0x7FFFFFFF), "piece count"},
        {with(28 + 8, (uint32_t)shapes), "a shape that does not exist"},
        {with(28 + 32 + 16, 7), "a neighbour that is not one"},
        {with(28, 150), "a piece that leaves the picture"},
        {with(shapes_at, 0x7FFFFFFF), "shape count"},
        {with(shapes_at + 4, 0), "a shape without its relief"},
        {with(relief_at + 4, 60000), "relief width"},
        {with(relief_at + 12, IMG_8BIT), "relief format"},
        {with(good.size() - 4, 9), "shadow distance"},
        {good + "x", "bytes after the end"},
    };
    for (const auto &[bytes, why] : bad)
        EXPECT_EQ(load(bytes), 0) << why;
    for (size_t n = 0; n < good.size(); n += n < 64 ? 1 : 97)
        ASSERT_EQ(load(good.substr(0, n)), 0) << "cut short at " << n;
    // Whatever else a damaged file holds, a cut it yields stays inside the picture.
    std::mt19937 rng(7);
    for (int i = 0; i < 300; i++) {
        std::string b = good;
        b[rng() % (relief_at + 64)] ^= (char)(1 << rng() % 8);
        if (load(b)) {
            ASSERT_NE(cover_faults(0, 1000).first, -1) << "a piece leaves the picture";
            cut_result_free();
        }
    }
    EXPECT_EQ(std::tuple(cut_result.piece_count, blocks_held()), std::tuple(0, held)) << "nothing kept, nothing leaked";
    ASSERT_EQ(load(good), 1) << "the file itself still loads";
}
