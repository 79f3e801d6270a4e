// Settings files: sectioned key=value text files read and written by name. Section and
// key names match without regard to letter case; every write replaces the file whole
// through a temporary file, so a crash never leaves a half-written file.
#pragma once
#include <cstdint>

// Reads the value into buffer (at most size - 1 and at most 2047 characters) and returns
// the number of characters stored; a missing key or file reads as "" and 0.
int32_t ini_get_string(const char *file, const char *section, const char *key, char *buffer, int32_t size);

// Writes key=value, creating the file, section or key as needed and keeping every other
// line as it was. A null value deletes the key; a null key deletes the whole section.
// Returns 1 when the file on disk holds the change, 0 when it could not be written (the
// old file is then left untouched).
int32_t ini_set_string(const char *file, const char *section, const char *key, const char *value);

// Makes pending writes reach the disk (a null file: every file).
void ini_flush(const char *file);

// Typed readers: 1 when the key exists and its value parses completely, else 0 with the
// outputs untouched. Numbers may be decimal, 0x hex or leading-0 octal.
int32_t ini_get_int(const char *file, const char *section, const char *key, int32_t *value);
int32_t ini_get_bool(const char *file, const char *section, const char *key, int32_t *value);
int32_t ini_get_pair(const char *file, const char *section, const char *key, int32_t *a, int32_t *b);
int32_t ini_get_triple(const char *file, const char *section, const char *key, int32_t *a, int32_t *b, int32_t *c);
// "r g b" as 0x00RRGGBB, or "transparent" in any letter case as 0xFFFFFFFF.
int32_t ini_get_color(const char *file, const char *section, const char *key, uint32_t *colour);
int32_t ini_get_real(const char *file, const char *section, const char *key, double *value);

// Typed writers; 1 when written.
int32_t ini_set_int(const char *file, const char *section, const char *key, int32_t value);
int32_t ini_set_bool(const char *file, const char *section, const char *key, int32_t value);
int32_t ini_set_pair(const char *file, const char *section, const char *key, int32_t a, int32_t b);

// The same value parsers on a text, for callers that hold the text already (the skin's
// colours). 1 when the whole text parses.
int32_t ini_parse_int(const char *text, int32_t *value);
int32_t ini_parse_color(const char *text, uint32_t *colour);
// Exactly `count` numbers separated by blanks, each as ini_parse_int reads it; 1 when
// the whole text parses, else 0 with the values untouched.
int32_t ini_parse_numbers(const char *text, int32_t *values, int32_t count);
