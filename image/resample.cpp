// Resizing, the Gaussian blur and colourising. All pixel work is integer arithmetic over
// tables built once per call; working memory comes from the image allocation hooks.
#include "image/resample.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

static struct {
    double sigma;  // the last sigma given to img_blur_radius
} rs;

// count * size in bytes, or 0 when it would overflow.
static size_t array_bytes(size_t count, size_t size)
{
    size_t bytes;
    return __builtin_mul_overflow(count, size, &bytes) ? 0 : bytes;
}

static uint8_t *view_row(const ImgView *view, int32_t y)
{
    return view->colour + (ptrdiff_t)y * view->colour_stride;
}

// --- nearest neighbour ---

// 16.16 step between the source samples of neighbouring outputs. A single output takes
// the first source sample: step 0 instead of a division by zero.
static int64_t nearest_step(int32_t src_size, int32_t dst_size)
{
    if (dst_size < 2)
        return 0;
    return (((int64_t)src_size - 1) << 16) / (dst_size - 1);
}

static void resample_nearest(const ImgView *dst, const ImgView *src)
{
    int32_t bpp = (int32_t)img_colour_bytes(src->format);
    int64_t step_x = nearest_step(src->width, dst->width);
    int64_t step_y = nearest_step(src->height, dst->height);
    int64_t prev_sy = -1;
    for (int32_t j = 0; j < dst->height; j++) {
        int64_t sy = (32768 + j * step_y) >> 16;
        uint8_t *d = view_row(dst, j);
        if (sy == prev_sy) {
            // Enlarging repeats rows: copy the one just made.
            memcpy(d, view_row(dst, j - 1), (size_t)dst->width * (size_t)bpp);
            continue;
        }
        prev_sy = sy;
        const uint8_t *s = view_row(src, (int32_t)sy);
        int64_t pos = 32768;
        if (bpp == 1) {
            for (int32_t i = 0; i < dst->width; i++, pos += step_x)
                d[i] = s[pos >> 16];
        } else {
            for (int32_t i = 0; i < dst->width; i++, pos += step_x)
                memcpy(d + 3 * i, s + 3 * (pos >> 16), 3);
        }
    }
}

// --- filtered zoom ---

// The resampling filter: a smooth cubic bell of support 1.
static double zoom_filter(double t)
{
    if (t < 0)
        t = -t;
    return t < 1.0 ? (2.0 * t - 3.0) * t * t + 1.0 : 0.0;
}

ImgContribs *img_contribs_build(int32_t src_size, int32_t dst_size, int32_t unit)
{
    if (src_size < 1 || dst_size < 1 || unit < 1 || (int64_t)(src_size - 1) * unit > INT32_MAX)
        return nullptr;
    double scale = (double)dst_size / (double)src_size;
    double width = scale >= 1.0 ? 1.0 : 1.0 / scale;
    // A window of 2 * width holds at most floor(2 * width) + 1 samples; two more allow
    // for rounding at its ends.
    size_t per_list = (size_t)std::floor(2.0 * width) + 3;
    // first[] holds 32-bit indexes.
    size_t capacity = array_bytes((size_t)dst_size, per_list);
    if (capacity == 0 || capacity > INT32_MAX)
        return nullptr;
    size_t bytes = sizeof(ImgContribs) + (size_t)dst_size * 2 * sizeof(int32_t) + capacity * sizeof(ImgContrib);
    ImgContribs *c = (ImgContribs *)img_alloc(bytes);
    if (!c)
        return nullptr;
    c->positions = dst_size;
    c->count = (int32_t *)(c + 1);
    c->first = c->count + dst_size;
    c->items = (ImgContrib *)(c->first + dst_size);

    size_t used = 0;
    for (int32_t i = 0; i < dst_size; i++) {
        double centre = (double)i / scale;
        int64_t left = (int64_t)std::ceil(centre - width);
        int64_t right = (int64_t)std::floor(centre + width);
        ImgContrib *list = c->items + used;
        size_t n = 0, largest = 0;
        int64_t sum = 0;
        for (int64_t j = left; j <= right && n < per_list; j++) {
            double w = scale >= 1.0 ? zoom_filter(centre - (double)j) : zoom_filter((centre - (double)j) * scale) * scale;
            // Mirror at the edges. A window wider than the image (a one-sample source,
            // or a single output) would mirror outside it again: hold those at the edge.
            int64_t k = j < 0 ? -j : j >= src_size ? 2 * (int64_t)src_size - j - 1 : j;
            k = std::clamp<int64_t>(k, 0, src_size - 1);
            list[n].offset = (int32_t)k * unit;
            list[n].weight = (int32_t)(w * 65536.0);
            sum += list[n].weight;
            if (list[n].weight > list[largest].weight)
                largest = n;
            n++;
        }
        // Truncation loses a little: the largest weight takes up the difference, so a
        // flat area stays exactly flat.
        list[largest].weight += (int32_t)(65536 - sum);
        // Samples of weight 0 cost time and add nothing.
        size_t kept = 0;
        for (size_t k = 0; k < n; k++)
            if (list[k].weight != 0)
                list[kept++] = list[k];
        c->first[i] = (int32_t)used;
        c->count[i] = (int32_t)kept;
        used += kept;
    }
    return c;
}

