// Drawing the table in a frame: the geometry of moved pieces and their old and new
// places, the lying pieces, and the lifted ones over everything.
//
// The lying pieces are kept in the table layer: a screen-sized image of what each tile
// shows under the carried pieces (the room's backdrop with every lying piece over it),
// taken from the frame buffer whenever the table redraws a tile. A tile the carried
// pieces alone made dirty is copied back from it instead of being redrawn piece by piece
// under them; a tile anything else made dirty (a window, the backdrop, a lying piece that
// changed) is redrawn as before and taken into the layer again.
#include <algorithm>
#include <cstring>

#include "image/clip.h"
#include "platform/memory.h"
#include "platform/video.h"
#include "puzzle/table.h"
#include "puzzle/table_internal.h"

int table_draw_plain;

namespace {

// What the layer holds of one piece. Any change to it changes the layer where the piece
// lay and where it lies now; the stacking order shows as the piece it lies on.
struct LayerSeen {
    int32_t box_x0, box_y0, box_x1, box_y1;
    int32_t x, y, drawn_angle, angle, selected, shape, below, lying;
    bool operator==(const LayerSeen &) const = default;
};

enum : uint8_t { TILE_CLEAN = 0, TILE_RESTORE = 1, TILE_REDRAW = 2 };

struct Layer {
    Img *image;             // the screen's size and format
    int32_t width, height;  // the screen it was made for
    int32_t tile_w, tile_h, columns, rows;
    uint8_t *valid;    // per tile: the image holds what the tile shows under carried pieces
    uint8_t *outside;  // per tile: dirty before the table marked its own changes this frame
    uint8_t *todo;     // per tile, this frame: TILE_*
    bool outside_known;
    LayerSeen *seen;  // one per piece
    int32_t seen_count;
    const Img *picture;
    const Shape *shapes;
};
Layer layer;

LayerSeen seen_now(const Piece &p)
{
    const PieceBox &b = p.body_box;
    return {b.x0,          b.y0,    b.x1,       b.y1,    p.drawn_x, p.drawn_y,
            p.drawn_angle, p.angle, p.selected, p.shape, p.below,   p.lift == 0};
}

// The tiles under an inclusive rectangle, cut to the screen; false when none is.
bool tile_span(const PieceBox &b, int32_t *c0, int32_t *r0, int32_t *c1, int32_t *r1)
{
    if (!table_box_shown(b) || b.x0 >= layer.width || b.y0 >= layer.height)
        return false;
    *c0 = std::max(b.x0, 0) / layer.tile_w;
    *r0 = std::max(b.y0, 0) / layer.tile_h;
    *c1 = std::min(b.x1, layer.width - 1) / layer.tile_w;
    *r1 = std::min(b.y1, layer.height - 1) / layer.tile_h;
    return true;
}

void layer_stale(const PieceBox &b)
{
    int32_t c0, r0, c1, r1;
    if (!tile_span(b, &c0, &r0, &c1, &r1))
        return;
    for (int32_t r = r0; r <= r1; r++)
        memset(layer.valid + (size_t)r * layer.columns + c0, 0, (size_t)(c1 - c0 + 1));
}

void layer_forget(void)
{
    memset(layer.valid, 0, (size_t)layer.columns * layer.rows);
    for (int32_t i = 0; i < layer.seen_count; i++)
        layer.seen[i] = seen_now(table.pieces[i]);
    layer.picture = piece_scene.picture;
    layer.shapes = piece_scene.shapes;
}

// Makes the layer fit the screen, its tiles and the game; false when it cannot be used
// (no grid, or tiles that do not cover the screen exactly), and the table is drawn as
// it always was.
bool layer_fit(void)
{
    const ClipGrid *g = clip_grid();
    if (!g->flags || table.count < 1 || screen.bytes_per_pixel != 3 || g->tile_w < 1 || g->tile_h < 1 ||
        g->columns * g->tile_w != screen.width || g->rows * g->tile_h != screen.height) {
        table_layer_free();
        return false;
    }
    if (layer.image && layer.width == screen.width && layer.height == screen.height && layer.tile_w == g->tile_w &&
        layer.tile_h == g->tile_h && layer.seen_count == table.count) {
        if (layer.picture != piece_scene.picture || layer.shapes != piece_scene.shapes)
            layer_forget();
        return true;
    }
    table_layer_free();
    layer.width = screen.width;
    layer.height = screen.height;
    layer.tile_w = g->tile_w;
    layer.tile_h = g->tile_h;
    layer.columns = g->columns;
    layer.rows = g->rows;
    layer.image = img_create(layer.width, layer.height, IMG_BGR);
    size_t tiles = (size_t)layer.columns * layer.rows;
    layer.valid = (uint8_t *)io_mem_alloc(tiles);
    layer.outside = (uint8_t *)io_mem_alloc(tiles);
    layer.todo = (uint8_t *)io_mem_alloc(tiles);
    layer.seen_count = table.count;
    layer.seen = (LayerSeen *)io_mem_alloc(sizeof(LayerSeen) * (size_t)table.count);
    layer_forget();
    return true;
}

// Whether a lying piece changed since the layer last looked, whatever changed it: where
// it lay and where it lies now are to be redrawn.
inline void layer_note(int32_t i)
{
    const Piece &p = table.pieces[i];
    LayerSeen now = seen_now(p);
    LayerSeen &was = layer.seen[i];
    if (now == was)
        return;
    if (was.lying)
        layer_stale({was.box_x0, was.box_y0, was.box_x1, was.box_y1});
    if (now.lying)
        layer_stale(p.body_box);
    was = now;
}

// Copies the tiles marked `kind` between the layer and the frame buffer, a run of tiles
// at a time.
void layer_copy(uint8_t kind, bool to_screen)
{
    int32_t stride, w, h;
    uint8_t *image = img_pixels(layer.image, &stride, &w, &h);
    for (int32_t r = 0; r < layer.rows; r++) {
        const uint8_t *todo = layer.todo + (size_t)r * layer.columns;
        for (int32_t c = 0; c < layer.columns;) {
            if (todo[c] != kind) {
                c++;
                continue;
            }
            int32_t start = c;
            while (c < layer.columns && todo[c] == kind)
                c++;
            size_t x = (size_t)start * layer.tile_w * 3, bytes = (size_t)(c - start) * layer.tile_w * 3;
            for (int32_t y = r * layer.tile_h; y < (r + 1) * layer.tile_h; y++) {
                uint8_t *s = screen.buf + (ptrdiff_t)y * screen.pitch + x, *l = image + (ptrdiff_t)y * stride + x;
                if (to_screen)
                    memcpy(s, l, bytes);
                else
                    memcpy(l, s, bytes);
            }
        }
    }
}

// One piece drawn where tiles are dirty (or, with the layer, where they are to be
// redrawn); the runs of tiles come row by row, and runs straight below each other are
// drawn together, so a piece under wholly dirty tiles is drawn in one go.
struct DirtyDraw {
    const Piece *piece;
    int what;
    PieceBox open;  // the rectangle gathered so far, x1 = -1 when none
};

void dirty_flush(DirtyDraw *d)
{
    if (d->open.x1 >= 0)
        piece_draw_clipped(d->piece, d->what, d->open);
    d->open = {0, 0, -1, -1};
}

void dirty_run(int32_t x, int32_t y, int32_t w, int32_t h, void *ctx)
{
    DirtyDraw *d = (DirtyDraw *)ctx;
    PieceBox &o = d->open;
    if (o.x1 >= 0 && o.x0 == x && o.x1 == x + w - 1 && o.y1 + 1 == y) {
        o.y1 = y + h - 1;
        return;
    }
    dirty_flush(d);
    o = {x, y, x + w - 1, y + h - 1};
}

void draw_where_dirty(const Piece &p, int what)
{
    const PieceBox &b = what == PIECE_BODY ? p.body_box : p.shadow_box;
    if (!table_box_shown(b))
        return;
    if (!clip_grid()->flags) {
        piece_draw(&p, what);
        return;
    }
    DirtyDraw d = {&p, what, {0, 0, -1, -1}};
    clip_each_dirty(b.x0, b.y0, b.x1 - b.x0 + 1, b.y1 - b.y0 + 1, dirty_run, &d);
    dirty_flush(&d);
}

// The same over the tiles the layer redraws.
void draw_where_redrawn(const Piece &p)
{
    int32_t c0, r0, c1, r1;
    if (!tile_span(p.body_box, &c0, &r0, &c1, &r1))
        return;
    const PieceBox &b = p.body_box;
    DirtyDraw d = {&p, PIECE_BODY, {0, 0, -1, -1}};
    for (int32_t r = r0; r <= r1; r++) {
        const uint8_t *todo = layer.todo + (size_t)r * layer.columns;
        for (int32_t c = c0; c <= c1;) {
            if (todo[c] != TILE_REDRAW) {
                c++;
                continue;
            }
            int32_t start = c;
            while (c <= c1 && todo[c] == TILE_REDRAW)
                c++;
            int32_t x0 = std::max(start * layer.tile_w, b.x0), x1 = std::min(c * layer.tile_w - 1, b.x1);
            int32_t y0 = std::max(r * layer.tile_h, b.y0), y1 = std::min((r + 1) * layer.tile_h - 1, b.y1);
            dirty_run(x0, y0, x1 - x0 + 1, y1 - y0 + 1, &d);
        }
    }
    dirty_flush(&d);
}

void draw_lying_plain(void)
{
    int32_t n = table.count;
    for (int32_t i = table.bottom, steps = 0; i != -1 && steps < n; i = table.pieces[i].above, steps++)
        if (table.pieces[i].lift == 0)
            draw_where_dirty(table.pieces[i], PIECE_BODY);
}

// Makes the dirty tiles exactly those whose entry in `from` (one per tile) is `kind`.
void clip_only(uint8_t kind, const uint8_t *from)
{
    clip_set_all(0);
    for (int32_t r = 0; r < layer.rows; r++) {
        const uint8_t *row = from + (size_t)r * layer.columns;
        for (int32_t c = 0; c < layer.columns;) {
            if (row[c] != kind) {
                c++;
                continue;
            }
            int32_t start = c;
            while (c < layer.columns && row[c] == kind)
                c++;
            clip_invalidate(start * layer.tile_w, r * layer.tile_h, (c - start) * layer.tile_w, layer.tile_h);
        }
    }
}

// Dirty tiles only the table's carried pieces touched come back from the layer; the
// others get the room's backdrop and the lying pieces, and are taken into it.
void draw_lying_layered(void (*backdrop)(void))
{
    uint8_t *dirty = clip_grid()->flags;
    size_t tiles = (size_t)layer.columns * layer.rows;
    int32_t redraw_x0 = layer.width, redraw_y0 = layer.height, redraw_x1 = -1, redraw_y1 = -1;
    bool restore = false;
    for (size_t t = 0; t < tiles; t++) {
        if (!dirty[t]) {
            layer.todo[t] = TILE_CLEAN;
        } else if (layer.valid[t] && layer.outside_known && !layer.outside[t]) {
            layer.todo[t] = TILE_RESTORE;
            restore = true;
        } else {
            layer.todo[t] = TILE_REDRAW;
            int32_t c = (int32_t)(t % layer.columns), r = (int32_t)(t / layer.columns);
            redraw_x0 = std::min(redraw_x0, c * layer.tile_w);
            redraw_y0 = std::min(redraw_y0, r * layer.tile_h);
            redraw_x1 = std::max(redraw_x1, (c + 1) * layer.tile_w - 1);
            redraw_y1 = std::max(redraw_y1, (r + 1) * layer.tile_h - 1);
        }
    }
    layer.outside_known = false;
    if (restore)
        layer_copy(TILE_RESTORE, true);
    if (redraw_x1 < 0)
        return;
    if (backdrop) {
        // The backdrop is drawn only where the layer cannot give it back: the frame's
        // dirty tiles are kept aside meanwhile.
        memcpy(layer.outside, dirty, tiles);
        if (restore)
            clip_only(TILE_REDRAW, layer.todo);
        backdrop();
        if (restore)
            clip_only(1, layer.outside);  // the frame's own dirty tiles again
    }
    int32_t n = table.count;
    for (int32_t i = table.bottom, steps = 0; i != -1 && steps < n; i = table.pieces[i].above, steps++) {
        const Piece &p = table.pieces[i];
        const PieceBox &b = p.body_box;
        if (p.lift == 0 && b.x1 >= redraw_x0 && b.x0 <= redraw_x1 && b.y1 >= redraw_y0 && b.y0 <= redraw_y1)
            draw_where_redrawn(p);
    }
    layer_copy(TILE_REDRAW, false);
    for (size_t t = 0; t < tiles; t++)
        if (layer.todo[t] == TILE_REDRAW)
            layer.valid[t] = 1;
}

}  // namespace

