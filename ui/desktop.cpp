// The desktop behind every room: the background column repeated across the screen, the
// room's title bar with its caption and the program title, and the corner logo that
// lights under the pointer and minimises the game on a click.
#include <cstdint>

#include "image/clip.h"
#include "image/img.h"
#include "platform/config.h"
#include "platform/events.h"
#include "platform/platform.h"
#include "platform/video.h"
#include "res/lang.h"
#include "res/settings.h"
#include "ui/desktop.h"
#include "ui/skin.h"
#include "ui/text.h"

namespace {

constexpr int32_t BACKGROUND_BAR_HEIGHT = 20;
constexpr int32_t BACKGROUND_TITLE_RIGHT = 20;  // the program title ends this far from the right edge
constexpr int32_t BACKGROUND_CAPTION_X = 5;
constexpr int32_t BACKGROUND_LOGO_ICON = 47;    // 48 is the lit one
constexpr int32_t BACKGROUND_LOGO_LIT_ICON = 48;

struct Logo {
    int32_t hot_x, hot_y, hot_w, hot_h;  // the size of the logo's skin picture, top right
    bool lit;
};
Logo bg = {0, 0, 0, 0, false};

// The hot area follows the screen's width, which is known once the skin is.
void logo_place(void)
{
    skin_icon_size(BACKGROUND_LOGO_ICON, &bg.hot_w, &bg.hot_h);
    bg.hot_x = screen.width - bg.hot_w;
    bg.hot_y = 0;
}

bool mouse_on_logo(void)
{
    return io_mouse_x >= bg.hot_x && io_mouse_x < bg.hot_x + bg.hot_w && io_mouse_y >= bg.hot_y &&
           io_mouse_y < bg.hot_y + bg.hot_h;
}

}  // namespace

void background_draw(const char *caption)
{
    background_draw_over(nullptr, caption);
}

void background_draw_over(Img *backdrop, const char *caption)
{
    const Img *column = background_column();
    if (!column)
        return;
    logo_place();
    if (backdrop) {
        img_draw(backdrop, 0, 0, 0, 0, screen.width, screen.height);
    } else {
        ImgRect whole = {0, 0, column->width, column->height};
        img_tile((Img *)column, &whole, 0, 0, screen.width, screen.height, IMG_TILE_ONE_DOWN);
    }

    draw_set_fill(skin_color(SKIN_COLOR_ROOM_TITLE_BAR));
    draw_fill_rect(0, 0, screen.width, BACKGROUND_BAR_HEIGHT);

    // The glyph cells are centred in the bar; the shadow hangs one offset below.
    uint32_t text = skin_color(SKIN_COLOR_ROOM_TITLE_BAR_TEXT), shadow = skin_color(SKIN_COLOR_ROOM_TITLE_BAR_TEXT_SHADOW);
    int32_t y = (BACKGROUND_BAR_HEIGHT - font_small.height) / 2;
    text_set_font(&font_small, text, shadow);
    if (caption)
        text_draw(caption, BACKGROUND_CAPTION_X, y);
    if (kernel_config.title) {
        // Measured without the shadow, so the letters themselves end at the margin.
        int32_t w, h;
        text_set_font(&font_small, text, TEXT_NONE);
        text_measure(kernel_config.title, &w, &h);
        text_set_font(&font_small, text, shadow);
        text_draw(kernel_config.title, screen.width - BACKGROUND_TITLE_RIGHT - w, y);
    }

    // Skin drawing is relative to the skin origin, which a window may have moved.
    skin_set_origin(0, 0);
    skin_icon(bg.lit ? BACKGROUND_LOGO_LIT_ICON : BACKGROUND_LOGO_ICON, bg.hot_x, bg.hot_y);
}

bool background_event(const IoEvent *ev)
{
    bool acted = false;
    logo_place();
    bool lit = mouse_on_logo();
    if (lit != bg.lit) {
        bg.lit = lit;
        clip_invalidate(bg.hot_x, bg.hot_y, bg.hot_w, bg.hot_h);
        acted = true;
    }
    if (bg.lit && ev && ev->code == IO_MOUSE_DOWN && ev->c == 1) {
        io_platform_minimize();
        acted = true;
    }
    return acted;
}

bool background_logo_lit(void)
{
    return bg.lit;
}
