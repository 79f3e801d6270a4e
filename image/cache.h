// The cache of loaded artwork and sounds: fetched by their name in the data pack once,
// locked while used, dropped (least recently used first) when memory runs short and
// loaded again on the next lock.
#pragma once
#include <cstdint>

constexpr int CACHE_MAX_FILES = 512;

// Turns a data-pack file index into loaded data (an Img, or a sound file's bytes).
typedef void *(*CacheLoader)(int file_index);

struct MemFile {
    int file_index;
    void *data;      // null while not loaded
    int32_t locks;   // loaded data with no locks may be dropped
    uint32_t last_use;
    CacheLoader loader;
};
extern MemFile memfiles[CACHE_MAX_FILES];

// Finds the entry of `name` or adds one; loads it at once while preloading is on.
// -1 when the pack has no such file and must_exist is 0; a missing file is otherwise
// fatal in the data pack; a full table is fatal "precache_file: memfiles[] is full".
int precache_file(const char *name, CacheLoader loader, int must_exist = 1);

// precache_file with the loader the extension asks for: JPEG pictures are decoded,
// IMG files are checked and used as they lie, anything else is loaded as bytes.
int cache_get(const char *name);

// Start-up turns preloading on once the cache may be filled.
void cache_set_preload(bool on);

// Loads the entry if it was dropped, counts the lock and returns the data.
void *cache_lock(int handle);
void cache_unlock(int handle);

// Drops the unlocked loaded entry used longest ago; 1 when one was dropped. Installed as
// the memory accounting's purge callback.
int cache_purge_one(void);

// Frees everything; entries still locked are logged.
void cache_done(void);

void cache_size(int handle, int32_t *width, int32_t *height);
void cache_draw(int handle, int32_t x, int32_t y, int32_t sx, int32_t sy, int32_t w, int32_t h);
void cache_draw_whole(int handle, int32_t x, int32_t y);

// The loader of JPEG pictures in the pack: decoded into a screen-format Img; a picture
// that cannot be decoded is fatal "jpg_loader: gformat_jpg_read %s".
void *jpg_loader(int file_index);

// The loader of IMG files in the pack: the file's bytes are the Img, once its header is
// found to describe exactly those bytes (else fatal "img_loader: invalid image %s").
void *img_loader(int file_index);

// The extension of a name as the cache and the picture reader see it: the text after the
// last '.' with something behind it, at most 4 characters; empty when there is none.
void cache_extension(const char *name, char *out, bool upper);
