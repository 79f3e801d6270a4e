#include "tests/reference_image.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/video.h"

namespace {

constexpr int32_t BMP_HEADER = 14 + 40;

// The rectangle as 0x00RRGGBB, top row first.
std::vector<uint32_t> grab(int32_t x, int32_t y, int32_t w, int32_t h)
{
    std::vector<uint32_t> out;
    int32_t row = io_video_row_size(screen.width, 24);
    for (int32_t yy = y; yy < y + h; yy++)
        for (int32_t xx = x; xx < x + w; xx++) {
            const uint8_t *p = io_video_pixels() + (size_t)(screen.height - 1 - yy) * row + (size_t)xx * 3;
            out.push_back((uint32_t)(p[2] << 16 | p[1] << 8 | p[0]));
        }
    return out;
}

void put16(std::string &s, uint32_t v) { s += (char)v; s += (char)(v >> 8); }
void put32(std::string &s, uint32_t v) { put16(s, v & 0xFFFF); put16(s, v >> 16); }
uint32_t get32(const std::string &s, size_t at)
{
    return (uint8_t)s[at] | (uint8_t)s[at + 1] << 8 | (uint8_t)s[at + 2] << 16 | (uint32_t)(uint8_t)s[at + 3] << 24;
}

int32_t stride_of(int32_t w) { return (w * 3 + 3) & ~3; }

bool write_bmp(const std::string &path, const std::vector<uint32_t> &px, int32_t w, int32_t h)
{
    int32_t stride = stride_of(w);
    std::string s = "BM";
    put32(s, (uint32_t)(BMP_HEADER + stride * h));
    put32(s, 0);
    put32(s, BMP_HEADER);
    put32(s, 40);
    put32(s, (uint32_t)w);
    put32(s, (uint32_t)h);  // bottom-up
    put16(s, 1);
    put16(s, 24);
    for (int i = 0; i < 6; i++)
        put32(s, 0);
    for (int32_t yy = h - 1; yy >= 0; yy--) {
        for (int32_t xx = 0; xx < w; xx++) {
            uint32_t c = px[(size_t)yy * w + xx];
            s += (char)c;
            s += (char)(c >> 8);
            s += (char)(c >> 16);
        }
        s.append((size_t)(stride - w * 3), '\0');
    }
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(s.data(), 1, s.size(), f) == s.size();
    return fclose(f) == 0 && ok;
}

// Only what write_bmp writes: 24 bits, bottom-up, no compression.
bool read_bmp(const std::string &path, std::vector<uint32_t> *px, int32_t *w, int32_t *h)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    std::string s;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    fclose(f);
    if (s.size() < BMP_HEADER || s.compare(0, 2, "BM") != 0 || (get32(s, 28) & 0xFFFF) != 24)
        return false;
    *w = (int32_t)get32(s, 18);
    *h = (int32_t)get32(s, 22);
    size_t offset = get32(s, 10);
    int32_t stride = stride_of(*w);
    if (*w <= 0 || *h <= 0 || *w > 4096 || *h > 4096 || s.size() < offset + (size_t)stride * *h)
        return false;
    px->assign((size_t)*w * *h, 0);
    for (int32_t yy = 0; yy < *h; yy++) {
        const uint8_t *p = (const uint8_t *)s.data() + offset + (size_t)(*h - 1 - yy) * stride;
        for (int32_t xx = 0; xx < *w; xx++, p += 3)
            (*px)[(size_t)yy * *w + xx] = (uint32_t)(p[2] << 16 | p[1] << 8 | p[0]);
    }
    return true;
}

::testing::AssertionResult matches_reference(const char *name, const std::vector<uint32_t> &got, int32_t w, int32_t h)
{
    std::string path = std::string(PELMORA_SOURCE_DIR) + "/tests/reference/" + name + ".bmp";
    const char *update = getenv("PELMORA_UPDATE_REFERENCES");
    if (update && strcmp(update, "1") == 0) {
        if (!write_bmp(path, got, w, h))
            return ::testing::AssertionFailure() << "cannot write " << path;
        return ::testing::AssertionSuccess() << "wrote " << path;
    }
    std::vector<uint32_t> want;
    int32_t ww, wh;
    if (!read_bmp(path, &want, &ww, &wh))
        return ::testing::AssertionFailure() << "no reference " << path
                                             << " (PELMORA_UPDATE_REFERENCES=1 writes it)";
    if (ww != w || wh != h)
        return ::testing::AssertionFailure() << name << ": the reference is " << ww << " x " << wh << ", got " << w
                                             << " x " << h;
    int32_t differ = 0, first = -1;
    for (size_t i = 0; i < got.size(); i++)
        if (got[i] != want[i]) {
            differ++;
            if (first < 0)
                first = (int32_t)i;
        }
    if (differ == 0)
        return ::testing::AssertionSuccess();
    std::string kept = std::string("/tmp/pelmora-got-") + name + ".bmp";
    write_bmp(kept, got, w, h);
    char text[512];
    snprintf(text, sizeof text, "%s: %i pixels differ; first at (%i, %i): got %06X, want %06X; got kept in %s", name,
             differ, first % w, first / w, got[(size_t)first], want[(size_t)first], kept.c_str());
    return ::testing::AssertionFailure() << text;
}

}  // namespace

::testing::AssertionResult frame_matches_reference(const char *name, int32_t x, int32_t y, int32_t w, int32_t h)
{
    return matches_reference(name, grab(x, y, w, h), w, h);
}

::testing::AssertionResult shot_matches_reference(const std::string &shot, const char *name, int32_t x, int32_t y,
                                                  int32_t w, int32_t h)
{
    std::vector<uint32_t> whole, got;
    int32_t sw, sh;
    if (!read_bmp(shot, &whole, &sw, &sh))
        return ::testing::AssertionFailure() << "no screenshot " << shot;
    if (x < 0 || y < 0 || x + w > sw || y + h > sh)
        return ::testing::AssertionFailure() << shot << " is " << sw << " x " << sh;
    for (int32_t yy = y; yy < y + h; yy++)
        got.insert(got.end(), whole.begin() + (size_t)yy * sw + x, whole.begin() + (size_t)yy * sw + x + w);
    return matches_reference(name, got, w, h);
}
