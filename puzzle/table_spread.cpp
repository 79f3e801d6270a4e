// The edge pieces picked out, and the loose pieces spread over the free parts of the
// table in rows, gliding there over a few ticks; where a piece comes to rest.
#include <algorithm>
#include <cstring>

#include "platform/memory.h"
#include "puzzle/table_internal.h"
#include "puzzle/table_tools.h"

namespace {

constexpr int32_t SPREAD_CELL = 4;  // the occupancy grid's cell: coarse enough to be quick, fine enough to pack
constexpr int32_t SPREAD_TOP = 20;  // the room's title bar, where pieces are never dealt either

// The glide under way: where each moving piece set out from and where it goes.
struct Spread {
    TableSpot *from, *to;  // one per piece
    uint8_t *moving;
    int32_t count;         // pieces the arrays were made for
    int32_t step;          // ticks done
    bool active;
};
Spread spread;

void spread_fit(void)
{
    if (spread.count == table.count && spread.from)
        return;
    io_mem_free(spread.from);
    io_mem_free(spread.to);
    io_mem_free(spread.moving);
    size_t n = (size_t)std::max(table.count, 1);
    spread.from = (TableSpot *)io_mem_alloc(n * sizeof(TableSpot));
    spread.to = (TableSpot *)io_mem_alloc(n * sizeof(TableSpot));
    spread.moving = (uint8_t *)io_mem_alloc(n);
    memset(spread.moving, 0, n);
    spread.count = table.count;
    spread.step = 0;
    spread.active = false;
}

// Which cells of the table anything in the way touches, with their running sums, so a
// rectangle's count of them is four look-ups.
struct Occupancy {
    int32_t columns, rows;
    int32_t *sum;  // (columns + 1) x (rows + 1): cells touched above and left of each corner
};

// Adds the cells under a rectangle to a grid of differences.
void occupancy_mark(int32_t *diff, int32_t columns, PieceBox b, int32_t width, int32_t height)
{
    b.x0 = std::max(b.x0, 0), b.y0 = std::max(b.y0, 0);
    b.x1 = std::min(b.x1, width - 1), b.y1 = std::min(b.y1, height - 1);
    if (b.x1 < b.x0 || b.y1 < b.y0)
        return;
    int32_t c0 = b.x0 / SPREAD_CELL, r0 = b.y0 / SPREAD_CELL, c1 = b.x1 / SPREAD_CELL + 1, r1 = b.y1 / SPREAD_CELL + 1;
    int32_t stride = columns + 1;
    diff[r0 * stride + c0]++;
    diff[r0 * stride + c1]--;
    diff[r1 * stride + c0]--;
    diff[r1 * stride + c1]++;
}

// The rectangle's touched cells, bounds included, on the table.
int64_t occupancy_count(const Occupancy &o, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    int32_t c0 = x0 / SPREAD_CELL, r0 = y0 / SPREAD_CELL;
    int32_t c1 = std::min(x1 / SPREAD_CELL + 1, o.columns), r1 = std::min(y1 / SPREAD_CELL + 1, o.rows);
    int32_t stride = o.columns + 1;
    return (int64_t)o.sum[r1 * stride + c1] - o.sum[r0 * stride + c1] - o.sum[r1 * stride + c0] + o.sum[r0 * stride + c0];
}

// Rows of square slots `side` wide, `pitch` apart, centred across the table.
struct Slots {
    int32_t side, pitch, columns, rows, origin_x;
    int32_t x(int32_t k) const { return origin_x + (k % columns) * pitch; }
    int32_t y(int32_t k) const { return SPREAD_TOP + (k / columns) * pitch; }
    int32_t count() const { return columns * rows; }
};

Slots slots_at(int32_t side, int32_t pitch)
{
    Slots s = {side, pitch, 0, 0, 0};
    if (table.width < side || table.height - SPREAD_TOP < side)
        return s;
    s.columns = (table.width - side) / pitch + 1;
    s.rows = (table.height - SPREAD_TOP - side) / pitch + 1;
    s.origin_x = (table.width - ((s.columns - 1) * pitch + side)) / 2;
    return s;
}

// The loose piece i's box when upright or at its own angle, as it will lie.
PieceBox spread_extent(int32_t i)
{
    Piece t = table.pieces[i];
    if (!table.rotation)
        t.angle = 0;
    return piece_body_extent(&t);
}

}  // namespace

// --- edge pieces ---

bool table_is_edge(int32_t piece)
{
    return piece >= 0 && piece < table.count && table.pieces[piece].neighbour_count < 4;
}

