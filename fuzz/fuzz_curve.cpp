// The edge curve reader on arbitrary bytes as "curves/c_0.crv" of a loose data folder.
// A damaged curve file is refused by curve_load's designed fatal error. A curve that
// loads runs from (0, 0) to (1, y); it is then drawn as the cutter draws edges, plain
// and mirrored, and a small picture is cut with it.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "fuzz/support.h"
#include "image/img.h"
#include "platform/memory.h"
#include "puzzle/curve.h"
#include "puzzle/cut.h"
#include "res/datapack.h"

static const char *const curve_refusals[] = {"curve->n>MAX_CONTROLPOINTS", "curve_load: ", nullptr};

// The loaded curve into an 8-bit canvas, as an edge across it and turned about.
static void rasterize(void)
{
    Img *canvas = img_create(48, 48, IMG_8BIT);
    const int32_t ends[][4] = {{4, 24, 44, 24}, {24, 44, 24, 4}, {40, 40, 8, 8}};
    for (int32_t type : {0, CURVE_MIRRORED})
        for (const auto &e : ends) {
            img_fill(canvas, 255);
            int32_t n;
            CurvePoint *p = curve_get(type, &n);
            curve_map(p, n, e[0], e[1], e[2], e[3]);
            curve_rasterize(canvas, p, n);
        }
    img_free(canvas);
}

// A 30 x 20 picture in pieces of 10 whose inner edges all follow the loaded curve.
static void cut_with_curve(void)
{
    BoxInfo box = {};
    box.piece_size = 10;
    box.jitter = 20;
    box.shape = 0;
    box.picture_width = 30;
    box.picture_height = 20;
    cut_grid_init(&box);
    cut_pieces_build();
    cut_grid_free();
    if (cut_result.piece_count != 6)
        fuzz_fail("a cut with a loaded curve lost pieces");
    cut_result_free();
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    std::filesystem::create_directories(fuzz_path("curves"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string folder = fuzz_dir() + "@";
    int32_t held = fuzz_blocks_held();
    fuzz_write(fuzz_path("curves/c_0.crv"), data, size);
    dp_open(folder.c_str());
    fuzz_expect_fatal(curve_refusals);
    bool loaded = true;
    try {
        curve_load(&curves[0], dp_get_index("curves/c_0.crv", 1));
    } catch (const FuzzFatal &) {
        loaded = false;
    }
    fuzz_expect_fatal(nullptr);
    if (loaded) {
        const Curve &c = curves[0];
        if (c.n < 1 || c.n > MAX_CONTROLPOINTS || c.points[0].x != 0 || c.points[0].y != 0 ||
            (c.n > 1 && c.points[c.n - 1].x != 1))
            fuzz_fail("a loaded curve does not run from (0, 0) to (1, y)");
        rasterize();
        cut_with_curve();
    }
    curves_done();
    dp_close();
    fuzz_check_balance(held, "curve_load");
    return 0;
}
