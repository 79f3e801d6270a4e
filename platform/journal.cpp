// Reading and writing the input journal.
#include "platform/journal.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/files.h"
#include "platform/platform.h"

struct JournalEntry {
    int64_t time_ms;
    PlatformInput in;
};

static struct {
    SafeFile out;
    bool recording;
    std::vector<JournalEntry> entries;
    size_t next;
    bool playing;
} jr;

// Names of the input kinds as the journal writes them, in InputKind order.
static constexpr const char *kind_names[] = {
    "mouse_move", "mouse_down", "mouse_up", "key_down", "key_up", "text", "activate",
    "deactivate", "close", "expose", "display_change", "message", "forward", "drop",
};
static constexpr int KIND_COUNT = sizeof kind_names / sizeof kind_names[0];

static const char *mods_text(uint8_t mods, char *buf, int size)
{
    snprintf(buf, (size_t)size, "%s%s%s", (mods & INPUT_MOD_CTRL) ? " ctrl" : "",
             (mods & INPUT_MOD_ALT) ? " alt" : "", (mods & INPUT_MOD_SHIFT) ? " shift" : "");
    return buf;
}

int journal_format_line(int64_t time_ms, const PlatformInput *in, char *out, int size)
{
    int k = (int)in->kind;
    if (k < 0 || k >= KIND_COUNT)
        return 0;
    const char *kind = kind_names[k];
    long long t = (long long)time_ms;
    char mods[32];
    int len;
    switch (in->kind) {
    case InputKind::MouseMove:
    case InputKind::MouseDown:
    case InputKind::MouseUp:
        len = snprintf(out, (size_t)size, "%lld %s %d %d %d%s", t, kind, in->x, in->y, in->button,
                       mods_text(in->mods, mods, sizeof mods));
        break;
    case InputKind::KeyDown:
    case InputKind::KeyUp: {
        char name[64];
        snprintf(name, sizeof name, "%s", io_platform_key_name(in->key));
        if (!name[0])
            return 0;  // a key without a name could not be played back
        for (char *p = name; *p; p++)
            if (*p == ' ')
                *p = '_';
        len = snprintf(out, (size_t)size, "%lld %s %s%s", t, kind, name, mods_text(in->mods, mods, sizeof mods));
        break;
    }
    case InputKind::Text:
    case InputKind::Message:
    case InputKind::Drop:
        if (!in->text[0] || strpbrk(in->text, "\r\n"))
            return 0;
        len = snprintf(out, (size_t)size, "%lld %s %s", t, kind, in->text);
        break;
    case InputKind::DisplayChange:
        len = snprintf(out, (size_t)size, "%lld %s %s", t, kind, in->answer ? "yes" : "no");
        break;
    default:
        len = snprintf(out, (size_t)size, "%lld %s", t, kind);
        break;
    }
    return len > 0 && len < size;
}

// Splits off the next blank-separated word; returns its start or null at the end.
static char *next_word(char **cursor)
{
    char *p = *cursor;
    while (*p == ' ' || *p == '\t')
        p++;
    if (!*p)
        return nullptr;
    char *start = p;
    while (*p && *p != ' ' && *p != '\t')
        p++;
    if (*p)
        *p++ = 0;
    *cursor = p;
    return start;
}

static bool parse_int(const char *word, long lo, long hi, long *value)
{
    if (!word)
        return false;
    char *end;
    errno = 0;
    long v = strtol(word, &end, 10);
    if (errno || end == word || *end || v < lo || v > hi)
        return false;
    *value = v;
    return true;
}

// The modifiers that may end a mouse or key line; false for any other word.
static bool parse_mods(char **words, int count, uint8_t *mods)
{
    for (int i = 0; i < count; i++) {
        if (strcmp(words[i], "ctrl") == 0)
            *mods |= INPUT_MOD_CTRL;
        else if (strcmp(words[i], "alt") == 0)
            *mods |= INPUT_MOD_ALT;
        else if (strcmp(words[i], "shift") == 0)
            *mods |= INPUT_MOD_SHIFT;
        else
            return false;
    }
    return true;
}

// A key's name as the journal writes it, blanks as underscores ("Left_Shift"); "_" alone
// is the underscore key, so the name is tried as written first. Only a name the key gives
// back counts: the lookup also takes other spellings and stray bytes, which would play
// back as keys no keyboard sends.
static int32_t key_from_word(char *word)
{
    for (int pass = 0; pass < 2; pass++) {
        if (pass == 1)
            for (char *p = word; *p; p++)
                if (*p == '_')
                    *p = ' ';
        int32_t key = io_platform_key_from_name(word);
        if (key && strcmp(io_platform_key_name(key), word) == 0)
            return key;
    }
    return 0;
}

static bool parse_coords(char **words, int count, PlatformInput *out)
{
    long x, y;
    if (count < 2 || !parse_int(words[0], -65536, 65535, &x) || !parse_int(words[1], -65536, 65535, &y))
        return false;
    out->x = (int32_t)x;
    out->y = (int32_t)y;
    return true;
}

