// The cut cache reader on arbitrary bytes as the cache file of one box (a 40 x 30
// picture in pieces of 10, the box the seeds were cut for). A cut that loads is then
// drawn as the play room draws it: every piece lit at 0, 45, 90 and 200 degrees, lying
// and lifted with its shadow, some pieces hanging over the table's edges.
#include <cstdint>
#include <string>

#include "fuzz/support.h"
#include "image/img.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "puzzle/cut.h"
#include "puzzle/piece.h"

static const BoxInfo fuzz_box = {10, 20, 1, 40, 30, 12, 0, 0, 0, 0, 0, 0, 0, 0};
static const ChunkId fuzz_id = {{11, 22, 33, 125}};
static const int32_t fuzz_angles[] = {0, 45, 90, 200};

static Img *table, *picture;

// Every piece of the loaded cut at each angle, lying and lifted, around the table.
static void draw_cut(void)
{
    piece_scene_set(table, picture, cut_result.shapes, cut_result.shape_count);
    for (int32_t angle : fuzz_angles)
        for (int32_t i = 0; i < cut_result.piece_count; i++) {
            const CutPiece &c = cut_result.pieces[i];
            const Shape &s = cut_result.shapes[c.shape];
            Piece p = {};
            p.home_x = c.home_x + s.mask_x;
            p.home_y = c.home_y + s.mask_y;
            // Home places moved into the table, every third piece over its left and top edges.
            p.x = i % 3 ? p.home_x + 20 : p.home_x - 12;
            p.y = i % 3 ? p.home_y + 15 : p.home_y - 9;
            p.shape = c.shape;
            p.angle = angle;
            p.selected = i % 2;
            p.below = p.above = p.group = -1;
            piece_geometry_update(&p);
            piece_draw(&p, PIECE_BODY);
            p.lift = cut_result.shadow_distance;
            piece_geometry_update(&p);
            piece_draw(&p, PIECE_SHADOW);
            piece_draw(&p, PIECE_BODY);
        }
    piece_scene = {};
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzz_keep_artifacts_here(argc, argv);
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    light_tables_build();
    table = img_create(80, 60, IMG_BGR);
    picture = img_create(fuzz_box.picture_width, fuzz_box.picture_height, IMG_BGR);
    uint8_t *p = (uint8_t *)picture + picture->colour_offset;
    for (uint32_t i = 0; i < picture->colour_stride * (uint32_t)picture->height; i++)
        p[i] = (uint8_t)(i * 7);
    fuzz_enter_dir();
    if (!make_dir("sfiles/temp"))
        fuzz_fail("cannot make the cache folder");
    fuzz_leave_dir();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string path = fuzz_path("sfiles/temp/box.tmp");
    int32_t held = fuzz_blocks_held();
    fuzz_write(path, data, size);
    fuzz_enter_dir();
    int loaded = cut_cache_load("box", &fuzz_id, &fuzz_box);
    fuzz_leave_dir();
    if (loaded) {
        if (cut_result.piece_count != fuzz_box.piece_count)
            fuzz_fail("a loaded cut has another piece count than its box");
        draw_cut();
    } else if (cut_result.piece_count || cut_result.shape_count || cut_result.pieces || cut_result.shapes) {
        fuzz_fail("a refused cache left a cut behind");
    }
    cut_result_free();
    fuzz_check_balance(held, "cut_cache_load");
    return 0;
}
