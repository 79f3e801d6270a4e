// The installation data generator: every file of data.pck is made here from the sources
// under data/ and from code, written into a staging folder, and packed in name order so
// that the same sources always give the same bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

struct MkData {
    const char *stage;  // the staging folder; pack names are relative to it
    const char *src;    // the data/ folder of the sources
    const char *fonts;  // the folder of the DejaVu TrueType files
};

// Writes `size` bytes as pack entry `name` ("img/intro.jpg"), creating folders. A failure
// prints the reason and ends the generator with code 1, so a build never packs a
// half-made set.
void mk_write(const MkData *mk, const char *name, const void *data, size_t size);

// Runs an encoder (a codec writer: 0 on success, else its reason in codec_last_report)
// into memory and writes what it made as pack entry `name`.
void mk_write_encoded(const MkData *mk, const char *name, const std::function<int(FILE *)> &encode);

// Reads a source file of data/ whole; ends the generator when it is missing.
// The caller frees the result with free().
char *mk_read_source(const MkData *mk, const char *name, size_t *size);
// The same for any path (the installed fonts).
char *mk_read_file(const char *path, size_t *size);

// Prints a reason naming the part that failed and ends the generator with code 1.
[[noreturn]] void mk_fail(const char *fmt, ...);

// A line of text in the TrueType font at `font_path`, `size` pixels per em, with
// `spacing` pixels added after each letter, as coverage 0..1 trimmed to its ink.
// (origin_x, origin_y) is where the pen started on the baseline, relative to the ink.
// Fatal (mk_fail) when the font cannot be read, a letter is missing or nothing is inked.
struct MkInk {
    int w, h;
    int origin_x, origin_y;
    std::vector<float> a;  // w * h, row by row
};
MkInk mk_text_ink(const char *font_path, float size, const char *text, float spacing);

// One function per kind of data; each writes its entries into the stage.
void mk_curves(const MkData *mk);    // curves/c_0.crv .. c_7.crv from data/curves.txt
void mk_sounds(const MkData *mk);    // connect.wav and the sample tune, synthesised
void mk_texts(const MkData *mk);     // english.ini, skin.ini from data/
void mk_fonts(const MkData *mk);     // img/font12.img, font15.img, font20.img, fonts/*.ttf
void mk_skin(const MkData *mk);      // img/active.img, img/inactive.img, logo, sparkle, cursor
void mk_pictures(const MkData *mk);  // intro, background, gallery textures, sample pictures
