// Kernel costs: an empty frame (the idle loop's constant overhead), and the CPU an idle
// game uses. Each figure comes with a baseline measured in the same run.
#include <benchmark/benchmark.h>
#include <csignal>
#include <ctime>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "kernel/events.h"
#include "kernel/kernel.h"
#include "kernel/platform.h"
#include "kernel/video.h"

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

// The game left alone for ten seconds, headless: its own CPU time over wall time.
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
            if (chdir(dir) != 0)
                _exit(126);
            setenv("SDL_VIDEODRIVER", "dummy", 1);
            setenv("PELMORA_SOCKET_TAG", "bench", 1);
            execl(PELMORA_EXE, PELMORA_EXE, "-screen", "1024x768", (char *)nullptr);
            _exit(127);
        }
        timespec t0, t1;
        clock_gettime(CLOCK_MONOTONIC, &t0);
        sleep(10);
        kill(pid, SIGTERM);
        int status;
        rusage ru;
        wait4(pid, &status, 0, &ru);
        clock_gettime(CLOCK_MONOTONIC, &t1);
        double cpu = (double)ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + (double)ru.ru_stime.tv_sec +
                     ru.ru_stime.tv_usec / 1e6;
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
