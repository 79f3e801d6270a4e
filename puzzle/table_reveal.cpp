// Pieces lying wholly under others, shown lifted over them with their outline lit while
// the player asks for them, so nothing is lost under a group. A piece counts as hidden
// when no pixel of it is the topmost there: the mouse could never reach it.
#include <algorithm>
#include <cstring>

#include "image/clip.h"
#include "platform/memory.h"
#include "puzzle/table_internal.h"
#include "puzzle/table_tools.h"

namespace {

constexpr int32_t OUTLINE = 2;                // pixels around the piece
constexpr uint32_t OUTLINE_COLOUR = 0xFFD84A;  // warm light, plain on any picture

struct Reveal {
    bool on;
    int32_t count;       // pieces the records were made for
    uint8_t *shown;      // one per piece
    int32_t *list;       // the shown pieces, bottom to top
    int32_t listed;
    PieceBox *ring_box;  // per listed piece: its body box grown by the outline, on the table
    PieceBox *drawn_box; // per listed piece: all it covers, its lifted shadow included
    size_t *ring_at;     // where its outline mask begins in `rings`
    uint8_t *rings;      // per pixel of each ring box: 1 on the outline
};
Reveal reveal;

// Steps through a piece's relief image along a row of the table: (u, v) at the row's
// first column and their change per column; quarter turns step exactly.
struct ReliefWalk {
    const uint16_t *pixels;
    int32_t stride, w, h;
    int32_t ux, vx, uy, vy;  // per table column and per table row
    bool exact;
};

bool walk_start(const Piece &p, ReliefWalk *walk)
{
    if (!piece_scene.shapes || p.shape < 0 || p.shape >= piece_scene.shape_count)
        return false;
    Img *relief = piece_scene.shapes[p.shape].relief;
    if (!relief)
        return false;
    int32_t stride;
    walk->pixels = (const uint16_t *)img_pixels(relief, &stride, &walk->w, &walk->h);
    walk->stride = stride / 2;
    int32_t back = (360 - p.drawn_angle % 360) % 360;
    walk->exact = back % 90 == 0;
    piece_turn(back, 1, 0, &walk->ux, &walk->vx);
    piece_turn(back, 0, 1, &walk->uy, &walk->vy);
    return true;
}

// Whether the piece shows a pixel at table point (x, y), as piece_hit asks it.
inline bool walk_covers(const Piece &p, const ReliefWalk &walk, int32_t x, int32_t y)
{
    int32_t u, v, dx = x - p.drawn_x, dy = y - p.drawn_y;
    if (walk.exact) {
        u = dx * walk.ux + dy * walk.uy;
        v = dx * walk.vx + dy * walk.vy;
    } else {
        piece_turn((360 - p.drawn_angle % 360) % 360, dx, dy, &u, &v);
    }
    return u >= 0 && v >= 0 && u < walk.w && v < walk.h && walk.pixels[(ptrdiff_t)v * walk.stride + u] != 0;
}

bool lying_on_table(const Piece &p)
{
    return p.lift == 0 && !p.held && table_box_shown(p.body_box);
}

// The piece with its geometry as the next frame will have it: moves since the last
// frame count.
Piece current(int32_t i)
{
    Piece p = table.pieces[i];
    if (p.dirty)
        piece_geometry_update(&p);
    return p;
}

// Marks where the shown pieces were drawn.
void reveal_mark(void)
{
    for (int32_t k = 0; k < reveal.listed; k++) {
        const PieceBox &r = reveal.drawn_box[k];
        clip_invalidate(r.x0, r.y0, r.x1 - r.x0 + 1, r.y1 - r.y0 + 1);
    }
}

void reveal_clear(void)
{
    io_mem_free(reveal.shown);
    io_mem_free(reveal.list);
    io_mem_free(reveal.ring_box);
    io_mem_free(reveal.drawn_box);
    io_mem_free(reveal.ring_at);
    io_mem_free(reveal.rings);
    reveal = {};
}

// The outline of each shown piece: the pixels outside it within OUTLINE of it.
void rings_build(void)
{
    size_t total = 0;
    reveal.ring_box = (PieceBox *)io_mem_alloc(sizeof(PieceBox) * (size_t)std::max(reveal.listed, 1));
    reveal.ring_at = (size_t *)io_mem_alloc(sizeof(size_t) * (size_t)std::max(reveal.listed, 1));
    reveal.drawn_box = (PieceBox *)io_mem_alloc(sizeof(PieceBox) * (size_t)std::max(reveal.listed, 1));
    for (int32_t k = 0; k < reveal.listed; k++) {
        const PieceBox b = current(reveal.list[k]).body_box;
        PieceBox r = {std::max(b.x0 - OUTLINE, 0), std::max(b.y0 - OUTLINE, 0), std::min(b.x1 + OUTLINE, table.width - 1),
                      std::min(b.y1 + OUTLINE, table.height - 1)};
        reveal.ring_box[k] = r;
        reveal.ring_at[k] = total;
        Piece lifted = current(reveal.list[k]);
        lifted.lift = table.lift;
        piece_geometry_update(&lifted);
        PieceBox d = r, sb = lifted.shadow_box;
        if (table_box_shown(sb))
            d = {std::min(d.x0, sb.x0), std::min(d.y0, sb.y0), std::max(d.x1, sb.x1), std::max(d.y1, sb.y1)};
        reveal.drawn_box[k] = d;
        total += (size_t)(r.x1 - r.x0 + 1) * (r.y1 - r.y0 + 1);
    }
    reveal.rings = (uint8_t *)io_mem_alloc(std::max(total, (size_t)1));
    for (int32_t k = 0; k < reveal.listed; k++) {
        const Piece p = current(reveal.list[k]);
        const PieceBox &r = reveal.ring_box[k];
        int32_t w = r.x1 - r.x0 + 1, h = r.y1 - r.y0 + 1;
        uint8_t *ring = reveal.rings + reveal.ring_at[k];
        ReliefWalk walk;
        if (!walk_start(p, &walk)) {
            memset(ring, 0, (size_t)w * h);
            continue;
        }
        for (int32_t y = 0; y < h; y++)
            for (int32_t x = 0; x < w; x++)
                ring[y * w + x] = walk_covers(p, walk, r.x0 + x, r.y0 + y) ? 2 : 0;
        // Outside pixels near an inside one become the outline (1); inside ones stay 2.
        for (int32_t y = 0; y < h; y++)
            for (int32_t x = 0; x < w; x++) {
                if (ring[y * w + x] == 2)
                    continue;
                bool near = false;
                for (int32_t yy = std::max(y - OUTLINE, 0); yy <= std::min(y + OUTLINE, h - 1) && !near; yy++)
                    for (int32_t xx = std::max(x - OUTLINE, 0); xx <= std::min(x + OUTLINE, w - 1) && !near; xx++)
                        near = ring[yy * w + xx] == 2;
                ring[y * w + x] = near ? 1 : 0;
            }
    }
}

struct RingDraw {
    const uint8_t *ring;
    PieceBox box;
};

void ring_run(int32_t x, int32_t y, int32_t w, int32_t h, void *ctx)
{
    const RingDraw *d = (const RingDraw *)ctx;
    const ImgView &v = piece_scene.table;
    int32_t bw = d->box.x1 - d->box.x0 + 1;
    uint8_t b = (uint8_t)OUTLINE_COLOUR, g = (uint8_t)(OUTLINE_COLOUR >> 8), r = (uint8_t)(OUTLINE_COLOUR >> 16);
    for (int32_t yy = y; yy < y + h; yy++) {
        const uint8_t *row = d->ring + (size_t)(yy - d->box.y0) * bw - d->box.x0;
        uint8_t *out = v.colour + (ptrdiff_t)yy * v.colour_stride;
        for (int32_t xx = x; xx < x + w; xx++)
            if (row[xx] == 1) {
                out[xx * 3] = b;
                out[xx * 3 + 1] = g;
                out[xx * 3 + 2] = r;
            }
    }
}

}  // namespace

