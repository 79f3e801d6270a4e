// Shared pieces of pelmora-tool's commands.
#pragma once

// Prints the usage text; returns the exit code 2.
int tool_usage(void);
// Prints "pelmora-tool: FILE: REASON" on one line; returns the exit code 1.
int tool_fail(const char *file, const char *reason);
// Parses a whole decimal integer within lo .. hi.
bool tool_int(const char *text, int lo, int hi, int *out);
// True when the file can be opened for reading; otherwise says why.
bool tool_file_exists(const char *path);
// Opens a data pack (a damaged one is reported by the pack reader, which ends the
// process); false with a message when it cannot be opened at all.
bool tool_open_pack(const char *path);

int tool_cut(int argc, char **argv);
int tool_box(int argc, char **argv);
