#include "metadata/exif_edit.h"

#include "metadata/exif_tags.h"
#include "metadata/image_info.h"

#include <algorithm>
#include <optional>
#include <set>

namespace tamblure::metadata {

namespace {

using namespace exif;

// The stored segment: length field (2), "Exif" and two bytes (6), then the
// TIFF data, from which every offset counts.
constexpr std::size_t kTiffStart = 8;

// A stretch of the TIFF data that something names: a directory, a value
// stored apart from its entry, the embedded preview.
struct Extent {
    std::uint64_t start;
    std::uint64_t end;
    bool gps; // part of the GPS directory
};

bool overlaps(const Extent& a, std::uint64_t start, std::uint64_t end)
{
    return a.start < end && start < a.end;
}

enum class DirectoryKind {
    Chain,        // IFD0 and the directories its next-directory offsets lead to
    Subdirectory, // EXIF, interoperability, sub-directories: no next directory
    Gps
};

// Where an entry that names the GPS directory stands.
struct GpsEntry {
    std::uint64_t directory;
    std::uint16_t index;
};

// What a walk of every directory finds. Offsets and positions count from the
// start of the TIFF data.
struct Layout {
    std::optional<std::uint64_t> ifd0;
    std::uint16_t ifd0Count = 0;
    std::vector<Extent> extents;
    // The 4-byte fields outside the GPS directory that hold an offset.
    std::vector<std::uint64_t> offsetFields;
    std::vector<GpsEntry> gpsEntries;
    std::set<std::uint64_t> gpsDirectories;
    std::optional<Extent> makerNote;
    // False once the walk meets something whose offsets it cannot know, or
    // that lies outside the segment: then nothing may move.
    bool movable = true;
};

class Walk {
public:
    explicit Walk(const ByteReader& tiff) : tiff_(tiff) {}

    Layout run(std::uint64_t first)
    {
        layout_.ifd0 = std::nullopt;
        pending_.push_back({first, DirectoryKind::Chain});
        bool isFirst = true;
        while (!pending_.empty()) {
            const auto [offset, kind] = pending_.back();
            pending_.pop_back();
            if (!visited_.insert(offset).second) {
                // Named twice: whatever names it the second time shares its bytes.
                if (kind == DirectoryKind::Gps || layout_.gpsDirectories.contains(offset))
                    layout_.movable = false;
                continue;
            }
            directory(offset, kind, isFirst);
            isFirst = false;
        }
        return layout_;
    }

private:
    struct Pending {
        std::uint64_t offset;
        DirectoryKind kind;
    };

    // A directory at offset o:
    //   o      count n (2)
    //   o + 2  n entries of 12 bytes: tag (2), type (2), count (4), value or its offset (4)
    //   then   next-directory offset (4)
    void directory(std::uint64_t offset, DirectoryKind kind, bool first)
    {
        const bool gps = kind == DirectoryKind::Gps;
        if (gps)
            layout_.gpsDirectories.insert(offset);
        std::uint16_t count = 0;
        if (offset > tiff_.size() || !tiff_.u16At(static_cast<std::size_t>(offset), count)) {
            layout_.movable = false;
            return;
        }
        const std::uint64_t entriesEnd = offset + 2 + std::uint64_t{count} * kEntrySize;
        const std::uint64_t blockEnd = entriesEnd + 4;
        // A GPS directory cut by the end of the segment is still cleared as far
        // as it goes.
        layout_.extents.push_back({offset, std::min<std::uint64_t>(blockEnd, tiff_.size()), gps});
        if (entriesEnd > tiff_.size()) {
            layout_.movable = false;
            return;
        }
        if (first) {
            layout_.ifd0 = offset;
            layout_.ifd0Count = count;
        }
        std::optional<std::uint32_t> previewOffset, previewLength;
        for (std::uint16_t i = 0; i < count; ++i)
            entry(offset, i, kind, previewOffset, previewLength);
        if (previewOffset && previewLength)
            value(*previewOffset, *previewLength, false);

        std::uint32_t next = 0;
        if (blockEnd > tiff_.size()) {
            layout_.movable = false;
        } else if (tiff_.u32At(static_cast<std::size_t>(entriesEnd), next) && next != 0 && !gps) {
            // Only IFD0's chain has next directories; anywhere else the
            // offset names something this walk does not know.
            if (kind == DirectoryKind::Chain) {
                layout_.offsetFields.push_back(entriesEnd);
                pending_.push_back({next, DirectoryKind::Chain});
            } else {
                layout_.movable = false;
            }
        }
    }

