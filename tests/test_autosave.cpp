// The game saved while it is played: after every join, once a minute of game time while
// pieces move and never when nothing moved, a table in motion saved as it comes to rest,
// a write beside the game that lands before the save on leaving; and the real game,
// playing a journal, killed with SIGKILL at many points: every restart opens the game
// no older than the last join, with its clock.
#include <SDL2/SDL.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <set>

#include "platform/loop.h"
#include "puzzle/table_tools.h"
#include "rooms/play/autosave.h"
#include "rooms/play/game_file.h"
#include "rooms/play/playroom.h"
#include "tests/play_journal.h"
#include "tests/test_box_support.h"

namespace {

const std::string SAVED = "sfiles/qs/Tiny.qsv";

GameSummary saved_summary(const std::string &folder = ".")
{
    GameSummary s = {};
    std::string box = read_file(folder + "/puzzles/Tiny.pzl");
    ChunkId id;
    memcpy(&id, box.data() + 4, sizeof id);
    InDir in(folder);
    game_summary_read("Tiny", &id, &s);
    return s;
}

class Autosave : public KeyPlay {
protected:
    TempDir game;
    void open_tiny(int32_t rotation)
    {
        make_tiny_folder(game, 180, 120, 60, rotation);
        make_game_folders();
        std::filesystem::copy_file(game.file("puzzles/Tiny.pzl"), "puzzles/Tiny.pzl");
        ASSERT_EQ(playroom_open("Tiny"), 1);
        move(400, 300);
    }
};

TEST_F(Autosave, AfterEveryJoinAndEveryMinuteWhilePiecesMoveAtRestAndWithTheClock)
{
    open_tiny(0);
    PlayJournal j;
    j.t = clock = 0;
    press_key(&j, SDLK_n, "N");
    int32_t q = table.key_piece;
    for (int k = 0; k < 5; k++)
        press_key(&j, SDLK_RIGHT, "Right", false, 10000);
    EXPECT_FALSE(exists(SAVED)) << "moves within the first minute wait for it";
    // A turn begun just before the minute is full is saved finished.
    press_key(&j, SDLK_q, "Q", false, 59900 - j.t);
    run_to(60200);
    ASSERT_TRUE(exists(SAVED));
    EXPECT_TRUE(table.pieces[q].turning) << "saved in the middle of the turn";
    EXPECT_EQ(autosave_stats.written, 1);
    run_to(61000);
    ASSERT_EQ(table.pieces[q].angle, 90);
    std::string now(game_bytes_size(table.count), 0);
    game_encode((uint8_t *)now.data(), &playroom.id, &playroom.summary);
    EXPECT_EQ(read_file(SAVED).substr(GAME_TABLE_RECORDS), now.substr(GAME_TABLE_RECORDS))
        << "the table as it came to rest: the turn finished, the carried piece lying";
    EXPECT_EQ(saved_summary().play_time, 60);

    run_to(200000);
    EXPECT_EQ(autosave_stats.written, 1) << "nothing moved: nothing written";

    // Put down beside its neighbour, it joins, and the game is saved at once.
    const Piece &n = table.pieces[table.pieces[q].neighbours[0]];
    Piece &c = table.pieces[q];
    int32_t vx, vy;
    piece_turn(n.angle, c.home_x - n.home_x, c.home_y - n.home_y, &vx, &vy);
    c.x = c.work_x = n.x + vx;
    c.y = c.work_y = n.y + vy;
    c.angle = n.angle;
    press_key(&j, SDLK_SPACE, "Space", false, 10);
    EXPECT_GT(table.progress, 0);
    EXPECT_EQ(autosave_stats.written, 2);
    GameSummary s = saved_summary();
    EXPECT_EQ(std::tuple(s.progress, s.play_time), std::tuple(table.progress, 200));
}

TEST_F(Autosave, AWriteBesideTheGameLandsBeforeTheSaveOnLeavingAndCrashLeftoversGo)
{
    write_file("sfiles/qs/Tiny.qsv.99999.part", "half a save from a crash");
    open_tiny(1);
    EXPECT_FALSE(exists("sfiles/qs/Tiny.qsv.99999.part"));
    io_clock_start(false);  // the live clock: the helper thread writes
    table.pieces[2].x = 300;
    ASSERT_EQ(autosave_save_now(false), 1);
    table.pieces[2].x = 330;  // the game goes on while the disk works
    playroom_leave();
    EXPECT_EQ(autosave_stats.written, 1);
    EXPECT_EQ(folder_listing("sfiles/qs"), "Tiny.qsv");
    ASSERT_EQ(playroom_open("Tiny"), 1);
    EXPECT_EQ(table.pieces[2].x, 330) << "the save on leaving came last";
}

#if defined(__x86_64__)
// The calls after which a file can look different.
bool changes_files(long call)
{
    switch (call) {
    case SYS_write: case SYS_pwrite64: case SYS_writev: case SYS_rename: case SYS_renameat: case SYS_renameat2:
    case SYS_unlink: case SYS_unlinkat: case SYS_ftruncate: case SYS_fsync: case SYS_fdatasync: case SYS_open:
    case SYS_openat: case SYS_close: case SYS_mkdir: case SYS_mkdirat:
        return true;
    default:
        return false;
    }
}

struct TracedRun {
    int calls = 0;             // file-changing calls begun
    std::vector<int> commits;  // which of them moved a file into place (1-based)
    bool exited = false;       // ended by itself, with code 0
};

// The game run on the journal in `dir` under ptrace, killed (SIGKILL) just before its
// n-th call that can change a file; n = 0 lets it run to its end.
TracedRun run_game_killed_at(const std::string &dir, int n)
{
    TracedRun run;
    std::string tag = unique_socket_tag();
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0 || (access("data.pck", F_OK) != 0 && symlink(PELMORA_DATA_PCK, "data.pck") != 0))
            _exit(125);
        dup2(open("stderr.txt", O_WRONLY | O_CREAT | O_APPEND, 0644), 2);
        setenv("PELMORA_SOCKET_TAG", tag.c_str(), 1);
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        // The leak checker of a sanitizer build cannot work under a tracer; the game's own
        // memory counters still balance in its log.
        std::string asan = std::string(getenv("ASAN_OPTIONS") ? getenv("ASAN_OPTIONS") : "") + ":detect_leaks=0";
        setenv("ASAN_OPTIONS", asan.c_str(), 1);
        if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0)
            _exit(99);
        raise(SIGSTOP);
        execl(PELMORA_EXE, PELMORA_EXE, "-debug", "1", "-screen", "800x600", "-playback", "j.txt", (char *)nullptr);
        _exit(127);
    }
    int status;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFSTOPPED(status))
        return run;
    ptrace(PTRACE_SETOPTIONS, pid, nullptr, (void *)(long)(PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL | PTRACE_O_TRACEEXEC));
    int signal = 0;
    while (ptrace(PTRACE_SYSCALL, pid, nullptr, (void *)(long)signal) == 0 && waitpid(pid, &status, 0) == pid) {
        signal = 0;
        if (WIFEXITED(status) || WIFSIGNALED(status)) {
            run.exited = WIFEXITED(status) && WEXITSTATUS(status) == 0;
            return run;
        }
        if (WSTOPSIG(status) != (SIGTRAP | 0x80)) {
            if ((status >> 16) == 0)
                signal = WSTOPSIG(status);  // a signal of its own, not a ptrace event
            continue;
        }
        user_regs_struct regs;
        if (ptrace(PTRACE_GETREGS, pid, nullptr, &regs) != 0 || (long long)regs.rax != -ENOSYS ||
            !changes_files((long)regs.orig_rax))
            continue;  // not the entry of a call that changes files
        if (++run.calls == n) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return run;
        }
        long call = (long)regs.orig_rax;
        if (call == SYS_rename || call == SYS_renameat || call == SYS_renameat2)
            run.commits.push_back(run.calls);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return run;
}

