// The force-feedback mouse through a fake library: what the game loads at start and
// unloads at exit, switching it on and off, the pop of a button under the mouse, and the
// bound of a slider's thumb.
#include <SDL2/SDL.h>
#include <cstdlib>

#include "media/feedback.h"
#include "tests/fake_feedback.h"
#include "tests/toolkit_env.h"
#include "ui/button.h"
#include "ui/trackbar.h"

namespace {

using Calls = std::vector<std::string>;

TEST(Feedback, SwitchingOnAndOffCallsTheLibraryOnceEach)
{
    FakeFeedback fake;
    ASSERT_TRUE(fb_present());
    EXPECT_FALSE(fb_active()) << "loaded, but off until switched on";
    fb_pop(3000);
    fb_enable(true);
    fb_enable(true);
    EXPECT_TRUE(fb_active());
    fb_pop(3000);
    fb_enable(false);
    fb_enable(false);
    fb_pop(5000);
    fb_applause();
    fb_enable(true);
    EXPECT_EQ(fake.calls(), (Calls{"fbmouse_init", "fbmouse_pop_start 3000", "fbmouse_done", "fbmouse_init"}))
        << "each switch calls the library once; effects only while on";
    fake.clear();
    fb_unload();
    EXPECT_EQ(fake.calls(), (Calls{"fbmouse_done"})) << "unloading while on switches it off first";
    EXPECT_FALSE(fb_active());
    fb_enable(true);
    fb_pop(3000);
    EXPECT_EQ(fake.count("fbmouse_init"), 0) << "nothing is called once it is unloaded";
}

TEST(Feedback, ALibraryThatSaysNoKeepsEveryEffectSilent)
{
    FakeFeedback fake;
    setenv("PELMORA_FAKE_FBMOUSE_INIT", "0", 1);
    fb_enable(true);
    unsetenv("PELMORA_FAKE_FBMOUSE_INIT");
    EXPECT_FALSE(fb_active());
    fb_pop(5000);
    fb_bound(1, 2, 3, 4);
    fb_bound_start();
    fb_bound_stop();
    fb_applause();
    EXPECT_EQ(fake.calls(), (Calls{"fbmouse_init"}));
}

TEST(Feedback, WithoutTheSecondLibraryNothingIsLoaded)
{
    FakeFeedback fake(false, false);
    EXPECT_FALSE(fb_present()) << "fbmouse without ifc21 is not enough";
    setenv("PELMORA_FBMOUSE_LIB", fake.dir.file("libnothing.so").c_str(), 1);
    EXPECT_FALSE(fb_load()) << "a library that is not there";
    fb_enable(true);
    EXPECT_FALSE(fb_active());
    EXPECT_EQ(fake.calls(), Calls{}) << "without ifc21 the library is never called";
}

// The whole game, run headless from a short journal, with the fake as its library.
std::string run_with(const FakeFeedback &, const char *config, int *code)
{
    TempDir dir;
    std::filesystem::create_directory(dir.file("sfiles"));
    if (config)
        write_file(dir.file("sfiles/config.ini"), config);
    write_file(dir.file("j.txt"), "100 mouse_move 10 10\n200 mouse_move 20 20\n");
    *code = run_game({"-debug", "1", "-screen", "200x100", "-playback", "j.txt"}, {.cwd = dir.path});
    return read_file(dir.file("application.log"));
}

TEST(Feedback, TheGameLoadsItAtStartSwitchesItByTheSettingAndUnloadsItAtExit)
{
    int code;
    {
        FakeFeedback fake(true, false);
        std::string log = run_with(fake, nullptr, &code);
        EXPECT_EQ(code, 0) << log;
        EXPECT_EQ(fake.calls(), (Calls{"fbmouse_init", "fbmouse_done"})) << "on by default, off at exit";
    }
    FakeFeedback fake(true, false);
    run_with(fake, "[MAIN]\nFeedBackSupport=0\n", &code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(fake.calls(), Calls{}) << "the player switched it off";
}

// A started game whose force-feedback library is the fake, loaded before start-up as
// the process start loads it.
class FeedbackInGame : public ToolkitTest {
protected:
    FakeFeedback fake;
    int32_t root = -1;
    void SetUp() override
    {
        ToolkitTest::SetUp();
        root = window_register(-1, TWS_FULLSCREEN, 0, 0, 0, 0, nullptr, nullptr);
        window_focus(root);
    }
};

TEST_F(FeedbackInGame, TheMouseEnteringAButtonPops)
{
    EXPECT_EQ(fake.calls(), (Calls{"fbmouse_init"})) << "start-up switched it on by the setting";
    int32_t ok = button_register(root, BS_PUSH | BS_TEXT | BS_NOTIFY, 100, 100, 120, 30, 0, "OK", 0, 0);
    fake.clear();
    move(50, 50);
    EXPECT_EQ(fake.calls(), Calls{}) << "not over the button";
    move(110, 110);
    move(150, 120);
    EXPECT_EQ(fake.calls(), (Calls{"fbmouse_pop_start 3000"})) << "once as the mouse enters";
    move(400, 300);
    tick();
    EXPECT_EQ(button_hover(ok), 0);
    move(120, 105);
    EXPECT_EQ(fake.count("fbmouse_pop_start"), 2) << "and again when it comes back";
    button_enable(ok, 0);
    move(400, 300);
    tick();
    move(120, 105);
    EXPECT_EQ(fake.count("fbmouse_pop_start"), 2) << "a disabled button does not pop";
}

TEST_F(FeedbackInGame, TakingASlidersThumbHoldsTheMouseToTheSlider)
{
    int32_t panel = window_register(root, TWS_CHILD, 80, 180, 400, 100, nullptr, nullptr);
    int32_t t = trackbar_create(panel, TBS_NOTIFY, 20, 20, 300, 0);
    trackbar_set_value(t, 5);
    const TWindow *w = window_get(t);
    const int32_t x = 100, y = 200;  // the trackbar on the screen
    fake.clear();
    press(x + 60, y + 16);
    release(x + 60, y + 16);
    EXPECT_EQ(trackbar_value(t), 4) << "a click on the track left of the thumb pages down";
    EXPECT_EQ(fake.calls(), Calls{}) << "without taking the thumb";

    press(x + trackbar_thumb(t), y + 16);
    // With no window and no display the screen is the game's frame.
    SDL_DisplayMode mode = {};
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0)
        mode = {0, 640, 480, 0, nullptr};
    std::string bound = "fbmouse_bound_set " + std::to_string(x) + " " + std::to_string(y) + " " +
                        std::to_string(x + w->width) + " " + std::to_string(y + w->height) + " " +
                        std::to_string(mode.w) + " " + std::to_string(mode.h);
    EXPECT_EQ(fake.calls(), (Calls{bound, "fbmouse_bound_start"})) << "the slider's rectangle on the screen";
    move(x + 250, y + 16, 1);
    EXPECT_EQ(fake.calls().size(), 2u) << "carrying the thumb calls nothing more";
    release(x + 250, y + 16);
    EXPECT_EQ(fake.calls(), (Calls{bound, "fbmouse_bound_start", "fbmouse_bound_stop"})) << "let go";
}

}  // namespace
