// The saved game's summary as the shelf reads it: found by tag, tied to its box by the id,
// and refused whole when it is unfinished, foreign or lying.
#include "rooms/play/savegame.h"
#include "tests/test_box_support.h"

namespace {

std::string summary_records(int32_t time, const std::string &date, int32_t progress, int32_t count)
{
    std::string d = date;
    d.resize(SAVEGAME_DATE_SIZE, '\0');
    return box_record(1, le32((uint32_t)time)) + box_record(2, d) + box_record(3, le32((uint32_t)progress)) +
           box_record(4, le32((uint32_t)count));
}

class SavedGameSummary : public ::testing::Test {
protected:
    TempDir dir;
    InDir in{dir.path};
    ChunkId id = {{1, 2, 3, CHUNK_ID_MARK}};
    void SetUp() override { make_game_folders(); }
};

TEST_F(SavedGameSummary, IsReadByTagForItsOwnBoxOnly)
{
    ChunkId other = {{1, 2, 4, CHUNK_ID_MARK}};
    std::string pieces = box_record(SAVEGAME_TAG_PIECES, std::string(40, 'p')) +
                         box_record(SAVEGAME_TAG_STACK, std::string(8, 's'));
    // An unknown record between the summary and the table, the table, and the name in
    // other letter case than the box's.
    write_file("sfiles/qs/Lake.QSV", box_head(id, CHUNK_QICK) + summary_records(754, "Monday, 3 March 2025", 42, 2) +
                                         box_record(55, "newer") + pieces);
    GameSummary s;
    memset(&s, 0x55, sizeof s);
    ASSERT_EQ(game_summary_read("lake", &id, &s), 1);
    EXPECT_EQ(std::tuple(s.play_time, std::string(s.date), s.progress, s.piece_count),
              std::tuple(754, "Monday, 3 March 2025", 42, 2));

    memset(&s, 0x55, sizeof s);
    EXPECT_EQ(game_summary_read("Lake", &other, &s), 0) << "a saved game of another box of this name";
    GameSummary zero = {};
    EXPECT_EQ(memcmp(&s, &zero, sizeof s), 0) << "a missing summary reads as all zero";
    EXPECT_EQ(game_summary_read("Nothing", &id, &s), 0);
}

TEST_F(SavedGameSummary, UnfinishedAndLyingFilesReadAsNoGame)
{
    std::string long_date(SAVEGAME_DATE_SIZE, 'd');  // no terminator in the file
    const std::string head = box_head(id, CHUNK_QICK);
    const struct {
        const char *what;
        std::string bytes;
        int ok;
    } cases[] = {
        {"an interrupted save (magic 0)", box_head(id, 0) + summary_records(5, "", 10, 4), 0},
        {"a date record of 32 bytes",
         head + box_record(1, le32(5)) + box_record(2, std::string(32, 'd')) + box_record(3, le32(1)), 0},
        {"progress 101", head + summary_records(5, "", 101, 4), 0},
        {"a negative play time", head + summary_records(-5, "", 10, 4), 0},
        {"a record past the end", head + summary_records(5, "", 10, 4) + le32(100) + le32(999), 0},
        {"a head cut short", head.substr(0, 10), 0},
        {"a date without its zero", head + summary_records(5, long_date, 100, 4), 1},
        {"no records at all", head, 1},
    };
    for (const auto &c : cases) {
        write_file("sfiles/qs/Box.qsv", c.bytes);
        GameSummary s;
        memset(&s, 0x55, sizeof s);
        EXPECT_EQ(game_summary_read("Box", &id, &s), c.ok) << c.what;
        EXPECT_EQ(strnlen(s.date, sizeof s.date), c.ok && c.bytes.size() > 100 ? 63u : 0u) << c.what;
        EXPECT_EQ(c.ok ? 0 : s.progress + s.play_time + s.piece_count, 0) << c.what << ": nothing of it is kept";
    }
}

}  // namespace
