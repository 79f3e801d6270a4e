// Gifts: boxes packed into one file that a player saves or mails to a friend. A gift is
// the gift player program ("sfiles/loader.dat") with named LMPF entries appended: the
// sender's name, a dedication, "present.bin" and one box file per box, each box marked a
// surprise when the sender chose so. The friend opens it with the player program or by
// giving it to the game; either way the boxes land in the friend's boxes folder.
//
// A gift comes from another person, so reading one trusts nothing in it: entry names are
// never paths, every box is read as a box before anything is written, nothing replaces
// a box of the receiver's, and a gift that fails anywhere installs nothing.
#pragma once
#include <cstddef>
#include <cstdint>

#include "rooms/box/box.h"
#include "ui/filechooser.h"

constexpr const char *GIFT_PLAYER = "sfiles/loader.dat";
constexpr const char *GIFT_PRESENT = "sfiles/present.bin";
constexpr const char *GIFT_SCRATCH = "sfiles/a.tmp";   // each text on its way in
constexpr const char *GIFT_MAIL_FOLDER = "sfiles/mail";  // mailed gifts wait here a day
constexpr const char *GIFT_EXTENSION = ".gift";
constexpr const char *GIFT_ENTRY_NAME = "name.txt";
constexpr const char *GIFT_ENTRY_DEDICATION = "devote.txt";
constexpr const char *GIFT_ENTRY_PRESENT = "present.bin";

constexpr int32_t GIFT_NAME_MAX = 1024;        // bytes of the sender's name
constexpr int32_t GIFT_DEDICATION_MAX = 4096;  // bytes of the dedication
constexpr int32_t GIFT_FILE_NAME_MAX = 120;    // bytes of the gift's file name before ".gift"
constexpr int32_t GIFT_BOXES_MAX = 256;        // boxes one gift may carry
constexpr int64_t GIFT_BYTES_MAX = (int64_t)1 << 30;  // box bytes one gift may carry
constexpr int64_t GIFT_MAIL_KEEP_S = 24 * 60 * 60;    // a mailed gift's life after sending

// The dialog's answers.
enum : int32_t { GIFT_CANCEL = 0, GIFT_MAIL = 1, GIFT_SAVE = 2 };

// The gift dialog and what it gave.
struct GiftState {
    char name[GIFT_NAME_MAX + 1];
    char dedication[GIFT_DEDICATION_MAX + 1];
    int32_t surprise;                  // on by default
    int32_t result;                    // GIFT_CANCEL, GIFT_MAIL or GIFT_SAVE
    char path[IO_FILE_PATH_MAX];       // where the gift is written
    char folder[IO_FILE_PATH_MAX];     // the folder last saved to
    char first_box[BOX_NAME_MAX + 1];  // names the gift when the name text cannot
    int32_t window = -1, surprise_box = -1, mail_button = -1, save_button = -1, cancel_button = -1;
};
extern GiftState gift;

// The gift's file name: the name text cleaned into a file name, else the first box's
// name cleaned alike, else "Present"; at most GIFT_FILE_NAME_MAX bytes (never half a
// character), then ".gift". `out` holds at least GIFT_FILE_NAME_MAX + 6 bytes.
void gift_file_name(const char *name, const char *first_box, char *out);

// Writes the gift file at `path` from the player, the texts (left out when empty),
// "present.bin" (left out when the installation has none) and the boxes named, in that
// order. A surprise gift carries copies with the surprise field set; the sender's own
// box files never change. The file is written beside `path` and put in place only when
// whole, and made executable. 1 on success; on failure whatever was at `path` stays.
int gift_write(const char *path, const char *name, const char *dedication, int32_t surprise, const char *const *boxes,
               int32_t count);

// The store room's Gift button: the selected boxes (walking the shelf from the tail), the
// dialog, the file, and the mail or the save. Shows 183, 184 or the mail's failure.
void gift_make(void);

// Runs the dialog for the boxes chosen; the answer is also in gift.result. The texts,
// the surprise flag and, for GIFT_SAVE, the path are in `gift`.
int32_t gift_dialog(const char *first_box);

// Mailed gifts older than a day are deleted; the mail program has long read them.
void gift_trim_mail(void);

// --- reading a gift ---

// One box of a gift: its stored file name and where its bytes lie in the gift.
struct GiftBox {
    char name[BOX_NAME_MAX + 1];  // the box name, without ".pzl"
    int64_t offset;
    uint32_t length;
};

// What a gift holds, once every entry is known to lie inside the file.
struct GiftContents {
    char sender[GIFT_NAME_MAX + 1];          // "" when the gift has no name
    char dedication[GIFT_DEDICATION_MAX + 1];  // "" when it has none
    int32_t count;
    GiftBox boxes[GIFT_BOXES_MAX];
    int32_t ignored;  // entries passed over: unknown names, names that are paths
};

// Reads the gift's table of entries. 0 (gift_reason() says why) for a file that is no
// gift, an entry running past the end, bytes after the last entry, more than
// GIFT_BOXES_MAX boxes or GIFT_BYTES_MAX bytes of them, or a gift without a box. The
// texts are cut at their limits and made safe to show (control characters and broken
// UTF-8 become blanks or '?', line breaks stay).
int gift_read(const char *path, GiftContents *contents);

// Installs the boxes of a gift read by gift_read into the boxes folder: each box is
// copied out beside the folder's boxes, read through as a box, then given its name, or
// "Name 2", "Name 3"... when a box of that name exists. All or nothing: on any failure
// the boxes already placed are taken away again. 1 with the names given in `names`
// (contents->count entries), 0 with gift_reason().
int gift_install(const char *path, const GiftContents *contents, char (*names)[BOX_NAME_MAX + 1]);

// Why the last gift_read or gift_install failed.
const char *gift_reason(void);

// The game's side: a gift file given on the command line, by another start or dropped on
// the window. Shows who it is from and the dedication, installs the boxes and puts them
// on the shelf; a gift that cannot be opened gets a message saying why.
void gift_open(const char *path);

// Whether a path names a gift by its extension (letter case ignored).
bool gift_is_gift_name(const char *path);
