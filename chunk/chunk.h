// Tagged chunk files: the layer under every binary file the game writes for itself (box
// files, shelf previews, saved games, play state, the gallery). A file begins with a
// four-character magic, mostly a ChunkId and a version word, then records of tag, length
// and data, all integers 32-bit little-endian. The layer knows nothing of what the records
// mean. Every call returns 1 for success and 0 for failure and reports nothing; a failure
// leaves the stream where it happened.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>

#include "platform/files.h"

// Magics: four characters in file order, read as a little-endian u32.
constexpr uint32_t CHUNK_BOX1 = 0x31584F42;  // box file
constexpr uint32_t CHUNK_PRVW = 0x57565250;  // shelf preview
constexpr uint32_t CHUNK_QICK = 0x4B434951;  // saved game
constexpr uint32_t CHUNK_TEMP = 0x504D4554;  // play state
constexpr uint32_t CHUNK_GALL = 0x4C4C4147;  // gallery
constexpr uint32_t CHUNK_LMPF = 0x46504D4C;  // a named file entry of a gift

constexpr uint32_t CHUNK_VERSION_BOX = 1;        // BOX1 and QICK
constexpr uint32_t CHUNK_VERSION_PREVIEW = 125;  // PRVW and TEMP
constexpr uint32_t CHUNK_ID_MARK = 125;          // the last word of every fresh ChunkId
constexpr uint32_t CHUNK_FIRST_RECORD = 24;      // magic, ChunkId, version
constexpr size_t CHUNK_COPY_BLOCK = 1024;        // chunk_copy's stack buffer

// The identity of a game file: a box file, its preview and its saved game carry the same
// one, and derived files with another are stale. Stored as four u32 words.
struct ChunkId {
    uint32_t word[4];
};

// One entry of a schema: the record `tag` carries exactly `size` bytes, which belong at
// byte `offset` of the in-memory record. A field of 4 bytes is a 32-bit integer (stored
// little-endian); any other size is plain bytes, such as text.
struct ChunkField {
    uint32_t tag;
    uint32_t size;
    uint32_t offset;
};

// A schema table; it ends at the first entry of tag 0 (or at the end of the span).
using ChunkSchema = std::span<const ChunkField>;

// --- primitives on an open binary stream ---

// Reads / writes n bytes in one go; 1 only when all of them went. n = 0 succeeds.
int chunk_read_exact(FILE *f, void *buffer, size_t n);
int chunk_write_exact(FILE *f, const void *buffer, size_t n);

// Copies n bytes from src to dst through a 1024-byte stack buffer; n = 0 succeeds at
// once; 0 at the first short read or short write.
int chunk_copy(FILE *dst, FILE *src, uint64_t n);

// The stream's size in bytes, the position kept; -1 when the stream cannot seek.
int64_t chunk_file_size(FILE *f);

int chunk_write_u32(FILE *f, uint32_t value);
int chunk_read_u32(FILE *f, uint32_t *value);
// Reads one u32; 1 only when it equals `expected`. Every reader checks its magic so.
int chunk_expect_u32(FILE *f, uint32_t expected);

// A ChunkId as one 16-byte item.
int chunk_write_id(FILE *f, const ChunkId *id);
int chunk_read_id(FILE *f, ChunkId *id);
// Reads an id; 1 only when all four words equal `expected`.
int chunk_expect_id(FILE *f, const ChunkId *expected);
int chunk_same_id(const ChunkId *a, const ChunkId *b);

// A fresh identity: calendar seconds, the millisecond tick count, the next rand_mod value
// (0..32767) and CHUNK_ID_MARK.
void chunk_new_id(ChunkId *id);

// A record header: the tag word, then the length word.
int chunk_write_header(FILE *f, uint32_t tag, uint32_t length);
int chunk_read_header(FILE *f, uint32_t *tag, uint32_t *length);

// From the current position, skips records until one has `tag`, and leaves the stream at
// its data with its length in *length. 0 when no header can be read any more, and for a
// record (wanted or skipped) that claims more bytes than the file has left, so a length
// from here is always backed by data. Searches only forward: rewind to find an earlier tag.
int chunk_find(FILE *f, uint32_t tag, uint32_t *length);

// Reads records from the current position to the end of the file into `record`, whose
// fields the schema maps; records of other tags are skipped. 1 at the end of the file
// (also one that ends inside a header); 0 when a known record's length differs from its
// size, a record runs past the end of the file, or a read fails. The caller clears the
// record first, so missing fields read as 0. A schema field outside `record_size` bytes
// is fatal.
int chunk_read_schema(FILE *f, ChunkSchema schema, void *record, size_t record_size);

// Writes one record per schema entry, in table order; an empty table succeeds. A schema
// field outside `record_size` bytes is fatal.
int chunk_write_schema(FILE *f, ChunkSchema schema, const void *record, size_t record_size);

// --- calls that name files ('\' counts as '/' in every path) ---

// Opens a file of the game with the mode of fopen; null when it cannot.
FILE *chunk_open(const char *path, const char *mode);

// Finds `tag` from the current position and puts the record's data into the file at
// `path`. The file is written beside and moved into place only when complete, so on
// failure whatever was at `path` before is still there.
int chunk_extract_to_file(FILE *f, uint32_t tag, const char *path);

// Writes the file at `path` whole as one record of `tag`. Files of 4 GB or more cannot
// be a record and fail.
int chunk_append_file(FILE *f, uint32_t tag, const char *path);

// Overwrites the data of record `tag` of a BOX1 file in place with `size` bytes; fails,
// changing nothing, unless the magic is BOX1 and the record holds exactly `size` bytes.
int chunk_rewrite_in_place(const char *path, uint32_t tag, const void *data, uint32_t size);

// Copies all bytes of the file at `path` to the stream, with no header.
int chunk_append_raw(FILE *f, const char *path);

// Appends a named entry: "LMPF", the name's length, the name, the data length, the file
// at `path`. The name is `stored_name` (or the path when that is null or empty) without
// drive and folder.
int chunk_append_entry(FILE *f, const char *path, const char *stored_name);

// --- writing a whole file of the family ---

// Every file is written with 0 in place of its magic and gets the real magic last, so a
// half-written file is never accepted; it is also written under a temporary name and
// moved over `path` only when complete, so a crash keeps the file that was there.
// chunk_create opens the temporary file in `sf` and writes the placeholder; the caller
// writes the rest to sf->f. 1 on success.
int chunk_create(SafeFile *sf, const char *path);

// Writes `magic` at offset 0, flushes to disk and puts the file in place. On any failure
// (a failed write on the stream included) the temporary file is removed and the old file
// at the path is left as it was.
int chunk_commit(SafeFile *sf, uint32_t magic);

// Gives up a file begun with chunk_create; the old file at the path is untouched.
void chunk_abort(SafeFile *sf);
