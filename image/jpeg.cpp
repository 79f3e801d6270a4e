// JPEG pictures through libjpeg's 6b interface. Every library error comes back to one
// recovery point (setjmp in the calling function, longjmp from the error manager), so
// nothing that runs between the two may own a C++ object with a destructor: the
// decoder and encoder records are plain C structs, and all of the library's memory is
// given back by jpeg_destroy_* on the recovery path.
//
// For pictures the player picks, a camera's EXIF orientation is read from the APP1
// segment by our own marker reader and applied while the rows come in, and a picture
// can be decoded at one to eight eighths of its size, which the library does for much
// less than the whole decode costs.
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
// Turned pictures are read this many stored rows at a time, so that each of the
// picture's rows gets runs of this many pixels rather than one at a time.
constexpr int JPEG_BAND_ROWS = 32;
// An APP1 segment holds at most this many bytes after its length.
constexpr size_t JPEG_APP1_MAX = 65533;

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
    bool exif_seen;     // an EXIF segment was read; later ones are skipped
    int orientation;    // from the EXIF segment, 1 (as stored) without one
    uint8_t exif[JPEG_APP1_MAX];
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
    jpg.exif_seen = false;
    jpg.orientation = 1;
    return &jpg.errors;
}

static uint32_t exif_get(const uint8_t *p, int bytes, bool little)
{
    uint32_t v = 0;
    for (int i = 0; i < bytes; i++)
        v |= (uint32_t)p[little ? i : bytes - 1 - i] << (8 * i);
    return v;
}

// Only the first directory is looked at, and only a well-formed orientation entry (one
// SHORT of 1..8) counts; anything pointing outside the data is no orientation.
int jpeg_exif_orientation(const uint8_t *tiff, size_t size)
{
    constexpr uint16_t TAG_ORIENTATION = 0x0112, TYPE_SHORT = 3;
    if (!tiff || size < 8)
        return 1;
    bool little;
    if (tiff[0] == 'I' && tiff[1] == 'I')
        little = true;
    else if (tiff[0] == 'M' && tiff[1] == 'M')
        little = false;
    else
        return 1;
    if (exif_get(tiff + 2, 2, little) != 42)
        return 1;
    size_t ifd = exif_get(tiff + 4, 4, little);
    if (ifd < 8 || ifd > size - 2)
        return 1;
    size_t count = exif_get(tiff + ifd, 2, little);
    for (size_t i = 0, at = ifd + 2; i < count && at + 12 <= size; i++, at += 12) {
        if (exif_get(tiff + at, 2, little) != TAG_ORIENTATION)
            continue;
        if (exif_get(tiff + at + 2, 2, little) != TYPE_SHORT || exif_get(tiff + at + 4, 4, little) != 1)
            return 1;
        uint32_t v = exif_get(tiff + at + 8, 2, little);
        return v >= 1 && v <= 8 ? (int)v : 1;
    }
    return 1;
}

// The stream, read in large pieces. libjpeg's stdio source reads 4 KB at a time, and the
// Huffman decoder takes its fast path only with a few KB in hand (one full block per
// block of the MCU), so through it most of a picture would be decoded the slow way.
// At the end of the file it warns and hands out an end marker, as the stdio source does.
constexpr size_t JPEG_INPUT_BUFFER = (size_t)64 << 10;

struct JpegSource {
    jpeg_source_mgr pub;
    FILE *file;
    JOCTET *buffer;
    bool started;  // something was read: an empty file is an error, not a cut one
};

static void jpeg_source_nothing(j_decompress_ptr)
{
}

static boolean jpeg_source_fill(j_decompress_ptr d)
{
    JpegSource *s = (JpegSource *)d->src;
    size_t n = fread(s->buffer, 1, JPEG_INPUT_BUFFER, s->file);
    if (n == 0) {
        if (!s->started)
            ERREXIT(d, JERR_INPUT_EMPTY);
        WARNMS(d, JWRN_JPEG_EOF);
        s->buffer[0] = 0xFF;
        s->buffer[1] = JPEG_EOI;
        n = 2;
    }
    s->started = true;
    s->pub.next_input_byte = s->buffer;
    s->pub.bytes_in_buffer = n;
    return TRUE;
}

