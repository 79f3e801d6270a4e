// The whole game as a child process, headless: start, ticks and frames, shutdown on a
// signal, the log, the second start with a gift, the gift player beside a running game,
// and replayed journals.
#include <csignal>
#include <cstddef>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/instance.h"
#include "tests/test_box_support.h"

// How long a test waits for the game to get somewhere: a game that works gets there
// long before, even on a loaded machine under the sanitizers; only a fault waits it out.
constexpr int WAIT_MS = 60000;

// The ticks of "main loop: T ticks, F frames" in a log (-1 without the line); `frames` gets F.
static long loop_ticks(const std::string &log, long *frames = nullptr)
{
    long ticks = -1, f = -1;
    size_t at = log.find("main loop: ");
    if (at != std::string::npos)
        sscanf(log.c_str() + at, "main loop: %ld ticks, %ld frames", &ticks, &f);
    if (frames)
        *frames = f;
    return ticks;
}

// SIGTERM and SIGINT end the game the ordinary way. A signal arrives in real time, so
// the test waits for the game to be up (with time to spare on a loaded machine) and
// signals it then, however long that took; how ticks and frames follow the clock is
// shown on the virtual clock, by the played-back sessions below.
TEST(Game, HeadlessStartRunsAndEndsCleanlyOnSignals)
{
    for (int sig : {SIGTERM, SIGINT}) {
        TempDir dir;
        std::filesystem::create_directory(dir.file("sfiles"));
        write_file(dir.file("sfiles/a.tmp"), "scratch from a crashed run");
        write_file(dir.file("sfiles/bimage.tmp"), "scratch");
        int pid = spawn_child(PELMORA_EXE, {"-debug", "1", "-screen", "320x240", "-path", "My\\Boxes"}, {.cwd = dir.path});
        ASSERT_TRUE(wait_for_text(dir.file("application.log"), "kernel: start-up took", WAIT_MS))
            << read_file(dir.file("stderr.txt"));
        kill(pid, sig);
        EXPECT_EQ(wait_child(pid, WAIT_MS), 0) << "signal " << sig << " ends the game the ordinary way";

        std::string log = read_file(dir.file("application.log"));
        EXPECT_NE(log.find("video driver: DrawDib\nPelmora\nVersion: 1.25\n"), std::string::npos) << log;
        long frames, ticks = loop_ticks(log, &frames);
        ASSERT_GE(ticks, 0) << "the main loop ran and says what it did:\n" << log;
        // However long the game ran, an idle desktop sleeps between ticks instead of
        // drawing frame after frame.
        EXPECT_LE(frames, 3 * ticks + 30) << "an idle game waits for its ticks:\n" << log;
        size_t tail = log.rfind("io_mem_done: ngetmem = ");
        int got = -1, freed = -2, end = 0;
        ASSERT_NE(tail, std::string::npos) << log;
        sscanf(log.c_str() + tail, "io_mem_done: ngetmem = %d\nio_mem_done: nfreemem = %d\n%n", &got, &freed, &end);
        EXPECT_EQ(tail + end, log.size()) << "the log ends with the memory counters:\n" << log.substr(tail);
        EXPECT_TRUE(got == freed && got > 0) << got << " blocks taken, " << freed << " given back";

        for (const char *folder : {"sfiles", "sfiles/temp", "sfiles/qs", "My/Boxes"})
            EXPECT_TRUE(exists(dir.file(folder))) << folder << " is created at start";
        EXPECT_FALSE(exists(dir.file("sfiles/a.tmp")) || exists(dir.file("sfiles/bimage.tmp")))
            << "scratch files are gone after a run";
    }
}

