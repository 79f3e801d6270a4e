// pelmora-tool box: makes a box file from a picture, tells what a box file holds, and
// takes one apart into files. A box is checked exactly as the game checks it, so a file
// this command accepts is one the game shows; a refusal is one line naming the file and
// the reason, and nothing is written.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "image/cache.h"
#include "image/gformat.h"
#include "image/imgfile.h"
#include "image/jpeg.h"
#include "media/music.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "platform/services.h"
#include "puzzle/cut.h"
#include "rooms/box/box.h"
#include "tools/tool.h"

constexpr int BOX_TOOL_QUALITY = 80;  // as the create room writes box pictures

// A scratch folder of the command's own, removed with what it holds.
struct Scratch {
    std::string path;
    Scratch()
    {
        const char *tmp = getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/pelmora-box.XXXXXX";
        if (mkdtemp(pattern.data()))
            path = pattern;
    }
    ~Scratch()
    {
        if (path.empty())
            return;
        for (const char *name : {"picture.jpg", "music.mid", "description.txt", "address.txt"})
            file_delete(file(name).c_str());
        rmdir(path.c_str());
    }
    std::string file(const char *name) const { return path + "/" + name; }
};

static bool write_bytes(const std::string &path, const void *data, size_t n)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(data, 1, n, f) == n;
    return fclose(f) == 0 && ok;
}

// The game's own check of a MIDI file, over the whole file: a box never carries music
// the play room would refuse. 1, or 0 with the reason.
static bool midi_file_ok(const char *path, char *reason, size_t size)
{
    FILE *f = fopen(path, "rb");
    if (!f) {
        snprintf(reason, size, "cannot be read");
        return false;
    }
    std::vector<uint8_t> data(MIDI_FILE_MAX + 1);
    size_t n = fread(data.data(), 1, data.size(), f);
    fclose(f);
    if (n > MIDI_FILE_MAX) {
        snprintf(reason, size, "too large for music");
        return false;
    }
    return midi_check(data.data(), n, reason, size) == 1;
}

// A JPEG whose bytes can be the box's: the game reads box pictures as stored, so one a
// camera marked as turned is encoded upright instead.
static bool is_plain_jpeg(const char *path)
{
    char ext[5];
    cache_extension(path, ext, true);
    bool jpeg = false;
    for (const char *e : {"JPG", "JPE", "JIF", "JPEG", "JFIF"})
        jpeg = jpeg || strcmp(ext, e) == 0;
    FILE *f = jpeg ? fopen(path, "rb") : nullptr;
    JpegFit fit;
    bool plain = f && jpeg_read_info_fit(f, 0, 0, &fit) == 0 && fit.orientation == 1;
    if (f)
        fclose(f);
    return plain;
}

struct CreateArgs {
    const char *picture = nullptr, *out = nullptr, *music = nullptr, *description = nullptr, *address = nullptr;
    int piece_size = 32, jitter = 0, shape = 1;
    bool rotation = false, surprise = false, loop = false;
};

static bool parse_create(int argc, char **argv, CreateArgs *a)
{
    if (argc < 5)
        return false;
    a->picture = argv[3];
    a->out = argv[4];
    for (int i = 5; i < argc; i++) {
        const char *opt = argv[i], *val = i + 1 < argc ? argv[i + 1] : nullptr;
        if (strcmp(opt, "--rotation") == 0) {
            a->rotation = true;
            continue;
        }
        if (strcmp(opt, "--surprise") == 0) {
            a->surprise = true;
            continue;
        }
        if (strcmp(opt, "--loop") == 0) {
            a->loop = true;
            continue;
        }
        if (!val)
            return false;
        i++;
        if (strcmp(opt, "--piece-size") == 0) {
            if (!tool_int(val, 1, 1 << 20, &a->piece_size))
                return false;
        } else if (strcmp(opt, "--jitter") == 0) {
            if (!tool_int(val, 0, BOX_JITTER_MAX, &a->jitter))
                return false;
        } else if (strcmp(opt, "--shape") == 0) {
            if (!tool_int(val, 0, BOX_SHAPES - 1, &a->shape))
                return false;
        } else if (strcmp(opt, "--music") == 0) {
            a->music = val;
        } else if (strcmp(opt, "--description") == 0) {
            a->description = val;
        } else if (strcmp(opt, "--address") == 0) {
            a->address = val;
        } else {
            return false;
        }
    }
    return !a->loop || a->music;  // --loop belongs to --music
}

