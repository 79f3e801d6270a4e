// The pieces on the table: dealing, the stacking list, the mouse, ticks, dropping and
// joining, keeping pieces on the table, progress and arranging. Table coordinates are
// screen coordinates: the room that owns the table fills the screen.
#include "puzzle/table.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "media/feedback.h"
#include "media/sound.h"
#include "platform/loop.h"
#include "platform/memory.h"
#include "platform/random.h"
#include "puzzle/table_internal.h"
#include "puzzle/table_tools.h"
#include "ui/window.h"

TableState table = {nullptr, 0, -1, -1, 0, 0, 0, 0, 0, -1, 0, 0, 0, 0, -1, {}, 0, 0, 0, -1};

// Scratch for walks that move pieces while they go: one entry per piece.
int32_t *table_scratch;

static int32_t angle_reduce(int32_t angle)
{
    int32_t a = angle % 360;
    return a < 0 ? a + 360 : a;
}

static bool same_group(const Piece &a, const Piece &b)
{
    return a.group != -1 && a.group == b.group;
}

// --- the stacking list ---

static bool linked(int32_t i)
{
    return table.pieces[i].below != -1 || table.bottom == i;
}

void piece_unlink(int32_t i)
{
    if (i < 0 || i >= table.count || !linked(i))
        return;
    Piece &p = table.pieces[i];
    if (p.below != -1)
        table.pieces[p.below].above = p.above;
    else
        table.bottom = p.above;
    if (p.above != -1)
        table.pieces[p.above].below = p.below;
    else
        table.top = p.below;
    p.below = p.above = -1;
}

void piece_put_above(int32_t i, int32_t below)
{
    if (i < 0 || i >= table.count || i == below)
        return;
    piece_unlink(i);
    Piece &p = table.pieces[i];
    // With nothing to lie on, the piece goes to the bottom of the stack.
    if (below < 0 || below >= table.count || !linked(below))
        below = -1;
    int32_t above = below < 0 ? table.bottom : table.pieces[below].above;
    p.below = below;
    p.above = above;
    (above != -1 ? table.pieces[above].below : table.top) = i;
    (below != -1 ? table.pieces[below].above : table.bottom) = i;
}

void piece_to_top(int32_t i)
{
    if (i < 0 || i >= table.count)
        return;
    piece_unlink(i);
    if (table.top == -1) {
        piece_put_above(i, -1);
        return;
    }
    piece_put_above(i, table.top);
}

// The pieces that satisfy `want`, bottom to top, into the scratch list; their number.
template <class Want> static int32_t stack_collect(Want want)
{
    int32_t n = 0;
    for (int32_t i = table.bottom, steps = 0; i != -1 && steps < table.count; i = table.pieces[i].above, steps++)
        if (want(table.pieces[i]))
            table_scratch[n++] = i;
    return n;
}

// --- life of a game ---

void table_free(void)
{
    table_tools_free();
    table_layer_free();
    held_sprite_free();
    io_mem_free(table.pieces);
    io_mem_free(table_scratch);
    table.pieces = nullptr;
    table_scratch = nullptr;
    table.count = 0;
    table.bottom = table.top = -1;
    table.progress = 0;
}

