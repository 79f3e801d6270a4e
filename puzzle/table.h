// The table: the pieces of one game lying on the play room's full-screen surface, their
// stacking order, picking them up with the mouse (singly, by group or by selection),
// dragging and turning them, dropping them, joining true neighbours into rigid groups,
// keeping them on the table, and the progress of the puzzle.
#pragma once
#include <cstdint>

#include "platform/events.h"
#include "puzzle/cut.h"
#include "puzzle/piece.h"

constexpr int32_t TABLE_CLICK_HOLD_MS = 250;  // a quicker click leaves the pieces held
constexpr int32_t TABLE_TURN_STEP = 9;        // degrees per tick: a quarter turn takes ten ticks
constexpr int32_t TABLE_JOIN_POP = 5000;      // the force-feedback pulse when pieces join
constexpr int32_t TABLE_NO_PIECE = -1;

// What the table tells its room.
struct TableHooks {
    void (*joined)(int32_t x, int32_t y);  // pieces joined with the mouse at (x, y)
    void (*finished)(void);                // the drop that joined the last pieces
};

struct TableState {
    Piece *pieces;          // count records, row-major as the cut made them
    int32_t count;
    int32_t bottom, top;    // the ends of the stacking list, -1 when it is empty
    int32_t width, height;  // the table: the screen
    int32_t piece_size;     // the box's, for the snap tolerance and the band's margin
    int32_t rotation;       // the box deals pieces turned
    int32_t lift;           // how far a held piece's shadow falls
    int32_t window;         // the room window that takes the capture and the band, -1 none
    int32_t dx, dy;         // mouse movement of held pieces since the last tick
    int64_t pickup_time;    // game clock at the last pick-up, milliseconds
    int32_t progress;       // percent, 0 .. 100
    int32_t connect_sound;  // the sound played when pieces join, -1 none
    TableHooks hooks;
    // Carrying with the keys (puzzle/table_tools.h): a turn asked for with a key goes
    // about this point, which moves with the carried pieces, instead of the mouse.
    int32_t key_pivot;
    int32_t key_pivot_x, key_pivot_y;
    int32_t key_piece;      // the piece the next-piece key picked up, shown selected; -1 none
};
extern TableState table;

// Takes the pieces of a cut for a new game on a table of width x height: homes with the
// shapes' mask offsets, shapes and neighbours from the cut, every piece lying at its
// home place in index order in the stack. `window` is the room window (-1 for none).
// Frees the previous game's pieces. The pieces are drawn through piece_scene, whose
// table size becomes the table's.
void table_create(const CutResult *cut, const BoxInfo *box, int32_t width, int32_t height, int32_t window);
// Frees the pieces; the table is empty afterwards.
void table_free(void);

// Deals a new game at random (the runtime generator, rand_mod) and sets it up.
void table_deal(void);
// Makes a dealt or loaded table consistent before play: no piece held, turning or
// selected, angles quarter turns, every piece on the table, geometry computed, progress
// recomputed.
void table_setup(void);

// The room's mouse, capture and band events: code, a, b, c as the event carries them
// (c: 1 left, 2 right, + 4 with Ctrl, + 8 while the room holds the capture; for
// TW_BAND_END the address of the band on the screen). 1 when the event was used.
int32_t table_mouse(int32_t code, intptr_t a, intptr_t b, intptr_t c);
// Every IO_TIMER: turns and held pieces move.
void table_tick(void);
// Drops every held piece, joining those that land beside a true neighbour.
void table_drop(void);
// Completes every running turn at once, then drops and deselects.
void table_finish_turns(void);
// Loose pieces to the top of the stack and selected, larger groups below them.
void table_arrange(void);
// Recomputes table.progress from the groups and returns it.
int32_t table_progress(void);
// Whether one group holds every piece.
bool table_finished(void);

// The stacking list. A piece outside the list is left alone by unlink.
void piece_unlink(int32_t piece);
void piece_to_top(int32_t piece);
void piece_put_above(int32_t piece, int32_t below);
// The topmost piece with a shown pixel at table point (x, y), or TABLE_NO_PIECE.
int32_t piece_hit(int32_t x, int32_t y);

// Drawing, inside a frame, with piece_scene.table viewing the screen: the geometry of
// moved pieces is brought up to date and their old and new places marked dirty; then
// the lying pieces or the lifted ones (shadows first) are drawn where tiles are dirty.
// The lying pieces over the room's backdrop are kept in a screen-sized image (counted
// memory, given back by table_free), so tiles that only carried pieces made dirty are
// copied back from it; carried pieces that keep their places relative to each other are
// laid down from one picture made of them. Both draw exactly what piece-by-piece drawing
// would. Whatever else changes the backdrop must mark its tiles dirty before the frame.
void table_update_geometry(void);
enum { TABLE_DRAW_LYING = 0, TABLE_DRAW_LIFTED = 1 };
void table_draw(int what);
// The lying pieces over the room's floor: `backdrop` draws the floor (through the dirty
// tiles, as all drawing goes) and is called only for the tiles the table redraws; the
// others come back from the kept image. Null when the room has drawn its floor already.
void table_draw_lying(void (*backdrop)(void));

// Test hook: when set, frames draw every dirty tile piece by piece, as from scratch, and
// leave what is kept for carried pieces alone; the frames must not change the backdrop.
extern int table_draw_plain;
// Test hooks: when table_sprite_portable is set, carried pieces are laid down from their
// picture by the plain byte-by-byte code instead of the vector code, so tests can check
// both; table_sprite_laid counts the frames in which they were laid down from it.
extern int table_sprite_portable;
extern int64_t table_sprite_laid;
