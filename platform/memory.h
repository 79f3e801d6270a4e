// Counted memory: every block the game takes and gives back is counted, the counts
// must balance at exit, and an allocation that fails first releases cached data.
#pragma once
#include <cstddef>
#include <cstdint>

struct MemCounters {
    int32_t ngetmem;   // blocks handed out by io_mem_alloc
    int32_t nfreemem;  // blocks given back through io_mem_free
};
extern MemCounters mem_counters;

// Returns a block of `size` bytes, or null for size 0. Never fails: when the system
// refuses, the purge callback releases cached data and the request is retried; with
// nothing left to release it is fatal ("io_mem_alloc: no memory (%li)").
void *io_mem_alloc(size_t size);

// Grows or moves `block`; counts nothing, except that a null block is a fresh,
// counted allocation. Same
// retry as io_mem_alloc, fatal "io_mem_realloc: no memory (%li)".
void *io_mem_realloc(void *block, size_t size);

// Gives a block back; null is ignored and not counted.
void io_mem_free(void *block);

// Usable size of a block, 0 for null.
size_t io_mem_size(void *block);

// Sets up the system allocator for the game's pattern of use: large pictures are made
// and freed again and again (every box opened, every picture imported), so freed memory
// is kept for the next one instead of being handed back to the system and faulted in
// afresh page by page. Called once at process start.
void io_mem_init(void);

// Clears both counters; the kernel does it when the game's window is created.
void io_mem_reset(void);

// Logs both counters and a warning line when they differ. Called last at shutdown.
void io_mem_done(void);

// The callback releases one cached block and returns 1, or returns 0 when nothing
// can be released. The image cache installs it; null removes it.
typedef int (*MemPurgeFn)(void);
void io_mem_set_purge(MemPurgeFn purge);

// Test hook: makes the next `count` system allocations fail, as if memory ran out.
void io_mem_fail_next(int count);
