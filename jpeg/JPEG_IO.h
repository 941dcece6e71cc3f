#pragma once

// Scaled decoding and encoding through the IJL layer.

#include "imaging/bitmap24.h"
#include "jpeg/decoded_picture.h"
#include "jpeg/jpeg_util.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace tamblure::jpeg {

// Decodes the file into raster at 1/2^scaleCode of each side (rounded up);
// scale codes above 3 mean full size. With setFormat the raster takes the
// file's layout (24-bit for three channels, 8-bit grey for one); without it
// the raster keeps its format, which must be 24-bit or 8-bit. True when the
// picture was decoded; every failure is a false result, never an error,
// except a raster that cannot be sized (EOutOfMemory). A file that is missing,
// cannot be read as far as its frame, declares more picture than its bytes
// pay for (libjpeg's JERR_IMAGE_TOO_BIG, libjpeg_trap.h) or has neither 1
// nor 3 channels leaves the raster untouched; after that the raster is given
// its new size (zero-filled) before the picture is read, so a failing picture
// read leaves it at that size holding what was decoded.
// When libjpegCode is given, a failure of libjpeg stores its message code
// there (0 when the failure was not libjpeg's), so that a caller can say why.
bool DecodeJpegFile(imaging::Bitmap24* raster, const std::filesystem::path& path, bool setFormat,
                    std::uint8_t scaleCode, std::int32_t* libjpegCode = nullptr);

// The picture of a JPEG file in memory, whose frame the header probe read, at
// 1/2^scaleCode of each side (rounded up; codes above 3 mean full size): a
// 24-bit raster for a three-component frame, an 8-bit grey one (with its grey
// ramp) for a one-component frame. Raises EJPEG (jpegErrorMessage of libjpeg's
// message code) when libjpeg refuses the data or its frame is not the
// probe's, and EOutOfMemory when the raster or the decoder's state cannot be
// had. A file cut short still decodes (libjpeg fills what is missing), and
// the warnings say so.
DecodedPicture DecodeJpegScaled(std::span<const std::uint8_t> bytes, const JpegFrame& frame, std::uint8_t scaleCode);

// Encodes a 24-bit (or 8-bit grey) raster as a three-component YCbCr JPEG
// file at the given quality and gives its bytes. Raises EWriteError
// ("Error writing JPEG to file") when libjpeg refuses, EOutOfMemory when
// the memory runs out.
std::vector<std::uint8_t> EncodeJpegBytes(const imaging::Bitmap24& raster, std::int32_t quality);

// The same, written to path, replacing the file atomically. Always true;
// every failure raises EWriteError ("Error writing JPEG to file <path>", with
// the system's reason when the file could not be written) and leaves the old
// file, or none, and no temporary file.
bool EncodeJpegFile(const imaging::Bitmap24& raster, const std::filesystem::path& path, std::int32_t quality);

} // namespace tamblure::jpeg