    void entry(std::uint64_t directory, std::uint16_t index, DirectoryKind kind,
               std::optional<std::uint32_t>& previewOffset, std::optional<std::uint32_t>& previewLength)
    {
        const auto e = static_cast<std::size_t>(directory + 2 + std::uint64_t{index} * kEntrySize);
        const bool gps = kind == DirectoryKind::Gps;
        std::uint16_t tag = 0, type = 0;
        std::uint32_t count = 0, field = 0;
        // The directory's check put the whole entry inside the segment.
        static_cast<void>(tiff_.u16At(e, tag) && tiff_.u16At(e + 2, type) && tiff_.u32At(e + 4, count) &&
                          tiff_.u32At(e + 8, field));
        const std::uint32_t unit = TImageInfo::bytesPerValue(type);
        if (unit == 0) {
            // An unknown type (the IFD type among them) may hold an offset.
            if (!gps)
                layout_.movable = false;
            return;
        }
        const std::uint64_t size = std::uint64_t{unit} * count;
        if (size > 4) {
            value(field, size, gps);
            if (!gps)
                layout_.offsetFields.push_back(e + 8);
        }
        if (gps)
            return; // GPS tags name no directory

        const bool oneLong = type == kTypeLong && count == 1;
        switch (tag) {
        case kTagGpsDirectory:
            layout_.gpsEntries.push_back({directory, index});
            if (oneLong)
                pending_.push_back({field, DirectoryKind::Gps});
            else
                layout_.movable = false;
            break;
        case kTagExifDirectory:
        case kTagInteroperability:
            if (oneLong) {
                layout_.offsetFields.push_back(e + 8);
                pending_.push_back({field, DirectoryKind::Subdirectory});
            } else {
                layout_.movable = false;
            }
            break;
        case kTagSubDirectories:
            subdirectories(e, type, count, field);
            break;
        case kTagPreviewOffset:
            if (oneLong) {
                layout_.offsetFields.push_back(e + 8);
                previewOffset = field;
            } else {
                layout_.movable = false;
            }
            break;
        case kTagPreviewLength:
            if (oneLong) {
                previewLength = field;
            } else if (std::uint16_t shortLength = 0;
                       type == kTypeShort && count == 1 && tiff_.u16At(e + 8, shortLength)) {
                previewLength = shortLength;
            }
            break;
        case kTagStripOffsets:
        case kTagTileOffsets:
            // Offsets paired with byte counts in other entries: not followed.
            layout_.movable = false;
            break;
        case kTagMakerNote:
            if (size > 4)
                layout_.makerNote = Extent{field, field + size, false};
            break;
        default:
            break;
        }
    }

    void subdirectories(std::size_t e, std::uint16_t type, std::uint32_t count, std::uint32_t field)
    {
        if (type != kTypeLong) {
            layout_.movable = false;
            return;
        }
        if (count == 1) {
            layout_.offsetFields.push_back(e + 8);
            pending_.push_back({field, DirectoryKind::Subdirectory});
            return;
        }
        for (std::uint32_t k = 0; k < count; ++k) {
            const std::uint64_t at = std::uint64_t{field} + 4 * std::uint64_t{k};
            std::uint32_t offset = 0;
            if (at > tiff_.size() || !tiff_.u32At(static_cast<std::size_t>(at), offset))
                return; // value() has already found it outside the segment
            layout_.offsetFields.push_back(at);
            pending_.push_back({offset, DirectoryKind::Subdirectory});
        }
    }

