// What the table's files share: the table layer (the backdrop with every lying piece,
// kept so that frames while pieces are carried copy it back instead of redrawing what
// lies under them) and the held sprite (the carried pieces with their shadows, made once
// and laid down in one sweep while they only move).
#pragma once
#include <cstdint>

#include "puzzle/piece.h"

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
