#include "metadata/image_info.h"

#include "common/byte_reader.h"
#include "metadata/exif_tags.h"
#include "metadata/img_data.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <vector>

namespace tamblure::metadata {

namespace {

using namespace exif;

constexpr const char* kIllegallySizedDirectory = "Illegally sized directory";

// All the bytes as one unsigned integer in the given order, of which only the
// low 32 bits matter: the first four bytes of little-endian data, the last
// four of big-endian data.
std::int32_t low32(std::span<const std::uint8_t> bytes, ByteOrder order)
{
    const bool bigEndian = order == ByteOrder::BigEndian;
    const std::size_t n = std::min<std::size_t>(bytes.size(), 4);
    const auto low = bigEndian ? bytes.last(n) : bytes.first(n);
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t k = bigEndian ? i : n - 1 - i;
        value = value << 8 | low[k];
    }
    return static_cast<std::int32_t>(value);
}

// The nearest integer, halves to the even one; 0 for what no 32-bit integer
// holds (an infinite or huge FLOAT, -2^31 / -1), which leaves the dimension
// unknown rather than wrong.
std::int32_t roundedValue(long double value)
{
    if (!std::isfinite(value))
        return 0;
    const long double rounded = std::nearbyint(value);
    if (rounded < std::numeric_limits<std::int32_t>::min() || rounded > std::numeric_limits<std::int32_t>::max())
        return 0;
    return static_cast<std::int32_t>(rounded);
}

} // namespace

TImageInfo::TImageInfo(TimgData& owner) : owner_(owner) {}

std::uint32_t TImageInfo::bytesPerValue(std::uint16_t type)
{
    switch (type) {
    case kTypeByte:
    case kTypeAscii:
    case kTypeSignedByte:
    case kTypeUndefined:
        return 1;
    case kTypeShort:
    case kTypeSignedShort:
        return 2;
    case kTypeLong:
    case kTypeSignedLong:
    case kTypeFloat:
        return 4;
    case kTypeRational:
    case kTypeSignedRational:
    case kTypeDouble:
        return 8;
    default:
        return 0;
    }
}

// One directory entry as read:
//   e      tag (2)
//   e + 2  type code (2)
//   e + 4  number of values (4)
//   e + 8  the value when it fits in 4 bytes, else its offset from base
struct TImageInfo::Entry {
    Entry(const ByteReader& in, std::uint64_t from) : segment(in), base(from) {}

    const ByteReader& segment;
    std::uint64_t base; // what the entry's offsets count from
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint64_t location = 0;          // where the value is
    std::span<const std::uint8_t> value; // cut at the end of the segment
    std::int32_t position = 0;           // where the value field is

    // The entry at e, which its directory's check put wholly inside the
    // segment. False for an entry that holds no value.
    bool read(std::size_t e)
    {
        std::uint32_t count = 0;
        if (!segment.u16At(e, tag) || !segment.u16At(e + 2, type) || !segment.u32At(e + 4, count))
            return false;
        const std::uint64_t size = std::uint64_t{bytesPerValue(type)} * count;
        if (size == 0)
            return false;
        location = e + 8;
        if (size > 4) {
            std::uint32_t offset = 0;
            if (!segment.u32At(e + 8, offset))
                return false;
            location = base + offset;
        }
        if (location < segment.size())
            value = segment.bytes().subspan(
                static_cast<std::size_t>(location),
                static_cast<std::size_t>(std::min<std::uint64_t>(size, segment.size() - location)));
        position = static_cast<std::int32_t>(e + 8);
        return true;
    }
};

std::optional<std::uint64_t> TImageInfo::readEntry(const Entry& entry, bool firstDirectory)
{
    switch (entry.tag) {
    case kTagImageWidth:
    case kTagExifImageWidth:
        widthPos_ = entry.position;
        widthType_ = entry.type;
        widthValue_ = roundedValue(ValueAsNumber(entry.value, entry.type));
        break;
    case kTagImageLength:
    case kTagExifImageLength:
        heightPos_ = entry.position;
        heightType_ = entry.type;
        heightValue_ = roundedValue(ValueAsNumber(entry.value, entry.type));
        break;
    case kTagOrientation:
        if (firstDirectory && entry.type == kTypeShort && entry.value.size() >= 2) {
            std::uint16_t orientation = 0;
            if (ByteReader(entry.value, order_).u16At(0, orientation) && orientation >= 1 && orientation <= 8)
                orientation_ = orientation;
        }
        break;
    case kTagExifDirectory:
    case kTagSubDirectories:
    case kTagInteroperability:
    case kTagGpsDirectory: {
        std::uint32_t offset = 0;
        if (entry.location > entry.segment.size() ||
            !entry.segment.u32At(static_cast<std::size_t>(entry.location), offset))
            break;
        return entry.base + offset;
    }
    default:
        break;
    }
    return std::nullopt;
}

