// The data pack: lookups, reads bounded by their file, damaged packs, the writer, and
// pelmora-tool end to end.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "res/datapack.h"
#include "tests/support.h"

static void put32(std::string &s, size_t at, uint32_t v)
{
    s.replace(at, 4, le32(v));
}

struct TestEntry {
    std::string name, data;
    uint32_t pad = 0;  // bytes of padding after the name's terminator
};

// A pack laid out as header, data, directory; `dir_at` gets the directory's offset.
static std::string make_pack(const std::vector<TestEntry> &entries, size_t *dir_at = nullptr)
{
    std::string data, dir;
    for (const TestEntry &e : entries) {
        std::string name = e.name + std::string(1 + e.pad, '\0');
        dir += le32(DP_ENTRY_HEAD + name.size()) + le32(DP_HEADER_SIZE + data.size()) + le32(e.data.size()) + name;
        data += e.data;
    }
    if (dir_at)
        *dir_at = DP_HEADER_SIZE + data.size();
    return le32(DP_MAGIC) + le32(DP_HEADER_SIZE + data.size()) + le32(dir.size()) + le32(entries.size()) + data + dir;
}

static const std::vector<TestEntry> sample = {
    {"a.txt", "alpha"}, {std::string(300, 'L') + "/long.bin", "0123456789", 37}, {"b.txt", "bravo!"}, {"empty", ""}};

static std::string read_all(int index)
{
    std::string s(dp_size(index), '\0');
    void *block = dp_load(index);
    memcpy(s.data(), block, s.size());
    io_mem_free(block);
    return s;
}

// The sample pack, then a folder of loose files behind it.
class PackReads : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override
    {
        write_file(dir.file("data.pck"), make_pack(sample));
        std::filesystem::create_directories(dir.file("extra/img"));
        write_file(dir.file("extra/img/a.jpg"), "loose picture");
        write_file(dir.file("extra/a.txt"), "shadowed by the pack");
        io_mem_reset();
        dp_open(dir.file("data.pck").c_str());
        dp_open(dir.file("extra@ignored").c_str());
    }
    void TearDown() override { dp_close(); }
};

TEST_F(PackReads, LookupsFindEachNameOnceInOpeningOrder)
{
    EXPECT_EQ(read_all(dp_get_index("a.txt", 1)), "alpha") << "the first archive opened wins";
    EXPECT_EQ(read_all(dp_get_index("b.txt", 1)), "bravo!") << "the padded entry before it is stepped over by its length";
    EXPECT_EQ(read_all(dp_get_index(sample[1].name.c_str(), 1)), "0123456789");
    int loose = dp_get_index("img/a.jpg", 1);
    EXPECT_STREQ(dp_get_name(loose), "img/a.jpg");
    EXPECT_EQ(read_all(loose), "loose picture");
    EXPECT_EQ(dp_get_index("A.TXT", 0), -1) << "names are compared case-sensitively";
    EXPECT_EQ(dp_get_index("img", 0), -1) << "a folder is not a file";
    EXPECT_EXIT(dp_get_index("nope.img", 1), ::testing::ExitedWithCode(1), "dp_get_hfile: file not found \\(nope.img\\)");
    EXPECT_EXIT(dp_get_name(99), ::testing::ExitedWithCode(1), "dp_get_name: bad index \\(99\\)");
    dp_close();
    EXPECT_EQ(blocks_held(), 0) << "the directory and loose names are given back";
}

static int open_fds()
{
    auto it = std::filesystem::directory_iterator("/proc/self/fd");
    return (int)std::distance(it, std::filesystem::directory_iterator());
}

