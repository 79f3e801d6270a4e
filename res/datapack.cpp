// Reading the data pack: pack files and loose folders behind one set of stdio-like calls.
#include "res/datapack.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

#include "platform/files.h"
#include "platform/log.h"
#include "platform/memory.h"

DataPack datapacks[DP_MAX_PACKS];
FileInfo fileinfos[DP_MAX_FILEINFOS];

constexpr size_t DP_PATH_MAX = 4096;
constexpr size_t DP_COPY_CHUNK = 16384;

static struct {
    int pack_count;
    int info_count;
    int open_info;     // the file-info of the open file, -1 when none is open
    FILE *open_stream; // the pack's own stream, or the loose file's
} dp = {0, 0, -1, nullptr};

static uint32_t rd32(const uint8_t *p)
{
    return p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static const char *entry_name(const uint8_t *entry) { return (const char *)entry + DP_ENTRY_HEAD; }
static uint32_t entry_offset(const uint8_t *entry) { return rd32(entry + 4); }
static uint32_t entry_size(const uint8_t *entry) { return rd32(entry + 8); }

static FileInfo *info_get(int index, const char *who)
{
    if (index < 0 || index >= dp.info_count)
        io_error("%s: bad index (%i)", who, index);
    return &fileinfos[index];
}

static const char *info_name(const FileInfo *fi)
{
    return fi->entry ? entry_name(fi->entry) : fi->loose_name;
}

// "folder/name" for a loose file; a folder given as plain "@" is the current one. False
// when the path would not fit, which counts as not found.
static bool loose_path(const DataPack *pack, const char *name, char (&out)[DP_PATH_MAX])
{
    int n = pack->name[0] ? snprintf(out, sizeof out, "%s/%s", pack->name, name)
                          : snprintf(out, sizeof out, "%s", name);
    return n >= 0 && (size_t)n < sizeof out;
}

static bool is_regular_file(const char *path)
{
    struct stat st;
    return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

// Every entry is checked once here, so later walks of the directory and reads of file
// data can trust its lengths, names and offsets.
static void check_directory(const DataPack *pack, uint32_t dir_size, uint64_t file_size)
{
    uint32_t at = 0;
    for (uint32_t i = 0; i < pack->entry_count; i++) {
        const uint8_t *e = pack->directory + at;
        uint32_t left = dir_size - at;
        if (left < DP_ENTRY_HEAD + 1)
            io_error("dp_open: invalid pack (%s): entry %u runs past the directory", pack->name, i);
        uint32_t len = rd32(e);
        if (len < DP_ENTRY_HEAD + 1 || len > left)
            io_error("dp_open: invalid pack (%s): entry %u has a bad length (%u)", pack->name, i, len);
        if (!memchr(e + DP_ENTRY_HEAD, 0, len - DP_ENTRY_HEAD))
            io_error("dp_open: invalid pack (%s): the name of entry %u is not terminated", pack->name, i);
        if ((uint64_t)entry_offset(e) + entry_size(e) > file_size)
            io_error("dp_open: invalid pack (%s): the data of entry %u lies outside the file", pack->name, i);
        at += len;
    }
}

void dp_open(const char *name)
{
    if (dp.pack_count >= DP_MAX_PACKS)
        io_error("dp_open: datapacks id full");
    DataPack *pack = &datapacks[dp.pack_count++];
    memset(pack, 0, sizeof *pack);
    // A name cut short would open some other file.
    if (strlen(name) >= sizeof pack->name)
        io_error("dp_open: not found (%s)", name);
    strcpy(pack->name, name);
    if (char *at = strchr(pack->name, '@')) {
        *at = 0;
        return;
    }

    // Only a regular file: opening a pipe or a device could wait for ever.
    if (!is_regular_file(name) || !(pack->file = fopen(name, "rb")))
        io_error("dp_open: not found (%s)", name);
    uint8_t head[DP_HEADER_SIZE];
    if (fread(head, 1, sizeof head, pack->file) != sizeof head)
        io_error("dp_open: fread of packhead (%s)", name);
    if (rd32(head) != DP_MAGIC)
        io_error("dp_open: invalid magic (%s)", name);
    uint32_t dir_offset = rd32(head + 4), dir_size = rd32(head + 8);
    pack->entry_count = rd32(head + 12);

    // The directory is checked against the file size before anything is allocated, so
    // a damaged header can neither ask for a huge block nor send us outside the file.
    struct stat st;
    if (fstat(fileno(pack->file), &st) != 0 || (uint64_t)dir_offset + dir_size > (uint64_t)st.st_size)
        io_error("dp_open: fread packfiles (%s)", name);
    pack->directory = (uint8_t *)io_mem_alloc(dir_size);
    if (dir_size && (fseeko(pack->file, dir_offset, SEEK_SET) != 0 ||
                     fread(pack->directory, 1, dir_size, pack->file) != dir_size))
        io_error("dp_open: fread packfiles (%s)", name);
    check_directory(pack, dir_size, (uint64_t)st.st_size);
}

static const uint8_t *find_entry(const DataPack *pack, const char *name)
{
    const uint8_t *e = pack->directory;
    for (uint32_t i = 0; i < pack->entry_count; e += rd32(e), i++)
        if (strcmp(entry_name(e), name) == 0)
            return e;
    return nullptr;
}

int dp_get_index(const char *name, int must_exist)
{
    for (int i = 0; i < dp.info_count; i++)
        if (strcmp(info_name(&fileinfos[i]), name) == 0)
            return i;
    if (dp.info_count >= DP_MAX_FILEINFOS)
        io_error("dp_get_index: fileinfos is full");

    for (int p = 0; p < dp.pack_count; p++) {
        const DataPack *pack = &datapacks[p];
        FileInfo fi = {p, nullptr, nullptr};
        if (pack->file) {
            fi.entry = find_entry(pack, name);
            if (!fi.entry)
                continue;
        } else {
            char path[DP_PATH_MAX];
            if (!loose_path(pack, name, path) || !is_regular_file(path))
                continue;
            size_t len = strlen(name) + 1;
            fi.loose_name = (char *)io_mem_alloc(len);
            memcpy(fi.loose_name, name, len);
        }
        fileinfos[dp.info_count] = fi;
        return dp.info_count++;
    }
    if (must_exist)
        io_error("dp_get_hfile: file not found (%s)", name);
    return -1;
}

const char *dp_get_name(int index)
{
    return info_name(info_get(index, "dp_get_name"));
}

// Opens a loose file for reading; a file that was found and is gone now is fatal.
static FILE *loose_open(const FileInfo *fi, const char *who)
{
    char path[DP_PATH_MAX];
    FILE *f = loose_path(&datapacks[fi->pack], fi->loose_name, path) ? fopen(path, "rb") : nullptr;
    if (!f)
        io_error("%s: not found (%s)", who, fi->loose_name);
    return f;
}

uint32_t dp_size(int index)
{
    const FileInfo *fi = info_get(index, "dp_size");
    if (fi->entry)
        return entry_size(fi->entry);
    if (dp.open_info >= 0)
        io_error("dp_fopen: next open");
    FILE *f = loose_open(fi, "dp_size");
    struct stat st;
    bool ok = fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && (uint64_t)st.st_size <= UINT32_MAX;
    fclose(f);
    if (!ok)
        io_error("dp_size: not a readable file (%s)", fi->loose_name);
    return (uint32_t)st.st_size;
}

FILE *dp_fopen(int index)
{
    if (dp.open_info >= 0)
        io_error("dp_fopen: next open");
    const FileInfo *fi = info_get(index, "dp_fopen");
    dp.open_stream = fi->entry ? datapacks[fi->pack].file : loose_open(fi, "dp_fopen");
    dp.open_info = index;
    dp_fseek(0);
    return dp.open_stream;
}

void dp_fclose(void)
{
    if (dp.open_info < 0)
        io_error("dp_fopen: next open");
    if (!fileinfos[dp.open_info].entry)
        fclose(dp.open_stream);
    dp.open_info = -1;
    dp.open_stream = nullptr;
}

void dp_fseek(uint32_t offset)
{
    if (dp.open_info < 0)
        io_error("dp_fseek: file is not open");
    const FileInfo *fi = &fileinfos[dp.open_info];
    uint64_t at = (uint64_t)offset + (fi->entry ? entry_offset(fi->entry) : 0);
    if (fseeko(dp.open_stream, (off_t)at, SEEK_SET) != 0)
        io_error("dp_fseek: %s", info_name(fi));
}

// Reads n bytes of the open file. A packed file ends where its entry says, not where
// the pack does: reading on would hand out the next file's bytes as this one's.
static bool read_open(void *buffer, size_t n)
{
    const FileInfo *fi = &fileinfos[dp.open_info];
    if (fi->entry) {
        off_t at = ftello(dp.open_stream);
        uint64_t start = entry_offset(fi->entry), end = start + entry_size(fi->entry);
        if (at < 0 || (uint64_t)at < start || (uint64_t)at > end || n > end - (uint64_t)at)
            return false;
    }
    return fread(buffer, 1, n, dp.open_stream) == n;
}

void dp_fread(void *buffer, size_t n)
{
    if (dp.open_info < 0)
        io_error("dp_fread: file is not open");
    if (n && !read_open(buffer, n))
        io_error("dp_fread: %s", info_name(&fileinfos[dp.open_info]));
}

void *dp_load(int index)
{
    uint32_t size = dp_size(index);
    void *block = io_mem_alloc(std::max<uint32_t>(size, 1));
    dp_fopen(index);
    dp_fread(block, size);
    dp_fclose();
    return block;
}

int dp_extract(int index, const char *path)
{
    uint32_t left = dp_size(index);
    dp_fopen(index);
    SafeFile sf;
    if (!safe_file_open(&sf, path)) {
        dp_fclose();
        return 0;
    }
    uint8_t chunk[DP_COPY_CHUNK];
    while (left > 0) {
        size_t n = std::min<size_t>(left, sizeof chunk);
        if (!read_open(chunk, n)) {
            // Take the half-written copy away before the process ends.
            safe_file_abort(&sf);
            io_error("dp_fread: %s", dp_get_name(index));
        }
        if (fwrite(chunk, 1, n, sf.f) != n) {
            safe_file_abort(&sf);
            dp_fclose();
            return 0;
        }
        left -= (uint32_t)n;
    }
    dp_fclose();
    return safe_file_commit(&sf);
}

void dp_list(int pack, DpListFn fn, void *ctx)
{
    if (pack < 0 || pack >= dp.pack_count || !datapacks[pack].file)
        io_error("dp_list: not a pack (%i)", pack);
    const uint8_t *e = datapacks[pack].directory;
    for (uint32_t i = 0; i < datapacks[pack].entry_count; e += rd32(e), i++)
        fn(entry_name(e), entry_size(e), ctx);
}

void dp_close(void)
{
    if (dp.open_info >= 0)
        dp_fclose();
    for (int i = 0; i < dp.info_count; i++)
        io_mem_free(fileinfos[i].loose_name);
    for (int p = 0; p < dp.pack_count; p++) {
        io_mem_free(datapacks[p].directory);
        if (datapacks[p].file)
            fclose(datapacks[p].file);
    }
    memset(datapacks, 0, sizeof datapacks);
    memset(fileinfos, 0, sizeof fileinfos);
    dp.pack_count = 0;
    dp.info_count = 0;
}
