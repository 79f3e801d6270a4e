// JPEG pictures through libjpeg's 6b interface. Every library error comes back to one
// recovery point (setjmp in the calling function, longjmp from the error manager), so
// nothing that runs between the two may own a C++ object with a destructor: the
// decoder and encoder records are plain C structs, and all of the library's memory is
// given back by jpeg_destroy_* on the recovery path.
#include "image/jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>
#include <jerror.h>

#include "image/imgfile.h"

// Pictures come from anywhere: a header may claim any size up to 65500 x 65500, so the
// size is checked before anything is allocated for it.
constexpr uint32_t JPEG_MAX_SIDE = 16384;
constexpr uint64_t JPEG_MAX_PIXELS = (uint64_t)1 << 26;  // 64 Mpx: 192 MB of colour
// The library's own buffers (a progressive picture keeps all its coefficients, 6 bytes
// a pixel at 4:4:4); with no backing store, asking for more fails the decode.
constexpr long JPEG_MAX_WORK = 512L << 20;
// Each scan walks the whole picture, so a stream of thousands of tiny scans keeps the
// decoder busy for minutes; real progressive files have a dozen or so.
constexpr int JPEG_MAX_SCANS = 200;

// Pictures hold blue, green, red; libjpeg-turbo converts to and from that order itself,
// a plain 6b build delivers red, green, blue and the rows are swapped by hand.
#ifdef JCS_EXTENSIONS
constexpr J_COLOR_SPACE JPEG_BGR_SPACE = JCS_EXT_BGR;
constexpr bool JPEG_SWAP_ROWS = false;
#else
constexpr J_COLOR_SPACE JPEG_BGR_SPACE = JCS_RGB;
constexpr bool JPEG_SWAP_ROWS = true;
#endif

// The one recovery point and the error manager that jumps to it. JPEG objects are never
// used nested, so one of each is enough.
struct JpegState {
    jmp_buf recover;
    jpeg_error_mgr errors;
    jpeg_progress_mgr progress;
    bool hit_end;       // the file ended where the decoder still read; see jpeg_emit_text
    uint32_t scanned;   // one bit per component some scan has carried so far
};
static JpegState jpg;

static int jpeg_fail(const char *text)
{
    codec_report(text);
    return 1;
}

// Reports and returns to the recovery point of the operation under way.
[[noreturn]] static void jpeg_give_up(const char *text)
{
    codec_report(text);
    longjmp(jpg.recover, 1);
}

static void jpeg_output_text(j_common_ptr cinfo)
{
    char message[JMSG_LENGTH_MAX];
    cinfo->err->format_message(cinfo, message);
    char text[JMSG_LENGTH_MAX + 8];
    snprintf(text, sizeof text, "JPG: %s", message);
    codec_report(text);
}

[[noreturn]] static void jpeg_error_jump(j_common_ptr cinfo)
{
    cinfo->err->output_message(cinfo);
    longjmp(jpg.recover, 1);
}

// Warnings and trace messages are dropped, except the warnings by which the library
// says it has lost picture data and is filling in grey: a truncated or damaged file
// is a failure, not a picture with a grey bottom half.
//
// The end of the file alone is not such a warning. Cameras and downloads often cut just
// the end marker, and the decoder reads a few bytes ahead while it decodes the last
// blocks, so the warning comes for those files too, in the middle of the last scanlines.
// Huffman data that really runs out says so again (JWRN_HIT_MARKER) as soon as a block
// needs the missing bits; arithmetic data is padded without a word, so there an end
// before the scan's last row of blocks is taken as lost data. Scans missing as a whole
// are caught by jpeg_all_scans_read once the scanlines are in.
static void jpeg_emit_text(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return;
    switch (cinfo->err->msg_code) {
    case JWRN_JPEG_EOF:
        if (cinfo->is_decompressor) {
            j_decompress_ptr d = (j_decompress_ptr)cinfo;
            if (d->arith_code && d->input_iMCU_row + 1 < d->total_iMCU_rows)
                jpeg_error_jump(cinfo);
        }
        jpg.hit_end = true;
        break;
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_MUST_RESYNC:
#if defined(C_ARITH_CODING_SUPPORTED) || defined(D_ARITH_CODING_SUPPORTED) || JPEG_LIB_VERSION >= 70
    case JWRN_ARITH_BAD_CODE:
#endif
        jpeg_error_jump(cinfo);
    default:
        break;
    }
}

