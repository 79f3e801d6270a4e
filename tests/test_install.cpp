// The game on the desktop: this build installed into a scratch prefix, the game started
// through its installed launcher, and everything taken away again; and the launcher's
// own work (the game folder, the copies, the arguments) with a stand-in game.
#include <algorithm>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "image/png.h"
#include "tests/support.h"

namespace {

namespace fs = std::filesystem;

const int ICON_SIZES[] = {16, 32, 48, 64, 128, 256};

// The build this test program belongs to.
std::string build_dir()
{
    return fs::read_symlink("/proc/self/exe").parent_path().string();
}

// Runs a program found on the PATH (through env, which also sets `vars`) in `cwd`.
int run(const std::string &cwd, const std::vector<std::string> &vars, const std::vector<std::string> &args)
{
    std::vector<std::string> all = vars;
    all.insert(all.end(), args.begin(), args.end());
    return wait_child(spawn_child("/usr/bin/env", all, {.cwd = cwd, .with_pack = false}), 60000);
}

// Every file under `root`, named from it.
std::set<std::string> files_under(const std::string &root)
{
    std::set<std::string> out;
    if (exists(root))
        for (const auto &e : fs::recursive_directory_iterator(root))
            if (!e.is_directory())
                out.insert(fs::relative(e.path(), root).generic_string());
    return out;
}

bool executable(const std::string &path)
{
    return access(path.c_str(), X_OK) == 0;
}

// The icon at `path` through the game's own PNG reader: its size, and whether the corner
// is bare (transparency comes out white) while the middle is painted.
void check_icon(const std::string &path, int size)
{
    FILE *f = fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr) << path;
    int32_t w = 0, h = 0;
    uint32_t format = 0;
    Picture *p = nullptr;
    if (png_read_info(f, &w, &h, &format) == 0 && w == size && h == size)
        if (png_read_pixels(p = picture_create(w, h, format), f) != 0) {
            picture_free(p);
            p = nullptr;
        }
    fclose(f);
    ASSERT_NE(p, nullptr) << path << " does not read as a " << size << " x " << size << " picture";
    auto white = [&](int x, int y) {
        const uint8_t *c = p->colour + y * p->colour_stride + x * 3;
        return c[0] == 255 && c[1] == 255 && c[2] == 255;
    };
    EXPECT_TRUE(white(0, 0) && white(size - 1, size - 1)) << path << ": the corners are transparent";
    EXPECT_FALSE(white(size / 2, size / 2)) << path << ": the piece covers the middle";
    picture_free(p);
}

