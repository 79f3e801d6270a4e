// Test helpers: temporary folders, and the game run as a child process (headless, with
// its own door so tests never meet a running game or each other).
#pragma once
#include <string>
#include <vector>

// A fresh folder under /tmp, removed with everything in it at the end of the scope.
struct TempDir {
    std::string path;
    TempDir();
    ~TempDir();
    std::string file(const std::string &name) const { return path + "/" + name; }
};

std::string read_file(const std::string &path);
void write_file(const std::string &path, const std::string &text);

// A socket tag no other test uses; the game and tools take it from PELMORA_SOCKET_TAG.
std::string unique_socket_tag();

struct ChildOptions {
    std::string cwd;                  // the folder the child starts in
    std::vector<std::string> env;     // extra "NAME=value" entries
    std::string socket_tag;           // PELMORA_SOCKET_TAG; empty: a unique one
    bool headless = true;             // SDL_VIDEODRIVER=dummy
};

// Starts `exe` with `args`; stdout and stderr go to "stdout.txt" and "stderr.txt" in the
// child's folder. Returns the pid.
int spawn_child(const std::string &exe, const std::vector<std::string> &args, const ChildOptions &opt);

// Waits for the child; returns its exit code, 128 + signal when killed by one, or -1
// when it had not ended after `timeout_ms` (it is then killed).
int wait_child(int pid, int timeout_ms);

// Runs the game to its end: spawn_child + wait_child.
int run_game(const std::vector<std::string> &args, const ChildOptions &opt, int timeout_ms = 20000);

// Polls until `path` exists and contains `text` (or just exists for empty text).
bool wait_for_text(const std::string &path, const std::string &text, int timeout_ms);
