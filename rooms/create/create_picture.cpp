// The create room's picture and cut: loading a picture for a new box, its size on the
// desk, the piece-size range, the random cut and the info text.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "image/gformat.h"
#include "image/resample.h"
#include "platform/log.h"
#include "platform/random.h"
#include "puzzle/cut.h"
#include "res/lang.h"
#include "rooms/create/createroom.h"
#include "ui/button.h"
#include "ui/stdwin.h"
#include "ui/trackbar.h"
#include "ui/window.h"

// The screen modes the info text offers, smallest first.
static const int32_t screen_modes[][2] = {{640, 480}, {800, 600}, {1024, 768}, {1152, 864}, {1280, 1024}, {1600, 1200}};

void createroom_fit(int32_t width, int32_t height, int32_t *fit_w, int32_t *fit_h)
{
    const CreateRoomState &c = createroom;
    *fit_w = width;
    *fit_h = height;
    if (width < c.desk_w && height < c.desk_h)
        return;
    // Both sides times the smaller of the two factors, truncated: worked in integers so
    // that the side the desk limits comes out exactly as the desk's.
    if ((int64_t)c.desk_w * height <= (int64_t)c.desk_h * width) {
        *fit_w = c.desk_w;
        *fit_h = (int32_t)((int64_t)height * c.desk_w / width);
    } else {
        *fit_h = c.desk_h;
        *fit_w = (int32_t)((int64_t)width * c.desk_h / height);
    }
}

int32_t createroom_screen_mode(int32_t width, int32_t height, int32_t *mode_w, int32_t *mode_h)
{
    for (const int32_t *m : screen_modes)
        if (m[0] - 20 >= width && m[1] - 80 >= height) {
            *mode_w = m[0];
            *mode_h = m[1];
            return 1;
        }
    return 0;
}

void createroom_info_text(char *buffer, int32_t size)
{
    const CreateRoomState &c = createroom;
    buffer[0] = 0;
    if (!c.picture || size < 1)
        return;
    const BoxInfo &b = c.info;
    int n = snprintf(buffer, (size_t)size, "%s: %s\n%s: %i, %s: %ix%i", lt_get(CREATE_TEXT_BOX), c.box_name,
                     lt_get(CREATE_TEXT_PIECES), b.piece_count, lt_get(CREATE_TEXT_SIZE), b.picture_width,
                     b.picture_height);
    int32_t mode_w, mode_h;
    if (n > 0 && n < size - 1 && createroom_screen_mode(b.picture_width, b.picture_height, &mode_w, &mode_h)) {
        buffer[n++] = '\n';
        snprintf(buffer + n, (size_t)(size - n), lt_get(CREATE_TEXT_SCREEN), mode_w, mode_h);
    }
}

// A trackbar's range; one whose maximum is not above its minimum holds the minimum
// alone, where the thumb rests.
static void set_track_range(int32_t trackbar, int32_t min, int32_t max, int32_t value)
{
    trackbar_set_range(trackbar, min, std::max(min, max));
    trackbar_set_value(trackbar, value);
}

void createroom_update_ranges(void)
{
    CreateRoomState &c = createroom;
    BoxInfo &b = c.info;
    c.piece_min = BOX_PIECE_MIN;
    c.piece_max = std::max(std::min(b.picture_width, b.picture_height) / 2, BOX_PIECE_MIN);
    b.piece_size = std::clamp(b.piece_size, c.piece_min, c.piece_max);
    set_track_range(c.controls[CREATE_PIECE_SIZE], c.piece_min, c.piece_max, b.piece_size);
    set_track_range(c.controls[CREATE_JITTER], 0, BOX_JITTER_MAX, b.jitter);
}

void createroom_update_cut(void)
{
    CreateRoomState &c = createroom;
    cut_grid_free();
    if (c.picture)
        cut_grid_init(&c.info);  // also counts the pieces into info
    char text[512];
    createroom_info_text(text, (int32_t)sizeof text);
    textwin_set(c.info_window, text);
    createroom_invalidate_desk();
}

void createroom_random_cut(void)
{
    CreateRoomState &c = createroom;
    if (!c.picture)
        return;
    // A range of one value (a very wide picture) has nothing to choose from.
    int32_t span = c.piece_max - c.piece_min;
    c.info.piece_size = c.piece_min + (span > 0 ? rand_mod(span) : 0);
    c.info.jitter = rand_mod(BOX_JITTER_MAX);
    c.info.shape = rand_mod(BOX_SHAPES);
    trackbar_set_value(c.controls[CREATE_PIECE_SIZE], c.info.piece_size);
    trackbar_set_value(c.controls[CREATE_JITTER], c.info.jitter);
    button_group_select(c.controls[CREATE_SHAPE_FIRST], c.info.shape);
    createroom_update_cut();
}

