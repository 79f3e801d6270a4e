// Pictures of the frame compared with reference images kept in tests/reference.
#pragma once
#include <gtest/gtest.h>
#include <cstdint>
#include <string>

// Compares the frame's rectangle (x, y, w, h) with tests/reference/<name>.bmp, a 24-bit
// BMP of exactly that size. With PELMORA_UPDATE_REFERENCES=1 in the environment the
// rectangle is written there instead. On a mismatch the picture got is left in /tmp
// for a look, and the message says where the first differing pixel is.
::testing::AssertionResult frame_matches_reference(const char *name, int32_t x, int32_t y, int32_t w, int32_t h);
// The same for a rectangle of a screenshot file (the game's F12 shots).
::testing::AssertionResult shot_matches_reference(const std::string &shot, const char *name, int32_t x, int32_t y,
                                                  int32_t w, int32_t h);
