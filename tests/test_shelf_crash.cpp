// Renaming and replacing killed at every change they make to the disk: the box always
// reads afterwards, under one of its names, and a game in progress is never parted from
// the box it belongs to.
#include <map>

#include "platform/files.h"
#include "rooms/box/shelf.h"
#include "tests/test_box_support.h"
#include "tests/toolkit_env.h"

namespace {

class ShelfCrash : public ToolkitTest {
protected:
    std::map<std::string, std::string> start_files;
    void SetUp() override
    {
        start(800, 600);
        make_game_folders();
    }
    void TearDown() override
    {
        shelf_free();
        stop();
    }
    ShelfBox *lake()
    {
        ChunkId id = {{1, 2, 3, CHUNK_ID_MARK}};
        write_file("puzzles/Lake.pzl", box_file(id, test_box_info(120, 90, 20), test_jpeg(120, 90, 5)));
        write_file("sfiles/qs/Lake.qsv", box_head(id, CHUNK_QICK) + box_record(3, le32(40)));
        write_file("sfiles/temp/Lake.tmp", "cut");
        ShelfBox *box = shelf_load_box("Lake");
        for (const char *folder : {"puzzles", "sfiles/temp", "sfiles/qs"})
            for (const auto &e : std::filesystem::directory_iterator(folder))
                start_files[e.path().string()] = read_file(e.path().string());
        return box;
    }
    // Back to the files the test began with, whatever a killed child left.
    void restore()
    {
        for (const char *folder : {"puzzles", "sfiles/temp", "sfiles/qs"})
            for (const auto &e : std::filesystem::directory_iterator(folder))
                std::filesystem::remove(e.path());
        for (const auto &[path, bytes] : start_files)
            write_file(path, bytes);
    }
    // The progress of the box `name` with the given id: -1 when the box does not read.
    static int progress_of(const char *name, const ChunkId &id)
    {
        ChunkId got;
        BoxInfo info;
        if (!box_read(name, &got, &info, BOX_ALL_PARTS) || !chunk_same_id(&got, &id))
            return -1;
        GameSummary s;
        game_summary_read(name, &id, &s);
        return s.progress;
    }
};

TEST_F(ShelfCrash, ARenameKilledAnywhereLeavesTheBoxWithItsGameUnderOneName)
{
    ShelfBox *box = lake();
    ASSERT_NE(box, nullptr);
    const ChunkId id = box->id;
    auto work = [box] { shelf_rename(box, "Evening Lake"); };
    int calls = run_killed_at(0, work);
    if (calls < 0)
        GTEST_SKIP() << "the child cannot be traced here";
    EXPECT_EQ(progress_of("Evening Lake", id), 40) << "the rename runs through when not killed";
    int old_seen = 0, new_seen = 0;
    for (int n = 1; n <= calls; n++) {
        restore();
        run_killed_at(n, work);
        int under_old = progress_of("Lake", id), under_new = progress_of("Evening Lake", id);
        EXPECT_TRUE((under_old == 40) != (under_new == 40))
            << "killed at change " << n << " of " << calls << ": old " << under_old << ", new " << under_new;
        old_seen += under_old == 40;
        new_seen += under_new == 40;
    }
    EXPECT_GT(old_seen * new_seen, 0);
}

TEST_F(ShelfCrash, AReplaceKilledAnywhereLeavesTheOldBoxWithItsGameOrTheNewBox)
{
    ShelfBox *box = lake();
    ASSERT_NE(box, nullptr);
    const ChunkId old_id = box->id;
    const std::string picture = test_jpeg(160, 120, 6);
    BoxInfo info = test_box_info(160, 120, 40);
    auto work = [&info] { shelf_replace("Lake", &info); };
    write_file(BOX_TEMP_PICTURE, picture);
    int calls = run_killed_at(0, work);
    if (calls < 0)
        GTEST_SKIP() << "the child cannot be traced here";
    ChunkId got;
    BoxInfo read;
    ASSERT_TRUE(box_read("Lake", &got, &read, 0));
    ASSERT_EQ(read.piece_size, 40) << "the replace runs through when not killed";
    int old_seen = 0, new_seen = 0;
    for (int n = 1; n <= calls; n++) {
        restore();
        write_file(BOX_TEMP_PICTURE, picture);
        run_killed_at(n, work);
        ASSERT_TRUE(box_read("Lake", &got, &read, BOX_PICTURE)) << "killed at change " << n << " of " << calls;
        if (chunk_same_id(&got, &old_id)) {
            EXPECT_EQ(progress_of("Lake", old_id), 40) << "the old box keeps its game; killed at " << n;
            old_seen++;
        } else {
            EXPECT_EQ(read.piece_size, 40) << "killed at " << n;
            new_seen++;
        }
        int boxes = 0;
        for (const auto &e : std::filesystem::directory_iterator("puzzles"))
            boxes += e.path().extension() == ".pzl";
        EXPECT_EQ(boxes, 1) << "the kept old box never shows as a box of its own; killed at " << n;
    }
    EXPECT_GT(old_seen * new_seen, 0);
}

}  // namespace