void img_contribs_free(ImgContribs *contribs)
{
    if (contribs)
        img_release(contribs);
}

static uint8_t zoom_byte(int32_t sum)
{
    if (sum < 0)
        return 0;
    return (uint8_t)std::min((sum + 32768) >> 16, 255);
}

// Along rows: each output pixel from the source pixels its list names, per channel. Two
// rows at a time share the reading of the lists.
static void zoom_rows(const ImgView *dst, const ImgView *src, const ImgContribs *c)
{
    int32_t bpp = (int32_t)img_colour_bytes(src->format);
    int32_t y = 0;
    if (bpp == 3) {
        for (; y + 2 <= src->height; y += 2) {
            const uint8_t *s0 = view_row(src, y), *s1 = view_row(src, y + 1);
            uint8_t *d0 = view_row(dst, y), *d1 = view_row(dst, y + 1);
            for (int32_t i = 0; i < dst->width; i++) {
                const ImgContrib *list = c->items + c->first[i];
                int32_t n = c->count[i];
                int32_t b0 = 0, g0 = 0, r0 = 0, b1 = 0, g1 = 0, r1 = 0;
                for (int32_t k = 0; k < n; k++) {
                    const uint8_t *p = s0 + list[k].offset, *q = s1 + list[k].offset;
                    int32_t w = list[k].weight;
                    b0 += p[0] * w;
                    g0 += p[1] * w;
                    r0 += p[2] * w;
                    b1 += q[0] * w;
                    g1 += q[1] * w;
                    r1 += q[2] * w;
                }
                d0[3 * i] = zoom_byte(b0);
                d0[3 * i + 1] = zoom_byte(g0);
                d0[3 * i + 2] = zoom_byte(r0);
                d1[3 * i] = zoom_byte(b1);
                d1[3 * i + 1] = zoom_byte(g1);
                d1[3 * i + 2] = zoom_byte(r1);
            }
        }
    }
    for (; y < src->height; y++) {
        const uint8_t *s = view_row(src, y);
        uint8_t *d = view_row(dst, y);
        for (int32_t i = 0; i < dst->width; i++) {
            const ImgContrib *list = c->items + c->first[i];
            int32_t n = c->count[i];
            if (bpp == 1) {
                int32_t v = 0;
                for (int32_t k = 0; k < n; k++)
                    v += s[list[k].offset] * list[k].weight;
                d[i] = zoom_byte(v);
            } else {
                int32_t b = 0, g = 0, r = 0;
                for (int32_t k = 0; k < n; k++) {
                    const uint8_t *p = s + list[k].offset;
                    int32_t w = list[k].weight;
                    b += p[0] * w;
                    g += p[1] * w;
                    r += p[2] * w;
                }
                d[3 * i] = zoom_byte(b);
                d[3 * i + 1] = zoom_byte(g);
                d[3 * i + 2] = zoom_byte(r);
            }
        }
    }
}

