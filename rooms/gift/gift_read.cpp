// Reading a gift: finding the entries behind the player program, reading every one of
// them as hostile, and installing the boxes all or nothing. The gift player program
// links this alone, without the rooms.
#include "rooms/gift/gift.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <unistd.h>

#include "chunk/chunk.h"
#include "platform/config.h"
#include "platform/files.h"
#include "platform/log.h"

constexpr int32_t GIFT_ENTRIES_MAX = 4096;  // entries of every kind one gift may hold
constexpr uint32_t GIFT_ENTRY_NAME_MAX = 255;

// The box's parts are read through into these while a gift's box is checked, so the
// parts of a box open in the rooms are never touched.
static const BoxParts gift_check_parts = {"sfiles/gpicture.tmp", "sfiles/gdesc.tmp", "sfiles/gmusic.tmp",
                                          "sfiles/gaddress.tmp"};

static char gift_why[512];

const char *gift_reason(void)
{
    return gift_why;
}

static int why(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vsnprintf(gift_why, sizeof gift_why, format, args);
    va_end(args);
    return 0;
}

bool gift_is_gift_name(const char *path)
{
    size_t n = strlen(path), e = strlen(GIFT_EXTENSION);
    return n > e && strcasecmp(path + n - e, GIFT_EXTENSION) == 0;
}

// --- where the entries begin ---

static uint64_t le(const uint8_t *p, int bytes)
{
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; i--)
        v = v << 8 | p[i];
    return v;
}

// Reads `n` bytes at `offset`; false past the end.
static bool read_at(FILE *f, int64_t offset, void *buffer, size_t n)
{
    return fseeko(f, offset, SEEK_SET) == 0 && chunk_read_exact(f, buffer, n);
}

// The end of the player program: the furthest byte its ELF header, program headers,
// section headers and sections reach. A gift is the program copied unchanged with the
// entries right behind it. -1 for a file that is not a little-endian ELF program.
static int64_t elf_extent(FILE *f, int64_t size)
{
    uint8_t h[64];
    if (size < 52 || !read_at(f, 0, h, size < 64 ? 52 : 64) || memcmp(h, "\x7f" "ELF", 4) != 0 || h[5] != 1)
        return -1;
    bool wide = h[4] == 2;
    if (!wide && h[4] != 1)
        return -1;
    if (wide && size < 64)
        return -1;
    uint64_t phoff = wide ? le(h + 32, 8) : le(h + 28, 4), shoff = wide ? le(h + 40, 8) : le(h + 32, 4);
    uint64_t phsize = le(h + (wide ? 54 : 42), 2), phnum = le(h + (wide ? 56 : 44), 2);
    uint64_t shsize = le(h + (wide ? 58 : 46), 2), shnum = le(h + (wide ? 60 : 48), 2);
    uint64_t end = wide ? 64 : 52, usize = (uint64_t)size;
    // Every table lies inside the file, or this is no program of ours.
    if (phoff > usize || phnum * phsize > usize - phoff || shoff > usize || shnum * shsize > usize - shoff ||
        (phnum && phsize < (wide ? 56u : 32u)) || (shnum && shsize < (wide ? 64u : 40u)) || (shoff && !shnum))
        return -1;
    if (phnum)
        end = std::max(end, phoff + phnum * phsize);
    if (shnum)
        end = std::max(end, shoff + shnum * shsize);
    uint8_t e[64];
    for (uint64_t i = 0; i < phnum; i++) {
        if (!read_at(f, (int64_t)(phoff + i * phsize), e, wide ? 56 : 32))
            return -1;
        uint64_t off = wide ? le(e + 8, 8) : le(e + 4, 4), len = wide ? le(e + 32, 8) : le(e + 16, 4);
        if (off > usize || len > usize - off)
            return -1;
        end = std::max(end, off + len);
    }
    for (uint64_t i = 0; i < shnum; i++) {
        if (!read_at(f, (int64_t)(shoff + i * shsize), e, wide ? 64 : 40))
            return -1;
        uint32_t type = (uint32_t)le(e + 4, 4);
        uint64_t off = wide ? le(e + 24, 8) : le(e + 16, 4), len = wide ? le(e + 32, 8) : le(e + 20, 4);
        if (type == 8)  // SHT_NOBITS: memory only, nothing in the file
            continue;
        if (off > usize || len > usize - off)
            return -1;
        end = std::max(end, off + len);
    }
    return (int64_t)end;
}

// --- the entries ---

// Whether the bytes are valid UTF-8 without control characters.
static bool clean_utf8(const unsigned char *s, size_t n)
{
    for (size_t i = 0; i < n;) {
        unsigned char c = s[i];
        if (c < 0x20 || c == 0x7f)
            return false;
        size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        if (!len || i + len > n || (len == 2 && c < 0xC2) || (len == 4 && c > 0xF4))
            return false;
        for (size_t k = 1; k < len; k++)
            if ((s[i + k] & 0xC0) != 0x80)
                return false;
        i += len;
    }
    return true;
}

