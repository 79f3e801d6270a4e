// Settings files: reading, rewriting in place, typed values, and files that fight back.
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "res/ini.h"
#include "tests/support.h"

namespace {

class Ini : public ::testing::Test {
protected:
    TempDir dir;
    InDir in{dir.path};
    std::string get(const char *section, const char *key, int32_t size = 256)
    {
        std::vector<char> buf((size_t)std::max(size, 1), 'x');
        int32_t n = ini_get_string("a.ini", section, key, buf.data(), size);
        std::string s = size > 0 ? buf.data() : "";
        EXPECT_EQ(n, (int32_t)s.size()) << "count for [" << section << "] " << key;
        return s;
    }
    void TearDown() override { ini_flush(nullptr); }
};

TEST_F(Ini, ReadsSectionsAndKeysWithoutRegardToCase)
{
    write_file("a.ini", "top=ignored\n; comment=no\n[Main]\n  Name = two words  \nq=\"quoted \"\nempty=\n"
                        "[OTHER]\r\nname=other\r\nname=second\r\n[ Spaced ]\nk=v\n[main]\nname=later");
    EXPECT_EQ(get("MAIN", "name"), "two words") << "blanks around key and value are trimmed";
    EXPECT_EQ(get("other", "NAME"), "other") << "the first of two equal keys, CR LF lines";
    EXPECT_EQ(get("Main", "q"), "quoted ") << "a quoted value reads without its quotes";
    EXPECT_EQ(get("spaced", "k"), "v");
    EXPECT_EQ(get("main", "empty"), "");
    EXPECT_EQ(get("main", "; comment"), "") << "comments are not keys";
    EXPECT_EQ(get("main", "top"), "") << "keys before the first section belong to none";
    EXPECT_EQ(get("nowhere", "name"), "");
    EXPECT_EQ(ini_get_string("missing.ini", "main", "name", nullptr, 0), 0);

    EXPECT_EQ(get("main", "name", 4), "two") << "size - 1 characters";
    EXPECT_EQ(get("main", "name", 0), "");
    write_file("a.ini", "[s]\nlong=" + std::string(5000, 'z') + "\n");
    EXPECT_EQ(get("s", "long", 9000), std::string(2047, 'z')) << "at most 2047 characters";
}

TEST_F(Ini, SurvivesHostileBytes)
{
    using namespace std::string_literals;
    const std::string junk = "[s]\nk=before\0after\n[t\n=novalue\nk2\n[u]]\nx=1\n\xff\xfe=\x01\n"s;
    write_file("a.ini", junk + std::string(200000, 'q') + "\n[v]\nlast=1");
    EXPECT_EQ(get("s", "k"), "before") << "a NUL ends what a line says";
    EXPECT_EQ(get("t", "k2"), "") << "an unclosed section bracket, a line without '='";
    EXPECT_EQ(get("u", "x"), "1") << "a section name runs to the first ']'";
    EXPECT_EQ(get("v", "last"), "1") << "after a huge line, no newline at the end";
    EXPECT_EQ(ini_set_string("a.ini", "v", "new", "2"), 1);
    EXPECT_EQ(read_file("a.ini").substr(0, junk.size()), junk) << "the rest is rewritten byte for byte";
    EXPECT_TRUE(read_file("a.ini").ends_with("q\n[v]\nlast=1\nnew=2\n")) << "the last line gets its line end";
}

TEST_F(Ini, WritesKeepEveryOtherLineAsItWas)
{
    EXPECT_EQ(ini_set_string("a.ini", "MAIN", "gone", nullptr), 1);
    EXPECT_FALSE(exists("a.ini")) << "deleting from no file creates none";
    EXPECT_EQ(ini_set_string("a.ini", "MAIN", "Size", "1 2"), 1);
    EXPECT_EQ(read_file("a.ini"), "[MAIN]\nSize=1 2\n");

    const std::string text = "; my settings\r\n[Main]\r\nsize = 3 4 \r\nkeep=1\r\n\r\n; about rooms\r\n"
                             "[Room]\r\nwin=1\r\n[Old]\r\na=1\r\n";
    write_file("a.ini", text);
    EXPECT_EQ(get("main", "size"), "3 4") << "an edit by hand is seen";
    EXPECT_EQ(ini_set_string("a.ini", "main", "SIZE", "5 6"), 1);
    EXPECT_EQ(ini_set_string("a.ini", "main", "added", "x"), 1);
    EXPECT_EQ(ini_set_string("a.ini", "room", "win", nullptr), 1);
    EXPECT_EQ(ini_set_string("a.ini", "old", nullptr, nullptr), 1);
    EXPECT_EQ(ini_set_string("a.ini", "New", "k", "v"), 1);
    EXPECT_EQ(read_file("a.ini"), "; my settings\r\n[Main]\r\nsize=5 6\r\nkeep=1\r\nadded=x\r\n\r\n; about rooms\r\n"
                                  "[Room]\r\n[New]\r\nk=v\r\n");
    EXPECT_EQ(get("old", "a") + get("room", "win"), "");

    // A line break or bracket would smuggle other keys or sections into the file.
    std::string before = read_file("a.ini");
    EXPECT_EQ(ini_set_string("a.ini", "main", "k", "v\n[evil]\nx=1"), 0);
    EXPECT_EQ(ini_set_string("a.ini", "ma]in", "k", "v"), 0);
    EXPECT_EQ(ini_set_string("a.ini", "main", "k=x", "v"), 0);
    EXPECT_EQ(read_file("a.ini"), before);
}

TEST_F(Ini, TypedValuesParseCompletelyOrReadAsMissing)
{
    write_file("a.ini", "[v]\ndec=-42\nhex=0x1F\noct=017\nbad8=08\ntail=12abc\nbig=99999999999\nwrap=0xFFFFFFFF\n"
                        "pair=640 480\nthree=1 2 3\ncolour=255 128 1\nclear=TransParent\non=TRUE\nword=on\n"
                        "no=No\nreal=2.5\nnan=nan\nlong=1" + std::string(70, '0') + "\nzeros=" + std::string(60, '0') +
                        "1234\njunk=5" + std::string(62, ' ') + "junk\nfits=" + std::string(59, '0') + "1234\n");
    // Each read as its value, or "-" when refused, which must leave the output untouched.
    auto typed = [](auto get, auto value, const char *key) {
        return get("a.ini", "v", key, &value) ? std::to_string(value) : value == 7 ? "-" : "changed";
    };
    auto integer = [&](const char *key) { return typed(ini_get_int, int32_t(7), key); };
    auto real = [&](const char *key) { return typed(ini_get_real, 7.0, key); };
    auto boolean = [&](const char *key) { return typed(ini_get_bool, int32_t(7), key); };
    auto pair = [](const char *key) {
        int32_t a = 7, b = 7;
        return ini_get_pair("a.ini", "v", key, &a, &b) ? std::to_string(a) + " " + std::to_string(b) : "-";
    };
    auto triple = [](const char *key) {
        int32_t a = 7, b = 7, c = 7;
        return ini_get_triple("a.ini", "v", key, &a, &b, &c)
                   ? std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c) : "-";
    };
    EXPECT_EQ(integer("dec") + " " + integer("hex") + " " + integer("oct") + " " + integer("wrap"), "-42 31 15 -1");
    // Values longer than 63 characters are refused whole, not read from their first part.
    for (const char *key : {"bad8", "tail", "big", "pair", "missing", "long", "zeros", "junk"})
        EXPECT_EQ(integer(key), "-") << key;
    EXPECT_EQ(integer("fits"), std::to_string(01234)) << "63 characters still read";
    EXPECT_EQ(real("real") + real("zeros") + real("junk") + real("nan") + real("pair"), "2.500000----");
    EXPECT_EQ(pair("pair") + "|" + pair("three"), "640 480|-") << "three numbers are not a pair";
    EXPECT_EQ(triple("three") + "|" + triple("pair") + "|" + triple("clear"), "1 2 3|-|-") << "transparent is no triple";
    EXPECT_EQ(boolean("on") + boolean("no") + boolean("word"), "10-") << "'on' is not one of the words";

