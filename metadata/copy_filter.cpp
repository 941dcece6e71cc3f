#include "metadata/copy_filter.h"

#include "metadata/exif_edit.h"
#include "metadata/icc_profile.h"

#include <algorithm>
#include <optional>
#include <string_view>

namespace tamblure::metadata {

namespace {

constexpr std::uint8_t kSOI = 0xD8, kEOI = 0xD9, kSOS = 0xDA, kTEM = 0x01;
constexpr std::uint8_t kAPP0 = 0xE0, kAPP1 = 0xE1, kAPP2 = 0xE2, kAPP13 = 0xED, kAPP14 = 0xEE, kAPP15 = 0xEF,
                       kCOM = 0xFE;

bool standsAlone(std::uint8_t marker)
{
    return marker == kSOI || marker == kTEM || (marker >= 0xD0 && marker <= 0xD7);
}

bool startsWith(std::span<const std::uint8_t> raw, std::string_view signature)
{
    // raw begins with the two length bytes.
    return raw.size() >= 2 + signature.size() && std::equal(signature.begin(), signature.end(), raw.begin() + 2);
}

// What becomes of one segment: kept, left out, or replaced by other bytes
// (FF, marker, stored bytes).
struct Verdict {
    bool keep = true;
    std::vector<std::uint8_t> replacement;
};

Verdict judge(std::uint8_t marker, std::span<const std::uint8_t> raw, MetadataPolicy policy)
{
    const bool strip = policy == MetadataPolicy::OrientationOnly;
    if (marker == kAPP1) {
        if (strip)
            return {false, {}};
        if (isExifSegment(raw)) {
            GpsFreeSegment edited = withoutGps(raw);
            if (edited.how == GpsRemoval::None)
                return {};
            if (edited.how == GpsRemoval::Refused)
                return {false, {}};
            edited.raw.insert(edited.raw.begin(), {0xFF, kAPP1});
            return {false, std::move(edited.raw)};
        }
        return {!mentionsGps(raw), {}};
    }
    if (marker == kAPP2 && startsWith(raw, std::string_view("MPF\0", 4)))
        return {false, {}};
    if (!strip)
        return {};
    if (marker == kAPP13 || marker == kCOM)
        return {false, {}};
    // An APP0 may hold other things than a JFIF header (Canon's CIFF data).
    if (marker == kAPP0)
        return {startsWith(raw, std::string_view("JFIF\0", 5)) || startsWith(raw, std::string_view("JFXX\0", 5)), {}};
    if (marker >= kAPP1 && marker <= kAPP15)
        return {marker == kAPP14 || (marker == kAPP2 && IccChunks::isChunk(raw)), {}};
    return {};
}

// The walk: `kept` is where the stretch being kept began; a segment left out
// or replaced closes it and a new one opens after the segment.
class Filter {
public:
    Filter(ThumbnailLayout& layout, SegmentSource& source, MetadataPolicy policy)
        : layout_(layout), in_(source, UINT64_MAX), policy_(policy)
    {}

    void run(std::uint64_t from)
    {
        if (!in_.skip(from))
            return;
        kept_ = from;
        bool entropy = false;
        for (;;) {
            const std::optional<Marker> marker = entropy ? nextMarkerInData() : nextMarker();
            if (!marker)
                return keepToTheEnd();
            if (marker->code == kEOI) {
                // The copy ends with the end of the image.
                layout_.add(Stretch{kept_, in_.consumed() - kept_});
                return;
            }
            // A stray FF 00 outside the data is no marker.
            if (standsAlone(marker->code) || marker->code == 0x00)
                continue;
            std::uint8_t hi = 0, lo = 0;
            if (!in_.readByte(hi) || !in_.readByte(lo) || hi * 256 + lo < 2)
                return keepToTheEnd();
            const auto payload = static_cast<std::size_t>(hi * 256 + lo - 2);
            // Only the application segments that are told apart by their
            // content are read; the others are passed over by their lengths.
            const bool lookInto = marker->code == kAPP0 || marker->code == kAPP1 || marker->code == kAPP2;
            std::vector<std::uint8_t> raw{hi, lo};
            if (!(lookInto ? in_.readBytes(payload, raw) : in_.skip(payload)))
                return keepToTheEnd();
            Verdict verdict = judge(marker->code, raw, policy_);
            if (!verdict.keep) {
                layout_.add(Stretch{kept_, marker->at - kept_});
                layout_.add(verdict.replacement);
                kept_ = in_.consumed();
            }
            entropy = marker->code == kSOS;
        }
    }

private:
    struct Marker {
        std::uint8_t code;
        std::uint64_t at; // where its FF (the first of any fill bytes) stands
    };

    void keepToTheEnd() { layout_.add(Stretch{kept_, Stretch::kToTheEnd}); }

    // Between segments: any bytes that are not FF are passed over (a decoder
    // skips them too), then fill bytes, then the marker.
    std::optional<Marker> nextMarker()
    {
        std::uint8_t b = 0;
        do {
            if (!in_.readByte(b))
                return std::nullopt;
        } while (b != 0xFF);
        return markerAfterFf(in_.consumed() - 1);
    }

    // In entropy-coded data: FF 00 is a data byte, FF D0 to FF D7 a restart.
    std::optional<Marker> nextMarkerInData()
    {
        for (;;) {
            std::uint8_t b = 0;
            do {
                if (!in_.readByte(b))
                    return std::nullopt;
            } while (b != 0xFF);
            const std::uint64_t at = in_.consumed() - 1;
            const std::optional<Marker> marker = markerAfterFf(at);
            if (!marker || (marker->code != 0x00 && !(marker->code >= 0xD0 && marker->code <= 0xD7)))
                return marker;
        }
    }

    std::optional<Marker> markerAfterFf(std::uint64_t at)
    {
        std::uint8_t code = 0xFF;
        while (code == 0xFF) {
            if (!in_.readByte(code))
                return std::nullopt;
        }
        return Marker{code, at};
    }

    ThumbnailLayout& layout_;
    SegmentStream in_;
    MetadataPolicy policy_;
    std::uint64_t kept_ = 0;
};

} // namespace

bool mentionsGps(std::span<const std::uint8_t> bytes)
{
    static constexpr std::string_view kGps = "GPS";
    return std::search(bytes.begin(), bytes.end(), kGps.begin(), kGps.end()) != bytes.end();
}

void addFilteredCopy(ThumbnailLayout& layout, SegmentSource& photograph, std::uint64_t from, MetadataPolicy policy)
{
    Filter(layout, photograph, policy).run(from);
}

} // namespace tamblure::metadata
