// The shelf list, loading one box, loading and saving the whole shelf, and deleting.
#include "rooms/box/shelf.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

#include "platform/config.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "platform/random.h"
#include "platform/services.h"
#include "platform/video.h"
#include "res/ini.h"
#include "res/lang.h"
#include "res/settings.h"
#include "rooms/box/shelf_internal.h"

Shelf shelf;

static struct {
    ShelfStatusFn status;
} sh;

void shelf_set_status(ShelfStatusFn status)
{
    sh.status = status;
}

// --- the files of a box ---

int shelf_file_built(ShelfFile which, const char *name, char *out, size_t size)
{
    if (!box_name_valid(name))
        return 0;
    char built[SHELF_PATH_MAX];
    switch (which) {
    case SHELF_FILE_SAVE: snprintf(built, sizeof built, "%s/%s.qsv", SAVEGAME_FOLDER, name); break;
    case SHELF_FILE_STATE: path_temp(built, (int32_t)sizeof built, name); break;
    case SHELF_FILE_PREVIEW: path_preview(built, (int32_t)sizeof built, name); break;
    default: path_box(built, (int32_t)sizeof built, name); break;
    }
    size_t n = strlen(built);
    if (n >= size)
        return 0;
    memcpy(out, built, n + 1);
    return 1;
}

int shelf_file_path(ShelfFile which, const char *name, char *out, size_t size)
{
    char built[SHELF_PATH_MAX];
    if (!shelf_file_built(which, name, built, sizeof built) || strlen(built) >= size)
        return 0;
    file_resolve_case(built, out, size);
    return 1;
}

// --- the list ---

void shelf_unlink(ShelfBox *box)
{
    (box->prev ? box->prev->next : shelf.head) = box->next;
    (box->next ? box->next->prev : shelf.tail) = box->prev;
    box->next = box->prev = nullptr;
    shelf.count--;
}

void shelf_insert_head(ShelfBox *box)
{
    box->prev = nullptr;
    box->next = shelf.head;
    (shelf.head ? shelf.head->prev : shelf.tail) = box;
    shelf.head = box;
    shelf.count++;
}

void shelf_to_head(ShelfBox *box)
{
    if (box == shelf.head)
        return;
    shelf_unlink(box);
    shelf_insert_head(box);
}

void shelf_box_free(ShelfBox *box)
{
    img_free(box->preview);
    img_free(box->overlay);
    if (box->shadow)
        shadow_free(box->shadow);
    io_mem_free(box->description);
    io_mem_free(box->address);
    io_mem_free(box);
}

void shelf_free(void)
{
    while (ShelfBox *box = shelf.head) {
        shelf_unlink(box);
        shelf_box_free(box);
    }
}

ShelfBox *shelf_find(const char *name)
{
    for (ShelfBox *box = shelf.tail; box; box = box->prev)
        if (strcasecmp(box->name, name) == 0)
            return box;
    return nullptr;
}

// --- places ---

// Clamps in 64 bits: places read from the settings may be anything.
static void clamp_place(const ShelfBox *box, int64_t *x, int64_t *y)
{
    if (*x + box->preview_width > screen.width)
        *x = screen.width - box->preview_width;
    if (*y + box->preview_height > screen.height)
        *y = screen.height - box->preview_height;
    if (*x < 0)
        *x = 0;
    if (*y < 0)
        *y = 0;
}

void shelf_clamp(const ShelfBox *box, int32_t *x, int32_t *y)
{
    int64_t cx = *x, cy = *y;
    clamp_place(box, &cx, &cy);
    *x = (int32_t)cx;
    *y = (int32_t)cy;
}

void shelf_place_random(ShelfBox *box)
{
    // Both values are drawn even where the room is 0, so the places that follow are the
    // same whatever the sizes.
    int32_t room_x = screen.width - box->preview_width, room_y = screen.height - box->preview_height;
    box->x = rand_mod(room_x > 0 ? room_x : 0);
    box->y = rand_mod(room_y > 0 ? room_y : 0);
}

// --- one box ---

