// The tagged chunk layer on arbitrary bytes as a game file: the head every reader
// checks (magic, id, version), records read through a schema, records found by tag and
// copied out, and a record rewritten in place. A length the layer hands out must be
// backed by the file, and a record copied out must be exactly that long.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/support.h"
#include "chunk/chunk.h"

// A record like the game's: numbers, a name, and a field of another size.
struct FuzzRecord {
    int32_t a, b, c;
    char name[16];
    uint8_t blob[7];
};

static const ChunkField fuzz_schema[] = {
    {1, 4, offsetof(FuzzRecord, a)},
    {2, 4, offsetof(FuzzRecord, b)},
    {0x31584F42, 4, offsetof(FuzzRecord, c)},
    {3, 16, offsetof(FuzzRecord, name)},
    {4, 7, offsetof(FuzzRecord, blob)},
    {0, 0, 0},
};

static const uint32_t fuzz_tags[] = {1, 3, 4, 5, 0x46504D4C};

// chunk_find from the first record; 1 with the record's length when found.
static int find_from_start(FILE *f, uint32_t tag, uint32_t *length)
{
    if (fseeko(f, CHUNK_FIRST_RECORD, SEEK_SET) != 0)
        return 0;
    int found = chunk_find(f, tag, length);
    if (found) {
        off_t at = ftello(f);
        int64_t size = chunk_file_size(f);
        if (at < 0 || size < 0 || (int64_t)*length > size - at)
            fuzz_fail("chunk_find gave a length the file does not hold");
    }
    return found;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz_dir();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string path = fuzz_path("game.bin"), out = fuzz_path("record.out");
    fuzz_write(path, data, size);
    FILE *f = chunk_open(path.c_str(), "rb");
    if (!f)
        fuzz_fail("cannot open the scratch file");

    // The head as every reader checks it.
    uint32_t magic, version;
    ChunkId id;
    if (chunk_read_u32(f, &magic) && chunk_read_id(f, &id) && chunk_read_u32(f, &version)) {
        ChunkId same = id;
        rewind(f);
        if (!chunk_expect_u32(f, magic) || !chunk_expect_id(f, &same) || !chunk_expect_u32(f, version))
            fuzz_fail("a head read back does not match itself");
        FuzzRecord rec = {};
        chunk_read_schema(f, fuzz_schema, &rec, sizeof rec);
    }

    for (uint32_t tag : fuzz_tags) {
        uint32_t length;
        if (!find_from_start(f, tag, &length))
            continue;
        fseeko(f, CHUNK_FIRST_RECORD, SEEK_SET);
        if (!chunk_extract_to_file(f, tag, out.c_str()) || fuzz_read(out).size() != length)
            fuzz_fail("a record found could not be copied out whole");
    }
    fclose(f);

    // Rewriting a record of the right size in place changes only its data.
    uint32_t length;
    f = chunk_open(path.c_str(), "rb");
    int found = find_from_start(f, 3, &length);
    off_t at = ftello(f);
    fclose(f);
    const uint8_t fill[16] = {'r', 'e', 'w', 'r', 'i', 't', 't', 'e', 'n'};
    if (chunk_rewrite_in_place(path.c_str(), 3, fill, 16)) {
        std::string now = fuzz_read(path);
        bool box = size >= 4 && memcmp(data, "BOX1", 4) == 0;
        if (!box || !found || length != 16 || now.size() != size || memcmp(now.data() + at, fill, 16) != 0 ||
            memcmp(now.data(), data, (size_t)at) != 0 ||
            memcmp(now.data() + at + 16, data + at + 16, size - (size_t)at - 16) != 0)
            fuzz_fail("chunk_rewrite_in_place wrote where it should not");
    }
    return 0;
}
