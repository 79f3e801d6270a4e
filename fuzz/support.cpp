// Shared by every fuzz target; see support.h.
#include "fuzz/support.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>
#include <vector>

#include "platform/memory.h"

static struct {
    const char *const *expected;  // prefixes of designed fatal messages, null-terminated
    std::string dir;
    int home_fd = -1;             // the folder the fuzzer was started in, while away
} fz;

void fuzz_expect_fatal(const char *const *prefixes)
{
    fz.expected = prefixes;
}

// The link sends every call of io_error(const char *, ...) here (--wrap of its C++ name).
extern "C" [[noreturn]] void __wrap__Z8io_errorPKcz(const char *format, ...)
{
    FuzzFatal fatal;
    va_list ap;
    va_start(ap, format);
    vsnprintf(fatal.message, sizeof fatal.message, format, ap);
    va_end(ap);
    for (const char *const *p = fz.expected; p && *p; p++)
        if (strncmp(fatal.message, *p, strlen(*p)) == 0)
            throw fatal;
    fprintf(stderr, "fuzz: unexpected fatal error: %s\n", fatal.message);
    abort();
}

static void remove_dir(void)
{
    if (fz.dir.empty())
        return;
    std::error_code ec;
    std::filesystem::remove_all(fz.dir, ec);
}

const std::string &fuzz_dir(void)
{
    if (fz.dir.empty()) {
        const char *tmp = getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/pelmora-fuzz-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back(0);
        if (!mkdtemp(name.data()))
            fuzz_fail("cannot make a scratch folder");
        fz.dir = name.data();
        atexit(remove_dir);
    }
    return fz.dir;
}

std::string fuzz_path(const char *name)
{
    return fuzz_dir() + "/" + name;
}

void fuzz_write(const std::string &path, const uint8_t *data, size_t size)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f || (size && fwrite(data, 1, size, f) != size) || fclose(f) != 0)
        fuzz_fail("cannot write a scratch file");
}

std::string fuzz_read(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    if (!f)
        fuzz_fail("cannot read a scratch file");
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void fuzz_keep_artifacts_here(int *argc, char ***argv)
{
    for (int i = 1; i < *argc; i++)
        if (strncmp((*argv)[i], "-artifact_prefix=", 17) == 0)
            return;
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd))
        return;
    // libFuzzer reads its flags after LLVMFuzzerInitialize, from the list given here;
    // the list lives as long as the process.
    static std::string flag;
    static std::vector<char *> args;
    flag = std::string("-artifact_prefix=") + cwd + "/";
    args.assign(*argv, *argv + *argc);
    args.insert(args.begin() + 1, flag.data());
    args.push_back(nullptr);
    *argc = (int)args.size() - 1;
    *argv = args.data();
}

void fuzz_enter_dir(void)
{
    fz.home_fd = open(".", O_RDONLY | O_DIRECTORY);
    if (fz.home_fd < 0 || chdir(fuzz_dir().c_str()) != 0)
        fuzz_fail("cannot enter the scratch folder");
}

void fuzz_leave_dir(void)
{
    if (fz.home_fd < 0 || fchdir(fz.home_fd) != 0)
        fuzz_fail("cannot go back to the starting folder");
    close(fz.home_fd);
    fz.home_fd = -1;
}

int32_t fuzz_blocks_held(void)
{
    return mem_counters.ngetmem - mem_counters.nfreemem;
}

void fuzz_check_balance(int32_t held, const char *what)
{
    if (fuzz_blocks_held() != held) {
        fprintf(stderr, "fuzz: counted blocks held %d, expected %d (%s)\n", fuzz_blocks_held(), held, what);
        abort();
    }
}

void fuzz_fail(const char *what)
{
    fprintf(stderr, "fuzz: %s\n", what);
    abort();
}
