// The splash and about picture: the lettered title on an oak table strewn with pieces of
// a puzzle, the publisher's mark at the top left, the maker's plaque on the right and a
// calm parchment strip at the bottom for the status line.
#include <cmath>

#include "tools/mkdata_pictures.h"

constexpr int INTRO_W = 500, INTRO_H = 330;
constexpr int STRIP_TOP = 300;  // the status line is drawn at y = 307 on this strip

// Whether (u, v), in units of the piece's side with its middle at 0, lies inside a
// classic piece. tabs[k] for the top, right, bottom and left sides: +1 a knob out, -1 a
// socket in, 0 a straight border.
static bool in_piece(float u, float v, const int tabs[4])
{
    auto knob = [](float along, float out) {
        // A round head on a narrower neck, standing on the side at out = 0.
        float hx = along, hy = out - 0.19f;
        if (hx * hx + hy * hy < 0.13f * 0.13f)
            return true;
        if (out < -0.02f || out > 0.14f)
            return false;
        float neck = 0.07f + 0.025f * std::cos(out / 0.14f * PIC_PI);
        if (out < 0.03f)
            neck += (0.03f - out) * 1.2f;  // a small fillet where the neck meets the side
        return std::fabs(along) < neck;
    };
    // Side k: along its direction and outward from it.
    const float along[4] = {u, -v, -u, v}, out[4] = {-v - 0.5f, u - 0.5f, v - 0.5f, -u - 0.5f};
    bool body = std::fabs(u) <= 0.5f && std::fabs(v) <= 0.5f;
    for (int k = 0; k < 4; k++) {
        if (tabs[k] > 0 && knob(along[k], out[k]))
            return true;
        if (tabs[k] < 0 && knob(along[k], -out[k]))
            body = false;
    }
    return body;
}

// Soft light and shade of a raised shape from its blurred coverage: highlights on edges
// facing the top left, shade on the others.
static float relief(const Mask *soft, int x, int y)
{
    float gx = soft->get(x + 1, y) - soft->get(x - 1, y);
    float gy = soft->get(x, y + 1) - soft->get(x, y - 1);
    return gx * 0.7f + gy * 0.7f;  // rises toward the inside from the top left: positive
}

// Lays a raised shape onto the canvas: a soft shadow below it, then its own colours
// (fill(x, y) per pixel), lit by its relief.
template <class Fill>
static void raised(Canvas *c, const Mask *shape, int dx, int dy, float shadow_offset, float shadow_alpha, float light,
                   Fill fill)
{
    const int pad = 8;
    Mask shadow = mask_new(shape->w + 2 * pad, shape->h + 2 * pad);
    for (int y = 0; y < shape->h; y++)
        for (int x = 0; x < shape->w; x++)
            shadow.at(x + pad, y + pad) = shape->at(x, y);
    mask_blur(&shadow, 2, false);
    canvas_paint(c, &shadow, dx - pad + (int)shadow_offset, dy - pad + (int)(shadow_offset * 1.3f), rgb(0x1A0E06),
                 shadow_alpha);
    Mask soft = *shape;
    mask_blur(&soft, 1, false);
    for (int y = 0; y < shape->h; y++)
        for (int x = 0; x < shape->w; x++) {
            float a = shape->at(x, y);
            if (a <= 0)
                continue;
            Rgb col = fill(x, y);
            float r = relief(&soft, x, y) * light;
            col = r > 0 ? mix(col, rgb(0xFFF6E0), clamp01(r)) : col * (1.0f + r * 0.8f);
            canvas_blend(c, dx + x, dy + y, col, a);
        }
}

