// Box files: the bytes a box is written as, the parts read back through the temporary
// files, and boxes that are cut short, lie about themselves or try to leave their folder.
#include <sys/resource.h>

#include "platform/files.h"
#include "tests/test_box_support.h"

namespace {

class BoxFile : public ::testing::Test {
protected:
    TempDir dir;
    InDir in{dir.path};
    std::string jpeg;
    ChunkId id = {{0x11111111, 0x22222222, 0x33333333, CHUNK_ID_MARK}};
    void SetUp() override
    {
        img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
        make_game_folders();
        jpeg = test_jpeg(200, 150, 1);
        ASSERT_FALSE(jpeg.empty());
    }
    static constexpr const char *temps[] = {BOX_TEMP_PICTURE, BOX_TEMP_DESCRIPTION, BOX_TEMP_MUSIC, BOX_TEMP_ADDRESS};
    // Every temporary file holds something, as after an earlier box.
    static void stale_temp_files()
    {
        for (const char *path : temps)
            write_file(path, "from an earlier box");
    }
    static std::string temp_files_left()
    {
        std::string left;
        for (const char *path : temps)
            if (exists(path))
                left += std::string(left.empty() ? "" : " ") + path;
        return left;
    }
};

TEST_F(BoxFile, IsWrittenRecordByRecordAndReadsBackWithEveryPart)
{
    BoxInfo info = test_box_info(200, 150, 25);
    info.rotation = info.has_music = info.has_description = info.has_address = info.loop_music = 1;
    info.reserved = 77;  // never stored
    write_file(BOX_TEMP_PICTURE, jpeg);
    write_file(BOX_TEMP_MUSIC, "MThd-music");
    write_file(BOX_TEMP_DESCRIPTION, "A quiet lake");
    write_file(BOX_TEMP_ADDRESS, "lake.html");
    ASSERT_TRUE(box_write("Lake", &id, &info)) << box_reason();

    BoxInfo stored = info;
    stored.reserved = 0;
    std::string expected = box_file(id, stored, jpeg,
                                    box_record(BOX_TAG_MUSIC, "MThd-music") +
                                        box_record(BOX_TAG_DESCRIPTION, "A quiet lake") +
                                        box_record(BOX_TAG_ADDRESS, "lake.html"));
    EXPECT_TRUE(read_file("puzzles/Lake.pzl") == expected) << "the file is not laid out record by record";
    EXPECT_EQ(folder_listing("puzzles"), "Lake.pzl") << "no work file is left beside the box";

    box_clear_temp(BOX_ALL_PARTS);
    EXPECT_EQ(temp_files_left(), "");
    ChunkId got_id = {};
    BoxInfo got = {};
    ASSERT_TRUE(box_read("lake", &got_id, &got, BOX_ALL_PARTS)) << "names meet files without regard to case: "
                                                                 << box_reason();
    EXPECT_TRUE(chunk_same_id(&got_id, &id));
    EXPECT_EQ(memcmp(&got, &stored, sizeof got), 0);
    EXPECT_TRUE(read_file(BOX_TEMP_PICTURE) == jpeg);
    EXPECT_EQ(read_file(BOX_TEMP_MUSIC) + "|" + read_file(BOX_TEMP_DESCRIPTION) + "|" + read_file(BOX_TEMP_ADDRESS),
              "MThd-music|A quiet lake|lake.html");

    // Only the parts asked for are fetched; the others' files are not this box's business.
    box_clear_temp(BOX_ALL_PARTS);
    ASSERT_TRUE(box_read("Lake", &got_id, &got, BOX_DESCRIPTION | BOX_ADDRESS));
    EXPECT_EQ(temp_files_left(), std::string(BOX_TEMP_DESCRIPTION) + " " + BOX_TEMP_ADDRESS);
}

TEST_F(BoxFile, RecordsAreFoundByTagAndAClaimedPartThatIsMissingReadsAsAbsent)
{
    BoxInfo info = test_box_info(200, 150, 20);
    info.has_description = info.has_music = 1;
    // An unknown record between the information and the picture, and no record 21 or 22.
    std::string bytes = box_head(id) + box_info_records(info) + box_record(99, "from a newer game") +
                        box_record(7777, "") + box_record(BOX_TAG_PICTURE, jpeg);
    write_file("puzzles/Odd.pzl", bytes);
    stale_temp_files();
    ChunkId got_id;
    BoxInfo got;
    ASSERT_TRUE(box_read("Odd", &got_id, &got, BOX_ALL_PARTS)) << box_reason();
    EXPECT_EQ(got.has_description + got.has_music, 0) << "no record: the box simply has none";
    EXPECT_EQ(temp_files_left(), BOX_TEMP_PICTURE) << "an earlier box's description, music or address is not this one's";
    EXPECT_TRUE(read_file(BOX_TEMP_PICTURE) == jpeg);
    EXPECT_TRUE(read_file("puzzles/Odd.pzl") == bytes) << "reading changes nothing";
}

TEST_F(BoxFile, BrokenAndLyingBoxesAreRefusedAndTakeTheirTemporaryFilesWithThem)
{
    BoxInfo good = test_box_info(200, 150, 25);
    auto with = [&](auto change) {
        BoxInfo info = good;
        change(info);
        return box_file(id, info, jpeg);
    };
    std::string not_jpeg(jpeg.size(), 'x');
    const struct {
        const char *what;
        std::string bytes;
    } cases[] = {
        {"no box at all", ""},
        {"an unfinished write (magic 0)", box_head(id, 0) + box_info_records(good) + box_record(20, jpeg)},
        {"an empty picture record", box_head(id) + box_info_records(good) + box_record(20, "")},
        {"a picture that is no JPEG", box_head(id) + box_info_records(good) + box_record(20, not_jpeg)},
        {"a record longer than the file", box_head(id) + box_info_records(good) + le32(20) + le32(1 << 30) + jpeg},
        {"an information record of 5 bytes", box_head(id) + box_record(1, "\x19\0\0\0\0") + box_info_records(good)},
        {"a picture of another size", with([](BoxInfo &i) { i.picture_width = 210; })},
        {"piece size 9", with([](BoxInfo &i) { i.piece_size = 9; })},
        {"piece size over half the smaller side", with([](BoxInfo &i) { i.piece_size = 76; })},
        {"jitter 41", with([](BoxInfo &i) { i.jitter = 41; })},
        {"shape 8", with([](BoxInfo &i) { i.shape = 8; })},
        {"a piece count the grid does not give", with([](BoxInfo &i) { i.piece_count++; })},
        {"a flag of 2", with([](BoxInfo &i) { i.rotation = 2; })},
        {"a zero width", with([](BoxInfo &i) { i.picture_width = 0; })},
        {"a link box larger than the smallest screen", [&] {
             std::string big = test_jpeg(641, 100);
             BoxInfo i = {};
             i.picture_width = 641, i.picture_height = 100, i.link_box = 1;
             return box_file(id, i, big);
         }()},
    };
    for (const auto &c : cases) {
        write_file("puzzles/Bad.pzl", c.bytes);
        stale_temp_files();
        ChunkId got_id;
        BoxInfo got;
        EXPECT_FALSE(box_read("Bad", &got_id, &got, BOX_ALL_PARTS)) << c.what;
        EXPECT_NE(std::string(box_reason()), "") << c.what << ": a refusal says why";
        EXPECT_EQ(temp_files_left(), "") << c.what;
        EXPECT_TRUE(read_file("puzzles/Bad.pzl") == c.bytes) << c.what << ": the file is left as it was";
    }

    // A link box is never cut: its cut fields are not looked at.
    BoxInfo link = {};
    link.picture_width = 200, link.picture_height = 150, link.link_box = 1, link.piece_size = -3;
    write_file("puzzles/Link.pzl", box_file(id, link, jpeg));
    ChunkId got_id;
    BoxInfo got;
    EXPECT_TRUE(box_read("Link", &got_id, &got, BOX_PICTURE)) << box_reason();
}

TEST_F(BoxFile, EveryCutOfABoxShortOfItsPictureIsRefused)
{
    BoxInfo info = test_box_info(200, 150, 25);
    info.has_music = 1;
    std::string whole = box_file(id, info, jpeg, box_record(BOX_TAG_MUSIC, "MThd-tune"));
    size_t picture_end = whole.size() - 8 - 9;
    for (size_t n = 0; n < whole.size(); n += (n < 40 || n + 40 > picture_end ? 1 : 97)) {
        write_file("puzzles/Cut.pzl", whole.substr(0, n));
        stale_temp_files();
        ChunkId got_id;
        BoxInfo got;
        int ok = box_read("Cut", &got_id, &got, BOX_ALL_PARTS);
        // A file may end inside a record's header, never inside its data.
        bool readable = n >= picture_end && (n < picture_end + 8 || n == whole.size());
        EXPECT_EQ(ok, readable) << "cut at " << n << " of " << whole.size();
        if (!ok)
            EXPECT_EQ(temp_files_left(), "") << "cut at " << n;
        else
            EXPECT_EQ(got.has_music, 0) << "the music's header cut at " << n;
    }
}

TEST_F(BoxFile, NamesStayInsideTheBoxesFolder)
{
    write_file("secret.pzl", box_file(id, test_box_info(200, 150, 25), jpeg));
    ChunkId got_id;
    BoxInfo got;
    for (const char *name : {"../secret", "..\\secret", "sub/../../secret", "", ".", "..", "a\nb",
                             "0123456789012345678901234567890123456789012345678901234567890123"}) {
        EXPECT_EQ(box_name_valid(name), 0) << "'" << name << "'";
        EXPECT_FALSE(box_read(name, &got_id, &got, BOX_PICTURE)) << "'" << name << "'";
        EXPECT_FALSE(box_write(name, &got_id, &got)) << "'" << name << "'";
    }
    EXPECT_EQ(box_name_valid("012345678901234567890123456789012345678901234567890123456789012"), 1) << "63 bytes";
    EXPECT_EQ(box_name_valid("Sunset (2) ~ #1"), 1);
    EXPECT_EQ(folder_listing("puzzles"), "");
}

TEST_F(BoxFile, AWriteThatFailsLeavesTheOldBoxAsItWas)
{
    BoxInfo info = test_box_info(200, 150, 25);
    write_file(BOX_TEMP_PICTURE, jpeg);
    ASSERT_TRUE(box_write("Keep", &id, &info));
    const std::string old = read_file("puzzles/Keep.pzl");
    ChunkId other = {{5, 6, 7, 8}};

    write_file(BOX_TEMP_PICTURE, "not a picture");
    EXPECT_FALSE(box_write("Keep", &other, &info));
    write_file(BOX_TEMP_PICTURE, test_jpeg(190, 150));
    EXPECT_FALSE(box_write("Keep", &other, &info)) << "a picture of another size than the information says";
    write_file(BOX_TEMP_PICTURE, jpeg);
    for (auto lie : {&BoxInfo::piece_count, &BoxInfo::has_description}) {
        BoxInfo lying = info;
        lying.*lie = lie == &BoxInfo::piece_count ? 3 : 1;
        EXPECT_FALSE(box_write("Keep", &other, &lying)) << "a box that could not be read back";
    }
    EXPECT_TRUE(read_file("puzzles/Keep.pzl") == old);
    EXPECT_EQ(folder_listing("puzzles"), "Keep.pzl");

    // A write that runs out of room half-way, tried in a child whose file size limit stops
    // it even for root.
    auto out_of_room = [&] {
        signal(SIGXFSZ, SIG_IGN);
        rlimit small = {(rlim_t)old.size() / 2, (rlim_t)old.size() / 2};
        setrlimit(RLIMIT_FSIZE, &small);
        int wrote = box_write("Keep", &other, &info);
        _exit(wrote == 0 && read_file("puzzles/Keep.pzl") == old ? 3 : 4);
    };
    EXPECT_EXIT(out_of_room(), ::testing::ExitedWithCode(3), "");
    EXPECT_EQ(folder_listing("puzzles"), "Keep.pzl");
}

TEST_F(BoxFile, TheSurpriseFlagChangesOnlyItsOwnWord)
{
    BoxInfo info = test_box_info(200, 150, 25);
    info.surprise = 1;
    std::string before = box_file(id, info, jpeg);
    write_file("puzzles/Gift.pzl", before);
    ASSERT_TRUE(box_set_surprise("puzzles/gift.PZL", 0)) << "the path meets the file without regard to case";
    std::string after = read_file("puzzles/Gift.pzl");
    info.surprise = 0;
    EXPECT_TRUE(after == box_file(id, info, jpeg)) << "only the surprise word changes, the id stays";
    EXPECT_EQ(folder_listing("puzzles"), "Gift.pzl");
    EXPECT_FALSE(box_set_surprise("puzzles/Gift.pzl", 2));
    EXPECT_FALSE(box_set_surprise("puzzles/None.pzl", 1));
    EXPECT_TRUE(read_file("puzzles/Gift.pzl") == after);
}

}  // namespace
