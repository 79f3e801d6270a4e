// pelmora-tool cut: cuts a picture the way a game does and writes what came out as
// pictures a person can look at: every shape's coverage, its lit relief and its shadow,
// and all pieces drawn lit at their home places on a plain table.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "image/bmp.h"
#include "image/gformat.h"
#include "image/imgfile.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "platform/video.h"
#include "puzzle/curve.h"
#include "puzzle/cut.h"
#include "puzzle/piece.h"
#include "res/datapack.h"
#include "tools/tool.h"

constexpr uint32_t TABLE_COLOUR = 0x5A4632;  // a dark walnut table under the pieces

struct CutArgs {
    const char *picture = nullptr, *out = nullptr, *pack = "data.pck";
    int piece_size = 32, jitter = 0, shape = 1, angle = 0;
};

static bool parse_cut_args(int argc, char **argv, CutArgs *a)
{
    if (argc < 4)
        return false;
    a->picture = argv[2];
    for (int i = 3; i < argc; i++) {
        const char *opt = argv[i], *val = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!val)
            return false;
        i++;
        if (strcmp(opt, "--out") == 0)
            a->out = val;
        else if (strcmp(opt, "--pack") == 0)
            a->pack = val;
        else if (strcmp(opt, "--piece-size") == 0 && tool_int(val, 2, 100000, &a->piece_size))
            continue;
        else if (strcmp(opt, "--jitter") == 0 && tool_int(val, 0, 40, &a->jitter))
            continue;
        else if (strcmp(opt, "--shape") == 0 && tool_int(val, 0, 7, &a->shape))
            continue;
        else if (strcmp(opt, "--angle") == 0 && tool_int(val, -100000, 100000, &a->angle))
            continue;
        else
            return false;
    }
    return a->out != nullptr;
}

// Writes a grey (or colour) picture as BMP under the output folder.
static bool save_bmp(const std::string &path, Picture *p)
{
    if (p->format == IMG_8BIT) {
        Picture *rgb = picture_create(p->width, p->height, IMG_BGR);
        img_convert(rgb, p);
        bool ok = bmp_save(path.c_str(), rgb) == 0;
        picture_free(rgb);
        return ok;
    }
    return bmp_save(path.c_str(), p) == 0;
}

// The three pictures of one shape: coverage as grey, the relief lit as a grey picture
// lies on a black table would be, and the shadow as darkness on white.
static bool save_shape(const std::string &dir, int index, const Shape &s)
{
    ImgView r;
    img_view(&r, s.relief, 0, 0);
    Picture *cover = picture_create(r.width, r.height, IMG_8BIT);
    Picture *lit = picture_create(r.width, r.height, IMG_8BIT);
    for (int32_t y = 0; y < r.height; y++)
        for (int32_t x = 0; x < r.width; x++) {
            uint16_t v;
            memcpy(&v, r.colour + (size_t)y * r.colour_stride + (size_t)x * 2, 2);
            uint8_t *c = cover->colour + (size_t)y * cover->colour_stride + x;
            uint8_t *l = lit->colour + (size_t)y * lit->colour_stride + x;
            if (v == SHAPE_FLAT) {
                *c = 255;
                *l = light_colour[(16 << 13) | (31 << 8) | 160];
            } else {
                *c = (uint8_t)((v & 31) * 255 / 31);
                *l = light_colour[((light_of_shape[v] >> 6) << 8) | 160];
            }
        }
    char name[64];
    snprintf(name, sizeof name, "/shape%04d_", index);
    bool ok = save_bmp(dir + name + "coverage.bmp", cover) && save_bmp(dir + name + "lit.bmp", lit);
    picture_free(cover);
    picture_free(lit);
    if (ok && s.shadow) {
        ImgView sv;
        img_view(&sv, s.shadow, 0, 0);
        Picture *shadow = picture_create(sv.width, sv.height, IMG_8BIT);
        for (int32_t y = 0; y < sv.height; y++)
            for (int32_t x = 0; x < sv.width; x++)
                shadow->colour[(size_t)y * shadow->colour_stride + x] =
                    (uint8_t)(255 - sv.colour[(size_t)y * sv.colour_stride + x]);
        ok = save_bmp(dir + name + "shadow.bmp", shadow);
        picture_free(shadow);
    }
    return ok;
}

// All pieces lit at their home places, turned by `angle`, on a plain table.
static bool save_table(const std::string &path, Img *picture, int angle)
{
    Img *table = img_create(picture->width, picture->height, IMG_BGR);
    ImgView tv;
    img_view(&tv, table, 0, 0);
    img_fill_view(&tv, TABLE_COLOUR);
    piece_scene_set(table, picture, cut_result.shapes, cut_result.shape_count);
    for (int32_t i = 0; i < cut_result.piece_count; i++) {
        const CutPiece &c = cut_result.pieces[i];
        const Shape &s = cut_result.shapes[c.shape];
        Piece p = {};
        p.home_x = c.home_x + s.mask_x;
        p.home_y = c.home_y + s.mask_y;
        p.x = p.home_x;
        p.y = p.home_y;
        p.shape = c.shape;
        p.angle = ((angle % 360) + 360) % 360;
        p.below = p.above = p.group = -1;
        piece_geometry_update(&p);
        piece_draw(&p, PIECE_BODY);
    }
    ImgView out;
    img_view(&out, table, 0, 0);
    bool ok = bmp_save(path.c_str(), &out) == 0;
    img_free(table);
    return ok;
}

int tool_cut(int argc, char **argv)
{
    CutArgs a;
    if (!parse_cut_args(argc, argv, &a))
        return tool_usage();
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    screen.bytes_per_pixel = 3;
    if (!tool_file_exists(a.picture))
        return 1;
    if (!gformat_read(a.picture)) {
        const char *why = codec_last_report();
        return tool_fail(a.picture, why[0] ? why : "not a picture this game reads (BMP, JPEG, PNG or TIFF)");
    }
    Img *picture = gformat_to_img();
    gformat_free();
    if (a.piece_size < 10 || a.piece_size * 2 > (picture->width < picture->height ? picture->width : picture->height)) {
        img_free(picture);
        return tool_fail(a.picture, "the piece size must be at least 10 and at most half the smaller side");
    }
    if (!tool_file_exists(a.pack) || !tool_open_pack(a.pack)) {
        img_free(picture);
        return 1;
    }
    curves_init();
    light_tables_build();

    BoxInfo box = {};
    box.piece_size = a.piece_size;
    box.jitter = a.jitter;
    box.shape = a.shape;
    box.picture_width = picture->width;
    box.picture_height = picture->height;
    auto t0 = std::chrono::steady_clock::now();
    cut_grid_init(&box);
    cut_pieces_build();
    cut_grid_free();
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();

    std::string dir = a.out;
    bool ok = make_dir(a.out);
    for (int32_t i = 0; ok && i < cut_result.shape_count; i++)
        ok = save_shape(dir, i, cut_result.shapes[i]);
    ok = ok && save_table(dir + "/pieces.bmp", picture, a.angle);
    printf("pieces %d\nshapes %d\ncut %.1f ms\n", cut_result.piece_count, cut_result.shape_count, ms);

    cut_result_free();
    curves_done();
    dp_close();
    img_free(picture);
    return ok ? 0 : tool_fail(a.out, "cannot write the pictures");
}
