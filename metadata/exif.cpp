#include "metadata/exif.h"

#include "common/atomic_file.h"
#include "common/byte_reader.h"
#include "common/errors.h"
#include "common/file_io.h"
#include "jpeg/jpeg_image.h"
#include "metadata/copy_filter.h"
#include "metadata/exif_edit.h"
#include "metadata/icc_profile.h"
#include "metadata/image_info.h"
#include "metadata/img_data.h"
#include "metadata/segment_source.h"

namespace tamblure::metadata {

namespace {

constexpr std::uint8_t kSoi[] = {0xFF, 0xD8};

// FF, the marker and the stored bytes of a segment.
std::vector<std::uint8_t> written(int marker, std::span<const std::uint8_t> raw)
{
    std::vector<std::uint8_t> out;
    out.reserve(2 + raw.size());
    out.push_back(0xFF);
    out.push_back(static_cast<std::uint8_t>(marker));
    out.insert(out.end(), raw.begin(), raw.end());
    return out;
}

// Where a thumbnail's own JFIF header (an APP0 right after SOI) ends; 2 when
// it has none.
std::size_t afterJfifHeader(std::span<const std::uint8_t> thumbnail)
{
    const ByteReader reader(thumbnail);
    std::uint8_t ff = 0, marker = 0;
    std::uint16_t length = 0;
    if (reader.u8At(2, ff) && ff == 0xFF && reader.u8At(3, marker) && marker == 0xE0 && reader.u16At(4, length) &&
        length >= 2 && reader.fits(4, length))
        return 4 + std::size_t{length};
    return 2;
}

} // namespace

CarriedMetadata::CarriedMetadata(const std::filesystem::path& photograph, MetadataPolicy policy)
    : photo_(std::make_unique<TimgData>(255)), policy_(policy)
{
    photo_->ReadPhoto(photograph);
}

CarriedMetadata::CarriedMetadata(std::span<const std::uint8_t> photograph, const std::filesystem::path& name,
                                 MetadataPolicy policy)
    : photo_(std::make_unique<TimgData>(255)), policy_(policy)
{
    photo_->ScanFile(name, photograph);
}

CarriedMetadata::~CarriedMetadata() = default;

bool CarriedMetadata::carried() const
{
    return photo_->HasExifSegment();
}

ExifTransfer CarriedMetadata::transfer() const
{
    ExifTransfer result;
    if (const TImageInfo* directory = photo_->directory(); directory != nullptr && carried())
        result.orientation = directory->orientation();
    return result;
}

std::vector<std::uint8_t> CarriedMetadata::exifSegment(std::int32_t width, std::int32_t height)
{
    const tSection* exif = photo_->exifRef();
    if (exif == nullptr)
        return {};
    if (policy_ == MetadataPolicy::OrientationOnly) {
        const std::uint16_t orientation = transfer().orientation;
        if (orientation < 2)
            return {};
        return written(exif->marker, orientationOnly(orientation, photo_->bigEndian() ? ByteOrder::BigEndian
                                                                                      : ByteOrder::LittleEndian));
    }
    if (TImageInfo* directory = photo_->directory())
        directory->FitDimensions(height, width);
    if (policy_ == MetadataPolicy::Everything)
        return written(exif->marker, exif->raw);
    if (!isExifSegment(exif->raw))
        // An XMP packet, or anything else the first APP1 held, whose position
        // nothing here can take out.
        return mentionsGps(exif->raw) ? std::vector<std::uint8_t>{} : written(exif->marker, exif->raw);
    const GpsFreeSegment edited = withoutGps(exif->raw);
    if (edited.how == GpsRemoval::Refused)
        return {};
    return written(exif->marker, edited.raw);
}

std::vector<std::uint8_t> CarriedMetadata::companions() const
{
    std::vector<std::uint8_t> out;
    if (!carried() || policy_ == MetadataPolicy::OrientationOnly)
        return out;
    for (const tSection* section : {photo_->iptcRef(), photo_->commentRef()}) {
        if (section != nullptr) {
            const std::vector<std::uint8_t> segment = written(section->marker, section->raw);
            out.insert(out.end(), segment.begin(), segment.end());
        }
    }
    return out;
}

std::vector<std::uint8_t> CarriedMetadata::head(std::int32_t width, std::int32_t height)
{
    std::vector<std::uint8_t> out(std::begin(kSoi), std::end(kSoi));
    const std::vector<std::uint8_t> exif = exifSegment(width, height), others = companions();
    out.insert(out.end(), exif.begin(), exif.end());
    out.insert(out.end(), others.begin(), others.end());
    return out;
}

ThumbnailLayout CarriedMetadata::encoded(std::span<const std::uint8_t> thumbnail, std::int32_t width,
                                         std::int32_t height)
{
    const IccChunks& icc = photo_->iccChunks();
    const std::vector<std::uint8_t> exif = exifSegment(width, height), others = companions(),
                                    profile =
                                        icc.space() == ProfileSpace::Rgb ? icc.segments() : std::vector<std::uint8_t>{};
    ThumbnailLayout layout;
    if (!exif.empty()) {
        layout.add(kSoi);
        layout.add(exif);
        layout.add(profile);
        layout.add(others);
        layout.add(Stretch{thumbnailDataStart(thumbnail)});
    } else {
        // The thumbnail keeps its own header; what is carried follows it.
        const std::size_t header = afterJfifHeader(thumbnail);
        layout.add(Stretch{0, header});
        layout.add(profile);
        layout.add(others);
        layout.add(Stretch{header});
    }
    return layout;
}

ThumbnailLayout CarriedMetadata::copied(std::span<const std::uint8_t> bytes, std::int32_t width, std::int32_t height)
{
    ThumbnailLayout layout;
    if (policy_ == MetadataPolicy::Everything && !carried()) {
        layout.add(Stretch{0});
        return layout;
    }
    const std::uint64_t size = bytes.size();

    std::uint64_t from = 0;
    if (carried()) {
        const std::vector<std::uint8_t> exif = exifSegment(width, height);
        layout.add(kSoi);
        if (!exif.empty())
            layout.add(exif);
        else if (const tSection* app0 = photo_->app0Ref(); app0 != nullptr)
            layout.add(written(app0->marker, app0->raw));
        layout.add(companions());
        from = thumbnailDataStart(bytes.first(std::min<std::size_t>(bytes.size(), kThumbnailHeadBytes)), size);
    }
    if (policy_ == MetadataPolicy::Everything) {
        layout.add(Stretch{from});
        return layout;
    }
    SpanSource source(bytes);
    addFilteredCopy(layout, source, from, policy_);
    return layout;
}

ExifTransfer TransfereExif(const std::filesystem::path& source, const std::filesystem::path& thumbnail)
{
    CarriedMetadata metadata(source);
    if (!metadata.carried())
        return {};
    jpeg::TJPEGImage image;
    image.loadFromFile(thumbnail);
    const ThumbnailLayout layout = metadata.encoded(image.bytes(), image.width(), image.height());
    AtomicFile out(thumbnail);
    if (!out.open())
        throw EFCreateError(createErrorMessage(thumbnail.string(), out.error()));
    if (!layout.writeTo(out, image.bytes()) || !out.commit())
        throw EWriteError(writeErrorMessage(thumbnail.string(), out.error()));
    return metadata.transfer();
}

} // namespace tamblure::metadata