ShelfBox *shelf_load_box(const char *name)
{
    char path[SHELF_PATH_MAX];
    if (!name[0] || !box_path(path, sizeof path, name))
        return nullptr;
    if (sh.status)
        sh.status(name);
    ShelfBox *box = (ShelfBox *)io_mem_alloc(sizeof(ShelfBox));
    memset(box, 0, sizeof *box);
    // The name as the file spells it, so every file made for the box later matches it.
    size_t n = strlen(name);
    memcpy(box->name, path + strlen(path) - 4 - n, n);
    if (!box_read(box->name, &box->id, &box->info, BOX_DESCRIPTION | BOX_ADDRESS)) {
        shelf_box_free(box);
        return nullptr;
    }
    if (box->info.has_description)
        box->description = file_read_text(BOX_TEMP_DESCRIPTION);
    if (box->info.has_address)
        box->address = file_read_text(BOX_TEMP_ADDRESS);
    box_clear_temp(BOX_ALL_PARTS);
    game_summary_read(box->name, &box->id, &box->summary);
    int same_id = 0;
    if (!shelf_load_preview(box, &same_id) && !shelf_build_preview(box)) {
        shelf_box_free(box);
        return nullptr;
    }
    box->is_new = !same_id;
    // A surprise finished in a game that ended before the shelf could unwrap it.
    if (box->summary.progress == 100 && box->info.surprise)
        shelf_unwrap(box);
    shelf_build_overlay(box);
    shelf_insert_head(box);
    shelf_place_random(box);
    box->needs_redraw = 1;
    return box;
}

ShelfBox *shelf_add_named(const char *name)
{
    char path[SHELF_PATH_MAX];
    if (!box_path(path, sizeof path, name) || !file_exists(path) || shelf_find(name))
        return nullptr;
    return shelf_load_box(name);
}

void shelf_delete(ShelfBox *box)
{
    for (int32_t which = SHELF_FILE_SAVE; which < SHELF_FILES; which++) {
        char path[SHELF_PATH_MAX];
        if (shelf_file_path((ShelfFile)which, box->name, path, sizeof path))
            file_delete(path);
    }
    shelf_unlink(box);
    shelf_box_free(box);
}

// --- the whole shelf ---

static const char *SHELF_NAMES = "BOXNAMES";
static const char *SHELF_PLACES = "BOXPOSS";

void shelf_load(void)
{
    settings_read_old_screen();
    int32_t old_w, old_h;
    settings_old_screen(&old_w, &old_h);
    for (int32_t i = 0;; i++) {
        char key[16], name[256];
        int32_t x, y;
        snprintf(key, sizeof key, "%i", i);
        if (!ini_get_string(SETTINGS_CONFIG, SHELF_NAMES, key, name, sizeof name) ||
            !ini_get_pair(SETTINGS_CONFIG, SHELF_PLACES, key, &x, &y))
            break;
        if (shelf_find(name))
            continue;  // a name listed twice is one box
        ShelfBox *box = shelf_load_box(name);
        if (!box)
            continue;
        int64_t sx = old_w > 0 ? (int64_t)x * screen.width / old_w : x;
        int64_t sy = old_h > 0 ? (int64_t)y * screen.height / old_h : y;
        clamp_place(box, &sx, &sy);
        box->x = (int32_t)sx;
        box->y = (int32_t)sy;
    }

    // Then the boxes the settings do not know, in the order the folder lists them. The
    // names are taken first: loading a box may list folders itself.
    char pattern[SHELF_PATH_MAX];
    snprintf(pattern, sizeof pattern, "%s/*.%s", kernel_puzzles_folder(), BOX_EXTENSION);
    std::vector<std::string> names;
    char file[256];
    if (dir_first(DIR_FILES, pattern))
        while (dir_next(file, sizeof file))
            names.emplace_back(file, strlen(file) - 1 - strlen(BOX_EXTENSION));
    for (const std::string &base : names)
        if (box_name_valid(base.c_str()) && !shelf_find(base.c_str()))
            shelf_load_box(base.c_str());
}

void shelf_save(void)
{
    ini_set_string(SETTINGS_CONFIG, SHELF_NAMES, nullptr, nullptr);
    ini_set_string(SETTINGS_CONFIG, SHELF_PLACES, nullptr, nullptr);
    int32_t i = 0;
    while (ShelfBox *box = shelf.tail) {
        char key[16], place[32];
        snprintf(key, sizeof key, "%i", i++);
        snprintf(place, sizeof place, "%i %i", box->x, box->y);
        ini_set_string(SETTINGS_CONFIG, SHELF_NAMES, key, box->name);
        ini_set_string(SETTINGS_CONFIG, SHELF_PLACES, key, place);
        shelf_unlink(box);
        shelf_box_free(box);
    }
}
