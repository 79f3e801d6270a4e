// Toolkit costs in a started game (kernel_init with the built data pack, a video driver
// that shows nothing): a mouse move routed through 200 windows, an idle frame with a
// room and four tool windows, and a tool window dragged across a 1920 x 1080 desktop,
// each beside a baseline measured in the same run.
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/events.h"
#include "kernel/kernel.h"
#include "platform/video.h"
#include "ui/skin.h"
#include "ui/window.h"

namespace {

const VideoDriver quiet_driver = {
    "Bench", nullptr, nullptr, [](int) { return 1; }, nullptr,
    [] {
        int32_t row = io_video_row_size(screen.width, 24);
        screen.buf = io_video_pixels() + (size_t)(screen.height - 1) * row;
        screen.pitch = -row;
    },
    [](const PaintList *) {}};

// A started game in a temporary folder, torn down at the end of the scope.
struct Game {
    std::string dir;
    bool up = false;
    Game(int32_t width, int32_t height)
    {
        char tmpl[] = "/tmp/pelmora-bench-XXXXXX";
        if (!mkdtemp(tmpl))
            return;
        dir = tmpl;
        if (chdir(dir.c_str()) != 0 || symlink(PELMORA_DATA_PCK, "data.pck") != 0)
            return;
        kernel_config = {};
        kernel_config.title = "Pelmora";
        kernel_config.input_mask = IO_MASK_DEFAULT;
        kernel_config.tick_ms = 33;
        io_video_set_driver(&quiet_driver);
        io_video_create(width, height, 24);
        kernel_init();
        kernel_enable_events(true);
        up = true;
        IoRect all = {0, 0, width, height};
        io_post_event(IO_PAINT, (intptr_t)&all, 0, 0);
        io_post_event(IO_FRAME, 0, 0, 0);
    }
    ~Game()
    {
        if (up) {
            kernel_enable_events(false);
            kernel_done();
            io_video_close();
        }
        if (chdir("/tmp") == 0 && !dir.empty())
            std::system(("rm -rf " + dir).c_str());
    }
};

int32_t draw_panel(int32_t window, IoEvent *event)
{
    if (event->code == IO_FRAME)
        skin_frame(0, 0, 18, (int32_t)event->a, (int32_t)event->b - 18);
    (void)window;
    return 0;
}

int32_t nothing(int32_t, IoEvent *)
{
    return 0;
}

// The room every benchmark works in: a full-screen window that takes nothing; -1 (with
// the run marked skipped) when the game could not start.
int32_t start_room(const Game &game, benchmark::State &state)
{
    if (!game.up) {
        state.SkipWithError("no game");
        return -1;
    }
    int32_t room = window_register(-1, TWS_FULLSCREEN, 0, 0, 0, 0, nothing, nullptr);
    window_focus(room);
    return room;
}

void move_mouse(int32_t x, int32_t y)
{
    PlatformInput in = {InputKind::MouseMove, 0, 0, 0, x, y, 0, {}};
    io_translate_input(&in);
}

}  // namespace

// Baseline for the drag: copying a whole 1920 x 1080 frame once.
static void BM_FrameMemcpy(benchmark::State &state)
{
    std::vector<uint8_t> a((size_t)1920 * 1080 * 3, 1), b(a.size());
    for (auto _ : state) {
        memcpy(b.data(), a.data(), a.size());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FrameMemcpy);

// Baseline for routing: one 32-byte event record copied, which every delivery makes.
static void BM_EventCopy(benchmark::State &state)
{
    IoEvent e = {IO_MOUSE_MOVE, 1, 2, 0}, out;
    for (auto _ : state) {
        benchmark::DoNotOptimize(out = e);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_EventCopy);

// One mouse move through 200 windows: a room with 199 children in a grid, none taking it.
static void BM_RouteMouseMove200(benchmark::State &state)
{
    Game game(1920, 1080);
    int32_t room = start_room(game, state);
    if (room < 0)
        return;
    for (int32_t i = window_count(); i < TW_MAX_WINDOWS; i++)
        window_register(room, TWS_CHILD, (i % 20) * 90, (i / 20) * 90, 80, 80, nothing, nullptr);
    int32_t x = 0;
    for (auto _ : state) {
        move_mouse(5 + (x++ & 1), 1000);  // below every child: each one is looked at
    }
}
BENCHMARK(BM_RouteMouseMove200);

// A frame with a room and four framed tool windows shown and nothing changed.
static void BM_IdleFrameRoomAndFourTools(benchmark::State &state)
{
    Game game(1920, 1080);
    int32_t room = start_room(game, state);
    if (room < 0)
        return;
    for (int32_t i = 0; i < 4; i++)
        window_register(room, TWS_CHILD | TWS_FRAME | TWS_RAISE | TWS_COLLAPSE | TWS_CLOSE, 100 + 320 * i, 200, 300,
                        200, draw_panel, nullptr);
    io_post_event(IO_FRAME, 0, 0, 0);  // the first frame draws them
    for (auto _ : state)
        io_post_event(IO_FRAME, 0, 0, 0);
}
BENCHMARK(BM_IdleFrameRoomAndFourTools);

// A 300 x 200 tool window carried across the desktop: one pointer step and one frame,
// which redraws the old and the new place over the room's background.
static void BM_DragToolWindowStep(benchmark::State &state)
{
    Game game(1920, 1080);
    int32_t room = start_room(game, state);
    if (room < 0)
        return;
    window_register(room, TWS_CHILD | TWS_FRAME | TWS_RAISE, 100, 300, 300, 200, draw_panel, nullptr);
    io_post_event(IO_FRAME, 0, 0, 0);
    move_mouse(150, 305);
    PlatformInput down = {InputKind::MouseDown, 0, 1, 0, 150, 305, 0, {}};
    io_translate_input(&down);
    int32_t x = 150, dir = 4;
    for (auto _ : state) {
        x += dir;
        if (x > 1500 || x < 150)
            dir = -dir;
        PlatformInput in = {InputKind::MouseMove, 0, 1, 0, x, 305, 0, {}};
        io_translate_input(&in);
        io_post_event(IO_FRAME, 0, 0, 0);
    }
    if (window_drag_mode() != 1)
        state.SkipWithError("the window was not being carried");
}
BENCHMARK(BM_DragToolWindowStep);
