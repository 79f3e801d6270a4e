// Names, patterns and paths of the file chooser: the filter's pairs, matching, the
// default extension, typed names made into paths, and names made fit for the list's font.
#include "ui/filechooser_names.h"


#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "platform/files.h"
#include "platform/log.h"
#include "platform/memory.h"
#include "platform/services.h"
#include "res/datapack.h"
#include "res/gdi_text.h"
#include "ui/filechooser.h"

constexpr const char *FC_TEXT_ALL = "All files";
constexpr uint32_t FC_REPLACEMENT = 0xFFFD;

bool fc_is_folder(const char *path)
{
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// Copies text whole or not at all: a path cut short names another file.
bool fc_copy(char *out, int32_t size, const char *text)
{
    size_t n = strlen(text);
    if ((int64_t)n >= size)
        return false;
    memcpy(out, text, n + 1);
    return true;
}

bool fc_filter_pair(const char *filter, int32_t index, const char **description, const char **patterns)
{
    if (!filter || !filter[0]) {
        *description = FC_TEXT_ALL;
        *patterns = "*";
        return index == 0;
    }
    const char *p = filter;
    for (int32_t i = 0; *p; i++) {
        const char *pattern = p + strlen(p) + 1;
        if (!*pattern)
            return false;  // a description without patterns ends the list
        if (i == index) {
            *description = p;
            *patterns = pattern;
            return true;
        }
        p = pattern + strlen(pattern) + 1;
    }
    return false;
}

bool filechooser_match(const char *patterns, const char *name)
{
    for (const char *p = patterns; *p;) {
        size_t n = strcspn(p, ";");
        char one[256];
        size_t from = 0;
        while (from < n && p[from] == ' ')
            from++;
        size_t to = n;
        while (to > from && p[to - 1] == ' ')
            to--;
        if (to - from < sizeof one) {
            memcpy(one, p + from, to - from);
            one[to - from] = 0;
            // "*.*" meant every file where it was written, names without a dot too.
            if (strcmp(one, "*.*") == 0 || (one[0] && name_match(one, name)))
                return true;
        }
        p += n;
        if (*p == ';')
            p++;
    }
    return false;
}

void fc_default_extension(const char *patterns, char *out, int32_t size)
{
    out[0] = 0;
    for (const char *p = patterns; *p;) {
        size_t n = strcspn(p, ";");
        std::string one(p, n);
        one.erase(0, one.find_first_not_of(' '));
        one.erase(one.find_last_not_of(' ') + 1);
        if (one.size() > 2 && one.compare(0, 2, "*.") == 0 && one.find_first_of("*?.", 2) == std::string::npos) {
            fc_copy(out, size, one.c_str() + 1);
            return;
        }
        p += n;
        if (*p == ';')
            p++;
    }
}

bool fc_resolve(const char *base, const char *typed, char *out)
{
    std::string whole;
    const char *home = getenv("HOME");
    if (typed[0] == '/')
        whole = typed;
    else if (typed[0] == '~' && (typed[1] == 0 || typed[1] == '/') && home && home[0] == '/')
        whole = std::string(home) + (typed + 1);
    else
        whole = std::string(base) + "/" + typed;
    std::vector<std::string> parts;
    for (size_t at = 0; at <= whole.size();) {
        size_t end = whole.find('/', at);
        if (end == std::string::npos)
            end = whole.size();
        std::string part = whole.substr(at, end - at);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = end + 1;
    }
    std::string path;
    for (const std::string &part : parts)
        path += "/" + part;
    return fc_copy(out, IO_FILE_PATH_MAX, path.empty() ? "/" : path.c_str());
}

void fc_parent(const char *path, char *out)
{
    const char *slash = strrchr(path, '/');
    size_t n = slash && slash != path ? (size_t)(slash - path) : 1;
    memcpy(out, path, n);
    out[n] = 0;
}

const char *fc_base_name(const char *path)
{
    const char *slash = strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// --- the list's font: which characters it can show ---


// The next character of UTF-8 text, moving past it; FC_REPLACEMENT and one byte for a
// byte that does not begin a whole, shortest sequence of a character.
static uint32_t fc_next_char(const char **p)
{
    const uint8_t *s = (const uint8_t *)*p;
    uint32_t c = s[0];
    int n = c >= 0xF0 && c < 0xF5 ? 3 : c >= 0xE0 && c < 0xF0 ? 2 : c >= 0xC2 && c < 0xE0 ? 1 : 0;
    if (c < 0x80) {
        *p += 1;
        return c;
    }
    if (n > 0) {
        uint32_t v = c & (0x3F >> n);
        int i = 1;
        for (; i <= n && (s[i] & 0xC0) == 0x80; i++)
            v = v << 6 | (s[i] & 0x3F);
        bool shortest = n == 1 || (n == 2 && v >= 0x800) || (n == 3 && v >= 0x10000 && v < 0x110000);
        if (i > n && shortest && !(v >= 0xD800 && v < 0xE000)) {
            *p += n + 1;
            return v;
        }
    }
    *p += 1;
    return FC_REPLACEMENT;
}

static bool fc_can_show(uint32_t c)
{
    if (c < 32 || (c >= 127 && c < 0xA0))
        return false;
    return c < 127 || io_gdi_face_has_char(IO_FACE_SANS, c);  // the face font_dialog draws with
}

void fc_display_name(const char *name, char *out, int32_t size)
{
    uint32_t replacement = fc_can_show(FC_REPLACEMENT) ? FC_REPLACEMENT : '?';
    int32_t used = 0;
    for (const char *p = name; *p;) {
        uint32_t c = fc_next_char(&p);
        if (c == FC_REPLACEMENT || !fc_can_show(c))
            c = replacement;
        char bytes[4];
        int32_t n = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        if (n == 1) {
            bytes[0] = (char)c;
        } else {
            for (int32_t i = n - 1; i > 0; i--, c >>= 6)
                bytes[i] = (char)(0x80 | (c & 0x3F));
            bytes[0] = (char)((n == 2 ? 0xC0 : n == 3 ? 0xE0 : 0xF0) | c);
        }
        if (used + n >= size)
            break;
        memcpy(out + used, bytes, (size_t)n);
        used += n;
    }
    if (size > 0)
        out[used] = 0;
}

void filechooser_display_name(const char *name, char *out, int32_t size)
{
    fc_display_name(name, out, size);
}