void table_create(const CutResult *cut, const BoxInfo *box, int32_t width, int32_t height, int32_t window)
{
    table_free();
    int32_t n = std::max(cut->piece_count, 0);
    size_t records = (size_t)std::max(n, 1);
    table.pieces = (Piece *)io_mem_alloc(records * sizeof(Piece));
    table_scratch = (int32_t *)io_mem_alloc(records * sizeof(int32_t));
    memset(table.pieces, 0, records * sizeof(Piece));
    table.count = n;
    table.width = width;
    table.height = height;
    table.piece_size = box->piece_size;
    table.rotation = box->rotation;
    table.lift = cut->shadow_distance;
    table.window = window;
    table.dx = table.dy = 0;
    table.pickup_time = 0;
    table.bottom = table.top = -1;
    table.key_pivot = 0;
    table.key_piece = TABLE_NO_PIECE;
    piece_scene.table.width = width;
    piece_scene.table.height = height;
    piece_scene.table.format = IMG_BGR;
    for (int32_t i = 0; i < n; i++) {
        const CutPiece &c = cut->pieces[i];
        Piece &p = table.pieces[i];
        p.shape = c.shape;
        p.home_x = c.home_x;
        p.home_y = c.home_y;
        if (c.shape >= 0 && c.shape < cut->shape_count) {
            p.home_x += cut->shapes[c.shape].mask_x;
            p.home_y += cut->shapes[c.shape].mask_y;
        }
        p.neighbour_count = std::clamp(c.neighbour_count, 0, 4);
        for (int32_t k = 0; k < p.neighbour_count; k++)
            p.neighbours[k] = c.neighbours[k];
        p.x = p.work_x = p.home_x;
        p.y = p.work_y = p.home_y;
        p.group = -1;
        p.below = p.above = -1;
        piece_to_top(i);
    }
    table.progress = 0;
}

void table_deal(void)
{
    int32_t top = table.rotation ? table.piece_size + 20 : 20;
    for (int32_t i = 0; i < table.count; i++) {
        Piece &p = table.pieces[i];
        p.group = -1;
        p.x = rand_mod(table.width - table.piece_size);
        p.y = top + rand_mod(table.height - top - table.piece_size);
        p.angle = table.rotation ? rand_mod(4) * 90 : 0;
        p.lift = 0;
        piece_to_top(i);
    }
    for (int32_t k = 0; k < 2 * table.count; k++)
        piece_to_top(rand_mod(table.count));
    table_setup();
}

// Moves every moved piece's group (or the piece alone) back by the smallest correction
// that brings one member's centre onto the table; a group with a member's centre on the
// table stays where it is.
void table_keep_on_table(void)
{
    for (int32_t i = 0; i < table.count; i++) {
        Piece &p = table.pieces[i];
        if (!p.moved)
            continue;
        int32_t n = 0;
        if (p.group == -1) {
            table_scratch[n++] = i;
        } else {
            for (int32_t j = 0; j < table.count; j++)
                if (table.pieces[j].group == p.group)
                    table_scratch[n++] = j;
        }
        int64_t best = -1;
        int32_t best_x = 0, best_y = 0;
        for (int32_t k = 0; k < n && best != 0; k++) {
            PieceBox e = piece_body_extent(&table.pieces[table_scratch[k]]);
            int32_t cx = (e.x0 + e.x1) / 2, cy = (e.y0 + e.y1) / 2;
            int32_t fx = cx < 0 ? -cx : cx > table.width ? table.width - cx : 0;
            int32_t fy = cy < 0 ? -cy : cy > table.height ? table.height - cy : 0;
            int64_t d = (int64_t)fx * fx + (int64_t)fy * fy;
            if (best < 0 || d < best)
                best = d, best_x = fx, best_y = fy;
        }
        for (int32_t k = 0; k < n; k++) {
            Piece &m = table.pieces[table_scratch[k]];
            m.moved = 0;
            if (best_x == 0 && best_y == 0)
                continue;
            m.x += best_x;
            m.y += best_y;
            m.work_x += best_x;
            m.work_y += best_y;
            if (m.turning) {
                m.turn_base_x += best_x;
                m.turn_base_y += best_y;
                m.pivot_x += best_x;
                m.pivot_y += best_y;
            }
            m.dirty = 1;
        }
    }
}

