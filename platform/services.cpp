// Small services over POSIX and the desktop's own tools. Helper programs (xdg-user-dir,
// xdg-open, gsettings) are started with an argument vector, never through a shell, so
// no name a player typed can ever be read as a command.
#include "platform/services.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/files.h"
#include "platform/log.h"
#include "platform/memory.h"
#include "platform/platform.h"

extern char **environ;

constexpr int SVC_PENDING_MAX = 8;              // helpers still running after their wait
constexpr int SVC_QUERY_TIMEOUT_MS = 2000;      // xdg-user-dir, gsettings
constexpr int SVC_OPEN_TIMEOUT_MS = 1500;       // xdg-open: longer than this, it has launched something
constexpr int64_t SVC_TEXT_MAX = 64 << 20;      // no text file of the game comes near this
constexpr const char *SVC_MAKER_ADDRESS = "https://pelmora.example/";
constexpr int SVC_RUN_FAILED = -1, SVC_RUN_TIMEOUT = -2;

// The standard screens, smallest first.
struct ScreenSize {
    int32_t w, h;
};
static constexpr ScreenSize svc_screens[] = {
    {640, 480}, {800, 600}, {1024, 768}, {1152, 864}, {1280, 1024}, {1600, 1200},
};

static struct {
    pid_t pending[SVC_PENDING_MAX];  // reaped on later calls, so none lingers as a zombie
    std::vector<std::string> names;  // the enumeration dir_next walks
    size_t next;
} svc;

// --- helper programs ---

static int64_t svc_now_ms(void)
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (int64_t)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

static void svc_reap(void)
{
    for (pid_t &pid : svc.pending)
        if (pid > 0 && waitpid(pid, nullptr, WNOHANG) != 0)
            pid = 0;
}

// Runs the program argv[0] from the PATH with stdin and stderr on /dev/null and stdout
// into `out` (or /dev/null). Returns its exit code, SVC_RUN_FAILED when it could not be
// started or died of a signal, SVC_RUN_TIMEOUT when it still runs after timeout_ms; it
// is then left to finish on its own.
static int svc_run(const char *const argv[], char *out, int32_t out_size, int timeout_ms)
{
    svc_reap();
    if (out && out_size > 0)
        out[0] = 0;
    int fds[2] = {-1, -1};
    if (out && pipe2(fds, O_CLOEXEC) != 0)
        return SVC_RUN_FAILED;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (out)
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    int err = posix_spawnp(&pid, argv[0], &actions, nullptr, (char *const *)argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (out)
        close(fds[1]);
    if (err != 0) {
        if (out)
            close(fds[0]);
        return SVC_RUN_FAILED;
    }
    int64_t deadline = svc_now_ms() + timeout_ms;
    if (out) {
        int32_t used = 0;
        for (;;) {
            int64_t left = deadline - svc_now_ms();
            pollfd p = {fds[0], POLLIN, 0};
            if (left <= 0 || poll(&p, 1, (int)left) <= 0)
                break;
            char chunk[256];
            ssize_t n = read(fds[0], chunk, sizeof chunk);
            if (n <= 0)
                break;
            int32_t take = std::min<int32_t>((int32_t)n, out_size - 1 - used);
            memcpy(out + used, chunk, (size_t)std::max(take, 0));
            used += std::max(take, 0);
            out[used] = 0;
        }
        close(fds[0]);
    }
    for (;;) {
        int status;
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : SVC_RUN_FAILED;
        if (r < 0 && errno != EINTR)
            return SVC_RUN_FAILED;
        if (svc_now_ms() >= deadline)
            break;
        usleep(5000);
    }
    for (pid_t &slot : svc.pending)
        if (slot <= 0) {
            slot = pid;
            break;
        }
    return SVC_RUN_TIMEOUT;
}

// Copies text into buffer only when it fits whole: a path cut short names another file.
static void svc_set(char *buffer, int32_t size, const char *text)
{
    if (!buffer || size <= 0)
        return;
    if ((int64_t)strlen(text) < size)
        strcpy(buffer, text);
    else
        buffer[0] = 0;
}

void io_documents_folder(char *buffer, int32_t size)
{
    char out[4096];
    const char *const argv[] = {"xdg-user-dir", "DOCUMENTS", nullptr};
    if (svc_run(argv, out, sizeof out, SVC_QUERY_TIMEOUT_MS) == 0) {
        out[strcspn(out, "\r\n")] = 0;
        struct stat st;
        if (out[0] == '/' && stat(out, &st) == 0 && S_ISDIR(st.st_mode)) {
            svc_set(buffer, size, out);
            return;
        }
    }
    const char *home = getenv("HOME");
    svc_set(buffer, size, home && home[0] == '/' ? home : "");
}

// --- files and folders ---

int32_t file_copy(const char *from, const char *to)
{
    FILE *in = fopen(from, "rb");
    if (!in)
        return 0;
    struct stat st;
    if (fstat(fileno(in), &st) != 0 || !S_ISREG(st.st_mode)) {
        fclose(in);
        return 0;
    }
    // The copy is a new file of ours, so it has normal permissions whatever the source had.
    SafeFile sf;
    if (!safe_file_open(&sf, to)) {
        fclose(in);
        return 0;
    }
    char chunk[65536];
    bool ok = true;
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, in)) > 0)
        if (fwrite(chunk, 1, n, sf.f) != n) {
            ok = false;
            break;
        }
    ok = ok && !ferror(in);
    fclose(in);
    if (!ok) {
        safe_file_abort(&sf);
        return 0;
    }
    return safe_file_commit(&sf);
}

