// Shelf previews: the small picture of each box, kept in a PRVW file so the shelf opens
// without decoding every box's picture; the progress clock drawn over it; and the
// unwrapping of a finished surprise.
#include <cstring>

#include "image/gformat.h"
#include "image/imgfile.h"
#include "image/resample.h"
#include "platform/files.h"
#include "platform/services.h"
#include "platform/video.h"
#include "rooms/box/shelf_internal.h"

constexpr const char *SHELF_PREVIEW_FOLDER = "sfiles/temp";

// The size of the preview picture and the size it is drawn at: a link box shows its
// whole picture, any other box its picture fitted to 80 x 80 (also enlarged); a wrapped
// surprise is drawn at least as large as the present that hides it.
static void preview_sizes(const ShelfBox *box, int32_t *image_w, int32_t *image_h, int32_t *drawn_w,
                          int32_t *drawn_h)
{
    int32_t w = box->info.picture_width, h = box->info.picture_height;
    if (!box->info.link_box) {
        fit_size(SHELF_PREVIEW_SIZE, SHELF_PREVIEW_SIZE, &w, &h, 1);
        // A very long picture still gets a line of pixels.
        w = w < 1 ? 1 : w;
        h = h < 1 ? 1 : h;
    }
    *image_w = *drawn_w = w;
    *image_h = *drawn_h = h;
    if (box->info.surprise && !box->info.link_box) {
        int32_t pw, ph;
        skin_icon_size(SHELF_PRESENT_ICON, &pw, &ph);
        *drawn_w = w > pw ? w : pw;
        *drawn_h = h > ph ? h : ph;
    }
}

// Puts a new preview and shadow into the record, freeing the old ones.
static void set_preview(ShelfBox *box, Img *image, Shadow *shadow, int32_t drawn_w, int32_t drawn_h)
{
    img_free(box->preview);
    if (box->shadow)
        shadow_free(box->shadow);
    box->preview = image;
    box->shadow = shadow;
    box->preview_width = drawn_w;
    box->preview_height = drawn_h;
    box->needs_redraw = 1;
}

int shelf_load_preview(ShelfBox *box, int *same_id)
{
    *same_id = 0;
    char path[SHELF_PATH_MAX];
    FILE *f = shelf_file_path(SHELF_FILE_PREVIEW, box->name, path, sizeof path) ? chunk_open(path, "rb") : nullptr;
    if (!f)
        return 0;
    if (!chunk_expect_u32(f, CHUNK_PRVW) || !chunk_expect_id(f, &box->id)) {
        fclose(f);
        return 0;
    }
    *same_id = 1;
    Img *image = chunk_expect_u32(f, CHUNK_VERSION_PREVIEW) ? img_load(f) : nullptr;
    Shadow *shadow = image ? shadow_load(f) : nullptr;
    fclose(f);
    int32_t iw, ih, dw, dh;
    preview_sizes(box, &iw, &ih, &dw, &dh);
    // Anything but the preview this box would get now is rebuilt.
    if (!shadow || image->format != (uint32_t)screen.bytes_per_pixel || image->width != iw ||
        image->height != ih || shadow->width != dw || shadow->height != dh || shadow->flags != SHELF_PREVIEW_SHADOW ||
        shadow->frame_flags != 0) {
        img_free(image);
        if (shadow)
            shadow_free(shadow);
        return 0;
    }
    set_preview(box, image, shadow, dw, dh);
    return 1;
}

// The box's picture, decoded straight from its record: no temporary file is written
// (the create room may hold one), and the picture the image codec holds is not touched.
static Picture *decode_picture(const ShelfBox *box)
{
    char path[SHELF_PATH_MAX];
    FILE *f = shelf_file_path(SHELF_FILE_BOX, box->name, path, sizeof path) ? chunk_open(path, "rb") : nullptr;
    if (!f)
        return nullptr;
    uint32_t length;
    Picture *picture = nullptr;
    if (chunk_expect_u32(f, CHUNK_BOX1) && chunk_expect_id(f, &box->id) && fseeko(f, CHUNK_FIRST_RECORD, SEEK_SET) == 0 &&
        chunk_find(f, BOX_TAG_PICTURE, &length) && length > 0)
        picture = gformat_jpg_decode(f);
    fclose(f);
    return picture;
}

