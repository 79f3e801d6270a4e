#include "tests/fake_feedback.h"

#include <cstdlib>
#include <sstream>

#include "media/feedback.h"

FakeFeedback::FakeFeedback(bool with_ifc21, bool load)
{
    setenv("PELMORA_FBMOUSE_LIB", PELMORA_FAKE_FBMOUSE_LIB, 1);
    setenv("PELMORA_IFC21_LIB", with_ifc21 ? PELMORA_FAKE_FBMOUSE_LIB : dir.file("libifc21.so").c_str(), 1);
    setenv("PELMORA_FAKE_FBMOUSE_LOG", log.c_str(), 1);
    if (load)
        fb_load();
}

FakeFeedback::~FakeFeedback()
{
    fb_unload();
    unsetenv("PELMORA_FBMOUSE_LIB");
    unsetenv("PELMORA_IFC21_LIB");
    unsetenv("PELMORA_FAKE_FBMOUSE_LOG");
}

std::vector<std::string> FakeFeedback::calls() const
{
    std::vector<std::string> lines;
    if (!exists(log))
        return lines;
    std::istringstream in(read_file(log));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> FakeFeedback::calls_of(const std::string &entry) const
{
    std::vector<std::string> found;
    for (const std::string &line : calls())
        if (line == entry || line.rfind(entry + " ", 0) == 0)
            found.push_back(line);
    return found;
}

void FakeFeedback::clear() const
{
    std::filesystem::remove(log);
}
