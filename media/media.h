// The audio device under music and sounds: opened once at start-up, closed once at exit.
// Without a device (servers, CI, SDL's dummy audio driver) music and sounds are simply
// unavailable and everything else goes on as before.
#pragma once

// Opens the audio device and the mixer: 44,100 Hz, 16-bit stereo, one channel for effect
// sounds, and a General MIDI SoundFont for the MIDI synthesiser (SDL_SOUNDFONTS when set,
// else the first one installed in the usual places). When there is no device the reason
// is logged once and media_audio() stays false. Called by kernel_init.
void media_init(void);

// Closes the mixer and the device; music and sounds must have been stopped (midi_stop,
// sound_done). Nothing when media_init found no device.
void media_done(void);

// Whether music and sounds can be heard in this run.
bool media_audio(void);