TEST_F(PackReads, ReadsStayInsideTheirFile)
{
    int b = dp_get_index("b.txt", 1), loose = dp_get_index("img/a.jpg", 1);
    FILE *f = dp_fopen(b);
    EXPECT_EQ(ftell(f), (long)(DP_HEADER_SIZE + 5 + 10)) << "offset 0 is the entry's first byte, not the pack's";
    char buf[16] = {};
    dp_fseek(2);
    dp_fread(buf, 4);
    EXPECT_STREQ(buf, "avo!");
    EXPECT_EXIT(dp_fread(buf, 1), ::testing::ExitedWithCode(1), "dp_fread: b.txt") << "the next entry's bytes";
    EXPECT_EXIT(dp_fopen(loose), ::testing::ExitedWithCode(1), "dp_fopen: next open");
    EXPECT_EXIT(dp_size(loose), ::testing::ExitedWithCode(1), "dp_fopen: next open") << "measuring opens it";
    dp_fclose();

    int fds = open_fds();
    dp_fopen(loose);
    EXPECT_EXIT(dp_fread(buf, 14), ::testing::ExitedWithCode(1), "dp_fread: img/a.jpg");
    dp_fclose();
    EXPECT_EQ(open_fds(), fds) << "a loose file's stream is closed";
    EXPECT_EXIT(dp_fclose(), ::testing::ExitedWithCode(1), "dp_fopen: next open");
    EXPECT_EXIT(dp_fseek(0), ::testing::ExitedWithCode(1), "dp_fseek: file is not open");
}

TEST_F(PackReads, LoadAndExtractCopyTheWholeFile)
{
    void *empty = dp_load(dp_get_index("empty", 1));
    EXPECT_NE(empty, nullptr) << "an empty file still gives a block, so a cache can tell it is loaded";
    io_mem_free(empty);
    write_file(dir.file("skin.ini"), "an older, longer skin file");
    EXPECT_EQ(dp_extract(dp_get_index("b.txt", 1), dir.file("skin.ini").c_str()), 1);
    EXPECT_EQ(read_file(dir.file("skin.ini")), "bravo!");
    EXPECT_EQ(dp_extract(dp_get_index("a.txt", 1), dir.file("no/such/x").c_str()), 0);
    EXPECT_EQ(dp_extract(dp_get_index("a.txt", 1), dir.file("a.out").c_str()), 1) << "a failed copy leaves no file open";
    EXPECT_EQ(read_file(dir.file("a.out")), "alpha");
}

TEST(DataPack, TablesAreLimited)
{
    EXPECT_EXIT(for (int i = 0; i < 33; i++) dp_open("folder@"), ::testing::ExitedWithCode(1),
                "dp_open: datapacks id full");
    TempDir dir;
    std::vector<TestEntry> many;
    for (int i = 0; i < DP_MAX_FILEINFOS; i++)
        many.push_back({"f" + std::to_string(i), "x"});
    write_file(dir.file("many.pck"), make_pack(many));
    dp_open(dir.file("many.pck").c_str());
    for (int i = 0; i < DP_MAX_FILEINFOS; i++)
        ASSERT_EQ(dp_get_index(("f" + std::to_string(i)).c_str(), 1), i);
    EXPECT_EQ(dp_get_index("f7", 1), 7) << "a known name needs no new slot";
    EXPECT_EXIT(dp_get_index("other", 0), ::testing::ExitedWithCode(1), "dp_get_index: fileinfos is full");
    dp_close();
}

static void add_name(const char *name, uint32_t, void *ctx)
{
    ((std::vector<std::string> *)ctx)->push_back(name);
}

static void open_and_read_everything(const char *path)
{
    dp_open(path);
    std::vector<std::string> names;
    dp_list(0, add_name, &names);
    for (const std::string &name : names)
        read_all(dp_get_index(name.c_str(), 1));
    fprintf(stderr, "all read\n");
    exit(1);
}