// The shown picture, resampled from the source picture to the box's size without
// smoothing: it is remade at every step of the size trackbar.
static int make_shown_picture(void)
{
    CreateRoomState &c = createroom;
    img_free(c.picture);
    c.picture = img_create(c.info.picture_width, c.info.picture_height, IMG_SCREEN);
    ImgView v;
    img_view(&v, c.picture, 0, 0);
    if (!img_resample(&v, c.source, IMG_RESAMPLE_NEAREST)) {
        img_free(c.picture);
        c.picture = nullptr;
        return 0;
    }
    return 1;
}

void createroom_set_size(int32_t value)
{
    CreateRoomState &c = createroom;
    if (!c.source || value < 1)
        return;
    BoxInfo &b = c.info;
    if (c.size_axis == 'w') {
        b.picture_width = value;
        b.picture_height = std::max((int32_t)((int64_t)c.source_height * value / c.source_width), 1);
    } else {
        b.picture_height = value;
        b.picture_width = std::max((int32_t)((int64_t)c.source_width * value / c.source_height), 1);
    }
    make_shown_picture();
    createroom_update_ranges();
    createroom_update_cut();
}

void createroom_free_picture(void)
{
    CreateRoomState &c = createroom;
    cut_grid_free();
    img_free(c.picture);
    c.picture = nullptr;
    picture_free(c.source);
    c.source = nullptr;
}

// The box name a picture file suggests: its base name without the extension.
static void name_from_path(const char *path, char *name, size_t size)
{
    const char *base = strrchr(path, '/');
    base = base ? base + 1 : path;
    const char *dot = strrchr(base, '.');
    size_t n = dot && dot > base ? (size_t)(dot - base) : strlen(base);
    n = std::min(n, (size_t)BOX_NAME_MAX);
    n = std::min(n, size - 1);
    memcpy(name, base, n);
    name[n] = 0;
}

// Refuses the picture: the room goes back to having none.
static int32_t refuse(int32_t message, const char *path, const char *why)
{
    io_log("createroom: the picture %s is refused: %s\n", path, why);
    createroom_free_picture();
    msg_box_text(message, MB_OK);
    return 0;
}

int32_t createroom_read_picture(const char *path)
{
    CreateRoomState &c = createroom;
    createroom_free_picture();
    memset(&c.info, 0, sizeof c.info);
    // A large photo is decoded only as large as the desk can show it; its own size still
    // rules the size limits below.
    int32_t file_w = 0, file_h = 0;
    if (!gformat_read_fit(path, c.desk_w, c.desk_h, &file_w, &file_h))
        return refuse(CREATE_TEXT_UNREADABLE, path, "it cannot be read");
    c.source = gformat_take();
    if (!c.source || file_w < 1 || file_h < 1)
        return refuse(CREATE_TEXT_UNREADABLE, path, "it cannot be read");
    int32_t fit_w, fit_h;
    createroom_fit(file_w, file_h, &fit_w, &fit_h);
    // A very wide picture fitted to the desk can come out lower than a piece: it must
    // hold the smallest box as fitted, not only as the file holds it.
    if (file_w < CREATE_MIN_SIDE || file_h < CREATE_MIN_SIDE || fit_w < CREATE_MIN_SIDE || fit_h < CREATE_MIN_SIDE)
        return refuse(CREATE_TEXT_TOO_SMALL, path, "a side is under 40 pixels");
    c.source_width = file_w;
    c.source_height = file_h;

    BoxInfo &b = c.info;
    b.picture_width = fit_w;
    b.picture_height = fit_h;
    b.piece_size = CREATE_START_PIECE;
    b.jitter = 0;
    b.shape = CREATE_START_SHAPE;
    int32_t size = c.controls[CREATE_SIZE];
    if (file_h >= file_w) {
        c.size_axis = 'h';
        set_track_range(size, (int32_t)((int64_t)file_h * CREATE_MIN_SIDE / file_w), fit_h, fit_h);
    } else {
        c.size_axis = 'w';
        set_track_range(size, (int32_t)((int64_t)file_w * CREATE_MIN_SIDE / file_h), fit_w, fit_w);
    }
    if (!make_shown_picture())
        return refuse(CREATE_TEXT_UNREADABLE, path, "it cannot be resampled");
    name_from_path(path, c.box_name, sizeof c.box_name);
    return 1;
}
