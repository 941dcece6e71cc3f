#include "batch/traite_image.h"

#include "batch/kept_thumbnail.h"
#include "batch/memory_budget.h"
#include "batch/thumbnail_plan.h"
#include "common/access_rights.h"
#include "common/atomic_file.h"
#include "common/directory.h"
#include "common/errors.h"
#include "common/file_io.h"
#include "common/system_reason.h"
#include "common/translation.h"
#include "imaging/bitmap24.h"
#include "imaging/reduction.h"
#include "jpeg/JPEG_IO.h"
#include "jpeg/decode_memory.h"
#include "jpeg/jpeg_error.h"
#include "jpeg/jpeg_util.h"
#include "jpeg/streamed_decode.h"
#include "metadata/caption.h"
#include "metadata/exif.h"
#include "metadata/img_data.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <exception>
#include <limits>
#include <new>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace tamblure::batch {

namespace fs = std::filesystem;
using imaging::Bitmap24;

namespace {

// As far as a photograph is read to find its frame header before it is
// read whole: past its leading segments in all but rare files (a frame
// further on is found once the file is read).
constexpr std::size_t kHeadBytes = 512 * 1024;

std::uint16_t narrowedToSide(std::int32_t value)
{
    return static_cast<std::uint16_t>(value);
}

// The picture the thumbnail is encoded from. A three-component photograph
// is decoded at 1/2^scale, the scale chosen for the plan, then reduced as
// planned (a factor counts what the decoder has not done yet); any other is
// decoded at full size and reduced on the way. A photograph cut short still
// decodes (libjpeg fills what is missing) and gets its thumbnail; the
// warnings say so.
jpeg::DecodedPicture thumbnailPicture(std::span<const std::uint8_t> bytes, const jpeg::JpegFrame& frame,
                                      std::uint8_t scale, imaging::ReductionPlan plan)
{
    if (!frame.threeComponents())
        return jpeg::DecodeJpegFullSizeReduced(bytes, plan);
    if (plan.kind == imaging::ReductionPlan::Kind::ByFactor)
        plan.factor = static_cast<std::int32_t>(static_cast<std::uint32_t>(plan.factor) >> scale);
    jpeg::DecodedPicture decoded = jpeg::DecodeJpegScaled(bytes, frame, scale);
    return {imaging::reduceAsPlanned(std::move(decoded.raster), plan), decoded.warnings};
}

// Where the thumbnail goes: its folder, held open, and its name there.
struct Target {
    const Directory& folder;
    const std::string& name;
    fs::path path() const { return folder.path() / name; }
};

// The new thumbnail grants nobody access that its photograph denies, before
// it takes its name.
bool limitedLike(AtomicFile& out, const FileAccess& photograph)
{
    const int error = limitAccess(out.descriptor(), photograph);
    if (error == 0)
        return true;
    errno = error;
    return false;
}

// Encodes the thumbnail's picture and writes it with the carried metadata:
// its final bytes replace the old thumbnail in one atomic step.
FileStamp encodeThumbnail(const Bitmap24& raster, const Target& thumbnail, const FileAccess& access,
                          std::int32_t quality, metadata::CarriedMetadata& metadata)
{
    std::vector<std::uint8_t> encoded;
    try {
        encoded = jpeg::EncodeJpegBytes(raster, quality);
    } catch (const EWriteError&) {
        throw EWriteError(format(tr("Error writing JPEG to file %1"), {thumbnail.path().string()}));
    }
    const metadata::ThumbnailLayout layout = metadata.encoded(encoded, raster.width(), raster.height());
    AtomicFile out(thumbnail.folder, thumbnail.name);
    if (!out.open() || !limitedLike(out, access) || !layout.writeTo(out, encoded) || !out.commit())
        throw EWriteError(withReason(format(tr("Error writing JPEG to file %1"), {thumbnail.path().string()}),
                                     out.error() != 0 ? out.error() : errno));
    return out.placed();
}

// A photograph small enough is its own thumbnail: the carried metadata in
// front, then its bytes, streamed from the file whatever its size.
FileStamp copyPhotograph(const PhotographBytes& photograph, const jpeg::JpegFrame& frame, const Target& thumbnail,
                         const FileAccess& access, metadata::CarriedMetadata& metadata)
{
    const metadata::ThumbnailLayout layout = metadata.copied(photograph.bytes(), frame.width, frame.height);
    AtomicFile out(thumbnail.folder, thumbnail.name);
    if (!out.open() || !limitedLike(out, access) || !layout.writeTo(out, photograph.file().fd()) || !out.commit())
        throw EWriteError(withReason(format(tr("Impossible de copier le fichier %1 vers %2"),
                                            {photograph.path().string(), thumbnail.path().string()}),
                                     out.error() != 0 ? out.error() : errno));
    return out.placed();
}

// What making the thumbnail of a photograph of this frame, fileBytes long,
// holds at once (jpeg/decode_memory.h). A photograph the decoders refuse
// from its headers needs nothing.
std::uint64_t memoryFor(const jpeg::JpegFrame& frame, const ThumbnailRequest& request, std::uint64_t fileBytes)
{
    // The copy's check decodes at 1/8, the carried metadata is small.
    constexpr std::uint64_t kCopyExtra = std::uint64_t{4} << 20;
    if (!jpeg::withinWorkBound(frame, fileBytes))
        return 0;
    const ThumbnailPlan plan = planThumbnail(frame, request);
    if (plan.copied)
        return fileBytes + jpeg::decoderMemory(frame) + kCopyExtra;
    return jpeg::thumbnailMemory(frame, {plan.scale, plan.reduction, fileBytes});
}

EOutOfMemory tooLargeFor(const MemoryBudget& memory, std::uint64_t bytes, const fs::path& source)
{
    constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
    return EOutOfMemory(
        format(tr("La photographie « %1 » demande %2 Mio de mémoire, plus que les %3 Mio permis au traitement"),
               {source.string(), (bytes + kMiB - 1) / kMiB, memory.total() / kMiB}));
}

// Takes from the run's budget what the photograph will hold for all its
// thumbnails, before its file is read whole: waits while other pictures hold the budget, and
// refuses a photograph that alone needs more than all of it.
MemoryBudget::Reservation reserveFor(MemoryBudget& memory, const jpeg::JpegFrame& frame,
                                     std::span<const ThumbnailRequest> requests, std::uint64_t fileBytes,
                                     const fs::path& source)
{
    std::uint64_t bytes = 0;
    for (const ThumbnailRequest& request : requests)
        bytes += memoryFor(frame, request, fileBytes);
    if (!memory.fits(bytes))
        throw tooLargeFor(memory, bytes, source);
    return memory.reserve(bytes);
}

// Takes from the run's budget the bytes of a photograph read whole before
// its frame is known.
MemoryBudget::Reservation reserveRead(MemoryBudget& memory, std::uint64_t fileBytes, const fs::path& source)
{
    if (!memory.fits(fileBytes))
        throw tooLargeFor(memory, fileBytes, source);
    return memory.reserve(fileBytes);
}

// One thumbnail the step makes of a photograph: where, and under which
// request.
struct Wanted {
    Target target;
    ThumbnailRequest request;
};

imaging::Bitmap24 copyOf(const imaging::Bitmap24& raster)
{
    imaging::Bitmap24 copy = imaging::makeRaster24(raster.width(), raster.height());
    std::copy_n(raster.pixels(), raster.pixelBytes(), copy.pixels());
    return copy;
}

// The thumbnails of one photograph, in the order wanted. The photograph is
// read once; a three-component photograph whose thumbnails all decode at the
// same scale is decoded once, each thumbnail reduced from that picture as if
// it were made alone. The budget gives one reservation for them all: the sum
// of what each would hold alone, which covers the shared decode and its copy.
std::vector<Thumbnail> makeThumbnailsOf(const Directory& photographs, const std::string& name,
                                        std::span<const Wanted> wanted, MemoryBudget* memory)
{
    // The photograph is read once; every stage takes its bytes from memory.
    const fs::path source = photographs.path() / name;
    PhotographBytes photograph(photographs.fd(), name, source, true, PhotographBytes::Load::Later);
    if (!photograph.file().opened())
        throw EFOpenError(openErrorMessage(source.string(), photograph.error()));
    // Anything else named *.jpg (a text file, a link to a private file, a
    // JPEG whose frame libjpeg cannot decode) gets no thumbnail: copied as
    // its own "thumbnail" it would leak its bytes into the thumbnail folder.
    std::optional<jpeg::JpegFrame> frame;
    MemoryBudget::Reservation reservation;
    if (photograph.file().readable()) {
        std::vector<ThumbnailRequest> requests;
        for (const Wanted& w : wanted)
            requests.push_back(w.request);
        // The frame from the file's head says what the picture will cost,
        // before the file is read whole. A frame further in (behind large
        // comments or a preview) is known once the file is read: until then
        // the file's bytes alone are taken, then given back for the whole.
        std::vector<std::uint8_t> head;
        int error = 0;
        std::optional<jpeg::JpegFrame> early;
        if (memory != nullptr && photograph.file().readHead(kHeadBytes, head, error))
            early = jpeg::ProbeJpegFrame(head);
        if (memory != nullptr)
            reservation = early ? reserveFor(*memory, *early, requests, photograph.file().size(), source)
                                : reserveRead(*memory, photograph.file().size(), source);
        photograph.load();
        photograph.requireReadable();
        frame = jpeg::ProbeJpegFrame(photograph.bytes());
        if (memory != nullptr && frame && !early) {
            reservation = {};
            reservation = reserveFor(*memory, *frame, requests, photograph.file().size(), source);
        }
    }
    const std::string unreadable =
        format(tr("Le fichier « %1 » n'est pas une photographie JPEG lisible"), {source.string()});
    if (!frame)
        throw EJPEG(unreadable);

    const FileAccess access = FileAccess::of(photograph.file().fd());
    std::vector<ThumbnailPlan> plans;
    for (const Wanted& w : wanted)
        plans.push_back(planThumbnail(*frame, w.request));
    const bool shareDecode = frame->threeComponents() && plans.size() > 1 &&
                             std::all_of(plans.begin(), plans.end(), [&](const ThumbnailPlan& p) {
                                 return !p.copied && p.scale == plans.front().scale;
                             });
    std::optional<jpeg::DecodedPicture> shared;
    if (shareDecode)
        shared = jpeg::DecodeJpegScaled(photograph.bytes(), *frame, plans.front().scale);

    std::vector<Thumbnail> made;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        const ThumbnailPlan& plan = plans[i];
        // Each thumbnail carries its own copy of the metadata: the EXIF
        // segment's size is rewritten to that thumbnail's.
        metadata::CarriedMetadata metadata(photograph.bytes(), source, wanted[i].request.policy);
        Thumbnail result;
        const metadata::ExifTransfer transfer = metadata.transfer();
        result.orientation = transfer.orientation;
        result.caption = transfer.caption;
        result.photograph = photograph.file().stamp();
        if (plan.copied) {
            // Copied whole, the photograph is its own thumbnail, damage and
            // all: only one that decodes to the end of its picture, without
            // corrupt data, is copied (a header with no picture behind it, or
            // one followed by anything at all, would become a "thumbnail"
            // nothing can show). A few rows of work at 1/8: it costs little.
            const jpeg::JpegDecodeCheck check = jpeg::CheckJpegDecodes(photograph.bytes());
            if (!check.complete() || check.warnings.corruptData != 0)
                throw EJPEG(unreadable);
            result.warnings = check.warnings;
            result.written = copyPhotograph(photograph, *frame, wanted[i].target, access, metadata);
            result.route = ThumbnailRoute::Copied;
            result.width = frame->width;
            result.height = frame->height;
            made.push_back(std::move(result));
            continue;
        }
        result.scale = plan.scale;
        jpeg::DecodedPicture decoded;
        if (shared) {
            imaging::ReductionPlan reduction = plan.reduction;
            if (reduction.kind == imaging::ReductionPlan::Kind::ByFactor)
                reduction.factor =
                    static_cast<std::int32_t>(static_cast<std::uint32_t>(reduction.factor) >> plan.scale);
            const bool last = i + 1 == wanted.size();
            decoded = {imaging::reduceAsPlanned(last ? std::move(shared->raster) : copyOf(shared->raster), reduction),
                       shared->warnings};
        } else {
            decoded = thumbnailPicture(photograph.bytes(), *frame, plan.scale, plan.reduction);
        }
        const Bitmap24& picture = decoded.raster;
        result.warnings = decoded.warnings;
        result.written = encodeThumbnail(picture, wanted[i].target, access, wanted[i].request.quality, metadata);
        result.width = narrowedToSide(picture.width());
        result.height = narrowedToSide(picture.height());
        made.push_back(std::move(result));
    }
    return made;
}

