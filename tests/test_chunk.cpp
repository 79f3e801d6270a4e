// Tagged chunk files and the game's random generators.
#include <ctime>
#include <unistd.h>

#include "platform/random.h"
#include "chunk/chunk.h"
#include "tests/support.h"

using namespace std::string_literals;

TEST(Random, NextFollowsTheLinearCongruentialFormula)
{
    // Worked by hand: 0xABCD1234 * 1103515245 + 12345 = 0xEA14C85D (mod 2^32), and so on.
    rand_seed(RAND_SEED);
    EXPECT_EQ(rand_next(100), 59924 % 100);
    EXPECT_EQ(rand_next(0), 0);
    EXPECT_EQ(rand_next(100), 38099 % 100) << "n = 0 must leave the state alone";
    EXPECT_EQ(rand_next(0x10000), 39876);
    EXPECT_EQ(rand_next(0x80000000u), 49219) << "the result never exceeds 16 bits";
    rand_seed(RAND_SEED);
    EXPECT_EQ(rand_next(100), 24) << "reseeding repeats the sequence, so a box always cuts the same way";
}

TEST(Random, ModFollowsTheRuntimeGenerator)
{
    // The state is never reseeded: recover its low bits from one value, then predict.
    int r[4];
    for (int &v : r)
        v = rand_mod(32768);
    EXPECT_EQ(rand_mod(0), 0);
    int after = rand_mod(32768);
    int matches = 0;
    for (uint32_t low = 0; low < 0x10000; low++) {
        uint32_t s = (uint32_t)r[0] << 16 | low;
        auto next = [&s] { return (int)((s = s * 214013u + 2531011u) >> 16 & 0x7FFF); };
        matches += next() == r[1] && next() == r[2] && next() == r[3] && (next(), next() == after);
    }
    EXPECT_EQ(matches, 1) << "values that no state of the generator explains (or rand_mod(0) drew none)";
}

static std::string rec(uint32_t tag, const std::string &data)
{
    return le32(tag) + le32((uint32_t)data.size()) + data;
}

// A stream over the given bytes, in an anonymous file.
struct Stream {
    FILE *f = tmpfile();
    explicit Stream(const std::string &bytes = "") { fwrite(bytes.data(), 1, bytes.size(), f), rewind(f); }
    ~Stream() { fclose(f); }
    std::string bytes()
    {
        std::string all(chunk_file_size(f), 0);
        return all.substr(0, fflush(f) == 0 ? pread(fileno(f), all.data(), all.size(), 0) : 0);
    }
};

TEST(Chunk, WordsAndIdsAreLittleEndianOnDiskAndCopiesExact)
{
    EXPECT_EQ(le32(CHUNK_BOX1) + le32(CHUNK_PRVW) + le32(CHUNK_QICK) + le32(CHUNK_TEMP) + le32(CHUNK_GALL) +
              le32(CHUNK_LMPF), "BOX1PRVWQICKTEMPGALLLMPF");
    Stream b;
    ChunkId id = {{1, 0x02030405, 3, 4}}, other = {{1, 0x02030405, 3, 5}};
    ASSERT_TRUE(chunk_write_u32(b.f, CHUNK_QICK) && chunk_write_id(b.f, &id) && chunk_write_header(b.f, 7, 9));
    EXPECT_EQ(b.bytes(), "QICK\x01\0\0\0\x05\x04\x03\x02\3\0\0\0\4\0\0\0\7\0\0\0\x09\0\0\0"s);
    fseek(b.f, 4, SEEK_SET);
    EXPECT_EQ(chunk_file_size(b.f), 28);
    EXPECT_EQ(ftell(b.f), 4) << "the size is taken without moving";
    EXPECT_TRUE(chunk_expect_id(b.f, &id) && !chunk_same_id(&other, &id));
    uint32_t tag, len;
    EXPECT_TRUE(chunk_read_header(b.f, &tag, &len) && tag == 7 && len == 9);
    EXPECT_TRUE(chunk_read_exact(b.f, &tag, 0)) << "reading nothing is no failure";
    EXPECT_FALSE(chunk_read_u32(b.f, &tag)) << "at the end of the file";
    chunk_new_id(&id);
    EXPECT_TRUE(id.word[3] == CHUNK_ID_MARK && id.word[2] <= 32767u && id.word[0] + 5 >= (uint32_t)time(nullptr))
        << "seconds, ticks, a random number, the mark: " << id.word[0] << " " << id.word[2] << " " << id.word[3];

    // Copies move exactly the bytes asked.
    std::string from;
    for (int i = 0; i < 3000; i++)
        from += (char)(i * 7);
    Stream src(from), dst;
    EXPECT_TRUE(chunk_copy(dst.f, src.f, 0) && chunk_copy(dst.f, src.f, 1024) && chunk_copy(dst.f, src.f, 1025));
    EXPECT_EQ(dst.bytes(), from.substr(0, 2049)) << "nothing, one block, then a block and a byte";
    EXPECT_FALSE(chunk_copy(dst.f, src.f, 952)) << "more than the source holds";
}

