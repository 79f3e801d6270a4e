// The progress window: a floating window that shows a caption and a row of blocks while
// long work (cutting, packing, reading a folder) holds the game's attention.
#include <algorithm>
#include <cstdio>

#include "platform/config.h"
#include "platform/video.h"
#include "res/lang.h"
#include "ui/skin.h"
#include "ui/stdwin.h"
#include "ui/text.h"
#include "ui/window.h"

constexpr int32_t PROGRESS_WIDTH = 380, PROGRESS_HEIGHT = 81;
constexpr int32_t PROGRESS_TEXT_X = 10, PROGRESS_TEXT_Y = 23;
constexpr int32_t PROGRESS_BLOCKS = 60;
constexpr int32_t PROGRESS_BLOCK_WIDTH = 6, PROGRESS_BLOCK_HEIGHT = 18;
constexpr int32_t PROGRESS_BLOCK_X = 10, PROGRESS_BLOCK_Y = 53;
// The sunken well the blocks fill, one pixel around them.
constexpr int32_t PROGRESS_WELL_X = 9, PROGRESS_WELL_Y = 52, PROGRESS_WELL_W = 362, PROGRESS_WELL_H = 20;
constexpr int32_t PROGRESS_CAPTION = 256;

static struct {
    int32_t window = -1;
    int32_t maximum = 0, value = 0;
    char caption[PROGRESS_CAPTION] = {};
    int32_t previous = -1;  // the floating window it stood in for
} pg;

static int32_t progress_blocks(void)
{
    if (pg.maximum <= 0)
        return 0;
    return (int32_t)std::min<int64_t>((int64_t)pg.value * PROGRESS_BLOCKS / pg.maximum, PROGRESS_BLOCKS);
}

static int32_t progress_handler(int32_t window, IoEvent *event)
{
    if (event->code == TW_DESTROY) {
        pg = {};
        return 0;
    }
    if (event->code != IO_FRAME)
        return 0;
    skin_panel(SKIN_PANEL_DIALOG, 0, TW_TITLE_HEIGHT, PROGRESS_WIDTH, PROGRESS_HEIGHT - TW_TITLE_HEIGHT);
    int32_t sx, sy;
    window_screen_position(window, &sx, &sy);
    text_set_font(&font_small, skin_color(SKIN_COLOR_MSGBOX_TEXT), skin_color(SKIN_COLOR_MSGBOX_TEXT_SHADOW));
    window_text_draw(sx, sy, pg.caption, PROGRESS_TEXT_X, PROGRESS_TEXT_Y);
    skin_bevel(PROGRESS_WELL_X, PROGRESS_WELL_Y, PROGRESS_WELL_W, PROGRESS_WELL_H);
    int32_t n = progress_blocks();
    for (int32_t k = 0; k < n; k++)
        skin_panel(SKIN_PANEL_PROGRESS, PROGRESS_BLOCK_X + PROGRESS_BLOCK_WIDTH * k, PROGRESS_BLOCK_Y,
                   PROGRESS_BLOCK_WIDTH, PROGRESS_BLOCK_HEIGHT);
    return 0;
}

void progress_init(void)
{
    pg = {};
    pg.window = window_register(-1, TWS_FLOATING | TWS_FRAME, (screen.width - PROGRESS_WIDTH) / 2,
                                (screen.height - PROGRESS_HEIGHT) / 2, PROGRESS_WIDTH, PROGRESS_HEIGHT,
                                progress_handler, nullptr);
    window_set_title(pg.window, kernel_config.title);
    window_show(pg.window, 0);
}

int32_t progress_window(void)
{
    return pg.window;
}

void progress_start(int32_t maximum)
{
    pg.maximum = maximum;
    pg.value = 0;
    pg.caption[0] = 0;
    // A tool window floating when the work began floats again when it ends.
    int32_t floating = window_floating();
    if (floating != pg.window)
        pg.previous = floating;
    window_show(pg.window, 1);
    window_focus(pg.window);
}

void progress_set(const char *caption, int32_t value)
{
    snprintf(pg.caption, sizeof pg.caption, "%s", caption ? caption : "");
    pg.value = std::clamp(value, 0, std::max(pg.maximum, 0));
    window_invalidate(pg.window);
    io_video_refresh();  // the work goes on inside one handler: show it now
}

void progress_end(void)
{
    window_show(pg.window, 0);
    if (window_floating() == pg.window) {
        window_unfocus_floating();
        if (pg.previous >= 0)
            window_focus(pg.previous);
    }
    pg.previous = -1;
}