bool namesFile(const std::string& message, const fs::path& source, std::span<const Wanted> wanted)
{
    return message.find(source.string()) != std::string::npos ||
           std::any_of(wanted.begin(), wanted.end(),
                       [&](const Wanted& w) { return message.find(w.target.path().string()) != std::string::npos; });
}

std::vector<Thumbnail> makeNamed(const Directory& photographs, const std::string& photograph,
                                 std::span<const Wanted> wanted, MemoryBudget* memory = nullptr)
{
    const fs::path source = photographs.path() / photograph;
    try {
        return makeThumbnailsOf(photographs, photograph, wanted, memory);
    } catch (const Exception& error) {
        // Every error of a picture names its file, so that the user knows
        // which photograph to look at.
        if (namesFile(error.message(), source, wanted))
            throw;
        std::rethrow_exception(error.withMessage(format(tr("%1 (fichier %2)"), {error.message(), source.string()})));
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory(format(tr("%1 (fichier %2)"), {tr("Mémoire insuffisante"), source.string()}));
    }
}

// The caption of a photograph whose thumbnails were all kept: read from its
// leading segments, when it is still the file the search saw. Most
// photographs hold them in their first 64 KiB; the others are read as far as
// kHeadBytes.
std::string captionOf(const Directory& photographs, const FoundFile& photograph, metadata::MetadataPolicy policy)
{
    constexpr std::size_t kFirstBytes = 64 * 1024;
    if (policy == metadata::MetadataPolicy::OrientationOnly)
        return {};
    const ReadOnlyFile file(photographs.fd(), photograph.name);
    if (!file.readable() || !(file.stamp() == photograph.stamp))
        return {};
    std::vector<std::uint8_t> head;
    int error = 0;
    for (const std::size_t bytes : {kFirstBytes, kHeadBytes}) {
        if (!file.readHead(bytes, head, error))
            return {};
        if (head.size() < bytes || jpeg::FirstScanOffset(head))
            break;
    }
    metadata::TimgData segments;
    segments.ScanSegments(head);
    return metadata::captionOf(segments);
}

} // namespace

