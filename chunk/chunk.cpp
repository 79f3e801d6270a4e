// Tagged chunk files over stdio streams. Nothing here allocates: copies go through one
// stack buffer, and every length read from a file is checked against what the file
// really holds before it is used.
#include "chunk/chunk.h"

#include <climits>
#include <cstring>
#include <ctime>
#include <sys/types.h>

#include "platform/log.h"
#include "platform/platform.h"
#include "platform/random.h"

static void put_u32(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

static uint32_t get_u32(const uint8_t *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

// Names inside the game may use '\' (older settings and data do); the system wants '/'.
static int game_path(const char *path, char *out, size_t cap)
{
    size_t n = strlen(path);
    if (n >= cap)
        return 0;
    for (size_t i = 0; i <= n; i++)
        out[i] = path[i] == '\\' ? '/' : path[i];
    return 1;
}

int chunk_read_exact(FILE *f, void *buffer, size_t n)
{
    // fread of a zero-sized item reports 0 items, which is no failure.
    return n == 0 || fread(buffer, n, 1, f) == 1;
}

int chunk_write_exact(FILE *f, const void *buffer, size_t n)
{
    return n == 0 || fwrite(buffer, n, 1, f) == 1;
}

int chunk_copy(FILE *dst, FILE *src, uint64_t n)
{
    uint8_t block[CHUNK_COPY_BLOCK];
    while (n > 0) {
        size_t k = n < sizeof block ? (size_t)n : sizeof block;
        if (!chunk_read_exact(src, block, k) || !chunk_write_exact(dst, block, k))
            return 0;
        n -= k;
    }
    return 1;
}

int64_t chunk_file_size(FILE *f)
{
    off_t old = ftello(f);
    if (old < 0 || fseeko(f, 0, SEEK_END) != 0)
        return -1;
    off_t size = ftello(f);
    if (fseeko(f, old, SEEK_SET) != 0)
        return -1;
    return size;
}

int chunk_write_u32(FILE *f, uint32_t value)
{
    uint8_t b[4];
    put_u32(b, value);
    return chunk_write_exact(f, b, 4);
}

int chunk_read_u32(FILE *f, uint32_t *value)
{
    uint8_t b[4];
    if (!chunk_read_exact(f, b, 4))
        return 0;
    *value = get_u32(b);
    return 1;
}

int chunk_expect_u32(FILE *f, uint32_t expected)
{
    uint32_t v;
    return chunk_read_u32(f, &v) && v == expected;
}

int chunk_write_id(FILE *f, const ChunkId *id)
{
    uint8_t b[16];
    for (int i = 0; i < 4; i++)
        put_u32(b + 4 * i, id->word[i]);
    return chunk_write_exact(f, b, 16);
}

int chunk_read_id(FILE *f, ChunkId *id)
{
    uint8_t b[16];
    if (!chunk_read_exact(f, b, 16))
        return 0;
    for (int i = 0; i < 4; i++)
        id->word[i] = get_u32(b + 4 * i);
    return 1;
}

int chunk_expect_id(FILE *f, const ChunkId *expected)
{
    ChunkId id;
    return chunk_read_id(f, &id) && chunk_same_id(&id, expected);
}

int chunk_same_id(const ChunkId *a, const ChunkId *b)
{
    for (int i = 0; i < 4; i++)
        if (a->word[i] != b->word[i])
            return 0;
    return 1;
}

void chunk_new_id(ChunkId *id)
{
    id->word[0] = (uint32_t)time(nullptr);
    id->word[1] = (uint32_t)io_platform_ticks();
    id->word[2] = (uint32_t)rand_mod(32768);
    id->word[3] = CHUNK_ID_MARK;
}

int chunk_write_header(FILE *f, uint32_t tag, uint32_t length)
{
    return chunk_write_u32(f, tag) && chunk_write_u32(f, length);
}

int chunk_read_header(FILE *f, uint32_t *tag, uint32_t *length)
{
    return chunk_read_u32(f, tag) && chunk_read_u32(f, length);
}

// The bytes from the current position to the end of the file, -1 when unknown.
static int64_t bytes_left(FILE *f)
{
    int64_t size = chunk_file_size(f);
    off_t pos = ftello(f);
    return size < 0 || pos < 0 ? -1 : size - pos;
}

int chunk_find(FILE *f, uint32_t tag, uint32_t *length)
{
    int64_t left = bytes_left(f);
    for (;;) {
        uint32_t t, len;
        if (left < 8 || !chunk_read_header(f, &t, &len))
            return 0;
        left -= 8;
        // Every record must fit in the file, so the scan always ends and no caller
        // sizes anything by a length the file cannot back.
        if ((int64_t)len > left)
            return 0;
        if (t == tag) {
            *length = len;
            return 1;
        }
        if (fseeko(f, (off_t)len, SEEK_CUR) != 0)
            return 0;
        left -= len;
    }
}

// A schema field outside the record would scribble over memory: that is a coding
// mistake, not a bad file.
static void check_schema(ChunkSchema schema, size_t record_size, const char *who)
{
    for (const ChunkField &e : schema) {
        if (e.tag == 0)
            return;
        if ((uint64_t)e.offset + e.size > record_size)
            io_error("%s: field of tag %u outside the record (%u + %u > %zu)\n", who, e.tag, e.offset, e.size,
                     record_size);
    }
}

static const ChunkField *schema_lookup(ChunkSchema schema, uint32_t tag)
{
    for (const ChunkField &e : schema) {
        if (e.tag == 0)
            return nullptr;
        if (e.tag == tag)
            return &e;
    }
    return nullptr;
}

int chunk_read_schema(FILE *f, ChunkSchema schema, void *record, size_t record_size)
{
    check_schema(schema, record_size, "chunk_read_schema");
    uint8_t *rec = (uint8_t *)record;
    int64_t left = bytes_left(f);
    if (left < 0)
        return 0;
    for (;;) {
        uint32_t tag, len;
        if (!chunk_read_header(f, &tag, &len))
            return !ferror(f);  // the file has ended, maybe inside a header: a clean end
        left -= 8;
        if ((int64_t)len > left)
            return 0;  // cut short or corrupt: not a partly read file
        left -= len;
        const ChunkField *e = schema_lookup(schema, tag);
        if (!e) {
            if (fseeko(f, (off_t)len, SEEK_CUR) != 0)
                return 0;
            continue;
        }
        if (len != e->size)
            return 0;
        if (e->size == 4) {
            uint32_t v;
            if (!chunk_read_u32(f, &v))
                return 0;
            memcpy(rec + e->offset, &v, 4);
        } else if (!chunk_read_exact(f, rec + e->offset, e->size)) {
            return 0;
        }
    }
}

int chunk_write_schema(FILE *f, ChunkSchema schema, const void *record, size_t record_size)
{
    check_schema(schema, record_size, "chunk_write_schema");
    const uint8_t *rec = (const uint8_t *)record;
    for (const ChunkField &e : schema) {
        if (e.tag == 0)
            break;
        if (!chunk_write_header(f, e.tag, e.size))
            return 0;
        if (e.size == 4) {
            uint32_t v;
            memcpy(&v, rec + e.offset, 4);
            if (!chunk_write_u32(f, v))
                return 0;
        } else if (!chunk_write_exact(f, rec + e.offset, e.size)) {
            return 0;
        }
    }
    return 1;
}

FILE *chunk_open(const char *path, const char *mode)
{
    char name[PATH_MAX];
    return game_path(path, name, sizeof name) ? fopen(name, mode) : nullptr;
}

int chunk_extract_to_file(FILE *f, uint32_t tag, const char *path)
{
    uint32_t len;
    char name[PATH_MAX];
    SafeFile out;
    if (!chunk_find(f, tag, &len) || !game_path(path, name, sizeof name) || !safe_file_open(&out, name))
        return 0;
    if (!chunk_copy(out.f, f, len)) {
        safe_file_abort(&out);
        return 0;
    }
    return safe_file_commit(&out);
}

// Opens a file to be copied whole and takes its size; 0 when it cannot or is too big
// for a u32 length.
static FILE *open_source(const char *path, uint32_t *size)
{
    FILE *src = chunk_open(path, "rb");
    if (!src)
        return nullptr;
    int64_t n = chunk_file_size(src);
    if (n < 0 || n > (int64_t)UINT32_MAX) {
        fclose(src);
        return nullptr;
    }
    *size = (uint32_t)n;
    return src;
}

int chunk_append_file(FILE *f, uint32_t tag, const char *path)
{
    uint32_t size;
    FILE *src = open_source(path, &size);
    if (!src)
        return 0;
    int ok = chunk_write_header(f, tag, size) && chunk_copy(f, src, size);
    fclose(src);
    return ok;
}

int chunk_rewrite_in_place(const char *path, uint32_t tag, const void *data, uint32_t size)
{
    FILE *f = chunk_open(path, "r+b");
    if (!f)
        return 0;
    uint32_t len;
    int ok = chunk_expect_u32(f, CHUNK_BOX1) && fseeko(f, 20, SEEK_CUR) == 0 && chunk_find(f, tag, &len) &&
             len == size &&
             fseeko(f, 0, SEEK_CUR) == 0  // the stream must be repositioned between a read and a write
             && chunk_write_exact(f, data, size) && fflush(f) == 0;
    // A write error can still surface when the stream is closed.
    if (fclose(f) != 0)
        ok = 0;
    return ok;
}

int chunk_append_raw(FILE *f, const char *path)
{
    uint32_t size;
    FILE *src = open_source(path, &size);
    if (!src)
        return 0;
    int ok = chunk_copy(f, src, size);
    fclose(src);
    return ok;
}

// The base name and extension of a path: no drive, no folder.
static const char *entry_name(const char *path)
{
    char c = path[0];
    if (((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) && path[1] == ':')
        path += 2;
    const char *name = path;
    for (const char *p = path; *p; p++)
        if (*p == '/' || *p == '\\')
            name = p + 1;
    return name;
}

int chunk_append_entry(FILE *f, const char *path, const char *stored_name)
{
    uint32_t size;
    FILE *src = open_source(path, &size);
    if (!src)
        return 0;
    const char *name = entry_name(stored_name && *stored_name ? stored_name : path);
    size_t name_len = strlen(name);
    int ok = name_len <= UINT32_MAX && chunk_write_u32(f, CHUNK_LMPF) && chunk_write_u32(f, (uint32_t)name_len) &&
             chunk_write_exact(f, name, name_len) && chunk_write_u32(f, size) && chunk_copy(f, src, size);
    fclose(src);
    return ok;
}

int chunk_create(SafeFile *sf, const char *path)
{
    char name[PATH_MAX];
    if (!game_path(path, name, sizeof name)) {
        // Nothing was opened; a later chunk_abort must not remove some other file.
        sf->f = nullptr;
        sf->target[0] = sf->temp[0] = 0;
        return 0;
    }
    if (!safe_file_open(sf, name))
        return 0;
    if (!chunk_write_u32(sf->f, 0)) {
        safe_file_abort(sf);
        return 0;
    }
    return 1;
}

int chunk_commit(SafeFile *sf, uint32_t magic)
{
    if (!sf->f)
        return 0;
    if (ferror(sf->f) || fseeko(sf->f, 0, SEEK_SET) != 0 || !chunk_write_u32(sf->f, magic)) {
        safe_file_abort(sf);
        return 0;
    }
    return safe_file_commit(sf);
}

void chunk_abort(SafeFile *sf)
{
    safe_file_abort(sf);
}
