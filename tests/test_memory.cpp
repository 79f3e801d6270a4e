// Counted memory and the log's limits.
#include "platform/log.h"
#include "tests/support.h"

static int purges_left, purge_calls;
static int fake_purge(void)
{
    purge_calls++;
    return purges_left-- > 0;
}

TEST(Memory, CountersCountBlocksAndShortageReleasesCachedDataThenRetriesOrIsFatal)
{
    io_mem_reset();
    EXPECT_EQ(io_mem_alloc(0), nullptr);
    io_mem_free(nullptr);
    EXPECT_EQ(mem_counters.ngetmem + mem_counters.nfreemem, 0) << "a zero-size request and freeing null count nothing";

    char *a = (char *)io_mem_alloc(100);
    memcpy(a, "pieces", 7);
    a = (char *)io_mem_realloc(a, 100000);
    EXPECT_STREQ(a, "pieces") << "growing keeps the contents";
    EXPECT_GE(io_mem_size(a), 100000u);
    EXPECT_EQ(mem_counters.ngetmem, 1) << "growing a block is not a new block";
    void *b = io_mem_realloc(nullptr, 16);
    EXPECT_EQ(mem_counters.ngetmem, 2) << "a block born from realloc is counted, so freeing it balances";
    io_mem_free(a);
    io_mem_free(b);
    EXPECT_EQ(mem_counters.nfreemem, 2);

    // A shortage releases cached data, once per refused attempt, and retries.
    io_mem_set_purge(fake_purge);
    purges_left = 5;
    purge_calls = 0;
    io_mem_fail_next(3);
    void *p = io_mem_alloc(64);
    EXPECT_NE(p, nullptr);
    EXPECT_EQ(purge_calls, 3) << "one release per refused attempt";
    io_mem_fail_next(1);
    p = io_mem_realloc(p, 128);
    EXPECT_EQ(purge_calls, 4);

    purges_left = 0;
    EXPECT_EXIT((io_mem_fail_next(1), io_mem_alloc(12345)), ::testing::ExitedWithCode(1),
                "io_mem_alloc: no memory \\(12345\\)");
    EXPECT_EXIT((io_mem_fail_next(1), io_mem_realloc(p, 777)), ::testing::ExitedWithCode(1),
                "io_mem_realloc: no memory \\(777\\)");
    io_mem_free(p);
    io_mem_set_purge(nullptr);
}

TEST(Log, FileModeCutsLongMessagesReportsTheBalanceAndFatalErrorsExitWithOne)
{
    TempDir dir;
    std::string log;
    {
        InDir in(dir.path);
        write_file("application.log", "from an earlier run\n");
        ASSERT_EQ(io_debug_init(IO_LOG_FILE), 1);
        io_log("one %d\n", 1);
        io_log("%s", "");
        io_log("%s\n", std::string(5000, 'x').c_str());
        io_mem_reset();
        void *p = io_mem_alloc(10);
        io_mem_done();
        io_mem_free(p);
        io_mem_done();
        io_debug_init(IO_LOG_NONE);
        io_log("not written\n");
        log = read_file("application.log");
    }
    EXPECT_EQ(log.rfind("one 1\n", 0), 0u) << "the log starts empty";
    size_t xs = log.find('x');
    ASSERT_NE(xs, std::string::npos);
    EXPECT_EQ(log.find_first_not_of('x', xs) - xs, (size_t)IO_LOG_BUFFER - 1) << "cut to the buffer";
    EXPECT_NE(log.find("io_mem_done: ngetmem = 1\nio_mem_done: nfreemem = 0\nio_mem_done: ngetmem!=nfreemem\n"
                       "io_mem_done: ngetmem = 1\nio_mem_done: nfreemem = 1\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("not written"), std::string::npos);

    EXPECT_EXIT(io_error("cut_grid_init: bad size (%d)\n", 7), ::testing::ExitedWithCode(1),
                "cut_grid_init: bad size \\(7\\)");
    EXPECT_EXIT(io_error("%s", std::string(10000, 'y').c_str()), ::testing::ExitedWithCode(1), "yyyy");
}
