#pragma once

// The copy step that carries a photograph's metadata into its thumbnail.

#include "jpeg/jpeg_input.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace tamblure::metadata {

class TimgData;

// What the copy step learnt of the photograph on its way, for the page, so
// that the photograph need not be read again.
struct ExifTransfer {
    // EXIF orientation (tag 0x0112, SHORT, 1 to 8, of the first directory);
    // 0 when unknown or when the photograph has no EXIF segment.
    std::uint16_t orientation = 0;
};

// The photograph's metadata, read once, ready to go in front of its
// thumbnail's compressed data, so that the thumbnail is written once and
// whole: what TransfereExif does to a thumbnail file, done before the
// thumbnail is written.
class CarriedMetadata {
public:
    // Reads the photograph's leading segments. The photograph is only read,
    // and its problems (missing, unreadable, damaged) are swallowed: such a
    // photograph has no metadata to carry. Never raises.
    explicit CarriedMetadata(const std::filesystem::path& photograph);
    // The same from the photograph's bytes when they are in memory already.
    explicit CarriedMetadata(const jpeg::JpegInput& photograph);
    ~CarriedMetadata();
    CarriedMetadata(const CarriedMetadata&) = delete;
    CarriedMetadata& operator=(const CarriedMetadata&) = delete;

    // True when the photograph has an EXIF segment: the thumbnail is then
    // rebuilt as head() followed by its data from thumbnailDataStart on;
    // otherwise it stays as the encoder (or the copy) made it.
    bool carried() const;

    ExifTransfer transfer() const;

    // SOI, the photograph's EXIF segment with its width and height set to the
    // thumbnail's, its IPTC block and its comment.
    std::vector<std::uint8_t> head(std::int32_t width, std::int32_t height);

private:
    std::unique_ptr<TimgData> photo_;
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
