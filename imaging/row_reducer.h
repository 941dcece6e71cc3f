#pragma once

// Reductions fed one source row at a time, top row first, so that a picture
// decoded at full size never has to be held whole: the rows go into the
// reduction as the decoder gives them, and only the band of rows a
// destination row needs is kept.
//
// The result is byte for byte what the step's whole-raster reductions give
// on the same picture as a 24-bit raster: ReduitTaille (area average from
// half the width down, fixed-point bilinear above) towards a given size,
// ReduitFacteur by an integer factor. Rows may come as grey (one byte per
// pixel) instead of blue, green, red: every one of those reductions works on
// each channel alone with the same weights, so three equal channels give
// three equal results, each the one the grey channel gives; the grey result
// is widened to three bytes at the end.
//
// Plans the streamed reductions do not cover (a factor of 1, which keeps the
// picture whole; a thumbnail without columns; a factor or a size that the
// whole-raster reductions refuse) keep the whole picture and hand it to
// ReduitTaille or ReduitFacteur at the end, which raise what they always
// raised. In every case a failing check is raised by finish(), after the
// last row, as it was when the whole picture was decoded before it was
// reduced.

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
// red). A plan that keeps the whole picture sizes its 24-bit raster here,
// which raises EOutOfMemory past 1 GiB as Bitmap24 does.
std::unique_ptr<RowReducer> makeRowReducer(const ReductionPlan& plan, std::int32_t sourceWidth,
                                           std::int32_t sourceHeight, int channels);

} // namespace tamblure::imaging
