#include "tests/media_env.h"

#include <chrono>
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

bool MediaTest::wait_until(const std::function<bool()> &done, bool pumping)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        if (pumping)
            pump();
        if (done())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::string MediaTest::log() const
{
    return exists(dir.file(IO_LOG_FILE_NAME)) ? read_file(dir.file(IO_LOG_FILE_NAME)) : std::string();
}

void MediaTest::extract(const char *name, const char *path)
{
    ASSERT_EQ(dp_extract(dp_get_index(name, 1), path), 1) << name;
}
