#pragma once

// The per-image step: one photograph of the folder becomes its thumbnail.

#include "batch/page_writer.h"
#include "batch/run_host.h"
#include "common/file_io.h"
#include "jpeg/decoded_picture.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace tamblure::batch {

// What the run owns for the length of one press of the start button.
struct RunState {
    std::string folder;            // the chosen folder, always ending in "/"
    std::int32_t number = 0;       // limit in pixels or reduction factor, at least 1
    std::int32_t imageCounter = 0; // pictures finished so far
    PageFile* page = nullptr;      // the page, when it was wanted at the start and could be created
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

// The criterion, the number and the quality of one thumbnail.
struct ThumbnailRequest {
    bool largestDimension = true; // "Dimension maximale"; otherwise "Facteur de réduction"
    std::int32_t number = 200;
    std::int32_t quality = 75;
};

// The request for the next picture, read from the window as it stands now.
ThumbnailRequest requestFrom(const RunHost& host, std::int32_t number);

// Probe, decode at the chosen scale, resample, encode (or copy a photograph
// already small enough), then carry the metadata over. Every failure raises
// the error that ends the run.
Thumbnail makeThumbnail(const std::filesystem::path& source, const std::filesystem::path& thumbnail,
                        const ThumbnailRequest& request);

// The decoding scale under "Dimension maximale": the largest k, up to 3, for
// which largest / 2^k is still at least limit (largest > limit >= 1).
std::uint8_t decodingScaleForLimit(std::int32_t largest, std::int32_t limit);

// The decoding scale under "Facteur de réduction": the largest power of two,
// up to 8, that divides the factor.
std::uint8_t decodingScaleForFactor(std::int32_t factor);

// The page cell opening, then the thumbnail, then the counter, the list line
// and the page cell of one picture. fileSize is the photograph's size in
// bytes.
void TraiteImage(RunHost& host, RunState& state, const std::string& fileName, std::int64_t fileSize);

// The part of TraiteImage after the thumbnail is made: counter, list, cell.
void recordPicture(RunHost& host, RunState& state, const std::string& fileName, std::int64_t fileSize,
                   const Thumbnail& thumbnail);

} // namespace tamblure::batch
