// The saved shadow reader on arbitrary bytes: shadow_load on a stream. A shadow that
// loads is drawn, small and large, at a few places of a frame (also over its edges),
// and saved; what it saves must load again as the same shadow. The presets come from
// the skin of the data pack the build made beside this program (or PELMORA_DATA_PCK).
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "fuzz/support.h"
#include "image/cache.h"
#include "image/clip.h"
#include "image/img.h"
#include "platform/memory.h"
#include "platform/video.h"
#include "res/datapack.h"
#include "ui/skin.h"

constexpr int32_t FRAME_W = 160, FRAME_H = 120;

// A frame buffer that is never shown.
static const VideoDriver fuzz_video = {
    "Fuzz", nullptr, nullptr, [](int) { return 1; }, nullptr,
    [] {
        int32_t row = io_video_row_size(screen.width, 24);
        screen.buf = io_video_pixels() + (size_t)(screen.height - 1) * row;
        screen.pitch = -row;
    },
    [](const PaintList *) {}};

static std::string data_pack_path(void)
{
    if (const char *env = getenv("PELMORA_DATA_PCK"))
        return env;
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        fuzz_fail("cannot find this program's folder");
    exe[n] = 0;
    std::string path = exe;
    return path.substr(0, path.rfind('/') + 1) + "data.pck";
}

static void draw(const Shadow *s)
{
    io_video_begin_paint();
    clip_set_all(1);
    const int32_t places[][2] = {{10, 12}, {-30, -20}, {FRAME_W - 8, FRAME_H - 5}};
    for (bool large : {false, true})
        for (const auto &at : places) {
            shadow_draw(s, large, at[0], at[1]);
            int32_t dx, dy, w, h;
            shadow_bounds(s, large, &dx, &dy, &w, &h);
        }
    io_video_end_paint();
}

static bool same_shadow(const Shadow *a, const Shadow *b)
{
    auto same_pic = [](const ShadowPic &p, const ShadowPic &q) {
        if (p.offset != q.offset || p.radius != q.radius || !p.img != !q.img)
            return false;
        if (!p.img)
            return true;
        size_t bytes = (size_t)p.img->colour_stride * (size_t)p.img->height;
        return memcmp(p.img, q.img, IMG_HEADER_SIZE) == 0 &&
               memcmp((const uint8_t *)p.img + p.img->colour_offset, (const uint8_t *)q.img + q.img->colour_offset,
                      bytes) == 0;
    };
    return a->flags == b->flags && a->width == b->width && a->height == b->height &&
           a->frame_flags == b->frame_flags && same_pic(a->large, b->large) && same_pic(a->small, b->small);
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    std::string pack = data_pack_path(), skin_ini = fuzz_path("skin.ini");
    if (access(pack.c_str(), R_OK) != 0) {
        fprintf(stderr, "fuzz_shadow: no data pack at %s (build the data target first)\n", pack.c_str());
        exit(1);
    }
    dp_open(pack.c_str());
    if (!dp_extract(dp_get_index("skin.ini", 1), skin_ini.c_str()))
        fuzz_fail("cannot copy the skin's settings out of the pack");
    ge_init(skin_ini.c_str());
    shadow_init();
    io_video_set_driver(&fuzz_video);
    io_video_create(FRAME_W, FRAME_H, 24);
    clip_init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    int32_t held = fuzz_blocks_held();
    if (size == 0)
        return 0;  // fmemopen takes no empty buffer
    FILE *f = fmemopen((void *)data, size, "rb");
    if (!f)
        return 0;
    Shadow *s = shadow_load(f);
    fclose(f);
    if (s) {
        draw(s);
        char *out = nullptr;
        size_t out_size = 0;
        FILE *o = open_memstream(&out, &out_size);
        if (!o || !shadow_save(o, s) || fclose(o) != 0)
            fuzz_fail("a loaded shadow does not save");
        FILE *in = fmemopen(out, out_size, "rb");
        Shadow *again = in ? shadow_load(in) : nullptr;
        if (in)
            fclose(in);
        if (!again || !same_shadow(s, again))
            fuzz_fail("a saved shadow does not load as itself");
        shadow_free(again);
        free(out);
        shadow_free(s);
    }
    fuzz_check_balance(held, "shadow_load");
    return 0;
}
