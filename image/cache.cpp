// The memfiles table. Entries are only ever added; handles are their positions.
#include "image/cache.h"

#include <cctype>
#include <cstring>

#include "image/gformat.h"
#include "image/img.h"
#include "image/imgfile.h"
#include "platform/log.h"
#include "platform/memory.h"
#include "res/datapack.h"

MemFile memfiles[CACHE_MAX_FILES];

static struct {
    int count;
    uint32_t use_counter;
    bool preload;
} cache;

static MemFile &entry(int handle)
{
    if (handle < 0 || handle >= cache.count)
        io_error("cache_lock: bad handle (%i)\n", handle);
    return memfiles[handle];
}

int precache_file(const char *name, CacheLoader loader, int must_exist)
{
    for (int i = 0; i < cache.count; i++)
        if (strcmp(dp_get_name(memfiles[i].file_index), name) == 0)
            return i;
    int index = dp_get_index(name, must_exist);
    if (index < 0)
        return -1;
    if (cache.count >= CACHE_MAX_FILES)
        io_error("precache_file: memfiles[] is full");
    int handle = cache.count++;
    memfiles[handle] = {index, nullptr, 0, 0, loader};
    if (cache.preload) {
        cache_lock(handle);
        cache_unlock(handle);
    }
    return handle;
}

void cache_extension(const char *name, char *out, bool upper)
{
    out[0] = 0;
    const char *dot = strrchr(name, '.');
    if (!dot || !dot[1])
        return;
    int n = 0;
    for (const char *p = dot + 1; *p && n < 4; p++)
        out[n++] = (char)(upper ? toupper((unsigned char)*p) : tolower((unsigned char)*p));
    out[n] = 0;
}

int cache_get(const char *name)
{
    char ext[5];
    cache_extension(name, ext, false);
    if (strcmp(ext, "jpg") == 0)
        return precache_file(name, jpg_loader);
    if (strcmp(ext, "img") == 0)
        return precache_file(name, img_loader);
    return precache_file(name, dp_load);
}

void cache_set_preload(bool on)
{
    cache.preload = on;
}

void *cache_lock(int handle)
{
    MemFile &m = entry(handle);
    if (!m.data) {
        m.data = m.loader(m.file_index);
        m.locks = 0;
    }
    m.locks++;
    m.last_use = cache.use_counter++;
    return m.data;
}

void cache_unlock(int handle)
{
    entry(handle).locks--;
}

int cache_purge_one(void)
{
    MemFile *oldest = nullptr;
    for (int i = 0; i < cache.count; i++) {
        MemFile &m = memfiles[i];
        if (m.data && m.locks == 0 && (!oldest || m.last_use < oldest->last_use))
            oldest = &m;
    }
    if (!oldest)
        return 0;
    io_mem_free(oldest->data);
    oldest->data = nullptr;
    return 1;
}

void cache_done(void)
{
    for (int i = 0; i < cache.count; i++) {
        MemFile &m = memfiles[i];
        if (m.locks != 0)
            io_log("cache_done: filename:%s lock:%i\n", dp_get_name(m.file_index), m.locks);
        io_mem_free(m.data);
        m = {};
    }
    cache.count = 0;
    cache.use_counter = 0;
    cache.preload = false;
}

void cache_size(int handle, int32_t *width, int32_t *height)
{
    img_size((Img *)cache_lock(handle), width, height);
    cache_unlock(handle);
}

void cache_draw(int handle, int32_t x, int32_t y, int32_t sx, int32_t sy, int32_t w, int32_t h)
{
    img_draw((Img *)cache_lock(handle), x, y, sx, sy, w, h);
    cache_unlock(handle);
}

void cache_draw_whole(int handle, int32_t x, int32_t y)
{
    img_draw_whole((Img *)cache_lock(handle), x, y);
    cache_unlock(handle);
}

// Decodes into a picture of its own: a dropped background is reloaded at its next lock,
// which may come while a room holds the front end's current picture.
void *jpg_loader(int file_index)
{
    FILE *f = dp_fopen(file_index);
    Picture *p = gformat_jpg_decode(f);
    if (!p)
        io_error("jpg_loader: gformat_jpg_read %s", dp_get_name(file_index));
    dp_fclose();
    Img *img = gformat_picture_to_img(p);
    picture_free(p);
    return img;
}

void *img_loader(int file_index)
{
    void *data = dp_load(file_index);
    if (!img_check(data, dp_size(file_index)))
        io_error("img_loader: invalid image %s", dp_get_name(file_index));
    return data;
}
