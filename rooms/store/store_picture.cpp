// The finished-picture dialog of the store room: a finished box's picture goes to the
// gallery or becomes the desktop's wallpaper.
#include <cstdio>

#include "image/bmp.h"
#include "image/gformat.h"
#include "platform/files.h"
#include "platform/log.h"
#include "platform/services.h"
#include "res/lang.h"
#include "rooms/gallery/galleryroom.h"
#include "rooms/store/storeroom.h"
#include "ui/button.h"
#include "ui/stdwin.h"
#include "ui/text.h"
#include "ui/window.h"

constexpr int32_t PICTURE_WIDTH = 320, PICTURE_HEIGHT = 150;
constexpr int32_t PICTURE_AREA_X = 10, PICTURE_AREA_Y = 23, PICTURE_AREA_WIDTH = 80;
constexpr int32_t PICTURE_CHOICE_X = 100, PICTURE_CHOICE_Y = 35, PICTURE_CHOICE_STEP = 30;
constexpr int32_t PICTURE_ICON_OK = 45, PICTURE_ICON_CANCEL = 43;
constexpr int32_t PICTURE_RADIO_ICON = 0;
constexpr uint32_t PICTURE_FRAME_COLOUR = 0x000000;
static const char *const PICTURE_SCRATCH = "sfiles/a.tmp";

enum { CHOICE_GALLERY, CHOICE_WALLPAPER };

static struct {
    int32_t window = -1, ok = -1, cancel = -1, first_choice = -1;
    const ShelfBox *box = nullptr;  // while the dialog is up
} pic;

static int32_t picture_handler(int32_t window, IoEvent *e)
{
    switch (e->code) {
    case IO_FRAME: {
        int32_t w = (int32_t)e->a, h = (int32_t)e->b;
        skin_panel(SKIN_PANEL_DIALOG, 0, TW_TITLE_HEIGHT, w, h - TW_TITLE_HEIGHT - BUTTONBAR_HEIGHT);
        const Img *preview = pic.box ? pic.box->preview : nullptr;
        if (preview) {
            int32_t sx, sy;
            window_screen_position(window, &sx, &sy);
            int32_t x = sx + PICTURE_AREA_X + (PICTURE_AREA_WIDTH - preview->width) / 2, y = sy + PICTURE_AREA_Y;
            draw_set_pen(0, PICTURE_FRAME_COLOUR);
            draw_rect(x - 1, y - 1, preview->width + 2, preview->height + 2);
            img_draw((Img *)preview, x, y, 0, 0, preview->width, preview->height);
        }
        return 0;
    }
    case TW_CLICKED:
        if (e->a != pic.ok && e->a != pic.cancel)
            return 0;
        if (window_modal() == pic.window)
            window_end_modal(e->a == pic.ok, 0);
        return 1;
    case IO_KEY_DOWN:
        if (e->a != IO_VK_ENTER && e->a != IO_VK_ESCAPE)
            return 0;
        if (window_modal() == pic.window)
            window_end_modal(e->a == IO_VK_ENTER, 0);
        return 1;
    case TW_DESTROY: pic = {}; return 0;
    default: return 0;
    }
}

void storeroom_picture_create(void)
{
    pic.window = window_register(-1, TWS_MODAL | TWS_FRAME, 0, 0, PICTURE_WIDTH, PICTURE_HEIGHT, picture_handler, nullptr);
    window_set_title(pic.window, lt_get(STORE_TEXT_PICTURE_TITLE));
    int32_t bar = buttonbar_create(pic.window);
    pic.ok = buttonbar_add(bar, 1, 0, nullptr, PICTURE_ICON_OK, IO_VK_ENTER, -1);
    pic.cancel = buttonbar_add(bar, 0, 0, nullptr, PICTURE_ICON_CANCEL, IO_VK_ESCAPE, -1);
    int32_t width = PICTURE_WIDTH - PICTURE_CHOICE_X - 10;
    pic.first_choice = button_register(pic.window, BS_RADIO | BS_TEXT | BS_ICON | BS_RGFIRST, PICTURE_CHOICE_X,
                                       PICTURE_CHOICE_Y, width, 0, PICTURE_RADIO_ICON, lt_get(STORE_TEXT_GALLERY), 0, 0);
    button_register(pic.window, BS_RADIO | BS_TEXT | BS_ICON | BS_RGLAST, PICTURE_CHOICE_X,
                    PICTURE_CHOICE_Y + PICTURE_CHOICE_STEP, width, 0, PICTURE_RADIO_ICON, lt_get(STORE_TEXT_WALLPAPER), 0, 0);
    window_show(pic.window, 0);
}

// The box's picture as the desktop's wallpaper, through a BMP copy.
static int set_as_wallpaper(const ShelfBox *box)
{
    ChunkId id;
    BoxInfo info;
    if (!box_read(box->name, &id, &info, BOX_PICTURE))
        return 0;
    FILE *f = fopen(BOX_TEMP_PICTURE, "rb");
    Picture *picture = f ? gformat_jpg_decode(f) : nullptr;
    if (f)
        fclose(f);
    box_clear_temp(BOX_PICTURE);
    // The picture codecs answer 0 for success.
    int done = picture && bmp_save(PICTURE_SCRATCH, picture) == 0 && set_wallpaper(PICTURE_SCRATCH, "Pelmora");
    picture_free(picture);
    file_delete(PICTURE_SCRATCH);
    return done;
}

void storeroom_picture_dialog(ShelfBox *box)
{
    pic.box = box;
    button_group_select(pic.first_choice, button_enabled(pic.first_choice) ? CHOICE_GALLERY : CHOICE_WALLPAPER);
    window_show(pic.window, 1);
    int32_t result = window_focus_modal(pic.window, nullptr);
    window_show(pic.window, 0);
    pic.box = nullptr;
    if (result != 1)
        return;
    if (button_group_selected(pic.first_choice) == CHOICE_GALLERY) {
        if (!galleryroom_hang(box->name)) {
            io_log("storeroom: the picture of \"%s\" could not be taken to the gallery\n", box->name);
            msg_box_text(STORE_TEXT_UNREADABLE, MB_OK);
        }
        return;
    }
    if (!set_as_wallpaper(box)) {
        io_log("storeroom: the picture of \"%s\" could not be made the wallpaper\n", box->name);
        msg_box_text(STORE_TEXT_WALLPAPER_FAILED, MB_OK);
    }
}
