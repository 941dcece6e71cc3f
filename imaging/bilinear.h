#pragma once

#include "imaging/bitmap24.h"

namespace tamblure::imaging {

// Bilinear interpolation of source into dest's size (either direction).
// 24-bit rasters take the fixed-point path on rows of bytes (weights in
// 1/256, result truncated, last row and column reused at the edges); other
// formats go through the per-pixel accessor (exact fractions, rounded result,
// outside positions read as white). A dest of zero width raises EZeroDivide
// ("Division par zéro en virgule flottante"), or EInvalidOp when the source
// has zero width too. On the fixed-point path, a source without rows or
// columns raises EInvalidGraphicOperation ("Indice ligne hors limites")
// before anything is written.
void ReduitBilineaire(const Bitmap24& source, Bitmap24& dest);

} // namespace tamblure::imaging
