// MIDI music through SDL_mixer, and our own reader that decides whether a file is MIDI
// before any synthesiser sees it: box files travel between players, so their music is
// outside data.
#include "media/music.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_mixer.h>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "media/media.h"
#include "platform/files.h"
#include "platform/log.h"
#include "platform/memory.h"
#include "platform/platform.h"

constexpr int MIDI_PATH_MAX = 260;

static struct {
    Mix_Music *device;  // the open music, or null
    uint8_t *bytes;     // the file it was made from, kept as long as it is open
    char path[MIDI_PATH_MAX];
    int repeat;
} mus;

// Every play and every stop takes a new number. The end of a play is reported with the
// number it had, so an end that belongs to music already stopped or replaced (SDL_mixer
// reports a halt as an end too) is told apart and ignored.
static std::atomic<uint32_t> midi_generation;

// --- the reader ---

static uint32_t be32(const uint8_t *p)
{
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

static uint32_t be16(const uint8_t *p)
{
    return (uint32_t)p[0] << 8 | p[1];
}

// A variable-length number of at most four bytes, within [*at, end). False when it runs
// past `end`, or (with *too_long set) when it goes on for more than four bytes.
static bool read_number(const uint8_t *d, size_t end, size_t *at, uint32_t *out, bool *too_long)
{
    uint32_t v = 0;
    for (int i = 0; i < 4 && *at < end; i++) {
        uint8_t b = d[(*at)++];
        v = v << 7 | (b & 0x7F);
        if (!(b & 0x80)) {
            *out = v;
            return true;
        }
        *too_long = i == 3;
    }
    return false;
}

// The events of one track, [start, end) of the file, up to its end-of-track.
static bool check_track(const uint8_t *d, size_t start, size_t end, uint32_t track, char *reason, size_t n)
{
    size_t at = start;
    uint8_t running = 0;  // the status a data byte continues
    bool too_long = false;
    while (at < end) {
        size_t event = at;
        uint32_t delta, length;
        if (!read_number(d, end, &at, &delta, &too_long) || at >= end)
            break;
        uint8_t status = d[at];
        if (status < 0x80) {
            if (!running) {
                snprintf(reason, n, "track %u: a data byte with no status at byte %zu", track, at);
                return false;
            }
            status = running;
        } else {
            at++;
        }
        if (status < 0xF0) {
            running = status;
            int bytes = (status & 0xE0) == 0xC0 ? 1 : 2;  // program and channel pressure take one
            for (int i = 0; i < bytes; i++, at++) {
                if (at >= end)
                    goto past_end;
                if (d[at] & 0x80) {
                    snprintf(reason, n, "track %u: a bad data byte 0x%02X at byte %zu", track, d[at], at);
                    return false;
                }
            }
        } else if (status == 0xFF || status == 0xF0 || status == 0xF7) {
            uint8_t type = 0;
            if (status == 0xFF) {
                if (at >= end)
                    break;
                type = d[at++];
            }
            if (!read_number(d, end, &at, &length, &too_long) || length > end - at)
                break;
            at += length;
            if (status == 0xFF && type == 0x2F)
                return true;  // end of track; what may follow in the chunk is not played
        } else {
            snprintf(reason, n, "track %u: status 0x%02X at byte %zu has no place in a file", track, status, event);
            return false;
        }
    }
past_end:
    if (too_long)
        snprintf(reason, n, "track %u: a number longer than four bytes before byte %zu", track, at);
    else
        snprintf(reason, n, "track %u runs past its chunk without an end-of-track", track);
    return false;
}

int midi_check(const uint8_t *data, size_t size, char *reason, size_t n)
{
    if (size < 8 || memcmp(data, "MThd", 4) != 0) {
        snprintf(reason, n, "not a MIDI file (no MThd header)");
        return 0;
    }
    uint32_t header = be32(data + 4);
    if (header < 6 || header > size - 8) {
        snprintf(reason, n, "a header of %u bytes in a file of %zu", header, size);
        return 0;
    }
    uint32_t format = be16(data + 8), tracks = be16(data + 10), division = be16(data + 12);
    if (format > 2) {
        snprintf(reason, n, "format %u is not 0, 1 or 2", format);
        return 0;
    }
    if (tracks == 0 || (format == 0 && tracks != 1)) {
        snprintf(reason, n, "format %u with %u tracks", format, tracks);
        return 0;
    }
    if ((division & 0x7FFF) == 0 || ((division & 0x8000) && (division & 0xFF) == 0)) {
        snprintf(reason, n, "no time division");
        return 0;
    }
    size_t at = 8 + (size_t)header;
    for (uint32_t track = 1; track <= tracks;) {
        if (size - at < 8) {
            snprintf(reason, n, "track %u of %u is missing", track, tracks);
            return 0;
        }
        bool is_track = memcmp(data + at, "MTrk", 4) == 0;
        uint32_t length = be32(data + at + 4);
        at += 8;
        if (length > size - at) {
            snprintf(reason, n, "%s %u says %u bytes, the file has %zu left", is_track ? "track" : "a chunk before track",
                     track, length, size - at);
            return 0;
        }
        // Chunks of other kinds are allowed and skipped.
        if (is_track && !check_track(data, at, at + length, track++, reason, n))
            return 0;
        at += length;
    }
    return 1;
}

// The whole file in counted memory, or null with the reason.
static uint8_t *load_file(const char *path, size_t *size, char *reason, size_t n)
{
    char name[MIDI_PATH_MAX];
    if (strlen(path) >= sizeof name) {
        snprintf(reason, n, "the path is too long");
        return nullptr;
    }
    file_resolve_case(path, name, sizeof name);
    FILE *f = fopen(name, "rb");
    if (!f) {
        snprintf(reason, n, "cannot open %s (%s)", path, strerror(errno));
        return nullptr;
    }
    struct stat st;
    uint8_t *bytes = nullptr;
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
        snprintf(reason, n, "%s is not a file", path);
    } else if ((uint64_t)st.st_size > MIDI_FILE_MAX) {
        snprintf(reason, n, "%s is too large for music (%lld bytes)", path, (long long)st.st_size);
    } else {
        *size = (size_t)st.st_size;
        bytes = (uint8_t *)io_mem_alloc(*size ? *size : 1);
        if (fread(bytes, 1, *size, f) != *size) {
            snprintf(reason, n, "cannot read %s", path);
            io_mem_free(bytes);
            bytes = nullptr;
        }
    }
    fclose(f);
    return bytes;
}

