// The cut cache: a finished cut kept on disk so the next game with the same box skips the
// cutting. Everything read back is checked against the file and the box before it is
// believed; anything wrong only means cutting again.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "image/imgfile.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "puzzle/cut.h"
#include "puzzle/cut_internal.h"
#include "puzzle/piece.h"

constexpr const char *CUT_CACHE_FOLDER = "sfiles/temp";

static bool cache_path(const char *box_name, char *path, size_t cap)
{
    int n = snprintf(path, cap, "%s/%s.%s", CUT_CACHE_FOLDER, box_name, "tmp");
    return n > 0 && (size_t)n < cap;
}

static int write_words(FILE *f, const int32_t *words, size_t n)
{
    uint8_t b[32];
    for (size_t i = 0; i < 4 * n; i++)
        b[i] = (uint8_t)((uint32_t)words[i / 4] >> (8 * (i % 4)));
    return chunk_write_exact(f, b, 4 * n);
}

static int write_cut(FILE *f, const ChunkId *id)
{
    const CutResult &r = cut_result;
    int32_t head[2] = {CUT_CACHE_VERSION, r.piece_count};
    if (!chunk_write_id(f, id) || !write_words(f, head, 2))
        return 0;
    for (int32_t i = 0; i < r.piece_count; i++) {
        const CutPiece &p = r.pieces[i];
        int32_t w[8] = {p.home_x, p.home_y, p.shape, p.neighbour_count};
        for (int32_t j = 0; j < p.neighbour_count && j < 4; j++)
            w[4 + j] = p.neighbours[j];
        if (!write_words(f, w, 8))
            return 0;
    }
    if (!write_words(f, &r.shape_count, 1))
        return 0;
    for (int32_t i = 0; i < r.shape_count; i++) {
        const Shape &s = r.shapes[i];
        int32_t w[6] = {s.relief != nullptr, s.shadow != nullptr, s.mask_x, s.mask_y, s.shadow_x, s.shadow_y};
        if (!write_words(f, w, 6) || (s.relief && !img_save(f, s.relief)) || (s.shadow && !img_save(f, s.shadow)))
            return 0;
    }
    return write_words(f, &r.shadow_distance, 1);
}

int cut_cache_save(const char *box_name, const ChunkId *id)
{
    char path[sizeof(SafeFile::target)];
    SafeFile sf;
    if (!cache_path(box_name, path, sizeof path) || !make_dir(CUT_CACHE_FOLDER) || !chunk_create(&sf, path))
        return 0;
    int ok = write_cut(sf.f, id);
    if (!ok)
        chunk_abort(&sf);
    // A cache that could not be written is no use, nor is the one it was to replace.
    if (!ok || !chunk_commit(&sf, CHUNK_TEMP)) {
        file_delete(path);
        return 0;
    }
    return 1;
}

// The cache file being read and the bytes it has left, so every size is checked against
// the file before anything is allocated, without asking the file where it is.
struct CacheReader {
    FILE *f;
    int64_t left;
};

static int read_bytes(CacheReader *in, void *buffer, size_t n)
{
    if ((int64_t)n > in->left || !chunk_read_exact(in->f, buffer, n))
        return 0;
    in->left -= (int64_t)n;
    return 1;
}

static uint32_t get32(const uint8_t *b)
{
    return b[0] | b[1] << 8 | b[2] << 16 | (uint32_t)b[3] << 24;
}

static int read_words(CacheReader *in, int32_t *words, size_t n)
{
    uint8_t b[32];
    if (!read_bytes(in, b, 4 * n))
        return 0;
    for (size_t i = 0; i < n; i++)
        words[i] = (int32_t)get32(b + 4 * i);
    return 1;
}

// One image as img_save wrote it, of `format` and at most `limit` pixels on either side:
// the header is checked before the image is made, and must be the one img_create makes.
static Img *read_image(CacheReader *in, uint32_t format, int64_t limit)
{
    uint8_t head[IMG_HEADER_SIZE];
    if (!read_bytes(in, head, sizeof head))
        return nullptr;
    int64_t w = (int32_t)get32(head + 4), h = (int32_t)get32(head + 8);
    if (get32(head + 12) != format || w < 1 || h < 1 || w > limit || h > limit ||
        w * h * (int64_t)img_colour_bytes(format) > in->left)
        return nullptr;
    Img *img = img_create((int32_t)w, (int32_t)h, format);
    if (memcmp(head, img, sizeof head) != 0 ||
        !read_bytes(in, (uint8_t *)img + img->colour_offset, (size_t)img->colour_stride * (size_t)h)) {
        img_free(img);
        return nullptr;
    }
    return img;
}

