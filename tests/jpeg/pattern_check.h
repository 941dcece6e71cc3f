#pragma once

// Comparing a decoded raster with the fixture pattern it came from.

#include "imaging/bitmap24.h"
#include "support/jpeg_fixtures.h"

namespace tamblure::test {

// The largest difference, over every pixel and channel, between the raster
// and the fixture's pattern seen at 1/divisor of its size: each raster pixel is
// compared with the mean of the pattern over the block of the full picture
// that it stands for.
int largestDeviation(const imaging::Bitmap24& raster, const JpegSpec& spec, int divisor = 1);

// True when every byte after a row's pixels, up to the next row, is still 0.
bool rowPaddingIsClear(const imaging::Bitmap24& raster);

// A 24-bit raster holding the fixture's pattern exactly.
imaging::Bitmap24 patternRaster(const JpegSpec& spec);

} // namespace tamblure::test
