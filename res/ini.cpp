// Settings files: our own reader and writer of sectioned key=value files.
//
// How a file reads, following the system profile functions it stands in for:
// - a line whose first non-blank character is '[' opens a section; its name runs to the
//   first ']' (or the end of the line) with blanks around it trimmed;
// - a line whose first non-blank character is ';' is a comment;
// - any other line holding '=' is a key: the name before the first '=' and the value
//   after it, each with blanks (space, tab, CR, VT, FF) trimmed at both ends; a value
//   enclosed in a matching pair of single or double quotes reads without them;
// - everything else (blank lines, text before the first section, junk) is kept as it
//   stands and otherwise ignored. A NUL byte ends what a line says.
// The first section of a name and the first key of a name in it are the ones read and
// written; a deletion removes every copy. Lines end in LF or CR LF; each line keeps its
// own ending on rewrite, and new lines take the ending of the file's first line.
//
// Writes go straight through: the whole file is written to a temporary name, synced and
// renamed over the old one, so ini_set_string returning 1 means the change is on disk;
// ini_flush then only syncs the folder (so the rename itself survives a power cut) and
// lets go of the cached text.
// Parsed files are kept in a small cache checked against the file's identity, size and
// modification time, because the texts file alone is read 700 times at start-up.
#include "res/ini.h"

#include <cerrno>
#include <cstddef>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/files.h"
#include "platform/log.h"