// Along columns: each output row is a weighted sum of whole source rows, so the sums run
// across the row in `acc`, a fixed run of bytes at a time (which the compiler turns into
// vector code), the rest one by one.
constexpr int32_t ZOOM_RUN = 16;

static void zoom_add_run(uint32_t *__restrict acc, const uint8_t *__restrict s, uint16_t w)
{
    for (int32_t j = 0; j < ZOOM_RUN; j++)
        acc[j] += (uint32_t)s[j] * w;
}

static void zoom_columns(const ImgView *dst, const uint8_t *src, const ImgContribs *c, uint32_t *acc)
{
    int32_t row = dst->width * (int32_t)img_colour_bytes(dst->format);
    int32_t runs = row / ZOOM_RUN * ZOOM_RUN;
    for (int32_t i = 0; i < dst->height; i++) {
        const ImgContrib *list = c->items + c->first[i];
        int32_t n = c->count[i];
        uint8_t *d = view_row(dst, i);
        if (n == 1) {
            // A single contributor weighs 65536: the row itself.
            memcpy(d, src + list[0].offset, (size_t)row);
            continue;
        }
        // With several contributors each weighs less than 65536: 16-bit products.
        memset(acc, 0, (size_t)row * sizeof(uint32_t));
        for (int32_t k = 0; k < n; k++) {
            const uint8_t *s = src + list[k].offset;
            uint16_t w = (uint16_t)list[k].weight;
            for (int32_t x = 0; x < runs; x += ZOOM_RUN)
                zoom_add_run(acc + x, s + x, w);
            for (int32_t x = runs; x < row; x++)
                acc[x] += (uint32_t)s[x] * w;
        }
        for (int32_t x = 0; x < row; x++)
            d[x] = zoom_byte((int32_t)acc[x]);
    }
}

// Two passes through a picture of the destination's width and the source's height;
// false when the tables or the middle picture cannot be had.
static bool resample_filtered(const ImgView *dst, const ImgView *src)
{
    int32_t bpp = (int32_t)img_colour_bytes(src->format);
    int64_t row = (int64_t)dst->width * bpp;
    // The column pass addresses the middle picture by 32-bit byte offsets.
    if (row * src->height > INT32_MAX)
        return false;
    size_t middle_bytes = (size_t)(row * src->height);
    size_t acc_bytes = array_bytes((size_t)row, sizeof(uint32_t));
    ImgContribs *across = img_contribs_build(src->width, dst->width, bpp);
    ImgContribs *down = img_contribs_build(src->height, dst->height, (int32_t)row);
    uint8_t *middle = (uint8_t *)img_alloc(middle_bytes);
    uint32_t *acc = (uint32_t *)img_alloc(acc_bytes);
    bool done = across && down && middle && acc;
    if (done) {
        ImgView mid = {dst->width, src->height, src->format, middle, (int32_t)row, nullptr, 0};
        zoom_rows(&mid, src, across);
        zoom_columns(dst, middle, down, acc);
    }
    img_release(acc);
    img_release(middle);
    img_contribs_free(down);
    img_contribs_free(across);
    return done;
}

int img_resample(const ImgView *dst, const ImgView *src, int mode)
{
    if (dst->format != src->format || (src->format != IMG_8BIT && src->format != IMG_BGR))
        return 0;
    if (dst->width < 1 || dst->height < 1 || src->width < 1 || src->height < 1)
        return 0;
    if (mode == IMG_RESAMPLE_NEAREST) {
        resample_nearest(dst, src);
        return 1;
    }
    if (mode == IMG_RESAMPLE_FILTERED)
        return resample_filtered(dst, src);
    return 0;
}

