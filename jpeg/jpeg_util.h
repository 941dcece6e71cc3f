#pragma once

#include <cstdint>
#include <filesystem>

namespace tamblure::jpeg {

// Reads the size and component count of the first frame header of kind
// SOF0, SOF1 or SOF2 without decoding, seeking over every segment body.
// True when such a frame header was reached and read whole; the three
// out-values are written only then. Raises EFOpenError ("Impossible d'ouvrir
// le fichier %s") when the file cannot be opened.
bool ProbeJpegHeader(const std::filesystem::path& path, std::uint16_t& width, std::uint16_t& height,
                     bool& threeComponents);

} // namespace tamblure::jpeg
