// Renaming and replacing boxes on the shelf: the four files of a box move together, a
// name is compared as the player will see it, and a change that fails leaves everything
// as it was.
#include "platform/files.h"
#include "rooms/box/shelf.h"
#include "tests/test_box_support.h"
#include "tests/toolkit_env.h"

namespace {

class ShelfEdit : public ToolkitTest {
protected:
    std::string jpeg;
    void SetUp() override
    {
        start(1024, 768);
        make_game_folders();
        jpeg = test_jpeg(200, 150, 4);
    }
    void TearDown() override
    {
        shelf_free();
        stop();
    }
    // A box on the shelf with a saved game (progress 40) and a play-state file.
    ShelfBox *box_with_files(const std::string &name, uint32_t id_word)
    {
        ChunkId id = {{id_word, 0, 0, CHUNK_ID_MARK}};
        write_file("puzzles/" + name + ".pzl", box_file(id, test_box_info(200, 150, 25), jpeg));
        write_file("sfiles/qs/" + name + ".qsv", saved_game(id, 40));
        write_file("sfiles/temp/" + name + ".tmp", "cut of " + name);
        return shelf_load_box(name.c_str());
    }
    static std::string all_files()
    {
        return folder_listing("puzzles") + "|" + folder_listing("sfiles/temp") + "|" + folder_listing("sfiles/qs");
    }
    static std::string all_bytes()
    {
        std::string out;
        for (const char *folder : {"puzzles", "sfiles/temp", "sfiles/qs"})
            for (const auto &e : std::filesystem::directory_iterator(folder))
                out += e.path().string() + "=" + read_file(e.path().string()) + "\n";
        return out;
    }
};

TEST_F(ShelfEdit, RenamingToAnotherBoxsNameOrToNothingIsRefused)
{
    ShelfBox *a = box_with_files("Alpha", 1), *b = box_with_files("Beta", 2);
    ASSERT_TRUE(a && b);
    // A box file that cannot be read is not on the shelf, but its name is still taken.
    write_file("puzzles/Broken.pzl", "not a box");
    const std::string bytes = all_bytes();
    const std::string too_long(70, 'n');
    for (const char *name : {"Beta", "BETA", "broken"})
        EXPECT_EQ(shelf_rename(a, name), SHELF_NAME_TAKEN) << name;
    for (const char *name : {"   ", "///", too_long.c_str()})
        EXPECT_EQ(shelf_rename(a, name), SHELF_NAME_INVALID) << "'" << name << "'";
    EXPECT_TRUE(all_bytes() == bytes);
    EXPECT_STREQ(a->name, "Alpha");

    // The box file went from under the shelf: there is nothing to rename.
    file_delete("puzzles/Alpha.pzl");
    const std::string left = all_bytes();
    EXPECT_EQ(shelf_rename(a, "Moved"), SHELF_NAME_FAILED);
    EXPECT_STREQ(a->name, "Alpha");
    EXPECT_TRUE(all_bytes() == left) << "the saved game, play state and preview stay under the old name";
}

TEST_F(ShelfEdit, RenamingMovesEveryFileAndClearsLeftoversOfTheNewName)
{
    ShelfBox *box = box_with_files("Old", 1);
    ASSERT_NE(box, nullptr);
    write_file("sfiles/temp/new name.prw", "a preview some earlier box left");
    write_file("sfiles/qs/New Name.qsv", "a saved game some earlier box left");
    EXPECT_EQ(shelf_rename(box, "  New Name?  "), SHELF_NAME_OK) << "cleaned: blanks trimmed, '?' dropped";
    EXPECT_STREQ(box->name, "New Name");
    EXPECT_EQ(all_files(), "New Name.pzl|New Name.prw New Name.tmp|New Name.qsv");
    EXPECT_EQ(read_file("sfiles/qs/New Name.qsv").substr(0, 4), "QICK");
    shelf_free();
    box = shelf_load_box("New Name");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->is_new * 100 + box->summary.progress, 40) << "preview and game came along";

    // Letter case alone renames too, and the box itself is never deleted on the way.
    EXPECT_EQ(shelf_rename(box, "new name"), SHELF_NAME_OK);
    EXPECT_STREQ(box->name, "new name");
    EXPECT_EQ(all_files(), "new name.pzl|new name.prw new name.tmp|new name.qsv");
    GameSummary s;
    EXPECT_EQ(game_summary_read("new name", &box->id, &s) * 100 + s.progress, 140) << "its game moved with it";

    const std::string bytes = all_bytes();
    EXPECT_EQ(shelf_rename(box, "new name"), SHELF_NAME_UNCHANGED);
    EXPECT_EQ(shelf_rename(box, "  new name  "), SHELF_NAME_UNCHANGED) << "what cleans to the current name";
    EXPECT_TRUE(all_bytes() == bytes);
}

TEST_F(ShelfEdit, ReplacingGivesTheNewBoxTheOldPlaceAndDropsTheOldGameOrFailsLeavingAllAsItWas)
{
    ShelfBox *old = box_with_files("Lake", 1);
    ASSERT_NE(old, nullptr);
    old->x = 300, old->y = 200, old->selected = 1;
    ChunkId old_id = old->id;
    const std::string bytes = all_bytes();
    BoxInfo info = test_box_info(300, 200, 40);
    EXPECT_EQ(shelf_replace("Nobody", &info), 0);

    // The new box cannot be written: its picture is missing.
    box_clear_temp(BOX_ALL_PARTS);
    EXPECT_EQ(shelf_replace("Lake", &info), 0);
    EXPECT_TRUE(all_bytes() == bytes);
    // The new box is written but cannot be shown: its picture's data is cut off.
    std::string picture = test_jpeg(300, 200, 9);
    write_file(BOX_TEMP_PICTURE, picture.substr(0, picture.size() / 2));
    EXPECT_EQ(shelf_replace("Lake", &info), 0);
    EXPECT_TRUE(all_bytes() == bytes) << "the old box and its game, cut and preview are back";
    EXPECT_EQ(shelf.head, old);
    EXPECT_EQ(shelf.count, 1);

    write_file(BOX_TEMP_PICTURE, picture);
    ASSERT_EQ(shelf_replace("lake", &info), 1);
    ShelfBox *box = shelf_find("Lake");
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(chunk_same_id(&box->id, &old_id)) << "a fresh id";
    EXPECT_EQ(std::tuple(shelf.count, box->info.piece_size, box->x, box->y, box->selected, box->is_new, box->summary.progress),
              std::tuple(1, 40, 300, 200, 1, 0, 0));
    EXPECT_EQ(all_files(), "Lake.pzl|Lake.prw|") << "the old game and cut are gone, nothing is left over";
}

}  // namespace
