// What the shelf's files share among themselves: the four files of a box by name.
#pragma once
#include <cstddef>
#include <cstdint>

#include "rooms/box/shelf.h"

// The files of a box, in the order a box is deleted.
enum ShelfFile : int32_t {
    SHELF_FILE_SAVE = 0,     // "sfiles/qs/NAME.qsv"
    SHELF_FILE_STATE = 1,    // "sfiles/temp/NAME.tmp", the play state (cut cache)
    SHELF_FILE_PREVIEW = 2,  // "sfiles/temp/NAME.prw"
    SHELF_FILE_BOX = 3,      // boxes folder, "NAME.pzl"
    SHELF_FILES = 4,
};

constexpr size_t SHELF_PATH_MAX = 512;

// The path of one of the box's files spelt exactly with `name`; 1 when it fits `size`.
int shelf_file_built(ShelfFile which, const char *name, char *out, size_t size);
// The same, taking an existing file whose name differs only in letter case.
int shelf_file_path(ShelfFile which, const char *name, char *out, size_t size);

// Unlinks the record from the list (it stays allocated).
void shelf_unlink(ShelfBox *box);
// Inserts the record at the head.
void shelf_insert_head(ShelfBox *box);
// Frees the record with its pictures and texts (it must be unlinked).
void shelf_box_free(ShelfBox *box);

// Loads the preview file into the record; 1 when it exists, belongs to this box (same id,
// version 125) and holds a preview of the size the box's picture gives. *same_id tells
// whether a PRVW file of this id was there at all.
int shelf_load_preview(ShelfBox *box, int *same_id);
