#pragma once

// The reductions themselves: integer box, area average and fixed-point
// bilinear, each fed the source's rows one at a time, top row first, and
// writing each row of its result as soon as the rows it needs have come.
// A picture decoded at full size never has to be held whole: its rows go in
// as the decoder gives them. The whole-raster operations (ReduitFacteur,
// ReduitMoyenne, ReduitBilineaire) make their checks and hand their source's
// rows to the same reductions.
//
// Fed to a RowReducer, rows may come as grey (one byte per pixel) instead of
// blue, green, red: every reduction works on each channel alone with the
// same weights, so three equal channels give three equal results, each the
// one the grey channel gives; the grey result is widened to three bytes.
//
// A RowReducer gives byte for byte what the step's whole-raster operations
// give on the same picture as a 24-bit raster: ReduitTaille (area average
// from half the width down, bilinear above) towards a given size,
// ReduitFacteur by an integer factor, the picture itself for a factor of 1.
// Plans those operations refuse (a factor above 99, a size without columns or
// below zero, an area average taller than the source) raise the same error,
// from finish(), after the last row, as when the whole picture was decoded
// before it was reduced; their rows are not kept.

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
// red). The result's raster is sized here, which raises EOutOfMemory past
// 1 GiB as Bitmap24 does (a factor of 1 keeps the whole picture).
std::unique_ptr<RowReducer> makeRowReducer(const ReductionPlan& plan, std::int32_t sourceWidth,
                                           std::int32_t sourceHeight, int channels);

// The reductions on whole 24-bit rasters, for the operations that checked
// their arguments: each writes every pixel of dest (which has pixels and
// keeps its size and padding) and reads only the source rows and columns
// its grid or its samples reach, which the source must have.
//
// Box: dest's pixels are the truncated means of factor × factor blocks from
// the top left corner.
void reduceBlocks(const Bitmap24& source, Bitmap24& dest, std::int32_t factor);
// Area average: the whole source shared out among dest's pixels, dest no
// wider and no taller than the source.
void averageBlocks(const Bitmap24& source, Bitmap24& dest);
// Fixed-point bilinear interpolation, either direction.
void interpolateRows(const Bitmap24& source, Bitmap24& dest);

} // namespace tamblure::imaging