TEST(Chunk, FindSearchesForwardFromWhereItIs)
{
    std::string good = rec(1, "aa") + rec(2, "") + rec(3, "ccc") + rec(4, "dd");
    Stream b(good);
    uint32_t len;
    ASSERT_TRUE(chunk_find(b.f, 2, &len) && len == 0);
    EXPECT_EQ(ftell(b.f), 18) << "at the data of the found record";
    ASSERT_TRUE(chunk_find(b.f, 3, &len) && len == 3 && ftell(b.f) == 26);
    EXPECT_FALSE(chunk_find(b.f, 1, &len)) << "an earlier tag is not found without rewinding";
    rewind(b.f);
    EXPECT_TRUE(chunk_find(b.f, 1, &len) && len == 2);
    EXPECT_FALSE(chunk_find(b.f, 9, &len));
    // Whatever byte is spoilt, a length handed out is backed by the file.
    for (size_t i = 0; i < good.size(); i++) {
        Stream bad(good.substr(0, i) + '\xFF' + good.substr(i + 1));
        EXPECT_TRUE(!chunk_find(bad.f, 4, &len) || ftell(bad.f) + len <= (long)good.size()) << "byte " << i;
    }
}

struct Sample {
    int32_t a;
    char text[8];
    int32_t b;
};
static constexpr ChunkField sample_schema[] = {{1, 4, 0}, {2, 8, 4}, {3, 4, 12}, {0, 0, 0}, {9, 4, 0}};

TEST(Chunk, SchemaReadChecksLengthsAndSkipsUnknownTags)
{
    Sample in = {-2, "seven", 0x01020304}, out = {};
    Stream w;
    ASSERT_TRUE(chunk_write_schema(w.f, sample_schema, &in, sizeof in));
    std::string body = w.bytes();
    EXPECT_EQ(body, rec(1, le32(-2)) + rec(2, "seven\0\0\0"s) + rec(3, le32(0x01020304)));

    // Unknown records anywhere, an empty one too, and a tag after the table's end.
    std::string mixed = rec(50, "") + body.substr(0, 12) + rec(9, "xxxx") + rec(51, "??") + body.substr(12);
    Stream r(mixed);
    ASSERT_TRUE(chunk_read_schema(r.f, sample_schema, &out, sizeof out));
    EXPECT_TRUE(out.a == -2 && !strcmp(out.text, "seven") && out.b == 0x01020304);

    for (const std::string &bad : {rec(1, "abc"), rec(1, "abcde"), rec(5, "x") + le32(1) + le32(4) + "ab"}) {
        Stream f(body + bad);
        EXPECT_FALSE(chunk_read_schema(f.f, sample_schema, &out, sizeof out)) << "a length one off, or cut short";
    }
    // Cut anywhere: inside a header is a clean end, inside data a failure.
    for (size_t cut = 0; cut <= mixed.size(); cut++) {
        Stream f(mixed.substr(0, cut));
        size_t whole = 0, at = 0;  // the end of the last whole record
        while (at + 8 <= cut && (at += 8 + (uint8_t)mixed[at + 4]) <= cut)
            whole = at;
        EXPECT_EQ(chunk_read_schema(f.f, sample_schema, &out, sizeof out), cut - whole < 8) << "cut at " << cut;
    }
    Sample untouched = {};
    Stream f(body);
    EXPECT_TRUE(chunk_write_schema(f.f, std::span(sample_schema + 3, 2), &in, sizeof in) &&
                chunk_read_schema(f.f, std::span(sample_schema + 3, 2), &untouched, sizeof untouched));
    EXPECT_TRUE(f.bytes() == body && untouched.a == 0) << "a table that starts with tag 0 does nothing";
    EXPECT_DEATH(chunk_read_schema(f.f, sample_schema, &out, 12), "chunk_read_schema: field of tag 3");
}