// Also notes which components the scan under way carries, for jpeg_all_scans_read.
static void jpeg_scan_guard(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor)
        return;
    j_decompress_ptr d = (j_decompress_ptr)cinfo;
    if (d->input_scan_number > JPEG_MAX_SCANS)
        jpeg_give_up("JPG: too many scans");
    for (int i = 0; i < d->comps_in_scan && i < MAX_COMPS_IN_SCAN; i++)
        if (d->cur_comp_info[i] && d->cur_comp_info[i]->component_index < 32)
            jpg.scanned |= 1u << d->cur_comp_info[i]->component_index;
}

// Whether every scan the picture needs was read, for a file whose end came early: a
// progressive picture has every coefficient of every component at full precision, a
// sequential one has had each component in some scan.
static bool jpeg_all_scans_read(j_decompress_ptr d)
{
    if (d->progressive_mode) {
        if (!d->coef_bits)
            return false;
        for (int c = 0; c < d->num_components; c++)
            for (int k = 0; k < DCTSIZE2; k++)
                if (d->coef_bits[c][k] != 0)
                    return false;
        return true;
    }
    uint32_t all = d->num_components >= 32 ? UINT32_MAX : (1u << d->num_components) - 1;
    return (jpg.scanned & all) == all;
}

static jpeg_error_mgr *jpeg_errors_setup(void)
{
    jpeg_std_error(&jpg.errors);
    jpg.errors.error_exit = jpeg_error_jump;
    jpg.errors.emit_message = jpeg_emit_text;
    jpg.errors.output_message = jpeg_output_text;
    jpg.hit_end = false;
    jpg.scanned = 0;
    return &jpg.errors;
}

// The picture format for the output colour space the library proposes after reading
// the header: grey is format 1, every other known space becomes colour; 0 when unknown.
static uint32_t jpeg_proposed_format(const jpeg_decompress_struct *d)
{
    if (d->out_color_space == JCS_UNKNOWN)
        return 0;
    return d->out_color_space == JCS_GRAYSCALE ? IMG_8BIT : IMG_BGR;
}

static bool jpeg_size_ok(uint32_t width, uint32_t height)
{
    return width > 0 && height > 0 && width <= JPEG_MAX_SIDE && height <= JPEG_MAX_SIDE &&
           (uint64_t)width * height <= JPEG_MAX_PIXELS;
}

static void jpeg_swap_row(uint8_t *row, uint32_t width)
{
    for (uint32_t x = 0; x < width; x++, row += 3) {
        uint8_t t = row[0];
        row[0] = row[2];
        row[2] = t;
    }
}

int jpeg_read_info(FILE *f, int32_t *width, int32_t *height, uint32_t *format)
{
    long start = f ? ftell(f) : -1;
    if (start < 0)
        return jpeg_fail("JPG: cannot tell the file position");
    jpeg_decompress_struct d;
    memset(&d, 0, sizeof d);  // jpeg_destroy must find no memory manager if creation fails
    d.err = jpeg_errors_setup();
    if (setjmp(jpg.recover)) {
        jpeg_destroy_decompress(&d);
        fseek(f, start, SEEK_SET);
        return 1;
    }
    jpeg_create_decompress(&d);
    jpeg_stdio_src(&d, f);
    jpeg_read_header(&d, TRUE);
    if (!jpeg_proposed_format(&d))
        jpeg_give_up("JPG: unknown colour space");
    if (!jpeg_size_ok(d.image_width, d.image_height))
        jpeg_give_up("JPG: picture too large");
    *width = (int32_t)d.image_width;
    *height = (int32_t)d.image_height;
    *format = jpeg_proposed_format(&d);
    jpeg_destroy_decompress(&d);
    fseek(f, start, SEEK_SET);
    return 0;
}