TEST(Install, InstalledGameStartsAndUninstallLeavesNoFile)
{
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    TempDir tmp;
    const std::string prefix = tmp.file("prefix"), build = build_dir();
    ASSERT_EQ(run(tmp.path, {}, {"cmake", "--install", build, "--prefix", prefix}), 0) << read_file(tmp.file("stderr.txt"));

    std::set<std::string> expected = {
        "bin/pelmora", "bin/pelmora-tool", "bin/pelmora-logview", "lib/pelmora/pelmora", "lib/pelmora/pelmora-loader",
        "share/pelmora/data.pck", "share/applications/pelmora.desktop", "share/mime/packages/pelmora.xml"};
    for (int size : ICON_SIZES)
        expected.insert("share/icons/hicolor/" + std::to_string(size) + "x" + std::to_string(size) + "/apps/pelmora.png");
    EXPECT_EQ(files_under(prefix), expected);
    for (const char *program : {"bin/pelmora", "bin/pelmora-tool", "bin/pelmora-logview", "lib/pelmora/pelmora"})
        EXPECT_TRUE(executable(prefix + "/" + program)) << program;
    std::string launcher = read_file(prefix + "/bin/pelmora");
    EXPECT_NE(launcher.find("'" + prefix + "/lib/pelmora'"), std::string::npos) << "the programs' folder is filled in";
    EXPECT_NE(launcher.find("'" + prefix + "/share/pelmora'"), std::string::npos) << "the data folder is filled in";
    EXPECT_EQ(launcher.find("@PELMORA_"), std::string::npos);
    EXPECT_NE(read_file(prefix + "/share/applications/pelmora.desktop").find("MimeType=application/x-pelmora-gift;"),
              std::string::npos);
    EXPECT_NE(read_file(prefix + "/share/mime/packages/pelmora.xml").find("<glob pattern=\"*.gift\"/>"),
              std::string::npos);
    for (int size : ICON_SIZES)
        check_icon(prefix + "/share/icons/hicolor/" + std::to_string(size) + "x" + std::to_string(size) +
                       "/apps/pelmora.png",
                   size);

    // The installed game, from the player's own command, in a game folder of the test's.
    const std::string home = tmp.file("home");
    fs::create_directory(tmp.file("run"));
    write_file(tmp.file("run/close.txt"), "100 close\n");
    int code = run(tmp.file("run"), {"PELMORA_HOME=" + home, "SDL_VIDEODRIVER=dummy"},
                   {prefix + "/bin/pelmora", "-debug", "1", "-screen", "200x100", "-playback", tmp.file("run/close.txt")});
    EXPECT_EQ(code, 0) << read_file(tmp.file("run/stderr.txt"));
    EXPECT_TRUE(exists(home + "/application.log")) << "the game ran in its folder";
    EXPECT_EQ(fs::file_size(home + "/data.pck"), fs::file_size(prefix + "/share/pelmora/data.pck"));
    EXPECT_TRUE(read_file(home + "/sfiles/loader.dat") == read_file(prefix + "/lib/pelmora/pelmora-loader"))
        << "the gift player is in the game folder";
    EXPECT_FALSE(exists(home + "/data.pck.new") || exists(home + "/sfiles/loader.dat.new"));

    ASSERT_EQ(run(tmp.path, {},
                  {"cmake", "-DPELMORA_MANIFEST=" + build + "/install_manifest.txt", "-P",
                   std::string(PELMORA_SOURCE_DIR) + "/desktop/uninstall.cmake"}),
              0)
        << read_file(tmp.file("stderr.txt"));
    EXPECT_EQ(files_under(prefix), std::set<std::string>{});
    EXPECT_FALSE(exists(prefix + "/lib/pelmora") || exists(prefix + "/share/pelmora")) << "the game's own folders go";
    EXPECT_TRUE(exists(prefix + "/share/applications")) << "folders others share stay";
}

// `make run`'s form of the launcher, over a build folder whose game only writes down
// where it started and what it was given.
TEST(Install, LauncherPreparesTheGameFolderAndPassesTheArguments)
{
    TempDir tmp;
    const std::string build = tmp.file("build"), home = tmp.file("home"), here = tmp.file("here");
    fs::create_directories(build);
    fs::create_directories(here);
    write_file(build + "/pelmora", "#!/bin/sh\npwd > \"$GAME_SAW\"\nfor a; do echo \"$a\"; done >> \"$GAME_SAW\"\n");
    chmod((build + "/pelmora").c_str(), 0755);
    write_file(build + "/data.pck", "pack");
    write_file(build + "/pelmora-loader", "loader");
    write_file(here + "/Present.GIFT", "gift");
    fs::create_directories(home + "/sfiles");
    write_file(home + "/sfiles/loader.dat", "an older player");
    const std::vector<std::string> env = {"PELMORA_HOME=" + home, "SDL_VIDEODRIVER=dummy", "GAME_SAW=" + tmp.file("saw")};
    const std::string script = std::string(PELMORA_SOURCE_DIR) + "/scripts/run-game.sh";

    ASSERT_EQ(run(here, env, {"sh", script, build, "-screen", "8x8", "Present.GIFT", "missing.gift", "-path", "boxes"}), 0)
        << read_file(here + "/stderr.txt");
    EXPECT_EQ(read_file(tmp.file("saw")),
              home + "\n-screen\n8x8\n" + here + "/Present.GIFT\nmissing.gift\n-path\nboxes\n")
        << "started in the game folder; only a gift that exists is named in full";
    EXPECT_EQ(read_file(home + "/data.pck"), "pack");
    EXPECT_EQ(read_file(home + "/sfiles/loader.dat"), "loader") << "the player is renewed at every start";
    EXPECT_TRUE(fs::is_directory(home + "/puzzles"));

    EXPECT_NE(run(here, env, {"sh", script}), 0) << "without a build folder it says how it is used";
}

}  // namespace