TEST(DataPack, DamagedPacksAreRefusedWithoutReadingOutside)
{
    TempDir dir;
    size_t d = 0;
    const std::string good = make_pack(sample, &d);
    auto patched = [&](size_t at, uint32_t v) {
        std::string s = good;
        put32(s, at, v);
        return s;
    };
    // One entry whose name runs to the very end of the directory, without its zero.
    const std::string unterminated =
        le32(DP_MAGIC) + le32(17) + le32(15) + le32(1) + "x" + le32(DP_ENTRY_HEAD + 3) + le32(16) + le32(1) + "abc";
    struct Case { const char *what; std::string bytes; const char *message; } cases[] = {
        {"empty file", "", "dp_open: fread of packhead"},
        {"wrong magic", "PCK1" + good.substr(4), "dp_open: invalid magic"},
        {"cut in the directory", good.substr(0, good.size() - 3), "dp_open: fread packfiles"},
        {"directory offset wraps", patched(4, 0xFFFFFFF0), "dp_open: fread packfiles"},
        {"entry count huge", patched(12, 0xFFFFFFFF), "dp_open: invalid pack"},
        {"entry length 0", patched(d, 0), "dp_open: invalid pack"},
        {"entry past the directory", patched(d, (uint32_t)(good.size() - d + 1)), "dp_open: invalid pack"},
        {"last name not terminated", unterminated, "dp_open: invalid pack"},
        {"data past the end", patched(d + 8, 1000), "dp_open: invalid pack"},
        {"data offset wraps", patched(d + 4, 0xFFFFFFFE), "dp_open: invalid pack"},
    };
    for (const Case &c : cases) {
        write_file(dir.file("bad.pck"), c.bytes);
        EXPECT_EXIT(dp_open(dir.file("bad.pck").c_str()), ::testing::ExitedWithCode(1),
                    std::string(c.message) + " \\(.*bad.pck\\)") << c.what;
    }
    // A directory size far beyond the file is refused before it is allocated.
    write_file(dir.file("huge.pck"), patched(8, 0xFFFFFF00));
    EXPECT_EXIT((io_mem_fail_next(1), dp_open(dir.file("huge.pck").c_str())), ::testing::ExitedWithCode(1),
                "dp_open: fread packfiles");
    EXPECT_EXIT(dp_open(dir.file("missing.pck").c_str()), ::testing::ExitedWithCode(1), "dp_open: not found");
    EXPECT_EXIT(dp_open(dir.path.c_str()), ::testing::ExitedWithCode(1), "dp_open: not found") << "a folder";

    // Each byte of header and directory spoiled in turn: the pack is refused, or every
    // file in it reads back within bounds (AddressSanitizer watches the reads).
    size_t small_d = 0;
    const std::string small = make_pack({{"a.txt", "alpha"}, {"bb", "bravo!", 3}}, &small_d);
    for (size_t at = 4; at < small.size(); at = at + 1 == DP_HEADER_SIZE ? small_d : at + 1)
        for (uint8_t v : {0x00, 0xFF, 0x05}) {
            std::string s = small, path = dir.file("spoilt.pck");
            s[at] = (char)v;
            write_file(path, s);
            EXPECT_EXIT(open_and_read_everything(path.c_str()), ::testing::ExitedWithCode(1),
                        "dp_open: invalid pack|dp_open: fread packfiles|all read") << "byte " << at << " set to " << (int)v;
        }
}

// Writes each file, making the folders it needs.
static void make_tree(const std::string &root, const std::vector<std::pair<std::string, std::string>> &files)
{
    for (const auto &f : files) {
        std::filesystem::create_directories(std::filesystem::path(root + "/" + f.first).parent_path());
        write_file(root + "/" + f.first, f.second);
    }
}