int32_t table_reveal(int32_t on)
{
    reveal_mark();
    reveal_clear();
    if (!on || table.count < 1 || table.width < 1 || table.height < 1)
        return 0;
    reveal.on = true;
    reveal.count = table.count;
    // Who is topmost at every pixel of the table, walking the stack upwards.
    size_t pixels = (size_t)table.width * table.height;
    int32_t *owner = (int32_t *)io_mem_alloc(pixels * sizeof(int32_t));
    std::fill(owner, owner + pixels, -1);
    for (int32_t i = table.bottom, steps = 0; i != -1 && steps < table.count; i = table.pieces[i].above, steps++) {
        const Piece p = current(i);
        ReliefWalk walk;
        if (!lying_on_table(p) || !walk_start(p, &walk))
            continue;
        const PieceBox &b = p.body_box;
        for (int32_t y = std::max(b.y0, 0); y <= std::min(b.y1, table.height - 1); y++)
            for (int32_t x = std::max(b.x0, 0); x <= std::min(b.x1, table.width - 1); x++)
                if (walk_covers(p, walk, x, y))
                    owner[(size_t)y * table.width + x] = i;
    }
    reveal.shown = (uint8_t *)io_mem_alloc((size_t)table.count);
    memset(reveal.shown, 1, (size_t)table.count);
    for (size_t k = 0; k < pixels; k++)
        if (owner[k] >= 0)
            reveal.shown[owner[k]] = 0;
    io_mem_free(owner);
    reveal.list = (int32_t *)io_mem_alloc(sizeof(int32_t) * (size_t)table.count);
    for (int32_t i = table.bottom, steps = 0; i != -1 && steps < table.count; i = table.pieces[i].above, steps++) {
        if (!lying_on_table(current(i)))
            reveal.shown[i] = 0;
        if (reveal.shown[i])
            reveal.list[reveal.listed++] = i;
    }
    rings_build();
    reveal_mark();
    return reveal.listed;
}

