// The gallery file and its records: reading and writing "sfiles/gallery.dat", putting an
// unreadable one aside, and making the hand's record from a finished box.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "chunk/chunk.h"
#include "image/gformat.h"
#include "image/imgfile.h"
#include "image/resample.h"
#include "platform/files.h"
#include "platform/log.h"
#include "rooms/box/box.h"
#include "rooms/gallery/galleryroom.h"
#include "rooms/play/savegame.h"
#include "ui/skin.h"

// Field offsets of a record in the file.
constexpr size_t RECORD_NAME = 4, RECORD_PIECES = 68, RECORD_TIME = 72, RECORD_DATE = 76;
constexpr int32_t ASIDE_TRIES = 1000;

static uint32_t get32(const uint8_t *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static void put32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        p[i] = (uint8_t)(v >> (8 * i));
}

void gallery_clear(GalleryRecord *record)
{
    img_free(record->picture);
    *record = {};
}

// --- reading ---

// A picture of a record. The scene copies three-byte texels from a cell of 256 x 256, so
// anything else is refused before its size is believed; img_load then checks that the
// file holds the bytes.
static Img *read_picture(FILE *f)
{
    int32_t w, h;
    uint32_t format;
    if (img_read_header(f, &w, &h, &format) != 0)
        return nullptr;
    if (format != IMG_BGR || w < 1 || h < 1 || w > G3D_CELL_TEXELS || h > G3D_CELL_TEXELS)
        return nullptr;
    return img_load(f);
}

static int read_record(FILE *f, GalleryRecord *r)
{
    uint8_t b[GALLERY_RECORD_BYTES];
    if (!chunk_read_exact(f, b, sizeof b))
        return 0;
    memcpy(r->name, b + RECORD_NAME, GALLERY_TEXT_SIZE);
    memcpy(r->date, b + RECORD_DATE, GALLERY_TEXT_SIZE);
    // The texts are shown and formatted: they end inside their fields whatever the file says.
    r->name[GALLERY_TEXT_SIZE - 1] = r->date[GALLERY_TEXT_SIZE - 1] = 0;
    r->pieces = (int32_t)get32(b + RECORD_PIECES);
    r->play_time = (int32_t)get32(b + RECORD_TIME);
    r->picture = nullptr;
    if (get32(b) == 0)
        return 1;
    r->picture = read_picture(f);
    return r->picture != nullptr;
}

int gallery_read(const char *path, GalleryRecord *cells)
{
    for (int32_t i = 0; i < GALLERY_CELLS; i++)
        gallery_clear(&cells[i]);
    FILE *f = chunk_open(path, "rb");
    if (!f)
        return 0;
    uint32_t version;
    int ok = chunk_expect_u32(f, CHUNK_GALL) && chunk_read_u32(f, &version);
    for (int32_t i = 0; ok && i < GALLERY_CELLS; i++)
        ok = read_record(f, &cells[i]);
    fclose(f);
    if (!ok)
        for (int32_t i = 0; i < GALLERY_CELLS; i++)
            gallery_clear(&cells[i]);
    return ok;
}

// --- writing ---

static int write_record(FILE *f, const GalleryRecord *r)
{
    uint8_t b[GALLERY_RECORD_BYTES];
    put32(b, r->picture ? 1 : 0);
    memcpy(b + RECORD_NAME, r->name, GALLERY_TEXT_SIZE);
    put32(b + RECORD_PIECES, (uint32_t)r->pieces);
    put32(b + RECORD_TIME, (uint32_t)r->play_time);
    memcpy(b + RECORD_DATE, r->date, GALLERY_TEXT_SIZE);
    return chunk_write_exact(f, b, sizeof b) && (!r->picture || img_save(f, r->picture));
}

int gallery_write(const char *path, const GalleryRecord *cells)
{
    SafeFile sf;
    if (!chunk_create(&sf, path))
        return 0;
    int ok = chunk_write_u32(sf.f, GALLERY_VERSION);
    for (int32_t i = 0; ok && i < GALLERY_CELLS; i++)
        ok = write_record(sf.f, &cells[i]);
    if (!ok) {
        chunk_abort(&sf);
        return 0;
    }
    return chunk_commit(&sf, CHUNK_GALL);
}

// A hard link cannot take a name that exists, so a file kept aside earlier is never
// replaced; a file system without links gets the rename after the check.
static int move_without_replacing(const char *from, const char *to)
{
    if (link(from, to) == 0)
        return unlink(from) == 0 || (unlink(to), 0);
    return !file_exists(to) && rename(from, to) == 0;
}

int gallery_put_aside(const char *path, char *aside, int32_t size)
{
    const char *dot = strrchr(GALLERY_BAD_FILE, '.');
    for (int32_t n = 1; n <= ASIDE_TRIES; n++) {
        if (n == 1)
            snprintf(aside, (size_t)size, "%s", GALLERY_BAD_FILE);
        else
            snprintf(aside, (size_t)size, "%.*s%i%s", (int)(dot - GALLERY_BAD_FILE), GALLERY_BAD_FILE, (int)n, dot);
        if (!file_exists(aside) && move_without_replacing(path, aside))
            return 1;
    }
    aside[0] = 0;
    return 0;
}

// --- the hand's record from a finished box ---

Img *gallery_fit(Img *picture, int32_t side)
{
    int64_t w = picture->width, h = picture->height;
    if (w < 1 || h < 1)
        return nullptr;
    // The factor side / longer side, truncated after multiplying, in integers so that a
    // picture exactly in proportion is not a pixel short.
    int64_t longer = std::max(w, h);
    int32_t fw = (int32_t)std::max<int64_t>(w * side / longer, 1), fh = (int32_t)std::max<int64_t>(h * side / longer, 1);
    Img *fitted = img_create(fw, fh, IMG_BGR);
    ImgView dst, src;
    img_view(&dst, fitted, 0, 0);
    img_view(&src, picture, 0, 0);
    if (!img_resample(&dst, &src, IMG_RESAMPLE_FILTERED)) {
        img_free(fitted);
        return nullptr;
    }
    return fitted;
}

int gallery_record_from_box(const char *name, GalleryRecord *record)
{
    *record = {};
    ChunkId id;
    BoxInfo info;
    GameSummary summary;
    if (!box_read(name, &id, &info, BOX_PICTURE))
        return 0;
    if (!game_summary_read(name, &id, &summary)) {
        box_clear_temp(BOX_PICTURE);
        return 0;
    }
    Img *picture = gformat_load_jpg_img(BOX_TEMP_PICTURE);
    box_clear_temp(BOX_PICTURE);
    Img *framed = picture && picture->format == IMG_BGR ? gallery_fit(picture, GALLERY_PICTURE_SIDE) : nullptr;
    img_free(picture);
    if (!framed) {
        io_log("gallery: the picture of \"%s\" could not be made\n", name);
        return 0;
    }
    ImgView v;
    img_view(&v, framed, 0, 0);
    int32_t r = framed->width - 1, b = framed->height - 1;
    uint32_t outline = skin_color(SKIN_COLOR_GALLERY_OUTLINE);
    img_line(&v, 0, 0, r, 0, outline);
    img_line(&v, r, 0, r, b, outline);
    img_line(&v, r, b, 0, b, outline);
    img_line(&v, 0, b, 0, 0, outline);
    record->picture = framed;
    snprintf(record->name, sizeof record->name, "%s", name);
    record->pieces = info.piece_count;
    record->play_time = summary.play_time;
    memcpy(record->date, summary.date, sizeof record->date);
    record->date[GALLERY_TEXT_SIZE - 1] = 0;
    return 1;
}
