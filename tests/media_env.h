// A started game whose audio really sounds: SDL's disk driver writes every sample the
// mixer plays into a file, which the tests read back once the device is closed. Also the
// game with no audio device at all, and the log of either.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "tests/toolkit_env.h"

class MediaTest : public ToolkitTest {
protected:
    std::string out = dir.file("audio.raw");
    // `driver` is SDL's audio driver ("disk", "dummy", ...); for the disk driver `delay`
    // is the milliseconds it rests after each 1024-frame buffer ("0" fast, null real time).
    MediaTest(const char *driver, const char *delay);
    ~MediaTest() override;
    // After the kernel's teardown no cache hold may be left for the cache to find.
    void TearDown() override;

    // Stops music and sound and closes the device, so the file is whole; its samples,
    // left and right in turn, 44,100 frames a second.
    std::vector<int16_t> finish();

public:
    // Runs what the audio thread has handed to the main thread.
    static void pump();
    // Pumps until `done` says so; false when `timeout_ms` of waiting did not bring it.
    static bool pump_until(const std::function<bool()> &done, int timeout_ms = 60000);
    // Waits, handing nothing to the main thread, until `done` says so; false on timeout.
    static bool wait_until(const std::function<bool()> &done, int timeout_ms = 60000);

protected:
    // The log so far.
    std::string log() const;
    // The pack file `name` copied to `path`.
    static void extract(const char *name, const char *path);

private:
    std::string saved_driver;
};

constexpr int MEDIA_TEST_RATE = 44100;

// Stretches of sound: frames where either channel passes `threshold`, joined while the
// quiet between them is shorter than `gap` frames. First and last loud frame of each.
struct SoundRun {
    size_t first, last;
};
std::vector<SoundRun> sound_runs(const std::vector<int16_t> &samples, int threshold, size_t gap);

// A standard MIDI file of one track: one note of `note_ms` milliseconds, then `rest_ms` of
// quiet before the end of the track (120 beats a minute, 480 ticks a beat).
std::string one_note_midi(int note_ms, int rest_ms);
