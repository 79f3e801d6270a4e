// Toolkit costs in a started game (kernel_init with the built data pack, a video driver
// that shows nothing): a mouse move routed through 200 windows, an idle frame with a
// room and four tool windows, and a tool window dragged across a 1920 x 1080 desktop,
// each beside a baseline measured in the same run.
#include <benchmark/benchmark.h>
#include <cstring>
#include <vector>

#include "bench/bench_game.h"
#include "platform/events.h"
#include "ui/skin.h"
#include "ui/window.h"

namespace {

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
    press_mouse(150, 305);
    int32_t x = 150, dir = 4;
    for (auto _ : state) {
        x += dir;
        if (x > 1500 || x < 150)
            dir = -dir;
        move_mouse(x, 305, 1);
        io_post_event(IO_FRAME, 0, 0, 0);
    }
    if (window_drag_mode() != 1)
        state.SkipWithError("the window was not being carried");
}
BENCHMARK(BM_DragToolWindowStep);
