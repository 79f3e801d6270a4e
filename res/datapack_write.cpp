// Making a pack from a folder. The same files always give the same bytes, so a pack can
// be rebuilt and compared: names in byte order, data in that order, nothing about the
// time or the machine stored.
#include "res/datapack.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "platform/files.h"

static struct {
    char error[1024];
} dpw;

struct PackItem {
    std::string name;  // relative to the folder, '/' between folders
    uint32_t size;
};

// The identity of the pack being replaced, so that a pack written into its own folder
// is not packed into the next one.
struct FileId {
    dev_t dev;
    ino_t ino;
    bool valid;
};

static int fail(const char *format, ...) __attribute__((format(printf, 1, 2)));
static int fail(const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    vsnprintf(dpw.error, sizeof dpw.error, format, ap);
    va_end(ap);
    return 0;
}

const char *dp_write_error(void)
{
    return dpw.error;
}

static void put32(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

// Gathers the regular files under folder/prefix. Symbolic links to files are packed
// as files; links to folders are not followed, so a loop of links cannot trap us.
static int collect(const std::string &folder, const std::string &prefix, const FileId &skip,
                   std::vector<PackItem> &items)
{
    std::string here = prefix.empty() ? folder : folder + "/" + prefix;
    DIR *dir = opendir(here.c_str());
    if (!dir)
        return fail("%s: cannot read the folder (%s)", here.c_str(), strerror(errno));
    std::vector<std::string> subfolders;
    int ok = 1;
    while (dirent *de = readdir(dir)) {
        if (strcmp(de->d_name, ".") == 0 || strcmp(de->d_name, "..") == 0)
            continue;
        std::string name = prefix + de->d_name;
        std::string path = folder + "/" + name;
        struct stat st;
        if (lstat(path.c_str(), &st) != 0) {
            ok = fail("%s: cannot read (%s)", path.c_str(), strerror(errno));
            break;
        }
        if (S_ISDIR(st.st_mode)) {
            subfolders.push_back(name);
            continue;
        }
        if (S_ISLNK(st.st_mode) && stat(path.c_str(), &st) != 0)
            continue;  // a dangling link holds no data
        if (!S_ISREG(st.st_mode) || (skip.valid && st.st_dev == skip.dev && st.st_ino == skip.ino))
            continue;
        if ((uint64_t)st.st_size > UINT32_MAX) {
            ok = fail("%s: too large for a pack", path.c_str());
            break;
        }
        items.push_back({name, (uint32_t)st.st_size});
    }
    closedir(dir);
    for (size_t i = 0; ok && i < subfolders.size(); i++)
        ok = collect(folder, subfolders[i] + "/", skip, items);
    return ok;
}

// Copies exactly `size` bytes of the file into the pack.
static int copy_in(const std::string &path, uint32_t size, FILE *out, const char *out_path)
{
    FILE *in = fopen(path.c_str(), "rb");
    if (!in)
        return fail("%s: cannot open (%s)", path.c_str(), strerror(errno));
    uint8_t chunk[16384];
    int ok = 1;
    while (ok && size > 0) {
        size_t n = std::min<size_t>(size, sizeof chunk);
        if (fread(chunk, 1, n, in) != n)
            ok = fail("%s: shorter than when the folder was read", path.c_str());
        else if (fwrite(chunk, 1, n, out) != n)
            ok = fail("%s: cannot write (%s)", out_path, strerror(errno));
        size -= (uint32_t)n;
    }
    fclose(in);
    return ok;
}

int dp_write_pack(const char *folder, const char *out_path)
{
    dpw.error[0] = 0;
    FileId skip = {};
    struct stat st;
    if (stat(out_path, &st) == 0)
        skip = {st.st_dev, st.st_ino, true};
    std::vector<PackItem> items;
    if (!collect(folder, "", skip, items))
        return 0;
    std::sort(items.begin(), items.end(), [](const PackItem &l, const PackItem &r) { return l.name < r.name; });

    // Data follows the header in name order; the directory comes last. Every offset is
    // 32 bits, so the whole pack must stay below 4 GB.
    std::vector<uint8_t> directory;
    uint64_t offset = DP_HEADER_SIZE;
    for (const PackItem &it : items) {
        size_t len = (DP_ENTRY_HEAD + it.name.size() + 1 + 3) & ~(size_t)3;  // padded to 4 bytes
        size_t at = directory.size();
        directory.resize(at + len, 0);
        if (len > UINT32_MAX || offset > UINT32_MAX)
            return fail("%s: the files are too large for one pack", folder);
        put32(&directory[at], (uint32_t)len);
        put32(&directory[at + 4], (uint32_t)offset);
        put32(&directory[at + 8], it.size);
        memcpy(&directory[at + DP_ENTRY_HEAD], it.name.data(), it.name.size());
        offset += it.size;
    }
    if (offset + directory.size() > UINT32_MAX || items.size() > UINT32_MAX)
        return fail("%s: the files are too large for one pack", folder);

    uint8_t head[DP_HEADER_SIZE];
    put32(head, 0);  // the magic goes in last: a pack cut short is never taken for whole
    put32(head + 4, (uint32_t)offset);
    put32(head + 8, (uint32_t)directory.size());
    put32(head + 12, (uint32_t)items.size());

    SafeFile sf;
    if (!safe_file_open(&sf, out_path))
        return fail("%s: cannot write (%s)", out_path, strerror(errno));
    int ok = fwrite(head, 1, sizeof head, sf.f) == sizeof head;
    for (size_t i = 0; ok && i < items.size(); i++)
        ok = copy_in(std::string(folder) + "/" + items[i].name, items[i].size, sf.f, out_path);
    if (ok) {
        put32(head, DP_MAGIC);
        ok = (directory.empty() || fwrite(directory.data(), 1, directory.size(), sf.f) == directory.size()) &&
             fseek(sf.f, 0, SEEK_SET) == 0 && fwrite(head, 1, 4, sf.f) == 4;
        if (!ok)
            fail("%s: cannot write (%s)", out_path, strerror(errno));
    } else if (!dpw.error[0]) {
        fail("%s: cannot write (%s)", out_path, strerror(errno));
    }
    if (!ok) {
        safe_file_abort(&sf);
        return 0;
    }
    if (!safe_file_commit(&sf))
        return fail("%s: cannot write (%s)", out_path, strerror(errno));
    return 1;
}
