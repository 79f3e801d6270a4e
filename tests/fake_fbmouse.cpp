// A stand-in for the force-feedback mouse library with its seven entry points. Each call
// appends one line, the entry point's name and its arguments, to the file named by
// PELMORA_FAKE_FBMOUSE_LOG, so a test (or a game run as a child) shows what was called.
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

static void record(const char *format, ...) __attribute__((format(printf, 1, 2)));

static void record(const char *format, ...)
{
    const char *path = getenv("PELMORA_FAKE_FBMOUSE_LOG");
    FILE *f = path && *path ? fopen(path, "a") : nullptr;
    if (!f)
        return;
    va_list args;
    va_start(args, format);
    vfprintf(f, format, args);
    va_end(args);
    fputc('\n', f);
    fclose(f);
}

extern "C" {

// What the library says when switched on: PELMORA_FAKE_FBMOUSE_INIT, else 1.
__attribute__((visibility("default"))) intptr_t fbmouse_init(void *, void *)
{
    record("fbmouse_init");
    const char *value = getenv("PELMORA_FAKE_FBMOUSE_INIT");
    return value && *value ? (intptr_t)atol(value) : 1;
}

__attribute__((visibility("default"))) void fbmouse_done(void)
{
    record("fbmouse_done");
}

__attribute__((visibility("default"))) void fbmouse_pop_start(int32_t value)
{
    record("fbmouse_pop_start %d", (int)value);
}

// The rectangle {left, top, right, bottom} and the screen size {width, height}.
__attribute__((visibility("default"))) void fbmouse_bound_set(const int32_t *rect, const int32_t *size)
{
    record("fbmouse_bound_set %d %d %d %d %d %d", (int)rect[0], (int)rect[1], (int)rect[2], (int)rect[3],
           (int)size[0], (int)size[1]);
}

__attribute__((visibility("default"))) void fbmouse_bound_start(void)
{
    record("fbmouse_bound_start");
}

__attribute__((visibility("default"))) void fbmouse_bound_stop(void)
{
    record("fbmouse_bound_stop");
}

__attribute__((visibility("default"))) void fbmouse_applause_start(void)
{
    record("fbmouse_applause_start");
}
}
