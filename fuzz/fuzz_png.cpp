// libFuzzer entry for the PNG reader: any bytes as a picture file the player picked.
// Pictures of a sane size are decoded in full; the counted memory must balance after
// every input, refused or not.
#include <cstdint>
#include <cstdio>

#include "fuzz/support.h"
#include "image/png.h"
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
    int32_t held = fuzz_blocks_held();
    int32_t w, h;
    uint32_t format;
    if (png_read_info(f, &w, &h, &format) == 0) {
        if (format != IMG_BGR || w <= 0 || h <= 0)
            fuzz_fail("png_read_info: a size or format the picture front end cannot take");
        if (w <= 4096 && h <= 4096) {
            Picture *p = picture_create(w, h, format);
            if (p)
                png_read_pixels(p, f);
            picture_free(p);
        }
    }
    fclose(f);
    fuzz_check_balance(held, "png reader");
    return 0;
}
