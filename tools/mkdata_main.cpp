// pelmora-mkdata: builds data.pck from the sources under data/ and the generators of
// tools/mkdata_*.cpp. Usage: pelmora-mkdata OUT.pck DATA_DIR FONT_DIR
// (or pelmora-mkdata --icons FOLDER SIZE...: the desktop icon in those sizes)
#include "tools/mkdata.h"
#include "tools/mkdata_icon.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ftw.h>
#include <string>

#include "image/imgfile.h"
#include "platform/files.h"
#include "res/datapack.h"

void mk_fail(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    fputs("pelmora-mkdata: ", stderr);
    vfprintf(stderr, fmt, ap);
    fputc('\n', stderr);
    va_end(ap);
    exit(1);
}

void mk_write(const MkData *mk, const char *name, const void *data, size_t size)
{
    std::string path = std::string(mk->stage) + "/" + name;
    size_t slash = path.rfind('/');
    if (!make_dir(path.substr(0, slash).c_str()))
        mk_fail("%s: cannot create its folder", name);
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        mk_fail("%s: %s", name, strerror(errno));
    bool ok = fwrite(data, 1, size, f) == size;
    ok = fclose(f) == 0 && ok;
    if (!ok)
        mk_fail("%s: write failed", name);
}

void mk_write_encoded(const MkData *mk, const char *name, const std::function<int(FILE *)> &encode)
{
    char *buf = nullptr;
    size_t size = 0;
    FILE *f = open_memstream(&buf, &size);
    if (!f)
        mk_fail("%s: no memory stream", name);
    int failed = encode(f);
    if (fclose(f) != 0 || failed)
        mk_fail("%s: %s", name, failed ? codec_last_report() : "cannot close the stream");
    mk_write(mk, name, buf, size);
    free(buf);
}

char *mk_read_file(const char *path, size_t *size)
{
    FILE *f = fopen(path, "rb");
    if (!f)
        mk_fail("%s: %s", path, strerror(errno));
    std::string text;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    bool bad = ferror(f);
    fclose(f);
    if (bad)
        mk_fail("%s: read failed", path);
    char *out = (char *)malloc(text.size() + 1);
    if (!out)
        mk_fail("%s: out of memory", path);
    memcpy(out, text.data(), text.size());
    out[text.size()] = 0;
    if (size)
        *size = text.size();
    return out;
}

char *mk_read_source(const MkData *mk, const char *name, size_t *size)
{
    return mk_read_file((std::string(mk->src) + "/" + name).c_str(), size);
}

static int remove_entry(const char *path, const struct stat *, int, struct FTW *)
{
    return remove(path);
}

int main(int argc, char **argv)
{
    if (argc >= 3 && strcmp(argv[1], "--icons") == 0) {
        mk_icons(argv[2], argc - 3, argv + 3);
        return 0;
    }
    if (argc != 4) {
        fprintf(stderr, "usage: pelmora-mkdata OUT.pck DATA_DIR FONT_DIR\n");
        return 2;
    }
    // A fresh stage each time, so a file dropped from the sources leaves the pack too.
    std::string stage = std::string(argv[1]) + ".stage";
    nftw(stage.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
    if (!make_dir(stage.c_str()))
        mk_fail("%s: cannot create the stage", stage.c_str());
    MkData mk = {stage.c_str(), argv[2], argv[3]};

    mk_curves(&mk);
    mk_sounds(&mk);
    mk_texts(&mk);
    mk_fonts(&mk);
    mk_skin(&mk);
    mk_pictures(&mk);

    if (!dp_write_pack(stage.c_str(), argv[1]))
        mk_fail("%s", dp_write_error());
    return 0;
}