int32_t table_select_edges(void)
{
    bool all = true;
    int32_t edges = 0;
    for (int32_t i = 0; i < table.count; i++)
        if (table.pieces[i].group == -1 && table_is_edge(i)) {
            edges++;
            all = all && table.pieces[i].selected;
        }
    if (edges > 0 && all) {
        for (int32_t i = 0; i < table.count; i++)
            if (table.pieces[i].group == -1 && table_is_edge(i))
                table_set_selected(table.pieces[i], 0);
        return 0;
    }
    for (int32_t i = 0; i < table.count; i++) {
        Piece &p = table.pieces[i];
        table_set_selected(p, p.group == -1 && table_is_edge(i) ? 1 : 0);
    }
    return edges;
}

// --- spreading ---

int32_t table_spread_layout(const PieceBox *keep_out, int32_t keep_count, TableSpot *to, bool *overlap)
{
    if (overlap)
        *overlap = false;
    int32_t n = 0, side = 1;
    for (int32_t i = 0; i < table.count; i++) {
        const Piece &p = table.pieces[i];
        to[i] = {p.x, p.y, p.angle};
        if (p.group == -1 && !p.held && p.lift == 0 && !p.turning) {
            table_scratch[n++] = i;
            PieceBox e = spread_extent(i);
            side = std::max({side, e.x1 - e.x0 + 1, e.y1 - e.y0 + 1});
        }
    }
    if (n == 0)
        return 0;

    // Everything that stays where it is, and the rectangles the room keeps clear.
    Occupancy o = {(table.width + SPREAD_CELL - 1) / SPREAD_CELL, (table.height + SPREAD_CELL - 1) / SPREAD_CELL, nullptr};
    size_t cells = (size_t)(o.columns + 1) * (o.rows + 1);
    o.sum = (int32_t *)io_mem_alloc(cells * sizeof(int32_t));
    memset(o.sum, 0, cells * sizeof(int32_t));
    int32_t *diff = o.sum;
    for (int32_t i = 0; i < table.count; i++) {
        const Piece &p = table.pieces[i];
        if (!(p.group == -1 && !p.held && p.lift == 0 && !p.turning))
            occupancy_mark(diff, o.columns, piece_body_extent(&p), table.width, table.height);
    }
    for (int32_t k = 0; k < keep_count; k++)
        occupancy_mark(diff, o.columns, keep_out[k], table.width, table.height);
    // The differences become cells touched (0 or 1), then running sums shifted by one,
    // in place from the bottom-right corner.
    int32_t stride = o.columns + 1;
    for (int32_t r = 0; r < o.rows; r++)
        for (int32_t c = 0; c < o.columns; c++) {
            int32_t v = diff[r * stride + c];
            if (c > 0)
                v += diff[r * stride + c - 1];
            if (r > 0)
                v += diff[(r - 1) * stride + c];
            if (r > 0 && c > 0)
                v -= diff[(r - 1) * stride + c - 1];
            diff[r * stride + c] = v;
        }
    for (int32_t r = o.rows; r >= 0; r--)
        for (int32_t c = o.columns; c >= 0; c--)
            o.sum[r * stride + c] = r == 0 || c == 0 ? 0 : o.sum[(r - 1) * stride + c - 1] > 0 ? 1 : 0;
    for (int32_t r = 1; r <= o.rows; r++)
        for (int32_t c = 1; c <= o.columns; c++)
            o.sum[r * stride + c] += o.sum[(r - 1) * stride + c] + o.sum[r * stride + c - 1] - o.sum[(r - 1) * stride + c - 1];

    // The widest rows that still find a free slot for every piece; rows closer than a
    // piece overlap, down to half a piece.
    Slots s = {};
    bool found = false;
    for (int32_t pitch = side + TABLE_SPREAD_GAP; pitch >= std::max(side / 2, 1) && !found; pitch--) {
        s = slots_at(side, pitch);
        int32_t free = 0;
        for (int32_t k = 0; k < s.count() && free < n; k++)
            free += occupancy_count(o, s.x(k), s.y(k), s.x(k) + side - 1, s.y(k) + side - 1) == 0;
        found = free >= n;
    }
    // The order the slots are taken in: free ones row by row; when too few are free,
    // those with the least in the way.
    int32_t slot_count = s.count();
    int32_t *order = (int32_t *)io_mem_alloc(sizeof(int32_t) * (size_t)std::max(slot_count, 1));
    int64_t *score = (int64_t *)io_mem_alloc(sizeof(int64_t) * (size_t)std::max(slot_count, 1));
    for (int32_t k = 0; k < slot_count; k++) {
        order[k] = k;
        score[k] = occupancy_count(o, s.x(k), s.y(k), s.x(k) + side - 1, s.y(k) + side - 1);
    }
    std::stable_sort(order, order + slot_count, [score](int32_t a, int32_t b) { return (score[a] == 0) > (score[b] == 0); });
    if (!found)
        std::stable_sort(order, order + slot_count, [score](int32_t a, int32_t b) { return score[a] < score[b]; });
    if (overlap)
        *overlap = !found || s.pitch < side;

    // Selected pieces first, then the others as they lie, row by row: the heap keeps
    // its rough order and the picture's order is never given away.
    int64_t *rank = (int64_t *)io_mem_alloc(sizeof(int64_t) * (size_t)table.count);
    for (int32_t j = 0; j < n; j++) {
        const Piece &p = table.pieces[table_scratch[j]];
        PieceBox e = piece_body_extent(&p);
        int64_t row = std::clamp((e.y0 + e.y1) / 2, -table.height, 2 * table.height) / side + 3 * table.height;
        int64_t column = std::clamp(e.x0 + e.x1, -2 * table.width, 4 * table.width) + 4 * table.width;
        rank[table_scratch[j]] = (int64_t)!p.selected << 62 | row << 31 | column;
    }
    std::stable_sort(table_scratch, table_scratch + n, [rank](int32_t a, int32_t b) { return rank[a] < rank[b]; });
    io_mem_free(rank);
    for (int32_t j = 0; j < n && slot_count > 0; j++) {
        int32_t i = table_scratch[j], k = order[j % slot_count];
        PieceBox e = spread_extent(i);
        int32_t w = e.x1 - e.x0 + 1, h = e.y1 - e.y0 + 1;
        const Piece &p = table.pieces[i];
        to[i] = {p.x + s.x(k) + (side - w) / 2 - e.x0, p.y + s.y(k) + (side - h) / 2 - e.y0,
                 table.rotation ? p.angle : 0};
    }
    io_mem_free(order);
    io_mem_free(score);
    io_mem_free(o.sum);
    return slot_count > 0 ? n : 0;
}

