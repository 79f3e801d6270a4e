// The in-game help: the game's help file (sfiles/ml, format in README.md) shown by topic
// number in up to two toolkit windows, "main" and "main2", with links, a history, the
// contents and scrolling. It stands where the game would call the system's help.
#pragma once
#include <cstdint>

constexpr int32_t HELP_SECOND_WINDOW = 0x1000;  // a topic with this bit opens in "main2"

// Opens the help at `topic`: 0 the contents, any other number that topic, in the window
// "main", or in "main2" when the topic has HELP_SECOND_WINDOW set (the bit cleared from
// the number). The file is [MAIN] HelpFile of sfiles/config.ini in sfiles/ml when that
// key names a file there, else english.hlp; it is read when its window opens and kept
// until the window closes. A file that cannot be read or fails lt_help_check, or a
// topic the file lacks, is said in the window instead; nothing here is fatal. The
// windows live in the tree of the room in focus and come to its front.
void help_show(int32_t topic);

// Closes the help window "main" or "main2", or both for any other name (the help file's
// name, or null), and frees what it held.
void help_close(const char *name);

// What a help window shows, for the rooms and the tests: the framed window of "main" or
// "main2" while it is open, else -1; the topic it shows, -1 when it shows a message
// instead; and that message ("" while a topic shows).
int32_t help_window(const char *name);
int32_t help_topic(const char *name);
const char *help_message(const char *name);

// The screen point in the middle of the first link to `target` that shows in the
// window, or 0 when none shows.
int32_t help_link_point(const char *name, int32_t target, int32_t *x, int32_t *y);
