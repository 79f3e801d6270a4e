// The game's own settings: the screen size of the last run, window placements and the
// force-feedback switch, all in the config file.
#include "res/settings.h"

#include <cstdio>
#include <cstring>

#include "platform/video.h"
#include "res/ini.h"

namespace {

constexpr int PLACEMENT_TEXT_MAX = 127;

struct SettingsState {
    int32_t old_width, old_height;  // the screen of the last run
};

SettingsState settings;

// x * now / before in signed 32-bit arithmetic, the quotient truncated toward zero. A
// product that does not fit (a hand-edited file) is clamped rather than wrapped.
int32_t rescale(int32_t x, int32_t now, int32_t before)
{
    if (before <= 0)
        return x;
    int64_t v = (int64_t)x * now / before;
    if (v > INT32_MAX)
        return INT32_MAX;
    if (v < INT32_MIN)
        return INT32_MIN;
    return (int32_t)v;
}

}  // namespace

void settings_save_placement(const char *section, const char *key, const WindowPlacement *p)
{
    char text[96];
    snprintf(text, sizeof text, "%i %i %i %i %i %i", (int)p->x, (int)p->y, (int)p->width, (int)p->height,
             (int)p->shown, (int)p->collapsed);
    ini_set_string(SETTINGS_CONFIG, section, key, text);
}

int32_t settings_load_placement(const char *section, const char *key, int32_t what, WindowPlacement *p)
{
    // One character more than a placement may have, so a longer value is seen and refused.
    char text[PLACEMENT_TEXT_MAX + 2];
    int32_t len = ini_get_string(SETTINGS_CONFIG, section, key, text, sizeof text);
    int32_t v[6];
    if (len == 0 || len > PLACEMENT_TEXT_MAX || !ini_parse_numbers(text, v, 6))
        return 0;
    if (what & SETTINGS_SIZE) {
        p->width = v[2];
        p->height = v[3];
    }
    if (what & SETTINGS_POSITION) {
        int32_t ow, oh;
        settings_old_screen(&ow, &oh);
        p->x = rescale(v[0], screen.width, ow);
        p->y = rescale(v[1], screen.height, oh);
    }
    if (what & SETTINGS_SHOWN)
        p->shown = v[4];
    if (what & SETTINGS_COLLAPSED)
        p->collapsed = v[5];
    return 1;
}

void settings_read_old_screen(void)
{
    int32_t w = screen.width, h = screen.height;
    ini_get_pair(SETTINGS_CONFIG, "MAIN", "OldScreenSize", &w, &h);
    // A size no display of the game's era had means the file was wrong, not the screen.
    settings.old_width = w < 640 ? screen.width : w;
    settings.old_height = h < 480 ? screen.height : h;
}

void settings_write_old_screen(void)
{
    ini_set_pair(SETTINGS_CONFIG, "MAIN", "OldScreenSize", screen.width, screen.height);
    ini_flush(SETTINGS_CONFIG);
}

void settings_old_screen(int32_t *width, int32_t *height)
{
    // Before the size was read, the last run's screen is taken to be this one.
    *width = settings.old_width > 0 ? settings.old_width : screen.width;
    *height = settings.old_height > 0 ? settings.old_height : screen.height;
}

bool settings_feedback_on(void)
{
    char text[64];
    ini_get_string(SETTINGS_CONFIG, "MAIN", "FeedBackSupport", text, sizeof text);
    return strcmp(text, "0") != 0;
}