void TImageInfo::WalkDirectory(std::uint64_t d, std::uint64_t base, DirectoryKind kind)
{
    const tSection* exif = owner_.exifRef();
    if (exif == nullptr)
        return;
    const ByteReader segment(exif->raw, order_);

    // Depth first, as a recursive walk would go (a sub-directory is walked
    // when its entry is met, so later entries can override what it found),
    // but on a stack of our own: a chain of a few thousand tiny directories
    // nested in one another fits in a 64 KiB segment.
    // The kind (main or GPS) would only sort entries of a display list,
    // which this program does not build; it is kept with each directory.
    struct Frame {
        std::uint64_t base;
        std::uint64_t offset;
        std::uint32_t count;
        std::uint32_t next;
        DirectoryKind kind;
    };
    std::vector<Frame> stack;

    // A directory at offset o:
    //   o      count n (2 bytes)
    //   o + 2  n entries of 12 bytes
    //   then   next-directory offset (4 bytes, not followed)
    const auto enter = [&](std::uint64_t offset, std::uint64_t from, DirectoryKind dirKind) {
        walked_.emplace(from, offset);
        std::uint16_t count = 0;
        if (offset > segment.size() || !segment.u16At(static_cast<std::size_t>(offset), count) ||
            !segment.fits(static_cast<std::size_t>(offset) + 2, std::size_t{count} * kEntrySize)) {
            owner_.statusText_ = kIllegallySizedDirectory;
            return;
        }
        stack.push_back({from, offset, count, 0, dirKind});
    };

    enter(d, base, kind);
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next == top.count) {
            stack.pop_back();
            continue;
        }
        const bool firstDirectory = stack.size() == 1;
        Entry entry(segment, top.base);
        if (!entry.read(static_cast<std::size_t>(top.offset) + 2 + kEntrySize * top.next++))
            continue;
        const std::optional<std::uint64_t> sub = readEntry(entry, firstDirectory);
        if (sub && !walked_.contains({entry.base, *sub}))
            enter(*sub, entry.base, entry.tag == kTagGpsDirectory ? DirectoryKind::Gps : DirectoryKind::Main);
    }
}

long double TImageInfo::ValueAsNumber(std::span<const std::uint8_t> value, std::uint16_t type) const
{
    const ByteReader reader(value, order_);
    switch (type) {
    case kTypeByte:
    case kTypeShort:
    case kTypeLong:
    case kTypeSignedByte:
    case kTypeSignedShort:
    case kTypeSignedLong:
        return low32(value, order_);
    case kTypeRational:
    case kTypeSignedRational: {
        if (value.size() < 8)
            return 0;
        const std::int32_t numerator = low32(value.first(4), order_);
        const std::int32_t denominator = low32(value.subspan(4, 4), order_);
        if (denominator == 0)
            return 0;
        return static_cast<long double>(numerator) / denominator;
    }
    case kTypeFloat: {
        std::uint32_t bits = 0;
        if (!reader.u32At(0, bits))
            return 0;
        return std::bit_cast<float>(bits);
    }
    case kTypeDouble: {
        std::uint32_t first = 0, second = 0;
        if (!reader.u32At(0, first) || !reader.u32At(4, second))
            return 0;
        const std::uint64_t bits =
            order_ == ByteOrder::BigEndian ? std::uint64_t{first} << 32 | second : std::uint64_t{second} << 32 | first;
        return std::bit_cast<double>(bits);
    }
    default:
        return 0;
    }
}

void TImageInfo::FitDimensions(std::int32_t newHeight, std::int32_t newWidth)
{
    if (heightValue_ <= 0 || widthValue_ <= 0)
        return;
    if (newWidth == widthValue_ && newHeight == heightValue_)
        return;
    std::vector<std::uint8_t>* raw = owner_.exifBytes();
    if (raw == nullptr)
        return;

    const auto put = [&](std::int32_t pos, std::uint16_t type, std::int32_t number) {
        // A SHORT takes the first two bytes of its value field and leaves the
        // other two as they were; any other type takes the whole field.
        const std::size_t width = type == kTypeShort ? 2 : 4;
        if (pos < 0 || !ByteReader(*raw).fits(static_cast<std::size_t>(pos), width))
            return;
        const auto bits = static_cast<std::uint32_t>(number);
        for (std::size_t i = 0; i < width; ++i) {
            const std::size_t shift = order_ == ByteOrder::BigEndian ? 8 * (width - 1 - i) : 8 * i;
            (*raw)[static_cast<std::size_t>(pos) + i] = static_cast<std::uint8_t>(bits >> shift);
        }
    };
    put(heightPos_, heightType_, newHeight);
    put(widthPos_, widthType_, newWidth);
}

} // namespace tamblure::metadata
