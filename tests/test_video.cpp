// Both video drivers put exactly the listed rectangles on the window, with the right
// colours, and present nothing for an empty list. SDL's dummy driver saves every
// window update as a BMP file, which is what these tests look at.
#include <SDL2/SDL.h>
#include <algorithm>

#include "platform/events.h"
#include "kernel/kernel.h"
#include "platform/platform.h"
#include "tests/support.h"

// The frames SDL saved in `dir`, oldest first (its numbers are zero-padded).
static std::vector<std::string> saved_frames(const std::string &dir)
{
    std::vector<std::string> names;
    for (const auto &e : std::filesystem::directory_iterator(dir))
        if (e.path().filename().string().rfind("SDL_window", 0) == 0)
            names.push_back(e.path().string());
    std::sort(names.begin(), names.end());
    return names;
}

static uint32_t pixel_of(const std::string &bmp, int x, int y)
{
    SDL_Surface *s = SDL_LoadBMP(bmp.c_str());
    SDL_Surface *rgb = s ? SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_XRGB8888, 0) : nullptr;
    uint32_t v = rgb ? ((uint32_t *)((uint8_t *)rgb->pixels + y * rgb->pitch))[x] & 0xFFFFFF : 0xFFFFFFFF;
    SDL_FreeSurface(rgb);
    SDL_FreeSurface(s);
    return v;
}

// Each driver on SDL's dummy display, in a fresh folder where SDL saves the frames.
class Drivers : public ::testing::TestWithParam<int> {
protected:
    TempDir dir;
    InDir in{dir.path};
    void SetUp() override
    {
        setenv("SDL_VIDEO_DUMMY_SAVE_FRAMES", "1", 1);
        ASSERT_EQ(io_platform_init("test", 64, 48, true), 1) << io_platform_error();
        io_video_select_driver(GetParam());
        io_video_create(64, 48, 24);
    }
    void TearDown() override
    {
        kernel_enable_events(false);
        io_video_close();
        io_platform_done();
        unsetenv("SDL_VIDEO_DUMMY_SAVE_FRAMES");
    }
};

TEST_P(Drivers, PresentCopiesListedRectanglesOnly)
{
    kernel_enable_events(true);

    io_post_event(IO_FRAME, 0, 0, 0);
    size_t after_empty = saved_frames(dir.path).size();
    io_video_begin_paint();
    // Draw through buf and pitch, as every drawing routine does: red at (3, 2), blue at
    // (60, 47), the last row.
    memcpy(screen.buf + 2 * screen.pitch + 3 * 3, "\0\0\xFF", 3);
    memcpy(screen.buf + 47 * screen.pitch + 60 * 3, "\xFF\0\0", 3);
    io_video_invalidate(0, 0, 64, 48);
    io_video_end_paint();
    std::vector<std::string> frames = saved_frames(dir.path);

    EXPECT_EQ(after_empty, 0u) << "an empty paint list presents nothing";
    ASSERT_EQ(frames.size(), 1u) << "one present for the painted frame";
    EXPECT_EQ(pixel_of(frames[0], 3, 2), 0xFF0000u);
    EXPECT_EQ(pixel_of(frames[0], 60, 47), 0x0000FFu);
    EXPECT_EQ(pixel_of(frames[0], 4, 2), 0x000000u);
}

// A window made another size (by the player or the window manager) is no display change:
// the frame is shown scaled to fit, between black bars, and the mouse is mapped back.
TEST_P(Drivers, AResizedWindowShowsTheFrameScaledAndMapsTheMouse)
{
    PlatformInput got;
    while (io_platform_poll(&got)) {
    }
    // 128 x 72 holds the frame 1.5 times: 96 x 72 from x = 16, bars left and right.
    SDL_SetWindowSize(io_platform_window(), 128, 72);
    std::vector<int> kinds;
    while (io_platform_poll(&got))
        kinds.push_back((int)got.kind);
    EXPECT_EQ(kinds, std::vector<int>{(int)InputKind::Expose}) << "shown again, not a display change";
    std::vector<std::tuple<int, int>> mapped;
    for (auto [x, y] : {std::pair(16, 0), std::pair(111, 71), std::pair(64, 36), std::pair(3, 36), std::pair(127, 0)}) {
        SDL_Event e = {};
        e.type = SDL_MOUSEMOTION;
        e.motion.x = x, e.motion.y = y;
        SDL_PushEvent(&e);
        // SDL ends a round of polling at its own marker, so an event may take a second poll.
        for (int tries = 0; tries < 3; tries++)
            if (io_platform_poll(&got)) {
                mapped.push_back({got.x, got.y});
                break;
            }
    }
    EXPECT_EQ(mapped, (std::vector<std::tuple<int, int>>{{0, 0}, {63, 47}, {32, 24}, {0, 24}, {63, 0}}))
        << "window positions in frame pixels; the bars belong to the nearest edge";

    kernel_enable_events(true);
    io_video_begin_paint();
    for (int y = 0; y < 48; y++)
        for (int x = 0; x < 64; x++)
            memcpy(screen.buf + y * screen.pitch + x * 3, x < 32 ? "\0\0\xFF" : "\xFF\0\0", 3);
    io_video_invalidate(0, 0, 64, 48);
    io_video_end_paint();
    std::vector<std::string> frames = saved_frames(dir.path);
    ASSERT_FALSE(frames.empty());
    const std::string &last = frames.back();
    EXPECT_EQ(std::tuple(pixel_of(last, 8, 36), pixel_of(last, 20, 36), pixel_of(last, 60, 10), pixel_of(last, 68, 60),
                         pixel_of(last, 107, 36), pixel_of(last, 120, 36)),
              std::tuple(0x000000u, 0xFF0000u, 0xFF0000u, 0x0000FFu, 0x0000FFu, 0x000000u))
        << "bar, red left half, blue right half, bar";
}

INSTANTIATE_TEST_SUITE_P(StreamingTextureAndWindowSurface, Drivers, ::testing::Values(1, 2));