// The oak table: wide boards running across, warm and a little darker at the corners.
static void draw_table(Canvas *c)
{
    const Rgb light = rgb(0xC48E52), dark = rgb(0x6A3E1E);
    const float board = 66.0f;
    for (int y = 0; y < c->h; y++)
        for (int x = 0; x < c->w; x++) {
            float fx = (float)x + 0.5f, fy = (float)y + 0.5f;
            int b = (int)std::floor(fy / board);
            float across = fy - (float)b * board;
            float g = pic_wood(fx + (float)b * 190.0f, across, 9.0f, 900 + (uint32_t)b);
            Rgb col = mix(light, dark, g) * (0.92f + 0.1f * pic_rand(b, 0, 901));
            float groove = clamp01(1.1f - std::fmin(across, board - across));
            col = col * (1.0f + 0.08f * std::exp(-across / 1.5f) - 0.14f * std::exp(-(board - across) / 2.0f));
            col = mix(col, rgb(0x2E1A0C), groove * 0.8f);
            float vx = (fx / (float)c->w - 0.5f) * 2.0f, vy = (fy / (float)c->h - 0.45f) * 2.0f;
            c->at(x, y) = col * (1.05f - 0.3f * (vx * vx + vy * vy) * 0.5f);
        }
}

// The title: brass letters with a dark rim, bevelled, standing on the table.
static void draw_title(const MkData *mk, Canvas *c, const char *text, float size, int cx, int baseline)
{
    int ox, oy;
    Mask m = pic_text(mk, "DejaVuSerif-Bold.ttf", size, text, 1.5f, 6, &ox, &oy);
    // A dark rim a little wider than the letters.
    Mask rim = m;
    mask_blur(&rim, 1, false);
    for (float &v : rim.v)
        v = clamp01(v * 2.5f);
    int dx = cx - m.w / 2, dy = baseline - oy;
    raised(c, &rim, dx, dy, 3.0f, 0.75f, 0.0f, [](int, int) { return rgb(0x3A2210); });
    Mask soft = m;
    mask_blur(&soft, 2, false);
    static const RampStop BRASS[] = {
        {0.0f, 0xFFF0B8}, {0.35f, 0xE8C068}, {0.55f, 0xB8802C}, {0.75f, 0xD8A850}, {1.0f, 0x8A5A1E},
    };
    int top = baseline - (int)(size * 0.74f);
    for (int y = 0; y < m.h; y++)
        for (int x = 0; x < m.w; x++) {
            float a = m.at(x, y);
            if (a <= 0)
                continue;
            float t = ((float)(dy + y) - (float)top) / (size * 0.74f);
            Rgb col = pic_ramp(BRASS, 5, t);
            float r = relief(&soft, x, y) * 5.0f;
            col = r > 0 ? mix(col, rgb(0xFFFBEA), clamp01(r * 0.8f)) : col * (1.0f + r * 0.5f);
            canvas_blend(c, dx + x, dy + y, col, a);
        }
}

// Plain lettering with a faint shadow, left end of the baseline at (x, y), or centred
// on x when `centre` is set.
static void draw_words(const MkData *mk, Canvas *c, const char *font, float size, const char *text, int x, int y,
                       Rgb colour, bool centre, float spacing = 0.0f)
{
    int ox, oy;
    Mask m = pic_text(mk, font, size, text, spacing, 2, &ox, &oy);
    int dx = centre ? x - m.w / 2 : x - ox, dy = y - oy;
    Mask shadow = m;
    mask_blur(&shadow, 1, false);
    canvas_paint(c, &shadow, dx + 1, dy + 1, rgb(0x1A0E06), 0.5f);
    canvas_paint(c, &m, dx, dy, colour, 1.0f);
}

