// Soft drop shadows: small objects get a blurred picture of their own, larger ones are
// drawn from eight slices of two shared presets, so resizing a big window never blurs.
#include <algorithm>

#include "image/imgfile.h"
#include "image/resample.h"
#include "platform/log.h"
#include "platform/memory.h"
#include "ui/skin.h"

enum { KIND_SMALL, KIND_LARGE, KIND_COUNT };
enum { SLICE_TL, SLICE_T, SLICE_TR, SLICE_L, SLICE_R, SLICE_BL, SLICE_B, SLICE_BR, SLICE_COUNT };
enum { PRESET_RECT, PRESET_FRAMED, PRESET_COUNT };

// Corner width and height and the middle of each preset picture.
static constexpr struct {
    int32_t cw, ch, m;
} preset_sizes[PRESET_COUNT] = {
    {16, 16, 32},  // rectangular objects
    {12, 12, 32},  // shaped like the skin frame, whose corners are 12 pixels
};

// Blur and distance of each kind: the small one rests under a window, the large one
// lifts it while it is moved.
static constexpr struct {
    double sigma;
    int32_t offset;
    uint32_t flag;
} kind_sizes[KIND_COUNT] = {
    {2.0, 2, SHADOW_SMALL},
    {5.0, 6, SHADOW_LARGE},
};

// Shadows are never made for anything bigger; it keeps a loaded record's pictures small.
constexpr int32_t SHADOW_MAX_SIZE = 32767;
constexpr uint32_t SHADOW_KNOWN_FLAGS = SHADOW_ON | SHADOW_RECT | SHADOW_SMALL | SHADOW_LARGE;
constexpr uint32_t SHADOW_KNOWN_FRAME_FLAGS = 127;
constexpr size_t SHADOW_RECORD_SIZE = 40;
constexpr uint8_t SHADOW_DARKNESS = 145;  // how dark the shadow is under the object

struct ShadowKind {
    Img *img;
    int32_t offset, radius;
    int32_t cw, ch;  // the preset's corner size
    ImgRect slices[SLICE_COUNT];
    int32_t min_w, min_h;  // smaller objects get an own picture
};

static struct {
    ShadowKind kinds[PRESET_COUNT][KIND_COUNT];
    bool ready;
} shadows;

// A blurred shadow of a w x h object, with 2r of room on every side for the blur.
static Img *build_picture(int32_t w, int32_t h, double sigma, uint32_t frame_flags, bool rectangular)
{
    int32_t r = img_blur_radius(sigma);
    Img *work = img_create(w + 4 * r, h + 4 * r, IMG_8BIT);
    Img *out = img_create(w + 4 * r, h + 4 * r, IMG_8BIT);
    img_fill(work, 0);
    if (rectangular) {
        img_fill_rect(work, SHADOW_DARKNESS, 2 * r, 2 * r, w, h);
    } else {
        skin_frame_to_img(work, frame_flags, 2 * r, 2 * r, w, h);
        img_fade(work, SHADOW_DARKNESS);
    }
    img_blur(out, work);
    img_free(work);
    return out;
}

void shadow_init(void)
{
    shadow_done();
    for (int p = 0; p < PRESET_COUNT; p++) {
        int32_t cw = preset_sizes[p].cw, ch = preset_sizes[p].ch, m = preset_sizes[p].m;
        for (int k = 0; k < KIND_COUNT; k++) {
            ShadowKind &sk = shadows.kinds[p][k];
            int32_t r = img_blur_radius(kind_sizes[k].sigma), o = kind_sizes[k].offset;
            sk.offset = o;
            sk.radius = r;
            sk.cw = cw;
            sk.ch = ch;
            sk.img = build_picture((cw + r) * 2 + m, (ch + r) * 2 + m, kind_sizes[k].sigma, 0, p == PRESET_RECT);
            sk.slices[SLICE_TL] = {r, r, cw + 2 * r, ch + 2 * r};
            sk.slices[SLICE_T] = {cw + 3 * r, r, m, r - o};
            sk.slices[SLICE_TR] = {cw + 3 * r + m, r, cw + 2 * r, ch + 2 * r};
            sk.slices[SLICE_L] = {r, ch + 3 * r, r - o, m};
            sk.slices[SLICE_R] = {2 * cw + 4 * r + m - o, ch + 3 * r, r + o, m};
            sk.slices[SLICE_BL] = {r, ch + 3 * r + m, cw + 2 * r, ch + 2 * r};
            sk.slices[SLICE_B] = {cw + 3 * r, 2 * ch + 4 * r + m - o, m, r + o};
            sk.slices[SLICE_BR] = {cw + 3 * r + m, ch + 3 * r + m, cw + 2 * r, ch + 2 * r};
            sk.min_w = 2 * (cw + r);
            sk.min_h = 2 * (ch + r);
        }
    }
    shadows.ready = true;
}

