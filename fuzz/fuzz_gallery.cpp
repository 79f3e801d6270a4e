// The gallery file reader on arbitrary bytes. A gallery it takes has its names and dates
// ending inside their fields and only pictures the view can draw (three-byte colour, 1 to
// 256 pixels a side); written again it reads back the same. A gallery it refuses leaves
// every cell empty. The file read is never changed.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/support.h"
#include "image/img.h"
#include "platform/memory.h"
#include "rooms/gallery/galleryroom.h"

static bool same_records(const GalleryRecord *a, const GalleryRecord *b)
{
    for (int32_t i = 0; i < GALLERY_CELLS; i++) {
        if (strcmp(a[i].name, b[i].name) != 0 || strcmp(a[i].date, b[i].date) != 0 || a[i].pieces != b[i].pieces ||
            a[i].play_time != b[i].play_time || !a[i].picture != !b[i].picture)
            return false;
        Img *p = a[i].picture, *q = b[i].picture;
        if (p && (p->width != q->width || p->height != q->height || p->colour_stride != q->colour_stride ||
                  memcmp((const uint8_t *)p + p->colour_offset, (const uint8_t *)q + q->colour_offset,
                         (size_t)p->colour_stride * p->height) != 0))
            return false;
    }
    return true;
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzz_keep_artifacts_here(argc, argv);
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string path = fuzz_path("gallery.dat"), again = fuzz_path("again.dat");
    static GalleryRecord cells[GALLERY_CELLS], reread[GALLERY_CELLS];
    int32_t held = fuzz_blocks_held();
    fuzz_write(path, data, size);
    if (gallery_read(path.c_str(), cells)) {
        for (const GalleryRecord &c : cells) {
            if (!memchr(c.name, 0, sizeof c.name) || !memchr(c.date, 0, sizeof c.date))
                fuzz_fail("gallery_read took a text that does not end inside its field");
            const Img *p = c.picture;
            if (p && (p->format != IMG_BGR || p->width < 1 || p->height < 1 || p->width > G3D_CELL_TEXELS ||
                      p->height > G3D_CELL_TEXELS))
                fuzz_fail("gallery_read took a picture the view cannot draw");
        }
        if (!gallery_write(again.c_str(), cells) || !gallery_read(again.c_str(), reread) || !same_records(cells, reread))
            fuzz_fail("a gallery read and written again does not read back the same");
        for (GalleryRecord &c : reread)
            gallery_clear(&c);
    } else {
        for (const GalleryRecord &c : cells)
            if (c.picture || c.name[0] || c.date[0] || c.pieces || c.play_time)
                fuzz_fail("a refused gallery left a cell filled");
    }
    for (GalleryRecord &c : cells)
        gallery_clear(&c);
    std::string now = fuzz_read(path);
    if (now.size() != size || (size && memcmp(now.data(), data, size) != 0))
        fuzz_fail("reading a gallery changed its file");
    fuzz_check_balance(held, "gallery_read");
    return 0;
}
