// pelmora-logview: the viewer for the game's log mode 2. It listens where the game looks
// for it and prints every message it is sent; a clear message prints a separator.
// With --once it ends when the first game disconnects (tests use that).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "platform/localsock.h"
#include "platform/log.h"

static bool read_exact(int fd, void *buf, size_t len)
{
    char *p = (char *)buf;
    while (len) {
        ssize_t n = recv(fd, p, len, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        len -= (size_t)n;
    }
    return true;
}

// Prints one game's messages until it disconnects.
static void serve(int fd)
{
    std::vector<char> text;
    for (;;) {
        uint8_t head[5];
        if (!read_exact(fd, head, sizeof head))
            return;
        uint32_t len = head[1] | (uint32_t)head[2] << 8 | (uint32_t)head[3] << 16 | (uint32_t)head[4] << 24;
        if (len > 1u << 20)
            return;  // not a log message: hang up on it
        text.resize(len);
        if (len && !read_exact(fd, text.data(), len))
            return;
        if (head[0] == IO_VIEWER_CLEAR)
            printf("----------------------------------------\n");
        else if (head[0] == IO_VIEWER_TEXT)
            fwrite(text.data(), 1, len, stdout);
        fflush(stdout);
    }
}

int main(int argc, char **argv)
{
    bool once = argc > 1 && strcmp(argv[1], "--once") == 0;
    int fd = local_listen(IO_LOG_VIEWER_NAME);
    if (fd < 0) {
        fprintf(stderr, "pelmora-logview: another viewer is already running\n");
        return 1;
    }
    printf("pelmora-logview: waiting for the game (start it with -debug 2)\n");
    fflush(stdout);
    for (;;) {
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, -1) < 0 && errno != EINTR)
            break;
        int client = accept(fd, nullptr, nullptr);
        if (client < 0)
            continue;
        serve(client);
        close(client);
        if (once)
            break;
    }
    local_close(fd);
    return 0;
}