void table_setup(void)
{
    for (int32_t i = 0; i < table.count; i++) {
        Piece &p = table.pieces[i];
        p.dirty = p.selected = p.held = p.turning = p.turn_request = 0;
        p.moved = 1;
        p.angle = angle_reduce(p.angle / 90 * 90);
        // Nothing is held after set-up, so nothing is lifted; and a group is the index of
        // one of its members, which a saved game from elsewhere need not respect.
        p.lift = 0;
        if (p.group < -1 || p.group >= table.count)
            p.group = -1;
        p.work_x = p.x;
        p.work_y = p.y;
    }
    table_keep_on_table();
    for (int32_t i = 0; i < table.count; i++) {
        piece_geometry_update(&table.pieces[i]);
        table.pieces[i].dirty = 0;
    }
    table_progress();
    table.dx = table.dy = 0;
}

// --- selection and picking up ---

void table_set_selected(Piece &p, int32_t on)
{
    if (p.selected != on) {
        p.selected = on;
        p.dirty = 1;
    }
}

void table_deselect_all(void)
{
    for (int32_t i = 0; i < table.count; i++)
        table_set_selected(table.pieces[i], 0);
}

static void toggle_group(int32_t i)
{
    Piece &p = table.pieces[i];
    if (p.group == -1) {
        table_set_selected(p, !p.selected);
        return;
    }
    int32_t g = p.group, on = !p.selected;
    for (int32_t j = 0; j < table.count; j++)
        if (table.pieces[j].group == g)
            table_set_selected(table.pieces[j], on);
}

static void pick_up(int32_t i)
{
    Piece &p = table.pieces[i];
    p.lift = table.lift;
    p.held = 1;
    p.dirty = 1;
    p.work_x = p.x;
    p.work_y = p.y;
    piece_to_top(i);
}

// Picks up the pieces of the scratch list in their stacking order, so a group or a
// selection keeps its own order on top of the stack; then the room takes the mouse.
void table_pick_up_listed(int32_t n)
{
    for (int32_t k = 0; k < n; k++)
        pick_up(table_scratch[k]);
    if (table.window >= 0)
        window_capture(table.window);
    table.pickup_time = io_time();
    table.dx = table.dy = 0;
}

// Rectangle selection: pieces whose centre lies in the band widened by a fifth of the
// piece size toggle, whole groups at a time.
static void band_select(const TwBand *band)
{
    int32_t m = std::max(table.piece_size / 5, 1);
    int64_t x0 = (int64_t)band->x - m, x1 = (int64_t)band->x + band->width + m;
    int64_t y0 = (int64_t)band->y - m, y1 = (int64_t)band->y + band->height + m;
    for (int32_t i = 0; i < table.count; i++)
        table.pieces[i].mark = 0;
    for (int32_t i = 0; i < table.count; i++) {
        Piece &p = table.pieces[i];
        int64_t cx = 0, cy = 0;
        for (const QuadPoint &q : p.body_quad) {
            cx += (int64_t)q.x;
            cy += (int64_t)q.y;
        }
        cx /= 4;
        cy /= 4;
        if (cx < x0 || cx > x1 || cy < y0 || cy > y1)
            continue;
        if (p.group == -1) {
            table_set_selected(p, !p.selected);
        } else if (!p.mark) {
            int32_t g = p.group, on = !p.selected;
            for (int32_t j = 0; j < table.count; j++)
                if (table.pieces[j].group == g) {
                    table_set_selected(table.pieces[j], on);
                    table.pieces[j].mark = 1;
                }
        }
    }
}

int32_t piece_hit(int32_t x, int32_t y)
{
    for (int32_t i = table.top, steps = 0; i != -1 && steps < table.count; i = table.pieces[i].below, steps++) {
        const Piece &p = table.pieces[i];
        const PieceBox &b = p.body_box;
        if (!table_box_shown(b) || x < b.x0 || x > b.x1 || y < b.y0 || y > b.y1)
            continue;
        if (!piece_scene.shapes || p.shape < 0 || p.shape >= piece_scene.shape_count)
            continue;
        Img *relief = piece_scene.shapes[p.shape].relief;
        if (!relief)
            continue;
        int32_t u, v, stride, w, h;
        piece_turn((360 - p.drawn_angle % 360) % 360, x - p.drawn_x, y - p.drawn_y, &u, &v);
        const uint8_t *pixels = img_pixels(relief, &stride, &w, &h);
        if (u >= 0 && v >= 0 && u < w && v < h && ((const uint16_t *)(pixels + (ptrdiff_t)v * stride))[u] != 0)
            return i;
    }
    return TABLE_NO_PIECE;
}

