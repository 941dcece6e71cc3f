#pragma once

// The full-size route, streamed, and the check that a small photograph
// decodes. Pictures that are not three-component (greyscale, CMYK, YCCK) are
// decoded at full size, a band of rows at a time, and each band goes straight
// into the reduction, so that the picture never exists whole. Greyscale rows
// are quantised to libjpeg's 236 greys (grey_quantizer.h) and reduced on
// their one channel; four-component rows are turned into blue, green, red.

#include "imaging/row_reducer.h"
#include "jpeg/decoded_picture.h"

#include <cstdint>
#include <span>

namespace tamblure::jpeg {

// The thumbnail of the photograph under the plan, the decoded picture itself
// for a factor of 1. The decode is libjpeg's at full size with float DCT and
// block smoothing; greyscale pictures come out in 236 dithered greys, as
// libjpeg's own quantizer gives them; CMYK and YCCK pictures that carry a CMYK
// colour profile are turned into sRGB through it (perceptual intent), others
// by the plain formula: each colour is its ink's complement scaled by the
// black's, Adobe's inverted inks read as such. Raises EJPEG (jpegErrorMessage of
// libjpeg's message code) for data libjpeg refuses, for layouts it
// cannot turn into colour (two components), and past the decoder's limits
// (blocks for the file's bytes, memory, passes, scans: libjpeg_trap.h); EOutOfMemory, before any row is read, when the
// picture would pass 1 GiB as a 24-bit raster (a small file can claim 65500
// × 65500 pixels, and libjpeg would fill every missing one); and the
// reductions' own errors once every row is decoded.
DecodedPicture DecodeJpegFullSizeReduced(std::span<const std::uint8_t> bytes, const imaging::ReductionPlan& plan);

// Whether a photograph decodes to the end of its picture, found with the
// least work libjpeg can do (1/8 scale, fast DCT, rows thrown away).
struct JpegDecodeCheck {
    int errorCode = 0;     // libjpeg's code of the fatal error that stopped the decode, 0 when none
    bool scanData = false; // entropy-coded data follows the first scan's header
    JpegWarnings warnings; // what libjpeg warned of on the way

    bool complete() const { return errorCode == 0 && scanData && !warnings.dataRanOut; }
};
JpegDecodeCheck CheckJpegDecodes(std::span<const std::uint8_t> bytes);

} // namespace tamblure::jpeg
