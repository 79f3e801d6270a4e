// Pieces on the table in a started game, driven by real mouse events through the toolkit
// on the virtual clock: joining within the tolerance and not beyond, groups kept on the
// table, the click-to-hold rule, quarter turns, dealing, a scripted solve, arranging,
// the band, and a long random game that must keep every group rigid and the stack whole.
#include <algorithm>
#include <functional>
#include <map>
#include <numeric>
#include <random>
#include <set>

#include "image/clip.h"
#include "platform/loop.h"
#include "media/sound.h"
#include "puzzle/table.h"
#include "tests/fake_feedback.h"
#include "tests/reference_image.h"
#include "tests/toolkit_env.h"
#include "ui/text.h"

namespace {

struct RoomEars {
    int32_t joins = 0, finished = 0;
};
RoomEars ears;

void on_joined(int32_t, int32_t)
{
    ears.joins++;
}
void on_finished(void)
{
    ears.finished++;
}

// The room's floor, and whether the room hands it to the table (as the play room does)
// or draws it itself before the lying pieces.
uint32_t floor_colour = 0x283C50;
bool floor_by_table = true;

void floor_draw(void)
{
    draw_set_fill(floor_colour);
    draw_fill_rect(0, 0, screen.width, screen.height);
}

// A room as the play room is: a plain floor, the lying pieces over it, the held ones
// over everything after the frame.
int32_t room_handler(int32_t, IoEvent *e)
{
    switch (e->code) {
    case IO_FRAME:
        table_update_geometry();
        if (floor_by_table) {
            table_draw_lying(floor_draw);
        } else {
            floor_draw();
            table_draw(TABLE_DRAW_LYING);
        }
        return 0;
    case TW_CAPTURE_FRAME: table_draw(TABLE_DRAW_LIFTED); return 1;
    case IO_TIMER: table_tick(); return 0;
    case IO_MOUSE_DOWN:
    case IO_MOUSE_UP:
    case IO_MOUSE_MOVE:
    case TW_CAPTURE_MOVE:
    case TW_CAPTURE_END:
    case TW_BAND_END: return table_mouse(e->code, e->a, e->b, e->c);
    default: return 0;
    }
}

class Table : public ToolkitTest {
protected:
    BoxInfo box = {};
    Img *picture = nullptr;
    int32_t room = -1;
    int64_t now = 0;
    void SetUp() override
    {
        ToolkitTest::SetUp();
        io_clock_start(true);
        ears = {};
        floor_colour = 0x283C50;
        floor_by_table = true;
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
    // A cut of columns x rows cells of `size` pixels over a picture of random colours.
    void make(int32_t columns, int32_t rows, int32_t size, int32_t rotation = 0, int32_t jitter = 20)
    {
        box = {};
        box.piece_size = size;
        box.jitter = jitter;
        box.shape = 1;
        box.picture_width = columns * size;
        box.picture_height = rows * size;
        box.rotation = rotation;
        picture = img_create(box.picture_width, box.picture_height, IMG_BGR);
        // Soft colours with stripes, so that light and tint show in the pictures.
        int32_t stride, w, h;
        uint8_t *p = img_pixels(picture, &stride, &w, &h);
        for (int32_t y = 0; y < h; y++)
            for (int32_t x = 0; x < w; x++) {
                uint8_t *px = p + y * stride + 3 * x;
                px[0] = (uint8_t)(60 + 150 * x / w);
                px[1] = (uint8_t)(200 - 140 * y / h);
                px[2] = (uint8_t)(((x + 2 * y) / 6) % 2 ? 220 : 120);
            }
        cut_grid_init(&box);
        cut_pieces_build();
        cut_grid_free();
        piece_scene_set(nullptr, picture, cut_result.shapes, cut_result.shape_count);
        table_create(&cut_result, &box, 640, 480, room);
        table.hooks = {on_joined, on_finished};
        table.connect_sound = sound_load("connect.wav");
        // Every piece at a place of its own, the same in every run, none fitting another.
        for (int32_t i = 0; i < table.count; i++) {
            Piece &p = pc(i);
            p.x = 15 + (i * 97) % 560;
            p.y = 25 + (i * 61) % 400;
            p.angle = table.rotation ? (i % 4) * 90 : 0;
            piece_to_top((i * 7) % table.count);
        }
        table_setup();
    }
    static Piece &pc(int32_t i) { return table.pieces[i]; }
    void later(int64_t ms)
    {
        now += ms;
        io_clock_advance(now);
    }
    // Lays piece i still at (x, y) turned by angle.
    static void lay(int32_t i, int32_t x, int32_t y, int32_t angle = 0)
    {
        Piece &p = pc(i);
        p.x = p.work_x = x;
        p.y = p.work_y = y;
        p.angle = angle;
        p.lift = p.held = p.turning = 0;
        piece_geometry_update(&p);
        piece_to_top(i);
    }
    // Where p lies when it fits q as q lies now.
    static std::pair<int32_t, int32_t> fit(int32_t p, int32_t q)
    {
        int32_t vx, vy;
        piece_turn(pc(q).angle, pc(p).home_x - pc(q).home_x, pc(p).home_y - pc(q).home_y, &vx, &vy);
        return {pc(q).x + vx, pc(q).y + vy};
    }
    // Drops piece p held at (x, y), the way the mouse would leave it.
    static void drop_at(int32_t p, int32_t x, int32_t y, int32_t angle = 0)
    {
        lay(p, x, y, angle);
        pc(p).held = 1;
        pc(p).lift = table.lift;
        table_drop();
    }
    // A table point on a flat pixel of piece i, as near its middle as there is one.
    static std::pair<int32_t, int32_t> grab_point(int32_t i)
    {
        const Piece &p = pc(i);
        Img *relief = cut_result.shapes[p.shape].relief;
        int32_t stride, w, h;
        const uint8_t *px = img_pixels(relief, &stride, &w, &h);
        for (int32_t r = 0; r < std::max(w, h); r++)
            for (int32_t v = h / 2 - r; v <= h / 2 + r; v++)
                for (int32_t u = w / 2 - r; u <= w / 2 + r; u++) {
                    if (u < 0 || v < 0 || u >= w || v >= h || ((const uint16_t *)(px + v * stride))[u] != SHAPE_FLAT)
                        continue;
                    int32_t x, y;
                    piece_turn(p.drawn_angle, u, v, &x, &y);
                    return {p.drawn_x + x, p.drawn_y + y};
                }
        return {p.drawn_x, p.drawn_y};
    }
    // A press, a slow move by (dx, dy) with a tick, and a release: a drag and a drop.
    void drag(int32_t x, int32_t y, int32_t dx, int32_t dy)
    {
        move(x, y);
        press(x, y);
        later(100);
        move(x + dx, y + dy, 1);
        tick();
        later(200);
        release(x + dx, y + dy);
    }
    static int32_t held_count()
    {
        auto add = [](int32_t n, const Piece &p) { return n + p.held; };
        return std::accumulate(table.pieces, table.pieces + table.count, 0, add);
    }
    // "" when the stacking list holds every piece once with consistent links.
    static std::string stack_fault()
    {
        std::vector<int> seen(table.count, 0);
        int32_t prev = -1, n = 0;
        for (int32_t i = table.bottom; i != -1; i = pc(i).above) {
            if (i < 0 || i >= table.count || n++ > table.count)
                return "the list runs wild at " + std::to_string(i);
            if (seen[i]++)
                return "piece " + std::to_string(i) + " twice";
            if (pc(i).below != prev)
                return "piece " + std::to_string(i) + " has below " + std::to_string(pc(i).below);
            prev = i;
        }
        if (prev != table.top)
            return "the top is " + std::to_string(table.top) + ", the walk ends at " + std::to_string(prev);
        if (n != table.count)
            return std::to_string(n) + " of " + std::to_string(table.count) + " pieces in the list";
        return "";
    }
    // "" when every group whose pieces are not turning fits together exactly.
    static std::string rigid_fault()
    {
        std::map<int32_t, std::vector<int32_t>> groups;
        for (int32_t i = 0; i < table.count; i++)
            if (pc(i).group != -1)
                groups[pc(i).group].push_back(i);
        for (auto &[g, members] : groups) {
            if (std::any_of(members.begin(), members.end(), [](int32_t m) { return pc(m).turning != 0; }))
                continue;
            int32_t r = members[0];
            for (int32_t m : members) {
                auto [x, y] = fit(m, r);
                if (pc(m).angle != pc(r).angle || pc(m).x != x || pc(m).y != y)
                    return "group " + std::to_string(g) + ": piece " + std::to_string(m) + " out of place";
            }
        }
        return "";
    }
};

TEST_F(Table, PiecesJoinWithinTheToleranceAtTheSameAngleOnly)
{
    make(6, 5, 32);
    int32_t q = 1, p = 0;  // 0 lies left of 1
    lay(q, 300, 200);
    auto [x, y] = fit(p, q);
    drop_at(p, x + 3, y);
    EXPECT_NE(pc(p).group, -1) << "3 pixels off: 9 <= 32 / 2";
    EXPECT_EQ(pc(p).group, pc(q).group);
    EXPECT_EQ(std::pair(pc(p).x, pc(p).y), std::pair(x, y)) << "pulled into exact place";
    EXPECT_EQ(ears.joins, 1);
    EXPECT_EQ(stack_fault(), "");
    EXPECT_EQ(pc(q).above, p) << "the dropped piece lies on the one that lay still";

    int32_t r = 6;  // below piece 0
    auto [rx, ry] = fit(r, p);
    drop_at(r, rx, ry + 5);
    EXPECT_EQ(pc(r).group, -1) << "5 pixels off: 25 > 16";
    drop_at(r, rx - 4, ry);
    EXPECT_EQ(pc(r).group, pc(p).group) << "4 pixels off: 16 <= 16";
    EXPECT_EQ(rigid_fault(), "");

    // Quarter-turned pieces never join unturned ones (20 lies left of 21).
    lay(21, 450, 350, 0);
    std::tie(x, y) = fit(20, 21);
    drop_at(20, x, y, 90);
    EXPECT_EQ(pc(20).group, -1) << "90 against 0 degrees";
    lay(21, 450, 350, 90);
    std::tie(x, y) = fit(20, 21);
    drop_at(20, x, y, 90);
    EXPECT_NE(pc(20).group, -1) << "both at 90, in place";

    // 13 and 14 form a group turned by 180; 12 drops beside 13 and is pulled to it, the
    // group laid out around the piece that lay still; the stack must not link 13 above itself.
    ears.joins = 0;
    lay(13, 200, 380, 180);
    std::tie(x, y) = fit(14, 13);
    drop_at(14, x, y, 180);
    ASSERT_NE(pc(14).group, -1);
    std::tie(x, y) = fit(12, 13);
    drop_at(12, x - 2, y + 1, 180);
    EXPECT_EQ(std::tuple(pc(12).group, pc(14).group), std::tuple(pc(13).group, pc(13).group));
    EXPECT_EQ(stack_fault(), "");
    EXPECT_EQ(rigid_fault(), "");
    EXPECT_EQ(ears.joins, 2);
}

TEST_F(Table, AGroupStaysWhileOneCentreIsOnTheTableAndComesBackByTheShortestWay)
{
    make(6, 5, 32);
    lay(1, 300, 200);
    auto [x, y] = fit(0, 1);
    drop_at(0, x, y);
    ASSERT_NE(pc(0).group, -1);
    // Piece 0 lies left of 1. With 0's centre off the left edge and 1's still on, the
    // group stays where it is dropped.
    PieceBox e1 = piece_body_extent(&pc(1));
    int32_t shift = -((e1.x0 + e1.x1) / 2) + 5;
    for (int32_t i : {0, 1}) {
        pc(i).held = 1;
        pc(i).x += shift;
    }
    int32_t before0 = pc(0).x, before1 = pc(1).x;
    table_drop();
    EXPECT_EQ(std::pair(pc(0).x, pc(1).x), std::pair(before0, before1));

    // Both off: the member needing the smaller push (1, nearer the edge) decides.
    for (int32_t i : {0, 1}) {
        pc(i).held = 1;
        pc(i).x -= 40;
    }
    table_drop();
    e1 = piece_body_extent(&pc(1));
    EXPECT_EQ((e1.x0 + e1.x1) / 2, 0) << "piece 1's centre pushed onto the edge";
    EXPECT_EQ(rigid_fault(), "");

    // A lone piece beyond the bottom right corner comes back to the corner.
    drop_at(20, 900, 700);
    PieceBox e = piece_body_extent(&pc(20));
    EXPECT_EQ(std::pair((e.x0 + e.x1) / 2, (e.y0 + e.y1) / 2), std::pair(640, 480));
}

TEST_F(Table, AQuickClickHoldsThePiecesUntilTheNextClick)
{
    make(6, 5, 32);
    lay(7, 200, 150);
    lay(8, 400, 300);
    frame();
    auto [x, y] = grab_point(7);
    move(x, y);
    press(x, y);
    later(100);
    release(x, y);
    EXPECT_EQ(pc(7).held, 1) << "released after 100 ms: still held";
    EXPECT_EQ(pc(7).lift, table.lift);
    EXPECT_EQ(table.top, 7) << "picking up brings it to the top";
    move(x + 30, y + 10);
    tick();
    EXPECT_EQ(std::pair(pc(7).x, pc(7).y), std::pair(230, 160)) << "it follows the mouse with the tick";
    later(1000);
    click(x + 30, y + 10);
    EXPECT_EQ(std::tuple(pc(7).held, pc(7).lift), std::tuple(0, 0)) << "the next click drops it";
    EXPECT_EQ(window_drag_mode(), 0);

    // Held past 250 ms, the release drops.
    auto [x8, y8] = grab_point(8);
    move(x8, y8);
    press(x8, y8);
    later(251);
    release(x8, y8);
    EXPECT_EQ(pc(8).held, 0);
    EXPECT_EQ(held_count(), 0);
}

TEST_F(Table, AQuarterTurnTakesTenTicksAboutTheMouseAndIsFinishedWhole)
{
    make(6, 5, 32);
    lay(1, 300, 200);
    auto [x0, y0] = fit(0, 1);
    drop_at(0, x0, y0);
    frame();
    auto [x, y] = grab_point(1);
    move(x, y);
    press(x, y);
    EXPECT_EQ(held_count(), 2) << "the whole group is picked up";
    press(x, y, 2);
    release(x, y, 2);
    for (int32_t t = 0; t < 10; t++)  // the first tick starts the turn
        tick();
    EXPECT_EQ(std::tuple(pc(1).angle % 90 != 0, pc(1).turning), std::tuple(true, -1)) << "after nine ticks of turning";
    tick();
    EXPECT_EQ(std::tuple(pc(1).angle, pc(1).turning, pc(0).angle), std::tuple(270, 0, 270))
        << "the right button turns clockwise by a quarter";
    EXPECT_EQ(rigid_fault(), "");
    // The point under the mouse stays under it.
    frame();
    EXPECT_EQ(piece_hit(x, y), 1);

    // With Ctrl the other way round.
    PlatformInput ctrl_right = {InputKind::MouseDown, INPUT_MOD_CTRL, 2, 0, x, y, 0, {}};
    io_translate_input(&ctrl_right);
    release(x, y, 2);
    for (int32_t t = 0; t < 11; t++)
        tick();
    EXPECT_EQ(pc(1).angle, 0);
    later(500);
    release(x, y);
    EXPECT_EQ(held_count(), 0);
    EXPECT_EQ(rigid_fault(), "");

    // A turn still under way when the room stops is finished at once, the group whole.
    later(1000);
    frame();
    press(x, y);
    press(x, y, 2);
    release(x, y, 2);
    for (int32_t t = 0; t < 5; t++)
        tick();
    ASSERT_EQ(pc(1).turning, -1);
    table_finish_turns();
    EXPECT_EQ(std::tuple(pc(0).angle, pc(1).angle, held_count(), pc(1).turning), std::tuple(270, 270, 0, 0));
    EXPECT_EQ(rigid_fault(), "") << "each member ends where the whole turn takes it";
    EXPECT_EQ(window_drag_mode(), 2) << "the room ends its own capture";
    window_drag_end();
}

TEST_F(Table, DealingTurnsPiecesOnlyWithRotation)
{
    make(8, 6, 40);
    table_deal();
    EXPECT_EQ(table.progress, 0);
    std::set<int32_t> xs;
    for (int32_t i = 0; i < table.count; i++) {
        EXPECT_TRUE(pc(i).angle == 0 && pc(i).y >= 20 && pc(i).y < 480 - 40 && pc(i).x < 640 - 40) << "piece " << i;
        xs.insert(pc(i).x);
    }
    EXPECT_GT(xs.size(), 30u) << "places are spread";
    EXPECT_EQ(stack_fault(), "");

    table.rotation = 1;
    table_deal();
    std::set<int32_t> angles;
    for (int32_t i = 0; i < table.count; i++) {
        angles.insert(pc(i).angle);
        EXPECT_GE(pc(i).y, 60) << "the top margin grows by a piece";
    }
    EXPECT_EQ(angles, (std::set<int32_t>{0, 90, 180, 270}));
}

TEST_F(Table, ASolvedPuzzleReachesAHundredAndIsAnnouncedOnce)
{
    make(4, 3, 40);
    std::vector<int32_t> progress;
    lay(5, 250, 180);
    for (int32_t i = 0; i < table.count; i++) {
        if (i == 5)
            continue;
        auto [x, y] = fit(i, 5);
        drop_at(i, x, y);
        progress.push_back(table.progress);
    }
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(table.progress, 100);
    EXPECT_TRUE(table_finished());
    EXPECT_EQ(ears.finished, 1);
    EXPECT_EQ(rigid_fault(), "");
    // Play goes on after the end; nothing is announced again.
    for (int32_t i = 0; i < table.count; i++) {
        pc(i).held = 1;
        pc(i).x += 30;
    }
    table_drop();
    EXPECT_EQ(ears.finished, 1);
    EXPECT_EQ(table.progress, 100);
}

TEST_F(Table, ArrangingPutsLoosePiecesOnTopAndSelected)
{
    make(6, 5, 32);
    lay(1, 300, 200);
    for (int32_t i : {0, 2, 7}) {
        auto [x, y] = fit(i, 1);
        drop_at(i, x, y);
    }
    lay(20, 100, 300);
    auto [x, y] = fit(21, 20);
    drop_at(21, x, y);
    table_arrange();
    std::vector<int32_t> order;
    for (int32_t i = table.bottom; i != -1; i = pc(i).above)
        order.push_back(i);
    ASSERT_EQ((int32_t)order.size(), table.count);
    auto size_of = [](int32_t i) { return pc(i).group == 1 ? 4 : pc(i).group == 20 ? 2 : 1; };
    for (size_t k = 1; k < order.size(); k++)
        EXPECT_GE(size_of(order[k - 1]), size_of(order[k])) << "larger groups lie lower, at " << k;
    for (int32_t i = 0; i < table.count; i++)
        EXPECT_EQ(pc(i).selected, size_of(i) == 1 ? 1 : 0) << "piece " << i;
}

TEST_F(Table, TheBandSelectsWholeGroupsByTheirCentres)
{
    make(6, 5, 32);
    lay(1, 300, 200);
    auto [x, y] = fit(2, 1);
    drop_at(2, x, y);
    lay(10, 100, 100);
    lay(11, 500, 400);
    for (int32_t i = 0; i < table.count; i++)
        if (i != 1 && i != 2 && i != 10 && i != 11)
            lay(i, 560, 20);
    frame();
    // A band from the empty top left over piece 10 and piece 1 only; piece 2 comes with 1.
    PieceBox b1 = pc(1).body_box;
    move(5, 60);
    press(5, 60);
    move((b1.x0 + b1.x1) / 2 + 2, (b1.y0 + b1.y1) / 2 + 2, 1);
    release((b1.x0 + b1.x1) / 2 + 2, (b1.y0 + b1.y1) / 2 + 2);
    EXPECT_EQ(std::tuple(pc(10).selected, pc(1).selected, pc(2).selected, pc(11).selected), std::tuple(1, 1, 1, 0));
    // Dragging a selected piece takes the whole selection.
    frame();
    auto [gx, gy] = grab_point(10);
    drag(gx, gy, 20, 0);
    EXPECT_EQ(std::tuple(pc(10).x, pc(1).x), std::tuple(120, 320));
    EXPECT_EQ(rigid_fault(), "");
    // A click on the empty table deselects everything.
    click(5, 470);
    EXPECT_EQ(pc(10).selected + pc(1).selected + pc(2).selected, 0);
}

TEST_F(Table, ADraggedPieceRedrawsOnlyItsOldAndNewPlacesAndLooksRight)
{
    make(6, 5, 32);
    frame();
    auto [x, y] = grab_point(table.top);
    int32_t top = table.top;
    PieceBox old_box = pc(top).body_box;
    std::string before = frame_copy();
    move(x, y);
    press(x, y);
    move(x + 25, y + 15, 1);
    tick();
    frame();
    std::string after = frame_copy();
    PieceBox b = pc(top).body_box, s = pc(top).shadow_box;
    int32_t x0 = std::min({old_box.x0, b.x0, s.x0}), y0 = std::min({old_box.y0, b.y0, s.y0});
    int32_t x1 = std::max({old_box.x1, b.x1, s.x1}), y1 = std::max({old_box.y1, b.y1, s.y1});
    int32_t all = changed_in(before, after, 0, 0, 640, 480);
    EXPECT_GT(all, 0);
    EXPECT_EQ(changed_in(before, after, x0, y0, x1 - x0 + 1, y1 - y0 + 1), all) << "nothing changed elsewhere";
    // That the frame equals one drawn from scratch is the carried pieces' test below.
    EXPECT_TRUE(frame_matches_reference("table_drag", 0, 0, 640, 480));
    later(300);
    release(x + 25, y + 15);
}

// Frames drawn while pieces are carried (lying pieces copied back from what the table
// keeps, a carried group laid down from its picture, its seams and shadow edges worked out
// from what lies below by the vector code or byte by byte) equal, after every frame, the
// frame drawn from scratch piece by piece: a loose piece, a group of nine into the right
// and bottom edges and out over the left one, the group turning, a selection carried while
// the floor changes, and drops; also where only a little under them is redrawn.
TEST_F(Table, CarriedPiecesDrawExactlyWhatAFreshFrameDraws)
{
    for (int portable : {0, 1}) {
        SCOPED_TRACE(portable ? "byte by byte, the room draws the floor" : "vector code, the table draws the floor");
        table_sprite_portable = portable;
        floor_by_table = !portable;
        make(6, 5, 32);
        // Pieces 0, 1, 2, 6, 7, 8, 12, 13 and 14 joined into a square.
        lay(7, 300, 200);
        for (auto [p, q] : {std::pair(1, 7), std::pair(6, 7), std::pair(8, 7), std::pair(13, 7), std::pair(0, 1),
                            std::pair(2, 1), std::pair(12, 13), std::pair(14, 13)}) {
            auto [x, y] = fit(p, q);
            drop_at(p, x, y);
        }
        for (int32_t i : {0, 1, 2, 6, 8, 12, 13, 14})
            ASSERT_EQ(pc(i).group, pc(7).group) << "piece " << i;
        repaint_all();
        int32_t step = 0, stale = 0;
        auto check = [&]() {
            step++;
            std::string drawn = frame_copy();
            table_draw_plain = 1;
            repaint_all();
            table_draw_plain = 0;
            int32_t wrong = changed_in(drawn, frame_copy(), 0, 0, 640, 480);
            EXPECT_EQ(wrong, 0) << "frame " << step;
            stale += wrong;
        };
        // Carries what a press at (x, y) picks up along `path` (or, with a press already
        // made, goes on carrying it), a tick and a frame per move; a right click at move
        // `turn_at` starts a quarter turn, `at_move` runs after each move.
        auto carry = [&](int32_t x, int32_t y, const std::vector<std::pair<int32_t, int32_t>> &path,
                         int32_t turn_at = -1, std::function<void(size_t)> at_move = nullptr) {
            move(x, y);
            press(x, y);
            frame();
            check();
            for (size_t k = 0; k < path.size(); k++) {
                x += path[k].first, y += path[k].second;
                move(x, y, 1);
                if ((int32_t)k == turn_at) {
                    PlatformInput right = {InputKind::MouseDown, 0, 2, 0, x, y, 0, {}};
                    io_translate_input(&right);
                    release(x, y, 2);
                }
                if (at_move)
                    at_move(k);
                tick();
                frame();
                check();
                if (k % 7 == 3) {
                    // Held still: nothing to draw, so nothing may be drawn twice. Then
                    // something else redraws a little under the pieces (the connected
                    // animation does): only that part of them is drawn again.
                    frame();
                    check();
                    clip_invalidate(x - 13, y - 7, 41, 29);
                    frame();
                    check();
                }
            }
            later(400);
            release(x, y);
            frame();
            check();
        };
        auto steps = [](int32_t n, int32_t dx, int32_t dy) { return std::vector(n, std::pair(dx, dy)); };
        // A loose piece across the group and the others.
        auto [x, y] = grab_point(20);
        carry(x, y, steps(12, 17, 6));
        // The group right and down until it hangs over both edges, then left across the
        // table and out over the left edge, laid down from its picture, not piece by piece.
        std::vector<std::pair<int32_t, int32_t>> path = steps(12, 23, 19), back = steps(16, -37, -11);
        path.insert(path.end(), back.begin(), back.end());
        int64_t laid = table_sprite_laid;
        std::tie(x, y) = grab_point(7);
        carry(x, y, path);
        EXPECT_GE(table_sprite_laid - laid, (int64_t)path.size() - 2) << "laid down from its picture";
        // The group back across the others, turning on the way.
        std::tie(x, y) = grab_point(8);
        carry(x, y, steps(14, 13, -6), 2);
        EXPECT_EQ(std::tuple(rigid_fault(), pc(7).angle), std::tuple("", 270)) << "the whole group turned";
        // A selection of two loose pieces, tinted, carried together; the floor changes
        // on the way, as the ghost does, with the whole room marked for redrawing.
        for (int32_t i : {16, 5}) {
            auto [sx, sy] = grab_point(i);
            PlatformInput ctrl = {InputKind::MouseDown, INPUT_MOD_CTRL, 1, 0, sx, sy, 0, {}};
            io_translate_input(&ctrl);
            release(sx, sy);
        }
        ASSERT_EQ(pc(16).selected + pc(5).selected, 2);
        frame();
        std::tie(x, y) = grab_point(16);
        carry(x, y, steps(8, 11, -7), -1, [&](size_t k) {
            if (k == 4) {
                floor_colour = 0x503C28;
                clip_invalidate(0, 0, 640, 480);
            }
        });
        EXPECT_EQ(stale, 0);
        table_free();
        cut_result_free();
        img_free(picture);
        picture = nullptr;
        floor_colour = 0x283C50;
    }
    table_sprite_portable = 0;
}

// A long game of random drags, quick clicks, turns, selections and arranging: whatever
// happens, groups stay rigid, the stack holds every piece once and progress only grows.
TEST_F(Table, ARandomGameKeepsEveryGroupRigidAndTheStackWhole)
{
    make(6, 5, 32, 1);
    table_deal();
    frame();
    std::mt19937 rng(2024);
    auto pick = [&](int32_t n) { return (int32_t)(rng() % (uint32_t)n); };
    int32_t last_progress = 0;
    for (int32_t step = 0; step < 3000; step++) {
        int32_t action = pick(100);
        int32_t i = pick(table.count);
        auto [x, y] = grab_point(i);
        int32_t dx = pick(81) - 40, dy = pick(81) - 40;
        if (action < 50) {
            // Toward a neighbour's place, give or take a few pixels, now and then.
            int32_t hit = piece_hit(x, y);
            if (hit >= 0 && pick(3) != 0) {
                const Piece &h = pc(hit);
                int32_t q = h.neighbours[pick(h.neighbour_count)];
                if (pc(q).angle == h.angle) {
                    auto [fx, fy] = fit(hit, q);
                    dx = fx - h.x + pick(5) - 2;
                    dy = fy - h.y + pick(5) - 2;
                }
            }
            drag(x, y, dx, dy);
        } else if (action < 65) {
            // Picked up, turned once or twice, carried and dropped by a later click.
            move(x, y);
            press(x, y);
            release(x, y);
            for (int32_t turns = 1 + pick(2); turns > 0; turns--) {
                PlatformInput right = {InputKind::MouseDown, (uint8_t)(pick(2) ? INPUT_MOD_CTRL : 0), 2, 0, x, y, 0, {}};
                io_translate_input(&right);
                release(x, y, 2);
                for (int32_t t = pick(14); t > 0; t--)
                    tick();
            }
            move(x + dx, y + dy);
            tick();
            later(400);
            click(x + dx, y + dy);
            for (int32_t t = 0; t < 12; t++)
                tick();
        } else if (action < 75) {
            PlatformInput ctrl = {InputKind::MouseDown, INPUT_MOD_CTRL, 1, 0, x, y, 0, {}};
            io_translate_input(&ctrl);
            release(x, y);
        } else if (action < 80) {
            move(x, y);
            press(x, y);
            move(x + dx, y + dy, 1);
            release(x + dx, y + dy);
        } else if (action < 82) {
            table_arrange();
        } else {
            for (int32_t t = pick(4); t >= 0; t--)
                tick();
        }
        later(50);
        frame();
        ASSERT_EQ(stack_fault(), "") << "step " << step;
        ASSERT_EQ(rigid_fault(), "") << "step " << step;
        ASSERT_GE(table.progress, last_progress) << "step " << step;
        last_progress = table.progress;
        if (window_drag_mode() == 0) {
            ASSERT_EQ(held_count(), 0) << "step " << step;
        }
    }
    EXPECT_GT(ears.joins, 20) << "the game got somewhere";
    EXPECT_GT(last_progress, 20);
}

// The force-feedback mouse feels each drop that joins pieces, once per drop.
class TableFeel : public Table {
protected:
    FakeFeedback fake;
};

TEST_F(TableFeel, AJoiningDropPulsesTheMouseOnce)
{
    make(6, 5, 32);
    fake.clear();
    lay(1, 300, 200);
    auto [x, y] = fit(0, 1);
    drop_at(0, x, y);
    EXPECT_EQ(fake.calls_of("fbmouse_pop_start"), std::vector<std::string>{"fbmouse_pop_start 5000"});
    drop_at(20, 600, 400);
    EXPECT_EQ(fake.count("fbmouse_pop_start"), 1) << "a drop that joins nothing is not felt";
}

}  // namespace
