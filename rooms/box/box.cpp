// Box files: reading with every field and part checked before it is believed, writing
// through a file that replaces the box only when complete, and the surprise flag.
#include "rooms/box/box.h"

#include <cstdarg>
#include <cstring>
#include <sys/types.h>
#include <unistd.h>

#include "image/jpeg.h"
#include "platform/config.h"
#include "platform/files.h"
#include "puzzle/cut.h"
#include "res/lang.h"

const ChunkField box_schema[15] = {
    {1, 4, offsetof(BoxInfo, piece_size)},
    {2, 4, offsetof(BoxInfo, jitter)},
    {3, 4, offsetof(BoxInfo, shape)},
    {4, 4, offsetof(BoxInfo, picture_width)},
    {5, 4, offsetof(BoxInfo, picture_height)},
    {6, 4, offsetof(BoxInfo, piece_count)},
    {7, 4, offsetof(BoxInfo, rotation)},
    {BOX_TAG_SURPRISE, 4, offsetof(BoxInfo, surprise)},
    {9, 4, offsetof(BoxInfo, has_music)},
    {10, 4, offsetof(BoxInfo, has_description)},
    {11, 4, offsetof(BoxInfo, has_address)},
    {12, 4, offsetof(BoxInfo, link_box)},
    {14, 4, offsetof(BoxInfo, reserved)},
    {15, 4, offsetof(BoxInfo, loop_music)},
    {0, 0, 0},
};

const BoxParts box_temp_parts = {BOX_TEMP_PICTURE, BOX_TEMP_DESCRIPTION, BOX_TEMP_MUSIC, BOX_TEMP_ADDRESS};

constexpr uint32_t BOX_VERSION = CHUNK_VERSION_BOX;
constexpr size_t BOX_PATH_BUFFER = 512;  // boxes folder (up to 259), '/', name, ".pzl"

static struct {
    char reason[200];
} bx;

// Keeps the reason of a failure; always 0, so checks read as "ok || why(...)".
[[gnu::format(printf, 1, 2)]] static int why(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vsnprintf(bx.reason, sizeof bx.reason, format, args);
    va_end(args);
    return 0;
}

const char *box_reason(void)
{
    return bx.reason;
}

static bool is_flag(int32_t v)
{
    return v == 0 || v == 1;
}

int box_info_valid(const BoxInfo *info)
{
    int32_t w = info->picture_width, h = info->picture_height, s = info->piece_size;
    if (w < 1 || h < 1 || w > BOX_SIDE_MAX || h > BOX_SIDE_MAX)
        return why("picture size %ix%i is outside 1 to %i", w, h, BOX_SIDE_MAX);
    const struct {
        int32_t value;
        const char *name;
    } flags[] = {{info->rotation, "rotation"},       {info->surprise, "surprise"},
                 {info->has_music, "has-music"},     {info->has_description, "has-description"},
                 {info->has_address, "has-address"}, {info->link_box, "link box"},
                 {info->loop_music, "loop music"}};
    for (const auto &flag : flags)
        if (!is_flag(flag.value))
            return why("the %s field is %i, not 0 or 1", flag.name, flag.value);
    if (info->link_box) {
        // Never cut, so the cut fields mean nothing; but the whole picture is its preview.
        if (w > BOX_LINK_WIDTH_MAX || h > BOX_LINK_HEIGHT_MAX)
            return why("a link box's picture of %ix%i is larger than %ix%i", w, h, BOX_LINK_WIDTH_MAX,
                       BOX_LINK_HEIGHT_MAX);
        return 1;
    }
    int32_t smaller = w < h ? w : h;
    if (s < BOX_PIECE_MIN || s > smaller / 2)
        return why("piece size %i is outside %i to %i", s, BOX_PIECE_MIN, smaller / 2);
    if (info->jitter < 0 || info->jitter > BOX_JITTER_MAX)
        return why("jitter %i is outside 0 to %i", info->jitter, BOX_JITTER_MAX);
    if (info->shape < 0 || info->shape >= BOX_SHAPES)
        return why("shape %i is outside 0 to %i", info->shape, BOX_SHAPES - 1);
    int32_t columns, rows, ox, oy;
    cut_grid_measure(info, &columns, &rows, &ox, &oy);
    if (info->piece_count != columns * rows)
        return why("piece count %i is not %i x %i", info->piece_count, columns, rows);
    return 1;
}

int box_name_valid(const char *name)
{
    size_t n = strlen(name);
    if (n == 0 || n > (size_t)BOX_NAME_MAX || strcmp(name, ".") == 0 || strcmp(name, "..") == 0)
        return 0;
    for (const char *p = name; *p; p++) {
        unsigned char c = (unsigned char)*p;
        if (c == '/' || c == '\\' || c < 32 || c == 127)
            return 0;
    }
    return 1;
}

