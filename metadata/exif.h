#pragma once

// The copy step that carries a photograph's metadata into its thumbnail.

#include "metadata/thumbnail_layout.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
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

// The photograph's metadata, read once, laid out in front of its thumbnail's
// compressed data, so that the thumbnail is written once and whole.
//
// A thumbnail with the photograph's EXIF segment begins with SOI, that
// segment (its width and height set to the thumbnail's), the ICC profile's
// segments, the IPTC block and the comment; the thumbnail's own leading
// APP0/APP1/APP13/COM segments (thumbnailDataStart) give way to them. A
// photograph without an EXIF segment leaves the thumbnail as it is, but for
// the profile, which then follows the thumbnail's own JFIF header. The
// profile goes only onto a three-component thumbnail, and only when it is an
// RGB one: an encoded thumbnail is always YCbCr, so a grey or CMYK profile
// would tell a viewer to read its colours wrongly.
//
// A policy (MetadataPolicy) takes out what it does not allow: the GPS
// directory, or everything but the orientation, which then stands alone in a
// small EXIF segment (and when it is 1, or unknown, there is no EXIF at all).
class CarriedMetadata {
public:
    // Reads the photograph's leading segments. The photograph is only read,
    // and its problems (missing, unreadable, damaged) are swallowed: such a
    // photograph has no metadata to carry. Never raises.
    explicit CarriedMetadata(const std::filesystem::path& photograph,
                             MetadataPolicy policy = MetadataPolicy::Everything);
    // The same from the photograph's bytes, read once for every stage; name
    // is the file's, for its extension.
    CarriedMetadata(std::span<const std::uint8_t> photograph, const std::filesystem::path& name,
                    MetadataPolicy policy = MetadataPolicy::Everything);
    ~CarriedMetadata();
    CarriedMetadata(const CarriedMetadata&) = delete;
    CarriedMetadata& operator=(const CarriedMetadata&) = delete;

    // True when the photograph has an EXIF segment: the thumbnail's leading
    // segments are then replaced by the photograph's.
    bool carried() const;

    ExifTransfer transfer() const;

    // SOI, the photograph's EXIF segment as the policy leaves it (width and
    // height set to the thumbnail's), its IPTC block and its comment (unless
    // the policy takes them out): what stands in front of the data of a
    // thumbnail that carries the EXIF segment, without the profile.
    std::vector<std::uint8_t> head(std::int32_t width, std::int32_t height);

    // The encoder's thumbnail (three components, width × height) as it is
    // written: the layout's stretches are of `thumbnail`.
    ThumbnailLayout encoded(std::span<const std::uint8_t> thumbnail, std::int32_t width, std::int32_t height);

    // The photograph copied whole as its own thumbnail of width × height (the
    // size its frame says): the layout's stretches are of the photograph's
    // bytes. Without a policy, SOI and the carried segments, then the
    // photograph's bytes from thumbnailDataStart on, its own profile among
    // them (it describes these very pixels, whatever their space); with one,
    // those bytes without what the policy takes out (addFilteredCopy), so the
    // copy is no longer the photograph's bytes. The photograph is the one
    // this object was made from, all its bytes.
    ThumbnailLayout copied(std::span<const std::uint8_t> photograph, std::int32_t width, std::int32_t height);

private:
    // The EXIF segment as it goes into the thumbnail (FF E1 and the stored
    // bytes), its size set to width × height; empty when none goes.
    std::vector<std::uint8_t> exifSegment(std::int32_t width, std::int32_t height);
    // The IPTC block and comment as they go with the EXIF segment.
    std::vector<std::uint8_t> companions() const;

    std::unique_ptr<TimgData> photo_;
    MetadataPolicy policy_;
};

// When the photograph has an EXIF segment, rebuilds the thumbnail file as an
// encoded thumbnail carrying the photograph's metadata is written
// (CarriedMetadata::encoded): SOI, the photograph's EXIF segment with its
// width and height set to the thumbnail's, its RGB profile, its IPTC block
// and comment, then the thumbnail's own data (nothing is decoded again);
// otherwise leaves the thumbnail byte for byte as it is. The photograph is
// only read, and its problems (missing, unreadable, damaged) are swallowed.
// Raises EFOpenError / EJPEG when the thumbnail cannot be loaded,
// EFCreateError / EWriteError when it cannot be rewritten; the thumbnail is
// replaced atomically, so a failure leaves it as it was.
ExifTransfer TransfereExif(const std::filesystem::path& source, const std::filesystem::path& thumbnail);

} // namespace tamblure::metadata
