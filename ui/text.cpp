// Text in the game's fonts: the line walker over bitmap-font text, drawing with a shadow
// pass, measuring, and the window-relative drawing helpers.
#include "ui/text.h"

#include <algorithm>

#include "image/cache.h"
#include "image/clip.h"
#include "image/img.h"
#include "platform/gdi.h"
#include "platform/video.h"
#include "res/gdi_text.h"
#include "platform/log.h"
#include "res/lang.h"

static struct {
    const Font *font;
    uint32_t colour;
    uint32_t shadow;      // TEXT_NONE: no shadow pass
    int32_t align;        // 0 left, 1 centred, 2 right
    int32_t wrap_width;   // 0: lines break only at '\n'
    const char *walk;     // the line walker's read position
} text;

void text_set_font(const Font *font, uint32_t colour, uint32_t shadow)
{
    text.font = font;
    text.colour = colour;
    text.shadow = shadow;
    text.align = 0;
    text.wrap_width = 0;
}

void text_set_layout(int32_t align, int32_t wrap_width)
{
    text.align = wrap_width == 0 ? 0 : align;
    text.wrap_width = wrap_width;
}

static const Font *text_font(const char *fn)
{
    if (!text.font)
        io_error("%s: no font selected\n", fn);
    return text.font;
}

// The pixels a character advances: its glyph and the spacing, or nothing without a glyph.
static int32_t text_advance(const Font *font, unsigned char c)
{
    if (c < font->first || c > font->last)
        return 0;
    return font->glyphs[c - font->first].width + font->spacing;
}

void text_walk_start(const char *s)
{
    text.walk = s;
}

bool text_walk_next(TextLine *line)
{
    const Font *font = text_font("text_walk_next");
    // Lines are measured in bitmap glyph boxes; a system font wraps inside the platform's
    // text drawing, and walking it here would give lines of no width that never wrap.
    if (font->kind != FONT_BITMAP)
        io_error("text_walk_next: not a bitmap font\n");
    const char *p = text.walk;
    if (!p || !*p)
        return false;
    line->start = p;
    line->count = 0;
    line->width = 0;
    if (text.wrap_width == 0) {
        for (; *p && *p != '\n'; p++) {
            line->count++;
            line->width += text_advance(font, (unsigned char)*p);
        }
        text.walk = *p ? p + 1 : p;
        return true;
    }
    // Word by word: a word runs up to and including the next space, or up to a newline
    // or the end. An over-long word still gets a line to itself and overhangs.
    while (*p) {
        if (*p == '\n') {
            p++;
            break;
        }
        const char *end = p;
        int32_t width = 0;
        while (*end && *end != '\n') {
            width += text_advance(font, (unsigned char)*end);
            if (*end++ == ' ')
                break;
        }
        if (line->count > 0 && line->width + width > text.wrap_width)
            break;
        line->count += (int32_t)(end - p);
        line->width += width;
        p = end;
    }
    text.walk = p;
    return true;
}

// One bitmap-font pass in one colour; returns the height of its lines.
static int32_t text_pass_bitmap(const Font *font, const char *s, int32_t x, int32_t y, uint32_t colour)
{
    Img *sheet = (Img *)cache_lock(font->image);
    int32_t line_y = y;
    TextLine line;
    text_walk_start(s);
    while (text_walk_next(&line)) {
        int32_t line_x = x;
        if (text.align == 1)
            line_x = x + (text.wrap_width - line.width) / 2;
        else if (text.align == 2)
            line_x = x - line.width + text.wrap_width;
        for (int32_t i = 0; i < line.count; i++) {
            unsigned char c = (unsigned char)line.start[i];
            if (c < font->first || c > font->last)
                continue;
            const Glyph &g = font->glyphs[c - font->first];
            img_draw_ink(line_x, line_y, colour, sheet, g.x, g.y, g.width, font->height);
            line_x += g.width + font->spacing;
        }
        line_y += font->line;
    }
    cache_unlock(font->image);
    return line_y - y;
}

