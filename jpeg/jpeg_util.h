#pragma once

#include <cstdint>
#include <filesystem>

#include "jpeg/jpeg_input.h"

namespace tamblure::jpeg {

// Reads the size and component count of the first frame header that the
// decoder can read, without decoding, seeking over every segment body: a
// frame of kind SOF0, SOF1, SOF2 (Huffman coded) or SOF9, SOF10 (arithmetic
// coded) with 8-bit samples, sides above 0 and at least one component.
// True when such a frame header was reached and read whole; the three
// out-values are written only then. Frames of other kinds are passed over.
// Raises EFOpenError ("Impossible d'ouvrir le fichier %s : <reason>") when the
// file cannot be opened.
bool ProbeJpegHeader(const std::filesystem::path& path, std::uint16_t& width, std::uint16_t& height,
                     bool& threeComponents);

// The same on a file whose bytes may be in memory already; only a file read
// from its path can fail to open.
bool ProbeJpegHeader(const JpegInput& input, std::uint16_t& width, std::uint16_t& height, bool& threeComponents);

} // namespace tamblure::jpeg
