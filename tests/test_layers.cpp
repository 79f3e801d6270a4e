// The layers of the code: a file includes headers of its own layer or of layers below
// it, never above, so the platform layer can be taken to another system alone and the
// spine alone knows every room.
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "tests/support.h"

namespace {

// The layer of a file by where it lies; -1 for files outside the layers (tests, tools).
// Resources lie below pictures: the image cache reads the data pack. Music and sounds
// stand beside pictures: effect sounds are memory files of the image cache.
int layer_of(const std::string &path)
{
    // The chunk layer is the file format every binary file shares, the cut cache's too.
    static const std::map<std::string, int> layers = {
        {"platform", 0}, {"chunk", 1}, {"res", 1}, {"media", 2}, {"image", 2}, {"ui", 3}, {"puzzle", 4}, {"rooms", 5}, {"kernel", 6}};
    auto it = layers.find(path.substr(0, path.find('/')));
    return it == layers.end() ? -1 : it->second;
}

TEST(Layers, IncludesRunOneWay)
{
    namespace fs = std::filesystem;
    const fs::path root = PELMORA_SOURCE_DIR;
    const std::regex include("#include \"([^\"]+)\"");
    int files = 0;
    std::string upward;
    for (const char *folder : {"platform", "chunk", "image", "res", "media", "ui", "puzzle", "rooms", "kernel"}) {
        for (const auto &e : fs::recursive_directory_iterator(root / folder)) {
            std::string ext = e.path().extension().string();
            if (ext != ".cpp" && ext != ".h")
                continue;
            std::string rel = fs::relative(e.path(), root).generic_string();
            int own = layer_of(rel);
            std::ifstream in(e.path());
            std::stringstream text;
            text << in.rdbuf();
            std::string body = text.str();
            for (std::sregex_iterator m(body.begin(), body.end(), include), end; m != end; ++m) {
                int other = layer_of((*m)[1]);
                if (other > own)
                    upward += rel + " includes " + (*m)[1].str() + "\n";
            }
            files++;
        }
    }
    EXPECT_GT(files, 100) << "the sources were found";
    EXPECT_EQ(upward, "") << "includes that reach up a layer";
}

}  // namespace
