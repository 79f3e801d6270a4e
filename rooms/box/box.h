// Box files: one puzzle per file in the boxes folder, named after the box with the
// extension "pzl". A box file is a chunk file of magic BOX1: the box's ChunkId, the
// BoxInfo records, then the picture (a JPEG file), the music (a MIDI file), the
// description and the address as records of their own. The rooms hand a box's parts to
// each other through fixed temporary files: reading a box fills them, writing one takes
// them. Every call returns 1 for success and 0 for failure and shows nothing.
#pragma once
#include <cstddef>
#include <cstdint>

#include "puzzle/boxinfo.h"
#include "chunk/chunk.h"

// The records after the BoxInfo records.
enum : uint32_t {
    BOX_TAG_PICTURE = 20,      // a complete JPEG file; every box has one
    BOX_TAG_MUSIC = 21,        // a standard MIDI file, with has-music
    BOX_TAG_DESCRIPTION = 22,  // plain text without terminator, with has-description
    BOX_TAG_ADDRESS = 23,      // plain text without terminator, with has-address
    BOX_TAG_SURPRISE = 8,      // the one BoxInfo record ever rewritten
};

// Which parts box_read fetches and box_clear_temp deletes.
enum : uint32_t {
    BOX_PICTURE = 1,
    BOX_DESCRIPTION = 2,
    BOX_MUSIC = 4,
    BOX_ADDRESS = 8,
    BOX_ALL_PARTS = 255,
};

// The temporary files of the parts, below the working folder.
#define BOX_TEMP_PICTURE "sfiles/bimage.tmp"
#define BOX_TEMP_DESCRIPTION "sfiles/bdesc.tmp"
#define BOX_TEMP_MUSIC "sfiles/bmidi.mid"
#define BOX_TEMP_ADDRESS "sfiles/baddress.tmp"

constexpr int32_t BOX_NAME_MAX = 63;           // characters of a box name
constexpr int32_t BOX_PIECE_MIN = 10;          // smallest piece size
constexpr int32_t BOX_JITTER_MAX = 40;         // percent
constexpr int32_t BOX_SHAPES = 8;              // edge-curve sets 0 .. 7
constexpr int32_t BOX_SIDE_MAX = 32768;        // the largest picture side the game decodes
constexpr int32_t BOX_LINK_WIDTH_MAX = 640;    // a link box shows its whole picture, so it
constexpr int32_t BOX_LINK_HEIGHT_MAX = 480;   // must fit the smallest screen
constexpr uint32_t BOX_TEXT_MAX = 65536;       // bytes of a description or an address
constexpr const char *BOX_EXTENSION = "pzl";

// The BoxInfo records (tags 1 to 12, 14, 15), in the order they are written; ends with
// tag 0.
extern const ChunkField box_schema[15];

// Where a box's parts lie outside the box: the temporary files for the game, other
// files for the companion command.
struct BoxParts {
    const char *picture, *description, *music, *address;
};
extern const BoxParts box_temp_parts;

// 1 when the fields lie in their ranges: picture sides 1 .. BOX_SIDE_MAX, every flag 0
// or 1, and for a puzzle piece size BOX_PIECE_MIN .. half the smaller side, jitter
// 0 .. 40, shape 0 .. 7 and the piece count of the cutter's grid; a link box is never
// cut, so its cut fields are not looked at, but its picture must fit 640 x 480. On 0
// box_reason() says which field is wrong.
int box_info_valid(const BoxInfo *info);

// 1 for a name that can be a box: 1 to 63 bytes, no folder separator ('/' or '\'), no
// control character, and not "." or "..".
int box_name_valid(const char *name);

// The box file of a name in the boxes folder, taking a file whose name differs only in
// letter case when there is one. 1 when the name is valid and the path fits `size`.
int box_path(char *out, size_t size, const char *name);

// The reason of the last failure of box_read_file, box_write_file or box_info_valid, for
// logs and the companion command ("" after a success).
const char *box_reason(void);

// Reads the box `name`: its id and BoxInfo always, and the parts named by `mask` into
// the temporary files, each by a fresh search from the first record. The picture must be
// a JPEG whose header parses and gives the size the BoxInfo says. A part the box claims
// but does not hold reads as absent: its has-flag comes back 0 and its temporary file is
// deleted, so no part of an earlier box is ever taken for this one's. On any failure
// every temporary file is deleted and 0 returned.
int box_read(const char *name, ChunkId *id, BoxInfo *info, uint32_t mask);
// The same on a file at `path`, with the parts going to `parts` (deleted on failure).
int box_read_file(const char *path, ChunkId *id, BoxInfo *info, uint32_t mask, const BoxParts *parts);

// Writes the box `name` from the id, the BoxInfo and the temporary files: the picture
// always, the music, description and address when their has-flags are set. The file is
// written beside the box and moved over it only when complete, so a failed write leaves
// the old box (or no file) as it was. Refuses a BoxInfo that box_info_valid refuses and a
// picture that is not a JPEG of the BoxInfo's size.
int box_write(const char *name, const ChunkId *id, const BoxInfo *info);
int box_write_file(const char *path, const ChunkId *id, const BoxInfo *info, const BoxParts *parts);

// Sets the surprise field of the box file at `path` to `value`. The box is copied with the
// one field changed and the copy moved over it, so a crash leaves the old box or the new
// one, never a broken one; the id stays, so the saved game and preview still belong.
int box_set_surprise(const char *path, int32_t value);

// Deletes the temporary files named by the mask bits; the picture is first cut to zero
// length so that no reader can take an old picture even if it cannot be deleted.
void box_clear_temp(uint32_t mask);
