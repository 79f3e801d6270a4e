// Both video drivers put exactly the listed rectangles on the window, with the right
// colours, and present nothing for an empty list. SDL's dummy driver saves every
// window update as a BMP file, which is what these tests look at.
#include <SDL2/SDL.h>
#include <algorithm>

#include "kernel/events.h"
#include "kernel/kernel.h"
#include "kernel/platform.h"
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

class Drivers : public ::testing::TestWithParam<int> {};

TEST_P(Drivers, PresentCopiesListedRectanglesOnly)
{
    TempDir dir;
    InDir in(dir.path);
    setenv("SDL_VIDEO_DUMMY_SAVE_FRAMES", "1", 1);
    ASSERT_EQ(io_platform_init("test", 64, 48, true), 1) << io_platform_error();
    io_video_select_driver(GetParam());
    io_video_create(64, 48, 24);
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

    kernel_enable_events(false);
    io_video_close();
    io_platform_done();
    unsetenv("SDL_VIDEO_DUMMY_SAVE_FRAMES");
    EXPECT_EQ(after_empty, 0u) << "an empty paint list presents nothing";
    ASSERT_EQ(frames.size(), 1u) << "one present for the painted frame";
    EXPECT_EQ(pixel_of(frames[0], 3, 2), 0xFF0000u);
    EXPECT_EQ(pixel_of(frames[0], 60, 47), 0x0000FFu);
    EXPECT_EQ(pixel_of(frames[0], 4, 2), 0x000000u);
}

INSTANTIATE_TEST_SUITE_P(StreamingTextureAndWindowSurface, Drivers, ::testing::Values(1, 2));