static void draw_publisher(const MkData *mk, Canvas *c)
{
    // A brass medallion with a teal enamel field and an ivory piece, then the name.
    const float mx = 34.0f, my = 33.0f;
    Mask disc = mask_new(64, 64);
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++) {
            float dx = (float)x + 0.5f - 32.0f, dy = (float)y + 0.5f - 32.0f;
            disc.at(x, y) = clamp01(24.5f - std::sqrt(dx * dx + dy * dy));
        }
    raised(c, &disc, (int)mx - 32, (int)my - 32, 2.0f, 0.6f, 3.0f, [&](int x, int y) {
        float dx = (float)x + 0.5f - 32.0f, dy = (float)y + 0.5f - 32.0f;
        float r = std::sqrt(dx * dx + dy * dy);
        Rgb brass = mix(rgb(0xF0D080), rgb(0x9A6A28), clamp01((dx + dy) / 48.0f + 0.5f));
        Rgb enamel = mix(rgb(0x1E7A72), rgb(0x0E4A48), clamp01(r / 18.0f));
        float ring = clamp01(r - 17.5f);
        float groove = clamp01(1.0f - std::fabs(r - 18.0f)) * 0.5f;
        return mix(enamel, brass, ring) * (1.0f - groove);
    });
    const int tabs[4] = {1, -1, 1, 1};
    pic_fill(c, (int)mx - 14, (int)my - 14, (int)mx + 14, (int)my + 14, rgb(0xF3E8CC), 1.0f, [&](float x, float y) {
        float u = (x - mx) / 17.0f, v = (y - my) / 17.0f;
        // Turned a little, as if lying on the table.
        float cu = u * 0.94f + v * 0.34f, cv = -u * 0.34f + v * 0.94f;
        return in_piece(cu / 0.62f, cv / 0.62f, tabs);
    });
    draw_words(mk, c, "DejaVuSerif-Bold.ttf", 19.0f, "Honeywood", 66, 32, rgb(0xF6E8C8), false);
    draw_words(mk, c, "DejaVuSans.ttf", 9.5f, "GAMES", 67, 47, rgb(0xE8C878), false, 3.0f);
}

static void draw_maker(const MkData *mk, Canvas *c)
{
    // An ivory card with a brass edge; the name underlined in teal, as a link reads.
    const int x0 = 360, y0 = 143, w = 132, h = 42;
    Mask card = mask_new(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            float dx = std::fmax(std::fabs((float)x + 0.5f - (float)w / 2) - ((float)w / 2 - 5.0f), 0.0f);
            float dy = std::fmax(std::fabs((float)y + 0.5f - (float)h / 2) - ((float)h / 2 - 5.0f), 0.0f);
            card.at(x, y) = clamp01(5.0f - std::sqrt(dx * dx + dy * dy) + 0.5f);
        }
    raised(c, &card, x0, y0, 2.0f, 0.55f, 2.0f, [&](int x, int y) {
        float ex = std::fmin((float)x, (float)(w - 1 - x)), ey = std::fmin((float)y, (float)(h - 1 - y));
        float e = std::fmin(ex, ey);
        Rgb paper = rgb(0xF4EBD4) * (0.96f + 0.04f * pic_fbm((float)x / 9.0f, (float)y / 9.0f, 0, 0, 3, 910));
        return e < 2.5f ? mix(rgb(0xB8893A), rgb(0xE8C878), clamp01(e / 2.5f)) : paper;
    });
    draw_words(mk, c, "DejaVuSerif-Italic.ttf", 10.0f, "crafted by", x0 + w / 2, y0 + 15, rgb(0x5A4028), true);
    int ox, oy;
    Mask name = pic_text(mk, "DejaVuSansCondensed-Bold.ttf", 12.0f, "Pelmora Workshop", 0.2f, 1, &ox, &oy);
    int nx = x0 + (w - name.w) / 2, ny = y0 + 31 - oy;
    canvas_paint(c, &name, nx, ny, rgb(0x0E6A62), 1.0f);
    for (int x = nx + 1; x < nx + name.w - 1; x++)
        canvas_blend(c, x, y0 + 33, rgb(0x0E6A62), 0.9f);
}

