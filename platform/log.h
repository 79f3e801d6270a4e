// The debug log, the fatal-error routine and plain message boxes.
#pragma once
#include <cstdint>

enum {
    IO_LOG_NONE = 0,    // nothing is written
    IO_LOG_FILE = 1,    // "application.log" in the current directory, emptied at start
    IO_LOG_VIEWER = 2,  // the external viewer (pelmora-logview) on a local socket
    IO_LOG_NONE3 = 3,   // accepted, writes nothing
};

constexpr int IO_LOG_BUFFER = 2048;    // one formatted log message; longer ones are cut
constexpr int IO_ERROR_BUFFER = 4096;  // one fatal message; longer ones are cut
constexpr const char *IO_LOG_FILE_NAME = "application.log";
constexpr const char *IO_LOG_VIEWER_NAME = "QVDBWIN";

// Viewer protocol: one byte of kind, a 32-bit little-endian length, then the text.
enum : uint8_t { IO_VIEWER_CLEAR = 'C', IO_VIEWER_TEXT = 'T' };

// Sets the log target. Returns 1 when `mode` is 0 to 3, else 0 and logging stays off.
// Mode 1 deletes the old log file; mode 2 connects to the viewer and clears it, and
// is fatal "io_debug_init: Win Debug not found" when no viewer runs.
int io_debug_init(int mode);

// Current log target (0 to 3).
int io_debug_mode(void);

// Ends the log: closes the viewer connection. Mode and file stay as they are.
void io_debug_done(void);

// Formats a printf-style message and writes it to the log target. Messages carry
// their own line breaks; an empty format writes nothing.
void io_log(const char *format, ...) __attribute__((format(printf, 1, 2)));

// The fatal-error routine: logs the message, shows it in a stop box (stderr when there
// is no display) and ends the process with exit code 1, without any teardown.
[[noreturn]] void io_error(const char *format, ...) __attribute__((format(printf, 1, 2)));

// A plain box with the formatted text and an OK button (stderr without a display).
void io_message(const char *format, const char *value);

// Messages the game shows while it runs (a web page that will not open, ...): the game's
// own message box once the toolkit has registered it here, the system's before that.
// `buttons` is IO_MB_OK or IO_MB_YESNO; the result is 1 for OK or Yes.
typedef int (*IoMessageHook)(const char *text, int buttons);
void io_set_message_hook(IoMessageHook hook);
int io_game_message(const char *text, int buttons, int icon);
