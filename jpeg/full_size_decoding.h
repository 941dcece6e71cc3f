#pragma once

// What the two full-size decoders share: the whole-picture decode of
// TJPEGImage and the streamed decode of the full-size route. Call inside
// steps run by runTrapped (libjpeg_trap.h).

#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

namespace tamblure::jpeg::detail {

// The full-size parameters, set after jpeg_read_header: full scale, float
// DCT, block smoothing; greyscale output for greyscale files (quantised to
// 236 levels with libjpeg's default dithering when quantizeGrey), CMYK
// output for four-component files (CMYK and YCCK), blue, green, red for the
// rest, which makes libjpeg raise its conversion error at the start for
// layouts it cannot turn into colour (two components).
void setFullSizeParameters(j_decompress_ptr cinfo, bool quantizeGrey);

// One row of CMYK output as blue, green, red: each colour is its ink's
// complement scaled by the black's, rounded. Adobe files (adobeInverted)
// store 255 − ink, which is that complement already.
void cmykToBgr(const unsigned char* cmyk, unsigned char* bgr, std::size_t width, bool adobeInverted);

} // namespace tamblure::jpeg::detail