bool table_revealing(void)
{
    return reveal.on && reveal.count == table.count;
}

bool table_revealed(int32_t piece)
{
    return table_revealing() && piece >= 0 && piece < table.count && reveal.shown[piece];
}

void table_reveal_draw(void)
{
    if (!table_revealing() || reveal.listed == 0)
        return;
    screen_view(&piece_scene.table, 0, 0);
    for (int part : {PIECE_SHADOW, PIECE_BODY})
        for (int32_t k = 0; k < reveal.listed; k++) {
            const Piece &p = table.pieces[reveal.list[k]];
            if (!lying_on_table(p))
                continue;  // picked up since: drawn as carried
            Piece lifted = p;
            lifted.lift = table.lift;
            piece_geometry_update(&lifted);
            table_draw_where_dirty(lifted, part);
        }
    for (int32_t k = 0; k < reveal.listed; k++) {
        if (!lying_on_table(table.pieces[reveal.list[k]]))
            continue;
        RingDraw d = {reveal.rings + reveal.ring_at[k], reveal.ring_box[k]};
        const PieceBox &r = d.box;
        if (clip_grid()->flags)
            clip_each_dirty(r.x0, r.y0, r.x1 - r.x0 + 1, r.y1 - r.y0 + 1, ring_run, &d);
        else
            ring_run(r.x0, r.y0, r.x1 - r.x0 + 1, r.y1 - r.y0 + 1, &d);
    }
    piece_scene.table.colour = nullptr;
    piece_scene.table.width = table.width;
    piece_scene.table.height = table.height;
}

int32_t table_reveal_hit(int32_t x, int32_t y)
{
    if (!table_revealing())
        return TABLE_NO_PIECE;
    for (int32_t k = reveal.listed - 1; k >= 0; k--) {
        const Piece p = current(reveal.list[k]);
        const PieceBox &b = p.body_box;
        ReliefWalk walk;
        if (lying_on_table(p) && x >= b.x0 && x <= b.x1 && y >= b.y0 && y <= b.y1 && walk_start(p, &walk) &&
            walk_covers(p, walk, x, y))
            return reveal.list[k];
    }
    return TABLE_NO_PIECE;
}

void table_reveal_free(void)
{
    reveal_clear();
}