    void value(std::uint64_t offset, std::uint64_t size, bool gps)
    {
        if (offset > tiff_.size() || size > tiff_.size() - offset) {
            layout_.movable = false;
            // What a GPS value has inside the segment is still cleared.
            if (gps && offset < tiff_.size())
                layout_.extents.push_back({offset, tiff_.size(), true});
            return;
        }
        layout_.extents.push_back({offset, offset + size, gps});
    }

    const ByteReader& tiff_;
    Layout layout_;
    std::vector<Pending> pending_;
    std::set<std::uint64_t> visited_;
};

// A Nikon maker note of the third kind: "Nikon", a zero, version 2, two
// bytes, then a TIFF header of its own from which its offsets count, so it
// can move as a whole.
bool isSelfContainedMakerNote(std::span<const std::uint8_t> note)
{
    static constexpr std::uint8_t kNikon[] = {'N', 'i', 'k', 'o', 'n', 0, 2};
    static constexpr std::uint8_t kIntel[] = {'I', 'I', 42, 0};
    static constexpr std::uint8_t kMotorola[] = {'M', 'M', 0, 42};
    if (note.size() < 18 || !std::equal(std::begin(kNikon), std::end(kNikon), note.begin()))
        return false;
    const auto header = note.subspan(10, 4);
    return std::equal(header.begin(), header.end(), std::begin(kIntel)) ||
           std::equal(header.begin(), header.end(), std::begin(kMotorola));
}

// Removes entry `index` from the directory at `directory`: the entries after
// it and the next-directory offset move up by one entry, and the 12 bytes
// this frees at the end of the block become zeros. The block must be whole.
void removeEntry(std::vector<std::uint8_t>& tiff, std::uint64_t directory, std::uint16_t index, ByteOrder order)
{
    const auto d = static_cast<std::size_t>(directory);
    std::uint16_t count = 0;
    static_cast<void>(ByteReader(tiff, order).u16At(d, count));
    const std::size_t from = d + 2 + kEntrySize * (std::size_t{index} + 1);
    const std::size_t end = std::min(d + 2 + kEntrySize * count + 4, tiff.size());
    std::copy(tiff.begin() + static_cast<std::ptrdiff_t>(from), tiff.begin() + static_cast<std::ptrdiff_t>(end),
              tiff.begin() + static_cast<std::ptrdiff_t>(from - kEntrySize));
    std::fill(tiff.begin() + static_cast<std::ptrdiff_t>(end - kEntrySize),
              tiff.begin() + static_cast<std::ptrdiff_t>(end), 0);
    const auto fewer = static_cast<std::uint16_t>(count - 1);
    tiff[d] = static_cast<std::uint8_t>(order == ByteOrder::BigEndian ? fewer >> 8 : fewer);
    tiff[d + 1] = static_cast<std::uint8_t>(order == ByteOrder::BigEndian ? fewer : fewer >> 8);
}

void putU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t v, ByteOrder order)
{
    for (std::size_t i = 0; i < 4; ++i) {
        const std::size_t shift = order == ByteOrder::BigEndian ? 8 * (3 - i) : 8 * i;
        bytes[at + i] = static_cast<std::uint8_t>(v >> shift);
    }
}

std::vector<std::uint8_t> stored(std::span<const std::uint8_t> head, const std::vector<std::uint8_t>& tiff)
{
    std::vector<std::uint8_t> raw(head.size() + tiff.size());
    std::copy(head.begin(), head.end(), raw.begin());
    std::copy(tiff.begin(), tiff.end(), raw.begin() + static_cast<std::ptrdiff_t>(head.size()));
    raw[0] = static_cast<std::uint8_t>(raw.size() >> 8);
    raw[1] = static_cast<std::uint8_t>(raw.size());
    return raw;
}

// The stretches to drop, sorted and merged; empty when dropping is not safe.
std::vector<std::pair<std::uint64_t, std::uint64_t>> droppable(const Layout& layout, const ByteReader& tiff)
{
    if (!layout.movable || layout.gpsEntries.size() != 1 || layout.gpsEntries.front().directory != *layout.ifd0)
        return {};
    // A maker note may hold offsets from the mark into the rest of the data,
    // whether or not it moves; only a self-contained one is known to hold none.
    if (layout.makerNote && !isSelfContainedMakerNote(tiff.bytes().subspan(
                                static_cast<std::size_t>(layout.makerNote->start),
                                static_cast<std::size_t>(layout.makerNote->end - layout.makerNote->start))))
        return {};
    // Nothing else may lie in what goes: not in the GPS directory's bytes, and
    // nothing but IFD0 itself in the 12 bytes that IFD0 no longer needs once
    // its GPS entry is gone.
    const std::uint64_t ifd0End = *layout.ifd0 + 2 + kEntrySize * std::uint64_t{layout.ifd0Count} + 4;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> drop{{ifd0End - kEntrySize, ifd0End}};
    for (const Extent& g : layout.extents) {
        if (!g.gps)
            continue;
        for (const Extent& e : layout.extents)
            if (!e.gps && overlaps(e, g.start, g.end))
                return {};
        drop.emplace_back(g.start, g.end);
    }
    for (const Extent& e : layout.extents)
        if (!e.gps && e.start != *layout.ifd0 && overlaps(e, ifd0End - kEntrySize, ifd0End))
            return {};
    std::sort(drop.begin(), drop.end());
    std::vector<std::pair<std::uint64_t, std::uint64_t>> merged;
    for (const auto& d : drop) {
        if (!merged.empty() && d.first <= merged.back().second)
            merged.back().second = std::max(merged.back().second, d.second);
        else
            merged.push_back(d);
    }
    // Values start on even offsets: an odd stretch takes the padding byte
    // after it along when nothing uses that byte.
    for (auto& stretch : merged) {
        const std::uint64_t end = stretch.second;
        const bool used = std::any_of(layout.extents.begin(), layout.extents.end(),
                                      [end](const Extent& e) { return overlaps(e, end, end + 1); });
        if ((end - stretch.first) % 2 == 1 && end < tiff.size() && !used)
            ++stretch.second;
    }
    return merged;
}

GpsFreeSegment dropped(std::span<const std::uint8_t> raw, const Layout& layout, const ByteReader& tiff,
                       const std::vector<std::pair<std::uint64_t, std::uint64_t>>& drop)
{
    const auto movedBy = [&](std::uint64_t offset) {
        std::uint64_t shift = 0;
        for (const auto& [start, end] : drop)
            if (end <= offset)
                shift += end - start;
        return shift;
    };
    std::vector<std::uint8_t> work(tiff.bytes().begin(), tiff.bytes().end());
    for (const std::uint64_t field : layout.offsetFields) {
        std::uint32_t offset = 0;
        static_cast<void>(tiff.u32At(static_cast<std::size_t>(field), offset));
        putU32(work, static_cast<std::size_t>(field), static_cast<std::uint32_t>(offset - movedBy(offset)),
               tiff.order());
    }
    removeEntry(work, *layout.ifd0, layout.gpsEntries.front().index, tiff.order());
    std::vector<std::uint8_t> kept;
    kept.reserve(work.size());
    std::uint64_t at = 0;
    for (const auto& [start, end] : drop) {
        kept.insert(kept.end(), work.begin() + static_cast<std::ptrdiff_t>(at),
                    work.begin() + static_cast<std::ptrdiff_t>(start));
        at = end;
    }
    kept.insert(kept.end(), work.begin() + static_cast<std::ptrdiff_t>(at), work.end());
    return {GpsRemoval::Dropped, stored(raw.first(kTiffStart), kept)};
}

GpsFreeSegment cleared(std::span<const std::uint8_t> raw, const Layout& layout, const ByteReader& tiff)
{
    std::vector<std::uint8_t> work(tiff.bytes().begin(), tiff.bytes().end());
    // Last entries first, so that the indices of the others stay right.
    std::vector<GpsEntry> entries = layout.gpsEntries;
    std::sort(entries.begin(), entries.end(), [](const GpsEntry& a, const GpsEntry& b) {
        return a.directory != b.directory ? a.directory < b.directory : a.index > b.index;
    });
    for (const GpsEntry& e : entries)
        removeEntry(work, e.directory, e.index, tiff.order());
    for (const Extent& e : layout.extents)
        if (e.gps)
            std::fill(work.begin() + static_cast<std::ptrdiff_t>(e.start),
                      work.begin() + static_cast<std::ptrdiff_t>(e.end), 0);
    return {GpsRemoval::Cleared, stored(raw.first(kTiffStart), work)};
}

} // namespace

