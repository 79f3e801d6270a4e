// The texts, skin settings and help that the built pack carries: every text the game
// asks for is there and safe to format, the background and gallery settings parse, every
// help link leads to a topic; and the checks behind them refuse what they should.
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <vector>

#include "res/datapack.h"
#include "res/ini.h"
#include "res/lang.h"
#include "res/lang_numbers.h"
#include "tests/support.h"

// The pack's texts, skin and help, extracted into a folder of their own.
class PackTexts : public ::testing::Test {
protected:
    TempDir dir;
    std::string texts = dir.file("english.ini"), skin = dir.file("skin.ini");
    std::string help;
    void SetUp() override
    {
        dp_open(PELMORA_DATA_PCK);
        ASSERT_EQ(dp_extract(dp_get_index("english.ini", 1), texts.c_str()), 1);
        ASSERT_EQ(dp_extract(dp_get_index("skin.ini", 1), skin.c_str()), 1);
        ASSERT_EQ(dp_extract(dp_get_index("ml/english.ini", 1), dir.file("ml.ini").c_str()), 1);
        int h = dp_get_index("ml/english.hlp", 1);
        char *data = (char *)dp_load(h);
        help.assign(data, dp_size(h));
        io_mem_free(data);
    }
    void TearDown() override { dp_close(); }
};

// The code as words, numbers and single marks; blanks and line breaks only separate.
static std::vector<std::string> tokens(const std::string &code)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < code.size();) {
        unsigned char c = code[i];
        size_t j = i + 1;
        if (isalnum(c) || c == '_')
            while (j < code.size() && (isalnum((unsigned char)code[j]) || code[j] == '_'))
                j++;
        if (!isspace(c))
            out.push_back(code.substr(i, j - i));
        i = j;
    }
    return out;
}

// Every text number in the game's sources: lt_get(N) and msg_box_text(N, ...) with N a
// literal or an upper-case constant defined as "NAME = N" or "#define NAME N". A constant
// whose value cannot be found is returned in `unknown`.
static std::set<int> source_text_numbers(int *files, std::set<std::string> *unknown)
{
    auto is_number = [](const std::string &t) { return isdigit((unsigned char)t[0]); };
    auto is_constant = [](const std::string &t) { return isupper((unsigned char)t[0]); };
    std::set<std::string> names;
    std::multimap<std::string, int> values;
    std::set<int> numbers;
    *files = 0;
    for (const char *folder : {"kernel", "res", "image", "ui", "puzzle", "rooms", "media"}) {
        std::filesystem::path root = std::filesystem::path(PELMORA_SOURCE_DIR) / folder;
        if (!std::filesystem::exists(root))
            continue;
        for (const auto &e : std::filesystem::recursive_directory_iterator(root)) {
            std::string ext = e.path().extension().string();
            if (ext != ".cpp" && ext != ".h")
                continue;
            ++*files;
            std::vector<std::string> t = tokens(read_file(e.path().string()));
            for (size_t i = 0; i + 3 < t.size(); i++) {
                if (t[i] == "#" && t[i + 1] == "define" && is_constant(t[i + 2]) && is_number(t[i + 3]))
                    values.insert({t[i + 2], (int)strtol(t[i + 3].c_str(), nullptr, 0)});
                if (is_constant(t[i]) && t[i + 1] == "=" && is_number(t[i + 2]))
                    values.insert({t[i], (int)strtol(t[i + 2].c_str(), nullptr, 0)});
                if ((t[i] == "lt_get" || t[i] == "msg_box_text") && t[i + 1] == "(" &&
                    (t[i + 3] == "," || t[i + 3] == ")") && ext == ".cpp") {
                    if (is_number(t[i + 2]))
                        numbers.insert((int)strtol(t[i + 2].c_str(), nullptr, 0));
                    else if (is_constant(t[i + 2]))
                        names.insert(t[i + 2]);
                }
            }
        }
    }
    for (const std::string &name : names) {
        auto [first, last] = values.equal_range(name);
        if (first == last)
            unknown->insert(name);
        for (auto it = first; it != last; ++it)
            numbers.insert(it->second);
    }
    return numbers;
}

