// Texts from the language file, the five fonts per character set, and the names of a
// box's files.
#include <gtest/gtest.h>
#include <cstring>
#include <string>

#include "image/cache.h"
#include "platform/gdi.h"
#include "res/gdi_text.h"
#include "kernel/kernel.h"
#include "res/datapack.h"
#include "res/lang.h"
#include "tests/support.h"
#include "ui/fonts.h"

using ::testing::ExitedWithCode;

class Lang : public ::testing::Test {
protected:
    TempDir dir;
    // Each case writes its own file, so no parsed copy of an earlier one is ever reused.
    std::string write(const std::string &name, const std::string &text)
    {
        write_file(dir.file(name), text);
        return dir.file(name);
    }
    void TearDown() override { lt_done(); }
};

TEST_F(Lang, VersionAndCharSetAreRequired)
{
    struct { const char *name, *text, *fatal; } cases[] = {
        {"old.ini", "[MAIN]\nVersion=0\nCharSet=0\n", "lt_init: old version of texts \\(.*/old\\.ini\\)"},
        {"none.ini", "[MAIN]\nCharSet=0\n", "lt_init: version not found \\(.*/none\\.ini\\)"},
        {"nocs.ini", "[MAIN]\nVersion=1\n", "lt_init: charset not found \\(.*/nocs\\.ini\\)"},
    };
    for (const auto &c : cases)
        EXPECT_EXIT(lt_init(write(c.name, c.text).c_str()), ExitedWithCode(1), c.fatal);
}

TEST_F(Lang, ATranslationThatDoesNotFitItsUseGetsTheEnglishTextAndTheGameStarts)
{
    // The completion message takes a name, a count and a time; a number in place of the
    // name would have printf read a string from an integer, so the English text stands
    // in. Plain texts are never formats: a "%" there is just a character.
    std::string file = write("swapped.ini", "[MAIN]\nVersion=1\nCharSet=0\n[TEXTS]\n230=%i pieces of %s in %s\n"
                                            "413=%s x %s\n15=100% done\n16=50%% off\n");
    lt_init(file.c_str());
    for (auto [n, want] : {std::pair(230, "Congratulations!\nYou have finished \"%s\":\n%i pieces in %s."),
                           {413, "Full size from %ix%i"}, {15, "100% done"}, {16, "50%% off"}})
        EXPECT_STREQ(lt_get(n), want) << n;
    char out[128];
    snprintf(out, sizeof out, lt_get(413), 800, 600);
    EXPECT_STREQ(out, "Full size from 800x600");
}

TEST_F(Lang, TextsByNumberWithLineBreaks)
{
    int32_t held = blocks_held();
    std::string first = write("first.ini",
                              "[MAIN]\nVersion=3\nCharSet=0\n[TEXTS]\n0=Open box\n5=First\\nSecond\n"
                              "6=C:\\dir\\n\n7=\n12=end\\\n699=last\n700=beyond\n");
    lt_init(first.c_str());
    EXPECT_EQ(lt_charset(), 0);
    // A backslash before anything but n stays.
    for (auto [n, want] : {std::pair(0, "Open box"), {5, "First\nSecond"}, {6, "C:\\dir\n"}, {12, "end\\"}, {699, "last"}})
        EXPECT_STREQ(lt_get(n), want) << n;
    EXPECT_EXIT(lt_get(7), ExitedWithCode(1), "lt_get: lti 7 is NULL");
    EXPECT_EXIT(lt_get(8), ExitedWithCode(1), "lt_get: lti 8 is NULL");
    EXPECT_EXIT(lt_get(700), ExitedWithCode(1), "lt_get: lti 700 is out of range");

    // A second file replaces the texts it has and leaves the others.
    std::string second = write("second.ini",
                               "[MAIN]\nVersion=1\nCharSet=238\n[TEXTS]\n0=A much longer text than before\n5=Short\n");
    lt_init(second.c_str());
    EXPECT_EQ(lt_charset(), 238);
    for (auto [n, want] : {std::pair(0, "A much longer text than before"), {5, "Short"}, {699, "last"}})
        EXPECT_STREQ(lt_get(n), want) << n;
    lt_done();
    EXPECT_EQ(blocks_held(), held) << "every text is given back";
}

// The fonts of a language: bitmap sheets for the Western set, system fonts otherwise.
static bool sheet_in_cache()
{
    for (const MemFile &m : memfiles)
        if (m.loader && strncmp(dp_get_name(m.file_index), "img/font", 8) == 0)
            return true;
    return false;
}

TEST_F(Lang, FontsFollowTheCharacterSet)
{
    dp_open(PELMORA_DATA_PCK);
    std::string east = write("east.ini", "[MAIN]\nVersion=1\nCharSet=238\n");
    lt_init(east.c_str());
    fonts_init();
    for (const Font *f : {&font_small, &font_medium, &font_dialog, &font_large, &font_arial}) {
        EXPECT_TRUE(f->kind == FONT_SYSTEM && f->handle && f->line > 0 && f->shadow_offset == 1) << f->size;
    }
    EXPECT_GT(font_large.size, font_small.size);
    EXPECT_FALSE(sheet_in_cache()) << "no bitmap font is loaded for character set 238";
    fonts_done();

    std::string west = write("west.ini", "[MAIN]\nVersion=1\nCharSet=0\n");
    lt_init(west.c_str());
    fonts_init();
    EXPECT_EQ(font_small.kind, FONT_BITMAP);
    EXPECT_STREQ(dp_get_name(memfiles[font_small.image].file_index), "img/font12.img");
    EXPECT_STREQ(dp_get_name(memfiles[font_large.image].file_index), "img/font20.img");
    EXPECT_EQ(std::tuple(font_dialog.kind, font_arial.kind), std::tuple(FONT_SYSTEM, FONT_SYSTEM));
    fonts_done();
    cache_done();
    io_gdi_fonts_done();
    dp_close();
}

TEST(Paths, BoxFileNames)
{
    char out[64];
    path_box(out, sizeof out, "Lake");
    EXPECT_STREQ(out, "puzzles/Lake.pzl") << "the default folder before start-up reads -path";
    EXPECT_EXIT(path_save(out, 16, "a-long-name"), ExitedWithCode(1), "path_save: name too long \\(a-long-name\\)")
        << "a cut name would name another file";
}