bool isExifSegment(std::span<const std::uint8_t> raw)
{
    static constexpr std::uint8_t kExif[] = {'E', 'x', 'i', 'f'};
    if (raw.size() < kTiffStart + 2 || !std::equal(std::begin(kExif), std::end(kExif), raw.begin() + 2))
        return false;
    const std::uint8_t a = raw[kTiffStart], b = raw[kTiffStart + 1];
    return a == b && (a == 'I' || a == 'M');
}

GpsFreeSegment withoutGps(std::span<const std::uint8_t> raw)
{
    if (!isExifSegment(raw))
        return {GpsRemoval::Refused, {}};
    const ByteOrder order = raw[kTiffStart] == 'M' ? ByteOrder::BigEndian : ByteOrder::LittleEndian;
    const ByteReader tiff(raw.subspan(kTiffStart), order);
    std::uint32_t first = 0;
    if (!tiff.u32At(4, first))
        return {GpsRemoval::Refused, {}};
    // As the reader walks it: an offset of 0 puts the first directory right
    // after the header.
    Layout layout = Walk(tiff).run(first == 0 ? 8 : first);
    if (first != 0)
        layout.offsetFields.push_back(4);
    if (!layout.ifd0)
        return {GpsRemoval::Refused, {}};
    if (layout.gpsEntries.empty())
        return {GpsRemoval::None, std::vector<std::uint8_t>(raw.begin(), raw.end())};
    if (const auto drop = droppable(layout, tiff); !drop.empty())
        return dropped(raw, layout, tiff, drop);
    return cleared(raw, layout, tiff);
}