namespace {

constexpr int INI_CACHE_FILES = 8;
constexpr int INI_NAME_MAX = 260;
constexpr int INI_VALUE_MAX = 2047;         // longest value a read returns
constexpr int INI_TYPED_MAX = 63;           // typed readers refuse longer values
constexpr int INI_TYPED_BUFFER = INI_TYPED_MAX + 2;  // one more, to see a value is longer
constexpr int64_t INI_FILE_MAX = 2 << 20;   // a larger file is not a settings file

enum class LineKind : uint8_t { OTHER, SECTION, KEY };

// Line endings; a last line may have none.
enum : uint8_t { EOL_NONE, EOL_LF, EOL_CRLF };
constexpr const char *eol_text[] = {"", "\n", "\r\n"};

struct IniLine {
    std::string text;  // the line's bytes without its ending
    LineKind kind;
    uint8_t eol;       // EOL_ index: how the line ended
    uint32_t name_pos, name_len;    // section or key name inside text
    uint32_t value_pos, value_len;  // key value inside text
};

struct IniFile {
    bool used;
    bool written;  // renamed since the last flush: its folder wants a sync
    char name[INI_NAME_MAX];
    dev_t dev;
    ino_t ino;
    int64_t size, mtime_ns;
    uint32_t last_use;
    std::vector<IniLine> lines;
};

struct IniState {
    IniFile files[INI_CACHE_FILES];
    uint32_t clock;
    char refused[INI_NAME_MAX];  // the file last found unreadable, logged once
};

IniState ini;

bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

bool same_name(const char *a, size_t alen, const char *b, size_t blen)
{
    if (alen != blen)
        return false;
    for (size_t i = 0; i < alen; i++)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

// Trims blanks from both ends of [*begin, *end).
void trim(const char *text, size_t *begin, size_t *end)
{
    while (*begin < *end && is_blank(text[*begin]))
        (*begin)++;
    while (*end > *begin && is_blank(text[*end - 1]))
        (*end)--;
}

void classify(IniLine *line)
{
    const char *t = line->text.data();
    size_t len = strnlen(t, line->text.size());
    line->kind = LineKind::OTHER;
    line->name_pos = line->name_len = line->value_pos = line->value_len = 0;
    size_t p = 0;
    while (p < len && is_blank(t[p]))
        p++;
    if (p == len || t[p] == ';')
        return;
    if (t[p] == '[') {
        size_t b = p + 1, e = b;
        while (e < len && t[e] != ']')
            e++;
        trim(t, &b, &e);
        line->kind = LineKind::SECTION;
        line->name_pos = (uint32_t)b;
        line->name_len = (uint32_t)(e - b);
        return;
    }
    const char *eq = (const char *)memchr(t + p, '=', len - p);
    if (!eq)
        return;
    size_t kb = p, ke = (size_t)(eq - t), vb = ke + 1, ve = len;
    trim(t, &kb, &ke);
    trim(t, &vb, &ve);
    if (kb == ke)
        return;
    line->kind = LineKind::KEY;
    line->name_pos = (uint32_t)kb;
    line->name_len = (uint32_t)(ke - kb);
    line->value_pos = (uint32_t)vb;
    line->value_len = (uint32_t)(ve - vb);
}

IniLine make_line(std::string text, uint8_t eol)
{
    IniLine line{std::move(text), LineKind::OTHER, eol, 0, 0, 0, 0};
    classify(&line);
    return line;
}

void split_lines(const std::string &data, std::vector<IniLine> *lines)
{
    lines->clear();
    size_t pos = 0;
    while (pos < data.size()) {
        size_t nl = data.find('\n', pos);
        size_t end = nl == std::string::npos ? data.size() : nl;
        size_t text_end = end;
        uint8_t eol = EOL_NONE;
        if (nl != std::string::npos) {
            eol = EOL_LF;
            if (text_end > pos && data[text_end - 1] == '\r') {
                text_end--;
                eol = EOL_CRLF;
            }
        }
        lines->push_back(make_line(data.substr(pos, text_end - pos), eol));
        pos = nl == std::string::npos ? data.size() : nl + 1;
    }
}

int64_t mtime_of(const struct stat &st)
{
    return (int64_t)st.st_mtim.tv_sec * 1000000000 + st.st_mtim.tv_nsec;
}

bool matches(const IniFile &f, const struct stat &st)
{
    return f.dev == st.st_dev && f.ino == st.st_ino && f.size == (int64_t)st.st_size && f.mtime_ns == mtime_of(st);
}

void stamp(IniFile *f, const struct stat &st)
{
    f->dev = st.st_dev;
    f->ino = st.st_ino;
    f->size = (int64_t)st.st_size;
    f->mtime_ns = mtime_of(st);
}

// Makes the renames of a written file last: the folder holding it is synced.
void sync_folder(IniFile *f)
{
    if (!f->written)
        return;
    f->written = false;
    std::string folder = f->name;
    size_t slash = folder.rfind('/');
    folder = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

void drop(IniFile *f)
{
    sync_folder(f);
    f->used = false;
    f->lines.clear();
    f->lines.shrink_to_fit();
}

IniFile *find_cached(const char *name)
{
    for (IniFile &f : ini.files)
        if (f.used && strcmp(f.name, name) == 0)
            return &f;
    return nullptr;
}

IniFile *take_slot(const char *name)
{
    IniFile *slot = nullptr;
    for (IniFile &f : ini.files)
        if (!f.used) {
            slot = &f;
            break;
        }
    if (!slot) {
        slot = &ini.files[0];
        for (IniFile &f : ini.files)
            if (f.last_use < slot->last_use)
                slot = &f;
        drop(slot);
    }
    slot->used = true;
    slot->written = false;
    snprintf(slot->name, sizeof slot->name, "%s", name);
    return slot;
}

enum class Load { MISSING, FAILED, OK };

// The parsed file, from the cache when the file has not changed since. MISSING when no
// file exists, FAILED when one exists but cannot be read whole.
Load load_file(const char *name, IniFile **out)
{
    *out = nullptr;
    if (!name || !name[0] || strlen(name) >= (size_t)INI_NAME_MAX)
        return Load::FAILED;
    IniFile *f = find_cached(name);
    struct stat st;
    if (stat(name, &st) != 0) {
        if (f)
            drop(f);
        return errno == ENOENT ? Load::MISSING : Load::FAILED;
    }
    if (f && matches(*f, st)) {
        f->last_use = ++ini.clock;
        *out = f;
        return Load::OK;
    }
    if (f)
        drop(f);
    if (!S_ISREG(st.st_mode) || st.st_size > INI_FILE_MAX)
        return Load::FAILED;

    FILE *fp = fopen(name, "rb");
    if (!fp)
        return errno == ENOENT ? Load::MISSING : Load::FAILED;
    // The stamp comes from the open file, so a change between stat and open is seen.
    if (fstat(fileno(fp), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > INI_FILE_MAX) {
        fclose(fp);
        return Load::FAILED;
    }
    std::string data;
    data.resize((size_t)st.st_size);
    size_t got = data.empty() ? 0 : fread(data.data(), 1, data.size(), fp);
    bool ok = got == data.size() && !ferror(fp);
    fclose(fp);
    if (!ok)
        return Load::FAILED;

    f = take_slot(name);
    stamp(f, st);
    split_lines(data, &f->lines);
    f->last_use = ++ini.clock;
    *out = f;
    return Load::OK;
}

// load_file, with a refused file named in the log once rather than at every read.
Load load(const char *name, IniFile **out)
{
    Load state = load_file(name, out);
    bool same = name && strcmp(ini.refused, name) == 0;
    if (state == Load::FAILED && !same && name) {
        io_log("ini: %s cannot be read as a settings file\n", name);
        snprintf(ini.refused, sizeof ini.refused, "%s", name);
    } else if (state != Load::FAILED && same) {
        ini.refused[0] = 0;
    }
    return state;
}

// Index of the first section line named `section`, or -1.
ptrdiff_t find_section(const IniFile &f, const char *section, size_t slen)
{
    for (size_t i = 0; i < f.lines.size(); i++) {
        const IniLine &l = f.lines[i];
        if (l.kind == LineKind::SECTION && same_name(l.text.data() + l.name_pos, l.name_len, section, slen))
            return (ptrdiff_t)i;
    }
    return -1;
}

// One past the last line of the section that starts at `start`.
size_t section_end(const IniFile &f, size_t start)
{
    size_t i = start + 1;
    while (i < f.lines.size() && f.lines[i].kind != LineKind::SECTION)
        i++;
    return i;
}

ptrdiff_t find_key(const IniFile &f, size_t start, size_t end, const char *key, size_t klen)
{
    for (size_t i = start + 1; i < end; i++) {
        const IniLine &l = f.lines[i];
        if (l.kind == LineKind::KEY && same_name(l.text.data() + l.name_pos, l.name_len, key, klen))
            return (ptrdiff_t)i;
    }
    return -1;
}

// A requested name without its surrounding blanks, as names read from the file are.
void trimmed(const char *s, const char **begin, size_t *len)
{
    size_t b = 0, e = strlen(s);
    trim(s, &b, &e);
    *begin = s + b;
    *len = e - b;
}

uint8_t file_eol(const IniFile &f)
{
    return !f.lines.empty() && f.lines[0].eol == EOL_CRLF ? EOL_CRLF : EOL_LF;
}

// Inserts a line at `pos`, giving the line before it an ending if it had none.
void insert_line(IniFile *f, size_t pos, std::string text)
{
    uint8_t eol = file_eol(*f);
    if (pos > 0 && f->lines[pos - 1].eol == EOL_NONE)
        f->lines[pos - 1].eol = eol;
    f->lines.insert(f->lines.begin() + (ptrdiff_t)pos, make_line(std::move(text), eol));
}

bool write_whole(IniFile *f)
{
    SafeFile sf;
    if (!safe_file_open(&sf, f->name))
        return false;
    for (const IniLine &l : f->lines) {
        size_t eol_len = strlen(eol_text[l.eol]);
        if ((!l.text.empty() && fwrite(l.text.data(), 1, l.text.size(), sf.f) != l.text.size()) ||
            (eol_len && fwrite(eol_text[l.eol], 1, eol_len, sf.f) != eol_len)) {
            safe_file_abort(&sf);
            return false;
        }
    }
    if (!safe_file_commit(&sf))
        return false;
    struct stat st;
    if (stat(f->name, &st) != 0)
        return false;
    stamp(f, st);
    f->written = true;
    return true;
}

bool has_any(const char *s, const char *chars)
{
    return s && strpbrk(s, chars) != nullptr;
}

// Number tokens of a typed value: "%i" rules (decimal, 0x hex, leading-0 octal, an
// optional sign), separated by blanks, nothing else anywhere. Values beyond 32 bits are
// refused; those between 2^31 and 2^32 - 1 wrap, as hex colours written 0xFFFFFFFF do.
int parse_numbers(const char *text, int32_t *out, int count)
{
    const char *p = text;
    for (int i = 0; i < count; i++) {
        const char *start = p;
        while (is_blank(*p) || *p == '\n')
            p++;
        if (i > 0 && p == start)
            return 0;
        bool neg = false;
        if (*p == '+' || *p == '-')
            neg = *p++ == '-';
        int base = 10;
        if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
            base = 16;
            p += 2;
        } else if (p[0] == '0') {
            base = 8;
        }
        uint64_t v = 0;
        int digits = 0;
        for (;; p++, digits++) {
            int d;
            if (*p >= '0' && *p <= '9')
                d = *p - '0';
            else if (*p >= 'a' && *p <= 'f')
                d = *p - 'a' + 10;
            else if (*p >= 'A' && *p <= 'F')
                d = *p - 'A' + 10;
            else
                break;
            if (d >= base)
                break;
            v = v * (uint64_t)base + (uint64_t)d;
            if (v > 0xFFFFFFFFull)
                return 0;
        }
        if (digits == 0)
            return 0;
        if (neg && v > 0x80000000ull)
            return 0;
        if (out)
            out[i] = neg ? (int32_t)(0u - (uint32_t)v) : (int32_t)(uint32_t)v;
    }
    while (is_blank(*p) || *p == '\n')
        p++;
    return *p == 0;
}

// Reads a value for the typed readers: 0 when the key is missing or the value is longer
// than 63 characters, which no number holds; cutting it short would read "0001234" and
// more as some other number, or hide junk after the number.
int typed_value(const char *file, const char *section, const char *key, char *buffer)
{
    buffer[0] = 0;
    if (ini_get_string(file, section, key, buffer, INI_TYPED_BUFFER) > INI_TYPED_MAX)
        buffer[0] = 0;
    return buffer[0] != 0;
}

}  // namespace

int32_t ini_get_string(const char *file, const char *section, const char *key, char *buffer, int32_t size)
{
    if (!buffer || size <= 0)
        return 0;
    buffer[0] = 0;
    if (!section || !key)
        return 0;
    IniFile *f;
    if (load(file, &f) != Load::OK)
        return 0;
    const char *s, *k;
    size_t slen, klen;
    trimmed(section, &s, &slen);
    trimmed(key, &k, &klen);
    ptrdiff_t sec = find_section(*f, s, slen);
    if (sec < 0)
        return 0;
    ptrdiff_t at = find_key(*f, (size_t)sec, section_end(*f, (size_t)sec), k, klen);
    if (at < 0)
        return 0;
    const IniLine &l = f->lines[(size_t)at];
    const char *v = l.text.data() + l.value_pos;
    size_t vlen = l.value_len;
    if (vlen >= 2 && (v[0] == '"' || v[0] == '\'') && v[vlen - 1] == v[0]) {
        v++;
        vlen -= 2;
    }
    size_t n = vlen;
    if (n > (size_t)INI_VALUE_MAX)
        n = INI_VALUE_MAX;
    if (n > (size_t)size - 1)
        n = (size_t)size - 1;
    memcpy(buffer, v, n);
    buffer[n] = 0;
    return (int32_t)n;
}

int32_t ini_set_string(const char *file, const char *section, const char *key, const char *value)
{
    // A line break or a bracket in a name, or a line break in a value, would write lines
    // that read back as other sections and keys.
    if (!section || has_any(section, "]\r\n") || has_any(key, "=\r\n") || has_any(value, "\r\n"))
        return 0;
    const char *s, *k = nullptr;
    size_t slen, klen = 0;
    trimmed(section, &s, &slen);
    if (slen == 0)
        return 0;
    if (key) {
        trimmed(key, &k, &klen);
        if (klen == 0 || k[0] == '[' || k[0] == ';')
            return 0;
    }

    IniFile *f;
    Load state = load(file, &f);
    if (state == Load::FAILED)
        return 0;  // never replace a file we could not read
    if (state == Load::MISSING) {
        if (!key || !value)
            return 1;  // nothing to delete
        f = take_slot(file);
        f->lines.clear();
        f->dev = 0;
        f->ino = 0;
        f->size = f->mtime_ns = -1;
        f->last_use = ++ini.clock;
    }

    ptrdiff_t sec = find_section(*f, s, slen);
    if (!key) {
        if (sec < 0)
            return 1;
        // Every section of the name goes, so nothing of it can be read afterwards.
        while (sec >= 0) {
            size_t end = section_end(*f, (size_t)sec);
            f->lines.erase(f->lines.begin() + sec, f->lines.begin() + (ptrdiff_t)end);
            sec = find_section(*f, s, slen);
        }
    } else if (!value) {
        if (sec < 0)
            return 1;
        size_t end = section_end(*f, (size_t)sec);
        ptrdiff_t at = find_key(*f, (size_t)sec, end, k, klen);
        if (at < 0)
            return 1;
        while (at >= 0) {
            f->lines.erase(f->lines.begin() + at);
            end--;
            at = find_key(*f, (size_t)sec, end, k, klen);
        }
    } else {
        std::string line = std::string(k, klen) + "=" + value;
        if (sec < 0) {
            insert_line(f, f->lines.size(), "[" + std::string(s, slen) + "]");
            insert_line(f, f->lines.size(), std::move(line));
        } else {
            size_t end = section_end(*f, (size_t)sec);
            ptrdiff_t at = find_key(*f, (size_t)sec, end, k, klen);
            if (at >= 0) {
                // The key keeps the spelling it has in the file.
                IniLine &old = f->lines[(size_t)at];
                line = old.text.substr(old.name_pos, old.name_len) + "=" + value;
                if (old.text == line)
                    return 1;
                old.text = std::move(line);
                classify(&old);
            } else {
                // After the section's last key, so blank lines and comments that end
                // the section stay where they were.
                size_t pos = (size_t)sec + 1;
                for (size_t i = (size_t)sec + 1; i < end; i++)
                    if (f->lines[i].kind == LineKind::KEY)
                        pos = i + 1;
                insert_line(f, pos, std::move(line));
            }
        }
    }

    if (!write_whole(f)) {
        // The change is only in memory; the file on disk is what counts.
        drop(f);
        return 0;
    }
    f->last_use = ++ini.clock;
    return 1;
}

void ini_flush(const char *file)
{
    // Writes are on disk when ini_set_string returns; what remains is to make the
    // renames durable and to let go of the cached text.
    for (IniFile &f : ini.files)
        if (f.used && (!file || strcmp(f.name, file) == 0))
            drop(&f);
}

int32_t ini_parse_int(const char *text, int32_t *value)
{
    int32_t v;
    if (!text || !parse_numbers(text, &v, 1))
        return 0;
    *value = v;
    return 1;
}

int32_t ini_parse_numbers(const char *text, int32_t *values, int32_t count)
{
    // Checked first, so a text that fails leaves every output as it was.
    if (!text || count < 1 || !parse_numbers(text, nullptr, count))
        return 0;
    return parse_numbers(text, values, count);
}

int32_t ini_parse_color(const char *text, uint32_t *colour)
{
    if (!text)
        return 0;
    if (strcasecmp(text, "transparent") == 0) {
        *colour = 0xFFFFFFFF;
        return 1;
    }
    int32_t rgb[3];
    if (!parse_numbers(text, rgb, 3))
        return 0;
    // Each part is one byte, as the system's colour macro takes it.
    *colour = ((uint32_t)(rgb[0] & 255) << 16) | ((uint32_t)(rgb[1] & 255) << 8) | (uint32_t)(rgb[2] & 255);
    return 1;
}

int32_t ini_get_int(const char *file, const char *section, const char *key, int32_t *value)
{
    char text[INI_TYPED_BUFFER];
    return typed_value(file, section, key, text) && ini_parse_int(text, value);
}

int32_t ini_get_bool(const char *file, const char *section, const char *key, int32_t *value)
{
    char text[INI_TYPED_BUFFER];
    if (!typed_value(file, section, key, text))
        return 0;
    text[31] = 0;
    for (char *p = text; *p; p++)
        *p = lower(*p);
    static const char *const on[] = {"true", "1", "yes", "hi"};
    static const char *const off[] = {"false", "0", "no", "lo"};
    for (int i = 0; i < 4; i++) {
        if (strcmp(text, on[i]) == 0) {
            *value = 1;
            return 1;
        }
        if (strcmp(text, off[i]) == 0) {
            *value = 0;
            return 1;
        }
    }
    return 0;
}

// Reads exactly n numbers of a key; the outputs are written only when all parse.
static int32_t get_numbers(const char *file, const char *section, const char *key, int32_t *v, int n)
{
    char text[INI_TYPED_BUFFER];
    return typed_value(file, section, key, text) && parse_numbers(text, v, n);
}

int32_t ini_get_pair(const char *file, const char *section, const char *key, int32_t *a, int32_t *b)
{
    int32_t v[2];
    if (!get_numbers(file, section, key, v, 2))
        return 0;
    *a = v[0];
    *b = v[1];
    return 1;
}

int32_t ini_get_triple(const char *file, const char *section, const char *key, int32_t *a, int32_t *b, int32_t *c)
{
    int32_t v[3];
    if (!get_numbers(file, section, key, v, 3))
        return 0;
    *a = v[0];
    *b = v[1];
    *c = v[2];
    return 1;
}

int32_t ini_get_color(const char *file, const char *section, const char *key, uint32_t *colour)
{
    char text[INI_TYPED_BUFFER];
    return typed_value(file, section, key, text) && ini_parse_color(text, colour);
}

int32_t ini_get_real(const char *file, const char *section, const char *key, double *value)
{
    char text[INI_TYPED_BUFFER];
    if (!typed_value(file, section, key, text))
        return 0;
    char *end;
    errno = 0;
    double v = strtod(text, &end);
    while (is_blank(*end))
        end++;
    // "nan" and "inf" are words, not settings; they would poison every sum they enter.
    if (end == text || *end || !std::isfinite(v))
        return 0;
    *value = v;
    return 1;
}

int32_t ini_set_int(const char *file, const char *section, const char *key, int32_t value)
{
    char text[16];
    snprintf(text, sizeof text, "%i", (int)value);
    return ini_set_string(file, section, key, text);
}

int32_t ini_set_bool(const char *file, const char *section, const char *key, int32_t value)
{
    return ini_set_string(file, section, key, value ? "1" : "0");
}

int32_t ini_set_pair(const char *file, const char *section, const char *key, int32_t a, int32_t b)
{
    char text[32];
    snprintf(text, sizeof text, "%i %i", (int)a, (int)b);
    return ini_set_string(file, section, key, text);
}
