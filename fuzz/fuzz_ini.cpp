// The settings reader on arbitrary bytes as "sfiles/config.ini": every typed reader and
// the game's own settings (screen size of the last run, a window placement, the
// force-feedback switch) on a few keys, values cut to small buffers, then a key written
// and deleted and its section removed. A read gives the value's first characters, and a
// write changes its own key and nothing any other key reads.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "fuzz/support.h"
#include "platform/video.h"
#include "res/ini.h"
#include "res/settings.h"

static const char *const fuzz_keys[][2] = {
    {"MAIN", "Version"}, {"MAIN", "CharSet"}, {"MAIN", "OldScreenSize"}, {"MAIN", "FeedBackSupport"},
    {" main ", "version "}, {"COLORS", "Bevel_T"}, {"TEXTS", "230"}, {"Windows", "Store"},
};
constexpr int FUZZ_KEYS = sizeof fuzz_keys / sizeof fuzz_keys[0];
constexpr int FUZZ_VALUE = 2048;  // one more than the longest value a read gives

// The typed readers on one key; what they give is not checked, only that they read safely.
static void read_typed(const char *file, const char *section, const char *key)
{
    int32_t a, b, c;
    uint32_t colour;
    double real;
    ini_get_int(file, section, key, &a);
    ini_get_bool(file, section, key, &a);
    ini_get_pair(file, section, key, &a, &b);
    ini_get_triple(file, section, key, &a, &b, &c);
    ini_get_color(file, section, key, &colour);
    ini_get_real(file, section, key, &real);
}

// Each key's value, also read into buffers too small for it, which must hold its start.
static void read_all(const char *file, std::string (&values)[FUZZ_KEYS])
{
    for (int i = 0; i < FUZZ_KEYS; i++) {
        char whole[FUZZ_VALUE], part[8];
        int32_t n = ini_get_string(file, fuzz_keys[i][0], fuzz_keys[i][1], whole, sizeof whole);
        if (n < 0 || n >= FUZZ_VALUE || (int32_t)strlen(whole) > n)
            fuzz_fail("ini_get_string gave a length that is not the value's");
        for (int32_t size : {1, 2, 8}) {
            int32_t m = ini_get_string(file, fuzz_keys[i][0], fuzz_keys[i][1], part, size);
            if (m != (n < size - 1 ? n : size - 1) || memcmp(part, whole, (size_t)m) != 0 || part[m] != 0)
                fuzz_fail("a value cut to a small buffer is not the value's start");
        }
        values[i].assign(whole, (size_t)n);
        read_typed(file, fuzz_keys[i][0], fuzz_keys[i][1]);
    }
}

static void expect_unchanged(const char *file, const std::string (&before)[FUZZ_KEYS], const char *what)
{
    std::string after[FUZZ_KEYS];
    read_all(file, after);
    for (int i = 0; i < FUZZ_KEYS; i++)
        if (after[i] != before[i])
            fuzz_fail(what);
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzz_keep_artifacts_here(argc, argv);
    std::filesystem::create_directories(fuzz_path("sfiles"));
    screen.width = 1024;
    screen.height = 768;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string path = fuzz_path(SETTINGS_CONFIG);
    const char *file = path.c_str();
    fuzz_write(path, data, size);

    fuzz_enter_dir();
    settings_read_old_screen();
    int32_t w, h;
    settings_old_screen(&w, &h);
    WindowPlacement p = {1, 2, 3, 4, 5, 6};
    settings_load_placement("Windows", "Store", SETTINGS_POSITION | SETTINGS_SIZE | SETTINGS_SHOWN | SETTINGS_COLLAPSED,
                            &p);
    settings_feedback_on();
    fuzz_leave_dir();

    std::string before[FUZZ_KEYS];
    read_all(file, before);
    char got[FUZZ_VALUE];
    if (ini_set_string(file, "Fuzz", "Key", "written value")) {
        if (ini_get_string(file, "fuzz", "KEY", got, sizeof got) != 13 || strcmp(got, "written value") != 0)
            fuzz_fail("a key written does not read back");
        expect_unchanged(file, before, "writing one key changed another");
        if (!ini_set_string(file, "Fuzz", "Key", nullptr) || ini_get_string(file, "Fuzz", "Key", got, sizeof got) != 0)
            fuzz_fail("a key deleted still reads");
        expect_unchanged(file, before, "deleting one key changed another");
        if (!ini_set_string(file, "Fuzz", nullptr, nullptr))
            fuzz_fail("a section could not be deleted");
        expect_unchanged(file, before, "deleting a section changed a key of another");
    } else if (size < 1000) {
        fuzz_fail("a small settings file could not be written");
    }
    // The next input may have the same size and time stamp: the cache must not keep this one.
    ini_flush(nullptr);
    return 0;
}
