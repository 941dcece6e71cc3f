#pragma once

// What a decoder gives: the picture, and what libjpeg warned of while it
// read the photograph. libjpeg goes on through damaged data, filling a
// picture cut short with grey, so its warnings are the only trace of the
// damage; the decoders hand them to the caller, which tells the user.

#include "imaging/bitmap24.h"

namespace tamblure::jpeg {

struct JpegWarnings {
    // The data ended before the picture did (libjpeg's JWRN_JPEG_EOF,
    // "Premature end of JPEG file"): a truncated photograph.
    bool dataRanOut = false;
    // libjpeg's message code of its first other warning (corrupt data, such
    // as JWRN_HIT_MARKER or JWRN_HUFF_BAD_CODE), 0 when there was none.
    int corruptData = 0;

    bool any() const { return dataRanOut || corruptData != 0; }
    bool operator==(const JpegWarnings&) const = default;
};

struct DecodedPicture {
    imaging::Bitmap24 raster;
    JpegWarnings warnings;
};

} // namespace tamblure::jpeg
