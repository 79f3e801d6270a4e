// MIDI music: which files are taken for music (with no audio device needed), the pack's
// tune really heard from start to end, repeat, and ends that arrive late.
#include <SDL2/SDL.h>
#include <SDL2/SDL_mixer.h>

#include "media/media.h"
#include "media/music.h"
#include "platform/log.h"
#include "res/datapack.h"
#include "tests/media_env.h"

namespace {

std::string be32(uint32_t v)
{
    return {(char)(v >> 24), (char)(v >> 16), (char)(v >> 8), (char)v};
}

std::string be16(uint32_t v)
{
    return {(char)(v >> 8), (char)v};
}

std::string header(uint32_t format, uint32_t tracks, uint32_t division = 480, uint32_t length = 6)
{
    return "MThd" + be32(length) + be16(format) + be16(tracks) + be16(division) + std::string(length - 6, '\0');
}

std::string chunk(const char *tag, const std::string &body)
{
    return tag + be32((uint32_t)body.size()) + body;
}

const std::string end_of_track("\x00\xFF\x2F\x00", 4);

// A tune of one track: a piano's middle C for `note_ms`, then `rest_ms` of quiet before
// the end (120 beats a minute at 480 ticks a beat: 0.96 ticks a millisecond).
std::string one_note_midi(int note_ms, int rest_ms)
{
    auto delta = [](int ms) {
        uint32_t v = (uint32_t)(ms * 96 / 100);
        std::string bytes(1, (char)(v & 0x7F));
        while (v >>= 7)
            bytes.insert(bytes.begin(), (char)(0x80 | (v & 0x7F)));
        return bytes;
    };
    return header(0, 1) + chunk("MTrk", std::string("\x00\xC0\x00\x00\x90\x3C\x64", 7) + delta(note_ms) +
                                            std::string("\x80\x3C\x00", 3) + delta(rest_ms) + end_of_track.substr(1));
}

// Stretches of sound: frames where either channel passes `threshold`, joined while the
// quiet between them is shorter than `gap` frames; first and last loud frame of each.
struct SoundRun {
    size_t first, last;
};

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

// The reason midi_check gives, or "ok".
std::string check(const std::string &file)
{
    char reason[256];
    return midi_check((const uint8_t *)file.data(), file.size(), reason, sizeof reason) ? "ok" : reason;
}

class MidiFiles : public ::testing::Test {
protected:
    TempDir dir;
    InDir in{dir.path};
    std::string tune;
    void SetUp() override
    {
        io_debug_init(IO_LOG_FILE);
        dp_open(PELMORA_DATA_PCK);
        int index = dp_get_index("samples/waltz.mid", 1);
        void *bytes = dp_load(index);
        tune.assign((const char *)bytes, dp_size(index));
        io_mem_free(bytes);
        dp_close();
    }
    void TearDown() override { io_debug_init(IO_LOG_NONE); }
    std::string log() const { return read_file(dir.file(IO_LOG_FILE_NAME)); }
};

TEST_F(MidiFiles, TheTestTakesThePacksTuneAndRefusesWhatIsNotMidiSayingWhy)
{
    uint32_t track_length = (uint32_t)tune.size() - 22;
    ASSERT_EQ(tune.substr(14, 8), "MTrk" + be32(track_length)) << "the tune is one header and one track";
    write_file("waltz.mid", tune);
    write_file("letter.mid", "Dear friend, this is a letter and no tune at all.\n");
    write_file("lying.mid", tune.substr(0, 18) + be32(track_length + 64) + tune.substr(22));
    write_file("empty.mid", "");
    std::filesystem::create_directory("folder.mid");

    EXPECT_EQ(midi_test("waltz.mid"), 1);
    EXPECT_EQ(log().find("test_midi"), std::string::npos) << "a good file is not logged:\n" << log();
    struct {
        const char *name, *logged;
    } refused[] = {
        {"letter.mid", "test_midi open: not a MIDI file (no MThd header)\n"},
        {"lying.mid", "test_midi open: track 1 says 1085 bytes, the file has 1021 left\n"},
        {"empty.mid", "test_midi open: not a MIDI file (no MThd header)\n"},
        {"nothing.mid", "test_midi open: cannot open nothing.mid (No such file or directory)\n"},
        {"folder.mid", "test_midi open: folder.mid is not a file\n"},
    };
    for (const auto &r : refused) {
        EXPECT_EQ(midi_test(r.name), 0) << r.name;
        EXPECT_NE(log().find(r.logged), std::string::npos) << r.name << " logs " << r.logged << "in:\n" << log();
    }
}

TEST_F(MidiFiles, EveryCutOfTheTuneIsRefusedWithinItsBytes)
{
    // The reader never looks past what it was given (the sanitizer watches), wherever
    // the file ends.
    ASSERT_EQ(check(tune), "ok");
    for (size_t size = 0; size < tune.size(); size++) {
        std::vector<uint8_t> cut(tune.begin(), tune.begin() + (ptrdiff_t)size);
        char reason[256] = "";
        EXPECT_TRUE(midi_check(cut.data(), cut.size(), reason, sizeof reason) == 0 && reason[0]) << size << " bytes";
    }
}

TEST(MidiCheck, HeadersFormatsAndTracksAsTheStandardHasThem)
{
    std::string note = std::string("\x00\x90\x40\x50\x60\x80\x40\x00", 8);
    std::string track = chunk("MTrk", note + end_of_track);
    EXPECT_EQ(check(header(0, 1) + track), "ok");
    EXPECT_EQ(check(header(1, 2) + track + track), "ok") << "several tracks";
    EXPECT_EQ(check(header(2, 1) + track), "ok");
    EXPECT_EQ(check(header(1, 2, 480, 10) + track + track), "ok") << "a longer header is skipped";
    EXPECT_EQ(check(header(1, 2) + track + chunk("XFIH", "made by hand") + track), "ok") << "other chunks are skipped";
    EXPECT_EQ(check(header(0, 1, 0xE728) + track), "ok") << "25 frames a second, 40 ticks a frame";
    EXPECT_EQ(check(header(0, 1) + track + "trailing words"), "ok") << "what follows the last track is not read";

    EXPECT_EQ(check(header(3, 1) + track), "format 3 is not 0, 1 or 2");
    EXPECT_EQ(check(header(1, 0)), "format 1 with 0 tracks");
    EXPECT_EQ(check(header(0, 2) + track + track), "format 0 with 2 tracks");
    EXPECT_EQ(check(header(1, 3) + track + track), "track 3 of 3 is missing");
    EXPECT_EQ(check(header(0, 1, 0) + track), "no time division");
    EXPECT_EQ(check(header(0, 1, 0xE700) + track), "no time division");
    EXPECT_EQ(check("MThd" + be32(5) + std::string(5, '\0') + track), "a header of 5 bytes in a file of 33");
    EXPECT_EQ(check("MThd" + be32(0xFFFFFFF0) + be16(0) + be16(1) + be16(480)), "a header of 4294967280 bytes in a file of 14");
    EXPECT_EQ(check(header(1, 2) + "XFIH" + be32(100) + track), "a chunk before track 1 says 100 bytes, the file has 20 left")
        << "every length is held to the file";
}

TEST(MidiCheck, EventsMustEndInsideTheirTrack)
{
    auto one = [](const std::string &events) { return check(header(0, 1) + chunk("MTrk", events)); };
    // Running status: the data bytes of a note go on with the status before them.
    EXPECT_EQ(one(std::string("\x00\x90\x40\x50\x10\x42\x50\x10\x40\x00\x00\xC0\x05\x00\xD0\x20", 16) + end_of_track), "ok");
    EXPECT_EQ(one(std::string("\x00\xF0\x03\x7E\x7F\xF7\x00\xFF\x01\x05" "Waltz", 15) + end_of_track), "ok")
        << "system exclusive and text";
    EXPECT_EQ(one(std::string("\x83\xFF\xFF\x7F\x90\x40\x50", 7) + end_of_track), "ok") << "the longest delta time";

    EXPECT_EQ(one(std::string("\x00\x40\x50", 3) + end_of_track), "track 1: a data byte with no status at byte 23");
    EXPECT_EQ(one(std::string("\x00\x90\x40\x90", 4) + end_of_track), "track 1: a bad data byte 0x90 at byte 25");
    EXPECT_EQ(one(std::string("\x00\xF4", 2) + end_of_track), "track 1: status 0xF4 at byte 22 has no place in a file");
    EXPECT_EQ(one(std::string("\x80\x80\x80\x80\x00\x90\x40\x50", 8) + end_of_track),
              "track 1: a number longer than four bytes before byte 26");
    EXPECT_EQ(one(std::string("\x00\xFF\x01\x20" "too short", 13)), "track 1 runs past its chunk without an end-of-track")
        << "a text longer than its track";
    EXPECT_EQ(one(std::string("\x00\x90\x40", 3)), "track 1 runs past its chunk without an end-of-track")
        << "a note cut off by the chunk's end";
    EXPECT_EQ(one(""), "track 1 runs past its chunk without an end-of-track");
    EXPECT_EQ(check(header(1, 2) + chunk("MTrk", end_of_track) + chunk("MTrk", std::string("\x00\xFF\x2F", 3))),
              "track 2 runs past its chunk without an end-of-track");
}

// --- heard through the disk driver ---

// Twenty times faster than real time, so a whole tune takes about a second and a half.
class Music : public MediaTest {
protected:
    Music() : MediaTest("disk", "1") {}
};

// The audio device is paused, so the mixer never takes a step: music once started goes
// on for as long as the test looks, however slow the machine, and the only ends that
// come are those a halt reports.
class MusicHeldStill : public MediaTest {
protected:
    MusicHeldStill() : MediaTest("disk", nullptr) {}
    void SetUp() override
    {
        MediaTest::SetUp();
        ASSERT_TRUE(media_audio()) << log();
        // The mixer does not say which device it opened; it is the one playing.
        int held = 0;
        for (SDL_AudioDeviceID id = 1; id <= 16; id++)
            if (SDL_GetAudioDeviceStatus(id) == SDL_AUDIO_PLAYING) {
                SDL_PauseAudioDevice(id, 1);
                held++;
            }
        ASSERT_EQ(held, 1) << "one device, now held still";
    }
};

TEST_F(Music, ThePacksTuneIsHeardWholeAndItsEndClosesIt)
{
    ASSERT_TRUE(media_audio()) << log();
    EXPECT_NE(log().find("media: audio on disk, 44100 Hz, 2 channels\n"), std::string::npos) << log();
    EXPECT_NE(log().find("media: SoundFont "), std::string::npos) << "the synthesiser has its instruments:\n" << log();
    extract("samples/waltz.mid", "waltz.mid");
    ASSERT_EQ(midi_play("waltz.mid", 0), 1) << log();
    EXPECT_TRUE(midi_playing());
    EXPECT_TRUE(pump_until([] { return !midi_playing(); })) << "the end of the tune closes the music";
    std::vector<int16_t> s = finish();
    std::vector<SoundRun> runs = sound_runs(s, 64, MEDIA_TEST_RATE / 2);
    ASSERT_EQ(runs.size(), 1u) << "one play, without a pause";
    double seconds = (double)(runs[0].last - runs[0].first) / MEDIA_TEST_RATE;
    // Sixteen bars of three beats at 108 beats a minute last 26.67 s; the last notes fade.
    EXPECT_GT(seconds, 26.6);
    EXPECT_LT(seconds, 27.6);
    int peak = 0;
    for (int16_t v : s)
        peak = std::max(peak, abs(v));
    EXPECT_GT(peak, 2000) << "it is heard, not just above silence";
}

TEST_F(Music, RepeatStartsTheTuneAgainFromItsBeginningUntilItIsSwitchedOff)
{
    write_file("note.mid", one_note_midi(250, 750));
    ASSERT_EQ(midi_play("note.mid", 1), 1) << log();
    // Each end stops the mixer's music; the notice it sends makes it start again.
    for (int end = 1; end <= 2; end++) {
        ASSERT_TRUE(wait_until([] { return !Mix_PlayingMusic(); })) << "end " << end;
        EXPECT_TRUE(midi_playing()) << "ended, its notice on the way";
        EXPECT_TRUE(pump_until([] { return Mix_PlayingMusic() != 0; })) << "the notice starts it again, end " << end;
    }
    midi_set_repeat(0);
    EXPECT_TRUE(pump_until([] { return !midi_playing(); })) << "without repeat the next end closes it";
    EXPECT_FALSE(Mix_PlayingMusic());

    std::vector<SoundRun> runs = sound_runs(finish(), 64, MEDIA_TEST_RATE / 4);
    ASSERT_EQ(runs.size(), 3u) << "played three times";
    size_t length = runs[0].last - runs[0].first;
    EXPECT_GT(length, (size_t)MEDIA_TEST_RATE / 4) << "the note is heard for its quarter second and its fading";
    for (const SoundRun &r : runs)
        EXPECT_NEAR((double)(r.last - r.first), (double)length, MEDIA_TEST_RATE / 100.0)
            << "every play is the whole note, from the beginning";
}

TEST_F(MusicHeldStill, NoMidiIsNotPlayedAndTheEndOfMusicStoppedOrReplacedIsIgnored)
{
    write_file("letter.mid", "Dear friend,\nno tune today.\n");
    EXPECT_EQ(midi_play("letter.mid", 1), 0);
    EXPECT_FALSE(midi_playing() || Mix_PlayingMusic());
    EXPECT_NE(log().find("play_midi open: not a MIDI file (no MThd header)\n"), std::string::npos) << log();

    extract("samples/waltz.mid", "waltz.mid");
    ASSERT_EQ(midi_play("waltz.mid", 0), 1) << log();
    pump();
    // Playing again stops the first play, and the mixer reports that halt as an end.
    ASSERT_EQ(midi_play("waltz.mid", 0), 1);
    EXPECT_GE(SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_USEREVENT, SDL_LASTEVENT), 1) << "the halt's end is on its way";
    pump();
    EXPECT_TRUE(midi_playing() && Mix_PlayingMusic()) << "the new music goes on";

    // A stopped loop stays stopped.
    ASSERT_EQ(midi_play("waltz.mid", 1), 1);
    midi_stop();
    pump();
    EXPECT_FALSE(midi_playing() || Mix_PlayingMusic()) << "the end of a stopped loop does not start it again";

    // Testing a file stops the music, as opening it for a test always did.
    ASSERT_EQ(midi_play("waltz.mid", 1), 1);
    EXPECT_EQ(midi_test("waltz.mid"), 1);
    pump();
    EXPECT_FALSE(midi_playing() || Mix_PlayingMusic());
    midi_notify(MIDI_NOTIFY_SUCCESSFUL);
    EXPECT_FALSE(midi_playing()) << "an end with nothing open does nothing";
}

}  // namespace
