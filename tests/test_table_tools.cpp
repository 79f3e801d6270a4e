// The table's helpers in a started game: the edge pieces selected exactly, the heap
// spread without overlaps (or with as few as the table allows) and groups left alone,
// and pieces wholly under others shown on top while asked for.
#include <algorithm>

#include "platform/loop.h"
#include "puzzle/table_tools.h"
#include "tests/toolkit_env.h"
#include "ui/text.h"

namespace {

int32_t room_handler(int32_t, IoEvent *e)
{
    switch (e->code) {
    case IO_FRAME:
        table_update_geometry();
        table_draw_lying([] {
            draw_set_fill(0x283C50);
            draw_fill_rect(0, 0, screen.width, screen.height);
        });
        table_reveal_draw();
        return 0;
    case TW_CAPTURE_FRAME: table_draw(TABLE_DRAW_LIFTED); return 1;
    case IO_TIMER: table_tick(); return 0;
    default: return 0;
    }
}

class TableTools : public ToolkitTest {
protected:
    Img *picture = nullptr;
    int32_t room = -1;
    void SetUp() override
    {
        ToolkitTest::SetUp();
        io_clock_start(true);
        room = window_register(-1, TWS_FULLSCREEN, 0, 0, 0, 0, room_handler, nullptr);
        window_focus(room);
    }
    void TearDown() override
    {
        table_free();
        cut_result_free();
        img_free(picture);
        piece_scene = {};
        io_clock_start(false);
        ToolkitTest::TearDown();
    }
    // columns x rows pieces of `size` heaped near (200, 150) on the 640 x 480 table, in
    // place of the last game.
    void make(int32_t columns, int32_t rows, int32_t size, int32_t rotation, int32_t jitter)
    {
        cut_result_free();
        img_free(picture);
        BoxInfo box = {};
        box.piece_size = size, box.jitter = jitter, box.shape = 1, box.rotation = rotation;
        box.picture_width = columns * size, box.picture_height = rows * size;
        picture = img_create(box.picture_width, box.picture_height, IMG_BGR);
        int32_t stride, w, h;
        uint8_t *p = img_pixels(picture, &stride, &w, &h);
        for (int32_t yy = 0; yy < h; yy++)
            for (int32_t xx = 0; xx < 3 * w; xx++)
                p[yy * stride + xx] = (uint8_t)(40 + (xx * 7 + yy * 3) % 180);
        cut_grid_init(&box);
        cut_pieces_build();
        cut_grid_free();
        piece_scene_set(nullptr, picture, cut_result.shapes, cut_result.shape_count);
        table_create(&cut_result, &box, 640, 480, room);
        for (int32_t i = 0; i < table.count; i++) {
            table.pieces[i].x = 200 + (i * 37) % 90;
            table.pieces[i].y = 150 + (i * 23) % 70;
            table.pieces[i].angle = (i % 3) * 90;  // turned even without rotation: the player turned them
        }
        table_setup();
    }
    // Joins the pieces into one group laid out as the picture, its first piece at (x, y).
    static void group(std::initializer_list<int32_t> members, int32_t x, int32_t y)
    {
        int32_t first = *members.begin();
        const Piece &a = table.pieces[first];
        for (int32_t i : members) {
            Piece &p = table.pieces[i];
            p.x = p.work_x = x + p.home_x - a.home_x;
            p.y = p.work_y = y + p.home_y - a.home_y;
            p.angle = 0;
            p.group = first;
            p.dirty = 1;
        }
        table_progress();
        frame();
    }
    static bool overlap(const PieceBox &a, const PieceBox &b)
    {
        return a.x0 <= b.x1 && b.x0 <= a.x1 && a.y0 <= b.y1 && b.y0 <= a.y1;
    }
};

TEST_F(TableTools, EdgesSelectsExactlyTheLooseBorderPiecesAndLetsThemGoAgain)
{
    for (int32_t rotation : {0, 1}) {
        SCOPED_TRACE(rotation);
        make(6, 5, 32, rotation, 20);
        group({0, 1, 7}, 300, 300);  // a corner, a border piece and an inner one, joined
        table.pieces[14].selected = 1;
        int32_t border = 0;
        for (int32_t i = 0; i < table.count; i++)
            border += table.pieces[i].group == -1 && (i < 6 || i >= 24 || i % 6 == 0 || i % 6 == 5);
        EXPECT_EQ(border, 6 * 2 + 3 * 2 - 2);
        EXPECT_EQ(table_select_edges(), border);
        for (int32_t i = 0; i < table.count; i++) {
            bool edge = i < 6 || i >= 24 || i % 6 == 0 || i % 6 == 5;
            EXPECT_EQ(table.pieces[i].selected, edge && table.pieces[i].group == -1 ? 1 : 0) << "piece " << i;
        }
        EXPECT_EQ(table_select_edges(), 0);
        for (int32_t i = 0; i < table.count; i++)
            EXPECT_EQ(table.pieces[i].selected, 0) << "pressed again, piece " << i;
    }
}

TEST_F(TableTools, SpreadLaysTheHeapOutWithoutOverlapsAndLeavesGroupsAlone)
{
    for (int32_t rotation : {0, 1}) {
        SCOPED_TRACE(rotation);
        make(6, 5, 32, rotation, 20);
        group({8, 9, 14, 15}, 420, 300);
        std::vector<std::tuple<int32_t, int32_t, int32_t>> before;
        for (int32_t i = 0; i < table.count; i++)
            before.emplace_back(table.pieces[i].x, table.pieces[i].y, table.pieces[i].angle);
        int32_t progress = table.progress;
        table_select_edges();
        const PieceBox panel = {20, 50, 110, 250};
        EXPECT_GT(table_spread(&panel, 1), 20);
        EXPECT_TRUE(table_spreading()) << "the pieces glide";
        for (int32_t k = 0; k < TABLE_SPREAD_TICKS; k++)
            tick();
        EXPECT_FALSE(table_spreading());
        EXPECT_EQ(table.progress, progress);
        int32_t last_edge_row = 0, first_inner_row = 480;
        for (int32_t i = 0; i < table.count; i++) {
            const Piece &p = table.pieces[i];
            PieceBox e = piece_body_extent(&p);
            if (p.group != -1) {
                EXPECT_EQ(std::tuple(p.x, p.y, p.angle), before[i]) << "group member " << i << " stays";
                continue;
            }
            EXPECT_EQ(p.angle, rotation ? std::get<2>(before[i]) : 0) << "piece " << i;
            EXPECT_TRUE(e.x0 >= 0 && e.y0 >= 20 && e.x1 < 640 && e.y1 < 480) << "piece " << i << " on the table";
            EXPECT_FALSE(overlap(e, panel)) << "piece " << i << " under the panel";
            for (int32_t k = 0; k < table.count; k++)
                if (k != i && (table.pieces[k].group != -1 || k < i)) {
                    EXPECT_FALSE(overlap(e, piece_body_extent(&table.pieces[k]))) << i << " over " << k;
                }
            int32_t middle = (e.y0 + e.y1) / 2;
            if (table_is_edge(i))
                last_edge_row = std::max(last_edge_row, middle);
            else
                first_inner_row = std::min(first_inner_row, middle);
        }
        EXPECT_LE(last_edge_row, first_inner_row + 1) << "the selected edge pieces come first";
    }
}

// 300 pieces cannot lie apart on a 640 x 480 table: the rows close up, no further than
// they must, and every piece still lies on the table in a slot of its own.
TEST_F(TableTools, SpreadOverlapsAsLittleAsItMustOnATooSmallTable)
{
    make(20, 15, 24, 0, 0);
    std::vector<TableSpot> to(table.count);
    bool overlapped = false;
    ASSERT_EQ(table_spread_layout(nullptr, 0, to.data(), &overlapped), table.count);
    EXPECT_TRUE(overlapped);
    std::vector<std::pair<int32_t, int32_t>> middles;
    int32_t side = 0;
    for (int32_t i = 0; i < table.count; i++) {
        Piece p = table.pieces[i];
        p.x = to[i].x, p.y = to[i].y, p.angle = to[i].angle;
        PieceBox e = piece_body_extent(&p);
        side = std::max({side, e.x1 - e.x0 + 1, e.y1 - e.y0 + 1});
        EXPECT_TRUE(e.x0 >= 0 && e.y0 >= 20 && e.x1 < 640 && e.y1 < 480) << "piece " << i;
        middles.emplace_back((e.x0 + e.x1) / 2, (e.y0 + e.y1) / 2);
    }
    // Pieces are centred in their slots, to a pixel: the slots' pitch shows between them.
    int32_t pitch = 640;
    for (size_t a = 0; a < middles.size(); a++)
        for (size_t b = 0; b < a; b++) {
            int32_t dx = std::abs(middles[a].first - middles[b].first), dy = std::abs(middles[a].second - middles[b].second);
            EXPECT_TRUE(dx > 2 || dy > 2) << "pieces " << a << " and " << b << " share a slot";
            if (dy <= 2 && dx > 2)
                pitch = std::min(pitch, dx);
        }
    EXPECT_LT(pitch, side) << "closed up";
    int32_t wider = pitch + 2;
    EXPECT_LT(((640 - side) / wider + 1) * ((480 - 20 - side) / wider + 1), table.count) << "no further than needed";
}

TEST_F(TableTools, APieceUnderAGroupShowsWhileAskedForAndTheTableComesBackAfter)
{
    make(5, 5, 40, 0, 0);
    group({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24}, 150, 100);
    // The middle piece in the group's hole, below it: seen through the hole.
    Piece &m = table.pieces[12];
    piece_put_above(12, -1);
    // The group lies at its picture's places shifted by (dx, dy).
    const int32_t dx = table.pieces[0].x - table.pieces[0].home_x, dy = table.pieces[0].y - table.pieces[0].home_y;
    auto put = [&](int32_t cell) {
        m.x = dx + cut_result.pieces[cell].home_x + m.home_x - cut_result.pieces[12].home_x;
        m.y = dy + cut_result.pieces[cell].home_y + m.home_y - cut_result.pieces[12].home_y;
        m.dirty = 1;
        frame();
    };
    put(12);
    EXPECT_EQ(table_reveal(1), 0) << "a piece seen through the hole is not hidden";
    table_reveal(0);
    // Over the cell of another piece of the group, under it, it is gone from sight.
    put(6);
    repaint_all();
    std::string plain = frame_copy();
    int32_t blocks = blocks_held();
    ASSERT_EQ(table_reveal(1), 1);
    EXPECT_TRUE(table_revealed(12));
    frame();
    const PieceBox b = m.body_box;
    EXPECT_GT(changed_in(plain, frame_copy(), b.x0 - 2, b.y0 - 2, b.x1 - b.x0 + 30, b.y1 - b.y0 + 30), 200)
        << "the hidden piece is drawn on top, with its outline and shadow";
    EXPECT_EQ(table_reveal_hit((b.x0 + b.x1) / 2, (b.y0 + b.y1) / 2), 12);
    EXPECT_EQ(piece_hit((b.x0 + b.x1) / 2, (b.y0 + b.y1) / 2), 6) << "the table itself is as it was";
    EXPECT_EQ(table_reveal(0), 0);
    frame();
    EXPECT_EQ(changed_in(plain, frame_copy(), 0, 0, 640, 480), 0) << "the table as it was";
    EXPECT_EQ(blocks_held(), blocks);
}

}  // namespace