// The pieces of the box's grid: their count, neighbours and places, and shapes that lie
// inside the picture where the pieces use them.
static int read_pieces(CacheReader *in, const BoxInfo *box, CutResult *r)
{
    int32_t columns, rows, ox, oy, count;
    cut_grid_measure(box, &columns, &rows, &ox, &oy);
    if ((int64_t)columns * rows > INT32_MAX || columns * rows < 1 || !read_words(in, &count, 1) ||
        count != columns * rows || (int64_t)count * 32 > in->left)
        return 0;
    r->pieces = (CutPiece *)cut_alloc_array((size_t)count, sizeof(CutPiece), "cut_cache_load");
    r->piece_count = count;
    for (int32_t i = 0; i < count; i++) {
        int32_t w[8];
        CutPiece *p = &r->pieces[i];
        if (!read_words(in, w, 8))
            return 0;
        cut_set_neighbours(p, i, columns, rows);
        if (w[2] < 0 || w[3] != p->neighbour_count || memcmp(w + 4, p->neighbours, sizeof p->neighbours) != 0)
            return 0;
        p->home_x = w[0];
        p->home_y = w[1];
        p->shape = w[2];
    }
    return 1;
}

static int read_shapes(CacheReader *in, const BoxInfo *box, CutResult *r)
{
    // Shapes are cut from a canvas of four piece sides; their shadows reach out further by
    // less than that again.
    int64_t side = 4 * (int64_t)box->piece_size;
    int32_t count;
    if (!read_words(in, &count, 1) || count < 1 || count > r->piece_count || (int64_t)count * 24 > in->left)
        return 0;
    r->shapes = (Shape *)cut_alloc_array((size_t)count, sizeof(Shape), "cut_cache_load");
    memset(r->shapes, 0, (size_t)count * sizeof(Shape));
    r->shape_count = count;
    for (int32_t i = 0; i < count; i++) {
        int32_t w[6];
        Shape *s = &r->shapes[i];
        if (!read_words(in, w, 6) || w[0] == 0)
            return 0;
        for (int j = 2; j < 6; j++)
            if (w[j] < -2 * side || w[j] > 2 * side)
                return 0;
        s->mask_x = w[2];
        s->mask_y = w[3];
        s->shadow_x = w[4];
        s->shadow_y = w[5];
        if (!(s->relief = read_image(in, IMG_555, side)) || (w[1] && !(s->shadow = read_image(in, IMG_8BIT, 2 * side))))
            return 0;
    }
    // Every piece's relief image must lie inside the picture, where its colours come from.
    for (int32_t i = 0; i < r->piece_count; i++) {
        const CutPiece &p = r->pieces[i];
        if (p.shape >= count)
            return 0;
        const Shape &s = r->shapes[p.shape];
        int64_t x = (int64_t)p.home_x + s.mask_x, y = (int64_t)p.home_y + s.mask_y;
        if (x < 0 || y < 0 || x + s.relief->width > box->picture_width || y + s.relief->height > box->picture_height)
            return 0;
    }
    return 1;
}

static int read_cut(CacheReader *in, const ChunkId *id, const BoxInfo *box, CutResult *r)
{
    uint8_t head[24];
    ChunkId file_id;
    if (box->piece_size < 1 || box->piece_size > INT32_MAX / 4 || !read_bytes(in, head, sizeof head))
        return 0;
    memcpy(file_id.word, head + 4, sizeof file_id.word);
    for (uint32_t &w : file_id.word)
        w = get32((const uint8_t *)&w);
    return get32(head) == CHUNK_TEMP && chunk_same_id(&file_id, id) && get32(head + 20) == (uint32_t)CUT_CACHE_VERSION &&
           read_pieces(in, box, r) && read_shapes(in, box, r) && read_words(in, &r->shadow_distance, 1) &&
           r->shadow_distance == cut_shadow_distance(box->piece_size) && in->left == 0;
}

int cut_cache_load(const char *box_name, const ChunkId *id, const BoxInfo *box)
{
    cut_result_free();
    char path[sizeof(SafeFile::target)];
    FILE *f = cache_path(box_name, path, sizeof path) ? chunk_open(path, "rb") : nullptr;
    if (!f)
        return 0;
    CacheReader in = {f, chunk_file_size(f)};
    CutResult r = {};
    int ok = in.left >= 0 && read_cut(&in, id, box, &r);
    fclose(f);
    if (!ok) {
        cut_free_result(&r);
        return 0;
    }
    cut_result = r;
    return 1;
}
