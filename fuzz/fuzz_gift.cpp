// The gift reader and installer on arbitrary bytes as a gift file. A gift it takes lists
// only plain box names whose bytes lie inside the file; installing it puts exactly those
// boxes, each readable, into the boxes folder and nothing anywhere else. A gift it
// refuses, to read or to install, leaves the boxes folder empty. The gift file is never
// changed.
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <string>

#include "fuzz/support.h"
#include "image/img.h"
#include "platform/config.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "rooms/gift/gift.h"

// The names in a folder (without "." and ".."), counted; each is passed to `each`.
template <typename F>
static int32_t each_file(const char *folder, F each)
{
    int32_t n = 0;
    if (DIR *dir = opendir(folder)) {
        while (dirent *e = readdir(dir))
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) {
                n++;
                each(e->d_name);
            }
        closedir(dir);
    }
    return n;
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzz_keep_artifacts_here(argc, argv);
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    kernel_set_puzzles_folder("puzzles");
    fuzz_enter_dir();
    if (!make_dir("sfiles") || !make_dir("puzzles"))
        fuzz_fail("cannot make the game's folders");
    fuzz_leave_dir();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string path = fuzz_path("present.gift");
    static GiftContents contents;
    static char names[GIFT_BOXES_MAX][BOX_NAME_MAX + 1];
    int32_t held = fuzz_blocks_held();
    fuzz_write(path, data, size);
    fuzz_enter_dir();
    if (gift_read(path.c_str(), &contents)) {
        if (contents.count < 1 || contents.count > GIFT_BOXES_MAX)
            fuzz_fail("gift_read took a gift with no box or too many");
        for (int32_t i = 0; i < contents.count; i++) {
            const GiftBox &b = contents.boxes[i];
            if (!box_name_valid(b.name) || b.name[0] == '.' || b.offset < 0 ||
                (uint64_t)b.offset + b.length > (uint64_t)size)
                fuzz_fail("gift_read took a box outside the file or with a name that is no box name");
        }
        if (gift_install(path.c_str(), &contents, names)) {
            if (each_file("puzzles", [](const char *) {}) != contents.count)
                fuzz_fail("an installed gift left other files than its boxes");
            for (int32_t i = 0; i < contents.count; i++) {
                ChunkId id;
                BoxInfo info;
                if (!box_read(names[i], &id, &info, 0))
                    fuzz_fail("an installed box does not read");
            }
        } else if (each_file("puzzles", [](const char *) {}) != 0) {
            fuzz_fail("a refused gift left files in the boxes folder");
        }
    }
    each_file("puzzles", [](const char *name) { file_delete((std::string("puzzles/") + name).c_str()); });
    if (each_file("sfiles", [](const char *) {}) != 0)
        fuzz_fail("reading a gift left a file in sfiles");
    box_clear_temp(BOX_ALL_PARTS);
    fuzz_leave_dir();
    std::string now = fuzz_read(path);
    if (now.size() != size || (size && memcmp(now.data(), data, size) != 0))
        fuzz_fail("reading a gift changed its file");
    fuzz_check_balance(held, "gift_read");
    return 0;
}
