#include "tests/support.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iterator>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

TempDir::TempDir()
{
    char tmpl[] = "/tmp/pelmora-test-XXXXXX";
    char *p = mkdtemp(tmpl);
    path = p ? p : "";
}

TempDir::~TempDir()
{
    std::error_code ec;
    if (!path.empty())
        std::filesystem::remove_all(path, ec);
}

std::string read_file(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void write_file(const std::string &path, const std::string &text)
{
    std::ofstream f(path, std::ios::binary);
    f << text;
}

TestImage::TestImage(int32_t w, int32_t h, uint32_t format, int fill) : img(img_create(w, h, format))
{
    img_view(&v, img, 0, 0);
    if (fill >= 0)
        memset(v.colour, fill, (size_t)v.colour_stride * h);
}

int presents_with_rects, presents_empty;

const VideoDriver test_video_driver = {
    "Test", nullptr, nullptr, [](int) { return 1; }, nullptr,
    [] {
        int32_t row = io_video_row_size(screen.width, 24);
        screen.buf = io_video_pixels() + (size_t)(screen.height - 1) * row;
        screen.pitch = -row;
    },
    [](const PaintList *list) { (list->count ? presents_with_rects : presents_empty)++; }};

std::string unique_socket_tag()
{
    static std::atomic<int> counter{0};
    return "test" + std::to_string(getpid()) + "x" + std::to_string(counter++);
}

int spawn_child(const std::string &exe, const std::vector<std::string> &args, const ChildOptions &opt)
{
    std::string tag = opt.socket_tag.empty() ? unique_socket_tag() : opt.socket_tag;
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    if (!opt.cwd.empty() && chdir(opt.cwd.c_str()) != 0)
        _exit(126);
    // The game needs its installation data; a test folder gets the built pack unless the
    // test put a pack of its own there.
    if (opt.with_pack && access("data.pck", F_OK) != 0 && symlink(PELMORA_DATA_PCK, "data.pck") != 0)
        _exit(125);
    dup2(open("stdout.txt", O_WRONLY | O_CREAT | O_APPEND, 0644), 1);
    dup2(open("stderr.txt", O_WRONLY | O_CREAT | O_APPEND, 0644), 2);
    setenv("PELMORA_SOCKET_TAG", tag.c_str(), 1);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    std::vector<char *> argv = {const_cast<char *>(exe.c_str())};
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    execv(exe.c_str(), argv.data());
    _exit(127);
}

// Calls `done` every few milliseconds until it says true (then true) or `timeout_ms` pass.
static bool poll_until(int timeout_ms, const std::function<bool()> &done)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (; !done(); std::this_thread::sleep_for(std::chrono::milliseconds(5)))
        if (std::chrono::steady_clock::now() > deadline)
            return false;
    return true;
}

int wait_child(int pid, int timeout_ms)
{
    int status = 0;
    pid_t r = 0;
    if (!poll_until(timeout_ms, [&] { return (r = waitpid(pid, &status, WNOHANG)) != 0; })) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
    }
    return r != pid ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int run_game(const std::vector<std::string> &args, const ChildOptions &opt, int timeout_ms)
{
    return wait_child(spawn_child(PELMORA_EXE, args, opt), timeout_ms);
}

bool wait_for_text(const std::string &path, const std::string &text, int timeout_ms)
{
    return poll_until(timeout_ms, [&] { return exists(path) && read_file(path).find(text) != std::string::npos; });
}

// No test may put a window or a message box in front of the person running them, nor
// play sounds at them: the dummy audio driver counts as no audio device.
static const int headless_tests = setenv("SDL_VIDEODRIVER", "dummy", 0) + setenv("SDL_AUDIODRIVER", "dummy", 0);
