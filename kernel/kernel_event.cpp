// The kernel's handler of every delivered event: paints mark dirty tiles, box names go
// to the box store, everything else goes to the windows and what none takes to the
// desktop, and each frame ends with the dirty tiles going to the screen.
#include "kernel/kernel.h"

#include "image/clip.h"
#include "platform/events.h"
#include "platform/log.h"
#include "platform/video.h"
#include "res/settings.h"
#include "rooms/store/storeroom.h"
#include "ui/desktop.h"
#include "ui/dialog.h"
#include "ui/window.h"

static struct {
    const char *caption;  // the desktop is shown with this caption; null: not yet
} desk;

void kernel_event(IoEvent *event)
{
    switch (event->code) {
    case IO_PAINT: {
        const IoRect *r = (const IoRect *)event->a;
        clip_invalidate(r->x, r->y, r->width, r->height);
        return;
    }
    case IO_TEXT:
        // A box name from another program goes onto the shelf.
        if (event->a == 0 && event->b) {
            io_log("kernel_event: box handed in (%s)\n", (const char *)event->b);
            storeroom_box_handed_in((const char *)event->b);
        }
        return;
    default: break;
    }
    if (event->code == IO_FRAME && desk.caption && clip_is_dirty(0, 0, screen.width, screen.height))
        background_draw(desk.caption);  // under every window; only the dirty tiles are touched
    // The windows first; what none of them takes goes to the desktop background, which
    // keeps still while a modal window is up.
    if (!toolkit_event(event) && !window_has_modal())
        background_event(event);
    if (event->code == IO_FRAME) {
        if (io_dialog_open())
            io_dialog_draw();  // the dialog's fields over everything the windows drew
        clip_flush();          // what was drawn this frame goes to the screen
    }
}

void kernel_show_desktop(const char *caption)
{
    desk.caption = caption;
    clip_invalidate(0, 0, screen.width, screen.height);
}
