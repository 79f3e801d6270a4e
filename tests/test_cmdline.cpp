// The command line: options count only when a blank follows them, values are the next
// word, integers take C notation, and odd values fall back to the defaults.
#include "kernel/kernel.h"
#include "platform/log.h"
#include "tests/support.h"

static KernelArgs parse(const char *line)
{
    KernelArgs a;
    kernel_parse_args(line, &a);
    return a;
}

TEST(CommandLine, OptionsSwitchTakesBooleanWords)
{
    for (const char *on : {"-options yes", "-options TRUE", "-options 1", "-options Hi", "-options\tyes"})
        EXPECT_TRUE(parse(on).options) << on;
    for (const char *off : {"-options", "-debug 1 -options", "-options   ", "-options no", "-options 0", "-options yess"})
        EXPECT_FALSE(parse(off).options) << off;
}

TEST(CommandLine, IntegersPathScreenJournalFilesAndJoinedArguments)
{
    KernelArgs a =
        parse("-videodriver 0x2 -debug 010 -path C:\\My\\Boxes -screen 800x600 -record /tmp/r.txt -playback p.txt");
    EXPECT_EQ(std::tuple(a.has_video_driver, a.video_driver, a.has_debug, a.debug), std::tuple(true, 2, true, 8))
        << "hex, and a leading 0 means octal";
    EXPECT_EQ(std::tuple(a.has_path, std::string(a.path), a.screen_width, a.screen_height, std::string(a.record),
                         std::string(a.playback)), std::tuple(true, "C:/My/Boxes", 800, 600, "/tmp/r.txt", "p.txt"));

    for (const char *bad : {"-debug1", "-debugx 1", "-videodriver", ""})
        EXPECT_FALSE(parse(bad).has_debug || parse(bad).has_video_driver || parse(bad).has_path) << bad;
    std::string longline = "-path " + std::string(400, 'x');
    EXPECT_EQ(strlen(parse(longline.c_str()).path), (size_t)KERNEL_PATH_MAX - 1) << "cut at 259 characters, never overrun";
    for (const char *bad : {"-screen 10x10", "-screen 800x600x", "-screen 800", "-screen 99999x600"})
        EXPECT_EQ(std::tuple(parse(bad).screen_width, parse(bad).screen_height), std::tuple(0, 0))
            << bad << " must leave the game full screen";

    // The arguments join into one line without overrun.
    char prog[] = "pelmora", a1[] = "-path", a2[] = "C:\\x", a3[] = "-debug", a4[] = "1";
    char *argv[] = {prog, a1, a2, a3, a4};
    char line[64], small[8];
    kernel_join_args(5, argv, line, sizeof line);
    EXPECT_STREQ(line, "-path C:\\x -debug 1");
    kernel_join_args(5, argv, small, sizeof small);
    EXPECT_STREQ(small, "-path C");

    // A gift is the last word ending in ".gift" that is no option's value, made absolute.
    char g0[] = "pelmora", g1[] = "-playback", g2[] = "j.gift", g3[] = "Anna.GIFT", g4[] = "-path", g5[] = "b.gift";
    char *gift_argv[] = {g0, g1, g2, g3, g4, g5};
    char gift[KERNEL_PATH_MAX];
    kernel_gift_arg(6, gift_argv, gift, sizeof gift);
    EXPECT_EQ(std::string(gift), std::filesystem::current_path().string() + "/Anna.GIFT");
    kernel_gift_arg(3, gift_argv, gift, sizeof gift);
    EXPECT_STREQ(gift, "");
}

TEST(CommandLine, DebugModesOutsideZeroToThreeAreRefused)
{
    // A refused mode leaves logging off.
    for (auto [mode, ok, now] : {std::tuple(7, 0, 0), {-1, 0, 0}, {3, 1, 3}, {0, 1, 0}})
        EXPECT_EQ((std::pair{io_debug_init(mode), io_debug_mode()}), std::pair(ok, now)) << mode;
}
