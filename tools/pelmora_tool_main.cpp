// pelmora-tool: makes and reads the game's data packs, tells what an IMG picture holds,
// and converts and scales pictures the way the game reads and writes them. Errors are
// one line on stderr naming the file, with exit code 1; a damaged pack is reported by
// the pack reader's own fatal message, which names it too.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "image/bmp.h"
#include "image/cache.h"
#include "image/gformat.h"
#include "image/imgfile.h"
#include "image/jpeg.h"
#include "image/resample.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "res/datapack.h"
#include "tools/tool.h"

static const char usage_text[] =
    "usage: pelmora-tool pack create DIR OUT.pck   pack every file under DIR\n"
    "       pelmora-tool pack list PCK             size and name of each entry\n"
    "       pelmora-tool pack extract PCK NAME OUT copy entry NAME to the file OUT\n"
    "       pelmora-tool image info FILE.img       width, height and pixel format\n"
    "       pelmora-tool image convert IN OUT [--quality Q]\n"
    "                                  read a BMP, JPEG, TIFF or IMG picture and write it as\n"
    "                                  BMP, JPEG (quality 1-100, default 80) or IMG by OUT's\n"
    "                                  extension\n"
    "       pelmora-tool image scale IN OUT WIDTH HEIGHT [--smooth] [--quality Q]\n"
    "                                  the same, resized (nearest, or filtered with --smooth)\n"
    "       pelmora-tool cut PICTURE --out DIR [--piece-size N] [--jitter J] [--shape S]\n"
    "                                  [--angle A] [--pack PCK]\n"
    "                                  cut a picture with the edge curves of a data pack\n"
    "                                  (default data.pck) and write each shape's coverage,\n"
    "                                  lit relief and shadow, and all pieces lit at home\n"
    "       pelmora-tool box create PICTURE OUT.pzl [--piece-size N] [--jitter J] [--shape S]\n"
    "                                  [--rotation] [--surprise] [--music FILE.mid [--loop]]\n"
    "                                  [--description TEXT] [--address TEXT]\n"
    "                                  make a box file from a BMP, JPEG, PNG or TIFF picture\n"
    "       pelmora-tool box info FILE.pzl   the box's information, records and id\n"
    "       pelmora-tool box extract FILE.pzl DIR\n"
    "                                  write the picture, music and texts into DIR\n";

int tool_usage(void)
{
    fputs(usage_text, stderr);
    return 2;
}

int tool_fail(const char *file, const char *reason)
{
    fprintf(stderr, "pelmora-tool: %s: %s\n", file, reason);
    return 1;
}

// The pack reader stops the process on any fault; a file that is not there at all
// gets the ordinary message first. A name holding '@' would be read as a folder.
bool tool_file_exists(const char *path)
{
    FILE *f = fopen(path, "rb");
    if (!f) {
        tool_fail(path, strerror(errno));
        return false;
    }
    fclose(f);
    return true;
}

bool tool_open_pack(const char *path)
{
    if (strchr(path, '@')) {
        tool_fail(path, "a pack name may not contain '@'");
        return false;
    }
    if (!tool_file_exists(path))
        return false;
    dp_open(path);
    return true;
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
    if (!tool_open_pack(path))
        return 1;
    dp_list(0, print_entry, nullptr);
    dp_close();
    return 0;
}

static int pack_extract(const char *path, const char *name, const char *out)
{
    if (!tool_open_pack(path))
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
    return ok ? 0 : tool_fail(out, err ? strerror(err) : "cannot write");
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
        return tool_fail(path, strerror(errno));
    int32_t width = 0, height = 0;
    uint32_t format = 0;
    int bad = img_read_header(f, &width, &height, &format);
    fclose(f);
    if (bad)
        return tool_fail(path, "not an IMG picture (too short, or the magic is wrong)");
    printf("width %d\nheight %d\nformat %u (%s)\n", width, height, format, format_name(format));
    return 0;
}

// An IMG file as a picture of its own format, planes copied as they lie.
static Picture *read_img(const char *path)
{
    FILE *f = fopen(path, "rb");
    if (!f)
        return nullptr;
    Img *img = img_load(f);
    fclose(f);
    if (!img)
        return nullptr;
    Picture *p = picture_create(img->width, img->height, img->format);
    if (p) {
        ImgView v;
        img_view(&v, img, 0, 0);
        memcpy(p->colour, v.colour, (size_t)p->colour_stride * (size_t)p->height);
        if (p->second)
            memcpy(p->second, v.second, (size_t)p->second_stride * (size_t)p->height);
    }
    img_free(img);
    return p;
}

// Reads any picture the game reads; null with a one-line message on failure.
static Picture *read_picture(const char *path)
{
    if (!tool_file_exists(path))
        return nullptr;
    char ext[5];
    cache_extension(path, ext, true);
    Picture *p = nullptr;
    codec_report("");
    if (strcmp(ext, "IMG") == 0)
        p = read_img(path);
    else if (gformat_read(path))
        p = gformat_take();
    if (!p) {
        const char *why = codec_last_report();
        tool_fail(path, why[0] ? why : "not a picture this game reads (BMP, JPEG, TIFF, PNG or IMG)");
    }
    return p;
}

