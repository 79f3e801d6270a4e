#include "tests/support.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
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
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

void write_file(const std::string &path, const std::string &text)
{
    std::ofstream f(path, std::ios::binary);
    f << text;
}

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
    int out = open("stdout.txt", O_WRONLY | O_CREAT | O_APPEND, 0644);
    int err = open("stderr.txt", O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (out >= 0)
        dup2(out, 1);
    if (err >= 0)
        dup2(err, 2);
    setenv("PELMORA_SOCKET_TAG", tag.c_str(), 1);
    if (opt.headless)
        setenv("SDL_VIDEODRIVER", "dummy", 1);
    for (const std::string &e : opt.env)
        putenv(strdup(e.c_str()));
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(exe.c_str()));
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    execv(exe.c_str(), argv.data());
    _exit(127);
}

int wait_child(int pid, int timeout_ms)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        int status;
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            if (WIFEXITED(status))
                return WEXITSTATUS(status);
            return 128 + WTERMSIG(status);
        }
        if (r < 0)
            return -1;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

int run_game(const std::vector<std::string> &args, const ChildOptions &opt, int timeout_ms)
{
    return wait_child(spawn_child(PELMORA_EXE, args, opt), timeout_ms);
}

bool wait_for_text(const std::string &path, const std::string &text, int timeout_ms)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        if (access(path.c_str(), F_OK) == 0 && (text.empty() || read_file(path).find(text) != std::string::npos))
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// No test may put a window or a message box in front of the person running them.
static const int headless_tests = setenv("SDL_VIDEODRIVER", "dummy", 0);