// The picture as a JPEG file in the scratch folder and its size. A JPEG is taken as it
// is (once it decodes whole); BMP, TIFF, PNG and turned JPEG pictures are encoded as the
// create room does.
static bool prepare_picture(const char *path, const std::string &out, int32_t *w, int32_t *h)
{
    if (!tool_file_exists(path))
        return false;
    codec_report("");
    if (!gformat_read(path)) {
        const char *reason = codec_last_report();
        tool_fail(path, reason[0] ? reason : "not a picture a box can hold (BMP, JPEG, PNG or TIFF)");
        return false;
    }
    gformat_size(w, h);
    bool ok;
    if (is_plain_jpeg(path)) {
        gformat_free();
        ok = file_copy(path, out.c_str());
    } else {
        ok = gformat_write_jpg_file(out.c_str(), BOX_TOOL_QUALITY);
        gformat_free();
    }
    if (!ok)
        tool_fail(out.c_str(), "cannot write the picture");
    return ok;
}

static int box_create(int argc, char **argv)
{
    CreateArgs a;
    if (!parse_create(argc, argv, &a))
        return tool_usage();
    if (a.music && !tool_file_exists(a.music))
        return 1;
    char reason[256];
    if (a.music && !midi_file_ok(a.music, reason, sizeof reason))
        return tool_fail(a.music, (std::string("not a standard MIDI file: ") + reason).c_str());
    for (const char *text : {a.description, a.address})
        if (text && strlen(text) > BOX_TEXT_MAX)
            return tool_fail(a.out, "a description or address is longer than 65536 bytes");
    Scratch scratch;
    if (scratch.path.empty())
        return tool_fail("TMPDIR", strerror(errno));
    std::string picture = scratch.file("picture.jpg"), music = scratch.file("music.mid"),
                description = scratch.file("description.txt"), address = scratch.file("address.txt");
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    BoxInfo info = {};
    if (!prepare_picture(a.picture, picture, &info.picture_width, &info.picture_height))
        return 1;
    info.piece_size = a.piece_size;
    info.jitter = a.jitter;
    info.shape = a.shape;
    info.rotation = a.rotation;
    info.surprise = a.surprise;
    int32_t columns, rows, ox, oy;
    cut_grid_measure(&info, &columns, &rows, &ox, &oy);
    info.piece_count = columns * rows;
    if (a.music) {
        if (!file_copy(a.music, music.c_str()))
            return tool_fail(a.music, "cannot be copied");
        info.has_music = 1;
        info.loop_music = a.loop;
    }
    if (a.description) {
        if (!write_bytes(description, a.description, strlen(a.description)))
            return tool_fail(description.c_str(), strerror(errno));
        info.has_description = 1;
    }
    if (a.address) {
        if (!write_bytes(address, a.address, strlen(a.address)))
            return tool_fail(address.c_str(), strerror(errno));
        info.has_address = 1;
    }
    if (!box_info_valid(&info))
        return tool_fail(a.picture, box_reason());
    BoxParts parts = {picture.c_str(), description.c_str(), music.c_str(), address.c_str()};
    ChunkId id;
    chunk_new_id(&id);
    if (!box_write_file(a.out, &id, &info, &parts))
        return tool_fail(a.out, box_reason());
    printf("%s: %ix%i, %i pieces (%i x %i)\n", a.out, info.picture_width, info.picture_height, info.piece_count,
           columns, rows);
    return 0;
}

// Checks the box as the game reads it, with the picture copied to the scratch folder.
static bool check_box(const char *path, const Scratch &scratch, ChunkId *id, BoxInfo *info)
{
    if (!tool_file_exists(path))
        return false;
    std::string picture = scratch.file("picture.jpg");
    BoxParts parts = {picture.c_str(), nullptr, nullptr, nullptr};
    if (!box_read_file(path, id, info, BOX_PICTURE, &parts)) {
        tool_fail(path, box_reason());
        return false;
    }
    file_delete(picture.c_str());
    return true;
}