int box_path(char *out, size_t size, const char *name)
{
    if (size > 0)
        out[0] = 0;
    if (!box_name_valid(name))
        return 0;
    char built[BOX_PATH_BUFFER];
    path_box(built, (int32_t)sizeof built, name);
    if (strlen(built) >= size)
        return 0;
    file_resolve_case(built, out, size);
    return 1;
}

// Deletes the files of the parts of a failed read or of parts that turned out absent.
static void clear_parts(const BoxParts *parts, uint32_t mask)
{
    if ((mask & BOX_PICTURE) && parts->picture) {
        // Cut first: a picture that cannot be deleted must still never pass for this box's.
        if (FILE *f = chunk_open(parts->picture, "r+b")) {
            int cut = ftruncate(fileno(f), 0);
            (void)cut;  // deleted below all the same
            fclose(f);
        }
        file_delete(parts->picture);
    }
    if ((mask & BOX_DESCRIPTION) && parts->description)
        file_delete(parts->description);
    if ((mask & BOX_MUSIC) && parts->music)
        file_delete(parts->music);
    if ((mask & BOX_ADDRESS) && parts->address)
        file_delete(parts->address);
}

void box_clear_temp(uint32_t mask)
{
    clear_parts(&box_temp_parts, mask);
}

// Finds `tag` by a fresh search from the first record.
static int find_record(FILE *f, uint32_t tag, uint32_t *length)
{
    return fseeko(f, CHUNK_FIRST_RECORD, SEEK_SET) == 0 && chunk_find(f, tag, length);
}

// The size of the JPEG picture in the file at `path`; 0 when it is no JPEG.
static int jpeg_file_size(const char *path, int32_t *w, int32_t *h)
{
    FILE *f = chunk_open(path, "rb");
    if (!f)
        return 0;
    uint32_t format;
    int bad = jpeg_read_info(f, w, h, &format);
    fclose(f);
    return !bad;
}

static int read_picture(FILE *f, const BoxInfo *info, const char *path)
{
    uint32_t length;
    if (!find_record(f, BOX_TAG_PICTURE, &length))
        return why("there is no picture record");
    if (length == 0)
        return why("the picture record is empty");
    if (fseeko(f, CHUNK_FIRST_RECORD, SEEK_SET) != 0 || !chunk_extract_to_file(f, BOX_TAG_PICTURE, path))
        return why("the picture cannot be copied to %s", path);
    int32_t w, h;
    if (!jpeg_file_size(path, &w, &h))
        return why("the picture record is not a JPEG picture");
    if (w != info->picture_width || h != info->picture_height)
        return why("the picture is %ix%i but the box says %ix%i", w, h, info->picture_width, info->picture_height);
    return 1;
}

// Music, description or address: copied out when the box claims it and holds it; a part
// claimed but missing (or that cannot be copied) reads as absent. Texts longer than
// BOX_TEXT_MAX make the box unreadable: no box of ours holds one.
static int read_part(FILE *f, uint32_t tag, int32_t *flag, const char *path, uint32_t limit, const char *what)
{
    uint32_t length;
    bool there = *flag && find_record(f, tag, &length);
    if (there && length > limit)
        return why("the %s record of %u bytes is longer than %u", what, length, limit);
    if (!there || fseeko(f, CHUNK_FIRST_RECORD, SEEK_SET) != 0 || !chunk_extract_to_file(f, tag, path)) {
        file_delete(path);
        *flag = 0;
    }
    return 1;
}

int box_read_file(const char *path, ChunkId *id, BoxInfo *info, uint32_t mask, const BoxParts *parts)
{
    bx.reason[0] = 0;
    memset(info, 0, sizeof *info);
    FILE *f = chunk_open(path, "rb");
    uint32_t version;
    int ok = f || why("the file cannot be opened");
    ok = ok && (chunk_expect_u32(f, CHUNK_BOX1) || why("not a box file (the magic is not BOX1)"));
    ok = ok && ((chunk_read_id(f, id) && chunk_read_u32(f, &version)) || why("the file ends inside its head"));
    ok = ok && (chunk_read_schema(f, box_schema, info, sizeof *info) ||
                why("a box information record has the wrong size or runs past the end of the file"));
    ok = ok && box_info_valid(info);
    if (ok && (mask & BOX_PICTURE))
        ok = read_picture(f, info, parts->picture);
    if (ok && (mask & BOX_MUSIC))
        ok = read_part(f, BOX_TAG_MUSIC, &info->has_music, parts->music, UINT32_MAX, "music");
    if (ok && (mask & BOX_DESCRIPTION))
        ok = read_part(f, BOX_TAG_DESCRIPTION, &info->has_description, parts->description, BOX_TEXT_MAX,
                       "description");
    if (ok && (mask & BOX_ADDRESS))
        ok = read_part(f, BOX_TAG_ADDRESS, &info->has_address, parts->address, BOX_TEXT_MAX, "address");
    if (f)
        fclose(f);
    if (!ok)
        clear_parts(parts, BOX_ALL_PARTS);
    return ok;
}