int32_t table_spread(const PieceBox *keep_out, int32_t keep_count)
{
    table_spread_finish();
    if (table.count < 1)
        return 0;
    spread_fit();
    int32_t n = table_spread_layout(keep_out, keep_count, spread.to, nullptr);
    int32_t moving = 0;
    for (int32_t i = 0; i < table.count; i++) {
        const Piece &p = table.pieces[i];
        spread.from[i] = {p.x, p.y, p.angle};
        const TableSpot &t = spread.to[i];
        spread.moving[i] = t.x != p.x || t.y != p.y || t.angle != p.angle;
        moving += spread.moving[i];
    }
    spread.step = 0;
    spread.active = moving > 0;
    table_spread_step();  // the first step at once: the player sees the command taken
    return n > 0 ? moving : 0;
}

bool table_spreading(void)
{
    return spread.active && spread.count == table.count;
}

void table_spread_step(void)
{
    if (!table_spreading())
        return;
    int32_t step = ++spread.step;
    for (int32_t i = 0; i < table.count; i++) {
        if (!spread.moving[i])
            continue;
        Piece &p = table.pieces[i];
        const TableSpot &a = spread.from[i], &b = spread.to[i];
        p.x = p.work_x = a.x + (int32_t)((int64_t)(b.x - a.x) * step / TABLE_SPREAD_TICKS);
        p.y = p.work_y = a.y + (int32_t)((int64_t)(b.y - a.y) * step / TABLE_SPREAD_TICKS);
        p.angle = b.angle;
        p.dirty = 1;
        if (step >= TABLE_SPREAD_TICKS)
            spread.moving[i] = 0;
    }
    if (step >= TABLE_SPREAD_TICKS)
        spread.active = false;
}

void table_spread_finish(void)
{
    while (table_spreading())
        table_spread_step();
}

TableSpot table_rest_place(int32_t i)
{
    const Piece &p = table.pieces[i];
    if (table_spreading() && spread.moving[i])
        return spread.to[i];
    if (!p.turning)
        return {p.x, p.y, p.angle};
    // The turn finished as table_finish_turns finishes it.
    int32_t angle = ((p.turn_start_angle + 90 * p.turning) % 360 + 360) % 360, vx, vy;
    piece_turn(angle - p.turn_start_angle, p.turn_base_x - p.pivot_x, p.turn_base_y - p.pivot_y, &vx, &vy);
    return {p.pivot_x + vx, p.pivot_y + vy, angle};
}

void table_spread_free(void)
{
    io_mem_free(spread.from);
    io_mem_free(spread.to);
    io_mem_free(spread.moving);
    spread = {};
}

void table_tools_free(void)
{
    table_spread_free();
    table_reveal_free();
    table_keys_free();
    table.key_piece = TABLE_NO_PIECE;
    table.key_pivot = 0;
}
