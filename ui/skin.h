// The skin: 36 named colours, the two skin pictures holding frame pieces, title-bar
// pieces, icons and the trackbar, the drawing of frames, title bars, icons and bevels
// from them, and soft drop shadows.
#pragma once
#include <cstdint>
#include <cstdio>

struct Img;

constexpr int SKIN_COLOR_COUNT = 36;

struct SkinRect {
    int16_t x, y, w, h;
};

// Where each piece lies in the skin pictures. The data generator draws into exactly
// these rectangles and the drawing code reads them, so they are one table.
extern const SkinRect skin_frame_rects[25];  // 5 x 5 frame pieces
extern const SkinRect skin_title_rects[10];  // title-bar pieces, 18 high
constexpr int SKIN_ICON_COUNT = 64;
extern const SkinRect skin_icon_rects[SKIN_ICON_COUNT];  // in img/active.img; w 0: unused
extern const SkinRect skin_track_rects[3];   // trackbar left end, middle, right end
extern const char *const skin_color_keys[SKIN_COLOR_COUNT];
// The colours by number, in the order of skin_color_keys.
enum SkinColorIndex : int32_t {
    SKIN_COLOR_BEVEL_LT, SKIN_COLOR_BEVEL_T, SKIN_COLOR_BEVEL_RT, SKIN_COLOR_BEVEL_L, SKIN_COLOR_BEVEL_R,
    SKIN_COLOR_BEVEL_LB, SKIN_COLOR_BEVEL_B, SKIN_COLOR_BEVEL_RB,
    SKIN_COLOR_BUTTON_TEXT_ACTIVE, SKIN_COLOR_BUTTON_TEXT_INACTIVE, SKIN_COLOR_BUTTON_TEXT_HOVER,
    SKIN_COLOR_BUTTON_TEXT_SHADOW,
    SKIN_COLOR_TRACKBAR_TEXT, SKIN_COLOR_TRACKBAR_TEXT_SHADOW,
    SKIN_COLOR_WINDOW_TITLE_TEXT, SKIN_COLOR_WINDOW_TITLE_TEXT_SHADOW,
    SKIN_COLOR_EDIT_TEXT, SKIN_COLOR_EDIT_BACKGROUND,
    SKIN_COLOR_MSGBOX_TEXT, SKIN_COLOR_MSGBOX_TEXT_SHADOW,
    SKIN_COLOR_PREVIEW_OUTLINE_ACTIVE, SKIN_COLOR_PREVIEW_OUTLINE_INACTIVE, SKIN_COLOR_PREVIEW_PIECES_TEXT,
    SKIN_COLOR_PREVIEW_PIECES_TEXT_SHADOW, SKIN_COLOR_PREVIEW_BOTTOM_TEXT, SKIN_COLOR_PREVIEW_BOTTOM_TEXT_SHADOW,
    SKIN_COLOR_PREVIEW_SURPRISE, SKIN_COLOR_ROOM_TITLE_BAR, SKIN_COLOR_ROOM_TITLE_BAR_TEXT,
    SKIN_COLOR_ROOM_TITLE_BAR_TEXT_SHADOW,
    SKIN_COLOR_SELECTION, SKIN_COLOR_CREATE_DESK, SKIN_COLOR_CREATE_DESK_OUTLINE, SKIN_COLOR_CREATE_DESK_PRESENT_SIZE,
    SKIN_COLOR_CREATE_CURVE_PREVIEW, SKIN_COLOR_GALLERY_OUTLINE,
};
static_assert(SKIN_COLOR_GALLERY_OUTLINE == SKIN_COLOR_COUNT - 1, "one name per skin colour");
constexpr int SKIN_IMAGE_WIDTH = 256;        // both skin pictures
constexpr int SKIN_IMAGE_HEIGHT = 256;

// Panel and bar backgrounds of the standard windows, numbered as the windows name them
// (9 dialog panel, 11 bar, 13 bar start, 25 message panel, 30 progress block). These
// numbers are their own table, apart from the icons: a texture tiled over an area.
enum { SKIN_PANEL_DIALOG = 9, SKIN_PANEL_BAR = 11, SKIN_PANEL_BAR_START = 13,
       SKIN_PANEL_MESSAGE = 25, SKIN_PANEL_PROGRESS = 30 };
