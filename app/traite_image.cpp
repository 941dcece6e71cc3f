#include "app/traite_image.h"

#include "common/atomic_file.h"
#include "common/errors.h"
#include "common/file_io.h"
#include "common/system_reason.h"
#include "imaging/anti_alias.h"
#include "imaging/bitmap24.h"
#include "imaging/reduction.h"
#include "imaging/row_reducer.h"
#include "jpeg/JPEG_IO.h"
#include "jpeg/jpeg_util.h"
#include "jpeg/streamed_decode.h"
#include "metadata/exif.h"
#include "metadata/img_data.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <new>
#include <span>
#include <vector>

namespace tamblure::app {

namespace fs = std::filesystem;
using imaging::Bitmap24;
using imaging::PixelFormat;

std::uint8_t decodingScaleForLimit(std::int32_t largest, std::int32_t limit)
{
    // log2 in extended precision, so that exact powers of two (400 / 200)
    // give exactly 1 and are not truncated to 0.
    const long double ratio = static_cast<long double>(largest) / static_cast<long double>(limit);
    const long double k = std::trunc(std::log(ratio) / std::log(2.0L));
    return static_cast<std::uint8_t>(std::clamp(k, 0.0L, 3.0L));
}

std::uint8_t decodingScaleForFactor(std::int32_t factor)
{
    std::uint8_t k = 3;
    while (k > 0 && factor % (std::int32_t{1} << k) != 0)
        --k;
    return k;
}

namespace {

Bitmap24 newRaster24(std::int32_t width, std::int32_t height)
{
    Bitmap24 raster;
    raster.setPixelFormat(PixelFormat::Bits24);
    raster.setSize(width, height);
    return raster;
}

std::uint16_t side(std::int32_t value)
{
    return static_cast<std::uint16_t>(value);
}

// The scaled decode. A photograph that cannot be decoded at all ends the
// step with an error instead of becoming a blank thumbnail; a photograph cut
// short still decodes (libjpeg fills what is missing) and gets its thumbnail.
void decodeScaled(Bitmap24& decoded, const fs::path& source, std::uint8_t scale)
{
    std::int32_t code = 0;
    if (jpeg::DecodeJpegFile(&decoded, source, true, scale, &code))
        return;
    if (code > 0)
        throw EJPEG("Erreur JPEG #" + std::to_string(code));
    throw EJPEG("Impossible de décoder le fichier " + source.string());
}

const std::string kEncoderError = "Error writing JPEG to file ";

// The thumbnail's final bytes, the carried metadata (or nothing) then the
// thumbnail's data, replace the old thumbnail in one atomic step. Its
// permission bits are at most the photograph's.
FileStamp writeEncoded(const fs::path& thumbnail, unsigned permissions, std::span<const std::uint8_t> head,
                       std::span<const std::uint8_t> data)
{
    AtomicFile out(thumbnail);
    if (!out.open(permissions) || !out.write(head) || !out.write(data) || !out.commit())
        throw EWriteError(withReason(kEncoderError + thumbnail.string(), out.error()));
    return out.placed();
}

// A photograph small enough is its own thumbnail: the metadata in front (when
// carried) and its bytes from `from` on, streamed, whatever its size.
FileStamp writeCopy(const ReadOnlyFile& photograph, const fs::path& source, const fs::path& thumbnail,
                    std::span<const std::uint8_t> head, std::uint64_t from)
{
    AtomicFile out(thumbnail);
    if (!out.open(photograph.permissions()) || !out.write(head) || !out.copyFrom(photograph.fd(), from) ||
        !out.commit())
        throw EWriteError(withReason("Impossible de copier le fichier " + source.string() + " vers " +
                                         thumbnail.string(),
                                     out.error()));
    return out.placed();
}

FileStamp copyPhotograph(const ReadOnlyFile& photograph, const fs::path& source, const fs::path& thumbnail,
                         metadata::CarriedMetadata& metadata)
{
    if (!metadata.carried())
        return writeCopy(photograph, source, thumbnail, {}, 0);
    // The EXIF size is the one libjpeg reads from the photograph's headers,
    // as for any thumbnail.
    std::int32_t width = 0, height = 0;
    jpeg::ReadJpegSize(source, width, height);
    std::vector<std::uint8_t> lead;
    int error = 0;
    if (!photograph.readHead(metadata::kThumbnailHeadBytes, lead, error))
        throw EFOpenError(openErrorMessage(source.string(), error));
    const std::uint64_t from = metadata::thumbnailDataStart(lead, photograph.size());
    return writeCopy(photograph, source, thumbnail, metadata.head(width, height), from);
}

// Encodes the finished raster and writes it with the carried metadata.
FileStamp encodeThumbnail(const Bitmap24& raster, const fs::path& thumbnail, unsigned permissions,
                          std::int32_t quality, metadata::CarriedMetadata& metadata)
{
    std::vector<std::uint8_t> encoded;
    try {
        encoded = jpeg::EncodeJpegBytes(raster, quality);
    } catch (const EWriteError&) {
        throw EWriteError(kEncoderError + thumbnail.string());
    }
    if (!metadata.carried())
        return writeEncoded(thumbnail, permissions, {}, encoded);
    const std::span<const std::uint8_t> data = std::span(encoded).subspan(metadata::thumbnailDataStart(encoded));
    return writeEncoded(thumbnail, permissions, metadata.head(raster.width(), raster.height()), data);
}

Thumbnail makeThumbnailOf(const fs::path& source, const fs::path& thumbnail, const ThumbnailRequest& request)
{
    const ReadOnlyFile photograph(source);
    if (!photograph.opened())
        throw EFOpenError(openErrorMessage(source.string(), photograph.openError()));
    std::uint16_t width = 0, height = 0;
    bool threeComponents = false;
    // Anything else named *.jpg (a text file, a link to a private file, a
    // JPEG whose frame libjpeg cannot decode) gets no thumbnail: copied as
    // its own "thumbnail" it would leak its bytes into the thumbnail folder.
    if (!photograph.readable() || !jpeg::ProbeJpegHeader(source, width, height, threeComponents))
        throw EJPEG("Le fichier « " + source.string() + " » n'est pas une photographie JPEG lisible");

    metadata::CarriedMetadata metadata(source);
    Thumbnail result;
    result.orientation = metadata.transfer().orientation;
    result.photograph = photograph.stamp();
    Bitmap24 decoded;

    if (request.largestDimension) {
        const std::int32_t limit = request.number;
        const std::int32_t largest = std::max(width, height);
        if (largest <= limit) {
            // Already small enough: the thumbnail is the photograph itself.
            result.written = copyPhotograph(photograph, source, thumbnail, metadata);
            result.route = ThumbnailRoute::Copied;
        } else {
            // The photograph's full size, whatever the decoding scale: the
            // longer side comes out exactly at the limit. 64-bit products,
            // since a side times the limit can pass 32 bits.
            const auto thumbWidth = static_cast<std::int32_t>(std::int64_t{width} * limit / largest);
            const auto thumbHeight = static_cast<std::int32_t>(std::int64_t{height} * limit / largest);
            Bitmap24 small;
            if (threeComponents) {
                result.scale = decodingScaleForLimit(largest, limit);
                decodeScaled(decoded, source, result.scale);
                small = newRaster24(thumbWidth, thumbHeight);
                imaging::ReduitTaille(decoded, small);
                decoded = Bitmap24();
            } else {
                small = jpeg::DecodeJpegFullSizeReduced(source, imaging::ReductionPlan::toSize(thumbWidth, thumbHeight));
            }
            result.written = encodeThumbnail(small, thumbnail, photograph.permissions(), request.quality, metadata);
            width = side(small.width());
            height = side(small.height());
        }
    } else {
        std::int32_t factor = request.number;
        if (threeComponents) {
            result.scale = decodingScaleForFactor(factor);
            decodeScaled(decoded, source, result.scale);
            factor = static_cast<std::int32_t>(static_cast<std::uint32_t>(factor) >> result.scale);
        } else {
            // The full-size route reduces as it decodes; what it returns is
            // the thumbnail, which the rest encodes as a factor of 1 would.
            decoded = jpeg::DecodeJpegFullSizeReduced(source, imaging::ReductionPlan::byFactor(factor));
            factor = 1;
        }
        if (factor == 1) {
            result.written = encodeThumbnail(decoded, thumbnail, photograph.permissions(), request.quality, metadata);
            width = side(decoded.width());
            height = side(decoded.height());
        } else {
            Bitmap24 small = newRaster24(decoded.width() / factor, decoded.height() / factor);
            imaging::ReduitFacteur(decoded, small, factor);
            decoded = Bitmap24();
            result.written = encodeThumbnail(small, thumbnail, photograph.permissions(), request.quality, metadata);
            width = side(small.width());
            height = side(small.height());
        }
    }
    result.width = width;
    result.height = height;
    return result;
}

bool namesFile(const std::string& message, const fs::path& source, const fs::path& thumbnail)
{
    return message.find(source.string()) != std::string::npos ||
           message.find(thumbnail.string()) != std::string::npos;
}

} // namespace

Thumbnail makeThumbnail(const fs::path& source, const fs::path& thumbnail, const ThumbnailRequest& request)
{
    try {
        return makeThumbnailOf(source, thumbnail, request);
    } catch (const Exception& error) {
        // Every error of a picture names its file, so that the user knows
        // which photograph to look at.
        if (namesFile(error.message(), source, thumbnail))
            throw;
        std::rethrow_exception(error.withMessage(error.message() + " (fichier " + source.string() + ")"));
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory("Mémoire insuffisante (fichier " + source.string() + ")");
    }
}

void recordPicture(RunHost& host, RunState& state, const std::string& fileName, std::int64_t fileSize,
                   const Thumbnail& thumbnail)
{
    ++state.imageCounter;
    host.addToList(fileName);
    if (host.pageWanted() && state.page != nullptr) {
        PageCell cell;
        cell.fileName = fileName;
        cell.width = thumbnail.width;
        cell.height = thumbnail.height;
        cell.kilobytes = fileSize / 1024;
        cell.orientation = thumbnail.orientation;
        EcritCellule(*state.page, host, cell, state.imageCounter);
    }
}

ThumbnailRequest requestFrom(const RunHost& host, std::int32_t number)
{
    ThumbnailRequest request;
    request.largestDimension = host.criterion() == 0;
    request.number = number;
    request.quality = host.quality();
    return request;
}

fs::path photographPath(const std::string& folder, const std::string& fileName)
{
    return fs::path(folder) / fileName;
}

fs::path thumbnailPath(const std::string& folder, const std::string& fileName)
{
    return fs::path(folder) / std::string(kThumbnailFolderName) / fileName;
}

void TraiteImage(RunHost& host, RunState& state, const std::string& fileName, std::int64_t fileSize)
{
    if (host.pageWanted() && state.page != nullptr)
        OuvreCellule(*state.page, host, state.imageCounter);
    const Thumbnail thumbnail = makeThumbnail(photographPath(state.folder, fileName), thumbnailPath(state.folder, fileName),
                                              requestFrom(host, state.number));
    recordPicture(host, state, fileName, fileSize, thumbnail);
}

} // namespace tamblure::app
