// The sounds: the click of two pieces meeting, synthesised, and the short waltz the
// sample boxes play, written note by note as a standard MIDI file.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/random.h"
#include "tools/mkdata.h"

static void put_le(std::vector<uint8_t> &out, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; i++)
        out.push_back((uint8_t)(v >> (8 * i)));
}

static void put_be(std::vector<uint8_t> &out, uint32_t v, int bytes)
{
    for (int i = bytes - 1; i >= 0; i--)
        out.push_back((uint8_t)(v >> (8 * i)));
}

static void put_text(std::vector<uint8_t> &out, const char *s)
{
    out.insert(out.end(), s, s + strlen(s));
}

// A short wooden "tock": a bright partial that dies in a few milliseconds over a lower,
// rounder one, started by a brief burst of filtered noise for the contact itself.
static std::vector<uint8_t> connect_wav(void)
{
    const int rate = 22050;
    const int count = rate * 90 / 1000;
    std::vector<double> s(count);
    rand_seed(0x5EED1234u);
    double lowpass = 0;
    for (int i = 0; i < count; i++) {
        double t = (double)i / rate;
        double attack = std::min(1.0, t / 0.0006);
        double high = 0.55 * std::exp(-t / 0.006) * std::sin(2 * M_PI * 2150 * t);
        double low = 0.75 * std::exp(-t / 0.018) * std::sin(2 * M_PI * 820 * t + 0.4);
        double body = 0.25 * std::exp(-t / 0.030) * std::sin(2 * M_PI * 410 * t);
        double noise = (double)rand_next(2001) / 1000.0 - 1.0;
        lowpass += 0.35 * (noise - lowpass);
        double contact = 0.6 * std::exp(-t / 0.0015) * lowpass;
        s[i] = attack * (high + low + body + contact);
    }
    double peak = 0;
    for (double v : s)
        peak = std::max(peak, std::fabs(v));
    std::vector<uint8_t> out;
    put_text(out, "RIFF");
    put_le(out, 36 + count * 2, 4);
    put_text(out, "WAVEfmt ");
    put_le(out, 16, 4);
    put_le(out, 1, 2);         // PCM
    put_le(out, 1, 2);         // mono
    put_le(out, rate, 4);
    put_le(out, rate * 2, 4);  // bytes per second
    put_le(out, 2, 2);         // bytes per frame
    put_le(out, 16, 2);
    put_text(out, "data");
    put_le(out, count * 2, 4);
    for (double v : s)
        put_le(out, (uint32_t)(int16_t)std::lround(v / peak * 0.7 * 32767), 2);
    return out;
}

struct MidiEvent {
    uint32_t tick;
    int order;  // note-offs before note-ons at the same tick
    uint8_t bytes[3];
};

// A gentle waltz in G major: sixteen bars of melody over a bass note and two soft chord
// beats per bar. Notes are MIDI numbers with durations in eighths.
struct Note {
    uint8_t pitch, eighths;
};
static const Note waltz_melody[] = {
    {67, 3}, {69, 1}, {71, 2},  {74, 4}, {67, 2},  {76, 2}, {74, 2}, {71, 2},  {69, 6},
    {71, 3}, {72, 1}, {74, 2},  {79, 4}, {74, 2},  {76, 2}, {72, 2}, {69, 2},  {67, 6},
    {71, 3}, {72, 1}, {74, 2},  {76, 4}, {74, 2},  {72, 2}, {71, 2}, {69, 2},  {71, 4}, {67, 2},
    {69, 3}, {71, 1}, {72, 2},  {74, 2}, {71, 2}, {67, 2},  {69, 2}, {66, 2}, {62, 2},  {67, 6},
};
// Root, then the two chord notes, per bar.
static const uint8_t waltz_chords[16][3] = {
    {43, 59, 62}, {43, 59, 62}, {48, 60, 64}, {50, 60, 66}, {43, 59, 62}, {40, 59, 64},
    {45, 60, 64}, {43, 59, 62}, {43, 59, 62}, {48, 60, 64}, {45, 60, 64}, {40, 59, 62},
    {50, 60, 66}, {43, 59, 62}, {50, 60, 66}, {43, 59, 62},
};

static std::vector<uint8_t> waltz_mid(void)
{
    const uint32_t quarter = 480, eighth = quarter / 2, bar = 3 * quarter;
    std::vector<MidiEvent> ev;
    auto note = [&](uint8_t channel, uint8_t pitch, uint8_t velocity, uint32_t at, uint32_t length) {
        ev.push_back({at, 1, {(uint8_t)(0x90 | channel), pitch, velocity}});
        ev.push_back({at + length - 10, 0, {(uint8_t)(0x80 | channel), pitch, 0}});
    };
    uint32_t at = 0;
    for (const Note &n : waltz_melody) {
        note(0, n.pitch, 84, at, n.eighths * eighth);
        at += n.eighths * eighth;
    }
    if (at != 16 * bar)
        mk_fail("waltz: the melody fills %u ticks, not sixteen bars", at);
    for (uint32_t b = 0; b < 16; b++) {
        note(1, waltz_chords[b][0], 70, b * bar, quarter);
        for (uint32_t beat = 1; beat < 3; beat++) {
            note(1, waltz_chords[b][1], 48, b * bar + beat * quarter, quarter);
            note(1, waltz_chords[b][2], 48, b * bar + beat * quarter, quarter);
        }
    }
    std::stable_sort(ev.begin(), ev.end(), [](const MidiEvent &a, const MidiEvent &b) {
        return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
    });

    std::vector<uint8_t> track;
    auto delta = [&](uint32_t d) {
        uint8_t buf[5];
        int n = 0;
        buf[n++] = d & 0x7F;
        while (d >>= 7)
            buf[n++] = (uint8_t)(0x80 | (d & 0x7F));
        while (n)
            track.push_back(buf[--n]);
    };
    const uint8_t setup[] = {
        0x00, 0xFF, 0x51, 0x03, 0x08, 0x7A, 0x23,  // tempo: 555 555 us a quarter, 108 beats a minute
        0x00, 0xFF, 0x58, 0x04, 0x03, 0x02, 0x18, 0x08,  // 3/4
        0x00, 0xC0, 0x00,                          // piano melody
        0x00, 0xC1, 0x00,                          // piano accompaniment
    };
    track.insert(track.end(), setup, setup + sizeof setup);
    uint32_t last = 0;
    for (const MidiEvent &e : ev) {
        delta(e.tick - last);
        last = e.tick;
        track.insert(track.end(), e.bytes, e.bytes + 3);
    }
    const uint8_t end[] = {0x00, 0xFF, 0x2F, 0x00};
    track.insert(track.end(), end, end + sizeof end);

    std::vector<uint8_t> out;
    put_text(out, "MThd");
    put_be(out, 6, 4);
    put_be(out, 0, 2);  // one track
    put_be(out, 1, 2);
    put_be(out, quarter, 2);
    put_text(out, "MTrk");
    put_be(out, (uint32_t)track.size(), 4);
    out.insert(out.end(), track.begin(), track.end());
    return out;
}

void mk_sounds(const MkData *mk)
{
    std::vector<uint8_t> wav = connect_wav();
    mk_write(mk, "connect.wav", wav.data(), wav.size());
    std::vector<uint8_t> mid = waltz_mid();
    mk_write(mk, "samples/waltz.mid", mid.data(), mid.size());
}
