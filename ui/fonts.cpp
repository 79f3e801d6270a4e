// The five fonts for the language's character set.
#include "ui/fonts.h"

#include "image/cache.h"
#include "res/gdi_text.h"
#include "res/lang.h"

static Font *const all_fonts[] = {&font_small, &font_medium, &font_dialog, &font_large, &font_arial};

// A bitmap font from its table; its sheet comes through the image cache.
static void font_bitmap(Font *font, const BitmapFontInfo &info)
{
    font->kind = FONT_BITMAP;
    font->height = info.height;
    font->size = info.size;
    font->line = info.line;
    font->shadow_offset = 1;
    font->image = cache_get(info.sheet);
    font->spacing = info.spacing;
    font->first = 32;
    font->last = 127;
    font->glyphs = info.glyphs;
}

// A system font of `size` pixels without internal leading; its metrics come from the font.
static void font_system(Font *font, int32_t size, int32_t style, int32_t charset, const char *face)
{
    font->kind = FONT_SYSTEM;
    font->shadow_offset = 1;
    font->handle = io_gdi_create_font(-size, style, charset, face);
    io_gdi_font_metrics(font->handle, &font->height, &font->size, &font->line);
}

void fonts_init(void)
{
    for (Font *f : all_fonts)
        *f = {};
    int32_t charset = lt_charset();
    if (charset < 1) {
        font_bitmap(&font_small, lt_bitmap_fonts[0]);
        font_bitmap(&font_medium, lt_bitmap_fonts[1]);
        font_bitmap(&font_large, lt_bitmap_fonts[2]);
    } else {
        font_system(&font_small, 11, IO_FONT_BOLD | IO_FONT_SWISS, charset, nullptr);
        font_system(&font_medium, 13, IO_FONT_BOLD | IO_FONT_SWISS, charset, nullptr);
        font_system(&font_large, 19, IO_FONT_ROMAN, charset, nullptr);
    }
    // The dialog font follows the system's own text, which is Western here.
    font_system(&font_dialog, 11, IO_FONT_SWISS, 0, nullptr);
    font_system(&font_arial, 12, IO_FONT_SWISS, charset, "Arial");
}

void fonts_done(void)
{
    for (Font *f : all_fonts) {
        if (f->kind == FONT_SYSTEM && f->handle)
            io_gdi_delete_font(f->handle);
        f->handle = nullptr;
    }
}