static void jpeg_source_skip(j_decompress_ptr d, long count)
{
    if (count <= 0)
        return;
    while (count > (long)d->src->bytes_in_buffer) {
        count -= (long)d->src->bytes_in_buffer;
        jpeg_source_fill(d);
    }
    d->src->next_input_byte += count;
    d->src->bytes_in_buffer -= (size_t)count;
}

// Like jpeg_stdio_src; the record and its buffer live in the object's pool.
static void jpeg_file_src(j_decompress_ptr d, FILE *f)
{
    JpegSource *s = (JpegSource *)d->mem->alloc_small((j_common_ptr)d, JPOOL_PERMANENT, sizeof(JpegSource));
    s->buffer = (JOCTET *)d->mem->alloc_large((j_common_ptr)d, JPOOL_PERMANENT, JPEG_INPUT_BUFFER);
    s->file = f;
    s->started = false;
    s->pub.init_source = jpeg_source_nothing;
    s->pub.fill_input_buffer = jpeg_source_fill;
    s->pub.skip_input_data = jpeg_source_skip;
    s->pub.resync_to_restart = jpeg_resync_to_restart;
    s->pub.term_source = jpeg_source_nothing;
    s->pub.next_input_byte = nullptr;
    s->pub.bytes_in_buffer = 0;
    d->src = &s->pub;
}

// Takes up to n bytes from the stream into `to` (null: drops them) and says how many.
// It stops where the file ends: the source then hands out a made-up end marker, left
// for the marker reader, which fails the read.
static size_t jpeg_take_bytes(j_decompress_ptr d, uint8_t *to, size_t n)
{
    jpeg_source_mgr *s = d->src;
    size_t taken = 0;
    while (taken < n && !jpg.hit_end) {
        if (s->bytes_in_buffer == 0 && !s->fill_input_buffer(d))
            jpeg_give_up("JPG: the stream stalled");  // files never suspend
        if (jpg.hit_end)
            break;
        size_t k = n - taken < s->bytes_in_buffer ? n - taken : s->bytes_in_buffer;
        if (to)
            memcpy(to + taken, s->next_input_byte, k);
        s->next_input_byte += k;
        s->bytes_in_buffer -= k;
        taken += k;
    }
    return taken;
}

