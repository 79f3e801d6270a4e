// The small services: safe file names, durations and dates, sizes, files and folders,
// and the desktop's helper programs (stand-ins on the PATH record what they were given).
#include <sys/stat.h>
#include <unistd.h>

#include "platform/services.h"
#include "tests/support.h"

// Sets an environment variable for the scope; null unsets it.
struct EnvVar {
    std::string name, old;
    bool had;
    EnvVar(const char *n, const char *value) : name(n), had(getenv(n) != nullptr)
    {
        if (had)
            old = getenv(n);
        value ? setenv(n, value, 1) : unsetenv(n);
    }
    ~EnvVar() { had ? setenv(name.c_str(), old.c_str(), 1) : unsetenv(name.c_str()); }
};

// A stand-in program `name` in `dir` running the shell lines `body`.
static void tool(const TempDir &dir, const char *name, const std::string &body)
{
    write_file(dir.file(name), "#!/bin/sh\n" + body + "\n");
    chmod(dir.file(name).c_str(), 0755);
}

TEST(Services, SafeNamesDurationsAndSizes)
{
    struct { const char *text, *name; int ok; } names[] = {
        {"  My Puzzle: Cats?  ", "My Puzzle Cats", 1}, {"con", "con1", 1}, {"AUX", "AUX1", 1}, {"???", "", 0},
        {"   ", "", 0}, {"..", "", 0}, {"../../etc/passwd", "etcpasswd", 1}, {".hidden v1.2", "hidden v1.2", 1},
        {"Caf\xc3\xa9 [1] & {2}", "Caf\xc3\xa9 [1] & {2}", 1},
    };
    for (const auto &n : names) {
        char out[256];
        EXPECT_EQ(safe_file_name(out, n.text), n.ok) << n.text;
        EXPECT_STREQ(out, n.name) << n.text;
    }

    char d[16];
    for (auto [s, want] : {std::pair(59, "0:59"), {60, "1:00"}, {3599, "59:59"}, {3600, "1:0:00"}, {3661, "1:1:01"}}) {
        format_duration(s, d, sizeof d);
        EXPECT_STREQ(d, want) << s;
    }
    char today[128];
    format_today(today, sizeof today);
    time_t now = time(nullptr);
    EXPECT_TRUE(strlen(today) > 8 && strlen(today) <= 64 && strstr(today, std::to_string(localtime(&now)->tm_year + 1900).c_str()))
        << today;

    auto fit = [](int mw, int mh, int w, int h, int force) {
        fit_size(mw, mh, &w, &h, force);
        return std::pair(w, h);
    };
    EXPECT_EQ(fit(200, 200, 100, 50, 0), std::pair(100, 50)) << "fits: unchanged";
    EXPECT_EQ(fit(200, 200, 100, 50, 1), std::pair(200, 100)) << "forced: grown";
    EXPECT_EQ(fit(200, 200, 400, 100, 0), std::pair(200, 50));
    EXPECT_EQ(fit(100, 100, 300, 299, 0), std::pair(100, 99)) << "truncated";
    EXPECT_EQ(fit(100, 100, 0, 50, 1), std::pair(0, 50)) << "no ratio, nothing done";

    auto need = [](int w, int h) {
        int sw = -1, sh = -1;
        int r = needed_screen(w, h, &sw, &sh);
        return std::tuple(r, sw, sh);
    };
    EXPECT_EQ(need(620, 400), std::tuple(1, 640, 480));
    EXPECT_EQ(need(621, 400), std::tuple(1, 800, 600));
    EXPECT_EQ(need(1580, 1120), std::tuple(1, 1600, 1200));
    EXPECT_EQ(need(1581, 100), std::tuple(0, 0, 0));
    char page[64];
    maker_page(page, sizeof page, "boxes.html");
    EXPECT_TRUE(strncmp(page, "https://", 8) == 0 && strstr(page, "/boxes.html")) << page;
}