// --- Gaussian blur ---

// The kernel of one blur. Offsets -n .. n - 1 weigh K(|o|), `total` all of them.
// reach[t] is the weight of offsets -n .. n - 2 - t: what a run end passes on to the
// t-th output it reaches (below). Zero from 2n - 1 up to reach_len, a whole number of
// BLUR_RUN, so the sums run in fixed steps.
struct BlurKernel {
    int32_t radius;
    uint32_t total;
    uint32_t *reach;
    int32_t reach_len;
    // floor(s / total) = s * magic >> shift for every sum s of the blur
    uint64_t magic;
    int shift;
};

constexpr int32_t BLUR_RUN = 8;

int32_t img_blur_radius(double sigma)
{
    rs.sigma = sigma;
    if (!(sigma > 0))
        return 0;
    double n = std::ceil(sigma * std::sqrt(2.0 * std::log(255.0)));
    // K(0), K(1) and K(2) at least, or the blur is not worth its time.
    if (n < 2)
        return 0;
    return n > IMG_BLUR_MAX_RADIUS ? IMG_BLUR_MAX_RADIUS : (int32_t)n;
}

// Fills the kernel's tables for the stored sigma; false when there is nothing to blur or
// no memory.
static bool blur_kernel(BlurKernel *k)
{
    k->radius = img_blur_radius(rs.sigma);
    int32_t n = k->radius;
    if (n == 0)
        return false;
    k->reach_len = (2 * n - 1 + BLUR_RUN - 1) / BLUR_RUN * BLUR_RUN;
    k->reach = (uint32_t *)img_alloc(array_bytes((size_t)k->reach_len, sizeof(uint32_t)));
    if (!k->reach)
        return false;
    double two_var = 2.0 * rs.sigma * rs.sigma;
    uint32_t sum = 0;
    for (int32_t o = -n; o < n; o++) {
        sum += (uint32_t)(255.0 * std::exp(-((double)o * o) / two_var));
        if (o < n - 1)
            k->reach[n - 2 - o] = sum;
    }
    for (int32_t t = 2 * n - 1; t < k->reach_len; t++)
        k->reach[t] = 0;
    k->total = sum;
    // Exact for every s up to 255 * total once 2^shift > 255 * total^2.
    k->shift = 0;
    while (((uint64_t)1 << k->shift) <= 255 * (uint64_t)sum * (uint64_t)sum)
        k->shift++;
    k->magic = (((uint64_t)1 << k->shift) + sum - 1) / sum;
    return true;
}

// acc[t] += step * reach[t] for one run of BLUR_RUN outputs; fixed-length, so it becomes
// vector code.
static void blur_add_run(uint32_t *__restrict acc, const uint32_t *__restrict reach, uint32_t step)
{
    for (int32_t t = 0; t < BLUR_RUN; t++)
        acc[t] += step * reach[t];
}