int jpeg_read_pixels(Picture *picture, FILE *f)
{
    int32_t width, height;
    uint32_t format;
    if (jpeg_read_info(f, &width, &height, &format))
        return 1;
    if (!picture || picture->width != width || picture->height != height || picture->format != format)
        return jpeg_fail("JPG: the picture does not match the file");

    jpeg_decompress_struct d;
    memset(&d, 0, sizeof d);
    d.err = jpeg_errors_setup();
    if (setjmp(jpg.recover)) {
        jpeg_destroy_decompress(&d);
        return 1;
    }
    jpeg_create_decompress(&d);
    d.mem->max_memory_to_use = JPEG_MAX_WORK;
    jpg.progress = {};
    jpg.progress.progress_monitor = jpeg_scan_guard;
    d.progress = &jpg.progress;
    jpeg_stdio_src(&d, f);
    jpeg_read_header(&d, TRUE);
    // The stream was read once already; a file that changed under us is refused here.
    if (jpeg_proposed_format(&d) != picture->format || d.image_width != (uint32_t)picture->width ||
        d.image_height != (uint32_t)picture->height)
        jpeg_give_up("JPG: the picture does not match the file");
    bool grey = picture->format == IMG_8BIT;
    d.out_color_space = grey ? JCS_GRAYSCALE : JPEG_BGR_SPACE;
    d.dct_method = JDCT_FLOAT;
    jpeg_start_decompress(&d);
    if (d.output_width != (uint32_t)picture->width || d.output_height != (uint32_t)picture->height ||
        d.output_components != (grey ? 1 : 3))
        jpeg_give_up("JPG: the picture does not match the file");
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = picture->colour + (ptrdiff_t)d.output_scanline * picture->colour_stride;
        if (jpeg_read_scanlines(&d, &row, 1) != 1)
            jpeg_give_up("JPG: short scanline");
        if (JPEG_SWAP_ROWS && !grey)
            jpeg_swap_row(row, d.output_width);
    }
    // Past this point only the end marker is left to read; its absence costs nothing.
    if (jpg.hit_end && !jpeg_all_scans_read(&d))
        jpeg_give_up("JPG: Premature end of JPEG file");
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return 0;
}

int jpeg_write(FILE *f, const Picture *picture, int quality)
{
    if (!f || !picture || picture->width <= 0 || picture->height <= 0)
        return jpeg_fail("JPG: nothing to write");
    bool grey = picture->format == IMG_8BIT;
    if (!grey && picture->format != IMG_BGR && picture->format != IMG_BGRA)
        return jpeg_fail("JPG: only grey and colour pictures can be written");

    jpeg_compress_struct c;
    memset(&c, 0, sizeof c);
    c.err = jpeg_errors_setup();
    if (setjmp(jpg.recover)) {
        jpeg_destroy_compress(&c);
        return 1;
    }
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = (JDIMENSION)picture->width;
    c.image_height = (JDIMENSION)picture->height;
    c.input_components = (int)img_colour_bytes(picture->format);  // the alpha plane is left out
    c.in_color_space = grey ? JCS_GRAYSCALE : JPEG_BGR_SPACE;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    c.optimize_coding = TRUE;
    c.dct_method = JDCT_FLOAT;
    jpeg_start_compress(&c, TRUE);
    // The picture is the caller's; swapped rows go through a buffer the library frees.
    JSAMPARRAY swapped = nullptr;
    if (JPEG_SWAP_ROWS && !grey)
        swapped = c.mem->alloc_sarray((j_common_ptr)&c, JPOOL_IMAGE, c.image_width * 3, 1);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = picture->colour + (ptrdiff_t)c.next_scanline * picture->colour_stride;
        if (swapped) {
            memcpy(swapped[0], row, (size_t)c.image_width * 3);
            jpeg_swap_row(swapped[0], c.image_width);
            row = swapped[0];
        }
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);  // flushes and checks the stream; a write error fails here
    jpeg_destroy_compress(&c);
    return 0;
}
