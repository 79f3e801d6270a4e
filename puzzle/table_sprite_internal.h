// What the held sprite's two files share: the sprite record, made in table_sprite.cpp
// and laid down in table_sprite_lay.cpp, and the arithmetic of its steps.
#pragma once
#include <cstddef>
#include <cstdint>

#include "puzzle/piece.h"

// The lanes of one step of a pair of pixels: four per pixel (blue, green, red, unused).
constexpr int32_t SPRITE_LANES = 8;

// What a carried piece is to the sprite; a change to any of it makes the sprite anew.
struct SpriteKey {
    int32_t piece, dx, dy, drawn_angle, angle, lift, selected, shape;
    bool operator==(const SpriteKey &) const = default;
};

// The two kinds of step, each byte t of the pixel below becoming:
//   shadow of darkness m, k = 255 - m:      round(k t / 255), blend_table's row m;
//   rim of coverage a, k = 62 - 2a, colour c: round((31 - a) t / 31) + c, modulo 256,
//                                            light_background's column a plus the lit
//                                            colour, as the renderer adds them.
// Both in integers: (k t + 128) 257 >> 16 and ((k t + 31) 16913 >> 20) + c, which fit
// 16-bit lanes; sprite_arithmetic_holds checks them against the tables.
inline uint32_t shadow_byte(uint32_t t, uint32_t k)
{
    return ((t * k + 128) * 257) >> 16;
}

inline uint32_t rim_byte(uint32_t t, uint32_t k, uint32_t c)
{
    return ((((t * k + 31) * 16913) >> 20) + c) & 0xFF;
}

// Whether the two above give exactly what blend_table and light_background hold.
bool sprite_arithmetic_holds(void);

// A stretch of a sprite row: its touched pixels, copied in one move.
struct SpriteRun {
    int32_t x, n;
};

// The dependent pixels of a row come sorted by their numbers of shadows and rims, in
// groups of pixels that take as many of each, paired off (the last pixel of an odd group
// paired with itself).
struct SpriteGroup {
    uint8_t shadows, rims;
    uint16_t pairs;
};

// A band of dependent pixels side by side in a row (a shadow's edge along the group, a
// seam along a row of pieces), at least SPRITE_BAND_MIN long: worked out sixteen bytes
// at a time straight from the bytes below, every pixel with as many shadows and rims as
// the most any of them has (the others' lists led by steps that keep the byte). Its
// steps' lanes lie at band_lanes[lane ..], step after step, three per pixel (blue,
// green, red), 3 n each.
struct SpriteBand {
    uint16_t x, n;
    uint8_t shadows, rims;
    int32_t lane;
};
constexpr int32_t SPRITE_BAND_MIN = 6;  // pixels: at least sixteen bytes

struct HeldSprite {
    SpriteKey *key, *last, *now;  // the sprite's pieces, the last frame's, this frame's
    int32_t key_n, last_n, capacity;
    bool made, refused;           // for `key`
    const Img *picture;
    const Shape *shapes;
    int32_t rel_x, rel_y;         // the top-left relative to the bottom carried piece
    int32_t w, h;
    // w * h * 3: the fixed colours; the dependent pixels are worked out into their
    // places on every lay, so that whole stretches are copied.
    uint8_t *colour;
    int32_t *run_first;           // h + 1: row r's stretches are runs[run_first[r] .. run_first[r + 1])
    SpriteRun *runs;
    // Row r's dependent pixels: groups[group_first[r] ..], their columns from
    // dep_x[dep_first[r]] (two per pair) and the lanes of their steps from
    // lanes[lane_first[r]]: pair after pair, step after step, SPRITE_LANES each. A
    // shadow's lanes hold k, a rim's k << 8 | c (the unused lane k << 8).
    int32_t *group_first, *dep_first, *lane_first;  // h + 1 each
    SpriteGroup *groups;
    uint16_t *dep_x;
    uint16_t *lanes;
    int32_t *band_first;  // h + 1: row r's bands are bands[band_first[r] .. band_first[r + 1])
    SpriteBand *bands;
    uint16_t *band_lanes;
};
extern HeldSprite held_sprite;

// Sprite rows y0 .. y1, columns x0 .. x1 (inside the sprite) onto `dst`, where sprite
// pixel (x0, y0) goes; rows `stride` bytes apart: the dependent pixels worked out from
// what lies below them, then the row's stretches copied.
void sprite_lay(uint8_t *dst, ptrdiff_t stride, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