TEST(Services, FilesAndFolders)
{
    TempDir dir;
    InDir in(dir.path);
    int32_t held = blocks_held();
    write_file("ro.txt", "picture");
    chmod("ro.txt", 0444);
    write_file("copy.txt", "old");
    EXPECT_EQ(file_copy("ro.txt", "copy.txt"), 1);
    EXPECT_EQ(std::tuple(read_file("copy.txt"), access("copy.txt", W_OK)), std::tuple("picture", 0))
        << "a copy from a read-only source is writable";
    EXPECT_EQ(std::pair(file_copy("missing", "copy.txt"), file_move("missing", "copy.txt")), std::pair(0, 0));
    EXPECT_EQ(read_file("copy.txt"), "picture") << "a failed copy or move keeps the target";
    EXPECT_EQ(file_move("copy.txt", "ro.txt"), 1);
    EXPECT_EQ(std::tuple(exists("copy.txt"), read_file("ro.txt")), std::tuple(false, "picture"));

    char *text = file_read_text("ro.txt");
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "picture");
    io_mem_free(text);
    write_file("empty.txt", "");
    for (const char *none : {"empty.txt", "missing", "."})  // a folder is no text
        EXPECT_EQ(file_read_text(none), nullptr) << none;
    EXPECT_EQ(file_write_text("w.txt", "one\ntwo"), 1);
    EXPECT_EQ(read_file("w.txt"), "one\ntwo");
    EXPECT_EQ(file_write_text("nofolder/w.txt", "x"), 0);
    EXPECT_EQ(blocks_held(), held);

    std::filesystem::create_directories("ml/sub.HLP");
    std::filesystem::create_directories("ml/Deutsch");
    for (const char *f : {"ml/b.HLP", "ml/A.hlp", "ml/c.txt", "ml/ahlp"})
        write_file(f, "x");
    auto list = [](int kind, const char *pattern) {
        std::vector<std::string> names;
        char name[64];
        if (dir_first(kind, pattern))
            while (dir_next(name, sizeof name))
                names.push_back(name);
        return names;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(list(DIR_FILES, "ml/*.hlp"), V({"A.hlp", "b.HLP"})) << "letter case ignored, files only, sorted";
    EXPECT_EQ(list(DIR_FOLDERS, "ml/*"), V({"Deutsch", "sub.HLP"})) << "folders only, without . and ..";
    EXPECT_EQ(std::tuple(dir_first(DIR_FILES, "nowhere/*"), dir_first(DIR_FILES, "ml/*.none")), std::tuple(0, 0));
    char cwd[4096], small[4];
    current_dir(cwd, sizeof cwd);
    current_dir(small, sizeof small);
    EXPECT_EQ(std::tuple(std::filesystem::equivalent(cwd, dir.path), std::string(small)), std::tuple(true, ""))
        << "never a path cut short";
}

TEST(Services, DesktopHelpersGetTheirArgumentsWhole)
{
    TempDir dir, bin;
    InDir in(dir.path);
    EnvVar path("PATH", bin.path.c_str());
    tool(bin, "xdg-open", "printf '%s' \"$1\" > \"" + dir.file("opened") + "\"\n[ \"$1\" != fail ]");
    EXPECT_EQ(open_document("a b;touch x$(id).txt"), 1);
    EXPECT_EQ(std::tuple(read_file(dir.file("opened")), exists("x.txt")), std::tuple("a b;touch x$(id).txt", false))
        << "one argument, no shell";
    EXPECT_EQ(open_document("fail"), 0) << "xdg-open failed";
    std::filesystem::remove(bin.file("xdg-open"));
    EXPECT_EQ(open_document("https://pelmora.example/"), 0) << "no xdg-open at all";

    {
        EnvVar home("HOME", dir.path.c_str());
        char docs[4096];
        io_documents_folder(docs, sizeof docs);
        EXPECT_EQ(std::string(docs), dir.path) << "no xdg-user-dir: the home folder";
        tool(bin, "xdg-user-dir", "echo " + bin.path);
        io_documents_folder(docs, sizeof docs);
        EXPECT_EQ(std::string(docs), bin.path);
    }

    std::filesystem::create_directories("sfiles");
    write_file("pic.bmp", "BMpicture");
    tool(bin, "gsettings", "echo \"$@\" >> \"" + dir.file("set") + "\"");
    {
        EnvVar desk("XDG_CURRENT_DESKTOP", "XFCE");
        EXPECT_EQ(set_wallpaper("pic.bmp", "Cats"), 0) << "a desktop we know nothing of";
    }
    EnvVar desk("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
    EXPECT_EQ(set_wallpaper("pic.bmp", "../Cats"), 0);
    EXPECT_EQ(set_wallpaper("pic.bmp", "My Cats"), 1);
    std::string uri = "file://" + std::filesystem::canonical(dir.path).string() + "/sfiles/My%20Cats.bmp";
    EXPECT_EQ(read_file("sfiles/My Cats.bmp"), "BMpicture");
    EXPECT_EQ(read_file(dir.file("set")), "set org.gnome.desktop.background picture-uri " + uri +
                                              "\nset org.gnome.desktop.background picture-uri-dark " + uri + "\n");
}