// The log's autosave lines: each join's progress, and each save's progress and clock.
struct AutosaveLog {
    std::vector<int> joins;
    std::vector<std::pair<int, int>> saves;
};
AutosaveLog autosave_log(const std::string &log)
{
    AutosaveLog out;
    for (size_t at = log.find("autosave: "); at != std::string::npos; at = log.find("autosave: ", at + 1)) {
        long long ms;
        int progress, played;
        if (sscanf(log.c_str() + at, "autosave: pieces joined, progress %d", &progress) == 1)
            out.joins.push_back(progress);
        else if (sscanf(log.c_str() + at, "autosave: saved at %lld ms: progress %d, %d s played", &ms, &progress, &played) == 3)
            out.saves.emplace_back(progress, played);
    }
    return out;
}

TEST_F(Autosave, TheGameKilledAnywhereRestartsNoOlderThanItsLastJoin)
{
    // The journal: a minute and more of one piece carried about, then the puzzle solved
    // with the keys.
    make_tiny_folder(game, 180, 120, 60, 0);
    play_journal(game, std::string(OPEN_TINY) + "2600 close\n");
    PlayJournal j;
    ASSERT_TRUE(solve_with_keys(game, &j, true));
    j.key("Escape", "", 500);
    write_file(game.file("j.txt"), j.text);
    playroom_leave();
    TempDir work;
    const std::string start = work.file("start"), run_dir = work.file("run");
    const auto links = std::filesystem::copy_options::recursive | std::filesystem::copy_options::copy_symlinks;
    std::filesystem::copy(game.path, start, links);
    auto fresh = [&] {
        std::filesystem::remove_all(run_dir);
        std::filesystem::copy(start, run_dir, links);
    };
    fresh();
    TracedRun whole = run_game_killed_at(run_dir, 0);
    if (whole.calls == 0)
        GTEST_SKIP() << "the game cannot be traced here";
    std::string log = read_file(run_dir + "/application.log");
    ASSERT_TRUE(whole.exited) << log;
    AutosaveLog all = autosave_log(log);
    ASSERT_GE(all.joins.size(), 4u) << log;
    ASSERT_GE(whole.commits.size(), all.joins.size() + 2) << "the joins, the minute and the leaving:\n" << log;
    EXPECT_EQ(saved_summary(run_dir).progress, 100);

    // Just before and just after every file is moved into place (the saves among them),
    // and between.
    std::set<int> points;
    for (int c : whole.commits)
        points.insert({c, c + 1});
    for (int k = 1; k <= 4; k++)
        points.insert(whole.calls * k / 5);
    for (int n : points) {
        fresh();
        ASSERT_EQ(run_game_killed_at(run_dir, n).calls, n);
        AutosaveLog seen = autosave_log(read_file(run_dir + "/application.log"));
        GameSummary s = saved_summary(run_dir);
        ASSERT_EQ(s.piece_count, 6) << "killed at " << n << ": the saved game is always whole";
        // Every join but the last was saved before the next could happen; the last one
        // too, unless the kill came while it was being written.
        int want = seen.saves.empty() ? 0 : seen.saves.back().first;
        if (seen.joins.size() >= 2)
            want = std::max(want, seen.joins[seen.joins.size() - 2]);
        EXPECT_GE(s.progress, want) << "killed at " << n << " of " << whole.calls;
        if (!seen.saves.empty()) {
            EXPECT_GE(s.play_time, seen.saves.back().second) << "the clock is saved with the game";
        }
        // And the restart opens it so.
        std::filesystem::copy_file(run_dir + "/" + SAVED, SAVED, std::filesystem::copy_options::overwrite_existing);
        ASSERT_EQ(playroom_open("Tiny"), 1);
        EXPECT_EQ(std::tuple(table.progress, playroom.summary.play_time), std::tuple(s.progress, s.play_time));
        playroom_leave();
    }
}
#endif

}  // namespace
