// The mail service through a fake xdg-email first on the PATH: the fake writes the
// arguments it got, one a line, and ends with the code in MAIL_TEST_EXIT ("kill": it
// dies of a signal).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "media/mail.h"
#include "tests/support.h"

namespace {

using Lines = std::vector<std::string>;

const char *fake_script =
    "#!/bin/sh\n"
    "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$MAIL_TEST_ARGS\"\n"
    "ls /proc/$$/fd > \"$MAIL_TEST_ARGS.fds\"\n"
    "cd /\n"
    "[ \"$MAIL_TEST_EXIT\" = kill ] && kill -9 $$\n"
    "exit \"${MAIL_TEST_EXIT:-0}\"\n";

Lines lines_of(const std::string &text)
{
    Lines out;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        out.push_back(text.substr(start, nl - start));
    return out;
}

// A folder holding the fake, put alone on the PATH for the test; the old PATH and the
// folder the test started in come back at the end.
struct FakeMail : ::testing::Test {
    TempDir dir;
    std::string old_path = getenv("PATH") ? getenv("PATH") : "";
    InDir in{dir.path};

    void SetUp() override
    {
        std::filesystem::create_directory(dir.file("bin"));
        write_file(dir.file("bin/xdg-email"), fake_script);
        chmod(dir.file("bin/xdg-email").c_str(), 0755);
        setenv("PATH", (dir.file("bin") + ":/usr/bin:/bin").c_str(), 1);
        setenv("MAIL_TEST_ARGS", dir.file("args.txt").c_str(), 1);
        unsetenv("MAIL_TEST_EXIT");
        mail_load();
    }
    void TearDown() override
    {
        mail_unload();
        setenv("PATH", old_path.c_str(), 1);
        unsetenv("MAIL_TEST_ARGS");
        unsetenv("MAIL_TEST_EXIT");
    }
    Lines args() const { return lines_of(read_file(dir.file("args.txt"))); }
};

TEST_F(FakeMail, TheSubjectAndAttachmentArriveAsWritten)
{
    ASSERT_TRUE(mail_available());
    const char *subject = "For \"Anna\" & 'Bo': $(touch pwned) `id` ;|*";
    write_file(dir.file("gift.exe"), "MZ");
    EXPECT_EQ(mail_send(subject, "", "gift.exe"), 1);
    EXPECT_EQ(args(), (Lines{"--subject", subject, "--attach", dir.file("gift.exe")}))
        << "no body when the text is empty; a relative attachment is named from the start-up folder";
    EXPECT_FALSE(exists(dir.file("pwned"))) << "the subject never reaches a shell";

    EXPECT_EQ(mail_send("Hi", "two words", nullptr), 1);
    EXPECT_EQ(args(), (Lines{"--subject", "Hi", "--body", "two words"}));
    EXPECT_EQ(mail_send("", "", ""), 1);
    EXPECT_EQ(args(), (Lines{"--subject", ""})) << "an empty attachment is none";
    EXPECT_EQ(mail_send("x", "", "/abs/path.exe"), 1);
    EXPECT_EQ(args().back(), "/abs/path.exe");
}

TEST_F(FakeMail, ExitCodesGiveTheResultTexts)
{
    const std::string sent = "The call succeeded and the message was sent.\nResult code:0";
    const std::string missing = "The specified attachment was not found. No message was sent.\nResult code:11";
    const std::string failed = "One or more unspecified errors occurred. No message was sent.\nResult code:2";
    const struct {
        const char *exit;
        int32_t returned;
        const std::string &result;
    } cases[] = {
        {"0", 1, sent}, {"2", 0, missing}, {"1", 0, failed}, {"3", 0, failed}, {"kill", 0, failed},
    };
    for (const auto &c : cases) {
        setenv("MAIL_TEST_EXIT", c.exit, 1);
        EXPECT_EQ(mail_send("s", "t", "a"), c.returned) << "exit " << c.exit;
        EXPECT_EQ(std::string(mail_result()), c.result) << "exit " << c.exit;
    }
    // The program found at start-up has gone: the start fails like any other error.
    std::filesystem::remove(dir.file("bin/xdg-email"));
    EXPECT_EQ(mail_send("s", "t", "a"), 0);
    EXPECT_EQ(std::string(mail_result()), failed);
}

TEST_F(FakeMail, TheStartUpFolderComesBackAndTheGamesFilesStayBehind)
{
    // A descriptor the game holds open without close-on-exec, as a library might.
    int fd = open("/dev/null", O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(dup2(fd, 200), 200);
    close(fd);
    TempDir elsewhere;
    ASSERT_EQ(chdir(elsewhere.path.c_str()), 0);
    EXPECT_EQ(mail_send("s", "", "gift.exe"), 1);
    EXPECT_EQ(std::filesystem::current_path().string(), dir.path);
    EXPECT_EQ(args().back(), dir.file("gift.exe"));
    Lines fds = lines_of(read_file(dir.file("args.txt.fds")));
    close(200);
    EXPECT_FALSE(fds.empty());
    EXPECT_EQ(std::count(fds.begin(), fds.end(), "200"), 0) << "the mail program got the game's descriptor";
}

TEST_F(FakeMail, WithoutTheProgramMailIsUnavailable)
{
    const struct {
        const char *path;  // null: no PATH at all
        const char *why;
    } cases[] = {
        {nullptr, "no PATH"},
        {"/nonexistent:/usr/bin/nothing", "not on the PATH"},
        {".", "only below the current folder"},
        {"bin", "a relative folder"},
        {"", "an empty PATH"},
    };
    for (const auto &c : cases) {
        if (c.path)
            setenv("PATH", c.path, 1);
        else
            unsetenv("PATH");
        std::filesystem::copy_file(dir.file("bin/xdg-email"), dir.file("xdg-email"),
                                   std::filesystem::copy_options::overwrite_existing);
        mail_load();
        EXPECT_FALSE(mail_available()) << c.why;
        EXPECT_EQ(mail_send("s", "t", "a"), 0) << c.why;
        EXPECT_EQ(std::string(mail_result()), "") << c.why;
        EXPECT_FALSE(exists(dir.file("args.txt"))) << c.why;
    }
    // Found but not executable.
    chmod(dir.file("bin/xdg-email").c_str(), 0644);
    setenv("PATH", dir.file("bin").c_str(), 1);
    mail_load();
    EXPECT_FALSE(mail_available());
}

TEST_F(FakeMail, UnavailableAfterASendTheResultIsEmpty)
{
    EXPECT_EQ(mail_send("s", "", ""), 1);
    EXPECT_NE(std::string(mail_result()), "");
    mail_unload();
    EXPECT_FALSE(mail_available());
    EXPECT_EQ(std::string(mail_result()), "");
    EXPECT_EQ(mail_send("s", "", ""), 0);
}

TEST(Mail, CodesOutsideTheTableAreUnknown)
{
    EXPECT_STREQ(mail_code_text(1), "The user canceled one of the dialog boxes. No message was sent.");
    EXPECT_STREQ(mail_code_text(25), "One or more recipients were invalid or did not resolve to any address.");
    for (int32_t code : {4, 6, 26, -1})
        EXPECT_STREQ(mail_code_text(code), "The unknown error code. No message was sent.") << code;
}

}  // namespace