void gdi_text_in(int32_t cx, int32_t cy, int32_t cw, int32_t ch, const Font *font, const char *s, int32_t x, int32_t y,
                 uint32_t colour, int32_t align, int32_t width)
{
    int32_t x0 = std::max(cx, 0), y0 = std::max(cy, 0);
    int32_t x1 = std::min(cx + cw, screen.width), y1 = std::min(cy + ch, screen.height);
    if (x1 <= x0 || y1 <= y0)
        return;
    Screen whole = screen;
    screen.buf += (ptrdiff_t)y0 * screen.pitch + (ptrdiff_t)x0 * 3;
    screen.width = x1 - x0;
    screen.height = y1 - y0;
    io_gdi_text(font, s, x - x0, y - y0, colour, align, width);
    screen = whole;
}

struct GdiPass {
    const Font *font;
    const char *s;
    int32_t x, y;
    uint32_t colour;
};

static void gdi_pass_in(int32_t cx, int32_t cy, int32_t cw, int32_t ch, void *ctx)
{
    const GdiPass *p = (const GdiPass *)ctx;
    gdi_text_in(cx, cy, cw, ch, p->font, p->s, p->x, p->y, p->colour, text.align, text.wrap_width);
}

// System-font text is blended straight into the frame, so it is drawn only into the dirty
// runs under it, as every other drawing is: text drawn again over a tile that is not
// repainted would thicken.
static int32_t text_pass(const Font *font, const char *s, int32_t x, int32_t y, uint32_t colour)
{
    if (font->kind != FONT_SYSTEM)
        return text_pass_bitmap(font, s, x, y, colour);
    int32_t w, h;
    io_gdi_text_size(font, s, text.align, text.wrap_width, &w, &h);
    int32_t box = text.wrap_width > 0 ? std::max(text.wrap_width, w) : w;
    // Glyphs may reach a little past the line box: italics, accents, descenders.
    int32_t margin = font->height;
    GdiPass pass = {font, s, x, y, colour};
    clip_each_dirty(x - margin, y - margin, box + 2 * margin, h + 2 * margin, gdi_pass_in, &pass);
    return h;
}

int32_t text_draw(const char *s, int32_t x, int32_t y)
{
    if (!s || !*s)
        return 0;
    const Font *font = text_font("text_draw");
    int32_t offset = 0, height = 0;
    if (text.shadow != TEXT_NONE) {
        offset = font->shadow_offset;
        text_pass(font, s, x + offset, y + offset, text.shadow);
    }
    if (text.colour != TEXT_NONE)
        height = text_pass(font, s, x, y, text.colour);
    return offset + height;
}

void text_measure(const char *s, int32_t *width, int32_t *height)
{
    *width = 0;
    *height = 0;
    if (!s || !*s)
        return;
    const Font *font = text_font("text_measure");
    if (font->kind == FONT_SYSTEM) {
        io_gdi_text_size(font, s, text.align, text.wrap_width, width, height);
    } else {
        TextLine line;
        text_walk_start(s);
        while (text_walk_next(&line)) {
            if (line.width > *width)
                *width = line.width;
            *height += font->line;
        }
    }
    if (text.shadow != TEXT_NONE) {
        *width += font->shadow_offset;
        *height += font->shadow_offset;
    }
}

void window_text_draw(int32_t wx, int32_t wy, const char *s, int32_t x, int32_t y)
{
    text_draw(s, wx + x, wy + y);
}

void window_img_draw(int32_t wx, int32_t wy, const Img *img, int32_t x, int32_t y)
{
    // img_draw_whole only reads the image.
    img_draw_whole(const_cast<Img *>(img), wx + x, wy + y);
}

void window_cache_draw(int32_t wx, int32_t wy, int32_t handle, int32_t x, int32_t y)
{
    cache_draw_whole(handle, wx + x, wy + y);
}

void window_cache_draw_part(int32_t wx, int32_t wy, int32_t handle, int32_t x, int32_t y,
                            int32_t sx, int32_t sy, int32_t w, int32_t h)
{
    cache_draw(handle, wx + x, wy + y, sx, sy, w, h);
}