int box_read(const char *name, ChunkId *id, BoxInfo *info, uint32_t mask)
{
    char path[IO_PATH_MAX];
    if (!box_path(path, sizeof path, name)) {
        memset(info, 0, sizeof *info);
        box_clear_temp(BOX_ALL_PARTS);
        return why("'%s' is not a box name", name);
    }
    return box_read_file(path, id, info, mask, &box_temp_parts);
}

// The size of the file at `path`, -1 when it cannot be opened.
static int64_t file_size_of(const char *path)
{
    FILE *f = chunk_open(path, "rb");
    if (!f)
        return -1;
    int64_t n = chunk_file_size(f);
    fclose(f);
    return n;
}

int box_write_file(const char *path, const ChunkId *id, const BoxInfo *info, const BoxParts *parts)
{
    bx.reason[0] = 0;
    if (!box_info_valid(info))
        return 0;
    int32_t w, h;
    if (!jpeg_file_size(parts->picture, &w, &h))
        return why("the picture %s is not a JPEG picture", parts->picture);
    if (w != info->picture_width || h != info->picture_height)
        return why("the picture is %ix%i but the box says %ix%i", w, h, info->picture_width, info->picture_height);
    // A box that could not be read back is not written.
    if (info->has_description && file_size_of(parts->description) > (int64_t)BOX_TEXT_MAX)
        return why("the description is longer than %u bytes", BOX_TEXT_MAX);
    if (info->has_address && file_size_of(parts->address) > (int64_t)BOX_TEXT_MAX)
        return why("the address is longer than %u bytes", BOX_TEXT_MAX);

    BoxInfo stored = *info;
    stored.reserved = 0;
    SafeFile sf;
    if (!chunk_create(&sf, path))
        return why("%s cannot be created", path);
    int ok = chunk_write_id(sf.f, id) && chunk_write_u32(sf.f, BOX_VERSION) &&
             chunk_write_schema(sf.f, box_schema, &stored, sizeof stored) &&
             chunk_append_file(sf.f, BOX_TAG_PICTURE, parts->picture) &&
             (!stored.has_music || chunk_append_file(sf.f, BOX_TAG_MUSIC, parts->music)) &&
             (!stored.has_description || chunk_append_file(sf.f, BOX_TAG_DESCRIPTION, parts->description)) &&
             (!stored.has_address || chunk_append_file(sf.f, BOX_TAG_ADDRESS, parts->address));
    if (!ok) {
        chunk_abort(&sf);
        return why("a part could not be read or the box could not be written");
    }
    return chunk_commit(&sf, CHUNK_BOX1) || why("the box could not be put in place");
}

int box_write(const char *name, const ChunkId *id, const BoxInfo *info)
{
    char path[IO_PATH_MAX];
    if (!box_path(path, sizeof path, name))
        return why("'%s' is not a box name", name);
    return box_write_file(path, id, info, &box_temp_parts);
}

int box_set_surprise(const char *path, int32_t value)
{
    if (!is_flag(value))
        return 0;
    char real[IO_PATH_MAX];
    file_resolve_case(path, real, sizeof real);
    FILE *src = real[0] ? chunk_open(real, "rb") : nullptr;
    if (!src)
        return 0;
    ChunkId id;
    uint32_t version, length, current = 0;
    off_t at = -1;
    int64_t size = chunk_file_size(src);
    int ok = size > 0 && chunk_expect_u32(src, CHUNK_BOX1) && chunk_read_id(src, &id) &&
             chunk_read_u32(src, &version) && chunk_find(src, BOX_TAG_SURPRISE, &length) && length == 4 &&
             (at = ftello(src)) > 0 && chunk_read_u32(src, &current);
    if (!ok || current == (uint32_t)value) {
        fclose(src);
        return ok;
    }
    // A copy with the one word changed, moved over the box when complete: the old box
    // stays whole until the new one is.
    SafeFile sf;
    if (!chunk_create(&sf, real)) {
        fclose(src);
        return 0;
    }
    ok = fseeko(src, 4, SEEK_SET) == 0 && chunk_copy(sf.f, src, (uint64_t)at - 4) &&
         chunk_write_u32(sf.f, (uint32_t)value) && fseeko(src, at + 4, SEEK_SET) == 0 &&
         chunk_copy(sf.f, src, (uint64_t)(size - at - 4));
    fclose(src);
    if (!ok) {
        chunk_abort(&sf);
        return 0;
    }
    return chunk_commit(&sf, CHUNK_BOX1);
}