constexpr int SKIN_PANEL_COUNT = 32;
extern const SkinRect skin_panel_rects[SKIN_PANEL_COUNT];  // in img/active.img; w 0: unused

// Loads both skin pictures into the cache and reads the 36 colours of [COLORS];
// a missing or unparsable colour is fatal "ge_init: color %s not found\n", a skin
// picture that is not format 0x13 or does not hold every piece of the tables above is
// fatal "ge_init: invalid skin picture %s\n".
void ge_init(const char *skin_file);
void ge_done(void);
// Fatal "skin_color: invalid index %i\n" outside 0 .. SKIN_COLOR_COUNT - 1.
uint32_t skin_color(int32_t index);
// Frames, title bars, icons, panels, the track and bevels are drawn relative to it.
void skin_set_origin(int32_t x, int32_t y);

enum {
    SKIN_INACTIVE = 1,
    SKIN_OPEN_LEFT = 2,
    SKIN_OPEN_RIGHT = 4,
    SKIN_OPEN_TOP = 8,
    SKIN_OPEN_BOTTOM = 16,
    SKIN_FILL_ONLY = 32,
    SKIN_NO_CENTRE = 64,
};
void skin_frame(uint32_t flags, int32_t x, int32_t y, int32_t w, int32_t h);
void skin_title_bar(int32_t x, int32_t y, int32_t width, bool active, bool collapse, bool close);
// An unused or out-of-range number is fatal "skin_icon: invalid icon %i\n" (likewise
// skin_icon_size, skin_panel).
void skin_icon(int32_t number, int32_t x, int32_t y);
void skin_icon_size(int32_t number, int32_t *w, int32_t *h);
// Tiles a panel texture over the rectangle (origin-relative, through the clipper).
void skin_panel(int32_t number, int32_t x, int32_t y, int32_t w, int32_t h);
void skin_track(int32_t x, int32_t y, int32_t width);
void skin_bevel(int32_t x, int32_t y, int32_t w, int32_t h);
// Draws the frame's silhouette (the skin's alpha) into an 8-bit image, cut to the
// image; origin and blitter hook are as they were afterwards.
void skin_frame_to_img(Img *image, uint32_t flags, int32_t x, int32_t y, int32_t w, int32_t h);

// Drop shadows.
enum { SHADOW_ON = 1, SHADOW_RECT = 2, SHADOW_SMALL = 4, SHADOW_LARGE = 8 };
struct ShadowPic {
    Img *img;  // own picture, or null: drawn from the preset's slices
    int32_t offset, radius;
};
struct Shadow {
    uint32_t flags;
    int32_t width, height;
    uint32_t frame_flags;
    ShadowPic large, small;
};
// The presets need the skin (ge_init); shadows need the presets, else fatal
// "%s: shadow_init has not run\n".
void shadow_init(void);
void shadow_done(void);
// Sizes run from 0 to 32767; anything else is fatal "shadow_resize: invalid size".
Shadow *shadow_create(uint32_t flags, int32_t w, int32_t h, uint32_t frame_flags);
void shadow_resize(Shadow *s, int32_t w, int32_t h);
void shadow_free(Shadow *s);
void shadow_draw(const Shadow *s, bool large, int32_t x, int32_t y);
// The shadow of an opaque rectangular object at (x, y), left out where the object will
// cover it: the same pixels once the object is drawn, for less work.
void shadow_draw_around(const Shadow *s, bool large, int32_t x, int32_t y);
void shadow_bounds(const Shadow *s, bool large, int32_t *dx, int32_t *dy, int32_t *w, int32_t *h);
// The record's 40 bytes, then each own picture as an IMG stream. shadow_load checks the
// record against its pictures (sizes, radii) and returns null for anything that does
// not match; shadow_save returns 1 on success.
int32_t shadow_save(FILE *f, const Shadow *s);
Shadow *shadow_load(FILE *f);
