// A started game whose audio really sounds: SDL's disk driver writes every sample the
// mixer plays into a file, which the tests read back once the device is closed. Also the
// game with no audio device at all, and the log of either.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "tests/toolkit_env.h"

constexpr int MEDIA_TEST_RATE = 44100;

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
    // Waits (pumping when asked) until `done` says so; false after a minute without it.
    static bool wait_until(const std::function<bool()> &done, bool pumping = false);
    static bool pump_until(const std::function<bool()> &done) { return wait_until(done, true); }

protected:
    std::string log() const;
    // The pack file `name` copied to `path`.
    static void extract(const char *name, const char *path);

private:
    std::string saved_driver;
};
