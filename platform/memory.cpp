// Counted allocation with release of cached data under memory pressure.
#include "platform/memory.h"

#include <cstdlib>
#include <malloc.h>

#include "platform/log.h"

MemCounters mem_counters;

static struct {
    MemPurgeFn purge;
    int fail_next;  // injected failures left, for tests of the purge loop
} mem;

static void *system_alloc(void *block, size_t size)
{
    if (mem.fail_next > 0) {
        mem.fail_next--;
        return nullptr;
    }
    return block ? realloc(block, size) : malloc(size);
}

// Asks the system, and while it refuses lets the cache give up one block at a time.
static void *alloc_with_purge(void *block, size_t size, const char *who)
{
    for (;;) {
        void *p = system_alloc(block, size);
        if (p)
            return p;
        if (!mem.purge || !mem.purge())
            io_error("%s: no memory (%li)\n", who, (long)size);
    }
}

void *io_mem_alloc(size_t size)
{
    if (size == 0)
        return nullptr;
    void *p = alloc_with_purge(nullptr, size, "io_mem_alloc");
    mem_counters.ngetmem++;
    return p;
}

void *io_mem_realloc(void *block, size_t size)
{
    // A block born here is freed with io_mem_free later, so it is counted as an
    // allocation; otherwise the balance check at exit would cry wolf.
    if (!block)
        return io_mem_alloc(size ? size : 1);
    // A zero size would free the block behind the counters' back; keep one byte instead.
    return alloc_with_purge(block, size ? size : 1, "io_mem_realloc");
}

void io_mem_free(void *block)
{
    if (!block)
        return;
    free(block);
    mem_counters.nfreemem++;
}

size_t io_mem_size(void *block)
{
    return block ? malloc_usable_size(block) : 0;
}

void io_mem_init(void)
{
    constexpr int KEEP = 1 << 30;
    mallopt(M_MMAP_THRESHOLD, KEEP);
    mallopt(M_TRIM_THRESHOLD, KEEP);
}

void io_mem_reset(void)
{
    mem_counters = {};
}

void io_mem_done(void)
{
    io_log("io_mem_done: ngetmem = %i\n", mem_counters.ngetmem);
    io_log("io_mem_done: nfreemem = %i\n", mem_counters.nfreemem);
    if (mem_counters.ngetmem != mem_counters.nfreemem)
        io_log("io_mem_done: ngetmem!=nfreemem\n");
}

void io_mem_set_purge(MemPurgeFn purge)
{
    mem.purge = purge;
}

void io_mem_fail_next(int count)
{
    mem.fail_next = count;
}
