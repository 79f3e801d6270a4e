// File and folder helpers over POSIX calls.
#include "platform/files.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

int file_exists(const char *name)
{
    struct stat st;
    return stat(name, &st) == 0;
}

int file_delete(const char *name)
{
    return unlink(name) == 0 || errno == ENOENT;
}

int make_dir(const char *name)
{
    // Missing parents are made too, so a boxes folder given as "-path My/Boxes" works.
    char path[4096];
    snprintf(path, sizeof path, "%s", name);
    for (char *p = path + 1; *p; p++) {
        if (*p != '/')
            continue;
        *p = 0;
        mkdir(path, 0777);
        *p = '/';
    }
    if (mkdir(path, 0777) == 0)
        return 1;
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

int name_match(const char *pattern, const char *name)
{
    // Iterative wildcard match with one backtrack point for the last '*'.
    const char *star = nullptr, *resume = nullptr;
    while (*name) {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == '?' ||
                   (*pattern && tolower((unsigned char)*pattern) == tolower((unsigned char)*name))) {
            pattern++;
            name++;
        } else if (star) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return 0;
        }
    }
    while (*pattern == '*')
        pattern++;
    return *pattern == 0;
}

int file_resolve_case(const char *name, char *out, size_t size)
{
    size_t n = strlen(name);
    if (n >= size) {
        if (size > 0)
            out[0] = 0;
        return 0;
    }
    memcpy(out, name, n + 1);
    struct stat st;
    if (stat(name, &st) == 0)
        return 1;
    const char *slash = strrchr(name, '/');
    std::string folder = slash ? std::string(name, (size_t)(slash - name)) : std::string(".");
    if (slash && slash == name)
        folder = "/";
    const char *base = slash ? slash + 1 : name;
    DIR *dir = opendir(folder.c_str());
    if (!dir)
        return 0;
    std::string best;
    while (dirent *de = readdir(dir))
        if (strcasecmp(de->d_name, base) == 0 && (best.empty() || strcmp(de->d_name, best.c_str()) < 0))
            best = de->d_name;
    closedir(dir);
    if (best.empty() || strlen(best.c_str()) != strlen(base))
        return 0;
    // Same length as asked for: only the letters' case differs, so the name still fits.
    memcpy(out + (base - name), best.c_str(), best.size() + 1);
    return 1;
}

int safe_file_open(SafeFile *sf, const char *name)
{
    int n = snprintf(sf->target, sizeof sf->target, "%s", name);
    int m = snprintf(sf->temp, sizeof sf->temp, "%s.%d.part", name, (int)getpid());
    if (n < 0 || n >= (int)sizeof sf->target || m < 0 || m >= (int)sizeof sf->temp) {
        // A name cut short would write, and then replace, some other file.
        sf->target[0] = sf->temp[0] = 0;
        sf->f = nullptr;
        return 0;
    }
    sf->f = fopen(sf->temp, "wb");
    return sf->f != nullptr;
}

int safe_file_commit(SafeFile *sf)
{
    if (!sf->f)
        return 0;
    bool ok = fflush(sf->f) == 0 && !ferror(sf->f) && fsync(fileno(sf->f)) == 0;
    ok = (fclose(sf->f) == 0) && ok;
    sf->f = nullptr;
    if (ok && rename(sf->temp, sf->target) == 0)
        return 1;
    remove(sf->temp);
    return 0;
}

void safe_file_abort(SafeFile *sf)
{
    if (sf->f)
        fclose(sf->f);
    sf->f = nullptr;
    remove(sf->temp);
}

struct TempEntry {
    std::string path;
    int64_t size;
    int64_t atime_ns;
};

int64_t io_temp_trim(const char *folder, const char *pattern, int64_t budget)
{
    DIR *dir = opendir(folder);
    if (!dir)
        return 0;
    std::vector<TempEntry> files;
    int64_t total = 0;
    while (dirent *de = readdir(dir)) {
        if (!name_match(pattern, de->d_name))
            continue;
        std::string path = std::string(folder) + "/" + de->d_name;
        struct stat st;
        if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        // Sizes count by their low 32 bits, as the budget always has.
        int64_t size = (int64_t)(uint32_t)st.st_size;
        files.push_back({path, size, (int64_t)st.st_atim.tv_sec * 1000000000 + st.st_atim.tv_nsec});
        total += size;
    }
    closedir(dir);
    // Oldest access first; names break ties so the order does not depend on the disk.
    std::sort(files.begin(), files.end(), [](const TempEntry &l, const TempEntry &r) {
        return l.atime_ns != r.atime_ns ? l.atime_ns < r.atime_ns : l.path < r.path;
    });
    for (const TempEntry &f : files) {
        if (total <= budget)
            break;
        if (unlink(f.path.c_str()) == 0)
            total -= f.size;
    }
    return total;
}