int32_t file_move(const char *from, const char *to)
{
    // rename replaces `to` in one step; deleting it first would lose it whenever the
    // rename then failed (a missing source, another file system).
    struct stat st;
    if (lstat(from, &st) != 0)
        return 0;
    if (rename(from, to) == 0)
        return 1;
    if (errno == EXDEV && S_ISREG(st.st_mode) && file_copy(from, to))
        return file_delete(from) ? 1 : 0;
    return 0;
}

void current_dir(char *buffer, int32_t size)
{
    char cwd[4096];
    svc_set(buffer, size, getcwd(cwd, sizeof cwd) ? cwd : "");
}

int32_t dir_first(int32_t kind, const char *pattern)
{
    svc.names.clear();
    svc.next = 0;
    const char *slash = strrchr(pattern, '/');
    std::string folder = !slash ? std::string(".") : std::string(pattern, (size_t)std::max<ptrdiff_t>(slash - pattern, 1));
    const char *mask = slash ? slash + 1 : pattern;
    DIR *dir = opendir(folder.c_str());
    if (!dir)
        return 0;
    while (dirent *de = readdir(dir)) {
        if (strcmp(de->d_name, ".") == 0 || strcmp(de->d_name, "..") == 0 || !name_match(mask, de->d_name))
            continue;
        struct stat st;
        if (stat((folder + "/" + de->d_name).c_str(), &st) != 0)
            continue;  // a dangling link is neither
        if (kind == DIR_FOLDERS ? S_ISDIR(st.st_mode) : !S_ISDIR(st.st_mode))
            svc.names.push_back(de->d_name);
    }
    closedir(dir);
    // Sorted, so lists on screen come out the same on every disk.
    std::sort(svc.names.begin(), svc.names.end(), [](const std::string &a, const std::string &b) {
        int c = strcasecmp(a.c_str(), b.c_str());
        return c != 0 ? c < 0 : a < b;
    });
    return svc.names.empty() ? 0 : 1;
}

int32_t dir_next(char *buffer, int32_t size)
{
    while (svc.next < svc.names.size()) {
        const std::string &name = svc.names[svc.next++];
        if ((int64_t)name.size() < size) {
            memcpy(buffer, name.c_str(), name.size() + 1);
            return 1;
        }
        // a name longer than the caller's buffer could not be used: passed over
    }
    svc.names = {};
    svc.next = 0;
    return 0;
}

