// Opening and closing SDL's audio and the mixer for music and sounds.
#include "media/media.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_mixer.h>
#include <cstdlib>
#include <cstring>

#include "platform/files.h"
#include "platform/log.h"

constexpr int MEDIA_RATE = 44100;
constexpr int MEDIA_CHANNELS = 2;      // stereo out
constexpr int MEDIA_BUFFER = 1024;     // sample frames a mix: about 23 ms
constexpr int MEDIA_SOUND_CHANNELS = 1;  // effect sounds cut each other off

// General MIDI SoundFonts where Linux systems install them, the system's choice first.
static constexpr const char *media_soundfonts[] = {
    "/usr/share/sounds/sf2/default-GM.sf2",  // Debian's alternative
    "/usr/share/sounds/sf2/TimGM6mb.sf2",
    "/usr/share/sounds/sf2/FluidR3_GM.sf2",
    "/usr/share/sounds/sf3/default-GM.sf3",
    "/usr/share/soundfonts/default.sf2",
    "/usr/share/soundfonts/FluidR3_GM.sf2",
};

static struct {
    bool audio;  // the device and the mixer are open
} media;

static void media_off(const char *reason)
{
    io_log("media: no audio device, music and sounds are off (%s)\n", reason);
}

// FluidSynth plays MIDI only with a SoundFont, and SDL_mixer by itself looks for just one
// file name; an explicit SDL_SOUNDFONTS is left to have its way.
static void choose_soundfont(void)
{
    const char *given = getenv("SDL_SOUNDFONTS");
    if (given && *given) {
        io_log("media: SoundFont %s (SDL_SOUNDFONTS)\n", given);
        return;
    }
    for (const char *path : media_soundfonts) {
        if (file_exists(path)) {
            Mix_SetSoundFonts(path);
            io_log("media: SoundFont %s\n", path);
            return;
        }
    }
    io_log("media: no General MIDI SoundFont found, MIDI music may be silent\n");
}

void media_init(void)
{
    if (media.audio)
        return;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        media_off(SDL_GetError());
        return;
    }
    // The dummy driver takes the sound and plays it nowhere: that is no device.
    const char *driver = SDL_GetCurrentAudioDriver();
    if (driver && strcmp(driver, "dummy") == 0) {
        media_off("the dummy audio driver");
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return;
    }
    if (Mix_OpenAudio(MEDIA_RATE, AUDIO_S16SYS, MEDIA_CHANNELS, MEDIA_BUFFER) != 0) {
        media_off(Mix_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return;
    }
    media.audio = true;
    Mix_AllocateChannels(MEDIA_SOUND_CHANNELS);
    Mix_Init(MIX_INIT_MID);
    choose_soundfont();
    int rate = 0, channels = 0;
    Uint16 format = 0;
    Mix_QuerySpec(&rate, &format, &channels);
    io_log("media: audio on %s, %i Hz, %i channels\n", driver ? driver : "?", rate, channels);
}

void media_done(void)
{
    if (!media.audio)
        return;
    Mix_HaltChannel(-1);
    Mix_HaltMusic();
    Mix_CloseAudio();
    Mix_Quit();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    media.audio = false;
}

bool media_audio(void)
{
    return media.audio;
}
