// Effect sounds from the data pack ("connect.wav" when pieces join), played from memory
// the image cache holds. One sound at a time: a new one cuts off the one before.
#pragma once

// No sound is current. Called by kernel_init.
void sound_init(void);

// Registers the pack file `name` with the image cache as a memory file loaded whole by
// dp_load, and returns its index for sound_play. A file missing from the pack is fatal
// in the data pack, as for any installation data.
int sound_load(const char *name);

// Starts the sound of memory file `index` at once, cutting off the sound playing before,
// and moves the one cache hold kept for the sound that may be playing from the old sound
// to this one. A sound that cannot be played is ignored; without an audio device
// nothing happens at all.
void sound_play(int index);

// Stops the sound and gives back its cache hold. Called by kernel_done before the cache
// is closed.
void sound_done(void);
