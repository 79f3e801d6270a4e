// libFuzzer entry for the JPEG reader: any bytes as a picture file the player picked.
// Pictures of a sane size are decoded in full and written back out.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "image/jpeg.h"
#include "platform/memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool ready = (img_init(io_mem_alloc, io_mem_free, io_mem_realloc), true);
    (void)ready;
    if (size == 0)
        return 0;
    FILE *f = fmemopen((void *)data, size, "rb");
    if (!f)
        return 0;
    int32_t w, h;
    uint32_t format;
    if (jpeg_read_info(f, &w, &h, &format) == 0 && w <= 4096 && h <= 4096) {
        Picture *p = picture_create(w, h, format);
        if (p && jpeg_read_pixels(p, f) == 0 && (int64_t)w * h <= 256 * 256) {
            char *out = nullptr;
            size_t out_size = 0;
            FILE *o = open_memstream(&out, &out_size);
            if (o) {
                jpeg_write(o, p, 75);
                fclose(o);
            }
            free(out);
        }
        picture_free(p);
    }
    fclose(f);
    return 0;
}
