// The command line: options count only when a blank follows them, values are the next
// word, integers take C notation, and odd values fall back to the defaults.
#include <gtest/gtest.h>
#include <string>

#include "kernel/kernel.h"
#include "kernel/log.h"

static KernelArgs parse(const char *line)
{
    KernelArgs a;
    kernel_parse_args(line, &a);
    return a;
}

TEST(CommandLine, OptionsSwitchTakesBooleanWords)
{
    EXPECT_FALSE(parse("-options").options) << "last on the line without a value";
    EXPECT_FALSE(parse("-debug 1 -options").options);
    EXPECT_FALSE(parse("-options   ").options) << "only blanks after it";
    for (const char *on : {"-options yes", "-options TRUE", "-options 1", "-options Hi", "-options\tyes"})
        EXPECT_TRUE(parse(on).options) << on;
    for (const char *off : {"-options no", "-options lo", "-options 0", "-options maybe", "-options yess"})
        EXPECT_FALSE(parse(off).options) << off;
}

TEST(CommandLine, IntegersInDecimalHexAndOctal)
{
    KernelArgs a = parse("-videodriver 0x2 -debug 010");
    EXPECT_TRUE(a.has_video_driver);
    EXPECT_EQ(a.video_driver, 2);
    EXPECT_TRUE(a.has_debug);
    EXPECT_EQ(a.debug, 8) << "a leading 0 means octal";
    EXPECT_EQ(parse("-debug 7").debug, 7) << "parsed as given; io_debug_init refuses it";
    EXPECT_FALSE(parse("-debug1").has_debug) << "no blank after the option";
    EXPECT_FALSE(parse("-debugx 1").has_debug);
    EXPECT_FALSE(parse("-videodriver").has_video_driver);
}

TEST(CommandLine, PathTurnsBackslashesAndIsBounded)
{
    KernelArgs a = parse("-path C:\\My\\Boxes -debug 1");
    EXPECT_TRUE(a.has_path);
    EXPECT_STREQ(a.path, "C:/My/Boxes");
    EXPECT_EQ(a.debug, 1);

    std::string longline = "-path " + std::string(400, 'x');
    a = parse(longline.c_str());
    EXPECT_EQ(strlen(a.path), (size_t)KERNEL_PATH_MAX - 1) << "cut at 259 characters, never overrun";
    EXPECT_FALSE(parse("").has_path);
}

TEST(CommandLine, ScreenSizeAndJournalFiles)
{
    KernelArgs a = parse("-screen 800x600 -record /tmp/r.txt -playback p.txt");
    EXPECT_EQ(a.screen_width, 800);
    EXPECT_EQ(a.screen_height, 600);
    EXPECT_STREQ(a.record, "/tmp/r.txt");
    EXPECT_STREQ(a.playback, "p.txt");
    for (const char *bad : {"-screen 10x10", "-screen 800x600x", "-screen 800", "-screen 99999x600"}) {
        a = parse(bad);
        EXPECT_EQ(a.screen_width, 0) << bad << " must leave the game full screen";
        EXPECT_EQ(a.screen_height, 0) << bad;
    }
}

TEST(CommandLine, ArgumentsJoinIntoOneLineWithoutOverrun)
{
    char prog[] = "pelmora", a1[] = "-path", a2[] = "C:\\x", a3[] = "-debug", a4[] = "1";
    char *argv[] = {prog, a1, a2, a3, a4};
    char line[64];
    kernel_join_args(5, argv, line, sizeof line);
    EXPECT_STREQ(line, "-path C:\\x -debug 1");
    char small[8];
    kernel_join_args(5, argv, small, sizeof small);
    EXPECT_STREQ(small, "-path C");
}

TEST(CommandLine, DebugModesOutsideZeroToThreeAreRefused)
{
    EXPECT_EQ(io_debug_init(7), 0);
    EXPECT_EQ(io_debug_mode(), 0) << "logging stays off";
    EXPECT_EQ(io_debug_init(-1), 0);
    EXPECT_EQ(io_debug_init(3), 1);
    EXPECT_EQ(io_debug_mode(), 3);
    EXPECT_EQ(io_debug_init(0), 1);
}
