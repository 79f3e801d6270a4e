// The language text reader on arbitrary bytes as a language file: lt_init, twice, as a
// second language reuses the first one's slots. A file without a usable Version or
// CharSet is refused by lt_init's designed fatal error. A file that loads gives texts
// that print safely with the values the game passes.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "fuzz/support.h"
#include "platform/memory.h"
#include "res/ini.h"
#include "res/lang.h"
#include "res/lang_numbers.h"

static const char *const lt_init_refusals[] = {"lt_init: ", nullptr};
static const char *const lt_get_empty[] = {"lt_get: lti ", nullptr};

// The text, or null for an empty slot (lt_get's designed fatal error).
static const char *text_of(int32_t number)
{
    fuzz_expect_fatal(lt_get_empty);
    const char *text = nullptr;
    try {
        text = lt_get(number);
    } catch (const FuzzFatal &) {
    }
    fuzz_expect_fatal(nullptr);
    return text;
}

// Every text has lost its escaped line breaks; the texts the game fills in are printed
// with the values it passes.
static void print_texts(void)
{
    char out[4096];
    for (int32_t n = 0; n < LT_COUNT; n++) {
        const char *text = text_of(n);
        if (!text)
            continue;
        if (strstr(text, "\\n"))
            fuzz_fail("a text kept an escaped line break");
        if (n == 230)
            snprintf(out, sizeof out, text, "Lighthouse", 120, "1:02:03");
        else if (n == 413)
            snprintf(out, sizeof out, text, 1024, 768);
    }
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz_dir();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string path = fuzz_path("lang.ini");
    int32_t held = fuzz_blocks_held();
    fuzz_write(path, data, size);
    fuzz_expect_fatal(lt_init_refusals);
    bool loaded = true;
    try {
        lt_init(path.c_str());
        lt_init(path.c_str());
    } catch (const FuzzFatal &) {
        loaded = false;
    }
    fuzz_expect_fatal(nullptr);
    if (loaded)
        print_texts();
    lt_done();
    ini_flush(nullptr);
    fuzz_check_balance(held, "lt_init");
    return 0;
}
