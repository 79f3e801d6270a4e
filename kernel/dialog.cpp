// The modal dialog's loop and its stack. Each open dialog runs the game's own loop
// until it is ended, so ticks and frames go on underneath it. Edit fields come next.
#include "kernel/dialog.h"

#include "image/clip.h"
#include "kernel/events.h"
#include "kernel/kernel.h"
#include "kernel/log.h"
#include "kernel/video.h"

constexpr int DIALOG_DEPTH_MAX = 8;

struct Dialog {
    int32_t x, y;
    IoDialogField *fields;
    bool ended;
    int32_t result;
};

static struct {
    Dialog stack[DIALOG_DEPTH_MAX];
    int depth;
    uint32_t text_colour, background;
} dlg;

bool io_dialog_open(void)
{
    return dlg.depth > 0;
}

void io_dialog_set_colours(uint32_t text, uint32_t background)
{
    dlg.text_colour = text;
    dlg.background = background;
}

int32_t io_dialog_run(int32_t offset_x, int32_t offset_y, IoDialogField *fields)
{
    if (dlg.depth >= DIALOG_DEPTH_MAX)
        io_error("io_dialog_run: too many dialogs open\n");
    int level = dlg.depth++;
    dlg.stack[level] = {offset_x, offset_y, fields, false, 0};
    for (int32_t i = 0; fields && fields[i].flags; i++)
        fields[i].id = 100 + i;
    while (!dlg.stack[level].ended && !kernel_close_pending())
        kernel_loop_turn();
    int32_t result = dlg.stack[level].ended ? dlg.stack[level].result : 0;
    dlg.depth = level;
    return result;
}

void io_dialog_read(int32_t id, char *buffer, int32_t size)
{
    if (dlg.depth == 0)
        io_error("io_dialog_read: ???\n");
    (void)id;
    if (size > 0)
        buffer[0] = 0;
}

void io_dialog_end(int32_t result, int take_texts)
{
    if (dlg.depth == 0)
        io_error("io_dialog_end: ???\n");
    (void)take_texts;
    Dialog &d = dlg.stack[dlg.depth - 1];
    d.ended = true;
    d.result = result;
    clip_invalidate(0, 0, screen.width, screen.height);
}

void io_dialog_invalidate(int32_t x, int32_t y, int32_t width, int32_t height)
{
    if (dlg.depth == 0)
        io_error("io_dialog_invalidate: ???\n");
    clip_invalidate(x, y, width, height);
}

int io_dialog_input(const PlatformInput *in)
{
    (void)in;
    return 0;
}

void io_dialog_draw(void)
{
}