void shadow_done(void)
{
    for (auto &preset : shadows.kinds)
        for (ShadowKind &sk : preset)
            img_free(sk.img);
    shadows = {};
}

static const ShadowKind &preset_kind(const Shadow *s, int kind, const char *who)
{
    if (!shadows.ready)
        io_error("%s: shadow_init has not run\n", who);
    return shadows.kinds[(s->flags & SHADOW_RECT) ? PRESET_RECT : PRESET_FRAMED][kind];
}

static ShadowPic &pic_of(Shadow *s, int kind)
{
    return kind == KIND_LARGE ? s->large : s->small;
}

Shadow *shadow_create(uint32_t flags, int32_t w, int32_t h, uint32_t frame_flags)
{
    Shadow *s = (Shadow *)io_mem_alloc(sizeof(Shadow));
    *s = {};
    s->flags = flags;
    s->frame_flags = frame_flags;
    for (int k = 0; k < KIND_COUNT; k++) {
        const ShadowKind &sk = preset_kind(s, k, "shadow_create");
        pic_of(s, k) = {nullptr, sk.offset, sk.radius};
    }
    // A size no object has, so that the pictures are built.
    s->width = s->height = -1;
    shadow_resize(s, w, h);
    return s;
}

// Objects smaller than a kind's slices can draw get a picture of their own.
static bool own_picture(const Shadow *s, int kind, int32_t w, int32_t h, const char *caller)
{
    const ShadowKind &sk = preset_kind(s, kind, caller);
    return (s->flags & kind_sizes[kind].flag) && (w < sk.min_w || h < sk.min_h);
}

void shadow_resize(Shadow *s, int32_t w, int32_t h)
{
    if (w == s->width && h == s->height)
        return;
    if (w < 0 || h < 0 || w > SHADOW_MAX_SIZE || h > SHADOW_MAX_SIZE)
        io_error("shadow_resize: invalid size %i x %i\n", w, h);
    for (int k = 0; k < KIND_COUNT; k++) {
        img_free(pic_of(s, k).img);
        pic_of(s, k).img = nullptr;
    }
    s->width = w;
    s->height = h;
    for (int k = 0; k < KIND_COUNT; k++) {
        if (own_picture(s, k, w, h, "shadow_resize"))
            pic_of(s, k).img = build_picture(w, h, kind_sizes[k].sigma, s->frame_flags, s->flags & SHADOW_RECT);
    }
}

void shadow_free(Shadow *s)
{
    if (!s)
        return;
    img_free(s->large.img);
    img_free(s->small.img);
    io_mem_free(s);
}

void shadow_draw_around(const Shadow *s, bool large, int32_t x, int32_t y)
{
    const ShadowPic &pic = large ? s->large : s->small;
    if (!pic.img) {
        shadow_draw(s, large, x, y);  // the slices lie around the object already
        return;
    }
    int32_t r = pic.radius, o = pic.offset, w = s->width, h = s->height;
    int32_t x0 = x + o - r, y0 = y + o - r, x1 = x0 + w + 2 * r, y1 = y0 + h + 2 * r;
    // The picture's part at screen rectangle [left, right) x [top, bottom).
    auto part = [&](int32_t left, int32_t top, int32_t right, int32_t bottom) {
        left = std::max(left, x0), top = std::max(top, y0), right = std::min(right, x1), bottom = std::min(bottom, y1);
        if (left < right && top < bottom)
            img_draw_shadow(pic.img, left, top, r + left - x0, r + top - y0, right - left, bottom - top);
    };
    part(x0, y0, x1, y);              // above the object
    part(x0, y + h, x1, y1);          // below it
    part(x0, y, x, y + h);            // left of it
    part(x + w, y, x1, y + h);        // right of it
}

void shadow_draw(const Shadow *s, bool large, int32_t x, int32_t y)
{
    int kind = large ? KIND_LARGE : KIND_SMALL;
    const ShadowPic &pic = large ? s->large : s->small;
    int32_t w = s->width, h = s->height;
    if (pic.img) {
        int32_t r = pic.radius, o = pic.offset;
        img_draw_shadow(pic.img, x + o - r, y + o - r, r, r, w + 2 * r, h + 2 * r);
        return;
    }
    const ShadowKind &sk = preset_kind(s, kind, "shadow_draw");
    const ImgRect *sl = sk.slices;
    int32_t r = sk.radius, o = sk.offset;
    int32_t cw = sk.cw, ch = sk.ch;
    int32_t x1 = x + o, y1 = y + o;
    int32_t xs = x1 + r + cw, xe = x1 - r + w - cw;
    int32_t ys = y1 + r + ch, ye = y1 - r + h - ch;
    ImgBlitter old = img_set_blitter(img_draw_shadow);
    img_blit_part(sk.img, &sl[SLICE_TL], x1 - r, y1 - r);
    if (xs < xe) {
        img_tile(sk.img, &sl[SLICE_T], xs, y1 - r, xe, 0, IMG_TILE_ONE_DOWN);
        img_tile(sk.img, &sl[SLICE_B], xs, y + h, xe, 0, IMG_TILE_ONE_DOWN);
    }
    img_blit_part(sk.img, &sl[SLICE_TR], xe, y1 - r);
    if (ys < ye) {
        img_tile(sk.img, &sl[SLICE_L], x1 - r, ys, 0, ye, IMG_TILE_ONE_ACROSS);
        img_tile(sk.img, &sl[SLICE_R], x + w, ys, 0, ye, IMG_TILE_ONE_ACROSS);
    }
    img_blit_part(sk.img, &sl[SLICE_BL], x1 - r, ye);
    img_blit_part(sk.img, &sl[SLICE_BR], xe, ye);
    img_set_blitter(old);
}