char *file_read_text(const char *name)
{
    FILE *f = fopen(name, "rb");
    if (!f)
        return nullptr;
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0 || st.st_size > SVC_TEXT_MAX) {
        fclose(f);
        return nullptr;
    }
    size_t size = (size_t)st.st_size;
    char *text = (char *)io_mem_alloc(size + 1);
    bool ok = fread(text, 1, size, f) == size;
    fclose(f);
    if (!ok) {
        io_mem_free(text);
        return nullptr;
    }
    text[size] = 0;
    return text;
}

int32_t file_write_text(const char *name, const char *text)
{
    SafeFile sf;
    if (!safe_file_open(&sf, name))
        return 0;
    size_t n = strlen(text);
    if (fwrite(text, 1, n, sf.f) != n) {
        safe_file_abort(&sf);
        return 0;
    }
    return safe_file_commit(&sf);
}

int32_t safe_file_name(char *out, const char *text)
{
    static constexpr const char *allowed = "$%'-_@ ~`!(){}^#&+,;=[].";
    out[0] = 0;
    while (*text == ' ' || *text == '\t')
        text++;
    if (!*text)
        return 0;
    size_t n = strlen(text);
    while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\t'))
        n--;
    memcpy(out, text, n);
    out[n] = 0;
    for (const char *reserved : {"prn", "con", "aux"})
        if (strcasecmp(out, reserved) == 0) {
            strcat(out, "1");
            return 1;
        }
    char *w = out;
    for (const char *r = out; *r; r++) {
        unsigned char c = (unsigned char)*r;
        bool keep = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 128 ||
                    strchr(allowed, c);
        // Leading dots go: "." and ".." would name folders, not files, and a dot in
        // front hides a file.
        if (keep && !(c == '.' && w == out))
            *w++ = (char)c;
    }
    *w = 0;
    return out[0] != 0;
}

// --- the desktop ---

// "file://" and the path, with everything but unreserved characters and '/' escaped.
static std::string svc_file_uri(const std::string &path)
{
    std::string uri = "file://";
    for (unsigned char c : path) {
        if (isalnum(c) || strchr("-._~/", c)) {
            uri += (char)c;
        } else {
            char hex[4];
            snprintf(hex, sizeof hex, "%%%02X", c);
            uri += hex;
        }
    }
    return uri;
}

// Desktops whose background setting is known: the schema and key it lives under, and
// whether it takes an address or a plain path.
struct WallpaperSetting {
    const char *desktop;  // a word of XDG_CURRENT_DESKTOP
    const char *schema;
    const char *key;
    const char *dark_key;  // the same picture for the dark style, or null
    bool uri;
};
static constexpr WallpaperSetting svc_wallpapers[] = {
    {"GNOME", "org.gnome.desktop.background", "picture-uri", "picture-uri-dark", true},
    {"Unity", "org.gnome.desktop.background", "picture-uri", nullptr, true},
    {"Budgie", "org.gnome.desktop.background", "picture-uri", "picture-uri-dark", true},
    {"Pantheon", "org.gnome.desktop.background", "picture-uri", nullptr, true},
    {"X-Cinnamon", "org.cinnamon.desktop.background", "picture-uri", nullptr, true},
    {"MATE", "org.mate.background", "picture-filename", nullptr, false},
};

static const WallpaperSetting *svc_wallpaper_setting(void)
{
    const char *desktops = getenv("XDG_CURRENT_DESKTOP");
    if (!desktops)
        return nullptr;
    std::string list = desktops;
    for (size_t at = 0; at <= list.size();) {
        size_t end = list.find(':', at);
        if (end == std::string::npos)
            end = list.size();
        std::string word = list.substr(at, end - at);
        for (const WallpaperSetting &s : svc_wallpapers)
            if (strcasecmp(word.c_str(), s.desktop) == 0)
                return &s;
        at = end + 1;
    }
    return nullptr;
}

