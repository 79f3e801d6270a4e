// The desktop's picture: one column of the recoloured, shaded texture as tall as the
// screen, repeated across it (ui/desktop.cpp draws it with the title bar and the logo).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "image/cache.h"
#include "image/clip.h"
#include "image/img.h"
#include "image/resample.h"
#include "platform/log.h"
#include "platform/video.h"
#include "res/ini.h"
#include "res/lang.h"
#include "res/settings.h"
#include "ui/desktop.h"

namespace {

constexpr const char *BACKGROUND_TEXTURE = "img/background.jpg";
constexpr const char *BACKGROUND_LOGO = "img/lttl_pzzl.img";


struct BackgroundState {
    int32_t texture;  // cache handles, kept for the run
    int32_t logo;
    Img *column;      // texture width x screen height, screen format
};

BackgroundState bg = {-1, -1, nullptr};

// 255 * (c / 255)^g truncated, for every byte c. Exponents that a hand-edited skin could
// make extreme are kept in the byte range rather than left to overflow.
void gradient_table(double g, uint8_t table[256])
{
    for (int32_t c = 0; c < 256; c++) {
        double v = 255.0 * std::pow(c / 255.0, g);
        table[c] = !(v > 0) ? 0 : v >= 255 ? 255 : (uint8_t)v;
    }
}

// Darkens (exponent above 1) or lightens each row by its own exponent, running from
// `top` on the first row toward `bottom` on the last.
void shade_rows(Img *column, double top, double bottom)
{
    int32_t stride, width, height;
    uint8_t *pixels = img_pixels(column, &stride, &width, &height);
    uint8_t table[256];
    double last = 1.0;
    bool have_table = false;
    for (int32_t y = 0; y < height; y++) {
        double g = top + (bottom - top) / height * y;
        // An exponent of exactly 1 gives back every byte as it is.
        if (g == 1.0)
            continue;
        if (!have_table || g != last) {
            gradient_table(g, table);
            last = g;
            have_table = true;
        }
        uint8_t *p = pixels + (size_t)y * stride;
        for (int32_t i = 0; i < width * 3; i++)
            p[i] = table[p[i]];
    }
}


}  // namespace

void background_init(void)
{
    // Called again when the player picks another colour: the old column goes first.
    background_done();

    bg.texture = cache_get(BACKGROUND_TEXTURE);
    Img *texture = (Img *)cache_lock(bg.texture);
    int32_t tw, th;
    img_size(texture, &tw, &th);
    if (tw < 1 || th < 1)
        io_error("background_init: empty picture %s", BACKGROUND_TEXTURE);

    bg.column = img_create(tw, screen.height, IMG_SCREEN);
    Img *work = img_create(tw, th, IMG_SCREEN);
    ImgView wv, tv;
    img_view(&wv, work, 0, 0);
    img_view(&tv, texture, 0, 0);
    img_blit(&wv, &tv);
    cache_unlock(bg.texture);

    // The triple is stored as hue, saturation, lightness (the options dialog writes it
    // so); the transform takes hue, brightness, saturation, so the last two change places.
    // Handed over in stored order, a saturation of 42 would become a light grey table.
    int32_t colour[3];
    if (!ini_get_triple(SETTINGS_CONFIG, "MAIN", "BackGround", &colour[0], &colour[1], &colour[2]) &&
        !ini_get_triple(SETTINGS_SKIN, "BACKGROUND", "Color", &colour[0], &colour[1], &colour[2]))
        io_error("[BACKGROUND]color not found in INI file");
    img_colorize(&wv, &wv, colour[0], colour[2], colour[1]);

    for (int32_t y = 0; y < screen.height; y += th)
        img_copy_rect(bg.column, 0, y, work, 0, 0, tw, std::min(th, screen.height - y));
    img_free(work);

    double top = 1.0, bottom = 1.0;
    ini_get_real(SETTINGS_SKIN, "BACKGROUND", "GradientTop", &top);
    ini_get_real(SETTINGS_SKIN, "BACKGROUND", "GradientBottom", &bottom);
    shade_rows(bg.column, top, bottom);

    bg.logo = cache_get(BACKGROUND_LOGO);
}

void background_done(void)
{
    img_free(bg.column);
    bg.column = nullptr;
}

const Img *background_column(void)
{
    return bg.column;
}



