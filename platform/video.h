// The frame buffer and the video drivers: the game draws into one 24-bit bottom-up
// buffer during a frame, lists the rectangles it changed, and the active driver copies
// exactly those to the window when the frame ends.
#pragma once
#include <cstdint>

struct Screen {
    int32_t width, height;    // frame buffer size in pixels
    int32_t depth;            // bits per pixel, 24
    int32_t bytes_per_pixel;  // (depth + 4) / 8, 3
    int32_t pitch;            // bytes from one row to the row below; negative (bottom-up)
    uint8_t *buf;             // top-left pixel while a frame is open, null between frames
};
extern Screen screen;

constexpr int IO_PAINT_LIST_MAX = 2048;

struct PaintRect {
    int32_t left, top, right, bottom;  // right and bottom exclusive
};

struct PaintList {
    int32_t count;
    PaintRect rects[IO_PAINT_LIST_MAX];
};
extern PaintList paint_list;

// The six operations of a video driver, in the order the kernel calls them.
struct VideoDriver {
    const char *name;  // "DrawDib" or "Windows", as logged
    int (*open)(void);
    void (*close)(void);
    int (*check_depth)(int depth);  // 1 accept, 0 refuse
    int (*create)(void);            // allocate what present needs for `screen`
    void (*begin_frame)(void);      // sets screen.buf and screen.pitch
    void (*present)(const PaintList *list);
};

enum { IO_VIDEO_DRAWDIB = 1 };  // any other id selects the window-surface driver

// Row size in bytes of the frame buffer: 24-bit rows padded to 4 bytes.
int32_t io_video_row_size(int32_t width, int32_t depth);

// Fills the driver table for `id` (1: streaming texture, other: window surface),
// logs "video driver: %s" and opens it. Returns the driver's open result.
int io_video_select_driver(int32_t id);

// Installs a driver table directly (benchmarks and tests run without a window).
void io_video_set_driver(const VideoDriver *driver);

// The active driver, for its check_depth.
const VideoDriver *io_video_driver(void);

// Clears `screen`, stores the size and depth, allocates the pixels (zeroed) and calls
// the driver's create. Returns 1.
int io_video_create(int32_t width, int32_t height, int32_t depth);

// Closes the driver and frees the pixels.
void io_video_close(void);

// The frame buffer's pixels outside a frame: the last stored row first (bottom-up),
// rows io_video_row_size bytes apart. Null before io_video_create.
uint8_t *io_video_pixels(void);

// Opens a frame: fatal "io_video_begin_paint: screen.buf is not NULL" when one is
// open; sets buf and pitch and empties the paint list.
void io_video_begin_paint(void);

// Closes a frame: fatal "io_video_end_paint: screen.buf is NULL" when none is open;
// presents the paint list and clears buf.
void io_video_end_paint(void);

// Lists {x, y, x + width, y + height} for presenting; ignored when the list is full.
void io_video_invalidate(int32_t x, int32_t y, int32_t width, int32_t height);

// Handles pending input, then runs a frame, so long operations keep the screen alive.
void io_video_refresh(void);

// Cursors: 0 the arrow, 1 the hourglass, 2 the game's own cursor.
enum { IO_CURSOR_ARROW = 0, IO_CURSOR_WAIT = 1, IO_CURSOR_GAME = 2 };

// The game's own cursor from straight (not premultiplied) 0xAARRGGBB pixels, rows top
// first; the arrow stays when the platform cannot make it.
void io_set_game_cursor(const uint32_t *argb, int width, int height, int hot_x, int hot_y);
void io_set_cursor(int kind);
int io_get_cursor(void);

// Hides the cursor, confines it to the rectangle of the view and centres it in it
// (mouse-look); io_mouse_unlock undoes all three.
void io_mouse_lock(int32_t x, int32_t y, int32_t width, int32_t height);
void io_mouse_unlock(void);
void io_mouse_set_pos(int32_t x, int32_t y);

// Saves the frame buffer as a 24-bit BMP file under "sfiles/shots", written to a
// temporary name and renamed. Returns 1 and the file name, or 0.
int io_screenshot(char *name_out, int name_size);