int32_t set_wallpaper(const char *picture, const char *name)
{
    const WallpaperSetting *setting = svc_wallpaper_setting();
    if (!setting || !name || !name[0] || strchr(name, '/') || name[0] == '.')
        return 0;
    std::string target = std::string("sfiles/") + name + ".bmp";
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd) || !file_copy(picture, target.c_str()))
        return 0;
    std::string path = std::string(cwd) + "/" + target;
    std::string value = setting->uri ? svc_file_uri(path) : path;
    const char *const argv[] = {"gsettings", "set", setting->schema, setting->key, value.c_str(), nullptr};
    if (svc_run(argv, nullptr, 0, SVC_QUERY_TIMEOUT_MS) != 0)
        return 0;
    if (setting->dark_key) {
        // Older desktops have no dark picture; the light one is set, which is enough.
        const char *const dark[] = {"gsettings", "set", setting->schema, setting->dark_key, value.c_str(), nullptr};
        svc_run(dark, nullptr, 0, SVC_QUERY_TIMEOUT_MS);
    }
    return 1;
}

void format_duration(int32_t seconds, char *buffer, int32_t size)
{
    seconds = std::max(seconds, 0);
    if (seconds < 3600)
        snprintf(buffer, (size_t)size, "%i:%02i", seconds / 60, seconds % 60);
    else
        snprintf(buffer, (size_t)size, "%i:%i:%02i", seconds / 3600, seconds / 60 % 60, seconds % 60);
}

void format_today(char *buffer, int32_t size)
{
    if (!buffer || size <= 0)
        return;
    buffer[0] = 0;
    // The user's locale for the names of days and months only: the process keeps its
    // own, so numbers are still read and written with a '.' everywhere else.
    locale_t loc = newlocale(LC_TIME_MASK, "", (locale_t)0);
    if (!loc)
        loc = newlocale(LC_TIME_MASK, "C", (locale_t)0);
    if (!loc)
        return;
    time_t now = time(nullptr);
    tm local;
    char text[256];
    if (localtime_r(&now, &local) && strftime_l(text, sizeof text, "%A, %-d %B %Y", &local, loc) > 0) {
        // At most 64 bytes, cut where a character begins.
        size_t end = std::min<size_t>(strlen(text), 64);
        while (end > 0 && end < strlen(text) && ((unsigned char)text[end] & 0xC0) == 0x80)
            end--;
        text[end] = 0;
        snprintf(buffer, (size_t)size, "%s", text);
    }
    freelocale(loc);
}

int32_t open_document(const char *target)
{
    const char *const argv[] = {"xdg-open", target, nullptr};
    int r = svc_run(argv, nullptr, 0, SVC_OPEN_TIMEOUT_MS);
    if (r == 0 || r == SVC_RUN_TIMEOUT)
        return 1;
    char text[1024];
    snprintf(text, sizeof text,
             "%s\n\nProbable causes of this error:\nThe specified file was not found.\n"
             "There is no application associated with the given filename extension.\n"
             "The operating system is out of memory or resources.",
             target);
    io_game_message(text, IO_MB_OK, IO_MB_ICON_STOP);
    return 0;
}

void maker_page(char *buffer, int32_t size, const char *page)
{
    snprintf(buffer, (size_t)size, "%s%s", SVC_MAKER_ADDRESS, page ? page : "");
}

// --- sizes ---

void fit_size(int32_t max_w, int32_t max_h, int32_t *w, int32_t *h, int32_t force)
{
    if (*w <= 0 || *h <= 0)
        return;  // nothing to scale, and no ratio to keep
    if (!force && *w < max_w && *h < max_h)
        return;
    double scale = std::min((double)max_w / *w, (double)max_h / *h);
    *w = (int32_t)(*w * scale);
    *h = (int32_t)(*h * scale);
}

void table_size(int32_t screen_w, int32_t screen_h, int32_t *w, int32_t *h)
{
    *w = screen_w - 20;
    *h = screen_h - 80;
}

int32_t needed_screen(int32_t w, int32_t h, int32_t *screen_w, int32_t *screen_h)
{
    for (const ScreenSize &s : svc_screens) {
        int32_t tw, th;
        table_size(s.w, s.h, &tw, &th);
        if (w <= tw && h <= th) {
            *screen_w = s.w;
            *screen_h = s.h;
            return 1;
        }
    }
    *screen_w = *screen_h = 0;
    return 0;
}
