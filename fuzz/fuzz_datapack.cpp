// The data pack reader on arbitrary bytes as a pack file: dp_open, then what the game
// and pelmora-tool do with an open pack (list it, find each name, measure, load and
// extract each file). A damaged pack is refused by dp_open's designed fatal error;
// once a pack is open, reading any entry it lists must work and give its listed size.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/support.h"
#include "platform/memory.h"
#include "res/datapack.h"

// Entries looked at per pack: the file-info table holds 512 names in all.
constexpr size_t FUZZ_PACK_ENTRIES = 64;

static const char *const dp_open_refusals[] = {"dp_open: ", nullptr};

struct Listed {
    std::string name;
    uint32_t size;
};

static void collect(const char *name, uint32_t size, void *ctx)
{
    auto *list = (std::vector<Listed> *)ctx;
    if (list->size() < FUZZ_PACK_ENTRIES)
        list->push_back({name, size});
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz_dir();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string pack = fuzz_path("fuzz.pck"), out = fuzz_path("entry.out");
    int32_t held = fuzz_blocks_held();
    fuzz_write(pack, data, size);
    fuzz_expect_fatal(dp_open_refusals);
    try {
        dp_open(pack.c_str());
    } catch (const FuzzFatal &) {
        dp_close();
        fuzz_check_balance(held, "a refused pack");
        return 0;
    }
    // From here on every fatal error is a fault.
    fuzz_expect_fatal(nullptr);
    std::vector<Listed> list;
    dp_list(0, collect, &list);
    for (const Listed &e : list) {
        int index = dp_get_index(e.name.c_str(), 1);
        // The first entry of a name is the one found; a later one may differ in size.
        bool first = true;
        for (const Listed &o : list) {
            if (&o == &e)
                break;
            first = first && o.name != e.name;
        }
        if (strcmp(dp_get_name(index), e.name.c_str()) != 0 || (first && dp_size(index) != e.size))
            fuzz_fail("a listed entry is found under another name or size");
        uint32_t n = dp_size(index);
        uint8_t *block = (uint8_t *)dp_load(index);
        if (n > 0) {
            FILE *f = dp_fopen(index);
            (void)f;
            dp_fseek(n - 1);
            uint8_t last;
            dp_fread(&last, 1);
            dp_fclose();
            if (last != block[n - 1])
                fuzz_fail("dp_fseek and dp_load disagree on an entry's last byte");
        }
        if (!dp_extract(index, out.c_str()) || fuzz_read(out) != std::string((const char *)block, n))
            fuzz_fail("dp_extract wrote other bytes than dp_load read");
        io_mem_free(block);
    }
    dp_close();
    fuzz_check_balance(held, "an opened pack");
    return 0;
}
