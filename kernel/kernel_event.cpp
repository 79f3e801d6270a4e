// The kernel's handler of every delivered event: paints mark dirty tiles, box names go
// to the store room's shelf, everything else goes to the windows and what none takes to the
// desktop, and each frame ends with the dirty tiles going to the screen.
#include "kernel/kernel.h"

#include "image/clip.h"
#include "platform/events.h"
#include "platform/log.h"
#include "rooms/gift/gift.h"
#include "rooms/store/storeroom.h"
#include "ui/desktop.h"
#include "ui/dialog.h"
#include "ui/window.h"

void kernel_event(IoEvent *event)
{
    switch (event->code) {
    case IO_PAINT: {
        const IoRect *r = (const IoRect *)event->a;
        clip_invalidate(r->x, r->y, r->width, r->height);
        return;
    }
    case IO_TEXT:
        // A box name from another program goes onto the shelf; a gift from another start
        // or the command line is opened.
        if (event->a == 0 && event->b) {
            io_log("kernel_event: box handed in (%s)\n", (const char *)event->b);
            storeroom_box_handed_in((const char *)event->b);
        } else if (event->a == KERNEL_TEXT_GIFT && event->b) {
            gift_open((const char *)event->b);
        }
        return;
    default: break;
    }
    // The rooms draw the desktop under themselves. The windows first; what none of them takes goes to the desktop background, which
    // keeps still while a modal window is up.
    if (!toolkit_event(event) && !window_has_modal())
        background_event(event);
    if (event->code == IO_FRAME) {
        if (io_dialog_open())
            io_dialog_draw();  // the dialog's fields over everything the windows drew
        clip_flush();          // what was drawn this frame goes to the screen
    }
}
