// Abstract-namespace Unix sockets: nothing is left on disk when the game dies, and the
// user id in the name keeps two players on one machine apart.
#include "platform/localsock.h"

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// PELMORA_SOCKET_TAG lets tests run games side by side without finding each other.
static socklen_t make_address(const char *base, sockaddr_un *addr)
{
    memset(addr, 0, sizeof *addr);
    addr->sun_family = AF_UNIX;
    const char *tag = getenv("PELMORA_SOCKET_TAG");
    int n = snprintf(addr->sun_path + 1, sizeof addr->sun_path - 1, "%s.%u%s%s", base,
                     (unsigned)getuid(), tag ? "." : "", tag ? tag : "");
    if (n < 0)
        n = 0;
    if (n > (int)sizeof addr->sun_path - 2)
        n = (int)sizeof addr->sun_path - 2;
    return (socklen_t)(offsetof(sockaddr_un, sun_path) + 1 + n);
}

int local_listen(const char *base)
{
    sockaddr_un addr;
    socklen_t len = make_address(base, &addr);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (bind(fd, (sockaddr *)&addr, len) != 0 || listen(fd, 8) != 0) {
        int err = errno;  // the caller tells a taken name from other failures
        close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

int local_connect(const char *base)
{
    sockaddr_un addr;
    socklen_t len = make_address(base, &addr);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (connect(fd, (sockaddr *)&addr, len) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int local_send_all(int fd, const void *data, int len)
{
    const char *p = (const char *)data;
    while (len > 0) {
        ssize_t n = send(fd, p, (size_t)len, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return 0;
        p += n;
        len -= (int)n;
    }
    return 1;
}

void local_close(int fd)
{
    if (fd >= 0)
        close(fd);
}
