#pragma once

// The reductions themselves (integer box, area average, fixed-point
// bilinear), fed the source's rows one at a time, top row first: a picture
// decoded at full size goes in as the decoder gives its rows and is never
// held whole. ReduitFacteur, ReduitMoyenne and ReduitBilineaire make their
// checks and hand a whole raster's rows to the same reductions.
//
// A RowReducer gives byte for byte what the whole-raster operations give on
// the same picture as a 24-bit raster: ReduitTaille towards a size,
// ReduitFacteur by a factor, the picture itself for a factor of 1. Its rows
// may be grey (one byte per pixel): every reduction works on each channel
// alone with the same weights, so the grey result, widened to three bytes,
// is the one three equal channels give. Plans those operations refuse (a
// factor above 99, a size below zero or without columns, an area average
// taller than the source) raise the same error from finish(), after the last
// row, as when the whole picture was decoded before it was reduced.

#include "imaging/bitmap24.h"
#include "imaging/reduction.h"

#include <cstdint>
#include <memory>

namespace tamblure::imaging {

class RowReducer {
public:
    virtual ~RowReducer() = default;
    // The next source row: sourceWidth × channels bytes. Rows past the
    // source's height are not expected.
    virtual void addRow(const std::uint8_t* row) = 0;
    // The 24-bit result, once every row went in; raises what the
    // whole-raster reduction raises for the plan.
    virtual Bitmap24 finish() = 0;
};

// A reduction of a sourceWidth × sourceHeight picture (both at least 1)
// whose rows have `channels` bytes per pixel: 1 (grey) or 3 (blue, green,
// red). The result's raster is sized here (for a factor of 1, the whole
// picture's), which raises EOutOfMemory past 1 GiB as Bitmap24 does.
std::unique_ptr<RowReducer> makeRowReducer(const ReductionPlan& plan, std::int32_t sourceWidth,
                                           std::int32_t sourceHeight, int channels);

// The reductions of whole 24-bit rasters, for the operations that checked
// their arguments: every pixel of dest (which has pixels) is written, its
// size and padding kept, and only the source rows and columns the grid or
// the samples reach are read. reduceBlocks: truncated means of factor ×
// factor blocks from the top left corner. averageBlocks: of the whole source
// shared out among dest's pixels (dest no larger). interpolateRows: either
// direction.
void reduceBlocks(const Bitmap24& source, Bitmap24& dest, std::int32_t factor);
void averageBlocks(const Bitmap24& source, Bitmap24& dest);
void interpolateRows(const Bitmap24& source, Bitmap24& dest);

} // namespace tamblure::imaging
