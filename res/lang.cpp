// The text table filled from the language file, the five fonts, and the names of a box's
// files.
#include "res/lang.h"
#include "res/lang_numbers.h"

#include <cstdio>
#include <cstring>

#include "platform/config.h"
#include "platform/log.h"
#include "platform/memory.h"
#include "res/ini.h"

constexpr int LT_TEXT_MAX = 2048;  // a text's characters and its terminating zero

static struct {
    char *lti[LT_COUNT];  // owned texts, null where the file has none
    int32_t charset;
} lt;

Font font_small, font_medium, font_dialog, font_large, font_arial;

// Every backslash followed by 'n' becomes one line break, left to right, in place.
static void lt_unescape(char *text)
{
    char *out = text;
    for (const char *p = text; *p; p++) {
        if (p[0] == '\\' && p[1] == 'n') {
            *out++ = '\n';
            p++;
        } else {
            *out++ = *p;
        }
    }
    *out = 0;
}

void lt_init(const char *file)
{
    int32_t version;
    if (!ini_get_int(file, "MAIN", "Version", &version))
        io_error("lt_init: version not found (%s)", file);
    if (version < 1)
        io_error("lt_init: old version of texts (%s)", file);
    if (!ini_get_int(file, "MAIN", "CharSet", &lt.charset))
        io_error("lt_init: charset not found (%s)", file);

    char value[LT_TEXT_MAX];
    for (int n = 0; n < LT_COUNT; n++) {
        char key[8];
        snprintf(key, sizeof key, "%i", n);
        int32_t len = ini_get_string(file, "TEXTS", key, value, LT_TEXT_MAX);
        if (len <= 0)
            continue;
        // A text the game fills in with printf must ask for exactly the values passed,
        // or printf would read arguments that were never given. A translation that slips
        // there is not worth refusing the game for: the English text stands in.
        if (!lt_format_ok(n, value)) {
            io_log("lt_init: text %i does not fit its use, the English text stands in (%s)\n", n, file);
            len = (int32_t)snprintf(value, sizeof value, "%s", lt_format_of(n)->english);
        }
        // A text read again (a second language file) reuses its slot when it fits.
        if (lt.lti[n] && io_mem_size(lt.lti[n]) < (size_t)len + 1) {
            io_mem_free(lt.lti[n]);
            lt.lti[n] = nullptr;
        }
        if (!lt.lti[n])
            lt.lti[n] = (char *)io_mem_alloc((size_t)len + 1);
        memcpy(lt.lti[n], value, (size_t)len + 1);
        lt_unescape(lt.lti[n]);
    }
}

const char *lt_get(int32_t number)
{
    // A number beyond the table is a caller's slip; stopping with its number beats
    // reading whatever lies past the table.
    if (number < 0 || number >= LT_COUNT)
        io_error("lt_get: lti %i is out of range\n", number);
    if (!lt.lti[number])
        io_error("lt_get: lti %i is NULL\n", number);
    return lt.lti[number];
}

int32_t lt_charset(void)
{
    return lt.charset;
}

void lt_done(void)
{
    for (char *&text : lt.lti) {
        io_mem_free(text);
        text = nullptr;
    }
}

// "%s/%s.%s" into out; a name too long for the buffer would name another file, so it
// stops the game instead.
static void path_build(const char *fn, char *out, int32_t size, const char *folder, const char *name, const char *ext)
{
    int n = snprintf(out, (size_t)(size > 0 ? size : 0), "%s/%s.%s", folder, name, ext);
    if (n < 0 || n >= size)
        io_error("%s: name too long (%s)", fn, name);
}

void path_box(char *out, int32_t size, const char *name)
{
    path_build("path_box", out, size, kernel_puzzles_folder(), name, "pzl");
}

void path_temp(char *out, int32_t size, const char *name)
{
    path_build("path_temp", out, size, "sfiles/temp", name, "tmp");
}

void path_preview(char *out, int32_t size, const char *name)
{
    path_build("path_preview", out, size, "sfiles/temp", name, "prw");
}

void path_save(char *out, int32_t size, const char *name)
{
    path_build("path_save", out, size, "sfiles/qs", name, "qsv");
}