TEST_F(PackTexts, EveryTextTheGameAsksForIsThereAndSafeToFormat)
{
    int32_t version = 0, charset = -1;
    EXPECT_TRUE(ini_get_int(texts.c_str(), "MAIN", "Version", &version) && version >= 1);
    EXPECT_TRUE(ini_get_int(texts.c_str(), "MAIN", "CharSet", &charset) && charset == 0);
    EXPECT_EQ(read_file(dir.file("ml.ini")), read_file(texts)) << "the options dialog lists a stale copy";

    int files;
    std::set<std::string> unknown;
    std::set<int> numbers = source_text_numbers(&files, &unknown);
    ASSERT_GT(files, 10) << "the source scan found no code under " << PELMORA_SOURCE_DIR;
    for (const std::string &name : unknown)
        ADD_FAILURE() << "a text number is asked for through " << name << ", whose value the scan cannot find";
    std::set<int> required(lt_required, lt_required + lt_required_count);
    for (int n : numbers)
        EXPECT_TRUE(required.count(n)) << "the code asks for text " << n << "; list it in lt_required";
    numbers.insert(required.begin(), required.end());
    for (int n : numbers) {
        char text[2048];
        EXPECT_GT(ini_get_string(texts.c_str(), "TEXTS", std::to_string(n).c_str(), text, sizeof text), 0)
            << "text " << n << " is missing";
        EXPECT_TRUE(lt_format_ok(n, text)) << "text " << n << ": " << text;
    }
}

// The colours are ge_init's to check; the background and the gallery walls are read
// where a fault shows only on screen.
TEST_F(PackTexts, SkinBackgroundAndGalleryWallsParseAndHelpLinksLeadToTopics)
{
    int32_t h, b, s;
    double top, bottom;
    EXPECT_TRUE(ini_get_triple(skin.c_str(), "BACKGROUND", "Color", &h, &b, &s));
    EXPECT_TRUE(ini_get_real(skin.c_str(), "BACKGROUND", "GradientTop", &top) &&
                ini_get_real(skin.c_str(), "BACKGROUND", "GradientBottom", &bottom));
    for (const char *key : {"Texture0", "Texture1", "Texture2", "Texture3"}) {
        EXPECT_TRUE(ini_get_triple(skin.c_str(), "GALLERY", key, &h, &b, &s)) << key;
        EXPECT_TRUE(b >= -100 && b <= 100 && s >= 0 && s <= 100) << key;
    }
    char why[256] = "";
    EXPECT_EQ(lt_help_check(help.c_str(), why, sizeof why), 1) << why;
}

TEST(TextChecks, FormatsMustMatchWhatTheGamePasses)
{
    EXPECT_TRUE(lt_format_ok(230, "\"%s\" is done: %5i pieces in %s, 100%%."));
    EXPECT_TRUE(lt_format_ok(413, "%dx%d"));
    EXPECT_TRUE(lt_format_ok(15, "100%")) << "not a format at all: shown as it stands";
    // A number read as a text, one argument short, a length the game never passes, widths.
    for (const char *bad : {"%s %s %s", "%s %i", "%s %li %s", "%s %*i %s", "%s %100i %s", "%s %i %s %n"})
        EXPECT_FALSE(lt_format_ok(230, bad)) << bad;
}

// The English text that stands in for a translation that slips is the one the game ships.
TEST(TextChecks, StandInTextsAreTheShippedEnglish)
{
    std::string file = std::string(PELMORA_SOURCE_DIR) + "/data/english.ini";
    for (int i = 0; i < lt_formats_count; i++) {
        char key[8], text[2048];
        snprintf(key, sizeof key, "%d", lt_formats[i].number);
        ASSERT_GT(ini_get_string(file.c_str(), "TEXTS", key, text, sizeof text), 0) << key;
        EXPECT_STREQ(lt_formats[i].english, text) << "text " << key;
        EXPECT_TRUE(lt_format_ok(lt_formats[i].number, lt_formats[i].english)) << key;
    }
}

TEST(TextChecks, HelpCheckNamesTheFault)
{
    std::string good = "@topic 0 Contents\nAll topics:\n";
    std::string rest;
    for (int i = 1; i < lt_help_topics_count; i++) {
        std::string n = std::to_string(lt_help_topics[i]);
        good += "@link " + n + " Topic " + n + "\n";
        rest += "@topic " + n + " Topic " + n + "\r\nWords.\n\n";
    }
    good += rest;
    char why[256] = "";
    ASSERT_EQ(lt_help_check(good.c_str(), why, sizeof why), 1) << why;

    struct Fault {
        std::string text, says;
    } faults[] = {
        {good + "@link 77 Nowhere\n", "topic 77"},
        {good + "@topic 0 Again\nWords.\n", "already"},
        {good + "@topic 9 Unlisted\nWords.\n", "do not list topic 9"},
        {good + "@topic 9000 Too big\n", "@topic"},
        {good + "Caf\xe9\n", "printable"},
        {"Words first.\n" + good, "before the first"},
        {good + "@topic 9 Empty\n", "has no text"},
        {"@topic 0 Contents\nNothing else.\n", "missing"},
    };
    for (const Fault &f : faults) {
        EXPECT_EQ(lt_help_check(f.text.c_str(), why, sizeof why), 0) << f.says;
        EXPECT_NE(std::string(why).find(f.says), std::string::npos) << why;
    }
}
