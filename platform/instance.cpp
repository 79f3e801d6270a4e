// The door is a local socket; each visitor writes one line and hangs up:
//   "FORWARD\n"          come to the front
//   "TEXT <a> <name>\n"  a box name for the box store
#include "platform/instance.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/localsock.h"

constexpr int DOOR_VISITORS = 4;
constexpr int DOOR_LINE_MAX = 512;

struct Visitor {
    int fd;  // -1 when the slot is free
    int len;
    unsigned long arrival;  // accept order, so the oldest can be found
    char line[DOOR_LINE_MAX];
};

static struct {
    int fd = -1;
    char error[160] = {};  // why the door could not be opened
    unsigned long arrivals = 0;
    Visitor visitors[DOOR_VISITORS] = {{-1, 0, 0, {}}, {-1, 0, 0, {}}, {-1, 0, 0, {}}, {-1, 0, 0, {}}};
} door;

static int knock(const char *class_name, const char *line)
{
    int fd = local_connect(class_name);
    if (fd < 0)
        return 0;
    int ok = local_send_all(fd, line, (int)strlen(line));
    local_close(fd);
    return ok;
}

int io_instance_forward(const char *class_name)
{
    return knock(class_name, "FORWARD\n");
}

int io_instance_answers(const char *class_name)
{
    // A copy that listens takes the connection into its backlog even before it looks
    // at its door; the visitor that says nothing is simply let go.
    int fd = local_connect(class_name);
    if (fd < 0)
        return 0;
    local_close(fd);
    return 1;
}

int io_instance_send_text(const char *class_name, int a, const char *text)
{
    char line[DOOR_LINE_MAX];
    int n = snprintf(line, sizeof line, "TEXT %d %s\n", a, text);
    if (n < 0 || n >= (int)sizeof line || strchr(text, '\n'))
        return 0;
    return knock(class_name, line);
}

int io_instance_listen(const char *class_name)
{
    io_instance_close();
    door.error[0] = 0;
    door.fd = local_listen(class_name);
    if (door.fd >= 0)
        return IO_DOOR_OPEN;
    int err = errno;
    snprintf(door.error, sizeof door.error, "%s", strerror(err));
    return err == EADDRINUSE ? IO_DOOR_TAKEN : IO_DOOR_FAILED;
}

const char *io_instance_error(void)
{
    return door.error;
}

int io_instance_fd(void)
{
    return door.fd;
}

static void drop(Visitor &v)
{
    local_close(v.fd);
    v.fd = -1;
    v.len = 0;
}

// Parses one complete line; false for anything that is not a request.
static bool parse_line(const char *line, PlatformInput *out)
{
    memset(out, 0, sizeof *out);
    if (strcmp(line, "FORWARD") == 0) {
        out->kind = InputKind::Forward;
        return true;
    }
    if (strncmp(line, "TEXT ", 5) != 0)
        return false;
    char *end;
    long a = strtol(line + 5, &end, 10);
    if (end == line + 5 || *end != ' ' || end[1] == 0)
        return false;
    out->kind = InputKind::Message;
    out->x = (int32_t)a;
    snprintf(out->text, sizeof out->text, "%s", end + 1);
    return true;
}

// Reads what a visitor has sent; returns 1 with a request when its line is complete.
static int read_visitor(Visitor &v, PlatformInput *out)
{
    for (;;) {
        ssize_t n = recv(v.fd, v.line + v.len, (size_t)(DOOR_LINE_MAX - 1 - v.len), MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return 0;  // more may come later
        if (n <= 0) {
            drop(v);  // hung up without a full line
            return 0;
        }
        v.len += (int)n;
        v.line[v.len] = 0;
        if (char *nl = strchr(v.line, '\n')) {
            *nl = 0;
            bool ok = parse_line(v.line, out);
            drop(v);
            return ok;
        }
        if (v.len >= DOOR_LINE_MAX - 1) {
            drop(v);  // a line this long is not one of ours
            return 0;
        }
    }
}

int io_instance_poll(PlatformInput *out)
{
    if (door.fd < 0)
        return 0;
    for (;;) {
        int fd = accept4(door.fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            break;
        Visitor *slot = nullptr;
        for (Visitor &v : door.visitors)
            if (v.fd < 0 && !slot)
                slot = &v;
        if (!slot) {
            // Every slot is taken by a visitor that says nothing: the oldest gives way.
            slot = &door.visitors[0];
            for (Visitor &v : door.visitors)
                if (v.arrival < slot->arrival)
                    slot = &v;
            drop(*slot);
        }
        slot->fd = fd;
        slot->len = 0;
        slot->arrival = ++door.arrivals;
    }
    for (Visitor &v : door.visitors)
        if (v.fd >= 0 && read_visitor(v, out))
            return 1;
    return 0;
}

void io_instance_close(void)
{
    for (Visitor &v : door.visitors)
        if (v.fd >= 0)
            drop(v);
    local_close(door.fd);
    door.fd = -1;
}
