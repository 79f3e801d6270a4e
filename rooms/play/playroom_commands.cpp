// The play room's helpers on top of the table's rules: the edge pieces, spreading the
// heap, the view of hidden pieces while H is held, carrying with the keys, and the hint
// that names a control panel button's key when the pointer rests on it.
#include <algorithm>
#include <cstdio>

#include "platform/video.h"
#include "puzzle/table_tools.h"
#include "res/lang.h"
#include "rooms/play/autosave.h"
#include "rooms/play/playroom.h"
#include "rooms/play/playroom_internal.h"
#include "ui/button.h"
#include "ui/skin.h"
#include "ui/text.h"
#include "ui/window.h"

constexpr int32_t HINT_PAD_X = 6, HINT_PAD_Y = 4;
constexpr int32_t KEEP_CLEAR = 6;  // around the windows a spread keeps clear: their shadows

static struct {
    int32_t hovered;  // the panel button under the pointer, -1 none
    int32_t ticks;    // how long it has been
} hint = {-1, 0};

static int32_t hint_handler(int32_t window, IoEvent *e)
{
    if (e->code != IO_FRAME || hint.hovered < 0)
        return 0;
    int32_t sx, sy;
    window_screen_position(window, &sx, &sy);
    skin_frame(0, 0, 0, (int32_t)e->a, (int32_t)e->b);
    text_set_font(&font_small, skin_color(SKIN_COLOR_BUTTON_TEXT_ACTIVE), skin_color(SKIN_COLOR_BUTTON_TEXT_SHADOW));
    window_text_draw(sx, sy, lt_get(PLAYROOM_TEXT_HINTS + hint.hovered), HINT_PAD_X, HINT_PAD_Y);
    return 0;
}

static void hint_hide(void)
{
    if (playroom.hint_window >= 0 && window_shown(playroom.hint_window))
        window_show(playroom.hint_window, 0);
}

// Level with the button, right of the panel, or left of it when the screen ends there.
static void hint_show(int32_t n)
{
    int32_t w, h, px, py;
    text_set_font(&font_small, 0, TEXT_NONE);
    text_measure(lt_get(PLAYROOM_TEXT_HINTS + n), &w, &h);
    w += 2 * HINT_PAD_X;
    h += 2 * HINT_PAD_Y;
    window_screen_position(playroom.panel, &px, &py);
    int32_t x = px + window_get(playroom.panel)->width + KEEP_CLEAR;
    if (x + w > screen.width)
        x = px - w - KEEP_CLEAR;
    int32_t bx, by;
    window_screen_position(playroom.panel_buttons[n], &bx, &by);
    int32_t y = std::clamp(by, 0, std::max(screen.height - h, 0));
    window_set_size(playroom.hint_window, w, h);
    window_move(playroom.hint_window, std::max(x, 0), y);
    window_raise(playroom.hint_window);
    window_show(playroom.hint_window, 1);
    window_invalidate(playroom.hint_window);
}

void play_commands_create(void)
{
    playroom.hint_window = window_register(playroom.window, TWS_CHILD | TWS_PASSMOUSE, 0, 0, 1, 1, hint_handler, nullptr);
    window_show(playroom.hint_window, 0);
    hint = {-1, 0};
}

void play_commands_stop(void)
{
    table_reveal(0);
    hint_hide();
    hint = {-1, 0};
}

void play_commands_tick(void)
{
    int32_t n = -1;
    if (window_shown(playroom.panel) && !window_collapsed(playroom.panel))
        for (int32_t k = 0; k < PLAYROOM_PANEL_BUTTONS && n < 0; k++)
            if (button_hover(playroom.panel_buttons[k]))
                n = k;
    if (n != hint.hovered) {
        hint = {n, 0};
        hint_hide();
        return;
    }
    if (n >= 0 && ++hint.ticks == PLAY_HINT_TICKS)
        hint_show(n);
}

int32_t play_after_change(int32_t used)
{
    autosave_poll();
    if (table_revealing())
        table_reveal(1);
    return used;
}

void play_reveal_take(const IoEvent *e)
{
    if (!table_revealing() || (e->c & (8 | IO_BUTTON_CTRL)) || (e->c & 3) != IO_BUTTON_LEFT)
        return;
    int32_t hit = table_reveal_hit((int32_t)e->a, (int32_t)e->b);
    if (hit != TABLE_NO_PIECE)
        piece_to_top(hit);
}

void play_edges(void)
{
    table_select_edges();
}

// The table's free parts are those the control panel and the picture window leave.
void play_spread(void)
{
    PieceBox keep[2];
    int32_t n = 0;
    for (int32_t w : {playroom.panel, playroom.picture_window}) {
        if (!window_shown(w))
            continue;
        int32_t x, y;
        window_screen_position(w, &x, &y);
        const TWindow *t = window_get(w);
        keep[n++] = {x - KEEP_CLEAR, y - KEEP_CLEAR, x + t->width - 1 + KEEP_CLEAR, y + t->height - 1 + KEEP_CLEAR};
    }
    table_spread(keep, n);
    if (table_revealing()) {
        // The view shows pieces where they lie: they are put there at once.
        table_spread_finish();
        table_reveal(1);
    }
    autosave_poll();
}

int32_t play_command_key(IoEvent *e)
{
    if (!playroom.loaded)
        return 0;
    bool carrying = (e->c & 8) != 0;
    int32_t key = (int32_t)e->a;
    if (e->code == IO_INTERRUPT) {
        table_reveal(0);  // the key's release may go to another program
        return 0;
    }
    if (e->code == IO_KEY_UP) {
        if (key != IO_VK_A + 'H' - 'A')
            return 0;
        table_reveal(0);
        return 1;
    }
    switch (key) {
    case IO_VK_A + 'H' - 'A':
        if (!table_revealing()) {  // the key repeats while held
            table_spread_finish();  // shown where they lie, not on their way
            table_reveal(1);
        }
        return 1;
    case IO_VK_A + 'N' - 'A': table_key_next(io_mouse_x, io_mouse_y); return play_after_change(1);
    default: break;
    }
    if (!carrying)
        return 0;
    int32_t step = table_key_step((io_key_mods & INPUT_MOD_SHIFT) != 0);
    switch (key) {
    case IO_VK_LEFT: return table_key_move(-step, 0);
    case IO_VK_RIGHT: return table_key_move(step, 0);
    case IO_VK_UP: return table_key_move(0, -step);
    case IO_VK_DOWN: return table_key_move(0, step);
    case IO_VK_A + 'Q' - 'A': return table_key_turn(1);
    case IO_VK_A + 'W' - 'A': return table_key_turn(-1);
    case IO_VK_SPACE:
    case IO_VK_ENTER: return play_after_change(table_key_drop());
    default: return 0;
    }
}
