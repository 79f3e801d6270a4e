// Helpers on the table that players of other jigsaw games ask for: the edge pieces picked
// out, the loose pieces spread over the free parts of the table, pieces lying wholly
// under others shown on top, and pieces carried, turned and put down with the keys.
// None of them changes a rule of the table: they move, select and draw pieces as the
// player could by hand.
#pragma once
#include <cstdint>

#include "puzzle/table.h"

// --- edge pieces ---

// Whether the piece has a straight side: it lies on the picture's border, where it has
// no neighbour.
bool table_is_edge(int32_t piece);
// Selects exactly the loose pieces (in no group) with a straight side, so one drag or
// one spread gathers them; when every one of them is selected already, deselects them
// instead. Returns how many are selected now (0 after deselecting).
int32_t table_select_edges(void);

// --- spreading the heap ---

constexpr int32_t TABLE_SPREAD_TICKS = 8;  // the pieces glide to their places in this many ticks
constexpr int32_t TABLE_SPREAD_GAP = 2;    // pixels between spread pieces where the table has room

// Where a piece is to lie.
struct TableSpot {
    int32_t x, y, angle;
};

// Works out where the loose pieces lying still go: in rows over the table's free parts
// (off the groups, off the held pieces, off the `keep_out` rectangles, inclusive bounds
// on the table, and below the title bar), selected pieces first, without overlapping
// each other or anything else when the table can hold them; when it cannot, the rows
// close up as little as needed, and where even that is not enough they go where the
// least is covered. Upright when the box does not turn pieces, else at their angles.
// `to` gets one spot per piece (pieces that stay keep their own). Returns how many pieces
// it moves; *overlap (may be null) tells whether they had to overlap.
int32_t table_spread_layout(const PieceBox *keep_out, int32_t keep_count, TableSpot *to, bool *overlap);
// Lays the loose pieces out as table_spread_layout says, gliding there over the next
// TABLE_SPREAD_TICKS ticks. Returns how many pieces move.
int32_t table_spread(const PieceBox *keep_out, int32_t keep_count);
// One step of the glide; table_tick calls it.
void table_spread_step(void);
// Puts every gliding piece at its place at once.
void table_spread_finish(void);
bool table_spreading(void);

// Where a piece comes to rest: a running turn finished, a gliding piece at its place,
// otherwise where it is. What a saved game keeps of a table in motion.
TableSpot table_rest_place(int32_t piece);

// --- pieces hidden under others ---

// Turns the view of hidden pieces on or off. On: every lying piece of which no pixel
// shows (the pieces above cover all of it) is drawn lifted over the others with its
// outline lit, until the view goes off; the places they take are marked for redrawing.
// Returns how many pieces are shown so (0 when off).
int32_t table_reveal(int32_t on);
// Whether the view is on, and whether it shows the piece.
bool table_revealing(void);
bool table_revealed(int32_t piece);
// Draws the shown pieces over the lying ones, where tiles are dirty; inside a frame after
// table_draw_lying.
void table_reveal_draw(void);
// The shown piece at table point (x, y) (the topmost of them), or TABLE_NO_PIECE.
int32_t table_reveal_hit(int32_t x, int32_t y);

// --- carrying with the keys ---

// How far an arrow key moves carried pieces: the largest step from which a piece can
// always be put down within the snap distance of its place; `large`: a piece's width.
int32_t table_key_step(bool large);
// Moves the carried pieces by (dx, dy) at the next tick, never so far that their middle
// leaves the table. 0 when nothing is carried.
int32_t table_key_move(int32_t dx, int32_t dy);
// Turns the carried pieces a quarter turn (+1 counter-clockwise, -1 clockwise) about
// their middle. 0 when nothing is carried.
int32_t table_key_turn(int32_t direction);
// Puts the carried pieces down, as the second click does. 0 when nothing is carried.
int32_t table_key_drop(void);
// Puts down what is carried, then picks up the next loose piece lying nearest to (x, y),
// shown selected: the nearest first, then, pressed again with the mouse where it was,
// the one after, and so on round. Returns the piece, or TABLE_NO_PIECE when no loose
// piece lies on the table.
int32_t table_key_next(int32_t x, int32_t y);
