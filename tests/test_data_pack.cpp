// The installation data: every file the game's code asks the pack for is there, and the
// generator gives the same bytes every time it runs.
#include <dirent.h>
#include <set>
#include <vector>

#include "res/datapack.h"
#include "tests/support.h"

// The string literals of a C++ source, comments and character literals stepped over.
static std::vector<std::string> string_literals(const std::string &text)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < text.size(); i++) {
        char c = text[i];
        if (c == '/' && text.compare(i, 2, "//") == 0)
            i = text.find('\n', i);
        else if (c == '/' && text.compare(i, 2, "/*") == 0)
            i = text.find("*/", i) + 1;
        else if (c == '\'' || c == '"') {
            std::string lit;
            for (i++; i < text.size() && text[i] != c; i++)
                lit += text[i] == '\\' ? text[++i] : text[i];
            if (c == '"')
                out.push_back(lit);
        }
        if (i == std::string::npos || i == 0)
            break;
    }
    return out;
}

// Every string literal of the game's own sources that names a pack entry: the pack's
// folders, and the files at its top. "%i" in a name stands for the curve numbers.
static std::set<std::string> names_the_code_opens(void)
{
    static const char *const folders[] = {"platform", "chunk", "kernel", "res", "image", "ui", "puzzle", "rooms", "rooms/box", "rooms/play", "media"};
    static const char *const prefixes[] = {"img/", "fonts/", "curves/", "ml/", "samples/"};
    static const char *const top[] = {"skin.ini", "english.ini", "connect.wav"};
    std::set<std::string> names;
    for (const char *folder : folders) {
        std::string path = std::string(PELMORA_SOURCE_DIR) + "/" + folder;
        DIR *d = opendir(path.c_str());
        if (!d)
            continue;
        while (dirent *e = readdir(d)) {
            std::string file = e->d_name;
            if (file.size() < 5 || file.substr(file.size() - 4) != ".cpp")
                continue;
            std::string text = read_file(path + "/" + file);
            for (const std::string &lit : string_literals(text)) {
                bool entry = lit.find(' ') == std::string::npos && lit.find('.') != std::string::npos;
                bool named = false;
                for (const char *p : prefixes)
                    named |= lit.rfind(p, 0) == 0;
                for (const char *t : top)
                    named |= lit == t;
                if (!entry || !named)
                    continue;
                size_t fmt = lit.find("%i");
                if (fmt == std::string::npos)
                    names.insert(lit);
                else
                    for (int i = 0; i < 8; i++)
                        names.insert(lit.substr(0, fmt) + std::to_string(i) + lit.substr(fmt + 2));
            }
        }
        closedir(d);
    }
    return names;
}

TEST(DataPack, HoldsEveryNameTheCodeOpens)
{
    std::set<std::string> names = names_the_code_opens();
    for (const char *must : {"img/active.img", "skin.ini", "english.ini", "curves/c_7.crv", "img/font20.img"})
        ASSERT_TRUE(names.count(must)) << "the scan finds " << must << " in the code";
    dp_open(PELMORA_DATA_PCK);
    for (const std::string &name : names)
        EXPECT_GE(dp_get_index(name.c_str(), 0), 0) << name << " is opened by the code but missing from data.pck";
    dp_close();
}

TEST(DataPack, TwoBuildsGiveTheSameBytes)
{
    TempDir dir;
    int code = wait_child(spawn_child(PELMORA_MKDATA_EXE, {dir.file("again.pck"), std::string(PELMORA_SOURCE_DIR) + "/data", PELMORA_FONT_DIR},
                                      {.cwd = dir.path, .with_pack = false}),
                          120000);
    ASSERT_EQ(code, 0) << read_file(dir.file("stderr.txt"));
    std::string again = read_file(dir.file("again.pck")), built = read_file(PELMORA_DATA_PCK);
    EXPECT_GT(built.size(), 1000000u);
    EXPECT_TRUE(again == built) << "data.pck differs between two runs of the generator";
}
