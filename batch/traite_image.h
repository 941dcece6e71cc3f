#pragma once

// The per-image step: one photograph of the folder becomes its thumbnail.

#include "batch/folder_search.h"
#include "batch/page_writer.h"
#include "batch/run_host.h"
#include "common/directory.h"
#include "common/file_io.h"
#include "jpeg/decoded_picture.h"
#include "metadata/metadata_policy.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace tamblure::batch {

// What the run owns for the length of one folder's run.
struct RunState {
    std::string folder;            // the chosen folder, always ending in "/"
    std::int32_t number = 0;       // limit in pixels or reduction factor, at least 1
    std::int32_t imageCounter = 0; // pictures finished so far
    // The page as asked for when the run started; nothing when not wanted.
    std::optional<PageSettings> pageSettings;
    PageFile* page = nullptr; // the page, when it was wanted and could be created

    bool pageWanted() const { return pageSettings.has_value(); }
};

// How a thumbnail was made, for the tests and the benchmarks; UpToDate: an
// earlier run's thumbnail was kept as it was.
enum class ThumbnailRoute {
    Copied,
    Encoded,
    UpToDate
};

// The outcome of making one thumbnail.
struct Thumbnail {
    std::uint16_t width = 0; // the thumbnail's size as written
    std::uint16_t height = 0;
    std::uint16_t orientation = 0; // the photograph's EXIF orientation, 0 when unknown
    ThumbnailRoute route = ThumbnailRoute::Encoded;
    std::uint8_t scale = 0; // decoding scale k: decoded at 1/2^k (full-size route: 0)
    FileStamp photograph;   // the photograph as it was read
    FileStamp written;      // the thumbnail as it was put in place
    // What libjpeg warned of while it read the photograph (cut short,
    // corrupt data); for a copied photograph, what a quick decode found.
    jpeg::JpegWarnings warnings;
};

// The criterion, the number, the quality and the metadata policy of one
// thumbnail.
struct ThumbnailRequest {
    Criterion criterion = Criterion::LargestDimension;
    std::int32_t number = 200;
    std::int32_t quality = 75;
    metadata::MetadataPolicy policy = metadata::MetadataPolicy::Everything;
    bool operator==(const ThumbnailRequest&) const = default;
    auto operator<=>(const ThumbnailRequest&) const = default;
};

// The request for the next picture, read from the window as it stands now.
ThumbnailRequest requestFrom(const RunHost& host, std::int32_t number);

// Probe, decode at the chosen scale, resample, encode (or copy a photograph
// already small enough), then carry the metadata over. The thumbnail grants
// nobody access that the photograph denies (see limitAccess). The two
// folders are opened once, and the files reached inside them. Every failure
// raises the error that ends the run.
Thumbnail makeThumbnail(const std::filesystem::path& source, const std::filesystem::path& thumbnail,
                        const ThumbnailRequest& request);

class ThumbnailRecords;
class MemoryBudget;

// Where one folder's pictures are read and written: the photograph folder
// and its thumbnail folder, each held open, so that every name is reached
// inside the very folders that were opened.
struct PictureFolder {
    const Directory& photographs;
    const Directory& thumbnails;
};

// One picture as the run records it: its thumbnail and what it was made
// with.
struct Picture {
    Thumbnail thumbnail;
    ThumbnailRequest request;
};

// The per-image step: photograph becomes its thumbnail of the same name.
// With records, a thumbnail that they say is up to date for this request is
// kept as it is (only its frame header is read, for the page, and its access
// brought to what the photograph grants now); otherwise the thumbnail is made
// as makeThumbnail makes it, after taking what it will hold from the memory
// budget when there is one (MemoryBudget): EOutOfMemory for a photograph
// that alone needs more than all of it. Raises what makeThumbnail raises.
Picture TraiteImage(const PictureFolder& folder, const FoundFile& photograph, const ThumbnailRequest& request,
                    const ThumbnailRecords* records, MemoryBudget* memory = nullptr);

// What the user is told of a photograph whose data libjpeg warned of.
std::string warningMessage(const jpeg::JpegWarnings& warnings);

// What the run does once a picture is made, in search order: the warning of
// its data, if any; the counter, the list line and, when the page is wanted,
// the page cell (its opening first). fileSize is the photograph's size in bytes.
void recordPicture(RunHost& host, RunState& state, const std::string& fileName, std::int64_t fileSize,
                   const Thumbnail& thumbnail);

} // namespace tamblure::batch