// A box entry's name gives the box name: "NAME.pzl" where NAME is a plain, visible box
// name. Anything that could reach outside the boxes folder is no box.
static bool box_entry_name(const char *entry, size_t n, char *box)
{
    size_t ext = strlen(BOX_EXTENSION) + 1;
    if (n <= ext || n - ext > (size_t)BOX_NAME_MAX || !clean_utf8((const unsigned char *)entry, n))
        return false;
    if (entry[n - ext] != '.' || strncasecmp(entry + n - ext + 1, BOX_EXTENSION, ext - 1) != 0)
        return false;
    if (memchr(entry, '/', n) || memchr(entry, '\\', n) || memchr(entry, ':', n) || entry[0] == '.' ||
        strstr(entry, ".."))
        return false;
    memcpy(box, entry, n - ext);
    box[n - ext] = 0;
    return box_name_valid(box);
}

// A text to show: at most `max` bytes of it, control characters as blanks (line breaks
// kept), bytes that are not UTF-8 as '?'.
static void shown_text(FILE *f, uint32_t length, char *out, uint32_t max)
{
    uint32_t n = length < max ? length : max;
    if (!chunk_read_exact(f, out, n))
        n = 0;
    out[n] = 0;
    for (uint32_t i = 0; i < n;) {
        unsigned char c = (unsigned char)out[i];
        if (c < 0x80) {
            if ((c < 0x20 && c != '\n') || c == 0x7f)
                out[i] = ' ';
            i++;
            continue;
        }
        uint32_t len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
        if (len == 1 || i + len > n || !clean_utf8((const unsigned char *)out + i, len)) {
            out[i++] = '?';
            continue;
        }
        i += len;
    }
}

// Whether an entry's name (not zero-terminated: it may hold zeros) is `known`.
static bool is_entry(const char *name, uint32_t name_len, const char *known)
{
    return name_len == strlen(known) && memcmp(name, known, name_len) == 0;
}

int gift_read(const char *path, GiftContents *g)
{
    memset(g, 0, sizeof *g);
    gift_why[0] = 0;
    FILE *f = chunk_open(path, "rb");
    if (!f)
        return why("the file %s cannot be opened", path);
    int64_t size = chunk_file_size(f);
    uint8_t magic[4] = {};
    int64_t pos = -1;
    if (size >= 4 && read_at(f, 0, magic, 4) && le(magic, 4) == CHUNK_LMPF)
        pos = 0;  // entries without a player program
    else if (size > 0)
        pos = elf_extent(f, size);
    int ok = pos >= 0 || why("the file is not a gift");
    int64_t box_bytes = 0;
    for (int32_t entries = 0; ok && pos < size; entries++) {
        uint8_t head[8];
        char name[GIFT_ENTRY_NAME_MAX + 1];
        uint32_t name_len = 0, length = 0;
        if (entries >= GIFT_ENTRIES_MAX) {
            ok = why("the gift holds more than %i entries", GIFT_ENTRIES_MAX);
            break;
        }
        if (size - pos < 8 || !read_at(f, pos, head, 8) || le(head, 4) != CHUNK_LMPF) {
            ok = why("the gift is damaged at byte %lld", (long long)pos);
            break;
        }
        name_len = (uint32_t)le(head + 4, 4);
        if (name_len == 0 || name_len > GIFT_ENTRY_NAME_MAX || (int64_t)name_len + 4 > size - pos - 8 ||
            !chunk_read_exact(f, name, name_len) || !chunk_read_u32(f, &length)) {
            ok = why("an entry of the gift is damaged at byte %lld", (long long)pos);
            break;
        }
        name[name_len] = 0;
        int64_t data = pos + 8 + name_len + 4;
        if ((int64_t)length > size - data) {
            ok = why("an entry of the gift runs past its end");
            break;
        }
        char box[BOX_NAME_MAX + 1];
        if (is_entry(name, name_len, GIFT_ENTRY_NAME)) {
            if (!g->sender[0])
                shown_text(f, length, g->sender, GIFT_NAME_MAX);
        } else if (is_entry(name, name_len, GIFT_ENTRY_DEDICATION)) {
            if (!g->dedication[0])
                shown_text(f, length, g->dedication, GIFT_DEDICATION_MAX);
        } else if (is_entry(name, name_len, GIFT_ENTRY_PRESENT)) {
            // The sender's installation file: nothing the receiver needs.
        } else if (box_entry_name(name, name_len, box)) {
            if (g->count >= GIFT_BOXES_MAX) {
                ok = why("the gift holds more than %i boxes", GIFT_BOXES_MAX);
                break;
            }
            box_bytes += length;
            if (box_bytes > GIFT_BYTES_MAX) {
                ok = why("the gift's boxes are larger than %lld MB", (long long)(GIFT_BYTES_MAX >> 20));
                break;
            }
            GiftBox *b = &g->boxes[g->count++];
            memcpy(b->name, box, sizeof b->name);
            b->offset = data;
            b->length = length;
        } else {
            g->ignored++;
            io_log("gift: entry passed over (%u bytes of name)\n", name_len);
        }
        pos = data + length;
    }
    fclose(f);
    if (ok && !g->count)
        ok = why("the gift holds no box");
    return ok;
}

