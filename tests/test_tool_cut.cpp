// pelmora-tool cut, end to end: a picture, curves from a pack, pictures out.
#include "image/bmp.h"
#include "res/datapack.h"
#include "tests/curve_files.h"
#include "tests/support.h"

TEST(ToolCut, CutsAPictureIntoViewablePictures)
{
    TempDir dir;
    write_test_curves(dir.file("data"));
    ASSERT_EQ(dp_write_pack(dir.file("data").c_str(), dir.file("curves.pck").c_str()), 1) << dp_write_error();
    img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
    Picture *pic = picture_create(200, 150, IMG_BGR);
    for (int i = 0; i < pic->colour_stride * pic->height; i++)
        pic->colour[i] = (uint8_t)(i * 7);
    ASSERT_EQ(bmp_save(dir.file("pic.bmp").c_str(), pic), 0);
    picture_free(pic);

    ChildOptions opt{.cwd = dir.path};
    int code = wait_child(spawn_child(PELMORA_TOOL_EXE,
                                      {"cut", "pic.bmp", "--piece-size", "50", "--jitter", "10", "--shape", "3",
                                       "--angle", "90", "--pack", "curves.pck", "--out", "out"},
                                      opt),
                          20000);
    ASSERT_EQ(code, 0) << read_file(dir.file("stderr.txt"));
    std::string said = read_file(dir.file("stdout.txt"));
    EXPECT_EQ(said.rfind("pieces 12\nshapes ", 0), 0u) << said;
    for (const char *name : {"out/pieces.bmp", "out/shape0000_coverage.bmp", "out/shape0000_lit.bmp",
                             "out/shape0000_shadow.bmp", "out/shape0011_lit.bmp"})
        EXPECT_EQ(read_file(dir.file(name)).substr(0, 2), "BM") << name;
    EXPECT_EQ(read_file(dir.file("out/pieces.bmp")).size(), 54u + 600u * 150u);

    // Pieces larger than half the picture cannot be cut.
    code = wait_child(spawn_child(PELMORA_TOOL_EXE, {"cut", "pic.bmp", "--piece-size", "80", "--pack", "curves.pck",
                                                     "--out", "out2"},
                                  opt),
                      20000);
    EXPECT_EQ(code, 1);
}
