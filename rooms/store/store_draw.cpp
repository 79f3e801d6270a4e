// Drawing the boxes of the store room: each preview with its shadow, wrapping, progress
// clock, outline, mark, piece count and "new" label, and the pass before each paint that
// moves dragged boxes and marks exactly the areas that changed.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "image/clip.h"
#include "platform/config.h"
#include "platform/video.h"
#include "res/lang.h"
#include "rooms/store/storeroom.h"
#include "ui/desktop.h"
#include "ui/skin.h"
#include "ui/text.h"

constexpr int32_t STORE_ICON_PIECES = 35, STORE_ICON_PIECES_TURNED = 36;
constexpr int32_t STORE_ICON_FINISHED = 37, STORE_ICON_STARTED = 38;
constexpr int32_t STORE_MARK_OFFSET = 15;

// The piece count as it is written beside its icon.
static void piece_count_text(const ShelfBox *box, char *text, size_t size)
{
    snprintf(text, size, "%i", box->info.piece_count);
}

static int32_t pieces_icon(const ShelfBox *box)
{
    return box->info.rotation ? STORE_ICON_PIECES_TURNED : STORE_ICON_PIECES;
}

// The area of a box at (0, 0), lying and dragged. Measuring texts for each of 200 boxes
// every frame would cost more than drawing the one that moves, so it is kept with the
// box until something it depends on changes.
static void measure_area(ShelfBox *box)
{
    int32_t w = box->preview_width, h = box->preview_height;
    for (int32_t dragging = 0; dragging < 2; dragging++) {
        int32_t left = 0, top = 0, right = w, bottom = h;
        if (box->shadow) {
            int32_t dx, dy, sw, sh;
            shadow_bounds(box->shadow, dragging != 0, &dx, &dy, &sw, &sh);
            left = std::min(left, dx);
            top = std::min(top, dy);
            right = std::max(right, dx + sw);
            bottom = std::max(bottom, dy + sh);
        }
        if (!box->info.link_box) {
            // The marks stand out over the top-left corner, the count may reach left of a
            // narrow preview.
            int32_t mw, mh, iw, ih, tw, th;
            skin_icon_size(STORE_ICON_FINISHED, &mw, &mh);
            left = std::min(left, -STORE_MARK_OFFSET);
            top = std::min(top, -STORE_MARK_OFFSET);
            right = std::max(right, mw - STORE_MARK_OFFSET);
            bottom = std::max(bottom, mh - STORE_MARK_OFFSET);
            char count[16];
            piece_count_text(box, count, sizeof count);
            text_set_font(&font_small, 0, 0);
            text_measure(count, &tw, &th);
            skin_icon_size(pieces_icon(box), &iw, &ih);
            left = std::min(left, w - iw - tw);
            top = std::min(top, h - ih);
            bottom = std::max(bottom, h - ih + std::max(ih, th));
        }
        if (box->is_new) {
            int32_t tw, th;
            text_set_font(&font_small, 0, 0);
            text_measure(lt_get(STORE_TEXT_NEW), &tw, &th);
            right = std::max(right, tw);
            bottom = std::max(bottom, h + th);
        }
        int32_t *a = box->area[dragging];
        a[0] = left, a[1] = top, a[2] = right, a[3] = bottom;
    }
}

void storeroom_box_area(ShelfBox *box, int32_t x, int32_t y, int32_t dragging, IoRect *area)
{
    const int32_t key[6] = {box->preview_width, box->preview_height, box->is_new,
                            box->info.link_box, box->info.piece_count, box->info.rotation};
    if (memcmp(key, box->area_key, sizeof key) != 0) {
        memcpy(box->area_key, key, sizeof key);
        measure_area(box);
    }
    const int32_t *a = box->area[dragging != 0];
    *area = {x + a[0], y + a[1], a[2] - a[0], a[3] - a[1]};
}

void storeroom_mark(ShelfBox *box)
{
    box->needs_redraw = 1;
}

static void invalidate(const IoRect &area)
{
    clip_invalidate(area.x, area.y, area.width, area.height);
}

void storeroom_erase(ShelfBox *box)
{
    IoRect area;
    storeroom_box_area(box, box->x, box->y, box->dragging, &area);
    invalidate(box->drawn_area);
    invalidate(area);
}

bool storeroom_redraw_pass(void)
{
    bool lying_changed = false;
    for (ShelfBox *box = shelf.tail; box; box = box->prev) {
        if (box->dragging) {
            int32_t x = box->drag_x, y = box->drag_y;
            shelf_clamp(box, &x, &y);
            box->x = x;
            box->y = y;
        }
        if (box->x == box->drawn_x && box->y == box->drawn_y && box->selected == box->drawn_selected &&
            box->dragging == box->drawn_dragging && !box->needs_redraw)
            continue;
        // The old area as it was drawn: unwrapping a surprise makes its preview smaller,
        // opening a box takes its label away.
        storeroom_erase(box);
        lying_changed = lying_changed || !box->dragging || !box->drawn_dragging || box->needs_redraw;
        storeroom_box_area(box, box->x, box->y, box->dragging, &box->drawn_area);
        box->drawn_x = box->x;
        box->drawn_y = box->y;
        box->drawn_selected = box->selected;
        box->drawn_dragging = box->dragging;
        box->needs_redraw = 0;
    }
    return lying_changed;
}

