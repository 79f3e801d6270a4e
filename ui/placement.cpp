#include "ui/placement.h"

#include "ui/window.h"

void settings_save_window(int32_t window, const char *section, const char *key)
{
    WindowPlacement p = {};
    window_position(window, &p.x, &p.y);
    window_size(window, &p.width, &p.height);  // a collapsed window's full size
    p.shown = window_shown(window);
    p.collapsed = window_collapsed(window);
    settings_save_placement(section, key, &p);
}

int32_t settings_load_window(int32_t window, const char *section, const char *key, int32_t what)
{
    WindowPlacement p = {};
    if (!settings_load_placement(section, key, what, &p))
        return 0;
    if (what & SETTINGS_SIZE)
        window_set_size(window, p.width, p.height);
    if (what & SETTINGS_POSITION)
        window_move(window, p.x, p.y);
    if (what & SETTINGS_SHOWN)
        window_show(window, p.shown);
    if (what & SETTINGS_COLLAPSED)
        window_collapse(window, p.collapsed);
    window_keep_visible(window);
    return 1;
}
