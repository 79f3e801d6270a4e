#include "tests/test_box_support.h"

#include <algorithm>
#include <csignal>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "image/jpeg.h"
#include "platform/files.h"
#include "puzzle/cut.h"

std::string test_jpeg(int32_t w, int32_t h, int seed)
{
    Picture *p = picture_create(w, h, IMG_BGR);
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++) {
            uint8_t *px = p->colour + y * p->colour_stride + x * 3;
            px[0] = (uint8_t)(x * 255 / (w > 1 ? w - 1 : 1));
            px[1] = (uint8_t)(y * 255 / (h > 1 ? h - 1 : 1));
            px[2] = (uint8_t)(seed * 37);
        }
    FILE *f = tmpfile();
    int bad = jpeg_write(f, p, 90);
    picture_free(p);
    std::string bytes;
    if (!bad) {
        long n = ftell(f);
        bytes.resize((size_t)n);
        rewind(f);
        if (fread(bytes.data(), 1, bytes.size(), f) != bytes.size())
            bytes.clear();
    }
    fclose(f);
    return bytes;
}

BoxInfo test_box_info(int32_t w, int32_t h, int32_t piece_size)
{
    BoxInfo info = {};
    info.piece_size = piece_size;
    info.jitter = 10;
    info.shape = 1;
    info.picture_width = w;
    info.picture_height = h;
    int32_t columns, rows, ox, oy;
    cut_grid_measure(&info, &columns, &rows, &ox, &oy);
    info.piece_count = columns * rows;
    return info;
}

std::string box_record(uint32_t tag, const std::string &data)
{
    return le32(tag) + le32((uint32_t)data.size()) + data;
}

std::string box_head(const ChunkId &id, uint32_t magic)
{
    std::string head = le32(magic);
    for (uint32_t word : id.word)
        head += le32(word);
    return head + le32(1);
}

std::string box_info_records(const BoxInfo &info)
{
    std::string out;
    for (const ChunkField &e : box_schema) {
        if (e.tag == 0)
            break;
        int32_t v;
        memcpy(&v, (const char *)&info + e.offset, 4);
        out += box_record(e.tag, le32((uint32_t)v));
    }
    return out;
}

std::string box_file(const ChunkId &id, const BoxInfo &info, const std::string &jpeg, const std::string &tail)
{
    return box_head(id) + box_info_records(info) + box_record(BOX_TAG_PICTURE, jpeg) + tail;
}

std::string saved_game(const ChunkId &id, int32_t progress)
{
    return box_head(id, CHUNK_QICK) + box_record(1, le32(99)) + box_record(2, std::string(64, '\0')) +
           box_record(3, le32((uint32_t)progress)) + box_record(4, le32(48));
}

void make_game_folders()
{
    for (const char *folder : {"sfiles", "sfiles/temp", "sfiles/qs", "puzzles"})
        make_dir(folder);
}

std::string folder_listing(const std::string &folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto &e : std::filesystem::directory_iterator(folder, ec))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string out;
    for (const std::string &n : names)
        out += (out.empty() ? "" : " ") + n;
    return out;
}

#if defined(__x86_64__)
// The calls after which a file can look different, and the opens and closes around them.
static bool changes_files(long call)
{
    switch (call) {
    case SYS_write: case SYS_pwrite64: case SYS_writev: case SYS_pwritev: case SYS_pwritev2:
    case SYS_rename: case SYS_renameat: case SYS_renameat2: case SYS_unlink: case SYS_unlinkat:
    case SYS_link: case SYS_linkat: case SYS_truncate: case SYS_ftruncate: case SYS_fsync:
    case SYS_fdatasync: case SYS_open: case SYS_openat: case SYS_creat: case SYS_close:
    case SYS_mkdir: case SYS_mkdirat: case SYS_rmdir: case SYS_symlink: case SYS_copy_file_range:
    case SYS_sendfile: case SYS_fallocate:
        return true;
    default:
        return false;
    }
}

int run_killed_at(int n, const std::function<void()> &work)
{
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0)
            _exit(99);
        raise(SIGSTOP);
        work();
        _exit(0);
    }
    int status;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFSTOPPED(status)) {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        return -1;
    }
    ptrace(PTRACE_SETOPTIONS, pid, nullptr, (void *)(long)(PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL));
    int seen = 0, signal_to_pass = 0;
    bool at_entry = true;
    for (;;) {
        if (ptrace(PTRACE_SYSCALL, pid, nullptr, (void *)(long)signal_to_pass) != 0)
            break;
        signal_to_pass = 0;
        if (waitpid(pid, &status, 0) != pid)
            break;
        if (WIFEXITED(status) || WIFSIGNALED(status))
            return seen;
        if (!WIFSTOPPED(status))
            continue;
        if (WSTOPSIG(status) != (SIGTRAP | 0x80)) {
            signal_to_pass = WSTOPSIG(status);
            continue;
        }
        if (at_entry) {
            user_regs_struct regs;
            if (ptrace(PTRACE_GETREGS, pid, nullptr, &regs) == 0 && changes_files((long)regs.orig_rax) &&
                ++seen == n) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                return seen;
            }
        }
        at_entry = !at_entry;
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}
#else
int run_killed_at(int, const std::function<void()> &)
{
    return -1;
}
#endif