// Blurs one line of m bytes in place; true when a byte changed. With e the line with its
// edge values repeated outwards, output i = sum of K(|o|) * e[i + o] over the window
// o = -n .. n - 1, over the total. Summed by parts over the runs of equal values, this is
//   total * e[i + n - 1] + sum of (p[c] - p[c + 1]) * (weight of offsets -n .. c - i)
// over the run ends c in i - n .. i + n - 2. So each run end c adds to the outputs
// c - n + 2 .. c + n only, and an output no run end reaches keeps its value: flat
// stretches cost nothing, and a line costs one step per run.
// `ends` and `steps` hold m - 1 entries; acc holds m + reach_len zeros and is left so.
static bool blur_line(uint8_t *p, int32_t m, const BlurKernel *k, int32_t *ends, int32_t *steps, uint32_t *acc)
{
    if (m < 2 || memcmp(p, p + 1, (size_t)m - 1) == 0)
        return false;
    int32_t runs = 0;
    for (int32_t c = 0; c + 1 < m; c++) {
        ends[runs] = c;
        steps[runs] = p[c] - p[c + 1];
        runs += p[c] != p[c + 1];
    }
    // acc[i + n] gathers output i; the run end c reaches from acc[c + 2] on. The sums
    // wrap modulo 2^32 on the way, but every true sum lies in 0 .. 255 * total, which
    // fits, so the wrapped sum is exact at the end.
    for (int32_t r = 0; r < runs; r++) {
        uint32_t *a = acc + ends[r] + 2;
        for (int32_t t = 0; t < k->reach_len; t += BLUR_RUN)
            blur_add_run(a + t, k->reach + t, (uint32_t)steps[r]);
    }
    // The outputs the run ends reach, left to right. Output i reads e[i + n - 1], at or
    // right of i, so writing p[i] in place never spoils a later output.
    int32_t n = k->radius;
    bool changed = false;
    for (int32_t r = 0, i = 0; r < runs; r++) {
        i = std::max(i, ends[r] - n + 2);
        for (int32_t last = std::min(m - 1, ends[r] + n); i <= last; i++) {
            uint32_t s = k->total * p[std::min(i + n - 1, m - 1)] + acc[i + n];
            uint8_t v = (uint8_t)(((uint64_t)s * k->magic) >> k->shift);
            changed |= v != p[i];
            p[i] = v;
        }
    }
    memset(acc + ends[0] + 2, 0, (size_t)(ends[runs - 1] - ends[0] + k->reach_len) * sizeof(uint32_t));
    return changed;
}

// Columns are gathered this many bytes across at a time, so the reads run along rows.
constexpr int32_t BLUR_BLOCK = 64;

static void blur_view(const ImgView *view)
{
    int32_t w = view->width, h = view->height;
    if (w < 1 || h < 1)
        return;
    BlurKernel k;
    if (!blur_kernel(&k))
        return;
    int32_t bpp = (int32_t)img_colour_bytes(view->format);
    size_t longest = (size_t)std::max(w, h);
    size_t block_bytes = array_bytes((size_t)BLUR_BLOCK, (size_t)h);
    size_t line_bytes = array_bytes(longest, sizeof(int32_t));
    size_t acc_bytes = array_bytes(longest + (size_t)k.reach_len, sizeof(uint32_t));
    uint8_t *block = (uint8_t *)img_alloc(block_bytes);
    uint8_t *line = (uint8_t *)img_alloc(longest);
    int32_t *ends = (int32_t *)img_alloc(line_bytes);
    int32_t *steps = (int32_t *)img_alloc(line_bytes);
    uint32_t *acc = (uint32_t *)img_alloc(acc_bytes);
    if (block && line && ends && steps && acc) {
        memset(acc, 0, acc_bytes);
        // Columns, top to bottom: every byte column is a line of its own.
        int32_t columns = w * bpp;
        for (int32_t x0 = 0; x0 < columns; x0 += BLUR_BLOCK) {
            int32_t bw = std::min(BLUR_BLOCK, columns - x0);
            for (int32_t y = 0; y < h; y++) {
                const uint8_t *s = view_row(view, y) + x0;
                for (int32_t c = 0; c < bw; c++)
                    block[(size_t)c * h + y] = s[c];
            }
            bool changed = false;
            for (int32_t c = 0; c < bw; c++)
                changed |= blur_line(block + (size_t)c * h, h, &k, ends, steps, acc);
            if (!changed)
                continue;
            for (int32_t y = 0; y < h; y++) {
                uint8_t *d = view_row(view, y) + x0;
                for (int32_t c = 0; c < bw; c++)
                    d[c] = block[(size_t)c * h + y];
            }
        }
        // Rows, left to right, each channel on its own.
        for (int32_t y = 0; y < h; y++) {
            uint8_t *row = view_row(view, y);
            if (bpp == 1) {
                blur_line(row, w, &k, ends, steps, acc);
                continue;
            }
            for (int32_t ch = 0; ch < bpp; ch++) {
                for (int32_t x = 0; x < w; x++)
                    line[x] = row[x * bpp + ch];
                if (blur_line(line, w, &k, ends, steps, acc))
                    for (int32_t x = 0; x < w; x++)
                        row[x * bpp + ch] = line[x];
            }
        }
    }
    img_release(acc);
    img_release(steps);
    img_release(ends);
    img_release(line);
    img_release(block);
    img_release(k.reach);
}

