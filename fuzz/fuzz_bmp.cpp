// The BMP reader on arbitrary bytes: it must refuse or decode, never crash, overrun,
// hang or allocate without bound. Pictures are capped only to keep each run quick.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "image/bmp.h"
#include "platform/memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool ready = (img_init(io_mem_alloc, io_mem_free, io_mem_realloc), true);
    (void)ready;
    if (size == 0)
        return 0;  // fmemopen takes no empty buffer
    FILE *f = fmemopen((void *)data, size, "rb");
    if (!f)
        return 0;
    int32_t width, height;
    uint32_t format;
    if (bmp_read_header(f, &width, &height, &format) == 0 && width <= 4096 && height <= 4096) {
        Picture *picture = picture_create(width, height, format);
        if (picture) {
            bmp_read_pixels(picture, f);
            picture_free(picture);
        }
    }
    fclose(f);
    return 0;
}