int journal_parse_line(const char *line, int64_t *time_ms, PlatformInput *out, uint8_t *held)
{
    char buf[JOURNAL_LINE_MAX];
    size_t n = strlen(line);
    if (n >= sizeof buf)
        return -1;
    memcpy(buf, line, n + 1);
    while (n && (buf[n - 1] == '\n' || buf[n - 1] == '\r'))
        buf[--n] = 0;
    char *cursor = buf;
    char *first = next_word(&cursor);
    if (!first || first[0] == '#')
        return 0;
    long t;
    char *kind_word = next_word(&cursor);
    if (!parse_int(first, 0, 0x7FFFFFFFL, &t) || !kind_word)
        return -1;
    int k = 0;
    while (k < KIND_COUNT && strcmp(kind_names[k], kind_word) != 0)
        k++;
    if (k == KIND_COUNT)
        return -1;
    memset(out, 0, sizeof *out);
    out->kind = (InputKind)k;
    *time_ms = t;

    if (out->kind == InputKind::Text || out->kind == InputKind::Message || out->kind == InputKind::Drop) {
        // The rest of the line after one blank, kept as typed.
        if (!*cursor || strlen(cursor) >= sizeof out->text)
            return -1;
        snprintf(out->text, sizeof out->text, "%s", cursor);
        return 1;
    }
    char *words[8];
    int count = 0;
    while (char *w = next_word(&cursor)) {
        if (count == 8)
            return -1;
        words[count++] = w;
    }
    long b;
    switch (out->kind) {
    case InputKind::MouseMove: {
        if (!parse_coords(words, count, out))
            return -1;
        int used = 2;
        out->button = *held;
        if (count > 2 && parse_int(words[2], 0, 3, &b)) {
            out->button = (uint8_t)b;
            used = 3;
        }
        return parse_mods(words + used, count - used, &out->mods) ? 1 : -1;
    }
    case InputKind::MouseDown:
    case InputKind::MouseUp:
        if (!parse_coords(words, count, out) || count < 3 || !parse_int(words[2], 1, 3, &b))
            return -1;
        out->button = (uint8_t)b;
        if (!parse_mods(words + 3, count - 3, &out->mods))
            return -1;  // before `held` changes: a refused line leaves no trace
        if (b <= 2) {
            if (out->kind == InputKind::MouseDown)
                *held |= (uint8_t)b;
            else
                *held &= (uint8_t)~b;
        }
        return 1;
    case InputKind::KeyDown:
    case InputKind::KeyUp:
        if (count < 1)
            return -1;
        out->key = key_from_word(words[0]);
        if (!out->key)
            return -1;
        return parse_mods(words + 1, count - 1, &out->mods) ? 1 : -1;
    case InputKind::DisplayChange:
        if (count != 1 || (strcmp(words[0], "yes") != 0 && strcmp(words[0], "no") != 0))
            return -1;
        out->answer = strcmp(words[0], "yes") == 0;
        return 1;
    default:
        return count == 0 ? 1 : -1;
    }
}

int io_journal_record_open(const char *path)
{
    io_journal_record_close();
    if (!safe_file_open(&jr.out, path))
        return 0;
    fprintf(jr.out.f, "# Pelmora input journal: <ms> <input> <arguments>\n");
    jr.recording = true;
    return 1;
}

void io_journal_record(int64_t time_ms, const PlatformInput *in)
{
    if (!jr.recording)
        return;
    char line[JOURNAL_LINE_MAX];
    if (!journal_format_line(time_ms, in, line, sizeof line))
        return;
    fprintf(jr.out.f, "%s\n", line);
    fflush(jr.out.f);  // a crash keeps everything up to the last input
}

void io_journal_record_close(void)
{
    if (!jr.recording)
        return;
    jr.recording = false;
    safe_file_commit(&jr.out);
}

int io_journal_load(const char *path, char *error, int error_size)
{
    jr.entries.clear();
    jr.next = 0;
    FILE *f = fopen(path, "r");
    if (!f) {
        snprintf(error, (size_t)error_size, "cannot open %s", path);
        return 0;
    }
    char line[JOURNAL_LINE_MAX + 2];
    int number = 0;
    uint8_t held = 0;
    int64_t last = 0;
    int ok = 1;
    while (fgets(line, sizeof line, f)) {
        number++;
        size_t n = strlen(line);
        if (n == sizeof line - 1 && line[n - 1] != '\n') {
            snprintf(error, (size_t)error_size, "%s:%d: line too long", path, number);
            ok = 0;
            break;
        }
        JournalEntry e;
        int r = journal_parse_line(line, &e.time_ms, &e.in, &held);
        if (r == 0)
            continue;
        if (r < 0) {
            snprintf(error, (size_t)error_size, "%s:%d: not a journal line", path, number);
            ok = 0;
            break;
        }
        if (e.time_ms < last) {
            snprintf(error, (size_t)error_size, "%s:%d: time goes backwards", path, number);
            ok = 0;
            break;
        }
        if ((int)jr.entries.size() >= JOURNAL_MAX_INPUTS) {
            snprintf(error, (size_t)error_size, "%s:%d: more than %d inputs", path, number, JOURNAL_MAX_INPUTS);
            ok = 0;
            break;
        }
        last = e.time_ms;
        jr.entries.push_back(e);
    }
    fclose(f);
    if (!ok)
        jr.entries.clear();
    jr.playing = ok;
    return ok;
}

bool io_journal_playing(void)
{
    return jr.playing;
}

bool io_journal_next_time(int64_t *time_ms)
{
    if (jr.next >= jr.entries.size())
        return false;
    *time_ms = jr.entries[jr.next].time_ms;
    return true;
}

bool io_journal_take(PlatformInput *out)
{
    if (jr.next >= jr.entries.size())
        return false;
    *out = jr.entries[jr.next++].in;
    return true;
}

void io_journal_done(void)
{
    io_journal_record_close();
    std::vector<JournalEntry>().swap(jr.entries);
    jr.next = 0;
    jr.playing = false;
}
