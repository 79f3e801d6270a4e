// The IMG reader on arbitrary bytes: img_check on the block and img_load on a stream.
// Bytes img_check takes as an Img must load to that very image, and an image that
// loads must save to bytes img_check takes and that load back to the same pixels.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fuzz/support.h"
#include "image/imgfile.h"
#include "platform/memory.h"

static size_t planes_bytes(const Img *img)
{
    return (size_t)(img_colour_bytes(img->format) + img_second_bytes(img->format)) * (size_t)img->width *
           (size_t)img->height;
}

// An image loaded from `bytes` gives the header fields and planes the bytes hold. An
// image without pixels has no second plane to place: img_create puts its offset right
// after the header, the writer writes 0, and either is as good.
static bool same_image(const Img *img, const uint8_t *bytes, size_t size)
{
    size_t header = planes_bytes(img) ? 32 : 24;
    return size == IMG_HEADER_SIZE + planes_bytes(img) && memcmp(img, bytes, header) == 0 &&
           memcmp((const uint8_t *)img + 28, bytes + 28, 4) == 0 &&
           memcmp((const uint8_t *)img + IMG_HEADER_SIZE, bytes + IMG_HEADER_SIZE, planes_bytes(img)) == 0;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    int32_t held = fuzz_blocks_held();
    int checked = img_check(data, size);
    if (size == 0)
        return 0;  // fmemopen takes no empty buffer
    FILE *f = fmemopen((void *)data, size, "rb");
    if (!f)
        return 0;
    int32_t w, h;
    uint32_t format;
    img_read_header(f, &w, &h, &format);
    Img *img = img_load(f);
    fclose(f);
    if (checked && (!img || !same_image(img, data, size)))
        fuzz_fail("img_check took bytes that do not load as the same image");
    if (img) {
        char *out = nullptr;
        size_t out_size = 0;
        FILE *o = open_memstream(&out, &out_size);
        if (!o || !img_save(o, img) || fclose(o) != 0)
            fuzz_fail("a loaded image does not save");
        if (!img_check(out, out_size) || !same_image(img, (const uint8_t *)out, out_size))
            fuzz_fail("a loaded image saves to bytes that are not that image");
        free(out);
        img_free(img);
    }
    fuzz_check_balance(held, "img_load");
    return 0;
}
