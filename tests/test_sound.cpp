// Effect sounds heard through the disk driver: a second sound cutting off the first and
// then heard whole and exactly, the one cache hold kept, and a game without any audio
// device.
#include <SDL2/SDL.h>
#include <SDL2/SDL_mixer.h>
#include <atomic>

#include "image/cache.h"
#include "media/media.h"
#include "media/music.h"
#include "media/sound.h"
#include "res/datapack.h"
#include "tests/media_env.h"

namespace {

// The connect sound as the mixer plays it: decoded and converted to the device's format
// (the audio must be open).
std::vector<int16_t> connect_as_played()
{
    int index = dp_get_index("connect.wav", 1);
    void *bytes = dp_load(index);
    Mix_Chunk *chunk = Mix_LoadWAV_RW(SDL_RWFromConstMem(bytes, (int)dp_size(index)), 1);
    io_mem_free(bytes);
    if (!chunk)
        return {};
    std::vector<int16_t> samples((const int16_t *)chunk->abuf, (const int16_t *)(chunk->abuf + chunk->alen));
    Mix_FreeChunk(chunk);
    return samples;
}

size_t first_nonzero(const std::vector<int16_t> &s)
{
    size_t i = 0;
    while (i < s.size() && s[i] == 0)
        i++;
    return i;
}

// Whether `out` holds `sound` from sample `at` on (the part that fits within `length`).
bool holds(const std::vector<int16_t> &out, size_t at, const std::vector<int16_t> &sound, size_t length)
{
    if (at + length > out.size() || length > sound.size())
        return false;
    return std::equal(sound.begin(), sound.begin() + (ptrdiff_t)length, out.begin() + (ptrdiff_t)at);
}

bool silent_from(const std::vector<int16_t> &out, size_t at)
{
    return std::all_of(out.begin() + (ptrdiff_t)std::min(at, out.size()), out.end(), [](int16_t v) { return v == 0; });
}

class Sound : public MediaTest {
protected:
    Sound() : MediaTest("disk", "1") {}
};

// The mixer's own thread starts the sound after one mix and again after the next, so the
// second cuts the first off after exactly one mix, however fast or slow the machine is.
int replayed = -1;
std::atomic<int> plays;

void play_twice(void *, Uint8 *, int)
{
    if (plays < 2) {
        sound_play(replayed);
        plays++;
    }
}

TEST_F(Sound, ASecondSoundCutsOffTheFirstAndIsHeardWholeAndExactlyWithOneHoldKept)
{
    ASSERT_TRUE(media_audio()) << log();
    int connect = replayed = sound_load("connect.wav");
    ASSERT_GE(connect, 0);
    EXPECT_EQ(sound_load("connect.wav"), connect) << "one memory file per name";
    std::vector<int16_t> sound = connect_as_played();
    ASSERT_GT(sound.size(), 0u);
    // 90 ms at 22,050 Hz, mono, played at 44,100 Hz in stereo.
    EXPECT_NEAR((double)sound.size() / 2 / MEDIA_TEST_RATE, 0.090, 0.001);
    plays = 0;
    Mix_SetPostMix(play_twice, nullptr);
    ASSERT_TRUE(wait_until([] { return plays == 2; }));
    Mix_SetPostMix(nullptr, nullptr);
    EXPECT_EQ(memfiles[connect].locks, 1) << "one hold, moved from the first play to the second";
    EXPECT_TRUE(wait_until([] { return Mix_Playing(-1) == 0; }));
    std::vector<int16_t> out = finish();
    EXPECT_EQ(memfiles[connect].locks, 0) << "given back when the sound is done";

    size_t start = first_nonzero(out) - first_nonzero(sound);
    ASSERT_LT(first_nonzero(out), out.size()) << "something was heard";
    EXPECT_EQ(start % 2, 0u) << "it starts on a frame";
    const size_t cut = 2048;  // one mix: 1024 frames, left and right
    EXPECT_TRUE(holds(out, start, sound, cut)) << "the first sound for one mix";
    EXPECT_TRUE(holds(out, start + cut, sound, sound.size())) << "then the second, whole and alone";
    EXPECT_TRUE(silent_from(out, start + cut + sound.size())) << "nothing of the first sound after the second";
}

TEST_F(Sound, TheKernelGivesTheHoldBackBeforeTheCacheCloses)
{
    int connect = sound_load("connect.wav");
    sound_play(connect);
    sound_play(connect);
    EXPECT_EQ(memfiles[connect].locks, 1);
    // Still sounding when the game ends: the teardown (checked after the test) stops it
    // and gives back the hold before the cache is closed.
}

class NoAudio : public MediaTest {
protected:
    NoAudio() : MediaTest("dummy", nullptr) {}
};

TEST_F(NoAudio, MusicAndSoundsAreQuietlyAbsentAndTheReasonIsLoggedOnce)
{
    EXPECT_FALSE(media_audio());
    int connect = sound_load("connect.wav");
    ASSERT_GE(connect, 0) << "the sound is still registered";
    sound_play(connect);
    sound_play(connect);
    EXPECT_EQ(memfiles[connect].locks, 0) << "nothing sounds, so nothing is held";
    extract("samples/waltz.mid", "waltz.mid");
    EXPECT_EQ(midi_play("waltz.mid", 1), 0);
    EXPECT_FALSE(midi_playing());
    EXPECT_EQ(midi_test("waltz.mid"), 1) << "a file can still be tested";
    midi_set_repeat(0);
    midi_notify(MIDI_NOTIFY_SUCCESSFUL);
    midi_stop();
    sound_done();
    media_done();
    std::string text = log();
    const std::string line = "media: no audio device, music and sounds are off (the dummy audio driver)\n";
    size_t at = text.find(line);
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_EQ(text.find("media: ", at + line.size()), std::string::npos) << "said once, and nothing else:\n" << text;
    EXPECT_EQ(text.find("play_midi"), std::string::npos) << text;
}

class NoSuchDriver : public MediaTest {
protected:
    NoSuchDriver() : MediaTest("nosuchdriver", nullptr) {}
};

TEST_F(NoSuchDriver, ADeviceThatWillNotOpenIsNoDevice)
{
    EXPECT_FALSE(media_audio());
    EXPECT_NE(log().find("media: no audio device, music and sounds are off (Audio target 'nosuchdriver' not available)\n"),
              std::string::npos)
        << log();
    int connect = sound_load("connect.wav");
    sound_play(connect);
    EXPECT_EQ(midi_play("none.mid", 0), 0);
}

}  // namespace