std::vector<std::uint8_t> orientationOnly(std::uint16_t orientation, ByteOrder order)
{
    const bool big = order == ByteOrder::BigEndian;
    const auto u16 = [big](std::uint16_t v) -> std::array<std::uint8_t, 2> {
        return big ? std::array<std::uint8_t, 2>{static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)}
                   : std::array<std::uint8_t, 2>{static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
    };
    std::vector<std::uint8_t> tiff;
    const auto put = [&tiff](auto bytes) { tiff.insert(tiff.end(), bytes.begin(), bytes.end()); };
    // Header, then IFD0 at 8 with one entry (SHORT, one value, in its field)
    // and no next directory.
    put(big ? std::array<std::uint8_t, 2>{'M', 'M'} : std::array<std::uint8_t, 2>{'I', 'I'});
    put(u16(42));
    put(big ? std::array<std::uint8_t, 4>{0, 0, 0, 8} : std::array<std::uint8_t, 4>{8, 0, 0, 0});
    put(u16(1));
    put(u16(kTagOrientation));
    put(u16(kTypeShort));
    put(big ? std::array<std::uint8_t, 4>{0, 0, 0, 1} : std::array<std::uint8_t, 4>{1, 0, 0, 0});
    put(u16(orientation));
    put(std::array<std::uint8_t, 6>{});
    static constexpr std::uint8_t kHead[] = {0, 0, 'E', 'x', 'i', 'f', 0, 0};
    return stored(kHead, tiff);
}

} // namespace tamblure::metadata
