// The whole game as a child process, headless: start, ticks and frames, shutdown on a
// signal, the log, the second start, and replayed journals.
#include <csignal>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "kernel/instance.h"
#include "tests/support.h"

// "main loop: T ticks, F frames" from a log; false when the line is missing.
static bool loop_counts(const std::string &log, long *ticks, long *frames)
{
    size_t at = log.find("main loop: ");
    return at != std::string::npos && sscanf(log.c_str() + at, "main loop: %ld ticks, %ld frames", ticks, frames) == 2;
}

static std::string last_lines(const std::string &text, int n)
{
    size_t at = text.size();
    while (n-- > 0 && at > 0)
        at = text.rfind('\n', at - 2) == std::string::npos ? 0 : text.rfind('\n', at - 2) + 1;
    return text.substr(at);
}

TEST(Game, HeadlessStartRunsAndEndsCleanlyOnSignals)
{
    for (int sig : {SIGTERM, SIGINT}) {
        TempDir dir;
        mkdir(dir.file("sfiles").c_str(), 0755);
        write_file(dir.file("sfiles/a.tmp"), "scratch from a crashed run");
        write_file(dir.file("sfiles/bimage.tmp"), "scratch");
        ChildOptions opt;
        opt.cwd = dir.path;
        int pid = spawn_child(PELMORA_EXE, {"-debug", "1", "-screen", "320x240", "-path", "My\\Boxes"}, opt);
        ASSERT_TRUE(wait_for_text(dir.file("application.log"), "Version: 1.25", 10000));
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        kill(pid, sig);
        EXPECT_EQ(wait_child(pid, 10000), 0) << "signal " << sig << " ends the game the ordinary way";

        std::string log = read_file(dir.file("application.log"));
        EXPECT_EQ(log.rfind("PlatformId:", 0), 0u) << log;
        EXPECT_NE(log.find("video driver: DrawDib\nPelmora\nVersion: 1.25\n"), std::string::npos) << log;
        long ticks = 0, frames = 0;
        ASSERT_TRUE(loop_counts(log, &ticks, &frames)) << log;
        EXPECT_GE(ticks, 5) << "ticks run on a 33 ms clock";
        EXPECT_GE(frames, ticks) << "every tick is followed by a frame";
        std::string tail = last_lines(log, 2);
        int got = -1, freed = -2;
        ASSERT_EQ(sscanf(tail.c_str(), "io_mem_done: ngetmem = %d\nio_mem_done: nfreemem = %d", &got, &freed), 2)
            << "the log ends with the memory counters:\n" << tail;
        EXPECT_EQ(got, freed);
        EXPECT_GT(got, 0);

        struct stat st;
        for (const char *folder : {"sfiles", "sfiles/temp", "sfiles/qs", "My/Boxes"})
            EXPECT_EQ(stat(dir.file(folder).c_str(), &st), 0) << folder << " is created at start";
        EXPECT_NE(stat(dir.file("sfiles/a.tmp").c_str(), &st), 0) << "scratch files are gone after a run";
        EXPECT_NE(stat(dir.file("sfiles/bimage.tmp").c_str(), &st), 0);
    }
}

TEST(Game, LogModesThatWriteNothing)
{
    for (const char *mode : {"0", "3", "7"}) {
        TempDir dir;
        ChildOptions opt;
        opt.cwd = dir.path;
        write_file(dir.file("j.txt"), "100 close\n");
        EXPECT_EQ(run_game({"-debug", mode, "-playback", "j.txt"}, opt), 0) << mode;
        EXPECT_NE(access(dir.file("application.log").c_str(), F_OK), 0) << "-debug " << mode << " writes no log";
    }
}

TEST(Game, SecondStartBringsTheFirstForwardAndLeaves)
{
    TempDir dir;
    ChildOptions opt;
    opt.cwd = dir.path;
    opt.socket_tag = unique_socket_tag();
    int first = spawn_child(PELMORA_EXE, {"-debug", "1"}, opt);
    ASSERT_TRUE(wait_for_text(dir.file("application.log"), "Version: 1.25", 10000));

    TempDir second_dir;
    ChildOptions opt2 = opt;
    opt2.cwd = second_dir.path;
    EXPECT_EQ(run_game({"-debug", "1"}, opt2, 10000), 0);
    EXPECT_TRUE(wait_for_text(dir.file("application.log"), "another start asked for the game", 5000));
    EXPECT_NE(access(second_dir.file("application.log").c_str(), F_OK), 0) << "the second copy never started";

    EXPECT_EQ(run_game({"-options", "yes"}, opt2, 10000), 0);
    EXPECT_NE(read_file(second_dir.file("stderr.txt")).find("You must close Pelmora before running Options."),
              std::string::npos);

    // Another program hands in a box name through the same door.
    setenv("PELMORA_SOCKET_TAG", opt.socket_tag.c_str(), 1);
    EXPECT_EQ(io_instance_send_text("QVPELMORACLASS", 0, "Autumn Leaves"), 1);
    unsetenv("PELMORA_SOCKET_TAG");
    EXPECT_TRUE(wait_for_text(dir.file("application.log"), "box handed in (Autumn Leaves)", 5000));

    kill(first, SIGTERM);
    EXPECT_EQ(wait_child(first, 10000), 0);
}

