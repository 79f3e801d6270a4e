// Writers of pictures, data packs and settings killed at every change they make to the
// disk: whatever point the kill comes at, the file reads afterwards, as the old file or
// as the new one, and nothing but an unfinished temporary file lies beside it.
#include "image/bmp.h"
#include "image/gformat.h"
#include "res/datapack.h"
#include "res/ini.h"
#include "tests/test_box_support.h"

namespace {

class WriterCrash : public ::testing::Test {
protected:
    TempDir dir;
    InDir in{dir.path};
    void SetUp() override { img_init(io_mem_alloc, io_mem_free, io_mem_realloc); }
    void TearDown() override { ini_flush(nullptr); }

    // Whether the folder holds `target` and, besides it, at most the temporary file a
    // killed writer leaves ("<target>.<pid>.part"), which no reader ever takes.
    static bool only_target_and_part(const std::string &folder, const std::string &target)
    {
        bool found = false;
        for (const auto &e : std::filesystem::directory_iterator(folder)) {
            std::string name = e.path().filename().string();
            if (name == target)
                found = true;
            else if (name.rfind(target + ".", 0) != 0 || name.size() < 5 || name.substr(name.size() - 5) != ".part")
                return false;
        }
        return found;
    }
    static void remove_parts(const std::string &folder)
    {
        for (const auto &e : std::filesystem::directory_iterator(folder))
            if (e.path().extension() == ".part")
                std::filesystem::remove(e.path());
    }
};

// A picture of w x h whose colours depend on `seed`.
Picture *test_picture(int32_t w, int32_t h, int seed)
{
    Picture *p = picture_create(w, h, IMG_BGR);
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++) {
            uint8_t *px = p->colour + y * p->colour_stride + x * 3;
            px[0] = (uint8_t)(x + seed);
            px[1] = (uint8_t)(y * 3);
            px[2] = (uint8_t)(seed * 41 + x * y);
        }
    return p;
}

std::string picture_bytes(const Picture *p)
{
    std::string out;
    for (int32_t y = 0; y < p->height; y++)
        out.append((const char *)p->colour + (size_t)y * p->colour_stride, (size_t)p->width * 3);
    return out;
}

// The pixels of the BMP file at `path` as the game's reader takes them; "" when it does not read.
std::string read_bmp(const char *path)
{
    if (!gformat_read(path))
        return "";
    Picture *p = gformat_take();
    std::string out = p->format == IMG_BGR ? picture_bytes(p) : "";
    picture_free(p);
    return out;
}

TEST_F(WriterCrash, ABmpSaveKilledAnywhereLeavesTheOldPictureOrTheNewOne)
{
    std::filesystem::create_directory("shots");
    Picture *old_picture = test_picture(90, 70, 1), *new_picture = test_picture(200, 150, 2);
    ASSERT_EQ(bmp_save("shots/shot.bmp", old_picture), 0);
    const std::string old_file = read_file("shots/shot.bmp"), old_pixels = picture_bytes(old_picture);
    const std::string new_pixels = picture_bytes(new_picture);
    ASSERT_EQ(read_bmp("shots/shot.bmp"), old_pixels);
    auto work = [new_picture] { bmp_save("shots/shot.bmp", new_picture); };
    int calls = run_killed_at(0, work);
    if (calls < 0) {
        picture_free(old_picture);
        picture_free(new_picture);
        GTEST_SKIP() << "the child cannot be traced here";
    }
    const std::string new_file = read_file("shots/shot.bmp");
    EXPECT_EQ(read_bmp("shots/shot.bmp"), new_pixels) << "the save runs through when not killed";
    EXPECT_EQ(folder_listing("shots"), "shot.bmp") << "and leaves nothing beside the picture";
    EXPECT_GT(calls, 10) << "90,000 bytes of pixels take many writes";
    for (int n = 1; n <= calls; n++) {
        remove_parts("shots");
        write_file("shots/shot.bmp", old_file);
        EXPECT_EQ(run_killed_at(n, work), n);
        std::string now = read_file("shots/shot.bmp"), pixels = read_bmp("shots/shot.bmp");
        EXPECT_TRUE((now == old_file && pixels == old_pixels) || (now == new_file && pixels == new_pixels))
            << "killed at change " << n << " of " << calls << ": " << now.size() << " bytes";
        EXPECT_TRUE(only_target_and_part("shots", "shot.bmp")) << folder_listing("shots");
    }
    picture_free(old_picture);
    picture_free(new_picture);
}

// Every entry of the pack at `path` as the game reads it, "name=bytes" one after the other.
std::string read_pack(const char *path)
{
    dp_open(path);
    std::vector<std::string> names;
    dp_list(0, [](const char *name, uint32_t, void *ctx) { ((std::vector<std::string> *)ctx)->push_back(name); }, &names);
    std::string out;
    for (const std::string &name : names) {
        int index = dp_get_index(name.c_str(), 1);
        void *bytes = dp_load(index);
        out += name + "=" + std::string((const char *)bytes, dp_size(index)) + ";";
        io_mem_free(bytes);
    }
    dp_close();
    return out;
}

