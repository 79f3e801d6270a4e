// Carrying pieces with the keys, for players who cannot hold a button: the carried
// pieces move by arrow steps, turn about their middle and are put down as by a click;
// the next-piece key picks up loose pieces one after another, the nearest first.
#include <algorithm>
#include <cstring>

#include "platform/memory.h"
#include "puzzle/table_internal.h"
#include "puzzle/table_tools.h"
#include "ui/window.h"

namespace {

// The next-piece key's round: the pieces it has picked up since the mouse was last
// where it is now.
struct KeyRound {
    uint8_t *visited;  // one per piece
    int32_t count;
    int32_t x, y;
    bool on;
};
KeyRound round_;

// The middle of the carried pieces' boxes; false when nothing is carried.
bool carried_middle(int32_t *x, int32_t *y)
{
    int32_t x0 = INT32_MAX, y0 = INT32_MAX, x1 = INT32_MIN, y1 = INT32_MIN;
    for (int32_t i = 0; i < table.count; i++) {
        const Piece &p = table.pieces[i];
        if (!p.held)
            continue;
        PieceBox e = piece_body_extent(&p);
        x0 = std::min(x0, e.x0), y0 = std::min(y0, e.y0);
        x1 = std::max(x1, e.x1), y1 = std::max(y1, e.y1);
    }
    if (x1 < x0)
        return false;
    *x = (int32_t)(((int64_t)x0 + x1) / 2);
    *y = (int32_t)(((int64_t)y0 + y1) / 2);
    return true;
}

}  // namespace

int32_t table_key_step(bool large)
{
    if (large)
        return std::max(table.piece_size, 1);
    // From anywhere, steps of s come within s / 2 of a place along each axis: the
    // largest s whose worst corner still lies within the snap distance.
    int32_t tolerance = table.piece_size / 2, s = 1;
    while (2 * ((s + 1) / 2) * ((s + 1) / 2) <= tolerance)
        s++;
    return s;
}

int32_t table_key_move(int32_t dx, int32_t dy)
{
    int32_t x, y;
    if (!carried_middle(&x, &y))
        return 0;
    x += table.dx;
    y += table.dy;
    dx = std::clamp(x + dx, 0, table.width - 1) - x;
    dy = std::clamp(y + dy, 0, table.height - 1) - y;
    table.dx += dx;
    table.dy += dy;
    return 1;
}

int32_t table_key_turn(int32_t direction)
{
    int32_t x, y;
    if (!carried_middle(&x, &y))
        return 0;
    for (int32_t i = 0; i < table.count; i++)
        if (table.pieces[i].held)
            table.pieces[i].turn_request = direction > 0 ? 1 : -1;
    // The next tick moves the pivot by what it moves the pieces.
    table.key_pivot = 1;
    table.key_pivot_x = x;
    table.key_pivot_y = y;
    return 1;
}

int32_t table_key_drop(void)
{
    bool carried = false;
    for (int32_t i = 0; i < table.count && !carried; i++)
        carried = table.pieces[i].held;
    if (!carried)
        return 0;
    // The room drops on the end of its capture, as after a click.
    if (table.window >= 0 && window_drag_mode() == 2)
        window_drag_end();
    else
        table_drop();
    return 1;
}

void table_key_release(void)
{
    int32_t k = table.key_piece;
    if (k >= 0 && k < table.count)
        table_set_selected(table.pieces[k], 0);
    table.key_piece = TABLE_NO_PIECE;
    table.key_pivot = 0;
}

int32_t table_key_next(int32_t x, int32_t y)
{
    table_spread_finish();
    table_key_drop();
    if (round_.count != table.count) {
        io_mem_free(round_.visited);
        round_.visited = (uint8_t *)io_mem_alloc((size_t)std::max(table.count, 1));
        round_.count = table.count;
        round_.on = false;
    }
    if (!round_.on || round_.x != x || round_.y != y) {
        memset(round_.visited, 0, (size_t)std::max(table.count, 1));
        round_ = {round_.visited, round_.count, x, y, true};
    }
    int32_t best = TABLE_NO_PIECE;
    for (int pass = 0; pass < 2 && best == TABLE_NO_PIECE; pass++) {
        int64_t best_d = INT64_MAX;
        for (int32_t i = 0; i < table.count; i++) {
            const Piece &p = table.pieces[i];
            if (p.group != -1 || p.held || p.lift != 0 || p.turning || round_.visited[i] ||
                !table_box_shown(p.body_box))
                continue;
            int64_t cx = ((int64_t)p.body_box.x0 + p.body_box.x1) / 2 - x;
            int64_t cy = ((int64_t)p.body_box.y0 + p.body_box.y1) / 2 - y;
            if (cx * cx + cy * cy < best_d)
                best_d = cx * cx + cy * cy, best = i;
        }
        // Every loose piece had its turn: the round starts again.
        if (best == TABLE_NO_PIECE)
            memset(round_.visited, 0, (size_t)std::max(table.count, 1));
    }
    if (best == TABLE_NO_PIECE)
        return TABLE_NO_PIECE;
    round_.visited[best] = 1;
    table_deselect_all();
    table_set_selected(table.pieces[best], 1);
    table_scratch[0] = best;
    table_pick_up_listed(1);
    table.key_piece = best;
    return best;
}

void table_keys_free(void)
{
    io_mem_free(round_.visited);
    round_ = {};
}
