// Box writers killed at every change they make to the disk: whatever point the kill
// comes at, the box reads afterwards, as the old box or as the new one.
#include "platform/files.h"
#include "tests/test_box_support.h"

namespace {

class BoxCrash : public ::testing::Test {
protected:
    TempDir dir;
    InDir in{dir.path};
    void SetUp() override
    {
        img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
        make_game_folders();
    }
};

// Which of two ids the box `name` reads with now: 1 the old, 2 the new, 0 none (unreadable).
int which_box(const char *name, const ChunkId &old_id, const ChunkId &new_id)
{
    ChunkId id;
    BoxInfo info;
    if (!box_read(name, &id, &info, BOX_ALL_PARTS))
        return 0;
    return chunk_same_id(&id, &old_id) ? 1 : chunk_same_id(&id, &new_id) ? 2 : 0;
}

TEST_F(BoxCrash, AWriteKilledAnywhereLeavesTheOldBoxOrTheNewOne)
{
    ChunkId old_id = {{1, 1, 1, CHUNK_ID_MARK}}, new_id = {{2, 2, 2, CHUNK_ID_MARK}};
    const std::string old_box = box_file(old_id, test_box_info(120, 90, 30), test_jpeg(120, 90, 1));
    const std::string picture = test_jpeg(160, 120, 2);
    BoxInfo info = test_box_info(160, 120, 20);
    info.has_description = 1;
    auto prepare = [&] {
        write_file("puzzles/Lake.pzl", old_box);
        write_file(BOX_TEMP_PICTURE, picture);
        write_file(BOX_TEMP_DESCRIPTION, std::string(9000, 'd'));  // more than one buffer of writes
    };
    auto work = [&] { box_write("Lake", &new_id, &info); };
    prepare();
    int calls = run_killed_at(0, work);
    if (calls < 0)
        GTEST_SKIP() << "the child cannot be traced here";
    ASSERT_EQ(which_box("Lake", old_id, new_id), 2) << "the write runs through when not killed";
    ASSERT_GT(calls, 4);
    for (int n = 1; n <= calls; n++) {
        prepare();
        EXPECT_EQ(run_killed_at(n, work), n);
        EXPECT_NE(which_box("Lake", old_id, new_id), 0) << "killed at change " << n << " of " << calls;
    }
}

TEST_F(BoxCrash, ASurpriseChangeKilledAnywhereLeavesTheBoxWithOneOfItsFlags)
{
    ChunkId id = {{3, 3, 3, CHUNK_ID_MARK}};
    BoxInfo info = test_box_info(160, 120, 20);
    info.surprise = 1;
    const std::string before = box_file(id, info, test_jpeg(160, 120));
    info.surprise = 0;
    const std::string after = box_file(id, info, test_jpeg(160, 120));
    auto work = [] { box_set_surprise("puzzles/Gift.pzl", 0); };
    write_file("puzzles/Gift.pzl", before);
    int calls = run_killed_at(0, work);
    if (calls < 0)
        GTEST_SKIP() << "the child cannot be traced here";
    ASSERT_TRUE(read_file("puzzles/Gift.pzl") == after);
    for (int n = 1; n <= calls; n++) {
        write_file("puzzles/Gift.pzl", before);
        run_killed_at(n, work);
        std::string now = read_file("puzzles/Gift.pzl");
        EXPECT_TRUE(now == before || now == after) << "killed at change " << n << " of " << calls;
        EXPECT_EQ(which_box("Gift", id, id), 1) << "killed at change " << n;
    }
}

}  // namespace
