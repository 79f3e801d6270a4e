// The command line, read as one text the way the game always has: an option counts only
// where a blank follows it, and the next word is its value.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <climits>
#include <cstring>
#include <strings.h>
#include <unistd.h>

#include "kernel/kernel.h"

void kernel_join_args(int argc, char **argv, char *out, int size)
{
    int len = 0;
    out[0] = 0;
    for (int i = 1; i < argc && len < size - 1; i++)
        len += snprintf(out + len, (size_t)(size - len), i > 1 ? " %s" : "%s", argv[i]);
}

void kernel_gift_arg(int argc, char **argv, char *out, int size)
{
    static constexpr const char *valued[] = {"-options", "-videodriver", "-debug", "-path",
                                             "-screen", "-record", "-playback"};
    out[0] = 0;
    for (int i = 1; i < argc; i++) {
        bool value = false;
        for (const char *option : valued)
            value = value || strcmp(argv[i - 1], option) == 0;
        size_t n = strlen(argv[i]);
        if (value || n <= 5 || strcasecmp(argv[i] + n - 5, ".gift") != 0)
            continue;
        // Made absolute here: the gift may be opened by a copy running in another folder.
        char full[PATH_MAX], cwd[PATH_MAX];
        if (realpath(argv[i], full))
            snprintf(out, (size_t)size, "%s", full);
        else if (argv[i][0] != '/' && getcwd(cwd, sizeof cwd))
            snprintf(out, (size_t)size, "%s/%s", cwd, argv[i]);
        else
            snprintf(out, (size_t)size, "%s", argv[i]);
    }
}

// Copies the value of `option` into `value` (at most size - 1 characters); 0 when the
// option is missing or has no value.
static int option_value(const char *cmdline, const char *option, char *value, int size)
{
    size_t olen = strlen(option);
    for (const char *p = strstr(cmdline, option); p; p = strstr(p + 1, option)) {
        const char *q = p + olen;
        if (*q != ' ' && *q != '\t')
            continue;
        while (*q == ' ' || *q == '\t')
            q++;
        if (!*q)
            return 0;  // last on the line, without a value
        int n = 0;
        while (q[n] && q[n] != ' ' && q[n] != '\t')
            n++;
        if (n > size - 1)
            n = size - 1;
        memcpy(value, q, (size_t)n);
        value[n] = 0;
        return 1;
    }
    return 0;
}

static bool bool_word(const char *word)
{
    char lower[16];
    size_t i = 0;
    for (; word[i] && i < sizeof lower - 1; i++)
        lower[i] = (char)tolower((unsigned char)word[i]);
    lower[i] = 0;
    if (word[i])
        return false;
    static constexpr const char *on_words[] = {"true", "1", "yes", "hi"};
    for (const char *on : on_words)
        if (strcmp(lower, on) == 0)
            return true;
    return false;  // "false", "0", "no", "lo" and anything else
}

static int32_t int_word(const char *word)
{
    return (int32_t)strtol(word, nullptr, 0);  // decimal, 0x hex, 0 octal
}

void kernel_parse_args(const char *cmdline, KernelArgs *args)
{
    *args = {};
    char value[KERNEL_PATH_MAX];
    if (option_value(cmdline, "-options", value, sizeof value))
        args->options = bool_word(value);
    if (option_value(cmdline, "-videodriver", value, sizeof value)) {
        args->has_video_driver = true;
        args->video_driver = int_word(value);
    }
    if (option_value(cmdline, "-debug", value, sizeof value)) {
        args->has_debug = true;
        args->debug = int_word(value);
    }
    if (option_value(cmdline, "-path", args->path, sizeof args->path)) {
        args->has_path = true;
        for (char *p = args->path; *p; p++)
            if (*p == '\\')
                *p = '/';
    }
    if (option_value(cmdline, "-screen", value, sizeof value)) {
        int w = 0, h = 0;
        char tail;
        // A size the display cannot sensibly hold is ignored: the game goes full screen.
        if (sscanf(value, "%dx%d%c", &w, &h, &tail) == 2 && w >= 64 && h >= 64 && w <= 16384 && h <= 16384) {
            args->screen_width = w;
            args->screen_height = h;
        }
    }
    option_value(cmdline, "-record", args->record, sizeof args->record);
    option_value(cmdline, "-playback", args->playback, sizeof args->playback);
}