// The door is a convenience: only a copy that answers means the game already runs.
TEST(Game, StartsWithoutADoorThatNoCopyAnswers)
{
    TempDir dir;
    ChildOptions opt = {.cwd = dir.path, .socket_tag = unique_socket_tag()};
    // Something holds the door's name but never listens.
    int squatter = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    int n = snprintf(addr.sun_path + 1, sizeof addr.sun_path - 1, "QVPELMORACLASS.%u.%s", (unsigned)getuid(),
                     opt.socket_tag.c_str());
    ASSERT_EQ(bind(squatter, (sockaddr *)&addr, (socklen_t)(offsetof(sockaddr_un, sun_path) + 1 + n)), 0);
    int pid = spawn_child(PELMORA_EXE, {"-debug", "1", "-screen", "320x240"}, opt);
    bool up = wait_for_text(dir.file("application.log"), "kernel: start-up took", WAIT_MS);
    kill(pid, SIGTERM);
    EXPECT_EQ(wait_child(pid, WAIT_MS), 0);
    close(squatter);
    std::string log = read_file(dir.file("application.log"));
    EXPECT_TRUE(up) << "the game started:\n" << log << read_file(dir.file("stderr.txt"));
    EXPECT_NE(log.find("kernel: runs without a door (the name is held by a copy that does not answer)"),
              std::string::npos) << log;
}

TEST(Game, SecondStartBringsTheFirstForwardAndLeaves)
{
    TempDir dir, second_dir;
    ChildOptions opt = {.cwd = dir.path, .socket_tag = unique_socket_tag()}, opt2 = opt;
    opt2.cwd = second_dir.path;
    int first = spawn_child(PELMORA_EXE, {"-debug", "1"}, opt);
    ASSERT_TRUE(wait_for_text(dir.file("application.log"), "Version: 1.25", WAIT_MS));
    EXPECT_EQ(run_game({"-debug", "1"}, opt2, WAIT_MS), 0);
    // The first copy answers once its start-up is through, which takes a while under load.
    EXPECT_TRUE(wait_for_text(dir.file("application.log"), "another start asked for the game", WAIT_MS));
    EXPECT_FALSE(exists(second_dir.file("application.log"))) << "the second copy never started";

    EXPECT_EQ(run_game({"-options", "yes"}, opt2, WAIT_MS), 0);
    EXPECT_NE(read_file(second_dir.file("stderr.txt")).find("You must close Pelmora before running Options."),
              std::string::npos);

    // The gift player, run while the game is up, installs the box into the game's folder
    // and hands its name in through the same door; a second start given a gift hands the
    // gift itself to the running game. Events are dropped until start-up is through, so
    // both come once the game is up.
    ASSERT_TRUE(wait_for_text(dir.file("application.log"), "kernel: start-up took", WAIT_MS));
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    const std::string box = box_file({{5, 6, 7, CHUNK_ID_MARK}}, test_box_info(120, 90, 30), test_jpeg(120, 90));
    const std::string gift = second_dir.file("Autumn.gift");
    write_file(gift, "LMPF" + le32(17) + "Autumn Leaves.pzl" + le32((uint32_t)box.size()) + box);
    std::string player = "PELMORA_HOME='" + dir.path + "' PELMORA_SOCKET_TAG=" + opt.socket_tag + " " +
                         PELMORA_LOADER_EXE + " --quiet '" + gift + "' > /dev/null";
    EXPECT_EQ(std::system(player.c_str()), 0);
    EXPECT_TRUE(wait_for_text(dir.file("application.log"), "box handed in (Autumn Leaves)", WAIT_MS))
        << read_file(dir.file("application.log"));
    EXPECT_EQ(run_game({"-debug", "1", gift}, opt2, WAIT_MS), 0);
    EXPECT_TRUE(wait_for_text(dir.file("application.log"), "gift: opening " + gift, WAIT_MS));
    EXPECT_TRUE(wait_for_text(dir.file("application.log"), "gift: Autumn Leaves 2 is on the shelf", WAIT_MS));
    kill(first, SIGTERM);
    EXPECT_EQ(wait_child(first, WAIT_MS), 0);
}

// Runs a journal headless in a fresh folder; returns the log and fills the shot.
static std::string play(const std::string &journal, int *code, std::string *shot = nullptr, const char *mode = "1")
{
    TempDir dir;
    write_file(dir.file("j.txt"), journal);
    *code = run_game({"-debug", mode, "-screen", "200x100", "-playback", "j.txt"}, {.cwd = dir.path}, WAIT_MS);
    if (shot)
        *shot = read_file(dir.file("sfiles/shots/shot0001.bmp"));
    return read_file(dir.file("application.log")) + read_file(dir.file("stderr.txt"));
}

