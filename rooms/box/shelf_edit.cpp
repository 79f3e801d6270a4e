// Names and the changes that move a box's files: checking a new name, renaming,
// replacing an edited box, and asking the player for a name. Each change is ordered so
// that one atomic rename of the box file decides it: a crash before it leaves the old
// box whole, a crash after it the new one.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"
#include "platform/services.h"
#include "platform/video.h"
#include "rooms/box/shelf_internal.h"
#include "ui/stdwin.h"

constexpr int32_t SHELF_MSG_NAME_TAKEN = 16;

static bool same_file(const char *a, const char *b)
{
    struct stat sa, sb;
    return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

int32_t shelf_name_check(const char *input, char *cleaned, const ShelfBox *except)
{
    cleaned[0] = 0;
    size_t n = strlen(input);
    if (n > 4 * (size_t)BOX_NAME_MAX)
        return SHELF_NAME_INVALID;
    char work[4 * BOX_NAME_MAX + 2];
    if (!safe_file_name(work, input) || strlen(work) > (size_t)BOX_NAME_MAX || !box_name_valid(work))
        return SHELF_NAME_INVALID;
    strcpy(cleaned, work);
    for (ShelfBox *box = shelf.tail; box; box = box->prev)
        if (box != except && strcasecmp(box->name, cleaned) == 0)
            return SHELF_NAME_TAKEN;
    // A box file that is not on the shelf (one that cannot be read) is not ours to replace.
    char there[SHELF_PATH_MAX], mine[SHELF_PATH_MAX];
    if (shelf_file_path(SHELF_FILE_BOX, cleaned, there, sizeof there) && file_exists(there)) {
        bool own = except && shelf_file_path(SHELF_FILE_BOX, except->name, mine, sizeof mine) && same_file(there, mine);
        if (!own)
            return SHELF_NAME_TAKEN;
    }
    return SHELF_NAME_OK;
}

// --- moving one derived file (saved game, play state, preview) ---

// How a derived file was given its new name, so it can be undone or finished.
enum class Moved { NONE, LINKED, RENAMED };

// Gives the file `from` the name `to` as well. A file already under the new name that is
// not this very file is a leftover of no box (no box file has that name) and goes.
// Linking keeps the old name until the box itself has moved; where the disk cannot link
// (or the names are one file, as on disks that ignore case) the file is renamed.
static Moved derived_begin(const char *from, const char *to)
{
    char existing[SHELF_PATH_MAX];
    bool source = file_exists(from);
    if (file_resolve_case(to, existing, sizeof existing) && !(source && same_file(existing, from)))
        file_delete(existing);
    if (!source)
        return Moved::NONE;
    if (link(from, to) == 0)
        return Moved::LINKED;
    return rename(from, to) == 0 ? Moved::RENAMED : Moved::NONE;
}

// After the box file moved: the old names go.
static void derived_finish(Moved how, const char *from)
{
    if (how == Moved::LINKED)
        unlink(from);
}

// The box file did not move: back as it was.
static void derived_undo(Moved how, const char *from, const char *to)
{
    if (how == Moved::LINKED)
        unlink(to);
    else if (how == Moved::RENAMED)
        rename(to, from);
}

static const ShelfFile derived_files[3] = {SHELF_FILE_SAVE, SHELF_FILE_STATE, SHELF_FILE_PREVIEW};

int32_t shelf_rename(ShelfBox *box, const char *input)
{
    char cleaned[BOX_NAME_MAX + 1];
    int32_t check = shelf_name_check(input, cleaned, box);
    if (check != SHELF_NAME_OK)
        return check;
    if (strcmp(cleaned, box->name) == 0)
        return SHELF_NAME_UNCHANGED;

    char from[SHELF_FILES][SHELF_PATH_MAX], to[SHELF_FILES][SHELF_PATH_MAX];
    for (int32_t i = 0; i < SHELF_FILES; i++)
        if (!shelf_file_path((ShelfFile)i, box->name, from[i], sizeof from[i]) ||
            !shelf_file_built((ShelfFile)i, cleaned, to[i], sizeof to[i]))
            return SHELF_NAME_FAILED;
    if (!file_exists(from[SHELF_FILE_BOX]))
        return SHELF_NAME_FAILED;

    Moved moved[3];
    for (int32_t i = 0; i < 3; i++)
        moved[i] = derived_begin(from[derived_files[i]], to[derived_files[i]]);
    // The one step that decides. The new name is free (checked above) or is this very
    // file spelt in other letter case, so nothing is replaced.
    if (rename(from[SHELF_FILE_BOX], to[SHELF_FILE_BOX]) != 0) {
        for (int32_t i = 0; i < 3; i++)
            derived_undo(moved[i], from[derived_files[i]], to[derived_files[i]]);
        return SHELF_NAME_FAILED;
    }
    for (int32_t i = 0; i < 3; i++)
        derived_finish(moved[i], from[derived_files[i]]);
    snprintf(box->name, sizeof box->name, "%s", cleaned);
    box->needs_redraw = 1;
    return SHELF_NAME_OK;
}

// --- replacing an edited box ---

// A second name for a file, made beside it: a hard link where the disk has them, else a
// copy. Whatever had the name before goes first.
static int keep_copy(const char *from, const char *to)
{
    file_delete(to);
    return link(from, to) == 0 || file_copy(from, to);
}

int shelf_replace(const char *name, const BoxInfo *info)
{
    ShelfBox *old = shelf_find(name);
    if (!old)
        return 0;
    int cursor = io_get_cursor();
    io_set_cursor(IO_CURSOR_WAIT);
    char file[SHELF_FILES][SHELF_PATH_MAX], kept[SHELF_FILES][SHELF_PATH_MAX];
    bool ok = true;
    for (int32_t i = 0; i < SHELF_FILES && ok; i++)
        ok = shelf_file_path((ShelfFile)i, old->name, file[i], sizeof file[i]) &&
             shelf_file_built((ShelfFile)i, SHELF_TEMP_NAME, kept[i], sizeof kept[i]);
    // The old box is kept under the temporary name with ".old" added, out of the folder
    // listing's "*.pzl", so a crash can never show it as a box of its own.
    ok = ok && strlen(kept[SHELF_FILE_BOX]) + 4 < SHELF_PATH_MAX;
    if (ok)
        strcat(kept[SHELF_FILE_BOX], ".old");
    bool had[SHELF_FILES] = {};
    for (int32_t i = 0; i < SHELF_FILES && ok; i++) {
        had[i] = file_exists(file[i]);
        ok = !had[i] ? file_delete(kept[i]) : keep_copy(file[i], kept[i]);
    }
    ok = ok && had[SHELF_FILE_BOX];

    // The new box replaces the old file in one rename; until then the old box is whole.
    ChunkId id;
    chunk_new_id(&id);
    if (!ok || !box_write(old->name, &id, info)) {
        for (int32_t i = 0; i < SHELF_FILES; i++)
            file_delete(kept[i]);
        io_set_cursor(cursor);
        return 0;
    }
    // The old game, cut and preview belong to the old picture.
    for (ShelfFile which : derived_files)
        file_delete(file[which]);
    ShelfBox *box = shelf_load_box(old->name);
    if (!box) {
        // Back as it was: the old box file in one rename, then its other files.
        rename(kept[SHELF_FILE_BOX], file[SHELF_FILE_BOX]);
        for (ShelfFile which : derived_files) {
            if (had[which])
                rename(kept[which], file[which]);
            else
                file_delete(file[which]);
        }
        io_set_cursor(cursor);
        return 0;
    }
    int32_t x = old->x, y = old->y, selected = old->selected;
    shelf_unlink(old);
    box->x = x;
    box->y = y;
    shelf_clamp(box, &box->x, &box->y);
    box->selected = selected;
    box->is_new = 0;
    shelf_box_free(old);
    for (int32_t i = 0; i < SHELF_FILES; i++)
        file_delete(kept[i]);
    io_set_cursor(cursor);
    return 1;
}

// --- asking for a name ---

int shelf_unique_name(const char *prompt, char *name)
{
    char entry[BOX_NAME_MAX + 1];
    snprintf(entry, sizeof entry, "%s", name);
    for (;;) {
        if (!text_entry(prompt, entry, (int32_t)sizeof entry, 0))
            return 0;
        char cleaned[BOX_NAME_MAX + 1];
        int32_t check = shelf_name_check(entry, cleaned, nullptr);
        if (check == SHELF_NAME_TAKEN)
            msg_box_text(SHELF_MSG_NAME_TAKEN, MB_OK);
        if (check == SHELF_NAME_OK) {
            memcpy(name, cleaned, sizeof cleaned);
            return 1;
        }
    }
}

// --- starting a box again ---

void shelf_restart(ShelfBox *box)
{
    char path[SHELF_PATH_MAX];
    if (shelf_file_path(SHELF_FILE_SAVE, box->name, path, sizeof path))
        file_delete(path);
    memset(&box->summary, 0, sizeof box->summary);
    shelf_build_overlay(box);
}