TEST(DataPack, WriterIsDeterministicAndTheReaderReadsItBack)
{
    TempDir dir;
    std::string src = dir.file("src"), one = dir.file("one.pck"), inner = src + "/data.pck";
    const std::vector<std::pair<std::string, std::string>> files = {
        {"skin.ini", "[Skin]\n"}, {"img/intro.jpg", std::string(40000, 'j')}, {"curves/c_0.crv", ""}, {"a.wav", "RIFF"}};
    make_tree(src, files);
    ASSERT_EQ(dp_write_pack(src.c_str(), one.c_str()), 1) << dp_write_error();
    timespec other_time[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (src + "/a.wav").c_str(), other_time, 0), 0);
    ASSERT_TRUE(dp_write_pack(src.c_str(), inner.c_str()) && dp_write_pack(src.c_str(), inner.c_str()));
    EXPECT_EQ(read_file(inner), read_file(one))
        << "same files, same bytes, whatever their times; a pack written into its folder is not packed into the next";
    make_tree(dir.file("tiny"), {{"b", "xy"}, {"a", "z"}});
    ASSERT_EQ(dp_write_pack(dir.file("tiny").c_str(), dir.file("tiny.pck").c_str()), 1);
    EXPECT_EQ(read_file(dir.file("tiny.pck")), make_pack({{"a", "z", 2}, {"b", "xy", 2}}))
        << "header, data in name order, then entries padded to four bytes";

    dp_open(one.c_str());
    std::vector<std::string> listed;
    dp_list(0, add_name, &listed);
    EXPECT_EQ(listed, (std::vector<std::string>{"a.wav", "curves/c_0.crv", "img/intro.jpg", "skin.ini"}));
    for (const auto &f : files)
        EXPECT_EQ(read_all(dp_get_index(f.first.c_str(), 1)), f.second) << f.first;
    dp_close();

    EXPECT_EQ(dp_write_pack(dir.file("nowhere").c_str(), dir.file("x.pck").c_str()), 0);
    EXPECT_NE(std::string(dp_write_error()).find("nowhere"), std::string::npos) << dp_write_error();
    EXPECT_FALSE(exists(dir.file("x.pck")));
}

// Runs pelmora-tool in `cwd`; the result reads "exit code|stdout|stderr".
static std::string tool(const std::string &cwd, const std::vector<std::string> &args)
{
    unlink((cwd + "/stdout.txt").c_str());
    unlink((cwd + "/stderr.txt").c_str());
    int code = wait_child(spawn_child(PELMORA_TOOL_EXE, args, {.cwd = cwd}), 20000);
    return std::to_string(code) + "|" + read_file(cwd + "/stdout.txt") + "|" + read_file(cwd + "/stderr.txt");
}

TEST(Tool, PackAndImageCommandsAndTheirErrors)
{
    TempDir dir;
    make_tree(dir.file("src"), {{"skin.ini", "[Skin]\n"}, {"img/a.img", std::string(1234, 'p')}});
    write_file(dir.file("a.img"), le32(IMG_MAGIC) + le32(640) + le32(480) + le32(IMG_BGRA) + std::string(20, '\0'));
    write_file(dir.file("bad.pck"), "not a pack at all");

    EXPECT_EQ(tool(dir.path, {"pack", "create", "src", "data.pck"}), "0||");
    EXPECT_EQ(tool(dir.path, {"pack", "list", "data.pck"}), "0|      1234  img/a.img\n         7  skin.ini\n|");
    EXPECT_EQ(tool(dir.path, {"pack", "extract", "data.pck", "skin.ini", "out.ini"}), "0||");
    EXPECT_EQ(read_file(dir.file("out.ini")), "[Skin]\n");
    EXPECT_EQ(tool(dir.path, {"image", "info", "a.img"}),
              "0|width 640\nheight 480\nformat 19 (premultiplied blue, green, red and alpha)\n|");

    EXPECT_EQ(tool(dir.path, {"pack", "extract", "data.pck", "nope", "nope.out"}),
              "1||pelmora-tool: data.pck: no entry named nope\n");
    EXPECT_FALSE(exists(dir.file("nope.out"))) << "no output file on failure";
    EXPECT_EQ(tool(dir.path, {"pack", "list", "missing.pck"}), "1||pelmora-tool: missing.pck: No such file or directory\n");
    EXPECT_EQ(tool(dir.path, {"pack", "list", "bad.pck"}), "1||dp_open: invalid magic (bad.pck)\n");
    EXPECT_EQ(tool(dir.path, {"image", "info", "bad.pck"}),
              "1||pelmora-tool: bad.pck: not an IMG picture (too short, or the magic is wrong)\n");
    EXPECT_EQ(tool(dir.path, {"pack", "frobnicate"}).substr(0, 9), "2||usage:");
}
