#pragma once

// The copy step that carries a photograph's metadata into its thumbnail.

#include <cstdint>
#include <filesystem>

namespace tamblure::metadata {

// What the copy step learnt of the photograph on its way, for the page, so
// that the photograph need not be read again.
struct ExifTransfer {
    // EXIF orientation (tag 0x0112, SHORT, 1 to 8, of the first directory);
    // 0 when unknown or when the photograph has no EXIF segment.
    std::uint16_t orientation = 0;
};

// When the photograph has an EXIF segment, rebuilds the thumbnail file as
// SOI, the photograph's EXIF segment with its width and height set to the
// thumbnail's, its IPTC block and comment, then the thumbnail's own data
// (nothing is decoded again); otherwise leaves the thumbnail byte for byte as
// it is. The photograph is only read, and its problems (missing, unreadable,
// damaged) are swallowed. Raises EFOpenError / EJPEG when the thumbnail
// cannot be loaded, EFCreateError / EWriteError when it cannot be rewritten;
// the thumbnail is replaced atomically, so a failure leaves it as it was.
ExifTransfer TransfereExif(const std::filesystem::path& source, const std::filesystem::path& thumbnail);

} // namespace tamblure::metadata
