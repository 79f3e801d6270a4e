// Names, patterns and paths of the file chooser, apart from its window: the filter's
// pairs, the default extension, typed names made into paths, and names made fit for the
// list's font. Paths are absolute with '/' separators and fit IO_FILE_PATH_MAX.
#pragma once
#include <cstdint>

bool fc_is_folder(const char *path);

// Copies text whole or not at all (a path cut short names another file); false when it
// does not fit `size` bytes.
bool fc_copy(char *out, int32_t size, const char *text);

// Pair `index` of a filter (NUL-terminated description and patterns, ended by an empty
// description); false past its end. A null or empty filter is one pair: every file.
bool fc_filter_pair(const char *filter, int32_t index, const char **description, const char **patterns);

// ".EXT" of the first pattern that is "*.EXT" without wildcards in EXT; "" when none is.
void fc_default_extension(const char *patterns, char *out, int32_t size);

// A typed name made into an absolute path without "." and ".." parts: "/..." stays, "~"
// is the home folder, anything else lies in `base`. False when it would not fit.
bool fc_resolve(const char *base, const char *typed, char *out);

// The folder part of an absolute path ("/a/b" gives "/a", "/a" gives "/") and the name.
void fc_parent(const char *path, char *out);
const char *fc_base_name(const char *path);

// A name as the list shows it: characters the list font cannot draw replaced.
void fc_display_name(const char *name, char *out, int32_t size);
