// libFuzzer entry for the TIFF reader: any bytes as a picture file the player picked.
// libtiff opens files by path, so each input goes through one temporary file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "image/jpeg.h"
#include "platform/memory.h"

static char tiff_path[] = "/tmp/pelmora-fuzz-tiff-XXXXXX";

static void remove_temp(void)
{
    unlink(tiff_path);
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    int fd = mkstemp(tiff_path);
    if (fd < 0)
        abort();
    close(fd);
    atexit(remove_temp);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *f = fopen(tiff_path, "wb");
    if (!f)
        abort();
    fwrite(data, 1, size, f);
    fclose(f);
    int32_t w, h;
    uint32_t format;
    if (tiff_read_info(tiff_path, &w, &h, &format) == 0 && w <= 4096 && h <= 4096) {
        Picture *p = picture_create(w, h, format);
        if (p)
            tiff_read_pixels(p, tiff_path);
        picture_free(p);
    }
    return 0;
}
