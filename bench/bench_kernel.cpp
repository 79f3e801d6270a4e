// Kernel costs: an empty frame (the idle loop's constant overhead), and the CPU an idle
// game uses. Each figure comes with a baseline measured in the same run.
#include <benchmark/benchmark.h>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/events.h"
#include "kernel/kernel.h"
#include "platform/platform.h"
#include "platform/video.h"

// Baseline: one read of the monotonic clock, which every idle turn makes anyway.
static void BM_ClockRead(benchmark::State &state)
{
    for (auto _ : state) {
        timespec ts;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        benchmark::DoNotOptimize(ts);
    }
}
BENCHMARK(BM_ClockRead);

// A frame in which nothing changed: open, deliver, close, present an empty list. Runs
// with the real window-surface driver on SDL's dummy display.
static void BM_EmptyFrame(benchmark::State &state)
{
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (!io_platform_init("bench", 640, 480, true)) {
        state.SkipWithError(io_platform_error());
        return;
    }
    io_video_select_driver((int32_t)state.range(0));
    io_video_create(640, 480, 24);
    kernel_enable_events(true);
    for (auto _ : state)
        io_post_event(IO_FRAME, 0, 0, 0);
    kernel_enable_events(false);
    io_video_close();
    io_platform_done();
}
BENCHMARK(BM_EmptyFrame)->Arg(1)->Arg(2);

// User and system CPU seconds of a running process, -1 when it cannot be read.
static double process_cpu_seconds(pid_t pid)
{
    std::string path = "/proc/" + std::to_string(pid) + "/stat";
    FILE *f = fopen(path.c_str(), "r");
    if (!f)
        return -1;
    char line[1024];
    size_t n = fread(line, 1, sizeof line - 1, f);
    fclose(f);
    line[n] = 0;
    // The fields after the command name's closing bracket: utime and stime are 14 and 15.
    const char *p = strrchr(line, ')');
    unsigned long utime = 0, stime = 0;
    if (!p || sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) != 2)
        return -1;
    return (double)(utime + stime) / (double)sysconf(_SC_CLK_TCK);
}

static bool log_says(const std::string &path, const char *text)
{
    FILE *f = fopen(path.c_str(), "r");
    if (!f)
        return false;
    std::string all;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        all.append(buf, n);
    fclose(f);
    return all.find(text) != std::string::npos;
}

// The game left alone for ten seconds after start-up, headless: its CPU time over wall time.
static void BM_IdleGameCpu(benchmark::State &state)
{
    double percent = 0;
    for (auto _ : state) {
        char dir[] = "/tmp/pelmora-bench-XXXXXX";
        if (!mkdtemp(dir)) {
            state.SkipWithError("no temporary folder");
            return;
        }
        pid_t pid = fork();
        if (pid == 0) {
            // The game needs its installation data to start at all.
            if (chdir(dir) != 0 || symlink(PELMORA_DATA_PCK, "data.pck") != 0)
                _exit(126);
            setenv("SDL_VIDEODRIVER", "dummy", 1);
            setenv("PELMORA_SOCKET_TAG", "bench", 1);
            execl(PELMORA_EXE, PELMORA_EXE, "-screen", "1024x768", "-debug", "1", (char *)nullptr);
            _exit(127);
        }
        // Start-up is not idling: the clock starts once the game says it is up.
        std::string log = std::string(dir) + "/application.log";
        for (int waited = 0; waited < 200 && !log_says(log, "kernel: start-up took"); waited++)
            usleep(50000);
        timespec t0, t1;
        double cpu0 = process_cpu_seconds(pid);
        clock_gettime(CLOCK_MONOTONIC, &t0);
        sleep(10);
        double cpu = process_cpu_seconds(pid) - cpu0;
        clock_gettime(CLOCK_MONOTONIC, &t1);
        int status;
        if (cpu0 < 0 || waitpid(pid, &status, WNOHANG) != 0) {
            state.SkipWithError("the game did not stay up");
            return;
        }
        kill(pid, SIGTERM);
        waitpid(pid, &status, 0);
        double wall = (double)(t1.tv_sec - t0.tv_sec) + (t1.tv_nsec - t0.tv_nsec) / 1e9;
        percent = 100.0 * cpu / wall;
        std::string rm = std::string("rm -rf ") + dir;
        if (system(rm.c_str()) != 0)
            state.SkipWithError("could not clean up");
    }
    state.counters["cpu_percent_of_one_core"] = percent;
}
BENCHMARK(BM_IdleGameCpu)->Iterations(1)->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