TEST(Game, PlaybackIsDeterministic)
{
    const std::string journal = "# a short session\n100 mouse_move 10 10\n120 mouse_down 150 50 1\n130 mouse_move 160 60\n"
                                "140 mouse_up 160 60 1\n180 key_down F12\n200 key_up F12\n900 text Hello\n2000 close\n";
    int code1, code2;
    std::string shot1, shot2, log1 = play(journal, &code1, &shot1), log2 = play(journal, &code2, &shot2);
    EXPECT_TRUE(code1 == 0 && code2 == 0) << log1;
    long f1, f2;
    EXPECT_EQ(loop_ticks(log1, &f1), 2000 / 33) << "virtual time gives every tick up to the close:\n" << log1;
    EXPECT_EQ(loop_ticks(log2, &f2), 2000 / 33);
    EXPECT_EQ(f1, f2) << "the same journal gives the same frames";
    ASSERT_EQ(shot1.substr(0, 2) + std::to_string(shot1.size()), "BM" + std::to_string(54 + 600 * 100))
        << "F12 saved a 200 x 100 BMP";
    EXPECT_EQ(shot1, shot2);
}

TEST(Game, PlaybackActivationDisplayChangeLogModesAndBadJournals)
{
    struct { const char *journal, *mode; int code; long ticks; const char *said; } cases[] = {
        // Away from 500 to 1500 ms: no ticks meanwhile, and no burst on return.
        {"500 deactivate\n1500 activate\n2000 close\n", "1", 0, 500 / 33 + 500 / 33, ""},
        // The player answered Yes to the display question: the game ends there.
        {"100 display_change yes\n5000 close\n", "1", 0, 100 / 33, ""},
        {"100 display_change no\n1000 close\n", "1", 0, 1000 / 33, ""},
        // A journal that ends without closing ends the session after its last input.
        {"300 key_down A\n", "1", 0, 300 / 33, "playback: journal played out"},
        {"100 mouse_move 1 2\n200 jump 3\n", "1", 1, -1, "j.txt:2: not a journal line"},
        // Log modes that write no log at all.
        {"100 close\n", "0", 0, -1, ""}, {"100 close\n", "3", 0, -1, ""}, {"100 close\n", "7", 0, -1, ""},
    };
    for (const auto &c : cases) {
        int code;
        std::string log = play(c.journal, &code, nullptr, c.mode);
        EXPECT_EQ(code, c.code) << c.journal << log;
        EXPECT_EQ(loop_ticks(log), c.ticks) << "-debug " << c.mode << ", " << c.journal << log;
        EXPECT_NE(log.find(c.said), std::string::npos) << c.journal << log;
    }
}

// A session recorded in real time plays back as itself: replayed while recording again,
// it journals the very same inputs at the very same times, twice over, so every input
// reached the game exactly when it was given, whatever the machine's speed.
TEST(Game, RecordedSessionPlaysBack)
{
    TempDir dir;
    ChildOptions opt = {.cwd = dir.path, .socket_tag = unique_socket_tag()};
    write_file(dir.file("rec.txt"), "an older journal\n");
    int pid = spawn_child(PELMORA_EXE, {"-debug", "1", "-screen", "320x200", "-record", "rec.txt"}, opt);
    ASSERT_TRUE(wait_for_text(dir.file("application.log"), "kernel: start-up took", WAIT_MS))
        << read_file(dir.file("stderr.txt"));
    EXPECT_EQ(read_file(dir.file("rec.txt")), "an older journal\n") << "the old journal stays until the new one is whole";
    // Another program hands in a box name: an input with a time of its own.
    setenv("PELMORA_SOCKET_TAG", opt.socket_tag.c_str(), 1);
    EXPECT_EQ(io_instance_send_text("QVPELMORACLASS", 0, "Autumn Leaves"), 1);
    unsetenv("PELMORA_SOCKET_TAG");
    EXPECT_TRUE(wait_for_text(dir.file("application.log"), "box handed in (Autumn Leaves)", WAIT_MS));
    kill(pid, SIGTERM);
    ASSERT_EQ(wait_child(pid, WAIT_MS), 0);
    const std::string rec = read_file(dir.file("rec.txt"));
    EXPECT_EQ(rec.rfind("# Pelmora input journal", 0), 0u) << rec;
    EXPECT_NE(rec.find(" message Autumn Leaves\n"), std::string::npos) << rec;
    EXPECT_NE(rec.find(" close\n"), std::string::npos) << "the signal is journalled as a close:\n" << rec;

    long ticks[2], frames[2];
    for (int run = 0; run < 2; run++) {
        std::vector<std::string> args = {"-debug", "1", "-screen", "320x200", "-playback", "rec.txt", "-record", "again.txt"};
        EXPECT_EQ(run_game(args, opt, WAIT_MS), 0) << read_file(dir.file("stderr.txt"));
        EXPECT_EQ(read_file(dir.file("again.txt")), rec) << "played back, the same inputs at the same times";
        std::string log = read_file(dir.file("application.log"));
        EXPECT_NE(log.find("box handed in (Autumn Leaves)"), std::string::npos) << log;
        ticks[run] = loop_ticks(log, &frames[run]);
    }
    EXPECT_TRUE(ticks[0] >= 0 && ticks[0] == ticks[1] && frames[0] == frames[1])
        << ticks[0] << " and " << ticks[1] << " ticks, " << frames[0] << " and " << frames[1] << " frames";
}

