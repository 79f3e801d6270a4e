// Effect sounds: the pack file's bytes stay in the image cache, held while the sound may
// play, and SDL_mixer plays them on its single effect channel.
#include "media/sound.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_mixer.h>
#include <cstring>

#include "image/cache.h"
#include "media/media.h"
#include "res/datapack.h"

constexpr int SOUND_CHANNEL = 0;

static struct {
    int current_sound;                  // the memory file last started, holding one lock; -1: none
    Mix_Chunk *chunk;                   // its samples as the mixer plays them
    uint32_t sizes[CACHE_MAX_FILES];    // file sizes by memory-file index; 0: not a sound
} snd = {-1, nullptr, {}};

void sound_init(void)
{
    // Memory-file indexes belong to one run of the cache.
    snd.current_sound = -1;
    memset(snd.sizes, 0, sizeof snd.sizes);
}

int sound_load(const char *name)
{
    int index = precache_file(name, dp_load);
    if (index >= 0)
        snd.sizes[index] = dp_size(memfiles[index].file_index);
    return index;
}

void sound_play(int index)
{
    if (!media_audio() || index < 0 || index >= CACHE_MAX_FILES || snd.sizes[index] == 0)
        return;
    void *data = cache_lock(index);
    Mix_HaltChannel(SOUND_CHANNEL);  // the sound before is cut off
    if (index != snd.current_sound || !snd.chunk) {
        if (snd.chunk)
            Mix_FreeChunk(snd.chunk);
        SDL_RWops *rw = SDL_RWFromConstMem(data, (int)snd.sizes[index]);
        snd.chunk = rw ? Mix_LoadWAV_RW(rw, 1) : nullptr;
    }
    if (snd.chunk)
        Mix_PlayChannel(SOUND_CHANNEL, snd.chunk, 0);
    if (snd.current_sound != -1)
        cache_unlock(snd.current_sound);
    snd.current_sound = index;
}

void sound_done(void)
{
    if (media_audio())
        Mix_HaltChannel(-1);
    if (snd.chunk)
        Mix_FreeChunk(snd.chunk);
    snd.chunk = nullptr;
    if (snd.current_sound != -1)
        cache_unlock(snd.current_sound);
    snd.current_sound = -1;
}
