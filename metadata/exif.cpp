#include "metadata/exif.h"

#include "jpeg/jpeg_image.h"
#include "metadata/image_info.h"
#include "metadata/img_data.h"

namespace tamblure::metadata {

CarriedMetadata::CarriedMetadata(const std::filesystem::path& photograph)
    : CarriedMetadata(jpeg::JpegInput::file(photograph))
{}

CarriedMetadata::CarriedMetadata(const jpeg::JpegInput& photograph) : photo_(std::make_unique<TimgData>(255))
{
    if (photograph.read)
        photo_->ScanFile(photograph.path, photograph.bytes);
    else
        photo_->ReadPhoto(photograph.path);
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

std::vector<std::uint8_t> CarriedMetadata::head(std::int32_t width, std::int32_t height)
{
    return photo_->ThumbnailHead(width, height, true);
}

ExifTransfer TransfereExif(const std::filesystem::path& source, const std::filesystem::path& thumbnail)
{
    TimgData photo(255);
    if (!photo.ReadPhoto(source) || !photo.HasExifSegment())
        return {};

    jpeg::TJPEGImage image;
    image.loadFromFile(thumbnail);
    photo.RewriteThumbnail(image.bytes(), image.width(), image.height(), thumbnail, true);
    ExifTransfer result;
    if (const TImageInfo* directory = photo.directory())
        result.orientation = directory->orientation();
    return result;
}

} // namespace tamblure::metadata
