// File helpers: patterns, folders, crash-safe writes, and the temporary folder's budget.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"
#include "tests/support.h"

TEST(Files, NameMatchIgnoresCaseAndHonoursWildcards)
{
    struct { const char *pattern, *name; int match; } cases[] = {
        {"*.tmp", "A.TMP", 1}, {"*.TMP", "a.tmp", 1}, {"*.tmp", "a.tmpx", 0}, {"*.tmp", ".tmp", 1},
        {"?b*", "ab", 1},      {"?b*", "b", 0},       {"*", "", 1},           {"", "a", 0},
        {"a*b*c", "aXbY", 0},  {"*ab", "aab", 1},     {"*a*a*a", "aaaa", 1},  {"*a*a*a", "aa", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(name_match(c.pattern, c.name), c.match) << "'" << c.pattern << "' against '" << c.name << "'";
}

TEST(Files, MakeDirAcceptsExistingFoldersAndSafeFileReplacesTheTargetOnlyOnCommit)
{
    TempDir dir;
    std::string sub = dir.file("a/b/c");
    EXPECT_EQ(make_dir(sub.c_str()), 1);
    EXPECT_TRUE(std::filesystem::is_directory(sub)) << "missing parents are made too";
    EXPECT_EQ(make_dir(sub.c_str()), 1) << "an existing folder is fine";
    EXPECT_EQ(make_dir((dir.path + "/a/").c_str()), 1) << "a trailing separator";
    write_file(dir.file("plain"), "x");
    EXPECT_EQ(make_dir(dir.file("plain").c_str()), 0) << "a file in the way is not a folder";
    EXPECT_EQ(make_dir(dir.file("plain/sub").c_str()), 0) << "a file in the way of a parent";
    EXPECT_EQ(read_file(dir.file("plain")), "x");

    std::string target = dir.file("settings.ini");
    std::string temp = target + "." + std::to_string(getpid()) + ".part";
    write_file(target, "old");

    SafeFile sf;
    ASSERT_EQ(safe_file_open(&sf, target.c_str()), 1);
    fputs("new", sf.f);
    fflush(sf.f);
    EXPECT_EQ(read_file(target) + "|" + read_file(temp), "old|new") << "the target is untouched while writing";
    EXPECT_EQ(safe_file_commit(&sf), 1);
    EXPECT_EQ(read_file(target) + "|" + read_file(temp), "new|") << "committed, and no temporary file left";

    ASSERT_EQ(safe_file_open(&sf, target.c_str()), 1);
    fputs("abandoned", sf.f);
    safe_file_abort(&sf);
    EXPECT_EQ(read_file(target) + "|" + read_file(temp), "new|") << "abort leaves the target and no temporary file";

    // A commit that cannot rename (a folder holds the name) fails and cleans up.
    std::string folder = dir.file("taken");
    ASSERT_EQ(make_dir(folder.c_str()), 1);
    write_file(folder + "/inside", "kept");
    ASSERT_EQ(safe_file_open(&sf, folder.c_str()), 1);
    fputs("data", sf.f);
    EXPECT_EQ(safe_file_commit(&sf), 0);
    EXPECT_EQ(read_file(folder + "/inside") + "|" + read_file(sf.temp), "kept|") << "a failed commit leaves nothing";

    EXPECT_EQ(safe_file_open(&sf, dir.file("no/such/file").c_str()), 0);

    // A name longer than SafeFile holds must not write some shorter-named file instead.
    std::string deep = dir.file(std::string(200, 'd'));
    ASSERT_EQ(make_dir(deep.c_str()), 1);
    std::string long_name = deep + "/" + std::string(100, 'n');
    if (safe_file_open(&sf, long_name.c_str())) {
        fputs("long", sf.f);
        EXPECT_EQ(safe_file_commit(&sf), 1);
        EXPECT_EQ(read_file(long_name), "long") << "written under another name";
    }
    std::string truncated = long_name.substr(0, sizeof sf.target - 1);
    EXPECT_FALSE(exists(truncated)) << "a file under the cut-short name";
}

// A sparse file of `size` bytes, last read at `atime` seconds; its modification time runs
// the other way so that only the access time can explain the order of deletion.
static void make_temp_file(const std::string &path, int64_t size, time_t atime)
{
    write_file(path, "");
    std::filesystem::resize_file(path, size);
    timespec times[2] = {{atime, 0}, {2000000000 - atime, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

// Ten .tmp files of 31,000,000 bytes in all, oldest access first; the three oldest add up
// to 1,100,000 bytes, so all three must go to get within 30,000,000. The names run
// against the access order.
static const int64_t trim_sizes[10] = {400000,  500000,  200000,  4000000, 4000000,
                                       4000000, 4000000, 4000000, 5000000, 4900000};

static std::string trim_name(int i)
{
    return "f" + std::to_string(9 - i) + (i % 2 ? ".TMP" : ".tmp");
}

static void make_trim_files(const TempDir &dir)
{
    for (int i = 0; i < 10; i++)
        make_temp_file(dir.file(trim_name(i)), trim_sizes[i], 1000000 + i);
}

// Which of the ten files are left, in access order: '1' kept, '0' deleted.
static std::string survivors(const TempDir &dir)
{
    std::string s;
    for (int i = 0; i < 10; i++)
        s += exists(dir.file(trim_name(i))) ? '1' : '0';
    return s;
}

TEST(Files, TempTrimDeletesTheLeastRecentlyAccessedFirst)
{
    TempDir dir;
    make_trim_files(dir);
    // Older than all of them, and never the trimmer's business.
    make_temp_file(dir.file("big.dat"), 50000000, 10);
    make_temp_file(dir.file("f.tmp.keep"), 50000000, 10);
    ASSERT_EQ(make_dir(dir.file("old.tmp").c_str()), 1);
    make_temp_file(dir.file("old.tmp/inner.tmp"), 1000, 10);
    timespec old[2] = {{10, 0}, {10, 0}};
    utimensat(AT_FDCWD, dir.file("old.tmp").c_str(), old, 0);

    EXPECT_EQ(io_temp_trim(dir.path.c_str(), "*.tmp", 30000000), 29900000);
    EXPECT_EQ(survivors(dir), "0001111111");
    EXPECT_TRUE(exists(dir.file("big.dat")) && exists(dir.file("f.tmp.keep")));
    EXPECT_TRUE(exists(dir.file("old.tmp/inner.tmp"))) << "sub-folders are left alone";

    EXPECT_EQ(io_temp_trim(dir.path.c_str(), "*.tmp", 29900000), 29900000) << "exactly at the budget: nothing to do";
    EXPECT_EQ(survivors(dir), "0001111111");
    EXPECT_EQ(io_temp_trim(dir.file("missing").c_str(), "*.tmp", 0), 0);
}

// Sets or clears the immutable attribute, which stops even root from deleting a file.
static bool set_immutable(const std::string &path, bool on)
{
    int fd = open(path.c_str(), O_RDONLY);
    int flags = 0;
    bool ok = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    ok = ok && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0)
        close(fd);
    return ok;
}

// Takes the attribute off again however the test ends, so the folder can be removed.
struct ImmutableGuard {
    std::string path;
    ~ImmutableGuard() { set_immutable(path, false); }
};

TEST(Files, TempTrimPassesOverAFileItCannotDelete)
{
    TempDir dir;
    make_trim_files(dir);
    ImmutableGuard guard{dir.file(trim_name(0))};
    if (!set_immutable(guard.path, true))
        GTEST_SKIP() << "this file system or user cannot set the immutable attribute";
    ASSERT_NE(unlink(guard.path.c_str()), 0) << "the oldest file should be undeletable";

    // 400,000 bytes stay stuck; the next three oldest (4,700,000 bytes) go instead.
    EXPECT_EQ(io_temp_trim(dir.path.c_str(), "*.tmp", 30000000), 26300000);
    EXPECT_EQ(survivors(dir), "1000111111");
    // Nothing deletable is left to reach a budget of 0: the trim still ends.
    EXPECT_EQ(io_temp_trim(dir.path.c_str(), "*.tmp", 0), 400000);
    EXPECT_EQ(survivors(dir), "1000000000");
}