Canvas pic_draw_intro(const MkData *mk)
{
    Canvas c = canvas_new(INTRO_W, INTRO_H, rgb(0));
    draw_table(&c);

    // Pieces of the lake picture lie about the table, each cut from its own place in it.
    constexpr int SIDE = 58;
    Canvas lake = pic_draw_lake(SIDE * 8, SIDE * 6);
    static const struct {
        float x, y, angle;
        int col, row;
        int tabs[4];
    } PIECES[] = {
        {48, 225, -18, 2, 2, {1, -1, -1, 1}},   {128, 276, 14, 4, 4, {-1, 1, 1, -1}},
        {222, 238, -7, 5, 2, {1, 1, -1, -1}},   {318, 282, 28, 2, 1, {-1, -1, 1, 1}},
        {412, 238, -26, 6, 3, {1, -1, 1, -1}},  {466, 38, 33, 3, 0, {0, 1, -1, 1}},
        {22, 128, 48, 7, 1, {1, 1, -1, 0}},     {470, 300, 8, 5, 5, {-1, 0, 0, 1}},
    };
    for (const auto &p : PIECES) {
        float ca = std::cos(p.angle * PIC_PI / 180.0f), sa = std::sin(p.angle * PIC_PI / 180.0f);
        const int half = (int)(SIDE * 0.95f);
        Mask shape = mask_new(2 * half, 2 * half);
        for (int y = 0; y < shape.h; y++)
            for (int x = 0; x < shape.w; x++) {
                int n = 0;
                for (int k = 0; k < 16; k++) {
                    float sx = (float)(x - half) + ((float)(k & 3) + 0.5f) / 4.0f;
                    float sy = (float)(y - half) + ((float)(k >> 2) + 0.5f) / 4.0f;
                    float u = (sx * ca + sy * sa) / SIDE, v = (-sx * sa + sy * ca) / SIDE;
                    n += in_piece(u, v, p.tabs) ? 1 : 0;
                }
                shape.at(x, y) = (float)n / 16.0f;
            }
        int dx = (int)p.x - half, dy = (int)p.y - half;
        raised(&c, &shape, dx, dy, 3.0f, 0.65f, 2.5f, [&](int x, int y) {
            float sx = (float)(x - half) + 0.5f, sy = (float)(y - half) + 0.5f;
            float u = (sx * ca + sy * sa), v = (-sx * sa + sy * ca);
            return canvas_sample(&lake, ((float)p.col + 0.5f) * SIDE + u, ((float)p.row + 0.5f) * SIDE + v);
        });
    }

    draw_title(mk, &c, "Pelmora", 76.0f, 250, 140);
    draw_words(mk, &c, "DejaVuSerif-Italic.ttf", 15.0f, "a jigsaw puzzle table", 250, 166, rgb(0xF6EAD0), true);
    draw_publisher(mk, &c);
    draw_maker(mk, &c);

    // The status strip: parchment under a brass rule, plain so the line of text reads.
    for (int y = STRIP_TOP - 3; y < INTRO_H; y++)
        for (int x = 0; x < INTRO_W; x++) {
            float fy = (float)y + 0.5f;
            Rgb col;
            if (y < STRIP_TOP) {
                col = mix(rgb(0xF0D080), rgb(0x8A5A1E), (fy - (float)(STRIP_TOP - 3)) / 3.0f);
            } else {
                float n = pic_fbm((float)x / 30.0f, fy / 30.0f, 0, 0, 3, 920);
                col = rgb(0xF1E6CC) * (0.985f + 0.015f * n);
                col = col * (1.0f - 0.08f * std::exp(-(fy - (float)STRIP_TOP) / 2.0f));
            }
            c.at(x, y) = col;
        }
    // A shadow of the rule falls on the table just above it.
    for (int y = STRIP_TOP - 8; y < STRIP_TOP - 3; y++)
        for (int x = 0; x < INTRO_W; x++)
            c.at(x, y) = c.at(x, y) * (1.0f - 0.35f * std::exp(-(float)(STRIP_TOP - 3 - y) / 2.0f));
    return c;
}
