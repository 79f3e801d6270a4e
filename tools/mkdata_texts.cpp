// The texts, the skin settings and the help: copied from data/ into the pack, and read
// back through the game's own INI layer first, so that a missing text, a colour that
// does not parse or a broken help link stops the build instead of the game.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "res/ini.h"
#include "res/lang.h"
#include "res/lang_numbers.h"
#include "tools/mkdata.h"
#include "ui/skin.h"

// The longest value the INI layer hands out; a text that reaches it may have been cut.
constexpr int MK_TEXT_MAX = 2047;

// Copies a source file of data/ into the stage under `entry`; returns the text.
static std::string mk_copy(const MkData *mk, const char *source, const char *entry)
{
    size_t size;
    char *data = mk_read_source(mk, source, &size);
    std::string text(data, size);
    free(data);
    if (text.find('\0') != std::string::npos)
        mk_fail("%s: holds a NUL byte", source);
    mk_write(mk, entry, text.data(), text.size());
    return text;
}

static void mk_check_texts(const char *file)
{
    int32_t version, charset;
    if (!ini_get_int(file, "MAIN", "Version", &version) || version < 1)
        mk_fail("english.ini: [MAIN] Version must be 1 or more");
    if (!ini_get_int(file, "MAIN", "CharSet", &charset))
        mk_fail("english.ini: [MAIN] CharSet is missing");
    static char text[MK_TEXT_MAX + 2];
    for (int n = 0; n < LT_COUNT; n++) {
        char key[8];
        snprintf(key, sizeof key, "%i", n);
        int32_t len = ini_get_string(file, "TEXTS", key, text, sizeof text);
        if (len >= MK_TEXT_MAX)
            mk_fail("english.ini: text %i is longer than %i characters", n, MK_TEXT_MAX - 1);
        if (len == 0)
            continue;
        if (!lt_format_ok(n, text))
            mk_fail("english.ini: text %i: its %% conversions differ from what the game passes: %s", n, text);
        // The bitmap fonts of the Western character set hold characters 32 to 127 only.
        for (int32_t i = 0; charset == 0 && i < len; i++)
            if ((unsigned char)text[i] < 32 || (unsigned char)text[i] > 127)
                mk_fail("english.ini: text %i holds character %i, which the fonts lack", n, (unsigned char)text[i]);
    }
    for (int i = 0; i < lt_required_count; i++) {
        char key[8];
        snprintf(key, sizeof key, "%i", lt_required[i]);
        if (ini_get_string(file, "TEXTS", key, text, sizeof text) == 0)
            mk_fail("english.ini: text %i is missing or empty", lt_required[i]);
    }
}

// A hue, brightness and saturation triple as the recolouring takes it.
// The gallery's tints are hue, brightness, saturation; the table's colour is hue,
// saturation, lightness, as the options dialog stores it.
static void mk_check_tint(const char *file, const char *section, const char *key, bool hsl)
{
    int32_t hue, brightness, saturation;
    if (!(hsl ? ini_get_triple(file, section, key, &hue, &saturation, &brightness)
              : ini_get_triple(file, section, key, &hue, &brightness, &saturation)))
        mk_fail("skin.ini: [%s] %s is missing or not three numbers", section, key);
    if (hue < 0 || hue > 360 || brightness < -100 || brightness > 100 || saturation < 0 || saturation > 100)
        mk_fail("skin.ini: [%s] %s wants a hue 0..360, brightness -100..100, saturation 0..100", section, key);
}

static void mk_check_skin(const char *file)
{
    for (int i = 0; i < SKIN_COLOR_COUNT; i++) {
        uint32_t colour;
        if (!ini_get_color(file, "COLORS", skin_color_keys[i], &colour))
            mk_fail("skin.ini: [COLORS] %s is missing or not a colour", skin_color_keys[i]);
    }
    mk_check_tint(file, "BACKGROUND", "Color", true);
    for (const char *key : {"GradientTop", "GradientBottom"}) {
        double g;
        if (!ini_get_real(file, "BACKGROUND", key, &g) || !(g > 0.0 && g < 10.0))
            mk_fail("skin.ini: [BACKGROUND] %s wants a real between 0 and 10", key);
    }
    for (int i = 0; i < 4; i++) {
        char key[16];
        snprintf(key, sizeof key, "Texture%i", i);
        mk_check_tint(file, "GALLERY", key, false);
    }
}

void mk_texts(const MkData *mk)
{
    mk_copy(mk, "english.ini", "english.ini");
    mk_copy(mk, "english.ini", "ml/english.ini");
    mk_copy(mk, "skin.ini", "skin.ini");
    mk_copy(mk, "present.bin", "present.bin");
    std::string help = mk_copy(mk, "help/english.hlp", "ml/english.hlp");

    std::string stage = mk->stage;
    mk_check_texts((stage + "/english.ini").c_str());
    mk_check_skin((stage + "/skin.ini").c_str());
    char why[256];
    if (!lt_help_check(help.c_str(), why, sizeof why))
        mk_fail("help/english.hlp: %s", why);
}
