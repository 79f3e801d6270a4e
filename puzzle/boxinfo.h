// The box information record: how a box's picture is cut and what the box carries.
// Fourteen signed 32-bit fields, read and written through a chunk schema with the box.
#pragma once
#include <cstdint>

struct BoxInfo {
    int32_t piece_size;       // side of a grid cell in picture pixels, 10 .. half the smaller side
    int32_t jitter;           // 0 .. 40: percent of the piece size inner corners may move
    int32_t shape;            // edge curve type 0 .. 7 of every inner edge
    int32_t picture_width;
    int32_t picture_height;
    int32_t piece_count;      // columns * rows, written when the grid is set up
    int32_t rotation;         // 1: pieces are dealt turned by multiples of 90 degrees
    int32_t surprise;         // 1: the picture stays hidden on the shelf until finished once
    int32_t has_music;
    int32_t has_description;
    int32_t has_address;
    int32_t link_box;         // 1: not a puzzle but a link to a web address
    int32_t reserved;
    int32_t loop_music;
};
static_assert(sizeof(BoxInfo) == 56, "BoxInfo is fourteen 32-bit fields");