// A format-3 copy of a picture that has another format (grey, or with alpha).
static Picture *as_colour(Picture *p)
{
    if (p->format == IMG_BGR)
        return p;
    Picture *rgb = picture_create(p->width, p->height, IMG_BGR);
    img_convert(rgb, p);
    picture_free(p);
    return rgb;
}

// Writes by the output's extension through a temporary file: nothing is left behind
// when writing fails.
static int write_picture(const char *path, Picture *p, int quality)
{
    char ext[5];
    cache_extension(path, ext, true);
    bool jpeg = strcmp(ext, "JPG") == 0 || strcmp(ext, "JPEG") == 0 || strcmp(ext, "JPE") == 0;
    bool bmp = strcmp(ext, "BMP") == 0 || strcmp(ext, "DIB") == 0;
    if (!jpeg && !bmp && strcmp(ext, "IMG") != 0)
        return tool_fail(path, "unknown output type (use .bmp, .jpg or .img)");
    SafeFile sf;
    if (!safe_file_open(&sf, path))
        return tool_fail(path, strerror(errno));
    int bad = jpeg ? jpeg_write(sf.f, p, quality) : bmp ? bmp_write(sf.f, p) : img_write(sf.f, p);
    if (bad) {
        safe_file_abort(&sf);
        const char *why = codec_last_report();
        return tool_fail(path, why[0] ? why : "cannot write the picture");
    }
    return safe_file_commit(&sf) ? 0 : tool_fail(path, "cannot write the file");
}

bool tool_int(const char *text, int lo, int hi, int *out)
{
    char *end;
    errno = 0;
    long v = strtol(text, &end, 10);
    if (errno || end == text || *end || v < lo || v > hi)
        return false;
    *out = (int)v;
    return true;
}

// image convert IN OUT [--quality Q] / image scale IN OUT W H [--smooth] [--quality Q]
static int image_convert(int argc, char **argv, bool scale)
{
    int first_option = scale ? 7 : 5;
    if (argc < first_option)
        return tool_usage();
    int quality = 80, width = 0, height = 0;
    bool smooth = false;
    if (scale && (!tool_int(argv[5], 1, 32768, &width) || !tool_int(argv[6], 1, 32768, &height)))
        return tool_usage();
    if ((int64_t)width * height > 200000000)
        return tool_fail(argv[4], "too large: at most 200 million pixels");
    for (int i = first_option; i < argc; i++) {
        if (strcmp(argv[i], "--smooth") == 0 && scale)
            smooth = true;
        else if (strcmp(argv[i], "--quality") == 0 && i + 1 < argc && tool_int(argv[i + 1], 1, 100, &quality))
            i++;
        else
            return tool_usage();
    }
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    Picture *p = read_picture(argv[3]);
    if (!p)
        return 1;
    if (scale) {
        p = as_colour(p);
        Picture *out = picture_create(width, height, IMG_BGR);
        int done = img_resample(out, p, smooth ? IMG_RESAMPLE_FILTERED : IMG_RESAMPLE_NEAREST);
        picture_free(p);
        // A refused resize leaves `out` unfilled: never write that out as a picture.
        if (!done) {
            picture_free(out);
            return tool_fail(argv[3], "too large to resize (the smooth resize needs under 2 GB of work memory)");
        }
        p = out;
    }
    char ext[5];
    cache_extension(argv[4], ext, true);
    if (strcmp(ext, "BMP") == 0 || strcmp(ext, "DIB") == 0)
        p = as_colour(p);
    int result = write_picture(argv[4], p, quality);
    picture_free(p);
    return result;
}

int main(int argc, char **argv)
{
    // Fatal messages go to the terminal, never to a window.
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (argc < 3)
        return tool_usage();
    if (strcmp(argv[1], "cut") == 0)
        return tool_cut(argc, argv);
    if (strcmp(argv[1], "box") == 0)
        return tool_box(argc, argv);
    const char *group = argv[1], *verb = argv[2];
    if (strcmp(group, "pack") == 0) {
        if (strcmp(verb, "create") == 0 && argc == 5)
            return pack_create(argv[3], argv[4]);
        if (strcmp(verb, "list") == 0 && argc == 4)
            return pack_list(argv[3]);
        if (strcmp(verb, "extract") == 0 && argc == 6)
            return pack_extract(argv[3], argv[4], argv[5]);
    } else if (strcmp(group, "image") == 0) {
        if (strcmp(verb, "info") == 0 && argc == 4)
            return image_info(argv[3]);
        if (strcmp(verb, "convert") == 0 || strcmp(verb, "scale") == 0)
            return image_convert(argc, argv, strcmp(verb, "scale") == 0);
    }
    return tool_usage();
}
