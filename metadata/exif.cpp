#include "metadata/exif.h"

#include "jpeg/jpeg_image.h"
#include "metadata/image_info.h"
#include "metadata/img_data.h"

namespace tamblure::metadata {

ExifTransfer TransfereExif(const std::filesystem::path& source, const std::filesystem::path& thumbnail)
{
    ExifTransfer result;
    TimgData photo(255);
    // ReadPhoto never raises: a photograph that cannot be read simply has no
    // metadata to carry.
    if (!photo.ReadPhoto(source) || !photo.HasExifSegment())
        return result;

    jpeg::TJPEGImage image;
    image.loadFromFile(thumbnail);
    photo.RewriteThumbnail(image, thumbnail, true);
    if (const TImageInfo* directory = photo.directory())
        result.orientation = directory->orientation();
    return result;
}

} // namespace tamblure::metadata
