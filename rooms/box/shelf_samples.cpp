// The boxes that come with the game: on the first start, an empty boxes folder gets one
// box for each sample picture of the data pack, cut in different ways so that a new
// player meets small and large puzzles, rotation, music and a surprise.
#include <cstdio>
#include <cstring>
#include <iterator>

#include "image/jpeg.h"
#include "platform/config.h"
#include "platform/memory.h"
#include "platform/services.h"
#include "puzzle/cut.h"
#include "res/datapack.h"
#include "res/ini.h"
#include "res/settings.h"
#include "rooms/box/shelf_internal.h"

constexpr const char *SAMPLES_LIST = "samples/samples.txt";  // "file<TAB>title" per line
constexpr const char *SAMPLES_MUSIC = "samples/waltz.mid";
constexpr const char *SAMPLES_KEY = "SamplesInstalled";

// How each sample picture is boxed. For the pack's 1024 x 768 pictures the piece counts
// run 48, 80, 108, 192, 234 and 300.
static const struct {
    const char *file;
    int32_t piece_size, jitter, shape;
    int32_t rotation, surprise, music;
} SAMPLE_BOXES[] = {
    {"lake.jpg", 128, 15, 1, 0, 0, 1},
    {"fractal.jpg", 96, 20, 2, 0, 1, 0},
    {"glass.jpg", 80, 10, 3, 1, 0, 0},
    {"night.jpg", 64, 25, 1, 0, 0, 0},
    {"zellige.jpg", 56, 0, 4, 1, 0, 0},
    {"forest.jpg", 51, 30, 5, 0, 0, 0},
};

// Writes one sample box named after its title; 1 when written.
static int install_one(const char *file, const char *title)
{
    const auto *how = &SAMPLE_BOXES[0];
    while (how < std::end(SAMPLE_BOXES) && strcmp(how->file, file) != 0)
        how++;
    char path[128], name[2 * BOX_NAME_MAX + 2];
    snprintf(path, sizeof path, "samples/%s", file);
    int picture = dp_get_index(path, 0);
    if (how == std::end(SAMPLE_BOXES) || picture < 0 || strlen(title) > (size_t)BOX_NAME_MAX ||
        !safe_file_name(name, title) || !dp_extract(picture, BOX_TEMP_PICTURE))
        return 0;
    BoxInfo info = {};
    info.piece_size = how->piece_size;
    info.jitter = how->jitter;
    info.shape = how->shape;
    info.rotation = how->rotation;
    info.surprise = how->surprise;
    uint32_t format;
    FILE *f = fopen(BOX_TEMP_PICTURE, "rb");
    int bad = !f || jpeg_read_info(f, &info.picture_width, &info.picture_height, &format);
    if (f)
        fclose(f);
    int32_t columns, rows, ox, oy;
    cut_grid_measure(&info, &columns, &rows, &ox, &oy);
    info.piece_count = columns * rows;
    if (how->music) {
        int music = dp_get_index(SAMPLES_MUSIC, 0);
        info.has_music = info.loop_music = music >= 0 && dp_extract(music, BOX_TEMP_MUSIC);
    }
    ChunkId id;
    chunk_new_id(&id);
    int written = !bad && box_write(name, &id, &info);
    box_clear_temp(BOX_ALL_PARTS);
    return written;
}

// 1 when the boxes folder holds a box file.
static bool folder_has_boxes(void)
{
    char pattern[SHELF_PATH_MAX], first[256];
    snprintf(pattern, sizeof pattern, "%s/*.%s", kernel_puzzles_folder(), BOX_EXTENSION);
    bool any = dir_first(DIR_FILES, pattern) != 0;
    while (any && dir_next(first, sizeof first)) {
        // read to the end, so the listing is not left half-used
    }
    return any;
}

int32_t shelf_install_samples(void)
{
    int32_t done = 0;
    if (ini_get_int(SETTINGS_CONFIG, "MAIN", SAMPLES_KEY, &done) && done)
        return 0;
    int32_t written = 0;
    int list = folder_has_boxes() ? -1 : dp_get_index(SAMPLES_LIST, 0);
    if (list >= 0) {
        uint32_t size = dp_size(list);
        char *text = (char *)dp_load(list);
        // Lines of "file<TAB>title", made a zero-terminated text.
        char *copy = (char *)io_mem_alloc((size_t)size + 1);
        memcpy(copy, text, size);
        copy[size] = 0;
        io_mem_free(text);
        for (char *line = copy, *next; line && *line; line = next) {
            next = strchr(line, '\n');
            if (next)
                *next++ = 0;
            char *tab = strchr(line, '\t');
            if (!tab)
                continue;
            *tab = 0;
            char *title = tab + 1;
            size_t n = strlen(title);
            if (n > 0 && title[n - 1] == '\r')
                title[n - 1] = 0;
            written += install_one(line, title);
        }
        io_mem_free(copy);
    }
    // Once only: a player who empties the shelf later keeps it empty.
    ini_set_int(SETTINGS_CONFIG, "MAIN", SAMPLES_KEY, 1);
    return written;
}
