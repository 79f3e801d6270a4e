// pelmora-tool: makes and reads the game's data packs and tells what an IMG picture
// holds. Errors are one line on stderr naming the file, with exit code 1; a damaged
// pack is reported by the pack reader's own fatal message, which names it too.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "image/imgfile.h"
#include "res/datapack.h"

static const char usage_text[] =
    "usage: pelmora-tool pack create DIR OUT.pck   pack every file under DIR\n"
    "       pelmora-tool pack list PCK             size and name of each entry\n"
    "       pelmora-tool pack extract PCK NAME OUT copy entry NAME to the file OUT\n"
    "       pelmora-tool image info FILE.img       width, height and pixel format\n";

static int usage(void)
{
    fputs(usage_text, stderr);
    return 2;
}

static int fail(const char *file, const char *reason)
{
    fprintf(stderr, "pelmora-tool: %s: %s\n", file, reason);
    return 1;
}

// The pack reader stops the process on any fault; a file that is not there at all
// gets the ordinary message first. A name holding '@' would be read as a folder.
static int open_pack(const char *path)
{
    if (strchr(path, '@'))
        return fail(path, "a pack name may not contain '@'");
    FILE *f = fopen(path, "rb");
    if (!f)
        return fail(path, strerror(errno));
    fclose(f);
    dp_open(path);
    return 0;
}

static void print_entry(const char *name, uint32_t size, void *)
{
    printf("%10u  %s\n", size, name);
}

static int pack_create(const char *folder, const char *out)
{
    if (!dp_write_pack(folder, out)) {
        fprintf(stderr, "pelmora-tool: %s\n", dp_write_error());
        return 1;
    }
    return 0;
}

static int pack_list(const char *path)
{
    if (open_pack(path))
        return 1;
    dp_list(0, print_entry, nullptr);
    dp_close();
    return 0;
}

static int pack_extract(const char *path, const char *name, const char *out)
{
    if (open_pack(path))
        return 1;
    int index = dp_get_index(name, 0);
    if (index < 0) {
        fprintf(stderr, "pelmora-tool: %s: no entry named %s\n", path, name);
        return 1;
    }
    errno = 0;
    int ok = dp_extract(index, out);
    int err = errno;
    dp_close();
    return ok ? 0 : fail(out, err ? strerror(err) : "cannot write");
}

static const char *format_name(uint32_t format)
{
    switch (format) {
    case IMG_8BIT: return "8-bit grey";
    case IMG_555: return "5-5-5 RGB";
    case IMG_BGR: return "blue, green, red";
    case IMG_BGRA: return "premultiplied blue, green, red and alpha";
    default: return "unknown";
    }
}

static int image_info(const char *path)
{
    FILE *f = fopen(path, "rb");
    if (!f)
        return fail(path, strerror(errno));
    int32_t width = 0, height = 0;
    uint32_t format = 0;
    int bad = img_read_header(f, &width, &height, &format);
    fclose(f);
    if (bad)
        return fail(path, "not an IMG picture (too short, or the magic is wrong)");
    printf("width %d\nheight %d\nformat %u (%s)\n", width, height, format, format_name(format));
    return 0;
}

int main(int argc, char **argv)
{
    // Fatal messages go to the terminal, never to a window.
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (argc < 3)
        return usage();
    const char *group = argv[1], *verb = argv[2];
    if (strcmp(group, "pack") == 0) {
        if (strcmp(verb, "create") == 0 && argc == 5)
            return pack_create(argv[3], argv[4]);
        if (strcmp(verb, "list") == 0 && argc == 4)
            return pack_list(argv[3]);
        if (strcmp(verb, "extract") == 0 && argc == 6)
            return pack_extract(argv[3], argv[4], argv[5]);
    } else if (strcmp(group, "image") == 0 && strcmp(verb, "info") == 0 && argc == 4) {
        return image_info(argv[3]);
    }
    return usage();
}
