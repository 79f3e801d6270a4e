// What the play room's files share: the helpers that come on top of the table's rules
// (edge pieces, spreading, hidden pieces, carrying with the keys) and the hints of the
// control panel's buttons (playroom_commands.cpp).
#pragma once
#include <cstdint>

#include "platform/events.h"

constexpr int32_t PLAY_HINT_TICKS = 15;  // the pointer rests on a button this long before its hint shows

// A control panel button: label text, hot key, column and row (playroom.cpp).
struct PlayPanelButton {
    int32_t text, key, column, row;
};
extern const PlayPanelButton play_panel[];

// Makes the hint window; after the control panel's buttons.
void play_commands_create(void);
// The game is left: the hidden pieces' view and the hint go.
void play_commands_stop(void);
// Every tick of a game: the hint of the button under the pointer.
void play_commands_tick(void);
// The room's keys of the helpers (key downs and ups, c + 8 while the room carries pieces)
// and interrupts; 1 when taken.
int32_t play_command_key(IoEvent *e);
// A left click on a piece shown by the hidden pieces' view brings it to the top first,
// so the click takes it.
void play_reveal_take(const IoEvent *e);
// After input that may have changed the table: a join is saved, the hidden pieces' view
// looks again. Returns `used`.
int32_t play_after_change(int32_t used);
// The control panel's edge pieces and spread commands.
void play_edges(void);
void play_spread(void);