// A one-pixel rectangle in the fill colour, as four fills: a pen would test every pixel
// of it against the dirty tiles, the fills test whole runs.
static void outline(int32_t x, int32_t y, int32_t w, int32_t h)
{
    if (w < 1 || h < 1)
        return;
    draw_fill_rect(x, y, w, 1);
    draw_fill_rect(x, y + h - 1, w, 1);
    draw_fill_rect(x, y + 1, 1, h - 2);
    draw_fill_rect(x + w - 1, y + 1, 1, h - 2);
}

void storeroom_draw_box(ShelfBox *box)
{
    int32_t x = box->x, y = box->y, w = box->preview_width, h = box->preview_height;
    IoRect area;
    storeroom_box_area(box, x, y, box->dragging, &area);
    if (!clip_is_dirty(area.x, area.y, area.width, area.height))
        return;
    if (box->shadow)
        shadow_draw_around(box->shadow, box->dragging != 0, x, y);
    if (box->info.surprise && !box->info.link_box) {
        int32_t iw, ih;
        skin_icon_size(SHELF_PRESENT_ICON, &iw, &ih);
        draw_set_fill(skin_color(SKIN_COLOR_PREVIEW_SURPRISE));
        draw_fill_rect(x, y, w, h);
        skin_icon(SHELF_PRESENT_ICON, x + (w - iw) / 2, y + (h - ih) / 2);
    } else if (box->preview) {
        img_draw(box->preview, x, y, 0, 0, box->preview->width, box->preview->height);
    }
    if (box->overlay)
        img_draw_shadow(box->overlay, x, y, 0, 0, box->overlay->width, box->overlay->height);
    if (box->selected) {
        draw_set_fill(skin_color(SKIN_COLOR_PREVIEW_OUTLINE_ACTIVE));
        outline(x + 1, y + 1, w - 2, h - 2);
    } else {
        draw_set_fill(skin_color(SKIN_COLOR_PREVIEW_OUTLINE_INACTIVE));
    }
    outline(x, y, w, h);
    if (!box->info.link_box) {
        if (box->summary.progress == 100)
            skin_icon(STORE_ICON_FINISHED, x - STORE_MARK_OFFSET, y - STORE_MARK_OFFSET);
        else if (box->summary.progress >= 1 && box->summary.progress <= 99)
            skin_icon(STORE_ICON_STARTED, x - STORE_MARK_OFFSET, y - STORE_MARK_OFFSET);
        char count[16];
        int32_t iw, ih, tw, th, icon = pieces_icon(box);
        piece_count_text(box, count, sizeof count);
        skin_icon_size(icon, &iw, &ih);
        text_set_font(&font_small, skin_color(SKIN_COLOR_PREVIEW_PIECES_TEXT),
                      skin_color(SKIN_COLOR_PREVIEW_PIECES_TEXT_SHADOW));
        text_set_layout(0, 0);
        text_measure(count, &tw, &th);
        text_draw(count, x + w - iw - tw, y + h - ih);
        skin_icon(icon, x + w - iw, y + h - ih);
    }
    if (box->is_new) {
        text_set_font(&font_small, skin_color(SKIN_COLOR_PREVIEW_BOTTOM_TEXT),
                      skin_color(SKIN_COLOR_PREVIEW_BOTTOM_TEXT_SHADOW));
        text_set_layout(0, 0);
        text_draw(lt_get(STORE_TEXT_NEW), x, y + h);
    }
}

// --- the room's paint ---

// What the room itself draws (the table and the lying boxes) is kept in a layer as it is
// painted. While boxes are carried and nothing lying changes, a frame copies the dirty
// tiles back from it instead of drawing the table and the boxes under them again.
static struct {
    Img *layer;
} paint;

static void keep_in_layer(int32_t x, int32_t y, int32_t w, int32_t h, void *)
{
    ImgView from, to;
    screen_view(&from, x, y);
    img_view(&to, paint.layer, x, y);
    from.width = to.width = w;
    from.height = to.height = h;
    img_blit(&to, &from);
}

void storeroom_paint(void)
{
    bool lying_changed = storeroom_redraw_pass();
    bool carrying = false;
    for (const ShelfBox *box = shelf.head; box && !carrying; box = box->next)
        carrying = box->dragging;
    if (paint.layer && carrying && !lying_changed) {
        img_draw(paint.layer, 0, 0, 0, 0, screen.width, screen.height);
        return;
    }
    if (!paint.layer || paint.layer->width != screen.width || paint.layer->height != screen.height) {
        // A new layer is filled by painting everything once.
        img_free(paint.layer);
        paint.layer = img_create(screen.width, screen.height, IMG_SCREEN);
        clip_invalidate(0, 0, screen.width, screen.height);
    }
    background_draw(lt_get(storeroom.gift_interface ? STORE_TEXT_GIFT_TITLE : STORE_TEXT_TITLE));
    const char *folder = kernel_puzzles_folder();
    if (strcmp(folder, "puzzles") != 0) {
        text_set_font(&font_small, 0xFFFFFF, TEXT_NONE);
        text_set_layout(0, 0);
        text_draw(folder, 5, 25);
    }
    for (ShelfBox *box = shelf.tail; box; box = box->prev)
        if (!box->dragging)
            storeroom_draw_box(box);
    clip_each_dirty(0, 0, screen.width, screen.height, keep_in_layer, nullptr);
}

void storeroom_paint_done(void)
{
    img_free(paint.layer);
    paint.layer = nullptr;
}