static const char *record_name(uint32_t tag)
{
    switch (tag) {
    case BOX_TAG_PICTURE: return "picture";
    case BOX_TAG_MUSIC: return "music";
    case BOX_TAG_DESCRIPTION: return "description";
    case BOX_TAG_ADDRESS: return "address";
    default:
        for (const ChunkField &e : box_schema)
            if (e.tag == tag && tag != 0)
                return "box information";
        return "unknown";
    }
}

static int box_info(const char *path)
{
    Scratch scratch;
    ChunkId id;
    BoxInfo info;
    if (scratch.path.empty())
        return tool_fail("TMPDIR", strerror(errno));
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    if (!check_box(path, scratch, &id, &info))
        return 1;
    printf("id %08x %08x %08x %08x\n", id.word[0], id.word[1], id.word[2], id.word[3]);
    const struct {
        const char *name;
        int32_t value;
    } fields[] = {
        {"piece size", info.piece_size}, {"jitter", info.jitter},
        {"shape", info.shape},           {"picture width", info.picture_width},
        {"picture height", info.picture_height}, {"piece count", info.piece_count},
        {"rotation", info.rotation},     {"surprise", info.surprise},
        {"has music", info.has_music},   {"has description", info.has_description},
        {"has address", info.has_address}, {"link box", info.link_box},
        {"reserved", info.reserved},     {"loop music", info.loop_music},
    };
    for (const auto &field : fields)
        printf("%-16s %i\n", field.name, field.value);
    printf("records\n");
    FILE *f = chunk_open(path, "rb");
    uint32_t tag, length;
    if (f && fseeko(f, CHUNK_FIRST_RECORD, SEEK_SET) == 0)
        // chunk_find for a tag no record has walks every record; this is the same walk,
        // told at each step.
        while (chunk_read_header(f, &tag, &length)) {
            printf("  %3u %10u  %s\n", tag, length, record_name(tag));
            if (fseeko(f, length, SEEK_CUR) != 0)
                break;
        }
    if (f)
        fclose(f);
    return 0;
}

static int box_extract(const char *path, const char *folder)
{
    struct stat st;
    if (stat(folder, &st) != 0 || !S_ISDIR(st.st_mode))
        return tool_fail(folder, "no such folder");
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    if (!tool_file_exists(path))
        return 1;
    // Copied out under work names first and given their own names only when the whole box
    // read well, so a refused box writes nothing.
    const char *names[4] = {"picture.jpg", "description.txt", "music.mid", "address.txt"};
    std::string final_path[4], work[4];
    for (int i = 0; i < 4; i++) {
        final_path[i] = std::string(folder) + "/" + names[i];
        work[i] = final_path[i] + "." + std::to_string(getpid()) + ".part";
    }
    BoxParts parts = {work[0].c_str(), work[1].c_str(), work[2].c_str(), work[3].c_str()};
    ChunkId id;
    BoxInfo info;
    if (!box_read_file(path, &id, &info, BOX_ALL_PARTS, &parts))
        return tool_fail(path, box_reason());
    int failed = 0;
    for (int i = 0; i < 4; i++) {
        if (!file_exists(work[i].c_str()))
            continue;
        if (rename(work[i].c_str(), final_path[i].c_str()) != 0) {
            failed = tool_fail(final_path[i].c_str(), strerror(errno));
            file_delete(work[i].c_str());
            continue;
        }
        printf("%s\n", final_path[i].c_str());
    }
    return failed;
}

int tool_box(int argc, char **argv)
{
    const char *verb = argv[2];
    if (strcmp(verb, "create") == 0)
        return box_create(argc, argv);
    if (strcmp(verb, "info") == 0 && argc == 4)
        return box_info(argv[3]);
    if (strcmp(verb, "extract") == 0 && argc == 5)
        return box_extract(argv[3], argv[4]);
    return tool_usage();
}
