#pragma once

// Whether a JPEG file was written by this program's encoder at a quality:
// its quantisation tables say so, since the encoder writes libjpeg's
// standard tables scaled to the quality, and almost no other writer (camera,
// editor, another thumbnailer, another quality) writes exactly those.

#include <cstdint>
#include <span>

namespace tamblure::jpeg {

// True when the file's tables 0 and 1 (luminance and chrominance) are the
// ones the encoder writes at `quality` (1 to 100).
bool HasEncoderTables(std::span<const std::uint8_t> bytes, int quality);

} // namespace tamblure::jpeg
