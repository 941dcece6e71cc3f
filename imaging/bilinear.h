#pragma once

#include "imaging/bitmap24.h"

#include <cstdint>

namespace tamblure::imaging {

// Bilinear interpolation of source into dest's size (either direction).
// 24-bit rasters take the fixed-point path on rows of bytes, the reduction of
// row_reducer.h (weights in 1/256, result truncated, last row and column
// reused at the edges); other formats go through the per-pixel accessor
// (exact fractions, rounded result, outside positions read as white). A dest
// of zero width raises EZeroDivide ("Division par zéro en virgule
// flottante"), or EInvalidOp when the source has zero width too. On the
// fixed-point path, a source without rows or columns raises
// EInvalidGraphicOperation ("Indice ligne hors limites") before anything is
// written.
void ReduitBilineaire(const Bitmap24& source, Bitmap24& dest);

// What dividing the source's width by the destination's raises when the
// destination has no column: 0 / 0 is an invalid operation (EInvalidOp),
// anything else over 0 a division by zero (EZeroDivide). Nothing otherwise.
void checkWidthRatio(std::int32_t sourceWidth, std::int32_t destWidth);

// The sampling of both paths: destination pixel i of `dest` samples a side
// of `source` pixels at (i / dest) × source, with no half-pixel offset (pixel
// 0 samples source pixel 0 exactly).
double samplePosition(std::int32_t i, std::int32_t dest, std::int32_t source);

} // namespace tamblure::imaging