// The colour of a skin key as data/skin.ini gives it, 0x00RRGGBB.
static uint32_t skin_ini_colour(const std::string &key)
{
    std::string ini = read_file(std::string(PELMORA_SOURCE_DIR) + "/data/skin.ini");
    size_t at = ini.find("\n" + key + "=");
    int r = -1, g = -1, b = -1;
    if (at != std::string::npos)
        sscanf(ini.c_str() + at + key.size() + 2, "%d %d %d", &r, &g, &b);
    return (uint32_t)(r << 16 | g << 8 | b);
}

// A whole start with the installation data: the pack opens, the splash comes and goes,
// and the desktop shows the room's caption in its title bar and the corner logo, which
// lights under the mouse.
TEST(Game, StartsIntoTheDesktopWithTitleBarAndLogo)
{
    TempDir dir;
    write_file(dir.file("j.txt"), "300 mouse_move 400 300\n400 key_down F12\n420 key_up F12\n"
                                  "500 mouse_move 795 5\n600 key_down F12\n620 key_up F12\n700 close\n");
    ASSERT_EQ(run_game({"-debug", "1", "-screen", "800x600", "-playback", "j.txt"}, {.cwd = dir.path}, WAIT_MS), 0)
        << read_file(dir.file("stderr.txt"));
    std::string away = read_file(dir.file("sfiles/shots/shot0001.bmp")), over = read_file(dir.file("sfiles/shots/shot0002.bmp"));
    ASSERT_TRUE(away.size() == 54 + 2400 * 600 && over.size() == away.size()) << "two 800 x 600 shots";
    auto pixel = [](const std::string &bmp, int x, int y) {
        const uint8_t *p = (const uint8_t *)bmp.data() + 54 + (599 - y) * 2400 + 3 * x;
        return (uint32_t)(p[2] << 16 | p[1] << 8 | p[0]);
    };
    uint32_t bar = skin_ini_colour("RoomTitleBar"), ink = skin_ini_colour("RoomTitleBarText");
    // Full-coverage ink lands within one step of its colour on each channel.
    auto near = [](uint32_t a, uint32_t b) {
        for (int s = 0; s < 24; s += 8)
            if (abs((int)(a >> s & 255) - (int)(b >> s & 255)) > 1)
                return false;
        return true;
    };
    int inked = 0;
    for (int y = 0; y < 20; y++)
        for (int x = 0; x < 200; x++)
            inked += near(pixel(away, x, y), ink);
    EXPECT_GT(inked, 40) << "the caption is written in the title bar";
    EXPECT_EQ(pixel(away, 400, 1), bar) << "the bar is filled between caption and logo";
    EXPECT_NE(pixel(away, 400, 30), bar) << "the table shows below the bar";
    int changed = 0, changed_outside = 0;
    for (int y = 0; y < 600; y++)
        for (int x = 0; x < 800; x++)
            (x >= 800 - 96 && y < 40 ? changed : changed_outside) += pixel(away, x, y) != pixel(over, x, y);
    EXPECT_GT(changed, 200) << "the logo lights under the mouse";
    EXPECT_EQ(changed_outside, 0) << "and nothing else changes";
    std::string log = read_file(dir.file("application.log"));
    EXPECT_NE(log.find("io_mem_done: ngetmem"), std::string::npos) << log;
}
