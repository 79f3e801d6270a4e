// Trackbars: a horizontal slider 32 pixels high with an arrow button at each end and a
// thumb dragged between them; it tells its parent of new values with TW_TRACK.
#pragma once
#include <cstdint>

struct Font;

constexpr int32_t TRACKBAR_HEIGHT = 32;
constexpr int32_t TRACKBAR_MARGIN = 44;  // the thumb's centre runs from 44 to width - 44

enum TrackbarStyle : uint32_t {
    TBS_NOTIFY = 1,  // TW_TRACK {a = trackbar, b = value} to the parent on every change
    TBS_FRAME = 2,   // skin frames at both ends and behind the track
};

// The font and colours of trackbar titles (the window's title, centred over the track).
void trackbar_init(const Font *font, uint32_t colour, uint32_t shadow);

// A trackbar child of `parent` at (x, y), `width` wide, with skin frame flags `frame` for
// its end frames; range 0 .. 10, value 0. Returns its window.
int32_t trackbar_create(int32_t parent, uint32_t style, int32_t x, int32_t y, int32_t width, uint32_t frame);

// A new range: the page (a click on the track) becomes a tenth of it, at least 1; the
// value is kept within it. An empty range (max equal to min) is the caller's slip.
void trackbar_set_range(int32_t trackbar, int32_t min, int32_t max);
void trackbar_range(int32_t trackbar, int32_t *min, int32_t *max);
// Clamped to the range; the thumb follows.
void trackbar_set_value(int32_t trackbar, int32_t value);
int32_t trackbar_value(int32_t trackbar);
// The x of the thumb's centre, relative to the trackbar.
int32_t trackbar_thumb(int32_t trackbar);
int32_t trackbar_page(int32_t trackbar);
