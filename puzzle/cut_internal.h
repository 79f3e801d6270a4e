// What the cutter and the cut cache share.
#pragma once
#include <cstddef>
#include <cstdint>

#include "puzzle/cut.h"

// A table of count entries from counted memory; fatal "<caller>: table too large" when
// the size would not fit.
void *cut_alloc_array(size_t count, size_t size, const char *caller);
// Frees a result's pieces, shapes and images and clears it.
void cut_free_result(CutResult *r);
// How far a lifted piece's shadow falls for a piece size.
int32_t cut_shadow_distance(int32_t piece_size);
// Neighbours above, left, below and right of a piece, those that exist.
void cut_set_neighbours(CutPiece *p, int32_t index, int32_t columns, int32_t rows);