// Runs a journal headless in a fresh folder; returns the log and fills the shot.
static std::string play(const std::string &journal, int *code, std::string *shot = nullptr)
{
    TempDir dir;
    ChildOptions opt;
    opt.cwd = dir.path;
    write_file(dir.file("j.txt"), journal);
    *code = run_game({"-debug", "1", "-screen", "200x100", "-playback", "j.txt"}, opt);
    if (shot)
        *shot = read_file(dir.file("sfiles/shots/shot0001.bmp"));
    return read_file(dir.file("application.log")) + read_file(dir.file("stderr.txt"));
}

TEST(Game, PlaybackIsDeterministic)
{
    const std::string journal = "# a short session\n"
                                "100 mouse_move 10 10\n"
                                "120 mouse_down 150 50 1\n"
                                "130 mouse_move 160 60\n"
                                "140 mouse_up 160 60 1\n"
                                "180 key_down F12\n"
                                "200 key_up F12\n"
                                "900 text Hello\n"
                                "2000 close\n";
    int code1, code2;
    std::string shot1, shot2;
    std::string log1 = play(journal, &code1, &shot1);
    std::string log2 = play(journal, &code2, &shot2);
    EXPECT_EQ(code1, 0) << log1;
    EXPECT_EQ(code2, 0);
    long t1, f1, t2, f2;
    ASSERT_TRUE(loop_counts(log1, &t1, &f1)) << log1;
    ASSERT_TRUE(loop_counts(log2, &t2, &f2));
    EXPECT_EQ(t1, 2000 / 33) << "virtual time gives every tick up to the close";
    EXPECT_EQ(t1, t2);
    EXPECT_EQ(f1, f2) << "the same journal gives the same frames";
    ASSERT_EQ(shot1.size(), 54u + 600u * 100u) << "F12 saved a 200 x 100 frame";
    EXPECT_EQ(shot1, shot2);
    EXPECT_EQ(shot1.substr(0, 2), "BM");
    EXPECT_EQ((uint8_t)shot1[18] | (uint8_t)shot1[19] << 8, 200);
}

TEST(Game, PlaybackActivationAndDisplayChange)
{
    int code;
    // Away from 500 to 1500 ms: no ticks meanwhile, and no burst on return.
    std::string log = play("500 deactivate\n1500 activate\n2000 close\n", &code);
    EXPECT_EQ(code, 0);
    long ticks, frames;
    ASSERT_TRUE(loop_counts(log, &ticks, &frames)) << log;
    EXPECT_EQ(ticks, 500 / 33 + 500 / 33);

    // The player answered Yes to the display question: the game ends there.
    log = play("100 display_change yes\n5000 close\n", &code);
    EXPECT_EQ(code, 0);
    ASSERT_TRUE(loop_counts(log, &ticks, &frames)) << log;
    EXPECT_EQ(ticks, 100 / 33);
    log = play("100 display_change no\n1000 close\n", &code);
    ASSERT_TRUE(loop_counts(log, &ticks, &frames)) << log;
    EXPECT_EQ(ticks, 1000 / 33);

    // A journal that ends without closing ends the session after its last input.
    log = play("300 key_down A\n", &code);
    EXPECT_EQ(code, 0);
    EXPECT_NE(log.find("playback: journal played out"), std::string::npos) << log;
}

TEST(Game, BadJournalIsRefusedWithItsLine)
{
    int code;
    std::string out = play("100 mouse_move 1 2\n200 jump 3\n", &code);
    EXPECT_EQ(code, 1);
    EXPECT_NE(out.find("j.txt:2: not a journal line"), std::string::npos) << out;
}

TEST(Game, RecordedSessionPlaysBack)
{
    TempDir dir;
    ChildOptions opt;
    opt.cwd = dir.path;
    write_file(dir.file("rec.txt"), "an older journal\n");
    int pid = spawn_child(PELMORA_EXE, {"-debug", "1", "-screen", "320x200", "-record", "rec.txt"}, opt);
    ASSERT_TRUE(wait_for_text(dir.file("application.log"), "Version: 1.25", 10000));
    EXPECT_EQ(read_file(dir.file("rec.txt")), "an older journal\n") << "the old journal stays until the new one is whole";
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    kill(pid, SIGTERM);
    ASSERT_EQ(wait_child(pid, 10000), 0);
    std::string rec = read_file(dir.file("rec.txt"));
    EXPECT_EQ(rec.rfind("# Pelmora input journal", 0), 0u) << rec;
    EXPECT_NE(rec.find(" close\n"), std::string::npos) << "the signal is journalled as a close:\n" << rec;

    EXPECT_EQ(run_game({"-playback", "rec.txt"}, opt), 0);
}