// --- the mouse ---

static int32_t mouse_down(int32_t x, int32_t y, int32_t buttons)
{
    table_spread_finish();  // a piece still on its way is where it goes before it is taken
    int32_t button = buttons & (IO_BUTTON_LEFT | IO_BUTTON_RIGHT);
    bool ctrl = buttons & IO_BUTTON_CTRL, dragging = buttons & 8;
    if (dragging) {
        if (button == IO_BUTTON_RIGHT) {
            for (int32_t i = 0; i < table.count; i++)
                if (table.pieces[i].held)
                    table.pieces[i].turn_request = ctrl ? 1 : -1;
            table.key_pivot = 0;  // the mouse turns about the mouse
        } else if (button == IO_BUTTON_LEFT) {
            window_drag_end();  // the toolkit answers with TW_CAPTURE_END, which drops
        }
        return 1;
    }
    int32_t hit = piece_hit(x, y);
    if (hit != TABLE_NO_PIECE && button == IO_BUTTON_LEFT) {
        Piece &p = table.pieces[hit];
        if (ctrl) {
            toggle_group(hit);
        } else if (!p.selected) {
            table_deselect_all();
            int32_t g = p.group;
            if (g == -1)
                table_scratch[0] = hit;
            table_pick_up_listed(g == -1 ? 1 : stack_collect([g](const Piece &q) { return q.group == g; }));
        } else {
            table_pick_up_listed(stack_collect([](const Piece &q) { return q.selected != 0; }));
        }
        return 1;
    }
    if (hit != TABLE_NO_PIECE)
        return 0;
    if (!ctrl)
        table_deselect_all();
    if (button == IO_BUTTON_LEFT) {
        if (table.window >= 0)
            window_rubber_band(table.window);
        return 0;
    }
    return !ctrl;
}

int32_t table_mouse(int32_t code, intptr_t a, intptr_t b, intptr_t c)
{
    switch (code) {
    case TW_CAPTURE_MOVE:
        table.dx += (int32_t)a;
        table.dy += (int32_t)b;
        return 1;
    case TW_CAPTURE_END: table_drop(); return 1;
    case TW_BAND_END:
        if (c)
            band_select((const TwBand *)c);
        return 1;
    case IO_MOUSE_DOWN: return mouse_down((int32_t)a, (int32_t)b, (int32_t)c);
    case IO_MOUSE_UP:
        if (!(c & 8))
            return 0;
        // A quick click leaves the pieces held until the next left click drops them.
        if ((c & IO_BUTTON_LEFT) && !(io_mouse_buttons & IO_BUTTON_RIGHT) &&
            io_time() - table.pickup_time > TABLE_CLICK_HOLD_MS)
            window_drag_end();
        return 1;
    default: return 0;
    }
}

// --- ticks ---

// Where the turn has brought a piece: its turn base turned about the pivot by the angle
// turned so far.
static void turn_place(Piece &p)
{
    int32_t vx, vy;
    piece_turn(p.angle - p.turn_start_angle, p.turn_base_x - p.pivot_x, p.turn_base_y - p.pivot_y, &vx, &vy);
    p.work_x = p.pivot_x + vx;
    p.work_y = p.pivot_y + vy;
}