void shadow_bounds(const Shadow *s, bool large, int32_t *dx, int32_t *dy, int32_t *w, int32_t *h)
{
    const ShadowPic &pic = large ? s->large : s->small;
    int32_t r = pic.radius, o = pic.offset;
    int32_t d = o - r < 0 ? o - r : 0;
    *dx = *dy = d;
    *w = (s->width + r + o > s->width ? s->width + r + o : s->width) - d;
    *h = (s->height + r + o > s->height ? s->height + r + o : s->height) - d;
}

static void put32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        p[i] = (uint8_t)(v >> (8 * i));
}

static uint32_t get32(const uint8_t *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

int32_t shadow_save(FILE *f, const Shadow *s)
{
    uint8_t rec[SHADOW_RECORD_SIZE];
    put32(rec, s->flags);
    put32(rec + 4, (uint32_t)s->width);
    put32(rec + 8, (uint32_t)s->height);
    put32(rec + 12, s->frame_flags);
    const ShadowPic *pics[2] = {&s->large, &s->small};
    for (int i = 0; i < 2; i++) {
        put32(rec + 16 + 12 * i, pics[i]->img != nullptr);
        put32(rec + 20 + 12 * i, (uint32_t)pics[i]->offset);
        put32(rec + 24 + 12 * i, (uint32_t)pics[i]->radius);
    }
    if (fwrite(rec, 1, sizeof rec, f) != sizeof rec)
        return 0;
    for (const ShadowPic *pic : pics)
        if (pic->img && !img_save(f, pic->img))
            return 0;
    return 1;
}

// Reads one own picture, refusing anything but the size and format the record implies
// before a byte of it is allocated.
static Img *load_picture(FILE *f, int32_t w, int32_t h, int32_t r)
{
    int32_t iw, ih;
    uint32_t format;
    if (img_read_header(f, &iw, &ih, &format) || format != IMG_8BIT || iw != w + 4 * r || ih != h + 4 * r)
        return nullptr;
    return img_load(f);
}

Shadow *shadow_load(FILE *f)
{
    uint8_t rec[SHADOW_RECORD_SIZE];
    if (fread(rec, 1, sizeof rec, f) != sizeof rec)
        return nullptr;
    Shadow t = {};
    t.flags = get32(rec);
    t.width = (int32_t)get32(rec + 4);
    t.height = (int32_t)get32(rec + 8);
    t.frame_flags = get32(rec + 12);
    if ((t.flags & ~SHADOW_KNOWN_FLAGS) || (t.frame_flags & ~SHADOW_KNOWN_FRAME_FLAGS) || t.width < 0 ||
        t.height < 0 || t.width > SHADOW_MAX_SIZE || t.height > SHADOW_MAX_SIZE)
        return nullptr;
    // Large first, as saved. Offsets and radii are the presets' own: those are the
    // only ones the slices can draw with, and bounds must agree with what is drawn.
    const int kinds[2] = {KIND_LARGE, KIND_SMALL};
    bool has[2];
    for (int i = 0; i < 2; i++) {
        uint32_t flag = get32(rec + 16 + 12 * i);
        ShadowPic &pic = pic_of(&t, kinds[i]);
        pic.offset = (int32_t)get32(rec + 20 + 12 * i);
        pic.radius = (int32_t)get32(rec + 24 + 12 * i);
        const ShadowKind &sk = preset_kind(&t, kinds[i], "shadow_load");
        has[i] = flag == 1;
        // A picture must be there exactly when the object needs one: without it a small
        // object's slices would overlap into a doubled shadow.
        if (flag > 1 || pic.offset != sk.offset || pic.radius != sk.radius ||
            has[i] != own_picture(&t, kinds[i], t.width, t.height, "shadow_load"))
            return nullptr;
    }
    for (int i = 0; i < 2; i++) {
        ShadowPic &pic = pic_of(&t, kinds[i]);
        if (has[i] && !(pic.img = load_picture(f, t.width, t.height, pic.radius))) {
            img_free(t.large.img);
            return nullptr;
        }
    }
    Shadow *s = (Shadow *)io_mem_alloc(sizeof(Shadow));
    *s = t;
    return s;
}
