#pragma once

#include "imaging/bitmap24.h"

namespace tamblure::imaging {

// Brings source to dest's size: area average (ReduitMoyenne) when source is
// at least twice as wide as dest, bilinear interpolation (ReduitBilineaire)
// otherwise. Only the widths decide.
void ReduitTaille(const Bitmap24& source, Bitmap24& dest);

} // namespace tamblure::imaging