int shelf_build_preview(ShelfBox *box)
{
    Picture *picture = decode_picture(box);
    if (!picture)
        return 0;
    int32_t iw, ih, dw, dh;
    preview_sizes(box, &iw, &ih, &dw, &dh);
    if (picture->width != box->info.picture_width || picture->height != box->info.picture_height) {
        picture_free(picture);
        return 0;
    }
    Img *image = nullptr;
    if (box->info.link_box) {
        image = gformat_picture_to_img(picture);
    } else {
        // The resampler works within one format: the screen's, which JPEG colour
        // pictures already have.
        Img *converted = picture->format == (uint32_t)screen.bytes_per_pixel ? nullptr : gformat_picture_to_img(picture);
        ImgView dst, src = *picture;
        if (converted)
            img_view(&src, converted, 0, 0);
        image = img_create(iw, ih, IMG_SCREEN);
        img_view(&dst, image, 0, 0);
        int done = img_resample(&dst, &src, IMG_RESAMPLE_FILTERED);
        img_free(converted);
        if (!done) {
            img_free(image);
            image = nullptr;
        }
    }
    picture_free(picture);
    if (!image)
        return 0;
    set_preview(box, image, shadow_create(SHELF_PREVIEW_SHADOW, dw, dh, 0), dw, dh);
    shelf_save_preview(box);
    return 1;
}

int shelf_save_preview(const ShelfBox *box)
{
    char path[SHELF_PATH_MAX];
    SafeFile sf;
    if (!box->preview || !box->shadow || !shelf_file_path(SHELF_FILE_PREVIEW, box->name, path, sizeof path) ||
        !make_dir(SHELF_PREVIEW_FOLDER) || !chunk_create(&sf, path))
        return 0;
    if (!chunk_write_id(sf.f, &box->id) || !chunk_write_u32(sf.f, CHUNK_VERSION_PREVIEW) ||
        !img_save(sf.f, box->preview) || !shadow_save(sf.f, box->shadow)) {
        chunk_abort(&sf);
        return 0;
    }
    return chunk_commit(&sf, CHUNK_PRVW);
}

// The point where the clock's hand ends for progress p on the border of a w x h preview;
// 0 when it would not lie on the border.
static int hand_end(int32_t p, int32_t w, int32_t h, int32_t *ex, int32_t *ey)
{
    double W = w - 1, H = h - 1, cx = w / 2, x, y;
    if (p < 12.5) {
        x = (W - cx) * p * 0.08 + cx, y = 0;
    } else if (p < 37.5) {
        x = W, y = (p - 12.5) * H * 0.04;
    } else if (p < 62.5) {
        x = (1 - 0.04 * (p - 37.5)) * W, y = H;
    } else if (p < 87.5) {
        x = 0, y = (1 - 0.04 * (p - 62.5)) * H;
    } else {
        x = (p - 87.5) * cx * 0.08, y = 0;
    }
    *ex = (int32_t)(x + 0.5);
    *ey = (int32_t)(y + 0.5);
    bool inside = *ex >= 0 && *ex <= w - 1 && *ey >= 0 && *ey <= h - 1;
    return inside && (*ex == 0 || *ex == w - 1 || *ey == 0 || *ey == h - 1);
}

void shelf_build_overlay(ShelfBox *box)
{
    img_free(box->overlay);
    box->overlay = nullptr;
    box->needs_redraw = 1;
    int32_t p = box->summary.progress, w = box->preview_width, h = box->preview_height, ex, ey;
    if (p < 1 || p > 99 || w < 1 || h < 1 || !hand_end(p, w, h, &ex, &ey))
        return;
    Img *overlay = img_create(w, h, IMG_8BIT);
    img_fill(overlay, 0);
    ImgView v;
    img_view(&v, overlay, 0, 0);
    int32_t cx = w / 2, cy = h / 2, W = w - 1, H = h - 1;
    // Clockwise along the border from twelve o'clock, a line to every pixel before the hand.
    int32_t x = cx, y = 0;
    for (int64_t steps = 0; !(x == ex && y == ey) && steps < 2 * ((int64_t)w + h); steps++) {
        img_line(&v, cx, cy, x, y, SHELF_OVERLAY_DONE);
        if (y == 0 && x < W)
            x++;
        else if (x == W && y < H)
            y++;
        else if (y == H && x > 0)
            x--;
        else
            y--;
    }
    img_line(&v, cx, cy, ex, ey, SHELF_OVERLAY_HAND);
    img_line(&v, cx, cy, cx, 0, SHELF_OVERLAY_HAND);
    box->overlay = overlay;
}

int shelf_unwrap(ShelfBox *box)
{
    if (!box->info.surprise)
        return 1;
    char path[SHELF_PATH_MAX];
    int written = shelf_file_path(SHELF_FILE_BOX, box->name, path, sizeof path) && box_set_surprise(path, 0);
    // Shown unwrapped from now on even if the file could not be changed; the next load
    // tries again, since the game is still finished.
    box->info.surprise = 0;
    if (box->preview && box->shadow) {
        box->preview_width = box->preview->width;
        box->preview_height = box->preview->height;
        shadow_resize(box->shadow, box->preview_width, box->preview_height);
        shelf_build_overlay(box);
        shelf_save_preview(box);
    }
    box->needs_redraw = 1;
    return written;
}

void shelf_refresh_box(ShelfBox *box)
{
    game_summary_read(box->name, &box->id, &box->summary);
    if (box->summary.progress == 100 && box->info.surprise)
        shelf_unwrap(box);
    shelf_build_overlay(box);
}