TEST(Chunk, AFileIsAcceptedOnlyOnceItsMagicIsWrittenAndRewrittenOnlyInItsRecord)
{
    TempDir dir;
    std::string path = dir.file("game.qsv"), temp = path + "." + std::to_string(getpid()) + ".part";
    write_file(path, "old save");
    ChunkId id = {{9, 8, 7, 6}};
    SafeFile sf;
    ASSERT_TRUE(chunk_create(&sf, path.c_str()));
    ASSERT_TRUE(chunk_write_id(sf.f, &id) && chunk_write_u32(sf.f, 1) && chunk_write_header(sf.f, 8, 4) &&
                chunk_write_u32(sf.f, 0));
    fflush(sf.f);
    // What a crash at this point leaves: the old file, and a new one that no reader takes.
    EXPECT_EQ(read_file(path), "old save");
    std::string unfinished = read_file(temp);
    EXPECT_EQ(unfinished.substr(0, 4), le32(0));

    ASSERT_TRUE(chunk_commit(&sf, CHUNK_QICK));
    EXPECT_EQ(read_file(path) + read_file(temp), "QICK" + unfinished.substr(4)) << "in place, no temporary file left";
    ASSERT_TRUE(chunk_create(&sf, path.c_str()));
    chunk_abort(&sf);
    EXPECT_EQ(read_file(path), "QICK" + unfinished.substr(4)) << "an abandoned write keeps the old file";

    // A box is rewritten in place only in a record of the same size, and only when finished.
    std::string box_path = dir.file("box.pzl"), unfinished_box = dir.file("unfinished.pzl");
    std::string box = le32(CHUNK_BOX1) + std::string(20, 'h') + rec(7, le32(1)) + rec(8, le32(0)) + rec(20, "jpeg");
    write_file(box_path, box);
    write_file(unfinished_box, le32(0) + box.substr(4));
    EXPECT_FALSE(chunk_rewrite_in_place(unfinished_box.c_str(), 8, "\1\0\0\0", 4)) << "magic not yet written";
    EXPECT_FALSE(chunk_rewrite_in_place(box_path.c_str(), 8, "\1\0", 2)) << "the wrong size";
    EXPECT_FALSE(chunk_rewrite_in_place(box_path.c_str(), 13, "\1\0\0\0", 4)) << "a missing record";
    EXPECT_FALSE(chunk_rewrite_in_place(dir.file("none.pzl").c_str(), 8, "\1\0\0\0", 4));
    EXPECT_EQ(read_file(box_path) + read_file(unfinished_box), box + le32(0) + box.substr(4));
    ASSERT_TRUE(chunk_rewrite_in_place(box_path.c_str(), 8, "\1\0\0\0", 4));
    EXPECT_EQ(read_file(box_path), box.substr(0, 44) + le32(1) + rec(20, "jpeg"));
}

TEST(Chunk, FilesBecomeRecordsAndEntriesAndComeBack)
{
    TempDir dir;
    ASSERT_EQ(make_dir(dir.file("sfiles").c_str()), 1);
    std::string picture(3000, 'p'), bin = "\x01\x02gift";
    write_file(dir.file("sfiles/bimage.tmp"), picture);
    write_file(dir.file("sfiles/present.bin"), bin);

    Stream b;
    ASSERT_TRUE(chunk_append_file(b.f, 20, dir.file("sfiles/bimage.tmp").c_str()) &&
                chunk_append_raw(b.f, dir.file("sfiles/present.bin").c_str()) &&
                chunk_append_entry(b.f, (dir.path + "/sfiles\\present.bin").c_str(), nullptr) &&
                chunk_append_entry(b.f, dir.file("sfiles/present.bin").c_str(), "C:\\x\\name.txt"));
    EXPECT_FALSE(chunk_append_file(b.f, 21, dir.file("missing").c_str()));
    std::string all = b.bytes();
    EXPECT_EQ(all, rec(20, picture) + bin + "LMPF" + le32(11) + "present.bin" + le32(6) + bin + "LMPF" + le32(8) +
                       "name.txt" + le32(6) + bin);

    std::string out = dir.file("out.tmp");
    rewind(b.f);
    EXPECT_TRUE(chunk_extract_to_file(b.f, 20, out.c_str()) && read_file(out) == picture);
    EXPECT_FALSE(chunk_extract_to_file(b.f, 20, out.c_str())) << "searched from where the stream stands";
    // A record cut short is not extracted, and what was there stays.
    write_file(out, "previous");
    Stream cut(all.substr(0, 2000));
    EXPECT_FALSE(chunk_extract_to_file(cut.f, 20, out.c_str()));
    EXPECT_EQ(read_file(out), "previous");
}