void table_tick(void)
{
    int32_t dx = table.dx, dy = table.dy;
    // A turn asked for with a key goes about the carried pieces' middle, which moves
    // with them.
    table.key_pivot_x += dx;
    table.key_pivot_y += dy;
    for (int32_t i = 0; i < table.count; i++) {
        Piece &p = table.pieces[i];
        if (p.turning) {
            p.angle += TABLE_TURN_STEP * p.turning;
            if (p.angle % 90 == 0)
                p.turning = 0;
            p.angle = angle_reduce(p.angle);
            turn_place(p);
            if (p.held) {
                p.pivot_x += dx;
                p.pivot_y += dy;
                p.turn_base_x += dx;
                p.turn_base_y += dy;
            }
            p.x = p.work_x;
            p.y = p.work_y;
            p.dirty = 1;
        }
        if (p.held) {
            p.work_x += dx;
            p.work_y += dy;
            p.x = p.work_x;
            p.y = p.work_y;
            if (dx || dy)
                p.dirty = 1;
        }
        if (!p.turning && p.turn_request) {
            p.turning = p.turn_request;
            p.turn_request = 0;
            p.turn_start_angle = p.angle;
            p.pivot_x = table.key_pivot ? table.key_pivot_x : io_mouse_x;
            p.pivot_y = table.key_pivot ? table.key_pivot_y : io_mouse_y;
            p.turn_base_x = p.work_x;
            p.turn_base_y = p.work_y;
        }
    }
    table.dx = table.dy = 0;
    table_spread_step();
}

// --- dropping and joining ---

// Whether q lies where p's picture says it should, within the tolerance and angle.
static bool snap_test(const Piece &p, const Piece &q)
{
    if (std::abs(p.angle - q.angle) > 5)
        return false;
    int32_t vx, vy;
    piece_turn((3600 - p.angle) % 360, q.x - p.x, q.y - p.y, &vx, &vy);
    int64_t ex = (int64_t)vx + p.home_x - q.home_x, ey = (int64_t)vy + p.home_y - q.home_y;
    return ex * ex + ey * ey <= table.piece_size / 2;
}

// Joins p's group to q's and lays the whole group out around q, which lies still.
static void join(int32_t pi, int32_t qi)
{
    Piece &p = table.pieces[pi], &q = table.pieces[qi];
    if (table.hooks.joined)
        table.hooks.joined(io_mouse_x, io_mouse_y);
    int32_t g = p.group != -1 ? p.group : q.group != -1 ? q.group : qi;
    int32_t old_p = p.group, old_q = q.group;
    for (int32_t i = 0; i < table.count; i++) {
        int32_t &r = table.pieces[i].group;
        if (r != -1 && (r == old_p || r == old_q))
            r = g;
    }
    p.group = q.group = g;
    for (int32_t i = 0; i < table.count; i++) {
        Piece &r = table.pieces[i];
        // q is the one lying still: the others come to it (and q above itself would
        // loop the stacking list).
        if (r.group != g || i == qi)
            continue;
        int32_t vx, vy;
        piece_turn(q.angle, r.home_x - q.home_x, r.home_y - q.home_y, &vx, &vy);
        r.x = r.work_x = q.x + vx;
        r.y = r.work_y = q.y + vy;
        r.angle = q.angle;
        r.dirty = 1;
        piece_put_above(i, qi);
    }
}

static bool join_test(int32_t pi)
{
    bool joined = false;
    Piece &p = table.pieces[pi];
    for (int32_t k = 0; k < p.neighbour_count; k++) {
        int32_t qi = p.neighbours[k];
        if (qi < 0 || qi >= table.count || qi == pi)
            continue;
        const Piece &q = table.pieces[qi];
        if (same_group(p, q) || q.lift != 0 || q.turning || !snap_test(p, q))
            continue;
        join(pi, qi);
        joined = true;
    }
    if (joined && table.connect_sound >= 0)
        sound_play(table.connect_sound);
    return joined;
}

bool table_finished(void)
{
    if (table.count == 0)
        return true;
    int32_t g = table.pieces[0].group;
    if (g == -1)
        return table.count == 1;
    for (int32_t i = 1; i < table.count; i++)
        if (table.pieces[i].group != g)
            return false;
    return true;
}