// --- installing ---

// The place a box waits while it is checked: beside the boxes, not named like one.
static void waiting_path(char *out, size_t size, int32_t index)
{
    snprintf(out, size, "%s/.gift-%d-%d.tmp", kernel_puzzles_folder(), (int)getpid(), index);
}

// Copies one entry's bytes into a file of its own, flushed to the disk.
static bool copy_out(FILE *gift_file, const GiftBox *b, const char *to)
{
    FILE *out = fopen(to, "wb");
    if (!out)
        return false;
    bool ok = fseeko(gift_file, b->offset, SEEK_SET) == 0 && chunk_copy(out, gift_file, b->length) &&
              fflush(out) == 0 && fsync(fileno(out)) == 0;
    return fclose(out) == 0 && ok;
}

// "Name", then "Name 2", "Name 3"... each cut so that it stays a box name.
static void numbered_name(const char *base, int32_t n, char *out)
{
    if (n < 2) {
        snprintf(out, BOX_NAME_MAX + 1, "%s", base);
        return;
    }
    char tail[16];
    int tail_len = snprintf(tail, sizeof tail, " %d", n);
    size_t keep = strlen(base);
    if (keep + (size_t)tail_len > (size_t)BOX_NAME_MAX) {
        keep = (size_t)BOX_NAME_MAX - (size_t)tail_len;
        while (keep > 0 && ((unsigned char)base[keep] & 0xC0) == 0x80)
            keep--;
    }
    memcpy(out, base, keep);
    strcpy(out + keep, tail);
}

// Gives the waiting file a box name no file of the folder has (letter case ignored).
// Linking never replaces a file, so a box that appears meanwhile is safe too.
static bool place(const char *waiting, const char *base, char *name)
{
    for (int32_t n = 1; n < 10000; n++) {
        char path[IO_PATH_MAX];
        numbered_name(base, n, name);
        if (!box_path(path, sizeof path, name))
            return false;
        if (file_exists(path))
            continue;
        if (link(waiting, path) == 0)
            return true;
        if (errno != EEXIST)
            return false;
    }
    return false;
}

int gift_install(const char *path, const GiftContents *g, char (*names)[BOX_NAME_MAX + 1])
{
    gift_why[0] = 0;
    make_dir(kernel_puzzles_folder());
    make_dir("sfiles");
    FILE *f = chunk_open(path, "rb");
    if (!f)
        return why("the file %s cannot be opened", path);
    int32_t waiting = 0, placed = 0;
    int ok = 1;
    char temp[IO_PATH_MAX];
    // Every box is copied out and read through before any of them gets its name.
    for (; ok && waiting < g->count; waiting++) {
        const GiftBox *b = &g->boxes[waiting];
        waiting_path(temp, sizeof temp, waiting);
        ChunkId id;
        BoxInfo info;
        if (!copy_out(f, b, temp))
            ok = why("the box %s could not be written to %s", b->name, kernel_puzzles_folder());
        else if (!box_read_file(temp, &id, &info, BOX_ALL_PARTS, &gift_check_parts))
            ok = why("the box %s is damaged: %s", b->name, box_reason());
        for (const char *part : {gift_check_parts.picture, gift_check_parts.description, gift_check_parts.music,
                                 gift_check_parts.address})
            file_delete(part);
    }
    fclose(f);
    for (; ok && placed < g->count; placed++) {
        waiting_path(temp, sizeof temp, placed);
        if (!place(temp, g->boxes[placed].name, names[placed]))
            ok = why("the box %s could not be put into %s", g->boxes[placed].name, kernel_puzzles_folder());
    }
    // All or nothing: on failure the boxes placed so far go again.
    for (int32_t i = 0; !ok && i < placed; i++) {
        char box[IO_PATH_MAX];
        if (box_path(box, sizeof box, names[i]))
            file_delete(box);
    }
    for (int32_t i = 0; i < waiting; i++) {
        waiting_path(temp, sizeof temp, i);
        file_delete(temp);
    }
    return ok;
}
