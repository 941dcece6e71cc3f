#pragma once

// Integer box reduction and area-average reduction of 24-bit rasters.
// Both work on rows of bytes, truncate their means and add no rounding term.
// Failed checks raise EAssertionFailed with "<text> (anti_alias, ligne <n>)".

#include "imaging/bitmap24.h"

#include <cstdint>

namespace tamblure::imaging {

// Every pixel of dest becomes the truncated mean of a factor × factor block
// of source. dest is sized by the caller: source width div factor by source
// height div factor. Checks, in this order: source 24-bit (ligne 35), dest
// 24-bit (ligne 36), factor > 1 (ligne 37), factor < 100 (ligne 38). Only
// dest's size drives what is read; a dest too large for the source is refused
// before anything is written: too tall with EInvalidGraphicOperation ("Indice
// ligne hors limites"), too wide with EAssertionFailed (ligne 39).
void ReduitFacteur(const Bitmap24& source, Bitmap24& dest, std::int32_t factor);

// Reduces source to dest's size (dest no larger than source), each pixel the
// truncated mean of its block of a grid whose block sides differ by at most
// one. Checks: source 24-bit (ligne 121), dest 24-bit (ligne 122); a dest
// with pixels that is wider or taller than source (ligne 123), before anything
// is written. Bands may be of any height.
void ReduitMoyenne(const Bitmap24& source, Bitmap24& dest);

// ReduitMoyenne's grid: the first source row or column of block i when
// `source` pixels are shared out among `dest` blocks (0 <= i <= dest, dest > 0).
std::int32_t blockStart(std::int32_t source, std::int32_t i, std::int32_t dest);

} // namespace tamblure::imaging