void table_draw_where_dirty(const Piece &p, int what)
{
    draw_where_dirty(p, what);
}

void table_layer_free(void)
{
    img_free(layer.image);
    io_mem_free(layer.valid);
    io_mem_free(layer.outside);
    io_mem_free(layer.todo);
    io_mem_free(layer.seen);
    layer = {};
}

void table_update_geometry(void)
{
    bool layered = !table_draw_plain && layer_fit();
    if (layered) {
        // What is dirty now was made so by others: the backdrop or a window may have
        // changed there, so those tiles are redrawn, not copied back.
        memcpy(layer.outside, clip_grid()->flags, (size_t)layer.columns * layer.rows);
        layer.outside_known = true;
    }
    for (int32_t i = 0; i < table.count; i++) {
        Piece &p = table.pieces[i];
        if (p.dirty) {
            piece_dirty_rect(&p);
            piece_geometry_update(&p);
            piece_dirty_rect(&p);
            p.dirty = 0;
        }
        if (layered)
            layer_note(i);
    }
}

void table_draw_lying(void (*backdrop)(void))
{
    screen_view(&piece_scene.table, 0, 0);
    if (!table_draw_plain && layer_fit()) {
        draw_lying_layered(backdrop);
    } else {
        if (backdrop)
            backdrop();
        draw_lying_plain();
    }
    // The frame buffer is only valid inside the frame.
    piece_scene.table.colour = nullptr;
    piece_scene.table.width = table.width;
    piece_scene.table.height = table.height;
}

void table_draw(int what)
{
    if (what == TABLE_DRAW_LYING) {
        table_draw_lying(nullptr);
        return;
    }
    screen_view(&piece_scene.table, 0, 0);
    if (table_draw_plain || !held_sprite_draw()) {
        int32_t n = table.count;
        for (int part : {PIECE_SHADOW, PIECE_BODY})
            for (int32_t i = table.bottom, steps = 0; i != -1 && steps < n; i = table.pieces[i].above, steps++)
                if (table.pieces[i].lift != 0)
                    draw_where_dirty(table.pieces[i], part);
    }
    piece_scene.table.colour = nullptr;
    piece_scene.table.width = table.width;
    piece_scene.table.height = table.height;
}
