#include "batch/kept_thumbnail.h"

#include "batch/thumbnail_plan.h"
#include "common/access_rights.h"
#include "jpeg/jpeg_util.h"
#include "jpeg/quant_tables.h"
#include "metadata/exif.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>

namespace tamblure::batch {

namespace {

// How much of a photograph is read to find its frame header: its leading
// segments (EXIF, profile, maker notes) rarely reach that far; a photograph
// whose header lies further is made again, which is always right.
constexpr std::size_t kPhotographHeadBytes = 512 * 1024;
// How much compressed data a copied photograph and its thumbnail must share.
constexpr std::size_t kComparedScanBytes = 64 * 1024;

// The same compressed data from the first scan on, as far as both go (up to
// kComparedScanBytes): a copy carries the photograph's data unchanged, only
// the segments in front of it differ.
bool sameScanData(std::span<const std::uint8_t> photograph, std::span<const std::uint8_t> thumbnail)
{
    const auto fromPhotograph = jpeg::FirstScanOffset(photograph);
    const auto fromThumbnail = jpeg::FirstScanOffset(thumbnail);
    if (!fromPhotograph || !fromThumbnail)
        return false;
    const auto a = photograph.subspan(*fromPhotograph);
    const auto b = thumbnail.subspan(*fromThumbnail);
    const std::size_t compared = std::min({a.size(), b.size(), kComparedScanBytes});
    return compared > 0 && std::equal(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(compared), b.begin());
}

std::optional<Thumbnail> adopted(const PictureFolder& folder, const FoundFile& photograph,
                                 const ThumbnailRequest& request, const FileStamp& written)
{
    if (request.policy != metadata::MetadataPolicy::Everything || written.modified < photograph.stamp.changed)
        return std::nullopt;
    const std::filesystem::path path = folder.thumbnails.path() / photograph.name;
    const PhotographBytes thumbnail(folder.thumbnails.fd(), photograph.name, path, false);
    if (!thumbnail.readable() || !(thumbnail.file().stamp() == written))
        return std::nullopt;
    const auto thumbnailFrame = jpeg::ProbeJpegFrame(thumbnail.bytes());
    const ReadOnlyFile source(folder.photographs.fd(), photograph.name);
    std::vector<std::uint8_t> head;
    int error = 0;
    if (!thumbnailFrame || !source.readable() || !(source.stamp() == photograph.stamp) ||
        !source.readHead(kPhotographHeadBytes, head, error))
        return std::nullopt;
    const auto frame = jpeg::ProbeJpegFrame(head);
    if (!frame)
        return std::nullopt;
    const ThumbnailPlan plan = planThumbnail(*frame, request);
    if (thumbnailFrame->width != plan.width || thumbnailFrame->height != plan.height)
        return std::nullopt;
    if (plan.copied
            ? !sameScanData(head, thumbnail.bytes())
            : !(thumbnailFrame->threeComponents() && jpeg::HasEncoderTables(thumbnail.bytes(), request.quality)))
        return std::nullopt;
    if (limitAccess(thumbnail.file().fd(), FileAccess::of(source.fd())) != 0)
        return std::nullopt;
    struct stat now {};
    if (::fstat(thumbnail.file().fd(), &now) != 0)
        return std::nullopt;
    Thumbnail kept;
    kept.width = thumbnailFrame->width;
    kept.height = thumbnailFrame->height;
    // The thumbnail carries the photograph's EXIF segment, orientation and
    // all, whoever made it.
    kept.orientation = metadata::CarriedMetadata(thumbnail.bytes(), path).transfer().orientation;
    kept.route = ThumbnailRoute::UpToDate;
    kept.photograph = photograph.stamp;
    kept.written = stampOf(now);
    return kept;
}

} // namespace

std::optional<Thumbnail> keptThumbnail(const PictureFolder& folder, const FoundFile& photograph,
                                       const ThumbnailRequest& request, const ThumbnailRecords& records)
{
    struct stat info {};
    if (::fstatat(folder.thumbnails.fd(), photograph.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(info.st_mode))
        return std::nullopt;
    const FileStamp written = stampOf(info);
    // Both files exactly as recorded: neither the photograph's nor the
    // thumbnail's contents or access changed since, so nothing needs looking
    // at, not even the thumbnail's header.
    if (const ThumbnailRecord* record = records.upToDate(photograph.name, photograph.stamp, written, request)) {
        Thumbnail kept;
        kept.width = record->width;
        kept.height = record->height;
        kept.orientation = record->orientation;
        kept.route = ThumbnailRoute::UpToDate;
        kept.photograph = photograph.stamp;
        kept.written = written;
        return kept;
    }
    return adopted(folder, photograph, request, written);
}

} // namespace tamblure::batch
