// Drawing the create room: the room's background, the desk in its bevel frame, the
// picture centred on it with the cut drawn over it, and the faces of the shape buttons.
#include "platform/gdi.h"
#include "puzzle/curve.h"
#include "puzzle/cut.h"
#include "res/lang.h"
#include "rooms/create/createroom.h"
#include "ui/desktop.h"
#include "ui/text.h"
#include "ui/skin.h"
#include "ui/window.h"

// The bevel frame lies two pixels around the desk: its outline, then the bevel.
constexpr int32_t DESK_FRAME = 2;

void createroom_invalidate_desk(void)
{
    const CreateRoomState &c = createroom;
    window_invalidate_rect(c.window, c.desk_x - DESK_FRAME, c.desk_y - DESK_FRAME, c.desk_w + 2 * DESK_FRAME,
                           c.desk_h + 2 * DESK_FRAME);
}

void createroom_paint(void)
{
    const CreateRoomState &c = createroom;
    background_draw_over(nullptr, lt_get(c.editing ? CREATE_TEXT_EDIT_TITLE : CREATE_TEXT_NEW_TITLE));
    skin_bevel(c.desk_x - DESK_FRAME, c.desk_y - DESK_FRAME, c.desk_w + 2 * DESK_FRAME, c.desk_h + 2 * DESK_FRAME);
    draw_set_pen(IO_PEN_SOLID, skin_color(SKIN_COLOR_CREATE_DESK_OUTLINE));
    draw_rect(c.desk_x - 1, c.desk_y - 1, c.desk_w + 2, c.desk_h + 2);
    draw_set_fill(skin_color(SKIN_COLOR_CREATE_DESK));
    draw_fill_rect(c.desk_x, c.desk_y, c.desk_w, c.desk_h);
    if (!c.picture)
        return;
    int32_t x = c.desk_x + (c.desk_w - c.picture->width) / 2, y = c.desk_y + (c.desk_h - c.picture->height) / 2;
    img_draw(c.picture, x, y, 0, 0, c.picture->width, c.picture->height);
    cut_preview_draw(x, y);
}

void createroom_draw_shape(int32_t button)
{
    const CreateRoomState &c = createroom;
    int32_t shape = 0;
    while (shape < BOX_SHAPES && c.controls[CREATE_SHAPE_FIRST + shape] != button)
        shape++;
    if (shape == BOX_SHAPES)
        return;
    int32_t x, y;
    window_screen_position(button, &x, &y);
    draw_set_pen(IO_PEN_SOLID, skin_color(SKIN_COLOR_CREATE_CURVE_PREVIEW));
    curve_draw(shape, x + 30, y + 14, x + 70, y + 14);
}
