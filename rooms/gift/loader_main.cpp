// The gift player: the program at the front of every gift file. Started on the friend's
// machine, it reads the entries appended to its own file, installs the boxes into the
// friend's game folder, hands each box's name to a running game (which puts it on its
// shelf at once; otherwise the boxes are there at the next start) and shows who the gift
// is from. It runs nothing from the gift and writes only into the boxes folder.
//
//   pelmora-loader [--folder GAME_FOLDER] [--quiet] [GIFT]
//
// The game folder is the one the game uses: PELMORA_HOME, else $XDG_DATA_HOME/pelmora,
// else ~/.local/share/pelmora. GIFT defaults to the program's own file.
#include <SDL.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/config.h"
#include "platform/files.h"
#include "platform/instance.h"
#include "platform/memory.h"
#include "rooms/gift/gift.h"

static std::string game_folder(void)
{
    if (const char *home = getenv("PELMORA_HOME"); home && *home)
        return home;
    if (const char *data = getenv("XDG_DATA_HOME"); data && *data)
        return std::string(data) + "/pelmora";
    const char *home = getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.local/share/pelmora";
}

// Makes every missing folder of `path`.
static bool make_folders(const std::string &path)
{
    for (size_t i = 1; i <= path.size(); i++)
        if (i == path.size() || path[i] == '/') {
            std::string part = path.substr(0, i);
            if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
                return false;
        }
    return true;
}

// In a window when there is a desktop, else on the terminal.
static void tell(bool quiet, bool failed, const std::string &text)
{
    if (!quiet && SDL_ShowSimpleMessageBox(failed ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION,
                                           "Pelmora Gift", text.c_str(), nullptr) == 0)
        return;
    fprintf(failed ? stderr : stdout, "%s\n", text.c_str());
}

int main(int argc, char **argv)
{
    std::string folder = game_folder(), gift_path;
    bool quiet = false;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--folder") == 0 && i + 1 < argc)
            folder = argv[++i];
        else if (strcmp(argv[i], "--quiet") == 0)
            quiet = true;
        else
            gift_path = argv[i];
    }
    // The gift's path is taken before the move into the game folder.
    char resolved[4096];
    if (gift_path.empty()) {
        ssize_t n = readlink("/proc/self/exe", resolved, sizeof resolved - 1);
        if (n <= 0) {
            tell(quiet, true, "This gift cannot find its own file.");
            return 1;
        }
        resolved[n] = 0;
        gift_path = resolved;
    } else if (realpath(gift_path.c_str(), resolved)) {
        gift_path = resolved;
    }
    io_mem_init();
    static GiftContents contents;
    static char names[GIFT_BOXES_MAX][BOX_NAME_MAX + 1];
    if (!make_folders(folder) || chdir(folder.c_str()) != 0) {
        tell(quiet, true, "The game folder " + folder + " cannot be made.");
        return 1;
    }
    kernel_set_puzzles_folder("puzzles");
    if (!gift_read(gift_path.c_str(), &contents) || !gift_install(gift_path.c_str(), &contents, names)) {
        tell(quiet, true, std::string("This gift could not be opened: ") + gift_reason() + ".");
        return 1;
    }
    // A running game puts the boxes on its shelf now; the others find them at start.
    for (int32_t i = 0; i < contents.count; i++)
        io_instance_send_text(KERNEL_CLASS_NAME, 0, names[i]);

    std::string text = contents.sender[0] ? std::string("A gift from ") + contents.sender : "A gift for you";
    if (contents.dedication[0])
        text += std::string("\n\n") + contents.dedication;
    text += contents.count == 1 ? "\n\nThis box is now on your shelf in Pelmora:" : "\n\nThese boxes are now on your shelf in Pelmora:";
    for (int32_t i = 0; i < contents.count; i++)
        text += std::string("\n  ") + names[i];
    tell(quiet, false, text);
    return 0;
}
