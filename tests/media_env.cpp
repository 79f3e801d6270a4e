#include "tests/media_env.h"

#include <SDL2/SDL_mixer.h>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "media/media.h"
#include "media/music.h"
#include "media/sound.h"
#include "platform/log.h"
#include "platform/platform.h"
#include "res/datapack.h"

MediaTest::MediaTest(const char *driver, const char *delay)
{
    const char *old = getenv("SDL_AUDIODRIVER");
    saved_driver = old ? old : "";
    setenv("SDL_AUDIODRIVER", driver, 1);
    setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
    if (delay)
        setenv("SDL_DISKAUDIODELAY", delay, 1);
    else
        unsetenv("SDL_DISKAUDIODELAY");
    io_debug_init(IO_LOG_FILE);  // the working folder is the test's own by now
}

MediaTest::~MediaTest()
{
    io_debug_init(IO_LOG_NONE);
    if (saved_driver.empty())
        unsetenv("SDL_AUDIODRIVER");
    else
        setenv("SDL_AUDIODRIVER", saved_driver.c_str(), 1);
    unsetenv("SDL_DISKAUDIOFILE");
    unsetenv("SDL_DISKAUDIODELAY");
}

void MediaTest::TearDown()
{
    ToolkitTest::TearDown();
    EXPECT_EQ(log().find("cache_done: filename:"), std::string::npos) << "a hold outlived the sound:\n" << log();
}

std::vector<int16_t> MediaTest::finish()
{
    midi_stop();
    sound_done();
    media_done();
    std::string bytes = exists(out) ? read_file(out) : std::string();
    std::vector<int16_t> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); i++)
        samples[i] = (int16_t)((uint8_t)bytes[2 * i] | (uint8_t)bytes[2 * i + 1] << 8);
    return samples;
}

void MediaTest::pump()
{
    PlatformInput in;
    while (io_platform_poll(&in)) {
    }
}

// Looks at `done` every millisecond, pumping first when asked to, until it says so or
// `timeout_ms` have passed.
static bool poll(const std::function<bool()> &done, int timeout_ms, bool pumping)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        if (pumping)
            MediaTest::pump();
        if (done())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool MediaTest::pump_until(const std::function<bool()> &done, int timeout_ms)
{
    return poll(done, timeout_ms, true);
}

bool MediaTest::wait_until(const std::function<bool()> &done, int timeout_ms)
{
    return poll(done, timeout_ms, false);
}

std::string MediaTest::log() const
{
    return exists(dir.file(IO_LOG_FILE_NAME)) ? read_file(dir.file(IO_LOG_FILE_NAME)) : std::string();
}

void MediaTest::extract(const char *name, const char *path)
{
    ASSERT_EQ(dp_extract(dp_get_index(name, 1), path), 1) << name;
}

std::vector<SoundRun> sound_runs(const std::vector<int16_t> &samples, int threshold, size_t gap)
{
    std::vector<SoundRun> runs;
    for (size_t frame = 0; 2 * frame + 1 < samples.size(); frame++) {
        if (abs(samples[2 * frame]) <= threshold && abs(samples[2 * frame + 1]) <= threshold)
            continue;
        if (runs.empty() || frame - runs.back().last > gap)
            runs.push_back({frame, frame});
        runs.back().last = frame;
    }
    return runs;
}

static void put_number(std::string &out, uint32_t v)
{
    std::string bytes(1, (char)(v & 0x7F));
    while (v >>= 7)
        bytes.insert(bytes.begin(), (char)(0x80 | (v & 0x7F)));
    out += bytes;
}

static std::string be32(uint32_t v)
{
    return {(char)(v >> 24), (char)(v >> 16), (char)(v >> 8), (char)v};
}

std::string one_note_midi(int note_ms, int rest_ms)
{
    // 120 beats a minute at 480 ticks a beat: 0.96 ticks a millisecond.
    std::string track;
    track += std::string("\x00\xC0\x00", 3);      // piano
    track += std::string("\x00\x90\x3C\x64", 4);  // middle C
    put_number(track, (uint32_t)(note_ms * 96 / 100));
    track += std::string("\x80\x3C\x00", 3);
    put_number(track, (uint32_t)(rest_ms * 96 / 100));
    track += std::string("\xFF\x2F\x00", 3);
    return std::string("MThd") + be32(6) + std::string("\x00\x00\x00\x01\x01\xE0", 6) + "MTrk" +
           be32((uint32_t)track.size()) + track;
}
