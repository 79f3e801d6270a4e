// Files and folders: names relative to the start-up directory with '/' separators,
// patterns matched without regard to letter case, writes that survive a crash.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

int file_exists(const char *name);

// Returns 1 when the file is gone afterwards.
int file_delete(const char *name);

// Creates a folder and any missing parents; an existing folder is not an error.
// Returns 1 when it exists afterwards.
int make_dir(const char *name);

// Matches a name against a pattern of '*' and '?' without regard to letter case.
int name_match(const char *pattern, const char *name);

// The existing file that `name` means when the letter case of its last part is ignored,
// as on the system the game's names come from: `name` itself when it exists, else the
// entry of its folder that equals the last part without regard to case (the first in
// byte order when several do). 1 with that name in `out`; 0 when there is none, with
// `name` copied to `out` (or out empty when it does not fit `size`).
int file_resolve_case(const char *name, char *out, size_t size);

// Writing a file so that a crash never destroys what was there before: the data goes
// to a temporary name beside the target, and only a complete, flushed file replaces it.
struct SafeFile {
    FILE *f;
    char target[260];
    char temp[280];
};

// Opens the temporary file; 1 on success.
int safe_file_open(SafeFile *sf, const char *name);

// Flushes the data to disk and renames it over the target; 1 on success. On any
// failure the temporary file is removed and the target is left as it was.
int safe_file_commit(SafeFile *sf);

// Gives up: the temporary file is removed, the target is untouched.
void safe_file_abort(SafeFile *sf);

// Keeps the files of `folder` that match `pattern` within `budget` bytes in all by
// deleting the least recently accessed first. A file that cannot be deleted is passed
// over, so the trimming always ends. Returns the bytes left in matching files.
int64_t io_temp_trim(const char *folder, const char *pattern, int64_t budget);