TEST_F(WriterCrash, APackWriteKilledAnywhereLeavesTheOldPackOrTheNewOne)
{
    for (const char *folder : {"old/img", "new/img", "new/curves", "out"})
        std::filesystem::create_directories(folder);
    write_file("old/skin.ini", "[Skin]\nTable=1 2 3\n");
    write_file("old/img/intro.jpg", std::string(3000, 'o'));
    write_file("new/skin.ini", "[Skin]\nTable=4 5 6\n");
    write_file("new/img/intro.jpg", std::string(40000, 'n'));  // more than one buffer of copying
    write_file("new/img/background.jpg", std::string(25000, 'b'));
    write_file("new/curves/c_0.crv", std::string(32, 'c'));
    ASSERT_EQ(dp_write_pack("old", "out/data.pck"), 1) << dp_write_error();
    const std::string old_file = read_file("out/data.pck"), old_entries = read_pack("out/data.pck");
    auto work = [] { dp_write_pack("new", "out/data.pck"); };
    int calls = run_killed_at(0, work);
    if (calls < 0)
        GTEST_SKIP() << "the child cannot be traced here";
    const std::string new_file = read_file("out/data.pck"), new_entries = read_pack("out/data.pck");
    ASSERT_NE(new_file, old_file) << "the pack runs through when not killed";
    EXPECT_NE(new_entries.find("img/background.jpg=bbbb"), std::string::npos) << new_entries.substr(0, 200);
    EXPECT_EQ(folder_listing("out"), "data.pck");
    EXPECT_GT(calls, 10);
    for (int n = 1; n <= calls; n++) {
        remove_parts("out");
        write_file("out/data.pck", old_file);
        EXPECT_EQ(run_killed_at(n, work), n);
        std::string now = read_file("out/data.pck");
        bool whole = now == old_file || now == new_file;
        EXPECT_TRUE(whole) << "killed at change " << n << " of " << calls << ": " << now.size() << " bytes";
        // Only a pack known whole is opened: the reader ends the process on a broken one.
        if (whole) {
            EXPECT_EQ(read_pack("out/data.pck"), now == old_file ? old_entries : new_entries) << "killed at change " << n;
        }
        EXPECT_TRUE(only_target_and_part("out", "data.pck")) << folder_listing("out");
    }
}

// The value of a key of "sfiles/config.ini" as a fresh read takes it.
std::string ini_value(const char *section, const char *key)
{
    ini_flush(nullptr);  // no cached text: the file as it is now
    char value[256];
    ini_get_string("sfiles/config.ini", section, key, value, sizeof value);
    return value;
}

TEST_F(WriterCrash, ASettingsWriteKilledAnywhereLeavesTheOldFileOrTheNewOne)
{
    std::filesystem::create_directory("sfiles");
    // Large enough that the file is written in several pieces.
    std::string text = "; the player's settings\r\n[Main]\r\nOldScreenSize=800 600\r\n";
    for (int s = 0; s < 6; s++) {
        text += "[Room" + std::to_string(s) + "]\r\n";
        for (int k = 0; k < 40; k++)
            text += "Window" + std::to_string(k) + "=" + std::to_string(k * 7) + " " + std::to_string(s * 100 + k) +
                    " 320 200\r\n";
    }
    write_file("sfiles/config.ini", text);
    auto work = [] { ini_set_string("sfiles/config.ini", "Main", "OldScreenSize", "1024 768"); };
    int calls = run_killed_at(0, work);
    if (calls < 0)
        GTEST_SKIP() << "the child cannot be traced here";
    const std::string new_file = read_file("sfiles/config.ini");
    ASSERT_EQ(ini_value("Main", "OldScreenSize"), "1024 768") << "the write runs through when not killed";
    EXPECT_EQ(new_file.size(), text.size() + 1) << "one key changed, every other line as it was";
    EXPECT_EQ(folder_listing("sfiles"), "config.ini");
    EXPECT_GT(calls, 3);
    for (int n = 1; n <= calls; n++) {
        remove_parts("sfiles");
        write_file("sfiles/config.ini", text);
        ini_flush(nullptr);
        EXPECT_EQ(run_killed_at(n, work), n);
        std::string now = read_file("sfiles/config.ini"), value = ini_value("Main", "OldScreenSize");
        EXPECT_TRUE((now == text && value == "800 600") || (now == new_file && value == "1024 768"))
            << "killed at change " << n << " of " << calls << ": " << now.size() << " bytes, value " << value;
        EXPECT_EQ(ini_value("Room5", "Window39"), "273 539 320 200") << "the last line, killed at change " << n;
        EXPECT_TRUE(only_target_and_part("sfiles", "config.ini")) << folder_listing("sfiles");
    }
}

}  // namespace