// The file at `path` when it is MIDI; else null, with the reason logged after `context`.
static uint8_t *load_midi(const char *path, const char *context, size_t *size)
{
    char reason[256];
    uint8_t *bytes = load_file(path, size, reason, sizeof reason);
    if (bytes && !midi_check(bytes, *size, reason, sizeof reason)) {
        io_mem_free(bytes);
        bytes = nullptr;
    }
    if (!bytes)
        io_log("%s: %s\n", context, reason);
    return bytes;
}

// --- playing ---

// The main thread's side of an end: only the end of the play now open counts.
static void music_ended(intptr_t generation)
{
    if ((uint32_t)generation == midi_generation.load())
        midi_notify(MIDI_NOTIFY_SUCCESSFUL);
}

// SDL_mixer calls this on its audio thread when the music ends, and inside
// Mix_HaltMusic on ours; either way the end goes to the main thread's queue.
static void music_finished(void)
{
    io_platform_call_main(music_ended, (intptr_t)midi_generation.load());
}

static void music_close(void)
{
    if (mus.device) {
        Mix_HaltMusic();
        Mix_FreeMusic(mus.device);
        io_mem_free(mus.bytes);
    }
    mus.device = nullptr;
    mus.bytes = nullptr;
}

// Plays the open music from its beginning.
static int music_start(void)
{
    midi_generation++;
    if (Mix_PlayMusic(mus.device, 1) != 0) {
        io_log("play_midi play: %s\n", Mix_GetError());
        music_close();
        return 0;
    }
    return 1;
}

int midi_test(const char *path)
{
    midi_stop();
    size_t size;
    uint8_t *bytes = load_midi(path, "test_midi open", &size);
    io_mem_free(bytes);
    return bytes ? 1 : 0;
}

int midi_play(const char *path, int repeat)
{
    midi_stop();
    snprintf(mus.path, sizeof mus.path, "%s", path);
    mus.repeat = repeat ? 1 : 0;
    if (!media_audio())
        return 0;  // the reason was logged at start-up
    size_t size;
    uint8_t *bytes = load_midi(path, "play_midi open", &size);
    if (!bytes)
        return 0;
    // The synthesiser takes its copy of the checked bytes, not the file again.
    SDL_RWops *rw = SDL_RWFromConstMem(bytes, (int)size);
    Mix_Music *music = rw ? Mix_LoadMUSType_RW(rw, MUS_MID, 1) : nullptr;
    if (!music) {
        io_log("play_midi open: %s\n", Mix_GetError());
        io_mem_free(bytes);
        return 0;
    }
    mus.device = music;
    mus.bytes = bytes;
    Mix_HookMusicFinished(music_finished);
    return music_start();
}

void midi_set_repeat(int flag)
{
    mus.repeat = flag ? 1 : 0;
}

void midi_stop(void)
{
    music_close();
    midi_generation++;  // any end still on its way belongs to what was stopped
}

void midi_notify(int32_t code)
{
    if (code != MIDI_NOTIFY_SUCCESSFUL || !mus.device)
        return;
    if (mus.repeat)
        music_start();  // from the beginning again
    else
        music_close();
}

bool midi_playing(void)
{
    return mus.device != nullptr;
}
