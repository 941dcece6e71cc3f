#pragma once

// Integer box reduction and area-average reduction of whole 24-bit rasters:
// their checks, then the reductions of row_reducer.h on the source's rows.
// Both truncate their means and add no rounding term. Failed checks raise
// EAssertionFailed with "<text> (anti_alias, ligne <n>)".

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

// The checks the streamed reductions make as these do: ReduitFacteur's
// factor, from 2 to kMaxFactor (lignes 37 and 38), and ReduitMoyenne's
// refusal of a destination wider or taller than the source (ligne 123).
inline constexpr std::int32_t kMaxFactor = 99;
void checkFactor(std::int32_t factor);
void checkNotLarger(std::int32_t sourceWidth, std::int32_t sourceHeight, std::int32_t destWidth,
                    std::int32_t destHeight);

} // namespace tamblure::imaging
