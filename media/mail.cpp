// The mail service over xdg-email. The program is started with fork/exec and an argument
// vector, never through a shell: the subject is the player's own text, and quotes or a
// "$(...)" in it must reach the mail program as written.
#include "media/mail.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/log.h"

constexpr const char *MAIL_PROGRAM = "xdg-email";
// xdg-email's exit codes: 0 done, 2 a file it was given does not exist.
constexpr int MAIL_EXIT_SENT = 0, MAIL_EXIT_FILE_MISSING = 2;
// The result codes the game reports, those of the Simple MAPI mail service.
constexpr int32_t MAIL_SUCCESS = 0, MAIL_FAILURE = 2, MAIL_ATTACHMENT_NOT_FOUND = 11;
constexpr int MAIL_EXEC_FAILED = 127;  // the child's exit code when the program would not start

static struct {
    bool available;
    char program[PATH_MAX];    // the full path of xdg-email found by mail_load
    char start_dir[PATH_MAX];  // every file name of the game is relative to it
    char result[512];          // "%s\nResult code:%i" of the latest send
} mail;

// The texts of the result codes, by code.
struct MailCodeText {
    int32_t code;
    const char *text;
};
static constexpr MailCodeText mail_texts[] = {
    {0, "The call succeeded and the message was sent."},
    {1, "The user canceled one of the dialog boxes. No message was sent."},
    {2, "One or more unspecified errors occurred. No message was sent."},
    {3, "There was no default logon, and the user failed to log on successfully when the logon dialog box was "
        "displayed. No message was sent."},
    {5, "There was insufficient memory to proceed. No message was sent."},
    {9, "There were too many file attachments. No message was sent."},
    {10, "There were too many recipients. No message was sent."},
    {11, "The specified attachment was not found. No message was sent."},
    {12, "The specified attachment could not be opened. No message was sent."},
    {14, "A recipient did not appear in the address list. No message was sent."},
    {15, "The type of a recipient was not MAPI_TO, MAPI_CC, or MAPI_BCC. No message was sent."},
    {18, "The text in the message was too large. No message was sent."},
    {21, "A recipient matched more than one of the recipient descriptor structures and MAPI_DIALOG was not set. No "
         "message was sent."},
    {25, "One or more recipients were invalid or did not resolve to any address."},
};

const char *mail_code_text(int32_t code)
{
    for (const MailCodeText &t : mail_texts)
        if (t.code == code)
            return t.text;
    return "The unknown error code. No message was sent.";
}

// Whether `path` is a regular file we may execute.
static bool mail_executable(const char *path)
{
    struct stat st;
    return stat(path, &st) == 0 && S_ISREG(st.st_mode) && access(path, X_OK) == 0;
}

void mail_load(void)
{
    mail_unload();
    if (!getcwd(mail.start_dir, sizeof mail.start_dir))
        mail.start_dir[0] = 0;
    const char *path = getenv("PATH");
    if (!path)
        return;
    // Relative and empty entries name folders below the current one, which is the game
    // folder holding files other people sent; a program is never taken from there.
    for (const char *p = path; *p;) {
        const char *end = strchr(p, ':');
        size_t len = end ? (size_t)(end - p) : strlen(p);
        if (len > 0 && p[0] == '/') {
            int n = snprintf(mail.program, sizeof mail.program, "%.*s/%s", (int)len, p, MAIL_PROGRAM);
            if (n > 0 && (size_t)n < sizeof mail.program && mail_executable(mail.program)) {
                mail.available = true;
                io_log("mail: %s\n", mail.program);
                return;
            }
        }
        p += len;
        if (*p == ':')
            p++;
    }
    mail.program[0] = 0;
}

void mail_unload(void)
{
    mail.available = false;
    mail.program[0] = 0;
    mail.result[0] = 0;
}

bool mail_available(void)
{
    return mail.available;
}

const char *mail_result(void)
{
    return mail.result;
}

// Starts the program with argv and waits for it; its exit code, or -1 when it could
// not be started or ended by a signal.
static int mail_run(char *const argv[])
{
    pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        // Only calls safe after fork from here on; the game's own files and sockets
        // (the second-copy door, the log) are not the mail program's to hold open.
        if (close_range(3, ~0U, 0) != 0)
            for (int fd = 3; fd < 4096; fd++)
                close(fd);
        execv(argv[0], argv);
        _exit(MAIL_EXEC_FAILED);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int32_t mail_send(const char *subject, const char *text, const char *attachment)
{
    mail.result[0] = 0;
    if (!mail.available)
        return 0;
    // The mail program may already be running in a folder of its own, so a relative
    // attachment would name another file there.
    std::string attach;
    if (attachment && *attachment) {
        if (attachment[0] != '/' && mail.start_dir[0])
            attach = std::string(mail.start_dir) + "/";
        attach += attachment;
    }
    const char *argv[8];
    int n = 0;
    argv[n++] = mail.program;
    argv[n++] = "--subject";
    argv[n++] = subject ? subject : "";
    if (text && *text) {
        argv[n++] = "--body";
        argv[n++] = text;
    }
    if (!attach.empty()) {
        argv[n++] = "--attach";
        argv[n++] = attach.c_str();
    }
    argv[n] = nullptr;
    int exit_code = mail_run((char *const *)argv);
    // The mail program's dialogs may have moved us; every file name of the game is
    // relative to the start-up folder.
    if (mail.start_dir[0] && chdir(mail.start_dir) != 0)
        io_log("mail_send: cannot return to %s\n", mail.start_dir);
    int32_t code = exit_code == MAIL_EXIT_SENT           ? MAIL_SUCCESS
                   : exit_code == MAIL_EXIT_FILE_MISSING ? MAIL_ATTACHMENT_NOT_FOUND
                                                         : MAIL_FAILURE;
    io_log("mail_send: xdg-email ended with %i\n", exit_code);
    snprintf(mail.result, sizeof mail.result, "%s\nResult code:%i", mail_code_text(code), code);
    return code == MAIL_SUCCESS ? 1 : 0;
}
