// Log targets: a file that is opened and closed for every message (so it survives a
// crash intact), or the external viewer on a local socket.
#include "platform/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "platform/localsock.h"
#include "platform/platform.h"

static struct {
    int mode;
    int viewer_fd;  // connection to the viewer in mode 2, else -1
} dbg = {0, -1};

static void viewer_send(uint8_t kind, const char *text, int len)
{
    uint8_t head[5] = {kind, (uint8_t)len, (uint8_t)(len >> 8), (uint8_t)(len >> 16),
                       (uint8_t)(len >> 24)};
    if (!local_send_all(dbg.viewer_fd, head, 5) || !local_send_all(dbg.viewer_fd, text, len)) {
        // The viewer was closed: the game goes on without a log rather than failing.
        local_close(dbg.viewer_fd);
        dbg.viewer_fd = -1;
    }
}

int io_debug_init(int mode)
{
    if (mode < 0 || mode > 3)
        return 0;
    dbg.mode = 0;
    if (mode == IO_LOG_FILE)
        remove(IO_LOG_FILE_NAME);
    if (mode == IO_LOG_VIEWER) {
        local_close(dbg.viewer_fd);
        dbg.viewer_fd = local_connect(IO_LOG_VIEWER_NAME);
        if (dbg.viewer_fd < 0)
            io_error("io_debug_init: Win Debug not found");
        viewer_send(IO_VIEWER_CLEAR, "", 0);
    }
    dbg.mode = mode;
    return 1;
}

int io_debug_mode(void)
{
    return dbg.mode;
}

void io_debug_done(void)
{
    local_close(dbg.viewer_fd);
    dbg.viewer_fd = -1;
}

static void log_write(const char *text)
{
    int len = (int)strlen(text);
    if (len == 0)
        return;
    if (dbg.mode == IO_LOG_FILE) {
        FILE *f = fopen(IO_LOG_FILE_NAME, "a");
        if (!f)
            return;  // a log that cannot be opened is skipped
        fwrite(text, 1, (size_t)len, f);
        fclose(f);
    } else if (dbg.mode == IO_LOG_VIEWER && dbg.viewer_fd >= 0) {
        viewer_send(IO_VIEWER_TEXT, text, len);
    }
}

void io_log(const char *format, ...)
{
    if (dbg.mode != IO_LOG_FILE && dbg.mode != IO_LOG_VIEWER)
        return;
    if (!format || !*format)
        return;
    char buf[IO_LOG_BUFFER];
    va_list ap;
    va_start(ap, format);
    vsnprintf(buf, sizeof buf, format, ap);  // cut, never overrun
    va_end(ap);
    log_write(buf);
}

void io_error(const char *format, ...)
{
    char buf[IO_ERROR_BUFFER];
    va_list ap;
    va_start(ap, format);
    vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    log_write(buf);
    io_message_box(nullptr, buf, IO_MB_OK, IO_MB_ICON_STOP);
    // No teardown: the state that failed may be what teardown would touch.
    _exit(1);
}

static IoMessageHook message_hook;

void io_set_message_hook(IoMessageHook hook)
{
    message_hook = hook;
}

int io_game_message(const char *text, int buttons, int icon)
{
    return message_hook ? message_hook(text, buttons) : io_message_box(nullptr, text, buttons, icon);
}

void io_message(const char *format, const char *value)
{
    char buf[IO_LOG_BUFFER];
    snprintf(buf, sizeof buf, format, value);
    io_message_box("", buf, IO_MB_OK, IO_MB_ICON_NONE);
}
