// pelmora-tool box, end to end: a box made from a picture reads in the game, tells what
// it holds and comes apart again; bad input is one line naming the file, and no output.
#include <algorithm>

#include "image/bmp.h"
#include "platform/files.h"
#include "tests/test_box_support.h"

namespace {

class BoxTool : public ::testing::Test {
protected:
    TempDir dir;
    ChildOptions opt{.cwd = dir.path, .with_pack = false};
    void SetUp() override { img_init(io_mem_alloc, io_mem_free, io_mem_realloc); }
    int run(const std::vector<std::string> &args)
    {
        std::vector<std::string> all = {"box"};
        all.insert(all.end(), args.begin(), args.end());
        // Each run's words alone.
        file_delete(dir.file("stdout.txt").c_str());
        file_delete(dir.file("stderr.txt").c_str());
        return wait_child(spawn_child(PELMORA_TOOL_EXE, all, opt), 30000);
    }
    std::string said() { return read_file(dir.file("stdout.txt")); }
    std::string complained() { return read_file(dir.file("stderr.txt")); }
    std::string folder(const char *name) { return folder_listing(dir.file(name)); }
    // The refusal: exit code 1 and one line that names `file`.
    void expect_refusal(const std::vector<std::string> &args, const std::string &file, const std::string &reason)
    {
        EXPECT_EQ(run(args), 1) << args[0];
        std::string text = complained();
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
        EXPECT_NE(text.find(file), std::string::npos) << text;
        EXPECT_NE(text.find(reason), std::string::npos) << text;
    }
};

TEST_F(BoxTool, MakesABoxTheGameReadsAndTakesItApartAgain)
{
    Picture *p = picture_create(300, 200, IMG_BGR);
    for (int32_t i = 0; i < p->colour_stride * p->height; i++)
        p->colour[i] = (uint8_t)(i * 13);
    ASSERT_EQ(bmp_save(dir.file("pic.bmp").c_str(), p), 0);
    picture_free(p);
    write_file(dir.file("tune.mid"), std::string("MThd\0\0\0\6\0\1\0\1\0\x60MTrk\0\0\0\4\0\xFF\x2F\0", 26));

    ASSERT_EQ(run({"create", "pic.bmp", "lake.pzl", "--piece-size", "40", "--jitter", "12", "--shape", "6",
                   "--rotation", "--surprise", "--music", "tune.mid", "--loop", "--description", "A lake",
                   "--address", "lake.html"}),
              0)
        << complained();
    EXPECT_EQ(said(), "lake.pzl: 300x200, 35 pieces (7 x 5)\n");

    ChunkId id;
    BoxInfo info;
    std::string picture = dir.file("check.jpg");
    BoxParts parts = {picture.c_str(), nullptr, nullptr, nullptr};
    ASSERT_TRUE(box_read_file(dir.file("lake.pzl").c_str(), &id, &info, BOX_PICTURE, &parts)) << box_reason();
    EXPECT_EQ(info.piece_size * 1000 + info.jitter * 10 + info.shape, 40126);
    EXPECT_EQ(info.rotation + info.surprise + info.has_music + info.loop_music + info.has_description + info.has_address, 6);

    ASSERT_EQ(run({"info", "lake.pzl"}), 0) << complained();
    std::string text = said();
    char id_line[64];
    snprintf(id_line, sizeof id_line, "id %08x %08x %08x %08x\n", id.word[0], id.word[1], id.word[2], id.word[3]);
    EXPECT_EQ(text.rfind(id_line, 0), 0u) << text;
    for (const char *line : {"piece count      35\n", "surprise         1\n", "    1          4  box information\n",
                             "   21         26  music\n", "   23          9  address\n"})
        EXPECT_NE(text.find(line), std::string::npos) << "'" << line << "' in\n" << text;

    ASSERT_EQ(make_dir(dir.file("out").c_str()), 1);
    ASSERT_EQ(run({"extract", "lake.pzl", "out"}), 0) << complained();
    EXPECT_EQ(folder("out"), "address.txt description.txt music.mid picture.jpg");
    EXPECT_EQ(read_file(dir.file("out/description.txt")) + "|" + read_file(dir.file("out/address.txt")),
              "A lake|lake.html");
    EXPECT_TRUE(read_file(dir.file("out/music.mid")) == read_file(dir.file("tune.mid")));
    EXPECT_TRUE(read_file(dir.file("out/picture.jpg")) == read_file(picture));

    // A JPEG is kept as it is.
    write_file(dir.file("photo.jpg"), test_jpeg(120, 90, 2));
    ASSERT_EQ(run({"create", "photo.jpg", "photo.pzl", "--piece-size", "30"}), 0) << complained();
    ASSERT_EQ(make_dir(dir.file("photo").c_str()), 1);
    ASSERT_EQ(run({"extract", "photo.pzl", "photo"}), 0) << complained();
    EXPECT_EQ(folder("photo"), "picture.jpg");
    EXPECT_TRUE(read_file(dir.file("photo/picture.jpg")) == read_file(dir.file("photo.jpg")));
}

TEST_F(BoxTool, BadInputIsOneLineAndNothingIsWritten)
{
    write_file(dir.file("small.jpg"), test_jpeg(60, 50));
    write_file(dir.file("noise.mid"), "RIFF not a midi file");
    expect_refusal({"create", "small.jpg", "a.pzl", "--piece-size", "26"}, "small.jpg", "piece size 26");
    expect_refusal({"create", "small.jpg", "a.pzl", "--music", "noise.mid"}, "noise.mid", "MIDI");
    // A good header over a track cut short: the play room would refuse it.
    write_file(dir.file("cut.mid"), std::string("MThd\0\0\0\6\0\0\0\1\0\x60MTrk\0\0\1\0\0\x90", 24));
    expect_refusal({"create", "small.jpg", "a.pzl", "--music", "cut.mid"}, "cut.mid", "MIDI");
    write_file(dir.file("fake.jpg"), "not a jpeg at all");
    expect_refusal({"create", "fake.jpg", "a.pzl", "--piece-size", "10"}, "fake.jpg", "");
    EXPECT_EQ(run({"create", "small.jpg", "a.pzl", "--loop"}), 2) << "--loop belongs to --music";
    EXPECT_FALSE(exists(dir.file("a.pzl")));

    // A box the game would leave off the shelf is refused with the reason, and an extract
    // of it writes nothing, not even over what the folder held.
    ChunkId id = {{1, 2, 3, CHUNK_ID_MARK}};
    BoxInfo liar = test_box_info(60, 50, 10);
    liar.shape = 9;
    write_file(dir.file("liar.pzl"), box_file(id, liar, test_jpeg(60, 50)));
    expect_refusal({"info", "liar.pzl"}, "liar.pzl", "shape 9");
    ASSERT_EQ(make_dir(dir.file("out").c_str()), 1);
    write_file(dir.file("out/picture.jpg"), "mine");
    expect_refusal({"extract", "liar.pzl", "out"}, "liar.pzl", "shape 9");
    EXPECT_EQ(folder("out") + ":" + read_file(dir.file("out/picture.jpg")), "picture.jpg:mine");
    expect_refusal({"extract", "liar.pzl", "nowhere"}, "nowhere", "no such folder");
    write_file(dir.file("cut.pzl"), box_file(id, test_box_info(60, 50, 10), test_jpeg(60, 50)).substr(0, 300));
    expect_refusal({"info", "cut.pzl"}, "cut.pzl", "");
}

}  // namespace
