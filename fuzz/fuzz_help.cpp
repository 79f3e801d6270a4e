// The help file reader on arbitrary bytes as a help file's text: lt_help_check, which
// proves a help file complete before it is packed. It must pass or name the first
// fault, and give the same answer whether or not it is asked why.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/support.h"
#include "res/lang_numbers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The text ends at its first NUL, as it would when read from a file into a string.
    std::string text((const char *)data, size);
    char why[200] = "untouched";
    int ok = lt_help_check(text.c_str(), why, sizeof why);
    if (ok != lt_help_check(text.c_str(), nullptr, 0))
        fuzz_fail("lt_help_check answers differently without a reason buffer");
    if (ok ? strcmp(why, "untouched") != 0 : why[0] == 0 || strcmp(why, "untouched") == 0)
        fuzz_fail("lt_help_check passed with a reason, or refused without one");
    char tiny[4];
    if (!ok && (lt_help_check(text.c_str(), tiny, sizeof tiny) != 0 || strlen(tiny) != 3))
        fuzz_fail("a reason cut to a small buffer is not cut cleanly");
    return 0;
}