// The APP1 marker reader: the first whole segment that begins "Exif\0\0" gives the
// orientation; every other APP1 (XMP, a second EXIF) is skipped, so memory stays one
// segment whatever the file holds.
static boolean jpeg_read_app1(j_decompress_ptr d)
{
    uint8_t length[2];
    if (jpeg_take_bytes(d, length, 2) < 2)
        return TRUE;
    size_t rest = (size_t)(length[0] << 8 | length[1]);
    rest = rest >= 2 ? rest - 2 : 0;
    if (jpg.exif_seen) {
        jpeg_take_bytes(d, nullptr, rest);
        return TRUE;
    }
    size_t n = jpeg_take_bytes(d, jpg.exif, rest);
    if (n == rest && n >= 6 && memcmp(jpg.exif, "Exif\0\0", 6) == 0) {
        jpg.exif_seen = true;
        jpg.orientation = jpeg_exif_orientation(jpg.exif + 6, n - 6);
    }
    return TRUE;
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

// Whether the orientation shows stored rows as columns (a quarter turn, with or
// without a mirror).
static bool jpeg_turned(int orientation)
{
    return orientation >= 5;
}

int jpeg_fit_scale(int32_t width, int32_t height, int32_t fit_w, int32_t fit_h)
{
    if (width <= 0 || height <= 0 || fit_w <= 0 || fit_h <= 0)
        return 8;
    int64_t w = width, h = height, want_w = w, want_h = h;
    if (w >= fit_w || h >= fit_h) {
        // The smaller of fit_w / w and fit_h / h, compared and applied in integers so
        // the side it is taken from comes out exact.
        if ((int64_t)fit_w * h <= (int64_t)fit_h * w)
            want_w = fit_w, want_h = h * fit_w / w;
        else
            want_h = fit_h, want_w = w * fit_h / h;
    }
    // The library's output at M/8 is each side times M/8, rounded up.
    for (int m = 1; m < 8; m++)
        if ((w * m + 7) / 8 >= want_w && (h * m + 7) / 8 >= want_h)
            return m;
    return 8;
}

// The orientation is what the segments before the picture data said: an EXIF segment
// between the scans of a progressive picture must not turn it part way.
static void jpeg_fix_orientation(void)
{
    jpg.exif_seen = true;
}

// Reads the header of an object made on the stream; upright, listening for the EXIF
// segment (without, APP1 segments are skipped by the library as they always were).
static void jpeg_open(jpeg_decompress_struct *d, FILE *f, bool upright)
{
    jpeg_file_src(d, f);
    if (upright)
        jpeg_set_marker_processor(d, JPEG_APP0 + 1, jpeg_read_app1);
    jpeg_read_header(d, TRUE);
    jpeg_fix_orientation();
}

// The header step at a scale (eighths), or with scale 0 at the one jpeg_fit_scale picks
// for the fit. The caps apply to the decoded size.
static int jpeg_probe(FILE *f, int scale, int32_t fit_w, int32_t fit_h, bool upright, JpegFit *fit)
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
    jpeg_open(&d, f, upright);
    if (!jpeg_proposed_format(&d))
        jpeg_give_up("JPG: unknown colour space");
    bool turned = jpeg_turned(jpg.orientation);
    fit->file_width = (int32_t)(turned ? d.image_height : d.image_width);
    fit->file_height = (int32_t)(turned ? d.image_width : d.image_height);
    fit->scale = scale ? scale : jpeg_fit_scale(fit->file_width, fit->file_height, fit_w, fit_h);
    if (fit->scale < 8) {
        d.scale_num = (unsigned)fit->scale;
        d.scale_denom = 8;
    }
    jpeg_calc_output_dimensions(&d);
    if (!jpeg_size_ok(d.output_width, d.output_height))
        jpeg_give_up("JPG: picture too large");
    fit->width = (int32_t)(turned ? d.output_height : d.output_width);
    fit->height = (int32_t)(turned ? d.output_width : d.output_height);
    fit->format = jpeg_proposed_format(&d);
    fit->orientation = jpg.orientation;
    jpeg_destroy_decompress(&d);
    fseek(f, start, SEEK_SET);
    return 0;
}

int jpeg_read_info(FILE *f, int32_t *width, int32_t *height, uint32_t *format)
{
    JpegFit fit;
    if (jpeg_probe(f, 8, 0, 0, false, &fit))
        return 1;
    *width = fit.width;
    *height = fit.height;
    *format = fit.format;
    return 0;
}

int jpeg_read_info_fit(FILE *f, int32_t fit_w, int32_t fit_h, JpegFit *fit)
{
    return jpeg_probe(f, 0, fit_w, fit_h, true, fit);
}

static void jpeg_mirror_row(uint8_t *row, uint32_t width, int bytes)
{
    for (uint32_t a = 0, b = width - 1; a < b; a++, b--)
        for (int k = 0; k < bytes; k++) {
            uint8_t t = row[a * bytes + k];
            row[a * bytes + k] = row[b * bytes + k];
            row[b * bytes + k] = t;
        }
}

// Reads every scanline straight into the picture row that shows it: upside down for
// orientations 3 and 4, mirrored in place for 2 and 3.
static void jpeg_place_rows(j_decompress_ptr d, Picture *picture, int orientation)
{
    const uint32_t width = d->output_width, height = d->output_height;
    const int bytes = d->output_components;
    bool flip = orientation == 3 || orientation == 4, mirror = orientation == 2 || orientation == 3;
    while (d->output_scanline < height) {
        uint32_t y = flip ? height - 1 - d->output_scanline : d->output_scanline;
        JSAMPROW row = picture->colour + (ptrdiff_t)y * picture->colour_stride;
        if (jpeg_read_scanlines(d, &row, 1) != 1)
            jpeg_give_up("JPG: short scanline");
        if (JPEG_SWAP_ROWS && bytes == 3)
            jpeg_swap_row(row, width);
        if (mirror)
            jpeg_mirror_row(row, width, bytes);
    }
}