Thumbnail makeThumbnail(const fs::path& source, const fs::path& thumbnail, const ThumbnailRequest& request)
{
    const auto folderOf = [](const fs::path& path) { return path.has_parent_path() ? path.parent_path() : "."; };
    const Directory photographs(folderOf(source));
    if (!photographs.opened())
        throw EFOpenError(openErrorMessage(source.string(), photographs.openError()));
    const Directory thumbnails(folderOf(thumbnail));
    if (!thumbnails.opened())
        throw EWriteError(
            withReason(format(tr("Error writing JPEG to file %1"), {thumbnail.string()}), thumbnails.openError()));
    const std::string name = thumbnail.filename().string();
    const Wanted wanted[] = {{{thumbnails, name}, request}};
    return makeNamed(photographs, source.filename().string(), wanted).front();
}

Picture TraiteImage(const PictureFolder& folder, const FoundFile& photograph, const ThumbnailRequest& request,
                    const ThumbnailRecords* records, MemoryBudget* memory, const StepExtras& extras)
{
    if (!photograph.regular) {
        const fs::path path = folder.photographs.path() / photograph.name;
        if (photograph.error != 0)
            throw EFOpenError(openErrorMessage(path.string(), photograph.error));
        throw EFOpenError(format(tr("Le fichier « %1 » n'est pas un fichier ordinaire"), {path.string()}));
    }
    const std::optional<ThumbnailRequest> twice =
        folder.doubled != nullptr ? doubledRequest(request) : std::optional<ThumbnailRequest>();
    Picture picture{{}, request, std::nullopt};
    std::optional<Thumbnail> kept, keptDouble;
    if (records != nullptr)
        kept = keptThumbnail(folder, photograph, request, *records);
    if (twice && extras.doubledRecords != nullptr)
        keptDouble = keptThumbnail({folder.photographs, *folder.doubled}, photograph, *twice, *extras.doubledRecords);

    std::vector<Wanted> wanted;
    if (!kept)
        wanted.push_back({{folder.thumbnails, photograph.name}, request});
    if (twice && !keptDouble)
        wanted.push_back({{*folder.doubled, photograph.name}, *twice});
    std::vector<Thumbnail> made;
    if (!wanted.empty())
        made = makeNamed(folder.photographs, photograph.name, wanted, memory);
    // Whichever thumbnail was made read the caption on its way.
    std::string caption = !made.empty()    ? made.front().caption
                          : extras.caption ? captionOf(folder.photographs, photograph, request.policy)
                                           : std::string();
    auto next = made.begin();
    picture.thumbnail = kept ? std::move(*kept) : std::move(*next++);
    picture.thumbnail.caption = std::move(caption);
    if (twice)
        picture.doubled = keptDouble ? std::move(*keptDouble) : std::move(*next++);
    return picture;
}

