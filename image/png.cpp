// PNG pictures through libpng's row interface. libpng reports errors by longjmp to the
// jump buffer in its read struct; the struct pointers live in the module's state
// record, not in locals, so nothing the recovery path frees can be clobbered, and no
// C++ object with a destructor lives in the functions between setjmp and a longjmp.
// The recovery path gives everything back with png_destroy_read_struct.
#include "image/png.h"

#include <csetjmp>
#include <cstring>
#include <png.h>

#include "image/imgfile.h"

// The same caps as the other codecs: a header may claim 2^31 pixels a side, and the
// size is checked before anything is allocated for it.
constexpr uint32_t PNG_MAX_SIDE = 16384;
constexpr uint64_t PNG_MAX_PIXELS = (uint64_t)1 << 26;  // 64 Mpx: 192 MB of colour
// Text, colour profiles and other side chunks larger than this (also once unpacked) are
// dropped with a warning rather than held in memory.
constexpr png_alloc_size_t PNG_MAX_CHUNK = (png_alloc_size_t)8 << 20;

// The reader under way. PNG readers are never used nested, so one is enough.
struct PngState {
    png_structp png;
    png_infop info;
};
static PngState pg;

static int png_fail(const char *text)
{
    codec_report(text);
    return 1;
}

[[noreturn]] static void png_error_jump(png_structp png, png_const_charp message)
{
    char text[256];
    snprintf(text, sizeof text, "PNG: %s", message ? message : "unknown error");
    codec_report(text);
    png_longjmp(png, 1);
}

// Warnings (a damaged side chunk dropped, extra data after the picture) cost nothing
// that shows.
static void png_warning_drop(png_structp, png_const_charp)
{
}

// Reports and returns to the recovery point of the operation under way.
[[noreturn]] static void png_give_up(const char *text)
{
    codec_report(text);
    png_longjmp(pg.png, 1);
}

// A reader and its info record for the file; 1 (reported) when libpng cannot make them.
static int png_start(FILE *f)
{
    pg.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, png_error_jump, png_warning_drop);
    if (!pg.png)
        return png_fail("PNG: cannot start the reader");
    pg.info = png_create_info_struct(pg.png);
    if (!pg.info) {
        png_destroy_read_struct(&pg.png, nullptr, nullptr);
        return png_fail("PNG: cannot start the reader");
    }
    png_set_chunk_malloc_max(pg.png, PNG_MAX_CHUNK);
    // Colour-space chunks are not read: the stored values are the picture, as with the
    // other codecs, and libpng would otherwise lay transparency over white in linear
    // light for files that name a gamma and in the stored values for those that do not.
    static const png_byte colour_space_chunks[] = "gAMA\0cHRM\0sRGB\0iCCP";
    png_set_keep_unknown_chunks(pg.png, PNG_HANDLE_CHUNK_NEVER, colour_space_chunks, 4);
    png_init_io(pg.png, f);
    return 0;
}

static void png_finish(void)
{
    png_destroy_read_struct(&pg.png, &pg.info, nullptr);
}

// Reads the signature and every chunk up to the pixel data and checks the size.
static void png_read_header(uint32_t *width, uint32_t *height)
{
    png_read_info(pg.png, pg.info);
    uint32_t w = png_get_image_width(pg.png, pg.info), h = png_get_image_height(pg.png, pg.info);
    if (w == 0 || h == 0 || w > PNG_MAX_SIDE || h > PNG_MAX_SIDE || (uint64_t)w * h > PNG_MAX_PIXELS)
        png_give_up("PNG: picture too large");
    *width = w;
    *height = h;
}

int png_read_info(FILE *f, int32_t *width, int32_t *height, uint32_t *format)
{
    long start = f ? ftell(f) : -1;
    if (start < 0)
        return png_fail("PNG: cannot tell the file position");
    if (png_start(f))
        return 1;
    if (setjmp(png_jmpbuf(pg.png))) {
        png_finish();
        fseek(f, start, SEEK_SET);
        return 1;
    }
    uint32_t w, h;
    png_read_header(&w, &h);
    *width = (int32_t)w;
    *height = (int32_t)h;
    *format = IMG_BGR;
    png_finish();
    fseek(f, start, SEEK_SET);
    return 0;
}

// Asks libpng for 8-bit blue, green, red whatever the file holds: palettes and grey of
// 1, 2 or 4 bits are expanded, 16 bits scaled with rounding, grey spread to colour, and
// alpha or a transparent colour laid over white (in the stored values, as the other
// codecs hand pixels on without gamma correction).
static void png_ask_for_bgr(void)
{
    int type = png_get_color_type(pg.png, pg.info);
    bool alpha = (type & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(pg.png, pg.info, PNG_INFO_tRNS) != 0;
    png_set_expand(pg.png);
    png_set_scale_16(pg.png);
    png_set_gray_to_rgb(pg.png);
    if (alpha) {
        png_color_16 white = {0, 255, 255, 255, 255};  // index, red, green, blue, grey
        png_set_background_fixed(pg.png, &white, PNG_BACKGROUND_GAMMA_SCREEN, 0, PNG_FP_1);
    }
    png_set_bgr(pg.png);
}

int png_read_pixels(Picture *picture, FILE *f)
{
    int32_t width, height;
    uint32_t format;
    if (png_read_info(f, &width, &height, &format))
        return 1;
    if (!picture || picture->width != width || picture->height != height || picture->format != format)
        return png_fail("PNG: the picture does not match the file");
    if (png_start(f))
        return 1;
    if (setjmp(png_jmpbuf(pg.png))) {
        png_finish();
        return 1;
    }
    uint32_t w, h;
    png_read_header(&w, &h);
    // The stream was read once already; a file that changed under us is refused here.
    if (w != (uint32_t)picture->width || h != (uint32_t)picture->height)
        png_give_up("PNG: the picture does not match the file");
    png_ask_for_bgr();
    // Interlaced pictures come in seven passes over the same rows, each pass filling
    // in its own pixels, so the picture itself is the only buffer.
    int passes = png_set_interlace_handling(pg.png);
    png_read_update_info(pg.png, pg.info);
    if (png_get_rowbytes(pg.png, pg.info) != (size_t)w * 3 || png_get_bit_depth(pg.png, pg.info) != 8 ||
        png_get_channels(pg.png, pg.info) != 3)
        png_give_up("PNG: cannot convert this kind of picture");
    for (int pass = 0; pass < passes; pass++)
        for (uint32_t y = 0; y < h; y++)
            png_read_row(pg.png, picture->colour + (ptrdiff_t)y * picture->colour_stride, nullptr);
    // What follows the pixels (text, the end chunk) is not read: a file cut after its
    // last pixel data still shows whole, and every pixel chunk's checksum was checked.
    png_finish();
    return 0;
}
