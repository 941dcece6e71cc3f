// Arbitrary bytes as a photograph: scan its segments (walking the EXIF data
// when there is some), fit the dimensions to a thumbnail, take the GPS
// directory out, filter the photograph as a copy under each policy, emit the
// header segments into memory, and find where a thumbnail's own data would
// start.
// Beyond the sanitizers, the invariants the writer relies on are checked.

#include "metadata/copy_filter.h"
#include "metadata/exif_edit.h"
#include "metadata/image_info.h"
#include "metadata/img_data.h"
#include "metadata/segment_source.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

// Aborts with the broken invariant's text, so that a finding says what broke.
#define REQUIRE(condition)                                                                                             \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "invariant broken: %s\n", #condition);                                                \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tamblure::metadata;
    const std::span<const std::uint8_t> bytes(data, size);

    TimgData photo;
    photo.ScanSegments(bytes);

    REQUIRE(photo.segmentCount() >= 0 && photo.segmentCount() <= TimgData::kMaxSegments);
    std::size_t stored = 0;
    for (int n = 1; n <= photo.segmentCount(); ++n) {
        const tSection& s = photo.segment(n);
        REQUIRE(s.length >= 2 && static_cast<std::size_t>(s.length) == s.raw.size());
        stored += s.raw.size() + 1; // the marker byte; an FF before it is not required
    }
    REQUIRE(stored <= size);

    if (TImageInfo* directory = photo.directory()) {
        REQUIRE(directory->orientation() <= 8);
        const std::size_t exifSize = photo.exifRef()->raw.size();
        // One size that differs from the photograph's, and the photograph's
        // own, which must leave the bytes alone.
        const std::vector<std::uint8_t> before = photo.exifRef()->raw;
        directory->FitDimensions(directory->heightValue(), directory->widthValue());
        REQUIRE(photo.exifRef()->raw == before);
        directory->FitDimensions(133, 200);
        REQUIRE(photo.exifRef()->raw.size() == exifSize);
    }

    if (const tSection* exif = photo.exifRef(); exif != nullptr && isExifSegment(exif->raw)) {
        const GpsFreeSegment edited = withoutGps(exif->raw);
        switch (edited.how) {
        case GpsRemoval::None:
            REQUIRE(edited.raw == exif->raw);
            break;
        case GpsRemoval::Cleared:
            REQUIRE(edited.raw.size() == exif->raw.size());
            break;
        case GpsRemoval::Dropped:
            REQUIRE(edited.raw.size() < exif->raw.size() && isExifSegment(edited.raw));
            REQUIRE(withoutGps(edited.raw).how == GpsRemoval::None);
            break;
        case GpsRemoval::Refused:
            REQUIRE(edited.raw.empty());
            break;
        }
    }

    // A filtered copy only ever leaves bytes out or puts a shorter EXIF
    // segment in a longer one's place.
    for (const MetadataPolicy policy : {MetadataPolicy::WithoutGps, MetadataPolicy::OrientationOnly}) {
        ThumbnailLayout layout;
        SpanSource source(bytes);
        addFilteredCopy(layout, source, 0, policy);
        REQUIRE(layout.bytes(bytes).size() <= size);
    }

    std::vector<std::uint8_t> out;
    const std::int32_t written = photo.EmitSegments(out);
    REQUIRE(written >= 0 && static_cast<std::size_t>(written) + 2 == out.size());

    REQUIRE(thumbnailDataStart(bytes) <= size);
    return 0;
}