std::string warningMessage(const jpeg::JpegWarnings& warnings)
{
    if (warnings.dataRanOut)
        return tr("fichier tronqué : la fin de la photographie manque, la vignette est complétée en gris");
    return format(tr("données endommagées (%1) : la vignette peut en montrer des traces"),
                  {jpeg::jpegMessageText(warnings.corruptData)});
}

void recordPicture(RunHost& host, RunState& state, const std::string& fileName, std::int64_t fileSize,
                   const Picture& picture)
{
    const Thumbnail& thumbnail = picture.thumbnail;
    // A kept thumbnail was not read again; the double, when made, was.
    const jpeg::JpegWarnings& warnings =
        thumbnail.warnings.any() || !picture.doubled ? thumbnail.warnings : picture.doubled->warnings;
    if (warnings.any())
        host.reportWarning(fileName, warningMessage(warnings));
    const std::int32_t before = state.imageCounter;
    ++state.imageCounter;
    // A picture counts as kept only when every thumbnail of it was.
    if (thumbnail.route == ThumbnailRoute::UpToDate &&
        (!picture.doubled || picture.doubled->route == ThumbnailRoute::UpToDate))
        host.addKeptToList(fileName);
    else
        host.addToList(fileName);
    if (state.page != nullptr) {
        PageCell cell;
        cell.fileName = fileName;
        cell.width = thumbnail.width;
        cell.height = thumbnail.height;
        cell.kilobytes = fileSize / 1024;
        cell.orientation = thumbnail.orientation;
        cell.bytes = fileSize;
        cell.caption = thumbnail.caption;
        cell.doubled = picture.doubled.has_value();
        state.pageWriter->cell(*state.page, cell, before);
    }
}

ThumbnailRequest requestFrom(const RunHost& host, std::int32_t number)
{
    return {host.criterion(), number, host.quality(), host.metadataPolicy()};
}

std::optional<ThumbnailRequest> doubledRequest(const ThumbnailRequest& request)
{
    ThumbnailRequest twice = request;
    if (request.criterion == Criterion::LargestDimension) {
        if (request.number > std::numeric_limits<std::int32_t>::max() / 2)
            return std::nullopt;
        twice.number = request.number * 2;
    } else {
        if (request.number % 2 != 0)
            return std::nullopt;
        twice.number = request.number / 2;
    }
    return twice;
}

} // namespace tamblure::batch