void img_blur(Img *dst, Img *src)
{
    if (dst->format != src->format || (dst->format != IMG_8BIT && dst->format != IMG_BGR))
        return;
    ImgView d, s;
    img_view(&d, dst, 0, 0);
    img_view(&s, src, 0, 0);
    // Only the part both cover is copied, so a smaller destination is not overrun.
    s.width = std::min(s.width, d.width);
    s.height = std::min(s.height, d.height);
    if (dst != src && s.width > 0 && s.height > 0)
        img_blit(&d, &s);
    blur_view(&d);
}

// --- colourising ---

void img_colorize(const ImgView *dst, const ImgView *src, int32_t hue, int32_t brightness, int32_t saturation)
{
    if (dst->format != IMG_BGR || img_colour_bytes(src->format) != 3)
        return;
    brightness = std::clamp(brightness, -100, 100);
    saturation = std::clamp(saturation, 0, 100);
    // Any number of turns comes to the same hue; v() below corrects by one turn only.
    hue %= 360;
    if (hue < 0)
        hue += 360;
    int32_t b = (brightness * 128 - std::max(brightness, 0)) / 100;
    int32_t s = saturation * 255 / 100;

    // Luma by the same products as img_convert, summed in the same order, and the colour
    // of every luma.
    double luma_r[256], luma_g[256], luma_b[256];
    uint8_t colour[256][3];
    for (int32_t v = 0; v < 256; v++) {
        luma_r[v] = 0.299 * v;
        luma_g[v] = 0.587 * v;
        luma_b[v] = 0.114 * v;
        int32_t light = b >= 1 ? (b * 255 + (127 - b) * v) / 127 : ((b + 128) * v) >> 7;
        if (s == 0) {
            colour[v][0] = colour[v][1] = colour[v][2] = (uint8_t)light;
            continue;
        }
        double l = light / 255.0, sat = s / 255.0;
        double m2 = l <= 0.5 ? l * (1 + sat) : l + sat - l * sat;
        double m1 = 2 * l - m2;
        auto channel = [&](double h) {
            if (h < 0)
                h += 360;
            else if (h > 360)
                h -= 360;
            double c = h < 60 ? m1 + (m2 - m1) * h / 60 : h < 180 ? m2 : h < 240 ? m1 + (m2 - m1) * (240 - h) / 60 : m1;
            return (uint8_t)std::clamp((int32_t)(c * 255), 0, 255);
        };
        colour[v][0] = channel(hue - 120);
        colour[v][1] = channel(hue);
        colour[v][2] = channel(hue + 120);
    }

    int32_t w = std::min(dst->width, src->width), h = std::min(dst->height, src->height);
    int32_t sbpp = (int32_t)img_colour_bytes(src->format);
    for (int32_t y = 0; y < h; y++) {
        const uint8_t *p = view_row(src, y);
        uint8_t *d = view_row(dst, y);
        for (int32_t x = 0; x < w; x++, p += sbpp, d += 3) {
            int32_t v = (int32_t)std::floor(luma_r[p[2]] + luma_g[p[1]] + luma_b[p[0]] + 0.5);
            memcpy(d, colour[std::min(v, 255)], 3);
        }
    }
}
