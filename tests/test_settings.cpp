// The game's own settings: last screen size, window placements, force feedback, and the
// desktop background built from them.
#include <sys/stat.h>

#include "image/cache.h"
#include "image/clip.h"
#include "image/jpeg.h"
#include "platform/events.h"
#include "res/datapack.h"
#include "res/ini.h"
#include "res/settings.h"
#include "ui/desktop.h"
#include "ui/skin.h"
#include "tests/support.h"

namespace {

class Settings : public ::testing::Test {
protected:
    TempDir dir;
    InDir in{dir.path};
    Screen saved = screen;
    void SetUp() override
    {
        mkdir("sfiles", 0755);
        screen.width = 1024;
        screen.height = 768;
    }
    void TearDown() override
    {
        ini_flush(nullptr);
        screen = saved;
    }
    static void config(const std::string &text) { write_file(SETTINGS_CONFIG, text); }
};

TEST_F(Settings, OldScreenSizeBelowTheMinimumIsTheCurrentScreen)
{
    struct { const char *text; int32_t w, h; } cases[] = {
        {"", 1024, 768},
        {"[MAIN]\nOldScreenSize=320 200\n", 1024, 768},
        {"[MAIN]\nOldScreenSize=800 200\n", 800, 768},
        {"[MAIN]\nOldScreenSize=1600 1200\n", 1600, 1200},
        {"[MAIN]\nOldScreenSize=1600\n", 1024, 768},
    };
    for (const auto &c : cases) {
        config(c.text);
        settings_read_old_screen();
        int32_t w, h;
        settings_old_screen(&w, &h);
        EXPECT_EQ(std::tuple(w, h), std::tuple(c.w, c.h)) << c.text;
    }
    settings_write_old_screen();
    EXPECT_EQ(read_file(SETTINGS_CONFIG), "[MAIN]\nOldScreenSize=1024 768\n");
}

TEST_F(Settings, PlacementsKeepTheirRelativePlaceOnAnotherScreen)
{
    config("[MAIN]\nOldScreenSize=800 600\n");
    settings_read_old_screen();
    WindowPlacement saved_p = {400, -300, 200, 100, 1, 0};
    settings_save_placement("ROOM", "Win", &saved_p);
    EXPECT_NE(read_file(SETTINGS_CONFIG).find("Win=400 -300 200 100 1 0\n"), std::string::npos);

    // Only the parts asked for: the position scaled and truncated toward zero, or the rest.
    auto load = [](const char *key, int32_t parts) {
        WindowPlacement p = {1, 2, 3, 4, 5, 6};
        int ok = settings_load_placement("room", key, parts, &p);
        return std::tuple(ok, p.x, p.y, p.width, p.height, p.shown, p.collapsed);
    };
    EXPECT_EQ(load("win", SETTINGS_POSITION), std::tuple(1, 512, -384, 3, 4, 5, 6));
    EXPECT_EQ(load("win", SETTINGS_SIZE | SETTINGS_SHOWN | SETTINGS_COLLAPSED), std::tuple(1, 1, 2, 200, 100, 1, 0));

    config("[MAIN]\nOldScreenSize=800 600\n[ROOM]\nfive=1 2 3 4 5\nseven=1 2 3 4 5 6 7\nlong=1 2 3 4 5 " +
           std::string(130, '0') + "6\n");
    for (const char *key : {"five", "seven", "long", "missing"})
        EXPECT_EQ(load(key, 15), std::tuple(0, 1, 2, 3, 4, 5, 6)) << key << ": refused, nothing changes";
}

TEST_F(Settings, OnlyTheTextZeroSwitchesForceFeedbackOff)
{
    EXPECT_TRUE(settings_feedback_on()) << "no file";
    for (const char *value : {"off", "no", "1", "00", "", "0"}) {
        config(std::string("[MAIN]\nFeedBackSupport=") + value + "\n");
        EXPECT_EQ(settings_feedback_on(), strcmp(value, "0") != 0) << value;
    }
}

// A 200 x 120 frame over a loose data folder with a flat grey texture 16 x 7.
class Background : public ::testing::Test {
protected:
    TempDir dir;
    InDir in{dir.path};
    void SetUp() override
    {
        img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
        io_video_set_driver(&test_video_driver);
        io_video_create(200, 120, 24);
        clip_init();
        for (const char *d : {"sfiles", "art", "art/img"})
            mkdir(d, 0755);
        Picture *grey = picture_create(16, 7, IMG_BGR);
        memset(grey->colour, 128, (size_t)grey->colour_stride * 7);
        FILE *f = fopen("art/img/background.jpg", "wb");
        ASSERT_EQ(jpeg_write(f, grey, 100), 0);
        fclose(f);
        picture_free(grey);
        const uint32_t logo[10] = {IMG_MAGIC, 1, 1, IMG_8BIT, 36, 1, 0, 0, 0, 0};
        write_file("art/img/lttl_pzzl.img", std::string((const char *)logo, 37));
        dp_open("art@");
    }
    void TearDown() override
    {
        background_done();
        ini_flush(nullptr);
        cache_done();
        dp_close();
        clip_done();
        io_video_close();
    }
    static const uint8_t *pixel(int32_t x, int32_t y)
    {
        const Img *c = background_column();
        return (const uint8_t *)c + c->colour_offset + y * c->colour_stride + x * 3;
    }
};

TEST_F(Background, ColumnIsTiledRecolouredAndShadedPerRow)
{
    write_file(SETTINGS_SKIN, "[BACKGROUND]\nColor=0 0 0\nGradientTop=1.0\nGradientBottom=2.0\n");
    background_init();
    const Img *c = background_column();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(std::tuple(c->width, c->height), std::tuple(16, 120)) << "texture wide, screen tall";
    EXPECT_EQ(pixel(15, 0)[1], 128) << "the top row keeps the texture";
    EXPECT_NEAR(pixel(0, 119)[1], 64, 2) << "exponent close to 2 on the last row";
    EXPECT_TRUE(pixel(0, 60)[1] > pixel(0, 119)[1] && pixel(0, 60)[1] < 128) << "and between in the middle";

    // The player's colour wins over the skin's: hue, saturation, lightness.
    write_file(SETTINGS_CONFIG, "[MAIN]\nBackGround=120 100 0\n");
    write_file(SETTINGS_SKIN, "[BACKGROUND]\nColor=0 0 0\n");
    background_init();
    const uint8_t *p = pixel(3, 119);
    EXPECT_EQ(std::tuple(p[0] < 5, p[1], p[2] < 5), std::tuple(true, 255, true)) << "pure green, unshaded";

    write_file(SETTINGS_CONFIG, "[MAIN]\nBackGround=120 100\n");
    write_file(SETTINGS_SKIN, "[BACKGROUND]\nColor=transparent\n");
    EXPECT_EXIT(background_init(), ::testing::ExitedWithCode(1), "\\[BACKGROUND\\]color not found in INI file");
}

TEST_F(Background, LogoLightsUnderTheMouseAndAsksForARedraw)
{
    write_file(SETTINGS_SKIN, "[BACKGROUND]\nColor=10 20 0\n");
    background_init();
    int32_t w, h;
    skin_icon_size(47, &w, &h);
    struct { int32_t x, y; bool lit; } moves[] = {
        {200 - w, 0, true}, {199, h - 1, true}, {199, h, false}, {199 - w, 0, false}, {199, 0, true}, {200, 0, false},
    };
    bool was = false;
    for (const auto &m : moves) {
        clip_set_all(0);
        io_mouse_x = m.x;
        io_mouse_y = m.y;
        IoEvent move = {IO_MOUSE_MOVE, m.x, m.y, 0};
        EXPECT_EQ(background_event(&move), m.lit != was) << m.x << "," << m.y;
        EXPECT_EQ(background_logo_lit(), m.lit) << m.x << "," << m.y;
        EXPECT_EQ(clip_is_dirty(200 - w, 0, w, h), m.lit != was) << "the hot area is redrawn on a change";
        was = m.lit;
    }
    io_mouse_x = 199;
    IoEvent right = {IO_MOUSE_DOWN, 199, 0, 2}, left = {IO_MOUSE_DOWN, 199, 0, 1};
    EXPECT_TRUE(background_event(&right)) << "lit again";
    EXPECT_FALSE(background_event(&right)) << "only the left button minimises";
    EXPECT_TRUE(background_event(&left));
    io_mouse_x = io_mouse_y = 0;
}

}  // namespace