    uint32_t colour = 0, clear = 0;
    EXPECT_TRUE(ini_get_color("a.ini", "v", "colour", &colour) && ini_get_color("a.ini", "v", "clear", &clear));
    EXPECT_EQ(std::tuple(colour, clear), std::tuple(0xFF8001u, 0xFFFFFFFFu));
    EXPECT_EQ(ini_parse_color("1 2", &colour), 0);

    EXPECT_EQ(ini_set_int("a.ini", "w", "i", -5) + ini_set_bool("a.ini", "w", "b", 9) +
                  ini_set_pair("a.ini", "w", "p", 3, -4), 3);
    EXPECT_EQ(get("w", "i") + "|" + get("w", "b") + "|" + get("w", "p"), "-5|1|3 -4");
}

TEST_F(Ini, AFailedWriteLeavesTheOldFile)
{
    const std::string text = "[MAIN]\nkey=old\n";
    write_file("a.ini", text);
    EXPECT_EQ(get("main", "key"), "old");
    // A write that runs out of room, whatever name the writer takes for its work: the
    // file and another name for the same file (a hard link sees writes made in place)
    // keep the old text, and so does the copy in memory. Tried in a child, whose file
    // size limit stops the write even for root.
    ASSERT_EQ(link("a.ini", "link.ini"), 0);
    auto out_of_room = [&text] {
        signal(SIGXFSZ, SIG_IGN);
        rlimit small = {8, 8};
        setrlimit(RLIMIT_FSIZE, &small);
        int wrote = ini_set_string("a.ini", "main", "key", "a new value far longer than the limit");
        char value[64] = "";
        ini_get_string("a.ini", "main", "key", value, sizeof value);
        bool kept = read_file("a.ini") == text && read_file("link.ini") == text && strcmp(value, "old") == 0;
        _exit(wrote == 0 && kept ? 3 : 4);
    };
    EXPECT_EXIT(out_of_room(), ::testing::ExitedWithCode(3), "");
    EXPECT_EQ(read_file("link.ini"), text);
    size_t leftovers = 0;
    for (const auto &e : std::filesystem::directory_iterator("."))
        leftovers += e.path().filename() != "a.ini" && e.path().filename() != "link.ini";
    EXPECT_EQ(leftovers, 0u) << "the failed write leaves no work file behind";

    // A settings file that cannot be read is never replaced.
    ASSERT_EQ(mkdir("b.ini", 0755), 0);
    EXPECT_EQ(ini_set_string("b.ini", "main", "key", "v"), 0);
    EXPECT_EQ(ini_set_string("sub/c.ini", "main", "key", "v"), 0) << "no folder to write into";

    // Another program changing the file is seen on the next read.
    EXPECT_EQ(ini_set_string("a.ini", "main", "key", "mine"), 1);
    write_file("a.ini", "[MAIN]\nkey=theirs, longer\n");
    EXPECT_EQ(get("main", "key"), "theirs, longer");
}

}  // namespace
