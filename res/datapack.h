// The data pack: every read-only file of the game (artwork, fonts, curves, default skin
// and texts, sounds) is read through here, from a pack file or from a loose folder.
// Files are named by a small integer (a file-info index) and read one at a time with
// calls that mirror stdio. Every failure here is fatal: the data is part of the
// installation, and a missing or short file means a broken installation.
#pragma once
#include <cstdint>
#include <cstdio>

constexpr uint32_t DP_MAGIC = 0x324B4350;  // "PCK2"
constexpr uint32_t DP_HEADER_SIZE = 16;     // magic, directory offset, directory size, entry count
constexpr uint32_t DP_ENTRY_HEAD = 12;      // entry length, data offset, data size; the name follows
constexpr int DP_MAX_PACKS = 32;
constexpr int DP_MAX_FILEINFOS = 512;
constexpr int DP_NAME_MAX = 260;

// One archive: a pack file, or a loose folder when `file` is null.
struct DataPack {
    FILE *file;               // the open pack file; null for a folder
    char name[DP_NAME_MAX];   // the pack file's name, or the folder's
    uint8_t *directory;       // the pack's whole directory, checked at open
    uint32_t entry_count;
};

// One file found in an archive; its position in fileinfos[] is the file-info index.
struct FileInfo {
    int pack;                 // index into datapacks[]
    const uint8_t *entry;     // its directory entry; null for a loose file
    char *loose_name;         // a loose file: the name it was asked for, else null
};

extern DataPack datapacks[DP_MAX_PACKS];  // filled in order, never reused until dp_close
extern FileInfo fileinfos[DP_MAX_FILEINFOS];

// Adds an archive. A name holding '@' is cut at the first '@' and names a folder,
// which is taken as it is. Any other name is a pack file, opened and checked whole:
// a directory or file data outside the file, or entries that overrun the directory,
// are refused. Fatal: "dp_open: datapacks id full", "dp_open: not found (%s)",
// "dp_open: fread of packhead (%s)", "dp_open: invalid magic (%s)",
// "dp_open: fread packfiles (%s)", "dp_open: invalid pack (%s): reason".
void dp_open(const char *name);

// The file-info index of `name` (compared byte for byte), searching the archives in the
// order they were opened; the same name always gives the same index. Not found: -1,
// or with must_exist fatal "dp_get_hfile: file not found (%s)". Fatal
// "dp_get_index: fileinfos is full" when a new name finds all 512 slots taken.
int dp_get_index(const char *name, int must_exist);

// The name the file was found under. Valid until dp_close.
const char *dp_get_name(int index);

// Size of the file in bytes. A loose file is opened to measure it, so no other file
// may be open ("dp_fopen: next open").
uint32_t dp_size(int index);

// Opens the file and positions it at its first byte. The stream may be handed to a
// decoder that reads it directly; position it only with dp_fseek. One file at a time:
// fatal "dp_fopen: next open" while another is open.
FILE *dp_fopen(int index);

// Closes the open file; fatal "dp_fopen: next open" when none is open.
void dp_fclose(void);

// Positions the open file at byte `offset` of its data. Fatal
// "dp_fseek: file is not open".
void dp_fseek(uint32_t offset);

// Reads exactly n bytes of the open file. Fewer (also: reading past the end of a
// packed file) is fatal "dp_fread: %s" with the file's name.
void dp_fread(void *buffer, size_t n);

// The whole file in a new block from io_mem_alloc (at least one byte, so an empty file
// still gives a block); the caller frees it. No other file may be open.
void *dp_load(int index);

// Copies the whole file to `path`, replacing it only once the copy is complete.
// 1 on success, 0 when `path` cannot be written. No other file may be open.
int dp_extract(int index, const char *path);

// Calls fn for each entry of pack archive `pack` in directory order. Fatal
// "dp_list: not a pack (%i)" for a folder or a slot not in use.
typedef void (*DpListFn)(const char *name, uint32_t size, void *ctx);
void dp_list(int pack, DpListFn fn, void *ctx);

// Closes every archive and forgets every file-info; the layer may be opened afresh.
void dp_close(void);

// Writes a pack of every regular file under `folder` (names relative to it, '/'
// between folders) to `out_path`, replacing it only once the pack is complete. The same
// files always give the same bytes: names sorted, no times stored. 1 on success, 0 with
// a reason in dp_write_error().
int dp_write_pack(const char *folder, const char *out_path);

// Why the last dp_write_pack failed, naming the file at fault.
const char *dp_write_error(void);
