// The box reader on arbitrary bytes as a box file in the boxes folder, with every part
// asked for. A box it takes must be one the game can use: fields in their ranges, a JPEG
// picture of the size the box says, texts no longer than a box may hold; written again
// from its parts it reads back the same. A box it refuses leaves no temporary file, and
// the file read is never changed.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/support.h"
#include "image/jpeg.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "rooms/box/box.h"

static const char *const fuzz_temp_files[] = {BOX_TEMP_PICTURE, BOX_TEMP_DESCRIPTION, BOX_TEMP_MUSIC,
                                              BOX_TEMP_ADDRESS};

static bool any_temp_file(void)
{
    for (const char *path : fuzz_temp_files)
        if (file_exists(path))
            return true;
    return false;
}

static void check_taken_box(const ChunkId *id, const BoxInfo *info)
{
    if (!box_info_valid(info))
        fuzz_fail("box_read took a box whose fields are out of range");
    FILE *f = fopen(BOX_TEMP_PICTURE, "rb");
    int32_t w = 0, h = 0;
    uint32_t format;
    if (!f || jpeg_read_info(f, &w, &h, &format) || w != info->picture_width || h != info->picture_height)
        fuzz_fail("box_read took a picture that is not a JPEG of the box's size");
    fclose(f);
    for (const char *text : {BOX_TEMP_DESCRIPTION, BOX_TEMP_ADDRESS})
        if (file_exists(text) && fuzz_read(text).size() > BOX_TEXT_MAX)
            fuzz_fail("box_read took a text longer than a box may hold");
    if (file_exists(BOX_TEMP_MUSIC) != (info->has_music != 0) ||
        file_exists(BOX_TEMP_DESCRIPTION) != (info->has_description != 0) ||
        file_exists(BOX_TEMP_ADDRESS) != (info->has_address != 0))
        fuzz_fail("a has-flag disagrees with the part read");

    // Written again from what was read, the box reads back as itself.
    std::string parts[4];
    for (int i = 0; i < 4; i++)
        parts[i] = file_exists(fuzz_temp_files[i]) ? fuzz_read(fuzz_temp_files[i]) : "";
    if (!box_write("again", id, info))
        fuzz_fail("a box that was read cannot be written");
    ChunkId id2;
    BoxInfo info2;
    BoxInfo expected = *info;
    expected.reserved = 0;
    if (!box_read("again", &id2, &info2, BOX_ALL_PARTS) || !chunk_same_id(id, &id2) ||
        memcmp(&expected, &info2, sizeof info2) != 0)
        fuzz_fail("a box written from a box read does not read back the same");
    for (int i = 0; i < 4; i++)
        if ((file_exists(fuzz_temp_files[i]) ? fuzz_read(fuzz_temp_files[i]) : "") != parts[i])
            fuzz_fail("a part changed on its way through a written box");
    file_delete("puzzles/again.pzl");
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzz_keep_artifacts_here(argc, argv);
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    fuzz_enter_dir();
    if (!make_dir("sfiles") || !make_dir("puzzles"))
        fuzz_fail("cannot make the game's folders");
    fuzz_leave_dir();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string path = fuzz_path("puzzles/box.pzl");
    int32_t held = fuzz_blocks_held();
    fuzz_write(path, data, size);
    fuzz_enter_dir();
    ChunkId id;
    BoxInfo info;
    if (box_read("box", &id, &info, BOX_ALL_PARTS))
        check_taken_box(&id, &info);
    else if (any_temp_file())
        fuzz_fail("a refused box left a temporary file");
    box_clear_temp(BOX_ALL_PARTS);
    fuzz_leave_dir();
    std::string now = fuzz_read(path);
    if (now.size() != size || (size && memcmp(now.data(), data, size) != 0))
        fuzz_fail("reading a box changed its file");
    fuzz_check_balance(held, "box_read");
    return 0;
}
