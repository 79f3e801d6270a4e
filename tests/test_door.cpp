// The door of the running game, and the log viewer the game talks to in log mode 2.
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>
#include <unistd.h>

#include "platform/files.h"
#include "platform/instance.h"
#include "platform/localsock.h"
#include "tests/support.h"

// Every test gets its own socket tag, so it never meets a running game or another test.
class Door : public ::testing::Test {
protected:
    const char *name = "PelmoraTestDoor";
    void SetUp() override { setenv("PELMORA_SOCKET_TAG", unique_socket_tag().c_str(), 1); }
    void TearDown() override
    {
        io_instance_close();
        unsetenv("PELMORA_SOCKET_TAG");
    }
    // Polls a few times, as the game's loop would; what the first request says, or "".
    std::string poll_door()
    {
        PlatformInput in;
        for (int i = 0; i < 8; i++)
            if (io_instance_poll(&in))
                return in.kind == InputKind::Forward   ? "forward"
                       : in.kind == InputKind::Message ? "message " + std::to_string(in.x) + " " + in.text
                                                       : "kind " + std::to_string((int)in.kind);
        return "";
    }
};

TEST_F(Door, OnlyOneCopyListensAndKnocksArriveAsInputs)
{
    PlatformInput in;
    EXPECT_EQ(io_instance_forward(name), 0) << "nobody listens yet";
    EXPECT_EQ(io_instance_poll(&in), 0) << "polling a closed door";

    ASSERT_EQ(io_instance_listen(name), 1);
    EXPECT_EQ(local_listen(name), -1) << "a second listener on an open door";
    EXPECT_EQ(poll_door(), "") << "no visitors, no input";
    EXPECT_EQ(io_instance_forward(name), 1);
    EXPECT_EQ(poll_door(), "forward");
    EXPECT_EQ(io_instance_send_text(name, -7, "Cats and Dogs"), 1);
    EXPECT_EQ(poll_door(), "message -7 Cats and Dogs") << "blanks in a name are kept";
    EXPECT_EQ(io_instance_send_text(name, 0, "two\nlines"), 0) << "a name cannot break the line";
    EXPECT_EQ(poll_door(), "");
    io_instance_close();
    EXPECT_EQ(io_instance_forward(name), 0) << "the door is shut";
    int second = local_listen(name);
    EXPECT_GE(second, 0) << "a closed door leaves nothing behind";
    EXPECT_EQ(io_instance_listen(name), 0) << "the door is taken by another copy";
    local_close(second);
}

TEST_F(Door, GarbageAndSilentVisitorsDoNotBlockTheDoor)
{
    ASSERT_EQ(io_instance_listen(name), 1);
    for (const std::string &line : {std::string("forward\n"), std::string("FORWARD"), std::string("TEXT 5 \n"),
                                    std::string("TEXT x Cats\n"), std::string(5000, 'F'),
                                    std::string("\xff\0FORWARD\n", 10)}) {
        int fd = local_connect(name);  // a visitor that says `line` (raw bytes) and hangs up
        EXPECT_GE(fd, 0);
        local_send_all(fd, line.data(), (int)line.size());
        local_close(fd);
        EXPECT_EQ(poll_door(), "") << "an input from '" << line << "'";
    }

    // More silent visitors than the door has room for, all at once.
    std::vector<int> silent;
    for (int i = 0; i < 6; i++)
        silent.push_back(local_connect(name));
    EXPECT_EQ(poll_door(), "");
    EXPECT_EQ(io_instance_forward(name), 1);
    EXPECT_EQ(poll_door(), "forward") << "a knock after silent visitors";

    // A slow visitor that connects, then says its line after yet another silent visitor
    // came: the oldest silent one gives way, not the newest visitor.
    int slow = local_connect(name);
    EXPECT_EQ(poll_door(), "");
    silent.push_back(local_connect(name));
    EXPECT_EQ(poll_door(), "");
    local_send_all(slow, "TEXT 3 Cats\n", 12);
    EXPECT_EQ(poll_door(), "message 3 Cats") << "the slow visitor was turned away";
    local_close(slow);
    for (int fd : silent)
        local_close(fd);
}

TEST_F(Door, AFailureToOpenTheDoorIsToldApartFromATakenOne)
{
    // With no descriptor left the door cannot open, and that does not mean another copy
    // runs. Tried in a child, whose descriptor limit the test can lower freely.
    // The name is taken before the limit: the sanitizers look things up through files.
    const char *door = name;
    auto without_descriptors = [door] {
        rlimit none = {0, 0};
        setrlimit(RLIMIT_NOFILE, &none);
        int got = io_instance_listen(door);
        bool said = strstr(io_instance_error(), "Too many open files") != nullptr;
        _exit(got == IO_DOOR_FAILED && said ? 3 : 4);
    };
    EXPECT_EXIT(without_descriptors(), ::testing::ExitedWithCode(3), "");
    ASSERT_EQ(io_instance_listen(name), IO_DOOR_OPEN);
    EXPECT_STREQ(io_instance_error(), "");
    EXPECT_EQ(io_instance_answers(name), 1);
    EXPECT_EQ(poll_door(), "") << "a visitor who only looks says nothing";
    io_instance_close();
    EXPECT_EQ(io_instance_answers(name), 0);
}

TEST(LogView, GameStopsWithoutAViewerAndTheViewerPrintsTheGamesLog)
{
    TempDir dir;
    std::string viewer = dir.file("viewer"), game = dir.file("game"), viewer2 = dir.file("viewer2");
    ASSERT_TRUE(make_dir(viewer.c_str()) && make_dir(game.c_str()) && make_dir(viewer2.c_str()));
    write_file(game + "/j.txt", "100 mouse_move 10 10\n500 close\n");
    ChildOptions opt = {.cwd = dir.path, .socket_tag = unique_socket_tag()}, second = opt;
    EXPECT_EQ(run_game({"-debug", "2"}, opt), 1) << "no viewer runs yet";
    EXPECT_NE(read_file(dir.file("stderr.txt")).find("io_debug_init: Win Debug not found"), std::string::npos);

    opt.cwd = viewer;
    second.cwd = viewer2;
    int pid = spawn_child(PELMORA_LOGVIEW_EXE, {"--once"}, opt);
    if (!wait_for_text(viewer + "/stdout.txt", "pelmora-logview: waiting for the game", 10000)) {
        wait_child(pid, 0);
        FAIL() << "the viewer did not start: " << read_file(viewer + "/stderr.txt");
    }
    EXPECT_EQ(wait_child(spawn_child(PELMORA_LOGVIEW_EXE, {"--once"}, second), 10000), 1)
        << "a second viewer on the same line must give up: " << read_file(viewer2 + "/stderr.txt");
    opt.cwd = game;
    EXPECT_EQ(run_game({"-debug", "2", "-playback", "j.txt"}, opt), 0) << read_file(game + "/stderr.txt");
    EXPECT_EQ(wait_child(pid, 10000), 0) << "with --once the viewer ends when the game hangs up";

    std::string out = read_file(viewer + "/stdout.txt");
    size_t separator = out.find("\n--------");
    ASSERT_NE(separator, std::string::npos) << "the game clears the viewer first:\n" << out;
    for (const char *want : {"\nPelmora\n", "\nVersion: 1.25\n", "\nio_mem_done: ngetmem = "})
        EXPECT_NE(out.find(want, separator), std::string::npos) << want << " missing after the separator:\n" << out;
}