void table_drop(void)
{
    held_sprite_free();  // nothing is carried any more
    table_key_release();
    table_spread_finish();  // pieces join only where they lie still
    bool joined = false;
    for (int32_t i = 0; i < table.count; i++)
        table.pieces[i].moved = table.pieces[i].held;
    for (int32_t i = 0; i < table.count; i++) {
        Piece &p = table.pieces[i];
        if (!p.held)
            continue;
        p.lift = 0;
        p.held = 0;
        p.dirty = 1;
        p.work_x = p.x;
        p.work_y = p.y;
        if (p.lift == 0 && !p.turning)
            joined |= join_test(i);
    }
    bool finished = false;
    if (joined) {
        fb_pop(TABLE_JOIN_POP);
        table_deselect_all();
        table_progress();
        if (table_finished()) {
            table.progress = 100;
            finished = true;
        }
    }
    table_keep_on_table();
    // Told last, so the room sees the table as the player will.
    if (finished && table.hooks.finished)
        table.hooks.finished();
}

void table_finish_turns(void)
{
    for (int32_t i = 0; i < table.count; i++) {
        Piece &p = table.pieces[i];
        p.turn_request = 0;
        if (!p.turning)
            continue;
        p.angle = angle_reduce(p.turn_start_angle + 90 * p.turning);
        p.turning = 0;
        // The position comes with the angle: a group's members each turned about the
        // same pivot, and only their final places fit together again.
        turn_place(p);
        p.x = p.work_x;
        p.y = p.work_y;
        p.dirty = 1;
    }
    table_drop();
    table_deselect_all();
}

// --- progress and arranging ---

int32_t table_progress(void)
{
    int64_t links = 0, joined = 0;
    for (int32_t i = 0; i < table.count; i++) {
        const Piece &p = table.pieces[i];
        links += p.neighbour_count;
        for (int32_t k = 0; k < p.neighbour_count; k++) {
            int32_t q = p.neighbours[k];
            if (q >= 0 && q < table.count && same_group(p, table.pieces[q]))
                joined++;
        }
    }
    // A puzzle without links is one piece: finished from the start.
    if (links == 0)
        table.progress = 100;
    else
        table.progress = (int32_t)(joined * 100 / links);
    if (table.progress == 0 && joined >= 1)
        table.progress = 1;
    return table.progress;
}

void table_arrange(void)
{
    table_deselect_all();
    // Group sizes: groups are named by the index of a member.
    for (int32_t i = 0; i < table.count; i++)
        table_scratch[i] = 0;
    for (int32_t i = 0; i < table.count; i++)
        if (table.pieces[i].group != -1)
            table_scratch[table.pieces[i].group]++;
    int32_t largest = 1;
    for (int32_t i = 0; i < table.count; i++) {
        Piece &p = table.pieces[i];
        p.mark = p.group == -1 ? 1 : std::max(table_scratch[p.group], 1);
        largest = std::max(largest, p.mark);
    }
    // Each size that occurs, largest first, goes to the top in its stacking order.
    for (int32_t size = largest; size >= 1;) {
        int32_t first = -1;
        for (int32_t i = table.bottom, steps = 0; i != -1 && i != first && steps < table.count; steps++) {
            int32_t next = table.pieces[i].above;
            if (table.pieces[i].mark == size) {
                piece_to_top(i);
                if (first == -1)
                    first = i;
            }
            i = next;
        }
        int32_t smaller = 0;
        for (int32_t i = 0; i < table.count; i++)
            if (table.pieces[i].mark < size)
                smaller = std::max(smaller, table.pieces[i].mark);
        size = smaller;
    }
    for (int32_t i = 0; i < table.count; i++) {
        Piece &p = table.pieces[i];
        if (p.mark == 1)
            p.selected = 1;
        p.dirty = 1;
    }
}
