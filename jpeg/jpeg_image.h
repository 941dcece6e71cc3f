#pragma once

// The whole-file JPEG image: holds a file's bytes, knows its frame size, and
// decodes at full size through libjpeg when asked.

#include "imaging/bitmap24.h"

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <span>
#include <vector>

namespace tamblure::jpeg {

class TJPEGImage {
public:
    // Reads every byte of the file and its frame header. Raises EFOpenError
    // ("Impossible d'ouvrir le fichier %s") or EJPEG ("Erreur JPEG #%d").
    void loadFromFile(const std::filesystem::path& path);
    // The same for bytes already in memory (EJPEG only).
    void loadFromBytes(std::vector<std::uint8_t> bytes);

    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    std::span<const std::uint8_t> bytes() const { return bytes_; }
    // Writes back exactly the bytes that were loaded.
    void saveToStream(std::ostream& out) const;

    // Full-size decode: JDCT_FLOAT, block smoothing, greyscale quantised to
    // 236 levels with libjpeg's default dithering (an 8-bit raster with its
    // palette), colour as 24-bit blue, green, red; four-component (CMYK,
    // YCCK) files are turned into blue, green, red as well. Raises EJPEG
    // ("Erreur JPEG #%d", libjpeg's message code) for data libjpeg refuses,
    // for other layouts (two components) and for files past the decoder's
    // limits (blocks for the file's bytes, memory, passes, scans:
    // libjpeg_trap.h); EOutOfMemory
    // when the raster would pass 1 GiB. On an error the raster is unchanged.
    void decode(imaging::Bitmap24& raster) const;

private:
    std::vector<std::uint8_t> bytes_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
};

// The whole-picture decode that the full-size route made before it was
// streamed (streamed_decode.h): decodes the whole file through TJPEGImage and
// leaves a 24-bit raster (an 8-bit result is widened through its palette).
// Kept as the reference the streamed route is tested against, and for the
// benchmarks. Raises EFOpenError or EJPEG.
void DecodeJpegFullSize(imaging::Bitmap24& raster, const std::filesystem::path& path);

} // namespace tamblure::jpeg
