// What the table's files share: the table layer (the backdrop with every lying piece,
// kept so that frames while pieces are carried copy it back instead of redrawing what
// lies under them) and the held sprite (the carried pieces with their shadows, made once
// and laid down in one sweep while they only move).
#pragma once
#include <cstdint>

#include "puzzle/piece.h"

// --- the table (table.cpp) ---

// Scratch for walks that move pieces while they go: one entry per piece.
extern int32_t *table_scratch;
void table_set_selected(Piece &p, int32_t on);
void table_deselect_all(void);
// Picks up the pieces of table_scratch[0 .. n - 1] in that order; the room takes the mouse.
void table_pick_up_listed(int32_t n);
// Moves every moved piece's group back onto the table by the smallest correction.
void table_keep_on_table(void);

// --- the helpers of table_tools.h (table_spread.cpp, table_reveal.cpp, table_keys.cpp) ---

// Gives back what the helpers hold; the table is being freed.
void table_tools_free(void);
void table_spread_free(void);
void table_reveal_free(void);
void table_keys_free(void);
// The key-picked piece loses its mark and key turns their pivot: the carried pieces are
// put down.
void table_key_release(void);
// Draws a piece's body or shadow where tiles are dirty (table_draw.cpp); the piece may
// be a copy with geometry of its own.
void table_draw_where_dirty(const Piece &p, int what);

// --- the layer (table_draw.cpp) ---

// Gives back the layer's image and records; the next frame starts it afresh.
void table_layer_free(void);

// --- the held sprite (table_sprite.cpp) ---

// Draws every lifted piece (shadows first, then bodies, in stacking order) where tiles are
// dirty, through the sprite when the lifted pieces have kept their places relative to
// each other; false when it drew nothing and the caller must draw them piece by piece.
// Inside a frame, with piece_scene.table viewing the screen.
bool held_sprite_draw(void);
// Gives the sprite back; the next carried frames make it again.
void held_sprite_free(void);

// Whether a box holds at least one pixel.
inline bool table_box_shown(const PieceBox &b)
{
    return b.x1 >= 0 && b.x1 >= b.x0 && b.y1 >= b.y0;
}