// Orientations 5 to 8: stored row y becomes column y (5, 8) or the mirror column
// (6, 7) of the picture; stored column x becomes row x (5, 6) or the mirror row (7, 8).
// The band lives in the library's pool, so a failure part way frees it with the object.
static void jpeg_place_turned(j_decompress_ptr d, Picture *picture, int orientation)
{
    const uint32_t width = d->output_width, height = d->output_height;
    const int bytes = d->output_components;
    bool from_right = orientation == 6 || orientation == 7, from_bottom = orientation == 7 || orientation == 8;
    JSAMPARRAY band = d->mem->alloc_sarray((j_common_ptr)d, JPOOL_IMAGE, width * (JDIMENSION)bytes, JPEG_BAND_ROWS);
    while (d->output_scanline < height) {
        uint32_t first = d->output_scanline, rows = 0;
        while (rows < (uint32_t)JPEG_BAND_ROWS && d->output_scanline < height) {
            JDIMENSION got = jpeg_read_scanlines(d, band + rows, JPEG_BAND_ROWS - rows);
            if (got == 0)
                jpeg_give_up("JPG: short scanline");
            rows += got;
        }
        for (uint32_t i = 0; JPEG_SWAP_ROWS && bytes == 3 && i < rows; i++)
            jpeg_swap_row(band[i], width);
        for (uint32_t x = 0; x < width; x++) {
            uint8_t *out = picture->colour + (ptrdiff_t)(from_bottom ? width - 1 - x : x) * picture->colour_stride;
            for (uint32_t i = 0; i < rows; i++) {
                uint32_t column = from_right ? height - 1 - (first + i) : first + i;
                memcpy(out + (size_t)column * bytes, band[i] + (size_t)x * bytes, (size_t)bytes);
            }
        }
    }
}

// The pixel step at a scale, as stored or upright.
static int jpeg_decode(Picture *picture, FILE *f, int scale, bool upright)
{
    if (scale < 1 || scale > 8)
        return jpeg_fail("JPG: no such scale");
    JpegFit fit;
    if (jpeg_probe(f, scale, 0, 0, upright, &fit))
        return 1;
    if (!picture || picture->width != fit.width || picture->height != fit.height || picture->format != fit.format)
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
    jpeg_open(&d, f, upright);
    // The stream was read once already; a file that changed under us is refused here.
    bool turned = jpeg_turned(jpg.orientation);
    uint32_t file_width = turned ? d.image_height : d.image_width, file_height = turned ? d.image_width : d.image_height;
    if (jpeg_proposed_format(&d) != picture->format || file_width != (uint32_t)fit.file_width ||
        file_height != (uint32_t)fit.file_height)
        jpeg_give_up("JPG: the picture does not match the file");
    bool grey = picture->format == IMG_8BIT;
    d.out_color_space = grey ? JCS_GRAYSCALE : JPEG_BGR_SPACE;
    d.dct_method = JDCT_FLOAT;
    if (scale < 8) {
        d.scale_num = (unsigned)scale;
        d.scale_denom = 8;
    }
    jpeg_start_decompress(&d);
    // The rows are placed by these sizes: they must be the picture's, turned or not.
    uint32_t out_width = turned ? d.output_height : d.output_width, out_height = turned ? d.output_width : d.output_height;
    if (out_width != (uint32_t)picture->width || out_height != (uint32_t)picture->height ||
        d.output_components != (grey ? 1 : 3))
        jpeg_give_up("JPG: the picture does not match the file");
    if (turned)
        jpeg_place_turned(&d, picture, jpg.orientation);
    else
        jpeg_place_rows(&d, picture, jpg.orientation);
    // Past this point only the end marker is left to read; its absence costs nothing.
    if (jpg.hit_end && !jpeg_all_scans_read(&d))
        jpeg_give_up("JPG: Premature end of JPEG file");
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return 0;
}

int jpeg_read_pixels(Picture *picture, FILE *f)
{
    return jpeg_decode(picture, f, 8, false);
}

int jpeg_read_pixels_scaled(Picture *picture, FILE *f, int scale)
{
    return jpeg_decode(picture, f, scale, true);
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
